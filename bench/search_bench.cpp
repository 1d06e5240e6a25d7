// The person search over a database of 100,000 persons: from the keystroke that completes the
// search text to the first rows shown and to the last, in the real dialog (offscreen), beside
// the same statement run directly in SQLite.
//
// The database: QV_BENCH_DB names one made by the demo tool (with its size option); without it
// the demo data is built and its persons are copied until there are 100,000.
#include "demodata.h"
#include "optionserverint.h"
#include "qvcomserver.h"
#include "qvfinit.h"
#include "qvinteract.h"
#include "qvregvalue.h"
#include "qvrunning.h"
#include "qvsecint.h"
#include "searchpersondlg.h"
#include "searchresource.h"
#include "serverhost.h"
#include "sqlitedb.h"
#include "suitedb.h"
#include "tsqlprogram.h"
#include "uidriver.h"
#include "utf.h"
#include "wnd.h"

#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

constexpr long long kPersons = 100000;
using Clock = std::chrono::steady_clock;

void Die(const std::string& why) {
    std::fprintf(stderr, "bench_search: %s\n", why.c_str());
    std::exit(1);
}

void RegisterModule(const char* path) {
    void* lib = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!lib) Die(dlerror());
    auto reg = reinterpret_cast<HRESULT (*)()>(dlsym(lib, "DllRegisterServer"));
    if (!reg || FAILED(reg())) Die(std::string("cannot register ") + path);
    dlclose(lib);
}

class Interaction : public qv::IInteraction {
public:
    int ShowMessageBox(const qv::MessageBoxRequest& r) override { return qv::DefaultAnswer(r.type); }
    void ShowReport(const qv::ReportRequest& r) override {
        std::fprintf(stderr, "bench_search: report: %s\n", qv::ToUtf8(r.text).c_str());
    }
    int ShowSelection(const qv::SelectionRequest&) override { return 1; }
    void OpenWait(qv::WaitWindow&) override {}
    void UpdateWait(qv::WaitWindow&) override {}
    void CloseWait(qv::WaitWindow&) override {}
    INT_PTR RunModal(qv::IModalDialog& dialog) override {
        dialog.EndModal(IDCANCEL);
        return IDCANCEL;
    }
};

