#include "tabctrl.h"
#include "uiimpl_p.h"
#include <QPainter>
#include <QResizeEvent>
#include <QTabBar>
#include <mutex>

using namespace qv::ui::detail;

const UINT AFX_WM_CHANGE_ACTIVE_TAB = RegisterWindowMessageW(L"AFX_WM_CHANGE_ACTIVE_TAB");

namespace qv::ui::detail {
namespace {

class TabWidget : public QWidget {
public:
    explicit TabWidget(QWidget* parent) : QWidget(parent) {
        bar = new QTabBar(this);
        bar->setDrawBase(false);
        bar->setExpanding(false);
        bar->setFocusPolicy(Qt::NoFocus);
    }
    QTabBar* bar;
    bool top = false;
    bool boldActive = false;
    std::vector<HWND> pages;
    int quiet = 0;

    QRect PageArea() const {
        const int h = bar->sizeHint().height();
        return top ? QRect(1, h, width() - 2, height() - h - 1) : QRect(1, 1, width() - 2, height() - h - 1);
    }
    void Layout() {
        const int h = bar->sizeHint().height();
        bar->setGeometry(0, top ? 0 : height() - h, width(), h);
        const QRect area = PageArea();
        for (HWND p : pages) MoveWindow(p, area.x(), area.y(), area.width(), area.height(), TRUE);
    }

protected:
    void resizeEvent(QResizeEvent* e) override {
        QWidget::resizeEvent(e);
        Layout();
    }
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const QRect area = PageArea().adjusted(-1, -1, 0, 0);
        p.setPen(ToQColor(GetSysColor(COLOR_BTNSHADOW)));
        p.drawRect(area);
    }
};

class TabClass : public WindowClass {
public:
    QWidget* CreateWidget(Window& w, QWidget* parent) override {
        auto* t = new TabWidget(parent);
        const HWND h = w.handle;
        QObject::connect(t->bar, &QTabBar::currentChanged, t, [h, t](int index) {
            if (t->quiet) return;
            Activate(h, index, true);
        });
        return t;
    }
    bool Proc(Window&, UINT, WPARAM, LPARAM, LRESULT&) override { return false; }

    static TabWidget* Tabs(HWND h) { return dynamic_cast<TabWidget*>(WidgetOf(h)); }

    // Shows the tab's page, hides the others, and tells the parent.
    static void Activate(HWND h, int index, bool notify) {
        TabWidget* t = Tabs(h);
        if (!t) return;
        for (std::size_t i = 0; i < t->pages.size(); ++i)
            if (int(i) != index) ShowWindow(t->pages[i], SW_HIDE);
        if (index >= 0 && index < int(t->pages.size())) ShowWindow(t->pages[std::size_t(index)], SW_SHOW);
        if (t->boldActive) {
            for (int i = 0; i < t->bar->count(); ++i) t->bar->setTabTextColor(i, QColor());
        }
        if (!notify) return;
        Window* w = Find(h);
        Window* parent = w ? Find(w->parent) : nullptr;
        if (parent) Dispatch(*parent, AFX_WM_CHANGE_ACTIVE_TAB, WPARAM(index), reinterpret_cast<LPARAM>(w->object));
    }
};

std::unique_ptr<WindowClass> MakeTabs() { return std::make_unique<TabClass>(); }

void RegisterTabClass() {
    static std::once_flag once;
    std::call_once(once, [] { RegisterWindowClass(L"QvMFCTabCtrl", &MakeTabs); });
}

struct Quiet {
    explicit Quiet(int& c) : count(c) { ++count; }
    ~Quiet() { --count; }
    int& count;
};

}  // namespace
}  // namespace qv::ui::detail

IMPLEMENT_DYNAMIC(CMFCTabCtrl, CWnd)

namespace {
TabWidget* TabsOf(const CWnd* w) { return w ? TabClass::Tabs(w->m_hWnd) : nullptr; }
}  // namespace

BOOL CMFCTabCtrl::Create(Style, const RECT& rect, CWnd* parent, UINT id, Location location, BOOL) {
    RegisterTabClass();
    if (!CWnd::CreateEx(0, L"QvMFCTabCtrl", L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, rect, parent, id)) return FALSE;
    SetLocation(location);
    return TRUE;
}

void CMFCTabCtrl::AddTab(CWnd* wnd, LPCWSTR label, UINT image, BOOL detachable) {
    InsertTab(wnd, label, GetTabsNum(), image, detachable);
}

