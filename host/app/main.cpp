// lumeko: the host application. Signs in to the school's server (the embedded demo school by
// default, or --server https://host:port [--ca FILE]), loads the academic module and hosts its pages.

#include "host/app/mainwindow.h"
#include "host/app/signindialog.h"
#include "host/pub/provider.h"
#include "host/pub/pub.h"
#include "host/pub/qtprovider.h"
#include "link/httplink.h"
#include "server/core/auth.h"
#include "server/core/service.h"
#include "server/methods/methods.h"
#include "server/seed/seed.h"
#include "server/storage/migrations.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QStandardPaths>

#include <cstdio>
#include <memory>

using namespace lumeko;

namespace {

bool hasDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

// The demo school in the user's data folder, made on first start.
server::DatabaseUrl demoDatabase(QString *made)
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/lumeko");
    QDir().mkpath(folder);
    server::DatabaseUrl url;
    url.backend = server::Backend::Sqlite;
    url.path = folder + QStringLiteral("/demo.db");
    if (QFileInfo::exists(url.path)) return url;
    server::Database db(url);
    server::migrate(db);
    server::seedSystemData(db);
    server::DemoOptions demo;
    demo.hashPassword = [](const QString &pw) { return server::hashPassword(pw); };
    server::seedDemoSchool(db, demo);
    *made = url.path;
    return url;
}

} // namespace

int main(int argc, char **argv)
{
    if (!hasDisplay()) {
        std::fprintf(stderr, "lumeko needs a display. On a desktop run `make run`; on a machine without one,\n"
                             "`make serve` serves the demo school at 127.0.0.1:8470 for `build/bin/lumeko-cli`\n"
                             "(see README.md), or try the host offscreen with QT_QPA_PLATFORM=offscreen.\n");
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("lumeko"));
    QApplication::setApplicationDisplayName(QStringLiteral("学业管理"));
    QCommandLineParser options;
    options.addHelpOption();
    options.addOption({QStringLiteral("server"), QStringLiteral("a shared server, https://host:port (http:// on this computer)"), QStringLiteral("URL")});
    options.addOption({QStringLiteral("ca"),
                       QStringLiteral("the school's own certificate authority (PEM) to check an https:// server against, "
                                      "instead of the system's"),
                       QStringLiteral("FILE")});
    options.process(app);

    pub::QtProviderOptions hostOptions;
    hostOptions.appPath = QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/lumeko")) + u'/';
    hostOptions.appName = QStringLiteral("学业管理");
    pub::QtProvider provider(hostOptions);
    pub::installProvider(&provider);

    std::unique_ptr<server::Service> embedded;
    std::unique_ptr<wire::ServerLink> link;
    QString where;
    try {
        if (options.isSet(QStringLiteral("server"))) {
            QString error;
            auto linkOptions = link::HttpLinkOptions::fromUrl(options.value(QStringLiteral("server")), &error);
            if (linkOptions && options.isSet(QStringLiteral("ca"))) {
                // The server's certificate is checked against this authority alone; a file that cannot
                // be read is said now rather than at sign-in.
                const QString ca = options.value(QStringLiteral("ca"));
                if (!linkOptions->tls)
                    error = QStringLiteral("--ca is for an https:// server; %1 is not one").arg(linkOptions->url());
                else if (!QFileInfo(ca).isReadable())
                    error = QStringLiteral("--ca: cannot read %1").arg(ca);
                else
                    linkOptions->caFile = ca;
            }
            if (!linkOptions || !error.isEmpty()) {
                QMessageBox::critical(nullptr, QStringLiteral("学业管理"), error);
                return 2;
            }
            link = std::make_unique<link::HttpLink>(*linkOptions);
            where = QStringLiteral("服务器：%1").arg(linkOptions->url());
        } else {
            QString made;
            server::ServerOptions serverOptions;
            serverOptions.database = demoDatabase(&made);
            serverOptions.fileStore = QFileInfo(serverOptions.database.path).absolutePath() + QStringLiteral("/files");
            embedded = std::make_unique<server::Service>(serverOptions);
            server::installSchoolMethods(*embedded);
            link = std::make_unique<wire::LocalLink>(*embedded);
            where = QStringLiteral("本机演示学校（管理员 admin，密码 lumeko）");
        }
    } catch (const std::exception &e) {
        QMessageBox::critical(nullptr, QStringLiteral("学业管理"), QString::fromUtf8(e.what()));
        return 1;
    }

    host::SignInDialog signIn(*link, where);
    signIn.edLogin->setText(QStringLiteral("admin"));
    if (signIn.exec() != QDialog::Accepted) return 0;

    host::Module module;
    QString error;
    if (!module.load(QCoreApplication::applicationDirPath() + QStringLiteral("/libLumekoAchieve.so"), &error)) {
        QMessageBox::critical(nullptr, QStringLiteral("学业管理"), QStringLiteral("无法加载学业模块：%1").arg(error));
        return 1;
    }
    host::MainWindow window(module);
    window.buildModuleMenu();
    window.showAsLastTime();
    const int rc = app.exec();
    pub::signOut();
    return rc;
}
