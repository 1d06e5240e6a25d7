#pragma once
// CSearchGemeindeDlg: the search of municipalities by name and canton.
#include "searchdlg.h"

class CSearchGemeindeDlg : public CSearchDlg {
    DECLARE_DYNAMIC(CSearchGemeindeDlg)
public:
    CSearchGemeindeDlg(CString strListKey, CWnd* pParent = nullptr);
    ~CSearchGemeindeDlg() override;

    BOOL OnInitDialog() override;
    void SetupColumns() override;
    HRESULT BuildQuery(CString strSearchText, CString& strQuery) override;
    HRESULT FillRow(CQvADORecordset* pRS, CQvListItem** ppItem) override;

protected:
    DECLARE_MESSAGE_MAP()
};
