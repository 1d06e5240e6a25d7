#pragma once
// What the course rules need of the platform library beyond what it offers yet: the
// installation's system GUID and the Mandant chosen in the host.
#include "cstring.h"
#include "guid.h"

namespace kurs {

// The installation's system GUID: HKEY_LOCAL_MACHINE "Software\Qovaro\NQ2", text "SystemID";
// the null GUID when it is not set.
GUID SystemID();
// The Mandant chosen in the host; FALSE (and 0) while the host offers no choice.
BOOL IsMandantSelected();
long ActMandantID();

}  // namespace kurs
