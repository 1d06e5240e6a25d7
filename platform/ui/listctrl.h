#pragma once
#include <string>
// The report list ("SysListView32"), its header ("SysHeader32") and image lists. The list keeps
// items with sub-item texts, images, states and item data; it tells its parent about state changes
// with LVN_ITEMCHANGED (old and new state), clicks, double-clicks, keys and column clicks, and asks
// it for colours and fonts per cell with NM_CUSTOMDRAW, which the list can handle itself through
// reflection.
#include "wnd.h"

// ---- image lists

#define ILC_MASK 0x0001u
#define ILC_COLOR 0x0000u
#define ILC_COLOR24 0x0018u
#define ILC_COLOR32 0x0020u
#define ILD_NORMAL 0x0000u
#define ILD_TRANSPARENT 0x0001u

HIMAGELIST ImageList_Create(int cx, int cy, UINT flags, int initial, int grow);
BOOL ImageList_Destroy(HIMAGELIST list);
int ImageList_GetImageCount(HIMAGELIST list);
// Adds the images of a bitmap strip (width a multiple of the image width); pixels of the mask
// colour become transparent. Returns the index of the first image, -1 on failure.
int ImageList_AddMasked(HIMAGELIST list, HBITMAP bitmap, COLORREF mask);
BOOL ImageList_Draw(HIMAGELIST list, int index, HDC dc, int x, int y, UINT style);
BOOL ImageList_GetIconSize(HIMAGELIST list, int* cx, int* cy);

class CImageList {
public:
    CImageList() = default;
    ~CImageList();
    CImageList(const CImageList&) = delete;
    CImageList& operator=(const CImageList&) = delete;
    BOOL Create(int cx, int cy, UINT flags, int initial, int grow);
    // A list from a bitmap resource: images of width cx, mask colour transparent.
    BOOL Create(UINT bitmapId, int cx, int grow, COLORREF mask);
    int Add(CBitmap* bitmap, COLORREF mask);
    int GetImageCount() const;
    BOOL Draw(CDC* dc, int image, POINT pt, UINT style);
    BOOL DeleteImageList();
    BOOL Attach(HIMAGELIST list);
    HIMAGELIST Detach();
    HIMAGELIST GetSafeHandle() const { return qv::Opaque(this) ? m_hImageList : nullptr; }
    operator HIMAGELIST() const { return m_hImageList; }
    static CImageList* FromHandle(HIMAGELIST list);
    HIMAGELIST m_hImageList = nullptr;
};

// ---- list view

#define LVS_ICON 0x0000u
#define LVS_REPORT 0x0001u
#define LVS_SMALLICON 0x0002u
#define LVS_LIST 0x0003u
#define LVS_TYPEMASK 0x0003u
#define LVS_SINGLESEL 0x0004u
#define LVS_SHOWSELALWAYS 0x0008u
#define LVS_SORTASCENDING 0x0010u
#define LVS_SORTDESCENDING 0x0020u
#define LVS_OWNERDATA 0x1000u
#define LVS_NOCOLUMNHEADER 0x4000u
#define LVS_NOSORTHEADER 0x8000u

#define LVS_EX_GRIDLINES 0x00000001u
#define LVS_EX_CHECKBOXES 0x00000004u
#define LVS_EX_HEADERDRAGDROP 0x00000010u
#define LVS_EX_FULLROWSELECT 0x00000020u
#define LVS_EX_INFOTIP 0x00000400u
#define LVS_EX_LABELTIP 0x00004000u
#define LVS_EX_DOUBLEBUFFER 0x00010000u

