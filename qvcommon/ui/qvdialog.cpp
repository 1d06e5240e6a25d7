#include "qvdialog.h"
#include "qtwidget.h"
#include <QEvent>
#include <QHelpEvent>
#include <QToolTip>
#include <QWidget>

IMPLEMENT_DYNAMIC(CQvDialog, CDialogEx)

namespace {

// Shows the dialog's current text for a control when the toolkit asks for its tool tip.
class TipFilter : public QObject {
public:
    explicit TipFilter(HWND dialog) : dialog_(dialog) {}
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() != QEvent::ToolTip || !o->isWidgetType()) return false;
        auto* dlg = dynamic_cast<CQvDialog*>(CWnd::FromHandlePermanent(dialog_));
        if (!dlg) return false;
        const QVariant handle = o->property("qvHwnd");
        if (!handle.isValid()) return false;
        const HWND control = reinterpret_cast<HWND>(std::uintptr_t(handle.toULongLong()));
        const CString text = dlg->GetToolTipText(control);
        auto* help = static_cast<QHelpEvent*>(e);
        if (text.IsEmpty()) QToolTip::hideText();
        else QToolTip::showText(help->globalPos(), QString::fromStdWString(text.wstr()), static_cast<QWidget*>(o));
        return true;
    }

private:
    HWND dialog_;
};

}  // namespace

BEGIN_MESSAGE_MAP(CQvDialog, CDialogEx)
    ON_WM_DESTROY()
END_MESSAGE_MAP()

void CQvDialog::OnDestroy() {
    delete static_cast<TipFilter*>(m_pTipFilter);
    m_pTipFilter = nullptr;
    CDialogEx::OnDestroy();
}

BOOL CQvDialog::OnInitDialog() {
    CDialogEx::OnInitDialog();
    if (const QvStaticMapEntry* map = GetStaticMap()) {
        for (; map->ctrlId; ++map) {
            CString text;
            if (text.LoadString(map->stringId)) SetDlgItemText(int(map->ctrlId), text);
        }
    }
    for (const auto& [id, text] : m_toolTips) ApplyToolTip(id);
    return TRUE;
}

BOOL CQvDialog::PreTranslateMessage(MSG* msg) { return CDialogEx::PreTranslateMessage(msg); }

void CQvDialog::AddToolTipText(UINT ctrlId, UINT stringId) {
    CString text;
    text.LoadString(stringId);
    AddToolTipText(ctrlId, text);
}

void CQvDialog::AddToolTipText(UINT ctrlId, LPCWSTR text) {
    m_toolTips[ctrlId] = text ? text : L"";
    if (m_hWnd) ApplyToolTip(ctrlId);
}

void CQvDialog::ApplyToolTip(UINT ctrlId) {
    CWnd* control = GetDlgItem(int(ctrlId));
    QWidget* w = control ? qv::ui::WidgetOf(control->m_hWnd) : nullptr;
    if (!w) return;
    if (!m_pTipFilter) {
        auto* filter = new TipFilter(m_hWnd);
        filter->setParent(qv::ui::WidgetOf(m_hWnd));
        m_pTipFilter = filter;
    }
    // Statics let the mouse through; one with a tip must take it to show the tip.
    w->setAttribute(Qt::WA_TransparentForMouseEvents, false);
    w->setToolTip(QString::fromStdWString(m_toolTips[ctrlId].wstr()));
    w->installEventFilter(static_cast<TipFilter*>(m_pTipFilter));
}

CString CQvDialog::GetToolTipText(HWND control) {
    const auto it = m_toolTips.find(UINT(::GetDlgCtrlID(control)));
    return it == m_toolTips.end() ? CString() : it->second;
}

void CQvDialog::SetBackgroundColor(long mode, COLORREF color) {
    m_nBackgroundMode = mode;
    m_crBackground = color;
    switch (mode) {
    case QVBK_COLOR:
        CDialogEx::SetBackgroundColor(color);
        break;
    case QVBK_WINDOW:
        CDialogEx::SetBackgroundColor(GetSysColor(COLOR_WINDOW));
        break;
    default:
        CDialogEx::SetBackgroundColor(CLR_NONE);
        break;
    }
}

COLORREF CQvDialog::GetBackgroundColor() const {
    switch (m_nBackgroundMode) {
    case QVBK_COLOR: return m_crBackground;
    case QVBK_WINDOW: return GetSysColor(COLOR_WINDOW);
    default: return GetSysColor(COLOR_BTNFACE);
    }
}

void DDX_CBParam(CDataExchange* dx, int id, long& value) {
    if (dx->m_bFailed) return;
    const HWND combo = dx->PrepareCtrl(id);
    if (!combo) return;
    if (dx->m_bSaveAndValidate) {
        const LRESULT sel = ::SendMessageW(combo, CB_GETCURSEL, 0, 0);
        value = sel == CB_ERR ? -1 : long(::SendMessageW(combo, CB_GETITEMDATA, WPARAM(sel), 0));
        return;
    }
    const int count = int(::SendMessageW(combo, CB_GETCOUNT, 0, 0));
    int found = -1;
    for (int i = 0; i < count && found < 0; ++i)
        if (long(::SendMessageW(combo, CB_GETITEMDATA, WPARAM(i), 0)) == value) found = i;
    ::SendMessageW(combo, CB_SETCURSEL, WPARAM(INT_PTR(found)), 0);
}
