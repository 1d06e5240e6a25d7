#pragma once
// Prepared statements of one connection, kept by their SQL text so that a statement the system
// sends again and again is prepared once. Bounded by count and by the memory the idle statements
// hold: texts that carry their ids differ every time, and a thousand of them would keep many
// megabytes of SQLite heap for nothing.
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace qv::sql {

class StatementInterrupter;

class StatementCache {
    struct State;

public:
    // A statement lent out by the cache. While lent it belongs to its holder alone, so the same
    // text can be lent twice (a nested query) and eviction never touches a running statement.
    // Giving it back resets it and clears its bindings.
    class Lease {
    public:
        Lease() = default;
        Lease(Lease&& other) noexcept;
        Lease& operator=(Lease&& other) noexcept;
        ~Lease();
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;

        sqlite3_stmt* get() const { return stmt_; }
        explicit operator bool() const { return stmt_ != nullptr; }
        // Finalizes the statement instead of giving it back (e.g. after an error that left it
        // unusable).
        void Discard();

    private:
        friend class StatementCache;
        void GiveBack();
        std::shared_ptr<State> owner_;
        void* entry_ = nullptr;  // the cache's entry of the statement; null for one of its own
        sqlite3_stmt* stmt_ = nullptr;
    };

    static constexpr std::size_t kDefaultMaxBytes = 2u << 20;

    explicit StatementCache(sqlite3* db, std::size_t capacity = 64, std::size_t maxBytes = kDefaultMaxBytes);
    // Finalizes the idle statements; statements still lent out are finalized when given back.
    ~StatementCache();
    StatementCache(const StatementCache&) = delete;
    StatementCache& operator=(const StatementCache&) = delete;

    // The first statement of `sql`, prepared. On failure the lease is empty, `*rc` holds the
    // SQLite result code and sqlite3_errmsg(db) the message. Text without a statement gives an
    // empty lease and SQLITE_OK.
    Lease Acquire(std::string_view sql, int* rc = nullptr);
    // Statements held, idle or lent out.
    std::size_t Size() const;
    std::size_t Capacity() const;
    // SQLite heap held by the statements, as SQLite counts it once each has run.
    std::size_t Bytes() const;
    std::size_t MaxBytes() const;
    void Clear();

    // The cache of a connection opened by SqliteDb; null for any other connection.
    static StatementCache* For(sqlite3* db);

private:
    friend class SqliteDb;
    // Set while a statement is prepared and none of the connection runs: then the engine's own
    // interrupt ends just that preparing (a long text's takes seconds) and nothing else.
    void WatchPreparing(StatementInterrupter* interrupter);
    static void Attach(sqlite3* db, StatementCache* cache);
    static void Detach(sqlite3* db);
    std::shared_ptr<State> state_;
};

}  // namespace qv::sql
