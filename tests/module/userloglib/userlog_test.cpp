// The user-log client: entries through the frame's user-log server, refusals, the end of
// connection attempts and the show call.
#include "fakehost.h"
#include "scripted.h"
#include "qvhrtrace.h"
#include "tempdir.h"
#include "trace.h"
#include "userlog.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class FakeUserLog : public qvtest::StackObject<IUserLog, IID_IUserLog> {
public:
    struct Entry {
        long kind;
        std::wstring text, detail, modul;
        long value, tableId;
        GUID object, parent;
        long code, grouping;
    };
    HRESULT Write(long kind, BSTR text, BSTR detail, BSTR modul, long value, long tableId, GUID object, GUID parent,
                  long code, long grouping) override {
        entries.push_back({kind, qvtest::Str(text), qvtest::Str(detail), qvtest::Str(modul), value, tableId, object,
                           parent, code, grouping});
        return fail;
    }
    HRESULT ShowSpecificUserLog(long mode, BSTR name, BSTR, BSTR, GUID object) override {
        shown.push_back({mode, L"", L"", qvtest::Str(name), 0, 0, object, GUID_NULL, 0, 0});
        return S_OK;
    }
    std::vector<Entry> entries;
    std::vector<Entry> shown;
    HRESULT fail = S_OK;
};

const CQvGUID kRun(L"FE598CA4-2B6D-41E3-AE09-2DB75EE0C56F");
const CQvGUID kPerson(L"285D3D5E-82F8-4A8E-80F1-4EDBCC39D1EF");

class UserLog : public ::testing::Test {
protected:
    void SetUp() override {
        qv::ClearTrace();
        QvClearHRErrorList();
        ASSERT_TRUE(qvtest::RegisterProgId(QVUSERLOG_PROGID, CLSID_UserLog));
    }
    static std::vector<std::wstring> GaveUpLines() {
        std::vector<std::wstring> lines;
        for (const auto& l : qv::TraceLines()) {
            if (l.rfind(L"CUserLog::ConnectUserLog()", 0) == 0) lines.push_back(l);
        }
        return lines;
    }

    qvtest::TempDir dir_;
    qvtest::ScopedEnv env_{"QV_REGISTRY", dir_.file("registry.db")};
    qvtest::FakeFrame frame;
    qvtest::ScopedRunningServer runningFrame{QV_FRAME_PROGID, &frame};
};

TEST_F(UserLog, EntriesReachTheServerAsWritten) {
    FakeUserLog server;
    frame.Offer(CLSID_UserLog);
    qvtest::ScopedRunningServer running(QVUSERLOG_PROGID, &server);

    CUserLog log;
    CString text = L"Person zu einem Kurs hinzugefügt.", detail = L"Teilnehmer:Muster Hans | Status:Angemeldet",
            modul = L"Ausbildung.Person";
    CQvGUID run = kRun, person = kPerson;
    EXPECT_EQ(log.WriteInsert(&text, &detail, &modul, 1, 42, &run, &person, 0, 0), S_OK);
    CString empty;
    CQvGUID none;
    EXPECT_EQ(log.WriteUpdate(&text, &empty, &modul, 0, 39, &run, &none, 1, 4711), S_OK);
    EXPECT_EQ(log.WriteDelete(&text, &empty, &modul, 5, 42, &run, &person, 0, 0), S_OK);

    ASSERT_EQ(server.entries.size(), 3u);
    const auto& e = server.entries[0];
    EXPECT_EQ(e.kind, 0);
    EXPECT_EQ(e.text, L"Person zu einem Kurs hinzugefügt.");
    EXPECT_EQ(e.detail, L"Teilnehmer:Muster Hans | Status:Angemeldet");
    EXPECT_EQ(e.modul, L"Ausbildung.Person");
    EXPECT_EQ(e.value, 1);
    EXPECT_EQ(e.tableId, 42);
    EXPECT_EQ(e.object, kRun.GetValue());
    EXPECT_EQ(e.parent, kPerson.GetValue());
    EXPECT_EQ(e.code, 0);
    EXPECT_EQ(e.grouping, 0) << "grouping 0 goes over as 0";
    EXPECT_EQ(server.entries[1].kind, 1);
    EXPECT_EQ(server.entries[1].detail, L"") << "an empty detail is accepted";
    EXPECT_EQ(server.entries[1].parent, GUID_NULL);
    EXPECT_EQ(server.entries[1].code, 1);
    EXPECT_EQ(server.entries[1].grouping, 4711);
    EXPECT_EQ(server.entries[2].kind, 2);
    EXPECT_EQ(frame.Asked(), 1) << "connected once for the client's life";

    server.fail = E_ACCESSDENIED;
    EXPECT_EQ(log.WriteInsert(&text, &detail, &modul, 1, 42, &run, &person, 0, 0), E_ACCESSDENIED);
    ASSERT_FALSE(QvGetHRErrorList().empty());
    EXPECT_EQ(QvGetHRErrorList().back().strFile, L"userlog");
}

