// The ADO-shaped objects on real database files: statements and their rows, values of each type,
// changing a row through a recordset, the error collection, shared and nested transactions.
#include "adosession.h"
#include "adovalue.h"
#include "extensions.h"
#include "olevariant.h"
#include "qvado.h"
#include "qvcom.h"
#include "sqlitedb.h"
#include "tsqlruntime.h"
#include "tempdir.h"
#include "utf.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <dlfcn.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

namespace {

using qv::ado::ComPtr;

// A BSTR for the length of a statement.
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

std::wstring Text(const VARIANT& v) {
    return v.vt == VT_BSTR ? std::wstring(v.bstrVal, SysStringLen(v.bstrVal)) : L"<vt " + std::to_wstring(v.vt) + L">";
}

struct ErrorSeen {
    long count = 0;
    long number = 0;
    long native = 0;
    std::wstring state, description, source;
};

class Ado : public ::testing::Test {
protected:
    std::wstring File() const { return L"sqlite:" + qv::FromUtf8(dir_.file("kurs.db")); }

    ComPtr<_Connection> Connect(long timeoutSeconds = 30) {
        ComPtr<_Connection> c;
        EXPECT_EQ(qv::ado::CreateInstance(CLSID_Connection, nullptr, IID__Connection, reinterpret_cast<void**>(&c)), S_OK);
        if (!c) return c;
        EXPECT_EQ(c->put_CommandTimeout(timeoutSeconds), S_OK);
        EXPECT_EQ(c->Open(Bstr(File()), nullptr, nullptr, 0), S_OK);
        return c;
    }

    // Runs a statement that returns no rows; the rows affected.
    long Exec(_Connection* c, const std::wstring& sql) {
        VARIANT affected;
        VariantInit(&affected);
        ComPtr<Recordset20> rs;
        const HRESULT hr = c->Execute(Bstr(sql), &affected, adExecuteNoRecords, &rs);
        EXPECT_EQ(hr, S_OK) << qv::ToUtf8(sql) << ": " << qv::ToUtf8(LastError(c).description);
        EXPECT_FALSE(rs) << "no recordset with adExecuteNoRecords";
        EXPECT_EQ(affected.vt, VT_I4);
        return affected.lVal;
    }

    HRESULT TryExec(_Connection* c, const std::wstring& sql) {
        return c->Execute(Bstr(sql), nullptr, adExecuteNoRecords, nullptr);
    }

    ComPtr<Recordset20> NewRecordset(_Connection* c) {
        ComPtr<Recordset20> rs;
        EXPECT_EQ(qv::ado::CreateInstance(CLSID_Recordset, nullptr, IID_Recordset20, reinterpret_cast<void**>(&rs)), S_OK);
        if (rs) {
            EXPECT_EQ(rs->putref_ActiveConnection(c), S_OK);
        }
        return rs;
    }

    HRESULT OpenOn(Recordset20* rs, const std::wstring& sql, long cursor, long lock) {
        COleVariant source(sql.c_str());
        return rs->Open(source, Missing(), cursor, lock, adCmdText);
    }

    ComPtr<Recordset20> Query(_Connection* c, const std::wstring& sql, long cursor = adOpenForwardOnly,
                              long lock = adLockReadOnly) {
        ComPtr<Recordset20> rs = NewRecordset(c);
        EXPECT_EQ(OpenOn(rs.get(), sql, cursor, lock), S_OK) << qv::ToUtf8(sql) << ": " << qv::ToUtf8(LastError(c).description);
        return rs;
    }

    static COleVariant Field(Recordset20* rs, const VARIANT& index) {
        COleVariant v;
        EXPECT_EQ(rs->get_Collect(index, &v), S_OK);
        return v;
    }
    static COleVariant Field(Recordset20* rs, const wchar_t* name) { return Field(rs, COleVariant(name)); }

    static bool Eof(Recordset20* rs) {
        VARIANT_BOOL eof = VARIANT_FALSE;
        rs->get_EOF(&eof);
        return eof != VARIANT_FALSE;
    }

    static long State(Recordset20* rs) {
        long state = -1;
        EXPECT_EQ(rs->get_State(&state), S_OK);
        return state;
    }

    // The one value of a one-row query, as text.
    std::wstring Lookup(_Connection* c, const std::wstring& sql) {
        ComPtr<Recordset20> rs = Query(c, sql);
        if (!rs || Eof(rs.get())) return L"<no row>";
        COleVariant v = Field(rs.get(), COleVariant(0L));
        if (v.vt == VT_I4) return std::to_wstring(v.lVal);
        return Text(v);
    }

    static ErrorSeen LastError(_Connection* c) {
        ErrorSeen e;
        ComPtr<Errors> errors;
        if (FAILED(c->get_Errors(&errors)) || FAILED(errors->get_Count(&e.count)) || e.count == 0) return e;
        ComPtr<Error> first;
        COleVariant zero(0L);
        if (FAILED(errors->get_Item(zero, &first))) return e;
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

    // Rows of a plain SQLite query on a connection of the test's own, "a|b" per row.
    std::vector<std::string> Raw(const std::string& sql) {
        sqlite3* db = nullptr;
        std::vector<std::string> rows;
        EXPECT_EQ(sqlite3_open(dir_.file("kurs.db").c_str(), &db), SQLITE_OK);
        sqlite3_stmt* st = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
        while (st && sqlite3_step(st) == SQLITE_ROW) {
            std::string row;
            for (int i = 0; i < sqlite3_column_count(st); ++i) {
                if (i) row += '|';
                const auto* t = sqlite3_column_text(st, i);
                row += t ? reinterpret_cast<const char*>(t) : "NULL";
            }
            rows.push_back(row);
        }
        sqlite3_finalize(st);
        sqlite3_close(db);
        return rows;
    }

    // Counts rows of Kurs on a connection of another thread (its own database connection).
    std::wstring CountFromOtherThread(const std::wstring& sql = L"SELECT count(*) FROM Kurs") {
        std::wstring result;
        std::thread t([&] {
            ComPtr<_Connection> c = Connect();
            result = Lookup(c.get(), sql);
        });
        t.join();
        return result;
    }

    // Plain SQLite SQL (the schema: the system itself never creates tables).
    void Sql(const std::string& sql) {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(dir_.file("kurs.db").c_str(), &db), SQLITE_OK);
        char* err = nullptr;
        EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err), SQLITE_OK) << (err ? err : "") << sql;
        sqlite3_free(err);
        sqlite3_close(db);
    }

    void CreateKurs(_Connection*) {
        Sql("CREATE TABLE Kurs (lKursID INTEGER PRIMARY KEY, strBezeichnung TEXT NOT NULL UNIQUE, "
            "dtStart DATETIME, curPreis MONEY, dblFaktor REAL, lGross INTEGER, bild BLOB);"
            "CREATE TABLE System (lSystemID INTEGER PRIMARY KEY); INSERT INTO System VALUES (1);");
    }

    qvtest::TempDir dir_;
};

