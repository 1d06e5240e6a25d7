#include "dialog.h"
#include "datetimectrl.h"
#include "uiimpl_p.h"
#include <QEventLoop>
#include <QFontMetrics>
#include <QPainter>
#include <QWidget>
#include <cmath>
#include <cwchar>
#include <mutex>

using namespace qv::ui::detail;

namespace qv::ui::detail {
namespace {

// The dialog window class: its background comes from WM_CTLCOLORDLG, closing it cancels it,
// and it knows its default button.
class DialogClass : public WindowClass {
public:
    QWidget* CreateWidget(Window& w, QWidget* parent) override { return CreateGenericWidget(w, parent); }
    bool Proc(Window& w, UINT msg, WPARAM wp, LPARAM, LRESULT& r) override {
        switch (msg) {
        case WM_ERASEBKGND: {
            QPainter* p = PainterOf(reinterpret_cast<HDC>(wp));
            const HWND h = w.handle;
            const LRESULT brush = Dispatch(w, WM_CTLCOLORDLG, wp, reinterpret_cast<LPARAM>(h));
            COLORREF c = GetSysColor(COLOR_BTNFACE);
            BrushColor(reinterpret_cast<HBRUSH>(brush), c);
            Window* self = Find(h);
            if (p && self && self->widget) p->fillRect(self->widget->rect(), ToQColor(c));
            r = TRUE;
            return true;
        }
        case WM_CLOSE:
            SendMessageW(w.handle, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                         reinterpret_cast<LPARAM>(::GetDlgItem(w.handle, IDCANCEL)));
            return true;
        case DM_GETDEFID:
            if (defId_ == 0)
                for (HWND c : ChildrenOf(w.handle)) {
                    Window* cw = Find(c);
                    if (cw && _wcsicmp(cw->className.c_str(), L"Button") == 0 && (cw->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
                        defId_ = cw->id;
                        break;
                    }
                }
            r = defId_ ? MAKELONG(WORD(defId_), WORD(DC_HASDEFID)) : 0;
            return true;
        case DM_SETDEFID:
            defId_ = UINT(wp);
            r = TRUE;
            return true;
        default:
            return false;
        }
    }

private:
    static int _wcsicmp(const wchar_t* a, const wchar_t* b) {
        for (; *a && towlower(wint_t(*a)) == towlower(wint_t(*b)); ++a, ++b) {
        }
        return int(towlower(wint_t(*a))) - int(towlower(wint_t(*b)));
    }
    UINT defId_ = 0;
};

std::unique_ptr<WindowClass> MakeDialogClass() { return std::make_unique<DialogClass>(); }

void RegisterDialogClass() {
    static std::once_flag once;
    std::call_once(once, [] { RegisterWindowClass(L"#32770", &MakeDialogClass); });
}

SIZE BaseUnitsOf(HFONT font) {
    const QSize s = DialogBaseUnits(FontOf(font));
    return SIZE{s.width(), s.height()};
}

void MapWithUnits(SIZE units, LPRECT r) {
    r->left = MulDiv(r->left, units.cx, 4);
    r->right = MulDiv(r->right, units.cx, 4);
    r->top = MulDiv(r->top, units.cy, 8);
    r->bottom = MulDiv(r->bottom, units.cy, 8);
}

bool IsClass(HWND h, const wchar_t* name) {
    wchar_t buffer[64] = {};
    GetClassNameW(h, buffer, 64);
    std::wstring a(buffer), b(name);
    for (auto& c : a) c = wchar_t(towlower(wint_t(c)));
    for (auto& c : b) c = wchar_t(towlower(wint_t(c)));
    return a == b;
}

}  // namespace
}  // namespace qv::ui::detail

BOOL MapDialogRect(HWND dialog, LPRECT rect) {
    Window* w = Find(dialog);
    if (!w || !rect) return FALSE;
    MapWithUnits(BaseUnitsOf(w->font), rect);
    return TRUE;
}

LONG GetDialogBaseUnits() {
    qv::ui::EnsureApplication();
    const QSize s = DialogBaseUnits(DefaultDialogFont());
    return MAKELONG(WORD(s.width()), WORD(s.height()));
}

// ---- CDialog

IMPLEMENT_DYNAMIC(CDialog, CWnd)
IMPLEMENT_DYNAMIC(CDialogEx, CDialog)

BEGIN_MESSAGE_MAP(CDialog, CWnd)
    ON_COMMAND(IDOK, &CDialog::OnOK)
    ON_COMMAND(IDCANCEL, &CDialog::OnCancel)
    ON_MESSAGE(WM_INITDIALOG, &CDialog::HandleInitDialog)
END_MESSAGE_MAP()

CDialog::CDialog(UINT templateId, CWnd* parent) : m_nIDHelp(templateId), m_nIDTemplate(templateId), m_pParentWnd(parent) {}

CDialog::~CDialog() {
    if (m_hWnd) DestroyWindow();
}

BOOL CDialog::Create(UINT templateId, CWnd* parent) {
    if (templateId) m_nIDTemplate = templateId;
    if (parent) m_pParentWnd = parent;
    if (!m_nIDHelp) m_nIDHelp = m_nIDTemplate;
    const qv::ui::DialogTemplate* t = qv::ui::FindDialogTemplate(m_nIDTemplate);
    if (!t) return FALSE;
    return CreateFromTemplate(*t, m_pParentWnd, false);
}

BOOL CDialog::CreateIndirect(const qv::ui::DialogTemplate& dialog, CWnd* parent) {
    if (parent) m_pParentWnd = parent;
    if (!m_nIDTemplate) m_nIDTemplate = dialog.id;
    return CreateFromTemplate(dialog, m_pParentWnd, false);
}

BOOL CDialog::CreateFromTemplate(const qv::ui::DialogTemplate& t, CWnd* parent, bool modal) {
    if (m_hWnd || !qv::ui::EnsureApplication()) return FALSE;
    RegisterDialogClass();
    ended_ = false;
    result_ = 0;
    modal_ = modal;

    // The template's font gives the dialog units.
    font_.DeleteObject();
    if (!(t.style & DS_SETFONT) || !font_.CreatePointFont(t.pointSize * 10, t.fontFace.c_str()))
        font_.Attach(HandleForFont(DefaultDialogFont()));
    baseUnits_ = BaseUnitsOf(font_);

    DWORD style = t.style & ~WS_VISIBLE;
    HWND parentWnd = parent ? parent->m_hWnd : nullptr;
    if (modal) {
        style = (style & ~WS_CHILD) | WS_POPUP;
        // The owner of a modal dialog is the top-level window of the given parent.
        if (!parentWnd) parentWnd = AfxGetMainWnd() ? AfxGetMainWnd()->m_hWnd : ::GetActiveWindow();
        while (Window* pw = Find(parentWnd)) {
            if (!pw->child) break;
            parentWnd = pw->parent;
        }
    } else if ((style & WS_CHILD) && !parentWnd) {
        style = (style & ~WS_CHILD) | WS_POPUP;
    }
    RECT r{t.x, t.y, t.x + t.cx, t.y + t.cy};
    MapWithUnits(baseUnits_, &r);
    const bool child = style & WS_CHILD;
    const HWND h = CreateWindowRecord(t.exStyle, L"#32770", t.caption, style, child ? r.left : int(0x80000000), r.top,
                                      r.right - r.left, r.bottom - r.top, parentWnd, 0, this, nullptr);
    if (!h) return FALSE;
    ::SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(font_.m_hObject), FALSE);
    if (Window* w = Find(h); w && w->widget && modal) w->widget->setWindowModality(Qt::ApplicationModal);

