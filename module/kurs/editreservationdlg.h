#pragma once
// CEditReservationDlg: creates or changes a Mandant's reservation of places in a course for a
// year (one row of Kursreservation; at most one per Mandant, course and year).
#include "nqpopupdialog.h"
#include "qvguid.h"

class CEditReservationDlg : public CNQPopupDialog {
public:
    // lMandantID: the Mandant of a new reservation (0 when an existing one is edited).
    explicit CEditReservationDlg(long lMandantID, CWnd* pParent = nullptr);

    // The row as the dialog shows it; an id of 0 or below is a new reservation.
    HRESULT LoadData();
    HRESULT SaveData();
    // Whether another reservation of the Mandant for the course holds the year (S_OK: one does,
    // S_FALSE: none; the year as loaded never counts).
    HRESULT CheckYearTaken(BOOL& bTaken);

    CSpinButtonCtrl m_spinAnzahl;
    CSpinButtonCtrl m_spinYear;
    CString strBemerkung;
    CString strKursBez;
    long lAnzahl = 0;
    long lYear;
    long lKursreservationID = 0;
    long lKursID = 0;
    long lYearLoaded;
    long lMandantID;
    CQvGUID guidKurs;

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    void DoDataExchange(CDataExchange* pDX) override;
    void OnKillfocusYear();
    DECLARE_MESSAGE_MAP()

private:
    BOOL IsNew() const { return lKursreservationID <= 0; }
    // Message 1005 and the loaded year back in the field.
    void RefuseYear();
};
