// Creating, copying and deleting courses and runs: defaults, the first date of a run, groups from
// templates, rights rows, the registration window from the settings, log entries and events, and
// what a failed call leaves behind.
#include "kurstest.h"

#include <functional>

#include "kursapiresource.h"
#include "strtable.h"

namespace kurstest {
namespace {

const GUID kKursChanged = qv::MakeGuid("285D3D5E-82F8-4A8E-80F1-4EDBCC39D1EF");
const GUID kRunChanged = qv::MakeGuid("FE598CA4-2B6D-41E3-AE09-2DB75EE0C56F");
const wchar_t* const kModul = L"{5F03AD81-548C-4F27-8FDA-45FC8E49B17C}";
const wchar_t* const kKursFunction = L"{00D42EE5-F393-45EB-BCDF-5873430E1432}";

class KursCreate : public KursTest {
protected:
    void SetUp() override {
        KursTest::SetUp();
        secServer.Answer(kModul, L"", 0x0F01);
    }
    std::string Today(const std::string& time) { return Text("SELECT date('now', 'localtime')") + " " + time; }
    std::string Day(int offset, const std::string& time) {
        return Text("SELECT date('now', 'localtime', '" + std::to_string(offset) + " days')") + " " + time;
    }
    long Count(const std::string& table) { return static_cast<long>(Int("SELECT count(*) FROM " + table)); }
    std::string Run(long id, const std::string& columns) {
        return Text("SELECT " + columns + " FROM Kursinstanz WHERE lKursinstanzID = " + K(id));
    }
    // A course with texts that runs take over.
    long Course() {
        const long id = AddKurs(3, "GK");
        Sql("UPDATE Kurs SET strBezeichnung = 'Grundkurs', strTenu = 'Tenue B', strMaterial = 'Helm', "
            "strZielpublikum = 'Neue', strKursziel = 'Grundlagen' WHERE lKursID = " +
            K(id));
        return id;
    }
    // Failures the test expects to be shown.
    void ExpectFailureShown(const std::wstring& text = L"") { script.ExpectReport(text); }
};

TEST_F(KursCreate, LocalCourseIsLocalActiveEmptyAndTheCreatorMayDoEverything) {
    long id = 0;
    ASSERT_EQ(VRQ_CreateKurs(id), S_OK);
    ASSERT_GT(id, 0);
    EXPECT_EQ(Text("SELECT lTyp, fActive, strKurzbezeichnung, strBezeichnung, strBemerkung FROM Kurs WHERE lKursID "
                   "= " +
                   K(id)),
              "3|1|||");
    EXPECT_EQ(Rows("SELECT lKursID, lKursinstanzID, lQvSecUserID, lRight, fValid FROM SecKurs"),
              std::vector<std::string>{K(id) + "|-1|5|16777215|1"});
    const auto entries = userLog.Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].kind, 0);
    EXPECT_EQ(entries[0].text, L"Kurs wurde neu erzeugt.");
    EXPECT_EQ(entries[0].detail, L"");
    EXPECT_EQ(entries[0].module, L"Ausbildung.Kurs");
    EXPECT_EQ(entries[0].tableID, 39);
    EXPECT_EQ(Plain(entries[0].object), Text("SELECT guid FROM Kurs"));
    EXPECT_EQ(entries[0].parent, GUID_NULL);
    const auto events = eventServer.Events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].id, kKursChanged);
    EXPECT_EQ(events[0].value, id);
    EXPECT_TRUE(secServer.grants.empty());
}

TEST_F(KursCreate, UnknownUserGetsTheLocalRowAsUserZero) {
    secServer.userID = -1;
    long id = 0;
    ASSERT_EQ(VRQ_CreateKurs(id), S_OK);
    EXPECT_EQ(Rows("SELECT lQvSecUserID, lRight FROM SecKurs"), std::vector<std::string>{"0|16777215"});
}

