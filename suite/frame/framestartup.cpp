#include "framestartup.h"
#include "adosession.h"
#include "guid.h"
#include "qvadoconnection.h"
#include "qvdblookup.h"
#include "optionserver.h"
#include "dbfile.h"
#include "demodata.h"
#include "frameusage.h"
#include "qvcomserver.h"
#include "qvregistry.h"
#include "qvregvalue.h"
#include "qvsecint.h"
#include "sqlitedb.h"
#include "suitedb.h"
#ifdef QV_FRAME_PG
#include "pgdb.h"
#include "suitedbpg.h"
#endif
#include "trace.h"
#include "utf.h"

#include <cstdlib>
#include <dlfcn.h>
#include <sqlite3.h>
#include <cctype>
#include <filesystem>
#include <optional>
#include <regex>
#include <set>
#include <sstream>

#ifndef QV_FRAME_SERVER_MODULES
#define QV_FRAME_SERVER_MODULES ""
#endif
#ifndef QV_FRAME_MODULES
#define QV_FRAME_MODULES ""
#endif

namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::stringstream in(text);
    for (std::string part; std::getline(in, part, separator);)
        if (!part.empty()) parts.push_back(part);
    return parts;
}

}  // namespace

bool QvFrameParseArguments(const std::vector<std::string>& args, QvFrameOptions& options, std::string* error) {
    auto fail = [&](const std::string& text) {
        if (error) *error = text;
        return false;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        std::optional<std::string> joined;
        if (const auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            joined = arg.substr(eq + 1);
            arg.erase(eq);
        }
        // The value of an option that takes one; nullopt when it is missing.
        auto value = [&]() -> std::optional<std::string> {
            if (joined) return joined->empty() ? std::nullopt : joined;
            if (i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0 && !args[i + 1].empty()) return args[++i];
            return std::nullopt;
        };
        std::string* target = nullptr;
        const char* what = nullptr;
        if (arg == "--db") {
            target = &options.database;
            what = "PATH";
        } else if (arg == "--user") {
            target = &options.user;
            what = "NAME";
        } else if (arg == "--screenshot") {
            target = &options.screenshot;
            what = "FILE";
        } else if (arg == "--view") {
            target = &options.view;
            what = "PROGID";
        }
        if (target) {
            const auto v = value();
            if (!v) return fail(arg + " needs a value (" + arg + " " + what + ")");
            *target = *v;
            continue;
        }
        if (joined) return fail(arg + " takes no value");
        if (arg == "--central") {
            options.central = true;
        } else if (arg == "--create") {
            options.create = true;
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else {
            return fail("unknown argument '" + args[i] + "'");
        }
    }
    if (options.create && options.database.empty()) return fail("--create needs --db PATH");
    return true;
}

std::string QvFrameUsage() {
    // The same text that ./run --help prints without building anything.
    return kFrameUsage;
}

std::string QvFrameDefaultDatabase() {
    std::string base;
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data)
        base = data;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::string(home) + "/.local/share";
    else
        base = ".";
    return base + "/qovaro/nq2.sqlite";
}

