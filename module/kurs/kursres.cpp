// The course module's German string table, registered when the library loads.
#include "kursres.h"

#include "kursresource.h"
#include "strtable.h"

namespace {

// Its address names the module to the string tables.
char g_kursModuleTag;

struct Registrar {
    Registrar() {
        qv::RegisterStringTable(KursModuleHandle(), {
            {IDS_ONLINE_REQUEST_RUNNING, L"Die Anfrage via Internet wird ausgeführt."},
            {IDS_PRECONDITION_NOT_MET,
             L"%s kann diesem Kurs nicht hinzugefügt werden!\nDie Voraussetzung wird mindesten durch den Kurs '%s' "
             L"nicht erfüllt.\n\nSollen die Voraussetzungen angezeigt werden?"},
            {IDS_RESERVATION_DECREMENTED,
             L"Die Anzahl Reservationen für den Kurs '%s'  wurde für das Jahr %d  um eins verkleinert."},
            {IDS_PRECOND_AND, L"UND"},
            {IDS_PRECOND_OR, L"ODER"},
            {IDS_PRECOND_AND_NOT, L"UND NICHT"},
            {IDS_PRECOND_NOT, L"NICHT"},
            {IDS_PRECOND_MAXYEAR, L"maximal vor %d Jahr(en)"},
            {IDS_PRECOND_NOT_WITHIN, L"nicht innerhalb der letzten %d Jahr(en)"},
            {IDS_PRECOND_LOCKYEAR, L"mindestens vor %d Jahr(en)"},
            {IDS_PRECOND_AND_LOCKYEAR, L"und mindestens vor %d Jahr(en)"},
            {IDS_PRECOND_LIMIT_ANY, L"ohne zeitliche Einschränkung"},
            {IDS_PRECOND_LIMIT_MAX, L"maximal vor N Jahr(en)"},
            {IDS_PRECOND_LIMIT_LOCK, L"mindestens vor M Jahr(en)"},
            {IDS_PRECOND_LIMIT_MAXLOCK, L"maximal vor N und mindestens vor M Jahr(en)"},
            {IDS_PRECOND_LIMIT_NOTWITHIN, L"nicht innerhalb der letzten M Jahr(en)"},
            {IDS_PRECOND_ERR_KURS, L"Bitte wählen Sie den vorausgesetzten Kurs aus."},
            {IDS_PRECOND_ERR_LIMIT, L"Bitte wählen Sie den Zeitraum aus."},
            {IDS_PRECOND_ERR_YEARS, L"Die Anzahl Jahre muss eine ganze Zahl zwischen 1 und 99 sein."},
            {IDS_PRECOND_ERR_WINDOW,
             L"Der Zeitraum ist leer: 'mindestens vor' muss weniger Jahre nennen als 'maximal vor'."},
            {IDS_PRECOND_ERR_SELECT, L"Bitte wählen Sie zuerst eine Zeile der Voraussetzungen aus."},
            {IDS_PRECOND_DELETE_QUESTION, L"Soll die Voraussetzung '%s' gelöscht werden?"},
            {IDS_BELEGUNG_COL_AUSTRAGUNG, L"Austragung"},
            {IDS_BELEGUNG_COL_DATUM, L"Datum"},
            {IDS_BELEGUNG_COL_ANZAHL, L"Angemeldet"},
            {IDS_BELEGUNG_COL_MAX, L"Maximum"},
            {IDS_BELEGUNG_COL_WARTELISTE, L"Warteliste"},
            {IDS_BELEGUNG_COL_STATE, L"Belegung"},
            {IDS_BELEGUNG_COL_GESCHLOSSEN, L"Geschlossen"},
            {IDS_BELEGUNG_STATE_FREI, L"freie Plätze"},
            {IDS_BELEGUNG_STATE_WARNING, L"fast voll"},
            {IDS_BELEGUNG_STATE_VOLL, L"voll"},
            {IDS_WARTELISTE_FILLED, L"%d Person(en) wurden von der Warteliste angemeldet."},
            {IDS_WARTELISTE_NOTHING, L"Es wurde niemand von der Warteliste angemeldet: die Austragung hat keine freien "
                                     L"Plätze oder keine Warteliste."},
            {IDS_WARTELISTE_NOT_ALLOWED, L"Die Anmeldungen dieser Austragung werden von der Kantonsdatenbank "
                                         L"verwaltet und können hier nicht geändert werden."},
            {IDS_SELECT_COL_KURS, L"Kurs"},
            {IDS_SELECT_COL_AUSTRAGUNG, L"Austragung"},
            {IDS_SELECT_COL_DATUM, L"Datum"},
            {IDS_SELECT_COL_TYP, L"Typ"},
            {IDS_SELECT_COL_GESCHLOSSEN, L"Geschlossen"},
            {IDS_KURSSETUP_CAPTION, L"Kurse"},
            {IDS_KURSSETUP_GROUP, L"Module"},
            {IDS_KURSSETUP_BAD_DATE, L"Das Publikationsdatum ist kein gültiges Datum (TT.MM.JJJJ).\n"
                                    L"Abbrechen verwirft die Änderungen dieser Seite."},
            {IDS_KURSVIEW_CAPTION, L"Ausbildung"},
            {IDS_KURSDLG_NONE, L"Kein Kurs ausgewählt"},
            {IDS_KURSDLG_TITLE, L"Kurs: %s"},
            {IDS_KURSDLG_TITLE_RUN, L"Kurs: %s   |   Austragung: %s"},
            {IDS_KURS_DELETE_QUESTION, L"Soll der Kurs '%s' mit allen Austragungen gelöscht werden?"},
            {IDS_KURSINSTANZ_DELETE_QUESTION, L"Soll die Austragung '%s' gelöscht werden?"},
            {IDS_MENU_KURS_NEW, L"Neuer Kurs"},
            {IDS_MENU_KURSINSTANZ_NEW, L"Neue Austragung"},
            {IDS_MENU_KURSINSTANZ_COPY, L"Austragung kopieren"},
            {IDS_MENU_KURS_DELETE, L"Kurs löschen..."},
            {IDS_MENU_KURSINSTANZ_DELETE, L"Austragung löschen..."},
            {IDS_MENU_KURSINSTANZ_FILL, L"Austragung aus Warteliste auffüllen"},
            {IDS_MENU_KURS_BELEGUNG, L"Belegung der Austragungen..."},
            {IDS_MENU_KURS_USERLOG, L"Protokoll des Kurses..."},
            {IDS_MENU_KURSINSTANZ_USERLOG, L"Protokoll der Austragung..."},
            {IDS_KURSDLG_NOACCESS, L"Ausbildung: Zugriff nicht erlaubt!"},
            {IDS_KURSDATEN_CAPTION, L"Kursdaten"},
            {IDS_KURSDATEN_TYP_BUND, L"Bund"},
            {IDS_KURSDATEN_TYP_KANTON, L"Kanton"},
            {IDS_KURSDATEN_TYP_LOKAL, L"Lokal"},
            {IDS_KURSDATEN_ERR_KURZ, L"Bitte geben Sie die Kurzbezeichnung des Kurses ein."},
            {IDS_KURSDATEN_ERR_OVERBOOK, L"Die Überbuchung muss eine Zahl zwischen 0 und 100 (Prozent) sein."},
            {IDS_ONLINE_CLOSED,
             L"Online Kursanmeldung\nDie Kursaustragung ist geschlossen, es können keine weiteren Änderungen mehr "
             L"vorgenommen werden."},
            {IDS_ONLINE_QUEUE,
             L"Online Kursanmeldung\nIhre Anmeldung wurde entgegengenommen,\ndie Person wird jedoch auf die "
             L"Warteliste gesetzt."},
            {IDS_ONLINE_DENIED, L"Online Kursanmeldung\nDiese Operation ist nicht/nicht mehr erlaubt."},
            {IDS_ONLINE_ARGUMENT, L"Online Kursanmeldung\nFalscher oder fehlender Parameter im URL: '%s'"},
            {IDS_ONLINE_DBCONNECTION, L"Online Kursanmeldung\nDatenbank - Fehler: '%s'"},
            {IDS_ONLINE_FILE, L"Online Kursanmeldung\nDie Importdatei wurde nicht gefunden: '%s'"},
            {IDS_ONLINE_UNK, L"Online Kursanmeldung\nDie Operation war nicht erfolgreich: '%s'"},
            {IDS_ONLINE_ERROR, L"Online Kursanmeldung\nEs ist ein allgemeiner Fehler aufgetreten: '%s'"},
            {IDS_ONLINE_UNKNOWN, L"Online Kursanmeldung\nEs ist ein unbekannter Fehler aufgetreten.\n'%s'"},
            {IDS_KURSINSTANZ_CLOSED,
             L"Die Kursaustragung ist geschlossen, es können keine weiteren Änderungen mehr vorgenommen werden."},
            {IDS_ONLINE_DATANOTEXISTS,
             L"Online Kursanmeldung\nDie Kursdaten sind nicht aktuell!\nBitte importieren Sie die Kantonsdaten."},
            {IDS_ONLINE_PERSONKURSEXISTS,
             L"Online Kursanmeldung\nDer Teilnehmer ist bereits in der Kantonsdatenbank erfasst!\nBitte importieren "
             L"Sie zuerst die Kantonsdaten."},
            {IDS_ONLINE_MAX,
             L"Online Kursanmeldung\nDie maximale Anzahl Anmeldungen für das gewünschte Jahr wurde erreicht. Die "
             L"Person kann nicht mehr angemeldet werden.\nBereits angemeldet / maximum pro Jahr: %s"},
            {IDS_ONLINE_OVERBOOK,
             L"Online Kursanmeldung\nDie maximale Anzahl Anmeldungen für die Kursaustragung wurde erreicht. Die "
             L"Person kann nicht mehr angemeldet werden."},
            {IDS_ONLINE_HTTP_FAILED,
             L"Es ist ein Fehler bei der Übertragung an die Kantonsdatenbank aufgetreten!\nBitte überprüfen Sie Ihre "
             L"Internet Verbindung.\n\nFehler: %d"},
            {IDS_LOG_KURSINSTANZ_AUTOCLOSED, L"Kursinstanz automatisch geschlossen."},
            {IDS_LOG_RESERVATION_DECREMENTED, L"Die Anzahl Reservationen wurde um eins verkleinert."},
            {IDS_LOG_DEFAULTSTATUS, L"Der Kurs Anmeldemodus wurde neu gesetzt."},
            {IDS_LOG_KURS_CREATED, L"Kurs wurde neu erzeugt."},
            {IDS_LOG_KURSINSTANZ_CREATED, L"Kursaustragung wurde neu erzeugt."},
            {IDS_LOG_KURS_DELETED, L"Kurs wurde gelöscht."},
            {IDS_LOG_KURSINSTANZ_DELETED, L"Kursaustragung wurde gelöscht."},
            {IDS_LOG_KURSINSTANZ_COPIED, L"Kursaustragung wurde mit Kopieren neu erzeugt."},
            {IDS_LOG_LEITER_SET, L"Neuer Kursleiter gesetzt."},
            {IDS_LOG_LEITER_REMOVED, L"Kursleiter entfernt."},
            {IDS_LOG_PERSON_ADDED, L"Person zu einem Kurs hinzugefügt."},
            {IDS_LOG_PERSON_REMOVED_KURS, L"Person von einem Kurs entfernt."},
            {IDS_LOG_PERSON_REMOVED_KURSINSTANZ, L"Person von einer Kursaustragung entfernt."},
            {IDS_LOG_PERSONKURS_UPDATED, L"Person-Kurs Zuordnung aktualisiert."},
            {IDS_LOG_PERSON_SWITCHED, L"Person an Person-Kurs Zuordnung getauscht."},
            {IDS_LOG_MAXTEILNEHMER_UPDATED, L"Max. Kurs Teilnehmer aktualisiert."},
            {IDS_LOG_KURS_UPDATED, L"Kurs wurde aktualisiert."},
            {IDS_LOG_KURSINSTANZ_UPDATED, L"Kursaustragung wurde aktualisiert."},
            {IDS_LOG_RESERVATION_UPDATED, L"Reservationen aktualisiert."},
            {IDS_LOG_SETTINGS_UPDATED, L"Einstellungen Kurs aktualisiert."},
            {IDS_LOG_PRECONDITION_SAVED, L"Voraussetzung wurde gespeichert."},
            {IDS_LOG_PRECONDITION_DELETED, L"Voraussetzung wurde gelöscht."},
            {IDS_LOG_RESERVATION_ADDED, L"Reservationen neu hinzugefügt."},
            {IDS_LOG_AKTIVITAET_UPDATED, L"Aktivität wurde aktualisiert."},
            {IDS_LOG_GRUPPE_CREATED, L"Gruppe wurde neu erzeugt."},
            {IDS_LOG_GRUPPE_DELETED, L"Gruppe wurde gelöscht."},
            {IDS_LOG_GRUPPE_UPDATED, L"Gruppe wurde aktualisiert."},
            {IDS_LOG_SOLD_ADDED, L"Person zu Aktivität-Sold hinzugefügt."},
            {IDS_LOG_ABSENZ_ADDED, L"Person zu Aktivität-Absenz hinzugefügt."},
            {IDS_LOG_SOLD_REMOVED, L"Person von Aktivität-Sold entfernt."},
            {IDS_LOG_ABSENZ_REMOVED, L"Person von Aktivität-Absenz entfernt."},
            {IDS_STATUS_GEPLANT, L"Geplant"},
            {IDS_STATUS_ANGEMELDET, L"Angemeldet"},
            {IDS_STATUS_GEPLANT_ANGEMELDET, L"Geplant/Angemeldet"},
            {IDS_STATUS_BESUCHT, L"Besucht/Bestanden"},
            {IDS_STATUS_WARTELISTE, L"auf Warteliste"},
            {IDS_STATUS_WARTELISTE_PENALTY, L"auf Warteliste (Penalty)"},
            {IDS_STATUS_NICHT_BESUCHT, L"Nicht besucht"},
            {IDS_STATUS_ABGEMELDET, L"Abgemeldet"},
            {IDS_STATUS_TEILWEISE, L"Teilweise besucht/Nicht bestanden"},
            {IDS_STATUS_PROVISORISCH, L"Provisorisch Angemeldet"},
            {IDS_STATUS_RESERVE, L"Reserve"},
            {IDS_ABSENZ_QUESTION,
             L"Für %s ist eine geplante Absenz für diesen Zeitpunkt vorhanden.\n%s\n\nWollen Sie die Person "
             L"trotzdem hinzufügen?"},
            {IDS_DOPPEL_KURSINSTANZ,
             L"%s ist bereits einer Kursaustragung zugewiesen!\nEin Teilnehmer kann nicht gleichzeitig mehreren "
             L"offenen Austragungen zugewiesen werden!"},
            {IDS_DOPPEL_SAME_KURSINSTANZ,
             L"%s ist bereits dieser Kursaustragung zugewiesen!\nEin Teilnehmer kann nicht mehrfach der gleichen "
             L"Austragungen zugewiesen werden!"},
            {IDS_DOPPEL_YEAR,
             L"%s ist für das Jahr %d bereits als geplant diesem Kurs zugewiesen!\nEine Person kann nicht mehrfach "
             L"im gleichen Jahr eingeplant werden!"},
        });
    }
    ~Registrar() { qv::UnregisterStringTable(KursModuleHandle()); }
};

Registrar g_registrar;

// The participants page, the registration editor and the small input dialogs.
struct RunPagesRegistrar {
    RunPagesRegistrar() {
        qv::RegisterStringTable(KursModuleHandle(), {
            {IDS_TEILNEHMER_CAPTION, L"Teilnehmer"},
            {IDS_TEILNEHMER_COL_STATUS, L"Status"},
            {IDS_TEILNEHMER_COL_RANG, L"Rang"},
            {IDS_TEILNEHMER_COL_DIENSTGRAD, L"Dienstgrad"},
            {IDS_TEILNEHMER_COL_NAME, L"Name"},
            {IDS_TEILNEHMER_COL_ADRESSE, L"Adresse"},
            {IDS_TEILNEHMER_COL_ORT, L"Ort"},
            {IDS_TEILNEHMER_COL_ANMELDUNG, L"Anmeldung am"},
            {IDS_TEILNEHMER_COL_ABSENZGRUND, L"Absenzgrund"},
            {IDS_TEILNEHMER_COL_ENTSCHULDIGT, L"Entschuldigt"},
            {IDS_TEILNEHMER_COL_GRUND, L"Grund nicht bestanden"},
            {IDS_TEILNEHMER_COL_BEMERKUNG, L"Bemerkung"},
            {IDS_TEILNEHMER_COL_MANDANT, L"Mandant"},
            {IDS_TEILNEHMER_COL_SPRACHE, L"Sprache"},
            {IDS_TEILNEHMER_COL_EMAIL, L"E-Mail vorhanden"},
            {IDS_TEILNEHMER_TIP_ADD, L"Fügt Teilnehmer der Austragung hinzu."},
            {IDS_TEILNEHMER_TIP_REMOVE, L"Entfernt den gewählten Eintrag."},
            {IDS_TEILNEHMER_TIP_EDIT, L"Öffnet ein Fenster zum Bearbeiten des gewählten Eintrages."},
            {IDS_TEILNEHMER_TIP_CHANGEINSTANZ, L"Den Teilnehmer an eine andere offene Austragung anmelden..."},
            {IDS_TEILNEHMER_TIP_CHANGESTATE, L"Ändert den Anmeldestatus für die gewählten Teilnehmer."},
            {IDS_KURSINSTANZ_GESCHLOSSEN, L"Die Austragung ist geschlossen."},
            {IDS_TEILNEHMER_STATUS_NOMAX,
             L"Anzahl/max.: %d/%d  |  Warteliste: %d  Angemeldet: %d  Anwesend: %d  Abwesend: %d"},
            {IDS_TEILNEHMER_STATUS_OVERBOOKED,
             L"Anzahl/max.: %d/%d  |  Überbuchungen: %d  |  Warteliste: %d  Angemeldet: %d  Anwesend: %d  "
             L"Abwesend: %d"},
            {IDS_TEILNEHMER_STATUS_FREE,
             L"Anzahl/max.: %d/%d  |  freie Plätze: %d  |  Warteliste: %d  Angemeldet: %d  Anwesend: %d  "
             L"Abwesend: %d"},
            {IDS_OHNE_FUNKTION, L"ohne spezielle Funktion"},
            {IDS_KURSDAUER, L"Kursdauer"},
            {IDS_KURSTAGE_BESUCHT, L"Kurstage besucht"},
            {IDS_KURSDATUM, L"Kursdatum"},
            {IDS_ABMELDUNG_AM, L"Abmeldung am"},
            {IDS_DAUER_FORMAT, L"%3.2f Tg"},
            {IDS_BAD_DATE, L"Bitte geben Sie ein gültiges Datum ein (TT.MM.JJJJ)."},
            {IDS_LOAD_FAILED, L"Die Daten konnten nicht geladen werden. F5 lädt sie neu."},
        });
    }
};

RunPagesRegistrar g_runPagesRegistrar;

// The instructors and groups pages.
struct InstruktorGruppenRegistrar {
    InstruktorGruppenRegistrar() {
        qv::RegisterStringTable(KursModuleHandle(), {
            {IDS_INSTRUKTOR_CAPTION, L"Kursleitung"},
            {826, L"Status"},
            {827, L"Funktion"},
            {828, L"Rang"},
            {829, L"Dienstgrad"},
            {830, L"Name"},
            {831, L"Adresse"},
            {832, L"Ort"},
            {833, L"Anmeldung am"},
            {834, L"Leiter"},
            {835, L"Absenzgrund"},
            {836, L"Entschuldigt"},
            {837, L"Grund nicht bestanden"},
            {838, L"Bemerkung "},
            {839, L"Mandant"},
            {840, L"Sprache"},
            {841, L"E-Mail vorhanden"},
            {IDS_INSTRUKTOR_TIP_ADD, L"Fügt Kursleitungs-Personal der Austragung hinzu."},
            {IDS_INSTRUKTOR_TIP_CHANGEINSTANZ, L"Den Kursleiter an eine andere offene Austragung anmelden..."},
            {IDS_INSTRUKTOR_TIP_CHANGESTATE, L"Ändert den Anmeldestatus für die gewählten Kursleiter."},
            {IDS_INSTRUKTOR_STATUS_NOMIN,
             L"Anzahl/min.: %d/%d  |  Reserve: %d  Angemeldet: %d  Anwesend: %d  Abwesend: %d"},
            {IDS_INSTRUKTOR_STATUS_SURPLUS,
             L"Anzahl/min.: %d/%d  |  nicht zwingend benötigt: %d  |  Reserve: %d  Angemeldet: %d  Anwesend: %d  "
             L"Abwesend: %d"},
            {IDS_INSTRUKTOR_STATUS_MISSING,
             L"Anzahl/min.: %d/%d  |  noch fehlend: %d  |  Reserve: %d  Angemeldet: %d  Anwesend: %d  Abwesend: %d"},
            {IDS_DATEN_LOESCHEN, L"Wollen Sie diese Daten wirklich löschen?"},
            {IDS_GRUPPEN_CAPTION, L"Gruppen"},
            {800, L"Status/Funktion"},
            {801, L"Dienstgrad"},
            {802, L"Name"},
            {803, L"Adresse"},
            {804, L"Ort"},
            {805, L"Mandant"},
            {806, L"Sprache"},
            {IDS_GRUPPEN_TIP_NEW, L"Fügt einen neuen Gruppe hinzu."},
            {IDS_GRUPPEN_TIP_EDIT, L"Öffnet ein Fenster zum Bearbeiten der Gruppe."},
            {IDS_GRUPPEN_TIP_DELETE, L"Löscht die gewählte Gruppe."},
            {IDS_GRUPPEN_TIP_ADD, L"Die gewählten Einträge hinzufügen."},
            {IDS_GRUPPEN_TIP_REMOVE, L"Die gewählten Einträge entfernen."},
            {IDS_GRUPPE_EXISTS,
             L"Es existiert schon eine Gruppe mit dieser Bezeichnung!\nGeben Sie eine andere Bezeichnung ein!"},
            {IDS_GRUPPE_CHANGED, L"Diese Gruppe wurde inzwischen geändert oder gelöscht. Es wurde nichts geändert."},
            {IDS_GRUPPE_LABEL, L"%s  (Anzahl: %d)"},
            {IDS_GRUPPE_LABEL_MAX, L"%s  (Anzahl/max: %d/%d)"},
            {IDS_GRUPPE_NO_TEMPLATE, L"Für diesen Kurs ist keine Vorlage vorhanden."},
            {IDS_GRUPPE_NEW_TEMPLATE,
             L"Es wird eine neue Vorlage gemässen den aktuellen Gruppen erstellt.\nEine allfällig bereits vorhande "
             L"Vorlagen für diesen Kurs wird dabei gelöscht.\n\nWollen Sie eine neu Vorlagen für diesen Kurs "
             L"erstellen?"},
        });
    }
};
InstruktorGruppenRegistrar g_instruktorGruppenRegistrar;
struct RunDataRegistrar {
    RunDataRegistrar() {
        qv::RegisterStringTable(KursModuleHandle(), {
            {IDS_INSTANZDATEN_CAPTION, L"Austragung"},
            {IDS_INSTANZDATEN_BEZ_PROMPT, L"Bezeichnung eingeben..."},
            {IDS_INSTANZDATEN_COL_ANFANG, L"Anfang"},
            {IDS_INSTANZDATEN_COL_VON, L"von"},
            {IDS_INSTANZDATEN_COL_ENDE, L"Ende"},
            {IDS_INSTANZDATEN_COL_BIS, L"bis"},
            {IDS_INSTANZDATEN_TIP_SHIFT, L"Öffnet ein Fenster zum gleichzeitigen Ändern aller Datumswerte"},
            {IDS_INSTANZDATEN_TIP_NEWDATE, L"Fügt einen neuen Datumseintrag hinzu"},
            {IDS_INSTANZDATEN_TIP_EDITORT, L"Öffnet ein Fenster zum Bearbeiten der Orte."},
            {IDS_INSTANZDATEN_LASTDATE, L"Der letzte Datumseintrag kann nicht gelöscht werden."},
            {IDS_INSTANZDATEN_BUCHUNGSTEXT, L"Kursaustragung: %s"},
            {IDS_INSTANZDATEN_ORT_UNKNOWN,
             L"Kein Ort heisst \"%s\". Der bisherige Ort der Austragung bleibt gespeichert; wählen Sie einen Ort "
             L"aus der Liste, um ihn zu ändern."},
            {IDS_INSTANZDATEN_ANMELDEN_ORDER,
             L"Die Anmeldung endet (bis %s) vor ihrem Beginn (von %s). Korrigieren Sie die Daten; es wurde nichts "
             L"gespeichert."},
            {IDS_INSTANZDATEN_DATE_ORDER,
             L"Das Ende (%s) liegt vor dem Anfang (%s). Ein Kurstag kann nicht enden, bevor er anfängt; die Eingabe "
             L"wurde nicht übernommen."},
            {IDS_INSTANZDATEN_ORT_WAITING, L"Der eingegebene Ort wird gesucht. Gespeichert wird, sobald er gefunden ist..."},
            {IDS_INSTANZDATEN_ORT_PENDING,
             L"Der eingegebene Ort wird noch gesucht. Die Daten werden gespeichert, sobald er gefunden ist; bis "
             L"dahin bleibt das Fenster offen."},
            {IDS_INSTANZDATEN_DATE_ORDER_SAVE,
             L"Ein Kurstag endet (Ende %s) vor seinem Anfang (%s). Korrigieren Sie die Daten; es wurde nichts "
             L"gespeichert."},
            {IDS_RESERVATION_DUPLICATE, L"Für das Jahr %d ist bereits eine Reservation vorhanden.\nPro Jahr und Kurs "
                                        L"kann nur ein Reservationseintrag vorhanden sein."},
        });
    }
};
RunDataRegistrar g_runDataRegistrar;
// The planning, archive and custom-data pages.
struct PlanungPagesRegistrar {
    PlanungPagesRegistrar() {
        qv::RegisterStringTable(KursModuleHandle(), {
            {IDS_PLANUNG_CAPTION, L"Planung"},
            {IDS_HISTORY_CAPTION, L"Archiv"},
            {IDS_CUSTFIELD_CAPTION, L"Eigene Daten"},
            {IDS_PLANUNG_STATUS, L"Anzahl geplant/reserviert pro Jahr: %s  |  Provisorisch: %d  Geplant: %d"},
            {IDS_HISTORY_STATUS,
             L"Anzahl anwesend pro Jahr: %s  |  Besucht: %d  Teilweise besucht: %d  Abwesend: %d"},
            {IDS_HISTORY_PROGRESS, L"Die Liste wird geladen (bereits geladen: %d)..."},
            {IDS_PLANUNG_RESERVATION, L"Reservation"},
            {IDS_PLANUNG_ADD_PERSON, L"Teilnehmer hinzufügen..."},
            {IDS_PLANUNG_ADD_RESERVATION, L"Reservation hinzufügen..."},
            {IDS_PLANUNG_TIP_CHANGEINSTANZ, L"Den geplanten Eintrag an eine offene Austragung anmelden..."},
            {IDS_PLANUNG_TIP_ADD, L"Fügt Personen oder Reservationen als geplante Teilnahmen dem Kurs hinzu."},
            {IDS_DATEN_LOESCHEN, L"Wollen Sie diese Daten wirklich löschen?"},
            {867, L"Status/Funktion"}, {868, L"Jahr"}, {869, L"Anzahl/Dauer"}, {870, L"Rang"},
            {871, L"Dienstgrad"}, {872, L"Name"}, {873, L"Adresse"}, {874, L"Ort"}, {875, L"Anmeldung am"},
            {876, L"Bemerkung"}, {877, L"Mandant"},
            {910, L"Status"}, {911, L"Jahr"}, {912, L"Anzahl"}, {913, L"Rang"}, {914, L"Dienstgrad"},
            {915, L"Name"}, {916, L"Adresse"}, {917, L"Ort"}, {918, L"Anmeldung am"}, {919, L"Bemerkung"},
            {920, L"Mandant"},
            {881, L"Status/Funktion"}, {882, L"Datum"}, {883, L"Dauer"}, {884, L"Rang"}, {885, L"Dienstjahr"},
            {886, L"Name"}, {887, L"Adresse"}, {888, L"Ort"}, {889, L"Kursort"}, {890, L"Leitung"},
            {891, L"Bemerkung"}, {892, L"Mandant"},
            {852, L"Status"}, {853, L"Datum"}, {854, L"Dauer"}, {855, L"Rang"}, {856, L"Dienstgrad"},
            {857, L"Name"}, {858, L"Adresse"}, {859, L"Ort"}, {860, L"Kursort"}, {861, L"Leitung"},
            {862, L"Bemerkung"}, {863, L"Mandant"},
        });
    }
};

PlanungPagesRegistrar g_planungPagesRegistrar;

}  // namespace

