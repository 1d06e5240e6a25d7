#pragma once
// The template database holding the suite schema on the test cluster, made once for the test run;
// tests copy their fresh database from it (PgTestDatabase(SuiteSchemaTemplatePg())).
#include "pgcluster.h"
#include "pgdb.h"
#include "suitedb.h"
#include "suitedbpg.h"

#include <stdexcept>
#include <string>

namespace qvtest {

inline std::string SuiteSchemaTemplatePg() {
    const std::string name = "qvsuite" + std::to_string(qv::suite::kSchemaVersion);
    EnsurePgTemplate(name, [](const std::string& url) {
        qv::sql::PgDb db;
        std::string error;
        if (db.Open(url) != 0 || qv::suite::CreateSchemaPg(db, &error) != 0)
            throw std::runtime_error("the suite schema on " + url + ": " + db.LastError().description + error);
    });
    return name;
}

}  // namespace qvtest
