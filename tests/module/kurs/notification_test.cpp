// The notification dialog through its real widgets over a database from the suite schema:
// notifications queued by bookings of the course API, sent per language through a small SMTP
// server on loopback with the template's texts, the item lines and the leaders in copy; a server
// that cannot be reached or refuses leaves them unsent with a message; templates copied with their
// translations and deleted; the template editor.
#include "kursresource.h"
#include "kurswin_window.h"
#include "mailtemplatedlg.h"
#include "maxteilnehmerdlg.h"
#include "nqcommon.h"
#include "nqkurscalls.h"
#include "notificationdlg.h"
#include "qvregvalue.h"
#include "searchresource.h"
#include "smtpstandin.h"

#include <QAbstractButton>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kurstest {
namespace {

using namespace qv::ui::test;

const wchar_t* const kSecFunctions[] = {L"{A6389F2B-A16A-4DB2-900A-8BF53BE7B877}",
                                        L"{A47499F1-6D05-450A-AC45-90FE81B014D1}",
                                        L"{F849F376-4852-4D08-AB78-8B28BF1A1B12}"};

// A loopback port nobody listens on: kept bound for the life of the process, so no stand-in of a
// test running in parallel can be given it.
int ClosedPort() {
    static const int port = [] {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        socklen_t len = sizeof addr;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
        return int(ntohs(addr.sin_port));
    }();
    return port;
}

class NotificationTest : public KursWindow {
protected:
    void SetUp() override {
        KursWindow::SetUp();
        qv::nq::SetEnterpriseEdition(true);
        for (const wchar_t* f : kSecFunctions) security.Answer(f, L"", 0x1501);
        options.Set(-1060, L"EntNotificationMultilanguage", 1L);
        options.Set(-1060, L"EntSendEMailNotificationToLeiter", 1L);
        Sql("UPDATE Mandant SET fKursNotification = 1");
        kurs = AddKurs(3, "GK");
        run = AddRun(kurs, "2031-09-01", "Herbst", 10);
        Sql("INSERT INTO VIP (lVIPID, strBezeichnung, fKursNotificationReceiver) VALUES (1, 'Kommandant', 1)");
        Receiver("Deutsch", "Kdt", "de@fw-nord.ch", "Deutsch");
        Receiver("Romand", "Cdt", "fr@fw-nord.ch", "Français");
        Receiver("Ohne", "Adresse", "keine-adresse", "Deutsch");
        Sql("INSERT INTO KursnotificationMailtemplate (lKursnotificationMailtemplateID, strName, strSubject, "
            "strHeader, strFooter, strCC, strBCC) VALUES (7, 'Standard', 'Kursmeldung <MANDANT><PERSON> <mandant>', "
            "'Guten Tag', 'Freundliche Grüsse', 'kurse@fw.ch', 'archiv@fw.ch')");
        Sql("INSERT INTO QvLabel (lQvLabelID, lQvLanguageID, lFkID, strName, strLabel) VALUES "
            "(501, 2, 7, 'KursnotificationMailtemplate_Header', 'Bonjour'), "
            "(502, 2, 7, 'KursnotificationMailtemplate_Subject', 'Avis <MANDANT>')");
        SetServer(smtp.Port());
    }
    void TearDown() override {
        KursWindow::TearDown();
        qv::nq::SetEnterpriseEdition(std::nullopt);
    }
    static void SetServer(int port) {
        const wchar_t* key = L"Software\\Qovaro\\NQ2\\Mail";
        CQvRegistry::SetValue(key, L"SmtpServer", L"127.0.0.1", HKEY_LOCAL_MACHINE);
        CQvRegistry::SetValue(key, L"SmtpPort", static_cast<long>(port), HKEY_LOCAL_MACHINE);
        CQvRegistry::SetValue(key, L"Sender", L"kurse@qovaro.test", HKEY_LOCAL_MACHINE);
        CQvRegistry::SetValue(key, L"SmtpTimeout", 5L, HKEY_LOCAL_MACHINE);
    }
    long Receiver(const std::string& name, const std::string& vorname, const std::string& mail,
                  const std::string& sprache) {
        const long p = Mailbox(name, vorname, mail, sprache);
        Sql("INSERT INTO VIPPersonMandant (lVIPID, lPersonID, lMandantID) VALUES (1, " + K(p) + ", " + K(mandant) + ")");
        return p;
    }
    long Mailbox(const std::string& name, const std::string& vorname, const std::string& mail,
                 const std::string& sprache) {
        const long p = AddPerson(name);
        Sql("UPDATE Person SET strVorname = '" + vorname + "', strSprache = '" + sprache + "' WHERE lPersonID = " + K(p));
        const long device = ++devices;
        Sql("INSERT INTO Device (lDeviceID, lPersonID, lTyp) VALUES (" + K(device) + ", " + K(p) + ", 6)");
        Sql("INSERT INTO Devicenumber (lDeviceID, lTyp, strNr) VALUES (" + K(device) + ", 0, '" + mail + "')");
        return p;
    }
    long Book(long person) {
        CVRQKurs booking;
        long id = 0;
        EPersonKursStatus status = ePersonKursStatusAngemeldet;
        EXPECT_EQ(booking.AddPersonToKurs(person, kurs, run, 2031, id, status), S_OK);
        return id;
    }
    // Runs the dialog; the script gets it open and closes it afterwards.
    void Run(const std::function<void(CNotificationDlg&)>& body) {
        script.ExpectModal(IDD_NOTIFICATION, [&](qv::IModalDialog& modal) {
            auto& dlg = dynamic_cast<CNotificationDlg&>(modal);
            body(dlg);
            if (!modal.IsModalEnded()) modal.EndModal(IDCANCEL);
        });
        CNotificationDlg dlg;
        dlg.DoModal();
    }
    static void SelectTemplate(CNotificationDlg& dlg) {
        ASSERT_TRUE(SelectRow(dlg.m_listTemplate.GetSafeHwnd(), 0));
    }
    std::string Sent(long id) {
        return Text("SELECT dtSent <> '1899-12-30 00:00:00' FROM Kursnotification WHERE lKursnotificationID = " + K(id));
    }

