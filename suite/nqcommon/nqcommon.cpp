#include "nqcommon.h"
#include "qvdblookup.h"
#include "qvregvalue.h"

#include <algorithm>
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

BOOL NQ_IsWebEdition() {
    DWORD value = 0;
    CQvRegistry::GetValue(L"Software\\Qovaro\\NQ2", L"WebEdition", value, HKEY_LOCAL_MACHINE);
    return value != 0 ? TRUE : FALSE;
}

namespace {

// The id when the database holds an active Mandant with it, else 0; the failure when it could
// not be read.
long ExistingMandant(long lMandantID, BOOL bActiveOnly) {
    if (lMandantID <= 0) return 0;
    CString strCondition;
    strCondition.Format(bActiveOnly ? L"lMandantID = %d AND fActive <> 0" : L"lMandantID = %d", lMandantID);
    long lFound = 0;
    const long hr = QvDBLookupLong(L"lMandantID", L"Mandant", strCondition, &lFound, L"Qovaro.NQ2");
    if (FAILED(hr)) return hr;
    return lFound == lMandantID ? lMandantID : 0;
}

std::mutex g_navLock;
std::vector<NQNavigateEntry> g_history;
int g_current = -1;
bool g_navigating = false;
std::function<long(const NQNavigateEntry&)> g_navigator;

long AddEntry(NQNavigateEntry entry) {
    std::lock_guard g(g_navLock);
    if (g_navigating) return S_FALSE;
    if (g_current >= 0 && g_history[std::size_t(g_current)] == entry) return S_FALSE;
    g_history.resize(std::size_t(g_current + 1));
    g_history.push_back(std::move(entry));
    g_current = int(g_history.size()) - 1;
    return S_OK;
}

long Step(int delta) {
    NQNavigateEntry entry;
    std::function<long(const NQNavigateEntry&)> navigator;
    {
        std::lock_guard g(g_navLock);
        const int target = g_current + delta;
        if (target < 0 || target >= int(g_history.size())) return S_FALSE;
        g_current = target;
        entry = g_history[std::size_t(target)];
        navigator = g_navigator;
        g_navigating = true;
    }
    const long hr = navigator ? navigator(entry) : S_OK;
    std::lock_guard g(g_navLock);
    g_navigating = false;
    return FAILED(hr) ? hr : S_OK;
}

}  // namespace

long NQ_GetActMandantID(long& lMandantID) {
    long lChosen = 0;
    CQvRegistry::GetValue(L"Software\\Qovaro\\NQ2\\Common", L"ActMandantID", lChosen);
    const long lResult = ExistingMandant(lChosen, TRUE);
    lMandantID = lResult > 0 ? lResult : 0;
    return lResult;
}

long NQ_GetActMandantID() {
    long lMandantID = 0;
    NQ_GetActMandantID(lMandantID);
    return lMandantID;
}

long NQ_GetMasterMandantID(long& lMandantID) {
    long lMaster = 0;
    CQvRegistry::GetValue(L"Software\\Qovaro\\NQ2", L"MasterMandantID", lMaster, HKEY_LOCAL_MACHINE);
    lMandantID = std::max(ExistingMandant(lMaster, FALSE), 0L);
    return lMandantID;
}

BOOL NQ_IsMandantSelected(bool) { return NQ_GetActMandantID() != 0 ? TRUE : FALSE; }

long NQ_AddViewToNavigate(CString strViewProgID) {
    return AddEntry({NQNavigateEntry::View, strViewProgID, 0, 0, CString()});
}

long NQ_AddIDToNavigate(CString strViewProgID, long lID, long lID2) {
    return AddEntry({NQNavigateEntry::Record, strViewProgID, lID, lID2, CString()});
}

long NQ_AddTabToNavigate(CString strViewName, CString strTabName) {
    return AddEntry({NQNavigateEntry::Tab, strViewName, 0, 0, strTabName});
}

