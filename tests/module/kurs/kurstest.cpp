#include "kurstest.h"

#include "leftwork.h"

#include "qvregvalue.h"
#include "utf.h"
#include "wnd.h"

#include <cstdlib>

#ifdef QV_KURS_PG
#include "pgcluster.h"
#include "pgexec.h"
#include "qvdblookup.h"
#include "qvregistry.h"
#include "suitedbpg.h"
#include "tsqlerror.h"

#include <functional>
#include <csignal>
#include <regex>
#include <stdexcept>
#endif

namespace kurstest {

std::string W2U(const std::wstring& w) { return qv::ToUtf8(w); }
std::string U(const CString& s) { return s.ToUtf8(); }

#ifdef QV_KURS_PG
namespace {

// The tests take their databases from a pool; a new one is a copy of this one, which the first
// test of the run fills with the suite schema. A database whose test changed no table or view is
// put back to the template's rows for the next test, which takes a fraction of the time a copy
// does.
constexpr const char* kTemplate = "kurs_template";
constexpr int kPoolLock = 27000;  // + the pool slot: held by the test using that database

// The template's rows, kept aside, and what puts a used database's rows back to them (triggers
// off, as a restore does).
constexpr const char* kBaselineSql = R"(
CREATE SCHEMA kurs_baseline;
DO $$ DECLARE t record; n bigint; BEGIN
    FOR t IN SELECT tablename FROM pg_tables WHERE schemaname = 'public' LOOP
        EXECUTE format('SELECT count(*) FROM public.%I', t.tablename) INTO n;
        IF n > 0 THEN
            EXECUTE format('CREATE TABLE kurs_baseline.%I AS TABLE public.%I', t.tablename, t.tablename);
        END IF;
    END LOOP;
END $$;
CREATE FUNCTION kurs_baseline.reset() RETURNS void LANGUAGE plpgsql AS $$
DECLARE t record;
BEGIN
    SET LOCAL session_replication_role = replica;
    FOR t IN SELECT tablename FROM pg_tables WHERE schemaname = 'public' LOOP
        EXECUTE format('DELETE FROM public.%I', t.tablename);
    END LOOP;
    FOR t IN SELECT tablename FROM pg_tables WHERE schemaname = 'kurs_baseline' LOOP
        EXECUTE format('INSERT INTO public.%I SELECT * FROM kurs_baseline.%I', t.tablename, t.tablename);
    END LOOP;
END $$;
)";

std::string RunAdmin(qv::sql::PgDb& admin, const std::string& sql) {
    return admin.Exec(sql) == 0 ? std::string() : sql + ": " + admin.LastError().description;
}

bool Answers(qv::sql::PgDb& db, const std::string& sql) {
    qv::sql::PgRows rows;
    return db.Query(sql, &rows) == 0 && !rows.rows.empty() && rows.rows[0][0].value_or("f") != "f";
}

// Builds the template unless a test of the run has; the tests run in parallel processes, so one
// builds it and the others wait.
std::string EnsureTemplate(qv::sql::PgDb& admin) {
    std::string error = RunAdmin(admin, "SELECT pg_advisory_lock(26026)");
    if (error.empty() &&
        !Answers(admin, std::string("SELECT true FROM pg_database WHERE datistemplate AND datname = '") + kTemplate + "'")) {
        error = RunAdmin(admin, std::string("DROP DATABASE IF EXISTS ") + kTemplate);
        if (error.empty()) error = RunAdmin(admin, std::string("CREATE DATABASE ") + kTemplate);
        if (error.empty()) {
            qv::sql::PgDb tpl;
            if (tpl.Open(qvtest::PgClusterUrl() + "/" + kTemplate) != 0) error = tpl.LastError().description;
            else if (qv::suite::CreateSchemaPg(tpl, &error) != 0) error = "schema: " + error;
            else error = RunAdmin(tpl, kBaselineSql);
        }
        if (error.empty()) error = RunAdmin(admin, std::string("ALTER DATABASE ") + kTemplate + " IS_TEMPLATE true");
    }
    RunAdmin(admin, "SELECT pg_advisory_unlock(26026)");
    return error;
}

// Takes a free slot of the pool for as long as `admin` stays open and names its database; copies
// the template when the slot has none. Whether the database is a used one is in `used`.
std::string ClaimPgDatabase(qv::sql::PgDb& admin, std::string* name, bool* used) {
    if (admin.Open(qvtest::PgClusterUrl() + "/postgres") != 0) return "cluster: " + admin.LastError().description;
    std::string error = EnsureTemplate(admin);
    if (!error.empty()) return error;
    for (int slot = 0;; ++slot) {
        if (slot == 256) return "no free slot in the pool of test databases";
        if (Answers(admin, "SELECT pg_try_advisory_lock(" + std::to_string(kPoolLock + slot) + ")")) {
            *name = "kurs_pool_" + std::to_string(slot);
            break;
        }
    }
    *used = Answers(admin, "SELECT true FROM pg_database WHERE datname = '" + *name + "'");
    if (*used) {
        // The sessions of the test that had it may still be closing.
        return RunAdmin(admin, "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = '" + *name +
                                   "' AND pid <> pg_backend_pid()");
    }
    return RunAdmin(admin, "CREATE DATABASE " + *name + " TEMPLATE " + kTemplate + " STRATEGY FILE_COPY");
}

// A value as SQLite's text gives it: a whole real keeps its ".0", a truth is 1 or 0.
std::string SqliteText(const std::string& text, std::uint32_t type) {
    switch (type) {
        case 16: return text == "t" ? "1" : "0";
        case 700:
        case 701:
            return text.find_first_of(".eEIN") == std::string::npos ? text + ".0" : text;
        default: return text;
    }
}

std::string ReplaceAll(std::string text, const std::regex& pattern,
                       const std::function<std::string(const std::smatch&)>& with) {
    std::string out;
    std::smatch m;
    while (std::regex_search(text, m, pattern)) {
        out += m.prefix().str() + with(m);
        text = m.suffix().str();
    }
    return out + text;
}

}  // namespace

