#pragma once
// CKursDlg: the main dialog of the course window. Its record is the current course, its
// sub-record the current run; the header holds the choice of both, the action menu and the save
// and cancel of an edit, below it the module's pages. It keeps the fill-level cache of the runs and
// refreshes the user's course rights when the scheduler raises the rights event.
#include "ikursinstanz.h"
#include "kursfilllevel.h"
#include "parentdlg.h"
#include "qvasynceventsink.h"

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
    void ReportFailure(HRESULT hr, LPCWSTR lpszCaption);

    CKursFillLevel m_fillLevel;
    CString m_strTitle;
    CString m_strKurs;
    CString m_strKursinstanz;
    long m_lTyp = 0;
    BOOL m_bGeschlossen = FALSE;
};
