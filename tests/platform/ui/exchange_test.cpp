// Data exchange between a form's members and its controls for every kind of member: what loading
// shows, what saving reads back, and how wrong input is refused with the focus on the field.
#include "ui_fixture.h"
#include "utf.h"

#include <ostream>

namespace {

using namespace qv::ui::test;

enum : UINT {
    kForm = 930,
    kPlaces = 1100,
    kFee = 1101,
    kHours = 1102,
    kGrade = 1103,
    kRoom = 1104,
    kShare = 1105,
    kKind = 1110,
    kPlace = 1111,
    kLevel = 1112,
    kDays = 1120,
    kInstructor = 1121,
    kPaid = 1130,
    kLunch = 1131
};

void RegisterForm() {
    using namespace qv::ui;
    DialogTemplate t;
    t.id = kForm;
    t.cx = 260;
    t.cy = 200;
    t.style = WS_CHILD | DS_CONTROL | DS_SETFONT;
    t.items = {EditText(kPlaces, 5, 5, 50, 12),
               EditText(kFee, 60, 5, 50, 12),
               EditText(kHours, 115, 5, 50, 12),
               EditText(kGrade, 170, 5, 40, 12),
               EditText(kRoom, 5, 20, 50, 12),
               EditText(kShare, 60, 20, 50, 12),
               ComboBox(kKind, 5, 40, 100, 80, CBS_DROPDOWNLIST | WS_VSCROLL),
               ComboBox(kPlace, 110, 40, 100, 80, CBS_DROPDOWN | CBS_SORT | WS_VSCROLL),
               ComboBox(kLevel, 5, 60, 100, 80, CBS_DROPDOWN | WS_VSCROLL),
               ListBox(kDays, 5, 80, 100, 60, WS_VSCROLL | LBS_NOTIFY),
               ListBox(kInstructor, 110, 80, 100, 60, WS_VSCROLL | LBS_SORT),
               AutoCheckBox(L"bezahlt", kPaid, 5, 150, 60, 10),
               Control(L"Mittagessen", kLunch, L"Button", BS_AUTO3STATE, 70, 150, 80, 10)};
    RegisterDialogTemplate(uitest::Module(), t);
}

class CourseForm : public CDialog {
public:
    CourseForm() : CDialog(kForm) {}
    UINT places = 24;
    double fee = 180.5;
    short hours = -3;
    BYTE grade = 5;
    unsigned long room = 4000000000ul;
    float share = 0.25f;
    int kind = 1;
    CString place = L"Baden";
    CString level = L"Fortgeschrittene";
    int day = 2;
    CString instructor = L"Graf";
    BOOL paid = TRUE;
    int lunch = BST_INDETERMINATE;
    int exchanges = 0;

    BOOL OnInitDialog() override {
        auto* kinds = static_cast<CComboBox*>(GetDlgItem(kKind));
        for (const wchar_t* k : {L"Grundkurs", L"Weiterbildung", L"Übung"}) kinds->AddString(k);
        auto* places = static_cast<CComboBox*>(GetDlgItem(kPlace));
        for (const wchar_t* p : {L"Wohlen", L"Aarau", L"Baden", L"Baden-Dättwil"}) places->AddString(p);
        auto* levels = static_cast<CComboBox*>(GetDlgItem(kLevel));
        for (const wchar_t* l : {L"Anfänger", L"Fortgeschrittene Plus", L"Fortgeschrittene"}) levels->AddString(l);
        auto* days = static_cast<CListBox*>(GetDlgItem(kDays));
        for (const wchar_t* d : {L"Montag", L"Dienstag", L"Mittwoch"}) days->AddString(d);
        auto* people = static_cast<CListBox*>(GetDlgItem(kInstructor));
        for (const wchar_t* p : {L"Huber", L"Graf", L"Amsler"}) people->AddString(p);
        return CDialog::OnInitDialog();
    }
    void DoDataExchange(CDataExchange* dx) override {
        ++exchanges;
        DDX_Text(dx, kPlaces, places);
        DDV_MinMaxUInt(dx, places, 1, 40);
        DDX_Text(dx, kFee, fee);
        DDV_MinMaxDouble(dx, fee, 0.0, 999.95);
        DDX_Text(dx, kHours, hours);
        DDX_Text(dx, kGrade, grade);
        DDV_MinMaxByte(dx, grade, 1, 6);
        DDX_Text(dx, kRoom, room);
        DDX_Text(dx, kShare, share);
        DDX_CBIndex(dx, kKind, kind);
        DDX_CBString(dx, kPlace, place);
        DDX_CBStringExact(dx, kLevel, level);
        DDX_LBIndex(dx, kDays, day);
        DDX_LBString(dx, kInstructor, instructor);
        DDX_Check(dx, kPaid, paid);
        DDX_Check(dx, kLunch, lunch);
    }
};

class Exchange : public uitest::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        RegisterForm();
        ASSERT_TRUE(frame.CreateEx(0, AfxRegisterWndClass(0), L"Kurs", WS_OVERLAPPED, CRect(0, 0, 600, 450), nullptr, 0));
        ASSERT_TRUE(form.Create(kForm, &frame));
        form.ShowWindow(SW_SHOW);
        frame.ShowWindow(SW_SHOW);
    }
    HWND At(UINT id) { return Item(form, int(id)); }
    CWnd frame;
    CourseForm form;
};

