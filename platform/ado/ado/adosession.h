#pragma once
// The database connection that all connection objects of one thread opened with the same
// connection string share, so that a piece of work called by another joins its transaction.
#include "adovalue.h"
#include "sqlitedb.h"
#include "tsqlexec.h"
#include "tsqlprogram.h"

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace qv::sql {
class PgDb;
}

namespace qv::ado {

// A result column.
struct ColumnInfo {
    std::wstring name;
    std::wstring lower;  // the name in lower case, for lookups in any case
    ColumnKind kind = ColumnKind::Plain;
    std::string table;   // the table it comes from; empty for an expression
    std::string column;  // its name in that table
};

class Session {
public:
    // Prepared statements kept per connection. The system writes its values into the text, so
    // one lookup of many keys is many statements.
    static constexpr std::size_t kStatementCacheSize = 1024;
    static constexpr int kDefaultTimeoutMs = 30000;
    // The page cache of a session on a database file.
    static constexpr int kPageCacheKiB = 8192;
    // What the page cache keeps between units of work: SQLite's default.
    static constexpr int kIdlePageCacheKiB = 2048;

    // This thread's session for the string, opened on first use. Null on failure, with `error`.
    // A new connection to a server is made within `connectTimeoutMs` (0: the connection string's
    // own limit).
    static std::shared_ptr<Session> ForThisThread(const std::string& connectionString, qv::sql::ErrorInfo* error,
                                                  int connectTimeoutMs = 0);

    using ColumnList = std::shared_ptr<const std::vector<ColumnInfo>>;

    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    ~Session();

    // The SQLite driver; unused when the session runs on PostgreSQL.
    qv::sql::SqliteDb& Db() { return db_; }
    // Whether the connection string named a PostgreSQL database; then the batches run through
    // RunPg, and a recordset read forward gets its rows as the server sends them.
    bool OnPg() const { return pg_ != nullptr; }

    // Transactions and errors of whichever driver the session runs on, with T-SQL's depth rules.
    int Begin();
    int Commit();
    int Rollback();
    int Depth();
    const qv::sql::ErrorInfo& LastError() const;
    // The source the error records of the driver name.
    const wchar_t* DriverSource() const;
    // The driver a connection string names, as its errors give it: also for one that could not open.
    static const wchar_t* DriverSourceOf(const std::string& connectionString);
    // Ends the driver's running statement from another thread.
    std::shared_ptr<qv::sql::StatementInterrupter> Interrupter() const;

    // A batch's first result on PostgreSQL: every row read, or with `next` the rows still coming.
    struct Rows {
        bool hasResult = false;
        ColumnList columns;
        std::vector<std::vector<qv::sql::Value>> rows;
        long affected = 0;
        // The next row into its argument, false at the end; throws ExecError on a failure after
        // some rows. Dropped before the end, it cancels the rest.
        std::function<bool(std::vector<qv::sql::Value>*)> next;
    };
    // Translates the T-SQL for PostgreSQL and runs it. Throws TranslateError or ExecError; an
    // ExecError from the server leaves its details in LastError(). With `stream`, the rows of
    // the result come through `next` as the server sends them. With `program`, runs that
    // translation of the text (TranslatePgForUpdate's) instead.
    Rows RunPg(const std::string& tsql, bool stream = false, std::shared_ptr<const qv::tsql::Program> program = nullptr);

    // A PostgreSQL table as the catalogue describes it: its primary key columns (empty when it has
    // none, or is a view) and all its columns in order, names as the server has them; `name` is
    // the table's name for a statement. Read once per table and session; empty `name` when there
    // is no such table.
    struct PgTable {
        std::string name;
        std::vector<std::string> key;
        std::vector<std::string> columns;
    };
    const PgTable& PgTableOf(const std::string& table);
    // Writes `values` into `columns` of the row of `table` whose key holds `keyValues`, inside
    // the session's transaction. Returns 0 with the rows it changed in `changed`, or the
    // driver's error (LastError).
    int UpdatePgRow(const PgTable& table, const std::vector<std::string>& columns,
                    const std::vector<qv::sql::Value>& values, const std::vector<qv::sql::Value>& keyValues,
                    long* changed);
    // Answers @@TRANCOUNT with the depth the driver keeps.
    const qv::tsql::ExecOptions& ExecOptions() const { return options_; }