template <class I, const IID& Iid>
class Static : public I {
public:
    HRESULT QueryInterface(REFIID iid, void** ppv) override {
        if (iid == IID_IUnknown || iid == Iid) {
            *ppv = static_cast<I*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
};

class Frame : public Static<IQvFServerList, IID_IQvFServerList> {
public:
    HRESULT Reserved() override { return E_NOTIMPL; }
    HRESULT ReleaseServer(CLSID) override { return S_OK; }
    HRESULT IsServerAvailable(CLSID) override { return S_OK; }
};

// Only the result limit is set; every other option has no value.
class Options : public Static<IOptionServer, IID_IOptionServer> {
public:
    HRESULT GetOption(long, BSTR name, long, long, VARIANT* value) override {
        VariantInit(value);
        if (name && std::wstring(name) == L"MaxSearchResults") {
            value->vt = VT_I4;
            value->lVal = limit;
            return S_OK;
        }
        return S_FALSE;
    }
    HRESULT SetOption(long, BSTR, long, VARIANT) override { return S_OK; }
    long limit = 0;
};

// The demo's administrator, who may see every brigade's persons.
class Security : public IQvSecServer, public IQvSecUser {
public:
    HRESULT QueryInterface(REFIID iid, void** ppv) override {
        *ppv = nullptr;
        if (iid == IID_IUnknown || iid == IID_IQvSecServer) *ppv = static_cast<IQvSecServer*>(this);
        else if (iid == IID_IQvSecUser) *ppv = static_cast<IQvSecUser*>(this);
        return *ppv ? S_OK : E_NOINTERFACE;
    }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT GetRights(GUID, BSTR, long* rights) override {
        *rights = 1;
        return S_OK;
    }
    HRESULT Reserved4() override { return E_NOTIMPL; }
    HRESULT Reserved5() override { return E_NOTIMPL; }
    HRESULT Reserved6() override { return E_NOTIMPL; }
    HRESULT ShowRightDlg(GUID, long) override { return E_NOTIMPL; }
    HRESULT ShowSetRightDlg(GUID, BSTR, long) override { return E_NOTIMPL; }
    HRESULT Logon(BSTR) override { return E_NOTIMPL; }
    HRESULT Reserved7() override { return E_NOTIMPL; }
    HRESULT Reserved8() override { return E_NOTIMPL; }
    HRESULT Reserved9() override { return E_NOTIMPL; }
    HRESULT GetUser(BSTR* name, BSTR* userId, long* id) override {
        *name = SysAllocString(L"Administrator");
        *userId = SysAllocString(L"");
        *id = 1;
        return S_OK;
    }
};

// The person search that notes when its first rows went into the list (the event loop may run
// on before the bench looks again).
class BenchSearchDlg : public CSearchPersonDlg {
public:
    BenchSearchDlg() : CSearchPersonDlg(L"Bench") {}
    Clock::time_point firstShown{};

protected:
    LRESULT OnRows(WPARAM wParam, LPARAM lParam) {
        const LRESULT result = OnSearchTake(wParam, lParam);
        if (firstShown == Clock::time_point{} && m_lstResult.GetItemCount() > 0) firstShown = Clock::now();
        return result;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(BenchSearchDlg, CSearchPersonDlg)
    ON_MESSAGE(WM_SEARCH_TAKE, &BenchSearchDlg::OnRows)
END_MESSAGE_MAP()

// Copies the persons (with their devices' links) until the table holds kPersons rows.
void Grow(sqlite3* db) {
    std::string columns;
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT name FROM pragma_table_xinfo('Person') WHERE name NOT IN ('lPersonID', 'guid') "
                           "AND hidden = 0", -1, &st, nullptr);
    while (st && sqlite3_step(st) == SQLITE_ROW) {
        if (!columns.empty()) columns += ", ";
        columns += reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    }
    sqlite3_finalize(st);
    auto exec = [db](const std::string& sql) {
        char* err = nullptr;
        if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) Die(err ? err : sql);
    };
    exec("BEGIN");
    for (;;) {
        sqlite3_prepare_v2(db, "SELECT count(*) FROM Person", -1, &st, nullptr);
        sqlite3_step(st);
        const long long have = sqlite3_column_int64(st, 0);
        sqlite3_finalize(st);
        if (have >= kPersons) break;
        exec("INSERT INTO Person (" + columns + ") SELECT " + columns + " FROM Person ORDER BY lPersonID LIMIT " +
             std::to_string(std::min(have, kPersons - have)));
    }
    exec("COMMIT");
}

struct Environment {
    std::string folder;
    std::string database;
    Interaction interaction;
    Frame frame;
    Options options;
    Security security;
    BenchSearchDlg* dlg = nullptr;

    Environment() {
        char tmpl[] = "/tmp/qvsearch-bench-XXXXXX";
        if (!mkdtemp(tmpl)) Die("no temporary folder");
        folder = tmpl;
        // The folder goes with the program, however it ends.
        static std::string gone;
        gone = folder;
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(gone, ignored);
        });
        setenv("QV_REGISTRY", (folder + "/registry.db").c_str(), 1);
        setenv("XDG_DATA_HOME", (folder + "/data").c_str(), 1);
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        RegisterModule(QV_ADO_SERVER_MODULE);
        RegisterModule(QV_DBSERVER_MODULE);
        qv::SetInteraction(&interaction);
        qv::RegisterRunningServer(QV_FRAME_PROGID, &frame);
        qv::RegisterRunningServer(QVOPTIONSERVER_PROGID, &options);
        qv::RegisterRunningServer(QVSECSERVER_PROGID, static_cast<IQvSecServer*>(&security));
        qv::suite::InstallSuiteDatabase();
        qv::ui::EnsureApplication();

        if (const char* given = std::getenv("QV_BENCH_DB")) {
            database = given;
        } else {
            database = folder + "/persons.sqlite";
            qv::sql::SqliteDb db;
            if (db.Open("sqlite:" + database) != SQLITE_OK) Die(db.LastError().description);
            std::string error;
            if (qv::suite::CreateSchema(db.Handle(), &error) != SQLITE_OK) Die(error);
            if (qv::suite::GenerateDemoData(db.Handle(), 1, 2026, &error) != SQLITE_OK) Die(error);
            Grow(db.Handle());
            db.Exec("PRAGMA wal_checkpoint(TRUNCATE)");
        }
        CQvRegistry::SetValue(L"Software\\Qovaro\\QvDBServer\\Qovaro.NQ2", L"DBConnection",
                              CString(qv::FromUtf8("sqlite:" + database).c_str()));
        if (FAILED(qv::servers::StartRunningServer(L"Qovaro.QvDBServer"))) Die("database server");

    }

