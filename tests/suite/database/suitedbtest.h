#pragma once
// A fresh suite database in a temporary file, opened the way the driver opens every connection
// (T-SQL runtime, then the suite's initializer), and helpers to run plain SQLite SQL and T-SQL.
// Built with QV_TEST_PG the database is a fresh one on the test cluster, copied from a template
// that holds the schema, and the helpers run there; what only SQLite has is skipped
// (SQLITE_ONLY).
#include "sqlitedb.h"
#include "suitedb.h"
#include "tempdir.h"
#include "tsqlerror.h"
#include "tsqlexec.h"
#ifdef QV_TEST_PG
#include "pgexec.h"
#include "suiteschemapg.h"
#endif

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qvtest {

using Rows = std::vector<std::string>;

inline std::string Render(const qv::sql::Value& v) {
    if (qv::sql::IsNull(v)) return "NULL";
    if (const auto* i = std::get_if<std::int64_t>(&v)) return std::to_string(*i);
    if (const auto* d = std::get_if<double>(&v)) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.15g", *d);
        return buf;
    }
    if (const auto* s = std::get_if<std::string>(&v)) return *s;
    return "<blob>";
}

// Skips a test that is about SQLite itself when the fixture runs on PostgreSQL.
#define SQLITE_ONLY(reason) \
    if (OnPg()) GTEST_SKIP() << "SQLite only: " << reason


class SuiteDb : public ::testing::Test {
protected:
#ifdef QV_TEST_PG
    static constexpr bool OnPg() { return true; }
    void SetUp() override {
        qv::suite::InstallSuiteDatabase();
        database_ = std::make_unique<PgTestDatabase>(SuiteSchemaTemplatePg());
        ASSERT_EQ(pg_.Open(database_->url()), 0) << pg_.LastError().description;
    }
    std::string SqlError(const std::string& sql) {
        return pg_.Exec(sql) == 0 ? "" : pg_.LastError().description.empty() ? "failed" : pg_.LastError().description;
    }
    void Sql(const std::string& sql) { ASSERT_EQ(SqlError(sql), "") << sql; }
    Rows Table(const std::string& sql) {
        qv::sql::PgRows rows;
        EXPECT_EQ(pg_.Query(sql, &rows), 0) << pg_.LastError().description << "\n" << sql;
        return Lines(rows);
    }
    Rows Tsql(std::string_view tsql) { return Lines(qv::sql::RunBatch(pg_, tsql).result); }
    static Rows Lines(const qv::sql::PgRows& rows) {
        Rows out;
        for (const auto& r : rows.rows) {
            std::string line;
            for (std::size_t i = 0; i < r.size(); ++i) line += (i ? "|" : "") + r[i].value_or("NULL");
            out.push_back(line);
        }
        return out;
    }
    // The schema, the key procedure and transactions on the fixture's database; 0 on success.
    int CreateSchemaAgain(std::string* error) { return qv::suite::CreateSchemaPg(pg_, error); }
    int SchemaVersionNow() { return qv::suite::SchemaVersionPg(pg_); }
    int DrawKey(const std::string& table, const std::string& column, std::int64_t* id, std::string* error) {
        qv::sql::PgRows rows;
        if (pg_.Query("SELECT dbo.sp_GetUniqueID($1, $2)", {table, column}, &rows) != 0) {
            if (error) *error = pg_.LastError().description;
            return 1;
        }
        *id = std::stoll(rows.rows.at(0).at(0).value_or("0"));
        return 0;
    }
    int Begin() { return pg_.Begin(); }
    int Commit() { return pg_.Commit(); }
    int Rollback() { return pg_.Rollback(); }
    // Runs a T-SQL batch as the system sends it; returns the number of rows it changed.
    long Affected(std::string_view tsql) { return long(qv::sql::RunBatch(pg_, tsql).rowsAffected); }

