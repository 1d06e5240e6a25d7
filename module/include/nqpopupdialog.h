#pragma once
// CNQPopupDialog: the base of the module's modal popup dialogs; it adds a help button and F1 help.
#include "qvbuttons.h"
#include "qvdialog.h"

class CNQPopupDialog : public CQvDialog {
    DECLARE_DYNAMIC(CNQPopupDialog)
public:
    CNQPopupDialog(UINT nIDTemplate, CWnd* pParent = nullptr);
    ~CNQPopupDialog() override;

    BOOL PreTranslateMessage(MSG* pMsg) override;

    CQvHelpButton m_btnHelp;
};