TEST_F(Exchange, LoadingShowsEveryKindOfMemberInItsControl) {
    EXPECT_EQ(form.exchanges, 1) << "a child form loads its members when it is made";
    EXPECT_EQ(Text(At(kPlaces)), L"24");
    EXPECT_EQ(Text(At(kFee)), L"180.5");
    EXPECT_EQ(Text(At(kHours)), L"-3");
    EXPECT_EQ(Text(At(kGrade)), L"5");
    EXPECT_EQ(Text(At(kRoom)), L"4000000000") << "unsigned values are shown without sign";
    EXPECT_EQ(Text(At(kShare)), L"0.25");
    EXPECT_EQ(Text(At(kKind)), L"Weiterbildung");
    EXPECT_EQ(Text(At(kPlace)), L"Baden") << "the first item starting with the text";
    EXPECT_EQ(Text(At(kLevel)), L"Fortgeschrittene") << "the exact one, not the first that starts alike";
    EXPECT_EQ(static_cast<CComboBox*>(form.GetDlgItem(kLevel))->GetCurSel(), 2);
    EXPECT_EQ(static_cast<CListBox*>(form.GetDlgItem(kDays))->GetCurSel(), 2);
    EXPECT_EQ(static_cast<CListBox*>(form.GetDlgItem(kInstructor))->GetCurSel(), 1) << "sorted: Amsler, Graf, Huber";
    EXPECT_TRUE(Checked(At(kPaid)));
    EXPECT_EQ(static_cast<CButton*>(form.GetDlgItem(kLunch))->GetCheck(), BST_INDETERMINATE);
    EXPECT_EQ(static_cast<CButton*>(form.GetDlgItem(kLunch))->GetState() & (BST_CHECKED | BST_INDETERMINATE | BST_PUSHED),
              UINT(BST_INDETERMINATE));

    // A value no item has stays as text in a combo with an edit field.
    form.place = L"Lenzburg";
    form.level = L"Profi";
    form.UpdateData(FALSE);
    EXPECT_EQ(Text(At(kPlace)), L"Lenzburg");
    EXPECT_EQ(Text(At(kLevel)), L"Profi");
    form.fee = 0.1;
    form.UpdateData(FALSE);
    EXPECT_EQ(Text(At(kFee)), L"0.1") << "as many digits as the value needs";
}

