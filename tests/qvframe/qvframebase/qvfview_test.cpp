// Views and settings pages in the frame: the view dialog in the frame's pane, the rights check
// with its deny window and view-bar entry, the menus and accelerators that follow the view, and
// the settings page that loads on show and saves on hide under its rights.
#include "denywindow.h"
#include "frametest.h"
#include "qvui.h"
#include "qvwinapp.h"
#include "qtwidget.h"

#include <QColor>
#include <QImage>
#include <QWidget>

namespace frametest {
namespace {

constexpr RECT kPane{0, 0, 640, 480};

class Views : public FrameTest {
protected:
    void SetUp() override {
        FrameTest::SetUp();
        ASSERT_TRUE(pane.CreateEx(0, AfxRegisterWndClass(0), L"Pane", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 640, 480,
                                  nullptr, nullptr));
    }
    void TearDown() override {
        host->CloseAll();
        if (pane.GetSafeHwnd()) pane.DestroyWindow();
        FrameTest::TearDown();
    }
    // The view started by the frame; the frame holds it.
    CTestView* Open(BOOL bSecured = TRUE) {
        auto* view = new CTestView(bSecured);
        IQvFInit* init = nullptr;
        view->ExternalQueryInterface(&IID_IQvFInit, reinterpret_cast<void**>(&init));
        view->ExternalRelease();
        EXPECT_EQ(host->AddView(TEST_VIEW_PROGID, init), S_OK);
        return view;
    }
    HRESULT Show() { return host->ActivateView(TEST_VIEW_PROGID, pane.GetSafeHwnd(), kPane); }
    IQvFViewControl* Control() { return host->FindView(TEST_VIEW_PROGID)->pControl; }
    CWnd* DenyWindow() { return pane.GetDlgItem(QVF_DENYWINDOW_ID); }
    BOOL Access() {
        BOOL access = FALSE;
        host->FindView(TEST_VIEW_PROGID)->pItem->get_Access(&access);
        return access;
    }

    CWnd pane;
};

TEST_F(Views, AUserWithoutRightsSeesTheDenyWindowInsteadOfTheDialog) {
    security.Set(GUID_TestViewSecurity, 0);
    CTestView* view = Open();
    ASSERT_EQ(Show(), S_OK);

    CWnd* deny = DenyWindow();
    ASSERT_NE(deny, nullptr);
    CString text;
    deny->GetWindowText(text);
    EXPECT_EQ(text, QVF_DEFAULT_DENY_TEXT);
    EXPECT_TRUE(deny->IsWindowVisible());
    EXPECT_FALSE(view->Dialog()->IsWindowVisible());
    EXPECT_FALSE(Access());
    EXPECT_EQ(TraceWith(L"CQvFViewDlg::CreateDenyWindow() with Default Text").size(), 1u);
    // The hint is drawn in red near the top, "QvSecurity" in black at the lower right.
    const QImage picture = qv::ui::WidgetOf(deny->GetSafeHwnd())->grab().toImage();
    auto count = [&](QRect area, auto test) {
        int n = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x) n += test(QColor(picture.pixel(x, y)));
        return n;
    };
    const QRect whole = picture.rect();
    EXPECT_GT(count(QRect(0, 20, whole.width(), 40), [](QColor c) { return c.red() > 150 && c.green() < 60; }), 20);
    EXPECT_GT(count(QRect(whole.width() - 100, whole.height() - 15, 100, 15),
                    [](QColor c) { return c.red() < 60 && c.green() < 60 && c.blue() < 60; }),
              5);