namespace {

#ifdef QV_FRAME_PG
// The address as it may be shown: without a password.
std::string ShownAddress(const std::string& url) {
    const std::size_t user = url.find("://");
    const std::size_t at = url.find('@', user == std::string::npos ? 0 : user + 3);
    if (user == std::string::npos || at == std::string::npos) return url;
    const std::size_t colon = url.find(':', user + 3);
    return colon < at ? url.substr(0, colon) + url.substr(at) : url;
}
#endif

// The triggers, views and functions the last prepared database holds beyond the suite's schema.
std::vector<std::string> foreignObjects;

// Names them in the trace: they run inside the suite's statements.
void TraceForeignObjects(const std::string& database) {
    for (const std::string& object : foreignObjects)
        OutputDebugStringW(qv::FromUtf8("qvframe: " + database + " holds the " + object +
                                        ", which the suite's schema does not define\n")
                               .c_str());
}

// Files that passed the quick check, with the state they had, kept in the registry.
const qv::suite::CheckedFiles& CheckedInRegistry() {
    static const qv::suite::CheckedFiles checked{
        [](const std::string& path) {
            CString state;
            CQvRegistry::GetValue(L"Software\\Qovaro\\QvFrame\\CheckedDatabases", CString(qv::FromUtf8(path)).GetString(), state);
            return state.ToUtf8();
        },
        [](const std::string& path, const std::string& state) {
            CQvRegistry::SetValue(L"Software\\Qovaro\\QvFrame\\CheckedDatabases", CString(qv::FromUtf8(path)).GetString(),
                                  CString(qv::FromUtf8(state)));
        }};
    return checked;
}

#ifdef QV_FRAME_PG
// The triggers, views, functions and procedures of a server database that its schema script
// does not make ("trigger name", ...); functions of installed extensions are not named.
std::vector<std::string> ForeignServerObjects(qv::sql::PgDb& db) {
    static const std::set<std::string> own = [] {
        std::set<std::string> names;
        const std::string sql(qv::suite::SchemaPgSql());
        static const std::regex create(R"(CREATE\s+(?:OR\s+REPLACE\s+)?(TRIGGER|VIEW|FUNCTION|PROCEDURE)\s+(?:\w+\.)?"?(\w+))",
                                       std::regex::icase);
        for (std::sregex_iterator it(sql.begin(), sql.end(), create), end; it != end; ++it) {
            std::string kind = (*it)[1], name = (*it)[2];
            for (char& c : kind) c = char(std::tolower(static_cast<unsigned char>(c)));
            for (char& c : name) c = char(std::tolower(static_cast<unsigned char>(c)));
            names.insert((kind == "procedure" ? std::string("function") : kind) + " " + name);
        }
        // The script makes the NULL-to-default trigger <table>_defaults, and its function, for
        // every table it creates with a default or an integer key.
        for (std::size_t at = sql.find("\nCREATE TABLE "); at != std::string::npos; at = sql.find("\nCREATE TABLE ", at + 1)) {
            const std::size_t from = at + 14, to = sql.find("\n);", from);
            std::string name = sql.substr(from, sql.find_first_of(" (", from) - from);
            const std::string columns = sql.substr(from, to - from);
            if (columns.find(" DEFAULT ") == std::string::npos && columns.find(" integer PRIMARY KEY") == std::string::npos)
                continue;
            for (char& c : name) c = char(std::tolower(static_cast<unsigned char>(c)));
            names.insert("trigger " + name + "_defaults");
            names.insert("function " + name + "_defaults");
        }
        return names;
    }();
    qv::sql::PgRows rows;
    std::vector<std::string> foreign;
    if (db.Query("SELECT 'trigger ' || lower(t.tgname) FROM pg_trigger t JOIN pg_class c ON c.oid = t.tgrelid JOIN "
                 "pg_namespace n ON n.oid = c.relnamespace WHERE NOT t.tgisinternal AND n.nspname NOT IN "
                 "('pg_catalog', 'information_schema') UNION SELECT 'view ' || lower(viewname) FROM pg_views WHERE "
                 "schemaname NOT IN ('pg_catalog', 'information_schema') UNION SELECT 'function ' || lower(p.proname) "
                 "FROM pg_proc p JOIN pg_namespace n ON n.oid = p.pronamespace WHERE n.nspname NOT IN ('pg_catalog', "
                 "'information_schema') AND n.nspname NOT LIKE 'pg\\_%' AND NOT EXISTS (SELECT 1 FROM pg_depend d "
                 "WHERE d.objid = p.oid AND d.deptype = 'e') ORDER BY 1",
                 &rows) != 0)
        return foreign;
    for (const auto& row : rows.rows) {
        const std::string object = row.at(0).value_or("");
        if (!object.empty() && !own.count(object)) foreign.push_back(object);
    }
    return foreign;
}
#endif