    qvtest::SmtpStandIn smtp;
    long kurs = 0, run = 0, devices = 0;
};

TEST_F(NotificationTest, BookingsAreListedPerMandantAndInstructorAndSentOneMailPerLanguage) {
    const long anna = AddPerson("Amsler");
    const long beat = AddPerson("Brunner");
    Book(anna);
    Book(beat);
    // The run's leader, in German, gets the mails in copy; a deregistered leader does not.
    const long leiter = Mailbox("Leiter", "Lea", "leiter@fw.ch", "Deutsch");
    const long weg = Mailbox("Weg", "Walter", "weg@fw.ch", "Deutsch");
    CVRQKurs booking;
    long regL = 0, regW = 0;
    EPersonKursStatus status = ePersonKursStatusAngemeldet;
    ASSERT_EQ(booking.AddInstruktorToKurs(leiter, kurs, run, 2031, -1, regL, status), S_OK);
    ASSERT_EQ(booking.AddInstruktorToKurs(weg, kurs, run, 2031, -1, regW, status), S_OK);
    Sql("UPDATE PersonKurs SET fLeiter = 1 WHERE lPersonKursID IN (" + K(regL) + ", " + K(regW) + ")");
    Sql("UPDATE PersonKurs SET lStatus = 5 WHERE lPersonKursID = " + K(regW));
    // An Italian leader has no Italian mail: he is copied on the German one, with the German leader.
    const long lina = Mailbox("Leiterin", "Lina", "lina@fw.ch", "Italiano");
    long regI = 0;
    ASSERT_EQ(booking.AddInstruktorToKurs(lina, kurs, run, 2031, -1, regI, status), S_OK);
    Sql("UPDATE PersonKurs SET fLeiter = 1 WHERE lPersonKursID = " + K(regI));
    // The template's blind copies are separated by a comma: each one is delivered.
    Sql("UPDATE KursnotificationMailtemplate SET strBCC = 'archiv@fw.ch, stab@fw.ch'");
    // A receiver's field may hold several addresses: each one gets the mail.
    Sql("UPDATE Devicenumber SET strNr = 'fr@fw-nord.ch; cdt@fw-nord.ch' WHERE strNr = 'fr@fw-nord.ch'");
    const long mandantNote = static_cast<long>(Int("SELECT lKursnotificationID FROM Kursnotification WHERE lPersonID = -1"));
    ASSERT_EQ(Int("SELECT count(*) FROM KursnotificationItem WHERE lKursnotificationID = " + K(mandantNote)), 2);
    // A notification sent before stays below the open one, in grey.
    Sql("INSERT INTO Kursnotification (lKursnotificationID, lMandantID, lPersonID, dtCreate, dtSent) VALUES "
        "(90, " + K(mandant) + ", -1, '2035-01-01 10:00:00', '2035-01-02 10:00:00')");

    CRect resized;
    Run([&](CNotificationDlg& dlg) {
        HWND wnd = dlg.GetSafeHwnd();
        HWND mandanten = dlg.m_listMandant.GetSafeHwnd();
        HWND instruktoren = dlg.m_listInstruktor.GetSafeHwnd();
        EXPECT_EQ(TabLabels(dlg.m_tabCtrl.GetSafeHwnd()), (std::vector<std::wstring>{L"Teilnehmer je Mandant", L"Kursleitung"}));
        ASSERT_EQ(Rows(mandanten), 2);
        EXPECT_EQ(Cell(mandanten, 0, 1), L"FW Nord");
        EXPECT_EQ(Cell(mandanten, 0, 2), L"2");
        EXPECT_EQ(Cell(mandanten, 0, 3), L"") << "an open notification has no sending date";
        EXPECT_EQ(Cell(mandanten, 1, 0).substr(0, 10), L"01.01.2035") << "made then";
        EXPECT_EQ(CellTextColor(mandanten, 1, 1), RGB(128, 128, 128));
        EXPECT_NE(CellTextColor(mandanten, 0, 1), RGB(128, 128, 128));
        EXPECT_EQ(Rows(instruktoren), 3) << "each instructor has his own notification";
        EXPECT_EQ(Rows(dlg.m_listTemplate.GetSafeHwnd()), 1);
        EXPECT_FALSE(Enabled(qv::ui::test::Item(wnd, IDC_NOTIF_SEND))) << "nothing selected";
        EXPECT_FALSE(Enabled(qv::ui::test::Item(wnd, IDC_NOTIF_TEMPLATE_EDIT)));
        EXPECT_FALSE(Enabled(qv::ui::test::Item(wnd, IDC_NOTIF_TEMPLATE_DELETE)));
        EXPECT_TRUE(Enabled(qv::ui::test::Item(wnd, IDC_NOTIF_TEMPLATE_COPY)));
        SelectTemplate(dlg);
        EXPECT_TRUE(Enabled(qv::ui::test::Item(wnd, IDC_NOTIF_TEMPLATE_EDIT)));
        EXPECT_TRUE(Enabled(qv::ui::test::Item(wnd, IDC_NOTIF_TEMPLATE_DELETE)));
        ASSERT_TRUE(SelectRow(mandanten, 0));
        EXPECT_TRUE(Enabled(qv::ui::test::Item(wnd, IDC_NOTIF_SEND)));
        EXPECT_TRUE(Enabled(qv::ui::test::Item(wnd, IDC_NOTIF_DELETE)));
        Screen(wnd, "notificationdlg");
        // A larger dialog gives the room to the lists; the buttons keep their size.
        HWND help = qv::ui::test::Item(wnd, IDC_HELPBUTTON), send = qv::ui::test::Item(wnd, IDC_NOTIF_SEND);
        HWND remove = qv::ui::test::Item(wnd, IDC_NOTIF_DELETE);
        const QSize helpSize = Widget(help)->size(), sendSize = Widget(send)->size(), removeSize = Widget(remove)->size();
        // Sending shows a letter going out with an arrow, not the printer it once was.
        const QImage sendPicture = qobject_cast<QAbstractButton*>(Widget(send))->icon().pixmap(16, 16).toImage();
        sendPicture.scaled(128, 128).save(QStringLiteral(QV_SCREENS_DIR "/notif_send_picture.png"));
        EXPECT_EQ(sendPicture.pixelColor(3, 6), QColor(Qt::white)) << "the letter";
        EXPECT_EQ(sendPicture.pixelColor(12, 12), QColor(0x20, 0x50, 0x90)) << "the arrow";
        const int templatesWidth = Widget(dlg.m_listTemplate.GetSafeHwnd())->width();
        CRect before, after;
        dlg.GetClientRect(&before);
        ASSERT_TRUE(ResizeWindow(wnd, before.Width() + 200, before.Height() + 100));
        dlg.GetClientRect(&after);
        resized = after;
        ASSERT_GT(after.Width(), before.Width());
        EXPECT_EQ(Widget(help)->size(), helpSize);
        EXPECT_EQ(Widget(send)->size(), sendSize);
        EXPECT_EQ(Widget(remove)->size(), removeSize);
        EXPECT_EQ(Widget(dlg.m_listTemplate.GetSafeHwnd())->width(), templatesWidth + after.Width() - before.Width());
        // The template buttons stand beside the list's top, one below the other.
        const QRect templates = Widget(dlg.m_listTemplate.GetSafeHwnd())->geometry();
        int top = templates.y();
        for (int id : {IDC_NOTIF_TEMPLATE_NEW, IDC_NOTIF_TEMPLATE_COPY, IDC_NOTIF_TEMPLATE_EDIT, IDC_NOTIF_TEMPLATE_DELETE}) {
            const QRect button = Widget(qv::ui::test::Item(wnd, id))->geometry();
            EXPECT_EQ(button.y(), top) << id;
            EXPECT_EQ(button.x(), templates.x() + templates.width()) << id;
            top = button.y() + button.height();
        }
        // Never smaller than it was made.
        ResizeWindow(wnd, before.Width() - 100, before.Height() - 100);
        CRect least;
        dlg.GetClientRect(&least);
        EXPECT_GE(least.Width(), before.Width());
        EXPECT_GE(least.Height(), before.Height());
        ASSERT_TRUE(ResizeWindow(wnd, after.Width(), after.Height()));
        ASSERT_TRUE(Click(wnd, IDC_NOTIF_SEND));
        EXPECT_EQ(Cell(mandanten, 0, 1), L"FW Nord") << "reloaded";
        EXPECT_EQ(CellTextColor(mandanten, 0, 1), RGB(128, 128, 128)) << "sent now";
    });
    // Opened again, the dialog has the size it was left with.
    Run([&](CNotificationDlg& dlg) {
        CRect again;
        dlg.GetClientRect(&again);
        EXPECT_EQ(again.Width(), resized.Width());
        EXPECT_EQ(again.Height(), resized.Height());
    });

    const auto mails = smtp.Mails();
    ASSERT_EQ(mails.size(), 2u) << "one mail per language";
    const auto& de = mails[0];
    EXPECT_EQ(de.from, "kurse@qovaro.test");
    EXPECT_EQ(de.recipients, (std::vector<std::string>{"de@fw-nord.ch", "leiter@fw.ch", "lina@fw.ch", "kurse@fw.ch",
                                                       "archiv@fw.ch", "stab@fw.ch"}));
    EXPECT_EQ(de.Header("To"), "de@fw-nord.ch");
    EXPECT_EQ(de.Header("Cc"), "leiter@fw.ch, lina@fw.ch, kurse@fw.ch");
    EXPECT_EQ(de.Header("Bcc"), "") << "a blind copy is not named in the message";
    EXPECT_EQ(de.Header("Subject"), "Kursmeldung FW Nord <mandant>");
    const std::string rule(81, '-');
    const std::string a = Text("SELECT strPerson FROM KursnotificationItem WHERE lPersonID = " + K(anna));
    const std::string b = Text("SELECT strPerson FROM KursnotificationItem WHERE lPersonID = " + K(beat));
    const std::string first = a < b ? a : b, second = a < b ? b : a;
    EXPECT_EQ(de.Body(), "Guten Tag\r\n\r\n\r\nGK, GK Kurs\r\nHerbst (01.09.2031)\r\n" + rule + "\r\n" + first +
                             " wurde neu hinzugefügt, aktueller Status: Angemeldet\r\n" + second +
                             " wurde neu hinzugefügt, aktueller Status: Angemeldet\r\n\r\nFreundliche Grüsse\r\n");
    const auto& fr = mails[1];
    EXPECT_EQ(fr.recipients, (std::vector<std::string>{"fr@fw-nord.ch", "cdt@fw-nord.ch", "kurse@fw.ch", "archiv@fw.ch",
                                                       "stab@fw.ch"}));
    EXPECT_EQ(fr.Header("Subject"), "Avis FW Nord");
    EXPECT_EQ(fr.Body().substr(0, 9), "Bonjour\r\n") << "the French header, the template's own footer";
    EXPECT_NE(fr.Body().find(first + " nouveau, statut actuel: Inscrit"), std::string::npos);
    EXPECT_NE(fr.Body().find("Freundliche Grüsse"), std::string::npos);
    EXPECT_EQ(Sent(mandantNote), "1");
    EXPECT_EQ(Int("SELECT count(*) FROM Kursnotification WHERE lPersonID <> -1 AND dtSent = '1899-12-30 00:00:00'"), 3)
        << "the instructors' notifications were not selected";
}

TEST_F(NotificationTest, AServerThatCannotBeReachedOrRefusesLeavesTheNotificationUnsentWithAMessage) {
    struct Case {
        const char* what;
        std::function<void()> arrange;
        std::wstring message;
    };
    const Case cases[] = {
        {"unreachable", [] { SetServer(ClosedPort()); }, L"onnect"},
        {"silent after the data", [this] { smtp.SilentAfterData(true); },
         L"Timeout: the mail server smtp://127.0.0.1:" + std::to_wstring(smtp.Port()) + L" did not answer within 5 s"},
        {"recipient refused", [this] { smtp.Refuse("de@fw-nord.ch"); }, L"550 5.1.1"},
        {"sender refused", [this] { smtp.RefuseSender("553 5.7.1 Sender address rejected"); }, L"553 5.7.1"},
        {"no server set",
         [] { CQvRegistry::SetValue(L"Software\\Qovaro\\NQ2\\Mail", L"SmtpServer", L"", HKEY_LOCAL_MACHINE); },
         L"kein Mailserver eingerichtet, es wurde nichts gesendet.\nDer Mailserver wird unter "
         L"HKEY_LOCAL_MACHINE\\Software\\Qovaro\\NQ2\\Mail"},
    };
    Book(AddPerson("Amsler"));
    for (const auto& c : cases) {
        SetServer(smtp.Port());
        c.arrange();
        Run([&](CNotificationDlg& dlg) {
            SelectTemplate(dlg);
            ASSERT_TRUE(SelectRow(dlg.m_listMandant.GetSafeHwnd(), 0));
            script.ExpectReport();
            ASSERT_TRUE(Click(dlg.GetSafeHwnd(), IDC_NOTIF_SEND));
        });
        EXPECT_EQ(Text("SELECT count(*) FROM Kursnotification WHERE dtSent = '1899-12-30 00:00:00'"), "1") << c.what;
        const auto reports = script.Log().Records(qv::InteractionKind::Report);
        ASSERT_FALSE(reports.empty()) << c.what;
        EXPECT_EQ(reports.back().caption, L"CNotificationDlg::MailMandant") << c.what;
        EXPECT_NE(reports.back().text.find(c.message), std::wstring::npos) << W2U(reports.back().text);
        smtp.SilentAfterData(false);
    }
    EXPECT_TRUE(smtp.Mails().empty());
}

TEST_F(NotificationTest, WithoutReceiversOneMailGoesToTheLeadersAndWithoutAnyAddressNothingIsMarkedSent) {
    Sql("DELETE FROM VIPPersonMandant");
    Book(AddPerson("Amsler"));
    options.Set(-1060, L"EntSendEMailNotificationToLeiter", 0L);
    Run([&](CNotificationDlg& dlg) {
        ASSERT_TRUE(SelectRow(dlg.m_listMandant.GetSafeHwnd(), 0));
        ASSERT_TRUE(Click(dlg.GetSafeHwnd(), IDC_NOTIF_SEND));
    });
    EXPECT_TRUE(smtp.Mails().empty()) << "nobody to send to";
    EXPECT_EQ(Text("SELECT count(*) FROM Kursnotification WHERE dtSent = '1899-12-30 00:00:00'"), "1");

    // Leaders in French only: they get the one mail in copy, without a template the lines alone.
    options.Set(-1060, L"EntSendEMailNotificationToLeiter", 1L);
    const long leiter = Mailbox("Leiter", "Luc", "luc@fw.ch", "Français");
    CVRQKurs booking;
    long reg = 0;
    EPersonKursStatus status = ePersonKursStatusAngemeldet;
    ASSERT_EQ(booking.AddInstruktorToKurs(leiter, kurs, run, 2031, -1, reg, status), S_OK);
    Sql("UPDATE PersonKurs SET fLeiter = 1 WHERE lPersonKursID = " + K(reg));
    Run([&](CNotificationDlg& dlg) {
        ASSERT_TRUE(SelectRow(dlg.m_listMandant.GetSafeHwnd(), 0));
        ASSERT_TRUE(Click(dlg.GetSafeHwnd(), IDC_NOTIF_SEND));
    });
    const auto mails = smtp.Mails();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].recipients, std::vector<std::string>{"luc@fw.ch"});
    EXPECT_EQ(mails[0].Body().substr(0, 4), "\r\n\r\n");
    EXPECT_EQ(Text("SELECT count(*) FROM Kursnotification WHERE lPersonID = -1 AND dtSent = '1899-12-30 00:00:00'"), "0");
}