// ---- statements and their rows ---------------------------------------------------------------

TEST_F(Ado, ExecuteCountsRowsAffectedAndReturnsRowsOnlyWhenAsked) {
    ComPtr<_Connection> c = Connect();
    CreateKurs(c.get());
    EXPECT_EQ(Exec(c.get(), L"INSERT INTO Kurs (lKursID, strBezeichnung) VALUES (1, 'A')"), 1);
    EXPECT_EQ(Exec(c.get(), L"INSERT INTO Kurs (lKursID, strBezeichnung) SELECT 2, 'B' UNION SELECT 3, 'C'"), 2);
    EXPECT_EQ(Exec(c.get(), L"UPDATE Kurs SET lGross = 5 WHERE lKursID >= 2"), 2);
    EXPECT_EQ(Exec(c.get(), L"DELETE Kurs WHERE lKursID = 99"), 0);

    // Without adExecuteNoRecords a query comes back as an open recordset.
    ComPtr<Recordset20> rs;
    ASSERT_EQ(c->Execute(Bstr(L"SELECT strBezeichnung FROM Kurs ORDER BY lKursID"), nullptr, adCmdText, &rs), S_OK);
    ASSERT_TRUE(rs);
    EXPECT_EQ(State(rs.get()), adStateOpen);
    std::wstring names;
    while (!Eof(rs.get())) {
        names += Text(Field(rs.get(), L"strBezeichnung"));
        ASSERT_EQ(rs->MoveNext(), S_OK);
    }
    EXPECT_EQ(names, L"ABC");
    EXPECT_EQ(rs->MoveNext(), ADO_E_NOCURRENTRECORD);
    // ... and a statement without rows as a closed one.
    ASSERT_EQ(c->Execute(Bstr(L"UPDATE Kurs SET lGross = 6"), nullptr, adCmdText, &rs), S_OK);
    ASSERT_TRUE(rs);
    EXPECT_EQ(State(rs.get()), adStateClosed);
    EXPECT_EQ(Raw("SELECT count(*) FROM Kurs WHERE lGross = 6"), std::vector<std::string>{"3"});
}

TEST_F(Ado, RowsArriveWithTheirTypesByNameInAnyCaseOrByOrdinal) {
    ComPtr<_Connection> c = Connect();
    CreateKurs(c.get());
    Exec(c.get(), L"INSERT INTO Kurs VALUES (1, 'Übung Süd', '2024-03-05 14:30:15', 12.5, 0.25, 5000000000, NULL)");
    Sql("UPDATE Kurs SET bild = x'00FF10' WHERE lKursID = 1");
    Exec(c.get(), L"INSERT INTO Kurs VALUES (2, 'Leer', '1899-12-30 00:00:00', NULL, NULL, NULL, NULL)");

    ComPtr<Recordset20> rs = Query(c.get(), L"SELECT lKursID, strBezeichnung, dtStart, curPreis, dblFaktor, lGross, bild, "
                                            L"getdate() AS dtJetzt FROM Kurs ORDER BY lKursID");
    ASSERT_FALSE(Eof(rs.get()));
    COleVariant id = Field(rs.get(), L"LKURSID");
    EXPECT_EQ(id.vt, VT_I4);
    EXPECT_EQ(id.lVal, 1);
    EXPECT_EQ(Text(Field(rs.get(), L"strbezeichnung")), L"Übung Süd");
    EXPECT_EQ(Text(Field(rs.get(), COleVariant(1L))), L"Übung Süd");

    COleVariant start = Field(rs.get(), L"dtStart");
    ASSERT_EQ(start.vt, VT_DATE);
    EXPECT_EQ(COleDateTime(start.date), COleDateTime(2024, 3, 5, 14, 30, 15));
    COleVariant price = Field(rs.get(), L"curPreis");
    ASSERT_EQ(price.vt, VT_CY);
    EXPECT_EQ(price.cyVal.int64, 125000);
    COleVariant factor = Field(rs.get(), L"dblFaktor");
    ASSERT_EQ(factor.vt, VT_R8);
    EXPECT_DOUBLE_EQ(factor.dblVal, 0.25);
    COleVariant big = Field(rs.get(), L"lGross");
    ASSERT_EQ(big.vt, VT_I8) << "beyond 32 bits";
    EXPECT_EQ(big.llVal, 5000000000LL);
    COleVariant blob = Field(rs.get(), L"bild");
    ASSERT_EQ(blob.vt, VT_ARRAY | VT_UI1);
    LONG ub = -1;
    SafeArrayGetUBound(blob.parray, 1, &ub);
    EXPECT_EQ(ub, 2);
    // An expression has no declared type: its date comes as the database's text.
    EXPECT_EQ(Field(rs.get(), L"dtJetzt").vt, VT_BSTR);

    COleVariant nothing;
    EXPECT_EQ(rs->get_Collect(COleVariant(L"strGibtsNicht"), &nothing), ADO_E_ITEMNOTFOUND);
    EXPECT_NE(LastError(c.get()).description.find(L"strGibtsNicht"), std::wstring::npos);
    EXPECT_EQ(rs->get_Collect(COleVariant(8L), &nothing), ADO_E_ITEMNOTFOUND);

    ASSERT_EQ(rs->MoveNext(), S_OK);
    ASSERT_FALSE(Eof(rs.get()));
    COleVariant zero = Field(rs.get(), L"dtStart");
    ASSERT_EQ(zero.vt, VT_DATE);
    EXPECT_EQ(zero.date, 0.0) << "the zero date";
    EXPECT_EQ(Field(rs.get(), L"curPreis").vt, VT_NULL);
    EXPECT_EQ(Field(rs.get(), L"lGross").vt, VT_NULL);
    EXPECT_EQ(Field(rs.get(), L"bild").vt, VT_NULL);
    ASSERT_EQ(rs->MoveNext(), S_OK);
    EXPECT_TRUE(Eof(rs.get()));
    EXPECT_EQ(rs->get_Collect(COleVariant(0L), &nothing), ADO_E_NOCURRENTRECORD);
}

