// The module's statements on a canton-size database (100,000 persons, 1,000,000 registrations):
// every statement of the corpus that reads PersonKurs, Person (or its view), Kursinstanz or SecKurs, filled in
// with real ids, through the ADO layer (text in, recordset out, as the system sends it) beside
// the same SQL prepared once and stepped directly on SQLite, and through the ADO layer on the same
// data in PostgreSQL. Writing statements run inside a transaction that is rolled back, so every
// run meets the same data. At the end a table puts them side by side and the plans of the
// slowest statements follow, of each database. A statement the module now sends in another form
// is timed in both; only the form sent ("+now") counts against the limits. The opening of all
// runs is timed on the generated data, where it opens the runs the generator left closed inside
// their window, once more after one opening (".daily"), the state of every day after, and on the
// day after one on which the windows of the two latest start days began (".day"): as many runs
// as the busiest start day of the canton has, which a database opened every day meets at most.
//
// The database is built once under the build tree (canton/canton.db beside this program) and
// reused while it has the current schema; QV_CANTON_DB names another file. With
// --without-statistics everything runs on a copy whose planner statistics are dropped: every
// statement must stay within its limit on both. On PostgreSQL (see
// benchpg.h) it is built for every run, or reused when QV_BENCH_PG names a database holding it.
#include "../tests/suite/database/corpus.h"
#include "demodata.h"
#include "olevariant.h"
#ifdef QV_BENCH_WITH_PG
#include "benchpg.h"
#include "pgdb.h"
#include "suitedbpg.h"
#endif
#include "qvado.h"
#include "sqlitedb.h"
#include "suitedb.h"
#include "tsqlprogram.h"
#include "utf.h"

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using qv::ado::ComPtr;
namespace cj = qvtest::corpus_detail;

constexpr std::int64_t kPersons = 100000;
constexpr std::int64_t kRegistrations = 1000000;

void Die(const std::string& why) {
    std::fprintf(stderr, "bench_canton: %s\n", why.c_str());
    std::exit(1);
}

// Set by --without-statistics: the copy of the database without planner statistics.
std::string g_withoutStatistics;

std::string DatabasePath() {
    if (!g_withoutStatistics.empty()) return g_withoutStatistics;
    if (const char* p = std::getenv("QV_CANTON_DB")) return p;
    return QV_CANTON_DIR "/canton.db";
}

// A copy of the database whose planner statistics are dropped, as a database that grew through
// the program without them; copied and synced before anything is timed.
void DropStatistics() {
    const std::string from = DatabasePath();
    const std::string to = from + ".nostats";
    std::error_code ec;
    for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(to + suffix, ec);
    {
        qv::sql::SqliteDb db;  // folds the write-ahead log into the file before the copy
        if (db.Open("sqlite:" + from) != SQLITE_OK) Die(db.LastError().description);
        db.Exec("PRAGMA wal_checkpoint(TRUNCATE)");
    }
    std::filesystem::copy_file(from, to);
    qv::sql::SqliteDb db;
    if (db.Open("sqlite:" + to) != SQLITE_OK) Die(db.LastError().description);
    if (db.Exec("DROP TABLE IF EXISTS sqlite_stat1; DROP TABLE IF EXISTS sqlite_stat4") != SQLITE_OK)
        Die(db.LastError().description);
    db.Close();
    ::sync();
    g_withoutStatistics = to;
}

std::int64_t Scalar(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* st = nullptr;
    std::int64_t v = -1;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
        v = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    return v;
}

// The first column of the first row as text; empty without one.
std::string ScalarText(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* st = nullptr;
    std::string v;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW &&
        sqlite3_column_text(st, 0))
        v = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    sqlite3_finalize(st);
    return v;
}

// Reused when it holds the canton's registrations and every index of the current schema.
bool Current(const std::string& path) {
    if (!std::filesystem::exists(path)) return false;
    qv::sql::SqliteDb db;
    if (db.Open("sqlite:" + path) != SQLITE_OK) return false;
    if (Scalar(db.Handle(), "SELECT count(*) FROM PersonKurs") < kRegistrations) return false;
    qv::sql::SqliteDb fresh;
    fresh.Open("sqlite::memory:");
    std::string error;
    if (qv::suite::CreateSchema(fresh.Handle(), &error) != SQLITE_OK) Die(error);
    const std::string indexes = "SELECT group_concat(sql, ';') FROM (SELECT sql FROM sqlite_master WHERE type = 'index' "
                                "AND sql IS NOT NULL ORDER BY name)";
    return ScalarText(db.Handle(), indexes) == ScalarText(fresh.Handle(), indexes);
}

void EnsureDatabase() {
    const std::string path = DatabasePath();
    if (Current(path)) return;
    std::fprintf(stderr, "bench_canton: building %s\n", path.c_str());
    qv::suite::DemoFileOptions options;
    options.path = path;
    options.baseYear = 2026;
    options.force = true;
    options.scale.persons = kPersons;
    options.scale.registrations = kRegistrations;
    qv::suite::DemoFileReport report;
    std::string error;
    if (qv::suite::MakeDemoDatabase(options, &report, &error) != qv::suite::DemoFileResult::Built) Die(error);
    std::fprintf(stderr, "bench_canton: built in %.1f s\n", report.seconds);
}

#ifdef QV_BENCH_WITH_PG
// The same data on PostgreSQL (the same seed, year and size as the file).
void EnsurePgDatabase() {
    const std::string& url = qvbench::PgUrl();
    qv::sql::PgDb db;
    if (db.Open(url) != 0) Die(db.LastError().description);
    qv::sql::PgRows rows;
    if (db.Query("SELECT to_regclass('public.personkurs') IS NOT NULL AND (SELECT count(*) >= " +
                     std::to_string(kRegistrations) + " FROM PersonKurs)",
                 &rows) == 0 &&
        rows.rows.at(0)[0] == "t") {
        // Made by an earlier build: brought to this one's schema as the program's start brings it.
        std::string error;
        if (qv::suite::MendSchemaPg(db, &error) != 0) Die(error);
        return;
    }
    db.Close();
    std::fprintf(stderr, "bench_canton: building the canton on PostgreSQL\n");
    qv::suite::DemoFileOptions options;
    options.path = url;
    options.baseYear = 2026;
    options.force = true;
    options.scale.persons = kPersons;
    options.scale.registrations = kRegistrations;
    qv::suite::DemoFileReport report;
    std::string error;
    if (qv::suite::MakeDemoDatabase(options, &report, &error) != qv::suite::DemoFileResult::Built) Die(error);
    std::fprintf(stderr, "bench_canton: built on PostgreSQL in %.1f s\n", report.seconds);
}
#endif

// The ids the statements are filled with: a member of the last copy with the most registrations,
// one of his runs with the most registrations, its course, group and Mandant.
struct Ids {
    std::int64_t person, run, course, group, registration, mandant, year;
};