    for (const qv::ui::DialogItem& item : t.items) {
        RECT ir{item.x, item.y, item.x + item.cx, item.y + item.cy};
        MapWithUnits(baseUnits_, &ir);
        const HWND c = CreateWindowRecord(item.exStyle, item.className, item.text, item.style | WS_CHILD, ir.left,
                                          ir.top, ir.right - ir.left, ir.bottom - ir.top, h, item.id, nullptr, nullptr);
        if (c) ::SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(font_.m_hObject), FALSE);
        if (!Find(h)) return FALSE;
    }

    // A top-level dialog starts centred over its owner; its initialisation may place it elsewhere.
    if (!child) CenterWindow(CWnd::FromHandle(parentWnd));
    CWnd* first = GetNextDlgTabItem(nullptr);
    const LRESULT focus = SendMessage(WM_INITDIALOG, reinterpret_cast<WPARAM>(first ? first->m_hWnd : nullptr), 0);
    if (!m_hWnd) return FALSE;
    if (focus) {
        if (CWnd* f = GetNextDlgTabItem(nullptr)) {
            f->SetFocus();
            if (IsClass(f->m_hWnd, L"Edit")) f->SendMessage(EM_SETSEL, 0, -1);
        }
    }
    if (!modal && (t.style & WS_VISIBLE)) ShowWindow(SW_SHOW);
    return TRUE;
}

