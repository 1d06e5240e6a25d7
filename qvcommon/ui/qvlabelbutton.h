#pragma once
// CQvLabelButton: the button beside a text field that opens the translations of that field (and
// of its neighbours): the rows of the label table QvLabel of one key (lFkID) and a list of label
// names, one text per language. The dialog reads and writes them on the "Qovaro.NQ2" connection.
#include "qvbuttons.h"
#include <vector>

class CQvLabelButton : public CQvBitmapButton {
    DECLARE_DYNAMIC(CQvLabelButton)
public:
    // Takes over the dialog's button: the key of the label rows, the label names separated by
    // ';' and the string that names the texts in the dialog's caption.
    BOOL AttachButton(UINT id, CWnd* parent, long lFkID, LPCWSTR labelNames, UINT textId);
    // Per label name, separated by ';': 0 one line, 1 several lines.
    void SetMultiLine(LPCWSTR kinds);
    // The translations dialog for the current key; IDOK when the texts were saved, IDCANCEL when
    // it was left or the key is 0 (no record to translate yet).
    INT_PTR ShowLabelDialog();
    CString GetToolTipText() const;

    long m_lFkID = 0;
    std::vector<CString> m_arrNames;
    std::vector<int> m_arrMultiLine;
    UINT m_nTextID = 0;
};