TEST_F(NotificationTest, AnInstructorGetsHisOwnNotificationWithHisNameInTheTemplate) {
    Book(AddPerson("Amsler"));
    const long leiter = Mailbox("Leiter", "Lea", "lea@fw.ch", "Italiano");
    CVRQKurs booking;
    long reg = 0;
    EPersonKursStatus status = ePersonKursStatusAngemeldet;
    ASSERT_EQ(booking.AddInstruktorToKurs(leiter, kurs, run, 2031, -1, reg, status), S_OK);
    const std::string name = Text("SELECT strPerson FROM KursnotificationItem WHERE lPersonID = " + K(leiter));
    Sql("INSERT INTO QvLabel (lQvLabelID, lQvLanguageID, lFkID, strName, strLabel) VALUES "
        "(503, 3, 7, 'KursnotificationMailtemplate_Footer', 'Cordiali saluti')");
    Run([&](CNotificationDlg& dlg) {
        ASSERT_TRUE(ClickTab(dlg.m_tabCtrl.GetSafeHwnd(), 1));
        SelectTemplate(dlg);
        HWND instruktoren = dlg.m_listInstruktor.GetSafeHwnd();
        ASSERT_EQ(Rows(instruktoren), 1);
        ASSERT_TRUE(SelectRow(instruktoren, 0));
        ASSERT_TRUE(Click(dlg.GetSafeHwnd(), IDC_NOTIF_SEND));
        EXPECT_EQ(CellTextColor(instruktoren, 0, 1), RGB(128, 128, 128));
        // Deleted on this tab, the instructor's notification goes; the Mandant's stays.
        ASSERT_TRUE(SelectRow(instruktoren, 0));
        script.ExpectMessageBox(IDYES, L"wirklich löschen");
        ASSERT_TRUE(Click(dlg.GetSafeHwnd(), IDC_NOTIF_DELETE));
        EXPECT_EQ(Rows(instruktoren), 0);
    });
    EXPECT_EQ(Int("SELECT count(*) FROM Kursnotification WHERE lPersonID = -1"), 1);
    const auto mails = smtp.Mails();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].recipients, (std::vector<std::string>{"lea@fw.ch", "kurse@fw.ch", "archiv@fw.ch"}));
    EXPECT_EQ(mails[0].Header("Subject"), "Kursmeldung FW Nord" + name + " <mandant>");
    EXPECT_NE(mails[0].Body().find(name + " nuovo, stato attuale: Iscritto"), std::string::npos) << mails[0].Body();
    EXPECT_NE(mails[0].Body().find("Cordiali saluti"), std::string::npos) << "the Italian footer";
    // A Mandant's Italian receiver gets the Mandant's mail in his language.
    Receiver("Rossi", "Cdt", "it@fw-nord.ch", "Italiano");
    Run([&](CNotificationDlg& dlg) {
        ASSERT_TRUE(SelectRow(dlg.m_listMandant.GetSafeHwnd(), 0));
        ASSERT_TRUE(Click(dlg.GetSafeHwnd(), IDC_NOTIF_SEND));
    });
    ASSERT_EQ(smtp.Mails().size(), 4u);
    EXPECT_EQ(smtp.Mails()[3].Header("To"), "it@fw-nord.ch");
}

