// The database server: profiles and their databases, connections that share a thread's
// transaction, the transaction depth it reports, and the host's life cycle.
#include "qvado.h"
#include "qvcomserver.h"
#include "qvdbserverint.h"
#include "qvfinit.h"
#include "qvrunning.h"
#include "servertest.h"
#include "dbfile.h"
#include "sqlitedb.h"
#include "utf.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <memory>
#include <thread>

#ifdef QV_TEST_PG
#include "suiteschemapg.h"
// Skips a test that is about SQLite's database file when the fixture runs on PostgreSQL.
#define SQLITE_ONLY(reason) GTEST_SKIP() << "SQLite only: " << reason
#else
#define SQLITE_ONLY(reason) (void)0
#endif

namespace {

using qv::ado::ComPtr;

class Bstr {
public:
    explicit Bstr(const std::wstring& s) : b_(SysAllocStringLen(s.data(), static_cast<UINT>(s.size()))) {}
    ~Bstr() { SysFreeString(b_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    operator BSTR() const { return b_; }

private:
    BSTR b_;
};

class DBServer : public ::testing::Test {
protected:
    void SetUp() override {
        CLSID clsid{};
        ASSERT_EQ(CLSIDFromProgID(QVDBSERVER_PROGID, &clsid), S_OK);
        ASSERT_EQ(clsid, CLSID_QvDBServer);
        ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IQvDBServer, reinterpret_cast<void**>(&server_)),
                  S_OK);
#ifdef QV_TEST_PG
        // The default profile names a fresh database of the test cluster.
        database_ = std::make_unique<qvtest::PgTestDatabase>(qvtest::SuiteSchemaTemplatePg());
        ASSERT_TRUE(CQvRegistry::SetValue(L"Software\\Qovaro\\QvDBServer\\Qovaro.NQ2", L"DBConnection",
                                          CString(qv::FromUtf8(database_->url()).c_str())));
#endif
    }

    ComPtr<_Connection> Get(const wchar_t* profile, HRESULT expected = S_OK) {
        ComPtr<_Connection> c;
        EXPECT_EQ(server_->GetConnection(Bstr(profile), 0, &c), expected);
        return c;
    }

    static HRESULT Exec(_Connection* c, const std::wstring& sql) {
        return c->Execute(Bstr(sql), nullptr, adExecuteNoRecords, nullptr);
    }

    // The first column of the first row, as text.
    static std::wstring Scalar(_Connection* c, const std::wstring& sql) {
        ComPtr<Recordset20> rs;
        if (FAILED(c->Execute(Bstr(sql), nullptr, adCmdText, &rs)) || !rs) return L"<failed>";
        VARIANT index;
        VariantInit(&index);
        index.vt = VT_I4;
        index.lVal = 0;
        VARIANT v;
        VariantInit(&v);
        if (FAILED(rs->get_Collect(index, &v))) return L"<no row>";
        VARIANT text;
        VariantInit(&text);
        VariantChangeType(&text, &v, 0, VT_BSTR);
        std::wstring s = text.vt == VT_BSTR ? std::wstring(text.bstrVal, SysStringLen(text.bstrVal)) : L"<null>";
        VariantClear(&text);
        VariantClear(&v);
        return s;
    }

    long Depth(_Connection* c) {
        ComPtr<IQvDBConnectionInfo> info;
        EXPECT_EQ(server_->QueryInterface(IID_IQvDBConnectionInfo, reinterpret_cast<void**>(&info)), S_OK);
        long depth = -1;
        EXPECT_EQ(info->GetTransactionDepth(c, &depth), S_OK);
        return depth;
    }

