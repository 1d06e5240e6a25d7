#pragma once
// CSearchPersonArbeitsplanDlg: the page of the search tab that picks persons through the work
// plans covering an activity: choosing a work plan lists its persons with a pay-relevant
// function; checked persons stay while other work plans are chosen.
#include "qvadoconnection.h"
#include "qvdialog.h"
#include "qvlayout.h"
#include "qvlistctrl.h"

#include <vector>

class CSearchPersonArbeitsplanDlg : public CQvDialog {
    DECLARE_DYNAMIC(CSearchPersonArbeitsplanDlg)
public:
    explicit CSearchPersonArbeitsplanDlg(CString strListName = CString());
    ~CSearchPersonArbeitsplanDlg() override;

    BOOL OnInitDialog() override;
    HRESULT LoadArbeitsplaene();
    HRESULT LoadPersonen();

    CQvListCtrl m_lstArbeitsplan;
    CQvListCtrl m_lstPerson;
    long m_lActMandantID = 0;
    long m_lEinsatzID = 0;
    long m_lArbeitsplanID = 0;
    CString m_strEinsatzID;
    // Lists only the persons of "FROM ... WHERE ..." over view_PersonSmall vp (empty: all).
    CString m_strPersonSource;
    CString m_strListKey;
    std::vector<long> m_arPersonIDs;
    CQvLayoutFactory m_Layout;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    void CreateLayout();
    void SetupLists();
    afx_msg void OnItemChangedArbeitsplan(NMHDR* pNMHDR, LRESULT* pResult);
    DECLARE_MESSAGE_MAP()

private:
    void ReportDBError(CQvADOConnection& conn, HRESULT hr);
};
