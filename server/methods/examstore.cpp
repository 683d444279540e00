#include "server/methods/examstore.h"

namespace lumeko::server {

using wire::ErrorCode;
using wire::FieldType;

namespace {

std::optional<StoredExam> readExam(Database &db, const QString &where, const QVariantList &params)
{
    const auto row =
        db.select(QStringLiteral("SELECT \"Id\", \"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", \"ExamName\", "
                                 "\"Freeze\", \"hasMain\", \"hasBase\", \"ModifyRight\", \"dDefDay\", \"dLimitDay\" FROM \"CJ_ExamTotal\" WHERE %1")
                      .arg(where),
                  params,
                  {{"Id", FieldType::Integer, 0, 0},
                   {"SchoolCode", FieldType::Text, 0, 0},
                   {"GradeCode", FieldType::Text, 0, 0},
                   {"InYear", FieldType::Integer, 0, 0},
                   {"ExamCode", FieldType::Text, 0, 0},
                   {"PageName", FieldType::Text, 0, 0},
                   {"ExamName", FieldType::Text, 0, 0},
                   {"Freeze", FieldType::Boolean, 0, 0},
                   {"hasMain", FieldType::Boolean, 0, 0},
                   {"hasBase", FieldType::Boolean, 0, 0},
                   {"ModifyRight", FieldType::Integer, 0, 0},
                   {"dDefDay", FieldType::Date, 0, 0},
                   {"dLimitDay", FieldType::Date, 0, 0}});
    if (row.rowCount() == 0) return std::nullopt;
    StoredExam e;
    e.id = row.value(0, 0).toLongLong();
    e.key = {row.value(0, 1).toString(), row.value(0, 2).toString(), row.value(0, 4).toString(), row.value(0, 5).toString(), row.value(0, 3).toLongLong()};
    e.name = row.value(0, 6).toString();
    e.frozen = row.value(0, 7).toBool();
    e.hasMain = row.value(0, 8).toBool();
    e.hasBase = row.value(0, 9).toBool();
    e.modifyRight = row.value(0, 10).toInt();
    e.defDay = row.value(0, 11).toDate();
    e.limitDay = row.value(0, 12).toDate();
    return e;
}

} // namespace

std::optional<StoredExam> findExam(Database &db, const ExamKey &k)
{
    return readExam(db, QLatin1String(kExamIdentity), k.params());
}

std::optional<StoredExam> findExamById(Database &db, const QString &school, const QString &idText)
{
    bool ok = false;
    const qint64 id = idText.trimmed().toLongLong(&ok);
    if (!ok) return std::nullopt;
    return readExam(db, QStringLiteral("\"Id\" = ? AND \"SchoolCode\" = ?"), {id, school});
}

void lockExam(Database &db, qint64 id, bool shared)
{
    if (db.backend() != Backend::Postgres) return; // a SQLite writer holds the whole file already
    db.exec(QStringLiteral("SELECT \"Id\" FROM \"CJ_ExamTotal\" WHERE \"Id\" = ? FOR %1").arg(shared ? QStringLiteral("SHARE") : QStringLiteral("UPDATE")),
            {id});
}

ExamKey keyOfArgs(MethodCall &c, int grade, int code, int page, int year)
{
    return {c.school(0), c.text(grade), c.text(code), c.text(page), c.integer(year)};
}

void requireExamWrite(MethodCall &c, const wire::protocol::Method &m, const ExamKey &k, bool creating)
{
    const SessionUser &u = c.user();
    if (u.unrestricted()) return;
    if (k.isUnit()) {
        if (k.page != u.teacherCode)
            throw CallError(ErrorCode::Forbidden, QStringLiteral("%1: the unit exam %2 belongs to another teacher").arg(m.fullName(), k.code));
        if (creating && !c.hasFunction(QStringLiteral("4030")))
            throw CallError(ErrorCode::Forbidden, QStringLiteral("%1: creating a unit exam needs the right 4030").arg(m.fullName()));
        return;
    }
    const bool sysExam = c.hasFunction(QStringLiteral("4029"));
    if (creating ? !sysExam : !(sysExam || c.hasRight(QStringLiteral("4031"), QStringLiteral("Manager"))))
        throw CallError(ErrorCode::Forbidden, QStringLiteral("%1: %2 a school-wide exam needs the right %3")
                                                  .arg(m.fullName(), creating ? QStringLiteral("creating") : QStringLiteral("changing"),
                                                       creating ? QStringLiteral("4029") : QStringLiteral("4029 or 4031/Manager")));
}

} // namespace lumeko::server