LRESULT CDialog::HandleInitDialog(WPARAM, LPARAM) { return OnInitDialog(); }

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK() {
    if (!UpdateData(TRUE)) return;
    EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void CDialog::EndDialog(int result) {
    if (modal_) {
        EndModal(result);
        return;
    }
    ended_ = true;
    result_ = result;
    if (m_hWnd) ShowWindow(SW_HIDE);
}

INT_PTR CDialog::DoModal() {
    if (m_hWnd) return -1;
    const qv::ui::DialogTemplate* t = qv::ui::FindDialogTemplate(m_nIDTemplate);
    if (!t || !CreateFromTemplate(*t, m_pParentWnd, true)) {
        modal_ = false;
        return -1;
    }
    if (!ended_) ShowWindow(SW_SHOW);
    const INT_PTR result = ended_ ? result_ : qv::Interaction().RunModal(*this);
    if (m_hWnd) DestroyWindow();
    modal_ = false;
    return result;
}

std::wstring CDialog::Caption() const {
    CString text;
    if (m_hWnd) GetWindowText(text);
    return text.wstr();
}

INT_PTR CDialog::RunModalLoop() {
    if (ended_) return result_;
    if (!IsWindowVisible()) ShowWindow(SW_SHOW);
    QEventLoop loop;
    loop_ = &loop;
    loop.exec(QEventLoop::DialogExec);
    loop_ = nullptr;
    return result_;
}

void CDialog::EndModal(INT_PTR result) {
    result_ = result;
    ended_ = true;
    if (m_hWnd) ShowWindow(SW_HIDE);
    if (loop_) static_cast<QEventLoop*>(loop_)->quit();
}

BOOL CDialog::PreTranslateMessage(MSG* msg) {
    if (msg->message == WM_KEYDOWN && m_hWnd) {
        if (msg->wParam == VK_ESCAPE) {
            // A date refused in its field is given up before the dialog is.
            if (Window* f = Find(msg->hwnd); f && IsClass(f->handle, DATETIMEPICK_CLASSW) &&
                                              ::SendMessageW(f->handle, QV_DTM_GIVEUP, 0, 0))
                return TRUE;
            SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(m_hWnd, IDCANCEL)));
            return TRUE;
        }
        if (msg->wParam == VK_RETURN && GetKeyState(VK_CONTROL) >= 0) {
            Window* f = Find(msg->hwnd);
            if (f) {
                const bool edit = IsClass(f->handle, L"Edit") || IsClass(f->handle, L"RichEdit20W");
                if (edit && (f->style & ES_MULTILINE) && (f->style & ES_WANTRETURN)) return FALSE;
                if (IsClass(f->handle, L"SysListView32")) return FALSE;  // the list reports NM_RETURN itself
                // The date typed is taken before the button reads it; one refused is mended first.
                if (IsClass(f->handle, DATETIMEPICK_CLASSW) && !::SendMessageW(f->handle, QV_DTM_ENDTYPING, 0, 0))
                    return TRUE;
                const DWORD type = f->style & BS_TYPEMASK;
                if (IsClass(f->handle, L"Button") && f->parent == m_hWnd &&
                    (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON || type == BS_OWNERDRAW)) {
                    SendMessage(WM_COMMAND, MAKEWPARAM(WORD(f->id), BN_CLICKED), reinterpret_cast<LPARAM>(f->handle));
                    return TRUE;
                }
            }
            const DWORD def = GetDefID();
            const UINT id = HIWORD(def) == DC_HASDEFID ? LOWORD(def) : UINT(IDOK);
            const HWND button = ::GetDlgItem(m_hWnd, int(id));
            if (button && !::IsWindowEnabled(button)) return TRUE;
            SendMessage(WM_COMMAND, MAKEWPARAM(WORD(id), BN_CLICKED), reinterpret_cast<LPARAM>(button));
            return TRUE;
        }
    }
    return CWnd::PreTranslateMessage(msg);
}