    qvtest::ServerEnvironment env_;
    ComPtr<IQvDBServer> server_;
#ifdef QV_TEST_PG
    std::unique_ptr<qvtest::PgTestDatabase> database_;
#endif
};

TEST_F(DBServer, TheDefaultProfileCreatesItsDatabaseWithTheSchema) {
    SQLITE_ONLY("the default profile makes its database file");
    ASSERT_FALSE(std::filesystem::exists(env_.SuiteDatabase()));
    ComPtr<_Connection> c = Get(L"Qovaro.NQ2");
    ASSERT_TRUE(c);
    EXPECT_TRUE(std::filesystem::exists(env_.SuiteDatabase()));
    EXPECT_EQ(Scalar(c.get(), L"SELECT TOP 2 @@TRANCOUNT MyValue FROM System"), L"0");
    EXPECT_EQ(Scalar(c.get(), L"SELECT count(*) FROM DataExchange"), L"1");
    EXPECT_EQ(server_->ReleaseConnection(c.get(), 0), S_OK);
    long state = -1;
    EXPECT_EQ(c->get_State(&state), S_OK);
    EXPECT_EQ(state, long(adStateClosed));
}

TEST_F(DBServer, AProfileUsesItsConnectionStringAndOneWithoutFails) {
    SQLITE_ONLY("a profile makes its database file when asked");
    const std::string file = env_.dir.file("pool/qvpool.sqlite");
    const std::wstring key = L"Software\\Qovaro\\QvDBServer\\Qovaro.QvPool";
    ASSERT_TRUE(CQvRegistry::SetValue(key.c_str(), L"DBConnection", CString((L"sqlite:" + qv::FromUtf8(file)).c_str())));
    EXPECT_FALSE(Get(L"Qovaro.QvPool", E_FAIL)) << "a new database is made only when asked for";
    EXPECT_FALSE(std::filesystem::exists(file));

    ASSERT_TRUE(CQvRegistry::SetValue(key.c_str(), L"CreateDatabase", DWORD(1)));
    ComPtr<_Connection> c = Get(L"Qovaro.QvPool");
    ASSERT_TRUE(c);
    EXPECT_TRUE(std::filesystem::exists(file));
    EXPECT_FALSE(std::filesystem::exists(env_.SuiteDatabase()));
    EXPECT_EQ(Scalar(c.get(), L"SELECT count(*) FROM System"), L"1") << "a new file gets the schema";

    EXPECT_FALSE(Get(L"Qovaro.QvTDD", E_FAIL));
}

TEST_F(DBServer, AChangedConnectionStringHoldsFromTheNextConnectionOn) {
    SQLITE_ONLY("profiles switched between database files");
    // The profile's values are kept between connections; every registry write must reach them.
    const std::wstring key = L"Software\\Qovaro\\QvDBServer\\Qovaro.Wechsel";
    const auto point = [&](const std::string& name) {
        const std::string file = env_.dir.file(name);
        ASSERT_TRUE(CQvRegistry::SetValue(key.c_str(), L"DBConnection", CString((L"sqlite:" + qv::FromUtf8(file)).c_str())));
    };
    ASSERT_TRUE(CQvRegistry::SetValue(key.c_str(), L"CreateDatabase", DWORD(1)));
    point("first.sqlite");
    ComPtr<_Connection> first = Get(L"Qovaro.Wechsel");
    ASSERT_TRUE(first);
    ASSERT_EQ(Exec(first.get(), L"UPDATE System SET lSchemaVersion = 11"), S_OK);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(Get(L"Qovaro.Wechsel")) << "kept values serve again";

    point("second.sqlite");
    ComPtr<_Connection> second = Get(L"Qovaro.Wechsel");
    ASSERT_TRUE(second);
    EXPECT_TRUE(std::filesystem::exists(env_.dir.file("second.sqlite")));
    EXPECT_NE(Scalar(second.get(), L"SELECT lSchemaVersion FROM System"), L"11") << "the new file, not the first";

    ASSERT_TRUE(CQvRegistry::SetValue(key.c_str(), L"CreateDatabase", DWORD(0)));
    point("third.sqlite");
    EXPECT_FALSE(Get(L"Qovaro.Wechsel", E_FAIL)) << "creating is no longer allowed";
    HKEY hKey = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_ALL_ACCESS, &hKey), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueW(hKey, L"DBConnection"), ERROR_SUCCESS);
    RegCloseKey(hKey);
    EXPECT_FALSE(Get(L"Qovaro.Wechsel", E_FAIL)) << "a profile without a connection string";
}

