#include "menu.h"
#include "uiimpl_p.h"
#include <QAction>
#include <QImage>
#include <QMenu>
#include <QPixmap>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

using namespace qv::ui::detail;

namespace {

struct MenuEntry {
    UINT id = 0;
    std::wstring text;
    UINT flags = 0;
    HMENU sub = nullptr;
    HBITMAP unchecked = nullptr;
    HBITMAP checked = nullptr;
};

struct MenuData {
    bool popup = true;
    std::vector<MenuEntry> entries;
    std::unique_ptr<CMenu> wrapper;
    QMenu* open = nullptr;  // while it is shown
};

std::recursive_mutex g_menuLock;
std::map<HMENU, std::unique_ptr<MenuData>> g_menus;
std::uintptr_t g_nextMenu = 0x70000;
qv::ui::PopupMenuHook g_hook;

MenuData* Data(HMENU h) {
    auto it = g_menus.find(h);
    return it == g_menus.end() ? nullptr : it->second.get();
}

HMENU NewMenu(bool popup) {
    std::lock_guard g(g_menuLock);
    g_nextMenu += 4;
    const auto h = reinterpret_cast<HMENU>(g_nextMenu);
    auto d = std::make_unique<MenuData>();
    d->popup = popup;
    g_menus[h] = std::move(d);
    return h;
}

// The index of an item by position or by command (searching submenus); -1 when not found.
MenuData* Locate(HMENU menu, UINT item, UINT flags, int& index) {
    MenuData* d = Data(menu);
    if (!d) return nullptr;
    if (flags & MF_BYPOSITION) {
        index = int(item) < int(d->entries.size()) ? int(item) : -1;
        return index >= 0 ? d : nullptr;
    }
    for (std::size_t i = 0; i < d->entries.size(); ++i) {
        const MenuEntry& e = d->entries[i];
        if (!(e.flags & MF_POPUP) && !(e.flags & MF_SEPARATOR) && e.id == item) {
            index = int(i);
            return d;
        }
    }
    for (const MenuEntry& e : d->entries)
        if (e.sub)
            if (MenuData* found = Locate(e.sub, item, flags, index)) return found;
    return nullptr;
}

MenuEntry Make(UINT flags, UINT_PTR id, LPCWSTR text) {
    MenuEntry e;
    e.flags = flags & ~MF_BYPOSITION;
    if (flags & MF_POPUP) {
        e.sub = reinterpret_cast<HMENU>(id);
        e.id = UINT(-1);
    } else {
        e.id = UINT(id);
    }
    if (!(flags & (MF_SEPARATOR | MF_BITMAP | MF_OWNERDRAW)) && text) e.text = text;
    if ((flags & MF_BITMAP) && text) e.checked = e.unchecked = reinterpret_cast<HBITMAP>(const_cast<wchar_t*>(text));
    return e;
}

void Destroy(HMENU h) {
    std::unique_ptr<MenuData> gone;
    {
        std::lock_guard g(g_menuLock);
        auto it = g_menus.find(h);
        if (it == g_menus.end()) return;
        gone = std::move(it->second);
        g_menus.erase(it);
    }
    for (const MenuEntry& e : gone->entries)
        if (e.sub) Destroy(e.sub);
    if (gone->wrapper) gone->wrapper->m_hMenu = nullptr;
}

QMenu* Build(HMENU h, HWND owner, QWidget* parent, std::map<QAction*, UINT>& ids);

void Fill(QMenu* qm, HMENU h, HWND owner, std::map<QAction*, UINT>& ids) {
    std::vector<MenuEntry> entries;
    {
        std::lock_guard g(g_menuLock);
        MenuData* d = Data(h);
        if (!d) return;
        entries = d->entries;
        d->open = qm;
    }
    for (const MenuEntry& e : entries) {
        if (e.flags & MF_SEPARATOR) {
            qm->addSeparator();
            continue;
        }
        if ((e.flags & MF_POPUP) && e.sub) {
            QMenu* sub = Build(e.sub, owner, qm, ids);
            sub->setTitle(ToQt(e.text));
            QAction* a = qm->addMenu(sub);
            a->setEnabled(!(e.flags & (MF_GRAYED | MF_DISABLED)));
            continue;
        }
        QAction* a = qm->addAction(ToQt(e.text));
        a->setEnabled(!(e.flags & (MF_GRAYED | MF_DISABLED)));
        if (e.flags & MF_CHECKED) {
            a->setCheckable(true);
            a->setChecked(true);
        }
        const HBITMAP bmp = (e.flags & MF_CHECKED) ? e.checked : e.unchecked;
        if (QImage* img = BitmapImage(bmp)) a->setIcon(QIcon(QPixmap::fromImage(*img)));
        ids[a] = e.id;
    }
}

QMenu* Build(HMENU h, HWND owner, QWidget* parent, std::map<QAction*, UINT>& ids) {
    auto* qm = new QMenu(parent);
    Fill(qm, h, owner, ids);
    QObject::connect(qm, &QMenu::hovered, qm, [h, owner, &ids](QAction* a) {
        const auto it = ids.find(a);
        const UINT id = it != ids.end() ? it->second : 0;
        const UINT flags = (a->menu() ? MF_POPUP : 0) | (a->isEnabled() ? 0 : MF_GRAYED) | MF_HILITE | MF_MOUSESELECT;
        SendMessageW(owner, WM_MENUSELECT, MAKEWPARAM(WORD(id), WORD(flags)), reinterpret_cast<LPARAM>(h));
    });
    return qm;
}

void ClearOpen(HMENU h) {
    std::lock_guard g(g_menuLock);
    MenuData* d = Data(h);
    if (!d) return;
    d->open = nullptr;
    for (const MenuEntry& e : d->entries)
        if (e.sub) ClearOpen(e.sub);
}

}  // namespace

