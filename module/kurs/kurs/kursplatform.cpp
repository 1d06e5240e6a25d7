#include "kursplatform.h"

#include "nqcommon.h"

#include "qvguid.h"
#include "qvregvalue.h"

namespace kurs {

GUID SystemID() {
    CString strID;
    CQvRegistry::GetValue(L"Software\\Qovaro\\NQ2", L"SystemID", strID, HKEY_LOCAL_MACHINE);
    return CQvGUID(strID.GetString()).GetValue();
}

BOOL IsMandantSelected() { return NQ_IsMandantSelected(false); }

long ActMandantID() { return NQ_GetActMandantID(); }

}  // namespace kurs