// What a new database holds for the one who made it, so that he can work in it as the demo's
// administrator can: the installation's own Mandant, himself as a user, the right to everything on
// that Mandant's records, the settings the demo installation starts with and the course module's
// reports. His role comes with the security server's tables (QvFrameAdministerNewDatabase).
std::string NewDatabaseRows(const std::string& user) {
    std::string name;
    for (char c : user) name += c == '\'' ? std::string("''") : std::string(1, c);
    std::string sql = "BEGIN;INSERT INTO Mandant (lMandantID, strMandantName, strMandantTyp, fActive) VALUES (1, '" +
                      std::string(kNewDatabaseMandant) + "', 'Feuerwehr', 1);"
                      "INSERT INTO QvSecUser (lQvSecUserID, strUserID, strName) VALUES (1, '" +
                      qv::ToUtf8(qv::GuidToString(qv::NewGuid(), false)) + "', '" + name +
                      "');INSERT INTO SecMandant (lSecMandantID, lMandantID, lTableID, lQvSecUserID, lRight) VALUES ";
    // The tables whose records the searches and record windows check against SecMandant.
    const int tables[] = {0, 4, 6, 7, 20, 33, 39, 42, 45, 54, 57, 70, 71, 149};
    for (std::size_t i = 0; i < std::size(tables); ++i)
        sql += (i ? ", (" : "(") + std::to_string(i + 1) + ", 1, " + std::to_string(tables[i]) + ", 1, -1)";
    const auto guid = [] { return qv::ToUtf8(qv::GuidToString(qv::NewGuid(), false)); };
    return sql + ";" + std::string(qv::suite::InstallationSettingsSql()) + ";" +
           qv::suite::CourseReportsSql({guid(), guid(), guid()}) + ";COMMIT;";
}

// A server database is used as a file is: only with the suite's schema of this version; an empty
// one gets the schema when asked for; anything else is refused and not touched.
bool PrepareServerDatabase(const std::string& url, bool create, const std::string& user, bool* created,
                           std::string* message) {
#ifdef QV_FRAME_PG
    std::string text;
    const auto refuse = [&](const std::string& why) {
        if (message) *message = why;
        return false;
    };
    qv::sql::PgDb db;
    if (db.Open(url) != 0) return refuse(ShownAddress(url) + " cannot be opened: " + db.LastError().description);
    const int version = qv::suite::SchemaVersionPg(db);
    if (version == qv::suite::kSchemaVersion) {
        foreignObjects = ForeignServerObjects(db);
        TraceForeignObjects(ShownAddress(url));
        // Everything else works without what it could not mend: the start goes on and says what will not.
        if (qv::suite::MendSchemaPg(db, &text) != 0 && message)
            *message = ShownAddress(url) + ": " + text;
        return true;
    }
    if (version > 0)
        return refuse(ShownAddress(url) + " has schema version " + std::to_string(version) +
                      "; this program works with version " + std::to_string(qv::suite::kSchemaVersion) + ".");
    if (version < 0) return refuse(ShownAddress(url) + " cannot be read: " + db.LastError().description);
    qv::sql::PgRows rows;
    if (db.Query("SELECT count(*) FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace WHERE c.relkind IN "
                 "('r', 'v', 'm', 'p', 'f') AND n.nspname NOT IN ('pg_catalog', 'information_schema') AND "
                 "n.nspname NOT LIKE 'pg\\_%'",
                 &rows) != 0 ||
        rows.rows.empty())
        return refuse(ShownAddress(url) + " cannot be read: " + db.LastError().description);
    if (rows.rows[0].at(0).value_or("0") != "0")
        return refuse(ShownAddress(url) + " is no database of the suite (it has no schema version); it was left as it is.");
    if (!create) return refuse(ShownAddress(url) + " is empty (--create makes the suite schema there)");
    if (qv::suite::CreateSchemaPg(db, &text) != 0) return refuse(ShownAddress(url) + ": the schema cannot be made: " + text);
    if (db.Exec(NewDatabaseRows(user)) != 0)
        return refuse(ShownAddress(url) + ": the first user cannot be made: " + db.LastError().description);
    if (created) *created = true;
    return true;
#else
    (void)create, (void)user, (void)created;
    if (message) *message = "this program was built without PostgreSQL: " + url;
    return false;
#endif
}

}  // namespace