void UsePgSuiteDatabase(std::unique_ptr<qv::sql::PgDb>& admin, std::string& name, std::unique_ptr<qv::sql::PgDb>& pg) {
    admin = std::make_unique<qv::sql::PgDb>();
    bool used = false;
    ASSERT_EQ(ClaimPgDatabase(*admin, &name, &used), "");
    const std::string url = qvtest::PgClusterUrl() + "/" + name;
    ASSERT_TRUE(CQvRegistry::SetValue(L"Software\\Qovaro\\QvDBServer\\Qovaro.NQ2", L"DBConnection",
                                      CString(qv::FromUtf8(url).c_str())));
    pg = std::make_unique<qv::sql::PgDb>();
    ASSERT_EQ(pg->Open(url), 0) << pg->LastError().description;
    if (used) {
        ASSERT_EQ(pg->Exec("SELECT kurs_baseline.reset()"), 0) << pg->LastError().description;
    }
    ASSERT_EQ(qv::suite::SetSystemIDPg(*pg, 7), 0) << pg->LastError().description;
}

std::string PgValueText(const std::string& text, std::uint32_t type) { return SqliteText(text, type); }

qv::sql::PgRun PgRunTestSql(qv::sql::PgDb& pg, const std::string& sql, std::map<std::string, std::string>& triggerTables,
                            bool& dirty, bool bQuery) {
    bool changesSchema = false;
    const std::string plain = PgDialect(sql, triggerTables, &changesSchema);
    dirty = dirty || changesSchema;
    if (plain.empty()) return qv::sql::RunBatch(pg, sql);
    qv::sql::PgRun run;
    if ((bQuery ? pg.Query(plain, &run.result) : pg.Exec(plain)) != 0)
        throw std::runtime_error(pg.LastError().description + "\n" + plain);
    return run;
}

