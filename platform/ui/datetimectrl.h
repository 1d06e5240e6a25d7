#pragma once
// The date-time picker: a date (or time) field whose show-none box, when the style asks for it,
// lets the user leave the date empty. Its drop-down calendar speaks German and opens under the
// field's right edge with DTS_RIGHTALIGN. The user's changes are told to the parent
// (DTN_DATETIMECHANGE); what the program sets is not. Data exchange with an OLE date: an
// unticked box is a null date.
#include "dialog.h"
#include "oledate.h"

#define DATETIMEPICK_CLASSW L"SysDateTimePick32"

#define DTS_SHORTDATEFORMAT 0x0000u
#define DTS_UPDOWN 0x0001u
#define DTS_SHOWNONE 0x0002u
#define DTS_LONGDATEFORMAT 0x0004u
#define DTS_TIMEFORMAT 0x0009u
#define DTS_SHORTDATECENTURYFORMAT 0x000Cu
#define DTS_RIGHTALIGN 0x0020u

#define GDT_ERROR (-1)
#define GDT_VALID 0
#define GDT_NONE 1

#define DTM_FIRST 0x1000u
#define DTM_GETSYSTEMTIME (DTM_FIRST + 1u)
#define DTM_SETSYSTEMTIME (DTM_FIRST + 2u)
#define DTM_SETFORMATW (DTM_FIRST + 50u)
#define DTM_SETFORMAT DTM_SETFORMATW

#define DTN_FIRST2 (0u - 753u)
#define DTN_DATETIMECHANGE (DTN_FIRST2 - 6u)

struct NMDATETIMECHANGE {
    NMHDR nmhdr;
    DWORD dwFlags = GDT_VALID;  // GDT_VALID or GDT_NONE (the box was unticked)
    SYSTEMTIME st{};
};
using LPNMDATETIMECHANGE = NMDATETIMECHANGE*;

class CDateTimeCtrl : public CWnd {
    DECLARE_DYNAMIC(CDateTimeCtrl)
public:
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);
    // GDT_VALID with the time, or GDT_NONE when the show-none box is unticked.
    DWORD GetTime(LPSYSTEMTIME time) const;
    // FALSE and a null date when the box is unticked.
    BOOL GetTime(COleDateTime& time) const;
    // A null time unticks the show-none box.
    BOOL SetTime(const SYSTEMTIME* time);
    // A null or invalid date unticks the show-none box (a picker without one keeps its date).
    BOOL SetTime(const COleDateTime& time);
    // The display format: d, dd, M, MM, MMM, yy, yyyy, H, HH, h, hh, m, mm, s, ss, tt and 'text'.
    BOOL SetFormat(LPCWSTR format);
    // The date being typed is taken as when the field is left: FALSE when it is refused or one
    // refused before is still shown (the user is told; the field shows what was typed and holds its
    // date before until the date is mended or given up with Escape).
    BOOL EndTyping();
};

// id: a date-time picker. Saving: a null date when its box is unticked.
void DDX_DateTimeCtrl(CDataExchange* dx, int id, COleDateTime& value);
