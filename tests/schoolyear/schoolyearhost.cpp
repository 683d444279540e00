#include "schoolyearhost.h"

#include "host/pub/pub.h"
#include "schoolyear/schoolyearrules.h"
#include "server/core/auth.h"
#include "server/methods/methods.h"
#include "server/storage/schema.h"

#include <QTemporaryDir>

namespace lumeko::schoolyear::testing {

using server::Database;

wire::Reply RecordingService::handle(wire::Call &call, const wire::CallOrigin &origin)
{
    methods << call.method;
    if (!breakMethod.isEmpty() && call.method == breakMethod && ++m_seen == breakAtCall)
        return wire::Reply::failure(wire::ErrorCode::Timeout, QStringLiteral("the connection was lost"));
    return m_inner.handle(call, origin);
}

namespace {

QString cellText(const QVariant &v)
{
    if (wire::isNull(v)) return QStringLiteral("∅");
    if (v.typeId() == QMetaType::QDateTime) return v.toDateTime().toUTC().toString(Qt::ISODateWithMs);
    if (v.typeId() == QMetaType::Double) return QString::number(v.toDouble(), 'g', 17);
    return v.toString();
}

QStringList lines(const wire::DataPacket &p)
{
    QStringList out;
    for (qsizetype r = 0; r < p.rowCount(); ++r) {
        QStringList cells;
        for (int f = 0; f < p.fieldCount(); ++f)
            cells << cellText(p.value(r, f));
        out << cells.join(u'|');
    }
    return out;
}

} // namespace

TableDump dumpTables(Database &db)
{
    TableDump dump;
    for (const server::TableDef &t : server::schemaTables()) {
        if (kOperationRecords.contains(t.name)) continue;
        QStringList cols;
        for (const server::ColumnDef &c : t.columns)
            cols << Database::quoted(c.name);
        QStringList rows = lines(db.select(QStringLiteral("SELECT %1 FROM %2").arg(cols.join(u", "), Database::quoted(t.name)), {}, t.fieldDefs()));
        rows.sort();
        dump.insert(t.name, rows);
    }
    return dump;
}

QStringList examAnalysis(Database &db, const QString &school)
{
    using wire::FieldType;
    const auto text = [](const char *name) { return wire::FieldDef{QString::fromLatin1(name), FieldType::Text, 0, 0}; };
    const auto integer = [](const char *name) { return wire::FieldDef{QString::fromLatin1(name), FieldType::Integer, 0, 0}; };
    const auto real = [](const char *name) { return wire::FieldDef{QString::fromLatin1(name), FieldType::Float, 0, 0}; };
    // The candidates of each class as the exam recorded them, and those the register still holds.
    QStringList out =
        lines(db.select(QStringLiteral("SELECT e.\"Id\", e.\"GradeCode\", e.\"InYear\", e.\"ExamCode\", es.\"ClassCode\", COUNT(*), SUM(es.\"FullTotal\"), "
                                       "MIN(es.\"FullOrder\"), MAX(es.\"FullOrder\"), COUNT(st.\"sCode\") FROM \"CJ_ExamTotal\" e "
                                       "JOIN \"CJ_ExamStudent\" es ON es.\"examId\" = e.\"Id\" "
                                       "LEFT JOIN \"XJ_Student\" st ON st.\"sCode\" = es.\"StudentCode\" AND st.\"SchoolCode\" = e.\"SchoolCode\" "
                                       "WHERE e.\"SchoolCode\" = ? GROUP BY e.\"Id\", e.\"GradeCode\", e.\"InYear\", e.\"ExamCode\", es.\"ClassCode\" "
                                       "ORDER BY e.\"Id\", es.\"ClassCode\""),
                        {school},
                        {integer("Id"), text("GradeCode"), integer("InYear"), text("ExamCode"), text("ClassCode"), integer("Candidates"), real("Totals"),
                         integer("Best"), integer("Worst"), integer("Registered")}));
    // Each subject's scores per class.
    out +=
        lines(db.select(QStringLiteral("SELECT e.\"Id\", es.\"ClassCode\", m.\"SubjectCode\", COUNT(m.\"score\"), SUM(m.\"score\"), "
                                       "SUM(CASE WHEN m.\"score\" >= 60 THEN 1 ELSE 0 END), MIN(m.\"gradeOrder\") FROM \"CJ_ExamTotal\" e "
                                       "JOIN \"CJ_ExamStudent\" es ON es.\"examId\" = e.\"Id\" "
                                       "JOIN \"CJ_Mark\" m ON m.\"examId\" = es.\"examId\" AND m.\"StudentCode\" = es.\"StudentCode\" "
                                       "WHERE e.\"SchoolCode\" = ? GROUP BY e.\"Id\", es.\"ClassCode\", m.\"SubjectCode\" "
                                       "ORDER BY e.\"Id\", es.\"ClassCode\", m.\"SubjectCode\""),
                        {school}, {integer("Id"), text("ClassCode"), text("SubjectCode"), integer("Scores"), real("Sum"), integer("Passed"), integer("Best")}));
    return out;
}

void DemoSchoolHost::SetUp()
{
    LUMEKO_REQUIRE_BACKEND(GetParam());
    m_testDb = std::make_unique<server::testing::TestDatabase>(GetParam());
    static QTemporaryDir files;
    now = QDateTime(QDate(2025, 9, 5), QTime(8, 0), Qt::UTC);
    server::ServerOptions options;
    options.database = m_testDb->url();
    options.fileStore = files.path();
    options.passwordCost = server::PasswordCost::Minimal;
    options.clock = [this] { return now; };
    m_service = std::make_unique<server::Service>(options);
    server::installSchoolMethods(*m_service);
    server::seedSystemData(db());
    server::DemoOptions demo;
    demo.scale = 0.05;
    demo.today = QDate(2025, 6, 15);
    demo.hashPassword = [](const QString &pw) { return server::hashPassword(pw, server::PasswordCost::Minimal); };
    const QList<server::DemoAccount> accounts = server::seedDemoSchool(db(), demo);
    m_school = demo.schoolId;
    recorder = std::make_unique<RecordingService>(*m_service);
    m_link = std::make_unique<wire::LocalLink>(*recorder);
    setToday(QDate(2025, 9, 5));
    achieve::setUpGradePause([this](int ms) { pauses << ms; });
    QString error;
    ASSERT_TRUE(pub::signIn(*m_link, accounts.first().login, accounts.first().password, &error)) << error.toStdString();
}

void DemoSchoolHost::TearDown()
{
    pub::signOut();
    achieve::setSchoolYearToday({});
    achieve::setUpGradePause({});
}

QStringList DemoSchoolHost::operationLog()
{
    const wire::DataPacket p = db().select(QStringLiteral("SELECT \"sText\" FROM \"XT_Log\" WHERE \"SchoolCode\" = ? ORDER BY \"nId\""), {m_school},
                                           {{"sText", wire::FieldType::Text, 0, 0}});
    QStringList out;
    for (qsizetype r = 0; r < p.rowCount(); ++r)
        out << p.value(r, 0).toString();
    return out;
}

void DemoSchoolHost::setToday(const QDate &day)
{
    achieve::setSchoolYearToday([day] { return day; });
}

} // namespace lumeko::schoolyear::testing
