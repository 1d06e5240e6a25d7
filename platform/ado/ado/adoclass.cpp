#include "adoclass.h"

#include "adoconnection.h"
#include "adorecordset.h"

#include <new>

namespace qv::ado {

HRESULT CreateInstance(REFCLSID clsid, IUnknown* outer, REFIID iid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    IUnknown* object = nullptr;
    try {
        if (clsid == CLSID_Connection) {
            object = new ConnectionImpl();
        } else if (clsid == CLSID_Recordset) {
            object = new RecordsetImpl();
        } else {
            return CLASS_E_CLASSNOTAVAILABLE;
        }
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    const HRESULT hr = object->QueryInterface(iid, ppv);
    object->Release();
    return hr;
}

}  // namespace qv::ado
