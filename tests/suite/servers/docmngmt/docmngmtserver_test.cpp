// The document-management server in the test process on a fresh suite database: a dropped file
// becomes a document of the record as a copy (the file stays), refusals write nothing, the count
// of accounts and organisations spans the rows that share their GUID, and the documents dialog
// lists the record's documents.
#include "dialog.h"
#include "docmngmtint.h"
#include "qvadoconnection.h"
#include "qvadorecordset.h"
#include "qvcomserver.h"
#include "qvdbserverint.h"
#include "scripted.h"
#include "servertest.h"
#include "sqlitedb.h"
#include "suitedb.h"
#include "uidriver.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#ifdef QV_TEST_PG
#include "suiteschemapg.h"
namespace qvtest {
constexpr bool OnPg = true;
}
#else
namespace qvtest {
constexpr bool OnPg = false;
}
#endif

namespace {

namespace t = qv::ui::test;
constexpr UINT kDocumentsDialog = 30100;

class DocMngmtServer : public ::testing::Test {
protected:
    void SetUp() override {
        qv::ui::EnsureApplication();
        script.OnFailure([](const std::string& m) { ADD_FAILURE() << "interaction: " << m; });
        ASSERT_EQ(qvtest::RegisterModule(QV_DOCMNGMT_MODULE), S_OK);
        qv::suite::InstallSuiteDatabase();
#ifdef QV_TEST_PG
        // The default profile names a fresh database of the test cluster.
        database = std::make_unique<qvtest::PgTestDatabase>(qvtest::SuiteSchemaTemplatePg());
        ASSERT_EQ(pg.Open(database->url()), 0) << pg.LastError().description;
        ASSERT_TRUE(CQvRegistry::SetValue(L"Software\\Qovaro\\QvDBServer\\Qovaro.NQ2", L"DBConnection",
                                          CString(qv::FromUtf8(database->url()).c_str())));
#else
        std::filesystem::create_directories(std::filesystem::path(env.SuiteDatabase()).parent_path());
        ASSERT_EQ(db.Open("sqlite:" + env.SuiteDatabase()), SQLITE_OK);
        std::string error;
        ASSERT_EQ(qv::suite::CreateSchema(db.Handle(), &error), SQLITE_OK) << error;
#endif
        ASSERT_EQ(qv::servers::StartRunningServer(QVDBSERVER_PROGID), S_OK);
        ASSERT_EQ(qv::servers::StartRunningServer(QVDOCMNGMT_PROGID), S_OK);
        ASSERT_EQ(QueryCOMServer(QVDOCMNGMT_PROGID, IID_IDocMngmt, reinterpret_cast<void**>(&server)), S_OK);
    }
    void TearDown() override {
        if (server) server->Release();
        qv::servers::StopRunningServer(QVDOCMNGMT_PROGID);
        qv::servers::StopRunningServer(QVDBSERVER_PROGID);
        EXPECT_EQ(script.Pending(), 0u);
    }