Ids ChooseIds(sqlite3* db) {
    Ids ids{};
    ids.person = Scalar(db, "SELECT lPersonID FROM PersonKurs WHERE lKursinstanzID > 0 AND lPersonID > "
                            "(SELECT max(lPersonID) - 2000 FROM Person) GROUP BY lPersonID ORDER BY count(*) DESC, "
                            "lPersonID LIMIT 1");
    ids.run = Scalar(db, "SELECT pk.lKursinstanzID FROM PersonKurs pk WHERE pk.lPersonID = " + std::to_string(ids.person) +
                             " AND pk.lKursinstanzID > 0 ORDER BY (SELECT count(*) FROM PersonKurs x WHERE "
                             "x.lKursinstanzID = pk.lKursinstanzID) DESC LIMIT 1");
    ids.course = Scalar(db, "SELECT lKursID FROM Kursinstanz WHERE lKursinstanzID = " + std::to_string(ids.run));
    ids.group = Scalar(db, "SELECT ifnull(max(lKursinstanzGruppeID), -1) FROM KursinstanzGruppe WHERE lKursinstanzID = " +
                               std::to_string(ids.run));
    ids.registration = Scalar(db, "SELECT lPersonKursID FROM PersonKurs WHERE lPersonID = " + std::to_string(ids.person) +
                                      " AND lKursinstanzID = " + std::to_string(ids.run));
    ids.mandant = Scalar(db, "SELECT lMandantID FROM Person WHERE lPersonID = " + std::to_string(ids.person));
    ids.year = Scalar(db, "SELECT CAST(substr(dtDatum, 1, 4) AS INTEGER) FROM Kursinstanz WHERE lKursinstanzID = " +
                              std::to_string(ids.run));
    return ids;
}

struct Statement {
    std::string id, name, tsql;
    bool writes = false;
    bool search = false;  // the word search over every person column: timed to its first rows
    bool notSent = false;  // replaced by a form the module sends now (its "+now" row)
    // The opening of runs once more after it has run: the daily state, in which the generated
    // canton's runs inside their window are open already.
    bool daily = false;
    // After one opening, the runs of the two latest window start days closed again before each
    // timed opening (untimed): the opening of a day on which that many windows began.
    bool day = false;
    std::shared_ptr<const qv::tsql::Program> program;
    bool direct = false;  // plain steps only, so it can be prepared directly
    double adoMs = -1, directMs = -1, pgMs = -1;
    std::string pgError;
    std::string error;
};

bool Contains(const std::string& text, const std::string& word) {
    auto lower = [](std::string t) {
        for (char& c : t) c = char(std::tolower(static_cast<unsigned char>(c)));
        return t;
    };
    return lower(text).find(lower(word)) != std::string::npos;
}

std::string RealValue(const cj::Json& placeholder, const Ids& ids) {
    const std::string meaning = placeholder.o.at("meaning").s;
    const std::string spec = placeholder.o.at("spec").s;
    const std::string example = placeholder.o.at("value").kind == cj::Json::String ? placeholder.o.at("value").s
                                                                                      : placeholder.o.at("value").s;
    if (spec != "%d") return example;
    auto n = [](std::int64_t v) { return std::to_string(v); };
    if (Contains(meaning, "security user") || Contains(meaning, "status") || Contains(meaning, "type") ||
        Contains(meaning, "kind") || Contains(meaning, "mask") || Contains(meaning, "code") || Contains(meaning, "lart"))
        return example;
    if (Contains(meaning, "new ")) return example;  // a key to be written: free in the database
    if (Contains(meaning, "registration") || Contains(meaning, "record id")) return n(ids.registration);
    if (Contains(meaning, "group")) return n(ids.group);
    if (Contains(meaning, "person")) return n(ids.person);
    if (Contains(meaning, "run")) return n(ids.run);
    if (Contains(meaning, "course")) return n(ids.course);
    if (Contains(meaning, "mandant")) return n(ids.mandant);
    if (meaning == "year" || Contains(meaning, "year of the run")) return n(ids.year);
    return example;
}

// The template with its placeholders filled in, as the code formats it.
std::string Fill(const cj::Json& entry, const Ids& ids) {
    const std::string& t = entry.o.at("template").s;
    const auto& holders = entry.o.at("placeholders").a;
    std::string out;
    std::size_t next = 0;
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (t[i] == '\\' && i + 1 < t.size() && t[i + 1] == 't') {
            out += '\t';
            ++i;
        } else if (t[i] == '%' && i + 1 < t.size() && t[i + 1] == '%') {
            out += '%';
            ++i;
        } else if (t[i] == '%' && next < holders.size()) {
            const std::string spec = holders[next].o.at("spec").s;
            out += RealValue(holders[next++], ids);
            i += spec.size() - 1;
        } else {
            out += t[i];
        }
    }
    return out;
}

// Set by --corpus=PATH.
std::string g_corpus;

// The statement corpus: --corpus, else QV_SQL_CORPUS, else the first of the places beside the
// project's root (beside this tree, beside the main tree of a worktree) that holds it.
std::string CorpusPath() {
    if (!g_corpus.empty()) return g_corpus;
    if (const char* given = std::getenv("QV_SQL_CORPUS"); given && *given) return given;
    const std::string places = QV_SQL_CORPUS_PLACES;
    std::string tried;
    for (std::size_t at = 0; at <= places.size();) {
        const std::size_t end = std::min(places.find('|', at), places.size());
        const std::string place = places.substr(at, end - at);
        std::error_code ec;
        if (!place.empty() && std::filesystem::is_regular_file(place, ec)) return place;
        tried += "\n  " + place;
        at = end + 1;
    }
    Die("no SQL corpus (corpus.jsonl) found; looked at:" + tried + "\nname it with --corpus=PATH or QV_SQL_CORPUS");
    return {};
}

std::vector<Statement> LoadStatements(const Ids& ids) {
    const std::string corpus = CorpusPath();
    std::ifstream in(corpus);
    if (!in) Die("cannot read the SQL corpus " + corpus);
    std::vector<Statement> out;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        cj::Json j = cj::Parser(line).Parse();
        if (j.o["is_fragment"].b || j.o["duplicate_of"].kind == cj::Json::String) continue;
        bool reads = false;
        for (const cj::Json& t : j.o["writes"].a) reads = reads || t.s == "Kursinstanz";
        for (const cj::Json& t : j.o["reads"].a)
            reads = reads || t.s == "PersonKurs" || t.s == "Person" || t.s == "view_PersonSmall" || t.s == "Kursinstanz" ||
                    t.s == "SecKurs";
        if (!reads) continue;
        Statement s;
        s.id = j.o["id"].s;
        s.name = j.o["name"].s;
        // Composed entries have no single template to fill: their example stands, ids and all.
        s.tsql = j.o["kind"].s == "verbatim" ? Fill(j, ids) : j.o["example"].s;
        s.writes = !j.o["writes"].a.empty() || !j.o["procedures"].a.empty();
        // The word searches run in a worker that hands each page of rows to the window as it comes.
        s.search = Contains(s.tsql, "fn_GetCustFieldValuesUsed4Search");
        try {
            s.program = qv::tsql::Translate(s.tsql);
            s.direct = std::all_of(s.program->steps.begin(), s.program->steps.end(), [](const qv::tsql::Step& st) {
                return (st.kind == qv::tsql::StepKind::Query || st.kind == qv::tsql::StepKind::Modify) && st.params.empty();
            });
        } catch (const std::exception& e) {
            s.error = e.what();
        }
        out.push_back(std::move(s));
    }
    return out;
}

