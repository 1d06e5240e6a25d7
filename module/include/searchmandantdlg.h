#pragma once
// CSearchMandantDlg: the search of Mandanten on which the user holds rights for a table; in
// single selection the active Mandant (or the master Mandant) is selected after each search.
#include "searchdlg.h"

class CSearchMandantDlg : public CSearchDlg {
    DECLARE_DYNAMIC(CSearchMandantDlg)
public:
    CSearchMandantDlg(CString strListKey, CWnd* pParent = nullptr);
    ~CSearchMandantDlg() override;

    BOOL OnInitDialog() override;
    void SetupColumns() override;
    HRESULT BuildQuery(CString strSearchText, CString& strQuery) override;
    HRESULT FillRow(CQvADORecordset* pRS, CQvListItem** ppItem) override;

    long m_lPreselectMandantID = 0;

protected:
    DECLARE_MESSAGE_MAP()
};
