#include "framesettingsdlg.h"
#include "framecom.h"
#include "qtwidget.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

using qvframe::FetchText;

namespace {

QString Q(const CString& s) { return QString::fromStdWString(s.wstr()); }

}  // namespace

CQvFrameSettingsDlg::CQvFrameSettingsDlg(CQvFrameHost* pHost, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromUtf8("Einstellungen"));
    resize(820, 560);

    // The pages of every running view, as far as the user may open them.
    for (const auto& v : pHost->Views()) {
        for (int index = 0;; ++index) {
            IUnknown* pUnknown = nullptr;
            if (v->pInit->CreateSetupPage(index, &pUnknown) != S_OK || !pUnknown) break;
            Page page;
            pUnknown->QueryInterface(IID_IQvFSetupViewControl, reinterpret_cast<void**>(&page.pControl));
            pUnknown->Release();
            if (!page.pControl) continue;
            page.pControl->SetSecurity(nullptr, 1);
            BOOL bCanLoad = FALSE;
            if (FAILED(page.pControl->CanLoad(&bCanLoad)) || !bCanLoad) {
                page.pControl->Release();
                continue;
            }
            page.strCaption = FetchText(page.pControl, &IQvFSetupViewControl::GetCaption);
            page.strGroup = FetchText(page.pControl, &IQvFSetupViewControl::GetGroupName);
            page.pControl->GetViewValue(&page.lOrder);
            m_pages.push_back(page);
        }
    }
    std::stable_sort(m_pages.begin(), m_pages.end(), [](const Page& a, const Page& b) { return a.lOrder < b.lOrder; });

    auto* layout = new QVBoxLayout(this);
    auto* body = new QHBoxLayout;
    m_pList = new QListWidget(this);
    m_pList->setMaximumWidth(220);
    m_pStack = new QStackedWidget(this);
    body->addWidget(m_pList);
    body->addWidget(m_pStack, 1);
    layout->addLayout(body, 1);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QString::fromUtf8("Schliessen"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    if (m_pages.empty()) {
        auto* none = new QLabel(QString::fromUtf8("Keine Einstellungsseiten vorhanden."), m_pStack);
        none->setAlignment(Qt::AlignCenter);
        m_pStack->addWidget(none);
        m_pList->setEnabled(false);
        return;
    }
    m_pane.CreateEx(0, AfxRegisterWndClass(0), L"", 0, 0, 0, 600, 480, nullptr, nullptr);
    if (QWidget* paneWidget = qv::ui::WidgetOf(m_pane.GetSafeHwnd())) m_pStack->addWidget(paneWidget);
    for (const Page& page : m_pages) {
        const QString text = page.strGroup.IsEmpty() ? Q(page.strCaption)
                                                     : QString::fromUtf8("%1 – %2").arg(Q(page.strGroup), Q(page.strCaption));
        new QListWidgetItem(style()->standardIcon(QStyle::SP_FileDialogContentsView), text, m_pList);
    }
    connect(m_pList, &QListWidget::currentRowChanged, this, [this](int row) { Select(row); });
    m_pList->setCurrentRow(0);
}

CQvFrameSettingsDlg::~CQvFrameSettingsDlg() {
    // The page shown saves what changed when it is hidden; then every page closes.
    if (m_nShown >= 0) m_pages[size_t(m_nShown)].pControl->ShowView(FALSE);
    for (Page& page : m_pages) {
        page.pControl->CloseView();
        page.pControl->ReleaseView();
        page.pControl->Release();
    }
    if (QWidget* paneWidget = qv::ui::WidgetOf(m_pane.GetSafeHwnd())) {
        m_pStack->removeWidget(paneWidget);
        paneWidget->setParent(nullptr);
    }
    if (m_pane.GetSafeHwnd()) m_pane.DestroyWindow();
}

void CQvFrameSettingsDlg::reject() {
    if (m_nShown >= 0) {
        if (FAILED(m_pages[size_t(m_nShown)].pControl->ShowView(FALSE))) return;
        m_nShown = -1;
    }
    QDialog::reject();
}

void CQvFrameSettingsDlg::Select(int index) {
    if (index < 0 || index >= int(m_pages.size()) || index == m_nShown) return;
    if (m_nShown >= 0 && FAILED(m_pages[size_t(m_nShown)].pControl->ShowView(FALSE))) {
        // The page shown refused a value: it stays, with what was typed.
        const QSignalBlocker block(m_pList);
        m_pList->setCurrentRow(m_nShown);
        return;
    }
    Page& page = m_pages[size_t(index)];
    if (!page.hWnd) {
        HWND hWnd = m_pane.GetSafeHwnd();
        if (SUCCEEDED(page.pControl->CreateView(&hWnd))) page.hWnd = hWnd;
    }
    m_nShown = index;
    PlacePage(page);
    page.pControl->ShowView(TRUE);
}

void CQvFrameSettingsDlg::PlacePage(const Page& page) {
    if (!page.hWnd || !m_pane.GetSafeHwnd()) return;
    RECT rc{};
    m_pane.GetClientRect(&rc);
    ::MoveWindow(page.hWnd, 0, 0, rc.right - rc.left, rc.bottom - rc.top, TRUE);
}

void CQvFrameSettingsDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    if (m_nShown >= 0) PlacePage(m_pages[size_t(m_nShown)]);
}
