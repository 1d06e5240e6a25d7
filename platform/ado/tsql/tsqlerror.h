#pragma once
// Failures of the T-SQL layer: a statement we cannot translate, and a step that failed on SQLite.
#include <atomic>
#include <cstddef>
#include <stdexcept>
#include <string>

namespace qv::tsql {

// A batch that the translator does not understand. `offset` is the byte offset in the T-SQL
// text of the construct that stopped it; the message names the construct and the offset.
class TranslateError : public std::runtime_error {
public:
    TranslateError(const std::string& what, std::size_t offset);
    std::size_t offset() const { return offset_; }
    // The message without the position.
    const std::string& detail() const { return detail_; }

private:
    std::size_t offset_;
    std::string detail_;
};

// A translation that its caller gave up while it ran (StopScope).
class TranslateStopped : public std::runtime_error {
public:
    TranslateStopped();
};

// While it lives, a translation on this thread ends with TranslateStopped at its next step
// (a token read, an expression printed) once `*stop` is set from any thread: a text of
// thousands of words takes seconds, which nobody should wait for once it is no longer wanted.
// Scopes nest; the innermost one counts.
class StopScope {
public:
    explicit StopScope(const std::atomic<bool>* stop);
    ~StopScope();
    StopScope(const StopScope&) = delete;
    StopScope& operator=(const StopScope&) = delete;

private:
    const std::atomic<bool>* outer_;
};

// Throws TranslateStopped when this thread's translation was asked to stop.
void StopPoint();

// A step of a translated batch that failed while running.
class ExecError : public std::runtime_error {
public:
    ExecError(int code, std::string message, std::size_t step, std::string statement);
    // Extended SQLite result code (SQLITE_ERROR for a failed procedure call).
    int code() const { return code_; }
    // SQLite's message, or the procedure's.
    const std::string& message() const { return message_; }
    // Index of the failed step in the program.
    std::size_t step() const { return step_; }
    // The SQLite text of the failed step, or "EXEC <name>" for a procedure call.
    const std::string& statement() const { return statement_; }

private:
    int code_;
    std::string message_;
    std::size_t step_;
    std::string statement_;
};

}  // namespace qv::tsql
