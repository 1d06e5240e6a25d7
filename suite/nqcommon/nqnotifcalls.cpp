#include "nqnotifcalls.h"

#include "qvdblookup.h"
#include "qvguid.h"
#include "qvregvalue.h"

#include <cwctype>

CString NQ_GetMandantBezeichnung(long lMandantID) {
    CString strCondition;
    strCondition.Format(L"lID = %d AND lTableID = 45", lMandantID);
    CString strName;
    QvDBLookupString(L"strBezeichnung", L"view_CacheBezeichnung", strCondition, &strName, L"Qovaro.NQ2");
    return strName;
}

CString NQ_GetAreaBezeichnung(long lAreaID) {
    CString strCondition;
    strCondition.Format(L"lAreaID = %d", lAreaID);
    CString strName;
    QvDBLookupString(L"dbo.fn_GetAreaBezeichnung(lAreaID)", L"Area", strCondition, &strName, L"Qovaro.NQ2");
    return strName;
}

BOOL NQ_ValidateEMailAdress(CString& strAddress, bool, bool) {
    strAddress.Trim();
    const int at = strAddress.Find(L'@');
    if (at <= 0 || strAddress.Find(L'@', at + 1) >= 0) return FALSE;
    for (int i = 0; i < strAddress.GetLength(); ++i) {
        const wchar_t c = strAddress[i];
        if (std::iswspace(static_cast<wint_t>(c)) || c == L';' || c == L',' || c == L'<' || c == L'>' || c < 0x20)
            return FALSE;
    }
    const CString strDomain = strAddress.Mid(at + 1);
    const int dot = strDomain.ReverseFind(L'.');
    return dot > 0 && dot < strDomain.GetLength() - 1 && strDomain.Find(L"..") < 0;
}

CString NQ_DetectLanguage(CString strSprache) {
    strSprache.Trim();
    strSprache.MakeLower();
    struct Entry {
        const wchar_t* code;
        std::initializer_list<const wchar_t*> names;
    };
    static const Entry entries[] = {
        {L"DE", {L"d", L"de", L"deutsch", L"german", L"allemand", L"tedesco"}},
        {L"FR", {L"f", L"fr", L"französisch", L"franzoesisch", L"français", L"francais", L"french", L"francese"}},
        {L"IT", {L"i", L"it", L"italienisch", L"italiano", L"italien", L"italian"}},
        {L"EN", {L"e", L"en", L"englisch", L"english", L"anglais", L"inglese"}},
    };
    for (const auto& e : entries)
        for (const wchar_t* name : e.names)
            if (strSprache == name) return e.code;
    return CString();
}

CString QvGetSysLanguage() {
    CString strCode;
    CQvRegistry::GetValue(L"Software\\Qovaro\\NQ2", L"Language", strCode, HKEY_LOCAL_MACHINE);
    strCode.Trim();
    strCode.MakeUpper();
    return strCode.IsEmpty() ? CString(L"DE") : strCode;
}

BOOL NQ_IsModulRunning(CString strProgID) {
    DWORD dwValue = 0;
    CQvRegistry::GetValue(L"Software\\Qovaro\\NQ2\\Modules", strProgID, dwValue, HKEY_LOCAL_MACHINE);
    return dwValue != 0;
}

namespace {

struct RecordTable {
    long lTableID;
    const wchar_t* table;
    const wchar_t* key;
    const wchar_t* name;  // the expression of its display name
};

const RecordTable kRecordTables[] = {
    {4, L"Person", L"lPersonID", L"dbo.fn_GetPersonBezeichnung(lPersonID, 'A')"},
    {6, L"Einsatz", L"lEinsatzID", L"strEreignis"},
    {34, L"Soldansatz", L"lSoldansatzID", L"strBezeichnung"},
    {39, L"Kurs", L"lKursID", L"dbo.fn_GetKursBezeichnung(lKursID)"},
    {42, L"Kursinstanz", L"lKursinstanzID", L"dbo.fn_GetKursinstanzBezeichnung(lKursinstanzID)"},
    {45, L"Mandant", L"lMandantID", L"strMandantName"},
};

const RecordTable* FindTable(long lTableID) {
    for (const auto& t : kRecordTables)
        if (t.lTableID == lTableID) return &t;
    return nullptr;
}

}  // namespace

CString NQ_GetKursinstanzBezeichnung(long lKursinstanzID) { return NQ_GetBezeichnungForId(lKursinstanzID, 42); }

CString NQ_GetBezeichnungForId(long lID, long lTableID) {
    const RecordTable* t = FindTable(lTableID);
    CString strName;
    if (!t) return strName;
    CString strCondition;
    strCondition.Format(L"%s = %d", t->key, lID);
    QvDBLookupString(t->name, t->table, strCondition, &strName, L"Qovaro.NQ2");
    return strName;
}

CQvGUID NQ_GetGuidForId(long lID, long lTableID) {
    CQvGUID guid;
    const RecordTable* t = FindTable(lTableID);
    if (!t) return guid;
    CString strCondition;
    strCondition.Format(L"%s = %d", t->key, lID);
    QvDBLookupGUID(L"guid", t->table, strCondition, &guid, L"Qovaro.NQ2");
    return guid;
}
