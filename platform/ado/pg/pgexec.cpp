#include "pgexec.h"

#include "tsqlerror.h"
#include "tsqllexer.h"

#include <algorithm>
#include <cstdio>

namespace qv::sql {

namespace {

constexpr std::uint32_t kTextOid = 25;

std::optional<std::string> AsText(const Value& v, std::size_t step, const std::string& sql) {
    if (std::holds_alternative<std::monostate>(v)) return std::nullopt;
    if (const auto* i = std::get_if<std::int64_t>(&v)) return std::to_string(*i);
    if (const auto* d = std::get_if<double>(&v)) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.17g", *d);
        return std::string(buf);
    }
    if (const auto* s = std::get_if<std::string>(&v)) return *s;
    throw qv::tsql::ExecError(-1, "a binary constant cannot be bound on PostgreSQL", step, sql);
}

class Runner {
public:
    Runner(PgDb& db, const qv::tsql::Program& program, PgRun& run, bool stream)
        : db_(db), program_(program), run_(run), stream_(stream) {}

    void Run() {
        const auto& steps = program_.steps;
        run_.slots.assign(program_.variables.size() + 1, std::nullopt);
        if (program_.trancountSlot >= 0) run_.slots[static_cast<std::size_t>(program_.trancountSlot)] = std::to_string(db_.Depth());
        std::size_t pc = 0;
        while (pc < steps.size()) {
            const qv::tsql::Step& step = steps[pc];
            using qv::tsql::StepKind;
            switch (step.kind) {
                case StepKind::Query: {
                    PgRows rows;
                    if (stream_ && !run_.hasResult) {
                        run_.stream = Open(pc);
                        rows = run_.stream->Head();
                    } else {
                        Exec(pc, &rows);
                    }
                    if (!run_.hasResult) {
                        run_.hasResult = true;
                        run_.resultStep = pc;
                        // The names the statement wrote; PostgreSQL's own where it wrote none.
                        if (step.namesKnown) {
                            for (std::size_t c = 0; c < rows.columns.size() && c < step.columnNames.size(); ++c) {
                                if (!step.columnNames[c].empty()) rows.columns[c] = step.columnNames[c];
                            }
                        }
                        run_.result = std::move(rows);
                    }
                    break;
                }
                case StepKind::Modify: {
                    wrote_ = true;
                    PgRows rows;
                    Exec(pc, &rows);
                    run_.rowsAffected += rows.affected;
                    break;
                }
                case StepKind::Assign: {
                    PgRows rows;
                    Exec(pc, &rows);
                    if (!rows.rows.empty()) {
                        const auto& last = rows.rows.back();
                        for (std::size_t i = 0; i < step.slots.size() && i < last.size(); ++i) Slot(step.slots[i]) = last[i];
                    }
                    break;
                }
                case StepKind::SetVar: {
                    if (step.constant) {
                        Slot(step.slot) = AsText(*step.constant, pc, step.sql);
                    } else {
                        PgRows rows;
                        Exec(pc, &rows);
                        Slot(step.slot) = rows.rows.empty() ? std::nullopt : rows.rows[0][0];
                    }
                    break;
                }
                case StepKind::Branch: {
                    PgRows rows;
                    Exec(pc, &rows);
                    if (rows.rows.empty() || rows.rows[0][0].value_or("0") == "0") {
                        pc = step.jump;
                        continue;
                    }
                    break;
                }
                case StepKind::Jump: pc = step.jump; continue;
                case StepKind::Call:
                    wrote_ = true;
                    Call(pc);
                    break;
            }
            ++pc;
        }
    }

private:
    std::optional<std::string>& Slot(int slot) { return run_.slots.at(static_cast<std::size_t>(slot)); }

