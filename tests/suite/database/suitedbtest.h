#pragma once
// A fresh suite database in a temporary file, opened the way the driver opens every connection
// (T-SQL runtime, then the suite's initializer), and helpers to run plain SQLite SQL and T-SQL.
#include "sqlitedb.h"
#include "suitedb.h"
#include "tempdir.h"
#include "tsqlerror.h"
#include "tsqlexec.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
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

class SuiteDb : public ::testing::Test {
protected:
    void SetUp() override {
        qv::suite::InstallSuiteDatabase();
        ASSERT_EQ(db_.Open("sqlite:" + dir_.file("suite.db")), SQLITE_OK) << db_.LastError().description;
        std::string error;
        ASSERT_EQ(qv::suite::CreateSchema(db(), &error), SQLITE_OK) << error;
    }

    sqlite3* db() const { return db_.Handle(); }
    std::string path() const { return dir_.file("suite.db"); }

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

    // The single value of a plain SQLite query.
    std::string Value(const std::string& sql) {
        Rows rows = Table(sql);
        if (rows.size() != 1) {
            ADD_FAILURE() << rows.size() << " rows from: " << sql;
            return {};
        }
        return rows[0];
    }

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
