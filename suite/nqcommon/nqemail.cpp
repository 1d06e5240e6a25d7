#include "nqemail.h"

#include "qvhrtrace.h"
#include "qvregvalue.h"
#include "trace.h"

#include <curl/curl.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cctype>
#include <cstdlib>
#include <random>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

namespace {

constexpr const wchar_t* kMailKey = L"Software\\Qovaro\\NQ2\\Mail";
constexpr const wchar_t* kTraceSource = L"nqemail";

constexpr std::size_t kFoldAt = 78;  // the recommended line length of a header

const char* const kBase64 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string Base64(const std::string& bytes) {
    std::string out;
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const unsigned v = (unsigned char)bytes[i] << 16 | (unsigned char)bytes[i + 1] << 8 | (unsigned char)bytes[i + 2];
        out += kBase64[v >> 18 & 63];
        out += kBase64[v >> 12 & 63];
        out += kBase64[v >> 6 & 63];
        out += kBase64[v & 63];
    }
    if (i < bytes.size()) {
        unsigned v = (unsigned char)bytes[i] << 16;
        if (i + 1 < bytes.size()) v |= (unsigned char)bytes[i + 1] << 8;
        out += kBase64[v >> 18 & 63];
        out += kBase64[v >> 12 & 63];
        out += i + 1 < bytes.size() ? kBase64[v >> 6 & 63] : '=';
        out += '=';
    }
    return out;
}

bool IsPlain(const std::string& utf8) {
    for (unsigned char c : utf8)
        if (c >= 0x80 || c < 0x20 || c == 0x7f) return false;
    return true;
}

// The header line "Name: value", folded at blanks so that no line is longer than 78 characters
// where the value allows it. A value that is not plain ASCII, or one with a word too long for a
// line, is written as RFC 2047 encoded words of at most 75 characters, one per line, each
// holding whole UTF-8 characters.
std::string HeaderLine(const std::string& name, const std::string& utf8) {
    std::string line = name + ": ";
    bool plain = IsPlain(utf8);
    if (plain) {
        std::string out = line;
        std::size_t lineLength = out.size();
        std::size_t pos = 0;
        bool first = true;
        while (pos < utf8.size() && plain) {
            std::size_t end = utf8.find(' ', pos);
            if (end == std::string::npos) end = utf8.size();
            const std::string word = utf8.substr(pos, end - pos);
            if (!first && lineLength + 1 + word.size() > kFoldAt) {
                out += "\r\n";
                lineLength = 0;
            }
            if (!first) {
                out += ' ';
                ++lineLength;
            }
            out += word;
            lineLength += word.size();
            // A word that fills a line alone stays readable only encoded.
            if (lineLength > 998 - 2) plain = false;
            first = false;
            pos = end + 1;
        }
        if (plain && !utf8.empty() && utf8.back() == ' ') out += ' ';
        if (plain) return out + "\r\n";
    }
    // 39 bytes give 52 characters of base64: an encoded word of 64 characters, which leaves room
    // for the header's name on the first line.
    constexpr std::size_t kChunk = 39;
    std::string out = line;
    std::size_t pos = 0;
    bool first = true;
    while (pos < utf8.size()) {
        std::size_t end = std::min(utf8.size(), pos + kChunk);
        // Never split a character: back off to the start of a UTF-8 sequence.
        while (end < utf8.size() && end > pos && ((unsigned char)utf8[end] & 0xC0) == 0x80) --end;
        if (end == pos) end = std::min(utf8.size(), pos + kChunk);  // no character start: bytes as they come
        if (!first) out += "\r\n ";
        out += "=?UTF-8?B?" + Base64(utf8.substr(pos, end - pos)) + "?=";
        first = false;
        pos = end;
    }
    return out + "\r\n";
}

// An address header: the addresses joined by ", ", folded after a comma where a line would grow
// beyond 78 characters.
std::string AddressLine(const std::string& name, const std::vector<std::string>& addresses) {
    std::string out = name + ":";
    std::size_t lineLength = out.size();
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        const std::string item = addresses[i] + (i + 1 < addresses.size() ? "," : "");
        if (i > 0 && lineLength + 1 + item.size() > kFoldAt) {
            out += "\r\n";
            lineLength = 0;
        }
        out += ' ' + item;
        lineLength += 1 + item.size();
    }
    return out + "\r\n";
}

