// Every declared method, by its declaration, with hostile values in every argument: injection
// text, a text of 300,000 characters, values of the wrong kind and extreme integers. Whatever a
// call answers, a refusal says why, no statement of the text reaches SQL (the register and every
// table stay), and the server keeps serving. A method added to wire/protocol is covered without a
// line here.

#include "fixtureschool.h"
#include "server/core/auth.h"
#include "server/storage/schema.h"
#include "wire/protocol/methods.h"

#include <gtest/gtest.h>

#include <limits>

using namespace lumeko;
using namespace lumeko::server;
using namespace lumeko::server::testing;
namespace P = wire::protocol;

namespace {

const QString kInjection = QStringLiteral("x'); DROP TABLE \"XJ_Student\"; --");

// A plausible value for an argument of the fixture school, by its kind and name.
wire::Value plausible(const P::Arg &a)
{
    const QString name = QString::fromLatin1(a.name.data(), qsizetype(a.name.size()));
    switch (a.kind) {
    case P::Kind::Text:
        if (name == u"SchoolId") return QStringLiteral("S1");
        if (name == u"GradeCode") return QStringLiteral("1701");
        if (name == u"ExamCode" || name == u"SubjectCode") return QStringLiteral("001");
        if (name == u"PageName") return QStringLiteral("⊥");
        return QStringLiteral("x");
    case P::Kind::Integer:
    case P::Kind::TextOrInteger:
        return name == u"InYear" ? qint64(2026) : qint64(0);
    case P::Kind::Real:
        return 0.0;
    case P::Kind::Boolean:
        return false;
    case P::Kind::DateTime:
        return QDateTime(QDate(2026, 12, 1), QTime(8, 0), Qt::UTC);
    case P::Kind::Bytes:
        return QByteArray("x");
    case P::Kind::DataPacket:
        return wire::DataPacket({{"x", wire::FieldType::Text, 0, 0}});
    case P::Kind::ChangePacket:
    case P::Kind::ChangesOrNone:
        return wire::ChangePacket{};
    case P::Kind::None:
    case P::Kind::Any:
        break;
    }
    return wire::Null{};
}

QList<wire::Argument> plausibleArgs(const P::Method &m)
{
    QList<wire::Argument> args;
    for (const P::Arg &a : m.args())
        args.append({a.pass == P::Pass::Out ? wire::Value(wire::Null{}) : plausible(a), a.pass != P::Pass::In});
    return args;
}

// The hostile values tried in an argument of this kind.
QList<wire::Value> hostile(const P::Arg &a)
{
    QList<wire::Value> out{kInjection, QString(300000, u'a'), wire::DataPacket({{"x", wire::FieldType::Text, 0, 0}}), wire::Null{}};
    if (a.kind == P::Kind::Integer || a.kind == P::Kind::TextOrInteger || a.kind == P::Kind::Real)
        out << std::numeric_limits<qint64>::max() << std::numeric_limits<qint64>::min() << qint64(-1);
    return out;
}

class AttackTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override
    {
        LUMEKO_REQUIRE_BACKEND(GetParam());
        fx = std::make_unique<ServiceFixture>(GetParam());
        admin = fx->signIn("admin", "lumeko");
    }
    qint64 students() { return fx->db().scalar("SELECT COUNT(*) FROM \"XJ_Student\"").toLongLong(); }

    std::unique_ptr<ServiceFixture> fx;
    QString admin;
};

TEST_P(AttackTest, EveryArgumentOfEveryMethodTakesHostileValuesWithoutHarm)
{
    const qint64 before = students();
    int methods = 0, calls = 0, refused = 0;
    QStringList silent;
    for (const P::Method *m : P::allMethods()) {
        // Signing out would end the session the calls run in.
        if (m->methodName() == u"SignOut") continue;
        ++methods;
        for (int i = 0; i < m->args().size(); ++i) {
            const P::Arg &a = m->args()[size_t(i)];
            if (a.pass == P::Pass::Out) continue;
            for (const wire::Value &v : hostile(a)) {
                QList<wire::Argument> args = plausibleArgs(*m);
                args[i].value = v;
                const wire::Reply r = fx->call(m->objectName(), m->methodName(), args, admin);
                ++calls;
                if (r.ok()) continue;
                ++refused;
                if (r.message.trimmed().isEmpty()) silent << m->fullName() + QStringLiteral(" argument ") + QString::number(i + 1);
            }
        }
        // Still serving, and the statement in the text never ran.
        const wire::Reply alive = fx->call("SysQry", "DBDate", {}, admin);
        ASSERT_TRUE(alive.ok()) << "after " << m->fullName().toStdString() << ": " << alive.message.toStdString();
        ASSERT_EQ(students(), before) << "after " << m->fullName().toStdString();
    }
    EXPECT_TRUE(silent.isEmpty()) << "refused without a word: " << silent.join(u", ").toStdString();
    EXPECT_GT(refused, calls / 2) << "most hostile values are refused (" << refused << " of " << calls << ")";
    // Every table of the schema is still there, and no text was stored longer than its column,
    // which SQLite would take without a word.
    for (const TableDef &t : schemaTables())
        for (const ColumnDef &c : t.columns) {
            if (c.type != wire::FieldType::Text || c.size <= 0) continue;
            const QVariant longer = fx->db().scalar(
                QStringLiteral("SELECT COUNT(*) FROM %1 WHERE length(%2) > %3").arg(Database::quoted(t.name), Database::quoted(c.name)).arg(c.size));
            EXPECT_EQ(longer.toLongLong(), 0) << t.name.toStdString() << "." << c.name.toStdString();
        }
    std::printf("[ attack   ] %d methods, %d hostile calls, %d refused\n", methods, calls, refused);
}

