// The interaction layer without windows: the scripted backend answers in order, checks texts and
// buttons, records everything, and the convenience functions load their texts from the string table.
#include "qvinteract.h"
#include "qvwaitdlg.h"
#include "scripted.h"
#include "strtable.h"
#include <gtest/gtest.h>

namespace {

int moduleTag;
const HINSTANCE kModule = reinterpret_cast<HINSTANCE>(&moduleTag);

class InteractTest : public ::testing::Test {
protected:
    void SetUp() override {
        qv::RegisterStringTable(kModule, {{158, L"Person entfernen"},
                                          {155, L"Die Person wird nicht mehr an der Austragung teilnehmen."},
                                          {156, L"Die Person von der Austragung abmelden."},
                                          {157, L"Die Anmeldung löschen."},
                                          {159, L"Notieren Sie den Grund."},
                                          {10004, L"Wollen Sie die Daten wirklich löschen?"}});
        AfxSetResourceHandle(kModule);
        script.OnFailure([this](const std::string& m) { failures.push_back(m); });
    }
    qv::ScriptedInteraction script;
    qv::ScopedInteraction installed{&script};
    std::vector<std::string> failures;
};

class NotRunModal : public qv::IModalDialog {
public:
    UINT DialogId() const override { return 445; }
    std::wstring Caption() const override { return L"Kurs"; }
    INT_PTR RunModalLoop() override {
        ADD_FAILURE() << "a scripted backend must not run the real loop";
        return -1;
    }
    void EndModal(INT_PTR r) override { ended = true, result = r; }
    bool IsModalEnded() const override { return ended; }
    INT_PTR ModalResult() const override { return result; }
    bool ended = false;
    INT_PTR result = 0;
};

TEST(MessageBoxButtons, DefaultAndCancelAnswersFollowTheBoxType) {
    EXPECT_EQ(qv::DefaultAnswer(MB_OK | MB_ICONEXCLAMATION), IDOK);
    EXPECT_EQ(qv::DefaultAnswer(MB_YESNO | MB_ICONINFORMATION | MB_DEFBUTTON2), IDNO);  // 0x144
    EXPECT_EQ(qv::DefaultAnswer(MB_YESNOCANCEL | MB_DEFBUTTON3), IDCANCEL);
    EXPECT_EQ(qv::DefaultAnswer(MB_OKCANCEL | MB_DEFBUTTON3), IDOK);  // no third button: the first
    EXPECT_EQ(qv::CancelAnswer(MB_YESNO), IDNO);
    EXPECT_EQ(qv::CancelAnswer(MB_YESNOCANCEL), IDCANCEL);
    EXPECT_EQ(qv::CancelAnswer(MB_OK), IDOK);
    EXPECT_TRUE(qv::IsValidAnswer(MB_OKCANCEL, IDCANCEL));
    EXPECT_FALSE(qv::IsValidAnswer(MB_YESNO, IDOK));
}

TEST_F(InteractTest, ScriptedAnswersComeInOrderAndAreRecorded) {
    script.ExpectMessageBox(IDNO, L"wirklich löschen").ExpectSelection(2).ExpectReport(L"Datenbank");
    EXPECT_EQ(AfxMessageBox(10004, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2), IDNO);
    EXPECT_EQ(QvSelectionBox(158, 155, 156, 157, 159, 0), 2);
    EXPECT_EQ(QvReportMsg(1, L"Datenbank nicht erreichbar", L"OLEDB Errormessage", L"Default", "kurs.cpp", 42, 1),
              IDOK);
    EXPECT_TRUE(failures.empty());
    EXPECT_EQ(script.Pending(), 0u);

    const auto records = script.Log().Records();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].kind, qv::InteractionKind::MessageBox);
    EXPECT_EQ(records[0].text, L"Wollen Sie die Daten wirklich löschen?");
    EXPECT_EQ(records[0].type, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
    EXPECT_EQ(records[1].selection.title, L"Person entfernen");
    EXPECT_EQ(records[1].selection.choice2, L"Die Anmeldung löschen.");
    EXPECT_EQ(records[1].selection.note, L"Notieren Sie den Grund.");
    EXPECT_EQ(records[2].report.file, L"kurs.cpp");
    EXPECT_EQ(records[2].report.line, 42);
    EXPECT_EQ(records[2].report.caption, L"OLEDB Errormessage");
    EXPECT_EQ(records[0].answer, IDNO);

    // An answer other than the box's default button is the one returned and kept.
    script.ExpectMessageBox(IDYES, L"wirklich löschen");
    EXPECT_EQ(AfxMessageBox(10004, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2), IDYES);
    ASSERT_EQ(script.Log().Records().size(), 4u);
    EXPECT_EQ(script.Log().Records()[3].answer, IDYES);
}

