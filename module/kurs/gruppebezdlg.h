#pragma once
// CGruppeBezDlg: asks for a group's name and its maximum number of participants.
#include "qvdialog.h"

class CGruppeBezDlg : public CQvDialog {
public:
    explicit CGruppeBezDlg(CWnd* pParent = nullptr);

    CString strBezeichnung;
    long lMaxTeilnehmer = 0;
    CSpinButtonCtrl m_spinMax;

    BOOL OnInitDialog() override;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
};
