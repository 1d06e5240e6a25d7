// The tree control's window class on a Qt tree widget: an item handle is the widget's item.
#include "treectrl.h"
#include "uiimpl_p.h"
#include <QHeaderView>
#include <QKeyEvent>
#include <QTreeWidget>
#include <functional>

IMPLEMENT_DYNAMIC(CTreeCtrl, CWnd)
IMPLEMENT_DYNAMIC(CTreeCtrlEx, CTreeCtrl)

namespace qv::ui::detail {
namespace {

constexpr int kDataRole = Qt::UserRole;
constexpr int kImageRole = Qt::UserRole + 1;
constexpr int kSelImageRole = Qt::UserRole + 2;
constexpr int kColorRole = Qt::UserRole + 3;

class TreeWidget : public QTreeWidget {
public:
    explicit TreeWidget(QWidget* parent) : QTreeWidget(parent) {}
    HIMAGELIST images = nullptr;
    int quiet = 0;
    bool refusing = false;
    QTreeWidgetItem* current = nullptr;  // the selection the parent knows of

protected:
    void keyPressEvent(QKeyEvent* e) override;
    // Focus alone selects nothing (the view would make its first item current).
    void focusInEvent(QFocusEvent* e) override {
        ++quiet;
        QTreeWidget::focusInEvent(e);
        --quiet;
    }
};

HTREEITEM H(QTreeWidgetItem* item) { return reinterpret_cast<HTREEITEM>(item); }
QTreeWidgetItem* I(HTREEITEM item) { return reinterpret_cast<QTreeWidgetItem*>(item); }

struct Quiet {
    explicit Quiet(int& c) : count(c) { ++count; }
    ~Quiet() { --count; }
    int& count;
};

bool Contains(TreeWidget* t, QTreeWidgetItem* item) {
    if (!item) return false;
    // The handle must be an item of this tree (callers hand in stale handles too).
    std::function<bool(QTreeWidgetItem*)> within = [&](QTreeWidgetItem* parent) {
        for (int i = 0; i < parent->childCount(); ++i) {
            QTreeWidgetItem* c = parent->child(i);
            if (c == item || within(c)) return true;
        }
        return false;
    };
    return within(t->invisibleRootItem());
}

UINT StateOf(TreeWidget* t, QTreeWidgetItem* item) {
    UINT state = 0;
    if (item->isSelected() || item == t->currentItem()) state |= TVIS_SELECTED;
    if (item->isExpanded()) state |= TVIS_EXPANDED;
    if (item->font(0).bold()) state |= TVIS_BOLD;
    if (item->data(0, Qt::CheckStateRole).isValid())
        state |= INDEXTOSTATEIMAGEMASK(item->checkState(0) == Qt::Checked ? 2u : 1u);
    return state;
}

void Fill(TreeWidget* t, QTreeWidgetItem* item, TVITEMW& out) {
    out.hItem = H(item);
    out.lParam = item ? LPARAM(item->data(0, kDataRole).toLongLong()) : 0;
    out.state = item ? StateOf(t, item) : 0;
    if (item) {
        out.iImage = item->data(0, kImageRole).isValid() ? item->data(0, kImageRole).toInt() : 0;
        out.iSelectedImage = item->data(0, kSelImageRole).isValid() ? item->data(0, kSelImageRole).toInt() : 0;
        out.cChildren = item->childCount() > 0 ? 1 : 0;
    }
}

void ShowImage(TreeWidget* t, QTreeWidgetItem* item) {
    const int image = item->data(0, kImageRole).isValid() ? item->data(0, kImageRole).toInt() : -1;
    const QPixmap pm = t->images && image >= 0 ? ImageListPixmap(t->images, image) : QPixmap();
    item->setIcon(0, pm.isNull() ? QIcon() : QIcon(pm));
}

void Apply(TreeWidget* t, QTreeWidgetItem* item, const TVITEMW& in) {
    Quiet q(t->quiet);
    if (in.mask & TVIF_TEXT) item->setText(0, ToQt(in.pszText ? in.pszText : L""));
    if (in.mask & TVIF_PARAM) item->setData(0, kDataRole, qlonglong(in.lParam));
    if (in.mask & TVIF_IMAGE) item->setData(0, kImageRole, in.iImage);
    if (in.mask & TVIF_SELECTEDIMAGE) item->setData(0, kSelImageRole, in.iSelectedImage);
    if (in.mask & (TVIF_IMAGE | TVIF_SELECTEDIMAGE)) ShowImage(t, item);
    if (in.mask & TVIF_STATE) {
        if (in.stateMask & TVIS_BOLD) {
            QFont f = item->font(0);
            f.setBold(in.state & TVIS_BOLD);
            item->setFont(0, f);
        }
        if (in.stateMask & TVIS_EXPANDED) item->setExpanded(in.state & TVIS_EXPANDED);
        if ((in.stateMask & TVIS_STATEIMAGEMASK) && (in.state & TVIS_STATEIMAGEMASK)) {
            const UINT image = (in.state & TVIS_STATEIMAGEMASK) >> 12;
            item->setCheckState(0, image >= 2 ? Qt::Checked : Qt::Unchecked);
        }
    }
}

void SendDeleted(Window& w, TreeWidget* t, QTreeWidgetItem* item) {
    for (int i = item->childCount() - 1; i >= 0; --i) SendDeleted(w, t, item->child(i));
    NMTREEVIEWW nm;
    Fill(t, item, nm.itemOld);
    NotifyParent(w, nm.hdr, TVN_DELETEITEMW);
}

// The parent may refuse a new selection; then the old one is shown again.
bool ChangeSelection(HWND h, TreeWidget* t, QTreeWidgetItem* next, UINT action) {
    Window* w = Find(h);
    if (!w || next == t->current) return true;
    NMTREEVIEWW nm;
    nm.action = action;
    Fill(t, t->current, nm.itemOld);
    Fill(t, next, nm.itemNew);
    if (NotifyParent(*w, nm.hdr, TVN_SELCHANGINGW) != 0) return false;
    if (!(w = Find(h))) return false;
    t->current = next;
    NMTREEVIEWW done;
    done.action = action;
    done.itemOld = nm.itemOld;
    Fill(t, next, done.itemNew);
    NotifyParent(*w, done.hdr, TVN_SELCHANGEDW);
    return true;
}

void TreeWidget::keyPressEvent(QKeyEvent* e) {
    if (Window* w = FindByWidget(this)) {
        NMTVKEYDOWN nm;
        nm.wVKey = WORD(VirtualKey(e->key()));
        NotifyParent(*w, nm.hdr, TVN_KEYDOWN);
    }
    QTreeWidget::keyPressEvent(e);
}

class TreeClass : public WindowClass {
public:
    QWidget* CreateWidget(Window& w, QWidget* parent) override {
        const HWND h = w.handle;
        auto* t = new TreeWidget(parent);
        t->setHeaderHidden(true);
        t->setColumnCount(1);
        t->setRootIsDecorated((w.style & TVS_LINESATROOT) != 0);
        t->setSelectionMode(QAbstractItemView::SingleSelection);
        t->setFrameShape((w.style & WS_BORDER) || (w.exStyle & WS_EX_CLIENTEDGE) ? QFrame::StyledPanel : QFrame::NoFrame);
        QObject::connect(t, &QTreeWidget::currentItemChanged, t, [h, t](QTreeWidgetItem* now, QTreeWidgetItem*) {
            if (t->quiet || t->refusing) return;
            if (!ChangeSelection(h, t, now, TVC_BYMOUSE)) {
                t->refusing = true;
                t->setCurrentItem(t->current);
                t->refusing = false;
            }
        });
        QObject::connect(t, &QTreeWidget::itemChanged, t, [h, t](QTreeWidgetItem* item, int) {
            if (t->quiet) return;
            Window* self = Find(h);
            if (!self) return;
            NMTVITEMCHANGE nm;
            nm.hItem = H(item);
            nm.uStateNew = StateOf(t, item);
            nm.uStateOld = nm.uStateNew ^ INDEXTOSTATEIMAGEMASK(3u);
            nm.lParam = LPARAM(item->data(0, kDataRole).toLongLong());
            NotifyParent(*self, nm.hdr, TVN_ITEMCHANGEDW);
        });
        const auto expanded = [h, t](QTreeWidgetItem* item) {
            if (t->quiet) return;
            if (Window* self = Find(h)) {
                NMTREEVIEWW nm;
                nm.action = item->isExpanded() ? TVE_EXPAND : TVE_COLLAPSE;
                Fill(t, item, nm.itemNew);
                NotifyParent(*self, nm.hdr, TVN_ITEMEXPANDEDW);
            }
        };
        QObject::connect(t, &QTreeWidget::itemExpanded, t, expanded);
        QObject::connect(t, &QTreeWidget::itemCollapsed, t, expanded);
        QObject::connect(t, &QTreeWidget::itemClicked, t, [h, t](QTreeWidgetItem* item) {
            // A click on the item that focus made current without selecting it.
            if (!t->quiet && item == t->currentItem() && item != t->current && !ChangeSelection(h, t, item, TVC_BYMOUSE)) {
                Quiet q(t->quiet);
                t->setCurrentItem(t->current);
            }
            if (Window* self = Find(h)) {
                NMHDR nm;
                NotifyParent(*self, nm, NM_CLICK);
            }
        });
        QObject::connect(t, &QTreeWidget::itemDoubleClicked, t, [h] {
            if (Window* self = Find(h)) {
                NMHDR nm;
                NotifyParent(*self, nm, NM_DBLCLK);
            }
        });
        return t;
    }
    std::unique_ptr<CWnd> MakeObject() override { return std::make_unique<CTreeCtrl>(); }
    bool Proc(Window& w, UINT msg, WPARAM wp, LPARAM lp, LRESULT& r) override {
        auto* t = dynamic_cast<TreeWidget*>(w.widget.data());
        if (!t) return false;
        const HWND h = w.handle;
        const auto item = [&](LPARAM handle) -> QTreeWidgetItem* {
            QTreeWidgetItem* i = I(reinterpret_cast<HTREEITEM>(handle));
            return Contains(t, i) ? i : nullptr;
        };
        switch (msg) {
        case TVM_INSERTITEMW: {
            r = 0;
            auto* ins = reinterpret_cast<TVINSERTSTRUCTW*>(lp);
            if (!ins) return true;
            QTreeWidgetItem* parent = (!ins->hParent || ins->hParent == TVI_ROOT) ? t->invisibleRootItem()
                                                                                  : item(LPARAM(ins->hParent));
            if (!parent) return true;
            auto* made = new QTreeWidgetItem();
            if (w.style & TVS_CHECKBOXES) made->setCheckState(0, Qt::Unchecked);
            int at = parent->childCount();
            if (ins->hInsertAfter == TVI_FIRST) {
                at = 0;
            } else if (ins->hInsertAfter == TVI_SORT) {
                const QString text = ToQt(ins->item.pszText ? ins->item.pszText : L"");
                at = 0;
                while (at < parent->childCount() && QString::compare(parent->child(at)->text(0), text, Qt::CaseInsensitive) <= 0)
                    ++at;
            } else if (ins->hInsertAfter && ins->hInsertAfter != TVI_LAST) {
                const int after = parent->indexOfChild(I(ins->hInsertAfter));
                if (after >= 0) at = after + 1;
            }
            {
                Quiet q(t->quiet);
                parent->insertChild(at, made);
            }
            Apply(t, made, ins->item);
            r = reinterpret_cast<LRESULT>(H(made));
            return true;
        }
        case TVM_DELETEITEM: {
            QTreeWidgetItem* it = (lp == 0 || reinterpret_cast<HTREEITEM>(lp) == TVI_ROOT) ? t->invisibleRootItem() : item(lp);
            if (!it) {
                r = FALSE;
                return true;
            }
            const bool all = it == t->invisibleRootItem();
            if (all) {
                for (int i = it->childCount() - 1; i >= 0; --i) SendDeleted(w, t, it->child(i));
            } else {
                SendDeleted(w, t, it);
            }
            if (!Find(h)) return true;
            {
                Quiet q(t->quiet);
                if (all) t->clear();
                else delete it;
            }
            // A selection that went with the items is gone without a change notice, as it is told
            // through the deletion.
            if (!Contains(t, t->current)) t->current = nullptr;
            r = TRUE;
            return true;
        }
        case TVM_GETCOUNT: {
            int count = 0;
            std::function<void(QTreeWidgetItem*)> walk = [&](QTreeWidgetItem* p) {
                for (int i = 0; i < p->childCount(); ++i) {
                    ++count;
                    walk(p->child(i));
                }
            };
            walk(t->invisibleRootItem());
            r = count;
            return true;
        }
        case TVM_EXPAND: {
            QTreeWidgetItem* it = item(lp);
            r = it != nullptr;
            if (!it) return true;
            Quiet q(t->quiet);
            const UINT code = UINT(wp) & 0x3u;
            it->setExpanded(code == TVE_TOGGLE ? !it->isExpanded() : code == TVE_EXPAND);
            return true;
        }
        case TVM_GETNEXTITEM: {
            QTreeWidgetItem* it = item(lp);
            QTreeWidgetItem* out = nullptr;
            switch (UINT(wp)) {
            case TVGN_ROOT:
                out = t->topLevelItemCount() ? t->topLevelItem(0) : nullptr;
                break;
            case TVGN_CARET:
                out = t->current;
                break;
            case TVGN_FIRSTVISIBLE:
                out = t->itemAt(1, 1);
                break;
            case TVGN_CHILD:
                if (!lp || reinterpret_cast<HTREEITEM>(lp) == TVI_ROOT) out = t->topLevelItemCount() ? t->topLevelItem(0) : nullptr;
                else if (it) out = it->childCount() ? it->child(0) : nullptr;
                break;
            case TVGN_PARENT:
                out = it ? it->parent() : nullptr;
                break;
            case TVGN_NEXT:
            case TVGN_PREVIOUS:
                if (it) {
                    QTreeWidgetItem* parent = it->parent() ? it->parent() : t->invisibleRootItem();
                    const int at = parent->indexOfChild(it) + (UINT(wp) == TVGN_NEXT ? 1 : -1);
                    out = at >= 0 && at < parent->childCount() ? parent->child(at) : nullptr;
                }
                break;
            default:
                break;
            }
            r = reinterpret_cast<LRESULT>(H(out));
            return true;
        }
        case TVM_SELECTITEM: {
            QTreeWidgetItem* it = lp ? item(lp) : nullptr;
            if (lp && !it) {
                r = FALSE;
                return true;
            }
            if (!ChangeSelection(h, t, it, TVC_UNKNOWN)) {
                r = FALSE;
                return true;
            }
            if (!Find(h)) return true;
            Quiet q(t->quiet);
            t->setCurrentItem(it);
            if (!it) t->clearSelection();
            r = TRUE;
            return true;
        }
        case TVM_ENSUREVISIBLE: {
            QTreeWidgetItem* it = item(lp);
            if (it) {
                Quiet q(t->quiet);
                for (QTreeWidgetItem* p = it->parent(); p; p = p->parent()) p->setExpanded(true);
                t->scrollToItem(it);
            }
            r = it != nullptr;
            return true;
        }
        case TVM_GETITEMW:
        case TVM_SETITEMW: {
            auto* tv = reinterpret_cast<TVITEMW*>(lp);
            QTreeWidgetItem* it = tv ? item(LPARAM(tv->hItem)) : nullptr;
            r = it != nullptr;
            if (!it) return true;
            if (msg == TVM_SETITEMW) {
                Apply(t, it, *tv);
                return true;
            }
            const UINT mask = tv->mask;
            LPWSTR buffer = tv->pszText;
            const int max = tv->cchTextMax;
            Fill(t, it, *tv);
            tv->mask = mask;
            tv->pszText = buffer;
            if ((mask & TVIF_TEXT) && buffer && max > 0) {
                const std::wstring text = FromQt(it->text(0));
                const std::size_t n = std::min<std::size_t>(text.size(), std::size_t(max - 1));
                text.copy(buffer, n);
                buffer[n] = L'\0';
            }
            return true;
        }
        case TVM_SETIMAGELIST: {
            r = reinterpret_cast<LRESULT>(t->images);
            if (wp != TVSIL_NORMAL) return true;
            t->images = reinterpret_cast<HIMAGELIST>(lp);
            int cx = 16, cy = 16;
            if (t->images && ImageList_GetIconSize(t->images, &cx, &cy)) t->setIconSize(QSize(cx, cy));
            std::function<void(QTreeWidgetItem*)> walk = [&](QTreeWidgetItem* p) {
                for (int i = 0; i < p->childCount(); ++i) {
                    ShowImage(t, p->child(i));
                    walk(p->child(i));
                }
            };
            Quiet q(t->quiet);
            walk(t->invisibleRootItem());
            return true;
        }
        case TVM_SORTCHILDREN: {
            QTreeWidgetItem* it = lp ? item(lp) : t->invisibleRootItem();
            r = it != nullptr;
            if (it) {
                Quiet q(t->quiet);
                it->sortChildren(0, Qt::AscendingOrder);
            }
            return true;
        }
        case TVM_QV_SETITEMCOLOR: {
            QTreeWidgetItem* it = item(lp);
            r = it != nullptr;
            if (!it) return true;
            Quiet q(t->quiet);
            const auto color = COLORREF(wp);
            if (color == CLR_DEFAULT) {
                it->setData(0, Qt::ForegroundRole, QVariant());
                it->setData(0, kColorRole, QVariant());
            } else {
                it->setForeground(0, QBrush(ToQColor(color)));
                it->setData(0, kColorRole, qulonglong(color));
            }
            return true;
        }
        case TVM_QV_GETITEMCOLOR: {
            QTreeWidgetItem* it = item(lp);
            r = it && it->data(0, kColorRole).isValid() ? LRESULT(it->data(0, kColorRole).toULongLong()) : LRESULT(CLR_DEFAULT);
            return true;
        }
        default:
            return false;
        }
    }
};

std::unique_ptr<WindowClass> MakeTree() { return std::make_unique<TreeClass>(); }

}  // namespace

void RegisterTreeViewClass() { RegisterWindowClass(WC_TREEVIEWW, &MakeTree); }

}  // namespace qv::ui::detail

