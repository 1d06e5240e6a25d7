#include "tsqlprogram.h"

#include "extensions.h"
#include "pgprinter.h"
#include "sqliteprinter.h"
#include "tsqlfunctions.h"
#include "tsqlanalysis.h"
#include "tsqlerror.h"
#include "tsqllexer.h"
#include "tsqlparser.h"

#include <sqlite3.h>

#include <algorithm>
#include <charconv>
#include <list>
#include <mutex>
#include <unordered_map>

namespace qv::tsql {

namespace {

void ReadIndexes(sqlite3* db, bool always);

// Connections that the driver opens get the functions that translated statements call.
[[maybe_unused]] const bool kFunctionsInstalled = [] {
    qv::sql::RegisterConnectionInitializer("qv.tsql.functions", [](sqlite3* db) {
        RegisterFunctions(db);
        ReadIndexes(db, true);
    });
    return true;
}();

// The comparisons of a column with a constant in CREATE INDEX text, after ON <table>: in the
// indexed expressions and in the WHERE.
std::vector<IndexedConstant> IndexedConstantsOf(std::string_view createIndex) {
    std::vector<Token> t;
    // Read while a statement runs: a caller's stop is not for this.
    StopScope unstoppable(nullptr);
    try {
        t = Tokenize(createIndex);
    } catch (const TranslateError&) {
        return {};
    }
    std::size_t on = 0;
    while (on < t.size() && !t[on].IsWord("ON")) ++on;
    auto isName = [](const Token& x) { return x.kind == TokenKind::Identifier || x.kind == TokenKind::QuotedIdentifier; };
    auto isCompare = [](const Token& x) {
        return x.IsOp("=") || x.IsOp("<>") || x.IsOp("!=") || x.IsOp("<") || x.IsOp(">") || x.IsOp("<=") || x.IsOp(">=");
    };
    auto isNumber = [](const Token& x) { return x.kind == TokenKind::Integer || x.kind == TokenKind::Decimal; };
    auto isConstant = [&](const Token& x) { return x.kind == TokenKind::String || isNumber(x); };
    std::vector<IndexedConstant> out;
    for (std::size_t k = on + 2; k + 1 < t.size(); ++k) {
        if (!isCompare(t[k])) continue;
        if (isName(t[k - 1])) {
            if (isConstant(t[k + 1])) {
                out.push_back({ToLowerAscii(t[k - 1].text), t[k + 1].text});
            } else if (t[k + 1].IsOp("-") && k + 2 < t.size() && isNumber(t[k + 2])) {
                out.push_back({ToLowerAscii(t[k - 1].text), "-" + t[k + 2].text});
            }
        } else if (isConstant(t[k - 1]) && isName(t[k + 1])) {
            const bool negative = isNumber(t[k - 1]) && k >= 2 && t[k - 2].IsOp("-");
            out.push_back({ToLowerAscii(t[k + 1].text), (negative ? "-" : "") + t[k - 1].text});
        }
    }
    return out;
}

// A literal as a value, for constants that need no trip through SQLite.
std::optional<qv::sql::Value> ConstantOf(const Expr& e) {
    if (e.kind != ExprKind::Literal) return std::nullopt;
    const auto& lit = static_cast<const LiteralExpr&>(e);
    switch (lit.type) {
        case LiteralExpr::Type::Integer: {
            std::int64_t v = 0;
            const char* first = lit.text.data();
            const char* last = first + lit.text.size();
            auto [ptr, ec] = std::from_chars(first, last, v);
            if (ec != std::errc() || ptr != last) return std::nullopt;
            return qv::sql::Value(v);
        }
        case LiteralExpr::Type::Decimal: {
            try {
                return qv::sql::Value(std::stod(lit.text));
            } catch (const std::exception&) {
                return std::nullopt;
            }
        }
        case LiteralExpr::Type::String: return qv::sql::Value(lit.text);
        case LiteralExpr::Type::Null: return qv::sql::Value();
        case LiteralExpr::Type::DatePart: return std::nullopt;
    }
    return std::nullopt;
}

bool IsAggregate(const Expr& e) {
    if (e.kind != ExprKind::Function) return false;
    const auto& f = static_cast<const FunctionExpr&>(e);
    const std::string n = FunctionName(f);
    return f.name.size() == 1 && (n == "count" || n == "min" || n == "max" || n == "sum" || n == "avg");
}

void ResultNames(const SelectCore& core, Step& step) {
    step.namesKnown = true;
    for (const SelectItem& item : core.items) {
        if (item.expr->kind == ExprKind::Star) {
            step.namesKnown = false;
            step.columnNames.clear();
            return;
        }
        if (item.hasAlias) {
            step.columnNames.push_back(item.alias.name);
        } else if (item.expr->kind == ExprKind::Column) {
            step.columnNames.push_back(static_cast<const ColumnExpr&>(*item.expr).name.back().name);
        } else {
            step.columnNames.emplace_back();  // T-SQL leaves an expression without a name
        }
    }
}

// The batch's one SELECT when it reads a single table whose rows its rows are (no join, derived
// table, DISTINCT, grouping or aggregate); null otherwise.
const SelectStmt* SingleTableSelect(const Batch& batch) {
    if (batch.statements.size() != 1 || batch.statements[0]->kind != StmtKind::Select) return nullptr;
    const auto& sel = static_cast<const SelectStmt&>(*batch.statements[0]);
    if (sel.assigns || sel.query.cores.size() != 1) return nullptr;
    const SelectCore& core = sel.query.cores[0];
    if (core.distinct || !core.groupBy.empty() || core.having || !core.from ||
        core.from->kind != TableSource::Kind::Table) {
        return nullptr;
    }
    bool aggregate = false;
    for (const SelectItem& item : core.items) {
        WalkExpr(*item.expr, [&](const Expr& e) { aggregate = aggregate || IsAggregate(e); });
    }
    return aggregate ? nullptr : &sel;
}

class Builder {
public:
    Builder(const Batch& batch, Program& program, DialectPrinter& printer)
        : batch_(batch), program_(program), printer_(printer) {}