TEST_F(InteractTest, UnexpectedOrMismatchedBoxesAreReportedAndAnsweredByDefault) {
    EXPECT_EQ(AfxMessageBox(L"Nicht erwartet", MB_YESNO | MB_DEFBUTTON2), IDNO);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_NE(failures[0].find("Nicht erwartet"), std::string::npos);

    script.ExpectSelection(1);
    EXPECT_EQ(AfxMessageBox(L"Ein Hinweis", MB_OK), IDOK);  // a box where a selection was expected
    EXPECT_EQ(failures.size(), 2u);
    EXPECT_EQ(script.Pending(), 1u);  // the selection stays queued

    script.ExpectMessageBox(IDOK, L"anderer Text");
    EXPECT_EQ(QvSelectionBox(158, 155, 156, 157, 0, 0), 1);  // the queued selection is met
    EXPECT_EQ(AfxMessageBox(L"Dieser Text", MB_OKCANCEL | MB_DEFBUTTON2), IDCANCEL);
    EXPECT_EQ(failures.size(), 3u);

    script.ExpectMessageBox(IDYES);
    EXPECT_EQ(AfxMessageBox(L"Nur OK", MB_OK), IDOK);  // IDYES is no button of an OK box
    EXPECT_EQ(failures.size(), 4u);
    EXPECT_EQ(script.Failures().size(), 4u);
}

TEST_F(InteractTest, ReportsCanBeAllowedWithoutExpectation) {
    script.AllowReports(true);
    QvReportMsg(E_FAIL, L"Fehler", L"CQvFView::ActivateMenuItem", L"Default", L"qvfview", 7, 1);
    EXPECT_TRUE(failures.empty());
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 1u);
    EXPECT_EQ(script.Log().Records()[0].report.kind, long(E_FAIL));
}

TEST_F(InteractTest, ModalDialogsGoToTheScriptWhichEndsThem) {
    NotRunModal dialog;
    script.ExpectModal(445, [](qv::IModalDialog& d) { d.EndModal(IDOK); });
    EXPECT_EQ(script.RunModal(dialog), IDOK);
    EXPECT_TRUE(failures.empty());

    NotRunModal second;
    script.ExpectModal(0, [](qv::IModalDialog&) {});  // leaves it open
    EXPECT_EQ(script.RunModal(second), IDCANCEL);
    EXPECT_TRUE(second.ended);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_NE(failures[0].find("left dialog 445"), std::string::npos);

    NotRunModal third;
    script.ExpectModal(446, [](qv::IModalDialog& d) { d.EndModal(IDOK); });
    EXPECT_EQ(script.RunModal(third), IDCANCEL);  // another dialog than expected
    EXPECT_EQ(failures.size(), 2u);
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Modal), 3u);
}

TEST_F(InteractTest, WaitWindowIsRecordedAndClosesWithItsObject) {
    {
        CQvWaitDlg wait;
        EXPECT_EQ(wait.SetDescription(L"vorher"), S_FALSE);  // not open yet
        EXPECT_EQ(wait.Open(nullptr, 1000, -1, 10), S_OK);
        EXPECT_EQ(wait.Open(nullptr), S_FALSE);
        wait.ShowCancel(FALSE);
        wait.SetDescription(L"Die Daten werden gespeichert...");
        wait.SetFinish();
    }
    const auto records = script.Log().Records();
    ASSERT_GE(records.size(), 4u);
    EXPECT_EQ(records.front().kind, qv::InteractionKind::WaitOpen);
    EXPECT_EQ(records.back().kind, qv::InteractionKind::WaitClose);
    EXPECT_EQ(records.back().text, L"Die Daten werden gespeichert...");
    EXPECT_EQ(records.back().answer, 1);  // finished
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::WaitOpen), 1u);
    EXPECT_TRUE(failures.empty());
}

TEST_F(InteractTest, RecorderPassesAnswersThroughAndKeepsThem) {
    qv::RecordingInteraction recorder(&script);
    qv::ScopedInteraction viaRecorder(&recorder);
    script.ExpectMessageBox(IDYES);
    AfxSetAppName(L"Ausbildung");
    EXPECT_EQ(QvMessageBox(L"Server antwortet nicht", MB_YESNO | MB_ICONSTOP), IDYES);
    const auto records = recorder.Log().Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].answer, IDYES);
    EXPECT_EQ(records[0].caption, L"Ausbildung");
    EXPECT_EQ(records[0].type, MB_YESNO | MB_ICONSTOP);
}

TEST(ConsoleInteraction, AnswersWithTheDefaultButtonWhenNothingIsInstalled) {
    qv::ScopedInteraction none(nullptr);
    EXPECT_EQ(AfxMessageBox(L"Ohne Fenster", MB_YESNO | MB_DEFBUTTON2), IDNO);
    EXPECT_EQ(QvSelectionBox(1, 2, 3, 4, 0, 0), 0);
}

}  // namespace
