#include "tooltip.h"
#include "strtable.h"
#include "uiimpl_p.h"
#include <QLabel>
#include <QToolTip>
#include <map>
#include <mutex>

using namespace qv::ui::detail;

namespace qv::ui::detail {
namespace {

class TipWidget : public QLabel {
public:
    explicit TipWidget(QWidget* parent) : QLabel(parent, Qt::ToolTip | Qt::FramelessWindowHint) {
        setAutoFillBackground(true);
        QPalette pal = palette();
        pal.setColor(QPalette::Window, ToQColor(GetSysColor(COLOR_INFOBK)));
        pal.setColor(QPalette::WindowText, ToQColor(GetSysColor(COLOR_INFOTEXT)));
        setPalette(pal);
        setFrameShape(QFrame::Box);
        setMargin(2);
        setWordWrap(false);
    }
    // As the desktop sizes a tip: on one line, broken into lines only beyond its greatest width.
    void Fit() {
        if (!wrap) {
            adjustSize();
            return;
        }
        setWordWrap(false);
        const QSize line = sizeHint();
        if (line.width() <= maximumWidth()) {
            resize(line);
            return;
        }
        setWordWrap(true);
        resize(maximumWidth(), heightForWidth(maximumWidth()));
    }
    bool wrap = false;  // a greatest width is set
    std::map<std::pair<HWND, UINT_PTR>, std::wstring> tools;
    bool active = true;
    bool tracking = false;
    QPoint position;
};

class TipClass : public WindowClass {
public:
    QWidget* CreateWidget(Window&, QWidget* parent) override { return new TipWidget(parent); }
    bool Proc(Window&, UINT, WPARAM, LPARAM, LRESULT&) override { return false; }
};

std::unique_ptr<WindowClass> MakeTip() { return std::make_unique<TipClass>(); }

void RegisterTipClass() {
    static std::once_flag once;
    std::call_once(once, [] { RegisterWindowClass(L"tooltips_class32", &MakeTip); });
}

TipWidget* Tip(const CWnd* w) { return w ? dynamic_cast<TipWidget*>(WidgetOf(w->m_hWnd)) : nullptr; }

void ApplyToWindow(TipWidget* t, HWND tool, UINT_PTR id) {
    // A tool that is a window shows its text on hover through the toolkit's own tool tips.
    if (id != 0 && id != UINT_PTR(reinterpret_cast<std::uintptr_t>(tool))) return;
    if (QWidget* w = WidgetOf(tool)) w->setToolTip(t->active ? ToQt(t->tools[{tool, id}]) : QString());
}

}  // namespace
}  // namespace qv::ui::detail

IMPLEMENT_DYNAMIC(CToolTipCtrl, CWnd)

BOOL CToolTipCtrl::Create(CWnd* parent, DWORD style) {
    RegisterTipClass();
    return CWnd::CreateEx(0, L"tooltips_class32", L"", WS_POPUP | style, 0, 0, 0, 0, parent ? parent->m_hWnd : nullptr,
                          nullptr);
}

BOOL CToolTipCtrl::AddTool(CWnd* wnd, LPCWSTR text, LPCRECT, UINT_PTR id) {
    TipWidget* t = Tip(this);
    if (!t || !wnd) return FALSE;
    t->tools[{wnd->m_hWnd, id}] = (text && text != LPSTR_TEXTCALLBACKW) ? text : L"";
    ApplyToWindow(t, wnd->m_hWnd, id);
    return TRUE;
}

BOOL CToolTipCtrl::AddTool(CWnd* wnd, UINT textId, LPCRECT rect, UINT_PTR id) {
    CString text;
    text.LoadString(textId);
    return AddTool(wnd, text, rect, id);
}

BOOL CToolTipCtrl::AddTool(const TOOLINFOW* info) {
    TipWidget* t = Tip(this);
    if (!t || !info) return FALSE;
    const HWND tool = (info->uFlags & TTF_IDISHWND) ? reinterpret_cast<HWND>(info->uId) : info->hwnd;
    const UINT_PTR id = (info->uFlags & TTF_IDISHWND) ? 0 : info->uId;
    t->tools[{tool, id}] = (info->lpszText && info->lpszText != LPSTR_TEXTCALLBACKW) ? info->lpszText : L"";
    if (!(info->uFlags & TTF_TRACK)) ApplyToWindow(t, tool, id);
    return TRUE;
}

void CToolTipCtrl::DelTool(CWnd* wnd, UINT_PTR id) {
    TipWidget* t = Tip(this);
    if (!t || !wnd) return;
    t->tools.erase({wnd->m_hWnd, id});
    if (QWidget* w = WidgetOf(wnd->m_hWnd)) w->setToolTip(QString());
}

void CToolTipCtrl::UpdateTipText(LPCWSTR text, CWnd* wnd, UINT_PTR id) {
    TipWidget* t = Tip(this);
    if (!t || !wnd) return;
    t->tools[{wnd->m_hWnd, id}] = text ? text : L"";
    ApplyToWindow(t, wnd->m_hWnd, id);
    if (t->tracking) {
        t->setText(ToQt(text));
        t->Fit();
    }
}

void CToolTipCtrl::GetText(CString& text, CWnd* wnd, UINT_PTR id) const {
    TipWidget* t = Tip(this);
    text.Empty();
    if (!t || !wnd) return;
    auto it = t->tools.find({wnd->m_hWnd, id});
    if (it != t->tools.end()) text = it->second;
}

void CToolTipCtrl::Activate(BOOL activate) {
    TipWidget* t = Tip(this);
    if (!t) return;
    t->active = activate != FALSE;
    for (auto& [key, text] : t->tools) ApplyToWindow(t, key.first, key.second);
}

int CToolTipCtrl::SetMaxTipWidth(int width) {
    TipWidget* t = Tip(this);
    if (!t) return 0;
    const int old = t->maximumWidth();
    t->setMaximumWidth(width > 0 ? width : QWIDGETSIZE_MAX);
    t->wrap = width > 0;
    t->setWordWrap(t->wrap);
    return old;
}

void CToolTipCtrl::RelayEvent(LPMSG) {}

void CToolTipCtrl::TrackActivate(BOOL activate, const TOOLINFOW* info) {
    TipWidget* t = Tip(this);
    if (!t) return;
    t->tracking = activate != FALSE;
    if (!t->tracking) {
        t->hide();
        return;
    }
    if (info) {
        const HWND tool = (info->uFlags & TTF_IDISHWND) ? reinterpret_cast<HWND>(info->uId) : info->hwnd;
        const UINT_PTR id = (info->uFlags & TTF_IDISHWND) ? 0 : info->uId;
        auto it = t->tools.find({tool, id});
        if (it != t->tools.end()) t->setText(ToQt(it->second));
    }
    t->Fit();
    t->move(t->position);
    t->show();
    t->raise();
}

void CToolTipCtrl::TrackPosition(int x, int y) {
    TipWidget* t = Tip(this);
    if (!t) return;
    t->position = QPoint(x, y);
    if (t->tracking) t->move(t->position);
}

BOOL CToolTipCtrl::IsTracking() const {
    TipWidget* t = Tip(this);
    return t && t->tracking && t->isVisible();
}
