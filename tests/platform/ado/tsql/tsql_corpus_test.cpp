// The module's own statements: every statement of the SQL corpus translates, and the booking and
// rights statements run correctly against small hand-made tables.
#include "extensions.h"
#include "tsqltestdb.h"

#include <fstream>
#include <map>
#include <stdexcept>

using qvtest::Rows;
using qvtest::TsqlDb;

namespace {

// ---- a small reader for one JSON object per line ---------------------------------------------

class JsonLine {
public:
    // The object's top-level members: strings decoded, other scalars as written, nested
    // arrays and objects as "[...]" / "{...}".
    static std::map<std::string, std::string> Parse(const std::string& text) {
        JsonLine p(text);
        std::map<std::string, std::string> out;
        p.Skip();
        p.Expect('{');
        p.Skip();
        if (p.Peek() == '}') return out;
        for (;;) {
            p.Skip();
            std::string key = p.String();
            p.Skip();
            p.Expect(':');
            p.Skip();
            out[key] = p.Value();
            p.Skip();
            if (p.Peek() == ',') {
                ++p.i_;
                continue;
            }
            p.Expect('}');
            return out;
        }
    }

private:
    explicit JsonLine(const std::string& t) : t_(t) {}
    char Peek() const { return i_ < t_.size() ? t_[i_] : '\0'; }
    void Skip() {
        while (i_ < t_.size() && (t_[i_] == ' ' || t_[i_] == '\t' || t_[i_] == '\r' || t_[i_] == '\n')) ++i_;
    }
    void Expect(char c) {
        if (Peek() != c) throw std::runtime_error(std::string("JSON: expected ") + c + " at " + std::to_string(i_));
        ++i_;
    }
    static void PutUtf8(std::string& out, unsigned cp) {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    unsigned Hex4() {
        if (i_ + 4 > t_.size()) throw std::runtime_error("JSON: short \\u escape");
        const unsigned v = static_cast<unsigned>(std::stoul(t_.substr(i_, 4), nullptr, 16));
        i_ += 4;
        return v;
    }
    std::string String() {
        Expect('"');
        std::string out;
        for (;;) {
            if (i_ >= t_.size()) throw std::runtime_error("JSON: unterminated string");
            const char c = t_[i_++];
            if (c == '"') return out;
            if (c != '\\') {
                out += c;
                continue;
            }
            const char e = t_[i_++];
            switch (e) {
                case 'n': out += '\n'; break;
                case 't': out += '\t'; break;
                case 'r': out += '\r'; break;
                case 'b': out += '\b'; break;
                case 'f': out += '\f'; break;
                case 'u': {
                    unsigned cp = Hex4();
                    if (cp >= 0xD800 && cp < 0xDC00 && t_.compare(i_, 2, "\\u") == 0) {
                        i_ += 2;
                        cp = 0x10000 + ((cp - 0xD800) << 10) + (Hex4() - 0xDC00);
                    }
                    PutUtf8(out, cp);
                    break;
                }
                default: out += e; break;
            }
        }
    }
    std::string Value() {
        const char c = Peek();
        if (c == '"') return String();
        if (c == '[' || c == '{') {
            const char close = c == '[' ? ']' : '}';
            ++i_;
            Skip();
            if (Peek() == close) {
                ++i_;
            } else {
                for (;;) {
                    Skip();
                    if (c == '{') {
                        String();
                        Skip();
                        Expect(':');
                        Skip();
                    }
                    Value();
                    Skip();
                    if (Peek() == ',') {
                        ++i_;
                        continue;
                    }
                    Expect(close);
                    break;
                }
            }
            return c == '[' ? "[...]" : "{...}";
        }
        const std::size_t start = i_;
        while (i_ < t_.size() && t_[i_] != ',' && t_[i_] != '}' && t_[i_] != ']' && t_[i_] != ' ') ++i_;
        if (i_ == start) throw std::runtime_error("JSON: value expected at " + std::to_string(i_));
        return t_.substr(start, i_ - start);
    }

    const std::string& t_;
    std::size_t i_ = 0;
};

TEST(Corpus, EveryStatementTranslates) {
    std::ifstream in(QV_SQL_CORPUS);
    if (!in) GTEST_SKIP() << "no SQL corpus at " << QV_SQL_CORPUS;
    // Without the schema the statements cannot prepare, but SQLite parses a statement completely
    // before it looks for tables: a syntax error shows up even on an empty database.
    sqlite3* empty = nullptr;
    ASSERT_EQ(sqlite3_open(":memory:", &empty), SQLITE_OK);
    std::string line;
    int statements = 0;
    int fragments = 0;
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        std::map<std::string, std::string> entry = JsonLine::Parse(line);
        if (entry["is_fragment"] == "true") {
            ++fragments;
            continue;
        }
        ++statements;
        try {
            std::shared_ptr<const qv::tsql::Program> p = qv::tsql::Translate(entry["example"]);
            EXPECT_FALSE(p->steps.empty()) << entry["id"];
            for (const qv::tsql::Step& step : p->steps) {
                if (step.sql.empty()) continue;
                sqlite3_stmt* stmt = nullptr;
                if (sqlite3_prepare_v2(empty, step.sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
                    const std::string msg = sqlite3_errmsg(empty);
                    EXPECT_TRUE(msg.rfind("no such table", 0) == 0 || msg.rfind("no such function", 0) == 0)
                        << entry["id"] << ": " << msg << "\n" << step.sql;
                }
                sqlite3_finalize(stmt);
            }
        } catch (const qv::tsql::TranslateError& e) {
            ADD_FAILURE() << entry["id"] << ": " << e.what() << "\n" << entry["example"];
        }
    }
    sqlite3_close(empty);
    EXPECT_GT(statements, 0);
    EXPECT_GT(fragments, 0);
}

TEST(Corpus, JsonLineReaderDecodesEscapes) {
    auto e = JsonLine::Parse(R"({"a": "x\ty\"z\u00e4\ud83d\ude00", "b": false, "c": [1, {"d": "]"}], "e": 12})");
    EXPECT_EQ(e["a"], "x\ty\"z\xC3\xA4\xF0\x9F\x98\x80");
    EXPECT_EQ(e["b"], "false");
    EXPECT_EQ(e["c"], "[...]");
    EXPECT_EQ(e["e"], "12");
}

// ---- the statements of bookings and rights, run -----------------------------------------------

class ModuleStatements : public TsqlDb {
protected:
    void SetUp() override {
        TsqlDb::SetUp();
        // Stand-ins for the suite's key procedure and name function, enough to run the statements.
        qv::sql::RegisterProcedure("sp_GetUniqueID", [](sqlite3* db, std::vector<qv::sql::Value>& args) {
            const std::string sql = "SELECT ifnull(max(" + std::get<std::string>(args.at(1)) + "), 0) + 1 FROM " +
                                    std::get<std::string>(args.at(0));
            sqlite3_stmt* stmt = nullptr;
            if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
                throw qv::sql::ProcedureError(sqlite3_errmsg(db));
            }
            sqlite3_step(stmt);
            args.at(2) = qv::sql::Value(static_cast<std::int64_t>(sqlite3_column_int64(stmt, 0)));
            sqlite3_finalize(stmt);
        });
        sqlite3_create_function(
            db(), "fn_GetPersonBezeichnung", 2, SQLITE_UTF8, nullptr,
            [](sqlite3_context* ctx, int, sqlite3_value** argv) {
                const std::string s = "P" + std::to_string(sqlite3_value_int(argv[0])) + "/" +
                                      reinterpret_cast<const char*>(sqlite3_value_text(argv[1]));
                sqlite3_result_text(ctx, s.c_str(), -1, SQLITE_TRANSIENT);
            },
            nullptr, nullptr);
    }
};

