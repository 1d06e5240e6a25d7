// Books persons into a run and moves them to a second run through the course API, for the test of
// two processes working on the same run at once:
//   kurs_booker GOFD FIRSTPERSON COUNT KURS RUN NEWRUN
// The registry and the data folder come from the environment the test set up. The helper waits
// until GOFD (the read end of a pipe) reaches its end, then books the persons FIRSTPERSON ...
// FIRSTPERSON+COUNT-1 into RUN in the planning year 2031 and moves each to NEWRUN. Exit code 0
// when every call succeeded and nobody was shown a failure.
//   kurs_booker kill STEP PERSON KURS RUN
// Books PERSON into RUN (planning year 2031, central installation) and kills itself with SIGKILL
// as the STEP-th write statement or commit on the database begins. STEP 0 kills nothing and
// prints the number of such steps of the booking.
//   kurs_booker status STEP REG PERSON RUN
// Deregisters the participant's registration REG from RUN (central installation), with the log
// entries written to the suite database's user log, and is killed as above; STEP -1 kills it as
// the log entry is about to be written (on any database).
//   kurs_booker group STEP WHAT RUN REG PERSON GROUP
// Makes the change WHAT of the groups page in RUN, killed as above: "new" creates the group "Neu"
// (maximum 5), "template" the groups of the course's template, "edit" renames the group GROUP
// ("Alt", no maximum) to "Neu" with the maximum 5, "delete" deletes it, "add" puts the registration
// REG of PERSON (status 0, in no group) into it, "remove" takes REG out of it.
#include "fakehost.h"
#include "gruppendlg.h"
#include "nqcommon.h"
#include "optionserverint.h"
#include "qvadoconnection.h"
#include "qvcomserver.h"
#include "qvdbserverint.h"
#include "qvinteract.h"
#include "serverhost.h"
#include "suitedb.h"
#include "userlogint.h"
#include "vrqkurs.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sqlite3.h>
#include <string>
#include <strings.h>
#include <unistd.h>

namespace {

bool g_logToDatabase = false;  // the entries go to the UserLog table, on the caller's connection
bool g_killAtLog = false;

class AcceptingUserLog : public qvtest::StackObject<IUserLog, IID_IUserLog> {
public:
    HRESULT Write(long lKind, BSTR, BSTR, BSTR, long lValue, long, GUID, GUID, long, long) override {
        if (g_killAtLog) raise(SIGKILL);
        if (!g_logToDatabase) return S_OK;
        CQvADOConnection conn;
        HRESULT hr = conn.Open(L"Qovaro.NQ2", 0);
        long id = 0;
        if (SUCCEEDED(hr)) hr = conn.GetUniqueID(L"UserLog", L"lUserLogID", &id);
        CString sql;
        sql.Format(L"INSERT INTO UserLog (lUserLogID, lKind, strText, strModul, lValue) VALUES (%d, %d, 'kill', "
                   L"'Ausbildung.Person', %d)",
                   id, lKind, lValue);
        if (SUCCEEDED(hr)) hr = conn.Execute(sql);
        return hr;
    }
    HRESULT ShowSpecificUserLog(long, BSTR, BSTR, BSTR, GUID) override { return S_OK; }
};

// Every option at its default.
class DefaultOptions : public qvtest::StackObject<IOptionServer, IID_IOptionServer> {
public:
    HRESULT GetOption(long, BSTR, long, long, VARIANT* pValue) override {
        VariantInit(pValue);
        return S_FALSE;
    }
    HRESULT SetOption(long, BSTR, long, VARIANT) override { return S_OK; }
};

// Takes the registration out of the old run when asked and confirms every message; any failure
// shown counts against the run.
class Answering : public qv::IInteraction {
public:
    int ShowMessageBox(const qv::MessageBoxRequest& request) override { return qv::DefaultAnswer(request.type); }
    void ShowReport(const qv::ReportRequest& request) override {
        ++reports;
        std::fprintf(stderr, "report: %ls\n", request.text.c_str());
    }
    int ShowSelection(const qv::SelectionRequest&) override { return 2; }
    void OpenWait(qv::WaitWindow&) override {}
    void UpdateWait(qv::WaitWindow&) override {}
    void CloseWait(qv::WaitWindow&) override {}
    INT_PTR RunModal(qv::IModalDialog&) override { return IDCANCEL; }
    std::atomic<int> reports{0};
};

int g_killAt = 0;
int g_steps = 0;
bool g_counting = false;  // only the booking's own statements count

int OnStatement(unsigned type, void*, void* statement, void* text) {
    if (type != SQLITE_TRACE_STMT || !g_counting) return 0;
    const char* sql = static_cast<const char*>(text);
    if (!sql || std::strncmp(sql, "--", 2) == 0) return 0;  // a trigger of a statement already counted
    if (strncasecmp(sql, "PRAGMA", 6) == 0) return 0;
    const bool commit = strncasecmp(sql, "COMMIT", 6) == 0;
    if (!commit && sqlite3_stmt_readonly(static_cast<sqlite3_stmt*>(statement))) return 0;
    if (++g_steps == g_killAt) raise(SIGKILL);
    return 0;
}

// Watches the suite database only, not the registry.
int WatchConnection(sqlite3* db, char**, const sqlite3_api_routines*) {
    const char* file = sqlite3_db_filename(db, "main");
    const char* registry = std::getenv("QV_REGISTRY");
    if (file && registry && std::strcmp(file, registry) == 0) return SQLITE_OK;
    sqlite3_trace_v2(db, SQLITE_TRACE_STMT, &OnStatement, nullptr);
    return SQLITE_OK;
}

// The change of the groups page named by `what`, as the page writes it.
long ChangeGroup(const std::string& what, long run, long reg, long person, long group) {
    CQvADOConnection conn;
    long hr = conn.Open(L"Qovaro.NQ2", 0);
    if (FAILED(hr)) return hr;
    CQvGUID guidRun;
    guidRun.SetNULL();
    CGruppenDlg::CShownGroup shown;
    shown.lGruppeID = group;
    shown.strBezeichnung = L"Alt";
    shown.strLabel = L"Alt  (Anzahl: 1)";
    g_counting = true;
    bool bTaken = false;
    if (what == "new") hr = CGruppenDlg::WriteNewGroup(conn, run, guidRun, L"Neu", 5, bTaken);
    else if (what == "template") hr = CGruppenDlg::WriteGroupsFromTemplate(conn, run, guidRun);
    else if (what == "edit") hr = CGruppenDlg::WriteGroupEdit(conn, run, guidRun, group, L"Alt", 0, L"Neu", 5);
    else if (what == "delete") hr = CGruppenDlg::WriteGroupDeletion(conn, run, guidRun, shown);
    else if (what == "add") hr = CGruppenDlg::GroupRegistration(conn, run, guidRun, shown, reg, person, 0);
    else if (what == "remove") hr = CGruppenDlg::UngroupRegistration(conn, run, guidRun, shown, L"Abbruch", reg, person, 0);
    else hr = E_INVALIDARG;
    g_counting = false;
    return bTaken ? S_FALSE : hr;
}

}  // namespace

