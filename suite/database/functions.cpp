// The database functions of the suite. The statements call them as dbo.fn_...; the translator
// drops the schema name. They never give NULL where a text is expected: the searches concatenate
// their results, and one NULL would make the whole record unfindable.
#include "extensions.h"
#include "stmtcache.h"
#include "suitedb.h"
#include <atomic>
#include <sqlite3.h>
#include <string>

namespace qv::suite {
namespace {

std::atomic<std::int64_t> g_systemID{0};

// Runs `sql` on the function's own connection with the arguments bound as ?1, ?2 ... and makes
// the first column of the first row the function's result; without a row the result is
// `fallback` (text). A search calls a function for every row it looks at, so the statement is
// borrowed from the connection's cache, prepared once per connection; a connection without a
// cache prepares it per call.
void ResultOfQuery(sqlite3_context* ctx, const char* sql, int argc, sqlite3_value** argv,
                   const char* fallback = "") {
    sqlite3* db = sqlite3_context_db_handle(ctx);
    qv::sql::StatementCache::Lease lease;
    sqlite3_stmt* st = nullptr;
    int rc = SQLITE_OK;
    if (qv::sql::StatementCache* cache = qv::sql::StatementCache::For(db)) {
        lease = cache->Acquire(sql, &rc);
        st = lease.get();
    } else {
        rc = sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
    }
    if (rc == SQLITE_OK) {
        for (int i = 0; i < argc; ++i) sqlite3_bind_value(st, i + 1, argv[i]);
        rc = sqlite3_step(st);
    }
    if (rc == SQLITE_ROW && sqlite3_column_type(st, 0) != SQLITE_NULL)
        sqlite3_result_value(ctx, sqlite3_column_value(st, 0));  // copies the value
    else if (rc == SQLITE_ROW || rc == SQLITE_DONE)
        sqlite3_result_text(ctx, fallback, -1, SQLITE_STATIC);
    else
        sqlite3_result_error(ctx, sqlite3_errmsg(db), -1);
    if (!lease) sqlite3_finalize(st);
}

// Ids arrive as integers, as numeric text or as NULL; NULL names no record.
bool HasId(sqlite3_value* v) { return sqlite3_value_type(v) != SQLITE_NULL; }

void ResultEmpty(sqlite3_context* ctx) { sqlite3_result_text(ctx, "", 0, SQLITE_STATIC); }

void FnGetSystemID(sqlite3_context* ctx, int, sqlite3_value**) {
    sqlite3_result_int64(ctx, g_systemID.load());
}

// The display names live in view_CacheBezeichnung, so lists, logs and these functions agree.
// 'A' is the only person mode in use; other modes give the same text.
void FnGetPersonBezeichnung(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (!HasId(argv[0])) return ResultEmpty(ctx);
    ResultOfQuery(ctx,
                  "SELECT strBezeichnung FROM view_CacheBezeichnung "
                  "WHERE lTableID = 4 AND lID = CAST(?1 AS INTEGER) AND strMode = 'A'",
                  1, argv);
}

void FnGetKursBezeichnung(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (!HasId(argv[0])) return ResultEmpty(ctx);
    ResultOfQuery(ctx,
                  "SELECT strBezeichnung FROM view_CacheBezeichnung WHERE lTableID = 39 AND lID = CAST(?1 AS INTEGER)",
                  1, argv);
}

void FnGetKursinstanzBezeichnung(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (!HasId(argv[0])) return ResultEmpty(ctx);
    ResultOfQuery(ctx,
                  "SELECT strBezeichnung FROM view_CacheBezeichnung WHERE lTableID = 42 AND lID = CAST(?1 AS INTEGER)",
                  1, argv);
}

// The language variants: names of persons and courses are kept in one language only, so the
// language argument does not change the text.
void FnGetPersonBezeichnungEx(sqlite3_context* ctx, int, sqlite3_value** argv) {
    FnGetPersonBezeichnung(ctx, 2, argv);
}

void FnGetKursBezeichnungEx(sqlite3_context* ctx, int, sqlite3_value** argv) {
    FnGetKursBezeichnung(ctx, 1, argv);
}

// 1 when the absence and the run share a day. A run's days are its dates (a date without end
// lasts its start day); a run without dates lasts the day of dtDatum. An absence without end
// (the empty date) lasts its start day.
void FnCheckAbsenz4Kurs(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (!HasId(argv[0]) || !HasId(argv[1])) return sqlite3_result_int(ctx, 0);
    ResultOfQuery(
        ctx,
        "SELECT EXISTS ("
        " SELECT 1 FROM Personabsenz a,"
        "  (SELECT substr(dtStart, 1, 10) AS d1,"
        "          substr(CASE WHEN dtEnde IS NULL OR dtEnde = '1899-12-30 00:00:00' THEN dtStart ELSE dtEnde END, 1, 10) AS d2"
        "   FROM Kursinstanzdate WHERE lKursinstanzID = CAST(?1 AS INTEGER)"
        "   UNION ALL"
        "   SELECT substr(dtDatum, 1, 10), substr(dtDatum, 1, 10) FROM Kursinstanz"
        "   WHERE lKursinstanzID = CAST(?1 AS INTEGER)"
        "     AND NOT EXISTS (SELECT 1 FROM Kursinstanzdate WHERE lKursinstanzID = CAST(?1 AS INTEGER))) r"
        " WHERE a.lPersonabsenzID = CAST(?2 AS INTEGER)"
        "   AND substr(a.dtStart, 1, 10) <= r.d2"
        "   AND substr(CASE WHEN a.dtEnde = '1899-12-30 00:00:00' THEN a.dtStart ELSE a.dtEnde END, 1, 10) >= r.d1)",
        2, argv, "0");
}

// A phone number without its separators, so "044 123 45 67" is found as "0441234567".
// Only ASCII characters are dropped, so UTF-8 text stays intact.
void FnRemoveChars(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const unsigned char* p = sqlite3_value_text(argv[0]);
    if (!p) return ResultEmpty(ctx);
    std::string out;
    for (; *p; ++p) {
        switch (*p) {
        case ' ': case '\t': case '-': case '/': case '.': case '(': case ')': case '\'':
            break;
        default:
            out += char(*p);
        }
    }
    sqlite3_result_text(ctx, out.c_str(), int(out.size()), SQLITE_TRANSIENT);
}

// Whether the table has custom fields that take part in the search. A search passes its table as
// a constant, so the answer is kept for the rest of that statement's run (auxiliary data of the
// argument): records of a table without such fields then cost no query at all.
bool HasSearchFields(sqlite3_context* ctx, sqlite3_value* table) {
    if (const auto* known = static_cast<const int*>(sqlite3_get_auxdata(ctx, 0))) return *known != 0;
    sqlite3* db = sqlite3_context_db_handle(ctx);
    const char* sql = "SELECT EXISTS (SELECT 1 FROM CustFieldType WHERE lTableID = CAST(?1 AS INTEGER) AND fUsed4Search = 1)";
    qv::sql::StatementCache::Lease lease;
    sqlite3_stmt* st = nullptr;
    int rc = SQLITE_OK;
    if (qv::sql::StatementCache* cache = qv::sql::StatementCache::For(db)) {
        lease = cache->Acquire(sql, &rc);
        st = lease.get();
    } else {
        rc = sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
    }
    int has = 1;  // when the question fails, the values are asked for
    if (rc == SQLITE_OK) {
        sqlite3_bind_value(st, 1, table);
        if (sqlite3_step(st) == SQLITE_ROW) has = sqlite3_column_int(st, 0);
    }
    if (!lease) sqlite3_finalize(st);
    sqlite3_set_auxdata(ctx, 0, new int(has), [](void* p) { delete static_cast<int*>(p); });
    return has != 0;
}

// The values of the record's custom fields that take part in the search, separated by blanks.
void FnGetCustFieldValuesUsed4Search(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (!HasId(argv[0]) || !HasId(argv[1])) return ResultEmpty(ctx);
    if (!HasSearchFields(ctx, argv[0])) return ResultEmpty(ctx);
    ResultOfQuery(ctx,
                  "SELECT group_concat(strValue, ' ') FROM ("
                  " SELECT v.strValue FROM CustFieldValue v JOIN CustFieldType t ON v.lCFTypeID = t.lCFTypeID"
                  " WHERE t.lTableID = CAST(?1 AS INTEGER) AND t.fUsed4Search = 1"
                  "   AND v.lID = CAST(?2 AS INTEGER) AND v.strValue <> ''"
                  " ORDER BY t.lOrder, t.lCFTypeID, v.lCustFieldValueID)",
                  2, argv);
}

// The name of a function (role); 0 and unknown ids give an empty text.
void FnGetFunktionBezeichnung(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (!HasId(argv[0])) return ResultEmpty(ctx);
    ResultOfQuery(ctx, "SELECT strBezeichnung FROM Funktion WHERE lFunktionID = CAST(?1 AS INTEGER)", 1, argv);
}

// "Nr Bezeichnung (dd.mm.yyyy)" with the plan's start day; empty parts are left out.
void FnGetArbeitsplanBezeichnung(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (!HasId(argv[0])) return ResultEmpty(ctx);
    ResultOfQuery(ctx,
                  "SELECT trim(trim(strArbeitsplanNr || ' ' || strBezeichnung) || "
                  " CASE WHEN dtStart = '1899-12-30 00:00:00' THEN '' ELSE"
                  "  ' (' || substr(dtStart, 9, 2) || '.' || substr(dtStart, 6, 2) || '.' || substr(dtStart, 1, 4) || ')' END)"
                  " FROM Arbeitsplan WHERE lArbeitsplanID = CAST(?1 AS INTEGER)",
                  1, argv);
}

// "Kurzbezeichnung, Bezeichnung", as courses are named.
void FnGetAreaBezeichnung(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (!HasId(argv[0])) return ResultEmpty(ctx);
    ResultOfQuery(ctx,
                  "SELECT CASE WHEN strKurzbezeichnung <> '' AND strBezeichnung <> ''"
                  " THEN strKurzbezeichnung || ', ' || strBezeichnung ELSE strKurzbezeichnung || strBezeichnung END"
                  " FROM Area WHERE lAreaID = CAST(?1 AS INTEGER)",
                  1, argv);
}

// The contact's categories as "a, b," (each followed by a comma; the list drops the last one).
void FnGetKategories4Contact(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (!HasId(argv[0])) return ResultEmpty(ctx);
    ResultOfQuery(ctx,
                  "SELECT group_concat(strBezeichnung || ',', ' ') FROM ("
                  " SELECT k.strBezeichnung FROM ContactKategorie ck JOIN Kategorie k ON ck.lKategorieID = k.lKategorieID"
                  " WHERE ck.lContactID = CAST(?1 AS INTEGER) ORDER BY k.strBezeichnung, k.lKategorieID)",
                  1, argv);
}

void FnGetTaetigkeitBezeichnung(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (!HasId(argv[0])) return ResultEmpty(ctx);
    ResultOfQuery(ctx, "SELECT strBezeichnung FROM Taetigkeit WHERE lTaetigkeitID = CAST(?1 AS INTEGER)", 1, argv);
}

struct FunctionDef {
    const char* name;
    int args;
    void (*fn)(sqlite3_context*, int, sqlite3_value**);
    bool pure;  // depends on its arguments only
};

const FunctionDef kFunctions[] = {
    {"fn_GetSystemID", 0, FnGetSystemID, false},
    {"fn_GetPersonBezeichnung", 2, FnGetPersonBezeichnung, false},
    {"fn_GetPersonBezeichnungEx", 3, FnGetPersonBezeichnungEx, false},
    {"fn_GetKursBezeichnung", 1, FnGetKursBezeichnung, false},
    {"fn_GetKursBezeichnungEx", 2, FnGetKursBezeichnungEx, false},
    {"fn_GetKursinstanzBezeichnung", 1, FnGetKursinstanzBezeichnung, false},
    {"fn_CheckAbsenz4Kurs", 2, FnCheckAbsenz4Kurs, false},
    {"fn_RemoveChars", 1, FnRemoveChars, true},
    {"fn_GetCustFieldValuesUsed4Search", 2, FnGetCustFieldValuesUsed4Search, false},
    {"fn_GetFunktionBezeichnung", 1, FnGetFunktionBezeichnung, false},
    {"fn_GetArbeitsplanBezeichnung", 1, FnGetArbeitsplanBezeichnung, false},
    {"fn_GetAreaBezeichnung", 1, FnGetAreaBezeichnung, false},
    {"fn_GetKategories4Contact", 1, FnGetKategories4Contact, false},
    {"fn_GetTaetigkeitBezeichnung", 1, FnGetTaetigkeitBezeichnung, false},
};

}  // namespace

void SetSystemID(std::int64_t id) {
    g_systemID.store(id);
    // fn_GetSystemID() on a server database reads it from the session.
    qv::sql::SetSessionValue("qv.system_id", std::to_string(id));
}
std::int64_t GetSystemID() { return g_systemID.load(); }

int RegisterSuiteFunctions(sqlite3* db) {
    for (const FunctionDef& f : kFunctions) {
        const int flags = SQLITE_UTF8 | (f.pure ? SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS : 0);
        const int rc = sqlite3_create_function_v2(db, f.name, f.args, flags, nullptr, f.fn, nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK) return rc;
    }
    return SQLITE_OK;
}

}  // namespace qv::suite
