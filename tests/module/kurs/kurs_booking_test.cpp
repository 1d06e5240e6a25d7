// Booking participants: new rows and re-registered rows, the reuse of planned registrations, the
// absence question, the reservation count-down, the notification queue and the user-log entry.
#include "adosession.h"
#include "kurstest.h"

#include <sqlite3.h>

#include <atomic>

#ifdef QV_KURS_PG
#include "pgcluster.h"
#include "pgfaultproxy.h"
#include "qvregvalue.h"
#endif

namespace kurstest {
namespace {

const GUID kReservationsChanged = qv::MakeGuid("3e018e57-48d1-479f-8324-a5d4507578c8");

// The file system under the connections opened while it is installed: once full, every write to
// a database's log fails as on a full disk, so a transaction fails at its COMMIT.
class FullDisk {
public:
    FullDisk() {
        base_ = sqlite3_vfs_find(nullptr);
        vfs_ = *base_;
        vfs_.zName = "qvtest-fulldisk";
        vfs_.szOsFile = static_cast<int>(sizeof(File)) + base_->szOsFile;
        vfs_.pAppData = this;
        vfs_.xOpen = &Open;
        sqlite3_vfs_register(&vfs_, 1);
        qv::ado::Session::ReleasePool();  // the module's next connection writes through it
    }
    ~FullDisk() {
        qv::ado::Session::ReleasePool();
        sqlite3_vfs_register(base_, 1);
        sqlite3_vfs_unregister(&vfs_);
    }
    std::atomic<bool> full{false};

private:
    struct File {
        sqlite3_file base;
        sqlite3_file* real;
        FullDisk* disk;
        bool log;
    };
    static sqlite3_file* Real(sqlite3_file* f) { return reinterpret_cast<File*>(f)->real; }
    static int Open(sqlite3_vfs* vfs, const char* name, sqlite3_file* f, int flags, int* outFlags) {
        auto* self = static_cast<FullDisk*>(vfs->pAppData);
        auto* file = reinterpret_cast<File*>(f);
        file->real = reinterpret_cast<sqlite3_file*>(file + 1);
        file->disk = self;
        file->log = (flags & SQLITE_OPEN_WAL) != 0;
        const int rc = self->base_->xOpen(self->base_, name, file->real, flags, outFlags);
        file->base.pMethods = rc == SQLITE_OK && file->real->pMethods ? &kMethods : nullptr;
        return rc;
    }
    static int Write(sqlite3_file* f, const void* data, int amount, sqlite3_int64 offset) {
        auto* file = reinterpret_cast<File*>(f);
        if (file->log && file->disk->full) return SQLITE_FULL;
        return file->real->pMethods->xWrite(file->real, data, amount, offset);
    }
    static const sqlite3_io_methods kMethods;

