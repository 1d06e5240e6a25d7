#include "kursplatform.h"

#include "kursint.h"
#include "qvregvalue.h"

namespace kurs {

CString PersonBezeichnung(long lPersonID) {
    CString strName;
    CString strWhere;
    strWhere.Format(L"lPersonID = %d", lPersonID);
    const long hr = QvDBLookupString(L"dbo.fn_GetPersonBezeichnung(lPersonID, 'A')", L"Person", strWhere, &strName,
                                     kProfile);
    if (FAILED(hr)) KURS_TRACEHR(hr);
    return strName;
}

GUID SystemID() {
    CString strID;
    CQvRegistry::GetValue(L"Software\\Qovaro\\NQ2", L"SystemID", strID, HKEY_LOCAL_MACHINE);
    return CQvGUID(strID.GetString()).GetValue();
}

BOOL IsMandantSelected() { return FALSE; }

long ActMandantID() { return 0; }

}  // namespace kurs
