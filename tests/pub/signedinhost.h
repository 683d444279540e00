#pragma once
// The base of the suites that drive pages and dialogs: the scripted host, an embedded server on the
// fixture school, and signing in through the host services (signed out after every test).

#include "fixtureschool.h"
#include "host/pub/provider.h"
#include "scriptedprovider.h"

#include <gtest/gtest.h>

namespace lumeko::pub::testing {

class SignedInHost : public ::testing::Test {
protected:
    void TearDown() override { pub::signOut(); }
    void signInAs(const char *login, const char *password)
    {
        QString error;
        ASSERT_TRUE(pub::signIn(link, QString::fromLatin1(login), QString::fromLatin1(password), &error)) << error.toStdString();
    }

    ScriptedProvider host;
    server::testing::ServiceFixture fx{server::Backend::Sqlite};
    server::LocalLink link{fx.service()};
};

} // namespace lumeko::pub::testing
