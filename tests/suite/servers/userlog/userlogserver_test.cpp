// The user-log server through the user-log client: entries arrive in UserLog with their grouping,
// the signed-in user and quoting intact, refusals, the caller's transaction and the record's log
// window.
#include "dialog.h"
#include "fakehost.h"
#include "qvadoconnection.h"
#include "qvcomserver.h"
#include "scripted.h"
#include "standinfixture.h"
#include "uidriver.h"
#include "userlog.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QTextBlock>
#include <gtest/gtest.h>

#include <filesystem>

namespace {

namespace t = qv::ui::test;
constexpr UINT kLogWindow = 30200;
const CQvGUID kRun(L"FE598CA4-2B6D-41E3-AE09-2DB75EE0C56F");
const CQvGUID kPerson(L"285D3D5E-82F8-4A8E-80F1-4EDBCC39D1EF");
const CQvGUID kOtherRun(L"3E018E57-48D1-479F-8324-A5D4507578C8");

class UserLogServer : public ::testing::Test {
protected:
    void SetUp() override {
        qv::ui::EnsureApplication();
        script.OnFailure([](const std::string& m) { ADD_FAILURE() << m; });
        ASSERT_EQ(env.Start(QVUSERLOG_PROGID), S_OK);
        frame.Offer(CLSID_UserLog);
    }
    std::string Column(const char* column, long lGrouping) {
        return env.QueryText(std::string("SELECT ") + column + " FROM UserLog WHERE lGrouping = " +
                             std::to_string(lGrouping) + " ORDER BY lUserLogID");
    }
    long Write(CUserLog& log, long kind, const wchar_t* text, const wchar_t* module, const CQvGUID& record,
               long grouping) {
        CString strText = text, strDetail = L"Teilnehmer:Muster Hans | Status:Angemeldet", strModul = module;
        CQvGUID object = record, parent = kPerson;
        return log.Write(kind, &strText, &strDetail, &strModul, 1, 42, &object, &parent, 0, grouping);
    }

