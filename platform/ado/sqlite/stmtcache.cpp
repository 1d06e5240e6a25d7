#include "stmtcache.h"
#include "sqlitedb.h"
#include <sqlite3.h>
#include <algorithm>
#include <list>
#include <map>
#include <mutex>
#include <unordered_map>
#include <utility>

namespace qv::sql {

// Entries stay where they are while lent out, so that a statement run again and again costs no
// allocation: a lease marks its entry lent and giving it back marks it idle.
struct StatementCache::State {
    sqlite3* db = nullptr;
    StatementInterrupter* interrupter = nullptr;
    std::size_t capacity = 0;
    std::size_t maxBytes = 0;
    std::size_t bytes = 0;
    struct Entry {
        std::string sql;
        sqlite3_stmt* stmt = nullptr;
        std::size_t bytes = 0;
        bool measured = false;
        bool lent = false;
        bool dropped = false;  // lent when the cache was cleared: finalized when given back
        std::list<Entry>::iterator self;
    };
    // Most recently used first.
    std::list<Entry> lru;
    // Keys point into the entries' texts, which list nodes keep in place.
    std::unordered_map<std::string_view, std::list<Entry>::iterator> index;

    // Finalizes idle statements, least recently used first, until both bounds hold.
    void Evict() {
        auto it = lru.end();
        while ((index.size() > capacity || bytes > maxBytes) && it != lru.begin()) {
            --it;
            if (it->lent) continue;
            sqlite3_finalize(it->stmt);
            bytes -= it->bytes;
            index.erase(it->sql);
            it = lru.erase(it);
        }
    }
};

namespace {
std::mutex& RegistryMutex() {
    static std::mutex m;
    return m;
}
std::map<sqlite3*, StatementCache*>& Registry() {
    static std::map<sqlite3*, StatementCache*> r;
    return r;
}
}  // namespace

StatementCache::Lease::Lease(Lease&& other) noexcept
    : owner_(std::move(other.owner_)), entry_(std::exchange(other.entry_, nullptr)), stmt_(other.stmt_) {
    other.stmt_ = nullptr;
}

StatementCache::Lease& StatementCache::Lease::operator=(Lease&& other) noexcept {
    if (this != &other) {
        GiveBack();
        owner_ = std::move(other.owner_);
        entry_ = std::exchange(other.entry_, nullptr);
        stmt_ = other.stmt_;
        other.stmt_ = nullptr;
    }
    return *this;
}

StatementCache::Lease::~Lease() { GiveBack(); }

void StatementCache::Lease::Discard() {
    sqlite3_finalize(std::exchange(stmt_, nullptr));
    if (auto* e = static_cast<State::Entry*>(std::exchange(entry_, nullptr))) {
        if (!e->dropped) {
            owner_->bytes -= e->bytes;
            owner_->index.erase(e->sql);
        }
        owner_->lru.erase(e->self);
    }
    owner_.reset();
}

void StatementCache::Lease::GiveBack() {
    if (!stmt_) return;
    sqlite3_stmt* stmt = std::exchange(stmt_, nullptr);
    std::shared_ptr<State> s = std::move(owner_);
    auto* e = static_cast<State::Entry*>(std::exchange(entry_, nullptr));
    if (!e) {
        sqlite3_finalize(stmt);
        return;
    }
    if (e->dropped) {
        sqlite3_finalize(stmt);
        s->lru.erase(e->self);
        return;
    }
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
    e->lent = false;
    if (!e->measured) {
        // Measured once, after its first run: SQLite measures by walking the whole statement.
        e->measured = true;
        e->bytes = std::size_t(std::max(0, sqlite3_stmt_status(stmt, SQLITE_STMTSTATUS_MEMUSED, 0)));
        s->bytes += e->bytes;
    }
    s->Evict();
}

StatementCache::StatementCache(sqlite3* db, std::size_t capacity, std::size_t maxBytes)
    : state_(std::make_shared<State>()) {
    state_->db = db;
    state_->capacity = capacity;
    state_->maxBytes = maxBytes;
}

StatementCache::~StatementCache() { Clear(); }

StatementCache::Lease StatementCache::Acquire(std::string_view sql, int* rc) {
    State& s = *state_;
    Lease lease;
    lease.owner_ = state_;
    auto it = s.index.find(sql);
    if (it != s.index.end() && !it->second->lent) {
        State::Entry& e = *it->second;
        e.lent = true;
        s.lru.splice(s.lru.begin(), s.lru, e.self);
        lease.entry_ = &e;
        lease.stmt_ = e.stmt;
        if (rc) *rc = SQLITE_OK;
        return lease;
    }
    sqlite3_stmt* stmt = nullptr;
    bool alone = s.interrupter != nullptr;
    for (sqlite3_stmt* other = nullptr; alone && (other = sqlite3_next_stmt(s.db, other));)
        alone = !sqlite3_stmt_busy(other);
    if (alone) s.interrupter->BeginPreparingAlone();
    int r = sqlite3_prepare_v3(s.db, sql.data(), int(sql.size()), SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
    if (alone) {
        s.interrupter->EndPreparingAlone();
        // Refused by the authorizer or ended by the interrupt: given up on request.
        if (r != SQLITE_OK && s.interrupter->Asked()) r = SQLITE_INTERRUPT;
    }
    if (rc) *rc = r;
    if (r != SQLITE_OK) {
        sqlite3_finalize(stmt);
        return Lease();
    }
    lease.stmt_ = stmt;
    // The same text while it runs gets a statement of its own, finalized when given back.
    if (!stmt || it != s.index.end() || s.capacity == 0) return lease;
    s.lru.emplace_front();
    State::Entry& e = s.lru.front();
    e.sql = std::string(sql);
    e.stmt = stmt;
    e.self = s.lru.begin();
    e.lent = true;
    s.index.emplace(e.sql, e.self);
    lease.entry_ = &e;
    s.Evict();
    return lease;
}

void StatementCache::WatchPreparing(StatementInterrupter* interrupter) { state_->interrupter = interrupter; }

std::size_t StatementCache::Size() const { return state_->index.size(); }
std::size_t StatementCache::Capacity() const { return state_->capacity; }
std::size_t StatementCache::Bytes() const { return state_->bytes; }
std::size_t StatementCache::MaxBytes() const { return state_->maxBytes; }

void StatementCache::Clear() {
    State& s = *state_;
    s.index.clear();
    s.bytes = 0;
    for (auto it = s.lru.begin(); it != s.lru.end();) {
        if (it->lent) {
            it->dropped = true;
            ++it;
        } else {
            sqlite3_finalize(it->stmt);
            it = s.lru.erase(it);
        }
    }
}

StatementCache* StatementCache::For(sqlite3* db) {
    std::lock_guard<std::mutex> lk(RegistryMutex());
    auto it = Registry().find(db);
    return it == Registry().end() ? nullptr : it->second;
}

void StatementCache::Attach(sqlite3* db, StatementCache* cache) {
    std::lock_guard<std::mutex> lk(RegistryMutex());
    Registry()[db] = cache;
}

void StatementCache::Detach(sqlite3* db) {
    std::lock_guard<std::mutex> lk(RegistryMutex());
    Registry().erase(db);
}

}  // namespace qv::sql
