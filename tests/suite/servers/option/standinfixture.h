#pragma once
// The suite's database with the demo's two security users, and the option, user-log and security
// servers registered and running as the host frame runs them, for one test. Built with QV_TEST_PG
// the database is a fresh one on the test cluster, copied from a template that holds the schema,
// and the suite's profiles name it.
#include "qvdbserverint.h"
#include "serverhost.h"
#include "servertest.h"
#include "sqlitedb.h"
#include "suitedb.h"
#ifdef QV_TEST_PG
#include "suiteschemapg.h"
#include "qvregistry.h"
#include "utf.h"
#endif

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <string>

namespace qvtest {

class StandInEnvironment : public ServerEnvironment {
public:
    StandInEnvironment() {
        EXPECT_EQ(RegisterModule(QV_OPTIONSERVER_MODULE), S_OK);
        EXPECT_EQ(RegisterModule(QV_USERLOGSERVER_MODULE), S_OK);
        EXPECT_EQ(RegisterModule(QV_SECSERVER_MODULE), S_OK);
        CreateDatabase();
        EXPECT_EQ(qv::servers::StartRunningServer(QVDBSERVER_PROGID), S_OK);
    }
    ~StandInEnvironment() {
        for (const wchar_t* progId : {L"Qovaro.QvSecServer", L"Qovaro.NQ2.UserLog", L"Qovaro.NQ2.OptionServer"}) {
            qv::servers::StopRunningServer(progId);
        }
        qv::servers::StopRunningServer(QVDBSERVER_PROGID);
        qv::suite::SetSystemID(0);
    }

    HRESULT Start(const wchar_t* progId) { return qv::servers::StartRunningServer(progId); }

    // The first column of the first row, read past the servers on a connection of its own.
    std::int64_t QueryInt(const std::string& sql) {
        const std::string v = QueryText(sql);
        return v == "<no row>" || v == "<null>" ? -999999 : std::stoll(v == "t" ? "1" : v == "f" ? "0" : v);
    }
#ifdef QV_TEST_PG
    std::string QueryText(const std::string& sql) {
        qv::sql::PgRows rows;
        EXPECT_EQ(pg_.Query(sql, &rows), 0) << pg_.LastError().description << " in " << sql;
        if (rows.rows.empty()) return "<no row>";
        return rows.rows[0].at(0).value_or("<null>");
    }
    void Exec(const std::string& sql) { EXPECT_EQ(pg_.Exec(sql), 0) << pg_.LastError().description; }
    // The user whom the database's functions name as the writer.
    void SetSystemID(std::int64_t id) { qv::suite::SetSystemID(id); }
#else
    std::string QueryText(const std::string& sql) {
        sqlite3_stmt* stmt = Prepare(sql);
        std::string v = "<no row>";
        if (stmt && sqlite3_step(stmt) == SQLITE_ROW) {
            const unsigned char* t = sqlite3_column_text(stmt, 0);
            v = t ? reinterpret_cast<const char*>(t) : "<null>";
        }
        sqlite3_finalize(stmt);
        return v;
    }
    void Exec(const std::string& sql) { EXPECT_EQ(db_.Exec(sql), SQLITE_OK) << db_.LastError().description; }
    void SetSystemID(std::int64_t id) { qv::suite::SetSystemID(id); }
#endif

    static constexpr const char* kAdminUserID = "5B1D9A1E-7C2F-4E8A-9B3C-1D2E3F4A5B6C";
    static constexpr const char* kLeaderUserID = "6C2E0B2F-8D3A-4F9B-8C4D-2E3F4A5B6C7D";

private:
    static constexpr const char* kUsers =
        "INSERT INTO QvSecUser (lQvSecUserID, strUserID, strName) VALUES (1, '5B1D9A1E-7C2F-4E8A-9B3C-1D2E3F4A5B6C', "
        "'Administrator'), (2, '6C2E0B2F-8D3A-4F9B-8C4D-2E3F4A5B6C7D', 'Kursleiter'), (3, '', 'Gast')";
#ifdef QV_TEST_PG
    void CreateDatabase() {
        qv::suite::InstallSuiteDatabase();
        ASSERT_EQ(pg_.Open(database_.url()), 0) << pg_.LastError().description;
        Exec(kUsers);
        for (const wchar_t* profile : {L"Qovaro.NQ2", L"Qovaro.QvPool"}) {
            CQvRegistry::SetValue((std::wstring(L"Software\\Qovaro\\QvDBServer\\") + profile).c_str(), L"DBConnection",
                                  CString(qv::FromUtf8(database_.url()).c_str()));
        }
    }

    PgTestDatabase database_{SuiteSchemaTemplatePg()};
    qv::sql::PgDb pg_;
#else
    void CreateDatabase() {
        std::filesystem::create_directories(std::filesystem::path(SuiteDatabase()).parent_path());
        qv::suite::InstallSuiteDatabase();
        ASSERT_EQ(db_.Open("sqlite:" + SuiteDatabase()), SQLITE_OK) << db_.LastError().description;
        std::string error;
        ASSERT_EQ(qv::suite::CreateSchema(db_.Handle(), &error), SQLITE_OK) << error;
        Exec(kUsers);
    }
    sqlite3_stmt* Prepare(const std::string& sql) {
        sqlite3_stmt* stmt = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(db_.Handle(), sql.c_str(), -1, &stmt, nullptr), SQLITE_OK)
            << sqlite3_errmsg(db_.Handle()) << " in " << sql;
        return stmt;
    }

    qv::sql::SqliteDb db_;
#endif
};

}  // namespace qvtest
