#include "framestartpage.h"
#include "framestartup.h"
#include "framewindow.h"
#include "qvadoconnection.h"
#include "qvadorecordset.h"
#include "qvhrtrace.h"

#include <QFont>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
QString Q(const CString& s) { return QString::fromStdWString(s.wstr()); }
}  // namespace

QString QvFrameServerTitle(const CString& strProgID) {
    static const struct {
        const wchar_t* progId;
        const char* title;
    } titles[] = {
        {L"Qovaro.QvDBServer", "Datenbank"},       {L"Qovaro.QvDataLogger", "Datenprotokoll"},
        {L"Qovaro.QvEventServer", "Ereignisse"},   {L"Qovaro.NQ2.OptionServer", "Optionen"},
        {L"Qovaro.NQ2.UserLog", "Benutzerprotokoll"}, {L"Qovaro.QvSecServer", "Sicherheit"},
        {L"Qovaro.QvHelpServer", "Hilfe"},         {L"Qovaro.QvScheduler", "Zeitplaner"},
        {L"Qovaro.QvWebServer", "Webserver"},      {L"Qovaro.QvReportServer", "Berichte"},
        {L"Qovaro.NQ2.DocMngmt", "Dokumente"},
    };
    for (const auto& t : titles)
        if (strProgID.CompareNoCase(t.progId) == 0) return QString::fromUtf8(t.title);
    return Q(strProgID);
}

QString QvFrameDataSummary(bool* pbRead) {
    if (pbRead) *pbRead = false;
    static const struct {
        const wchar_t* table;
        const char* one;
        const char* many;
    } counts[] = {
        {L"Mandant", "Organisation", "Organisationen"}, {L"Person", "Person", "Personen"},
        {L"Kurs", "Kurs", "Kurse"},                     {L"Kursinstanz", "Austragung", "Austragungen"},
        {L"PersonKurs", "Anmeldung", "Anmeldungen"},
    };
    // Read quietly: the start page says when the database cannot be read.
    CQvADOConnection connection;
    if (FAILED(connection.Open(L"Qovaro.NQ2", 0))) return QString::fromUtf8("nicht lesbar");
    QStringList parts;
    for (const auto& c : counts) {
        CQvADORecordset rs(&connection);
        long lCount = -1;
        BOOL bEOF = TRUE;
        if (FAILED(rs.OpenSQL(CString(L"SELECT count(*) AS lCount FROM ") + c.table, 0, 1)) || FAILED(rs.IsEOF(&bEOF)) ||
            bEOF || FAILED(rs.GetFieldValue(L"lCount", &lCount)))
            continue;
        parts << QString::fromUtf8("%1 %2").arg(lCount).arg(QString::fromUtf8(lCount == 1 ? c.one : c.many));
    }
    connection.Close(0);
    if (pbRead) *pbRead = !parts.isEmpty();
    return parts.isEmpty() ? QString::fromUtf8("nicht lesbar") : parts.join(QString::fromUtf8(", "));
}

QStringList QvFrameMissingSettings() {
    static const struct {
        const wchar_t* condition;
        const char* text;
    } settings[] = {
        // Months after its date that a registration belongs to the course archive.
        {L"guid = 'd4d67d85-dc7a-4f2b-ad40-b0f4bbec5e7d' AND lCFTypeID = -1 AND lID = -1",
         "Archivalter der Kursanmeldungen (Monate, CustFieldValue 'd4d67d85-dc7a-4f2b-ad40-b0f4bbec5e7d') fehlt: "
         "die Kursarchive bleiben leer"},
    };
    QStringList missing;
    CQvADOConnection connection;
    if (FAILED(connection.Open(L"Qovaro.NQ2", 0))) return missing;
    for (const auto& s : settings) {
        CQvADORecordset rs(&connection);
        long lCount = -1;
        BOOL bEOF = TRUE;
        if (FAILED(rs.OpenSQL(CString(L"SELECT count(*) AS lCount FROM CustFieldValue WHERE ") + s.condition, 0, 1)) ||
            FAILED(rs.IsEOF(&bEOF)) || bEOF || FAILED(rs.GetFieldValue(L"lCount", &lCount)))
            continue;
        if (lCount == 0) missing << QString::fromUtf8(s.text);
    }
    connection.Close(0);
    return missing;
}