// The module sends some statements in a form whose cost is bounded by their result; they are
// timed in that form too, beside the text they replace.
std::string Replace(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// The device search tests each word on the number and the device first, then on the Mandant, the
// custom fields and the row's person where the word test names them; the devices lead the join.
// Sent now: the longest word (the first of equals) as a list of the devices that can hold it,
// read table by table before the join (listFirst); the form that tested every word on each
// joined row is timed beside it.
std::string DeviceWordsFirst(std::string tsql, bool listFirst) {
    const std::string head = "AND (CHARINDEX('", tail = "', Devicenumber.strNr + ' ' ";
    auto has = [&](const char* term) { return tsql.find(term) != std::string::npos; };
    const bool device = has("+ Device.strBezeichnung + ' ' "), status = has("+ Device.strStatus + ' ' "),
               mandant = has("+ strMandantName + ' ' "), person = has("+ isnull(Person.strName, '') + ' ' "),
               custom = has("+ dbo.fn_GetCustFieldValuesUsed4Search(57, Device.lDeviceID) + ' ' ");
    // For one Mandant every word is tested on the rows: its devices are few. The Mandant is
    // named on the Mandant too.
    std::string oneMandant;
    for (std::size_t at = tsql.find("Device.lMandantID = "); at != std::string::npos;
         at = tsql.find("Device.lMandantID = ", at + 1))
        if (std::isdigit(static_cast<unsigned char>(tsql[at + 20])))
            oneMandant = tsql.substr(at + 20, tsql.find_first_not_of("0123456789", at + 20) - at - 20);
    listFirst = listFirst && oneMandant.empty();
    if (!oneMandant.empty())
        tsql = Replace(tsql, "AND Devicenumber.lTyp = 0 ", "AND Devicenumber.lTyp = 0 AND Mandant.lMandantID = " + oneMandant + " ");
    std::size_t lead = 0, longest = 0, index = 0;
    for (std::size_t at = tsql.find(head); at != std::string::npos; at = tsql.find(head, at + 1), ++index) {
        const std::size_t end = tsql.find(tail, at + head.size());
        if (end == std::string::npos) break;
        if (end - at - head.size() > longest) longest = end - at - head.size(), lead = index;
    }
    index = 0;
    for (std::size_t at = tsql.find(head); at != std::string::npos; at = tsql.find(head, at), ++index) {
        const std::size_t end = tsql.find(tail, at + head.size());
        if (end == std::string::npos) break;
        const std::string w = tsql.substr(at + head.size(), end - at - head.size());
        std::string filter;
        if (listFirst && index == lead) {
            // A word of digits and signs has no case: tested with case, without folding the texts.
            const bool noCase = std::all_of(w.begin(), w.end(), [](char c) {
                return static_cast<unsigned char>(c) < 0x80 && !std::isalpha(static_cast<unsigned char>(c));
            });
            auto test = [&](const std::string& column) {
                return "CHARINDEX('" + w + "', " + column + (noCase ? " COLLATE Latin1_General_CS_AS" : "") + ") > 0 ";
            };
            filter = "AND Device.lDeviceID IN (SELECT dn.lDeviceID FROM Devicenumber dn WHERE dn.lTyp = 0 AND " +
                     test("dn.strNr");
            std::string own;
            if (device) own += "OR " + test("dd.strBezeichnung");
            if (status) own += "OR (dd.strStatus <> '' AND " + test("dd.strStatus") + ") ";
            if (mandant)
                own += "OR dd.lMandantID IN (SELECT lMandantID FROM Mandant WHERE " + test("strMandantName") + "OR " +
                       test("strMandantTyp") + ") ";
            if (!own.empty()) filter += "UNION ALL SELECT dd.lDeviceID FROM Device dd WHERE " + own.substr(3);
            if (person)
                filter += "UNION ALL SELECT dp.lDeviceID FROM Device dp WHERE dp.lPersonID IN (SELECT lPersonID FROM "
                          "Person WHERE " + test("strName") + "OR " + test("strVorname") + ") ";
            if (custom)
                filter += "UNION ALL SELECT v.lID FROM CustFieldValue v JOIN CustFieldType t ON v.lCFTypeID = "
                          "t.lCFTypeID WHERE t.lTableID = 57 AND t.fUsed4Search = 1 AND " + test("v.strValue");
            filter += ") ";
        } else {
            filter = "AND (CHARINDEX('" + w + "', Devicenumber.strNr) > 0 ";
            if (device) filter += "OR CHARINDEX('" + w + "', Device.strBezeichnung) > 0 ";
            if (status) filter += "OR (Device.strStatus <> '' AND CHARINDEX('" + w + "', Device.strStatus) > 0) ";
            if (mandant)
                filter += "OR Device.lMandantID IN (SELECT lMandantID FROM Mandant WHERE CHARINDEX('" + w +
                          "', strMandantName) > 0 OR CHARINDEX('" + w + "', strMandantTyp) > 0) ";
            if (custom)
                filter += "OR Device.lDeviceID IN (SELECT v.lID FROM CustFieldValue v JOIN CustFieldType t ON "
                          "v.lCFTypeID = t.lCFTypeID WHERE t.lTableID = 57 AND t.fUsed4Search = 1 AND CHARINDEX('" +
                          w + "', v.strValue) > 0) ";
            if (person)
                filter += "OR CHARINDEX('" + w + "', Person.strName) > 0 OR CHARINDEX('" + w +
                          "', Person.strVorname) > 0 ";
            filter += ") ";
        }
        tsql.insert(at, filter);
        at += filter.size() + head.size();
    }
    // The devices lead the join: Mandant is looked up for each.
    tsql = Replace(tsql, "FROM Device JOIN Mandant ON Device.lMandantID = Mandant.lMandantID",
                   "FROM Device JOIN Mandant ON Device.lMandantID + 0 = Mandant.lMandantID");
    return Replace(tsql, "AND Devicenumber.lTyp = 0 ", "AND Devicenumber.lTyp + 0 = 0 ");
}

// The course search with a run date reads the runs from the date on as a list from the index
// first; in the runs-only form the list is asked of the right, not used as the way into the runs.
std::string RunsFromTheDateFirst(const std::string& tsql) {
    const std::string head = "WHERE dtDatum >= ", tail = " OR dtDatum is null) ki";
    const std::size_t at = tsql.find(head), end = tsql.find(tail);
    if (at == std::string::npos || end == std::string::npos || end < at) return tsql;
    const std::string condition = tsql.substr(at + 6, end + 19 - at - 6);
    const bool onlyInstanz = tsql.find("JOIN SecKurs secI") != std::string::npos &&
                             tsql.find("LEFT OUTER JOIN SecKurs secI") == std::string::npos;
    return tsql.substr(0, at) + "WHERE (" + condition + ") AND " +
           (onlyInstanz ? "secI.lKursinstanzID + 0" : "vki.lKursinstanzID") +
           " IN (SELECT lKursinstanzID FROM Kursinstanz WHERE " + condition + ")" + tsql.substr(end + 19);
}

// The person search tests each word first on the parts of the text it joins, on the person's own
// columns as one text, the place, grade, Mandant and custom fields as lists and the call numbers by
// the person's devices (signs taken out only for the phone columns and for a word without signs),
// before the joins; the word test on the joined text follows and decides.
std::string PersonWordsFirst(std::string tsql) {
    const std::string head = "AND (CHARINDEX('", tail = "', strName + ' ' + strVorname";
    const std::string where = tsql.substr(std::min(tsql.find(" WHERE "), tsql.size()));
    auto has = [&](const char* term) { return where.find(term) != std::string::npos; };
    const bool number = has("+ strPersonNr + ' ' "), grad = has("+ isnull(view_Grad.strKurzbezeichnung, '') + ' ' "),
               address = has("+ strAdresse1L + ' ' "), place = has("+ strPLZOrtEx + ' ' "),
               calls = has("dbo.fn_RemoveChars(strFaxNr)"), mandant = has("+ strMandantName + ' ' "),
               custom = has("+ dbo.fn_GetCustFieldValuesUsed4Search(4, vp.lPersonID) + ' ' ");
    const std::string phones = "vp.lTelefonP, vp.lTelefonG, vp.lMobilP, vp.lMobilG, vp.lPager";
    for (std::size_t at = tsql.find(head); at != std::string::npos; at = tsql.find(head, at + 1)) {
        const std::size_t end = tsql.find(tail, at + head.size());
        if (end == std::string::npos) break;
        const std::string w = tsql.substr(at + head.size(), end - at - head.size());
        auto test = [&](const std::string& column) { return "CHARINDEX('" + w + "', " + column + ") > 0 "; };
        std::string own = "vp.strName + ' ' + vp.strVorname";
        if (number) own += " + ' ' + vp.strPersonNr";
        if (address) own += " + ' ' + vp.strAdresse1L";
        if (calls) own += " + ' ' + dbo.fn_RemoveChars(vp.strFaxNr) + ' ' + isnull(vp.strWeb, '')";
        std::string filter = "AND (" + test(own);
        if (place) filter += "OR vp.lOrtID IN (SELECT lOrtID FROM view_Ort WHERE " + test("strPLZOrtEx") + ") ";
        if (grad) filter += "OR vp.lCAktGradID IN (SELECT lGradID FROM view_Grad WHERE " + test("strKurzbezeichnung") + ") ";
        if (mandant)
            filter += "OR vp.lMandantID IN (SELECT lMandantID FROM Mandant WHERE " + test("strMandantName") + "OR " +
                      test("strMandantTyp") + ") ";
        if (custom)
            filter += "OR vp.lPersonID IN (SELECT v.lID FROM CustFieldValue v JOIN CustFieldType t ON v.lCFTypeID = "
                      "t.lCFTypeID WHERE t.lTableID = 4 AND t.fUsed4Search = 1 AND " + test("v.strValue") + ") ";
        if (calls) {
            filter += "OR EXISTS (SELECT 1 FROM view_DevicenumberCall d WHERE d.lDeviceID IN (" + phones +
                      ", vp.lEMailP, vp.lEMailG) AND (" + test("d.strNr");
            if (w.find_first_of(" \t-/.()'") == std::string::npos)
                filter += "OR (d.lDeviceID IN (" + phones + ") AND " + test("dbo.fn_RemoveChars(d.strNr)") + ")";
            filter += ")) ";
        }
        filter += ") ";
        tsql.insert(at, filter);
        at += filter.size();
    }
    return tsql;
}

std::string AsSentNow(const std::string& tsql) {
    if (tsql.find("FROM Device JOIN Mandant ON Device.lMandantID = Mandant.lMandantID") != std::string::npos)
        return DeviceWordsFirst(tsql, true);
    if (tsql.find("FROM view_PersonSmall vp") != std::string::npos && tsql.find("', strName + ' ' + strVorname") != std::string::npos)
        return PersonWordsFirst(tsql);
    // The registration editor's runs: the course's runs first, the user's row by its run.
    if (tsql.find("ORDER BY dtDatum DESC") != std::string::npos && tsql.find("JOIN SecKurs secI") != std::string::npos)
        return Replace(tsql, "AND secI.lQvSecUserID = ", "AND secI.lQvSecUserID + 0 = ");
    // Holders of a role in a year (planning): each person's roles are read by the person.
    if (tsql.find("year(PersonFunktion.dtStart) <=") != std::string::npos)
        return Replace(tsql, "ON PersonFunktion.lFunktionID = Kursleitung.lFunktionID",
                       "ON PersonFunktion.lFunktionID + 0 = Kursleitung.lFunktionID");
    if (tsql.find("FROM view_Kurs vk JOIN SecKurs secK") != std::string::npos) {
        // Runs only: the user's run rows are reached from each run, not by the user's index.
        const bool onlyInstanz = tsql.find("JOIN SecKurs secI") != std::string::npos &&
                                 tsql.find("LEFT OUTER JOIN SecKurs secI") == std::string::npos;
        const std::string text = RunsFromTheDateFirst(tsql);
        return onlyInstanz ? Replace(text, "AND secI.lQvSecUserID = ", "AND secI.lQvSecUserID + 0 = ") : text;
    }
    // The rights refresh of a local installation reads only the records the user (1, the
    // administrator, as in the corpus's examples) has no row on yet; every record's GUID is read
    // only in the central installation, which asks the security server for each record.
    const std::string scope = "SELECT 1 AS lKind, lKursID AS lID, guid FROM Kurs WHERE ";
    if (tsql.rfind(scope, 0) == 0) {
        const std::size_t runs = tsql.find(" UNION ALL SELECT 2 AS lKind, lKursinstanzID AS lID, guid FROM Kursinstanz WHERE ");
        if (runs != std::string::npos) {
            const std::string kurs = tsql.substr(scope.size(), runs - scope.size());
            const std::string instanz = tsql.substr(tsql.find(" WHERE ", runs + 1) + 7);
            return "SELECT 1 AS lKind, lKursID AS lID, 0 AS fExists FROM Kurs WHERE " + kurs +
                   " AND NOT EXISTS (SELECT 1 FROM SecKurs s WHERE s.lKursID = Kurs.lKursID AND s.lKursinstanzID = -1 AND "
                   "s.lQvSecUserID = 1) UNION ALL SELECT 2 AS lKind, lKursinstanzID AS lID, 0 AS fExists FROM Kursinstanz "
                   "WHERE " + instanz + " AND NOT EXISTS (SELECT 1 FROM SecKurs s WHERE s.lKursinstanzID = "
                   "Kursinstanz.lKursinstanzID AND s.lKursID = -1 AND s.lQvSecUserID = 1) ORDER BY lKind, lID";
        }
    }
    const std::string head = "SELECT isnull(max(1), 0) AS fPending";
    if (tsql.rfind(head, 0) == 0) {
        std::string inner = Replace(tsql, head, "SELECT 1");
        inner = Replace(inner, " UNION SELECT 1", ") OR EXISTS (SELECT 1");
        return "SELECT CASE WHEN EXISTS (" + inner + ") THEN 1 ELSE 0 END AS fPending";
    }
    // The opening of runs renews the change stamp in the statement; the local installation's
    // opening and closing asks each candidate's course instead of joining the courses.
    if (tsql.rfind("UPDATE Kursinstanz SET fGeschlossen = 0 WHERE", 0) == 0)
        return Replace(tsql, "SET fGeschlossen = 0 WHERE", "SET fGeschlossen = 0, dtTimestamp = getdate() WHERE");
    const std::string join = "FROM Kursinstanz JOIN Kurs ON Kursinstanz.lKursID = Kurs.lKursID WHERE ";
    const std::size_t type = tsql.find(" AND Kurs.lTyp = ");
    if (tsql.find(join) != std::string::npos && tsql.find("Kursinstanz.dtAnmeldenBis") != std::string::npos &&
        type != std::string::npos) {
        const std::size_t end = tsql.find_first_not_of("0123456789", type + 17);
        const std::string exists = " AND EXISTS (SELECT 1 FROM Kurs WHERE Kurs.lKursID = Kursinstanz.lKursID AND "
                                   "Kurs.lTyp = " + tsql.substr(type + 17, end - type - 17) + ")";
        std::string local = Replace(tsql.substr(0, type), join, "FROM Kursinstanz WHERE ");
        local = Replace(local, "SET fGeschlossen = 0 FROM Kursinstanz WHERE",
                        "SET fGeschlossen = 0, dtTimestamp = getdate() WHERE");
        return Replace(local, "Kursinstanz.", "") + exists + tsql.substr(end);
    }
    return Replace(tsql, "convert(varchar(50),Contact.guid) = QvSecUser.strUserID", "Contact.guid = QvSecUser.strUserID");
}

// Adding instructors narrows the role holders to the user himself unless he may book: the form
// with the right to book, over all holders, is timed too.
void AddUnnarrowed(std::vector<Statement>& statements) {
    const std::size_t n = statements.size();
    for (std::size_t i = 0; i < n; ++i) {
        const std::string& tsql = statements[i].tsql;
        const std::size_t at = tsql.find("AND vp.lPersonID = ");
        if (at == std::string::npos || tsql.find("PersonFunktion.dtStart < ") == std::string::npos) continue;
        const std::size_t end = tsql.find_first_not_of("0123456789", at + 19);
        Statement s = statements[i];
        s.id += ".all";
        s.name += " (with the right to book: all holders)";
        s.tsql = tsql.substr(0, at) + tsql.substr(end + 1);
        s.program = qv::tsql::Translate(s.tsql);
        statements.push_back(std::move(s));
    }
}

// The device search's word is a number; the same search for a word of letters that no device
// holds is timed too (letters are folded for the test without case), and one with an umlaut. The
// person search over every column looks for a name; it is timed for a word nobody has (its first
// rows are its end) and for a number too.
void AddLetterWord(std::vector<Statement>& statements) {
    const std::size_t n = statements.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (statements[i].id == "p02-4.104-02") {
            for (const char* word : {"Zwyq", "4711"}) {
                Statement s = statements[i];
                const bool number = std::string(word) == "4711";
                s.id += number ? ".number" : ".letters";
                s.name += number ? ", a number" : ", a word nobody has";
                s.tsql = Replace(s.tsql, "CHARINDEX('Meier', ", std::string("CHARINDEX('") + word + "', ");
                s.program = qv::tsql::Translate(s.tsql);
                statements.push_back(std::move(s));
            }
        }
        if (statements[i].id != "p02-4.111-18") continue;
        for (const char* word : {"Zwyq", "Zwyäq"}) {
            Statement s = statements[i];
            const bool umlaut = std::string(word) != "Zwyq";
            s.id += umlaut ? ".umlaut" : ".letters";
            s.name += umlaut ? ", a word with an umlaut that nothing holds" : ", a word of letters that nothing holds";
            s.tsql = Replace(s.tsql, "CHARINDEX('079', ", std::string("CHARINDEX('") + word + "', ");
            s.program = qv::tsql::Translate(s.tsql);
            statements.push_back(std::move(s));
        }
    }
}

