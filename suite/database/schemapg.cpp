#include "suitedbpg.h"

#include "pgdb.h"
#include "suitedb.h"

namespace qv::suite {
namespace detail {
extern const std::string_view kSchemaPgSql;  // schema_pg_sql.cpp, generated from schema_pg.sql
}

std::string_view SchemaPgSql() { return detail::kSchemaPgSql; }

int SchemaVersionPg(qv::sql::PgDb& db) {
    qv::sql::PgRows rows;
    if (db.Query("SELECT to_regclass('public.system') IS NOT NULL", &rows) != 0) return -1;
    if (rows.rows.empty() || rows.rows[0][0].value_or("f") != "t") return 0;
    if (db.Query("SELECT lSchemaVersion FROM System", &rows) != 0) return -1;
    if (rows.rows.empty() || !rows.rows[0][0]) return 0;
    return std::stoi(*rows.rows[0][0]);
}

int SetSystemIDPg(qv::sql::PgDb& db, long long id) {
    return db.Query("SELECT set_config('qv.system_id', $1, false)", {std::to_string(id)}, nullptr);
}

namespace {

// Ends what CreateSchemaPg began: the whole transaction when it was its own; inside the caller's
// only the count goes down, since the driver has undone the failed statement alone.
int Fail(qv::sql::PgDb& db, int outerDepth, std::string* error, const std::string& what) {
    if (error) *error = what;
    if (db.Depth() > outerDepth) {
        if (outerDepth == 0)
            db.Rollback();
        else
            db.Commit();
    }
    return -1;
}

}  // namespace

int CreateSchemaPg(qv::sql::PgDb& db, std::string* error) {
    const int outer = db.Depth();
    if (db.Begin() != 0) return Fail(db, outer, error, db.LastError().description);
    // Sessions creating the schema at once take turns; the later one finds it made.
    if (db.Exec("SELECT pg_advisory_xact_lock(7291001)") != 0)
        return Fail(db, outer, error, "Creating the schema failed: " + db.LastError().description);
    const int version = SchemaVersionPg(db);
    if (version < 0) return Fail(db, outer, error, "Creating the schema failed: " + db.LastError().description);
    if (version != 0 && version != kSchemaVersion)
        return Fail(db, outer, error,
                    "The database has schema version " + std::to_string(version) + ", this program knows " +
                        std::to_string(kSchemaVersion) + ".");
    if (version == 0 && db.Exec(std::string(SchemaPgSql())) != 0)
        return Fail(db, outer, error, "Creating the schema failed: " + db.LastError().description);
    if (db.Commit() != 0) return Fail(db, outer, error, "Creating the schema failed: " + db.LastError().description);
    return 0;
}

}  // namespace qv::suite
