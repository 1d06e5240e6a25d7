#pragma once
// CKursBelegungDlg: the occupancy overview of a course's runs: per run its registered
// participants, maximum, waiting list and fill state. The selected run can be filled from its
// waiting list, as the course window's action menu does for the current run.
#include "kursfilllevel.h"
#include "nqpopupdialog.h"
#include "qvlistctrl.h"
#include "qvdatetime.h"

#include <vector>

#define IDC_BELEGUNG_LIST 1001
#define IDC_BELEGUNG_FILL 1002
#define IDC_BELEGUNG_HELP 1159

class CKursBelegungDlg : public CNQPopupDialog {
public:
    // pFillLevel: the course window's cache; a run found there shows the central installation's
    // count and maximum. May be null.
    CKursBelegungDlg(long lKursID, const CKursFillLevel* pFillLevel, CWnd* pParent = nullptr);

    struct Run {
        long lKursinstanzID = 0;
        CQvGUID guid;
        CString strBezeichnung;
        CQvDateTime dtDatum;
        long lCount = 0;     // participants holding a place (not waiting, not deregistered)
        long lMax = 0;       // 0: no maximum
        long lWaiting = 0;   // on the waiting list, with or without penalty
        BOOL bClosed = FALSE;
        EFillLevelState eState = eFillLevelNone;
    };
    static long LoadRuns(long lKursID, const CKursFillLevel* pFillLevel, std::vector<Run>& runs);
    const std::vector<Run>& GetRuns() const { return m_runs; }

    // Registers participants of the waiting list of the run (status 3 before 4, the earliest
    // registration first) while it has free places, through the course API and its checks.
    // nMoved: how many were registered. S_FALSE when the run's registrations cannot be changed
    // here (after the message).
    static long FillFromWarteliste(long lKursinstanzID, int& nMoved);

    CQvListCtrl m_list;

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    void OnFill();
    void OnItemChangedList(NMHDR* pNMHDR, LRESULT* pResult);
    DECLARE_MESSAGE_MAP()

private:
    void FillList(long lSelectID);

    long m_lKursID;
    const CKursFillLevel* m_pFillLevel;
    std::vector<Run> m_runs;
};
