// Every declared server method against the server a school runs: registered there, nothing served
// without a declaration, and every right a declaration names present in the reference data's
// rights tree, so that an administrator can grant it.

#include "server/core/service.h"
#include "server/methods/methods.h"
#include "server/seed/seed.h"
#include "testdb.h"
#include "wire/protocol/methods.h"

#include <QSet>

#include <gtest/gtest.h>

using namespace lumeko;
using namespace lumeko::server;
namespace protocol = lumeko::wire::protocol;

namespace {

QString text(std::string_view s)
{
    return QString::fromLatin1(s.data(), qsizetype(s.size()));
}

TEST(Declarations, EveryMethodIsDeclaredRegisteredAndNamesARightTheRightsTreeHolds)
{
    server::testing::TestDatabase testDb(Backend::Sqlite);
    {
        std::unique_ptr<Database> db = testDb.open();
        seedSystemData(*db);
    }
    ServerOptions options;
    options.database = testDb.url();
    Service service(options);
    installSchoolMethods(service);
    Database &db = service.connection();

    QSet<QString> declared;
    for (const protocol::Method *m : protocol::allMethods()) {
        const QString name = m->fullName();
        EXPECT_FALSE(declared.contains(name.toLower())) << "declared twice: " << name.toStdString();
        declared.insert(name.toLower());
        const protocol::Method *served = service.findMethod(m->objectName(), m->methodName());
        ASSERT_TRUE(served) << "not served: " << name.toStdString();
        EXPECT_EQ(served->fullName(), name);
        EXPECT_EQ(protocol::findMethod(m->objectName().toUpper(), m->methodName().toLower()), m);
        EXPECT_LE(m->minArgs(), m->maxArgs());
        for (const protocol::Grant &g : m->right.granted()) {
            const QString id = text(g.functionId), key = text(g.key);
            const qint64 rows = key.isEmpty()
                                    ? db.scalar("SELECT count(*) FROM \"XT_Function\" WHERE \"sFunId\" = ?", {id}).toLongLong()
                                    : db.scalar("SELECT count(*) FROM \"XT_Function\" WHERE \"sParFunId\" = ? AND \"sFunKey\" = ?", {id, key}).toLongLong();
            EXPECT_EQ(rows, 1) << name.toStdString() << " names " << id.toStdString() << "/" << key.toStdString();
        }
        // Written-back slots are the only ones the server may answer through.
        for (const protocol::Arg &a : m->args())
            if (a.pass == protocol::Pass::Out) EXPECT_NE(a.kind, protocol::Kind::ChangePacket) << name.toStdString();
    }
    // The other way round: whatever the service answers to is declared.
    for (const QString &object : service.objectNames())
        for (const protocol::Method *m : protocol::allMethods())
            if (m->objectName().compare(object, Qt::CaseInsensitive) == 0) EXPECT_TRUE(declared.contains(m->fullName().toLower()));
    EXPECT_EQ(service.methodCount(), declared.size()) << "a method is served without a declaration";
}

TEST(Declarations, ArgumentsAreCheckedAgainstTheDeclarationWithMessagesNamingMethodAndArgument)
{
    using wire::Argument;
    const protocol::Method &m = protocol::QStudByGrade;
    const auto check = [&](QList<Argument> args) { return protocol::checkArguments(m, args); };
    const Argument data{wire::Null{}, true};
    EXPECT_EQ(check({{QStringLiteral("1701")}, {qint64(2026)}, {QStringLiteral("S1")}, {QStringLiteral("Y")}, {QString()}, data}), QString());
    EXPECT_EQ(check({{QStringLiteral("1")}, {QStringLiteral("viewers")}, {QStringLiteral("S1")}, {QStringLiteral("N")}, {QString()}, data}), QString())
        << "a stage's viewer list stands in the intake year's slot";
    EXPECT_EQ(check({{QStringLiteral("1701")}, {2026.0}, {QStringLiteral("S1")}, {QStringLiteral("Y")}, {QString()}, data}), QString());
    EXPECT_EQ(check({{QStringLiteral("1701")}, {qint64(2026)}, {QStringLiteral("S1")}, {QStringLiteral("Y")}, {QString()}, {wire::Null{}, false}}),
              "StudentQry.QStudByGrade: argument 6 (Data) is written back and must be passed by reference");
    EXPECT_EQ(check({{qint64(1701)}, {qint64(2026)}, {QStringLiteral("S1")}, {QStringLiteral("Y")}, {QString()}, data}),
              "StudentQry.QStudByGrade: argument 1 (GradeCode) must be a text, not an integer");
    EXPECT_EQ(check({{QStringLiteral("1701")}, {2026.5}, {QStringLiteral("S1")}, {QStringLiteral("Y")}, {QString()}, data}),
              "StudentQry.QStudByGrade: argument 2 (InYear) must be an integer or text, not a float");
    EXPECT_TRUE(check({{QStringLiteral("1701")}}).startsWith("StudentQry.QStudByGrade takes 6 arguments (GradeCode text, var InYear integer or text"));
    // An optional last argument may be left off.
    EXPECT_EQ(protocol::checkArguments(protocol::QRegisterByKey, {{QStringLiteral("SysParams")}, {QStringLiteral("MaxImageSize")}}), QString());
    EXPECT_TRUE(protocol::checkArguments(protocol::QRegisterByKey, {{QStringLiteral("SysParams")}}).contains("takes 2 to 3 arguments"));
    // Change packets never stand in for nothing.
    EXPECT_TRUE(protocol::checkArguments(protocol::UpFamily, {{wire::Null{}}, {qint64(-1)}, {qint64(0), true}}).contains("change packet"));
    EXPECT_EQ(protocol::describeRight(protocol::UpStudent.right), "4009/Manager or 4009/ChangeClass or 4009/Import");
    EXPECT_EQ(protocol::describeRight(protocol::session::SignIn.right), "anyone");
}

} // namespace
