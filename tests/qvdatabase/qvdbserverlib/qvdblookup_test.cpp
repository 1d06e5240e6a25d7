// Single-value lookups, the one-shot statement, SQL quoting and the database error report, on
// the real database reached through the database server the client makes itself.
#include "qvadoconnection.h"
#include "qvdblookup.h"
#include "qvregvalue.h"
#include "scripted.h"
#include "servertest.h"

#include <gtest/gtest.h>

namespace {

class Lookup : public ::testing::Test {
protected:
    void SetUp() override {
        script.OnFailure([](const std::string& what) { ADD_FAILURE() << what; });
        ASSERT_EQ(QvDBExecute(L"INSERT INTO Kurs (lKursID, lTyp, strBezeichnung) VALUES (1, 3, 'Atemschutz')", kNQ2), S_OK);
        ASSERT_EQ(QvDBExecute(L"INSERT INTO Kurs (lKursID, lTyp, strBezeichnung) VALUES (2, 3, 'Brandschutz')", kNQ2), S_OK);
        ASSERT_EQ(QvDBExecute(L"INSERT INTO Kursinstanz (lKursinstanzID, lKursID, dtDatum) VALUES (10, 1, '2024-05-04 08:30:00')",
                              kNQ2),
                  S_OK);
    }
    void TearDown() override { EXPECT_EQ(script.Pending(), 0u) << "an expected message was not shown"; }

    std::vector<qv::InteractionRecord> Reports() { return script.Log().Records(qv::InteractionKind::Report); }

