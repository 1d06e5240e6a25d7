#pragma once
// The interaction backend with real windows: message boxes, reports, the selection box and the
// wait window as dialogs of the toolkit, and modal dialogs run in their own loop. The application
// object installs it when no other backend is installed.
#include "qvinteract.h"

namespace qv::ui {

qv::IInteraction& QtInteraction();
// Installs the backend with real windows; returns the backend installed before.
qv::IInteraction* InstallQtInteraction();
// Whether the GUI thread is inside a turn in which no window may close: a box or a modal dialog
// runs its loop, or the input that came while the thread was busy is delivered before a box.
bool IsInNestedTurn();

}  // namespace qv::ui
