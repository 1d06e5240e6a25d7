// Demo data: places, Mandanten, ranks, functions, persons with their contacts, e-mail devices,
// functions and absences.
#include "demomodel.h"
#include "demonames.h"

#include <algorithm>
#include <cstdio>

namespace qv::suite::demo {

namespace {

// Lower-case ASCII for e-mail addresses: umlauts spelled out, accents dropped, everything that is
// not a letter or digit left out.
std::string MailPart(const std::string& s) {
    static const struct {
        const char* utf8;
        const char* ascii;
    } kMap[] = {{"ä", "ae"}, {"ö", "oe"}, {"ü", "ue"}, {"Ä", "ae"}, {"Ö", "oe"}, {"Ü", "ue"}, {"é", "e"},
                {"è", "e"},  {"ê", "e"},  {"ë", "e"},  {"ï", "i"},  {"ô", "o"},  {"à", "a"},  {"ç", "c"}};
    std::string out;
    for (std::size_t i = 0; i < s.size();) {
        bool mapped = false;
        for (const auto& m : kMap) {
            const std::string_view u(m.utf8);
            if (s.compare(i, u.size(), u) == 0) {
                out += m.ascii;
                i += u.size();
                mapped = true;
                break;
            }
        }
        if (mapped) continue;
        const unsigned char c = static_cast<unsigned char>(s[i++]);
        if (c >= 'A' && c <= 'Z') out += char(c - 'A' + 'a');
        else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) out += char(c);
    }
    return out;
}

std::string Phone(Rng& rng, const char* prefix) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%s %03d %02d %02d", prefix, rng.Range(200, 989), rng.Range(0, 99), rng.Range(0, 99));
    return buf;
}

struct Draft {
    int mandant;
    std::string name, vorname, sprache, adresse, personNr;
    bool female, active;
    int rank;
    std::int64_t ortId;
    bool mailP, mailG;
    std::string phoneP, phoneG, mobile;
};

std::int64_t PlaceId(const Model& m, int index) { return index < 0 ? 0 : m.places[std::size_t(index)].id; }

}  // namespace

Model::Model(sqlite3* db, unsigned seed, int baseYear, Day today)
    : db(db), rng(0xD3E0DA7Aull ^ (std::uint64_t(seed) << 16) ^ std::uint64_t(baseYear)), year(baseYear),
      now(today) {}

bool Model::HasAttended(int person, int course) const {
    auto it = attended.find(person);
    return it != attended.end() && std::find(it->second.begin(), it->second.end(), course) != it->second.end();
}

