#pragma once
// The toolkit side of a window, for code that draws or arranges with the toolkit itself (the
// suite's controls, the test driver).
#include "wintypes.h"

class QObject;
class QWidget;

namespace qv::ui {
QWidget* WidgetOf(HWND wnd);
// The window a widget belongs to (the widget itself or its nearest ancestor with a window).
HWND HandleOf(const QObject* widget);
}  // namespace qv::ui
