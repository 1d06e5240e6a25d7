// Demo data: the security users with their rights rows, the settings of the data exchange, mail
// templates with translations, and the report profiles.
#include "demomodel.h"
#include "suitedb.h"

#include <array>
#include <set>

namespace qv::suite::demo {

namespace {

// Rights masks are 32-bit values; the database keeps them as signed integers.
std::int64_t Mask(std::uint32_t bits) { return std::int32_t(bits); }

// The table ids that the searches and record windows check against SecMandant ("0" is what the
// course module passes for the Mandant search).
const int kTableIds[] = {0, 4, 6, 7, 20, 33, 39, 42, 45, 54, 57, 70, 71, 149};

}  // namespace

void WriteSecurity(Model& m) {
    Insert user(m.db, "QvSecUser", {"lQvSecUserID", "strUserID", "strName"});
    user.Row(kAdminUser, m.persons[std::size_t(m.adminPerson)].contactGuid, "Administrator");
    user.Row(kLeaderUser, m.persons[std::size_t(m.leaderPerson)].contactGuid, "Kursleiter");
    // Their roles and the security server's tables, as its first start makes them: a user can be
    // added before the program has opened the database.
    Exec(m.db, std::string(SecurityTablesSql()));
    Exec(m.db, std::string(SecurityRolesSql()));

    // The administrator may do everything everywhere; the course leader reads the members of
    // every brigade and changes those of his own.
    Insert secMandant(m.db, "SecMandant", {"lSecMandantID", "lMandantID", "lTableID", "lQvSecUserID", "lRight"});
    std::int64_t id = 0;
    for (const MandantRec& mandant : m.mandanten)
        for (int table : kTableIds) secMandant.Row(++id, mandant.id, table, kAdminUser, Mask(0xFFFFFFFFu));
    const int own = m.persons[std::size_t(m.leaderPerson)].mandant;
    for (int b = 0; b < int(m.mandanten.size()); ++b) {
        secMandant.Row(++id, m.mandanten[std::size_t(b)].id, 4, kLeaderUser, Mask(b == own ? 0x101u : 0x1u));
        secMandant.Row(++id, m.mandanten[std::size_t(b)].id, 45, kLeaderUser, Mask(0x1u));
        // He reads the material of every brigade but the groups of his own only.
        secMandant.Row(++id, m.mandanten[std::size_t(b)].id, 20, kLeaderUser, Mask(0x1u));
        if (b == own) {
            secMandant.Row(++id, m.mandanten[std::size_t(b)].id, 39, kLeaderUser, Mask(0x1u));
            secMandant.Row(++id, m.mandanten[std::size_t(b)].id, 42, kLeaderUser, Mask(0x1u));
            secMandant.Row(++id, m.mandanten[std::size_t(b)].id, 33, kLeaderUser, Mask(0x1u));
        }
    }

    // Course rights: the administrator's as a new course and run give them; the course leader
    // reads the courses of the runs he leads, changes and leads those runs and reads the others.
    Insert secKurs(m.db, "SecKurs", {"lSecKursID", "lKursID", "lKursinstanzID", "lQvSecUserID", "lRight", "fValid"});
    id = 0;
    for (const CourseRec& course : m.courses) secKurs.Row(++id, course.id, -1, kAdminUser, Mask(0x88000F01u), 1);
    for (const RunRec& run : m.runs) secKurs.Row(++id, -1, run.id, kAdminUser, Mask(0x88000D01u), 1);
    std::set<int> ledCourses;
    for (const RunRec& run : m.runs)
        if (run.led && run.leader == m.leaderPerson) ledCourses.insert(run.course);
    for (int course : ledCourses) secKurs.Row(++id, m.courses[std::size_t(course)].id, -1, kLeaderUser, Mask(0x10001u), 1);
    for (const RunRec& run : m.runs) {
        if (!ledCourses.count(run.course)) continue;
        const bool leads = run.led && run.leader == m.leaderPerson;
        secKurs.Row(++id, -1, run.id, kLeaderUser, Mask(leads ? 0x10101u : 0x1u), 1);
    }
}

void WriteSettings(Model& m) {
    // Online registration stays off: the demo has no central installation to talk to.
    Exec(m.db,
         "UPDATE DataExchange SET fOnlineKursEnabled = 0, "
         "strOnlineKursURL = 'https://kurse.feuerwehr-ausbildung.example/anmeldung', lDefaultPersonKursStatus = 0, "
         "fSwitchPersonAllowed = 1, fAutoAssignToInstanzAllowed = 1");

    // The course search admits only courses of type 0 until the installation names the others;
    // the demo installation shows federal, cantonal and local courses.
    Exec(m.db, std::string(OptionTableSql()));
    Exec(m.db, "INSERT INTO QvOption (lArea, strName, lQvSecUserID, lType, strValue) VALUES (-4000, 'KursTyp', 0, 8, '" +
                   std::string(kInstallationCourseTypes) + "')");
    Exec(m.db, std::string(InstallationSettingsSql()));

    Insert tmpl(m.db, "KursnotificationMailtemplate",
                {"lKursnotificationMailtemplateID", "strName", "strSubject", "strHeader", "strFooter", "strCC", "strBCC"});
    tmpl.Row(1, "Anmeldungen an die Feuerwehren", "Kursanmeldungen Ihrer Feuerwehr",
             "Guten Tag\r\n\r\nBei den folgenden Kursanmeldungen Ihrer Angehörigen hat sich etwas geändert:",
             "Freundliche Grüsse\r\nKursadministration", "", "kursadmin@feuerwehr-ausbildung.example");
    tmpl.Row(2, "Einsätze der Instruktoren", "Ihre Einsätze als Instruktor",
             "Guten Tag\r\n\r\nIhre Einteilung als Instruktor hat sich geändert:", "Besten Dank für Ihren Einsatz.",
             "ausbildung@feuerwehr-ausbildung.example", "");
    tmpl.Row(3, "Kurzmitteilung", "Änderungen bei Kursanmeldungen", "", "", "", "");

    // Translations of the first template: French complete, Italian the subject only. Built-in
    // labels carry keys below 1.
    Insert label(m.db, "QvLabel", {"lQvLabelID", "lQvLanguageID", "lFkID", "strName", "strLabel"});
    label.Row(1, 2, 1, "KursnotificationMailtemplate_Subject", "Inscriptions aux cours de votre corps");
    label.Row(2, 2, 1, "KursnotificationMailtemplate_Header",
              "Bonjour\r\n\r\nLes inscriptions suivantes de vos membres ont été modifiées :");
    label.Row(3, 2, 1, "KursnotificationMailtemplate_Footer", "Meilleures salutations\r\nAdministration des cours");
    label.Row(4, 3, 1, "KursnotificationMailtemplate_Subject", "Iscrizioni ai corsi del vostro corpo pompieri");

    // The course module's report profile and one of the person administration.
    const std::string personal = m.rng.Guid();
    const std::array<std::string, 3> courseReports{m.rng.Guid(), m.rng.Guid(), m.rng.Guid()};
    Exec(m.db, CourseReportsSql(courseReports));
    Insert profile(m.db, "QvReportServerProfile", {"lQvReportServerProfileID", "guid", "strName"});
    profile.Row(2, personal, "Personal");
    Insert report(m.db, "QvReportServerReport",
                  {"lQvReportServerReportID", "guid", "lQvReportServerProfileID", "strReport", "strLabel", "strHelpID",
                   "strLanguage"});
    report.Row(4, m.rng.Guid(), 2, "Personal_Mitgliederliste", "Mitgliederliste", "PERS_LISTE", "DE");
}

}  // namespace qv::suite::demo
