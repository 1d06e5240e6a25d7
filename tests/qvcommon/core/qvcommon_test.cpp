// The common library: running servers and the frame, result texts and the HRESULT trace,
// registry values, the stopwatch, GUID, date, money and variant conversions.
#include "qvcommon.h"
#include "lasterror.h"
#include "olevariant.h"
#include "qvrunning.h"
#include "tempdir.h"
#include "trace.h"

#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>

namespace {

// A server with one interface besides IUnknown, counting its references.
struct IProbe : IUnknown {
    virtual HRESULT Ping() = 0;
};
constexpr IID IID_IProbe = qv::MakeGuid("0D7B54E2-6B41-4C2E-9F0A-5A3E2C1B0F01");
constexpr IID IID_IOther = qv::MakeGuid("0D7B54E2-6B41-4C2E-9F0A-5A3E2C1B0F02");

class Probe final : public IProbe {
public:
    HRESULT QueryInterface(REFIID iid, void** ppv) override {
        if (iid == IID_IUnknown || iid == IID_IProbe) {
            *ppv = static_cast<IProbe*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
    HRESULT Ping() override { return S_OK; }
    ULONG refs = 1;
};

class RunningServers : public ::testing::Test {
protected:
    void TearDown() override { qv::RevokeAllRunningServers(); }
    Probe probe;
};

TEST_F(RunningServers, NothingRunningAnswersFailWithANullPointer) {
    void* p = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(QueryCOMServer(L"Qovaro.QvDataLogger", IID_IProbe, &p), E_FAIL);
    EXPECT_EQ(p, nullptr);
    IUnknown* frame = reinterpret_cast<IUnknown*>(0x1);
    EXPECT_EQ(GetFrameIUnk(&frame), E_FAIL);
    EXPECT_EQ(frame, nullptr);
    EXPECT_FALSE(QvIsCOMServerLoaded(L"Qovaro.QvDataLogger"));
}

TEST_F(RunningServers, FindsTheServerByProgIdInAnyCaseWithAReference) {
    ASSERT_EQ(qv::RegisterRunningServer(L"Qovaro.QvDataLogger", &probe), S_OK);
    const ULONG held = probe.refs;
    IProbe* p = nullptr;
    ASSERT_EQ(QueryCOMServer(L"qovaro.qvdatalogger", IID_IProbe, reinterpret_cast<void**>(&p)), S_OK);
    EXPECT_EQ(p, static_cast<IProbe*>(&probe));
    EXPECT_EQ(probe.refs, held + 1);
    p->Release();
    EXPECT_TRUE(QvIsCOMServerLoaded(L"Qovaro.QvDataLogger"));
    EXPECT_EQ(probe.refs, held) << "the check must not keep a reference";

    void* other = nullptr;
    EXPECT_EQ(QueryCOMServer(L"Qovaro.QvDataLogger", IID_IOther, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
}

TEST_F(RunningServers, TheFrameIsTheServerUnderTheFrameName) {
    ASSERT_EQ(qv::RegisterRunningServer(QV_FRAME_PROGID, &probe), S_OK);
    IUnknown* frame = nullptr;
    ASSERT_EQ(GetFrameIUnk(&frame), S_OK);
    EXPECT_EQ(frame, static_cast<IUnknown*>(&probe));
    frame->Release();
    // A server is not the frame.
    qv::RevokeAllRunningServers();
    ASSERT_EQ(qv::RegisterRunningServer(L"Qovaro.QvDBServer", &probe), S_OK);
    EXPECT_EQ(GetFrameIUnk(&frame), E_FAIL);
}

TEST(HRTrace, WritesTheTraceLineKeepsItAndRestoresTheLastError) {
    qv::ClearTrace();
    QvClearHRErrorList();
    SetLastError(ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(QV_TRACEHR(L"qvdatalogger", E_FAIL), E_FAIL);
    const long line = __LINE__ - 1;
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));

    const auto lines = qv::TraceLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), L"qvdatalogger(" + std::to_wstring(line) + L") : hr=0x80004005, dwErr=2");

    SetLastError(0);
    QvAddHRErrorFile("qvfserver", 12, E_NOINTERFACE);
    const auto list = QvGetHRErrorList();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].strFile, L"qvdatalogger");
    EXPECT_EQ(list[0].dwLastError, DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(list[1].strFile, L"qvfserver");
    EXPECT_EQ(list[1].lLine, 12);
    EXPECT_EQ(list[1].hr, E_NOINTERFACE);
}

TEST(HRTrace, TheListKeepsTheNewestEntries) {
    QvClearHRErrorList();
    for (std::size_t i = 0; i < kQvHRErrorCapacity + 5; ++i) QvAddHRErrorFile(L"x", long(i), E_FAIL);
    const auto list = QvGetHRErrorList();
    ASSERT_EQ(list.size(), kQvHRErrorCapacity);
    EXPECT_EQ(list.front().lLine, 5);
    EXPECT_EQ(list.back().lLine, long(kQvHRErrorCapacity + 4));
}

TEST(HRTrace, CrackHRNamesKnownCodesAndNumbersUnknownOnes) {
    EXPECT_EQ(CrackHR(E_FAIL), L"Unspecified error.");
    EXPECT_EQ(CrackHR(DB_E_ABORTLIMITREACHED), L"The command timed out.");
    EXPECT_EQ(CrackHR(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)), L"The system cannot find the file specified.");
    EXPECT_EQ(CrackHR(MAKE_HR(0x8004ABCDu)), L"Unknown error 0x8004ABCD");
    EXPECT_EQ(CrackHR(MAKE_HR(0x12u)), L"Unknown error 0x00000012");
}