TEST_F(KursCreate, CentralCourseIsRegisteredAndTheCreatorsMaskKeepsItsTopBit) {
    Central(true);
    secServer.Answer(kKursFunction, L"", 0x88000F01);
    long id = 0;
    ASSERT_EQ(VRQ_CreateKurs(id), S_OK);
    EXPECT_EQ(Text("SELECT lTyp FROM Kurs"), "2");
    ASSERT_EQ(secServer.grants.size(), 1u);
    EXPECT_EQ(W2U(secServer.grants[0].objectKey), Text("SELECT guid FROM Kurs"));
    EXPECT_EQ(secServer.grants[0].key2, L"");
    EXPECT_EQ(secServer.grants[0].function, qv::MakeGuid("00D42EE5-F393-45EB-BCDF-5873430E1432"));
    EXPECT_EQ(secServer.grants[0].name, L"Kanton ");
    EXPECT_EQ(secServer.grants[0].mask, static_cast<LONG>(0x88000F01));
    // Written as the signed 32-bit value: reading it back gives the same mask.
    EXPECT_EQ(Rows("SELECT lKursID, lQvSecUserID, lRight FROM SecKurs"),
              std::vector<std::string>{K(id) + "|5|" + std::to_string(static_cast<LONG>(0x88000F01))});
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    ASSERT_EQ(conn.Open(L"Qovaro.NQ2", 0), S_OK);
    ASSERT_EQ(rs.Open(L"SELECT lRight FROM SecKurs"), S_OK);
    long lRight = 0;
    ASSERT_EQ(rs.GetFieldValue(L"lRight", &lRight), S_OK);
    EXPECT_EQ(static_cast<DWORD>(lRight), 0x88000F01u);
}

TEST_F(KursCreate, CentralCreatorWithoutReadRightGetsNoRow) {
    Central(true);
    secServer.Answer(kKursFunction, L"", 0x00000F00);
    long id = 0;
    ASSERT_EQ(VRQ_CreateKurs(id), S_OK);
    EXPECT_EQ(Count("Kurs"), 1);
    EXPECT_EQ(Count("SecKurs"), 0);
}

TEST_F(KursCreate, InsideACallersTransactionTheCallerDecides) {
    CQvADOConnection caller;
    ASSERT_EQ(caller.Open(L"Qovaro.NQ2", 0), S_OK);
    ASSERT_EQ(caller.BeginTrans(), S_OK);
    long id = 0;
    ASSERT_EQ(VRQ_CreateKurs(id), S_OK);
    EXPECT_TRUE(caller.IsInTransaction());
    EXPECT_EQ(Count("Kurs"), 0);  // not committed for anyone else
    ASSERT_EQ(caller.RollbackTrans(), S_OK);
    EXPECT_EQ(Count("Kurs"), 0);
    EXPECT_EQ(Count("SecKurs"), 0);
}

TEST_F(KursCreate, AFailureRollsBackTheOwnTransactionWhileTheCallerKeepsItsConnectionAndStillFiresTheEvent) {
    const long kurs = Course();
    const struct {
        const char* name;
        const char* failingTable;  // the insert that fails after the first rows are written
        std::function<long(long&)> run;
        const char* written;       // the table whose first row must be gone again
        GUID event;
    } cases[] = {
        {"course", "SecKurs", [](long& id) { return VRQ_CreateKurs(id); }, "Kurs", kKursChanged},
        {"run", "Kursinstanzdate", [&](long& id) { return VRQ_CreateKursinstanz(kurs, id); }, "Kursinstanz",
         kRunChanged},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Sql(std::string("CREATE TRIGGER Refuse BEFORE INSERT ON ") + c.failingTable +
            " BEGIN SELECT RAISE(ABORT, 'refused'); END");
        const long before = Count(c.written);
        // The caller's connection keeps the thread's session open after the operation's is closed.
        CQvADOConnection caller;
        ASSERT_EQ(caller.Open(L"Qovaro.NQ2", 0), S_OK);
        const size_t events = eventServer.Events().size();
        long id = -7;
        ExpectFailureShown();
        EXPECT_TRUE(FAILED(c.run(id)));
        EXPECT_FALSE(caller.IsInTransaction());
        long lCount = -1;
        CString strTable(c.written);
        ASSERT_EQ(QvDBLookupLong(L"count(*)", strTable, L"", &lCount, L"Qovaro.NQ2"), S_OK);
        EXPECT_EQ(lCount, before) << "seen through the caller's session";
        EXPECT_EQ(Count(c.written), before);
        ASSERT_EQ(eventServer.Events().size(), events + 1);
        EXPECT_EQ(eventServer.Events().back().id, c.event);
        EXPECT_EQ(eventServer.Events().back().value, id);
        EXPECT_GT(id, 0);
        caller.Close(0);
        Sql("DROP TRIGGER Refuse");
    }
}