TEST_F(ModuleStatements, NewKeyBatch) {
    Sql("CREATE TABLE Kursinstanz (lKursinstanzID INTEGER)");
    Sql("INSERT INTO Kursinstanz VALUES (41)");
    qv::tsql::Execution e = Run(
        "DECLARE @newID INT \t\t\t\t\t  EXECUTE dbo.sp_GetUniqueID 'Kursinstanz', 'lKursinstanzID', @newID OUTPUT "
        "\t\t\t\t\t  SELECT @newID AS newID");
    EXPECT_EQ(e.ColumnName(0), "newID");
    EXPECT_EQ(qvtest::Collect(e), (Rows{"42"}));
}

TEST_F(ModuleStatements, AutomaticOpeningOfRunsOfOneCourseType) {
    Sql("CREATE TABLE Kurs (lKursID INTEGER PRIMARY KEY, lTyp INTEGER)");
    Sql("CREATE TABLE Kursinstanz (lKursinstanzID INTEGER PRIMARY KEY, lKursID INTEGER, fGeschlossen INTEGER, "
        "dtAbgesagt TEXT, dtAnmeldenVon TEXT, dtAnmeldenBis TEXT, dtDatum TEXT)");
    Sql("INSERT INTO Kurs VALUES (1, 3), (2, 1)");
    const char* zero = "'1899-12-30 00:00:00'";
    const char* past = "'2001-01-01 00:00:00'";
    const char* future = "'2999-01-01 00:00:00'";
    auto run = [&](int id, int kurs, const char* abgesagt, const char* von, const char* bis, const char* datum) {
        Sql("INSERT INTO Kursinstanz VALUES (" + std::to_string(id) + ", " + std::to_string(kurs) + ", 1, " + abgesagt +
            ", " + von + ", " + bis + ", " + datum + ")");
    };
    run(1, 1, zero, past, zero, future);    // opens: registration runs until the course date
    run(2, 1, zero, past, past, future);    // registration is over
    run(3, 2, zero, past, zero, future);    // another course type
    run(4, 1, past, past, zero, future);    // cancelled
    run(5, 1, zero, zero, zero, future);    // no registration start
    run(6, 1, zero, future, zero, future);  // registration not yet open
    run(7, 1, zero, past, future, past);    // opens: registration end still ahead
    EXPECT_EQ(Exec("UPDATE Kursinstanz SET fGeschlossen = 0 FROM Kursinstanz JOIN Kurs ON Kursinstanz.lKursID = "
                   "Kurs.lKursID WHERE Kursinstanz.fGeschlossen = 1 AND Kursinstanz.dtAbgesagt = '1899-12-30 "
                   "00:00:00' AND Kursinstanz.dtAnmeldenVon <> '1899-12-30 00:00:00' AND Kursinstanz.dtAnmeldenVon < "
                   "getdate() AND CASE WHEN Kursinstanz.dtAnmeldenBis = '1899-12-30 00:00:00' THEN "
                   "Kursinstanz.dtDatum ELSE Kursinstanz.dtAnmeldenBis END > getdate() AND Kurs.lTyp = 3 "),
              2);
    EXPECT_EQ(Table("SELECT lKursinstanzID FROM Kursinstanz WHERE fGeschlossen = 0 ORDER BY 1"), (Rows{"1", "7"}));
}

