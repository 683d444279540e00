// The promotion guide over the demo school on both back ends: which grades it offers, the report of
// a run, promotion and graduation on the server, the undo that gives back the very same database,
// and a grade whose promotion fails half way staying as it was while the others go on.

#include "framework/remotetable.h"
#include "framework/servercall.h"
#include "host/pub/pub.h"
#include "schoolyear/ufrmupgradeguide.h"
#include "schoolyearhost.h"
#include "shots.h"
#include "signedinhost.h"

#include <QPlainTextEdit>
#include <QTreeWidget>

using namespace lumeko;
using namespace lumeko::achieve;
using lumeko::schoolyear::testing::DemoSchoolHost;
using lumeko::schoolyear::testing::dumpTables;
using lumeko::schoolyear::testing::examAnalysis;

namespace {

// "2024级七年级" for each row of a list, in its order.
QStringList rowNames(const QTreeWidget *list)
{
    QStringList out;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        out << list->topLevelItem(i)->text(0) + list->topLevelItem(i)->text(1);
    return out;
}

void tick(QTreeWidget *list, const QStringList &names)
{
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = list->topLevelItem(i);
        item->setCheckState(0, names.contains(item->text(0) + item->text(1)) ? Qt::Checked : Qt::Unchecked);
    }
}

void tickAll(QTreeWidget *list)
{
    tick(list, rowNames(list));
}

// The report lines that follow "->分析  <name>" up to the next grade's, joined by " / ".
std::string linesOf(const QStringList &report, const QString &name)
{
    QStringList out;
    bool inside = false;
    for (const QString &line : report) {
        if (line.startsWith(u"->分析  "))
            inside = line == QStringLiteral("->分析  ") + name;
        else if (inside && line.startsWith(u"......"))
            out << line;
    }
    return out.join(QStringLiteral(" / ")).toStdString();
}

class Promotion : public DemoSchoolHost {
protected:
    qint64 studentsOf(int inYear, const QString &grade, const QString &states = QStringLiteral("'00'"))
    {
        return count(
            QStringLiteral("SELECT COUNT(*) FROM \"XJ_Student\" WHERE \"SchoolCode\" = ? AND \"InYear\" = ? AND \"GradeCode\" = ? AND \"iState\" IN (%1)")
                .arg(states),
            {school(), inYear, grade});
    }
    std::string gradeRecord(int inYear, const QString &grade)
    {
        const QVariant flag =
            db().scalar(QStringLiteral("SELECT \"bCurGrade\" || ' ' || \"sYear\" FROM \"XJ_Grade\" WHERE \"SchoolCode\" = ? AND \"InYear\" = ? "
                                       "AND \"GradeCode\" = ?"),
                        {school(), inYear, grade});
        return flag.isNull() ? std::string("none") : flag.toString().toStdString();
    }
};

