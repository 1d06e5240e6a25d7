#include "cstring.h"
#include "oleauto.h"
#include "strtable.h"
#include "textcase.h"
#include "utf.h"
#include <algorithm>
#include <cstdint>
#include <cwchar>

namespace {

bool IsResourceId(const wchar_t* s) { return s && reinterpret_cast<std::uintptr_t>(s) < 0x10000; }

bool IsBlank(wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); }

std::wstring_view View(LPCWSTR s) { return s ? std::wstring_view(s) : std::wstring_view(); }

int Clamp(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

}  // namespace

namespace qv {
FormatArg MakeFormatArg(const CString& s) { return MakeFormatArg(std::wstring_view(s.wstr())); }
}  // namespace qv

CString::CString(const wchar_t* s) {
    if (IsResourceId(s)) LoadString(static_cast<UINT>(reinterpret_cast<std::uintptr_t>(s)));
    else if (s) s_ = s;
}

CString::CString(const wchar_t* s, int length) {
    if (s && length > 0) s_.assign(s, static_cast<size_t>(length));
}

CString::CString(wchar_t ch, int repeat) {
    if (repeat > 0) s_.assign(static_cast<size_t>(repeat), ch);
}

CString::CString(const char* utf8) {
    if (utf8) s_ = qv::FromUtf8(utf8);
}

CString& CString::operator=(const wchar_t* s) {
    if (IsResourceId(s)) {
        s_.clear();
        LoadString(static_cast<UINT>(reinterpret_cast<std::uintptr_t>(s)));
    } else if (!s) {
        s_.clear();
    } else if (s >= s_.data() && s <= s_.data() + s_.size()) {
        s_ = std::wstring(s);  // assigning a piece of ourselves
    } else {
        s_ = s;
    }
    return *this;
}

CString& CString::operator=(const char* utf8) {
    s_ = utf8 ? qv::FromUtf8(utf8) : std::wstring();
    return *this;
}

CString& CString::operator=(wchar_t ch) {
    s_.assign(1, ch);
    return *this;
}

wchar_t CString::GetAt(int i) const {
    return i >= 0 && i < GetLength() ? s_[static_cast<size_t>(i)] : L'\0';
}

void CString::SetAt(int i, wchar_t ch) {
    if (i >= 0 && i < GetLength()) s_[static_cast<size_t>(i)] = ch;
}

std::string CString::ToUtf8() const { return qv::ToUtf8(s_); }

CString& CString::operator+=(const wchar_t* s) {
    if (s) s_ += std::wstring(s);  // a copy first: s may point into ourselves
    return *this;
}

CString& CString::operator+=(const char* utf8) {
    if (utf8) s_ += qv::FromUtf8(utf8);
    return *this;
}

