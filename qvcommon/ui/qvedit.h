#pragma once
// CQvEdit: the suite's edit field, which shows a prompt in its own colour while it is empty
// ("Bezeichnung eingeben..."); the prompt is never part of the text.
#include "qvui.h"

class CQvEdit : public CEdit {
    DECLARE_DYNAMIC(CQvEdit)
public:
    void SetPromptText(LPCWSTR text, COLORREF color = RGB(128, 128, 128));
    void SetPromptText(UINT stringId, COLORREF color = RGB(128, 128, 128));
    CString GetPromptText() const { return m_strPrompt; }
    COLORREF GetPromptColor() const { return m_crPrompt; }

protected:
    void PreSubclassWindow() override;

private:
    void ShowPrompt();
    CString m_strPrompt;
    COLORREF m_crPrompt = RGB(128, 128, 128);
};
