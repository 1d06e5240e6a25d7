#include "qvbuttons.h"
#include "qtwidget.h"
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <mutex>

IMPLEMENT_DYNAMIC(CQvBitmapButton, CButton)
IMPLEMENT_DYNAMIC(CQvHelpButton, CQvBitmapButton)
IMPLEMENT_DYNAMIC(CQvMenuButton, CButton)

namespace qv {
namespace {

std::mutex g_helpLock;
HelpHandler g_help;

// Our own small pictures for the standard numbers.
void Arrow(QPainter& p, bool left, int x) {
    QPainterPath path;
    if (left) {
        path.moveTo(x + 8, 3);
        path.lineTo(x + 3, 8);
        path.lineTo(x + 8, 13);
    } else {
        path.moveTo(x + 3, 3);
        path.lineTo(x + 8, 8);
        path.lineTo(x + 3, 13);
    }
    path.closeSubpath();
    p.fillPath(path, QColor(0x20, 0x50, 0x90));
}

}  // namespace

QImage StandardButtonImage(int number) {
    QImage img(16, 16, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor blue(0x20, 0x50, 0x90);
    const QColor dark(0x30, 0x30, 0x30);
    switch (number) {
    case 2:  // edit: a pencil
        p.setPen(QPen(dark, 1.5));
        p.drawLine(3, 13, 12, 4);
        p.setPen(QPen(QColor(0xD0, 0x90, 0x20), 3));
        p.drawLine(5, 11, 11, 5);
        break;
    case 4:  // change the state: two states and the turn from one to the other
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x28, 0xA0, 0x28));
        p.drawEllipse(QRectF(1, 1, 6, 6));
        p.setBrush(QColor(0xE6, 0xA0, 0x00));
        p.drawEllipse(QRectF(9, 9, 6, 6));
        p.setPen(QPen(blue, 1.5));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(4, 4, 9, 9), 30 * 16, 120 * 16);
        p.drawArc(QRectF(3, 3, 9, 9), 210 * 16, 120 * 16);
        break;
    case 9:  // new: a plus
        p.fillRect(QRect(7, 2, 2, 12), QColor(0x20, 0x80, 0x20));
        p.fillRect(QRect(2, 7, 12, 2), QColor(0x20, 0x80, 0x20));
        break;
    case 10:  // delete: a cross
        p.setPen(QPen(QColor(0xC0, 0x20, 0x20), 2.2));
        p.drawLine(3, 3, 13, 13);
        p.drawLine(13, 3, 3, 13);
        break;
    case 29:  // copy: two sheets, one over the other
        p.setPen(QPen(dark, 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(2.5, 2.5, 7, 9));
        p.drawRect(QRectF(6.5, 5.5, 7, 9));
        break;
    case 31: Arrow(p, true, 3); break;   // previous
    case 32: Arrow(p, false, 4); break;  // next
    case 35:                             // first
        p.fillRect(QRect(3, 3, 2, 10), blue);
        Arrow(p, true, 4);
        break;
    case 36:  // last
        p.fillRect(QRect(11, 3, 2, 10), blue);
        Arrow(p, false, 2);
        break;
    case 41: {  // filter
        QPainterPath path;
        path.moveTo(2, 3);
        path.lineTo(14, 3);
        path.lineTo(9, 8);
        path.lineTo(9, 13);
        path.lineTo(7, 14);
        path.lineTo(7, 8);
        path.closeSubpath();
        p.fillPath(path, QColor(0x40, 0x40, 0x40));
        break;
    }
    case 43:  // print: a sheet going through a printer
        p.fillRect(QRect(4, 2, 8, 4), Qt::white);
        p.setPen(dark);
        p.drawRect(QRect(4, 2, 8, 4));
        p.fillRect(QRect(2, 6, 12, 6), QColor(0x80, 0x80, 0x80));
        p.fillRect(QRect(4, 10, 8, 4), Qt::white);
        p.drawRect(QRect(4, 10, 8, 4));
        break;
    case 44: {  // send: a letter going out, an arrow away from it
        p.setPen(QPen(dark, 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(1.5, 1.5, 10, 7));
        p.drawPolyline(QPolygonF({QPointF(1.5, 1.5), QPointF(6.5, 5.5), QPointF(11.5, 1.5)}));
        p.setPen(QPen(blue, 2));
        p.drawLine(QPointF(4, 12), QPointF(11, 12));
        QPainterPath head;
        head.moveTo(10, 8.5);
        head.lineTo(15, 12);
        head.lineTo(10, 15.5);
        head.closeSubpath();
        p.fillPath(head, blue);
        break;
    }
    case 46:  // search
        p.setPen(QPen(blue, 2));
        p.drawEllipse(QRectF(2, 2, 8, 8));
        p.setPen(QPen(dark, 2.5));
        p.drawLine(9, 9, 14, 14);
        break;
    case 48: {  // help
        p.setBrush(blue);
        p.setPen(Qt::NoPen);
        p.drawEllipse(QRectF(1, 1, 14, 14));
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setPixelSize(11);
        f.setBold(true);
        p.setFont(f);
        p.setPen(Qt::white);
        p.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, QStringLiteral("?"));
        break;
    }
    default:
        p.setBrush(QColor(0x60, 0x60, 0x60));
        p.setPen(Qt::NoPen);
        p.drawEllipse(QRectF(5, 5, 6, 6));
        break;
    }
    return img;
}