// The whole school moves up a year: every current grade is offered, each is promoted or graduated
// with its report lines, log lines and a half-second pause between two, the students move with
// their classes, and an old exam reads as it did. Undoing every grade then gives back every table
// as it was, row for row.
TEST_P(Promotion, TheWholeSchoolMovesUpAndTheUndoGivesBackEveryTableAsItWas)
{
    const auto before = dumpTables(db());
    const QStringList analysisBefore = examAnalysis(db(), school());
    ASSERT_FALSE(analysisBefore.isEmpty()) << "the demo school has exams with scores";
    const qint64 seventh = studentsOf(2024, QStringLiteral("1701")), ninth = studentsOf(2022, QStringLiteral("1901"));
    const qint64 leftSeventh = studentsOf(2024, QStringLiteral("1701"), QStringLiteral("'02','03','05'"));
    ASSERT_GT(seventh, 0);
    ASSERT_GT(ninth, 0);

    TfrmUpGradeGuide guide;
    guide.prepare();
    const QStringList offered = rowNames(guide.lvUpGrade);
    EXPECT_EQ(offered.size(), 8) << offered.join(u' ').toStdString();
    for (const char *name : {"2024级七年级", "2023级八年级", "2022级九年级", "2024级高一", "2023级高二（理科）", "2023级高二（文科）", "2022级高三（理科）"})
        EXPECT_TRUE(offered.contains(QString::fromUtf8(name))) << name;
    EXPECT_TRUE(rowNames(guide.lvUnGrade).isEmpty()) << "nothing was moved in the last two school years yet";

    // Nothing ticked: refused before any call.
    const int callsBefore = int(recorder->methods.size());
    guide.acUpGradeExecute();
    EXPECT_EQ(host.messageTexts().value(0), QStringLiteral("请勾选升级年级列表！"));
    EXPECT_EQ(int(recorder->methods.size()), callsBefore);

    tickAll(guide.lvUpGrade);
    host.answer(pub::AnswerYes, QStringLiteral("您确认要对勾选的年级进行升级/升学吗？"));
    guide.acUpGradeExecute();
    const QStringList report = guide.reportLines();
    EXPECT_EQ(report.first(), QStringLiteral("准备处理升级......"));
    EXPECT_EQ(report.last(), QStringLiteral("升级处理结束.")) << report.join(u'\n').toStdString();
    EXPECT_EQ(linesOf(report, QStringLiteral("2024级七年级")), "......开始升级 / ......升级成功！");
    EXPECT_EQ(linesOf(report, QStringLiteral("2022级九年级")), "......将升级成毕业 / ......毕业设置成功！");
    EXPECT_EQ(linesOf(report, QStringLiteral("2022级高三（文科）")), "......将升级成毕业 / ......毕业设置成功！");
    EXPECT_EQ(pauses, QList<int>(7, 500)) << "half a second between two grades, none after the last";
    EXPECT_TRUE(operationLog().contains(QStringLiteral("升级年级 2024级七年级"))) << host.logLines.join(u'\n').toStdString();
    EXPECT_TRUE(operationLog().contains(QStringLiteral("升级年级 2022级九年级 为毕业状态")));
    EXPECT_TRUE(rowNames(guide.lvUpGrade).isEmpty()) << "every grade is in 2025~2026 now";

    // The intake 2024 is 八年级 of 2025~2026 with all its students at school; 七年级 is history.
    EXPECT_EQ(gradeRecord(2024, QStringLiteral("1701")), "N 2024~2025学年");
    EXPECT_EQ(gradeRecord(2024, QStringLiteral("1801")), "Y 2025~2026学年");
    EXPECT_EQ(studentsOf(2024, QStringLiteral("1801")), seventh);
    EXPECT_EQ(studentsOf(2024, QStringLiteral("1701"), QStringLiteral("'02','03','05'")), leftSeventh) << "who left stays where he left";
    EXPECT_EQ(
        count(QStringLiteral("SELECT COUNT(*) FROM \"XJ_GradeClass\" WHERE \"SchoolCode\" = ? AND \"InYear\" = 2024 AND \"GradeCode\" = '1801'"), {school()}),
        count(QStringLiteral("SELECT COUNT(*) FROM \"XJ_GradeClass\" WHERE \"SchoolCode\" = ? AND \"InYear\" = 2024 AND \"GradeCode\" = '1701'"), {school()}));
    // 高一 goes into 高二（理科）; the graduates keep their grade and are marked graduated.
    EXPECT_EQ(gradeRecord(2024, QStringLiteral("2201")), "Y 2025~2026学年");
    EXPECT_EQ(gradeRecord(2022, QStringLiteral("1901")), "N 2024~2025学年");
    EXPECT_EQ(studentsOf(2022, QStringLiteral("1901"), QStringLiteral("'04'")), ninth);
    EXPECT_EQ(studentsOf(2022, QStringLiteral("1901")), 0);
    EXPECT_EQ(examAnalysis(db(), school()), analysisBefore) << "an old exam stays with the grade and year it was held in";

    // The undo list: one row per intake and stage; the two streams of the senior intake 2023 are
    // one row, undone together.
    const QStringList undoable = rowNames(guide.lvUnGrade);
    EXPECT_EQ(undoable.size(), 6) << undoable.join(u' ').toStdString();
    EXPECT_TRUE(undoable.contains(QStringLiteral("2024级七年级")));
    EXPECT_TRUE(undoable.contains(QStringLiteral("2022级九年级")));
    EXPECT_TRUE(undoable.contains(QStringLiteral("2023级高二（理科）")));
    EXPECT_FALSE(undoable.contains(QStringLiteral("2023级高二（文科）")));
    EXPECT_TRUE(undoable.contains(QStringLiteral("2022级高三（理科）")));
    EXPECT_FALSE(undoable.contains(QStringLiteral("2022级高三（文科）")));

    pauses.clear();
    tickAll(guide.lvUnGrade);
    host.answer(pub::AnswerYes, QStringLiteral("您确认要对勾选的年级取消升级/升学吗？"));
    guide.acUnGradeExecute();
    const QStringList undone = guide.reportLines();
    EXPECT_EQ(undone.first(), QStringLiteral("准备取消升级......"));
    EXPECT_EQ(linesOf(undone, QStringLiteral("2024级七年级")), "......开始取消升级 / ......取消升级成功！");
    EXPECT_EQ(linesOf(undone, QStringLiteral("2022级九年级")), "......取消毕业设置 / ......取消毕业设置成功！");
    EXPECT_EQ(undone.last(), QStringLiteral("升级处理结束."));
    EXPECT_TRUE(operationLog().contains(QStringLiteral("取消升级年级 2024级七年级")));
    EXPECT_TRUE(operationLog().contains(QStringLiteral("取消年级 2022级九年级 为毕业状态")));
    EXPECT_TRUE(rowNames(guide.lvUnGrade).isEmpty());
    EXPECT_EQ(rowNames(guide.lvUpGrade).size(), 8) << "every grade can be promoted again";

    const auto after = dumpTables(db());
    for (auto it = before.begin(); it != before.end(); ++it)
        EXPECT_EQ(after.value(it.key()), it.value()) << it.key().toStdString() << " differs after promoting and undoing";
}

