#pragma once
// CQvImageViewCtrl: the suite's picture control (a tenant's logo). It shows a picture given as its
// bytes (PNG, JPEG, BMP, GIF), scaled into the control with its proportions kept and centred, on
// its background colour. Properties are set as on the control's dispatch interface: the
// background colour (DISPID_BACKCOLOR, VT_UI4) and the picture (DISPID 1, VT_VARIANT holding a
// byte array, or empty for none). In a dialog template the control has the class name below.
#include "qvui.h"
#include "olevariant.h"

using DISPID = LONG;
#define DISPID_BACKCOLOR (-501)
#define QVIMAGEVIEW_DISPID_PICTURE 1
#define QVIMAGEVIEW_CLASSNAME L"QvImageViewCtrl"

class CQvImageViewCtrl : public CWnd {
    DECLARE_DYNAMIC(CQvImageViewCtrl)
public:
    CQvImageViewCtrl();
    ~CQvImageViewCtrl() override;
    // Registers the class name for templates (also done by Create).
    static void RegisterClass();
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);

    // vt and the one value after it: VT_UI4 (a 32-bit colour) for DISPID_BACKCOLOR; VT_VARIANT
    // (const VARIANT*) for the picture. Other properties are ignored. From any thread.
    void SetProperty(DISPID id, VARTYPE vt, ...);
    // out: DWORD* for VT_UI4, VARIANT* for VT_VARIANT (the picture's bytes or empty).
    void GetProperty(DISPID id, VARTYPE vt, void* out) const;

    void SetBackColor(COLORREF color);
    COLORREF GetBackColor() const { return m_backColor; }
    // An empty value, or bytes that are no picture, leave the control without a picture (FALSE).
    BOOL SetPicture(const VARIANT& bytes);
    BOOL HasPicture() const;

protected:
    void PreSubclassWindow() override;
    afx_msg void OnSize(UINT type, int cx, int cy);
    DECLARE_MESSAGE_MAP()

private:
    void Attach();
    void Show();
    COLORREF m_backColor;
    COleVariant m_bytes;
    struct Picture;
    Picture* m_picture = nullptr;
};
