#pragma once
// CSearchAgendaDlg: the search of agenda entries with their latest processing state as icon,
// from the date (today when unset) and in the states the filter options allow; entries that
// already have their activity on a light-yellow background.
#include "searchdlg.h"

class CSearchAgendaDlg : public CSearchDlg {
    DECLARE_DYNAMIC(CSearchAgendaDlg)
public:
    CSearchAgendaDlg(CString strListKey, CWnd* pParent = nullptr);
    ~CSearchAgendaDlg() override;

    BOOL OnInitDialog() override;
    void SetupColumns() override;
    HRESULT BuildQuery(CString strSearchText, CString& strQuery) override;
    HRESULT FillRow(CQvADORecordset* pRS, CQvListItem** ppItem) override;

    // The installation's canton: it chooses the icon of status 5.
    CString m_strActKanton;

protected:
    DECLARE_MESSAGE_MAP()
};
