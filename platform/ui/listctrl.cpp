// The report list on a Qt tree view: items and columns live in a table model of ours, the view
// shows them; selection and focus changes made by the user become LVN_ITEMCHANGED notifications
// with the old and the new state, after the input event was handled.
#include "listctrl.h"
#include "uiimpl_p.h"
#include "heaptrim.h"
#include <QAbstractTableModel>
#include <QApplication>
#include <QHeaderView>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QToolTip>
#include <QTreeView>
#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <numeric>
#include <optional>

using namespace qv::ui::detail;

// ---- image lists

namespace {

struct ImageListData {
    int cx = 16;
    int cy = 16;
    bool masked = false;
    std::vector<QImage> images;
    std::unique_ptr<CImageList> wrapper;
};

std::mutex g_listsLock;
std::map<HIMAGELIST, std::unique_ptr<ImageListData>> g_lists;
std::uintptr_t g_nextList = 0x60000;

ImageListData* ListData(HIMAGELIST h) {
    std::lock_guard g(g_listsLock);
    auto it = g_lists.find(h);
    return it == g_lists.end() ? nullptr : it->second.get();
}

}  // namespace

HIMAGELIST ImageList_Create(int cx, int cy, UINT flags, int, int) {
    if (cx <= 0 || cy <= 0) return nullptr;
    auto d = std::make_unique<ImageListData>();
    d->cx = cx;
    d->cy = cy;
    d->masked = flags & ILC_MASK;
    std::lock_guard g(g_listsLock);
    g_nextList += 4;
    const auto h = reinterpret_cast<HIMAGELIST>(g_nextList);
    g_lists[h] = std::move(d);
    return h;
}

BOOL ImageList_Destroy(HIMAGELIST list) {
    std::unique_ptr<ImageListData> gone;
    {
        std::lock_guard g(g_listsLock);
        auto it = g_lists.find(list);
        if (it == g_lists.end()) return FALSE;
        gone = std::move(it->second);
        g_lists.erase(it);
    }
    if (gone->wrapper) gone->wrapper->m_hImageList = nullptr;
    return TRUE;
}

int ImageList_GetImageCount(HIMAGELIST list) {
    ImageListData* d = ListData(list);
    return d ? int(d->images.size()) : 0;
}

BOOL ImageList_GetIconSize(HIMAGELIST list, int* cx, int* cy) {
    ImageListData* d = ListData(list);
    if (!d) return FALSE;
    if (cx) *cx = d->cx;
    if (cy) *cy = d->cy;
    return TRUE;
}

int ImageList_AddMasked(HIMAGELIST list, HBITMAP bitmap, COLORREF mask) {
    ImageListData* d = ListData(list);
    QImage* strip = BitmapImage(bitmap);
    if (!d || !strip || strip->isNull()) return -1;
    const int first = int(d->images.size());
    const QRgb key = qRgb(GetRValue(mask), GetGValue(mask), GetBValue(mask)) & 0xFFFFFF;
    for (int x = 0; x + d->cx <= strip->width(); x += d->cx) {
        QImage one = strip->copy(x, 0, d->cx, std::min(d->cy, strip->height())).convertToFormat(QImage::Format_ARGB32);
        if (mask != CLR_NONE) {
            for (int yy = 0; yy < one.height(); ++yy)
                for (int xx = 0; xx < one.width(); ++xx)
                    if ((one.pixel(xx, yy) & 0xFFFFFF) == key) one.setPixel(xx, yy, 0);
        }
        d->images.push_back(one);
    }
    return first;
}

BOOL ImageList_Draw(HIMAGELIST list, int index, HDC dc, int x, int y, UINT) {
    ImageListData* d = ListData(list);
    QPainter* p = PainterOf(dc);
    if (!d || !p || index < 0 || index >= int(d->images.size())) return FALSE;
    p->drawImage(QPoint(x, y), d->images[std::size_t(index)]);
    return TRUE;
}

namespace qv::ui::detail {
QPixmap ImageListPixmap(HIMAGELIST list, int index) {
    ImageListData* d = ListData(list);
    if (!d || index < 0 || index >= int(d->images.size())) return QPixmap();
    return QPixmap::fromImage(d->images[std::size_t(index)]);
}
}  // namespace qv::ui::detail

CImageList::~CImageList() { DeleteImageList(); }

BOOL CImageList::Create(int cx, int cy, UINT flags, int initial, int grow) {
    if (m_hImageList) return FALSE;
    m_hImageList = ImageList_Create(cx, cy, flags, initial, grow);
    return m_hImageList != nullptr;
}

BOOL CImageList::Create(UINT bitmapId, int cx, int grow, COLORREF mask) {
    CBitmap bitmap;
    if (!bitmap.LoadBitmap(bitmapId)) return FALSE;
    BITMAP bm;
    bitmap.GetBitmap(&bm);
    if (!Create(cx, bm.bmHeight, ILC_COLOR32 | ILC_MASK, 0, grow)) return FALSE;
    return Add(&bitmap, mask) >= 0;
}

int CImageList::Add(CBitmap* bitmap, COLORREF mask) {
    return bitmap ? ImageList_AddMasked(m_hImageList, *bitmap, mask) : -1;
}

int CImageList::GetImageCount() const { return ImageList_GetImageCount(m_hImageList); }

BOOL CImageList::Draw(CDC* dc, int image, POINT pt, UINT style) {
    return dc ? ImageList_Draw(m_hImageList, image, dc->m_hDC, pt.x, pt.y, style) : FALSE;
}

BOOL CImageList::DeleteImageList() {
    if (!m_hImageList) return FALSE;
    const HIMAGELIST h = m_hImageList;
    m_hImageList = nullptr;
    return ImageList_Destroy(h);
}

BOOL CImageList::Attach(HIMAGELIST list) {
    if (m_hImageList || !list) return FALSE;
    m_hImageList = list;
    return TRUE;
}

HIMAGELIST CImageList::Detach() {
    const HIMAGELIST h = m_hImageList;
    m_hImageList = nullptr;
    return h;
}

CImageList* CImageList::FromHandle(HIMAGELIST list) {
    ImageListData* d = ListData(list);
    if (!d) return nullptr;
    std::lock_guard g(g_listsLock);
    if (!d->wrapper) {
        d->wrapper = std::make_unique<CImageList>();
        d->wrapper->m_hImageList = list;
    }
    return d->wrapper.get();
}

// ---- the list view

namespace qv::ui::detail {
namespace {

// The texts of an item's cells, held apart: the rows of a long list have their texts from the
// owner's provider, and each costs only what it holds besides them.
class LvTexts {
public:
    LvTexts() = default;
    LvTexts(const LvTexts& o) : v_(o.v_ ? std::make_unique<std::vector<std::wstring>>(*o.v_) : nullptr) {}
    LvTexts(LvTexts&&) noexcept = default;
    LvTexts& operator=(const LvTexts& o) {
        if (this != &o) v_ = o.v_ ? std::make_unique<std::vector<std::wstring>>(*o.v_) : nullptr;
        return *this;
    }
    LvTexts& operator=(LvTexts&&) noexcept = default;
    std::size_t size() const { return v_ ? v_->size() : 0; }
    std::wstring& operator[](std::size_t at) { return (*v_)[at]; }
    const std::wstring& operator[](std::size_t at) const { return (*v_)[at]; }
    void resize(std::size_t n) {
        if (!v_) v_ = std::make_unique<std::vector<std::wstring>>();
        v_->resize(n);
    }
    // A column inserted or removed at `at` (nothing beyond the texts held).
    void InsertAt(std::size_t at) {
        if (v_ && at < v_->size()) v_->insert(v_->begin() + std::ptrdiff_t(at), std::wstring());
    }
    void EraseAt(std::size_t at) {
        if (v_ && at < v_->size()) v_->erase(v_->begin() + std::ptrdiff_t(at));
    }

private:
    std::unique_ptr<std::vector<std::wstring>> v_;
};

struct LvItem {
    LvTexts texts;
    int image = -1;
    UINT state = 0;
    LPARAM lParam = 0;
    int indent = 0;
    bool provided = false;  // the texts come from the owner's provider
};

struct LvColumn {
    std::wstring text;
    int fmt = LVCFMT_LEFT;
    int width = 50;
    int image = -1;
    int tipMode = LVQV_TIP_DEFAULT;
};

struct CellLook {
    COLORREF text = CLR_DEFAULT;
    COLORREF bk = CLR_DEFAULT;
    HFONT font = nullptr;
};

class LvModel : public QAbstractTableModel {
public:
    explicit LvModel(HWND h) : h_(h) {}
    ~LvModel() override {
        // The rows of a long list leave free pages in the heap, which go back to the system by
        // a thread of their own while the GUI thread answers.
        if (items.size() < 2000) return;
        std::vector<LvItem>().swap(items);
        QvReleaseFreeHeapSoon();
    }
    using QAbstractTableModel::beginInsertColumns;
    using QAbstractTableModel::beginInsertRows;
    using QAbstractTableModel::beginRemoveColumns;
    using QAbstractTableModel::beginRemoveRows;
    using QAbstractTableModel::endInsertColumns;
    using QAbstractTableModel::endInsertRows;
    using QAbstractTableModel::endRemoveColumns;
    using QAbstractTableModel::endRemoveRows;
    std::vector<LvColumn> cols;
    std::vector<LvItem> items;
    HIMAGELIST small = nullptr;
    HIMAGELIST stateList = nullptr;
    DWORD exStyle = 0;
    COLORREF textColor = CLR_DEFAULT;
    COLORREF textBk = CLR_DEFAULT;
    mutable std::map<std::pair<int, int>, CellLook> looks;  // this paint's answers
    struct RowLook {
        CellLook look;
        LRESULT answer = 0;
    };
    mutable std::map<int, RowLook> rowLooks;
    mutable std::optional<LRESULT> prepaint;
    LVQVTEXTPROVIDER provider = nullptr;
    void* providerContext = nullptr;

