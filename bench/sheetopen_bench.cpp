// Opening a score sheet: a school-wide exam of 3,750 candidates and 12 subjects with every score
// stored (and the totals and grade ranks UpExamOrder derives), opened by the administrator.
//
//   ours  AchieveQry.QMark through the embedded service, the sheet's data packet loaded into a
//         DataSet, and a BandedGrid over it with the sheet's columns (the candidate in the fixed
//         band; per subject its score, ranks, level and letter under the subject's caption; the
//         totals likewise; averages of the scores in the footer), shown, laid out and painted
//         once (the events processed, then grab()): what a teacher waits for.
//   base  a plain SELECT of the same rows on the same connection, the candidates joined to their
//         students and the narrow scores, into std::vectors of the candidates and their scores.
//
// Reported per iteration: ours_ns, base_ns, ratio (ours / base), and the parts of ours as
// qmark_ns (the call), load_ns (into the DataSet) and grid_ns (the grid built, shown and painted).
// Outside the timed part every iteration checks that the grid shows every candidate with the
// baseline's name and scores.
//
// BM_OpenSheetSqlite runs on a temporary SQLite file; BM_OpenSheetPostgres on a database of its
// own made from LUMEKO_BENCH_PG (default postgresql:///postgres), left out with a message when
// that server does not answer. Widgets use Qt's offscreen platform.

#include "examschool.h"
#include "pairclock.h"
#include "scratchdatabase.h"
#include "toolkit/data/dataset.h"
#include "toolkit/grid/bandedgrid.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPixmap>

#include <array>
#include <cstdio>

