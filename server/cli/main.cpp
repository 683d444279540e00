// lumeko-cli: one call of an application server method from a shell (see cli.h).
#include "server/cli/cli.h"

#include <QCoreApplication>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const int code = lumeko::server::cli::run(QCoreApplication::arguments().mid(1), out, err,
                                              lumeko::server::cli::httpLinks());
    out.flush();
    err.flush();
    return code;
}