    std::wstring TextOf(const LvItem& it, int col) const {
        if (it.provided && provider) return provider(providerContext, it.lParam, col);
        return col >= 0 && std::size_t(col) < it.texts.size() ? it.texts[std::size_t(col)] : std::wstring();
    }

    int rowCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : int(items.size()); }
    int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : int(cols.size()); }

    void Reset(const std::function<void()>& change) {
        beginResetModel();
        change();
        ForgetLooks();
        endResetModel();
    }
    void CellsChanged(int row, int col = -1) {
        ForgetLooks();
        if (row < 0 || row >= int(items.size()) || cols.empty()) return;
        const int c0 = col < 0 ? 0 : col;
        const int c1 = col < 0 ? int(cols.size()) - 1 : col;
        emit dataChanged(index(row, c0), index(row, c1));
    }

    // The parent (or the list itself, by reflection) may colour rows and cells, asked as the
    // system asks: once before painting, then for each row if it wants, then for each cell of the
    // rows it wants. The answers hold until the list changes or is redrawn.
    CellLook Look(int row, int col) const {
        auto key = std::make_pair(row, col);
        auto it = looks.find(key);
        if (it != looks.end()) return it->second;
        CellLook look;
        Window* w = Find(h_);
        if (w && row < int(items.size())) {
            if (!prepaint) {
                NMLVCUSTOMDRAW cd;
                cd.nmcd.dwDrawStage = CDDS_PREPAINT;
                prepaint = Ask(*w, cd, nullptr);
            }
            if ((*prepaint & CDRF_NOTIFYITEMDRAW) && (w = Find(h_))) {
                auto rit = rowLooks.find(row);
                if (rit == rowLooks.end()) {
                    NMLVCUSTOMDRAW cd;
                    cd.nmcd.dwDrawStage = CDDS_ITEMPREPAINT;
                    Prepare(cd, row, 0);
                    RowLook r;
                    r.answer = Ask(*w, cd, &r.look.font);
                    r.look.text = cd.clrText;
                    r.look.bk = cd.clrTextBk;
                    rit = rowLooks.emplace(row, r).first;
                }
                look = rit->second.look;
                if ((rit->second.answer & CDRF_NOTIFYSUBITEMDRAW) && (w = Find(h_))) {
                    NMLVCUSTOMDRAW cd;
                    cd.nmcd.dwDrawStage = CDDS_ITEMPREPAINT | CDDS_SUBITEM;
                    Prepare(cd, row, col);
                    cd.clrText = look.text;
                    cd.clrTextBk = look.bk;
                    HFONT font = nullptr;
                    Ask(*w, cd, &font);
                    look.text = cd.clrText;
                    look.bk = cd.clrTextBk;
                    if (font) look.font = font;
                }
            }
        }
        looks[key] = look;
        return look;
    }
    void Prepare(NMLVCUSTOMDRAW& cd, int row, int col) const {
        cd.nmcd.dwItemSpec = DWORD_PTR(row);
        cd.nmcd.lItemlParam = items[std::size_t(row)].lParam;
        cd.nmcd.uItemState = (items[std::size_t(row)].state & LVIS_SELECTED) ? 0x0001u : 0u;
        cd.iSubItem = col;
    }
    // Sends one stage; a font the owner selected with CDRF_NEWFONT comes back in 'font'.
    LRESULT Ask(Window& w, NMLVCUSTOMDRAW& cd, HFONT* font) const {
        cd.nmcd.hdc = CreateDcOnPainter(nullptr, h_);
        const LRESULT r = NotifyParent(w, cd.nmcd.hdr, NM_CUSTOMDRAW);
        if (font && (r & CDRF_NEWFONT)) *font = SelectedFont(cd.nmcd.hdc);
        DeleteDcOnPainter(cd.nmcd.hdc);
        return r;
    }
    void ForgetLooks() const {
        looks.clear();
        rowLooks.clear();
        prepaint.reset();
    }

    QVariant data(const QModelIndex& idx, int role) const override {
        if (!idx.isValid() || idx.row() >= int(items.size()) || idx.column() >= int(cols.size())) return {};
        const LvItem& it = items[std::size_t(idx.row())];
        const int col = idx.column();
        switch (role) {
        case Qt::DisplayRole:
            return ToQt(TextOf(it, col));
        case Qt::DecorationRole:
            if (col == 0 && small && it.image >= 0) return ImageListPixmap(small, it.image);
            return {};
        case Qt::CheckStateRole:
            if (col == 0 && (exStyle & LVS_EX_CHECKBOXES))
                return ((it.state & LVIS_STATEIMAGEMASK) >> 12) == 2 ? Qt::Checked : Qt::Unchecked;
            return {};
        case Qt::TextAlignmentRole: {
            const int fmt = cols[std::size_t(col)].fmt & LVCFMT_JUSTIFYMASK;
            return int((fmt == LVCFMT_RIGHT ? Qt::AlignRight : fmt == LVCFMT_CENTER ? Qt::AlignHCenter : Qt::AlignLeft) |
                       Qt::AlignVCenter);
        }
        case Qt::ForegroundRole: {
            const CellLook l = Look(idx.row(), col);
            const COLORREF c = l.text != CLR_DEFAULT ? l.text : textColor;
            return c != CLR_DEFAULT ? QVariant(ToQColor(c)) : QVariant();
        }
        case Qt::BackgroundRole: {
            const CellLook l = Look(idx.row(), col);
            const COLORREF c = l.bk != CLR_DEFAULT ? l.bk : textBk;
            return c != CLR_DEFAULT && c != CLR_NONE ? QVariant(ToQColor(c)) : QVariant();
        }
        case Qt::FontRole: {
            const CellLook l = Look(idx.row(), col);
            return l.font ? QVariant(FontOf(l.font)) : QVariant();
        }
        default:
            return {};
        }
    }
    QVariant headerData(int section, Qt::Orientation o, int role) const override {
        if (o != Qt::Horizontal || section < 0 || section >= int(cols.size())) return {};
        if (role == Qt::DisplayRole) return ToQt(cols[std::size_t(section)].text);
        if (role == Qt::TextAlignmentRole) {
            const int fmt = cols[std::size_t(section)].fmt & LVCFMT_JUSTIFYMASK;
            return int((fmt == LVCFMT_RIGHT ? Qt::AlignRight : fmt == LVCFMT_CENTER ? Qt::AlignHCenter : Qt::AlignLeft) |
                       Qt::AlignVCenter);
        }
        return {};
    }
    Qt::ItemFlags flags(const QModelIndex& idx) const override {
        Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        if (idx.column() == 0 && (exStyle & LVS_EX_CHECKBOXES)) f |= Qt::ItemIsUserCheckable;
        return f;
    }
    bool setData(const QModelIndex& idx, const QVariant& value, int role) override;

private:
    HWND h_;
};

class LvView : public QTreeView {
public:
    explicit LvView(QWidget* parent) : QTreeView(parent) {}
    LvModel* model_ = nullptr;
    int quiet = 0;
    bool gridLines = false;
    QLabel* status = nullptr;
    int statusHeight = 0;

    void SetStatusLine(bool shown, const QString& text) {
        if (!status) {
            status = new QLabel(this);
            status->setAutoFillBackground(true);
            status->setIndent(4);
            QPalette pal = status->palette();
            pal.setColor(QPalette::Window, ToQColor(GetSysColor(COLOR_BTNFACE)));
            status->setPalette(pal);
        }
        status->setText(text);
        status->setVisible(shown);
        statusHeight = shown ? status->sizeHint().height() + 2 : 0;
        KeepStatusStrip();
    }
    // The line takes a strip of the viewport's margins below the rows, above the horizontal scroll
    // bar. The tree sets the margins anew for its header whenever it lays out its geometry; the
    // strip is put back then (the rows are not laid out again for it).
    void KeepStatusStrip() {
        const QMargins m = viewportMargins();
        if (m.bottom() != statusHeight) setViewportMargins(m.left(), m.top(), m.right(), statusHeight);
        PlaceStatus();
    }
    void PlaceStatus() {
        if (!status || !status->isVisibleTo(this)) return;
        const QRect rows = viewport()->geometry();
        status->setGeometry(rows.left(), rows.bottom() + 1, rows.width(), statusHeight);
    }

