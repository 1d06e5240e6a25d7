#pragma once
// Values between the database and VARIANTs. The database keeps dates as 'YYYY-MM-DD HH:MM:SS'
// text and money as numbers; which of its columns are dates or money the declared type says.
#include "oleauto.h"
#include "sqlvalue.h"
#include <string>
#include <string_view>

namespace qv::ado {

enum class ColumnKind { Plain, Date, Money };

// "DATE" or "TIME" in the declared type: a date; "MONEY" or "CUR": money; any case. No declared
// type (an expression): plain.
ColumnKind KindOfDeclaredType(const char* decltype_);

// The OLE date of 'YYYY-MM-DD', 'YYYY-MM-DD HH:MM[:SS[.fff]]' (also with 'T'); false for other
// text or a date out of range.
bool ParseDbDate(std::string_view text, DATE* out);
// 'YYYY-MM-DD HH:MM:SS'; false for a date out of range.
bool FormatDbDate(DATE date, std::string* out);

// Text between BSTRs and the database's UTF-8; plain ASCII, the common case, without detours.
std::string Utf8Of(BSTR text);
BSTR BstrOf(std::string_view utf8);

// `out` must hold nothing (VT_EMPTY or cleared). A date column's text that is no date, and
// money text that is no number, come as text.
HRESULT ToVariant(const qv::sql::Value& value, ColumnKind kind, VARIANT* out);
// VT_DATE as text, VT_BOOL as 0/1, VT_CY as a real, by-reference values as what they point to.
// DISP_E_TYPEMISMATCH for what the database cannot hold.
HRESULT FromVariant(const VARIANT& value, qv::sql::Value* out);

}  // namespace qv::ado