// The body in quoted-printable (RFC 2045): the line breaks of the text stay CRLF, every line is
// at most 76 characters (longer ones continue after a soft break "="), bytes beyond ASCII, "=",
// control characters and a blank before a line end are written as "=XX", and a line's leading
// "." as well, so that no transport changes it. Decoding gives the text back byte for byte.
std::string QuotedPrintable(const std::string& text) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() + text.size() / 8 + 16);
    std::size_t lineLength = 0;
    auto put = [&](std::string piece) {
        if (lineLength + piece.size() > 75) {
            out += "=\r\n";
            lineLength = 0;
        }
        if (piece == "." && lineLength == 0) piece = "=2E";
        out += piece;
        lineLength += piece.size();
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = (unsigned char)text[i];
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            out += "\r\n";
            lineLength = 0;
            ++i;
            continue;
        }
        const bool atLineEnd = i + 1 == text.size() || (text[i + 1] == '\r' && i + 2 < text.size() && text[i + 2] == '\n');
        const bool encode = c >= 0x7f || c == '=' || (c < 0x20 && c != '\t') || ((c == ' ' || c == '\t') && atLineEnd) ||
                            (c == '.' && lineLength == 0);
        if (encode) {
            const char e[4] = {'=', hex[c >> 4], hex[c & 15], 0};
            put(e);
        } else {
            put(std::string(1, char(c)));
        }
    }
    return out;
}

// The date as RFC 5322 writes it, in the local time with its offset.
std::string MailDate(std::time_t now) {
    std::tm local{};
    ::localtime_r(&now, &local);
    static const char* days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const long offset = local.tm_gmtoff / 60;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld", days[local.tm_wday],
                  local.tm_mday, months[local.tm_mon], local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec,
                  offset < 0 ? '-' : '+', std::labs(offset) / 60, std::labs(offset) % 60);
    return buffer;
}

// A Message-ID unique to this mail: time, process, a counter and a random part, at the sender's
// domain (or "localhost" without one).
std::string MessageID(const std::string& sender) {
    static std::atomic<unsigned> counter{0};
    static const unsigned long long salt = std::random_device{}() * 4294967296ULL + std::random_device{}();
    const auto at = sender.rfind('@');
    std::string domain = at == std::string::npos ? std::string() : sender.substr(at + 1);
    bool valid = !domain.empty();
    for (unsigned char c : domain)
        if (!(std::isalnum(c) || c == '.' || c == '-')) valid = false;
    if (!valid) domain = "localhost";
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "<%lld.%d.%u.%llx@", static_cast<long long>(std::time(nullptr)), int(::getpid()),
                  counter++, salt);
    return buffer + domain + ">";
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

std::vector<std::string> Utf8List(const std::vector<CString>& list) {
    std::vector<std::string> out;
    for (const auto& a : list) out.push_back(a.ToUtf8());
    return out;
}

struct Upload {
    std::string data;
    std::size_t pos = 0;
    std::chrono::steady_clock::time_point deadline;
};

// Ends the exchange once its time is up, also while libcurl waits for the answer to its goodbye
// (which its own time limits leave out).
int StopAfterDeadline(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return std::chrono::steady_clock::now() > static_cast<Upload*>(user)->deadline ? 1 : 0;
}

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
    std::string msg = "Date: " + MailDate(std::time(nullptr)) + "\r\n";
    msg += "Message-ID: " + MessageID(m_settings.strSender.ToUtf8()) + "\r\n";
    msg += "From: " + m_settings.strSender.ToUtf8() + "\r\n";
    const auto to = SplitAddresses(strTo);
    const auto cc = SplitAddresses(strCC);
    // The blind copies are named to the server only, never in the message.
    msg += to.empty() ? std::string("To: undisclosed-recipients:;\r\n") : AddressLine("To", Utf8List(to));
    if (!cc.empty()) msg += AddressLine("Cc", Utf8List(cc));
    msg += HeaderLine("Subject", strSubject.ToUtf8());
    msg += "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n"
           "Content-Transfer-Encoding: quoted-printable\r\n\r\n";
    msg += QuotedPrintable(Crlf(strBody.ToUtf8()));
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
    // The whole exchange, and each answer of the server (also the one after the data, for which
    // libcurl would otherwise wait two minutes), within the time limit.
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, timeout);
    curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, timeout);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, timeout);
    // No connection is kept for a later mail: the goodbye is said within the exchange.
    curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, 1L);
    upload.deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, StopAfterDeadline);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &upload);
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

    // The server's own words where it answered, else the transport's reason. A server that fell
    // silent is named with the time limit it ran out of, whichever of libcurl's limits or the
    // deadline above noticed it first (the deadline's abort only says "Callback aborted").
    const bool bTimedOut = rc == CURLE_OPERATION_TIMEDOUT ||
                           (rc == CURLE_ABORTED_BY_CALLBACK && std::chrono::steady_clock::now() > upload.deadline);
    const std::string reason = bTimedOut ? "Timeout: the mail server " + url + " did not answer within " +
                                               std::to_string(timeout) + " s"
                                         : std::string(error[0] ? error : curl_easy_strerror(rc));
    std::string text = answer.empty() ? reason : answer;
    if (!answer.empty() && (bTimedOut || error[0])) text += " (" + reason + ")";
    m_strError = CString(text.c_str());
    OutputDebugString(L"CEMail::SendMail: " + m_strError + L"\n");
    return QV_TRACEHR(kTraceSource, E_FAIL);
}
