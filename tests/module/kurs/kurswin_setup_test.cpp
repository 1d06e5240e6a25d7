// The course settings page: what it shows of the stored settings, what it writes back after a
// change, what a local installation does not see, and values it refuses.
#include "adosession.h"
#include "kursresource.h"
#include "kurssetupdlg.h"
#include "kurswintest.h"
#include "qvregvalue.h"
#include "tempdir.h"
#include "utf.h"

#include <filesystem>

namespace kurstest {
namespace {

using namespace qv::ui::test;

class KursSetup : public KursWinTest {
protected:
    void SetUp() override {
        KursWinTest::SetUp();
        // The installation's own Mandant, whose row carries the lock of the settings.
        mandant = AddMandant("FW Nord");
        CQvRegistry::SetValue(L"Software\\Qovaro\\NQ2", L"MasterMandantID", mandant, HKEY_LOCAL_MACHINE);
        optionServer.Set(-3010, L"LockRecordRetries", 1);
        optionServer.Set(-3010, L"LockRecordTimeout", 0);
        ASSERT_TRUE(pane.CreateEx(0, AfxRegisterWndClass(0), L"Einstellungen", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                  700, 620, nullptr, nullptr));
    }
    void TearDown() override {
        for (CKursSetupDlg* p : {page, other}) {
            if (p) p->DestroyWindow();
            delete p;
        }
        pane.DestroyWindow();
        if (otherPane.GetSafeHwnd()) otherPane.DestroyWindow();
        KursWinTest::TearDown();
    }
    // The page as the settings window shows it.
    CKursSetupDlg& Open() { return Open(pane, page); }
    CKursSetupDlg& Open(CWnd& in, CKursSetupDlg*& into) {
        into = new CKursSetupDlg;
        HWND wnd = in.GetSafeHwnd();
        EXPECT_EQ(into->CreatePage(&wnd), S_OK);
        EXPECT_EQ(into->ShowView(TRUE), S_OK);
        return *into;
    }
    std::variant<long, std::wstring> Stored(const std::wstring& name) {
        std::lock_guard g(optionServer.lock);
        auto it = optionServer.values.find({-1060, name});
        return it == optionServer.values.end() ? std::variant<long, std::wstring>(-999L) : it->second;
    }
    std::string Lock() { return Text("SELECT strLock FROM Mandant WHERE lMandantID = " + K(mandant)); }
    CWnd pane, otherPane;
    CKursSetupDlg* page = nullptr;
    CKursSetupDlg* other = nullptr;  // a second user's page, in a settings window of his own
    long mandant = 0;
};

TEST_F(KursSetup, StoredSettingsAreShownAndUnsetOnesWithTheirDefaults) {
    optionServer.Set(-1060, L"AutoOpenAutoClose", 3);
    optionServer.Set(-1060, L"AutoOpenMode", 1);
    optionServer.Set(-1060, L"FillLevelInterval", 15);
    optionServer.Set(-1060, L"OnlineKursanmeldungASPX", L"anmeldung.aspx");
    CKursSetupDlg& dlg = Open();
    EXPECT_TRUE(Checked(Item(dlg, IDC_KURSSETUP_AUTOOPEN)));
    EXPECT_TRUE(Checked(Item(dlg, IDC_KURSSETUP_AUTOCLOSE)));
    EXPECT_EQ(qv::ui::test::Text(Item(dlg, IDC_KURSSETUP_OPENMODE)), L"Anmeldeschluss");
    EXPECT_EQ(qv::ui::test::Text(Item(dlg, IDC_KURSSETUP_OPENDAYS)), L"28");
    EXPECT_EQ(qv::ui::test::Text(Item(dlg, IDC_KURSSETUP_CLOSEDAYS)), L"6");
    EXPECT_EQ(qv::ui::test::Text(Item(dlg, IDC_KURSSETUP_FILLINTERVAL)), L"15");
    EXPECT_EQ(qv::ui::test::Text(Item(dlg, IDC_KURSSETUP_FILLPERCENT)), L"90");
    EXPECT_TRUE(Checked(Item(dlg, IDC_KURSSETUP_FILLUPSTATE))) << "on while the user never switched it off";
    EXPECT_EQ(qv::ui::test::Text(Item(dlg, IDC_KURSSETUP_ONLINEPAGE)), L"anmeldung.aspx");
    EXPECT_FALSE(Visible(Item(dlg, IDC_KURSSETUP_CHECKPRECOND))) << "a local installation has no central settings";
    EXPECT_FALSE(Visible(Item(dlg, IDC_KURSSETUP_SUBJECTLABEL))) << "nor the label of a field it does not show";
    EXPECT_FALSE(dlg.IsModified());
}

TEST_F(KursSetup, AChangeIsWrittenWhenThePageIsLeftAndLogged) {
    Central(true);
    optionServer.Set(-1060, L"AutoOpenMode", 3);
    CKursSetupDlg& dlg = Open();
    Screen(pane, "kurssetupdlg");
    EXPECT_EQ(qv::ui::test::Text(Item(dlg, IDC_KURSSETUP_OPENMODE)), L"(kein Vorschlag)");
    EXPECT_TRUE(Visible(Item(dlg, IDC_KURSSETUP_CHECKPRECOND)));
    EXPECT_TRUE(Visible(Item(dlg, IDC_KURSSETUP_SUBJECTLABEL)));
    Click(dlg, IDC_KURSSETUP_AUTOCLOSE);
    Retype(Item(dlg, IDC_KURSSETUP_FILLPERCENT), L"75");
    Retype(Item(dlg, IDC_KURSSETUP_PUBLISHDATE), L"01.02.2031");
    Click(dlg, IDC_KURSSETUP_CHECKPRECOND);
    Click(dlg, IDC_KURSSETUP_FILLUPSTATE);
    Retype(Item(dlg, IDC_KURSSETUP_SUBJECT), L"Kursanmeldungen 'neu'");
    EXPECT_TRUE(dlg.IsModified());
    EXPECT_NE(Lock(), "") << "the settings row is locked from the first change on";
    ASSERT_EQ(dlg.ShowView(FALSE), S_OK);
    EXPECT_FALSE(dlg.IsModified());
    EXPECT_EQ(Lock(), "") << "and free again once saved";
    EXPECT_EQ(Stored(L"AutoOpenAutoClose"), (std::variant<long, std::wstring>(2L)));
    EXPECT_EQ(Stored(L"AutoOpenMode"), (std::variant<long, std::wstring>(3L))) << "a mode of another version is kept";
    EXPECT_EQ(Stored(L"FillLevelPercentWarning"), (std::variant<long, std::wstring>(75L)));
    EXPECT_EQ(Stored(L"EntCheckKursPrecondition"), (std::variant<long, std::wstring>(0L)));
    EXPECT_EQ(Stored(L"EntNotificationMultilanguage"), (std::variant<long, std::wstring>(0L))) << "off while never set";
    EXPECT_EQ(Stored(L"NotificationSubject"), (std::variant<long, std::wstring>(L"Kursanmeldungen 'neu'")));
    EXPECT_NE(std::get<std::wstring>(Stored(L"PublishDate")).find(L"2031-02-01"), std::wstring::npos);
    long fillup = -1;
    EXPECT_TRUE(CQvRegistry::GetValue(L"Software\\Qovaro\\NQ2\\KursView", L"FillupStateEnabled", fillup));
    EXPECT_EQ(fillup, 0);
    const auto log = userLog.Entries();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].text, L"Einstellungen Kurs aktualisiert.");
    ASSERT_EQ(dlg.ShowView(TRUE), S_OK);
    EXPECT_EQ(qv::ui::test::Text(Item(dlg, IDC_KURSSETUP_PUBLISHDATE)), L"01.02.2031") << "the stored date is shown";
    Click(dlg, IDC_KURSSETUP_AUTOCLOSE);
    ASSERT_EQ(dlg.ShowView(FALSE), S_OK);
    EXPECT_EQ(Stored(L"AutoOpenAutoClose"), (std::variant<long, std::wstring>(0L))) << "neither opened nor closed";
    ASSERT_EQ(dlg.ShowView(TRUE), S_OK);
    Click(dlg, IDC_KURSSETUP_AUTOOPEN);
    ASSERT_EQ(dlg.ShowView(FALSE), S_OK);
    EXPECT_EQ(Stored(L"AutoOpenAutoClose"), (std::variant<long, std::wstring>(1L))) << "opened only";
    // The publication date typed as the dates of a run are: digits alone, a year of two digits.
    for (const auto& [typed, stored] : {std::pair{L"01022027", L"2027-02-01"}, std::pair{L"1.3.28", L"2028-03-01"}}) {
        ASSERT_EQ(dlg.ShowView(TRUE), S_OK);
        Retype(Item(dlg, IDC_KURSSETUP_PUBLISHDATE), typed);
        ASSERT_EQ(dlg.ShowView(FALSE), S_OK) << W2U(typed);
        EXPECT_NE(std::get<std::wstring>(Stored(L"PublishDate")).find(stored), std::wstring::npos) << W2U(typed);
    }
}

