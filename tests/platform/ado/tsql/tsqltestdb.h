#pragma once
// An in-memory database with the T-SQL runtime, and helpers that run T-SQL batches on it and
// render their rows as text ("a|b|NULL") for compact expectations.
#include "sqlitedb.h"
#include "tsqlerror.h"
#include "tsqlexec.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace qvtest {

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

inline std::vector<std::string> Collect(qv::tsql::Execution& e) {
    std::vector<std::string> rows;
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

class TsqlDb : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(db_.Open("sqlite::memory:"), SQLITE_OK); }

    sqlite3* db() const { return db_.Handle(); }

    // Plain SQLite SQL for building the test tables.
    void Sql(const std::string& sql) {
        char* err = nullptr;
        const int rc = sqlite3_exec(db(), sql.c_str(), nullptr, nullptr, &err);
        ASSERT_EQ(rc, SQLITE_OK) << (err ? err : "") << "\n" << sql;
        sqlite3_free(err);
    }

    qv::tsql::Execution Run(std::string_view tsql) { return qv::tsql::Execute(db(), tsql, options_); }

    std::vector<std::string> RowsOf(std::string_view tsql) {
        qv::tsql::Execution e = Run(tsql);
        return Collect(e);
    }

    // The single value of a one-row, one-column query.
    std::string One(std::string_view tsql) {
        std::vector<std::string> rows = RowsOf(tsql);
        if (rows.size() != 1) {
            ADD_FAILURE() << rows.size() << " rows from: " << tsql;
            return {};
        }
        return rows[0];
    }

    // Runs a batch and returns the rows its INSERT/UPDATE/DELETE statements touched.
    std::int64_t Exec(std::string_view tsql) { return Run(tsql).RowsAffected(); }

    // The rows of a plain SQLite query.
    std::vector<std::string> Table(const std::string& sqliteSql) {
        sqlite3_stmt* stmt = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(db(), sqliteSql.c_str(), -1, &stmt, nullptr), SQLITE_OK) << sqliteSql;
        std::vector<std::string> rows;
        while (stmt && sqlite3_step(stmt) == SQLITE_ROW) {
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

    qv::sql::SqliteDb db_;
    qv::tsql::ExecOptions options_;
};

using Rows = std::vector<std::string>;

}  // namespace qvtest
