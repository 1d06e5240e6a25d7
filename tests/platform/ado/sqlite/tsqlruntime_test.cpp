// The T-SQL runtime, exercised through real SQL on an SQLite connection.
#include "tsqlruntime.h"
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <atomic>
#include <cstdlib>
#include <ctime>
#include <new>
#include <regex>
#include <string>
#include <vector>

// While a test lowers it, a larger allocation fails as it does when memory runs out.
static std::atomic<std::size_t> g_allocationLimit{SIZE_MAX};
void* operator new(std::size_t n) {
    void* p = n <= g_allocationLimit.load(std::memory_order_relaxed) ? std::malloc(n ? n : 1) : nullptr;
    if (!p) throw std::bad_alloc();
    return p;
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return n <= g_allocationLimit ? std::malloc(n ? n : 1) : nullptr; }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

class Runtime : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(sqlite3_open(":memory:", &db_), SQLITE_OK);
        ASSERT_EQ(qv::sql::RegisterTsqlRuntime(db_), SQLITE_OK);
    }
    void TearDown() override { sqlite3_close(db_); }

    // All rows of the first column; "NULL" for a null. Fails the test on an error.
    std::vector<std::string> Column(const std::string& sql) {
        std::vector<std::string> out;
        sqlite3_stmt* st = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr), SQLITE_OK) << sqlite3_errmsg(db_);
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            const unsigned char* t = sqlite3_column_text(st, 0);
            out.push_back(t ? std::string(reinterpret_cast<const char*>(t), sqlite3_column_bytes(st, 0)) : "NULL");
        }
        EXPECT_EQ(rc, SQLITE_DONE) << sql << ": " << sqlite3_errmsg(db_);
        sqlite3_finalize(st);
        return out;
    }
    std::string Q(const std::string& expr) {
        auto c = Column("SELECT " + expr);
        return c.empty() ? "<no row>" : c[0];
    }
    // The error a statement fails with; empty when it succeeds.
    std::string Err(const std::string& expr) {
        char* msg = nullptr;
        int rc = sqlite3_exec(db_, ("SELECT " + expr).c_str(), nullptr, nullptr, &msg);
        std::string s = msg ? msg : "";
        sqlite3_free(msg);
        return rc == SQLITE_OK ? "" : s;
    }
    void Exec(const std::string& sql) {
        char* msg = nullptr;
        ASSERT_EQ(sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &msg), SQLITE_OK) << (msg ? msg : "");
    }

    sqlite3* db_ = nullptr;
};

std::string Today() {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    char b[32];
    std::strftime(b, sizeof b, "%Y-%m-%d 00:00:00", &tm);
    return b;
}

// ---- dates ---------------------------------------------------------------------------------

TEST_F(Runtime, DateAddKeepsTheMonthEndRule) {
    EXPECT_EQ(Q("tsql_dateadd('mm', 6, '2031-12-31 00:00:00')"), "2032-06-30 00:00:00");
    EXPECT_EQ(Q("tsql_dateadd('month', 6, '2031-12-31')"), "2032-06-30 00:00:00");
    EXPECT_EQ(Q("tsql_dateadd('year', 1, '2032-02-29 00:00:00')"), "2033-02-28 00:00:00");
    EXPECT_EQ(Q("tsql_dateadd('yy', 4, '2032-02-29')"), "2036-02-29 00:00:00");
    EXPECT_EQ(Q("tsql_dateadd('m', 1, '2031-01-31 10:30:00')"), "2031-02-28 10:30:00");
    EXPECT_EQ(Q("tsql_dateadd('mm', -1, '2031-03-31')"), "2031-02-28 00:00:00");
    EXPECT_EQ(Q("tsql_dateadd('qq', 1, '2031-11-30')"), "2032-02-29 00:00:00");
    EXPECT_EQ(Q("tsql_dateadd('year', -5, '2031-06-15 00:00:00')"), "2026-06-15 00:00:00");
}

TEST_F(Runtime, DateAddOtherParts) {
    EXPECT_EQ(Q("tsql_dateadd('dd', 1, '2031-12-31 23:00:00')"), "2032-01-01 23:00:00");
    EXPECT_EQ(Q("tsql_dateadd('wk', -1, '2031-06-15')"), "2031-06-08 00:00:00");
    EXPECT_EQ(Q("tsql_dateadd('hh', 25, '2031-06-15')"), "2031-06-16 01:00:00");
    EXPECT_EQ(Q("tsql_dateadd('mi', -1, '2031-06-15')"), "2031-06-14 23:59:00");
    EXPECT_EQ(Q("tsql_dateadd('ss', 90, '2031-06-15')"), "2031-06-15 00:01:30");
    EXPECT_EQ(Q("tsql_dateadd('ms', 1500, '2031-06-15')"), "2031-06-15 00:00:01.500");
    EXPECT_EQ(Q("tsql_dateadd('DAY', 1.9, '2031-06-15')"), "2031-06-16 00:00:00") << "a fraction is cut off";
}

TEST_F(Runtime, TodayAtMidnightFromDayCount) {
    std::string before = Today();
    std::string got = Q("tsql_dateadd('dd', tsql_datediff('dd', 0, tsql_getdate()), 0)");
    std::string after = Today();
    EXPECT_TRUE(got == before || got == after) << got;
    EXPECT_EQ(Q("tsql_dateadd('dd', 1, 0)"), "1900-01-02 00:00:00");
    EXPECT_EQ(Q("tsql_dateadd('hh', 6, 0.5)"), "1900-01-01 18:00:00");
}