// "Kurs wählen..." with the program's default options: every course (KursActive unset), every
// run (KursInstanzDate unset), the types of the demo and of a new database ("0 1 1 1"), at most
// 500 rows and one more, every column shown and no custom field that takes part in searches (the
// canton has none, so the run's term is left out), for words as a user types them: common ones,
// rare ones and one nothing holds (its first rows are its end); then texts of two and three words,
// each word a condition of its own, a word no course holds last.
void AddCourseWords(std::vector<Statement>& statements) {
    const std::size_t n = statements.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (statements[i].id != "p02-4.120-04") continue;
        std::string tsql = "SELECT TOP 501 " + statements[i].tsql.substr(7);
        tsql = Replace(tsql, "AND vk.fActive=1 ", "");
        tsql = Replace(tsql, "WHERE dtDatum >= '2031-06-15 00:00:00' OR", "WHERE dtDatum >= '1899-12-30 00:00:00' OR");
        tsql = Replace(tsql, "AND vk.lTyp IN (0,3) ", "AND vk.lTyp IN (0,1,2,3) ");
        tsql = Replace(tsql, " ki.strAnschrift1L, isnull(", " isnull(ki.strAnschrift1L,'') AS strAnschrift1L, isnull(");
        tsql = Replace(tsql, "+ ' ' + ki.strInstanzCustfields AS", "+ ' ' + isnull(ki.strInstanzCustfields,'') AS");
        tsql = Replace(tsql, "strKurs + ' ' + strLabel + ' ' +", "strKurs + ' ' + isnull(strLabel, '') + ' ' +");
        tsql = Replace(tsql, "+ ' ' + dbo.fn_GetCustFieldValuesUsed4Search(42, isnull(ki.lKursinstanzID,0)) ) > 0) ) ",
                       ") > 0) ) ");
        const std::size_t condition = tsql.find("AND ((CHARINDEX('Grund', ");
        const std::vector<std::vector<std::string>> texts = {
            {"pionier"}, {"stabsarbeit"}, {"chemiewehr"}, {"unwetter"}, {"hydranten"}, {"zwyq"}, {"grund"},
            {"ausbildung"}, {"pionier", "c"}, {"hydranten", "c"}, {"atemschutz", "weiterbildung"}, {"grund", "c"},
            {"ausbildung", "c"}, {"grund", "zwyq"}, {"grund", "c", "kurs"}, {"atemschutz", "grund", "kurs"},
            {"ausbildung", "c", "e"}, {"grund", "c", "zwyq"}};
        for (const std::vector<std::string>& words : texts) {
            Statement s = statements[i];
            s.notSent = false;
            std::string text;
            s.tsql = tsql.substr(0, condition);
            for (const std::string& word : words) {
                s.id += (text.empty() ? "." : "_") + word;
                text += (text.empty() ? "" : " ") + word;
                s.tsql += Replace(tsql.substr(condition), "CHARINDEX('Grund', ", "CHARINDEX('" + word + "', ");
            }
            s.name = "course search, default options, \"" + text + "\"";
            s.program = qv::tsql::Translate(s.tsql);
            statements.push_back(std::move(s));
        }
    }
}

