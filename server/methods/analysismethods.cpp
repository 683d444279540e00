// AchieveQry.QExamSum: the score analyses (distribution, class, subject and teacher comparison)
// over one exam, computed by the statistics engine (domain/examstatistics.h). What it answers is
// written down in server/README.md, "Score analyses: QExamSum"; the statistics themselves in
// docs/statistics.md.
//
// The exam's counted students are read once with their classes and scores, laid out as columns,
// and every figure comes from the engine's class tallies, added up for branches, teachers and the
// grade. The settings and filter texts go through the strict parsers; nothing of them reaches SQL.

#include "domain/examstatistics.h"
#include "server/core/service.h"
#include "server/grammar/analysistexts.h"
#include "server/methods/examstore.h"
#include "server/methods/methods.h"
#include "server/methods/scorescope.h"
#include "wire/protocol/methods.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <map>

namespace lumeko::server {

using domain::ColumnMarks;
using domain::ColumnTallies;
using domain::Figures;
using domain::Tally;
using grammar::SubjectRef;
using wire::ErrorCode;
using wire::FieldDef;
using wire::FieldType;
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

QVariant rounded(const std::optional<double> &v)
{
    return v ? QVariant(domain::roundForReport(*v)) : QVariant();
}

// ---- the exam's data, read once --------------------------------------------------------------------

// A subject or a total, with its scores by counted row.
struct ScoreColumn {
    QString code; // "001", or "FUL", "MAI", "BAS"
    QString name; // 语文, or 全总分, 主总分, 基总分
    bool total = false;
    int subjectType = 2;
    ColumnMarks marks;
    std::vector<double> scores;
};

const char *const kTotalCodes[] = {"FUL", "MAI", "BAS"};
const char *const kTotalNames[] = {"全总分", "主总分", "基总分"};
const char *const kTotalPrefixes[] = {"a", "m", "b"};

int totalIndex(SubjectRef::Kind k)
{
    return k == SubjectRef::Kind::FullTotal ? 0 : k == SubjectRef::Kind::MainTotal ? 1 : 2;
}

struct ExamData {
    StoredExam exam;
    // Counted students, class by class (class code, then student code).
    std::vector<int> classOf;
    QStringList classCodes, classNames, headTeachers; // per class
    std::vector<int> branchOfClass;
    QStringList branchNames;     // sorted
    QList<ScoreColumn> subjects; // every subject of the exam, by code
    QHash<QString, int> subjectIndex;
    std::optional<ScoreColumn> totals[3];
    std::optional<domain::LetterShares> letters;
    // The course table: "class|subject" → teacher code; teacher code → name.
    QHash<QString, QString> teacherOf;
    QHash<QString, QString> teacherNames;

