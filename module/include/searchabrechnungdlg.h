#pragma once
// CSearchAbrechnungDlg: the search of pay accountings from the date the filter options set;
// accountings whose cache is out of date in red, social-insurance accountings on light yellow.
#include "searchdlg.h"

class CSearchAbrechnungDlg : public CSearchDlg {
    DECLARE_DYNAMIC(CSearchAbrechnungDlg)
public:
    CSearchAbrechnungDlg(CString strListKey, CWnd* pParent = nullptr);
    ~CSearchAbrechnungDlg() override;

    BOOL OnInitDialog() override;
    void SetupColumns() override;
    HRESULT BuildQuery(CString strSearchText, CString& strQuery) override;
    HRESULT FillRow(CQvADORecordset* pRS, CQvListItem** ppItem) override;

protected:
    DECLARE_MESSAGE_MAP()
};
