#pragma once
// The suite's buttons: a flat button with an image (the suite's standard images by number, or a
// bitmap of the module), the help button that opens the help of its topic, and the drop-down
// menu button whose result is the command chosen from its menu (0 for a click on its face).
#include "qvui.h"
#include <functional>

// Image placement of a bitmap button: left of the text, right of it, above it, the image alone.
#define QVBB_IMAGE_LEFT 0
#define QVBB_IMAGE_RIGHT 1
#define QVBB_IMAGE_TOP 2
#define QVBB_IMAGE_ONLY 3

namespace qv {
// The suite's standard button images (16 x 16), by the numbers the windows ask for: 2 edit,
// 4 change the state, 9 new, 10 delete, 29 copy, 31 previous, 32 next, 35 first, 36 last,
// 41 filter, 44 print, 46 search, 48 help, others a dot.
QImage StandardButtonImage(int number);
// The help of a topic; returns whether it was shown. The pool runtime installs the handler.
using HelpHandler = std::function<bool(const CString& topic)>;
void SetHelpHandler(HelpHandler handler);
bool ShowHelpTopic(const CString& topic);
}  // namespace qv

class CQvBitmapButton : public CButton {
    DECLARE_DYNAMIC(CQvBitmapButton)
public:
    // Takes over the dialog's button with one of the standard images.
    BOOL AttachButton(UINT id, CWnd* parent, int placement, int imageNumber);
    // An image from the module's bitmaps.
    BOOL SetBitmap(UINT bitmapId, int placement = QVBB_IMAGE_ONLY);
    HBITMAP SetBitmap(HBITMAP bitmap) { return CButton::SetBitmap(bitmap); }
    BOOL SetStandardImage(int imageNumber, int placement = QVBB_IMAGE_ONLY);
    void SetFlatButton(BOOL flat = TRUE);

protected:
    void ApplyImage(const QImage& image, int placement);
    CBitmap m_bitmap;
};

class CQvHelpButton : public CQvBitmapButton {
    DECLARE_DYNAMIC(CQvHelpButton)
public:
    BOOL AttachButton(UINT id, CWnd* parent);
    void SetHelpTopic(LPCWSTR topic) { m_strTopic = topic ? topic : L""; }
    CString GetHelpTopic() const { return m_strTopic; }
    // TRUE when the help was shown.
    BOOL ShowHelp();
    CString GetToolTipText() const;

protected:
    afx_msg BOOL OnClicked();
    DECLARE_MESSAGE_MAP()
    CString m_strTopic;
};

class CQvMenuButton : public CButton {
    DECLARE_DYNAMIC(CQvMenuButton)
public:
    // handler 1: the chosen command also goes to the parent as WM_COMMAND. appearance: the image
    // placement of the standard image set with SetStandardImage, 3 for a plain face.
    BOOL AttachButton(UINT id, CWnd* parent, CMenu* menu, int appearance = QVBB_IMAGE_ONLY, int handler = 1);
    void SetMenu(CMenu* menu) { m_pMenu = menu; }
    CMenu* GetMenu() const { return m_pMenu; }
    BOOL SetStandardImage(int imageNumber);
    void SetFlatButton(BOOL flat = TRUE) { m_bFlat = flat; Invalidate(); }
    // The command of the last click: the menu's choice, 0 for the face or a dismissed menu.
    UINT GetChosenCommand() const { return m_nChosen; }
    void DrawItem(LPDRAWITEMSTRUCT dis) override;

protected:
    afx_msg BOOL OnClicked();
    afx_msg void OnLButtonDown(UINT flags, CPoint point);
    DECLARE_MESSAGE_MAP()
    CMenu* m_pMenu = nullptr;
    int m_nHandler = 1;
    int m_nAppearance = QVBB_IMAGE_ONLY;
    UINT m_nChosen = 0;
    bool m_bArrowPressed = false;
    BOOL m_bFlat = FALSE;
    CBitmap m_image;
};
