#pragma once
// CGetDatumDlg: asks for a new start date of a run; the caller shifts the run's dates by it.
#include "qvdatetime.h"
#include "qvdialog.h"

class CGetDatumDlg : public CQvDialog {
public:
    explicit CGetDatumDlg(CWnd* pParent = nullptr);

    CQvDateTime dtDatum;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
};

// A date field of the course module's dialogs: the short date "dd.mm.yyyy", empty for a null
// date. A text that is no date fails the exchange with a message; an empty one gives a null date.
void DDX_KursDate(CDataExchange* pDX, int nIDC, CQvDateTime& dt);
