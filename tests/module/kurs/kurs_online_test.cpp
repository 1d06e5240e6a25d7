// The online registration with the central installation: the request URL, the reply container
// and its status words, and what bookings, status changes and hand-overs make of the answers.
// The central installation is a local HTTP stand-in.
#include "centralstandin.h"
#include "kurstest.h"
#include "qvhttp.h"

#ifdef QV_KURS_PG
#include "pgcluster.h"
#include "pgfaultproxy.h"
#include "qvregvalue.h"
#endif

#include <functional>
#include <thread>

namespace kurstest {
namespace {

using qvtest::CentralStandIn;

// The protected members of the booking object, for the exchange tests.
class OnlineKurs : public CVRQKurs {
public:
    using CVRQKurs::BuildURL;
    using CVRQKurs::GetKursdatum;
    using CVRQKurs::NavigateURL;
    CString& Url() { return m_strURL; }
    CString& Data() { return m_strData; }
};

class KursOnline : public KursTest {
protected:
    void SetUp() override {
        KursTest::SetUp();
        Sql("UPDATE DataExchange SET fOnlineKursEnabled = 1, strOnlineKursURL = '" + central.BaseUrl() + "'");
        optionServer.Set(-1060, L"OnlineKursanmeldungASPX", L"kurs/anmeldung.aspx");
        mandant = AddMandant("FW Nord");
        person = AddPerson("Muster", "Hans", mandant);
        kurs = AddKurs(2, "KK");
        run = AddRun(kurs, "2031-05-04");
    }
    long Book(CVRQKurs& booking, long lPerson, long lRun, long& id, EPersonKursStatus& status) {
        return booking.AddPersonToKurs(lPerson, kurs, lRun, 2031, id, status);
    }
    static std::string Braced(const std::string& plain) { return "{" + plain + "}"; }
    // The Op of each request sent, an update's with its Status.
    std::vector<std::string> SentOps() const {
        std::vector<std::string> ops;
        for (const auto& request : central.Requests()) {
            ops.push_back(request.Param("Op"));
            if (ops.back() == "update") ops.back() += " " + request.Param("Status");
        }
        return ops;
    }

    CentralStandIn central;
    long mandant = 0, person = 0, kurs = 0, run = 0;
};

TEST_F(KursOnline, AddRequestCarriesItsKeysInOrder) {
    Sql("UPDATE Person SET lMandantID = " + std::to_string(mandant));
    CVRQKurs booking;
    long id = 0;
    EPersonKursStatus status = ePersonKursStatusBesucht;
    ASSERT_EQ(Book(booking, person, run, id, status), S_OK);
    ASSERT_EQ(central.RequestCount(), 1u);
    const auto req = central.Requests().front();
    EXPECT_EQ(req.path, "/kurs/anmeldung.aspx");
    EXPECT_EQ(req.Param("Ver"), "100");
    EXPECT_EQ(req.Param("Op"), "add");
    EXPECT_EQ(req.Param("SystemID"), "00000000-0000-0000-0000-000000000000");
    EXPECT_EQ(req.Param("Mandant"), Braced(Guid("Mandant", mandant)));
    EXPECT_EQ(req.Param("Person"), Braced(Guid("Person", person)));
    EXPECT_EQ(req.Param("Kursinstanz"), Braced(Guid("Kursinstanz", run)));
    EXPECT_EQ(req.Param("PersonKurs"), "{00000000-0000-0000-0000-000000000000}");
    EXPECT_FALSE(req.HasParam("Status"));
    const double date = std::stod(req.Param("Date"));
    EXPECT_NEAR(date, static_cast<double>(COleDateTime::GetCurrentTime()), 0.01);
    const std::vector<std::string> order = {"?Ver=", "&Op=", "&SystemID=", "&Mandant=", "&Person=",
                                            "&Kursinstanz=", "&PersonKurs=", "&Date="};
    std::size_t at = 0;
    for (const auto& key : order) {
        const std::size_t pos = req.target.find(key);
        ASSERT_NE(pos, std::string::npos) << key;
        EXPECT_GT(pos, at == 0 ? 0 : at) << key;
        at = pos;
    }
    // The reply "ok" registers with the installation's default status.
    EXPECT_EQ(status, ePersonKursStatusAngemeldet);
}

TEST_F(KursOnline, SystemIDOfTheInstallationIsSentPlain) {
    CQvRegistry::SetValue(L"Software\\Qovaro\\NQ2", L"SystemID", CString(L"{5a1e0c2b-7d3f-4e21-9c4b-0123456789ab}"),
                          HKEY_LOCAL_MACHINE);
    OnlineKurs booking;
    booking.BuildURL(L"getCount", 0, -1, ePersonKursStatusAbgemeldet, nullptr);
    EXPECT_NE(booking.Url().Find(L"&SystemID=5A1E0C2B-7D3F-4E21-9C4B-0123456789AB&"), -1) << U(booking.Url());
}

TEST_F(KursOnline, BaseUrlIsTrimmedLowerCasedAndCompleted) {
    OnlineKurs booking;
    Sql("UPDATE DataExchange SET strOnlineKursURL = '  Kanton.EXAMPLE/Kurse  '");
    booking.BuildURL(L"update", person, run, ePersonKursStatusAbgemeldet, nullptr);
    EXPECT_EQ(booking.Url().Find(L"https://kanton.example/kurse/kurs/anmeldung.aspx?Ver=100&Op=update&"), 0)
        << U(booking.Url());
    EXPECT_NE(booking.Url().Find(L"&Status=5&Date="), -1);
    EXPECT_EQ(booking.Url().Find(L"&PersonKurs="), -1);

    Sql("UPDATE DataExchange SET strOnlineKursURL = 'HTTP://Kanton.example/'");
    booking.BuildURL(L"add", person, run, ePersonKursStatusAngemeldet, nullptr);
    EXPECT_EQ(booking.Url().Find(L"http://kanton.example/kurs/anmeldung.aspx?"), 0) << U(booking.Url());
}

TEST_F(KursOnline, MissingBaseUrlIsReportedAndNothingIsSent) {
    Sql("UPDATE DataExchange SET strOnlineKursURL = ''");
    CVRQKurs booking;
    long id = 0;
    EPersonKursStatus status = ePersonKursStatusBesucht;
    script.ExpectReport(L"Es ist keine URL für die Online Kurs Anmeldung definiert!");
    ASSERT_EQ(Book(booking, person, run, id, status), S_OK);
    EXPECT_EQ(central.RequestCount(), 0u);
    EXPECT_EQ(CountRegs(), 1);
    EXPECT_EQ(script.Log().Records(qv::InteractionKind::Report)[0].caption, L"CVRQKurs::BuildURL");
}

TEST_F(KursOnline, OnlineSwitchedOffOrPersonWithoutMandantSendsNothing) {
    const long homeless = AddPerson("Ohne", "Mandant", -1);
    CVRQKurs booking;
    long id = 0;
    EPersonKursStatus status = ePersonKursStatusBesucht;
    ASSERT_EQ(Book(booking, homeless, run, id, status), S_OK);
    Sql("UPDATE DataExchange SET fOnlineKursEnabled = 0");
    long id2 = 0;
    ASSERT_EQ(Book(booking, person, run, id2, status), S_OK);
    EXPECT_EQ(central.RequestCount(), 0u);
    EXPECT_EQ(CountRegs(), 2);
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::MessageBox), 0u);
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 0u);
}