std::string PgDialect(const std::string& sql, std::map<std::string, std::string>& triggerTables, bool* changesSchema) {
    static const std::regex ddl(R"(^\s*(CREATE|DROP|ALTER)\s)", std::regex::icase);
    static const std::regex sqliteOnly(R"('localtime'|\b(date|length|ifnull|group_concat|substr)\(|\|\||INSERT OR REPLACE|\bLIMIT\b|^\s*WITH\b|\b(strftime|printf)\()");
    *changesSchema = std::regex_search(sql, ddl);
    if (!*changesSchema && !std::regex_search(sql, sqliteOnly)) return {};
    static const std::regex stamp(R"(\bdatetime\('now',\s*'localtime'\))");
    std::string out = std::regex_replace(sql, stamp, "date_trunc('second', LOCALTIMESTAMP)");
    static const std::regex now(R"('now', 'localtime'\))");
    out = std::regex_replace(out, now, "'now', 'localtime', '0 days')");
    static const std::regex dayStart(R"(date\('now', 'localtime', '([^']*)'\) \|\| ' 00:00:00')");
    out = std::regex_replace(out, dayStart, "date_trunc('day', LOCALTIMESTAMP + interval '$1')");
    static const std::regex dateTime(R"(datetime\('now', 'localtime', '([^']*)'\))");
    out = std::regex_replace(out, dateTime, "date_trunc('second', LOCALTIMESTAMP + interval '$1')");
    static const std::regex day(R"(date\('now', 'localtime', '([^']*)'\))");
    out = std::regex_replace(out, day, "CAST(LOCALTIMESTAMP + interval '$1' AS date)");
    static const std::regex columnDay(R"(\bdate\((\w+)\))");
    out = std::regex_replace(out, columnDay, "CAST($1 AS date)");
    static const std::regex ifNull(R"(\bifnull\((\w+), ('[^']*')\))");
    out = std::regex_replace(out, ifNull, "coalesce(CAST($1 AS text), $2)");
    // The tests' replacements set the last column of the row the other columns name.
    static const std::regex replace(R"(INSERT OR REPLACE INTO (\w+) \(([^)]*), (\w+)\) VALUES (.*))");
    out = std::regex_replace(out, replace, "INSERT INTO $1 ($2, $3) VALUES $4 ON CONFLICT ($2) DO UPDATE SET $3 = EXCLUDED.$3");
    static const std::regex groupConcatWith(R"(\bgroup_concat\(([^()]+?), ('[^']*')\))");
    out = std::regex_replace(out, groupConcatWith, "string_agg(CAST($1 AS text), $2)");
    static const std::regex groupConcat(R"(\bgroup_concat\(([^()]+?)\))");
    out = std::regex_replace(out, groupConcat, "string_agg(CAST($1 AS text), ',')");
    static const std::regex year(R"(\bstrftime\('%Y', (\w+)\))");
    out = std::regex_replace(out, year, "to_char($1, 'YYYY')");
    static const std::regex twoDecimals(R"(\bprintf\('%\.2f', (\w+)\))");
    out = std::regex_replace(out, twoDecimals, "to_char($1, 'FM999999990.00')");
    // PostgreSQL names every derived table.
    static const std::regex derived(R"(FROM \(SELECT .*\)\s*$)");
    if (std::regex_search(out, derived)) out += " AS derived";
    static const std::regex columnSubstr(R"(\bsubstr\((\w+),)");
    out = std::regex_replace(out, columnSubstr, "substr(CAST($1 AS text),");
    // A trigger that refuses only some rows: the condition goes to the trigger's WHEN.
    static const std::regex refuseWhen(
        R"(CREATE TRIGGER (\w+) BEFORE (INSERT|UPDATE|DELETE) ON (\w+) WHEN (.+?) BEGIN SELECT RAISE\(ABORT, '([^']*)'\); END)");
    out = ReplaceAll(out, refuseWhen, [&](const std::smatch& m) {
        triggerTables[m[1].str()] = m[3].str();
        return "CREATE OR REPLACE FUNCTION " + m[1].str() + "_refuse() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN RAISE EXCEPTION '" +
               m[5].str() + "'; END $$; CREATE TRIGGER " + m[1].str() + " BEFORE " + m[2].str() + " ON " + m[3].str() +
               " FOR EACH ROW WHEN (" + m[4].str() + ") EXECUTE FUNCTION " + m[1].str() + "_refuse()";
    });
    static const std::regex refuse(
        R"(CREATE TRIGGER (\w+) BEFORE (INSERT|UPDATE|DELETE) ON (\w+) BEGIN SELECT RAISE\(ABORT, '([^']*)'\); END)");
    out = ReplaceAll(out, refuse, [&](const std::smatch& m) {
        triggerTables[m[1].str()] = m[3].str();
        return "CREATE OR REPLACE FUNCTION " + m[1].str() + "_refuse() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN RAISE EXCEPTION '" +
               m[4].str() + "'; END $$; CREATE TRIGGER " + m[1].str() + " BEFORE " + m[2].str() + " ON " + m[3].str() +
               " FOR EACH ROW EXECUTE FUNCTION " + m[1].str() + "_refuse()";
    });
    // The schema's own triggers are named after their table.
    static const std::regex dropTrigger(R"(DROP TRIGGER (\w+))");
    out = ReplaceAll(out, dropTrigger, [&](const std::smatch& m) {
        const auto it = triggerTables.find(m[1].str());
        const std::string table = it != triggerTables.end() ? it->second : m[1].str().substr(0, m[1].str().find('_'));
        return "DROP TRIGGER " + m[1].str() + " ON " + table;
    });
    return out;
}
#endif

