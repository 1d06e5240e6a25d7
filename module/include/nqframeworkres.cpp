// The dialog framework's resources, registered when the library loads.
#include "nqframeworkres.h"

#include "qvimageview.h"
#include "qvui.h"
#include "resource.h"
#include "strtable.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>

namespace {

// Its address names the library to the resource tables.
char g_frameworkModuleTag;

// The edit-state pictures, 16 by 16: a grey dot (unchanged), a pencil (editing), a padlock (locked
// by another user) and a red cross (deleted).
QImage StateBitmap(UINT id) {
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    switch (id) {
    case IDB_NQ_STATE_UNCHANGED:
        p.setBrush(QColor(0x90, 0xA0, 0x90));
        p.setPen(QColor(0x50, 0x60, 0x50));
        p.drawEllipse(QRectF(3.5, 3.5, 9, 9));
        break;
    case IDB_NQ_STATE_EDITING: {
        p.setPen(QPen(QColor(0x20, 0x20, 0x20), 1));
        p.setBrush(QColor(0xF0, 0xC0, 0x20));
        QPainterPath pencil;
        pencil.moveTo(3, 13);
        pencil.lineTo(4, 10);
        pencil.lineTo(11, 3);
        pencil.lineTo(13, 5);
        pencil.lineTo(6, 12);
        pencil.closeSubpath();
        p.drawPath(pencil);
        break;
    }
    case IDB_NQ_STATE_LOCKED:
        p.setPen(QPen(QColor(0x60, 0x10, 0x10), 1.5));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(5, 2, 6, 8), 0, 180 * 16);
        p.drawLine(QPointF(5, 6), QPointF(5, 8));
        p.drawLine(QPointF(11, 6), QPointF(11, 8));
        p.setBrush(QColor(0xC0, 0x20, 0x20));
        p.drawRect(QRectF(3.5, 7.5, 9, 7));
        break;
    case IDB_NQ_STATE_DELETED:
        p.setPen(QPen(QColor(0xD0, 0x10, 0x10), 2.5));
        p.drawLine(QPointF(3, 3), QPointF(13, 13));
        p.drawLine(QPointF(13, 3), QPointF(3, 13));
        break;
    default: break;
    }
    return image;
}

