#pragma once
// printf-style formatting with the Windows rules for wide templates (%s is a wide string, %S a
// narrow one, %ld is 32 bits, %I64d 64 bits), made type-safe: every argument carries its C++ type,
// so an argument that does not fit its conversion is printed as what it is, a missing argument
// leaves the conversion text in place, and nothing reads past the arguments given.
#include "qvtypes.h"
#include <cstddef>
#include <string>
#include <string_view>
#include <type_traits>

class CString;

namespace qv {

struct FormatArg {
    enum Kind : unsigned char { None, Signed, Unsigned, Float, Char, Wide, Narrow, Pointer };
    Kind kind = None;
    bool isNull = false;  // a null string pointer
    long long i = 0;
    unsigned long long u = 0;
    double d = 0;
    std::wstring_view w;
    std::string_view n;
};

template <class T>
    requires(std::is_integral_v<T> || std::is_enum_v<T>)
FormatArg MakeFormatArg(T v) {
    FormatArg a;
    if constexpr (std::is_enum_v<T>) {
        return MakeFormatArg(static_cast<std::underlying_type_t<T>>(v));
    } else if constexpr (std::is_same_v<T, bool>) {
        a.kind = FormatArg::Signed;
        a.i = v ? 1 : 0;
    } else if constexpr (std::is_same_v<T, wchar_t> || std::is_same_v<T, char> ||
                         std::is_same_v<T, char16_t> || std::is_same_v<T, char32_t> ||
                         std::is_same_v<T, char8_t>) {
        a.kind = FormatArg::Char;
        if constexpr (std::is_same_v<T, char>) a.u = static_cast<unsigned char>(v);
        else a.u = static_cast<unsigned long long>(v);
    } else if constexpr (std::is_signed_v<T>) {
        a.kind = FormatArg::Signed;
        a.i = v;
    } else {
        a.kind = FormatArg::Unsigned;
        a.u = v;
    }
    return a;
}

template <class T>
    requires std::is_floating_point_v<T>
FormatArg MakeFormatArg(T v) {
    FormatArg a;
    a.kind = FormatArg::Float;
    a.d = static_cast<double>(v);
    return a;
}

inline FormatArg MakeFormatArg(const wchar_t* s) {
    FormatArg a;
    a.kind = FormatArg::Wide;
    if (s) a.w = s;
    else a.isNull = true;
    return a;
}
inline FormatArg MakeFormatArg(const char* s) {
    FormatArg a;
    a.kind = FormatArg::Narrow;
    if (s) a.n = s;
    else a.isNull = true;
    return a;
}
inline FormatArg MakeFormatArg(std::wstring_view s) {
    FormatArg a;
    a.kind = FormatArg::Wide;
    a.w = s;
    return a;
}
inline FormatArg MakeFormatArg(const std::wstring& s) { return MakeFormatArg(std::wstring_view(s)); }
inline FormatArg MakeFormatArg(std::string_view s) {
    FormatArg a;
    a.kind = FormatArg::Narrow;
    a.n = s;
    return a;
}
inline FormatArg MakeFormatArg(const std::string& s) { return MakeFormatArg(std::string_view(s)); }
FormatArg MakeFormatArg(const CString& s);
inline FormatArg MakeFormatArg(std::nullptr_t) {
    FormatArg a;
    a.kind = FormatArg::Pointer;
    a.isNull = true;
    return a;
}
template <class T>
    requires(!std::is_same_v<std::remove_cv_t<T>, char> && !std::is_same_v<std::remove_cv_t<T>, wchar_t>)
FormatArg MakeFormatArg(T* p) {
    FormatArg a;
    a.kind = FormatArg::Pointer;
    a.u = reinterpret_cast<std::uintptr_t>(p);
    a.isNull = p == nullptr;
    return a;
}

// Formats 'count' arguments into 'out' (appending).
void FormatArgsTo(std::wstring& out, std::wstring_view fmt, const FormatArg* args, std::size_t count);

template <class... A>
void FormatTo(std::wstring& out, std::wstring_view fmt, const A&... a) {
    const FormatArg args[] = {MakeFormatArg(a)..., FormatArg{}};
    FormatArgsTo(out, fmt, args, sizeof...(A));
}

template <class... A>
std::wstring FormatString(std::wstring_view fmt, const A&... a) {
    std::wstring out;
    FormatTo(out, fmt, a...);
    return out;
}

}  // namespace qv
