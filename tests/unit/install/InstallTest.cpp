// The install room: the running client found whatever its letter case, and
// ended only when it is the client.
#include <gtest/gtest.h>

#include "unit/CloseClient.h"
#include "update/install/ClientProcess.h"

using closeclient::StartClient;
using closeclient::TwoClients;
using harness::Process;

TEST(ClientProcess, FindsTheFirstClientInSnapshotOrderWhateverItsLetterCase)
{
    ASSERT_EQ(kNoClientProcess, FindClientProcess()) << "a client from elsewhere is running";
    TwoClients clients;
    ASSERT_TRUE(clients.Start());

    ASSERT_NE(0u, clients.firstId);
    EXPECT_EQ(clients.firstId, FindClientProcess());

    // With the first gone, the other one, named in the other letter case, is
    // found.
    clients.first->Kill();
    EXPECT_EQ(clients.second->Id(), FindClientProcess());

    clients.second->Kill();
    EXPECT_EQ(kNoClientProcess, FindClientProcess());
}

TEST(ClientProcess, TerminatesOnlyTheClientAndWaitsForItsEnd)
{
    // An id from an older snapshot may belong to another program by now.
    harness::TempDir dir(L"qvx-other-");
    const std::wstring other = dir.Path() + L"NotTheClient.exe";
    ASSERT_TRUE(::CopyFileW(harness::StandInPath(L"QOravel.exe").c_str(), other.c_str(), FALSE));
    Process unrelated;
    ASSERT_TRUE(unrelated.Start(other));
    EXPECT_FALSE(TerminateClientProcess(unrelated.Id()));
    EXPECT_TRUE(unrelated.IsRunning());
    EXPECT_FALSE(TerminateClientProcess(kNoClientProcess));

    Process client;
    ASSERT_TRUE(StartClient(client));
    EXPECT_TRUE(TerminateClientProcess(client.Id()));
    EXPECT_FALSE(client.IsRunning()) << "termination was not waited for";
}
