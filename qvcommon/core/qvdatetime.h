#pragma once
// CQvDateTime: the suite's date and time, an OLE date with its status. The database keeps dates
// as 'YYYY-MM-DD HH:MM:SS' text; the date 0.0 (1899-12-30 00:00:00) is the "not set" date of the
// date columns, written like any other date.
#include "cstring.h"
#include "oledate.h"

class CQvDateTime : public COleDateTime {
public:
    CQvDateTime() = default;  // 1899-12-30 00:00:00, valid
    CQvDateTime(const COleDateTime& dt) : COleDateTime(dt) {}
    CQvDateTime(DATE dt) : COleDateTime(dt) {}
    // Milliseconds go into the value; the parts and the texts are rounded to whole seconds.
    CQvDateTime(int nYear, int nMonth, int nDay, int nHour, int nMinute, int nSecond, int nMilliseconds = 0);

    CQvDateTime& operator=(const COleDateTime& dt) {
        COleDateTime::operator=(dt);
        return *this;
    }
    CQvDateTime& operator=(DATE dt) {
        COleDateTime::operator=(dt);
        return *this;
    }

    BOOL IsNull() const { return GetStatus() == null; }
    void SetNull() { m_dt = 0; SetStatus(null); }

    // The SQL literal of the date, quotes included: '2024-03-05 14:30:00'; NULL for a null or
    // invalid date.
    CString SQLConvert() const;

    // The text form in which options keep dates: "YYYY-MM-DD HH:MM:SS"; empty for a null or
    // invalid date.
    CString GetNormalizedDateTime() const;
    // Reads that form (also "YYYY-MM-DD" and the other forms COleDateTime parses). Empty text
    // gives 0.0 with status valid; text that is no date gives status invalid. TRUE when read.
    BOOL SetNormalizedDateTime(LPCWSTR lpszText);
};
