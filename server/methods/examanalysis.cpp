#include "server/methods/examanalysis.h"

#include "server/core/service.h"
#include "server/methods/scorescope.h"
#include "wire/protocol/methods.h"

#include <QSet>

#include <algorithm>

namespace lumeko::server {

using domain::Figures;
using domain::Tally;
using grammar::SubjectRef;
using wire::ErrorCode;
using wire::FieldDef;
using wire::FieldType;
namespace P = wire::protocol;

namespace {
const char *const kTotalPrefixes[] = {"a", "m", "b"};
} // namespace

int totalIndex(SubjectRef::Kind k)
{
    return k == SubjectRef::Kind::FullTotal ? 0 : k == SubjectRef::Kind::MainTotal ? 1 : 2;
}

bool ExamData::hasColumn(const SubjectRef &s) const
{
    return s.kind == SubjectRef::Kind::Subject ? subjectIndex.contains(s.code) : totals[totalIndex(s.kind)].has_value();
}

const ScoreColumn &ExamData::column(const SubjectRef &s) const
{
    return s.kind == SubjectRef::Kind::Subject ? subjects[subjectIndex.value(s.code)] : *totals[totalIndex(s.kind)];
}

ExamData loadExam(MethodCall &c, const P::Method &method, const ExamKey &k, const ExamRead &req)
{
    const auto refuse = [&](const QString &why) { throw CallError(ErrorCode::Refused, method.fullName() + QStringLiteral(": ") + why); };
    Database &db = c.db();
    ExamData d;
    const std::optional<StoredExam> exam = findExam(db, k);
    if (!exam) refuse(QStringLiteral("there is no exam %1 of grade %2, intake year %3, page name %4").arg(k.code, k.grade).arg(k.inYear).arg(k.page));
    d.exam = *exam;
    const ScoreScope scope(c, d.exam);
    if (!scope.seesAll() && scope.seenClasses().isEmpty())
        throw CallError(ErrorCode::Forbidden, method.fullName() + QStringLiteral(": you see no class of the exam %1").arg(d.exam.name));

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
    bool anyTotal = false, askedTotal = false;
    for (const SubjectRef &s : req.columns) {
        if (s.kind == SubjectRef::Kind::Subject) {
            if (!d.subjectIndex.contains(s.code) && req.strictColumns) refuse(QStringLiteral("%1 is not a subject of the exam %2").arg(s.code, d.exam.name));
            continue;
        }
        askedTotal = true;
        if (d.exam.key.isUnit()) {
            if (req.strictColumns) refuse(QStringLiteral("a unit exam has no totals"));
            continue;
        }
        anyTotal = true;
    }
    if (askedTotal && !c.hasRight(QStringLiteral("4011"), QStringLiteral("ViewTotal")))
        throw CallError(ErrorCode::Forbidden, method.fullName() + QStringLiteral(": the totals need the right 4011/ViewTotal"));

    // The counted students: the candidates of the classes the user sees, of the range, through the
    // filter; with them, in the same row, the scores of the columns the report needs: a LEFT JOIN
    // per subject finds the candidate's score by the primary key, and the totals are the sheet's
    // own (CJ_ExamStudent, written by UpExamOrder with the scoring engine). One narrow row per
    // candidate is what keeps a city's joint exam of 50,000 in the tens of milliseconds.
    const QStringList &types = req.types;
    bool allTypes = req.allTypes || types.isEmpty();
    if (!allTypes) {
        // Every type of the registry's list ticked is the whole range, as the distribution's ALL.
        const wire::DataPacket listed =
            db.select(QStringLiteral("SELECT \"sValue\" FROM \"XT_RegList\" WHERE lower(\"sListName\") = 'studtype'"), {}, {{"sValue", FieldType::Text, 0, 0}});
        bool every = listed.rowCount() > 0;
        for (qsizetype r = 0; r < listed.rowCount() && every; ++r)
            every = types.contains(listed.value(r, 0).toString());
        allTypes = every;
    }
    // One row per candidate: his class (and code, when some are excluded), the totals, his standing
    // over every subject when 全科 counts the stored ones, and the scores of the subjects read.
    struct Read {
        wire::DataPacket rows;
        QList<int> loaded; // subjects read, by index into d.subjects
        int firstTotal = 0, standingField = -1, firstScore = 0;
    };
    const bool excluding = !req.filter.excludedStudents.isEmpty();
    const auto read = [&](bool standings) {
        Read out;
        for (int j = 0; j < d.subjects.size(); ++j)
            if ((req.allSubjects && !standings) || std::any_of(req.columns.cbegin(), req.columns.cend(), [&](const SubjectRef &s) {
                    return s.kind == SubjectRef::Kind::Subject && s.code == d.subjects[j].code;
                }))
                out.loaded.append(j);
        QStringList select{QStringLiteral("es.\"ClassCode\"")};
        QList<FieldDef> fields{{"ClassCode", FieldType::Text, 0, 0}};
        if (excluding) {
            select << QStringLiteral("es.\"StudentCode\"");
            fields.append({"StudentCode", FieldType::Text, 0, 0});
        }
        out.firstTotal = int(select.size());
        if (anyTotal)
            for (const char *t : {"FullTotal", "MainTotal", "BaseTotal"}) {
                select << QStringLiteral("es.\"%1\"").arg(QLatin1String(t));
                fields.append({QString::fromLatin1(t), FieldType::Float, 0, 0});
            }
        if (standings) {
            out.standingField = int(select.size());
            select << QStringLiteral("es.\"iAllPass\"");
            fields.append({"iAllPass", FieldType::Integer, 0, 0});
        }
        out.firstScore = int(select.size());
        QString joins;
        QVariantList params;
        for (int j : out.loaded) {
            const QString alias = QStringLiteral("m%1").arg(j);
            select << alias + QStringLiteral(".\"score\"");
            fields.append({alias, FieldType::Float, 0, 0});
            joins += QStringLiteral(" LEFT JOIN \"CJ_Mark\" %1 ON %1.\"examId\" = es.\"examId\" AND %1.\"StudentCode\" = es.\"StudentCode\" AND "
                                    "%1.\"SubjectCode\" = ?")
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
        out.rows =
            db.select(QStringLiteral("SELECT %1 FROM \"CJ_ExamStudent\" es%2%3 WHERE %4").arg(select.join(u", "), student, joins, where), params, fields);
        return out;
    };
    // 全科 counts every subject's scores of every candidate, which for a joint exam is most of the
    // reading: the standings UpExamOrder stored serve instead, unless one of them is unknown (a
    // changed score or pass mark leaves it NULL until UpExamOrder runs again); then the scores are
    // read after all.
    Read r = read(req.allSubjects);
    if (r.standingField >= 0) {
        const wire::Column &standing = r.rows.column(r.standingField);
        for (qsizetype i = 0; i < r.rows.rowCount(); ++i)
            if (standing.isNull(i)) {
                r = read(false);
                break;
            }
    }
    const wire::DataPacket &candidates = r.rows;
    const QList<int> &loaded = r.loaded;
    const int firstTotal = r.firstTotal, standingField = r.standingField, firstScore = r.firstScore;

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
    if (counted.empty() && !req.nobodyIsError) return d;
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
    if (standingField >= 0) {
        const wire::Column &col = candidates.column(standingField);
        d.allPassStates.resize(n);
        for (std::size_t i = 0; i < n; ++i)
            d.allPassStates[i] = domain::AllPassState(std::clamp<qint64>(col.intAt(counted[i]), 0, 2));
    }

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
    if (!req.teachers) return d;
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

QVariant rounded(const std::optional<double> &v)
{
    return v ? QVariant(domain::roundForReport(*v)) : QVariant();
}

ColumnFigures figuresOf(const domain::ExamStatistics &engine, const ScoreColumn &column, const domain::TallyOptions &options)
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

QString teacherName(const ExamData &d, const ScoreColumn &column, int classIndex)
{
    if (column.total) return d.headTeachers[classIndex];
    const QString code = d.teacherOf.value(d.classCodes[classIndex] + u'|' + column.code);
    return d.teacherNames.value(code);
}

} // namespace lumeko::server
