#pragma once
// The base of the suites that drive pages and dialogs: the scripted host, an embedded server on the
// fixture school, and signing in through the host services (signed out after every test).
//
// The server runs on SQLite unless the fixture is made for another back end. A suite whose tests
// run on both derives its parameterised fixture from OnBackend:
//
//     class SavingOnBothBackends : public pub::testing::OnBackend<StudentPageTest> {};
//     TEST_P(SavingOnBothBackends, ...) { ... }
//     INSTANTIATE_TEST_SUITE_P(Backends, SavingOnBothBackends, pub::testing::bothBackends(),
//                              server::testing::backendParamName);
//
// PostgreSQL tests are skipped when LUMEKO_TEST_PG is not set. A fixture that overrides SetUp calls
// SignedInHost::SetUp first and returns when the test IsSkipped().

#include "fixtureschool.h"
#include "host/pub/provider.h"
#include "scriptedprovider.h"

#include <gtest/gtest.h>

namespace lumeko::pub::testing {

class SignedInHost : public ::testing::Test {
protected:
    explicit SignedInHost(server::Backend backend = server::Backend::Sqlite) : backend(backend), fx{runnable(backend)} {}

    void SetUp() override { LUMEKO_REQUIRE_BACKEND(backend); }
    void TearDown() override { pub::signOut(); }
    void signInAs(const char *login, const char *password)
    {
        QString error;
        ASSERT_TRUE(pub::signIn(link, QString::fromLatin1(login), QString::fromLatin1(password), &error)) << error.toStdString();
    }

    const server::Backend backend;
    ScriptedProvider host;
    server::testing::ServiceFixture fx;
    wire::LocalLink link{fx.service()};

private:
    // A back end that is not at hand is stood in for by SQLite until SetUp skips the test.
    static server::Backend runnable(server::Backend wanted)
    {
        QString why;
        return server::testing::TestDatabase::available(wanted, &why) ? wanted : server::Backend::Sqlite;
    }
};

template <class Fixture>
class OnBackend : public ::testing::WithParamInterface<server::Backend>, public Fixture {
protected:
    OnBackend() : Fixture(this->GetParam()) {}
};

inline auto bothBackends() { return ::testing::Values(server::Backend::Sqlite, server::Backend::Postgres); }

} // namespace lumeko::pub::testing