// ---- CTreeCtrl

BOOL CTreeCtrl::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
    return CWnd::Create(WC_TREEVIEWW, nullptr, style | WS_CHILD, rect, parent, id);
}

HTREEITEM CTreeCtrl::InsertItem(LPTVINSERTSTRUCT insert) {
    return reinterpret_cast<HTREEITEM>(SendMessage(TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(insert)));
}

HTREEITEM CTreeCtrl::InsertItem(UINT mask, LPCWSTR text, int image, int selectedImage, UINT state, UINT stateMask,
                                LPARAM lParam, HTREEITEM parent, HTREEITEM after) {
    TVINSERTSTRUCTW ins;
    ins.hParent = parent;
    ins.hInsertAfter = after;
    ins.item.mask = mask;
    ins.item.pszText = const_cast<LPWSTR>(text);
    ins.item.iImage = image;
    ins.item.iSelectedImage = selectedImage;
    ins.item.state = state;
    ins.item.stateMask = stateMask;
    ins.item.lParam = lParam;
    return InsertItem(&ins);
}

HTREEITEM CTreeCtrl::InsertItem(LPCWSTR text, HTREEITEM parent, HTREEITEM after) {
    return InsertItem(TVIF_TEXT, text, 0, 0, 0, 0, 0, parent, after);
}