#define LVM_FIRST 0x1000u
#define LVM_SETBKCOLOR (LVM_FIRST + 1)
#define LVM_GETIMAGELIST (LVM_FIRST + 2)
#define LVM_SETIMAGELIST (LVM_FIRST + 3)
#define LVM_GETITEMCOUNT (LVM_FIRST + 4)
#define LVM_DELETEITEM (LVM_FIRST + 8)
#define LVM_DELETEALLITEMS (LVM_FIRST + 9)
#define LVM_GETNEXTITEM (LVM_FIRST + 12)
#define LVM_GETITEMRECT (LVM_FIRST + 14)
#define LVM_HITTEST (LVM_FIRST + 18)
#define LVM_ENSUREVISIBLE (LVM_FIRST + 19)
#define LVM_REDRAWITEMS (LVM_FIRST + 21)
#define LVM_DELETECOLUMN (LVM_FIRST + 28)
#define LVM_GETCOLUMNWIDTH (LVM_FIRST + 29)
#define LVM_SETCOLUMNWIDTH (LVM_FIRST + 30)
#define LVM_GETHEADER (LVM_FIRST + 31)
#define LVM_SETTEXTCOLOR (LVM_FIRST + 36)
#define LVM_SETTEXTBKCOLOR (LVM_FIRST + 38)
#define LVM_GETTOPINDEX (LVM_FIRST + 39)
#define LVM_GETCOUNTPERPAGE (LVM_FIRST + 40)
#define LVM_SETITEMSTATE (LVM_FIRST + 43)
#define LVM_GETITEMSTATE (LVM_FIRST + 44)
#define LVM_SETITEMCOUNT (LVM_FIRST + 47)
#define LVM_SORTITEMS (LVM_FIRST + 48)
#define LVM_GETSELECTEDCOUNT (LVM_FIRST + 50)
#define LVM_SETEXTENDEDLISTVIEWSTYLE (LVM_FIRST + 54)
#define LVM_GETEXTENDEDLISTVIEWSTYLE (LVM_FIRST + 55)
#define LVM_SUBITEMHITTEST (LVM_FIRST + 57)
#define LVM_GETSELECTIONMARK (LVM_FIRST + 66)
#define LVM_SETSELECTIONMARK (LVM_FIRST + 67)
#define LVM_GETITEMW (LVM_FIRST + 75)
#define LVM_SETITEMW (LVM_FIRST + 76)
#define LVM_INSERTITEMW (LVM_FIRST + 77)
#define LVM_SORTITEMSEX (LVM_FIRST + 81)
#define LVM_FINDITEMW (LVM_FIRST + 83)
#define LVM_GETSTRINGWIDTHW (LVM_FIRST + 87)
#define LVM_GETCOLUMNW (LVM_FIRST + 95)
#define LVM_SETCOLUMNW (LVM_FIRST + 96)
#define LVM_INSERTCOLUMNW (LVM_FIRST + 97)
#define LVM_GETITEMTEXTW (LVM_FIRST + 115)
#define LVM_SETITEMTEXTW (LVM_FIRST + 116)
// Of this layer: a status line inside the list, under the rows (wParam: shown; lParam: text or null).
#define LVM_QV_SETSTATUSLINE (LVM_FIRST + 0x0F00)
// Of this layer: when a column's cells show their text as a tool tip (wParam: column; lParam:
// LVQV_TIP_*). Without it, only LVS_EX_LABELTIP shows the first column's cut texts.
#define LVM_QV_SETCOLUMNTIPMODE (LVM_FIRST + 0x0F01)
// Of this layer: rows appended at the end in one go, the view laid out once for all of them
// (wParam: count; lParam: const LVQVROW*). Each row is told to the parent (LVN_INSERTITEM) as
// with LVM_INSERTITEM. Result: the index of the first row, -1 when none was added.
#define LVM_QV_INSERTROWS (LVM_FIRST + 0x0F02)
// Of this layer: the rows at the given indexes (ascending) removed in one go, each told to the
// parent (LVN_DELETEITEM) first (wParam: count; lParam: const int*). Result: the rows removed.
#define LVM_QV_DELETEROWS (LVM_FIRST + 0x0F03)
// Of this layer: as LVM_QV_DELETEROWS, but no row is told: the owner has taken back what the
// rows held, so that removing many rows costs no word per row.
#define LVM_QV_DELETEROWSQUIETLY (LVM_FIRST + 0x0F06)
// Of this layer: the data and states of the rows from the first in one go, for walks over long
// lists (wParam: room; lParam: LVQVROWINFO*, room of them). Result: the number of rows in the
// list, also when it is more than the room.
#define LVM_QV_GETROWS (LVM_FIRST + 0x0F05)
struct LVQVROWINFO {
    LPARAM lParam = 0;
    UINT state = 0;
};
struct LVQVROW {
    LPARAM lParam = 0;
    int iImage = -1;
    int cTexts = 0;
    const LPCWSTR* pszTexts = nullptr;  // the texts of the first cTexts columns; null: the provider's
};
// Of this layer: the first rows put in an order worked out away from the GUI thread (wParam: the
// number of rows; lParam: const LVQVORDER*). Refused (FALSE) unless the first rows are still those
// given, in that order, and the order is a permutation of them; rows after them stay after them.
// The selection and the focus go with their rows.
#define LVM_QV_SETORDER (LVM_FIRST + 0x0F07)
struct LVQVORDER {
    const LPARAM* rows = nullptr;  // the data of the rows as they stand
    const int* order = nullptr;    // row i of the new order is the row order[i] of those
};
// Of this layer: the owner keeps the texts of the rows it adds without texts (LVM_QV_INSERTROWS
// with pszTexts null) and the list asks it for them whenever it shows, measures or finds one, so
// that a long list holds its texts once (wParam: context; lParam: LVQVTEXTPROVIDER).
#define LVM_QV_SETTEXTPROVIDER (LVM_FIRST + 0x0F04)
using LVQVTEXTPROVIDER = std::wstring (*)(void* context, LPARAM lParam, int column);
#define LVQV_TIP_NONE 0
#define LVQV_TIP_TRUNCATED 1
#define LVQV_TIP_ALWAYS 2
#define LVQV_TIP_DEFAULT (-1)

