// The ADO-shaped objects on both databases: the same T-SQL gives the same VARIANT kinds, errors,
// and transaction depth on an SQLite file and on a PostgreSQL database.
#include "adosession.h"
#include "olevariant.h"
#include "pgcluster.h"
#include "pgdb.h"
#include "qvado.h"
#include "tempdir.h"
#include "utf.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using qv::ado::ComPtr;

enum class Driver { Sqlite, Pg };

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

VARIANT Missing() {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ERROR;
    v.scode = DISP_E_PARAMNOTFOUND;
    return v;
}

struct ErrorSeen {
    long number = 0, native = 0;
    std::wstring state, description, source;
};

class AdoBoth : public ::testing::TestWithParam<Driver> {
protected:
    void SetUp() override {
        if (GetParam() == Driver::Pg) {
            pgDb_ = std::make_unique<qvtest::PgTestDatabase>();
            cs_ = qv::FromUtf8(pgDb_->url());
            qv::sql::PgDb db;
            ASSERT_EQ(db.Open(pgDb_->url()), 0) << db.LastError().description;
            ASSERT_EQ(db.Exec("CREATE TABLE Kurs (lKursID integer PRIMARY KEY, strBezeichnung varchar(50) NOT NULL UNIQUE, "
                              "dtStart timestamp(3), curPreis numeric(19,4), dblFaktor double precision);"
                              "CREATE TABLE System (lSystemID integer PRIMARY KEY); INSERT INTO System VALUES (1);"
                              "CREATE VIEW KursSicht AS SELECT lKursID, strBezeichnung FROM Kurs;"),
                      0)
                << db.LastError().description;
        } else {
            cs_ = L"sqlite:" + qv::FromUtf8(dir_.file("kurs.db"));
            sqlite3* db = nullptr;
            ASSERT_EQ(sqlite3_open(dir_.file("kurs.db").c_str(), &db), SQLITE_OK);
            EXPECT_EQ(sqlite3_exec(db,
                                   "CREATE TABLE Kurs (lKursID INTEGER PRIMARY KEY, strBezeichnung TEXT NOT NULL UNIQUE, "
                                   "dtStart DATETIME, curPreis MONEY, dblFaktor REAL);"
                                   "CREATE TABLE System (lSystemID INTEGER PRIMARY KEY); INSERT INTO System VALUES (1);"
                                   "CREATE VIEW KursSicht AS SELECT lKursID, strBezeichnung FROM Kurs;",
                                   nullptr, nullptr, nullptr),
                      SQLITE_OK);
            sqlite3_close(db);
        }
    }

    ComPtr<_Connection> Connect(const std::wstring& cs = {}) {
        ComPtr<_Connection> c;
        EXPECT_EQ(qv::ado::CreateInstance(CLSID_Connection, nullptr, IID__Connection, reinterpret_cast<void**>(&c)), S_OK);
        if (c) {
            EXPECT_EQ(c->Open(Bstr(cs.empty() ? cs_ : cs), nullptr, nullptr, 0), S_OK) << qv::ToUtf8(LastError(c.get()).description);
        }
        return c;
    }

    long Exec(_Connection* c, const std::wstring& sql) {
        VARIANT affected;
        VariantInit(&affected);
        EXPECT_EQ(c->Execute(Bstr(sql), &affected, adExecuteNoRecords, nullptr), S_OK)
            << qv::ToUtf8(sql) << ": " << qv::ToUtf8(LastError(c).description);
        return affected.vt == VT_I4 ? affected.lVal : -1;
    }

    HRESULT Open(_Connection* c, Recordset20* rs, const std::wstring& sql, long lock = adLockReadOnly) {
        EXPECT_EQ(rs->putref_ActiveConnection(c), S_OK);
        COleVariant source(sql.c_str());
        return rs->Open(source, Missing(), adOpenForwardOnly, lock, adCmdText);
    }

    ComPtr<Recordset20> Query(_Connection* c, const std::wstring& sql) {
        ComPtr<Recordset20> rs;
        EXPECT_EQ(qv::ado::CreateInstance(CLSID_Recordset, nullptr, IID_Recordset20, reinterpret_cast<void**>(&rs)), S_OK);
        EXPECT_EQ(Open(c, rs.get(), sql), S_OK) << qv::ToUtf8(sql) << ": " << qv::ToUtf8(LastError(c).description);
        return rs;
    }

    static COleVariant Field(Recordset20* rs, const wchar_t* name) {
        COleVariant v;
        EXPECT_EQ(rs->get_Collect(COleVariant(name), &v), S_OK) << qv::ToUtf8(name);
        return v;
    }

    static bool Eof(Recordset20* rs) {
        VARIANT_BOOL eof = VARIANT_FALSE;
        rs->get_EOF(&eof);
        return eof != VARIANT_FALSE;
    }

    // The first column of the first row, as a number.
    long Number(_Connection* c, const std::wstring& sql) {
        ComPtr<Recordset20> rs = Query(c, sql);
        if (!rs || Eof(rs.get())) return -1;
        COleVariant v;
        EXPECT_EQ(rs->get_Collect(COleVariant(0L), &v), S_OK);
        return v.vt == VT_I4 ? v.lVal : v.vt == VT_I8 ? static_cast<long>(v.llVal) : -2;
    }

    // Counted on a connection of another thread: its own database connection.
    long CountElsewhere() {
        long n = -1;
        std::thread([&] {
            ComPtr<_Connection> c = Connect();
            n = Number(c.get(), L"SELECT count(*) FROM Kurs");
        }).join();
        return n;
    }

