#include "tsqlexec.h"

#include "extensions.h"
#include "tsqlerror.h"
#include "tsqllexer.h"

#include <sqlite3.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <utility>

namespace qv::tsql {

// ---- execution -----------------------------------------------------------------------------

namespace {

using qv::sql::Value;

// A prepared statement: lent by the connection's cache, or prepared for this use alone.
class Statement {
public:
    Statement() = default;
    explicit Statement(qv::sql::StatementCache::Lease lease) : lease_(std::move(lease)) {}
    explicit Statement(sqlite3_stmt* own) : own_(own) {}
    Statement(Statement&& o) noexcept : lease_(std::move(o.lease_)), own_(std::exchange(o.own_, nullptr)) {}
    Statement& operator=(Statement&& o) noexcept {
        if (this != &o) {
            Reset();
            lease_ = std::move(o.lease_);
            own_ = std::exchange(o.own_, nullptr);
        }
        return *this;
    }
    ~Statement() { Reset(); }
    void Reset() {
        lease_ = qv::sql::StatementCache::Lease();
        sqlite3_finalize(std::exchange(own_, nullptr));
    }
    sqlite3_stmt* get() const { return own_ ? own_ : lease_.get(); }
    explicit operator bool() const { return get() != nullptr; }

private:
    qv::sql::StatementCache::Lease lease_;
    sqlite3_stmt* own_ = nullptr;
};

Value ColumnValue(sqlite3_stmt* stmt, int i) {
    switch (sqlite3_column_type(stmt, i)) {
        case SQLITE_INTEGER: return Value(static_cast<std::int64_t>(sqlite3_column_int64(stmt, i)));
        case SQLITE_FLOAT: return Value(sqlite3_column_double(stmt, i));
        case SQLITE_TEXT: {
            const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
            return Value(std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(stmt, i))));
        }
        case SQLITE_BLOB: {
            const auto* p = static_cast<const std::uint8_t*>(sqlite3_column_blob(stmt, i));
            const int n = sqlite3_column_bytes(stmt, i);
            return Value(qv::sql::Blob(p, p + n));
        }
        default: return Value();
    }
}

int Bind(sqlite3_stmt* stmt, int index, const Value& v) {
    // The values stay untouched while the statement runs, so SQLite need not copy them.
    if (const auto* i = std::get_if<std::int64_t>(&v)) return sqlite3_bind_int64(stmt, index, *i);
    if (const auto* d = std::get_if<double>(&v)) return sqlite3_bind_double(stmt, index, *d);
    if (const auto* s = std::get_if<std::string>(&v)) {
        return sqlite3_bind_text(stmt, index, s->data(), static_cast<int>(s->size()), SQLITE_STATIC);
    }
    if (const auto* b = std::get_if<qv::sql::Blob>(&v)) {
        return sqlite3_bind_blob(stmt, index, b->data(), static_cast<int>(b->size()), SQLITE_STATIC);
    }
    return sqlite3_bind_null(stmt, index);
}

// 'YYYY-MM-DD HH:MM:SS', the form dates are stored in.
bool IsStoredDateTime(const std::string& s) {
    static const char kPattern[] = "dddd-dd-dd dd:dd:dd";
    if (s.size() != sizeof kPattern - 1) return false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const bool digit = s[i] >= '0' && s[i] <= '9';
        if (kPattern[i] == 'd' ? !digit : s[i] != kPattern[i]) return false;
    }
    return true;
}

std::size_t CountChars(const std::string& s) {
    std::size_t n = 0;
    for (unsigned char c : s) {
        if ((c & 0xC0) != 0x80) ++n;
    }
    return n;
}

std::string CutChars(const std::string& s, std::size_t chars) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
            if (n == chars) return s.substr(0, i);
            ++n;
        }
    }
    return s;
}

}  // namespace

struct Execution::Impl {
    sqlite3* db = nullptr;
    std::shared_ptr<const Program> program;
    qv::sql::StatementCache* cache = nullptr;
    std::vector<Value> slots;  // variables, then @@TRANCOUNT

    bool hasResult = false;
    std::size_t resultStep = 0;
    // The result's column names: the step's own when it knows them, else SQLite's.
    const std::vector<std::string>* names = &ownNames;
    std::vector<std::string> ownNames;
    // Streaming result: the statement of the batch's last step.
    Statement stream;
    bool streamDone = false;
    // Buffered result: a statement that other steps follow.
    std::vector<std::vector<Value>> rows;
    std::size_t rowIndex = 0;
    bool started = false;
    std::vector<Value> current;

    std::int64_t rowsAffected = 0;
    std::function<void(const ExecError&)> failed;

