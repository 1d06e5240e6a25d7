#pragma once
// The platform library's calls that the planning, archive and custom-data pages make: the Mandant
// of a new record and the two administration dialogs of the custom fields.
#include "cstring.h"
#include "qvtypes.h"

#include <vector>

// The Mandant a new record belongs to: the active one, else the installation's own. FALSE (and
// lMandantID unchanged) when there is none. The kind of record (4 reservation, 6 activity) does
// not change the choice.
BOOL NQ_GetMandantID4New(long& lMandantID, long lKind);

// Modal dialogs over the custom fields of the tables: which of them are public (CustFieldType
// fPublic) and which can be searched (fUsed4Search). Cancel changes nothing.
void NQ_ShowPublicCustfieldAdminDlg(const std::vector<long>& tables);
void NQ_ShowSearchCustfieldAdminDlg(const std::vector<long>& tables);
