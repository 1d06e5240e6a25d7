#pragma once
// CKursFillLevel: the course window's fill-level cache of runs. For each run GUID it keeps the
// count and the maximum as one text "%d;%d", filled from the online fill counts of the central
// installation; the pages, the course search (from its worker thread) and the occupancy overview
// read the state of a run from it.
#include "cstring.h"
#include "ikursinstanz.h"
#include "qvguid.h"

#include <map>
#include <mutex>
#include <string>
#include <vector>

// The state of a run the cache does not know.
inline constexpr EFillLevelState eFillLevelNone = static_cast<EFillLevelState>(0);

class CKursFillLevel {
public:
    // The state of a run with count and maximum, with the warning level in percent.
    static EFillLevelState State(long lCount, long lMax, long lPercentWarning);
    // Option "FillLevelPercentWarning" of the course settings; 90 when it is not set.
    static long PercentWarning();

    void Set(const CQvGUID& guidKursinstanz, long lCount, long lMax);
    // Zeroes the three outputs, then answers from the cache: whether the run is in it. The state
    // uses the warning level of the settings.
    BOOL Lookup(const CQvGUID& guidKursinstanz, long* plState, long* plCount, long* plMax) const;
    // Replaces the cache by the items of the central installation's answer ("…;<run GUID>;<count>;
    // <max>"); items that do not end in a GUID and two numbers are skipped. The number of runs taken.
    int Update(const std::vector<CString>& arrItems);
    // Asks the central installation for its fill counts and takes them.
    long Refresh();
    void Clear();
    size_t Size() const;

private:
    mutable std::mutex m_lock;  // the course search reads from its worker thread
    std::map<std::wstring, CString> m_cache;
};
