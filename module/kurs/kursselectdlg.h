#pragma once
// CKursSelectDlg: the list of courses and their runs from which the course window takes its
// current course and run; a course row selects the course without a run. KursSelect is the one
// call the course window makes, so that the record search can take this list's place.
#include "qvdialog.h"
#include "qvlistctrl.h"

#define IDC_KURSSELECT_LIST 1001
#define IDC_KURSSELECT_FILTER 1002

class CKursSelectDlg : public CQvDialog {
public:
    explicit CKursSelectDlg(CWnd* pParent = nullptr);

    // In: the row to preselect; out after IDOK: the chosen course and run (0 for none).
    long m_lKursID = 0;
    long m_lKursinstanzID = 0;

    CQvListCtrl m_list;

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    void OnOK() override;
    void OnChangeFilter();
    void OnDblClkList(NMHDR* pNMHDR, LRESULT* pResult);
    DECLARE_MESSAGE_MAP()

private:
    long FillList();
};

// Lets the user choose a course and run; TRUE when one was chosen (the ids then changed).
BOOL KursSelect(CWnd* pParent, long& lKursID, long& lKursinstanzID);
