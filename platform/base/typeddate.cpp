#include "typeddate.h"
#include <cwchar>
#include <cwctype>
#include <string>
#include <vector>

namespace qv {

namespace {

std::wstring Trimmed(const CString& text) {
    CString t = text;
    t.Trim();
    return t.GetString();
}

// The text in the form COleDateTime reads: digits alone or with other separators become
// "dd.mm.yyyy" or "hh:mm". Any other text is left as it is, for the date parser to judge.
std::wstring Normalized(const std::wstring& s, DateEntry kind) {
    std::vector<std::wstring> parts(1);
    for (wchar_t c : s) {
        if (std::iswdigit(static_cast<wint_t>(c))) parts.back() += c;
        else if (std::wcschr(L".:/-, ", c) && !parts.back().empty()) parts.emplace_back();
        else return s;
    }
    if (parts.back().empty()) return s;
    if (kind == DateEntry::time) {
        if (parts.size() == 1 && parts[0].size() <= 4) {
            // The last two digits are the minutes, unless there are only two.
            const std::wstring d = parts[0];
            const std::size_t hour = d.size() <= 2 ? d.size() : d.size() - 2;
            parts = {d.substr(0, hour), hour == d.size() ? std::wstring(L"00") : d.substr(hour)};
        }
        if (parts.size() != 2 || parts[1].size() != 2) return s;
        return parts[0] + L":" + parts[1];
    }
    if (kind == DateEntry::dateTime) return s;
    if (parts.size() == 1 && (parts[0].size() == 8 || parts[0].size() == 6)) {
        const std::wstring d = parts[0];
        parts = {d.substr(0, 2), d.substr(2, 2), d.substr(4)};
    }
    if (parts.size() != 3 || parts[0].size() > 2 || parts[1].size() > 2 || (parts[2].size() != 2 && parts[2].size() != 4))
        return s;
    if (parts[2].size() == 2) parts[2] = std::to_wstring(FullYear(std::stoi(parts[2])));
    return parts[0] + L"." + parts[1] + L"." + parts[2];
}

// Whether the text the date parser read begins with a day ("dd.mm.", "yyyy-") rather than a time.
bool NamesADay(const std::wstring& s) {
    for (wchar_t c : s)
        if (!std::iswdigit(static_cast<wint_t>(c)) && !std::iswspace(static_cast<wint_t>(c))) return c == L'.' || c == L'-';
    return false;
}

}  // namespace

int FullYear(int twoDigitYear) { return twoDigitYear + (twoDigitYear < 30 ? 2000 : 1900); }

bool ParseDateEntry(const CString& text, DateEntry kind, COleDateTime& value) {
    const std::wstring normal = Normalized(Trimmed(text), kind);
    // A date field takes no time alone, a time field no day.
    if (!value.ParseDateTime(normal.c_str()) || NamesADay(normal) != (kind != DateEntry::time)) {
        value.m_dt = 0;
        value.SetStatus(COleDateTime::invalid);
        return false;
    }
    return true;
}

CString DateEntryRefusal(const CString& text, DateEntry kind) {
    const CString shown(Trimmed(text).c_str());
    CString out;
    if (shown.IsEmpty()) out = L"Das Datum muss angegeben werden.";
    else if (kind == DateEntry::time)
        out.Format(L"\"%s\" ist keine gültige Zeit. Geben Sie sie als HH:MM oder HHMM ein.", shown.GetString());
    else if (kind == DateEntry::dateTime)
        out.Format(L"\"%s\" ist kein gültiges Datum mit Zeit. Geben Sie es als TT.MM.JJJJ HH:MM ein.", shown.GetString());
    else out.Format(L"\"%s\" ist kein gültiges Datum. Geben Sie es als TT.MM.JJJJ oder TTMMJJJJ ein.", shown.GetString());
    return out;
}

}  // namespace qv
