// Demo data: 5,000 registrations (PersonKurs). Attended courses of earlier years without a run
// (the history that preconditions look at), the staff and participants of the runs, and planned
// registrations for a course and year without a run. Statuses follow the run's time: attended,
// not attended or failed before "now"; registered, provisional or on the waiting list after.
#include "demomodel.h"
#include "demonames.h"

#include <algorithm>
#include <cmath>

namespace qv::suite::demo {

namespace {

constexpr int kTotal = 5000;
constexpr int kHistory = 500;
constexpr int kPlannedInstructors = 24;
constexpr int kPlannedTarget = 600;

enum Status { kPlanned = 0, kAttended = 1, kAbsent = 2, kWaiting = 3, kWaitingPenalty = 4, kDeregistered = 5, kFailed = 6, kProvisional = 7 };

struct Writer {
    Model& m;
    Insert insert;
    std::int64_t next = 10001;

    explicit Writer(Model& model)
        : m(model),
          insert(model.db, "PersonKurs",
                 {"lPersonKursID", "guid", "lPersonID", "lKursID", "lKursinstanzID", "lKursinstanzGruppeID", "lAbsenzgrundID",
                  "lKursleitungID", "fTeilnehmer", "fLeiter", "fLinked", "lStatus", "dtDatum", "dtAnmeldung", "strBemerkung",
                  "strGrundNichtBestanden", "fEntschuldigt", "strInstanzOrt", "dblInstanzDauer", "strInstanzLeitung",
                  "changedBy", "dtTimestamp"}) {}

    struct Row {
        Row(int person, int course) : person(person), course(course) {}
        int person;
        int course;
        std::int64_t run = -1;
        std::int64_t group = -1;
        std::int64_t absence = -1;
        std::int64_t role = -1;
        bool participant = true;
        bool leader = false;
        int status = kPlanned;
        std::string datum, anmeldung, remark, failReason;
        bool excused = false;
        std::string ort, leitung;
        double dauer = 0;
        std::string stamp;  // empty: the registration time
    };

