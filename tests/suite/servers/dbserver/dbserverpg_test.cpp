// The database server with a profile on a PostgreSQL database: it hands out connections on it,
// shared by the thread's connections, and reports their transaction depth.
#include "pgcluster.h"
#include "qvado.h"
#include "qvcomserver.h"
#include "qvdbserverint.h"
#include "qvregistry.h"
#include "servertest.h"
#include "utf.h"

#include <gtest/gtest.h>

namespace {

using qv::ado::ComPtr;

BSTR NewBstr(const std::wstring& s) { return SysAllocStringLen(s.data(), static_cast<UINT>(s.size())); }

TEST(DBServerPg, AProfileOnAServerDatabaseGetsConnectionsThatShareTheTransaction) {
    qvtest::ServerEnvironment env;
    qvtest::PgTestDatabase db;
    ComPtr<IQvDBServer> server;
    ASSERT_EQ(CoCreateInstance(CLSID_QvDBServer, nullptr, CLSCTX_INPROC_SERVER, IID_IQvDBServer,
                               reinterpret_cast<void**>(&server)),
              S_OK);
    ComPtr<IQvDBConnectionInfo> info;
    ASSERT_EQ(server->QueryInterface(IID_IQvDBConnectionInfo, reinterpret_cast<void**>(&info)), S_OK);
    const std::wstring key = L"Software\\Qovaro\\QvDBServer\\Qovaro.QvPool";
    ASSERT_TRUE(CQvRegistry::SetValue(key.c_str(), L"DBConnection", CString(qv::FromUtf8(db.url()).c_str())));

    BSTR profile = NewBstr(L"Qovaro.QvPool");
    ComPtr<_Connection> outer, inner;
    EXPECT_EQ(server->GetConnection(profile, 0, &outer), S_OK);
    EXPECT_EQ(server->GetConnection(profile, 0, &inner), S_OK);
    ASSERT_TRUE(outer && inner);
    long level = 0, depth = -1;
    ASSERT_EQ(outer->BeginTrans(&level), S_OK);
    ASSERT_EQ(info->GetTransactionDepth(inner.get(), &depth), S_OK);
    EXPECT_EQ(depth, 1);
    EXPECT_EQ(server->ReleaseConnection(inner.get(), 0), S_OK);
    ASSERT_EQ(outer->RollbackTrans(), S_OK);
    ASSERT_EQ(info->GetTransactionDepth(outer.get(), &depth), S_OK);
    EXPECT_EQ(depth, 0);
    EXPECT_EQ(server->ReleaseConnection(outer.get(), 0), S_OK);

    // A server that does not answer: a failure, not a file of that name.
    ASSERT_TRUE(CQvRegistry::SetValue(key.c_str(), L"DBConnection", CString(L"postgresql://qvtest@127.0.0.1:1/nq2")));
    ComPtr<_Connection> none;
    EXPECT_EQ(server->GetConnection(profile, 0, &none), E_FAIL);
    EXPECT_FALSE(none);
    SysFreeString(profile);
}

}  // namespace
