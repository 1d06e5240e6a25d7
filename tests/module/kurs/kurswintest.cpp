#include "kurswintest.h"

#include <filesystem>

namespace kurstest {

void KursWinTest::Screen(HWND wnd, const std::string& name) {
    const std::filesystem::path dir(QV_SCREENS_DIR);
    std::filesystem::create_directories(dir);
    EXPECT_TRUE(qv::ui::test::SavePng(wnd, (dir / (name + (kOnPg ? "_pg" : "") + ".png")).string())) << name;
}

}  // namespace kurstest
