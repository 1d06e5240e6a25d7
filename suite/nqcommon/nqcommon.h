#pragma once
// The suite's platform library: the kind of installation and display names of records.
#include "cstring.h"
#include "qvtypes.h"

#include <functional>
#include <optional>
#include <vector>

// The registration status of a person in a course or run; the course API defines its values
// (0 to 7) as `enum EPersonKursStatus : LONG { ... }`.
enum EPersonKursStatus : LONG;

// TRUE in the central installation, FALSE in a local one. The kind is a setting of the
// installation (HKEY_LOCAL_MACHINE "Software\Qovaro\NQ2", DWORD "EnterpriseEdition", non-zero for
// the central installation; local when missing), read once and fixed while the process runs.
BOOL NQ_IsEnterpriseEdition();

// The display name of a status; status 0 reads "Angemeldet" for a registration in a run and
// "Geplant" without one (run id -1), status 3 "auf Warteliste" for a participant and "Reserve"
// for an instructor. strLanguage is the language code of the text: "FR", "IT" or "EN" (case
// ignored); German for an empty or any other code. An unknown status gives an empty text.
CString NQ_GetPersonKursStatusBezeichnung(EPersonKursStatus eStatus, long lKursinstanzID, BOOL bTeilnehmer,
                                          CString strLanguage);

// The display name of a person as the suite's lists show it; strDefault when the person has none
// (or does not exist). A failed read has been reported to the user.
CString NQ_GetPersonBezeichnung(long lPersonID, CString strDefault);

// TRUE in the web installation (HKEY_LOCAL_MACHINE "Software\Qovaro\NQ2", DWORD "WebEdition").
BOOL NQ_IsWebEdition();

// The active Mandant: the one the user chose (HKEY_CURRENT_USER "Software\Qovaro\NQ2\Common",
// "ActMandantID") when the suite database holds it as an active Mandant; 0 when none. The first
// form returns the id, or the (negative) failure when the database could not be read, with
// lMandantID 0; the second returns the id, 0 also on failure.
long NQ_GetActMandantID(long& lMandantID);
long NQ_GetActMandantID();
// The installation's own Mandant (HKEY_LOCAL_MACHINE "Software\Qovaro\NQ2", "MasterMandantID")
// when the database holds it; 0 otherwise.
long NQ_GetMasterMandantID(long& lMandantID);
// TRUE when a Mandant is active. The flag asks for a message when none is; none is shown here.
BOOL NQ_IsMandantSelected(bool bShowMessage = false);

// The navigation history of the platform: the views, records and tabs in the order they were
// shown. Stepping backward or forward hands the entry to the navigator the host installed.
long NQ_AddViewToNavigate(CString strViewProgID);
long NQ_AddIDToNavigate(CString strViewProgID, long lID, long lID2);
long NQ_AddTabToNavigate(CString strViewName, CString strTabName);
// S_OK when stepped, S_FALSE at the end of the history.
long NQ_NavigateBackward();
long NQ_NavigateForward();

struct NQNavigateEntry {
    enum Kind { View, Record, Tab } kind = View;
    CString strView;  // the view's ProgID (View, Record) or its name (Tab)
    long lID = 0;
    long lID2 = 0;
    CString strTab;
    bool operator==(const NQNavigateEntry& o) const {
        return kind == o.kind && strView == o.strView && lID == o.lID && lID2 == o.lID2 && strTab == o.strTab;
    }
};

namespace qv::nq {
// The host's navigator, called with the entry stepped to; entries added while it runs are not
// recorded (the view it opens records itself again).
void SetNavigator(std::function<long(const NQNavigateEntry&)> navigator);
// The history and the index of the current entry (-1 when empty).
std::vector<NQNavigateEntry> NavigationHistory(int* pnCurrent = nullptr);
void ClearNavigationHistory();
// Hands the entry to the host's navigator at once (S_OK without one); the history is not touched.
long Navigate(const NQNavigateEntry& entry);
// Fixes the installation kind for this process (tests); nullopt reads the setting again at the
// next call.
void SetEnterpriseEdition(std::optional<bool> central);
}  // namespace qv::nq
