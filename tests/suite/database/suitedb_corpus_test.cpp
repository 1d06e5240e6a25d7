// The schema against the module's statements: every table and view they name exists, and every
// statement translates and runs on a fresh database and, for the queries, on one with data.
#include "corpus.h"
#include "suitedbtest.h"

#include <map>
#include <set>
#include <vector>

namespace qvtest {
namespace {

// Statements that cannot run on any schema, with the messages they fail with.
const std::map<std::string, std::vector<std::string>> kKnownFailures = {
    // The generic rights lookup of the frame, with the example table Kurs, wants Kurs.lMandantID;
    // the quota editor joins Kurs with MaxTeilnehmer and names lMandantID without a table, which
    // only works when Kurs has no such column. A course belongs to no Mandant here.
    {"p02-3.103-02", {"no such column: Kurs.lMandantID", "column kurs.lmandantid does not exist"}},
    // The contact search selects QvSecUser.lQvSecUserID without joining QvSecUser.
    {"p02-4.104-20", {"no such column: QvSecUser.lQvSecUserID", "missing FROM-clause entry for table \"qvsecuser\""}},
    {"p02-4.104-21", {"no such column: QvSecUser.lQvSecUserID", "missing FROM-clause entry for table \"qvsecuser\""}},
};

// Statements that the database refuses on the seeded data, on purpose.
const std::map<std::string, std::string> kRefusedOnData = {
    {"p01-2.132-02", "noch Austragungen"},  // the course still has runs
};

bool IsKnownFailure(const std::string& id, const std::string& error) {
    auto it = kKnownFailures.find(id);
    if (it == kKnownFailures.end()) return false;
    for (const std::string& m : it->second)
        if (error.find(m) != std::string::npos) return true;
    return false;
}

// The example's key of a new row is already taken by a seeded row: "UNIQUE constraint failed:
// Kurs.lKursID", on PostgreSQL the violated primary key "kurs_pkey".
bool IsTakenKey(const std::string& error) {
    if (error.find("duplicate key value violates unique constraint \"") != std::string::npos &&
        error.find("_pkey\"") != std::string::npos)
        return true;
    const std::string prefix = "UNIQUE constraint failed: ";
    if (error.rfind(prefix, 0) != 0) return false;
    const std::string column = error.substr(prefix.size());
    const std::size_t dot = column.find('.');
    return dot != std::string::npos && column.substr(dot + 1) == "l" + column.substr(0, dot) + "ID";
}

class CorpusTest : public SuiteDb {
protected:
    void SetUp() override {
        SuiteDb::SetUp();
        try {
            entries_ = ReadCorpus(QV_SQL_CORPUS);
        } catch (const std::exception& e) {
            GTEST_SKIP() << "no statement corpus: " << e.what();
        }
        ASSERT_FALSE(entries_.empty());
    }

    // Runs the statement inside a savepoint that is rolled back, so each one meets the same data.
    std::string RunRolledBack(const std::string& tsql) {
#ifdef QV_TEST_PG
        EXPECT_EQ(pg_.Begin(), 0) << pg_.LastError().description;
        std::string error = TsqlError(tsql);
        while (pg_.Depth() > 0) pg_.Rollback();
#else
        Sql("SAVEPOINT corpus");
        std::string error = TsqlError(tsql);
        Sql("ROLLBACK TO corpus");
        Sql("RELEASE corpus");
#endif
        return error;
    }

    bool HasTableOrView(const std::string& name) {
#ifdef QV_TEST_PG
        return !Table("SELECT 1 FROM information_schema.tables WHERE table_schema = 'public' AND table_name = lower('" +
                      name + "')")
                    .empty();
#else
        return !Table("SELECT 1 FROM sqlite_master WHERE type IN ('table', 'view') AND name = '" + name +
                      "' COLLATE NOCASE")
                    .empty();
#endif
    }

    static bool IsQuery(const std::string& tsql) {
        std::size_t i = tsql.find_first_not_of(" \t\r\n");
        return i != std::string::npos && (tsql.compare(i, 6, "SELECT") == 0 || tsql.compare(i, 6, "select") == 0);
    }

