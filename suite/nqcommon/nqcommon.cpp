#include "nqcommon.h"
#include "qvdblookup.h"
#include "qvregvalue.h"

#include <mutex>

namespace {

std::mutex g_kindLock;
std::optional<bool> g_central;

}  // namespace

BOOL NQ_IsEnterpriseEdition() {
    std::lock_guard g(g_kindLock);
    if (!g_central) {
        DWORD value = 0;
        CQvRegistry::GetValue(L"Software\\Qovaro\\NQ2", L"EnterpriseEdition", value, HKEY_LOCAL_MACHINE);
        g_central = value != 0;
    }
    return *g_central ? TRUE : FALSE;
}

namespace qv::nq {
void SetEnterpriseEdition(std::optional<bool> central) {
    std::lock_guard g(g_kindLock);
    g_central = central;
}
}  // namespace qv::nq

CString NQ_GetPersonKursStatusBezeichnung(EPersonKursStatus eStatus, long lKursinstanzID, BOOL bTeilnehmer,
                                          CString strDefault) {
    switch (static_cast<LONG>(eStatus)) {
    case 0: return CString(lKursinstanzID > 0 ? L"Angemeldet" : L"Geplant");
    case 1: return CString(L"Besucht/Bestanden");
    case 2: return CString(L"Nicht besucht");
    case 3: return CString(bTeilnehmer ? L"auf Warteliste" : L"Reserve");
    case 4: return CString(L"auf Warteliste (Penalty)");
    case 5: return CString(L"Abgemeldet");
    case 6: return CString(L"Teilweise besucht/Nicht bestanden");
    case 7: return CString(L"Provisorisch Angemeldet");
    default: return strDefault;
    }
}

CString NQ_GetPersonBezeichnung(long lPersonID, CString strDefault) {
    CString strCondition;
    strCondition.Format(L"lPersonID = %d", lPersonID);
    CString strName = strDefault;
    QvDBLookupString(L"dbo.fn_GetPersonBezeichnung(lPersonID, 'A')", L"Person", strCondition, &strName, L"Qovaro.NQ2");
    return strName.IsEmpty() ? strDefault : strName;
}
