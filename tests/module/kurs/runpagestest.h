#pragma once
// The course window in the central installation with the instructors and groups pages: a course
// with two runs, the logic server running, the user holding edit rights on both pages and runs,
// and helpers that show a page and act on the search popup and the group dialog.
#include "gruppebezdlg.h"
#include "gruppendlg.h"
#include "instruktordlg.h"
#include "kursresource.h"
#include "kursselectdlg.h"
#include "kurswin_window.h"
#include "nqlogicint.h"
#include "searchpopupdlg.h"
#include "searchresource.h"
#include "searchpersondlg.h"
#include "searchtabdlg.h"
#include "serverhost.h"
#include "utf.h"

namespace kurstest {

class RunPages : public KursWindow {
protected:
    void SetUp() override {
        KursWindow::SetUp();
        ASSERT_EQ(qvtest::RegisterModule(QV_LOGIC_MODULE), S_OK);
        ASSERT_EQ(host->StartServer(NQ_LOGICSERVER_PROGID), S_OK);
        qv::nq::SetEnterpriseEdition(true);
        for (const wchar_t* function :
             {L"{7DFFEFCC-5812-42A6-BEB3-F9E7369EF042}", L"{9EDCBA0D-B489-4774-8503-1B7FAB52F28D}",
              L"{7AC2F5A3-00A0-4147-A25D-730B31F0BC8B}", L"{F93490D9-C467-41E9-87BC-FAEFBA06308B}",
              L"{1F365D4D-856E-4979-9453-2D92A2F92387}", L"{D9390F30-4904-4D2B-95CA-5EF2D4E25A6A}"})
            security.Answer(function, L"", 0x101);
        kurs = AddKurs(3, "GK");
        other = AddRun(kurs, "2031-03-01", "Frühling");
        run = AddRun(kurs, "2031-09-01", "Herbst");
        for (long r : {other, run}) Grant(r, 0x101);
        Sql("INSERT OR REPLACE INTO SecKurs (lKursID, lKursinstanzID, lQvSecUserID, lRight) VALUES (" + K(kurs) + ", -1, 5, 257)");
        // The user sees the persons of the brigade; the course search offers courses of every type.
        Sql("INSERT INTO SecMandant (lMandantID, lTableID, lQvSecUserID, lRight) VALUES (" + K(mandant) + ", 4, 5, 1)");
        options.Set(-4000, L"KursTyp", L"0 1 1 1");
    }

    // Opens the menu of a menu button, as the user does on its arrow, and chooses the command.
    static void ChooseFromMenu(HWND button, UINT command) {
        RECT r{};
        ::GetClientRect(button, &r);
        qv::ui::test::AnswerNextPopupMenu(command);
        qv::ui::test::ClickAt(button, r.right - 4, (r.top + r.bottom) / 2);
    }

    void Grant(long r, DWORD mask) {
        Sql("DELETE FROM SecKurs WHERE lKursinstanzID = " + K(r));
        Sql("INSERT OR REPLACE INTO SecKurs (lKursID, lKursinstanzID, lQvSecUserID, lRight) VALUES (-1, " + K(r) + ", 5, " +
            std::to_string(static_cast<long>(mask)) + ")");
    }

    // Shows the page's tab; null when the window has no such page.
    template <class T>
    T* Show() {
        for (int i = 0; i < Dlg()->GetTabCtrl().GetTabCount(); ++i)
            if (auto* page = dynamic_cast<T*>(Page(i))) {
                qv::ui::test::ClickTab(Dlg()->GetTabCtrl().GetSafeHwnd(), i);
                qv::ui::test::Pump();
                return page;
            }
        return nullptr;
    }
    // Opens Anna's course window (OpenOther) and shows her page of the kind.
    template <class T>
    T* ShowOther() {
        OpenOther();
        if (!otherDlg) return nullptr;
        for (int i = 0; i < otherDlg->GetTabCtrl().GetTabCount(); ++i)
            if (auto* page = dynamic_cast<T*>(otherDlg->GetTabCtrl().GetTabWnd(i))) {
                qv::ui::test::ClickTab(otherDlg->GetTabCtrl().GetSafeHwnd(), i);
                qv::ui::test::Pump();
                return page;
            }
        return nullptr;
    }
    std::string Lock() { return Text("SELECT coalesce(strLock, '') FROM Kurs WHERE lKursID = " + K(kurs)); }
    // After a command refused for what another user changed: told once, nothing reported, no edit
    // or lock left.
    void ToldOnce(const char* what) {
        SCOPED_TRACE(what);
        EXPECT_EQ(script.Log().Count(qv::InteractionKind::MessageBox), 1u);
        EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 0u);
        EXPECT_EQ(Lock(), "");
        EXPECT_FALSE(Dlg()->IsEditing());
        script.Log().Clear();
    }
    template <class T>
    bool Has() const {
        for (int i = 0; i < Dlg()->GetTabCtrl().GetTabCount(); ++i)
            if (dynamic_cast<T*>(Page(i))) return true;
        return false;
    }