void KursTest::SetUp() {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    qv::ui::EnsureApplication();
    env = std::make_unique<qvtest::ServerEnvironment>();

    qv::suite::InstallSuiteDatabase();
    qv::suite::SetSystemID(7);
#ifdef QV_KURS_PG
    ASSERT_NO_FATAL_FAILURE(UsePgSuiteDatabase(pgAdmin_, pgName, pg));
#else
    db = std::make_unique<qv::sql::SqliteDb>();
    ASSERT_EQ(db->Open("sqlite:" + env->SuiteDatabase()), SQLITE_OK) << db->LastError().description;
    std::string error;
    ASSERT_EQ(qv::suite::CreateSchema(db->Handle(), &error), SQLITE_OK) << error;
#endif
    ASSERT_EQ(qv::servers::StartRunningServer(QVDBSERVER_PROGID), S_OK);

    ASSERT_TRUE(qvtest::RegisterProgId(QVUSERLOG_PROGID, CLSID_UserLog));
    frame.Offer(CLSID_UserLog);
    running_.push_back(std::make_unique<qvtest::ScopedRunningServer>(QV_FRAME_PROGID, &frame));
    running_.push_back(std::make_unique<qvtest::ScopedRunningServer>(QVUSERLOG_PROGID, &userLog));
    running_.push_back(std::make_unique<qvtest::ScopedRunningServer>(QV_EVENTSERVER_PROGID, &eventServer));
    running_.push_back(std::make_unique<qvtest::ScopedRunningServer>(QVOPTIONSERVER_PROGID, &optionServer));
    running_.push_back(std::make_unique<qvtest::ScopedRunningServer>(QVSECSERVER_PROGID,
                                                                     static_cast<IQvSecServer*>(&secServer)));

    script.OnFailure([](const std::string& m) { ADD_FAILURE() << "interaction: " << m; });
    previousInteraction_ = qv::SetInteraction(&script);
    Central(false);
    kurs::ForgetDefaultPersonKursStatus();
}

