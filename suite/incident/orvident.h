#pragma once
// The incident-recording library: the activity made from a course run, its budget data and the
// choice of pay rates. Every call works on the "Qovaro.NQ2" connection, so inside a caller's
// transaction it joins that transaction.
#include "cstring.h"
#include "qvtypes.h"

class CComboBox;
class CQvGridItem;

// A new activity (Einsatz) of the Mandant and the activity type; lEinsatzID gets its key,
// lGrouping the user-log grouping under which its creation was logged.
long VRQ_CreateEinsatz(long lMandantID, long lEinsatzartID, long& lEinsatzID, long& lGrouping);

// The activity's budget data (persons, quantity, pay and income) computed anew from its pay rows.
long VRQ_CreateAndUpdateEinsatzBudgetData(long lEinsatzID);

// The pay rates a Mandant may use, text and id, sorted by name; the one with lPreselect chosen
// when it is there. The suite keeps its pay rates for every Mandant alike, so the Mandant and the
// filter text choose nothing yet.
long VRQ_FillSoldansatzCombo(CComboBox* pCombo, long lMandantID, long lPreselect, CString strFilter);
// The same as the choice list of a grid cell; bAllowNone offers "no pay rate" (-1) as well.
long VRQ_FillSoldansatzCombo(CQvGridItem* pItem, long nColumn, long lMandantID, long lPreselect, BOOL bAllowNone,
                             CString strFilter);
