// AchieveQry.QExamQuality: the teaching-quality report of an exam (质量分析总表), which a head
// teacher or the academic office takes to the staff meeting after an exam. For each subject and
// total asked, a row per class with its teacher, how many sat, the average, the class's rank by
// average, 超均率 and the level rates, and beside them the same class in an earlier exam of the
// intake: its average, rank and 超均率, and how rank and 超均率 moved. Then the branches (two or
// more) and the grade. What it answers is written down in server/README.md ("The teaching-quality
// report: QExamQuality"); the figures in docs/statistics.md ("Teaching-quality report").
//
// Both exams are read by the analyses' loader (examanalysis.h) with the same range and filter, so
// a class is compared with itself: the same students counted the same way.

#include "server/core/service.h"
#include "server/grammar/analysistexts.h"
#include "server/grammar/codelists.h"
#include "server/methods/examanalysis.h"
#include "server/methods/resulttable.h"
#include "wire/protocol/methods.h"

namespace lumeko::server {

using domain::Figures;
using grammar::SubjectRef;
using wire::ErrorCode;
namespace P = wire::protocol;

namespace {

// A class of the earlier exam is the class of the same code; a branch the branch of the same name.
struct Earlier {
    const ExamData *data = nullptr;
    std::optional<ColumnFigures> figures; // none when the earlier exam lacks the column or counts nobody