    // Tells the caller's hook of a failure on its way out.
    void Report(const ExecError& e) const {
        if (failed) failed(e);
    }

    [[noreturn]] void Fail(std::size_t step, const std::string& statement) const {
        throw ExecError(sqlite3_extended_errcode(db), sqlite3_errmsg(db), step, statement);
    }

    // A statement for `sql`; throws ExecError naming step `pc` when it does not prepare.
    Statement PrepareSql(std::size_t pc, const std::string& sql) {
        if (cache) {
            int rc = SQLITE_OK;
            qv::sql::StatementCache::Lease lease = cache->Acquire(sql, &rc);
            if (!lease && rc == SQLITE_INTERRUPT) throw ExecError(rc, "interrupted", pc, sql);
            if (!lease) Fail(pc, sql);
            return Statement(std::move(lease));
        }
        sqlite3_stmt* raw = nullptr;
        if (sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &raw, nullptr) != SQLITE_OK || !raw) {
            sqlite3_finalize(raw);
            Fail(pc, sql);
        }
        return Statement(raw);
    }

    Statement Prepare(std::size_t pc) {
        const Step& step = program->steps[pc];
        Statement stmt = PrepareSql(pc, step.sql);
        for (int slot : step.params) {
            if (Bind(stmt.get(), slot + 1, slots[static_cast<std::size_t>(slot)]) != SQLITE_OK) Fail(pc, step.sql);
        }
        return stmt;
    }

    // Steps the statement; true for a row, false when done.
    bool StepRow(sqlite3_stmt* stmt, std::size_t pc) {
        const int rc = sqlite3_step(stmt);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) Fail(pc, program->steps[pc].sql);
        // SQLite prepares a statement again when an index compares a column with a constant that
        // a parameter of the statement stands for: the indexes tell which literals to keep. Read
        // after the error check, which their reading would overwrite.
        if (program->literalBase >= 0 && sqlite3_stmt_status(stmt, SQLITE_STMTSTATUS_REPREPARE, 1) > 0) NoteIndexes(db);
        return rc == SQLITE_ROW;
    }

    std::vector<Value> RowValues(sqlite3_stmt* stmt) {
        const int n = sqlite3_column_count(stmt);
        std::vector<Value> row;
        row.reserve(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i) row.push_back(ColumnValue(stmt, i));
        return row;
    }

    // Whether no step can run after `pc` (only jumps to the end follow).
    bool IsLast(std::size_t pc) const {
        const auto& steps = program->steps;
        std::size_t k = pc + 1;
        while (k < steps.size() && steps[k].kind == StepKind::Jump) k = steps[k].jump;
        return k >= steps.size();
    }

    void TakeNames(sqlite3_stmt* stmt, const Step& step) {
        const int n = sqlite3_column_count(stmt);
        if (step.namesKnown && step.columnNames.size() == static_cast<std::size_t>(n)) {
            names = &step.columnNames;
            return;
        }
        ownNames.clear();
        for (int i = 0; i < n; ++i) {
            const char* name = sqlite3_column_name(stmt, i);
            ownNames.emplace_back(name ? name : "");
        }
        names = &ownNames;
    }

    // T-SQL converts a value to the variable's declared type on assignment.
    Value ConvertForVariable(std::size_t pc, int slot, Value v) {
        const qv::tsql::Variable& var = program->variables[static_cast<std::size_t>(slot)];
        if (qv::sql::IsNull(v)) return v;
        const std::string& type = var.type;
        const std::size_t paren = type.find('(');
        const std::string base = type.substr(0, paren);
        if (base == "int" || base == "bigint" || base == "smallint" || base == "tinyint" || base == "bit") {
            if (const auto* i = std::get_if<std::int64_t>(&v)) {
                return base == "bit" ? Value(std::int64_t(*i != 0)) : v;
            }
            if (const auto* d = std::get_if<double>(&v)) {
                if (std::isfinite(*d) && std::fabs(*d) < 9.2e18) {
                    const auto i = static_cast<std::int64_t>(*d);  // T-SQL truncates
                    return base == "bit" ? Value(std::int64_t(i != 0)) : Value(i);
                }
            }
        } else if (base == "float" || base == "real") {
            if (const auto* i = std::get_if<std::int64_t>(&v)) return Value(static_cast<double>(*i));
            if (std::holds_alternative<double>(v)) return v;
        } else if (base == "decimal" || base == "numeric" || base == "money" || base == "smallmoney") {
            if (std::holds_alternative<std::int64_t>(v) || std::holds_alternative<double>(v)) return v;
        } else if (base == "varchar" || base == "nvarchar" || base == "sysname" || base == "text" ||
                   base == "ntext") {
            if (const auto* s = std::get_if<std::string>(&v)) {
                // A declared varchar without length holds one character.
                std::size_t limit = std::numeric_limits<std::size_t>::max();
                if (paren == std::string::npos && (base == "varchar" || base == "nvarchar")) limit = 1;
                if (paren != std::string::npos && type.compare(paren, 5, "(max)") != 0) {
                    limit = std::stoul(type.substr(paren + 1));
                }
                if (base == "sysname") limit = 128;
                if (CountChars(*s) > limit) return Value(CutChars(*s, limit));
                return v;
            }
        } else if (base == "datetime") {
            // Already in the stored form; anything else ('2031-06-15', numbers) is converted.
            if (const auto* s = std::get_if<std::string>(&v); s && IsStoredDateTime(*s)) return v;
        }
        // Everything else goes through the runtime's conversion.
        std::string target = type;
        if (paren == std::string::npos && (base == "varchar" || base == "nvarchar" || base == "char" || base == "nchar")) {
            target += "(1)";
        }
        static const std::string kConvert = "SELECT tsql_convert(?1, ?2)";
        const Value typeValue(target);  // bound without a copy: it outlives the statement's use
        Statement stmt = PrepareSql(pc, kConvert);
        sqlite3_stmt* raw = stmt.get();
        Bind(raw, 1, typeValue);
        Bind(raw, 2, v);
        if (!StepRow(raw, pc)) return Value();
        return ColumnValue(raw, 0);
    }

    void Assign(std::size_t pc, int slot, Value v) {
        slots[static_cast<std::size_t>(slot)] = ConvertForVariable(pc, slot, std::move(v));
    }

    void Call(std::size_t pc) {
        const Step& step = program->steps[pc];
        const std::string statement = "EXEC " + step.procedure;
        const qv::sql::Procedure* proc = qv::sql::FindProcedure(step.procedure);
        if (!proc) {
            throw ExecError(SQLITE_ERROR, "Could not find stored procedure '" + step.procedure + "'.", pc, statement);
        }
        std::vector<Value> args;
        args.reserve(step.args.size());
        for (const CallArg& a : step.args) {
            args.push_back(a.slot >= 0 ? slots[static_cast<std::size_t>(a.slot)] : a.constant);
        }
        try {
            (*proc)(db, args);
        } catch (const ExecError& e) {
            throw ExecError(e.code(), e.message(), pc, statement);
        } catch (const std::exception& e) {
            throw ExecError(SQLITE_ERROR, e.what(), pc, statement);
        }
        for (std::size_t i = 0; i < step.args.size() && i < args.size(); ++i) {
            if (step.args[i].output) Assign(pc, step.args[i].slot, std::move(args[i]));
        }
    }

    void Run() {
        const auto& steps = program->steps;
        std::size_t pc = 0;
        while (pc < steps.size()) {
            const Step& step = steps[pc];
            switch (step.kind) {
                case StepKind::Query: {
                    Statement stmt = Prepare(pc);
                    if (hasResult) {
                        // Only the first result reaches the caller; later ones still run.
                        while (StepRow(stmt.get(), pc)) {
                        }
                        break;
                    }
                    hasResult = true;
                    resultStep = pc;
                    TakeNames(stmt.get(), step);
                    if (IsLast(pc)) {
                        stream = std::move(stmt);
                        return;
                    }
                    while (StepRow(stmt.get(), pc)) rows.push_back(RowValues(stmt.get()));
                    break;
                }
                case StepKind::Modify: {
                    Statement stmt = Prepare(pc);
                    while (StepRow(stmt.get(), pc)) {
                    }
                    rowsAffected += sqlite3_changes64(db);
                    break;
                }
                case StepKind::Assign: {
                    std::vector<Value> last;
                    bool any = false;
                    {
                        Statement stmt = Prepare(pc);
                        while (StepRow(stmt.get(), pc)) {
                            last = RowValues(stmt.get());
                            any = true;
                        }
                    }
                    if (any) {
                        for (std::size_t i = 0; i < step.slots.size() && i < last.size(); ++i) {
                            Assign(pc, step.slots[i], std::move(last[i]));
                        }
                    }
                    break;
                }
                case StepKind::SetVar: {
                    Value v;
                    if (step.valueSlot >= 0) {
                        v = slots[static_cast<std::size_t>(step.valueSlot)];
                    } else if (step.constant) {
                        v = *step.constant;
                    } else {
                        Statement stmt = Prepare(pc);
                        if (StepRow(stmt.get(), pc)) v = ColumnValue(stmt.get(), 0);
                    }
                    Assign(pc, step.slot, std::move(v));
                    break;
                }
                case StepKind::Branch: {
                    bool yes = false;
                    {
                        Statement stmt = Prepare(pc);
                        if (StepRow(stmt.get(), pc)) yes = sqlite3_column_int(stmt.get(), 0) != 0;
                    }
                    if (!yes) {
                        pc = step.jump;
                        continue;
                    }
                    break;
                }
                case StepKind::Jump: pc = step.jump; continue;
                case StepKind::Call: Call(pc); break;
            }
            ++pc;
        }
    }
};

