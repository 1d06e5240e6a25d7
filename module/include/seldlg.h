#pragma once
// CSelDlg: the record browser bar in a record view's header: a text naming the current record and
// the search, filter, first, previous, next and last buttons. A module derives from it and supplies
// the records of its selection; the bar asks the parent dialog to show the one chosen.
#include "qvbuttons.h"
#include "qvdialog.h"
#include "qvlayout.h"

class CParentDlg;

enum : UINT {
    IDD_NQ_SELDLG = 10000,
    IDC_NQ_SEL_TEXT = 11100,
    IDC_NQ_SEL_SEARCH = 11101,
    IDC_NQ_SEL_PREV = 11102,
    IDC_NQ_SEL_NEXT = 11103,
    IDC_NQ_SEL_FILTER = 11104,
    IDC_NQ_SEL_FIRST = 11105,
    IDC_NQ_SEL_LAST = 11110,

    IDS_NQ_SEL_FILTER = 10620,
    IDS_NQ_SEL_SEARCH = 10621,
    IDS_NQ_SEL_FIRST = 10622,
    IDS_NQ_SEL_LAST = 10623,
    IDS_NQ_SEL_PREV = 10624,
    IDS_NQ_SEL_NEXT = 10625,
    IDS_NQ_SEL_TEXT = 10626,
};

class CSelDlg : public CQvDialog {
    DECLARE_DYNAMIC(CSelDlg)
public:
    CSelDlg();

    BOOL OnInitDialog() override;

    // ---- new virtual operations, in slot order
    virtual HRESULT InitControls(CParentDlg* pParentDlg, UINT nPlaceholderID);
    virtual HRESULT ShowFirstRecord();
    virtual HRESULT ShowRecord(long lID, long lSubID);
    virtual HRESULT ResetSelection();
    virtual void UpdateFilter();
    virtual void OnSearch() = 0;
    virtual void OnFilter() = 0;
    virtual HRESULT GetRecordText(CString* pstrText) = 0;
    virtual HRESULT GetFirstID(long* plID) = 0;
    virtual HRESULT GetLastID(long* plID) = 0;
    virtual HRESULT GetPrevID(long* plID) = 0;
    virtual HRESULT GetNextID(long* plID) = 0;
    virtual long GetRecordID();
    virtual long GetSubRecordID();

    CString m_strText;
    CStatic m_stcText;
    CQvBitmapButton m_btnPrev, m_btnNext, m_btnFirst, m_btnLast, m_btnSearch, m_btnFilter;
    CParentDlg* m_pParentDlg = nullptr;
    CFont m_font;
    long m_lUserID = 0;
    CQvLayoutFactory m_layout;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    afx_msg void OnBnNext();
    afx_msg void OnBnPrev();
    afx_msg void OnBnFirst();
    afx_msg void OnBnLast();
    afx_msg void OnBnSearch();
    afx_msg void OnBnFilter();
    DECLARE_MESSAGE_MAP()

    // Asks the getter for an id and shows it; an id of 0 shows the empty view only when bShowNone.
    void Step(HRESULT (CSelDlg::*pfnGetter)(long*), BOOL bShowNone, LPCWSTR lpszCaption, long lLine);
};
