#include "analysis/progresssettings.h"

#include "toolkit/data/commatext.h"

#include <QMap>

namespace lumeko::achieve {

using wire::FieldType;

QList<ProgressExam> progressExams(const wire::DataPacket &list)
{
    QList<ProgressExam> out;
    const auto text = [&](qsizetype r, const char *field) { return list.value(r, list.fieldIndex(QString::fromLatin1(field))).toString(); };
    for (qsizetype r = 0; r < list.rowCount(); ++r) {
        ProgressExam e{text(r, "GradeCode"), text(r, "ExamCode"), text(r, "PageName"), text(r, "ExamName"), 0};
        if (const int id = list.fieldIndex(QStringLiteral("Id")); id >= 0) e.id = list.value(r, id).toLongLong();
        if (!out.isEmpty() && out.last().gradeCode == e.gradeCode && out.last().examCode == e.examCode && out.last().pageName == e.pageName) continue;
        out << e;
    }
    return out;
}

QString progressExamCaption(const ProgressExam &exam, const QString &gradeName)
{
    return gradeName.isEmpty() ? exam.examName : gradeName + u'.' + exam.examName;
}

QString progressExamList(const QList<ProgressExam> &chosen)
{
    QStringList items;
    for (const ProgressExam &e : chosen)
        items << e.gradeCode + u';' + e.examCode + u';' + e.pageName;
    return joinCommaText(items);
}

QString progressProblem(const ProgressItems &items, int chosenExams, int tickedSubjects)
{
    if (!items.scores && !items.ranks) return QStringLiteral("请选择对比项目成绩或排名！");
    if (chosenExams < 2) return QStringLiteral("请至少选择两次以上对比分析的考试！");
    if (tickedSubjects < 1) return QStringLiteral("请至少选择一项对比科目！");
    return {};
}

namespace {

// The fields of a subject: C_001 and O_001, or a total's own.
QString scoreField(const QString &code)
{
    if (code == u"FUL") return QStringLiteral("FullTotal");
    if (code == u"MAI") return QStringLiteral("MainTotal");
    if (code == u"BAS") return QStringLiteral("BaseTotal");
    return QStringLiteral("C_") + code;
}
QString rankField(const QString &code)
{
    if (code == u"FUL") return QStringLiteral("FullOrder");
    if (code == u"MAI") return QStringLiteral("MainOrder");
    if (code == u"BAS") return QStringLiteral("BaseOrder");
    return QStringLiteral("O_") + code;
}
QString nth(const QString &field, int exam)
{
    return exam == 0 ? field : field + u'_' + QString::number(exam);
}
QString change(const QString &field, int exam, const char *suffix)
{
    return (exam == 1 ? field : nth(field, exam)) + QLatin1StringView(suffix);
}
// "新成绩" for the second exam; the third and later by their place ("第3次成绩").
QString examWord(int exam, const char *first, const char *second, const char *word)
{
    if (exam == 0) return QString::fromUtf8(first);
    if (exam == 1) return QString::fromUtf8(second);
    return QStringLiteral("第%1次").arg(exam + 1) + QString::fromUtf8(word);
}

} // namespace

wire::DataPacket progressColumns(const wire::DataPacket &fixed, const QList<ProgressSubject> &subjects, const ProgressItems &items, int exams)
{
    wire::DataPacket defs = fixed;
    if (defs.fieldCount() == 0)
        defs = wire::DataPacket({{"sFldName", FieldType::Text, 60, 0},
                                 {"sTable", FieldType::Text, 40, 0},
                                 {"sFldCaption", FieldType::Text, 60, 0},
                                 {"bShowed", FieldType::Boolean, 0, 0},
                                 {"nWidth", FieldType::Integer, 0, 0},
                                 {"bSum", FieldType::Boolean, 0, 0},
                                 {"bGroup", FieldType::Boolean, 0, 0},
                                 {"sFieldType", FieldType::Text, 1, 0}});
    // The score columns 70 pixels wide, the rank columns 78: 9 and 10 characters of the grid.
    const auto add = [&](const QString &field, const QString &caption, int width, const char *type) {
        QVariantList row(defs.fieldCount());
        const auto set = [&](const char *name, const QVariant &v) {
            if (const int f = defs.fieldIndex(QString::fromLatin1(name)); f >= 0) row[f] = v;
        };
        set("sFldName", field);
        set("sTable", QStringLiteral("XT_Temp"));
        set("sFldCaption", caption);
        set("bShowed", true);
        set("nWidth", width);
        set("bSum", false);
        set("bGroup", false);
        set("sFieldType", QString::fromLatin1(type));
        defs.appendRow(row);
    };
    for (const ProgressSubject &s : subjects) {
        const QString score = scoreField(s.code), rank = rankField(s.code);
        if (items.scores) {
            for (int k = 0; k < exams; ++k)
                add(nth(score, k), s.caption + examWord(k, "成绩", "新成绩", "成绩"), 9, "F");
            if (items.progress)
                for (int k = 1; k < exams; ++k)
                    add(change(score, k, "_Fs"), s.caption + examWord(k, "", "进退", "进退"), 9, "F");
        }
        if (items.ranks) {
            for (int k = 0; k < exams; ++k)
                add(nth(rank, k), s.caption + examWord(k, "名次", "新名次", "名次"), 10, "I");
            if (items.progress)
                for (int k = 1; k < exams; ++k)
                    add(change(rank, k, "_Up"), s.caption + examWord(k, "", "名次进退", "名次进退"), 10, "I");
        }
    }
    return defs;
}

chart::ChartData studentProgressChart(const wire::DataPacket &detail, const QString &studentCode, bool ranks)
{
    chart::ChartData out;
    const int student = detail.fieldIndex(QStringLiteral("StudentCode")), order = detail.fieldIndex(QStringLiteral("iOrder")),
              exam = detail.fieldIndex(QStringLiteral("ExamName")), subject = detail.fieldIndex(QStringLiteral("SubjectName")),
              value = detail.fieldIndex(ranks ? QStringLiteral("Rank") : QStringLiteral("Score"));
    if (student < 0 || order < 0 || exam < 0 || subject < 0 || value < 0) return out;
    // Every exam of the comparison is a category, also one this student missed.
    QMap<qint64, QString> exams;
    for (qsizetype r = 0; r < detail.rowCount(); ++r)
        exams.insert(detail.value(r, order).toLongLong(), detail.value(r, exam).toString());
    const QList<qint64> orders = exams.keys();
    out.categories = exams.values();
    for (qsizetype r = 0; r < detail.rowCount(); ++r) {
        if (detail.value(r, student).toString() != studentCode) continue;
        const QString name = detail.value(r, subject).toString();
        qsizetype s = 0;
        while (s < out.series.size() && out.series[s].name != name)
            ++s;
        if (s == out.series.size()) out.series.append({name, QList<double>(orders.size(), chart::kMissing), {}});
        const QVariant v = detail.value(r, value);
        out.series[s].values[orders.indexOf(detail.value(r, order).toLongLong())] = wire::isNull(v) ? chart::kMissing : v.toDouble();
    }
    return out;
}

} // namespace lumeko::achieve