    void Build() {
        for (const StmtPtr& s : batch_.statements) Emit(*s);
        for (const VariableDecl& v : batch_.variables) program_.variables.push_back(Variable{v.name, v.type});
        program_.trancountSlot = printer_.UsesTrancount() ? static_cast<int>(batch_.variables.size()) : -1;
    }

    // A SELECT of one table with its rowid added; false when the SELECT is not of that kind.
    bool BuildForUpdate() {
        const SelectStmt* sel = SingleTableSelect(batch_);
        if (!sel) return false;
        const SelectCore& core = sel->query.cores[0];
        Step step;
        step.kind = StepKind::Query;
        step.sourceOffset = sel->pos;
        step.sql = printer_.SelectWithRowid(*sel, kRowidColumn);
        step.params = printer_.TakeUsedSlots();
        ResultNames(core, step);
        if (step.namesKnown) step.columnNames.push_back(kRowidColumn);
        program_.steps.push_back(std::move(step));
        program_.trancountSlot = printer_.UsesTrancount() ? static_cast<int>(batch_.variables.size()) : -1;
        program_.updateTarget = UpdateTarget{BaseName(core.from->table).name, kRowidColumn, {}, {}};
        return true;
    }

    // The same on PostgreSQL, with the key columns `keyOf` gives for the table in place of the
    // rowid; false also when it gives none.
    bool BuildPgForUpdate(PgPrinter& printer,
                          const std::function<std::vector<std::string>(const std::string&)>& keyOf) {
        const SelectStmt* sel = SingleTableSelect(batch_);
        if (!sel) return false;
        const SelectCore& core = sel->query.cores[0];
        UpdateTarget target{BaseName(core.from->table).name, {}, keyOf(BaseName(core.from->table).name), {}};
        if (target.keyColumns.empty()) return false;
        for (const SelectItem& item : core.items) {
            if (item.expr->kind == ExprKind::Star) {
                target.itemColumns.emplace_back("*");
            } else if (item.expr->kind == ExprKind::Column) {
                target.itemColumns.push_back(static_cast<const ColumnExpr&>(*item.expr).name.back().name);
            } else {
                target.itemColumns.emplace_back();
            }
        }
        Step step;
        step.kind = StepKind::Query;
        step.sourceOffset = sel->pos;
        step.sql = printer.SelectWithKey(*sel, target.keyColumns, kKeyColumnPrefix);
        step.params = printer.TakeUsedSlots();
        ResultNames(core, step);
        for (std::size_t i = 0; step.namesKnown && i < target.keyColumns.size(); ++i) {
            step.columnNames.push_back(kKeyColumnPrefix + std::to_string(i + 1));
        }
        program_.steps.push_back(std::move(step));
        program_.trancountSlot = printer.UsesTrancount() ? static_cast<int>(batch_.variables.size()) : -1;
        program_.updateTarget = std::move(target);
        return true;
    }

private:
    Step& Add(StepKind kind, std::size_t offset) {
        Step step;
        step.kind = kind;
        step.sourceOffset = offset;
        program_.steps.push_back(std::move(step));
        return program_.steps.back();
    }

