#include "dragdrop.h"
#include "qvcom.h"
#include <QApplication>
#include <QPointer>
#include <atomic>
#include <functional>
#include <memory>
#include "uiimpl_p.h"
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <cstring>
#include <map>
#include <mutex>

using namespace qv::ui::detail;

namespace {

struct Global {
    std::vector<unsigned char> bytes;
    int locks = 0;
};
std::mutex g_globalLock;
std::map<HGLOBAL, std::unique_ptr<Global>> g_globals;
std::uintptr_t g_nextGlobal = 0x90000;

Global* G(HGLOBAL h) {
    auto it = g_globals.find(h);
    return it == g_globals.end() ? nullptr : it->second.get();
}

}  // namespace

HGLOBAL GlobalAlloc(UINT, std::size_t bytes) {
    std::lock_guard g(g_globalLock);
    g_nextGlobal += 4;
    const auto h = reinterpret_cast<HGLOBAL>(g_nextGlobal);
    auto m = std::make_unique<Global>();
    m->bytes.assign(bytes, 0);
    g_globals[h] = std::move(m);
    return h;
}

HGLOBAL GlobalReAlloc(HGLOBAL memory, std::size_t bytes, UINT) {
    std::lock_guard g(g_globalLock);
    Global* m = G(memory);
    if (!m || m->locks > 0) return nullptr;
    m->bytes.resize(bytes, 0);
    return memory;
}

LPVOID GlobalLock(HGLOBAL memory) {
    std::lock_guard g(g_globalLock);
    Global* m = G(memory);
    if (!m) return nullptr;
    ++m->locks;
    return m->bytes.empty() ? static_cast<LPVOID>(m) : m->bytes.data();
}

BOOL GlobalUnlock(HGLOBAL memory) {
    std::lock_guard g(g_globalLock);
    Global* m = G(memory);
    if (!m || m->locks == 0) return FALSE;
    --m->locks;
    return m->locks > 0;
}

HGLOBAL GlobalFree(HGLOBAL memory) {
    std::lock_guard g(g_globalLock);
    return g_globals.erase(memory) ? nullptr : memory;
}

std::size_t GlobalSize(HGLOBAL memory) {
    std::lock_guard g(g_globalLock);
    Global* m = G(memory);
    return m ? m->bytes.size() : 0;
}

UINT RegisterClipboardFormatW(LPCWSTR name) {
    // Clipboard formats and window messages share the range of registered names.
    return RegisterWindowMessageW(name);
}

namespace {
CLIPFORMAT FileNameFormat() { return CLIPFORMAT(RegisterClipboardFormatW(L"FileNameW")); }
}  // namespace

std::vector<std::wstring> COleDataObject::Files() const {
    std::vector<std::wstring> out;
    if (!data_) return out;
    for (const QUrl& url : data_->urls())
        if (url.isLocalFile()) out.push_back(FromQt(url.toLocalFile()));
    return out;
}

BOOL COleDataObject::IsDataAvailable(CLIPFORMAT format, void*) const {
    if (!data_) return FALSE;
    if (format == FileNameFormat() || format == CF_HDROP) return !Files().empty();
    if (format == CF_UNICODETEXT || format == CF_TEXT) return data_->hasText() || !Files().empty();
    return FALSE;
}

HGLOBAL COleDataObject::GetGlobalData(CLIPFORMAT format, void*) const {
    if (!IsDataAvailable(format)) return nullptr;
    std::wstring text;
    if (format == FileNameFormat() || format == CF_HDROP) text = Files().front();
    else text = data_->hasText() ? FromQt(data_->text()) : Files().front();
    const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    const HGLOBAL h = GlobalAlloc(GHND, bytes);
    auto* p = static_cast<wchar_t*>(GlobalLock(h));
    std::memcpy(p, text.c_str(), bytes);
    GlobalUnlock(h);
    return h;
}