void CDialog::NextDlgCtrl() const { SendMessage(WM_NEXTDLGCTL, 0, 0); }
void CDialog::PrevDlgCtrl() const { SendMessage(WM_NEXTDLGCTL, 1, 0); }

void CDialog::GotoDlgCtrl(CWnd* control) {
    if (control) SendMessage(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control->m_hWnd), 1);
}

BOOL CDialog::MapDialogRect(LPRECT rect) const {
    if (!rect) return FALSE;
    MapWithUnits(baseUnits_, rect);
    return TRUE;
}

DWORD CDialog::GetDefID() const { return DWORD(SendMessage(DM_GETDEFID)); }
void CDialog::SetDefID(UINT id) { SendMessage(DM_SETDEFID, id); }

// ---- CDialogEx

BEGIN_MESSAGE_MAP(CDialogEx, CDialog)
    ON_WM_CTLCOLOR()
END_MESSAGE_MAP()

void CDialogEx::SetBackgroundColor(COLORREF color, BOOL repaint) {
    m_brBkgr.DeleteObject();
    if (color != CLR_NONE) m_brBkgr.CreateSolidBrush(color);
    if (repaint && m_hWnd) Invalidate();
}

HBRUSH CDialogEx::OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor) {
    if (m_brBkgr.m_hObject) {
        if (ctlColor == CTLCOLOR_DLG) return static_cast<HBRUSH>(m_brBkgr.m_hObject);
        if (ctlColor == CTLCOLOR_STATIC || ctlColor == CTLCOLOR_BTN) {
            // Statics and buttons show the dialog's colour behind their text, unless they have
            // colours of their own.
            LRESULT r = 0;
            if (wnd && wnd->m_hWnd != m_hWnd && ReflectLastMsg(wnd->m_hWnd, &r)) return reinterpret_cast<HBRUSH>(r);
            if (dc) dc->SetBkMode(TRANSPARENT);
            return static_cast<HBRUSH>(m_brBkgr.m_hObject);
        }
    }
    return CDialog::OnCtlColor(dc, wnd, ctlColor);
}

// ---- data exchange

CDataExchange::CDataExchange(CWnd* dialog, BOOL saveAndValidate) : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(dialog) {}

HWND CDataExchange::PrepareCtrl(int id) {
    const HWND h = m_pDlgWnd ? ::GetDlgItem(m_pDlgWnd->m_hWnd, id) : nullptr;
    m_hWndLastControl = h;
    m_bEditLastControl = FALSE;
    return h;
}

HWND CDataExchange::PrepareEditCtrl(int id) {
    const HWND h = PrepareCtrl(id);
    m_bEditLastControl = TRUE;
    return h;
}

