#include "dbutil.h"
#include "suitedb.h"

namespace qv::suite {

using detail::Fail;
using detail::Stmt;

namespace {

std::string QuoteIdentifier(const std::string& name) {
    std::string q = "\"";
    for (char c : name) {
        if (c == '"') q += '"';
        q += c;
    }
    return q + "\"";
}

}  // namespace

int DrawUniqueID(sqlite3* db, std::string_view table, std::string_view column, std::int64_t* id,
                 std::string* error) {
    // The names arrive as text from the caller's statement: take them only as names the schema
    // has, in the schema's spelling, so nothing of them reaches the SQL but a known identifier.
    // The lookups are finished before the key is drawn: a statement still open would hold a read
    // transaction, which SQLite cannot turn into a write without failing at once when another
    // connection writes.
    std::string tableName, columnName;
    {
        Stmt findTable(db, "SELECT name FROM sqlite_master WHERE type = 'table' AND name = ?1 COLLATE NOCASE");
        findTable.bind(1, table);
        const int rc = findTable.step();
        if (rc != SQLITE_ROW) {
            if (rc != SQLITE_DONE) return Fail(rc, error, detail::ErrorText(db));
            return Fail(SQLITE_ERROR, error, "sp_GetUniqueID: no table " + std::string(table));
        }
        tableName = findTable.text(0);
    }
    {
        Stmt findColumn(db, "SELECT name FROM pragma_table_info(?1) WHERE name = ?2 COLLATE NOCASE");
        findColumn.bind(1, tableName).bind(2, column);
        const int rc = findColumn.step();
        if (rc != SQLITE_ROW) {
            if (rc != SQLITE_DONE) return Fail(rc, error, detail::ErrorText(db));
            return Fail(SQLITE_ERROR, error,
                        "sp_GetUniqueID: no column " + std::string(column) + " in " + tableName);
        }
        columnName = findColumn.text(0);
    }

    // One statement, so the step from the last key to the next is atomic between connections and
    // processes. The column's largest value takes part every time: rows inserted without the
    // procedure (demo data, imports) are never given a second time.
    const std::string largest =
        "ifnull((SELECT max(" + QuoteIdentifier(columnName) + ") FROM " + QuoteIdentifier(tableName) + "), 0)";
    const std::string sql =
        "INSERT INTO UniqueIDCounter (strTable, strColumn, lLastID) VALUES (?1, ?2, max(" + largest +
        ", 0) + 1) ON CONFLICT (strTable, strColumn) DO UPDATE SET lLastID = max(lLastID, " + largest +
        ") + 1 RETURNING lLastID";
    Stmt draw(db, sql);
    if (!draw.ok()) return Fail(draw.rc(), error, detail::ErrorText(db));
    draw.bind(1, tableName).bind(2, columnName);
    int rc = draw.step();
    if (rc != SQLITE_ROW) return Fail(rc, error, detail::ErrorText(db));
    const std::int64_t next = draw.int64(0);
    rc = draw.step();  // completes the statement
    if (rc != SQLITE_DONE) return Fail(rc, error, detail::ErrorText(db));
    if (id) *id = next;
    return SQLITE_OK;
}

}  // namespace qv::suite
