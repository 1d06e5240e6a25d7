#pragma once
// The platform library's calls that the planning, archive and custom-data pages make: the Mandant
// of a new record and the two administration dialogs of the custom fields.
#include "cstring.h"
#include "qvtypes.h"

#include <vector>

// The Mandant a new record belongs to: the active one; when none is active the user chooses, in
// dialog IDD_NQ_MANDANT4NEW, among the active Mandanten on whose records of the kind (4 persons
// and their reservations, 6 activities: the table id of their rights) he may edit, the
// installation's own chosen to begin with. FALSE (and lMandantID unchanged) when the user cancels,
// or when there is none he may edit (he is told so).
BOOL NQ_GetMandantID4New(long& lMandantID, long lKind);
inline constexpr UINT IDD_NQ_MANDANT4NEW = 30520;
inline constexpr UINT IDC_NQ_MANDANT4NEW_LIST = 30521;

// Modal dialogs over the custom fields of the tables: which of them are public (CustFieldType
// fPublic) and which can be searched (fUsed4Search). Cancel changes nothing.
void NQ_ShowPublicCustfieldAdminDlg(const std::vector<long>& tables);
void NQ_ShowSearchCustfieldAdminDlg(const std::vector<long>& tables);

class CQvGUID;

// Display names of records, as the suite's cache of names keeps them; empty when the record has
// none. A failed read has been reported to the user.
CString NQ_GetMandantBezeichnung(long lMandantID);
CString NQ_GetKursinstanzBezeichnung(long lKursinstanzID);
CString NQ_GetAreaBezeichnung(long lAreaID);
// lTableID: 4 person, 6 activity, 34 pay rate, 39 course, 42 run, 45 Mandant, 196 area.
CString NQ_GetBezeichnungForId(long lID, long lTableID);
// The record's GUID; the null GUID for a record or table it does not know.
CQvGUID NQ_GetGuidForId(long lID, long lTableID);

// Whether the suite runs that module (its server is in the running-server table).
BOOL NQ_IsModulRunning(CString strProgID);

// Keeps an address of the form name@domain.tld, trimmed and with several addresses separated by
// ";" (bMultiple) or exactly one; an empty address is kept when bAllowEmpty.
BOOL NQ_ValidateEMailAdress(CString& strAddress, bool bMultiple, bool bAllowEmpty);

// The language code of a person's language text: "DE", "FR", "IT", or the first two letters in
// capitals for any other ("" for an empty text).
CString NQ_DetectLanguage(CString strSprache);