TEST_F(DBServer, AForeignDatabaseIsRefusedAndKeptAsItIs) {
    SQLITE_ONLY("a file that is no suite database");
    const std::string file = env_.dir.file("own.sqlite");
    ASSERT_TRUE(CQvRegistry::SetValue(L"Software\\Qovaro\\QvDBServer\\Own", L"DBConnection",
                                      CString((L"sqlite:" + qv::FromUtf8(file)).c_str())));
    ASSERT_TRUE(CQvRegistry::SetValue(L"Software\\Qovaro\\QvDBServer\\Own", L"CreateDatabase", DWORD(1)));
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE Mine (lID int)", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }
    const auto size = std::filesystem::file_size(file);
    const auto written = std::filesystem::last_write_time(file);
    EXPECT_FALSE(Get(L"Own", E_FAIL));
    EXPECT_EQ(std::filesystem::file_size(file), size);
    EXPECT_EQ(std::filesystem::last_write_time(file), written);
    EXPECT_FALSE(std::filesystem::exists(file + "-wal"));
    EXPECT_FALSE(std::filesystem::exists(file + "-shm"));
}

TEST_F(DBServer, AReadOnlyDatabaseIsReadAndRefusesWritesLeavingNoFileBehind) {
    SQLITE_ONLY("a database file without write permission");
    const std::string file = env_.dir.file("ro/kurse.sqlite");
    ASSERT_TRUE(CQvRegistry::SetValue(L"Software\\Qovaro\\QvDBServer\\Ro", L"DBConnection",
                                      CString((L"sqlite:" + qv::FromUtf8(file)).c_str())));
    {
        std::string error;
        ASSERT_TRUE(qv::suite::PrepareSuiteDatabase(file, true, nullptr, &error)) << error;
        qv::sql::SqliteDb db;
        ASSERT_EQ(db.Open("sqlite:" + file), SQLITE_OK);
        ASSERT_EQ(db.Exec("UPDATE DataExchange SET lDefaultPersonKursStatus = 7"), SQLITE_OK);
    }
    ASSERT_FALSE(std::filesystem::exists(file + "-wal"));
    std::filesystem::permissions(file, std::filesystem::perms::owner_read | std::filesystem::perms::group_read);
    const auto size = std::filesystem::file_size(file);
    {
        ComPtr<_Connection> c = Get(L"Ro");
        ASSERT_TRUE(c);
        EXPECT_EQ(Scalar(c.get(), L"SELECT lDefaultPersonKursStatus FROM DataExchange"), L"7");
        EXPECT_EQ(Exec(c.get(), L"UPDATE DataExchange SET lDefaultPersonKursStatus = 1"), E_FAIL);
        ComPtr<Errors> errors;
        ASSERT_EQ(c->get_Errors(&errors), S_OK);
        long count = 0;
        ASSERT_EQ(errors->get_Count(&count), S_OK);
        ASSERT_GT(count, 0);
        VARIANT index;
        VariantInit(&index);
        index.vt = VT_I4;
        index.lVal = 0;
        ComPtr<Error> error;
        ASSERT_EQ(errors->get_Item(index, &error), S_OK);
        BSTR text = nullptr;
        ASSERT_EQ(error->get_Description(&text), S_OK);
        EXPECT_NE(std::wstring(text, SysStringLen(text)).find(L"readonly"), std::wstring::npos);
        SysFreeString(text);
        EXPECT_EQ(server_->ReleaseConnection(c.get(), 0), S_OK);
    }
    EXPECT_EQ(std::filesystem::file_size(file), size);
    for (const auto& entry : std::filesystem::directory_iterator(env_.dir.file("ro")))
        EXPECT_EQ(entry.path().filename(), "kurse.sqlite") << "left behind: " << entry.path();
}