    // Rights are checked again each time the view is shown; hiding removes the deny window.
    security.Set(GUID_TestViewSecurity, 0x1);
    ASSERT_EQ(Control()->ShowView(FALSE), S_OK);
    EXPECT_EQ(DenyWindow(), nullptr);
    ASSERT_EQ(Control()->ShowView(TRUE), S_OK);
    EXPECT_EQ(DenyWindow(), nullptr);
    EXPECT_TRUE(view->Dialog()->IsWindowVisible());
    EXPECT_TRUE(Access());
}

TEST_F(Views, ANegativeMaskOrAFailedLoadDeniesToo) {
    security.Set(GUID_TestViewSecurity, long(0x80000001u));
    CTestView* view = Open();
    ASSERT_EQ(Show(), S_OK);
    EXPECT_NE(DenyWindow(), nullptr);

    security.fail = E_ACCESSDENIED;
    Control()->ShowView(FALSE);
    EXPECT_EQ(Control()->ShowView(TRUE), E_ACCESSDENIED);
    EXPECT_NE(DenyWindow(), nullptr);
    EXPECT_FALSE(view->Dialog()->IsWindowVisible());
}

TEST_F(Views, AViewWithoutServerGUIDOrWithoutTheFramesCheckIsAlwaysGranted) {
    security.Set(GUID_TestViewSecurity, 0);
    CTestView* view = Open(FALSE);
    ASSERT_EQ(Show(), S_OK);
    EXPECT_EQ(DenyWindow(), nullptr);
    EXPECT_TRUE(view->Dialog()->IsWindowVisible());
    EXPECT_TRUE(Access());
    host->CloseView(TEST_VIEW_PROGID);

    host->SetFrameValue(0);
    CTestView* secured = Open(TRUE);
    ASSERT_EQ(Show(), S_OK);
    EXPECT_EQ(DenyWindow(), nullptr);
    EXPECT_TRUE(secured->Dialog()->IsWindowVisible());
}

TEST_F(Views, ForcedModesOverrideTheRights) {
    security.Set(GUID_TestViewSecurity, 0x1);
    CTestView* view = Open();
    ASSERT_EQ(Show(), S_OK);
    EXPECT_EQ(view->Dialog()->OnApplySecurity(CString(L"Gesperrt"), 0, 3), S_OK);
    CWnd* deny = DenyWindow();
    ASSERT_NE(deny, nullptr);
    CString text;
    deny->GetWindowText(text);
    EXPECT_EQ(text, L"Gesperrt");
    // A second deny window replaces the first.
    EXPECT_EQ(view->Dialog()->OnApplySecurity(CString(L"Noch gesperrt"), IDB_TEST_VIEW, 3), S_OK);
    DenyWindow()->GetWindowText(text);
    EXPECT_EQ(text, L"Noch gesperrt");
    EXPECT_TRUE(view->Dialog()->GetDenyWindow()->HasBitmap());

    security.Set(GUID_TestViewSecurity, 0);
    EXPECT_EQ(view->Dialog()->OnApplySecurity(CString(L"Gesperrt"), 0, 2), S_OK);
    EXPECT_EQ(DenyWindow(), nullptr);
    EXPECT_TRUE(view->Dialog()->IsWindowVisible());
}

TEST_F(Views, TheFrameCreatesMovesAndLabelsTheView) {
    security.Set(GUID_TestViewSecurity, 0x1);
    CTestView* view = Open();
    const QvFrameView* entry = host->FindView(TEST_VIEW_PROGID);
    EXPECT_EQ(entry->strCaption, L"Ausbildung");
    EXPECT_EQ(entry->strGroup, L"Hauptmodule");
    EXPECT_EQ(entry->strPane, L"PANE-0");
    EXPECT_EQ(entry->lValue, 10);
    ASSERT_NE(entry->hImageList, nullptr);
    EXPECT_EQ(ImageList_GetImageCount(entry->hImageList), 1);

    ASSERT_EQ(Show(), S_OK);
    EXPECT_EQ(Control()->CreateView(pane.GetSafeHwnd()), S_FALSE);
    ASSERT_EQ(Control()->MoveView(RECT{10, 20, 310, 220}), S_OK);
    CRect rc;
    view->Dialog()->GetWindowRect(&rc);
    pane.ScreenToClient(&rc);
    EXPECT_EQ(rc.left, 10);
    EXPECT_EQ(rc.top, 20);
    EXPECT_EQ(rc.Width(), 300);
    EXPECT_EQ(rc.Height(), 200);

    BSTR name = nullptr;
    EXPECT_EQ(Control()->GetServerNameText(&name), S_OK);
    EXPECT_EQ(Str(name), TEST_VIEW_PROGID);
    SysFreeString(name);
    // The shown view's caption names the module's message boxes.
    ASSERT_NE(QvFGetModuleApp(), nullptr);
    EXPECT_STREQ(QvFGetModuleApp()->m_pszAppName, L"Ausbildung");
}

TEST_F(Views, LabelsWithoutBitmapOrOrder) {
    CTestView view(FALSE);
    view.SetBitmapID(0);
    view.SetViewValue(-4);
    HIMAGELIST list = reinterpret_cast<HIMAGELIST>(1);
    long size = 5, count = 5;
    EXPECT_EQ(view.GetImageList(&list, &size, &count), E_FAIL);
    EXPECT_EQ(list, nullptr);
    EXPECT_EQ(size, 0);
    EXPECT_EQ(count, 0);
    long value = 7;
    EXPECT_EQ(view.GetViewValue(&value), S_OK);
    EXPECT_EQ(value, 0);

    CQvFView empty;
    EXPECT_EQ(empty.CreateView(pane.GetSafeHwnd()), E_FAIL);
}

TEST_F(Views, MenusFollowTheViewWhileItIsShown) {
    security.Set(GUID_TestViewSecurity, 0x1);
    CTestView* view = Open();
    ASSERT_TRUE(view->AddMenu(IDR_TEST_MENU, FALSE));
    ASSERT_TRUE(view->SetAccel(FCONTROL, 'N', L"KURS-NEU", FALSE));
    ASSERT_TRUE(view->SetAccel(FCONTROL, 'L', L"KURS-LISTE-KEY", TRUE));
    auto* neu = static_cast<CQvFrameMenuItem*>(host->Menu().Find(L"KURS-NEU"));

    ASSERT_EQ(Show(), S_OK);
    EXPECT_TRUE(neu->m_bEnabled);
    EXPECT_TRUE(host->Menu().Find(L"KURS-MENU")->m_bEnabled);
    EXPECT_EQ(host->FindAccel('N', FCONTROL), L"KURS-NEU");

    ASSERT_EQ(Control()->ShowView(FALSE), S_OK);
    EXPECT_FALSE(neu->m_bEnabled);
    EXPECT_FALSE(host->Menu().Find(L"KURS-MENU")->m_bEnabled);
    EXPECT_EQ(host->FindAccel('N', FCONTROL), L"");
    EXPECT_EQ(host->FindAccel('L', FCONTROL), L"KURS-LISTE-KEY");

    // Shown but denied: the entries stay off.
    security.Set(GUID_TestViewSecurity, 0);
    ASSERT_EQ(Control()->ShowView(TRUE), S_OK);
    EXPECT_NE(DenyWindow(), nullptr);
    EXPECT_FALSE(neu->m_bEnabled);
    EXPECT_EQ(host->FindAccel('N', FCONTROL), L"");
}

TEST_F(Views, ClosingReachesTheDialogFirstAndReleasesEverything) {
    security.Set(GUID_TestViewSecurity, 0x1);
    CTestView* view = Open();
    ASSERT_EQ(Show(), S_OK);
    CTestViewDlg* dialog = view->Dialog();
    EXPECT_FALSE(dialog->IsClosing());
    ASSERT_EQ(host->FindView(TEST_VIEW_PROGID)->pInit->Close(), S_OK);
    EXPECT_TRUE(dialog->IsClosing());
    ASSERT_EQ(host->CloseView(TEST_VIEW_PROGID), S_OK);
    EXPECT_EQ(CTestView::s_nAlive, 0);
    EXPECT_EQ(host->ControlSinkCount(), 0u);
    const auto lines = TraceWith(L"OnFinalRelease() called for: 'CQvFViewDlg'");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind(L"QvFViewDlg: ", 0), 0u);
    EXPECT_EQ(TraceWith(L"OnFinalRelease() called for: 'Qovaro.Test.FView'").size(), 1u);
}

