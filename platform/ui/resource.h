#pragma once
// Resources as data: dialog templates, menus, bitmaps and accelerator tables, registered by the
// library that owns them under its module handle (as string tables are). A lookup tries the
// current resource module first and then every other registered module.
#include "winmsg.h"
#include "wintypes.h"
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QImage;

#define MAKEINTRESOURCEW(i) (reinterpret_cast<LPCWSTR>(static_cast<std::uintptr_t>(static_cast<WORD>(i))))
#define MAKEINTRESOURCE(i) MAKEINTRESOURCEW(i)
#define IS_INTRESOURCE(p) ((reinterpret_cast<std::uintptr_t>(p) >> 16) == 0)

namespace qv::ui {

// One control of a dialog: position and size in dialog units.
struct DialogItem {
    UINT id = 0;
    std::wstring className;  // "Button", "Edit", "Static", "ComboBox", "ListBox", "SysListView32" ...
    std::wstring text;
    short x = 0;
    short y = 0;
    short cx = 0;
    short cy = 0;
    DWORD style = 0;  // WS_CHILD is implied
    DWORD exStyle = 0;
};

struct DialogTemplate {
    UINT id = 0;
    std::wstring caption;
    short x = 0;
    short y = 0;
    short cx = 0;
    short cy = 0;
    DWORD style = 0;
    DWORD exStyle = 0;
    std::wstring fontFace = L"MS Shell Dlg";
    WORD pointSize = 8;
    std::vector<DialogItem> items;
};

void RegisterDialogTemplate(HINSTANCE module, DialogTemplate dialog);
// Null when no module has a template with this id.
const DialogTemplate* FindDialogTemplate(UINT id);

// The statements of a dialog script, for writing templates briefly.
DialogItem LText(LPCWSTR text, UINT id, short x, short y, short cx, short cy, DWORD style = 0);
DialogItem CText(LPCWSTR text, UINT id, short x, short y, short cx, short cy, DWORD style = 0);
DialogItem RText(LPCWSTR text, UINT id, short x, short y, short cx, short cy, DWORD style = 0);
DialogItem PushButton(LPCWSTR text, UINT id, short x, short y, short cx, short cy, DWORD style = 0);
DialogItem DefPushButton(LPCWSTR text, UINT id, short x, short y, short cx, short cy, DWORD style = 0);
DialogItem CheckBox(LPCWSTR text, UINT id, short x, short y, short cx, short cy, DWORD style = 0);
DialogItem AutoCheckBox(LPCWSTR text, UINT id, short x, short y, short cx, short cy, DWORD style = 0);
DialogItem RadioButton(LPCWSTR text, UINT id, short x, short y, short cx, short cy, DWORD style = 0);
DialogItem AutoRadioButton(LPCWSTR text, UINT id, short x, short y, short cx, short cy, DWORD style = 0);
DialogItem GroupBox(LPCWSTR text, UINT id, short x, short y, short cx, short cy, DWORD style = 0);
DialogItem EditText(UINT id, short x, short y, short cx, short cy, DWORD style = 0);
DialogItem ComboBox(UINT id, short x, short y, short cx, short cy, DWORD style = 0);
DialogItem ListBox(UINT id, short x, short y, short cx, short cy, DWORD style = 0);
DialogItem Control(LPCWSTR text, UINT id, LPCWSTR className, DWORD style, short x, short y, short cx, short cy,
                   DWORD exStyle = 0);

// Menus: a popup has children; a separator has the flag MF_SEPARATOR.
struct MenuTemplateItem {
    UINT id = 0;
    std::wstring text;
    UINT flags = 0;
    std::vector<MenuTemplateItem> popup;
};
void RegisterMenu(HINSTANCE module, UINT id, std::vector<MenuTemplateItem> items);
bool FindMenuTemplate(UINT id, std::vector<MenuTemplateItem>& out);

// Bitmaps: our own images, drawn in code or built from a file we own.
void RegisterBitmap(HINSTANCE module, UINT id, const QImage& image);
bool FindBitmap(UINT id, QImage& out);

void RegisterAccelerators(HINSTANCE module, UINT id, std::vector<ACCEL> entries);

}  // namespace qv::ui

HMENU LoadMenuW(HINSTANCE module, LPCWSTR name);
inline HMENU LoadMenu(HINSTANCE module, LPCWSTR name) { return LoadMenuW(module, name); }
HBITMAP LoadBitmapW(HINSTANCE module, LPCWSTR name);
inline HBITMAP LoadBitmap(HINSTANCE module, LPCWSTR name) { return LoadBitmapW(module, name); }
HACCEL LoadAcceleratorsW(HINSTANCE module, LPCWSTR name);
inline HACCEL LoadAccelerators(HINSTANCE module, LPCWSTR name) { return LoadAcceleratorsW(module, name); }
