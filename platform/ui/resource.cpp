#include "resource.h"
#include "strtable.h"
#include "uiimpl_p.h"
#include "wnd.h"
#include <QImage>
#include <map>
#include <mutex>

namespace qv::ui {
namespace {

template <class T>
struct Store {
    std::mutex lock;
    std::map<HINSTANCE, std::map<UINT, T>> byModule;

    void Put(HINSTANCE module, UINT id, T value) {
        std::lock_guard g(lock);
        byModule[module][id] = std::move(value);
    }
    // The current resource module first, then the others.
    const T* Get(UINT id) {
        std::lock_guard g(lock);
        const HINSTANCE current = AfxGetResourceHandle();
        auto m = byModule.find(current);
        if (m != byModule.end()) {
            auto it = m->second.find(id);
            if (it != m->second.end()) return &it->second;
        }
        for (auto& [module, items] : byModule) {
            auto it = items.find(id);
            if (it != items.end()) return &it->second;
        }
        return nullptr;
    }
};

Store<DialogTemplate>& Dialogs() {
    static auto* s = new Store<DialogTemplate>;
    return *s;
}
Store<std::vector<MenuTemplateItem>>& Menus() {
    static auto* s = new Store<std::vector<MenuTemplateItem>>;
    return *s;
}
Store<QImage>& Bitmaps() {
    static auto* s = new Store<QImage>;
    return *s;
}
Store<std::vector<ACCEL>>& Accels() {
    static auto* s = new Store<std::vector<ACCEL>>;
    return *s;
}

DialogItem Item(LPCWSTR cls, LPCWSTR text, UINT id, short x, short y, short cx, short cy, DWORD style) {
    DialogItem i;
    i.id = id;
    i.className = cls;
    i.text = text ? text : L"";
    i.x = x, i.y = y, i.cx = cx, i.cy = cy;
    i.style = WS_CHILD | WS_VISIBLE | style;
    return i;
}

}  // namespace

void RegisterDialogTemplate(HINSTANCE module, DialogTemplate dialog) {
    const UINT id = dialog.id;
    Dialogs().Put(module, id, std::move(dialog));
}

const DialogTemplate* FindDialogTemplate(UINT id) { return Dialogs().Get(id); }

DialogItem LText(LPCWSTR text, UINT id, short x, short y, short cx, short cy, DWORD style) {
    return Item(L"Static", text, id, x, y, cx, cy, SS_LEFT | WS_GROUP | style);
}
DialogItem CText(LPCWSTR text, UINT id, short x, short y, short cx, short cy, DWORD style) {
    return Item(L"Static", text, id, x, y, cx, cy, SS_CENTER | WS_GROUP | style);
}
DialogItem RText(LPCWSTR text, UINT id, short x, short y, short cx, short cy, DWORD style) {
    return Item(L"Static", text, id, x, y, cx, cy, SS_RIGHT | WS_GROUP | style);
}
DialogItem PushButton(LPCWSTR text, UINT id, short x, short y, short cx, short cy, DWORD style) {
    return Item(L"Button", text, id, x, y, cx, cy, BS_PUSHBUTTON | WS_TABSTOP | style);
}
DialogItem DefPushButton(LPCWSTR text, UINT id, short x, short y, short cx, short cy, DWORD style) {
    return Item(L"Button", text, id, x, y, cx, cy, BS_DEFPUSHBUTTON | WS_TABSTOP | style);
}
DialogItem CheckBox(LPCWSTR text, UINT id, short x, short y, short cx, short cy, DWORD style) {
    return Item(L"Button", text, id, x, y, cx, cy, BS_CHECKBOX | WS_TABSTOP | style);
}
DialogItem AutoCheckBox(LPCWSTR text, UINT id, short x, short y, short cx, short cy, DWORD style) {
    return Item(L"Button", text, id, x, y, cx, cy, BS_AUTOCHECKBOX | WS_TABSTOP | style);
}
DialogItem RadioButton(LPCWSTR text, UINT id, short x, short y, short cx, short cy, DWORD style) {
    return Item(L"Button", text, id, x, y, cx, cy, BS_RADIOBUTTON | style);
}
DialogItem AutoRadioButton(LPCWSTR text, UINT id, short x, short y, short cx, short cy, DWORD style) {
    return Item(L"Button", text, id, x, y, cx, cy, BS_AUTORADIOBUTTON | style);
}
DialogItem GroupBox(LPCWSTR text, UINT id, short x, short y, short cx, short cy, DWORD style) {
    return Item(L"Button", text, id, x, y, cx, cy, BS_GROUPBOX | style);
}
DialogItem EditText(UINT id, short x, short y, short cx, short cy, DWORD style) {
    return Item(L"Edit", L"", id, x, y, cx, cy, ES_LEFT | WS_BORDER | WS_TABSTOP | style);
}
DialogItem ComboBox(UINT id, short x, short y, short cx, short cy, DWORD style) {
    return Item(L"ComboBox", L"", id, x, y, cx, cy, WS_TABSTOP | style);
}
DialogItem ListBox(UINT id, short x, short y, short cx, short cy, DWORD style) {
    return Item(L"ListBox", L"", id, x, y, cx, cy, LBS_NOTIFY | WS_BORDER | WS_TABSTOP | style);
}
DialogItem Control(LPCWSTR text, UINT id, LPCWSTR className, DWORD style, short x, short y, short cx, short cy,
                   DWORD exStyle) {
    DialogItem i;
    i.id = id;
    i.className = className ? className : L"";
    i.text = text ? text : L"";
    i.x = x, i.y = y, i.cx = cx, i.cy = cy;
    // Shown like every other control of a template (it is on the screen with its dialog anyway),
    // so that it takes its place in the tab order and may get the dialog's first focus.
    i.style = WS_CHILD | WS_VISIBLE | style;
    i.exStyle = exStyle;
    return i;
}

void RegisterMenu(HINSTANCE module, UINT id, std::vector<MenuTemplateItem> items) {
    Menus().Put(module, id, std::move(items));
}

bool FindMenuTemplate(UINT id, std::vector<MenuTemplateItem>& out) {
    const auto* m = Menus().Get(id);
    if (!m) return false;
    out = *m;
    return true;
}

void RegisterBitmap(HINSTANCE module, UINT id, const QImage& image) { Bitmaps().Put(module, id, image); }

bool FindBitmap(UINT id, QImage& out) {
    const QImage* image = Bitmaps().Get(id);
    if (!image) return false;
    out = *image;
    return true;
}

void RegisterAccelerators(HINSTANCE module, UINT id, std::vector<ACCEL> entries) {
    Accels().Put(module, id, std::move(entries));
}

namespace detail {
bool LoadBitmapImage(UINT id, QImage& out) { return FindBitmap(id, out); }
}  // namespace detail

}  // namespace qv::ui

HBITMAP LoadBitmapW(HINSTANCE, LPCWSTR name) {
    if (!IS_INTRESOURCE(name)) return nullptr;
    QImage image;
    if (!qv::ui::FindBitmap(UINT(reinterpret_cast<std::uintptr_t>(name)), image)) return nullptr;
    return qv::ui::detail::NewBitmap(image);
}

HACCEL LoadAcceleratorsW(HINSTANCE, LPCWSTR name) {
    if (!IS_INTRESOURCE(name)) return nullptr;
    const auto* entries = qv::ui::Accels().Get(UINT(reinterpret_cast<std::uintptr_t>(name)));
    if (!entries || entries->empty()) return nullptr;
    std::vector<ACCEL> copy = *entries;
    return CreateAcceleratorTableW(copy.data(), int(copy.size()));
}