TEST_F(Ado, RecordsetOpensOnlyWhenClosedAndStaysClosedForStatementsWithoutRows) {
    ComPtr<_Connection> c = Connect();
    CreateKurs(c.get());
    Exec(c.get(), L"INSERT INTO Kurs (lKursID, strBezeichnung) VALUES (1, 'A')");

    ComPtr<Recordset20> rs = NewRecordset(c.get());
    ASSERT_EQ(OpenOn(rs.get(), L"UPDATE Kurs SET lGross = 7", adOpenStatic, adLockOptimistic), S_OK);
    EXPECT_EQ(State(rs.get()), adStateClosed);
    EXPECT_TRUE(Eof(rs.get()));
    EXPECT_EQ(Raw("SELECT lGross FROM Kurs"), std::vector<std::string>{"7"}) << "the statement ran";
    EXPECT_EQ(rs->Close(), ADO_E_OBJECTCLOSED);

    ASSERT_EQ(OpenOn(rs.get(), L"SELECT * FROM Kurs WHERE lKursID = 2", adOpenStatic, adLockOptimistic), S_OK);
    EXPECT_EQ(State(rs.get()), adStateOpen);
    EXPECT_TRUE(Eof(rs.get())) << "no rows";
    EXPECT_EQ(OpenOn(rs.get(), L"SELECT 1 AS x FROM Kurs", adOpenForwardOnly, adLockReadOnly), ADO_E_OBJECTOPEN);
    ASSERT_EQ(rs->Close(), S_OK);
    EXPECT_EQ(rs->Open(COleVariant(7L), Missing(), adOpenForwardOnly, adLockReadOnly, adCmdText), ADO_E_INVALIDARGUMENT)
        << "a source that is no statement text";
    // Opened again after Close.
    ASSERT_EQ(OpenOn(rs.get(), L"SELECT strBezeichnung FROM Kurs", adOpenKeyset, adLockReadOnly), S_OK);
    EXPECT_EQ(Text(Field(rs.get(), L"strBezeichnung")), L"A");

    // Without an open connection there is nothing to run on.
    ComPtr<Recordset20> lone;
    ASSERT_EQ(qv::ado::CreateInstance(CLSID_Recordset, nullptr, IID_Recordset20, reinterpret_cast<void**>(&lone)), S_OK);
    EXPECT_EQ(OpenOn(lone.get(), L"SELECT 1 AS x", adOpenForwardOnly, adLockReadOnly), ADO_E_INVALIDCONNECTION);
    // ... unless Open is given one; anything else there is refused.
    EXPECT_EQ(lone->Open(COleVariant(L"SELECT 1 AS x"), COleVariant(File().c_str()), adOpenForwardOnly, adLockReadOnly,
                         adCmdText),
              ADO_E_INVALIDARGUMENT);
    VARIANT active;
    VariantInit(&active);
    active.vt = VT_UNKNOWN;
    active.punkVal = c.get();
    ASSERT_EQ(lone->Open(COleVariant(L"SELECT strBezeichnung FROM Kurs"), active, adOpenForwardOnly, adLockReadOnly,
                         adCmdText),
              S_OK);
    EXPECT_EQ(Text(Field(lone.get(), L"strBezeichnung")), L"A");
    EXPECT_EQ(qv::ado::CreateInstance(IID_Errors, nullptr, IID_IUnknown, reinterpret_cast<void**>(&lone)),
              CLASS_E_CLASSNOTAVAILABLE);
}

TEST_F(Ado, ForwardOnlyRowsStayReadableAfterTheirConnectionCloses) {
    ComPtr<_Connection> c = Connect();
    CreateKurs(c.get());
    Exec(c.get(), L"INSERT INTO Kurs (lKursID, strBezeichnung) VALUES (1, 'A'), (2, 'B')");
    ComPtr<Recordset20> rs = Query(c.get(), L"SELECT strBezeichnung FROM Kurs ORDER BY lKursID");
    ASSERT_EQ(c->Close(), S_OK);
    c.Reset();
    EXPECT_EQ(Text(Field(rs.get(), L"strBezeichnung")), L"A");
    ASSERT_EQ(rs->MoveNext(), S_OK);
    EXPECT_EQ(Text(Field(rs.get(), L"strBezeichnung")), L"B");
    ASSERT_EQ(rs->MoveNext(), S_OK);
    EXPECT_TRUE(Eof(rs.get()));
}

// ---- changing rows ---------------------------------------------------------------------------

TEST_F(Ado, KeysetRecordsetWritesExactlyItsCurrentRow) {
    ComPtr<_Connection> c = Connect();
    CreateKurs(c.get());
    for (int i = 1; i <= 3; ++i) {
        Exec(c.get(), L"INSERT INTO Kurs (lKursID, strBezeichnung, curPreis) VALUES (" + std::to_wstring(i) + L", 'K" +
                          std::to_wstring(i) + L"', 10)");
    }
    ComPtr<Recordset20> rs = Query(c.get(), L"SELECT lKursID, strBezeichnung AS Name, dtStart, curPreis, lGross "
                                            L"FROM Kurs WHERE lKursID = 2", adOpenKeyset, adLockOptimistic);
    ASSERT_FALSE(Eof(rs.get()));
    ASSERT_EQ(rs->put_Collect(COleVariant(L"name"), COleVariant(L"Neu 'quoted'")), S_OK);
    ASSERT_EQ(rs->put_Collect(COleVariant(L"dtStart"), COleVariant(COleDateTime(2023, 12, 31, 8, 5, 0))), S_OK);
    CY price{123450};
    ASSERT_EQ(rs->put_Collect(COleVariant(L"curPreis"), COleVariant(price)), S_OK);
    ASSERT_EQ(rs->put_Collect(COleVariant(L"lGross"), COleVariant(true)), S_OK);
    EXPECT_EQ(Text(Field(rs.get(), L"Name")), L"Neu 'quoted'") << "the changed value before Update";
    ASSERT_EQ(rs->Update(Missing(), Missing()), S_OK) << qv::ToUtf8(LastError(c.get()).description);

    EXPECT_EQ(Raw("SELECT lKursID, strBezeichnung, dtStart, curPreis, lGross FROM Kurs ORDER BY lKursID"),
              (std::vector<std::string>{"1|K1|NULL|10|NULL", "2|Neu 'quoted'|2023-12-31 08:05:00|12.345|1",
                                        "3|K3|NULL|10|NULL"}));
    COleVariant start = Field(rs.get(), L"dtStart");
    ASSERT_EQ(start.vt, VT_DATE);
    EXPECT_EQ(COleDateTime(start.date), COleDateTime(2023, 12, 31, 8, 5, 0));

    // A column and a value given to Update: that column alone.
    ASSERT_EQ(rs->Update(COleVariant(L"lGross"), COleVariant(0L)), S_OK);
    EXPECT_EQ(Raw("SELECT lGross FROM Kurs WHERE lKursID = 2"), std::vector<std::string>{"0"});
}

