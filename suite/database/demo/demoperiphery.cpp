// Demo data of the neighbouring modules that the remaining record searches read: the processing
// states of activities and agenda entries, fires and water damage besides the exercises, the
// agenda, pay accountings, groups, documents, material articles, maintenance plans and radio and
// pager devices. Keys not needed elsewhere are left to the database.
#include "demomodel.h"

namespace qv::suite::demo {

namespace {

// The processing states 0 to 6 of activities and agenda entries.
const char* const kStates[] = {"Neu", "In Bearbeitung", "Erfasst", "Kontrolliert", "Freigegeben", "Abgeschlossen",
                               "Archiviert"};
// Article types 0 to 6; types 1, 3, 5 and 6 are single pieces with serial numbers.
const char* const kArticleTypes[] = {"Verbrauchsmaterial", "Gerät",      "Material",  "Fahrzeug",
                                     "Bekleidung",         "Atemschutzgerät", "Funkgerät"};
const char* const kArticleStates[] = {"Einsatzbereit", "In Reparatur", "Ausgemustert"};

std::int64_t LastRow(const Model& m) { return std::int64_t(sqlite3_last_insert_rowid(m.db)); }

void WriteLabels(Model& m) {
    Insert label(m.db, "QvLabel", {"lQvLanguageID", "lFkID", "strName", "strLabel"});
    for (int i = 0; i < int(std::size(kStates)); ++i) label.Row(1, i, "Datenbearbeitungsstatus", kStates[i]);
    for (int i = 0; i < int(std::size(kArticleTypes)); ++i) label.Row(1, i, "Artikeltyp", kArticleTypes[i]);
    for (int i = 0; i < int(std::size(kArticleStates)); ++i) label.Row(1, i, "Artikelstatus", kArticleStates[i]);
}

// Per brigade a fire in March (closed, status 5) and water damage in September (a place without
// an address, status 1); the May exercise of the work plans gets its states too.
void WriteActivities(Model& m) {
    Insert einsatz(m.db, "Einsatz", {"guid", "lMandantID", "lEinsatzartID", "lOrtID", "dtEinsatz", "dtErfassung", "strEreignis",
                                     "strEinsatzNr", "strEinsatzort", "strAdresse"});
    Insert status(m.db, "Einsatzstatus", {"lEinsatzID", "lStatus", "lOrder"});
    for (std::size_t b = 0; b < m.mandanten.size(); ++b) {
        const MandantRec& mandant = m.mandanten[b];
        const std::string suffix = std::to_string(b + 1);
        const std::int64_t place = m.places[std::size_t(mandant.homePlaces.front())].id;
        // The exercise: first recorded, then checked.
        status.Row(std::int64_t(b + 1), 0, 1);
        status.Row(std::int64_t(b + 1), 3, 2);
        einsatz.Row(m.rng.Guid(), mandant.id, 1, place, Day::Of(m.year, 3, 10 + int(b)).At(2, 15),
                    Day::Of(m.year, 3, 10 + int(b)).At(9), "Brand Einfamilienhaus " + suffix, std::to_string(m.year) + "-B" + suffix, "Einfamilienhaus",
                    "Dorfstrasse 12\r\nHinterhaus");
        const std::int64_t fire = LastRow(m);
        status.Row(fire, 2, 1);
        status.Row(fire, 5, 2);
        einsatz.Row(m.rng.Guid(), mandant.id, 1, place, Day::Of(m.year, 9, 20 + int(b)).At(14, 40),
                    Day::Of(m.year, 9, 21 + int(b)).At(8), "Wasserschaden Keller " + suffix,
                    std::to_string(m.year) + "-W" + suffix, "Mehrfamilienhaus", "");
        status.Row(LastRow(m), 1, 1);
    }
}

// Per brigade three agenda entries: the exercise that became an activity, an autumn drill and
// one in February of the next year.
void WriteAgenda(Model& m) {
    Insert stufe(m.db, "Ausbildungsstufe", {"lAusbildungsstufeID", "strBezeichnung"});
    stufe.Row(1, "Grundausbildung");
    stufe.Row(2, "Weiterbildung");
    Insert agenda(m.db, "Agenda", {"guid", "lMandantID", "lEinsatzID", "lEinsatzartID", "lAusbildungsstufeID", "lOrtID",
                                   "dtAktivitaet", "strBezeichnung", "strObjekt", "strAdresse", "strLektionsart"});
    Insert status(m.db, "Agendastatus", {"lAgendaID", "lStatus", "lOrder"});
    for (std::size_t b = 0; b < m.mandanten.size(); ++b) {
        const MandantRec& mandant = m.mandanten[b];
        const std::string suffix = std::to_string(b + 1);
        const std::int64_t place = m.places[std::size_t(mandant.homePlaces.front())].id;
        agenda.Row(m.rng.Guid(), mandant.id, std::int64_t(b + 1), 2, 2, place, Day::Of(m.year, 5, 2 + int(b)).At(8),
                   "Hauptübung " + suffix, "Schulhaus", "Schulweg 3", "Gesamtübung");
        status.Row(LastRow(m), 4, 1);
        agenda.Row(m.rng.Guid(), mandant.id, -1, 2, 1, place, Day::Of(m.year, 10, 14 + int(b)).At(19, 30),
                   "Herbstübung Atemschutz " + suffix, "Depot", "", "Fachübung");
        status.Row(LastRow(m), 0, 1);
        agenda.Row(m.rng.Guid(), mandant.id, -1, 2, -1, 0, Day::Of(m.year + 1, 2, 3 + int(b)).At(19),
                   "Maschinistenübung " + suffix, "", "", "Fachübung");
        const std::int64_t drill = LastRow(m);
        status.Row(drill, 0, 1);
        status.Row(drill, 2, 2);
    }
}

void WriteAccountings(Model& m) {
    Insert abrechnung(m.db, "Abrechnung", {"guid", "dtDatum", "strBezeichnung", "strBemerkung", "strZahlungsgrund",
                                           "fAHVAbrechnung", "fCacheOK"});
    const std::string last = std::to_string(m.year - 1), now = std::to_string(m.year);
    abrechnung.Row(m.rng.Guid(), Day::Of(m.year - 1, 12, 15).At(0), "Soldabrechnung " + last, "Jahresabrechnung aller Feuerwehren",
                   "Sold", 1, 1);
    abrechnung.Row(m.rng.Guid(), Day::Of(m.year, 6, 30).At(0), "Soldabrechnung " + now + " 1. Halbjahr",
                   "Noch nicht neu berechnet", "Sold", 1, 0);
    abrechnung.Row(m.rng.Guid(), Day::Of(m.year, 5, 20).At(0), "Spesen Hauptübungen " + now, "", "Spesen", 0, 1);
    abrechnung.Row(m.rng.Guid(), Day::Of(m.year, 11, 5).At(0), "Kursentschädigung Herbst " + now, "Instruktoren", "Entschädigung", 0, 1);
}

void WriteGroupsAndDocuments(Model& m) {
    Insert gruppe(m.db, "Gruppe", {"lMandantID", "strBezeichnung"});
    for (std::size_t b = 0; b < m.mandanten.size(); ++b) {
        const std::string suffix = std::to_string(b + 1);
        for (const char* name : {"Atemschutz ", "Maschinisten ", "Verkehrsdienst "})
            gruppe.Row(m.mandanten[b].id, name + suffix);
    }
    Insert art(m.db, "Dokumentart", {"lDokumentartID", "strBezeichnung"});
    art.Row(1, "Reglement");
    art.Row(2, "Merkblatt");
    art.Row(3, "Protokoll");
    Insert dokument(m.db, "Dokument", {"lDokumentartID", "strBezeichnung", "strVisum", "strHeader"});
    dokument.Row(1, "Feuerwehrreglement", "KDT", "Organisation und Pflichten");
    dokument.Row(1, "Soldreglement", "KDT", "Sold und Entschädigungen");
    dokument.Row(2, "Merkblatt Atemschutz", "ASC", "Einsatz unter Atemschutz");
    dokument.Row(3, "Protokoll Kommandositzung Januar", "AKT", "Jahresplanung");
    dokument.Row(3, "Protokoll Kommandositzung Juni", "AKT", "Rückblick Hauptübung");
}

// Per brigade one article of every type, an inactive one and, from the second brigade on, one
// shared by the first brigade (its master).
void WriteMaterial(Model& m) {
    Insert artikel(m.db, "Artikel", {"guid", "lMandantID", "lArtikeltypID", "lStatus", "fActive", "dblCMenge", "strBezeichnung",
                                     "strKurzbezeichnung", "strArtikelNr", "strSerienNr", "strIdentifikation",
                                     "strBestNr", "strSpecs", "strStandort"});
    Insert plan(m.db, "Wartungsplan", {"guid", "lMandantID", "lZyklusUnit", "lZyklus", "strBezeichnung", "strBemerkung"});
    for (std::size_t b = 0; b < m.mandanten.size(); ++b) {
        const std::int64_t mandant = m.mandanten[b].id;
        const std::string s = std::to_string(b + 1);
        artikel.Row(m.rng.Guid(), mandant, 0, 0, 1, 12.5, "Ölbindemittel", "OEL", "A-100", "", "", "B-7781", "Sack 20 kg", "Depot " + s);
        artikel.Row(m.rng.Guid(), mandant, 1, 0, 1, 1.0, "Stromerzeuger", "GEN", "A-110", "GEN-" + s + "-01", "Inv 110", "B-1200",
                    "8 kVA", "Depot " + s);
        artikel.Row(m.rng.Guid(), mandant, 2, 0, 1, 30.0, "Schlauch 55 mm", "SCHL55", "A-200", "SL-" + s + "-99", "", "B-2255",
                    "20 m", "Depot " + s);
        artikel.Row(m.rng.Guid(), mandant, 3, 0, 1, 1.0, "Tanklöschfahrzeug", "TLF", "A-300", "TLF-" + s + "-001", "ZH 12" + s + "45",
                    "", "2400 l Wasser", "Garage " + s);
        artikel.Row(m.rng.Guid(), mandant, 4, 0, 1, 40.0, "Einsatzjacke", "JACKE", "A-400", "", "", "B-4010", "Grösse M bis XXL",
                    "Magazin " + s);
        artikel.Row(m.rng.Guid(), mandant, 5, 1, 1, 1.0, "Pressluftatmer", "PA", "A-500", "PA-" + s + "-017", "PA 17", "B-5000",
                    "300 bar", "Atemschutzraum " + s);
        artikel.Row(m.rng.Guid(), mandant, 6, 0, 1, 1.0, "Handfunkgerät", "FUNK", "A-600", "HF-" + s + "-042", "Funk 42", "B-6000",
                    "Polycom", "Depot " + s);
        artikel.Row(m.rng.Guid(), mandant, 1, 2, 0, 0.0, "Motorspritze alt", "MS", "A-120", "MS-" + s + "-1970", "", "", "Typ 1970",
                    "Depot " + s);
        plan.Row(m.rng.Guid(), mandant, 3, 1, "Jahreskontrolle Atemschutz", "Prüfung aller Pressluftatmer durch den Hersteller");
        plan.Row(m.rng.Guid(), mandant, 2, 6, "Hydrantenkontrolle", "Alle Hydranten des Einsatzgebiets");
        plan.Row(m.rng.Guid(), mandant, 1, 2, "Fahrzeugcheck", "");
    }
    Exec(m.db, "UPDATE Artikel SET guidMasterMandant = (SELECT guid FROM Mandant WHERE Mandant.lMandantID = Artikel.lMandantID)");
    Exec(m.db, "UPDATE Wartungsplan SET guidMasterMandant = "
               "(SELECT guid FROM Mandant WHERE Mandant.lMandantID = Wartungsplan.lMandantID)");
    for (std::size_t b = 1; b < m.mandanten.size(); ++b) {
        const std::string s = std::to_string(b + 1);
        artikel.Row(m.rng.Guid(), m.mandanten[b].id, 3, 0, 1, 1.0, "Hubretter der Stützpunktfeuerwehr", "HR", "A-310", "HR-1-001",
                    "", "", "30 m", "Stützpunkt 1");
        plan.Row(m.rng.Guid(), m.mandanten[b].id, 3, 2, "Hubretter Expertise", "Durch die Stützpunktfeuerwehr");
        const std::string master = "(SELECT guid FROM Mandant WHERE lMandantID = " + std::to_string(m.mandanten[0].id) + ")";
        Exec(m.db, "UPDATE Artikel SET guidMasterMandant = " + master + " WHERE strKurzbezeichnung = 'HR'");
        Exec(m.db, "UPDATE Wartungsplan SET guidMasterMandant = " + master + " WHERE strBezeichnung = 'Hubretter Expertise'");
    }
}

// Per brigade a radio of the commander, a pager of the duty group that nobody carries, and a
// radio whose only number is a spare one (kind 1). Their addresses are those of the mail
// gateways, in the reserved domain like every address of the demo.
void WriteDevices(Model& m) {
    Insert device(m.db, "Device", {"guid", "lMandantID", "lPersonID", "lTyp", "strBezeichnung", "strStatus"});
    Insert number(m.db, "Devicenumber", {"lDeviceID", "lTyp", "strNr"});
    for (std::size_t b = 0; b < m.mandanten.size(); ++b) {
        const std::string s = std::to_string(b + 1);
        std::int64_t holder = -1;
        for (const PersonRec& person : m.persons)
            if (person.mandant == int(b) && person.active) {
                holder = person.id;
                break;
            }
        device.Row(m.rng.Guid(), m.mandanten[b].id, holder, 4, "Funkgerät Kommandant", "in Betrieb");
        number.Row(LastRow(m), 0, "4711-" + s + "@polycom.example");
        device.Row(m.rng.Guid(), m.mandanten[b].id, -1, 3, "Pager Pikettgruppe", "an Lager");
        number.Row(LastRow(m), 0, "0800" + s + "@pager.example");
        device.Row(m.rng.Guid(), m.mandanten[b].id, holder, 4, "Funkgerät Reserve", "an Lager");
        number.Row(LastRow(m), 1, "4799-" + s + "@polycom.example");
    }
}

}  // namespace

void WritePeriphery(Model& m) {
    WriteLabels(m);
    WriteActivities(m);
    WriteAgenda(m);
    WriteAccountings(m);
    WriteGroupsAndDocuments(m);
    WriteMaterial(m);
    WriteDevices(m);
}

}  // namespace qv::suite::demo
