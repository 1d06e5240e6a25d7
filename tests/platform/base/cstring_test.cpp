#include "cstring.h"
#include "oleauto.h"
#include "strtable.h"
#include "textcase.h"
#include <gtest/gtest.h>
#include <clocale>
#include <cwchar>
#include <cstdint>
#include <ostream>
#include <string>
#include "utf.h"

void PrintTo(const CString& s, std::ostream* os) { *os << '"' << s.ToUtf8() << '"'; }

namespace {

CString F(const wchar_t* fmt) {
    CString s;
    s.Format(fmt);
    return s;
}
template <class... A>
CString F(const wchar_t* fmt, const A&... a) {
    CString s;
    s.Format(fmt, a...);
    return s;
}

}  // namespace

TEST(CStringFormat, TraceLineWithNegativeResultPrintsItsBits) {
    const HRESULT hr = E_ABORT;
    EXPECT_EQ(F(L"%s(%d) : hr=0x%X, dwErr=%u\n", L"qvfserver", 42, hr, DWORD(5)),
              L"qvfserver(42) : hr=0x80004004, dwErr=5\n");
    // The system's code holds results in 'long', which is 64 bits wide here.
    const long lhr = E_FAIL;
    EXPECT_EQ(F(L"hr=0x%X %lX %08x", lhr, lhr, lhr), L"hr=0x80004005 80004005 80004005");
    EXPECT_EQ(F(L"%08X|%08X", 0xBEEF, -1), L"0000BEEF|FFFFFFFF");
    EXPECT_EQ(F(L"%d %u", 0xFFFFFFFFu, -1), L"-1 4294967295");
}

TEST(CStringFormat, IntegerFlagsWidthsAndSizes) {
    EXPECT_EQ(F(L"%d|%i|%ld|%lu", -7, 8, 9L, 10UL), L"-7|8|9|10");
    EXPECT_EQ(F(L"%02d:%02d", 5, 30), L"05:30");
    EXPECT_EQ(F(L"[%5d][%-5d][%+d][% d][%05d]", 42, 42, 42, 42, -42), L"[   42][42   ][+42][ 42][-0042]");
    EXPECT_EQ(F(L"%x %X %#x %#X %o", 255, 255, 255, 255, 8), L"ff FF 0xff 0XFF 10");
    EXPECT_EQ(F(L"[%*d][%-*d]", 5, 42, 4, 7), L"[   42][7   ]");
    EXPECT_EQ(F(L"[%*d]", -4, 7), L"[7   ]");
    EXPECT_EQ(F(L"%I64d %I64u %lld %llu", 9000000000LL, 18000000000ULL, -9000000000LL, 1ULL << 63),
              L"9000000000 18000000000 -9000000000 9223372036854775808");
    EXPECT_EQ(F(L"%I64X", -1LL), L"FFFFFFFFFFFFFFFF");
    // A 64-bit value for a 32-bit conversion is printed whole rather than cut to 32 bits.
    EXPECT_EQ(F(L"%d", 5000000000LL), L"5000000000");
    EXPECT_EQ(F(L"100%% sicher"), L"100% sicher");
}

TEST(CStringFormat, FloatingPointUsesPointAndPrecision) {
    EXPECT_EQ(F(L"%0.3f", 1.23456), L"1.235");
    EXPECT_EQ(F(L"%0.3f sec", 2.0), L"2.000 sec");
    EXPECT_EQ(F(L"[%5.2f][%-8.1f][%f]", 3.14159, 2.26, 0.5), L"[ 3.14][2.3     ][0.500000]");
    EXPECT_EQ(F(L"%e|%E|%.2e", 12345.678, 0.00012, 5.0), L"1.234568e+04|1.200000E-04|5.00e+00");
    EXPECT_EQ(F(L"%g|%g|%g|%G", 0.0001, 1e20, 100.0, 1e-10), L"0.0001|1e+20|100|1E-10");
    EXPECT_EQ(F(L"%.*f", 2, 3.14159), L"3.14");
    EXPECT_EQ(F(L"%.6f", 1.0 / 3), L"0.333333");
    EXPECT_EQ(F(L"%+.1f", 2.0f), L"+2.0");
}

