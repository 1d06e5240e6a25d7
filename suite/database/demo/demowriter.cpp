#include "demowriter.h"

#include <cstdio>

namespace qv::suite::demo {

namespace {

struct Civil {
    int y, m, d;
};

Civil CivilFromSerial(std::int64_t z) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const int d = int(doy - (153 * mp + 2) / 5 + 1);
    const int m = int(mp < 10 ? mp + 3 : mp - 9);
    return {int(yoe + era * 400 + (m <= 2)), m, d};
}

}  // namespace

Day Day::Of(int y, int m, int d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return Day{era * 146097 + doe - 719468};
}

int Day::Year() const { return CivilFromSerial(serial).y; }
int Day::Month() const { return CivilFromSerial(serial).m; }
int Day::DayOfMonth() const { return CivilFromSerial(serial).d; }

int Day::Weekday() const {
    const std::int64_t w = (serial + 3) % 7;  // 1970-01-01 was a Thursday
    return int(w < 0 ? w + 7 : w);
}

std::string Day::At(int hour, int minute, int second) const {
    const Civil c = CivilFromSerial(serial);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", c.y, c.m, c.d, hour, minute, second);
    return buf;
}

Insert::Insert(sqlite3* db, std::string_view table, std::initializer_list<const char*> columns)
    : db_(db), table_(table), columns_(columns.size()) {
    std::string sql = "INSERT INTO " + table_ + " (";
    std::string values;
    int i = 0;
    for (const char* c : columns) {
        if (i++) {
            sql += ", ";
            values += ", ";
        }
        sql += c;
        values += "?" + std::to_string(i);
    }
    sql += ") VALUES (" + values + ")";
    const int rc = sqlite3_prepare_v3(db_, sql.c_str(), int(sql.size()), SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr);
    if (rc != SQLITE_OK) Fail(rc, sqlite3_errmsg(db_));
}

Insert::~Insert() { sqlite3_finalize(stmt_); }

void Insert::Check(int rc) {
    if (rc != SQLITE_OK) Fail(rc, sqlite3_errmsg(db_));
}

void Insert::Step() {
    const int rc = sqlite3_step(stmt_);
    if (rc != SQLITE_DONE) Fail(rc, sqlite3_errmsg(db_));
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
    ++rows_;
}

void Insert::Fail(int rc, const std::string& what) {
    throw DemoError(rc, "Demo data, table " + table_ + ": " + what);
}

void Exec(sqlite3* db, const std::string& sql) {
    char* msg = nullptr;
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &msg);
    if (rc != SQLITE_OK) {
        const std::string text = msg ? msg : sqlite3_errstr(rc);
        sqlite3_free(msg);
        throw DemoError(rc, "Demo data: " + text);
    }
}

}  // namespace qv::suite::demo