TEST_F(Runtime, DateDiffCountsBoundaries) {
    EXPECT_EQ(Q("tsql_datediff('year', '2031-12-31', '2032-01-01')"), "1");
    EXPECT_EQ(Q("tsql_datediff('year', '2031-01-01', '2031-12-31 23:59:59')"), "0");
    EXPECT_EQ(Q("tsql_datediff('dd', 0, '1900-01-02')"), "1");
    EXPECT_EQ(Q("tsql_datediff('dd', '2031-06-15 23:59:59', '2031-06-16 00:00:00')"), "1");
    EXPECT_EQ(Q("tsql_datediff('dd', '2031-06-16', '2031-06-15')"), "-1");
    EXPECT_EQ(Q("tsql_datediff('mm', '2031-01-31', '2031-02-01')"), "1");
    EXPECT_EQ(Q("tsql_datediff('qq', '2031-03-31', '2031-04-01')"), "1");
    // 2031-06-14 is a Saturday, 2031-06-15 a Sunday: weeks change on Sunday.
    EXPECT_EQ(Q("tsql_datediff('wk', '2031-06-14', '2031-06-15')"), "1");
    EXPECT_EQ(Q("tsql_datediff('wk', '2031-06-15', '2031-06-21')"), "0");
    EXPECT_EQ(Q("tsql_datediff('hh', '2031-06-15 10:59:59', '2031-06-15 11:00:00')"), "1");
    EXPECT_EQ(Q("tsql_datediff('mi', '2031-06-15 10:00:59', '2031-06-15 10:01:00')"), "1");
    EXPECT_EQ(Q("tsql_datediff('ss', '2031-06-15 10:00:00', '2031-06-15 10:00:59.999')"), "59");
}

TEST_F(Runtime, DatePartWithSundayFirst) {
    EXPECT_EQ(Q("tsql_datepart('weekday', '2031-06-15')"), "1");  // Sunday
    EXPECT_EQ(Q("tsql_datepart('dw', '2031-06-14')"), "7");       // Saturday
    EXPECT_EQ(Q("tsql_datepart('week', '2031-01-04')"), "1");
    EXPECT_EQ(Q("tsql_datepart('wk', '2031-01-05')"), "2");
    EXPECT_EQ(Q("tsql_datepart('dayofyear', '2031-06-15')"), "166");
    EXPECT_EQ(Q("tsql_datepart('quarter', '2031-06-15')"), "2");
    EXPECT_EQ(Q("tsql_datepart('year', '15.06.2031')"), "2031");
    EXPECT_EQ(Q("tsql_datepart('month', '2031-06-15')"), "6");
    EXPECT_EQ(Q("tsql_datepart('day', '2031-06-15')"), "15");
    EXPECT_EQ(Q("tsql_datepart('hour', '2031-06-15 13:45:07.250')"), "13");
    EXPECT_EQ(Q("tsql_datepart('minute', '2031-06-15 13:45:07.250')"), "45");
    EXPECT_EQ(Q("tsql_datepart('second', '2031-06-15 13:45:07.250')"), "7");
    EXPECT_EQ(Q("tsql_datepart('millisecond', '2031-06-15 13:45:07.250')"), "250");
}

TEST_F(Runtime, NowIsCanonicalWholeSeconds) {
    std::regex canonical(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)");
    EXPECT_TRUE(std::regex_match(Q("tsql_getdate()"), canonical)) << Q("tsql_getdate()");
    EXPECT_TRUE(std::regex_match(Q("tsql_getutcdate()"), canonical));
    // Within a minute of the engine's own clock (which is UTC).
    EXPECT_EQ(Q("abs(strftime('%s', tsql_getutcdate()) - strftime('%s', 'now')) < 60"), "1");
}

TEST_F(Runtime, DateFunctionsPassNullAndNameBadInput) {
    EXPECT_EQ(Q("tsql_dateadd('dd', NULL, '2031-06-15')"), "NULL");
    EXPECT_EQ(Q("tsql_dateadd('dd', 1, NULL)"), "NULL");
    EXPECT_EQ(Q("tsql_datediff('dd', NULL, 0)"), "NULL");
    EXPECT_EQ(Q("tsql_datepart('year', NULL)"), "NULL");
    EXPECT_NE(Err("tsql_dateadd('dd', 1, '31.02.2031')").find("'31.02.2031'"), std::string::npos);
    EXPECT_NE(Err("tsql_dateadd('dd', 1, '2031-06-15 13')").find("'2031-06-15 13'"), std::string::npos);
    EXPECT_NE(Err("tsql_datepart('year', 'tomorrow')").find("'tomorrow'"), std::string::npos);
    EXPECT_NE(Err("tsql_dateadd('fortnight', 1, 0)").find("fortnight"), std::string::npos);
    EXPECT_NE(Err("tsql_dateadd('year', 1, '9999-06-01')").find("overflow"), std::string::npos);
    EXPECT_NE(Err("tsql_datediff('ms', '1900-01-01', '2031-01-01')").find("overflow"), std::string::npos);
}

// ---- convert -------------------------------------------------------------------------------