#define LVSIL_NORMAL 0
#define LVSIL_SMALL 1
#define LVSIL_STATE 2

#define LVIF_TEXT 0x0001u
#define LVIF_IMAGE 0x0002u
#define LVIF_PARAM 0x0004u
#define LVIF_STATE 0x0008u
#define LVIF_INDENT 0x0010u
#define LVIS_FOCUSED 0x0001u
#define LVIS_SELECTED 0x0002u
#define LVIS_CUT 0x0004u
#define LVIS_DROPHILITED 0x0008u
#define LVIS_STATEIMAGEMASK 0xF000u
constexpr UINT INDEXTOSTATEIMAGEMASK(UINT i) { return i << 12; }
#define LVNI_ALL 0x0000u
#define LVNI_FOCUSED 0x0001u
#define LVNI_SELECTED 0x0002u
#define LVIR_BOUNDS 0
#define LVIR_ICON 1
#define LVIR_LABEL 2
#define LVCF_FMT 0x0001u
#define LVCF_WIDTH 0x0002u
#define LVCF_TEXT 0x0004u
#define LVCF_SUBITEM 0x0008u
#define LVCF_IMAGE 0x0010u
#define LVCF_ORDER 0x0020u
#define LVCFMT_LEFT 0x0000
#define LVCFMT_RIGHT 0x0001
#define LVCFMT_CENTER 0x0002
#define LVCFMT_JUSTIFYMASK 0x0003
#define LVSCW_AUTOSIZE (-1)
#define LVSCW_AUTOSIZE_USEHEADER (-2)
#define LVFI_PARAM 0x0001u
#define LVFI_STRING 0x0002u
#define LVFI_PARTIAL 0x0008u
#define LVHT_NOWHERE 0x0001u
#define LVHT_ONITEMICON 0x0002u
#define LVHT_ONITEMLABEL 0x0004u
#define LVHT_ONITEMSTATEICON 0x0008u
#define LVHT_ONITEM (LVHT_ONITEMICON | LVHT_ONITEMLABEL | LVHT_ONITEMSTATEICON)

#define LVN_FIRST (0u - 100u)
#define LVN_ITEMCHANGING (LVN_FIRST - 0u)
#define LVN_ITEMCHANGED (LVN_FIRST - 1u)
#define LVN_INSERTITEM (LVN_FIRST - 2u)
#define LVN_DELETEITEM (LVN_FIRST - 3u)
#define LVN_DELETEALLITEMS (LVN_FIRST - 4u)
#define LVN_COLUMNCLICK (LVN_FIRST - 8u)
#define LVN_KEYDOWN (LVN_FIRST - 55u)

#define HDN_FIRST (0u - 300u)
#define HDN_ITEMCHANGEDW (HDN_FIRST - 21u)
#define HDN_ITEMCLICKW (HDN_FIRST - 22u)
#define HDN_ENDTRACKW (HDN_FIRST - 27u)
#define HDN_ITEMCHANGED HDN_ITEMCHANGEDW
#define HDN_ITEMCLICK HDN_ITEMCLICKW
#define HDN_ENDTRACK HDN_ENDTRACKW
#define HDM_FIRST 0x1200u
#define HDM_GETITEMCOUNT (HDM_FIRST + 0)
#define HDM_GETITEMW (HDM_FIRST + 11)
#define HDM_SETITEMW (HDM_FIRST + 12)
#define HDM_GETITEM HDM_GETITEMW
#define HDM_SETITEM HDM_SETITEMW
#define HDI_WIDTH 0x0001u
#define HDI_HEIGHT HDI_WIDTH
#define HDI_TEXT 0x0002u
#define HDI_FORMAT 0x0004u
#define HDI_LPARAM 0x0008u
#define HDI_ORDER 0x0080u

