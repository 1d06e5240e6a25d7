#include "textcase.h"
#include <clocale>
#include <cwctype>
#include <locale.h>
#include <wctype.h>

namespace qv {
namespace {

// A locale object for the characters outside our table; made once, never installed, so the
// process's own setlocale state is neither needed nor touched.
locale_t Utf8Locale() {
    static const locale_t loc = [] {
        for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8", "de_CH.UTF-8", "de_DE.UTF-8"}) {
            if (locale_t l = newlocale(LC_CTYPE_MASK, name, locale_t(0))) return l;
        }
        return locale_t(0);
    }();
    return loc;
}

// Latin-1 Supplement, Latin Extended-A and the paired parts of Latin Extended-B.
// Returns true when c lies in the table's range (then 'out' is the mapped character).
bool TableUpper(wchar_t c, wchar_t& out) {
    const unsigned u = static_cast<unsigned>(c);
    out = c;
    if (u < 0x80) {
        if (u >= 'a' && u <= 'z') out = wchar_t(u - 32);
        return true;
    }
    if (u < 0xC0) return u >= 0xA0;  // signs and symbols; micro sign stays
    if (u <= 0xFF) {
        if (u >= 0xE0 && u != 0xF7 && u != 0xFF) out = wchar_t(u - 32);
        else if (u == 0xFF) out = wchar_t(0x178);
        return true;  // 0xDF (sharp s) has no single capital
    }
    if (u <= 0x17F) {
        if (u == 0x131) out = L'I';
        else if (u == 0x17F) out = L'S';
        else if ((u >= 0x100 && u <= 0x137) || (u >= 0x14A && u <= 0x177)) {
            if (u & 1) out = wchar_t(u - 1);
        } else if ((u >= 0x139 && u <= 0x148) || (u >= 0x179 && u <= 0x17E)) {
            if (!(u & 1)) out = wchar_t(u - 1);
        }
        return true;
    }
    if ((u >= 0x1CD && u <= 0x1DC)) {
        if (!(u & 1)) out = wchar_t(u - 1);
        return true;
    }
    if ((u >= 0x1DE && u <= 0x1EF) || (u >= 0x1F8 && u <= 0x21F) || (u >= 0x222 && u <= 0x233)) {
        if (u & 1) out = wchar_t(u - 1);
        return true;
    }
    return false;
}

bool TableLower(wchar_t c, wchar_t& out) {
    const unsigned u = static_cast<unsigned>(c);
    out = c;
    if (u < 0x80) {
        if (u >= 'A' && u <= 'Z') out = wchar_t(u + 32);
        return true;
    }
    if (u < 0xC0) return u >= 0xA0;
    if (u <= 0xFF) {
        if (u <= 0xDE && u != 0xD7) out = wchar_t(u + 32);
        return true;
    }
    if (u <= 0x17F) {
        if (u == 0x130) out = L'i';
        else if (u == 0x178) out = wchar_t(0xFF);
        else if ((u >= 0x100 && u <= 0x137) || (u >= 0x14A && u <= 0x177)) {
            if (!(u & 1)) out = wchar_t(u + 1);
        } else if ((u >= 0x139 && u <= 0x148) || (u >= 0x179 && u <= 0x17E)) {
            if (u & 1) out = wchar_t(u + 1);
        }
        return true;
    }
    if ((u >= 0x1CD && u <= 0x1DC)) {
        if (u & 1) out = wchar_t(u + 1);
        return true;
    }
    if ((u >= 0x1DE && u <= 0x1EF) || (u >= 0x1F8 && u <= 0x21F) || (u >= 0x222 && u <= 0x233)) {
        if (!(u & 1)) out = wchar_t(u + 1);
        return true;
    }
    return false;
}

}  // namespace

wchar_t ToUpper(wchar_t c) {
    wchar_t r;
    if (TableUpper(c, r)) return r;
    if (locale_t l = Utf8Locale()) return static_cast<wchar_t>(towupper_l(static_cast<wint_t>(c), l));
    return c;
}

wchar_t ToLower(wchar_t c) {
    wchar_t r;
    if (TableLower(c, r)) return r;
    if (locale_t l = Utf8Locale()) return static_cast<wchar_t>(towlower_l(static_cast<wint_t>(c), l));
    return c;
}

std::wstring ToUpper(std::wstring_view s) {
    std::wstring r(s);
    for (auto& c : r) c = ToUpper(c);
    return r;
}

std::wstring ToLower(std::wstring_view s) {
    std::wstring r(s);
    for (auto& c : r) c = ToLower(c);
    return r;
}

int CompareNoCase(std::wstring_view a, std::wstring_view b) {
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned>(ToLower(a[i]));
        const auto y = static_cast<unsigned>(ToLower(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace qv
