#pragma once
// CSearchEinsatzDlg: the search of activities with their latest processing state as icon,
// from the date and in the states the filter options allow.
#include "searchdlg.h"

class CSearchEinsatzDlg : public CSearchDlg {
    DECLARE_DYNAMIC(CSearchEinsatzDlg)
public:
    CSearchEinsatzDlg(CString strListKey, CWnd* pParent = nullptr);
    ~CSearchEinsatzDlg() override;

    BOOL OnInitDialog() override;
    void SetupColumns() override;
    HRESULT BuildQuery(CString strSearchText, CString& strQuery) override;
    HRESULT FillRow(CQvADORecordset* pRS, CQvListItem** ppItem) override;

    // The installation's canton: it chooses the icon of status 5.
    CString m_strActKanton;

protected:
    DECLARE_MESSAGE_MAP()
};
