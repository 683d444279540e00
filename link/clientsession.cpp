#include "link/clientsession.h"
#include "wire/protocol/methods.h"

namespace lumeko::link {

namespace session = wire::protocol::session;

ClientSession::ClientSession(ServerLink &link) : m_link(link) {}

wire::Reply ClientSession::signIn(const QString &login, const QString &password, const QString &computer)
{
    m_token.clear();
    wire::Reply reply = call(session::SignIn.objectName(), session::SignIn.methodName(), {{login, false}, {password, false}, {computer, false}});
    if (!reply.ok()) return reply;
    const QString *token = std::get_if<QString>(&reply.result);
    if (!token || token->isEmpty())
        return wire::Reply::failure(wire::ErrorCode::Internal,
                                    QStringLiteral("Session.SignIn answered %1 instead of a session token").arg(wire::valueKindName(reply.result)));
    m_token = *token;
    return reply;
}

wire::Reply ClientSession::signOut()
{
    wire::Reply reply = call(session::SignOut.objectName(), session::SignOut.methodName());
    m_token.clear();
    return reply;
}

wire::Reply ClientSession::call(const QString &object, const QString &method, QList<wire::Argument> args)
{
    wire::Call c{object, method, m_token, std::move(args)};
    return m_link.call(c);
}

wire::Reply ClientSession::context()
{
    wire::Reply reply = call(session::Context.objectName(), session::Context.methodName());
    if (!reply.ok()) return reply;
    const wire::DataPacket *packet = std::get_if<wire::DataPacket>(&reply.result);
    if (!packet || packet->rowCount() != 1)
        return wire::Reply::failure(wire::ErrorCode::Internal,
                                    packet ? QStringLiteral("Session.Context answered %1 rows instead of one").arg(packet->rowCount())
                                           : QStringLiteral("Session.Context answered %1 instead of a data packet").arg(wire::valueKindName(reply.result)));
    return reply;
}

} // namespace lumeko::link
