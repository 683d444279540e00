// The teaching-quality report over the school-wide exam of 3,750 candidates in 75 classes and 12
// subjects (examschool.h), against an earlier exam of the same candidates:
//
//   ours  AchieveQry.QExamQuality through the embedded service, as the quality dialog calls it, by
//         the administrator: every subject and the three totals, each class against itself in
//         the earlier exam.
//   base  what the same figures cost through the analyses that were there before: QExamSum's class
//         comparison (kind 1) of both exams, of the same subjects and totals, with the items the
//         report prints (平均分, the four rates, 年级超均率, 分数极差, the teachers, 班级人数,
//         均分排名).
//
// Reported per iteration: ours_ns, base_ns and ratio (ours / base). Outside the timed part every
// iteration checks that both give 数学's grade average of each exam alike. The scores come from
// fixed seeds.
//
// BM_QualityReportSqlite runs on a temporary SQLite file; BM_QualityReportPostgres on a database of
// its own made from LUMEKO_BENCH_PG (default postgresql:///postgres), left out with a message when
// that server does not answer.

#include "examschool.h"
#include "pairclock.h"
#include "scratchdatabase.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include <cmath>
#include <cstdio>
#include <memory>

namespace {

using namespace lumeko;
using namespace lumeko::bench;
using server::Backend;
using wire::FieldType;

const QString kNoPage = QStringLiteral("⊥");
const QString kRange = QStringLiteral("统招生");

wire::Argument val(wire::Value v)
{
    return {std::move(v), false};
}
wire::Argument ref(wire::Value v = wire::Null{})
{
    return {std::move(v), true};
}

// The school with its exam (001) scored and totalled, and an earlier exam (000) of the same
// candidates, subjects and marks, scored from another seed.
class TwoExams {
public:
    explicit TwoExams(const server::DatabaseUrl &url) : school(url)
    {
        QString message;
        school.storeScores(school.nextScores(20261207u));
        if (!school.upExamOrder(&message)) throw std::runtime_error("UpExamOrder of the exam: " + message.toStdString());
        server::Database &db = school.db();
        const qint64 earlier = db.insertReturningId(
            QStringLiteral("INSERT INTO \"CJ_ExamTotal\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", \"ExamName\", \"aFullMark\", "
                           "\"aExcelMark\", \"aGoodMark\", \"aPassMark\", \"aBadMark\", \"bFullMark\", \"mFullMark\", \"hasMain\", \"hasBase\", "
                           "\"ModifyRight\", \"dDefDay\") VALUES ('S1', '1701', 2026, '000', ?, ?, 1350, 1215, 1080, 810, 405, 450, 750, ?, ?, 63, ?)"),
            {kNoPage, QStringLiteral("月考"), db.toDb(true, FieldType::Boolean), db.toDb(true, FieldType::Boolean),
             db.toDb(QDate(2026, 10, 20), FieldType::Date)},
            QStringLiteral("Id"));
        db.exec(QStringLiteral("INSERT INTO \"CJ_ExamSubject\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", \"SubjectCode\", "
                               "\"Per\", \"FullMark\", \"ExcelMark\", \"GoodMark\", \"PassMark\", \"BadMark\") "
                               "SELECT \"SchoolCode\", \"GradeCode\", \"InYear\", '000', \"PageName\", \"SubjectCode\", \"Per\", \"FullMark\", \"ExcelMark\", "
                               "\"GoodMark\", \"PassMark\", \"BadMark\" FROM \"CJ_ExamSubject\" WHERE \"SchoolCode\" = 'S1' AND \"ExamCode\" = '001'"));
        db.exec(QStringLiteral("INSERT INTO \"CJ_ExamStudent\" (\"examId\", \"StudentCode\", \"ClassCode\") "
                               "SELECT ?, \"StudentCode\", \"ClassCode\" FROM \"CJ_ExamStudent\" WHERE \"examId\" = ?"),
                {earlier, school.examId()});
        const std::vector<double> scores = school.nextScores(20261020u);
        QList<QVariantList> marks;
        for (int i = 0; i < ExamSchool::kStudents; ++i)
            for (int j = 0; j < ExamSchool::kSubjects; ++j) {
                const double s = scores[std::size_t(i * ExamSchool::kSubjects + j)];
                if (!std::isnan(s)) marks.append({earlier, school.students()[i], school.subjects()[j], s});
            }
        db.execValues(QStringLiteral("INSERT INTO \"CJ_Mark\" (\"examId\", \"StudentCode\", \"SubjectCode\", \"score\")"), 4, marks);
        const wire::Reply order = school.call(QStringLiteral("AchieveUp"), QStringLiteral("UpExamOrder"),
                                              {val(QStringLiteral("S1")), val(QStringLiteral("1701")), val(QStringLiteral("000")), ref(kNoPage),
                                               ref(QStringLiteral("FULLTOTAL,FULLORDER,BASETOTAL,BASEORDER,MAINTOTAL,MAINORDER")), ref(qint64(2026))});
        if (!order.ok()) throw std::runtime_error("UpExamOrder of the earlier exam: " + order.message.toStdString());
        // The planner's statistics, as a school's database has them: without them PostgreSQL's first
        // read of freshly loaded scores takes seconds whichever side runs it first.
        db.exec(QStringLiteral("ANALYZE"));
        QStringList codes = school.subjects();
        codes << QStringLiteral("FUL") << QStringLiteral("MAI") << QStringLiteral("BAS");
        subjects = codes.join(u',');
    }

