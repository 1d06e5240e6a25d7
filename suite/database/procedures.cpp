// The suite's stored procedures and their registration with the engine.
#include "dbutil.h"
#include "extensions.h"
#include "suitedb.h"
#include <charconv>
#include <vector>

namespace qv::suite {

using detail::Fail;
using detail::Stmt;

namespace {

struct Group {
    std::string name;
    std::int64_t max;
};

// The course of a run, or 0 when there is no such run (or it names no course).
int CourseOfRun(sqlite3* db, std::int64_t run, std::int64_t* course, std::string* error) {
    Stmt st(db, "SELECT lKursID FROM Kursinstanz WHERE lKursinstanzID = ?1");
    st.bind(1, run);
    const int rc = st.step();
    if (rc == SQLITE_ROW) {
        *course = st.int64(0) > 0 ? st.int64(0) : 0;
        return SQLITE_OK;
    }
    *course = 0;
    return rc == SQLITE_DONE ? SQLITE_OK : Fail(rc, error, detail::ErrorText(db));
}

int ReadGroups(sqlite3* db, const char* sql, std::int64_t key, std::vector<Group>* groups, std::string* error) {
    Stmt st(db, sql);
    st.bind(1, key);
    int rc;
    while ((rc = st.step()) == SQLITE_ROW) groups->push_back({st.text(0), st.int64(1)});
    return rc == SQLITE_DONE ? SQLITE_OK : Fail(rc, error, detail::ErrorText(db));
}

std::int64_t IntArgument(const std::vector<qv::sql::Value>& args, size_t i, const char* proc, const char* what) {
    if (i < args.size()) {
        const qv::sql::Value& v = args[i];
        if (auto p = std::get_if<std::int64_t>(&v)) return *p;
        if (auto d = std::get_if<double>(&v); d && *d == double(std::int64_t(*d))) return std::int64_t(*d);
        if (auto s = std::get_if<std::string>(&v)) {
            std::int64_t n = 0;
            auto [end, ec] = std::from_chars(s->data(), s->data() + s->size(), n);
            if (ec == std::errc() && end == s->data() + s->size()) return n;
        }
    }
    throw qv::sql::ProcedureError(std::string(proc) + ": " + what + " must be a number");
}

std::string TextArgument(const std::vector<qv::sql::Value>& args, size_t i, const char* proc, const char* what) {
    if (i < args.size())
        if (auto s = std::get_if<std::string>(&args[i])) return *s;
    throw qv::sql::ProcedureError(std::string(proc) + ": " + what + " must be a text");
}

// Inserts one row per group with a new key: ?1 key, ?2 owner (run or course), ?3 name, ?4 limit.
int InsertGroups(sqlite3* db, Stmt& insert, std::int64_t owner, const std::vector<Group>& groups,
                 std::string* error) {
    if (!insert.ok()) return Fail(insert.rc(), error, detail::ErrorText(db));
    for (const Group& g : groups) {
        std::int64_t id = 0;
        int rc = DrawUniqueID(db, "KursinstanzGruppe", "lKursinstanzGruppeID", &id, error);
        if (rc != SQLITE_OK) return rc;
        insert.reset();
        insert.bind(1, id).bind(2, owner).bind(3, g.name).bind(4, g.max);
        rc = insert.step();
        if (rc != SQLITE_DONE) return Fail(rc, error, detail::ErrorText(db));
    }
    return SQLITE_OK;
}

}  // namespace

int CreateKursinstanzGruppeFromTemplate(sqlite3* db, std::int64_t lKursinstanzID, std::string* error) {
    detail::WriteTransaction tx(db, "qv_gruppe_aus_vorlage");
    if (tx.rc() != SQLITE_OK) return Fail(tx.rc(), error, detail::ErrorText(db));
    std::int64_t course = 0;
    int rc = CourseOfRun(db, lKursinstanzID, &course, error);
    if (rc != SQLITE_OK) return rc;
    if (course != 0) {
        std::vector<Group> groups;
        rc = ReadGroups(db,
                        "SELECT strBezeichnung, lMaxTeilnehmer FROM KursinstanzGruppe "
                        "WHERE lKursID = ?1 AND lKursinstanzID = -1 ORDER BY lKursinstanzGruppeID",
                        course, &groups, error);
        if (rc != SQLITE_OK) return rc;
        // A name the run has already (compared as the database compares) is not added again.
        Stmt insert(db,
                    "INSERT INTO KursinstanzGruppe (lKursinstanzGruppeID, lKursinstanzID, lKursID, lEinsatzGruppeID, "
                    "strBezeichnung, lMaxTeilnehmer) SELECT ?1, ?2, -1, -1, ?3, ?4 WHERE NOT EXISTS "
                    "(SELECT 1 FROM KursinstanzGruppe WHERE lKursinstanzID = ?2 AND strBezeichnung = ?3)");
        rc = InsertGroups(db, insert, lKursinstanzID, groups, error);
        if (rc != SQLITE_OK) return rc;
    }
    rc = tx.commit();
    return rc == SQLITE_OK ? rc : Fail(rc, error, detail::ErrorText(db));
}

int CreateKursinstanzGruppeTemplate(sqlite3* db, std::int64_t lKursinstanzID, std::string* error) {
    detail::WriteTransaction tx(db, "qv_gruppenvorlage");
    if (tx.rc() != SQLITE_OK) return Fail(tx.rc(), error, detail::ErrorText(db));
    std::int64_t course = 0;
    int rc = CourseOfRun(db, lKursinstanzID, &course, error);
    if (rc != SQLITE_OK) return rc;
    if (course != 0) {
        std::vector<Group> groups;
        rc = ReadGroups(db,
                        "SELECT strBezeichnung, lMaxTeilnehmer FROM KursinstanzGruppe "
                        "WHERE lKursinstanzID = ?1 ORDER BY lKursinstanzGruppeID",
                        lKursinstanzID, &groups, error);
        if (rc != SQLITE_OK) return rc;
        Stmt drop(db, "DELETE FROM KursinstanzGruppe WHERE lKursID = ?1 AND lKursinstanzID = -1");
        drop.bind(1, course);
        rc = drop.step();
        if (rc != SQLITE_DONE) return Fail(rc, error, detail::ErrorText(db));
        Stmt insert(db,
                    "INSERT INTO KursinstanzGruppe (lKursinstanzGruppeID, lKursinstanzID, lKursID, lEinsatzGruppeID, "
                    "strBezeichnung, lMaxTeilnehmer) VALUES (?1, -1, ?2, -1, ?3, ?4)");
        rc = InsertGroups(db, insert, course, groups, error);
        if (rc != SQLITE_OK) return rc;
    }
    rc = tx.commit();
    return rc == SQLITE_OK ? rc : Fail(rc, error, detail::ErrorText(db));
}

void InstallSuiteDatabase() {
    qv::sql::RegisterConnectionInitializer("suite", [](sqlite3* db) { RegisterSuiteFunctions(db); });

    // EXEC sp_GetUniqueID 'Table', 'lColumnID', @newID OUTPUT
    qv::sql::RegisterProcedure("sp_GetUniqueID", [](sqlite3* db, std::vector<qv::sql::Value>& args) {
        const std::string table = TextArgument(args, 0, "sp_GetUniqueID", "the table");
        const std::string column = TextArgument(args, 1, "sp_GetUniqueID", "the column");
        std::int64_t id = 0;
        std::string error;
        if (DrawUniqueID(db, table, column, &id, &error) != SQLITE_OK) throw qv::sql::ProcedureError(error);
        if (args.size() > 2) args[2] = id;
    });
    qv::sql::RegisterProcedure("sp_CreateKursinstanzGruppeFromTemplate",
                               [](sqlite3* db, std::vector<qv::sql::Value>& args) {
                                   const std::int64_t run = IntArgument(
                                       args, 0, "sp_CreateKursinstanzGruppeFromTemplate", "the run id");
                                   std::string error;
                                   if (CreateKursinstanzGruppeFromTemplate(db, run, &error) != SQLITE_OK)
                                       throw qv::sql::ProcedureError(error);
                               });
    qv::sql::RegisterProcedure("sp_CreateKursinstanzGruppeTemplate",
                               [](sqlite3* db, std::vector<qv::sql::Value>& args) {
                                   const std::int64_t run =
                                       IntArgument(args, 0, "sp_CreateKursinstanzGruppeTemplate", "the run id");
                                   std::string error;
                                   if (CreateKursinstanzGruppeTemplate(db, run, &error) != SQLITE_OK)
                                       throw qv::sql::ProcedureError(error);
                               });
}

}  // namespace qv::suite