    // The selection and focus the user made become item states, with notifications.
    void Sync();

protected:
    void mousePressEvent(QMouseEvent* e) override {
        // A click beside the rows takes the selection away, as on the desktop; the focus stays.
        if (!indexAt(e->position().toPoint()).isValid() && !(e->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier)))
            selectionModel()->clearSelection();
        QTreeView::mousePressEvent(e);
        Sync();
    }
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override {
        QTreeView::mouseMoveEvent(e);
        if (e->buttons()) Sync();
    }
    void keyPressEvent(QKeyEvent* e) override;
    bool viewportEvent(QEvent* e) override {
        if (e->type() == QEvent::ToolTip) {
            ShowCellTip(static_cast<QHelpEvent*>(e));
            return true;
        }
        return QTreeView::viewportEvent(e);
    }
    // A cell shows its text as a tool tip as its column says: always, or only when it is cut.
    void ShowCellTip(QHelpEvent* e) {
        const QModelIndex idx = indexAt(e->pos());
        int mode = LVQV_TIP_NONE;
        if (model_ && idx.isValid() && std::size_t(idx.column()) < model_->cols.size()) {
            mode = model_->cols[std::size_t(idx.column())].tipMode;
            if (mode == LVQV_TIP_DEFAULT)
                mode = (idx.column() == 0 && (model_->exStyle & LVS_EX_LABELTIP)) ? LVQV_TIP_TRUNCATED : LVQV_TIP_NONE;
        }
        const QString text = idx.isValid() ? idx.data(Qt::DisplayRole).toString() : QString();
        bool show = !text.isEmpty() && mode != LVQV_TIP_NONE;
        if (show && mode == LVQV_TIP_TRUNCATED) {
            const QVariant cellFont = idx.data(Qt::FontRole);
            const QFontMetrics fm(cellFont.isValid() ? cellFont.value<QFont>() : font());
            int room = visualRect(idx).width() - 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1);
            if (idx.data(Qt::DecorationRole).isValid()) room -= iconSize().width() + 4;
            if (idx.data(Qt::CheckStateRole).isValid()) room -= style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, this) + 4;
            show = fm.horizontalAdvance(text) > room;
        }
        if (show) QToolTip::showText(e->globalPos(), text, viewport(), visualRect(idx));
        else QToolTip::hideText();
    }
    void paintEvent(QPaintEvent* e) override {
        if (model_) model_->ForgetLooks();
        QTreeView::paintEvent(e);
    }
    void resizeEvent(QResizeEvent* e) override {
        QTreeView::resizeEvent(e);
        PlaceStatus();
    }
    void updateGeometries() override {
        QTreeView::updateGeometries();
        if (statusHeight > 0) KeepStatusStrip();
    }
    void drawRow(QPainter* p, const QStyleOptionViewItem& opt, const QModelIndex& idx) const override {
        QTreeView::drawRow(p, opt, idx);
        if (!gridLines) return;
        p->save();
        p->setPen(QColor(0xF0, 0xF0, 0xF0).darker(110));
        p->drawLine(opt.rect.bottomLeft(), opt.rect.bottomRight());
        for (int c = 0; c < header()->count(); ++c) {
            const int x = columnViewportPosition(c) + columnWidth(c) - 1;
            p->drawLine(x, opt.rect.top(), x, opt.rect.bottom());
        }
        p->restore();
    }
};

void SendItemChanged(HWND h, int row, UINT oldState, UINT newState, UINT changed, LPARAM lParam) {
    Window* w = Find(h);
    if (!w) return;
    NMLISTVIEW nm;
    nm.iItem = row;
    nm.iSubItem = 0;
    nm.uOldState = oldState;
    nm.uNewState = newState;
    nm.uChanged = changed;
    nm.lParam = lParam;
    NotifyParent(*w, nm.hdr, LVN_ITEMCHANGED);
}

LvView* ViewOf(Window& w) { return dynamic_cast<LvView*>(w.widget.data()); }

// Puts the model's states into the view's selection without telling anyone.
void ShowStates(LvView* v);

// The rows in a new order (row i is the old row order[i]); states, and so the selection and the
// focus, go with their rows.
void Reorder(LvView* v, const std::vector<int>& order) {
    LvModel* m = v->model_;
    emit m->layoutAboutToBeChanged();
    // Row i of the new order is row order[i] of the old one. The rows move in place, along the
    // cycles of the order, so that a long list is not held twice while it is put in order.
    std::vector<bool> placed(order.size(), false);
    for (std::size_t start = 0; start < order.size(); ++start) {
        if (placed[start]) continue;
        LvItem first = std::move(m->items[start]);
        std::size_t at = start;
        for (;;) {
            placed[at] = true;
            const std::size_t from = std::size_t(order[at]);
            if (from == start) {
                m->items[at] = std::move(first);
                break;
            }
            m->items[at] = std::move(m->items[from]);
            at = from;
        }
    }
    m->ForgetLooks();
    emit m->layoutChanged();
    ShowStates(v);
}

void ShowStates(LvView* v) {
    if (!v || !v->model_) return;
    ++v->quiet;
    QItemSelectionModel* sm = v->selectionModel();
    QItemSelection sel;
    int focus = -1;
    const int cols = std::max(1, int(v->model_->cols.size()));
    for (int r = 0; r < int(v->model_->items.size()); ++r) {
        const UINT st = v->model_->items[std::size_t(r)].state;
        if (st & LVIS_SELECTED) sel.select(v->model_->index(r, 0), v->model_->index(r, cols - 1));
        if (st & LVIS_FOCUSED) focus = r;
    }
    sm->select(sel, QItemSelectionModel::ClearAndSelect);
    if (focus >= 0) sm->setCurrentIndex(v->model_->index(focus, 0), QItemSelectionModel::NoUpdate);
    else sm->clearCurrentIndex();
    --v->quiet;
}

void LvView::Sync() {
    if (!model_ || quiet) return;
    Window* w = FindByWidget(this);
    if (!w) return;
    const HWND h = w->handle;
    const int cur = currentIndex().isValid() ? currentIndex().row() : -1;
    struct Change {
        int row;
        UINT oldState;
        UINT newState;
        LPARAM lParam;
    };
    std::vector<Change> losing, gaining;
    for (int r = 0; r < int(model_->items.size()); ++r) {
        LvItem& it = model_->items[std::size_t(r)];
        const UINT want = (selectionModel()->isRowSelected(r, QModelIndex()) ? LVIS_SELECTED : 0u) |
                          (r == cur ? LVIS_FOCUSED : 0u);
        const UINT have = it.state & (LVIS_SELECTED | LVIS_FOCUSED);
        if (want == have) continue;
        const UINT old = it.state;
        it.state = (it.state & ~(LVIS_SELECTED | LVIS_FOCUSED)) | want;
        const Change c{r, old, it.state, it.lParam};
        // Rows that lose their selection are told first, as the list control does.
        if ((have & LVIS_SELECTED) && !(want & LVIS_SELECTED)) losing.push_back(c);
        else if (!(have & LVIS_SELECTED) && (want & LVIS_SELECTED)) gaining.push_back(c);
        else (have & ~want) ? losing.push_back(c) : gaining.push_back(c);
    }
    if (losing.empty() && gaining.empty()) return;
    model_->ForgetLooks();
    viewport()->update();
    for (const Change& c : losing) SendItemChanged(h, c.row, c.oldState, c.newState, LVIF_STATE, c.lParam);
    for (const Change& c : gaining) SendItemChanged(h, c.row, c.oldState, c.newState, LVIF_STATE, c.lParam);
}

void SendActivate(HWND h, UINT code, QTreeView* v, const QPoint& pos, Qt::KeyboardModifiers mods) {
    Window* w = Find(h);
    if (!w) return;
    const QModelIndex idx = v->indexAt(pos);
    NMITEMACTIVATE nm;
    nm.iItem = idx.isValid() ? idx.row() : -1;
    nm.iSubItem = idx.isValid() ? idx.column() : 0;
    const QPoint client = v->viewport()->mapTo(w->widget, pos);
    nm.ptAction = POINT{client.x(), client.y()};
    nm.uKeyFlags = ((mods & Qt::ShiftModifier) ? 0x1u : 0u) | ((mods & Qt::ControlModifier) ? 0x2u : 0u) |
                   ((mods & Qt::AltModifier) ? 0x4u : 0u);
    NotifyParent(*w, nm.hdr, code);
}

void LvView::mouseReleaseEvent(QMouseEvent* e) {
    QTreeView::mouseReleaseEvent(e);
    Sync();
    if (Window* w = FindByWidget(this))
        SendActivate(w->handle, e->button() == Qt::RightButton ? NM_RCLICK : NM_CLICK, this, e->position().toPoint(),
                     e->modifiers());
}

void LvView::mouseDoubleClickEvent(QMouseEvent* e) {
    QTreeView::mouseDoubleClickEvent(e);
    Sync();
    if (Window* w = FindByWidget(this))
        SendActivate(w->handle, e->button() == Qt::RightButton ? NM_RDBLCLK : NM_DBLCLK, this, e->position().toPoint(),
                     e->modifiers());
}

void LvView::keyPressEvent(QKeyEvent* e) {
    Window* w = FindByWidget(this);
    const HWND h = w ? w->handle : nullptr;
    if (w) {
        NMLVKEYDOWN nm;
        nm.wVKey = WORD(VirtualKey(e->key()));
        NotifyParent(*w, nm.hdr, LVN_KEYDOWN);
    }
    if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && h) {
        if (Window* self = Find(h)) {
            NMHDR nm;
            NotifyParent(*self, nm, NM_RETURN);
        }
        return;
    }
    // Space ticks or clears the focused row's box whatever cell of the row was clicked, told to the
    // owner as a click on the box is (the view itself toggles only from the box's own column).
    if (e->key() == Qt::Key_Space && !(e->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) && model_ &&
        (model_->exStyle & LVS_EX_CHECKBOXES) && currentIndex().isValid()) {
        const QModelIndex box = model_->index(currentIndex().row(), 0);
        const bool checked = box.data(Qt::CheckStateRole).toInt() == Qt::Checked;
        model_->setData(box, checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
        e->accept();
        return;
    }
    QTreeView::keyPressEvent(e);
    Sync();
}

