#pragma once
// CDlgScrollHelper: vertical scrolling of a dialog whose content is taller than the space it is
// given, with the window's own scroll bar. The owning dialog forwards WM_VSCROLL and WM_SIZE to it
// and asks it to bring the focused control into view.
#include "qvui.h"

class CDlgScrollHelper {
public:
    CDlgScrollHelper() = default;

    void AttachWnd(CWnd* pWnd) { m_pWnd = pWnd; }
    // The height in 1/96 inch (pixels without an owner); the width is not used.
    void SetDisplaySize(int nWidth, int nHeight);
    void OnVScroll(UINT nSBCode, CScrollBar* pScrollBar);
    int GetScrollPosFromInfo(CScrollBar* pScrollBar);
    // The rectangle in the owner's client coordinates.
    void EnsureVisible(int nLeft, int nTop, int nRight, int nBottom);
    void OnSize();

    int GetPageHeight() const { return m_nPageHeight; }
    int GetDisplayHeight() const { return m_nDisplayHeight; }
    int GetScrollPos() const { return m_nScrollPosV; }

protected:
    void UpdateScrollInfo(int nBar, int nClientExtent, int nDisplayExtent, int& nPage, int& nPos, int& nDelta);

    CWnd* m_pWnd = nullptr;
    int m_nPageWidth = 0;
    int m_nPageHeight = 0;
    int m_nDisplayWidth = 0;
    int m_nDisplayHeight = 0;
    int m_nScrollPosH = 0;
    int m_nScrollPosV = 0;
};