    static ErrorSeen LastError(_Connection* c) {
        ErrorSeen e;
        ComPtr<Errors> errors;
        long count = 0;
        if (FAILED(c->get_Errors(&errors)) || FAILED(errors->get_Count(&count)) || count == 0) return e;
        ComPtr<Error> first;
        if (FAILED(errors->get_Item(COleVariant(0L), &first))) return e;
        BSTR b = nullptr;
        first->get_Number(&e.number);
        first->get_NativeError(&e.native);
        first->get_SQLState(&b);
        e.state = b ? b : L"";
        SysFreeString(b);
        first->get_Description(&b);
        e.description = b ? b : L"";
        SysFreeString(b);
        first->get_Source(&b);
        e.source = b ? b : L"";
        SysFreeString(b);
        return e;
    }

    // Another, empty database beside the test's own: its connection string.
    std::wstring AnotherDatabase() {
        if (GetParam() == Driver::Pg) {
            others_.push_back(std::make_unique<qvtest::PgTestDatabase>());
            return qv::FromUtf8(others_.back()->url());
        }
        return L"sqlite:" + qv::FromUtf8(dir_.file("other" + std::to_string(++otherFiles_) + ".db"));
    }

    // The database connections this process holds open on the database of `cs`: descriptors of
    // its file on SQLite (one removed since still counts), server sessions on PostgreSQL.
    int SessionsOn(const std::wstring& cs) {
        const std::string text = qv::ToUtf8(cs);
        if (GetParam() == Driver::Sqlite) {
            const std::string path = text.substr(text.find(':') + 1);
            int n = 0;
            for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) {
                std::error_code ec;
                const std::string target = std::filesystem::read_symlink(e.path(), ec).string();
                n += !ec && (target == path || target == path + " (deleted)");
            }
            return n;
        }
        qv::sql::PgDb admin;
        EXPECT_EQ(admin.Open(qvtest::PgClusterUrl() + "/postgres"), 0) << admin.LastError().description;
        qv::sql::PgRows rows;
        EXPECT_EQ(admin.Query("SELECT count(*) FROM pg_stat_activity WHERE datname = $1",
                              {text.substr(text.rfind('/') + 1)}, &rows),
                  0);
        return rows.rows.empty() ? -1 : std::stoi(*rows.rows[0][0]);
    }

    // A server ends its sessions a moment after their clients go.
    template <class Count>
    static int Settled(Count count, int expected) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        int n = count();
        while (n > expected && std::chrono::steady_clock::now() < until) n = count();
        return n;
    }
    int SessionsOnSettled(const std::wstring& cs, int expected) {
        return Settled([&] { return SessionsOn(cs); }, expected);
    }

    qvtest::TempDir dir_;
    std::unique_ptr<qvtest::PgTestDatabase> pgDb_;
    std::vector<std::unique_ptr<qvtest::PgTestDatabase>> others_;
    int otherFiles_ = 0;
    std::wstring cs_;
};

TEST_P(AdoBoth, RowsArriveWithTheSameVariantKinds) {
    ComPtr<_Connection> c = Connect();
    ASSERT_TRUE(c);
    EXPECT_EQ(Exec(c.get(), L"INSERT INTO Kurs VALUES (1, 'Übung Süd', '2024-03-05 14:30:15', 12.5, 0.25)"), 1);
    EXPECT_EQ(Exec(c.get(), L"INSERT INTO Kurs (lKursID, strBezeichnung) VALUES (2, 'Leer')"), 1);

    ComPtr<Recordset20> rs = Query(c.get(), L"SELECT lKursID, strBezeichnung, dtStart, curPreis, dblFaktor "
                                            L"FROM Kurs ORDER BY lKursID");
    ASSERT_FALSE(Eof(rs.get()));
    COleVariant id = Field(rs.get(), L"LKURSID");
    EXPECT_EQ(id.vt, VT_I4);
    EXPECT_EQ(id.lVal, 1);
    COleVariant name = Field(rs.get(), L"strbezeichnung");
    ASSERT_EQ(name.vt, VT_BSTR);
    EXPECT_EQ(std::wstring(name.bstrVal), L"Übung Süd");
    COleVariant start = Field(rs.get(), L"dtStart");
    ASSERT_EQ(start.vt, VT_DATE);
    EXPECT_EQ(COleDateTime(start.date), COleDateTime(2024, 3, 5, 14, 30, 15));
    COleVariant price = Field(rs.get(), L"curPreis");
    ASSERT_EQ(price.vt, VT_CY);
    EXPECT_EQ(price.cyVal.int64, 125000);
    COleVariant factor = Field(rs.get(), L"dblFaktor");
    ASSERT_EQ(factor.vt, VT_R8);
    EXPECT_DOUBLE_EQ(factor.dblVal, 0.25);

    ASSERT_EQ(rs->MoveNext(), S_OK);
    ASSERT_FALSE(Eof(rs.get()));
    EXPECT_EQ(Field(rs.get(), L"dtStart").vt, VT_NULL);
    EXPECT_EQ(Field(rs.get(), L"curPreis").vt, VT_NULL);
    ASSERT_EQ(rs->MoveNext(), S_OK);
    EXPECT_TRUE(Eof(rs.get()));
    COleVariant none;
    EXPECT_EQ(rs->get_Collect(COleVariant(0L), &none), ADO_E_NOCURRENTRECORD);

    // Of a batch with a query in each branch, the one that ran gives the kinds.
    rs = Query(c.get(), L"IF EXISTS (SELECT 1 FROM Kurs WHERE lKursID = 2) SELECT dtStart, curPreis FROM Kurs "
                        L"WHERE lKursID = 1 ELSE SELECT lKursID FROM Kurs");
    ASSERT_FALSE(Eof(rs.get()));
    EXPECT_EQ(Field(rs.get(), L"dtStart").vt, VT_DATE);
    EXPECT_EQ(Field(rs.get(), L"curPreis").vt, VT_CY);

    // Execute hands out the rows too; a statement without rows gives a closed recordset.
    ComPtr<Recordset20> counted;
    ASSERT_EQ(c->Execute(Bstr(L"SELECT count(*) AS n FROM Kurs"), nullptr, adCmdText, &counted), S_OK);
    ASSERT_TRUE(counted);
    EXPECT_EQ(Field(counted.get(), L"n").lVal, 2);
    ComPtr<Recordset20> closed;
    ASSERT_EQ(c->Execute(Bstr(L"UPDATE Kurs SET dblFaktor = 1"), nullptr, adCmdText, &closed), S_OK);
    long state = -1;
    ASSERT_TRUE(closed);
    EXPECT_EQ(closed->get_State(&state), S_OK);
    EXPECT_EQ(state, adStateClosed);

    if (GetParam() == Driver::Pg) {
        // A column of the server's own money type comes as its locale writes it.
        qv::sql::PgDb db;
        ASSERT_EQ(db.Open(pgDb_->url()), 0) << db.LastError().description;
        ASSERT_EQ(db.Exec("CREATE TABLE Kasse (curBetrag money); INSERT INTO Kasse VALUES (-1234.5), (7)"), 0);
        ComPtr<Recordset20> money = Query(c.get(), L"SELECT curBetrag FROM Kasse ORDER BY curBetrag");
        for (const long long expected : {-12345000LL, 70000LL}) {
            COleVariant v = Field(money.get(), L"curBetrag");
            ASSERT_EQ(v.vt, VT_CY);
            EXPECT_EQ(v.cyVal.int64, expected);
            ASSERT_EQ(money->MoveNext(), S_OK);
        }
        // A whole number beyond 64 bits comes as a double.
        COleVariant big = Field(Query(c.get(), L"SELECT CAST(9999999999999999999 AS numeric(19, 0)) AS n").get(), L"n");
        ASSERT_EQ(big.vt, VT_R8);
        EXPECT_DOUBLE_EQ(big.dblVal, 1e19);
    }
}

