#pragma once
// CSearchGruppeDlg: the search of groups under the user's rights on groups.
#include "searchdlg.h"

class CSearchGruppeDlg : public CSearchDlg {
    DECLARE_DYNAMIC(CSearchGruppeDlg)
public:
    CSearchGruppeDlg(CString strListKey, CWnd* pParent = nullptr);
    ~CSearchGruppeDlg() override;

    BOOL OnInitDialog() override;
    void SetupColumns() override;
    HRESULT BuildQuery(CString strSearchText, CString& strQuery) override;
    HRESULT FillRow(CQvADORecordset* pRS, CQvListItem** ppItem) override;

protected:
    DECLARE_MESSAGE_MAP()
};
