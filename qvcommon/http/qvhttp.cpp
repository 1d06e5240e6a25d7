#include "qvhttp.h"

#include "utf.h"

#include <atomic>
#include <curl/curl.h>
#include <mutex>
#include <string>
#include <string_view>

namespace {

std::atomic<long> g_defaultRequestTimeout{60000};

void GlobalInitOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// What one transfer gathers: the body up to the limit, and what made it unreadable.
struct Transfer {
    std::string body;
    bool tooLarge = false;
    std::string encoding;  // a Content-Encoding other than identity
};

size_t Collect(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const size_t n = size * count;
    if (t->body.size() + n > static_cast<size_t>(CQvHttp::kMaxReplyBytes)) {
        t->tooLarge = true;
        return 0;  // ends the transfer
    }
    t->body.append(data, n);
    return n;
}

std::string LowerAscii(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return s;
}

std::string Trimmed(std::string s) {
    while (!s.empty() && (s.back() == '\r' || s.back() == '\n' || s.back() == ' ' || s.back() == '\t')) s.pop_back();
    std::size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    return s.substr(i);
}

// No compression is asked for, so a compressed reply cannot be read; it is not decoded either,
// since a small compressed reply may expand without bound.
size_t CollectHeader(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const size_t n = size * count;
    const std::string line(data, n);
    constexpr std::string_view kName = "content-encoding:";
    if (line.size() > kName.size() && LowerAscii(line.substr(0, kName.size())) == kName) {
        const std::string value = Trimmed(line.substr(kName.size()));
        if (!value.empty() && LowerAscii(value) != "identity") {
            t->encoding = value;
            return 0;
        }
    }
    return n;
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
    Transfer transfer;
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
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxReplyBytes));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &CollectHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errbuf);

    const CURLcode rc = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    m_lStatusCode = status;
    if (transfer.tooLarge || rc == CURLE_FILESIZE_EXCEEDED) {
        CString desc;
        desc.Format(L"The reply is larger than %d bytes", static_cast<long>(kMaxReplyBytes));
        return fail(QV_HTTP_ERROR_INVALID_RESPONSE, desc);
    }
    if (!transfer.encoding.empty()) {
        return fail(QV_HTTP_ERROR_INVALID_RESPONSE,
                    CString(("The reply is compressed (" + transfer.encoding + "), which was not asked for").c_str()));
    }
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
    reply = CString(DecodeReply(transfer.body));
    return S_OK;
}
