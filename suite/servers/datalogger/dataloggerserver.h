#pragma once
// The data logger "Qovaro.QvDataLogger". Entries go to the table QvDataLog of its own database,
// whose connection string is HKCU "Software\Qovaro\QvDataLogger", string "DBConnection"
// (default "sqlite:$XDG_DATA_HOME/qovaro/datalogger.sqlite"), and, with QV_TRACE set, to stderr.
// Its own database, so that an entry about a failed statement never waits for, or rolls back
// with, the transaction that failed.
#include "serverbase.h"
#include "qvdataloggerint.h"

#include <memory>
#include <mutex>

namespace qv::sql {
class SqliteDb;
}

class CQvDataLoggerServer : public CQvStandInServer {
    DECLARE_DYNCREATE(CQvDataLoggerServer)
public:
    CQvDataLoggerServer();
    ~CQvDataLoggerServer() override;

    static std::wstring ConnectionString();

protected:
    const CLSID& GetServerClassID() const override { return CLSID_QvDataLogger; }
    LPCWSTR GetServerProgID() const override { return QVDATALOGGER_PROGID; }
    HRESULT OnClose() override;

    BEGIN_INTERFACE_PART(DataLogger, IQvDataLogger)
        HRESULT WriteEntry(BSTR bstrSource, long lLevel, BSTR bstrMessageGUID, BSTR bstrText, long lThreadID) override;
    END_INTERFACE_PART(DataLogger)

    DECLARE_INTERFACE_MAP()

private:
    HRESULT Store(const std::string& source, long level, const std::string& guid, const std::string& text, long threadId);

    std::mutex m_lock;
    std::unique_ptr<qv::sql::SqliteDb> m_db;
};
