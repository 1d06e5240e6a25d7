#pragma once
// The suite's platform library: the kind of installation and display names of records.
#include "cstring.h"
#include "qvtypes.h"

#include <optional>

// The registration status of a person in a course or run; the course API defines its values
// (0 to 7) as `enum EPersonKursStatus : LONG { ... }`.
enum EPersonKursStatus : LONG;

// TRUE in the central installation, FALSE in a local one. The kind is a setting of the
// installation (HKEY_LOCAL_MACHINE "Software\Qovaro\NQ2", DWORD "EnterpriseEdition", non-zero for
// the central installation; local when missing), read once and fixed while the process runs.
BOOL NQ_IsEnterpriseEdition();

// The display name of a status; status 0 reads "Angemeldet" for a registration in a run and
// "Geplant" without one (run id -1), status 3 "auf Warteliste" for a participant and "Reserve"
// for an instructor. An unknown status gives strDefault.
CString NQ_GetPersonKursStatusBezeichnung(EPersonKursStatus eStatus, long lKursinstanzID, BOOL bTeilnehmer,
                                          CString strDefault);

// The display name of a person as the suite's lists show it; strDefault when the person has none
// (or does not exist). A failed read has been reported to the user.
CString NQ_GetPersonBezeichnung(long lPersonID, CString strDefault);

namespace qv::nq {
// Fixes the installation kind for this process (tests); nullopt reads the setting again at the
// next call.
void SetEnterpriseEdition(std::optional<bool> central);
}  // namespace qv::nq
