#include "olevariant.h"
#include <gtest/gtest.h>
#include <cstring>
#include <initializer_list>
#include <utility>
#include "utf.h"

namespace {

// An object that counts its references and records its destruction instead of deleting itself.
struct CountedObject : IUnknown {
    LONG refs = 1;
    int destroyed = 0;
    HRESULT QueryInterface(const IID& iid, void** ppv) override {
        if (iid == IID_IUnknown) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ULONG(++refs); }
    ULONG Release() override {
        if (--refs == 0) ++destroyed;
        return ULONG(refs < 0 ? 0 : refs);
    }
};

VARIANT Var(VARTYPE vt) {
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    return v;
}

VARIANT Text(const wchar_t* s) {
    VARIANT v = Var(VT_BSTR);
    v.bstrVal = SysAllocString(s);
    return v;
}

// Converts and returns the result code; 'out' holds the value (owned by the caller).
HRESULT To(VARTYPE vt, const VARIANT& in, VARIANT& out, USHORT flags = 0) {
    VariantInit(&out);
    return VariantChangeType(&out, &in, flags, vt);
}

std::wstring AsText(const VARIANT& in, USHORT flags = 0) {
    VARIANT out;
    if (FAILED(To(VT_BSTR, in, out, flags))) return L"<failed>";
    std::wstring s(out.bstrVal, SysStringLen(out.bstrVal));
    VariantClear(&out);
    return s;
}

}  // namespace

TEST(Bstr, LengthPrefixedAndNullSafe) {
    BSTR a = SysAllocString(L"Kurs");
    EXPECT_EQ(SysStringLen(a), 4u);
    EXPECT_EQ(SysStringByteLen(a), 4u * sizeof(OLECHAR));
    EXPECT_EQ(a[4], L'\0');
    const wchar_t withNull[] = {L'a', L'\0', L'b'};
    BSTR b = SysAllocStringLen(withNull, 3);
    EXPECT_EQ(SysStringLen(b), 3u);
    EXPECT_EQ(b[2], L'b');
    BSTR zeros = SysAllocStringLen(nullptr, 2);
    EXPECT_EQ(zeros[0], L'\0');
    EXPECT_EQ(SysStringLen(zeros), 2u);
    ASSERT_TRUE(SysReAllocString(&a, a + 2));  // from a piece of itself
    EXPECT_STREQ(a, L"rs");
    EXPECT_EQ(SysStringLen(a), 2u);
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    SysFreeString(nullptr);
    SysFreeString(a);
    SysFreeString(b);
    SysFreeString(zeros);
}

TEST(Variant, CopyAndClearOwnTheirText) {
    VARIANT a = Text(L"Müller");
    VARIANT b;
    VariantInit(&b);
    ASSERT_EQ(VariantCopy(&b, &a), S_OK);
    EXPECT_NE(b.bstrVal, a.bstrVal);
    a.bstrVal[0] = L'X';
    EXPECT_STREQ(b.bstrVal, L"Müller");
    // Copying over a variant that holds text frees that text first (no leak, no double free).
    VARIANT c = Text(L"alt");
    ASSERT_EQ(VariantCopy(&c, &b), S_OK);
    EXPECT_STREQ(c.bstrVal, L"Müller");
    EXPECT_EQ(VariantCopy(&c, &c), S_OK);
    EXPECT_STREQ(c.bstrVal, L"Müller");
    EXPECT_EQ(VariantClear(&a), S_OK);
    EXPECT_EQ(a.vt, VT_EMPTY);
    VariantClear(&b);
    VariantClear(&c);
    VARIANT bad = Var(0x7FF);
    EXPECT_EQ(VariantClear(&bad), DISP_E_BADVARTYPE);
}