void AddRewrites(std::vector<Statement>& statements) {
    const std::size_t n = statements.size();
    for (std::size_t i = 0; i < n; ++i) {
        const std::string now = AsSentNow(statements[i].tsql);
        if (now == statements[i].tsql) continue;
        // The rights refresh's scope with every GUID is still read by the central installation.
        const bool local = Contains(now, "0 AS fExists FROM Kurs");
        statements[i].notSent = !local;
        Statement s = statements[i];
        s.notSent = false;
        s.id += "+now";
        s.name += local ? " (as a local installation sends it)" : " (as sent now)";
        s.tsql = now;
        s.program = qv::tsql::Translate(now);
        // The opening of all runs (not of the one run a window saves).
        const bool opening = now.rfind("UPDATE Kursinstanz SET fGeschlossen = 0", 0) == 0 &&
                             !Contains(now, "lKursinstanzID =");
        if (opening) s.name += ", generated data: opens the runs the generator left closed inside their window";
        statements.push_back(s);
        // The device search as sent before its leading word's devices were read as a list.
        if (Contains(now, "FROM Device JOIN Mandant ON Device.lMandantID + 0")) {
            Statement rowTest = s;
            rowTest.id = statements[i].id + "+rowtest";
            rowTest.name = statements[i].name + " (each word tested on the joined rows)";
            rowTest.notSent = true;
            rowTest.tsql = DeviceWordsFirst(statements[i].tsql, false);
            rowTest.program = qv::tsql::Translate(rowTest.tsql);
            statements.push_back(std::move(rowTest));
        }
        if (opening) {
            Statement day = s;
            s.name = statements[i].name + " (as sent now), daily: nothing left to open";
            s.id += ".daily";
            s.daily = true;
            statements.push_back(std::move(s));
            day.name = statements[i].name + " (as sent now), the day after the windows of the two latest start days began";
            day.id += ".day";
            day.day = true;
            statements.push_back(std::move(day));
        }
    }
}

