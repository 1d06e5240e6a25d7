#pragma once
// The thread that owns the document icon's drop target: it registers the target on the icon's
// window when its message loop first idles and revokes it when it quits on WM_USER+1.
#include "statusicondocmngmt.h"

#include <atomic>

class CDropTargetThread : public CWinThread {
public:
    explicit CDropTargetThread(CStatusIconDocMngmt* pIcon) : m_pIcon(pIcon) {}

    BOOL InitInstance() override;
    BOOL OnIdle(LONG lCount) override;
    int ExitInstance() override;
    void OnQuit(WPARAM wParam, LPARAM lParam);

    // Starts the thread for the icon and waits until its target is registered; null when the
    // thread could not be made or never got ready.
    static CDropTargetThread* Start(CStatusIconDocMngmt* pIcon);
    // Asks the thread to quit, waits for it and deletes it.
    static void Stop(CDropTargetThread*& pThread);

    CStatusIconDocMngmt* m_pIcon;
    CDropTargetWnd m_wndTarget;
    std::atomic<BOOL> m_bReady{FALSE};

    DECLARE_MESSAGE_MAP()
};
