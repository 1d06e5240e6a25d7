#pragma once
// Starting the host frame: its command line, the database it works on (the demo database made on
// first use), the settings it writes for the suite's servers and modules, the server libraries and
// modules it registers, and the order in which it starts the servers.
#include "framehost.h"

#include <string>
#include <vector>

struct QvFrameOptions {
    std::string database;    // empty: the demo database
    bool create = false;     // make a new suite database at `database` when it is missing or empty
    bool central = false;    // the central installation
    std::string user;        // empty: QV_USER, else "Administrator"
    std::string screenshot;  // render the window into this PNG file and end
    std::string view;        // the ProgID of a view to open and show at start
    bool help = false;
};

// FALSE with a message naming the argument that is wrong. Values follow their option ("--db PATH")
// or are joined to it ("--db=PATH").
bool QvFrameParseArguments(const std::vector<std::string>& args, QvFrameOptions& options, std::string* error);
std::string QvFrameUsage();

// $XDG_DATA_HOME/qovaro/nq2.sqlite (or ~/.local/share/...), where the database server and the demo
// script look too.
std::string QvFrameDefaultDatabase();
// The database the frame works on; the demo database is made when it is missing, a given one only
// with `create`. Only a suite database of this schema version is used; anything else is refused
// and left as it is. FALSE with a message when there is none to work on. `readOnly` (may be null)
// tells whether the database opens read-only.
// A database made here (`created`, may be null) holds the installation's own Mandant
// (kNewDatabaseMandant), the signed-in user (QvFrameUser) and his rights on that Mandant's records.
bool QvFramePrepareDatabase(const QvFrameOptions& options, std::string* path, std::string* message,
                            bool* readOnly = nullptr, bool* created = nullptr);
inline constexpr const char* kNewDatabaseMandant = "Eigene Feuerwehr";
// The triggers, views and functions the database prepared last holds that the suite's schema does
// not define ("trigger name", "view name", "function name"); they are named in the trace too.
const std::vector<std::string>& QvFrameForeignObjects();
// At the end of a run, when every connection of the program has been closed: a database file that
// was checked sound at the start is remembered with the state the program's own writes left.
void QvFrameRememberDatabase(const std::string& database);
// Whether --db names a database server ("postgresql://…") rather than a file.
bool QvFrameIsServerDatabase(const std::string& database);
// An explicit --user must be known to the database: FALSE with a message naming the known users.
bool QvFrameCheckUser(const QvFrameOptions& options, const std::string& database, std::string* message);
// The signed-in user's name the frame passes to the security server.
std::string QvFrameUser(const QvFrameOptions& options);

// Profiles of the database server ("Qovaro.NQ2", "Qovaro.QvPool") on the database, and the
// installation kind.
void QvFrameConfigure(const std::string& database, bool central);

// Runs each library's registration; the libraries that failed, with their results.
std::vector<std::pair<std::string, HRESULT>> QvFrameRegisterLibraries(const std::vector<std::string>& paths);

// The suite's servers in the order the frame starts them: the database first, the others rely on it.
const std::vector<const wchar_t*>& QvFrameServerOrder();
// Starts them; the security server signs the user in.
void QvFrameStartServers(CQvFrameHost& host, const std::string& user);
// Once the servers run on a database made at this start: its first user administers it (the
// security server's role), as the demo's administrator does, and the course search offers every
// course type, as the demo's does.
long QvFrameAdministerNewDatabase(const std::string& user);
// Once the servers run: the installation's own Mandant (HKLM "Software\Qovaro\NQ2"
// "MasterMandantID"), which the settings lock and new records take, names an active Mandant of the
// database; when it names none there, the database's first active Mandant is recorded. The
// Mandant recorded (0: the database has none), or the failure to read it.
long QvFrameRecordMasterMandant();
// The views the frame offers (HKCU "Software\Qovaro\QvFrame" "Views", ProgIDs separated by blanks,
// else the course view) that are registered; each is opened.
std::vector<CString> QvFrameOpenViews(CQvFrameHost& host);

// The libraries built with the frame: the suite's servers and the modules.
std::vector<std::string> QvFrameServerLibraries();
std::vector<std::string> QvFrameModuleLibraries();
