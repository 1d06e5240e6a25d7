// Demo data: the course catalogue with its preconditions, the runs with their dates, places,
// groups and staff, and the reservations and quotas of the Mandanten.
#include "demomodel.h"
#include "demonames.h"

#include <algorithm>
#include <cmath>

namespace qv::suite::demo {

namespace {

// Indexes into names::kCourses.
enum : int {
    kIK1 = 0, kIK2 = 1, kKDT = 2, kCW = 4, kGK = 8, kAS1 = 9, kAS2 = 10, kMS = 11, kTLF = 12, kGF = 13, kOFF = 14,
    kOEL = 18, kSAN = 19, kFAHR = 20, kHR = 21, kHYD = 22, kINN = 24, kASJ = 25, kABS = 28, kVR = 31, kBEL = 39,
};

struct Item {
    int course;
    int op;  // 1 AND, 2 OR
    int maxYear;
    int lockYear;
};

struct Rule {
    int course;
    int op;  // 0 none, 1 AND, 2 OR, 3 AND NOT
    const char* remark;
    std::vector<Item> items;
};

// Every form of item the precondition check knows: without limits, at most N years old, at least
// M years old, both, and "not within the last M years" (here on the course itself).
const std::vector<Rule>& Rules() {
    static const std::vector<Rule> rules = {
        {kAS1, 0, "", {{kGK, 1, -1, -1}}},
        {kAS2, 0, "Atemschutz Grundkurs höchstens fünf Jahre zurück", {{kAS1, 1, 5, -1}}},
        {kTLF, 0, "", {{kMS, 1, -1, -1}, {kFAHR, 1, -1, -1}}},
        {kGF, 0, "", {{kGK, 1, -1, -1}}},
        {kGF, 1, "Atemschutz oder Maschinist", {{kAS1, 1, -1, -1}, {kMS, 2, -1, -1}}},
        {kOFF, 0, "Gruppenführer seit mindestens einem Jahr", {{kGF, 1, -1, 1}}},
        {kOFF, 3, "Kommandanten brauchen den Offizierskurs nicht mehr", {{kKDT, 1, -1, -1}}},
        {kIK1, 0, "", {{kOFF, 1, -1, -1}, {kGF, 2, 6, 2}}},
        {kIK2, 0, "", {{kIK1, 1, 4, 1}}},
        {kKDT, 0, "", {{kOFF, 1, -1, -1}}},
        {kKDT, 1, "Wiederholung frühestens nach drei Jahren", {{kKDT, 1, 0, 3}}},
        {kHR, 0, "", {{kABS, 1, 3, -1}}},
        {kINN, 0, "", {{kAS1, 1, -1, -1}}},
        {kCW, 0, "", {{kAS1, 1, -1, -1}, {kOEL, 1, -1, -1}}},
    };
    return rules;
}

const char* Tenu(int typ, int course) {
    if (course == kAS1 || course == kAS2 || course == kINN || course == kASJ) return "Einsatztenue mit Atemschutzausrüstung";
    if (typ == 1) return "Dienstanzug";
    return "Arbeitstenue";
}

// The coming weeks in which local runs are open for registration, in days after "now", and how
// many such runs there are at least.
constexpr int kComingFirstDay = 14;
constexpr int kComingLastDay = 120;
constexpr int kComingRuns = 8;

Day NextWeekday(Day d, int weekday) {
    while (d.Weekday() != weekday) d = d + 1;
    return d;
}

}  // namespace

void WriteCourses(Model& m) {
    Rng& rng = m.rng;
    const int nCourses = int(std::size(names::kCourses));

    // Courses.
    {
        Insert kurs(m.db, "Kurs",
                    {"lKursID", "guid", "lTyp", "fActive", "strKurzbezeichnung", "strBezeichnung", "strBemerkung",
                     "dblProzOverbook", "strZielpublikum", "strKursziel", "strTenu", "strMaterial", "fMultiregistration",
                     "strLock", "dtTimestamp"});
        int local = 0;
        for (int i = 0; i < nCourses; ++i) {
            const names::Course& c = names::kCourses[i];
            CourseRec rec;
            rec.id = 101 + i;
            rec.entry = i;
            rec.typ = c.typ;
            rec.active = !(i == kVR || i == kBEL);
            if (c.typ == 3) rec.home = local++ % int(m.mandanten.size());
            rec.multi = i == kHYD || i == kASJ;
            std::string remark;
            if (i == kGK) remark = "Anmeldung über den Ausbildungschef.\r\nAbmeldungen bis 14 Tage vor Kursbeginn.";
            else if (rng.Chance(0.25)) remark = "Verpflegung wird abgegeben.";
            const double overbook = c.typ == 1 ? 0 : rng.Pick({0.0, 0.0, 10.0, 20.0});
            kurs.Row(rec.id, rng.Guid(), c.typ, rec.active, c.shortName, c.name, remark, overbook, c.audience, c.goal,
                     Tenu(c.typ, i), "Persönliche Ausrüstung, Schreibzeug", rec.multi, "",
                     Day::Of(m.year - 3, 11, 2 + i % 20).At(10, 15));
            m.courses.push_back(std::move(rec));
        }
    }

    // Preconditions.
    {
        Insert rule(m.db, "Kursprecondition",
                    {"lKurspreconditionID", "lKursID", "strBemerkung", "lOrder", "lOperator", "dtTimestamp"});
        Insert item(m.db, "KurspreconditionItem",
                    {"lKurspreconditionItemID", "lKurspreconditionID", "lKursID", "lOperator", "lMaxYear", "lLockYear",
                     "dtTimestamp"});
        std::int64_t rid = 0, iid = 0;
        std::vector<int> order(std::size_t(nCourses), 0);
        const std::string stamp = Day::Of(m.year - 3, 12, 1).At(14);
        for (const Rule& r : Rules()) {
            rule.Row(++rid, m.courses[std::size_t(r.course)].id, r.remark, ++order[std::size_t(r.course)], r.op, stamp);
            for (const Item& it : r.items)
                item.Row(++iid, rid, m.courses[std::size_t(it.course)].id, it.op, it.maxYear, it.lockYear, stamp);
            std::vector<int>& pre = m.courses[std::size_t(r.course)].prerequisites;
            if (r.op != 3 && r.items.front().course != r.course) pre.push_back(r.items.front().course);
        }
    }

    // Runs: each active course once a year, the inactive ones only last year; the rest go to the
    // larger courses, which run more often.
    struct Slot {
        int course;
        int year;
    };
    std::vector<Slot> slots;
    for (int i = 0; i < nCourses; ++i)
        for (int y = m.year - 1; y <= m.year + 1; ++y)
            if (m.courses[std::size_t(i)].active || y == m.year - 1) slots.push_back({i, y});
    {
        std::vector<double> weight;
        for (int i = 0; i < nCourses; ++i)
            weight.push_back(m.courses[std::size_t(i)].active ? names::kCourses[i].maxBase * (i == kGK || i == kHYD ? 3.0 : 1.0) : 0);
        while (slots.size() < 150) slots.push_back({rng.Weighted(weight), m.year - 1 + rng.Range(0, 2)});
    }

    for (const Slot& s : slots) {
        const names::Course& c = names::kCourses[s.course];
        RunRec run{};
        run.course = s.course;
        run.year = s.year;
        run.days = c.days;
        // Evening exercises on weekdays, one-day courses on Saturdays, longer ones from Monday.
        const Day from = Day::Of(s.year, 1, 20), to = Day::Of(s.year, 11, 20);
        Day day = from + rng.Range(0, to - from);
        if (c.days < 1) {
            day = NextWeekday(day, rng.Range(0, 3));
            run.startHour = 19;
        } else if (c.days == 1) {
            day = NextWeekday(day, 5);
            run.startHour = 8;
        } else {
            day = NextWeekday(day, 0);
            run.startHour = 8;
        }
        run.day = day;
        run.cancelled = false;
        run.maxTn = std::max(8, c.maxBase + rng.Range(-2, 8));
        run.minInstr = rng.Chance(0.1) ? 0 : c.minInstr;
        run.dtDatum = day.At(run.startHour);
        m.runs.push_back(std::move(run));
    }

    // The runs one books into first: those of local courses in the coming weeks. Where chance left
    // too few there, the nearest later ones are moved into those weeks (local runs last a day at
    // most, so they stay within one year).
    const Day comingFrom = m.now + kComingFirstDay, comingTo = m.now + kComingLastDay;
    auto local = [&](const RunRec& run) {
        const CourseRec& course = m.courses[std::size_t(run.course)];
        return course.typ == 3 && course.active;
    };
    auto inComingWeeks = [&](const RunRec& run) { return local(run) && comingFrom <= run.day && run.day <= comingTo; };
    {
        int coming = int(std::count_if(m.runs.begin(), m.runs.end(), inComingWeeks));
        std::vector<std::size_t> later;
        for (std::size_t i = 0; i < m.runs.size(); ++i)
            if (local(m.runs[i]) && comingTo < m.runs[i].day) later.push_back(i);
        std::stable_sort(later.begin(), later.end(), [&](std::size_t a, std::size_t b) { return m.runs[a].day < m.runs[b].day; });
        for (std::size_t k = 0; k < later.size() && coming < kComingRuns; ++k, ++coming) {
            RunRec& run = m.runs[later[k]];
            Day day = comingFrom + rng.Range(0, comingTo - comingFrom - 6);
            day = NextWeekday(day, run.days < 1 ? rng.Range(0, 3) : 5);
            run.day = day;
            run.year = day.Year();
            run.dtDatum = day.At(run.startHour);
        }
    }
    std::stable_sort(m.runs.begin(), m.runs.end(), [](const RunRec& a, const RunRec& b) {
        return a.day < b.day || (a.day == b.day && a.course < b.course);
    });
    // A few runs were called off, none of those open in the coming weeks.
    for (int n = 0; n < 7;) {
        RunRec& run = m.runs[std::size_t(rng.Range(0, int(m.runs.size()) - 1))];
        if (run.cancelled || inComingWeeks(run)) continue;
        run.cancelled = true;
        ++n;
    }
    // How full they are: the second nearest has a waiting list, every third is nearly full, the
    // others have places free.
    {
        int k = 0;
        for (RunRec& run : m.runs) {
            if (!inComingWeeks(run)) continue;
            run.coming = true;
            if (k == 1) run.participants = run.maxTn + rng.Range(2, 4);
            else if (k % 3 == 2) run.participants = run.maxTn - rng.Range(1, 2);
            else run.participants = int(run.maxTn * (0.25 + 0.4 * rng.Real()));
            ++k;
        }
    }

    // Staff: instructors of the course's brigade for local courses, anyone for the others. The
    // course leader with a security user leads the runs of three cantonal courses.
    for (RunRec& run : m.runs) {
        const CourseRec& course = m.courses[std::size_t(run.course)];
        auto eligible = [&](int p) { return course.home < 0 || m.persons[std::size_t(p)].mandant == course.home; };
        auto holds = [&](int p, int role) {
            const auto& r = m.persons[std::size_t(p)].roles;
            return std::find(r.begin(), r.end(), role) != r.end();
        };
        auto taken = [&](int p) {
            return std::any_of(run.staff.begin(), run.staff.end(), [&](const RunRec::Staff& s) { return s.person == p; });
        };
        int count = run.minInstr + rng.Range(0, 1);
        if (rng.Chance(0.12)) count = std::max(0, run.minInstr - 1);  // short of instructors
        if (count > 0 && !run.cancelled && rng.Chance(0.9)) {
            int leader = -1;
            if (run.course == kAS1 || run.course == kAS2 || run.course == kSAN) leader = m.leaderPerson;
            for (int tries = 0; leader < 0 && tries < 400; ++tries) {
                const int p = rng.Pick(m.instructors);
                if (eligible(p) && holds(p, 0) && p != m.leaderPerson) leader = p;
            }
            if (leader >= 0) {
                run.staff.push_back({leader, 0});
                run.led = true;
                run.leader = leader;
            }
        }
        for (int tries = 0; int(run.staff.size()) < count && tries < 400; ++tries) {
            const int p = rng.Pick(m.instructors);
            if (!eligible(p) || taken(p)) continue;
            const auto& roles = m.persons[std::size_t(p)].roles;
            run.staff.push_back({p, rng.Chance(0.1) ? -1 : rng.Pick(roles)});
        }
    }

    // Registration windows, open state, cancellation and publication, relative to "now".
    Insert kursinstanz(
        m.db, "Kursinstanz",
        {"lKursinstanzID", "lKursID", "guid", "dtDatum", "strBezeichnung", "strBemerkung", "strOrt", "strAdresse",
         "lOrtID", "strTreffpunkt", "strLeitung", "dblDauer", "strTenu", "strParkplatz", "strMaterial", "strZielpublikum",
         "strKursziel", "lMaxTeilnehmer", "lMinInstruktor", "fGeschlossen", "dtAnmeldenVon", "dtAnmeldenBis",
         "dtAbgesagt", "dtPublish", "strLock", "dtTimestamp"});
    Insert date(m.db, "Kursinstanzdate", {"lKursinstanzdateID", "lKursinstanzID", "dtStart", "dtEnde", "dtTimestamp"});
    Insert gruppe(m.db, "KursinstanzGruppe",
                  {"lKursinstanzGruppeID", "lKursinstanzID", "lKursID", "lEinsatzGruppeID", "strBezeichnung",
                   "lMaxTeilnehmer", "dtTimestamp"});
    static const char* kClasses[] = {"Klasse A", "Klasse B", "Klasse C"};
    const int grouped[] = {kGK, kAS1, kGF, kOFF, kIK1};
    auto isGrouped = [&](int course) { return std::find(std::begin(grouped), std::end(grouped), course) != std::end(grouped); };

    std::int64_t groupId = 0;
    // The group templates of the courses taught in classes.
    for (int course : grouped)
        for (int g = 0; g < 3; ++g)
            gruppe.Row(++groupId, -1, m.courses[std::size_t(course)].id, -1, kClasses[g], 0,
                       Day::Of(m.year - 2, 3, 1).At(9));

    std::int64_t dateId = 0;
    std::vector<int> perCourseYear(std::size_t(nCourses) * 3, 0);
    for (std::size_t r = 0; r < m.runs.size(); ++r) {
        RunRec& run = m.runs[r];
        const CourseRec& course = m.courses[std::size_t(run.course)];
        const names::Course& c = names::kCourses[run.course];
        run.id = 201 + std::int64_t(r);

        std::string von(kNoDate), bis(kNoDate), abgesagt(kNoDate), publish(kNoDate);
        run.opensOn = run.day - 90;
        const bool window = run.coming || rng.Chance(0.9);
        Day closesOn = run.day;
        if (run.coming) {
            // Open since a few weeks, until a few days before the run.
            run.opensOn = m.now - rng.Range(3, 40);
            closesOn = run.day - rng.Range(2, 7);
            von = run.opensOn.At(0);
            bis = closesOn.At(23, 59);
            publish = (run.opensOn - 14).At(0);
        } else if (window) {
            run.opensOn = run.day - rng.Range(60, 150);
            closesOn = run.day - rng.Range(7, 28);
            von = run.opensOn.At(0);
            // Some windows are open to the run's day.
            if (rng.Chance(0.1)) closesOn = run.day;
            else bis = closesOn.At(23, 59);
            if (rng.Chance(0.8)) publish = (run.opensOn - 14).At(0);
        }
        if (run.cancelled) {
            abgesagt = (run.day - rng.Range(3, 30)).At(10);
            run.open = false;
        } else if (run.coming) {
            run.open = true;
        } else if (window) {
            run.open = run.opensOn <= m.now && m.now < closesOn && !rng.Chance(0.05);
        } else {
            run.open = !run.Past(m.now) && rng.Chance(0.5);
        }

        const int n = ++perCourseYear[std::size_t(run.course) * 3 + std::size_t(run.year - m.year + 1)];
        const std::string bezeichnung = std::string(c.shortName) + " " + std::to_string(run.year) + "/" + std::to_string(n);

        // The place: local courses at home, the others anywhere; now and then only a name.
        int placeIndex;
        if (course.home >= 0) placeIndex = rng.Pick(m.mandanten[std::size_t(course.home)].homePlaces);
        else placeIndex = rng.Range(0, int(m.places.size()) - 1);
        const Place& place = m.places[std::size_t(placeIndex)];
        const std::string venue = course.home >= 0 ? "Feuerwehrdepot" : rng.Pick(names::kVenues);
        const std::string ort = venue + " " + place.name;
        std::string adresse = std::string(rng.Pick(names::kStreets)) + " " + std::to_string(rng.Range(1, 80));
        if (rng.Chance(0.15)) adresse += "\r\nEingang Nord";
        const std::int64_t ortId = rng.Chance(0.1) ? 0 : place.id;

        std::string leitung;
        if (run.led) {
            const PersonRec& p = m.persons[std::size_t(run.leader)];
            leitung = p.name + " " + p.vorname + (p.ortName.empty() ? "" : ", " + p.ortName);
        }
        run.ort = ort;
        run.leitung = leitung;
        const std::string stamp = (run.opensOn - 30).At(10, 15);
        kursinstanz.Row(run.id, course.id, rng.Guid(), run.dtDatum, bezeichnung, rng.Chance(0.2) ? "Mittagessen im Kurslokal" : "",
                        ort, adresse, ortId, rng.Pick({"Haupteingang", "Vor dem Depot", "Theoriesaal 1. OG"}), leitung,
                        run.days, Tenu(c.typ, run.course), rng.Chance(0.5) ? "Parkplätze beim Werkhof" : "",
                        "Persönliche Ausrüstung, Schreibzeug", c.audience, c.goal, run.maxTn, run.minInstr, !run.open,
                        von, bis, abgesagt, publish, "", stamp);

        // Dates: one evening or half day, or consecutive days.
        const int dayCount = std::max(1, int(std::ceil(run.days)));
        for (int d = 0; d < dayCount; ++d) {
            const Day on = run.day + d;
            const bool evening = run.startHour == 19;
            const std::string start = on.At(run.startHour);
            if (rng.Chance(0.05)) date.Row(++dateId, run.id, start, Null{}, stamp);  // no end time given
            else date.Row(++dateId, run.id, start, on.At(evening ? 22 : 17), stamp);
        }

        // Classes of the larger runs, copied from their course's template.
        if (isGrouped(run.course) && run.maxTn >= 16) {
            const int classes = run.maxTn >= 30 ? 3 : 2;
            for (int g = 0; g < classes; ++g) {
                gruppe.Row(++groupId, run.id, -1, -1, kClasses[g], (run.maxTn + classes - 1) / classes, stamp);
                run.groups.push_back(groupId);
            }
        }
    }

    // Custom fields ("Eigene Daten") of the courses and of the runs, each with a value everywhere.
    {
        Insert type(m.db, "CustFieldType",
                    {"lCFTypeID", "guid", "lTableID", "strBezeichnung", "lOrder", "fUsed4Search", "fPublic"});
        type.Row(1, rng.Guid(), 39, "Kostenstelle", 1, 0, 0);
        type.Row(2, rng.Guid(), 39, "Anerkennung", 2, 0, 1);
        type.Row(3, rng.Guid(), 42, "Verpflegung", 1, 0, 1);
        type.Row(4, rng.Guid(), 42, "Anmeldung an", 2, 0, 0);
        Insert value(m.db, "CustFieldValue", {"lCustFieldValueID", "guid", "lCFTypeID", "lID", "strValue"});
        static const char* kRecognition[] = {"", "Eidgenössisch anerkannt", "Vom Kanton anerkannt",
                                             "Zählt als Übungsbesuch"};
        std::int64_t valueId = 0;
        for (const CourseRec& course : m.courses) {
            value.Row(++valueId, rng.Guid(), 1, course.id, "KST " + std::to_string(4000 + 10 * (course.entry + 1)));
            value.Row(++valueId, rng.Guid(), 2, course.id, kRecognition[course.typ]);
        }
        for (const RunRec& run : m.runs) {
            const CourseRec& course = m.courses[std::size_t(run.course)];
            value.Row(++valueId, rng.Guid(), 3, run.id,
                      run.startHour == 19 ? "Getränke im Depot"
                                          : rng.Pick({"Mittagessen im Kurslokal", "Zwischenverpflegung", "Selbstverpflegung"}));
            value.Row(++valueId, rng.Guid(), 4, run.id,
                      course.home >= 0 ? std::string("Ausbildungschef ") + names::kBrigades[course.home].name
                                       : std::string("kursadmin@feuerwehr-ausbildung.example"));
        }
    }

    // Reservations of places by the Mandanten in federal and cantonal courses, and quotas.
    {
        Insert reservation(m.db, "Kursreservation",
                           {"lKursreservationID", "lMandantID", "lKursID", "lYear", "lAnzahl", "strBemerkung", "dtTimestamp"});
        Insert quota(m.db, "MaxTeilnehmer",
                     {"lMaxTeilnehmerID", "lKursID", "lMandantID", "lYear", "lAnzahl", "strBemerkung", "dtTimestamp"});
        std::int64_t rid = 0, qid = 0;
        for (const MandantRec& mandant : m.mandanten)
            for (const CourseRec& course : m.courses) {
                if (course.typ == 3 || !course.active) continue;
                for (int y = m.year; y <= m.year + 1; ++y)
                    if (rng.Chance(0.25))
                        reservation.Row(++rid, mandant.id, course.id, y, rng.Range(1, 6),
                                        rng.Chance(0.2) ? "Gemäss Ausbildungsplanung" : "",
                                        Day::Of(y - 1, 11, rng.Range(1, 30)).At(9));
                if (course.typ != 2) continue;
                for (int y = m.year - 1; y <= m.year + 1; ++y)
                    if (rng.Chance(0.3))
                        quota.Row(++qid, course.id, mandant.id, y, rng.Range(2, 12), "",
                                  Day::Of(y - 1, 12, rng.Range(1, 20)).At(11));
            }
        // Quotas for every year (0).
        quota.Row(++qid, m.courses[kGK].id, m.mandanten[0].id, 0, 20, "Stehende Regelung", Day::Of(m.year - 3, 1, 5).At(8));
        quota.Row(++qid, m.courses[kAS1].id, m.mandanten[2].id, 0, 6, "Stehende Regelung", Day::Of(m.year - 3, 1, 5).At(8));
    }
}

}  // namespace qv::suite::demo