    void SetSql(Step& step, std::string sql) {
        step.sql = std::move(sql);
        step.params = printer_.TakeUsedSlots();
    }

    void EmitSetVar(int slot, const Expr* value, std::size_t offset) {
        // Print before adding the step: printing can throw.
        std::optional<qv::sql::Value> constant;
        std::string sql;
        if (!value) {
            constant = qv::sql::Value();
        } else {
            constant = ConstantOf(*value);
            if (!constant) sql = printer_.ValueQuery(*value);
        }
        // A literal that texts of one shape pass as a value is read from its slot, so that
        // DECLARE @id int = 5 and DECLARE @id int = 6 share the translation.
        const int valueSlot = constant && value ? printer_.ValueSlot(*value) : -1;
        Step& step = Add(StepKind::SetVar, offset);
        step.slot = slot;
        if (valueSlot >= 0) {
            step.valueSlot = valueSlot;
        } else if (constant) {
            step.constant = std::move(constant);
        } else {
            SetSql(step, std::move(sql));
        }
    }

    void Emit(const Stmt& s) {
        switch (s.kind) {
            case StmtKind::Select: {
                const auto& sel = static_cast<const SelectStmt&>(s);
                if (sel.assigns) {
                    EmitAssign(sel);
                    return;
                }
                std::string sql = printer_.Statement(sel);
                Step& step = Add(StepKind::Query, s.pos);
                SetSql(step, std::move(sql));
                ResultNames(sel.query.cores[0], step);
                return;
            }
            case StmtKind::Insert:
            case StmtKind::Update:
            case StmtKind::Delete: {
                std::string sql = printer_.Statement(s);
                SetSql(Add(StepKind::Modify, s.pos), std::move(sql));
                return;
            }
            case StmtKind::Declare:
                for (const DeclareItem& item : static_cast<const DeclareStmt&>(s).items) {
                    EmitSetVar(item.slot, item.init.get(), item.pos);
                }
                return;
            case StmtKind::SetVariable: {
                const auto& set = static_cast<const SetVariableStmt&>(s);
                EmitSetVar(set.slot, set.value.get(), s.pos);
                return;
            }
            case StmtKind::If: {
                const auto& stmt = static_cast<const IfStmt&>(s);
                std::string sql = printer_.ConditionQuery(*stmt.condition);
                const std::size_t branch = program_.steps.size();
                SetSql(Add(StepKind::Branch, s.pos), std::move(sql));
                Emit(*stmt.then);
                if (stmt.otherwise) {
                    const std::size_t jump = program_.steps.size();
                    Add(StepKind::Jump, s.pos);
                    program_.steps[branch].jump = program_.steps.size();
                    Emit(*stmt.otherwise);
                    program_.steps[jump].jump = program_.steps.size();
                } else {
                    program_.steps[branch].jump = program_.steps.size();
                }
                return;
            }
            case StmtKind::Block:
                for (const StmtPtr& inner : static_cast<const BlockStmt&>(s).body) Emit(*inner);
                return;
            case StmtKind::Exec: EmitCall(static_cast<const ExecStmt&>(s)); return;
        }
    }