class RightsRows : public ModuleStatements {
protected:
    void SetUp() override {
        ModuleStatements::SetUp();
        Sql("CREATE TABLE SecKurs (lSecKursID INTEGER PRIMARY KEY, lKursID INTEGER, lKursinstanzID INTEGER, "
            "lQvSecUserID INTEGER, lRight INTEGER, fValid INTEGER)");
        Sql("CREATE TABLE Kurs (lKursID INTEGER PRIMARY KEY)");
        Sql("CREATE TABLE Kursinstanz (lKursinstanzID INTEGER PRIMARY KEY)");
        Sql("INSERT INTO Kurs VALUES (1)");
        Sql("INSERT INTO Kursinstanz VALUES (1)");
        Sql("INSERT INTO SecKurs VALUES (7, 1, -1, 1, 256, 1)");
    }

    static std::string Upsert(int kursinstanz) {
        return "DECLARE @kursid int = -1 DECLARE @kursinstanzId int = " + std::to_string(kursinstanz) +
               " IF EXISTS (SELECT 1 FROM SecKurs WHERE lKursID = @kursid AND lKursInstanzID = @kursinstanzId AND "
               "lQvSecUserID = 1) UPDATE SecKurs SET fValid = 1, lRight = 256 WHERE lKursID = @kursid AND "
               "lKursinstanzID = @kursinstanzId AND lQvSecUserID = 1 ELSE BEGIN DECLARE @newID int execute "
               "dbo.sp_GetUniqueID 'SecKurs', 'lSecKursID', @newID output IF (EXISTS (SELECT 1 FROM Kurs WHERE "
               "lKursID = @kursid) OR @kursid = -1) AND (EXISTS (SELECT 1 FROM Kursinstanz WHERE lKursinstanzID = "
               "@kursinstanzId) OR @kursinstanzId = -1) INSERT INTO SecKurs (lSecKursID, lKursID, lKursinstanzID, "
               "lQvSecUserID, lRight, fValid) VALUES (@newID, @kursid, @kursinstanzId, 1, 256, 1) END";
    }
};

