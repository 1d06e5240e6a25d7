#pragma once
// The course API against a real suite database: a temporary registry and data folder, the
// database server running as the host's server on a fresh database built from the suite schema,
// a host frame that offers a recording user log, a recording event server and an option server
// answering from a table, the scripted interaction, and helpers that put rows into the database
// and read them back over a connection of their own.
#include "fakehost.h"
#include "kursint.h"
#include "nqcommon.h"
#include "optionserverint.h"
#include "qvdataloggerint.h"
#include "qvcomserver.h"
#include "qverrorinfo.h"
#include "qveventserver.h"
#include "qvsecint.h"
#include "scripted.h"
#include "servertest.h"
#include "sqlitedb.h"
#include "suitedb.h"
#include "userlogint.h"
#include "vrqkurs.h"
#ifdef QV_KURS_PG
#include "pgdb.h"
namespace qv::sql {
struct PgRun;
}
#endif

#include <functional>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <variant>
#include <string>
#include <vector>

namespace kurstest {

struct LogEntry {
    long kind = 0;
    std::wstring text, detail, module;
    long value = 0, tableID = 0;
    GUID object{}, parent{};
    long code = 0, grouping = 0;
};

class FakeUserLog : public qvtest::StackObject<IUserLog, IID_IUserLog> {
public:
    HRESULT Write(long lKind, BSTR bstrText, BSTR bstrDetail, BSTR bstrModul, long lValue, long lTableID,
                  GUID guidObject, GUID guidParent, long lCode, long lGrouping) override {
        std::lock_guard g(lock);
        if (fail) {
            if (!refusal.empty()) Refuse(refusal);
            return fail;
        }
        if (write) {
            const HRESULT hr = write();
            if (FAILED(hr)) return hr;
        }
        entries.push_back({lKind, qvtest::Str(bstrText), qvtest::Str(bstrDetail), qvtest::Str(bstrModul), lValue,
                           lTableID, guidObject, guidParent, lCode, lGrouping});
        return S_OK;
    }
    HRESULT ShowSpecificUserLog(long, BSTR, BSTR, BSTR, GUID) override { return S_OK; }
    std::vector<LogEntry> Entries() {
        std::lock_guard g(lock);
        return entries;
    }
    std::mutex lock;
    std::vector<LogEntry> entries;
    HRESULT fail = S_OK;  // answer of every write when set
    std::wstring refusal; // what the server says of a refused write, when set
    // Leaves the server's cause for the caller, as the suite's server does.
    static void Refuse(std::wstring text) {
        ICreateErrorInfo* create = nullptr;
        CreateErrorInfo(&create);
        create->SetDescription(text.data());
        IErrorInfo* info = nullptr;
        create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info));
        SetErrorInfo(0, info);
        info->Release();
        create->Release();
    }
    // When set, each entry is also a write on the database, as the suite's server makes it.
    std::function<HRESULT()> write;
};

struct FiredEvent {
    GUID id{};
    long value = 0;
};

class FakeEventServer : public qvtest::StackObject<IQvEventServer, IID_IQvEventServer> {
public:
    HRESULT FireEvents(long count, GUID* ids, VARIANT* values) override {
        std::lock_guard g(lock);
        for (long i = 0; i < count; ++i) events.push_back({ids[i], values[i].vt == VT_I4 ? values[i].lVal : 0});
        return S_OK;
    }
    HRESULT GetEventName(GUID, BSTR* name) override {
        *name = nullptr;
        return S_FALSE;
    }
    HRESULT FireEvent(GUID event, VARIANT value, BOOL) override { return FireEvents(1, &event, &value); }
    HRESULT FireEventString(GUID, BSTR) override { return S_OK; }
    std::vector<FiredEvent> Events() {
        std::lock_guard g(lock);
        return events;
    }
    std::mutex lock;
    std::vector<FiredEvent> events;
};

class FakeOptionServer : public qvtest::StackObject<IOptionServer, IID_IOptionServer> {
public:
    HRESULT GetOption(long lArea, BSTR bstrName, long, long, VARIANT* pValue) override {
        std::lock_guard g(lock);
        VariantInit(pValue);
        if (failing.count(qvtest::Str(bstrName))) return E_FAIL;
        auto it = values.find({lArea, qvtest::Str(bstrName)});
        if (it == values.end()) return S_FALSE;
        if (const auto* n = std::get_if<long>(&it->second)) {
            pValue->vt = VT_I4;
            pValue->lVal = *n;
        } else {
            pValue->vt = VT_BSTR;
            pValue->bstrVal = SysAllocString(std::get<std::wstring>(it->second).c_str());
        }
        return S_OK;
    }
    // Numbers and texts are kept, so that what a settings page wrote reads back. As on the real
    // server, a write with a lookup flag other than 0 is the signed-in user's own, which no read of
    // the installation's settings sees.
    HRESULT SetOption(long lArea, BSTR bstrName, long lLookup, VARIANT value) override {
        if (lLookup != 0) return S_OK;
        if (value.vt == VT_I4) Set(lArea, qvtest::Str(bstrName), static_cast<long>(value.lVal));
        else if (value.vt == VT_BSTR) Set(lArea, qvtest::Str(bstrName), qvtest::Str(value.bstrVal));
        return S_OK;
    }
    void Set(long area, const std::wstring& name, long value) {
        std::lock_guard g(lock);
        values[{area, name}] = value;
    }
    void Set(long area, const std::wstring& name, const std::wstring& value) {
        std::lock_guard g(lock);
        values[{area, name}] = value;
    }
    std::mutex lock;
    std::map<std::pair<long, std::wstring>, std::variant<long, std::wstring>> values;
    std::set<std::wstring> failing;  // names whose reads fail
};

