// The session's PostgreSQL side: batches translated for PostgreSQL and run on PgDb, their values
// turned into what the SQLite side gives, so that the recordset hands out the same VARIANT kinds.
#include "adosession.h"

#include "adoerror.h"

#ifdef QV_ADO_PG
#include "pgdb.h"
#include "pgexec.h"
#include "textcase.h"
#include "tsqlerror.h"
#include "tsqllexer.h"
#include "utf.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#endif

namespace qv::ado {

#ifdef QV_ADO_PG

namespace {

// Type oids of the server's catalogue.
enum : std::uint32_t {
    kBool = 16,
    kInt8 = 20,
    kInt2 = 21,
    kInt4 = 23,
    kOid = 26,
    kFloat4 = 700,
    kFloat8 = 701,
    kMoney = 790,
    kDate = 1082,
    kTime = 1083,
    kTimestamp = 1114,
    kTimestampTz = 1184,
    kNumeric = 1700,
};

// Money is stored as numeric(19,4) (the translator's type for money and smallmoney): that
// precision and scale, in the modifier the server reports, marks a money column.
constexpr int kMoneyModifier = ((19 << 16) | 4) + 4;

ColumnKind KindOfType(std::uint32_t oid, int modifier) {
    if (oid == kNumeric && modifier == kMoneyModifier) return ColumnKind::Money;
    switch (oid) {
        case kDate:
        case kTime:
        case kTimestamp:
        case kTimestampTz: return ColumnKind::Date;
        case kMoney: return ColumnKind::Money;
        default: return ColumnKind::Plain;
    }
}

// Money comes formatted for the server's locale ("$1,234.50", "-$3.00"): only the digits, the
// sign and the decimal point count.
double MoneyOf(const std::string& text) {
    std::string plain;
    for (char c : text) {
        if ((c >= '0' && c <= '9') || c == '.') plain += c;
        else if (c == '-' || c == '(') plain.insert(plain.begin(), '-');
    }
    return std::strtod(plain.c_str(), nullptr);
}

qv::sql::Value ValueOf(std::optional<std::string>& text, std::uint32_t oid) {
    if (!text) return std::monostate{};
    std::string& s = *text;
    switch (oid) {
        case kBool: return std::int64_t{s == "t" ? 1 : 0};
        case kInt2:
        case kInt4:
        case kInt8:
        case kOid: return static_cast<std::int64_t>(std::strtoll(s.c_str(), nullptr, 10));
        case kNumeric:
            // A whole number (a sum of integers) stays an integer, as it does on SQLite.
            if (s.find_first_of(".eEN") == std::string::npos && s.size() < 19) {
                return static_cast<std::int64_t>(std::strtoll(s.c_str(), nullptr, 10));
            }
            return std::strtod(s.c_str(), nullptr);
        case kFloat4:
        case kFloat8: return std::strtod(s.c_str(), nullptr);
        case kMoney: return MoneyOf(s);
        case kTimestampTz:
            // The zone after the seconds: the date is the server's local time.
            if (s.size() > 19) {
                const std::size_t zone = s.find_first_of("+-", 19);
                if (zone != std::string::npos) s.resize(zone);
            }
            return std::move(s);
        default: return std::move(s);
    }
}

}  // namespace

int Session::OpenPg(const std::string& connectionString, int connectTimeoutMs) {
    pg_ = decltype(pg_)(new qv::sql::PgDb(), [](qv::sql::PgDb* db) { delete db; });
    qv::sql::PgOpenOptions options;
    options.statementTimeoutMs = kDefaultTimeoutMs;
    options.connectTimeoutMs = connectTimeoutMs;
    options.statementCacheSize = kStatementCacheSize;
    const int rc = pg_->Open(connectionString, options);
    if (rc == 0) {
        Session* raw = this;
        options_.tranCount = [raw] { return raw->pg_->Depth(); };
    }
    return rc;
}

void Session::PgReadInBulk() { pg_->Exec("SET enable_nestloop TO off"); }

bool Session::PgAlive() const { return pg_->IdleAndAlive(); }

int Session::SetPgTimeout(int ms) { return pg_->SetStatementTimeout(ms); }

int Session::SetPgIsolationLevel(long level) {
    // PostgreSQL reads nothing uncommitted: read uncommitted and chaos run as read committed.
    const char* name = level >= 1048576 ? "SERIALIZABLE" : level >= 65536 ? "REPEATABLE READ" : "READ COMMITTED";
    return pg_->SetIsolationLevel(name);
}

void Session::PgSettingsLost() {
    // The server undoes a SET with the transaction it was made in: UseTimeout sends the timeout
    // and the isolation level again before the next statement (not now, which would replace the
    // error the caller is about to read).
    timeoutMs_ = -1;
}

Session::Rows Session::RunPg(const std::string& tsql, bool stream, std::shared_ptr<const qv::tsql::Program> program) {
    qv::sql::PgRun run;
    try {
        run = program ? qv::sql::RunProgram(*pg_, std::move(program), stream) : qv::sql::RunBatch(*pg_, tsql, stream);
    } catch (const qv::tsql::ExecError&) {
        // A deadlock or a lost connection ends the transaction.
        if (pg_->Depth() == 0) PgSettingsLost();
        throw;
    }
    Rows out;
    out.affected = static_cast<long>(run.rowsAffected);
    if (!run.hasResult) return out;
    out.hasResult = true;
    qv::sql::PgRows& result = run.result;
    auto columns = std::make_shared<std::vector<ColumnInfo>>(result.columns.size());
    for (std::size_t c = 0; c < result.columns.size(); ++c) {
        ColumnInfo& info = (*columns)[c];
        info.name = qv::FromUtf8(result.columns[c]);
        info.lower = qv::ToLower(info.name);
        info.kind = c < result.types.size() && c < result.modifiers.size()
                        ? KindOfType(result.types[c], result.modifiers[c])
                        : ColumnKind::Plain;
    }
    // Takes the texts over rather than copying them.
    auto convert = [types = result.types](qv::sql::PgRow& row, std::vector<qv::sql::Value>* values) {
        values->clear();
        values->reserve(row.size());
        for (std::size_t c = 0; c < row.size(); ++c) values->push_back(ValueOf(row[c], c < types.size() ? types[c] : 0));
    };
    out.columns = std::move(columns);
    if (run.stream) {
        Session* raw = this;
        const std::size_t step = run.resultStep;
        std::string sql = run.program->steps[step].sql;
        out.next = [raw, stream = std::move(run.stream), convert, step, sql](std::vector<qv::sql::Value>* values) {
            qv::sql::PgRow row;
            bool got = false;
            if (stream->Next(&row, &got) != 0) {
                if (raw->pg_->Depth() == 0) raw->PgSettingsLost();
                const qv::sql::ErrorInfo& e = raw->pg_->LastError();
                throw qv::tsql::ExecError(e.nativeError, e.description, step, sql);
            }
            if (got) convert(row, values);
            return got;
        };
        return out;
    }
    out.rows.resize(result.rows.size());
    for (std::size_t r = 0; r < result.rows.size(); ++r) {
        convert(result.rows[r], &out.rows[r]);
        result.rows[r] = {};
    }
    return out;
}

const Session::PgTable& Session::PgTableOf(const std::string& table) {
    const std::string key = qv::tsql::ToLowerAscii(table);
    if (auto it = pgTables_.find(key); it != pgTables_.end()) return it->second;
    // The name as the translator prints it (folded to lower case); the key's columns in the
    // order of the key.
    static const char kSql[] =
        "SELECT to_regclass(quote_ident(lower($1)))::text, a.attname, "
        "CASE WHEN a.attnum = ANY (i.indkey) THEN array_position(i.indkey::int2[], a.attnum) END "
        "FROM pg_attribute a LEFT JOIN pg_index i ON i.indrelid = a.attrelid AND i.indisprimary "
        "WHERE a.attrelid = to_regclass(quote_ident(lower($1))) AND a.attnum > 0 AND NOT a.attisdropped "
        "ORDER BY a.attnum";
    qv::sql::PgRows rows;
    PgTable found;
    if (pg_->Query(kSql, {table}, &rows) == 0 && !rows.rows.empty()) {
        std::vector<std::pair<long, std::string>> keyParts;
        for (const auto& row : rows.rows) {
            if (row.size() < 3 || !row[0] || !row[1]) continue;
            found.name = *row[0];
            found.columns.push_back(*row[1]);
            // int2vector counts from 0.
            if (row[2]) keyParts.emplace_back(std::strtol(row[2]->c_str(), nullptr, 10), *row[1]);
        }
        std::sort(keyParts.begin(), keyParts.end());
        for (auto& [position, name] : keyParts) found.key.push_back(std::move(name));
    }
    static const PgTable kNone;
    // An unknown name is not remembered: the table may be created later.
    if (found.name.empty()) return kNone;
    return pgTables_.emplace(key, std::move(found)).first->second;
}

namespace {

// A value as the server reads it from text: the column's type decides.
std::optional<std::string> PgText(const qv::sql::Value& v) {
    if (const auto* i = std::get_if<std::int64_t>(&v)) return std::to_string(*i);
    if (const auto* d = std::get_if<double>(&v)) {
        char buffer[32];
        const auto end = std::to_chars(buffer, buffer + sizeof buffer, *d).ptr;
        return std::string(buffer, end);
    }
    if (const auto* s = std::get_if<std::string>(&v)) return *s;
    if (const auto* b = std::get_if<qv::sql::Blob>(&v)) {
        static const char kHex[] = "0123456789abcdef";
        std::string text = "\\x";
        text.reserve(2 + b->size() * 2);
        for (unsigned char c : *b) {
            text += kHex[c >> 4];
            text += kHex[c & 15];
        }
        return text;
    }
    return std::nullopt;
}

std::string QuotePgName(const std::string& name) {
    std::string q = "\"";
    for (char c : name) {
        if (c == '"') q += '"';
        q += c;
    }
    return q + '"';
}

}  // namespace

int Session::UpdatePgRow(const PgTable& table, const std::vector<std::string>& columns,
                         const std::vector<qv::sql::Value>& values, const std::vector<qv::sql::Value>& keyValues,
                         long* changed) {
    std::string sql = "UPDATE " + table.name + " SET ";
    qv::sql::PgParams params;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (i > 0) sql += ", ";
        params.push_back(PgText(values[i]));
        sql += QuotePgName(columns[i]) + " = $" + std::to_string(params.size());
    }
    for (std::size_t i = 0; i < table.key.size(); ++i) {
        sql += i == 0 ? " WHERE " : " AND ";
        params.push_back(i < keyValues.size() ? PgText(keyValues[i]) : std::nullopt);
        sql += QuotePgName(table.key[i]) + " = $" + std::to_string(params.size());
    }
    qv::sql::PgRows result;
    const int rc = pg_->Query(sql, params, &result);
    if (rc != 0) {
        if (pg_->Depth() == 0) PgSettingsLost();
        return rc;
    }
    if (changed) *changed = result.affected;
    return 0;
}

