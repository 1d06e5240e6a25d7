#include "nqemail.h"

#include "qvhrtrace.h"
#include "qvregvalue.h"
#include "trace.h"

#include <curl/curl.h>

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

namespace {

constexpr const wchar_t* kMailKey = L"Software\\Qovaro\\NQ2\\Mail";
constexpr const wchar_t* kTraceSource = L"nqemail";

// RFC 2047 form of a header text that is not plain ASCII.
std::string EncodeHeader(const std::string& utf8) {
    bool plain = true;
    for (unsigned char c : utf8)
        if (c >= 0x80 || c < 0x20) plain = false;
    if (plain) return utf8;
    static const char* b64 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out = "=?UTF-8?B?";
    std::size_t i = 0;
    for (; i + 2 < utf8.size(); i += 3) {
        const unsigned v = (unsigned char)utf8[i] << 16 | (unsigned char)utf8[i + 1] << 8 | (unsigned char)utf8[i + 2];
        out += b64[v >> 18 & 63];
        out += b64[v >> 12 & 63];
        out += b64[v >> 6 & 63];
        out += b64[v & 63];
    }
    if (i < utf8.size()) {
        unsigned v = (unsigned char)utf8[i] << 16;
        if (i + 1 < utf8.size()) v |= (unsigned char)utf8[i + 1] << 8;
        out += b64[v >> 18 & 63];
        out += b64[v >> 12 & 63];
        out += i + 1 < utf8.size() ? b64[v >> 6 & 63] : '=';
        out += '=';
    }
    return out + "?=";
}

// Every line end of the body becomes CRLF, as SMTP wants it.
std::string Crlf(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            out += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

std::string JoinHeader(const std::vector<CString>& list) {
    std::string out;
    for (const auto& a : list) {
        if (!out.empty()) out += ", ";
        out += a.ToUtf8();
    }
    return out;
}

struct Upload {
    std::string data;
    std::size_t pos = 0;
};

std::size_t ReadPayload(char* buffer, std::size_t size, std::size_t count, void* user) {
    auto* up = static_cast<Upload*>(user);
    const std::size_t n = std::min(size * count, up->data.size() - up->pos);
    std::memcpy(buffer, up->data.data() + up->pos, n);
    up->pos += n;
    return n;
}

// Keeps the server's first refusal (an answer of class 4 or 5), for the failure text; the
// goodbye that follows it says nothing.
int KeepServerAnswer(CURL*, curl_infotype type, char* data, std::size_t size, void* user) {
    auto& answer = *static_cast<std::string*>(user);
    if (type == CURLINFO_HEADER_IN && answer.empty() && size > 0 && (data[0] == '4' || data[0] == '5')) {
        std::string line(data, size);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        answer = line;
    }
    return 0;
}

}  // namespace

CEMail::CEMail() = default;

CEMail::CEMail(const NQMailSettings& settings) : m_settings(settings), m_bOwnSettings(true) {}

NQMailSettings CEMail::ReadSettings() {
    NQMailSettings s;
    // "Server" and "From" are the older names of the server and the sender.
    CQvRegistry::GetValue(kMailKey, L"Server", s.strServer, HKEY_LOCAL_MACHINE);
    CQvRegistry::GetValue(kMailKey, L"From", s.strSender, HKEY_LOCAL_MACHINE);
    CQvRegistry::GetValue(kMailKey, L"SmtpServer", s.strServer, HKEY_LOCAL_MACHINE);
    CQvRegistry::GetValue(kMailKey, L"SmtpPort", s.lPort, HKEY_LOCAL_MACHINE);
    CQvRegistry::GetValue(kMailKey, L"Sender", s.strSender, HKEY_LOCAL_MACHINE);
    CQvRegistry::GetValue(kMailKey, L"SmtpTLS", s.lTLS, HKEY_LOCAL_MACHINE);
    CQvRegistry::GetValue(kMailKey, L"SmtpUser", s.strUser, HKEY_LOCAL_MACHINE);
    CQvRegistry::GetValue(kMailKey, L"SmtpPassword", s.strPassword, HKEY_LOCAL_MACHINE);
    CQvRegistry::GetValue(kMailKey, L"SmtpTimeout", s.lTimeout, HKEY_LOCAL_MACHINE);
    return s;
}

std::vector<CString> CEMail::SplitAddresses(const CString& strList) {
    std::vector<CString> out;
    CString current;
    auto flush = [&] {
        current.Trim();
        if (!current.IsEmpty()) out.push_back(current);
        current.Empty();
    };
    for (int i = 0; i < strList.GetLength(); ++i) {
        const wchar_t c = strList[i];
        if (c == L';' || c == L',') flush();
        else current += c;
    }
    flush();
    return out;
}

long CEMail::WriteToFolder(const CString& strTo, const CString& strCC, const CString& strSubject,
                           const CString& strBody) {
    // A folder that collects the mails as files (installations without a mail server).
    static std::atomic<unsigned> counter{0};
    const std::string path = m_settings.strServer.Mid(7).ToUtf8() + "/" + std::to_string(::time(nullptr)) + "-" +
                             std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".eml";
    const std::string message = ComposeMessage(strTo, strCC, strSubject, strBody).ToUtf8();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        m_strError = CString(("Cannot write " + path).c_str());
        return QV_TRACEHR(kTraceSource, E_FAIL);
    }
    const bool ok = std::fwrite(message.data(), 1, message.size(), file) == message.size();
    if (std::fclose(file) != 0 || !ok) return QV_TRACEHR(kTraceSource, E_FAIL);
    return S_OK;
}