    // A new dialog: its worker reads the result limit when it starts.
    void OpenDialog(long limit) {
        options.limit = limit;
        dlg = new BenchSearchDlg;
        dlg->m_bAutoSearch = FALSE;
        if (!dlg->Create(IDD_SEARCH, nullptr)) Die("the search dialog");
        dlg->MoveWindow(0, 0, 1200, 700);
        dlg->ShowWindow(SW_SHOW);
        qv::ui::test::Pump();
    }
    void CloseDialog() {
        dlg->DestroyWindow();
        delete dlg;
        dlg = nullptr;
    }
};

Environment& Env() {
    static Environment* env = new Environment;
    return *env;
}

HWND Edit() { return qv::ui::test::Item(Env().dlg->m_hWnd, IDC_SEARCH_TEXT); }

// The text is typed but its last character, then the search runs from the last keystroke.
void BM_PersonSearchKeystroke(benchmark::State& state, std::wstring text, long limit) {
    Environment& env = Env();
    env.OpenDialog(limit);
    BenchSearchDlg& dlg = *env.dlg;
    double first = 0, last = 0, rows = 0;
    for (auto _ : state) {
        qv::ui::test::WaitFor([&] { return !dlg.IsSearching(); }, 600000);
        dlg.m_bAutoSearch = FALSE;
        qv::ui::test::Retype(Edit(), text.substr(0, text.size() - 1));
        // The rows of the last search stay: clearing them is part of the new search.
        dlg.m_bAutoSearch = TRUE;
        dlg.firstShown = Clock::time_point{};
        const auto start = Clock::now();
        qv::ui::test::Type(Edit(), text.substr(text.size() - 1));
        qv::ui::test::WaitFor([&] { return !dlg.IsSearching(); }, 600000);
        const auto done = Clock::now();
        const auto shown = dlg.firstShown == Clock::time_point{} ? done : dlg.firstShown;
        const double f = std::chrono::duration<double>(shown - start).count();
        const double l = std::chrono::duration<double>(done - start).count();
        state.SetIterationTime(l);
        first += f * 1000;
        last += l * 1000;
        rows += dlg.m_lstResult.GetItemCount();
    }
    state.counters["first_rows_ms"] = first / double(state.iterations());
    state.counters["last_row_ms"] = last / double(state.iterations());
    state.counters["rows"] = rows / double(state.iterations());
    env.CloseDialog();
}

// The statement the search built for the text, translated and stepped to its end in SQLite.
void BM_PersonSearchQueryDirect(benchmark::State& state, std::wstring text, long limit) {
    Environment& env = Env();
    env.OpenDialog(limit);
    CSearchPersonDlg& dlg = *env.dlg;
    // The search's column snapshot decides the statement: run it once through the dialog.
    dlg.m_bAutoSearch = TRUE;
    qv::ui::test::Retype(Edit(), text);
    qv::ui::test::WaitFor([&] { return !dlg.IsSearching(); }, 600000);
    CString query;
    dlg.BuildQuery(CString(text.c_str()), query);
    if (limit > 0) {
        CString top;
        top.Format(L"SELECT TOP %d ", limit + 1);
        query = top + query.Mid(7);
    }
    env.CloseDialog();
    const std::string sql = qv::tsql::TranslateStatement(query.ToUtf8());
    qv::sql::SqliteDb db;
    if (db.Open("sqlite:" + env.database) != SQLITE_OK) Die(db.LastError().description);
    double firstMs = 0, rows = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db.Handle(), sql.c_str(), -1, &st, nullptr) != SQLITE_OK) Die(sqlite3_errmsg(db.Handle()));
        long n = 0;
        while (sqlite3_step(st) == SQLITE_ROW) {
            if (n++ == 0) firstMs += std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        }
        sqlite3_finalize(st);
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        rows += double(n);
    }
    state.counters["first_row_ms"] = firstMs / double(state.iterations());
    state.counters["rows"] = rows / double(state.iterations());
}