class Registry : public ::testing::Test {
protected:
    qvtest::TempDir dir_;
    qvtest::ScopedEnv env_{"QV_REGISTRY", dir_.file("registry.db")};
    static constexpr const wchar_t* kKey = L"Software\\Qovaro\\QvDBServer\\Qovaro.NQ2";
};

TEST_F(Registry, AMissingValueOrKeyLeavesTheDefault) {
    long l = 30;
    CString s = L"default";
    DWORD dw = 7;
    EXPECT_FALSE(CQvRegistry::GetValue(kKey, L"DefaultCommandTimeout [s]", l));
    EXPECT_FALSE(CQvRegistry::GetValue(kKey, L"Command4LogFilter", s));
    EXPECT_FALSE(CQvRegistry::GetValue(kKey, L"DefaultExecuteRetry", dw));
    EXPECT_EQ(l, 30);
    EXPECT_EQ(s, L"default");
    EXPECT_EQ(dw, 7u);

    // The key exists now, the value still not; a value of the wrong type counts as missing.
    ASSERT_TRUE(CQvRegistry::SetValue(kKey, L"Other", 1L));
    ASSERT_TRUE(CQvRegistry::SetValue(kKey, L"Text", CString(L"12")));
    EXPECT_FALSE(CQvRegistry::GetValue(kKey, L"DefaultCommandTimeout [s]", l));
    EXPECT_FALSE(CQvRegistry::GetValue(kKey, L"Text", l));
    EXPECT_FALSE(CQvRegistry::GetValue(kKey, L"Other", s));
    EXPECT_EQ(l, 30);
    EXPECT_EQ(s, L"default");
}

TEST_F(Registry, ValuesRoundTripPerHive) {
    ASSERT_TRUE(CQvRegistry::SetValue(kKey, L"DefaultCommandTimeout [s]", -5L));
    ASSERT_TRUE(CQvRegistry::SetValue(kKey, L"Command4LogFilter", CString(L"Kurs äö")));
    long l = 0;
    CString s;
    DWORD dw = 0;
    EXPECT_TRUE(CQvRegistry::GetValue(kKey, L"DefaultCommandTimeout [s]", l));
    EXPECT_TRUE(CQvRegistry::GetValue(kKey, L"defaultcommandtimeout [S]", dw));
    EXPECT_TRUE(CQvRegistry::GetValue(kKey, L"Command4LogFilter", s));
    EXPECT_EQ(l, -5);
    EXPECT_EQ(dw, 0xFFFFFFFBu);
    EXPECT_EQ(s, L"Kurs äö");

    long machine = 99;
    EXPECT_FALSE(CQvRegistry::GetValue(kKey, L"DefaultCommandTimeout [s]", machine, HKEY_LOCAL_MACHINE));
    EXPECT_EQ(machine, 99);
}

TEST(PerfMeter, MeasuresTheClockBetweenStartAndStop) {
    double now = 1000.0;
    qv::SetPerfMeterClock([&] { return now; });
    CQvPerfMeter meter;
    now += 1234.7;
    EXPECT_DOUBLE_EQ(meter.GetTime(), 1234.7) << "running: up to now";
    meter.Stop();
    now += 500;
    EXPECT_DOUBLE_EQ(meter.GetTime(), 1234.7) << "stopped: up to Stop";
    meter.Start();
    now += 2;
    meter.Stop();
    EXPECT_DOUBLE_EQ(meter.GetTime(), 2.0);
    qv::SetPerfMeterClock(nullptr);
    CQvPerfMeter real;
    EXPECT_GE(real.GetTime(), 0.0);
    EXPECT_LT(real.GetTime(), 60000.0);
}