TEST_F(RightsRows, UpsertInsertsThenUpdatesAndSkipsMissingRuns) {
    EXPECT_EQ(Exec(Upsert(1)), 1);
    EXPECT_EQ(Table("SELECT * FROM SecKurs WHERE lSecKursID = 8"), (Rows{"8|-1|1|1|256|1"}));
    Sql("UPDATE SecKurs SET fValid = 0, lRight = 0 WHERE lSecKursID = 8");
    EXPECT_EQ(Exec(Upsert(1)), 1);
    EXPECT_EQ(Table("SELECT * FROM SecKurs WHERE lSecKursID > 7"), (Rows{"8|-1|1|1|256|1"}));
    // A run that does not exist gets no row.
    EXPECT_EQ(Exec(Upsert(5)), 0);
    EXPECT_EQ(Table("SELECT count(*) FROM SecKurs"), (Rows{"2"}));
}

TEST_F(RightsRows, LeaderRightsReachOnlyTheLeadersRuns) {
    Sql("CREATE TABLE PersonKurs (lPersonKursID INTEGER PRIMARY KEY, lPersonID INTEGER, lKursinstanzID INTEGER, "
        "fTeilnehmer INTEGER, fLeiter INTEGER)");
    Sql("CREATE TABLE Person (lPersonID INTEGER PRIMARY KEY)");
    Sql("CREATE TABLE Contact (lContactID INTEGER PRIMARY KEY, lPersonID INTEGER, guid TEXT)");
    Sql("CREATE TABLE QvSecUser (lQvSecUserID INTEGER PRIMARY KEY, strUserID TEXT COLLATE NOCASE)");
    Sql("INSERT INTO Person VALUES (10), (11)");
    Sql("INSERT INTO Contact VALUES (1, 10, '6F9619FF-8B86-D011-B42D-00C04FC964FF'), (2, 11, "
        "'11111111-2222-3333-4444-555555555555')");
    Sql("INSERT INTO QvSecUser VALUES (1, '6F9619FF-8B86-D011-B42D-00C04FC964FF'), (2, "
        "'11111111-2222-3333-4444-555555555555')");
    // Person 10 (user 1) leads runs 100 and 102 and attends run 101; person 11 (user 2) leads 100.
    Sql("INSERT INTO PersonKurs VALUES (1, 10, 100, 0, 1), (2, 10, 101, 1, 0), (3, 10, 102, 0, 1), (4, 11, 100, 0, 1)");
    Sql("DELETE FROM SecKurs");
    Sql("INSERT INTO SecKurs VALUES (1, -1, 100, 1, 65536, 0), (2, -1, 101, 1, 65536, 0), (3, -1, 100, 2, 65536, 0), "
        "(4, 5, 100, 1, 65536, 0), (5, -1, 102, 1, 0, 0)");
    EXPECT_EQ(Exec("UPDATE SecKurs SET fValid = 1, lRight = lRight | 256 FROM PersonKurs pk JOIN Person ON "
                   "pk.lPersonID = Person.lPersonID JOIN SecKurs ON SecKurs.lKursinstanzID = pk.lKursinstanzID AND "
                   "SecKurs.lKursID = -1 JOIN Contact ON Contact.lPersonID = Person.lPersonID JOIN QvSecUser ON "
                   "convert(varchar(50),Contact.guid) = QvSecUser.strUserID AND SecKurs.lQvSecUserID = "
                   "QvSecUser.lQvSecUserID WHERE fTeilnehmer = 0 AND fLeiter = 1 AND QvSecUser.lQvSecUserID = 1 AND "
                   "SecKurs.lRight & 65536 = 65536"),
              1);
    EXPECT_EQ(Table("SELECT lSecKursID, lRight, fValid FROM SecKurs ORDER BY 1"),
              (Rows{"1|65792|1", "2|65536|0", "3|65536|0", "4|65536|0", "5|0|0"}));
}

