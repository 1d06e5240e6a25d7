#include "adoerror.h"

#include "sqlitedb.h"
#include "utf.h"

namespace qv::ado {

namespace {

HRESULT OutText(const std::wstring& text, BSTR* pbstr) {
    if (!pbstr) return E_POINTER;
    *pbstr = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *pbstr || text.empty() ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

ErrorRecord RecordFromDriver(const qv::sql::ErrorInfo& info, const wchar_t* source) {
    ErrorRecord r;
    r.number = info.hresult;
    r.nativeError = info.nativeError;
    r.source = source;
    r.description = qv::FromUtf8(info.description);
    r.sqlState = qv::FromUtf8(info.sqlState);
    return r;
}

HRESULT ErrorObject::get_Number(long* pl) {
    if (!pl) return E_POINTER;
    *pl = record_.number;
    return S_OK;
}

HRESULT ErrorObject::get_Source(BSTR* pbstr) { return OutText(record_.source, pbstr); }
HRESULT ErrorObject::get_Description(BSTR* pbstr) { return OutText(record_.description, pbstr); }
HRESULT ErrorObject::get_SQLState(BSTR* pbstr) { return OutText(record_.sqlState, pbstr); }

HRESULT ErrorObject::get_NativeError(long* pl) {
    if (!pl) return E_POINTER;
    *pl = record_.nativeError;
    return S_OK;
}

HRESULT ErrorCollection::get_Count(long* c) {
    if (!c) return E_POINTER;
    *c = static_cast<long>(records_.size());
    return S_OK;
}

HRESULT ErrorCollection::get_Item(VARIANT index, Error** ppvObject) {
    if (!ppvObject) return E_POINTER;
    *ppvObject = nullptr;
    long i = -1;
    if (index.vt == VT_I4) {
        i = index.lVal;
    } else if (index.vt == VT_I2) {
        i = index.iVal;
    } else {
        return ADO_E_INVALIDARGUMENT;
    }
    if (i < 0 || static_cast<std::size_t>(i) >= records_.size()) return ADO_E_ITEMNOTFOUND;
    *ppvObject = new ErrorObject(records_[static_cast<std::size_t>(i)]);
    return S_OK;
}

HRESULT ErrorCollection::Clear() {
    records_.clear();
    return S_OK;
}

HRESULT ErrorCollection::Set(ErrorRecord record) {
    records_.clear();
    const HRESULT hr = record.number;
    records_.push_back(std::move(record));
    return hr;
}

}  // namespace qv::ado