TEST_F(Runtime, ConvertDateToTextInEveryStyleUsed) {
    const std::string d = "'2031-06-05 09:05:07.123'";
    EXPECT_EQ(Q("tsql_convert('varchar(20)', " + d + ", 20)"), "2031-06-05 09:05:07");
    EXPECT_EQ(Q("tsql_convert('varchar(20)', " + d + ", 120)"), "2031-06-05 09:05:07");
    EXPECT_EQ(Q("tsql_convert('varchar(30)', " + d + ", 121)"), "2031-06-05 09:05:07.123");
    EXPECT_EQ(Q("tsql_convert('varchar(10)', " + d + ", 104)"), "05.06.2031");
    EXPECT_EQ(Q("tsql_convert('varchar(10)', " + d + ", 108)"), "09:05:07");
    EXPECT_EQ(Q("tsql_convert('varchar', " + d + ", 113)"), "05 Jun 2031 09:05:07:123");
    EXPECT_EQ(Q("tsql_convert('varchar', " + d + ", 0)"), "Jun  5 2031  9:05AM");
    EXPECT_EQ(Q("tsql_convert('varchar', '2031-12-24 18:30:00', 100)"), "Dec 24 2031  6:30PM");
    EXPECT_EQ(Q("tsql_convert('varchar(10)', " + d + ", 120)"), "2031-06-05") << "cut after formatting";
    EXPECT_EQ(Q("length(tsql_convert('char(19)', tsql_getdate(), 20))"), "19");
    std::string styles;
    for (int style : {9, 1, 101, 2, 102, 3, 103, 4, 5, 105, 10, 110, 11, 111, 12, 112, 14, 23, 126})
        styles += (styles.empty() ? "" : " || '|' || ") + ("tsql_convert('varchar(30)', " + d + ", " + std::to_string(style) + ")");
    EXPECT_EQ(Q(styles), "Jun  5 2031  9:05:07:123AM|06/05/31|06/05/2031|31.06.05|2031.06.05|05/06/31|05/06/2031|05.06.31|"
                         "05-06-31|05-06-2031|06-05-31|06-05-2031|31/06/05|2031/06/05|310605|20310605|09:05:07:123|"
                         "2031-06-05|2031-06-05T09:05:07.123");
    EXPECT_EQ(Q("tsql_convert('varchar(30)', '2031-06-05 09:05:07', 126)"), "2031-06-05T09:05:07");
    EXPECT_NE(Err("tsql_convert('varchar', " + d + ", 999)").find("999"), std::string::npos);
    // A text that is no date keeps its value whatever the style.
    EXPECT_EQ(Q("tsql_convert('varchar(10)', 'Kurs 12', 104)"), "Kurs 12");
    // row after row of one statement: the type as each row gives it
    EXPECT_EQ(Q("(SELECT group_concat(tsql_convert('varchar(10)', column1, 104), '|') FROM "
                "(VALUES ('2031-06-05 09:05:07'), ('Kurs 12'), ('2031-12-31 00:00:00')))"),
              "05.06.2031|Kurs 12|31.12.2031");
    EXPECT_EQ(Q("(SELECT group_concat(tsql_convert(column1, column2), '|') FROM (VALUES ('varchar(2)', 'abc'), "
                "('int', '42'), ('char(4)', 'x')))"),
              "ab|42|x   ");
}

TEST_F(Runtime, ConvertToDatetime) {
    EXPECT_EQ(Q("tsql_convert('datetime', 0)"), "1900-01-01 00:00:00");
    EXPECT_EQ(Q("tsql_convert('datetime', 1.5)"), "1900-01-02 12:00:00");
    EXPECT_EQ(Q("tsql_convert('datetime', -2)"), "1899-12-30 00:00:00");
    EXPECT_EQ(Q("tsql_convert('datetime', '1899-12-30 00:00:00.000', 121)"), "1899-12-30 00:00:00");
    EXPECT_EQ(Q("tsql_convert('datetime', '15.06.2031 13:45', 104)"), "2031-06-15 13:45:00");
    EXPECT_EQ(Q("tsql_convert('datetime', '5.6.2031')"), "2031-06-05 00:00:00");
    EXPECT_EQ(Q("tsql_convert('datetime', '20310615')"), "2031-06-15 00:00:00");
    EXPECT_EQ(Q("tsql_convert('datetime', '13:45')"), "1900-01-01 13:45:00");
    EXPECT_EQ(Q("tsql_convert('datetime', '2031-06-05 09:05:07:000')"), "2031-06-05 09:05:07");
    EXPECT_EQ(Q("tsql_convert('datetime', '2000-02-29')"), "2000-02-29 00:00:00");
    EXPECT_EQ(Q("tsql_convert('datetime', ' 2031-06-15T08:00:00 ')"), "2031-06-15 08:00:00");
    EXPECT_EQ(Q("tsql_convert('date', '2031-06-15 13:45:00')"), "2031-06-15 00:00:00");
    EXPECT_EQ(Q("tsql_convert('smalldatetime', '2031-06-15 13:45:31')"), "2031-06-15 13:46:00");
    EXPECT_EQ(Q("tsql_convert('datetime', '2031-06-15 13:45:59.9996')"), "2031-06-15 13:46:00");
    EXPECT_EQ(Q("tsql_convert('datetime', NULL)"), "NULL");
    for (std::string bad : {"2031-02-30", "1900-02-29", "15.13.2031", "2031-06-15 24:00:00", "Juni 2031", "1.5"}) {
        std::string e = Err("tsql_convert('datetime', '" + bad + "')");
        EXPECT_NE(e.find("'" + bad + "'"), std::string::npos) << bad << ": " << e;
    }
    EXPECT_NE(Err("tsql_convert('datetime', '1600-01-01')").find("out-of-range"), std::string::npos);
}

TEST_F(Runtime, ConvertDateToNumberCountsDaysFrom1900) {
    EXPECT_EQ(Q("tsql_convert('int', '1900-01-02 00:00:00')"), "1");
    EXPECT_EQ(Q("tsql_convert('int', '2031-06-15 00:00:00')"), "48012");
    EXPECT_EQ(Q("tsql_convert('float', '1900-01-01 12:00:00')"), "0.5");
}

