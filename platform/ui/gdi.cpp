// Drawing objects behind numbered handles and the device context on Qt's painter.
#include "gdi.h"
#include "uiimpl_p.h"
#include <QApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QScreen>
#include <QStyle>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <mutex>
#include <unordered_map>
#include <variant>
#include <vector>

using namespace qv::ui::detail;

// ---- conversions

namespace qv::ui::detail {

QString ToQt(const std::wstring& s) { return QString::fromStdWString(s); }
QString ToQt(LPCWSTR s) { return s ? QString::fromWCharArray(s) : QString(); }
std::wstring FromQt(const QString& s) { return s.toStdWString(); }
QColor ToQColor(COLORREF c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }
COLORREF FromQColor(const QColor& c) { return RGB(c.red(), c.green(), c.blue()); }
QRect ToQRect(const RECT& r) { return QRect(QPoint(r.left, r.top), QSize(r.right - r.left, r.bottom - r.top)); }
RECT FromQRect(const QRect& r) { return RECT{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()}; }

QString StripMnemonic(const QString& s) {
    QString out;
    out.reserve(s.size());
    for (int i = 0; i < s.size(); ++i) {
        if (s[i] == QLatin1Char('&')) {
            if (i + 1 < s.size() && s[i + 1] == QLatin1Char('&')) {
                out += QLatin1Char('&');
                ++i;
            }
            continue;
        }
        out += s[i];
    }
    return out;
}

int LogicalDpi() {
    if (QScreen* s = QGuiApplication::primaryScreen()) return int(std::lround(s->logicalDotsPerInchY()));
    return 96;
}

}  // namespace qv::ui::detail

void CRect::NormalizeRect() {
    if (left > right) std::swap(left, right);
    if (top > bottom) std::swap(top, bottom);
}

int MulDiv(int number, int numerator, int denominator) {
    if (denominator == 0) return -1;
    const long long p = static_cast<long long>(number) * numerator;
    long long q = p / denominator;
    const long long rem = p % denominator;
    // Rounds half away from zero.
    if (2 * std::llabs(rem) >= std::llabs(static_cast<long long>(denominator))) q += ((p < 0) != (denominator < 0)) ? -1 : 1;
    return int(q);
}

// ---- system colours and metrics

COLORREF GetSysColor(int index) {
    switch (index) {
    case COLOR_SCROLLBAR: return RGB(200, 200, 200);
    case COLOR_BACKGROUND: return RGB(58, 110, 165);
    case COLOR_ACTIVECAPTION: return RGB(153, 180, 209);
    case COLOR_MENU: return RGB(240, 240, 240);
    case COLOR_WINDOW: return RGB(255, 255, 255);
    case COLOR_WINDOWFRAME: return RGB(100, 100, 100);
    case COLOR_MENUTEXT: return RGB(0, 0, 0);
    case COLOR_WINDOWTEXT: return RGB(0, 0, 0);
    case COLOR_CAPTIONTEXT: return RGB(0, 0, 0);
    case COLOR_HIGHLIGHT: return RGB(0, 120, 215);
    case COLOR_HIGHLIGHTTEXT: return RGB(255, 255, 255);
    case COLOR_BTNFACE: return RGB(240, 240, 240);
    case COLOR_BTNSHADOW: return RGB(160, 160, 160);
    case COLOR_GRAYTEXT: return RGB(109, 109, 109);
    case COLOR_BTNTEXT: return RGB(0, 0, 0);
    case COLOR_BTNHIGHLIGHT: return RGB(255, 255, 255);
    case COLOR_3DDKSHADOW: return RGB(105, 105, 105);
    case COLOR_3DLIGHT: return RGB(227, 227, 227);
    case COLOR_INFOTEXT: return RGB(0, 0, 0);
    case COLOR_INFOBK: return RGB(255, 255, 225);
    case COLOR_HOTLIGHT: return RGB(0, 102, 204);
    default: return RGB(240, 240, 240);
    }
}

AFX_GLOBAL_DATA* GetGlobalData() {
    static AFX_GLOBAL_DATA data = {GetSysColor(COLOR_BTNFACE),   GetSysColor(COLOR_BTNSHADOW),
                                   GetSysColor(COLOR_BTNHIGHLIGHT), GetSysColor(COLOR_BTNTEXT),
                                   GetSysColor(COLOR_WINDOW),    GetSysColor(COLOR_WINDOWTEXT),
                                   GetSysColor(COLOR_HIGHLIGHT), GetSysColor(COLOR_HIGHLIGHTTEXT),
                                   GetSysColor(COLOR_GRAYTEXT)};
    return &data;
}

int GetSystemMetrics(int index) {
    qv::ui::EnsureApplication();
    QStyle* style = QApplication::style();
    QRect screen(0, 0, 1920, 1080);
    if (QScreen* s = QGuiApplication::primaryScreen()) screen = s->virtualGeometry();
    switch (index) {
    case SM_CXSCREEN:
    case SM_CXVIRTUALSCREEN: return screen.width();
    case SM_CYSCREEN:
    case SM_CYVIRTUALSCREEN: return screen.height();
    case SM_XVIRTUALSCREEN: return screen.x();
    case SM_YVIRTUALSCREEN: return screen.y();
    case SM_CXVSCROLL:
    case SM_CYHSCROLL: return style ? style->pixelMetric(QStyle::PM_ScrollBarExtent) : 17;
    case SM_CYCAPTION: return 23;
    case SM_CXBORDER:
    case SM_CYBORDER: return 1;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME: return 3;
    case SM_CXEDGE:
    case SM_CYEDGE: return 2;
    case SM_CXFRAME:
    case SM_CYFRAME: return 4;
    case SM_CXICON:
    case SM_CYICON: return 32;
    case SM_CXSMICON:
    case SM_CYSMICON: return 16;
    case SM_CYMENU: return 20;
    default: return 0;
    }
}

// ---- the handle table of drawing objects