int main(int argc, char** argv) {
    const bool status = argc == 6 && std::strcmp(argv[1], "status") == 0;
    const bool group = argc == 8 && std::strcmp(argv[1], "group") == 0;
    const bool kill = status || group || (argc == 6 && std::strcmp(argv[1], "kill") == 0);
    if (!kill && argc != 7) return 2;
    if (kill) {
        g_killAt = std::atoi(argv[2]);
        g_logToDatabase = status || group;
        sqlite3_auto_extension(reinterpret_cast<void (*)()>(&WatchConnection));
    }

    qv::suite::InstallSuiteDatabase();
    qv::suite::SetSystemID(7);
    qv::nq::SetEnterpriseEdition(kill);
    if (FAILED(qv::servers::StartRunningServer(QVDBSERVER_PROGID))) return 3;
    qvtest::FakeFrame frame;
    AcceptingUserLog userLog;
    CLSID clsidUserLog{};
    if (FAILED(CLSIDFromProgID(QVUSERLOG_PROGID, &clsidUserLog))) return 4;
    frame.Offer(clsidUserLog);
    qvtest::ScopedRunningServer runningFrame(QV_FRAME_PROGID, &frame);
    qvtest::ScopedRunningServer runningUserLog(QVUSERLOG_PROGID, &userLog);
    DefaultOptions options;
    qvtest::ScopedRunningServer runningOptions(QVOPTIONSERVER_PROGID, &options);
    Answering answering;
    qv::ScopedInteraction interaction(&answering);

    if (group) {
        g_killAtLog = g_killAt < 0;
        const long hr = ChangeGroup(argv[3], std::atol(argv[4]), std::atol(argv[5]), std::atol(argv[6]),
                                    std::atol(argv[7]));
        std::printf("%d\n", g_steps);
        qv::servers::StopRunningServer(QVDBSERVER_PROGID);
        return hr == S_OK && answering.reports == 0 ? 0 : 1;
    }
    if (status) {
        CVRQKurs booking;
        g_killAtLog = g_killAt < 0;
        g_counting = true;
        const long hr = booking.UpdatePersonKursStatus(TRUE, std::atol(argv[3]), std::atol(argv[4]),
                                                       std::atol(argv[5]), ePersonKursStatusAbgemeldet, 0);
        g_counting = false;
        std::printf("%d\n", g_steps);
        qv::servers::StopRunningServer(QVDBSERVER_PROGID);
        return hr == S_OK && answering.reports == 0 ? 0 : 1;
    }
    if (kill) {
        CVRQKurs booking;
        long id = 0;
        EPersonKursStatus status = ePersonKursStatusBesucht;
        g_counting = true;
        const long hr = booking.AddPersonToKurs(std::atol(argv[3]), std::atol(argv[4]), std::atol(argv[5]), 2031, id,
                                                status);
        g_counting = false;
        std::printf("%d\n", g_steps);
        qv::servers::StopRunningServer(QVDBSERVER_PROGID);
        return hr == S_OK && answering.reports == 0 ? 0 : 1;
    }

    const int go = std::atoi(argv[1]);
    const long first = std::atol(argv[2]);
    const long count = std::atol(argv[3]);
    const long kurs = std::atol(argv[4]);
    const long run = std::atol(argv[5]);
    const long newRun = std::atol(argv[6]);

    char c;
    while (read(go, &c, 1) > 0) {
    }

    int failures = 0;
    for (long person = first; person < first + count; ++person) {
        CVRQKurs booking;
        long id = 0;
        EPersonKursStatus status = ePersonKursStatusBesucht;
        long hr = booking.AddPersonToKurs(person, kurs, run, 2031, id, status);
        if (hr != S_OK) {
            std::fprintf(stderr, "booking of %ld: 0x%lX\n", person, static_cast<unsigned long>(hr));
            ++failures;
            continue;
        }
        hr = booking.ChangePersonKursinstanz(id, person, kurs, run, newRun, 2031, status);
        if (hr != S_OK) {
            std::fprintf(stderr, "move of %ld: 0x%lX\n", person, static_cast<unsigned long>(hr));
            ++failures;
        }
    }
    qv::servers::StopRunningServer(QVDBSERVER_PROGID);
    return failures == 0 && answering.reports == 0 ? 0 : 1;
}
