#pragma once
// Which files the suite works on. A file is used only when it is a suite database: a schema version
// (PRAGMA user_version) and the core tables. Anything else is refused and left exactly as it is:
// looking is done without locks, logs or writes. A new database is made only when the caller asks.
#include <string>

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
};

// Looks at the file without changing it or leaving anything beside it.
DatabaseFile InspectDatabaseFile(const std::string& path);

// The database at `path` ready for use: a suite database is taken as it is; a missing or empty
// file gets the schema only when `create` is set (its folders are made too). Everything else is
// refused, unchanged. FALSE with the reason in `error`; `found` (may be null) says what was found.
bool PrepareSuiteDatabase(const std::string& path, bool create, DatabaseFile* found, std::string* error);

}  // namespace qv::suite
