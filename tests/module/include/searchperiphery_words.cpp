// The device and person searches test each word first on the cheap columns and read the joined
// ones only for the rows that may hold it, the course search reads the runs from the date on as
// a list first: each must find exactly the rows, in the order, of the plain statement.
// Before the Qt headers, whose macros take some of its names.
#include "tsqlprogram.h"

#include "searchtest.h"

#include "searchkursdlg.h"
#include "searchpopupdlg.h"
#include "searchresource.h"
#include "utf.h"

#include <algorithm>

using namespace qv::ui::test;
using searchtest::SearchTest;

namespace {

class SearchForms : public SearchTest {
protected:
    // The rows of a statement as the system sends it.
    std::vector<std::string> Rows(const CString& tsql) {
        const auto program = qv::tsql::Translate(qv::ToUtf8(std::wstring(tsql.GetString())));
        return Query(program->steps.at(0).sql);
    }

    static std::string FirstWord(const std::string& text) { return text.substr(0, text.find(' ')); }

    // The distinct words as the statement quotes them.
    static std::vector<CString> Words(const std::string& text) {
        std::vector<CString> words;
        for (std::size_t from = 0; from <= text.size();) {
            const std::size_t to = std::min(text.find(' ', from), text.size());
            CString word(qv::FromUtf8(text.substr(from, to - from)).c_str());
            word.Replace(L"'", L"''");
            if (!word.IsEmpty() && std::find(words.begin(), words.end(), word) == words.end()) words.push_back(word);
            from = to + 1;
        }
        return words;
    }
};

}  // namespace