namespace {

using namespace lumeko;
using namespace lumeko::bench;
using server::Backend;
using server::Database;
using wire::FieldType;

// ---- ours -------------------------------------------------------------------------------------------

GridColumn column(const QString &field, const QString &caption, int width, int band = 1)
{
    GridColumn c;
    c.field = field;
    c.caption = caption;
    c.width = width;
    c.band = band;
    c.readOnly = true;
    return c;
}

// The sheet's columns as the score page shows them.
QList<GridColumn> sheetColumns(const ExamSchool &school)
{
    QList<GridColumn> cols;
    GridColumn selected = column(QStringLiteral("Selected"), QStringLiteral("选择"), 36, 0);
    selected.editor = EditorKind::Boolean;
    selected.readOnly = false;
    cols << selected << column(QStringLiteral("SNO"), QStringLiteral("学号"), 90, 0);
    GridColumn name = column(QStringLiteral("sName"), QStringLiteral("姓名"), 64, 0);
    name.summary = SummaryKind::Count;
    name.summaryFormat = QStringLiteral("人数=,0");
    cols << name << column(QStringLiteral("ClassName"), QStringLiteral("班级"), 96, 0) << column(QStringLiteral("sSex"), QStringLiteral("性别"), 40)
         << column(QStringLiteral("iClassNO"), QStringLiteral("座号"), 40) << column(QStringLiteral("sArea"), QStringLiteral("校区"), 48);
    for (const char *hidden : {"sCode", "ClassCode", "sType", "sOldSchool", "AuthNo"}) {
        GridColumn c = column(QString::fromLatin1(hidden), QString(), 60);
        c.visible = false;
        cols << c;
    }
    // Score, grade rank, class rank, branch rank, level and letter of a subject or a total.
    const auto group = [&cols](const QString &caption, const QString &score, const QString &order, const QString &suffix) {
        GridColumn s = column(score, QStringLiteral("成绩"), 52);
        s.editor = EditorKind::Float;
        s.readOnly = false;
        s.displayFormat = QStringLiteral("0.#");
        s.summary = SummaryKind::Average;
        s.summaryFormat = QStringLiteral("0.00");
        QList<GridColumn> g{s,
                            column(order, QStringLiteral("级名"), 44),
                            column(QStringLiteral("B_") + suffix, QStringLiteral("班名"), 40),
                            column(QStringLiteral("A_") + suffix, QStringLiteral("校区名"), 48),
                            column(QStringLiteral("G_") + suffix, QStringLiteral("等级"), 40),
                            column(QStringLiteral("P_") + suffix, QStringLiteral("等第"), 40)};
        for (GridColumn &c : g)
            c.groups = {caption};
        cols << g;
    };
    for (int j = 0; j < ExamSchool::kSubjects; ++j) {
        const QString code = school.subjects()[j];
        group(school.subjectName(j), QStringLiteral("C_") + code, QStringLiteral("O_") + code, code);
    }
    group(QStringLiteral("总分"), QStringLiteral("FullTotal"), QStringLiteral("FullOrder"), QStringLiteral("FUL"));
    group(QStringLiteral("主科总分"), QStringLiteral("MainTotal"), QStringLiteral("MainOrder"), QStringLiteral("MAI"));
    group(QStringLiteral("基础总分"), QStringLiteral("BaseTotal"), QStringLiteral("BaseOrder"), QStringLiteral("BAS"));
    return cols;
}

struct OpenedSheet {
    std::unique_ptr<DataSet> table;
    std::unique_ptr<BandedGrid> grid;
    QPixmap picture;
    QString error;
};

// ---- the baseline ----------------------------------------------------------------------------------

struct Candidate {
    QString code, no, name, sex, classCode;
    qint64 seat = 0;
    std::array<double, ExamSchool::kSubjects> scores{};
    std::array<bool, ExamSchool::kSubjects> scored{};
};

std::vector<Candidate> selectSheet(Database &db, const ExamSchool &school)
{
    const wire::DataPacket rows =
        db.select(QStringLiteral("SELECT es.\"StudentCode\", st.\"sNO\", st.\"sName\", st.\"sSex\", es.\"ClassCode\", st.\"iClassNo\" "
                                 "FROM \"CJ_ExamStudent\" es JOIN \"XJ_Student\" st ON st.\"sCode\" = es.\"StudentCode\" "
                                 "WHERE es.\"examId\" = ? ORDER BY es.\"ClassCode\", st.\"iClassNo\", es.\"StudentCode\""),
                  {school.examId()},
                  {{"StudentCode", FieldType::Text, 0, 0},
                   {"sNO", FieldType::Text, 0, 0},
                   {"sName", FieldType::Text, 0, 0},
                   {"sSex", FieldType::Text, 0, 0},
                   {"ClassCode", FieldType::Text, 0, 0},
                   {"iClassNo", FieldType::Integer, 0, 0}});
    std::vector<Candidate> out(std::size_t(rows.rowCount()));
    QHash<QString, std::size_t> rowOf;
    rowOf.reserve(rows.rowCount());
    for (qsizetype r = 0; r < rows.rowCount(); ++r) {
        Candidate &c = out[std::size_t(r)];
        c.code = rows.column(0).textAt(r);
        c.no = rows.column(1).textAt(r);
        c.name = rows.column(2).textAt(r);
        c.sex = rows.column(3).textAt(r);
        c.classCode = rows.column(4).textAt(r);
        c.seat = rows.column(5).intAt(r);
        rowOf.insert(c.code, std::size_t(r));
    }
    const wire::DataPacket marks =
        db.select(QStringLiteral("SELECT \"StudentCode\", \"SubjectCode\", \"score\" FROM \"CJ_Mark\" WHERE \"examId\" = ?"), {school.examId()},
                  {{"StudentCode", FieldType::Text, 0, 0}, {"SubjectCode", FieldType::Text, 0, 0}, {"score", FieldType::Float, 0, 0}});
    for (qsizetype r = 0; r < marks.rowCount(); ++r) {
        const auto row = rowOf.constFind(marks.column(0).textAt(r));
        const qsizetype j = school.subjects().indexOf(marks.column(1).textAt(r));
        if (row == rowOf.cend() || j < 0 || marks.column(2).isNull(r)) continue;
        out[*row].scores[std::size_t(j)] = marks.column(2).floatAt(r);
        out[*row].scored[std::size_t(j)] = true;
    }
    return out;
}

// ---- the check -------------------------------------------------------------------------------------

QString compare(const OpenedSheet &opened, const std::vector<Candidate> &base, const ExamSchool &school)
{
    const BandedGrid &grid = *opened.grid;
    if (opened.picture.isNull()) return QStringLiteral("the grid painted nothing");
    if (grid.dataRowCount() != ExamSchool::kStudents || base.size() != std::size_t(ExamSchool::kStudents))
        return QStringLiteral("the grid shows %1 rows, the baseline read %2").arg(grid.dataRowCount()).arg(base.size());
    QHash<QString, const Candidate *> byCode;
    for (const Candidate &c : base)
        byCode.insert(c.code, &c);
    const int codeColumn = grid.columnOfField(QStringLiteral("sCode")), nameColumn = grid.columnOfField(QStringLiteral("sName"));
    std::array<int, ExamSchool::kSubjects> scoreColumn{};
    for (int j = 0; j < ExamSchool::kSubjects; ++j)
        scoreColumn[std::size_t(j)] = grid.columnOfField(QStringLiteral("C_") + school.subjects()[j]);
    for (int r = 0; r < grid.dataRowCount(); ++r) {
        const Candidate *c = byCode.value(grid.value(r, codeColumn).toString());
        if (!c) return QStringLiteral("row %1 shows a candidate the baseline did not read").arg(r);
        if (grid.value(r, nameColumn).toString() != c->name)
            return QStringLiteral("row %1 shows %2 for %3").arg(r).arg(grid.value(r, nameColumn).toString(), c->name);
        for (int j = 0; j < ExamSchool::kSubjects; ++j) {
            const QVariant shown = grid.value(r, scoreColumn[std::size_t(j)]);
            if (shown.isNull() != !c->scored[std::size_t(j)] || (c->scored[std::size_t(j)] && shown.toDouble() != c->scores[std::size_t(j)]))
                return QStringLiteral("row %1 (%2), subject %3: the grid shows %4, the baseline read %5")
                    .arg(r)
                    .arg(c->name, school.subjects()[j], shown.toString())
                    .arg(c->scores[std::size_t(j)]);
        }
    }
    return {};
}

void openSheet(benchmark::State &state, Backend backend)
{
    try {
        ScratchDatabase scratch(backend, QStringLiteral("lumeko_bench_sheetopen"));
        ExamSchool school(scratch.url());
        school.storeScores(school.nextScores(1));
        QString message;
        if (!school.upExamOrder(&message)) throw std::runtime_error("UpExamOrder failed: " + message.toStdString());
        Database &db = school.db();

        PairClock clock;
        double qmarkNs = 0, loadNs = 0, gridNs = 0;
        QString failure;
        for (auto _ : state) {
            OpenedSheet opened;
            std::vector<Candidate> base;
            clock.runSides(
                state,
                [&] {
                    wire::Reply reply;
                    const double qmark = elapsedNs([&] { reply = school.qMarkReply(); });
                    const double load = elapsedNs([&] {
                        ExamSchool::Sheet sheet = school.takeSheet(reply);
                        opened.table = std::make_unique<DataSet>();
                        opened.table->setData(std::move(sheet.data));
                    });
                    const double grid = elapsedNs([&] {
                        opened.grid = std::make_unique<BandedGrid>();
                        opened.grid->setDataSet(opened.table.get());
                        opened.grid->setColumns(sheetColumns(school));
                        opened.grid->resize(1280, 720);
                        opened.grid->show();
                        QCoreApplication::processEvents();
                        opened.picture = opened.grid->grab();
                    });
                    if (!reply.ok()) failure = QStringLiteral("QMark: ") + reply.message;
                    qmarkNs += qmark;
                    loadNs += load;
                    gridNs += grid;
                    return qmark + load + grid;
                },
                [&] { return elapsedNs([&] { base = selectSheet(db, school); }); });
            if (failure.isEmpty()) failure = compare(opened, base, school);
            if (!failure.isEmpty()) break;
            opened.grid.reset(); // closed outside the timed part
        }
        if (!failure.isEmpty()) {
            state.SkipWithError(qPrintable(failure));
            return;
        }
        clock.report(state);
        const double runs = clock.runs() ? double(clock.runs()) : 1.0;
        state.counters["qmark_ns"] = qmarkNs / runs;
        state.counters["load_ns"] = loadNs / runs;
        state.counters["grid_ns"] = gridNs / runs;
    } catch (const std::exception &e) {
        state.SkipWithError(e.what());
    }
}

// The offscreen platform says on every show() that it cannot pass size hints on; nothing else is
// left out of the output.
QtMessageHandler previousHandler = nullptr;

void quietOffscreen(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message.contains(QLatin1String("propagateSizeHints"))) return;
    if (previousHandler)
        previousHandler(type, context, message);
    else
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    previousHandler = qInstallMessageHandler(quietOffscreen);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    registerOnBothBackends("BM_OpenSheet", openSheet, 8);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
