#pragma once
// CTeilnehmerDlg: the page "Teilnehmer" of the course window. It lists the participant bookings
// of the current run with status, rank, Mandant and e-mail flag, sums them up in a status line
// coloured by the run's fill state, and books, removes, edits, moves, switches and re-statuses
// participants through the course API.
#include "ikursinstanz.h"
#include "kurschilddlg.h"
#include "qvfobjectfactory.h"
#include "qvlistctrl.h"

inline constexpr CLSID CLSID_TeilnehmerDlg = qv::MakeGuid("89E828A9-1095-42F0-AA16-F612752AE83B");

class CTeilnehmerDlg : public CKursChildDlg {
    DECLARE_DYNCREATE(CTeilnehmerDlg)
public:
    CTeilnehmerDlg();
    ~CTeilnehmerDlg() override;

    HRESULT GetClassID(GUID* pClsid) override;
    HRESULT CloseTab() override;
    HRESULT ReleaseParentControl() override;
    HRESULT Refresh() override;
    HRESULT SaveData() override;
    HRESULT LoadData() override;
    void CreateLayout() override;

    // Reads the run's header (closed flag, maximum), then the list.
    HRESULT LoadList();
    // Reloads the list and the status line with the course context as it is.
    HRESULT FillList();

    // The status line's background: CLR_DEFAULT when it keeps the dialog's colour.
    COLORREF GetStatusColor() const;

    // The commands.
    void OnBnAdd();
    void OnBnRemove();
    void OnBnEdit();
    void OnBnChangeInstanz();
    void OnBnChangeState();
    void OnBnSwitch();

    CQvAsyncEventSink m_eventSink;
    CQvListCtrl m_list;
    CString m_strStatus;
    CQvBitmapButton m_btnAdd;
    CQvBitmapButton m_btnRemove;
    CQvBitmapButton m_btnEdit;
    CQvBitmapButton m_btnChangeInstanz;
    CQvBitmapButton m_btnChangeState;
    CQvBitmapButton m_btnSwitch;
    IKursinstanz* m_pKursinstanz = nullptr;
    CImageList m_imageList;
    BOOL m_bClosed = FALSE;
    long m_lFillState = 0;
    COLORREF m_colorFemale = 0;
    long m_lMaxTeilnehmer = 0;
    long m_lReselectPersonKursID = 0;
    long m_lRowSelected = 0;
    BOOL m_bSelectedLinked = FALSE;
    BOOL m_bSwitchAllowed = FALSE;

    class CTeilnehmerDlgFactory : public CQvFObjectFactory {
    public:
        using CQvFObjectFactory::CQvFObjectFactory;
    };

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    HBRUSH OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor);
    void OnDblClkList(NMHDR* pNMHDR, LRESULT* pResult);
    void OnPersonLink(NMHDR* pNMHDR, LRESULT* pResult);
    void OnItemChangedList(NMHDR* pNMHDR, LRESULT* pResult);
    DECLARE_MESSAGE_MAP()

    void OnKursinstanzChanged(COleVariant value);
    void OnMandantChanged(COleVariant value);
    DECLARE_QVEVENT_MAP()

private:
    // The frame of the row commands: the selected booking, not linked, under the edit lock.
    BOOL BeginRowCommand(long& lPersonKursID);
    // Reload, end of the edit, the event and the report of a failure.
    void EndCommand(long hr, BOOL bChanged, LPCWSTR lpszSource);
    void RefreshFillLevel();

    CKursFillColors m_fillColors;
};