TEST_F(UserLog, EmptyTextOrModuleIsRefusedWithoutTheServer) {
    FakeUserLog server;
    frame.Offer(CLSID_UserLog);
    qvtest::ScopedRunningServer running(QVUSERLOG_PROGID, &server);
    CUserLog log;
    CString empty, text = L"Kurs wurde gelöscht.", modul = L"Ausbildung.Kurs";
    CQvGUID none;
    // Both empty: the text is reported, it is looked at first.
    EXPECT_EQ(log.WriteDelete(&empty, &empty, &empty, 0, 39, &none, &none, 0, 0), E_FAIL);
    EXPECT_EQ(log.GetLastErrorText(), L"Der Text des Logeintrages ist leer!");
    EXPECT_EQ(log.WriteDelete(&text, &empty, &empty, 0, 39, &none, &none, 0, 0), E_FAIL);
    EXPECT_EQ(log.GetLastErrorText(), L"Die Modulbezeichnung ist leer!");
    EXPECT_EQ(frame.Asked(), 0);
    EXPECT_TRUE(server.entries.empty());

    // The next write starts with an empty error text.
    EXPECT_EQ(log.WriteDelete(&text, &empty, &modul, 0, 39, &none, &none, 0, 0), S_OK);
    EXPECT_TRUE(log.GetLastErrorText().IsEmpty());
}

TEST_F(UserLog, AHostWithoutTheServerGetsTenAttempts) {
    CUserLog log;
    CString text = L"Kurs wurde neu erzeugt.", modul = L"Ausbildung.Kurs";
    CQvGUID none;
    for (int i = 1; i <= 10; ++i) {
        EXPECT_EQ(log.WriteInsert(&text, nullptr, &modul, 0, 39, &none, &none, 0, 0), S_OK);
        EXPECT_EQ(frame.Asked(), i);
    }
    EXPECT_TRUE(GaveUpLines().empty());
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(log.WriteInsert(&text, nullptr, &modul, 0, 39, &none, &none, 0, 0), S_OK);
    }
    EXPECT_EQ(frame.Asked(), 10) << "no attempt after the tenth";
    const auto lines = GaveUpLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], L"CUserLog::ConnectUserLog() Server ist not available, (10/10)");

    // The host offers the server now, but this client has given up; a new one finds it.
    FakeUserLog server;
    frame.Offer(CLSID_UserLog);
    qvtest::ScopedRunningServer running(QVUSERLOG_PROGID, &server);
    EXPECT_EQ(log.WriteInsert(&text, nullptr, &modul, 0, 39, &none, &none, 0, 0), S_OK);
    EXPECT_TRUE(server.entries.empty());
    CUserLog next;
    EXPECT_EQ(next.WriteInsert(&text, nullptr, &modul, 0, 39, &none, &none, 0, 0), S_OK);
    EXPECT_EQ(server.entries.size(), 1u);
}

TEST_F(UserLog, ConnectionFailuresAreReturned) {
    CString text = L"Kurs wurde neu erzeugt.", modul = L"Ausbildung.Kurs";
    CQvGUID none;
    // The frame says it runs the server, but it is not in the running-server table.
    frame.Offer(CLSID_UserLog);
    CUserLog log;
    EXPECT_EQ(log.WriteInsert(&text, nullptr, &modul, 0, 39, &none, &none, 0, 0), E_FAIL);
    ASSERT_FALSE(QvGetHRErrorList().empty());
    EXPECT_EQ(QvGetHRErrorList().back().strFile, L"userlog");
    EXPECT_EQ(log.GetConnectAttempts(), 1);
}

TEST(UserLogWithoutHost, NoFrameIsAFailure) {
    qvtest::TempDir dir;
    qvtest::ScopedEnv env("QV_REGISTRY", dir.file("registry.db"));
    CString text = L"Kurs wurde neu erzeugt.", modul = L"Ausbildung.Kurs";
    CQvGUID none;
    CUserLog log;
    // Not even registered: the ProgID has no class.
    EXPECT_EQ(log.WriteInsert(&text, nullptr, &modul, 0, 39, &none, &none, 0, 0), CO_E_CLASSSTRING);
    ASSERT_TRUE(qvtest::RegisterProgId(QVUSERLOG_PROGID, CLSID_UserLog));
    EXPECT_EQ(log.WriteInsert(&text, nullptr, &modul, 0, 39, &none, &none, 0, 0), E_FAIL);
    EXPECT_EQ(log.GetConnectAttempts(), 2);
}

TEST_F(UserLog, ShowTheEntriesOfARecord) {
    FakeUserLog server;
    frame.Offer(CLSID_UserLog);
    qvtest::ScopedRunningServer running(QVUSERLOG_PROGID, &server);
    const ULONG baseline = server.refs;
    {
        CUserLog log;
        EXPECT_EQ(log.ShowSpecificUserLog(1, L"Atemschutz 1, 2024", L"", L"", kRun), S_OK);
        EXPECT_EQ(server.refs, baseline + 1);
    }
    EXPECT_EQ(server.refs, baseline) << "the destructor releases the server";
    ASSERT_EQ(server.shown.size(), 1u);
    EXPECT_EQ(server.shown[0].kind, 1);
    EXPECT_EQ(server.shown[0].modul, L"Atemschutz 1, 2024");
    EXPECT_EQ(server.shown[0].object, kRun.GetValue());
}

TEST_F(UserLog, AGroupingThatCannotBeDrawnIsShownAndZero) {
    // No database server is registered: the connection cannot be had.
    qv::ScriptedInteraction script;
    qv::ScopedInteraction interaction(&script);
    script.OnFailure([](const std::string& m) { ADD_FAILURE() << m; });
    script.ExpectReport(L"No OLEDB Error available!");
    CUserLog log;
    EXPECT_EQ(log.GetNewGrouping(), 0);
    const auto shown = script.Log().Records(qv::InteractionKind::Report);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].caption, L"OLEDB Errormessage");
}

}  // namespace
