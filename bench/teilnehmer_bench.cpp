// The participants page of a run with 1,000 registrations in the course window on the demo
// database: the whole list fill (the page's work, its query and the rank of every person) beside
// the query alone through the database layer and the rank lookups alone. Goal: the page's own
// work, the fill less the other two, under 100 ms.
#include "ikursinstanz.h"
#include "kursbench.h"
#include "nqlogicint.h"
#include "qvadoconnection.h"
#include "qvadorecordset.h"
#include "qvcomserver.h"
#include "teilnehmerdlg.h"
#include "uidriver.h"

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using kursbench::Die;
using kursbench::Exec;

constexpr int kRegistrations = 1000;

struct Environment : kursbench::KursWindow {
    long lKursID = 0;
    long lKursinstanzID = 0;
    std::vector<long> persons;
    CTeilnehmerDlg* page = nullptr;

    Environment() {
        kursbench::PrepareDemo("/tmp/qvteilnehmer-bench-XXXXXX", interaction, [this](sqlite3* h) {
            sqlite3_stmt* stmt = nullptr;
            sqlite3_prepare_v2(h, "SELECT lKursID, lKursinstanzID FROM Kursinstanz ORDER BY dtDatum DESC LIMIT 1", -1,
                               &stmt, nullptr);
            if (stmt && sqlite3_step(stmt) == SQLITE_ROW) {
                lKursID = sqlite3_column_int(stmt, 0);
                lKursinstanzID = sqlite3_column_int(stmt, 1);
            }
            sqlite3_finalize(stmt);
            if (lKursinstanzID == 0) Die("the demo database has no runs");
            // 1,000 persons of the demo's Mandanten and places, each registered once in the run.
            const std::string run = std::to_string(lKursinstanzID), kurs = std::to_string(lKursID);
            Exec(h, "DELETE FROM PersonKurs WHERE lKursinstanzID = " + run);
            Exec(h, "BEGIN");
            for (int i = 0; i < kRegistrations; ++i) {
                const std::string id = std::to_string(900000 + i);
                Exec(h, "INSERT INTO Person (lPersonID, lMandantID, strName, strVorname, lOrtID, fWeiblich, "
                        "lCAktGradID) SELECT " + id + ", (SELECT lMandantID FROM Mandant ORDER BY lMandantID LIMIT 1 "
                        "OFFSET " + std::to_string(i % 3) + "), 'Teilnehmer" + std::to_string(i) + "', 'Vorname', "
                        "(SELECT max(lOrtID) FROM Ort), " + std::to_string(i % 2) + ", "
                        "(SELECT lGradID FROM Grad ORDER BY lGradID LIMIT 1 OFFSET " + std::to_string(i % 5) + ")");
                Exec(h, "INSERT INTO PersonKurs (lPersonKursID, lPersonID, lKursID, lKursinstanzID, lStatus) VALUES (" +
                            std::to_string(800000 + i) + ", " + id + ", " + kurs + ", " + run + ", " +
                            std::to_string(i % 8) + ")");
                persons.push_back(900000 + i);
            }
            Exec(h, "COMMIT");
        });
        page = kursbench::FindPage<CTeilnehmerDlg>(Show(lKursID, lKursinstanzID));
        if (!page) Die("the participants page is not offered");
        if (FAILED(page->Refresh())) Die("the page cannot be filled");
        if (page->m_list.GetItemCount() != kRegistrations)
            Die("the page lists " + std::to_string(page->m_list.GetItemCount()) + " rows");
    }
};

Environment* g_env = nullptr;

Environment& Env() {
    if (!g_env) g_env = new Environment;
    return *g_env;
}

// The view, the frame and the pane go while the window system is still there.
void TearDown() {
    if (g_env) g_env->Close();
}

// The list filled as after a command: the query, the rank of every person, the rows and the status.
void BM_FillList(benchmark::State& state) {
    Environment& env = Env();
    for (auto _ : state) {
        if (FAILED(env.page->FillList())) Die("the fill failed");
        qv::ui::test::Pump();
    }
    state.counters["rows"] = env.page->m_list.GetItemCount();
}
BENCHMARK(BM_FillList)->Unit(benchmark::kMillisecond)->Iterations(10);