TEST_F(NotificationTest, ItemLinesFollowTheRunsAndKindsInTheRecipientsLanguage) {
    Sql("INSERT INTO Kursnotification (lKursnotificationID, lMandantID, lPersonID) VALUES (5, " + K(mandant) + ", -1)");
    Sql("INSERT INTO KursnotificationItem (lKursnotificationID, strPerson, strKurs, strKursinstanz, lArt, lStatus) "
        "VALUES (5, 'Amsler Anna', 'GK', 'B-Lauf', 1, 0), (5, 'Brunner Beat', 'GK', 'B-Lauf', 2, 1), "
        "(5, 'Caflisch Carla', 'GK', 'B-Lauf', 3, 0), (5, 'Dubois Dora', 'GK', 'A-Lauf', 4, 0)");
    const std::wstring rule(81, L'-');
    struct Case {
        const wchar_t* language;
        long multi;
        std::wstring lines;
    };
    const Case cases[] = {
        {L"IT", 1,
         L"\r\n\r\nGK\r\nA-Lauf\r\n" + rule + L"\r\nDubois Dora eliminato\r\n\r\n\r\nGK\r\nB-Lauf\r\n" + rule +
             L"\r\n\r\nAmsler Anna nuovo, stato attuale: Iscritto\r\n\r\nBrunner Beat modificato, stato attuale: "
             L"Frequentato/Superato\r\n\r\nCaflisch Carla eliminato\r\n"},
        {L"FR", 1, L"Brunner Beat modifié, statut actuel: Fréquenté/Réussi"},
        {L"DE", 0, L"Brunner Beat wurde geändert, aktueller Status: Besucht/Bestanden"},
    };
    for (const auto& c : cases) {
        options.Set(-1060, L"EntNotificationMultilanguage", c.multi);
        CString lines;
        ASSERT_EQ(CNotificationDlg::BuildNotificationLines(5, c.language, &lines), S_OK);
        if (c.lines.substr(0, 2) == L"\r\n") EXPECT_EQ(std::wstring(lines), c.lines) << W2U(c.language);
        else EXPECT_NE(std::wstring(lines).find(c.lines), std::wstring::npos) << W2U(std::wstring(lines));
    }
}

