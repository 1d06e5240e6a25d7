#pragma once
// CQvHttp: the common library's HTTP client. One object makes GET requests one after the other on
// the calling thread; the call blocks until the reply is complete, the server refused, or a time-out
// ran out. Replies are text (UTF-8, or ISO 8859-1 when the bytes are not valid UTF-8).
#include "cstring.h"
#include "qvtypes.h"

// Failure codes of Get, in the Win32 numbering of an internet client wrapped as HRESULTs.
#define QV_HTTP_ERROR_TIMEOUT 12002L           // no connection or no reply within the time-out
#define QV_HTTP_ERROR_INTERNAL 12004L          // the transfer broke off for another reason
#define QV_HTTP_ERROR_BAD_URL 12005L           // the URL cannot be used
#define QV_HTTP_ERROR_NAME_NOT_RESOLVED 12007L // the host name is unknown
#define QV_HTTP_ERROR_CANNOT_CONNECT 12029L    // the server refused or cannot be reached
#define QV_HTTP_ERROR_STATUS 12152L            // the server answered with an HTTP error status
#define QV_HTTP_ERROR_INVALID_RESPONSE 12152L  // a reply that cannot be read: too large, or compressed

class CQvHttp {
public:
    CQvHttp();
    ~CQvHttp();
    CQvHttp(const CQvHttp&) = delete;
    CQvHttp& operator=(const CQvHttp&) = delete;

    // Time allowed to establish the connection, in tenths of a second (100 = 10 s); 0 or less
    // restores the default of 100.
    void SetConnectTimeout(long tenths);
    long GetConnectTimeout() const { return m_lConnectTimeout; }
    // Time allowed for the whole request, connecting included, in milliseconds; 0 or less takes
    // the process-wide default.
    void SetRequestTimeout(long milliseconds);
    // The process-wide default of the request time-out (60,000 ms unless changed); clients made
    // inside code that sets no time-out of its own (such as the booking API) use it.
    static void SetDefaultRequestTimeout(long milliseconds);
    static long GetDefaultRequestTimeout();

    // Replies larger than this are refused as malformed: the reply page is a few kilobytes.
    static constexpr long long kMaxReplyBytes = 4LL * 1024 * 1024;

    // GETs the URL into 'reply'. S_OK for a reply with a 2xx status; otherwise a failure code
    // (HRESULT_FROM_WIN32 of one of the QV_HTTP_ERROR_ codes) with 'reply' emptied, and
    // GetLastError/GetLastErrorDesc tell what went wrong.
    HRESULT Get(const CString& url, CString& reply);

    // The number of the last failure: a QV_HTTP_ERROR_ code, or the HTTP status for a failure
    // with an HTTP error status; 0 after a success.
    long GetLastError() const { return m_lLastError; }
    CString GetLastErrorDesc() const { return m_strLastErrorDesc; }
    // The HTTP status of the last reply (0 when none came).
    long GetLastStatusCode() const { return m_lStatusCode; }

private:
    void* m_pCurl = nullptr;  // the transfer handle, kept between requests to reuse the connection
    long m_lConnectTimeout = 100;
    long m_lRequestTimeout = 0;
    long m_lLastError = 0;
    long m_lStatusCode = 0;
    CString m_strLastErrorDesc;
};
