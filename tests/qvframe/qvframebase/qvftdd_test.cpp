// The self-test: a request over the web server on loopback reaches the server's test, is answered
// "OK" or "NOK" and logged as a row of QvTDDLog in the self-test database.
#include "frametest.h"
#include "qvcomserver.h"
#include "qvdblookup.h"
#include "qvregvalue.h"
#include "qvsysinfo.h"
#include "qvwebserver.h"
#include "servertest.h"
#include "utf.h"

#include <httplib.h>
#include <sqlite3.h>

#include <dlfcn.h>

namespace frametest {
namespace {

struct LogRow {
    std::string computer, app, server, test, param;
    long type = 0, result = 0;
    std::string hint;
};

class SelfTest : public RunningServerTest {
protected:
    void SetUp() override {
        RunningServerTest::SetUp();
        CQvRegistry::SetValue(L"Software\\Qovaro\\QvDBServer\\Qovaro.QvTDD", L"DBConnection",
                              CString((L"sqlite:" + qv::FromUtf8(TddDatabase())).c_str()));
        CQvRegistry::SetValue(L"Software\\Qovaro\\QvDBServer\\Qovaro.QvTDD", L"CreateDatabase", DWORD(1));
        CString insert;
        insert.Format(L"INSERT INTO QvTDDComputer (strComputer, TDDEnabled) VALUES ('%s', 1)",
                      QvSQLString(QvGetComputerName(), 254));
        ASSERT_EQ(QvDBExecute(insert, L"Qovaro.QvTDD"), S_OK);
        ASSERT_EQ(qvtest::RegisterModule(QV_WEB_SERVER), S_OK);
        const DWORD any = 0;
        CQvRegistry::SetValue(L"Software\\Qovaro\\QvWebServer", L"Port", any);
        ASSERT_EQ(host->StartServer(QV_WEBSERVER_PROGID), S_OK);
        IQvWebServer* web = nullptr;
        ASSERT_EQ(QueryCOMServer(QV_WEBSERVER_PROGID, IID_IQvWebServer, reinterpret_cast<void**>(&web)), S_OK);
        ASSERT_EQ(web->GetPort(&port), S_OK);
        web->Release();
        StartServer();
    }
    std::string TddDatabase() const { return env.dir.file("tdd.sqlite"); }
    httplib::Result Get(const std::string& target) {
        httplib::Client client("127.0.0.1", int(port));
        client.set_url_encode(false);
        return client.Get(target);
    }
    std::vector<LogRow> Rows() {
        std::vector<LogRow> rows;
        sqlite3* db = nullptr;
        if (sqlite3_open_v2(TddDatabase().c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) return rows;
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db,
                           "SELECT strComputer, strAppID, strServer, strTest, strParam, eType, lResult, strHint "
                           "FROM QvTDDLog ORDER BY lQvTDDLogID",
                           -1, &st, nullptr);
        auto text = [&](int i) { return std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, i))); };
        while (sqlite3_step(st) == SQLITE_ROW)
            rows.push_back({text(0), text(1), text(2), text(3), text(4), long(sqlite3_column_int64(st, 5)),
                            long(sqlite3_column_int64(st, 6)), text(7)});
        sqlite3_finalize(st);
        sqlite3_close(db);
        return rows;
    }

    qvtest::ServerEnvironment env;
    long port = 0;
};

TEST_F(SelfTest, ARequestOverLoopbackRunsTheTestAndWritesItsRow) {
    EXPECT_EQ(TraceWith(L"UpAndRunning() TDD WebInterface installed").size(), 1u);
    auto res = Get("/tdd.qovaro.TEST.fserver.Run?lKursID=12&strName=O%27Brien");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->body, "NOK");
    auto rows = Rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].computer, QvGetComputerName().ToUtf8());
    EXPECT_EQ(rows[0].app, QvGetAppID().ToUtf8());
    EXPECT_EQ(rows[0].server, "Qovaro.Test.FServer");
    EXPECT_EQ(rows[0].test, "Run");
    EXPECT_EQ(rows[0].param, "lKursID=12&strName=O'Brien");
    EXPECT_EQ(rows[0].type, 2);
    EXPECT_EQ(rows[0].result, long(E_NOTIMPL));
    EXPECT_EQ(rows[0].hint, "TDDRun() Not implemented!");

    res = Get("/TDD.Qovaro.Test.FServer.Echo?a=it%27s");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->body, "OK");
    rows = Rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].type, 1);
    EXPECT_EQ(rows[1].result, 0);
    EXPECT_EQ(rows[1].hint, "it's");
}

TEST_F(SelfTest, RequestsForOtherModulesAreLeftAlone) {
    auto res = Get("/TDD.Qovaro.NQ2.KursView.Run");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 404);
    EXPECT_TRUE(Rows().empty());

    IQvWebExt* ext = nullptr;
    ASSERT_EQ(init->QueryInterface(IID_IQvWebExt, reinterpret_cast<void**>(&ext)), S_OK);
    long size = -1;
    void* buffer = nullptr;
    BSTR noDot = SysAllocString(L"Run");
    EXPECT_EQ(ext->Request(noDot, 0, nullptr, nullptr, nullptr, nullptr, &size, &buffer), S_FALSE);
    SysFreeString(noDot);
    BSTR leading = SysAllocString(L".Run");
    EXPECT_EQ(ext->Request(leading, 0, nullptr, nullptr, nullptr, nullptr, &size, &buffer), S_FALSE);
    SysFreeString(leading);
    EXPECT_EQ(size, -1);
    ext->Release();
}

TEST_F(SelfTest, ParametersOfDifferentCountsAreLoggedEmpty) {
    CString reply;
    EXPECT_EQ(server->RunTDD(L"Echo", {L"a", L"b"}, {L"x"}, reply), S_OK);
    EXPECT_EQ(reply, L"OK");
    const auto rows = Rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].param, "");
    EXPECT_EQ(rows[0].hint, "x");
}

TEST_F(SelfTest, AfterCloseTheServerNoLongerAnswers) {
    ASSERT_EQ(init->Close(), S_OK);
    auto res = Get("/TDD.Qovaro.Test.FServer.Run");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 404);
    EXPECT_TRUE(Rows().empty());
}

TEST_F(SelfTest, AComputerNotSwitchedOnDoesNotTakePart) {
    ASSERT_EQ(QvDBExecute(L"UPDATE QvTDDComputer SET TDDEnabled = 0", L"Qovaro.QvTDD"), S_OK);
    auto* other = new CTestServer;
    IQvFInit* otherInit = other->Init();
    other->ExternalRelease();
    otherInit->Init(TRUE);
    otherInit->UpAndRunning();
    EXPECT_FALSE(other->InitTDD());
    EXPECT_EQ(TraceWith(L"UpAndRunning() TDD WebInterface installed").size(), 1u);
    otherInit->Close();
    otherInit->ReleaseServers();
    otherInit->Release();
}

}  // namespace
}  // namespace frametest
