// AchieveQry.QExamSum: the score analyses (distribution, class, subject and teacher comparison)
// over one exam, computed by the statistics engine (domain/examstatistics.h). What it answers is
// written down in server/README.md, "Score analyses: QExamSum"; the statistics themselves in
// docs/statistics.md.
//
// The exam's counted students are read once with their classes and scores, laid out as columns
// (examanalysis.h), and every figure comes from the engine's class tallies, added up for branches,
// teachers and the grade. The settings and filter texts go through the strict parsers; nothing of them reaches SQL.

#include "domain/examstatistics.h"
#include "server/core/service.h"
#include "server/grammar/analysistexts.h"
#include "server/methods/examanalysis.h"
#include "server/methods/methods.h"
#include "server/methods/resulttable.h"
#include "wire/protocol/methods.h"

#include <QHash>

namespace lumeko::server {

using domain::ColumnMarks;
using domain::Figures;
using domain::Tally;
using grammar::SubjectRef;
using wire::ErrorCode;
namespace P = wire::protocol;

namespace {

[[noreturn]] void refuse(const QString &why)
{
    throw CallError(ErrorCode::Refused, QStringLiteral("AchieveQry.QExamSum: ") + why);
}

// The distribution's items, and the comparisons', by their position in the settings text.
enum DistributionItem { dAverage, dExcel, dGood, dPass, dBad, dMax, dMin, dStudents, dHeadTeacher, dFull, dLetters };
enum ComparisonItem {
    cAverage,
    cExcel,
    cGood,
    cPass,
    cBad,
    cAllPassRate,
    cOverGrade,
    cSpread,
    cTeacher,
    cStudents,
    cAllPassCount,
    cFull,
    cAverageRank,
    cExcelCount,
    cGoodCount,
    cPassCount,
    cBadCount,
    cProgress,
    cOverBranch,
    cOverCounty,
    cOverCity,
};

// A number as the comparisons' text cells write it: "." and at most two decimals, no trailing zeros.
QString numberText(double v)
{
    QString s = QString::number(domain::roundForReport(v), 'f', 2);
    while (s.endsWith(u'0'))
        s.chop(1);
    if (s.endsWith(u'.')) s.chop(1);
    return s == u"-0" ? QStringLiteral("0") : s;
}

// ---- what is asked ---------------------------------------------------------------------------------

struct Request {
    int kind = 0;
    grammar::ExamSumSettings settings;
    grammar::StudentFilter filter;
    QList<SubjectRef> columns; // what is analysed, in the order asked
    bool wantsAllPass = false;
    bool wantsTeachers = false; // the course table: the teacher comparison, or a comparison's 任课老师 rows
};

// ---- kind 0: the distribution ---------------------------------------------------------------------

void distribution(const ExamData &d, const Request &req, ResultTable &out)
{
    const grammar::ExamSumSettings &s = req.settings;
    const ScoreColumn &column = d.column(s.subject);
    const domain::BandLayout bands = domain::scoreBands(column.marks);
    if (!bands.problem.isEmpty()) refuse(QStringLiteral("the score bands of %1: %2").arg(column.name, bands.problem));
    const auto ticked = [&](int item) { return s.items[item]; };

    domain::TallyOptions options;
    options.bands = bands.bands;
    if (ticked(dLetters)) options.letters = d.letters;
    options.topCuts = std::vector<int>(s.topCuts.cbegin(), s.topCuts.cend());
    options.bottomCuts = std::vector<int>(s.bottomCuts.cbegin(), s.bottomCuts.cend());
    const domain::ExamStatistics engine = engineOf(d);
    const ColumnFigures figures = figuresOf(engine, column, options);

    out.field(QStringLiteral("sName"), QStringLiteral("班级"), 'W', 10);
    if (ticked(dStudents)) {
        out.field(QStringLiteral("nStudents"), QStringLiteral("总人数"), 'I', 6);
        out.field(QStringLiteral("nScored"), QStringLiteral("实考人数"), 'I', 6);
    }
    if (ticked(dHeadTeacher)) out.field(QStringLiteral("sTeacher"), QStringLiteral("班主任"), 'W', 8);
    for (std::size_t b = 0; b < bands.bands.size(); ++b)
        out.field(QStringLiteral("Band%1").arg(b + 1), bands.bands[b].caption, 'I', 7);
    if (ticked(dAverage)) {
        out.field(QStringLiteral("nAverage"), QStringLiteral("平均分"), 'F', 7);
        out.field(QStringLiteral("nStdDev"), QStringLiteral("标准差"), 'F', 7);
    }
    const struct {
        int item;
        const char *count, *rate, *countCaption, *rateCaption;
    } levels[] = {{dExcel, "nExcel", "rExcel", "优秀人数", "优秀率"},
                  {dGood, "nGood", "rGood", "良好人数", "良好率"},
                  {dPass, "nPass", "rPass", "及格人数", "及格率"},
                  {dBad, "nBad", "rBad", "合格人数", "合格率"}};
    for (const auto &l : levels) {
        if (!ticked(l.item)) continue;
        out.field(QString::fromLatin1(l.count), QString::fromUtf8(l.countCaption), 'I', 7);
        out.field(QString::fromLatin1(l.rate), QString::fromUtf8(l.rateCaption), 'F', 7);
        if (l.item == dBad) {
            out.field(QStringLiteral("nLow"), QStringLiteral("低分人数"), 'I', 7);
            out.field(QStringLiteral("rLow"), QStringLiteral("低分率"), 'F', 7);
        }
    }
    if (ticked(dMax)) out.field(QStringLiteral("nMax"), QStringLiteral("最高分"), 'F', 7);
    if (ticked(dMin)) out.field(QStringLiteral("nMin"), QStringLiteral("最低分"), 'F', 7);
    if (ticked(dMax) && ticked(dMin)) out.field(QStringLiteral("nSpread"), QStringLiteral("分数极差"), 'F', 7);
    if (ticked(dFull)) out.field(QStringLiteral("nFull"), QStringLiteral("满分人数"), 'I', 7);
    if (ticked(dLetters))
        for (const char *letter : {"A", "B", "C", "D", "E"})
            out.field(QStringLiteral("n") + QLatin1String(letter), QLatin1String(letter) + QStringLiteral("等"), 'I', 6);
    for (int i = 0; i < s.topCuts.size(); ++i)
        out.field(QStringLiteral("Top%1").arg(i + 1), QStringLiteral("前%1名").arg(s.topCuts[i]), 'I', 7);
    for (int i = 0; i < s.bottomCuts.size(); ++i)
        out.field(QStringLiteral("Bottom%1").arg(i + 1), QStringLiteral("后%1名").arg(s.bottomCuts[i]), 'I', 7);
    out.field(QStringLiteral("ClassCode"), QStringLiteral("班级代码"), 'W', 6, false);
    out.field(QStringLiteral("iRowType"), QStringLiteral("行类型"), 'I', 4, false);

    for (const Group &g : groupsOf(d)) {
        const Figures &f = figures.of(g);
        const Tally &t = g.kind == Group::Class    ? figures.tallies.classes[std::size_t(g.index)]
                         : g.kind == Group::Branch ? figures.tallies.branches[std::size_t(g.index)]
                                                   : figures.tallies.grade;
        QVariantList row{groupName(d, g)};
        if (ticked(dStudents)) row << f.students << f.scored;
        if (ticked(dHeadTeacher)) row << (g.kind == Group::Class ? d.headTeachers[g.index] : QString());
        for (int count : t.bands)
            row << count;
        if (ticked(dAverage)) row << rounded(f.average) << rounded(f.stdDev);
        const std::pair<int, const std::optional<double> *> level[] = {
            {f.excel, &f.excelRate}, {f.good, &f.goodRate}, {f.pass, &f.passRate}, {f.bad, &f.badRate}};
        for (int i = 0; i < 4; ++i) {
            if (!ticked(levels[i].item)) continue;
            row << level[i].first << rounded(*level[i].second);
            if (levels[i].item == dBad) row << f.low << rounded(f.lowRate);
        }
        if (ticked(dMax)) row << rounded(f.max);
        if (ticked(dMin)) row << rounded(f.min);
        if (ticked(dMax) && ticked(dMin)) row << rounded(f.spread);
        if (ticked(dFull)) row << f.full;
        if (ticked(dLetters))
            for (int letter : t.letters)
                row << (d.letters ? QVariant(letter) : QVariant());
        for (int count : t.top)
            row << count;
        for (int count : t.bottom)
            row << count;
        row << (g.kind == Group::Class ? d.classCodes[g.index] : QString()) << int(g.kind);
        out.row(row);
    }
}

// ---- kinds 1 and 2: the comparisons by class and by subject ---------------------------------------

// A row of the comparisons: one figure for every group of a column.
enum class Stat {
    Average,
    StdDev,
    ExcelRate,
    GoodRate,
    PassRate,
    BadRate,
    LowRate,
    OverGrade,
    Max,
    Min,
    Spread,
    Teacher,
    Students,
    Scored,
    Full,
    AverageRank,
    ExcelCount,
    GoodCount,
    PassCount,
    BadCount,
    OverBranch,
    OverCounty,
    OverCity,
    AllPassRate,
    AllPassCount,
};

const char *statName(Stat s, bool total)
{
    switch (s) {
    case Stat::Average:
        return "平均分";
    case Stat::StdDev:
        return "标准差";
    case Stat::ExcelRate:
        return "优秀率";
    case Stat::GoodRate:
        return "良好率";
    case Stat::PassRate:
        return "及格率";
    case Stat::BadRate:
        return "合格率";
    case Stat::LowRate:
        return "低分率";
    case Stat::OverGrade:
        return "年级超均率";
    case Stat::Max:
        return "最高分";
    case Stat::Min:
        return "最低分";
    case Stat::Spread:
        return "分数极差";
    case Stat::Teacher:
        return total ? "班主任" : "任课老师";
    case Stat::Students:
        return "人数";
    case Stat::Scored:
        return "实考人数";
    case Stat::Full:
        return "满分人数";
    case Stat::AverageRank:
        return "均分排名";
    case Stat::ExcelCount:
        return "优秀人数";
    case Stat::GoodCount:
        return "良好人数";
    case Stat::PassCount:
        return "及格人数";
    case Stat::BadCount:
        return "合格人数";
    case Stat::OverBranch:
        return "分校超均率";
    case Stat::OverCounty:
        return "县区超均率";
    case Stat::OverCity:
        return "市超均率";
    case Stat::AllPassRate:
        return "全科及格率";
    case Stat::AllPassCount:
        return "全科及格人数";
    }
    return "";
}

// The rows each ticked item gives a subject or total, in item order. The all-subject items are
// not among them: they are one block of their own.
QList<Stat> statsOf(const QList<bool> &items)
{
    QList<Stat> out;
    const auto add = [&](int item, std::initializer_list<Stat> stats) {
        if (items[item]) out.append(QList<Stat>(stats));
    };
    add(cAverage, {Stat::Average, Stat::StdDev});
    add(cExcel, {Stat::ExcelRate});
    add(cGood, {Stat::GoodRate});
    add(cPass, {Stat::PassRate});
    add(cBad, {Stat::BadRate, Stat::LowRate});
    add(cOverGrade, {Stat::OverGrade});
    add(cSpread, {Stat::Max, Stat::Min, Stat::Spread});
    add(cTeacher, {Stat::Teacher});
    add(cStudents, {Stat::Students, Stat::Scored});
    add(cFull, {Stat::Full});
    add(cAverageRank, {Stat::AverageRank});
    add(cExcelCount, {Stat::ExcelCount});
    add(cGoodCount, {Stat::GoodCount});
    add(cPassCount, {Stat::PassCount});
    add(cBadCount, {Stat::BadCount});
    add(cOverBranch, {Stat::OverBranch});
    add(cOverCounty, {Stat::OverCounty});
    add(cOverCity, {Stat::OverCity});
    return out;
}

QList<Stat> allPassStats(const QList<bool> &items)
{
    QList<Stat> out;
    if (items[cAllPassRate]) out.append(Stat::AllPassRate);
    if (items[cAllPassCount]) out.append(Stat::AllPassCount);
    return out;
}

// A figure that reads the same for any group of students (a class, a branch, a teacher's
// students, the grade); null for the figures that depend on the group.
QVariant plainValue(const Figures &f, Stat s, const ColumnMarks &marks)
{
    const auto count = [](int n) { return QVariant(n); };
    switch (s) {
    case Stat::Average:
        return rounded(f.average);
    case Stat::StdDev:
        return rounded(f.stdDev);
    case Stat::ExcelRate:
        return rounded(f.excelRate);
    case Stat::GoodRate:
        return rounded(f.goodRate);
    case Stat::PassRate:
        return rounded(f.passRate);
    case Stat::BadRate:
        return rounded(f.badRate);
    case Stat::LowRate:
        return rounded(f.lowRate);
    case Stat::Max:
        return rounded(f.max);
    case Stat::Min:
        return rounded(f.min);
    case Stat::Spread:
        return rounded(f.spread);
    case Stat::Students:
        return count(f.students);
    case Stat::Scored:
        return count(f.scored);
    case Stat::Full:
        return count(f.full);
    case Stat::ExcelCount:
        return count(f.excel);
    case Stat::GoodCount:
        return count(f.good);
    case Stat::PassCount:
        return count(f.pass);
    case Stat::BadCount:
        return count(f.bad);
    case Stat::OverCounty:
        return rounded(domain::overAverage(f.average, marks.county));
    case Stat::OverCity:
        return rounded(domain::overAverage(f.average, marks.city));
    default:
        return {};
    }
}

// One figure of a column for a group, typed (a number, a count or a name); null when there is none.
QVariant statValue(const ExamData &d, const ColumnFigures &cf, Stat s, const Group &g)
{
    const Figures &f = cf.of(g);
    switch (s) {
    case Stat::OverGrade:
        return g.kind == Group::Grade ? QVariant() : rounded(domain::overAverage(f.average, cf.grade.average));
    case Stat::OverBranch: {
        if (g.kind != Group::Class) return {};
        const int b = d.branchOfClass[std::size_t(g.index)];
        return b < 0 ? QVariant() : rounded(domain::overAverage(f.average, cf.branches[std::size_t(b)].average));
    }
    case Stat::AverageRank: {
        if (g.kind != Group::Class) return {};
        const std::optional<int> r = cf.averageRanks[std::size_t(g.index)];
        return r ? QVariant(*r) : QVariant();
    }
    case Stat::Teacher:
        return g.kind == Group::Class ? QVariant(teacherName(d, *cf.column, g.index)) : QVariant();
    default:
        return plainValue(f, s, cf.column->marks);
    }
}

QVariant allPassValue(const domain::AllPassTallies &t, Stat s, const Group &g)
{
    const domain::AllPassTally &a = g.kind == Group::Class    ? t.classes[std::size_t(g.index)]
                                    : g.kind == Group::Branch ? t.branches[std::size_t(g.index)]
                                                              : t.grade;
    return s == Stat::AllPassRate ? rounded(a.rate()) : QVariant(a.passed);
}

// A typed value as the comparisons' text cells hold it.
QVariant asText(const QVariant &v)
{
    if (v.isNull()) return {};
    if (v.typeId() == QMetaType::Double) return numberText(v.toDouble());
    return v.toString();
}

domain::AllPassTallies allPassOf(const domain::ExamStatistics &engine, const ExamData &d)
{
    if (!d.allPassStates.empty()) return engine.allPass(d.allPassStates);
    std::vector<std::span<const double>> columns;
    std::vector<double> passMarks;
    for (const ScoreColumn &s : d.subjects) {
        columns.emplace_back(s.scores);
        passMarks.push_back(s.marks.levels.pass);
    }
    return engine.allPass(columns, passMarks);
}

void classComparison(const ExamData &d, const Request &req, ResultTable &out)
{
    const domain::ExamStatistics engine = engineOf(d);
    const QList<Group> groups = groupsOf(d);
    out.field(QStringLiteral("sSubject"), QStringLiteral("科目"), 'W', 8);
    out.field(QStringLiteral("sName"), QStringLiteral("项目"), 'W', 10);
    out.field(QStringLiteral("ExamName"), QStringLiteral("考试"), 'W', 12);
    for (const Group &g : groups) {
        if (g.kind == Group::Class)
            out.field(QStringLiteral("Class_") + d.classCodes[g.index], d.classNames[g.index], 'W', 8);
        else if (g.kind == Group::Branch)
            out.field(QStringLiteral("Branch_%1").arg(g.index + 1), d.branchNames[g.index], 'W', 8);
        else
            out.field(QStringLiteral("Grade"), QStringLiteral("年级"), 'W', 8);
    }
    const QList<Stat> stats = statsOf(req.settings.items);
    for (const SubjectRef &ref : req.columns) {
        const ScoreColumn *column = d.hasColumn(ref) ? &d.column(ref) : nullptr;
        if (!column) continue; // a total the exam does not have
        const ColumnFigures cf = figuresOf(engine, *column);
        for (Stat s : stats) {
            QVariantList row{column->name, QString::fromUtf8(statName(s, column->total)), d.exam.name};
            for (const Group &g : groups)
                row << asText(statValue(d, cf, s, g));
            out.row(row);
        }
    }
    const QList<Stat> allPass = allPassStats(req.settings.items);
    if (!allPass.isEmpty()) {
        const domain::AllPassTallies t = allPassOf(engine, d);
        for (Stat s : allPass) {
            QVariantList row{QStringLiteral("全科"), QString::fromUtf8(statName(s, false)), d.exam.name};
            for (const Group &g : groups)
                row << asText(allPassValue(t, s, g));
            out.row(row);
        }
    }
}

void subjectComparison(const ExamData &d, const Request &req, ResultTable &out)
{
    const domain::ExamStatistics engine = engineOf(d);
    const QList<Stat> stats = statsOf(req.settings.items), allPass = allPassStats(req.settings.items);
    out.field(QStringLiteral("sClass"), QStringLiteral("班级"), 'W', 10);
    out.field(QStringLiteral("sName"), QStringLiteral("项目"), 'W', 10);
    out.field(QStringLiteral("ExamName"), QStringLiteral("考试"), 'W', 12);
    std::vector<ColumnFigures> figures;
    for (const SubjectRef &ref : req.columns) {
        const ScoreColumn &column = d.column(ref);
        out.field(QStringLiteral("Subj_") + column.code, column.name, 'W', 8);
        figures.push_back(figuresOf(engine, column));
    }
    std::optional<domain::AllPassTallies> allPassTallies;
    if (!allPass.isEmpty()) {
        out.field(QStringLiteral("AllSubj"), QStringLiteral("全科"), 'W', 8);
        allPassTallies = allPassOf(engine, d);
    }
    for (const Group &g : groupsOf(d)) {
        for (Stat s : stats) {
            QVariantList row{groupName(d, g), QString::fromUtf8(statName(s, false)), d.exam.name};
            for (const ColumnFigures &cf : figures)
                row << asText(statValue(d, cf, s, g));
            if (allPassTallies) row << QVariant();
            out.row(row);
        }
        for (Stat s : allPass) {
            QVariantList row{groupName(d, g), QString::fromUtf8(statName(s, false)), d.exam.name};
            for (std::size_t i = 0; i < figures.size(); ++i)
                row << QVariant();
            row << asText(allPassValue(*allPassTallies, s, g));
            out.row(row);
        }
    }
}

// ---- kind 3: the teacher comparison ----------------------------------------------------------------

void teacherComparison(const ExamData &d, const Request &req, ResultTable &out)
{
    const domain::ExamStatistics engine = engineOf(d);
    const QList<bool> &items = req.settings.items;
    const auto ticked = [&](int item) { return items[item]; };

    // The fields of the ticked items: the figure each holds, its name and type.
    struct Field {
        Stat stat;
        const char *name;
        char type;
    };
    QList<Field> fields;
    const auto add = [&](int item, std::initializer_list<Field> f) {
        if (ticked(item)) fields.append(QList<Field>(f));
    };
    add(cAverage, {{Stat::Average, "nAverage", 'F'}, {Stat::StdDev, "nStdDev", 'F'}});
    add(cExcel, {{Stat::ExcelRate, "rExcel", 'F'}});
    add(cGood, {{Stat::GoodRate, "rGood", 'F'}});
    add(cPass, {{Stat::PassRate, "rPass", 'F'}});
    add(cBad, {{Stat::BadRate, "rBad", 'F'}, {Stat::LowRate, "rLow", 'F'}});
    add(cAllPassRate, {{Stat::AllPassRate, "rAllPass", 'F'}});
    add(cOverGrade, {{Stat::OverGrade, "rOverGrade", 'F'}});
    add(cSpread, {{Stat::Max, "nMax", 'F'}, {Stat::Min, "nMin", 'F'}, {Stat::Spread, "nSpread", 'F'}});
    add(cStudents, {{Stat::Students, "nStudents", 'I'}, {Stat::Scored, "nScored", 'I'}});
    add(cAllPassCount, {{Stat::AllPassCount, "nAllPass", 'I'}});
    add(cFull, {{Stat::Full, "nFull", 'I'}});
    add(cAverageRank, {{Stat::AverageRank, "iAvgRank", 'I'}});
    add(cExcelCount, {{Stat::ExcelCount, "nExcel", 'I'}});
    add(cGoodCount, {{Stat::GoodCount, "nGood", 'I'}});
    add(cPassCount, {{Stat::PassCount, "nPass", 'I'}});
    add(cBadCount, {{Stat::BadCount, "nBad", 'I'}});
    add(cOverBranch, {{Stat::OverBranch, "rOverBranch", 'F'}});
    add(cOverCounty, {{Stat::OverCounty, "rOverB2", 'F'}});
    add(cOverCity, {{Stat::OverCity, "rOverB3", 'F'}});

    out.field(QStringLiteral("sSubject"), QStringLiteral("科目"), 'W', 8);
    out.field(QStringLiteral("sName"), QStringLiteral("教师"), 'W', 8);
    out.field(QStringLiteral("sClasses"), QStringLiteral("任教班级"), 'W', 16);
    for (const Field &f : fields)
        out.field(QString::fromLatin1(f.name), QString::fromUtf8(statName(f.stat, false)), f.type, 7);
    out.field(QStringLiteral("TeacherCode"), QStringLiteral("教师代码"), 'W', 10, false);

    const bool wantsAllPass = ticked(cAllPassRate) || ticked(cAllPassCount);
    const std::optional<domain::AllPassTallies> allPass = wantsAllPass ? std::optional(allPassOf(engine, d)) : std::nullopt;

    for (const SubjectRef &ref : req.columns) {
        const ScoreColumn &column = d.column(ref);
        const ColumnFigures cf = figuresOf(engine, column);
        // The teachers in the order of the first class each teaches; "" stands for no teacher.
        QStringList teachers;
        QHash<QString, std::vector<int>> classesOf;
        for (int c = 0; c < d.classCodes.size(); ++c) {
            const QString code = d.teacherOf.value(d.classCodes[c] + u'|' + column.code);
            if (!classesOf.contains(code)) teachers.append(code);
            classesOf[code].push_back(c);
        }
        std::vector<Figures> teacherFigures;
        std::vector<std::optional<double>> averages;
        for (const QString &t : teachers) {
            teacherFigures.push_back(domain::figuresOf(cf.tallies.ofClasses(classesOf[t])));
            averages.push_back(t.isEmpty() ? std::nullopt : teacherFigures.back().average);
        }
        const std::vector<std::optional<int>> ranks = domain::averageRanks(averages);

        const auto valueOf = [&](Stat s, const Figures &f, int teacher) -> QVariant {
            const std::vector<int> *classes = teacher >= 0 ? &classesOf[teachers[teacher]] : nullptr;
            switch (s) {
            case Stat::AverageRank:
                return teacher >= 0 && ranks[std::size_t(teacher)] ? QVariant(*ranks[std::size_t(teacher)]) : QVariant();
            case Stat::OverGrade:
                return teacher >= 0 ? rounded(domain::overAverage(f.average, cf.grade.average)) : QVariant();
            case Stat::OverBranch: {
                if (!classes) return {};
                const int b = d.branchOfClass[std::size_t(classes->front())];
                for (int c : *classes)
                    if (d.branchOfClass[std::size_t(c)] != b) return {};
                return b < 0 ? QVariant() : rounded(domain::overAverage(f.average, cf.branches[std::size_t(b)].average));
            }
            case Stat::AllPassRate:
            case Stat::AllPassCount: {
                const domain::AllPassTally a = classes ? allPass->ofClasses(*classes) : allPass->grade;
                return s == Stat::AllPassRate ? rounded(a.rate()) : QVariant(a.passed);
            }
            default:
                return plainValue(f, s, column.marks);
            }
        };

        for (int t = 0; t < teachers.size(); ++t) {
            const QString &code = teachers[t];
            QStringList classNames;
            for (int c : classesOf[code])
                classNames.append(d.classNames[c]);
            QVariantList row{column.name, code.isEmpty() ? QStringLiteral("未安排") : d.teacherNames.value(code), classNames.join(QStringLiteral("、"))};
            for (const Field &f : fields)
                row << valueOf(f.stat, teacherFigures[std::size_t(t)], t);
            row << code;
            out.row(row);
        }
        QVariantList row{column.name, QStringLiteral("年级"), QString()};
        for (const Field &f : fields)
            row << valueOf(f.stat, cf.grade, -1);
        row << QString();
        out.row(row);
    }
}

// ---- the method -----------------------------------------------------------------------------------

void qExamSum(MethodCall &c)
{
    Request req;
    req.kind = int(c.integer(6));
    req.settings = grammar::parseExamSumSettings(req.kind, c.text(7));
    if (!c.isNull(8) && !c.isText(8))
        throw CallError(ErrorCode::BadArguments, QStringLiteral("AchieveQry.QExamSum: argument 9 (Filter) must bring the student filter text"));
    req.filter = grammar::parseStudentExclusion(c.text(8));
    if (req.kind == 0) {
        req.columns = {req.settings.subject};
    } else {
        req.columns = req.settings.subjects;
        req.wantsAllPass = req.settings.items[cAllPassRate] || req.settings.items[cAllPassCount];
        req.wantsTeachers = req.kind == 3 || req.settings.items[cTeacher];
    }
    ExamRead read;
    read.columns = req.columns;
    read.allSubjects = req.wantsAllPass;
    read.teachers = req.wantsTeachers;
    read.filter = req.filter;
    if (req.kind == 0) {
        read.allTypes = req.settings.allStudentTypes;
        read.types = req.settings.studentTypes;
    } else {
        read.types = req.settings.range.studentTypes;
        read.allTypes = read.types.isEmpty(); // "已选名单" alone: the picked students of every type
    }
    const ExamKey k = keyOfArgs(c, 1, 2, 3, 5);
    const ExamData d = loadExam(c, P::QExamSum, k, read);
    if (req.kind == 0 && !d.hasColumn(req.settings.subject))
        refuse(QStringLiteral("the exam %1 has no %2").arg(d.exam.name, QString::fromUtf8(kTotalNames[totalIndex(req.settings.subject.kind)])));

    ResultTable out(QStringLiteral("QExamSum"));
    switch (req.kind) {
    case 0:
        distribution(d, req, out);
        break;
    case 1:
        classComparison(d, req, out);
        break;
    case 2:
        subjectComparison(d, req, out);
        break;
    default:
        teacherComparison(d, req, out);
        break;
    }
    c.setRef(8, out.definitions());
    c.setRef(9, out.rows());
}

} // namespace

void registerAnalysisMethods(Service &s)
{
    s.addMethod(P::QExamSum, qExamSum);
    s.addMethod(P::QExamQuality, qExamQuality);
}

} // namespace lumeko::server
