#include "qvlabelbutton.h"
#include "qvadoconnection.h"
#include "qvadorecordset.h"
#include "qvdblookup.h"
#include "qvhrtrace.h"
#include <cwchar>
#include <map>

IMPLEMENT_DYNAMIC(CQvLabelButton, CQvBitmapButton)

namespace {

// The dialog's template is made for each opening, as the number and kind of fields vary.
constexpr UINT kLabelDialog = 29100;
constexpr UINT kLanguage = 1000;
constexpr UINT kFirstCaption = 1100;
constexpr UINT kFirstText = 1200;

struct Language {
    long id;
    const wchar_t* name;
};
const Language kLanguages[] = {{1, L"Deutsch"}, {2, L"Français"}, {3, L"Italiano"}, {4, L"English"}};

HINSTANCE Module() {
    static int tag;
    return reinterpret_cast<HINSTANCE>(&tag);
}

// "KursnotificationMailtemplate_Subject" is shown as "Subject".
CString ShortName(const CString& name) {
    const int at = name.ReverseFind(L'_');
    return at >= 0 ? name.Mid(at + 1) : name;
}

long Report(CQvADOConnection& connection, long hr) {
    CString text;
    connection.GetErrorText(text);
    if (text.IsEmpty()) text.Format(L"No OLEDB Error available!\n%s", CrackHR(hr).GetString());
    QvReportMsg(1, text, L"OLEDB Errormessage", L"Default", __FILE__, __LINE__, 1);
    return hr;
}

class CQvLabelDlg : public CDialog {
public:
    CQvLabelDlg(const CQvLabelButton& button, CWnd* parent) : CDialog(kLabelDialog, parent), b_(button) {}

    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        auto* languages = static_cast<CComboBox*>(GetDlgItem(kLanguage));
        for (const Language& l : kLanguages) languages->SetItemData(languages->AddString(l.name), DWORD_PTR(l.id));
        languages->SetCurSel(0);
        if (FAILED(Load())) {
            EndDialog(IDCANCEL);
            return TRUE;
        }
        Show();
        return TRUE;
    }
    void OnOK() override {
        Keep();
        if (SUCCEEDED(Save())) EndDialog(IDOK);
    }
    void OnLanguage() {
        Keep();
        current_ = kLanguages[std::max(0, static_cast<CComboBox*>(GetDlgItem(kLanguage))->GetCurSel())].id;
        Show();
    }
    DECLARE_MESSAGE_MAP()

private:
    struct Text {
        long id = 0;  // the row, 0 for none
        CString loaded;
        CString now;
    };
    Text& At(long language, std::size_t name) { return texts_[{language, name}]; }

    long Load() {
        CQvADOConnection connection;
        long hr = connection.Open(L"Qovaro.NQ2", 0);
        if (FAILED(hr)) return Report(connection, hr);
        CString names;
        for (const CString& n : b_.m_arrNames) {
            if (!names.IsEmpty()) names += L", ";
            names += L"'" + QvSQLString(n, 100) + L"'";
        }
        CString sql;
        sql.Format(L"SELECT lQvLabelID, lQvLanguageID, strName, strLabel FROM QvLabel WHERE lFkID = %d AND strName IN (%s)",
                   b_.m_lFkID, names.GetString());
        CQvADORecordset rs(&connection);
        hr = rs.Open(sql);
        BOOL eof = FALSE;
        if (SUCCEEDED(hr)) hr = rs.IsEOF(&eof);
        while (SUCCEEDED(hr) && !eof) {
            long id = 0, language = 0;
            CString name, label;
            hr = rs.GetFieldValue(L"lQvLabelID", &id);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lQvLanguageID", &language);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strName", &name);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strLabel", &label);
            for (std::size_t i = 0; SUCCEEDED(hr) && i < b_.m_arrNames.size(); ++i)
                if (b_.m_arrNames[i].CompareNoCase(name) == 0) {
                    Text& t = At(language, i);
                    t.id = id;
                    t.loaded = t.now = label;
                }
            if (SUCCEEDED(hr)) hr = rs.MoveNext(&eof);
        }
        rs.Close();
        return FAILED(hr) ? Report(connection, hr) : S_OK;
    }

    // Only the texts that changed are written; a text emptied takes its row away.
    long Save() {
        CQvADOConnection connection;
        long hr = connection.Open(L"Qovaro.NQ2", 0);
        for (auto& [key, t] : texts_) {
            if (FAILED(hr)) break;
            if (t.now == t.loaded) continue;
            const CString name = QvSQLString(b_.m_arrNames[key.second], 100);
            const CString label = QvSQLString(t.now, 4000);
            CString sql;
            if (t.id && t.now.IsEmpty()) {
                sql.Format(L"DELETE QvLabel WHERE lQvLabelID = %d", t.id);
            } else if (t.id) {
                sql.Format(L"UPDATE QvLabel SET strLabel = '%s' WHERE lQvLabelID = %d", label.GetString(), t.id);
            }
            long newId = 0;
            if (!t.id) {
                hr = connection.GetUniqueID(L"QvLabel", L"lQvLabelID", &newId);
                if (FAILED(hr)) break;
                sql.Format(L"INSERT INTO QvLabel (lQvLabelID, lQvLanguageID, lFkID, strName, strLabel) VALUES (%d, %d, %d, '%s', '%s')",
                           newId, key.first, b_.m_lFkID, name.GetString(), label.GetString());
            }
            hr = connection.Execute(sql);
            if (FAILED(hr)) break;
            if (newId) t.id = newId;
            if (t.now.IsEmpty()) t.id = 0;
            t.loaded = t.now;
        }
        return FAILED(hr) ? Report(connection, hr) : S_OK;
    }

    void Keep() {
        for (std::size_t i = 0; i < b_.m_arrNames.size(); ++i) GetDlgItemText(int(kFirstText + i), At(current_, i).now);
    }
    void Show() {
        for (std::size_t i = 0; i < b_.m_arrNames.size(); ++i) SetDlgItemText(int(kFirstText + i), At(current_, i).now);
    }

    const CQvLabelButton& b_;
    long current_ = 1;
    std::map<std::pair<long, std::size_t>, Text> texts_;
};

