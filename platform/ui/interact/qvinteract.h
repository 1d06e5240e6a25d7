#pragma once
// The one place through which code asks or tells the user something: message boxes, error
// reports, the two-way selection box, the wait window and modal dialogs. Code calls the functions
// below (AfxMessageBox, QvReportMsg, ...); they go to the installed backend. The window layer
// installs the one with real windows; tests install a scripted one that answers, records what was
// shown and complains about boxes nobody expected. Nothing here depends on a window toolkit, so
// code without windows links it too.
#include "cstring.h"
#include "qvtypes.h"
#include "wintypes.h"
#include <string>

class CWnd;

// Message box buttons, icons and default button
#define MB_OK 0x00000000u
#define MB_OKCANCEL 0x00000001u
#define MB_ABORTRETRYIGNORE 0x00000002u
#define MB_YESNOCANCEL 0x00000003u
#define MB_YESNO 0x00000004u
#define MB_RETRYCANCEL 0x00000005u
#define MB_TYPEMASK 0x0000000Fu
#define MB_ICONHAND 0x00000010u
#define MB_ICONSTOP MB_ICONHAND
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONQUESTION 0x00000020u
#define MB_ICONEXCLAMATION 0x00000030u
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONASTERISK 0x00000040u
#define MB_ICONINFORMATION MB_ICONASTERISK
#define MB_ICONMASK 0x000000F0u
#define MB_DEFBUTTON1 0x00000000u
#define MB_DEFBUTTON2 0x00000100u
#define MB_DEFBUTTON3 0x00000200u
#define MB_DEFMASK 0x00000F00u
#define MB_APPLMODAL 0x00000000u
#define MB_SYSTEMMODAL 0x00001000u
#define MB_TASKMODAL 0x00002000u
#define MB_HELP 0x00004000u
#define MB_SETFOREGROUND 0x00010000u
#define MB_TOPMOST 0x00040000u

// Answers of message boxes and dialogs
#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7
#define IDHELP 9

namespace qv {

enum class InteractionKind { MessageBox, Report, Selection, WaitOpen, WaitUpdate, WaitClose, Modal };
const char* InteractionKindName(InteractionKind kind);

struct MessageBoxRequest {
    std::wstring text;
    std::wstring caption;
    UINT type = MB_OK;
    UINT helpId = 0;
    HWND owner = nullptr;
};

// QvReportMsg's arguments: kind (a severity or a result code), text, caption (often the function
// that failed), category ("Default"), source file and line, and the caller's flag.
struct ReportRequest {
    long kind = 0;
    std::wstring text;
    std::wstring caption;
    std::wstring category;
    std::wstring file;
    long line = 0;
    long flag = 0;
};

// Two alternatives under a statement; the answer is 1 or 2, anything else means cancelled.
struct SelectionRequest {
    std::wstring title;
    std::wstring statement;
    std::wstring choice1;
    std::wstring choice2;
    std::wstring note;
    long flags = 0;
};

// What a wait window shows. The backend may keep its own data in 'backend'.
struct WaitWindow {
    CWnd* parent = nullptr;
    long delay = 1000;     // milliseconds before the window appears
    long range = -1;       // progress steps; -1 shows a running bar without end
    long interval = 10;    // timer tick of the elapsed-time display, in tenths of a second
    std::wstring description;
    bool showCancel = false;
    bool showTimer = false;
    bool finished = false;
    bool cancelled = false;  // set by the backend when the user pressed cancel
    void* backend = nullptr;
};

// A dialog that is about to run modally. The window exists (its initialisation has run) when the
// backend receives it; the backend runs it until EndModal was called, or answers for it.
class IModalDialog {
public:
    virtual ~IModalDialog() = default;
    virtual UINT DialogId() const = 0;
    virtual std::wstring Caption() const = 0;
    // Runs the dialog's own message loop until it ends; returns the result.
    virtual INT_PTR RunModalLoop() = 0;
    virtual void EndModal(INT_PTR result) = 0;
    virtual bool IsModalEnded() const = 0;
    virtual INT_PTR ModalResult() const = 0;
};

class IInteraction {
public:
    virtual ~IInteraction() = default;
    // Returns IDOK, IDCANCEL, IDYES, IDNO ...
    virtual int ShowMessageBox(const MessageBoxRequest& request) = 0;
    // Returns when the user closed the report.
    virtual void ShowReport(const ReportRequest& request) = 0;
    virtual int ShowSelection(const SelectionRequest& request) = 0;
    virtual void OpenWait(WaitWindow& wait) = 0;
    virtual void UpdateWait(WaitWindow& wait) = 0;
    virtual void CloseWait(WaitWindow& wait) = 0;
    virtual INT_PTR RunModal(IModalDialog& dialog) = 0;
};

// The installed backend; never null (without one, a console backend answers every box with its
// default button and writes what it was asked to stderr).
IInteraction& Interaction();
// Whether a backend was installed (the console one answers otherwise).
bool HasInteraction();
// Installs a backend (nullptr: the console one) and returns the one installed before.
IInteraction* SetInteraction(IInteraction* backend);

// Installs a backend for a scope and puts the previous one back.
class ScopedInteraction {
public:
    explicit ScopedInteraction(IInteraction* backend) : previous_(SetInteraction(backend)) {}
    ~ScopedInteraction() { SetInteraction(previous_); }
    ScopedInteraction(const ScopedInteraction&) = delete;
    ScopedInteraction& operator=(const ScopedInteraction&) = delete;

private:
    IInteraction* previous_;
};

// Where the application's name comes from when the window layer's application object has one.
void SetAppNameSource(LPCWSTR (*source)());

// The answer a message box of this type gives by its default button, and the answer of the
// button that cancels it (IDCANCEL, or IDNO/IDOK for boxes without a cancel button).
int DefaultAnswer(UINT type);
int CancelAnswer(UINT type);
// Whether 'answer' is one of the buttons of a box of this type.
bool IsValidAnswer(UINT type, int answer);

}  // namespace qv

// The application's name, the default caption of message boxes.
LPCWSTR AfxGetAppName();
void AfxSetAppName(LPCWSTR name);

int AfxMessageBox(LPCWSTR text, UINT type = MB_OK, UINT helpId = 0);
// The text is the string with that id in the current resource table.
int AfxMessageBox(UINT idPrompt, UINT type = MB_OK, UINT helpId = UINT(-1));
int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);
inline int MessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
    return MessageBoxW(owner, text, caption, type);
}

// Shows a report to the user and returns when it was closed (IDOK).
long QvReportMsg(long kind, LPCWSTR text, LPCWSTR caption, LPCWSTR category, LPCSTR file, long line,
                 long flag);
long QvReportMsg(long kind, LPCWSTR text, LPCWSTR caption, LPCWSTR category, LPCWSTR file, long line,
                 long flag);
// How many reports this thread has shown so far: a caller whose step failed compares the count
// before and after the step, and does not report again what the step reported.
long QvReportMsgCount();
// A message box with the given style (MB_ flags) and the application's name as caption.
int QvMessageBox(LPCWSTR text, UINT style);
// The texts are string ids; 'noteId' 0 shows no note. Answers 1, 2, or anything else for cancel.
int QvSelectionBox(UINT titleId, UINT statementId, UINT choice1Id, UINT choice2Id, UINT noteId, long flags);
