#pragma once
// Which files the suite works on. A file is used only when it is a suite database: a schema version
// (PRAGMA user_version) and the core tables, and pages SQLite's quick check finds sound. Anything
// else is refused and left exactly as it is: looking is done without locks, logs or writes. A new
// database is made only when the caller asks.
#include <functional>
#include <string>
#include <vector>

namespace qv::suite {

enum class DatabaseKind {
    Missing,       // no such file
    Empty,         // a file of 0 bytes, or an SQLite file without any table
    Suite,         // a suite database of this program's schema version
    OtherVersion,  // a suite database of another schema version
    Foreign,       // an SQLite database of some other program
    NotDatabase,   // a file that is no SQLite database (text, ...)
    Folder,        // a folder
    Unreadable,    // cannot be read (permissions, locked, damaged)
};

struct DatabaseFile {
    DatabaseKind kind = DatabaseKind::Missing;
    int version = 0;        // the schema version found
    bool readOnly = false;  // opened read-only: the file or its folder cannot be written
    std::string message;    // why it is refused; empty for Suite
    // Triggers and views of a suite database that the suite's schema does not define, as
    // "trigger name" or "view name": an administrator's own, used but named to the user.
    std::vector<std::string> foreignObjects;
};

// The quick check reads every page, seconds on a large database; it runs again only after the
// file changed. A process remembers the files it checked; `recall` and `remember` keep them across
// runs (the frame keeps them in the registry): a file's state (its identity, size and times) as a
// text, under the file's path.
struct CheckedFiles {
    std::function<std::string(const std::string& path)> recall;
    std::function<void(const std::string& path, const std::string& state)> remember;
};

// After the program's own work on a file that passed the check when it was opened: its new state
// is remembered as checked, so that the program's own writes do not cost a check at the next
// start. Nothing is remembered while a log lies beside the file (a connection is still open) or
// when the file was not checked sound in this process.
void RememberOwnWrites(const std::string& path, const CheckedFiles* checked);

// Looks at the file without changing it or leaving anything beside it.
DatabaseFile InspectDatabaseFile(const std::string& path, const CheckedFiles* checked = nullptr);

// The database at `path` ready for use: a suite database is taken as it is; a missing or empty
// file gets the schema only when `create` is set (its folders are made too). Everything else is
// refused, unchanged. FALSE with the reason in `error`; `found` (may be null) says what was found.
bool PrepareSuiteDatabase(const std::string& path, bool create, DatabaseFile* found, std::string* error,
                          const CheckedFiles* checked = nullptr);

}  // namespace qv::suite