TEST_F(KursCreate, NewRunTakesTheCoursesTextsAndTodayAndIsClosed) {
    const long kurs = Course();
    long run = 0;
    ASSERT_EQ(VRQ_CreateKursinstanz(kurs, run), S_OK);
    ASSERT_GT(run, 0);
    EXPECT_EQ(Run(run, "lKursID, strBezeichnung, strTenu, strMaterial, strZielpublikum, strKursziel, dblDauer, "
                       "lMaxTeilnehmer, fGeschlossen, dtDatum, dtAnmeldenVon, dtAnmeldenBis, dtPublish"),
              K(kurs) + "|GK, Grundkurs|Tenue B|Helm|Neue|Grundlagen|1.0|0|1|" + Today("00:00:00") +
                  "|1899-12-30 00:00:00|1899-12-30 00:00:00|1899-12-30 00:00:00");
    EXPECT_EQ(Rows("SELECT lKursinstanzID, dtStart, dtEnde FROM Kursinstanzdate"),
              std::vector<std::string>{K(run) + "|" + Today("00:00:00") + "|" + Today("23:59:59")});
    EXPECT_EQ(Rows("SELECT lKursID, lKursinstanzID, lQvSecUserID, lRight FROM SecKurs"),
              std::vector<std::string>{"-1|" + K(run) + "|5|" + K(0x0F01)});

    const auto entries = userLog.Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].kind, 0);
    EXPECT_EQ(entries[0].text, L"Kursaustragung wurde neu erzeugt.");
    const CString today = COleDateTime::GetCurrentTime().Format(L"%d.%m.%Y");
    EXPECT_EQ(entries[0].detail, L"GK, Grundkurs | Kursdatum:" + std::wstring(today.GetString()) +
                                     L" | Veröffentlichen ab:");
    EXPECT_EQ(entries[0].module, L"Ausbildung.Instanz");
    EXPECT_EQ(entries[0].tableID, 42);
    EXPECT_EQ(Plain(entries[0].object), Guid("Kursinstanz", run));
    const auto events = eventServer.Events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].id, kRunChanged);
    EXPECT_EQ(events[0].value, run);
}

TEST_F(KursCreate, GroupsFromTheTemplateOnlyInTheCentralInstallation) {
    const long kurs = Course();
    Sql("INSERT INTO KursinstanzGruppe (lKursinstanzGruppeID, lKursID, lKursinstanzID, strBezeichnung, "
        "lMaxTeilnehmer) VALUES (501, " +
        K(kurs) + ", -1, 'Klasse 1', 12), (502, " + K(kurs) + ", -1, 'Klasse 2', 10)");
    long local = 0;
    ASSERT_EQ(VRQ_CreateKursinstanz(kurs, local), S_OK);
    EXPECT_EQ(Int("SELECT count(*) FROM KursinstanzGruppe WHERE lKursinstanzID = " + K(local)), 0);
    Central(true);
    long central = 0;
    ASSERT_EQ(VRQ_CreateKursinstanz(kurs, central), S_OK);
    EXPECT_EQ(Rows("SELECT strBezeichnung, lMaxTeilnehmer FROM KursinstanzGruppe WHERE lKursinstanzID = " +
                   K(central) + " ORDER BY strBezeichnung"),
              (std::vector<std::string>{"Klasse 1|12", "Klasse 2|10"}));
}

TEST_F(KursCreate, RegistrationWindowFollowsTheSettings) {
    const long kurs = Course();
    struct Case {
        long flags, closeBefore, mode, afterPublish;
        std::wstring publish;
        std::string von, bis, dtPublish;
    };
    const std::string zero = "1899-12-30 00:00:00";
    const std::vector<Case> cases = {
        {0, 3, 0, 4, L"", zero, zero, zero},
        {2, 3, 0, 4, L"", zero, Day(-3, "23:59:59"), zero},
        {1, 3, 0, 4, L"", Today("00:00:00"), zero, zero},
        {1, 3, 0, 10, L"2031-03-01 15:30:00", "2031-03-11 00:00:00", zero, "2031-03-01 15:30:00"},
        // Mode 1 opens so many days before the registration deadline.
        {3, 2, 1, 5, L"", Day(-7, "00:00:00"), Day(-2, "23:59:59"), zero},
        {1, 2, 1, 5, L"", Today("00:00:00"), zero, zero},
        {1, 3, 7, 4, L"", zero, zero, zero},
    };
    for (const auto& c : cases) {
        optionServer.Set(-1060, L"AutoOpenAutoClose", c.flags);
        optionServer.Set(-1060, L"AutoCloseBeforInstanz", c.closeBefore);
        optionServer.Set(-1060, L"AutoOpenMode", c.mode);
        optionServer.Set(-1060, L"AutoOpenAfterPublish", c.afterPublish);
        optionServer.Set(-1060, L"PublishDate", c.publish);
        long run = 0;
        ASSERT_EQ(VRQ_CreateKursinstanz(kurs, run), S_OK) << c.flags << "/" << c.mode;
        EXPECT_EQ(Run(run, "dtAnmeldenVon, dtAnmeldenBis, dtPublish"), c.von + "|" + c.bis + "|" + c.dtPublish)
            << c.flags << "/" << c.mode;
    }
}

