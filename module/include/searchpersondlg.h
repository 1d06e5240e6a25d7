#pragma once
// CSearchPersonDlg: the search of persons, with rank, grade, address, place, phone numbers,
// custom fields and Mandant; inactive persons in grey, women's names in their own colour.
#include "searchdlg.h"

class CSearchPersonDlg : public CSearchDlg {
    DECLARE_DYNAMIC(CSearchPersonDlg)
public:
    CSearchPersonDlg(CString strListName, CWnd* pParent = nullptr);
    ~CSearchPersonDlg() override;

    BOOL OnInitDialog() override;
    void SetupColumns() override;
    HRESULT BuildQuery(CString strSearchText, CString& strQuery) override;
    HRESULT FillRow(CQvADORecordset* pRS, CQvListItem** ppItem) override;

    COLORREF m_clrFemale = 0;

protected:
    DECLARE_MESSAGE_MAP()
};
