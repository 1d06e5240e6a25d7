// The module dialog framework through the sample module in the host frame: pages by ProgID, the
// remembered tab, the edit protocol around the record lock, saving and cancelling over all pages,
// navigation with the save prompt, rights per page, scrolling pages; and the record lock itself.
#include "childdlg.h"
#include "framework_fixture.h"
#include "lockdbrecord.h"
#include "nqcommon.h"
#include "nqframeworkres.h"
#include "qvcomserver.h"
#include "qveventserver.h"
#include "qveventsink.h"
#include "qvfint.h"
#include "qvregvalue.h"
#include "serverhost.h"
#include "uidriver.h"
#include "utf.h"

#include <sqlite3.h>
#include <unistd.h>

#include <QBuffer>
#include <QColor>
#include <QImage>
#include <QPainter>

#include <atomic>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fwtest {
namespace {

using namespace qv::ui::test;
using namespace sample;

long RegLong(LPCWSTR name) {
    long value = -99;
    CQvRegistry::GetValue(L"Software\\Qovaro\\NQ2\\Common", name, value);
    return value;
}

// How many tabs the sample's tab control made as the view came up, before any rebuild.
long TabsAtStart() {
    long count = -1;
    CQvRegistry::GetValue(SAMPLE_VIEW_KEY, L"TabsAtStart", count);
    return count;
}

// ---- pages, tabs and the view's life cycle

TEST_F(Framework, PagesComeByProgIDInListOrderAndTheLastTabAndRecordSurviveARestart) {
    const long kurs = AddKurs("Atemschutz Grundkurs");
    Sql("INSERT INTO Kurs (lKursID, strBezeichnung, strKurzbezeichnung) VALUES (1, 'Erster', 'K1')");
    IUnknown* frame = nullptr;
    ASSERT_EQ(GetFrameIUnk(&frame), S_OK);
    const ULONG frameRefs = frame->Release();
    OpenView();
    EXPECT_EQ(Dlg()->GetRecordID(), 0) << "nothing remembered, nothing shown";
    EXPECT_EQ(TabsAtStart(), 2);
    EXPECT_EQ(TabLabels(Tabs()), (std::vector<std::wstring>{L"Daten", L"Notizen"}));
    ASSERT_EQ(Dlg()->GetTabList().size(), 2u);
    EXPECT_EQ(Dlg()->GetActiveTabName(), L"Daten");
    // The host makes the view's window before it reports the module running.
    EXPECT_EQ(startup.texts,
              (std::vector<std::wstring>{L"Lade Modul Kurse", L"Erstelle Modul Kurse", L"Initialisiere Modul Kurse"}));
    EXPECT_TRUE(Page(0)->IsActive());
    EXPECT_FALSE(Page(1)->IsActive());

    INQViewControl* control = ViewControl();
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->NavigateTo(kurs, 0), S_OK);
    EXPECT_EQ(Text(Item(Page(0)->GetSafeHwnd(), IDC_SAMPLE_NAME)), L"Atemschutz Grundkurs");
    EXPECT_EQ(Dlg()->GetThirdID(), mandant);
    // Another sub-record of the same record is shown as well.
    EXPECT_EQ(control->NavigateTo(kurs, 5), S_OK);
    EXPECT_EQ(Dlg()->GetSubRecordID(), 5);
    EXPECT_EQ(control->NavigateTo(kurs, 0), S_OK);
    EXPECT_EQ(Dlg()->GetSubRecordID(), 0);
    control->Release();

    ASSERT_TRUE(ClickTab(Tabs(), 1));
    EXPECT_EQ(Dlg()->GetActiveTabName(), L"Notizen");
    EXPECT_TRUE(Page(1)->IsActive());
    EXPECT_FALSE(Page(0)->IsActive());
    EXPECT_EQ(RegLong(L"LastTab_Kurs"), 1);
    const auto accels = [&] {
        std::vector<std::wstring> names;
        for (const QvFrameAccel& a : host->Accelerators()) names.push_back(a.strName.GetString());
        return names;
    };
    EXPECT_EQ(accels(), (std::vector<std::wstring>{L"F1", L"F5", L"CTRL-F"}));
    EXPECT_NE(host->Menu().Find(L"RefreshView"), nullptr);
    CloseView();
    ASSERT_EQ(GetFrameIUnk(&frame), S_OK);
    EXPECT_EQ(frame->Release(), frameRefs) << "the closed view holds the frame no more";
    EXPECT_EQ(RegLong(L"LastID_Kurs"), kurs);
    EXPECT_EQ(RegLong(L"LastID_Kursinstanz"), 0);
    EXPECT_TRUE(accels().empty()) << "the view's accelerators and menus leave with it";
    EXPECT_EQ(host->Menu().Find(L"RefreshView"), nullptr);
    // A remembered run that is gone: the course alone is shown.
    CQvRegistry::SetValue(L"Software\\Qovaro\\NQ2\\Common", L"LastID_Kursinstanz", 999L);

    // A third page: taking the tabs down at close must not move the remembered one.
    CQvRegistry::SetValue(SAMPLE_VIEW_KEY L"\\TabWindows", L"WindowServer2", CString(SAMPLE_PAGE_DATA_PROGID));

    startup.texts.clear();
    OpenView();
    EXPECT_EQ(startup.texts.size(), 3u) << "the pane known, the host makes the window as it opens the view";
    EXPECT_EQ(Dlg()->GetRecordID(), kurs);
    EXPECT_EQ(Dlg()->GetSubRecordID(), 0);
    EXPECT_EQ(Dlg()->GetActiveTabName(), L"Notizen");
    EXPECT_TRUE(Page(1)->IsActive());
    EXPECT_TRUE(Visible(Page(1)->GetSafeHwnd()));
    EXPECT_FALSE(Visible(Page(0)->GetSafeHwnd()));
    CloseView();
    EXPECT_EQ(RegLong(L"LastTab_Kurs"), 1);
    OpenView();
    EXPECT_EQ(Dlg()->GetActiveTabName(), L"Notizen") << "the third start too";
    // A remembered run that is there comes back with its course.
    CloseView();
    Sql("INSERT INTO Kursinstanz (lKursinstanzID, lKursID) VALUES (5, " + std::to_string(kurs) + ")");
    CQvRegistry::SetValue(L"Software\\Qovaro\\NQ2\\Common", L"LastID_Kursinstanz", 5L);
    OpenView();
    EXPECT_EQ(Dlg()->GetSubRecordID(), 5);
    // The remembered run cannot be looked up: the failure is reported and the view shows nothing.
    CloseView();
    Sql("ALTER TABLE Kursinstanz RENAME TO KursinstanzAlt");
    script.ExpectReport(L"Kursinstanz");
    OpenView();
    EXPECT_EQ(script.Pending(), 0u);
    EXPECT_EQ(Dlg()->GetRecordID(), 0);
    EXPECT_EQ(Dlg()->GetSubRecordID(), 0);
    Sql("ALTER TABLE KursinstanzAlt RENAME TO Kursinstanz");
    // Without "RestoreLastID" the view opens on no record.
    CloseView();
    options.Set(-1000, L"RestoreLastID", 0);
    OpenView();
    EXPECT_EQ(Dlg()->GetRecordID(), 0);
}

