#include "qvddx.h"
#include <cmath>
#include <cstdlib>
#include <cwctype>

namespace {

void Tell(CDataExchange* dx, LPCWSTR text) {
    AfxMessageBox(text, MB_OK | MB_ICONEXCLAMATION);
    dx->Fail();
}

CString TextOf(HWND h) {
    const int n = GetWindowTextLengthW(h);
    std::wstring buffer(std::size_t(n) + 1, L'\0');
    GetWindowTextW(h, buffer.data(), n + 1);
    buffer.resize(std::size_t(n));
    return CString(buffer.c_str());
}

// The leading number of a text ("3,5 Tg" is 3.5); FALSE when the text starts with no number.
bool LeadingNumber(const CString& text, double& value) {
    std::wstring s = text.GetString();
    std::size_t i = 0;
    while (i < s.size() && std::iswspace(s[i])) ++i;
    std::wstring number;
    if (i < s.size() && (s[i] == L'-' || s[i] == L'+')) number += s[i++];
    bool digits = false, point = false;
    for (; i < s.size(); ++i) {
        if (std::iswdigit(s[i])) {
            number += s[i];
            digits = true;
        } else if ((s[i] == L'.' || s[i] == L',') && !point) {
            number += L'.';
            point = true;
        } else if (s[i] == L'\'') {
            continue;
        } else {
            break;
        }
    }
    if (!digits) return false;
    value = std::wcstod(number.c_str(), nullptr);
    return true;
}

}  // namespace

void DDX_DoubleRes(CDataExchange* dx, int id, double& value, int formatId, int) {
    if (dx->m_bFailed) return;
    const HWND h = dx->PrepareEditCtrl(id);
    if (!h) return;
    if (dx->m_bSaveAndValidate) {
        CString text = TextOf(h);
        text.Trim();
        double v = 0;
        if (!text.IsEmpty() && !LeadingNumber(text, v)) {
            Tell(dx, L"Geben Sie eine Zahl ein.");
            return;
        }
        value = v;
        return;
    }
    CString format;
    if (!format.LoadString(UINT(formatId)) || format.IsEmpty()) format = L"%g";
    CString text;
    text.Format(format, value);
    text.Trim();
    SetWindowTextW(h, text);
}

CQvCurrency QvRoundCurrency(const CQvCurrency& amount, double round) {
    const long long step = std::llround(round * 10000.0);
    if (step <= 0) return amount;
    const long long units = amount.GetInt64();
    const long long magnitude = (std::llabs(units) + step / 2) / step * step;
    return CQvCurrency::FromInt64(units < 0 ? -magnitude : magnitude);
}

CString QvFormatCurrency(const CQvCurrency& amount, double round) {
    const long long units = QvRoundCurrency(amount, round).GetInt64();
    // Two decimals, halves away from zero.
    const long long cents = (std::llabs(units) + 50) / 100;
    std::wstring whole = std::to_wstring(cents / 100);
    for (int at = int(whole.size()) - 3; at > 0; at -= 3) whole.insert(std::size_t(at), 1, L'\'');
    CString text;
    text.Format(L"%s%s.%02d", units < 0 && cents > 0 ? L"-" : L"", whole.c_str(), int(cents % 100));
    return text;
}

BOOL QvParseCurrency(LPCWSTR text, CQvCurrency& amount) {
    std::wstring s = text ? text : L"";
    // A currency mark before or after the number.
    for (const wchar_t* mark : {L"CHF", L"Fr.", L"SFr.", L"EUR"}) {
        const std::wstring m = mark;
        if (s.size() >= m.size() && s.compare(0, m.size(), m) == 0) s.erase(0, m.size());
        if (s.size() >= m.size() && s.compare(s.size() - m.size(), m.size(), m) == 0) s.erase(s.size() - m.size());
    }
    std::wstring number;
    bool point = false, digits = false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const wchar_t c = s[i];
        if (std::iswspace(c) || c == L'\'') continue;
        if ((c == L'-' || c == L'+') && number.empty()) number += c;
        else if (std::iswdigit(c)) number += c, digits = true;
        else if ((c == L'.' || c == L',') && !point) number += L'.', point = true;
        else return FALSE;
    }
    if (!digits) return FALSE;
    // Whole units and ten-thousandths from the text itself, so that no binary fraction creeps in.
    const bool negative = !number.empty() && number[0] == L'-';
    if (!number.empty() && (number[0] == L'-' || number[0] == L'+')) number.erase(0, 1);
    const std::size_t dot = number.find(L'.');
    const std::wstring whole = dot == std::wstring::npos ? number : number.substr(0, dot);
    std::wstring fraction = dot == std::wstring::npos ? L"" : number.substr(dot + 1);
    if (whole.size() > 14) return FALSE;
    const bool roundUp = fraction.size() > 4 && fraction[4] >= L'5';
    fraction = (fraction + L"0000").substr(0, 4);
    long long units = (whole.empty() ? 0 : std::stoll(whole)) * 10000 + std::stoll(fraction) + (roundUp ? 1 : 0);
    amount = CQvCurrency::FromInt64(negative ? -units : units);
    return TRUE;
}

void DDX_QvCurrency(CDataExchange* dx, int id, CQvCurrency& value, double round) {
    if (dx->m_bFailed) return;
    const HWND h = dx->PrepareEditCtrl(id);
    if (!h) return;
    if (dx->m_bSaveAndValidate) {
        CString text = TextOf(h);
        text.Trim();
        CQvCurrency amount;
        if (!text.IsEmpty() && !QvParseCurrency(text, amount)) {
            Tell(dx, L"Geben Sie einen Betrag ein.");
            return;
        }
        value = QvRoundCurrency(amount, round);
        return;
    }
    SetWindowTextW(h, QvFormatCurrency(value, round));
}