TEST(CStringFormat, StringsOfEveryKindAndCharacters) {
    const std::wstring ws = L"wide";
    const std::string ns = "Gr\xC3\xBC\xC3\x9F" "e";
    const CString cs(L"Müller");
    const wchar_t* nullText = nullptr;
    EXPECT_EQ(F(L"%s/%s/%s/%s", L"lit", ws, cs, ns), L"lit/wide/Müller/Grüße");
    EXPECT_EQ(F(L"%S|%hs|%ls|%ws", "narrow", "h", L"l", L"w"), L"narrow|h|l|w");
    EXPECT_EQ(F(L"%s", "Z\xC3\xBCrich"), L"Zürich");
    EXPECT_EQ(F(L"[%s]", nullText), L"[(null)]");
    EXPECT_EQ(F(L"[%8s][%-8s][%.3s]", L"abc", L"abc", L"abcdef"), L"[     abc][abc     ][abc]");
    EXPECT_EQ(F(L"%c%c%c", L'ä', 65, 'z'), L"äAz");
    EXPECT_EQ(F(L"[%3c]", L'x'), L"[  x]");
}

TEST(CStringFormat, WrongArgumentTypesPrintTheArgumentInstead) {
    EXPECT_EQ(F(L"Name: %s", 42), L"Name: 42");
    EXPECT_EQ(F(L"Id: %d", L"abc"), L"Id: abc");
    EXPECT_EQ(F(L"Id: %d", std::string("xyz")), L"Id: xyz");
    EXPECT_EQ(F(L"%d", 2.75), L"2");
    EXPECT_EQ(F(L"%f", 3), L"3.000000");
    EXPECT_EQ(F(L"%X", 1.5), L"1");
    EXPECT_EQ(F(L"%c", L"text"), L"text");
    EXPECT_EQ(F(L"%p", 7), L"0000000000000007");
}

TEST(CStringFormat, MissingArgumentsStayVisibleAndExtraOnesAreIgnored) {
    EXPECT_EQ(F(L"%d and %s", 1), L"1 and %s");
    EXPECT_EQ(F(L"%s(%d) : hr=0x%X, dwErr=%u\n", L"file"), L"file(%d) : hr=0x%X, dwErr=%u\n");
    EXPECT_EQ(F(L"%*d", 5), L"%*d");
    EXPECT_EQ(F(L"no conversions", 1, 2, 3), L"no conversions");
    EXPECT_EQ(F(L"%n%d", 1, 2), L"2");  // %n never writes anywhere
    EXPECT_EQ(F(L"%y %", 1), L"%y %");
}

TEST(CStringFormat, AppendFormatAndFormatFromStringTable) {
    CString s(L"Zeilen: ");
    s.AppendFormat(L"%d, %s", 3, L"ok");
    EXPECT_EQ(s, L"Zeilen: 3, ok");
    CString self(L"<%s>");
    self.AppendFormat(self, self.GetString());  // template and argument are this very string
    EXPECT_EQ(self, L"<%s><<%s>>");

    static int module;
    const HINSTANCE h = reinterpret_cast<HINSTANCE>(&module);
    qv::RegisterStringTable(h, {{145, L"Die Anzahl Reservationen für den Kurs '%s'  wurde für das Jahr %d  um eins verkleinert."}});
    const HINSTANCE before = AfxGetResourceHandle();
    AfxSetResourceHandle(h);
    CString msg;
    msg.Format(145u, L"BS1", 2026);
    AfxSetResourceHandle(before);
    EXPECT_EQ(msg, L"Die Anzahl Reservationen für den Kurs 'BS1'  wurde für das Jahr 2026  um eins verkleinert.");
}

TEST(CStringCase, GermanUmlautsInTheCLocale) {
    ASSERT_STREQ(std::setlocale(LC_CTYPE, nullptr), "C");
    CString s(L"Müller, Jörg; Äbi");
    s.MakeUpper();
    EXPECT_EQ(s, L"MÜLLER, JÖRG; ÄBI");
    s.MakeLower();
    EXPECT_EQ(s, L"müller, jörg; äbi");
    CString street(L"Hauptstraße");
    EXPECT_EQ(street.MakeUpper(), L"HAUPTSTRAßE");
    EXPECT_EQ(CString(L"Müller").CompareNoCase(L"MÜLLER"), 0);
    EXPECT_EQ(CString(L"ÖL").CompareNoCase(L"öl"), 0);
    EXPECT_LT(CString(L"Mueller").CompareNoCase(L"MÜLLER"), 0);  // ü sorts after u
    EXPECT_NE(CString(L"Müller").Compare(L"MÜLLER"), 0);
    CString title(L"GRUNDKURS ÜBER ATEMSCHUTZ");
    EXPECT_EQ(title.MakeLower().Find(L"über"), 10);
}

TEST(CStringCase, OtherLatinLettersFoldBothWays) {
    EXPECT_EQ(CString(L"łódź àéîõü ÿ ñ ç ø å æ").MakeUpper(), L"ŁÓDŹ ÀÉÎÕÜ Ÿ Ñ Ç Ø Å Æ");
    EXPECT_EQ(CString(L"ŁÓDŹ ČŠŽ ŐŰ Ÿ").MakeLower(), L"łódź čšž őű ÿ");
    EXPECT_EQ(qv::ToUpper(L'µ'), L'µ');
    EXPECT_EQ(qv::ToUpper(L'×'), L'×');
    EXPECT_EQ(qv::ToLower(L'÷'), L'÷');
    EXPECT_EQ(qv::CompareNoCase(L"ČESKÝ", L"český"), 0);
}