    sqlite3_vfs* base_ = nullptr;
    sqlite3_vfs vfs_{};
};

const sqlite3_io_methods FullDisk::kMethods = {
    3,
    [](sqlite3_file* f) {
        const int rc = Real(f)->pMethods->xClose(Real(f));
        f->pMethods = nullptr;
        return rc;
    },
    [](sqlite3_file* f, void* p, int n, sqlite3_int64 o) { return Real(f)->pMethods->xRead(Real(f), p, n, o); },
    &FullDisk::Write,
    [](sqlite3_file* f, sqlite3_int64 n) { return Real(f)->pMethods->xTruncate(Real(f), n); },
    [](sqlite3_file* f, int flags) { return Real(f)->pMethods->xSync(Real(f), flags); },
    [](sqlite3_file* f, sqlite3_int64* n) { return Real(f)->pMethods->xFileSize(Real(f), n); },
    [](sqlite3_file* f, int l) { return Real(f)->pMethods->xLock(Real(f), l); },
    [](sqlite3_file* f, int l) { return Real(f)->pMethods->xUnlock(Real(f), l); },
    [](sqlite3_file* f, int* r) { return Real(f)->pMethods->xCheckReservedLock(Real(f), r); },
    [](sqlite3_file* f, int op, void* a) { return Real(f)->pMethods->xFileControl(Real(f), op, a); },
    [](sqlite3_file* f) { return Real(f)->pMethods->xSectorSize(Real(f)); },
    [](sqlite3_file* f) { return Real(f)->pMethods->xDeviceCharacteristics(Real(f)); },
    [](sqlite3_file* f, int i, int n, int e, void volatile** p) { return Real(f)->pMethods->xShmMap(Real(f), i, n, e, p); },
    [](sqlite3_file* f, int o, int n, int fl) { return Real(f)->pMethods->xShmLock(Real(f), o, n, fl); },
    [](sqlite3_file* f) { Real(f)->pMethods->xShmBarrier(Real(f)); },
    [](sqlite3_file* f, int d) { return Real(f)->pMethods->xShmUnmap(Real(f), d); },
    [](sqlite3_file* f, sqlite3_int64 o, int n, void** p) { return Real(f)->pMethods->xFetch(Real(f), o, n, p); },
    [](sqlite3_file* f, sqlite3_int64 o, void* p) { return Real(f)->pMethods->xUnfetch(Real(f), o, p); },
};

class KursBooking : public KursTest {
protected:
    void SetUp() override {
        KursTest::SetUp();
        mandant = AddMandant("FW Nord");
        person = AddPerson("Muster", "Hans", mandant);
        kurs = AddKurs(3, "GK");
        run = AddRun(kurs, "2031-05-04");
    }
    long Book(long lPerson, long lRun, long lYear, long& id, EPersonKursStatus& status) {
        CVRQKurs booking;
        return booking.AddPersonToKurs(lPerson, kurs, lRun, lYear, id, status);
    }
    long BookNew(long lPerson, long lRun, long lYear = 2031) {
        long id = 0;
        EPersonKursStatus status = ePersonKursStatusAngemeldet;
        EXPECT_EQ(Book(lPerson, lRun, lYear, id, status), S_OK);
        return id;
    }
    long AddReservation(long lMandant, long lYear, long lAnzahl) {
        Sql("INSERT INTO Kursreservation (lMandantID, lKursID, lYear, lAnzahl) VALUES (" + std::to_string(lMandant) +
            ", " + std::to_string(kurs) + ", " + std::to_string(lYear) + ", " + std::to_string(lAnzahl) + ")");
        return static_cast<long>(Int("SELECT max(lKursreservationID) FROM Kursreservation"));
    }
    long Reserved(long id) {
        return static_cast<long>(
            Int("SELECT lAnzahl FROM Kursreservation WHERE lKursreservationID = " + std::to_string(id)));
    }
    long mandant = 0, person = 0, kurs = 0, run = 0;
};

TEST_F(KursBooking, PersonZeroFailsAndWritesNothing) {
    long id = 0;
    EPersonKursStatus status = ePersonKursStatusBesucht;
    script.ExpectReport(L"No OLEDB Error available!\n");
    EXPECT_EQ(Book(0, run, 2031, id, status), E_FAIL);
    EXPECT_EQ(status, ePersonKursStatusAngemeldet);
    EXPECT_EQ(CountRegs(), 0);
    const auto reports = script.Log().Records(qv::InteractionKind::Report);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].caption, L"OLEDB Errormessage");
    EXPECT_TRUE(userLog.Entries().empty());
}

TEST_F(KursBooking, NewRowInARunTakesTheRunsDateAndIsLogged) {
    long id = 0;
    EPersonKursStatus status = ePersonKursStatusBesucht;
    ASSERT_EQ(Book(person, run, 1999, id, status), S_OK);
    ASSERT_NE(id, 0);
    EXPECT_EQ(status, ePersonKursStatusAngemeldet);
    EXPECT_EQ(Reg(id, "lPersonID, lKursID, lKursinstanzID, lKursinstanzGruppeID, lAbsenzgrundID, lKursleitungID, "
                      "fTeilnehmer, lStatus, dtDatum, strBemerkung, fEntschuldigt, changedBy"),
              std::to_string(person) + "|" + std::to_string(kurs) + "|" + std::to_string(run) +
                  "|-1|-1|-1|1|0|2031-05-04 00:00:00||0|7");
    EXPECT_EQ(Reg(id, "length(guid)"), "36");

    const auto entries = userLog.Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].kind, 0);
    EXPECT_EQ(entries[0].text, L"Person zu einem Kurs hinzugefügt.");
    EXPECT_EQ(entries[0].detail, L"Teilnehmer:" + PersonName(person) + L" | Status:Angemeldet");
    EXPECT_EQ(entries[0].module, L"Ausbildung.Person");
    EXPECT_EQ(entries[0].value, 0);
    EXPECT_EQ(entries[0].tableID, 42);
    EXPECT_EQ(Plain(entries[0].object), Guid("Kursinstanz", run));
    EXPECT_EQ(Plain(entries[0].parent), Guid("Person", person));
}

