#pragma once
// The platform library's calls that the course window's run pages and booking editors make: list
// selection, filling a combo box from a statement, the user's own person, display names, the
// canton, the place editor, navigation to another view, and a number shown in a text format.
#include "cstring.h"
#include "qvtypes.h"

class CComboBox;
class CDataExchange;
class CQvListCtrl;

// FALSE when no row is selected; else the parameter of the (first) selected row. A row without
// that parameter gives FALSE as well.
BOOL NQ_GetSelectedParamValue(CQvListCtrl* pList, long lParamIndex, long& lValue);

// One entry per row of the statement: the text of the column "str", the item data of the column
// "id". The box is not emptied first. plCount (may be null) gets the number of entries added. A
// failed query is reported under "OLEDB Errormessage" and returned.
long NQ_FillCombo(CString strSQL, CComboBox* pCombo, long lReserved1, long lReserved2, long* plCount);

// The person of the logged-in user: the person of the contact the security user is. S_FALSE (and
// 0) when the user is no person.
long NQ_GetCurrUserPerson(long& lPersonID);

// The display name of a course; strDefault when it has none.
CString NQ_GetKursBezeichnung(long lKursID, CString strDefault);

// The active canton: its two-letter code; the name is the code as well while the suite keeps no
// list of cantons. S_FALSE with an empty code when none is set.
long NQ_GetActKanton(CString& strCode, CString& strName, int* pnIndex);

// The modal place editor: the user picks a place; lOrtID is unchanged when he cancels. The result
// is the dialog's (IDOK, IDCANCEL).
long NQ_ShowEditOrtDlg(long& lOrtID);

// Asks the host frame to show the view of the ProgID, then hands the record and the tab to the
// host's navigator (recorded in the navigation history when bAddToHistory).
long NQ_NavigateToQvFrameView(CString strProgID, long lID, long lID2, CString strTabName, BOOL bAddToHistory);

// Exchanges a number with a text field shown in the format of the string-table entry (one
// floating-point conversion and a unit, e.g. "%3.2f Tg"). Reading takes the leading number of the
// text (comma or point); a text that does not start with a number fails the exchange with a
// message.
void DDX_DoubleRes(CDataExchange* pDX, int nIDC, double& dblValue, UINT nFormatID, int nReserved);
