#include "qvdbsettings.h"
#include "qvregistry.h"
#include "qvregvalue.h"

#include <sqlite3.h>

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <variant>

namespace {

// Tells whether the registry file was written since the last look, by this process or another:
// a read-only connection of our own asks SQLite's data version, which moves with every commit of
// any other connection. One cheap read instead of a registry transaction per setting.
class RegistryWatch {
public:
    ~RegistryWatch() { sqlite3_close_v2(db_); }

    // False the first time, after a write and whenever the registry cannot be watched.
    bool Unchanged() {
        const std::string path = qv::RegistryPath();
        if (path != path_ || !db_) {
            sqlite3_close_v2(db_);
            db_ = nullptr;
            path_ = path;
            if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
                sqlite3_close_v2(db_);
                db_ = nullptr;
                return false;
            }
            sqlite3_busy_timeout(db_, 1000);
            version_ = Version();
            return false;
        }
        const std::optional<sqlite3_int64> now = Version();
        if (!now || now != version_) {
            version_ = now;
            return false;
        }
        return true;
    }

private:
    std::optional<sqlite3_int64> Version() {
        sqlite3_stmt* st = nullptr;
        std::optional<sqlite3_int64> v;
        if (sqlite3_prepare_v2(db_, "PRAGMA data_version", -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
            v = sqlite3_column_int64(st, 0);
        sqlite3_finalize(st);
        return v;
    }

    std::string path_;
    sqlite3* db_ = nullptr;
    std::optional<sqlite3_int64> version_;
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

template <class T>
T ReadCached(const CString& strKey, LPCWSTR name, const T& fallback) {
    Cache& cache = TheCache();
    std::lock_guard<std::mutex> lock(cache.mutex);
    cache.Refresh();
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

unsigned long QvDBRegistryGeneration() {
    Cache& cache = TheCache();
    std::lock_guard<std::mutex> lock(cache.mutex);
    cache.Refresh();
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
long QvDBGetDefaultLockType(const CString& strProfile) { return Read(strProfile, L"DefaultLockType", 3); }
long QvDBGetDefaultExecuteRetry(const CString& strProfile) { return Read(strProfile, L"DefaultExecuteRetry", 3); }