void WritePlacesAndPeople(Model& m) {
    Rng& rng = m.rng;
    // The schema's "no place" row gets a GUID at random; the demo's must not depend on the moment.
    Exec(m.db, "UPDATE Ort SET guid = '" + rng.Guid() + "' WHERE lOrtID = 0");

    // Places: one Gemeinde per entry, its main place and sometimes a second one.
    {
        Insert gemeinde(m.db, "Gemeinde", {"lGemeindeID", "guid", "strBezeichnung", "strKanton"});
        Insert ort(m.db, "Ort", {"lOrtID", "guid", "strPLZ", "strOrt", "strZusatz", "lGemeindeID", "lTyp"});
        std::int64_t gid = 0, oid = 0;
        auto add = [&](int canton, const names::Gemeinde* list, int n) {
            for (int i = 0; i < n; ++i) {
                const names::Gemeinde& g = list[i];
                gemeinde.Row(++gid, rng.Guid(), g.name, names::kCantons[canton]);
                ort.Row(++oid, rng.Guid(), g.plz, g.name, "", gid, 1);
                m.places.push_back({oid, g.plz, g.name, canton, i});
                if (*g.village) {
                    ort.Row(++oid, rng.Guid(), g.villagePlz, g.village, "Ortsteil", gid, 2);
                    m.places.push_back({oid, g.villagePlz, g.village, canton, i});
                }
            }
        };
        add(0, names::kGemeindenA, int(std::size(names::kGemeindenA)));
        add(1, names::kGemeindenB, int(std::size(names::kGemeindenB)));
        // The federal city, where no brigade is: a place outside the brigades' cantons to pick in
        // the place combo box. Fixed GUIDs leave the random data of the rest as it was.
        gemeinde.Row(++gid, std::string("0B3E6A51-6C2D-4E0F-9A41-3000BE000001"), "Bern", "BE");
        ort.Row(++oid, std::string("0B3E6A51-6C2D-4E0F-9A41-3000BE000002"), "3000", "Bern", "", gid, 1);
    }

    // Mandanten.
    {
        Insert mandant(m.db, "Mandant", {"lMandantID", "guid", "strMandantName", "strMandantTyp", "lOrtID", "fActive",
                                         "fKursNotification", "imgLogo2", "strLock"});
        std::int64_t id = 0;
        for (const names::Brigade& b : names::kBrigades) {
            MandantRec rec{++id, b.canton, b.domain, {}};
            int seat = -1;
            for (int p = 0; p < int(m.places.size()); ++p) {
                const Place& pl = m.places[std::size_t(p)];
                if (pl.canton != b.canton) continue;
                for (int g : b.gemeinden)
                    if (g == pl.gemeinde) rec.homePlaces.push_back(p);
                if (seat < 0 && pl.gemeinde == b.gemeinde) seat = p;
            }
            // The third brigade does not want notification mails: both settings occur.
            mandant.Row(rec.id, rng.Guid(), b.name, b.typ, PlaceId(m, seat), 1, id != 3, Null{}, "");
            m.mandanten.push_back(std::move(rec));
        }
    }

    // Ranks and functions; the first functions are the leadership roles of courses.
    std::vector<std::int64_t> rankIds;
    {
        Insert grad(m.db, "Grad", {"lGradID", "guid", "strBezeichnung", "strKurzbezeichnung", "strKurzbezeichnungF", "lRang"});
        std::int64_t id = 0;
        for (const names::Rank& r : names::kRanks) {
            grad.Row(++id, rng.Guid(), r.name, r.shortName, r.shortNameF, r.rang);
            rankIds.push_back(id);
        }
        Insert funktion(m.db, "Funktion", {"lFunktionID", "guid", "strBezeichnung", "strKurzbezeichnung"});
        id = 0;
        for (const names::Function& f : names::kFunctions) {
            funktion.Row(++id, rng.Guid(), f.name, f.shortName);
            m.functionIds.push_back(id);
        }
        Insert kursleitung(m.db, "Kursleitung", {"lKursleitungID", "guid", "lFunktionID"});
        for (int r = 0; r < names::kLeadershipRoles; ++r) {
            kursleitung.Row(r + 1, rng.Guid(), m.functionIds[std::size_t(r)]);
            m.roles.push_back({r + 1, m.functionIds[std::size_t(r)]});
        }
        Insert grund(m.db, "Absenzgrund", {"lAbsenzgrundID", "strBezeichnung"});
        id = 0;
        for (const char* a : names::kAbsenceReasons) {
            grund.Row(++id, a);
            m.absenceReasons.push_back(id);
        }
    }

    // Persons, drafted first so that the special ones can be chosen before anything is written.
    std::vector<double> rankWeights;
    for (const names::Rank& r : names::kRanks) rankWeights.push_back(r.weight);
    std::vector<Draft> drafts;
    for (int b = 0; b < int(std::size(names::kBrigades)); ++b) {
        const names::Brigade& brigade = names::kBrigades[b];
        const MandantRec& mandant = m.mandanten[std::size_t(b)];
        for (int n = 1; n <= brigade.members; ++n) {
            Draft d;
            d.mandant = b;
            d.female = rng.Chance(0.22);
            d.vorname = d.female ? rng.Pick(names::kFemaleNames) : rng.Pick(names::kMaleNames);
            d.name = rng.Pick(names::kSurnames);
            d.active = rng.Chance(0.94);
            d.rank = rng.Weighted(rankWeights);
            const double lang = rng.Real();
            d.sprache = brigade.canton == 0 ? (lang < 0.92 ? "DE" : lang < 0.97 ? "FR" : "IT") : (lang < 0.95 ? "DE" : "IT");
            d.adresse = std::string(rng.Pick(names::kStreets)) + " " + std::to_string(rng.Range(1, 120));
            if (rng.Chance(0.05)) d.adresse += char('a' + rng.Range(0, 3));
            char nr[16];
            std::snprintf(nr, sizeof nr, "%d-%04d", b + 1, n);
            d.personNr = nr;
            const double where = rng.Real();
            if (where < 0.02) d.ortId = 0;  // place unknown
            else if (where < 0.88) d.ortId = m.places[std::size_t(rng.Pick(mandant.homePlaces))].id;
            else {
                int p;
                do p = rng.Range(0, int(m.places.size()) - 1);
                while (m.places[std::size_t(p)].canton != mandant.canton);
                d.ortId = m.places[std::size_t(p)].id;
            }
            d.mailP = rng.Chance(0.85);
            d.mailG = rng.Chance(0.25);
            const char* area = brigade.canton == 0 ? "044" : "071";
            d.phoneP = rng.Chance(0.6) ? Phone(rng, area) : "";
            d.phoneG = rng.Chance(0.3) ? Phone(rng, area) : "";
            d.mobile = rng.Chance(0.9) ? Phone(rng, rng.Chance(0.5) ? "079" : "078") : "";
            drafts.push_back(std::move(d));
        }
    }
    // One member with an apostrophe in the name.
    drafts[137].name = names::kApostropheSurname;

    // Specials: per brigade a commander and a training chief (the first brigade's is the
    // administrator); instructors from the upper ranks of every brigade.
    std::vector<std::vector<int>> functionsOf(drafts.size());
    std::vector<int> kommandant, ausbildungschef;
    {
        std::size_t first = 0;
        for (int b = 0; b < int(std::size(names::kBrigades)); ++b) {
            const int count = names::kBrigades[b].members;
            const int k = int(first) + rng.Range(0, count / 2 - 1), a = int(first) + count / 2 + rng.Range(0, count / 2 - 1);
            kommandant.push_back(k);
            ausbildungschef.push_back(a);
            drafts[std::size_t(k)].rank = int(std::size(names::kRanks)) - 1 - rng.Range(0, 1);
            drafts[std::size_t(a)].rank = int(std::size(names::kRanks)) - 2 - rng.Range(0, 1);
            for (int p : {k, a}) {
                drafts[std::size_t(p)].active = true;
                drafts[std::size_t(p)].mailP = true;
                drafts[std::size_t(p)].mailG = true;
            }
            functionsOf[std::size_t(k)].push_back(names::kFunctionKommandant);
            functionsOf[std::size_t(a)].push_back(names::kFunctionAusbildungschef);
            first += std::size_t(count);
        }
    }
    m.adminPerson = ausbildungschef[0];

    // Instructors: 110 active members of rank Korporal and above, the course leader with a
    // security user among them (a member of the second brigade).
    {
        std::vector<int> candidates;
        for (int p = 0; p < int(drafts.size()); ++p)
            if (drafts[std::size_t(p)].active && drafts[std::size_t(p)].rank >= 2 && p != m.adminPerson) candidates.push_back(p);
        rng.Shuffle(candidates);
        candidates.resize(std::min<std::size_t>(candidates.size(), 110));
        std::sort(candidates.begin(), candidates.end());
        m.instructors = candidates;
        for (int p : m.instructors)
            if (drafts[std::size_t(p)].mandant == 1) {
                m.leaderPerson = p;
                break;
            }
    }

    const std::string mailDomain = "mail.example";
    {
        Insert person(m.db, "Person",
                      {"lPersonID", "guid", "lMandantID", "strName", "strVorname", "strPersonNr", "strAdresse1L", "lOrtID",
                       "strSprache", "fWeiblich", "fActive", "lCAktGradID", "lTelefonP", "lTelefonG", "lMobilP", "lMobilG",
                       "lEMailP", "lEMailG", "lPager", "strFaxNr", "strWeb", "strLock"});
        Insert device(m.db, "Device", {"lDeviceID", "guid", "lMandantID", "lPersonID", "lTyp", "strBezeichnung", "strStatus"});
        Insert number(m.db, "Devicenumber", {"lDevicenumberID", "lDeviceID", "lTyp", "strNr"});
        Insert contact(m.db, "Contact",
                       {"lContactID", "guid", "lPersonID", "lOrtID", "strName", "strVorname", "strFirma", "strAdresse1L",
                        "strBemerkung", "strTelefonP", "strTelefonG", "strMobilP", "strMobilG", "strEMailP", "strEMailG",
                        "strFax", "strWeb"});
        std::int64_t deviceId = 0;
        for (std::size_t i = 0; i < drafts.size(); ++i) {
            const Draft& d = drafts[i];
            const std::int64_t id = 1001 + std::int64_t(i);
            const std::int64_t mandantId = m.mandanten[std::size_t(d.mandant)].id;
            const std::string local = MailPart(d.vorname) + "." + MailPart(d.name);
            std::string mailP, mailG;
            std::int64_t devP = -1, devG = -1;
            if (d.mailP) {
                mailP = local + (rng.Chance(0.3) ? std::to_string(rng.Range(1, 99)) : "") + "@" + mailDomain;
                devP = ++deviceId;
                device.Row(devP, rng.Guid(), mandantId, id, 6, "E-Mail privat", "");
                number.Row(devP, devP, 0, mailP);
            }
            if (d.mailG) {
                mailG = local + "@" + m.mandanten[std::size_t(d.mandant)].domain;
                devG = ++deviceId;
                device.Row(devG, rng.Guid(), mandantId, id, 6, "E-Mail Feuerwehr", "");
                number.Row(devG, devG, 0, mailG);
            }
            person.Row(id, rng.Guid(), mandantId, d.name, d.vorname, d.personNr, d.adresse, d.ortId, d.sprache, d.female,
                       d.active, rankIds[std::size_t(d.rank)], -1, -1, -1, -1, devP, devG, -1, "", "", "");
            const std::string guid = rng.Guid();
            contact.Row(std::int64_t(i) + 1, guid, id, d.ortId, d.name, d.vorname, "", d.adresse, "", d.phoneP, d.phoneG,
                        d.mobile, "", mailP, mailG, "", "");
            std::string ortName;
            for (const Place& pl : m.places)
                if (pl.id == d.ortId) ortName = pl.name;
            m.persons.push_back({id, d.mandant, d.name, d.vorname, guid, ortName, d.active, {}});
        }

        // Contacts that are no members: course venues, suppliers, authorities.
        Insert kategorie(m.db, "Kategorie", {"lKategorieID", "strBezeichnung"});
        kategorie.Row(1, "Kursort");
        kategorie.Row(2, "Lieferant");
        kategorie.Row(3, "Behörde");
        Insert kk(m.db, "ContactKategorie", {"lContactKategorieID", "lContactID", "lKategorieID"});
        struct External {
            const char* firma;
            int kategorie;
        };
        static const External kExternal[] = {
            {"Ausbildungszentrum Birmatt", 1},   {"Übungsgelände Chrüzacher", 1},       {"Zivilschutzanlage Thurlingen", 1},
            {"Atemschutz-Service Brändli AG", 2}, {"Schlauchwerkstatt Gossenau GmbH", 2}, {"Leitern & Geräte Näf", 2},
            {"Feuerwehrinspektorat Kanton ZH", 3}, {"Feuerwehrinspektorat Kanton SG", 3}, {"Gemeindeverwaltung Seldorf", 3},
        };
        std::int64_t cid = std::int64_t(drafts.size()), kid = 0;
        for (const External& e : kExternal) {
            const Place& pl = m.places[std::size_t(rng.Range(0, int(m.places.size()) - 1))];
            const std::string adresse = std::string(rng.Pick(names::kStreets)) + " " + std::to_string(rng.Range(1, 60));
            contact.Row(++cid, rng.Guid(), -1, pl.id, rng.Pick(names::kSurnames), rng.Pick(names::kMaleNames), e.firma,
                        adresse, "", "", Phone(rng, pl.canton == 0 ? "044" : "071"), "", "", "",
                        "info@" + MailPart(e.firma).substr(0, 16) + ".example", "", "");
            kk.Row(++kid, cid, e.kategorie);
        }
    }

    // Functions held: leadership roles of the instructors, the commanders and training chiefs,
    // and ordinary functions of the members, a few of them ended.
    {
        for (std::size_t k = 0; k < m.instructors.size(); ++k) {
            const int p = m.instructors[k];
            std::vector<int>& roles = m.persons[std::size_t(p)].roles;
            if (p == m.leaderPerson || rng.Chance(0.35)) roles.push_back(0);
            if (p == m.leaderPerson || rng.Chance(0.6)) roles.push_back(1);
            if (rng.Chance(0.6)) roles.push_back(2);
            if (rng.Chance(0.1)) roles.push_back(3);
            if (roles.empty()) roles.push_back(1 + rng.Range(0, 1));
            for (int r : roles) functionsOf[std::size_t(p)].push_back(r);
        }
        Insert pf(m.db, "PersonFunktion",
                  {"lPersonFunktionID", "lPersonID", "lFunktionID", "dtStart", "dtEnde", "fActive", "fHauptFunktion"});
        std::int64_t id = 0;
        const int ordinary[] = {7, 8, 9, 10, 11};
        for (std::size_t p = 0; p < drafts.size(); ++p) {
            std::vector<int>& fs = functionsOf[p];
            if (fs.empty() && rng.Chance(0.3)) fs.push_back(rng.Pick(ordinary));
            bool main = true;
            for (int f : fs) {
                // Roles begin well before the earliest run, so the instructor search finds them.
                const Day start = Day::Of(m.year - rng.Range(3, 14), rng.Range(1, 12), 1);
                pf.Row(++id, m.persons[p].id, m.functionIds[std::size_t(f)], start.At(0), kNoDate, 1,
                       main && f >= names::kLeadershipRoles);
                main = false;
            }
            if (rng.Chance(0.03)) {  // a function given up
                const Day start = Day::Of(m.year - rng.Range(8, 14), rng.Range(1, 12), 1);
                const Day end = Day::Of(m.year - rng.Range(1, 6), rng.Range(1, 12), 28);
                pf.Row(++id, m.persons[p].id, m.functionIds[std::size_t(rng.Pick(ordinary))], start.At(0), end.At(0), 0, 0);
            }
        }
        // Vice commanders.
        for (std::size_t b = 0; b < m.mandanten.size(); ++b) {
            int p;
            do p = rng.Range(0, int(drafts.size()) - 1);
            while (drafts[std::size_t(p)].mandant != int(b) || !drafts[std::size_t(p)].active || p == kommandant[b]);
            pf.Row(++id, m.persons[std::size_t(p)].id, m.functionIds[5], Day::Of(m.year - 4, 1, 1).At(0), kNoDate, 1, 1);
        }
    }

    // Roles that receive the notification mails of their Mandant.
    {
        Insert vip(m.db, "VIP", {"lVIPID", "strBezeichnung", "fKursNotificationReceiver"});
        vip.Row(1, "Ausbildungschef", 1);
        vip.Row(2, "Kommandant", 0);
        vip.Row(3, "Kursverantwortlicher", 1);
        Insert vpm(m.db, "VIPPersonMandant", {"lVIPPersonMandantID", "lVIPID", "lPersonID", "lMandantID"});
        std::int64_t id = 0;
        for (std::size_t b = 0; b < m.mandanten.size(); ++b) {
            vpm.Row(++id, 1, m.persons[std::size_t(ausbildungschef[b])].id, m.mandanten[b].id);
            vpm.Row(++id, 2, m.persons[std::size_t(kommandant[b])].id, m.mandanten[b].id);
        }
        vpm.Row(++id, 3, m.persons[std::size_t(m.leaderPerson)].id, m.mandanten[1].id);
    }

    // Absences, spread over the three years of runs.
    {
        Insert absenz(m.db, "Personabsenz",
                      {"lPersonabsenzID", "lPersonID", "lAbsenzgrundID", "dtStart", "dtEnde", "strBemerkung"});
        static const int kLength[][2] = {{7, 21}, {2, 14}, {10, 40}, {14, 25}, {1, 5}, {1, 3}};
        const Day first = Day::Of(m.year - 1, 1, 1);
        const int span = Day::Of(m.year + 1, 12, 1) - first;
        for (int id = 1; id <= 260; ++id) {
            const int p = rng.Range(0, int(m.persons.size()) - 1);
            const int reason = rng.Range(0, int(std::size(names::kAbsenceReasons)) - 1);
            const Day start = first + rng.Range(0, span);
            const int length = rng.Range(kLength[reason][0], kLength[reason][1]);
            // A single day may be given without an end.
            const std::string end = length == 1 && rng.Chance(0.5) ? std::string(kNoDate) : (start + (length - 1)).At(0);
            absenz.Row(id, m.persons[std::size_t(p)].id, m.absenceReasons[std::size_t(reason)], start.At(0), end,
                       rng.Chance(0.2) ? "Gemeldet per Telefon" : "");
        }
    }
}

}  // namespace qv::suite::demo