void KursTest::TearDown() {
    // A worker a closed window left behind ends before its database, its servers and, after the
    // last test, the process's statics go, as at the program's end.
    QvEndLeftWork(10000);
    EXPECT_EQ(script.Pending(), 0u) << "expected boxes or dialogs that never came";
    qv::SetInteraction(previousInteraction_);
    running_.clear();
    qv::servers::StopRunningServer(QVDBSERVER_PROGID);
    qv::nq::SetEnterpriseEdition(std::nullopt);
    kurs::ForgetDefaultPersonKursStatus();
    db.reset();
#ifdef QV_KURS_PG
    pg.reset();
    // A changed table, view or setting would reach the next test: such a database goes.
    if (pgAdmin_ && pgDirty_) RunAdmin(*pgAdmin_, "DROP DATABASE IF EXISTS " + pgName + " WITH (FORCE)");
    pgAdmin_.reset();
#endif
    env.reset();
}

#ifdef QV_KURS_PG
void ExecTestSql(qv::sql::PgDb& pg, const std::string& sql, std::map<std::string, std::string>& triggerTables,
                 bool& dirty) {
    try {
        PgRunTestSql(pg, sql, triggerTables, dirty, false);
    } catch (const std::exception& e) {
        FAIL() << e.what() << "\n" << sql;
    }
}
#else
void ExecTestSql(sqlite3* db, const std::string& sql) {
    char* err = nullptr;
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err);
    EXPECT_EQ(rc, SQLITE_OK) << (err ? err : "") << "\n" << sql;
    sqlite3_free(err);
}
#endif

void KursTest::Sql(const std::string& sql) {
#ifdef QV_KURS_PG
    ExecTestSql(*pg, sql, triggerTables_, pgDirty_);
#else
    ExecTestSql(db->Handle(), sql);
#endif
}

std::vector<std::string> KursTest::Rows(const std::string& sql) {
#ifdef QV_KURS_PG
    std::vector<std::string> pgRows;
    try {
        const qv::sql::PgRun run = PgRunTestSql(*pg, sql, triggerTables_, pgDirty_, true);
        const auto& types = run.result.types;
        for (const auto& values : run.result.rows) {
            std::string row;
            for (std::size_t i = 0; i < values.size(); ++i) {
                if (i > 0) row += '|';
                row += values[i] ? SqliteText(*values[i], i < types.size() ? types[i] : 0) : "NULL";
            }
            pgRows.push_back(row);
        }
    } catch (const std::exception& e) {
        ADD_FAILURE() << e.what() << "\n" << sql;
    }
    return pgRows;
#endif
    sqlite3_stmt* stmt = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db->Handle(), sql.c_str(), -1, &stmt, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db->Handle()) << "\n" << sql;
    std::vector<std::string> rows;
    while (stmt && sqlite3_step(stmt) == SQLITE_ROW) {
        std::string row;
        for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
            if (i > 0) row += '|';
            const auto* t = sqlite3_column_text(stmt, i);
            row += t ? reinterpret_cast<const char*>(t) : "NULL";
        }
        rows.push_back(row);
    }
    sqlite3_finalize(stmt);
    return rows;
}

#ifdef QV_KURS_PG
int StopOwnServerProcess(qv::sql::PgDb& db) {
    // The thread's connection is the one that last ran a statement only this call sends.
    long mark = 0;
    if (QvDBLookupLong(L"47110815", L"System", L"", &mark, L"Qovaro.NQ2") != S_OK) return 0;
    qv::sql::PgRows rows;
    // A transaction of `db` would see the activity as it was at its first look.
    db.Exec("SELECT pg_stat_clear_snapshot()");
    if (db.Query("SELECT pid FROM pg_stat_activity WHERE query LIKE '%47110815%' AND pid <> pg_backend_pid() "
                 "AND datname = current_database()", {},
                  &rows) != 0 ||
        rows.rows.size() != 1)
        return 0;
    const int pid = std::stoi(rows.rows[0][0].value_or("0"));
    return pid > 0 && kill(pid, SIGSTOP) == 0 ? pid : 0;
}
#endif

