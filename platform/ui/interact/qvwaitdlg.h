#pragma once
// CQvWaitDlg: the window shown while long work runs, with a description and optionally a cancel
// button and an elapsed-time display. It goes through the interaction backend, so code without
// windows can use it and tests see what was shown. It closes when the object dies.
#include "qvinteract.h"

class CQvWaitDlg {
public:
    CQvWaitDlg() = default;
    ~CQvWaitDlg();
    CQvWaitDlg(const CQvWaitDlg&) = delete;
    CQvWaitDlg& operator=(const CQvWaitDlg&) = delete;

    // delay: milliseconds before the window appears; range: progress steps (-1: no end);
    // interval: tick of the elapsed-time display in tenths of a second. S_FALSE when already open.
    HRESULT Open(CWnd* parent, long delay = 1000, long range = -1, long interval = 10);
    HRESULT SetDescription(LPCWSTR text);
    HRESULT ShowCancel(BOOL show);
    HRESULT ShowTimer(BOOL show);
    // The work is done; the window says so until it is closed.
    HRESULT SetFinish();
    HRESULT Close();
    BOOL IsOpen() const { return open_; }
    // TRUE once the user pressed the cancel button.
    BOOL IsCancelled() const { return wait_.cancelled; }

private:
    qv::WaitWindow wait_;
    bool open_ = false;
};