VARIANT Missing() {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ERROR;
    v.scode = DISP_E_PARAMNOTFOUND;
    return v;
}

// The search worker reads the first page of rows and shows them; the rest is read while the user
// looks. Everything else is read to its end.
constexpr int kFirstRows = 50;

struct Ado {
    ComPtr<_Connection> connection;
    ComPtr<Recordset20> recordset;

    explicit Ado(const std::string& connectionString) {
        qv::ado::CreateInstance(CLSID_Connection, nullptr, IID__Connection, reinterpret_cast<void**>(&connection));
        const std::wstring cs = qv::FromUtf8(connectionString);
        BSTR b = SysAllocString(cs.c_str());
        if (FAILED(connection->Open(b, nullptr, nullptr, 0))) Die("ADO connection");
        SysFreeString(b);
        qv::ado::CreateInstance(CLSID_Recordset, nullptr, IID_Recordset20, reinterpret_cast<void**>(&recordset));
        recordset->putref_ActiveConnection(connection.get());
    }

    bool Execute(const Statement& s) { return Execute(s.tsql); }

    bool Execute(const std::string& tsql) {
        BSTR b = SysAllocString(qv::FromUtf8(tsql).c_str());
        _Recordset* rs = nullptr;
        const HRESULT hr = connection->Execute(b, nullptr, adCmdText, &rs);
        SysFreeString(b);
        if (rs) rs->Release();
        return SUCCEEDED(hr);
    }

    bool Run(const Statement& s, const COleVariant& text) {
        if (s.writes) {
            long level = 0;
            connection->BeginTrans(&level);
            const bool ok = Execute(s);
            connection->RollbackTrans();
            return ok;
        }
        if (FAILED(recordset->Open(text, Missing(), adOpenForwardOnly, adLockReadOnly, adCmdText))) return false;
        VARIANT index;
        VariantInit(&index);
        index.vt = VT_I4;
        index.lVal = 0;
        VARIANT_BOOL eof = VARIANT_TRUE;
        int rows = 0;
        while (SUCCEEDED(recordset->get_EOF(&eof)) && !eof && !(s.search && rows == kFirstRows)) {
            COleVariant value;
            recordset->get_Collect(index, &value);
            benchmark::DoNotOptimize(value.vt);
            recordset->MoveNext();
            ++rows;
        }
        recordset->Close();
        return true;
    }
};

struct Direct {
    qv::sql::SqliteDb db;
    std::map<std::string, std::vector<sqlite3_stmt*>> prepared;

    Direct() {
        if (db.Open("sqlite:" + DatabasePath()) != SQLITE_OK) Die(db.LastError().description);
    }
    ~Direct() {
        for (auto& [id, list] : prepared)
            for (sqlite3_stmt* st : list) sqlite3_finalize(st);
    }

    bool Prepare(const Statement& s) {
        std::vector<sqlite3_stmt*> list;
        for (const qv::tsql::Step& step : s.program->steps) {
            sqlite3_stmt* st = nullptr;
            if (sqlite3_prepare_v3(db.Handle(), step.sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr) != SQLITE_OK)
                return false;
            list.push_back(st);
        }
        prepared[s.id] = list;
        return true;
    }

    bool Run(const Statement& s) {
        if (s.writes) db.Exec("BEGIN");
        const bool ok = Step(s);
        if (s.writes) db.Exec("ROLLBACK");
        return ok;
    }

    bool Step(const Statement& s) {
        bool ok = true;
        for (sqlite3_stmt* st : prepared[s.id]) {
            int rows = 0, rc;
            while ((rc = sqlite3_step(st)) == SQLITE_ROW && !(s.search && ++rows == kFirstRows))
                benchmark::DoNotOptimize(sqlite3_column_type(st, 0));
            ok = ok && (rc == SQLITE_ROW || rc == SQLITE_DONE);
            sqlite3_reset(st);
        }
        return ok;
    }
};

std::vector<Statement>* g_statements = nullptr;

// Closes again the runs of the two latest window start days that the generated data has inside
// their window (set by main for the ".day" openings).
std::string g_closeLatestStartDays;