namespace qv::ui {
void SetPopupMenuHook(PopupMenuHook hook) {
    std::lock_guard g(g_menuLock);
    g_hook = std::move(hook);
}
}  // namespace qv::ui

HMENU CreateMenu() { return NewMenu(false); }
HMENU CreatePopupMenu() { return NewMenu(true); }
BOOL DestroyMenu(HMENU menu) {
    if (!IsMenu(menu)) return FALSE;
    Destroy(menu);
    return TRUE;
}
BOOL IsMenu(HMENU menu) {
    std::lock_guard g(g_menuLock);
    return Data(menu) != nullptr;
}

BOOL AppendMenuW(HMENU menu, UINT flags, UINT_PTR id, LPCWSTR text) {
    std::lock_guard g(g_menuLock);
    MenuData* d = Data(menu);
    if (!d) return FALSE;
    d->entries.push_back(Make(flags, id, text));
    return TRUE;
}

BOOL InsertMenuW(HMENU menu, UINT position, UINT flags, UINT_PTR id, LPCWSTR text) {
    std::lock_guard g(g_menuLock);
    MenuData* d = Data(menu);
    if (!d) return FALSE;
    std::size_t at = d->entries.size();
    if (flags & MF_BYPOSITION) {
        if (position != UINT(-1)) at = std::min<std::size_t>(position, d->entries.size());
    } else {
        int index = -1;
        if (Locate(menu, position, MF_BYCOMMAND, index) == d && index >= 0) at = std::size_t(index);
    }
    d->entries.insert(d->entries.begin() + long(at), Make(flags, id, text));
    return TRUE;
}

BOOL ModifyMenuW(HMENU menu, UINT position, UINT flags, UINT_PTR id, LPCWSTR text) {
    std::lock_guard g(g_menuLock);
    int index = -1;
    MenuData* d = Locate(menu, position, flags, index);
    if (!d) return FALSE;
    const MenuEntry old = d->entries[std::size_t(index)];
    d->entries[std::size_t(index)] = Make(flags, id, text);
    d->entries[std::size_t(index)].unchecked = old.unchecked;
    d->entries[std::size_t(index)].checked = old.checked;
    return TRUE;
}