// A paste of 10,000 different words (with `pastes` 2, a second one of other words a second later),
// then, `delayMs` after the last paste, a name typed key by key: from the first of those keys to
// the name's first rows shown and to its last row (the statements of the pastes are given up);
// with a negative delay the paste alone, to its end. Each round has a dialog of its own, and its
// closing waits for whatever the pastes left running, so that no round runs beside another's work.
void BM_PersonSearchNewTextDuringALongOne(benchmark::State& state, int delayMs, int pastes) {
    Environment& env = Env();
    double first = 0, last = 0;
    int round = 0;
    for (auto _ : state) {
        env.OpenDialog(0);
        BenchSearchDlg& dlg = *env.dlg;
        dlg.m_bAutoSearch = TRUE;
        auto pasted = Clock::now();
        for (int paste = 0; paste < pastes; ++paste) {
            if (paste > 0)
                qv::ui::test::WaitFor([&] { return Clock::now() - pasted >= std::chrono::seconds(1); }, 2000);
            std::wstring words;
            for (int i = 0; i < 10000; ++i)
                words += std::wstring(i ? L" " : L"") + L"w" + std::to_wstring(round * 100003 + i * 7919 % 100003);
            ++round;
            pasted = Clock::now();
            SetWindowTextW(Edit(), words.c_str());
        }
        auto start = pasted;
        if (delayMs >= 0) {
            qv::ui::test::WaitFor([&] { return Clock::now() - pasted >= std::chrono::milliseconds(delayMs); },
                                  delayMs + 1000);
            start = Clock::now();
            qv::ui::test::Retype(Edit(), L"Crivelli");
            // Rows shown while the keys went in belong to the first letters.
            dlg.firstShown = Clock::time_point{};
        }
        qv::ui::test::WaitFor([&] { return !dlg.IsSearching(); }, 600000);
        const auto done = Clock::now();
        const auto shown = dlg.firstShown == Clock::time_point{} ? done : dlg.firstShown;
        state.SetIterationTime(std::chrono::duration<double>(done - start).count());
        first += std::chrono::duration<double, std::milli>(shown - start).count();
        last += std::chrono::duration<double, std::milli>(done - start).count();
        env.CloseDialog();
    }
    state.counters["first_rows_ms"] = first / double(state.iterations());
    state.counters["to_rows_ms"] = last / double(state.iterations());
}

}  // namespace

// The new text comes while the paste's statement is still built (translated, prepared) and
// while it runs; after a second paste, while two are.
BENCHMARK_CAPTURE(BM_PersonSearchNewTextDuringALongOne, paste_alone, -1, 1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(BM_PersonSearchNewTextDuringALongOne, new_text_after_200ms, 200, 1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK_CAPTURE(BM_PersonSearchNewTextDuringALongOne, new_text_after_1s, 1000, 1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK_CAPTURE(BM_PersonSearchNewTextDuringALongOne, new_text_after_3s, 3000, 1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK_CAPTURE(BM_PersonSearchNewTextDuringALongOne, new_text_after_6s, 6000, 1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK_CAPTURE(BM_PersonSearchNewTextDuringALongOne, new_text_after_12s, 12000, 1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK_CAPTURE(BM_PersonSearchNewTextDuringALongOne, second_paste_new_text_after_1s, 1000, 2)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);

// A name that 2 % of the persons carry; every person (no word, first 500); a name and a place.
BENCHMARK_CAPTURE(BM_PersonSearchKeystroke, name_nolimit, std::wstring(L"Crivelli"), 0L)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_CAPTURE(BM_PersonSearchQueryDirect, name_nolimit, std::wstring(L"Crivelli"), 0L)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_CAPTURE(BM_PersonSearchKeystroke, all_limit500, std::wstring(L" "), 500L)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_CAPTURE(BM_PersonSearchQueryDirect, all_limit500, std::wstring(L" "), 500L)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_CAPTURE(BM_PersonSearchKeystroke, name_place_nolimit, std::wstring(L"Crivelli Seldorf"), 0L)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_CAPTURE(BM_PersonSearchQueryDirect, name_place_nolimit, std::wstring(L"Crivelli Seldorf"), 0L)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_CAPTURE(BM_PersonSearchKeystroke, all_nolimit, std::wstring(L" "), 0L)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK_CAPTURE(BM_PersonSearchQueryDirect, all_nolimit, std::wstring(L" "), 0L)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);

BENCHMARK_MAIN();