bool QvFramePrepareDatabase(const QvFrameOptions& options, std::string* path, std::string* message,
                            bool* readOnly, bool* created) {
    namespace fs = std::filesystem;
    qv::suite::DatabaseFile found;
    std::string error;
    if (readOnly) *readOnly = false;
    if (created) *created = false;
    foreignObjects.clear();
    if (!options.database.empty()) {
        // A server's address is passed on as it stands (taken as a file name it would become an
        // SQLite file in a folder named "postgresql:").
        if (QvFrameIsServerDatabase(options.database)) {
            *path = options.database;
            return PrepareServerDatabase(options.database, options.create, QvFrameUser(options), created, message);
        }
        std::error_code ec;
        *path = fs::absolute(options.database, ec).string();
        // Whether this start makes the database (PrepareSuiteDatabase tells what it leaves).
        bool making = false;
        if (options.create) {
            const auto kind = qv::suite::InspectDatabaseFile(*path, &CheckedInRegistry()).kind;
            making = kind == qv::suite::DatabaseKind::Missing || kind == qv::suite::DatabaseKind::Empty;
        }
        if (!qv::suite::PrepareSuiteDatabase(*path, options.create, &found, &error, &CheckedInRegistry())) {
            if (message) {
                *message = error;
                if (!options.create &&
                    (found.kind == qv::suite::DatabaseKind::Missing || found.kind == qv::suite::DatabaseKind::Empty))
                    *message += " (--create makes a new one)";
            }
            return false;
        }
        if (making) {
            // Made just now: its maker is its first user.
            qv::sql::SqliteDb db;
            if (db.Open("sqlite:" + *path) != SQLITE_OK || db.Exec(NewDatabaseRows(QvFrameUser(options))) != SQLITE_OK) {
                if (message) *message = *path + ": the first user cannot be made: " + db.LastError().description;
                return false;
            }
            if (created) *created = true;
        }
        if (readOnly) *readOnly = found.readOnly;
        foreignObjects = found.foreignObjects;
        TraceForeignObjects(*path);
        return true;
    }
    *path = QvFrameDefaultDatabase();
    found = qv::suite::InspectDatabaseFile(*path, &CheckedInRegistry());
    if (found.kind != qv::suite::DatabaseKind::Missing &&
        (found.kind != qv::suite::DatabaseKind::Empty || found.readOnly)) {
        // The demo database is made once; whatever else lies in its place is not touched.
        if (!qv::suite::PrepareSuiteDatabase(*path, false, &found, &error, &CheckedInRegistry())) {
            if (message) *message = error;
            return false;
        }
        if (readOnly) *readOnly = found.readOnly;
        foreignObjects = found.foreignObjects;
        TraceForeignObjects(*path);
        return true;
    }
    qv::suite::DemoFileOptions demo;
    demo.path = *path;
    qv::suite::DemoFileReport report;
    if (qv::suite::MakeDemoDatabase(demo, &report, &error) != qv::suite::DemoFileResult::Built) {
        if (message) *message = "the demo database cannot be made: " + error;
        return false;
    }
    if (message) *message = "demo database made: " + *path;
    return true;
}

const std::vector<std::string>& QvFrameForeignObjects() { return foreignObjects; }

void QvFrameRememberDatabase(const std::string& database) {
    if (database.empty() || QvFrameIsServerDatabase(database)) return;
    // This thread's idle connections go first, so that the file holds all that was written.
    qv::ado::Session::ReleasePool();
    qv::suite::RememberOwnWrites(database, &CheckedInRegistry());
}

bool QvFrameIsServerDatabase(const std::string& database) {
    const std::size_t end = database.find("://");
    if (end == std::string::npos) return false;
    std::string scheme = database.substr(0, end);
    for (char& c : scheme) c = char(std::tolower(static_cast<unsigned char>(c)));
    return scheme == "postgresql" || scheme == "postgres";
}

namespace {

// The users a server database knows, by name, and whether `user` is one of them.
bool ServerUsers(const std::string& database, const std::string& user, bool* found, std::string* known,
                 std::string* message) {
#ifdef QV_FRAME_PG
    qv::sql::PgDb db;
    qv::sql::PgRows rows;
    // Signed in by name, user id or number, as the security server does.
    if (db.Open(database) != 0 ||
        db.Query("SELECT strName, lower(strName) = lower($1) OR lower(strUserID) = lower($1) OR "
                 "CAST(lQvSecUserID AS text) = $1 FROM QvSecUser ORDER BY strName",
                 {user}, &rows) != 0) {
        if (message) *message = db.LastError().description;
        return false;
    }
    for (const auto& row : rows.rows) {
        *found = *found || row.at(1).value_or("f") == "t";
        const std::string name = row.at(0).value_or("");
        if (!name.empty()) *known += (known->empty() ? "" : ", ") + name;
    }
    return true;
#else
    (void)user, (void)found, (void)known;
    if (message) *message = "this program was built without PostgreSQL: " + database;
    return false;
#endif
}

}  // namespace