TEST_F(KursCreate, FailedReadOfTheOpeningModeCreatesNothing) {
    const long kurs = Course();
    optionServer.Set(-1060, L"AutoOpenAutoClose", 1L);
    optionServer.failing.insert(L"AutoOpenMode");
    long run = -7;
    ExpectFailureShown(L"No OLEDB Error available!");
    EXPECT_EQ(VRQ_CreateKursinstanz(kurs, run), E_FAIL);
    EXPECT_EQ(run, -7);
    EXPECT_EQ(Count("Kursinstanz"), 0);
    ASSERT_EQ(eventServer.Events().size(), 1u);
    EXPECT_EQ(eventServer.Events()[0].value, -7);

    // A failed read of the closing days counts as none.
    optionServer.failing = {L"AutoCloseBeforInstanz"};
    optionServer.Set(-1060, L"AutoOpenAutoClose", 2L);
    ASSERT_EQ(VRQ_CreateKursinstanz(kurs, run), S_OK);
    EXPECT_EQ(Run(run, "dtAnmeldenBis"), Today("23:59:59"));
}

TEST_F(KursCreate, RunOfACourseThatDoesNotExistFailsAndLeavesNothing) {
    Central(true);
    // The creator has a course-leader role, so a run would make him its leader.
    const long person = AddPerson("Muster", "Hans", AddMandant("FW Nord"));
    Sql("INSERT INTO Contact (lContactID, lPersonID) VALUES (1, " + K(person) + ")");
    Sql("INSERT INTO QvSecUser (lQvSecUserID, strUserID) SELECT 5, guid FROM Contact");
    Sql("INSERT INTO Funktion (lFunktionID) VALUES (71)");
    Sql("INSERT INTO Kursleitung (lKursleitungID, lFunktionID) VALUES (81, 71)");
    Sql("INSERT INTO PersonFunktion (lPersonFunktionID, lPersonID, lFunktionID) VALUES (91, " + K(person) + ", 71)");
    secServer.defaultRights = 0x0F01;
    long run = 0;
    ExpectFailureShown(L"No OLEDB Error available!\nOne or more arguments are invalid.");
    EXPECT_EQ(VRQ_CreateKursinstanz(4711, run), E_INVALIDARG);
    EXPECT_GT(run, 0);
    for (const char* table : {"Kursinstanz", "Kursinstanzdate", "KursinstanzGruppe", "SecKurs", "PersonKurs"})
        EXPECT_EQ(Count(table), 0) << table;
    EXPECT_TRUE(userLog.Entries().empty());
    EXPECT_TRUE(secServer.grants.empty());
    ASSERT_EQ(eventServer.Events().size(), 1u);
    EXPECT_EQ(eventServer.Events()[0].value, run);
}

