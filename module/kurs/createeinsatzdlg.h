#pragma once
// CCreateEinsatzDlg: turns a course run into an activity of the incident recording, or brings the
// activity made from it earlier up to date: the participants' pay and absences, the leadership's
// pay per role, the run's groups and the activity's budget data, all in one transaction.
#include "nqpopupdialog.h"
#include "qvdatetime.h"
#include "qvgridctrl.h"
#include "qvlayout.h"
#include "qvsec.h"
#include "vrqkurs.h"

#include <memory>
#include <vector>

class CQvADOConnection;

class CCreateEinsatzDlg : public CNQPopupDialog {
public:
    CCreateEinsatzDlg(long lMandantID, long lKursID, long lKursinstanzID);
    ~CCreateEinsatzDlg() override;

    BOOL OnInitDialog() override;

    void CreateLayout();
    long LoadData();
    long LoadPersons();
    void UpdateControls();
    // The transfer and the status step after it (called inside the handler's transaction).
    long CreateEinsatzData();
    long SetToBesucht();

    CQvGridCtrl m_grid;
    CComboBox m_cbSoldansatz;
    CComboBox m_cbEinsatzart;
    BOOL UseTeilnehmer = TRUE;
    BOOL UseInstruktor = TRUE;
    BOOL DeletePerson = FALSE;
    BOOL JumpToEinsatz = TRUE;
    // Whether the installation has a view of activities to show the new one in.
    BOOL m_bEinsatzView = FALSE;
    BOOL SetToBesuchtAtCreateEinsatz = TRUE;
    CString strMandant;
    CString strEreignis;
    CString strTeilnehmer;
    double dblDauer = 0.0;
    long lEinsatzartID = 0;
    long lSoldansatzIDTeilnehmer = -1;
    CQvBitmapButton m_btnCreate;
    long lKursID;
    long lKursinstanzID;
    long lMandantID;
    long lEinsatzID = -1;
    EAuthorityTyp eAuthority = static_cast<EAuthorityTyp>(0);
    std::vector<long> arrTeilnehmer;
    std::vector<long> arrAbwesend;
    CString strSoldansatzFilter;
    CString strOrt;
    CString strAdresse;
    long lOrtID = -1;
    CQvDateTime dtVon;
    CQvDateTime dtBis;
    CQvSec m_sec;
    CQvLayoutFactory m_Layout;

    // The person ids of a leadership row of the grid.
    std::vector<long>* RowPersons(CQvGridItem* pItem) const;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    void OnBnCreateEinsatz();
    void OnBnUseGroup();
    void OnDestroy();
    DECLARE_MESSAGE_MAP()

private:
    // What a failed press must give back, so that a second press starts where the first did.
    struct Snapshot {
        long lEinsatzID;
        CQvDateTime dtVon, dtBis;
        long lSoldansatzIDTeilnehmer;
        std::vector<long> rowRates;
    };
    Snapshot TakeSnapshot() const;
    void Restore(const Snapshot& snapshot);
    long RowRate(CQvGridItem* pItem) const;
    // One pay row of a person (guarded against a second row of the rate for instructors); the
    // creation is logged only when a row was written.
    long AddSold(CQvADOConnection& conn, void* pSold, long lPersonID, long lRate, double dblAnzahl, BOOL bGuarded,
                 long lGrouping, CQvGUID& guidEinsatz);

    std::vector<std::unique_ptr<std::vector<long>>> m_rowPersons;
    BOOL m_bCentral = FALSE;
};