TEST_F(Framework, APageWhoseFunctionTheUserHasNoRightOnIsNotCreated) {
    security.Set(GUID_SampleNotesFunction, 0);
    OpenView();
    EXPECT_EQ(TabsAtStart(), 1);
    EXPECT_EQ(TabLabels(Tabs()), (std::vector<std::wstring>{L"Daten"}));
    EXPECT_EQ(Dlg()->GetTabList().size(), 1u);
    // A right on one's own records alone makes the page: the record shown may be one's own.
    CloseView();
    security.Set(GUID_SampleNotesFunction, 0x10000);
    OpenView();
    EXPECT_EQ(TabsAtStart(), 2);
}

TEST_F(Framework, AnUnregisteredPageIsReportedOnceAndTheOthersAppear) {
    CQvRegistry::SetValue(SAMPLE_VIEW_KEY L"\\TabWindows", L"WindowServer1", CString(L"Qovaro.Test.Tab.Fehlt"));
    CQvRegistry::SetValue(SAMPLE_VIEW_KEY L"\\TabWindows", L"WindowServer2", CString(SAMPLE_PAGE_NOTES_PROGID));
    // When the pages are made; not again when the rights are applied as the view is shown, nor
    // when they are applied anew.
    script.ExpectMessageBox(IDOK, L"TabWindow Server Qovaro.Test.Tab.Fehlt nicht registriert!",
                            [&] { EXPECT_EQ(TabsAtStart(), -1) << "told as the pages are made"; });
    OpenView();
    EXPECT_EQ(TabsAtStart(), 2);
    EXPECT_EQ(TabLabels(Tabs()), (std::vector<std::wstring>{L"Daten", L"Notizen"}));
    Dlg()->ApplyDefaultSecurity();
    EXPECT_EQ(TabLabels(Tabs()), (std::vector<std::wstring>{L"Daten", L"Notizen"}));
}

// Rights that change while the view runs: a page comes in at its listed place, or goes.
TEST_F(Framework, AppliedRightsAddAndRemovePagesAtTheirListedPlaceAndTabsAreFoundByName) {
    security.Set(GUID_SampleNotesFunction, 0);
    OpenView();
    ASSERT_EQ(TabLabels(Tabs()), (std::vector<std::wstring>{L"Daten"}));
    INQViewControl* control = ViewControl();
    BSTR notes = SysAllocString(L"Notizen");
    EXPECT_EQ(control->ActivateTab(notes), S_OK);  // no such tab yet: nothing happens
    EXPECT_EQ(Dlg()->GetActiveTabName(), L"Daten");

    security.Set(GUID_SampleNotesFunction, 0x101);
    Dlg()->ApplyDefaultSecurity();
    EXPECT_EQ(TabLabels(Tabs()), (std::vector<std::wstring>{L"Daten", L"Notizen"}));
    EXPECT_EQ(Dlg()->GetTabList().size(), 2u);
    BSTR lower = SysAllocString(L"notizen");
    EXPECT_EQ(control->ActivateTab(lower), S_OK);
    EXPECT_EQ(Dlg()->GetActiveTabName(), L"Daten") << "tab names are compared exactly";
    SysFreeString(lower);
    EXPECT_EQ(control->ActivateTab(notes), S_OK);
    EXPECT_EQ(Dlg()->GetActiveTabName(), L"Notizen");
    EXPECT_TRUE(Page(1)->IsActive());
    // Shown by name with a field to focus; a page that is not there is refused.
    EXPECT_EQ(Dlg()->GetTabCtrl().ActivateTabByName(L"Notizen", IDC_SAMPLE_NOTE_FIRST + 2), S_OK);
    EXPECT_TRUE(HasFocus(Item(Page(1)->GetSafeHwnd(), IDC_SAMPLE_NOTE_FIRST + 2)));
    for (int index : {-1, 2}) EXPECT_EQ(Dlg()->GetTabCtrl().RemoveTabWindow(index), E_INVALIDARG) << index;
    EXPECT_EQ(TabLabels(Tabs()), (std::vector<std::wstring>{L"Daten", L"Notizen"}));
    security.Set(GUID_SampleViewFunction, 0x001);
    BSTR none = SysAllocString(L"Fehlt");
    EXPECT_EQ(control->ActivateTab(none), S_OK);
    SysFreeString(none);
    EXPECT_EQ(Dlg()->GetSec().GetRights(), 0x001u) << "the rights are applied, a tab found or not";
    security.Set(GUID_SampleViewFunction, 0x101);

    security.Set(GUID_SampleNotesFunction, 0);
    Dlg()->ApplyDefaultSecurity();
    EXPECT_EQ(TabLabels(Tabs()), (std::vector<std::wstring>{L"Daten"}));
    EXPECT_EQ(Dlg()->GetTabList().size(), 1u);
    EXPECT_EQ(Dlg()->GetTabCtrl().GetShownIndex(), 0);
    EXPECT_TRUE(Page(0)->IsActive());
    SysFreeString(notes);
    control->Release();

    // The page shown stays shown while a page before it comes and goes.
    CloseView();
    CQvRegistry::SetValue(SAMPLE_VIEW_KEY L"\\TabWindows", L"WindowServer2", CString(SAMPLE_PAGE_DATA_PROGID));
    OpenView();
    ASSERT_EQ(TabLabels(Tabs()), (std::vector<std::wstring>{L"Daten", L"Daten"}));
    ASSERT_TRUE(ClickTab(Tabs(), 1));
    CChildDlg* shown = Page(1);
    for (long rights : {0x101L, 0L}) {
        security.Set(GUID_SampleNotesFunction, rights);
        Dlg()->ApplyDefaultSecurity();
        EXPECT_EQ(Dlg()->GetTabCtrl().GetShownIndex(), rights ? 2 : 1);
        EXPECT_TRUE(Visible(shown->GetSafeHwnd()));
    }
    const auto history = qv::nq::NavigationHistory();
    EXPECT_EQ(history.rbegin()[1].kind, NQNavigateEntry::View) << "a step back from the page shown leads to no page that went";
    // The shown page taken away, the first page is shown, and it alone.
    security.Set(GUID_SampleNotesFunction, 0x101);
    Dlg()->ApplyDefaultSecurity();
    ASSERT_TRUE(ClickTab(Tabs(), 1));
    security.Set(GUID_SampleNotesFunction, 0);
    Dlg()->ApplyDefaultSecurity();
    EXPECT_EQ(Dlg()->GetTabCtrl().GetShownIndex(), 0);
    EXPECT_TRUE(Visible(Page(0)->GetSafeHwnd()));
    EXPECT_FALSE(Visible(shown->GetSafeHwnd()));
    EXPECT_EQ(Dlg()->GetTabCtrl().GetActiveTab(), 0) << "the strip marks the page shown";
}