// ---- settings pages

class SetupPages : public Views {
protected:
    void TearDown() override {
        if (control) control->Release();
        Views::TearDown();
    }
    CTestSetupDlg* NewPage() {
        page = new CTestSetupDlg;
        control = static_cast<IQvFSetupViewControl*>(page->GetInterface(&IID_IQvFSetupViewControl));
        return page;
    }
    BOOL CanLoad() {
        BOOL b = FALSE;
        EXPECT_EQ(control->CanLoad(&b), S_OK);
        return b;
    }
    void Security(const GUID& function, long lSwitch) {
        BSTR text = CQvGUID(function).GetGUID(FALSE).AllocSysString();
        EXPECT_EQ(control->SetSecurity(text, lSwitch), S_OK);
        SysFreeString(text);
    }

    CTestSetupDlg* page = nullptr;
    IQvFSetupViewControl* control = nullptr;
};

TEST_F(SetupPages, CanLoadFollowsTheRightsOfTheFunction) {
    NewPage();
    security.Set(GUID_TestSetupSecurity, 0);
    EXPECT_TRUE(CanLoad());  // no function
    Security(GUID_TestSetupSecurity, 0);
    EXPECT_TRUE(CanLoad());  // the check is off
    Security(GUID_TestSetupSecurity, 1);
    EXPECT_FALSE(CanLoad());
    auto entries = logger.Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].source, L"QvFrameBase");
    EXPECT_EQ(entries[0].level, QVDATALOGGER_DEBUG);
    EXPECT_EQ(CQvGUID(entries[0].message.c_str()), CQvGUID(L"E000FA6D-737E-461A-8AA7-05CC3F5BA95A"));
    EXPECT_EQ(entries[0].text, L"CQvFSetupDlg::CanLoad() No rights to load the setup available");

    security.Set(GUID_TestSetupSecurity, long(0x80000010u));
    EXPECT_FALSE(CanLoad());
    security.Set(GUID_TestSetupSecurity, 0x10);
    EXPECT_TRUE(CanLoad());

    security.fail = E_ACCESSDENIED;
    EXPECT_FALSE(CanLoad());
    entries = logger.Entries();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[2].level, QVDATALOGGER_ERROR);
    EXPECT_EQ(CQvGUID(entries[2].message.c_str()), CQvGUID(L"538210C2-0D81-4CC5-B4D8-41CB93353FDE"));
}

