// The rights client: loading and combining function and object rights, the tests of a mask, the
// user, grants, and a server that is not there.
#include "fakehost.h"
#include "lasterror.h"
#include "qvhrtrace.h"
#include "qvsec.h"
#include "trace.h"

#include <gtest/gtest.h>

#include <map>
#include <utility>
#include <vector>

namespace {

const CQvGUID kFunction(L"{5F03AD81-548C-4F27-8FDA-45FC8E49B17C}");
const CQvGUID kObject(L"{FB4C0C46-8C91-4F55-BA7B-9E5FEBB97358}");

// A security server that answers from a table and records what it was asked.
class FakeSecServer : public IQvSecServer, public IQvSecUser, public IQvSecAdmin {
public:
    HRESULT QueryInterface(REFIID iid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (iid == IID_IUnknown || iid == IID_IQvSecServer) *ppv = static_cast<IQvSecServer*>(this);
        else if (iid == IID_IQvSecUser && offerUser) *ppv = static_cast<IQvSecUser*>(this);
        else if (iid == IID_IQvSecAdmin && offerAdmin) *ppv = static_cast<IQvSecAdmin*>(this);
        if (!*ppv) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }

    HRESULT GetRights(GUID guid, BSTR key, long* rights) override {
        asked.emplace_back(guid, key ? std::wstring(key) : std::wstring(L"<null>"));
        if (failRights) return E_ACCESSDENIED;
        const auto it = answers.find({guid, qvtest::Str(key)});
        *rights = it == answers.end() ? 0 : it->second;
        return S_OK;
    }
    HRESULT Reserved4() override { return E_NOTIMPL; }
    HRESULT Reserved5() override { return E_NOTIMPL; }
    HRESULT Reserved6() override { return E_NOTIMPL; }
    HRESULT ShowRightDlg(GUID object, long flag) override {
        dialogs.emplace_back(object, flag);
        return S_OK;
    }
    HRESULT ShowSetRightDlg(GUID object, BSTR key, long flag) override {
        dialogs.emplace_back(object, flag);
        dialogKey = qvtest::Str(key);
        return S_OK;
    }

    HRESULT Logon(BSTR) override { return E_NOTIMPL; }
    HRESULT Reserved7() override { return E_NOTIMPL; }
    HRESULT Reserved8() override { return E_NOTIMPL; }
    HRESULT Reserved9() override { return E_NOTIMPL; }
    HRESULT GetUser(BSTR* name, BSTR* userId, long* id) override {
        if (failUser) return E_FAIL;
        *name = SysAllocString(L"Kursleiter");
        *userId = SysAllocString(L"8E1C4F1A-0B7C-4D55-9A1E-2C3D4E5F6A7B");
        *id = 2;
        return S_OK;
    }

    HRESULT SetRights(BSTR objectKey, BSTR key2, GUID function, BSTR name, long mask) override {
        grants.push_back({qvtest::Str(objectKey), qvtest::Str(key2), function, qvtest::Str(name), mask});
        return S_OK;
    }

    struct Grant {
        std::wstring objectKey, key2;
        GUID function;
        std::wstring name;
        long mask;
    };

    std::atomic<ULONG> refs{1};
    std::map<std::pair<GUID, std::wstring>, long> answers;
    std::vector<std::pair<GUID, std::wstring>> asked;
    std::vector<std::pair<GUID, long>> dialogs;
    std::wstring dialogKey;
    std::vector<Grant> grants;
    bool failRights = false;
    bool failUser = false;
    bool offerUser = true;
    bool offerAdmin = true;
};

// The 32-bit mask as the server hands it over: sign-extended into the caller's long.
long Wire(DWORD mask) { return static_cast<long>(static_cast<LONG>(mask)); }

class Rights : public ::testing::Test {
protected:
    void SetUp() override {
        qv::ClearTrace();
        QvClearHRErrorList();
    }
    void Answer(const CQvGUID& guid, const std::wstring& key, DWORD mask) {
        server.answers[{guid.GetValue(), key}] = Wire(mask);
    }