bool QvFrameCheckUser(const QvFrameOptions& options, const std::string& database, std::string* message) {
    if (options.user.empty()) return true;
    if (QvFrameIsServerDatabase(database)) {
        bool found = false;
        std::string known;
        if (!ServerUsers(database, options.user, &found, &known, message)) return false;
        if (found) return true;
        if (message)
            *message = "unknown user '" + options.user + "'; " +
                       (known.empty() ? std::string("the database knows no users") : "known users: " + known);
        return false;
    }
    qv::sql::SqliteDb db;
    if (db.Open("sqlite:" + database) != SQLITE_OK) {
        if (message) *message = db.LastError().description;
        return false;
    }
    // Signed in by name, user id or number, as the security server does.
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db.Handle(),
                           "SELECT strName, strName = ?1 COLLATE NOCASE OR strUserID = ?1 COLLATE NOCASE OR "
                           "CAST(lQvSecUserID AS TEXT) = ?1 FROM QvSecUser ORDER BY strName",
                           -1, &st, nullptr) != SQLITE_OK) {
        if (message) *message = sqlite3_errmsg(db.Handle());
        return false;
    }
    const std::string user = options.user;
    sqlite3_bind_text(st, 1, user.c_str(), int(user.size()), SQLITE_TRANSIENT);
    std::string known;
    bool found = false;
    while (sqlite3_step(st) == SQLITE_ROW) {
        found = found || sqlite3_column_int(st, 1) != 0;
        const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        if (name && *name) known += (known.empty() ? "" : ", ") + std::string(name);
    }
    sqlite3_finalize(st);
    if (found) return true;
    if (message)
        *message = "unknown user '" + user + "'; " +
                   (known.empty() ? std::string("the database knows no users") : "known users: " + known);
    return false;
}

std::string QvFrameUser(const QvFrameOptions& options) {
    if (!options.user.empty()) return options.user;
    if (const char* user = std::getenv("QV_USER"); user && *user) return user;
    return "Administrator";
}

void QvFrameConfigure(const std::string& database, bool central) {
    const CString connection(qv::FromUtf8(QvFrameIsServerDatabase(database) ? database : "sqlite:" + database));
    for (const wchar_t* profile : {L"Qovaro.NQ2", L"Qovaro.QvPool"}) {
        CQvRegistry::SetValue((CString(L"Software\\Qovaro\\QvDBServer\\") + profile).GetString(), L"DBConnection",
                              connection);
    }
    CQvRegistry::SetValue(L"Software\\Qovaro\\NQ2", L"EnterpriseEdition", DWORD(central ? 1 : 0), HKEY_LOCAL_MACHINE);
}

std::vector<std::pair<std::string, HRESULT>> QvFrameRegisterLibraries(const std::vector<std::string>& paths) {
    std::vector<std::pair<std::string, HRESULT>> failed;
    for (const std::string& path : paths) {
        void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!library) {
            failed.emplace_back(path, CO_E_DLLNOTFOUND);
            continue;
        }
        auto registerServer = reinterpret_cast<HRESULT (*)()>(dlsym(library, "DllRegisterServer"));
        const HRESULT hr = registerServer ? registerServer() : CO_E_ERRORINDLL;
        if (FAILED(hr)) failed.emplace_back(path, hr);
        // Loaded again through the registry when its classes are made.
        dlclose(library);
    }
    return failed;
}

const std::vector<const wchar_t*>& QvFrameServerOrder() {
    static const std::vector<const wchar_t*> order = {
        L"Qovaro.QvDBServer",       L"Qovaro.QvDataLogger", L"Qovaro.QvEventServer", L"Qovaro.NQ2.OptionServer",
        L"Qovaro.NQ2.UserLog",      L"Qovaro.QvSecServer",  L"Qovaro.QvHelpServer",  L"Qovaro.QvScheduler",
        L"Qovaro.QvWebServer",      L"Qovaro.QvReportServer", L"Qovaro.NQ2.DocMngmt",
        L"Qovaro.NQ2.StartupServer", L"Qovaro.NQ2.DBServer"};
    return order;
}

