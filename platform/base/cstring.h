#pragma once
// CString: the class library's wide string. It wraps std::wstring (UTF-32 on Linux: one element is
// one character); indexes and lengths are in characters. Narrow text coming in is UTF-8.
#include "qvformat.h"
#include "qvtypes.h"
#include <compare>
#include <string>
#include <string_view>

class CString {
public:
    CString() = default;
    CString(const CString&) = default;
    CString(CString&&) noexcept = default;
    CString& operator=(const CString&) = default;
    CString& operator=(CString&&) noexcept = default;
    // A null pointer gives an empty string; a value below 0x10000 is a string id (the class
    // library's MAKEINTRESOURCE idiom) and loads that string.
    CString(const wchar_t* s);
    CString(const wchar_t* s, int length);
    CString(wchar_t ch, int repeat = 1);
    CString(const char* utf8);
    CString(const std::wstring& s) : s_(s) {}
    CString(std::wstring&& s) noexcept : s_(std::move(s)) {}
    explicit CString(std::wstring_view s) : s_(s) {}

    CString& operator=(const wchar_t* s);
    CString& operator=(const char* utf8);
    CString& operator=(wchar_t ch);
    CString& operator=(const std::wstring& s) { s_ = s; return *this; }

    int GetLength() const { return static_cast<int>(s_.size()); }
    BOOL IsEmpty() const { return s_.empty(); }
    void Empty() { s_.clear(); }
    wchar_t GetAt(int i) const;
    void SetAt(int i, wchar_t ch);
    wchar_t operator[](int i) const { return GetAt(i); }
    LPCWSTR GetString() const { return s_.c_str(); }
    operator LPCWSTR() const { return s_.c_str(); }
    const std::wstring& wstr() const { return s_; }
    std::string ToUtf8() const;

    CString& operator+=(const CString& s) { s_ += s.s_; return *this; }
    CString& operator+=(const wchar_t* s);
    CString& operator+=(const char* utf8);
    CString& operator+=(wchar_t ch) { s_ += ch; return *this; }
    CString& operator+=(const std::wstring& s) { s_ += s; return *this; }
    void Append(const CString& s) { s_ += s.s_; }
    void Append(const wchar_t* s) { *this += s; }
    void AppendChar(wchar_t ch) { s_ += ch; }

    // Ordinal comparison by code point; CompareNoCase folds both sides to lower case first.
    int Compare(LPCWSTR s) const;
    int CompareNoCase(LPCWSTR s) const;

    CString Left(int count) const;
    CString Mid(int first) const;
    CString Mid(int first, int count) const;
    CString Right(int count) const;
    CString SpanIncluding(LPCWSTR charSet) const;
    CString SpanExcluding(LPCWSTR charSet) const;
    // Next token after 'start' delimited by any of 'tokens'; 'start' becomes -1 after the last.
    CString Tokenize(LPCWSTR tokens, int& start) const;

    // -1 when not found.
    int Find(wchar_t ch, int start = 0) const;
    int Find(LPCWSTR sub, int start = 0) const;
    int ReverseFind(wchar_t ch) const;
    int FindOneOf(LPCWSTR charSet) const;

    // Each returns the number of replacements or removals.
    int Replace(wchar_t oldCh, wchar_t newCh);
    int Replace(LPCWSTR oldText, LPCWSTR newText);
    int Remove(wchar_t ch);
    // Each returns the new length.
    int Insert(int index, wchar_t ch);
    int Insert(int index, LPCWSTR text);
    int Delete(int index, int count = 1);

    CString& Trim();
    CString& Trim(wchar_t ch);
    CString& Trim(LPCWSTR chars);
    CString& TrimLeft();
    CString& TrimLeft(wchar_t ch);
    CString& TrimLeft(LPCWSTR chars);
    CString& TrimRight();
    CString& TrimRight(wchar_t ch);
    CString& TrimRight(LPCWSTR chars);
    CString& MakeUpper();
    CString& MakeLower();
    CString& MakeReverse();

    // The buffer holds at least minLength characters plus the terminator until ReleaseBuffer,
    // which takes the text up to the first null (newLength -1) or the given length.
    LPWSTR GetBuffer();
    LPWSTR GetBuffer(int minLength);
    LPWSTR GetBufferSetLength(int length);
    void ReleaseBuffer(int newLength = -1);

    template <class... A>
    void Format(LPCWSTR fmt, const A&... a) {
        std::wstring out;
        qv::FormatTo(out, fmt ? std::wstring_view(fmt) : std::wstring_view(), a...);
        s_.swap(out);
    }
    // The template is the string with that id in the current resource table.
    template <class... A>
    void Format(UINT formatId, const A&... a) {
        CString fmt;
        fmt.LoadString(formatId);
        Format(fmt.GetString(), a...);
    }
    template <class... A>
    void AppendFormat(LPCWSTR fmt, const A&... a) {
        std::wstring out;  // the template or an argument may be this very string
        qv::FormatTo(out, fmt ? std::wstring_view(fmt) : std::wstring_view(), a...);
        s_ += out;
    }

    // FALSE, with the string unchanged, when the id is not in the current resource table.
    BOOL LoadString(UINT id);
    // A new BSTR with this text; the caller frees it with SysFreeString.
    BSTR AllocSysString() const;

    friend bool operator==(const CString& a, const CString& b) { return a.s_ == b.s_; }
    friend bool operator==(const CString& a, LPCWSTR b) { return a.s_ == (b ? b : L""); }
    friend std::strong_ordering operator<=>(const CString& a, const CString& b) { return a.s_ <=> b.s_; }
    friend std::strong_ordering operator<=>(const CString& a, LPCWSTR b) {
        return std::wstring_view(a.s_) <=> std::wstring_view(b ? b : L"");
    }

private:
    std::wstring s_;
};

CString operator+(const CString& a, const CString& b);
CString operator+(const CString& a, LPCWSTR b);
CString operator+(LPCWSTR a, const CString& b);
CString operator+(const CString& a, wchar_t b);
CString operator+(wchar_t a, const CString& b);

// The field 'index' of 'full' split at 'sep'; FALSE (and an empty result) when there are fewer.
BOOL AfxExtractSubString(CString& out, LPCWSTR full, int index, wchar_t sep = L'\n');

using CStringW = CString;
