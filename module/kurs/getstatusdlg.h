#pragma once
// CGetStatusDlg: asks for the registration status of one or more bookings. The list offers the
// statuses that the bookings' run, course type, kind (participant or instructor) and the active
// canton allow; OK needs a chosen entry.
#include "qvdialog.h"

class CGetStatusDlg : public CQvDialog {
public:
    explicit CGetStatusDlg(CWnd* pParent = nullptr);

    // In: the bookings' common status, -1 when they differ. Out: the chosen status.
    long lStatus = 0;
    // The bookings' run; -1 for bookings without a run.
    long lKursinstanzID = -1;
    // The course type (EAuthorityTyp).
    long lTyp = 0;
    // Wording of status 3: waiting list for participants, reserve for instructors.
    BOOL bTeilnehmer = TRUE;

    CComboBox m_cbStatus;

    BOOL OnInitDialog() override;
    void FillStatusList();

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    void OnSelchangeStatus();
    DECLARE_MESSAGE_MAP()
};