bool LvModel::setData(const QModelIndex& idx, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole || !idx.isValid() || idx.column() != 0) return false;
    const int row = idx.row();
    const UINT image = value.toInt() == Qt::Checked ? 2u : 1u;
    {
        Window* w = Find(h_);
        if (!w) return false;
        NMLISTVIEW nm;
        nm.iItem = row;
        nm.uOldState = items[std::size_t(row)].state;
        nm.uNewState = (nm.uOldState & ~LVIS_STATEIMAGEMASK) | INDEXTOSTATEIMAGEMASK(image);
        nm.uChanged = LVIF_STATE;
        nm.lParam = items[std::size_t(row)].lParam;
        if (NotifyParent(*w, nm.hdr, LVN_ITEMCHANGING) != 0) return false;
        if (!Find(h_) || row >= int(items.size())) return false;
    }
    LvItem& it = items[std::size_t(row)];
    const UINT old = it.state;
    it.state = (it.state & ~LVIS_STATEIMAGEMASK) | INDEXTOSTATEIMAGEMASK(image);
    CellsChanged(idx.row(), 0);
    if (old != it.state) SendItemChanged(h_, idx.row(), old, it.state, LVIF_STATE, it.lParam);
    return true;
}

// ---- the window classes

class ListViewClass : public WindowClass {
public:
    QWidget* CreateWidget(Window& w, QWidget* parent) override {
        auto* v = new LvView(parent);
        auto* m = new LvModel(w.handle);
        m->setParent(v);
        v->model_ = m;
        v->setModel(m);
        v->setRootIsDecorated(false);
        v->setUniformRowHeights(true);
        v->setItemsExpandable(false);
        v->setAllColumnsShowFocus(true);
        v->setSelectionBehavior(QAbstractItemView::SelectRows);
        v->setSelectionMode((w.style & LVS_SINGLESEL) ? QAbstractItemView::SingleSelection
                                                      : QAbstractItemView::ExtendedSelection);
        v->setEditTriggers(QAbstractItemView::NoEditTriggers);
        v->setTextElideMode(Qt::ElideRight);
        v->setFrameShape((w.style & WS_BORDER) || (w.exStyle & WS_EX_CLIENTEDGE) ? QFrame::StyledPanel : QFrame::NoFrame);
        v->header()->setStretchLastSection(false);
        v->header()->setSectionsMovable(false);
        v->header()->setSectionsClickable(!(w.style & LVS_NOSORTHEADER));
        v->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        v->header()->setMinimumSectionSize(0);
        v->setHeaderHidden(w.style & LVS_NOCOLUMNHEADER);
        v->setIconSize(QSize(16, 16));
        const HWND h = w.handle;
        QObject::connect(v->header(), &QHeaderView::sectionClicked, v, [h](int section) {
            if (Window* self = Find(h)) {
                NMLISTVIEW nm;
                nm.iItem = -1;
                nm.iSubItem = section;
                NotifyParent(*self, nm.hdr, LVN_COLUMNCLICK);
            }
        });
        QObject::connect(v->header(), &QHeaderView::sectionResized, v, [h, v](int section, int, int size) {
            if (v->quiet || !v->model_ || section >= int(v->model_->cols.size())) return;
            v->model_->cols[std::size_t(section)].width = size;
            HeaderChanged(h, section, size);
        });
        return v;
    }
    void OnCreated(Window& w) override {
        // The header is a window of its own, child of the list.
        header_ = CreateWindowRecord(0, L"SysHeader32", L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, w.handle, 0, nullptr,
                                     nullptr);
    }
    std::unique_ptr<CWnd> MakeObject() override { return std::make_unique<CListCtrl>(); }
    void StyleChanged(Window& w) override {
        LvView* v = ViewOf(w);
        if (!v) return;
        v->setSelectionMode((w.style & LVS_SINGLESEL) ? QAbstractItemView::SingleSelection
                                                      : QAbstractItemView::ExtendedSelection);
        v->header()->setSectionsClickable(!(w.style & LVS_NOSORTHEADER));
        v->setHeaderHidden(w.style & LVS_NOCOLUMNHEADER);
        // A list that became single-selection keeps only its first selected row.
        if (w.style & LVS_SINGLESEL) {
            bool first = true;
            for (LvItem& it : v->model_->items) {
                if (!(it.state & LVIS_SELECTED)) continue;
                if (!first) it.state &= ~LVIS_SELECTED;
                first = false;
            }
            ShowStates(v);
        }
    }

    static void HeaderChanged(HWND list, int section, int width) {
        Window* lw = Find(list);
        if (!lw) return;
        auto* cls = dynamic_cast<ListViewClass*>(lw->cls.get());
        Window* hw = cls ? Find(cls->header_) : nullptr;
        if (!hw) return;
        HDITEMW item;
        item.mask = HDI_WIDTH;
        item.cxy = width;
        NMHEADERW nm;
        nm.iItem = section;
        nm.pitem = &item;
        NotifyParent(*hw, nm.hdr, HDN_ITEMCHANGEDW);
    }

    HWND header_ = nullptr;

    static int AutoWidth(LvView* v, int col, bool useHeader) {
        const QFontMetrics fm(v->font());
        int width = 0;
        for (const LvItem& it : v->model_->items)
            width = std::max(width, fm.horizontalAdvance(ToQt(v->model_->TextOf(it, col))) + 12);
        if (col == 0 && v->model_->small) width += 20;
        if (useHeader) width = std::max(width, fm.horizontalAdvance(ToQt(v->model_->cols[std::size_t(col)].text)) + 16);
        return std::max(width, 4);
    }

    void SetWidth(LvView* v, int col, int width) {
        LvModel* m = v->model_;
        if (col < 0 || col >= int(m->cols.size())) return;
        if (width == LVSCW_AUTOSIZE || width == LVSCW_AUTOSIZE_USEHEADER) {
            const bool last = col == int(m->cols.size()) - 1;
            width = AutoWidth(v, col, width == LVSCW_AUTOSIZE_USEHEADER);
            if (last && width == AutoWidth(v, col, true)) {
                // The last column reaches to the right edge.
                int used = 0;
                for (int c = 0; c < col; ++c) used += m->cols[std::size_t(c)].width;
                width = std::max(width, v->viewport()->width() - used);
            }
        }
        m->cols[std::size_t(col)].width = std::max(0, width);
        ++v->quiet;
        v->header()->resizeSection(col, m->cols[std::size_t(col)].width);
        --v->quiet;
    }

    static void FillItem(LvItem& it, const LVITEMW& in, int columns) {
        if (in.iSubItem == 0) {
            if (in.mask & LVIF_IMAGE) it.image = in.iImage;
            if (in.mask & LVIF_PARAM) it.lParam = in.lParam;
            if (in.mask & LVIF_INDENT) it.indent = in.iIndent;
        }
        if ((in.mask & LVIF_TEXT) && !it.provided) {
            const std::size_t sub = std::size_t(std::max(0, in.iSubItem));
            if (it.texts.size() <= sub) it.texts.resize(std::max<std::size_t>(sub + 1, std::size_t(columns)));
            it.texts[sub] = in.pszText ? in.pszText : L"";
        }
    }

    // Changes states of items, keeping one selection and one focus where the list has only one,
    // and tells the parent about each item that changed.
    void SetStates(Window& w, LvView* v, int row, UINT state, UINT mask) {
        LvModel* m = v->model_;
        const HWND h = w.handle;
        std::vector<int> rows;
        if (row < 0) {
            rows.resize(m->items.size());
            std::iota(rows.begin(), rows.end(), 0);
        } else if (row < int(m->items.size())) {
            rows.push_back(row);
        } else {
            return;
        }
        struct Change {
            int row;
            UINT oldState, newState;
            LPARAM lParam;
        };
        std::vector<Change> changes;
        const auto apply = [&](int r, UINT st, UINT mk) {
            LvItem& it = m->items[std::size_t(r)];
            const UINT old = it.state;
            it.state = (it.state & ~mk) | (st & mk);
            if (it.state != old) changes.push_back({r, old, it.state, it.lParam});
        };
        const bool single = w.style & LVS_SINGLESEL;
        if (row >= 0) {
            if ((mask & LVIS_SELECTED) && (state & LVIS_SELECTED) && single)
                for (int r = 0; r < int(m->items.size()); ++r)
                    if (r != row && (m->items[std::size_t(r)].state & LVIS_SELECTED)) apply(r, 0, LVIS_SELECTED);
            if ((mask & LVIS_FOCUSED) && (state & LVIS_FOCUSED))
                for (int r = 0; r < int(m->items.size()); ++r)
                    if (r != row && (m->items[std::size_t(r)].state & LVIS_FOCUSED)) apply(r, 0, LVIS_FOCUSED);
        }
        for (int r : rows) apply(r, state, mask);
        if (changes.empty()) return;
        ShowStates(v);
        m->ForgetLooks();
        v->viewport()->update();
        for (const Change& c : changes) SendItemChanged(h, c.row, c.oldState, c.newState, LVIF_STATE, c.lParam);
    }

    bool DeleteRow(Window& w, LvView* v, int row) {
        LvModel* m = v->model_;
        if (row < 0 || row >= int(m->items.size())) return false;
        const HWND h = w.handle;
        NMLISTVIEW nm;
        nm.iItem = row;
        nm.lParam = m->items[std::size_t(row)].lParam;
        NotifyParent(w, nm.hdr, LVN_DELETEITEM);
        Window* again = Find(h);
        if (!again || row >= int(m->items.size())) return false;
        m->beginRemoveRows(QModelIndex(), row, row);
        m->items.erase(m->items.begin() + row);
        m->ForgetLooks();
        m->endRemoveRows();
        ShowStates(v);
        return true;
    }

