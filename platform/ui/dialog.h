#pragma once
// Dialogs built from dialog templates: modeless (Create, often as a child window) and modal
// (DoModal, which goes through the interaction backend so that tests can answer it), with
// OnInitDialog, OnOK/OnCancel/EndDialog, data exchange (UpdateData, DoDataExchange and the DDX and
// DDV routines) and dialog units.
#include "ctrls.h"
#include "qvinteract.h"
#include "resource.h"
#include "wnd.h"

class CDataExchange {
public:
    CDataExchange(CWnd* dialog, BOOL saveAndValidate);
    // The control of this id; remembered as the one a failed check puts the focus on.
    HWND PrepareCtrl(int id);
    HWND PrepareEditCtrl(int id);
    // Ends the exchange: the focus goes to the last prepared control; later DDX calls do nothing.
    void Fail();

    BOOL m_bSaveAndValidate;
    CWnd* m_pDlgWnd;
    BOOL m_bFailed = FALSE;
    HWND m_hWndLastControl = nullptr;
    BOOL m_bEditLastControl = FALSE;
};

// Binds a member control object to the dialog item (on the first exchange).
void DDX_Control(CDataExchange* dx, int id, CWnd& control);
void DDX_Text(CDataExchange* dx, int id, CString& value);
void DDX_Text(CDataExchange* dx, int id, int& value);
void DDX_Text(CDataExchange* dx, int id, UINT& value);
void DDX_Text(CDataExchange* dx, int id, long& value);
void DDX_Text(CDataExchange* dx, int id, unsigned long& value);
void DDX_Text(CDataExchange* dx, int id, short& value);
void DDX_Text(CDataExchange* dx, int id, BYTE& value);
void DDX_Text(CDataExchange* dx, int id, double& value);
void DDX_Text(CDataExchange* dx, int id, float& value);
// BST_UNCHECKED / BST_CHECKED / BST_INDETERMINATE.
void DDX_Check(CDataExchange* dx, int id, int& value);
// id: the first radio button of a group; value: index of the checked one, -1 for none.
void DDX_Radio(CDataExchange* dx, int id, int& value);
void DDX_CBIndex(CDataExchange* dx, int id, int& index);
void DDX_CBString(CDataExchange* dx, int id, CString& value);
void DDX_CBStringExact(CDataExchange* dx, int id, CString& value);
void DDX_LBIndex(CDataExchange* dx, int id, int& index);
void DDX_LBString(CDataExchange* dx, int id, CString& value);

// Checks (only when saving); a failed check tells the user and fails the exchange.
void DDV_MaxChars(CDataExchange* dx, const CString& value, int maxChars);
void DDV_MinMaxInt(CDataExchange* dx, int value, int minVal, int maxVal);
void DDV_MinMaxLong(CDataExchange* dx, long value, long minVal, long maxVal);
void DDV_MinMaxUInt(CDataExchange* dx, UINT value, UINT minVal, UINT maxVal);
void DDV_MinMaxDWord(CDataExchange* dx, DWORD value, DWORD minVal, DWORD maxVal);
void DDV_MinMaxShort(CDataExchange* dx, short value, short minVal, short maxVal);
void DDV_MinMaxByte(CDataExchange* dx, BYTE value, BYTE minVal, BYTE maxVal);
void DDV_MinMaxDouble(CDataExchange* dx, const double& value, double minVal, double maxVal);

class CDialog : public CWnd, public qv::IModalDialog {
    DECLARE_DYNAMIC(CDialog)
public:
    CDialog() = default;
    explicit CDialog(UINT templateId, CWnd* parent = nullptr);
    ~CDialog() override;

    // A modeless dialog; a template with WS_CHILD makes it a child of 'parent'.
    virtual BOOL Create(UINT templateId, CWnd* parent = nullptr);
    BOOL CreateIndirect(const qv::ui::DialogTemplate& dialog, CWnd* parent = nullptr);
    // IDOK, IDCANCEL or what EndDialog was given; -1 when the template is missing.
    virtual INT_PTR DoModal();
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    void EndDialog(int result);
    BOOL PreTranslateMessage(MSG* msg) override;

    void NextDlgCtrl() const;
    void PrevDlgCtrl() const;
    void GotoDlgCtrl(CWnd* control);
    // Dialog units to pixels with this dialog's font.
    BOOL MapDialogRect(LPRECT rect) const;
    DWORD GetDefID() const;
    void SetDefID(UINT id);

    UINT m_nIDHelp = 0;
    UINT m_nIDTemplate = 0;
    CWnd* m_pParentWnd = nullptr;

    // The modal run, for the interaction backend.
    UINT DialogId() const override { return m_nIDTemplate; }
    std::wstring Caption() const override;
    INT_PTR RunModalLoop() override;
    void EndModal(INT_PTR result) override;
    bool IsModalEnded() const override { return ended_; }
    INT_PTR ModalResult() const override { return result_; }

protected:
    afx_msg LRESULT HandleInitDialog(WPARAM wParam, LPARAM lParam);
    DECLARE_MESSAGE_MAP()

private:
    BOOL CreateFromTemplate(const qv::ui::DialogTemplate& dialog, CWnd* parent, bool modal);
    CFont font_;
    SIZE baseUnits_{6, 13};
    bool modal_ = false;
    bool ended_ = false;
    INT_PTR result_ = 0;
    void* loop_ = nullptr;
};

// The class library's extended dialog: a background colour (or brush) for the dialog and its
// static controls.
class CDialogEx : public CDialog {
    DECLARE_DYNAMIC(CDialogEx)
public:
    CDialogEx() = default;
    explicit CDialogEx(UINT templateId, CWnd* parent = nullptr) : CDialog(templateId, parent) {}
    void SetBackgroundColor(COLORREF color, BOOL repaint = TRUE);

protected:
    afx_msg HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor);
    DECLARE_MESSAGE_MAP()
    CBrush m_brBkgr;
};

// Dialog units to pixels for a window's font.
BOOL MapDialogRect(HWND dialog, LPRECT rect);
// Base units of the default dialog font: average character width (low word) and height (high).
LONG GetDialogBaseUnits();
