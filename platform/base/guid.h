#pragma once
// GUID / CLSID / IID: the 128-bit identifiers of classes, interfaces, events and records.
#include "qvtypes.h"
#include <string>
#include <string_view>
#include <functional>

struct GUID {
    DWORD Data1 = 0;
    WORD Data2 = 0;
    WORD Data3 = 0;
    BYTE Data4[8] = {0, 0, 0, 0, 0, 0, 0, 0};

    friend bool operator==(const GUID& a, const GUID& b) noexcept;
    friend bool operator!=(const GUID& a, const GUID& b) noexcept { return !(a == b); }
    friend bool operator<(const GUID& a, const GUID& b) noexcept;
};
using CLSID = GUID;
using IID = GUID;
using REFGUID = const GUID&;
using REFCLSID = const GUID&;
using REFIID = const GUID&;
using LPGUID = GUID*;
using LPCLSID = CLSID*;

extern const GUID GUID_NULL;

inline bool IsEqualGUID(REFGUID a, REFGUID b) noexcept { return a == b; }
inline bool IsEqualIID(REFIID a, REFIID b) noexcept { return a == b; }
inline bool IsEqualCLSID(REFCLSID a, REFCLSID b) noexcept { return a == b; }

namespace qv {
// Text forms: "{0A1B2C3D-...}" (braces) or "0A1B2C3D-..." (plain), upper case unless asked.
std::wstring GuidToString(const GUID& g, bool braces = true, bool upper = true);
std::string GuidToUtf8(const GUID& g, bool braces = true, bool upper = true);
// Accepts both forms, either case, surrounding blanks; false on anything else.
bool GuidFromString(std::wstring_view text, GUID& out);
bool GuidFromString(std::string_view text, GUID& out);
// A random (version 4) GUID.
GUID NewGuid();
// Compile-time GUID from the plain text form, for interface and class ids.
constexpr GUID MakeGuid(const char (&s)[37]) {
    auto hex = [](char c) -> unsigned {
        return c >= '0' && c <= '9' ? unsigned(c - '0')
             : c >= 'a' && c <= 'f' ? unsigned(c - 'a' + 10)
             : c >= 'A' && c <= 'F' ? unsigned(c - 'A' + 10)
                                    : throw "bad hex digit in GUID";
    };
    auto rd = [&](int pos, int n) {
        unsigned long long v = 0;
        for (int i = 0; i < n; ++i) v = v * 16 + hex(s[pos + i]);
        return v;
    };
    GUID g{};
    g.Data1 = DWORD(rd(0, 8));
    g.Data2 = WORD(rd(9, 4));
    g.Data3 = WORD(rd(14, 4));
    g.Data4[0] = BYTE(rd(19, 2));
    g.Data4[1] = BYTE(rd(21, 2));
    for (int i = 0; i < 6; ++i) g.Data4[2 + i] = BYTE(rd(24 + 2 * i, 2));
    return g;
}
}  // namespace qv

template <>
struct std::hash<GUID> {
    std::size_t operator()(const GUID& g) const noexcept;
};