int Session::Begin() { return pg_ ? pg_->Begin() : db_.Begin(); }
int Session::Commit() {
    if (!pg_) return db_.Commit();
    const int rc = pg_->Commit();
    // A transaction that ended without being committed took the settings made in it along.
    if (rc != 0 && pg_->Depth() == 0) PgSettingsLost();
    return rc;
}
int Session::Rollback() {
    if (!pg_) return db_.Rollback();
    const int rc = pg_->Rollback();
    PgSettingsLost();
    return rc;
}
int Session::Depth() { return pg_ ? pg_->Depth() : db_.Depth(); }
const qv::sql::ErrorInfo& Session::LastError() const { return pg_ ? pg_->LastError() : db_.LastError(); }
const wchar_t* Session::DriverSource() const { return pg_ ? kSourcePgDriver : kSourceDriver; }
std::shared_ptr<qv::sql::StatementInterrupter> Session::Interrupter() const {
    return pg_ ? pg_->Interrupter() : db_.Interrupter();
}

#else
// Built without libpq: a PostgreSQL string gets a clear error, and the session stays on SQLite.
int Session::OpenPg(const std::string&, int) { return -1; }
void Session::PgReadInBulk() {}
bool Session::PgAlive() const { return false; }
int Session::SetPgTimeout(int) { return 0; }
int Session::SetPgIsolationLevel(long) { return 0; }
void Session::PgSettingsLost() {}
Session::Rows Session::RunPg(const std::string&, bool, std::shared_ptr<const qv::tsql::Program>) {
    throw std::logic_error("PostgreSQL is not available in this build");
}
const Session::PgTable& Session::PgTableOf(const std::string&) {
    static const PgTable kNone;
    return kNone;
}
int Session::UpdatePgRow(const PgTable&, const std::vector<std::string>&, const std::vector<qv::sql::Value>&,
                         const std::vector<qv::sql::Value>&, long*) {
    return -1;
}
int Session::Begin() { return db_.Begin(); }
int Session::Commit() { return db_.Commit(); }
int Session::Rollback() { return db_.Rollback(); }
int Session::Depth() { return db_.Depth(); }
const qv::sql::ErrorInfo& Session::LastError() const { return db_.LastError(); }
const wchar_t* Session::DriverSource() const { return kSourceDriver; }
std::shared_ptr<qv::sql::StatementInterrupter> Session::Interrupter() const { return db_.Interrupter(); }
#endif

}  // namespace qv::ado
