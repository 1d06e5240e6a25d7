#include "stmtcache.h"
#include <sqlite3.h>
#include <algorithm>
#include <list>
#include <map>
#include <mutex>
#include <unordered_map>
#include <utility>

namespace qv::sql {

struct StatementCache::State {
    sqlite3* db = nullptr;
    std::size_t capacity = 0;
    std::size_t maxBytes = 0;
    std::size_t bytes = 0;
    bool alive = true;
    struct Entry {
        std::string sql;
        sqlite3_stmt* stmt;
        std::size_t bytes;
    };
    // Most recently given back first.
    std::list<Entry> lru;
    std::unordered_map<std::string, std::list<Entry>::iterator> index;

    void Evict() {
        while (!lru.empty() && (lru.size() > capacity || bytes > maxBytes)) {
            sqlite3_finalize(lru.back().stmt);
            bytes -= lru.back().bytes;
            index.erase(lru.back().sql);
            lru.pop_back();
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
    : owner_(std::move(other.owner_)), sql_(std::move(other.sql_)), stmt_(other.stmt_) {
    other.stmt_ = nullptr;
}

StatementCache::Lease& StatementCache::Lease::operator=(Lease&& other) noexcept {
    if (this != &other) {
        GiveBack();
        owner_ = std::move(other.owner_);
        sql_ = std::move(other.sql_);
        stmt_ = other.stmt_;
        other.stmt_ = nullptr;
    }
    return *this;
}

StatementCache::Lease::~Lease() { GiveBack(); }

void StatementCache::Lease::Discard() {
    sqlite3_finalize(stmt_);
    stmt_ = nullptr;
    owner_.reset();
}

void StatementCache::Lease::GiveBack() {
    if (!stmt_) return;
    sqlite3_stmt* stmt = std::exchange(stmt_, nullptr);
    std::shared_ptr<State> s = std::move(owner_);
    if (!s || !s->alive || s->capacity == 0 || s->index.count(sql_)) {
        sqlite3_finalize(stmt);
        return;
    }
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
    const std::size_t bytes = std::size_t(std::max(0, sqlite3_stmt_status(stmt, SQLITE_STMTSTATUS_MEMUSED, 0)));
    s->lru.push_front({sql_, stmt, bytes});
    s->bytes += bytes;
    s->index[sql_] = s->lru.begin();
    s->Evict();
}

StatementCache::StatementCache(sqlite3* db, std::size_t capacity, std::size_t maxBytes)
    : state_(std::make_shared<State>()) {
    state_->db = db;
    state_->capacity = capacity;
    state_->maxBytes = maxBytes;
}

StatementCache::~StatementCache() {
    Clear();
    state_->alive = false;
}

StatementCache::Lease StatementCache::Acquire(std::string_view sql, int* rc) {
    Lease lease;
    lease.owner_ = state_;
    lease.sql_ = std::string(sql);
    if (auto it = state_->index.find(lease.sql_); it != state_->index.end()) {
        lease.stmt_ = it->second->stmt;
        state_->bytes -= it->second->bytes;
        state_->lru.erase(it->second);
        state_->index.erase(it);
        if (rc) *rc = SQLITE_OK;
        return lease;
    }
    sqlite3_stmt* stmt = nullptr;
    int r = sqlite3_prepare_v3(state_->db, sql.data(), int(sql.size()), SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
    if (rc) *rc = r;
    if (r != SQLITE_OK) {
        sqlite3_finalize(stmt);
        return Lease();
    }
    lease.stmt_ = stmt;
    return lease;
}

std::size_t StatementCache::Size() const { return state_->lru.size(); }
std::size_t StatementCache::Capacity() const { return state_->capacity; }
std::size_t StatementCache::Bytes() const { return state_->bytes; }
std::size_t StatementCache::MaxBytes() const { return state_->maxBytes; }

void StatementCache::Clear() {
    for (auto& e : state_->lru) sqlite3_finalize(e.stmt);
    state_->lru.clear();
    state_->bytes = 0;
    state_->index.clear();
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
