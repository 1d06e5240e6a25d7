#pragma once
// A browser bar over a list of course ids and a settings page, as a module derives them.
#include "seldlg.h"
#include "setupdlg.h"

#include <vector>

namespace iconstest {

inline constexpr UINT IDD_TEST_SETUP = 3300;

class CTestSelDlg : public CSelDlg {
public:
    void OnSearch() override { ++searches; }
    void OnFilter() override { ++filters; }
    HRESULT GetRecordText(CString* pstrText) override;
    HRESULT GetFirstID(long* plID) override { return Pick(plID, 0); }
    HRESULT GetLastID(long* plID) override { return Pick(plID, int(ids.size()) - 1); }
    HRESULT GetPrevID(long* plID) override { return Pick(plID, Current() - 1); }
    HRESULT GetNextID(long* plID) override { return Pick(plID, Current() + 1); }
    HRESULT ShowRecord(long lID, long lSubID) override;

    std::vector<long> ids;
    std::wstring suffix;
    HRESULT fail = S_OK;
    int searches = 0, filters = 0;

private:
    int Current();
    HRESULT Pick(long* plID, int index);
};

class CTestSetupPage : public CSetupDlg {
public:
    CTestSetupPage() : CSetupDlg(IDD_TEST_SETUP) {}
    HRESULT LoadSettings() override {
        ++loads;
        return S_OK;
    }
    int loads = 0;
};

}  // namespace iconstest
