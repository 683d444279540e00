// The grade definition wizard over the demo school on both back ends: the intake it proposes by the
// date, grades that exist (history refused, current after a question), the ticks and what they ask
// the server, last year's settings, and a save that stores grade, subjects and classes together or
// nothing at all.

#include "host/pub/pub.h"
#include "schoolyear/ufrmgradedefine.h"
#include "schoolyearhost.h"
#include "shots.h"
#include "signedinhost.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

using namespace lumeko;
using namespace lumeko::achieve;
using lumeko::schoolyear::testing::DemoSchoolHost;
using lumeko::schoolyear::testing::dumpTables;

namespace {

class GradeDefine : public DemoSchoolHost {
protected:
    // Prepares the wizard on intake `inYear`, grade `grade`.
    void open(TfrmGradeDefine &w, int inYear, const QString &grade)
    {
        w.prepare();
        w.seInYear->setValue(inYear);
        w.cbGrade->setCurrentIndex(w.cbGrade->findData(grade));
        ASSERT_EQ(w.gradeCode(), grade);
    }
    // Ticks or unticks a row as a click in its 选择 cell does.
    static void setTick(DataSet &table, const QString &keyField, const QString &key, bool on)
    {
        ASSERT_TRUE(table.locate(keyField, {key})) << key.toStdString();
        table.edit();
        table.setValue(u"Selected", on);
        table.post();
    }
    static QStringList ticked(DataSet &table, const QString &keyField)
    {
        QStringList out;
        for (table.first(); !table.eof(); table.next())
            if (table.value(u"Selected").toBool()) out << table.value(keyField).toString();
        return out;
    }
    qint64 rowsOf(const char *table, int inYear, const QString &grade)
    {
        return count(
            QStringLiteral("SELECT COUNT(*) FROM \"%1\" WHERE \"SchoolCode\" = ? AND \"InYear\" = ? AND \"GradeCode\" = ?").arg(QLatin1StringView(table)),
            {school(), inYear, grade});
    }
    qint64 checksOfSubjects() const { return recorder->methods.count(QStringLiteral("QCheckSubjectMark")); }
};

// From September on the wizard proposes this year's intake, in August last year's; the school years
// on offer are the 18 from fifteen years back; "当前学年" picks the year of the grade's place in
// its stage.
TEST_P(GradeDefine, TheDateDecidesTheIntakeAndTheGradeItsSchoolYear)
{
    setToday(QDate(2025, 8, 31));
    {
        TfrmGradeDefine w;
        w.prepare();
        EXPECT_EQ(w.inYear(), 2024);
        ASSERT_EQ(w.cbSchoolYear->count(), 18);
        EXPECT_EQ(w.cbSchoolYear->itemText(0), QStringLiteral("2010~2011学年"));
        EXPECT_EQ(w.cbSchoolYear->itemText(17), QStringLiteral("2027~2028学年"));
        EXPECT_TRUE(w.btnNext->isEnabled());
    }
    setToday(QDate(2025, 9, 1));
    TfrmGradeDefine w;
    w.prepare();
    EXPECT_EQ(w.inYear(), 2025);
    EXPECT_EQ(w.lblStep->text(), QStringLiteral("第一步 年级信息设置"));
    w.chkCurYear->setChecked(true);
    w.cbGrade->setCurrentIndex(w.cbGrade->findData(QStringLiteral("1801")));
    w.seInYear->setValue(2024);
    EXPECT_EQ(w.cbSchoolYear->currentText(), QStringLiteral("2025~2026学年")) << "the intake 2024 is in its second year";
    w.cbSchoolYear->setCurrentIndex(w.cbSchoolYear->findText(QStringLiteral("2024~2025学年")));
    EXPECT_FALSE(w.chkCurYear->isChecked()) << "only the year that starts now is the current one";
}

// A history grade cannot be changed; a current one can after a yes, and its subjects then count:
// one with scores keeps its tick. A new grade's unticks ask the server nothing.
TEST_P(GradeDefine, HistoryGradesAreLockedCurrentOnesAskAndOnlyDefinedGradesCheckTheirScores)
{
    {
        TfrmGradeDefine w;
        open(w, 2023, QStringLiteral("1701"));
        EXPECT_FALSE(w.next());
        EXPECT_EQ(host.messageTexts().value(0), QStringLiteral("此年级已经定义，且已是历史年级，不能修改！"));
        EXPECT_EQ(w.step(), 0);
    }
    {
        TfrmGradeDefine w;
        open(w, 2024, QStringLiteral("1701"));
        host.answer(pub::AnswerNo, QStringLiteral("此年级已经定义，您可以修改此年级设置，要继续吗？"));
        EXPECT_FALSE(w.next());
        EXPECT_EQ(w.step(), 0);
        host.answer(pub::AnswerYes);
        ASSERT_TRUE(w.next());
        EXPECT_EQ(w.step(), 1);
        EXPECT_TRUE(w.gradeExisted());
        EXPECT_EQ(w.lblStep->text(), QStringLiteral("第二步 2024级七年级→科目设置"));
        // 语文 (001) has scores in this grade's exams: the untick is taken back.
        ASSERT_GT(count(QStringLiteral("SELECT COUNT(*) FROM \"CJ_Mark\" m JOIN \"CJ_ExamTotal\" e ON e.\"Id\" = m.\"examId\" WHERE e.\"SchoolCode\" = ? "
                                       "AND e.\"InYear\" = 2024 AND e.\"GradeCode\" = '1701' AND m.\"SubjectCode\" = '001' AND m.\"score\" > 0"),
                        {school()}),
                  0);
        const qint64 checks = checksOfSubjects();
        setTick(*w.cdsSubjects, QStringLiteral("SubjectCode"), QStringLiteral("001"), false);
        EXPECT_EQ(checksOfSubjects(), checks + 1) << recorder->methods.join(u' ').toStdString();
        EXPECT_TRUE(w.cdsSubjects->value(u"Selected").toBool());
        EXPECT_EQ(host.messageTexts().last(), QStringLiteral("此科目已经有成绩了，不能删除！"));
    }
    TfrmGradeDefine w;
    open(w, 2025, QStringLiteral("1701"));
    ASSERT_TRUE(w.next());
    EXPECT_FALSE(w.gradeExisted());
    setTick(*w.cdsSubjects, QStringLiteral("SubjectCode"), QStringLiteral("002"), true);
    EXPECT_EQ(w.cdsSubjects->value(u"FullMark").toInt(), 100);
    EXPECT_EQ(w.cdsSubjects->value(u"SubjectType").toInt(), 0);
    const qint64 checks = checksOfSubjects();
    setTick(*w.cdsSubjects, QStringLiteral("SubjectCode"), QStringLiteral("002"), false);
    EXPECT_EQ(checksOfSubjects(), checks) << "a new grade has no scores to ask about";
    EXPECT_FALSE(w.cdsSubjects->value(u"Selected").toBool());
    EXPECT_TRUE(wire::isNull(w.cdsSubjects->value(u"FullMark")));
}

// 导入上学年配置 ticks what the same grade of the previous intake had, with its types, marks and
// campuses; from an intake without subjects it changes nothing.
TEST_P(GradeDefine, LastYearsSettingsAreTakenOverAndAnEmptyYearChangesNothing)
{
    {
        TfrmGradeDefine w;
        open(w, 2025, QStringLiteral("1701"));
        ASSERT_TRUE(w.next());
        EXPECT_TRUE(ticked(*w.cdsSubjects, QStringLiteral("SubjectCode")).isEmpty());
        w.importLastYear();
        const qint64 lastYear = rowsOf("XJ_GradeSubject", 2024, QStringLiteral("1701"));
        ASSERT_GT(lastYear, 0);
        EXPECT_EQ(ticked(*w.cdsSubjects, QStringLiteral("SubjectCode")).size(), lastYear);
        ASSERT_TRUE(w.next());
        w.importLastYear();
        EXPECT_EQ(ticked(*w.cdsClasses, QStringLiteral("ClassCode")).size(), rowsOf("XJ_GradeClass", 2024, QStringLiteral("1701")));
    }
    TfrmGradeDefine w;
    open(w, 2031, QStringLiteral("1701"));
    ASSERT_TRUE(w.next());
    w.importLastYear();
    EXPECT_TRUE(ticked(*w.cdsSubjects, QStringLiteral("SubjectCode")).isEmpty());
    EXPECT_EQ(w.cdsSubjects->changeCount(), 0) << "nothing to take over, nothing changed";
    host.answer(pub::AnswerNo);
    EXPECT_FALSE(w.next());
    EXPECT_EQ(host.messageTexts().last(), QStringLiteral("请选择年级关联科目！"));
}

// The save stores the grade, its subjects and its classes in one call; when the classes are
// refused (another office removed a class meanwhile) or the connection drops, none of the three
// is stored and the dialog stays. A good save closes, drops the host's grade data and offers the
// download of the grade's students.
TEST_P(GradeDefine, GradeSubjectsAndClassesAreStoredTogetherOrNotAtAll)
{
    TfrmGradeDefine w;
    open(w, 2025, QStringLiteral("1701"));
    ASSERT_TRUE(w.next());
    w.importLastYear();
    ASSERT_TRUE(w.next());
    w.importLastYear();

    // A class the school no longer has.
    const QString lastClass = ticked(*w.cdsClasses, QStringLiteral("ClassCode")).last();
    db().exec(QStringLiteral("DELETE FROM \"XJ_Class\" WHERE \"SchoolCode\" = ? AND \"ClassCode\" = ?"), {school(), lastClass});
    const auto withoutClass = dumpTables(db());
    EXPECT_FALSE(w.next());
    EXPECT_EQ(host.messageTexts().value(0), QStringLiteral("数据保存失败！")) << host.messageTexts().join(u' ').toStdString() << lastClass.toStdString();
    EXPECT_EQ(w.result(), 0);
    EXPECT_EQ(dumpTables(db()), withoutClass) << "no grade, subject or class of a half definition";
    EXPECT_EQ(recorder->methods.count(QStringLiteral("UpGradeDefine")), 1) << "the three are one call";

    // The connection drops.
    setTick(*w.cdsClasses, QStringLiteral("ClassCode"), lastClass, false);
    recorder->breakMethod = QStringLiteral("UpGradeDefine");
    EXPECT_FALSE(w.next());
    EXPECT_EQ(dumpTables(db()), withoutClass);
    recorder->breakMethod.clear();

    host.answer(pub::AnswerYes, QStringLiteral("年级定义成功！是否从学籍国网下载学生数据？"));
    ASSERT_TRUE(w.next());
    EXPECT_EQ(w.result(), int(QDialog::Accepted));
    EXPECT_EQ(host.downGrades, QStringList{QStringLiteral("2025|1701")});
    EXPECT_EQ(rowsOf("XJ_GradeSubject", 2025, QStringLiteral("1701")), rowsOf("XJ_GradeSubject", 2024, QStringLiteral("1701")));
    EXPECT_EQ(rowsOf("XJ_GradeClass", 2025, QStringLiteral("1701")), rowsOf("XJ_GradeClass", 2024, QStringLiteral("1701")) - 1);
    EXPECT_EQ(
        db().scalar(QStringLiteral(
                        "SELECT \"sYear\" || ' ' || \"bCurGrade\" FROM \"XJ_Grade\" WHERE \"SchoolCode\" = ? AND \"InYear\" = 2025 AND \"GradeCode\" = '1701'"),
                    {school()})
            .toString(),
        QStringLiteral("2025~2026学年 Y"));
    EXPECT_TRUE(operationLog().contains(QStringLiteral("定义年级 2025级七年级 科目"))) << host.logLines.join(u'\n').toStdString();
    EXPECT_TRUE(operationLog().contains(QStringLiteral("定义年级 2025级七年级")));
}

TEST_P(GradeDefine, Pictures)
{
    if (pub::testing::shotsFolder().isEmpty()) GTEST_SKIP() << "LUMEKO_SHOTS is not set";
    TfrmGradeDefine w;
    open(w, 2025, QStringLiteral("1701"));
    w.chkCurYear->setChecked(true);
    w.resize(720, 520);
    pub::testing::saveShot(w, "grade-define-step1");
    ASSERT_TRUE(w.next());
    w.importLastYear();
    pub::testing::saveShot(w, "grade-define-step2");
    ASSERT_TRUE(w.next());
    w.importLastYear();
    pub::testing::saveShot(w, "grade-define-step3");
}

INSTANTIATE_TEST_SUITE_P(Backends, GradeDefine, pub::testing::bothBackends(), server::testing::backendParamName);

} // namespace