TEST_F(KursSetup, SettingsAnotherUserChangesStayLockedAndShowTheStoredValues) {
    optionServer.Set(-1060, L"FillLevelPercentWarning", 80);
    Sql("UPDATE Mandant SET strLock = datetime('now','localtime') || '|PC9|fritz' WHERE lMandantID = " + K(mandant));
    CKursSetupDlg& dlg = Open();
    script.ExpectReport(L"Die Daten sind gesperrt von '");
    Click(Item(dlg, IDC_KURSSETUP_LINKED));
    const auto reports = script.Log().Records(qv::InteractionKind::Report);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].text.find(L"|PC9|fritz'"), std::wstring::npos) << "the holder is named";
    EXPECT_FALSE(dlg.IsModified());
    EXPECT_FALSE(Checked(Item(dlg, IDC_KURSSETUP_LINKED))) << "the stored value is shown again";
    EXPECT_EQ(qv::ui::test::Text(Item(dlg, IDC_KURSSETUP_FILLPERCENT)), L"80");
    dlg.ShowView(FALSE);
    EXPECT_EQ(optionServer.values.count({-1060, L"ShowLinkedPersonEntries"}), 0u) << "nothing was written";
}

TEST_F(KursSetup, ValuesOutOfRangeAreRefusedAndNothingIsWritten) {
    struct Case {
        int control;
        std::wstring text, message;
    };
    const Case cases[] = {
        {IDC_KURSSETUP_FILLPERCENT, L"0", L"zwischen 1 und 100"},
        {IDC_KURSSETUP_FILLINTERVAL, L"2000", L"zwischen 0 und 1440"},
        {IDC_KURSSETUP_PUBLISHDATE, L"32.13.2031", L"kein gültiges Datum"},
        {IDC_KURSSETUP_PUBLISHDATE, L"31022031", L"kein gültiges Datum"},
    };
    for (const Case& c : cases) {
        CKursSetupDlg& dlg = Open();
        Retype(Item(dlg, c.control), c.text);
        script.ExpectMessageBox(IDOK, c.message);
        EXPECT_EQ(dlg.ShowView(FALSE), E_ABORT) << "the page stays, told once";
        EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 0u);
        EXPECT_TRUE(dlg.IsModified()) << "the change stays for the next try";
        EXPECT_TRUE(Visible(dlg.GetSafeHwnd()));
        EXPECT_EQ(qv::ui::test::Text(Item(dlg, c.control)), c.text);
        EXPECT_EQ(optionServer.values.count({-1060, L"FillLevelInterval"}) + optionServer.values.count({-1060, L"FillLevelPercentWarning"}), 0u);
        page->DestroyWindow();
        delete page;
        page = nullptr;
    }
}