    void EmitAssign(const SelectStmt& sel) {
        const SelectCore& core = sel.query.cores[0];
        std::vector<int> slots;
        for (const SelectItem& item : core.items) slots.push_back(item.assignSlot);
        if (core.from) {
            // T-SQL evaluates such an assignment row by row, so a variable that reads itself
            // accumulates; one SQLite statement cannot do that.
            for (const SelectItem& item : core.items) {
                WalkExpr(*item.expr, [&](const Expr& e) {
                    if (e.kind != ExprKind::Variable) return;
                    const int slot = static_cast<const VariableExpr&>(e).slot;
                    for (int target : slots) {
                        if (slot == target) {
                            throw TranslateError("unsupported construct: variable @" +
                                                     static_cast<const VariableExpr&>(e).name +
                                                     " assigned from rows while reading itself",
                                                 e.pos);
                        }
                    }
                });
            }
        }
        std::string sql = printer_.AssigningSelect(sel);
        Step& step = Add(StepKind::Assign, sel.pos);
        SetSql(step, std::move(sql));
        step.slots = std::move(slots);
    }

    void EmitCall(const ExecStmt& s) {
        std::vector<CallArg> args;
        for (const ExecArg& a : s.args) {
            CallArg arg;
            arg.output = a.output;
            if (a.value->kind == ExprKind::Variable) {
                arg.slot = static_cast<const VariableExpr&>(*a.value).slot;
            } else if (auto c = ConstantOf(*a.value)) {
                arg.constant = std::move(*c);
            } else {
                throw TranslateError("unsupported construct: procedure argument that is neither a constant nor a variable",
                                     a.pos);
            }
            args.push_back(std::move(arg));
        }
        const Name& name = s.procedure;
        if (name.size() > 2 || (name.size() == 2 && !EqualsNoCase(name[0].name, "dbo"))) {
            throw TranslateError("unsupported construct: procedure name '" + name[0].name + "." + name[1].name + "'",
                                 s.pos);
        }
        Step& step = Add(StepKind::Call, s.pos);
        step.procedure = name.back().name;
        step.args = std::move(args);
    }

