#include "optionstandin.h"
#include "extensions.h"
#include "optiondefaults.h"
#include "qvadoconnection.h"
#include "qvadorecordset.h"
#include "qvdatetime.h"
#include "qvdblookup.h"
#include "qvhrtrace.h"
#include "suitedb.h"

#include <sqlite3.h>

IMPLEMENT_DYNCREATE(CQvOptionServer, CQvStandInServer)

BEGIN_INTERFACE_MAP(CQvOptionServer, CQvStandInServer)
    INTERFACE_PART(CQvOptionServer, IID_IOptionServer, OptionServer)
END_INTERFACE_MAP()

IMPLEMENT_IUNKNOWN(CQvOptionServer, OptionServer)

namespace {

constexpr const wchar_t* kSource = L"qvoptionserver";
constexpr const wchar_t* kProfile = L"Qovaro.NQ2";
constexpr int kMaxName = 100;
constexpr int kMaxValue = 4000;


void CreateTables(sqlite3* db, std::vector<qv::sql::Value>&) {
    if (sqlite3_table_column_metadata(db, "main", "QvOption", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr) ==
        SQLITE_OK) {
        return;
    }
    std::string sql(qv::suite::OptionTableSql());
    // A file that may not be written and has never had the table: the connection gets an empty
    // one of its own, so every option reads as its default and the file is left as it is.
    if (sqlite3_db_readonly(db, "main") == 1) sql.replace(sql.find("CREATE TABLE"), 12, "CREATE TEMP TABLE");
    char* error = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string text = error ? error : "cannot create QvOption";
        sqlite3_free(error);
        throw qv::sql::ProcedureError(text);
    }
}

std::wstring Text(BSTR b) { return b ? std::wstring(b, SysStringLen(b)) : std::wstring(); }

struct Stored {
    bool found = false;
    long type = VT_BSTR;
    CString value;
};

// The stored value of one owner.
HRESULT ReadStored(CQvADOConnection& conn, long lArea, const CString& strName, long lUserID, Stored& out) {
    CString sql;
    sql.Format(L"SELECT TOP 1 lType, strValue FROM QvOption WHERE lArea = %d AND strName = '%s' AND lQvSecUserID = %d",
               lArea, QvSQLString(strName, 0), lUserID);
    CQvADORecordset rs(&conn);
    HRESULT hr = rs.OpenSQL(sql, 0, 1);
    BOOL eof = TRUE;
    if (SUCCEEDED(hr)) hr = rs.IsEOF(&eof);
    if (SUCCEEDED(hr) && !eof) {
        out.found = true;
        hr = rs.GetFieldValue(L"lType", &out.type);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strValue", &out.value);
    }
    rs.Close();
    return hr;
}

// The answer for a value of that type: S_FALSE and an empty VARIANT for an empty text.
HRESULT Answer(long lType, const CString& strValue, VARIANT* pValue) {
    if (lType == VT_I4) {
        pValue->vt = VT_I4;
        pValue->lVal = static_cast<LONG>(std::wcstoll(strValue.GetString(), nullptr, 10));
        return S_OK;
    }
    if (strValue.IsEmpty()) return S_FALSE;
    pValue->vt = VT_BSTR;
    pValue->bstrVal = strValue.AllocSysString();
    return pValue->bstrVal ? S_OK : E_OUTOFMEMORY;
}

HRESULT Prepare(CQvADOConnection& conn) {
    HRESULT hr = conn.Open(kProfile, 0);
    if (SUCCEEDED(hr)) hr = conn.Execute(L"EXEC qv_CreateOptionTables");
    return hr;
}

}  // namespace

CQvOptionServer::CQvOptionServer() {
    qv::sql::RegisterProcedure("qv_CreateOptionTables", CreateTables);
}

HRESULT CQvOptionServer::XOptionServer::GetOption(long lArea, BSTR bstrName, long lScope, long, VARIANT* pValue) {
    if (!pValue) return E_POINTER;
    VariantInit(pValue);
    const CString strName(Text(bstrName));
    if (strName.IsEmpty() || strName.GetLength() > kMaxName) return E_INVALIDARG;

    CQvADOConnection conn;
    HRESULT hr = Prepare(conn);
    Stored stored;
    const long lUserID = static_cast<long>(qv::suite::GetSystemID());
    if (SUCCEEDED(hr) && lScope == -1 && lUserID != 0) hr = ReadStored(conn, lArea, strName, lUserID, stored);
    if (SUCCEEDED(hr) && !stored.found) hr = ReadStored(conn, lArea, strName, 0, stored);
    if (FAILED(hr)) return QV_TRACEHR(kSource, hr);

    if (stored.found) return Answer(stored.type, stored.value, pValue);
    const QvOptionDefault* def = QvFindOptionDefault(lArea, strName);
    if (!def) return S_FALSE;
    CString value;
    if (def->vt == VT_I4) {
        value.Format(L"%d", def->lValue);
    } else {
        value = def->lpszValue;
    }
    return Answer(def->vt, value, pValue);
}

HRESULT CQvOptionServer::XOptionServer::SetOption(long lArea, BSTR bstrName, long lLookup, VARIANT value) {
    const CString strName(Text(bstrName));
    if (strName.IsEmpty() || strName.GetLength() > kMaxName) return E_INVALIDARG;

    // Numbers are kept as numbers; texts and dates as their text.
    long lType = VT_BSTR;
    CString strValue;
    VARIANT converted;
    VariantInit(&converted);
    switch (value.vt) {
    case VT_EMPTY:
    case VT_NULL:
        break;
    case VT_BSTR:
        strValue = Text(value.bstrVal).c_str();
        break;
    case VT_DATE:
        strValue = CQvDateTime(value.date).GetNormalizedDateTime();
        break;
    default:
        if (FAILED(VariantChangeType(&converted, &value, 0, VT_I4))) return DISP_E_TYPEMISMATCH;
        lType = VT_I4;
        strValue.Format(L"%d", converted.lVal);
        break;
    }
    if (strValue.GetLength() > kMaxValue) return E_INVALIDARG;

    const long lUserID = lLookup == 0 ? 0 : static_cast<long>(qv::suite::GetSystemID());
    CQvADOConnection conn;
    HRESULT hr = Prepare(conn);
    if (SUCCEEDED(hr)) {
        const CString name = QvSQLString(strName, 0);
        const CString text = QvSQLString(strValue, 0);
        CString sql;
        sql.Format(L"IF EXISTS (SELECT 1 FROM QvOption WHERE lArea = %d AND strName = '%s' AND lQvSecUserID = %d) "
                   L"UPDATE QvOption SET lType = %d, strValue = '%s' WHERE lArea = %d AND strName = '%s' AND lQvSecUserID = %d "
                   L"ELSE INSERT INTO QvOption (lArea, strName, lQvSecUserID, lType, strValue) VALUES (%d, '%s', %d, %d, '%s')",
                   lArea, name, lUserID, lType, text, lArea, name, lUserID, lArea, name, lUserID, lType, text);
        hr = conn.Execute(sql);
    }
    return FAILED(hr) ? QV_TRACEHR(kSource, hr) : S_OK;
}

// Never: the database engine keeps calling the procedure that creates the server's table.
QV_STANDIN_SERVER_EXPORTS(CLSID_OptionServer, CQvOptionServer, QVOPTIONSERVER_PROGID, S_FALSE)