TEST_F(KursOnline, FillLevelRequestWithoutMandantAndItsPieces) {
    central.SetDefaultStatus("ok", "", "a;G1;3;10|b;G2;1;5||c;G3;0;1");
    OnlineKurs booking;
    std::vector<CString> items;
    ASSERT_EQ(booking.WebGetKursinstanzFillUpCount(items), S_OK);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(U(items[0]), "a;G1;3;10");
    EXPECT_EQ(U(items[1]), "b;G2;1;5");
    const auto req = central.Requests().front();
    EXPECT_EQ(req.Param("Op"), "getCount");
    EXPECT_FALSE(req.HasParam("Mandant"));
    EXPECT_FALSE(req.HasParam("Person"));
    EXPECT_FALSE(req.HasParam("Kursinstanz"));
}

TEST_F(KursOnline, ReplyContainerIsParsedIntoStatusHintAndData) {
    OnlineKurs booking;
    booking.Url() = CString(central.BaseUrl().c_str());
    central.QueueStatus("QUEUE", "Platz 3", "xy");
    EXPECT_EQ(booking.NavigateURL(), S_FALSE);
    EXPECT_EQ(U(booking.GetLastStatus()), "queue");
    EXPECT_EQ(U(booking.GetLastHint()), "Platz 3");
    EXPECT_EQ(U(booking.Data()), "xy");

    central.Queue({"<pre id=\"ResponseContainer\">s=ok$h=a=b$data=1$2=3|4</pre>"});
    EXPECT_EQ(booking.NavigateURL(), S_OK);
    EXPECT_EQ(U(booking.GetLastHint()), "a");
    EXPECT_EQ(U(booking.Data()), "1$2=3|4");
    central.Queue({"<pre id=\"ResponseContainer\">s=ok$h==b</pre>"});
    EXPECT_EQ(booking.NavigateURL(), S_OK);
    EXPECT_EQ(U(booking.GetLastHint()), "");
    central.Queue({"<pre id=\"ResponseContainer\">=ok$=Hinweis</pre>"});  // a field without a name has a value too
    EXPECT_EQ(booking.NavigateURL(), S_OK);
    EXPECT_EQ(U(booking.GetLastHint()), "Hinweis");

    central.Queue({"<pre id=\"ResponseContainer\">status=ok</pre>"});
    EXPECT_EQ(booking.NavigateURL(), S_OK);
    EXPECT_EQ(U(booking.GetLastHint()), "");
    EXPECT_EQ(U(booking.Data()), "");

    central.Queue({"<pre id=\"ResponseContainer\">ok$hint=x</pre>"});
    EXPECT_EQ(booking.NavigateURL(), E_FAIL);
    EXPECT_EQ(U(booking.GetLastStatus()), "unk");

    // A refusal takes no payload.
    central.QueueStatus("denied", "nein", "zz");
    EXPECT_EQ(booking.NavigateURL(), E_ABORT);
    EXPECT_EQ(U(booking.Data()), "");
}

TEST_F(KursOnline, StatusWordsMapToResults) {
    const std::vector<std::pair<std::string, long>> words = {
        {"ok", S_OK},           {"closed", E_ABORT},       {"max", E_ABORT},
        {"overbook", E_ABORT},  {"provisorisch", S_FALSE}, {"queue", S_FALSE},
        {"penalty", S_FALSE},   {"denied", E_ABORT},       {"argument", E_ABORT},
        {"personkursexists", E_ABORT}, {"datanotexists", E_ABORT}, {"dbconnection", E_FAIL},
        {"error", E_FAIL},      {"file", E_FAIL},          {"weiss nicht", E_FAIL}};
    OnlineKurs booking;
    booking.Url() = CString(central.BaseUrl().c_str());
    for (const auto& [word, result] : words) {
        central.QueueStatus(word, "h");
        EXPECT_EQ(booking.NavigateURL(), result) << word;
    }
    EXPECT_EQ(U(booking.GetLastStatus()), "unk");
}