// A grade already in this school year is not offered; a grade the catalogue has no next grade for
// is reported and the run goes on; a record of "2012~2013学年" moves into "2013~2014学年".
TEST_P(Promotion, OnlyGradesBehindAreOfferedAndAGradeWithoutANextOneDoesNotStopTheRun)
{
    db().exec(QStringLiteral("UPDATE \"XJ_Grade\" SET \"sYear\" = '2025~2026学年' WHERE \"SchoolCode\" = ? AND \"InYear\" = 2023 AND \"GradeCode\" = '1801'"),
              {school()});
    db().exec(QStringLiteral("UPDATE \"XJ_Grade\" SET \"sYear\" = '2012~2013学年' WHERE \"SchoolCode\" = ? AND \"InYear\" = 2024 AND \"GradeCode\" = '2101'"),
              {school()});
    db().exec(QStringLiteral("UPDATE \"XT_GradeName\" SET \"sNextGrade\" = NULL WHERE \"sKeyId\" = '1701'"));

    TfrmUpGradeGuide guide;
    guide.prepare();
    const QStringList offered = rowNames(guide.lvUpGrade);
    EXPECT_FALSE(offered.contains(QStringLiteral("2023级八年级"))) << "already in 2025~2026";
    tick(guide.lvUpGrade, {QStringLiteral("2024级七年级"), QStringLiteral("2024级高一")});
    host.answer(pub::AnswerYes);
    guide.acUpGradeExecute();
    const QStringList report = guide.reportLines();
    EXPECT_EQ(linesOf(report, QStringLiteral("2024级七年级")), "......不能升级，没找到新年级设置！");
    EXPECT_EQ(linesOf(report, QStringLiteral("2024级高一")), "......开始升级 / ......升级成功！");
    EXPECT_EQ(pauses, QList<int>{500});
    EXPECT_EQ(gradeRecord(2024, QStringLiteral("1701")), "Y 2024~2025学年");
    EXPECT_EQ(gradeRecord(2024, QStringLiteral("2201")), "Y 2013~2014学年");
    EXPECT_EQ(gradeRecord(2024, QStringLiteral("2101")), "N 2012~2013学年");
}