    const Figures *of(const ExamData &now, const Group &g, int *classIndex) const
    {
        *classIndex = -1;
        if (!figures) return nullptr;
        switch (g.kind) {
        case Group::Class:
            *classIndex = int(data->classCodes.indexOf(now.classCodes[g.index]));
            return *classIndex < 0 ? nullptr : &figures->classes[std::size_t(*classIndex)];
        case Group::Branch: {
            const qsizetype b = data->branchNames.indexOf(now.branchNames[g.index]);
            return b < 0 ? nullptr : &figures->branches[std::size_t(b)];
        }
        case Group::Grade:
            return &figures->grade;
        }
        return nullptr;
    }
};

void defineFields(ResultTable &out)
{
    out.field(QStringLiteral("sSubject"), QStringLiteral("科目"), 'W', 8);
    out.field(QStringLiteral("SubjectCode"), QStringLiteral("科目代码"), 'W', 4, false);
    out.field(QStringLiteral("nFullMark"), QStringLiteral("满分"), 'F', 6);
    out.field(QStringLiteral("sClass"), QStringLiteral("班级"), 'W', 10);
    out.field(QStringLiteral("ClassCode"), QStringLiteral("班级代码"), 'W', 6, false);
    out.field(QStringLiteral("iRowType"), QStringLiteral("行类型"), 'I', 4, false);
    out.field(QStringLiteral("sTeacher"), QStringLiteral("教师"), 'W', 8);
    out.field(QStringLiteral("nStudents"), QStringLiteral("人数"), 'I', 5);
    out.field(QStringLiteral("nScored"), QStringLiteral("实考人数"), 'I', 5);
    out.field(QStringLiteral("nAverage"), QStringLiteral("平均分"), 'F', 7);
    out.field(QStringLiteral("iRank"), QStringLiteral("名次"), 'I', 5);
    out.field(QStringLiteral("rOverGrade"), QStringLiteral("超均率"), 'F', 7);
    out.field(QStringLiteral("rExcel"), QStringLiteral("优秀率"), 'F', 7);
    out.field(QStringLiteral("rGood"), QStringLiteral("良好率"), 'F', 7);
    out.field(QStringLiteral("rPass"), QStringLiteral("及格率"), 'F', 7);
    out.field(QStringLiteral("rLow"), QStringLiteral("低分率"), 'F', 7);
    out.field(QStringLiteral("nMax"), QStringLiteral("最高分"), 'F', 7);
    out.field(QStringLiteral("nLastAverage"), QStringLiteral("上次平均分"), 'F', 7);
    out.field(QStringLiteral("iLastRank"), QStringLiteral("上次名次"), 'I', 5);
    out.field(QStringLiteral("iRankUp"), QStringLiteral("名次进退"), 'I', 5);
    out.field(QStringLiteral("rLastOverGrade"), QStringLiteral("上次超均率"), 'F', 7);
    out.field(QStringLiteral("rOverChange"), QStringLiteral("超均率变化"), 'F', 7);
}

// 超均率 against the grade, rounded as shown; none for the grade itself.
std::optional<double> overGrade(const Figures &f, const ColumnFigures &cf, const Group &g)
{
    if (g.kind == Group::Grade) return std::nullopt;
    const std::optional<double> v = domain::overAverage(f.average, cf.grade.average);
    return v ? std::optional(domain::roundForReport(*v)) : std::nullopt;
}

QVariant value(const std::optional<double> &v)
{
    return v ? QVariant(*v) : QVariant();
}
QVariant value(const std::optional<int> &v)
{
    return v ? QVariant(*v) : QVariant();
}

void qualityRows(const ExamData &now, const ExamData &before, const QList<SubjectRef> &columns, ResultTable &out)
{
    const domain::ExamStatistics engine = engineOf(now);
    const std::optional<domain::ExamStatistics> beforeEngine = before.counted() ? std::optional(engineOf(before)) : std::nullopt;
    for (const SubjectRef &ref : columns) {
        if (!now.hasColumn(ref)) continue; // a total the exam does not keep
        const ScoreColumn &column = now.column(ref);
        const ColumnFigures cf = figuresOf(engine, column);
        Earlier earlier{&before, {}};
        if (beforeEngine && before.hasColumn(ref)) earlier.figures = figuresOf(*beforeEngine, before.column(ref));

        for (const Group &g : groupsOf(now)) {
            const Figures &f = cf.of(g);
            int lastClass = -1;
            const Figures *last = earlier.of(now, g, &lastClass);
            const std::optional<int> rank = g.kind == Group::Class ? cf.averageRanks[std::size_t(g.index)] : std::nullopt;
            const std::optional<int> lastRank = lastClass >= 0 ? earlier.figures->averageRanks[std::size_t(lastClass)] : std::nullopt;
            const std::optional<double> over = overGrade(f, cf, g);
            const std::optional<double> lastOver = last ? overGrade(*last, *earlier.figures, g) : std::nullopt;
            // The changes are of the figures as printed, so that the columns of a row add up.
            const std::optional<int> rankUp = rank && lastRank ? std::optional(*lastRank - *rank) : std::nullopt;
            const std::optional<double> overChange = over && lastOver ? std::optional(domain::roundForReport(*over - *lastOver)) : std::nullopt;

            out.row({column.name,
                     column.code,
                     domain::roundForReport(column.marks.full),
                     groupName(now, g),
                     g.kind == Group::Class ? now.classCodes[g.index] : QString(),
                     int(g.kind),
                     g.kind == Group::Class ? teacherName(now, column, g.index) : QString(),
                     f.students,
                     f.scored,
                     rounded(f.average),
                     value(rank),
                     value(over),
                     rounded(f.excelRate),
                     rounded(f.goodRate),
                     rounded(f.passRate),
                     rounded(f.lowRate),
                     rounded(f.max),
                     last ? rounded(last->average) : QVariant(),
                     value(lastRank),
                     value(rankUp),
                     value(lastOver),
                     value(overChange)});
        }
    }
}

} // namespace

// (school, var exam, var filter, var intake year, var earlier exam, var subjects, var range, out data)
void qExamQuality(MethodCall &c)
{
    const P::Method &m = P::QExamQuality;
    const QString school = c.school(0);
    const grammar::ExamRef exam = grammar::parseExamRef(QStringLiteral("Exam"), c.text(1));
    if (!c.isNull(2) && !c.isText(2))
        throw CallError(ErrorCode::BadArguments, m.fullName() + QStringLiteral(": argument 3 (Filter) must bring the student filter text"));
    grammar::StudentFilter filter = grammar::parseStudentExclusion(c.text(2));
    const qint64 inYear = c.integer(3);
    const grammar::ExamRef lastExam = grammar::parseExamRef(QStringLiteral("LastExam"), c.text(4));
    if (lastExam == exam)
        throw CallError(ErrorCode::BadArguments, m.fullName() + QStringLiteral(": argument 5 (LastExam) must be another exam than the one reported"));
    const QList<SubjectRef> columns = grammar::parseSubjectList(c.text(5));
    const grammar::StudentRange range = grammar::parseStudentRange(QStringLiteral("Range"), c.text(6));
    c.requireByRef(7);
    // The students the score page left out count only when the range asks for the picked ones; its
    // ticked classes always narrow the report, as the sheet shows only them.
    if (!range.pickedStudents) filter.excludedStudents.clear();

    ExamRead read;
    read.columns = columns;
    read.teachers = true;
    read.types = range.studentTypes;
    read.allTypes = read.types.isEmpty(); // "已选名单" alone: the picked students of every type
    read.filter = filter;
    read.nobodyIsError = false;
    const ExamData now = loadExam(c, m, ExamKey{school, exam.gradeCode, exam.examCode, exam.pageName, inYear}, read);
    // The earlier exam may lack a subject or a total: its columns stay empty.
    read.teachers = false;
    read.strictColumns = false;
    const ExamData before = loadExam(c, m, ExamKey{school, lastExam.gradeCode, lastExam.examCode, lastExam.pageName, inYear}, read);

    ResultTable out(QStringLiteral("QExamQuality"));
    defineFields(out);
    if (now.counted()) qualityRows(now, before, columns, out);
    c.setRef(7, out.rows());
}

} // namespace lumeko::server