TEST_F(KursBooking, BookingWithoutRunPlansTheYearAndNamesTheCourse) {
    AddAbsence(person, "2032-01-01", "2032-12-31", "Ferien");
    long id = 0;
    EPersonKursStatus status = ePersonKursStatusBesucht;
    ASSERT_EQ(Book(person, -1, 2032, id, status), S_OK);
    EXPECT_EQ(Reg(id, "lKursinstanzID, lStatus, dtDatum"), "-1|0|2032-12-31 00:00:00");
    const auto entries = userLog.Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].tableID, 39);
    EXPECT_EQ(Plain(entries[0].object), Guid("Kurs", kurs));
    EXPECT_EQ(entries[0].detail, L"Teilnehmer:" + PersonName(person) + L" | Status:Geplant");
}

TEST_F(KursBooking, DefaultStatusAppliesInTheCentralInstallationOnly) {
    Sql("UPDATE DataExchange SET lDefaultPersonKursStatus = 7");
    const long p2 = AddPerson("Meier", "Eva", mandant);
    const long p3 = AddPerson("Keller", "Urs", mandant);
    EXPECT_EQ(Reg(BookNew(person, run), "lStatus"), "0");
    EXPECT_EQ(Reg(BookNew(p2, -1, 2031), "lStatus"), "0");
    Central(true);
    EXPECT_EQ(Reg(BookNew(p3, run), "lStatus"), "7");
}

TEST_F(KursBooking, PlannedRegistrationMovesIntoTheRunWithoutSecondRowOrCountDown) {
    const long planned = AddReg(person, kurs, -1, 0, "2031-12-31");
    const long reservation = AddReservation(mandant, 2031, 5);
    long id = 0;
    EPersonKursStatus status = ePersonKursStatusBesucht;
    ASSERT_EQ(Book(person, run, 2031, id, status), S_OK);
    EXPECT_EQ(id, planned);
    EXPECT_EQ(CountRegs(), 1);
    EXPECT_EQ(Reg(planned, "lKursinstanzID, dtDatum"), std::to_string(run) + "|2031-12-31 00:00:00");
    EXPECT_EQ(Reserved(reservation), 5);
    EXPECT_TRUE(eventServer.Events().empty());
}

TEST_F(KursBooking, PlansOfOtherStatusesOrSeveralPlansAreNotReused) {
    const long waiting = AddReg(person, kurs, -1, 3, "2031-12-31");
    const long id = BookNew(person, run);
    EXPECT_NE(id, waiting);
    EXPECT_EQ(Reg(waiting, "lKursinstanzID"), "-1");

    const long other = AddPerson("Meier", "Eva", mandant);
    const long planA = AddReg(other, kurs, -1, 0, "2031-12-31");
    const long planB = AddReg(other, kurs, -1, 0, "2031-12-31");
    const long id2 = BookNew(other, run);
    EXPECT_NE(id2, planA);
    EXPECT_NE(id2, planB);
    EXPECT_EQ(Int("SELECT count(*) FROM PersonKurs WHERE lPersonID = " + std::to_string(other)), 3);
}

TEST_F(KursBooking, ReservationCountsDownForNewRowsOnly) {
    const long reservation = AddReservation(mandant, 2031, 0);
    script.ExpectMessageBox(IDOK,
                            L"Die Anzahl Reservationen für den Kurs 'GK'  wurde für das Jahr 2031  um eins "
                            L"verkleinert.",
                            [&] {
                                // The note tells of a committed change, and nobody else waits on it.
                                EXPECT_EQ(Reserved(reservation), -1);
                                Sql("UPDATE Kursreservation SET lAnzahl = lAnzahl WHERE lKursreservationID = " +
                                    K(reservation));
                            });
    const long id = BookNew(person, run);
    EXPECT_EQ(Reserved(reservation), -1);
    const auto boxes = script.Log().Records(qv::InteractionKind::MessageBox);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].type, MB_OK | MB_ICONINFORMATION);

    const auto entries = userLog.Entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].text, L"Die Anzahl Reservationen wurde um eins verkleinert.");
    EXPECT_EQ(entries[0].kind, 1);
    EXPECT_EQ(entries[0].detail, L"Jahr:2031");
    EXPECT_EQ(entries[0].module, L"Ausbildung.Kurs");
    EXPECT_EQ(entries[0].tableID, 39);
    EXPECT_EQ(Plain(entries[0].object), Guid("Kurs", kurs));
    EXPECT_EQ(entries[1].text, L"Person zu einem Kurs hinzugefügt.");

    const auto events = eventServer.Events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].id, kReservationsChanged);
    EXPECT_EQ(events[0].value, kurs);

    // Re-registering the same row (as a move does) uses no further place.
    const long run2 = AddRun(kurs, "2031-08-01");
    long same = id;
    EPersonKursStatus status = ePersonKursStatusAngemeldet;
    ASSERT_EQ(Book(person, run2, 2031, same, status), S_OK);
    EXPECT_EQ(Reserved(reservation), -1);
}