// A statement that fails half way through one grade's promotion (a trigger refuses the students'
// move, after the grade, classes and subjects were written) leaves that grade exactly as it was;
// the grade after it is promoted; its undo then brings back the database of the start.
TEST_P(Promotion, AGradeWhosePromotionFailsHalfWayStaysAsItWasAndTheNextIsPromoted)
{
    const bool pg = GetParam() == server::Backend::Postgres;
    if (pg) {
        db().exec(
            QStringLiteral("CREATE FUNCTION lumeko_refuse_move() RETURNS trigger AS $$ BEGIN RAISE EXCEPTION 'the disk is full'; END $$ LANGUAGE plpgsql"));
        db().exec(QStringLiteral("CREATE TRIGGER refuse_move BEFORE UPDATE ON \"XJ_Student\" FOR EACH ROW WHEN (NEW.\"GradeCode\" = '1801') "
                                 "EXECUTE FUNCTION lumeko_refuse_move()"));
    } else {
        db().exec(QStringLiteral("CREATE TRIGGER refuse_move BEFORE UPDATE ON \"XJ_Student\" WHEN NEW.\"GradeCode\" = '1801' "
                                 "BEGIN SELECT RAISE(ABORT, 'the disk is full'); END"));
    }
    const auto before = dumpTables(db());

    TfrmUpGradeGuide guide;
    guide.prepare();
    tick(guide.lvUpGrade, {QStringLiteral("2024级七年级"), QStringLiteral("2024级高一")});
    host.answer(pub::AnswerYes);
    guide.acUpGradeExecute();
    const QStringList report = guide.reportLines();
    EXPECT_EQ(linesOf(report, QStringLiteral("2024级七年级")), "......开始升级 / ......升级失败！");
    EXPECT_EQ(linesOf(report, QStringLiteral("2024级高一")), "......开始升级 / ......升级成功！");
    EXPECT_EQ(report.last(), QStringLiteral("升级处理结束."));
    EXPECT_TRUE(std::any_of(host.logLines.cbegin(), host.logLines.cend(), [](const QString &l) { return l.contains(u"nothing was changed"); }))
        << host.logLines.join(u'\n').toStdString();
    EXPECT_EQ(gradeRecord(2024, QStringLiteral("1701")), "Y 2024~2025学年");
    EXPECT_EQ(gradeRecord(2024, QStringLiteral("1801")), "none");
    EXPECT_EQ(gradeRecord(2024, QStringLiteral("2201")), "Y 2025~2026学年");
    EXPECT_TRUE(rowNames(guide.lvUpGrade).contains(QStringLiteral("2024级七年级"))) << "the failed grade is offered again";

    tick(guide.lvUnGrade, {QStringLiteral("2024级高一")});
    host.answer(pub::AnswerYes);
    guide.acUnGradeExecute();
    EXPECT_EQ(linesOf(guide.reportLines(), QStringLiteral("2024级高一")), "......开始取消升级 / ......取消升级成功！");
    const auto after = dumpTables(db());
    for (auto it = before.begin(); it != before.end(); ++it)
        EXPECT_EQ(after.value(it.key()), it.value()) << it.key().toStdString();
    db().exec(QStringLiteral("DROP TRIGGER refuse_move") + (pg ? QStringLiteral(" ON \"XJ_Student\"") : QString()));
    if (pg) db().exec(QStringLiteral("DROP FUNCTION lumeko_refuse_move()"));
}

// An undo puts back only what its promotion wrote: once a student joined the promoted grade, the
// undo is refused and changes nothing; a lost connection ends a run with "服务器连接失败！" and
// keeps the grades already done.
TEST_P(Promotion, AnUndoAfterLaterChangesIsRefusedAndALostConnectionKeepsWhatWasDone)
{
    TfrmUpGradeGuide guide;
    guide.prepare();
    tick(guide.lvUpGrade, {QStringLiteral("2024级七年级"), QStringLiteral("2024级高一"), QStringLiteral("2023级八年级")});
    recorder->breakMethod = QStringLiteral("UpGradeLevel");
    recorder->breakAtCall = 2;
    host.answer(pub::AnswerYes);
    guide.acUpGradeExecute();
    const QStringList report = guide.reportLines();
    EXPECT_EQ(report.last(), QStringLiteral("服务器连接失败！"));
    EXPECT_EQ(linesOf(report, QStringLiteral("2023级八年级")), "") << "the run ended before the third grade";
    EXPECT_EQ(gradeRecord(2024, QStringLiteral("1801")), "Y 2025~2026学年") << "the first grade stays promoted";
    EXPECT_EQ(gradeRecord(2023, QStringLiteral("1901")), "none");
    recorder->breakMethod.clear();

    const auto promoted = dumpTables(db());
    const QString student = db().scalar(QStringLiteral("SELECT MIN(\"sCode\") FROM \"XJ_Student\" WHERE \"SchoolCode\" = ? AND \"InYear\" = 2024 "
                                                       "AND \"GradeCode\" = '1801'"),
                                        {school()})
                                .toString();
    db().exec(QStringLiteral("UPDATE \"XJ_Student\" SET \"sName\" = '改名' WHERE \"sCode\" = ?"), {student});
    db().exec(QStringLiteral("UPDATE \"XJ_Student\" SET \"GradeCode\" = '1801', \"InYear\" = 2024 WHERE \"sCode\" = (SELECT MIN(\"sCode\") FROM "
                             "\"XJ_Student\" WHERE \"SchoolCode\" = ? AND \"InYear\" = 2023 AND \"GradeCode\" = '1801')"),
              {school()});
    const auto changed = dumpTables(db());
    ASSERT_NE(changed, promoted);
    guide.loadLists();
    tick(guide.lvUnGrade, {QStringLiteral("2024级七年级")});
    host.answer(pub::AnswerYes);
    guide.acUnGradeExecute();
    EXPECT_EQ(linesOf(guide.reportLines(), QStringLiteral("2024级七年级")), "......开始取消升级 / ......取消升级失败！");
    EXPECT_EQ(dumpTables(db()), changed);
    EXPECT_TRUE(std::any_of(host.logLines.cbegin(), host.logLines.cend(), [](const QString &l) { return l.contains(u"1 rows added"); }))
        << host.logLines.join(u'\n').toStdString();
}