BEGIN_MESSAGE_MAP(CQvLabelDlg, CDialog)
    ON_CBN_SELCHANGE(kLanguage, &CQvLabelDlg::OnLanguage)
END_MESSAGE_MAP()

void RegisterLabelDialog(const CQvLabelButton& button) {
    using namespace qv::ui;
    DialogTemplate t;
    t.id = kLabelDialog;
    CString caption = L"Übersetzungen";
    CString what;
    if (button.m_nTextID && what.LoadString(button.m_nTextID) && !what.IsEmpty()) caption += L": " + what;
    t.caption = caption.GetString();
    t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
    t.cx = 280;
    short y = 5;
    t.items.push_back(RText(L"Sprache:", 0xFFFF, 5, short(y + 2), 60, 8));
    t.items.push_back(ComboBox(kLanguage, 70, y, 100, 80, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP));
    y += 20;
    for (std::size_t i = 0; i < button.m_arrNames.size(); ++i) {
        const bool multi = i < button.m_arrMultiLine.size() && button.m_arrMultiLine[i] != 0;
        const short height = multi ? 40 : 14;
        t.items.push_back(RText(ShortName(button.m_arrNames[i]), UINT(kFirstCaption + i), 5, short(y + 2), 60, 8));
        t.items.push_back(EditText(UINT(kFirstText + i), 70, y, 205, height,
                                   WS_TABSTOP | WS_BORDER |
                                       (multi ? ES_MULTILINE | ES_WANTRETURN | WS_VSCROLL | ES_AUTOVSCROLL : ES_AUTOHSCROLL)));
        y = short(y + height + 5);
    }
    t.items.push_back(DefPushButton(L"OK", IDOK, 170, y, 50, 14, WS_TABSTOP));
    t.items.push_back(PushButton(L"Abbrechen", IDCANCEL, 225, y, 50, 14, WS_TABSTOP));
    t.cy = short(y + 20);
    RegisterDialogTemplate(Module(), std::move(t));
}

}  // namespace

BOOL CQvLabelButton::AttachButton(UINT id, CWnd* parent, long lFkID, LPCWSTR labelNames, UINT textId) {
    if (!parent || !SubclassDlgItem(id, parent)) return FALSE;
    m_lFkID = lFkID;
    m_nTextID = textId;
    m_arrNames.clear();
    CString names = labelNames ? labelNames : L"";
    for (int start = 0; start <= names.GetLength();) {
        int end = names.Find(L';', start);
        if (end < 0) end = names.GetLength();
        CString name = names.Mid(start, end - start);
        name.Trim();
        if (!name.IsEmpty()) m_arrNames.push_back(name);
        start = end + 1;
    }
    SetWindowText(L"...");
    return TRUE;
}

void CQvLabelButton::SetMultiLine(LPCWSTR kinds) {
    m_arrMultiLine.clear();
    CString text = kinds ? kinds : L"";
    for (int start = 0; start < text.GetLength();) {
        int end = text.Find(L';', start);
        if (end < 0) end = text.GetLength();
        m_arrMultiLine.push_back(int(std::wcstol(text.Mid(start, end - start).GetString(), nullptr, 10)));
        start = end + 1;
    }
}

INT_PTR CQvLabelButton::ShowLabelDialog() {
    if (m_lFkID == 0 || m_arrNames.empty()) return IDCANCEL;
    RegisterLabelDialog(*this);
    CQvLabelDlg dlg(*this, GetParent());
    return dlg.DoModal();
}

CString CQvLabelButton::GetToolTipText() const { return L"Übersetzungen bearbeiten"; }
