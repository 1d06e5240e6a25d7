#pragma once
// A dialog that holds the combo boxes under test; for the place combo box also the database
// server on a fresh demo database in a temporary registry and data folder.
#include "demodata.h"
#include "dialog.h"
#include "ortcombobox.h"
#include "qvdbserverint.h"
#include "scripted.h"
#include "serverhost.h"
#include "servertest.h"
#include "sqlitedb.h"
#include "suitedb.h"
#include "uidriver.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <memory>

namespace combostest {

class FitCombo : public CMultiComboBox {
public:
    void Fit() { m_bFitDropWidth = TRUE; }
    CMultiComboLBox& List() { return m_listBox; }
    int Line() const { return m_nHScrollLine; }
    int Page() const { return m_nHScrollPage; }
};

class TestPlaceCombo : public COrtComboBox {
public:
    bool Worker() const { return m_pLoaderThread != nullptr; }
    void Filter(const wchar_t* filter) {
        std::lock_guard g(m_pState->lock);
        m_pState->strFilter = filter;
    }
    // The end of the latest text once more, as the worker hands it when it saw the text's change twice.
    void EndAgain() {
        PlaceRow end;
        end.bEnd = true;
        {
            std::lock_guard g(m_pState->lock);
            end.lSearch = m_pState->lSearch;
        }
        m_pState->HandOver(std::move(end));
    }
    // Under way until the worker waits again and every row it handed over is shown.
    bool Searching() {
        if (!m_pLoaderThread || WaitForSingleObject(m_pLoaderThread->m_hThread, 0) != WAIT_TIMEOUT) return false;
        if (m_pState->bTextChanged || WaitForSingleObject(m_pState->hWake, 0) == WAIT_OBJECT_0) return true;
        return m_pState->handoff.IsPending();
    }
};

class ComboDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        script.OnFailure([](const std::string& m) { ADD_FAILURE() << "interaction: " << m; });
        qv::ui::DialogTemplate tpl;
        tpl.caption = L"Ort";
        tpl.cx = 260;
        tpl.cy = 120;
        tpl.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
        ASSERT_TRUE(dialog.CreateIndirect(tpl, nullptr));
    }
    void TearDown() override { dialog.DestroyWindow(); }
    bool Make(CMultiComboBox& combo, UINT id = 1001, DWORD type = CBS_DROPDOWNLIST, DWORD extra = 0) {
        const int top = 12 + int(id - 1001) * 40;
        return combo.Create(WS_CHILD | WS_VISIBLE | WS_VSCROLL | type | CBS_OWNERDRAWFIXED | CBS_HASSTRINGS | extra,
                            CRect(12, top, 312, top + 220), &dialog, id);
    }

    qv::ScriptedInteraction script;
    qv::ScopedInteraction interaction{&script};
    CDialog dialog;
};

class PlaceComboTest : public ComboDialogTest {
protected:
    void SetUp() override {
        std::filesystem::create_directories(std::filesystem::path(env.SuiteDatabase()).parent_path());
        qv::suite::InstallSuiteDatabase();
        ASSERT_EQ(db.Open("sqlite:" + env.SuiteDatabase()), SQLITE_OK);
        std::string error;
        ASSERT_EQ(qv::suite::CreateSchema(db.Handle(), &error), SQLITE_OK) << error;
        ASSERT_EQ(qv::suite::GenerateDemoData(db.Handle(), 7, 2026, &error), SQLITE_OK) << error;
        ASSERT_EQ(qv::servers::StartRunningServer(QVDBSERVER_PROGID), S_OK);
        ComboDialogTest::SetUp();
        ASSERT_TRUE(Make(place, 1001, CBS_DROPDOWN));
        place.BuildFilter(TRUE);
        // The notifications that the rows a save waited for are in.
        qv::ui::AddMessageObserver(dialog.GetSafeHwnd(), [this](HWND, UINT m, WPARAM wp, LPARAM) {
            if (m == WM_COMMAND && HIWORD(wp) == COrtComboBox::CBN_PLACESREAD) ++placesRead;
        });
    }
    void TearDown() override {
        place.DestroyWindow();
        ComboDialogTest::TearDown();
        qv::servers::StopRunningServer(QVDBSERVER_PROGID);
    }
    long BernID() {
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db.Handle(), "SELECT lOrtID FROM view_Ort WHERE strPLZOrtEx = '3000 Bern'", -1, &stmt, nullptr);
        const long id = sqlite3_step(stmt) == SQLITE_ROW ? long(sqlite3_column_int(stmt, 0)) : -1;
        sqlite3_finalize(stmt);
        return id;
    }
    void Exec(const std::string& sql) { EXPECT_EQ(db.Exec(sql), SQLITE_OK) << db.LastError().description; }
    // Types the text and waits until its rows are all shown.
    bool Search(CMultiComboBox& combo, const wchar_t* text) {
        return qv::ui::test::Retype(combo.GetSafeHwnd(), text) &&
               qv::ui::test::WaitFor([&] { return !static_cast<TestPlaceCombo&>(combo).Searching(); });
    }
    // The first row with this postcode, or -1.
    int FindRow(const wchar_t* plz) {
        CString text;
        for (int i = 0; i < place.GetCount(); ++i)
            if (place.GetCellText(i, 0, text), text == plz) return i;
        return -1;
    }

    qvtest::ServerEnvironment env;
    qv::sql::SqliteDb db;
    TestPlaceCombo place;
    int placesRead = 0;
};

}  // namespace combostest