TEST_F(SearchForms, DevicesFoundAreThoseOfThePlainWordTest) {
    // A custom field of the devices that takes part in the search, on one device only.
    Sql("INSERT INTO CustFieldType (lCFTypeID, lTableID, fUsed4Search) VALUES (9057, 57, 1)");
    const std::string device = Query("SELECT min(lDeviceID) FROM Device WHERE lPersonID <> -1").at(0);
    Sql("INSERT INTO CustFieldValue (lCFTypeID, lID, strValue) VALUES (9057, " + device + ", 'Leihgeraet Nord')");
    // A status, on one device as well; the others have none.
    Sql("UPDATE Device SET strStatus = 'In Reparatur' WHERE lDeviceID = " + device + " + 1");
    // Words that only a joined column holds: the owner's name, the Mandant's name.
    const std::string person =
        Query("SELECT p.strName FROM Person p JOIN Device d ON d.lPersonID = p.lPersonID WHERE NOT EXISTS (SELECT 1 "
              "FROM Device x JOIN Devicenumber n ON n.lDeviceID = x.lDeviceID WHERE instr(lower(n.strNr || ' ' || "
              "x.strBezeichnung || ' ' || x.strStatus), lower(p.strName)) > 0) ORDER BY p.lPersonID LIMIT 1").at(0);
    const std::string mandant =
        FirstWord(Query("SELECT m.strMandantName FROM Mandant m JOIN Device d ON d.lMandantID = m.lMandantID "
                        "ORDER BY m.lMandantID DESC LIMIT 1").at(0));
    const std::string number = Query("SELECT substr(strNr, 1, 3) FROM Devicenumber WHERE lTyp = 0 LIMIT 1").at(0);
    // The owner's first name, shorter than his name and held by no other column: after his name it
    // is not the leading word, and only the first name holds it.
    ASSERT_GT(person.size(), 3u);
    Sql("UPDATE Person SET strVorname = 'Yzo' WHERE strName = '" + person + "'");
    struct Case {
        std::string text;
        int found;  // the plain test finds rows without case: 1, none: 0, either: -1
    };
    const Case cases[] = {
        {number, 1},
        {"privat", 1},
        {"PRIVAT", 1},
        {"FUNKGERÄT kommandant", -1},
        {person, 1},
        {mandant, 1},
        {"Leihgeraet", 1},
        {"nord", 1},
        {"reparatur", 1},
        {person + " " + number, -1},
        {person + " Yzo", 1},
        {"Leihgeraet " + mandant, 1},
        {mandant + " " + number, -1},
        {"reparatur privat", 1},
        {"d'Arc", 0},
        {"xyzq", 0},
        {"4711", -1},
        {"@", 1},
        // A word of letters is found in either case, also of one letter at the ends of the alphabet.
        {"A", 1},
        {"Z", -1},
        {"z", -1},
        // Two conditions a word: 130 words make a chain of 260.
        {[] {
             std::string words = "Leihgeraet";
             for (int i = 1; i < 130; ++i) words += " Leihgeraet";
             return words;
         }(),
         1},
    };
    options.Set(-4000, L"DeviceInUse", 1);
    CSearchPopupDlg popup(57, L"Test", -1, 0);
    RunPopup(popup, [&](CSearchPopupDlg& dlg) {
        CSearchDlg& search = *dlg.m_pSearchDlg;
        ASSERT_TRUE(Settled(search));
        // Every column without case, with case, then without the person and custom-field columns,
        // then for one Mandant (each word tested on the rows).
        for (int pass = 0; pass < 4; ++pass) {
            if (pass == 3) {
                search.m_bApplyMandantFilter = TRUE;
                search.m_lActMandantID = std::stol(Query("SELECT lMandantID FROM Device WHERE lDeviceID = " + device).at(0));
            }
            if (pass == 2) {
                search.m_lstResult.SetColumnWidth(3, 0);
                search.m_lstResult.SetColumnWidth(5, 0);
            }
            if (pass == 1 || pass == 2) {
                Click(search.m_hWnd, IDC_SEARCH_CASESENSITIVE);  // a new search takes the widths
                ASSERT_TRUE(Settled(search));
            }
            const bool caseSensitive = pass == 1;
            for (const Case& c : cases) {
                SCOPED_TRACE(c.text + " pass " + std::to_string(pass));
                CString query;
                ASSERT_EQ(search.BuildQuery(CString(qv::FromUtf8(c.text).c_str()), query), S_OK);
                ASSERT_EQ(query.Find(L" COLLATE Latin1_General_CS_AS) > 0)") >= 0, caseSensitive);
                EXPECT_EQ(query.Find(L"', strName") >= 0, pass < 2);
                EXPECT_EQ(query.Find(L"AND Device.lDeviceID IN (SELECT dn.lDeviceID FROM Devicenumber dn ") >= 0, pass < 3);
                // The plain form: the query without the test that goes before each word's own, a
                // test of the row or (for one word) the list of the devices read first.
                CString plain = query;
                for (const CString& word : Words(c.text)) {
                    int from = plain.Find(L"AND (CHARINDEX('" + word + L"', Devicenumber.strNr) > 0 ");
                    const int list = plain.Find(L"AND Device.lDeviceID IN (SELECT dn.lDeviceID FROM Devicenumber dn "
                                                L"WHERE dn.lTyp = 0 AND CHARINDEX('" + word + L"', ");
                    if (list >= 0 && (from < 0 || list < from)) from = list;
                    const int to = plain.Find(L"AND (CHARINDEX('" + word + L"', Devicenumber.strNr + ' ' ", from);
                    ASSERT_TRUE(from >= 0 && to > from);
                    EXPECT_LT(plain.Find(L"AND (CHARINDEX('" + word + L"', Devicenumber.strNr + ' ' ", to + 1), 0)
                        << "a word given twice is tested once";
                    plain.Delete(from, to - from);
                }
                // The Mandant filter named on the Mandant as well changes no row.
                if (pass == 3) {
                    CString strMandant;
                    strMandant.Format(L"AND Mandant.lMandantID = %ld ", search.m_lActMandantID.load());
                    EXPECT_EQ(plain.Replace(strMandant, L""), 1);
                }
                const auto expected = Rows(plain);
                if (pass == 0 && c.found >= 0) {
                    EXPECT_EQ(int(!expected.empty()), c.found);
                }
                EXPECT_EQ(Rows(query), expected);
            }
        }
    });
}

