#pragma once
// CNotificationDlg: the registration changes the course rules queued, per Mandant and per
// instructor, with the e-mail templates they are sent with. Sending writes one mail per recipient
// language from the selected template and marks a notification sent only when all its mails went
// out; notifications and templates can be deleted, templates copied with their translations.
#include "nqpopupdialog.h"
#include "qvlayout.h"
#include "qvlistctrl.h"
#include "qvtabctrl.h"

// The tab strip of the two notification lists; the lists' notifications reach the dialog through
// it, as they did before they became its tabs.
class CNotificationTabCtrl : public CQvTabCtrl {
protected:
    BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
};

class CNotificationDlg : public CNQPopupDialog {
public:
    CNotificationDlg();
    ~CNotificationDlg() override;

    BOOL DestroyWindow() override;
    BOOL OnInitDialog() override;

    CQvListCtrl m_listMandant;
    CQvListCtrl m_listInstruktor;
    CQvListCtrl m_listTemplate;
    CNotificationTabCtrl m_tabCtrl;
    CQvBitmapButton m_btnSend;
    CQvBitmapButton m_btnDelete;
    CQvBitmapButton m_btnNewTemplate;
    CQvBitmapButton m_btnCopyTemplate;
    CQvBitmapButton m_btnEditTemplate;
    CQvBitmapButton m_btnDeleteTemplate;
    CQvLayoutFactory m_Layout;

    long LoadMandant();
    long LoadInstruktor();
    long LoadTemplate();
    void RestoreTemplateSelection();
    long UpdateControls();
    void CreateLayout();

    // Sending and the other operations on the dialog's data.
    void MailMandant();
    void MailInstruktor();
    static long GetMandantRecipients(long lMandantID, CString& strDE, CString& strFR, CString& strIT);
    static long GetInstruktorRecipients(long lPersonID, CString& strDE, CString& strFR, CString& strIT);
    static long GetLeiterRecipients(long lKursnotificationID, CString& strDE, CString& strFR, CString& strIT);
    static long BuildNotificationLines(long lKursnotificationID, CString strLanguage, CString* pLines);
    long SendNotificationMail(long lMandantID, long lPersonID, CString strTo, CString strCC, CString strLanguage,
                              CString strLines);
    static long MarkNotificationSent(long lKursnotificationID);
    void DeleteMandant();
    void DeleteInstruktor();
    static long DeleteNotification(long lKursnotificationID);
    static long CopyTemplate(long lKursnotificationMailtemplateID);
    static long DeleteTemplate(long lKursnotificationMailtemplateID);

    // Appends the leader lists of languages without recipients to one that has them.
    static void MergeLeiterLists(const CString strTo[3], CString strLeiter[3]);

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    void OnBnSend();
    void OnBnDelete();
    void OnBnNewTemplate();
    void OnBnCopyTemplate();
    void OnBnEditTemplate();
    void OnBnDeleteTemplate();
    void OnDblclkListTemplate(NMHDR* pNMHDR, LRESULT* pResult);
    void OnItemchangedListMandant(NMHDR* pNMHDR, LRESULT* pResult);
    void OnItemchangedListInstruktor(NMHDR* pNMHDR, LRESULT* pResult);
    void OnItemchangedListTemplate(NMHDR* pNMHDR, LRESULT* pResult);
    LRESULT OnChangeActiveTab(WPARAM wParam, LPARAM lParam);
    DECLARE_MESSAGE_MAP()

private:
    long LoadNotifications(BOOL bInstruktor);
    void MailSelected(BOOL bInstruktor);
    void DeleteSelected(BOOL bInstruktor);
    BOOL OnItemchanged(NMHDR* pNMHDR, BOOL bTemplate, LPCWSTR lpszHandler);
    int ActiveTab() const;

    // The server's answer to the last mail that failed, for the message.
    CString m_strMailError;
};
