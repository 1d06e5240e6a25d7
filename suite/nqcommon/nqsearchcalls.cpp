#include "nqsearchcalls.h"

#include "qvregvalue.h"

#include <mutex>

namespace {
std::mutex g_handlerLock;
qv::nq::FilterDlgHandler g_filterDlg;
qv::nq::ContactEditDlgHandler g_contactDlg;
}  // namespace

CString NQ_GetActKanton() {
    CString strKanton;
    CQvRegistry::GetValue(L"Software\\Qovaro\\NQ2", L"Kanton", strKanton, HKEY_LOCAL_MACHINE);
    return strKanton;
}

long NQ_ShowFilterDlg(long lTableID) {
    qv::nq::FilterDlgHandler handler;
    {
        std::lock_guard g(g_handlerLock);
        handler = g_filterDlg;
    }
    return handler ? handler(lTableID) : 0;
}

long NQ_ShowContactEditDlg(long lContactID, long lReserved, BOOL bFromPerson) {
    qv::nq::ContactEditDlgHandler handler;
    {
        std::lock_guard g(g_handlerLock);
        handler = g_contactDlg;
    }
    return handler ? handler(lContactID, lReserved, bFromPerson) : 0;
}

namespace qv::nq {
void SetFilterDlgHandler(FilterDlgHandler handler) {
    std::lock_guard g(g_handlerLock);
    g_filterDlg = std::move(handler);
}
void SetContactEditDlgHandler(ContactEditDlgHandler handler) {
    std::lock_guard g(g_handlerLock);
    g_contactDlg = std::move(handler);
}
}  // namespace qv::nq
