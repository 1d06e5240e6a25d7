#pragma once
// Menus behind HMENU handles: popup menus built in code or loaded from menu resources, shown with
// TrackPopupMenu (the owner gets WM_INITMENUPOPUP, WM_MENUSELECT while the user moves over the
// items, and the chosen command).
#include "resource.h"
#include "wnd.h"
#include <functional>

#define MF_STRING 0x0000u
#define MF_ENABLED 0x0000u
#define MF_UNCHECKED 0x0000u
#define MF_BYCOMMAND 0x0000u
#define MF_GRAYED 0x0001u
#define MF_DISABLED 0x0002u
#define MF_BITMAP 0x0004u
#define MF_CHECKED 0x0008u
#define MF_POPUP 0x0010u
#define MF_MENUBARBREAK 0x0020u
#define MF_MENUBREAK 0x0040u
#define MF_HILITE 0x0080u
#define MF_OWNERDRAW 0x0100u
#define MF_BYPOSITION 0x0400u
#define MF_SEPARATOR 0x0800u
#define MF_DEFAULT 0x1000u
#define MF_SYSMENU 0x2000u
#define MF_MOUSESELECT 0x8000u

#define TPM_LEFTBUTTON 0x0000u
#define TPM_RIGHTBUTTON 0x0002u
#define TPM_LEFTALIGN 0x0000u
#define TPM_CENTERALIGN 0x0004u
#define TPM_RIGHTALIGN 0x0008u
#define TPM_TOPALIGN 0x0000u
#define TPM_VCENTERALIGN 0x0010u
#define TPM_BOTTOMALIGN 0x0020u
#define TPM_NONOTIFY 0x0080u
#define TPM_RETURNCMD 0x0100u

HMENU CreateMenu();
HMENU CreatePopupMenu();
BOOL DestroyMenu(HMENU menu);
BOOL IsMenu(HMENU menu);
// id is the command id, or the HMENU of a submenu with MF_POPUP.
BOOL AppendMenuW(HMENU menu, UINT flags, UINT_PTR id, LPCWSTR text);
BOOL InsertMenuW(HMENU menu, UINT position, UINT flags, UINT_PTR id, LPCWSTR text);
BOOL ModifyMenuW(HMENU menu, UINT position, UINT flags, UINT_PTR id, LPCWSTR text);
// Removes the item; a submenu is kept (RemoveMenu) or destroyed (DeleteMenu).
BOOL RemoveMenu(HMENU menu, UINT position, UINT flags);
BOOL DeleteMenu(HMENU menu, UINT position, UINT flags);
// The previous state (MF_GRAYED / MF_DISABLED bits), or (UINT)-1 when there is no such item.
UINT EnableMenuItem(HMENU menu, UINT item, UINT flags);
DWORD CheckMenuItem(HMENU menu, UINT item, UINT flags);
int GetMenuItemCount(HMENU menu);
// 0 for a separator, (UINT)-1 for a submenu.
UINT GetMenuItemID(HMENU menu, int position);
HMENU GetSubMenu(HMENU menu, int position);
UINT GetMenuState(HMENU menu, UINT item, UINT flags);
int GetMenuStringW(HMENU menu, UINT item, LPWSTR buffer, int max, UINT flags);
BOOL SetMenuItemBitmaps(HMENU menu, UINT position, UINT flags, HBITMAP unchecked, HBITMAP checked);
// With TPM_RETURNCMD the chosen command (0: none); otherwise the owner is sent WM_COMMAND with it.
BOOL TrackPopupMenu(HMENU menu, UINT flags, int x, int y, int reserved, HWND owner, const RECT* notUsed);
// The screen rectangle of an item of a menu that is open.
BOOL GetMenuItemRect(HWND wnd, HMENU menu, UINT position, LPRECT rect);
inline BOOL AppendMenu(HMENU m, UINT f, UINT_PTR id, LPCWSTR t) { return AppendMenuW(m, f, id, t); }
inline BOOL InsertMenu(HMENU m, UINT p, UINT f, UINT_PTR id, LPCWSTR t) { return InsertMenuW(m, p, f, id, t); }

class CMenu {
public:
    CMenu() = default;
    virtual ~CMenu();
    CMenu(const CMenu&) = delete;
    CMenu& operator=(const CMenu&) = delete;

    BOOL CreateMenu();
    BOOL CreatePopupMenu();
    BOOL LoadMenu(UINT id);
    BOOL DestroyMenu();
    BOOL Attach(HMENU menu);
    HMENU Detach();
    static CMenu* FromHandle(HMENU menu);
    HMENU GetSafeHmenu() const { return qv::Opaque(this) ? m_hMenu : nullptr; }
    operator HMENU() const { return m_hMenu; }

    BOOL AppendMenu(UINT flags, UINT_PTR id = 0, LPCWSTR text = nullptr);
    // A bitmap item shows the bitmap beside its text.
    BOOL AppendMenu(UINT flags, UINT_PTR id, const CBitmap* bitmap);
    BOOL InsertMenu(UINT position, UINT flags, UINT_PTR id = 0, LPCWSTR text = nullptr);
    BOOL ModifyMenu(UINT position, UINT flags, UINT_PTR id = 0, LPCWSTR text = nullptr);
    BOOL RemoveMenu(UINT position, UINT flags);
    BOOL DeleteMenu(UINT position, UINT flags);
    UINT EnableMenuItem(UINT item, UINT flags);
    UINT CheckMenuItem(UINT item, UINT flags);
    int GetMenuItemCount() const;
    UINT GetMenuItemID(int position) const;
    UINT GetMenuState(UINT item, UINT flags) const;
    int GetMenuString(UINT item, CString& text, UINT flags) const;
    CMenu* GetSubMenu(int position) const;
    BOOL SetMenuItemBitmaps(UINT position, UINT flags, const CBitmap* unchecked, const CBitmap* checked);
    BOOL TrackPopupMenu(UINT flags, int x, int y, CWnd* owner, LPCRECT rect = nullptr);

    HMENU m_hMenu = nullptr;
};

namespace qv::ui {
// Replaces the interactive choice of TrackPopupMenu (tests): the hook gets the menu and returns
// the command (0: dismissed). Pass an empty function to restore the real menu.
using PopupMenuHook = std::function<UINT(HMENU menu, HWND owner)>;
void SetPopupMenuHook(PopupMenuHook hook);
}  // namespace qv::ui
