#pragma once
// The Mandant chosen in the host, as the search reads it. The platform library does not offer
// the Mandant calls yet; until it does, the chosen Mandant is kept here (0: none), set by the host.
#include "qvtypes.h"

long Search_GetActMandantID(long& lMandantID);
long Search_GetMasterMandantID(long& lMandantID);
BOOL Search_IsMandantSelected();

namespace qv::search {
void SetActMandant(long lMandantID);
void SetMasterMandant(long lMandantID);
}  // namespace qv::search
