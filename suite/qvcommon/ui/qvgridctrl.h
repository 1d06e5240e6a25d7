#pragma once
// CQvGridCtrl: the suite's grid. The forms built so far use only its read-only switch (the rights
// of a user make a grid read-only); its rows and cells come with the first form that shows them.
// In a dialog template the control has the class name below.
#include "qvui.h"

#define QVGRID_CLASSNAME L"QvGridCtrl"

class CQvGridCtrl : public CWnd {
    DECLARE_DYNAMIC(CQvGridCtrl)
public:
    // Registers the class name for templates (also done by Create).
    static void RegisterClass();
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);
    void SetReadOnly(BOOL readOnly = TRUE) { m_bReadOnly = readOnly; }
    BOOL IsReadOnly() const { return m_bReadOnly; }

private:
    BOOL m_bReadOnly = FALSE;
};
