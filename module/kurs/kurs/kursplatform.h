#pragma once
// What the course rules need of the platform library: the installation's system GUID and the
// active Mandant.
#include "cstring.h"
#include "guid.h"

namespace kurs {

// The installation's system GUID: HKEY_LOCAL_MACHINE "Software\Qovaro\NQ2", text "SystemID";
// the null GUID when it is not set.
GUID SystemID();
// The active Mandant of the platform library (NQ_IsMandantSelected, NQ_GetActMandantID).
BOOL IsMandantSelected();
long ActMandantID();

}  // namespace kurs