TEST_F(Ado, MovingOnWritesPendingChangesAndClosingDropsThem) {
    ComPtr<_Connection> c = Connect();
    CreateKurs(c.get());
    Exec(c.get(), L"INSERT INTO Kurs (lKursID, strBezeichnung) VALUES (1, 'A'), (2, 'B'), (3, 'C')");
    ComPtr<Recordset20> rs = Query(c.get(), L"SELECT * FROM Kurs ORDER BY lKursID", adOpenForwardOnly, adLockOptimistic);
    ASSERT_EQ(rs->put_Collect(COleVariant(L"lGross"), COleVariant(1L)), S_OK);
    ASSERT_EQ(rs->MoveNext(), S_OK);
    ASSERT_EQ(rs->put_Collect(COleVariant(L"lGross"), COleVariant(2L)), S_OK);
    ASSERT_EQ(rs->Close(), S_OK);
    EXPECT_EQ(Raw("SELECT ifnull(lGross, '-') FROM Kurs ORDER BY lKursID"),
              (std::vector<std::string>{"1", "-", "-"}));
}

TEST_F(Ado, RowsThatCannotBeWrittenBackSayWhy) {
    ComPtr<_Connection> c = Connect();
    CreateKurs(c.get());
    Exec(c.get(), L"INSERT INTO Kurs (lKursID, strBezeichnung) VALUES (1, 'A')");
    Sql("CREATE VIEW view_Kurs AS SELECT lKursID, strBezeichnung FROM Kurs");

    struct Case {
        const wchar_t* sql;
        long lock;
        const wchar_t* column;
        const wchar_t* reason;
    } cases[] = {
        {L"SELECT lKursID, strBezeichnung FROM Kurs", adLockReadOnly, L"strBezeichnung", L"read-only"},
        {L"SELECT k.strBezeichnung FROM Kurs k JOIN System s ON s.lSystemID = k.lKursID", adLockOptimistic,
         L"strBezeichnung", L"single table"},
        {L"SELECT strBezeichnung FROM view_Kurs", adLockOptimistic, L"strBezeichnung", L"view_Kurs"},
        {L"SELECT strBezeichnung + 'x' AS strLang FROM Kurs", adLockOptimistic, L"strLang", L"strLang"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(qv::ToUtf8(k.sql));
        ComPtr<Recordset20> rs = Query(c.get(), k.sql, adOpenKeyset, k.lock);
        ASSERT_FALSE(Eof(rs.get())) << "readable all the same";
        EXPECT_EQ(rs->put_Collect(COleVariant(k.column), COleVariant(L"B")), ADO_E_FEATURENOTAVAILABLE);
        EXPECT_NE(LastError(c.get()).description.find(k.reason), std::wstring::npos)
            << qv::ToUtf8(LastError(c.get()).description);
    }
    EXPECT_EQ(Raw("SELECT strBezeichnung FROM Kurs"), std::vector<std::string>{"A"});
}

TEST_F(Ado, AWriteTheDatabaseRefusesKeepsTheRowsValuesAndReportsTheConstraint) {
    ComPtr<_Connection> c = Connect();
    CreateKurs(c.get());
    Exec(c.get(), L"INSERT INTO Kurs (lKursID, strBezeichnung) VALUES (1, 'A'), (2, 'B')");
    ComPtr<Recordset20> rs = Query(c.get(), L"SELECT * FROM Kurs WHERE lKursID = 2", adOpenKeyset, adLockOptimistic);
    ASSERT_EQ(rs->put_Collect(COleVariant(L"strBezeichnung"), COleVariant(L"A")), S_OK);
    EXPECT_EQ(rs->Update(Missing(), Missing()), E_FAIL);
    EXPECT_EQ(LastError(c.get()).state, L"23000");
    EXPECT_EQ(Raw("SELECT strBezeichnung FROM Kurs ORDER BY lKursID"), (std::vector<std::string>{"A", "B"}));

    // The row is gone: nothing to write.
    Exec(c.get(), L"DELETE Kurs WHERE lKursID = 2");
    ASSERT_EQ(rs->put_Collect(COleVariant(L"strBezeichnung"), COleVariant(L"C")), S_OK);
    EXPECT_EQ(rs->Update(Missing(), Missing()), E_FAIL);
    EXPECT_NE(LastError(c.get()).description.find(L"Row cannot be located"), std::wstring::npos);
}

// ---- errors ----------------------------------------------------------------------------------

TEST_F(Ado, FailuresFillTheErrorCollectionUntilTheNextCall) {
    ComPtr<_Connection> c = Connect();
    CreateKurs(c.get());
    Exec(c.get(), L"INSERT INTO Kurs (lKursID, strBezeichnung) VALUES (1, 'A')");

    // Not T-SQL the translator knows.
    EXPECT_EQ(TryExec(c.get(), L"SELEKT * FROM Kurs"), E_FAIL);
    ErrorSeen e = LastError(c.get());
    EXPECT_EQ(e.count, 1);
    EXPECT_EQ(e.number, E_FAIL);
    EXPECT_EQ(e.state, L"42000");
    EXPECT_FALSE(e.description.empty());

    // SQLite's own syntax check: a table that does not exist.
    EXPECT_EQ(TryExec(c.get(), L"INSERT INTO KursGibtsNicht (a) VALUES (1)"), E_FAIL);
    e = LastError(c.get());
    EXPECT_EQ(e.state, L"42000");
    EXPECT_EQ(e.native, SQLITE_ERROR);
    EXPECT_NE(e.description.find(L"KursGibtsNicht"), std::wstring::npos);
    // A misspelt column is the database's error, never the column's name as a text.
    EXPECT_EQ(TryExec(c.get(), L"SELECT [NoSuchCol] FROM (SELECT 1 AS a) x"), E_FAIL);
    e = LastError(c.get());
    EXPECT_EQ(e.state, L"42000");
    EXPECT_NE(e.description.find(L"no such column: NoSuchCol"), std::wstring::npos);

    EXPECT_EQ(TryExec(c.get(), L"INSERT INTO Kurs (lKursID, strBezeichnung) VALUES (2, 'A')"), E_FAIL);
    e = LastError(c.get());
    EXPECT_EQ(e.number, E_FAIL);
    EXPECT_EQ(e.state, L"23000");
    EXPECT_EQ(e.native, SQLITE_CONSTRAINT_UNIQUE);
    EXPECT_NE(e.description.find(L"UNIQUE"), std::wstring::npos);
    EXPECT_FALSE(e.source.empty());

    ComPtr<Errors> errors;
    ASSERT_EQ(c->get_Errors(&errors), S_OK);
    ComPtr<Error> item;
    EXPECT_EQ(errors->get_Item(COleVariant(1L), &item), ADO_E_ITEMNOTFOUND);
    Exec(c.get(), L"UPDATE Kurs SET lGross = 1");
    long count = -1;
    ASSERT_EQ(errors->get_Count(&count), S_OK);
    EXPECT_EQ(count, 0) << "the collection is live and emptied by the next call";
    EXPECT_EQ(TryExec(c.get(), L"SELEKT 1"), E_FAIL);
    EXPECT_EQ(OpenOn(NewRecordset(c.get()).get(), L"SELECT 1 AS a", adOpenStatic, adLockReadOnly), S_OK);
    EXPECT_EQ(LastError(c.get()).count, 0) << "also by opening a recordset";
}

TEST_F(Ado, ALockHeldByAnotherConnectionTimesOutWithTheRetryableCode) {
    ComPtr<_Connection> c = Connect(1);
    CreateKurs(c.get());
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(dir_.file("kurs.db").c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);

    const HRESULT hr = TryExec(c.get(), L"INSERT INTO Kurs (lKursID, strBezeichnung) VALUES (1, 'A')");
    const ErrorSeen e = LastError(c.get());
    long level = 0;
    const HRESULT begin = c->BeginTrans(&level);
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);

    EXPECT_EQ(hr, MAKE_HR(0x80040E31u));
    EXPECT_EQ(e.number, MAKE_HR(0x80040E31u));
    EXPECT_EQ(e.state, L"HYT00");
    EXPECT_EQ(e.native & 0xFF, SQLITE_BUSY);
    // The user's words first, then SQLite's own.
    EXPECT_EQ(e.description, L"Eine andere Sitzung hält die Daten, die diese Arbeit braucht; versuchen Sie es wieder, sobald sie frei sind.\n"
                             L"database is locked");
    EXPECT_EQ(begin, MAKE_HR(0x80040E31u)) << "a transaction cannot begin either";
    // Free again: the same statement goes through.
    EXPECT_EQ(Exec(c.get(), L"INSERT INTO Kurs (lKursID, strBezeichnung) VALUES (1, 'A')"), 1);
}

