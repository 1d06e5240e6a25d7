#include "qvguid.h"

#include <cwctype>

CQvGUID::CQvGUID(LPCWSTR lpszGUID) {
    if (FAILED(SetGUID(lpszGUID))) SetNULL();
}

HRESULT CQvGUID::SetGUID(LPCWSTR lpszGUID) {
    std::wstring_view text(lpszGUID ? lpszGUID : L"");
    bool blank = true;
    for (wchar_t c : text) blank = blank && std::iswspace(static_cast<wint_t>(c));
    if (blank) {
        SetNULL();
        return S_OK;
    }
    GUID g;
    if (!qv::GuidFromString(text, g)) return E_INVALIDARG;
    m_guid = g;
    return S_OK;
}

HRESULT CQvGUID::NewGUID() {
    m_guid = qv::NewGuid();
    return S_OK;
}

CString CQvGUID::GetGUID(BOOL bPlain) const { return CString(qv::GuidToString(m_guid, !bPlain, true)); }