Execution::Execution() = default;
Execution::Execution(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Execution::Execution(Execution&&) noexcept = default;
Execution& Execution::operator=(Execution&&) noexcept = default;
Execution::~Execution() = default;

bool Execution::HasResult() const { return impl_ && impl_->hasResult; }

std::size_t Execution::ResultStep() const { return impl_ ? impl_->resultStep : 0; }

int Execution::ColumnCount() const { return impl_ ? static_cast<int>(impl_->names->size()) : 0; }

const std::string& Execution::ColumnName(int column) const {
    if (!impl_ || column < 0 || static_cast<std::size_t>(column) >= impl_->names->size()) {
        throw std::out_of_range("no such column");
    }
    return (*impl_->names)[static_cast<std::size_t>(column)];
}

bool Execution::Next() {
    if (!impl_ || !impl_->hasResult) return false;
    Impl& d = *impl_;
    d.started = true;
    if (d.stream) {
        if (d.streamDone) return false;
        try {
            if (d.StepRow(d.stream.get(), d.resultStep)) return true;
        } catch (const ExecError& e) {
            d.Report(e);
            throw;
        }
        d.streamDone = true;
        d.stream.Reset();
        return false;
    }
    if (d.rowIndex >= d.rows.size()) {
        d.current.clear();
        return false;
    }
    d.current = std::move(d.rows[d.rowIndex++]);
    return true;
}

qv::sql::Value Execution::Get(int column) const {
    if (!impl_ || column < 0 || column >= ColumnCount()) throw std::out_of_range("no such column");
    const Impl& d = *impl_;
    if (d.stream) {
        if (!d.started) throw std::out_of_range("no current row");
        return ColumnValue(d.stream.get(), column);
    }
    if (!d.started || static_cast<std::size_t>(column) >= d.current.size()) throw std::out_of_range("no current row");
    return d.current[static_cast<std::size_t>(column)];
}

std::int64_t Execution::RowsAffected() const { return impl_ ? impl_->rowsAffected : 0; }

std::optional<qv::sql::Value> Execution::Variable(std::string_view name) const {
    if (!impl_) return std::nullopt;
    if (!name.empty() && name[0] == '@') name.remove_prefix(1);
    const auto& vars = impl_->program->variables;
    for (std::size_t i = 0; i < vars.size(); ++i) {
        if (EqualsNoCase(vars[i].name, name)) return impl_->slots[i];
    }
    return std::nullopt;
}

Execution Execute(sqlite3* db, std::shared_ptr<const Program> program, const ExecOptions& options) {
    return Execute(db, SharedProgram{std::move(program), {}}, options);
}

Execution Execute(sqlite3* db, SharedProgram shared, const ExecOptions& options) {
    std::shared_ptr<const Program> program = std::move(shared.program);
    auto impl = std::make_unique<Execution::Impl>();
    impl->db = db;
    impl->cache = options.cache ? options.cache : qv::sql::StatementCache::For(db);
    if (program->literalBase >= 0) {
        const auto base = static_cast<std::size_t>(program->literalBase);
        impl->slots.resize(base + shared.literals.size());
        std::move(shared.literals.begin(), shared.literals.end(), impl->slots.begin() + static_cast<std::ptrdiff_t>(base));
    } else if (!program->variables.empty() || program->trancountSlot >= 0) {
        impl->slots.resize(program->variables.size() + 1);
    }
    if (program->trancountSlot >= 0) {
        impl->slots[static_cast<std::size_t>(program->trancountSlot)] =
            qv::sql::Value(static_cast<std::int64_t>(options.tranCount ? options.tranCount() : 0));
    }
    impl->program = std::move(program);
    impl->failed = options.failed;
    if (options.admit) options.admit();
    try {
        impl->Run();
    } catch (const ExecError& e) {
        impl->Report(e);
        throw;
    }
    return Execution(std::move(impl));
}

Execution Execute(sqlite3* db, std::string_view tsql, const ExecOptions& options) {
    return Execute(db, Translate(tsql), options);
}

}  // namespace qv::tsql
