// Books persons into a run and moves them to a second run through the course API, for the test of
// two processes working on the same run at once:
//   kurs_booker GOFD FIRSTPERSON COUNT KURS RUN NEWRUN
// The registry and the data folder come from the environment the test set up. The helper waits
// until GOFD (the read end of a pipe) reaches its end, then books the persons FIRSTPERSON ...
// FIRSTPERSON+COUNT-1 into RUN in the planning year 2031 and moves each to NEWRUN. Exit code 0
// when every call succeeded and nobody was shown a failure.
#include "fakehost.h"
#include "nqcommon.h"
#include "qvcomserver.h"
#include "qvdbserverint.h"
#include "qvinteract.h"
#include "serverhost.h"
#include "suitedb.h"
#include "userlogint.h"
#include "vrqkurs.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

class AcceptingUserLog : public qvtest::StackObject<IUserLog, IID_IUserLog> {
public:
    HRESULT Write(long, BSTR, BSTR, BSTR, long, long, GUID, GUID, long, long) override { return S_OK; }
    HRESULT ShowSpecificUserLog(long, BSTR, BSTR, BSTR, GUID) override { return S_OK; }
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

}  // namespace

int main(int argc, char** argv) {
    if (argc != 7) return 2;
    const int go = std::atoi(argv[1]);
    const long first = std::atol(argv[2]);
    const long count = std::atol(argv[3]);
    const long kurs = std::atol(argv[4]);
    const long run = std::atol(argv[5]);
    const long newRun = std::atol(argv[6]);

    qv::suite::InstallSuiteDatabase();
    qv::suite::SetSystemID(7);
    qv::nq::SetEnterpriseEdition(false);
    if (FAILED(qv::servers::StartRunningServer(QVDBSERVER_PROGID))) return 3;
    qvtest::FakeFrame frame;
    AcceptingUserLog userLog;
    CLSID clsidUserLog{};
    if (FAILED(CLSIDFromProgID(QVUSERLOG_PROGID, &clsidUserLog))) return 4;
    frame.Offer(clsidUserLog);
    qvtest::ScopedRunningServer runningFrame(QV_FRAME_PROGID, &frame);
    qvtest::ScopedRunningServer runningUserLog(QVUSERLOG_PROGID, &userLog);
    Answering answering;
    qv::ScopedInteraction interaction(&answering);

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
