// The groups page: groups created (a name once per run), filled from the persons without a group,
// emptied, renamed and deleted with their members back among the persons without a group, the
// labels and colours of the tree, and the course's template saved from one run and applied to
// another.
#include "extensions.h"
#include "qvadoconnection.h"
#include "runpagestest.h"

#include <QPushButton>
#include <atomic>
#include <thread>

namespace kurstest {
namespace {

using namespace qv::ui::test;

class Gruppen : public RunPages {
protected:
    void Open() {
        OpenView();
        page = Show<CGruppenDlg>();
        ASSERT_NE(page, nullptr);
    }
    HWND Tree() const { return page->m_tree.m_hWnd; }
    HWND List() const { return page->m_list.m_hWnd; }
    HWND Button(int id) const { return qv::ui::test::Item(page->GetSafeHwnd(), id); }
    void Menu(UINT command) { ChooseFromMenu(Button(IDC_GRUPPEN_NEW), command); }
    void NewGroup(const std::wstring& name, long max, const wchar_t* refusal = nullptr) {
        script.ExpectModal(IDD_GRUPPEBEZ, [name, max](qv::IModalDialog& modal) {
            auto& dlg = dynamic_cast<CGruppeBezDlg&>(modal);
            Retype(qv::ui::test::Item(dlg.GetSafeHwnd(), IDC_GRUPPEBEZ_NAME), name);
            Retype(qv::ui::test::Item(dlg.GetSafeHwnd(), IDC_GRUPPEBEZ_MAX), std::to_wstring(max));
            Click(dlg.GetSafeHwnd(), IDOK);
            if (!modal.IsModalEnded()) modal.EndModal(IDCANCEL);
        });
        if (refusal) script.ExpectMessageBox(IDOK, refusal);
        Menu(ID_GRUPPE_NEW);
    }
    // The text of the tree's item that starts with 'start', without its indentation.
    std::wstring TreeItem(const std::wstring& start) {
        for (auto item : TreeItems(Tree())) {
            item.erase(0, item.find_first_not_of(L' '));
            if (item.rfind(start, 0) == 0) return item;
        }
        return L"(none)";
    }
    void SelectInList(const std::vector<std::wstring>& names) {
        bool first = true;
        for (const auto& name : names) {
            const int row = RowOf(List(), 2, name);
            ASSERT_GE(row, 0) << qv::ToUtf8(name);
            ASSERT_TRUE(SelectRow(List(), row, first ? Qt::NoModifier : Qt::ControlModifier));
            first = false;
        }
    }
    std::string Groups(long r) {
        return Text("SELECT group_concat(strBezeichnung || '/' || lMaxTeilnehmer, ' ') FROM (SELECT * FROM "
                    "KursinstanzGruppe WHERE lKursinstanzID = " + K(r) + " ORDER BY strBezeichnung)");
    }
    CGruppenDlg* page = nullptr;
};

TEST_F(Gruppen, GroupsAreCreatedFilledEmptiedRenamedAndDeletedWithTheirMembersKept) {
    // The first run of a database has the number 1.
    Sql("UPDATE Kursinstanz SET lKursinstanzID = 1 WHERE lKursinstanzID = " + K(run));
    Sql("UPDATE SecKurs SET lKursinstanzID = 1 WHERE lKursinstanzID = " + K(run));
    run = 1;
    for (const char* name : {"Anna", "Beat", "Carl", "Emil"}) AddReg(AddPerson(name), kurs, run, 0, "2031-01-02");
    Sql("UPDATE PersonKurs SET lStatus = 3 WHERE lPersonID = (SELECT lPersonID FROM Person WHERE strName = 'Carl')");
    const long dora = AddPerson("Dora");
    AddInstruktor(dora, run, 0);
    Open();
    ASSERT_EQ(Rows(List()), 5);
    EXPECT_TRUE(TreeItems(Tree()).empty());
    EXPECT_NE(RowOf(List(), 0, L" | ohne spezielle Funktion"), -1) << "the instructor shows his role";
    Click(Button(IDC_GRUPPEN_ANGEMELDET));
    EXPECT_EQ(Rows(List()), 4) << "the waiting Carl is not registered";
    Click(Button(IDC_GRUPPEN_ALLE));
    ASSERT_EQ(Rows(List()), 5);

    NewGroup(L"Gruppe 'A'", 3);
    NewGroup(L"B", 0);
    EXPECT_EQ(Text("SELECT strDetail FROM UserLog ORDER BY lUserLogID DESC LIMIT 1"), "B | MaxTeilnehmer: 0");
    EXPECT_EQ(Groups(run), "B/0 Gruppe 'A'/3");
    EXPECT_EQ(TreeItems(Tree()), (std::vector<std::wstring>{L"B  (Anzahl: 0)", L"Gruppe 'A'  (Anzahl/max: 0/3)"}));
    EXPECT_TRUE(TreeItemBold(Tree(), L"B  (Anzahl: 0)"));
    NewGroup(L"Gruppe 'A'", 5, L"Es existiert schon eine Gruppe mit dieser Bezeichnung!");
    EXPECT_EQ(Groups(run), "B/0 Gruppe 'A'/3") << "a name is taken once per run";
    // Blanks at the end make no other name: not typed, nor stored by another program.
    NewGroup(L"Gruppe 'A'  ", 5, L"Es existiert schon eine Gruppe mit dieser Bezeichnung!");
    Sql("INSERT INTO KursinstanzGruppe (lKursinstanzGruppeID, lKursinstanzID, strBezeichnung) VALUES (80002, " + K(run) +
        ", 'C ')");
    NewGroup(L"c", 5, L"Es existiert schon eine Gruppe mit dieser Bezeichnung!");
    Sql("DELETE FROM KursinstanzGruppe WHERE lKursinstanzGruppeID = 80002");
    EXPECT_EQ(Groups(run), "B/0 Gruppe 'A'/3");

    // Adding needs a group and persons.
    EXPECT_FALSE(Enabled(Button(IDC_GRUPPEN_ADD)));
    ASSERT_TRUE(SelectTreeItem(Tree(), L"B  (Anzahl: 0)"));
    EXPECT_FALSE(Enabled(Button(IDC_GRUPPEN_ADD))) << "a group without persons";
    SelectInList({L"Anna", L"Beat", L"Carl", L"Dora", L"Emil"});
    ASSERT_TRUE(SelectTreeItem(Tree(), L"Gruppe 'A'  (Anzahl/max: 0/3)"));
    ASSERT_TRUE(Enabled(Button(IDC_GRUPPEN_ADD)));
    EXPECT_FALSE(Enabled(Button(IDC_GRUPPEN_REMOVE)));
    const long long logs = Int("SELECT count(*) FROM UserLog");
    Click(Button(IDC_GRUPPEN_ADD));
    EXPECT_EQ(Rows(List()), 0);
    const std::wstring full = L"Gruppe 'A'  (Anzahl/max: 4/3)";
    const auto items = TreeItems(Tree());
    ASSERT_EQ(items.size(), 7u);
    EXPECT_EQ(items[1], full);
    EXPECT_NE(items[2].find(L"Dora"), std::wstring::npos) << "instructors stand before the participants";
    EXPECT_EQ(TreeItemColor(Tree(), full), RGB(192, 0, 0)) << "more participants than its maximum";
    EXPECT_EQ(Int("SELECT count(*) FROM UserLog") - logs, 5) << "one entry per person";
    EXPECT_EQ(Int("SELECT count(*) FROM UserLog WHERE strDetail LIKE 'Gruppe ''A''  (Anzahl/max: 0/3) | Person ''% "
                  "Hans'' hinzugefügt'"), 5);

    // A member goes back to the list; the group is within its maximum again.
    const std::wstring beat = TreeItem(L"Beat");
    // Rights that cannot be read when a member is chosen are reported once.
    security.rightsResult = E_FAIL;
    script.ExpectReport();
    ASSERT_TRUE(SelectTreeItem(Tree(), TreeItem(L"Anna")));
    security.rightsResult = S_OK;
    ASSERT_TRUE(SelectTreeItem(Tree(), beat));
    ASSERT_TRUE(Enabled(Button(IDC_GRUPPEN_REMOVE)));
    for (int id : {IDC_GRUPPEN_EDIT, IDC_GRUPPEN_DELETE}) EXPECT_FALSE(Enabled(Button(id))) << "a member is no group";
    Click(Button(IDC_GRUPPEN_REMOVE));
    EXPECT_EQ(Text("SELECT strDetail FROM UserLog ORDER BY lUserLogID DESC LIMIT 1"), "Gruppe 'A'  (Anzahl/max: 4/3) | Person 'Beat Hans' entfernt");
    EXPECT_EQ(Rows(List()), 1);
    SelectInList({L"Beat"});
    ASSERT_TRUE(SelectTreeItem(Tree(), TreeItem(L"Anna")));
    EXPECT_FALSE(Enabled(Button(IDC_GRUPPEN_ADD))) << "persons go into a group, not to a member";
    EXPECT_EQ(TreeItemColor(Tree(), L"Gruppe 'A'  (Anzahl/max: 3/3)"), CLR_DEFAULT);

    // Renaming keeps the members.
    ASSERT_TRUE(SelectTreeItem(Tree(), L"Gruppe 'A'  (Anzahl/max: 3/3)"));
    std::wstring shown;
    script.ExpectModal(IDD_GRUPPEBEZ, [&](qv::IModalDialog& modal) {
        auto& dlg = dynamic_cast<CGruppeBezDlg&>(modal);
        shown = qv::ui::test::Text(qv::ui::test::Item(dlg.GetSafeHwnd(), IDC_GRUPPEBEZ_NAME));
        Retype(qv::ui::test::Item(dlg.GetSafeHwnd(), IDC_GRUPPEBEZ_NAME), L"Alpha ");
        Retype(qv::ui::test::Item(dlg.GetSafeHwnd(), IDC_GRUPPEBEZ_MAX), L"5");
        Click(dlg.GetSafeHwnd(), IDOK);
    });
    Click(Button(IDC_GRUPPEN_EDIT));
    EXPECT_EQ(shown, L"Gruppe 'A'");
    EXPECT_EQ(TreeItem(L"Alpha"), L"Alpha  (Anzahl/max: 3/5)");
    EXPECT_EQ(Groups(run), "Alpha/5 B/0");
    EXPECT_EQ(Text("SELECT strDetail FROM UserLog ORDER BY lUserLogID DESC LIMIT 1"), "Alpha | MaxTeilnehmer: 5");

    // Deleting a group gives its members back to the list: none of them vanishes.
    ASSERT_TRUE(SelectTreeItem(Tree(), L"Alpha  (Anzahl/max: 3/5)"));
    script.ExpectMessageBox(IDNO, L"wirklich löschen");
    Click(Button(IDC_GRUPPEN_DELETE));
    EXPECT_EQ(Groups(run), "Alpha/5 B/0");
    ASSERT_TRUE(SelectTreeItem(Tree(), L"Alpha  (Anzahl/max: 3/5)"));
    script.ExpectMessageBox(IDYES, L"wirklich löschen");
    Click(Button(IDC_GRUPPEN_DELETE));
    EXPECT_EQ(Groups(run), "B/0");
    EXPECT_EQ(TreeItems(Tree()), (std::vector<std::wstring>{L"B  (Anzahl: 0)"}));
    EXPECT_EQ(Rows(List()), 5);
    EXPECT_EQ(Int("SELECT count(*) FROM PersonKurs WHERE lKursinstanzGruppeID <> -1"), 0);
    EXPECT_EQ(Text("SELECT strText FROM UserLog ORDER BY lUserLogID DESC LIMIT 1"), "Gruppe wurde gelöscht.");

    // A registration another user changed after the list or the tree was filled is not grouped or
    // ungrouped: the user is told once, nothing of it is logged, the others go, and both show what
    // is stored.
    const auto grouped = [&](const char* name) {
        return Int("SELECT lKursinstanzGruppeID FROM PersonKurs WHERE lPersonID = (SELECT lPersonID FROM Person WHERE "
                   "strName = '" + std::string(name) + "')");
    };
    SelectInList({L"Anna", L"Beat"});
    ASSERT_TRUE(SelectTreeItem(Tree(), L"B  (Anzahl: 0)"));
    Sql("UPDATE PersonKurs SET lStatus = 5 WHERE lPersonID = (SELECT lPersonID FROM Person WHERE strName = 'Anna')");
    const long long before = Int("SELECT count(*) FROM UserLog");
    script.ExpectMessageBox(IDOK, L"Diese Anmeldung wurde inzwischen geändert");
    Click(Button(IDC_GRUPPEN_ADD));
    EXPECT_EQ(grouped("Anna"), -1);
    EXPECT_NE(grouped("Beat"), -1);
    EXPECT_EQ(Int("SELECT count(*) FROM UserLog") - before, 1) << "Beat's entry only";
    EXPECT_EQ(TreeItems(Tree()).size(), 2u);
    ASSERT_TRUE(SelectTreeItem(Tree(), TreeItem(L"Beat")));
    Sql("UPDATE PersonKurs SET lKursinstanzGruppeID = -1 WHERE lPersonID = (SELECT lPersonID FROM Person WHERE "
        "strName = 'Beat')");
    script.ExpectMessageBox(IDOK, L"Diese Anmeldung wurde inzwischen geändert");
    Click(Button(IDC_GRUPPEN_REMOVE));
    EXPECT_EQ(Int("SELECT count(*) FROM UserLog") - before, 1);
    EXPECT_EQ(TreeItems(Tree()), (std::vector<std::wstring>{L"B  (Anzahl: 0)"}));
}

// Two users, each in a course window of his own on the run. What Anna or another user changed after
// the first user's page was loaded is not written over: nobody goes into a group she deleted, a
// registration booked anew in place of the one shown is not grouped as that one, a member
// re-statused stays in his group, and a group deleted or changed meanwhile is neither edited nor
// deleted again. He is told once, nothing is written or logged, and both lists show what is stored.
TEST_F(Gruppen, WhatAnotherUserDeletedOrChangedIsLeftAsStoredAndBothListsShowIt) {
    AddReg(AddPerson("Amsler"), kurs, run, 0, "2031-01-02");
    const long brunner = AddPerson("Brunner");
    const long regB = AddReg(brunner, kurs, run, 0, "2031-01-02");
    const long regD = AddReg(AddPerson("Dubach"), kurs, run, 0, "2031-01-02");
    Sql("INSERT INTO KursinstanzGruppe (lKursinstanzGruppeID, lKursinstanzID, strBezeichnung, lMaxTeilnehmer) VALUES "
        "(70001, " + K(run) + ", 'Theorie', 0), (70002, " + K(run) + ", 'Praxis', 0), (70003, " + K(run) +
        ", 'Werkstatt', 4)");
    Sql("UPDATE PersonKurs SET lKursinstanzGruppeID = 70002 WHERE lPersonKursID = " + K(regD));
    Open();
    auto* hers = ShowOther<CGruppenDlg>();
    ASSERT_NE(hers, nullptr);
    const auto herDelete = [&](const std::wstring& label) {
        ASSERT_TRUE(SelectTreeItem(hers->m_tree.m_hWnd, label));
        script.ExpectMessageBox(IDYES, L"wirklich löschen");
        Click(qv::ui::test::Item(hers->GetSafeHwnd(), IDC_GRUPPEN_DELETE));
        script.Log().Clear();
    };
    const auto stored = [&] {
        return Text("SELECT group_concat(lPersonKursID || ':' || lKursinstanzGruppeID || ':' || lStatus, ' ') FROM "
                    "(SELECT * FROM PersonKurs ORDER BY lPersonKursID)") + " | " + Groups(run) + " | " +
               std::to_string(Int("SELECT count(*) FROM UserLog"));
    };
    const wchar_t* const groupChanged = L"Diese Gruppe wurde inzwischen geändert oder gelöscht. Es wurde nichts geändert.";
    std::string before;
    // Deleting the group from this tree, confirmed, is refused: nothing is deleted or logged.
    const auto deleteRefused = [&](const std::wstring& label) {
        ASSERT_TRUE(SelectTreeItem(Tree(), label));
        script.ExpectMessageBox(IDYES, L"wirklich löschen");
        script.ExpectMessageBox(IDOK, groupChanged);
        Click(Button(IDC_GRUPPEN_DELETE));
        EXPECT_EQ(stored(), before);
        EXPECT_EQ(script.Log().Count(qv::InteractionKind::MessageBox), 2u);
        script.Log().Clear();
    };

    // Anna deletes "Theorie"; Amsler put into it from the page that still shows it goes nowhere.
    herDelete(L"Theorie  (Anzahl: 0)");
    before = stored();
    SelectInList({L"Amsler"});
    ASSERT_TRUE(SelectTreeItem(Tree(), L"Theorie  (Anzahl: 0)"));
    script.ExpectMessageBox(IDOK, groupChanged);
    Click(Button(IDC_GRUPPEN_ADD));
    EXPECT_EQ(stored(), before);
    EXPECT_NE(RowOf(List(), 2, L"Amsler"), -1) << "among the persons without a group";
    EXPECT_EQ(TreeItem(L"Theorie"), L"(none)");
    ToldOnce("into a deleted group");

    // Another user renames "Labor" or changes its maximum: nobody goes into it or out of it from
    // the tree that shows the old label, nor is it deleted from there, and the log names no label
    // that was not stored. With no group selected after the reload its buttons are off.
    const long regE = AddReg(AddPerson("Egli"), kurs, run, 0, "2031-01-02");
    Sql("INSERT INTO KursinstanzGruppe (lKursinstanzGruppeID, lKursinstanzID, strBezeichnung, lMaxTeilnehmer) VALUES "
        "(70005, " + K(run) + ", 'Labor', 0)");
    Sql("UPDATE PersonKurs SET lKursinstanzGruppeID = 70005 WHERE lPersonKursID = " + K(regE));
    for (const char* change : {"strBezeichnung = 'Labor 2'", "lMaxTeilnehmer = 9"}) {
        SCOPED_TRACE(change);
        const auto changeMeanwhile = [&] {
            Sql("UPDATE KursinstanzGruppe SET strBezeichnung = 'Labor', lMaxTeilnehmer = 0 WHERE lKursinstanzGruppeID = 70005");
            ASSERT_EQ(page->Refresh(), S_OK);
            Sql(std::string("UPDATE KursinstanzGruppe SET ") + change + " WHERE lKursinstanzGruppeID = 70005");
            before = stored();
        };
        changeMeanwhile();
        SelectInList({L"Amsler"});
        ASSERT_TRUE(SelectTreeItem(Tree(), L"Labor  (Anzahl: 1)"));
        ASSERT_TRUE(Enabled(Button(IDC_GRUPPEN_EDIT)));
        script.ExpectMessageBox(IDOK, groupChanged);
        Click(Button(IDC_GRUPPEN_ADD));
        EXPECT_EQ(stored(), before);
        EXPECT_NE(RowOf(List(), 2, L"Amsler"), -1);
        EXPECT_EQ(TreeItem(L"Labor  (Anzahl: 1)"), L"(none)") << "the tree shows the group as stored";
        for (int id : {IDC_GRUPPEN_EDIT, IDC_GRUPPEN_DELETE, IDC_GRUPPEN_ADD, IDC_GRUPPEN_REMOVE})
            EXPECT_FALSE(Enabled(Button(id))) << id << ": no group is selected";
        ToldOnce("into a changed group");

        changeMeanwhile();
        ASSERT_TRUE(SelectTreeItem(Tree(), TreeItem(L"Egli")));
        script.ExpectMessageBox(IDOK, groupChanged);
        Click(Button(IDC_GRUPPEN_REMOVE));
        EXPECT_EQ(stored(), before);
        ToldOnce("out of a changed group");

        changeMeanwhile();
        deleteRefused(L"Labor  (Anzahl: 1)");
    }
    Sql("DELETE FROM PersonKurs WHERE lPersonKursID = " + K(regE));
    Sql("DELETE FROM KursinstanzGruppe WHERE lKursinstanzGruppeID = 70005");
    ASSERT_EQ(page->Refresh(), S_OK);

    // Brunner's registration is removed and booked anew: the row shown names the one removed.
    Sql("DELETE FROM PersonKurs WHERE lPersonKursID = " + K(regB));
    AddReg(brunner, kurs, run, 0, "2031-01-03");
    before = stored();
    SelectInList({L"Brunner"});
    ASSERT_TRUE(SelectTreeItem(Tree(), L"Praxis  (Anzahl: 1)"));
    script.ExpectMessageBox(IDOK, L"Diese Anmeldung besteht nicht mehr");
    Click(Button(IDC_GRUPPEN_ADD));
    EXPECT_EQ(stored(), before) << "the new registration is not grouped as the one shown";
    ToldOnce("booked anew");

    // Dubach is re-statused in "Praxis": taking him out from the tree that shows him registered
    // leaves him in.
    Sql("UPDATE PersonKurs SET lStatus = 2 WHERE lPersonKursID = " + K(regD));
    before = stored();
    ASSERT_TRUE(SelectTreeItem(Tree(), TreeItem(L"Dubach")));
    script.ExpectMessageBox(IDOK, L"Diese Anmeldung wurde inzwischen geändert");
    Click(Button(IDC_GRUPPEN_REMOVE));
    EXPECT_EQ(stored(), before);
    ToldOnce("re-statused member");

    // "Praxis" renamed by another user while the dialog is open keeps that name.
    ASSERT_TRUE(SelectTreeItem(Tree(), L"Praxis  (Anzahl: 1)"));
    script.ExpectModal(IDD_GRUPPEBEZ, [&](qv::IModalDialog& modal) {
        auto& dlg = dynamic_cast<CGruppeBezDlg&>(modal);
        Sql("UPDATE KursinstanzGruppe SET strBezeichnung = 'Praxis 2' WHERE lKursinstanzGruppeID = 70002");
        before = stored();
        Retype(qv::ui::test::Item(dlg.GetSafeHwnd(), IDC_GRUPPEBEZ_NAME), L"Übung");
        Click(dlg.GetSafeHwnd(), IDOK);
    });
    script.ExpectMessageBox(IDOK, groupChanged);
    Click(Button(IDC_GRUPPEN_EDIT));
    EXPECT_EQ(stored(), before);
    EXPECT_EQ(TreeItem(L"Praxis"), L"Praxis 2  (Anzahl: 1)");
    ToldOnce("renamed meanwhile");

    // Anna deletes "Praxis 2", then "Werkstatt": deleting the one again from the old tree deletes
    // and logs nothing, editing the other opens no dialog.
    ASSERT_EQ(hers->Refresh(), S_OK);  // a group is deleted only as the tree shows it
    herDelete(L"Praxis 2  (Anzahl: 1)");
    before = stored();
    deleteRefused(L"Praxis 2  (Anzahl: 1)");
    herDelete(L"Werkstatt  (Anzahl/max: 0/4)");
    before = stored();
    ASSERT_TRUE(SelectTreeItem(Tree(), L"Werkstatt  (Anzahl/max: 0/4)"));
    script.ExpectMessageBox(IDOK, groupChanged);
    Click(Button(IDC_GRUPPEN_EDIT));
    EXPECT_EQ(stored(), before);
    EXPECT_TRUE(TreeItems(Tree()).empty()) << "the tree shows what is stored";
    EXPECT_EQ(Rows(List()), 3);
    ToldOnce("edited after its deletion");

    // Another user deletes "Kurs 1" while Amsler is put into it: he does not go into the group
    // whose deletion has not yet ended, where its end could not take him out again.
    Sql("INSERT INTO KursinstanzGruppe (lKursinstanzGruppeID, lKursinstanzID, strBezeichnung) VALUES (70004, " +
        K(run) + ", 'Kurs 1')");
    ASSERT_EQ(page->Refresh(), S_OK);
    std::atomic<bool> deleting{false};
    long hrOther = E_FAIL;
    std::thread deleter([&] {
        CQvADOConnection conn;
        long hr = conn.Open(L"Qovaro.NQ2", 0);
        if (SUCCEEDED(hr)) hr = conn.BeginTrans();
        if (SUCCEEDED(hr)) hr = conn.Execute(L"DELETE KursinstanzGruppe WHERE lKursinstanzGruppeID = 70004", FALSE, nullptr);
        deleting = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        hrOther = SUCCEEDED(hr) ? conn.CommitTrans() : hr;
    });
    while (!deleting) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    before = Text("SELECT group_concat(lKursinstanzGruppeID) FROM PersonKurs");
    SelectInList({L"Amsler"});
    ASSERT_TRUE(SelectTreeItem(Tree(), L"Kurs 1  (Anzahl: 0)"));
    script.ExpectMessageBox(IDOK, groupChanged);
    Click(Button(IDC_GRUPPEN_ADD));
    deleter.join();
    EXPECT_EQ(hrOther, S_OK);
    EXPECT_EQ(Text("SELECT group_concat(lKursinstanzGruppeID) FROM PersonKurs"), before);
    EXPECT_TRUE(TreeItems(Tree()).empty());
    ToldOnce("into a group being deleted");
}

TEST_F(Gruppen, AnotherUsersGroupOfTheSameNameCannotSlipInBetweenTheCheckAndTheInsert) {
    if (kOnPg) GTEST_SKIP() << "the rival writes from inside SQLite's key procedure, on SQLite's handle";
    Open();
    // Another user creates "Theorie" in the run while this page draws the key of its own.
    const qv::sql::Procedure original = *qv::sql::FindProcedure("sp_GetUniqueID");
    int rival = -1;
    qv::sql::RegisterProcedure("sp_GetUniqueID", [&](sqlite3* handle, std::vector<qv::sql::Value>& args) {
        if (rival == -1) {
            sqlite3_busy_timeout(db->Handle(), 0);
            rival = sqlite3_exec(db->Handle(),
                                 ("INSERT INTO KursinstanzGruppe (lKursinstanzGruppeID, lKursinstanzID, strBezeichnung) "
                                  "VALUES (80001, " + K(run) + ", 'Theorie')").c_str(),
                                 nullptr, nullptr, nullptr);
        }
        original(handle, args);
    });
    NewGroup(L"Theorie", 0);
    qv::sql::RegisterProcedure("sp_GetUniqueID", original);
    EXPECT_EQ(rival, SQLITE_BUSY) << "the other user waits for this one's check and insert";
    EXPECT_EQ(Groups(run), "Theorie/0");
    EXPECT_EQ(TreeItems(Tree()), (std::vector<std::wstring>{L"Theorie  (Anzahl: 0)"}));
}

// Two administrators create the same group at once: the second waits until the first one's check
// and insert are committed, then is refused with 10033, and nothing of its own is written.
TEST_F(Gruppen, TwoAdministratorsCreatingTheSameGroupAtOnceWriteItOnce) {
    Open();
    std::atomic<bool> inserted{false};
    long hrOther = E_FAIL;
    bool takenOther = true;
    std::thread other([&] {
        CQvADOConnection conn;
        long hr = conn.Open(L"Qovaro.NQ2", 0);
        if (SUCCEEDED(hr)) hr = conn.BeginTrans();
        if (SUCCEEDED(hr)) hr = CGruppenDlg::CreateGroup(conn, run, L"Theorie", 4, takenOther);
        inserted = true;
        // Its unit stays open while the window's user creates the same name.
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        if (SUCCEEDED(hr)) hr = conn.CommitTrans();
        else conn.RollbackTrans();
        hrOther = hr;
    });
    while (!inserted) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    NewGroup(L"Theorie", 2, L"Es existiert schon eine Gruppe mit dieser Bezeichnung!");
    other.join();
    EXPECT_EQ(hrOther, S_OK);
    EXPECT_FALSE(takenOther);
    // The check itself takes a name with blanks at its end for the same name.
    CQvADOConnection conn;
    ASSERT_EQ(conn.Open(L"Qovaro.NQ2", 0), S_OK);
    bool taken = false;
    EXPECT_EQ(CGruppenDlg::CreateGroup(conn, run, L"theorie  ", 1, taken), S_OK);
    EXPECT_TRUE(taken);
    // A unit that cannot begin is a failure to report, not a name taken.
    CQvADOConnection closed;
    EXPECT_TRUE(FAILED(CGruppenDlg::CreateGroup(closed, run, L"Praxis", 1, taken)));
    EXPECT_FALSE(taken);
    EXPECT_EQ(Groups(run), "Theorie/4");
    EXPECT_EQ(Int("SELECT count(*) FROM UserLog"), 0);
}

TEST_F(Gruppen, TheCoursesTemplateIsSavedFromOneRunAndAppliedToAnother) {
    // The first course of a database has the number 1.
    for (const char* table : {"Kurs", "Kursinstanz", "SecKurs"})
        Sql(std::string("UPDATE ") + table + " SET lKursID = 1 WHERE lKursID = " + K(kurs));
    kurs = 1;
    Open();
    script.ExpectMessageBox(IDOK, L"keine Vorlage");
    Menu(ID_GRUPPE_FROMTEMPLATE);
    EXPECT_EQ(Groups(run), "NULL");

    NewGroup(L"Theorie", 12);
    NewGroup(L"Praxis", 0);
    script.ExpectMessageBox(IDNO, L"neue Vorlage");
    Menu(ID_GRUPPE_NEWTEMPLATE);
    EXPECT_EQ(Int("SELECT count(*) FROM KursinstanzGruppe WHERE lKursID = " + K(kurs)), 0);
    script.ExpectMessageBox(IDYES, L"neue Vorlage");
    Menu(ID_GRUPPE_NEWTEMPLATE);
    EXPECT_EQ(Int("SELECT count(*) FROM KursinstanzGruppe WHERE lKursID = " + K(kurs)), 2);

    ChooseRun(L"Frühling");
    ASSERT_EQ(Dlg()->GetSubRecordID(), other);
    Pump();
    EXPECT_TRUE(TreeItems(Tree()).empty());
    Menu(ID_GRUPPE_FROMTEMPLATE);
    EXPECT_EQ(Groups(other), "Praxis/0 Theorie/12");
    EXPECT_EQ(TreeItems(Tree()), (std::vector<std::wstring>{L"Praxis  (Anzahl: 0)", L"Theorie  (Anzahl/max: 0/12)"}));
    EXPECT_EQ(Groups(run), "Praxis/0 Theorie/12") << "the first run keeps its groups";
    EXPECT_EQ(Text("SELECT strDetail FROM UserLog ORDER BY lUserLogID DESC LIMIT 1"), "aus Gruppenvorlage");

    // Applied again, no name comes twice, also not one stored with a blank at its end.
    Sql("UPDATE KursinstanzGruppe SET strBezeichnung = 'Praxis ' WHERE lKursinstanzID = " + K(other) +
        " AND strBezeichnung = 'Praxis'");
    Menu(ID_GRUPPE_FROMTEMPLATE);
    EXPECT_EQ(Int("SELECT count(*) FROM KursinstanzGruppe WHERE lKursinstanzID = " + K(other)), 2);

    // While another user holds the course, the menu's items are greyed: none of them does anything.
    Sql("DELETE FROM KursinstanzGruppe WHERE lKursinstanzID = " + K(other));
    Sql("UPDATE Kurs SET strLock = datetime('now','localtime') || '|WS99|fremd' WHERE lKursID = " + K(kurs));
    ChooseRun(L"Herbst");
    ChooseRun(L"Frühling");
    for (UINT command : {ID_GRUPPE_NEW, ID_GRUPPE_FROMTEMPLATE, ID_GRUPPE_NEWTEMPLATE}) Menu(command);
    EXPECT_EQ(Groups(other), "NULL");
}

TEST_F(Gruppen, ThePageIsShownWithItsGroups) {
    options.Set(-1000, L"ColorFemale", static_cast<long>(RGB(200, 0, 120)));
    const long frau = AddPerson("Ammann");
    Sql("UPDATE Person SET fWeiblich = 1 WHERE lPersonID = " + K(frau));
    AddReg(frau, kurs, run, 0, "2031-01-02");
    const long brunner = AddPerson("Brunner");
    AddReg(brunner, kurs, run, 1, "2031-01-02");
    Sql("INSERT INTO Grad (lGradID, strBezeichnung, strKurzbezeichnung, strKurzbezeichnungF, lRang) VALUES "
        "(1, 'Korporal', 'Kpl', '', 5)");
    Sql("INSERT INTO Ort (lOrtID, strPLZ, strOrt) VALUES (1, '8200', 'Schaffhausen')");
    Sql("UPDATE Person SET lCAktGradID = 1, lOrtID = 1, strAdresse1L = 'Hauptgasse 1' WHERE lPersonID = " + K(brunner));
    AddInstruktor(AddPerson("Keller"), run, 0);
    Sql("INSERT INTO KursinstanzGruppe (lKursinstanzGruppeID, lKursinstanzID, strBezeichnung, lMaxTeilnehmer) "
        "VALUES (70001, " + K(run) + ", 'Klasse 1', 2), (70002, " + K(run) + ", 'Klasse 2', 0)");
    Sql("UPDATE PersonKurs SET lKursinstanzGruppeID = 70001 WHERE lPersonID = " + K(frau));
    Open();
    ASSERT_EQ(Rows(List()), 2);
    // The page's commands are flat pictures with their tips.
    for (int id : {IDC_GRUPPEN_EDIT, IDC_GRUPPEN_DELETE, IDC_GRUPPEN_ADD, IDC_GRUPPEN_REMOVE}) {
        auto* push = qobject_cast<QPushButton*>(Widget(Button(id)));
        EXPECT_TRUE(push && push->isFlat()) << id;
        EXPECT_FALSE(ToolTip(Button(id)).empty()) << id;
    }
    const int row = RowOf(List(), 2, L"Brunner");
    ASSERT_GE(row, 0);
    std::wstring shown;
    for (int column = 0; column < Columns(List()); ++column) shown += Cell(List(), row, column) + L"|";
    EXPECT_EQ(shown, L"Besucht/Bestanden|Kpl|Brunner Hans|Hauptgasse 1|8200 Schaffhausen|FW Nord|DE|");
    EXPECT_EQ(TreeItem(L"Klasse 1"), L"Klasse 1  (Anzahl/max: 1/2)");
    EXPECT_EQ(TreeItemColor(Tree(), TreeItem(L"Ammann")), RGB(200, 0, 120));
    Screen(Dlg()->GetSafeHwnd(), "kurs_gruppen");
}

}  // namespace
}  // namespace kurstest