// Custom draw
#define CDDS_PREPAINT 0x00000001u
#define CDDS_POSTPAINT 0x00000002u
#define CDDS_ITEM 0x00010000u
#define CDDS_ITEMPREPAINT (CDDS_ITEM | CDDS_PREPAINT)
#define CDDS_SUBITEM 0x00020000u
#define CDRF_DODEFAULT 0x00000000u
#define CDRF_NEWFONT 0x00000002u
#define CDRF_SKIPDEFAULT 0x00000004u
#define CDRF_NOTIFYPOSTPAINT 0x00000010u
#define CDRF_NOTIFYITEMDRAW 0x00000020u
#define CDRF_NOTIFYSUBITEMDRAW 0x00000020u

struct LVCOLUMNW {
    UINT mask = 0;
    int fmt = LVCFMT_LEFT;
    int cx = 0;
    LPWSTR pszText = nullptr;
    int cchTextMax = 0;
    int iSubItem = 0;
    int iImage = 0;
    int iOrder = 0;
};
using LVCOLUMN = LVCOLUMNW;
using LPLVCOLUMN = LVCOLUMNW*;

struct LVITEMW {
    UINT mask = 0;
    int iItem = 0;
    int iSubItem = 0;
    UINT state = 0;
    UINT stateMask = 0;
    LPWSTR pszText = nullptr;
    int cchTextMax = 0;
    int iImage = 0;
    LPARAM lParam = 0;
    int iIndent = 0;
};
using LVITEM = LVITEMW;
using LPLVITEM = LVITEMW*;

struct NMLISTVIEW {
    NMHDR hdr;
    int iItem = -1;
    int iSubItem = 0;
    UINT uNewState = 0;
    UINT uOldState = 0;
    UINT uChanged = 0;
    POINT ptAction;
    LPARAM lParam = 0;
};
using LPNMLISTVIEW = NMLISTVIEW*;
using NM_LISTVIEW = NMLISTVIEW;

struct NMITEMACTIVATE {
    NMHDR hdr;
    int iItem = -1;
    int iSubItem = 0;
    UINT uNewState = 0;
    UINT uOldState = 0;
    UINT uChanged = 0;
    POINT ptAction;
    LPARAM lParam = 0;
    UINT uKeyFlags = 0;
};
using LPNMITEMACTIVATE = NMITEMACTIVATE*;

struct NMLVKEYDOWN {
    NMHDR hdr;
    WORD wVKey = 0;
    UINT flags = 0;
};
using LPNMLVKEYDOWN = NMLVKEYDOWN*;

struct NMCUSTOMDRAW {
    NMHDR hdr;
    DWORD dwDrawStage = 0;
    HDC hdc = nullptr;
    RECT rc;
    DWORD_PTR dwItemSpec = 0;
    UINT uItemState = 0;
    LPARAM lItemlParam = 0;
};
struct NMLVCUSTOMDRAW {
    NMCUSTOMDRAW nmcd;
    COLORREF clrText = CLR_DEFAULT;
    COLORREF clrTextBk = CLR_DEFAULT;
    int iSubItem = 0;
};
using LPNMLVCUSTOMDRAW = NMLVCUSTOMDRAW*;

struct LVHITTESTINFO {
    POINT pt;
    UINT flags = 0;
    int iItem = -1;
    int iSubItem = 0;
};
using LPLVHITTESTINFO = LVHITTESTINFO*;

struct LVFINDINFOW {
    UINT flags = 0;
    LPCWSTR psz = nullptr;
    LPARAM lParam = 0;
    POINT pt;
    UINT vkDirection = 0;
};
using LVFINDINFO = LVFINDINFOW;

struct HDITEMW {
    UINT mask = 0;
    int cxy = 0;
    LPWSTR pszText = nullptr;
    HBITMAP hbm = nullptr;
    int cchTextMax = 0;
    int fmt = 0;
    LPARAM lParam = 0;
    int iImage = 0;
    int iOrder = 0;
};
using HDITEM = HDITEMW;
using LPHDITEM = HDITEMW*;

