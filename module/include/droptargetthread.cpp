#include "droptargetthread.h"

#include "qvhrtrace.h"

#include <chrono>

BEGIN_MESSAGE_MAP(CDropTargetThread, CWinThread)
    ON_THREAD_MESSAGE(WM_USER + 1, &CDropTargetThread::OnQuit)
END_MESSAGE_MAP()

BOOL CDropTargetThread::InitInstance() {
    OleInitialize(nullptr);
    AfxEnableControlContainer();
    m_bAutoDelete = FALSE;
    return TRUE;
}

BOOL CDropTargetThread::OnIdle(LONG lCount) {
    if (!m_bReady) {
        // The window layer hands the registration to the GUI thread, where the drops arrive.
        if (m_pIcon && m_pIcon->GetSafeHwnd()) {
            m_wndTarget.Attach(m_pIcon->GetSafeHwnd());
            m_wndTarget.m_dropTarget.Register(&m_wndTarget);
        }
        m_bReady = TRUE;
    }
    return CWinThread::OnIdle(lCount);
}

int CDropTargetThread::ExitInstance() {
    m_wndTarget.Detach();
    m_wndTarget.m_dropTarget.Revoke();
    OleUninitialize();
    return CWinThread::ExitInstance();
}

void CDropTargetThread::OnQuit(WPARAM, LPARAM) { PostQuitMessage(0); }

CDropTargetThread* CDropTargetThread::Start(CStatusIconDocMngmt* pIcon) {
    auto* pThread = new CDropTargetThread(pIcon);
    pThread->m_bAutoDelete = FALSE;
    if (!pThread->CreateThread(CREATE_SUSPENDED, 0, nullptr)) {
        QvAddHRErrorFile(L"droptargetthread", __LINE__, E_FAIL);
        delete pThread;
        return nullptr;
    }
    pThread->ResumeThread();
    // A thread that ended before it got ready (or hangs) must not hold the dialog forever.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    DWORD dwExit = STILL_ACTIVE;
    while (!pThread->m_bReady && GetExitCodeThread(pThread->m_hThread, &dwExit) && dwExit == STILL_ACTIVE &&
           std::chrono::steady_clock::now() < deadline)
        Sleep(0);
    if (!pThread->m_bReady) {
        QvAddHRErrorFile(L"droptargetthread", __LINE__, E_FAIL);
        Stop(pThread);
        return nullptr;
    }
    pThread->m_wndTarget.m_dropTarget.m_pIcon = pIcon;
    pIcon->m_pDropThread = pThread;
    return pThread;
}

void CDropTargetThread::Stop(CDropTargetThread*& pThread) {
    // The caller's pointer is often the icon's own, which is cleared below: keep the thread apart.
    CDropTargetThread* pStop = pThread;
    if (!pStop) return;
    PostThreadMessage(pStop->m_nThreadID, WM_USER + 1, 0, 0);
    DWORD dwExit = 0;
    if (GetExitCodeThread(pStop->m_hThread, &dwExit) && dwExit == STILL_ACTIVE)
        WaitForSingleObject(pStop->m_hThread, INFINITE);
    if (pStop->m_pIcon && pStop->m_pIcon->m_pDropThread == pStop) pStop->m_pIcon->m_pDropThread = nullptr;
    pThread = nullptr;
    delete pStop;
}
