#pragma once
// The ADO-shaped database objects the system's database client works with: a connection, its
// error collection and a recordset. Interfaces are abstract classes on IUnknown; arguments are
// BSTR and VARIANT, results HRESULT. `long` is the system's long (arguments of its own fields).
//
// Behind them: the SQLite driver and the T-SQL translator. Every statement the system sends is
// T-SQL; it is translated (translations are cached) and run on the connection's database.
#include "guid.h"
#include "oleauto.h"
#include "qvtypes.h"
#include "unknwn.h"

// ---- values of the properties and options ----------------------------------------------------

enum ExecuteOptionEnum : long {
    adOptionUnspecified = -1,
    adExecuteNoRecords = 128,  // run only; no recordset comes back
};

enum CommandTypeEnum : long {
    adCmdUnspecified = -1,
    adCmdText = 1,
    adCmdUnknown = 8,
};

enum CursorTypeEnum : long {
    adOpenUnspecified = -1,
    adOpenForwardOnly = 0,
    adOpenKeyset = 1,
    adOpenDynamic = 2,
    adOpenStatic = 3,
};

enum LockTypeEnum : long {
    adLockUnspecified = -1,
    adLockReadOnly = 1,
    adLockPessimistic = 2,
    adLockOptimistic = 3,
    adLockBatchOptimistic = 4,
};

enum CursorLocationEnum : long {
    adUseServer = 2,
    adUseClient = 3,
};

enum IsolationLevelEnum : long {
    adXactUnspecified = -1,
    adXactChaos = 16,
    adXactReadUncommitted = 256,
    adXactBrowse = 256,
    adXactReadCommitted = 4096,
    adXactCursorStability = 4096,
    adXactRepeatableRead = 65536,
    adXactSerializable = 1048576,
    adXactIsolated = 1048576,
};

enum ObjectStateEnum : long {
    adStateClosed = 0,
    adStateOpen = 1,
};

// Failures of the objects themselves (as opposed to the database's), with ADO's numbers.
#define ADO_E_INVALIDARGUMENT MAKE_HR(0x800A0BB9u)      // argument of the wrong type or value
#define ADO_E_NOCURRENTRECORD MAKE_HR(0x800A0BCDu)      // BOF or EOF: no current row
#define ADO_E_ILLEGALOPERATION MAKE_HR(0x800A0C93u)     // not allowed in this context
#define ADO_E_ITEMNOTFOUND MAKE_HR(0x800A0CC1u)         // no column of that name or ordinal
#define ADO_E_FEATURENOTAVAILABLE MAKE_HR(0x800A0CB3u)  // e.g. writing to a read-only recordset
#define ADO_E_OBJECTCLOSED MAKE_HR(0x800A0E78u)         // not allowed while closed
#define ADO_E_OBJECTOPEN MAKE_HR(0x800A0E79u)           // not allowed while open
#define ADO_E_INVALIDCONNECTION MAKE_HR(0x800A0E7Du)     // no open connection to run on

// ---- interfaces ------------------------------------------------------------------------------

// One error: what the database (or the translator) reported.
struct Error : IUnknown {
    virtual HRESULT get_Number(long* pl) = 0;  // the HRESULT
    virtual HRESULT get_Source(BSTR* pbstr) = 0;
    virtual HRESULT get_Description(BSTR* pbstr) = 0;
    virtual HRESULT get_SQLState(BSTR* pbstr) = 0;
    virtual HRESULT get_NativeError(long* pl) = 0;
};

// The errors of the connection's last failing call; emptied when the next call begins.
struct Errors : IUnknown {
    virtual HRESULT get_Count(long* c) = 0;
    // index: VT_I4 (or VT_I2), 0-based.
    virtual HRESULT get_Item(VARIANT index, Error** ppvObject) = 0;
    virtual HRESULT Clear() = 0;
};

struct Recordset20;
using _Recordset = Recordset20;

