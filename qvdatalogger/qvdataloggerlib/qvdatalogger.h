#pragma once
// CQvDataLogger: writes diagnostic entries to the suite's data logger under its owner's source
// name. It connects on the first entry, through the host frame, and gives up after 10 attempts;
// without a data logger an entry goes to the debugger output when the user switched the echo on
// (HKCU "Software\Qovaro\QvDataLogger", DWORD "LogToConsoleEnabled") and is dropped otherwise.
// One object may be used from several threads.
#include "qvbase.h"
#include "qvdataloggerint.h"
#include "qvguid.h"
#include "qvobject.h"

class CQvDataLogger : public CObject {
public:
    explicit CQvDataLogger(const CString& strSource);
    ~CQvDataLogger() override;

    // Lets the data logger go; the object connects again on its next entry. Returns 0.
    long Release();

    // One entry of the message GUID with the text formatted printf-style; the result of the
    // write, S_FALSE when no data logger could be reached.
    template <class... A>
    long Debug(const CQvGUID* pMessage, LPCWSTR lpszFormat, const A&... args) {
        return Write(QVDATALOGGER_DEBUG, L"Debug", pMessage, Text(lpszFormat, args...));
    }
    template <class... A>
    long Info(const CQvGUID* pMessage, LPCWSTR lpszFormat, const A&... args) {
        return Write(QVDATALOGGER_INFO, L"Info", pMessage, Text(lpszFormat, args...));
    }
    template <class... A>
    long Warning(const CQvGUID* pMessage, LPCWSTR lpszFormat, const A&... args) {
        return Write(QVDATALOGGER_WARNING, L"Warning", pMessage, Text(lpszFormat, args...));
    }
    template <class... A>
    long Error(const CQvGUID* pMessage, LPCWSTR lpszFormat, const A&... args) {
        return Write(QVDATALOGGER_ERROR, L"Error", pMessage, Text(lpszFormat, args...));
    }
    template <class... A>
    long Debug(const CQvGUID& message, LPCWSTR lpszFormat, const A&... args) { return Debug(&message, lpszFormat, args...); }
    template <class... A>
    long Info(const CQvGUID& message, LPCWSTR lpszFormat, const A&... args) { return Info(&message, lpszFormat, args...); }
    template <class... A>
    long Warning(const CQvGUID& message, LPCWSTR lpszFormat, const A&... args) { return Warning(&message, lpszFormat, args...); }
    template <class... A>
    long Error(const CQvGUID& message, LPCWSTR lpszFormat, const A&... args) { return Error(&message, lpszFormat, args...); }

private:
    template <class... A>
    static CString Text(LPCWSTR lpszFormat, const A&... args) {
        CString s;
        s.Format(lpszFormat, args...);
        return s;
    }
    long Connect();
    long Write(long lLevel, LPCWSTR lpszLevel, const CQvGUID* pMessage, const CString& strText);

    CCriticalSection m_lock;
    IQvDataLogger* m_pServer = nullptr;
    long m_lConnectAttempts = 0;
    BSTR m_bstrSource = nullptr;
    long m_lLogToConsole = 0;
};
