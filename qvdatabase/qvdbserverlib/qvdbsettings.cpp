#include "qvdbsettings.h"
#include "qvregistry.h"
#include "qvregvalue.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <cwctype>
#include <mutex>
#include <optional>
#include <string>
#include <variant>

namespace {

// Tells whether the registry file was written since the last look, by this process or another.
// The registry is an SQLite database in WAL mode, whose shared index file begins with a header
// that counts the transactions written; that header is read without taking a lock. A look costs
// two system calls instead of a registry transaction per setting. When the header cannot be read,
// every look says "changed".
class RegistryWatch {
public:
    // False the first time, after a write and whenever the registry cannot be watched.
    bool Unchanged() {
        const std::optional<Stamp> now = Read(qv::RegistryPath());
        const bool same = now && last_ && *now == *last_;
        last_ = now;
        return same;
    }

private:
    struct Stamp {
        std::string path;
        unsigned char header[48];
        bool operator==(const Stamp& o) const {
            return path == o.path && std::memcmp(header, o.header, sizeof header) == 0;
        }
    };

    std::optional<Stamp> Read(const std::string& path) {
        Stamp s{};
        s.path = path;
        // The index file stays open; SQLite removes it when the last connection closes (a new
        // registry file gets a new one), so a removed one is opened anew by its name.
        struct stat shm {};
        if (fd_ >= 0 && (path != shmOf_ || ::fstat(fd_, &shm) != 0 || shm.st_nlink == 0)) {
            ::close(fd_);
            fd_ = -1;
        }
        if (fd_ < 0) {
            fd_ = ::open((path + "-shm").c_str(), O_RDONLY | O_CLOEXEC);
            shmOf_ = path;
            if (fd_ < 0) return std::nullopt;
        }
        if (::pread(fd_, s.header, sizeof s.header, 0) != ssize_t(sizeof s.header)) return std::nullopt;
        return s;
    }

    int fd_ = -1;
    std::string shmOf_;
    std::optional<Stamp> last_;
};

using Value = std::variant<long, CString>;

struct Cache {
    std::mutex mutex;
    RegistryWatch watch;
    std::map<std::wstring, Value> values;
    unsigned long generation = 0;

    // Under the lock.
    void Refresh() {
        if (watch.Unchanged()) return;
        values.clear();
        ++generation;
    }
};

Cache& TheCache() {
    static Cache* cache = new Cache;  // never destroyed: connections may close from static destructors
    return *cache;
}

// Inside a QvDBSettingsScope the registry is looked at once, by the first read.
thread_local int t_scopeDepth = 0;
thread_local bool t_lookedAt = false;

// Under the cache's lock.
void LookAtRegistry(Cache& cache) {
    if (t_scopeDepth == 0 || !t_lookedAt) {
        cache.Refresh();
        t_lookedAt = t_scopeDepth > 0;
    }
}

template <class T>
T ReadCached(const CString& strKey, LPCWSTR name, const T& fallback) {
    Cache& cache = TheCache();
    std::lock_guard<std::mutex> lock(cache.mutex);
    LookAtRegistry(cache);
    const std::wstring id = std::wstring(static_cast<LPCWSTR>(strKey)) + L'\n' + name + L'\n' +
                            (std::is_same_v<T, long> ? L"l" : L"s");
    if (auto it = cache.values.find(id); it != cache.values.end()) return std::get<T>(it->second);
    T value = fallback;
    CQvRegistry::GetValue(strKey, name, value, HKEY_CURRENT_USER);
    cache.values.emplace(id, value);
    return value;
}

long Read(const CString& profile, LPCWSTR name, long lDefault) {
    return QvDBReadSetting(QvDBGetProfileKey(profile), name, lDefault);
}

}  // namespace

long QvDBReadSetting(const CString& strKey, LPCWSTR lpszName, long lDefault) {
    return ReadCached<long>(strKey, lpszName, lDefault);
}

CString QvDBReadSetting(const CString& strKey, LPCWSTR lpszName, const CString& strDefault) {
    return ReadCached<CString>(strKey, lpszName, strDefault);
}

QvDBSettingsScope::QvDBSettingsScope() {
    if (t_scopeDepth++ == 0) t_lookedAt = false;
}

QvDBSettingsScope::~QvDBSettingsScope() { --t_scopeDepth; }

unsigned long QvDBRegistryGeneration() {
    Cache& cache = TheCache();
    std::lock_guard<std::mutex> lock(cache.mutex);
    LookAtRegistry(cache);
    return cache.generation;
}

CString QvDBGetProfileKey(const CString& strProfile) {
    if (strProfile.Find(L"QvInternalDBProfile_") == 0) return CString(QVDB_BASE_KEY);
    CString key;
    key.Format(L"%s\\%s", QVDB_BASE_KEY, strProfile);
    return key;
}

long QvDBGetDefaultCommandTimeout(const CString& strProfile, long lKind) {
    if (lKind == 2) {
        const long lLong = Read(strProfile, L"DefaultLongCommandTimeout [s]", 600);
        return lLong == 0 ? 600 : lLong;
    }
    const long lTimeout = lKind == 1 ? Read(strProfile, L"DefaultMidCommandTimeout [s]", 180)
                                     : Read(strProfile, L"DefaultCommandTimeout [s]", 30);
    return lTimeout == 0 ? QvDBGetDefaultCommandTimeout(strProfile, 2) : lTimeout;
}

long QvDBGetDefaultCursorLocation(const CString& strProfile) { return Read(strProfile, L"DefaultCursorLocation", 3); }
long QvDBGetDefaultCursorType(const CString& strProfile) { return Read(strProfile, L"DefaultCursorType", 3); }
// A profile on a PostgreSQL database reads read-only unless it names a lock type itself: there a
// recordset that may change rows first asks the server for its table's key.
BOOL QvDBIsServerDatabase(const CString& strProfile) {
    std::wstring cs = QvDBReadSetting(QvDBGetProfileKey(strProfile), L"DBConnection", CString()).wstr();
    for (wchar_t& ch : cs) ch = static_cast<wchar_t>(std::towlower(ch));
    return cs.rfind(L"postgresql://", 0) == 0 || cs.rfind(L"postgres://", 0) == 0;
}

long QvDBGetDefaultLockType(const CString& strProfile) {
    return Read(strProfile, L"DefaultLockType", QvDBIsServerDatabase(strProfile) ? 1 : 3);
}
long QvDBGetDefaultExecuteRetry(const CString& strProfile) { return Read(strProfile, L"DefaultExecuteRetry", 3); }
