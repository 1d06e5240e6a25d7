// Drawing: memory contexts and bitmaps, raster operations with monochrome masks (transparent
// bitmaps), text measuring and drawing, fonts, image lists, and painting a window in WM_PAINT.
#include "ui_fixture.h"
#include <QImage>

namespace {

using namespace qv::ui::test;

class Gdi : public uitest::UiTest {};

// A memory context with a bitmap of the given size, filled with a colour.
struct Canvas {
    Canvas(int cx, int cy, COLORREF fill) {
        dc.CreateCompatibleDC(nullptr);
        bitmap.CreateCompatibleBitmap(&dc, cx, cy);
        old = dc.SelectObject(&bitmap);
        dc.FillSolidRect(0, 0, cx, cy, fill);
    }
    ~Canvas() { dc.SelectObject(old); }
    CDC dc;
    CBitmap bitmap;
    CBitmap* old = nullptr;
};

TEST_F(Gdi, MemoryContextsDrawIntoTheirBitmapAndReadItBack) {
    Canvas c(20, 10, RGB(255, 255, 255));
    c.dc.FillSolidRect(2, 2, 5, 5, RGB(10, 20, 30));
    EXPECT_EQ(c.dc.GetPixel(3, 3), RGB(10, 20, 30));
    EXPECT_EQ(c.dc.GetPixel(8, 3), RGB(255, 255, 255));
    EXPECT_EQ(c.dc.GetBkColor(), RGB(10, 20, 30)) << "filling a solid rectangle leaves its colour as background";
    EXPECT_EQ(c.dc.GetPixel(30, 3), CLR_INVALID);
    BITMAP bm;
    EXPECT_EQ(c.bitmap.GetBitmap(&bm), int(sizeof(BITMAP)));
    EXPECT_EQ(bm.bmWidth, 20);
    EXPECT_EQ(bm.bmHeight, 10);

    CPen pen(PS_SOLID, 1, RGB(0, 0, 255));
    CPen* old = c.dc.SelectObject(&pen);
    c.dc.MoveTo(0, 8);
    c.dc.LineTo(10, 8);
    c.dc.SelectObject(old);
    EXPECT_EQ(c.dc.GetPixel(5, 8), RGB(0, 0, 255));
    EXPECT_EQ(c.dc.GetPixel(10, 8), RGB(255, 255, 255)) << "a line leaves out its end point";
}

TEST_F(Gdi, AMonochromeMaskDrawsABitmapWithItsCornerColourTransparent) {
    // The picture: magenta key colour with a green square; the target: blue.
    Canvas picture(8, 8, RGB(255, 0, 255));
    picture.dc.FillSolidRect(2, 2, 4, 4, RGB(0, 160, 0));
    Canvas target(8, 8, RGB(0, 0, 200));
    const COLORREF key = picture.dc.GetPixel(0, 0);

    CDC maskDc;
    maskDc.CreateCompatibleDC(nullptr);
    CBitmap mask;
    mask.CreateBitmap(8, 8, 1, 1, nullptr);
    CBitmap* oldMask = maskDc.SelectObject(&mask);
    picture.dc.SetBkColor(key);
    maskDc.BitBlt(0, 0, 8, 8, &picture.dc, 0, 0, SRCCOPY);  // key pixels white, others black
    picture.dc.SetBkColor(RGB(0, 0, 0));
    picture.dc.SetTextColor(RGB(255, 255, 255));
    picture.dc.BitBlt(0, 0, 8, 8, &maskDc, 0, 0, SRCAND);  // key pixels black in the picture
    target.dc.SetBkColor(RGB(255, 255, 255));
    target.dc.SetTextColor(RGB(0, 0, 0));
    target.dc.BitBlt(0, 0, 8, 8, &maskDc, 0, 0, SRCAND);     // a hole where the picture is
    target.dc.BitBlt(0, 0, 8, 8, &picture.dc, 0, 0, SRCPAINT);  // the picture into the hole
    maskDc.SelectObject(oldMask);

    EXPECT_EQ(target.dc.GetPixel(0, 0), RGB(0, 0, 200)) << "the key colour lets the background through";
    EXPECT_EQ(target.dc.GetPixel(7, 7), RGB(0, 0, 200));
    EXPECT_EQ(target.dc.GetPixel(3, 3), RGB(0, 160, 0));
}

TEST_F(Gdi, TextIsMeasuredAndDrawnWithTheSelectedFontAndColours) {
    CFont small, large, bold;
    ASSERT_TRUE(small.CreatePointFont(80, L"MS Shell Dlg"));
    ASSERT_TRUE(large.CreatePointFont(120, L"MS Shell Dlg"));
    LOGFONTW lf;
    lf.lfHeight = 100;
    lf.lfWeight = FW_BOLD;
    ASSERT_TRUE(bold.CreatePointFontIndirect(&lf));
    LOGFONTW back;
    ASSERT_EQ(bold.GetLogFont(&back), int(sizeof(LOGFONTW)));
    EXPECT_EQ(back.lfWeight, FW_BOLD);
    EXPECT_EQ(back.lfHeight, -MulDiv(100, GetDeviceCaps(nullptr, LOGPIXELSY), 720));

    Canvas c(300, 100, RGB(255, 255, 255));
    c.dc.SelectObject(&small);
    const CSize s = c.dc.GetTextExtent(L"Ausbildung");
    c.dc.SelectObject(&large);
    const CSize l = c.dc.GetTextExtent(L"Ausbildung");
    EXPECT_GT(l.cx, s.cx);
    EXPECT_GT(l.cy, s.cy);

    CRect calc(0, 0, 60, 0);
    const int height = c.dc.DrawText(L"Kein Zugriff zu diesem Modul.", -1, &calc, DT_CENTER | DT_WORDBREAK | DT_CALCRECT);
    EXPECT_GT(height, l.cy) << "the words wrap onto several lines";
    EXPECT_EQ(c.dc.GetPixel(1, 1), RGB(255, 255, 255)) << "measuring draws nothing";

    c.dc.SetTextColor(RGB(192, 0, 0));
    c.dc.SetBkColor(RGB(240, 240, 240));
    c.dc.SetBkMode(OPAQUE);
    CRect line(0, 50, 300, 100);
    c.dc.DrawText(L"Ausbildung", -1, &line, DT_LEFT | DT_SINGLELINE);
    bool red = false;
    for (int x = 0; x < l.cx && !red; ++x)
        for (int y = 50; y < 50 + l.cy && !red; ++y) red = c.dc.GetPixel(x, y) == RGB(192, 0, 0);
    EXPECT_TRUE(red);
    EXPECT_EQ(c.dc.GetPixel(l.cx - 1, 50), RGB(240, 240, 240)) << "an opaque background fills the text's cell";
    EXPECT_EQ(c.dc.GetPixel(l.cx + 20, 60), RGB(255, 255, 255));
}

TEST_F(Gdi, ObjectsAreSelectedAndGivenBackAndStockObjectsStay) {
    Canvas c(10, 10, RGB(0, 0, 0));
    CBrush brush(RGB(1, 2, 3));
    CPen pen(PS_SOLID, 1, RGB(4, 5, 6));
    EXPECT_EQ(c.dc.SelectObject(&brush), nullptr) << "nothing was selected before";
    EXPECT_EQ(c.dc.SelectObject(static_cast<CGdiObject*>(&pen)), nullptr);
    CBrush other(RGB(9, 9, 9));
    EXPECT_EQ(c.dc.SelectObject(&other)->m_hObject, brush.m_hObject);
    c.dc.Rectangle(0, 0, 10, 10);
    EXPECT_EQ(c.dc.GetPixel(0, 0), RGB(4, 5, 6)) << "the pen draws the frame";
    EXPECT_EQ(c.dc.GetPixel(5, 5), RGB(9, 9, 9)) << "the brush fills it";
    const int saved = c.dc.SaveDC();
    c.dc.SetTextColor(RGB(7, 7, 7));
    EXPECT_TRUE(c.dc.RestoreDC(saved));
    EXPECT_EQ(c.dc.GetTextColor(), RGB(0, 0, 0));
    HGDIOBJ stock = GetStockObject(WHITE_BRUSH);
    EXPECT_FALSE(DeleteObject(stock));
    EXPECT_EQ(GetStockObject(WHITE_BRUSH), stock);
    COLORREF face = 0;
    LOGBRUSH lb;
    EXPECT_EQ(GetObjectW(GetSysColorBrush(COLOR_BTNFACE), sizeof(lb), &lb), int(sizeof(LOGBRUSH)));
    face = lb.lbColor;
    EXPECT_EQ(face, GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(GetGlobalData()->clrBtnFace, face);
    LOGBRUSH alt;
    alt.lbColor = RGB(0, 0, 0);
    CPen dotted;
    dotted.Attach(ExtCreatePen(PS_COSMETIC | PS_ALTERNATE, 3, &alt, 0, nullptr));
    EXPECT_NE(dotted.m_hObject, nullptr);
}

TEST_F(Gdi, ImageListsCutAStripAndMakeTheMaskColourTransparent) {
    QImage strip(48, 16, QImage::Format_ARGB32);
    strip.fill(Qt::white);
    for (int i = 0; i < 3; ++i)
        for (int y = 4; y < 12; ++y)
            for (int x = 4; x < 12; ++x) strip.setPixel(i * 16 + x, y, qRgb(50 * (i + 1), 0, 0));
    qv::ui::RegisterBitmap(uitest::Module(), 11207, strip);
    CImageList images;
    ASSERT_TRUE(images.Create(11207, 16, 0, RGB(255, 255, 255)));
    EXPECT_EQ(images.GetImageCount(), 3);
    Canvas c(16, 16, RGB(0, 0, 255));
    ASSERT_TRUE(images.Draw(&c.dc, 2, CPoint(0, 0), ILD_TRANSPARENT));
    EXPECT_EQ(c.dc.GetPixel(0, 0), RGB(0, 0, 255)) << "the white of the strip is transparent";
    EXPECT_EQ(c.dc.GetPixel(8, 8), RGB(150, 0, 0));
    EXPECT_FALSE(images.Draw(&c.dc, 3, CPoint(0, 0), ILD_NORMAL));
    CBitmap missing;
    EXPECT_FALSE(missing.LoadBitmap(4711));
    CImageList none;
    EXPECT_FALSE(none.Create(4711, 16, 0, RGB(255, 255, 255)));

    // A list is made once; handed over by its handle, it goes with whoever holds it last.
    EXPECT_FALSE(images.Create(16, 16, ILC_COLOR32, 0, 1)) << "already made";
    int cx = 0, cy = 0;
    ASSERT_TRUE(ImageList_GetIconSize(images.m_hImageList, &cx, &cy));
    EXPECT_EQ(cx, 16);
    EXPECT_EQ(cy, 16);
    EXPECT_EQ(ImageList_Create(0, 16, ILC_COLOR32, 0, 1), nullptr);
    EXPECT_EQ(ImageList_Create(16, 0, ILC_COLOR32, 0, 1), nullptr);
    CImageList* shared = CImageList::FromHandle(images.m_hImageList);
    ASSERT_NE(shared, nullptr);
    EXPECT_EQ(shared->GetImageCount(), 3);
    EXPECT_EQ(CImageList::FromHandle(images.m_hImageList), shared) << "one object per handle";
    EXPECT_FALSE(none.Attach(nullptr));
    const HIMAGELIST h = images.Detach();
    EXPECT_EQ(images.GetImageCount(), 0);
    ASSERT_TRUE(none.Attach(h));
    EXPECT_FALSE(none.Attach(h)) << "it holds one already";
    EXPECT_EQ(none.GetImageCount(), 3);
    CBitmap plain;
    ASSERT_TRUE(plain.LoadBitmap(11207));
    EXPECT_EQ(none.Add(&plain, CLR_NONE), 3) << "added after the others";
    ASSERT_TRUE(none.Draw(&c.dc, 3, CPoint(0, 0), ILD_NORMAL));
    EXPECT_EQ(c.dc.GetPixel(0, 0), RGB(255, 255, 255)) << "without a mask colour white is drawn";
    EXPECT_TRUE(none.DeleteImageList());
    EXPECT_FALSE(none.DeleteImageList());
    EXPECT_EQ(CImageList::FromHandle(h), nullptr);
    EXPECT_FALSE(ImageList_Destroy(h));
}

class Painted : public CWnd {
public:
    int paints = 0;
    COLORREF colour = RGB(200, 30, 30);
    void OnPaint() {
        ++paints;
        CPaintDC dc(this);
        CRect r;
        GetClientRect(&r);
        dc.FillRect(&r, CBrush::FromHandle(GetSysColorBrush(COLOR_BTNFACE)));
        CBrush b(colour);
        CRect box(10, 10, 30, 30);
        dc.FillRect(&box, &b);
        dc.SetBkMode(TRANSPARENT);
        dc.SetTextColor(RGB(192, 0, 0));
        CRect text(0, 40, r.right, r.bottom);
        dc.DrawText(L"Kein Zugriff zu diesem Modul.", -1, &text, DT_CENTER | DT_WORDBREAK);
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(Painted, CWnd)
    ON_WM_PAINT()
END_MESSAGE_MAP()

TEST_F(Gdi, AWindowPaintsInWmPaintThroughItsPaintContext) {
    CWnd frame;
    ASSERT_TRUE(frame.CreateEx(0, AfxRegisterWndClass(0), L"", WS_OVERLAPPED, CRect(0, 0, 200, 120), nullptr, 0));
    Painted deny;
    ASSERT_TRUE(deny.CreateEx(0, AfxRegisterWndClass(0), L"Kein Zugriff", WS_CHILD | WS_VISIBLE, CRect(0, 0, 200, 120), &frame, 100));
    frame.ShowWindow(SW_SHOW);
    EXPECT_EQ(PixelAt(deny, 20, 20), RGB(200, 30, 30));
    EXPECT_EQ(PixelAt(deny, 5, 5), GetSysColor(COLOR_BTNFACE));
    EXPECT_GT(deny.paints, 0);
    deny.colour = RGB(30, 200, 30);
    deny.Invalidate();
    EXPECT_EQ(PixelAt(deny, 20, 20), RGB(30, 200, 30));
    CPaintDC outside(&deny);  // outside of painting it draws nowhere, and does not crash
    outside.FillSolidRect(0, 0, 5, 5, RGB(0, 0, 0));
    EXPECT_EQ(deny.GetDlgCtrlID(), 100);
}

TEST_F(Gdi, DottedPensAndFocusFramesMarkEveryOtherPixelAndAFrameDrawnTwiceIsGone) {
    Canvas c(40, 30, RGB(255, 255, 255));
    LOGBRUSH lb;
    lb.lbStyle = BS_SOLID;
    lb.lbColor = RGB(0, 0, 0);
    CPen dots;
    dots.Attach(ExtCreatePen(PS_COSMETIC | PS_ALTERNATE, 5, &lb, 0, nullptr));
    CPen* old = c.dc.SelectObject(&dots);
    c.dc.MoveTo(0, 2);
    c.dc.LineTo(20, 2);
    c.dc.SelectObject(old);
    for (int x = 0; x < 20; ++x)
        EXPECT_EQ(c.dc.GetPixel(x, 2), x % 2 ? RGB(255, 255, 255) : RGB(0, 0, 0)) << "pixel " << x;
    EXPECT_EQ(c.dc.GetPixel(4, 3), RGB(255, 255, 255)) << "a cosmetic pen is one pixel wide";

    // The focus frame inverts what is under it, on a coloured ground too.
    c.dc.FillSolidRect(0, 10, 40, 20, RGB(0, 0, 128));
    const CRect focus(2, 12, 30, 26);
    c.dc.DrawFocusRect(&focus);
    EXPECT_EQ(c.dc.GetPixel(2, 12), RGB(255, 255, 127)) << "the corner is inverted";
    EXPECT_EQ(c.dc.GetPixel(3, 12), RGB(0, 0, 128)) << "the next one is not";
    EXPECT_EQ(c.dc.GetPixel(4, 12), RGB(255, 255, 127));
    EXPECT_EQ(c.dc.GetPixel(10, 18), RGB(0, 0, 128)) << "the inside stays";
    EXPECT_EQ(c.dc.GetPixel(30, 12), RGB(0, 0, 128)) << "the right edge is outside, as for all rectangles";
    int inverted = 0;
    for (int y = 12; y < 26; ++y) inverted += c.dc.GetPixel(29, y) == RGB(255, 255, 127);
    EXPECT_GE(inverted, 6) << "the right side is dotted too";
    c.dc.DrawFocusRect(&focus);
    for (int x = 2; x < 30; ++x) {
        EXPECT_EQ(c.dc.GetPixel(x, 12), RGB(0, 0, 128)) << "gone again at " << x;
        EXPECT_EQ(c.dc.GetPixel(x, 25), RGB(0, 0, 128));
    }
}

TEST_F(Gdi, SingleLinesAreCentredCutWithAnEllipsisAndShowAmpersandsWhenAsked) {
    Canvas c(200, 40, RGB(255, 255, 255));
    c.dc.SetBkMode(TRANSPARENT);
    c.dc.SetTextColor(RGB(0, 0, 0));
    const auto inked = [&](int x0, int x1, int y0, int y1) {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) n += c.dc.GetPixel(x, y) != RGB(255, 255, 255);
        return n;
    };
    // Centred vertically in a tall rectangle: nothing at its top or bottom.
    CRect box(0, 0, 200, 40);
    c.dc.DrawText(L"Mitte", -1, &box, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
    EXPECT_EQ(inked(0, 200, 0, 8), 0);
    EXPECT_EQ(inked(0, 200, 32, 40), 0);
    EXPECT_GT(inked(80, 120, 8, 32), 0);
    EXPECT_EQ(inked(0, 60, 0, 40), 0) << "centred across too";

    // Cut at the end: the drawn text keeps within the rectangle.
    c.dc.FillSolidRect(0, 0, 200, 40, RGB(255, 255, 255));
    const wchar_t* longText = L"Grundausbildung Atemschutz Geräteträger Stufe 2";
    CRect narrow(0, 0, 80, 20);
    CRect measured = narrow;
    c.dc.DrawText(longText, -1, &measured, DT_SINGLELINE | DT_CALCRECT);
    EXPECT_GT(measured.Width(), 80) << "the whole text would not fit";
    c.dc.DrawText(longText, -1, &narrow, DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOCLIP);
    EXPECT_GT(inked(0, 80, 0, 20), 0);
    EXPECT_EQ(inked(81, 200, 0, 20), 0) << "cut with an ellipsis, not spilling over";

    // An ampersand underlines the next letter, or shows itself with DT_NOPREFIX.
    const CRect a(0, 0, 200, 20);
    const int plain = c.dc.GetTextExtent(L"K&F", 3).cx;
    CRect calcPrefix = a, calcNoPrefix = a;
    c.dc.DrawText(L"K&F", -1, &calcPrefix, DT_SINGLELINE | DT_CALCRECT);
    c.dc.DrawText(L"K&F", -1, &calcNoPrefix, DT_SINGLELINE | DT_CALCRECT | DT_NOPREFIX);
    EXPECT_LT(calcPrefix.Width(), calcNoPrefix.Width()) << "the ampersand takes no room as a prefix";
    EXPECT_NEAR(calcNoPrefix.Width(), plain, 1) << "measured like the plain text";
}

TEST(Metrics, DialogUnitsAndSystemMeasuresAreThoseOfARealDesktop) {
    qv::ui::EnsureApplication();
    EXPECT_EQ(MulDiv(7, 3, 2), 11) << "halves round away from zero";
    EXPECT_EQ(MulDiv(-7, 3, 2), -11);
    EXPECT_EQ(MulDiv(1, 1, 0), -1);
    EXPECT_GT(GetSystemMetrics(SM_CXVSCROLL), 8);
    EXPECT_GT(GetSystemMetrics(SM_CXVIRTUALSCREEN), 600);
    EXPECT_EQ(GetDeviceCaps(nullptr, LOGPIXELSY), 96);
    const LONG units = GetDialogBaseUnits();
    RECT r{0, 0, 4, 8};
    CWnd w;
    ASSERT_TRUE(w.CreateEx(0, AfxRegisterWndClass(0), L"", WS_OVERLAPPED, CRect(0, 0, 10, 10), nullptr, 0));
    ASSERT_TRUE(MapDialogRect(w, &r));
    EXPECT_EQ(r.right, LOWORD(units)) << "four horizontal units are one average character";
    EXPECT_EQ(r.bottom, HIWORD(units)) << "eight vertical units are one line";
}

}  // namespace