TEST_F(Runtime, ConvertToTextCutsCharactersNotBytes) {
    EXPECT_EQ(Q("tsql_convert('varchar(3)', 'Müller')"), "Mül");
    EXPECT_EQ(Q("tsql_convert('nvarchar(2)', 'äöü')"), "äö");
    std::string umlauts35;
    for (int i = 0; i < 35; ++i) umlauts35 += "ä";
    std::string umlauts30 = umlauts35.substr(0, 60);
    EXPECT_EQ(Q("tsql_convert('varchar', '" + umlauts35 + "')"), umlauts30);
    EXPECT_EQ(Q("tsql_convert('varchar(max)', '" + umlauts35 + "')"), umlauts35);
    EXPECT_EQ(Q("tsql_convert('char(5)', 'Zürich')"), "Züric");
    EXPECT_EQ(Q("tsql_convert('char(5)', 'äb') || '|'"), "äb   |");
    EXPECT_EQ(Q("tsql_convert('VarChar( 4 )', 'abcdef')"), "abcd");
    EXPECT_EQ(Q("tsql_convert('NVARCHAR(MAX)', 'abcdef')"), "abcdef");
    // A name holds 128 characters; text and ntext hold any length.
    const std::string x130(130, 'x');
    for (const char* type : {"sysname", "text", "ntext"})
        EXPECT_EQ(Q(std::string("length(tsql_convert('") + type + "', '" + x130 + "'))"), type[0] == 's' ? "128" : "130") << type;
}

TEST_F(Runtime, ConvertNumbersToText) {
    EXPECT_EQ(Q("tsql_convert('varchar', 42)"), "42");
    EXPECT_EQ(Q("tsql_convert('varchar', -7)"), "-7");
    EXPECT_EQ(Q("tsql_convert('varchar', 1.5)"), "1.5");
    EXPECT_EQ(Q("tsql_convert('varchar', 2.0)"), "2");
    EXPECT_EQ(Q("tsql_convert('varchar', 1234567.0)"), "1.23457e+006");
    EXPECT_EQ(Q("tsql_convert('varchar', 0.00001, 0)"), "1e-005");
    EXPECT_EQ(Q("tsql_convert('varchar', 1.5, 1)"), "1.5000000e+000");
    EXPECT_EQ(Q("tsql_convert('varchar(3)', 12345)"), "*") << "a number too long shows a star";
    EXPECT_NE(Err("tsql_convert('nvarchar(3)', 12345)").find("overflow"), std::string::npos);
    EXPECT_NE(Err("tsql_convert('varchar(3)', 1234.5)").find("overflow"), std::string::npos);
}

TEST_F(Runtime, ConvertTextToIntegers) {
    EXPECT_EQ(Q("tsql_convert('int', ' 42 ')"), "42");
    EXPECT_EQ(Q("tsql_convert('int', '-42')"), "-42");
    EXPECT_EQ(Q("tsql_convert('int', x'0102')"), "258");
    EXPECT_EQ(Q("tsql_convert('int', '')"), "0");
    EXPECT_EQ(Q("tsql_convert('int', 2.9)"), "2");
    EXPECT_EQ(Q("tsql_convert('int', -2.9)"), "-2");
    EXPECT_EQ(Q("tsql_convert('bigint', '9000000000')"), "9000000000");
    EXPECT_EQ(Q("tsql_convert('bigint', '9223372036854775807')"), "9223372036854775807");
    EXPECT_EQ(Q("tsql_convert('bigint', '-9223372036854775808')"), "-9223372036854775808");
    EXPECT_EQ(Err("tsql_convert('int', 'abc')"),
              "Conversion failed when converting the varchar value 'abc' to data type int.");
    EXPECT_EQ(Err("tsql_convert('smallint', '4.2')"),
              "Conversion failed when converting the varchar value '4.2' to data type smallint.");
    EXPECT_NE(Err("tsql_convert('int', 3000000000)").find("overflow"), std::string::npos);
    EXPECT_NE(Err("tsql_convert('int', '3000000000')").find("overflow"), std::string::npos);
    EXPECT_NE(Err("tsql_convert('tinyint', 256)").find("overflow"), std::string::npos);
    EXPECT_NE(Err("tsql_convert('tinyint', -1)").find("overflow"), std::string::npos);
    EXPECT_EQ(Q("tsql_convert('smallint', -32768)"), "-32768");
    EXPECT_NE(Err("tsql_convert('smallint', -32769)").find("overflow"), std::string::npos);
}

TEST_F(Runtime, ConvertToFloatDecimalMoneyAndBit) {
    EXPECT_EQ(Q("tsql_convert('float', ' 1.5e3 ')"), "1500.0");
    EXPECT_EQ(Q("tsql_convert('float', '.5')"), "0.5");
    EXPECT_NE(Err("tsql_convert('float', '1,5')").find("'1,5'"), std::string::npos);
    EXPECT_NE(Err("tsql_convert('float', 'inf')").find("'inf'"), std::string::npos);
    EXPECT_EQ(Q("tsql_convert('decimal(10,2)', 1.005)"), "1.01");
    EXPECT_EQ(Q("tsql_convert('decimal(10,2)', '-1.005')"), "-1.01");
    EXPECT_EQ(Q("tsql_convert('numeric(10,0)', 2.5)"), "3");
    EXPECT_EQ(Q("typeof(tsql_convert('decimal(10,0)', 2.5))"), "integer");
    EXPECT_EQ(Q("tsql_convert('decimal', '17')"), "17");
    EXPECT_EQ(Q("tsql_convert('money', '12.34567')"), "12.3457");
    EXPECT_NE(Err("tsql_convert('decimal(5,2)', 12345)").find("overflow"), std::string::npos);
    EXPECT_NE(Err("tsql_convert('decimal(5,2)', 'zwölf')").find("'zwölf'"), std::string::npos);
    EXPECT_EQ(Q("tsql_convert('real', 0.1) <> 0.1"), "1") << "real keeps single precision";
    EXPECT_EQ(Q("tsql_convert('bit', 'TRUE')"), "1");
    EXPECT_EQ(Q("tsql_convert('bit', 'false')"), "0");
    EXPECT_EQ(Q("tsql_convert('bit', 5)"), "1");
    EXPECT_EQ(Q("tsql_convert('bit', 0.0)"), "0");
    EXPECT_NE(Err("tsql_convert('bit', 'ja')").find("'ja'"), std::string::npos);
}

