// Two processes booking into the same run and moving their registrations to another run at the
// same time: every registration, every key and every count-down of the reservation survives.
#include "kurstest.h"

#include <future>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace kurstest {
namespace {

class KursTwoProcesses : public KursTest {};

TEST_F(KursTwoProcesses, NeitherLosesTheOthersWrites) {
    constexpr long kPerProcess = 50;
    const long mandant = AddMandant("FW Nord");
    const long kurs = AddKurs(3, "GK");
    const long run = AddRun(kurs, "2031-05-04");
    const long newRun = AddRun(kurs, "2031-09-07");
    Sql("INSERT INTO Kursreservation (lMandantID, lKursID, lYear, lAnzahl) VALUES (" + std::to_string(mandant) +
        ", " + std::to_string(kurs) + ", 2031, 1000)");
    std::vector<long> firsts;
    for (int p = 0; p < 2; ++p) {
        for (long i = 0; i < kPerProcess; ++i) {
            const long id = AddPerson("Person" + std::to_string(p), std::to_string(i), mandant);
            if (i == 0) firsts.push_back(id);
        }
    }

    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const std::string helper = qvtest::SiblingBinary("kurs_booker");
    std::vector<pid_t> pids;
    for (long first : firsts) {
        std::vector<std::string> args = {helper,
                                         std::to_string(pipeFds[0]),
                                         std::to_string(first),
                                         std::to_string(kPerProcess),
                                         std::to_string(kurs),
                                         std::to_string(run),
                                         std::to_string(newRun)};
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addclose(&actions, pipeFds[1]);
        pid_t pid = 0;
        const int rc = posix_spawn(&pid, helper.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ASSERT_EQ(rc, 0) << helper;
        pids.push_back(pid);
    }
    close(pipeFds[0]);
    close(pipeFds[1]);  // both start now

    for (pid_t pid : pids) {
        auto exited = std::async(std::launch::async, [pid] {
            int status = 0;
            waitpid(pid, &status, 0);
            return status;
        });
        if (exited.wait_for(std::chrono::seconds(120)) != std::future_status::ready) {
            for (pid_t p : pids) kill(p, SIGKILL);
            exited.wait();
            FAIL() << "a booking process did not finish";
        }
        const int status = exited.get();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "booking process failed: " << status;
    }

    // Each person holds exactly one registration, moved into the second run.
    EXPECT_EQ(Int("SELECT count(*) FROM PersonKurs"), 2 * kPerProcess);
    EXPECT_EQ(Int("SELECT count(DISTINCT lPersonID) FROM PersonKurs"), 2 * kPerProcess);
    EXPECT_EQ(Int("SELECT count(*) FROM PersonKurs WHERE lKursinstanzID = " + std::to_string(newRun) +
                  " AND lStatus = 0 AND dtDatum = '2031-05-04 00:00:00'"),
              2 * kPerProcess);
    // Every new registration used one reserved place.
    EXPECT_EQ(Int("SELECT lAnzahl FROM Kursreservation"), 1000 - 2 * kPerProcess);
}

}  // namespace
}  // namespace kurstest