    bool showBranches() const { return branchNames.size() >= 2; }
    const ScoreColumn &column(const SubjectRef &s) const
    {
        return s.kind == SubjectRef::Kind::Subject ? subjects[subjectIndex.value(s.code)] : *totals[totalIndex(s.kind)];
    }
};

struct Request {
    int kind = 0;
    grammar::ExamSumSettings settings;
    grammar::StudentFilter filter;
    QList<SubjectRef> columns; // what is analysed, in the order asked
    bool wantsAllPass = false;
    bool wantsTeachers = false; // the course table: the teacher comparison, or a comparison's 任课老师 rows
};

ExamData loadExam(MethodCall &c, const ExamKey &k, const Request &req)
{
    Database &db = c.db();
    ExamData d;
    const std::optional<StoredExam> exam = findExam(db, k);
    if (!exam) refuse(QStringLiteral("there is no exam %1 of grade %2, intake year %3, page name %4").arg(k.code, k.grade).arg(k.inYear).arg(k.page));
    d.exam = *exam;
    const ScoreScope scope(c, d.exam);
    if (!scope.seesAll() && scope.seenClasses().isEmpty())
        throw CallError(ErrorCode::Forbidden, QStringLiteral("AchieveQry.QExamSum: you see no class of the exam %1").arg(d.exam.name));

    // The subjects with their marks, types and names.
    const wire::DataPacket subjects = db.select(
        QStringLiteral("SELECT es.\"SubjectCode\", COALESCE(s.\"SubjectName\", es.\"SubjectCode\"), COALESCE(gs.\"SubjectType\", 2), es.\"FullMark\", "
                       "es.\"ExcelMark\", es.\"GoodMark\", es.\"PassMark\", es.\"BadMark\", es.\"HighMark\", es.\"DistanceMark\", es.\"LowMark\", "
                       "es.\"B2\", es.\"B3\" FROM \"CJ_ExamSubject\" es "
                       "LEFT JOIN \"XJ_GradeSubject\" gs ON gs.\"SchoolCode\" = es.\"SchoolCode\" AND gs.\"InYear\" = es.\"InYear\" "
                       "AND gs.\"GradeCode\" = es.\"GradeCode\" AND gs.\"SubjectCode\" = es.\"SubjectCode\" "
                       "LEFT JOIN \"XJ_Subject\" s ON s.\"SchoolCode\" = es.\"SchoolCode\" AND s.\"SubjectCode\" = es.\"SubjectCode\" "
                       "WHERE es.\"SchoolCode\" = ? AND es.\"GradeCode\" = ? AND es.\"InYear\" = ? AND es.\"ExamCode\" = ? AND es.\"PageName\" = ? "
                       "ORDER BY es.\"SubjectCode\""),
        k.params(),
        {{"SubjectCode", FieldType::Text, 0, 0},
         {"SubjectName", FieldType::Text, 0, 0},
         {"SubjectType", FieldType::Integer, 0, 0},
         {"FullMark", FieldType::Float, 0, 0},
         {"ExcelMark", FieldType::Float, 0, 0},
         {"GoodMark", FieldType::Float, 0, 0},
         {"PassMark", FieldType::Float, 0, 0},
         {"BadMark", FieldType::Float, 0, 0},
         {"HighMark", FieldType::Float, 0, 0},
         {"DistanceMark", FieldType::Float, 0, 0},
         {"LowMark", FieldType::Float, 0, 0},
         {"B2", FieldType::Float, 0, 0},
         {"B3", FieldType::Float, 0, 0}});
    const auto mark = [](const QVariant &v) { return v.isNull() ? 0.0 : v.toDouble(); };
    const auto average = [](const QVariant &v) { return v.isNull() || v.toDouble() <= 0 ? std::nullopt : std::optional<double>(v.toDouble()); };
    for (qsizetype r = 0; r < subjects.rowCount(); ++r) {
        ScoreColumn s;
        s.code = subjects.value(r, 0).toString();
        s.name = subjects.value(r, 1).toString();
        s.subjectType = subjects.value(r, 2).toInt();
        s.marks.full = mark(subjects.value(r, 3));
        s.marks.levels = {mark(subjects.value(r, 4)), mark(subjects.value(r, 5)), mark(subjects.value(r, 6)), mark(subjects.value(r, 7))};
        s.marks.high = mark(subjects.value(r, 8));
        s.marks.distance = mark(subjects.value(r, 9));
        s.marks.low = mark(subjects.value(r, 10));
        s.marks.county = average(subjects.value(r, 11));
        s.marks.city = average(subjects.value(r, 12));
        d.subjectIndex.insert(s.code, int(d.subjects.size()));
        d.subjects.append(s);
    }
    if (d.subjects.isEmpty()) refuse(QStringLiteral("the exam %1 has no subjects").arg(d.exam.name));

    // What is asked must be the exam's; totals need a school-wide exam and the right to see them.
    bool anyTotal = false;
    for (const SubjectRef &s : req.columns) {
        if (s.kind == SubjectRef::Kind::Subject) {
            if (!d.subjectIndex.contains(s.code)) refuse(QStringLiteral("%1 is not a subject of the exam %2").arg(s.code, d.exam.name));
            continue;
        }
        anyTotal = true;
        if (d.exam.key.isUnit()) refuse(QStringLiteral("a unit exam has no totals"));
    }
    if (anyTotal && !c.hasRight(QStringLiteral("4011"), QStringLiteral("ViewTotal")))
        throw CallError(ErrorCode::Forbidden, QStringLiteral("AchieveQry.QExamSum: the totals need the right 4011/ViewTotal"));

    // The counted students: the candidates of the classes the user sees, of the range, through the
    // filter; with them, in the same row, the scores of the columns the report needs: a LEFT JOIN
    // per subject finds the candidate's score by the primary key, and the totals are the sheet's
    // own (CJ_ExamStudent, written by UpExamOrder with the scoring engine). One narrow row per
    // candidate is what keeps a city's joint exam of 50,000 in the tens of milliseconds.
    QStringList types;
    bool allTypes = false;
    if (req.kind == 0) {
        allTypes = req.settings.allStudentTypes;
        types = req.settings.studentTypes;
    } else {
        types = req.settings.range.studentTypes;
        allTypes = types.isEmpty(); // "已选名单" alone: the picked students of every type
    }
    if (!allTypes) {
        // Every type of the registry's list ticked is the whole range, as the distribution's ALL.
        const wire::DataPacket listed =
            db.select(QStringLiteral("SELECT \"sValue\" FROM \"XT_RegList\" WHERE lower(\"sListName\") = 'studtype'"), {}, {{"sValue", FieldType::Text, 0, 0}});
        bool every = listed.rowCount() > 0;
        for (qsizetype r = 0; r < listed.rowCount() && every; ++r)
            every = types.contains(listed.value(r, 0).toString());
        allTypes = every;
    }
    QList<int> loaded; // subjects read, by index into d.subjects
    for (int j = 0; j < d.subjects.size(); ++j)
        if (req.wantsAllPass || std::any_of(req.columns.cbegin(), req.columns.cend(),
                                            [&](const SubjectRef &s) { return s.kind == SubjectRef::Kind::Subject && s.code == d.subjects[j].code; }))
            loaded.append(j);
    const bool excluding = !req.filter.excludedStudents.isEmpty();
    QStringList select{QStringLiteral("es.\"ClassCode\"")};
    QList<FieldDef> fields{{"ClassCode", FieldType::Text, 0, 0}};
    if (excluding) {
        select << QStringLiteral("es.\"StudentCode\"");
        fields.append({"StudentCode", FieldType::Text, 0, 0});
    }
    const int firstTotal = int(select.size());
    if (anyTotal)
        for (const char *t : {"FullTotal", "MainTotal", "BaseTotal"}) {
            select << QStringLiteral("es.\"%1\"").arg(QLatin1String(t));
            fields.append({QString::fromLatin1(t), FieldType::Float, 0, 0});
        }
    const int firstScore = int(select.size());
    QString joins;
    QVariantList params;
    for (int j : loaded) {
        const QString alias = QStringLiteral("m%1").arg(j);
        select << alias + QStringLiteral(".\"score\"");
        fields.append({alias, FieldType::Float, 0, 0});
        joins +=
            QStringLiteral(" LEFT JOIN \"CJ_Mark\" %1 ON %1.\"examId\" = es.\"examId\" AND %1.\"StudentCode\" = es.\"StudentCode\" AND %1.\"SubjectCode\" = ?")
                .arg(alias);
        params << d.subjects[j].code;
    }
    QString where = QStringLiteral("es.\"examId\" = ?");
    params << d.exam.id;
    if (!allTypes) {
        where += QStringLiteral(" AND st.\"sType\" IN (%1)").arg(QStringList(types.size(), QStringLiteral("?")).join(u','));
        for (const QString &t : types)
            params << t;
    }
    // The register row is read only for the student type: a student with exam data cannot be
    // removed from the register, so every candidate has one.
    const QString student = allTypes ? QString() : QStringLiteral(" JOIN \"XJ_Student\" st ON st.\"sCode\" = es.\"StudentCode\"");
    const wire::DataPacket candidates =
        db.select(QStringLiteral("SELECT %1 FROM \"CJ_ExamStudent\" es%2%3 WHERE %4").arg(select.join(u", "), student, joins, where), params, fields);

    // The classes the rows name, by code, with their names, branches and head teachers: the grade's
    // alias and branch before the school's, the code when the class is in neither.
    const QSet<QString> filterClasses(req.filter.classCodes.cbegin(), req.filter.classCodes.cend());
    const QSet<QString> excluded(req.filter.excludedStudents.cbegin(), req.filter.excludedStudents.cend());
    const wire::Column &classColumn = candidates.column(0);
    std::vector<qsizetype> counted;
    counted.reserve(std::size_t(candidates.rowCount()));
    QHash<QString, int> classIndex;
    for (qsizetype r = 0; r < candidates.rowCount(); ++r) {
        const QString &klass = classColumn.textAt(r);
        if (!scope.sees(klass) || (!filterClasses.isEmpty() && !filterClasses.contains(klass)) ||
            (excluding && excluded.contains(candidates.column(1).textAt(r))))
            continue;
        counted.push_back(r);
        if (!classIndex.contains(klass)) classIndex.insert(klass, 0);
    }
    if (counted.empty())
        refuse(QStringLiteral("no candidate of the exam %1 is counted: the classes you see, the student types %2 and the filter leave none")
                   .arg(d.exam.name, allTypes ? QStringLiteral("(all)") : types.join(u',')));
    d.classCodes = classIndex.keys();
    d.classCodes.sort();
    for (int c = 0; c < d.classCodes.size(); ++c)
        classIndex[d.classCodes[c]] = c;
    const wire::DataPacket schoolClasses =
        db.select(QStringLiteral("SELECT \"ClassCode\", \"ClassName\", \"sArea\" FROM \"XJ_Class\" WHERE \"SchoolCode\" = ?"), {k.school},
                  {{"ClassCode", FieldType::Text, 0, 0}, {"ClassName", FieldType::Text, 0, 0}, {"sArea", FieldType::Text, 0, 0}});
    const wire::DataPacket gradeClasses = db.select(
        QStringLiteral(
            "SELECT gc.\"ClassCode\", gc.\"AliasName\", gc.\"sArea\", t.\"sName\" FROM \"XJ_GradeClass\" gc "
            "LEFT JOIN \"JC_Teacher\" t ON t.\"sCode\" = gc.\"TeacherCode\" WHERE gc.\"SchoolCode\" = ? AND gc.\"InYear\" = ? AND gc.\"GradeCode\" = ?"),
        {k.school, k.inYear, k.grade},
        {{"ClassCode", FieldType::Text, 0, 0}, {"AliasName", FieldType::Text, 0, 0}, {"sArea", FieldType::Text, 0, 0}, {"sName", FieldType::Text, 0, 0}});
    d.classNames = d.classCodes;
    d.headTeachers = QStringList(d.classCodes.size(), QString());
    QStringList classBranch(d.classCodes.size(), QString());
    const auto nonEmpty = [](const QVariant &v) { return !v.isNull() && !v.toString().isEmpty(); };
    for (qsizetype r = 0; r < schoolClasses.rowCount(); ++r) {
        const int c = classIndex.value(schoolClasses.value(r, 0).toString(), -1);
        if (c < 0) continue;
        if (!schoolClasses.value(r, 1).isNull()) d.classNames[c] = schoolClasses.value(r, 1).toString();
        if (nonEmpty(schoolClasses.value(r, 2))) classBranch[c] = schoolClasses.value(r, 2).toString();
    }
    for (qsizetype r = 0; r < gradeClasses.rowCount(); ++r) {
        const int c = classIndex.value(gradeClasses.value(r, 0).toString(), -1);
        if (c < 0) continue;
        if (nonEmpty(gradeClasses.value(r, 1))) d.classNames[c] = gradeClasses.value(r, 1).toString();
        if (nonEmpty(gradeClasses.value(r, 2))) classBranch[c] = gradeClasses.value(r, 2).toString();
        d.headTeachers[c] = gradeClasses.value(r, 3).toString();
    }

    // Branches by name; a class without one has none.
    QStringList names;
    for (const QString &b : classBranch)
        if (!b.isEmpty() && !names.contains(b)) names.append(b);
    names.sort();
    d.branchNames = names;
    for (const QString &b : classBranch)
        d.branchOfClass.push_back(b.isEmpty() ? -1 : int(names.indexOf(b)));

    // The counted rows as columns: each row's class, each loaded subject's scores, the totals.
    const std::size_t n = counted.size();
    d.classOf.resize(n);
    for (std::size_t i = 0; i < n; ++i)
        d.classOf[i] = classIndex.value(classColumn.textAt(counted[i]));
    const auto columnOf = [&](int field) {
        std::vector<double> out(n, domain::kNoScore);
        const wire::Column &col = candidates.column(field);
        for (std::size_t i = 0; i < n; ++i)
            if (!col.isNull(counted[i])) out[i] = col.floatAt(counted[i]);
        return out;
    };
    for (int l = 0; l < loaded.size(); ++l)
        d.subjects[loaded[l]].scores = columnOf(firstScore + l);

    // The totals and the header's marks of each.
    if (anyTotal) {
        QStringList cols;
        for (const char *p : kTotalPrefixes)
            for (const char *m : {"FullMark", "ExcelMark", "GoodMark", "PassMark", "BadMark", "HighMark", "DistanceMark", "LowMark"})
                cols << Database::quoted(QString::fromLatin1(p) + QString::fromLatin1(m));
        QList<FieldDef> markFields;
        for (const QString &col : cols)
            markFields.append({col, FieldType::Float, 0, 0});
        const wire::DataPacket header =
            db.select(QStringLiteral("SELECT %1 FROM \"CJ_ExamTotal\" WHERE \"Id\" = ?").arg(cols.join(u", ")), {d.exam.id}, markFields);
        const bool has[] = {true, d.exam.hasMain, d.exam.hasBase};
        for (int i = 0; i < 3; ++i) {
            if (!has[i]) continue;
            ScoreColumn s;
            s.code = QString::fromLatin1(kTotalCodes[i]);
            s.name = QString::fromUtf8(kTotalNames[i]);
            s.total = true;
            const auto at = [&](int m) { return mark(header.value(0, i * 8 + m)); };
            s.marks.full = at(0);
            s.marks.levels = {at(1), at(2), at(3), at(4)};
            s.marks.high = at(5);
            s.marks.distance = at(6);
            s.marks.low = at(7);
            s.scores = columnOf(firstTotal + i);
            d.totals[i] = std::move(s);
        }
    }

    // The grade's letter shares (the first row, as the score sheet's grade letters take them).
    const wire::DataPacket shares = db.select(
        QStringLiteral("SELECT \"APer\", \"BPer\", \"CPer\", \"DPer\", \"EPer\" FROM \"CJ_ExamGradePer\" WHERE \"examId\" = ? ORDER BY \"Id\""), {d.exam.id},
        {{"APer", FieldType::Float, 0, 0},
         {"BPer", FieldType::Float, 0, 0},
         {"CPer", FieldType::Float, 0, 0},
         {"DPer", FieldType::Float, 0, 0},
         {"EPer", FieldType::Float, 0, 0}});
    if (shares.rowCount() > 0)
        d.letters = domain::LetterShares{mark(shares.value(0, 0)), mark(shares.value(0, 1)), mark(shares.value(0, 2)), mark(shares.value(0, 3)),
                                         mark(shares.value(0, 4))};

    // Who teaches what in the grade's classes, when a report names subject teachers.
    if (!req.wantsTeachers) return d;
    QVariantList courseParams{k.school, k.inYear, k.grade};
    QStringList asked;
    for (const SubjectRef &s : req.columns)
        if (s.kind == SubjectRef::Kind::Subject) {
            asked << QStringLiteral("?");
            courseParams << s.code;
        }
    if (asked.isEmpty()) return d;
    const wire::DataPacket course =
        db.select(QStringLiteral("SELECT ct.\"ClassCode\", ct.\"SubjectCode\", ct.\"TeacherCode\", COALESCE(t.\"sName\", '') FROM \"XJ_CourseTable\" ct "
                                 "LEFT JOIN \"JC_Teacher\" t ON t.\"sCode\" = ct.\"TeacherCode\" "
                                 "WHERE ct.\"SchoolCode\" = ? AND ct.\"InYear\" = ? AND ct.\"GradeCode\" = ? AND ct.\"SubjectCode\" IN (%1) "
                                 "AND COALESCE(ct.\"TeacherCode\", '') <> ''")
                      .arg(asked.join(u',')),
                  courseParams,
                  {{"ClassCode", FieldType::Text, 0, 0},
                   {"SubjectCode", FieldType::Text, 0, 0},
                   {"TeacherCode", FieldType::Text, 0, 0},
                   {"sName", FieldType::Text, 0, 0}});
    for (qsizetype r = 0; r < course.rowCount(); ++r) {
        d.teacherOf.insert(course.value(r, 0).toString() + u'|' + course.value(r, 1).toString(), course.value(r, 2).toString());
        d.teacherNames.insert(course.value(r, 2).toString(), course.value(r, 3).toString());
    }
    return d;
}

// ---- the result -----------------------------------------------------------------------------------

struct OutField {
    QString name, caption;
    char type = 'W'; // W text, I integer, F number
    int width = 8;
    bool shown = true;
};

class Result {
public:
    void field(const QString &name, const QString &caption, char type, int width = 8, bool shown = true)
    {
        m_fields.append({name, caption, type, width, shown});
    }
    int fieldCount() const { return int(m_fields.size()); }
    void row(QVariantList values) { m_rows.append(std::move(values)); }