CString CEMail::ComposeMessage(const CString& strTo, const CString& strCC, const CString& strSubject,
                               const CString& strBody) const {
    // The server dates the mail as it takes it.
    std::string msg = "From: " + m_settings.strSender.ToUtf8() + "\r\n";
    const auto to = SplitAddresses(strTo);
    const auto cc = SplitAddresses(strCC);
    // The blind copies are named to the server only, never in the message.
    msg += "To: " + (to.empty() ? std::string("undisclosed-recipients:;") : JoinHeader(to)) + "\r\n";
    if (!cc.empty()) msg += "Cc: " + JoinHeader(cc) + "\r\n";
    msg += "Subject: " + EncodeHeader(strSubject.ToUtf8()) + "\r\n";
    msg += "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n";
    msg += Crlf(strBody.ToUtf8());
    if (msg.size() < 2 || msg.compare(msg.size() - 2, 2, "\r\n") != 0) msg += "\r\n";
    return CString(msg.c_str());
}

BOOL CEMail::IsAddress(const CString& strAddress) {
    const int at = strAddress.Find(L'@');
    if (at <= 0 || strAddress.Find(L'@', at + 1) >= 0) return FALSE;
    for (int i = 0; i < strAddress.GetLength(); ++i)
        if (strAddress[i] <= L' ' || strAddress[i] == L'<' || strAddress[i] == L'>') return FALSE;
    const CString strDomain = strAddress.Mid(at + 1);
    const int dot = strDomain.ReverseFind(L'.');
    return dot > 0 && dot < strDomain.GetLength() - 1;
}

long CEMail::SendMail(CString strTo, CString strCC, CString strBCC, CString strSubject, CString strBody) {
    m_strError.Empty();
    if (!m_bOwnSettings) m_settings = ReadSettings();
    std::vector<CString> all = SplitAddresses(strTo);
    for (const auto& list : {strCC, strBCC})
        for (const auto& a : SplitAddresses(list)) all.push_back(a);
    for (const auto& a : all)
        if (!IsAddress(a)) {
            m_strError = L"Not a mail address: " + a;
            return QV_TRACEHR(kTraceSource, E_INVALIDARG);
        }
    if (all.empty()) return S_FALSE;
    if (m_settings.strServer.IsEmpty()) {
        // An installation without a mail server sends nothing.
        OutputDebugString(L"CEMail::SendMail: no mail server is set (Software\\Qovaro\\NQ2\\Mail)\n");
        return S_FALSE;
    }
    if (m_settings.strServer.Left(7).CompareNoCase(L"file://") == 0)
        return WriteToFolder(strTo, strCC, strSubject, strBody);
    CURL* curl = curl_easy_init();
    if (!curl) return QV_TRACEHR(kTraceSource, E_OUTOFMEMORY);

    Upload upload;
    upload.data = ComposeMessage(strTo, strCC, strSubject, strBody).ToUtf8();
    std::string answer;
    char error[CURL_ERROR_SIZE] = {};
    // A server given as a URL keeps its own scheme and port.
    const std::string server = m_settings.strServer.ToUtf8();
    const std::string scheme = m_settings.lTLS == 2 ? "smtps://" : "smtp://";
    const std::string url = server.find("://") != std::string::npos
                                ? server
                                : scheme + server + ":" + std::to_string(m_settings.lPort);
    const std::string from = "<" + m_settings.strSender.ToUtf8() + ">";
    curl_slist* rcpt = nullptr;
    for (const auto& a : all) rcpt = curl_slist_append(rcpt, ("<" + a.ToUtf8() + ">").c_str());

    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_MAIL_FROM, from.c_str());
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, rcpt);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, ReadPayload);
    curl_easy_setopt(curl, CURLOPT_READDATA, &upload);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    const long timeout = m_settings.lTimeout > 0 ? m_settings.lTimeout : 30;
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, timeout);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, timeout * 2);
    curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(curl, CURLOPT_DEBUGFUNCTION, KeepServerAnswer);
    curl_easy_setopt(curl, CURLOPT_DEBUGDATA, &answer);
    if (m_settings.lTLS == 1) curl_easy_setopt(curl, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
    if (!m_settings.strUser.IsEmpty()) {
        curl_easy_setopt(curl, CURLOPT_USERNAME, m_settings.strUser.ToUtf8().c_str());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, m_settings.strPassword.ToUtf8().c_str());
    }
    const CURLcode rc = curl_easy_perform(curl);
    curl_slist_free_all(rcpt);
    curl_easy_cleanup(curl);
    if (rc == CURLE_OK) return S_OK;

    // The server's own words where it answered, else the transport's reason.
    std::string text = answer.empty() ? std::string(error[0] ? error : curl_easy_strerror(rc)) : answer;
    if (!answer.empty() && error[0]) text += " (" + std::string(error) + ")";
    m_strError = CString(text.c_str());
    OutputDebugString(L"CEMail::SendMail: " + m_strError + L"\n");
    return QV_TRACEHR(kTraceSource, E_FAIL);
}