long NQ_NavigateBackward() { return Step(-1); }
long NQ_NavigateForward() { return Step(+1); }

namespace qv::nq {
void SetNavigator(std::function<long(const NQNavigateEntry&)> navigator) {
    std::lock_guard g(g_navLock);
    g_navigator = std::move(navigator);
}

std::vector<NQNavigateEntry> NavigationHistory(int* pnCurrent) {
    std::lock_guard g(g_navLock);
    if (pnCurrent) *pnCurrent = g_current;
    return g_history;
}

void ClearNavigationHistory() {
    std::lock_guard g(g_navLock);
    g_history.clear();
    g_current = -1;
}

long Navigate(const NQNavigateEntry& entry) {
    std::function<long(const NQNavigateEntry&)> navigator;
    {
        std::lock_guard g(g_navLock);
        navigator = g_navigator;
    }
    return navigator ? navigator(entry) : S_OK;
}

void SetEnterpriseEdition(std::optional<bool> central) {
    std::lock_guard g(g_kindLock);
    g_central = central;
}
}  // namespace qv::nq

CString NQ_GetPersonKursStatusBezeichnung(EPersonKursStatus eStatus, long lKursinstanzID, BOOL bTeilnehmer,
                                          CString strLanguage) {
    // Per status: the name in German, French, Italian and English.
    struct Names {
        const wchar_t* text[4];
    };
    static const Names planned = {{L"Geplant", L"Planifié", L"Pianificato", L"Planned"}};
    static const Names reserve = {{L"Reserve", L"Réserve", L"Riserva", L"Reserve"}};
    static const Names names[8] = {
        {{L"Angemeldet", L"Inscrit", L"Iscritto", L"Registered"}},
        {{L"Besucht/Bestanden", L"Fréquenté/Réussi", L"Frequentato/Superato", L"Attended/Passed"}},
        {{L"Nicht besucht", L"Non fréquenté", L"Non frequentato", L"Not attended"}},
        {{L"auf Warteliste", L"Sur liste d'attente", L"In lista d'attesa", L"On waiting list"}},
        {{L"auf Warteliste (Penalty)", L"Sur liste d'attente (pénalité)", L"In lista d'attesa (penalità)",
          L"On waiting list (penalty)"}},
        {{L"Abgemeldet", L"Désinscrit", L"Disiscritto", L"Deregistered"}},
        {{L"Teilweise besucht/Nicht bestanden", L"Partiellement fréquenté/Non réussi",
          L"Frequentato in parte/Non superato", L"Partly attended/Not passed"}},
        {{L"Provisorisch Angemeldet", L"Inscrit provisoirement", L"Iscritto provvisoriamente",
          L"Provisionally registered"}},
    };
    // German for an empty or unknown language.
    const int nLanguage = strLanguage.CompareNoCase(L"FR") == 0   ? 1
                          : strLanguage.CompareNoCase(L"IT") == 0 ? 2
                          : strLanguage.CompareNoCase(L"EN") == 0 ? 3
                                                                  : 0;
    const LONG lStatus = static_cast<LONG>(eStatus);
    if (lStatus < 0 || lStatus > 7) return CString();
    if (lStatus == 0 && lKursinstanzID <= 0) return CString(planned.text[nLanguage]);
    if (lStatus == 3 && !bTeilnehmer) return CString(reserve.text[nLanguage]);
    return CString(names[lStatus].text[nLanguage]);
}

CString NQ_GetPersonBezeichnung(long lPersonID, CString strDefault) {
    CString strCondition;
    strCondition.Format(L"lPersonID = %d", lPersonID);
    CString strName = strDefault;
    QvDBLookupString(L"dbo.fn_GetPersonBezeichnung(lPersonID, 'A')", L"Person", strCondition, &strName, L"Qovaro.NQ2");
    return strName.IsEmpty() ? strDefault : strName;
}
