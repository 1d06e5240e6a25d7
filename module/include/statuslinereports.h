#pragma once
// Work the user did not start (a timer's check, a refresh after another window's event) tells a
// failure in the frame's status line, not in a box over what the user is doing.
#include "qvdblookup.h"

class CStatusLineReports {
public:
    // While it lives, the database error reports of this thread go to the status line under
    // strWhat, the user's words for what failed.
    explicit CStatusLineReports(const CString& strWhat);
    ~CStatusLineReports();
    CStatusLineReports(const CStatusLineReports&) = delete;
    CStatusLineReports& operator=(const CStatusLineReports&) = delete;

    // strWhat with the first description of the database's error text behind it, in the status line.
    static void Show(const CString& strWhat, const CString& strErrorText);

private:
    QvDBErrorReportHook m_previous;
};
