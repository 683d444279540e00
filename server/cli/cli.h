#pragma once
// lumeko-cli: calls one method of an application server from a shell and prints what it answers.
// The program is main.cpp around run(); tests drive run() over an in-process link.
//
//   lumeko-cli --server URL [--ca FILE] --user U --password P [--json] call OBJECT METHOD [ARG...]
//   lumeko-cli --server URL [--ca FILE] --user U --password P [--json] whoami

#include "wire/link.h"

#include <QString>
#include <QStringList>
#include <QTextStream>

#include <functional>
#include <memory>
#include <optional>

namespace lumeko::server::cli {

using wire::CallOrigin;
using wire::CallService;
using wire::LocalLink;
using wire::ServerLink;

enum ExitCode : int {
    Success = 0,
    ServerError = 1, // the server refused or failed (or could not be reached); the message is on stderr
    UsageError = 2,  // the command line is wrong; the usage text is on stderr
};

// The server the command line names: its address, and for an https:// one the file of the
// certificate authorities to check its certificate against (--ca; empty: the system's).
struct ServerAddress {
    QString url;
    QString caFile;
};

// Makes the link to the server the command line names; nullptr, with the reason in *error, when
// the address is none or the authority file cannot be read.
using LinkFactory = std::function<std::unique_ptr<ServerLink>(const ServerAddress &server, QString *error)>;

// Links over HTTP and HTTPS, what the program uses.
LinkFactory httpLinks();

QString usage();

// The name of an error code as the program prints it before a server's message ("Forbidden").
QString errorCodeName(wire::ErrorCode code);

// One typed argument of `call`:
//   i:2012  integer      s:0701  text (s: alone: empty text)     f:1.5  float
//   b:true  b:false      d:2024-09-01  date     t:2024-09-01T08:00:00  date-time (local time)
//   null    @file.cbor   a data packet or a change packet read from the file
// and a trailing & on any of them (i:2012&) passes it by reference. Nothing, with the reason in
// *error, for a text that is none of these.
std::optional<wire::Argument> parseArgument(const QString &text, QString *error);

// Runs one command line (without the program's name): signs in, does the command, signs out.
// Results go to `out`, messages to `err`; returns the exit code.
int run(const QStringList &args, QTextStream &out, QTextStream &err, const LinkFactory &links);

} // namespace lumeko::server::cli