    // Rows behind the ids the examples use (1, 2, 5, 7, 12), so that joins, views and database
    // functions have something to work on.
    void Seed() {
        Sql(R"sql(
INSERT INTO Gemeinde (lGemeindeID, strBezeichnung, strKanton) VALUES (1, 'Uster', 'ZH');
INSERT INTO Ort (lOrtID, strPLZ, strOrt, lGemeindeID, lTyp) VALUES (1, '8610', 'Uster', 1, 1);
INSERT INTO Mandant (lMandantID, strMandantName, strMandantTyp, lOrtID, fKursNotification)
    VALUES (1, 'Feuerwehr Uster', 'Feuerwehr', 1, 1), (12, 'Feuerwehr Bern', 'Feuerwehr', 1, 0);
INSERT INTO Grad (lGradID, strKurzbezeichnung, strKurzbezeichnungF, lRang) VALUES (1, 'Sdt', 'Sdt', 10);
INSERT INTO Device (lDeviceID, lMandantID, lPersonID, lTyp, strBezeichnung) VALUES (1, 1, 1, 6, 'Mail'), (2, 1, 1, 1, 'Pager');
INSERT INTO Devicenumber (lDevicenumberID, lDeviceID, lTyp, strNr) VALUES (1, 1, 0, 'hans@example.org'), (2, 2, 0, '079 123 45 67');
INSERT INTO Person (lPersonID, lMandantID, strName, strVorname, lOrtID, lCAktGradID, lEMailP, lPager)
    VALUES (1, 1, 'Muster', 'Hans', 1, 1, 1, 2), (2, 1, 'Meier', 'Anna', 1, -1, -1, -1),
           (5, 12, 'Meier', 'Peter', 0, -1, -1, -1);
INSERT INTO QvSecUser (lQvSecUserID, strUserID) VALUES (1, '6F9619FF-8B86-D011-B42D-00C04FC964FF'), (7, '');
INSERT INTO Contact (lContactID, lPersonID, guid, lOrtID, strName, strVorname)
    VALUES (1, 2, '6F9619FF-8B86-D011-B42D-00C04FC964FF', 1, 'Muster', 'Hans');
INSERT INTO SecMandant (lSecMandantID, lMandantID, lTableID, lQvSecUserID, lRight)
    VALUES (1, 1, 4, 1, 256), (2, 1, 45, 1, 256), (3, 12, 39, 7, 256), (4, 1, 0, 1, 256);
INSERT INTO Funktion (lFunktionID, strBezeichnung) VALUES (1, 'Kursleiter');
INSERT INTO Kursleitung (lKursleitungID, lFunktionID) VALUES (1, 1);
INSERT INTO PersonFunktion (lPersonFunktionID, lPersonID, lFunktionID, dtStart, fActive, fHauptFunktion)
    VALUES (1, 2, 1, '2020-01-01 00:00:00', 1, 1), (2, 5, 1, '2020-01-01 00:00:00', 1, 0);
INSERT INTO Absenzgrund (lAbsenzgrundID, strBezeichnung) VALUES (1, 'Krank');
INSERT INTO Personabsenz (lPersonabsenzID, lPersonID, lAbsenzgrundID, dtStart, dtEnde)
    VALUES (1, 1, 1, '2031-06-14 00:00:00', '2031-06-16 00:00:00');
INSERT INTO Kurs (lKursID, lTyp, strKurzbezeichnung, strBezeichnung) VALUES (1, 3, 'GK', 'Grundkurs'), (12, 2, 'AS', 'Atemschutz');
INSERT INTO Kursinstanz (lKursinstanzID, lKursID, dtDatum, strBezeichnung, strOrt, lOrtID, fGeschlossen,
                         dtAnmeldenVon, dtAnmeldenBis)
    VALUES (1, 1, '2031-06-15 00:00:00', 'GK, Grundkurs', 'Depot', 1, 0, '2031-01-01 00:00:00', '2031-06-01 23:59:59'),
           (2, 1, '2031-09-15 00:00:00', 'GK, Grundkurs', '', 0, 1, '1899-12-30 00:00:00', '1899-12-30 00:00:00');
INSERT INTO Kursinstanzdate (lKursinstanzdateID, lKursinstanzID, dtStart, dtEnde)
    VALUES (1, 1, '2031-06-15 08:00:00', '2031-06-15 17:00:00');
INSERT INTO KursinstanzGruppe (lKursinstanzGruppeID, lKursinstanzID, strBezeichnung, lMaxTeilnehmer) VALUES (1, 1, 'Gruppe A', 10);
INSERT INTO KursinstanzGruppe (lKursinstanzGruppeID, lKursID, strBezeichnung) VALUES (3, 1, 'Vorlage A');
INSERT INTO PersonKurs (lPersonKursID, lPersonID, lKursID, lKursinstanzID, lKursinstanzGruppeID, fTeilnehmer,
                        lStatus, dtDatum, guid)
    VALUES (1, 1, 1, 1, 1, 1, 0, '2031-06-15 00:00:00', 'A1A1A1A1-0000-4000-8000-000000000001');
INSERT INTO PersonKurs (lPersonKursID, lPersonID, lKursID, lKursinstanzID, lKursleitungID, fTeilnehmer, fLeiter,
                        lStatus, dtDatum)
    VALUES (2, 2, 1, 1, 1, 0, 1, 0, '2031-06-15 00:00:00'),
           (3, 5, 1, -1, -1, 1, 0, 0, '2031-12-31 00:00:00');
INSERT INTO SecKurs (lSecKursID, lKursID, lKursinstanzID, lQvSecUserID, lRight)
    VALUES (1, 1, -1, 1, 65792), (2, -1, 1, 1, 65792), (3, 12, -1, 1, 256);
INSERT INTO Kursprecondition (lKurspreconditionID, lKursID, lOrder, lOperator) VALUES (1, 12, 1, 0);
INSERT INTO KurspreconditionItem (lKurspreconditionItemID, lKurspreconditionID, lKursID, lOperator, lMaxYear)
    VALUES (1, 1, 1, 1, 5);
INSERT INTO Kursreservation (lKursreservationID, lMandantID, lKursID, lYear, lAnzahl) VALUES (1, 1, 1, 2031, 3);
INSERT INTO CustFieldType (lCFTypeID, lTableID, strBezeichnung, fUsed4Search) VALUES (1, 39, 'Nummer', 1), (2, 42, 'Code', 1);
INSERT INTO CustFieldValue (lCFTypeID, lID, strValue) VALUES (1, 1, 'K-100'), (2, 1, 'Z7');
INSERT INTO CustFieldValue (lCFTypeID, lID, strValue, guid) VALUES (-1, -1, '24', 'D4D67D85-DC7A-4F2B-AD40-B0F4BBEC5E7D');
INSERT INTO Kursnotification (lKursnotificationID, lMandantID) VALUES (1, 1);
INSERT INTO Kursnotification (lKursnotificationID, lMandantID, lPersonID) VALUES (2, 1, 1);
INSERT INTO KursnotificationItem (lKursnotificationItemID, lKursnotificationID, lPersonID, lKursID, lKursinstanzID,
                                  strPerson, strKurs, strKursinstanz, lArt)
    VALUES (1, 1, 1, 1, 1, 'Muster Hans, Uster', 'GK, Grundkurs', 'GK, Grundkurs (15.06.2031)', 1);
INSERT INTO KursnotificationMailtemplate (lKursnotificationMailtemplateID, strName, strSubject) VALUES (1, 'Standard', 'Anmeldungen');
INSERT INTO QvLabel (lQvLabelID, lQvLanguageID, lFkID, strName, strLabel)
    VALUES (1, 1, 1, 'KursnotificationMailtemplate_Subject', 'Anmeldungen'),
           (20, 1, 0, 'Datenbearbeitungsstatus', 'offen'), (21, 1, 0, 'Artikeltyp', 'Schlauch'),
           (22, 1, 0, 'Artikelstatus', 'bereit');
INSERT INTO VIP (lVIPID, fKursNotificationReceiver) VALUES (1, 1);
INSERT INTO VIPPersonMandant (lVIPPersonMandantID, lVIPID, lPersonID, lMandantID) VALUES (1, 1, 1, 1);
INSERT INTO Area (lAreaID, strKurzbezeichnung, strBezeichnung) VALUES (1, 'N', 'Nord');
INSERT INTO AreaMandant (lAreaMandantID, lAreaID, lMandantID) VALUES (1, 1, 1);
INSERT INTO MaxTeilnehmer (lMaxTeilnehmerID, lKursID, lMandantID, lYear, lAnzahl) VALUES (1, 1, 1, 2031, 5);
INSERT INTO Einsatzart (lEinsatzartID, strBezeichnung, lEinsatzart) VALUES (1, 'Brand', 0);
INSERT INTO Einsatz (lEinsatzID, lMandantID, lEinsatzartID, lOrtID, dtEinsatz, dtEinsatzBis, strEreignis, strAdresse)
    VALUES (1, 1, 1, 1, '2031-06-15 08:00:00', '2031-06-15 17:00:00', 'Brand Scheune', 'Hauptstrasse 1');
INSERT INTO Einsatzstatus (lEinsatzstatusID, lEinsatzID, lStatus, lOrder) VALUES (1, 1, 0, 1);
INSERT INTO KursinstanzEinsatz (lKursinstanzEinsatzID, lKursinstanzID, lEinsatzID) VALUES (1, 1, 1);
INSERT INTO Soldansatz (lSoldansatzID, strBezeichnung, lEinheit) VALUES (1, 'Tag', 4);
INSERT INTO PersonEinsatz (lPersonEinsatzID, lEinsatzID, lSoldansatzID, lPersonID) VALUES (1, 1, 1, 1);
INSERT INTO Absenz (lAbsenzID, lEinsatzID, lAbsenzgrundID, lPersonID) VALUES (1, 1, 1, 2);
INSERT INTO Ausbildungsstufe (lAusbildungsstufeID, strBezeichnung) VALUES (1, 'Grundstufe');
INSERT INTO Agenda (lAgendaID, lMandantID, lEinsatzartID, lAusbildungsstufeID, lOrtID, dtAktivitaet, strBezeichnung)
    VALUES (1, 1, 1, 1, 1, '2031-06-20 19:00:00', 'Uebung Atemschutz');
INSERT INTO Agendastatus (lAgendastatusID, lAgendaID, lStatus, lOrder) VALUES (1, 1, 0, 1);
INSERT INTO Formation (lFormationID, lMandantID, strBezeichnung) VALUES (1, 1, 'Zug 1');
INSERT INTO Arbeitsplan (lArbeitsplanID, lMandantID, lFormationID, lEinsatzID, dtStart, dtEnde, strBezeichnung)
    VALUES (1, 1, 1, 1, '2031-06-15 07:30:00', '2031-06-15 18:00:00', 'Pikett');
INSERT INTO Taetigkeit (lTaetigkeitID, strBezeichnung, fSoldrelevant) VALUES (1, 'Maschinist', 1);
INSERT INTO PersonArbeitsplan (lPersonArbeitsplanID, lPersonID, lArbeitsplanID, lTaetigkeitID) VALUES (1, 1, 1, 1);
INSERT INTO Abrechnung (lAbrechnungID, dtDatum, strBezeichnung) VALUES (1, '2031-06-30 00:00:00', 'Sold 2031');
INSERT INTO Gruppe (lGruppeID, lMandantID, strBezeichnung) VALUES (1, 1, 'Zug Nord');
INSERT INTO Dokumentart (lDokumentartID, strBezeichnung) VALUES (1, 'Reglement');
INSERT INTO Dokument (lDokumentID, lDokumentartID, strBezeichnung) VALUES (1, 1, 'Reglement 2031');
INSERT INTO Artikel (lArtikelID, lMandantID, strBezeichnung) VALUES (1, 1, 'Schlauch C-52');
INSERT INTO Wartungsplan (lWartungsplanID, lMandantID, strBezeichnung) VALUES (1, 1, 'Leiter jaehrlich');
INSERT INTO Artikeljournal (lArtikeljournalID, lArtikelID) VALUES (1, 1);
INSERT INTO Wartungsjournal (lWartungsjournalID, lArtikelID) VALUES (1, 1);
INSERT INTO DocMngmt (lDocMngmtID, lTableID, lFkID) VALUES (1, 39, 1);
INSERT INTO DocImage (lDocImageID, strEditPath, strLock) VALUES (1, '/tmp/x.doc', '2031-06-15 08:00:00|WS07|user1');
INSERT INTO Organisation (lOrganisationID) VALUES (1);
INSERT INTO Konto (lKontoID) VALUES (1);
INSERT INTO UserLog (lGrouping, dtTime, strModul, lCode) VALUES (1, '2031-01-01 00:00:00', 'System.ImportExport', 8);
INSERT INTO QvReportServerProfile (lQvReportServerProfileID, guid, strName) VALUES (1, '6F9619FF-8B86-D011-B42D-00C04FC964FF', 'Qovaro.QvPool');
INSERT INTO QvReportServerReport (lQvReportServerReportID, lQvReportServerProfileID, strReport, strLabel)
    VALUES (1, 1, 'Kursliste', 'Kurse');
INSERT INTO QvTDDComputer (strComputer, TDDEnabled) VALUES ('WS07', 1);
)sql");
    }

