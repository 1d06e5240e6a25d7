#pragma once
// A dialog to hold combo boxes, and for the place combo box the database server on a fresh demo
// database in a temporary registry and data folder.
#include "demodata.h"
#include "dialog.h"
#include "multicombobox.h"
#include "ortcombobox.h"
#include "qvdbserverint.h"
#include "scripted.h"
#include "serverhost.h"
#include "servertest.h"
#include "sqlitedb.h"
#include "suitedb.h"
#include "uidriver.h"

#include <QImage>
#include <QPainter>
#include <QWidget>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <memory>
#include <string>

namespace combostest {

// The protected state the tests look at.
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
    // A search is under way until the worker waits again and its rows have all been shown.
    bool Searching() {
        if (!m_pLoaderThread) return false;
        if (m_bTextChanged || WaitForSingleObject(m_hWakeEvent, 0) == WAIT_OBJECT_0) return true;
        std::lock_guard g(m_lock);
        return m_bArrivalPosted;
    }
};

class ComboDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        qv::ui::EnsureApplication();
        script.OnFailure([](const std::string& m) { ADD_FAILURE() << "interaction: " << m; });
        previous = qv::SetInteraction(&script);
        qv::ui::DialogTemplate tpl;
        tpl.caption = L"Ort";
        tpl.cx = 260;
        tpl.cy = 120;
        tpl.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
        dialog = std::make_unique<CDialog>();
        ASSERT_TRUE(dialog->CreateIndirect(tpl, nullptr));
        qv::ui::test::Pump();
    }
    void TearDown() override {
        if (dialog && dialog->GetSafeHwnd()) dialog->DestroyWindow();
        qv::ui::test::Pump();
        qv::SetInteraction(previous);
    }
    bool Make(CMultiComboBox& combo, DWORD extra = 0, UINT id = 1001, DWORD type = CBS_DROPDOWNLIST) {
        const DWORD style = WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | type | CBS_OWNERDRAWFIXED |
                            CBS_HASSTRINGS | CBS_AUTOHSCROLL | extra;
        const int top = 12 + int(id - 1001) * 40;
        return combo.Create(style, CRect(12, top, 312, top + 220), dialog.get(), id);
    }

    qv::ScriptedInteraction script;
    qv::IInteraction* previous = nullptr;
    std::unique_ptr<CDialog> dialog;
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
        bernID = long(CountRows("SELECT lOrtID FROM view_Ort WHERE strPLZOrt = '3000 Bern' AND strKanton = 'BE'"));
        ASSERT_GT(bernID, 0) << "the demo data has Bern";
        ortRows = CountRows("SELECT count(*) FROM Ort");
        ComboDialogTest::SetUp();
        place = std::make_unique<TestPlaceCombo>();
        ASSERT_TRUE(Make(*place, 0, 1001, CBS_DROPDOWN));
        place->BuildFilter(TRUE);
    }
    void TearDown() override {
        place.reset();
        ComboDialogTest::TearDown();
        qv::servers::StopRunningServer(QVDBSERVER_PROGID);
    }

    std::int64_t CountRows(const std::string& sql) {
        sqlite3_stmt* stmt = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(db.Handle(), sql.c_str(), -1, &stmt, nullptr), SQLITE_OK) << sql;
        const std::int64_t v = stmt && sqlite3_step(stmt) == SQLITE_ROW ? sqlite3_column_int64(stmt, 0) : -1;
        sqlite3_finalize(stmt);
        return v;
    }
    void Exec(const std::string& sql) { EXPECT_EQ(db.Exec(sql), SQLITE_OK) << db.LastError().description; }
    bool Searching() { return place->Searching(); }
    // The first row with this postcode, or -1.
    int FindRow(const wchar_t* plz) {
        for (int i = 0; i < place->GetCount(); ++i) {
            CString text;
            place->GetCellText(i, 0, text);
            if (text == plz) return i;
        }
        return -1;
    }
    // The dialog with the dropped list below the combo box, as the user sees it.
    void SaveListPicture(const char* name) {
        QImage dlg = qv::ui::test::Grab(dialog->GetSafeHwnd());
        QWidget* top = qv::ui::test::Widget(dialog->GetSafeHwnd())->window();
        QWidget* popup = nullptr;
        HWND list = ::GetWindow(place->GetSafeHwnd(), GW_CHILD);
        if (list) popup = qv::ui::test::Widget(list)->window();
        QImage out = dlg;
        if (popup && popup->isVisible()) {
            const QPoint at = popup->mapToGlobal(QPoint(0, 0)) - top->mapToGlobal(QPoint(0, 0)) +
                              QPoint((dlg.width() - top->width()) / 2, dlg.height() - top->height());
            const QImage pic = popup->grab().toImage();
            out = QImage(std::max(dlg.width(), at.x() + pic.width()), std::max(dlg.height(), at.y() + pic.height()),
                         QImage::Format_ARGB32);
            out.fill(Qt::white);
            QPainter p(&out);
            p.drawImage(0, 0, dlg);
            p.drawImage(at, pic);
        }
        std::filesystem::create_directories(QV_SCREENS_DIR);
        EXPECT_TRUE(out.save(QString::fromStdString(std::string(QV_SCREENS_DIR) + "/" + name)));
    }

    qvtest::ServerEnvironment env;
    qv::sql::SqliteDb db;
    std::unique_ptr<TestPlaceCombo> place;
    long bernID = 0;
    std::int64_t ortRows = 0;
};

}  // namespace combostest
