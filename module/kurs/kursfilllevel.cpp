#include "kursfilllevel.h"

#include "kursint.h"
#include "optionserver.h"

namespace {

std::wstring Key(const CQvGUID& guid) { return static_cast<LPCWSTR>(guid.GetGUID(TRUE)); }

bool ParseLong(const CString& strText, long& lValue) {
    CString str = strText;
    str.Trim();
    if (str.IsEmpty()) return false;
    wchar_t* pEnd = nullptr;
    const long lRead = std::wcstol(static_cast<LPCWSTR>(str), &pEnd, 10);
    if (!pEnd || *pEnd != L'\0') return false;
    lValue = lRead;
    return true;
}

}  // namespace

EFillLevelState CKursFillLevel::State(long lCount, long lMax, long lPercentWarning) {
    if (lMax <= 0) return eFillLevelNormal;
    if (lCount >= lMax) return eFillLevelFull;
    // In 64 bits: a count near the range of a long must not wrap into a low percentage.
    const long long llPercent = static_cast<long long>(lCount) * 100 / lMax;
    return llPercent < lPercentWarning ? eFillLevelNormal : eFillLevelWarning;
}

long CKursFillLevel::PercentWarning() {
    COptionServer options;
    long lPercent = 90;
    const long hr = options.GetOption(-1060, CString(L"FillLevelPercentWarning"), &lPercent, 1, 0);
    if (hr != S_OK) return 90;
    return lPercent;
}

void CKursFillLevel::Set(const CQvGUID& guidKursinstanz, long lCount, long lMax) {
    CString strValue;
    strValue.Format(L"%d;%d", lCount, lMax);
    std::lock_guard guard(m_lock);
    m_cache[Key(guidKursinstanz)] = strValue;
}

BOOL CKursFillLevel::Lookup(const CQvGUID& guidKursinstanz, long* plState, long* plCount, long* plMax) const {
    if (plState) *plState = 0;
    if (plCount) *plCount = 0;
    if (plMax) *plMax = 0;
    CString strValue;
    {
        std::lock_guard guard(m_lock);
        auto it = m_cache.find(Key(guidKursinstanz));
        if (it == m_cache.end()) return FALSE;
        strValue = it->second;
    }
    long lCount = 0, lMax = 0;
    CString strPart;
    if (AfxExtractSubString(strPart, strValue, 0, L';')) ParseLong(strPart, lCount);
    if (AfxExtractSubString(strPart, strValue, 1, L';')) ParseLong(strPart, lMax);
    if (plCount) *plCount = lCount;
    if (plMax) *plMax = lMax;
    if (plState) *plState = State(lCount, lMax, PercentWarning());
    return TRUE;
}

int CKursFillLevel::Update(const std::vector<CString>& arrItems) {
    std::map<std::wstring, CString> cache;
    for (const CString& strItem : arrItems) {
        std::vector<CString> parts;
        CString strPart;
        for (int i = 0; AfxExtractSubString(strPart, strItem, i, L';'); ++i) parts.push_back(strPart);
        if (parts.size() < 3) continue;
        const size_t n = parts.size();
        CQvGUID guid;
        long lCount = 0, lMax = 0;
        CString strGuid = parts[n - 3];
        strGuid.Trim();
        if (!ParseLong(parts[n - 2], lCount) || !ParseLong(parts[n - 1], lMax)) continue;
        if (FAILED(guid.SetGUID(strGuid)) || guid.IsNULL()) continue;
        CString strValue;
        strValue.Format(L"%d;%d", lCount, lMax);
        cache[Key(guid)] = strValue;
    }
    std::lock_guard guard(m_lock);
    m_cache.swap(cache);
    return static_cast<int>(m_cache.size());
}

long CKursFillLevel::Refresh() {
    std::vector<CString> arrItems;
    CVRQKurs kurs;
    const long hr = kurs.WebGetKursinstanzFillUpCount(arrItems);
    if (FAILED(hr)) return KURS_TRACEHR(hr);
    Update(arrItems);
    return hr;
}

void CKursFillLevel::Clear() {
    std::lock_guard guard(m_lock);
    m_cache.clear();
}

size_t CKursFillLevel::Size() const {
    std::lock_guard guard(m_lock);
    return m_cache.size();
}
