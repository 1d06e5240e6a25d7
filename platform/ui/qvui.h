#pragma once
// Everything of the window layer: windows and messages, drawing, resources, dialogs, controls,
// report lists, menus, tab strips, tool tips, file drops and the real-window interaction backend.
#include "qvinteract.h"
#include "qvwaitdlg.h"
#include "winmsg.h"
#include "gdi.h"
#include "wnd.h"
#include "resource.h"
#include "ctrls.h"
#include "listctrl.h"
#include "treectrl.h"
#include "datetimectrl.h"
#include "dialog.h"
#include "menu.h"
#include "tabctrl.h"
#include "tooltip.h"
#include "dragdrop.h"
#include "qtinteraction.h"