TEST(Variant, InterfaceReferencesReachZeroExactlyOnce) {
    CountedObject obj;
    {
        VARIANT v = Var(VT_UNKNOWN);
        v.punkVal = &obj;  // takes over the creator's reference
        VARIANT copy;
        VariantInit(&copy);
        ASSERT_EQ(VariantCopy(&copy, &v), S_OK);
        EXPECT_EQ(obj.refs, 2);
        COleVariant owner(copy);
        EXPECT_EQ(obj.refs, 3);
        COleVariant second = owner;
        EXPECT_EQ(obj.refs, 4);
        VARIANT asUnknown;
        VariantInit(&asUnknown);
        EXPECT_EQ(VariantChangeType(&asUnknown, &v, 0, VT_UNKNOWN), S_OK);  // same type: a copy
        EXPECT_EQ(obj.refs, 5);
        VariantClear(&asUnknown);
        VariantClear(&copy);
        VariantClear(&v);
        EXPECT_EQ(obj.refs, 2);
        EXPECT_EQ(obj.destroyed, 0);
        second.Clear();
        second.Clear();  // a cleared variant holds nothing more to release
        EXPECT_EQ(obj.refs, 1);
    }
    EXPECT_EQ(obj.refs, 0);
    EXPECT_EQ(obj.destroyed, 1);
}

TEST(Variant, ByteArraysAreCopiedDeeply) {
    SAFEARRAY* sa = SafeArrayCreateVector(VT_UI1, 0, 4);
    ASSERT_NE(sa, nullptr);
    void* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(sa, &data), S_OK);
    std::memcpy(data, "\x89PNG", 4);
    EXPECT_EQ(SafeArrayDestroy(sa), DISP_E_ARRAYISLOCKED);
    ASSERT_EQ(SafeArrayUnaccessData(sa), S_OK);
    LONG ub = 0;
    ASSERT_EQ(SafeArrayGetUBound(sa, 1, &ub), S_OK);
    EXPECT_EQ(ub, 3);
    EXPECT_EQ(SafeArrayGetUBound(sa, 2, &ub), DISP_E_BADINDEX);

    COleVariant picture;
    picture.vt = VT_ARRAY | VT_UI1;
    picture.parray = sa;
    COleVariant copy = picture;
    ASSERT_NE(copy.parray, picture.parray);
    EXPECT_TRUE(copy == picture);
    ASSERT_EQ(SafeArrayAccessData(copy.parray, &data), S_OK);
    static_cast<BYTE*>(data)[0] = 0;
    SafeArrayUnaccessData(copy.parray);
    EXPECT_FALSE(copy == picture);
    EXPECT_EQ(SafeArrayCreateVector(VT_BSTR, 0, 1), nullptr);
}

TEST(VariantChangeType, NumbersAndTextInTheCLocale) {
    VARIANT i4 = Var(VT_I4);
    i4.lVal = -42;
    EXPECT_EQ(AsText(i4), L"-42");
    VARIANT r8 = Var(VT_R8);
    r8.dblVal = 0.1;
    EXPECT_EQ(AsText(r8), L"0.1");
    r8.dblVal = 1234567.25;
    EXPECT_EQ(AsText(r8), L"1234567.25");
    VARIANT cy = Var(VT_CY);
    cy.cyVal.int64 = 125000;
    EXPECT_EQ(AsText(cy), L"12.5");
    VARIANT ui8 = Var(VT_UI8);
    ui8.ullVal = 18446744073709551615ULL;
    EXPECT_EQ(AsText(ui8), L"18446744073709551615");

    VARIANT out;
    VARIANT t = Text(L" 12 ");
    ASSERT_EQ(To(VT_I4, t, out), S_OK);
    EXPECT_EQ(out.vt, VT_I4);
    EXPECT_EQ(out.lVal, 12);
    VariantClear(&t);
    // Halves round to even, as the automation runtime does.
    for (auto [text, expect] : std::initializer_list<std::pair<const wchar_t*, int>>{
             {L"1.5", 2}, {L"2.5", 2}, {L"-2.5", -2}, {L"3.5", 4}, {L"1e3", 1000}}) {
        t = Text(text);
        ASSERT_EQ(To(VT_I4, t, out), S_OK) << qv::ToUtf8(text);
        EXPECT_EQ(out.lVal, expect) << qv::ToUtf8(text);
        VariantClear(&t);
    }
    t = Text(L"12.34567");
    ASSERT_EQ(To(VT_CY, t, out), S_OK);
    EXPECT_EQ(out.cyVal.int64, 123457);
    VariantClear(&t);
    t = Text(L"-0.00005");
    ASSERT_EQ(To(VT_CY, t, out), S_OK);
    EXPECT_EQ(out.cyVal.int64, 0);
    VariantClear(&t);
    t = Text(L"3,5");  // no thousands or decimal commas in the "C" locale
    EXPECT_EQ(To(VT_R8, t, out), DISP_E_TYPEMISMATCH);
    VariantClear(&t);
    r8.dblVal = 2.5;
    ASSERT_EQ(To(VT_I2, r8, out), S_OK);
    EXPECT_EQ(out.iVal, 2);
    cy.cyVal.int64 = 35000;
    ASSERT_EQ(To(VT_I4, cy, out), S_OK);
    EXPECT_EQ(out.lVal, 4);
}