// ---- transactions ----------------------------------------------------------------------------

TEST_F(Ado, ConnectionsOfOneThreadShareTheirTransactionAndOtherThreadsDoNotSeeIt) {
    ComPtr<_Connection> outer = Connect();
    CreateKurs(outer.get());
    ComPtr<_Connection> inner = Connect();
    long level = 0;
    ASSERT_EQ(outer->BeginTrans(&level), S_OK);
    EXPECT_EQ(level, 1);
    EXPECT_EQ(Lookup(inner.get(), L"SELECT TOP 2 @@TRANCOUNT MyValue FROM System"), L"1") << "inner joins it";
    Exec(inner.get(), L"INSERT INTO Kurs (lKursID, strBezeichnung) VALUES (1, 'A')");
    EXPECT_EQ(Lookup(outer.get(), L"SELECT count(*) FROM Kurs"), L"1");
    EXPECT_EQ(CountFromOtherThread(), L"0") << "not committed yet";
    EXPECT_EQ(CountFromOtherThread(L"SELECT TOP 2 @@TRANCOUNT MyValue FROM System"), L"0")
        << "the other thread has its own transaction count";

    ASSERT_EQ(outer->RollbackTrans(), S_OK);
    EXPECT_EQ(Lookup(inner.get(), L"SELECT count(*) FROM Kurs"), L"0") << "rolled back with it";

    ASSERT_EQ(outer->BeginTrans(&level), S_OK);
    Exec(inner.get(), L"INSERT INTO Kurs (lKursID, strBezeichnung) VALUES (2, 'B')");
    ASSERT_EQ(outer->CommitTrans(), S_OK);
    EXPECT_EQ(CountFromOtherThread(), L"1");
}

TEST_F(Ado, NestedTransactionsCountLikeTsql) {
    ComPtr<_Connection> c = Connect();
    CreateKurs(c.get());
    const std::wstring trancount = L"SELECT TOP 2 @@TRANCOUNT MyValue FROM System";
    EXPECT_EQ(Lookup(c.get(), trancount), L"0");
    long level = 0;
    ASSERT_EQ(c->BeginTrans(&level), S_OK);
    ASSERT_EQ(c->BeginTrans(&level), S_OK);
    EXPECT_EQ(level, 2);
    EXPECT_EQ(Lookup(c.get(), trancount), L"2");
    Exec(c.get(), L"INSERT INTO Kurs (lKursID, strBezeichnung) VALUES (1, 'A')");
    ASSERT_EQ(c->CommitTrans(), S_OK);
    EXPECT_EQ(Lookup(c.get(), trancount), L"1");
    EXPECT_EQ(CountFromOtherThread(), L"0") << "only the outermost commit commits";
    ASSERT_EQ(c->CommitTrans(), S_OK);
    EXPECT_EQ(Lookup(c.get(), trancount), L"0");
    EXPECT_EQ(CountFromOtherThread(), L"1");

    // A rollback at any depth rolls all back.
    ASSERT_EQ(c->BeginTrans(&level), S_OK);
    Exec(c.get(), L"INSERT INTO Kurs (lKursID, strBezeichnung) VALUES (2, 'B')");
    ASSERT_EQ(c->BeginTrans(&level), S_OK);
    Exec(c.get(), L"INSERT INTO Kurs (lKursID, strBezeichnung) VALUES (3, 'C')");
    ASSERT_EQ(c->RollbackTrans(), S_OK);
    EXPECT_EQ(Lookup(c.get(), trancount), L"0");
    EXPECT_EQ(Lookup(c.get(), L"SELECT count(*) FROM Kurs"), L"1");
    EXPECT_NE(c->CommitTrans(), S_OK) << "nothing left to commit";
    EXPECT_EQ(LastError(c.get()).count, 1);
    Exec(c.get(), L"INSERT INTO Kurs (lKursID, strBezeichnung) VALUES (4, 'D')");
    EXPECT_EQ(CountFromOtherThread(), L"2") << "later statements commit on their own again";

    // A statement after which the engine rolled the whole transaction back (as it does on a full
    // disk; here a trigger asks for it): the unit stays failed with that error until its owner
    // rolls back, and none of its later statements runs autocommitted.
    Sql("CREATE TRIGGER kurs_voll BEFORE INSERT ON Kurs WHEN NEW.strBezeichnung = 'voll' "
        "BEGIN SELECT RAISE(ROLLBACK, 'database or disk is full'); END");
    ASSERT_EQ(c->BeginTrans(&level), S_OK);
    Exec(c.get(), L"INSERT INTO Kurs (lKursID, strBezeichnung) VALUES (5, 'E')");
    EXPECT_EQ(TryExec(c.get(), L"INSERT INTO Kurs (lKursID, strBezeichnung) VALUES (6, 'voll')"), E_FAIL);
    EXPECT_EQ(TryExec(c.get(), L"INSERT INTO Kurs (lKursID, strBezeichnung) VALUES (7, 'G')"), E_FAIL);
    EXPECT_NE(LastError(c.get()).description.find(L"disk is full"), std::wstring::npos);
    EXPECT_EQ(TryExec(c.get(), L"SELECT count(*) FROM Kurs"), E_FAIL);
    EXPECT_NE(c->CommitTrans(), S_OK);
    EXPECT_NE(LastError(c.get()).description.find(L"disk is full"), std::wstring::npos);
    EXPECT_EQ(c->RollbackTrans(), S_OK);
    EXPECT_NE(LastError(c.get()).description.find(L"disk is full"), std::wstring::npos)
        << "the rollback leaves the failure that led to it to be reported";
    EXPECT_EQ(CountFromOtherThread(), L"2") << "nothing of the unit was committed";
    Exec(c.get(), L"INSERT INTO Kurs (lKursID, strBezeichnung) VALUES (8, 'H')");
    EXPECT_EQ(CountFromOtherThread(), L"3");
}

