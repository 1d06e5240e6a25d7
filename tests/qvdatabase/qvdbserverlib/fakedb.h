#pragma once
// A database server that hands out one scripted connection: each statement or query takes the
// next outcome of the script (result, native error, SQL state, time taken on the stopwatch's
// clock) and leaves the matching error in the connection's error collection. With the frame's
// recording data logger and the fake recordset class registered, tests see every try, wait and
// entry of the database client.
#include "fakescript.h"
#include "hostfakes.h"
#include "qvdbretry.h"
#include "qvdbserverint.h"
#include "qvperfmeter.h"
#include "qvrunning.h"
#include "scripted.h"
#include "servertest.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

namespace qvtest {

struct Outcome {
    HRESULT hr = S_OK;
    long native = 0;
    std::wstring state;
    double ms = 0;
    bool withError = true;  // a failure leaves an error in the collection
};

struct FakeErrorRecord {
    long number = 0;
    long native = 0;
    std::wstring state;
    std::wstring description;
    std::wstring source;
};

inline BSTR NewBstr(const std::wstring& s) { return SysAllocStringLen(s.data(), static_cast<UINT>(s.size())); }
inline std::wstring FromBstr(BSTR b) { return b ? std::wstring(b, SysStringLen(b)) : std::wstring(); }

class FakeError final : public Error {
public:
    explicit FakeError(FakeErrorRecord r) : r_(std::move(r)) {}
    HRESULT QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        const ULONG n = --refs_;
        if (n == 0) delete this;
        return n;
    }
    HRESULT get_Number(long* pl) override { *pl = r_.number; return S_OK; }
    HRESULT get_Source(BSTR* p) override { *p = NewBstr(r_.source); return S_OK; }
    HRESULT get_Description(BSTR* p) override { *p = NewBstr(r_.description); return S_OK; }
    HRESULT get_SQLState(BSTR* p) override { *p = NewBstr(r_.state); return S_OK; }
    HRESULT get_NativeError(long* pl) override { *pl = r_.native; return S_OK; }

private:
    FakeErrorRecord r_;
    ULONG refs_ = 1;
};

class FakeErrors final : public Errors {
public:
    explicit FakeErrors(std::vector<FakeErrorRecord> r) : records_(std::move(r)) {}
    HRESULT QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        const ULONG n = --refs_;
        if (n == 0) delete this;
        return n;
    }
    HRESULT get_Count(long* c) override { *c = static_cast<long>(records_.size()); return S_OK; }
    HRESULT get_Item(VARIANT index, Error** pp) override {
        if (index.vt != VT_I4 || index.lVal < 0 || std::size_t(index.lVal) >= records_.size()) return ADO_E_ITEMNOTFOUND;
        *pp = new FakeError(records_[std::size_t(index.lVal)]);
        return S_OK;
    }
    HRESULT Clear() override { records_.clear(); return S_OK; }

private:
    std::vector<FakeErrorRecord> records_;
    ULONG refs_ = 1;
};

class FakeConnection final : public _Connection, public IFakeScript {
public:
    explicit FakeConnection(double* clock) : clock_(clock) {}

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID__Connection) {
            *ppv = static_cast<_Connection*>(this);
        } else if (riid == IID_IFakeScript) {
            *ppv = static_cast<IFakeScript*>(this);
        } else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }

    HRESULT Open(BSTR, BSTR, BSTR, long) override { return S_OK; }
    HRESULT Close() override { return S_OK; }
    HRESULT Execute(BSTR commandText, VARIANT*, long options, _Recordset** ppiRset) override {
        if (ppiRset) *ppiRset = nullptr;
        executeOptions.push_back(options);
        return Run(commandText);
    }
    HRESULT RunQuery(BSTR statement) override { return Run(statement); }
    HRESULT BeginTrans(long* level) override {
        *level = ++depth;
        return S_OK;
    }
    HRESULT CommitTrans() override {
        if (depth == 0) return E_FAIL;
        --depth;
        return S_OK;
    }
    HRESULT RollbackTrans() override {
        depth = 0;
        return S_OK;
    }
    HRESULT get_IsolationLevel(long* p) override { *p = isolation; return S_OK; }
    HRESULT put_IsolationLevel(long v) override { isolation = v; ++isolationPuts; return S_OK; }
    HRESULT get_CursorLocation(long* p) override { *p = cursorLocation; return S_OK; }
    HRESULT put_CursorLocation(long v) override { cursorLocation = v; ++cursorPuts; return S_OK; }
    HRESULT get_CommandTimeout(long* p) override { *p = timeout; return S_OK; }
    HRESULT put_CommandTimeout(long v) override { timeout = v; ++timeoutPuts; return S_OK; }
    HRESULT get_State(long* p) override { *p = adStateOpen; return S_OK; }
    HRESULT get_Errors(Errors** pp) override {
        *pp = new FakeErrors(errors);
        return S_OK;
    }
    HRESULT Cancel() override { return S_OK; }

    // The next outcomes, in order; when the script is used up every call succeeds at once.
    void Script(std::initializer_list<Outcome> outcomes) { script.insert(script.end(), outcomes); }
    std::size_t Calls() const { return statements.size(); }

    std::deque<Outcome> script;
    std::vector<std::wstring> statements;
    std::vector<long> executeOptions;
    std::vector<FakeErrorRecord> errors;
    long depth = 0;
    long isolation = 4096;
    long cursorLocation = 2;
    long timeout = 15;
    int isolationPuts = 0, cursorPuts = 0, timeoutPuts = 0;
    ULONG refs = 1;

