// The status icons, the record browser and back/forward bars and the settings-page base, in the
// sample module's view in the host frame with the document-management server running beside it.
#include "framework_fixture.h"

#include "docmngmtint.h"
#include "droptargetthread.h"
#include "icons_pages.h"
#include "nqcommon.h"
#include "nqframeworkres.h"
#include "qvcomserver.h"
#include "qvsysinfo.h"
#include "serverhost.h"
#include "uidriver.h"
#include "utf.h"

#include <QMimeData>
#include <QWidget>
#include <QUrl>

#include <filesystem>
#include <fstream>

#include <unistd.h>

namespace fwtest {
namespace {

using namespace qv::ui::test;

class Icons : public Framework {
protected:
    void SetUp() override {
        Framework::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_EQ(qvtest::RegisterModule(QV_DOCMNGMT_MODULE), S_OK);
        ASSERT_EQ(qv::servers::StartRunningServer(QVDOCMNGMT_PROGID), S_OK);
        OpenView();
        kurs = AddKurs("Atemschutz Grundkurs");
        other = AddKurs("Motorsäge");
        ASSERT_EQ(Dlg()->Navigate(kurs, 0), S_OK);
    }
    void TearDown() override {
        if (Dlg()) CloseView();
        qv::servers::StopRunningServer(QVDOCMNGMT_PROGID);
        qv::nq::SetEnterpriseEdition(std::nullopt);
        Framework::TearDown();
    }
    HWND IconWnd() const { return Item(Dlg()->GetSafeHwnd(), IDC_NQ_ICON_DOCMNGMT); }
    CStatusIconDocMngmt* Icon() const {
        return dynamic_cast<CStatusIconDocMngmt*>(CWnd::FromHandlePermanent(IconWnd()));
    }
    std::string Documents(long table, long record) {
        return SqlText("SELECT count(*) FROM DocMngmt WHERE lTableID = " + std::to_string(table) +
                       " AND lFkID = " + std::to_string(record));
    }
    std::string File(const std::string& name) {
        const std::string path = env->dir.file(name);
        std::ofstream(path, std::ios::binary) << "%PDF-1.4 Übungsplan";
        return path;
    }
    void AddDocument(long table, long record, const std::string& editPath = "", const std::string& lock = "") {
        const std::string image = std::to_string(++nextImage);
        Sql("INSERT INTO DocImage (lDocImageID, strFileName, strEditPath, strLock) VALUES (" + image + ", 'd" + image +
            ".pdf', '" + editPath + "', '" + lock + "')");
        Sql("INSERT INTO DocMngmt (lDocMngmtID, lTableID, lFkID, lDocImageID) VALUES (" + image + ", " +
            std::to_string(table) + ", " + std::to_string(record) + ", " + image + ")");
    }