TEST_F(Runtime, ConvertGuidsAndRejectsUnknownTypes) {
    EXPECT_EQ(Q("tsql_convert('uniqueidentifier', '6f9619ff-8b86-d011-b42d-00c04fc964ff')"),
              "6F9619FF-8B86-D011-B42D-00C04FC964FF");
    EXPECT_EQ(Q("tsql_convert('uniqueidentifier', '  6f9619ff-8b86-d011-b42d-00c04fc964ff ')"),
              "6F9619FF-8B86-D011-B42D-00C04FC964FF");
    EXPECT_EQ(Q("tsql_convert('uniqueidentifier', '{6f9619ff-8b86-d011-b42d-00c04fc964ff}')"),
              "6F9619FF-8B86-D011-B42D-00C04FC964FF");
    EXPECT_EQ(Q("tsql_convert('uniqueidentifier', x'FF1996F6868B11D0B42D00C04FC964FF')"),
              "F69619FF-8B86-D011-B42D-00C04FC964FF");
    EXPECT_NE(Err("tsql_convert('uniqueidentifier', '6f9619ff-8b86')").find("'6f9619ff-8b86'"), std::string::npos);
    EXPECT_NE(Err("tsql_convert('geography', 1)").find("geography"), std::string::npos);
    EXPECT_NE(Err("tsql_convert('varchar(0)', 1)").find("varchar"), std::string::npos);
    for (const char* type : {"decimal(0)", "decimal(39)", "numeric(5,6)"})
        EXPECT_NE(Err(std::string("tsql_convert('") + type + "', 0)"), "") << type;
    EXPECT_EQ(Q("tsql_convert('varchar', 'x', NULL)"), "NULL");
    EXPECT_EQ(Q("tsql_convert('int', NULL)"), "NULL");
}

// ---- + -------------------------------------------------------------------------------------

TEST_F(Runtime, AddConcatenatesTextAndAddsNumbers) {
    EXPECT_EQ(Q("tsql_add('Feuer', 'wehr')"), "Feuerwehr");
    EXPECT_EQ(Q("tsql_add('', 'x')"), "x");
    EXPECT_EQ(Q("tsql_add(2, 3)"), "5");
    EXPECT_EQ(Q("typeof(tsql_add(2, 3))"), "integer");
    EXPECT_EQ(Q("tsql_add(2, 0.5)"), "2.5");
    EXPECT_EQ(Q("tsql_add(NULL, 'x')"), "NULL");
    EXPECT_EQ(Q("tsql_add('x', NULL)"), "NULL");
    EXPECT_EQ(Q("tsql_add(1, NULL)"), "NULL");
    EXPECT_EQ(Q("hex(tsql_add(x'0102', x'03'))"), "010203");
}

TEST_F(Runtime, AddConvertsTextToTheNumbersType) {
    EXPECT_EQ(Q("tsql_add('5', 2)"), "7");
    EXPECT_EQ(Q("typeof(tsql_add(' 5 ', 2))"), "integer");
    EXPECT_EQ(Q("tsql_add(2, '-5')"), "-3");
    EXPECT_EQ(Q("tsql_add('', 2)"), "2") << "empty text is 0 as in T-SQL";
    EXPECT_EQ(Q("tsql_add('1.5', 1.0)"), "2.5");
    EXPECT_EQ(Err("tsql_add('abc', 1)"), "Conversion failed when converting the varchar value 'abc' to data type int.");
    EXPECT_EQ(Err("tsql_add(1, '1.5')"), "Conversion failed when converting the varchar value '1.5' to data type int.");
    EXPECT_EQ(Err("tsql_add('2031-06-15 00:00:00', 1)"),
              "Conversion failed when converting the varchar value '2031-06-15 00:00:00' to data type int.");
    EXPECT_NE(Err("tsql_add('x', 1.5)").find("'x'"), std::string::npos);
    EXPECT_NE(Err("tsql_add(9223372036854775807, 1)").find("overflow"), std::string::npos);
    EXPECT_NE(Err("tsql_add(x'01', 'a')"), "");
}

// ---- str -----------------------------------------------------------------------------------