int CString::Compare(LPCWSTR s) const {
    const int r = std::wstring_view(s_).compare(View(s));
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

int CString::CompareNoCase(LPCWSTR s) const { return qv::CompareNoCase(s_, View(s)); }

CString CString::Left(int count) const {
    count = Clamp(count, 0, GetLength());
    return CString(s_.substr(0, static_cast<size_t>(count)));
}

CString CString::Mid(int first) const { return Mid(first, GetLength()); }

CString CString::Mid(int first, int count) const {
    first = Clamp(first, 0, GetLength());
    count = Clamp(count, 0, GetLength() - first);
    return CString(s_.substr(static_cast<size_t>(first), static_cast<size_t>(count)));
}

CString CString::Right(int count) const {
    count = Clamp(count, 0, GetLength());
    return CString(s_.substr(s_.size() - static_cast<size_t>(count)));
}

CString CString::SpanIncluding(LPCWSTR charSet) const {
    const size_t n = charSet ? s_.find_first_not_of(charSet) : 0;
    return CString(s_.substr(0, n == std::wstring::npos ? s_.size() : n));
}

CString CString::SpanExcluding(LPCWSTR charSet) const {
    if (!charSet) return *this;
    const size_t n = s_.find_first_of(charSet);
    return CString(s_.substr(0, n == std::wstring::npos ? s_.size() : n));
}

CString CString::Tokenize(LPCWSTR tokens, int& start) const {
    if (start < 0 || start >= GetLength()) {
        start = -1;
        return CString();
    }
    if (!tokens || !*tokens) {
        // No delimiters: the rest is the one token; the next call ends the walk.
        CString rest = Mid(start);
        start = GetLength() + 1;
        return rest;
    }
    const size_t from = s_.find_first_not_of(tokens, static_cast<size_t>(start));
    if (from == std::wstring::npos) {
        start = -1;
        return CString();
    }
    size_t to = s_.find_first_of(tokens, from);
    if (to == std::wstring::npos) to = s_.size();
    start = static_cast<int>(to) + 1;
    return CString(s_.substr(from, to - from));
}

int CString::Find(wchar_t ch, int start) const {
    if (start < 0) start = 0;
    if (start >= GetLength()) return -1;
    const size_t p = s_.find(ch, static_cast<size_t>(start));
    return p == std::wstring::npos ? -1 : static_cast<int>(p);
}

int CString::Find(LPCWSTR sub, int start) const {
    if (start < 0) start = 0;
    if (!sub || start > GetLength()) return -1;
    const size_t p = s_.find(sub, static_cast<size_t>(start));
    return p == std::wstring::npos ? -1 : static_cast<int>(p);
}

int CString::ReverseFind(wchar_t ch) const {
    const size_t p = s_.rfind(ch);
    return p == std::wstring::npos ? -1 : static_cast<int>(p);
}

int CString::FindOneOf(LPCWSTR charSet) const {
    if (!charSet) return -1;
    const size_t p = s_.find_first_of(charSet);
    return p == std::wstring::npos ? -1 : static_cast<int>(p);
}

int CString::Replace(wchar_t oldCh, wchar_t newCh) {
    int n = 0;
    if (oldCh == newCh) return static_cast<int>(std::count(s_.begin(), s_.end(), oldCh));
    for (auto& c : s_) {
        if (c == oldCh) {
            c = newCh;
            ++n;
        }
    }
    return n;
}

int CString::Replace(LPCWSTR oldText, LPCWSTR newText) {
    const std::wstring from(View(oldText));
    const std::wstring to(View(newText));
    if (from.empty()) return 0;
    int n = 0;
    std::wstring out;
    size_t pos = 0;
    for (;;) {
        const size_t hit = s_.find(from, pos);
        if (hit == std::wstring::npos) break;
        out.append(s_, pos, hit - pos);
        out += to;
        pos = hit + from.size();
        ++n;
    }
    if (n) {
        out.append(s_, pos, std::wstring::npos);
        s_.swap(out);
    }
    return n;
}

int CString::Remove(wchar_t ch) {
    const size_t before = s_.size();
    s_.erase(std::remove(s_.begin(), s_.end(), ch), s_.end());
    return static_cast<int>(before - s_.size());
}

int CString::Insert(int index, wchar_t ch) {
    index = Clamp(index, 0, GetLength());
    s_.insert(static_cast<size_t>(index), 1, ch);
    return GetLength();
}

int CString::Insert(int index, LPCWSTR text) {
    index = Clamp(index, 0, GetLength());
    if (text) s_.insert(static_cast<size_t>(index), std::wstring(text));
    return GetLength();
}

int CString::Delete(int index, int count) {
    if (index < 0) index = 0;
    if (count > 0 && index < GetLength()) {
        count = std::min(count, GetLength() - index);
        s_.erase(static_cast<size_t>(index), static_cast<size_t>(count));
    }
    return GetLength();
}

CString& CString::Trim() { return TrimRight().TrimLeft(); }
CString& CString::Trim(wchar_t ch) { return TrimRight(ch).TrimLeft(ch); }
CString& CString::Trim(LPCWSTR chars) { return TrimRight(chars).TrimLeft(chars); }

CString& CString::TrimLeft() {
    size_t i = 0;
    while (i < s_.size() && IsBlank(s_[i])) ++i;
    s_.erase(0, i);
    return *this;
}

CString& CString::TrimLeft(wchar_t ch) {
    size_t i = 0;
    while (i < s_.size() && s_[i] == ch) ++i;
    s_.erase(0, i);
    return *this;
}

CString& CString::TrimLeft(LPCWSTR chars) {
    if (!chars || !*chars) return *this;
    const size_t i = s_.find_first_not_of(chars);
    s_.erase(0, i == std::wstring::npos ? s_.size() : i);
    return *this;
}

CString& CString::TrimRight() {
    size_t n = s_.size();
    while (n > 0 && IsBlank(s_[n - 1])) --n;
    s_.resize(n);
    return *this;
}

CString& CString::TrimRight(wchar_t ch) {
    size_t n = s_.size();
    while (n > 0 && s_[n - 1] == ch) --n;
    s_.resize(n);
    return *this;
}

CString& CString::TrimRight(LPCWSTR chars) {
    if (!chars || !*chars) return *this;
    const size_t i = s_.find_last_not_of(chars);
    s_.resize(i == std::wstring::npos ? 0 : i + 1);
    return *this;
}

CString& CString::MakeUpper() {
    for (auto& c : s_) c = qv::ToUpper(c);
    return *this;
}

CString& CString::MakeLower() {
    for (auto& c : s_) c = qv::ToLower(c);
    return *this;
}

CString& CString::MakeReverse() {
    std::reverse(s_.begin(), s_.end());
    return *this;
}

LPWSTR CString::GetBuffer() { return s_.data(); }

LPWSTR CString::GetBuffer(int minLength) {
    if (minLength > GetLength()) s_.resize(static_cast<size_t>(minLength), L'\0');
    return s_.data();
}

LPWSTR CString::GetBufferSetLength(int length) {
    s_.resize(static_cast<size_t>(std::max(length, 0)), L'\0');
    return s_.data();
}

void CString::ReleaseBuffer(int newLength) {
    if (newLength < 0) newLength = static_cast<int>(std::wcslen(s_.c_str()));
    s_.resize(static_cast<size_t>(std::min(newLength, GetLength())));
}

BOOL CString::LoadString(UINT id) {
    std::wstring text;
    if (!qv::LookupString(AfxGetResourceHandle(), id, text)) return FALSE;
    s_.swap(text);
    return TRUE;
}

BSTR CString::AllocSysString() const { return SysAllocStringLen(s_.data(), static_cast<UINT>(s_.size())); }

CString operator+(const CString& a, const CString& b) { return CString(a.wstr() + b.wstr()); }
CString operator+(const CString& a, LPCWSTR b) { return CString(a.wstr() + std::wstring(View(b))); }
CString operator+(LPCWSTR a, const CString& b) { return CString(std::wstring(View(a)) + b.wstr()); }
CString operator+(const CString& a, wchar_t b) { return CString(a.wstr() + b); }
CString operator+(wchar_t a, const CString& b) { return CString(a + b.wstr()); }

BOOL AfxExtractSubString(CString& out, LPCWSTR full, int index, wchar_t sep) {
    out.Empty();
    if (!full || index < 0) return FALSE;
    const wchar_t* p = full;
    for (; index > 0; --index) {
        p = std::wcschr(p, sep);
        if (!p) return FALSE;
        ++p;
    }
    const wchar_t* end = std::wcschr(p, sep);
    out = end ? CString(p, static_cast<int>(end - p)) : CString(p);
    return TRUE;
}