class KursCopy : public KursCreate {
protected:
    void SetUp() override {
        KursCreate::SetUp();
        kurs = Course();
        source = AddRun(kurs, "2031-05-04");
        Sql("UPDATE Kursinstanz SET strBezeichnung = 'Frühling', strLeitung = 'Hans Muster', strOrt = 'Depot', "
            "fGeschlossen = 0, lMaxTeilnehmer = 20, dtAnmeldenVon = '2031-01-01 00:00:00', dtAnmeldenBis = "
            "'2031-04-30 23:59:59', dtPublish = '2030-12-01 00:00:00' WHERE lKursinstanzID = " +
            K(source));
        Sql("INSERT INTO Kursinstanzdate (lKursinstanzdateID, lKursinstanzID, dtStart, dtEnde) VALUES (601, " +
            K(source) + ", '2031-05-04 08:00:00', '2031-05-04 17:00:00'), (602, " + K(source) +
            ", '2031-05-05 08:00:00', NULL)");
        Sql("INSERT INTO KursinstanzGruppe (lKursinstanzGruppeID, lKursinstanzID, lEinsatzGruppeID, strBezeichnung, "
            "lMaxTeilnehmer) VALUES (701, " +
            K(source) + ", 33, 'Klasse A', 8)");
        Sql("INSERT INTO CustFieldType (lCFTypeID, lTableID) VALUES (801, 42), (802, 39)");
        Sql("INSERT INTO CustFieldValue (lCFTypeID, lID, strValue) VALUES (801, " + K(source) + ", 'rot'), (802, " +
            K(source) + ", 'fremd')");
        AddReg(AddPerson("Muster", "Hans", AddMandant("FW Nord")), kurs, source, 0, "2031-05-04");
    }
    long kurs = 0, source = 0;
};

TEST_F(KursCopy, LocalCopyCarriesDaysGroupsValuesAndRightsAndIsClosed) {
    long copy = 0;
    ASSERT_EQ(VRQ_CopyKursinstanz(kurs, source, copy), S_OK);
    ASSERT_GT(copy, source);
    EXPECT_EQ(Run(copy, "lKursID, strBezeichnung, strLeitung, strOrt, fGeschlossen, lMaxTeilnehmer, dtDatum, "
                        "dtAnmeldenVon, dtAnmeldenBis, dtPublish"),
              K(kurs) + "|Kopie von Frühling|Hans Muster|Depot|1|20|2031-05-04 00:00:00|2031-01-01 00:00:00|"
                        "2031-04-30 23:59:59|1900-01-01 00:00:00");
    EXPECT_EQ(Rows("SELECT dtStart, ifnull(dtEnde, 'NULL') FROM Kursinstanzdate WHERE lKursinstanzID = " + K(copy) +
                   " ORDER BY dtStart"),
              (std::vector<std::string>{"2031-05-04 08:00:00|2031-05-04 17:00:00", "2031-05-05 08:00:00|NULL"}));
    EXPECT_EQ(Rows("SELECT lEinsatzGruppeID, strBezeichnung, lMaxTeilnehmer FROM KursinstanzGruppe WHERE "
                   "lKursinstanzID = " +
                   K(copy)),
              std::vector<std::string>{"-1|Klasse A|8"});
    EXPECT_EQ(Rows("SELECT lCFTypeID, strValue FROM CustFieldValue WHERE lID = " + K(copy)),
              std::vector<std::string>{"801|rot"});
    EXPECT_EQ(Rows("SELECT lKursinstanzID, lRight FROM SecKurs"), std::vector<std::string>{K(copy) + "|" + K(0x0F01)});
    EXPECT_EQ(Int("SELECT count(*) FROM PersonKurs WHERE lKursinstanzID = " + K(copy)), 0);

    const auto entries = userLog.Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].kind, 0);
    EXPECT_EQ(entries[0].text, L"Kursaustragung wurde mit Kopieren neu erzeugt.");
    EXPECT_EQ(entries[0].detail.rfind(L"Kopie von Frühling (04.05.2031) | Datum:04 May 2031", 0), 0u)
        << W2U(entries[0].detail);
    EXPECT_NE(entries[0].detail.find(L" | Ort:Depot | "), std::wstring::npos);
    EXPECT_NE(entries[0].detail.find(L" | Leitung:Hans Muster | "), std::wstring::npos);
    EXPECT_NE(entries[0].detail.find(L" | max:20"), std::wstring::npos);
    EXPECT_EQ(entries[0].module, L"Ausbildung.Instanz");
    EXPECT_EQ(Plain(entries[0].object), Guid("Kursinstanz", copy));
    ASSERT_EQ(eventServer.Events().size(), 1u);
    EXPECT_EQ(eventServer.Events()[0].id, kRunChanged);
    EXPECT_EQ(eventServer.Events()[0].value, copy);
}

