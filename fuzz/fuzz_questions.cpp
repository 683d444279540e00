// Question scores of a subject, as the question dialog takes them from a teacher: a question list
// typed in, the students' subject scores from the score sheet, and a marking system's sheet pasted
// through the import wizard. The input is three parts:
//
//   line 1        the question list as comma text: the subject's full mark, then a question
//                 number and its full mark after another ("120,1,4,2,6,13(2),10")
//   line 2        the subject scores of the exam's four candidates, as comma text (empty: none)
//   the rest      the pasted sheet, TAB between cells and CR LF at line ends, titles first
//                 ("学号", "姓名", "第1题", ...)
//
// What must hold for any input:
//  - the dialog refuses a question list exactly when the server would (numbers of 1 to 10
//    characters without , ; quotes or control characters, none twice even in other letter case;
//    full marks above 0 and at most the subject's), and names exactly the rows that break a rule;
//  - the sheet the server sends for a list it accepted reads back on the client;
//  - the import wizard adds no students and touches no column but the names and question scores;
//  - the sheet's check names exactly the rows the server would refuse: a score outside 0 to its
//    question's full mark, or question scores (kept to the hundredth, as the server stores them)
//    that do not add up to the subject score;
//  - the rows sent are exactly the rows the import changed, each as StudentCode and one column
//    per question in the list's order, each score as a text that reads back to the sheet's value.

#include "check.h"

#include "analysis/questionsheet.h"
#include "framework/import/importmerge.h"
#include "toolkit/data/commatext.h"
#include "toolkit/sheet/pastedtable.h"
#include "wire/codec.h"

#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

using namespace lumeko;
using namespace lumeko::achieve;
using wire::FieldType;

