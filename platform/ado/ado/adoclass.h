#pragma once
// Creating the database objects by class id, as CoCreateInstance does for in-process classes.
#include "adoint.h"

namespace qv::ado {

// CLSID_Connection or CLSID_Recordset; the new object's interface `iid` goes to *ppv.
// CLASS_E_NOAGGREGATION with an outer object, CLASS_E_CLASSNOTAVAILABLE for another class.
HRESULT CreateInstance(REFCLSID clsid, IUnknown* outer, REFIID iid, void** ppv);

}  // namespace qv::ado
