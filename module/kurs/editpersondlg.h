#pragma once
// CEditPersonDlg: the modal editor of one registration of a participant or an instructor. It
// loads the registration with the user's course rights, offers the runs, statuses, roles and
// absence reasons the rights and the installation allow, and saves every change through the
// course API in one transaction; the bookings-changed event follows a successful save.
#include "nqpopupdialog.h"
#include "qvdatetime.h"
#include "vrqkurs.h"

class CEditPersonDlg : public CNQPopupDialog {
public:
    explicit CEditPersonDlg(CWnd* pParent = nullptr);
    ~CEditPersonDlg() override;

    CSpinButtonCtrl m_spinYear;
    CComboBox m_cbStatus;
    CComboBox m_cbFunktion;
    CComboBox m_cbInstanz;
    CComboBox m_cbAbsenzgrund;

    CString strGrundNichtBestanden;
    CString strBemerkung;
    CString strKursBez;
    CString strPerson;
    CString strAnmeldung;
    long lYear;
    BOOL fEntschuldigt = FALSE;
    CString strInstanzOrt;
    CString strInstanzLeitung;
    double dblInstanzDauer = 0.0;
    CQvDateTime dtDatum;
    long lPersonKursID = 0;
    long lKursID = 0;
    EAuthorityTyp lTyp = eAuthorityTypNone;
    BOOL bNoEvent = FALSE;
    long lKursinstanzID = -1;
    long lKursinstanzIDOld = -1;
    long lYearOld = 0;
    long lPersonID = 0;
    long lKursleitungID = -1;
    long lKursleiterID = 0;
    long lRight = 0;
    EPersonKursStatus lStatus = ePersonKursStatusAngemeldet;
    EPersonKursStatus lStatusOld = ePersonKursStatusAngemeldet;
    BOOL fTeilnehmer = TRUE;
    long lAbsenzgrundID = -1;

    BOOL OnInitDialog() override;
    void OnOK() override;

    long LoadPersonKurs();
    long FillComboInstanz();
    long FillComboStatus();
    long FillComboFunktion();
    long UpdateControls();
    long SavePersonKurs();
    // Asks what the save will ask (a participant's move into another run), before its unit begins.
    void AskBeforeSave();

    // Whether the registration was read; without it nothing may be saved.
    BOOL IsLoaded() const { return m_bLoaded; }

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    void OnSelchangeComboInstanz();
    void OnSelchangeComboStatus();
    void OnSelchangeComboAbsenzgrund();
    DECLARE_MESSAGE_MAP()

private:
    void AfterSelchange(LPCWSTR lpszPlace);
    long LookupRunDate();

    BOOL m_bLoaded = FALSE;
};

// Opens the editor for the registration of the course, without a parent window; IDOK after a
// save, IDCANCEL, or -1 when the dialog cannot be made.
KURS_API int VRQ_ShowEditPersonDlg(EAuthorityTyp eTyp, long lKursID, long lPersonKursID);
