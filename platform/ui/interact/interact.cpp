#include "qvinteract.h"
#include "qvwaitdlg.h"
#include "utf.h"
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <vector>

namespace qv {
namespace {

std::vector<int> Buttons(UINT type) {
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL: return {IDOK, IDCANCEL};
    case MB_ABORTRETRYIGNORE: return {IDABORT, IDRETRY, IDIGNORE};
    case MB_YESNOCANCEL: return {IDYES, IDNO, IDCANCEL};
    case MB_YESNO: return {IDYES, IDNO};
    case MB_RETRYCANCEL: return {IDRETRY, IDCANCEL};
    default: return {IDOK};
    }
}

// Without windows nobody can answer: take the default button and leave a trace on stderr, so a
// service that hits a box does not hang.
class ConsoleInteraction : public IInteraction {
public:
    int ShowMessageBox(const MessageBoxRequest& r) override {
        const int answer = DefaultAnswer(r.type);
        std::fprintf(stderr, "[message] %s: %s -> %d\n", ToUtf8(r.caption).c_str(), ToUtf8(r.text).c_str(),
                     answer);
        return answer;
    }
    void ShowReport(const ReportRequest& r) override {
        std::fprintf(stderr, "[report %ld] %s: %s (%s:%ld)\n", r.kind, ToUtf8(r.caption).c_str(),
                     ToUtf8(r.text).c_str(), ToUtf8(r.file).c_str(), r.line);
    }
    int ShowSelection(const SelectionRequest& r) override {
        std::fprintf(stderr, "[selection] %s: %s -> cancelled\n", ToUtf8(r.title).c_str(),
                     ToUtf8(r.statement).c_str());
        return 0;
    }
    void OpenWait(WaitWindow&) override {}
    void UpdateWait(WaitWindow&) override {}
    void CloseWait(WaitWindow&) override {}
    INT_PTR RunModal(IModalDialog& dialog) override { return dialog.RunModalLoop(); }
};

ConsoleInteraction& Console() {
    static ConsoleInteraction* console = new ConsoleInteraction;  // used until the process ends
    return *console;
}

std::atomic<IInteraction*>& Installed() {
    static std::atomic<IInteraction*> installed{nullptr};
    return installed;
}

std::mutex& AppNameLock() {
    static std::mutex m;
    return m;
}

std::wstring& AppName() {
    static std::wstring* name = new std::wstring;
    return *name;
}

std::atomic<LPCWSTR (*)()>& AppNameSource() {
    static std::atomic<LPCWSTR (*)()> source{nullptr};
    return source;
}

std::wstring Load(UINT id) {
    CString s;
    if (id != 0) s.LoadString(id);
    return s.wstr();
}

}  // namespace

const char* InteractionKindName(InteractionKind kind) {
    switch (kind) {
    case InteractionKind::MessageBox: return "message box";
    case InteractionKind::Report: return "report";
    case InteractionKind::Selection: return "selection box";
    case InteractionKind::WaitOpen: return "wait window";
    case InteractionKind::WaitUpdate: return "wait window update";
    case InteractionKind::WaitClose: return "wait window close";
    case InteractionKind::Modal: return "modal dialog";
    }
    return "?";
}

void SetAppNameSource(LPCWSTR (*source)()) { AppNameSource() = source; }

IInteraction& Interaction() {
    IInteraction* backend = Installed().load();
    return backend ? *backend : Console();
}

bool HasInteraction() { return Installed().load() != nullptr; }

IInteraction* SetInteraction(IInteraction* backend) { return Installed().exchange(backend); }

int DefaultAnswer(UINT type) {
    const std::vector<int> buttons = Buttons(type);
    const std::size_t index = (type & MB_DEFMASK) >> 8;
    return index < buttons.size() ? buttons[index] : buttons.front();
}

int CancelAnswer(UINT type) {
    const std::vector<int> buttons = Buttons(type);
    if (std::find(buttons.begin(), buttons.end(), IDCANCEL) != buttons.end()) return IDCANCEL;
    if (std::find(buttons.begin(), buttons.end(), IDNO) != buttons.end()) return IDNO;
    return buttons.front();
}

bool IsValidAnswer(UINT type, int answer) {
    const std::vector<int> buttons = Buttons(type);
    return std::find(buttons.begin(), buttons.end(), answer) != buttons.end();
}

}  // namespace qv

BOOL IntersectRect(LPRECT dst, const RECT* a, const RECT* b) {
    if (!dst || !a || !b) return FALSE;
    RECT r{std::max(a->left, b->left), std::max(a->top, b->top), std::min(a->right, b->right),
           std::min(a->bottom, b->bottom)};
    if (IsRectEmpty(&r)) {
        SetRectEmpty(dst);
        return FALSE;
    }
    *dst = r;
    return TRUE;
}