    static constexpr const wchar_t* kNQ2 = L"Qovaro.NQ2";
    qvtest::ServerEnvironment env;
    qv::ScriptedInteraction script;
    qv::ScopedInteraction use{&script};
};

TEST_F(Lookup, OneRowIsFoundWithAndWithoutCondition) {
    long status = -1;
    EXPECT_EQ(QvDBLookupLong(L"lDefaultPersonKursStatus", L"DataExchange", L"", &status, kNQ2), S_OK);
    EXPECT_EQ(status, 0);
    CString name;
    EXPECT_EQ(QvDBLookupString(L"strBezeichnung", L"Kurs", L"lKursID = 2", &name, kNQ2), S_OK);
    EXPECT_EQ(name, L"Brandschutz");
    BOOL found = FALSE;
    EXPECT_EQ(QvDBLookupBool(L"isnull(max(1), 0)", L"Kursinstanz", L"lKursID = 1", &found, kNQ2), S_OK);
    EXPECT_TRUE(found);
    COleDateTime date;
    EXPECT_EQ(QvDBLookupDate(L"dtDatum", L"Kursinstanz", L"lKursinstanzID = 10", &date, kNQ2), S_OK);
    EXPECT_EQ(date, COleDateTime(2024, 5, 4, 8, 30, 0));
    EXPECT_EQ(date.GetStatus(), COleDateTime::valid);

    // On a connection held open: the same results, none and several rows included.
    CQvADOConnection conn;
    ASSERT_EQ(conn.Open(kNQ2, 0), S_OK);
    found = FALSE;
    EXPECT_EQ(QvDBLookupBool(conn, L"isnull(max(1), 0)", L"Kursinstanz", L"lKursID = 1", &found), S_OK);
    EXPECT_TRUE(found);
    long id = -1;
    EXPECT_EQ(QvDBLookupLong(conn, L"lKursID", L"Kurs", L"lKursID = 99", &id), S_FALSE);
    EXPECT_EQ(id, -1);
    EXPECT_EQ(QvDBLookupLong(conn, L"lKursID", L"Kurs", L"lTyp = 3", &id), S_FALSE);
    EXPECT_EQ(id, 1);
    EXPECT_TRUE(Reports().empty());
}

TEST_F(Lookup, NoRowLeavesTheCallersValue) {
    long l = -1;
    CString s = L"default";
    BOOL b = TRUE;
    BOOL found = TRUE;
    COleVariant v(L"untouched");
    EXPECT_EQ(QvDBLookupLong(L"lTyp", L"Kurs", L"lKursID = 99", &l, kNQ2), S_FALSE);
    EXPECT_EQ(QvDBLookupString(L"strBezeichnung", L"Kurs", L"lKursID = 99", &s, kNQ2), S_FALSE);
    EXPECT_EQ(QvDBLookupBool(L"fActive", L"Kurs", L"lKursID = 99", &b, kNQ2), S_FALSE);
    EXPECT_EQ(QvDBLookupVariant(L"lTyp", L"Kurs", L"lKursID = 99", &v, kNQ2, &found), S_FALSE);
    EXPECT_EQ(l, -1);
    EXPECT_EQ(s, L"default");
    EXPECT_TRUE(b);
    EXPECT_FALSE(found);
    EXPECT_EQ(CString(v.bstrVal), L"untouched");

    COleDateTime zero;  // 0.0, valid
    COleDateTime set(2020, 1, 1, 0, 0, 0);
    EXPECT_EQ(QvDBLookupDate(L"dtDatum", L"Kursinstanz", L"lKursinstanzID = 99", &zero, kNQ2), S_FALSE);
    EXPECT_EQ(QvDBLookupDate(L"dtDatum", L"Kursinstanz", L"lKursinstanzID = 99", &set, kNQ2), S_FALSE);
    EXPECT_EQ(zero.GetStatus(), COleDateTime::null) << "a date left at 0.0 is no date";
    EXPECT_EQ(set, COleDateTime(2020, 1, 1, 0, 0, 0));
    EXPECT_EQ(set.GetStatus(), COleDateTime::valid);
    EXPECT_TRUE(Reports().empty());
}

TEST_F(Lookup, SeveralRowsGiveOneAndTheFirstValue) {
    long id = -1;
    EXPECT_EQ(QvDBLookupLong(L"lKursID", L"Kurs", L"lTyp = 3", &id, kNQ2), S_FALSE);
    EXPECT_EQ(id, 1);
}

TEST_F(Lookup, GUIDLookups) {
    CQvGUID g(L"F322E3E5-4677-4B37-85D8-BEE4392C19F1");
    // Several rows: the first text parses, so the result is that of setting it.
    EXPECT_EQ(QvDBLookupGUID(L"guid", L"Kurs", L"lTyp = 3", &g, kNQ2), S_OK);
    CString first;
    QvDBLookupString(L"guid", L"Kurs", L"lKursID = 1", &first, kNQ2);
    EXPECT_EQ(g.GetGUID(TRUE), first);

    EXPECT_EQ(QvDBLookupGUID(L"NULL", L"Kurs", L"lKursID = 1", &g, kNQ2), S_OK);
    EXPECT_TRUE(g.IsNULL()) << "a NULL column gives the null GUID";
    g.SetGUID(L"F322E3E5-4677-4B37-85D8-BEE4392C19F1");
    EXPECT_EQ(QvDBLookupGUID(L"''", L"Kurs", L"lKursID = 1", &g, kNQ2), S_OK);
    EXPECT_TRUE(g.IsNULL()) << "so does an empty text";

    g.SetGUID(L"F322E3E5-4677-4B37-85D8-BEE4392C19F1");
    EXPECT_EQ(QvDBLookupGUID(L"guid", L"Kurs", L"lKursID = 99", &g, kNQ2), S_FALSE);
    EXPECT_EQ(g.GetGUID(TRUE), L"F322E3E5-4677-4B37-85D8-BEE4392C19F1");
}

TEST_F(Lookup, AFailedLookupShowsTheDatabaseErrorAndKeepsTheValue) {
    script.ExpectReport(L"Description:  ");
    long l = 5;
    EXPECT_LT(QvDBLookupLong(L"lNoSuchColumn", L"Kurs", L"lKursID = 1", &l, kNQ2), 0);
    EXPECT_EQ(l, 5);
    const auto reports = Reports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].report.kind, 1);
    EXPECT_EQ(reports[0].report.caption, L"OLEDB Errormessage");
    EXPECT_EQ(reports[0].report.category, L"Default");
    EXPECT_EQ(reports[0].report.flag, TRUE);
    EXPECT_NE(reports[0].report.text.find(L"lNoSuchColumn"), std::wstring::npos) << qv::ToUtf8(reports[0].report.text);
    EXPECT_NE(reports[0].report.file.find(L"qvdblookup"), std::wstring::npos);

    // So does one on a connection held open, which stays usable.
    CQvADOConnection conn;
    ASSERT_EQ(conn.Open(kNQ2, 0), S_OK);
    script.ExpectReport(L"Description:  ");
    EXPECT_LT(QvDBLookupLong(conn, L"lNoSuchColumn", L"Kurs", L"lKursID = 1", &l), 0);
    EXPECT_EQ(l, 5);
    ASSERT_EQ(Reports().size(), 2u);
    EXPECT_NE(Reports()[1].report.text.find(L"lNoSuchColumn"), std::wstring::npos);
    EXPECT_EQ(QvDBLookupLong(conn, L"lTyp", L"Kurs", L"lKursID = 1", &l), S_OK);
    EXPECT_EQ(l, 3);
}