TEST_P(AdoBoth, FailuresFillTheErrorCollectionWithStateAndNativeNumber) {
    const bool pg = GetParam() == Driver::Pg;
    ComPtr<_Connection> c = Connect();
    ASSERT_TRUE(c);
    Exec(c.get(), L"INSERT INTO Kurs (lKursID, strBezeichnung) VALUES (1, 'A')");
    struct Case {
        const wchar_t* sql;
        const wchar_t* state;
        long sqliteNative, pgNative;
    } cases[] = {
        {L"SELEKT * FROM Kurs", L"42000", 0, 0},
        {L"INSERT INTO Kurs (lKursID, strBezeichnung) VALUES (2, 'A')", L"23000", SQLITE_CONSTRAINT_UNIQUE, 2627},
        {L"INSERT INTO Kurs (lKursID) VALUES (3)", L"23000", SQLITE_CONSTRAINT_NOTNULL, 515},
        {L"SELECT x FROM KursGibtsNicht", L"42000", SQLITE_ERROR, 208},
        {L"SELECT [NoSuchCol] FROM (SELECT 1 AS a) x", L"42000", SQLITE_ERROR, 207},
    };
    for (const Case& k : cases) {
        EXPECT_EQ(c->Execute(Bstr(k.sql), nullptr, adExecuteNoRecords, nullptr), E_FAIL) << qv::ToUtf8(k.sql);
        const ErrorSeen e = LastError(c.get());
        EXPECT_EQ(e.number, E_FAIL) << qv::ToUtf8(k.sql);
        EXPECT_EQ(e.state, k.state) << qv::ToUtf8(k.sql);
        EXPECT_EQ(e.native, pg ? k.pgNative : k.sqliteNative) << qv::ToUtf8(k.sql);
        EXPECT_FALSE(e.description.empty());
        EXPECT_FALSE(e.source.empty());
    }
    // A failed statement inside a transaction undoes itself alone, as on SQL Server.
    long level = 0;
    ASSERT_EQ(c->BeginTrans(&level), S_OK);
    Exec(c.get(), L"INSERT INTO Kurs (lKursID, strBezeichnung) VALUES (4, 'B')");
    EXPECT_EQ(c->Execute(Bstr(L"INSERT INTO Kurs (lKursID, strBezeichnung) VALUES (5, 'B')"), nullptr, adExecuteNoRecords,
                         nullptr),
              E_FAIL);
    ASSERT_EQ(c->CommitTrans(), S_OK);
    EXPECT_EQ(CountElsewhere(), 2);
    if (!pg) return;

    // The server ran the statement and its answer was lost: a write says so (08S01, which the
    // retry rules do not repeat) and is there once; a batch that only read may be sent again
    // (08001, as when the server cannot be reached).
    const struct {
        const wchar_t* sql;
        const wchar_t* state;
    } lost[] = {{L"INSERT INTO Kurs (lKursID, strBezeichnung) VALUES (6, 'C')", L"08S01"},
                {L"SELECT count(*) FROM Kurs", L"08001"}};
    for (const auto& k : lost) {
        Exec(c.get(), L"UPDATE Kurs SET strBezeichnung = strBezeichnung WHERE lKursID = 0");  // settings sent
        bool fired = false;
        qv::sql::PgDb::SetAfterSendHookForTests([&](int socket) {
            if (std::exchange(fired, true)) return;
            for (int i = 0; i < 200 && CountElsewhere() != 3; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
            int pair[2];
            if (::socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) return;
            ::close(pair[1]);
            ::dup2(pair[0], socket);
            ::close(pair[0]);
        });
        const HRESULT hr = c->Execute(Bstr(k.sql), nullptr, adExecuteNoRecords, nullptr);
        qv::sql::PgDb::SetAfterSendHookForTests({});
        EXPECT_EQ(hr, E_FAIL) << qv::ToUtf8(k.sql);
        const ErrorSeen e = LastError(c.get());
        EXPECT_EQ(e.native, 17) << qv::ToUtf8(k.sql);
        EXPECT_EQ(e.state, k.state) << qv::ToUtf8(k.sql);
        EXPECT_EQ(CountElsewhere(), 3) << qv::ToUtf8(k.sql);
    }
}

TEST_P(AdoBoth, NestedTransactionsCountLikeTsql) {
    ComPtr<_Connection> c = Connect();
    ComPtr<_Connection> joined = Connect();
    ASSERT_TRUE(c && joined);
    const std::wstring trancount = L"SELECT TOP 1 @@TRANCOUNT AS n FROM System";
    EXPECT_EQ(Number(c.get(), trancount), 0);
    long level = 0;
    ASSERT_EQ(c->BeginTrans(&level), S_OK);
    ASSERT_EQ(c->BeginTrans(&level), S_OK);
    EXPECT_EQ(level, 2);
    EXPECT_EQ(Number(joined.get(), trancount), 2) << "a connection of the same thread joins it";
    Exec(joined.get(), L"INSERT INTO Kurs (lKursID, strBezeichnung) VALUES (1, 'A')");
    ASSERT_EQ(c->CommitTrans(), S_OK);
    EXPECT_EQ(Number(c.get(), trancount), 1);
    EXPECT_EQ(CountElsewhere(), 0) << "only the outermost commit commits";
    ASSERT_EQ(c->CommitTrans(), S_OK);
    EXPECT_EQ(CountElsewhere(), 1);

    // A rollback at any depth rolls all back; a commit after it has nothing to commit.
    ASSERT_EQ(c->BeginTrans(&level), S_OK);
    Exec(c.get(), L"INSERT INTO Kurs (lKursID, strBezeichnung) VALUES (2, 'B')");
    ASSERT_EQ(c->BeginTrans(&level), S_OK);
    ASSERT_EQ(c->RollbackTrans(), S_OK);
    EXPECT_EQ(Number(c.get(), trancount), 0);
    EXPECT_NE(c->CommitTrans(), S_OK);
    EXPECT_FALSE(LastError(c.get()).description.empty());
    EXPECT_EQ(Number(c.get(), L"SELECT count(*) FROM Kurs"), 1);

    // The last connection to close rolls back what is still open.
    ASSERT_EQ(joined->BeginTrans(&level), S_OK);
    Exec(joined.get(), L"INSERT INTO Kurs (lKursID, strBezeichnung) VALUES (3, 'C')");
    EXPECT_EQ(c->Close(), S_OK);
    EXPECT_EQ(joined->Close(), S_OK);
    EXPECT_EQ(CountElsewhere(), 1);
}

TEST_P(AdoBoth, ACancelFromAnotherThreadEndsTheRunningStatementAndNoOther) {
    ComPtr<_Connection> c = Connect();
    ASSERT_TRUE(c);
    for (int i = 0; i < 32; ++i) {
        Exec(c.get(), L"INSERT INTO Kurs (lKursID, strBezeichnung) VALUES (" + std::to_wstring(i) + L", 'K" +
                          std::to_wstring(i) + L"')");
    }
    // Asked while nothing runs, it leaves the next statement alone.
    EXPECT_EQ(c->Cancel(), S_OK);
    EXPECT_EQ(Number(c.get(), L"SELECT count(*) AS n FROM Kurs"), 32);

    // A statement of a billion rows on a worker's connection, and one whose text of many thousand
    // words takes long to translate and prepare, cancelled from here until it ends.
    std::wstring words = L"SELECT count(*) FROM Kurs WHERE lKursID >= 0";
    for (int i = 0; i < 20000; ++i) words += L" AND (CHARINDEX('w" + std::to_wstring(i) + L"', strBezeichnung) >= 0)";
    for (const std::wstring& sql : {std::wstring(L"SELECT count(*) FROM Kurs a, Kurs b, Kurs c, Kurs d, Kurs e, Kurs f"), words}) {
        std::promise<_Connection*> opened;
        std::atomic<bool> ended{false}, cancelling{true};
        HRESULT hr = S_OK;
        ErrorSeen e;
        long after = -1;
        std::thread worker([&] {
            ComPtr<_Connection> w = Connect();
            opened.set_value(w.get());
            hr = w->Execute(Bstr(sql), nullptr, adExecuteNoRecords, nullptr);
            e = LastError(w.get());
            ended = true;
            while (cancelling) std::this_thread::yield();
            after = Number(w.get(), L"SELECT count(*) AS n FROM Kurs");
        });
        _Connection* w = opened.get_future().get();
        while (!ended) {
            EXPECT_EQ(w->Cancel(), S_OK);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        cancelling = false;
        worker.join();
        EXPECT_EQ(hr, E_FAIL) << qv::ToUtf8(sql.substr(0, 60));
        EXPECT_EQ(e.state, L"HY008") << qv::ToUtf8(e.description) << ": not a time-out, which would be tried again";
        EXPECT_EQ(after, 32) << "the connection serves the next statement";
    }

    // Another connection object of the worker's thread shares its database connection: cancels of
    // the worker's object, asked all the while that one reads rows (a lookup beside a search), leave
    // its statement to its end.
    std::promise<_Connection*> opened;
    std::atomic<bool> started{false}, ended{false};
    long rows = -1;
    std::thread worker([&] {
        ComPtr<_Connection> w = Connect();
        ComPtr<_Connection> lookup = Connect();
        opened.set_value(w.get());
        while (!started) std::this_thread::yield();
        rows = Number(lookup.get(), L"SELECT count(*) AS n FROM Kurs a, Kurs b, Kurs c, Kurs d");
        ended = true;
    });
    _Connection* w = opened.get_future().get();
    started = true;
    while (!ended) {
        EXPECT_EQ(w->Cancel(), S_OK);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    worker.join();
    EXPECT_EQ(rows, 32 * 32 * 32 * 32);
}

TEST_P(AdoBoth, ARowLockedElsewhereTimesOutWithTheRetryableCode) {
    ComPtr<_Connection> c = Connect();
    ASSERT_TRUE(c);
    Exec(c.get(), L"INSERT INTO Kurs (lKursID, strBezeichnung) VALUES (1, 'A')");
    // The timeout is first used in a transaction that is rolled back: it must hold afterwards too.
    long level = 0;
    ASSERT_EQ(c->BeginTrans(&level), S_OK);
    ASSERT_EQ(c->put_CommandTimeout(1), S_OK);
    EXPECT_EQ(Number(c.get(), L"SELECT count(*) FROM Kurs"), 1);
    ASSERT_EQ(c->RollbackTrans(), S_OK);

    // Another thread holds the row in its transaction until this one has tried.
    std::promise<bool> locked;
    std::promise<void> tried;
    std::thread holder([&] {
        ComPtr<_Connection> other = Connect();
        long level = 0;
        const bool ok = other && other->BeginTrans(&level) == S_OK &&
                        other->Execute(Bstr(L"UPDATE Kurs SET dblFaktor = 2 WHERE lKursID = 1"), nullptr,
                                       adExecuteNoRecords, nullptr) == S_OK;
        locked.set_value(ok);
        tried.get_future().wait_for(std::chrono::seconds(30));
        if (other) other->RollbackTrans();
    });
    auto lockedFuture = locked.get_future();
    ASSERT_EQ(lockedFuture.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    const bool held = lockedFuture.get();
    const auto start = std::chrono::steady_clock::now();
    const HRESULT hr = c->Execute(Bstr(L"UPDATE Kurs SET dblFaktor = 3 WHERE lKursID = 1"), nullptr, adExecuteNoRecords, nullptr);
    const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const ErrorSeen e = LastError(c.get());
    tried.set_value();
    holder.join();
    ASSERT_TRUE(held);
    EXPECT_EQ(hr, MAKE_HR(0x80040E31u));
    EXPECT_EQ(e.number, MAKE_HR(0x80040E31u));
    EXPECT_EQ(e.state, L"HYT00");
    EXPECT_LT(waited, 1.0 + 0.5) << "the command's timeout ends the wait, not the server's lock wait limit";
    EXPECT_EQ(e.description.rfind(L"Eine andere Sitzung hält die Daten", 0), 0u)
        << "told as the lock it waited for: " << qv::ToUtf8(e.description);
    // Free again: the same statement goes through.
    EXPECT_EQ(Exec(c.get(), L"UPDATE Kurs SET dblFaktor = 3 WHERE lKursID = 1"), 1);
}

// ---- recordsets that change rows ----------------------------------------------------------

class AdoWriteBack : public AdoBoth {
protected:
    ComPtr<Recordset20> Writable(_Connection* c, const std::wstring& sql) {
        ComPtr<Recordset20> rs;
        EXPECT_EQ(qv::ado::CreateInstance(CLSID_Recordset, nullptr, IID_Recordset20, reinterpret_cast<void**>(&rs)), S_OK);
        EXPECT_EQ(Open(c, rs.get(), sql, adLockOptimistic), S_OK) << qv::ToUtf8(sql) << ": "
                                                                   << qv::ToUtf8(LastError(c).description);
        return rs;
    }
    std::wstring Name(_Connection* c, long id) {
        ComPtr<Recordset20> rs = Query(c, L"SELECT strBezeichnung FROM Kurs WHERE lKursID = " + std::to_wstring(id));
        if (!rs || Eof(rs.get())) return L"(none)";
        COleVariant v = Field(rs.get(), L"strBezeichnung");
        return v.vt == VT_BSTR ? v.bstrVal : L"(not text)";
    }
};

TEST_P(AdoWriteBack, ChangedFieldsGoBackToTheirRowWithTheSameKinds) {
    ComPtr<_Connection> c = Connect();
    ASSERT_TRUE(c);
    Exec(c.get(), L"INSERT INTO Kurs (lKursID, strBezeichnung) VALUES (1, 'A'), (2, 'B'), (3, 'C')");
    ComPtr<Recordset20> rs = Writable(c.get(), L"SELECT k.strBezeichnung, k.curPreis, k.dtStart, k.lKursID "
                                               L"FROM Kurs k WHERE lKursID < 3 ORDER BY lKursID");
    ASSERT_TRUE(rs && !Eof(rs.get()));
    // Update writes; the recordset then shows what was written, as the database gives it back.
    ASSERT_EQ(rs->put_Collect(COleVariant(L"strBezeichnung"), COleVariant(L"Süd")), S_OK) << qv::ToUtf8(LastError(c.get()).description);
    ASSERT_EQ(rs->put_Collect(COleVariant(L"curPreis"), COleVariant(12.5)), S_OK);
    ASSERT_EQ(rs->put_Collect(COleVariant(L"dtStart"), COleVariant(COleDateTime(2024, 3, 5, 14, 30, 0))), S_OK);
    ASSERT_EQ(rs->Update(Missing(), Missing()), S_OK) << qv::ToUtf8(LastError(c.get()).description);
    EXPECT_EQ(Field(rs.get(), L"curPreis").vt, VT_CY);
    EXPECT_EQ(Field(rs.get(), L"dtStart").vt, VT_DATE);
    EXPECT_EQ(Name(c.get(), 1), L"Süd");
    // Moving on writes what is pending.
    ASSERT_EQ(rs->MoveNext(), S_OK);
    ASSERT_EQ(rs->put_Collect(COleVariant(L"strBezeichnung"), COleVariant(L"B2")), S_OK);
    ASSERT_EQ(rs->MoveNext(), S_OK);
    EXPECT_TRUE(Eof(rs.get()));
    EXPECT_EQ(Name(c.get(), 2), L"B2");
    EXPECT_EQ(Name(c.get(), 3), L"C");
    ComPtr<Recordset20> check = Query(c.get(), L"SELECT curPreis, dtStart FROM Kurs WHERE lKursID = 1");
    ASSERT_TRUE(check && !Eof(check.get()));
    EXPECT_EQ(Field(check.get(), L"curPreis").cyVal.int64, 125000);
    EXPECT_EQ(COleDateTime(Field(check.get(), L"dtStart").date), COleDateTime(2024, 3, 5, 14, 30, 0));

    // Update with a column and a value; a changed key names the row for the next write, and
    // SELECT * and a unit of work reach the same rows.
    rs = Writable(c.get(), L"SELECT * FROM Kurs WHERE lKursID = 3");
    ASSERT_TRUE(rs && !Eof(rs.get()));
    long level = 0;
    ASSERT_EQ(c->BeginTrans(&level), S_OK);
    ASSERT_EQ(rs->Update(COleVariant(L"lKursID"), COleVariant(30L)), S_OK) << qv::ToUtf8(LastError(c.get()).description);
    ASSERT_EQ(rs->Update(COleVariant(L"strBezeichnung"), COleVariant(L"C2")), S_OK) << qv::ToUtf8(LastError(c.get()).description);
    EXPECT_EQ(Name(c.get(), 30), L"C2");
    ASSERT_EQ(c->RollbackTrans(), S_OK);
    EXPECT_EQ(Name(c.get(), 3), L"C");
    EXPECT_EQ(Name(c.get(), 30), L"(none)");
}

TEST_P(AdoWriteBack, WhatCannotBeWrittenFailsClearlyAndLosesNothing) {
    ComPtr<_Connection> c = Connect();
    ASSERT_TRUE(c);
    Exec(c.get(), L"INSERT INTO Kurs (lKursID, strBezeichnung) VALUES (1, 'A'), (2, 'B')");
    struct Case {
        const wchar_t* sql;
        long lock;
        const wchar_t* column;
        const wchar_t* value;
        const wchar_t* elsewhere;  // run after the open
        HRESULT put, update;
        const wchar_t* state;      // of the update's failure; empty for none
    } cases[] = {
        // Another row already has the name: the database's own error.
        {L"SELECT lKursID, strBezeichnung FROM Kurs WHERE lKursID = 1", adLockOptimistic, L"strBezeichnung", L"B",
         nullptr, S_OK, E_FAIL, L"23000"},
        // The row went since it was read.
        {L"SELECT lKursID, strBezeichnung FROM Kurs WHERE lKursID = 1", adLockOptimistic, L"strBezeichnung", L"X",
         L"DELETE FROM Kurs WHERE lKursID = 1", S_OK, E_FAIL, L""},
        {L"SELECT lKursID, strBezeichnung FROM Kurs WHERE lKursID = 2", adLockReadOnly, L"strBezeichnung", L"X",
         nullptr, ADO_E_FEATURENOTAVAILABLE, ADO_E_FEATURENOTAVAILABLE, L""},
        {L"SELECT lKursID, lKursID * 2 AS lDoppelt FROM Kurs WHERE lKursID = 2", adLockOptimistic, L"lDoppelt",
         L"X", nullptr, ADO_E_FEATURENOTAVAILABLE, S_OK, L""},
        {L"SELECT k.lKursID, k.strBezeichnung FROM Kurs k INNER JOIN System s ON s.lSystemID = 1 WHERE k.lKursID = 2",
         adLockOptimistic, L"strBezeichnung", L"X", nullptr, ADO_E_FEATURENOTAVAILABLE, ADO_E_FEATURENOTAVAILABLE, L""},
        {L"SELECT lKursID, strBezeichnung FROM KursSicht WHERE lKursID = 2", adLockOptimistic, L"strBezeichnung", L"X",
         nullptr, ADO_E_FEATURENOTAVAILABLE, ADO_E_FEATURENOTAVAILABLE, L""},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(qv::ToUtf8(k.sql));
        ComPtr<Recordset20> rs;
        ASSERT_EQ(qv::ado::CreateInstance(CLSID_Recordset, nullptr, IID_Recordset20, reinterpret_cast<void**>(&rs)), S_OK);
        ASSERT_EQ(Open(c.get(), rs.get(), k.sql, k.lock), S_OK) << qv::ToUtf8(LastError(c.get()).description);
        ASSERT_FALSE(Eof(rs.get()));
        if (k.elsewhere) Exec(c.get(), k.elsewhere);
        EXPECT_EQ(rs->put_Collect(COleVariant(k.column), COleVariant(k.value)), k.put);
        if (k.put != S_OK) {
            EXPECT_FALSE(LastError(c.get()).description.empty());
        }
        const HRESULT hr = rs->Update(Missing(), Missing());
        EXPECT_EQ(hr, k.update);
        if (FAILED(hr)) {
            const ErrorSeen e = LastError(c.get());
            EXPECT_EQ(e.number, k.update);
            EXPECT_EQ(e.state, k.state);
            EXPECT_FALSE(e.description.empty());
        }
    }
    EXPECT_EQ(Name(c.get(), 2), L"B");
    EXPECT_EQ(Number(c.get(), L"SELECT count(*) FROM Kurs"), 1);
}

INSTANTIATE_TEST_SUITE_P(Drivers, AdoWriteBack, ::testing::Values(Driver::Sqlite, Driver::Pg),
                         [](const ::testing::TestParamInfo<Driver>& info) {
                             return info.param == Driver::Sqlite ? "Sqlite" : "Pg";
                         });

// ---- the pool of sessions ------------------------------------------------------------------

TEST_P(AdoBoth, AClosedConnectionLeavesItsSessionToTheNextButNeitherItsTransactionNorItsSettings) {
    const std::wstring trancount = L"SELECT TOP 1 @@TRANCOUNT AS n FROM System";
    {
        // A caller that fails between its begin and its commit: its object goes without either.
        ComPtr<_Connection> failing = Connect();
        ASSERT_TRUE(failing);
        long level = 0;
        ASSERT_EQ(failing->BeginTrans(&level), S_OK);
        Exec(failing.get(), L"INSERT INTO Kurs (lKursID, strBezeichnung) VALUES (1, 'A')");
        ASSERT_EQ(failing->put_IsolationLevel(adXactSerializable), S_OK);
    }
    EXPECT_EQ(SessionsOnSettled(cs_, 1), 1) << "kept for the next connection";
    ComPtr<_Connection> next = Connect();
    ASSERT_TRUE(next);
    EXPECT_EQ(SessionsOn(cs_), 1) << "the kept session is handed out, not a new one";
    EXPECT_EQ(Number(next.get(), trancount), 0);
    EXPECT_EQ(Number(next.get(), L"SELECT count(*) FROM Kurs"), 0);
    long isolation = 0;
    EXPECT_EQ(next->get_IsolationLevel(&isolation), S_OK);
    EXPECT_EQ(isolation, adXactReadCommitted);

    // Work called by other work joins its transaction.
    long level = 0;
    ASSERT_EQ(next->BeginTrans(&level), S_OK);
    {
        ComPtr<_Connection> called = Connect();
        Exec(called.get(), L"INSERT INTO Kurs (lKursID, strBezeichnung) VALUES (2, 'B')");
        EXPECT_EQ(Number(called.get(), trancount), 1);
    }
    EXPECT_EQ(CountElsewhere(), 0);
    ASSERT_EQ(next->CommitTrans(), S_OK);
    EXPECT_EQ(CountElsewhere(), 1);

    // A level chosen in a transaction that was rolled back holds for the next one all the same
    // (on SQLite a transaction keeps the others from writing).
    if (GetParam() == Driver::Sqlite) return;
    ASSERT_EQ(next->BeginTrans(&level), S_OK);
    ASSERT_EQ(next->put_IsolationLevel(adXactSerializable), S_OK);
    ASSERT_EQ(next->RollbackTrans(), S_OK);
    ASSERT_EQ(next->BeginTrans(&level), S_OK);
    EXPECT_EQ(Number(next.get(), L"SELECT count(*) FROM Kurs"), 1);
    std::thread([&] { Exec(Connect().get(), L"INSERT INTO Kurs (lKursID, strBezeichnung) VALUES (3, 'C')"); }).join();
    EXPECT_EQ(Number(next.get(), L"SELECT count(*) FROM Kurs"), 1) << "the transaction reads what it read first";
    ASSERT_EQ(next->RollbackTrans(), S_OK);
}

TEST_P(AdoBoth, IdleSessionsAreClosedBeyondAFewPerThreadAndWhenTheirThreadEnds) {
    std::vector<std::wstring> databases;
    for (int i = 0; i < 6; ++i) {
        databases.push_back(AnotherDatabase());
        ComPtr<_Connection> c = Connect(databases.back());
        ASSERT_TRUE(c);
        EXPECT_EQ(c->Close(), S_OK);
    }
    const int kept = Settled([&] {
        int n = 0;
        for (const std::wstring& db : databases) n += SessionsOn(db) > 0;
        return n;
    }, 4);
    EXPECT_EQ(kept, 4) << "the pool keeps four idle sessions";
    EXPECT_EQ(SessionsOn(databases.front()), 0) << "the longest idle goes first";
    EXPECT_EQ(SessionsOn(databases.back()), 1);

    const std::wstring worker = AnotherDatabase();
    std::thread([&] {
        ComPtr<_Connection> c = Connect(worker);
        ASSERT_TRUE(c);
        EXPECT_EQ(Number(c.get(), L"SELECT 1"), 1);
        EXPECT_EQ(c->Close(), S_OK);
        EXPECT_EQ(SessionsOn(worker), 1);
    }).join();
    EXPECT_EQ(SessionsOnSettled(worker, 0), 0);

    // A thread that reads whole lists joins by hashing on PostgreSQL; the others as the planner likes.
    if (GetParam() == Driver::Pg) {
        const std::wstring nestLoops = L"SELECT count(*) FROM pg_settings WHERE name = 'enable_nestloop' AND setting = 'on'";
        std::thread([&] {
            qv::ado::Session::SetThreadReadsInBulk(true);
            ComPtr<_Connection> c = Connect(worker);
            EXPECT_EQ(Number(c.get(), nestLoops), 0);
            qv::ado::Session::ReleasePool();
        }).join();
        ComPtr<_Connection> c = Connect(worker);
        EXPECT_EQ(Number(c.get(), nestLoops), 1);
    }
}

TEST_P(AdoBoth, AnIdleSessionWhoseDatabaseWentAwayIsNeverHandedOut) {
    {
        ComPtr<_Connection> c = Connect();
        Exec(c.get(), L"INSERT INTO Kurs (lKursID, strBezeichnung) VALUES (1, 'Alt')");
    }
    if (GetParam() == Driver::Pg) {
        // The server ends the session while it waits in the pool.
        ASSERT_EQ(SessionsOn(cs_), 1);
        qv::sql::PgDb admin;
        ASSERT_EQ(admin.Open(qvtest::PgClusterUrl() + "/postgres"), 0);
        ASSERT_EQ(admin.Exec("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = '" + pgDb_->name() + "'"), 0);
        ASSERT_EQ(SessionsOnSettled(cs_, 0), 0);
    } else {
        // Another program puts a new file in its place.
        const std::string path = dir_.file("kurs.db");
        for (const char* suffix : {"", "-wal", "-shm"}) std::remove((path + suffix).c_str());
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(db, "CREATE TABLE Kurs (lKursID INTEGER PRIMARY KEY, strBezeichnung TEXT);"
                                   "INSERT INTO Kurs VALUES (7, 'Neu');",
                               nullptr, nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(db);
        // Opening another database lets go of the session on the removed file.
        ComPtr<_Connection> other = Connect(AnotherDatabase());
        EXPECT_EQ(SessionsOn(cs_), 0);
    }
    ComPtr<_Connection> fresh = Connect();
    ASSERT_TRUE(fresh);
    const std::wstring expected = GetParam() == Driver::Pg ? L"Alt" : L"Neu";
    ComPtr<Recordset20> rs = Query(fresh.get(), L"SELECT strBezeichnung FROM Kurs");
    ASSERT_TRUE(rs && !Eof(rs.get())) << qv::ToUtf8(LastError(fresh.get()).description);
    EXPECT_EQ(std::wstring(Field(rs.get(), L"strBezeichnung").bstrVal), expected);
}

TEST_P(AdoBoth, AForwardRecordsetReadsOnBesideOtherWorkAndEndsEarlyOrOnAFailureCleanly) {
    ComPtr<_Connection> c = Connect();
    ComPtr<_Connection> joined = Connect();
    ASSERT_TRUE(c && joined);
    long level = 0;
    ASSERT_EQ(c->BeginTrans(&level), S_OK);
    for (int id = 1; id <= 300; ++id) {
        Exec(c.get(), L"INSERT INTO Kurs (lKursID, strBezeichnung) VALUES (" + std::to_wstring(id) + L", 'K" +
                          std::to_wstring(id) + L"')");
    }
    ASSERT_EQ(c->CommitTrans(), S_OK);
    const std::wstring trancount = L"SELECT TOP 1 @@TRANCOUNT AS n FROM System";

    // Other statements of the thread while the rows are read: nothing of the rows is lost.
    ComPtr<Recordset20> rs = Query(c.get(), L"SELECT lKursID FROM Kurs ORDER BY lKursID");
    ASSERT_TRUE(rs && !Eof(rs.get()));
    EXPECT_EQ(Exec(joined.get(), L"UPDATE Kurs SET dblFaktor = 2 WHERE lKursID = 300"), 1);
    EXPECT_EQ(Number(joined.get(), trancount), 0);
    long expected = 1, inOrder = 0;
    while (!Eof(rs.get())) {
        inOrder += Field(rs.get(), L"lKursID").lVal == expected++;
        ASSERT_EQ(rs->MoveNext(), S_OK);
    }
    EXPECT_EQ(inOrder, 300);

    // Closed after a few rows, inside a transaction and outside: the connection works on at the
    // same depth.
    for (bool inTransaction : {false, true}) {
        if (inTransaction) {
            ASSERT_EQ(c->BeginTrans(&level), S_OK);
        }
        ComPtr<Recordset20> early = Query(c.get(), L"SELECT a.lKursID FROM Kurs a, Kurs b");
        for (int i = 0; i < 3; ++i) ASSERT_EQ(early->MoveNext(), S_OK);
        ASSERT_EQ(early->Close(), S_OK);
        EXPECT_EQ(Number(c.get(), trancount), inTransaction ? 1 : 0);
        EXPECT_EQ(Exec(c.get(), L"UPDATE Kurs SET dblFaktor = 3 WHERE lKursID = 1"), 1);
        if (inTransaction) {
            ASSERT_EQ(c->CommitTrans(), S_OK);
        }
    }
    EXPECT_EQ(Number(joined.get(), L"SELECT count(*) FROM Kurs WHERE dblFaktor = 3"), 1);

    if (GetParam() != Driver::Pg) {
        // SQLite divides by zero into NULL: a value that does not convert fails the row there.
        ComPtr<Recordset20> failing = Query(
            c.get(), L"SELECT lKursID, convert(int, CASE WHEN lKursID = 250 THEN 'x' ELSE '1' END) AS q FROM Kurs "
                       L"ORDER BY lKursID");
        ASSERT_TRUE(failing && !Eof(failing.get()));
        HRESULT hr = S_OK;
        int read = 0;
        while (!Eof(failing.get()) && SUCCEEDED(hr = failing->MoveNext())) ++read;
        EXPECT_EQ(hr, E_FAIL);
        EXPECT_TRUE(Eof(failing.get()));
        EXPECT_EQ(read, 248);
        return;
    }
    ComPtr<Recordset20> failing = Query(c.get(), L"SELECT lKursID, 10 / (250 - lKursID) AS q FROM Kurs");
    ASSERT_TRUE(failing && !Eof(failing.get()));
    HRESULT hr = S_OK;
    int read = 0;
    while (!Eof(failing.get()) && SUCCEEDED(hr = failing->MoveNext())) ++read;
    EXPECT_EQ(hr, E_FAIL);
    EXPECT_TRUE(Eof(failing.get()));
    EXPECT_GT(read, 0);
    EXPECT_LT(read, 250);
    const ErrorSeen e = LastError(c.get());
    EXPECT_NE(e.description.find(L"division by zero"), std::wstring::npos) << qv::ToUtf8(e.description);
    EXPECT_EQ(e.state, L"HY000");
    EXPECT_EQ(Number(c.get(), trancount), 0);
}

INSTANTIATE_TEST_SUITE_P(Drivers, AdoBoth, ::testing::Values(Driver::Sqlite, Driver::Pg),
                         [](const ::testing::TestParamInfo<Driver>& info) {
                             return info.param == Driver::Pg ? std::string("Pg") : std::string("Sqlite");
                         });

}  // namespace
