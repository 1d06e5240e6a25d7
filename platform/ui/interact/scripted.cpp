#include "scripted.h"
#include "utf.h"

namespace qv {

void InteractionLog::Add(const InteractionRecord& record) {
    std::lock_guard g(lock_);
    records_.push_back(record);
}

std::vector<InteractionRecord> InteractionLog::Records() const {
    std::lock_guard g(lock_);
    return records_;
}

std::vector<InteractionRecord> InteractionLog::Records(InteractionKind kind) const {
    std::lock_guard g(lock_);
    std::vector<InteractionRecord> out;
    for (const auto& r : records_)
        if (r.kind == kind) out.push_back(r);
    return out;
}

std::size_t InteractionLog::Count(InteractionKind kind) const {
    std::lock_guard g(lock_);
    std::size_t n = 0;
    for (const auto& r : records_) n += r.kind == kind ? 1 : 0;
    return n;
}

void InteractionLog::Clear() {
    std::lock_guard g(lock_);
    records_.clear();
}

namespace {

InteractionRecord MessageRecord(const MessageBoxRequest& r, int answer) {
    InteractionRecord rec;
    rec.kind = InteractionKind::MessageBox;
    rec.text = r.text;
    rec.caption = r.caption;
    rec.type = r.type;
    rec.answer = answer;
    return rec;
}

InteractionRecord ReportRecord(const ReportRequest& r) {
    InteractionRecord rec;
    rec.kind = InteractionKind::Report;
    rec.text = r.text;
    rec.caption = r.caption;
    rec.type = UINT(r.kind);
    rec.answer = IDOK;
    rec.report = r;
    return rec;
}

InteractionRecord SelectionRecord(const SelectionRequest& r, int answer) {
    InteractionRecord rec;
    rec.kind = InteractionKind::Selection;
    rec.text = r.statement;
    rec.caption = r.title;
    rec.answer = answer;
    rec.selection = r;
    return rec;
}

InteractionRecord WaitRecord(InteractionKind kind, const WaitWindow& w) {
    InteractionRecord rec;
    rec.kind = kind;
    rec.text = w.description;
    rec.answer = w.finished ? 1 : 0;
    return rec;
}

InteractionRecord ModalRecord(IModalDialog& d, INT_PTR answer) {
    InteractionRecord rec;
    rec.kind = InteractionKind::Modal;
    rec.caption = d.Caption();
    rec.type = d.DialogId();
    rec.answer = answer;
    return rec;
}

}  // namespace

// ---- recorder

IInteraction& RecordingInteraction::Inner() {
    // Never ourselves, even when installed and asked to wrap "the installed one".
    if (inner_ && inner_ != this) return *inner_;
    IInteraction* previous = SetInteraction(nullptr);
    IInteraction& console = Interaction();
    SetInteraction(previous);
    return console;
}

int RecordingInteraction::ShowMessageBox(const MessageBoxRequest& request) {
    const int answer = Inner().ShowMessageBox(request);
    log_.Add(MessageRecord(request, answer));
    return answer;
}

void RecordingInteraction::ShowReport(const ReportRequest& request) {
    Inner().ShowReport(request);
    log_.Add(ReportRecord(request));
}

int RecordingInteraction::ShowSelection(const SelectionRequest& request) {
    const int answer = Inner().ShowSelection(request);
    log_.Add(SelectionRecord(request, answer));
    return answer;
}

void RecordingInteraction::OpenWait(WaitWindow& wait) {
    Inner().OpenWait(wait);
    log_.Add(WaitRecord(InteractionKind::WaitOpen, wait));
}

void RecordingInteraction::UpdateWait(WaitWindow& wait) {
    Inner().UpdateWait(wait);
    log_.Add(WaitRecord(InteractionKind::WaitUpdate, wait));
}

void RecordingInteraction::CloseWait(WaitWindow& wait) {
    Inner().CloseWait(wait);
    log_.Add(WaitRecord(InteractionKind::WaitClose, wait));
}

INT_PTR RecordingInteraction::RunModal(IModalDialog& dialog) {
    const INT_PTR answer = Inner().RunModal(dialog);
    log_.Add(ModalRecord(dialog, answer));
    return answer;
}

// ---- scripted

ScriptedInteraction::ScriptedInteraction() = default;

ScriptedInteraction& ScriptedInteraction::ExpectMessageBox(int answer, std::wstring textPart, WhileShown whileShown) {
    std::lock_guard g(lock_);
    expected_.push_back({InteractionKind::MessageBox, answer, std::move(textPart), 0, {}, std::move(whileShown)});
    return *this;
}

ScriptedInteraction& ScriptedInteraction::ExpectReport(std::wstring textPart, WhileShown whileShown) {
    std::lock_guard g(lock_);
    expected_.push_back({InteractionKind::Report, IDOK, std::move(textPart), 0, {}, std::move(whileShown)});
    return *this;
}

ScriptedInteraction& ScriptedInteraction::ExpectSelection(int answer, std::wstring statementPart,
                                                          WhileShown whileShown) {
    std::lock_guard g(lock_);
    expected_.push_back({InteractionKind::Selection, answer, std::move(statementPart), 0, {}, std::move(whileShown)});
    return *this;
}

ScriptedInteraction& ScriptedInteraction::ExpectModal(UINT dialogId, ModalScript script) {
    std::lock_guard g(lock_);
    expected_.push_back({InteractionKind::Modal, 0, {}, dialogId, std::move(script)});
    return *this;
}

std::vector<std::string> ScriptedInteraction::Failures() const {
    std::lock_guard g(lock_);
    return failures_;
}

std::size_t ScriptedInteraction::Pending() const {
    std::lock_guard g(lock_);
    return expected_.size();
}

void ScriptedInteraction::Fail(const std::string& message) {
    FailureHandler handler;
    {
        std::lock_guard g(lock_);
        failures_.push_back(message);
        handler = onFailure_;
    }
    if (handler) handler(message);
}

bool ScriptedInteraction::Take(InteractionKind kind, const std::wstring& text, UINT dialogId, Expectation& out,
                               const std::string& what) {
    std::string problem;
    {
        std::lock_guard g(lock_);
        if (expected_.empty()) {
            problem = std::string("unexpected ") + InteractionKindName(kind) + ": " + what;
        } else {
            const Expectation& next = expected_.front();
            if (next.kind != kind) {
                problem = std::string("expected a ") + InteractionKindName(next.kind) + ", got a " +
                          InteractionKindName(kind) + ": " + what;
            } else if (!next.textPart.empty() && text.find(next.textPart) == std::wstring::npos) {
                problem = std::string("the ") + InteractionKindName(kind) + " does not say \"" +
                          ToUtf8(next.textPart) + "\": " + what;
            } else if (kind == InteractionKind::Modal && next.dialogId != 0 && next.dialogId != dialogId) {
                problem = "expected dialog " + std::to_string(next.dialogId) + ", got " + what;
            } else {
                out = next;
                expected_.pop_front();
                return true;
            }
        }
    }
    Fail(problem);
    return false;
}

int ScriptedInteraction::ShowMessageBox(const MessageBoxRequest& request) {
    Expectation e;
    int answer = DefaultAnswer(request.type);
    if (Take(InteractionKind::MessageBox, request.text, 0, e, ToUtf8(request.text))) {
        if (e.whileShown) e.whileShown();
        if (IsValidAnswer(request.type, e.answer)) {
            answer = e.answer;
        } else {
            Fail("answer " + std::to_string(e.answer) + " is not a button of the box: " + ToUtf8(request.text));
        }
    }
    log_.Add(MessageRecord(request, answer));
    return answer;
}

void ScriptedInteraction::ShowReport(const ReportRequest& request) {
    bool expected = false;
    {
        std::lock_guard g(lock_);
        expected = !expected_.empty() && expected_.front().kind == InteractionKind::Report;
    }
    if (expected || !allowReports_) {
        Expectation e;
        if (Take(InteractionKind::Report, request.text, 0, e, ToUtf8(request.caption + L": " + request.text)) &&
            e.whileShown)
            e.whileShown();
    }
    log_.Add(ReportRecord(request));
}

int ScriptedInteraction::ShowSelection(const SelectionRequest& request) {
    Expectation e;
    int answer = 0;
    if (Take(InteractionKind::Selection, request.statement, 0, e, ToUtf8(request.statement))) {
        if (e.whileShown) e.whileShown();
        answer = e.answer;
    }
    log_.Add(SelectionRecord(request, answer));
    return answer;
}

void ScriptedInteraction::OpenWait(WaitWindow& wait) { log_.Add(WaitRecord(InteractionKind::WaitOpen, wait)); }

void ScriptedInteraction::UpdateWait(WaitWindow& wait) {
    log_.Add(WaitRecord(InteractionKind::WaitUpdate, wait));
}

void ScriptedInteraction::CloseWait(WaitWindow& wait) { log_.Add(WaitRecord(InteractionKind::WaitClose, wait)); }

INT_PTR ScriptedInteraction::RunModal(IModalDialog& dialog) {
    Expectation e;
    const std::string what = std::to_string(dialog.DialogId()) + " \"" + ToUtf8(dialog.Caption()) + "\"";
    if (Take(InteractionKind::Modal, dialog.Caption(), dialog.DialogId(), e, what)) {
        if (e.script) e.script(dialog);
        if (!dialog.IsModalEnded()) Fail("the script left dialog " + what + " open");
    }
    if (!dialog.IsModalEnded()) dialog.EndModal(IDCANCEL);
    const INT_PTR answer = dialog.ModalResult();
    log_.Add(ModalRecord(dialog, answer));
    return answer;
}

}  // namespace qv