TEST_F(KursSetup, OnADatabaseThatMayNotBeWrittenAChangeIsRefusedNamingTheFileAndUndone) {
    if (kOnPg) GTEST_SKIP() << "a database file that may not be written is SQLite's";
    const std::string file = env->SuiteDatabase();
    std::filesystem::permissions(file, std::filesystem::perms::owner_read | std::filesystem::perms::group_read);
    qv::ado::Session::ReleasePool();
    CKursSetupDlg& dlg = Open();
    script.ExpectMessageBox(IDOK, L"Die Datenbank ist schreibgeschützt");
    Retype(Item(dlg, IDC_KURSSETUP_OPENDAYS), L"30");
    const auto boxes = script.Log().Records(qv::InteractionKind::MessageBox);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].text.find(qv::FromUtf8(file)), std::wstring::npos) << "the file is named: " << qv::ToUtf8(boxes[0].text);
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 0u) << "no lock held by nobody";
    EXPECT_EQ(qv::ui::test::Text(Item(dlg, IDC_KURSSETUP_OPENDAYS)), L"28");
    EXPECT_FALSE(dlg.IsModified());
    Retype(Item(dlg, IDC_KURSSETUP_CLOSEDAYS), L"9");
    EXPECT_EQ(qv::ui::test::Text(Item(dlg, IDC_KURSSETUP_CLOSEDAYS)), L"6") << "later changes undone without a box";
    EXPECT_EQ(script.Log().Records().size(), 1u);
    std::filesystem::permissions(file, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
}