    long kurs = 0, other = 0;
    long nextImage = 100;
};

// ---- the document icon

TEST_F(Icons, ADroppedFileBecomesADocumentOfTheRecordTheFileStaysAndTheIconRecounts) {
    CStatusIconDocMngmt* icon = Icon();
    ASSERT_NE(icon, nullptr);
    ASSERT_NE(icon->m_pDropThread, nullptr) << "the parent dialog started the drop thread";
    EXPECT_EQ(icon->m_nBitmapID, UINT(IDB_NQ_DOC_NONE));
    EXPECT_EQ(ToolTip(IconWnd()), NQLoadString(IDS_NQ_DOC_NONE).wstr());

    const std::string path = File("Übungsplan.pdf");
    ASSERT_TRUE(WaitFor([&] { return DropFiles(IconWnd(), {path}); }));
    EXPECT_EQ(Documents(39, kurs), "1");
    EXPECT_EQ(SqlText("SELECT strFileName FROM DocImage"), "Übungsplan.pdf");
    EXPECT_TRUE(std::filesystem::exists(path)) << "the store keeps a copy";
    EXPECT_EQ(icon->m_nBitmapID, UINT(IDB_NQ_DOC_ONE));
    EXPECT_EQ(ToolTip(IconWnd()), NQLoadString(IDS_NQ_DOC_ONE).wstr());

    // Shift asks for a move; the source would then delete the file. The drop is a copy all the
    // same: the document is added and the file stays.
    ASSERT_TRUE(DropFiles(IconWnd(), {path}, Qt::ShiftModifier));
    EXPECT_EQ(Documents(39, kurs), "2");
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(icon->m_nBitmapID, UINT(IDB_NQ_DOC_MANY));
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
    COleDataObject data(&mime);
    CDocMngmtDropTarget target;
    target.m_pIcon = icon;
    target.OnDragEnter(nullptr, &data, MK_SHIFT, CPoint());
    EXPECT_EQ(target.OnDragOver(nullptr, &data, MK_SHIFT | MK_LBUTTON, CPoint()), DROPEFFECT_COPY);
    // A drop whose effect the source refused adds nothing.
    target.OnDrop(nullptr, &data, DROPEFFECT_NONE, CPoint());
    EXPECT_EQ(Documents(39, kurs), "2");

    // Closing the view stops the thread; its target goes with it.
    const HWND iconWnd = IconWnd();
    CloseView();
    EXPECT_FALSE(::IsWindow(iconWnd) && DropFiles(iconWnd, {path}));
    EXPECT_EQ(Documents(39, kurs), "2");
}

TEST_F(Icons, DropsWithoutTheRightOnARecordOrOfAMissingFileChangeNothing) {
    const std::string path = File("bericht.pdf");
    ASSERT_TRUE(WaitFor([&] { return Icon()->m_pDropThread && Icon()->m_pDropThread->m_bReady; }));
    struct Case {
        const char* what;
        long rights;
        long record;
        std::string file;
        bool central;
    };
    const Case cases[] = {
        {"no right 0x100 on the view's function", 0x001, kurs, path, false},
        {"no record shown", 0x101, 0, path, false},
        {"a file that is gone", 0x101, kurs, env->dir.file("weg.pdf"), false},
        {"a course of the central installation without the user's SecKurs row", 0x101, kurs, path, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        security.Set(sample::GUID_SampleViewFunction, c.rights);
        qv::nq::SetEnterpriseEdition(c.central);
        ASSERT_EQ(Dlg()->Navigate(c.record, 0), S_OK);
        EXPECT_FALSE(DropFiles(IconWnd(), {c.file}));
        EXPECT_EQ(SqlText("SELECT count(*) FROM DocMngmt"), "0");
        EXPECT_EQ(Icon()->m_nBitmapID, UINT(IDB_NQ_DOC_NONE));
    }
    EXPECT_EQ(Icon()->m_Sec.GetRights(), 0u) << "without his row the user may not even read the course's documents";
    // The central installation's right on the course admits the drop.
    Sql("INSERT INTO SecKurs (lKursID, lQvSecUserID, lRight) VALUES (" + std::to_string(kurs) + ", 5, 257)");
    EXPECT_TRUE(DropFiles(IconWnd(), {path}));
    EXPECT_EQ(Documents(39, kurs), "1");
}

TEST_F(Icons, TheCountTakesTheRecordsOwnDocumentsAndThisUsersDocumentsOutForEditing) {
    Sql("INSERT INTO Konto (lKontoID, guidID) VALUES (501, 'G1'), (502, 'G1'), (503, 'G2')");
    Sql("INSERT INTO Organisation (lOrganisationID, guidID) VALUES (601, 'O1'), (602, 'O1')");
    Sql("INSERT INTO Artikeljournal (lArtikeljournalID, lArtikelID) VALUES (701, 801)");
    AddDocument(999, 501);
    AddDocument(999, 502);
    AddDocument(63, 501);  // an organisation's, not the account's
    AddDocument(999, 503);
    AddDocument(63, 602);
    AddDocument(20, 801);
    AddDocument(35, 701);
    for (int i = 0; i < 5; ++i) AddDocument(42, 901);
    struct Case {
        const char* what;
        long table, record, journal;
        UINT bitmap;
    };
    const Case cases[] = {
        {"an account counts its own documents of every row sharing its GUID", 999, 501, 0, IDB_NQ_DOC_MANY},
        {"an account alone", 999, 503, 0, IDB_NQ_DOC_ONE},
        {"an organisation shares its GUID's documents", 63, 601, 0, IDB_NQ_DOC_ONE},
        {"an article with its journal", 20, 801, 1, IDB_NQ_DOC_MANY},
        {"an article without its journal", 20, 801, 0, IDB_NQ_DOC_ONE},
        {"no record", 39, 0, 0, IDB_NQ_DOC_NONE},
        {"a run with five", 42, 901, 0, IDB_NQ_DOC_MANY},
    };
    CStatusIconDocMngmt* icon = Icon();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        options.Set(-2020, L"ShowJournalWithArtikel", c.journal);
        icon->SetRecord(c.table, c.record, L"");
        EXPECT_EQ(icon->m_nBitmapID, c.bitmap);
    }
    EXPECT_EQ(icon->m_strToolTip, NQLoadString(IDS_NQ_DOC_MANY));

    // A document of any record taken out by this user on this computer; another user's does not count,
    // also where his name differs only in case or matches a LIKE wildcard of this user's name.
    qvtest::ScopedEnv user("USER", "hans_m");
    const std::string tag = U(CLockDbRecord().m_strOwnerTag);
    AddDocument(45, 1, "/tmp/edit/a.pdf", "2026-01-05 10:00:00|WS09|fremd");
    AddDocument(45, 3, "/tmp/edit/c.pdf", "2026-01-05 10:00:00" + tag.substr(0, tag.size() - 6) + "hans.m");
    AddDocument(45, 4, "/tmp/edit/d.pdf", "2026-01-05 10:00:00" + tag.substr(0, tag.size() - 6) + "HANS_M");
    icon->Refresh();
    EXPECT_EQ(icon->m_nBitmapID, UINT(IDB_NQ_DOC_MANY));
    // Several documents: a stack, the sheet behind showing its corner.
    const QWidget* iconWidget = Widget(IconWnd());
    EXPECT_EQ(PixelAt(IconWnd(), iconWidget->width() / 2 - 8 + 6, iconWidget->height() / 2 - 8 + 1), RGB(0x40, 0x40, 0x40));
    EXPECT_NE(PixelAt(IconWnd(), iconWidget->width() / 2 - 8 + 12, iconWidget->height() / 2 - 8 + 11),
              RGB(0xF0, 0xC0, 0x20)) << "no pencil while none is out for editing";
    // The document store writes its lock as every client of the database does: the computer and the login.
    AddDocument(45, 2, "/tmp/edit/b.pdf", "2026-01-05 10:00:00|" + U(QvGetComputerName(0, 0)) + "|hans_m");
    icon->Refresh();
    EXPECT_EQ(icon->m_nBitmapID, UINT(IDB_NQ_DOC_MANY_EDITING));
    EXPECT_EQ(PixelAt(IconWnd(), iconWidget->width() / 2 - 8 + 12, iconWidget->height() / 2 - 8 + 11),
              RGB(0xF0, 0xC0, 0x20)) << "the pencil over the stack";
    EXPECT_EQ(PixelAt(IconWnd(), iconWidget->width() / 2 - 8 + 14, iconWidget->height() / 2 - 8 + 8), RGB(0x20, 0x20, 0x20));
    icon->SetRecord(39, other, L"");
    EXPECT_EQ(icon->m_nBitmapID, UINT(IDB_NQ_DOC_NONE_EDITING));
    EXPECT_EQ(icon->m_strToolTip, NQLoadString(IDS_NQ_DOC_NONE_EDITING));

    // A disabled icon hides itself and reads nothing.
    icon->m_bEnabled = FALSE;
    icon->SetRecord(42, 901, L"");
    EXPECT_FALSE(Visible(IconWnd()));
    EXPECT_EQ(icon->m_lRecordID, other);
}

TEST_F(Icons, AClickOpensTheRecordsDocumentsAndTheIconRecountsWhenTheyClose) {
    AddDocument(39, kurs);
    Icon()->Refresh();
    script.ExpectModal(30100, [&](qv::IModalDialog& modal) {
        const HWND dlg = dynamic_cast<CDialog&>(modal).GetSafeHwnd();
        EXPECT_EQ(Rows(Item(dlg, 1000)), 1);
        AddDocument(39, kurs);  // added in the dialog
        Click(dlg, IDOK);
    });
    ASSERT_TRUE(Click(IconWnd()));
    EXPECT_EQ(script.Pending(), 0u);
    EXPECT_EQ(Icon()->m_nBitmapID, UINT(IDB_NQ_DOC_MANY));

    // With no record shown a click opens nothing.
    ASSERT_EQ(Dlg()->Navigate(0, 0), S_OK);
    ASSERT_TRUE(Click(IconWnd()));
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Modal), 1u);
}