TEST(CStringOps, PiecesClampTheirArguments) {
    const CString s(L"Kursinstanz");
    EXPECT_EQ(s.Left(4), L"Kurs");
    EXPECT_EQ(s.Left(99), L"Kursinstanz");
    EXPECT_EQ(s.Left(-1), L"");
    EXPECT_EQ(s.Mid(4), L"instanz");
    EXPECT_EQ(s.Mid(4, 3), L"ins");
    EXPECT_EQ(s.Mid(-2, 3), L"Kur");
    EXPECT_EQ(s.Mid(20), L"");
    EXPECT_EQ(s.Mid(9, 10), L"nz");
    EXPECT_EQ(s.Right(4), L"tanz");
    EXPECT_EQ(s.Right(40), L"Kursinstanz");
    EXPECT_EQ(s.GetAt(0), L'K');
    EXPECT_EQ(s[4], L'i');
    EXPECT_EQ(s.GetLength(), 11);
}

TEST(CStringOps, FindingFromAnIndex) {
    const CString s(L"a.b.c");
    EXPECT_EQ(s.Find(L'.'), 1);
    EXPECT_EQ(s.Find(L'.', 2), 3);
    EXPECT_EQ(s.Find(L'.', 4), -1);
    EXPECT_EQ(s.Find(L"b.c"), 2);
    EXPECT_EQ(s.Find(L"b", 3), -1);
    EXPECT_EQ(s.Find(L'x'), -1);
    EXPECT_EQ(s.Find(L'a', 99), -1);
    EXPECT_EQ(s.ReverseFind(L'.'), 3);
    EXPECT_EQ(s.ReverseFind(L'x'), -1);
    EXPECT_EQ(CString(L"SELECT TOP 2").Find(L"TOP"), 7);
}

TEST(CStringOps, EditingReturnsCountsAndLengths) {
    CString s(L"a-b-c");
    EXPECT_EQ(s.Replace(L'-', L'+'), 2);
    EXPECT_EQ(s, L"a+b+c");
    CString q(L"O'Brien's");
    EXPECT_EQ(q.Replace(L"'", L"''"), 2);
    EXPECT_EQ(q, L"O''Brien''s");
    EXPECT_EQ(q.Replace(L"", L"x"), 0);
    CString r(L"aXbXXc");
    EXPECT_EQ(r.Replace(L"X", L""), 3);
    EXPECT_EQ(r, L"abc");
    EXPECT_EQ(r.Remove(L'b'), 1);
    EXPECT_EQ(r, L"ac");
    EXPECT_EQ(r.Insert(1, L'b'), 3);
    EXPECT_EQ(r.Insert(99, L"de"), 5);
    EXPECT_EQ(r, L"abcde");
    EXPECT_EQ(r.Delete(1, 2), 3);
    EXPECT_EQ(r, L"ade");
    EXPECT_EQ(r.Delete(2, 10), 2);
    EXPECT_EQ(r, L"ad");
}

TEST(CStringOps, TrimmingBlanksAndGivenCharacters) {
    CString s(L" \t Kurs \r\n");
    EXPECT_EQ(CString(s).Trim(), L"Kurs");
    EXPECT_EQ(CString(s).TrimLeft(), L"Kurs \r\n");
    EXPECT_EQ(CString(s).TrimRight(), L" \t Kurs");
    EXPECT_EQ(CString(L"xxabcxx").Trim(L'x'), L"abc");
    EXPECT_EQ(CString(L"{GUID}").Trim(L"{}"), L"GUID");
    EXPECT_EQ(CString(L"0012300").TrimLeft(L'0'), L"12300");
    EXPECT_EQ(CString(L"0012300").TrimRight(L"0"), L"00123");
    EXPECT_EQ(CString(L"    ").Trim(), L"");
}

TEST(CStringOps, TokenizeAndSpans) {
    const CString s(L";Hans Muster;;Bern,3000,");
    int pos = 0;
    std::vector<std::wstring> tokens;
    for (CString t = s.Tokenize(L";,", pos); pos != -1; t = s.Tokenize(L";,", pos)) tokens.push_back(t.wstr());
    EXPECT_EQ(tokens, (std::vector<std::wstring>{L"Hans Muster", L"Bern", L"3000"}));
    EXPECT_EQ(CString(L"123abc").SpanIncluding(L"0123456789"), L"123");
    EXPECT_EQ(CString(L"Name=Wert").SpanExcluding(L"=;"), L"Name");
    EXPECT_EQ(CString(L"ohne").SpanExcluding(L"="), L"ohne");
}

