#include "searchplatform.h"

#include <atomic>

namespace {
std::atomic<long> g_actMandant{0};
std::atomic<long> g_masterMandant{0};
}  // namespace

long Search_GetActMandantID(long& lMandantID) {
    lMandantID = g_actMandant.load();
    return S_OK;
}

long Search_GetMasterMandantID(long& lMandantID) {
    lMandantID = g_masterMandant.load();
    return S_OK;
}

BOOL Search_IsMandantSelected() { return g_actMandant.load() != 0; }

namespace qv::search {
void SetActMandant(long lMandantID) { g_actMandant = lMandantID; }
void SetMasterMandant(long lMandantID) { g_masterMandant = lMandantID; }
}  // namespace qv::search
