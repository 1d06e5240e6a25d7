#pragma once
// CEMail: the platform's mail class. One object sends one mail over SMTP to the server that the
// installation names in HKEY_LOCAL_MACHINE "Software\Qovaro\NQ2\Mail":
//   "SmtpServer" or "Server" (text: host name or address, an smtp:// or smtps:// URL, or a
//   file:// folder that receives each mail as an .eml file), "SmtpPort" (DWORD, 25 when missing),
//   "Sender" or "From" (text, the From address), "SmtpTLS" (DWORD: 0 plain, 1 STARTTLS required,
//   2 TLS from the first byte), "SmtpUser" and "SmtpPassword" (texts; no login when empty),
//   "SmtpTimeout" (DWORD seconds, 30 when missing: the whole exchange with the server, each of its
//   answers included, ends within it).
#include "cstring.h"
#include "qvtypes.h"

#include <vector>

struct NQMailSettings {
    CString strServer;
    long lPort = 25;
    CString strSender;
    long lTLS = 0;
    CString strUser;
    CString strPassword;
    long lTimeout = 30;
};

class CEMail {
public:
    CEMail();
    // Settings given by the caller instead of the registry's.
    explicit CEMail(const NQMailSettings& settings);

    // Addresses are separated by ';' (or ','). 0: the server accepted the mail; S_FALSE (1): there
    // was nobody to send it to, or the installation has no mail server, nothing went out;
    // E_INVALIDARG: one of the addresses is none; other negative results: not sent (the server
    // unreachable, or it refused), the server's answer in GetLastErrorText.
    long SendMail(CString strTo, CString strCC, CString strBCC, CString strSubject, CString strBody);

    // The server's last answer (or the transport's error) of a failed send.
    CString GetLastErrorText() const { return m_strError; }

    // The settings the installation's registry holds.
    static NQMailSettings ReadSettings();
    // name@domain.tld without blanks or brackets.
    static BOOL IsAddress(const CString& strAddress);
    // The addresses of a list, trimmed, without empty entries.
    static std::vector<CString> SplitAddresses(const CString& strList);
    // The message as it goes to the server: Date, Message-ID, addresses and subject (folded, non-ASCII
    // text as RFC 2047 encoded words), the body quoted-printable; CRLF line ends, no line longer
    // than 78 characters where the text allows it.
    CString ComposeMessage(const CString& strTo, const CString& strCC, const CString& strSubject,
                           const CString& strBody) const;

private:
    long WriteToFolder(const CString& strTo, const CString& strCC, const CString& strSubject, const CString& strBody);

    // Read from the registry at every mail unless the caller gave them.
    NQMailSettings m_settings;
    bool m_bOwnSettings = false;
    CString m_strError;
};
