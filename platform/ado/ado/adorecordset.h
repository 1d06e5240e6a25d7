#pragma once
// The recordset object: the rows of a statement's result, read one at a time, and for a SELECT
// of a single table the means to change them.
#include "adoconnection.h"
#include "adoint.h"
#include "adoptr.h"
#include "adosession.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace qv::ado {

class RecordsetImpl final : public ComObject<Recordset20, IID_Recordset20> {
public:
    RecordsetImpl() = default;

    HRESULT putref_ActiveConnection(IUnknown* pconn) override;
    HRESULT Open(VARIANT source, VARIANT activeConnection, long cursorType, long lockType, long options) override;
    HRESULT Close() override;
    HRESULT get_State(long* plObjState) override;
    HRESULT get_EOF(VARIANT_BOOL* pb) override;
    HRESULT MoveNext() override;
    HRESULT get_Collect(VARIANT index, VARIANT* pvar) override;
    HRESULT put_Collect(VARIANT index, VARIANT value) override;
    HRESULT Update(VARIANT fields, VARIANT values) override;

    // Opens forward-only and read-only on a run that has a result (Connection::Execute).
    // Throws what the first fetch throws.
    void OpenOnRun(ConnectionImpl* connection, std::shared_ptr<const qv::tsql::Program> program,
                   Session::ColumnList columns, qv::tsql::Execution run);

    // Opens read-only on rows read or still coming (PostgreSQL). Throws what the first row
    // throws.
    void OpenOnRows(ConnectionImpl* connection, Session::Rows rows);

private:
    ~RecordsetImpl() override = default;

    // Opens on `run`; buffered reads all rows now. Throws what fetching throws.
    void Take(std::shared_ptr<const qv::tsql::Program> program, Session::ColumnList columns,
              qv::tsql::Execution run, bool buffered);
    void Reset();
    HRESULT OpenOnPg(const std::string& sql, long cursorType, long lockType);
    HRESULT Fail(HRESULT hr, const std::wstring& description);
    HRESULT FailFromException();
    // The column `index` names, or -1 after recording why.
    int FindColumn(const VARIANT& index, HRESULT* hr);
    HRESULT CheckCurrentRow();
    HRESULT SetValue(int column, const VARIANT& value);
    HRESULT WritePending();
    // PostgreSQL: the row goes back by the table's key, which the hidden last columns hold.
    HRESULT WritePendingPg();
    void TakeKey(const qv::tsql::UpdateTarget& target);
    const qv::sql::Value& Current(int column, qv::sql::Value& scratch) const;

    ComPtr<ConnectionImpl> bound_;
    // While open:
    ComPtr<ConnectionImpl> connection_;
    std::shared_ptr<Session> session_;
    std::shared_ptr<const qv::tsql::Program> program_;
    Session::ColumnList columns_;
    int visibleColumns_ = 0;
    bool open_ = false;
    bool eof_ = true;
    // Forward-only: the run steps through the rows.
    bool streaming_ = false;
    qv::tsql::Execution run_;
    // Otherwise all rows, read at open, or (PostgreSQL, forward-only) the current one of those
    // pgNext_ hands over as the server sends them.
    std::vector<std::vector<qv::sql::Value>> rows_;
    std::function<bool(std::vector<qv::sql::Value>*)> pgNext_;
    std::size_t row_ = 0;
    // Changing rows: the table, and why not when it cannot be done.
    bool updatable_ = false;
    std::string table_;
    std::wstring readOnlyReason_;
    std::vector<std::pair<int, qv::sql::Value>> pending_;
    // On PostgreSQL, the hidden key columns after the visible ones.
    int keyColumns_ = 0;
};

}  // namespace qv::ado