    // A role of the instructors: its function and the leadership row.
    long AddRole(const std::string& name) {
        const long funktion = AddPerson("unused") + 100000;
        Sql("INSERT INTO Funktion (lFunktionID, strBezeichnung) VALUES (" + K(funktion) + ", '" + name + "')");
        const long role = funktion + 100000;
        Sql("INSERT INTO Kursleitung (lKursleitungID, lFunktionID) VALUES (" + K(role) + ", " + K(funktion) + ")");
        roles[role] = funktion;
        return role;
    }
    void Hold(long person, long role, const std::string& start, const std::string& end) {
        Sql("INSERT INTO PersonFunktion (lPersonID, lFunktionID, dtStart, dtEnde) VALUES (" + K(person) + ", " +
            K(roles[role]) + ", '" + start + " 00:00:00', '" + end + " 00:00:00')");
    }
    long AddInstruktor(long person, long r, long status, long role = -1, int leiter = 0) {
        const long id = AddReg(person, kurs, r, status, "2031-01-02");
        Sql("UPDATE PersonKurs SET fTeilnehmer = 0, lKursleitungID = " + K(role) + ", fLeiter = " +
            std::to_string(leiter) + " WHERE lPersonKursID = " + K(id));
        return id;
    }

    // Runs the search popup: waits for its rows, hands the list to 'act' and presses OK.
    void ExpectSearch(const std::function<void(HWND list)>& act) {
        script.ExpectModal(IDD_SEARCHPOPUP, [act](qv::IModalDialog& modal) {
            auto& popup = dynamic_cast<CSearchPopupDlg&>(modal);
            // Several persons are chosen on the person page of the search tabs.
            CSearchDlg* search = popup.m_pSearchDlg;
            if (!search && popup.m_pSearchTabDlg) search = popup.m_pSearchTabDlg->m_pPersonDlg;
            ASSERT_NE(search, nullptr);
            // The search may start after the popup is up; every search here finds someone.
            const HWND list = search->m_lstResult.m_hWnd;
            EXPECT_TRUE(qv::ui::test::WaitFor(
                [&] { return !search->IsSearching() && qv::ui::test::Rows(list) > 0; }, 10000));
            qv::ui::test::Pump();
            act(list);
            qv::ui::test::Click(popup.m_hWnd, IDOK);
            if (!modal.IsModalEnded()) modal.EndModal(IDCANCEL);
        });
    }
    static std::vector<std::wstring> Column(HWND list, int column) {
        std::vector<std::wstring> texts;
        for (int row = 0; row < qv::ui::test::Rows(list); ++row) texts.push_back(qv::ui::test::Cell(list, row, column));
        std::sort(texts.begin(), texts.end());
        return texts;
    }
    static int RowOf(HWND list, int column, const std::wstring& text) {
        for (int row = 0; row < qv::ui::test::Rows(list); ++row)
            if (qv::ui::test::Cell(list, row, column).find(text) != std::wstring::npos) return row;
        return -1;
    }
    // Chooses the run of the course in the window's selector, the course search.
    void ChooseRun(const std::wstring& name) {
        script.ExpectModal(IDD_SEARCHPOPUP, [&](qv::IModalDialog& modal) {
            auto& popup = dynamic_cast<CSearchPopupDlg&>(modal);
            ASSERT_NE(popup.m_pSearchDlg, nullptr);
            CSearchDlg& search = *popup.m_pSearchDlg;
            const HWND list = search.m_lstResult.GetSafeHwnd();
            qv::ui::test::Retype(qv::ui::test::Item(search.GetSafeHwnd(), IDC_SEARCH_TEXT), L"GK");
            EXPECT_TRUE(qv::ui::test::WaitFor([&] { return !search.IsSearching(); }, 10000));
            for (int i = 0; i < qv::ui::test::Rows(list); ++i)
                if (qv::ui::test::Cell(list, i, 2) == name) qv::ui::test::SelectRow(list, i);
            qv::ui::test::Click(popup.GetSafeHwnd(), IDOK);
            if (!modal.IsModalEnded()) modal.EndModal(IDCANCEL);
        });
        qv::ui::test::Click(Item(IDC_KURSDLG_SELECT));
    }

    long kurs = 0, other = 0, run = 0;
    std::map<long, long> roles;
};

}  // namespace kurstest