namespace {

struct PenData {
    QPen pen;
};
struct BrushData {
    bool hollow = false;
    COLORREF color = 0;
};
struct FontData {
    QFont font;
    LOGFONTW lf;
};
struct BitmapData {
    QImage image;
    bool mono = false;
};

struct GdiObject {
    ~GdiObject() {
        if (wrapper) wrapper->m_hObject = nullptr;  // the wrapper does not own the handle
    }
    std::variant<PenData, BrushData, FontData, BitmapData> data;
    bool stock = false;
    std::unique_ptr<CGdiObject> wrapper;  // the temporary object FromHandle gives
};

std::mutex g_gdiLock;
std::unordered_map<HGDIOBJ, std::shared_ptr<GdiObject>> g_gdi;
std::uintptr_t g_nextGdi = 0x40000;

HGDIOBJ Insert(std::shared_ptr<GdiObject> o) {
    std::lock_guard g(g_gdiLock);
    g_nextGdi += 4;
    const auto h = reinterpret_cast<HGDIOBJ>(g_nextGdi);
    g_gdi[h] = std::move(o);
    return h;
}

std::shared_ptr<GdiObject> Lookup(HGDIOBJ h) {
    if (!h) return nullptr;
    std::lock_guard g(g_gdiLock);
    auto it = g_gdi.find(h);
    return it == g_gdi.end() ? nullptr : it->second;
}

template <class T>
T* As(const std::shared_ptr<GdiObject>& o) {
    return o ? std::get_if<T>(&o->data) : nullptr;
}

QString FaceFor(const QString& face) {
    // The desktop faces of the templates are drawn with the font that is installed everywhere here.
    static const char* const mapped[] = {"MS Shell Dlg", "MS Shell Dlg 2", "MS Sans Serif", "Microsoft Sans Serif",
                                         "Tahoma", "Segoe UI", "Arial", "Verdana", "System", ""};
    for (const char* m : mapped)
        if (face.compare(QLatin1String(m), Qt::CaseInsensitive) == 0) return QStringLiteral("DejaVu Sans");
    return face;
}

QFont FontFromLogFont(const LOGFONTW& lf) {
    QFont f(FaceFor(QString::fromWCharArray(lf.lfFaceName)));
    // A negative height is the character height, a positive one the cell height; both in pixels.
    int px = lf.lfHeight < 0 ? -lf.lfHeight : (lf.lfHeight > 0 ? std::max(1, lf.lfHeight * 4 / 5) : 0);
    if (px == 0) px = DefaultDialogFont().pixelSize();
    f.setPixelSize(std::max(1, px));
    if (lf.lfWeight > 0) f.setWeight(lf.lfWeight >= FW_BOLD ? QFont::Bold : (lf.lfWeight >= FW_SEMIBOLD ? QFont::DemiBold : QFont::Normal));
    f.setItalic(lf.lfItalic != 0);
    f.setUnderline(lf.lfUnderline != 0);
    f.setStrikeOut(lf.lfStrikeOut != 0);
    return f;
}

HGDIOBJ StockObject(int index) {
    static std::mutex lock;
    static std::map<int, HGDIOBJ> stock;
    std::lock_guard g(lock);
    auto it = stock.find(index);
    if (it != stock.end()) return it->second;
    auto o = std::make_shared<GdiObject>();
    o->stock = true;
    switch (index) {
    case WHITE_BRUSH: o->data = BrushData{false, RGB(255, 255, 255)}; break;
    case LTGRAY_BRUSH: o->data = BrushData{false, RGB(192, 192, 192)}; break;
    case GRAY_BRUSH: o->data = BrushData{false, RGB(128, 128, 128)}; break;
    case DKGRAY_BRUSH: o->data = BrushData{false, RGB(64, 64, 64)}; break;
    case BLACK_BRUSH: o->data = BrushData{false, RGB(0, 0, 0)}; break;
    case NULL_BRUSH: o->data = BrushData{true, 0}; break;
    case WHITE_PEN: o->data = PenData{QPen(Qt::white)}; break;
    case BLACK_PEN: o->data = PenData{QPen(Qt::black)}; break;
    case NULL_PEN: o->data = PenData{QPen(Qt::NoPen)}; break;
    case SYSTEM_FONT:
    case DEFAULT_GUI_FONT: {
        FontData fd;
        fd.font = DefaultDialogFont();
        fd.lf.lfHeight = -fd.font.pixelSize();
        fd.lf.lfWeight = FW_NORMAL;
        wcscpy(fd.lf.lfFaceName, L"MS Shell Dlg");
        o->data = fd;
        break;
    }
    default: return nullptr;
    }
    const HGDIOBJ h = Insert(o);
    stock[index] = h;
    return h;
}

}  // namespace

HGDIOBJ GetStockObject(int index) { return StockObject(index); }

namespace {
void ReleaseFromContexts(HGDIOBJ bitmap);
}

BOOL DeleteObject(HGDIOBJ object) {
    // A bitmap still selected into a context leaves it first, so that nothing paints into it.
    ReleaseFromContexts(object);
    std::shared_ptr<GdiObject> gone;
    {
        std::lock_guard g(g_gdiLock);
        auto it = g_gdi.find(object);
        if (it == g_gdi.end() || it->second->stock) return FALSE;
        gone = std::move(it->second);
        g_gdi.erase(it);
    }
    return TRUE;
}

HPEN CreatePen(int style, int width, COLORREF color) {
    QPen pen(ToQColor(color));
    pen.setWidth(std::max(0, width));
    switch (style & PS_STYLE_MASK) {
    case PS_DASH: pen.setStyle(Qt::DashLine); break;
    case PS_DOT: pen.setStyle(Qt::DotLine); break;
    case PS_ALTERNATE: pen.setDashPattern({1.0, 1.0}); break;  // every other pixel
    case PS_DASHDOT: pen.setStyle(Qt::DashDotLine); break;
    case PS_DASHDOTDOT: pen.setStyle(Qt::DashDotDotLine); break;
    case PS_NULL: pen.setStyle(Qt::NoPen); break;
    default: pen.setStyle(Qt::SolidLine); break;
    }
    auto o = std::make_shared<GdiObject>();
    o->data = PenData{pen};
    return static_cast<HPEN>(Insert(o));
}

HPEN ExtCreatePen(DWORD style, DWORD width, const LOGBRUSH* brush, DWORD, const DWORD*) {
    const COLORREF color = brush ? brush->lbColor : 0;
    // A cosmetic pen is one pixel wide whatever the width says.
    const int w = (style & PS_TYPE_MASK) == PS_COSMETIC ? 1 : int(width);
    return CreatePen(int(style & PS_STYLE_MASK), w, color);
}

HBRUSH CreateSolidBrush(COLORREF color) {
    auto o = std::make_shared<GdiObject>();
    o->data = BrushData{false, color};
    return static_cast<HBRUSH>(Insert(o));
}

HBRUSH GetSysColorBrush(int index) {
    static std::mutex lock;
    static std::map<int, HBRUSH> brushes;
    std::lock_guard g(lock);
    HBRUSH& b = brushes[index];
    if (!b) {
        auto o = std::make_shared<GdiObject>();
        o->stock = true;
        o->data = BrushData{false, GetSysColor(index)};
        b = static_cast<HBRUSH>(Insert(o));
    }
    return b;
}

