#pragma once
// CUserLog: writes the users' changes into the suite's user log (the audit trail), draws the
// grouping numbers that tie the entries of one operation together, and asks the server to show
// the entries of a record. Built on the stack around one piece of work; it connects on first use
// and gives up after 10 attempts.
#include "cstring.h"
#include "oleauto.h"
#include "qvguid.h"
#include "sync.h"
#include "userlogint.h"

class CUserLog {
public:
    CUserLog();
    virtual ~CUserLog();
    CUserLog(const CUserLog&) = delete;
    CUserLog& operator=(const CUserLog&) = delete;

    // S_OK also when the host offers no user-log server or the attempts are used up: entries are
    // then dropped.
    long ConnectUserLog();
    // A new grouping number; 0 (no grouping) after a failure, which is shown to the user.
    long GetNewGrouping();

    // One entry. E_FAIL without contacting the server when the text or the module is empty (the
    // reason is in the last error text); when the server refuses it, the last error text is what
    // the server said of its refusal (empty when it said nothing).
    long Write(long lKind, CString* pstrText, CString* pstrDetail, CString* pstrModul, long lValue, long lTableID,
               CQvGUID* pguidObject, CQvGUID* pguidParent, long lCode, long lGrouping);
    long WriteInsert(CString* pstrText, CString* pstrDetail, CString* pstrModul, long lValue, long lTableID,
                     CQvGUID* pguidObject, CQvGUID* pguidParent, long lCode, long lGrouping);
    long WriteUpdate(CString* pstrText, CString* pstrDetail, CString* pstrModul, long lValue, long lTableID,
                     CQvGUID* pguidObject, CQvGUID* pguidParent, long lCode, long lGrouping);
    long WriteDelete(CString* pstrText, CString* pstrDetail, CString* pstrModul, long lValue, long lTableID,
                     CQvGUID* pguidObject, CQvGUID* pguidParent, long lCode, long lGrouping);

    long ShowSpecificUserLog(long lMode, CString strName, CString strText2, CString strText3, CQvGUID guidObject);

    const CString& GetLastErrorText() const { return m_strLastError; }
    long GetConnectAttempts() const { return m_lConnectAttempts; }

    static constexpr long kMaxConnectAttempts = 10;

protected:
    CString m_strLastError;
    long m_lConnectAttempts = 0;
    IUserLog* m_pUserLog = nullptr;
    CCriticalSection m_lock;
};
