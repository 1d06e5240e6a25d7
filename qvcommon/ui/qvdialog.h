#pragma once
// CQvDialog: the suite's dialog base. Tool tips per control (texts from the string table or
// given, and asked for again each time through GetToolTipText), a background colour for the
// dialog and its statics, and a table of static texts applied when the dialog starts.
#include "qvui.h"
#include <map>

// One static control whose text comes from the string table.
struct QvStaticMapEntry {
    UINT ctrlId;  // 0 ends the table
    UINT stringId;
};

// Background modes of SetBackgroundColor.
#define QVBK_SYSTEM 0  // the desktop's face colour
#define QVBK_WINDOW 1  // the window colour
#define QVBK_COLOR 2   // the given colour

class CQvDialog : public CDialogEx {
    DECLARE_DYNAMIC(CQvDialog)
public:
    CQvDialog() = default;
    explicit CQvDialog(UINT templateId, CWnd* parent = nullptr) : CDialogEx(templateId, parent) {}

    BOOL OnInitDialog() override;
    BOOL PreTranslateMessage(MSG* msg) override;

    // Texts may be registered before the window exists; they apply when it starts.
    void AddToolTipText(UINT ctrlId, UINT stringId);
    void AddToolTipText(UINT ctrlId, LPCWSTR text);
    // The text shown for a control, asked each time the tip appears.
    virtual CString GetToolTipText(HWND control);
    void SetBackgroundColor(long mode, COLORREF color = CLR_NONE);
    long GetBackgroundMode() const { return m_nBackgroundMode; }
    // The colour the dialog is painted with.
    COLORREF GetBackgroundColor() const;
    // Static texts set from the string table when the dialog starts; none in the base.
    virtual const QvStaticMapEntry* GetStaticMap() const { return nullptr; }

protected:
    void ApplyToolTip(UINT ctrlId);
    // The tip filter goes with the window: its widgets are deleted later, possibly after the
    // library that made the dialog was unloaded.
    afx_msg void OnDestroy();
    DECLARE_MESSAGE_MAP()
    std::map<UINT, CString> m_toolTips;
    long m_nBackgroundMode = QVBK_SYSTEM;
    COLORREF m_crBackground = CLR_NONE;
    void* m_pTipFilter = nullptr;
};

// Exchanges the item data of the chosen combo entry: when saving, -1 without a selection; when
// loading, the entry with that data is selected (none when no entry has it).
void DDX_CBParam(CDataExchange* dx, int id, long& value);
