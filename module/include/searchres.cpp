// The record search's German strings, dialog templates and row images, registered when the
// library loads.
#include "searchres.h"

#include "listctrl.h"
#include "resource.h"
#include "searchresource.h"
#include "treectrl.h"

#include <QImage>
#include <QPainter>

namespace {

// Its address names the search to the resource tables.
char g_searchModuleTag;

// Folder images for the course types: the federal folder with a cross, one folder per canton
// (even index, each followed by an open variant) in a colour of its own, and a plain folder.
QImage KursTypImages() {
    const int count = 55;
    QImage strip(16 * count, 16, QImage::Format_RGB32);
    strip.fill(Qt::white);
    QPainter p(&strip);
    auto folder = [&](int index, QColor color, bool open) {
        const int x = index * 16;
        p.setPen(QColor(90, 70, 20));
        p.setBrush(QColor(240, 200, 90));
        p.drawRect(x + 1, 4, 13, 10);
        p.drawRect(x + 1, 2, 6, 2);
        if (open) p.drawLine(x + 1, 14, x + 4, 7);
        if (color.isValid()) {
            p.setPen(Qt::NoPen);
            p.setBrush(color);
            p.drawRect(x + 5, 6, 7, 7);
        }
    };
    folder(0, QColor(220, 0, 0), false);
    p.setPen(QPen(Qt::white, 2));
    p.drawLine(8, 8, 8, 12);
    p.drawLine(6, 10, 10, 10);
    for (int canton = 0; canton < 26; ++canton) {
        const QColor arms = QColor::fromHsv((canton * 37) % 360, 200, 200);
        folder(2 + 2 * canton, arms, false);
        folder(3 + 2 * canton, arms, true);
    }
    folder(1, QColor(220, 0, 0), true);
    folder(54, QColor(), false);
    return strip;
}

// Contact rows: a plain card and a card with a user head (the contact is a user of the system).
QImage ContactImages() {
    QImage strip(32, 16, QImage::Format_RGB32);
    strip.fill(Qt::white);
    QPainter p(&strip);
    for (int i = 0; i < 2; ++i) {
        p.setPen(QColor(60, 60, 60));
        p.setBrush(QColor(235, 235, 250));
        p.drawRect(i * 16 + 1, 3, 13, 10);
    }
    p.setBrush(QColor(40, 110, 200));
    p.drawEllipse(16 + 5, 4, 5, 5);
    p.drawRect(16 + 4, 9, 7, 3);
    return strip;
}

struct Registrar {
    Registrar() {
        const HINSTANCE module = SearchModuleHandle();
        qv::RegisterStringTable(module, {
            {IDS_SEARCH_TAB_PERSON, L"Person"},
            {IDS_SEARCH_TAB_ORGANISATION, L"Organisation"},
            {IDS_SEARCH_TAB_ARBEITSPLAN, L"Arbeitsplan"},
            {IDS_SEARCH_NEWCONTACT, L"Neuer Kontakt hinzufügen..."},
            {IDS_SEARCH_CONTACTFROMPERSON, L"Kontakt aus Persondaten hinzufügen..."},
            {IDS_SEARCH_DATALOCKED, L"Die Daten sind gesperrt von '%s'.\nBitte versuchen Sie es später nochmals!"},
            {IDS_SEARCH_FILTER_TIP, L"Öffnet ein Fenster zum Ändern der Filtereinstellungen."},
            {IDS_SEARCH_CAPTION, L"Daten suchen"},
            {IDS_SEARCH_PERSON, L"Person suchen"},
            {IDS_SEARCH_DOKUMENT, L"Dokumente suchen"},
            {IDS_SEARCH_ARTIKEL, L"Artikel suchen"},
            {IDS_SEARCH_WARTUNGSPLAN, L"Wartungsplan suchen"},
            {IDS_SEARCH_ABRECHNUNG, L"Abrechnung suchen"},
            {IDS_SEARCH_AGENDA, L"Agenda suchen"},
            {IDS_SEARCH_DEVICE, L"Gerät suchen"},
            {IDS_SEARCH_EINSATZ, L"Aktivität suchen"},
            {IDS_SEARCH_CONTACT, L"Kontakt suchen"},
            {IDS_SEARCH_ARBEITSPLAN, L"Arbeitsplan suchen"},
            {IDS_SEARCH_KURS, L"Kurs/Austragung suchen"},
            {IDS_SEARCH_GEMEINDE, L"Gemeinde suchen"},
            {IDS_SEARCH_AREA, L"Gebiet suchen"},
            {IDS_SEARCH_MANDANT, L"Mandant suchen"},
            {IDS_SEARCH_GRUPPE, L"Gruppe suchen"},
            {IDS_SEARCH_RUNNING, L"die Daten werden gesucht und angezeigt..."},
            {IDS_SEARCH_MORE, L"weitere Daten sind vorhanden!"},
            {IDS_SEARCH_COL_PERSON + 0, L"Personalnummer"},
            {IDS_SEARCH_COL_PERSON + 1, L"Rang"},
            {IDS_SEARCH_COL_PERSON + 2, L"Dienstgrad"},
            {IDS_SEARCH_COL_PERSON + 3, L"Name"},
            {IDS_SEARCH_COL_PERSON + 4, L"Adresse"},
            {IDS_SEARCH_COL_PERSON + 5, L"Wohnort"},
            {IDS_SEARCH_COL_PERSON + 6, L"Rufnummern"},
            {IDS_SEARCH_COL_PERSON + 7, L"Eigene Daten"},
            {IDS_SEARCH_COL_PERSON + 8, L"Mandant"},
            {IDS_SEARCH_COL_KURS + 0, L"Typ"},
            {IDS_SEARCH_COL_KURS + 1, L"Kurs"},
            {IDS_SEARCH_COL_KURS + 2, L"Austragung"},
            {IDS_SEARCH_COL_KURS + 3, L"Datum"},
            {IDS_SEARCH_COL_KURS + 4, L"Kursdauer"},
            {IDS_SEARCH_COL_KURS + 5, L"Kursort"},
            {IDS_SEARCH_COL_KURS + 6, L"Kursleitung"},
            {IDS_SEARCH_COL_KURS + 7, L"Eigene Daten"},
            {IDS_SEARCH_COL_GEMEINDE + 0, L"Gemeinde"},
            {IDS_SEARCH_COL_GEMEINDE + 1, L"Kanton"},
            {IDS_SEARCH_COL_AREA + 0, L"Kurzbezeichnung"},
            {IDS_SEARCH_COL_AREA + 1, L"Bezeichnung"},
            {IDS_SEARCH_COL_AREA + 2, L"Gebietsart"},
            {IDS_SEARCH_COL_AREA + 3, L"Eigene Daten"},
            {IDS_SEARCH_COL_MANDANT + 0, L"Name"},
            {IDS_SEARCH_COL_MANDANT + 1, L"Typ"},
            {IDS_SEARCH_COL_MANDANT + 2, L"Ort"},
            {IDS_SEARCH_COL_MANDANT + 3, L"Eigene Daten"},
            {IDS_SEARCH_COL_ARBEITSPLAN + 0, L"Tätigkeit"},
            {IDS_SEARCH_COL_ARBEITSPLAN + 1, L"Name"},
            {IDS_SEARCH_COL_ARBEITSPLAN + 2, L"Adresse"},
            {IDS_SEARCH_COL_ARBEITSPLAN + 3, L"Ort"},
            {IDS_SEARCH_COL_CONTACT + 0, L"Name"},
            {IDS_SEARCH_COL_CONTACT + 1, L"Firma"},
            {IDS_SEARCH_COL_CONTACT + 2, L"Adresse"},
            {IDS_SEARCH_COL_CONTACT + 3, L"Ort"},
            {IDS_SEARCH_COL_CONTACT + 4, L"Rufnummern"},
            {IDS_SEARCH_COL_CONTACT + 5, L"Bemerkung"},
            {IDS_SEARCH_COL_CONTACT + 6, L"Kategorie"},
        });

        using namespace qv::ui;
        DialogTemplate search;
        search.id = IDD_SEARCH;
        search.cx = 200;
        search.cy = 99;
        search.style = DS_CONTROL | DS_SHELLFONT | WS_CHILD;
        const DWORD list = LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_BORDER | WS_TABSTOP;
        search.items = {
            EditText(IDC_SEARCH_TEXT, 2, 2, 178, 12, ES_AUTOHSCROLL | WS_TABSTOP | WS_BORDER),
            PushButton(L"", IDC_SEARCH_FILTER, 183, 2, 15, 12, WS_TABSTOP),
            LText(L"", IDC_SEARCH_STATUS, 2, 17, 66, 10),
            AutoCheckBox(L"Gross- / Kleinschreibung beachten ", IDC_SEARCH_CASESENSITIVE, 70, 16, 128, 10, WS_TABSTOP),
            Control(L"", IDC_SEARCH_LIST, L"SysListView32", list, 2, 29, 180, 68),
            Control(L"", IDC_SEARCH_LIST_UNSORTED, L"SysListView32", list | LVS_NOSORTHEADER, 2, 29, 180, 68),
            PushButton(L"", IDC_SEARCH_MENU, 184, 29, 14, 14, WS_TABSTOP),
        };
        RegisterDialogTemplate(module, search);

        DialogTemplate popup;
        popup.id = IDD_SEARCHPOPUP;
        popup.caption = L"Daten suchen";
        popup.cx = 420;
        popup.cy = 250;
        popup.style = DS_MODALFRAME | DS_SHELLFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME;
        popup.items = {
            LText(L"StaticPlaceholder", IDC_SEARCH_PLACEHOLDER, 3, 3, 414, 220),
            PushButton(L"", IDC_SEARCH_HELP, 7, 230, 16, 14, WS_TABSTOP),
            DefPushButton(L"OK", IDOK, 308, 230, 50, 14, WS_TABSTOP),
            PushButton(L"Abbrechen", IDCANCEL, 363, 230, 50, 14, WS_TABSTOP),
        };
        RegisterDialogTemplate(module, popup);

        DialogTemplate tab;
        tab.id = IDD_SEARCHTAB;
        tab.cx = 300;
        tab.cy = 200;
        tab.style = DS_CONTROL | DS_SHELLFONT | WS_CHILD;
        tab.items = {
            Control(L"", IDC_SEARCH_ORGTREE, L"SysTreeView32",
                    TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_CHECKBOXES | TVS_SHOWSELALWAYS | WS_BORDER |
                        WS_TABSTOP,
                    0, 0, 300, 200),
        };
        RegisterDialogTemplate(module, tab);

        DialogTemplate plan;
        plan.id = IDD_SEARCHPERSONARBEITSPLAN;
        plan.cx = 300;
        plan.cy = 200;
        plan.style = DS_CONTROL | DS_SHELLFONT | WS_CHILD;
        plan.items = {
            Control(L"", IDC_ARBEITSPLAN_LIST, L"SysListView32",
                    LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_BORDER | WS_TABSTOP, 0, 0, 300, 60),
            Control(L"", IDC_ARBEITSPLAN_PERSONLIST, L"SysListView32",
                    LVS_REPORT | LVS_SHOWSELALWAYS | WS_BORDER | WS_TABSTOP, 0, 62, 300, 138),
        };
        RegisterDialogTemplate(module, plan);

        RegisterBitmap(module, IDB_SEARCH_KURSTYP, KursTypImages());
        RegisterBitmap(module, IDB_SEARCH_CONTACT, ContactImages());
    }
};
Registrar g_registrar;

}  // namespace

HINSTANCE SearchModuleHandle() { return reinterpret_cast<HINSTANCE>(&g_searchModuleTag); }

CString SearchLoadString(UINT id) {
    CString text;
    if (text.LoadString(id)) return text;
    std::wstring own;
    if (qv::LookupString(SearchModuleHandle(), id, own)) return CString(own.c_str());
    return CString();
}

CSearchResourceScope::CSearchResourceScope() : m_hPrevious(AfxGetResourceHandle()) {
    AfxSetResourceHandle(SearchModuleHandle());
}

CSearchResourceScope::~CSearchResourceScope() { AfxSetResourceHandle(m_hPrevious); }