HFONT CreateFontIndirectW(const LOGFONTW* lf) {
    if (!lf) return nullptr;
    auto o = std::make_shared<GdiObject>();
    FontData fd;
    fd.lf = *lf;
    fd.font = FontFromLogFont(*lf);
    o->data = fd;
    return static_cast<HFONT>(Insert(o));
}

int GetObjectW(HGDIOBJ object, int size, LPVOID out) {
    auto o = Lookup(object);
    if (!o) return 0;
    if (auto* b = As<BitmapData>(o)) {
        if (!out) return int(sizeof(BITMAP));
        if (size < int(sizeof(BITMAP))) return 0;
        BITMAP bm;
        bm.bmWidth = b->image.width();
        bm.bmHeight = b->image.height();
        bm.bmBitsPixel = b->mono ? 1 : 32;
        bm.bmWidthBytes = b->mono ? ((bm.bmWidth + 15) / 16) * 2 : bm.bmWidth * 4;
        *static_cast<BITMAP*>(out) = bm;
        return int(sizeof(BITMAP));
    }
    if (auto* f = As<FontData>(o)) {
        if (!out) return int(sizeof(LOGFONTW));
        if (size < int(sizeof(LOGFONTW))) return 0;
        *static_cast<LOGFONTW*>(out) = f->lf;
        return int(sizeof(LOGFONTW));
    }
    if (auto* b = As<BrushData>(o)) {
        if (!out) return int(sizeof(LOGBRUSH));
        if (size < int(sizeof(LOGBRUSH))) return 0;
        LOGBRUSH lb;
        lb.lbStyle = b->hollow ? BS_NULL : BS_SOLID;
        lb.lbColor = b->color;
        *static_cast<LOGBRUSH*>(out) = lb;
        return int(sizeof(LOGBRUSH));
    }
    return 0;
}

namespace qv::ui::detail {

QFont DefaultDialogFont() {
    // "MS Shell Dlg" 8 pt at 96 dots per inch is an 11-pixel font.
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(11);
    return f;
}

QFont FontOf(HFONT font) {
    if (auto* f = As<FontData>(Lookup(font))) return f->font;
    return DefaultDialogFont();
}

HFONT HandleForFont(const QFont& font) {
    auto o = std::make_shared<GdiObject>();
    FontData fd;
    fd.font = font;
    fd.lf.lfHeight = -(font.pixelSize() > 0 ? font.pixelSize() : font.pointSize() * LogicalDpi() / 72);
    fd.lf.lfWeight = font.bold() ? FW_BOLD : FW_NORMAL;
    fd.lf.lfItalic = font.italic();
    fd.lf.lfUnderline = font.underline();
    const std::wstring face = FromQt(font.family()).substr(0, LF_FACESIZE - 1);
    face.copy(fd.lf.lfFaceName, face.size());
    o->data = fd;
    return static_cast<HFONT>(Insert(o));
}

bool BrushColor(HBRUSH brush, COLORREF& color) {
    auto* b = As<BrushData>(Lookup(brush));
    if (!b || b->hollow) return false;
    color = b->color;
    return true;
}

QImage* BitmapImage(HBITMAP bitmap) {
    auto* b = As<BitmapData>(Lookup(bitmap));
    return b ? &b->image : nullptr;
}

bool BitmapIsMono(HBITMAP bitmap) {
    auto* b = As<BitmapData>(Lookup(bitmap));
    return b && b->mono;
}

HBITMAP NewBitmap(const QImage& image, bool mono) {
    auto o = std::make_shared<GdiObject>();
    o->data = BitmapData{image.convertToFormat(QImage::Format_ARGB32_Premultiplied), mono};
    return static_cast<HBITMAP>(Insert(o));
}

QSize DialogBaseUnits(const QFont& font) {
    const QFontMetrics fm(font);
    const int alphabet = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return QSize((alphabet / 26 + 1) / 2, fm.height());
}

}  // namespace qv::ui::detail

// ---- CGdiObject and its kinds

CGdiObject::~CGdiObject() { DeleteObject(); }

BOOL CGdiObject::Attach(HGDIOBJ object) {
    if (!object || m_hObject) return FALSE;
    m_hObject = object;
    return TRUE;
}

HGDIOBJ CGdiObject::Detach() {
    HGDIOBJ h = m_hObject;
    m_hObject = nullptr;
    return h;
}

BOOL CGdiObject::DeleteObject() {
    if (!m_hObject) return FALSE;
    const BOOL ok = ::DeleteObject(m_hObject);
    m_hObject = nullptr;
    return ok;
}

BOOL CPen::CreatePen(int style, int width, COLORREF color) { return Attach(::CreatePen(style, width, color)); }

BOOL CBrush::CreateSolidBrush(COLORREF color) { return Attach(::CreateSolidBrush(color)); }

BOOL CBrush::CreateSysColorBrush(int index) { return Attach(::CreateSolidBrush(GetSysColor(index))); }

namespace {
template <class T>
T* TemporaryWrapper(HGDIOBJ h) {
    auto o = Lookup(h);
    if (!o) return nullptr;
    std::lock_guard g(g_gdiLock);
    if (!o->wrapper) {
        auto w = std::make_unique<T>();
        w->m_hObject = h;
        o->wrapper = std::move(w);
    }
    return static_cast<T*>(o->wrapper.get());
}

}  // namespace

CBrush* CBrush::FromHandle(HBRUSH brush) { return TemporaryWrapper<CBrush>(brush); }
CFont* CFont::FromHandle(HFONT font) { return TemporaryWrapper<CFont>(font); }
CBitmap* CBitmap::FromHandle(HBITMAP bitmap) { return TemporaryWrapper<CBitmap>(bitmap); }

BOOL CFont::CreatePointFont(int pointSize, LPCWSTR faceName, CDC* dc) {
    LOGFONTW lf;
    lf.lfHeight = pointSize;
    lf.lfCharSet = DEFAULT_CHARSET;
    if (faceName) wcsncpy(lf.lfFaceName, faceName, LF_FACESIZE - 1);
    return CreatePointFontIndirect(&lf, dc);
}

BOOL CFont::CreatePointFontIndirect(const LOGFONTW* lf, CDC* dc) {
    if (!lf) return FALSE;
    LOGFONTW copy = *lf;
    const int dpi = dc ? dc->GetDeviceCaps(LOGPIXELSY) : qv::ui::detail::LogicalDpi();
    // Tenths of a point to a character height in pixels.
    copy.lfHeight = -std::abs(MulDiv(lf->lfHeight, dpi, 720));
    if (copy.lfFaceName[0] == 0) wcscpy(copy.lfFaceName, L"MS Shell Dlg");
    return CreateFontIndirect(&copy);
}