BOOL RemoveMenu(HMENU menu, UINT position, UINT flags) {
    std::lock_guard g(g_menuLock);
    int index = -1;
    MenuData* d = Locate(menu, position, flags, index);
    if (!d) return FALSE;
    d->entries.erase(d->entries.begin() + index);
    return TRUE;
}

BOOL DeleteMenu(HMENU menu, UINT position, UINT flags) {
    HMENU sub = nullptr;
    {
        std::lock_guard g(g_menuLock);
        int index = -1;
        MenuData* d = Locate(menu, position, flags, index);
        if (!d) return FALSE;
        sub = d->entries[std::size_t(index)].sub;
        d->entries.erase(d->entries.begin() + index);
    }
    if (sub) Destroy(sub);
    return TRUE;
}

UINT EnableMenuItem(HMENU menu, UINT item, UINT flags) {
    std::lock_guard g(g_menuLock);
    int index = -1;
    MenuData* d = Locate(menu, item, flags, index);
    if (!d) return UINT(-1);
    MenuEntry& e = d->entries[std::size_t(index)];
    const UINT old = e.flags & (MF_GRAYED | MF_DISABLED);
    e.flags = (e.flags & ~(MF_GRAYED | MF_DISABLED)) | (flags & (MF_GRAYED | MF_DISABLED));
    return old;
}

DWORD CheckMenuItem(HMENU menu, UINT item, UINT flags) {
    std::lock_guard g(g_menuLock);
    int index = -1;
    MenuData* d = Locate(menu, item, flags, index);
    if (!d) return DWORD(-1);
    MenuEntry& e = d->entries[std::size_t(index)];
    const DWORD old = e.flags & MF_CHECKED;
    e.flags = (e.flags & ~MF_CHECKED) | (flags & MF_CHECKED);
    return old;
}

int GetMenuItemCount(HMENU menu) {
    std::lock_guard g(g_menuLock);
    MenuData* d = Data(menu);
    return d ? int(d->entries.size()) : -1;
}

UINT GetMenuItemID(HMENU menu, int position) {
    std::lock_guard g(g_menuLock);
    MenuData* d = Data(menu);
    if (!d || position < 0 || position >= int(d->entries.size())) return UINT(-1);
    const MenuEntry& e = d->entries[std::size_t(position)];
    if (e.flags & MF_POPUP) return UINT(-1);
    if (e.flags & MF_SEPARATOR) return 0;
    return e.id;
}

HMENU GetSubMenu(HMENU menu, int position) {
    std::lock_guard g(g_menuLock);
    MenuData* d = Data(menu);
    if (!d || position < 0 || position >= int(d->entries.size())) return nullptr;
    return d->entries[std::size_t(position)].sub;
}

UINT GetMenuState(HMENU menu, UINT item, UINT flags) {
    std::lock_guard g(g_menuLock);
    int index = -1;
    MenuData* d = Locate(menu, item, flags, index);
    if (!d) return UINT(-1);
    const MenuEntry& e = d->entries[std::size_t(index)];
    UINT state = e.flags & (MF_GRAYED | MF_DISABLED | MF_CHECKED | MF_SEPARATOR | MF_POPUP);
    if (e.sub) state |= UINT(GetMenuItemCount(e.sub)) << 8;
    return state;
}

int GetMenuStringW(HMENU menu, UINT item, LPWSTR buffer, int max, UINT flags) {
    std::lock_guard g(g_menuLock);
    int index = -1;
    MenuData* d = Locate(menu, item, flags, index);
    if (!d) return 0;
    const std::wstring& t = d->entries[std::size_t(index)].text;
    if (!buffer || max <= 0) return int(t.size());
    const std::size_t n = std::min<std::size_t>(t.size(), std::size_t(max - 1));
    t.copy(buffer, n);
    buffer[n] = L'\0';
    return int(n);
}

BOOL SetMenuItemBitmaps(HMENU menu, UINT position, UINT flags, HBITMAP unchecked, HBITMAP checked) {
    std::lock_guard g(g_menuLock);
    int index = -1;
    MenuData* d = Locate(menu, position, flags, index);
    if (!d) return FALSE;
    d->entries[std::size_t(index)].unchecked = unchecked;
    d->entries[std::size_t(index)].checked = checked;
    return TRUE;
}