// The runs the opening finds on the generated data whose windows began on the two latest start
// days; prints how many, beside the most runs whose windows begin on any one day.
std::string CloseLatestStartDays(sqlite3* db) {
    const std::string zero = "'1899-12-30 00:00:00'", now = "datetime('now', 'localtime')";
    const std::string inWindow = "fGeschlossen = 1 AND dtAbgesagt = " + zero + " AND dtAnmeldenVon <> " + zero +
                                 " AND dtAnmeldenVon < " + now + " AND CASE WHEN dtAnmeldenBis = " + zero +
                                 " THEN dtDatum ELSE dtAnmeldenBis END > " + now;
    const std::string ids = ScalarText(
        db, "SELECT group_concat(lKursinstanzID) FROM Kursinstanz WHERE " + inWindow +
                " AND substr(dtAnmeldenVon, 1, 10) IN (SELECT DISTINCT substr(dtAnmeldenVon, 1, 10) FROM Kursinstanz "
                "WHERE " + inWindow + " ORDER BY 1 DESC LIMIT 2)");
    const std::int64_t count = ids.empty() ? 0 : std::int64_t(std::count(ids.begin(), ids.end(), ',')) + 1;
    std::printf("window starts: the generated data has %lld runs closed inside their window, %lld of them of the two "
                "latest start days; the most runs whose windows begin on one day: %lld\n",
                (long long)Scalar(db, "SELECT count(*) FROM Kursinstanz WHERE " + inWindow), (long long)count,
                (long long)Scalar(db, "SELECT max(n) FROM (SELECT count(*) AS n FROM Kursinstanz WHERE dtAnmeldenVon <> " +
                                          zero + " GROUP BY substr(dtAnmeldenVon, 1, 10))"));
    return ids.empty() ? std::string() : "UPDATE Kursinstanz SET fGeschlossen = 1 WHERE lKursinstanzID IN (" + ids + ")";
}

void RegisterAll(std::vector<Statement>& statements, Ado& ado, Direct& direct, Ado* pg) {
    for (Statement& s : statements) {
        if (!s.error.empty()) continue;
        auto* st = &s;
        if (pg && !s.daily && !s.day) {
            benchmark::RegisterBenchmark(("pg/" + s.id).c_str(), [st, pg](benchmark::State& state) {
                const COleVariant text(qv::FromUtf8(st->tsql).c_str());
                for (auto _ : state)
                    if (!pg->Run(*st, text)) {
                        st->pgError = "fails through ADO on PostgreSQL";
                        state.SkipWithError(st->pgError.c_str());
                        break;
                    }
            })->Unit(benchmark::kMillisecond)->MinTime(0.05);
        }
        if (s.daily || s.day) {
            // One opening inside a transaction, then the timed ones: after it they find nothing
            // more to open (".daily"), or the runs of the two latest start days, closed again
            // before each, untimed (".day").
            const std::string* again = s.day ? &g_closeLatestStartDays : nullptr;
            if (again && again->empty()) continue;
            const double minTime = again ? 0.2 : 0.05;
            benchmark::RegisterBenchmark(("ado/" + s.id).c_str(), [st, &ado, again](benchmark::State& state) {
                long level = 0;
                ado.connection->BeginTrans(&level);
                bool ok = ado.Execute(*st);
                for (auto _ : state) {
                    if (again) {
                        state.PauseTiming();
                        ok = ok && ado.Execute(*again);
                        state.ResumeTiming();
                    }
                    ok = ok && ado.Execute(*st);
                }
                ado.connection->RollbackTrans();
                if (!ok) state.SkipWithError("fails through ADO");
            })->Unit(benchmark::kMillisecond)->MinTime(minTime);
            if (!s.direct || !direct.Prepare(s)) {
                s.direct = false;
                continue;
            }
            benchmark::RegisterBenchmark(("direct/" + s.id).c_str(), [st, &direct, again](benchmark::State& state) {
                direct.db.Exec("BEGIN");
                bool ok = direct.Step(*st);
                for (auto _ : state) {
                    if (again) {
                        state.PauseTiming();
                        ok = ok && direct.db.Exec(*again) == SQLITE_OK;
                        state.ResumeTiming();
                    }
                    ok = ok && direct.Step(*st);
                }
                direct.db.Exec("ROLLBACK");
                if (!ok) state.SkipWithError("fails directly");
            })->Unit(benchmark::kMillisecond)->MinTime(minTime);
            continue;
        }
        benchmark::RegisterBenchmark(("ado/" + s.id).c_str(), [st, &ado](benchmark::State& state) {
            const COleVariant text(qv::FromUtf8(st->tsql).c_str());
            for (auto _ : state)
                if (!ado.Run(*st, text)) {
                    st->error = "fails through ADO";
                    state.SkipWithError(st->error.c_str());
                    break;
                }
        })->Unit(benchmark::kMillisecond)->MinTime(0.05);
        if (!s.direct || !direct.Prepare(s)) {
            s.direct = false;
            continue;
        }
        benchmark::RegisterBenchmark(("direct/" + s.id).c_str(), [st, &direct](benchmark::State& state) {
            for (auto _ : state)
                if (!direct.Run(*st)) {
                    state.SkipWithError("fails directly");
                    break;
                }
        })->Unit(benchmark::kMillisecond)->MinTime(0.05);
    }
}

// Collects each benchmark's time per iteration for the side-by-side table.
class Collector : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            if (r.error_occurred || r.iterations == 0) continue;
            const std::string name = r.benchmark_name();
            const double ms = r.real_accumulated_time * 1e3 / double(r.iterations);
            const std::size_t slash = name.find('/');
            const std::size_t end = name.find('/', slash + 1);
            const std::string kind = name.substr(0, slash), id = name.substr(slash + 1, end - slash - 1);
            for (Statement& s : *g_statements)
                if (s.id == id) (kind == "ado" ? s.adoMs : kind == "pg" ? s.pgMs : s.directMs) = ms;
        }
    }
};

void PrintPlan(sqlite3* db, const Statement& s) {
    std::printf("\n%s  %s\n", s.id.c_str(), s.name.c_str());
    for (const qv::tsql::Step& step : s.program->steps) {
        if (step.sql.empty()) continue;
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, ("EXPLAIN QUERY PLAN " + step.sql).c_str(), -1, &st, nullptr) != SQLITE_OK) continue;
        while (sqlite3_step(st) == SQLITE_ROW)
            std::printf("    %s\n", reinterpret_cast<const char*>(sqlite3_column_text(st, 3)));
        sqlite3_finalize(st);
    }
}

#ifdef QV_BENCH_WITH_PG
void PrintPgPlan(qv::sql::PgDb& db, const Statement& s) {
    std::printf("\n%s  %s (PostgreSQL)\n", s.id.c_str(), s.name.c_str());
    std::shared_ptr<const qv::tsql::Program> program;
    try {
        program = qv::tsql::TranslatePg(s.tsql);
    } catch (const std::exception& e) {
        std::printf("    %s\n", e.what());
        return;
    }
    for (const qv::tsql::Step& step : program->steps) {
        if (step.sql.empty() || !step.params.empty()) continue;
        if (step.kind != qv::tsql::StepKind::Query && step.kind != qv::tsql::StepKind::Modify) continue;
        qv::sql::PgRows rows;
        db.Begin();
        if (db.Query("EXPLAIN ANALYZE " + step.sql, &rows) == 0)
            for (const auto& r : rows.rows) std::printf("    %s\n", r[0].value_or("").c_str());
        else
            std::printf("    %s\n", db.LastError().description.c_str());
        db.Rollback();
    }
}
#endif

}  // namespace