    bool Proc(Window& w, UINT msg, WPARAM wp, LPARAM lp, LRESULT& r) override {
        LvView* v = ViewOf(w);
        if (!v) return false;
        LvModel* m = v->model_;
        const int count = int(m->items.size());
        const auto validRow = [count](int row) { return row >= 0 && row < count; };
        switch (msg) {
        case LVM_INSERTCOLUMNW: {
            const auto* c = reinterpret_cast<const LVCOLUMNW*>(lp);
            if (!c) {
                r = -1;
                return true;
            }
            int at = std::clamp(int(wp), 0, int(m->cols.size()));
            LvColumn col;
            if (c->mask & LVCF_TEXT) col.text = c->pszText ? c->pszText : L"";
            if (c->mask & LVCF_FMT) col.fmt = c->fmt;
            if (c->mask & LVCF_WIDTH) col.width = c->cx;
            if (c->mask & LVCF_IMAGE) col.image = c->iImage;
            m->beginInsertColumns(QModelIndex(), at, at);
            m->cols.insert(m->cols.begin() + at, col);
            for (LvItem& it : m->items)
                it.texts.InsertAt(std::size_t(at));
            m->endInsertColumns();
            ++v->quiet;
            for (int i = 0; i < int(m->cols.size()); ++i) v->header()->resizeSection(i, m->cols[std::size_t(i)].width);
            --v->quiet;
            r = at;
            return true;
        }
        case LVM_DELETECOLUMN: {
            const int col = int(wp);
            if (col < 0 || col >= int(m->cols.size())) {
                r = FALSE;
                return true;
            }
            m->beginRemoveColumns(QModelIndex(), col, col);
            m->cols.erase(m->cols.begin() + col);
            for (LvItem& it : m->items)
                it.texts.EraseAt(std::size_t(col));
            m->endRemoveColumns();
            r = TRUE;
            return true;
        }
        case LVM_GETCOLUMNW:
        case LVM_SETCOLUMNW: {
            auto* c = reinterpret_cast<LVCOLUMNW*>(lp);
            const int col = int(wp);
            if (!c || col < 0 || col >= int(m->cols.size())) {
                r = FALSE;
                return true;
            }
            LvColumn& have = m->cols[std::size_t(col)];
            if (msg == LVM_GETCOLUMNW) {
                if (c->mask & LVCF_FMT) c->fmt = have.fmt;
                if (c->mask & LVCF_WIDTH) c->cx = have.width;
                if ((c->mask & LVCF_TEXT) && c->pszText && c->cchTextMax > 0) {
                    const std::size_t n = std::min<std::size_t>(have.text.size(), std::size_t(c->cchTextMax - 1));
                    have.text.copy(c->pszText, n);
                    c->pszText[n] = L'\0';
                }
                if (c->mask & LVCF_SUBITEM) c->iSubItem = col;
                if (c->mask & LVCF_ORDER) c->iOrder = v->header()->visualIndex(col);
            } else {
                if (c->mask & LVCF_FMT) have.fmt = c->fmt;
                if (c->mask & LVCF_TEXT) have.text = c->pszText ? c->pszText : L"";
                if (c->mask & LVCF_WIDTH) SetWidth(v, col, c->cx);
                emit m->headerDataChanged(Qt::Horizontal, col, col);
            }
            r = TRUE;
            return true;
        }
        case LVM_GETCOLUMNWIDTH: {
            const int col = int(wp);
            r = (col >= 0 && col < int(m->cols.size())) ? m->cols[std::size_t(col)].width : 0;
            return true;
        }
        case LVM_SETCOLUMNWIDTH:
            SetWidth(v, int(wp), int(SHORT(LOWORD(std::uintptr_t(lp)))));
            r = TRUE;
            return true;
        case LVM_GETHEADER:
            r = reinterpret_cast<LRESULT>(header_);
            return true;
        case LVM_GETITEMCOUNT:
            r = count;
            return true;
        case LVM_SETITEMCOUNT:
            m->items.reserve(std::size_t(std::max<WPARAM>(wp, 0)));
            r = TRUE;
            return true;
        case LVM_INSERTITEMW: {
            const auto* in = reinterpret_cast<const LVITEMW*>(lp);
            if (!in || in->iSubItem != 0) {
                r = -1;
                return true;
            }
            const int at = std::clamp(in->iItem, 0, count);
            LvItem it;
            it.texts.resize(m->cols.size());
            FillItem(it, *in, int(m->cols.size()));
            if (in->mask & LVIF_STATE) it.state = in->state & in->stateMask;
            if ((m->exStyle & LVS_EX_CHECKBOXES) && !(it.state & LVIS_STATEIMAGEMASK)) it.state |= INDEXTOSTATEIMAGEMASK(1);
            m->beginInsertRows(QModelIndex(), at, at);
            m->items.insert(m->items.begin() + at, it);
            m->ForgetLooks();
            m->endInsertRows();
            if (it.state & (LVIS_SELECTED | LVIS_FOCUSED)) ShowStates(v);
            NMLISTVIEW nm;
            nm.iItem = at;
            nm.lParam = it.lParam;
            NotifyParent(w, nm.hdr, LVN_INSERTITEM);
            r = at;
            return true;
        }
        case LVM_QV_INSERTROWS: {
            const auto* rows = reinterpret_cast<const LVQVROW*>(lp);
            const int n = rows ? int(wp) : 0;
            r = -1;
            if (n <= 0) return true;
            const int at = count;
            const int columns = int(m->cols.size());
            bool states = false;
            m->beginInsertRows(QModelIndex(), at, at + n - 1);
            // Room for this slice and more: reserving just enough would move every row already
            // there at each slice.
            if (m->items.capacity() < m->items.size() + std::size_t(n))
                m->items.reserve(std::max(m->items.size() + std::size_t(n), 2 * m->items.capacity()));
            for (int i = 0; i < n; ++i) {
                const LVQVROW& in = rows[i];
                LvItem it;
                if (in.pszTexts) {
                    it.texts.resize(std::size_t(std::max(columns, in.cTexts)));
                    for (int c = 0; c < in.cTexts; ++c)
                        if (in.pszTexts[c]) it.texts[std::size_t(c)] = in.pszTexts[c];
                } else {
                    it.provided = m->provider != nullptr;
                }
                it.image = in.iImage;
                it.lParam = in.lParam;
                if (m->exStyle & LVS_EX_CHECKBOXES) it.state |= INDEXTOSTATEIMAGEMASK(1);
                states = states || (it.state & (LVIS_SELECTED | LVIS_FOCUSED));
                m->items.push_back(std::move(it));
            }
            m->ForgetLooks();
            m->endInsertRows();
            if (states) ShowStates(v);
            const HWND h = w.handle;
            for (int i = 0; i < n; ++i) {
                Window* self = Find(h);
                if (!self) return true;
                NMLISTVIEW nm;
                nm.iItem = at + i;
                nm.lParam = rows[i].lParam;
                NotifyParent(*self, nm.hdr, LVN_INSERTITEM);
            }
            r = at;
            return true;
        }
        case LVM_QV_GETROWS: {
            auto* out = reinterpret_cast<LVQVROWINFO*>(lp);
            const std::size_t n = out ? std::min<std::size_t>(wp, m->items.size()) : 0;
            for (std::size_t i = 0; i < n; ++i) {
                out[i].lParam = m->items[i].lParam;
                out[i].state = m->items[i].state;
            }
            r = count;
            return true;
        }
        case LVM_QV_DELETEROWS:
        case LVM_QV_DELETEROWSQUIETLY: {
            const auto* rows = reinterpret_cast<const int*>(lp);
            const int n = rows ? int(wp) : 0;
            const HWND h = w.handle;
            std::vector<char> gone(m->items.size(), 0);
            int removed = 0;
            for (int i = 0; i < n; ++i)
                if (validRow(rows[i]) && !gone[std::size_t(rows[i])]) {
                    gone[std::size_t(rows[i])] = 1;
                    ++removed;
                }
            if (removed == 0) {
                r = 0;
                return true;
            }
            // Told first, as one by one, by the index each row has while the earlier ones go.
            for (int row = 0, told = 0; msg == LVM_QV_DELETEROWS && row < int(gone.size()); ++row) {
                if (!gone[std::size_t(row)]) continue;
                Window* self = Find(h);
                if (!self) return true;
                NMLISTVIEW nm;
                nm.iItem = row - told;
                nm.lParam = m->items[std::size_t(row)].lParam;
                NotifyParent(*self, nm.hdr, LVN_DELETEITEM);
                ++told;
            }
            if (!Find(h) || gone.size() != m->items.size()) {
                r = 0;
                return true;
            }
            m->Reset([m, &gone] {
                std::size_t out = 0;
                for (std::size_t i = 0; i < m->items.size(); ++i)
                    if (!gone[i]) {
                        if (out != i) m->items[out] = std::move(m->items[i]);
                        ++out;
                    }
                m->items.resize(out);
            });
            ShowStates(v);
            r = removed;
            return true;
        }
        case LVM_DELETEITEM:
            r = DeleteRow(w, v, int(wp)) ? TRUE : FALSE;
            return true;
        case LVM_DELETEALLITEMS: {
            const HWND h = w.handle;
            NMLISTVIEW nm;
            nm.iItem = -1;
            // A parent that answers TRUE wants no notification per item.
            const bool quietly = NotifyParent(w, nm.hdr, LVN_DELETEALLITEMS) != 0;
            if (!Find(h)) return true;
            if (!quietly) {
                for (int row = 0; row < int(m->items.size()); ++row) {
                    NMLISTVIEW one;
                    one.iItem = row;
                    one.lParam = m->items[std::size_t(row)].lParam;
                    Window* self = Find(h);
                    if (!self) return true;
                    NotifyParent(*self, one.hdr, LVN_DELETEITEM);
                }
            }
            m->Reset([m] { m->items.clear(); });
            ShowStates(v);
            r = TRUE;
            return true;
        }
        case LVM_GETITEMW:
        case LVM_SETITEMW:
        case LVM_GETITEMTEXTW:
        case LVM_SETITEMTEXTW: {
            auto* it = reinterpret_cast<LVITEMW*>(lp);
            int row = (msg == LVM_GETITEMTEXTW || msg == LVM_SETITEMTEXTW) ? int(wp) : (it ? it->iItem : -1);
            if (!it || !validRow(row)) {
                r = (msg == LVM_GETITEMTEXTW) ? 0 : FALSE;
                return true;
            }
            LvItem& item = m->items[std::size_t(row)];
            if (msg == LVM_SETITEMTEXTW) {
                LVITEMW in = *it;
                in.mask = LVIF_TEXT;
                FillItem(item, in, int(m->cols.size()));
                m->CellsChanged(row, in.iSubItem);
                r = TRUE;
                return true;
            }
            if (msg == LVM_GETITEMTEXTW || (it->mask & LVIF_TEXT)) {
                const std::size_t sub = std::size_t(std::max(0, it->iSubItem));
                const std::wstring text = m->TextOf(item, int(sub));
                std::size_t n = 0;
                if (it->pszText && it->cchTextMax > 0) {
                    n = std::min<std::size_t>(text.size(), std::size_t(it->cchTextMax - 1));
                    text.copy(it->pszText, n);
                    it->pszText[n] = L'\0';
                }
                if (msg == LVM_GETITEMTEXTW) {
                    r = LRESULT(n);
                    return true;
                }
            }
            if (msg == LVM_GETITEMW) {
                if (it->mask & LVIF_IMAGE) it->iImage = item.image;
                if (it->mask & LVIF_PARAM) it->lParam = item.lParam;
                if (it->mask & LVIF_STATE) it->state = item.state & it->stateMask;
                if (it->mask & LVIF_INDENT) it->iIndent = item.indent;
                r = TRUE;
                return true;
            }
            FillItem(item, *it, int(m->cols.size()));
            m->CellsChanged(row, (it->mask & ~LVIF_TEXT) ? -1 : it->iSubItem);
            if (it->mask & LVIF_STATE) SetStates(w, v, row, it->state, it->stateMask);
            r = TRUE;
            return true;
        }
        case LVM_SETITEMSTATE: {
            const auto* it = reinterpret_cast<const LVITEMW*>(lp);
            if (!it) {
                r = FALSE;
                return true;
            }
            const int row = int(INT_PTR(wp));
            if (row >= count) {
                r = FALSE;
                return true;
            }
            SetStates(w, v, row, it->state, it->stateMask);
            if (Find(w.handle) && (it->stateMask & LVIS_STATEIMAGEMASK)) {
                if (row >= 0) m->CellsChanged(row, 0);
                else m->Reset([] {});
            }
            r = TRUE;
            return true;
        }
        case LVM_GETITEMSTATE:
            r = validRow(int(wp)) ? LRESULT(m->items[std::size_t(wp)].state & UINT(lp)) : 0;
            return true;
        case LVM_GETNEXTITEM: {
            const int start = int(INT_PTR(wp));
            const UINT flags = UINT(lp);
            r = -1;
            for (int row = std::max(0, start + 1); row < count; ++row) {
                const UINT st = m->items[std::size_t(row)].state;
                if ((flags & LVNI_SELECTED) && !(st & LVIS_SELECTED)) continue;
                if ((flags & LVNI_FOCUSED) && !(st & LVIS_FOCUSED)) continue;
                r = row;
                break;
            }
            return true;
        }
        case LVM_GETSELECTEDCOUNT: {
            int n = 0;
            for (const LvItem& it : m->items) n += (it.state & LVIS_SELECTED) ? 1 : 0;
            r = n;
            return true;
        }
        case LVM_GETSELECTIONMARK:
            r = v->property("qvMark").isValid() ? v->property("qvMark").toInt() : -1;
            return true;
        case LVM_SETSELECTIONMARK:
            r = v->property("qvMark").isValid() ? v->property("qvMark").toInt() : -1;
            v->setProperty("qvMark", int(lp));
            return true;
        case LVM_ENSUREVISIBLE:
            if (validRow(int(wp))) v->scrollTo(m->index(int(wp), 0));
            r = TRUE;
            return true;
        case LVM_GETTOPINDEX: {
            const QModelIndex top = v->indexAt(QPoint(1, 1));
            r = top.isValid() ? top.row() : 0;
            return true;
        }
        case LVM_GETCOUNTPERPAGE: {
            const int rowHeight = count > 0 ? std::max(1, v->visualRect(m->index(0, 0)).height()) : QFontMetrics(v->font()).height() + 4;
            r = std::max(1, v->viewport()->height() / rowHeight);
            return true;
        }
        case LVM_GETITEMRECT: {
            auto* rc = reinterpret_cast<RECT*>(lp);
            if (!rc || !validRow(int(wp))) {
                r = FALSE;
                return true;
            }
            QRect row = v->visualRect(m->index(int(wp), 0));
            row.setLeft(0);
            row.setRight(v->header()->length() - 1);
            row.translate(v->viewport()->mapTo(v, QPoint(0, 0)));
            *rc = FromQRect(row);
            r = TRUE;
            return true;
        }
        case LVM_HITTEST:
        case LVM_SUBITEMHITTEST: {
            auto* ht = reinterpret_cast<LVHITTESTINFO*>(lp);
            if (!ht) {
                r = -1;
                return true;
            }
            const QPoint pt = v->viewport()->mapFrom(v, QPoint(ht->pt.x, ht->pt.y));
            const QModelIndex idx = v->indexAt(pt);
            ht->iItem = idx.isValid() ? idx.row() : -1;
            ht->iSubItem = idx.isValid() ? idx.column() : 0;
            ht->flags = idx.isValid() ? LVHT_ONITEMLABEL : LVHT_NOWHERE;
            r = ht->iItem;
            return true;
        }
        case LVM_FINDITEMW: {
            const auto* fi = reinterpret_cast<const LVFINDINFOW*>(lp);
            r = -1;
            if (!fi) return true;
            for (int row = std::max(0, int(INT_PTR(wp)) + 1); row < count; ++row) {
                const LvItem& it = m->items[std::size_t(row)];
                bool match = true;
                if (fi->flags & LVFI_PARAM) match = it.lParam == fi->lParam;
                if (match && (fi->flags & (LVFI_STRING | LVFI_PARTIAL)) && fi->psz) {
                    const QString have = ToQt(m->TextOf(it, 0));
                    const QString want = ToQt(fi->psz);
                    match = (fi->flags & LVFI_PARTIAL) ? have.startsWith(want, Qt::CaseInsensitive)
                                                       : have.compare(want, Qt::CaseInsensitive) == 0;
                }
                if (match) {
                    r = row;
                    break;
                }
            }
            return true;
        }
        case LVM_SORTITEMS:
        case LVM_SORTITEMSEX: {
            auto compare = reinterpret_cast<PFNLVCOMPARE>(lp);
            if (!compare) {
                r = FALSE;
                return true;
            }
            std::vector<int> order(m->items.size());
            std::iota(order.begin(), order.end(), 0);
            const LPARAM data = LPARAM(wp);
            const bool byIndex = msg == LVM_SORTITEMSEX;
            std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
                const LPARAM x = byIndex ? LPARAM(a) : m->items[std::size_t(a)].lParam;
                const LPARAM y = byIndex ? LPARAM(b) : m->items[std::size_t(b)].lParam;
                return compare(x, y, data) < 0;
            });
            Reorder(v, order);
            r = TRUE;
            return true;
        }
        case LVM_QV_SETORDER: {
            const auto* in = reinterpret_cast<const LVQVORDER*>(lp);
            const std::size_t n = in && in->rows && in->order ? std::size_t(wp) : 0;
            r = FALSE;
            if (n > m->items.size()) return true;
            // Only onto the rows the order was worked out for, and only a true permutation of them.
            std::vector<char> seen(n, 0);
            for (std::size_t i = 0; i < n; ++i) {
                const int from = in->order[i];
                if (m->items[i].lParam != in->rows[i] || from < 0 || std::size_t(from) >= n || seen[std::size_t(from)])
                    return true;
                seen[std::size_t(from)] = 1;
            }
            std::vector<int> order(in->order, in->order + n);
            // The rows after them keep their places after them.
            for (std::size_t i = n; i < m->items.size(); ++i) order.push_back(int(i));
            Reorder(v, order);
            r = TRUE;
            return true;
        }
        case LVM_REDRAWITEMS:
            m->ForgetLooks();
            v->viewport()->update();
            r = TRUE;
            return true;
        case LVM_GETSTRINGWIDTHW:
            r = lp ? QFontMetrics(v->font()).horizontalAdvance(ToQt(reinterpret_cast<LPCWSTR>(lp))) : 0;
            return true;
        case LVM_SETEXTENDEDLISTVIEWSTYLE: {
            r = m->exStyle;
            const DWORD mask = wp ? DWORD(wp) : 0xFFFFFFFFu;
            const DWORD before = m->exStyle;
            m->Reset([&] { m->exStyle = (m->exStyle & ~mask) | (DWORD(lp) & mask); });
            if (!(before & LVS_EX_CHECKBOXES) && (m->exStyle & LVS_EX_CHECKBOXES))
                for (LvItem& it : m->items)
                    if (!(it.state & LVIS_STATEIMAGEMASK)) it.state |= INDEXTOSTATEIMAGEMASK(1);
            v->gridLines = m->exStyle & LVS_EX_GRIDLINES;
            ShowStates(v);
            return true;
        }
        case LVM_GETEXTENDEDLISTVIEWSTYLE:
            r = m->exStyle;
            return true;
        case LVM_QV_SETCOLUMNTIPMODE:
            r = FALSE;
            if (wp < m->cols.size()) {
                m->cols[wp].tipMode = int(lp);
                r = TRUE;
            }
            return true;
        case LVM_QV_SETTEXTPROVIDER:
            r = TRUE;
            if (m->provider == reinterpret_cast<LVQVTEXTPROVIDER>(lp) && m->providerContext == reinterpret_cast<void*>(wp))
                return true;
            m->provider = reinterpret_cast<LVQVTEXTPROVIDER>(lp);
            m->providerContext = reinterpret_cast<void*>(wp);
            if (m->provider) {
                m->Reset([] {});
                ShowStates(v);
            }
            r = TRUE;
            return true;
        case LVM_QV_SETSTATUSLINE:
            v->SetStatusLine(wp != 0, lp ? ToQt(reinterpret_cast<LPCWSTR>(lp)) : QString());
            r = TRUE;
            return true;
        case LVM_SETIMAGELIST: {
            HIMAGELIST& slot = (wp == LVSIL_STATE) ? m->stateList : m->small;
            r = reinterpret_cast<LRESULT>(slot);
            slot = reinterpret_cast<HIMAGELIST>(lp);
            int cx = 16, cy = 16;
            if (wp == LVSIL_SMALL && ImageList_GetIconSize(slot, &cx, &cy)) v->setIconSize(QSize(cx, cy));
            m->Reset([] {});
            ShowStates(v);
            return true;
        }
        case LVM_GETIMAGELIST:
            r = reinterpret_cast<LRESULT>(wp == LVSIL_STATE ? m->stateList : m->small);
            return true;
        case LVM_SETBKCOLOR: {
            QPalette pal = v->palette();
            pal.setColor(QPalette::Base, COLORREF(lp) == CLR_NONE ? ToQColor(GetSysColor(COLOR_WINDOW)) : ToQColor(COLORREF(lp)));
            v->setPalette(pal);
            r = TRUE;
            return true;
        }
        case LVM_SETTEXTCOLOR:
            m->textColor = COLORREF(lp);
            m->Reset([] {});
            ShowStates(v);
            r = TRUE;
            return true;
        case LVM_SETTEXTBKCOLOR:
            m->textBk = COLORREF(lp);
            m->Reset([] {});
            ShowStates(v);
            r = TRUE;
            return true;
        case WM_NOTIFY: {
            // The header's notifications go on to the list's parent.
            auto* nm = reinterpret_cast<NMHDR*>(lp);
            if (nm && nm->hwndFrom == header_ && w.parent)
                if (Window* parent = Find(w.parent)) r = Dispatch(*parent, WM_NOTIFY, wp, lp);
            return true;
        }
        case WM_SETFOCUS: {
            NMHDR nm;
            NotifyParent(w, nm, NM_SETFOCUS);
            return true;
        }
        case WM_KILLFOCUS: {
            NMHDR nm;
            NotifyParent(w, nm, NM_KILLFOCUS);
            return true;
        }
        case WM_DESTROY: {
            // As when all rows are removed: the parent hears of the whole first, and of each row
            // only when it does not answer TRUE (a long list then goes at the cost of a short one).
            const HWND h = w.handle;
            NMLISTVIEW all;
            all.iItem = -1;
            if (NotifyParent(w, all.hdr, LVN_DELETEALLITEMS) != 0) return false;
            for (int row = 0; row < int(m->items.size()); ++row) {
                Window* self = Find(h);
                if (!self) break;
                NMLISTVIEW nm;
                nm.iItem = row;
                nm.lParam = m->items[std::size_t(row)].lParam;
                NotifyParent(*self, nm.hdr, LVN_DELETEITEM);
            }
            return false;
        }
        default:
            return false;
        }
    }
};