private:
    HRESULT Run(BSTR text) {
        statements.push_back(FromBstr(text));
        errors.clear();
        Outcome o;
        if (!script.empty()) {
            o = script.front();
            script.pop_front();
        }
        if (clock_) *clock_ += o.ms;
        if (FAILED(o.hr) && o.withError) errors.push_back({o.hr, o.native, o.state, L"scripted failure", L"Fake"});
        return o.hr;
    }
    double* clock_;
};

class FakeDBServer final : public IQvDBServer, public IQvDBConnectionInfo {
public:
    explicit FakeDBServer(FakeConnection* connection) : connection_(connection) {}

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IQvDBServer) {
            *ppv = static_cast<IQvDBServer*>(this);
        } else if (riid == IID_IQvDBConnectionInfo && knowsTransactions) {
            *ppv = static_cast<IQvDBConnectionInfo*>(this);
        } else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }

    HRESULT GetConnection(BSTR profile, long, _Connection** pp) override {
        profiles.push_back(FromBstr(profile));
        *pp = nullptr;
        if (!handOut) return S_OK;
        connection_->AddRef();
        *pp = connection_;
        return S_OK;
    }
    HRESULT ReleaseConnection(_Connection*, long flag) override {
        releaseFlags.push_back(flag);
        return S_OK;
    }
    HRESULT Reserved() override { return E_NOTIMPL; }
    HRESULT ReportConnectionErrors(_Connection*, BSTR codes) override {
        reported.push_back(FromBstr(codes));
        return S_OK;
    }
    HRESULT GetTransactionDepth(_Connection*, long* depth) override {
        *depth = connection_->depth;
        return S_OK;
    }
    HRESULT TakeFailedConnection(_Connection** pp) override {
        *pp = nullptr;
        return S_FALSE;
    }

    bool handOut = true;
    bool knowsTransactions = true;
    std::vector<std::wstring> profiles;
    std::vector<long> releaseFlags;
    std::vector<std::wstring> reported;
    ULONG refs = 1;

private:
    FakeConnection* connection_;
};

// A host frame that runs the fake database server and the recording data logger, with the fake
// recordset class registered, a stopwatch clock the connection advances and recorded waits.
class ScriptedDatabase : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(RegisterModule(QV_FAKE_RECORDSET_MODULE), S_OK);
        ASSERT_EQ(qv::RegisterRunningServer(QVDBSERVER_PROGID, static_cast<IQvDBServer*>(&server)), S_OK);
        qv::SetPerfMeterClock([this] { return now; });
        qv::db::SetWaitFunction([this](DWORD ms) { waits.push_back(ms); });
    }
    void TearDown() override {
        qv::db::SetWaitFunction(nullptr);
        qv::SetPerfMeterClock(nullptr);
        qv::RevokeRunningServer(QVDBSERVER_PROGID);
    }

    // The entries of the data logger as "level|guid|text".
    std::vector<std::wstring> Entries() {
        std::vector<std::wstring> out;
        for (const LogEntry& e : host.logger.Entries()) out.push_back(std::to_wstring(e.level) + L"|" + e.guid + L"|" + e.text);
        return out;
    }
    void SetProfileValue(const wchar_t* name, long value, const wchar_t* profile = L"Qovaro.NQ2") {
        ASSERT_TRUE(CQvRegistry::SetValue((std::wstring(L"Software\\Qovaro\\QvDBServer\\") + profile).c_str(), name, value));
    }
    void SetBaseValue(const wchar_t* name, long value) {
        ASSERT_TRUE(CQvRegistry::SetValue(L"Software\\Qovaro\\QvDBServer", name, value));
    }
    void SetBaseValue(const wchar_t* name, const wchar_t* value) {
        ASSERT_TRUE(CQvRegistry::SetValue(L"Software\\Qovaro\\QvDBServer", name, CString(value)));
    }

    TempDir dir;
    ScopedEnv registry{"QV_REGISTRY", dir.file("registry.db")};
    FrameWithLogger host;
    double now = 1000.0;
    std::vector<DWORD> waits;
    FakeConnection connection{&now};
    FakeDBServer server{&connection};
};

}  // namespace qvtest
