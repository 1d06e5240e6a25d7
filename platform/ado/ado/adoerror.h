#pragma once
// The connection's error collection and its error objects.
#include "adoint.h"
#include "adoptr.h"
#include <string>
#include <vector>

namespace qv::sql {
struct ErrorInfo;
}

namespace qv::ado {

struct ErrorRecord {
    HRESULT number = 0;
    long nativeError = 0;
    std::wstring source;
    std::wstring description;
    std::wstring sqlState;
};

// Where the errors come from, as Error::get_Source reports it.
inline constexpr const wchar_t* kSourceDriver = L"QvADO SQLite";
inline constexpr const wchar_t* kSourcePgDriver = L"QvADO PostgreSQL";
inline constexpr const wchar_t* kSourceTranslator = L"QvADO T-SQL";
inline constexpr const wchar_t* kSourceObjects = L"QvADO";

ErrorRecord RecordFromDriver(const qv::sql::ErrorInfo& info, const wchar_t* source = kSourceDriver);

class ErrorObject final : public ComObject<Error, IID_Error> {
public:
    explicit ErrorObject(ErrorRecord record) : record_(std::move(record)) {}
    HRESULT get_Number(long* pl) override;
    HRESULT get_Source(BSTR* pbstr) override;
    HRESULT get_Description(BSTR* pbstr) override;
    HRESULT get_SQLState(BSTR* pbstr) override;
    HRESULT get_NativeError(long* pl) override;

private:
    ErrorRecord record_;
};

// Owned by its connection, which fills it; handed out as a live view.
class ErrorCollection final : public ComObject<Errors, IID_Errors> {
public:
    HRESULT get_Count(long* c) override;
    HRESULT get_Item(VARIANT index, Error** ppvObject) override;
    HRESULT Clear() override;

    // Replaces what the collection holds by one error; returns its number.
    HRESULT Set(ErrorRecord record);
    bool Empty() const { return records_.empty(); }

private:
    std::vector<ErrorRecord> records_;
};

}  // namespace qv::ado