void CDataExchange::Fail() {
    m_bFailed = TRUE;
    if (!m_bSaveAndValidate || !m_hWndLastControl) return;
    ::SetFocus(m_hWndLastControl);
    if (m_bEditLastControl) ::SendMessageW(m_hWndLastControl, EM_SETSEL, 0, -1);
}

BOOL CWnd::UpdateData(BOOL saveAndValidate) {
    if (!m_hWnd) return FALSE;
    CDataExchange dx(this, saveAndValidate);
    DoDataExchange(&dx);
    return !dx.m_bFailed;
}

namespace {

std::wstring TextOf(HWND h) {
    const int n = GetWindowTextLengthW(h);
    std::wstring s(std::size_t(n) + 1, L'\0');
    const int got = GetWindowTextW(h, s.data(), n + 1);
    s.resize(std::size_t(std::max(0, got)));
    return s;
}

std::wstring Trimmed(std::wstring s) {
    const auto first = s.find_first_not_of(L" \t");
    if (first == std::wstring::npos) return {};
    const auto last = s.find_last_not_of(L" \t");
    return s.substr(first, last - first + 1);
}

bool ParseInteger(const std::wstring& text, long long& out) {
    const std::wstring t = Trimmed(text);
    if (t.empty()) return false;
    wchar_t* end = nullptr;
    errno = 0;
    out = std::wcstoll(t.c_str(), &end, 10);
    return end && *end == L'\0' && errno == 0;
}

bool ParseReal(const std::wstring& text, double& out) {
    std::wstring t = Trimmed(text);
    if (t.empty()) return false;
    wchar_t* end = nullptr;
    errno = 0;
    out = std::wcstod(t.c_str(), &end);
    return end && *end == L'\0' && errno == 0 && std::isfinite(out);
}

void Tell(CDataExchange* dx, LPCWSTR text) {
    AfxMessageBox(text, MB_OK | MB_ICONEXCLAMATION);
    dx->Fail();
}

template <class T>
void TextInteger(CDataExchange* dx, int id, T& value, long long lo, long long hi, bool isSigned) {
    if (dx->m_bFailed) return;
    const HWND h = dx->PrepareEditCtrl(id);
    if (!h) return;
    if (dx->m_bSaveAndValidate) {
        long long v = 0;
        if (!ParseInteger(TextOf(h), v) || v < lo || v > hi || (!isSigned && v < 0)) {
            Tell(dx, L"Geben Sie eine ganze Zahl ein.");
            return;
        }
        value = T(v);
    } else {
        const std::wstring s = isSigned ? std::to_wstring((long long)value) : std::to_wstring((unsigned long long)value);
        SetWindowTextW(h, s.c_str());
    }
}

template <class T>
void TextReal(CDataExchange* dx, int id, T& value, int digits) {
    if (dx->m_bFailed) return;
    const HWND h = dx->PrepareEditCtrl(id);
    if (!h) return;
    if (dx->m_bSaveAndValidate) {
        double v = 0;
        if (!ParseReal(TextOf(h), v)) {
            Tell(dx, L"Geben Sie eine Zahl ein.");
            return;
        }
        value = T(v);
    } else {
        CString s;
        s.Format(digits == 15 ? L"%.15g" : L"%.6g", double(value));
        SetWindowTextW(h, s);
    }
}

template <class T>
void CheckRange(CDataExchange* dx, T value, T lo, T hi, bool real) {
    if (!dx->m_bSaveAndValidate || dx->m_bFailed) return;
    if (value >= lo && value <= hi) return;
    CString text;
    if (real) text.Format(L"Geben Sie eine Zahl zwischen %.15g und %.15g ein.", double(lo), double(hi));
    else text.Format(L"Geben Sie eine ganze Zahl zwischen %I64d und %I64d ein.", (long long)lo, (long long)hi);
    Tell(dx, text);
}

}  // namespace