TEST_F(NotificationTest, TemplatesAreCopiedWithTheirTranslationsDeletedWithoutQuestionAndNotificationsAfterOne) {
    Book(AddPerson("Amsler"));
    Run([&](CNotificationDlg& dlg) {
        HWND wnd = dlg.GetSafeHwnd();
        HWND templates = dlg.m_listTemplate.GetSafeHwnd();
        SelectTemplate(dlg);
        // A copy whose translations cannot be written leaves nothing, and says why.
        Sql("CREATE TRIGGER refuse BEFORE INSERT ON QvLabel BEGIN SELECT RAISE(ABORT, 'refused'); END");
        script.ExpectReport(L"refused").ExpectReport(L"Unspecified error");
        ASSERT_TRUE(Click(wnd, IDC_NOTIF_TEMPLATE_COPY));
        EXPECT_EQ(Int("SELECT count(*) FROM KursnotificationMailtemplate"), 1);
        Sql("DROP TRIGGER refuse");
        ASSERT_TRUE(Click(wnd, IDC_NOTIF_TEMPLATE_COPY));
        ASSERT_EQ(Rows(templates), 2);
        long chosen = 0;
        EXPECT_TRUE(NQ_GetSelectedParamValue(&dlg.m_listTemplate, 0, chosen)) << "the list read again keeps the choice";
        EXPECT_EQ(chosen, 7);
        const long copy = static_cast<long>(Int("SELECT max(lKursnotificationMailtemplateID) FROM KursnotificationMailtemplate"));
        EXPECT_EQ(Text("SELECT strName || '|' || strSubject || '|' || strCC FROM KursnotificationMailtemplate WHERE "
                       "lKursnotificationMailtemplateID = " + K(copy)),
                  "Standard|Kursmeldung <MANDANT><PERSON> <mandant>|kurse@fw.ch");
        EXPECT_EQ(Int("SELECT count(*) FROM QvLabel WHERE lFkID = " + K(copy)), 2);
        EXPECT_EQ(Int("SELECT count(*) FROM QvLabel WHERE lFkID = 7"), 2) << "the source keeps its own";
        ASSERT_TRUE(SelectRow(templates, 1));
        ASSERT_TRUE(Click(wnd, IDC_NOTIF_TEMPLATE_DELETE));
        EXPECT_EQ(Rows(templates), 1);
        EXPECT_EQ(Int("SELECT count(*) FROM KursnotificationMailtemplate"), 1);

        HWND mandanten = dlg.m_listMandant.GetSafeHwnd();
        ASSERT_TRUE(SelectRow(mandanten, 0));
        script.ExpectMessageBox(IDNO, L"wirklich löschen");
        ASSERT_TRUE(Click(wnd, IDC_NOTIF_DELETE));
        EXPECT_EQ(Int("SELECT count(*) FROM Kursnotification"), 1);
        script.ExpectMessageBox(IDYES, L"wirklich löschen");
        ASSERT_TRUE(Click(wnd, IDC_NOTIF_DELETE));
        EXPECT_EQ(Int("SELECT count(*) FROM Kursnotification"), 0);
        EXPECT_EQ(Rows(mandanten), 0);
    });
}