TEST_F(Lookup, AFailureWithoutDatabaseErrorShowsTheCodesText) {
    script.ExpectReport(L"No OLEDB Error available!\n");
    long l = 5;
    EXPECT_EQ(QvDBLookupLong(L"lTyp", L"Kurs", L"", &l, L"Qovaro.Unknown"), E_FAIL);
    EXPECT_EQ(l, 5);
    const auto reports = Reports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].report.text, L"No OLEDB Error available!\nUnspecified error.");

    // A server that takes no connection is named as such, above the driver's text; a failure
    // reported afterwards on the thread without an error of its own (a search whose option
    // lookup failed before its connection) tells the same.
    ASSERT_TRUE(CQvRegistry::SetValue(L"Software\\Qovaro\\QvDBServer\\Qovaro.Closed", L"DBConnection",
                                      CString(L"postgresql://qv@127.0.0.1:1/nq2")));
    script.ExpectReport(L"Description:  Der Datenbankserver antwortet nicht.");
    EXPECT_LT(QvDBLookupLong(L"lTyp", L"Kurs", L"", &l, L"Qovaro.Closed"), 0);
    script.ExpectReport(L"Description:  Der Datenbankserver antwortet nicht.");
    QvReportDBError(nullptr, E_FAIL, "searchdlg.cpp", 800);
    ASSERT_EQ(Reports().size(), 3u);
    EXPECT_NE(Reports()[2].report.text.find(L"127.0.0.1"), std::wstring::npos) << qv::ToUtf8(Reports()[2].report.text);
}

TEST_F(Lookup, ExecuteReportsItsFailure) {
    EXPECT_EQ(QvDBExecute(L"UPDATE Kurs SET strBezeichnung = 'x' WHERE lKursID = 1", kNQ2), S_OK);
    EXPECT_TRUE(Reports().empty());
    script.ExpectReport(L"Description:  ");
    EXPECT_LT(QvDBExecute(L"UPDATE NoSuchTable SET x = 1", kNQ2), 0);
    EXPECT_EQ(Reports().size(), 1u);
}

TEST_F(Lookup, ReportDBErrorShowsTheConnectionsErrors) {
    CQvADOConnection conn;
    ASSERT_EQ(conn.Open(kNQ2, 0), S_OK);
    const long hr = conn.Execute(L"INSERT INTO Kurs (lKursID) VALUES (1)");
    ASSERT_LT(hr, 0);
    script.ExpectReport(L"SQLState:     23000");
    EXPECT_EQ(QvReportDBError(conn, hr, "kurs.cpp", 120), hr);
    ASSERT_EQ(Reports().size(), 1u);
    EXPECT_EQ(Reports()[0].report.file, L"kurs.cpp");
    EXPECT_EQ(Reports()[0].report.line, 120);
}

TEST(SQLString, DoublesQuotesAfterCutting) {
    EXPECT_EQ(QvSQLString(L"O'Brien", 0), L"O''Brien");
    EXPECT_EQ(QvSQLString(L"O'Brien", 3), L"O''B") << "cut first, so the result may be longer";
    EXPECT_EQ(QvSQLString(L"''", 1), L"''");
    EXPECT_EQ(QvSQLString(L"Müller", -1), L"Müller");
    EXPECT_EQ(QvSQLString(L"", 10), L"");
}

}  // namespace
