// Two processes booking into the same run and moving their registrations to another run at the
// same time: every registration, every key and every count-down of the reservation survives. A
// booking process killed part-way leaves all of its local rows or none, and a status change killed
// part-way leaves its status, its log entry and its notification item together or none of them.
#include "kurstest.h"

#include <csignal>
#include <functional>
#include <future>
#include <string>
#include <vector>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace kurstest {
namespace {

class KursTwoProcesses : public KursTest {};

// Starts one booking helper per first person, lets them all begin at once, and waits (bounded) for
// each to succeed.
void RunBookersAtOnce(const std::vector<long>& firsts, long count, long kurs, long run, long newRun) {
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const std::string helper = qvtest::SiblingBinary("kurs_booker");
    std::vector<pid_t> pids;
    for (long first : firsts) {
        std::vector<std::string> args = {helper,
                                         std::to_string(pipeFds[0]),
                                         std::to_string(first),
                                         std::to_string(count),
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
}

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

    RunBookersAtOnce(firsts, kPerProcess, kurs, run, newRun);

    // Each person holds exactly one registration, moved into the second run.
    EXPECT_EQ(Int("SELECT count(*) FROM PersonKurs"), 2 * kPerProcess);
    EXPECT_EQ(Int("SELECT count(DISTINCT lPersonID) FROM PersonKurs"), 2 * kPerProcess);
    EXPECT_EQ(Int("SELECT count(*) FROM PersonKurs WHERE lKursinstanzID = " + std::to_string(newRun) +
                  " AND lStatus = 0 AND dtDatum = '2031-05-04 00:00:00'"),
              2 * kPerProcess);
    // Every new registration used one reserved place.
    EXPECT_EQ(Int("SELECT lAnzahl FROM Kursreservation"), 1000 - 2 * kPerProcess);
}

// Each booking takes, as it draws its registration's key, first a lock of its own and then the
// other's (a trigger does it, once per process): the server makes one the deadlock's victim, whose
// booking is written again and lands beside the other's.
TEST_F(KursTwoProcesses, TheDeadlockVictimsBookingIsWrittenAgainAndBothLand) {
#ifndef QV_KURS_PG
    GTEST_SKIP() << "SQLite lets one writer in at a time: there is no deadlock to force";
#else
    const long mandant = AddMandant("FW Nord");
    const long kurs = AddKurs(3, "GK");
    const long run = AddRun(kurs, "2031-05-04");
    const long newRun = AddRun(kurs, "2031-09-07");
    Sql("INSERT INTO Kursreservation (lMandantID, lKursID, lYear, lAnzahl) VALUES (" + K(mandant) + ", " + K(kurs) +
        ", 2031, 10)");
    const long first = AddPerson("Erst", "Anna", mandant);
    const long second = AddPerson("Zweit", "Beat", mandant);
    Sql("ALTER DATABASE " + pgName + " SET deadlock_timeout = '20ms'");
    Sql("CREATE SEQUENCE kurs_writes");
    // The key of the registration is drawn first in the booking's transaction and holds the
    // counter's row to the end: the trigger comes before that row is locked. The process that comes
    // first is the first one; it waits up to a minute for the other (a process may start many
    // seconds later on a busy machine). A process that wrote once passes, also when the other has
    // ended meanwhile; only this database's locks count (other tests share the server).
    Sql("CREATE FUNCTION kurs_cross() RETURNS trigger LANGUAGE plpgsql AS $$ "
        "DECLARE mine integer; waits integer := 0; "
        "BEGIN IF NEW.strTable <> 'personkurs' THEN RETURN NEW; END IF; "
        "PERFORM nextval('kurs_writes'); "
        "IF EXISTS (SELECT 1 FROM pg_locks WHERE locktype = 'advisory' AND pid = pg_backend_pid() "
        "AND objid IN (11, 12)) THEN RETURN NEW; END IF; "
        "mine := CASE WHEN pg_try_advisory_lock(20) THEN 1 ELSE 2 END; "
        "PERFORM pg_advisory_lock(10 + mine); "  // kept through the rollback: the next write passes
        "PERFORM pg_advisory_xact_lock(mine); "
        "WHILE NOT EXISTS (SELECT 1 FROM pg_locks l JOIN pg_database d ON d.oid = l.database WHERE "
        "d.datname = current_database() AND locktype = 'advisory' AND objid = 3 - mine AND granted) LOOP "
        "waits := waits + 1; IF waits > 12000 THEN RAISE EXCEPTION 'the other booking never came'; END IF; "
        "PERFORM pg_sleep(0.005); END LOOP; "
        "PERFORM pg_advisory_xact_lock(3 - mine); RETURN NEW; END $$; "
        "CREATE TRIGGER kurs_cross BEFORE INSERT ON UniqueIDCounter FOR EACH ROW EXECUTE FUNCTION kurs_cross()");

    RunBookersAtOnce({first, second}, 1, kurs, run, newRun);

    EXPECT_EQ(Int("SELECT count(*) FROM PersonKurs"), 2);
    EXPECT_EQ(Int("SELECT count(*) FROM PersonKurs WHERE lKursinstanzID = " + K(newRun) + " AND lPersonID IN (" +
                  K(first) + ", " + K(second) + ")"),
              2);
    EXPECT_EQ(Int("SELECT lAnzahl FROM Kursreservation"), 8);
    // Both first writes, and the victim's second.
    qv::sql::PgRows writes;
    ASSERT_EQ(pg->Query("SELECT last_value FROM kurs_writes", &writes), 0);
    EXPECT_EQ(writes.rows.at(0).at(0).value_or(""), "3");
#endif
}

struct Exit {
    int status = 0;
    std::string out;
};

// Runs the booking helper with `args` and waits for it (bounded); its standard output is kept.
Exit RunBooker(const std::vector<std::string>& args) {
    const std::string helper = qvtest::SiblingBinary("kurs_booker");
    std::vector<std::string> all = {helper};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    int out[2];
    EXPECT_EQ(pipe(out), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, helper.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    Exit result;
    if (rc != 0) {
        close(out[0]);
        ADD_FAILURE() << helper;
        return result;
    }
    auto reader = std::async(std::launch::async, [fd = out[0]] {
        std::string text;
        char buf[256];
        for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) text.append(buf, std::size_t(n));
        close(fd);
        return text;
    });
    if (reader.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
        kill(pid, SIGKILL);
        ADD_FAILURE() << "the booking process did not finish";
    }
    result.out = reader.get();
    waitpid(pid, &result.status, 0);
    return result;
}

class KursKilledBooking : public KursTest {};

TEST_F(KursKilledBooking, LeavesAllOrNoneOfItsRowsAtEveryWriteStep) {
    if (kOnPg) GTEST_SKIP() << "the helper finds its write steps through SQLite's statement trace";
    const long mandant = AddMandant("FW Nord");
    Sql("UPDATE Mandant SET fKursNotification = 1");
    const long kurs = AddKurs(3, "GK");
    const long run = AddRun(kurs, "2031-05-04");
    Sql("INSERT INTO Kursreservation (lMandantID, lKursID, lYear, lAnzahl) VALUES (" + std::to_string(mandant) +
        ", " + std::to_string(kurs) + ", 2031, 100)");
    auto regs = [&](long p) { return Int("SELECT count(*) FROM PersonKurs WHERE lPersonID = " + std::to_string(p)); };
    auto items = [&](long p) {
        return Int("SELECT count(*) FROM KursnotificationItem WHERE lPersonID = " + std::to_string(p));
    };

    // A whole booking first; it also opens the Mandant's notification, which later bookings share.
    const long whole = AddPerson("Ganz", "Hans", mandant);
    const Exit done = RunBooker({"kill", "0", std::to_string(whole), std::to_string(kurs), std::to_string(run)});
    ASSERT_TRUE(WIFEXITED(done.status) && WEXITSTATUS(done.status) == 0) << done.status;
    EXPECT_EQ(regs(whole), 1);
    EXPECT_EQ(items(whole), 1);
    EXPECT_EQ(Int("SELECT lAnzahl FROM Kursreservation"), 99);

    // Killed as its first, second, ... write begins, until a booking has fewer steps than that.
    long booked = 1;
    int step = 1;
    for (;; ++step) {
        ASSERT_LT(step, 40);
        const long person = AddPerson("Abbruch", std::to_string(step), mandant);
        const Exit run1 =
            RunBooker({"kill", std::to_string(step), std::to_string(person), std::to_string(kurs), std::to_string(run)});
        booked += regs(person);
        if (WIFEXITED(run1.status)) {
            EXPECT_EQ(WEXITSTATUS(run1.status), 0);
            EXPECT_EQ(std::atoi(run1.out.c_str()), step - 1);
            EXPECT_EQ(regs(person), 1);
            EXPECT_EQ(items(person), 1);
            EXPECT_EQ(Int("SELECT lAnzahl FROM Kursreservation"), 100 - booked);
            break;
        }
        EXPECT_TRUE(WIFSIGNALED(run1.status) && WTERMSIG(run1.status) == SIGKILL) << "step " << step;
        EXPECT_EQ(regs(person), items(person)) << "step " << step;
        EXPECT_LE(regs(person), 1) << "step " << step;
        EXPECT_EQ(Int("SELECT lAnzahl FROM Kursreservation"), 100 - booked) << "step " << step;
    }
    // The registration (key and row), the item (key and row), the count-down and the commit.
    EXPECT_GE(step, 7);
}

// Killed as its first, second, ... write begins (SQLite), or as its log entry is written (both
// databases): the new status, its date, its entry and its item are there together or not at all.
TEST_F(KursKilledBooking, AStatusChangeLeavesItsStatusWithItsEntryOrNothingAtEveryWriteStep) {
    const long mandant = AddMandant("FW Nord");
    Sql("UPDATE Mandant SET fKursNotification = 1");
    const long kurs = AddKurs(3, "GK");
    const long run = AddRun(kurs, "2031-05-04");
    auto check = [&](long person, long reg, const std::string& step) {
        const long long changed = Int("SELECT count(*) FROM PersonKurs WHERE lStatus = 5 AND lPersonKursID = " + K(reg));
        EXPECT_EQ(Int("SELECT count(*) FROM PersonKurs WHERE lPersonKursID = " + K(reg) +
                      " AND dtDatum = '2031-05-04 00:00:00'"),
                  1 - changed)
            << step;
        EXPECT_EQ(Int("SELECT count(*) FROM UserLog WHERE strText = 'kill' AND lValue = 5"), changed) << step;
        EXPECT_EQ(Int("SELECT count(*) FROM KursnotificationItem WHERE lPersonID = " + K(person)), changed) << step;
        Sql("DELETE FROM UserLog");
        return changed;
    };
    for (int step = -1;; ++step) {
        ASSERT_LT(step, 40);
        if (step == 0) continue;
        const std::string at = "step " + std::to_string(step);
        const long person = AddPerson("Abbruch", std::to_string(step), mandant);
        const long reg = AddReg(person, kurs, run, 0, "2031-05-04");
        const Exit exit = RunBooker({"status", std::to_string(step), K(reg), K(person), K(run)});
        if (WIFEXITED(exit.status)) {
            ASSERT_GT(step, 0);
            EXPECT_EQ(WEXITSTATUS(exit.status), 0);
            EXPECT_EQ(std::atoi(exit.out.c_str()), step - 1);
            EXPECT_EQ(check(person, reg, at), 1);
            break;
        }
        EXPECT_TRUE(WIFSIGNALED(exit.status) && WTERMSIG(exit.status) == SIGKILL) << at;
        check(person, reg, at);
        if (step == -1) {
            EXPECT_EQ(Reg(reg, "lStatus"), "0") << "killed before its entry: nothing of it stays";
            if (kOnPg) break;
        }
    }
}

// Killed as its first, second, ... write begins (SQLite), or as its log entry is written (both
// databases): each change of the groups page leaves the change with its entry, or neither.
TEST_F(KursKilledBooking, AGroupChangeLeavesItsChangeWithItsEntryOrNothingAtEveryWriteStep) {
    const long mandant = AddMandant("FW Nord");
    const long kurs = AddKurs(3, "GK");
    Sql("INSERT INTO KursinstanzGruppe (lKursinstanzGruppeID, lKursinstanzID, lKursID, strBezeichnung, "
        "lMaxTeilnehmer) VALUES (9000000, -1, " + K(kurs) + ", 'Neu', 5)");
    // Whether the change is stored, in the run with its registration and its group.
    const auto renamedOrNew = [&](long run, long, long) {
        return Int("SELECT count(*) FROM KursinstanzGruppe WHERE lKursinstanzID = " + K(run) +
                   " AND strBezeichnung = 'Neu' AND lMaxTeilnehmer = 5");
    };
    const auto inGroup = [&](long reg, long g) {
        return Int("SELECT count(*) FROM PersonKurs WHERE lPersonKursID = " + K(reg) + " AND lKursinstanzGruppeID = " + K(g));
    };
    const std::vector<std::pair<std::string, std::function<long long(long run, long reg, long g)>>> changes = {
        {"new", renamedOrNew},
        {"template", renamedOrNew},
        {"edit", renamedOrNew},
        {"delete",
         [&](long, long reg, long g) {
             const long long gone = 1 - Int("SELECT count(*) FROM KursinstanzGruppe WHERE lKursinstanzGruppeID = " + K(g));
             EXPECT_EQ(inGroup(reg, -1), gone) << "its member goes back with it";
             return gone;
         }},
        {"add", [&](long, long reg, long g) { return inGroup(reg, g); }},
        {"remove", [&](long, long reg, long) { return inGroup(reg, -1); }},
    };
    for (const auto& [what, changed] : changes) {
        for (int step = -1;; ++step) {
            ASSERT_LT(step, 40);
            if (step == 0) continue;
            const std::string at = what + " step " + std::to_string(step);
            const long run = AddRun(kurs, "2031-05-04");
            const long person = AddPerson("Abbruch", what + std::to_string(step), mandant);
            const long reg = AddReg(person, kurs, run, 0, "2031-05-04");
            // A key above those the page draws for its new groups.
            const long group = long(Int("SELECT max(lKursinstanzGruppeID) FROM KursinstanzGruppe")) + 1000;
            Sql("INSERT INTO KursinstanzGruppe (lKursinstanzGruppeID, lKursinstanzID, strBezeichnung, lMaxTeilnehmer) "
                "VALUES (" + K(group) + ", " + K(run) + ", 'Alt', 0)");
            if (what != "add") Sql("UPDATE PersonKurs SET lKursinstanzGruppeID = " + K(group) + " WHERE lPersonKursID = " + K(reg));
            const Exit exit = RunBooker({"group", std::to_string(step), what, K(run), K(reg), K(person), K(group)});
            const long long stored = changed(run, reg, group);
            EXPECT_EQ(Int("SELECT count(*) FROM UserLog WHERE strText = 'kill'"), stored) << at;
            Sql("DELETE FROM UserLog");
            if (WIFEXITED(exit.status)) {
                ASSERT_GT(step, 0) << at;
                EXPECT_EQ(WEXITSTATUS(exit.status), 0) << at;
                EXPECT_EQ(std::atoi(exit.out.c_str()), step - 1) << at;
                EXPECT_EQ(stored, 1) << at;
                break;
            }
            EXPECT_TRUE(WIFSIGNALED(exit.status) && WTERMSIG(exit.status) == SIGKILL) << at;
            if (step == -1) {
                EXPECT_EQ(stored, 0) << at << ": killed before its entry, nothing of it stays";
                if (kOnPg) break;
            }
        }
    }
}

}  // namespace
}  // namespace kurstest
