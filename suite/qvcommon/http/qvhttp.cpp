#include "qvhttp.h"

#include "utf.h"

#include <atomic>
#include <curl/curl.h>
#include <mutex>
#include <string>

namespace {

std::atomic<long> g_defaultRequestTimeout{60000};

void GlobalInitOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

size_t Collect(char* data, size_t size, size_t count, void* user) {
    auto* out = static_cast<std::string*>(user);
    out->append(data, size * count);
    return size * count;
}

bool IsValidUtf8(const std::string& s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t follow = c < 0x80 ? 0 : (c >> 5) == 0x6 ? 1 : (c >> 4) == 0xE ? 2 : (c >> 3) == 0x1E ? 3 : 4;
        if (follow == 4 || i + follow >= s.size()) return false;
        for (std::size_t k = 1; k <= follow; ++k) {
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        }
        i += follow + 1;
    }
    return true;
}

std::wstring DecodeReply(const std::string& bytes) {
    if (IsValidUtf8(bytes)) return qv::FromUtf8(bytes);
    std::wstring out;
    out.reserve(bytes.size());
    for (unsigned char c : bytes) out += static_cast<wchar_t>(c);
    return out;
}

long ErrorFromCurl(CURLcode code) {
    switch (code) {
    case CURLE_OPERATION_TIMEDOUT:
        return QV_HTTP_ERROR_TIMEOUT;
    case CURLE_URL_MALFORMAT:
    case CURLE_UNSUPPORTED_PROTOCOL:
        return QV_HTTP_ERROR_BAD_URL;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return QV_HTTP_ERROR_NAME_NOT_RESOLVED;
    case CURLE_COULDNT_CONNECT:
        return QV_HTTP_ERROR_CANNOT_CONNECT;
    default:
        return QV_HTTP_ERROR_INTERNAL;
    }
}

}  // namespace

CQvHttp::CQvHttp() { GlobalInitOnce(); }

CQvHttp::~CQvHttp() {
    if (m_pCurl) curl_easy_cleanup(static_cast<CURL*>(m_pCurl));
}

void CQvHttp::SetConnectTimeout(long tenths) { m_lConnectTimeout = tenths > 0 ? tenths : 100; }

void CQvHttp::SetRequestTimeout(long milliseconds) { m_lRequestTimeout = milliseconds > 0 ? milliseconds : 0; }

void CQvHttp::SetDefaultRequestTimeout(long milliseconds) {
    g_defaultRequestTimeout = milliseconds > 0 ? milliseconds : 60000;
}

long CQvHttp::GetDefaultRequestTimeout() { return g_defaultRequestTimeout; }

HRESULT CQvHttp::Get(const CString& url, CString& reply) {
    reply.Empty();
    m_lLastError = 0;
    m_lStatusCode = 0;
    m_strLastErrorDesc.Empty();

    auto fail = [&](long error, const CString& desc) {
        m_lLastError = error;
        m_strLastErrorDesc = desc;
        return HRESULT_FROM_WIN32(error);
    };

    if (url.IsEmpty()) return fail(QV_HTTP_ERROR_BAD_URL, CString(L"Empty URL"));
    if (!m_pCurl) m_pCurl = curl_easy_init();
    CURL* curl = static_cast<CURL*>(m_pCurl);
    if (!curl) return fail(QV_HTTP_ERROR_INTERNAL, CString(L"The HTTP client cannot be created"));
    curl_easy_reset(curl);

    const std::string target = url.ToUtf8();
    std::string body;
    char errbuf[CURL_ERROR_SIZE] = {0};
    const long connectMs = m_lConnectTimeout * 100;
    const long requestMs = m_lRequestTimeout > 0 ? m_lRequestTimeout : g_defaultRequestTimeout.load();
    curl_easy_setopt(curl, CURLOPT_URL, target.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, connectMs);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, requestMs);
    curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errbuf);

    const CURLcode rc = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    m_lStatusCode = status;
    if (rc != CURLE_OK) {
        std::string text = errbuf[0] ? errbuf : curl_easy_strerror(rc);
        return fail(ErrorFromCurl(rc), CString(text.c_str()));
    }
    if (status < 200 || status > 299) {
        CString desc;
        desc.Format(L"HTTP status %d", status);
        m_lLastError = status;
        m_strLastErrorDesc = desc;
        return HRESULT_FROM_WIN32(QV_HTTP_ERROR_STATUS);
    }
    reply = CString(DecodeReply(body));
    return S_OK;
}