TEST(CStringOps, BufferAccessForCApis) {
    CString s;
    wchar_t* p = s.GetBuffer(32);
    std::swprintf(p, 33, L"%ls-%d", L"abc", 7);
    s.ReleaseBuffer();
    EXPECT_EQ(s, L"abc-7");
    EXPECT_EQ(s.GetLength(), 5);
    p = s.GetBufferSetLength(3);
    p[0] = L'x';
    s.ReleaseBuffer(2);
    EXPECT_EQ(s, L"xb");
    CString t(L"keep");
    t.GetBuffer(2);  // smaller than the text: nothing lost
    t.ReleaseBuffer();
    EXPECT_EQ(t, L"keep");
}

TEST(CStringOps, ConstructionConcatenationAndComparison) {
    EXPECT_EQ(CString("Gr\xC3\xBC\xC3\x9F" "e"), L"Grüße");
    EXPECT_EQ(CString(L'-', 3), L"---");
    EXPECT_EQ(CString(static_cast<const wchar_t*>(nullptr)), L"");
    CString a(L"Kurs");
    CString b = a + L"-" + CString(L"Instanz") + L'!';
    EXPECT_EQ(b, L"Kurs-Instanz!");
    EXPECT_TRUE(L"Kurs" == a);
    EXPECT_TRUE(a != L"kurs");
    EXPECT_TRUE(CString(L"A") < CString(L"B"));
    EXPECT_TRUE(CString(L"Z") < L"a");
    a += a;  // appending itself
    EXPECT_EQ(a, L"KursKurs");
    a = a.GetString() + 4;  // assigning a piece of itself
    EXPECT_EQ(a, L"Kurs");
    const wchar_t* raw = a;
    EXPECT_EQ(std::wcslen(raw), 4u);
    BSTR bs = a.AllocSysString();
    EXPECT_EQ(SysStringLen(bs), 4u);
    EXPECT_STREQ(bs, L"Kurs");
    SysFreeString(bs);
}

TEST(CStringOps, ExtractSubStringSplitsMenuFields) {
    CString out;
    EXPECT_TRUE(AfxExtractSubString(out, L"Kurse\nKursansicht\n3", 1));
    EXPECT_EQ(out, L"Kursansicht");
    EXPECT_TRUE(AfxExtractSubString(out, L"Kurse\nKursansicht\n3", 2));
    EXPECT_EQ(out, L"3");
    EXPECT_FALSE(AfxExtractSubString(out, L"Kurse\nKursansicht\n3", 3));
    EXPECT_EQ(out, L"");
    EXPECT_TRUE(AfxExtractSubString(out, L"Hans  Muster", 1, L' '));
    EXPECT_EQ(out, L"");
    EXPECT_TRUE(AfxExtractSubString(out, L"Hans  Muster", 2, L' '));
    EXPECT_EQ(out, L"Muster");
}

TEST(StringTable, ResourceHandleChoosesTheTable) {
    static int german, french;
    const HINSTANCE de = reinterpret_cast<HINSTANCE>(&german);
    const HINSTANCE fr = reinterpret_cast<HINSTANCE>(&french);
    qv::RegisterStringTable(de, {{509, L"Der Kurs ist geschlossen."}, {510, L"Warteliste"}});
    qv::RegisterStringTable(fr, {{509, L"Le cours est fermé."}});
    const HINSTANCE before = AfxGetResourceHandle();

    AfxSetResourceHandle(de);
    CString s;
    EXPECT_TRUE(s.LoadString(509));
    EXPECT_EQ(s, L"Der Kurs ist geschlossen.");
    AfxSetResourceHandle(fr);
    EXPECT_TRUE(s.LoadString(509));
    EXPECT_EQ(s, L"Le cours est fermé.");
    EXPECT_FALSE(s.LoadString(510));  // not in this table: the string stays as it was
    EXPECT_EQ(s, L"Le cours est fermé.");

    wchar_t buf[8];
    EXPECT_EQ(LoadStringW(de, 510, buf, 8), 7);
    EXPECT_STREQ(buf, L"Warteli");
    EXPECT_EQ(LoadStringW(de, 999, buf, 8), 0);
    EXPECT_STREQ(buf, L"");

    AfxSetResourceHandle(de);
    EXPECT_EQ(CString(reinterpret_cast<LPCWSTR>(std::uintptr_t(510))), L"Warteliste");
    qv::UnregisterStringTable(fr);
    EXPECT_EQ(LoadStringW(fr, 509, buf, 8), 0);
    AfxSetResourceHandle(before);
}