TEST_F(KursOnline, EmptyOrUnusableUrlSendsNothingAndKeepsTheLastReply) {
    OnlineKurs booking;
    booking.Url() = CString(central.BaseUrl().c_str());
    central.QueueStatus("queue", "h", "d");
    EXPECT_EQ(booking.NavigateURL(), S_FALSE);
    for (const wchar_t* url : {L"", L"****"}) {
        booking.Url() = url;
        EXPECT_EQ(booking.NavigateURL(), S_OK);
        EXPECT_EQ(U(booking.GetLastStatus()), "queue");
        EXPECT_EQ(U(booking.Data()), "d");
    }
    EXPECT_EQ(central.RequestCount(), 1u);
}

TEST_F(KursOnline, WaitingListProvisionalAndPenaltyAnswersSetTheStatus) {
    const std::vector<std::pair<std::string, EPersonKursStatus>> answers = {
        {"queue", ePersonKursStatusWarteliste},
        {"provisorisch", ePersonKursStatusProvisorisch},
        {"penalty", ePersonKursStatusWartelistePenalty}};
    for (const auto& [word, expected] : answers) {
        central.QueueStatus(word, "");
        const long p = AddPerson("Person", word, mandant);
        CVRQKurs booking;
        long id = 0;
        EPersonKursStatus status = ePersonKursStatusAngemeldet;
        EXPECT_EQ(Book(booking, p, run, id, status), S_OK) << word;
        EXPECT_EQ(status, expected) << word;
        EXPECT_EQ(Int("SELECT lStatus FROM PersonKurs WHERE lPersonKursID = " + std::to_string(id)), expected);
    }
    EXPECT_TRUE(script.Log().Records(qv::InteractionKind::MessageBox).empty());
}

TEST_F(KursOnline, CentralGuidBecomesTheRegistrationsGuid) {
    central.QueueStatus("ok", "", "0a1b2c3d-0000-4000-8000-00000000000a");
    CVRQKurs booking;
    long id = 0;
    EPersonKursStatus status = ePersonKursStatusAngemeldet;
    ASSERT_EQ(Book(booking, person, run, id, status), S_OK);
    EXPECT_EQ(Guid("PersonKurs", id), "0A1B2C3D-0000-4000-8000-00000000000A");
}