    const Batch& batch_;
    Program& program_;
    DialectPrinter& printer_;
};

// A plain translation of the batch for PostgreSQL (the SQLite one is Build's).
std::shared_ptr<const Program> BuildPg(std::string_view tsql) {
    Batch batch = ParseBatch(tsql);
    auto program = std::make_shared<Program>();
    program->source = std::string(tsql);
    PgPrinter printer(batch.variables, static_cast<int>(batch.variables.size()));
    Builder(batch, *program, printer).Build();
    return program;
}

// With `paramLiterals`, literals print as parameters where they can, and the list gets the
// numbers of those that did.
std::shared_ptr<const Program> Build(std::string_view tsql, bool forUpdate, std::vector<int>* paramLiterals = nullptr) {
    Batch batch = ParseBatch(tsql);
    auto program = std::make_shared<Program>();
    program->source = std::string(tsql);
    const int trancountSlot = static_cast<int>(batch.variables.size());
    const int literalBase = paramLiterals ? trancountSlot + 1 : -1;
    bool done = false;
    if (forUpdate) {
        SqlitePrinter printer(batch.variables, trancountSlot, literalBase);
        done = Builder(batch, *program, printer).BuildForUpdate();
        if (done && paramLiterals) *paramLiterals = printer.ParameterLiterals();
    }
    if (!done) {
        SqlitePrinter printer(batch.variables, trancountSlot, literalBase);
        Builder(batch, *program, printer).Build();
        if (paramLiterals) *paramLiterals = printer.ParameterLiterals();
    }
    program->literalBase = literalBase;
    return program;
}

// What a cached translation holds on the heap, near enough to bound a cache by it.
std::size_t HeapOf(const std::string& s) { return s.capacity() + 1; }

std::size_t HeapOf(const Program& p) {
    std::size_t n = sizeof(Program) + HeapOf(p.source) + p.steps.capacity() * sizeof(Step) +
                    p.variables.capacity() * sizeof(Variable);
    for (const Step& s : p.steps) {
        n += HeapOf(s.sql) + HeapOf(s.procedure) + (s.params.capacity() + s.slots.capacity()) * sizeof(int) +
             s.args.capacity() * sizeof(CallArg) + s.columnNames.capacity() * sizeof(std::string);
        for (const std::string& c : s.columnNames) n += HeapOf(c);
    }
    for (const Variable& v : p.variables) n += HeapOf(v.name) + HeapOf(v.type);
    if (p.updateTarget) {
        n += HeapOf(p.updateTarget->table) + HeapOf(p.updateTarget->rowidColumn);
        for (const std::string& c : p.updateTarget->keyColumns) n += sizeof(std::string) + HeapOf(c);
        for (const std::string& c : p.updateTarget->itemColumns) n += sizeof(std::string) + HeapOf(c);
    }
    return n;
}

// The program itself is counted in the cache of shapes that it is shared from.
std::size_t HeapOf(const SharedProgram& s) {
    std::size_t n = sizeof(SharedProgram) + s.literals.capacity() * sizeof(qv::sql::Value);
    for (const qv::sql::Value& v : s.literals)
        if (const std::string* text = std::get_if<std::string>(&v)) n += HeapOf(*text);
    return n;
}

// The sets of literals that the translations of one shape kept as text.
using KeptSets = std::vector<std::vector<int>>;

std::size_t HeapOf(const KeptSets& sets) {
    std::size_t n = sizeof(KeptSets) + sets.capacity() * sizeof(std::vector<int>);
    for (const std::vector<int>& kept : sets) n += kept.capacity() * sizeof(int);
    return n;
}

// A bounded least-recently-used map from T-SQL text to what it translates to: at most
// `capacity` texts and `bytes` of the heap. A translation larger than a quarter of that (a
// search for a pasted page of words) is handed out and not kept: it would push out the many
// small ones that the program asks for again and again, and is rarely asked for twice.
template <class T>
class LruCache {
public:
    LruCache(std::size_t capacity, std::size_t bytes) : capacity_(capacity), bytes_(bytes) {}

    std::shared_ptr<const T> Find(std::string_view key) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = index_.find(key);
        if (it == index_.end()) return nullptr;
        entries_.splice(entries_.begin(), entries_, it->second);
        return it->second->program;
    }

    std::shared_ptr<const T> Insert(std::string_view key, std::shared_ptr<const T> program) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = index_.find(key);
        if (it != index_.end()) return it->second->program;  // another thread was quicker
        const std::size_t cost = kEntryOverhead + 2 * key.size() + HeapOf(*program);
        if (cost > bytes_ / 4) return program;
        entries_.push_front(Entry{std::string(key), std::move(program), cost});
        index_.emplace(entries_.front().key, entries_.begin());
        used_ += cost;
        while (entries_.size() > capacity_ || used_ > bytes_) {
            used_ -= entries_.back().cost;
            index_.erase(entries_.back().key);
            entries_.pop_back();
        }
        return entries_.front().program;
    }

    void Erase(std::string_view key) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = index_.find(key);
        if (it == index_.end()) return;
        typename std::list<Entry>::iterator entry = it->second;
        used_ -= entry->cost;
        index_.erase(it);
        entries_.erase(entry);
    }

    void Clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        index_.clear();
        entries_.clear();
        used_ = 0;
    }

    std::size_t Size() {
        std::lock_guard<std::mutex> lock(mutex_);
        return entries_.size();
    }

    std::size_t Bytes() {
        std::lock_guard<std::mutex> lock(mutex_);
        return used_;
    }

private:
    // The list node, the index's node and bucket.
    static constexpr std::size_t kEntryOverhead = 128;
    struct Entry {
        std::string key;
        std::shared_ptr<const T> program;
        std::size_t cost = 0;
    };
    std::mutex mutex_;
    std::size_t capacity_;
    std::size_t bytes_;
    std::size_t used_ = 0;
    std::list<Entry> entries_;
    // Keys point into the entries' strings, which list nodes keep in place.
    std::unordered_map<std::string_view, typename std::list<Entry>::iterator> index_;
};