    // The busy timeout for the next statement; 0 = without limit.
    void UseTimeout(long seconds);

    long IsolationLevel() const { return isolation_; }
    int SetIsolationLevel(long level);

    // Open connection objects on the session.
    int users = 0;

    // The columns of the result of `program` (cached per program). Without `run`, before the
    // program runs, only for a program with a single query; with several, `run` tells which one
    // gave the result. Null when no step of the program has that result.
    ColumnList Columns(const std::shared_ptr<const qv::tsql::Program>& program, const qv::tsql::Execution* run);

    // Closes this thread's idle sessions (those no connection object uses), e.g. before a database
    // file is replaced. Without it, an idle session is closed on a later open of a connection
    // object on its thread once it has been idle too long, is one too many, or its database has
    // gone (file removed or replaced, server connection lost); all of them when the thread ends.
    static void ReleasePool();
    // The page cache of the sessions this thread opens on a database file from now on: a thread
    // that only reads forward through many rows (a loader) needs few pages kept, and the pages it
    // would keep count in the whole program's memory. Zero: kPageCacheKiB again.
    static void SetThreadPageCacheKiB(int kib);
    // The PostgreSQL sessions this thread opens from now on join by hashing, not by a lookup per
    // row: for a thread that reads whole lists of many rows (a loader), never for short statements.
    static void SetThreadReadsInBulk(bool bulk);
    // Outside a transaction, gives back the pages beyond kIdlePageCacheKiB that a large statement
    // or unit of work left in the cache (called as a connection object closes): the cache serves
    // a unit of work while it runs, and a window that reads much of a canton's database keeps no
    // megabytes of pages beside its rows.
    void KeepIdleCache();

    struct FileId {
        unsigned long long dev = 0, ino = 0;
        bool known = false;
    };

    // Whether rows of the table can be addressed by rowid (a table, not a view or a table
    // without rowid).
    bool HasRowid(const std::string& table);

private:
    Session() = default;
    // Closes idle sessions idle too long and, when asked (it costs a look at each file or
    // socket), those whose database has gone.
    static void DropUnwanted(bool checkDatabases);
    bool DatabaseStillThere() const;
    bool PgAlive() const;
    // Whether an idle session can be handed out again.
    bool ReadyForNewWork();
    int OpenPg(const std::string& connectionString, int connectTimeoutMs);
    // Joins by hashing from now on (SetThreadReadsInBulk).
    void PgReadInBulk();
    int SetPgTimeout(int ms);
    int SetPgIsolationLevel(long level);
    void PgSettingsLost();
    static constexpr long kReadCommitted = 4096;
    struct CachedColumns {
        std::shared_ptr<const qv::tsql::Program> program;  // keeps the key's address taken
        std::vector<std::size_t> querySteps;
        std::vector<std::pair<std::size_t, ColumnList>> byStep;  // usually one
    };
    static constexpr std::size_t kColumnCacheSize = 1024;

    qv::sql::SqliteDb db_;
    // Deleted through the function the PostgreSQL side sets, so that this header needs no driver.
    std::unique_ptr<qv::sql::PgDb, void (*)(qv::sql::PgDb*)> pg_{nullptr, nullptr};
    FileId file_;
    int cacheKiB_ = 0;
    bool pooled_ = false;
    qv::tsql::ExecOptions options_;
    int timeoutMs_ = kDefaultTimeoutMs;
    long isolation_ = kReadCommitted;
    std::unordered_map<const qv::tsql::Program*, CachedColumns> columns_;
    std::unordered_map<std::string, bool> rowidTables_;
    std::unordered_map<std::string, PgTable> pgTables_;
};

}  // namespace qv::ado