TEST_F(Runtime, StrRightAlignsRoundsAndStarsWhatDoesNotFit) {
    EXPECT_EQ(Q("tsql_str(1.5, 4, 2)"), "1.50");
    EXPECT_EQ(Q("(SELECT group_concat(tsql_str(column1, column2, 1), '|') FROM "
                "(VALUES (1.5, 4), (2.25, 4), (1.5, 3), (1.5, 4), (1.5, 2), (1, 4)))"),
              " 1.5| 2.3|1.5| 1.5| 2| 1.0");
    EXPECT_EQ(Q("tsql_str(12.5, 4, 2)"), "12.5") << "decimals give way to the integer part";
    EXPECT_EQ(Q("tsql_str(123.45, 6, 1)"), " 123.5");
    EXPECT_EQ(Q("tsql_str(1234567.89, 7, 2)"), "1234568");
    EXPECT_EQ(Q("tsql_str(12345, 4, 2)"), "****");
    EXPECT_EQ(Q("tsql_str(9999.6, 4)"), "****") << "rounding up may overflow the width";
    EXPECT_EQ(Q("tsql_str(2.5)"), "         3");
    EXPECT_EQ(Q("tsql_str(-1.5, 2)"), "-2");
    EXPECT_EQ(Q("tsql_str(1.005, 5, 2)"), " 1.01");
    EXPECT_EQ(Q("tsql_str('7', 3)"), "  7");
    EXPECT_EQ(Q("tsql_str(NULL, 4, 2)"), "NULL");
    EXPECT_EQ(Q("tsql_str(1, 0)"), "NULL");
    EXPECT_EQ(Q("tsql_str(1, 4, -1)"), "NULL");
    EXPECT_EQ(Q("tsql_str(1, 8001)"), "NULL");
}

// ---- strings -------------------------------------------------------------------------------

TEST_F(Runtime, CharIndexFoldsCaseWithUmlauts) {
    EXPECT_EQ(Q("tsql_charindex('MÜL', 'Herr Müller')"), "6");
    EXPECT_EQ(Q("tsql_charindex('müller', 'HERR MÜLLER')"), "6");
    EXPECT_EQ(Q("tsql_charindex('mul', 'Herr Müller')"), "0") << "accents count";
    EXPECT_EQ(Q("tsql_charindex('ÿx', 'AŸX')"), "2") << "found though the text lacks the word's bytes";
    EXPECT_EQ(Q("tsql_charindex_cs('MÜL', 'Herr Müller')"), "0");
    EXPECT_EQ(Q("tsql_charindex_cs('Mül', 'Herr Müller')"), "6");
    EXPECT_EQ(Q("tsql_charindex('e', 'Feuerwehr', 3)"), "4");
    EXPECT_EQ(Q("tsql_charindex('e', 'Feuerwehr', 0)"), "2");
    EXPECT_EQ(Q("tsql_charindex('e', 'Feuerwehr', 20)"), "0");
    EXPECT_EQ(Q("tsql_charindex('', 'abc')"), "0");
    EXPECT_EQ(Q("tsql_charindex('feuerwehr', 'Feuerwehr')"), "1");
    // A text with other characters than the word's: the word's ASCII is looked for first.
    EXPECT_EQ(Q("tsql_charindex('LER', 'Herr Müller') || '|' || tsql_charindex('xler', 'Herr Müller') || '|' || "
                "tsql_charindex('üLLERX', 'Herr Müller') || '|' || tsql_charindex('ÜLLER', 'Herr Müller', 9)"),
              "9|0|0|0");
    EXPECT_EQ(Q("tsql_charindex('ISTA', 'Ü İSTANBUL') || '|' || tsql_charindex('Üxi', 'üXİ') || '|' || "
                "tsql_charindex('STAN', 'İSTANBUL')"),
              "3|1|2");
    EXPECT_EQ(Q("tsql_charindex('x', NULL)"), "NULL");
    EXPECT_EQ(Q("tsql_charindex(NULL, 'x')"), "NULL");
    EXPECT_EQ(Q("tsql_charindex(' Bern', ' ' || '3000' || ' ' || 'bern')"), "6");
    // Positions count characters, not bytes, before and after the start, in every spelling.
    const struct {
        const char* call;
        const char* position;
    } kPositions[] = {
        {"tsql_charindex('ER', 'Bärtschi Gärber', 5)", "14"}, {"tsql_charindex('r', 'Bärtschi', 3)", "3"},
        {"tsql_charindex('r', 'Bärtschi', 4)", "0"},          {"tsql_charindex('i', 'Ölİ')", "3"},
        {"tsql_charindex('ü', 'MÜLLER', 3)", "0"},            {"tsql_charindex('ü', 'MÜLLER', 2)", "2"},
        {"tsql_charindex('a', 'ä', 2)", "0"},                 {"tsql_charindex('ä', 'ä', 1)", "1"},
        {"tsql_charindex('Gär', 'Bärtschi Gärber')", "10"},   {"tsql_charindex_cs('gär', 'Bärtschi Gärber')", "0"},
        {"tsql_charindex('hi g', 'BÄRTSCHI GÄRBER')", "7"},   {"tsql_charindex('x', 'Bärtschi')", "0"},
    };
    for (const auto& p : kPositions) EXPECT_EQ(Q(p.call), p.position) << p.call;
}

TEST_F(Runtime, LenCountsCharactersWithoutTrailingBlanks) {
    EXPECT_EQ(Q("tsql_len('Müller  ')"), "6");
    EXPECT_EQ(Q("tsql_len('  ab')"), "4");
    EXPECT_EQ(Q("tsql_len('   ')"), "0");
    EXPECT_EQ(Q("tsql_len(12345)"), "5");
    EXPECT_EQ(Q("tsql_len('😀' || CAST(x'F48FBFBF' AS TEXT))"), "2") << "up to U+10FFFF";
    EXPECT_EQ(Q("tsql_len(NULL)"), "NULL");
}