TEST_F(SearchForms, PersonsFoundAreThoseOfThePlainWordTest) {
    // A custom field, a mobile number with blanks, a fax number and a web address on the first
    // person; the demo's persons have their e-mail addresses.
    const std::string person = Query("SELECT min(lPersonID) FROM Person WHERE fActive = 1").at(0);
    Sql("INSERT INTO CustFieldType (lCFTypeID, lTableID, fUsed4Search) VALUES (9004, 4, 1)");
    Sql("INSERT INTO CustFieldValue (lCFTypeID, lID, strValue) VALUES (9004, " + person + ", 'Maschinist')");
    Sql("INSERT INTO Device (lDeviceID, lPersonID, lTyp) VALUES (990001, " + person + ", 3)");
    Sql("INSERT INTO Devicenumber (lDevicenumberID, lDeviceID, lTyp, strNr) VALUES (990001, 990001, 0, '079 123 45 67')");
    Sql("UPDATE Person SET lMobilP = 990001, strFaxNr = '044-555 66 77', strWeb = 'www.fw-test.example' WHERE lPersonID = " +
        person);
    const std::string mail = Query("SELECT n.strNr FROM Devicenumber n JOIN Person p ON p.lEMailP = n.lDeviceID "
                                   "WHERE n.lTyp = 0 ORDER BY p.lPersonID LIMIT 1").at(0);
    // That address is also the person's pager, whose number the word test reads without its signs.
    Sql("UPDATE Person SET lPager = lEMailP WHERE lPersonID = (SELECT min(p.lPersonID) FROM Person p "
        "JOIN Devicenumber n ON p.lEMailP = n.lDeviceID WHERE n.lTyp = 0)");
    std::string mailWithoutSigns = mail.substr(0, mail.find('@'));
    mailWithoutSigns.erase(std::remove(mailWithoutSigns.begin(), mailWithoutSigns.end(), '.'), mailWithoutSigns.end());
    const std::string name = Query("SELECT strName FROM Person WHERE lPersonID = " + person).at(0);
    const std::string words[] = {name, "0791234567", "0445556677", "fw-test", "MASCHINIST", mail.substr(0, mail.find('@')),
                                 FirstWord(Query("SELECT strMandantName FROM Mandant ORDER BY lMandantID DESC LIMIT 1").at(0)),
                                 Query("SELECT o.strPLZ FROM Ort o JOIN Person p ON p.lOrtID = o.lOrtID LIMIT 1").at(0),
                                 name + " Maschinist", "ZÜRICH", "d'Arc", "xyzq", mailWithoutSigns, "079"};
    options.Set(-4000, L"PersonActive", 0);
    CSearchPopupDlg popup(4, L"Test", -1, 0);
    RunPopup(popup, [&](CSearchPopupDlg& dlg) {
        CSearchDlg& search = *dlg.m_pSearchDlg;
        ASSERT_TRUE(Settled(search));
        // Every column without case, with case, then without the call numbers and custom fields.
        for (int pass = 0; pass < 3; ++pass) {
            if (pass == 2) {
                search.m_lstResult.SetColumnWidth(6, 0);
                search.m_lstResult.SetColumnWidth(7, 0);
            }
            if (pass > 0) {
                Click(search.m_hWnd, IDC_SEARCH_CASESENSITIVE);
                ASSERT_TRUE(Settled(search));
            }
            for (const std::string& text : words) {
                SCOPED_TRACE(text + " pass " + std::to_string(pass));
                CString query;
                ASSERT_EQ(search.BuildQuery(CString(qv::FromUtf8(text).c_str()), query), S_OK);
                EXPECT_EQ(query.Find(L"OR EXISTS (SELECT 1 FROM view_DevicenumberCall d ") >= 0, pass < 2);
                // The plain form: the query without the test that goes before each word's own.
                CString plain = query;
                for (const CString& word : Words(text)) {
                    const int from = plain.Find(L"AND (CHARINDEX('" + word + L"', vp.strName + ' ' + vp.strVorname");
                    const int to = plain.Find(L"AND (CHARINDEX('" + word + L"', strName + ' ' + strVorname", from);
                    ASSERT_TRUE(from >= 0 && to > from);
                    plain.Delete(from, to - from);
                }
                const auto expected = Rows(plain);
                if (pass == 0 && text != "d'Arc" && text != "xyzq" && text != "ZÜRICH") {
                    EXPECT_FALSE(expected.empty());
                }
                EXPECT_EQ(Rows(query), expected);
            }
        }
    });
}

