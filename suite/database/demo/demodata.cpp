#include "demodata.h"

#include "demomodel.h"
#include "sqlitedb.h"
#include "suitedb.h"

#include <sqlite3.h>

#include <ctime>
#include <map>
#include <mutex>

namespace qv::suite {

namespace {

int Fail(int rc, std::string* error, const std::string& text) {
    if (error) *error = text;
    return rc;
}

std::string Quoted(const std::string& name) {
    std::string q = "\"";
    for (char c : name) q += c == '"' ? std::string("\"\"") : std::string(1, c);
    return q + "\"";
}

using Counts = std::map<std::string, std::int64_t>;

int CountRows(sqlite3* db, Counts* counts, std::string* error) {
    sqlite3_stmt* list = nullptr;
    int rc = sqlite3_prepare_v2(db, "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\'",
                                -1, &list, nullptr);
    if (rc != SQLITE_OK) return Fail(rc, error, sqlite3_errmsg(db));
    std::vector<std::string> tables;
    while ((rc = sqlite3_step(list)) == SQLITE_ROW)
        tables.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(list, 0)));
    sqlite3_finalize(list);
    if (rc != SQLITE_DONE) return Fail(rc, error, sqlite3_errmsg(db));
    for (const std::string& t : tables) {
        sqlite3_stmt* count = nullptr;
        rc = sqlite3_prepare_v2(db, ("SELECT count(*) FROM " + Quoted(t)).c_str(), -1, &count, nullptr);
        if (rc == SQLITE_OK && (rc = sqlite3_step(count)) == SQLITE_ROW) (*counts)[t] = sqlite3_column_int64(count, 0);
        sqlite3_finalize(count);
        if (rc != SQLITE_ROW) return Fail(rc, error, sqlite3_errmsg(db));
    }
    return SQLITE_OK;
}

// The rows of every table in a database fresh from CreateSchema.
int FreshCounts(const Counts** counts, std::string* error) {
    static std::mutex mutex;
    static Counts fresh;
    static bool done = false;
    std::lock_guard<std::mutex> lock(mutex);
    if (!done) {
        qv::sql::SqliteDb memory;
        int rc = memory.Open("sqlite::memory:");
        if (rc != SQLITE_OK) return Fail(rc, error, memory.LastError().description);
        rc = CreateSchema(memory.Handle(), error);
        if (rc != SQLITE_OK) return rc;
        rc = CountRows(memory.Handle(), &fresh, error);
        if (rc != SQLITE_OK) return rc;
        done = true;
    }
    *counts = &fresh;
    return SQLITE_OK;
}