HTREEITEM CTreeCtrl::InsertItem(LPCWSTR text, int image, int selectedImage, HTREEITEM parent, HTREEITEM after) {
    return InsertItem(TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE, text, image, selectedImage, 0, 0, 0, parent, after);
}

BOOL CTreeCtrl::DeleteItem(HTREEITEM item) { return BOOL(SendMessage(TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(item))); }
BOOL CTreeCtrl::DeleteAllItems() { return DeleteItem(TVI_ROOT); }
UINT CTreeCtrl::GetCount() const { return UINT(SendMessage(TVM_GETCOUNT)); }

HTREEITEM CTreeCtrl::GetNextItem(HTREEITEM item, UINT code) const {
    return reinterpret_cast<HTREEITEM>(SendMessage(TVM_GETNEXTITEM, code, reinterpret_cast<LPARAM>(item)));
}

BOOL CTreeCtrl::SelectItem(HTREEITEM item) { return BOOL(SendMessage(TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item))); }
BOOL CTreeCtrl::Expand(HTREEITEM item, UINT code) { return BOOL(SendMessage(TVM_EXPAND, code, reinterpret_cast<LPARAM>(item))); }
BOOL CTreeCtrl::EnsureVisible(HTREEITEM item) { return BOOL(SendMessage(TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(item))); }
BOOL CTreeCtrl::GetItem(TVITEM* item) const { return BOOL(SendMessage(TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(item))); }
BOOL CTreeCtrl::SetItem(TVITEM* item) { return BOOL(SendMessage(TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(item))); }