// A full disk at COMMIT: the booking is rolled back, the user hears the database's own words once,
// and no count-down that did not happen.
TEST_F(KursBooking, ACommitOnAFullDiskIsReportedOnceWithItsCause) {
    if (kOnPg) GTEST_SKIP() << "about SQLite's file";
    const long reservation = AddReservation(mandant, 2031, 3);
    FullDisk disk;
    script.ExpectMessageBox(IDOK, L"um eins verkleinert");
    BookNew(AddPerson("Meier", "Eva", mandant), run);
    disk.full = true;
    script.ExpectReport(L"database or disk is full");
    long id = 0;
    EPersonKursStatus status = ePersonKursStatusAngemeldet;
    const long hr = Book(person, run, 2031, id, status);
    disk.full = false;
    EXPECT_TRUE(FAILED(hr));
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 1u);
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::MessageBox), 1u) << "only the earlier booking's note";
    EXPECT_EQ(Reserved(reservation), 2);
    EXPECT_EQ(Int("SELECT count(*) FROM PersonKurs WHERE lPersonID = " + K(person)), 0);
    EXPECT_EQ(eventServer.Events().size(), 1u) << "the earlier booking's announcement only";
    // The database goes on.
    script.ExpectMessageBox(IDOK, L"um eins verkleinert");
    BookNew(person, run);
    EXPECT_EQ(Reserved(reservation), 1);
}

// The disk fills as the log entry of a status change is written: the status and its entry are
// stored together or not at all, and a failure is shown only for a change that was not stored.
TEST_F(KursBooking, AStatusChangeOnAFullDiskIsStoredWithItsEntryOrNotAtAll) {
    if (kOnPg) GTEST_SKIP() << "about SQLite's file";
    const long reg = AddReg(person, kurs, run, 0, "2031-05-04");
    FullDisk disk;
    userLog.write = [&disk] {
        disk.full = true;  // the entry is the first write that needs room
        CQvADOConnection conn;
        HRESULT hr = conn.Open(L"Qovaro.NQ2", 0);
        if (SUCCEEDED(hr)) hr = conn.Execute(L"UPDATE DataExchange SET fOnlineKursEnabled = fOnlineKursEnabled");
        return hr;
    };
    script.ExpectReport(L"database or disk is full");
    CVRQKurs booking;
    EXPECT_TRUE(FAILED(booking.UpdatePersonKursStatus(TRUE, reg, person, run, ePersonKursStatusAbgemeldet, 0)));
    disk.full = false;
    userLog.write = nullptr;
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 1u);
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::MessageBox), 0u);
    EXPECT_EQ(Reg(reg, "lStatus, dtDatum"), "0|2031-05-04 00:00:00");
    // The database goes on: the change is stored with its entry, and nothing is shown.
    script.Log().Clear();
    EXPECT_EQ(booking.UpdatePersonKursStatus(TRUE, reg, person, run, ePersonKursStatusAbgemeldet, 0), S_OK);
    EXPECT_EQ(Reg(reg, "lStatus"), "5");
    EXPECT_TRUE(script.Log().Records().empty());
}

