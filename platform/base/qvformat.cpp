#include "qvformat.h"
#include "utf.h"
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <locale.h>

namespace qv {
namespace {

// Number text is always made in the "C" locale: decimal point '.', whatever the user's settings.
class CLocaleScope {
public:
    CLocaleScope() {
        static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t(0));
        old_ = c ? uselocale(c) : locale_t(0);
    }
    ~CLocaleScope() {
        if (old_) uselocale(old_);
    }

private:
    locale_t old_;
};

struct Spec {
    bool left = false, plus = false, space = false, zero = false, alt = false;
    int width = -1;
    int precision = -1;
    int bits = 32;  // width of an integer argument as Windows reads it
    wchar_t conv = 0;
};

void AppendAscii(std::wstring& out, const char* s, int n) {
    for (int i = 0; i < n; ++i) out += wchar_t(static_cast<unsigned char>(s[i]));
}

void Pad(std::wstring& out, std::wstring_view text, const Spec& sp) {
    const size_t width = sp.width > 0 ? size_t(sp.width) : 0;
    if (text.size() >= width) {
        out += text;
        return;
    }
    if (sp.left) {
        out += text;
        out.append(width - text.size(), L' ');
    } else {
        out.append(width - text.size(), L' ');
        out += text;
    }
}

std::string NarrowSpec(const Spec& sp, const char* length, char conv) {
    std::string f = "%";
    if (sp.left) f += '-';
    if (sp.plus) f += '+';
    if (sp.space) f += ' ';
    if (sp.zero) f += '0';
    if (sp.alt) f += '#';
    if (sp.width >= 0) f += std::to_string(sp.width);
    if (sp.precision >= 0) f += '.' + std::to_string(sp.precision);
    f += length;
    f += conv;
    return f;
}

template <class T>
void AppendPrintf(std::wstring& out, const std::string& spec, T value) {
    CLocaleScope c;
    char buf[512];
    int n = std::snprintf(buf, sizeof buf, spec.c_str(), value);
    if (n < 0) return;
    if (size_t(n) < sizeof buf) {
        AppendAscii(out, buf, n);
        return;
    }
    std::string big(size_t(n) + 1, '\0');
    std::snprintf(big.data(), big.size(), spec.c_str(), value);
    AppendAscii(out, big.data(), n);
}

void AppendPointer(std::wstring& out, const Spec& sp, unsigned long long v) {
    char buf[32];
    int n = std::snprintf(buf, sizeof buf, "%016llX", v);
    std::wstring w;
    AppendAscii(w, buf, n);
    Pad(out, w, sp);
}

void AppendString(std::wstring& out, const Spec& sp, const FormatArg& a) {
    std::wstring tmp;
    std::wstring_view text;
    if (a.isNull) {
        text = L"(null)";
    } else if (a.kind == FormatArg::Wide) {
        text = a.w;
    } else {
        tmp = FromUtf8(a.n);
        text = tmp;
    }
    if (sp.precision >= 0 && text.size() > size_t(sp.precision)) text = text.substr(0, size_t(sp.precision));
    Pad(out, text, sp);
}

wchar_t CharFromCode(unsigned long long code) {
    if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return wchar_t(0xFFFD);
    return wchar_t(code);
}

void AppendNatural(std::wstring& out, const Spec& sp, const FormatArg& a);

void AppendInteger(std::wstring& out, Spec sp, const FormatArg& a) {
    long long sv = 0;
    unsigned long long uv = 0;
    bool isSigned = true;
    switch (a.kind) {
    case FormatArg::Signed: sv = a.i; break;
    case FormatArg::Unsigned:
    case FormatArg::Char:
    case FormatArg::Pointer: uv = a.u; isSigned = false; break;
    case FormatArg::Float:
        // A double for %d: its whole part, as a cast would give; anything else printed as a number.
        if (std::isfinite(a.d) && a.d > -9.2e18 && a.d < 9.2e18) {
            sv = static_cast<long long>(a.d);
        } else {
            Spec g = sp;
            g.conv = L'g';
            g.precision = -1;
            AppendPrintf(out, NarrowSpec(g, "", 'g'), a.d);
            return;
        }
        break;
    default: AppendNatural(out, sp, a); return;
    }
    const bool signedConv = sp.conv == L'd' || sp.conv == L'i';
    // Windows reads 32 bits for %d and %ld. A value that fits in those bits is reduced to them
    // (so -1 prints as FFFFFFFF with %X); one that does not is printed whole instead of cut.
    if (sp.bits < 64) {
        const long long lo = -(1LL << (sp.bits - 1));
        const unsigned long long hi = (sp.bits == 64) ? ~0ULL : ((1ULL << sp.bits) - 1);
        const bool fits = isSigned ? (sv >= lo && (sv < 0 || static_cast<unsigned long long>(sv) <= hi))
                                   : uv <= hi;
        if (fits) {
            unsigned long long raw = isSigned ? static_cast<unsigned long long>(sv) : uv;
            raw &= hi;
            if (signedConv) {
                const unsigned long long signBit = 1ULL << (sp.bits - 1);
                sv = (raw & signBit) ? static_cast<long long>(raw) - static_cast<long long>(hi) - 1
                                     : static_cast<long long>(raw);
                isSigned = true;
            } else {
                uv = raw;
                isSigned = false;
            }
        }
    }
    char conv = static_cast<char>(sp.conv);
    if (signedConv) {
        if (isSigned) {
            AppendPrintf(out, NarrowSpec(sp, "ll", 'd'), sv);
        } else if (uv <= static_cast<unsigned long long>(std::numeric_limits<long long>::max())) {
            AppendPrintf(out, NarrowSpec(sp, "ll", 'd'), static_cast<long long>(uv));
        } else {
            AppendPrintf(out, NarrowSpec(sp, "ll", 'u'), uv);
        }
    } else {
        if (isSigned) uv = static_cast<unsigned long long>(sv);
        AppendPrintf(out, NarrowSpec(sp, "ll", conv), uv);
    }
}

void AppendFloat(std::wstring& out, const Spec& sp, const FormatArg& a) {
    double v;
    switch (a.kind) {
    case FormatArg::Float: v = a.d; break;
    case FormatArg::Signed: v = static_cast<double>(a.i); break;
    case FormatArg::Unsigned:
    case FormatArg::Char: v = static_cast<double>(a.u); break;
    default: AppendNatural(out, sp, a); return;
    }
    AppendPrintf(out, NarrowSpec(sp, "", static_cast<char>(sp.conv)), v);
}

void AppendChar(std::wstring& out, const Spec& sp, const FormatArg& a) {
    switch (a.kind) {
    case FormatArg::Char:
    case FormatArg::Unsigned: {
        wchar_t c = CharFromCode(a.u);
        Pad(out, std::wstring_view(&c, 1), sp);
        return;
    }
    case FormatArg::Signed: {
        wchar_t c = a.i < 0 ? wchar_t(0xFFFD) : CharFromCode(static_cast<unsigned long long>(a.i));
        Pad(out, std::wstring_view(&c, 1), sp);
        return;
    }
    default: AppendNatural(out, sp, a); return;
    }
}

// The argument as what it is, for a conversion that does not fit it.
void AppendNatural(std::wstring& out, const Spec& sp, const FormatArg& a) {
    Spec s = sp;
    switch (a.kind) {
    case FormatArg::Wide:
    case FormatArg::Narrow: AppendString(out, s, a); return;
    case FormatArg::Char: AppendChar(out, s, a); return;
    case FormatArg::Pointer:
        if (a.isNull) {
            s.precision = -1;
            Pad(out, L"(null)", s);
        } else {
            AppendPointer(out, s, a.u);
        }
        return;
    case FormatArg::Signed:
    case FormatArg::Unsigned:
        s.conv = L'd';
        s.bits = 64;
        s.precision = -1;
        AppendInteger(out, s, a);
        return;
    case FormatArg::Float:
        s.precision = -1;
        AppendPrintf(out, NarrowSpec(s, "", 'g'), a.d);
        return;
    case FormatArg::None: return;
    }
}

// Reads an int argument for '*'; false when none is left.
bool StarArg(const FormatArg* args, std::size_t count, std::size_t& next, int& value) {
    if (next >= count) return false;
    const FormatArg& a = args[next++];
    switch (a.kind) {
    case FormatArg::Signed: value = static_cast<int>(a.i); break;
    case FormatArg::Unsigned:
    case FormatArg::Char: value = static_cast<int>(a.u); break;
    case FormatArg::Float: value = std::isfinite(a.d) ? static_cast<int>(a.d) : 0; break;
    default: value = 0; break;
    }
    if (value > 4096) value = 4096;  // a width beyond reason is a caller's slip, not a request
    if (value < -4096) value = -4096;
    return true;
}

}  // namespace

