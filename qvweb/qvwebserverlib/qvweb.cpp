#include "qvweb.h"
#include "qvcomserver.h"
#include "qvhrtrace.h"
#include "qvwebserver.h"

#include <string>

namespace {

std::u16string ToUtf16(const CString& text) {
    std::u16string units;
    units.reserve(std::size_t(text.GetLength()));
    for (int i = 0; i < text.GetLength(); ++i) {
        auto c = static_cast<char32_t>(text[i]);
        if (c >= 0x10000 && c <= 0x10FFFF) {
            c -= 0x10000;
            units += char16_t(0xD800 + (c >> 10));
            units += char16_t(0xDC00 + (c & 0x3FF));
        } else if (c > 0x10FFFF) {
            units += u'\xFFFD';
        } else {
            units += char16_t(c);
        }
    }
    return units;
}

}  // namespace

HRESULT QvWebRegister(IUnknown* pExtension) {
    IQvWebServer* pServer = nullptr;
    HRESULT hr = QueryCOMServer(QV_WEBSERVER_PROGID, IID_IQvWebServer, reinterpret_cast<void**>(&pServer));
    if (FAILED(hr)) return QV_TRACEHR(L"qvweb", hr);
    hr = pServer->Register(pExtension);
    if (FAILED(hr)) QV_TRACEHR(L"qvweb", hr);
    pServer->Release();
    return hr;
}

HRESULT QvWebUnregister(IUnknown* pExtension) {
    if (!QvIsCOMServerLoaded(QV_WEBSERVER_PROGID)) return S_OK;
    IQvWebServer* pServer = nullptr;
    HRESULT hr = QueryCOMServer(QV_WEBSERVER_PROGID, IID_IQvWebServer, reinterpret_cast<void**>(&pServer));
    if (FAILED(hr)) return QV_TRACEHR(L"qvweb", hr);
    hr = pServer->Unregister(pExtension);
    if (FAILED(hr)) QV_TRACEHR(L"qvweb", hr);
    pServer->Release();
    return hr;
}

HRESULT QvWebReply(CString strText, char16_t** ppBuffer, DWORD* pSize) {
    if (strText.IsEmpty()) return S_OK;
    if (!ppBuffer || !pSize) return QV_TRACEHR(L"qvweb", E_POINTER);
    LPMALLOC pMalloc = nullptr;
    HRESULT hr = CoGetMalloc(1, &pMalloc);
    if (FAILED(hr)) return QV_TRACEHR(L"qvweb", hr);
    const std::u16string units = ToUtf16(strText);
    *pSize = DWORD(units.size() * sizeof(char16_t));
    *ppBuffer = static_cast<char16_t*>(pMalloc->Alloc(*pSize));
    pMalloc->Release();
    if (*ppBuffer) {
        for (std::size_t i = 0; i < units.size(); ++i) (*ppBuffer)[i] = units[i];
    }
    return hr;
}

HRESULT QvWebReply(CString strText, void** ppBuffer, long* pSize) {
    if (strText.IsEmpty()) return S_OK;
    if (!ppBuffer || !pSize) return QV_TRACEHR(L"qvweb", E_POINTER);
    char16_t* pBuffer = nullptr;
    DWORD dwSize = 0;
    HRESULT hr = QvWebReply(strText, &pBuffer, &dwSize);
    if (SUCCEEDED(hr)) {
        *ppBuffer = pBuffer;
        *pSize = long(dwSize);
    }
    return hr;
}