void DDX_Control(CDataExchange* dx, int id, CWnd& control) {
    if (control.m_hWnd || !dx || !dx->m_pDlgWnd) return;
    const HWND h = dx->PrepareCtrl(id);
    if (h) control.SubclassWindow(h);
}

void DDX_Text(CDataExchange* dx, int id, CString& value) {
    if (dx->m_bFailed) return;
    const HWND h = dx->PrepareEditCtrl(id);
    if (!h) return;
    if (dx->m_bSaveAndValidate) value = TextOf(h);
    else SetWindowTextW(h, value);
}

void DDX_Text(CDataExchange* dx, int id, int& value) { TextInteger(dx, id, value, INT32_MIN, INT32_MAX, true); }
void DDX_Text(CDataExchange* dx, int id, UINT& value) { TextInteger(dx, id, value, 0, UINT32_MAX, false); }
void DDX_Text(CDataExchange* dx, int id, long& value) { TextInteger(dx, id, value, INT32_MIN, INT32_MAX, true); }
void DDX_Text(CDataExchange* dx, int id, unsigned long& value) { TextInteger(dx, id, value, 0, UINT32_MAX, false); }
void DDX_Text(CDataExchange* dx, int id, short& value) { TextInteger(dx, id, value, INT16_MIN, INT16_MAX, true); }
void DDX_Text(CDataExchange* dx, int id, BYTE& value) { TextInteger(dx, id, value, 0, 255, false); }
void DDX_Text(CDataExchange* dx, int id, double& value) { TextReal(dx, id, value, 15); }
void DDX_Text(CDataExchange* dx, int id, float& value) { TextReal(dx, id, value, 6); }

void DDX_Check(CDataExchange* dx, int id, int& value) {
    if (dx->m_bFailed) return;
    const HWND h = dx->PrepareCtrl(id);
    if (!h) return;
    if (dx->m_bSaveAndValidate) value = int(SendMessageW(h, BM_GETCHECK, 0, 0));
    else SendMessageW(h, BM_SETCHECK, WPARAM(value), 0);
}

void DDX_Radio(CDataExchange* dx, int id, int& value) {
    if (dx->m_bFailed) return;
    const HWND first = dx->PrepareCtrl(id);
    if (!first) return;
    if (dx->m_bSaveAndValidate) value = -1;
    int index = 0;
    // The buttons from the first up to the next WS_GROUP.
    for (HWND h = first; h; h = GetWindow(h, GW_HWNDNEXT)) {
        if (h != first && (GetWindowLongPtrW(h, GWL_STYLE) & WS_GROUP)) break;
        const DWORD type = DWORD(GetWindowLongPtrW(h, GWL_STYLE)) & BS_TYPEMASK;
        if (!IsClass(h, L"Button") || (type != BS_RADIOBUTTON && type != BS_AUTORADIOBUTTON)) continue;
        if (dx->m_bSaveAndValidate) {
            if (SendMessageW(h, BM_GETCHECK, 0, 0) == BST_CHECKED) value = index;
        } else {
            SendMessageW(h, BM_SETCHECK, index == value ? BST_CHECKED : BST_UNCHECKED, 0);
        }
        ++index;
    }
}

void DDX_CBIndex(CDataExchange* dx, int id, int& index) {
    if (dx->m_bFailed) return;
    const HWND h = dx->PrepareCtrl(id);
    if (!h) return;
    if (dx->m_bSaveAndValidate) index = int(SendMessageW(h, CB_GETCURSEL, 0, 0));
    else SendMessageW(h, CB_SETCURSEL, WPARAM(INT_PTR(index)), 0);
}

void DDX_CBString(CDataExchange* dx, int id, CString& value) {
    if (dx->m_bFailed) return;
    const HWND h = dx->PrepareCtrl(id);
    if (!h) return;
    if (dx->m_bSaveAndValidate) {
        value = TextOf(h);
        return;
    }
    if (SendMessageW(h, CB_SELECTSTRING, WPARAM(-1), reinterpret_cast<LPARAM>(value.GetString())) == CB_ERR)
        SetWindowTextW(h, value);
}

