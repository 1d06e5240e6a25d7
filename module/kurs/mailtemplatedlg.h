#pragma once
// CMailtemplateDlg: the editor of one e-mail template of the notifications, with the translations
// of its subject, header and footer.
#include "nqpopupdialog.h"
#include "qvlabelbutton.h"

class CMailtemplateDlg : public CNQPopupDialog {
public:
    explicit CMailtemplateDlg(long lKursnotificationMailtemplateID);
    ~CMailtemplateDlg() override;

    BOOL OnInitDialog() override;
    void OnOK() override;

    long LoadData();
    long SaveData();
    void OnBnLabel();

    CString strName;
    CString strCC;
    CString strBCC;
    CString strSubject;
    CString strHeader;
    CString strFooter;
    CQvLabelButton m_btnLabel;
    long lKursnotificationMailtemplateID = 0;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    DECLARE_MESSAGE_MAP()
};
