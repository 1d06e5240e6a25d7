#pragma once
// The platform library's calls that the record search makes: the installation's canton and the
// platform's filter and contact dialogs. The dialogs belong to the host's windows; the host (or a
// test) installs what shows them, and without it nothing is shown and nothing changes.
#include "cstring.h"
#include "qvtypes.h"

#include <functional>

// The installation's two-letter canton code: HKEY_LOCAL_MACHINE "Software\Qovaro\NQ2", text
// "Kanton"; empty when not set.
CString NQ_GetActKanton();

// The filter-options dialog of a table; non-zero when the user changed the options.
long NQ_ShowFilterDlg(long lTableID);

// Creates a contact (lContactID -1), from a person's data when bFromPerson; non-zero when one
// was created.
long NQ_ShowContactEditDlg(long lContactID, long lReserved, BOOL bFromPerson);

namespace qv::nq {
using FilterDlgHandler = std::function<long(long lTableID)>;
using ContactEditDlgHandler = std::function<long(long lContactID, long lReserved, BOOL bFromPerson)>;
// An empty handler takes the dialog away again.
void SetFilterDlgHandler(FilterDlgHandler handler);
void SetContactEditDlgHandler(ContactEditDlgHandler handler);
}  // namespace qv::nq