void DDX_CBStringExact(CDataExchange* dx, int id, CString& value) {
    if (dx->m_bFailed) return;
    const HWND h = dx->PrepareCtrl(id);
    if (!h) return;
    if (dx->m_bSaveAndValidate) {
        value = TextOf(h);
        return;
    }
    const LRESULT i = SendMessageW(h, CB_FINDSTRINGEXACT, WPARAM(-1), reinterpret_cast<LPARAM>(value.GetString()));
    if (i == CB_ERR) SetWindowTextW(h, value);
    else SendMessageW(h, CB_SETCURSEL, WPARAM(i), 0);
}

void DDX_LBIndex(CDataExchange* dx, int id, int& index) {
    if (dx->m_bFailed) return;
    const HWND h = dx->PrepareCtrl(id);
    if (!h) return;
    if (dx->m_bSaveAndValidate) index = int(SendMessageW(h, LB_GETCURSEL, 0, 0));
    else SendMessageW(h, LB_SETCURSEL, WPARAM(INT_PTR(index)), 0);
}

void DDX_LBString(CDataExchange* dx, int id, CString& value) {
    if (dx->m_bFailed) return;
    const HWND h = dx->PrepareCtrl(id);
    if (!h) return;
    if (dx->m_bSaveAndValidate) {
        const int i = int(SendMessageW(h, LB_GETCURSEL, 0, 0));
        if (i < 0) {
            value.Empty();
            return;
        }
        const int n = int(SendMessageW(h, LB_GETTEXTLEN, WPARAM(i), 0));
        std::wstring s(std::size_t(std::max(0, n)) + 1, L'\0');
        SendMessageW(h, LB_GETTEXT, WPARAM(i), reinterpret_cast<LPARAM>(s.data()));
        s.resize(std::size_t(std::max(0, n)));
        value = s;
    } else {
        SendMessageW(h, LB_SELECTSTRING, WPARAM(-1), reinterpret_cast<LPARAM>(value.GetString()));
    }
}

void DDV_MaxChars(CDataExchange* dx, const CString& value, int maxChars) {
    if (!dx->m_bSaveAndValidate) {
        // Loading sets the limit on the edit, so the user cannot type more.
        if (dx->m_hWndLastControl && dx->m_bEditLastControl)
            SendMessageW(dx->m_hWndLastControl, EM_LIMITTEXT, WPARAM(maxChars), 0);
        return;
    }
    if (dx->m_bFailed || value.GetLength() <= maxChars) return;
    CString text;
    text.Format(L"Geben Sie höchstens %d Zeichen ein.", maxChars);
    Tell(dx, text);
}

void DDV_MinMaxInt(CDataExchange* dx, int value, int minVal, int maxVal) { CheckRange<long long>(dx, value, minVal, maxVal, false); }
void DDV_MinMaxLong(CDataExchange* dx, long value, long minVal, long maxVal) { CheckRange<long long>(dx, value, minVal, maxVal, false); }
void DDV_MinMaxUInt(CDataExchange* dx, UINT value, UINT minVal, UINT maxVal) { CheckRange<long long>(dx, value, minVal, maxVal, false); }
void DDV_MinMaxDWord(CDataExchange* dx, DWORD value, DWORD minVal, DWORD maxVal) { CheckRange<long long>(dx, value, minVal, maxVal, false); }
void DDV_MinMaxShort(CDataExchange* dx, short value, short minVal, short maxVal) { CheckRange<long long>(dx, value, minVal, maxVal, false); }
void DDV_MinMaxByte(CDataExchange* dx, BYTE value, BYTE minVal, BYTE maxVal) { CheckRange<long long>(dx, value, minVal, maxVal, false); }
void DDV_MinMaxDouble(CDataExchange* dx, const double& value, double minVal, double maxVal) {
    CheckRange<double>(dx, value, minVal, maxVal, true);
}