namespace {

DWORD KeyState(Qt::KeyboardModifiers mods, Qt::MouseButtons buttons) {
    return ((mods & Qt::ShiftModifier) ? MK_SHIFT : 0u) | ((mods & Qt::ControlModifier) ? MK_CONTROL : 0u) |
           ((buttons & Qt::LeftButton) ? MK_LBUTTON : 0u) | ((buttons & Qt::RightButton) ? MK_RBUTTON : 0u);
}

Qt::DropAction ActionOf(DROPEFFECT e) {
    if (e & DROPEFFECT_MOVE) return Qt::MoveAction;
    if (e & DROPEFFECT_COPY) return Qt::CopyAction;
    if (e & DROPEFFECT_LINK) return Qt::LinkAction;
    return Qt::IgnoreAction;
}

// A registration: made and revoked from any thread, installed and removed on the GUI thread.
struct Registration {
    std::atomic<COleDropTarget*> target{nullptr};
    HWND wnd = nullptr;
    QPointer<QObject> filter;  // GUI thread only; goes with the window's widget
};

class DropFilter : public QObject {
public:
    explicit DropFilter(Registration* r) : reg(r) {}
    Registration* reg;
    bool eventFilter(QObject* o, QEvent* e) override {
        COleDropTarget* target = reg->target.load();
        if (!target) return false;
        const HWND h = reg->wnd;
        CWnd* wnd = CWnd::FromHandle(h);
        if (!wnd || WidgetOf(h) != o) return false;
        switch (e->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* d = static_cast<QDragMoveEvent*>(e);
            COleDataObject data(d->mimeData());
            const QPoint p = d->position().toPoint();
            const DWORD keys = KeyState(d->modifiers(), d->buttons());
            const DROPEFFECT effect = e->type() == QEvent::DragEnter
                                          ? target->OnDragEnter(wnd, &data, keys, CPoint(p.x(), p.y()))
                                          : target->OnDragOver(wnd, &data, keys, CPoint(p.x(), p.y()));
            if (effect == DROPEFFECT_NONE) {
                d->ignore();
            } else {
                d->setDropAction(ActionOf(effect));
                d->accept();
            }
            // Entering asks once more, so that a target that refuses on entering may still accept the
            // drag as it moves (and the toolkit keeps sending moves).
            if (e->type() == QEvent::DragEnter) d->accept();
            return true;
        }
        case QEvent::DragLeave:
            target->OnDragLeave(wnd);
            return true;
        case QEvent::Drop: {
            auto* d = static_cast<QDropEvent*>(e);
            COleDataObject data(d->mimeData());
            const QPoint p = d->position().toPoint();
            const DROPEFFECT effect = target->OnDragOver(wnd, &data, KeyState(d->modifiers(), d->buttons()), CPoint(p.x(), p.y()));
            if (effect == DROPEFFECT_NONE) {
                target->OnDragLeave(wnd);
                d->ignore();
                return true;
            }
            if (target->OnDrop(wnd, &data, effect, CPoint(p.x(), p.y()))) {
                d->setDropAction(ActionOf(effect));
                d->accept();
            } else {
                d->ignore();
            }
            return true;
        }
        default:
            return false;
        }
    }
};

}  // namespace

HRESULT OleInitialize(LPVOID reserved) { return CoInitialize(reserved); }
void OleUninitialize() { CoUninitialize(); }

COleDropTarget::~COleDropTarget() { Revoke(); }

namespace {

// Drops arrive on the GUI thread, where the window's widget lives; a user-interface thread's
// registration is handed over to it (without waiting, so that a GUI thread waiting for that
// thread cannot block it).
void OnGuiThread(std::function<void()> fn) {
    if (qv::ui::IsGuiThread()) fn();
    else QMetaObject::invokeMethod(qApp, std::move(fn), Qt::QueuedConnection);
}

}  // namespace

BOOL COleDropTarget::Register(CWnd* wnd) {
    if (!wnd || !::IsWindow(wnd->m_hWnd) || wnd_) return FALSE;
    wnd_ = wnd->m_hWnd;
    auto* reg = new Registration;
    reg->target = this;
    reg->wnd = wnd_;
    filter_ = reg;
    OnGuiThread([reg] {
        QWidget* w = WidgetOf(reg->wnd);
        if (!reg->target.load() || !w) return;
        auto* f = new DropFilter(reg);
        f->setParent(w);
        w->installEventFilter(f);
        w->setAcceptDrops(true);
        // Statics let the mouse through to their parent; a drop target needs it.
        w->setAttribute(Qt::WA_TransparentForMouseEvents, false);
        reg->filter = f;
    });
    return TRUE;
}

void COleDropTarget::Revoke() {
    if (!wnd_) return;
    auto* reg = static_cast<Registration*>(filter_);
    filter_ = nullptr;
    wnd_ = nullptr;
    if (!reg) return;
    // From now on no drag reaches this object, whichever thread revoked it.
    reg->target = nullptr;
    // The registration goes with the call, also when the GUI thread's loop has ended before it ran
    // (a user-interface thread ending as the program closes).
    OnGuiThread([owned = std::shared_ptr<Registration>(reg)] {
        if (owned->filter) {
            if (QWidget* w = WidgetOf(owned->wnd)) {
                w->setAcceptDrops(false);
                w->removeEventFilter(owned->filter);
            }
            delete owned->filter.data();
        }
    });
}

DROPEFFECT COleDropTarget::OnDragEnter(CWnd*, COleDataObject*, DWORD, CPoint) { return DROPEFFECT_NONE; }
DROPEFFECT COleDropTarget::OnDragOver(CWnd*, COleDataObject*, DWORD, CPoint) { return DROPEFFECT_NONE; }
void COleDropTarget::OnDragLeave(CWnd*) {}
BOOL COleDropTarget::OnDrop(CWnd*, COleDataObject*, DROPEFFECT, CPoint) { return FALSE; }