// The frame's F5 and "RefreshView" reload the shown record; other names change nothing.
TEST_F(Framework, TheFramesRefreshCommandsReloadThePages) {
    const long kurs = AddKurs("Sanität");
    OpenView();
    ASSERT_EQ(Dlg()->Navigate(kurs, 0), S_OK);
    HWND name = Item(Page(0)->GetSafeHwnd(), IDC_SAMPLE_NAME);
    IQvFControlSink* sink = nullptr;
    ASSERT_EQ(host->FindView(SAMPLE_VIEW_PROGID)->pIdentity->QueryInterface(IID_IQvFControlSink,
                                                                               reinterpret_cast<void**>(&sink)),
              S_OK);
    struct Step {
        bool accel;
        const wchar_t* command;
        const char* stored;
        const wchar_t* shown;
    };
    const Step steps[] = {{true, L"F5", "Sanität 1", L"Sanität 1"},
                          {false, L"RefreshView", "Sanität 2", L"Sanität 2"},
                          {false, L"ShowOnlineHelp", "Sanität 3", L"Sanität 2"},
                          {true, L"F1", "Sanität 4", L"Sanität 2"},
                          {false, L"ShowOnlineKontextHelp", "Sanität 4", L"Sanität 2"},
                          {true, L"CTRL-F", "Sanität 4", L"Sanität 2"}};
    // F1 and the menu's context help show the help of the page in front, the first page's too.
    std::vector<std::wstring> topics;
    qv::SetHelpHandler([&](const CString& topic) {
        topics.push_back(topic.GetString());
        return true;
    });
    Page(0)->m_btnHelp.SetHelpTopic(L"HELP_DATEN");
    Page(1)->m_btnHelp.SetHelpTopic(L"HELP_NOTIZEN");
    for (const Step& step : steps) {
        SCOPED_TRACE(qv::ToUtf8(step.command));
        Sql(std::string("UPDATE Kurs SET strBezeichnung = '") + step.stored + "'");
        BSTR command = SysAllocString(step.command);
        EXPECT_EQ(step.accel ? sink->OnAccelCommand(command) : sink->OnMenuCommand(command), S_OK);
        EXPECT_EQ(Text(name), step.shown);
    }
    qv::SetHelpHandler(nullptr);
    EXPECT_EQ(topics, (std::vector<std::wstring>{L"HELP_DATEN", L"HELP_DATEN"}));
    // The pages' own commands reach the page in front only; the sample's pages have none.
    for (auto command :
         {&INQTabWindowControl::Command1, &INQTabWindowControl::Command2, &INQTabWindowControl::Command3}) {
        EXPECT_EQ((Dlg()->GetTabList()[1]->*command)(), S_OK);
        EXPECT_EQ((Dlg()->GetTabList()[0]->*command)(), E_FAIL);
    }
    sink->Release();
    // A page's own reload shows the stored record; its request to refresh all shows the lock
    // another user has taken since.
    EXPECT_EQ(Page(0)->MarkModifiedAndReload(), S_OK);
    EXPECT_EQ(Text(name), L"Sanität 4");
    Sql("UPDATE Kurs SET strLock = strftime('%Y-%m-%d %H:%M:%S','now','localtime') || '|WS99|fremd'");
    EXPECT_TRUE(SUCCEEDED(Page(0)->SetModified()));
    EXPECT_TRUE(Dlg()->IsLockedByOther());
    EXPECT_NE(Dlg()->GetRecordStateText().Find(L"|WS99|fremd"), -1);
    Sql("UPDATE Kurs SET strLock = ''");

    // Reloading the visible pages loads the shown page (its rights are read again) and leaves the
    // hidden one alone.
    INQParentControl* parent = Dlg()->GetParentControl();
    for (int shown : {0, 1}) {
        SCOPED_TRACE(shown);
        ASSERT_TRUE(ClickTab(Tabs(), shown));
        Page(1)->m_Sec &= DWORD(0);
        EXPECT_EQ(parent->ReloadVisibleTabs(), S_OK);
        EXPECT_EQ(Page(1)->GetSec().GetRights(), shown ? 0x101u : 0u);
    }
    parent->Release();
    // A page's pending load comes with its timer while the page is shown, not while hidden.
    for (int shown : {1, 0}) {
        SCOPED_TRACE(shown);
        ASSERT_TRUE(ClickTab(Tabs(), shown));
        CChildDlg* notes = Page(1);
        notes->m_Sec &= DWORD(0);
        notes->m_nLoadTimerID = notes->SetTimer(4711, 10, nullptr);
        WaitFor([&] { return notes->GetSec().GetRights() != 0; }, shown ? 5000 : 300);
        EXPECT_EQ(notes->GetSec().GetRights(), shown ? 0x101u : 0u);
        notes->KillTimer(4711);
    }
    // A hidden view's page loads nothing.
    ASSERT_TRUE(ClickTab(Tabs(), 0));
    host->HideViews();
    Sql("UPDATE Kurs SET strBezeichnung = 'Sanität 5'");
    EXPECT_EQ(Page(0)->MarkModifiedAndReload(), S_OK);
    EXPECT_EQ(Text(name), L"Sanität 4");
    ASSERT_EQ(Dlg()->InvalidateTabs(), S_OK);
    EXPECT_FALSE(Dlg()->IsDataReady()) << "nor has its header data to show";
}

// The own-record rule on a page's rights: 0x10000 edits one's own records only.
TEST(PageRights, EditingOnesOwnRecordsNeedsTheOwnerToBeTheUser) {
    struct Case {
        DWORD rights;
        long owner;
        DWORD expected;
    };
    const Case cases[] = {{0x10001, 5, 0x10101}, {0x10001, 6, 0x10001}, {0x10000, 6, 0x0},
                          {0x10000, 5, 0x10100}, {0x101, 6, 0x101}};
    for (const Case& c : cases) {
        CChildDlg page(0, 0, L"Seite", nullptr, 0, 0);
        page.m_Sec &= DWORD(0);
        page.m_Sec |= c.rights;
        page.m_lUserPersonID = 5;
        page.m_lOwnerPersonID = c.owner;
        page.ApplyRightsFlags();
        EXPECT_EQ(page.GetSec().GetRights(), c.expected) << std::hex << c.rights << " owner " << c.owner;
    }
}

// ---- the edit protocol

class FrameworkEditing : public Framework {
protected:
    void SetUp() override {
        Framework::SetUp();
        kurs = AddKurs("Maschinisten");
        other = AddKurs("Motorsäge");
        OpenView();
        ASSERT_EQ(Dlg()->Navigate(kurs, 0), S_OK);
        name = Item(Page(0)->GetSafeHwnd(), IDC_SAMPLE_NAME);
    }
    void TearDown() override {
        if (Dlg() && Dlg()->IsEditing()) {
            INQParentControl* parent = Dlg()->GetParentControl();
            parent->CancelEdit();
            parent->Release();
        }
        Framework::TearDown();
    }
    std::string Lock(long id) { return SqlText("SELECT strLock FROM Kurs WHERE lKursID = " + std::to_string(id)); }
    std::string Name(long id) { return SqlText("SELECT strBezeichnung FROM Kurs WHERE lKursID = " + std::to_string(id)); }
    // What another user of another workstation sees of the course.
    std::string SecondProcess(long id);

    long kurs = 0, other = 0;
    HWND name = nullptr;
};

