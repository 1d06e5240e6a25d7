// Rights applied to controls: hidden without rights, read-only kinds per control class, the spin
// button with its edit buddy, check lists, labels, and the plain mode.
#include "ctrls.h"
#include "qvgridctrl.h"
#include "qvlistctrl.h"
#include "qvsec.h"
#include "qvui.h"
#include "uidriver.h"
#include "winmsg.h"

#include <gtest/gtest.h>

namespace {

class SecuredControls : public ::testing::Test {
protected:
    void SetUp() override {
        qv::ui::EnsureApplication();
        ASSERT_TRUE(parent.CreateEx(0, AfxRegisterWndClass(0), L"Kurs", WS_OVERLAPPED, CRect(0, 0, 400, 300), nullptr, 0));
        const DWORD child = WS_CHILD | WS_VISIBLE;
        ASSERT_TRUE(edit.Create(child, CRect(5, 5, 100, 25), &parent, 101));
        ASSERT_TRUE(buddy.Create(child, CRect(5, 30, 100, 50), &parent, 102));
        ASSERT_TRUE(spin.Create(child, CRect(100, 30, 115, 50), &parent, 103));
        spin.SetBuddy(&buddy);
        ASSERT_TRUE(button.Create(L"Speichern", child, CRect(5, 55, 100, 75), &parent, 104));
        ASSERT_TRUE(label.Create(L"Ort", child, CRect(5, 80, 100, 95), &parent, 105));
        ASSERT_TRUE(checks.Create(child, CRect(5, 100, 100, 160), &parent, 106));
        checks.SetCheckStyle();
        checks.AddString(L"Montag");
        checks.AddString(L"Dienstag");
        ASSERT_TRUE(list.Create(child, CRect(120, 5, 380, 200), &parent, 107));
    }
    void TearDown() override {
        parent.DestroyWindow();
        qv::ui::test::Pump();
    }
    static bool Visible(const CWnd& w) { return (w.GetStyle() & WS_VISIBLE) != 0; }
    static bool ReadOnly(const CWnd& w) { return (w.GetStyle() & ES_READONLY) != 0; }

    CWnd parent;
    CEdit edit, buddy;
    CSpinButtonCtrl spin;
    CButton button;
    CStatic label;
    CCheckListBox checks;
    CQvListCtrl list;
};

TEST_F(SecuredControls, WithoutRightsControlsAreHidden) {
    for (DWORD none : {0u, 0x80000000u}) {
        CQvSec sec;
        sec |= none;
        sec.EnableControl(&button, 0, 0, 0x100, false);
        EXPECT_FALSE(Visible(button)) << std::hex << none;
        sec.EnableControl(&button, 2, 0, 0x100, false);
        EXPECT_TRUE(Visible(button)) << "show mode 2 shows it anyway";
        EXPECT_FALSE(button.IsWindowEnabled()) << "but without rights it cannot be used";
    }
    // A negative mask with other bits is a right like any other.
    CQvSec sec;
    sec |= 0x88000F01u;
    sec.EnableControl(&button, 0, 0, 0x100, false);
    EXPECT_TRUE(Visible(button));
    EXPECT_TRUE(button.IsWindowEnabled());
    sec.EnableControl(&button, 3, 0, 0x100, false);
    EXPECT_FALSE(Visible(button)) << "show mode 3 hides it anyway";
}

TEST_F(SecuredControls, AMissingBitOfTheMaskMakesReadOnly) {
    CQvSec sec;
    sec |= 0x101;
    sec.EnableControl(&edit, 0, 0, 0x100, false);
    EXPECT_FALSE(ReadOnly(edit));
    sec.EnableControl(&edit, 0, 0, 0x200, false);
    EXPECT_TRUE(ReadOnly(edit));
    EXPECT_TRUE(edit.IsWindowEnabled()) << "an edit stays enabled so its text can be read and copied";
    sec.EnableControl(&edit, 0, 2, 0x200, false);
    EXPECT_FALSE(ReadOnly(edit)) << "edit mode 2 makes editable anyway";
    sec.EnableControl(&edit, 0, 3, 0x100, false);
    EXPECT_TRUE(ReadOnly(edit)) << "edit mode 3 makes read-only anyway";
}

TEST_F(SecuredControls, SpinButtonsKeepTheirBuddyReadable) {
    CQvSec sec;
    sec |= 0x1;
    sec.EnableControl(&spin, 0, 0, 0x100, false);
    EXPECT_TRUE(ReadOnly(buddy));
    EXPECT_TRUE(buddy.IsWindowEnabled());
    EXPECT_FALSE(spin.IsWindowEnabled());
    sec |= 0x100;
    sec.EnableControl(&spin, 0, 0, 0x100, false);
    EXPECT_FALSE(ReadOnly(buddy));
    EXPECT_TRUE(spin.IsWindowEnabled());
}

TEST_F(SecuredControls, ListsLabelsAndCheckLists) {
    CQvSec sec;
    sec |= 0x1;
    sec.EnableControl(&checks, 0, 0, 0x100, false);
    EXPECT_TRUE(checks.IsWindowEnabled()) << "the list stays usable for reading";
    EXPECT_FALSE(checks.IsEnabled(0));
    EXPECT_FALSE(checks.IsEnabled(1));
    sec.EnableControl(&label, 0, 0, 0x100, false);
    EXPECT_TRUE(label.IsWindowEnabled());
    sec.EnableControl(&list, 0, 0, 0x100, false);
    EXPECT_TRUE(list.IsReadOnly());
    EXPECT_TRUE(list.IsWindowEnabled());
    sec.EnableDlgItem(&parent, 107, 0, 2, 0x100, false);
    EXPECT_FALSE(list.IsReadOnly());

    // A grid without the edit right is read-only, not disabled: its rows can still be read and
    // scrolled, and a cell edit is refused.
    CQvGridCtrl grid;
    ASSERT_TRUE(grid.Create(WS_VISIBLE, CRect(120, 205, 380, 290), &parent, 108));
    grid.InsertColumn(0, L"Anzahl", LVCFMT_LEFT, 80);
    CQvGridItem* row = nullptr;
    ASSERT_TRUE(grid.QvAddItem(row, FALSE));
    row->SetColumnText(0, L"12");
    row->SetColumnEditMode(0, CQvGridCtrl::eEditText);
    sec.EnableControl(&grid, 0, 0, 0x100, false);
    EXPECT_TRUE(grid.IsReadOnly());
    EXPECT_TRUE(grid.IsWindowEnabled());
    EXPECT_FALSE(grid.SetCellValue(0, 0, L"13"));
    EXPECT_EQ(row->GetColumnText(0), CString(L"12"));
    sec.EnableControl(&grid, 0, 2, 0x100, false);
    EXPECT_FALSE(grid.IsReadOnly());
    EXPECT_TRUE(grid.SetCellValue(0, 0, L"13"));
}

TEST_F(SecuredControls, PlainControlsAreOnlyEnabledOrDisabled) {
    CQvSec sec;
    sec |= 0x1;
    sec.EnableDlgItem(&parent, 101, 0, 0, 0x100, true);
    EXPECT_FALSE(edit.IsWindowEnabled());
    EXPECT_FALSE(ReadOnly(edit));
    sec.EnableDlgItem(&parent, 101, 0, 2, 0x100, true);
    EXPECT_TRUE(edit.IsWindowEnabled());
    // Nothing happens for a control that is not there.
    sec.EnableDlgItem(&parent, 999, 0, 0, 0x100, false);
    sec.EnableControl(nullptr, 0, 0, 0x100, false);
}

}  // namespace