void CMFCTabCtrl::InsertTab(CWnd* wnd, LPCWSTR label, int insertAt, UINT, BOOL) {
    TabWidget* t = TabsOf(this);
    if (!t || !wnd || !wnd->m_hWnd) return;
    const int at = std::clamp(insertAt, 0, int(t->pages.size()));
    if (::GetParent(wnd->m_hWnd) != m_hWnd) wnd->SetParent(this);
    const bool first = t->pages.empty();
    {
        Quiet q(t->quiet);
        t->pages.insert(t->pages.begin() + at, wnd->m_hWnd);
        t->bar->insertTab(at, ToQt(label));
    }
    t->Layout();
    if (first) {
        Quiet q(t->quiet);
        t->bar->setCurrentIndex(0);
        TabClass::Activate(m_hWnd, 0, false);
    } else {
        ::ShowWindow(wnd->m_hWnd, SW_HIDE);
    }
}

BOOL CMFCTabCtrl::RemoveTab(int tab, BOOL) {
    TabWidget* t = TabsOf(this);
    if (!t || tab < 0 || tab >= int(t->pages.size())) return FALSE;
    const int before = t->bar->currentIndex();
    {
        Quiet q(t->quiet);
        t->pages.erase(t->pages.begin() + tab);
        t->bar->removeTab(tab);
    }
    const int now = t->bar->currentIndex();
    if (now >= 0) TabClass::Activate(m_hWnd, now, before == tab);
    return TRUE;
}

void CMFCTabCtrl::RemoveAllTabs() {
    TabWidget* t = TabsOf(this);
    if (!t) return;
    Quiet q(t->quiet);
    t->pages.clear();
    while (t->bar->count() > 0) t->bar->removeTab(0);
}

BOOL CMFCTabCtrl::SetActiveTab(int tab) {
    TabWidget* t = TabsOf(this);
    if (!t || tab < 0 || tab >= int(t->pages.size())) return FALSE;
    const bool changed = t->bar->currentIndex() != tab;
    {
        Quiet q(t->quiet);
        t->bar->setCurrentIndex(tab);
    }
    TabClass::Activate(m_hWnd, tab, changed);
    return TRUE;
}

int CMFCTabCtrl::GetActiveTab() const {
    TabWidget* t = TabsOf(this);
    return t ? t->bar->currentIndex() : -1;
}

int CMFCTabCtrl::GetTabsNum() const {
    TabWidget* t = TabsOf(this);
    return t ? int(t->pages.size()) : 0;
}

CWnd* CMFCTabCtrl::GetTabWnd(int tab) const {
    TabWidget* t = TabsOf(this);
    if (!t || tab < 0 || tab >= int(t->pages.size())) return nullptr;
    return CWnd::FromHandle(t->pages[std::size_t(tab)]);
}

CWnd* CMFCTabCtrl::GetActiveWnd() const { return GetTabWnd(GetActiveTab()); }

int CMFCTabCtrl::GetTabFromHwnd(HWND wnd) const {
    TabWidget* t = TabsOf(this);
    if (!t) return -1;
    for (std::size_t i = 0; i < t->pages.size(); ++i)
        if (t->pages[i] == wnd) return int(i);
    return -1;
}

BOOL CMFCTabCtrl::GetTabLabel(int tab, CString& label) const {
    TabWidget* t = TabsOf(this);
    if (!t || tab < 0 || tab >= t->bar->count()) return FALSE;
    label = FromQt(t->bar->tabText(tab));
    return TRUE;
}

BOOL CMFCTabCtrl::SetTabLabel(int tab, const CString& label) {
    TabWidget* t = TabsOf(this);
    if (!t || tab < 0 || tab >= t->bar->count()) return FALSE;
    t->bar->setTabText(tab, ToQt(label.wstr()));
    return TRUE;
}

void CMFCTabCtrl::SetLocation(Location location) {
    TabWidget* t = TabsOf(this);
    if (!t) return;
    t->top = location == LOCATION_TOP;
    t->bar->setShape(t->top ? QTabBar::RoundedNorth : QTabBar::RoundedSouth);
    t->Layout();
}

CMFCTabCtrl::Location CMFCTabCtrl::GetLocation() const {
    TabWidget* t = TabsOf(this);
    return t && t->top ? LOCATION_TOP : LOCATION_BOTTOM;
}

void CMFCTabCtrl::RecalcLayout() {
    if (TabWidget* t = TabsOf(this)) t->Layout();
}

void CMFCTabCtrl::GetWndArea(CRect& rect) const {
    TabWidget* t = TabsOf(this);
    rect = t ? CRect(FromQRect(t->PageArea())) : CRect();
}

void CMFCTabCtrl::SetActiveTabBoldFont(BOOL bold) {
    if (TabWidget* t = TabsOf(this)) t->boldActive = bold != FALSE;
}
void CMFCTabCtrl::SetFlatFrame(BOOL, BOOL) {}
void CMFCTabCtrl::EnableAutoColor(BOOL) {}
void CMFCTabCtrl::HideSingleTab(BOOL) {}
void CMFCTabCtrl::EnableTabSwap(BOOL) {}
void CMFCTabCtrl::SetTabBorderSize(int, BOOL) {}