// A hand-made call gets what the guide never sends refused with a clear reason: a school year that
// is not one, a mode of 2, a promotion into a grade that is not the next, a second promotion into
// the same school year.
TEST_P(Promotion, HandMadeCallsAreCheckedBeforeAnythingIsStored)
{
    const auto before = dumpTables(db());
    const auto call = [&](const QString &grade, const QString &next, const QString &year, qint64 mode, QString *message = nullptr) {
        QList<wire::Argument> args{in(school()), var(grade), var(next), var(year), var(qint64(2024)), in(mode)};
        const CallResult r = callServer(protocol::UpGradeLevel, args);
        if (message) *message = r.message;
        if (r.outcome == CallResult::Failed) return qint64(-1);
        const qint64 *answer = std::get_if<qint64>(&r.result);
        return answer ? *answer : qint64(-2);
    };
    QString why;
    EXPECT_EQ(call(QStringLiteral("1701"), QStringLiteral("1801"), QStringLiteral("2025-2026"), 0, &why), -1);
    EXPECT_TRUE(why.contains(u"2026~2027学年")) << why.toStdString();
    EXPECT_EQ(call(QStringLiteral("1701"), QStringLiteral("1801"), QStringLiteral("2025~2026学年"), 2, &why), -1);
    EXPECT_EQ(call(QStringLiteral("1701"), QStringLiteral("1901"), QStringLiteral("2025~2026学年"), 0, &why), 0);
    EXPECT_TRUE(why.contains(u"next grade of 1701 is 1801")) << why.toStdString();
    EXPECT_EQ(call(QStringLiteral("1701"), QStringLiteral("1801"), QStringLiteral("2024~2025学年"), 0, &why), 0) << "not a year on";
    EXPECT_EQ(call(QStringLiteral("1701"), QStringLiteral("1801"), QStringLiteral("2025~2026学年"), 1, &why), 0) << "nothing to undo yet";
    EXPECT_EQ(dumpTables(db()), before);
    EXPECT_EQ(call(QStringLiteral("1701"), QStringLiteral("1801"), QStringLiteral("2025~2026学年"), 0), 1);
    EXPECT_EQ(call(QStringLiteral("1701"), QStringLiteral("1801"), QStringLiteral("2025~2026学年"), 0, &why), 0) << "1701 is history now";
}

TEST_P(Promotion, Pictures)
{
    if (pub::testing::shotsFolder().isEmpty()) GTEST_SKIP() << "LUMEKO_SHOTS is not set";
    TfrmUpGradeGuide guide;
    guide.prepare();
    guide.resize(760, 560);
    pub::testing::saveShot(guide, "upgrade-guide-list");
    tickAll(guide.lvUpGrade);
    host.answer(pub::AnswerYes);
    guide.acUpGradeExecute();
    pub::testing::saveShot(guide, "upgrade-guide-report");
    guide.pcMain->setCurrentIndex(1);
    pub::testing::saveShot(guide, "upgrade-guide-undo");
}

INSTANTIATE_TEST_SUITE_P(Backends, Promotion, pub::testing::bothBackends(), server::testing::backendParamName);

} // namespace