    FakeSecServer server;
    qvtest::ScopedRunningServer running{QVSECSERVER_PROGID, static_cast<IQvSecServer*>(&server)};
};

TEST_F(Rights, FunctionAndObjectRightsCombine) {
    Answer(kFunction, L"", 0x00000F01u);
    Answer(kObject, L"key", 0x00000101u);
    CQvSec sec;
    EXPECT_EQ(sec.LoadRights(kFunction, kObject, CString(L"key")), S_OK);
    EXPECT_EQ(sec.GetRights(), 0x00000101u);
    ASSERT_EQ(server.asked.size(), 2u);
    EXPECT_EQ(server.asked[0].second, L"<null>") << "a function is asked without a key";
    EXPECT_EQ(server.asked[1].second, L"key");

    Answer(kObject, L"key", 0x80000000u);
    EXPECT_EQ(sec.LoadRights(kFunction, kObject, CString(L"key")), S_OK);
    EXPECT_EQ(sec.GetRights(), 0x80000000u);

    // A refusal on the function side wins over object rights.
    Answer(kFunction, L"", 0x88000F01u);
    Answer(kObject, L"key", 0x00000F01u);
    sec.LoadRights(kFunction, kObject, CString(L"key"));
    EXPECT_EQ(sec.GetRights(), 0x80000000u);
    EXPECT_FALSE(CQvSec::HasNoRights(0x88000F01u));
    EXPECT_TRUE(CQvSec::HasNoRights(sec.GetRights()));
}

TEST_F(Rights, EachOverloadAsksOnlyWhatItNames) {
    Answer(kFunction, L"", 0x00000F01u);
    Answer(GUID_NULL, L"ABC", 0x00010001u);
    CQvSec sec;
    sec.LoadRights(kFunction);
    EXPECT_EQ(sec.GetRights(), 0x00000F01u);
    EXPECT_TRUE(sec.m_guidObject.IsNULL());
    EXPECT_TRUE(sec.m_strKey.IsEmpty());

    // A key alone (null object) is asked; the function left from before is not.
    server.asked.clear();
    EXPECT_EQ(sec.LoadRights(CQvGUID(), CString(L"ABC")), S_OK);
    EXPECT_EQ(sec.GetRights(), 0x00010001u);
    ASSERT_EQ(server.asked.size(), 1u);
    EXPECT_EQ(server.asked[0].first, GUID_NULL);
    EXPECT_TRUE(sec.m_guidFunction.IsNULL());

    // Nothing named: nothing asked, and the rights of the earlier load are gone.
    server.asked.clear();
    EXPECT_EQ(sec.LoadRights(CQvGUID(), CQvGUID(), CString()), S_OK);
    EXPECT_TRUE(server.asked.empty());
    EXPECT_EQ(sec.GetRights(), 0u);
}

TEST_F(Rights, TopBitMasksKeepTheirBits) {
    // Whether the server's long carries the mask sign-extended or as an unsigned 32-bit number,
    // the client holds the same 32 bits.
    server.answers[{kFunction.GetValue(), L""}] = -2013262079L;  // 0x88000F01
    CQvSec sec;
    sec.LoadRights(kFunction);
    EXPECT_EQ(sec.GetRights(), 0x88000F01u);
    server.answers[{kFunction.GetValue(), L""}] = 0x88000F01L;
    sec.LoadRights(kFunction);
    EXPECT_EQ(sec.GetRights(), 0x88000F01u);
    EXPECT_TRUE(sec.HasAllRights(0x1));
    EXPECT_TRUE(sec.HasAllRights(0)) << "a negative word is no rights";
}

TEST_F(Rights, MaskTests) {
    // Mask 0 asks whether the user has no rights at all.
    EXPECT_TRUE(CQvSec::HasAllRights(0, 0));
    EXPECT_TRUE(CQvSec::HasAllRights(0, 0x80000000u));
    EXPECT_TRUE(CQvSec::HasAllRights(0, 0xFFFFFFFFu));
    EXPECT_FALSE(CQvSec::HasAllRights(0, 1));
    EXPECT_FALSE(CQvSec::HasAllRights(0, 0x7FFFFFFFu));
    EXPECT_TRUE(CQvSec::HasAnyRight(0, 0x80000000u));
    EXPECT_FALSE(CQvSec::HasAnyRight(0, 0x100));

    EXPECT_TRUE(CQvSec::HasAllRights(0x80000000u, 0x80000000u));
    EXPECT_TRUE(CQvSec::HasAllRights(0x101, 0x10101));
    EXPECT_FALSE(CQvSec::HasAllRights(0x101, 0x100));
    EXPECT_TRUE(CQvSec::HasAnyRight(0x10001, 0x10000));
    EXPECT_FALSE(CQvSec::HasAnyRight(0x10001, 0x100));

    CQvSec sec;
    sec |= 0x10001;
    EXPECT_TRUE(sec.HasAllRights(0x10001));
    sec &= 0xFFFEFFFFu;
    EXPECT_EQ(sec.GetRights(), 0x1u);
    CQvSec other;
    other |= 0x100;
    sec |= 0x100;
    sec |= 0x800;
    sec &= other;
    EXPECT_EQ(sec.GetRights(), 0x100u);
}

TEST_F(Rights, AFailedReadLeavesNoRights) {
    Answer(kFunction, L"", 0x00000F01u);
    CQvSec sec;
    sec.LoadRights(kFunction);
    ASSERT_EQ(sec.GetRights(), 0xF01u);

    server.failRights = true;
    server.asked.clear();
    EXPECT_EQ(sec.LoadRights(kFunction, kObject, CString(L"key")), E_ACCESSDENIED);
    EXPECT_EQ(sec.GetRights(), 0u);
    EXPECT_EQ(server.asked.size(), 1u) << "the object is not asked after the function failed";
    EXPECT_FALSE(sec.HasAllRights(0x1));
    const auto errors = QvGetHRErrorList();
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(errors.back().strFile, L"qvsec");
    EXPECT_EQ(errors.back().hr, E_ACCESSDENIED);
}

TEST(RightsWithoutServer, LoadsFailTracedAndConnectAgainLater) {
    qv::ClearTrace();
    // Offered only later, but it must outlive the client that will hold it.
    FakeSecServer server;
    CQvSec sec;
    sec |= 0x1;
    EXPECT_EQ(sec.LoadRights(kFunction), E_FAIL);
    EXPECT_EQ(sec.GetRights(), 0u);
    EXPECT_FALSE(sec.HasAllRights(0x1));
    const auto lines = qv::TraceLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().rfind(L"qvsec(", 0), 0u) << std::string(lines.back().begin(), lines.back().end());
    EXPECT_NE(lines.back().find(L") : hr=0x80004005, dwErr="), std::wstring::npos);