TEST_F(Ado, ClosingLeavesAnOpenTransactionToTheOthersAndTheLastOneRollsItBack) {
    ComPtr<_Connection> a = Connect();
    CreateKurs(a.get());
    ComPtr<_Connection> b = Connect();
    long level = 0;
    ASSERT_EQ(b->BeginTrans(&level), S_OK);
    Exec(b.get(), L"INSERT INTO Kurs (lKursID, strBezeichnung) VALUES (1, 'A')");
    ASSERT_EQ(b->Close(), S_OK);
    EXPECT_EQ(Lookup(a.get(), L"SELECT TOP 2 @@TRANCOUNT MyValue FROM System"), L"1") << "still open for a";
    ASSERT_EQ(a->CommitTrans(), S_OK);
    EXPECT_EQ(CountFromOtherThread(), L"1");

    ASSERT_EQ(a->BeginTrans(&level), S_OK);
    Exec(a.get(), L"INSERT INTO Kurs (lKursID, strBezeichnung) VALUES (2, 'B')");
    ASSERT_EQ(a->Close(), S_OK);
    EXPECT_EQ(CountFromOtherThread(), L"1") << "the last user rolled it back";
    ComPtr<_Connection> again = Connect();
    EXPECT_EQ(Lookup(again.get(), L"SELECT TOP 2 @@TRANCOUNT MyValue FROM System"), L"0");
}

TEST_F(Ado, AClosedConnectionIsReopenedFromThePoolButNeverOnAReplacedFile) {
    {
        ComPtr<_Connection> a = Connect();
        CreateKurs(a.get());
        Exec(a.get(), L"INSERT INTO Kurs (lKursID, strBezeichnung) VALUES (1, 'Alt')");
    }
    const std::string cs = qv::ToUtf8(File());
    std::shared_ptr<qv::ado::Session> used;
    {
        ComPtr<_Connection> again = Connect();
        EXPECT_EQ(Lookup(again.get(), L"SELECT TOP 1 strBezeichnung FROM Kurs"), L"Alt");
        ASSERT_EQ(again->put_IsolationLevel(adXactSerializable), S_OK);
        used = qv::ado::Session::ForThisThread(cs, nullptr);
    }
    // The session waiting in the pool is the one handed out next, each time.
    ASSERT_TRUE(used);
    EXPECT_EQ(qv::ado::Session::ForThisThread(cs, nullptr), used);
    EXPECT_EQ(qv::ado::Session::ForThisThread(cs, nullptr), used);
    used.reset();
    // Another program replaces the file while this thread's session waits in the pool.
    const std::string path = dir_.file("kurs.db");
    for (const char* suffix : {"", "-wal", "-shm"}) std::remove((path + suffix).c_str());
    Sql("CREATE TABLE Kurs (lKursID INTEGER PRIMARY KEY, strBezeichnung TEXT);"
        "INSERT INTO Kurs VALUES (7, 'Neu');");
    ComPtr<_Connection> fresh = Connect();
    EXPECT_EQ(Lookup(fresh.get(), L"SELECT TOP 1 strBezeichnung FROM Kurs"), L"Neu");
}

TEST_F(Ado, AThreadThatAsksForASmallPageCacheGetsItInTheSessionsItOpensAndNoOtherThreadDoes) {
    {
        ComPtr<_Connection> a = Connect();
        CreateKurs(a.get());
    }
    const std::string cs = qv::ToUtf8(File());
    const auto cacheSize = [&] {
        std::shared_ptr<qv::ado::Session> s = qv::ado::Session::ForThisThread(cs, nullptr);
        sqlite3_stmt* st = nullptr;
        int kib = 0;
        if (s && sqlite3_prepare_v2(s->Db().Handle(), "PRAGMA cache_size", -1, &st, nullptr) == SQLITE_OK &&
            sqlite3_step(st) == SQLITE_ROW)
            kib = -sqlite3_column_int(st, 0);
        sqlite3_finalize(st);
        return kib;
    };
    int loader = 0, other = 0;
    std::thread([&] {
        qv::ado::Session::SetThreadPageCacheKiB(2048);
        loader = cacheSize();
        qv::ado::Session::ReleasePool();
    }).join();
    std::thread([&] {
        other = cacheSize();
        qv::ado::Session::ReleasePool();
    }).join();
    EXPECT_EQ(loader, 2048);
    EXPECT_EQ(other, qv::ado::Session::kPageCacheKiB);
}

