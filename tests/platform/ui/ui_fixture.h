#pragma once
// Shared set-up of the window-layer tests: a scripted interaction that fails the test on any box
// nobody expected, and a module of our own for string tables and dialog templates.
#include "qvui.h"
#include "scripted.h"
#include "strtable.h"
#include "uidriver.h"
#include <gtest/gtest.h>

namespace uitest {

inline HINSTANCE Module() {
    static int tag;
    return reinterpret_cast<HINSTANCE>(&tag);
}

class UiTest : public ::testing::Test {
protected:
    void SetUp() override {
        qv::ui::EnsureApplication();
        script.OnFailure([](const std::string& m) { ADD_FAILURE() << "interaction: " << m; });
        previous = qv::SetInteraction(&script);
        AfxSetResourceHandle(Module());
    }
    void TearDown() override {
        EXPECT_EQ(script.Pending(), 0u) << "expected boxes or dialogs that never came";
        qv::SetInteraction(previous);
        qv::ui::test::Pump();
    }
    qv::ScriptedInteraction script;
    qv::IInteraction* previous = nullptr;
};

}  // namespace uitest