TEST_F(KursOnline, CentralGuidMustMatchAnExistingRegistration) {
    const long planned = AddReg(person, kurs, -1, 0, "2031-12-31");
    central.QueueStatus("ok", "", "0a1b2c3d-0000-4000-8000-00000000000a");
    CVRQKurs booking;
    long id = 0;
    EPersonKursStatus status = ePersonKursStatusAngemeldet;
    script.ExpectReport(L"No OLEDB Error available!");
    EXPECT_EQ(Book(booking, person, run, id, status), E_FAIL);
    EXPECT_EQ(Int("SELECT lKursinstanzID FROM PersonKurs WHERE lPersonKursID = " + std::to_string(planned)), -1);
    EXPECT_EQ(central.Requests().front().Param("PersonKurs"), Braced(Guid("PersonKurs", planned)));

    // The same GUID in other letters is the same registration.
    std::string lower = Guid("PersonKurs", planned);
    for (auto& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    central.QueueStatus("ok", "", lower);
    id = 0;
    ASSERT_EQ(Book(booking, person, run, id, status), S_OK);
    EXPECT_EQ(id, planned);
}

TEST_F(KursOnline, RefusalsShowTheirMessageAndWriteNothing) {
    struct Case {
        std::string word;
        std::wstring message;
        bool report;  // shown as a report, not as a message box
    };
    const std::vector<Case> cases = {
        {"closed", L"Online Kursanmeldung\nDie Kursaustragung ist geschlossen", false},
        {"denied", L"Diese Operation ist nicht/nicht mehr erlaubt.", false},
        {"overbook", L"Die maximale Anzahl Anmeldungen für die Kursaustragung wurde erreicht.", false},
        {"max", L"Bereits angemeldet / maximum pro Jahr: 4/4", false},
        {"argument", L"Falscher oder fehlender Parameter im URL: '4/4'", true},
        {"personkursexists", L"Der Teilnehmer ist bereits in der Kantonsdatenbank erfasst!", true},
        {"datanotexists", L"Die Kursdaten sind nicht aktuell!", true},
        {"file", L"Die Importdatei wurde nicht gefunden: '4/4'", true},
        {"dbconnection", L"Datenbank - Fehler: '4/4'", true},
        {"error", L"Es ist ein allgemeiner Fehler aufgetreten: '4/4'", true},
        {"weiss nicht", L"Die Operation war nicht erfolgreich: '4/4'", true},
    };
    for (const auto& c : cases) {
        central.QueueStatus(c.word, "4/4");
        if (c.report) script.ExpectReport(c.message);
        else script.ExpectMessageBox(IDOK, c.message);
        script.ExpectReport(L"No OLEDB Error available!");
        CVRQKurs booking;
        long id = 0;
        EPersonKursStatus status = ePersonKursStatusBesucht;
        EXPECT_TRUE(FAILED(Book(booking, person, run, id, status))) << c.word;
        EXPECT_EQ(status, ePersonKursStatusAngemeldet) << c.word;
    }
    EXPECT_EQ(CountRegs(), 0);
    EXPECT_TRUE(userLog.Entries().empty());
}

TEST_F(KursOnline, MalformedReplyIsAGeneralError) {
    central.SetDefault({"<html><body>Wartungsarbeiten</body></html>"});
    script.ExpectReport(L"Es ist ein allgemeiner Fehler aufgetreten: 'Undefined Web Server reponse format.'");
    script.ExpectReport(L"No OLEDB Error available!");
    CVRQKurs booking;
    long id = 0;
    EPersonKursStatus status = ePersonKursStatusAngemeldet;
    EXPECT_EQ(Book(booking, person, run, id, status), E_FAIL);
    EXPECT_EQ(U(booking.GetLastStatus()), "error");
    EXPECT_EQ(CountRegs(), 0);
}

TEST_F(KursOnline, OversizeOrCompressedReplyIsRefusedAndWritesNothing) {
    const std::string page = CentralStandIn::ReplyPage("ok");
    const CentralStandIn::Answer answers[] = {
        {page + std::string(CQvHttp::kMaxReplyBytes, ' ')},
        CentralStandIn::Answer::Encoded(page, "gzip"),
    };
    for (const auto& answer : answers) {
        central.Queue(answer);
        script.ExpectReport(L"Fehler: 12152");
        script.ExpectReport(L"HTTP Send faild.");
        script.ExpectReport(L"No OLEDB Error available!");
        CVRQKurs booking;
        long id = 0;
        EPersonKursStatus status = ePersonKursStatusAngemeldet;
        EXPECT_EQ(Book(booking, person, run, id, status), HRESULT_FROM_WIN32(QV_HTTP_ERROR_INVALID_RESPONSE));
        EXPECT_EQ(U(booking.GetLastStatus()), "error");
        EXPECT_EQ(CountRegs(), 0);
    }
}

TEST_F(KursOnline, UnreachableCentralInstallationIsReportedWithTheTransportError) {
    Sql("UPDATE DataExchange SET strOnlineKursURL = '" + CentralStandIn::RefusingUrl() + "'");
    script.ExpectReport(L"Es ist ein Fehler bei der Übertragung an die Kantonsdatenbank aufgetreten!\nBitte "
                        L"überprüfen Sie Ihre Internet Verbindung.\n\nFehler: 12029");
    script.ExpectReport(L"Es ist ein allgemeiner Fehler aufgetreten: 'HTTP Send faild.'");
    script.ExpectReport(L"No OLEDB Error available!");
    CVRQKurs booking;
    long id = 0;
    EPersonKursStatus status = ePersonKursStatusAngemeldet;
    EXPECT_EQ(Book(booking, person, run, id, status), HRESULT_FROM_WIN32(QV_HTTP_ERROR_CANNOT_CONNECT));
    EXPECT_EQ(CountRegs(), 0);
}

TEST_F(KursOnline, SilentCentralInstallationRunsIntoTheTimeout) {
    central.SetDefault({CentralStandIn::ReplyPage("ok"), 200, std::chrono::milliseconds(10000)});
    const long before = CQvHttp::GetDefaultRequestTimeout();
    CQvHttp::SetDefaultRequestTimeout(300);
    script.ExpectReport(L"Fehler: 12002");
    script.ExpectReport(L"HTTP Send faild.");
    script.ExpectReport(L"No OLEDB Error available!");
    CVRQKurs booking;
    long id = 0;
    EPersonKursStatus status = ePersonKursStatusAngemeldet;
    const long hr = Book(booking, person, run, id, status);
    CQvHttp::SetDefaultRequestTimeout(before);
    EXPECT_EQ(hr, HRESULT_FROM_WIN32(QV_HTTP_ERROR_TIMEOUT));
    EXPECT_EQ(CountRegs(), 0);
}

TEST_F(KursOnline, WaitWindowIsShownWhileTheRequestRuns) {
    CVRQKurs booking;
    long id = 0;
    EPersonKursStatus status = ePersonKursStatusAngemeldet;
    ASSERT_EQ(Book(booking, person, run, id, status), S_OK);
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::WaitOpen), 1u);
    const auto updates = script.Log().Records(qv::InteractionKind::WaitUpdate);
    ASSERT_FALSE(updates.empty());
    EXPECT_EQ(updates.back().text, L"Die Anfrage via Internet wird ausgeführt.");
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::WaitClose), 1u);
}

TEST_F(KursOnline, NoRequestInTheCentralInstallationForLocalCoursesOrWithoutRun) {
    const long lokal = AddKurs(3, "LK");
    const long lokalRun = AddRun(lokal, "2031-05-04");
    CVRQKurs booking;
    long id = 0;
    EPersonKursStatus status = ePersonKursStatusAngemeldet;
    ASSERT_EQ(booking.AddPersonToKurs(person, lokal, lokalRun, 2031, id, status), S_OK);
    id = 0;
    ASSERT_EQ(Book(booking, person, -1, id, status), S_OK);
    Central(true);
    id = 0;
    ASSERT_EQ(Book(booking, AddPerson("Meier", "Eva", mandant), run, id, status), S_OK);
    EXPECT_EQ(central.RequestCount(), 0u);
    EXPECT_EQ(CountRegs(), 3);

    CQvGUID guid;
    EXPECT_EQ(booking.WebAddPersonToKursinstanz(person, run, guid), S_OK);
    EXPECT_EQ(booking.WebRemovePersonFromKursinstanz(person, run), S_FALSE);
    EXPECT_EQ(booking.WebUpdatePersonKursStatus(person, run, ePersonKursStatusAbgemeldet), S_FALSE);
    EXPECT_EQ(booking.WebSwitchPersonOnKursinstanz(person, run, guid), S_FALSE);
    EXPECT_EQ(booking.WebRemovePersonFromKurs(person, kurs, 0), S_FALSE);
    EXPECT_EQ(central.RequestCount(), 0u);
}