// Administrator and Anna, each under his own login in a settings window of his own: the lock keeps
// them apart, and a change one of them saved, or a writer without the lock stored, is not written
// over by a page loaded before it.
TEST_F(KursSetup, TwoUsersOnTheSettingsNeitherLosesTheOthersChange) {
    CKursSetupDlg* pA = nullptr;
    {
        qvtest::ScopedEnv user("USER", "admin");
        secServer.userName = L"Administrator";
        pA = &Open();
    }
    CKursSetupDlg& a = *pA;
    ASSERT_TRUE(otherPane.CreateEx(0, AfxRegisterWndClass(0), L"Einstellungen", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 720, 0,
                                   700, 620, nullptr, nullptr));
    CKursSetupDlg* pB = nullptr;
    {
        qvtest::ScopedEnv user("USER", "anna");
        secServer.userName = L"Anna";
        pB = &Open(otherPane, other);
    }
    CKursSetupDlg& b = *pB;
    Retype(Item(a, IDC_KURSSETUP_OPENDAYS), L"30");
    EXPECT_EQ(Lock().substr(Lock().rfind('|')), "|admin") << Lock();

    script.ExpectReport(L"Die Daten sind gesperrt von '");
    Retype(Item(b, IDC_KURSSETUP_CLOSEDAYS), L"7");
    ASSERT_EQ(script.Log().Count(qv::InteractionKind::Report), 1u) << "Anna is another user";
    EXPECT_NE(script.Log().Records(qv::InteractionKind::Report)[0].text.find(L"|admin'"), std::wstring::npos);
    EXPECT_EQ(qv::ui::test::Text(Item(b, IDC_KURSSETUP_CLOSEDAYS)), L"6");
    ASSERT_EQ(a.ShowView(FALSE), S_OK);
    EXPECT_EQ(Stored(L"AutoOpenAfterPublish"), (std::variant<long, std::wstring>(30L)));

    // Anna's page still shows 28: her next change is not laid over it. She is told once and sees
    // what is stored; typed again, her change is saved beside his.
    script.ExpectReport(L"inzwischen geändert");
    Retype(Item(b, IDC_KURSSETUP_CLOSEDAYS), L"7");
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 2u);
    EXPECT_EQ(qv::ui::test::Text(Item(b, IDC_KURSSETUP_OPENDAYS)), L"30");
    EXPECT_EQ(qv::ui::test::Text(Item(b, IDC_KURSSETUP_CLOSEDAYS)), L"6");
    EXPECT_FALSE(b.IsModified());
    EXPECT_EQ(Lock(), "") << "nothing held for a change that was not made";
    Screen(otherPane, "kurssetupdlg_changed_meanwhile");
    Retype(Item(b, IDC_KURSSETUP_CLOSEDAYS), L"7");
    EXPECT_TRUE(b.IsModified());
    EXPECT_EQ(qv::ui::test::Text(Item(b, IDC_KURSSETUP_CLOSEDAYS)), L"7");
    ASSERT_EQ(b.ShowView(FALSE), S_OK);
    EXPECT_EQ(Stored(L"AutoOpenAfterPublish"), (std::variant<long, std::wstring>(30L)));
    EXPECT_EQ(Stored(L"AutoCloseBeforInstanz"), (std::variant<long, std::wstring>(7L)));
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 2u);

    // A writer without the lock stores a setting between his first key and his save: nothing of
    // his page is written over it, he is told once and the page stays, showing what is stored.
    ASSERT_EQ(a.ShowView(TRUE), S_OK);
    Retype(Item(a, IDC_KURSSETUP_OPENDAYS), L"31");
    ASSERT_NE(Lock(), "");
    optionServer.Set(-1060, L"FillLevelInterval", 20);
    script.ExpectReport(L"inzwischen geändert");
    EXPECT_EQ(a.ShowView(FALSE), E_ABORT);
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 3u);
    EXPECT_EQ(Stored(L"AutoOpenAfterPublish"), (std::variant<long, std::wstring>(30L)));
    EXPECT_EQ(Stored(L"FillLevelInterval"), (std::variant<long, std::wstring>(20L)));
    EXPECT_EQ(qv::ui::test::Text(Item(a, IDC_KURSSETUP_OPENDAYS)), L"30");
    EXPECT_EQ(qv::ui::test::Text(Item(a, IDC_KURSSETUP_FILLINTERVAL)), L"20");
    EXPECT_FALSE(a.IsModified());
    Screen(pane, "kurssetupdlg_changed_at_save");
    EXPECT_EQ(Lock(), "");
    Retype(Item(a, IDC_KURSSETUP_OPENDAYS), L"31");
    ASSERT_EQ(a.ShowView(FALSE), S_OK);
    EXPECT_EQ(Stored(L"AutoOpenAfterPublish"), (std::variant<long, std::wstring>(31L)));
    EXPECT_EQ(Stored(L"FillLevelInterval"), (std::variant<long, std::wstring>(20L)));
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 3u);
}

}  // namespace
}  // namespace kurstest
