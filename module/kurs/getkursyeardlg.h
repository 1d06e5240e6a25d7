#pragma once
// CGetKursYearDlg: asks for the year of the course registrations to plan (1900 to 2200).
#include "qvdialog.h"
#include "vrqkurs.h"

class CGetKursYearDlg : public CQvDialog {
public:
    explicit CGetKursYearDlg(CWnd* pParent = nullptr);

    CSpinButtonCtrl m_spinYear;
    // Proposed: the current year.
    long lYear;

    BOOL OnInitDialog() override;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
};

// Asks the user for a year; on OK the chosen year goes to lYear, otherwise it is left as it was.
// IDOK, IDCANCEL or -1 when the dialog cannot be made.
KURS_API int VRQ_ShowGetKursYearDlg(long& lYear);
