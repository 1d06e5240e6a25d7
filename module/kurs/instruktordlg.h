#pragma once
// CInstruktorDlg: the page "Kursleitung" of the course window (central installation only). It
// lists the instructors booked on the current run with role, status and rank, shows in a coloured
// status line whether the run has its minimum of instructors, books instructors by role, removes,
// edits, moves and re-statuses them through the course API, and keeps the choice of the run's
// leader until the course window saves.
#include "kurschilddlg.h"
#include "qvfobjectfactory.h"
#include "qvgridctrl.h"
#include "qvdatetime.h"

#include <vector>

inline constexpr CLSID CLSID_InstruktorDlg = qv::MakeGuid("430409EF-7D5B-425F-B758-B5E945738D81");

class CInstruktorDlg : public CKursChildDlg {
    DECLARE_DYNCREATE(CInstruktorDlg)
public:
    CInstruktorDlg();
    ~CInstruktorDlg() override;

    HRESULT GetClassID(GUID* pClsid) override;
    HRESULT CloseTab() override;
    HRESULT Refresh() override;
    HRESULT SaveData() override;
    HRESULT LoadData() override;
    HRESULT CheckRightsFor(long lValue) override;
    void CreateLayout() override;

    // Reads the run's header (closed flag, minimum, date), then the grid.
    HRESULT LoadKursinstanz();
    // Reloads the grid and the status line.
    HRESULT FillList();
    // Rebuilds the role menu of the add button from the leadership roles.
    HRESULT FillKursleitungMenu();
    HRESULT SaveKursLeiter();

    // The status line's background: CLR_DEFAULT when it keeps the dialog's colour.
    COLORREF GetStatusColor() const;

    // The commands.
    void OnAdd(UINT nID);
    void OnBnRemove();
    void OnBnEdit();
    void OnBnChangeInstanz();
    void OnBnChangeState();

    CQvAsyncEventSink m_eventSink;
    CQvGridCtrl m_grid;
    CString m_strStatus;
    CQvMenuButton m_btnAdd;
    CQvBitmapButton m_btnRemove;
    CQvBitmapButton m_btnEdit;
    CQvBitmapButton m_btnChangeInstanz;
    CQvBitmapButton m_btnChangeState;
    CImageList m_imageList;
    CQvDateTime m_dtDatum;
    long m_lFillState = 0;
    BOOL m_bClosed = TRUE;
    COLORREF m_colorFemale = 0;
    long m_lReselectPersonKursID = 0;
    long m_lRowSelected = 0;
    long m_lMinInstruktor = 0;
    CMenu m_menuRoles;
    std::vector<long> m_roles;

    class CInstruktorDlgFactory : public CQvFObjectFactory {
    public:
        using CQvFObjectFactory::CQvFObjectFactory;
    };

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    HBRUSH OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor);
    void OnLinkGrid(NMHDR* pNMHDR, LRESULT* pResult);
    void OnDblClkGrid(NMHDR* pNMHDR, LRESULT* pResult);
    void OnItemChangedGrid(NMHDR* pNMHDR, LRESULT* pResult);
    void OnCellChanging(NMHDR* pNMHDR, LRESULT* pResult);
    DECLARE_MESSAGE_MAP()

    void OnKursinstanzChanged(COleVariant value);
    void OnKursleitungChanged(COleVariant value);
    void OnMandantChanged(COleVariant value);
    DECLARE_QVEVENT_MAP()

private:
    // The frame of the row commands: a selected row and the edit of the run.
    BOOL BeginRowCommand();

    CKursFillColors m_fillColors;
};