// The page's statement alone, every row and column read through the database layer.
void BM_Query(benchmark::State& state) {
    Environment& env = Env();
    CString strSQL;
    strSQL.Format(
        L"SELECT lPersonKursID, Person.lPersonID, strName + ' ' + strVorname AS strPerson, strAdresse1L, fWeiblich, "
        L"strPLZOrt, strSprache, cbm.strBezeichnung AS strMandant, lStatus, dtAnmeldung, Absenzgrund.strBezeichnung "
        L"AS strAbsenzgrund, fEntschuldigt, strGrundNichtBestanden, PersonKurs.strBemerkung, PersonKurs.fLinked, "
        L"(select count(*) from Device where lPersonID = Person.lPersonID AND lTyp = 6) as anzMail, "
        L"isnull(sm.lRight,0) AS lRight FROM Person JOIN view_CacheBezeichnung cbm ON Person.lMandantID = cbm.lID "
        L"AND cbm.lTableID = 45 JOIN PersonKurs ON Person.lPersonID = PersonKurs.lPersonID LEFT OUTER JOIN "
        L"SecMandant sm ON Person.lMandantID = sm.lMandantID AND sm.lQvSecUserID = 1 AND sm.lTableID = 4 JOIN "
        L"view_Ort ON Person.lOrtID = view_Ort.lOrtID JOIN Absenzgrund ON PersonKurs.lAbsenzgrundID = "
        L"Absenzgrund.lAbsenzgrundID WHERE PersonKurs.fTeilnehmer = 1 AND PersonKurs.lKursinstanzID = %d AND "
        L"PersonKurs.fLinked = 0 ",
        env.lKursinstanzID);
    static const wchar_t* columns[] = {L"lPersonKursID", L"lPersonID", L"strPerson", L"strAdresse1L", L"fWeiblich",
                                       L"strPLZOrt", L"strSprache", L"strMandant", L"lStatus", L"dtAnmeldung",
                                       L"strAbsenzgrund", L"fEntschuldigt", L"strGrundNichtBestanden",
                                       L"strBemerkung", L"fLinked", L"anzMail", L"lRight"};
    long rows = 0;
    for (auto _ : state) {
        CQvADOConnection conn;
        CQvADORecordset rs(&conn);
        if (FAILED(conn.Open(L"Qovaro.NQ2", 0)) || FAILED(rs.Open(strSQL))) Die("the query failed");
        BOOL bEOF = TRUE;
        rs.IsEOF(&bEOF);
        rows = 0;
        while (!bEOF) {
            for (const wchar_t* column : columns) {
                COleVariant value;
                rs.GetFieldValue(column, &value);
            }
            ++rows;
            rs.MoveNext(&bEOF);
        }
        rs.Close();
    }
    state.counters["rows"] = double(rows);
}
BENCHMARK(BM_Query)->Unit(benchmark::kMillisecond)->Iterations(10);

// The logic server's rank of every listed person, one call each as the page makes them.
void BM_Ranks(benchmark::State& state) {
    Environment& env = Env();
    for (auto _ : state) {
        INQLogicServer* pLogic = nullptr;
        if (FAILED(QueryCOMServer(NQ_LOGICSERVER_PROGID, IID_INQLogicServer, reinterpret_cast<void**>(&pLogic))))
            Die("no logic server");
        for (long lPersonID : env.persons) {
            long lGrad = 0, lRang = 0, lFound = 0;
            BSTR a = nullptr, b = nullptr;
            pLogic->GetPersonDienstgrad(lPersonID, 0.0, &lGrad, &a, &b, &lRang, &lFound);
            SysFreeString(a);
            SysFreeString(b);
        }
        pLogic->Release();
    }
}
BENCHMARK(BM_Ranks)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

// The environment stays: its members belong to windows and servers already gone.
int main(int argc, char** argv) { return kursbench::RunBenchmarks(argc, argv, TearDown); }