    wire::DataPacket definitions() const
    {
        wire::DataPacket defs({{"sFldName", FieldType::Text, 60, 0},
                               {"sTable", FieldType::Text, 40, 0},
                               {"sFldCaption", FieldType::Text, 60, 0},
                               {"bShowed", FieldType::Boolean, 0, 0},
                               {"nWidth", FieldType::Integer, 0, 0},
                               {"bSum", FieldType::Boolean, 0, 0},
                               {"bGroup", FieldType::Boolean, 0, 0},
                               {"sFieldType", FieldType::Text, 1, 0},
                               {"sSumType", FieldType::Text, 1, 0},
                               {"sFormat", FieldType::Text, 40, 0}});
        for (const OutField &f : m_fields)
            defs.appendRow(
                {f.name, QStringLiteral("QExamSum"), f.caption, f.shown, f.width, false, false, QString(QChar::fromLatin1(f.type)), QString(), QString()});
        return defs;
    }
    wire::DataPacket rows() const
    {
        QList<FieldDef> defs;
        for (const OutField &f : m_fields)
            defs.append({f.name, f.type == 'I' ? FieldType::Integer : f.type == 'F' ? FieldType::Float : FieldType::Text, 0, 0});
        wire::DataPacket out(defs);
        for (const QVariantList &r : m_rows)
            out.appendRow(r);
        return out;
    }

private:
    QList<OutField> m_fields;
    QList<QVariantList> m_rows;
};

// The groups a figure is given for.
struct Group {
    enum Kind { Class, Branch, Grade } kind = Grade;
    int index = 0;
};

// One column's figures for every class, branch and the grade.
struct ColumnFigures {
    const ScoreColumn *column = nullptr;
    ColumnTallies tallies;
    std::vector<Figures> classes, branches;
    Figures grade;
    std::vector<std::optional<int>> averageRanks; // by class