using TranslationCache = LruCache<Program>;

TranslationCache& PlainCache() {
    static TranslationCache cache(kTranslationCacheCapacity, kTranslationCacheBytes);
    return cache;
}

TranslationCache& UpdateCache() {
    static TranslationCache cache(kTranslationCacheCapacity / 4, kTranslationCacheBytes / 4);
    return cache;
}

// On PostgreSQL, the cache of every text.
TranslationCache& PgCache() {
    static TranslationCache cache(kTranslationCacheCapacity / 4, kTranslationCacheBytes);
    return cache;
}

TranslationCache& PgUpdateCache() {
    static TranslationCache cache(kTranslationCacheCapacity / 4, kTranslationCacheBytes / 4);
    return cache;
}

// Texts whose tokens are the same but for the values of their literals have one shape. A
// translation of the shape keeps as text the literals it did not make parameters, so it serves
// only texts with those same literals: each shape remembers which sets of literals its
// translations kept, and the cache key is the shape with the kept literals' texts.
class SharedCache {
public:
    // The texts, the programs of their shapes and the shapes' kept sets share the bytes.
    SharedCache(std::size_t capacity, std::size_t bytes)
        : exact_(capacity, bytes / 3), programs_(capacity, bytes / 3), kept_(capacity, bytes / 3), bytes_(bytes) {}

    SharedProgram Get(std::string_view tsql, bool forUpdate) {
        // A text sent again needs no lexing.
        if (std::shared_ptr<const SharedProgram> hit = exact_.Find(tsql)) return *hit;
        SharedProgram out = ByShape(tsql, forUpdate);
        exact_.Insert(tsql, std::make_shared<const SharedProgram>(out));
        return out;
    }

    void Clear() {
        exact_.Clear();
        programs_.Clear();
        kept_.Clear();
    }

    std::size_t Size() { return programs_.Size(); }
    std::size_t Bytes() { return exact_.Bytes() + programs_.Bytes() + kept_.Bytes(); }

private:
    SharedProgram ByShape(std::string_view tsql, bool forUpdate) {
        std::vector<Token> tokens = Tokenize(tsql);
        std::vector<const Token*> literals;
        std::string shape;
        shape.reserve(tsql.size());
        for (const Token& t : tokens) {
            shape += static_cast<char>('A' + static_cast<int>(t.kind));
            if (t.literal >= 0) {
                literals.push_back(&t);
                shape += t.unicode ? 'N' : '-';
            } else {
                AppendText(shape, t.text);
            }
        }
        SharedProgram out;
        for (const std::vector<int>& kept : KeptSetsOf(shape)) {
            if ((out.program = programs_.Find(Key(shape, kept, literals)))) break;
        }
        if (!out.program) {
            std::vector<int> params;
            // SQLite numbers parameters up to a limit (32766 in older builds): a text with more
            // literals (a search of thousands of words) keeps them all and shares nothing.
            constexpr std::size_t kMaxLiteralParameters = 30000;
            std::shared_ptr<const Program> program =
                Build(tsql, forUpdate, literals.size() > kMaxLiteralParameters ? nullptr : &params);
            std::vector<int> kept;
            for (int k = 0, p = 0; k < static_cast<int>(literals.size()); ++k) {
                if (p < static_cast<int>(params.size()) && params[static_cast<std::size_t>(p)] == k) {
                    ++p;
                } else {
                    kept.push_back(k);
                }
            }
            out.program = programs_.Insert(Key(shape, kept, literals), std::move(program));
            Remember(shape, std::move(kept));
        }
        out.literals.reserve(literals.size());
        for (const Token* t : literals) out.literals.push_back(ValueOf(*t));
        return out;
    }

    // A shape rarely has more than one or two: a text keeps the same literals whatever its values.
    static constexpr std::size_t kSetsPerShape = 8;

    // Token texts hold no NUL (the lexer refuses it), so a NUL ends each.
    static void AppendText(std::string& key, const std::string& text) {
        key += text;
        key += '\0';
    }

