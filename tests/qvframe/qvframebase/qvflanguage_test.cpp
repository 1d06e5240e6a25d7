// The language library of the module: found beside the module by the user's language list, the
// module's own language skipped, a two-letter fallback; its texts replace the module's.
#include "frametest.h"
#include "qvflanguage.h"
#include "qvfmodule.h"
#include "qvregvalue.h"
#include "qvwinapp.h"
#include "strtable.h"
#include "trace.h"

namespace frametest {
namespace {

class LanguageLibrary : public FrameTest {
protected:
    void TearDown() override {
        if (library) QvFreeLanguageRessourceDll(library);
        QvFSetModuleResourceHandle(TestResources());
        FrameTest::TearDown();
    }
    void Languages(LPCWSTR list) { CQvRegistry::SetValue(L"Software\\Qovaro\\QvCommon", L"ActSysLanguage", list); }
    void Load() { QvLoadLanguageRessourceDll(L"DE", &library); }
    static std::wstring File(LPCWSTR code) {
        CString dir, name;
        QvFSplitPath(QvFGetModuleFileName(), nullptr, &dir, &name, nullptr);
        return (dir + name + L"." + code).wstr();
    }
    std::wstring Text(UINT id) {
        std::wstring text;
        qv::LookupString(QvFGetModuleResourceHandle(), id, text);
        return text;
    }

    HINSTANCE library = nullptr;
};

TEST_F(LanguageLibrary, TheLibraryOfTheUsersLanguageReplacesTheTexts) {
    Languages(L"FR");
    Load();
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(QvFGetModuleResourceHandle(), library);
    EXPECT_EQ(Text(IDS_TEST_CAPTION), L"Formation");
    EXPECT_EQ(TraceWith(L"Resource DLL '" + File(L"FR") + L"' loaded").size(), 1u);
}

TEST_F(LanguageLibrary, ALongerCodeFallsBackToItsFirstTwoLetters) {
    Languages(L"FRA");
    Load();
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(TraceWith(L"Resource DLL '" + File(L"FRA") + L"' not available").size(), 1u);
    EXPECT_EQ(TraceWith(L"Resource DLL '" + File(L"FR") + L"' loaded").size(), 1u);
}

TEST_F(LanguageLibrary, TheModulesOwnLanguageIsSkipped) {
    Languages(L" DE  FR ");
    Load();
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(TraceWith(L"Load Resource DLL '" + File(L"DE") + L"' is not needed").size(), 1u);
    EXPECT_EQ(TraceWith(L"' loaded").size(), 1u);
}

TEST_F(LanguageLibrary, NothingFoundKeepsTheModulesTexts) {
    Languages(L"DES");
    Load();
    EXPECT_EQ(library, nullptr);
    EXPECT_EQ(QvFGetModuleResourceHandle(), TestResources());
    EXPECT_EQ(Text(IDS_TEST_CAPTION), L"Ausbildung");
    EXPECT_EQ(TraceWith(L"Resource DLL '" + File(L"DES") + L"' not available").size(), 1u);
    EXPECT_EQ(TraceWith(L"Resource DLL '" + File(L"DE") + L"' not available").size(), 1u);
}

TEST_F(LanguageLibrary, WithoutAListNothingIsLoaded) {
    Load();
    EXPECT_EQ(library, nullptr);
    EXPECT_EQ(TraceWith(L"ERROR at load Resource DLL can not open Regkey HKCU.. QvCommon").size(), 1u);
    // The list is "DE" then: the module's own language.
    EXPECT_EQ(TraceWith(L"Load Resource DLL '" + File(L"DE") + L"' is not needed").size(), 1u);
    EXPECT_EQ(TraceWith(L"' loaded").size(), 0u);

    qv::ClearTrace();
    Languages(L"   ");
    Load();
    EXPECT_EQ(library, nullptr);
    EXPECT_EQ(TraceWith(L"Resource DLL '").size(), 0u);
}

TEST_F(LanguageLibrary, TheApplicationLoadsItAtStartAndFreesItAtTheEnd) {
    Languages(L"FR");
    ASSERT_NE(QvFGetModuleApp(), nullptr);
    CQvWinApp& app = *QvFGetModuleApp();
    ASSERT_TRUE(app.InitInstance());
    ASSERT_NE(app.m_hLanguageDll, nullptr);
    {
        // Every entry into the module reads the module's texts.
        AfxSetResourceHandle(nullptr);
        QVF_MANAGE_STATE();
        CString text;
        text.LoadString(IDS_TEST_CAPTION);
        EXPECT_EQ(text, L"Formation");
    }
    app.ExitInstance();
    EXPECT_EQ(app.m_hLanguageDll, nullptr);
    EXPECT_EQ(QvFGetModuleResourceHandle(), TestResources());
}

}  // namespace
}  // namespace frametest
