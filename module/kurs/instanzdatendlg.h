#pragma once
// CInstanzdatenDlg: the page "Austragung" of the course window: the current run's descriptive data,
// its limits, registration window, cancellation and publication dates, place and remarks, its
// dates ("Kurszeiten") in an editable grid from which the run's duration follows, and, while the
// suite's budget module runs, its expense and income accounts and amounts. The page writes the
// run row, the internal remark, the dates and the budget in one transaction.
#include "datetimectrl.h"
#include "kurschilddlg.h"
#include "ortcombobox.h"
#include "qvcurrency.h"
#include "qvdatetime.h"
#include "qvedit.h"
#include "qvfobjectfactory.h"
#include "qvgridctrl.h"

#include <vector>

inline constexpr CLSID CLSID_InstanzdatenDlg = qv::MakeGuid("CC94F174-08ED-4471-937C-44C368DAE816");

class CInstanzdatenDlg : public CKursChildDlg {
    DECLARE_DYNCREATE(CInstanzdatenDlg)
public:
    CInstanzdatenDlg();
    ~CInstanzdatenDlg() override;

    HRESULT GetClassID(GUID* pClsid) override;
    HRESULT CloseTab() override;
    HRESULT Refresh() override;
    HRESULT LoadData() override;
    void GetStoredStateStatements(std::vector<std::pair<CString, long>>& statements) override;
    HRESULT SaveData() override;

    // The run as the page shows it: reset fields, the run row, its dates and its budget.
    HRESULT LoadRun();
    // The run row, its internal remark, dates and budget in one transaction, the log entry and the
    // run-changed event.
    HRESULT SaveRun();
    void ResetFields();
    // Empties the fields and the dates, without the defaults ResetFields reads.
    void ClearFields();
    // No run shown: no place and no dates.
    void ShowNoRun();

    // Proposes the registration opening (bOpen) and closing (bClose) dates from the course
    // module's options, as far as they ask for it and the dates are switched on.
    void ProposeRegistrationWindow(BOOL bOpen, BOOL bClose);
    // Whether the registration window, as it is stored, has begun or ended.
    BOOL IsRegistrationStarted() const;
    // The open state the automatic opening and closing gives the run by its registration window
    // and first date as the page shows them (bClosed when it leaves the run as it is).
    BOOL ClosedByRegistrationWindow(BOOL bClosed) const;

    // The dates.
    HRESULT LoadDates();
    HRESULT SaveDates();
    double CalcKursdauer();
    static CQvDateTime GetFirstKursDate(long lKursinstanzID);

    // The budget.
    HRESULT LoadBudget();
    HRESULT SaveBudget();

    // The run's fields.
    CString strBezeichnung;
    CString strBemerkung;
    CString strBemerkungIntern;
    CString strOrt;
    CString strAdresse;
    long lOrtID = -1;
    CString strLeitung;
    CString strTreffpunkt;
    CString strTenu;
    CString strZielpublikum;
    CString strKursziel;
    CString strParkplatz;
    CString strMaterial;
    long lMaxTeilnehmer = 0;
    long lMinInstruktor = 0;
    BOOL fGeschlossen = FALSE;
    CQvDateTime dtAnmeldenVon;
    CQvDateTime dtAnmeldenBis;
    CQvDateTime dtAbgesagt;
    CQvDateTime dtPublish;
    double dblDauer = 0.0;
    BOOL fDauerManuell = FALSE;

    // The dates grid and the ids of stored dates removed from it.
    CQvGridCtrl m_gridDates;
    std::vector<long> arrDeletedDateIDs;

    // The budget.
    CComboBox m_cbKontoAufwand;
    CComboBox m_cbKontoErtrag;
    long lKontoIDAufwand = -1;
    long lKontoIDErtrag = -1;
    long lKontoIDAufwandLoaded = -1;
    long lKontoIDErtragLoaded = -1;
    CQvCurrency curAufwand;
    CQvCurrency curErtrag;
    double dblRoundBudget = 1.0;
    long lMandantID = 0;

    CQvEdit m_editBezeichnung;
    COrtComboBox m_cbOrt;
    CDateTimeCtrl m_dtcAnmeldenVon;
    CDateTimeCtrl m_dtcAnmeldenBis;
    CDateTimeCtrl m_dtcAbgesagt;
    CDateTimeCtrl m_dtcPublish;
    CQvBitmapButton m_btnShiftDates;
    CQvBitmapButton m_btnNewDate;
    CQvBitmapButton m_btnDeleteDate;
    CQvBitmapButton m_btnEditOrt;
    CQvAsyncEventSink m_eventSink;

    // Handlers the tests reach as the controls do.
    void OnBnShiftDates();
    void OnBnNewDate();
    void OnBnDeleteDate();
    void OnBnNewOrt();
    // The rows of a typed place that a save waited for are in: the save goes on.
    void OnOrtPlacesRead();
    // A save began or ended waiting for the rows of a typed place.
    void OnOrtSaveWait();
    // The search that a save waited for failed: a close that waited for that save is given up,
    // and the failure's report says so.
    void OnOrtSaveFailed();
    void OnManualDuration();

    class CInstanzdatenDlgFactory : public CQvFObjectFactory {
    public:
        using CQvFObjectFactory::CQvFObjectFactory;
    };

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    afx_msg void OnSize(UINT nType, int cx, int cy);
    afx_msg void OnTimer(UINT_PTR nIDEvent);
    void OnFieldChange();
    void OnClosedClick();
    void OnSpin(NMHDR* pNMHDR, LRESULT* pResult);
    void OnAnmeldenVonChange(NMHDR* pNMHDR, LRESULT* pResult);
    void OnAnmeldenBisChange(NMHDR* pNMHDR, LRESULT* pResult);
    void OnAbgesagtChange(NMHDR* pNMHDR, LRESULT* pResult);
    void OnPublishChange(NMHDR* pNMHDR, LRESULT* pResult);
    void OnGridEndEdit(NMHDR* pNMHDR, LRESULT* pResult);
    void OnGridCellChanged(NMHDR* pNMHDR, LRESULT* pResult);
    void OnGridEditChange(NMHDR* pNMHDR, LRESULT* pResult);
    void OnGridItemChanged(NMHDR* pNMHDR, LRESULT* pResult);
    DECLARE_MESSAGE_MAP()

    void OnRunChanged(COleVariant value);
    void OnCourseChanged(COleVariant value);
    void OnMandantChanged(COleVariant value);
    DECLARE_QVEVENT_MAP()

private:
    // The duration follows the dates unless it is typed by hand.
    void FollowDuration();
    // "Geschlossen" shows the open state the run is saved with; its box follows the window.
    void ApplyRegistrationWindow();
    void FollowRegistrationWindow();
    // Adds a grid row for a date with its start and end (end null: none).
    void AddDateRow(const COleDateTime& dtStart, BOOL bStartTime, const COleDateTime& dtEnde, BOOL bEndTime, long lID,
                    long lChanged);
    BOOL IsDateRowSelected() const;
    // Ends the typing in the date fields before a save: FALSE when a date typed is refused.
    BOOL EndDateTyping();

    BOOL m_bLoading = FALSE;
    // "Geschlossen" as stored or as the user ticked it, before the registration window has its say.
    BOOL m_bClosedChosen = FALSE;
};
