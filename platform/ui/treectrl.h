#pragma once
// The tree control: items with text, images, 32-bit data, bold text, a text colour and, with
// TVS_CHECKBOXES, a check box each. The user's selection, expansion and check box changes are told
// to the parent (TVN_ notifications, the selection change refusable); so is each deleted item.
// CTreeCtrlEx keeps a colour per item for the forms that colour their trees.
#include "listctrl.h"
#include <map>

#define WC_TREEVIEWW L"SysTreeView32"

struct QvTreeItemTag;
using HTREEITEM = QvTreeItemTag*;
#define TVI_ROOT (reinterpret_cast<HTREEITEM>(static_cast<ULONG_PTR>(-0x10000)))
#define TVI_FIRST (reinterpret_cast<HTREEITEM>(static_cast<ULONG_PTR>(-0x0FFFF)))
#define TVI_LAST (reinterpret_cast<HTREEITEM>(static_cast<ULONG_PTR>(-0x0FFFE)))
#define TVI_SORT (reinterpret_cast<HTREEITEM>(static_cast<ULONG_PTR>(-0x0FFFD)))

#define TVS_HASBUTTONS 0x0001u
#define TVS_HASLINES 0x0002u
#define TVS_LINESATROOT 0x0004u
#define TVS_EDITLABELS 0x0008u
#define TVS_SHOWSELALWAYS 0x0020u
#define TVS_CHECKBOXES 0x0100u
#define TVS_FULLROWSELECT 0x1000u

#define TVIF_TEXT 0x0001u
#define TVIF_IMAGE 0x0002u
#define TVIF_PARAM 0x0004u
#define TVIF_STATE 0x0008u
#define TVIF_HANDLE 0x0010u
#define TVIF_SELECTEDIMAGE 0x0020u
#define TVIF_CHILDREN 0x0040u

#define TVIS_SELECTED 0x0002u
#define TVIS_BOLD 0x0010u
#define TVIS_EXPANDED 0x0020u
#define TVIS_STATEIMAGEMASK 0xF000u

#define TVE_COLLAPSE 0x0001u
#define TVE_EXPAND 0x0002u
#define TVE_TOGGLE 0x0003u

#define TVGN_ROOT 0x0000u
#define TVGN_NEXT 0x0001u
#define TVGN_PREVIOUS 0x0002u
#define TVGN_PARENT 0x0003u
#define TVGN_CHILD 0x0004u
#define TVGN_FIRSTVISIBLE 0x0005u
#define TVGN_CARET 0x0009u

#define TVSIL_NORMAL 0
#define TVSIL_STATE 2

#define TVC_UNKNOWN 0x0000u
#define TVC_BYMOUSE 0x0001u
#define TVC_BYKEYBOARD 0x0002u

#define TV_FIRST 0x1100u
#define TVM_INSERTITEMW (TV_FIRST + 50u)
#define TVM_DELETEITEM (TV_FIRST + 1u)
#define TVM_EXPAND (TV_FIRST + 2u)
#define TVM_GETCOUNT (TV_FIRST + 5u)
#define TVM_SETIMAGELIST (TV_FIRST + 9u)
#define TVM_GETNEXTITEM (TV_FIRST + 10u)
#define TVM_SELECTITEM (TV_FIRST + 11u)
#define TVM_GETITEMW (TV_FIRST + 62u)
#define TVM_SETITEMW (TV_FIRST + 63u)
#define TVM_ENSUREVISIBLE (TV_FIRST + 20u)
#define TVM_SORTCHILDREN (TV_FIRST + 19u)
// Of our own: the text colour of one item (CLR_DEFAULT: the tree's) and reading it back.
#define TVM_QV_SETITEMCOLOR (TV_FIRST + 0x0F0u)
#define TVM_QV_GETITEMCOLOR (TV_FIRST + 0x0F1u)

#define TVN_FIRST (0u - 400u)
#define TVN_SELCHANGINGW (TVN_FIRST - 50u)
#define TVN_SELCHANGEDW (TVN_FIRST - 51u)
#define TVN_ITEMEXPANDINGW (TVN_FIRST - 54u)
#define TVN_ITEMEXPANDEDW (TVN_FIRST - 55u)
#define TVN_DELETEITEMW (TVN_FIRST - 58u)
#define TVN_KEYDOWN (TVN_FIRST - 12u)
#define TVN_ITEMCHANGEDW (TVN_FIRST - 19u)
#define TVN_SELCHANGING TVN_SELCHANGINGW
#define TVN_SELCHANGED TVN_SELCHANGEDW
#define TVN_ITEMEXPANDING TVN_ITEMEXPANDINGW
#define TVN_ITEMEXPANDED TVN_ITEMEXPANDEDW
#define TVN_DELETEITEM TVN_DELETEITEMW
#define TVN_ITEMCHANGED TVN_ITEMCHANGEDW

struct TVITEMW {
    UINT mask = 0;
    HTREEITEM hItem = nullptr;
    UINT state = 0;
    UINT stateMask = 0;
    LPWSTR pszText = nullptr;
    int cchTextMax = 0;
    int iImage = 0;
    int iSelectedImage = 0;
    int cChildren = 0;
    LPARAM lParam = 0;
};
using TVITEM = TVITEMW;
using LPTVITEM = TVITEMW*;

