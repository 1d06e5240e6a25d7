// The shipped scripts as a user starts them: ./run and scripts/make-demo-db follow their command
// lines. They build what they need into the build folder that every other test runs from, so
// these cases run while no other test does.
#include "dbfile.h"
#include "framestartup.h"
#include "tempdir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <sys/wait.h>

namespace frametest {
namespace {

int RunCommand(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ReadText(const std::string& file) {
    std::ifstream in(file);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Every file of a folder with its bytes.
std::map<std::string, std::string> Snapshot(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        std::string bytes;
        if (entry.is_regular_file()) {
            std::ifstream in(entry.path(), std::ios::binary);
            bytes.assign(std::istreambuf_iterator<char>(in), {});
        }
        files[entry.path().string()] = bytes;
    }
    return files;
}

class FrameProgramDatabase : public ::testing::Test {
protected:
    qvtest::TempDir dir;  // the databases
    qvtest::TempDir out;  // everything the scripts and the program write
};

TEST_F(FrameProgramDatabase, TheRunAndDemoScriptsFollowTheirCommandLines) {
    const std::string env = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM BUILD_DIR=" QV_BUILD_DIR
                            " XDG_DATA_HOME=" + out.file("data") + " QV_REGISTRY=" + out.file("registry.db") + " ";
    const std::string run = env + QV_SOURCE_DIR "/run ";
    const std::string demo = env + QV_SOURCE_DIR "/scripts/make-demo-db ";

    // The frame's help and nothing else, and no database made for it.
    ASSERT_EQ(RunCommand(run + "--help > " + out.file("help.txt") + " 2>&1"), 0);
    EXPECT_EQ(ReadText(out.file("help.txt")), QvFrameUsage());
    EXPECT_FALSE(std::filesystem::exists(out.file("data")));
    EXPECT_EQ(RunCommand(env + QV_FRAME_PROGRAM " --db 2> " + out.file("err.txt")), 2);
    EXPECT_EQ(ReadText(out.file("err.txt")).rfind("qvframe: --db needs a value (--db PATH)\n", 0), 0u);

    // A database of one's own leaves the demo database alone.
    std::string error;
    ASSERT_TRUE(qv::suite::PrepareSuiteDatabase(dir.file("eigene.sqlite"), true, nullptr, &error)) << error;
    EXPECT_EQ(RunCommand(run + "--db=" + dir.file("eigene.sqlite") + " --screenshot " + out.file("frame.png") +
                         " > /dev/null 2>&1"),
              0);
    EXPECT_TRUE(std::filesystem::exists(out.file("frame.png")));
    EXPECT_FALSE(std::filesystem::exists(out.file("data")));

    ASSERT_EQ(RunCommand(demo + "--help > " + out.file("demohelp.txt") + " 2>&1"), 0);
    EXPECT_EQ(ReadText(out.file("demohelp.txt")).rfind("usage: scripts/make-demo-db [PATH] [--force]", 0), 0u);
    EXPECT_FALSE(std::filesystem::exists(out.file("data")));
    EXPECT_EQ(RunCommand(demo + "--fenster > /dev/null 2>&1"), 2);

    // Made when missing, left when there, replaced with --force.
    const std::string made = out.file("demo.sqlite");
    ASSERT_EQ(RunCommand(demo + made + " --seed 3 > " + out.file("demo.txt") + " 2>/dev/null"), 0);
    EXPECT_NE(ReadText(out.file("demo.txt")).find("built"), std::string::npos);
    ASSERT_EQ(RunCommand(demo + made + " > " + out.file("demo.txt") + " 2>/dev/null"), 0);
    EXPECT_NE(ReadText(out.file("demo.txt")).find("left as it is"), std::string::npos);
    ASSERT_EQ(RunCommand(demo + made + " --force > " + out.file("demo.txt") + " 2>/dev/null"), 0);
    EXPECT_NE(ReadText(out.file("demo.txt")).find("replaced"), std::string::npos) << ReadText(out.file("demo.txt"));

    // The demo tool never fills a file that is no suite database, and leaves it as it is.
    std::ofstream(dir.file("notiz.txt")) << "Eine Notiz, keine Datenbank.\n";
    const auto before = Snapshot(dir.path());
    EXPECT_EQ(RunCommand(env + QV_BUILD_DIR "/suite/database/demo/qvdemodb --db " + dir.file("notiz.txt") + " 2> " +
                         out.file("err.txt")),
              3);
    EXPECT_NE(ReadText(out.file("err.txt")).find("is no SQLite database"), std::string::npos);
    EXPECT_EQ(Snapshot(dir.path()), before);
}

}  // namespace
}  // namespace frametest