    std::string File(const std::string& name, const std::string& bytes) {
        const std::string path = env.dir.file(name);
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    HRESULT Add(const std::string& path, long table, long record) {
        BSTR b = SysAllocString(qv::FromUtf8(path).c_str());
        const HRESULT hr = server->AddFile(b, 0, table, record, 0);
        SysFreeString(b);
        return hr;
    }
    // The count as the document icon reads it, through the system's own connection.
    long Count(long table, long record, BOOL withJournal = FALSE) {
        CQvADOConnection conn;
        EXPECT_EQ(conn.Open(L"Qovaro.NQ2", 0), S_OK);
        CQvADORecordset rs(&conn);
        long count = -1;
        EXPECT_EQ(rs.OpenSQL(DocMngmtCountStatement(table, record, withJournal), 0, 1), S_OK);
        EXPECT_EQ(rs.GetFieldValue(L"lCount", &count), S_OK);
        rs.Close();
        return count;
    }
    qvtest::ServerEnvironment env;

    // The first column of the first row (text or bytes), read past the server.
#ifdef QV_TEST_PG
    std::string Query(const std::string& sql) {
        qv::sql::PgRows rows;
        EXPECT_EQ(pg.Query(sql, &rows), 0) << pg.LastError().description << " in " << sql;
        if (rows.rows.empty()) return "<no row>";
        std::string v = rows.rows[0].at(0).value_or("");
        constexpr std::uint32_t kBytea = 17;
        if (rows.types.at(0) != kBytea || v.rfind("\\x", 0) != 0) return v;
        std::string bytes;
        for (std::size_t i = 2; i + 1 < v.size(); i += 2) bytes += char(std::stoi(v.substr(i, 2), nullptr, 16));
        return bytes;
    }
    void Exec(const std::string& sql) { ASSERT_EQ(pg.Exec(sql), 0) << pg.LastError().description; }

    std::unique_ptr<qvtest::PgTestDatabase> database;
    qv::sql::PgDb pg;
#else
    std::string Query(const std::string& sql) {
        sqlite3_stmt* stmt = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(db.Handle(), sql.c_str(), -1, &stmt, nullptr), SQLITE_OK) << sql;
        std::string v = "<no row>";
        if (stmt && sqlite3_step(stmt) == SQLITE_ROW)
            v.assign(static_cast<const char*>(sqlite3_column_blob(stmt, 0)), std::size_t(sqlite3_column_bytes(stmt, 0)));
        sqlite3_finalize(stmt);
        return v;
    }
    void Exec(const std::string& sql) { ASSERT_EQ(db.Exec(sql), SQLITE_OK) << db.LastError().description; }

    qv::sql::SqliteDb db;
#endif

    IDocMngmt* server = nullptr;
    qv::ScriptedInteraction script;
    qv::ScopedInteraction interaction{&script};
};

TEST_F(DocMngmtServer, AnAddedFileIsACopyAndTheFileStays) {
    const std::string bytes("%PDF-1.4\0\x01\xff binary \0 tail", 26);
    const std::string path = File("Übungsbericht d'Atemschutz.pdf", bytes);
    ASSERT_EQ(Add(path, 39, 7), S_OK);
    EXPECT_TRUE(std::filesystem::exists(path)) << "the file the user dropped stays";
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), bytes) << "and is unchanged";
    const std::string join = " FROM DocImage i JOIN DocMngmt d ON d.lDocImageID = i.lDocImageID WHERE d.lTableID = 39 "
                             "AND d.lFkID = 7";
    EXPECT_EQ(Query("SELECT i.imgDocument" + join), bytes) << "the document holds every byte";
    EXPECT_EQ(Query("SELECT i.strFileName" + join), "Übungsbericht d'Atemschutz.pdf");
    EXPECT_EQ(Count(39, 7), 1);
    ASSERT_EQ(Add(File("leer.txt", ""), 39, 7), S_OK) << "an empty file is a document too";
    EXPECT_EQ(Count(39, 7), 2);
    EXPECT_EQ(Count(42, 7), 0) << "another table's record";
}

TEST_F(DocMngmtServer, WhatIsNoDocumentIsRefusedAndNothingWritten) {
    const std::string file = File("a.txt", "x");
    const struct {
        std::string path;
        long table, record;
    } cases[] = {{"", 39, 7}, {env.dir.file("fehlt.txt"), 39, 7}, {env.dir.file(""), 39, 7}, {file, 0, 7}, {file, 39, 0}};
    for (const auto& c : cases) EXPECT_TRUE(FAILED(Add(c.path, c.table, c.record))) << c.path << " " << c.table;
    EXPECT_EQ(Query("SELECT (SELECT count(*) FROM DocMngmt) + (SELECT count(*) FROM DocImage)"), "0");
}