    std::unique_ptr<PgTestDatabase> database_;
    qv::sql::PgDb pg_;
#else
    int CreateSchemaAgain(std::string* error) { return qv::suite::CreateSchema(db(), error); }
    int SchemaVersionNow() { return qv::suite::SchemaVersion(db()); }
    int DrawKey(const std::string& table, const std::string& column, std::int64_t* id, std::string* error) {
        return qv::suite::DrawUniqueID(db(), table, column, id, error);
    }
    int Begin() { return db_.Begin(); }
    int Commit() { return db_.Commit(); }
    int Rollback() { return db_.Rollback(); }
    long Affected(std::string_view tsql) { return qv::tsql::Execute(db(), tsql).RowsAffected(); }
    static constexpr bool OnPg() { return false; }
    void SetUp() override {
        qv::suite::InstallSuiteDatabase();
        ASSERT_EQ(db_.Open("sqlite:" + dir_.file("suite.db")), SQLITE_OK) << db_.LastError().description;
        std::string error;
        ASSERT_EQ(qv::suite::CreateSchema(db(), &error), SQLITE_OK) << error;
    }
#endif

    sqlite3* db() const { return db_.Handle(); }
    std::string path() const { return dir_.file("suite.db"); }

#ifndef QV_TEST_PG
    // Plain SQLite SQL, which must succeed.
    void Sql(const std::string& sql) {
        char* err = nullptr;
        const int rc = sqlite3_exec(db(), sql.c_str(), nullptr, nullptr, &err);
        ASSERT_EQ(rc, SQLITE_OK) << (err ? err : "") << "\n" << sql;
        sqlite3_free(err);
    }

    // Plain SQLite SQL; returns the error text, empty on success.
    std::string SqlError(const std::string& sql) {
        char* err = nullptr;
        const int rc = sqlite3_exec(db(), sql.c_str(), nullptr, nullptr, &err);
        std::string text = rc == SQLITE_OK ? "" : (err ? err : sqlite3_errstr(rc));
        sqlite3_free(err);
        return text;
    }

    // The rows of a plain SQLite query as "a|b|NULL".
    Rows Table(const std::string& sql) {
        sqlite3_stmt* stmt = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(db(), sql.c_str(), -1, &stmt, nullptr), SQLITE_OK)
            << sqlite3_errmsg(db()) << "\n" << sql;
        Rows rows;
        int rc;
        while (stmt && (rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            std::string row;
            for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
                if (i > 0) row += '|';
                const auto* t = sqlite3_column_text(stmt, i);
                row += t ? reinterpret_cast<const char*>(t) : "NULL";
            }
            rows.push_back(row);
        }
        sqlite3_finalize(stmt);
        return rows;
    }

#endif
    // The single value of a plain SQLite query.
    std::string Value(const std::string& sql) {
        Rows rows = Table(sql);
        if (rows.size() != 1) {
            ADD_FAILURE() << rows.size() << " rows from: " << sql;
            return {};
        }
        return rows[0];
    }

#ifndef QV_TEST_PG
    // Runs a T-SQL batch as the system sends it; returns its rows.
    Rows Tsql(std::string_view tsql) {
        qv::tsql::Execution e = qv::tsql::Execute(db(), tsql);
        Rows rows;
        while (e.Next()) {
            std::string row;
            for (int i = 0; i < e.ColumnCount(); ++i) {
                if (i > 0) row += '|';
                row += Render(e.Get(i));
            }
            rows.push_back(row);
        }
        return rows;
    }

#endif
    // Runs a T-SQL batch; returns the error message, empty on success.
    std::string TsqlError(std::string_view tsql) {
        try {
            Tsql(tsql);
            return {};
        } catch (const qv::tsql::ExecError& e) {
            return e.message().empty() ? "failed" : e.message();
        } catch (const std::exception& e) {
            return e.what()[0] ? e.what() : "failed";
        }
    }

    TempDir dir_;
    qv::sql::SqliteDb db_;
};

}  // namespace qvtest
