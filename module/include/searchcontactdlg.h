#pragma once
// CSearchContactDlg: the search of contacts (name, firm, address, place, phone numbers, remark,
// categories); a contact who is a user of the system carries the user image.
#include "searchdlg.h"

class CSearchContactDlg : public CSearchDlg {
    DECLARE_DYNAMIC(CSearchContactDlg)
public:
    CSearchContactDlg(CString strListKey, CWnd* pParent = nullptr);
    ~CSearchContactDlg() override;

    void SetupColumns() override;
    HRESULT BuildQuery(CString strSearchText, CString& strQuery) override;
    HRESULT FillRow(CQvADORecordset* pRS, CQvListItem** ppItem) override;

protected:
    DECLARE_MESSAGE_MAP()
};
