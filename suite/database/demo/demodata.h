#pragma once
// Demo data for the suite's database: three fire brigades (Mandanten) in two cantons with about
// 2,000 members, a course catalogue of 40 courses with 150 runs over three years and 5,000
// registrations, the security users and rights rows of an administrator and a course leader, mail
// templates and report profiles. Every name, place and address is made up; e-mail addresses and
// URLs use the reserved ".example" domain, so nothing written from the demo reaches anyone.
//
// The content depends on the seed and the reference day ("now" for the data) only: the same pair
// gives the same rows, keys, GUIDs and time stamps, byte for byte. Runs lie in the year before the
// reference day's year, that year and the year after it; runs before the reference day are past
// and their registrations attended or not, runs after it are open or coming. In the weeks after
// it, runs of local courses are open for registration with free places (some nearly full, one
// with a waiting list), so that every installation kind has runs it may book into.
#include <cstdint>
#include <functional>
#include <string>

struct sqlite3;

namespace qv::suite {

struct DemoSummary {
    int mandanten = 0;
    int persons = 0;
    int courses = 0;
    int runs = 0;
    int registrations = 0;
};

// The year the demo data is centred on when none is given: the current local year.
int CurrentLocalYear();

// A calendar day.
struct DemoDate {
    int year = 0;
    int month = 0;
    int day = 0;
};

// Today, local time.
DemoDate CurrentLocalDate();

// The reference day of the data for a base year: 1 July of it, so that a given year always gives
// the same data; 0 (no year given): today, so that the coming runs lie ahead of the day the demo
// is made.
DemoDate DemoReferenceDate(int baseYear);

// Fills a database fresh from CreateSchema (the suite database installed) in one transaction, or
// in a savepoint when the caller holds one. A database that already holds data is refused and
// left as it is. Keys are written directly and the id counters of sp_GetUniqueID are left at the
// largest key of each filled table, so the next key drawn never collides. Returns an SQLite result
// code; on failure `error` (may be null) gets the reason and nothing is written.
// The reference day is `today`; the runs are centred on its year.
int GenerateDemoDataAsOf(sqlite3* db, unsigned seed, const DemoDate& today, std::string* error);
// The same as of 1 July of `baseYear`.
int GenerateDemoData(sqlite3* db, unsigned seed, int baseYear, std::string* error);
// The same as of today.
int GenerateDemoData(sqlite3* db, unsigned seed, std::string* error);

// True when a table holds rows beyond those every fresh schema has (System, DataExchange, the
// "no place" row ...). A database without any table holds nothing. Returns an SQLite result code.
int HoldsUserData(sqlite3* db, bool* holds, std::string* error);

// Counts of the main tables.
int SummarizeDemoData(sqlite3* db, DemoSummary* summary, std::string* error);

// Told how far a long step has come: its name and the share done (0..1).
using DemoProgress = std::function<void(const std::string& step, double done)>;

// A canton-size database: the generated brigades copied with shifted keys until `persons` are
// reached (whole copies, so a little more), then the runs of every copy copied again with their
// registrations moved to other members of the copy until `registrations` are reached. Mandanten,
// courses and runs grow with them. Smaller targets than the generated data change nothing.
struct DemoScale {
    std::int64_t persons = 0;
    std::int64_t registrations = 0;
    DemoProgress progress;
};

// Scales demo data just generated (inside the caller's transaction) and, when it grew, brings
// the planner's statistics up to date. Returns an SQLite result code; on failure `error` gets the reason.
int ScaleDemoData(sqlite3* db, const DemoScale& scale, std::string* error);

// Making a demo database file: what the tool qvdemodb does.
struct DemoFileOptions {
    std::string path;
    unsigned seed = 1;
    int baseYear = 0;    // the reference day is DemoReferenceDate(baseYear): 0 gives today
    bool force = false;  // replace a database that already holds data
    DemoScale scale;     // canton size; the default is the generated demo alone
};

enum class DemoFileResult {
    Built,    // a missing file was created, or an empty database filled
    Refused,  // the file holds data (or is no database) and force was not given; left as it is
    Failed,   // nothing changed: a new file is not left behind, an existing one is as it was
};

struct DemoFileReport {
    DemoSummary summary;
    double seconds = 0;    // time spent building the data
    bool replaced = false; // an existing file with data was replaced (force)
};

// A missing file is built under a temporary name beside it and renamed into place once complete;
// an existing empty database (or empty file) is filled in one transaction; one holding data is
// refused unless `force`, which builds a new file and renames it over the old one (do not force a
// database that another program has open). Parent folders are created.
// A "postgresql://…" address instead of a path: an empty database gets the suite schema, one with
// the suite schema and no data beyond a fresh one's is filled, one holding data is refused unless
// `force` (then emptied and filled), and one holding anything else is refused. The data is the
// same as in a file and is loaded in one transaction; the progress of the loading is told to
// `options.scale.progress`. A build without the PostgreSQL driver fails on such an address.
DemoFileResult MakeDemoDatabase(const DemoFileOptions& options, DemoFileReport* report, std::string* error);

// Whether `path` is a PostgreSQL address rather than a file.
bool IsPgAddress(const std::string& path);

}  // namespace qv::suite
