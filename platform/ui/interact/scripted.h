#pragma once
// The test backend of the interaction: answers from a script, records everything that was shown,
// and reports a box or dialog that the script did not expect.
#include "qvinteract.h"
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace qv {

// One thing shown to the user, as recorded.
struct InteractionRecord {
    InteractionKind kind = InteractionKind::MessageBox;
    std::wstring text;     // message, report text, selection statement, wait description
    std::wstring caption;  // caption or title
    UINT type = 0;         // message box type; report kind; modal dialog id
    INT_PTR answer = 0;    // what the box or dialog answered
    ReportRequest report;        // for reports
    SelectionRequest selection;  // for selection boxes
};

// A thread-safe list of records.
class InteractionLog {
public:
    void Add(const InteractionRecord& record);
    std::vector<InteractionRecord> Records() const;
    std::vector<InteractionRecord> Records(InteractionKind kind) const;
    std::size_t Count(InteractionKind kind) const;
    void Clear();

private:
    mutable std::mutex lock_;
    std::vector<InteractionRecord> records_;
};

// Wraps another backend and records what went through it with the answers.
class RecordingInteraction : public IInteraction {
public:
    explicit RecordingInteraction(IInteraction* inner = nullptr) : inner_(inner) {}
    InteractionLog& Log() { return log_; }

    int ShowMessageBox(const MessageBoxRequest& request) override;
    void ShowReport(const ReportRequest& request) override;
    int ShowSelection(const SelectionRequest& request) override;
    void OpenWait(WaitWindow& wait) override;
    void UpdateWait(WaitWindow& wait) override;
    void CloseWait(WaitWindow& wait) override;
    INT_PTR RunModal(IModalDialog& dialog) override;

private:
    IInteraction& Inner();
    IInteraction* inner_;
    InteractionLog log_;
};

class ScriptedInteraction : public IInteraction {
public:
    using ModalScript = std::function<void(IModalDialog&)>;
    using FailureHandler = std::function<void(const std::string&)>;

    ScriptedInteraction();

    // Expectations are met in the order they were queued. A text expectation matches when the
    // shown text contains it (empty: any text).
    // `whileShown` runs while the box is open, before it is answered (what the user or another
    // workstation does meanwhile).
    using WhileShown = std::function<void()>;
    ScriptedInteraction& ExpectMessageBox(int answer, std::wstring textPart = {}, WhileShown whileShown = {});
    ScriptedInteraction& ExpectReport(std::wstring textPart = {}, WhileShown whileShown = {});
    ScriptedInteraction& ExpectSelection(int answer, std::wstring statementPart = {}, WhileShown whileShown = {});
    // The script acts on the open dialog (through the window layer) and normally ends it; a dialog
    // the script leaves open is ended with IDCANCEL and counted as a failure. dialogId 0: any.
    ScriptedInteraction& ExpectModal(UINT dialogId, ModalScript script);
    // Reports need no expectation while this is on (they are still recorded).
    void AllowReports(bool allow) { allowReports_ = allow; }

    // Called for every mismatch (tests pass a handler that fails the test); the failures are also
    // kept for reading.
    void OnFailure(FailureHandler handler) { onFailure_ = std::move(handler); }
    std::vector<std::string> Failures() const;
    // Expectations not met yet.
    std::size_t Pending() const;

    InteractionLog& Log() { return log_; }

    int ShowMessageBox(const MessageBoxRequest& request) override;
    void ShowReport(const ReportRequest& request) override;
    int ShowSelection(const SelectionRequest& request) override;
    void OpenWait(WaitWindow& wait) override;
    void UpdateWait(WaitWindow& wait) override;
    void CloseWait(WaitWindow& wait) override;
    INT_PTR RunModal(IModalDialog& dialog) override;

private:
    struct Expectation {
        InteractionKind kind;
        int answer = 0;
        std::wstring textPart;
        UINT dialogId = 0;
        ModalScript script;
        WhileShown whileShown;
    };
    // Takes the next expectation when it fits, else reports and returns false.
    bool Take(InteractionKind kind, const std::wstring& text, UINT dialogId, Expectation& out,
              const std::string& what);
    void Fail(const std::string& message);

    mutable std::mutex lock_;
    std::deque<Expectation> expected_;
    std::vector<std::string> failures_;
    FailureHandler onFailure_;
    bool allowReports_ = false;
    InteractionLog log_;
};

}  // namespace qv