// ---- the record browser and back/forward bars

TEST_F(Icons, TheBrowserBarStepsThroughItsSelectionAndReportsAFailingStep) {
    AddDocument(39, other);
    CStatic placeholder;
    ASSERT_TRUE(placeholder.Create(L"", WS_CHILD, CRect(70, 0, 530, 34), Dlg(), 990));
    iconstest::CTestSelDlg bar;
    ASSERT_EQ(bar.InitControls(Dlg(), 990), S_OK);
    bar.ShowWindow(SW_SHOW);
    const HWND h = bar.GetSafeHwnd();
    EXPECT_EQ(ToolTip(Item(h, IDC_NQ_SEL_SEARCH)), NQLoadString(IDS_NQ_SEL_SEARCH).wstr());
    CRect rc;
    bar.GetWindowRect(&rc);
    Dlg()->ScreenToClient(&rc);
    EXPECT_EQ(rc, CRect(70, 0, 530, 34)) << "the bar lies over its placeholder";
    // Made wider, the bar keeps its buttons at its right edge and its text takes the room.
    CRect last, text, wider, widerText;
    ::GetWindowRect(Item(h, IDC_NQ_SEL_LAST), &last);
    ::GetWindowRect(Item(h, IDC_NQ_SEL_TEXT), &text);
    bar.MoveWindow(70, 0, 560, 34);
    ::GetWindowRect(Item(h, IDC_NQ_SEL_LAST), &wider);
    ::GetWindowRect(Item(h, IDC_NQ_SEL_TEXT), &widerText);
    EXPECT_EQ(std::make_pair(int(wider.left - last.left), widerText.Width() - text.Width()), std::make_pair(100, 100));

    // An empty selection: next, previous and last do nothing; first shows the empty view.
    for (UINT id : {IDC_NQ_SEL_NEXT, IDC_NQ_SEL_PREV, IDC_NQ_SEL_LAST}) ASSERT_TRUE(Click(h, int(id)));
    EXPECT_EQ(Dlg()->GetRecordID(), kurs);
    ASSERT_TRUE(Click(h, IDC_NQ_SEL_FIRST));
    EXPECT_EQ(Dlg()->GetRecordID(), 0);
    EXPECT_EQ(Text(Item(h, IDC_NQ_SEL_TEXT)), L"Keine Kurse");

    bar.ids = {kurs, other};
    const struct {
        UINT button;
        long expected;
    } steps[] = {{IDC_NQ_SEL_FIRST, kurs}, {IDC_NQ_SEL_NEXT, other}, {IDC_NQ_SEL_PREV, kurs}, {IDC_NQ_SEL_LAST, other}};
    for (const auto& s : steps) {
        ASSERT_TRUE(Click(h, int(s.button)));
        EXPECT_EQ(Dlg()->GetRecordID(), s.expected);
        EXPECT_EQ(Text(Item(h, IDC_NQ_SEL_TEXT)), L"Kurs " + std::to_wstring(s.expected));
    }
    EXPECT_EQ(Icon()->m_lRecordID, other) << "the header follows the record";
    EXPECT_EQ(Icon()->m_nBitmapID, UINT(IDB_NQ_DOC_ONE));
    // The picture's key colour shows the dialog's background; its sheet is drawn.
    const QWidget* iconWidget = Widget(IconWnd());
    const int x0 = iconWidget->width() / 2 - 8, y0 = iconWidget->height() / 2 - 8;
    EXPECT_EQ(PixelAt(IconWnd(), x0, y0), Dlg()->GetBackgroundColor());
    EXPECT_EQ(PixelAt(IconWnd(), x0 + 3, y0 + 4), RGB(0x40, 0x40, 0x40));
    // Inside the sheet, three lines of writing.
    const QImage shown = Widget(IconWnd())->grab().toImage();
    std::string writing;
    for (int y = 1; y < 10; ++y) {
        for (int x = 1; x < 8; ++x) writing += shown.pixel(x0 + 3 + x, y0 + 4 + y) == qRgb(0x30, 0x60, 0xB0) ? '#' : '.';
        writing += '/';
    }
    EXPECT_EQ(writing, "......./......./.#####./......./.#####./......./.#####./......./......./");

    // The text and the search button search; the filter button filters.
    ASSERT_TRUE(Click(h, IDC_NQ_SEL_TEXT));
    ASSERT_TRUE(Click(h, IDC_NQ_SEL_SEARCH));
    ASSERT_TRUE(Click(h, IDC_NQ_SEL_FILTER));
    EXPECT_EQ(bar.searches, 2);
    EXPECT_EQ(bar.filters, 1);

    // After a save the text is read again without navigating.
    bar.suffix = L" (gespeichert)";
    EXPECT_EQ(bar.ResetSelection(), S_OK);
    EXPECT_EQ(Text(Item(h, IDC_NQ_SEL_TEXT)), L"Kurs " + std::to_wstring(other) + L" (gespeichert)");

    bar.fail = E_ACCESSDENIED;
    script.ExpectReport();
    ASSERT_TRUE(Click(h, IDC_NQ_SEL_NEXT));
    const auto reports = script.Log().Records(qv::InteractionKind::Report);
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back().caption, L"CSelDlg::OnBnNext");
    EXPECT_EQ(Dlg()->GetRecordID(), other);

    // Reset without a record over an emptied selection: the bar names the empty selection.
    bar.ids.clear();
    ASSERT_EQ(Dlg()->Navigate(0, 0), S_OK);
    EXPECT_EQ(bar.ResetSelection(), E_ACCESSDENIED) << "the failed first step is no success";
    bar.fail = S_OK;
    EXPECT_EQ(bar.ResetSelection(), S_OK);
    EXPECT_EQ(Text(Item(h, IDC_NQ_SEL_TEXT)), L"Keine Kurse");

    CStatic navPlaceholder;
    ASSERT_TRUE(navPlaceholder.Create(L"", WS_CHILD, CRect(540, 0, 640, 34), Dlg(), 991));
    CNavigateDlg nav;
    ASSERT_EQ(nav.InitControls(Dlg(), 991), S_OK);
    nav.ShowWindow(SW_SHOW);
    std::filesystem::create_directories(QV_SCREENS_DIR);
    EXPECT_TRUE(SavePng(Dlg()->GetSafeHwnd(), QV_SCREENS_DIR "/icons_header.png"));
    nav.DestroyWindow();
    bar.DestroyWindow();
}

