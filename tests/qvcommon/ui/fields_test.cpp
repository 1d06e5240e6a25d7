// The common library's fields: a duration shown in the format of a string resource, money shown
// rounded and read back as users type it, and the edit that prompts while it is empty.
#include "qvddx.h"
#include "qvedit.h"
#include "scripted.h"
#include "strtable.h"
#include "uidriver.h"
#include <gtest/gtest.h>
#include <QLineEdit>

namespace {

using namespace qv::ui::test;

HINSTANCE Module() {
    static int tag;
    return reinterpret_cast<HINSTANCE>(&tag);
}

enum : UINT { kDuration = 1027, kCost = 1071, kName = 1081, kDaysFormat = 10105, kPrompt = 10039 };

// The run's budget and duration fields.
class Budget : public CWnd {
public:
    double dblDauer = 2.5;
    CQvCurrency curAufwand = CQvCurrency(1234.567);
    double dblRoundBudget = 0.05;
    void DoDataExchange(CDataExchange* dx) override {
        DDX_DoubleRes(dx, kDuration, dblDauer, kDaysFormat, 0);
        DDX_QvCurrency(dx, kCost, curAufwand, dblRoundBudget);
    }
};

class Fields : public ::testing::Test {
protected:
    void SetUp() override {
        qv::ui::EnsureApplication();
        script.OnFailure([](const std::string& m) { ADD_FAILURE() << "interaction: " << m; });
        previous = qv::SetInteraction(&script);
        AfxSetResourceHandle(Module());
        qv::RegisterStringTable(Module(), {{kDaysFormat, L"%3.2f Tg"}, {kPrompt, L"Bezeichnung eingeben..."}});
        ASSERT_TRUE(form.CreateEx(0, AfxRegisterWndClass(0), L"Austragung", WS_OVERLAPPED, CRect(0, 0, 300, 120), nullptr, 0));
        ASSERT_TRUE(duration.Create(WS_CHILD | WS_VISIBLE | WS_BORDER, CRect(5, 5, 105, 25), &form, kDuration));
        ASSERT_TRUE(cost.Create(WS_CHILD | WS_VISIBLE | WS_BORDER, CRect(5, 30, 105, 50), &form, kCost));
        form.ShowWindow(SW_SHOW);
    }
    void TearDown() override {
        form.DestroyWindow();
        EXPECT_EQ(script.Pending(), 0u);
        qv::SetInteraction(previous);
        Pump();
    }
    qv::ScriptedInteraction script;
    qv::IInteraction* previous = nullptr;
    Budget form;
    CEdit duration, cost;
};

TEST_F(Fields, TheDurationAndTheAmountAreShownInTheirFormAndReadBack) {
    form.UpdateData(FALSE);
    EXPECT_EQ(Text(duration.m_hWnd), L"2.50 Tg");
    EXPECT_EQ(Text(cost.m_hWnd), L"1'234.55") << "shown rounded to the budget's step";
    ASSERT_TRUE(Retype(duration.m_hWnd, L"3,5 Tg"));
    ASSERT_TRUE(Retype(cost.m_hWnd, L"CHF 2'000.03"));
    ASSERT_TRUE(form.UpdateData(TRUE));
    EXPECT_DOUBLE_EQ(form.dblDauer, 3.5);
    EXPECT_EQ(form.curAufwand.GetInt64(), 20000500LL) << "2000.05: typed amounts are rounded as well";

    // A wrong entry is refused with a message, the focus on the field and the member unchanged.
    script.ExpectMessageBox(IDOK, L"Betrag");
    ASSERT_TRUE(Retype(cost.m_hWnd, L"zwölf Franken"));
    EXPECT_FALSE(form.UpdateData(TRUE));
    EXPECT_EQ(form.curAufwand.GetInt64(), 20000500LL);
    EXPECT_TRUE(HasFocus(cost.m_hWnd));
    script.ExpectMessageBox(IDOK, L"Zahl");
    ASSERT_TRUE(Retype(cost.m_hWnd, L"12"));
    ASSERT_TRUE(Retype(duration.m_hWnd, L"Tg"));
    EXPECT_FALSE(form.UpdateData(TRUE));
    EXPECT_DOUBLE_EQ(form.dblDauer, 3.5);
}

TEST(Currency, AmountsAreRoundedFormattedAndReadAsUsersTypeThem) {
    struct Case {
        const wchar_t* typed;
        bool read;
        long long tenThousandths;
        double round;
        const wchar_t* shown;
    };
    const Case cases[] = {
        {L"1234.5", true, 12345000, 0.0, L"1'234.50"},
        {L"-1'234'567,891", true, -12345678910, 0.0, L"-1'234'567.89"},
        {L"0.125", true, 1250, 0.05, L"0.15"},   // halves away from zero
        {L"-0.125", true, -1250, 0.05, L"-0.15"},
        {L"12.49", true, 124900, 1.0, L"12.00"},
        {L"12.50 Fr.", true, 125000, 1.0, L"13.00"},
        {L"0.00001", true, 0, 0.0, L"0.00"},
        {L"1.2.3", false, 0, 0.0, nullptr},
        {L"--5", false, 0, 0.0, nullptr},
        {L"", false, 0, 0.0, nullptr},
    };
    for (const Case& c : cases) {
        CQvCurrency amount;
        EXPECT_EQ(QvParseCurrency(c.typed, amount) != FALSE, c.read) << CString(c.typed).GetString();
        if (!c.read) continue;
        EXPECT_EQ(amount.GetInt64(), c.tenThousandths) << CString(c.typed).GetString();
        EXPECT_EQ(QvFormatCurrency(amount, c.round), CString(c.shown)) << CString(c.typed).GetString();
    }
}

TEST_F(Fields, AnEmptyEditShowsItsPromptWhichIsNeverItsText) {
    CQvEdit name;
    ASSERT_TRUE(name.Create(WS_CHILD | WS_VISIBLE | WS_BORDER, CRect(110, 5, 290, 25), &form, kName));
    name.SetPromptText(kPrompt, RGB(0xC0, 0, 0));
    auto* line = qobject_cast<QLineEdit*>(Widget(name.m_hWnd));
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->placeholderText().toStdWString(), L"Bezeichnung eingeben...");
    EXPECT_EQ(line->palette().color(QPalette::PlaceholderText), QColor(0xC0, 0, 0));
    EXPECT_EQ(name.GetWindowTextLength(), 0);
    ASSERT_TRUE(Type(name.m_hWnd, L"Grundkurs"));
    CString text;
    name.GetWindowText(text);
    EXPECT_EQ(text, CString(L"Grundkurs"));
}

}  // namespace