HINSTANCE KursModuleHandle() { return reinterpret_cast<HINSTANCE>(&g_kursModuleTag); }

namespace {
HINSTANCE g_kursResource = nullptr;
}

HINSTANCE KursResourceHandle() { return g_kursResource ? g_kursResource : KursModuleHandle(); }

void KursSetResourceHandle(HINSTANCE resource) { g_kursResource = resource; }

CKursResourceScope::CKursResourceScope() : m_hPrevious(AfxGetResourceHandle()) {
    AfxSetResourceHandle(KursResourceHandle());
}

CKursResourceScope::~CKursResourceScope() { AfxSetResourceHandle(m_hPrevious); }

CString KursLoadString(UINT id) {
    std::wstring text;
    if (!qv::LookupString(KursResourceHandle(), id, text)) qv::LookupString(KursModuleHandle(), id, text);
    return CString(text);
}

// ---- notifications, mail templates, participant quotas
namespace {

char g_notifStringsTag;

struct NotifRegistrar {
    NotifRegistrar() {
        qv::RegisterStringTable(KursModuleHandle(), {
            {IDS_MENU_KURS_NOTIFICATION, L"Kursanmeldeänderungen anzeigen und senden..."},
            {IDS_MENU_KURS_MAXTEILNEHMER, L"Maximale Anzahl Kurs Teilnehmer bearbeiten..."},
            {IDS_MENU_KURS_CREATEEINSATZ, L"Aktivität zur Austragung erzeugen/aktualisieren..."},
        });
        qv::RegisterStringTable(KursNotifStringsHandle(), {
            {IDS_NOTIF_TAB_MANDANT, L"Teilnehmer je Mandant"},
            {IDS_NOTIF_TAB_INSTRUKTOR, L"Kursleitung"},
            {737, L"Erzeugt am"}, {738, L"Mandant"}, {739, L"Anzahl Meldungen"}, {740, L"Versandt am"},
            {743, L"Erzeugt am"}, {744, L"Person"}, {745, L"Anzahl Meldungen"}, {746, L"Versandt am"},
            {750, L"Bezeichnung"}, {751, L"Kopfzeile"},
            {IDS_NOTIF_TIP_SEND, L"Sendet die Kursanmeldeänderungen an die gewählten Mandanten."},
            {IDS_NOTIF_TIP_DELETE, L"Löscht die gesammelten Kursanmeldeänderungen der gewählten Mandanten."},
            {IDS_NOTIF_TIP_NEW, L"Fügt einen neuen Eintrag hinzu."},
            {IDS_NOTIF_TIP_COPY, L"Kopiert den gewählten Eintrag."},
            {IDS_NOTIF_TIP_EDIT, L"Öffnet ein Fenster zum Bearbeiten des gewählten Eintrages."},
            {IDS_NOTIF_TIP_DELETETEMPLATE, L"Löscht den gewählten Eintrag."},
            {IDS_NOTIF_ITEM_ADDED, L"%s wurde neu hinzugefügt, aktueller Status: %s"},
            {IDS_NOTIF_ITEM_CHANGED, L"%s wurde geändert, aktueller Status: %s"},
            {IDS_NOTIF_ITEM_REMOVED, L"%s wurde gelöscht."},
            {IDS_NOTIF_DELETE_QUESTION, L"Wollen Sie diese Daten wirklich löschen?"},
            {IDS_MAILTEMPLATE_SUBJECT, L"Betreff"},
            {180, L"Definieren Sie für den Kurs: '%s' die maximale Anzahl Teilnehmer je Mandant und Jahr.\nSie können "
                  L"dies generell oder individuell je Jahr tun.\nWenn Sie keine Einschränkungen möchten löschen Sie den "
                  L"entsprechenden Eintrag."},
            {181, L"Definieren Sie für den Mandanten: '%s' die maximale Anzahl Teilnehmer je Kurs und Jahr.\nSie "
                  L"können dies generell oder individuell je Jahr tun.\nWenn Sie keine Einschränkungen möchten löschen "
                  L"Sie den entsprechenden Eintrag."},
            {182, L"Definieren Sie für den Kurs: '%s' die maximale Anzahl Teilnehmer je Gebiet (Mandant) und "
                  L"Jahr.\nSie können dies generell oder individuell je Jahr tun.\nWenn Sie keine Einschränkungen "
                  L"möchten löschen Sie den entsprechenden Eintrag."},
            {183, L"Definieren Sie für das Gebiet: '%s' die maximale Anzahl Teilnehmer je Kurs und Jahr.\nSie können "
                  L"dies generell oder individuell je Jahr tun.\nWenn Sie keine Einschränkungen möchten löschen Sie den "
                  L"entsprechenden Eintrag."},
            {184, L"Kurs: %s"}, {185, L"Mandant: %s"}, {186, L"Kurs: %s"}, {187, L"Gebiet: %s"},
            {209, L"Kurs ändern..."}, {210, L"Mandant ändern..."}, {211, L"Kurs ändern..."},
            {212, L"Gebiet ändern..."},
            {2030, L"Mandant"}, {2031, L"Max. Anzahl generell"}, {2032, L"-"}, {2033, L"-"}, {2034, L"-"},
            {2035, L"-"}, {2036, L"-"},
            {2039, L"Kurs"}, {2040, L"Gebiet"}, {2041, L"Mandant"},
            {IDS_MAXTN_BAD_AMOUNT, L"Bitte geben Sie eine ganze Zahl ab 0 ein oder lassen Sie das Feld leer."},
            {IDS_MAXTN_ALLE, L"<Alle>"},
            {IDS_MAXTN_LOG, L"Max. Kurs Teilnehmer aktualisiert."},
            {IDS_EINSATZ_UPDATE, L"Aktivität aktualisieren"},
            {896, L"Funktion"}, {897, L"Soldansatz"}, {898, L"Dauer"}, {899, L"Namen"},
            {IDS_EINSATZ_WAIT_BESUCHT, L"Die Kursanmeldungen werden auf 'Besucht' gesetzt"},
            {IDS_EINSATZ_UNIT_TEILNEHMER,
             L"Die Kursdauer ist in Tagen angegeben. Sie haben jedoch für Teilnehmer einen Soldansatz mit einer "
             L"anderen Einheit gewählt.\nSie können die Anzahl/Dauer und den Soldansatz in der neuen Aktivität "
             L"manuell anpassen!"},
            {IDS_EINSATZ_UNIT_INSTRUKTOR,
             L"Die Kursdauer ist in Tagen angegeben. Sie haben jedoch für die Kursleitung einen Soldansatz mit einer "
             L"anderen Einheit gewählt.\nSie können die Anzahl/Dauer und den Soldansatz in der neuen Aktivität "
             L"manuell anpassen!"},
            {IDS_EINSATZ_CREATED, L"Die Aktivität wurde erfolgreich erzeugt."},
            {IDS_EINSATZ_FAILED, L"Die Aktivität konnte nicht erzeugt werden!"},
            {IDS_EINSATZ_WAIT, L"Die Aktivitätsdaten werden erzeugt..."},
            {IDS_EINSATZ_UPDATED, L"Die Aktivität wurde erfolgreich aktualisiert!"},
            {IDS_EINSATZ_EVENT_FAILED,
             L"Die Aktivität wurde gespeichert, andere Fenster konnten jedoch nicht benachrichtigt werden."},
        });
    }
};

NotifRegistrar g_notifRegistrar;

}  // namespace

HINSTANCE KursNotifStringsHandle() { return reinterpret_cast<HINSTANCE>(&g_notifStringsTag); }

CString KursNotifString(UINT id) {
    std::wstring text;
    qv::LookupString(KursNotifStringsHandle(), id, text);
    return CString(text);
}