TEST_F(Runtime, LeftRightSubstringCountCharacters) {
    EXPECT_EQ(Q("tsql_left('Zürich', 2)"), "Zü");
    EXPECT_EQ(Q("tsql_left('Zürich', 99)"), "Zürich");
    EXPECT_EQ(Q("tsql_right('Bülach', 4)"), "lach");
    EXPECT_EQ(Q("tsql_right('äöü', 2)"), "öü");
    EXPECT_EQ(Q("tsql_substring('Müller', 2, 3)"), "üll");
    EXPECT_EQ(Q("tsql_substring('abc', 0, 2)"), "a") << "positions before 1 use up the length";
    EXPECT_EQ(Q("tsql_substring('abc', -5, 3)"), "");
    EXPECT_EQ(Q("tsql_substring('abc', 3, 10)"), "c");
    EXPECT_EQ(Q("tsql_substring('abc', 4, 1)"), "");
    EXPECT_NE(Err("tsql_left('abc', -1)").find("left"), std::string::npos);
    EXPECT_NE(Err("tsql_substring('abc', 1, -1)").find("substring"), std::string::npos);
    EXPECT_EQ(Q("tsql_substring(NULL, 1, 1)"), "NULL");
}

TEST_F(Runtime, UpperLowerFoldLatinLetters) {
    EXPECT_EQ(Q("tsql_upper('äöü straße')"), "ÄÖÜ STRAßE") << "ß has no single capital";
    EXPECT_EQ(Q("tsql_lower('ÄÖÜ ÉÈÇ ŠŽŁŐ ÀÞ× ¿')"), "äöü éèç šžłő àþ× ¿");
    EXPECT_EQ(Q("tsql_upper('ÿ šž łő àþ÷ ſ')"), "Ÿ ŠŽ ŁŐ ÀÞ÷ S");
    // Letters of three and four bytes and a byte that is no UTF-8 come back as they were.
    EXPECT_EQ(Q("hex(tsql_upper('x€😀𐀀' || CAST(x'FF' AS TEXT)))"), "58E282ACF09F9880F0908080FF");
    // The first and last pair of each run of Latin Extended-A, and the two letters between without a pair.
    EXPECT_EQ(Q("tsql_upper('āķĸĺňŉŋŷźž')"), "ĀĶĸĹŇŉŊŶŹŽ");
    EXPECT_EQ(Q("tsql_lower('ĀĶĸĹŇŉŊŶŹŽ')"), "āķĸĺňŉŋŷźž");
    EXPECT_EQ(Q("tsql_upper(NULL)"), "NULL");
}

TEST_F(Runtime, TrimReplaceIsNumericNewId) {
    EXPECT_EQ(Q("'[' || tsql_ltrim('  a b  ') || ']'"), "[a b  ]");
    EXPECT_EQ(Q("'[' || tsql_rtrim('  a b  ') || ']'"), "[  a b]");
    EXPECT_EQ(Q("tsql_replace('Strasse STRASSE', 'strasse', 'Str.')"), "Str. Str.");
    EXPECT_EQ(Q("tsql_replace('Müller MÜLLER', 'ü', 'ue')"), "Mueller MueLLER");
    EXPECT_EQ(Q("tsql_replace('aaa', 'aa', 'b')"), "ba");
    EXPECT_EQ(Q("tsql_replace('abc', '', 'x')"), "abc");
    EXPECT_EQ(Q("tsql_replace('abc', NULL, 'x')"), "NULL");
    EXPECT_EQ(Q("tsql_isnumeric('12.5')"), "1");
    EXPECT_EQ(Q("tsql_isnumeric(' -1e3 ')"), "1");
    EXPECT_EQ(Q("tsql_isnumeric(7)"), "1");
    EXPECT_EQ(Q("tsql_isnumeric('')"), "0");
    EXPECT_EQ(Q("tsql_isnumeric('-')"), "0");
    EXPECT_EQ(Q("tsql_isnumeric('12a')"), "0");
    EXPECT_EQ(Q("tsql_isnumeric(NULL)"), "0");
    std::regex guid(R"([0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12})");
    EXPECT_TRUE(std::regex_match(Q("tsql_newid()"), guid)) << Q("tsql_newid()");
    EXPECT_EQ(Q("count(DISTINCT g) FROM (SELECT tsql_newid() g FROM (WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL "
                "SELECT i + 1 FROM n WHERE i < 1000) SELECT i FROM n))"),
              "1000");
    // Memory running out inside a function fails the statement: the result is never a NULL.
    const std::string sql = "tsql_replace(replace(hex(zeroblob(150000)), '0', 'x'), 'x', 'yy')";
    g_allocationLimit = 1 << 20;
    const std::string failed = Err(sql);
    g_allocationLimit = SIZE_MAX;
    EXPECT_EQ(failed, "out of memory");
}

// ---- collation -----------------------------------------------------------------------------

TEST_F(Runtime, QvciComparesCaseInsensitiveAccentSensitive) {
    EXPECT_EQ(Q("'Müller' = 'MÜLLER' COLLATE QVCI"), "1");
    EXPECT_EQ(Q("'abc' = 'abc  ' COLLATE QVCI"), "1");
    EXPECT_EQ(Q("'abc' = '  abc' COLLATE QVCI"), "0");
    EXPECT_EQ(Q("'a' = 'ä' COLLATE QVCI"), "0");
    EXPECT_EQ(Q("'strasse' = 'straße' COLLATE QVCI"), "0");
    EXPECT_EQ(Q("'ŠKODA' = 'škoda' COLLATE QVCI"), "1");
}

TEST_F(Runtime, QvciOrdersMixedCaseAndUmlautsTogether) {
    Exec("CREATE TABLE Ort (strName TEXT COLLATE QVCI)");
    Exec("INSERT INTO Ort VALUES ('zürich'), ('Bern'), ('aarau'), ('Zug'), ('äsch'), ('Basel'), ('Arth')");
    EXPECT_EQ(Column("SELECT strName FROM Ort ORDER BY strName"),
              (std::vector<std::string>{"aarau", "Arth", "äsch", "Basel", "Bern", "Zug", "zürich"}));
    EXPECT_EQ(Column("SELECT strName FROM Ort WHERE strName = 'BERN'"), (std::vector<std::string>{"Bern"}));
    EXPECT_EQ(Column("SELECT strName FROM Ort WHERE strName BETWEEN 'a' AND 'AZ' ORDER BY 1"),
              (std::vector<std::string>{"aarau", "Arth", "äsch"}));
}