std::string FrameworkEditing::SecondProcess(long id) {
    char exe[PATH_MAX] = {};
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof(exe) - 1);
    if (n <= 0) return "no program";
    const std::string out = env->dir.file("probe.txt");
    const std::string command = "USER=zweiter FRAMEWORK_LOCK_PROBE=" + std::to_string(id) + ":" + out + " QV_REGISTRY='" +
                                std::string(std::getenv("QV_REGISTRY")) + "' XDG_DATA_HOME='" +
                                std::string(std::getenv("XDG_DATA_HOME")) + "' " + std::string(exe, std::size_t(n)) +
                                " --gtest_filter=LockProbe.* > /dev/null 2>&1";
    if (std::system(command.c_str()) != 0) return "probe failed";
    std::ifstream in(out);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST_F(FrameworkEditing, TypingBeginsTheEditTakesTheLockAndAnotherUserSeesTheRecordLocked) {
    ASSERT_TRUE(Retype(name, L"Maschinisten 2027"));
    EXPECT_TRUE(Dlg()->IsEditing());
    EXPECT_TRUE(Page(0)->IsSavePending());
    EXPECT_EQ(Dlg()->GetRecordStateCode(), eRecordEditing);
    EXPECT_EQ(Dlg()->GetRecordStateText(), L"Die Daten wurden verändert!");
    // The state icon shows a pencil on the window's ground.
    const HWND state = Item(Dlg()->GetSafeHwnd(), IDC_NQ_ICON_EDIT);
    const QPoint origin(Widget(state)->width() / 2 - 8, Widget(state)->height() / 2 - 8);
    EXPECT_EQ(PixelAt(state, origin.x() + 8, origin.y() + 8), RGB(0xF0, 0xC0, 0x20));
    EXPECT_EQ(PixelAt(state, origin.x() + 1, origin.y() + 1), Dlg()->GetBackgroundColor());
    // A state a derived view has no picture for leaves the icon blank.
    for (long index : {4L, -1L}) {
        ASSERT_EQ(Dlg()->ShowRecordStateIcon(index, L"Unbekannt"), S_OK);
        EXPECT_EQ(PixelAt(state, origin.x() + 8, origin.y() + 8), Dlg()->GetBackgroundColor()) << index;
    }
    CLockDbRecord mine;
    const std::string lock = Lock(kurs);
    ASSERT_GE(lock.size(), 19u + U(mine.m_strOwnerTag).size());
    EXPECT_EQ(lock.substr(19), U(mine.m_strOwnerTag));
    COleDateTime when;
    EXPECT_TRUE(qv::nq::ParseLockTime(CString(qv::FromUtf8(lock.substr(0, 19))), when));

    // Another user's check sees the lock; his release leaves it alone.
    const std::string seen = SecondProcess(kurs);
    EXPECT_EQ(seen.substr(0, 13), "983042 983042") << seen;  // 0xF0002 for the check and the release
    EXPECT_NE(seen.find(U(mine.m_strOwnerTag)), std::string::npos) << seen;
    EXPECT_EQ(Lock(kurs), lock);
}

TEST_F(FrameworkEditing, EscapeAndEnterInAPageLeaveThePageAndItsInputAsTheyAre) {
    // Keys through the window as the user presses them, in a field of each page: the page is a
    // child of the window and no dialog that ends. The first page last, with the typing pending.
    for (int tab : {1, 0}) {
        ASSERT_TRUE(ClickTab(Tabs(), tab));
        CChildDlg* page = Page(tab);
        const HWND field = tab == 0 ? name : Item(page->GetSafeHwnd(), IDC_SAMPLE_NOTE_FIRST);
        if (tab == 0) ASSERT_TRUE(Type(name, L" neu"));
        for (UINT key : {UINT(VK_ESCAPE), UINT(VK_RETURN)}) {
            ASSERT_TRUE(PressKey(field, key));
            EXPECT_TRUE(Visible(page->GetSafeHwnd())) << "tab " << tab << " key " << key;
            EXPECT_TRUE(Visible(field)) << "tab " << tab << " key " << key;
            EXPECT_TRUE(HasFocus(field)) << "tab " << tab << " key " << key;
        }
    }
    EXPECT_TRUE(Page(0)->IsSavePending()) << "the typing is kept for the save";
    EXPECT_EQ(Text(name).substr(Text(name).size() - 4), L" neu");
    // On the document icon of the view's own dialog: the view stays.
    for (UINT key : {UINT(VK_ESCAPE), UINT(VK_RETURN)}) {
        ASSERT_TRUE(PressKey(Item(Dlg()->GetSafeHwnd(), 11), key));
        EXPECT_TRUE(Visible(Dlg()->GetSafeHwnd())) << "key " << key;
        EXPECT_TRUE(Visible(Page(0)->GetSafeHwnd())) << "key " << key;
    }
}

TEST_F(FrameworkEditing, SaveAllWritesEveryPageAndEndsTheEditCancelDiscards) {
    ASSERT_TRUE(Retype(name, L"Maschinisten 2027"));
    INQParentControl* parent = Dlg()->GetParentControl();
    // The save's wait window offers no cancel: the pages are written whole.
    struct : qv::RecordingInteraction {
        bool cancel = false, timer = false;
        void UpdateWait(qv::WaitWindow& wait) override {
            cancel = cancel || wait.showCancel;
            timer = timer || wait.showTimer;
        }
    } waits;
    {
        qv::ScopedInteraction via(&waits);
        EXPECT_EQ(parent->SaveData(), S_OK);
    }
    EXPECT_EQ(waits.Log().Count(qv::InteractionKind::WaitOpen), 1u);
    EXPECT_FALSE(waits.cancel);
    EXPECT_FALSE(waits.timer) << "nor a clock";
    EXPECT_EQ(Name(kurs), "Maschinisten 2027");
    EXPECT_EQ(Lock(kurs), "");
    EXPECT_FALSE(Dlg()->IsEditing());
    EXPECT_FALSE(Page(0)->IsSavePending());
    EXPECT_EQ(Dlg()->GetRecordStateText(), L"Die Daten sind unverändert");

    ASSERT_TRUE(Retype(name, L"Verworfen"));
    EXPECT_NE(Lock(kurs), "");
    EXPECT_EQ(parent->CancelEdit(), S_OK);
    EXPECT_EQ(Text(name), L"Maschinisten 2027");
    EXPECT_EQ(Name(kurs), "Maschinisten 2027");
    EXPECT_EQ(Lock(kurs), "");
    EXPECT_FALSE(Dlg()->IsEditing());

    // Without a pending edit, saving writes nothing and cancelling reloads nothing.
    Sql("UPDATE Kurs SET strBezeichnung = 'Anderswo' WHERE lKursID = " + std::to_string(kurs));
    EXPECT_EQ(parent->SaveData(), S_OK);
    EXPECT_EQ(Name(kurs), "Anderswo");
    EXPECT_EQ(parent->CancelEdit(), S_OK);
    EXPECT_EQ(Text(name), L"Maschinisten 2027");

    // A page that shows stale data begins no edit.
    ASSERT_EQ(Dlg()->GetTabList()[0]->SetModified(), S_OK);
    ASSERT_TRUE(Type(name, L"x"));
    EXPECT_FALSE(Dlg()->IsEditing());
    EXPECT_EQ(Lock(kurs), "");
    Dlg()->RefreshAll();

    // A release that fails leaves the record in edit with its lock, so that the next end of the
    // edit tries the release again.
    ASSERT_TRUE(Retype(name, L"Maschinisten 2028"));
    Sql("CREATE TRIGGER Kurs_KeepLock BEFORE UPDATE OF strLock ON Kurs WHEN new.strLock = '' "
        "BEGIN SELECT RAISE(ABORT, 'Sperre bleibt'); END");
    script.AllowReports(true);
    EXPECT_TRUE(FAILED(parent->SaveData()));
    EXPECT_EQ(Name(kurs), "Maschinisten 2028");
    EXPECT_TRUE(Dlg()->IsEditing());
    EXPECT_NE(Lock(kurs), "");
    Sql("DROP TRIGGER Kurs_KeepLock");
    EXPECT_EQ(parent->SaveData(), S_OK);
    EXPECT_FALSE(Dlg()->IsEditing());
    EXPECT_EQ(Lock(kurs), "");
    script.AllowReports(false);

    // A page asks for the save itself, or for the cancel.
    ASSERT_TRUE(Retype(name, L"Maschinisten 2029"));
    EXPECT_EQ(Page(0)->RequestSave(), S_OK);
    EXPECT_EQ(Name(kurs), "Maschinisten 2029");
    EXPECT_FALSE(Dlg()->IsEditing());
    ASSERT_TRUE(Retype(name, L"Verworfen"));
    EXPECT_EQ(Page(0)->RequestCancelEdit(), S_OK);
    EXPECT_EQ(Text(name), L"Maschinisten 2029");
    EXPECT_FALSE(Dlg()->IsEditing());

    // The record deleted by another user: the pending saves go, no lock is released.
    ASSERT_TRUE(Retype(name, L"Gelöscht"));
    ASSERT_TRUE(Page(0)->IsSavePending());
    Sql("DELETE FROM Kurs WHERE lKursID = " + std::to_string(kurs));
    BSTR owner = nullptr;
    EXPECT_EQ(parent->UpdateRecordState(&owner), eRecordDeleted);
    SysFreeString(owner);
    EXPECT_FALSE(Page(0)->IsSavePending());
    EXPECT_FALSE(Dlg()->IsEditing());
    parent->Release();
}