// A user of school S1 names school S2 in every method that takes a school: every call is refused,
// and no row of S2 in any table changes, whatever the call was.
TEST_P(AttackTest, NoMethodServesOrChangesAnotherSchool)
{
    const auto rowsOfS2 = [&] {
        QStringList out;
        for (const TableDef &t : schemaTables()) {
            if (t.columnIndex(u"SchoolCode") < 0) continue;
            const wire::DataPacket p =
                fx->db().select(QStringLiteral("SELECT * FROM %1 WHERE \"SchoolCode\" = 'S2'").arg(Database::quoted(t.name)), {}, t.fieldDefs());
            for (qsizetype r = 0; r < p.rowCount(); ++r) {
                QStringList cells;
                for (const QVariant &v : p.row(r))
                    cells << v.toString();
                out << t.name + u':' + cells.join(u'|');
            }
        }
        out.sort();
        return out;
    };
    const QStringList before = rowsOfS2();
    ASSERT_FALSE(before.isEmpty()) << "the fixture's second school has rows";
    int tried = 0;
    QStringList served;
    for (const P::Method *m : P::allMethods()) {
        if (m->methodName() == u"SignOut") continue;
        for (int i = 0; i < m->args().size(); ++i) {
            const P::Arg &a = m->args()[size_t(i)];
            if (a.name != "SchoolId" || a.pass == P::Pass::Out) continue;
            QList<wire::Argument> args = plausibleArgs(*m);
            args[i].value = QStringLiteral("S2");
            const wire::Reply r = fx->call(m->objectName(), m->methodName(), args, admin);
            ++tried;
            if (r.ok()) served << m->fullName();
        }
    }
    EXPECT_TRUE(served.isEmpty()) << "answered for another school: " << served.join(u", ").toStdString();
    EXPECT_EQ(rowsOfS2(), before);
    std::printf("[ schools  ] %d calls naming another school, %lld answered\n", tried, static_cast<long long>(served.size()));
}

// A teacher who holds no function calls every method that needs one: each is refused as
// Forbidden on the server, before the method runs.
TEST_P(AttackTest, EveryMethodThatNeedsAFunctionRefusesATeacherWithoutIt)
{
    fx->db().exec("INSERT INTO \"JC_Teacher\" (\"sCode\", \"SchoolCode\", \"sName\", \"sLoginName\", \"sPass\", \"sRole\", \"iState\", \"iUserType\", "
                  "\"bViewAllGrade\", \"bViewAllClass\") VALUES ('{00000000-0000-0000-0000-0000000000E0}', 'S1', ?, 'nobody', ?, '', 0, 0, ?, ?)",
                  {QStringLiteral("无权老师"), hashPassword(QStringLiteral("pwn"), PasswordCost::Minimal), fx->db().toDb(false, wire::FieldType::Boolean),
                   fx->db().toDb(false, wire::FieldType::Boolean)});
    const QString nobody = fx->signIn("nobody", "pwn");
    int tried = 0;
    QStringList passed;
    for (const P::Method *m : P::allMethods()) {
        if (m->right.who != P::Right::Who::Granted) continue;
        const wire::Reply r = fx->call(m->objectName(), m->methodName(), plausibleArgs(*m), nobody);
        ++tried;
        if (r.error != wire::ErrorCode::Forbidden) passed << m->fullName() + QStringLiteral(" (") + r.message.left(80) + u')';
    }
    EXPECT_TRUE(passed.isEmpty()) << "not refused: " << passed.join(u", ").toStdString();
    EXPECT_GT(tried, 0);
    std::printf("[ rights   ] %d methods that need a function, %lld passed wrongly\n", tried, static_cast<long long>(passed.size()));
}

INSTANTIATE_TEST_SUITE_P(Backends, AttackTest, ::testing::Values(Backend::Sqlite, Backend::Postgres), backendParamName);

} // namespace