TEST(VariantChangeType, RangeAndTypeFailuresLeaveTheTargetAlone) {
    VARIANT target;
    VariantInit(&target);
    target.vt = VT_I4;
    target.lVal = 7;
    VARIANT big = Var(VT_I4);
    big.lVal = 300;
    EXPECT_EQ(VariantChangeType(&target, &big, 0, VT_UI1), DISP_E_OVERFLOW);
    EXPECT_EQ(target.vt, VT_I4);
    EXPECT_EQ(target.lVal, 7);
    VARIANT neg = Var(VT_I4);
    neg.lVal = -1;
    EXPECT_EQ(VariantChangeType(&target, &neg, 0, VT_UI4), DISP_E_OVERFLOW);
    VARIANT huge = Var(VT_R8);
    huge.dblVal = 3e9;
    EXPECT_EQ(VariantChangeType(&target, &huge, 0, VT_I4), DISP_E_OVERFLOW);
    VARIANT word = Text(L"abc");
    EXPECT_EQ(VariantChangeType(&target, &word, 0, VT_I4), DISP_E_TYPEMISMATCH);
    VariantClear(&word);
    VARIANT null = Var(VT_NULL);
    EXPECT_EQ(VariantChangeType(&target, &null, 0, VT_I4), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(VariantChangeType(&target, &null, 0, VT_BSTR), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(target.lVal, 7);
    EXPECT_EQ(VariantChangeType(&target, &big, 0, 0x7FF), DISP_E_BADVARTYPE);
}

TEST(VariantChangeType, EmptyBoolAndDate) {
    VARIANT out;
    VARIANT empty = Var(VT_EMPTY);
    ASSERT_EQ(To(VT_I4, empty, out), S_OK);
    EXPECT_EQ(out.lVal, 0);
    EXPECT_EQ(AsText(empty), L"");
    ASSERT_EQ(To(VT_DATE, empty, out), S_OK);
    EXPECT_EQ(out.date, 0.0);

    VARIANT b = Var(VT_BOOL);
    b.boolVal = VARIANT_TRUE;
    ASSERT_EQ(To(VT_I4, b, out), S_OK);
    EXPECT_EQ(out.lVal, -1);
    EXPECT_EQ(AsText(b), L"-1");
    EXPECT_EQ(AsText(b, VARIANT_ALPHABOOL), L"True");
    VARIANT t = Text(L" false ");
    ASSERT_EQ(To(VT_BOOL, t, out), S_OK);
    EXPECT_EQ(out.boolVal, VARIANT_FALSE);
    VariantClear(&t);
    t = Text(L"2");
    ASSERT_EQ(To(VT_BOOL, t, out), S_OK);
    EXPECT_EQ(out.boolVal, VARIANT_TRUE);
    VariantClear(&t);

    VARIANT d = Var(VT_DATE);
    d.date = COleDateTime(2000, 2, 29, 12, 30, 0).m_dt;
    EXPECT_EQ(AsText(d), L"29.02.2000 12:30:00");
    d.date = COleDateTime(2000, 2, 29, 0, 0, 0).m_dt;
    EXPECT_EQ(AsText(d), L"29.02.2000");
    t = Text(L"2000-02-29 12:30:00");
    ASSERT_EQ(To(VT_DATE, t, out), S_OK);
    EXPECT_DOUBLE_EQ(out.date, 36585.0 + 12.5 / 24);
    VariantClear(&t);
    t = Text(L"30.02.2000");
    EXPECT_EQ(To(VT_DATE, t, out), DISP_E_TYPEMISMATCH);
    VariantClear(&t);
    VARIANT far = Var(VT_R8);
    far.dblVal = 3e6;
    EXPECT_EQ(To(VT_DATE, far, out), DISP_E_OVERFLOW);
    ASSERT_EQ(To(VT_I4, d, out), S_OK);
    EXPECT_EQ(out.lVal, 36585);
}

TEST(VariantChangeType, InPlaceAndThroughReferences) {
    VARIANT v = Text(L"  17");
    ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_I4), S_OK);  // frees the text it converted
    EXPECT_EQ(v.vt, VT_I4);
    EXPECT_EQ(v.lVal, 17);

    VARIANT inner = Text(L"5");
    VARIANT ref = Var(VT_VARIANT | VT_BYREF);
    ref.pvarVal = &inner;
    VARIANT out;
    ASSERT_EQ(To(VT_I2, ref, out), S_OK);
    EXPECT_EQ(out.iVal, 5);
    VARIANT copy;
    VariantInit(&copy);
    ASSERT_EQ(VariantCopyInd(&copy, &ref), S_OK);
    EXPECT_EQ(copy.vt, VT_BSTR);
    EXPECT_NE(copy.bstrVal, inner.bstrVal);
    VariantClear(&copy);
    ASSERT_EQ(VariantClear(&ref), S_OK);  // a reference owns nothing
    EXPECT_STREQ(inner.bstrVal, L"5");
    LONG n = 9;
    VARIANT lref = Var(VT_I4 | VT_BYREF);
    lref.plVal = &n;
    EXPECT_EQ(AsText(lref), L"9");
    VariantClear(&inner);
}