TEST_F(FrameworkEditing, ARecordLockedByAnotherUserCannotBeEdited) {
    Sql("UPDATE Kurs SET strLock = strftime('%Y-%m-%d %H:%M:%S','now','localtime') || '|WS99|fremd' WHERE lKursID = " +
        std::to_string(kurs));
    ASSERT_TRUE(Retype(name, L"Anders"));
    EXPECT_FALSE(Dlg()->IsEditing());
    EXPECT_TRUE(Dlg()->IsLockedByOther());
    EXPECT_FALSE(Page(0)->IsSavePending());
    EXPECT_NE(Dlg()->GetRecordStateText().Find(L"Die Daten sind gesperrt durch: '"), -1);
    EXPECT_NE(Dlg()->GetRecordStateText().Find(L"|WS99|fremd'"), -1);
    EXPECT_EQ(Lock(kurs).substr(19), "|WS99|fremd");
    INQParentControl* parent = Dlg()->GetParentControl();
    BSTR table = SysAllocString(L"Kurs"), column = SysAllocString(L"lKursID"), owner = nullptr;
    EXPECT_EQ(parent->LockRecord(table, column, &owner), eRecordLockedByOther);
    EXPECT_EQ(qvtest::Str(owner).substr(19), L"|WS99|fremd");
    BOOL locked = FALSE;
    EXPECT_EQ(parent->IsLockedByOther(&locked), S_OK);
    EXPECT_TRUE(locked);
    for (BSTR b : {table, column, owner}) SysFreeString(b);
    parent->Release();
    // A page asks the same through the dialog, and cannot release another user's lock.
    CString pageOwner;
    EXPECT_EQ(Page(0)->LockRecord(L"Kurs", L"lKursID", &pageOwner), eRecordLockedByOther);
    EXPECT_EQ(U(pageOwner).substr(19), "|WS99|fremd");
    pageOwner.Empty();
    EXPECT_EQ(Page(0)->CheckRecordLock(L"Kurs", L"lKursID", &pageOwner), eRecordLockedByOther);
    EXPECT_EQ(U(pageOwner).substr(19), "|WS99|fremd");
    EXPECT_EQ(Page(0)->UnlockRecord(L"Kurs", L"lKursID"), eRecordLockedByOther);
    EXPECT_EQ(Lock(kurs).substr(19), "|WS99|fremd");
    // A page that finds the record held, the first page too, shows it locked.
    const std::string where = " WHERE lKursID = " + std::to_string(kurs);
    Sql("UPDATE Kurs SET strLock = '', strKurzbezeichnung = 'gesperrt'" + where);
    CString holder;
    EXPECT_EQ(Dlg()->UpdateRecordState(&holder), eRecordLockedByOther);
    EXPECT_TRUE(Dlg()->IsLockedByOther());
    EXPECT_EQ(holder, L"|WS42|seite");
    Sql("UPDATE Kurs SET strKurzbezeichnung = 'K'" + where);

    // A stale lock, with one try per request: the first keystroke clears it and takes nothing,
    // the next one takes the record.
    ASSERT_EQ(Dlg()->Navigate(other, 0), S_OK);
    Sql("UPDATE Kurs SET strLock = strftime('%Y-%m-%d %H:%M:%S','now','localtime','-721 minutes') || '|WS99|fremd' "
        "WHERE lKursID = " + std::to_string(other));
    ASSERT_TRUE(Type(name, L"x"));
    EXPECT_FALSE(Dlg()->IsEditing());
    EXPECT_EQ(Lock(other), "");
    ASSERT_TRUE(Type(name, L"y"));
    EXPECT_TRUE(Dlg()->IsEditing());
    EXPECT_EQ(Lock(other).substr(19), U(CLockDbRecord().m_strOwnerTag));
}

// The save prompt when leaving an edited record: each answer, and a save that fails.
TEST_F(FrameworkEditing, LeavingAnEditedRecordAsksToSaveAndAFailedSaveStaysOnTheRecord) {
    struct Case {
        const wchar_t* typed;
        int answer;
        long expectedID;
        std::string expectedName;
        bool stillEditing;
    };
    const Case cases[] = {
        {L"Gespeichert", IDYES, other, "Gespeichert", false},
        {L"Nicht gespeichert", IDNO, other, "Gespeichert", false},
        {L"", IDYES, kurs, "Gespeichert", true},  // an empty name is refused by the page
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(qv::ToUtf8(c.typed));
        ASSERT_EQ(Dlg()->Navigate(kurs, 0), S_OK);
        ASSERT_TRUE(Retype(name, c.typed));
        ASSERT_TRUE(Dlg()->IsEditing());
        script.ExpectMessageBox(c.answer, L"Wollen Sie die Änderungen speichern?");
        const HRESULT hr = Dlg()->Navigate(other, 0);
        EXPECT_EQ(SUCCEEDED(hr), !c.stillEditing);
        EXPECT_EQ(Dlg()->GetRecordID(), c.expectedID);
        EXPECT_EQ(Name(kurs), c.expectedName);
        EXPECT_EQ(Dlg()->IsEditing() != FALSE, c.stillEditing);
        EXPECT_EQ(Lock(kurs) != "", c.stillEditing);
        if (c.stillEditing) {
            EXPECT_TRUE(Page(0)->IsSavePending());
            EXPECT_EQ(Text(name), L"");
        }
    }
    // Showing the tab that is shown asks nothing.
    ASSERT_TRUE(Retype(name, L"Noch offen"));
    INQViewControl* control = ViewControl();
    BSTR data = SysAllocString(L"Daten");
    EXPECT_EQ(control->ActivateTab(data), S_OK);
    SysFreeString(data);
    control->Release();
    EXPECT_TRUE(Dlg()->IsEditing());
    ASSERT_EQ(Dlg()->CancelEdit(), S_OK);

    // A page that refuses: the user stays on the record, nothing is asked.
    ASSERT_TRUE(Retype(Item(Page(0)->GetSafeHwnd(), IDC_SAMPLE_SHORT), L"bleibt"));
    EXPECT_EQ(Dlg()->Navigate(other, 0), S_FALSE);
    EXPECT_EQ(Dlg()->GetRecordID(), kurs);
    ASSERT_EQ(Dlg()->CancelEdit(), S_OK);

    // Another tab, and the view hidden by the frame, ask as well.
    ASSERT_TRUE(Retype(name, L"Gespeichert beim Wechsel"));
    script.ExpectMessageBox(IDYES, L"Wollen Sie die Änderungen speichern?");
    ASSERT_TRUE(ClickTab(Tabs(), 1));
    EXPECT_EQ(Name(kurs), "Gespeichert beim Wechsel");
    ASSERT_TRUE(ClickTab(Tabs(), 0));
    ASSERT_TRUE(Retype(name, L"Gespeichert beim Verbergen"));
    script.ExpectMessageBox(IDYES, L"Wollen Sie die Änderungen speichern?");
    host->HideViews();
    EXPECT_EQ(Name(kurs), "Gespeichert beim Verbergen");
    EXPECT_FALSE(Dlg()->IsEditing());
}