#ifdef QV_KURS_PG
// The connection lost at each write of a booking: one report, which says so and what became of
// the booking; no count-down note unless it is known to be committed.
TEST_F(KursBooking, AConnectionLostAtAnyWriteIsReportedOnce) {
    Central(true);
    Sql("UPDATE Mandant SET fKursNotification = 1");
    const long reservation = AddReservation(mandant, 2031, 3);
    qvtest::PgFaultProxy proxy(qvtest::PortOf(qvtest::PgClusterUrl()));
    const wchar_t* const profile = L"Software\\Qovaro\\QvDBServer\\Qovaro.NQ2";
    const std::string direct = qvtest::PgClusterUrl() + "/" + pgName;
    ASSERT_TRUE(CQvRegistry::SetValue(profile, L"DBConnection", CString(proxy.Through(direct).c_str())));
    const struct {
        const char* lost;      // the statement whose answer is lost
        const wchar_t* report; // what the one report says
        bool booked;           // what the server kept
    } cases[] = {
        {"sp_GetUniqueID", L"Keine der Änderungen wurde gespeichert.", false},
        {"INSERT INTO PersonKurs", L"Keine der Änderungen wurde gespeichert.", false},
        {"INSERT INTO KursnotificationItem", L"Keine der Änderungen wurde gespeichert.", false},
        {"UPDATE Kursreservation", L"Keine der Änderungen wurde gespeichert.", false},
        {"COMMIT", L"Ob die Änderungen gespeichert wurden, ist nicht bekannt.", true},
    };
    long expected = 3;
    for (const auto& c : cases) {
        const long p = AddPerson("Verbindung", c.lost, mandant);
        script.ExpectReport(c.report);
        proxy.DropReplyTo(c.lost);
        long id = 0;
        EPersonKursStatus status = ePersonKursStatusAngemeldet;
        EXPECT_LT(Book(p, run, 2031, id, status), 0) << c.lost;
        EXPECT_TRUE(proxy.Dropped()) << c.lost;
        EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 1u) << c.lost;
        EXPECT_EQ(script.Log().Count(qv::InteractionKind::MessageBox), 0u) << c.lost;
        EXPECT_EQ(Int("SELECT count(*) FROM PersonKurs WHERE lPersonID = " + K(p)), c.booked ? 1 : 0) << c.lost;
        if (c.booked) --expected;
        EXPECT_EQ(Reserved(reservation), expected) << c.lost;
        script.Log().Clear();
    }

    // The suite's user log writes on the same database: the count-down's entry inside the booking,
    // the booking's own after its commit. Its lost connection is reported, not "Unspecified error";
    // after the commit the user reads that the booking is saved.
    userLog.write = [] {
        CQvADOConnection conn;
        HRESULT hr = conn.Open(L"Qovaro.NQ2", 0);
        if (SUCCEEDED(hr)) hr = conn.Execute(L"UPDATE DataExchange SET fOnlineKursEnabled = fOnlineKursEnabled");
        return hr;
    };
    const long unreserved = AddMandant("FW Süd");
    const struct {
        long mandant;
        const wchar_t* report;
        bool booked;
    } logs[] = {
        {mandant, L"Keine der Änderungen wurde gespeichert.", false},
        {unreserved, L"Die Anmeldung ist gespeichert, ihr Eintrag im Benutzerprotokoll", true},
    };
    for (const auto& c : logs) {
        const long p = AddPerson("Protokoll", std::to_string(c.mandant), c.mandant);
        script.ExpectReport(c.report);
        proxy.DropReplyTo("UPDATE DataExchange");
        long id = 0;
        EPersonKursStatus status = ePersonKursStatusAngemeldet;
        const long hr = Book(p, run, 2031, id, status);
        if (c.booked) EXPECT_EQ(hr, S_OK) << "saved, only its log entry is missing";
        else EXPECT_LT(hr, 0) << c.mandant;
        EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 1u) << c.mandant;
        EXPECT_EQ(script.Log().Count(qv::InteractionKind::MessageBox), 0u) << c.mandant;
        EXPECT_EQ(Int("SELECT count(*) FROM PersonKurs WHERE lPersonID = " + K(p)), c.booked ? 1 : 0) << c.mandant;
        EXPECT_EQ(Reserved(reservation), expected) << c.mandant;
        script.Log().Clear();
    }
    userLog.write = nullptr;
    CQvRegistry::SetValue(profile, L"DBConnection", CString(direct.c_str()));
}
#endif