struct Registrar {
    Registrar() {
        const HINSTANCE module = NQFrameworkModuleHandle();
        qv::RegisterStringTable(module, {
            {IDS_NQ_RECORD_CHANGED, L"Die Daten wurden verändert!"},
            {IDS_NQ_RECORD_LOCKED, L"Die Daten sind gesperrt durch: '%s'"},
            {IDS_NQ_CHANGED_MEANWHILE, L"Ein anderer Benutzer hat diese Daten inzwischen geändert. Sie werden so "
                                       L"angezeigt, wie sie jetzt gespeichert sind.\nBitte geben Sie Ihre Änderung "
                                       L"nochmals ein."},
            {IDS_NQ_RECORD_DELETED, L"Der Datensatz wurde gelöscht!"},
            {IDS_NQ_TABSERVER_NOT_REGISTERED, L"TabWindow Server %s nicht registriert!"},
            {IDS_NQ_RECORD_UNCHANGED, L"Die Daten sind unverändert"},
            {IDS_NQ_LOAD_MODULE, L"Lade Modul "},
            {IDS_NQ_INIT_MODULE, L"Initialisiere Modul "},
            {IDS_NQ_CREATE_MODULE, L"Erstelle Modul "},
            {IDS_NQ_CONFIRM_SAVE, L"Sie haben die Daten geändert!\nWollen Sie die Änderungen speichern?"},
            {IDS_NQ_SAVING, L"Die Daten werden gespeichert..."},
            {IDS_NQ_QUIT_NOT_SAVED, L"Die Daten konnten nicht gespeichert werden. Das Programm bleibt offen, damit "
                                    L"Ihre Änderungen nicht verloren gehen."},
            {IDS_NQ_REFRESH_FAILED, L"Die Anzeige konnte nicht aktualisiert werden"},
            {IDS_NQ_PAGE_FAILED, L"Die Seite konnte nicht angezeigt werden."},
            {IDS_NQ_SAVE_FAILED, L"Die Daten konnten nicht gespeichert werden."},
            {ID_NQ_REFRESH_VIEW, L"Die Daten werden neu geladen und angezeigt\nAnsicht aktualisieren\nRefreshView\n12"},
            {ID_NQ_ONLINE_HELP, L"OnlineHelp - Einstiegsseite anzeigen\nOnlineHelp - Einstiegsseite anzeigen\n"
                                L"ShowOnlineHelp\n5"},
            {ID_NQ_CONTEXT_HELP, L"OnlineHelp - Kontextspezifische Seite anzeigen\nOnlineHelp - Kontextspezifische "
                                 L"Seite anzeigen\nShowOnlineKontextHelp\n6"},
        });

        using namespace qv::ui;
        CQvImageViewCtrl::RegisterClass();
        DialogTemplate parent;
        parent.id = IDD_NQ_PARENTDLG;
        parent.cx = 420;
        parent.cy = 280;
        parent.style = WS_CHILD | DS_CONTROL;
        parent.items = {
            Control(L"", IDC_NQ_ICON_EDIT, L"Static", SS_BITMAP | SS_CENTERIMAGE | WS_VISIBLE, 4, 4, 12, 12),
            Control(L"", IDC_NQ_ICON_DOCMNGMT, L"Static", SS_BITMAP | SS_CENTERIMAGE | SS_NOTIFY | WS_VISIBLE, 20, 4,
                    12, 12),
            Control(L"", IDC_NQ_LOGO, QVIMAGEVIEW_CLASSNAME, 0, 360, 2, 56, 24),
        };
        RegisterDialogTemplate(module, parent);

        RegisterMenu(module, IDR_NQ_MENU_VIEW,
                     {{0, L"&Ansicht\nView\n20", MF_POPUP,
                       {{0, L"", MF_SEPARATOR, {}}, {ID_NQ_REFRESH_VIEW, L"Ansicht &aktualisieren\tF5", 0, {}}}}});
        RegisterMenu(module, IDR_NQ_MENU_HELP,
                     {{0, L"&Hilfe\nHelp\n100", MF_POPUP,
                       {{0, L"", MF_SEPARATOR, {}},
                        {ID_NQ_ONLINE_HELP, L"Online&Help - Einstiegsseite anzeigen...", 0, {}},
                        {ID_NQ_CONTEXT_HELP, L"OnlineHelp - &Kontextspezifische Seite anzeigen...\tF1", 0, {}}}}});

        for (UINT id : {IDB_NQ_STATE_DELETED, IDB_NQ_STATE_UNCHANGED, IDB_NQ_STATE_EDITING, IDB_NQ_STATE_LOCKED})
            RegisterBitmap(module, id, StateBitmap(id));
    }
    ~Registrar() { qv::UnregisterStringTable(NQFrameworkModuleHandle()); }
};

}  // namespace

HINSTANCE NQFrameworkModuleHandle() { return reinterpret_cast<HINSTANCE>(&g_frameworkModuleTag); }

CString NQLoadString(UINT nID) {
    std::wstring text;
    if (!qv::LookupString(AfxGetResourceHandle(), nID, text)) qv::LookupString(NQFrameworkModuleHandle(), nID, text);
    return CString(text.c_str());
}

CNQModuleState::CNQModuleState(HINSTANCE hResource)
    : m_hPrevious(AfxGetResourceHandle()), m_bSwitched(hResource != nullptr) {
    if (m_bSwitched) AfxSetResourceHandle(hResource);
}

CNQModuleState::~CNQModuleState() {
    if (m_bSwitched) AfxSetResourceHandle(m_hPrevious);
}

namespace {
Registrar g_registrar;
}