TEST_F(Icons, BackAndForwardButtonsStepThroughTheRecordsShown) {
    qv::nq::SetNavigator([this](const NQNavigateEntry& entry) -> long {
        if (entry.kind != NQNavigateEntry::Record) return S_OK;
        INQViewControl* control = ViewControl();
        const HRESULT hr = control->NavigateTo(entry.lID, entry.lID2);
        control->Release();
        return hr;
    });
    ASSERT_EQ(Dlg()->Navigate(other, 0), S_OK);
    CStatic placeholder;
    ASSERT_TRUE(placeholder.Create(L"", WS_CHILD, CRect(540, 0, 640, 40), Dlg(), 991));
    CNavigateDlg bar;
    ASSERT_EQ(bar.InitControls(Dlg(), 991), S_OK);
    bar.ShowWindow(SW_SHOW);  // as the dialog that places it shows it: only a bar on the screen is clicked
    const HWND h = bar.GetSafeHwnd();
    EXPECT_EQ(ToolTip(Item(h, IDC_NQ_NAV_BACK)), L"Zurück");
    // Each button shows its arrow.
    for (int id : {IDC_NQ_NAV_BACK, IDC_NQ_NAV_FORWARD}) {
        const QImage image = Grab(Item(h, id), false);
        int inked = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) inked += qGray(image.pixel(x, y)) < 160;
        EXPECT_GT(inked, 5) << id;
    }
    for (int i = 0; i < 5 && Dlg()->GetRecordID() != kurs; ++i) ASSERT_TRUE(Click(h, IDC_NQ_NAV_BACK));
    EXPECT_EQ(Dlg()->GetRecordID(), kurs);
    for (int i = 0; i < 5 && Dlg()->GetRecordID() != other; ++i) ASSERT_TRUE(Click(h, IDC_NQ_NAV_FORWARD));
    EXPECT_EQ(Dlg()->GetRecordID(), other);
    bar.DestroyWindow();
}

