// Pictures of the suite's windows: image lists cut from strip bitmaps, and the picture control
// showing a tenant's logo from its bytes on the dialog's colour.
#include "qvimageview.h"
#include "qvimagelist.h"
#include "scripted.h"
#include "uidriver.h"
#include <gtest/gtest.h>
#include <QBuffer>
#include <QImage>
#include <atomic>
#include <thread>

namespace {

using namespace qv::ui::test;

HINSTANCE Module() {
    static int tag;
    return reinterpret_cast<HINSTANCE>(&tag);
}

TEST(ImageLists, AStripBitmapBecomesSquareImagesWithTheMaskColourTransparent) {
    qv::ui::EnsureApplication();
    const COLORREF mask = RGB(0x7B, 0x7C, 0x7D);  // 0x7D7C7B
    QImage strip(48, 16, QImage::Format_RGB32);
    strip.fill(QColor(0x7B, 0x7C, 0x7D));
    for (int i = 0; i < 3; ++i)
        for (int y = 4; y < 12; ++y)
            for (int x = 4; x < 12; ++x) strip.setPixelColor(16 * i + x, y, QColor(i == 1 ? 200 : 0, 0, i == 2 ? 200 : 0));
    qv::ui::RegisterBitmap(Module(), 11476, strip);

    long size = -1, count = -1;
    HIMAGELIST list = CreateImageList(Module(), 11476, mask, &size, &count);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(size, 16);
    EXPECT_EQ(count, 3);
    CDC dc;
    dc.CreateCompatibleDC(nullptr);
    CBitmap target;
    target.CreateBitmap(16, 16, 1, 32, nullptr);
    CBitmap* old = dc.SelectObject(&target);
    dc.FillSolidRect(0, 0, 16, 16, RGB(255, 255, 255));
    ASSERT_TRUE(ImageList_Draw(list, 1, dc.GetSafeHdc(), 0, 0, ILD_TRANSPARENT));
    EXPECT_EQ(dc.GetPixel(8, 8), RGB(200, 0, 0)) << "the second image";
    EXPECT_EQ(dc.GetPixel(1, 1), RGB(255, 255, 255)) << "the mask colour lets the ground through";
    dc.SelectObject(old);
    ImageList_Destroy(list);

    size = count = -1;
    EXPECT_EQ(CreateImageList(Module(), 4711, mask, &size, &count), nullptr);
    EXPECT_EQ(size, 0) << "no bitmap, no list, and the sizes say so";
    EXPECT_EQ(count, 0);
    EXPECT_EQ(CreateImageList(Module(), 4711, mask, nullptr, nullptr), nullptr);
}

// The bytes of a picture as the data base gives them: a byte array in a variant.
COleVariant PictureBytes(const QImage& image, const char* format) {
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ARRAY | VT_UI1;
    v.parray = SafeArrayCreateVector(VT_UI1, 0, ULONG(data.size()));
    void* raw = nullptr;
    SafeArrayAccessData(v.parray, &raw);
    std::memcpy(raw, data.constData(), std::size_t(data.size()));
    SafeArrayUnaccessData(v.parray);
    COleVariant result(v);
    VariantClear(&v);
    return result;
}

class PictureControl : public ::testing::Test {
protected:
    void SetUp() override {
        qv::ui::EnsureApplication();
        ASSERT_TRUE(form.CreateEx(0, AfxRegisterWndClass(0), L"Kurs", WS_OVERLAPPED, CRect(0, 0, 300, 200), nullptr, 0));
        form.ShowWindow(SW_SHOW);
    }
    CWnd form;
};

TEST_F(PictureControl, ALogoIsShownWholeAndCentredOnTheBackgroundColour) {
    CQvImageViewCtrl logo;
    ASSERT_TRUE(logo.Create(WS_VISIBLE, CRect(10, 10, 110, 60), &form, 12));
    const DWORD ground = RGB(230, 240, 255);
    logo.SetProperty(DISPID_BACKCOLOR, VT_UI4, ground);
    EXPECT_EQ(logo.GetBackColor(), COLORREF(ground));
    EXPECT_FALSE(logo.HasPicture());
    EXPECT_EQ(PixelAt(logo.m_hWnd, 50, 25), COLORREF(ground)) << "without a picture only the ground";

    // A wide red logo of 200 x 50 goes into 100 x 50: halved, with ground above and below.
    QImage red(200, 50, QImage::Format_RGB32);
    red.fill(QColor(200, 0, 0));
    const COleVariant bytes = PictureBytes(red, "PNG");
    logo.SetProperty(QVIMAGEVIEW_DISPID_PICTURE, VT_VARIANT, &bytes);
    EXPECT_TRUE(logo.HasPicture());
    EXPECT_EQ(PixelAt(logo.m_hWnd, 50, 25), RGB(200, 0, 0));
    EXPECT_EQ(PixelAt(logo.m_hWnd, 50, 3), COLORREF(ground)) << "the proportions are kept";
    EXPECT_EQ(PixelAt(logo.m_hWnd, 50, 47), COLORREF(ground));
    COleVariant back;
    logo.GetProperty(QVIMAGEVIEW_DISPID_PICTURE, VT_VARIANT, &back);
    EXPECT_EQ(back.vt, VT_ARRAY | VT_UI1) << "the bytes come back as given";

    // No logo: an empty value clears it.
    COleVariant none;
    logo.SetProperty(QVIMAGEVIEW_DISPID_PICTURE, VT_VARIANT, &none);
    EXPECT_FALSE(logo.HasPicture());
    EXPECT_EQ(PixelAt(logo.m_hWnd, 50, 25), COLORREF(ground));
    logo.GetProperty(QVIMAGEVIEW_DISPID_PICTURE, VT_VARIANT, &back);
    EXPECT_EQ(back.vt, VT_EMPTY);
}

TEST_F(PictureControl, BytesThatAreNoPictureLeaveItEmptyAndATemplateControlIsTakenOver) {
    CQvImageViewCtrl::RegisterClass();
    CWnd raw;
    ASSERT_TRUE(raw.Create(QVIMAGEVIEW_CLASSNAME, L"", WS_CHILD | WS_VISIBLE, CRect(0, 0, 40, 40), &form, 12));
    const HWND h = raw.Detach();
    CQvImageViewCtrl logo;
    ASSERT_TRUE(logo.SubclassWindow(h)) << "as DDX_Control does with the template's control";
    logo.SetBackColor(RGB(0, 0, 0));
    QImage small(8, 8, QImage::Format_RGB32);
    small.fill(QColor(0, 0, 220));
    const COleVariant jpeg = PictureBytes(small, "BMP");
    ASSERT_TRUE(logo.SetPicture(jpeg));
    EXPECT_EQ(PixelAt(logo.m_hWnd, 20, 20), RGB(0, 0, 220)) << "a small picture is not blown up";
    EXPECT_EQ(PixelAt(logo.m_hWnd, 2, 2), RGB(0, 0, 0));

    const COleVariant text(L"kein Bild");
    EXPECT_FALSE(logo.SetPicture(text));
    EXPECT_FALSE(logo.HasPicture());

    // A worker may set it too (the GUI thread runs meanwhile, as the picture is put there).
    std::atomic<bool> done{false};
    std::thread worker([&] {
        logo.SetPicture(jpeg);
        done = true;
    });
    EXPECT_TRUE(WaitFor([&] { return done.load(); }));
    worker.join();
    EXPECT_TRUE(logo.HasPicture());
}

}  // namespace