TEST_F(KursBooking, ReservationChangeIsAnnouncedEvenWhenItsLogFails) {
    const long reservation = AddReservation(mandant, 2031, 2);
    const long reg = AddReg(person, kurs, run, 0, "2031-05-04");
    userLog.fail = E_ACCESSDENIED;
    script.ExpectMessageBox(IDOK, L"um eins verkleinert");
    script.ExpectReport(L"No OLEDB Error available!");
    EXPECT_EQ(VRQ_UpdateKursreservation(reg), E_ACCESSDENIED);
    EXPECT_EQ(Reserved(reservation), 1);
    ASSERT_EQ(eventServer.Events().size(), 1u);
    EXPECT_EQ(eventServer.Events()[0].value, kurs);
}

TEST_F(KursBooking, ReservationOfTheRegistrationsYearAndMandantIsUsed) {
    const long sued = AddMandant("FW Süd");
    const long ofOtherYear = AddReservation(mandant, 2031, 3);
    const long ofOtherMandant = AddReservation(sued, 2032, 3);
    const long ofLaterYear = AddReservation(mandant, 2033, 3);
    const long used = AddReservation(mandant, 2032, 3);
    script.ExpectMessageBox(IDOK, L"für das Jahr 2032");
    BookNew(person, -1, 2032);
    EXPECT_EQ(Reserved(ofOtherYear), 3);
    EXPECT_EQ(Reserved(ofLaterYear), 3);
    EXPECT_EQ(Reserved(ofOtherMandant), 3);
    EXPECT_EQ(Reserved(used), 2);
    // Without a reservation of its own year a registration uses none of the other years.
    BookNew(AddPerson("Beispiel", "Eva", mandant), -1, 2030);
    EXPECT_EQ(Reserved(ofOtherYear) + Reserved(ofLaterYear) + Reserved(used), 3 + 3 + 2);
}

TEST_F(KursBooking, AbsenceAtTheRunsDateIsAsked) {
    AddAbsence(person, "2031-05-01", "2031-05-10", "Militär");
    script.ExpectMessageBox(IDNO, L"ist eine geplante Absenz für diesen Zeitpunkt vorhanden.\nMilitär 01.05.2031 - "
                                  L"10.05.2031\n\nWollen Sie die Person trotzdem hinzufügen?");
    long id = 0;
    EPersonKursStatus status = ePersonKursStatusAngemeldet;
    EXPECT_EQ(Book(person, run, 2031, id, status), S_FALSE);
    EXPECT_EQ(CountRegs(), 0);
    EXPECT_TRUE(userLog.Entries().empty());
    const auto boxes = script.Log().Records(qv::InteractionKind::MessageBox);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].type, MB_YESNO | MB_ICONEXCLAMATION);
    EXPECT_NE(boxes[0].text.find(PersonName(person)), std::wstring::npos);

    script.ExpectMessageBox(IDYES, L"Militär");
    EXPECT_EQ(Book(person, run, 2031, id, status), S_OK);
    EXPECT_EQ(CountRegs(), 1);
}

TEST_F(KursBooking, AbsenceFoundWithoutATextAsksNothing) {
    // An absence whose reason and dates give no text (an empty or a null one) is no question.
    for (const char* text : {"''", "NULL"}) {
        Sql("DROP VIEW view_Personabsenz");
        Sql(std::string("CREATE VIEW view_Personabsenz AS SELECT lPersonabsenzID, lPersonID, lAbsenzgrundID, ") + text +
            " AS strBezeichnung, NULL AS dtStart, NULL AS dtEnde, strBemerkung FROM Personabsenz");
        const long p = AddPerson("Abwesend", text, mandant);
        AddAbsence(p, "2031-05-01", "2031-05-10", "Militär");
        ASSERT_EQ(Int("SELECT count(*) FROM Personabsenz WHERE lPersonID = " + K(p) +
                      " AND fn_CheckAbsenz4Kurs(" + K(run) + ", lPersonabsenzID) = 1"),
                  1);
        BookNew(p, run);
    }
    EXPECT_EQ(CountRegs(), 2);
    EXPECT_TRUE(script.Log().Records(qv::InteractionKind::MessageBox).empty());
}

TEST_F(KursBooking, AbsenceOutsideTheRunAsksNothing) {
    AddAbsence(person, "2031-06-01", "2031-06-10", "Ferien");
    BookNew(person, run);
    EXPECT_EQ(CountRegs(), 1);
}