TEST_F(FrameworkEditing, BackAndForwardStepThroughTheRecordsShown) {
    qv::nq::SetNavigator([this](const NQNavigateEntry& entry) -> long {
        if (entry.kind != NQNavigateEntry::Record) return S_OK;
        INQViewControl* control = ViewControl();
        const HRESULT hr = control->NavigateTo(entry.lID, entry.lID2);
        control->Release();
        return hr;
    });
    ASSERT_EQ(Dlg()->Navigate(other, 0), S_OK);
    int current = -1;
    auto records = [&] {
        std::vector<long> ids;
        for (const auto& e : qv::nq::NavigationHistory(&current))
            if (e.kind == NQNavigateEntry::Record) ids.push_back(e.lID);
        return ids;
    };
    EXPECT_EQ(records(), (std::vector<long>{kurs, other}));

    // Back to the first course while the second is edited: the prompt, answered no.
    ASSERT_TRUE(Retype(name, L"Motorsäge neu"));
    script.ExpectMessageBox(IDNO);
    while (Dlg()->GetRecordID() != kurs && NQ_NavigateBackward() == S_OK) {
    }
    EXPECT_EQ(Dlg()->GetRecordID(), kurs);
    EXPECT_EQ(Name(other), "Motorsäge");
    EXPECT_EQ(Lock(other), "");
    while (Dlg()->GetRecordID() != other && NQ_NavigateForward() == S_OK) {
    }
    EXPECT_EQ(Dlg()->GetRecordID(), other);
    EXPECT_EQ(Text(name), L"Motorsäge");
}

// The user's right on the tenant of the shown record, read once per record.
TEST_F(FrameworkEditing, TheRightOnTheRecordsTenantIsReadFromSecMandantOncePerRecord) {
    long right = -1;
    EXPECT_EQ(Dlg()->GetRecordRight(&right), S_OK);
    EXPECT_EQ(right, 0);
    Sql("INSERT INTO SecMandant (lMandantID, lTableID, lQvSecUserID, lRight) VALUES (7, 39, 5, 257)");
    EXPECT_EQ(Dlg()->GetRecordRight(&right), S_OK);
    EXPECT_EQ(right, 0);  // kept for the record shown
    ASSERT_EQ(Dlg()->Navigate(other, 0), S_OK);
    EXPECT_EQ(Dlg()->GetRecordRight(&right), S_OK);
    EXPECT_EQ(right, 257);
    EXPECT_EQ(Dlg()->GetMandantGUID(), CString(qv::FromUtf8(SqlText("SELECT guid FROM Mandant WHERE lMandantID = 7")).c_str()));
    EXPECT_FALSE(Visible(Item(Dlg()->GetSafeHwnd(), IDC_NQ_LOGO))) << "a tenant without a logo";
    EXPECT_EQ(Page(0)->GetThirdID(), 7) << "a page sees the record's tenant";
    // Each record's right is read, the first record's too.
    Sql("INSERT INTO Kurs (lKursID, strBezeichnung) VALUES (1, 'Erster')");
    Sql("UPDATE SecMandant SET lRight = 1");
    ASSERT_EQ(Dlg()->Navigate(1, 0), S_OK);
    EXPECT_EQ(Dlg()->GetRecordRight(&right), S_OK);
    EXPECT_EQ(right, 1);

    // No record: the tenant is cleared and nothing is asked of the database.
    ASSERT_EQ(Dlg()->Navigate(0, 0), S_OK);
    EXPECT_EQ(Dlg()->GetThirdID(), 0);
    EXPECT_EQ(Dlg()->GetMandantGUID(), L"");
    EXPECT_FALSE(Visible(Item(Dlg()->GetSafeHwnd(), IDC_NQ_LOGO)));
}

// The view function's rights narrowed by the record's tenant, and controls that need every bit of
// their mask, are writable only with a record shown that nobody else holds.
TEST_F(FrameworkEditing, TenantRightsNarrowTheFunctionsAndAControlNeedsEveryBitOfItsMask) {
    const GUID scope = qv::MakeGuid("6E2B9C41-0A7D-4E5F-8B13-2C9D4A6F7E20");
    security.Set(scope, 0x001);
    Sql("INSERT INTO SecMandant (lMandantID, lTableID, lQvSecUserID, lRight) VALUES (7, 39, 5, 256)");
    ASSERT_EQ(Dlg()->Navigate(other, 0), S_OK);  // the right is read once per record
    EXPECT_EQ(Dlg()->LoadRightsForMandant(GUID_SampleViewFunction, scope, L""), S_OK);
    EXPECT_EQ(Dlg()->GetSec().GetRights(), 0x100u) << "the tenant's SecMandant row";
    CChildDlg* page = Page(0);
    EXPECT_EQ(page->LoadRightsForMandant(GUID_SampleViewFunction, scope, L""), S_OK);
    EXPECT_EQ(page->GetSec().GetRights(), 0x100u);
    EXPECT_EQ(Dlg()->ApplyRights(), S_OK);
    EXPECT_EQ(Dlg()->GetSec().GetRights(), 0x101u) << "a view without a scope keeps its function's rights";
    ASSERT_EQ(Dlg()->Navigate(0, 0), S_OK);
    EXPECT_EQ(Dlg()->LoadRightsForMandant(GUID_SampleViewFunction, scope, L"7"), S_OK);
    EXPECT_EQ(Dlg()->GetSec().GetRights(), 0x001u) << "no record: the scope's rights for the tenant";
    EXPECT_EQ(page->LoadRightsForMandant(GUID_SampleViewFunction, scope, L"7"), S_OK);
    EXPECT_EQ(page->GetSec().GetRights(), 0x001u);
    // Under a tenant too, a right on one's own records only edits them when they are one's own.
    security.Set(scope, 0x10000);
    security.Set(GUID_SampleViewFunction, 0x10000);
    for (bool own : {true, false}) {
        page->m_lOwnerPersonID = page->m_lUserPersonID + (own ? 0 : 1);
        EXPECT_EQ(page->LoadRightsForMandant(GUID_SampleViewFunction, scope, L"7"), S_OK);
        EXPECT_EQ(page->GetSec().GetRights(), own ? 0x10100u : 0u) << own;
    }
    security.Set(GUID_SampleViewFunction, 0x101);

    struct Case {
        DWORD rights, mask;
        BOOL visible, editable;
        long record;
        bool foreignLock, shown, writable;
    };
    const Case cases[] = {
        {0x101, 0x101, TRUE, TRUE, kurs, false, true, true},    {0x100, 0x101, TRUE, TRUE, kurs, false, true, false},
        {0x101, 0x101, TRUE, FALSE, kurs, false, true, false},  {0x101, 0x101, FALSE, TRUE, kurs, false, false, false},
        {0x101, 0x101, TRUE, TRUE, 0, false, true, false},      {0x101, 0x101, TRUE, TRUE, kurs, true, true, false},
        {0x000, 0x000, TRUE, TRUE, kurs, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.rights << "/" << c.mask << " record " << c.record);
        Sql(std::string("UPDATE Kurs SET strLock = ") +
            (c.foreignLock ? "strftime('%Y-%m-%d %H:%M:%S','now','localtime') || '|WS99|fremd'" : "''"));
        ASSERT_EQ(Dlg()->Navigate(c.record, 0), S_OK);
        CString owner;
        Dlg()->UpdateRecordState(&owner);
        for (bool parent : {false, true}) {
            SCOPED_TRACE(parent ? "parent" : "page");
            page->m_Sec &= DWORD(0);
            page->m_Sec |= c.rights;
            ::ShowWindow(name, SW_SHOW);
            if (parent) {
                security.Set(GUID_SampleViewFunction, long(c.rights));
                Dlg()->LoadRightsGeneral(GUID_SampleViewFunction);
                Dlg()->EnableControlByRights(CWnd::FromHandle(name), c.visible, c.editable, c.mask);
            } else {
                page->EnableDlgItemByRights(IDC_SAMPLE_NAME, c.visible, c.editable, c.mask);
            }
            EXPECT_EQ(::IsWindowVisible(name) != FALSE, c.shown);
            if (c.shown) {
                EXPECT_EQ(!ReadOnly(name), c.writable);
            }
        }
    }
    Sql("UPDATE Kurs SET strLock = ''");
}