TEST(QvGUID, TextFormsAndNullState) {
    CQvGUID g(L"f322e3e5-4677-4b37-85d8-bee4392c19f1");
    EXPECT_FALSE(g.IsNULL());
    EXPECT_EQ(g.GetGUID(TRUE), L"F322E3E5-4677-4B37-85D8-BEE4392C19F1");
    EXPECT_EQ(g.GetGUID(FALSE), L"{F322E3E5-4677-4B37-85D8-BEE4392C19F1}");
    EXPECT_EQ(CQvGUID(L"{F322E3E5-4677-4B37-85D8-BEE4392C19F1}"), g);

    EXPECT_EQ(g.SetGUID(L"no guid"), E_INVALIDARG);
    EXPECT_EQ(g.GetGUID(TRUE), L"F322E3E5-4677-4B37-85D8-BEE4392C19F1") << "a bad text changes nothing";
    EXPECT_EQ(g.SetGUID(L"  "), S_OK);
    EXPECT_TRUE(g.IsNULL());
    EXPECT_EQ(g.GetGUID(TRUE), L"00000000-0000-0000-0000-000000000000");
    EXPECT_TRUE(CQvGUID(L"garbage").IsNULL());

    CQvGUID a, b;
    ASSERT_EQ(a.NewGUID(), S_OK);
    ASSERT_EQ(b.NewGUID(), S_OK);
    EXPECT_FALSE(a.IsNULL());
    EXPECT_NE(a, b);
    EXPECT_TRUE(a < b || b < a);
}

TEST(QvDateTime, SQLLiteralsOfDatesZeroDateAndNull) {
    EXPECT_EQ(CQvDateTime(2024, 3, 5, 14, 30, 7).SQLConvert(), L"'2024-03-05 14:30:07'");
    EXPECT_EQ(CQvDateTime().SQLConvert(), L"'1899-12-30 00:00:00'");
    EXPECT_EQ(CQvDateTime(1899, 12, 30, 0, 0, 0).SQLConvert(), L"'1899-12-30 00:00:00'");
    EXPECT_EQ(CQvDateTime(1850, 1, 2, 6, 0, 0).SQLConvert(), L"'1850-01-02 06:00:00'");
    CQvDateTime dt(2024, 1, 1, 0, 0, 0);
    dt.SetNull();
    EXPECT_EQ(dt.SQLConvert(), L"NULL");
    dt.SetStatus(COleDateTime::invalid);
    EXPECT_EQ(dt.SQLConvert(), L"NULL");
    // Milliseconds count for rounding only.
    EXPECT_EQ(CQvDateTime(2024, 12, 31, 23, 59, 58, 600).SQLConvert(), L"'2024-12-31 23:59:59'");
    EXPECT_EQ(CQvDateTime(2024, 12, 31, 23, 59, 58, 400).SQLConvert(), L"'2024-12-31 23:59:58'");
}

TEST(QvDateTime, NormalizedTextRoundTrips) {
    CQvDateTime dt(2023, 11, 9, 8, 5, 0);
    const CString text = dt.GetNormalizedDateTime();
    EXPECT_EQ(text, L"2023-11-09 08:05:00");
    CQvDateTime back;
    EXPECT_TRUE(back.SetNormalizedDateTime(text));
    EXPECT_EQ(back, dt);

    EXPECT_TRUE(back.SetNormalizedDateTime(L""));
    EXPECT_EQ(back.m_dt, 0.0);
    EXPECT_EQ(back.GetStatus(), COleDateTime::valid);

    EXPECT_FALSE(back.SetNormalizedDateTime(L"32.13.2020"));
    EXPECT_EQ(back.GetStatus(), COleDateTime::invalid);
    EXPECT_EQ(back.GetNormalizedDateTime(), L"");
}

TEST(QvCurrency, ExactSumsRoundedProductsAndTheSQLForm) {
    CQvCurrency a(12.34);
    CQvCurrency b(0.0001);
    EXPECT_EQ((a + b).SQLConvert(), L"12.3401");
    EXPECT_EQ((b - a).SQLConvert(), L"-12.3399");
    EXPECT_EQ(CQvCurrency(-0.5).SQLConvert(), L"-0.5000");
    EXPECT_EQ(CQvCurrency(3, 2500).SQLConvert(), L"3.2500");
    EXPECT_EQ((CQvCurrency(1.0) / 3.0).GetInt64(), 3333);
    EXPECT_EQ((CQvCurrency(0.0001) * 0.5).GetInt64(), 1) << "halves away from zero";
    EXPECT_EQ((CQvCurrency(-0.0001) * 0.5).GetInt64(), -1);
    // 0.1 + 0.2 as doubles is not 0.3; as money it is.
    CQvCurrency sum;
    for (int i = 0; i < 10; ++i) sum += CQvCurrency(0.1);
    EXPECT_EQ(sum, CQvCurrency(1.0));
}

