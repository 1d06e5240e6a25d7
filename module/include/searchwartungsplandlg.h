#pragma once
// CSearchWartungsplanDlg: the search of maintenance plans with their cycle; plans of another
// master Mandant in their own colour. It has no filter options.
#include "searchdlg.h"

class CSearchWartungsplanDlg : public CSearchDlg {
    DECLARE_DYNAMIC(CSearchWartungsplanDlg)
public:
    CSearchWartungsplanDlg(CString strListKey, CWnd* pParent = nullptr);
    ~CSearchWartungsplanDlg() override;

    BOOL OnInitDialog() override;
    void SetupColumns() override;
    HRESULT BuildQuery(CString strSearchText, CString& strQuery) override;
    HRESULT FillRow(CQvADORecordset* pRS, CQvListItem** ppItem) override;

    // Text colour of the plans that belong to another master Mandant.
    COLORREF m_crForeign = 0xFF0000;

protected:
    DECLARE_MESSAGE_MAP()
};
