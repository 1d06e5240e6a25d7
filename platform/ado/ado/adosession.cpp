#include "adosession.h"

#include "adoerror.h"

#include "textcase.h"
#include "tsqlerror.h"
#include "stmtcache.h"
#include "tsqllexer.h"
#include "utf.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <climits>

#include <sys/stat.h>

namespace qv::ado {

namespace {

using Sessions = std::unordered_map<std::string, std::weak_ptr<Session>>;

Sessions& ThisThreadsSessions() {
    thread_local Sessions sessions;
    return sessions;
}

// Sessions kept open for a while after their last connection object closed, as a connection
// pool does: opening a database file costs a schema parse, a server connection a log-in, and a
// piece of work opens and closes its connection many times. A kept session costs its statement
// cache, so only a few are kept, not for long, and none whose database has gone.
struct Idle {
    std::string connectionString;
    std::shared_ptr<Session> session;
    std::chrono::steady_clock::time_point lastUse;
};
constexpr std::size_t kPoolSize = 4;
constexpr std::chrono::seconds kPoolIdleLimit{60};

int& ThisThreadsPageCacheKiB() {
    thread_local int kib = 0;
    return kib;
}

bool& ThisThreadReadsInBulk() {
    thread_local bool bulk = false;
    return bulk;
}

std::vector<Idle>& ThisThreadsPool() {
    thread_local std::vector<Idle> pool;
    return pool;
}

bool SameFile(const Session::FileId& a, const Session::FileId& b) { return a.dev == b.dev && a.ino == b.ino; }

Session::FileId IdentifyFile(const std::string& path) {
    Session::FileId id;
    struct stat st {};
    if (!path.empty() && ::stat(path.c_str(), &st) == 0) {
        id.dev = static_cast<unsigned long long>(st.st_dev);
        id.ino = static_cast<unsigned long long>(st.st_ino);
        id.known = true;
    }
    return id;
}

// Keeps `s` in the pool as the most recently used session; beyond the pool's size the least
// recently used idle one is closed (one in use stays open with its users anyway).
void Remember(const std::string& connectionString, const std::shared_ptr<Session>& s) {
    auto& pool = ThisThreadsPool();
    std::erase_if(pool, [&](const Idle& e) { return e.session == s; });
    pool.push_back({connectionString, s, std::chrono::steady_clock::now()});
    if (pool.size() <= kPoolSize) return;
    const auto older = pool.end() - 1;  // the last one is `s`, about to be used
    const auto victim = std::find_if(pool.begin(), older, [](const Idle& e) { return e.session->users == 0; });
    pool.erase(victim != older ? victim : pool.begin());
}

bool IsPgString(const std::string& cs) {
    const std::string head = qv::tsql::ToLowerAscii(cs.substr(0, 13));
    return head.starts_with("postgresql://") || head.starts_with("postgres://");
}

void Forget(const std::shared_ptr<Session>& s) {
    std::erase_if(ThisThreadsPool(), [&](const Idle& e) { return e.session == s; });
}

}  // namespace

const wchar_t* Session::DriverSourceOf(const std::string& connectionString) {
    return IsPgString(connectionString) ? kSourcePgDriver : kSourceDriver;
}

std::shared_ptr<Session> Session::ForThisThread(const std::string& connectionString, qv::sql::ErrorInfo* error,
                                                int connectTimeoutMs) {
    Sessions& sessions = ThisThreadsSessions();
    DropUnwanted(false);
    if (auto it = sessions.find(connectionString); it != sessions.end()) {
        if (std::shared_ptr<Session> s = it->second.lock()) {
            // A session in use is joined, so that the caller's work and this one share a transaction.
            if (s->users > 0 || s->ReadyForNewWork()) {
                if (s->pooled_) Remember(connectionString, s);
                return s;
            }
            Forget(s);
            sessions.erase(it);
        }
    }
    // A thread that moves on to another database lets go of those that have gone.
    DropUnwanted(true);
    // Drop entries of sessions that have ended before adding one.
    for (auto it = sessions.begin(); it != sessions.end();) {
        it = it->second.expired() ? sessions.erase(it) : std::next(it);
    }
    std::shared_ptr<Session> s(new Session());
    if (IsPgString(connectionString)) {
        if (s->OpenPg(connectionString, connectTimeoutMs) != 0) {
            if (error) {
                if (s->pg_) {
                    *error = s->LastError();
                } else {
                    *error = {};
                    error->hresult = qv::sql::kHrFail;
                    error->sqlState = "08001";
                    error->description = "This program was built without PostgreSQL.";
                }
            }
            return nullptr;
        }
        // The planner's estimates of a canton's joins can miss by orders of magnitude (the Mandant
        // names of 200,000 persons taken for 156): it then looks up the rows of the next table
        // once per row of the first, however many. A thread that reads whole lists hashes instead.
        if (ThisThreadReadsInBulk()) s->PgReadInBulk();
        s->pooled_ = true;
        sessions[connectionString] = s;
        Remember(connectionString, s);
        return s;
    }
    qv::sql::OpenOptions options;
    options.busyTimeoutMs = kDefaultTimeoutMs;
    options.statementCacheSize = kStatementCacheSize;
    if (s->db_.Open(connectionString, options) != 0) {
        if (error) *error = s->db_.LastError();
        return nullptr;
    }
    Session* raw = s.get();
    s->options_.tranCount = [raw] { return raw->db_.Depth(); };
    s->options_.cache = s->db_.Statements();
    // A unit of work whose transaction the engine rolled back stays failed until it is rolled back.
    s->options_.admit = [raw] {
        if (raw->db_.CheckUsable() != SQLITE_OK) {
            const qv::sql::ErrorInfo& e = raw->db_.LastError();
            throw qv::tsql::ExecError(e.nativeError, e.description, 0, "");
        }
    };
    s->options_.failed = [raw](const qv::tsql::ExecError& e) { raw->db_.NoteFailure(e.code(), e.message()); };
    s->file_ = IdentifyFile(s->db_.Path());
    // A statement that changes a few thousand rows of a canton's database (opening its runs)
    // touches more pages than SQLite's default cache of 2 MB holds, and would read them one by
    // one and spill them before its end. The cache grows only with the pages read.
    if (s->file_.known) {
        const int kib = ThisThreadsPageCacheKiB() > 0 ? ThisThreadsPageCacheKiB() : kPageCacheKiB;
        s->db_.Exec("PRAGMA cache_size = -" + std::to_string(kib));
        s->cacheKiB_ = kib;
    }
    // An in-memory database lives only as long as its users: never pooled.
    s->pooled_ = s->file_.known;
    sessions[connectionString] = s;
    if (s->pooled_) Remember(connectionString, s);
    return s;
}

void Session::ReleasePool() { ThisThreadsPool().clear(); }

void Session::SetThreadPageCacheKiB(int kib) { ThisThreadsPageCacheKiB() = std::max(kib, 0); }

void Session::SetThreadReadsInBulk(bool bulk) { ThisThreadReadsInBulk() = bulk; }

void Session::KeepIdleCache() {
    if (OnPg() || cacheKiB_ <= kIdlePageCacheKiB || !db_.Handle() || Depth() > 0) return;
    int used = 0, highwater = 0;
    if (sqlite3_db_status(db_.Handle(), SQLITE_DBSTATUS_CACHE_USED, &used, &highwater, 0) != SQLITE_OK) return;
    if (used <= kIdlePageCacheKiB * 1024) return;
    // A smaller limit frees the least recently used pages beyond it; the larger one again lets
    // the next unit of work read without re-reading its pages.
    db_.Exec("PRAGMA cache_size = -" + std::to_string(kIdlePageCacheKiB));
    db_.Exec("PRAGMA cache_size = -" + std::to_string(cacheKiB_));
}

void Session::DropUnwanted(bool checkDatabases) {
    const auto now = std::chrono::steady_clock::now();
    std::erase_if(ThisThreadsPool(), [&](Idle& e) {
        // A session in use is not idle: its idle time starts when its last user goes.
        if (e.session->users > 0) {
            e.lastUse = now;
            return false;
        }
        return now - e.lastUse > kPoolIdleLimit || (checkDatabases && !e.session->DatabaseStillThere());
    });
}

bool Session::DatabaseStillThere() const {
    if (pg_) return PgAlive();
    // A file deleted or replaced since it was opened is not the database the string names now.
    return !file_.known || SameFile(file_, IdentifyFile(db_.Path()));
}

bool Session::ReadyForNewWork() {
    // Work whose caller failed without ending it is undone before anyone else builds on it.
    if (Depth() > 0 && (Rollback() != 0 || Depth() > 0)) return false;
    if (!DatabaseStillThere()) return false;
    // A new connection object starts at read committed, whatever the last one chose.
    return isolation_ == kReadCommitted || SetIsolationLevel(kReadCommitted) == 0;
}

Session::~Session() = default;

void Session::UseTimeout(long seconds) {
    const int ms = seconds <= 0 ? INT_MAX : seconds >= INT_MAX / 1000 ? INT_MAX : static_cast<int>(seconds * 1000);
    if (ms != timeoutMs_) {
        if (pg_) {
            if (timeoutMs_ == -1 && isolation_ != kReadCommitted) SetPgIsolationLevel(isolation_);
            if (SetPgTimeout(ms == INT_MAX ? 0 : ms) != 0) return;
        } else {
            db_.SetBusyTimeout(ms);
        }
        timeoutMs_ = ms;
    }
}

int Session::SetIsolationLevel(long level) {
    if (pg_) {
        const int rc = SetPgIsolationLevel(level);
        if (rc == 0) isolation_ = level;
        return rc;
    }
    // Only matters for a shared cache; WAL readers never wait for writers anyway.
    const int rc = db_.Exec(level == 256 ? "PRAGMA read_uncommitted = 1" : "PRAGMA read_uncommitted = 0");
    if (rc == SQLITE_OK) isolation_ = level;
    return rc;
}

Session::ColumnList Session::Columns(const std::shared_ptr<const qv::tsql::Program>& program,
                                     const qv::tsql::Execution* run) {
    auto it = columns_.find(program.get());
    if (it == columns_.end()) {
        if (columns_.size() >= kColumnCacheSize) columns_.clear();
        CachedColumns entry;
        entry.program = program;
        for (std::size_t i = 0; i < program->steps.size(); ++i) {
            if (program->steps[i].kind == qv::tsql::StepKind::Query) entry.querySteps.push_back(i);
        }
        it = columns_.emplace(program.get(), std::move(entry)).first;
    }
    CachedColumns& entry = it->second;

    // The result is the first query that ran; with several (IF ... ELSE), the one whose columns
    // match.
    std::size_t step = SIZE_MAX;
    if (entry.querySteps.size() == 1) {
        step = entry.querySteps[0];
    } else if (run) {
        const int count = run->ColumnCount();
        for (std::size_t s : entry.querySteps) {
            const qv::tsql::Step& q = program->steps[s];
            if (!q.namesKnown || q.columnNames.size() != static_cast<std::size_t>(count)) continue;
            bool same = true;
            for (int c = 0; c < count && same; ++c) same = q.columnNames[static_cast<std::size_t>(c)] == run->ColumnName(c);
            if (same) {
                step = s;
                break;
            }
        }
    }
    if (step == SIZE_MAX) return nullptr;
    for (const auto& [s, list] : entry.byStep) {
        if (s == step) return list;
    }

    // Before the run, the statement comes from the cache the run takes it from, so that it is
    // prepared once; during the run the run holds it.
    const qv::tsql::Step& q = program->steps[step];
    qv::sql::StatementCache::Lease lease;
    sqlite3_stmt* own = nullptr;
    sqlite3_stmt* stmt = nullptr;
    if (!run && db_.Statements()) {
        lease = db_.Statements()->Acquire(q.sql);
        stmt = lease.get();
    } else if (sqlite3_prepare_v2(db_.Handle(), q.sql.data(), static_cast<int>(q.sql.size()), &own, nullptr) == SQLITE_OK) {
        stmt = own;
    }
    if (!stmt) {
        sqlite3_finalize(own);
        return nullptr;
    }
    const int count = sqlite3_column_count(stmt);
    ColumnList result;
    if (!run || run->ColumnCount() == count) {
        auto columns = std::make_shared<std::vector<ColumnInfo>>(static_cast<std::size_t>(count));
        for (int c = 0; c < count; ++c) {
            ColumnInfo& info = (*columns)[static_cast<std::size_t>(c)];
            // The names the run reports: those the statement wrote, else SQLite's.
            if (run) {
                info.name = qv::FromUtf8(run->ColumnName(c));
            } else if (q.namesKnown && q.columnNames.size() == static_cast<std::size_t>(count)) {
                info.name = qv::FromUtf8(q.columnNames[static_cast<std::size_t>(c)]);
            } else {
                const char* name = sqlite3_column_name(stmt, c);
                info.name = qv::FromUtf8(name ? name : "");
            }
            info.lower = qv::ToLower(info.name);
            info.kind = KindOfDeclaredType(sqlite3_column_decltype(stmt, c));
            const char* table = sqlite3_column_table_name(stmt, c);
            const char* origin = sqlite3_column_origin_name(stmt, c);
            if (table && origin) {
                info.table = table;
                info.column = origin;
            }
        }
        result = std::move(columns);
        entry.byStep.emplace_back(step, result);
    }
    sqlite3_finalize(own);
    return result;
}

bool Session::HasRowid(const std::string& table) {
    const std::string key = qv::tsql::ToLowerAscii(table);
    if (auto it = rowidTables_.find(key); it != rowidTables_.end()) return it->second;
    static const char kSql[] = "SELECT type = 'table' AND wr = 0 FROM pragma_table_list WHERE name = ?1 COLLATE NOCASE";
    bool yes = false;
    bool known = false;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db_.Handle(), kSql, -1, &stmt, nullptr) == SQLITE_OK) {
        sqlite3_bind_text(stmt, 1, table.data(), static_cast<int>(table.size()), SQLITE_STATIC);
        if (sqlite3_step(stmt) == SQLITE_ROW) {
            known = true;
            yes = sqlite3_column_int(stmt, 0) != 0;
        }
    }
    sqlite3_finalize(stmt);
    // An unknown name is not remembered: the table may be created later.
    if (known) rowidTables_.emplace(key, yes);
    return yes;
}

}  // namespace qv::ado