int main(int argc, char** argv) {
    // --without-statistics: the same on a copy without sqlite_stat1 (run once with, once without).
    // --corpus=PATH: the statement corpus of a tree whose shared folder lies elsewhere.
    bool withoutStatistics = false;
    for (int i = 1; i < argc;) {
        const std::string arg = argv[i];
        if (arg == "--without-statistics")
            withoutStatistics = true;
        else if (arg.rfind("--corpus=", 0) == 0)
            g_corpus = arg.substr(9);
        else {
            ++i;
            continue;
        }
        for (int k = i; k + 1 < argc; ++k) argv[k] = argv[k + 1];
        --argc;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    qv::suite::InstallSuiteDatabase();
    qv::suite::SetSystemID(1);
    std::printf("SQL corpus: %s\n", CorpusPath().c_str());  // missing: ends here, before the canton is built
    EnsureDatabase();
    if (withoutStatistics) DropStatistics();
    std::printf("SQLite planner statistics: %s\n", withoutStatistics ? "none (sqlite_stat1 dropped)" : "as generated (ANALYZE)");

    Direct direct;
    const Ids ids = ChooseIds(direct.db.Handle());
    std::printf("ids: person %lld, run %lld, course %lld, group %lld, registration %lld, Mandant %lld, year %lld\n",
                (long long)ids.person, (long long)ids.run, (long long)ids.course, (long long)ids.group,
                (long long)ids.registration, (long long)ids.mandant, (long long)ids.year);
    g_closeLatestStartDays = CloseLatestStartDays(direct.db.Handle());
    std::vector<Statement> statements = LoadStatements(ids);
    AddUnnarrowed(statements);
    AddLetterWord(statements);
    AddRewrites(statements);
    AddCourseWords(statements);
    g_statements = &statements;
    Ado ado("sqlite:" + DatabasePath());
    Ado* pg = nullptr;
#ifdef QV_BENCH_WITH_PG
    // QV_CANTON_NO_PG=1: SQLite alone (the PostgreSQL canton takes long to build).
    const bool withPg = !std::getenv("QV_CANTON_NO_PG");
    if (withPg) EnsurePgDatabase();
    std::unique_ptr<Ado> pgAdo;
    if (withPg) pgAdo = std::make_unique<Ado>(qvbench::PgUrl());
    pg = pgAdo.get();
#endif
    RegisterAll(statements, ado, direct, pg);
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);

    std::printf("\n%-14s %10s %10s %7s %10s %7s  %s\n", "statement", "ADO ms", "direct ms", "ratio", "PG ms", "PG/ADO",
                "name");
    std::vector<const Statement*> order;
    for (const Statement& s : statements) order.push_back(&s);
    std::sort(order.begin(), order.end(), [](const Statement* a, const Statement* b) { return a->adoMs > b->adoMs; });
    // PostgreSQL answers over a socket and plans each text anew: its limit is 20 ms, the word
    // searches' to their first rows the same as SQLite's, but for the course search, which reads
    // the few courses and runs and is held to the plain limit.
    int over = 0, ratioOver = 0, pgOver = 0, pgTimed = 0;
    for (const Statement* s : order) {
        if (!s->error.empty()) {
            std::printf("%-14s %10s %10s %7s %10s %7s  %s: %s\n", s->id.c_str(), "-", "-", "-", "-", "-", s->name.c_str(),
                        s->error.c_str());
            continue;
        }
        if (s->adoMs < 0) continue;  // filtered out
        const double limit = s->search ? 100.0 : 10.0;
        // Only the form the module sends counts.
        over += !s->notSent && s->adoMs > limit;
        char ratio[16] = "-", directMs[16] = "-";
        if (s->directMs > 0) {
            std::snprintf(ratio, sizeof ratio, "%.2f", s->adoMs / s->directMs);
            std::snprintf(directMs, sizeof directMs, "%.4f", s->directMs);
            ratioOver += !s->notSent && s->adoMs / s->directMs > 2.0;
        }
        char pgMs[16] = "-", pgRatio[16] = "-";
        // The course search with the default options reads every course and run: 100 ms as well.
        const bool fewCourses = s->id.rfind("p02-4.120-04", 0) == 0 && s->id.find("4.120-04.") == std::string::npos;
        const double pgLimit = s->search && !fewCourses ? 100.0 : 20.0;
        const bool pgIsOver = !s->notSent && s->pgMs > pgLimit;
        if (s->pgMs > 0) {
            std::snprintf(pgMs, sizeof pgMs, "%.3f", s->pgMs);
            std::snprintf(pgRatio, sizeof pgRatio, "%.2f", s->pgMs / s->adoMs);
            pgTimed += !s->notSent;
            pgOver += pgIsOver;
        }
        std::printf("%-14s %10.4f %10s %7s %10s %7s  %s%s%s%s%s\n", s->id.c_str(), s->adoMs, directMs, ratio, pgMs, pgRatio,
                    s->name.c_str(), s->search ? " (first rows)" : "",
                    s->notSent    ? "  (not sent: replaced by its +now form)"
                    : s->adoMs > limit ? "  OVER"
                                       : "",
                    pgIsOver ? "  PG OVER" : "", s->pgError.empty() ? "" : ("  PG: " + s->pgError).c_str());
    }
    std::printf("\nSQLite: %d statements sent over their limit (10 ms, the word search 100 ms to its first rows); %d with "
                "ADO/direct > 2\n",
                over, ratioOver);
    if (pgTimed > 0)
        std::printf("PostgreSQL: %d of %d statements sent over their limit (20 ms, the word searches but the course search "
                    "100 ms to their first rows)\n",
                    pgOver, pgTimed);
    std::printf("(forms marked not sent are shown for comparison and not counted)\n");
    std::printf("\nplans of the slowest:\n");
    int shown = 0;
    for (const Statement* s : order)
        if (s->error.empty() && s->adoMs >= 0 && shown++ < 8) PrintPlan(direct.db.Handle(), *s);
#ifdef QV_BENCH_WITH_PG
    std::sort(order.begin(), order.end(), [](const Statement* a, const Statement* b) { return a->pgMs > b->pgMs; });
    qv::sql::PgDb pgDb;
    if (withPg && pgDb.Open(qvbench::PgUrl()) == 0) {
        shown = 0;
        for (const Statement* s : order)
            if (s->error.empty() && s->pgMs >= 0 && shown++ < 8) PrintPgPlan(pgDb, *s);
    }
#endif
    benchmark::Shutdown();
    return 0;
}
