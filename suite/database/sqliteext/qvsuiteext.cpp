// The entry point SQLite looks for in "qvsuite.so". The shell and this library share the system's
// SQLite library, so the functions are registered through it directly.
#include "suitedb.h"
#include "tsqlruntime.h"

#include <sqlite3.h>

extern "C" __attribute__((visibility("default"))) int sqlite3_qvsuite_init(sqlite3* db, char** pzErrMsg,
                                                                          const sqlite3_api_routines*) {
    int rc = qv::sql::RegisterTsqlRuntime(db);
    if (rc == SQLITE_OK) rc = qv::suite::RegisterSuiteFunctions(db);
    if (rc != SQLITE_OK && pzErrMsg) *pzErrMsg = sqlite3_mprintf("qvsuite: %s", sqlite3_errstr(rc));
    return rc;
}