TEST_F(KursBooking, ReRegistrationWithoutRunRewritesTheDateAMoveKeepsIt) {
    const long obrien = AddPerson("O'Brien", "Sean", mandant);
    const long runB = AddRun(kurs, "2031-09-09");
    const long id = BookNew(obrien, run);
    long same = id;
    EPersonKursStatus status = ePersonKursStatusAngemeldet;
    ASSERT_EQ(Book(obrien, runB, 2031, same, status), S_OK);
    EXPECT_EQ(Reg(id, "lKursinstanzID, dtDatum"), std::to_string(runB) + "|2031-05-04 00:00:00");
    ASSERT_EQ(Book(obrien, -1, 2033, same, status), S_OK);
    EXPECT_EQ(Reg(id, "lKursinstanzID, dtDatum"), "-1|2033-12-31 00:00:00");
}

TEST_F(KursBooking, NameWithApostropheBooksAndIsLogged) {
    Central(true);
    Sql("UPDATE Mandant SET fKursNotification = 1");
    const long obrien = AddPerson("O'Brien", "Sean", mandant);
    const long id = BookNew(obrien, run);
    EXPECT_EQ(Reg(id, "lPersonID"), std::to_string(obrien));
    const auto entries = userLog.Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_NE(entries[0].detail.find(L"O'Brien Sean"), std::wstring::npos);
    EXPECT_EQ(Text("SELECT strPerson FROM KursnotificationItem"), "O'Brien Sean");
}

TEST_F(KursBooking, FailingInsertIsShownAndLeavesNothing) {
    Sql("CREATE TRIGGER PersonKurs_NoInsert BEFORE INSERT ON PersonKurs BEGIN SELECT RAISE(ABORT, 'voll'); END");
    script.ExpectReport(L"voll");
    long id = 0;
    EPersonKursStatus status = ePersonKursStatusAngemeldet;
    EXPECT_TRUE(FAILED(Book(person, run, 2031, id, status)));
    EXPECT_EQ(id, 0);
    EXPECT_TRUE(userLog.Entries().empty());
    EXPECT_EQ(script.Log().Records(qv::InteractionKind::Report)[0].caption, L"OLEDB Errormessage");
}

TEST_F(KursBooking, FailingUserLogKeepsTheRowAndSaysItIsSaved) {
    userLog.fail = E_ACCESSDENIED;
    script.ExpectReport(L"Die Anmeldung ist gespeichert, ihr Eintrag im Benutzerprotokoll konnte jedoch nicht "
                        L"geschrieben werden:\nNo OLEDB Error available!");
    long id = 0;
    EPersonKursStatus status = ePersonKursStatusAngemeldet;
    EXPECT_EQ(Book(person, run, 2031, id, status), S_OK);
    EXPECT_EQ(Reg(id, "lKursinstanzID"), std::to_string(run));
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 1u);

    // The log server's own cause follows the sentence.
    userLog.refusal = L"Das Benutzerprotokoll nimmt keine Einträge an.";
    script.ExpectReport(L"konnte jedoch nicht geschrieben werden:\n" + userLog.refusal);
    long second = 0;
    EXPECT_EQ(Book(AddPerson("Zweit", "Eva", mandant), run, 2031, second, status), S_OK);
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 2u);
}

class KursNotification : public KursBooking {
protected:
    void SetUp() override {
        KursBooking::SetUp();
        Central(true);
        Sql("UPDATE Mandant SET fKursNotification = 1");
    }
    long Items() { return static_cast<long>(Int("SELECT count(*) FROM KursnotificationItem")); }
};

TEST_F(KursNotification, BookingIntoARunQueuesAnItemForTheMandant) {
    const long id = BookNew(person, run);
    EXPECT_EQ(Text("SELECT lMandantID, lPersonID, dtSent FROM Kursnotification"),
              std::to_string(mandant) + "|-1|1899-12-30 00:00:00");
    EXPECT_EQ(Text("SELECT lPersonID, lKursID, lKursinstanzID, lArt, lStatus, strKurs FROM KursnotificationItem"),
              std::to_string(person) + "|" + std::to_string(kurs) + "|" + std::to_string(run) + "|1|0|GK, GK Kurs");
    EXPECT_EQ(Text("SELECT strPerson FROM KursnotificationItem"), qv::ToUtf8(PersonName(person)));
    (void)id;
}