// Counts the events the event server delivers.
class CountingSink : public qvtest::StackObject<IEventSink, IID_IEventSink> {
public:
    HRESULT OnEvent(long, GUID*, VARIANT*) override {
        ++count;
        return S_OK;
    }
    std::atomic<int> count{0};
};

void FireClosing() {
    IQvEventServer* server = nullptr;
    ASSERT_EQ(QueryCOMServer(QV_EVENTSERVER_PROGID, IID_IQvEventServer, reinterpret_cast<void**>(&server)), S_OK);
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_I4;
    value.lVal = 1;
    GUID id = GUID_NQViewClosing;
    server->FireEvents(1, &id, &value);
    server->Release();
}

TEST_F(FrameworkEditing, TheClosingEventMarksTheDialogAndEveryPageAndStopsTabSwitches) {
    FireClosing();
    ASSERT_TRUE(WaitFor([&] { return Dlg()->IsClosingFlag() != FALSE; }));
    EXPECT_TRUE(Page(0)->IsClosingFlag());
    EXPECT_TRUE(Page(1)->IsClosingFlag());
    ASSERT_TRUE(ClickTab(Tabs(), 1));
    EXPECT_FALSE(Page(1)->IsActive());
    EXPECT_EQ(Dlg()->GetTabCtrl().GetShownIndex(), 0);
    // Rights applied while closing take no page down.
    security.Set(GUID_SampleNotesFunction, 0);
    Dlg()->ApplyDefaultSecurity();
    EXPECT_EQ(Dlg()->GetTabList().size(), 2u);
}

// Closing while the lock cannot be released: the user is asked once and told once, yet the pages
// are closed and taken down and the dialog hears no more events.
TEST_F(FrameworkEditing, ClosingAfterAFailedReleaseStillTakesThePagesDownAndEndsTheEvents) {
    ASSERT_TRUE(Retype(name, L"Maschinisten neu"));
    Sql("CREATE TRIGGER Kurs_KeepLock BEFORE UPDATE OF strLock ON Kurs WHEN new.strLock = '' "
        "BEGIN SELECT RAISE(ABORT, 'Sperre bleibt'); END");
    script.AllowReports(true);
    script.ExpectMessageBox(IDNO, L"Wollen Sie die Änderungen speichern?");
    Dlg()->CloseView();
    EXPECT_EQ(Dlg()->GetTabCtrl().GetTabCount(), 0);
    EXPECT_TRUE(Dlg()->GetTabList().empty());

    CountingSink sink;
    CQvEventSink connection;
    ASSERT_TRUE(connection.Advise(&sink));
    FireClosing();
    FireClosing();
    ASSERT_TRUE(WaitFor([&] { return sink.count == 2; }));
    EXPECT_FALSE(Dlg()->IsClosingFlag());
    connection.Unadvise();
    // The frame's close that follows asks nothing more.
    CloseView();
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::MessageBox), 1u);
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 1u);
    Sql("DROP TRIGGER Kurs_KeepLock");
}

// A page that fails to close ends the closing of the pages: those after it are not asked, yet every
// page is taken down and the failure is the result of the close.
TEST_F(FrameworkEditing, APageThatFailsToCloseStopsThePagesAfterItYetAllAreTakenDown) {
    CQvRegistry::SetValue(SAMPLE_VIEW_KEY, L"FailClose", CString(L"Daten"));
    EXPECT_TRUE(FAILED(Dlg()->CloseView()));
    CString closed;
    CQvRegistry::GetValue(SAMPLE_VIEW_KEY, L"ClosedTabs", closed);
    EXPECT_EQ(closed, L"Daten;");
    EXPECT_EQ(Dlg()->GetTabCtrl().GetTabCount(), 0);
    EXPECT_TRUE(Dlg()->GetTabList().empty());
    EXPECT_EQ(RegLong(L"LastID_Kurs"), kurs);
}

// Another user's lock shows up at the next tick of the lock timer, and goes again.
TEST_F(Framework, TheLockTimerShowsAnotherUsersLockWhileTheRecordIsShown) {
    options.Set(-1000, L"LockUpdateIntervall", 1);
    const long kurs = AddKurs("Funk");
    OpenView();
    // The tenant's logo cannot be read: the user is told, with the cause.
    Sql("ALTER TABLE Mandant RENAME COLUMN imgLogo2 TO imgLogoAlt");
    script.ExpectReport(L"imglogo2");
    ASSERT_EQ(Dlg()->Navigate(kurs, 0), S_OK);
    Sql("ALTER TABLE Mandant RENAME COLUMN imgLogoAlt TO imgLogo2");
    EXPECT_FALSE(Dlg()->IsLockedByOther());
    Sql("UPDATE Kurs SET strBezeichnung = 'Funk neu', strLock = strftime('%Y-%m-%d %H:%M:%S','now','localtime') || "
        "'|WS99|fremd' WHERE lKursID = " + std::to_string(kurs));
    ASSERT_TRUE(WaitFor([&] { return Dlg()->IsLockedByOther() != FALSE; }, 5000));
    EXPECT_EQ(Text(Item(Page(0)->GetSafeHwnd(), IDC_SAMPLE_NAME)), L"Funk neu") << "the pages are loaded again";
    EXPECT_NE(Dlg()->GetRecordStateText().Find(L"|WS99|fremd"), -1);
    EXPECT_EQ(ToolTip(Item(Dlg()->GetSafeHwnd(), IDC_NQ_ICON_EDIT)), Dlg()->GetRecordStateText().wstr());
    // The notes page cannot load its rights as the lock goes: a refresh the user did not ask for
    // tells its failure in the status line, without a box.
    ASSERT_TRUE(ClickTab(Tabs(), 1));
    security.failing = true;
    Sql("UPDATE Kurs SET strLock = ''");
    ASSERT_TRUE(WaitFor([&] { return Dlg()->IsLockedByOther() == FALSE; }, 5000));
    EXPECT_EQ(Dlg()->GetRecordStateText(), L"Die Daten sind unverändert");
    const HWND state = Item(Dlg()->GetSafeHwnd(), IDC_NQ_ICON_EDIT);
    EXPECT_EQ(PixelAt(state, Widget(state)->width() / 2, Widget(state)->height() / 2), RGB(0x90, 0xA0, 0x90));
    security.failing = false;
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 1u) << "the timer's refresh showed a box";
}