    static std::string Key(const std::string& shape, const std::vector<int>& kept,
                           const std::vector<const Token*>& literals) {
        std::string key = shape;
        key += '\x1e';
        for (int k : kept) {
            // The literal's number too: sets of one shape differ in which literals they keep.
            key += std::to_string(k);
            key += '=';
            AppendText(key, literals[static_cast<std::size_t>(k)]->text);
        }
        return key;
    }

    static qv::sql::Value ValueOf(const Token& t) {
        const char* first = t.text.data();
        const char* last = first + t.text.size();
        if (t.kind == TokenKind::Integer) {
            std::int64_t v = 0;
            std::from_chars(first, last, v);
            return qv::sql::Value(v);
        }
        if (t.kind == TokenKind::Decimal) {
            double v = 0;
            std::from_chars(first, last, v);
            return qv::sql::Value(v);
        }
        return qv::sql::Value(t.text);
    }

    KeptSets KeptSetsOf(const std::string& shape) {
        std::shared_ptr<const KeptSets> sets = kept_.Find(shape);
        return sets ? *sets : KeptSets{};
    }

    void Remember(const std::string& shape, std::vector<int> kept) {
        // A shape whose program is too large to be kept is not remembered either.
        if (2 * shape.size() > bytes_ / 8) return;
        std::shared_ptr<const KeptSets> known = kept_.Find(shape);
        if (known && (std::find(known->begin(), known->end(), kept) != known->end() || known->size() >= kSetsPerShape)) {
            return;
        }
        // Two threads remembering at once may lose a set: a later text of the shape then
        // translates once more and remembers it.
        auto sets = std::make_shared<KeptSets>(known ? *known : KeptSets{});
        sets->push_back(std::move(kept));
        kept_.Erase(shape);
        kept_.Insert(shape, std::move(sets));
    }

    LruCache<SharedProgram> exact_;
    TranslationCache programs_;
    LruCache<KeptSets> kept_;
    std::size_t bytes_;
};

SharedCache& SharedPlainCache() {
    static SharedCache cache(kTranslationCacheCapacity, kTranslationCacheBytes);
    return cache;
}

SharedCache& SharedUpdateCache() {
    static SharedCache cache(kTranslationCacheCapacity / 4, kTranslationCacheBytes / 4);
    return cache;
}

std::shared_ptr<const Program> Cached(TranslationCache& cache, std::string_view tsql, bool forUpdate) {
    if (auto hit = cache.Find(tsql)) return hit;
    return cache.Insert(tsql, Build(tsql, forUpdate));
}

}  // namespace

namespace {
thread_local const std::atomic<bool>* t_stop = nullptr;
}

TranslateStopped::TranslateStopped() : std::runtime_error("the translation was stopped") {}

StopScope::StopScope(const std::atomic<bool>* stop) : outer_(t_stop) { t_stop = stop; }
StopScope::~StopScope() { t_stop = outer_; }

void StopPoint() {
    if (t_stop && t_stop->load(std::memory_order_relaxed)) throw TranslateStopped();
}

TranslateError::TranslateError(const std::string& what, std::size_t offset)
    : std::runtime_error(what + " at offset " + std::to_string(offset)), offset_(offset), detail_(what) {}

ExecError::ExecError(int code, std::string message, std::size_t step, std::string statement)
    : std::runtime_error(message + " (step " + std::to_string(step) + ": " + statement + ")"),
      code_(code),
      message_(std::move(message)),
      step_(step),
      statement_(std::move(statement)) {}

std::shared_ptr<const Program> Translate(std::string_view tsql) { return Cached(PlainCache(), tsql, false); }

std::shared_ptr<const Program> TranslatePg(std::string_view tsql) {
    if (auto hit = PgCache().Find(tsql)) return hit;
    return PgCache().Insert(tsql, BuildPg(tsql));
}

std::shared_ptr<const Program> TranslateForUpdate(std::string_view tsql) {
    return Cached(UpdateCache(), tsql, true);
}