TEST_F(NotificationTest, TheTemplateEditorInsertsOnceKeepsQuotesAndTheDialogRemembersATemplatePerTab) {
    options.Set(-1060, L"NotificationSubject", std::wstring(L"Kursänderungen"));
    Sql("INSERT INTO KursnotificationMailtemplate (lKursnotificationMailtemplateID, strName, strSubject, strHeader, "
        "strFooter, strCC, strBCC) VALUES (8, 'Kurz', 'Betreff', 'Kopf', 'Fuss', 'cc@fw.ch', 'bcc@fw.ch')");
    Run([&](CNotificationDlg& dlg) {
        HWND wnd = dlg.GetSafeHwnd();
        script.ExpectModal(IDD_MAILTEMPLATE, [&](qv::IModalDialog& modal) {
            auto& editor = dynamic_cast<CMailtemplateDlg&>(modal);
            HWND e = editor.GetSafeHwnd();
            EXPECT_EQ(qv::ui::test::Text(qv::ui::test::Item(e, IDC_MAILTEMPLATE_SUBJECT)), L"Kursänderungen");
            EXPECT_FALSE(ToolTip(qv::ui::test::Item(e, IDC_MAILTEMPLATE_LABEL)).empty()) << "the translations button";
            Retype(qv::ui::test::Item(e, IDC_MAILTEMPLATE_NAME), L"Meldung d'été");
            Retype(qv::ui::test::Item(e, IDC_MAILTEMPLATE_SUBJECT), L"Kursänderungen d'été");
            Retype(qv::ui::test::Item(e, IDC_MAILTEMPLATE_CC), L"kopie@fw.ch");
            Retype(qv::ui::test::Item(e, IDC_MAILTEMPLATE_BCC), L"blind@fw.ch");
            // The translations need the row: the first press inserts it, the second does not again.
            script.ExpectModal(0, [](qv::IModalDialog& labels) { labels.EndModal(IDCANCEL); });
            ASSERT_TRUE(Click(e, IDC_MAILTEMPLATE_LABEL));
            const long id = editor.lKursnotificationMailtemplateID;
            EXPECT_NE(id, 0);
            EXPECT_EQ(Text("SELECT strCC || '|' || strBCC FROM KursnotificationMailtemplate WHERE "
                           "lKursnotificationMailtemplateID = " + K(id)),
                      "kopie@fw.ch|blind@fw.ch");
            Retype(qv::ui::test::Item(e, IDC_MAILTEMPLATE_BCC), L"geheim@fw.ch");
            script.ExpectModal(0, [](qv::IModalDialog& labels) {
                int multi = 0;  // the header and the footer take several lines, the subject one
                for (HWND w = ::GetWindow(dynamic_cast<CWnd&>(labels).GetSafeHwnd(), GW_CHILD); w; w = ::GetWindow(w, GW_HWNDNEXT))
                    multi += (::GetWindowLongW(w, GWL_STYLE) & (ES_MULTILINE | WS_VSCROLL)) == (ES_MULTILINE | WS_VSCROLL);
                EXPECT_EQ(multi, 2);
                labels.EndModal(IDCANCEL);
            });
            ASSERT_TRUE(Click(e, IDC_MAILTEMPLATE_LABEL));
            EXPECT_EQ(editor.lKursnotificationMailtemplateID, id);
            Retype(qv::ui::test::Item(e, IDC_MAILTEMPLATE_HEADER), L"Zeile 1\r\nZeile 2");
            Screen(e, "mailtemplatedlg");
            Click(e, IDOK);
        });
        // Sorted by name, the list keeps its order when it is read again.
        ASSERT_TRUE(ClickColumnHeader(dlg.m_listTemplate.GetSafeHwnd(), 0));
        ASSERT_TRUE(Click(wnd, IDC_NOTIF_TEMPLATE_NEW));
        ASSERT_EQ(Rows(dlg.m_listTemplate.GetSafeHwnd()), 3);
        for (const auto& [row, name] : {std::pair{0, L"Kurz"}, {1, L"Meldung d'été"}, {2, L"Standard"}})
            EXPECT_EQ(Cell(dlg.m_listTemplate.GetSafeHwnd(), row, 0), name) << row;
        EXPECT_EQ(Int("SELECT count(*) FROM KursnotificationMailtemplate WHERE strName = 'Meldung d''été' AND "
                      "strSubject = 'Kursänderungen d''été' AND strCC = 'kopie@fw.ch' AND strBCC = 'geheim@fw.ch'"),
                  1);

        // A template per tab, chosen again when the tab comes back.
        HWND templates = dlg.m_listTemplate.GetSafeHwnd();
        const int rowKurz = Cell(templates, 0, 0) == L"Kurz" ? 0 : Cell(templates, 1, 0) == L"Kurz" ? 1 : 2;
        const int rowStandard = Cell(templates, 0, 0) == L"Standard" ? 0 : Cell(templates, 1, 0) == L"Standard" ? 1 : 2;
        // A template taken over from the other tab and deselected with Ctrl is no choice of this tab.
        ASSERT_TRUE(SelectRow(templates, rowStandard));
        ASSERT_TRUE(ClickTab(dlg.m_tabCtrl.GetSafeHwnd(), 1));
        ASSERT_TRUE(SelectRow(templates, rowStandard, Qt::ControlModifier));
        EXPECT_FALSE(RowSelected(templates, rowStandard));
        ASSERT_TRUE(ClickTab(dlg.m_tabCtrl.GetSafeHwnd(), 0));
        ASSERT_TRUE(SelectRow(templates, rowKurz));
        ASSERT_TRUE(ClickTab(dlg.m_tabCtrl.GetSafeHwnd(), 1));
        EXPECT_TRUE(RowSelected(templates, rowKurz)) << "the tab has chosen none: the selection stays";
        ASSERT_TRUE(SelectRow(templates, rowStandard));
        ASSERT_TRUE(ClickTab(dlg.m_tabCtrl.GetSafeHwnd(), 0));
        EXPECT_TRUE(RowSelected(templates, rowKurz));
        ASSERT_TRUE(ClickTab(dlg.m_tabCtrl.GetSafeHwnd(), 1));
        EXPECT_TRUE(RowSelected(templates, rowStandard));
        EXPECT_TRUE(Visible(dlg.m_listInstruktor.GetSafeHwnd()));
        EXPECT_FALSE(Visible(dlg.m_listMandant.GetSafeHwnd()));

        // A double click edits a template: its fields are shown, and OK writes them and renames the row.
        script.ExpectModal(IDD_MAILTEMPLATE, [&](qv::IModalDialog& modal) {
            HWND e = dynamic_cast<CMailtemplateDlg&>(modal).GetSafeHwnd();
            std::wstring shown;
            for (int id : {IDC_MAILTEMPLATE_NAME, IDC_MAILTEMPLATE_SUBJECT, IDC_MAILTEMPLATE_HEADER,
                           IDC_MAILTEMPLATE_FOOTER, IDC_MAILTEMPLATE_CC, IDC_MAILTEMPLATE_BCC})
                shown += qv::ui::test::Text(qv::ui::test::Item(e, id)) + L"|";
            EXPECT_EQ(shown, L"Kurz|Betreff|Kopf|Fuss|cc@fw.ch|bcc@fw.ch|");
            // The fields take no more than their columns hold.
            for (const auto& [id, limit] : {std::pair{IDC_MAILTEMPLATE_SUBJECT, 254}, {IDC_MAILTEMPLATE_FOOTER, 2048}})
                EXPECT_EQ(::SendMessage(qv::ui::test::Item(e, id), EM_GETLIMITTEXT, 0, 0), limit) << id;
            Retype(qv::ui::test::Item(e, IDC_MAILTEMPLATE_NAME), L"Knapp");
            Click(e, IDOK);
        });
        ASSERT_TRUE(DoubleClickRow(templates, rowKurz));
        EXPECT_EQ(Text("SELECT strName || strSubject FROM KursnotificationMailtemplate WHERE "
                       "lKursnotificationMailtemplateID = 8"), "KnappBetreff");
        EXPECT_EQ(Cell(templates, 0, 0), L"Knapp");
    });
}