// The header adopts the list view's own header widget.
class HeaderClass : public WindowClass {
public:
    QWidget* CreateWidget(Window& w, QWidget*) override {
        Window* list = Find(w.parent);
        LvView* v = list ? ViewOf(*list) : nullptr;
        if (!v) return nullptr;
        w.adopted = true;
        return v->header();
    }
    std::unique_ptr<CWnd> MakeObject() override { return std::make_unique<CHeaderCtrl>(); }
    bool Proc(Window& w, UINT msg, WPARAM wp, LPARAM lp, LRESULT& r) override {
        Window* list = Find(w.parent);
        LvView* v = list ? ViewOf(*list) : nullptr;
        if (!v) return false;
        LvModel* m = v->model_;
        switch (msg) {
        case HDM_GETITEMCOUNT:
            r = int(m->cols.size());
            return true;
        case HDM_GETITEMW:
        case HDM_SETITEMW: {
            auto* item = reinterpret_cast<HDITEMW*>(lp);
            const int col = int(wp);
            if (!item || col < 0 || col >= int(m->cols.size())) {
                r = FALSE;
                return true;
            }
            LvColumn& c = m->cols[std::size_t(col)];
            if (msg == HDM_GETITEMW) {
                if (item->mask & HDI_WIDTH) item->cxy = c.width;
                if (item->mask & HDI_FORMAT) item->fmt = c.fmt;
                if (item->mask & HDI_ORDER) item->iOrder = v->header()->visualIndex(col);
                if ((item->mask & HDI_TEXT) && item->pszText && item->cchTextMax > 0) {
                    const std::size_t n = std::min<std::size_t>(c.text.size(), std::size_t(item->cchTextMax - 1));
                    c.text.copy(item->pszText, n);
                    item->pszText[n] = L'\0';
                }
            } else {
                if (item->mask & HDI_TEXT) c.text = item->pszText ? item->pszText : L"";
                if (item->mask & HDI_FORMAT) c.fmt = item->fmt;
                if (item->mask & HDI_WIDTH) {
                    c.width = std::max(0, item->cxy);
                    ++v->quiet;
                    v->header()->resizeSection(col, c.width);
                    --v->quiet;
                }
                emit m->headerDataChanged(Qt::Horizontal, col, col);
            }
            r = TRUE;
            return true;
        }
        default:
            return false;
        }
    }
};