    qvtest::StandInEnvironment env;
    qvtest::FakeFrame frame;
    qvtest::ScopedRunningServer runningFrame{QV_FRAME_PROGID, &frame};
    qv::ScriptedInteraction script;
    qv::ScopedInteraction interaction{&script};
};

TEST_F(UserLogServer, AnEntryArrivesWithItsGrouping) {
    qv::suite::SetSystemID(1);
    CUserLog log;
    const long grouping = log.GetNewGrouping();
    ASSERT_GT(grouping, 0);
    const long next = log.GetNewGrouping();
    EXPECT_GT(next, grouping) << "every grouping is new";

    ASSERT_EQ(Write(log, QVUSERLOG_INSERT, L"Person zu einem Kurs hinzugefügt.", L"Ausbildung.Person", kRun, grouping),
              S_OK);
    ASSERT_EQ(Write(log, QVUSERLOG_DELETE, L"Person von einer Kursaustragung entfernt.", L"Ausbildung.Person", kRun,
                    grouping),
              S_OK);
    EXPECT_EQ(env.QueryInt("SELECT count(*) FROM UserLog WHERE lGrouping = " + std::to_string(grouping)), 2);
    EXPECT_EQ(Column("lKind", grouping), "0");
    EXPECT_EQ(Column("strText", grouping), "Person zu einem Kurs hinzugefügt.");
    EXPECT_EQ(Column("strDetail", grouping), "Teilnehmer:Muster Hans | Status:Angemeldet");
    EXPECT_EQ(Column("strModul", grouping), "Ausbildung.Person");
    EXPECT_EQ(Column("lValue", grouping), "1");
    EXPECT_EQ(Column("lTableID", grouping), "42");
    EXPECT_EQ(Column("guidRecord", grouping), "FE598CA4-2B6D-41E3-AE09-2DB75EE0C56F");
    EXPECT_EQ(Column("guidParent", grouping), "285D3D5E-82F8-4A8E-80F1-4EDBCC39D1EF");
    EXPECT_EQ(Column("strUser", grouping), "Administrator");
    EXPECT_EQ(Column("lCode", grouping), "0");
    EXPECT_NE(Column("dtTime", grouping), "<null>");
}

TEST_F(UserLogServer, EntriesWithoutGroupingAndTheWritersCode) {
    CUserLog log;
    CString text = L"Gruppe wurde neu erzeugt.", modul = L"Aktivität.Gruppe", detail;
    CQvGUID none;
    ASSERT_EQ(log.WriteInsert(&text, &detail, &modul, 0, 6, &none, &none, 1, 0), S_OK);
    EXPECT_EQ(env.QueryText("SELECT lCode FROM UserLog WHERE strModul = 'Aktivität.Gruppe'"), "1");
    EXPECT_EQ(env.QueryText("SELECT lGrouping FROM UserLog WHERE strModul = 'Aktivität.Gruppe'"), "0");
    EXPECT_EQ(env.QueryText("SELECT strUser FROM UserLog WHERE strModul = 'Aktivität.Gruppe'"), "")
        << "nobody signed in";
}

TEST_F(UserLogServer, QuotesInTextsAreKept) {
    CUserLog log;
    ASSERT_EQ(Write(log, QVUSERLOG_UPDATE, L"Kurs 'Atemschutz' aktualisiert'); DELETE FROM UserLog; --",
                    L"Ausbildung.Kurs", kRun, 77),
              S_OK);
    EXPECT_EQ(Column("strText", 77), "Kurs 'Atemschutz' aktualisiert'); DELETE FROM UserLog; --");
}

TEST_F(UserLogServer, TheServerRefusesWhatIsNoEntry) {
    IUserLog* server = nullptr;
    ASSERT_EQ(QueryCOMServer(QVUSERLOG_PROGID, IID_IUserLog, reinterpret_cast<void**>(&server)), S_OK);
    BSTR text = SysAllocString(L"Kurs wurde gelöscht.");
    BSTR modul = SysAllocString(L"Ausbildung.Kurs");
    BSTR empty = SysAllocString(L"");
    EXPECT_EQ(server->Write(3, text, empty, modul, 0, 39, GUID_NULL, GUID_NULL, 0, 0), E_INVALIDARG);
    EXPECT_EQ(server->Write(2, empty, empty, modul, 0, 39, GUID_NULL, GUID_NULL, 0, 0), E_INVALIDARG);
    EXPECT_EQ(server->Write(2, text, nullptr, empty, 0, 39, GUID_NULL, GUID_NULL, 0, 0), E_INVALIDARG);
    EXPECT_EQ(server->Write(2, text, nullptr, modul, 0, 39, GUID_NULL, GUID_NULL, 0, 0), S_OK) << "no detail is fine";
    EXPECT_EQ(server->ShowSpecificUserLog(2, empty, empty, empty, GUID_NULL), E_INVALIDARG);
    SysFreeString(text);
    SysFreeString(modul);
    SysFreeString(empty);
    server->Release();
    EXPECT_EQ(env.QueryInt("SELECT count(*) FROM UserLog"), 1);

    // An entry the database refuses: the client's last error text is the database's cause.
    env.Exec("DROP TABLE UserLog");
    CUserLog log;
    EXPECT_TRUE(FAILED(Write(log, QVUSERLOG_DELETE, L"Kurs wurde gelöscht.", L"Ausbildung.Kurs", kRun, 0)));
    CString strCause = log.GetLastErrorText();
    strCause.MakeLower();
    EXPECT_GE(strCause.Find(L"userlog"), 0);
}

TEST_F(UserLogServer, EntriesStayOrGoWithTheCallersTransaction) {
    CQvADOConnection conn;
    ASSERT_EQ(conn.Open(L"Qovaro.NQ2", 0), S_OK);
    ASSERT_EQ(conn.BeginTrans(), S_OK);
    ASSERT_EQ(conn.Execute(L"UPDATE Kurs SET fActive = 1 WHERE lKursID = -5"), S_OK);
    CUserLog log;
    ASSERT_EQ(Write(log, QVUSERLOG_INSERT, L"Kurs wurde neu erzeugt.", L"Ausbildung.Kurs", kRun, 5), S_OK);
    ASSERT_EQ(conn.RollbackTrans(), S_OK);
    EXPECT_EQ(env.QueryInt("SELECT count(*) FROM UserLog"), 0);

    ASSERT_EQ(conn.BeginTrans(), S_OK);
    ASSERT_EQ(Write(log, QVUSERLOG_INSERT, L"Kurs wurde neu erzeugt.", L"Ausbildung.Kurs", kRun, 5), S_OK);
    ASSERT_EQ(conn.CommitTrans(), S_OK);
    EXPECT_EQ(env.QueryInt("SELECT count(*) FROM UserLog"), 1);
}

TEST_F(UserLogServer, TheEntriesOfOneRecord) {
    CUserLog log;
    ASSERT_EQ(Write(log, QVUSERLOG_INSERT, L"Kursaustragung wurde neu erzeugt.", L"Ausbildung.Instanz", kRun, 0), S_OK);
    ASSERT_EQ(Write(log, QVUSERLOG_UPDATE, L"Kursaustragung wurde aktualisiert.", L"Ausbildung.Instanz", kRun, 0), S_OK);
    ASSERT_EQ(Write(log, QVUSERLOG_DELETE, L"Kursaustragung wurde gelöscht.", L"Ausbildung.Instanz", kOtherRun, 0), S_OK);
    std::wstring caption, count, text;
    script.ExpectModal(kLogWindow, [&](qv::IModalDialog& modal) {
        const HWND dlg = dynamic_cast<CDialog&>(modal).GetSafeHwnd();
        caption = t::Text(dlg);
        count = t::Text(t::Item(dlg, 1000));
        text = t::Text(t::Item(dlg, 1001));
        EXPECT_TRUE(t::ReadOnly(t::Item(dlg, 1001)));
        t::Click(dlg, IDOK);
    });
    EXPECT_EQ(log.ShowSpecificUserLog(1, L"Atemschutz 1, 2024", L"", L"", kRun), S_OK);
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::MessageBox), 0u);
    EXPECT_EQ(caption, L"Atemschutz 1, 2024");
    EXPECT_EQ(count, L"2 Einträge, die neuesten zuerst.");
    EXPECT_GT(text.find(L"neu erzeugt"), text.find(L"aktualisiert")) << "newest first";
    EXPECT_EQ(text.find(L"gelöscht"), std::wstring::npos) << "only the record's entries";
    EXPECT_NE(text.find(L"aktualisiert. | Teilnehmer:Muster Hans | Status:Angemeldet\r\n"), std::wstring::npos)
        << "an entry with its detail";
}