    wire::DataPacket quality(QString *failure)
    {
        wire::Reply r = school.call(QStringLiteral("AchieveQry"), QStringLiteral("QExamQuality"),
                                    {val(QStringLiteral("S1")), ref(QStringLiteral("1701;001;⊥")), ref(QString()), ref(qint64(2026)),
                                     ref(QStringLiteral("1701;000;⊥")), ref(subjects), ref(kRange), ref()});
        if (!r.ok()) *failure = QStringLiteral("QExamQuality: ") + r.message;
        return r.ok() ? std::get<wire::DataPacket>(r.refs[7]) : wire::DataPacket();
    }

    wire::DataPacket classComparison(const QString &exam, QString *failure)
    {
        wire::Reply r =
            school.call(QStringLiteral("AchieveQry"), QStringLiteral("QExamSum"),
                        {val(QStringLiteral("S1")), val(QStringLiteral("1701")), val(exam), ref(kNoPage), val(QStringLiteral("1")), ref(qint64(2026)),
                         ref(qint64(1)), ref(QStringLiteral("111110111100100000000;") + kRange + u';' + subjects), ref(QString()), ref()});
        if (!r.ok()) *failure = QStringLiteral("QExamSum: ") + r.message;
        return r.ok() ? std::get<wire::DataPacket>(r.refs[9]) : wire::DataPacket();
    }

    ExamSchool school;
    QString subjects;
};

TwoExams &twoExams(Backend backend)
{
    static std::unique_ptr<ScratchDatabase> scratch[2];
    static std::unique_ptr<TwoExams> exams[2];
    const int b = backend == Backend::Sqlite ? 0 : 1;
    if (!exams[b]) {
        scratch[b] = std::make_unique<ScratchDatabase>(backend, QStringLiteral("lumeko_bench_examquality"));
        exams[b] = std::make_unique<TwoExams>(scratch[b]->url());
    }
    return *exams[b];
}

// 数学's grade average in the quality report (this exam's and the earlier one's), and in a class
// comparison (the Grade cell of its 平均分 row).
std::pair<double, double> qualityAverages(const wire::DataPacket &rows)
{
    for (qsizetype r = 0; r < rows.rowCount(); ++r)
        if (rows.value(r, rows.fieldIndex(u"sSubject")).toString() == u"数学" && rows.value(r, rows.fieldIndex(u"iRowType")).toInt() == 2)
            return {rows.value(r, rows.fieldIndex(u"nAverage")).toDouble(), rows.value(r, rows.fieldIndex(u"nLastAverage")).toDouble()};
    return {std::nan(""), std::nan("")};
}
double comparisonAverage(const wire::DataPacket &rows)
{
    for (qsizetype r = 0; r < rows.rowCount(); ++r)
        if (rows.value(r, 0).toString() == u"数学" && rows.value(r, 1).toString() == u"平均分")
            return rows.value(r, rows.fieldIndex(u"Grade")).toString().toDouble();
    return std::nan("");
}

void qualityReport(benchmark::State &state, Backend backend)
{
    try {
        TwoExams &exams = twoExams(backend);
        PairClock clock;
        QString failure;
        for (auto _ : state) {
            wire::DataPacket ours, now, before;
            clock.run(
                state, [&] { ours = exams.quality(&failure); },
                [&] {
                    now = exams.classComparison(QStringLiteral("001"), &failure);
                    before = exams.classComparison(QStringLiteral("000"), &failure);
                });
            if (!failure.isEmpty()) break;
            const auto [average, lastAverage] = qualityAverages(ours);
            if (!(std::abs(average - comparisonAverage(now)) < 0.006) || !(std::abs(lastAverage - comparisonAverage(before)) < 0.006)) {
                failure = QStringLiteral("数学's grade averages are %1 and %2 in the report, %3 and %4 in the comparisons")
                              .arg(average)
                              .arg(lastAverage)
                              .arg(comparisonAverage(now))
                              .arg(comparisonAverage(before));
                break;
            }
        }
        if (!failure.isEmpty()) {
            state.SkipWithError(qPrintable(failure));
            return;
        }
        clock.report(state);
    } catch (const std::exception &e) {
        state.SkipWithError(e.what());
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    registerOnBothBackends("BM_QualityReport", qualityReport, 10);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