TEST_F(SearchForms, CoursesAndRunsFromTheDateOnAreThoseOfThePlainDateTest) {
    options.Set(-1000, L"ApplyMandantFilterOnAddItems", 0);
    options.Set(-4000, L"MaxSearchResults", 0);
    options.Set(-4000, L"KursTyp", L"x 1 1 1");
    const std::string course = FirstWord(Query("SELECT strBezeichnung FROM Kurs WHERE strBezeichnung <> '' "
                                               "ORDER BY lKursID LIMIT 1").at(0));
    const std::string run = FirstWord(Query("SELECT strBezeichnung FROM Kursinstanz WHERE strBezeichnung <> '' "
                                            "ORDER BY lKursinstanzID DESC LIMIT 1").at(0));
    const std::string midYear = std::to_string(kYear) + "-06-01 00:00:00";
    const std::string later = std::to_string(kYear + 20) + "-01-01 00:00:00";
    // The course leader also sees a course on whose runs he holds no right.
    Sql("INSERT INTO SecKurs (lKursID, lKursinstanzID, lQvSecUserID, lRight) SELECT max(lKursID), -1, 2, 1 FROM "
        "Kursinstanz WHERE dtDatum >= '" + midYear + "' AND lKursID NOT IN (SELECT lKursID FROM SecKurs WHERE "
        "lQvSecUserID = 2)");
    for (const char* mode : {"", "onlyInstanz"}) {
        CSearchPopupDlg popup(39, L"Test", -1, 0);
        popup.SetSecMandantTableID(qv::FromUtf8(mode).c_str());
        popup.m_dwRightMask = 0x100;
        RunPopup(popup, [&](CSearchPopupDlg& dlg) {
            CSearchDlg& search = *dlg.m_pSearchDlg;
            ASSERT_TRUE(Settled(search));
            // The administrator holds a right on every run, the course leader on some only.
            for (const auto& [date, user] : {std::pair{std::string(), 1L}, {midYear, 1L}, {later, 1L}, {midYear, 2L}}) {
                options.Set(-4000, L"KursInstanzDate", qv::FromUtf8(date));
                security.userID = user;
                for (const std::string& words : {std::string(), course, run, run + " " + course, std::string("xyzq")}) {
                    SCOPED_TRACE(std::string(mode) + " from " + date + ": " + words + " user " + std::to_string(user));
                    CString query;
                    ASSERT_EQ(search.BuildQuery(CString(qv::FromUtf8(words).c_str()), query), S_OK);
                    // The plain form: the date test alone.
                    CString plain = query;
                    const int from = std::max(plain.Find(L" AND secI.lKursinstanzID + 0 IN (SELECT"),
                                              plain.Find(L" AND vki.lKursinstanzID IN (SELECT"));
                    ASSERT_EQ(from >= 0, !date.empty());
                    if (from >= 0) {
                        const CString end = L"is null)";
                        plain.Delete(from, plain.Find(end, from) + end.GetLength() - from);
                    }
                    const auto expected = Rows(plain);
                    if (date == midYear && words.empty()) {
                        EXPECT_FALSE(expected.empty());
                    }
                    EXPECT_EQ(Rows(query), expected);
                }
            }
        });
    }
}
