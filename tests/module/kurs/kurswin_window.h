#pragma once
// The course window in the host frame against a real suite database: the frame host with the
// event server and the user log running, the course module registered as its installation does,
// option and security servers answering from tables, and the course view shown in a pane.
#include "fakehost.h"
#include "ikursinstanz.h"
#include "framehost.h"
#include "kurschilddlg.h"
#include "kursdlg.h"
#include "kurstest.h"
#include "nqinterfaces.h"
#include "uidriver.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>

namespace kurstest {

class FakeStartupServer : public qvtest::StackObject<INQStartupServer, IID_INQStartupServer> {
public:
    HRESULT SetProgressText(BSTR text) override {
        texts.push_back(qvtest::Str(text));
        return S_OK;
    }
    std::vector<std::wstring> texts;
};

class KursWindow : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The course view opened by the frame and shown in the pane.
    void OpenView();
    // bPump: the window's messages taken afterwards, as the frame's loop goes on.
    void CloseView(bool bPump = true);
    CKursDlg* Dlg() const { return m_pDlg; }
    // The page of tab i.
    CKursChildDlg* Page(int i) const;
    HWND Item(int id) const { return qv::ui::test::Item(m_pDlg->GetSafeHwnd(), id); }
    // Chooses the command in the action menu; the items offered are kept.
    void Action(UINT command);
    // Anna's course window, up beside the first one's, as another computer's frame shows it: her
    // own view object and her own login, so her own lock owner.
    void OpenOther();
    // Anna's command of the action menu.
    void OtherAction(UINT command);
    // The picture under build/screens/.
    void Screen(HWND wnd, const std::string& name);

    void Sql(const std::string& sql);
    long long Int(const std::string& sql);
    std::string Text(const std::string& sql);
    long AddKurs(long typ, const std::string& kurz);
    long AddRun(long kurs, const std::string& date, const std::string& name, long max = 0);
    long AddPerson(const std::string& name);
    long AddReg(long person, long kurs, long run, long status, const std::string& registered);
    static std::string K(long id) { return std::to_string(id); }

    qv::ScriptedInteraction script;
    FakeOptionServer options;
    FakeSecServer security;
    FakeStartupServer startup;
    std::unique_ptr<qvtest::ServerEnvironment> env;
    std::unique_ptr<qv::sql::SqliteDb> db;
#ifdef QV_KURS_PG
    static constexpr bool kOnPg = true;
    std::unique_ptr<qv::sql::PgDb> pg;
#else
    static constexpr bool kOnPg = false;
#endif
    CQvFrameHost* host = nullptr;
    CWnd pane;
    long mandant = 0;
    CWnd otherPane;
    const CString otherView = CString(KURSVIEW_PROGID) + L".Anna";
    CKursDlg* otherDlg = nullptr;

private:
    CKursDlg* m_pDlg = nullptr;
    std::vector<std::unique_ptr<qvtest::ScopedRunningServer>> running_;
    qv::IInteraction* previous_ = nullptr;
    long nextID_ = 100;
#ifdef QV_KURS_PG
    std::unique_ptr<qv::sql::PgDb> pgAdmin_;  // holds the pool slot of pgName_
    std::string pgName_;
    std::map<std::string, std::string> triggerTables_;
    bool pgDirty_ = false;
#endif
};

#ifdef QV_KURS_PG
// Another session of the window's server database, with the table locked in it (the lock held
// until its transaction ends: ROLLBACK, or the session's end).
std::unique_ptr<qv::sql::PgDb> LockInOtherSession(const std::string& table);
#endif

// The first statement on a table after Hold() held inside the database where no cancel reaches
// it: on SQLite in a function of a view put in the table's place, on PostgreSQL with its server
// process stopped while it waits for a lock on the table. Let() lets it go on: on SQLite to a
// failure, on PostgreSQL to the cancel it was sent meanwhile (or to the end of its wait for the
// lock). The left workers are waited for and the table given back as it goes.
class HeldTable {
public:
    HeldTable(std::function<void(const std::string&)> sql, std::string table);
    ~HeldTable();
    void Hold();
    // Until the statement is held.
    bool Wait();
    // From any thread.
    void Let();
    // Lets the statement go on and, on PostgreSQL, the lock go (from any thread, once).
    void Free();

private:
    std::function<void(const std::string&)> sql_;
    std::string table_;
    bool held_ = false;
#ifdef QV_KURS_PG
    std::unique_ptr<qv::sql::PgDb> holder_;
    std::atomic<int> pid_{0};
#endif
};

}  // namespace kurstest