std::unique_ptr<WindowClass> MakeListView() { return std::make_unique<ListViewClass>(); }
std::unique_ptr<WindowClass> MakeHeader() { return std::make_unique<HeaderClass>(); }

}  // namespace

void RegisterListViewClass() {
    RegisterWindowClass(L"SysListView32", &MakeListView);
    RegisterWindowClass(L"SysHeader32", &MakeHeader);
}

}  // namespace qv::ui::detail

void qv::ui::RegisterListViewWindowClass(const std::wstring& name) {
    qv::ui::detail::RegisterWindowClass(name, &qv::ui::detail::MakeListView);
}

// ---- CHeaderCtrl and CListCtrl

IMPLEMENT_DYNAMIC(CHeaderCtrl, CWnd)
IMPLEMENT_DYNAMIC(CListCtrl, CWnd)

int CHeaderCtrl::GetItemCount() const { return int(SendMessage(HDM_GETITEMCOUNT)); }
BOOL CHeaderCtrl::GetItem(int index, HDITEMW* item) const {
    return BOOL(SendMessage(HDM_GETITEMW, WPARAM(index), reinterpret_cast<LPARAM>(item)));
}
BOOL CHeaderCtrl::SetItem(int index, HDITEMW* item) {
    return BOOL(SendMessage(HDM_SETITEMW, WPARAM(index), reinterpret_cast<LPARAM>(item)));
}

BOOL CListCtrl::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
    return CWnd::Create(L"SysListView32", nullptr, style, rect, parent, id);
}

