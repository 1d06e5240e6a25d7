#include "dlgscrollhelper.h"

#include <algorithm>

namespace {
constexpr int kLineStep = 60;
}

void CDlgScrollHelper::SetDisplaySize(int /*nWidth*/, int nHeight) {
    if (m_pWnd) {
        CClientDC dc(m_pWnd);
        m_nDisplayHeight = dc.GetDeviceCaps(LOGPIXELSY) * nHeight / 96;
    } else {
        m_nDisplayHeight = nHeight;
    }
    m_nDisplayWidth = 0;
    if (m_pWnd && m_pWnd->GetSafeHwnd()) OnSize();
}

int CDlgScrollHelper::GetScrollPosFromInfo(CScrollBar* pScrollBar) {
    SCROLLINFO si{};
    si.cbSize = sizeof(si);
    si.fMask = SIF_TRACKPOS;
    CWnd* pWnd = pScrollBar ? reinterpret_cast<CWnd*>(pScrollBar) : m_pWnd;
    if (!pWnd || !::GetScrollInfo(pWnd->GetSafeHwnd(), SB_VERT, &si)) return m_nScrollPosV;
    return si.nTrackPos;
}

void CDlgScrollHelper::OnVScroll(UINT nSBCode, CScrollBar* pScrollBar) {
    if (!m_pWnd) return;
    int nDelta = 0;
    switch (nSBCode) {
    case SB_LINEUP: nDelta = -kLineStep; break;
    case SB_LINEDOWN: nDelta = kLineStep; break;
    case SB_PAGEUP: nDelta = -m_nPageHeight; break;
    case SB_PAGEDOWN: nDelta = m_nPageHeight; break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK: nDelta = GetScrollPosFromInfo(pScrollBar) - m_nScrollPosV; break;
    default: return;
    }
    const int nMax = m_nDisplayHeight - m_nPageHeight;
    if (m_nScrollPosV + nDelta > nMax)
        nDelta = nMax - m_nScrollPosV;
    else if (m_nScrollPosV + nDelta < 0)
        nDelta = -m_nScrollPosV;
    if (nDelta != 0) {
        m_nScrollPosV += nDelta;
        m_pWnd->SetScrollPos(SB_VERT, m_nScrollPosV, TRUE);
        m_pWnd->ScrollWindow(0, -nDelta);
    }
}

void CDlgScrollHelper::EnsureVisible(int /*nLeft*/, int nTop, int /*nRight*/, int nBottom) {
    if (!m_pWnd || m_nDisplayHeight <= 0 || m_nPageHeight <= 0) return;
    if (nBottom > m_nPageHeight) {
        const int d = nBottom - m_nPageHeight;
        m_nScrollPosV += d;
        m_pWnd->SetScrollPos(SB_VERT, m_nScrollPosV, TRUE);
        m_pWnd->ScrollWindow(0, -d);
    } else if (nTop < 0) {
        const int d = std::min(-nTop, m_nScrollPosV);
        m_nScrollPosV -= d;
        m_pWnd->SetScrollPos(SB_VERT, m_nScrollPosV, TRUE);
        m_pWnd->ScrollWindow(0, d);
    }
}

void CDlgScrollHelper::OnSize() {
    if (!m_pWnd) return;
    CRect rcWindow, rcClient;
    m_pWnd->GetWindowRect(&rcWindow);
    m_pWnd->ScreenToClient(&rcWindow);
    m_pWnd->GetClientRect(&rcClient);
    int nClientWidth = rcClient.Width(), nClientHeight = rcClient.Height();
    const int cxV = GetSystemMetrics(SM_CXVSCROLL), cyH = GetSystemMetrics(SM_CYHSCROLL);
    if (rcWindow.right >= rcClient.right + cxV) nClientWidth += cxV;
    if (rcWindow.bottom >= rcClient.bottom + cyH) nClientHeight += cyH;
    int nDeltaH = 0, nDeltaV = 0;
    UpdateScrollInfo(SB_HORZ, nClientWidth, m_nDisplayWidth, m_nPageWidth, m_nScrollPosH, nDeltaH);
    UpdateScrollInfo(SB_VERT, nClientHeight, m_nDisplayHeight, m_nPageHeight, m_nScrollPosV, nDeltaV);
    if (nDeltaH != 0 || nDeltaV != 0) m_pWnd->ScrollWindow(nDeltaH, nDeltaV);
}

void CDlgScrollHelper::UpdateScrollInfo(int nBar, int nClientExtent, int nDisplayExtent, int& nPage, int& nPos,
                                        int& nDelta) {
    nDelta = 0;
    int nRangeMax = 0;
    if (nClientExtent >= nDisplayExtent) {
        nPage = 0;
        nPos = 0;
        nDelta = m_pWnd->GetScrollPos(nBar);
    } else {
        nRangeMax = nDisplayExtent - 1;
        if (nPage > 0 && nPos > 0) nPos = static_cast<int>(double(nPos) * nClientExtent / nPage);
        nPage = nClientExtent;
        nPos = std::min(nPos, nDisplayExtent - nClientExtent - 1);
        nDelta = m_pWnd->GetScrollPos(nBar) - nPos;
    }
    SCROLLINFO si{};
    si.cbSize = sizeof(si);
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
    si.nMin = 0;
    si.nMax = nRangeMax;
    si.nPage = UINT(nPage);
    si.nPos = nPos;
    m_pWnd->SetScrollInfo(nBar, &si, TRUE);
}
