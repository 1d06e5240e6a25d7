#pragma once
// CMaxTeilnehmerDlg: the maximum number of participants per course, Mandant (or area) and year,
// seen from one of four sides: the Mandanten of a course, the courses of a Mandant, the areas of a
// course, the courses of an area. A general quota and those of the current and the four next
// years per row; an empty cell is no limit.
#include "nqpopupdialog.h"
#include "qvgridctrl.h"
#include "qvlayout.h"

class CQvADOConnection;

class CMaxTeilnehmerDlg : public CNQPopupDialog {
public:
    explicit CMaxTeilnehmerDlg(CWnd* pParent = nullptr);
    ~CMaxTeilnehmerDlg() override;

    BOOL OnInitDialog() override;
    void OnOK() override;

    void ApplyMode();
    long LoadData();
    long SaveData();
    // After a failed save: each cell's id and amount as the table holds them now (Mandant modes).
    void RefreshIDs();
    void OnChangeSelection();

    // Whether a quota cell may take the text: empty, the placeholder the cell shows (none: null),
    // or a whole number of 0 or more.
    static BOOL IsValidAmount(const CString& strText, LPCWSTR lpszPlaceholder);

    CQvGridCtrl m_grid;
    CString m_strText;
    CString m_strHeading;
    CStatic m_stHeading;
    CQvBitmapButton m_btnChange;
    long m_lMandantID = 0;
    long m_lAreaID = 0;
    long m_lKursID = 0;
    int m_nMode = 0;
    BOOL m_bModified = FALSE;
    CFont m_fontHeading;
    CQvLayoutFactory m_Layout;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    void OnGridChanging(NMHDR* pNMHDR, LRESULT* pResult);
    void OnModeKurs();
    void OnModeMandant();
    void OnModeArea();
    void OnModeAreaKurs();
    DECLARE_MESSAGE_MAP()

private:
    void SwitchMode(int nMode);
    // The search for the fixed key of the mode; the chosen id, 0 when none was chosen.
    long SearchKey() const;
    long ReadAreaMandantCount(CQvADOConnection& conn, long lAreaID, long& lCount) const;
    int m_nYear = 0;
};