TEST_F(Exchange, SavingReadsWhatTheUserEnteredAndChose) {
    ASSERT_TRUE(Retype(At(kPlaces), L" 12 "));
    ASSERT_TRUE(Retype(At(kFee), L"99.95"));
    ASSERT_TRUE(Retype(At(kHours), L"-120"));
    ASSERT_TRUE(Retype(At(kGrade), L"6"));
    ASSERT_TRUE(Retype(At(kRoom), L"17"));
    ASSERT_TRUE(Retype(At(kShare), L"1e-1"));
    ASSERT_TRUE(SelectComboItem(At(kKind), 2));
    ASSERT_TRUE(Retype(At(kPlace), L"Brugg"));
    ASSERT_TRUE(SelectComboItem(At(kLevel), 0));
    ASSERT_TRUE(SelectListBoxItem(At(kDays), 0));
    ASSERT_TRUE(SelectListBoxItem(At(kInstructor), 2));
    ASSERT_TRUE(Click(At(kPaid)));
    ASSERT_TRUE(Click(At(kLunch)));
    ASSERT_TRUE(form.UpdateData(TRUE));
    EXPECT_EQ(form.places, 12u) << "blanks around a number do not matter";
    EXPECT_DOUBLE_EQ(form.fee, 99.95);
    EXPECT_EQ(form.hours, -120);
    EXPECT_EQ(form.grade, 6);
    EXPECT_EQ(form.room, 17ul);
    EXPECT_FLOAT_EQ(form.share, 0.1f);
    EXPECT_EQ(form.kind, 2);
    EXPECT_EQ(form.place, L"Brugg");
    EXPECT_EQ(form.level, L"Anfänger");
    EXPECT_EQ(form.day, 0);
    EXPECT_EQ(form.instructor, L"Huber");
    EXPECT_FALSE(form.paid);
    EXPECT_EQ(form.lunch, BST_UNCHECKED) << "a three-state box goes round: indeterminate, unchecked, checked";

    ASSERT_TRUE(Click(At(kLunch)));
    ASSERT_TRUE(form.UpdateData(TRUE));
    EXPECT_EQ(form.lunch, BST_CHECKED);
    ASSERT_TRUE(Click(At(kLunch)));
    ASSERT_TRUE(form.UpdateData(TRUE));
    EXPECT_EQ(form.lunch, BST_INDETERMINATE);

    static_cast<CComboBox*>(form.GetDlgItem(kKind))->SetCurSel(-1);
    static_cast<CListBox*>(form.GetDlgItem(kInstructor))->SetCurSel(-1);
    ASSERT_TRUE(form.UpdateData(TRUE));
    EXPECT_EQ(form.kind, -1) << "nothing chosen";
    EXPECT_EQ(form.instructor, L"");
}

struct Refusal {
    UINT field;
    const wchar_t* input;
    const wchar_t* says;
};

const char* FieldName(UINT field) {
    switch (field) {
    case kPlaces: return "Places";
    case kFee: return "Fee";
    case kHours: return "Hours";
    case kGrade: return "Grade";
    case kRoom: return "Room";
    case kShare: return "Share";
    default: return "Field";
    }
}

// How a case reads in test lists: the field and what is typed into it.
void PrintTo(const Refusal& r, std::ostream* os) {
    *os << FieldName(r.field) << " typed as '" << qv::ToUtf8(r.input) << "'";
}

class ExchangeRefusal : public Exchange, public ::testing::WithParamInterface<Refusal> {};

TEST_P(ExchangeRefusal, WrongInputIsRefusedWithTheFocusAndSelectionOnTheField) {
    const Refusal r = GetParam();
    const CourseForm before;
    ASSERT_TRUE(Retype(At(r.field), r.input));
    ASSERT_TRUE(Focus(At(kPaid)));
    script.ExpectMessageBox(IDOK, r.says);
    EXPECT_FALSE(form.UpdateData(TRUE));
    EXPECT_TRUE(HasFocus(At(r.field)));
    CEdit* edit = static_cast<CEdit*>(CWnd::FromHandle(At(r.field)));
    int start = -1, end = -1;
    edit->GetSel(start, end);
    EXPECT_EQ(start, 0);
    EXPECT_EQ(end, int(std::wcslen(r.input))) << "the wrong text is selected to be typed over";
    EXPECT_EQ(form.kind, before.kind) << "the exchange stops at the first refusal";
    EXPECT_EQ(form.paid, before.paid);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, ExchangeRefusal,
    ::testing::Values(Refusal{kPlaces, L"zwölf", L"ganze Zahl"}, Refusal{kPlaces, L"-1", L"ganze Zahl"},
                      Refusal{kPlaces, L"41", L"zwischen 1 und 40"}, Refusal{kFee, L"12,50", L"Zahl"},
                      Refusal{kFee, L"1000", L"zwischen 0 und 999.95"}, Refusal{kHours, L"40000", L"ganze Zahl"},
                      Refusal{kGrade, L"256", L"ganze Zahl"}, Refusal{kGrade, L"0", L"zwischen 1 und 6"},
                      Refusal{kRoom, L"", L"ganze Zahl"}, Refusal{kShare, L"ein Viertel", L"Zahl"}),
    // Readable names: the field and the case's place in the list.
    [](const ::testing::TestParamInfo<Refusal>& info) {
        return std::string(FieldName(info.param.field)) + "_" + std::to_string(info.index);
    });

}  // namespace