struct NMHEADERW {
    NMHDR hdr;
    int iItem = 0;
    int iButton = 0;
    HDITEMW* pitem = nullptr;
};
using NMHEADER = NMHEADERW;
using LPNMHEADER = NMHEADERW*;

using PFNLVCOMPARE = int (*)(LPARAM, LPARAM, LPARAM);
using POSITION = void*;

class CHeaderCtrl : public CWnd {
    DECLARE_DYNAMIC(CHeaderCtrl)
public:
    int GetItemCount() const;
    BOOL GetItem(int index, HDITEMW* item) const;
    BOOL SetItem(int index, HDITEMW* item);
};

class CListCtrl : public CWnd {
    DECLARE_DYNAMIC(CListCtrl)
public:
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);

    int InsertColumn(int column, LPCWSTR heading, int format = LVCFMT_LEFT, int width = -1, int subItem = -1);
    int InsertColumn(int column, const LVCOLUMNW* col);
    BOOL DeleteColumn(int column);
    BOOL GetColumn(int column, LVCOLUMNW* col) const;
    BOOL SetColumn(int column, const LVCOLUMNW* col);
    int GetColumnWidth(int column) const;
    BOOL SetColumnWidth(int column, int width);
    CHeaderCtrl* GetHeaderCtrl() const;

    int GetItemCount() const;
    BOOL SetItemCount(int count);
    int InsertItem(int item, LPCWSTR text);
    int InsertItem(int item, LPCWSTR text, int image);
    int InsertItem(const LVITEMW* item);
    int InsertItem(UINT mask, int item, LPCWSTR text, UINT state, UINT stateMask, int image, LPARAM lParam);
    BOOL DeleteItem(int item);
    BOOL DeleteAllItems();
    BOOL GetItem(LVITEMW* item) const;
    BOOL SetItem(const LVITEMW* item);
    BOOL SetItem(int item, int subItem, UINT mask, LPCWSTR text, int image, UINT state, UINT stateMask, LPARAM lParam);
    BOOL SetItemText(int item, int subItem, LPCWSTR text);
    CString GetItemText(int item, int subItem) const;
    int GetItemText(int item, int subItem, LPWSTR buffer, int max) const;
    BOOL SetItemData(int item, DWORD_PTR data);
    DWORD_PTR GetItemData(int item) const;
    BOOL SetItemState(int item, UINT state, UINT mask);
    UINT GetItemState(int item, UINT mask) const;
    BOOL SetCheck(int item, BOOL check = TRUE);
    BOOL GetCheck(int item) const;

    int GetNextItem(int item, int flags) const;
    UINT GetSelectedCount() const;
    POSITION GetFirstSelectedItemPosition() const;
    int GetNextSelectedItem(POSITION& pos) const;
    int GetSelectionMark() const;
    int SetSelectionMark(int item);
    BOOL EnsureVisible(int item, BOOL partialOk);
    int GetTopIndex() const;
    int GetCountPerPage() const;
    BOOL GetItemRect(int item, LPRECT rect, UINT code) const;
    BOOL GetSubItemRect(int item, int subItem, int area, CRect& rect) const;
    int HitTest(CPoint pt, UINT* flags = nullptr) const;
    int HitTest(LVHITTESTINFO* info) const;
    int SubItemHitTest(LVHITTESTINFO* info);
    int FindItem(LVFINDINFOW* info, int start = -1) const;
    BOOL SortItems(PFNLVCOMPARE compare, DWORD_PTR data);
    BOOL SortItemsEx(PFNLVCOMPARE compare, DWORD_PTR data);
    BOOL RedrawItems(int first, int last);
    int GetStringWidth(LPCWSTR text) const;

    DWORD SetExtendedStyle(DWORD style);
    DWORD GetExtendedStyle() const;
    CImageList* SetImageList(CImageList* list, int type);
    CImageList* GetImageList(int type) const;
    BOOL SetBkColor(COLORREF color);
    BOOL SetTextColor(COLORREF color);
    BOOL SetTextBkColor(COLORREF color);
};

// A user toggling a row's check box asks first with LVN_ITEMCHANGING (uChanged LVIF_STATE); a
// parent (or the list, by reflection) that answers TRUE keeps the box as it is.