TEST_F(KursOnline, ReusedObjectDoesNotCarryAnEarlierAnswerIntoTheNextBooking) {
    const long lokal = AddKurs(3, "LK");
    const long lokalRun = AddRun(lokal, "2031-05-04");
    central.QueueStatus("queue", "", "0a1b2c3d-0000-4000-8000-00000000000a");
    CVRQKurs booking;
    long id = 0;
    EPersonKursStatus status = ePersonKursStatusAngemeldet;
    ASSERT_EQ(Book(booking, person, run, id, status), S_OK);
    EXPECT_EQ(status, ePersonKursStatusWarteliste);

    long id2 = 0;
    ASSERT_EQ(booking.AddPersonToKurs(person, lokal, lokalRun, 2031, id2, status), S_OK);
    EXPECT_EQ(status, ePersonKursStatusAngemeldet);

    // No exchange for a person without Mandant: the earlier payload is no GUID for this row.
    const long homeless = AddPerson("Ohne", "Mandant", -1);
    long id3 = 0;
    ASSERT_EQ(Book(booking, homeless, run, id3, status), S_OK);
    EXPECT_NE(Guid("PersonKurs", id3), Guid("PersonKurs", id));
}

TEST_F(KursOnline, FailingWriteWithdrawsTheOnlineRegistration) {
    Sql("CREATE TRIGGER PersonKurs_NoInsert BEFORE INSERT ON PersonKurs BEGIN SELECT RAISE(ABORT, 'voll'); END");
    script.ExpectReport(L"voll");
    CVRQKurs booking;
    long id = 0;
    EPersonKursStatus status = ePersonKursStatusAngemeldet;
    EXPECT_TRUE(FAILED(Book(booking, person, run, id, status)));
    const auto reqs = central.Requests();
    ASSERT_EQ(reqs.size(), 2u);
    EXPECT_EQ(reqs[1].Param("Op"), "remove");
    EXPECT_EQ(reqs[1].Param("Person"), Braced(Guid("Person", person)));
    EXPECT_EQ(reqs[1].Param("Kursinstanz"), Braced(Guid("Kursinstanz", run)));
    EXPECT_FALSE(reqs[1].HasParam("PersonKurs"));
}

TEST_F(KursOnline, DeregistrationIsSentFirstAndARefusalChangesNothing) {
    const long reg = AddReg(person, kurs, run, 0, "2031-05-04");
    CVRQKurs booking;
    ASSERT_EQ(booking.UpdatePersonKursStatus(TRUE, reg, person, run, ePersonKursStatusAbgemeldet), S_OK);
    ASSERT_EQ(central.RequestCount(), 1u);
    EXPECT_EQ(central.Requests()[0].Param("Op"), "update");
    EXPECT_EQ(central.Requests()[0].Param("Status"), "5");

    Sql("UPDATE PersonKurs SET lStatus = 0");
    central.QueueStatus("denied", "");
    script.ExpectReport(L"No OLEDB Error available!");
    EXPECT_EQ(booking.UpdatePersonKursStatus(TRUE, reg, person, run, ePersonKursStatusAbgemeldet), E_ABORT);
    EXPECT_EQ(Int("SELECT lStatus FROM PersonKurs"), 0);
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::MessageBox), 0u);

    // Stored otherwise than the caller shows it (status 0 in this run): moved to another run, or
    // deregistered meanwhile. Nothing is sent, written or logged; the user is told once.
    const long moved = AddRun(kurs, "2031-06-01");
    const std::size_t logged = userLog.Entries().size();
    for (const auto& [storedRun, storedStatus] : {std::pair{moved, 0}, std::pair{run, 5}}) {
        const std::string stored = std::to_string(storedRun) + "|" + std::to_string(storedStatus);
        SCOPED_TRACE(stored);
        Sql("UPDATE PersonKurs SET dtDatum = '2031-05-04 00:00:00', lKursinstanzID = " + std::to_string(storedRun) +
            ", lStatus = " + std::to_string(storedStatus));
        script.ExpectMessageBox(IDOK, L"Diese Anmeldung wurde inzwischen geändert oder entfernt.");
        EXPECT_EQ(booking.UpdatePersonKursStatus(TRUE, reg, person, run, ePersonKursStatusAbgemeldet, 0), E_ABORT);
        EXPECT_EQ(Reg(reg, "lKursinstanzID, lStatus, dtDatum"), stored + "|2031-05-04 00:00:00");
        EXPECT_EQ(central.RequestCount(), 2u);
        EXPECT_EQ(userLog.Entries().size(), logged);
        EXPECT_EQ(Int("SELECT count(*) FROM KursnotificationItem"), 0);
    }
}