// A security server that answers rights from a table (per GUID and key; everything else gets the
// default answer), names a configurable user and records the grants.
class FakeSecServer : public IQvSecServer, public IQvSecUser, public IQvSecAdmin {
public:
    HRESULT QueryInterface(REFIID iid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (iid == IID_IUnknown || iid == IID_IQvSecServer) *ppv = static_cast<IQvSecServer*>(this);
        else if (iid == IID_IQvSecUser) *ppv = static_cast<IQvSecUser*>(this);
        else if (iid == IID_IQvSecAdmin) *ppv = static_cast<IQvSecAdmin*>(this);
        if (!*ppv) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }

    HRESULT GetRights(GUID guid, BSTR key, long* rights) override {
        std::lock_guard g(lock);
        auto it = answers.find({guid, qvtest::Str(key)});
        *rights = it == answers.end() ? defaultRights : it->second;
        return rightsResult;
    }
    HRESULT Reserved4() override { return E_NOTIMPL; }
    HRESULT Reserved5() override { return E_NOTIMPL; }
    HRESULT Reserved6() override { return E_NOTIMPL; }
    HRESULT ShowRightDlg(GUID guid, long flag) override {
        std::lock_guard g(lock);
        rightDialogs.emplace_back(guid, flag);
        return S_OK;
    }
    HRESULT ShowSetRightDlg(GUID, BSTR, long) override { return E_NOTIMPL; }

    HRESULT Logon(BSTR) override { return E_NOTIMPL; }
    HRESULT Reserved7() override { return E_NOTIMPL; }
    HRESULT Reserved8() override { return E_NOTIMPL; }
    HRESULT Reserved9() override { return E_NOTIMPL; }
    HRESULT GetUser(BSTR* name, BSTR* userId, long* id) override {
        std::lock_guard g(lock);
        if (userID < 0) return E_FAIL;
        *name = SysAllocString(userName.c_str());
        *userId = SysAllocString(userGuid.c_str());
        *id = userID;
        return S_OK;
    }
    HRESULT SetRights(BSTR objectKey, BSTR key2, GUID function, BSTR name, long mask) override {
        std::lock_guard g(lock);
        grants.push_back({qvtest::Str(objectKey), qvtest::Str(key2), function, qvtest::Str(name), mask});
        return S_OK;
    }

    // The rights of the user on a function (key empty) or on an object and key.
    void Answer(const std::wstring& guid, const std::wstring& key, DWORD mask) {
        std::lock_guard g(lock);
        GUID id{};
        if (!guid.empty()) qv::GuidFromString(guid, id);
        answers[{id, key}] = static_cast<long>(static_cast<LONG>(mask));
    }

    struct Grant {
        std::wstring objectKey, key2;
        GUID function;
        std::wstring name;
        long mask;
    };
    std::mutex lock;
    std::atomic<ULONG> refs{1};
    std::map<std::pair<GUID, std::wstring>, long> answers;
    long defaultRights = 0;
    HRESULT rightsResult = S_OK;  // a failure: the rights could not be read (database gone)
    long userID = 5;  // negative: the server cannot name the user
    std::wstring userName = L"Kursleiter";
    std::wstring userGuid;  // the user's guid, which names his person through Contact
    std::vector<Grant> grants;
    std::vector<std::pair<GUID, long>> rightDialogs;  // the rights dialogs opened: function and flag
};

struct DataLoggerEntry {
    std::wstring source;
    long level = 0;
    std::wstring message, text;
};

class FakeDataLogger : public qvtest::StackObject<IQvDataLogger, IID_IQvDataLogger> {
public:
    HRESULT WriteEntry(BSTR source, long level, BSTR message, BSTR text, long) override {
        std::lock_guard g(lock);
        entries.push_back({qvtest::Str(source), level, qvtest::Str(message), qvtest::Str(text)});
        return S_OK;
    }
    // The entries written under the source name.
    std::vector<DataLoggerEntry> Entries(const std::wstring& source) {
        std::lock_guard g(lock);
        std::vector<DataLoggerEntry> out;
        for (const auto& e : entries)
            if (e.source == source) out.push_back(e);
        return out;
    }
    std::mutex lock;
    std::vector<DataLoggerEntry> entries;
};

class KursTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Installation kind for the test.
    void Central(bool central) { qv::nq::SetEnterpriseEdition(central); }

    // Whether the suite database is a PostgreSQL one (the "pg." run).
    static constexpr bool kOnPg =
#ifdef QV_KURS_PG
        true;
#else
        false;
#endif

    // SQL on the test's own connection (on PostgreSQL translated as T-SQL); must succeed.
    void Sql(const std::string& sql);
    long long Int(const std::string& sql);
    std::string Text(const std::string& sql);
    std::vector<std::string> Rows(const std::string& sql);

    long AddMandant(const std::string& name, bool notify = false);
    long AddPerson(const std::string& name, const std::string& vorname, long mandant);
    long AddKurs(long typ, const std::string& kurz, bool multi = false);
    long AddRun(long kurs, const std::string& date, bool closed = false);
    long AddReg(long person, long kurs, long run, long status, const std::string& date, bool teilnehmer = true);
    void AddAbsence(long person, const std::string& start, const std::string& end, const std::string& grund);
    std::string Guid(const std::string& table, long id);
    // The display name the database gives a person (mode 'A').
    std::wstring PersonName(long id);
    // A GUID as the database stores it.
    static std::string Plain(const GUID& g) { return qv::GuidToUtf8(g, false); }
    // Columns of a registration row, joined by '|'.
    std::string Reg(long id, const std::string& columns) {
        return Text("SELECT " + columns + " FROM PersonKurs WHERE lPersonKursID = " + std::to_string(id));
    }
    long CountRegs() { return static_cast<long>(Int("SELECT count(*) FROM PersonKurs")); }
    // An id as it stands in SQL and in the expected rows.
    static std::string K(long id) { return std::to_string(id); }

    // Expects exactly the message boxes and reports queued on the script.
    qv::ScriptedInteraction script;
    FakeUserLog userLog;
    FakeEventServer eventServer;
    FakeOptionServer optionServer;
    FakeSecServer secServer;
    qvtest::FakeFrame frame;

    std::unique_ptr<qvtest::ServerEnvironment> env;
    std::unique_ptr<qv::sql::SqliteDb> db;
#ifdef QV_KURS_PG
    std::unique_ptr<qv::sql::PgDb> pg;
    std::string pgName;  // the test's database in the cluster
#endif

private:
#ifdef QV_KURS_PG
    std::map<std::string, std::string> triggerTables_;  // the tests' own triggers
    std::unique_ptr<qv::sql::PgDb> pgAdmin_;  // holds the pool slot of pgName
    bool pgDirty_ = false;                     // the test changed the schema
#endif
    std::vector<std::unique_ptr<qvtest::ScopedRunningServer>> running_;
    qv::IInteraction* previousInteraction_ = nullptr;
    long nextID_ = 1000;
};

#ifdef QV_KURS_PG
// Stops the server process of the calling thread's own connection of the suite's profile (the
// window's, on the GUI thread), found through `db`, and gives its pid for SIGCONT; 0: not found.
int StopOwnServerProcess(qv::sql::PgDb& db);
#endif
// Runs a statement of the tests on the test's database; a failure fails the test with the
// database's message.
#ifdef QV_KURS_PG
void ExecTestSql(qv::sql::PgDb& pg, const std::string& sql, std::map<std::string, std::string>& triggerTables,
                 bool& dirty);
#else
void ExecTestSql(sqlite3* db, const std::string& sql);
#endif

std::string W2U(const std::wstring& w);
std::string U(const CString& s);

#ifdef QV_KURS_PG
// Takes a free database of the test cluster's pool, with the suite schema and its starting rows,
// for as long as `admin` stays open, points the suite's profile at it and opens `pg` on it, signed
// in as user 7.
void UsePgSuiteDatabase(std::unique_ptr<qv::sql::PgDb>& admin, std::string& name, std::unique_ptr<qv::sql::PgDb>& pg);
// The few texts of the tests that only SQLite understands (dates relative to today, its string
// functions, triggers that refuse a write, tables and views replaced) in PostgreSQL's words;
// empty for plain T-SQL, which the translator takes.
std::string PgDialect(const std::string& sql, std::map<std::string, std::string>& triggerTables, bool* changesSchema);
// Runs a text of the tests on PostgreSQL: what PgDialect rewrites as it stands (with Exec, which
// takes several statements, unless bQuery), T-SQL through the translator; `dirty` is set when the
// text changed the schema. Throws what the server said.
qv::sql::PgRun PgRunTestSql(qv::sql::PgDb& pg, const std::string& sql, std::map<std::string, std::string>& triggerTables,
                            bool& dirty, bool bQuery);
// A value's text as SQLite gives it.
std::string PgValueText(const std::string& text, std::uint32_t type);
#endif

}  // namespace kurstest
