#include "suitedbtest.h"

#include <csignal>
#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using qvtest::SuiteDb;

class CrashTest : public SuiteDb {};

TEST_F(CrashTest, AWriterKilledMidTransactionLeavesOnlyWholeTransactions) {
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    const std::string writer = qvtest::SiblingBinary("suitedb_crash_writer");
    const std::string file = path();
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        dup2(out[1], 1);
        close(out[0]);
        close(out[1]);
        execl(writer.c_str(), writer.c_str(), file.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    FILE* lines = fdopen(out[0], "r");
    ASSERT_NE(lines, nullptr);
    long committed = 0;
    char buf[64];
    while (committed < 40 && std::fgets(buf, sizeof buf, lines)) std::sscanf(buf, "committed %ld", &committed);
    kill(pid, SIGKILL);  // most likely in the middle of the next transaction
    int status = 0;
    waitpid(pid, &status, 0);
    std::fclose(lines);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself after " << committed;
    ASSERT_EQ(committed, 40);

    qv::sql::SqliteDb after;
    ASSERT_EQ(after.Open("sqlite:" + file), SQLITE_OK) << after.LastError().description;
    after.Close();
    EXPECT_EQ(Value("PRAGMA integrity_check"), "ok");
    EXPECT_GE(std::stol(Value("SELECT count(*) FROM Kurs WHERE lKursID > 0")), committed)
        << "a committed transaction was lost";
    EXPECT_EQ(Value("SELECT count(*) FROM Kurs k WHERE k.lKursID > 0 AND "
                    "(SELECT count(*) FROM Kursinstanz i WHERE i.lKursID = k.lKursID) <> 5"),
              "0")
        << "half a transaction survived";
    EXPECT_EQ(Value("SELECT count(*) FROM Kursinstanz i WHERE i.lKursinstanzID >= 10 AND "
                    "NOT EXISTS (SELECT 1 FROM Kurs k WHERE k.lKursID = i.lKursID)"),
              "0");
}

}  // namespace