TEST_F(KursOnline, HandOverIsSentFirstAndWithdrawnWhenTheWriteFails) {
    const long reg = AddReg(person, kurs, run, 0, "2031-05-04");
    const long other = AddPerson("Meier", "Eva", mandant);
    CVRQKurs booking;
    ASSERT_EQ(booking.SwitchPerson(other, kurs, run, reg), S_OK);
    ASSERT_EQ(central.RequestCount(), 1u);
    EXPECT_EQ(central.Requests()[0].Param("Op"), "switch");
    EXPECT_EQ(central.Requests()[0].Param("Person"), Braced(Guid("Person", other)));
    EXPECT_EQ(central.Requests()[0].Param("PersonKurs"), Braced(Guid("PersonKurs", reg)));

    central.QueueStatus("closed", "");
    script.ExpectMessageBox(IDOK, L"Die Kursaustragung ist geschlossen");
    EXPECT_EQ(booking.SwitchPerson(person, kurs, run, reg), E_ABORT);
    EXPECT_EQ(Int("SELECT lPersonID FROM PersonKurs"), other);

    Sql("CREATE TRIGGER PersonKurs_NoUpdate BEFORE UPDATE ON PersonKurs BEGIN SELECT RAISE(ABORT, 'gesperrt'); "
        "END");
    central.ClearRequests();
    script.ExpectReport(L"gesperrt");
    EXPECT_TRUE(FAILED(booking.SwitchPerson(person, kurs, run, reg)));
    const auto reqs = central.Requests();
    ASSERT_EQ(reqs.size(), 2u);
    EXPECT_EQ(reqs[1].Param("Op"), "remove");
    EXPECT_EQ(reqs[1].Param("Person"), Braced(Guid("Person", person)));
}

// Another user changes the registration while the central installation's answer is awaited: the
// change sent is not written here, the user is told once, nothing is logged or queued, and the
// central installation is told the registration as it is stored.
TEST_F(KursOnline, ARegistrationChangedWhileTheAnswerIsAwaitedIsLeftAndItsRequestTakenBack) {
    Central(false);
    Sql("UPDATE Mandant SET fKursNotification = 1");
    const long other = AddRun(kurs, "2031-06-01");
    struct Case {
        const char* name;
        long run, status;               // the registration as the user is shown it
        const char* meanwhile;          // what the other user writes while the answer is awaited
        std::function<long(CVRQKurs&, long reg)> change;
        std::vector<std::string> sent;  // Op (and Status) of each request, the taking back last
        std::string stored;             // run | status afterwards
        std::vector<long> sentRuns = {};  // the run each request names (-1: none); else the run shown
        std::vector<long> sentPersons = {};  // the person each request names; else the person shown
        long storedPerson = 0;               // the registration's person afterwards; else the person shown
    };
    // Another user hands the registration to this person meanwhile.
    const long heir = AddPerson("Meier", "Eva", mandant);
    const long third = AddPerson("Keller", "Urs", mandant);
    const char* const handOver = "UPDATE PersonKurs SET lPersonID = #heir#";
    const std::string inOther = K(other) + "|0";
    const std::string inRunWaiting = K(run) + "|3";
    std::vector<Case> cases = {
        {"planned, booked by +", -1, 0, "UPDATE PersonKurs SET lKursinstanzID = #other#",
         [&](CVRQKurs& b, long) {
             long id = 0;
             EPersonKursStatus status = ePersonKursStatusAngemeldet;
             return Book(b, person, run, id, status);
         },
         {"add", "remove"}, inOther},
        {"status", run, 0, "UPDATE PersonKurs SET lStatus = 3",
         [&](CVRQKurs& b, long reg) {
             return b.UpdatePersonKursStatus(TRUE, reg, person, run, ePersonKursStatusAbgemeldet, 0);
         },
         {"update 5", "update 3"}, inRunWaiting},
        {"removal", run, 0, "UPDATE PersonKurs SET lStatus = 3",
         [&](CVRQKurs& b, long reg) { return b.RemovePersonFromKursinstanz(reg, person, run, false, 0, run); },
         {"remove", "add", "update 3"}, inRunWaiting},
        {"planned, deleted", -1, 0, "UPDATE PersonKurs SET lKursinstanzID = #other#",
         [&](CVRQKurs& b, long reg) { return b.RemovePersonFromKurs(reg, person, -1, 0, -1); },
         {"delete", "add", "update 0"}, inOther, {-1, other, other}},
        // Still planned with another status: booked again as planned, named by its GUID.
        {"planned, deleted, status changed", -1, 0, "UPDATE PersonKurs SET lStatus = 7",
         [&](CVRQKurs& b, long reg) { return b.RemovePersonFromKurs(reg, person, -1, 0, -1); },
         {"delete", "add"}, "-1|7", {-1, -1}},
    };
    // Handed over meanwhile: nothing is written for the person shown. A status sent is sent again as
    // stored for the person who holds the registration now; a removal or a hand-over sent for the
    // person shown is not taken back by booking anyone into the run.
    cases.push_back({"status, handed over", run, 0, handOver,
                     [&](CVRQKurs& b, long reg) {
                         return b.UpdatePersonKursStatus(TRUE, reg, person, run, ePersonKursStatusAbgemeldet, 0);
                     },
                     {"update 5", "update 0"}, K(run) + "|0", {}, {person, heir}, heir});
    cases.push_back({"removal, handed over", run, 0, handOver,
                     [&](CVRQKurs& b, long reg) { return b.RemovePersonFromKursinstanz(reg, person, run, false, 0, run); },
                     {"remove"}, K(run) + "|0", {}, {}, heir});
    cases.push_back({"hand-over, handed over", run, 0, handOver,
                     [&](CVRQKurs& b, long reg) { return b.SwitchPerson(third, kurs, run, reg, 0, person); },
                     {"switch", "remove"}, K(run) + "|0", {}, {third, third}, heir});
    // The moves write in one transaction, which SQLite begins as the only writer: the other user
    // waits for it there. The server lets the other user write meanwhile.
    if (kOnPg) {
        cases.push_back({"planned, moved into the run", -1, 0, "UPDATE PersonKurs SET lKursinstanzID = #other#",
                         [&](CVRQKurs& b, long reg) {
                             EPersonKursStatus status = ePersonKursStatusAngemeldet;
                             return b.ChangePersonKursinstanz(reg, person, kurs, -1, run, 2031, status, 0);
                         },
                         {"add", "remove"}, inOther});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Sql("DELETE FROM PersonKurs");
        const long reg = AddReg(person, kurs, c.run, c.status, c.run == -1 ? "2031-12-31" : "2031-05-04");
        central.ClearRequests();
        central.Queue({CentralStandIn::ReplyPage("ok"), 200, std::chrono::milliseconds(1000)});
        std::string meanwhile = c.meanwhile;
        if (const auto at = meanwhile.find("#other#"); at != std::string::npos) meanwhile.replace(at, 7, K(other));
        if (const auto at = meanwhile.find("#heir#"); at != std::string::npos) meanwhile.replace(at, 6, K(heir));
        std::thread otherUser([&] {
            if (central.WaitForRequests(1, std::chrono::seconds(20))) Sql(meanwhile);
        });
        script.ExpectMessageBox(IDOK, L"Diese Anmeldung wurde inzwischen geändert oder entfernt.");
        CVRQKurs booking;
        const long hr = c.change(booking, reg);
        otherUser.join();
        EXPECT_EQ(hr, E_ABORT);
        EXPECT_EQ(script.Log().Count(qv::InteractionKind::MessageBox), 1u);
        EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 0u);
        EXPECT_EQ(Reg(reg, "lKursinstanzID, lStatus"), c.stored);
        EXPECT_EQ(Reg(reg, "lPersonID"), K(c.storedPerson ? c.storedPerson : person));
        EXPECT_EQ(CountRegs(), 1);
        EXPECT_TRUE(userLog.Entries().empty());
        EXPECT_EQ(Int("SELECT count(*) FROM KursnotificationItem"), 0);
        const auto reqs = central.Requests();
        ASSERT_EQ(SentOps(), c.sent);
        for (std::size_t i = 0; i < reqs.size(); ++i) {
            const long namedPerson = i < c.sentPersons.size() ? c.sentPersons[i] : person;
            EXPECT_EQ(reqs[i].Param("Person"), Braced(Guid("Person", namedPerson))) << i;
            const long named = i < c.sentRuns.size() ? c.sentRuns[i] : run;
            if (named == -1) EXPECT_FALSE(reqs[i].HasParam("Kursinstanz")) << i;
            else EXPECT_EQ(reqs[i].Param("Kursinstanz"), Braced(Guid("Kursinstanz", named))) << i;
            if (reqs[i].Param("Op") == "add") EXPECT_EQ(reqs[i].Param("PersonKurs"), Braced(Guid("PersonKurs", reg)));
        }
        script.Log().Clear();
    }

    // A failure after the write (the user log refuses the entry) rolls the change back here, and the
    // central installation hears the registration as it was.
    Sql("DELETE FROM PersonKurs");
    const long reg = AddReg(person, kurs, run, 0, "2031-05-04");
    userLog.fail = E_ACCESSDENIED;
    for (const bool removal : {false, true}) {
        SCOPED_TRACE(removal ? "removal refused by the log" : "status refused by the log");
        central.ClearRequests();
        script.ExpectReport(L"No OLEDB Error available!");
        CVRQKurs booking;
        EXPECT_EQ(removal ? booking.RemovePersonFromKursinstanz(reg, person, run, false, 0, run)
                          : booking.UpdatePersonKursStatus(TRUE, reg, person, run, ePersonKursStatusAbgemeldet, 0),
                  E_ACCESSDENIED);
        EXPECT_EQ(Reg(reg, "lKursinstanzID, lStatus"), K(run) + "|0");
        const auto reqs = central.Requests();
        ASSERT_EQ(reqs.size(), removal ? 3u : 2u);
        EXPECT_EQ(reqs[1].Param("Op"), removal ? "add" : "update");
        EXPECT_EQ(reqs[1].Param("Status"), removal ? "" : "0");
        EXPECT_EQ(reqs[1].Param("Kursinstanz"), Braced(Guid("Kursinstanz", run)));
        // Booked back with the status stored.
        if (removal) EXPECT_EQ(reqs[2].Param("Op") + " " + reqs[2].Param("Status"), "update 0");
    }
    userLog.fail = S_OK;
}