struct _Connection : IUnknown {
    // Connection strings of the driver: "sqlite:PATH", "sqlite::memory:". User and password are
    // not used by SQLite. Every connection opened with the same string on the same thread runs
    // on one shared database connection, so its transaction is theirs too.
    virtual HRESULT Open(BSTR connectionString, BSTR userID, BSTR password, long options) = 0;
    // An open transaction is rolled back only when this is the last open user of the shared
    // database connection; otherwise it stays with the others.
    virtual HRESULT Close() = 0;
    // recordsAffected (may be null) gets VT_I4 rows inserted, updated or deleted. Without
    // adExecuteNoRecords in `options`, *ppiRset (may be null) gets a forward-only, read-only
    // recordset: open on the batch's first result, closed when there is none.
    virtual HRESULT Execute(BSTR commandText, VARIANT* recordsAffected, long options, _Recordset** ppiRset) = 0;
    // T-SQL nesting: level gets the depth after the call; only the outermost commit commits, a
    // rollback at any depth rolls everything back.
    virtual HRESULT BeginTrans(long* transactionLevel) = 0;
    virtual HRESULT CommitTrans() = 0;
    virtual HRESULT RollbackTrans() = 0;
    virtual HRESULT get_IsolationLevel(long* plLevel) = 0;
    virtual HRESULT put_IsolationLevel(long level) = 0;
    virtual HRESULT get_CursorLocation(long* plCursorLoc) = 0;
    virtual HRESULT put_CursorLocation(long cursorLoc) = 0;
    // Seconds a statement waits for a lock held by another connection; 0 = without limit.
    virtual HRESULT get_CommandTimeout(long* plTimeout) = 0;
    virtual HRESULT put_CommandTimeout(long timeout) = 0;
    virtual HRESULT get_State(long* plObjState) = 0;
    virtual HRESULT get_Errors(Errors** ppvObject) = 0;
    // Ends the statement that runs on the shared database connection now; it fails with SQL state
    // "HY008". The one call another thread may make, while the connection is open; asked while
    // no statement runs, it does nothing.
    virtual HRESULT Cancel() = 0;
};

struct Recordset20 : IUnknown {
    // The connection later opens run on; null unbinds. Not while open.
    virtual HRESULT putref_ActiveConnection(IUnknown* pconn) = 0;
    // source: VT_BSTR statement. activeConnection: missing (VT_ERROR DISP_E_PARAMNOTFOUND) or
    // empty for the bound one, or VT_UNKNOWN/VT_DISPATCH holding a connection. With a lock other
    // than read-only, a SELECT of a single table can change its rows (put_Collect, Update). A
    // read-only forward-only cursor streams its rows; the others read them all at once.
    // A statement that returns no rows leaves the recordset closed.
    virtual HRESULT Open(VARIANT source, VARIANT activeConnection, long cursorType, long lockType, long options) = 0;
    virtual HRESULT Close() = 0;
    virtual HRESULT get_State(long* plObjState) = 0;
    virtual HRESULT get_EOF(VARIANT_BOOL* pb) = 0;
    // Changes not yet written by Update are written first.
    virtual HRESULT MoveNext() = 0;
    // index: column name (VT_BSTR, any case) or 0-based ordinal (VT_I4, VT_I2). NULL is VT_NULL,
    // integers VT_I4 (VT_I8 beyond 32 bits), reals VT_R8, text VT_BSTR, blobs VT_ARRAY|VT_UI1;
    // columns declared as a date or time type give VT_DATE, money or currency columns VT_CY.
    virtual HRESULT get_Collect(VARIANT index, VARIANT* pvar) = 0;
    virtual HRESULT put_Collect(VARIANT index, VARIANT value) = 0;
    // Both missing: writes the values set with put_Collect to the current row. A column name or
    // ordinal and a value: sets that column and writes.
    virtual HRESULT Update(VARIANT fields, VARIANT values) = 0;
};

// ---- identifiers -----------------------------------------------------------------------------

inline constexpr IID IID_Error = qv::MakeGuid("57210EA4-773D-45BD-AEE4-75C1C5900915");
inline constexpr IID IID_Errors = qv::MakeGuid("7A30B654-9D60-4D04-9099-BDDF372B0156");
inline constexpr IID IID__Connection = qv::MakeGuid("9F4B6830-44C8-46F9-9C50-010C279A9310");
inline constexpr IID IID_Recordset20 = qv::MakeGuid("0000054F-0000-0010-8000-00AA006D2EA4");
inline constexpr IID IID__Recordset = IID_Recordset20;

inline constexpr CLSID CLSID_Connection = qv::MakeGuid("2FC689D4-7EDD-4BCD-AE4B-6E39D9CF74AE");
inline constexpr CLSID CLSID_Recordset = qv::MakeGuid("00000535-0000-0010-8000-00AA006D2EA4");
