#pragma once
// CKursDlg: the main dialog of the course window. Its record is the current course, its
// sub-record the current run; the header holds the choice of both, the action menu and the save
// and cancel of an edit, below it the module's pages. It keeps the fill-level cache of the runs and
// refreshes the user's course rights when the scheduler raises the rights event.
#include "ikursinstanz.h"
#include "kursfilllevel.h"
#include "parentdlg.h"
#include "qvasynceventsink.h"
#include "qvreportbutton.h"

class CKursView;

class CKursDlg : public CParentDlg {
    DECLARE_DYNAMIC(CKursDlg)
public:
    explicit CKursDlg(CKursView* pView);
    ~CKursDlg() override;

    // ---- overrides of the parent dialog
    BOOL OnInitDialog() override;
    HRESULT OnUpAndRunning() override;
    HRESULT CloseView() override;
    BOOL IsClosing() override;
    CString GetRecordQuery() override;
    HRESULT UpdateHeader() override;
    HRESULT BeginEdit() override;
    HRESULT EndEdit() override;
    HRESULT AcquireEditLock() override;
    HRESULT ReleaseEditLock() override;
    HRESULT GetRecordState(CString* pstrOwner) override;
    HRESULT ApplyRights() override;
    HRESULT ApplyDefaultSecurity() override;
    void MoveView(const RECT* pRect, BOOL bRepaint) override;
    HRESULT OnSearchCommand() override;
    // The run a navigation or F5 shows is brought in line with its registration window (command
    // 1004) before the pages read it.
    HRESULT NavigateToRecord(long lID, long lID2) override;
    HRESULT RefreshAll() override;

    // The fill level of a run from the cache: zeroes the outputs, TRUE when the run is in it.
    BOOL GetKursinstanzFillLevel(CQvGUID guidKursinstanz, long* plState, long* plCount, long* plMax);
    // Fetches the central installation's fill counts into the cache (local installations with
    // online registration only).
    HRESULT UpdateKursinstanzFillLevel();
    CKursFillLevel& GetFillLevel() { return m_fillLevel; }

    // The action menu's commands and whether each is offered now.
    BOOL IsCommandEnabled(UINT nID);
    void OnActionCommand(UINT nID);

    // The header's text.
    const CString& GetTitle() const { return m_strTitle; }
    long GetKursTyp() const { return m_lTyp; }
    // The header's button with the reports of the course module's profile.
    CQvReportButton& GetReportButton() { return m_btnReport; }

    // The report profile of the course module.
    static const GUID GUID_ReportProfile;

    // The scheduler's events of the course window.
    static const GUID GUID_UpdateSecKurs;
    static const GUID GUID_FillLevel;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    void OnSize(UINT nType, int cx, int cy);
    void OnSelectKurs();
    void OnAction();
    void OnSave();
    void OnCancelEdit();
    void OnActionRange(UINT nID);
    // Command 1004: the current run opens or closes as its registration window says, when the
    // user may change it.
    void OnCheckKursinstanz();
    // A report's command of the report button: Shift held opens its rights, Ctrl held its help,
    // otherwise it runs for the course and run shown.
    void OnReportCommand(UINT nID);
    DECLARE_MESSAGE_MAP()

    // ---- events, on the GUI thread
    void OnUpdateSecKurs(COleVariant value);
    void OnFillLevelEvent(COleVariant value);
    void OnKursChanged(COleVariant value);
    DECLARE_QVEVENT_MAP()

    BEGIN_INTERFACE_PART(Kursinstanz, IKursinstanz)
        HRESULT Reserved3() override;
        HRESULT Reserved4() override;
        HRESULT GetFillLevel(GUID guidKursinstanz, long* plState, long* plCount, long* plMaximum) override;
    END_INTERFACE_PART(Kursinstanz)
    DECLARE_INTERFACE_MAP()

protected:
    void RestoreLastRecord() override;

private:
    void LayoutControls();
    void NavigateToFirstRun();
    void EnableHeader();
    // Reads the current course's type, active flag and the texts of the header.
    HRESULT ReadKurs();
    void NewKurs();
    void NewKursinstanz();
    void CopyKursinstanz();
    void DeleteRecord();
    void FillKursinstanz();
    void ShowBelegung();
    // The user log of the course shown or of its run.
    void ShowUserLog(BOOL bKursinstanz);
    // Reports a failed command, unless one of its steps reported since the count lReports
    // (kurs::ReportCount() when the command began); strFirstLine, when given, stands above the cause.
    void ReportFailure(HRESULT hr, LPCWSTR lpszCaption, long lReports, const CString& strFirstLine = CString());
    // Whether the user may change the run's data, as its data page decides.
    BOOL MayChangeKursinstanz(long lKursinstanzID);

    CKursFillLevel m_fillLevel;
    CQvReportButton m_btnReport;
    CString m_strTitle;
    CString m_strKurs;
    CString m_strKursinstanz;
    // The records' GUIDs and the run's name as the user log knows them.
    CQvGUID m_guidKurs;
    CQvGUID m_guidKursinstanz;
    CString m_strKursinstanzName;
    long m_lTyp = 0;
    BOOL m_bGeschlossen = FALSE;
    // The run a navigation is about to show, until command 1004 went out for it; 0 none.
    long m_lRunToCheck = 0;
};