int CListCtrl::InsertColumn(int column, LPCWSTR heading, int format, int width, int subItem) {
    LVCOLUMNW c;
    c.mask = LVCF_TEXT | LVCF_FMT;
    c.pszText = const_cast<LPWSTR>(heading ? heading : L"");
    c.fmt = format;
    if (width >= 0) c.mask |= LVCF_WIDTH, c.cx = width;
    if (subItem >= 0) c.mask |= LVCF_SUBITEM, c.iSubItem = subItem;
    return InsertColumn(column, &c);
}
int CListCtrl::InsertColumn(int column, const LVCOLUMNW* col) {
    return int(SendMessage(LVM_INSERTCOLUMNW, WPARAM(column), reinterpret_cast<LPARAM>(col)));
}
BOOL CListCtrl::DeleteColumn(int column) { return BOOL(SendMessage(LVM_DELETECOLUMN, WPARAM(column))); }
BOOL CListCtrl::GetColumn(int column, LVCOLUMNW* col) const {
    return BOOL(SendMessage(LVM_GETCOLUMNW, WPARAM(column), reinterpret_cast<LPARAM>(col)));
}
BOOL CListCtrl::SetColumn(int column, const LVCOLUMNW* col) {
    return BOOL(SendMessage(LVM_SETCOLUMNW, WPARAM(column), reinterpret_cast<LPARAM>(col)));
}
int CListCtrl::GetColumnWidth(int column) const { return int(SendMessage(LVM_GETCOLUMNWIDTH, WPARAM(column))); }
BOOL CListCtrl::SetColumnWidth(int column, int width) {
    return BOOL(SendMessage(LVM_SETCOLUMNWIDTH, WPARAM(column), MAKELPARAM(WORD(SHORT(width)), 0)));
}
CHeaderCtrl* CListCtrl::GetHeaderCtrl() const {
    return static_cast<CHeaderCtrl*>(CWnd::FromHandle(reinterpret_cast<HWND>(SendMessage(LVM_GETHEADER))));
}
int CListCtrl::GetItemCount() const { return int(SendMessage(LVM_GETITEMCOUNT)); }
BOOL CListCtrl::SetItemCount(int count) { return BOOL(SendMessage(LVM_SETITEMCOUNT, WPARAM(count))); }
int CListCtrl::InsertItem(int item, LPCWSTR text) { return InsertItem(LVIF_TEXT, item, text, 0, 0, 0, 0); }
int CListCtrl::InsertItem(int item, LPCWSTR text, int image) {
    return InsertItem(LVIF_TEXT | LVIF_IMAGE, item, text, 0, 0, image, 0);
}
int CListCtrl::InsertItem(const LVITEMW* item) {
    return int(SendMessage(LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(item)));
}
int CListCtrl::InsertItem(UINT mask, int item, LPCWSTR text, UINT state, UINT stateMask, int image, LPARAM lParam) {
    LVITEMW it;
    it.mask = mask;
    it.iItem = item;
    it.pszText = const_cast<LPWSTR>(text ? text : L"");
    it.state = state;
    it.stateMask = stateMask;
    it.iImage = image;
    it.lParam = lParam;
    return InsertItem(&it);
}
BOOL CListCtrl::DeleteItem(int item) { return BOOL(SendMessage(LVM_DELETEITEM, WPARAM(item))); }
BOOL CListCtrl::DeleteAllItems() { return BOOL(SendMessage(LVM_DELETEALLITEMS)); }
BOOL CListCtrl::GetItem(LVITEMW* item) const { return BOOL(SendMessage(LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(item))); }
BOOL CListCtrl::SetItem(const LVITEMW* item) { return BOOL(SendMessage(LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(item))); }
BOOL CListCtrl::SetItem(int item, int subItem, UINT mask, LPCWSTR text, int image, UINT state, UINT stateMask,
                        LPARAM lParam) {
    LVITEMW it;
    it.mask = mask;
    it.iItem = item;
    it.iSubItem = subItem;
    it.pszText = const_cast<LPWSTR>(text ? text : L"");
    it.iImage = image;
    it.state = state;
    it.stateMask = stateMask;
    it.lParam = lParam;
    return SetItem(&it);
}
BOOL CListCtrl::SetItemText(int item, int subItem, LPCWSTR text) {
    LVITEMW it;
    it.iSubItem = subItem;
    it.pszText = const_cast<LPWSTR>(text ? text : L"");
    return BOOL(SendMessage(LVM_SETITEMTEXTW, WPARAM(item), reinterpret_cast<LPARAM>(&it)));
}
int CListCtrl::GetItemText(int item, int subItem, LPWSTR buffer, int max) const {
    LVITEMW it;
    it.iSubItem = subItem;
    it.pszText = buffer;
    it.cchTextMax = max;
    return int(SendMessage(LVM_GETITEMTEXTW, WPARAM(item), reinterpret_cast<LPARAM>(&it)));
}
CString CListCtrl::GetItemText(int item, int subItem) const {
    // Grows the buffer until the text fits.
    for (int size = 256;; size *= 4) {
        std::wstring buffer(std::size_t(size), L'\0');
        const int n = GetItemText(item, subItem, buffer.data(), size);
        if (n < size - 1 || size > (1 << 22)) {
            buffer.resize(std::size_t(n));
            return CString(buffer);
        }
    }
}
BOOL CListCtrl::SetItemData(int item, DWORD_PTR data) {
    LVITEMW it;
    it.mask = LVIF_PARAM;
    it.iItem = item;
    it.lParam = LPARAM(data);
    return SetItem(&it);
}
DWORD_PTR CListCtrl::GetItemData(int item) const {
    LVITEMW it;
    it.mask = LVIF_PARAM;
    it.iItem = item;
    return GetItem(&it) ? DWORD_PTR(it.lParam) : 0;
}
BOOL CListCtrl::SetItemState(int item, UINT state, UINT mask) {
    LVITEMW it;
    it.state = state;
    it.stateMask = mask;
    return BOOL(SendMessage(LVM_SETITEMSTATE, WPARAM(INT_PTR(item)), reinterpret_cast<LPARAM>(&it)));
}
UINT CListCtrl::GetItemState(int item, UINT mask) const {
    return UINT(SendMessage(LVM_GETITEMSTATE, WPARAM(item), LPARAM(mask)));
}
BOOL CListCtrl::SetCheck(int item, BOOL check) {
    return SetItemState(item, INDEXTOSTATEIMAGEMASK(check ? 2 : 1), LVIS_STATEIMAGEMASK);
}
BOOL CListCtrl::GetCheck(int item) const { return ((GetItemState(item, LVIS_STATEIMAGEMASK) >> 12) - 1) == 1; }
int CListCtrl::GetNextItem(int item, int flags) const {
    return int(SendMessage(LVM_GETNEXTITEM, WPARAM(INT_PTR(item)), LPARAM(flags)));
}
UINT CListCtrl::GetSelectedCount() const { return UINT(SendMessage(LVM_GETSELECTEDCOUNT)); }
POSITION CListCtrl::GetFirstSelectedItemPosition() const {
    const int first = GetNextItem(-1, LVNI_SELECTED);
    return reinterpret_cast<POSITION>(std::intptr_t(first + 1));
}
int CListCtrl::GetNextSelectedItem(POSITION& pos) const {
    const int current = int(reinterpret_cast<std::intptr_t>(pos)) - 1;
    const int next = GetNextItem(current, LVNI_SELECTED);
    pos = reinterpret_cast<POSITION>(std::intptr_t(next + 1));
    return current;
}
int CListCtrl::GetSelectionMark() const { return int(SendMessage(LVM_GETSELECTIONMARK)); }
int CListCtrl::SetSelectionMark(int item) { return int(SendMessage(LVM_SETSELECTIONMARK, 0, LPARAM(item))); }
BOOL CListCtrl::EnsureVisible(int item, BOOL partialOk) {
    return BOOL(SendMessage(LVM_ENSUREVISIBLE, WPARAM(item), LPARAM(partialOk)));
}
int CListCtrl::GetTopIndex() const { return int(SendMessage(LVM_GETTOPINDEX)); }
int CListCtrl::GetCountPerPage() const { return int(SendMessage(LVM_GETCOUNTPERPAGE)); }
BOOL CListCtrl::GetItemRect(int item, LPRECT rect, UINT code) const {
    if (rect) rect->left = LONG(code);
    return BOOL(SendMessage(LVM_GETITEMRECT, WPARAM(item), reinterpret_cast<LPARAM>(rect)));
}
BOOL CListCtrl::GetSubItemRect(int item, int subItem, int, CRect& rect) const {
    if (!GetItemRect(item, &rect, LVIR_BOUNDS)) return FALSE;
    int left = 0;
    for (int c = 0; c < subItem; ++c) left += GetColumnWidth(c);
    rect.left = left;
    rect.right = left + GetColumnWidth(subItem);
    return TRUE;
}
int CListCtrl::HitTest(CPoint pt, UINT* flags) const {
    LVHITTESTINFO info;
    info.pt = pt;
    const int r = HitTest(&info);
    if (flags) *flags = info.flags;
    return r;
}
int CListCtrl::HitTest(LVHITTESTINFO* info) const { return int(SendMessage(LVM_HITTEST, 0, reinterpret_cast<LPARAM>(info))); }
int CListCtrl::SubItemHitTest(LVHITTESTINFO* info) {
    return int(SendMessage(LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(info)));
}
int CListCtrl::FindItem(LVFINDINFOW* info, int start) const {
    return int(SendMessage(LVM_FINDITEMW, WPARAM(INT_PTR(start)), reinterpret_cast<LPARAM>(info)));
}
BOOL CListCtrl::SortItems(PFNLVCOMPARE compare, DWORD_PTR data) {
    return BOOL(SendMessage(LVM_SORTITEMS, WPARAM(data), reinterpret_cast<LPARAM>(compare)));
}
BOOL CListCtrl::SortItemsEx(PFNLVCOMPARE compare, DWORD_PTR data) {
    return BOOL(SendMessage(LVM_SORTITEMSEX, WPARAM(data), reinterpret_cast<LPARAM>(compare)));
}
BOOL CListCtrl::RedrawItems(int first, int last) { return BOOL(SendMessage(LVM_REDRAWITEMS, WPARAM(first), LPARAM(last))); }
int CListCtrl::GetStringWidth(LPCWSTR text) const {
    return int(SendMessage(LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(text)));
}
DWORD CListCtrl::SetExtendedStyle(DWORD style) { return DWORD(SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LPARAM(style))); }
DWORD CListCtrl::GetExtendedStyle() const { return DWORD(SendMessage(LVM_GETEXTENDEDLISTVIEWSTYLE)); }
CImageList* CListCtrl::SetImageList(CImageList* list, int type) {
    return CImageList::FromHandle(reinterpret_cast<HIMAGELIST>(
        SendMessage(LVM_SETIMAGELIST, WPARAM(type), reinterpret_cast<LPARAM>(list ? list->m_hImageList : nullptr))));
}
CImageList* CListCtrl::GetImageList(int type) const {
    return CImageList::FromHandle(reinterpret_cast<HIMAGELIST>(SendMessage(LVM_GETIMAGELIST, WPARAM(type))));
}
BOOL CListCtrl::SetBkColor(COLORREF color) { return BOOL(SendMessage(LVM_SETBKCOLOR, 0, LPARAM(color))); }
BOOL CListCtrl::SetTextColor(COLORREF color) { return BOOL(SendMessage(LVM_SETTEXTCOLOR, 0, LPARAM(color))); }
BOOL CListCtrl::SetTextBkColor(COLORREF color) { return BOOL(SendMessage(LVM_SETTEXTBKCOLOR, 0, LPARAM(color))); }
