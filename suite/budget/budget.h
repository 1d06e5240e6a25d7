#pragma once
// The suite's budget module: each Mandant keeps accounts; a booked record (a table id and a record
// id) has on each side (expense, income) an account linked to it, or else the Mandant's standard
// account for that kind of record, and a budgeted amount. Results are HRESULTs unless a call
// answers an account id.
#include "cstring.h"
#include "qvcurrency.h"
#include "qvdatetime.h"
#include "qvtypes.h"

#include <optional>

class CComboBox;

// The side of a record's budget.
enum EBudgetLinkTyp : long { eBudgetLinkAufwand = -1, eBudgetLinkErtrag = 1 };
// The kind of record a standard account answers for.
enum EStandardkontoTyp : long { eStandardkontoKursinstanz = 3 };
// The side of a standard account.
enum EStandardkontoArt : long { eStandardkontoAufwand = 1, eStandardkontoErtrag = 2 };
// How a budgeted amount came about.
enum EBuchungssatzModifiedTyp : long { eBuchungssatzUnchanged = 0, eBuchungssatzModified = 1 };

// TRUE when the budget module is in use: the installation's setting (HKEY_LOCAL_MACHINE
// "Software\Qovaro\NQ2", DWORD "BudgetRunning", non-zero), read once.
BOOL NQ_IsBudgetRunning();

// The account linked to the record on the side for the Mandant; -1 when none (also when it cannot
// be read, which is traced).
long VRQ_GetKontoID(long lTableID, long lRecordID, EBudgetLinkTyp eLink, long lMandantID, const CQvDateTime& dtDatum);
// The Mandant's standard account of the kind and side; -1 when he has none.
long VRQ_GetStdKontoID(EStandardkontoTyp eTyp, EStandardkontoArt eArt, long lMandantID, const CQvDateTime& dtDatum);
// Fills the combo with the Mandant's accounts ("number name", item data the account id), sorted
// by number; with bReset the combo is emptied first. bStandard tells that the caller's account is
// a standard one (the standard accounts are then marked).
long VRQ_FillKontoCombo(CComboBox* pCombo, long lMandantID, const CQvDateTime& dtDatum, BOOL bStandard, BOOL bReset);
// The budgeted amount of the record on the side (0 when none was written).
long VRQ_GetBudgetBuchungssatz(long lTableID, long lRecordID, EBudgetLinkTyp eLink, CQvCurrency& curBetrag,
                               EBuchungssatzModifiedTyp& eModified);
// Links the account to the record on the side; an account below 0 removes the link.
long VRQ_SaveKontoID(long lKontoID, long lTableID, long lRecordID, EBudgetLinkTyp eLink, long lMandantID);
// Writes the amount as the record's budget on the side under the account, with the date and the
// booking text. bBudget: the amount is a budget (not a booking); bAdd: added to what is there
// instead of replacing it.
long VRQ_SaveBudgetBuchungssatz(long lKontoID, long lTableID, long lRecordID, EBudgetLinkTyp eLink,
                                const CQvDateTime& dtDatum, const CString& strText, long lModified,
                                const CQvCurrency& curBetrag, BOOL bBudget, BOOL bAdd);

namespace qv::budget {
// Fixes whether the budget module runs for this process (tests); nullopt reads the setting again.
void SetBudgetRunning(std::optional<bool> running);
}  // namespace qv::budget