// ---- the settings-page base

TEST_F(Icons, ASettingsPageLocksItsRowAtTheFirstChangeAndReloadsWhenAnotherUserHoldsIt) {
    iconstest::CTestSetupPage page;
    page.AddToolTipText(3301, L"Durch Kommas getrennt");
    ASSERT_TRUE(page.Create(iconstest::IDD_TEST_SETUP, &pane));
    EXPECT_EQ(Widget(page.GetDlgItem(3301)->GetSafeHwnd())->toolTip(), "Durch Kommas getrennt");
    EXPECT_TRUE(HasFocus(page.GetDlgItem(3301)->GetSafeHwnd())) << "the first field takes the typing";
    EXPECT_EQ(page.m_pScrollHelper, nullptr) << "no display height, no scrolling";
    page.SendMessage(WM_VSCROLL, MAKEWPARAM(SB_LINEDOWN, 0), 0);  // as a spin button on it sends
    EXPECT_EQ(page.GetBackgroundColor(), qv::nq::SetupBackgroundColor(GetSysColor(COLOR_BTNFACE)));

    EXPECT_EQ(page.Lock(mandant, L"Mandant", L"lMandantID"), long(eRecordEditing));
    EXPECT_TRUE(page.IsModified());
    const std::string lock = SqlText("SELECT strLock FROM Mandant WHERE lMandantID = 7");
    EXPECT_NE(lock.find(U(page.m_lock.m_strOwnerTag)), std::string::npos) << lock;
    Sql("UPDATE Mandant SET strLock = '' WHERE lMandantID = 7");
    EXPECT_EQ(page.Lock(mandant, L"Mandant", L"lMandantID"), long(eRecordEditing));
    EXPECT_EQ(SqlText("SELECT strLock FROM Mandant WHERE lMandantID = 7"), "") << "a modified page asks no more";
    EXPECT_EQ(page.loads, 0);

    page.SetModified(FALSE);
    Sql("UPDATE Mandant SET strLock = '2099-01-01 08:00:00|WS07|user1' WHERE lMandantID = 7");
    script.ExpectReport(L"WS07|user1");
    EXPECT_EQ(page.Lock(mandant, L"Mandant", L"lMandantID"), S_OK) << "the reload's result, not a lock code";
    EXPECT_EQ(page.loads, 1);
    EXPECT_FALSE(page.IsModified());
    const auto reports = script.Log().Records(qv::InteractionKind::Report);
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back().caption, L"CSetupDlg::Lock()");
    EXPECT_EQ(reports.back().text, L"Die Daten sind gesperrt von '2099-01-01 08:00:00|WS07|user1'.\nBitte versuchen Sie es später nochmals!");

    // F1 opens the page's help.
    std::vector<CString> topics;
    qv::SetHelpHandler([&](const CString& topic) {
        topics.push_back(topic);
        return true;
    });
    page.m_btnHelp.SetHelpTopic(L"Kurseinstellungen");
    MSG msg{};
    msg.hwnd = page.GetSafeHwnd();
    msg.message = WM_KEYDOWN;
    msg.wParam = VK_F1;
    page.PreTranslateMessage(&msg);
    qv::SetHelpHandler(nullptr);
    EXPECT_EQ(topics, std::vector<CString>{L"Kurseinstellungen"});
    page.SetDlgItemText(3301, L"3, 7, 12");
    page.ShowWindow(SW_SHOW);
    EXPECT_TRUE(SavePng(page.GetSafeHwnd(), QV_SCREENS_DIR "/icons_setuppage.png"));
    page.DestroyWindow();

    iconstest::CTestSetupPage tall;
    tall.m_nDisplayHeight = 900;
    ASSERT_TRUE(tall.Create(iconstest::IDD_TEST_SETUP, &pane));
    ASSERT_NE(tall.m_pScrollHelper, nullptr);
    EXPECT_EQ(tall.m_pScrollHelper->GetDisplayHeight(), 900);
    tall.DestroyWindow();
}