    void Write(const Row& r) {
        insert.Row(next++, m.rng.Guid(), m.persons[std::size_t(r.person)].id, m.courses[std::size_t(r.course)].id, r.run,
                   r.group, r.absence, r.role, r.participant, r.leader, 0, r.status, r.datum, r.anmeldung, r.remark,
                   r.failReason, r.excused, r.ort, r.dauer, r.leitung, kAdminUser, r.stamp.empty() ? r.anmeldung : r.stamp);
        if (r.participant && r.status == kAttended) m.attended[r.person].push_back(r.course);
    }
    int written() const { return insert.rows(); }
};

// A registration time before "now", within [from, to] where possible.
std::string RegisteredAt(Model& m, Day from, Day to) {
    if (m.now <= to) to = m.now - 1;
    if (to < from) from = to - 30;
    const Day d = from + m.rng.Range(0, to - from);
    return d.At(m.rng.Range(7, 21), m.rng.Range(0, 59), m.rng.Range(0, 59));
}

std::string EndOfYear(int year) { return Day::Of(year, 12, 31).At(0); }

bool Eligible(const Model& m, int person, int course, int year, bool coming) {
    const CourseRec& c = m.courses[std::size_t(course)];
    const PersonRec& p = m.persons[std::size_t(person)];
    if (c.home >= 0 && p.mandant != c.home) return false;
    if (coming && !p.active) return false;
    return c.multi || !m.booked.count(Model::Key(person, course, year));
}

// Anyone who may take the course in that year.
int PickParticipant(Model& m, int course, int year, bool coming) {
    for (int tries = 0; tries < 300; ++tries) {
        const int p = m.rng.Range(0, int(m.persons.size()) - 1);
        if (Eligible(m, p, course, year, coming)) return p;
    }
    return -1;
}

// Persons who attended the course's prerequisite and may take it, in random order: a run takes
// its participants from them first, so most bookings meet the preconditions.
std::vector<int> Qualified(Model& m, int course, int year, bool coming) {
    std::vector<int> out;
    const std::vector<int>& pre = m.courses[std::size_t(course)].prerequisites;
    if (pre.empty()) return out;
    for (int p = 0; p < int(m.persons.size()); ++p)
        if (m.HasAttended(p, pre.front()) && Eligible(m, p, course, year, coming)) out.push_back(p);
    m.rng.Shuffle(out);
    return out;
}

void Book(Model& m, int person, int course, int year) { m.booked.insert(Model::Key(person, course, year)); }

// A registration of a run that took place records the run's place and leader, and the days
// attended: all of them, half of them for one who was there only in part, none for one absent.
void Finish(Writer::Row& r, const RunRec& run) {
    if (r.status != kAttended && r.status != kFailed && r.status != kAbsent) return;
    r.ort = run.ort;
    r.leitung = run.leitung;
    if (r.status == kAbsent) r.dauer = 0;
    else if (r.failReason == "Nur teilweise anwesend") r.dauer = std::max(0.5, std::floor(run.days) / 2);
    else r.dauer = run.days;
}

}  // namespace

void WriteRegistrations(Model& m) {
    Rng& rng = m.rng;
    Writer w(m);
    const int nCourses = int(m.courses.size());

    // History: courses attended (mostly) in the years before the runs, most of them the basic ones.
    {
        std::vector<double> weight(std::size_t(nCourses), 0.3);
        const std::pair<int, double> basic[] = {{8, 40}, {9, 24}, {11, 8}, {13, 8}, {20, 5}, {14, 9}, {28, 5}, {0, 4}};
        for (auto [course, wgt] : basic) weight[std::size_t(course)] = wgt;
        // Basic courses first, so the later ones find their prerequisites attended.
        std::vector<Writer::Row> rows;
        for (int n = 0; n < kHistory;) {
            const int course = rng.Weighted(weight);
            const int year = m.year - rng.Range(2, 8);
            const int p = rng.Range(0, int(m.persons.size()) - 1);
            if (!Eligible(m, p, course, year, false)) continue;
            Book(m, p, course, year);
            Writer::Row r{p, course};
            const double s = rng.Real();
            r.status = s < 0.85 ? kAttended : s < 0.9 ? kAbsent : kFailed;
            const Day on = Day::Of(year, rng.Range(2, 11), rng.Range(1, 28));
            r.datum = on.At(0);
            r.anmeldung = (on - rng.Range(20, 90)).At(rng.Range(7, 21), rng.Range(0, 59));
            r.stamp = (on + 5).At(16);
            const Place& pl = m.places[std::size_t(rng.Range(0, int(m.places.size()) - 1))];
            r.ort = std::string(rng.Pick(names::kVenues)) + " " + pl.name;
            r.dauer = names::kCourses[course].days;
            const PersonRec& lead = m.persons[std::size_t(rng.Pick(m.instructors))];
            r.leitung = lead.name + " " + lead.vorname;
            if (r.status == kFailed) r.failReason = "Prüfung nicht bestanden";
            rows.push_back(std::move(r));
            ++n;
        }
        std::stable_sort(rows.begin(), rows.end(), [](const Writer::Row& a, const Writer::Row& b) { return a.datum < b.datum; });
        for (const Writer::Row& r : rows) w.Write(r);
    }

    // How many participants each run gets: by its limit and how full such a run is at "now",
    // scaled so that the total comes out at 5,000 with the planned registrations.
    int staffCount = 0;
    for (const RunRec& run : m.runs) staffCount += int(run.staff.size());
    const int participants = kTotal - kHistory - kPlannedInstructors - kPlannedTarget - staffCount;
    // The coming runs open for registration have their numbers already.
    int fixed = 0;
    for (const RunRec& run : m.runs) fixed += std::max(0, run.participants);
    std::vector<double> fill;
    double sum = 0;
    for (const RunRec& run : m.runs) {
        double f;
        if (run.participants >= 0) f = 0;
        else if (run.cancelled) f = 0.4 + 0.3 * rng.Real();
        else if (run.Past(m.now)) f = 0.75 + 0.3 * rng.Real();
        else if (m.now < run.opensOn) f = 0.2 + 0.4 * rng.Real();  // the window is not open yet
        else f = 0.6 + 0.7 * rng.Real();
        fill.push_back(run.maxTn * f);
        sum += fill.back();
    }
    std::vector<int> counts;
    {
        std::vector<std::pair<double, std::size_t>> rest;
        int given = 0;
        const int byChance = participants - fixed;
        for (std::size_t i = 0; i < fill.size(); ++i) {
            const double exact = byChance * fill[i] / sum;
            counts.push_back(int(exact));
            given += counts.back();
            if (m.runs[i].participants < 0) rest.push_back({exact - int(exact), i});
        }
        std::stable_sort(rest.begin(), rest.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
        for (std::size_t k = 0; given < byChance; ++k, ++given) ++counts[rest[k % rest.size()].second];
        for (std::size_t i = 0; i < fill.size(); ++i)
            if (m.runs[i].participants >= 0) counts[i] = m.runs[i].participants;
    }

    // The runs in the order they took place: staff, then participants in the order they registered.
    for (std::size_t i = 0; i < m.runs.size(); ++i) {
        const RunRec& run = m.runs[i];
        const bool past = run.Past(m.now);
        const bool coming = !past;
        const Day lastDay = run.day + std::max(0, int(std::ceil(run.days)) - 1);

        for (std::size_t s = 0; s < run.staff.size(); ++s) {
            const RunRec::Staff& st = run.staff[s];
            Writer::Row r{st.person, run.course};
            r.run = run.id;
            r.participant = false;
            r.leader = run.led && s == 0;
            r.role = st.role < 0 ? -1 : m.roles[std::size_t(st.role)].kursleitungId;
            r.status = run.cancelled ? kDeregistered : past ? (rng.Chance(0.92) ? kAttended : kAbsent) : kPlanned;
            r.datum = EndOfYear(run.year);
            r.anmeldung = RegisteredAt(m, run.opensOn - 60, run.opensOn);
            if (past) r.stamp = (lastDay + 3).At(18);
            Finish(r, run);
            w.Write(r);
        }

        int place = 0;
        std::vector<int> qualified = Qualified(m, run.course, run.year, coming);
        for (int k = 0; k < counts[i]; ++k) {
            int p = -1;
            while (p < 0 && !qualified.empty()) {
                if (Eligible(m, qualified.back(), run.course, run.year, coming)) p = qualified.back();
                qualified.pop_back();
            }
            if (p < 0) p = PickParticipant(m, run.course, run.year, coming);
            if (p < 0) break;  // nobody left to book; the planned registrations make up for it
            Book(m, p, run.course, run.year);
            Writer::Row r{p, run.course};
            r.run = run.id;
            r.datum = run.dtDatum;
            r.anmeldung = RegisteredAt(m, run.opensOn, run.day - 7);
            const bool withinLimit = k < run.maxTn;
            const double x = rng.Real();
            if (run.cancelled) {
                r.status = x < 0.8 ? kDeregistered : kPlanned;
            } else if (past) {
                if (withinLimit) r.status = x < 0.75 ? kAttended : x < 0.83 ? kAbsent : x < 0.9 ? kFailed : kDeregistered;
                else r.status = x < 0.6 ? kWaiting : x < 0.75 ? kWaitingPenalty : kDeregistered;
            } else if (run.coming) {
                // The places of the runs open now are taken as their numbers say.
                if (withinLimit) r.status = x < 0.85 ? kPlanned : kProvisional;
                else r.status = x < 0.75 ? kWaiting : kWaitingPenalty;
            } else {
                if (withinLimit) r.status = x < 0.8 ? kPlanned : x < 0.92 ? kProvisional : kDeregistered;
                else r.status = x < 0.75 ? kWaiting : kWaitingPenalty;
            }
            if (r.status == kAbsent && rng.Chance(0.7)) {
                r.absence = rng.Pick(m.absenceReasons);
                r.excused = rng.Chance(0.5);
            }
            if (r.status == kFailed)
                r.failReason = rng.Pick({"Prüfung nicht bestanden", "Nur teilweise anwesend", "Belastungstest abgebrochen"});
            Finish(r, run);
            if (rng.Chance(0.04)) r.remark = rng.Pick(names::kRemarks);
            if (!run.groups.empty() && r.status != kDeregistered && rng.Chance(0.9))
                r.group = run.groups[std::size_t(place++) % run.groups.size()];
            if (past) r.stamp = (lastDay + 2).At(18);
            w.Write(r);
        }
    }

    // Planned: instructors for a course of this year or the next, without a run yet.
    for (int n = 0; n < kPlannedInstructors;) {
        const int p = rng.Pick(m.instructors);
        const int course = rng.Range(0, nCourses - 1);
        const int year = m.year + rng.Range(0, 1);
        const CourseRec& c = m.courses[std::size_t(course)];
        if (!c.active || (c.home >= 0 && m.persons[std::size_t(p)].mandant != c.home)) continue;
        Writer::Row r{p, course};
        r.participant = false;
        const auto& roles = m.persons[std::size_t(p)].roles;
        r.role = m.roles[std::size_t(rng.Pick(roles))].kursleitungId;
        r.datum = EndOfYear(year);
        r.anmeldung = RegisteredAt(m, m.now - 120, m.now);
        w.Write(r);
        ++n;
    }

    // Planned participants: whatever is left of the 5,000.
    const int planned = kTotal - w.written();
    for (int n = 0; n < planned;) {
        const int course = rng.Range(0, nCourses - 1);
        if (!m.courses[std::size_t(course)].active) continue;
        const int year = m.year + rng.Range(0, 1);
        const int p = PickParticipant(m, course, year, true);
        if (p < 0) continue;
        Book(m, p, course, year);
        Writer::Row r{p, course};
        const double x = rng.Real();
        r.status = x < 0.78 ? kPlanned : x < 0.88 ? kProvisional : x < 0.96 ? kWaiting : kWaitingPenalty;
        r.datum = EndOfYear(year);
        r.anmeldung = RegisteredAt(m, m.now - 200, m.now);
        w.Write(r);
        ++n;
    }
}

}  // namespace qv::suite::demo
