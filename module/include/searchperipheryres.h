#pragma once
// What the searches of activities, agenda, material, devices, maintenance plans, groups,
// documents, accountings and work plans share: their resource ids (column headers, row images),
// the status icon and the state filter of activities and agenda entries, the date limits of the
// date options and the Mandant condition of their statements.
#include "cstring.h"
#include "qvdatetime.h"

#include <initializer_list>

class CQvADORecordset;
class CQvListItem;
class CSearchDlg;

// Column headers: consecutive string ids from the first.
#define IDS_SEARCH_COL_DOKUMENT 12100     // 4 headers
#define IDS_SEARCH_COL_WARTUNGSPLAN 12127 // 5 headers
#define IDS_SEARCH_COL_ABRECHNUNG 12134   // 5 headers
#define IDS_SEARCH_COL_DEVICE 12149       // 7 headers
#define IDS_SEARCH_COL_EINSATZ 12158      // 8 headers
#define IDS_SEARCH_COL_ARBEITSPLANLIST 12173  // 6 headers
#define IDS_SEARCH_COL_ARTIKEL 12191      // 13 headers
#define IDS_SEARCH_COL_GRUPPE 12221       // 2 headers
#define IDS_SEARCH_COL_AGENDA 12230       // 9 headers

// Row images (strips of 16 x 16 icons, white is transparent).
#define IDB_SEARCH_ARTIKEL 11201  // 119 icons
#define IDB_SEARCH_DEVICE 11203   // 8 icons, one per device type
#define IDB_SEARCH_STATUS 11205   // 14 icons: states 0 to 6, then status 5 in SH, NW, BL, TI, BE, ZG

// The icon of a processing state: status 5 has its own icon in some cantons.
int SearchStatusIcon(long lStatus, const CString& strKanton);

// "AND <column> IN (0,...) ": state 0 always, states 1 to 6 whose flag (of seven, separated by
// blanks) is exactly "1".
CString SearchStatusCondition(const wchar_t* lpszColumn, const CString& strFlags);

// The date option lpszDateKey of a search (null when unset).
HRESULT SearchDateOption(const wchar_t* lpszDateKey, CQvDateTime& dtFrom);
// The options of a search by date and processing state: the date option, the state flags
// (lpszStatesKey) and whether states are kept at all (the StatusEnabled option of lStatusArea,
// read even when the others fail).
HRESULT SearchStatusOptions(const wchar_t* lpszDateKey, const wchar_t* lpszStatesKey, long lStatusArea,
                            CQvDateTime& dtFrom, CString& strStates, long& lStatusEnabled);

// The conditions of a search by date and processing state: lpszDateColumn from the date option
// on (SearchDateLimit with bToday), and lpszStatusColumn in the states kept, when they are kept
// at all (SearchStatusOptions); a failure to read the options still gives the conditions.
HRESULT SearchDateStatusCondition(const wchar_t* lpszDateKey, const wchar_t* lpszStatesKey, long lStatusArea,
                                  const wchar_t* lpszDateColumn, const wchar_t* lpszStatusColumn, bool bToday,
                                  CString& strCondition);

// The SQL literal of a date option: an unset one is no limit, or today at midnight when bToday.
CString SearchDateLimit(const CQvDateTime& dtOption, bool bToday);

// The Mandant condition of a statement: the active Mandant's rows (alias.lMandantID) when the
// Mandant filter applies, else those of the active Mandanten.
CString SearchMandantCondition(const CSearchDlg& search, const wchar_t* lpszAlias);

// "FROM <table>" with the table's Mandant, the Mandant's name (cbm) and the rights of the user
// on the search's table, limited to the Mandanten where they hold the search's right mask.
CString SearchMandantFrom(const CSearchDlg& search, long lUserID, const wchar_t* lpszTable);
// The joins of a table's latest processing state (<table>status by lOrder) and its label (vl).
CString SearchLatestStatusJoin(const wchar_t* lpszTable);
// The column strAnschrift1L: the place, the address and Ort's PLZ and place, separated only
// where both sides are there; a missing Ort counts as none, so the text is never NULL.
CString SearchAnschriftColumn(const wchar_t* lpszPlaceColumn);
// The date and time of a date column in the text of a word condition.
CString SearchWordDate(const wchar_t* lpszColumn);

// A text column of a result row and the field it shows.
struct SearchTextColumn {
    int column;
    const wchar_t* field;
};
// Sets the row's text columns from their fields and the date column nDateColumn from
// lpszDateField; the first failure is traced and returned.
HRESULT SearchFillColumns(CQvADORecordset* pRS, CQvListItem* pItem, std::initializer_list<SearchTextColumn> texts,
                          int nDateColumn, const wchar_t* lpszDateField);
// Shows the row's processing state (lStatus) as its icon.
HRESULT SearchShowStatus(CQvADORecordset* pRS, CQvListItem* pItem, const CString& strKanton);
// Shows a row whose entry already has its activity (lEinsatzID) on a light-yellow background.
HRESULT SearchMarkWithActivity(CQvADORecordset* pRS, CQvListItem* pItem);

// The tests of a word's list terms, without case: "OR <lpszMandantColumn> IN (the Mandanten whose
// name or type holds the word) " and "OR <lpszIdColumn> IN (the records of table nTableID whose
// searched custom fields hold it) "; a null column leaves its term out.
CString SearchWordListTerms(const CString& strWord, const wchar_t* lpszMandantColumn, const wchar_t* lpszIdColumn,
                            int nTableID);