namespace {

constexpr double kTolerance = 0.005; // the server's tolerance on full marks and sums
constexpr int kSheetFields = 6;      // StudentCode, sNO, sName, ClassCode, ClassName, Score
constexpr qsizetype kMostQuestions = 40;

// The question list as QExamQuestions answers it, one row per question the grid took.
void fillQuestions(DataSet &questions, const QStringList &items)
{
    questions.createTable({{"QuestionNo", FieldType::Text, 10, 0},
                           {"iOrder", FieldType::Integer, 0, 0},
                           {"FullMark", FieldType::Float, 0, 0},
                           {"bObjective", FieldType::Boolean, 0, 0},
                           {"sKnowledge", FieldType::Text, 100, 0},
                           {"nScored", FieldType::Integer, 0, 0}});
    for (qsizetype i = 1; i < items.size() && questions.recordCount() < kMostQuestions; i += 2) {
        const QString number = items[i];
        const QVariant full = i + 1 < items.size() && !items[i + 1].isEmpty() ? QVariant(items[i + 1]) : QVariant();
        // A full mark the grid's number editor would not take stays empty.
        for (const QVariant &fm : {full, QVariant()}) {
            try {
                questions.appendRecord({number, questions.recordCount() + 1, fm, false, QVariant(), 0});
                break;
            } catch (const DataError &) {
                questions.cancel();
            }
        }
    }
    questions.mergeChangeLog();
}

// The rows the server would refuse, numbered from 1: UpExamQuestions' rules on what the dialog
// sends (the numbers trimmed). A number that an earlier one equals without regard to letter case
// comes twice.
QSet<int> refusedQuestionRows(DataSet &questions, double subjectFullMark)
{
    QSet<int> out;
    QStringList before;
    const int numberField = questions.fieldIndex(u"QuestionNo"), fullField = questions.fieldIndex(u"FullMark");
    for (qsizetype r = 0; r < questions.recordCount(); ++r) {
        const QString n = questions.valueAt(r, numberField).toString().trimmed();
        bool valid = !n.isEmpty() && n.size() <= 10;
        for (QChar c : n)
            valid = valid && c.unicode() >= 32 && c != u',' && c != u';' && c != u'"' && c != u'\'';
        const bool twice = std::any_of(before.cbegin(), before.cend(), [&](const QString &b) { return b.compare(n, Qt::CaseInsensitive) == 0; });
        const QVariant fm = questions.valueAt(r, fullField);
        const bool fullOk = !wire::isNull(fm) && std::isfinite(fm.toDouble()) && fm.toDouble() > 0 && fm.toDouble() <= subjectFullMark;
        if (!valid || twice || !fullOk) out.insert(int(r + 1));
        before << n;
    }
    return out;
}

// The row numbers the messages begin with ("第3行...").
QSet<int> namedRows(const QStringList &problems, const char *what)
{
    static const QRegularExpression row(QStringLiteral("^第(\\d+)行"));
    QSet<int> out;
    for (const QString &p : problems) {
        const QRegularExpressionMatch m = row.match(p);
        fuzz::require(m.hasMatch(), what, p);
        out.insert(m.captured(1).toInt());
    }
    return out;
}

QString shown(const QSet<int> &rows)
{
    QList<int> sorted(rows.cbegin(), rows.cend());
    std::sort(sorted.begin(), sorted.end());
    QStringList out;
    for (int r : sorted)
        out << QString::number(r);
    return out.join(u',');
}

// The sheet QQuestionSheet answers before any question score is stored: the four candidates with
// their subject scores and an empty column per question.
wire::DataPacket serverSheet(const QList<QuestionDef> &questions, const QStringList &scores)
{
    QList<wire::FieldDef> fields{{"StudentCode", FieldType::Text, 0, 0}, {"sNO", FieldType::Text, 0, 0},       {"sName", FieldType::Text, 0, 0},
                                 {"ClassCode", FieldType::Text, 0, 0},   {"ClassName", FieldType::Text, 0, 0}, {"Score", FieldType::Float, 0, 0}};
    for (const QuestionDef &q : questions)
        fields.append({questionField(q.number), FieldType::Float, 0, 0});
    wire::DataPacket sheet(fields);
    const char *students[][4] = {
        {"{A}", "2026001", "张三", "001"}, {"{B}", "2026002", "李四", "001"}, {"{C}", "2026003", "王五", "002"}, {"{D}", "2026004", "欧阳明", "002"}};
    for (int s = 0; s < 4; ++s) {
        bool ok = false;
        const double score = s < scores.size() ? scores[s].toDouble(&ok) : 0;
        QVariantList row{QString::fromLatin1(students[s][0]),
                         QString::fromLatin1(students[s][1]),
                         QString::fromUtf8(students[s][2]),
                         QString::fromLatin1(students[s][3]),
                         QString::fromLatin1(students[s][3]) + QStringLiteral("班"),
                         ok && std::isfinite(score) ? QVariant(score) : QVariant()};
        for (qsizetype q = 0; q < questions.size(); ++q)
            row << QVariant();
        sheet.appendRow(row);
    }
    return sheet;
}

// What importScores sets up, run on the pasted rows: 学号 as the key, matching students
// overwritten, nobody added.
void importPasted(DataSet &sheet, const QList<QuestionDef> &questions, const QString &pasted)
{
    DataSet fields;
    const ImportTarget target = questionImportTarget(fields, sheet, questions);
    ImportOptions options;
    options.keys = {QStringLiteral("学号")};
    options.overwrite = true;
    options.addData = false;
    QList<QStringList> rows = splitPastedTable(pasted, u'\t');
    const QStringList titles = rows.isEmpty() ? QStringList() : rows.takeFirst();
    ImportMerge(target, options).run(titles, rows);
}

// The rows the server would refuse, numbered from 1 in the sheet's order: a score outside 0 to its
// question's full mark, or scores that (rounded to the hundredth, as stored) do not add up to the
// subject score. Every value is read by its column's position.
QSet<int> refusedSheetRows(const DataSet &sheet, const QList<QuestionDef> &questions)
{
    QSet<int> out;
    for (qsizetype r = 0; r < sheet.recordCount(); ++r) {
        bool refused = false;
        double sum = 0;
        int given = 0;
        for (qsizetype q = 0; q < questions.size(); ++q) {
            const QVariant v = sheet.valueAt(r, kSheetFields + int(q));
            if (wire::isNull(v)) continue;
            const double score = v.toDouble();
            if (!std::isfinite(score) || score < 0 || score > questions[q].fullMark + kTolerance) {
                refused = true;
                continue;
            }
            sum += std::round(score * 100.0) / 100.0;
            ++given;
        }
        const QVariant total = sheet.valueAt(r, 5);
        if (given > 0 && (wire::isNull(total) || std::abs(total.toDouble() - sum) > kTolerance)) refused = true;
        if (refused) out.insert(int(r + 1));
    }
    return out;
}

void checkSent(const wire::DataPacket &sent, const DataSet &sheet, const wire::DataPacket &loaded, const QList<QuestionDef> &questions)
{
    fuzz::require(sent.fieldCount() == questions.size() + 1 && sent.fields()[0].name == u"StudentCode",
                  "the rows sent are not StudentCode and the question columns");
    for (qsizetype q = 0; q < questions.size(); ++q)
        fuzz::require(sent.fields()[q + 1].name == QStringLiteral("Q_") + questions[q].number, "a question column sent under another name",
                      sent.fields()[q + 1].name);
    qsizetype next = 0;
    for (qsizetype r = 0; r < sheet.recordCount(); ++r) {
        bool changed = false;
        for (int f = 0; f < loaded.fieldCount(); ++f)
            changed = changed || !wire::sameValue(loaded.value(r, f), sheet.valueAt(r, f));
        if (!changed) continue;
        fuzz::require(next < sent.rowCount(), "a changed row was not sent", sheet.valueAt(r, 0).toString());
        fuzz::require(sent.value(next, 0) == sheet.valueAt(r, 0), "rows sent other than the changed ones, or out of order", sent.value(next, 0).toString());
        for (qsizetype q = 0; q < questions.size(); ++q) {
            const QVariant mine = sheet.valueAt(r, kSheetFields + int(q)), theirs = sent.value(next, int(q) + 1);
            if (wire::isNull(mine)) {
                fuzz::require(wire::isNull(theirs), "an empty score sent as a value", theirs.toString());
                continue;
            }
            bool ok = false;
            const double back = theirs.toString().toDouble(&ok);
            fuzz::require(ok && back == mine.toDouble(), "a score sent as a text that reads back as another value",
                          theirs.toString() + QStringLiteral(" for ") + QString::number(mine.toDouble(), 'g', 17));
        }
        ++next;
    }
    fuzz::require(next == sent.rowCount(), "rows sent that the import did not change");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString input = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype firstEnd = input.indexOf(u'\n');
    const qsizetype secondEnd = firstEnd < 0 ? -1 : input.indexOf(u'\n', firstEnd + 1);
    const QStringList listItems = splitCommaText(firstEnd < 0 ? input : input.left(firstEnd));
    const QStringList scores = firstEnd < 0 ? QStringList() : splitCommaText(input.mid(firstEnd + 1, secondEnd < 0 ? -1 : secondEnd - firstEnd - 1));
    const QString pasted = secondEnd < 0 ? QString() : input.mid(secondEnd + 1);

    bool ok = false;
    const double subjectFullMark = listItems.isEmpty() ? 0 : listItems.first().toDouble(&ok);
    if (!ok || !std::isfinite(subjectFullMark) || subjectFullMark <= 0) return 0;

    DataSet questions;
    fillQuestions(questions, listItems);
    const QList<QuestionDef> defs = questionDefs(questions);
    fuzz::require(defs.size() == questions.recordCount(), "questionDefs lost or added questions");
    const QStringList listProblems = questionListProblems(questions, subjectFullMark);
    const QSet<int> refusedQuestions = refusedQuestionRows(questions, subjectFullMark);
    const QSet<int> namedQuestions = namedRows(listProblems, "a question list problem without its row");
    fuzz::require(namedQuestions == refusedQuestions, "the question list check names other rows than the server refuses",
                  QStringLiteral("named %1, refused %2: ").arg(shown(namedQuestions), shown(refusedQuestions)) + listProblems.join(u'|'));
    if (!listProblems.isEmpty() || defs.isEmpty()) return 0; // the dialog saves no such list, and imports nothing without one

    // The sheet of the saved list, as the client decodes it from the server's answer.
    const wire::DataPacket answer = serverSheet(defs, scores);
    wire::DataPacket loaded;
    try {
        loaded = wire::decodeDataPacket(wire::encodeDataPacket(answer));
    } catch (const wire::WireError &e) {
        fuzz::fail("the sheet of an accepted question list does not read back on the client", e.message());
    }
    DataSet sheet;
    sheet.setData(loaded);

    importPasted(sheet, defs, pasted);
    fuzz::require(sheet.recordCount() == loaded.rowCount(), "the import added or lost students");
    for (qsizetype r = 0; r < sheet.recordCount(); ++r)
        for (int f : {0, 3, 4, 5})
            fuzz::require(wire::sameValue(sheet.valueAt(r, f), loaded.value(r, f)), "the import changed a column it may not touch", loaded.fields()[f].name);

    const QStringList sheetProblems = questionSheetProblems(sheet, defs);
    const QSet<int> refusedRows = refusedSheetRows(sheet, defs);
    const QSet<int> namedSheetRows = namedRows(sheetProblems, "a question score problem without its row");
    fuzz::require(namedSheetRows == refusedRows, "the sheet check names other rows than the server refuses",
                  QStringLiteral("named %1, refused %2: ").arg(shown(namedSheetRows), shown(refusedRows)) + sheetProblems.join(u'|'));

    checkSent(changedQuestionRows(sheet, defs), sheet, loaded, defs);
    return 0;
}