struct TVINSERTSTRUCTW {
    HTREEITEM hParent = nullptr;
    HTREEITEM hInsertAfter = nullptr;
    TVITEMW item;
};
using TVINSERTSTRUCT = TVINSERTSTRUCTW;
using LPTVINSERTSTRUCT = TVINSERTSTRUCTW*;

struct NMTREEVIEWW {
    NMHDR hdr;
    UINT action = 0;
    TVITEMW itemOld;
    TVITEMW itemNew;
    POINT ptDrag{0, 0};
};
using NMTREEVIEW = NMTREEVIEWW;
using LPNMTREEVIEW = NMTREEVIEWW*;

struct NMTVITEMCHANGE {
    NMHDR hdr;
    UINT uChanged = TVIF_STATE;
    HTREEITEM hItem = nullptr;
    UINT uStateNew = 0;
    UINT uStateOld = 0;
    LPARAM lParam = 0;
};

struct NMTVKEYDOWN {
    NMHDR hdr;
    WORD wVKey = 0;
    UINT flags = 0;
};

class CTreeCtrl : public CWnd {
    DECLARE_DYNAMIC(CTreeCtrl)
public:
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);

    HTREEITEM InsertItem(LPTVINSERTSTRUCT insert);
    HTREEITEM InsertItem(LPCWSTR text, HTREEITEM parent = TVI_ROOT, HTREEITEM after = TVI_LAST);
    HTREEITEM InsertItem(LPCWSTR text, int image, int selectedImage, HTREEITEM parent = TVI_ROOT,
                         HTREEITEM after = TVI_LAST);
    HTREEITEM InsertItem(UINT mask, LPCWSTR text, int image, int selectedImage, UINT state, UINT stateMask,
                         LPARAM lParam, HTREEITEM parent, HTREEITEM after);
    BOOL DeleteItem(HTREEITEM item);
    // Each item removed is told to the parent (TVN_DELETEITEM), children before their parent.
    virtual BOOL DeleteAllItems();
    UINT GetCount() const;

    HTREEITEM GetNextItem(HTREEITEM item, UINT code) const;
    HTREEITEM GetRootItem() const { return GetNextItem(nullptr, TVGN_ROOT); }
    HTREEITEM GetChildItem(HTREEITEM item) const { return GetNextItem(item, TVGN_CHILD); }
    HTREEITEM GetNextSiblingItem(HTREEITEM item) const { return GetNextItem(item, TVGN_NEXT); }
    HTREEITEM GetPrevSiblingItem(HTREEITEM item) const { return GetNextItem(item, TVGN_PREVIOUS); }
    HTREEITEM GetParentItem(HTREEITEM item) const { return GetNextItem(item, TVGN_PARENT); }
    HTREEITEM GetSelectedItem() const { return GetNextItem(nullptr, TVGN_CARET); }
    BOOL ItemHasChildren(HTREEITEM item) const { return GetChildItem(item) != nullptr; }

    // Selection by program is told to the parent like the user's (TVC_UNKNOWN).
    BOOL SelectItem(HTREEITEM item);
    BOOL Expand(HTREEITEM item, UINT code);
    BOOL EnsureVisible(HTREEITEM item);

    BOOL GetItem(TVITEM* item) const;
    BOOL SetItem(TVITEM* item);
    CString GetItemText(HTREEITEM item) const;
    BOOL SetItemText(HTREEITEM item, LPCWSTR text);
    DWORD_PTR GetItemData(HTREEITEM item) const;
    BOOL SetItemData(HTREEITEM item, DWORD_PTR data);
    BOOL GetItemImage(HTREEITEM item, int& image, int& selectedImage) const;
    BOOL SetItemImage(HTREEITEM item, int image, int selectedImage);
    UINT GetItemState(HTREEITEM item, UINT stateMask) const;
    BOOL SetItemState(HTREEITEM item, UINT state, UINT stateMask);
    BOOL GetCheck(HTREEITEM item) const;
    BOOL SetCheck(HTREEITEM item, BOOL check = TRUE);
    CImageList* SetImageList(CImageList* list, int kind);
};

// A tree whose items each keep a text colour (and a font, the tree's own unless set).
class CTreeCtrlEx : public CTreeCtrl {
    DECLARE_DYNAMIC(CTreeCtrlEx)
public:
    ~CTreeCtrlEx() override;
    BOOL DeleteAllItems() override;
    void SetItemColor(HTREEITEM item, COLORREF color);
    COLORREF GetItemColor(HTREEITEM item) const;
    void SetItemBold(HTREEITEM item, BOOL bold) { SetItemState(item, bold ? TVIS_BOLD : 0, TVIS_BOLD); }

private:
    struct Look {
        COLORREF color = CLR_DEFAULT;
        LOGFONTW font{};
        bool ownFont = false;
    };
    std::map<HTREEITEM, Look> m_looks;
};
