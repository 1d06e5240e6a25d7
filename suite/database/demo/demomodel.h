#pragma once
// What the parts of the demo generator share while they write: the records already written that
// later rows refer to, the random source and the reference date.
#include "demorandom.h"
#include "demowriter.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

struct sqlite3;

namespace qv::suite::demo {

struct Place {
    std::int64_t id;
    std::string plz;
    std::string name;
    int canton;
    int gemeinde;  // index into the canton's list
};

struct MandantRec {
    std::int64_t id;
    int canton;
    std::string domain;
    std::vector<int> homePlaces;  // indexes into Model::places
};

struct PersonRec {
    std::int64_t id;
    int mandant;  // index into Model::mandanten
    std::string name;
    std::string vorname;
    std::string contactGuid;
    std::string ortName;  // "" when the place is unknown
    bool active;
    std::vector<int> roles;  // leadership roles (indexes into Model::roles) the person holds
};

struct RoleRec {
    std::int64_t kursleitungId;
    std::int64_t funktionId;
};

struct CourseRec {
    std::int64_t id;
    int entry;  // index into names::kCourses
    int typ;
    bool active;
    int home = -1;  // local courses: the brigade that runs them; -1 open to all
    bool multi = false;
    std::vector<int> prerequisites;  // courses (indexes) a participant should have attended
};

struct RunRec {
    std::int64_t id;
    int course;
    int year;
    Day day;       // first day
    int startHour;
    double days;
    bool cancelled;
    int maxTn;
    int minInstr;
    bool open;
    Day opensOn;     // start of the registration window (the run's day - 90 when none is set)
    std::string dtDatum;
    struct Staff {
        int person;
        int role;  // index into Model::roles, -1 none
    };
    std::vector<Staff> staff;  // the first one leads the run when `led`
    bool led = false;
    int leader = -1;  // person index of the leading instructor when `led`
    std::vector<std::int64_t> groups;
    // A local run of the coming weeks that is open for registration, with this many participants
    // registered (-1: as chance gives for the others).
    bool coming = false;
    int participants = -1;
    // What a finished registration records of its run.
    std::string ort;
    std::string leitung;

    bool Past(const Day& now) const { return day < now; }
};

struct Model {
    Model(sqlite3* db, unsigned seed, int baseYear, Day today);

    sqlite3* db;
    Rng rng;
    int year;  // the base year
    Day now;   // the reference day, in the base year: what counts as past and coming

    std::vector<Place> places;
    std::vector<MandantRec> mandanten;
    std::vector<PersonRec> persons;
    std::vector<int> instructors;  // person indexes
    std::vector<RoleRec> roles;
    std::vector<std::int64_t> absenceReasons;
    std::vector<std::int64_t> functionIds;
    int adminPerson = -1;
    int leaderPerson = -1;  // the course leader who has a security user

    std::vector<CourseRec> courses;
    std::vector<RunRec> runs;

    // (person, course, year) already registered as a participant
    std::unordered_set<std::uint64_t> booked;
    // course indexes each person has attended (status 1) up to now
    std::unordered_map<int, std::vector<int>> attended;

    static std::uint64_t Key(int person, int course, int year) {
        return (std::uint64_t(std::uint32_t(person)) << 32) | (std::uint64_t(course & 0xFFFF) << 16) |
               std::uint64_t(year & 0xFFFF);
    }
    bool HasAttended(int person, int course) const;
};

// The security users' keys.
inline constexpr std::int64_t kAdminUser = 1;
inline constexpr std::int64_t kLeaderUser = 2;

// In the order GenerateDemoData calls them.
void WritePlacesAndPeople(Model& m);
void WriteCourses(Model& m);
void WriteRegistrations(Model& m);
void WriteSecurity(Model& m);
void WriteSettings(Model& m);
void WriteWorkPlansAndAreas(Model& m);
void WritePeriphery(Model& m);

}  // namespace qv::suite::demo
