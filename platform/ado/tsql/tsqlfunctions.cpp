#include "tsqlfunctions.h"

#include <sqlite3.h>

#include <cstring>
#include <string>

namespace qv::tsql {

namespace {

// A step of the fold that is not text + text goes to the runtime's tsql_add, so that the
// conversions and their errors stay those of the runtime. The statement lives for one call
// only: a statement left open would keep the connection from closing.
class RuntimeAdd {
public:
    explicit RuntimeAdd(sqlite3* db) : db_(db) {}
    ~RuntimeAdd() { sqlite3_finalize(stmt_); }
    RuntimeAdd(const RuntimeAdd&) = delete;
    RuntimeAdd& operator=(const RuntimeAdd&) = delete;

    // leftText when the left operand is text, else left. The sum as a new value (to be freed),
    // or null with `error` set.
    sqlite3_value* Add(const std::string* leftText, sqlite3_value* left, sqlite3_value* right, std::string& error) {
        if (!stmt_ && sqlite3_prepare_v2(db_, "SELECT tsql_add(?1, ?2)", -1, &stmt_, nullptr) != SQLITE_OK) {
            error = sqlite3_errmsg(db_);
            return nullptr;
        }
        if (leftText) {
            sqlite3_bind_text(stmt_, 1, leftText->data(), static_cast<int>(leftText->size()), SQLITE_STATIC);
        } else {
            sqlite3_bind_value(stmt_, 1, left);
        }
        sqlite3_bind_value(stmt_, 2, right);
        sqlite3_value* out = nullptr;
        if (sqlite3_step(stmt_) == SQLITE_ROW) {
            out = sqlite3_value_dup(sqlite3_column_value(stmt_, 0));
            if (!out) error = "out of memory";
        } else {
            error = sqlite3_errmsg(db_);
        }
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
        return out;
    }

private:
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

std::string TextOf(sqlite3_value* v) {
    return std::string(reinterpret_cast<const char*>(sqlite3_value_text(v)),
                       static_cast<std::size_t>(sqlite3_value_bytes(v)));
}

void AddN(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (argc == 0) {
        sqlite3_result_error(ctx, "tsql_addn() needs at least one argument", -1);
        return;
    }
    // Texts alone (the usual case) are joined into one buffer that SQLite takes over.
    sqlite3_uint64 total = 0;
    bool allText = true;
    for (int i = 0; i < argc && allText; ++i) {
        allText = sqlite3_value_type(argv[i]) == SQLITE_TEXT && sqlite3_value_text(argv[i]);
        if (allText) total += static_cast<sqlite3_uint64>(sqlite3_value_bytes(argv[i]));
    }
    if (allText) {
        char* joined = static_cast<char*>(sqlite3_malloc64(total + 1));
        if (!joined) {
            sqlite3_result_error_nomem(ctx);
            return;
        }
        char* end = joined;
        for (int i = 0; i < argc; ++i) {
            const auto n = static_cast<std::size_t>(sqlite3_value_bytes(argv[i]));
            if (n) std::memcpy(end, sqlite3_value_text(argv[i]), n);
            end += n;
        }
        *end = '\0';
        sqlite3_result_text64(ctx, joined, total, sqlite3_free, SQLITE_UTF8);
        return;
    }
    // The running sum: in `text` while it is text, else in `acc`.
    std::string text;
    sqlite3_value* acc = nullptr;
    bool isText = false;
    RuntimeAdd runtime(sqlite3_context_db_handle(ctx));
    for (int i = 0; i < argc; ++i) {
        sqlite3_value* v = argv[i];
        const bool vText = sqlite3_value_type(v) == SQLITE_TEXT;
        if (sqlite3_value_type(v) == SQLITE_NULL) {
            // NULL + anything is NULL; nothing after it is converted.
            sqlite3_value_free(acc);
            sqlite3_result_null(ctx);
            return;
        }
        if (i == 0) {
            isText = vText;
            if (isText) {
                text = TextOf(v);
            } else {
                acc = sqlite3_value_dup(v);
            }
            continue;
        }
        if (isText && vText) {
            text.append(reinterpret_cast<const char*>(sqlite3_value_text(v)),
                        static_cast<std::size_t>(sqlite3_value_bytes(v)));
            continue;
        }
        std::string error;
        sqlite3_value* sum = runtime.Add(isText ? &text : nullptr, acc, v, error);
        sqlite3_value_free(acc);
        acc = sum;
        isText = false;
        if (!acc) {
            sqlite3_result_error(ctx, error.c_str(), static_cast<int>(error.size()));
            return;
        }
        if (sqlite3_value_type(acc) == SQLITE_NULL) {
            sqlite3_value_free(acc);
            sqlite3_result_null(ctx);
            return;
        }
        if (sqlite3_value_type(acc) == SQLITE_TEXT) {
            text = TextOf(acc);
            sqlite3_value_free(acc);
            acc = nullptr;
            isText = true;
        }
    }
    if (isText) {
        sqlite3_result_text(ctx, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    } else {
        sqlite3_result_value(ctx, acc);
        sqlite3_value_free(acc);
    }
}

// The operands convert to integers as SQLite's & and | convert them.
void Xor(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    sqlite3_int64 result = 0;
    for (int i = 0; i < argc; ++i) {
        if (sqlite3_value_type(argv[i]) == SQLITE_NULL) {
            sqlite3_result_null(ctx);
            return;
        }
        result ^= sqlite3_value_int64(argv[i]);
    }
    sqlite3_result_int64(ctx, result);
}

}  // namespace

int RegisterFunctions(sqlite3* db) {
    const int rc = sqlite3_create_function_v2(db, "tsql_addn", -1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                              AddN, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return rc;
    return sqlite3_create_function_v2(db, "tsql_xor", -1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, Xor, nullptr,
                                      nullptr, nullptr);
}

}  // namespace qv::tsql
