#include "qvdbretry.h"
#include "qvadoconnection.h"
#include "qvdatalogger.h"
#include "sync.h"

#include <cmath>
#include <mutex>

namespace qv::db {

Failure Classify(HRESULT hr, long lNativeError, const CString& strSQLState, bool bQuery) {
    if (strSQLState == L"HY008") return Failure::Cancelled;
    if (lNativeError == 1205) return Failure::Deadlock;
    // A statement given up at the command timeout after it was sent is such a loss too: whether
    // it took effect is unknown, so it is no timeout that may simply be repeated.
    if (lNativeError == 17 && strSQLState == L"08S01") return Failure::LinkLost;
    if (hr == DB_E_ABORTLIMITREACHED) return Failure::Timeout;
    if (bQuery && hr == DB_E_ERRORSOCCURRED) return Failure::NotSupported;
    if (hr == E_FAIL && ((lNativeError == 0 && strSQLState == L"HYT00") || (lNativeError == 17 && strSQLState == L"08001"))) {
        return Failure::ConnectTimeout;
    }
    return Failure::Other;
}

CString LoggedStatement(const CString& strStatement) {
    const int nLength = strStatement.GetLength();
    if (nLength <= kLoggedStatementLength) return strStatement;
    CString strCut;
    strCut.Format(L"%s... [%d of %d characters]", static_cast<LPCWSTR>(strStatement.Left(kLoggedStatementLength)),
                  kLoggedStatementLength, nLength);
    return strCut;
}

void LogSlowStatement(CQvDataLogger& log, const CQvGUID& message, LPCWSTR lpszTemplate, const CQvADOConnection& conn,
                      const CString& strStatement, double dMilliseconds) {
    if (conn.m_lCommand4LogDuration == 0 || !(dMilliseconds > conn.m_lCommand4LogDuration)) return;
    CString strLower = strStatement;
    strLower.MakeLower();
    if (!conn.m_strCommand4LogFilter.IsEmpty() && strLower.Find(conn.m_strCommand4LogFilter) < 0) return;
    const double dSeconds = std::floor(dMilliseconds) / 1000.0;
    log.Warning(&message, lpszTemplate, dSeconds, LoggedStatement(strLower));
}

namespace {
thread_local CString t_strLostConnection;
}  // namespace

void NoteStatementResult(long lNativeError, CQvADOConnection* pConnection) {
    if (lNativeError != 17 || !pConnection) {
        t_strLostConnection.Empty();
        return;
    }
    pConnection->GetErrorText(t_strLostConnection);
}

void NoteConnectFailure(const CString& strText) {
    if (!strText.IsEmpty()) t_strLostConnection = strText;
}

CString LostConnectionText() { return t_strLostConnection; }

namespace {
std::mutex g_waitLock;
std::function<void(DWORD)> g_wait;
}  // namespace

void Wait(DWORD dwMilliseconds) {
    std::function<void(DWORD)> wait;
    {
        std::lock_guard g(g_waitLock);
        wait = g_wait;
    }
    if (wait) {
        wait(dwMilliseconds);
    } else {
        Sleep(dwMilliseconds);
    }
}

void SetWaitFunction(std::function<void(DWORD)> wait) {
    std::lock_guard g(g_waitLock);
    g_wait = std::move(wait);
}

}  // namespace qv::db
