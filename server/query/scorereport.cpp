#include "server/query/scorereport.h"

#include "domain/scoring.h"

#include <QHash>

#include <cmath>

namespace lumeko::server {

using wire::FieldType;

namespace {

const QString kSchoolWide = QString(QChar(0x22A5)); // ⊥: the page name of an exam of the whole grade

// A registry list's values by key.
QHash<QString, QString> registryList(Database &db, const QString &list)
{
    const wire::DataPacket rows = db.select(QStringLiteral("SELECT \"sKeyId\", \"sValue\" FROM \"XT_RegList\" WHERE lower(\"sListName\") = lower(?)"), {list},
                                            {{"sKeyId", FieldType::Text, 0, 0}, {"sValue", FieldType::Text, 0, 0}});
    QHash<QString, QString> out;
    for (qsizetype r = 0; r < rows.rowCount(); ++r)
        out.insert(rows.value(r, 0).toString(), rows.value(r, 1).toString());
    return out;
}

QString gradeName(Database &db, const QString &school, const QString &gradeCode)
{
    const QVariant name = db.scalar(QStringLiteral("SELECT g.\"sValue\" FROM \"XT_GradeName\" g JOIN \"XT_School\" s ON s.\"sSchoolType\" = g.\"sSchoolType\" "
                                                   "WHERE s.\"SchoolCode\" = ? AND g.\"sKeyId\" = ?"),
                                    {school, gradeCode});
    return name.isNull() || name.toString().isEmpty() ? gradeCode : name.toString();
}

// A graded subject's steps (full mark 5: A … D, full mark 8: A+ … D) by the stored score.
std::optional<QString> stepOf(double score, const QHash<QString, QString> &steps)
{
    for (auto it = steps.cbegin(); it != steps.cend(); ++it) {
        bool ok = false;
        const double key = it.key().toDouble(&ok);
        if (ok && std::abs(key - score) < 1e-9) return it.value();
    }
    return std::nullopt;
}

// Level marks as stored; none when the exam has no excellent mark for it.
std::optional<domain::LevelMarks> levelMarksOf(const wire::DataPacket &p, qsizetype row, int first)
{
    if (wire::isNull(p.value(row, first)) || p.value(row, first).toDouble() <= 0) return std::nullopt;
    return domain::LevelMarks{p.value(row, first).toDouble(), p.value(row, first + 1).toDouble(), p.value(row, first + 2).toDouble(),
                              p.value(row, first + 3).toDouble()};
}

std::optional<int> optionalInt(const QVariant &v)
{
    return wire::isNull(v) || v.isNull() ? std::nullopt : std::optional<int>(int(v.toLongLong()));
}

QList<PublishedExam> examsOf(Database &db, const QueryStudent &student, std::optional<qint64> only)
{
    QString sql =
        QStringLiteral("SELECT t.\"Id\", COALESCE(NULLIF(t.\"ExamName\", ''), t.\"ExamCode\"), t.\"dDefDay\", t.\"GradeCode\" FROM \"CJ_ExamTotal\" t "
                       "JOIN \"CJ_ExamStudent\" es ON es.\"examId\" = t.\"Id\" AND es.\"StudentCode\" = ? "
                       "WHERE t.\"SchoolCode\" = ? AND t.\"InYear\" = ? AND t.\"PageName\" = ? AND t.\"WXshowed\" = ?");
    QVariantList params{student.code, student.school, student.inYear, kSchoolWide, db.toDb(true, FieldType::Boolean)};
    if (only) {
        sql += QStringLiteral(" AND t.\"Id\" = ?");
        params << *only;
    }
    sql += QStringLiteral(" ORDER BY t.\"dDefDay\" DESC, t.\"Id\" DESC");
    const wire::DataPacket rows = db.select(
        sql, params,
        {{"Id", FieldType::Integer, 0, 0}, {"ExamName", FieldType::Text, 0, 0}, {"dDefDay", FieldType::Date, 0, 0}, {"GradeCode", FieldType::Text, 0, 0}});
    QHash<QString, QString> grades;
    QList<PublishedExam> out;
    for (qsizetype r = 0; r < rows.rowCount(); ++r) {
        const QString code = rows.value(r, 3).toString();
        if (!grades.contains(code)) grades.insert(code, gradeName(db, student.school, code));
        out.append({rows.value(r, 0).toLongLong(), rows.value(r, 1).toString(), rows.value(r, 2).toDate(), grades.value(code)});
    }
    return out;
}

} // namespace

QString scoreText(double score)
{
    QString s = QString::number(std::round(score * 100) / 100, 'f', 2);
    while (s.endsWith(u'0'))
        s.chop(1);
    if (s.endsWith(u'.')) s.chop(1);
    return s == u"-0" ? QStringLiteral("0") : s;
}

ShowType showTypeOf(const QString &markShowType)
{
    const QString key = markShowType.trimmed();
    if (key.isEmpty()) return ShowType::Scores;
    bool ok = false;
    const int n = key.toInt(&ok);
    if (!ok || n < 0 || n > 4) return ShowType::Nothing;
    return ShowType(n);
}

StudentHeading studentHeading(Database &db, const QueryStudent &student)
{
    StudentHeading h{student.name, student.sno, {}, {}, {}};
    const wire::DataPacket school = db.select(QStringLiteral("SELECT \"sFullName\", \"sName\" FROM \"XT_School\" WHERE \"SchoolCode\" = ?"), {student.school},
                                              {{"sFullName", FieldType::Text, 0, 0}, {"sName", FieldType::Text, 0, 0}});
    if (school.rowCount() > 0) h.school = school.value(0, 0).toString().isEmpty() ? school.value(0, 1).toString() : school.value(0, 0).toString();
    h.grade = student.gradeCode.isEmpty() ? QString() : gradeName(db, student.school, student.gradeCode);
    const QVariant name =
        db.scalar(QStringLiteral("SELECT COALESCE(NULLIF(gc.\"AliasName\", ''), cl.\"ClassName\") FROM \"XJ_Class\" cl "
                                 "LEFT JOIN \"XJ_GradeClass\" gc ON gc.\"SchoolCode\" = cl.\"SchoolCode\" AND gc.\"InYear\" = ? AND gc.\"GradeCode\" = ? "
                                 "AND gc.\"ClassCode\" = cl.\"ClassCode\" WHERE cl.\"SchoolCode\" = ? AND cl.\"ClassCode\" = ?"),
                  {student.inYear, student.gradeCode, student.school, student.classCode});
    h.className = name.isNull() || name.toString().isEmpty() ? student.classCode : name.toString();
    return h;
}

QList<PublishedExam> publishedExams(Database &db, const QueryStudent &student)
{
    return examsOf(db, student, std::nullopt);
}

std::optional<ExamReport> examReport(Database &db, const QueryStudent &student, qint64 examId)
{
    const QList<PublishedExam> found = examsOf(db, student, examId);
    if (found.isEmpty()) return std::nullopt;
    ExamReport report;
    report.exam = found.first();

    QList<wire::FieldDef> headerFields{{"markShowType", FieldType::Text, 0, 0}, {"hasMain", FieldType::Boolean, 0, 0}, {"hasBase", FieldType::Boolean, 0, 0},
                                       {"GradeCode", FieldType::Text, 0, 0},    {"ExamCode", FieldType::Text, 0, 0},   {"PageName", FieldType::Text, 0, 0}};
    QStringList markColumns;
    for (const char *prefix : {"a", "m", "b"})
        for (const char *mark : {"ExcelMark", "GoodMark", "PassMark", "BadMark"}) {
            const QString name = QString::fromLatin1(prefix) + QString::fromLatin1(mark);
            markColumns << Database::quoted(name);
            headerFields.append({name, FieldType::Float, 0, 0});
        }
    const wire::DataPacket header = db.select(QStringLiteral("SELECT \"markShowType\", \"hasMain\", \"hasBase\", \"GradeCode\", \"ExamCode\", \"PageName\", %1 "
                                                             "FROM \"CJ_ExamTotal\" WHERE \"Id\" = ?")
                                                  .arg(markColumns.join(u", ")),
                                              {examId}, headerFields);
    if (header.rowCount() == 0) return std::nullopt;
    report.show = showTypeOf(header.value(0, 0).toString());
    report.showName = registryList(db, QStringLiteral("ExamShowType")).value(QString::number(int(report.show)));
    report.candidates = int(db.scalar(QStringLiteral("SELECT count(*) FROM \"CJ_ExamStudent\" WHERE \"examId\" = ?"), {examId}).toLongLong());
    if (report.show == ShowType::Nothing) return report;

    const bool scores = showsScores(report.show), levels = showsLevels(report.show), ranks = showsRanks(report.show);
    const QHash<QString, QString> levelNames = registryList(db, QStringLiteral("ExamGrade"));
    const QHash<QString, QString> letters = registryList(db, QStringLiteral("CreditGrade"));
    const QHash<QString, QString> eightSteps = registryList(db, QStringLiteral("EightGrade"));

    // The student's letters, subjects and totals alike, as the score page's ranking stored them.
    QHash<QString, QString> letterOf;
    if (levels) {
        const wire::DataPacket items =
            db.select(QStringLiteral("SELECT \"SubjectCode\", \"gradePercent\" FROM \"CJ_SubjectItem\" WHERE \"examId\" = ? AND \"StudentCode\" = ?"),
                      {examId, student.code}, {{"SubjectCode", FieldType::Text, 0, 0}, {"gradePercent", FieldType::Integer, 0, 0}});
        for (qsizetype r = 0; r < items.rowCount(); ++r)
            if (!wire::isNull(items.value(r, 1)) && letters.contains(items.value(r, 1).toString()))
                letterOf.insert(items.value(r, 0).toString(), letters.value(items.value(r, 1).toString()));
    }
    const auto line = [&](const QString &code, const QString &name, const QVariant &score, const QVariant &rank, const std::optional<domain::LevelMarks> &marks,
                          const QHash<QString, QString> *steps) {
        ReportLine l;
        l.name = name;
        const bool scored = !wire::isNull(score) && !score.isNull();
        if (scores && scored) {
            const std::optional<QString> step = steps ? stepOf(score.toDouble(), *steps) : std::nullopt;
            l.score = step ? *step : scoreText(score.toDouble());
        }
        if (levels && scored && marks) {
            if (const std::optional<int> level = domain::levelOf(score.toDouble(), *marks); level && levelNames.contains(QString::number(*level)))
                l.level = levelNames.value(QString::number(*level));
        }
        if (levels && letterOf.contains(code)) l.letter = letterOf.value(code);
        if (ranks && scored) l.rank = optionalInt(rank);
        return l;
    };

    // Subjects in the score sheet's order, with the grade's full mark deciding a graded subject.
    const wire::DataPacket subjects = db.select(
        QStringLiteral("SELECT es.\"SubjectCode\", COALESCE(NULLIF(s.\"SubjectName\", ''), es.\"SubjectCode\"), COALESCE(gs.\"FullMark\", es.\"FullMark\"), "
                       "es.\"ExcelMark\", es.\"GoodMark\", es.\"PassMark\", es.\"BadMark\" FROM \"CJ_ExamSubject\" es "
                       "LEFT JOIN \"XJ_Subject\" s ON s.\"SchoolCode\" = es.\"SchoolCode\" AND s.\"SubjectCode\" = es.\"SubjectCode\" "
                       "LEFT JOIN \"XJ_GradeSubject\" gs ON gs.\"SchoolCode\" = es.\"SchoolCode\" AND gs.\"InYear\" = es.\"InYear\" "
                       "AND gs.\"GradeCode\" = es.\"GradeCode\" AND gs.\"SubjectCode\" = es.\"SubjectCode\" "
                       "WHERE es.\"SchoolCode\" = ? AND es.\"GradeCode\" = ? AND es.\"InYear\" = ? AND es.\"ExamCode\" = ? AND es.\"PageName\" = ? "
                       "ORDER BY es.\"SubjectCode\""),
        {student.school, header.value(0, 3), student.inYear, header.value(0, 4), header.value(0, 5)},
        {{"SubjectCode", FieldType::Text, 0, 0},
         {"SubjectName", FieldType::Text, 0, 0},
         {"FullMark", FieldType::Float, 0, 0},
         {"ExcelMark", FieldType::Float, 0, 0},
         {"GoodMark", FieldType::Float, 0, 0},
         {"PassMark", FieldType::Float, 0, 0},
         {"BadMark", FieldType::Float, 0, 0}});
    const wire::DataPacket marks = db.select(
        QStringLiteral("SELECT \"SubjectCode\", \"score\", \"gradeOrder\" FROM \"CJ_Mark\" WHERE \"examId\" = ? AND \"StudentCode\" = ?"),
        {examId, student.code}, {{"SubjectCode", FieldType::Text, 0, 0}, {"score", FieldType::Float, 0, 0}, {"gradeOrder", FieldType::Integer, 0, 0}});
    QHash<QString, qsizetype> markRow;
    for (qsizetype r = 0; r < marks.rowCount(); ++r)
        markRow.insert(marks.value(r, 0).toString(), r);
    for (qsizetype r = 0; r < subjects.rowCount(); ++r) {
        const QString code = subjects.value(r, 0).toString();
        const double full = subjects.value(r, 2).toDouble();
        const QHash<QString, QString> *steps = full == 5 ? &letters : full == 8 ? &eightSteps : nullptr;
        const qsizetype m = markRow.value(code, -1);
        report.subjects.append(line(code, subjects.value(r, 1).toString(), m < 0 ? QVariant() : marks.value(m, 1), m < 0 ? QVariant() : marks.value(m, 2),
                                    levelMarksOf(subjects, r, 3), steps));
    }

    // The totals the exam keeps, in the score sheet's order, with the header's marks of each.
    const wire::DataPacket totals =
        db.select(QStringLiteral("SELECT \"FullTotal\", \"FullOrder\", \"BaseTotal\", \"BaseOrder\", \"MainTotal\", \"MainOrder\" FROM \"CJ_ExamStudent\" "
                                 "WHERE \"examId\" = ? AND \"StudentCode\" = ?"),
                  {examId, student.code},
                  {{"FullTotal", FieldType::Float, 0, 0},
                   {"FullOrder", FieldType::Integer, 0, 0},
                   {"BaseTotal", FieldType::Float, 0, 0},
                   {"BaseOrder", FieldType::Integer, 0, 0},
                   {"MainTotal", FieldType::Float, 0, 0},
                   {"MainOrder", FieldType::Integer, 0, 0}});
    if (totals.rowCount() == 0) return report;
    struct Total {
        const char *code, *name;
        bool kept;
        int column, marks;
    };
    const Total kept[] = {
        {"FUL", "全总分", true, 0, 6}, {"BAS", "基总分", header.value(0, 2).toBool(), 2, 14}, {"MAI", "主总分", header.value(0, 1).toBool(), 4, 10}};
    for (const Total &t : kept)
        if (t.kept)
            report.totals.append(line(QString::fromLatin1(t.code), QString::fromUtf8(t.name), totals.value(0, t.column), totals.value(0, t.column + 1),
                                      levelMarksOf(header, 0, t.marks), nullptr));
    return report;
}

} // namespace lumeko::server