CString CTreeCtrl::GetItemText(HTREEITEM item) const {
    wchar_t buffer[1024] = {};
    TVITEMW tv;
    tv.mask = TVIF_TEXT;
    tv.hItem = item;
    tv.pszText = buffer;
    tv.cchTextMax = 1024;
    return GetItem(&tv) ? CString(buffer) : CString();
}

BOOL CTreeCtrl::SetItemText(HTREEITEM item, LPCWSTR text) {
    TVITEMW tv;
    tv.mask = TVIF_TEXT;
    tv.hItem = item;
    tv.pszText = const_cast<LPWSTR>(text);
    return SetItem(&tv);
}

DWORD_PTR CTreeCtrl::GetItemData(HTREEITEM item) const {
    TVITEMW tv;
    tv.mask = TVIF_PARAM;
    tv.hItem = item;
    return GetItem(&tv) ? DWORD_PTR(tv.lParam) : 0;
}

BOOL CTreeCtrl::SetItemData(HTREEITEM item, DWORD_PTR data) {
    TVITEMW tv;
    tv.mask = TVIF_PARAM;
    tv.hItem = item;
    tv.lParam = LPARAM(data);
    return SetItem(&tv);
}

BOOL CTreeCtrl::GetItemImage(HTREEITEM item, int& image, int& selectedImage) const {
    TVITEMW tv;
    tv.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    tv.hItem = item;
    if (!GetItem(&tv)) return FALSE;
    image = tv.iImage;
    selectedImage = tv.iSelectedImage;
    return TRUE;
}