TEST(OleVariant, ConstructionComparisonAndOwnership) {
    EXPECT_EQ(COleVariant(7L).vt, VT_I4);
    EXPECT_EQ(COleVariant(7).lVal, 7);
    const COleVariant flag(1L, VT_BOOL);
    EXPECT_EQ(flag.vt, VT_BOOL);
    EXPECT_EQ(flag.boolVal, VARIANT_TRUE);
    EXPECT_EQ(COleVariant(true).boolVal, VARIANT_TRUE);
    const COleVariant missing(long(DISP_E_PARAMNOTFOUND), VT_ERROR);
    EXPECT_EQ(missing.vt, VT_ERROR);
    EXPECT_EQ(missing.scode, DISP_E_PARAMNOTFOUND);
    EXPECT_EQ(COleVariant(short(3)).vt, VT_I2);
    EXPECT_EQ(COleVariant(BYTE(3)).vt, VT_UI1);
    EXPECT_EQ(COleVariant(2.5).vt, VT_R8);
    const COleVariant text(CString(L"Kurs"));
    EXPECT_EQ(text.vt, VT_BSTR);
    EXPECT_STREQ(text.bstrVal, L"Kurs");
    EXPECT_TRUE(text == COleVariant(L"Kurs"));
    EXPECT_FALSE(text == COleVariant(L"kurs"));
    EXPECT_FALSE(COleVariant(1L) == COleVariant(short(1)));  // same value, other type
    const COleVariant date(COleDateTime(2026, 3, 7, 0, 0, 0));
    EXPECT_EQ(date.vt, VT_DATE);
    EXPECT_EQ(COleDateTime(static_cast<const VARIANT&>(date)), COleDateTime(2026, 3, 7, 0, 0, 0));

    COleVariant v(L"42");
    EXPECT_EQ(v.ChangeType(VT_I4), S_OK);
    EXPECT_EQ(v.lVal, 42);
    COleVariant w(L"zweiundvierzig");
    EXPECT_EQ(w.ChangeType(VT_I4), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(w.vt, VT_BSTR);

    VARIANT raw = Text(L"übernommen");
    COleVariant owner;
    owner.Attach(raw);
    EXPECT_EQ(raw.vt, VT_EMPTY);
    EXPECT_STREQ(owner.bstrVal, L"übernommen");
    VARIANT back = owner.Detach();
    EXPECT_EQ(owner.vt, VT_EMPTY);
    EXPECT_STREQ(back.bstrVal, L"übernommen");
    VariantClear(&back);
    owner = L"neu";
    owner = owner.bstrVal;  // assigning its own text
    EXPECT_STREQ(owner.bstrVal, L"neu");
    LPVARIANT p = owner;
    EXPECT_EQ(p->vt, VT_BSTR);
}