BOOL CFont::CreateFontIndirect(const LOGFONTW* lf) { return Attach(::CreateFontIndirectW(lf)); }

BOOL CFont::CreateFont(int height, int width, int escapement, int orientation, int weight, BYTE italic,
                       BYTE underline, BYTE strikeOut, BYTE charSet, BYTE outPrecision, BYTE clipPrecision,
                       BYTE quality, BYTE pitchAndFamily, LPCWSTR faceName) {
    LOGFONTW lf;
    lf.lfHeight = height;
    lf.lfWidth = width;
    lf.lfEscapement = escapement;
    lf.lfOrientation = orientation;
    lf.lfWeight = weight;
    lf.lfItalic = italic;
    lf.lfUnderline = underline;
    lf.lfStrikeOut = strikeOut;
    lf.lfCharSet = charSet;
    lf.lfOutPrecision = outPrecision;
    lf.lfClipPrecision = clipPrecision;
    lf.lfQuality = quality;
    lf.lfPitchAndFamily = pitchAndFamily;
    if (faceName) wcsncpy(lf.lfFaceName, faceName, LF_FACESIZE - 1);
    return CreateFontIndirect(&lf);
}

int CFont::GetLogFont(LOGFONTW* lf) const { return GetObject(sizeof(LOGFONTW), lf); }

BOOL CBitmap::LoadBitmap(UINT id) {
    QImage image;
    if (!qv::ui::detail::LoadBitmapImage(id, image)) return FALSE;
    return Attach(qv::ui::detail::NewBitmap(image));
}