// The row, the item and the count-down are one unit: a later step that fails takes the earlier
// ones back.
TEST_F(KursNotification, AFailingLaterWriteTakesTheWholeBookingBack) {
    const char* triggers[] = {
        "CREATE TRIGGER NoItem BEFORE INSERT ON KursnotificationItem BEGIN SELECT RAISE(ABORT, 'voll'); END",
        "CREATE TRIGGER NoCount BEFORE UPDATE ON Kursreservation BEGIN SELECT RAISE(ABORT, 'voll'); END",
    };
    const long reservation = AddReservation(mandant, 2031, 3);
    for (const char* trigger : triggers) {
        Sql(trigger);
        script.ExpectReport(L"voll");  // once, with the cause, after the rollback
        long id = 0;
        EPersonKursStatus status = ePersonKursStatusAngemeldet;
        EXPECT_TRUE(FAILED(Book(person, run, 2031, id, status))) << trigger;
        EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 1u) << trigger;
        EXPECT_TRUE(script.Log().Records(qv::InteractionKind::MessageBox).empty()) << trigger;
        script.Log().Clear();
        EXPECT_EQ(id, 0) << trigger;
        EXPECT_EQ(CountRegs(), 0) << trigger;
        EXPECT_EQ(Items(), 0) << trigger;
        EXPECT_EQ(Reserved(reservation), 3) << trigger;
        Sql(std::string("DROP TRIGGER ") + (std::string(trigger).find("NoItem") != std::string::npos ? "NoItem" : "NoCount"));
    }
    script.ExpectMessageBox(IDOK, L"um eins verkleinert");
    BookNew(person, run);
    EXPECT_EQ(CountRegs(), 1);
    EXPECT_EQ(Items(), 1);
    EXPECT_EQ(Reserved(reservation), 2);
}

TEST_F(KursNotification, BookingWithoutRunAndLocalInstallationQueueNothing) {
    BookNew(person, -1, 2031);
    EXPECT_EQ(Items(), 0);
    Central(false);
    BookNew(AddPerson("Meier", "Eva", mandant), run);
    EXPECT_EQ(Items(), 0);
    EXPECT_EQ(Int("SELECT count(*) FROM Kursnotification"), 0);
}

TEST_F(KursNotification, ChangesGatherInTheOpenNotificationUntilItIsSent) {
    BookNew(person, run);
    BookNew(AddPerson("Meier", "Eva", mandant), run);
    EXPECT_EQ(Int("SELECT count(*) FROM Kursnotification"), 1);
    EXPECT_EQ(Items(), 2);
    Sql("UPDATE Kursnotification SET dtSent = '2031-01-01 10:00:00'");
    BookNew(AddPerson("Keller", "Urs", mandant), run);
    EXPECT_EQ(Int("SELECT count(*) FROM Kursnotification"), 2);
    EXPECT_EQ(Int("SELECT count(DISTINCT lKursnotificationID) FROM KursnotificationItem"), 2);
}

TEST_F(KursNotification, MandantWithoutNotificationsQueuesOnlyIntoAnOpenOne) {
    Sql("UPDATE Mandant SET fKursNotification = 0");
    BookNew(person, run);
    EXPECT_EQ(Items(), 0);
    Sql("INSERT INTO Kursnotification (lKursnotificationID, lMandantID) VALUES (77, " + std::to_string(mandant) + ")");
    BookNew(AddPerson("Meier", "Eva", mandant), run);
    EXPECT_EQ(Text("SELECT lKursnotificationID FROM KursnotificationItem"), "77");
}

TEST_F(KursNotification, InstructorChangesGoToTheInstructorsOwnNotification) {
    Sql("UPDATE Mandant SET fKursNotification = 0");
    ASSERT_EQ(VRQ_AddKursNotificationItem(FALSE, person, run, 2, ePersonKursStatusWarteliste), S_OK);
    EXPECT_EQ(Text("SELECT lMandantID, lPersonID FROM Kursnotification"),
              std::to_string(mandant) + "|" + std::to_string(person));
    EXPECT_EQ(Text("SELECT lArt, lStatus FROM KursnotificationItem"), "2|3");
    // A run that does not exist gives no item.
    ASSERT_EQ(VRQ_AddKursNotificationItem(FALSE, person, 99999, 2, ePersonKursStatusWarteliste), S_OK);
    EXPECT_EQ(Items(), 1);
}

}  // namespace
}  // namespace kurstest
