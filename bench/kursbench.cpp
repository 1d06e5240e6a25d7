#include "kursbench.h"

#include "demodata.h"
#include "framestartup.h"
#include "ikursinstanz.h"
#include "sqlitedb.h"
#include "suitedb.h"
#include "uidriver.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace kursbench {

void Die(const std::string& why) {
    std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, why.c_str());
    std::exit(1);
}

void Exec(sqlite3* db, const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) Die(error ? error : sql);
}

long FirstKursID(sqlite3* db) {
    long lKursID = 0;
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "SELECT lKursID FROM Kurs ORDER BY lKursID LIMIT 1", -1, &stmt, nullptr);
    if (stmt && sqlite3_step(stmt) == SQLITE_ROW) lKursID = sqlite3_column_int(stmt, 0);
    sqlite3_finalize(stmt);
    if (lKursID == 0) Die("the demo database has no courses");
    return lKursID;
}

void FillArchive(sqlite3* db, long lKursID, long persons, long registrations) {
    const std::string kurs = std::to_string(lKursID);
    Exec(db, "DELETE FROM PersonKurs WHERE lKursID = " + kurs);
    Exec(db, "DELETE FROM CustFieldValue WHERE guid = 'd4d67d85-dc7a-4f2b-ad40-b0f4bbec5e7d'");
    Exec(db, "INSERT INTO CustFieldValue (guid, lCFTypeID, lID, strValue) VALUES "
             "('d4d67d85-dc7a-4f2b-ad40-b0f4bbec5e7d', -1, -1, '6')");
    Exec(db, "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < " + std::to_string(persons - 1) +
                 ") INSERT INTO Person (lPersonID, lMandantID, strName, strVorname, lOrtID, fWeiblich, fActive) "
                 "SELECT 900000 + i, (SELECT min(lMandantID) FROM Mandant), 'Archiv' || i, 'Vorname', "
                 "(SELECT max(lOrtID) FROM Ort), i % 2, 1 FROM n");
    Exec(db, "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                 std::to_string(registrations - 1) + ") INSERT INTO PersonKurs (lPersonKursID, lPersonID, lKursID, "
                 "lKursinstanzID, lStatus, dtDatum, dtAnmeldung, fTeilnehmer) SELECT 2000000 + i, 900000 + i % " +
                 std::to_string(persons) + ", " + kurs + ", -1, CASE i % 4 WHEN 0 THEN 1 WHEN 1 THEN 2 WHEN 2 THEN 5 "
                 "ELSE 6 END, printf('%04d-05-01 00:00:00', 2000 + i % 20), printf('%04d-04-01 00:00:00', 2000 + i % "
                 "20), CASE WHEN i % 10 = 0 THEN 0 ELSE 1 END FROM n");
}

void AcceptingInteraction::ShowReport(const qv::ReportRequest& r) {
    if (m_bPrintReports) std::fprintf(stderr, "%s: report %ls\n", program_invocation_short_name, r.text.c_str());
}

void PrepareDemo(const char* tmpl, qv::IInteraction& interaction, const std::function<void(sqlite3*)>& fill) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static std::string folder;
    folder = tmpl;
    if (!mkdtemp(folder.data())) Die("no temporary folder");
    // The demo database and its registry go with the program, however it ends.
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    });
    setenv("QV_REGISTRY", (folder + "/registry.db").c_str(), 1);
    setenv("XDG_DATA_HOME", (folder + "/data").c_str(), 1);
    if (!qv::ui::EnsureApplication()) Die("no window system");
    qv::SetInteraction(&interaction);
    qv::suite::InstallSuiteDatabase();
    const std::string database = folder + "/demo.sqlite";
    {
        qv::sql::SqliteDb db;
        if (db.Open("sqlite:" + database) != SQLITE_OK) Die(db.LastError().description);
        std::string error;
        if (qv::suite::CreateSchema(db.Handle(), &error) != SQLITE_OK) Die(error);
        if (qv::suite::GenerateDemoData(db.Handle(), 1, &error) != SQLITE_OK) Die(error);
        Exec(db.Handle(), "UPDATE DataExchange SET fOnlineKursEnabled = 0");
        fill(db.Handle());
        Exec(db.Handle(), "PRAGMA wal_checkpoint(TRUNCATE)");
    }
    QvFrameConfigure(database, false);
    std::vector<std::string> libraries = QvFrameServerLibraries();
    for (const std::string& module : QvFrameModuleLibraries()) libraries.push_back(module);
    for (const auto& [path, hr] : QvFrameRegisterLibraries(libraries))
        Die("cannot register " + path + " (" + std::to_string(hr) + ")");
}

CQvFrameHost* StartFrame() {
    auto* host = new CQvFrameHost;
    if (FAILED(host->RegisterAsFrame())) Die("the frame cannot register");
    QvFrameStartServers(*host, "Administrator");
    return host;
}

void StopFrame(CQvFrameHost* host) {
    host->CloseAll();
    host->InternalRelease();
    qv::ui::test::Pump();
}

void CreatePane(CWnd& pane) {
    if (!pane.CreateEx(0, AfxRegisterWndClass(0), L"Kurse", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 1000, 700, nullptr,
                       nullptr))
        Die("no pane");
}

CKursDlg* ShowKursView(CQvFrameHost& host, CWnd& pane) {
    if (FAILED(host.OpenView(KURSVIEW_PROGID))) Die("the course view cannot be opened");
    if (FAILED(host.ActivateView(KURSVIEW_PROGID, pane.GetSafeHwnd(), RECT{0, 0, 1000, 700})))
        Die("the course view cannot be shown");
    CKursDlg* pDlg = nullptr;
    for (CWnd* p = pane.GetWindow(GW_CHILD); p && !pDlg; p = p->GetWindow(GW_HWNDNEXT))
        pDlg = dynamic_cast<CKursDlg*>(p);
    if (!pDlg) Die("no course dialog");
    return pDlg;
}

void CloseKursView(CQvFrameHost* host, CWnd& pane) {
    host->CloseView(KURSVIEW_PROGID);
    qv::ui::test::Pump();
    pane.DestroyWindow();
    StopFrame(host);
}

CKursDlg* KursWindow::Show(long lKursID, long lKursinstanzID) {
    host = StartFrame();
    CreatePane(pane);
    CKursDlg* pDlg = ShowKursView(*host, pane);
    pDlg->Navigate(lKursID, lKursinstanzID);
    qv::ui::test::Pump();
    return pDlg;
}

int RunBenchmarks(int argc, char** argv, void (*tearDown)()) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    tearDown();
    return 0;
}

}  // namespace kursbench