// ---- pages taller than the tab area

TEST_F(Framework, APageTallerThanTheTabAreaScrollsTheFocusedFieldIntoView) {
    OpenView();
    ASSERT_TRUE(ClickTab(Tabs(), 1));
    CChildDlg* notes = Page(1);
    ASSERT_NE(notes->GetScrollHelper(), nullptr);
    CDlgScrollHelper* scroll = notes->GetScrollHelper();
    EXPECT_GT(scroll->GetDisplayHeight(), scroll->GetPageHeight());
    EXPECT_GT(scroll->GetPageHeight(), 0);
    EXPECT_EQ(scroll->GetScrollPos(), 0);

    HWND last = Item(notes->GetSafeHwnd(), IDC_SAMPLE_NOTE_FIRST + 9);
    ASSERT_TRUE(Focus(last));
    EXPECT_GT(scroll->GetScrollPos(), 0);
    CRect rc;
    ::GetWindowRect(last, &rc);
    notes->ScreenToClient(&rc);
    EXPECT_GE(rc.top, 0);
    EXPECT_LE(rc.bottom, scroll->GetPageHeight());

    // A line up, then the first field: it comes back to the page's upper edge.
    const int bottom = scroll->GetScrollPos();
    ASSERT_TRUE(Scroll(notes->GetSafeHwnd(), SB_VERT, SB_LINEUP));
    EXPECT_EQ(scroll->GetScrollPos(), bottom - 60);
    HWND first = Item(notes->GetSafeHwnd(), IDC_SAMPLE_NOTE_FIRST);
    ASSERT_TRUE(Focus(first));
    ::GetWindowRect(first, &rc);
    notes->ScreenToClient(&rc);
    EXPECT_EQ(rc.top, 0);
    EXPECT_LT(scroll->GetScrollPos(), bottom - 60);

    // Paging stops at either end.
    for (int i = 0; i < 30; ++i) Scroll(notes->GetSafeHwnd(), SB_VERT, SB_PAGEDOWN);
    EXPECT_EQ(scroll->GetScrollPos(), scroll->GetDisplayHeight() - scroll->GetPageHeight());
    for (int i = 0; i < 30; ++i) Scroll(notes->GetSafeHwnd(), SB_VERT, SB_PAGEUP);
    EXPECT_EQ(scroll->GetScrollPos(), 0);
    // The thumb dragged to either end.
    ASSERT_TRUE(Scroll(notes->GetSafeHwnd(), SB_VERT, SB_BOTTOM));
    EXPECT_EQ(scroll->GetScrollPos(), scroll->GetDisplayHeight() - scroll->GetPageHeight());
    ASSERT_TRUE(Scroll(notes->GetSafeHwnd(), SB_VERT, SB_TOP));
    EXPECT_EQ(scroll->GetScrollPos(), 0);
    // A smaller pane keeps what is shown in proportion, short of the last position; a pane with room
    // for everything scrolls no more.
    for (int i = 0; i < 3; ++i) Scroll(notes->GetSafeHwnd(), SB_VERT, SB_LINEDOWN);
    const int page = scroll->GetPageHeight(), pos = scroll->GetScrollPos();
    ASSERT_EQ(pos, 180);
    host->MoveViews(RECT{0, 0, 720, 300});
    Pump();
    const int smaller = scroll->GetPageHeight();
    ASSERT_GT(smaller, 0);
    ASSERT_LT(smaller, page);
    EXPECT_EQ(scroll->GetScrollPos(),
              std::min(int(double(pos) * smaller / page), scroll->GetDisplayHeight() - smaller - 1));
    // Also a pane exactly as high as the page.
    for (int height : {2400, scroll->GetDisplayHeight() + 300 - smaller}) {
        host->MoveViews(RECT{0, 0, 720, height});
        Pump();
        EXPECT_EQ(scroll->GetPageHeight(), 0) << height;
        EXPECT_EQ(scroll->GetScrollPos(), 0);
    }
}

// ---- the picture

// The host frame started on the sample view (--view), a course with its tenant's logo restored.
TEST_F(Framework, TheFrameStartedOnTheSampleViewShowsItAndRendersItToAPicture) {
    const long kurs = AddKurs("Atemschutz Grundkurs");
    Sql("INSERT INTO QvSecUser (lQvSecUserID, strName) VALUES (1, 'Administrator')");
    QImage logo(96, 48, QImage::Format_RGB32);
    logo.fill(QColor(0xC0, 0x20, 0x20));
    QPainter(&logo).fillRect(36, 8, 24, 32, Qt::white);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    logo.save(&buffer, "PNG");
    sqlite3_stmt* stmt = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db->Handle(), "UPDATE Mandant SET imgLogo2 = ? WHERE lMandantID = 7", -1, &stmt, nullptr),
              SQLITE_OK);
    sqlite3_bind_blob(stmt, 1, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
    EXPECT_EQ(sqlite3_step(stmt), SQLITE_DONE);
    sqlite3_finalize(stmt);
    CQvRegistry::SetValue(L"Software\\Qovaro\\NQ2\\Common", L"LastID_Kurs", kurs);

    std::filesystem::create_directories(QV_SCREENS_DIR);
    const std::string shot = std::string(QV_SCREENS_DIR) + "/framework_sampleview.png";
    std::remove(shot.c_str());
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM QV_REGISTRY='" +
                                std::string(std::getenv("QV_REGISTRY")) + "' XDG_DATA_HOME='" +
                                std::string(std::getenv("XDG_DATA_HOME")) + "' " QV_FRAME_PROGRAM
                                " --view " + qv::ToUtf8(SAMPLE_VIEW_PROGID) + " --screenshot '" + shot + "' > '" +
                                env->dir.file("frame.txt") + "' 2>&1";
    const int status = std::system(command.c_str());
    std::ifstream output(env->dir.file("frame.txt"));
    std::stringstream said;
    said << output.rdbuf();
    ASSERT_EQ(status, 0) << said.str();
    QImage image(QString::fromStdString(shot));
    ASSERT_FALSE(image.isNull());
    // The logo's red is drawn in the view's header.
    int red = 0;
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2) red += image.pixel(x, y) == QColor(0xC0, 0x20, 0x20).rgb();
    EXPECT_GT(red, 50);

    ASSERT_EQ(std::system((std::string(QV_FRAME_PROGRAM) + " --view Qovaro.Test.Fehlt --screenshot '" +
                           env->dir.file("none.png") + "' > /dev/null 2>&1")
                              .c_str()) != 0,
              true);
}

}  // namespace
}  // namespace fwtest

// Run as a second process by the tests above: checks and releases the course's lock as another
// user and writes both results and the lock text it read.
TEST(LockProbe, ChecksAndReleasesAsAnotherUser) {
    const char* probe = std::getenv("FRAMEWORK_LOCK_PROBE");
    if (!probe) GTEST_SKIP() << "only run by the editing tests";
    const std::string spec(probe);
    const long id = std::stol(spec.substr(0, spec.find(':')));
    ASSERT_EQ(qv::servers::StartRunningServer(QVDBSERVER_PROGID), S_OK);
    CLockDbRecord lock;
    CString owner;
    const long check = lock.CheckDbRecordLock(L"Kurs", L"lKursID", id, &owner);
    const long release = lock.UnlockDbRecord(L"Kurs", L"lKursID", id);
    qv::servers::StopRunningServer(QVDBSERVER_PROGID);
    std::ofstream(spec.substr(spec.find(':') + 1)) << check << " " << release << " " << owner.ToUtf8();
}