// A long log: its window fits an 860-pixel screen with its close button, shows the newest entries
// first and scrolls down to the oldest.
TEST_F(UserLogServer, ALongLogScrollsInAWindowThatFitsTheScreen) {
    std::string rows;
    for (int i = 1; i <= 300; ++i)
        rows += (i > 1 ? ", (" : "(") + std::to_string(i) + ", 'Teilnehmer " + std::to_string(i) +
                " angemeldet, Status geändert von Provisorisch zu Angemeldet', 'Ausbildung.Person', "
                "'FE598CA4-2B6D-41E3-AE09-2DB75EE0C56F', 'Muster Hans', '2026-01-01 08:00:00', " +
                std::to_string(i) + ")";
    env.Exec("INSERT INTO UserLog (lUserLogID, strText, strModul, guidRecord, strUser, dtTime, lValue) VALUES " + rows);
    bool shown = false;
    script.ExpectModal(kLogWindow, [&](qv::IModalDialog& modal) {
        shown = true;
        const HWND dlg = dynamic_cast<CDialog&>(modal).GetSafeHwnd();
        QWidget* window = t::Widget(dlg)->window();
        EXPECT_LE(window->frameGeometry().height(), 860);
        EXPECT_TRUE(window->screen()->availableGeometry().contains(window->frameGeometry()));
        auto* edit = qobject_cast<QPlainTextEdit*>(t::Widget(t::Item(dlg, 1001)));
        ASSERT_NE(edit, nullptr);
        QScrollBar* bar = edit->verticalScrollBar();
        EXPECT_TRUE(bar->isVisible());
        EXPECT_EQ(bar->value(), 0);
        const auto firstShown = [&] { return edit->cursorForPosition(QPoint(4, 4)).block().text(); };
        EXPECT_TRUE(firstShown().startsWith(QStringLiteral("01.01.2026 08:00:00 | Muster Hans | Teilnehmer 300 ")))
            << firstShown().toStdString();
        std::filesystem::create_directories(QV_SCREENS_DIR);
#ifdef QV_TEST_PG
        t::SavePng(dlg, std::string(QV_SCREENS_DIR) + "/userlog_long_pg.png");
#else
        t::SavePng(dlg, std::string(QV_SCREENS_DIR) + "/userlog_long.png");
#endif
        // To the end with the keys: the oldest entry comes into view.
        ASSERT_TRUE(t::PressKey(t::Item(dlg, 1001), VK_END));
        EXPECT_EQ(bar->value(), bar->maximum());
        const QRect last = edit->cursorRect(QTextCursor(edit->document()->lastBlock()));
        EXPECT_TRUE(edit->viewport()->rect().contains(last)) << "the oldest entry is shown";
        EXPECT_TRUE(edit->document()->lastBlock().text().contains(QStringLiteral("Teilnehmer 1 angemeldet")));
        EXPECT_TRUE(t::Visible(t::Item(dlg, IDOK)));
        EXPECT_TRUE(t::Click(dlg, IDOK));
    });
    CUserLog log;
    EXPECT_EQ(log.ShowSpecificUserLog(1, L"Atemschutz 1, 2024", L"", L"", kRun), S_OK);
    EXPECT_TRUE(shown);
}

}  // namespace