TEST(DroppedPaths, AShortNamePartIsLookedUpAndAnyOtherPathPassesUnchanged) {
    const auto dir = std::filesystem::temp_directory_path() / ("qvicons-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir / "BERICH~1");
    std::ofstream(dir / "bericht.pdf") << "x";
    const auto W = [](const std::filesystem::path& p) { return CString(qv::FromUtf8(p.string()).c_str()); };
    EXPECT_EQ(qv::nq::LongPathName(W(dir / "BERICH~1" / ".." / "bericht.pdf")), W(dir / "bericht.pdf"));
    EXPECT_EQ(qv::nq::LongPathName(W(dir / "FEHLT~1.PDF")), W(dir / "FEHLT~1.PDF")) << "not found";
    EXPECT_EQ(qv::nq::LongPathName(L"~/bericht.pdf"), CString(L"~/bericht.pdf"));
    std::filesystem::remove_all(dir);
}

TEST(SetupBackground, IsTheButtonFaceDarkenedStoppingAtZero) {
    EXPECT_EQ(qv::nq::SetupBackgroundColor(RGB(240, 240, 240)), RGB(220, 220, 220));
    EXPECT_EQ(qv::nq::SetupBackgroundColor(RGB(10, 30, 19)), RGB(0, 10, 0));
}

}  // namespace
}  // namespace fwtest
