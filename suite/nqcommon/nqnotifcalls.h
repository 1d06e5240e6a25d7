#pragma once
// The platform and common library calls that the notification dialog and the participant quota
// editor make: display names of Mandanten and areas, mail addresses and languages, the system's
// language and whether a module of the suite runs.
#include "cstring.h"
#include "qvtypes.h"

// The display name of a Mandant (the cached name of table 45); empty when it has none.
CString NQ_GetMandantBezeichnung(long lMandantID);
// The display name of an area; empty when it has none.
CString NQ_GetAreaBezeichnung(long lAreaID);

// Non-zero when the text is one mail address (name@domain.tld, no blanks or separators); the
// address is left trimmed. The two flags are kept for the callers and change nothing here.
BOOL NQ_ValidateEMailAdress(CString& strAddress, bool bReserved1, bool bReserved2);

// The two-letter code of a person's language text: "DE", "FR", "IT" for German, French and
// Italian in their usual spellings and abbreviations, "EN" for English; "" for anything else.
CString NQ_DetectLanguage(CString strSprache);

// The language code of the running system: HKEY_LOCAL_MACHINE "Software\Qovaro\NQ2", text
// "Language"; "DE" when it is not set.
CString QvGetSysLanguage();

// Whether the module with the ProgID runs in this installation: HKEY_LOCAL_MACHINE
// "Software\Qovaro\NQ2\Modules", DWORD value named by the ProgID, non-zero.
BOOL NQ_IsModulRunning(CString strProgID);

// The display name of a run ("name (date)"); empty when it has none.
CString NQ_GetKursinstanzBezeichnung(long lKursinstanzID);
// The display name and the GUID of a record of table 4 (person), 6 (activity), 34 (pay rate),
// 39 (course), 42 (run) or 45 (Mandant); empty text and the null GUID for other tables or a record
// that does not exist.
CString NQ_GetBezeichnungForId(long lID, long lTableID);
class CQvGUID;
CQvGUID NQ_GetGuidForId(long lID, long lTableID);