void QvFrameStartServers(CQvFrameHost& host, const std::string& user) {
    for (const wchar_t* progId : QvFrameServerOrder()) {
        if (FAILED(host.StartServer(progId))) continue;
        if (CString(progId) == QVSECSERVER_PROGID) {
            IQvSecUser* pUser = nullptr;
            if (SUCCEEDED(QueryCOMServer(progId, IID_IQvSecUser, reinterpret_cast<void**>(&pUser))) && pUser) {
                BSTR bstrUser = CString(qv::FromUtf8(user)).AllocSysString();
                pUser->Logon(bstrUser);
                SysFreeString(bstrUser);
                pUser->Release();
            }
        }
    }
}

long QvFrameAdministerNewDatabase(const std::string& user) {
    CQvADOConnection conn;
    HRESULT hr = conn.Open(L"Qovaro.NQ2", 0);
    // The security server's tables are made by the server, on the database it works on.
    if (SUCCEEDED(hr)) hr = conn.Execute(L"EXEC qv_CreateSecurityTables");
    if (SUCCEEDED(hr)) {
        CString strName(qv::FromUtf8(user));
        strName.Replace(L"'", L"''");
        CString sql;
        sql.Format(L"IF NOT EXISTS (SELECT 1 FROM QvSecRole JOIN QvSecUser ON QvSecRole.lQvSecUserID = "
                   L"QvSecUser.lQvSecUserID WHERE QvSecUser.strName = '%s') INSERT INTO QvSecRole (lQvSecUserID, "
                   L"fAdmin) SELECT lQvSecUserID, 1 FROM QvSecUser WHERE strName = '%s'",
                   strName.GetString(), strName.GetString());
        hr = conn.Execute(sql);
    }
    if (FAILED(hr)) return hr;
    // The course search offers the federal, cantonal and local courses, as the demo's does; without
    // it a new course could not be found again.
    VARIANT types;
    VariantInit(&types);
    types.vt = VT_BSTR;
    types.bstrVal = CString(qv::FromUtf8(qv::suite::kInstallationCourseTypes)).AllocSysString();
    COptionServer options;
    return options.SetOption(-4000, CString(L"KursTyp"), types, 0);
}

long QvFrameRecordMasterMandant() {
    long lMaster = 0;
    CQvRegistry::GetValue(L"Software\\Qovaro\\NQ2", L"MasterMandantID", lMaster, HKEY_LOCAL_MACHINE);
    if (lMaster > 0) {
        long lFound = 0;
        CString strCondition;
        strCondition.Format(L"lMandantID = %d AND fActive <> 0", lMaster);
        const long hr = QvDBLookupLong(L"lMandantID", L"Mandant", strCondition, &lFound, L"Qovaro.NQ2");
        if (FAILED(hr)) return hr;
        if (lFound == lMaster) return lMaster;
    }
    // The registry names none of this database's Mandanten: its first one is the installation's.
    long lFirst = 0;
    const long hr = QvDBLookupLong(L"min(lMandantID)", L"Mandant", L"fActive <> 0", &lFirst, L"Qovaro.NQ2");
    if (FAILED(hr)) return hr;
    if (hr != S_OK || lFirst <= 0) return 0;
    CQvRegistry::SetValue(L"Software\\Qovaro\\NQ2", L"MasterMandantID", DWORD(lFirst), HKEY_LOCAL_MACHINE);
    return lFirst;
}

std::vector<CString> QvFrameOpenViews(CQvFrameHost& host) {
    CString list = L"Qovaro.NQ2.KursView";
    CQvRegistry::GetValue(L"Software\\Qovaro\\QvFrame", L"Views", list);
    std::vector<CString> opened;
    for (const std::string& progId : Split(list.ToUtf8(), ' ')) {
        const CString strProgID(qv::FromUtf8(progId));
        CLSID clsid{};
        if (FAILED(CLSIDFromProgID(strProgID, &clsid))) continue;
        if (SUCCEEDED(host.OpenView(strProgID))) opened.push_back(strProgID);
    }
    return opened;
}

std::vector<std::string> QvFrameServerLibraries() { return Split(QV_FRAME_SERVER_MODULES, ':'); }
std::vector<std::string> QvFrameModuleLibraries() { return Split(QV_FRAME_MODULES, ':'); }
