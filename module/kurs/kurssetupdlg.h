#pragma once
// CKursSetupDlg: the course module's page in the host's settings window. It keeps the options of
// the course settings (section -1060) that the course rules and windows read, and the user's own
// switch of the periodic fill-level refresh.
#include "setupdlg.h"

#define IDC_KURSSETUP_AUTOOPEN 1100
#define IDC_KURSSETUP_AUTOCLOSE 1101
#define IDC_KURSSETUP_OPENMODE 1102
#define IDC_KURSSETUP_OPENDAYS 1103
#define IDC_KURSSETUP_CLOSEDAYS 1104
#define IDC_KURSSETUP_PUBLISHDATE 1105
#define IDC_KURSSETUP_FILLINTERVAL 1106
#define IDC_KURSSETUP_FILLPERCENT 1107
#define IDC_KURSSETUP_FILLUPSTATE 1108
#define IDC_KURSSETUP_LINKED 1109
#define IDC_KURSSETUP_ONLINEPAGE 1110
#define IDC_KURSSETUP_CHECKPRECOND 1111
#define IDC_KURSSETUP_MULTILANG 1112
#define IDC_KURSSETUP_MAILLEITER 1113
#define IDC_KURSSETUP_SUBJECT 1114
#define IDC_KURSSETUP_CENTRAL 1115
#define IDC_KURSSETUP_SUBJECTLABEL 1116

class CKursSetupDlg : public CSetupDlg {
    DECLARE_DYNCREATE(CKursSetupDlg)
public:
    CKursSetupDlg();

    HRESULT LoadSettings() override;
    HRESULT SaveSettings() override;
    HRESULT CloseView() override;
    long ReadStoredSettings(CString& strState) override;
    // The labels come from the course module's own texts, whoever asks.
    HRESULT GetCaption(CString& strCaption) override;
    HRESULT GetGroupName(CString& strName) override;

    // The settings as the page shows them.
    long m_lAutoOpenAutoClose = 0;
    long m_lAutoOpenMode = 0;
    long m_lAutoOpenAfterPublish = 28;
    long m_lAutoCloseBeforInstanz = 6;
    CString m_strPublishDate;
    long m_lFillLevelInterval = 0;
    long m_lFillLevelPercentWarning = 90;
    BOOL m_bFillupStateEnabled = TRUE;
    BOOL m_bShowLinkedPersonEntries = FALSE;
    CString m_strOnlinePage;
    BOOL m_bEntCheckKursPrecondition = TRUE;
    BOOL m_bEntNotificationMultilanguage = FALSE;
    BOOL m_bEntSendEMailNotificationToLeiter = FALSE;
    CString m_strNotificationSubject;

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    void OnChanged();
    void OnChangedRange(UINT nID);
    DECLARE_MESSAGE_MAP()

private:
    BOOL m_bLoading = FALSE;
};