void SetHelpHandler(HelpHandler handler) {
    std::lock_guard g(g_helpLock);
    g_help = std::move(handler);
}

bool ShowHelpTopic(const CString& topic) {
    HelpHandler h;
    {
        std::lock_guard g(g_helpLock);
        h = g_help;
    }
    return h && h(topic);
}

}  // namespace qv

namespace {

// A bitmap handle of our own for an image (32 bits, premultiplied alpha kept as plain colour).
BOOL ToBitmap(const QImage& image, CBitmap& bitmap) {
    const QImage img = image.convertToFormat(QImage::Format_ARGB32);
    std::vector<BYTE> bits(std::size_t(img.width() * img.height() * 4));
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QRgb px = img.pixel(x, y);
            BYTE* b = &bits[std::size_t((y * img.width() + x) * 4)];
            b[0] = BYTE(qBlue(px)), b[1] = BYTE(qGreen(px)), b[2] = BYTE(qRed(px)), b[3] = BYTE(qAlpha(px));
        }
    bitmap.DeleteObject();
    return bitmap.CreateBitmap(img.width(), img.height(), 1, 32, bits.data());
}

}  // namespace

// ---- CQvBitmapButton

BOOL CQvBitmapButton::AttachButton(UINT id, CWnd* parent, int placement, int imageNumber) {
    if (!m_hWnd && !SubclassDlgItem(id, parent)) return FALSE;
    return SetStandardImage(imageNumber, placement);
}

void CQvBitmapButton::ApplyImage(const QImage& image, int placement) {
    auto* b = qobject_cast<QPushButton*>(qv::ui::WidgetOf(m_hWnd));
    if (!b) return;
    // The toolkit draws the image with its transparency; the bitmap handle is kept for readers.
    b->setIcon(QIcon(QPixmap::fromImage(image)));
    b->setIconSize(image.size());
    b->setLayoutDirection(placement == QVBB_IMAGE_RIGHT ? Qt::RightToLeft : Qt::LeftToRight);
    if (placement == QVBB_IMAGE_ONLY) b->setText(QString());
}

BOOL CQvBitmapButton::SetStandardImage(int imageNumber, int placement) {
    if (!m_hWnd) return FALSE;
    const QImage image = qv::StandardButtonImage(imageNumber);
    ToBitmap(image, m_bitmap);
    ApplyImage(image, placement);
    return TRUE;
}

BOOL CQvBitmapButton::SetBitmap(UINT bitmapId, int placement) {
    if (!m_hWnd) return FALSE;
    QImage image;
    if (!qv::ui::FindBitmap(bitmapId, image)) return FALSE;
    m_bitmap.DeleteObject();
    m_bitmap.LoadBitmap(bitmapId);
    ApplyImage(image, placement);
    return TRUE;
}

void CQvBitmapButton::SetFlatButton(BOOL flat) {
    if (flat) ModifyStyle(0, BS_FLAT);
    else ModifyStyle(BS_FLAT, 0);
}

// ---- CQvHelpButton

BEGIN_MESSAGE_MAP(CQvHelpButton, CQvBitmapButton)
    ON_CONTROL_REFLECT_EX(BN_CLICKED, &CQvHelpButton::OnClicked)
END_MESSAGE_MAP()

BOOL CQvHelpButton::AttachButton(UINT id, CWnd* parent) {
    return CQvBitmapButton::AttachButton(id, parent, QVBB_IMAGE_ONLY, 48);
}

BOOL CQvHelpButton::ShowHelp() { return !m_strTopic.IsEmpty() && qv::ShowHelpTopic(m_strTopic); }

CString CQvHelpButton::GetToolTipText() const { return CString(L"Hilfe anzeigen (F1)"); }

BOOL CQvHelpButton::OnClicked() {
    ShowHelp();
    return FALSE;  // the parent may act on the click too
}

// ---- CQvMenuButton

