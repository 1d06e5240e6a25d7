#pragma once
// CSearchKursDlg: the search of courses and their runs in three forms (courses only, runs only,
// courses with their runs) under the course rights; runs are coloured by their fill level as the
// open course window knows it, rows carry the icon of the course type.
#include "ikursinstanz.h"
#include "searchdlg.h"

class CSearchKursDlg : public CSearchDlg {
    DECLARE_DYNAMIC(CSearchKursDlg)
public:
    CSearchKursDlg(CString strListKey, CWnd* pParent = nullptr);
    ~CSearchKursDlg() override;

    BOOL OnInitDialog() override;
    void SetupColumns() override;
    HRESULT BuildQuery(CString strSearchText, CString& strQuery) override;
    HRESULT FillRow(CQvADORecordset* pRS, CQvListItem** ppItem) override;

    // The icon of a course type in the installation's canton (-1: none).
    static int KursTypIcon(long lTyp, const CString& strKanton);
    // The runs' date condition (strDate: the date as the statement quotes it).
    static CString RunDateCondition(BOOL bDateSet, const CString& strDate, BOOL bOnlyInstanz);

    IKursinstanz* m_pKursinstanz = nullptr;
    BOOL m_bOnlyKurs = FALSE;
    BOOL m_bOnlyInstanz = FALSE;
    CString m_strKanton;

protected:
    DECLARE_MESSAGE_MAP()
};
