#pragma once
// The test driver: acts on windows as a user would (clicks, typing, keys, rows, tabs, drops)
// through the real widgets, so that the resulting messages run through the message maps, and
// reads back what the user would see. Any window can be saved as a PNG.
// Keys and clicks go to the top-level window the way the window system delivers them (keys to an
// open popup, else to the active window), and the toolkit routes them on as it routes a user's;
// a click lands on whatever is at its point, so a control covered or out of view is not clicked.
#include "wnd.h"
#include <QImage>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

namespace qv::ui::test {

QWidget* Widget(HWND wnd);
HWND Item(HWND dialog, int id);
// Runs what is pending on the GUI thread.
void Pump();
// Runs the GUI thread until the condition holds (true) or the time is up (false).
bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 5000);

// ---- acting
bool Click(HWND control, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
bool Click(HWND dialog, int id, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
// A click in the middle of a toolkit widget that has no window handle (a button of a frame window).
bool Click(QWidget* widget, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
bool DoubleClick(HWND control);
// A click at a point of the control's client area.
bool ClickAt(HWND control, int x, int y, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
// The tool tip the control shows when the mouse rests on it (empty: none).
std::wstring ToolTip(HWND control);
// Gives the control the focus, takes the caret to the end (End, or Ctrl+End in several lines)
// and types the text key by key.
bool Type(HWND control, const std::wstring& text);
// Selects everything in an edit with the keys (Home, Shift+End) and types the text over it.
bool Retype(HWND control, const std::wstring& text);
// A key press and release; with a target, the target gets the focus first.
bool PressKey(HWND target, UINT virtualKey, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
// A key pressed down and held (a modifier while the mouse clicks), or let go again.
bool HoldKey(UINT virtualKey, bool down);
// The focus as the user gives it: a click into a text field, any other control as Tab reaches it.
// The focus widget of the active window keeps it while its own popup is open.
bool Focus(HWND control);

// Report lists
bool SelectRow(HWND list, int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
bool ClickCell(HWND list, int row, int column, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
bool DoubleClickRow(HWND list, int row);
// A click on the row's check box (false: the row has none, or something covers it).
bool ClickRowCheckBox(HWND list, int row);
bool ClickColumnHeader(HWND list, int column);
// As the user drags the column's divider.
bool ResizeColumn(HWND list, int column, int width);
int Rows(HWND list);
int Columns(HWND list);
std::wstring Cell(HWND list, int row, int column);
std::wstring Header(HWND list, int column);
// CLR_DEFAULT when the cell has no colour of its own.
COLORREF CellTextColor(HWND list, int row, int column);
COLORREF CellBackColor(HWND list, int row, int column);
bool CellBold(HWND list, int row, int column);
bool CellUnderlined(HWND list, int row, int column);
bool RowSelected(HWND list, int row);
// The tool tip a cell shows when the mouse rests on it (empty: none).
std::wstring CellToolTip(HWND list, int row, int column);

// Combo and list boxes
bool SelectComboItem(HWND combo, int index);
std::vector<std::wstring> ComboItems(HWND combo);
bool SelectListBoxItem(HWND list, int index, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

// Trees: the items as shown, each indented by two blanks per level; items are found by text.
std::vector<std::wstring> TreeItems(HWND tree);
bool SelectTreeItem(HWND tree, const std::wstring& text);
// As the user ticks or clears the item's check box.
bool ClickTreeCheckBox(HWND tree, const std::wstring& text);
COLORREF TreeItemColor(HWND tree, const std::wstring& text);  // CLR_DEFAULT: the tree's own
bool TreeItemBold(HWND tree, const std::wstring& text);
bool TreeItemChecked(HWND tree, const std::wstring& text);
bool TreeItemHasImage(HWND tree, const std::wstring& text);
// Date-time pickers: the user ticks or clears the show-none box, or types a date into the field,
// clicking on each section's digits and typing them (not into a field that shows the weekday).
bool TickDatePicker(HWND picker, bool ticked);
bool PickDate(HWND picker, int year, int month, int day);
// A click on a section of the picker's field (0: the first shown), then the keys typed one by one.
bool TypeDate(HWND picker, int section, const std::wstring& keys);
// The drop-down calendar opened with a click on the picker's arrow; then what it shows: the
// month, the year and the weekdays in the order of its columns.
bool OpenDateCalendar(HWND picker);
std::vector<std::wstring> CalendarTexts(HWND picker);
// Tab strips (the class library's tab control): the tab's index.
bool ClickTab(HWND tabs, int index);
std::vector<std::wstring> TabLabels(HWND tabs);

// Scroll bars of a window (SB_VERT / SB_HORZ) as the user clicks them; code is SB_LINEDOWN ...
// SB_TOP and SB_BOTTOM drag the thumb to that end: the window hears SB_THUMBTRACK, SB_THUMBPOSITION
// and SB_ENDSCROLL. False when there is nothing to click (a page area the thumb fills, a bar
// without a range).
bool Scroll(HWND wnd, int bar, int code);

// A top-level window resized by the user, within the sizes the window allows.
bool ResizeWindow(HWND top, int width, int height);

// Files dropped on a window (local paths) at its middle; the modifiers are held during the drag.
// False when the drop is refused or lands on something else.
bool DropFiles(HWND target, const std::vector<std::string>& paths, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

// Popup menus: the next TrackPopupMenu is answered with this command (0: dismissed). The texts
// of the items it offered are kept for reading.
void AnswerNextPopupMenu(UINT command);
std::vector<std::wstring> LastPopupMenuItems();
// Acts on the next popup menu or modal box that the program opens and waits in: `act` runs once
// it is up (on the GUI thread, inside the program's wait), reads it and answers it as a user would,
// with keys or clicks. Nothing runs when none opens within the time.
void WhenOpened(std::function<void(QWidget* window)> act, int timeoutMs = 5000);
// A click on the item of the open popup menu with this text, the modifiers held (false: no such
// item, or it is greyed).
bool ClickMenuItem(const std::wstring& text, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

// ---- reading
std::wstring Text(HWND wnd);
bool Visible(HWND wnd);
bool Enabled(HWND wnd);
bool ReadOnly(HWND edit);
// A check box, radio button or check-like push button; a date field: its box that switches the date on.
bool Checked(HWND button);
bool HasFocus(HWND wnd);
// The background colour a static control or dialog paints (pixel in the middle of the window).
COLORREF PixelAt(HWND wnd, int x, int y);

// ---- pictures
// The window as drawn; with a frame, a top-level window gets a title bar and border around it.
QImage Grab(HWND wnd, bool frame = true);
// Makes the picture's folder when it is missing.
bool SavePng(HWND wnd, const std::string& path, bool frame = true);
// The screen around a window as the user sees it: the window's client area with the popups, tool
// tips and boxes that are open over it (a box at its place, the picture grown to hold it).
QImage GrabScreen(HWND wnd);
bool SaveScreenPng(HWND wnd, const std::string& path);

}  // namespace qv::ui::test
