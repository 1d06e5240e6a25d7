// The translation button on the real database: the label rows of one key are shown per language,
// changed texts are updated, new ones inserted and emptied ones removed; rows of other keys stay.
#include "qvdblookup.h"
#include "qvlabelbutton.h"
#include "scripted.h"
#include "servertest.h"
#include "strtable.h"
#include "uidriver.h"
#include <gtest/gtest.h>

namespace {

using namespace qv::ui::test;

HINSTANCE Module() {
    static int tag;
    return reinterpret_cast<HINSTANCE>(&tag);
}

constexpr const wchar_t* kNQ2 = L"Qovaro.NQ2";
enum : UINT { kButton = 3086, kSubjectText = 952, kLabelDialog = 29100, kLanguage = 1000, kSubject = 1200, kHeader = 1201 };

class LabelButton : public ::testing::Test {
protected:
    void SetUp() override {
        qv::ui::EnsureApplication();
        script.OnFailure([](const std::string& m) { ADD_FAILURE() << "interaction: " << m; });
        AfxSetResourceHandle(Module());
        qv::RegisterStringTable(Module(), {{kSubjectText, L"Betreff"}});
        ASSERT_EQ(QvDBExecute(L"INSERT INTO QvLabel (lQvLabelID, lQvLanguageID, lFkID, strName, strLabel) "
                              L"VALUES (500, 1, 7, 'Mail_Subject', 'Einladung')",
                              kNQ2),
                  S_OK);
        ASSERT_EQ(QvDBExecute(L"INSERT INTO QvLabel (lQvLabelID, lQvLanguageID, lFkID, strName, strLabel) "
                              L"VALUES (501, 1, 8, 'Mail_Subject', 'Andere Vorlage')",
                              kNQ2),
                  S_OK);
        ASSERT_TRUE(form.CreateEx(0, AfxRegisterWndClass(0), L"E-Mail Vorlage", WS_OVERLAPPED, CRect(0, 0, 300, 100), nullptr, 0));
        CButton plain;
        ASSERT_TRUE(plain.Create(L"", WS_CHILD | WS_VISIBLE, CRect(250, 10, 290, 30), &form, kButton));
        plain.Detach();
        ASSERT_TRUE(button.AttachButton(kButton, &form, 0, L"Mail_Subject;Mail_Header", kSubjectText));
        button.SetMultiLine(L"0;1");
        form.ShowWindow(SW_SHOW);
    }
    void TearDown() override {
        form.DestroyWindow();
        EXPECT_EQ(script.Pending(), 0u);
        Pump();
    }
    static CString Label(long language, const wchar_t* name, long key = 7) {
        CString where, text = L"<none>";
        where.Format(L"lFkID = %d AND lQvLanguageID = %d AND strName = '%s'", key, language, name);
        QvDBLookupString(L"strLabel", L"QvLabel", where, &text, kNQ2);
        return text;
    }
    qvtest::ServerEnvironment env;
    qv::ScriptedInteraction script;
    qv::ScopedInteraction use{&script};
    CWnd form;
    CQvLabelButton button;
};

TEST_F(LabelButton, TheTextsOfEachLanguageAreEditedAndOnlyChangesAreWritten) {
    EXPECT_EQ(button.ShowLabelDialog(), IDCANCEL) << "a record without a key has nothing to translate yet";
    button.m_lFkID = 7;
    script.ExpectModal(kLabelDialog, [&](qv::IModalDialog& modal) {
        const HWND dlg = dynamic_cast<CDialog&>(modal).m_hWnd;
        EXPECT_EQ(modal.Caption(), L"Übersetzungen: Betreff");
        EXPECT_EQ(Text(Item(dlg, kSubject)), L"Einladung");
        EXPECT_TRUE(::GetWindowLongPtrW(Item(dlg, kHeader), GWL_STYLE) & ES_MULTILINE);
        EXPECT_EQ(ComboItems(Item(dlg, kLanguage)).size(), 4u);
        Retype(Item(dlg, kSubject), L"Einladung zum 'Grundkurs'");
        Type(Item(dlg, kHeader), L"Guten Tag");
        SelectComboItem(Item(dlg, kLanguage), 1);
        EXPECT_EQ(Text(Item(dlg, kSubject)), L"");
        Type(Item(dlg, kSubject), L"Invitation");
        SelectComboItem(Item(dlg, kLanguage), 0);
        EXPECT_EQ(Text(Item(dlg, kSubject)), L"Einladung zum 'Grundkurs'") << "each language keeps its texts";
        EXPECT_TRUE(SavePng(dlg, std::string(QV_SCREENS_DIR) + "/label_dialog.png"));
        Click(dlg, IDOK);
    });
    EXPECT_EQ(button.ShowLabelDialog(), IDOK);
    EXPECT_EQ(Label(1, L"Mail_Subject"), CString(L"Einladung zum 'Grundkurs'"));
    EXPECT_EQ(Label(1, L"Mail_Header"), CString(L"Guten Tag"));
    EXPECT_EQ(Label(2, L"Mail_Subject"), CString(L"Invitation"));
    EXPECT_EQ(Label(2, L"Mail_Header"), CString(L"<none>")) << "an empty text makes no row";
    EXPECT_EQ(Label(1, L"Mail_Subject", 8), CString(L"Andere Vorlage"));
    long id = 0;
    EXPECT_EQ(QvDBLookupLong(L"lQvLabelID", L"QvLabel", L"lFkID = 7 AND lQvLanguageID = 1 AND strName = 'Mail_Subject'", &id, kNQ2),
              S_OK);
    EXPECT_EQ(id, 500) << "the existing row was updated";

    // Emptying a text removes its row; Cancel writes nothing.
    script.ExpectModal(kLabelDialog, [&](qv::IModalDialog& modal) {
        const HWND dlg = dynamic_cast<CDialog&>(modal).m_hWnd;
        Retype(Item(dlg, kHeader), L"");
        Click(dlg, IDOK);
    });
    EXPECT_EQ(button.ShowLabelDialog(), IDOK);
    EXPECT_EQ(Label(1, L"Mail_Header"), CString(L"<none>"));
    script.ExpectModal(kLabelDialog, [&](qv::IModalDialog& modal) {
        const HWND dlg = dynamic_cast<CDialog&>(modal).m_hWnd;
        Retype(Item(dlg, kSubject), L"verworfen");
        Click(dlg, IDCANCEL);
    });
    EXPECT_EQ(button.ShowLabelDialog(), IDCANCEL);
    EXPECT_EQ(Label(1, L"Mail_Subject"), CString(L"Einladung zum 'Grundkurs'"));
}

}  // namespace
