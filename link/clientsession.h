#pragma once
// A signed-in session over any link: it signs in once, keeps the session token and puts it on
// every call it makes. Used by tools (lumeko-cli) and by tests; the host application does the
// same through its own services.

#include "link/link_export.h"
#include "wire/link.h"

#include <QList>
#include <QString>

namespace lumeko::link {

using wire::CallOrigin;
using wire::CallService;
using wire::LocalLink;
using wire::ServerLink;

class LUMEKO_LINK_EXPORT ClientSession {
public:
    // The link must outlive the session.
    explicit ClientSession(ServerLink &link);

    // Session.SignIn(login, password, computer). On success the reply's result is the token, which
    // the session keeps; a failed reply (wrong password, no connection) is returned as it came and
    // leaves the session signed out. A success whose result is no token is an Internal failure.
    wire::Reply signIn(const QString &login, const QString &password, const QString &computer);

    // Session.SignOut(); the token is dropped whatever the server answers.
    wire::Reply signOut();

    // object.method(args) with the session's token.
    wire::Reply call(const QString &object, const QString &method, QList<wire::Argument> args = {});

    // Session.Context(): the signed-in user's school, name, type and roles as a one-row data
    // packet. Any other result is an Internal failure.
    wire::Reply context();

    bool isSignedIn() const { return !m_token.isEmpty(); }
    const QString &token() const { return m_token; }
    ServerLink &link() { return m_link; }

private:
    ServerLink &m_link;
    QString m_token;
};

} // namespace lumeko::link
