#include "qvimageview.h"
#include "qtwidget.h"
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPointer>
#include <cstdarg>
#include <mutex>

struct CQvImageViewCtrl::Picture {
    QImage image;
    QPointer<QLabel> label;
};

IMPLEMENT_DYNAMIC(CQvImageViewCtrl, CWnd)

BEGIN_MESSAGE_MAP(CQvImageViewCtrl, CWnd)
    ON_WM_SIZE()
END_MESSAGE_MAP()

namespace {

QColor ToColor(COLORREF c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }

// The bytes of a byte array (or of a variant referring to one).
QByteArray BytesOf(const VARIANT& v) {
    const VARIANT* p = &v;
    if (p->vt == (VT_VARIANT | VT_BYREF) && p->pvarVal) p = p->pvarVal;
    if (p->vt != (VT_ARRAY | VT_UI1) || !p->parray) return {};
    LONG lo = 0, hi = -1;
    SafeArrayGetLBound(p->parray, 1, &lo);
    SafeArrayGetUBound(p->parray, 1, &hi);
    void* data = nullptr;
    if (hi < lo || FAILED(SafeArrayAccessData(p->parray, &data))) return {};
    QByteArray bytes(static_cast<const char*>(data), qsizetype(hi - lo + 1));
    SafeArrayUnaccessData(p->parray);
    return bytes;
}

}  // namespace

CQvImageViewCtrl::CQvImageViewCtrl() : m_backColor(GetSysColor(COLOR_BTNFACE)), m_picture(new Picture) {}

CQvImageViewCtrl::~CQvImageViewCtrl() {
    if (m_hWnd) DestroyWindow();
    delete m_picture;
}

void CQvImageViewCtrl::RegisterClass() {
    static std::once_flag once;
    std::call_once(once, [] { qv::ui::RegisterPlainWindowClass(QVIMAGEVIEW_CLASSNAME); });
}

BOOL CQvImageViewCtrl::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
    RegisterClass();
    if (!CWnd::Create(QVIMAGEVIEW_CLASSNAME, L"", style | WS_CHILD, rect, parent, id)) return FALSE;
    Attach();
    return TRUE;
}

void CQvImageViewCtrl::PreSubclassWindow() {
    CWnd::PreSubclassWindow();
    Attach();
}

// The picture is shown by a label filling the window.
void CQvImageViewCtrl::Attach() {
    QWidget* w = qv::ui::WidgetOf(m_hWnd);
    if (!w || m_picture->label) return;
    auto* label = new QLabel(w);
    label->setAlignment(Qt::AlignCenter);
    label->setAutoFillBackground(true);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    label->setGeometry(w->rect());
    label->show();
    m_picture->label = label;
    Show();
}

void CQvImageViewCtrl::OnSize(UINT type, int cx, int cy) {
    CWnd::OnSize(type, cx, cy);
    if (m_picture->label) m_picture->label->setGeometry(0, 0, cx, cy);
    Show();
}

void CQvImageViewCtrl::Show() {
    QLabel* label = m_picture->label;
    if (!label) return;
    QPalette pal = label->palette();
    pal.setColor(QPalette::Window, ToColor(m_backColor));
    label->setPalette(pal);
    if (m_picture->image.isNull() || label->width() <= 0 || label->height() <= 0) {
        label->setPixmap(QPixmap());
        return;
    }
    QImage shown = m_picture->image;
    if (shown.width() > label->width() || shown.height() > label->height())
        shown = shown.scaled(label->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation);
    label->setPixmap(QPixmap::fromImage(shown));
}

void CQvImageViewCtrl::SetBackColor(COLORREF color) {
    m_backColor = color;
    qv::ui::RunOnGuiThread([this] { Show(); });
}

BOOL CQvImageViewCtrl::SetPicture(const VARIANT& bytes) {
    QImage image;
    const QByteArray data = BytesOf(bytes);
    if (!data.isEmpty()) image.loadFromData(data);
    const bool ok = !image.isNull();
    qv::ui::RunOnGuiThread([&] {
        if (ok) m_bytes = bytes;
        else m_bytes.Clear();
        m_picture->image = image;
        Show();
    });
    return ok;
}

BOOL CQvImageViewCtrl::HasPicture() const { return !m_picture->image.isNull(); }

void CQvImageViewCtrl::SetProperty(DISPID id, VARTYPE vt, ...) {
    va_list args;
    va_start(args, vt);
    if (id == DISPID_BACKCOLOR && (vt == VT_UI4 || vt == VT_I4)) {
        SetBackColor(COLORREF(va_arg(args, unsigned int)));
    } else if (id == QVIMAGEVIEW_DISPID_PICTURE && vt == VT_VARIANT) {
        const VARIANT* v = va_arg(args, const VARIANT*);
        COleVariant none;
        SetPicture(v ? *v : static_cast<const VARIANT&>(none));
    }
    va_end(args);
}

void CQvImageViewCtrl::GetProperty(DISPID id, VARTYPE vt, void* out) const {
    if (!out) return;
    if (id == DISPID_BACKCOLOR && (vt == VT_UI4 || vt == VT_I4)) *static_cast<DWORD*>(out) = m_backColor;
    else if (id == QVIMAGEVIEW_DISPID_PICTURE && vt == VT_VARIANT) VariantCopy(static_cast<VARIANT*>(out), &m_bytes);
}