    const Figures &of(const Group &g) const
    {
        return g.kind == Group::Class ? classes[std::size_t(g.index)] : g.kind == Group::Branch ? branches[std::size_t(g.index)] : grade;
    }
};

ColumnFigures figuresOf(const domain::ExamStatistics &engine, const ScoreColumn &column, const domain::TallyOptions &options = {})
{
    ColumnFigures f;
    f.column = &column;
    f.tallies = engine.tally(column.scores, column.marks, options);
    std::vector<std::optional<double>> averages;
    for (const Tally &t : f.tallies.classes) {
        f.classes.push_back(domain::figuresOf(t));
        averages.push_back(f.classes.back().average);
    }
    for (const Tally &t : f.tallies.branches)
        f.branches.push_back(domain::figuresOf(t));
    f.grade = domain::figuresOf(f.tallies.grade);
    f.averageRanks = domain::averageRanks(averages);
    return f;
}

domain::ExamStatistics engineOf(const ExamData &d)
{
    return domain::ExamStatistics({d.classOf, d.branchOfClass, int(d.classCodes.size()), int(d.branchNames.size())});
}

// The classes, then the branches when there are two or more, then the grade.
QList<Group> groupsOf(const ExamData &d)
{
    QList<Group> out;
    for (int c = 0; c < d.classCodes.size(); ++c)
        out.append({Group::Class, c});
    if (d.showBranches())
        for (int b = 0; b < d.branchNames.size(); ++b)
            out.append({Group::Branch, b});
    out.append({Group::Grade, 0});
    return out;
}

QString groupName(const ExamData &d, const Group &g)
{
    return g.kind == Group::Class ? d.classNames[g.index] : g.kind == Group::Branch ? d.branchNames[g.index] : QStringLiteral("年级");
}

// ---- kind 0: the distribution ---------------------------------------------------------------------

void distribution(const ExamData &d, const Request &req, Result &out)
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

// The names of the teachers of a class for a column: its course-table teacher for a subject, its
// head teacher for a total.
QString teacherName(const ExamData &d, const ScoreColumn &column, int classIndex)
{
    if (column.total) return d.headTeachers[classIndex];
    const QString code = d.teacherOf.value(d.classCodes[classIndex] + u'|' + column.code);
    return d.teacherNames.value(code);
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
    std::vector<std::span<const double>> columns;
    std::vector<double> passMarks;
    for (const ScoreColumn &s : d.subjects) {
        columns.emplace_back(s.scores);
        passMarks.push_back(s.marks.levels.pass);
    }
    return engine.allPass(columns, passMarks);
}

void classComparison(const ExamData &d, const Request &req, Result &out)
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
        const ScoreColumn *column = ref.kind == SubjectRef::Kind::Subject ? &d.column(ref)
                                    : d.totals[totalIndex(ref.kind)]      ? &*d.totals[totalIndex(ref.kind)]
                                                                          : nullptr;
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

void subjectComparison(const ExamData &d, const Request &req, Result &out)
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

void teacherComparison(const ExamData &d, const Request &req, Result &out)
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
    const ExamKey k = keyOfArgs(c, 1, 2, 3, 5);
    const ExamData d = loadExam(c, k, req);
    if (req.kind == 0 && req.settings.subject.kind != SubjectRef::Kind::Subject && !d.totals[totalIndex(req.settings.subject.kind)])
        refuse(QStringLiteral("the exam %1 has no %2").arg(d.exam.name, QString::fromUtf8(kTotalNames[totalIndex(req.settings.subject.kind)])));

    Result out;
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
}

} // namespace lumeko::server