TEST_F(DocMngmtServer, AccountsOrganisationsAndArticlesCountTheirOwnDocuments) {
    Exec("INSERT INTO Artikeljournal (lArtikeljournalID, lArtikelID) VALUES (31, 3)");
    Exec("INSERT INTO Wartungsjournal (lWartungsjournalID, lArtikelID) VALUES (41, 3)");
    Exec("INSERT INTO Konto (lKontoID, guidID) VALUES (5, 'AAAAAAAA-0000-4000-8000-000000000005'), "
         "(6, 'AAAAAAAA-0000-4000-8000-000000000005'), (8, 'BBBBBBBB-0000-4000-8000-000000000008')");
    Exec("INSERT INTO Organisation (lOrganisationID, guidID) VALUES (5, 'CCCCCCCC-0000-4000-8000-000000000005'), "
         "(9, 'CCCCCCCC-0000-4000-8000-000000000005')");
    const std::string f = File("beleg.pdf", "beleg");
    ASSERT_EQ(Add(f, 999, 5), S_OK);
    ASSERT_EQ(Add(f, 999, 6), S_OK);
    ASSERT_EQ(Add(f, 999, 8), S_OK);
    ASSERT_EQ(Add(f, 63, 5), S_OK);
    ASSERT_EQ(Add(f, 63, 9), S_OK);
    ASSERT_EQ(Add(f, 63, 9), S_OK);
    for (const auto& [table, record] : {std::pair{20L, 3L}, {35L, 31L}, {51L, 41L}}) ASSERT_EQ(Add(f, table, record), S_OK);
    const struct {
        long table, record;
        BOOL journal;
        long count;
    } cases[] = {{999, 5, FALSE, 2}, {999, 6, FALSE, 2}, {999, 8, FALSE, 1}, {63, 5, FALSE, 3},
                 {63, 9, FALSE, 3},  {63, 6, FALSE, 0},  {20, 3, TRUE, 3},   {20, 3, FALSE, 1}};
    for (const auto& c : cases) EXPECT_EQ(Count(c.table, c.record, c.journal), c.count) << c.table << "/" << c.record;
}

TEST_F(DocMngmtServer, TheDialogListsTheRecordsDocuments) {
    ASSERT_EQ(Add(File("Einsatzbericht.pdf", "a"), 42, 11), S_OK);
    ASSERT_EQ(Add(File("Anwesenheitsliste.xlsx", "b"), 42, 11), S_OK);
    ASSERT_EQ(Add(File("Fremd.doc", "c"), 42, 12), S_OK);
    Exec("UPDATE DocImage SET strEditPath = '/tmp/Anwesenheitsliste.xlsx', strLock = '2026-12-07 10:00:00|WS07|user1' "
         "WHERE strFileName = 'Anwesenheitsliste.xlsx'");
    std::vector<std::wstring> names;
    std::wstring status, count;
    script.ExpectModal(kDocumentsDialog, [&](qv::IModalDialog& modal) {
        auto& dlg = dynamic_cast<CDialog&>(modal);
        const HWND list = t::Item(dlg.GetSafeHwnd(), 1000);
        for (int i = 0; i < t::Rows(list); ++i) names.push_back(t::Cell(list, i, 0));
        status = t::Cell(list, 0, 1);
        count = t::Text(t::Item(dlg.GetSafeHwnd(), 1001));
        std::filesystem::create_directories(QV_SCREENS_DIR);
        t::SavePng(dlg.GetSafeHwnd(), std::string(QV_SCREENS_DIR) + (qvtest::OnPg ? "/docmngmtdlg_pg.png" : "/docmngmtdlg.png"));
        t::Click(dlg.GetSafeHwnd(), IDOK);
    });
    GUID none{};
    BSTR mandant = SysAllocString(L"");
    EXPECT_EQ(server->ShowDialog(42, 11, none, none, mandant), S_OK);
    EXPECT_EQ(names, (std::vector<std::wstring>{L"Anwesenheitsliste.xlsx", L"Einsatzbericht.pdf"}));
    EXPECT_EQ(status, L"In Bearbeitung");
    EXPECT_EQ(count, L"Dem Datensatz sind 2 Dokumente zugeordnet.");
    EXPECT_EQ(server->ShowDialog(0, 11, none, none, mandant), E_INVALIDARG) << "no record, no dialog";
    SysFreeString(mandant);
}

}  // namespace