BOOL TrackPopupMenu(HMENU menu, UINT flags, int x, int y, int, HWND owner, const RECT*) {
    if (!IsMenu(menu) || !qv::ui::EnsureApplication()) return FALSE;
    SendMessageW(owner, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), 0);
    qv::ui::PopupMenuHook hook;
    {
        std::lock_guard g(g_menuLock);
        hook = g_hook;
    }
    UINT chosen = 0;
    if (hook) {
        chosen = hook(menu, owner);
    } else {
        std::map<QAction*, UINT> ids;
        QMenu* qm = Build(menu, owner, WidgetOf(owner), ids);
        QPoint at(x, y);
        const QSize size = qm->sizeHint();
        if (flags & TPM_RIGHTALIGN) at.rx() -= size.width();
        else if (flags & TPM_CENTERALIGN) at.rx() -= size.width() / 2;
        if (flags & TPM_BOTTOMALIGN) at.ry() -= size.height();
        else if (flags & TPM_VCENTERALIGN) at.ry() -= size.height() / 2;
        QAction* a = qm->exec(at);
        if (a) {
            const auto it = ids.find(a);
            if (it != ids.end()) chosen = it->second;
        }
        ClearOpen(menu);
        delete qm;
    }
    // The menu is closed.
    if (!(flags & TPM_NONOTIFY)) SendMessageW(owner, WM_MENUSELECT, MAKEWPARAM(0, 0xFFFF), 0);
    if (flags & TPM_RETURNCMD) return BOOL(chosen);
    if (chosen && !(flags & TPM_NONOTIFY)) PostMessageW(owner, WM_COMMAND, MAKEWPARAM(WORD(chosen), 0), 0);
    return chosen != 0;
}

BOOL GetMenuItemRect(HWND, HMENU menu, UINT position, LPRECT rect) {
    QMenu* qm = nullptr;
    {
        std::lock_guard g(g_menuLock);
        MenuData* d = Data(menu);
        if (!d || !d->open || !rect) return FALSE;
        qm = d->open;
    }
    const auto actions = qm->actions();
    if (position >= UINT(actions.size())) return FALSE;
    const QRect r = qm->actionGeometry(actions[int(position)]);
    const QPoint tl = qm->mapToGlobal(r.topLeft());
    *rect = RECT{tl.x(), tl.y(), tl.x() + r.width(), tl.y() + r.height()};
    return TRUE;
}

HMENU LoadMenuW(HINSTANCE, LPCWSTR name) {
    if (!IS_INTRESOURCE(name)) return nullptr;
    std::vector<qv::ui::MenuTemplateItem> items;
    if (!qv::ui::FindMenuTemplate(UINT(reinterpret_cast<std::uintptr_t>(name)), items)) return nullptr;
    std::function<void(HMENU, const std::vector<qv::ui::MenuTemplateItem>&)> fill = [&](HMENU m, const auto& list) {
        for (const auto& item : list) {
            if (!item.popup.empty() || (item.flags & MF_POPUP)) {
                const HMENU sub = CreatePopupMenu();
                fill(sub, item.popup);
                AppendMenuW(m, item.flags | MF_POPUP, reinterpret_cast<UINT_PTR>(sub), item.text.c_str());
            } else {
                AppendMenuW(m, item.flags, item.id, item.text.c_str());
            }
        }
    };
    const HMENU bar = CreateMenu();
    fill(bar, items);
    return bar;
}

// ---- CMenu