TEST_F(Ado, AUnitOfWorkKeepsTheLargePageCacheWhileItRunsAndAConnectionClosedOutsideOneGivesThePagesBack) {
    // About 6 MB of pages: more than the cache keeps between units of work, less than it keeps in one.
    Sql("CREATE TABLE Big (lID INTEGER PRIMARY KEY, strText TEXT);"
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000) "
        "INSERT INTO Big SELECT i, hex(randomblob(1000)) FROM n;");
    const std::string cs = qv::ToUtf8(File());
    const auto cacheUsed = [&] {
        std::shared_ptr<qv::ado::Session> s = qv::ado::Session::ForThisThread(cs, nullptr);
        int used = 0, highwater = 0;
        if (s) sqlite3_db_status(s->Db().Handle(), SQLITE_DBSTATUS_CACHE_USED, &used, &highwater, 0);
        return used;
    };
    constexpr int kIdle = qv::ado::Session::kIdlePageCacheKiB * 1024;
    ComPtr<_Connection> unit = Connect();
    long level = 0;
    ASSERT_EQ(unit->BeginTrans(&level), S_OK);
    EXPECT_EQ(Lookup(unit.get(), L"SELECT count(*) FROM Big WHERE strText <> ''"), L"3000");
    EXPECT_GT(cacheUsed(), 2 * kIdle);
    // Another connection object on the session closes while the unit runs: the unit keeps its pages.
    Connect()->Close();
    EXPECT_GT(cacheUsed(), 2 * kIdle);
    ASSERT_EQ(unit->CommitTrans(), S_OK);
    ASSERT_EQ(unit->Close(), S_OK);
    EXPECT_LE(cacheUsed(), kIdle + kIdle / 4);
    // The same for a large read outside a unit of work; and the next unit may grow the cache again.
    ComPtr<_Connection> reader = Connect();
    EXPECT_EQ(Lookup(reader.get(), L"SELECT count(*) FROM Big WHERE strText <> ''"), L"3000");
    EXPECT_GT(cacheUsed(), 2 * kIdle);
    ASSERT_EQ(reader->Close(), S_OK);
    EXPECT_LE(cacheUsed(), kIdle + kIdle / 4);
    ComPtr<_Connection> next = Connect();
    EXPECT_EQ(Lookup(next.get(), L"SELECT count(*) FROM Big WHERE strText <> ''"), L"3000");
    EXPECT_GT(cacheUsed(), 2 * kIdle);
}

TEST_F(Ado, ACancelThatComesAsACallEndsLeavesTheNextCallAlone) {
    ComPtr<_Connection> c = Connect();
    CreateKurs(c.get());
    for (int i = 1; i <= 3; ++i)
        Exec(c.get(), L"INSERT INTO Kurs (lKursID, strBezeichnung) VALUES (" + std::to_wstring(i) + L", 'K" + std::to_wstring(i) + L"')");
    // A search's rows are still being read while the cancel for it comes, just as its call ended.
    ComPtr<Recordset20> reading = Query(c.get(), L"SELECT lKursID FROM Kurs");
    ASSERT_FALSE(Eof(reading.get()));
    std::shared_ptr<qv::ado::Session> session = qv::ado::Session::ForThisThread(qv::ToUtf8(File()), nullptr);
    ASSERT_TRUE(session);
    {
        qv::sql::InterruptibleCall ending(session->Interrupter());
        session->Interrupter()->Interrupt();
    }
    EXPECT_EQ(Lookup(c.get(), L"SELECT TOP 1 strBezeichnung FROM Kurs WHERE lKursID = 2"), L"K2")
        << qv::ToUtf8(LastError(c.get()).description);
    reading.Reset();

    // A cancel that finds a statement being prepared alone, but whose stop of the engine comes only
    // once the prepare returned and the first row was read (the moment widened here): the rows
    // after it and the next statement are read all the same. Names are not checked in this part,
    // so that the cancel may come at any moment of the prepare, which a long text makes long.
    qv::sql::SqliteDb& db = session->Db();
    const std::shared_ptr<qv::sql::StatementInterrupter> interrupter = db.Interrupter();
    ASSERT_EQ(sqlite3_set_authorizer(db.Handle(), nullptr, nullptr), SQLITE_OK);
    interrupter->beforeStop = [] { std::this_thread::sleep_for(std::chrono::milliseconds(500)); };
    const std::string slow = "SELECT lKursID FROM Kurs WHERE strBezeichnung <> '" + std::string(256 << 10, 'x') + "'";
    int rc = SQLITE_OK;
    qv::sql::StatementCache::Lease lease;
    {
        qv::sql::InterruptibleCall call(interrupter);
        std::atomic<bool> prepared{false};
        std::thread cancel([&] {
            while (!interrupter->PreparingAlone() && !prepared) std::this_thread::yield();
            interrupter->Interrupt();
        });
        lease = db.Statements()->Acquire(slow, &rc);
        prepared = true;
        if (rc == SQLITE_OK) rc = sqlite3_step(lease.get());
        cancel.join();
    }
    interrupter->beforeStop = nullptr;
    qv::sql::WatchPreparing(db.Handle(), interrupter.get());
    ASSERT_EQ(rc, SQLITE_ROW) << "the first row comes before the stop";
    EXPECT_EQ(sqlite3_step(lease.get()), SQLITE_ROW) << sqlite3_errmsg(db.Handle());
    EXPECT_EQ(Lookup(c.get(), L"SELECT TOP 1 strBezeichnung FROM Kurs WHERE lKursID = 3"), L"K3")
        << qv::ToUtf8(LastError(c.get()).description);
}

// ---- batches ---------------------------------------------------------------------------------

TEST_F(Ado, ABatchCallingAProcedureReturnsItsRow) {
    qv::sql::RegisterProcedure("sp_GetUniqueID", [](sqlite3*, std::vector<qv::sql::Value>& args) {
        if (args.size() != 3 || args[0] != qv::sql::Value(std::string("T")) || args[1] != qv::sql::Value(std::string("c"))) {
            throw qv::sql::ProcedureError("unexpected arguments");
        }
        args[2] = std::int64_t(4711);
    });
    ComPtr<_Connection> c = Connect();
    ComPtr<Recordset20> rs = Query(c.get(), L"DECLARE @newID INT \t EXECUTE dbo.sp_GetUniqueID 'T', 'c', @newID OUTPUT \t SELECT @newID AS newID");
    ASSERT_FALSE(Eof(rs.get()));
    COleVariant id = Field(rs.get(), L"newID");
    EXPECT_EQ(id.vt, VT_I4);
    EXPECT_EQ(id.lVal, 4711);

    ComPtr<Recordset20> bad = NewRecordset(c.get());
    EXPECT_EQ(OpenOn(bad.get(), L"DECLARE @newID INT EXECUTE dbo.sp_GetUniqueID 'X', 'c', @newID OUTPUT SELECT @newID AS newID",
                     adOpenForwardOnly, adLockReadOnly), E_FAIL);
    EXPECT_NE(LastError(c.get()).description.find(L"unexpected arguments"), std::wstring::npos);
    EXPECT_EQ(State(bad.get()), adStateClosed);
}

// ---- creation through COM --------------------------------------------------------------------

