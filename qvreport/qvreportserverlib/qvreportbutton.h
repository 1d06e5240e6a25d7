#pragma once
// CQvReportButton: the drop-down button of a dialog that lists the reports of one profile the user
// may see, as menu commands from 100 on. The list is read on the first click; the user's rights
// grey or hide its entries; while the menu is open, a tool tip shows a report's help text. A click
// anywhere on the button opens the menu; with Shift it opens the profile's rights dialog instead.
#include "qvasynceventsink.h"
#include "qvbuttons.h"
#include "qvguid.h"

#include <vector>

#define QVREPORT_FIRST_COMMAND 100
#define QVREPORT_LAST_COMMAND 200

class CQvReportButton : public CQvMenuButton {
    DECLARE_DYNAMIC(CQvReportButton)
public:
    struct ReportEntry {
        UINT nCommandID = 0;
        CString strLabel;
        CString strReport;
        CString strHelpID;
        CQvGUID guidReport;
        BOOL bInMenu = FALSE;
    };

    CQvReportButton();
    ~CQvReportButton() override;

    // Takes over the dialog's control as a drop-down button for the profile's reports.
    BOOL Init(UINT nID, CWnd* pParent, CQvGUID guidProfile, int nAppearance);
    // Applies the user's rights to the menu.
    HRESULT UpdateMenu();
    // Reads the profile's reports into the menu.
    BOOL FillButton();
    // For a report's command: its GUID and the text of its menu item; FALSE for other ids or
    // reports without an item.
    BOOL GetReportByCommand(UINT nCommandID, CQvGUID* pGuid, CString* pText);
    // 0: the rights dialog of the profile; a report's command: that of the report.
    void ShowQvSecSetRightDlg(UINT nCommandID);
    void ShowHelp(UINT nCommandID);

    const std::vector<ReportEntry>& Reports() const { return m_reports; }
    CMenu& Menu() { return m_menu; }
    BOOL IsFilled() const { return m_bFilled; }
    BOOL IsStopped() const { return m_bStopped; }
    CToolTipCtrl& ToolTip() { return m_toolTip; }

    // The stop event: from then on the menu stays as it is.
    void OnStopEvent(COleVariant value);
    DECLARE_QVEVENT_MAP()

protected:
    afx_msg BOOL OnClicked();
    afx_msg void OnLButtonDown(UINT nFlags, CPoint point);
    afx_msg void OnMenuSelect(UINT nItemID, UINT nFlags, HMENU hSysMenu);
    afx_msg void OnDestroy();
    DECLARE_MESSAGE_MAP()

    ReportEntry* EntryOf(UINT nCommandID);
    void CreateToolTip();
    void ShowToolTip(UINT nItemID, const CString& strText);
    void HideToolTip();

    CMenu m_menu;
    CToolTipCtrl m_toolTip;
    int m_nScreenWidth = 0;
    std::vector<ReportEntry> m_reports;
    CQvGUID m_guidProfile;
    BOOL m_bStopped = FALSE;
    BOOL m_bFilled = FALSE;
    CQvAsyncEventSink m_EventSink;
};

// The event that stops the report menus.
inline constexpr GUID GUID_QvReportButtonStop = qv::MakeGuid("E386E028-7690-420E-8B70-3F2964C6E14A");