std::shared_ptr<const Program> TranslatePgForUpdate(
    std::string_view tsql, const std::function<std::vector<std::string>(const std::string& table)>& keyOf) {
    TranslationCache& cache = PgUpdateCache();
    if (std::shared_ptr<const Program> hit = cache.Find(tsql)) {
        if (!hit->updateTarget || keyOf(hit->updateTarget->table) == hit->updateTarget->keyColumns) return hit;
    }
    Batch batch = ParseBatch(tsql);
    auto program = std::make_shared<Program>();
    program->source = std::string(tsql);
    PgPrinter printer(batch.variables, static_cast<int>(batch.variables.size()));
    if (!Builder(batch, *program, printer).BuildPgForUpdate(printer, keyOf)) {
        // Not cached: a table without a key now may get one.
        return TranslatePg(tsql);
    }
    // A key changed since: the old translation goes.
    cache.Erase(tsql);
    return cache.Insert(tsql, std::move(program));
}

SharedProgram TranslateShared(std::string_view tsql) { return SharedPlainCache().Get(tsql, false); }

SharedProgram TranslateSharedForUpdate(std::string_view tsql) { return SharedUpdateCache().Get(tsql, true); }

std::string TranslateStatement(std::string_view tsql) {
    std::shared_ptr<const Program> p = Translate(tsql);
    if (p->steps.size() != 1 || !p->variables.empty() || p->trancountSlot >= 0 ||
        (p->steps[0].kind != StepKind::Query && p->steps[0].kind != StepKind::Modify)) {
        throw TranslateError("not a single plain statement", 0);
    }
    return p->steps[0].sql;
}

namespace {

// The schema version each connection's indexes were last read at. Entries of closed connections
// linger until the map is cleared; a stale one costs at most a read skipped until the next change.
std::mutex g_schemaMutex;
std::unordered_map<sqlite3*, std::int64_t> g_schemaSeen;

std::int64_t SchemaVersion(sqlite3* db) {
    sqlite3_stmt* st = nullptr;
    std::int64_t v = -1;
    if (sqlite3_prepare_v2(db, "PRAGMA schema_version", -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW) {
        v = sqlite3_column_int64(st, 0);
    }
    sqlite3_finalize(st);
    return v;
}

void ReadIndexes(sqlite3* db, bool always) {
    const std::int64_t version = SchemaVersion(db);
    {
        std::lock_guard<std::mutex> lock(g_schemaMutex);
        auto it = g_schemaSeen.find(db);
        if (!always && it != g_schemaSeen.end() && it->second == version) return;
        if (g_schemaSeen.size() >= 256) g_schemaSeen.clear();
        g_schemaSeen[db] = version;
    }
    std::vector<IndexedConstant> found;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT sql FROM sqlite_schema WHERE type = 'index' AND sql LIKE '%=%'", -1, &st,
                           nullptr) == SQLITE_OK) {
        while (sqlite3_step(st) == SQLITE_ROW) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
            if (!text) continue;
            for (IndexedConstant& c : IndexedConstantsOf(text)) found.push_back(std::move(c));
        }
    }
    sqlite3_finalize(st);
    if (NoteIndexedConstants(found)) {
        SharedPlainCache().Clear();
        SharedUpdateCache().Clear();
    }
}

}  // namespace

void NoteIndexes(sqlite3* db) { ReadIndexes(db, false); }

void ClearTranslationCache() {
    PlainCache().Clear();
    UpdateCache().Clear();
    PgCache().Clear();
    PgUpdateCache().Clear();
    SharedPlainCache().Clear();
    SharedUpdateCache().Clear();
}

std::size_t TranslationCacheSize() {
    return PlainCache().Size() + UpdateCache().Size() + PgCache().Size() + PgUpdateCache().Size() +
           SharedPlainCache().Size() + SharedUpdateCache().Size();
}

std::size_t TranslationCacheBytes() {
    return PlainCache().Bytes() + UpdateCache().Bytes() + PgCache().Bytes() + PgUpdateCache().Bytes() +
           SharedPlainCache().Bytes() + SharedUpdateCache().Bytes();
}

}  // namespace qv::tsql
