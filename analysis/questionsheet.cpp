#include "analysis/questionsheet.h"

#include <QSet>

#include <cmath>

namespace lumeko::achieve {

namespace {
constexpr double kTolerance = 0.005;

QString shown(double v)
{
    return QString::number(v, 'g', 10);
}

// A number the server stores: 1 to 10 characters, none of them a comma, a semicolon, a quote or a
// control character (a tab pasted into the grid's cell is no part of a number).
bool validNumber(const QString &n)
{
    if (n.isEmpty() || n.size() > 10) return false;
    for (QChar c : n)
        if (c.unicode() < 32 || c == u',' || c == u';' || c == u'"' || c == u'\'') return false;
    return true;
}
} // namespace

QString questionField(const QString &number)
{
    return QStringLiteral("Q_") + number;
}

QList<QuestionDef> questionDefs(DataSet &questions)
{
    QList<QuestionDef> out;
    if (!questions.isActive()) return out;
    const Bookmark here = questions.bookmark();
    for (questions.first(); !questions.eof(); questions.next())
        out.append({questions.value(u"QuestionNo").toString().trimmed(), questions.value(u"FullMark").toDouble()});
    if (here >= 0) questions.gotoBookmark(here);
    return out;
}

ImportTarget questionImportTarget(DataSet &fields, DataSet &sheet, const QList<QuestionDef> &questions)
{
    fields.createTable(
        {{"sFldName", wire::FieldType::Text, 40, 0}, {"sFldCaption", wire::FieldType::Text, 40, 0}, {"sFieldType", wire::FieldType::Text, 1, 0}});
    fields.appendRecord({QStringLiteral("sName"), QStringLiteral("姓名"), QStringLiteral("S")});
    fields.appendRecord({QStringLiteral("sNO"), QStringLiteral("学号"), QStringLiteral("S")});
    for (const QuestionDef &q : questions)
        fields.appendRecord({questionField(q.number), QStringLiteral("第%1题").arg(q.number), QStringLiteral("F")});
    ImportTarget target;
    target.fields = &fields;
    target.data = &sheet;
    target.keyCaptions = {QStringLiteral("学号"), QStringLiteral("姓名")};
    target.keyFields = {QStringLiteral("sNO"), QStringLiteral("sName")};
    target.excludedFields = {QStringLiteral("StudentCode"), QStringLiteral("ClassCode"), QStringLiteral("ClassName"), QStringLiteral("Score")};
    return target;
}

QStringList questionListProblems(DataSet &questions, double subjectFullMark)
{
    QStringList out;
    // Numbers are told apart without regard to letter case, as the sheet's columns (Q_13a, Q_13A)
    // are: two such questions would give the sheet the same column twice.
    QSet<QString> seen;
    int row = 0;
    for (const QuestionDef &q : questionDefs(questions)) {
        ++row;
        const QString key = q.number.toCaseFolded();
        if (!validNumber(q.number))
            out << QStringLiteral("第%1行：题号“%2”无效（1至10个字符，不含逗号、分号和引号）！").arg(row).arg(q.number);
        else if (seen.contains(key))
            out << QStringLiteral("第%1行：题号“%2”重复！").arg(row).arg(q.number);
        seen.insert(key);
        // At most the subject's full mark itself, as the server takes it.
        if (!(q.fullMark > 0) || q.fullMark > subjectFullMark)
            out << QStringLiteral("第%1行：题目满分须大于0且不超过科目满分%2！").arg(row).arg(shown(subjectFullMark));
    }
    return out;
}

QStringList questionSheetProblems(DataSet &sheet, const QList<QuestionDef> &questions)
{
    QStringList out;
    if (!sheet.isActive()) return out;
    const Bookmark here = sheet.bookmark();
    int row = 0;
    for (sheet.first(); !sheet.eof(); sheet.next()) {
        ++row;
        const QString who = QStringLiteral("%1(%2)").arg(sheet.value(u"sName").toString(), sheet.value(u"sNO").toString());
        double sum = 0;
        int given = 0;
        for (const QuestionDef &q : questions) {
            const QVariant v = sheet.value(questionField(q.number));
            if (wire::isNull(v) || v.toString().trimmed().isEmpty()) continue;
            bool ok = false;
            const double score = v.toString().trimmed().toDouble(&ok);
            if (!ok || score < 0 || score > q.fullMark + kTolerance) {
                out << QStringLiteral("第%1行 %2：第%3题得分“%4”不在0至%5之间").arg(row).arg(who, q.number, v.toString()).arg(shown(q.fullMark));
                continue;
            }
            // Added up as the server stores the scores, to the hundredth: 5.333 and 2.333 are
            // 5.33 and 2.33, whose 7.66 is no subject score of 7.67.
            sum += std::round(score * 100) / 100;
            ++given;
        }
        if (given == 0) continue;
        const QVariant total = sheet.value(u"Score");
        if (wire::isNull(total))
            out << QStringLiteral("第%1行 %2：没有科目成绩，小题分无从核对").arg(row).arg(who);
        else if (std::abs(total.toDouble() - sum) > kTolerance)
            out << QStringLiteral("第%1行 %2：小题分之和 %3，科目成绩 %4").arg(row).arg(who, shown(std::round(sum * 100) / 100), shown(total.toDouble()));
    }
    if (here >= 0) sheet.gotoBookmark(here);
    return out;
}

wire::DataPacket changedQuestionRows(DataSet &sheet, const QList<QuestionDef> &questions)
{
    QList<wire::FieldDef> fields{{"StudentCode", wire::FieldType::Text, 0, 0}};
    for (const QuestionDef &q : questions)
        fields.append({questionField(q.number), wire::FieldType::Text, 0, 0});
    wire::DataPacket out(fields);
    if (!sheet.isActive()) return out;
    const Bookmark here = sheet.bookmark();
    for (sheet.first(); !sheet.eof(); sheet.next()) {
        if (sheet.updateStatus() == RowStatus::Unmodified) continue;
        QVariantList row{sheet.value(u"StudentCode")};
        for (const QuestionDef &q : questions) {
            const QVariant v = sheet.value(questionField(q.number));
            row << (wire::isNull(v) ? QVariant() : QVariant(v.toString().trimmed()));
        }
        out.appendRow(row);
    }
    if (here >= 0) sheet.gotoBookmark(here);
    return out;
}

} // namespace lumeko::achieve