    // There is no limit of attempts: once the host offers the server, the same object finds it.
    server.answers[{kFunction.GetValue(), L""}] = 0x1;
    qvtest::ScopedRunningServer running(QVSECSERVER_PROGID, static_cast<IQvSecServer*>(&server));
    EXPECT_EQ(sec.LoadRights(kFunction), S_OK);
    EXPECT_EQ(sec.GetRights(), 0x1u);
}

TEST(RightsWithoutServer, TheLastErrorSurvivesTheTrace) {
    SetLastError(1234);
    CQvSec sec;
    EXPECT_EQ(sec.Connect(), E_FAIL);
    EXPECT_EQ(GetLastError(), 1234u);
}

TEST_F(Rights, TheUser) {
    CString name = L"old", userId = L"old";
    long id = -7;
    EXPECT_EQ(CQvSec().GetUser(&name, &userId, &id), S_OK);
    EXPECT_EQ(name, L"Kursleiter");
    EXPECT_EQ(userId, L"8E1C4F1A-0B7C-4D55-9A1E-2C3D4E5F6A7B");
    EXPECT_EQ(id, 2);

    // On failure the texts are emptied and the id is left as the caller set it.
    server.failUser = true;
    name = L"old";
    id = -7;
    EXPECT_EQ(CQvSec().GetUser(&name, &userId, &id), E_FAIL);
    EXPECT_TRUE(name.IsEmpty());
    EXPECT_TRUE(userId.IsEmpty());
    EXPECT_EQ(id, -7);

    server.failUser = false;
    server.offerUser = false;
    name = L"old";
    EXPECT_EQ(CQvSec().GetUser(&name, &userId, &id), E_NOINTERFACE);
    EXPECT_TRUE(name.IsEmpty());
}

TEST_F(Rights, GrantsAndDialogs) {
    const CQvGUID course(L"0A1B2C3D-4E5F-4061-8273-94A5B6C7D8E9");
    const ULONG baseline = server.refs;
    EXPECT_EQ(CQvSec::SetRights(course.GetGUID(TRUE), CString(), CQvGUID(L"{00D42EE5-F393-45EB-BCDF-5873430E1432}"),
                                CString(L"Kurs A"), 0x88000F01u),
              S_OK);
    ASSERT_EQ(server.grants.size(), 1u);
    EXPECT_EQ(server.grants[0].objectKey, L"0A1B2C3D-4E5F-4061-8273-94A5B6C7D8E9");
    EXPECT_EQ(server.grants[0].key2, L"");
    EXPECT_EQ(server.grants[0].name, L"Kurs A");
    EXPECT_EQ(server.grants[0].mask, -2013262079L) << "the mask goes over as a signed 32-bit value";
    EXPECT_EQ(server.refs, baseline) << "the admin interface and the server are released";

    server.offerAdmin = false;
    EXPECT_EQ(CQvSec::SetRights(CString(L"x"), CString(), kFunction, CString(L"n"), 1), E_NOINTERFACE);

    CQvSec sec;
    EXPECT_EQ(sec.ShowRightDlg(kFunction, 1), S_OK);
    EXPECT_EQ(sec.ShowSetRightDlg(kObject, course.GetGUID(TRUE), 1), S_OK);
    ASSERT_EQ(server.dialogs.size(), 2u);
    EXPECT_EQ(server.dialogs[0].first, kFunction.GetValue());
    EXPECT_EQ(server.dialogs[1].first, kObject.GetValue());
    EXPECT_EQ(server.dialogKey, L"0A1B2C3D-4E5F-4061-8273-94A5B6C7D8E9");
}

TEST_F(Rights, TheDestructorReleasesTheServer) {
    const ULONG baseline = server.refs;
    {
        CQvSec sec;
        sec.LoadRights(kFunction);
        sec.LoadRights(kFunction);
        EXPECT_EQ(server.refs, baseline + 1) << "one reference, held from the first call on";
    }
    EXPECT_EQ(server.refs, baseline);
}

}  // namespace