// Leaves the counter of sp_GetUniqueID at the largest key of every table the demo filled, so
// that the next key drawn lies above them even where the procedure would not look.
void WriteCounters(sqlite3* db) {
    const Counts* fresh = nullptr;
    std::string error;
    int rc = FreshCounts(&fresh, &error);
    if (rc != SQLITE_OK) throw demo::DemoError(rc, error);
    Counts now;
    rc = CountRows(db, &now, &error);
    if (rc != SQLITE_OK) throw demo::DemoError(rc, error);
    for (const auto& [table, count] : now) {
        const auto f = fresh->find(table);
        if (table == "UniqueIDCounter" || count == (f == fresh->end() ? 0 : f->second)) continue;
        const std::string key = "l" + table + "ID";
        sqlite3_stmt* st = nullptr;
        rc = sqlite3_prepare_v2(db, "SELECT 1 FROM pragma_table_info(?1) WHERE name = ?2", -1, &st, nullptr);
        if (rc == SQLITE_OK) {
            sqlite3_bind_text(st, 1, table.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(st, 2, key.c_str(), -1, SQLITE_TRANSIENT);
            rc = sqlite3_step(st);
        }
        sqlite3_finalize(st);
        if (rc == SQLITE_DONE) continue;  // keyed otherwise: not drawn with the procedure
        if (rc != SQLITE_ROW) throw demo::DemoError(rc, sqlite3_errmsg(db));
        const std::string sql = "INSERT INTO UniqueIDCounter (strTable, strColumn, lLastID) SELECT ?1, ?2, max(" +
                                Quoted(key) + ") FROM " + Quoted(table) +
                                " WHERE true ON CONFLICT (strTable, strColumn) DO UPDATE SET lLastID = max(lLastID, excluded.lLastID)";
        rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
        if (rc == SQLITE_OK) {
            sqlite3_bind_text(st, 1, table.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(st, 2, key.c_str(), -1, SQLITE_TRANSIENT);
            rc = sqlite3_step(st);
        }
        sqlite3_finalize(st);
        if (rc != SQLITE_DONE) throw demo::DemoError(rc, sqlite3_errmsg(db));
    }
}

}  // namespace

int CurrentLocalYear() {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm.tm_year + 1900;
}

int HoldsUserData(sqlite3* db, bool* holds, std::string* error) {
    *holds = false;
    Counts now;
    int rc = CountRows(db, &now, error);
    if (rc != SQLITE_OK) return rc;
    if (now.empty()) return SQLITE_OK;
    const Counts* fresh = nullptr;
    rc = FreshCounts(&fresh, error);
    if (rc != SQLITE_OK) return rc;
    for (const auto& [table, count] : now) {
        const auto f = fresh->find(table);
        if (count != (f == fresh->end() ? 0 : f->second)) *holds = true;
    }
    return SQLITE_OK;
}

int SummarizeDemoData(sqlite3* db, DemoSummary* summary, std::string* error) {
    const struct {
        const char* table;
        int DemoSummary::*field;
    } kTables[] = {{"Mandant", &DemoSummary::mandanten}, {"Person", &DemoSummary::persons},
                   {"Kurs", &DemoSummary::courses},      {"Kursinstanz", &DemoSummary::runs},
                   {"PersonKurs", &DemoSummary::registrations}};
    for (const auto& t : kTables) {
        sqlite3_stmt* st = nullptr;
        int rc = sqlite3_prepare_v2(db, (std::string("SELECT count(*) FROM ") + t.table).c_str(), -1, &st, nullptr);
        if (rc == SQLITE_OK && (rc = sqlite3_step(st)) == SQLITE_ROW) summary->*t.field = sqlite3_column_int(st, 0);
        sqlite3_finalize(st);
        if (rc != SQLITE_ROW) return Fail(rc, error, sqlite3_errmsg(db));
    }
    return SQLITE_OK;
}

DemoDate CurrentLocalDate() {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
}

DemoDate DemoReferenceDate(int baseYear) { return baseYear ? DemoDate{baseYear, 7, 1} : CurrentLocalDate(); }

int GenerateDemoData(sqlite3* db, unsigned seed, std::string* error) {
    return GenerateDemoDataAsOf(db, seed, CurrentLocalDate(), error);
}

int GenerateDemoData(sqlite3* db, unsigned seed, int baseYear, std::string* error) {
    return GenerateDemoDataAsOf(db, seed, DemoDate{baseYear, 7, 1}, error);
}

int GenerateDemoDataAsOf(sqlite3* db, unsigned seed, const DemoDate& today, std::string* error) {
    if (!db) return Fail(SQLITE_MISUSE, error, "No database.");
    // Four-digit years on both sides: the dates are written as text and compared as text.
    const int baseYear = today.year;
    if (baseYear < 1010 || baseYear > 9988)
        return Fail(SQLITE_RANGE, error, "The base year " + std::to_string(baseYear) + " is out of range.");
    if (today.month < 1 || today.month > 12 || today.day < 1 || today.day > 31)
        return Fail(SQLITE_RANGE, error, "The reference day is no date.");
    const int version = SchemaVersion(db);
    if (version != kSchemaVersion)
        return Fail(SQLITE_ERROR, error,
                    version == 0 ? "The database has no suite schema." : "The database has another schema version.");

    const bool own = sqlite3_get_autocommit(db) != 0;
    int rc = sqlite3_exec(db, own ? "BEGIN IMMEDIATE" : "SAVEPOINT qv_demo_data", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return Fail(rc, error, sqlite3_errmsg(db));
    auto undo = [&] {
        if (own) {
            if (!sqlite3_get_autocommit(db)) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        } else {
            sqlite3_exec(db, "ROLLBACK TO qv_demo_data", nullptr, nullptr, nullptr);
            sqlite3_exec(db, "RELEASE qv_demo_data", nullptr, nullptr, nullptr);
        }
    };

    // Looked at inside the transaction, so nobody adds rows between the look and the writing.
    bool holds = false;
    rc = HoldsUserData(db, &holds, error);
    if (rc != SQLITE_OK || holds) {
        undo();
        return rc != SQLITE_OK ? rc : Fail(SQLITE_CONSTRAINT, error, "The database already holds data.");
    }

    try {
        demo::Model m(db, seed, baseYear, demo::Day::Of(baseYear, today.month, today.day));
        demo::WritePlacesAndPeople(m);
        demo::WriteCourses(m);
        demo::WriteRegistrations(m);
        demo::WriteSecurity(m);
        demo::WriteSettings(m);
        demo::WriteWorkPlansAndAreas(m);
        demo::WritePeriphery(m);
        WriteCounters(db);
    } catch (const demo::DemoError& e) {
        undo();
        return Fail(e.rc, error, e.what());
    } catch (const std::exception& e) {
        undo();
        return Fail(SQLITE_NOMEM, error, std::string("Demo data: ") + e.what());
    }

    rc = sqlite3_exec(db, own ? "COMMIT" : "RELEASE qv_demo_data", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        const std::string text = sqlite3_errmsg(db);
        undo();
        return Fail(rc, error, text);
    }
    return SQLITE_OK;
}

}  // namespace qv::suite
