#pragma once
// CSearchAreaDlg: the search of areas by short name, name, kind and custom fields; inactive
// areas in grey, or left out with the option "AreaActive".
#include "searchdlg.h"

class CSearchAreaDlg : public CSearchDlg {
    DECLARE_DYNAMIC(CSearchAreaDlg)
public:
    CSearchAreaDlg(CString strListKey, CWnd* pParent = nullptr);
    ~CSearchAreaDlg() override;

    void SetupColumns() override;
    HRESULT BuildQuery(CString strSearchText, CString& strQuery) override;
    HRESULT FillRow(CQvADORecordset* pRS, CQvListItem** ppItem) override;

protected:
    DECLARE_MESSAGE_MAP()
};
