#include "schoolyear/schoolyearrules.h"

#include "framework/sharedroutines.h"
#include "host/pub/pub.h"

#include <QEventLoop>
#include <QHash>
#include <QSettings>
#include <QTimer>

#include <optional>
#include <utility>

namespace lumeko::achieve {

namespace {

std::function<QDate()> &todayFunction()
{
    static std::function<QDate()> f;
    return f;
}

std::function<void(int)> &pauseFunction()
{
    static std::function<void(int)> f;
    return f;
}

QString fieldText(const wire::DataPacket &p, qsizetype row, const char *field)
{
    const int f = p.fieldIndex(QString::fromLatin1(field));
    return f < 0 ? QString() : p.value(row, f).toString().trimmed();
}

QList<GradeRow> gradeRows(const wire::DataPacket &grades, const QString &current)
{
    QList<GradeRow> out;
    for (qsizetype r = 0; r < grades.rowCount(); ++r) {
        if (fieldText(grades, r, "bCurGrade") != current) continue;
        out.append({fieldText(grades, r, "InYear").toInt(), fieldText(grades, r, "GradeCode"), fieldText(grades, r, "sYear")});
    }
    return out;
}

QString iniPath()
{
    return pub::appPath() + QStringLiteral("Lumeko.ini");
}

} // namespace

QDate schoolYearToday()
{
    const std::function<QDate()> f = todayFunction();
    return f ? f() : QDate::currentDate();
}

std::function<QDate()> setSchoolYearToday(std::function<QDate()> today)
{
    return std::exchange(todayFunction(), std::move(today));
}

void upGradePause(int ms)
{
    if (const std::function<void(int)> f = pauseFunction()) return f(ms);
    // The window repaints meanwhile; what the user clicks waits for the run to end.
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

std::function<void(int)> setUpGradePause(std::function<void(int)> pause)
{
    return std::exchange(pauseFunction(), std::move(pause));
}

int proposedIntakeYear(const QDate &today)
{
    return today.month() >= 9 ? today.year() : today.year() - 1;
}

QList<int> offeredSchoolYears(int currentYear)
{
    QList<int> years;
    for (int y = currentYear - 15; y <= currentYear + 2; ++y)
        years << y;
    return years;
}

int yearInStage(const QString &gradeCode, const wire::DataPacket &gradeNames)
{
    if (gradeCode.size() < 2 || !gradeCode.at(1).isDigit()) return 0;
    // A stage the names lack counts from 1: its digit is its year.
    std::optional<int> first;
    for (qsizetype r = 0; r < gradeNames.rowCount(); ++r) {
        const QString code = fieldText(gradeNames, r, "sKeyId");
        if (code.size() >= 2 && code.at(0) == gradeCode.at(0) && code.at(1).isDigit()) first = std::min(first.value_or(9), code.at(1).digitValue());
    }
    return gradeCode.at(1).digitValue() - first.value_or(1) + 1;
}

QString nextSchoolYearText(const QString &schoolYear, int currentYear)
{
    const qsizetype tilde = schoolYear.indexOf(u'~');
    bool ok = false;
    const int start = tilde < 0 ? 0 : schoolYear.left(tilde).trimmed().toInt(&ok);
    return SchoolYearText(ok ? start + 1 : currentYear);
}

QList<GradeRow> promotionRows(const wire::DataPacket &grades, int serverYear)
{
    const QString thisYear = SchoolYearText(serverYear);
    QList<GradeRow> out;
    for (const GradeRow &g : gradeRows(grades, QStringLiteral("Y")))
        if (g.schoolYear != thisYear) out << g;
    return out;
}

QList<GradeRow> undoRows(const wire::DataPacket &grades, int serverYear)
{
    const QString since = SchoolYearText(serverYear - 1);
    QList<GradeRow> out;
    QHash<QString, qsizetype> byIntake; // "InYear|stage" → position in out
    for (const GradeRow &g : gradeRows(grades, QStringLiteral("N"))) {
        if (g.schoolYear < since) continue;
        const QString key = QString::number(g.inYear) + u'|' + g.gradeCode.left(1);
        const auto found = byIntake.constFind(key);
        if (found == byIntake.cend()) {
            byIntake.insert(key, out.size());
            out << g;
        } else if (g.gradeCode.left(2) > out[*found].gradeCode.left(2)) {
            out[*found] = g;
        }
    }
    return out;
}

bool reminderTicked(const QString &key, const QDate &today)
{
    const QSettings ini(iniPath(), QSettings::IniFormat);
    return today.month() >= 9 && ini.value(QStringLiteral("ExeConfig/") + key, today.year()).toInt() == today.year();
}

void setReminder(const QString &key, bool ticked, const QDate &today)
{
    QSettings ini(iniPath(), QSettings::IniFormat);
    ini.setValue(QStringLiteral("ExeConfig/") + key, ticked ? today.year() : today.year() + 1);
}

} // namespace lumeko::achieve
