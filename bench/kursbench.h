#pragma once
// What the benchmarks of the course window share: a demo database of their own in a temporary
// folder, the host frame with its servers and the course view shown in a pane. A failure stops
// the benchmark with a line on stderr under the program's name.
#include "framehost.h"
#include "kursdlg.h"
#include "qvinteract.h"

#include <sqlite3.h>
#include <benchmark/benchmark.h>

#include <functional>
#include <map>
#include <string>

namespace kursbench {

[[noreturn]] void Die(const std::string& why);
void Exec(sqlite3* db, const std::string& sql);

// The demo's first course.
long FirstKursID(sqlite3* db);

// The course's archive: `persons` new persons with `registrations` finished registrations of
// twenty years between them (attended, absent, deregistered or partly), and an archive age of six
// months; the course's other registrations are removed. Inside the caller's transaction.
void FillArchive(sqlite3* db, long lKursID, long persons, long registrations);

// Answers every box with its default button and closes every modal dialog; reports go to stderr
// when bPrintReports.
class AcceptingInteraction : public qv::IInteraction {
public:
    explicit AcceptingInteraction(bool bPrintReports = true) : m_bPrintReports(bPrintReports) {}
    int ShowMessageBox(const qv::MessageBoxRequest& r) override { return qv::DefaultAnswer(r.type); }
    void ShowReport(const qv::ReportRequest& r) override;
    int ShowSelection(const qv::SelectionRequest&) override { return 1; }
    void OpenWait(qv::WaitWindow&) override {}
    void UpdateWait(qv::WaitWindow&) override {}
    void CloseWait(qv::WaitWindow&) override {}
    INT_PTR RunModal(qv::IModalDialog& dialog) override {
        dialog.EndModal(IDCANCEL);
        return IDCANCEL;
    }

private:
    bool m_bPrintReports;
};

// A temporary folder (named after tmpl, ending in XXXXXX) with its own registry, the window
// system and a demo database with online courses off, which fill completes; registers the
// frame's servers and modules for it.
void PrepareDemo(const char* tmpl, qv::IInteraction& interaction, const std::function<void(sqlite3*)>& fill);
// The same on a copy of the canton (100,000 persons, 1,000,000 registrations) that bench_canton
// builds: QV_CANTON_DB names it, else canton/canton.db under the build tree, built here the same
// way when it is missing. fill runs in a child process, so that what it takes is not counted as
// the program's memory.
void PrepareCanton(const char* tmpl, qv::IInteraction& interaction, const std::function<void(sqlite3*)>& fill);
// The same on PostgreSQL (see benchpg.h): the demo in a fresh database, the course's archive as
// FillArchive makes it (fill, when given, adds to it). With QV_PG_CANTON=1 the demo is the canton
// (100,000 persons, 1,000,000 registrations); a database QV_BENCH_PG names that holds suite data
// already is kept, so that the canton is built once. Stops the program without a server or in a
// build without the driver.
void PreparePgArchive(const char* tmpl, qv::IInteraction& interaction, long persons, long registrations,
                      long* lKursID);
// The database the last PrepareDemo or PrepareCanton made (its address on PostgreSQL).
const std::string& DatabasePath();

// The machine's load over the last minute (/proc/loadavg).
double LoadAverage();

// A line "Name:  N kB" of /proc/self/status in MB (VmRSS, VmHWM, RssAnon, ...).
double StatusMB(const char* name);
inline double ResidentMB() { return StatusMB("VmRSS"); }
inline double PeakResidentMB() { return StatusMB("VmHWM"); }

// The CPU time of each of the process's threads (by thread id), in milliseconds.
std::map<int, double> ThreadCpuMs();
// Of the threads, the one that used the most CPU between two readings, and how much (the
// calling thread left out).
double BusiestOtherThreadMs(const std::map<int, double>& before, const std::map<int, double>& after);

// The archive's rows stepped and read directly in SQLite, or fetched through libpq on PostgreSQL (the
// loader's statement, every column of every row read): the rows and the calling thread's CPU and
// wall time (on PostgreSQL the server's work is in the wall time only).
struct PlainRead {
    long rows = 0;
    double cpuMs = 0, wallMs = 0;
};
PlainRead ReadArchivePlain(long lKursID);

// The host frame with its servers running, and its end.
CQvFrameHost* StartFrame();
void StopFrame(CQvFrameHost* host);

// A visible pane of 1000 x 700 for the course view.
void CreatePane(CWnd& pane);
// The course view opened and shown in pane: its dialog.
CKursDlg* ShowKursView(CQvFrameHost& host, CWnd& pane);
// The view, the pane and the frame go while the window system is still there.
void CloseKursView(CQvFrameHost* host, CWnd& pane);

// A benchmark's course window: the frame with its servers and the course view in a pane.
struct KursWindow {
    AcceptingInteraction interaction;
    CQvFrameHost* host = nullptr;
    CWnd pane;

    // Starts the frame and shows the course view at the course and run.
    CKursDlg* Show(long lKursID, long lKursinstanzID);
    void Close() { CloseKursView(host, pane); }
};

// Runs the benchmarks named on the command line, then tearDown.
int RunBenchmarks(int argc, char** argv, void (*tearDown)());

// The page of type T among the course window's tabs (nullptr when not offered).
template <class T>
T* FindPage(CKursDlg* pDlg) {
    T* page = nullptr;
    for (int i = 0; i < pDlg->GetTabCtrl().GetTabCount() && !page; ++i)
        page = dynamic_cast<T*>(pDlg->GetTabCtrl().GetTabWnd(i));
    return page;
}

}  // namespace kursbench