TEST_F(KursCopy, CentralCopyIsPublishedAnewWithoutLeader) {
    Central(true);
    secServer.defaultRights = 0x0F01;
    optionServer.Set(-1060, L"PublishDate", L"2031-02-01 00:00:00");
    long copy = 0;
    ASSERT_EQ(VRQ_CopyKursinstanz(kurs, source, copy), S_OK);
    EXPECT_EQ(Run(copy, "strLeitung, dtPublish"), "|2031-02-01 00:00:00");
}

TEST_F(KursCopy, PrefixWithAQuoteIsWrittenAsText) {
    qv::RegisterStringTable(KursModuleHandle(), {{IDS_COPY_PREFIX, L"Copie d'"}});
    long copy = 0;
    const long hr = VRQ_CopyKursinstanz(kurs, source, copy);
    qv::RegisterStringTable(KursModuleHandle(), {{IDS_COPY_PREFIX, L"Kopie von "}});
    ASSERT_EQ(hr, S_OK);
    EXPECT_EQ(Run(copy, "strBezeichnung"), "Copie d'Frühling");
}

TEST_F(KursCopy, CopyOfARunThatDoesNotExistFailsAndLeavesNothing) {
    long copy = 0;
    ExpectFailureShown(L"No OLEDB Error available!\nOne or more arguments are invalid.");
    EXPECT_EQ(VRQ_CopyKursinstanz(kurs, 4711, copy), E_INVALIDARG);
    EXPECT_GT(copy, source);
    EXPECT_EQ(Count("Kursinstanz"), 1);
    EXPECT_EQ(Count("Kursinstanzdate"), 2);
    EXPECT_EQ(Count("KursinstanzGruppe"), 1);
    EXPECT_EQ(Count("CustFieldValue"), 2);
    EXPECT_EQ(Count("SecKurs"), 0);
    EXPECT_TRUE(userLog.Entries().empty());
    ASSERT_EQ(eventServer.Events().size(), 1u);
    EXPECT_EQ(eventServer.Events()[0].value, copy);
}

TEST_F(KursCopy, FailedRightsRowRollsTheWholeCopyBack) {
    // Another row of the user for the new run's id makes the rights row fail.
    const long next = static_cast<long>(Int("SELECT max(lKursinstanzID) FROM Kursinstanz")) + 1;
    Sql("INSERT INTO SecKurs (lKursID, lKursinstanzID, lQvSecUserID, lRight) VALUES (-1, " + K(next) + ", 5, 1)");
    long copy = 0;
    script.AllowReports(true);
    EXPECT_TRUE(FAILED(VRQ_CopyKursinstanz(kurs, source, copy)));
    EXPECT_EQ(copy, next);
    EXPECT_EQ(Count("Kursinstanz"), 1);
    EXPECT_EQ(Count("Kursinstanzdate"), 2);
    EXPECT_EQ(Count("KursinstanzGruppe"), 1);
    EXPECT_EQ(Count("CustFieldValue"), 2);
    EXPECT_EQ(Count("SecKurs"), 1);
}

class KursDelete : public KursCreate {};

TEST_F(KursDelete, DeletedRunsWaitingListIsPlannedAgain) {
    const long kurs = Course();
    const long run = AddRun(kurs, "2031-05-04");
    const long mandant = AddMandant("FW Nord");
    std::vector<long> regs;
    for (long status : {0, 3, 4, 7}) regs.push_back(AddReg(AddPerson("P", K(status), mandant), kurs, run, status,
                                                          "2031-05-04"));
    const std::string runGuid = Guid("Kursinstanz", run);
    const std::wstring name = qv::FromUtf8(Text("SELECT fn_GetKursinstanzBezeichnung(" + K(run) + ")"));
    ASSERT_EQ(VRQ_DeleteKursinstanz(run), S_OK);
    EXPECT_EQ(Count("Kursinstanz"), 0);
    EXPECT_EQ(Rows("SELECT lKursinstanzID, lStatus, changedBy FROM PersonKurs ORDER BY lPersonKursID"),
              (std::vector<std::string>{"-1|0|0", "-1|0|7", "-1|0|7", "-1|7|0"}));
    const auto entries = userLog.Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].kind, 2);
    EXPECT_EQ(entries[0].text, L"Kursaustragung wurde gelöscht.");
    EXPECT_EQ(entries[0].detail, name);
    EXPECT_EQ(entries[0].module, L"Ausbildung.Instanz");
    EXPECT_EQ(entries[0].tableID, 42);
    EXPECT_EQ(Plain(entries[0].object), runGuid);
    ASSERT_EQ(eventServer.Events().size(), 1u);
    EXPECT_EQ(eventServer.Events()[0].id, kRunChanged);
    EXPECT_EQ(eventServer.Events()[0].value, run);
}

