#include "nqsearchcalls.h"

#include "qvregvalue.h"

#include <iterator>
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

CString NQ_GetDeviceTypBezeichnung(long lTyp) {
    static const wchar_t* const kTypes[] = {L"Telefon", L"Mobiltelefon", L"Fax",    L"Pager",
                                            L"Funk",    L"SMS",          L"E-Mail", L"Internet"};
    return lTyp >= 0 && lTyp < long(std::size(kTypes)) ? CString(kTypes[lTyp]) : CString();
}

CString NQ_GetWartungsplanZyklusBezeichnung(long lUnit, long lCount) {
    static const struct {
        const wchar_t* one;
        const wchar_t* many;
    } kUnits[] = {{L"jeden Tag", L"Tage"}, {L"jede Woche", L"Wochen"}, {L"jeden Monat", L"Monate"}, {L"jedes Jahr", L"Jahre"}};
    if (lUnit < 0 || lUnit >= long(std::size(kUnits)) || lCount < 1) return CString();
    if (lCount == 1) return CString(kUnits[lUnit].one);
    CString strText;
    strText.Format(L"alle %ld %s", lCount, kUnits[lUnit].many);
    return strText;
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