CQvFrameStartPage::CQvFrameStartPage(CQvFrameHost* pHost, const QvFrameSettings& settings, QWidget* parent)
    : QWidget(parent), m_pHost(pHost) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 18, 24, 18);
    layout->setSpacing(12);

    auto* title = new QLabel(QString::fromUtf8("Kursadministration"), this);
    QFont big = title->font();
    if (big.pointSizeF() > 0)
        big.setPointSizeF(big.pointSizeF() * 1.8);
    else
        big.setPixelSize(qMax(big.pixelSize(), 12) * 9 / 5);
    big.setBold(true);
    title->setFont(big);
    layout->addWidget(title);
    auto* subtitle = new QLabel(
        QString::fromUtf8("Kurse, Austragungen, Anmeldungen und Planung der Feuerwehren. "
                          "Wählen Sie links eine Ansicht oder öffnen Sie über das Menü die Einstellungen."),
        this);
    subtitle->setWordWrap(true);
    layout->addWidget(subtitle);

    auto* session = new QGroupBox(QString::fromUtf8("Sitzung"), this);
    auto* sessionLayout = new QVBoxLayout(session);
    m_pSummary = new QLabel(session);
    m_pSummary->setTextFormat(Qt::RichText);
    const QString summary = QvFrameDataSummary(&m_bDatabaseRead);
    QString missing;
    if (m_bDatabaseRead)
        for (const QString& setting : QvFrameMissingSettings())
            missing += QString::fromUtf8("<tr><td><b>Fehlende Einstellung:</b></td><td>%1</td></tr>")
                           .arg(setting.toHtmlEscaped());
    QString database = settings.database.toHtmlEscaped();
    if (settings.readOnly) database += QString::fromUtf8(" <i>(schreibgeschützt)</i>");
    m_pSummary->setText(QString::fromUtf8("<table cellspacing='4'>"
                                          "<tr><td><b>Benutzer:</b></td><td>%1</td></tr>"
                                          "<tr><td><b>Datenbank:</b></td><td>%2</td></tr>"
                                          "<tr><td><b>Installation:</b></td><td>%3</td></tr>"
                                          "<tr><td><b>Datenbestand:</b></td><td>%4</td></tr>%5</table>")
                            .arg(settings.user.isEmpty() ? QString::fromUtf8("(nicht angemeldet)")
                                                         : settings.user.toHtmlEscaped(),
                                 database,
                                 settings.central ? QString::fromUtf8("Zentrale Installation")
                                                  : QString::fromUtf8("Lokale Installation"),
                                 summary.toHtmlEscaped(), missing));
    sessionLayout->addWidget(m_pSummary);
    // Objects someone else put into the database run inside the suite's statements: named here.
    if (!QvFrameForeignObjects().empty()) {
        QStringList objects;
        for (const std::string& object : QvFrameForeignObjects()) objects << QString::fromStdString(object).toHtmlEscaped();
        auto* foreign = new QLabel(session);
        foreign->setObjectName(QString::fromUtf8("foreignObjects"));
        foreign->setTextFormat(Qt::RichText);
        foreign->setWordWrap(true);
        foreign->setText(QString::fromUtf8("<b>Achtung:</b> Die Datenbank enthält Objekte, die nicht zur "
                                           "Kursadministration gehören und bei ihren Buchungen mitlaufen: %1")
                             .arg(objects.join(QString::fromUtf8(", "))));
        sessionLayout->addWidget(foreign);
    }
    layout->addWidget(session);

    auto* services = new QGroupBox(QString::fromUtf8("Dienste"), this);
    auto* servicesLayout = new QVBoxLayout(services);
    m_pServers = new QTreeWidget(services);
    m_pServers->setHeaderLabels({QString::fromUtf8("Dienst"), QString::fromUtf8("Kennung"), QString::fromUtf8("Zustand")});
    m_pServers->setRootIsDecorated(false);
    m_pServers->header()->setStretchLastSection(true);
    servicesLayout->addWidget(m_pServers);
    layout->addWidget(services, 3);

    auto* modules = new QGroupBox(QString::fromUtf8("Module"), this);
    auto* modulesLayout = new QVBoxLayout(modules);
    m_pViews = new QTreeWidget(modules);
    m_pViews->setHeaderLabels({QString::fromUtf8("Ansicht"), QString::fromUtf8("Gruppe"), QString::fromUtf8("Kennung")});
    m_pViews->setRootIsDecorated(false);
    modulesLayout->addWidget(m_pViews);
    layout->addWidget(modules, 2);
    Refresh();
}

void CQvFrameStartPage::Refresh() {
    m_pServers->clear();
    const QIcon running = style()->standardIcon(QStyle::SP_DialogApplyButton);
    const QIcon failed = style()->standardIcon(QStyle::SP_MessageBoxWarning);
    for (const CString& strProgID : m_pHost->RunningServers()) {
        // The database server runs, but a database it cannot read is no working service.
        const bool bFailed = !m_bDatabaseRead && strProgID.CompareNoCase(L"Qovaro.QvDBServer") == 0;
        auto* item = new QTreeWidgetItem(m_pServers, {QvFrameServerTitle(strProgID), Q(strProgID),
                                                      QString::fromUtf8(bFailed ? "Fehler: Datenbank nicht lesbar"
                                                                                : "läuft")});
        item->setIcon(0, bFailed ? failed : running);
    }
    for (const auto& [strProgID, hr] : m_pHost->FailedServers()) {
        auto* item = new QTreeWidgetItem(m_pServers, {QvFrameServerTitle(strProgID), Q(strProgID),
                                                      QString::fromUtf8("nicht verfügbar: %1").arg(Q(CrackHR(hr)))});
        item->setIcon(0, failed);
    }
    for (int c = 0; c < 2; ++c) m_pServers->resizeColumnToContents(c);

    m_pViews->clear();
    const QIcon view = style()->standardIcon(QStyle::SP_FileDialogDetailedView);
    for (const auto& v : m_pHost->Views()) {
        auto* item = new QTreeWidgetItem(m_pViews, {Q(v->strCaption), Q(v->strGroup), Q(v->strProgID)});
        item->setIcon(0, view);
    }
    if (m_pHost->Views().empty()) {
        auto* item = new QTreeWidgetItem(m_pViews, {QString::fromUtf8("Noch keine Modulansichten registriert"),
                                                    QString(), QString()});
        QFont italic = item->font(0);
        italic.setItalic(true);
        item->setFont(0, italic);
        item->setIcon(0, style()->standardIcon(QStyle::SP_MessageBoxInformation));
    }
    for (int c = 0; c < 2; ++c) m_pViews->resizeColumnToContents(c);
}