BOOL UnionRect(LPRECT dst, const RECT* a, const RECT* b) {
    if (!dst || !a || !b) return FALSE;
    if (IsRectEmpty(a)) {
        *dst = *b;
    } else if (IsRectEmpty(b)) {
        *dst = *a;
    } else {
        *dst = RECT{std::min(a->left, b->left), std::min(a->top, b->top), std::max(a->right, b->right),
                    std::max(a->bottom, b->bottom)};
    }
    return !IsRectEmpty(dst);
}

LPCWSTR AfxGetAppName() {
    if (auto source = qv::AppNameSource().load())
        if (LPCWSTR name = source()) return name;
    std::lock_guard g(qv::AppNameLock());
    return qv::AppName().c_str();
}

void AfxSetAppName(LPCWSTR name) {
    std::lock_guard g(qv::AppNameLock());
    qv::AppName() = name ? name : L"";
}

int AfxMessageBox(LPCWSTR text, UINT type, UINT helpId) {
    qv::MessageBoxRequest r;
    r.text = text ? text : L"";
    r.caption = AfxGetAppName();
    r.type = type;
    r.helpId = helpId;
    return qv::Interaction().ShowMessageBox(r);
}

int AfxMessageBox(UINT idPrompt, UINT type, UINT helpId) {
    const std::wstring text = qv::Load(idPrompt);
    return AfxMessageBox(text.c_str(), type, helpId == UINT(-1) ? idPrompt : helpId);
}

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
    qv::MessageBoxRequest r;
    r.text = text ? text : L"";
    r.caption = caption ? caption : L"Fehler";
    r.type = type;
    r.owner = owner;
    return qv::Interaction().ShowMessageBox(r);
}

namespace {
thread_local long t_lReports = 0;
}  // namespace

long QvReportMsgCount() { return t_lReports; }

long QvReportMsg(long kind, LPCWSTR text, LPCWSTR caption, LPCWSTR category, LPCWSTR file, long line,
                 long flag) {
    ++t_lReports;
    qv::ReportRequest r;
    r.kind = kind;
    r.text = text ? text : L"";
    r.caption = caption ? caption : L"";
    r.category = category ? category : L"";
    r.file = file ? file : L"";
    r.line = line;
    r.flag = flag;
    qv::Interaction().ShowReport(r);
    return IDOK;
}

long QvReportMsg(long kind, LPCWSTR text, LPCWSTR caption, LPCWSTR category, LPCSTR file, long line,
                 long flag) {
    const std::wstring wfile = file ? qv::FromUtf8(file) : std::wstring();
    return QvReportMsg(kind, text, caption, category, wfile.c_str(), line, flag);
}

int QvMessageBox(LPCWSTR text, UINT style) { return AfxMessageBox(text, style, 0); }

int QvSelectionBox(UINT titleId, UINT statementId, UINT choice1Id, UINT choice2Id, UINT noteId, long flags) {
    qv::SelectionRequest r;
    r.title = qv::Load(titleId);
    r.statement = qv::Load(statementId);
    r.choice1 = qv::Load(choice1Id);
    r.choice2 = qv::Load(choice2Id);
    r.note = qv::Load(noteId);
    r.flags = flags;
    return qv::Interaction().ShowSelection(r);
}

// ---- the wait window

CQvWaitDlg::~CQvWaitDlg() { Close(); }

HRESULT CQvWaitDlg::Open(CWnd* parent, long delay, long range, long interval) {
    if (open_) return S_FALSE;
    wait_.parent = parent;
    wait_.delay = delay;
    wait_.range = range;
    wait_.interval = interval;
    wait_.finished = false;
    wait_.cancelled = false;
    qv::Interaction().OpenWait(wait_);
    open_ = true;
    return S_OK;
}

HRESULT CQvWaitDlg::SetDescription(LPCWSTR text) {
    wait_.description = text ? text : L"";
    if (open_) qv::Interaction().UpdateWait(wait_);
    return open_ ? S_OK : S_FALSE;
}

HRESULT CQvWaitDlg::ShowCancel(BOOL show) {
    wait_.showCancel = show != FALSE;
    if (open_) qv::Interaction().UpdateWait(wait_);
    return open_ ? S_OK : S_FALSE;
}

HRESULT CQvWaitDlg::ShowTimer(BOOL show) {
    wait_.showTimer = show != FALSE;
    if (open_) qv::Interaction().UpdateWait(wait_);
    return open_ ? S_OK : S_FALSE;
}

HRESULT CQvWaitDlg::SetFinish() {
    wait_.finished = true;
    if (open_) qv::Interaction().UpdateWait(wait_);
    return open_ ? S_OK : S_FALSE;
}

HRESULT CQvWaitDlg::Close() {
    if (!open_) return S_FALSE;
    open_ = false;
    qv::Interaction().CloseWait(wait_);
    return S_OK;
}