BEGIN_MESSAGE_MAP(CQvMenuButton, CButton)
    ON_CONTROL_REFLECT_EX(BN_CLICKED, &CQvMenuButton::OnClicked)
    ON_WM_LBUTTONDOWN()
END_MESSAGE_MAP()

namespace {
const int kArrowWidth = 14;
}

BOOL CQvMenuButton::AttachButton(UINT id, CWnd* parent, CMenu* menu, int appearance, int handler) {
    if (!m_hWnd && !SubclassDlgItem(id, parent)) return FALSE;
    m_pMenu = menu;
    m_nAppearance = appearance;
    m_nHandler = handler;
    // The button draws itself: face, image, text and the drop-down arrow.
    ModifyStyle(BS_TYPEMASK, BS_OWNERDRAW);
    Invalidate();
    return TRUE;
}

BOOL CQvMenuButton::SetStandardImage(int imageNumber) {
    if (!ToBitmap(qv::StandardButtonImage(imageNumber), m_image)) return FALSE;
    Invalidate();
    return TRUE;
}

void CQvMenuButton::OnLButtonDown(UINT, CPoint point) {
    CRect r;
    GetClientRect(&r);
    m_bArrowPressed = point.x >= r.right - kArrowWidth;
    Default();
}

BOOL CQvMenuButton::OnClicked() {
    m_nChosen = 0;
    const bool menu = m_bArrowPressed;
    m_bArrowPressed = false;
    if (menu && m_pMenu && m_pMenu->GetSafeHmenu()) {
        CRect r;
        GetWindowRect(&r);
        m_nChosen = UINT(m_pMenu->TrackPopupMenu(TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RETURNCMD, r.left, r.bottom, this));
        if (m_nChosen && m_nHandler == 1)
            if (CWnd* parent = GetParent()) parent->SendMessage(WM_COMMAND, MAKEWPARAM(WORD(m_nChosen), 0), 0);
    }
    return FALSE;  // the parent sees the click and reads the chosen command
}

void CQvMenuButton::DrawItem(LPDRAWITEMSTRUCT dis) {
    CDC* dc = CDC::FromHandle(dis->hDC);
    if (!dc) return;
    CRect r(dis->rcItem);
    const bool pressed = dis->itemState & ODS_SELECTED;
    const bool disabled = dis->itemState & ODS_DISABLED;
    dc->FillSolidRect(&r, GetSysColor(COLOR_BTNFACE));
    if (pressed) dc->Draw3dRect(&r, GetSysColor(COLOR_BTNSHADOW), GetSysColor(COLOR_BTNHIGHLIGHT));
    else if (!m_bFlat) dc->Draw3dRect(&r, GetSysColor(COLOR_BTNHIGHLIGHT), GetSysColor(COLOR_BTNSHADOW));
    // The arrow part, set off by a line.
    const CRect arrow(r.right - kArrowWidth, r.top + 2, r.right - 2, r.bottom - 2);
    CPen line(PS_SOLID, 1, GetSysColor(COLOR_BTNSHADOW));
    CPen* old = dc->SelectObject(&line);
    dc->MoveTo(arrow.left - 1, arrow.top + 1);
    dc->LineTo(arrow.left - 1, arrow.bottom - 1);
    CPen black(PS_SOLID, 1, disabled ? GetSysColor(COLOR_GRAYTEXT) : RGB(0, 0, 0));
    dc->SelectObject(&black);
    const int cx = (arrow.left + arrow.right) / 2;
    const int cy = (arrow.top + arrow.bottom) / 2 - 1;
    for (int i = 0; i < 3; ++i) {
        dc->MoveTo(cx - 3 + i, cy + i);
        dc->LineTo(cx + 4 - i, cy + i);
    }
    dc->SelectObject(old);
    CRect face(r.left + 4, r.top, arrow.left - 2, r.bottom);
    if (pressed) face.OffsetRect(1, 1);
    if (m_image.m_hObject) {
        BITMAP bm;
        m_image.GetBitmap(&bm);
        const int y = (face.top + face.bottom - bm.bmHeight) / 2;
        dc->DrawState(CPoint(face.left, y), CSize(bm.bmWidth, bm.bmHeight), &m_image, 0);
        face.left += bm.bmWidth + 4;
    }
    CString text;
    GetWindowText(text);
    if (!text.IsEmpty()) {
        dc->SetBkMode(TRANSPARENT);
        dc->SetTextColor(disabled ? GetSysColor(COLOR_GRAYTEXT) : GetSysColor(COLOR_BTNTEXT));
        dc->DrawText(text, &face, DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_END_ELLIPSIS);
    }
    if (dis->itemState & ODS_FOCUS) {
        CRect focus = r;
        focus.DeflateRect(3, 3);
        dc->DrawFocusRect(&focus);
    }
}