TEST_F(NotificationTest, RightsHideTheInstructorTabsControlsAndWithoutSendRightNothingGoesOut) {
    security.Answer(kSecFunctions[1], L"", 0);
    security.Answer(kSecFunctions[0], L"", 0x501);
    Book(AddPerson("Amsler"));
    Run([&](CNotificationDlg& dlg) {
        HWND wnd = dlg.GetSafeHwnd();
        ASSERT_TRUE(SelectRow(dlg.m_listMandant.GetSafeHwnd(), 0));
        EXPECT_FALSE(Enabled(qv::ui::test::Item(wnd, IDC_NOTIF_SEND)));
        EXPECT_TRUE(Enabled(qv::ui::test::Item(wnd, IDC_NOTIF_DELETE)));
        ASSERT_TRUE(ClickTab(dlg.m_tabCtrl.GetSafeHwnd(), 1));
        EXPECT_FALSE(Visible(dlg.m_listInstruktor.GetSafeHwnd()));
        EXPECT_FALSE(Visible(qv::ui::test::Item(wnd, IDC_NOTIF_SEND)));
        EXPECT_FALSE(Visible(qv::ui::test::Item(wnd, IDC_NOTIF_DELETE)));
        EXPECT_TRUE(Visible(dlg.m_listTemplate.GetSafeHwnd()));
    });
}