#ifdef QV_KURS_PG
// The server committed the change but its answer to the COMMIT was lost: whether it was stored is
// unknown to the module, which reads what is stored before it tells the central installation
// anything, and sends only what makes the central installation hold the registration as stored.
TEST_F(KursOnline, AChangeWhoseCommitAnswerIsLostLeavesTheCentralInstallationAsStored) {
    qvtest::PgFaultProxy proxy(qvtest::PortOf(qvtest::PgClusterUrl()));
    const wchar_t* const profile = L"Software\\Qovaro\\QvDBServer\\Qovaro.NQ2";
    const std::string direct = qvtest::PgClusterUrl() + "/" + pgName;
    ASSERT_TRUE(CQvRegistry::SetValue(profile, L"DBConnection", CString(proxy.Through(direct).c_str())));
    Central(false);
    struct Case {
        const char* name;
        std::function<long(CVRQKurs&, long reg)> change;
        std::vector<std::string> sent;  // Op (and Status) of each request
        std::string stored;             // run | status afterwards
    };
    const Case cases[] = {
        {"status",
         [&](CVRQKurs& b, long reg) {
             return b.UpdatePersonKursStatus(TRUE, reg, person, run, ePersonKursStatusAbgemeldet, 0);
         },
         {"update 5"}, K(run) + "|5"},
        {"removal",
         [&](CVRQKurs& b, long reg) { return b.RemovePersonFromKursinstanz(reg, person, run, false, 0, run); },
         {"remove"}, "-1|0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Sql("DELETE FROM PersonKurs");
        const long reg = AddReg(person, kurs, run, 0, "2031-05-04");
        central.ClearRequests();
        proxy.DropReplyTo("COMMIT");
        script.ExpectReport(L"ist nicht bekannt");
        CVRQKurs booking;
        EXPECT_LT(c.change(booking, reg), 0);
        EXPECT_TRUE(proxy.Dropped());
        EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 1u);
        EXPECT_EQ(script.Log().Count(qv::InteractionKind::MessageBox), 0u);
        EXPECT_EQ(Reg(reg, "lKursinstanzID, lStatus"), c.stored);
        EXPECT_EQ(SentOps(), c.sent);
        script.Log().Clear();
    }

    // The change is refused (the user log refuses its entry) and what is stored cannot be read
    // after it (a statement is tried once): nothing more is sent, and the one report says that the
    // central installation may differ.
    Sql("DELETE FROM PersonKurs");
    const long reg = AddReg(person, kurs, run, 0, "2031-05-04");
    central.ClearRequests();
    userLog.fail = E_ACCESSDENIED;
    CQvRegistry::SetValue(profile, L"DefaultExecuteRetry", 1L);
    proxy.DropReplyTo("SELECT lPersonID, lKursID, lKursinstanzID");
    script.ExpectReport(L"die zentrale Installation kann von dieser Anmeldung abweichen");
    CVRQKurs booking;
    EXPECT_EQ(booking.UpdatePersonKursStatus(TRUE, reg, person, run, ePersonKursStatusAbgemeldet, 0), E_ACCESSDENIED);
    userLog.fail = S_OK;
    EXPECT_TRUE(proxy.Dropped());
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::Report), 1u);
    EXPECT_EQ(script.Log().Count(qv::InteractionKind::MessageBox), 0u);
    EXPECT_EQ(Reg(reg, "lKursinstanzID, lStatus"), K(run) + "|0");
    EXPECT_EQ(central.RequestCount(), 1u);
    CQvRegistry::SetValue(profile, L"DefaultExecuteRetry", 3L);
    CQvRegistry::SetValue(profile, L"DBConnection", CString(direct.c_str()));
}
#endif