CMenu::~CMenu() { DestroyMenu(); }
BOOL CMenu::CreateMenu() { return Attach(::CreateMenu()); }
BOOL CMenu::CreatePopupMenu() { return Attach(::CreatePopupMenu()); }
BOOL CMenu::LoadMenu(UINT id) { return Attach(::LoadMenuW(nullptr, MAKEINTRESOURCEW(id))); }
BOOL CMenu::DestroyMenu() {
    if (!m_hMenu) return FALSE;
    const HMENU h = m_hMenu;
    m_hMenu = nullptr;
    return ::DestroyMenu(h);
}
BOOL CMenu::Attach(HMENU menu) {
    if (m_hMenu || !menu) return FALSE;
    m_hMenu = menu;
    return TRUE;
}
HMENU CMenu::Detach() {
    const HMENU h = m_hMenu;
    m_hMenu = nullptr;
    return h;
}
CMenu* CMenu::FromHandle(HMENU menu) {
    std::lock_guard g(g_menuLock);
    MenuData* d = Data(menu);
    if (!d) return nullptr;
    if (!d->wrapper) {
        d->wrapper = std::make_unique<CMenu>();
        d->wrapper->m_hMenu = menu;
    }
    return d->wrapper.get();
}
BOOL CMenu::AppendMenu(UINT flags, UINT_PTR id, LPCWSTR text) { return ::AppendMenuW(m_hMenu, flags, id, text); }
BOOL CMenu::AppendMenu(UINT flags, UINT_PTR id, const CBitmap* bitmap) {
    if (!::AppendMenuW(m_hMenu, flags & ~MF_BITMAP, id, nullptr)) return FALSE;
    const int last = GetMenuItemCount() - 1;
    const HBITMAP b = bitmap ? static_cast<HBITMAP>(bitmap->m_hObject) : nullptr;
    return ::SetMenuItemBitmaps(m_hMenu, UINT(last), MF_BYPOSITION, b, b);
}
BOOL CMenu::InsertMenu(UINT position, UINT flags, UINT_PTR id, LPCWSTR text) {
    return ::InsertMenuW(m_hMenu, position, flags, id, text);
}
BOOL CMenu::ModifyMenu(UINT position, UINT flags, UINT_PTR id, LPCWSTR text) {
    return ::ModifyMenuW(m_hMenu, position, flags, id, text);
}
BOOL CMenu::RemoveMenu(UINT position, UINT flags) { return ::RemoveMenu(m_hMenu, position, flags); }
BOOL CMenu::DeleteMenu(UINT position, UINT flags) { return ::DeleteMenu(m_hMenu, position, flags); }
UINT CMenu::EnableMenuItem(UINT item, UINT flags) { return ::EnableMenuItem(m_hMenu, item, flags); }
UINT CMenu::CheckMenuItem(UINT item, UINT flags) { return UINT(::CheckMenuItem(m_hMenu, item, flags)); }
int CMenu::GetMenuItemCount() const { return ::GetMenuItemCount(m_hMenu); }
UINT CMenu::GetMenuItemID(int position) const { return ::GetMenuItemID(m_hMenu, position); }
UINT CMenu::GetMenuState(UINT item, UINT flags) const { return ::GetMenuState(m_hMenu, item, flags); }
int CMenu::GetMenuString(UINT item, CString& text, UINT flags) const {
    const int n = ::GetMenuStringW(m_hMenu, item, nullptr, 0, flags);
    std::wstring s(std::size_t(n) + 1, L'\0');
    ::GetMenuStringW(m_hMenu, item, s.data(), n + 1, flags);
    s.resize(std::size_t(n));
    text = s;
    return n;
}
CMenu* CMenu::GetSubMenu(int position) const { return FromHandle(::GetSubMenu(m_hMenu, position)); }
BOOL CMenu::SetMenuItemBitmaps(UINT position, UINT flags, const CBitmap* unchecked, const CBitmap* checked) {
    return ::SetMenuItemBitmaps(m_hMenu, position, flags, unchecked ? static_cast<HBITMAP>(unchecked->m_hObject) : nullptr,
                                checked ? static_cast<HBITMAP>(checked->m_hObject) : nullptr);
}
BOOL CMenu::TrackPopupMenu(UINT flags, int x, int y, CWnd* owner, LPCRECT rect) {
    return ::TrackPopupMenu(m_hMenu, flags, x, y, 0, owner ? owner->m_hWnd : nullptr, rect);
}