TEST_F(KursDelete, UnknownIdIsLoggedEmptyAndAnnounced) {
    ASSERT_EQ(VRQ_DeleteKursinstanz(4711), S_OK);
    ASSERT_EQ(VRQ_DeleteKurs(4712), S_OK);
    const auto entries = userLog.Entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].object, GUID_NULL);
    EXPECT_EQ(entries[0].detail, L"");
    EXPECT_EQ(entries[1].text, L"Kurs wurde gelöscht.");
    EXPECT_EQ(entries[1].object, GUID_NULL);
    EXPECT_EQ(eventServer.Events().size(), 2u);
}

TEST_F(KursDelete, NoLogNoDeletion) {
    const long kurs = Course();
    const long run = AddRun(kurs, "2031-05-04");
    const long empty = AddKurs(3, "LK");
    userLog.fail = E_ACCESSDENIED;
    ExpectFailureShown(L"No OLEDB Error available!");
    EXPECT_EQ(VRQ_DeleteKursinstanz(run), E_ACCESSDENIED);
    // A course without runs is deleted, and comes back with its failed entry.
    ExpectFailureShown(L"No OLEDB Error available!");
    EXPECT_EQ(VRQ_DeleteKurs(empty), E_ACCESSDENIED);
    EXPECT_EQ(Count("Kursinstanz"), 1);
    EXPECT_EQ(Count("Kurs"), 2);
    EXPECT_EQ(eventServer.Events().size(), 2u);

    // The log server's own cause is what the report says.
    userLog.refusal = L"Das Benutzerprotokoll nimmt keine Einträge an.";
    ExpectFailureShown(userLog.refusal);
    EXPECT_EQ(VRQ_DeleteKursinstanz(run), E_ACCESSDENIED);
    ExpectFailureShown(userLog.refusal);
    EXPECT_EQ(VRQ_DeleteKurs(empty), E_ACCESSDENIED);
    EXPECT_EQ(Count("Kurs"), 2);
}

TEST_F(KursDelete, ADeletionTheDatabaseRefusesIsShownWithItsCauseAndLogsNothing) {
    const long kurs = Course();
    const long run = AddRun(kurs, "2031-05-04");
    const long waiting = AddReg(AddPerson("P", "W", AddMandant("FW Nord")), kurs, run, 3, "2031-05-04");
    ExpectFailureShown(L"Austragungen");
    EXPECT_TRUE(FAILED(VRQ_DeleteKurs(kurs)));
    EXPECT_EQ(Count("Kurs"), 1);
    EXPECT_TRUE(userLog.Entries().empty()) << "the course still exists";
    EXPECT_EQ(eventServer.Events().size(), 1u);

    // A refused run keeps its waiting list too: the status change goes back with the deletion.
    Sql("CREATE TRIGGER Kursinstanz_NoDelete BEFORE DELETE ON Kursinstanz BEGIN SELECT RAISE(ABORT, 'gesperrt'); END");
    ExpectFailureShown(L"gesperrt");
    EXPECT_TRUE(FAILED(VRQ_DeleteKursinstanz(run)));
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 2u);
    EXPECT_EQ(Count("Kursinstanz"), 1);
    EXPECT_EQ(Int("SELECT lStatus FROM PersonKurs WHERE lPersonKursID = " + K(waiting)), 3);
    EXPECT_TRUE(userLog.Entries().empty()) << "the run still exists";
    Sql("DROP TRIGGER Kursinstanz_NoDelete");

    Sql("DELETE FROM PersonKurs");
    ASSERT_EQ(VRQ_DeleteKursinstanz(run), S_OK);
    ASSERT_EQ(VRQ_DeleteKurs(kurs), S_OK);
    EXPECT_EQ(Count("Kurs"), 0);
    ASSERT_EQ(userLog.Entries().size(), 2u);
    EXPECT_EQ(userLog.Entries()[1].detail, L"GK, Grundkurs") << "named as it was before it went";
    EXPECT_EQ(eventServer.Events().back().id, kKursChanged);
}

}  // namespace
}  // namespace kurstest
