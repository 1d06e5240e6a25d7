#include "qvregistry.h"
#include "utf.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <pwd.h>
#include <unistd.h>

namespace {

using Id = sqlite3_int64;

// Fixed row ids of the four roots; AUTOINCREMENT keeps every later id above them and never
// hands out the id of a deleted key again, so a stale handle cannot reach a newer key.
constexpr Id kRootIds[] = {1, 2, 3, 4};
constexpr std::uintptr_t kFirstPredefined = 0x80000000u;

struct KeyHandle {
    std::uint64_t generation = 0;
    Id id = 0;
};

// Windows compares key and value names by their upper-case forms. Cover the scripts a German,
// French or Italian installation writes; other characters compare as they are.
wchar_t FoldChar(wchar_t c) {
    const auto u = static_cast<std::uint32_t>(c);
    if (u >= 'a' && u <= 'z') return wchar_t(u - 32);
    if (u < 0xE0) return c;
    if (u <= 0xFE) return u == 0xF7 ? c : wchar_t(u - 0x20);
    if (u == 0xFF) return wchar_t(0x178);
    if ((u >= 0x100 && u <= 0x137) || (u >= 0x14A && u <= 0x177)) return wchar_t(u & ~1u);
    if ((u >= 0x139 && u <= 0x148) || (u >= 0x179 && u <= 0x17E)) return (u & 1u) ? c : wchar_t(u - 1);
    if (u >= 0x3B1 && u <= 0x3C9) return wchar_t(u == 0x3C2 ? 0x3A3 : u - 0x20);
    if (u >= 0x430 && u <= 0x44F) return wchar_t(u - 0x20);
    if (u >= 0x450 && u <= 0x45F) return wchar_t(u - 0x50);
    return c;
}

std::string Fold(std::wstring_view name) {
    std::wstring f(name);
    for (auto& ch : f) ch = FoldChar(ch);
    return qv::ToUtf8(f);
}

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

std::vector<std::wstring> SplitPath(LPCWSTR path) {
    std::vector<std::wstring> parts;
    if (!path) return parts;
    std::wstring cur;
    for (const wchar_t* p = path; *p; ++p) {
        if (*p == L'\\') {
            if (!cur.empty()) parts.push_back(std::move(cur));
            cur.clear();
        } else {
            cur += *p;
        }
    }
    if (!cur.empty()) parts.push_back(std::move(cur));
    return parts;
}

// A value as the caller sees it: its type and the bytes it reads back.
struct Value {
    DWORD type = REG_NONE;
    std::vector<BYTE> bytes;
};

// Prepared statements of the open file, kept across calls: the registry is read on every
// database connect and recordset open, and preparing costs far more than running. Used only
// under the store's lock; a statement already in use by an outer call is prepared afresh.
struct CachedStmt {
    sqlite3_stmt* st = nullptr;
    bool busy = false;
};
struct StmtCache {
    sqlite3* db = nullptr;
    std::unordered_map<std::string, CachedStmt> byText;
};
StmtCache& TheStmtCache() {
    static StmtCache* c = new StmtCache;
    return *c;
}
void FinalizeStmtCache() {
    auto& c = TheStmtCache();
    for (auto& [text, e] : c.byText) sqlite3_finalize(e.st);
    c.byText.clear();
    c.db = nullptr;
}

class Stmt {
public:
    Stmt(sqlite3* db, const char* sql) {
        auto& c = TheStmtCache();
        if (c.db != db) {
            FinalizeStmtCache();
            c.db = db;
        }
        auto it = c.byText.find(sql);
        if (it != c.byText.end() && !it->second.busy) {
            entry_ = &it->second;
        } else if (it == c.byText.end()) {
            CachedStmt e;
            if (sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &e.st, nullptr) != SQLITE_OK) {
                sqlite3_finalize(e.st);
                return;
            }
            entry_ = &c.byText.emplace(sql, e).first->second;
        } else if (sqlite3_prepare_v2(db, sql, -1, &st_, nullptr) != SQLITE_OK) {
            sqlite3_finalize(st_);
            st_ = nullptr;
            return;
        }
        if (entry_) {
            entry_->busy = true;
            st_ = entry_->st;
        }
    }
    ~Stmt() {
        if (!entry_) {
            sqlite3_finalize(st_);
            return;
        }
        sqlite3_reset(st_);
        sqlite3_clear_bindings(st_);
        entry_->busy = false;
    }
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;
    bool ok() const { return st_ != nullptr; }
    Stmt& bind(int i, Id v) {
        if (st_) sqlite3_bind_int64(st_, i, v);
        return *this;
    }
    Stmt& bind(int i, const std::string& v) {
        if (st_) sqlite3_bind_text(st_, i, v.data(), int(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Stmt& bindBlob(int i, const void* p, int n) {
        if (st_) sqlite3_bind_blob(st_, i, n ? p : "", n, SQLITE_TRANSIENT);
        return *this;
    }
    // SQLITE_ROW, SQLITE_DONE or an error.
    int step() { return st_ ? sqlite3_step(st_) : SQLITE_ERROR; }
    Id int64(int c) const { return sqlite3_column_int64(st_, c); }
    std::string text(int c) const {
        auto p = reinterpret_cast<const char*>(sqlite3_column_text(st_, c));
        return p ? std::string(p, size_t(sqlite3_column_bytes(st_, c))) : std::string();
    }
    int type(int c) const { return sqlite3_column_type(st_, c); }
    std::vector<BYTE> blob(int c) const {
        auto p = static_cast<const BYTE*>(sqlite3_column_blob(st_, c));
        return p ? std::vector<BYTE>(p, p + sqlite3_column_bytes(st_, c)) : std::vector<BYTE>();
    }

private:
    sqlite3_stmt* st_ = nullptr;
    CachedStmt* entry_ = nullptr;  // null for a statement of its own
};

// Thrown inside a transaction when SQLite fails; the public functions turn it into a code.
struct StoreError {};

class Store {
public:
    std::mutex mu;

    // Opens the file of the current environment, reopening when it changed since the last call.
    LONG ensureOpen() {
        std::string p = qv::RegistryPath();
        if (db_ && p == path_) return ERROR_SUCCESS;
        close();
        std::error_code ec;
        std::filesystem::path fp(p);
        if (fp.has_parent_path()) std::filesystem::create_directories(fp.parent_path(), ec);
        sqlite3* db = nullptr;
        if (sqlite3_open_v2(p.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
            sqlite3_close(db);
            return ERROR_CANTOPEN;
        }
        sqlite3_busy_timeout(db, 15000);
        // A double-quoted word is a name, never a text.
        sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
        sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
        if (!initSchema(db)) {
            sqlite3_close(db);
            return ERROR_CANTOPEN;
        }
        db_ = db;
        path_ = p;
        // Closed at exit, so the log is copied into the file and removed instead of growing with
        // every run of a program.
        static std::once_flag atExit;
        std::call_once(atExit, [] { std::atexit(CloseAtExit); });
        return ERROR_SUCCESS;
    }

    void close() {
        if (!db_) return;
        FinalizeStmtCache();
        // The log, copied into the file, is left empty even if another process keeps it open.
        sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
        sqlite3_close(db_);
        db_ = nullptr;
        path_.clear();
        ++generation_;  // handles of the old file must not reach rows of the new one
    }

    sqlite3* db() const { return db_; }

    HKEY newHandle(Id id) {
        auto* h = new KeyHandle;
        h->generation = generation_;
        h->id = id;
        handles_.insert(h);
        return reinterpret_cast<HKEY>(h);
    }

    // The row id behind a handle; 0 for an unknown, closed or stale handle.
    Id idOf(HKEY key) const {
        auto v = reinterpret_cast<std::uintptr_t>(key);
        if (v >= kFirstPredefined && v < kFirstPredefined + std::size(kRootIds)) return kRootIds[v - kFirstPredefined];
        auto* h = reinterpret_cast<KeyHandle*>(key);
        if (!handles_.count(h) || h->generation != generation_) return 0;
        return h->id;
    }

    LONG closeHandle(HKEY key) {
        if (isPredefined(key)) return ERROR_SUCCESS;
        auto* h = reinterpret_cast<KeyHandle*>(key);
        auto it = handles_.find(h);
        if (it == handles_.end()) return ERROR_INVALID_HANDLE;
        handles_.erase(it);
        delete h;
        return ERROR_SUCCESS;
    }

    static bool isPredefined(HKEY key) {
        auto v = reinterpret_cast<std::uintptr_t>(key);
        return v >= kFirstPredefined && v < kFirstPredefined + std::size(kRootIds);
    }

private:
    static bool exec(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

    // Two processes may create the file at the same moment; switching to WAL takes a lock that
    // the busy handler does not always wait for, so try again for a while.
    static bool initSchema(sqlite3* db) {
        static const char* const kSchema =
            "CREATE TABLE IF NOT EXISTS reg_key("
            " id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER NOT NULL,"
            " name TEXT NOT NULL, fold TEXT NOT NULL);"
            "CREATE UNIQUE INDEX IF NOT EXISTS reg_key_child ON reg_key(parent, fold);"
            "CREATE TABLE IF NOT EXISTS reg_value("
            " id INTEGER PRIMARY KEY AUTOINCREMENT, key INTEGER NOT NULL,"
            " name TEXT NOT NULL, fold TEXT NOT NULL, type INTEGER NOT NULL, data BLOB);"
            "CREATE UNIQUE INDEX IF NOT EXISTS reg_value_name ON reg_value(key, fold);"
            "INSERT OR IGNORE INTO reg_key(id, parent, name, fold) VALUES"
            " (1, 0, 'HKEY_CLASSES_ROOT', 'HKEY_CLASSES_ROOT'),"
            " (2, 0, 'HKEY_CURRENT_USER', 'HKEY_CURRENT_USER'),"
            " (3, 0, 'HKEY_LOCAL_MACHINE', 'HKEY_LOCAL_MACHINE'),"
            " (4, 0, 'HKEY_USERS', 'HKEY_USERS');";
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        for (;;) {
            bool ok = exec(db, "PRAGMA journal_mode=WAL") && exec(db, "PRAGMA synchronous=NORMAL") &&
                      exec(db, "PRAGMA journal_size_limit=1048576") &&
                      exec(db, "BEGIN IMMEDIATE");
            if (ok) {
                ok = exec(db, kSchema) && exec(db, "COMMIT");
                if (!ok) exec(db, "ROLLBACK");
            }
            if (ok) return true;
            int err = sqlite3_errcode(db);
            if ((err != SQLITE_BUSY && err != SQLITE_LOCKED) || std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    static void CloseAtExit();

    sqlite3* db_ = nullptr;
    std::string path_;
    std::uint64_t generation_ = 1;
    std::unordered_set<KeyHandle*> handles_;
};

Store& TheStore() {
    static Store* s = new Store;  // never destroyed: handles may be closed from static destructors
    return *s;
}

void Store::CloseAtExit() {
    Store& st = TheStore();
    std::lock_guard g(st.mu);
    st.close();
}

// One call = one transaction. Writers take the write lock at once (BEGIN IMMEDIATE) so that a
// read-then-write can never fail half-way on another process's commit.
class Txn {
public:
    Txn(sqlite3* db, bool write) : db_(db) {
        ok_ = sqlite3_exec(db, write ? "BEGIN IMMEDIATE" : "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    ~Txn() {
        if (ok_ && !done_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    bool ok() const { return ok_; }
    bool commit() {
        done_ = true;
        if (sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK) return true;
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        return false;
    }

private:
    sqlite3* db_;
    bool ok_ = false;
    bool done_ = false;
};

// ---- row access; each throws StoreError on a database failure -------------------------------

void Check(int rc) {
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) throw StoreError{};
}

bool KeyExists(sqlite3* db, Id id) {
    Stmt s(db, "SELECT 1 FROM reg_key WHERE id = ?");
    int rc = s.bind(1, id).step();
    Check(rc);
    return rc == SQLITE_ROW;
}

Id FindChild(sqlite3* db, Id parent, const std::wstring& name) {
    Stmt s(db, "SELECT id FROM reg_key WHERE parent = ? AND fold = ?");
    int rc = s.bind(1, parent).bind(2, Fold(name)).step();
    Check(rc);
    return rc == SQLITE_ROW ? s.int64(0) : 0;
}

Id InsertChild(sqlite3* db, Id parent, const std::wstring& name) {
    Stmt s(db, "INSERT INTO reg_key(parent, name, fold) VALUES(?, ?, ?)");
    Check(s.bind(1, parent).bind(2, qv::ToUtf8(name)).bind(3, Fold(name)).step());
    return sqlite3_last_insert_rowid(db);
}

Id Resolve(sqlite3* db, Id start, LPCWSTR subKey) {
    Id id = start;
    for (const auto& part : SplitPath(subKey)) {
        id = FindChild(db, id, part);
        if (!id) return 0;
    }
    return id;
}

Id CreatePath(sqlite3* db, Id start, LPCWSTR subKey, bool& created) {
    created = false;
    Id id = start;
    for (const auto& part : SplitPath(subKey)) {
        Id child = FindChild(db, id, part);
        if (!child) {
            child = InsertChild(db, id, part);
            created = true;
        }
        id = child;
    }
    return id;
}

Value ToValue(const Stmt& s, int typeCol, int dataCol) {
    Value v;
    v.type = DWORD(s.int64(typeCol));
    if (IsStringType(v.type)) {
        std::wstring w = qv::FromUtf8(s.text(dataCol));
        w.push_back(L'\0');
        if (v.type == REG_MULTI_SZ) w.push_back(L'\0');
        v.bytes.resize(w.size() * sizeof(wchar_t));
        std::memcpy(v.bytes.data(), w.data(), v.bytes.size());
    } else {
        v.bytes = s.blob(dataCol);
    }
    return v;
}

bool FindValue(sqlite3* db, Id key, LPCWSTR name, Value& out) {
    Stmt s(db, "SELECT type, data FROM reg_value WHERE key = ? AND fold = ?");
    int rc = s.bind(1, key).bind(2, Fold(name ? name : L"")).step();
    Check(rc);
    if (rc != SQLITE_ROW) return false;
    out = ToValue(s, 0, 1);
    return true;
}

// Strings are kept as UTF-8 text without their terminators (a REG_SZ ends at its first NUL, a
// REG_MULTI_SZ keeps its inner separators); reading them back adds the terminators again, so a
// value stored without one still reads as a terminated string.
void StoreValue(sqlite3* db, Id key, LPCWSTR name, DWORD type, const BYTE* data, DWORD cb) {
    Stmt s(db,
           "INSERT INTO reg_value(key, name, fold, type, data) VALUES(?, ?, ?, ?, ?)"
           " ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data");
    std::wstring n = name ? name : L"";
    s.bind(1, key).bind(2, qv::ToUtf8(n)).bind(3, Fold(n)).bind(4, Id(type));
    if (IsStringType(type)) {
        std::wstring w(cb / sizeof(wchar_t), L'\0');
        if (!w.empty()) std::memcpy(w.data(), data, w.size() * sizeof(wchar_t));
        if (type == REG_MULTI_SZ) {
            while (!w.empty() && w.back() == L'\0') w.pop_back();
        } else if (auto z = w.find(L'\0'); z != std::wstring::npos) {
            w.resize(z);
        }
        s.bind(5, qv::ToUtf8(w));
    } else {
        s.bindBlob(5, data, int(cb));
    }
    Check(s.step());
}

void DeleteSubtree(sqlite3* db, Id root, bool includeRoot) {
    static const char* const kTree =
        "WITH RECURSIVE sub(id) AS (SELECT ? UNION ALL SELECT k.id FROM reg_key k JOIN sub ON k.parent = sub.id) ";
    {
        Stmt s(db, (std::string(kTree) + "DELETE FROM reg_value WHERE key IN (SELECT id FROM sub)").c_str());
        Check(s.bind(1, root).step());
    }
    {
        Stmt s(db, (std::string(kTree) + "DELETE FROM reg_key WHERE id IN (SELECT id FROM sub) AND id <> ?").c_str());
        Check(s.bind(1, root).bind(2, root).step());
    }
    if (includeRoot) {
        Stmt s(db, "DELETE FROM reg_key WHERE id = ?");
        Check(s.bind(1, root).step());
    }
}

bool IsRootId(Id id) { return id >= kRootIds[0] && id <= kRootIds[std::size(kRootIds) - 1]; }

// Runs one registry call: opens the store, resolves the handle, checks that its key still exists
// and runs `body` inside one transaction, committing when it returns ERROR_SUCCESS.
template <typename Body>
LONG Run(HKEY hKey, bool write, Body&& body) {
    Store& st = TheStore();
    std::lock_guard<std::mutex> lock(st.mu);
    if (LONG rc = st.ensureOpen(); rc != ERROR_SUCCESS) return rc;
    Id id = st.idOf(hKey);
    if (!id) return ERROR_INVALID_HANDLE;
    sqlite3* db = st.db();
    Txn txn(db, write);
    if (!txn.ok()) return write ? ERROR_CANTWRITE : ERROR_CANTREAD;
    try {
        if (!KeyExists(db, id)) return ERROR_KEY_DELETED;
        LONG rc = body(st, db, id);
        if (rc != ERROR_SUCCESS && rc != ERROR_MORE_DATA) return rc;
        if (!txn.commit()) return write ? ERROR_CANTWRITE : ERROR_CANTREAD;
        return rc;
    } catch (const StoreError&) {
        return write ? ERROR_CANTWRITE : ERROR_CANTREAD;
    } catch (const std::bad_alloc&) {
        return ERROR_OUTOFMEMORY;
    }
}

// Copies a name into a caller's buffer of *cch characters (terminator included).
LONG PutName(const std::wstring& name, LPWSTR buf, LPDWORD cch) {
    if (!buf || !cch) return ERROR_INVALID_PARAMETER;
    if (*cch < name.size() + 1) return ERROR_MORE_DATA;
    std::copy(name.begin(), name.end(), buf);
    buf[name.size()] = L'\0';
    *cch = DWORD(name.size());
    return ERROR_SUCCESS;
}

// Hands value data out the Windows way: a null buffer asks the size, a small one gets
// ERROR_MORE_DATA and the size it needs.
LONG PutData(const Value& v, LPDWORD type, LPBYTE data, LPDWORD cb) {
    if (type) *type = v.type;
    const auto size = DWORD(v.bytes.size());
    if (data) {
        if (*cb < size) {
            *cb = size;
            return ERROR_MORE_DATA;
        }
        if (size) std::memcpy(data, v.bytes.data(), size);
    }
    if (cb) *cb = size;
    return ERROR_SUCCESS;
}

}  // namespace

namespace qv {

std::string RegistryPath() {
    auto env = [](const char* n) -> std::string {
        const char* v = std::getenv(n);
        return v ? v : "";
    };
    if (auto p = env("QV_REGISTRY"); !p.empty()) return p;
    if (auto p = env("XDG_CONFIG_HOME"); !p.empty()) return p + "/qovaro/registry.db";
    std::string home = env("HOME");
    if (home.empty())
        if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) home = pw->pw_dir;
    return home + "/.config/qovaro/registry.db";
}

void RegistryReset() {
    Store& st = TheStore();
    std::lock_guard<std::mutex> lock(st.mu);
    st.close();
}

}  // namespace qv

LONG RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, LPWSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES,
                     PHKEY phkResult, LPDWORD lpdwDisposition) {
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    return Run(hKey, true, [&](Store& st, sqlite3* db, Id id) -> LONG {
        bool created = false;
        Id target = CreatePath(db, id, lpSubKey, created);
        *phkResult = st.newHandle(target);
        if (lpdwDisposition) *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
        return ERROR_SUCCESS;
    });
}

LONG RegCreateKeyW(HKEY hKey, LPCWSTR lpSubKey, PHKEY phkResult) {
    return RegCreateKeyExW(hKey, lpSubKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, phkResult,
                           nullptr);
}

LONG RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, REGSAM, PHKEY phkResult) {
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    if (Store::isPredefined(hKey) && (!lpSubKey || !*lpSubKey)) {
        *phkResult = hKey;
        return ERROR_SUCCESS;
    }
    return Run(hKey, false, [&](Store& st, sqlite3* db, Id id) -> LONG {
        Id target = Resolve(db, id, lpSubKey);
        if (!target) return ERROR_FILE_NOT_FOUND;
        *phkResult = st.newHandle(target);
        return ERROR_SUCCESS;
    });
}

LONG RegOpenKeyW(HKEY hKey, LPCWSTR lpSubKey, PHKEY phkResult) {
    return RegOpenKeyExW(hKey, lpSubKey, 0, KEY_ALL_ACCESS, phkResult);
}

LONG RegCloseKey(HKEY hKey) {
    Store& st = TheStore();
    std::lock_guard<std::mutex> lock(st.mu);
    return st.closeHandle(hKey);
}

LONG RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    if (lpData && !lpcbData) return ERROR_INVALID_PARAMETER;
    return Run(hKey, false, [&](Store&, sqlite3* db, Id id) -> LONG {
        Value v;
        if (!FindValue(db, id, lpValueName, v)) return ERROR_FILE_NOT_FOUND;
        return PutData(v, lpType, lpData, lpcbData);
    });
}

LONG RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData, DWORD cbData) {
    if (!lpData && cbData) return ERROR_INVALID_PARAMETER;
    return Run(hKey, true, [&](Store&, sqlite3* db, Id id) -> LONG {
        StoreValue(db, id, lpValueName, dwType, lpData, cbData);
        return ERROR_SUCCESS;
    });
}

LONG RegSetValueW(HKEY hKey, LPCWSTR lpSubKey, DWORD dwType, LPCWSTR lpData, DWORD) {
    if (dwType != REG_SZ || !lpData) return ERROR_INVALID_PARAMETER;
    return Run(hKey, true, [&](Store&, sqlite3* db, Id id) -> LONG {
        bool created = false;
        Id target = CreatePath(db, id, lpSubKey, created);
        StoreValue(db, target, L"", REG_SZ, reinterpret_cast<const BYTE*>(lpData),
                   DWORD((std::wcslen(lpData) + 1) * sizeof(wchar_t)));
        return ERROR_SUCCESS;
    });
}

LONG RegQueryValueW(HKEY hKey, LPCWSTR lpSubKey, LPWSTR lpData, PLONG lpcbData) {
    if (lpData && !lpcbData) return ERROR_INVALID_PARAMETER;
    return Run(hKey, false, [&](Store&, sqlite3* db, Id id) -> LONG {
        Id target = Resolve(db, id, lpSubKey);
        if (!target) return ERROR_FILE_NOT_FOUND;
        Value v;
        if (!FindValue(db, target, L"", v)) return ERROR_FILE_NOT_FOUND;
        if (!IsStringType(v.type)) return ERROR_INVALID_DATA;
        DWORD cb = lpcbData ? DWORD(std::max<LONG>(*lpcbData, 0)) : 0;
        LONG rc = PutData(v, nullptr, reinterpret_cast<LPBYTE>(lpData), &cb);
        if (lpcbData) *lpcbData = LONG(cb);
        return rc;
    });
}

LONG RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
    return Run(hKey, true, [&](Store&, sqlite3* db, Id id) -> LONG {
        Stmt s(db, "DELETE FROM reg_value WHERE key = ? AND fold = ?");
        Check(s.bind(1, id).bind(2, Fold(lpValueName ? lpValueName : L"")).step());
        return sqlite3_changes(db) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
}

LONG RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
    if (!lpSubKey) return ERROR_INVALID_PARAMETER;
    return Run(hKey, true, [&](Store&, sqlite3* db, Id id) -> LONG {
        Id target = Resolve(db, id, lpSubKey);
        if (!target) return ERROR_FILE_NOT_FOUND;
        if (IsRootId(target)) return ERROR_ACCESS_DENIED;
        Stmt s(db, "SELECT 1 FROM reg_key WHERE parent = ? LIMIT 1");
        int rc = s.bind(1, target).step();
        Check(rc);
        if (rc == SQLITE_ROW) return ERROR_ACCESS_DENIED;
        DeleteSubtree(db, target, true);
        return ERROR_SUCCESS;
    });
}

LONG RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey) {
    return Run(hKey, true, [&](Store&, sqlite3* db, Id id) -> LONG {
        if (!lpSubKey || !*lpSubKey) {
            DeleteSubtree(db, id, false);
            return ERROR_SUCCESS;
        }
        Id target = Resolve(db, id, lpSubKey);
        if (!target) return ERROR_FILE_NOT_FOUND;
        DeleteSubtree(db, target, !IsRootId(target));
        return ERROR_SUCCESS;
    });
}

LONG RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD, LPWSTR lpClass,
                   LPDWORD lpcchClass, PFILETIME) {
    if (!lpName || !lpcchName) return ERROR_INVALID_PARAMETER;
    return Run(hKey, false, [&](Store&, sqlite3* db, Id id) -> LONG {
        Stmt s(db, "SELECT name FROM reg_key WHERE parent = ? ORDER BY fold LIMIT 1 OFFSET ?");
        int rc = s.bind(1, id).bind(2, Id(dwIndex)).step();
        Check(rc);
        if (rc != SQLITE_ROW) return ERROR_NO_MORE_ITEMS;
        LONG r = PutName(qv::FromUtf8(s.text(0)), lpName, lpcchName);
        if (r == ERROR_SUCCESS && lpClass && lpcchClass && *lpcchClass) {
            lpClass[0] = L'\0';
            *lpcchClass = 0;
        }
        return r;
    });
}

LONG RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName, LPDWORD, LPDWORD lpType,
                   LPBYTE lpData, LPDWORD lpcbData) {
    if (!lpValueName || !lpcchValueName || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
    return Run(hKey, false, [&](Store&, sqlite3* db, Id id) -> LONG {
        Stmt s(db, "SELECT name, type, data FROM reg_value WHERE key = ? ORDER BY id LIMIT 1 OFFSET ?");
        int rc = s.bind(1, id).bind(2, Id(dwIndex)).step();
        Check(rc);
        if (rc != SQLITE_ROW) return ERROR_NO_MORE_ITEMS;
        if (LONG r = PutName(qv::FromUtf8(s.text(0)), lpValueName, lpcchValueName); r != ERROR_SUCCESS) return r;
        return PutData(ToValue(s, 1, 2), lpType, lpData, lpcbData);
    });
}

LONG RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD, LPDWORD lpcSubKeys,
                      LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                      LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                      PFILETIME) {
    return Run(hKey, false, [&](Store&, sqlite3* db, Id id) -> LONG {
        DWORD keys = 0, maxKey = 0, values = 0, maxName = 0, maxData = 0;
        {
            Stmt s(db, "SELECT name FROM reg_key WHERE parent = ?");
            s.bind(1, id);
            int rc;
            while ((rc = s.step()) == SQLITE_ROW) {
                ++keys;
                maxKey = std::max(maxKey, DWORD(qv::FromUtf8(s.text(0)).size()));
            }
            Check(rc);
        }
        {
            Stmt s(db, "SELECT name, type, data FROM reg_value WHERE key = ?");
            s.bind(1, id);
            int rc;
            while ((rc = s.step()) == SQLITE_ROW) {
                ++values;
                maxName = std::max(maxName, DWORD(qv::FromUtf8(s.text(0)).size()));
                maxData = std::max(maxData, DWORD(ToValue(s, 1, 2).bytes.size()));
            }
            Check(rc);
        }
        if (lpClass && lpcchClass && *lpcchClass) lpClass[0] = L'\0';
        if (lpcchClass) *lpcchClass = 0;
        if (lpcSubKeys) *lpcSubKeys = keys;
        if (lpcbMaxSubKeyLen) *lpcbMaxSubKeyLen = maxKey;
        if (lpcbMaxClassLen) *lpcbMaxClassLen = 0;
        if (lpcValues) *lpcValues = values;
        if (lpcbMaxValueNameLen) *lpcbMaxValueNameLen = maxName;
        if (lpcbMaxValueLen) *lpcbMaxValueLen = maxData;
        if (lpcbSecurityDescriptor) *lpcbSecurityDescriptor = 0;
        return ERROR_SUCCESS;
    });
}