TEST_F(ModuleStatements, CourseLeaderBatch) {
    Sql("CREATE TABLE PersonKurs (lPersonKursID INTEGER PRIMARY KEY, lPersonID INTEGER, lKursinstanzID INTEGER, "
        "fLeiter INTEGER)");
    Sql("CREATE TABLE Kursinstanz (lKursinstanzID INTEGER PRIMARY KEY, strLeitung TEXT)");
    Sql("INSERT INTO PersonKurs VALUES (1, 10, 1, 0), (2, 11, 1, 1), (3, 12, 2, 1)");
    Sql("INSERT INTO Kursinstanz VALUES (1, 'alt'), (2, 'alt')");
    EXPECT_EQ(Exec("UPDATE PersonKurs SET fLeiter = 1 WHERE lPersonKursID = 1 UPDATE PersonKurs SET fLeiter = 0 "
                   "WHERE fLeiter = 1 AND lPersonKursID <> 1 AND lKursinstanzID = 1 UPDATE Kursinstanz SET "
                   "strLeitung = dbo.fn_GetPersonBezeichnung(lPersonID, 'A') FROM Kursinstanz JOIN PersonKurs On "
                   "Kursinstanz.lKursinstanzID = PersonKurs.lKursinstanzID WHERE PersonKurs.lPersonKursID = 1"),
              3);
    EXPECT_EQ(Table("SELECT lPersonKursID, fLeiter FROM PersonKurs ORDER BY 1"), (Rows{"1|1", "2|0", "3|1"}));
    EXPECT_EQ(Table("SELECT lKursinstanzID, strLeitung FROM Kursinstanz ORDER BY 1"), (Rows{"1|P10/A", "2|alt"}));
}

TEST_F(ModuleStatements, InternalRemarkIsInsertedOnceThenUpdated) {
    Sql("CREATE TABLE Kursbemerkung (lKursbemerkungID INTEGER PRIMARY KEY, lKursinstanzID INTEGER, "
        "strBemerkungIntern TEXT)");
    Sql("INSERT INTO Kursbemerkung VALUES (3, 9, 'andere')");
    const std::string sql =
        "if not exists (SELECT 1 FROM Kursbemerkung WHERE lKursinstanzID = 1) begin DECLARE @lKursbemerkungID int "
        "EXEC sp_GetUniqueID 'Kursbemerkung', 'lKursbemerkungID', @lKursbemerkungID OUTPUT INSERT INTO "
        "Kursbemerkung(lKursbemerkungID, lKursinstanzID, strBemerkungIntern) VALUES(@lKursbemerkungID, 1, 'Nur "
        "intern') end else begin UPDATE Kursbemerkung SET strBemerkungIntern = 'Nur intern' WHERE lKursinstanzID = 1 "
        "end";
    EXPECT_EQ(Exec(sql), 1);
    EXPECT_EQ(Table("SELECT * FROM Kursbemerkung ORDER BY 1"), (Rows{"3|9|andere", "4|1|Nur intern"}));
    Sql("UPDATE Kursbemerkung SET strBemerkungIntern = 'geändert' WHERE lKursbemerkungID = 4");
    EXPECT_EQ(Exec(sql), 1);
    EXPECT_EQ(Table("SELECT * FROM Kursbemerkung ORDER BY 1"), (Rows{"3|9|andere", "4|1|Nur intern"}));
}

