#pragma once
// The dialog framework's own resources (German): the texts of the record states and of the view's
// start-up, the parent dialog's template, the view's menus and the edit-state bitmaps. They are
// registered when the library loads; a module's own tables are looked up first.
#include "cstring.h"

HINSTANCE NQFrameworkModuleHandle();

// A text of the current resource table (a module may give its own), else the framework's own.
CString NQLoadString(UINT nID);

// Makes the resource table of the module that created an object the current one for the life of
// the scope: the framework's objects are entered from other modules, and the texts, dialogs and
// menus they load must come from the module they belong to.
class CNQModuleState {
public:
    explicit CNQModuleState(HINSTANCE hResource);
    ~CNQModuleState();
    CNQModuleState(const CNQModuleState&) = delete;
    CNQModuleState& operator=(const CNQModuleState&) = delete;

private:
    HINSTANCE m_hPrevious;
    bool m_bSwitched;
};
#define NQ_MANAGE_STATE(hResource) CNQModuleState nqModuleState_(hResource)

enum : UINT {
    IDD_NQ_PARENTDLG = 123,

    IDC_NQ_ICON_EDIT = 10,
    IDC_NQ_ICON_DOCMNGMT = 11,
    IDC_NQ_LOGO = 12,

    IDS_NQ_RECORD_CHANGED = 10017,
    IDS_NQ_RECORD_LOCKED = 10018,
    IDS_NQ_RECORD_DELETED = 10019,
    IDS_NQ_TABSERVER_NOT_REGISTERED = 10020,
    IDS_NQ_RECORD_UNCHANGED = 10032,
    IDS_NQ_LOAD_MODULE = 10112,
    IDS_NQ_INIT_MODULE = 10120,
    IDS_NQ_CREATE_MODULE = 10121,
    IDS_NQ_CONFIRM_SAVE = 10200,
    IDS_NQ_SAVING = 10201,
    IDS_NQ_CHANGED_MEANWHILE = 10205,
    IDS_NQ_QUIT_NOT_SAVED = 10211,
    IDS_NQ_REFRESH_FAILED = 10212,
    IDS_NQ_PAGE_FAILED = 10214,
    IDS_NQ_SAVE_FAILED = 10213,

    IDR_NQ_MENU_VIEW = 10591,
    IDR_NQ_MENU_HELP = 13014,
    ID_NQ_REFRESH_VIEW = 40230,
    ID_NQ_ONLINE_HELP = 40456,
    ID_NQ_CONTEXT_HELP = 40457,

    IDB_NQ_STATE_DELETED = 11422,
    IDB_NQ_STATE_UNCHANGED = 11423,
    IDB_NQ_STATE_EDITING = 11424,
    IDB_NQ_STATE_LOCKED = 11425,
};