BOOL CBitmap::CreateCompatibleBitmap(CDC*, int width, int height) {
    QImage image(std::max(1, width), std::max(1, height), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    return Attach(qv::ui::detail::NewBitmap(image));
}

BOOL CBitmap::CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits) {
    const bool mono = planes * bitsPerPixel == 1;
    QImage image(std::max(1, width), std::max(1, height), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    if (bits && mono) {
        // Rows of 1-bit pixels, each row padded to 16 bits; a set bit is white.
        const auto* p = static_cast<const BYTE*>(bits);
        const int stride = ((width + 15) / 16) * 2;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if (p[y * stride + x / 8] & (0x80 >> (x % 8))) image.setPixel(x, y, qRgb(255, 255, 255));
    } else if (bits && bitsPerPixel == 32) {
        // Blue, green, red and alpha per pixel; bitmaps whose alpha is zero throughout are opaque.
        const auto* p = static_cast<const BYTE*>(bits);
        bool alpha = false;
        for (int i = 0; i < width * height && !alpha; ++i) alpha = p[i * 4 + 3] != 0;
        QImage plain(std::max(1, width), std::max(1, height), QImage::Format_ARGB32);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const BYTE* px = p + (y * width + x) * 4;
                plain.setPixel(x, y, qRgba(px[2], px[1], px[0], alpha ? px[3] : 255));
            }
        image = plain.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
    return Attach(qv::ui::detail::NewBitmap(image, mono));
}

CSize CBitmap::GetBitmapDimension() const {
    BITMAP bm;
    return GetBitmap(&bm) ? CSize(bm.bmWidth, bm.bmHeight) : CSize();
}

// ---- device contexts

namespace {

struct Saved {
    HFONT font;
    HPEN pen;
    HBRUSH brush;
    COLORREF text, bk;
    int bkMode;
};

struct DcState {
    QPainter* painter = nullptr;
    std::unique_ptr<QPainter> own;
    HWND wnd = nullptr;
    HBITMAP bitmap = nullptr;
    HFONT font = nullptr;
    HPEN pen = nullptr;
    HBRUSH brush = nullptr;
    COLORREF text = RGB(0, 0, 0);
    COLORREF bk = RGB(255, 255, 255);
    bool textSet = false;
    bool bkSet = false;
    int bkMode = OPAQUE;
    int stretch = BLACKONWHITE;
    QPoint pos;
    bool memory = false;
    std::vector<Saved> saved;
    std::unique_ptr<CDC> wrapper;
};

std::mutex g_dcLock;
std::unordered_map<HDC, std::unique_ptr<DcState>> g_dcs;
std::uintptr_t g_nextDc = 0x80000;

HDC NewDc(std::unique_ptr<DcState> s) {
    std::lock_guard g(g_dcLock);
    g_nextDc += 4;
    const HDC h = reinterpret_cast<HDC>(g_nextDc);
    g_dcs[h] = std::move(s);
    return h;
}

DcState* State(HDC h) {
    if (!h) return nullptr;
    std::lock_guard g(g_dcLock);
    auto it = g_dcs.find(h);
    return it == g_dcs.end() ? nullptr : it->second.get();
}

void FreeDc(HDC h) {
    std::unique_ptr<DcState> gone;
    {
        std::lock_guard g(g_dcLock);
        auto it = g_dcs.find(h);
        if (it == g_dcs.end()) return;
        gone = std::move(it->second);
        g_dcs.erase(it);
    }
    if (gone->own) gone->own->end();
    if (gone->wrapper) gone->wrapper->m_hDC = nullptr;
}

QFont CurrentFont(const DcState& s) {
    if (s.font) return FontOf(s.font);
    if (Window* w = Find(s.wnd)) return FontOf(w->font);
    return DefaultDialogFont();
}

QPen CurrentPen(const DcState& s) {
    if (auto* p = As<PenData>(Lookup(s.pen))) return p->pen;
    return QPen(Qt::black, 0);
}

QBrush CurrentBrush(const DcState& s) {
    auto* b = As<BrushData>(Lookup(s.brush));
    if (!s.brush) return QBrush(Qt::white);
    if (!b || b->hollow) return QBrush(Qt::NoBrush);
    return QBrush(ToQColor(b->color));
}

QImage Monochrome(const QImage& src, COLORREF key) {
    // Pixels of the key colour become white, all others black.
    QImage out(src.size(), QImage::Format_ARGB32_Premultiplied);
    const QRgb k = qRgb(GetRValue(key), GetGValue(key), GetBValue(key));
    for (int y = 0; y < src.height(); ++y)
        for (int x = 0; x < src.width(); ++x)
            out.setPixel(x, y, (src.pixel(x, y) & 0xFFFFFF) == (k & 0xFFFFFF) ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    return out;
}

QImage Colorize(const QImage& mono, COLORREF text, COLORREF bk) {
    // White pixels of a monochrome image take the background colour, black ones the text colour.
    QImage out(mono.size(), QImage::Format_ARGB32_Premultiplied);
    const QRgb t = qRgb(GetRValue(text), GetGValue(text), GetBValue(text));
    const QRgb b = qRgb(GetRValue(bk), GetGValue(bk), GetBValue(bk));
    for (int y = 0; y < mono.height(); ++y)
        for (int x = 0; x < mono.width(); ++x) out.setPixel(x, y, (mono.pixel(x, y) & 0xFFFFFF) ? b : t);
    return out;
}

void ReleaseFromContexts(HGDIOBJ bitmap) {
    std::lock_guard g(g_dcLock);
    for (auto& [h, st] : g_dcs) {
        if (st->bitmap != bitmap) continue;
        if (st->own) st->own->end();
        st->own.reset();
        st->painter = nullptr;
        st->bitmap = nullptr;
    }
}

}  // namespace

namespace qv::ui::detail {

HDC CreateDcOnPainter(QPainter* painter, HWND wnd) {
    auto s = std::make_unique<DcState>();
    s->painter = painter;
    s->wnd = wnd;
    return NewDc(std::move(s));
}

void DeleteDcOnPainter(HDC dc) { FreeDc(dc); }

QPainter* PainterOf(HDC dc) {
    DcState* s = State(dc);
    return s ? s->painter : nullptr;
}

HFONT SelectedFont(HDC dc) {
    DcState* s = State(dc);
    return s ? s->font : nullptr;
}

CtlColors AskCtlColor(Window& w, UINT message, QPainter* painter) {
    CtlColors out;
    const HWND self = w.handle;
    Window* parent = Find(w.parent);
    if (!parent) return out;
    const HDC dc = CreateDcOnPainter(painter, self);
    const LRESULT r = Dispatch(*parent, message, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(self));
    if (DcState* s = State(dc)) {
        out.brush = reinterpret_cast<HBRUSH>(r);
        out.textSet = s->textSet;
        out.text = s->text;
        out.bkSet = s->bkSet;
        out.bk = s->bk;
        out.bkMode = s->bkMode;
    }
    FreeDc(dc);
    return out;
}

bool SendDrawItem(Window& w, DRAWITEMSTRUCT& dis, QPainter* painter) {
    Window* parent = Find(w.parent);
    if (!parent) return false;
    const HDC dc = CreateDcOnPainter(painter, w.handle);
    dis.hDC = dc;
    dis.hwndItem = w.handle;
    dis.CtlID = w.id;
    const LRESULT r = Dispatch(*parent, WM_DRAWITEM, WPARAM(w.id), reinterpret_cast<LPARAM>(&dis));
    FreeDc(dc);
    return r != 0;
}

}  // namespace qv::ui::detail

namespace qv::ui {
CDC* DcFromWParam(WPARAM wp) { return CDC::FromHandle(reinterpret_cast<HDC>(wp)); }
}  // namespace qv::ui

CDC::~CDC() {
    if (owned_ && m_hDC) FreeDc(m_hDC);
    else if (DcState* s = State(m_hDC); s && s->wrapper.get() == this) s->wrapper.release();
}

CDC* CDC::FromHandle(HDC dc) {
    DcState* s = State(dc);
    if (!s) return nullptr;
    if (!s->wrapper) {
        s->wrapper = std::make_unique<CDC>();
        s->wrapper->m_hDC = dc;
    }
    return s->wrapper.get();
}

BOOL CDC::Attach(HDC dc) {
    if (m_hDC || !State(dc)) return FALSE;
    m_hDC = dc;
    return TRUE;
}

HDC CDC::Detach() {
    HDC h = m_hDC;
    m_hDC = nullptr;
    owned_ = false;
    return h;
}

BOOL CDC::CreateCompatibleDC(CDC* dc) {
    if (m_hDC) return FALSE;
    auto s = std::make_unique<DcState>();
    s->memory = true;
    if (DcState* other = dc ? State(dc->m_hDC) : nullptr) s->wnd = other->wnd;
    m_hDC = NewDc(std::move(s));
    owned_ = true;
    return TRUE;
}

BOOL CDC::DeleteDC() {
    if (!m_hDC) return FALSE;
    FreeDc(m_hDC);
    m_hDC = nullptr;
    owned_ = false;
    return TRUE;
}

HGDIOBJ CDC::SelectObject(HGDIOBJ object) {
    DcState* s = State(m_hDC);
    auto o = Lookup(object);
    if (!s || !o) return nullptr;
    HGDIOBJ old = nullptr;
    if (As<PenData>(o)) {
        old = s->pen;
        s->pen = static_cast<HPEN>(object);
    } else if (As<BrushData>(o)) {
        old = s->brush;
        s->brush = static_cast<HBRUSH>(object);
    } else if (As<FontData>(o)) {
        old = s->font;
        s->font = static_cast<HFONT>(object);
    } else if (auto* b = As<BitmapData>(o)) {
        if (!s->memory) return nullptr;
        old = s->bitmap;
        if (s->own) s->own->end();
        s->own.reset();
        s->painter = nullptr;
        s->bitmap = static_cast<HBITMAP>(object);
        s->own = std::make_unique<QPainter>(&b->image);
        s->painter = s->own.get();
    }
    return old;
}

CGdiObject* CDC::SelectObject(CGdiObject* object) {
    HGDIOBJ old = SelectObject(object ? object->m_hObject : nullptr);
    auto o = Lookup(old);
    if (!o) return nullptr;
    if (As<PenData>(o)) return TemporaryWrapper<CPen>(old);
    if (As<BrushData>(o)) return TemporaryWrapper<CBrush>(old);
    if (As<FontData>(o)) return TemporaryWrapper<CFont>(old);
    return TemporaryWrapper<CBitmap>(old);
}

CPen* CDC::SelectObject(CPen* pen) {
    return TemporaryWrapper<CPen>(SelectObject(pen ? pen->m_hObject : nullptr));
}
CBrush* CDC::SelectObject(CBrush* brush) {
    return TemporaryWrapper<CBrush>(SelectObject(brush ? brush->m_hObject : nullptr));
}
CFont* CDC::SelectObject(CFont* font) {
    return TemporaryWrapper<CFont>(SelectObject(font ? font->m_hObject : nullptr));
}
CBitmap* CDC::SelectObject(CBitmap* bitmap) {
    return TemporaryWrapper<CBitmap>(SelectObject(bitmap ? bitmap->m_hObject : nullptr));
}

CGdiObject* CDC::SelectStockObject(int index) {
    HGDIOBJ stock = GetStockObject(index);
    auto o = Lookup(stock);
    if (!o) return nullptr;
    const HGDIOBJ old = SelectObject(stock);
    auto prev = Lookup(old);
    if (!prev) return nullptr;
    if (As<PenData>(prev)) return TemporaryWrapper<CPen>(old);
    if (As<BrushData>(prev)) return TemporaryWrapper<CBrush>(old);
    return TemporaryWrapper<CFont>(old);
}

CFont* CDC::GetCurrentFont() const {
    DcState* s = State(m_hDC);
    return s ? CFont::FromHandle(s->font) : nullptr;
}

COLORREF CDC::SetTextColor(COLORREF color) {
    DcState* s = State(m_hDC);
    if (!s) return CLR_INVALID;
    const COLORREF old = s->text;
    s->text = color;
    s->textSet = true;
    return old;
}

COLORREF CDC::GetTextColor() const {
    DcState* s = State(m_hDC);
    return s ? s->text : CLR_INVALID;
}

COLORREF CDC::SetBkColor(COLORREF color) {
    DcState* s = State(m_hDC);
    if (!s) return CLR_INVALID;
    const COLORREF old = s->bk;
    s->bk = color;
    s->bkSet = true;
    return old;
}

COLORREF CDC::GetBkColor() const {
    DcState* s = State(m_hDC);
    return s ? s->bk : CLR_INVALID;
}

int CDC::SetBkMode(int mode) {
    DcState* s = State(m_hDC);
    if (!s) return 0;
    const int old = s->bkMode;
    s->bkMode = mode;
    return old;
}

int CDC::GetBkMode() const {
    DcState* s = State(m_hDC);
    return s ? s->bkMode : 0;
}

int CDC::SetStretchBltMode(int mode) {
    DcState* s = State(m_hDC);
    if (!s) return 0;
    const int old = s->stretch;
    s->stretch = mode;
    return old;
}

int CDC::SaveDC() {
    DcState* s = State(m_hDC);
    if (!s) return 0;
    s->saved.push_back({s->font, s->pen, s->brush, s->text, s->bk, s->bkMode});
    if (s->painter) s->painter->save();
    return int(s->saved.size());
}

BOOL CDC::RestoreDC(int saved) {
    DcState* s = State(m_hDC);
    if (!s || s->saved.empty()) return FALSE;
    std::size_t target = saved < 0 ? s->saved.size() - std::min<std::size_t>(s->saved.size(), std::size_t(-saved)) + 1
                                   : std::size_t(saved);
    if (target == 0 || target > s->saved.size()) return FALSE;
    while (s->saved.size() >= target) {
        const Saved v = s->saved.back();
        s->saved.pop_back();
        s->font = v.font, s->pen = v.pen, s->brush = v.brush, s->text = v.text, s->bk = v.bk, s->bkMode = v.bkMode;
        if (s->painter) s->painter->restore();
    }
    return TRUE;
}

void CDC::FillRect(LPCRECT rect, CBrush* brush) {
    DcState* s = State(m_hDC);
    COLORREF c;
    if (!s || !s->painter || !rect || !brush || !BrushColor(*brush, c)) return;
    s->painter->fillRect(ToQRect(*rect), ToQColor(c));
}

void CDC::FillSolidRect(LPCRECT rect, COLORREF color) {
    DcState* s = State(m_hDC);
    if (!s || !rect) return;
    s->bk = color;  // as the class library leaves it
    if (s->painter) s->painter->fillRect(ToQRect(*rect), ToQColor(color));
}

void CDC::FillSolidRect(int x, int y, int cx, int cy, COLORREF color) {
    const RECT r{x, y, x + cx, y + cy};
    FillSolidRect(&r, color);
}

void CDC::FrameRect(LPCRECT rect, CBrush* brush) {
    DcState* s = State(m_hDC);
    COLORREF c;
    if (!s || !s->painter || !rect || !brush || !BrushColor(*brush, c)) return;
    const QRect r = ToQRect(*rect);
    if (r.isEmpty()) return;
    s->painter->save();
    s->painter->setPen(QPen(ToQColor(c), 1));
    s->painter->setBrush(Qt::NoBrush);
    s->painter->drawRect(r.adjusted(0, 0, -1, -1));
    s->painter->restore();
}

void CDC::Draw3dRect(LPCRECT rect, COLORREF topLeft, COLORREF bottomRight) {
    DcState* s = State(m_hDC);
    if (!s || !s->painter || !rect) return;
    const QRect r = ToQRect(*rect);
    QPainter* p = s->painter;
    p->fillRect(QRect(r.left(), r.top(), r.width() - 1, 1), ToQColor(topLeft));
    p->fillRect(QRect(r.left(), r.top(), 1, r.height() - 1), ToQColor(topLeft));
    p->fillRect(QRect(r.right(), r.top(), 1, r.height()), ToQColor(bottomRight));
    p->fillRect(QRect(r.left(), r.bottom(), r.width(), 1), ToQColor(bottomRight));
}

BOOL CDC::DrawEdge(LPRECT rect, UINT edge, UINT) {
    if (!rect) return FALSE;
    const bool sunken = edge & (BDR_SUNKENOUTER | BDR_SUNKENINNER);
    const COLORREF dark = GetSysColor(COLOR_BTNSHADOW);
    const COLORREF light = GetSysColor(COLOR_BTNHIGHLIGHT);
    Draw3dRect(rect, sunken ? dark : light, sunken ? light : dark);
    return TRUE;
}

void CDC::DrawFocusRect(LPCRECT rect) {
    DcState* s = State(m_hDC);
    if (!s || !s->painter || !rect) return;
    // Every other pixel of the frame inverted: drawn a second time, the rectangle is gone.
    QPainter* p = s->painter;
    p->save();
    p->setRenderHint(QPainter::Antialiasing, false);
    p->setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    const QRect r = ToQRect(*rect);
    if (r.isEmpty()) {
        p->restore();
        return;
    }
    std::vector<QPoint> frame;  // the frame's pixels, clockwise from the top left
    for (int x = r.left(); x <= r.right(); ++x) frame.emplace_back(x, r.top());
    if (r.height() > 1) {
        for (int y = r.top() + 1; y <= r.bottom(); ++y) frame.emplace_back(r.right(), y);
        if (r.width() > 1) {
            for (int x = r.right() - 1; x >= r.left(); --x) frame.emplace_back(x, r.bottom());
            for (int y = r.bottom() - 1; y > r.top(); --y) frame.emplace_back(r.left(), y);
        }
    }
    for (std::size_t i = 0; i < frame.size(); i += 2) p->fillRect(QRect(frame[i], QSize(1, 1)), QColor(Qt::white));
    p->restore();
}

CPoint CDC::MoveTo(int x, int y) {
    DcState* s = State(m_hDC);
    if (!s) return CPoint();
    const CPoint old(s->pos.x(), s->pos.y());
    s->pos = QPoint(x, y);
    return old;
}

BOOL CDC::LineTo(int x, int y) {
    DcState* s = State(m_hDC);
    if (!s) return FALSE;
    if (s->painter) {
        s->painter->save();
        s->painter->setPen(CurrentPen(*s));
        // The end point itself is not drawn.
        QLineF line(s->pos, QPointF(x, y));
        if (line.length() >= 1) {
            line.setLength(line.length() - 1);
            s->painter->drawLine(line);
        }
        s->painter->restore();
    }
    s->pos = QPoint(x, y);
    return TRUE;
}

BOOL CDC::Rectangle(int l, int t, int r, int b) {
    DcState* s = State(m_hDC);
    if (!s || !s->painter) return FALSE;
    s->painter->save();
    s->painter->setPen(CurrentPen(*s));
    s->painter->setBrush(CurrentBrush(*s));
    s->painter->drawRect(QRect(l, t, r - l - 1, b - t - 1));
    s->painter->restore();
    return TRUE;
}

BOOL CDC::Ellipse(int l, int t, int r, int b) {
    DcState* s = State(m_hDC);
    if (!s || !s->painter) return FALSE;
    s->painter->save();
    s->painter->setRenderHint(QPainter::Antialiasing);
    s->painter->setPen(CurrentPen(*s));
    s->painter->setBrush(CurrentBrush(*s));
    s->painter->drawEllipse(QRect(l, t, r - l - 1, b - t - 1));
    s->painter->restore();
    return TRUE;
}

COLORREF CDC::SetPixel(int x, int y, COLORREF color) {
    DcState* s = State(m_hDC);
    if (!s || !s->painter) return CLR_INVALID;
    s->painter->fillRect(QRect(x, y, 1, 1), ToQColor(color));
    return color;
}

COLORREF CDC::GetPixel(int x, int y) const {
    DcState* s = State(m_hDC);
    QImage* img = s && s->bitmap ? BitmapImage(s->bitmap) : nullptr;
    if (!img || !img->rect().contains(x, y)) return CLR_INVALID;
    return FromQColor(QColor(img->pixel(x, y)));
}

int CDC::DrawText(const CString& text, LPRECT rect, UINT format) {
    return DrawText(text.GetString(), text.GetLength(), rect, format);
}

int CDC::DrawText(LPCWSTR text, int count, LPRECT rect, UINT format) {
    DcState* s = State(m_hDC);
    if (!s || !text || !rect) return 0;
    QString str = count < 0 ? QString::fromWCharArray(text) : QString::fromWCharArray(text, count);
    const QFont font = CurrentFont(*s);
    const QFontMetrics fm(font);
    int flags = 0;
    if (format & DT_CENTER) flags |= Qt::AlignHCenter;
    else if (format & DT_RIGHT) flags |= Qt::AlignRight;
    else flags |= Qt::AlignLeft;
    if (format & DT_SINGLELINE) {
        flags |= Qt::TextSingleLine;
        if (format & DT_VCENTER) flags |= Qt::AlignVCenter;
        else if (format & DT_BOTTOM) flags |= Qt::AlignBottom;
        else flags |= Qt::AlignTop;
    } else {
        flags |= Qt::AlignTop;
        if (format & DT_WORDBREAK) flags |= Qt::TextWordWrap;
    }
    if (format & DT_EXPANDTABS) flags |= Qt::TextExpandTabs;
    if (format & DT_NOPREFIX) str.replace(QLatin1String("&"), QLatin1String("&&"));
    flags |= Qt::TextShowMnemonic;
    QRect r = ToQRect(*rect);
    if (format & (DT_END_ELLIPSIS | DT_PATH_ELLIPSIS | DT_WORD_ELLIPSIS)) {
        const Qt::TextElideMode mode = (format & DT_PATH_ELLIPSIS) ? Qt::ElideMiddle : Qt::ElideRight;
        QStringList lines = str.split(QLatin1Char('\n'));
        for (QString& line : lines) line = fm.elidedText(line, mode, std::max(0, r.width()), Qt::TextShowMnemonic);
        str = lines.join(QLatin1Char('\n'));
    }
    // Measured within the rectangle's width (when it has one), with room downwards.
    const QRect room(r.topLeft(), QSize(r.width() > 0 ? r.width() : 100000, 100000));
    QRect bound = fm.boundingRect(room, flags & ~(Qt::AlignVCenter | Qt::AlignBottom), str);
    if (!(format & DT_CALCRECT) && (format & DT_SINGLELINE) && (format & (DT_VCENTER | DT_BOTTOM))) {
        const int top = (format & DT_VCENTER) ? r.top() + (r.height() - bound.height()) / 2 : r.bottom() + 1 - bound.height();
        bound.moveTop(top);
    }
    if (format & DT_CALCRECT) {
        rect->right = rect->left + bound.width();
        rect->bottom = rect->top + bound.height();
        return bound.height();
    }
    if (s->painter) {
        QPainter* p = s->painter;
        p->save();
        p->setFont(font);
        if (s->bkMode == OPAQUE) p->fillRect(bound, ToQColor(s->bk));
        p->setPen(ToQColor(s->text));
        if (format & DT_NOCLIP) p->drawText(r, flags, str);
        else {
            p->setClipRect(r, Qt::IntersectClip);
            p->drawText(r, flags, str);
        }
        p->restore();
    }
    return bound.height();
}

BOOL CDC::TextOut(int x, int y, LPCWSTR text, int count) {
    DcState* s = State(m_hDC);
    if (!s || !text) return FALSE;
    const QString str = QString::fromWCharArray(text, count < 0 ? int(wcslen(text)) : count);
    if (!s->painter) return TRUE;
    const QFont font = CurrentFont(*s);
    const QFontMetrics fm(font);
    QPainter* p = s->painter;
    p->save();
    p->setFont(font);
    if (s->bkMode == OPAQUE) p->fillRect(QRect(x, y, fm.horizontalAdvance(str), fm.height()), ToQColor(s->bk));
    p->setPen(ToQColor(s->text));
    p->drawText(QPoint(x, y + fm.ascent()), str);
    p->restore();
    return TRUE;
}

CSize CDC::GetTextExtent(LPCWSTR text, int count) const {
    DcState* s = State(m_hDC);
    const QFont font = s ? CurrentFont(*s) : DefaultDialogFont();
    const QFontMetrics fm(font);
    if (!text) return CSize(0, fm.height());
    const QString str = QString::fromWCharArray(text, count < 0 ? int(wcslen(text)) : count);
    return CSize(fm.horizontalAdvance(str), fm.height());
}

BOOL CDC::GetTextMetrics(TEXTMETRICW* tm) const {
    DcState* s = State(m_hDC);
    if (!tm) return FALSE;
    const QFont font = s ? CurrentFont(*s) : DefaultDialogFont();
    const QFontMetrics fm(font);
    tm->tmHeight = fm.height();
    tm->tmAscent = fm.ascent();
    tm->tmDescent = fm.descent();
    tm->tmInternalLeading = fm.leading();
    tm->tmExternalLeading = 0;
    tm->tmAveCharWidth = fm.averageCharWidth();
    tm->tmMaxCharWidth = fm.maxWidth();
    tm->tmWeight = font.bold() ? FW_BOLD : FW_NORMAL;
    return TRUE;
}

namespace {

QPainter::CompositionMode ModeFor(DWORD rop, bool& invertSource) {
    invertSource = false;
    switch (rop) {
    case SRCAND: return QPainter::RasterOp_SourceAndDestination;
    case SRCPAINT: return QPainter::RasterOp_SourceOrDestination;
    case SRCINVERT: return QPainter::RasterOp_SourceXorDestination;
    case NOTSRCCOPY: invertSource = true; return QPainter::CompositionMode_Source;
    default: return QPainter::CompositionMode_Source;
    }
}

}  // namespace

BOOL CDC::StretchBlt(int x, int y, int width, int height, CDC* src, int xSrc, int ySrc, int srcWidth, int srcHeight,
                     DWORD rop) {
    DcState* s = State(m_hDC);
    if (!s || !s->painter) return FALSE;
    if (rop == BLACKNESS || rop == WHITENESS) {
        s->painter->fillRect(QRect(x, y, width, height), rop == BLACKNESS ? Qt::black : Qt::white);
        return TRUE;
    }
    if (rop == PATCOPY) {
        s->painter->fillRect(QRect(x, y, width, height), CurrentBrush(*s));
        return TRUE;
    }
    DcState* from = src ? State(src->m_hDC) : nullptr;
    QImage* srcImage = from && from->bitmap ? BitmapImage(from->bitmap) : nullptr;
    if (!srcImage) return FALSE;
    QImage part = srcImage->copy(xSrc, ySrc, srcWidth, srcHeight);
    const bool srcMono = BitmapIsMono(from->bitmap);
    const bool dstMono = s->bitmap && BitmapIsMono(s->bitmap);
    if (dstMono && !srcMono) part = Monochrome(part, from->bk);
    else if (srcMono && !dstMono) part = Colorize(part, s->text, s->bk);
    bool invert = false;
    const QPainter::CompositionMode mode = ModeFor(rop, invert);
    if (invert) part.invertPixels(QImage::InvertRgb);
    QPainter* p = s->painter;
    const QPainter::CompositionMode before = p->compositionMode();
    p->setCompositionMode(mode);
    p->drawImage(QRect(x, y, width, height), part);
    p->setCompositionMode(before);
    return TRUE;
}

BOOL CDC::BitBlt(int x, int y, int width, int height, CDC* src, int xSrc, int ySrc, DWORD rop) {
    return StretchBlt(x, y, width, height, src, xSrc, ySrc, width, height, rop);
}

BOOL CDC::DrawState(CPoint pt, CSize size, CBitmap* bitmap, UINT, CBrush*) {
    DcState* s = State(m_hDC);
    QImage* img = bitmap ? BitmapImage(*bitmap) : nullptr;
    if (!s || !s->painter || !img) return FALSE;
    const QSize sz = (size.cx > 0 && size.cy > 0) ? QSize(size.cx, size.cy) : img->size();
    s->painter->drawImage(QRect(QPoint(pt.x, pt.y), sz), *img);
    return TRUE;
}

int CDC::GetDeviceCaps(int index) const {
    switch (index) {
    case LOGPIXELSX:
    case LOGPIXELSY: return LogicalDpi();
    case HORZRES: return GetSystemMetrics(SM_CXSCREEN);
    case VERTRES: return GetSystemMetrics(SM_CYSCREEN);
    case BITSPIXEL: return 32;
    case PLANES: return 1;
    default: return 0;
    }
}

CPaintDC::CPaintDC(CWnd* wnd) : m_pWnd(wnd) {
    Window* w = wnd ? Find(wnd->m_hWnd) : nullptr;
    auto s = std::make_unique<DcState>();
    s->wnd = wnd ? wnd->m_hWnd : nullptr;
    s->painter = w ? w->painter : nullptr;
    m_hDC = NewDc(std::move(s));
    owned_ = true;
}

CPaintDC::~CPaintDC() = default;

CClientDC::CClientDC(CWnd* wnd) : m_pWnd(wnd) {
    m_hDC = ::GetDC(wnd ? wnd->m_hWnd : nullptr);
    owned_ = true;
}

CClientDC::~CClientDC() = default;

HDC GetDC(HWND wnd) {
    Window* w = Find(wnd);
    auto s = std::make_unique<DcState>();
    s->wnd = wnd;
    s->painter = w ? w->painter : nullptr;  // draws only while the window paints
    return NewDc(std::move(s));
}

int ReleaseDC(HWND, HDC dc) {
    if (!State(dc)) return 0;
    FreeDc(dc);
    return 1;
}

int GetDeviceCaps(HDC dc, int index) {
    CDC* c = CDC::FromHandle(dc);
    if (c) return c->GetDeviceCaps(index);
    CDC probe;
    return probe.GetDeviceCaps(index);
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
    CDC* c = CDC::FromHandle(dc);
    return c ? c->SelectObject(object) : nullptr;
}

COLORREF SetTextColor(HDC dc, COLORREF color) {
    CDC* c = CDC::FromHandle(dc);
    return c ? c->SetTextColor(color) : CLR_INVALID;
}

COLORREF SetBkColor(HDC dc, COLORREF color) {
    CDC* c = CDC::FromHandle(dc);
    return c ? c->SetBkColor(color) : CLR_INVALID;
}

int SetBkMode(HDC dc, int mode) {
    CDC* c = CDC::FromHandle(dc);
    return c ? c->SetBkMode(mode) : 0;
}

int FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
    CDC* c = CDC::FromHandle(dc);
    if (!c) return 0;
    c->FillRect(rect, CBrush::FromHandle(brush));
    return 1;
}

int DrawTextW(HDC dc, LPCWSTR text, int count, LPRECT rect, UINT format) {
    CDC* c = CDC::FromHandle(dc);
    return c ? c->DrawText(text, count, rect, format) : 0;
}