TEST_F(ModuleStatements, ActivityTransferRemovesPersonsNoLongerBooked) {
    Sql("CREATE TABLE PersonEinsatz (lPersonEinsatzID INTEGER PRIMARY KEY, lEinsatzID INTEGER, lPersonID INTEGER, "
        "lEinsatzGruppeID INTEGER)");
    Sql("CREATE TABLE PersonKurs (lPersonID INTEGER, lStatus INTEGER, lKursinstanzID INTEGER)");
    Sql("INSERT INTO PersonKurs VALUES (10, 0, 1), (11, 2, 1), (12, 1, 2)");
    Sql("INSERT INTO PersonEinsatz VALUES (1, 1, 10, -1), (2, 1, 11, -1), (3, 1, 12, -1), (4, 2, 11, -1)");
    EXPECT_EQ(Exec("DELETE PersonEinsatz FROM PersonEinsatz WHERE PersonEinsatz.lPersonID IN (SELECT lPersonID FROM "
                   "PersonEinsatz WHERE lPersonID NOT IN (SELECT lPersonID FROM PersonKurs WHERE lStatus IN "
                   "(0,7,1,6) AND PersonKurs.lKursinstanzID = 1)) AND PersonEinsatz.lEinsatzID = 1"),
              2);
    EXPECT_EQ(Table("SELECT lPersonEinsatzID FROM PersonEinsatz ORDER BY 1"), (Rows{"1", "4"}));
}

TEST_F(ModuleStatements, ActivityTransferCopiesGroups) {
    Sql("CREATE TABLE PersonEinsatz (lPersonEinsatzID INTEGER PRIMARY KEY, lEinsatzID INTEGER, lPersonID INTEGER, "
        "lEinsatzGruppeID INTEGER)");
    Sql("CREATE TABLE PersonKurs (lPersonID INTEGER, lKursinstanzID INTEGER, lKursinstanzGruppeID INTEGER)");
    Sql("CREATE TABLE KursinstanzGruppe (lKursinstanzGruppeID INTEGER PRIMARY KEY, lEinsatzGruppeID INTEGER)");
    Sql("INSERT INTO KursinstanzGruppe VALUES (5, 50), (6, 60)");
    Sql("INSERT INTO PersonKurs VALUES (10, 1, 5), (11, 1, 6), (12, 2, 5), (13, 1, -1)");
    Sql("INSERT INTO PersonEinsatz VALUES (1, 1, 10, -1), (2, 1, 11, -1), (3, 1, 12, -1), (4, 1, 13, -1), "
        "(5, 2, 10, -1)");
    EXPECT_EQ(Exec("UPDATE PersonEinsatz SET lEinsatzGruppeID = x.lEinsatzGruppeID FROM PersonEinsatz JOIN (SELECT "
                   "DISTINCT KursinstanzGruppe.lEinsatzGruppeID, PersonKurs.lPersonID FROM PersonKurs JOIN "
                   "KursinstanzGruppe ON PersonKurs.lKursinstanzGruppeID = KursinstanzGruppe.lKursinstanzGruppeID "
                   "WHERE PersonKurs.lKursinstanzID = 1) x ON x.lPersonID = PersonEinsatz.lPersonID WHERE lEinsatzID "
                   "= 1"),
              2);
    EXPECT_EQ(Table("SELECT lPersonEinsatzID, lEinsatzGruppeID FROM PersonEinsatz ORDER BY 1"),
              (Rows{"1|50", "2|60", "3|-1", "4|-1", "5|-1"}));
}

TEST_F(ModuleStatements, MaximumParticipantsOfAnAreaAreDeleted) {
    Sql("CREATE TABLE MaxTeilnehmer (lMaxTeilnehmerID INTEGER PRIMARY KEY, lKursID INTEGER, lMandantID INTEGER, "
        "lYear INTEGER)");
    Sql("CREATE TABLE AreaMandant (lAreaID INTEGER, lMandantID INTEGER)");
    Sql("INSERT INTO AreaMandant VALUES (1, 1), (1, 2), (2, 3)");
    Sql("INSERT INTO MaxTeilnehmer VALUES (1, 1, 1, 2031), (2, 1, 2, 2031), (3, 1, 3, 2031), (4, 2, 1, 2031), "
        "(5, 1, 1, 2030)");
    EXPECT_EQ(Exec("DELETE MaxTeilnehmer FROM MaxTeilnehmer JOIN AreaMandant ON MaxTeilnehmer.lMandantID = "
                   "AreaMandant.lMandantID WHERE lAreaID = 1 AND lKursID = 1 AND lYear = 2031"),
              2);
    EXPECT_EQ(Table("SELECT lMaxTeilnehmerID FROM MaxTeilnehmer ORDER BY 1"), (Rows{"3", "4", "5"}));
}

}  // namespace