    std::vector<CorpusEntry> entries_;
};

// Every table and view that a statement reads or writes is in the schema.
TEST_F(CorpusTest, EveryNamedTableAndViewExists) {
    std::set<std::string> missing;
    for (const CorpusEntry& e : entries_)
        for (const std::string& t : e.tables)
            if (!HasTableOrView(t))
                missing.insert(t + " (" + e.id + ")");
    EXPECT_TRUE(missing.empty()) << ::testing::PrintToString(missing);
}

// Every statement translates and runs on the fresh schema: its tables, columns, functions and
// procedures exist, and no column name is ambiguous in its joins.
TEST_F(CorpusTest, EveryStatementRunsOnFreshSchema) {
    int run = 0;
    for (const CorpusEntry& e : entries_) {
        if (e.isFragment) continue;
        ++run;
        const std::string error = RunRolledBack(e.example);
        if (kKnownFailures.count(e.id))
            EXPECT_TRUE(IsKnownFailure(e.id, error)) << e.id << ": " << error;
        else
            EXPECT_EQ(error, "") << e.id << ": " << e.example;
    }
    EXPECT_GT(run, 300);
}

// The queries also run on data: the views and database functions they call work row by row.
TEST_F(CorpusTest, EveryQueryRunsOnData) {
    Seed();
    int run = 0;
    for (const CorpusEntry& e : entries_) {
        if (e.isFragment || !IsQuery(e.example)) continue;
        ++run;
        const std::string error = RunRolledBack(e.example);
        if (kKnownFailures.count(e.id))
            EXPECT_TRUE(IsKnownFailure(e.id, error)) << e.id << ": " << error;
        else
            EXPECT_EQ(error, "") << e.id << ": " << e.example;
    }
    EXPECT_GT(run, 150);
}

// The statements that change rows also run on data, where the triggers they set off do their work.
TEST_F(CorpusTest, EveryChangeRunsOnData) {
    Seed();
    int run = 0;
    for (const CorpusEntry& e : entries_) {
        if (e.isFragment || IsQuery(e.example) || kKnownFailures.count(e.id)) continue;
        const std::string error = RunRolledBack(e.example);
        if (IsTakenKey(error)) continue;  // runs on the fresh schema instead
        ++run;
        auto refused = kRefusedOnData.find(e.id);
        if (refused != kRefusedOnData.end())
            EXPECT_NE(error.find(refused->second), std::string::npos) << e.id << ": " << error;
        else
            EXPECT_EQ(error, "") << e.id << ": " << e.example;
    }
    EXPECT_GT(run, 60);
}

}  // namespace
}  // namespace qvtest
