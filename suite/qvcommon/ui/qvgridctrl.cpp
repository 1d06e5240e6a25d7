#include "qvgridctrl.h"
#include <mutex>

IMPLEMENT_DYNAMIC(CQvGridCtrl, CWnd)

void CQvGridCtrl::RegisterClass() {
    static std::once_flag once;
    std::call_once(once, [] { qv::ui::RegisterPlainWindowClass(QVGRID_CLASSNAME); });
}

BOOL CQvGridCtrl::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
    RegisterClass();
    return CWnd::Create(QVGRID_CLASSNAME, L"", style | WS_CHILD, rect, parent, id);
}