long long KursTest::Int(const std::string& sql) {
    auto rows = Rows(sql);
    EXPECT_EQ(rows.size(), 1u) << sql;
    return rows.empty() ? -999 : std::atoll(rows.front().c_str());
}

std::string KursTest::Text(const std::string& sql) {
    auto rows = Rows(sql);
    EXPECT_EQ(rows.size(), 1u) << sql;
    return rows.empty() ? std::string() : rows.front();
}

static std::string Quote(const std::string& s) {
    std::string out = "'";
    for (char c : s) {
        if (c == '\'') out += '\'';
        out += c;
    }
    return out + "'";
}

long KursTest::AddMandant(const std::string& name, bool notify) {
    const long id = ++nextID_;
    Sql("INSERT INTO Mandant (lMandantID, strMandantName, fKursNotification) VALUES (" + std::to_string(id) + ", " +
        Quote(name) + ", " + (notify ? "1" : "0") + ")");
    return id;
}

long KursTest::AddPerson(const std::string& name, const std::string& vorname, long mandant) {
    const long id = ++nextID_;
    Sql("INSERT INTO Person (lPersonID, lMandantID, strName, strVorname) VALUES (" + std::to_string(id) + ", " +
        std::to_string(mandant) + ", " + Quote(name) + ", " + Quote(vorname) + ")");
    return id;
}

long KursTest::AddKurs(long typ, const std::string& kurz, bool multi) {
    const long id = ++nextID_;
    Sql("INSERT INTO Kurs (lKursID, lTyp, strKurzbezeichnung, strBezeichnung, fMultiregistration) VALUES (" +
        std::to_string(id) + ", " + std::to_string(typ) + ", " + Quote(kurz) + ", " + Quote(kurz + " Kurs") + ", " +
        (multi ? "1" : "0") + ")");
    return id;
}

long KursTest::AddRun(long kurs, const std::string& date, bool closed) {
    const long id = ++nextID_;
    Sql("INSERT INTO Kursinstanz (lKursinstanzID, lKursID, dtDatum, fGeschlossen) VALUES (" + std::to_string(id) +
        ", " + std::to_string(kurs) + ", '" + date + " 00:00:00', " + (closed ? "1" : "0") + ")");
    return id;
}

long KursTest::AddReg(long person, long kurs, long run, long status, const std::string& date, bool teilnehmer) {
    const long id = ++nextID_;
    Sql("INSERT INTO PersonKurs (lPersonKursID, lPersonID, lKursID, lKursinstanzID, lStatus, dtDatum, fTeilnehmer) "
        "VALUES (" +
        std::to_string(id) + ", " + std::to_string(person) + ", " + std::to_string(kurs) + ", " + std::to_string(run) +
        ", " + std::to_string(status) + ", '" + date + " 00:00:00', " + (teilnehmer ? "1" : "0") + ")");
    return id;
}

void KursTest::AddAbsence(long person, const std::string& start, const std::string& end, const std::string& grund) {
    const long grundID = ++nextID_;
    Sql("INSERT INTO Absenzgrund (lAbsenzgrundID, strBezeichnung) VALUES (" + std::to_string(grundID) + ", " +
        Quote(grund) + ")");
    Sql("INSERT INTO Personabsenz (lPersonabsenzID, lPersonID, lAbsenzgrundID, dtStart, dtEnde) VALUES (" +
        std::to_string(++nextID_) + ", " + std::to_string(person) + ", " + std::to_string(grundID) + ", '" + start +
        " 00:00:00', '" + end + " 00:00:00')");
}

std::string KursTest::Guid(const std::string& table, long id) {
    return Text("SELECT guid FROM " + table + " WHERE l" + table + "ID = " + std::to_string(id));
}

std::wstring KursTest::PersonName(long id) {
    return qv::FromUtf8(Text("SELECT fn_GetPersonBezeichnung(" + std::to_string(id) + ", 'A')"));
}

}  // namespace kurstest
