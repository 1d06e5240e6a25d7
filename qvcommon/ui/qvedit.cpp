#include "qvedit.h"
#include "qtwidget.h"
#include <QLineEdit>
#include <QPalette>
#include <QPlainTextEdit>

IMPLEMENT_DYNAMIC(CQvEdit, CEdit)

void CQvEdit::SetPromptText(LPCWSTR text, COLORREF color) {
    m_strPrompt = text ? text : L"";
    m_crPrompt = color;
    ShowPrompt();
}

void CQvEdit::SetPromptText(UINT stringId, COLORREF color) {
    CString text;
    text.LoadString(stringId);
    SetPromptText(text, color);
}

void CQvEdit::PreSubclassWindow() {
    CEdit::PreSubclassWindow();
    ShowPrompt();
}

void CQvEdit::ShowPrompt() {
    QWidget* widget = qv::ui::WidgetOf(m_hWnd);
    if (!widget) return;
    const QString prompt = QString::fromStdWString(m_strPrompt.GetString());
    QPalette pal = widget->palette();
    pal.setColor(QPalette::PlaceholderText, QColor(GetRValue(m_crPrompt), GetGValue(m_crPrompt), GetBValue(m_crPrompt)));
    widget->setPalette(pal);
    if (auto* line = qobject_cast<QLineEdit*>(widget)) line->setPlaceholderText(prompt);
    if (auto* multi = qobject_cast<QPlainTextEdit*>(widget)) multi->setPlaceholderText(prompt);
}
