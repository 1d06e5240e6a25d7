#include "dataloggerserver.h"
#include "oledate.h"
#include "qvhrtrace.h"
#include "qvregvalue.h"
#include "sqlitedb.h"
#include "utf.h"

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>

IMPLEMENT_DYNCREATE(CQvDataLoggerServer, CQvStandInServer)

BEGIN_INTERFACE_MAP(CQvDataLoggerServer, CQvStandInServer)
    INTERFACE_PART(CQvDataLoggerServer, IID_IQvDataLogger, DataLogger)
END_INTERFACE_MAP()

IMPLEMENT_IUNKNOWN(CQvDataLoggerServer, DataLogger)

namespace {

constexpr const wchar_t* kSource = L"qvdataloggerserver";

constexpr const char* kCreateTable =
    "CREATE TABLE IF NOT EXISTS QvDataLog ("
    " lQvDataLogID INTEGER PRIMARY KEY,"
    " dtTime DATETIME NOT NULL DEFAULT (datetime('now','localtime')),"
    " strSource TEXT NOT NULL DEFAULT '',"
    " lLevel INTEGER NOT NULL DEFAULT 0,"
    " guidMessage TEXT NOT NULL DEFAULT '' COLLATE NOCASE,"
    " strText TEXT NOT NULL DEFAULT '',"
    " lThreadID INTEGER NOT NULL DEFAULT 0)";

std::string Utf8(BSTR b) { return b ? qv::ToUtf8(std::wstring_view(b, SysStringLen(b))) : std::string(); }

const char* LevelName(long level) {
    switch (level) {
    case QVDATALOGGER_INFO: return "Info";
    case QVDATALOGGER_WARNING: return "Warning";
    case QVDATALOGGER_ERROR: return "Error";
    case QVDATALOGGER_DEBUG: return "Debug";
    default: return "Level";
    }
}

}  // namespace

CQvDataLoggerServer::CQvDataLoggerServer() = default;
CQvDataLoggerServer::~CQvDataLoggerServer() = default;

std::wstring CQvDataLoggerServer::ConnectionString() {
    CString value;
    if (CQvRegistry::GetValue(L"Software\\Qovaro\\QvDataLogger", L"DBConnection", value) && !value.IsEmpty()) {
        return value.wstr();
    }
    return L"sqlite:" + qv::FromUtf8(QvStandInDataHome()) + L"/qovaro/datalogger.sqlite";
}

HRESULT CQvDataLoggerServer::OnClose() {
    std::lock_guard g(m_lock);
    m_db.reset();
    return S_OK;
}

HRESULT CQvDataLoggerServer::Store(const std::string& source, long level, const std::string& guid,
                                   const std::string& text, long threadId) {
    std::lock_guard g(m_lock);
    if (!m_db) {
        auto db = std::make_unique<qv::sql::SqliteDb>();
        if (db->Open(qv::ToUtf8(ConnectionString())) != SQLITE_OK || db->Exec(kCreateTable) != SQLITE_OK) {
            std::fprintf(stderr, "QvDataLogger: cannot open its database: %s\n", db->LastError().description.c_str());
            return E_FAIL;
        }
        m_db = std::move(db);
    }
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(m_db->Handle(),
                                "INSERT INTO QvDataLog (strSource, lLevel, guidMessage, strText, lThreadID)"
                                " VALUES (?, ?, ?, ?, ?)",
                                -1, &stmt, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_bind_text(stmt, 1, source.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int64(stmt, 2, level);
        sqlite3_bind_text(stmt, 3, guid.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt, 4, text.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int64(stmt, 5, threadId);
        rc = sqlite3_step(stmt);
        rc = rc == SQLITE_DONE ? SQLITE_OK : rc;
    }
    if (rc != SQLITE_OK) std::fprintf(stderr, "QvDataLogger: cannot store an entry: %s\n", sqlite3_errmsg(m_db->Handle()));
    sqlite3_finalize(stmt);
    return rc == SQLITE_OK ? S_OK : E_FAIL;
}

HRESULT CQvDataLoggerServer::XDataLogger::WriteEntry(BSTR bstrSource, long lLevel, BSTR bstrMessageGUID, BSTR bstrText,
                                                      long lThreadID) {
    METHOD_PROLOGUE(CQvDataLoggerServer, DataLogger)
    const std::string source = Utf8(bstrSource);
    const std::string guid = Utf8(bstrMessageGUID);
    const std::string text = Utf8(bstrText);
    if (const char* trace = std::getenv("QV_TRACE"); trace && *trace) {
        const std::string when = COleDateTime::GetCurrentTime().Format().ToUtf8();
        std::fprintf(stderr, "QvDataLogger %s: %s; %s; %s; 0x%lX; %s\n", LevelName(lLevel), when.c_str(), guid.c_str(),
                     source.c_str(), static_cast<unsigned long>(lThreadID), text.c_str());
    }
    const HRESULT hr = pThis->Store(source, lLevel, guid, text, lThreadID);
    return FAILED(hr) ? QV_TRACEHR(kSource, hr) : S_OK;
}

QV_STANDIN_SERVER_EXPORTS(CLSID_QvDataLogger, CQvDataLoggerServer, QVDATALOGGER_PROGID, AfxDllCanUnloadNow())