TEST_F(Runtime, QvciUniqueIndexAndGroupingFoldCase) {
    Exec("CREATE TABLE Person (strName TEXT COLLATE QVCI UNIQUE)");
    Exec("INSERT INTO Person VALUES ('Müller')");
    char* msg = nullptr;
    EXPECT_EQ(sqlite3_exec(db_, "INSERT INTO Person VALUES ('MÜLLER ')", nullptr, nullptr, &msg),
              SQLITE_CONSTRAINT);
    sqlite3_free(msg);
    Exec("INSERT INTO Person VALUES ('Muller')");
    EXPECT_EQ(Q("count(*) FROM Person WHERE strName = 'müller'"), "1");
    EXPECT_EQ(Q("count(DISTINCT x COLLATE QVCI) FROM (SELECT 'a' x UNION ALL SELECT 'A' UNION ALL SELECT 'ä')"), "2");
}

// ---- LIKE ----------------------------------------------------------------------------------

TEST_F(Runtime, LikeWildcardsAndClasses) {
    EXPECT_EQ(Q("'Müller' LIKE 'mü%'"), "1");
    EXPECT_EQ(Q("'MÜLLER' LIKE '%ll_r'"), "1");
    EXPECT_EQ(Q("'Muller' LIKE 'mü%'"), "0");
    EXPECT_EQ(Q("'abc' LIKE '[a-c]b_'"), "1");
    EXPECT_EQ(Q("'Dbc' LIKE '[a-c]%'"), "0");
    EXPECT_EQ(Q("'Bbc' LIKE '[a-c]%'"), "1");
    EXPECT_EQ(Q("'xbc' LIKE '[^x]%'"), "0");
    EXPECT_EQ(Q("'ybc' LIKE '[^x]%'"), "1");
    EXPECT_EQ(Q("'5' LIKE '[0-9]'"), "1");
    EXPECT_EQ(Q("'b' LIKE '[abc]'"), "1");
    EXPECT_EQ(Q("'-' LIKE '[a-]'"), "1") << "a dash at the end is one of the members";
    EXPECT_EQ(Q("']' LIKE '[abc]'"), "0");
    EXPECT_EQ(Q("'[x' LIKE '[[]x'"), "1");
    EXPECT_EQ(Q("'50%' LIKE '50[%]'"), "1");
    EXPECT_EQ(Q("'50x' LIKE '50[%]'"), "0");
    EXPECT_EQ(Q("'100%' LIKE '100!%' ESCAPE '!'"), "1");
    EXPECT_EQ(Q("'1000' LIKE '100!%' ESCAPE '!'"), "0");
    EXPECT_EQ(Q("'a_b' LIKE 'a\\_b' ESCAPE '\\'"), "1");
    EXPECT_EQ(Q("'axb' LIKE 'a\\_b' ESCAPE '\\'"), "0");
    // With an escape character the classes and the case of umlauts still hold.
    EXPECT_EQ(Q("'Müller_1' LIKE 'MÜ[k-m]%!_1' ESCAPE '!'"), "1");
    EXPECT_EQ(Q("'abcbcd' LIKE 'a%bc%d'"), "1");
    EXPECT_EQ(Q("'abcbce' LIKE 'a%bc%d'"), "0");
    EXPECT_EQ(Q("NULL LIKE 'a'"), "NULL");
    EXPECT_NE(Err("'a' LIKE 'a' ESCAPE 'xy'"), "");
}

TEST_F(Runtime, LikeIgnoresTrailingBlanksOfTheValueOnly) {
    EXPECT_EQ(Q("'abc  ' LIKE 'abc'"), "1");
    EXPECT_EQ(Q("'abc  ' LIKE 'ab_'"), "1");
    EXPECT_EQ(Q("'abc' LIKE 'abc '"), "0");
    EXPECT_EQ(Q("'abc ' LIKE 'abc '"), "1");
    EXPECT_EQ(Q("'ab  ' LIKE 'ab_'"), "1") << "a blank may fill the _";
}

TEST_F(Runtime, LikePatternsOfTheLockAndTemplateStatements) {
    Exec("CREATE TABLE Kurs (strLock TEXT COLLATE QVCI, strName TEXT)");
    Exec("INSERT INTO Kurs VALUES ('2031-06-15 10:00:00|WS07|user1', 'KursnotificationMailtemplate1'), "
         "('2031-06-15 10:00:00|WS07|user2', 'Kursnotification'), ('x|ws07|USER1', 'kursnotificationmailtemplate')");
    EXPECT_EQ(Q("count(*) FROM Kurs WHERE strLock LIKE '%|WS07|user1'"), "2");
    EXPECT_EQ(Q("count(*) FROM Kurs WHERE strName LIKE 'KursnotificationMailtemplate%'"), "2");
}

TEST_F(Runtime, CaseSensitiveLikePragmaChangesNothing) {
    Exec("PRAGMA case_sensitive_like = ON");
    EXPECT_EQ(Q("'ABC' LIKE 'abc'"), "1");
    EXPECT_EQ(Q("'ÄBC' LIKE 'äbc'"), "1");
    EXPECT_EQ(Q("'[x' LIKE '[[]x'"), "1") << "still T-SQL's LIKE";
}

}  // namespace