TEST_F(SetupPages, TheFunctionIsSetOnceTheSwitchEveryTime) {
    NewPage();
    Security(GUID_TestSetupSecurity, 1);
    Security(GUID_TestViewSecurity, 0);
    EXPECT_EQ(page->GetSecFunction(), CQvGUID(GUID_TestSetupSecurity));
    EXPECT_EQ(page->GetSecSwitch(), 0);
}

TEST_F(SetupPages, SettingsLoadOnShowAndSaveOnHideWhenChanged) {
    NewPage();
    HWND hWnd = pane.GetSafeHwnd();
    ASSERT_EQ(control->CreateView(&hWnd), S_OK);
    EXPECT_EQ(hWnd, page->GetSafeHwnd());
    EXPECT_EQ(control->ShowView(TRUE), S_OK);
    EXPECT_EQ(page->nLoads, 1);
    EXPECT_TRUE(page->IsWindowVisible());
    EXPECT_EQ(control->ShowView(FALSE), S_OK);
    EXPECT_EQ(page->nSaves, 0);  // nothing changed

    control->ShowView(TRUE);
    page->SetModified();
    EXPECT_EQ(control->ShowView(FALSE), S_OK);
    EXPECT_EQ(page->nLoads, 2);
    EXPECT_EQ(page->nSaves, 1);
    EXPECT_FALSE(page->IsModified());
}

TEST_F(SetupPages, AFailedSaveIsReportedAndTriedAgainOnTheNextHide) {
    NewPage();
    HWND hWnd = pane.GetSafeHwnd();
    ASSERT_EQ(control->CreateView(&hWnd), S_OK);
    control->ShowView(TRUE);
    page->SetModified();
    page->hrSave = E_ACCESSDENIED;
    backend.ExpectReport();
    EXPECT_EQ(control->ShowView(FALSE), S_OK);
    const auto reports = backend.Log().Records(qv::InteractionKind::Report);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].caption, L"CQvFSetupDlg::Show");
    EXPECT_TRUE(page->IsModified());

    page->hrSave = S_OK;
    control->ShowView(TRUE);
    control->ShowView(FALSE);
    EXPECT_EQ(page->nSaves, 2);
    EXPECT_FALSE(page->IsModified());
}

TEST_F(SetupPages, LabelsForTheSettingsWindow) {
    NewPage();
    page->SetSetupName(L"SETUPVIEW-TEST");
    long value = 0;
    control->GetViewValue(&value);
    EXPECT_EQ(value, 99);
    page->SetViewValue(2);
    page->SetSetupName(L"SETUPVIEW-TEST");
    control->GetViewValue(&value);
    EXPECT_EQ(value, 2);

    HIMAGELIST list = nullptr;
    long size = 0, count = 0;
    EXPECT_EQ(control->GetImageList(&list, &size, &count), S_FALSE);
    page->SetSetupID(IDB_TEST_VIEW);
    EXPECT_EQ(control->GetImageList(&list, &size, &count), S_OK);
    EXPECT_EQ(size, 32);
    ImageList_Destroy(list);

    // The page answers the view-control interface with its own.
    IUnknown* view = nullptr;
    ASSERT_EQ(control->QueryInterface(IID_IQvFViewControl, reinterpret_cast<void**>(&view)), S_OK);
    EXPECT_EQ(static_cast<void*>(view), static_cast<void*>(control));
    view->Release();
}

}  // namespace
}  // namespace frametest