void FormatArgsTo(std::wstring& out, std::wstring_view fmt, const FormatArg* args, std::size_t count) {
    std::size_t next = 0;
    std::size_t i = 0;
    const std::size_t n = fmt.size();
    while (i < n) {
        const wchar_t c = fmt[i];
        if (c != L'%') {
            const std::size_t pct = fmt.find(L'%', i);
            const std::size_t end = pct == std::wstring_view::npos ? n : pct;
            out.append(fmt.substr(i, end - i));
            i = end;
            continue;
        }
        const std::size_t start = i++;
        if (i < n && fmt[i] == L'%') {
            out += L'%';
            ++i;
            continue;
        }
        Spec sp;
        bool missing = false;
        for (; i < n; ++i) {
            const wchar_t f = fmt[i];
            if (f == L'-') sp.left = true;
            else if (f == L'+') sp.plus = true;
            else if (f == L' ') sp.space = true;
            else if (f == L'0') sp.zero = true;
            else if (f == L'#') sp.alt = true;
            else break;
        }
        if (i < n && fmt[i] == L'*') {
            ++i;
            int w = 0;
            if (!StarArg(args, count, next, w)) missing = true;
            if (w < 0) {
                sp.left = true;
                w = -w;
            }
            sp.width = w;
        } else {
            int w = -1;
            while (i < n && fmt[i] >= L'0' && fmt[i] <= L'9') {
                w = (w < 0 ? 0 : w) * 10 + (fmt[i] - L'0');
                if (w > 4096) w = 4096;
                ++i;
            }
            sp.width = w;
        }
        if (i < n && fmt[i] == L'.') {
            ++i;
            if (i < n && fmt[i] == L'*') {
                ++i;
                int p = 0;
                if (!StarArg(args, count, next, p)) missing = true;
                sp.precision = p < 0 ? -1 : p;
            } else {
                int p = 0;
                while (i < n && fmt[i] >= L'0' && fmt[i] <= L'9') {
                    p = p * 10 + (fmt[i] - L'0');
                    if (p > 4096) p = 4096;
                    ++i;
                }
                sp.precision = p;
            }
        }
        // Size prefixes, in the spellings of both runtimes.
        if (i < n) {
            const std::wstring_view rest = fmt.substr(i);
            if (rest.starts_with(L"I64")) { sp.bits = 64; i += 3; }
            else if (rest.starts_with(L"I32")) { sp.bits = 32; i += 3; }
            else if (rest.starts_with(L"ll")) { sp.bits = 64; i += 2; }
            else if (rest.starts_with(L"hh")) { sp.bits = 8; i += 2; }
            else if (rest[0] == L'I' || rest[0] == L'z' || rest[0] == L't' || rest[0] == L'j' || rest[0] == L'L' || rest[0] == L'q') { sp.bits = 64; ++i; }
            else if (rest[0] == L'h') { sp.bits = 16; ++i; }
            else if (rest[0] == L'l' || rest[0] == L'w') { ++i; }
        }
        if (i >= n) {
            out.append(fmt.substr(start));
            break;
        }
        sp.conv = fmt[i++];
        const bool known = std::wstring_view(L"cCdiouxXeEfFgGaAnpsSZ").find(sp.conv) != std::wstring_view::npos;
        if (!known) {
            out.append(fmt.substr(start, i - start));
            continue;
        }
        if (missing || next >= count) {
            // Too few arguments: the conversion stays visible instead of reading garbage.
            out.append(fmt.substr(start, i - start));
            next = count;
            continue;
        }
        const FormatArg& a = args[next++];
        switch (sp.conv) {
        case L'd': case L'i': case L'o': case L'u': case L'x': case L'X':
            AppendInteger(out, sp, a);
            break;
        case L'e': case L'E': case L'f': case L'F': case L'g': case L'G': case L'a': case L'A':
            AppendFloat(out, sp, a);
            break;
        case L'c': case L'C':
            AppendChar(out, sp, a);
            break;
        case L's': case L'S': case L'Z':
            if (a.kind == FormatArg::Wide || a.kind == FormatArg::Narrow || (a.kind == FormatArg::Pointer && a.isNull)) {
                FormatArg s = a;
                if (a.kind == FormatArg::Pointer) s.kind = FormatArg::Wide;
                AppendString(out, sp, s);
            } else {
                AppendNatural(out, sp, a);
            }
            break;
        case L'p':
            if (a.kind == FormatArg::Pointer || a.kind == FormatArg::Unsigned || a.kind == FormatArg::Signed)
                AppendPointer(out, sp, a.kind == FormatArg::Signed ? static_cast<unsigned long long>(a.i) : a.u);
            else
                AppendNatural(out, sp, a);
            break;
        case L'n':
            break;  // never writes through an argument
        }
    }
}

}  // namespace qv