TEST_F(KursOnline, DeleteRequestNamesTheRegistrationWithoutRun) {
    const long reg = AddReg(person, kurs, run, 0, "2031-05-04");
    CVRQKurs booking;
    ASSERT_EQ(booking.WebRemovePersonFromKurs(person, kurs, reg), S_OK);
    ASSERT_EQ(booking.WebRemovePersonFromKurs(person, kurs, 0), S_OK);
    const auto reqs = central.Requests();
    ASSERT_EQ(reqs.size(), 2u);
    EXPECT_EQ(reqs[0].Param("Op"), "delete");
    EXPECT_FALSE(reqs[0].HasParam("Kursinstanz"));
    EXPECT_EQ(reqs[0].Param("PersonKurs"), Braced(Guid("PersonKurs", reg)));
    EXPECT_EQ(reqs[1].Param("PersonKurs"), "{00000000-0000-0000-0000-000000000000}");
    // Local courses are not the central installation's business.
    EXPECT_EQ(booking.WebRemovePersonFromKurs(person, AddKurs(3, "LK"), reg), S_FALSE);
    EXPECT_EQ(central.RequestCount(), 2u);
    // The database's first registration is named as well.
    Sql("INSERT INTO PersonKurs (lPersonKursID, lPersonID, lKursID, lKursinstanzID, lStatus, dtDatum) VALUES (1, " +
        K(person) + ", " + K(kurs) + ", -1, 0, '2031-12-31 00:00:00')");
    ASSERT_EQ(booking.WebRemovePersonFromKurs(person, kurs, 1), S_OK);
    EXPECT_EQ(central.Requests().back().Param("PersonKurs"), Braced(Guid("PersonKurs", 1)));
}

TEST_F(KursOnline, CopiesCarryTheLastReply) {
    central.QueueStatus("penalty", "Sperre");
    OnlineKurs booking;
    booking.Url() = CString(central.BaseUrl().c_str());
    booking.NavigateURL();
    CVRQKurs copy(booking);
    CVRQKurs assigned;
    assigned = booking;
    EXPECT_EQ(U(copy.GetLastStatus()), "penalty");
    EXPECT_EQ(U(copy.GetLastHint()), "Sperre");
    EXPECT_EQ(U(assigned.GetLastStatus()), "penalty");
}

TEST_F(KursOnline, PeriodOfABooking) {
    OnlineKurs booking;
    long year = 2035;
    CQvDateTime last, first;
    ASSERT_EQ(booking.GetKursdatum(-1, year, last, first), S_OK);
    EXPECT_EQ(year, 2035);
    EXPECT_EQ(U(last.SQLConvert()), "'2035-12-31 00:00:00'");
    EXPECT_EQ(U(first.SQLConvert()), "'2035-01-01 00:00:00'");
    ASSERT_EQ(booking.GetKursdatum(run, year, last, first), S_OK);
    EXPECT_EQ(year, 2031);
    EXPECT_EQ(U(last.SQLConvert()), "'2031-05-04 00:00:00'");
    EXPECT_EQ(U(first.SQLConvert()), "'2031-05-04 00:00:00'");
    // A run without a date leaves the year at 2000.
    CQvDateTime none, unset;
    ASSERT_EQ(booking.GetKursdatum(99999, year, none, unset), S_OK);
    EXPECT_EQ(year, 2000);
}

}  // namespace
}  // namespace kurstest
