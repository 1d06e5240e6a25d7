#pragma once
// The course window against a real suite database: the course API's fixture with the course
// module's rights and helpers that act through the real widgets and keep pictures of them.
#include "kurstest.h"
#include "uidriver.h"

namespace kurstest {

class KursWinTest : public KursTest {
protected:
    // Rights of the user on the course module (edit: 0x100).
    void GrantModule(DWORD mask) { secServer.Answer(L"{5F03AD81-548C-4F27-8FDA-45FC8E49B17C}", L"", mask); }
    // The picture of a window under build/screens/.
    static void Screen(HWND wnd, const std::string& name);
    // Sets the participant limit of a run.
    void SetMax(long run, long max) {
        Sql("UPDATE Kursinstanz SET lMaxTeilnehmer = " + K(max) + " WHERE lKursinstanzID = " + K(run));
    }
};

}  // namespace kurstest