BOOL CTreeCtrl::SetItemImage(HTREEITEM item, int image, int selectedImage) {
    TVITEMW tv;
    tv.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    tv.hItem = item;
    tv.iImage = image;
    tv.iSelectedImage = selectedImage;
    return SetItem(&tv);
}

UINT CTreeCtrl::GetItemState(HTREEITEM item, UINT stateMask) const {
    TVITEMW tv;
    tv.mask = TVIF_STATE;
    tv.hItem = item;
    tv.stateMask = stateMask;
    return GetItem(&tv) ? (tv.state & stateMask) : 0;
}

BOOL CTreeCtrl::SetItemState(HTREEITEM item, UINT state, UINT stateMask) {
    TVITEMW tv;
    tv.mask = TVIF_STATE;
    tv.hItem = item;
    tv.state = state;
    tv.stateMask = stateMask;
    return SetItem(&tv);
}

BOOL CTreeCtrl::GetCheck(HTREEITEM item) const { return (GetItemState(item, TVIS_STATEIMAGEMASK) >> 12) == 2; }

BOOL CTreeCtrl::SetCheck(HTREEITEM item, BOOL check) {
    return SetItemState(item, INDEXTOSTATEIMAGEMASK(check ? 2u : 1u), TVIS_STATEIMAGEMASK);
}

CImageList* CTreeCtrl::SetImageList(CImageList* list, int kind) {
    return CImageList::FromHandle(reinterpret_cast<HIMAGELIST>(
        SendMessage(TVM_SETIMAGELIST, WPARAM(kind), reinterpret_cast<LPARAM>(list ? list->m_hImageList : nullptr))));
}

// ---- CTreeCtrlEx

CTreeCtrlEx::~CTreeCtrlEx() { m_looks.clear(); }

BOOL CTreeCtrlEx::DeleteAllItems() {
    m_looks.clear();
    return CTreeCtrl::DeleteAllItems();
}

void CTreeCtrlEx::SetItemColor(HTREEITEM item, COLORREF color) {
    Look& look = m_looks[item];
    if (!look.ownFont) {
        if (CFont* font = GetFont()) font->GetLogFont(&look.font);
    }
    look.color = color;
    SendMessage(TVM_QV_SETITEMCOLOR, WPARAM(color), reinterpret_cast<LPARAM>(item));
}

COLORREF CTreeCtrlEx::GetItemColor(HTREEITEM item) const {
    return COLORREF(SendMessage(TVM_QV_GETITEMCOLOR, 0, reinterpret_cast<LPARAM>(item)));
}