TEST_F(NotificationTest, TheCourseWindowOffersTheNotificationsAndQuotasInTheCentralInstallationOnly) {
    Book(AddPerson("Amsler"));
    CQvRegistry::SetValue(L"Software\\Qovaro\\NQ2\\Common", L"ActMandantID", mandant);
    OpenView();
    ASSERT_NE(Dlg()->GetRecordID(), 0);
    script.ExpectModal(IDD_NOTIFICATION, [&](qv::IModalDialog& modal) {
        EXPECT_EQ(Rows(dynamic_cast<CNotificationDlg&>(modal).m_listMandant.GetSafeHwnd()), 1);
        modal.EndModal(IDCANCEL);
    });
    Action(ID_KURS_NOTIFICATION);
    const auto offered = LastPopupMenuItems();
    EXPECT_NE(std::find(offered.begin(), offered.end(), std::wstring(L"Kursanmeldeänderungen anzeigen und senden...")),
              offered.end());
    script.ExpectModal(IDD_MAXTEILNEHMER, [&](qv::IModalDialog& modal) {
        auto& dlg = dynamic_cast<CMaxTeilnehmerDlg&>(modal);
        EXPECT_EQ(dlg.m_lKursID, Dlg()->GetRecordID());
        EXPECT_EQ(dlg.m_lMandantID, mandant);
        EXPECT_EQ(dlg.m_nMode, 0);
        // The courses of an area: the area is asked for first.
        script.ExpectModal(IDD_SEARCHPOPUP, [](qv::IModalDialog& search) { search.EndModal(IDCANCEL); });
        Click(qv::ui::test::Item(dlg.GetSafeHwnd(), IDC_MAXTEILNEHMER_MODE_AREAKURS));
        modal.EndModal(IDCANCEL);
    });
    qvtest::ScopedRunningServer areas(L"Qovaro.NQ2.AreaMngmtView", &startup);
    Action(ID_KURS_MAXTEILNEHMER);

    qv::nq::SetEnterpriseEdition(false);
    Action(0);
    const auto items = LastPopupMenuItems();
    EXPECT_EQ(std::find(items.begin(), items.end(), std::wstring(L"Kursanmeldeänderungen anzeigen und senden...")),
              items.end());
}

}  // namespace
}  // namespace kurstest