TEST(CrackVariant, EmptyAndNullGiveZeroValues) {
    COleVariant empty;
    COleVariant null;
    null.vt = VT_NULL;
    for (const COleVariant* v : {&empty, &null}) {
        EXPECT_FALSE(CrackBoolVariant(*v));
        EXPECT_EQ(CrackLongVariant(*v), 0);
        EXPECT_EQ(CrackDoubleVariant(*v), 0.0);
        EXPECT_EQ(CrackStrVariant(*v), L"");
        EXPECT_EQ(CrackDateVariant(*v), 0.0);
    }
}

TEST(CrackVariant, NumbersTextAndBooleans) {
    EXPECT_EQ(CrackLongVariant(COleVariant(long(42))), 42);
    EXPECT_EQ(CrackLongVariant(COleVariant(L" 17 ")), 17);
    EXPECT_EQ(CrackLongVariant(COleVariant(L"abc")), 0);
    EXPECT_EQ(CrackLongVariant(COleVariant(2.6)), 3);
    EXPECT_EQ(CrackLongVariant(COleVariant(true)), 1);
    // A rights mask written as an unsigned number reads back as its own 32 bits.
    EXPECT_EQ(CrackLongVariant(COleVariant(2281705217LL)), long(LONG(0x88000F01u)));
    EXPECT_EQ(CrackLongVariant(COleVariant(L"2281705217")), long(LONG(0x88000F01u)));

    EXPECT_TRUE(CrackBoolVariant(COleVariant(long(1))));
    EXPECT_TRUE(CrackBoolVariant(COleVariant(long(-1))));
    EXPECT_FALSE(CrackBoolVariant(COleVariant(long(0))));
    EXPECT_TRUE(CrackBoolVariant(COleVariant(L"True")));
    EXPECT_FALSE(CrackBoolVariant(COleVariant(L"0")));
    EXPECT_TRUE(CrackBoolVariant(COleVariant(L"1")));

    EXPECT_DOUBLE_EQ(CrackDoubleVariant(COleVariant(L"1.5")), 1.5);
    EXPECT_DOUBLE_EQ(CrackDoubleVariant(COleVariant(long(3))), 3.0);
    EXPECT_EQ(CrackStrVariant(COleVariant(long(-7))), L"-7");
    EXPECT_EQ(CrackStrVariant(COleVariant(L"O'Brien")), L"O'Brien");

    long value = 5;
    VARIANT byRef;
    VariantInit(&byRef);
    byRef.vt = VT_I4 | VT_BYREF;
    byRef.plVal = reinterpret_cast<LONG*>(&value);
    EXPECT_EQ(CrackLongVariant(byRef), 5);
}

TEST(CrackVariant, DatesFromDatesAndText) {
    const CQvDateTime expected(2024, 2, 29, 13, 45, 10);
    EXPECT_EQ(CrackDateVariant(COleVariant(L"2024-02-29 13:45:10")), expected.m_dt);
    EXPECT_EQ(CrackDateVariant(COleVariant(static_cast<const COleDateTime&>(expected))), expected.m_dt);
    EXPECT_EQ(CrackDateVariant(COleVariant(L"1899-12-30 00:00:00")), 0.0);
    EXPECT_EQ(CrackDateVariant(COleVariant(L"not a date")), 0.0);
    EXPECT_EQ(CrackStrVariant(COleVariant(static_cast<const COleDateTime&>(expected))), L"2024-02-29 13:45:10");
}

TEST(SysInfo, SqlNumberTextIgnoresTheLocale) {
    const char* german = std::setlocale(LC_ALL, "de_DE.UTF-8");
    EXPECT_EQ(DoubleToSqlText(1.5), L"1.500000");
    EXPECT_EQ(DoubleToSqlText(-0.25), L"-0.250000");
    EXPECT_EQ(DoubleToSqlText(1234567.0000004), L"1234567.000000");
    if (german) std::setlocale(LC_ALL, "C");
}

TEST(SysInfo, ComputerNameAndApplication) {
    EXPECT_FALSE(QvGetComputerName(0, 0).IsEmpty());
    EXPECT_EQ(QvGetAppID(), CString(std::filesystem::read_symlink("/proc/self/exe").filename().string().c_str()));
}

}  // namespace