    // A procedure of the database is a function of schema dbo that takes the call's input
    // arguments in order and returns the value of its OUTPUT argument.
    void Call(std::size_t pc) {
        const qv::tsql::Step& step = program_.steps[pc];
        const bool plainName = !step.procedure.empty() &&
                               std::all_of(step.procedure.begin(), step.procedure.end(), [](char c) {
                                   return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                                          c == '_';
                               });
        if (!plainName) throw qv::tsql::ExecError(-1, "no stored procedure " + step.procedure, pc, step.procedure);
        std::string sql = "SELECT dbo." + step.procedure + "(";
        PgParams params;
        int output = -1;
        for (const qv::tsql::CallArg& a : step.args) {
            if (a.output) {
                if (output < 0) output = a.slot;
                continue;
            }
            params.push_back(a.slot >= 0 ? Slot(a.slot) : AsText(a.constant, pc, step.procedure));
            sql += (params.size() > 1 ? ", $" : "$") + std::to_string(params.size());
        }
        sql += ")";
        PgRows rows;
        if (db_.Query(sql, params, std::vector<std::uint32_t>(params.size(), 0), &rows) != 0) Throw(pc, step.procedure);
        if (output >= 0 && !rows.rows.empty() && !rows.rows[0].empty()) Slot(output) = rows.rows[0][0];
    }

    // Binds the step's slots as $slot+1; the numbers it skips are typed as text, since
    // PostgreSQL must know a type for every number up to the highest.
    void Bind(const qv::tsql::Step& step, PgParams* params, std::vector<std::uint32_t>* types) {
        int highest = -1;
        for (int s : step.params) highest = std::max(highest, s);
        params->assign(static_cast<std::size_t>(highest + 1), std::nullopt);
        types->assign(params->size(), kTextOid);
        for (int s : step.params) {
            (*params)[static_cast<std::size_t>(s)] = Slot(s);
            (*types)[static_cast<std::size_t>(s)] = 0;
        }
    }

    void Exec(std::size_t pc, PgRows* rows) {
        const qv::tsql::Step& step = program_.steps[pc];
        PgParams params;
        std::vector<std::uint32_t> types;
        Bind(step, &params, &types);
        if (db_.Query(step.sql, params, types, rows) != 0) Throw(pc, step.sql);
    }

    std::shared_ptr<PgStream> Open(std::size_t pc) {
        const qv::tsql::Step& step = program_.steps[pc];
        PgParams params;
        std::vector<std::uint32_t> types;
        Bind(step, &params, &types);
        std::shared_ptr<PgStream> stream;
        if (db_.Stream(step.sql, params, types, &stream) != 0) Throw(pc, step.sql);
        return stream;
    }

    // The driver's error as the step's. A batch that has only read so far changed nothing the
    // server could have kept, so losing its connection in flight may be repeated.
    [[noreturn]] void Throw(std::size_t pc, const std::string& statement) {
        if (!wrote_) db_.MarkLossRepeatable();
        const ErrorInfo& e = db_.LastError();
        throw qv::tsql::ExecError(e.nativeError, e.description, pc, statement);
    }

    PgDb& db_;
    const qv::tsql::Program& program_;
    PgRun& run_;
    bool stream_;
    bool wrote_ = false;  // a step that may change data has been sent
};

}  // namespace

std::optional<std::optional<std::string>> PgRun::Variable(std::string_view name) const {
    if (!program) return std::nullopt;
    if (!name.empty() && name[0] == '@') name.remove_prefix(1);
    for (std::size_t i = 0; i < program->variables.size(); ++i) {
        if (qv::tsql::EqualsNoCase(program->variables[i].name, name)) return slots.at(i);
    }
    return std::nullopt;
}

PgRun RunProgram(PgDb& db, std::shared_ptr<const qv::tsql::Program> program, bool stream) {
    PgRun run;
    run.program = std::move(program);
    Runner(db, *run.program, run, stream).Run();
    return run;
}

PgRun RunBatch(PgDb& db, std::string_view tsql, bool stream) { return RunProgram(db, qv::tsql::TranslatePg(tsql), stream); }

}  // namespace qv::sql
