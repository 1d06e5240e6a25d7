#include "kurstest.h"

#include "qvregvalue.h"
#include "utf.h"
#include "wnd.h"

#include <cstdlib>

namespace kurstest {

std::string W2U(const std::wstring& w) { return qv::ToUtf8(w); }
std::string U(const CString& s) { return s.ToUtf8(); }

void KursTest::SetUp() {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    qv::ui::EnsureApplication();
    env = std::make_unique<qvtest::ServerEnvironment>();

    qv::suite::InstallSuiteDatabase();
    qv::suite::SetSystemID(7);
    db = std::make_unique<qv::sql::SqliteDb>();
    ASSERT_EQ(db->Open("sqlite:" + env->SuiteDatabase()), SQLITE_OK) << db->LastError().description;
    std::string error;
    ASSERT_EQ(qv::suite::CreateSchema(db->Handle(), &error), SQLITE_OK) << error;
    ASSERT_EQ(qv::servers::StartRunningServer(QVDBSERVER_PROGID), S_OK);

    ASSERT_TRUE(qvtest::RegisterProgId(QVUSERLOG_PROGID, CLSID_UserLog));
    frame.Offer(CLSID_UserLog);
    running_.push_back(std::make_unique<qvtest::ScopedRunningServer>(QV_FRAME_PROGID, &frame));
    running_.push_back(std::make_unique<qvtest::ScopedRunningServer>(QVUSERLOG_PROGID, &userLog));
    running_.push_back(std::make_unique<qvtest::ScopedRunningServer>(QV_EVENTSERVER_PROGID, &eventServer));
    running_.push_back(std::make_unique<qvtest::ScopedRunningServer>(QVOPTIONSERVER_PROGID, &optionServer));
    running_.push_back(std::make_unique<qvtest::ScopedRunningServer>(QVSECSERVER_PROGID,
                                                                     static_cast<IQvSecServer*>(&secServer)));

    script.OnFailure([](const std::string& m) { ADD_FAILURE() << "interaction: " << m; });
    previousInteraction_ = qv::SetInteraction(&script);
    Central(false);
    kurs::ForgetDefaultPersonKursStatus();
}

void KursTest::TearDown() {
    EXPECT_EQ(script.Pending(), 0u) << "expected boxes or dialogs that never came";
    qv::SetInteraction(previousInteraction_);
    running_.clear();
    qv::servers::StopRunningServer(QVDBSERVER_PROGID);
    qv::nq::SetEnterpriseEdition(std::nullopt);
    kurs::ForgetDefaultPersonKursStatus();
    db.reset();
    env.reset();
}

void KursTest::Sql(const std::string& sql) {
    char* err = nullptr;
    const int rc = sqlite3_exec(db->Handle(), sql.c_str(), nullptr, nullptr, &err);
    ASSERT_EQ(rc, SQLITE_OK) << (err ? err : "") << "\n" << sql;
    sqlite3_free(err);
}

std::vector<std::string> KursTest::Rows(const std::string& sql) {
    sqlite3_stmt* stmt = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db->Handle(), sql.c_str(), -1, &stmt, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db->Handle()) << "\n" << sql;
    std::vector<std::string> rows;
    while (stmt && sqlite3_step(stmt) == SQLITE_ROW) {
        std::string row;
        for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
            if (i > 0) row += '|';
            const auto* t = sqlite3_column_text(stmt, i);
            row += t ? reinterpret_cast<const char*>(t) : "NULL";
        }
        rows.push_back(row);
    }
    sqlite3_finalize(stmt);
    return rows;
}

long long KursTest::Int(const std::string& sql) {
    auto rows = Rows(sql);
    EXPECT_EQ(rows.size(), 1u) << sql;
    return rows.empty() ? -999 : std::atoll(rows.front().c_str());
}

std::string KursTest::Text(const std::string& sql) {
    auto rows = Rows(sql);
    EXPECT_EQ(rows.size(), 1u) << sql;
    return rows.empty() ? std::string() : rows.front();
}

static std::string Quote(const std::string& s) {
    std::string out = "'";
    for (char c : s) {
        if (c == '\'') out += '\'';
        out += c;
    }
    return out + "'";
}

long KursTest::AddMandant(const std::string& name, bool notify) {
    const long id = ++nextID_;
    Sql("INSERT INTO Mandant (lMandantID, strMandantName, fKursNotification) VALUES (" + std::to_string(id) + ", " +
        Quote(name) + ", " + (notify ? "1" : "0") + ")");
    return id;
}

long KursTest::AddPerson(const std::string& name, const std::string& vorname, long mandant) {
    const long id = ++nextID_;
    Sql("INSERT INTO Person (lPersonID, lMandantID, strName, strVorname) VALUES (" + std::to_string(id) + ", " +
        std::to_string(mandant) + ", " + Quote(name) + ", " + Quote(vorname) + ")");
    return id;
}

long KursTest::AddKurs(long typ, const std::string& kurz, bool multi) {
    const long id = ++nextID_;
    Sql("INSERT INTO Kurs (lKursID, lTyp, strKurzbezeichnung, strBezeichnung, fMultiregistration) VALUES (" +
        std::to_string(id) + ", " + std::to_string(typ) + ", " + Quote(kurz) + ", " + Quote(kurz + " Kurs") + ", " +
        (multi ? "1" : "0") + ")");
    return id;
}

long KursTest::AddRun(long kurs, const std::string& date, bool closed) {
    const long id = ++nextID_;
    Sql("INSERT INTO Kursinstanz (lKursinstanzID, lKursID, dtDatum, fGeschlossen) VALUES (" + std::to_string(id) +
        ", " + std::to_string(kurs) + ", '" + date + " 00:00:00', " + (closed ? "1" : "0") + ")");
    return id;
}

long KursTest::AddReg(long person, long kurs, long run, long status, const std::string& date, bool teilnehmer) {
    const long id = ++nextID_;
    Sql("INSERT INTO PersonKurs (lPersonKursID, lPersonID, lKursID, lKursinstanzID, lStatus, dtDatum, fTeilnehmer) "
        "VALUES (" +
        std::to_string(id) + ", " + std::to_string(person) + ", " + std::to_string(kurs) + ", " + std::to_string(run) +
        ", " + std::to_string(status) + ", '" + date + " 00:00:00', " + (teilnehmer ? "1" : "0") + ")");
    return id;
}

void KursTest::AddAbsence(long person, const std::string& start, const std::string& end, const std::string& grund) {
    const long grundID = ++nextID_;
    Sql("INSERT INTO Absenzgrund (lAbsenzgrundID, strBezeichnung) VALUES (" + std::to_string(grundID) + ", " +
        Quote(grund) + ")");
    Sql("INSERT INTO Personabsenz (lPersonabsenzID, lPersonID, lAbsenzgrundID, dtStart, dtEnde) VALUES (" +
        std::to_string(++nextID_) + ", " + std::to_string(person) + ", " + std::to_string(grundID) + ", '" + start +
        " 00:00:00', '" + end + " 00:00:00')");
}

std::string KursTest::Guid(const std::string& table, long id) {
    return Text("SELECT guid FROM " + table + " WHERE l" + table + "ID = " + std::to_string(id));
}

std::wstring KursTest::PersonName(long id) {
    return qv::FromUtf8(Text("SELECT fn_GetPersonBezeichnung(" + std::to_string(id) + ", 'A')"));
}

}  // namespace kurstest