TEST_F(DBServer, ConnectionsOfOneThreadShareTheTransactionAndReportItsDepth) {
    ComPtr<_Connection> outer = Get(L"Qovaro.NQ2");
    ComPtr<_Connection> inner = Get(L"Qovaro.NQ2");
    ASSERT_TRUE(outer && inner);
    EXPECT_EQ(Depth(inner.get()), 0);
    long level = 0;
    ASSERT_EQ(outer->BeginTrans(&level), S_OK);
    EXPECT_EQ(Depth(inner.get()), 1);
    ASSERT_EQ(Exec(inner.get(), L"UPDATE DataExchange SET lDefaultPersonKursStatus = 7"), S_OK);

    // Another thread has a connection of its own, outside the transaction.
    long otherDepth = -1;
    std::wstring otherSees;
    std::thread([&] {
        ComPtr<_Connection> c = Get(L"Qovaro.NQ2");
        otherDepth = Depth(c.get());
        otherSees = Scalar(c.get(), L"SELECT lDefaultPersonKursStatus FROM DataExchange");
        server_->ReleaseConnection(c.get(), 0);
    }).join();
    EXPECT_EQ(otherDepth, 0);
    EXPECT_EQ(otherSees, L"0");

    // Handing back the inner connection leaves the transaction with its owner.
    ASSERT_EQ(server_->ReleaseConnection(inner.get(), 0), S_OK);
    EXPECT_EQ(Depth(outer.get()), 1);
    ASSERT_EQ(outer->RollbackTrans(), S_OK);
    EXPECT_EQ(Depth(outer.get()), 0);
    EXPECT_EQ(Scalar(outer.get(), L"SELECT lDefaultPersonKursStatus FROM DataExchange"), L"0");
}

TEST_F(DBServer, LifeCycleStepsRunOnce) {
    ComPtr<IQvFInit> init;
    ASSERT_EQ(server_->QueryInterface(IID_IQvFInit, reinterpret_cast<void**>(&init)), S_OK);
    EXPECT_EQ(init->CanLoad(), S_OK);
    EXPECT_EQ(init->Init(FALSE), S_OK);
    EXPECT_EQ(init->Init(FALSE), S_FALSE);
    EXPECT_EQ(init->CanLoad(), E_FAIL);
    EXPECT_EQ(init->Close(), S_OK);
    EXPECT_EQ(init->Close(), S_FALSE);
    EXPECT_EQ(init->ReleaseServers(), S_OK);
    EXPECT_EQ(init->ReleaseServers(), S_FALSE);

    GUID clsid{};
    EXPECT_EQ(init->GetClassID(&clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_QvDBServer);
    BSTR progId = nullptr;
    ASSERT_EQ(init->GetProgID(&progId), S_OK);
    EXPECT_STREQ(progId, QVDBSERVER_PROGID);
    SysFreeString(progId);
    BSTR drive = nullptr, dir = nullptr, name = nullptr, ext = nullptr;
    ASSERT_EQ(init->GetModuleFile(&drive, &dir, &name, &ext), S_OK);
    EXPECT_EQ(std::wstring(dir) + name + ext, qv::FromUtf8(std::filesystem::canonical(QV_DBSERVER_MODULE).string()));
    EXPECT_STREQ(ext, L".so");
    for (BSTR b : {drive, dir, name, ext}) SysFreeString(b);
}

TEST_F(DBServer, RunsAsTheFramesServer) {
    ASSERT_EQ(qv::servers::StartRunningServer(QVDBSERVER_PROGID), S_OK);
    ComPtr<IQvDBServer> running;
    ASSERT_EQ(QueryCOMServer(QVDBSERVER_PROGID, IID_IQvDBServer, reinterpret_cast<void**>(&running)), S_OK);
    ComPtr<_Connection> c;
    EXPECT_EQ(running->GetConnection(Bstr(L"Qovaro.NQ2"), 0, &c), S_OK);
    EXPECT_EQ(running->ReleaseConnection(c.get(), 1), S_OK);
    running = nullptr;
    EXPECT_EQ(qv::servers::StopRunningServer(QVDBSERVER_PROGID), S_OK);
    EXPECT_FALSE(QvIsCOMServerLoaded(QVDBSERVER_PROGID));
}

}  // namespace