TEST_F(Ado, CoCreateInstanceMakesTheObjectsOnceTheServerIsRegistered) {
    qvtest::ScopedEnv registry{"QV_REGISTRY", dir_.file("registry.db")};
    ComPtr<Recordset20> rs;
    ASSERT_EQ(CoCreateInstance(CLSID_Recordset, nullptr, CLSCTX_INPROC_SERVER, IID_Recordset20, reinterpret_cast<void**>(&rs)),
              REGDB_E_CLASSNOTREG);

    void* server = dlopen(QV_ADO_SERVER, RTLD_NOW | RTLD_LOCAL);
    ASSERT_TRUE(server) << dlerror();
    auto registerServer = reinterpret_cast<HRESULT (*)()>(dlsym(server, "DllRegisterServer"));
    auto unregisterServer = reinterpret_cast<HRESULT (*)()>(dlsym(server, "DllUnregisterServer"));
    ASSERT_TRUE(registerServer && unregisterServer);
    ASSERT_EQ(registerServer(), S_OK);

    // Both objects from the server, so that the recordset runs on the server's connection.
    ComPtr<_Connection> c;
    ASSERT_EQ(CoCreateInstance(CLSID_Connection, nullptr, CLSCTX_INPROC_SERVER, IID__Connection, reinterpret_cast<void**>(&c)), S_OK);
    ASSERT_EQ(c->Open(Bstr(File()), nullptr, nullptr, 0), S_OK);
    CreateKurs(c.get());
    Exec(c.get(), L"INSERT INTO Kurs (lKursID, strBezeichnung) VALUES (7, 'Atemschutz')");
    ASSERT_EQ(CoCreateInstance(CLSID_Recordset, nullptr, CLSCTX_INPROC_SERVER, IID_Recordset20, reinterpret_cast<void**>(&rs)), S_OK);
    ASSERT_EQ(rs->putref_ActiveConnection(c.get()), S_OK);
    ASSERT_EQ(OpenOn(rs.get(), L"SELECT TOP 2 strBezeichnung MyValue FROM Kurs WHERE (lKursID = 7)", adOpenForwardOnly,
                     adLockReadOnly), S_OK);
    EXPECT_EQ(Text(Field(rs.get(), L"MyValue")), L"Atemschutz");
    rs.Reset();
    c.Reset();

    ASSERT_EQ(unregisterServer(), S_OK);
    EXPECT_EQ(CoCreateInstance(CLSID_Recordset, nullptr, CLSCTX_INPROC_SERVER, IID_Recordset20, reinterpret_cast<void**>(&rs)),
              REGDB_E_CLASSNOTREG);
    dlclose(server);
}

// ---- values ----------------------------------------------------------------------------------

TEST(AdoValues, DatabaseDatesConvertBothWays) {
    DATE d = -1;
    ASSERT_TRUE(qv::ado::ParseDbDate("1899-12-30 00:00:00", &d));
    EXPECT_EQ(d, 0.0);
    ASSERT_TRUE(qv::ado::ParseDbDate("1899-12-29 06:00:00", &d));
    EXPECT_DOUBLE_EQ(d, -1.25) << "before the epoch the fraction still runs forward";
    ASSERT_TRUE(qv::ado::ParseDbDate("2024-02-29T12:00:00.250", &d));
    EXPECT_EQ(COleDateTime(d), COleDateTime(2024, 2, 29, 12, 0, 0));
    ASSERT_TRUE(qv::ado::ParseDbDate("2024-02-29", &d));
    EXPECT_EQ(COleDateTime(d), COleDateTime(2024, 2, 29, 0, 0, 0));
    for (const char* bad : {"2023-02-29 00:00:00", "2024-1-5", "2024-01-05 7:00", "05.01.2024", "2024-01-05 10:00:00x",
                            "2024-01-05 10:00:00.", ""}) {
        EXPECT_FALSE(qv::ado::ParseDbDate(bad, &d)) << bad;
    }

    std::string text;
    ASSERT_TRUE(qv::ado::FormatDbDate(-1.25, &text));
    EXPECT_EQ(text, "1899-12-29 06:00:00");
    ASSERT_TRUE(qv::ado::FormatDbDate(COleDateTime(2024, 12, 31, 23, 59, 59), &text));
    EXPECT_EQ(text, "2024-12-31 23:59:59");
}

TEST(AdoValues, VariantsBecomeWhatTheDatabaseStores) {
    qv::sql::Value v;
    ASSERT_EQ(qv::ado::FromVariant(COleVariant(true), &v), S_OK);
    EXPECT_EQ(v, qv::sql::Value(std::int64_t(1)));
    ASSERT_EQ(qv::ado::FromVariant(COleVariant(CY{-12345}), &v), S_OK);
    EXPECT_EQ(v, qv::sql::Value(-1.2345));
    ASSERT_EQ(qv::ado::FromVariant(COleVariant(COleDateTime(2001, 2, 3, 4, 5, 6)), &v), S_OK);
    EXPECT_EQ(v, qv::sql::Value(std::string("2001-02-03 04:05:06")));
    LONG target = 17;
    VARIANT ref;
    VariantInit(&ref);
    ref.vt = VT_I4 | VT_BYREF;
    ref.plVal = &target;
    ASSERT_EQ(qv::ado::FromVariant(ref, &v), S_OK);
    EXPECT_EQ(v, qv::sql::Value(std::int64_t(17)));
    VARIANT unknown;
    VariantInit(&unknown);
    unknown.vt = VT_UNKNOWN;
    unknown.punkVal = nullptr;
    EXPECT_EQ(qv::ado::FromVariant(unknown, &v), DISP_E_TYPEMISMATCH);
    VARIANT none = unknown;  // a null BSTR is the empty text
    none.vt = VT_BSTR;
    ASSERT_EQ(qv::ado::FromVariant(none, &v), S_OK);
    EXPECT_EQ(v, qv::sql::Value(std::string()));
    EXPECT_EQ(qv::ado::Utf8Of(Bstr(std::wstring(2, L'\x80'))), "\xC2\x80\xC2\x80") << "a character that is no ASCII";

    // Money text that is a number still comes as money; a date column's text that is no date as text.
    VARIANT out;
    ASSERT_EQ(qv::ado::ToVariant(qv::sql::Value(std::string("2.5")), qv::ado::ColumnKind::Money, &out), S_OK);
    EXPECT_EQ(out.vt, VT_CY);
    EXPECT_EQ(out.cyVal.int64, 25000);
    ASSERT_EQ(qv::ado::ToVariant(qv::sql::Value(std::string("bald")), qv::ado::ColumnKind::Date, &out), S_OK);
    EXPECT_EQ(Text(out), L"bald");
    VariantClear(&out);
    EXPECT_EQ(qv::ado::KindOfDeclaredType("smalldatetime"), qv::ado::ColumnKind::Date);
    EXPECT_EQ(qv::ado::KindOfDeclaredType("Currency"), qv::ado::ColumnKind::Money);
    EXPECT_EQ(qv::ado::KindOfDeclaredType("TEXT"), qv::ado::ColumnKind::Plain);
}

}  // namespace
