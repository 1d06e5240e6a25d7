#pragma once
// CSearchArbeitsplanDlg: the search of work plans from the date the filter options set (today
// when unset), under the user's rights; plans that belong to an activity on light yellow.
#include "searchdlg.h"

class CSearchArbeitsplanDlg : public CSearchDlg {
    DECLARE_DYNAMIC(CSearchArbeitsplanDlg)
public:
    CSearchArbeitsplanDlg(CString strListKey, CWnd* pParent = nullptr);
    ~CSearchArbeitsplanDlg() override;

    BOOL OnInitDialog() override;
    void SetupColumns() override;
    HRESULT BuildQuery(CString strSearchText, CString& strQuery) override;
    HRESULT FillRow(CQvADORecordset* pRS, CQvListItem** ppItem) override;

protected:
    DECLARE_MESSAGE_MAP()
};
