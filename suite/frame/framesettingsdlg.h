#pragma once
// The frame's settings window: the settings pages of the running views that the user may open,
// one shown at a time; a page shown is loaded, a page left is saved.
#include "framehost.h"
#include "wnd.h"

#include <QDialog>

#include <vector>

class QListWidget;
class QStackedWidget;

class CQvFrameSettingsDlg : public QDialog {
public:
    CQvFrameSettingsDlg(CQvFrameHost* pHost, QWidget* parent = nullptr);
    ~CQvFrameSettingsDlg() override;

    struct Page {
        IQvFSetupViewControl* pControl = nullptr;  // with a reference
        CString strCaption;
        CString strGroup;
        long lOrder = 0;
        HWND hWnd = nullptr;
    };
    const std::vector<Page>& Pages() const { return m_pages; }

    // Closes the window once the page shown has saved its changes; a page that refuses a value
    // keeps the window open.
    void reject() override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Select(int index);
    void PlacePage(const Page& page);

    std::vector<Page> m_pages;
    int m_nShown = -1;
    QListWidget* m_pList = nullptr;
    QStackedWidget* m_pStack = nullptr;
    CWnd m_pane;
};
