// The subject, grade-subject and subject-class dialogs over the fixture school's server: the name
// checks that stop a save before anything is sent, numbering, the deletes and unticks that are
// refused, the exam totals that follow a grade's subjects, and the teaching classes opened from
// a subject's link.

#include "framework/modalrun.h"
#include "host/pub/pub.h"
#include "organisation/organisationbatch.h"
#include "organisation/ufrmgradesubject.h"
#include "organisation/ufrmsubject.h"
#include "organisation/ufrmsubjectclass.h"
#include "organisationschool.h"
#include "shots.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>

#include <gtest/gtest.h>

using namespace lumeko;
using namespace lumeko::achieve;

namespace {

const QString kNoPage = QStringLiteral("⊥");

class SubjectDialogsTest : public achieve::testing::OrganisationSchool {
protected:
    void subjects(std::initializer_list<std::pair<const char *, const char *>> list)
    {
        for (const auto &[code, name] : list)
            fx.db().exec("INSERT INTO \"XJ_Subject\" (\"SchoolCode\", \"SubjectCode\", \"SubjectName\") VALUES ('S1', ?, ?)", {code, QString::fromUtf8(name)});
    }
    QStringList storedSubjects()
    {
        return column("SELECT \"SubjectCode\" || \"SubjectName\" FROM \"XJ_Subject\" WHERE \"SchoolCode\" = 'S1' ORDER BY \"SubjectCode\"");
    }
    void insertSubject(TfrmSubject &d, const QString &name)
    {
        d.acInsert->trigger();
        d.cdsData->setValue(u"SubjectName", name);
        d.cdsData->post();
    }
};

// ---- the school's subjects ---------------------------------------------------------------------------------

TEST_F(SubjectDialogsTest, ANameTwiceOrNoNameStopsTheSaveBeforeAnythingIsSent)
{
    signIn();
    TfrmSubject d;
    d.InitDialog();
    d.acEdit->trigger();
    for (const char *name : {"语文", "数学", "语文"})
        insertSubject(d, QString::fromUtf8(name));
    recorder.methods.clear();
    d.acSave->trigger();
    EXPECT_EQ(host.messageTexts(), QStringList{QStringLiteral("科目 语文 名称重复！")});
    EXPECT_EQ(host.messages.value(0).kind, pub::MessageKind::Error);
    EXPECT_TRUE(recorder.methods.isEmpty()) << recorder.methods.join(u',').toStdString();
    EXPECT_EQ(d.EditState, 2) << "the dialog stays in editing with its rows";
    EXPECT_EQ(d.cdsData->changeCount(), 3);
    EXPECT_TRUE(storedSubjects().isEmpty());

    // One of them renamed, another left without a name.
    host.messages.clear();
    ASSERT_TRUE(d.cdsData->locate(QStringLiteral("SubjectName"), {QStringLiteral("语文")}));
    d.cdsData->edit();
    d.cdsData->setValue(u"SubjectName", QString());
    d.cdsData->post();
    d.acSave->trigger();
    EXPECT_EQ(host.messageTexts(), QStringList{QStringLiteral("科目名称不能为空！")});
    EXPECT_TRUE(recorder.methods.isEmpty());

    host.messages.clear();
    ASSERT_TRUE(d.cdsData->locate(QStringLiteral("SubjectName"), {QString()}));
    d.cdsData->edit();
    d.cdsData->setValue(u"SubjectName", QStringLiteral("英语"));
    d.cdsData->post();
    d.acSave->trigger();
    EXPECT_EQ(host.messageTexts(), QStringList{QStringLiteral("更新成功！")});
    EXPECT_EQ(d.EditState, 0);
    QStringList names = column("SELECT \"SubjectName\" FROM \"XJ_Subject\" WHERE \"SchoolCode\" = 'S1'");
    names.sort();
    EXPECT_EQ(names, (QStringList{QStringLiteral("数学"), QStringLiteral("英语"), QStringLiteral("语文")}));
    EXPECT_EQ(column("SELECT \"SubjectCode\" FROM \"XJ_Subject\" WHERE \"SchoolCode\" = 'S1' ORDER BY \"SubjectCode\""), (QStringList{"001", "002", "003"}));
    const QStringList log = operationLog();
    ASSERT_EQ(log.size(), 2) << log.join(u'|').toStdString();
    EXPECT_EQ(log[0], QStringLiteral("修改保存科目数据"));
    EXPECT_TRUE(log[1].startsWith(QStringLiteral("科目定义：增加行:编码="))) << log[1].toStdString();
}

TEST_F(SubjectDialogsTest, TheTenthSubjectIsNumbered010AndASubjectAGradeUsesStays)
{
    subjects({{"001", "语文"},
              {"002", "数学"},
              {"003", "英语"},
              {"004", "物理"},
              {"005", "化学"},
              {"006", "生物"},
              {"007", "政治"},
              {"008", "历史"},
              {"009", "地理"}});
    fx.db().exec("INSERT INTO \"XJ_GradeSubject\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"SubjectCode\") VALUES ('S1', 2026, '1701', '001')");
    signIn();
    TfrmSubject d;
    d.InitDialog();
    ASSERT_EQ(d.cdsData->recordCount(), 9);
    d.acEdit->trigger();
    insertSubject(d, QStringLiteral("信息技术"));
    ASSERT_TRUE(d.cdsData->locate(QStringLiteral("SubjectCode"), {QStringLiteral("001")}));
    d.acDelete->trigger();
    EXPECT_EQ(host.messageTexts(), QStringList{QStringLiteral("此科目已经被关联使用了，不能删除！")});
    ASSERT_TRUE(d.cdsData->locate(QStringLiteral("SubjectCode"), {QStringLiteral("009")}));
    d.acDelete->trigger();
    host.messages.clear();
    d.acSave->trigger();
    EXPECT_EQ(host.messageTexts(), QStringList{QStringLiteral("更新成功！")});
    EXPECT_EQ(storedSubjects().mid(7), (QStringList{QStringLiteral("008历史"), QStringLiteral("010信息技术")}));
    EXPECT_EQ(storedSubjects().first(), QStringLiteral("001语文"));
}

// ---- a grade's subjects ----------------------------------------------------------------------------------------

class GradeSubjectTest : public SubjectDialogsTest {
protected:
    void SetUp() override
    {
        SubjectDialogsTest::SetUp();
        subjects({{"001", "语文"}, {"002", "数学"}, {"003", "英语"}});
        server::Database &db = fx.db();
        const QString gs = "INSERT INTO \"XJ_GradeSubject\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"SubjectCode\", \"SubjectType\", \"FullMark\") "
                           "VALUES ('S1', 2026, '1701', ?, ?, ?)";
        db.exec(gs, {"001", 0, 100});
        db.exec(gs, {"002", 1, 150});
        const QString gc = "INSERT INTO \"XJ_GradeClass\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"ClassCode\") VALUES ('S1', 2026, '1701', ?)";
        db.exec(gc, {"001"});
        db.exec(gc, {"002"});
        // The mid-term exam of the grade: 语文 has a score; its pass mark is 62.5 and 数学's 72.5.
        db.exec("INSERT INTO \"CJ_ExamTotal\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", \"ExamName\", \"Freeze\") "
                "VALUES ('S1', '1701', 2026, '001', ?, ?, ?)",
                {kNoPage, QStringLiteral("期中考试"), false});
        examId = db.scalar("SELECT \"Id\" FROM \"CJ_ExamTotal\" WHERE \"ExamCode\" = '001'").toLongLong();
        const QString es = "INSERT INTO \"CJ_ExamSubject\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", \"SubjectCode\", \"Per\", "
                           "\"FullMark\", \"ExcelMark\", \"GoodMark\", \"PassMark\", \"BadMark\", \"DistanceMark\", \"HighMark\", \"LowMark\") "
                           "VALUES ('S1', '1701', 2026, '001', ?, ?, 1, ?, ?, ?, ?, ?, 10, ?, 10)";
        db.exec(es, {kNoPage, "001", 100, 80, 70, 62.5, 30, 90});
        db.exec(es, {kNoPage, "002", 150, 120, 105, 72.5, 45, 140});
        db.exec(
            "INSERT INTO \"XJ_Student\" (\"sCode\", \"SchoolCode\", \"GradeCode\", \"InYear\", \"ClassCode\", \"sName\") VALUES ('{S}', 'S1', '1701', 2026, '001', ?)",
            {QStringLiteral("张三")});
        db.exec("INSERT INTO \"CJ_ExamStudent\" (\"examId\", \"StudentCode\", \"ClassCode\") VALUES (?, '{S}', '001')", {examId});
        db.exec("INSERT INTO \"CJ_Mark\" (\"examId\", \"StudentCode\", \"SubjectCode\", \"score\") VALUES (?, '{S}', '001', 88)", {examId});
    }
    QStringList storedGradeSubjects()
    {
        return column(
            "SELECT \"SubjectCode\" || ' ' || COALESCE(CAST(\"SubjectType\" AS VARCHAR(4)), '-') || ' ' || COALESCE(CAST(\"FullMark\" AS VARCHAR(4)), '-') "
            "FROM \"XJ_GradeSubject\" WHERE \"SchoolCode\" = 'S1' AND \"InYear\" = 2026 AND \"GradeCode\" = '1701' ORDER BY \"SubjectCode\"");
    }
    double total(const char *field)
    {
        return fx.db().scalar(QStringLiteral("SELECT \"%1\" FROM \"CJ_ExamTotal\" WHERE \"Id\" = ?").arg(QLatin1String(field)), {examId}).toDouble();
    }
    void openOn(TfrmGradeSubject &d)
    {
        d.Params = {"2026", "1701", QStringLiteral("七年级"), "Y", ""};
        d.InitDialog();
        d.show();
    }
    qint64 examId = 0;
};

TEST_F(GradeSubjectTest, ASubjectWithScoresKeepsItsTickAndTheExamTotalsFollowTheTypesInWholeMarks)
{
    signIn();
    TfrmGradeSubject d;
    openOn(d);
    BandedGrid &g = *d.cxGridList;
    EXPECT_EQ(d.grade->lblGrade->text(), QStringLiteral("年级："));
    EXPECT_EQ(d.grade->cbGrade->currentText(), QStringLiteral("2026级七年级"));
    EXPECT_EQ(shown(g, "SubjectName"), (QStringList{QStringLiteral("语文"), QStringLiteral("数学"), QStringLiteral("英语")}));
    EXPECT_EQ(shown(g, "SubjectType"), (QStringList{QStringLiteral("基础学科"), QStringLiteral("主科"), QString()}));
    EXPECT_EQ(shown(g, "FullMark"), (QStringList{QStringLiteral("100分制"), QStringLiteral("150分制"), QString()}));
    EXPECT_EQ(shown(g, "Operate"), (QStringList{QStringLiteral("设置教学班级"), QStringLiteral("设置教学班级"), QString()}));

    d.acEdit->trigger();
    EXPECT_EQ(shown(g, "Operate"), QStringList(3, QString())) << "no link while editing";
    clickCell(g, 0, "Selected");
    EXPECT_EQ(host.messageTexts(), QStringList{QStringLiteral("此科目已经有成绩了，不能删除！")});
    EXPECT_EQ(shown(g, "Selected")[0], QStringLiteral("√"));
    clickCell(g, 2, "Selected");
    EXPECT_EQ(host.messages.size(), 1) << "a subject without scores is ticked and unticked freely";
    d.cdsData->locate(QStringLiteral("SubjectCode"), {QStringLiteral("003")});
    d.cdsData->edit();
    d.cdsData->setValue(u"SubjectType", 2);
    d.cdsData->setValue(u"FullMark", 100);
    d.cdsData->post();
    // 数学 becomes an auxiliary subject: it leaves the main total.
    d.cdsData->locate(QStringLiteral("SubjectCode"), {QStringLiteral("002")});
    d.cdsData->edit();
    d.cdsData->setValue(u"SubjectType", 2);
    d.cdsData->post();
    host.messages.clear();
    d.acSave->trigger();
    EXPECT_EQ(host.messageTexts(), QStringList{QStringLiteral("更新成功！")});
    EXPECT_EQ(storedGradeSubjects(), (QStringList{QStringLiteral("001 0 100"), QStringLiteral("002 2 150"), QStringLiteral("003 2 100")}));
    EXPECT_EQ(operationLog(), QStringList{QStringLiteral("修改保存年级科目数据")});
    EXPECT_EQ(total("aPassMark"), 134) << "62.5 and 72.5 count as 62 and 72";
    EXPECT_EQ(total("mPassMark"), 62);
    EXPECT_EQ(total("bPassMark"), 62);
    EXPECT_EQ(total("aFullMark"), 250);
    EXPECT_EQ(total("mFullMark"), 100);
    EXPECT_EQ(shown(g, "Operate"), (QStringList(3, QStringLiteral("设置教学班级"))));

    // Unticked without scores, a subject leaves the grade.
    d.acEdit->trigger();
    clickCell(g, 2, "Selected");
    d.acSave->trigger();
    EXPECT_EQ(storedGradeSubjects(), (QStringList{QStringLiteral("001 0 100"), QStringLiteral("002 2 150")}));
    EXPECT_EQ(shown(g, "Operate")[2], QString());
}

TEST_F(GradeSubjectTest, TheExamHeaderTakesTheWholeMarkSumsOfItsWeightedSubjects)
{
    DataSet header;
    QList<wire::FieldDef> headerFields;
    for (const char *prefix : {"a", "m", "b"})
        for (const char *mark : {"FullMark", "HighMark", "LowMark", "DistanceMark", "ExcelMark", "GoodMark", "PassMark", "BadMark"})
            headerFields.append({QLatin1String(prefix) + QLatin1String(mark), wire::FieldType::Float, 0, 0});
    header.createTable(headerFields);
    header.append();
    header.setValue(u"aPassMark", 999);
    header.post();
    DataSet rows;
    QList<wire::FieldDef> subjectFields{
        {"SubjectCode", wire::FieldType::Text, 3, 0}, {"SubjectType", wire::FieldType::Integer, 0, 0}, {"Per", wire::FieldType::Float, 0, 0}};
    for (const char *mark : {"FullMark", "HighMark", "LowMark", "DistanceMark", "ExcelMark", "GoodMark", "PassMark", "BadMark"})
        subjectFields.append({QLatin1String(mark), wire::FieldType::Float, 0, 0});
    rows.createTable(subjectFields);
    const auto subject = [&](const char *code, QVariant type, QVariant per, double full, double pass) {
        rows.append();
        rows.setValue(u"SubjectCode", QString::fromLatin1(code));
        rows.setValue(u"SubjectType", type);
        rows.setValue(u"Per", per);
        rows.setValue(u"FullMark", full);
        rows.setValue(u"PassMark", pass);
        rows.post();
    };
    subject("001", 0, 1.0, 100, 62.5);       // base: 62
    subject("002", 1, 0.5, 150, 63.5);       // main: 64
    subject("003", QVariant(), 1.0, 8, 4.5); // no type counts as auxiliary: 4
    subject("004", 0, QVariant(), 120, 72);  // not a subject of the exam
    header.first();
    EXPECT_TRUE(TfrmGradeSubject::totalWholeMarks(header, rows));
    EXPECT_EQ(header.value(u"aPassMark").toDouble(), 130);
    EXPECT_EQ(header.value(u"mPassMark").toDouble(), 126);
    EXPECT_EQ(header.value(u"bPassMark").toDouble(), 62);
    EXPECT_EQ(header.value(u"aFullMark").toDouble(), 258);
    EXPECT_EQ(header.value(u"bFullMark").toDouble(), 100);
    EXPECT_EQ(header.value(u"aBadMark").toDouble(), 0) << "a mark no subject has sums to 0";
    EXPECT_EQ(header.state(), DataSetState::Browse);
    EXPECT_FALSE(TfrmGradeSubject::totalWholeMarks(header, rows)) << "nothing changes the second time";
}

TEST_F(GradeSubjectTest, TheLinkOpensTheSubjectsTeachingClassesWhereTheCourseTableIsSet)
{
    fx.db().exec("INSERT INTO \"XJ_CourseTable\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"ClassCode\", \"SubjectCode\", \"TeacherCode\") "
                 "VALUES ('S1', 2026, '1701', '002', '002', ?)",
                 {QString::fromLatin1(server::testing::kAdminCode)});
    signIn();
    TfrmGradeSubject d;
    openOn(d);
    int opened = 0;
    const ModalRunner previous = setModalRunner([&](QDialog &dialog) {
        ++opened;
        auto *classes = qobject_cast<TfrmSubjectClass *>(&dialog);
        EXPECT_NE(classes, nullptr);
        if (!classes) return 0;
        EXPECT_EQ(classes->Params.last(), QStringLiteral("002"));
        EXPECT_EQ(classes->lblGrade->text(), QStringLiteral("年级科目：2026级七年级"));
        EXPECT_EQ(classes->cbSubject->currentText(), QStringLiteral("数学"));
        EXPECT_EQ(classes->cbSubject->count(), 2) << "the grade's subjects";
        BandedGrid &g = *classes->cxGridList;
        EXPECT_EQ(shown(g, "ClassName"), (QStringList{QStringLiteral("一班"), QStringLiteral("二班")}));
        EXPECT_EQ(shown(g, "Selected"), (QStringList{QString(), QStringLiteral("√")}));
        EXPECT_EQ(shown(g, "TeacherCode")[1], QStringLiteral("管理员"));
        classes->show();
        classes->acEdit->trigger();
        clickCell(g, 0, "Selected");
        classes->cdsData->locate(QStringLiteral("ClassCode"), {QStringLiteral("001")});
        classes->cdsData->edit();
        classes->cdsData->setValue(u"TeacherCode", QString::fromLatin1(server::testing::kTeacherCode));
        classes->cdsData->post();
        clickCell(g, 1, "Selected");
        classes->acSave->trigger();
        return 0;
    });
    // A click on 英语's empty cell opens nothing; one on 数学's link opens its classes.
    clickCell(*d.cxGridList, 2, "Operate");
    EXPECT_EQ(opened, 0);
    clickCell(*d.cxGridList, 1, "Operate");
    setModalRunner(previous);
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(host.messageTexts(), QStringList{QStringLiteral("更新成功！")});
    EXPECT_EQ(column("SELECT \"ClassCode\" || \"SubjectCode\" || \"TeacherCode\" FROM \"XJ_CourseTable\" WHERE \"SchoolCode\" = 'S1'"),
              QStringList{QStringLiteral("001002") + QString::fromLatin1(server::testing::kTeacherCode)});
    const QStringList log = operationLog();
    ASSERT_EQ(log.size(), 2) << log.join(u'|').toStdString();
    EXPECT_EQ(log[0], QStringLiteral("修改保存年级教学班级数据"));
    EXPECT_TRUE(log[1].startsWith(QStringLiteral("科目教学班级定义："))) << log[1].toStdString();

    // While editing the link opens nothing.
    d.acEdit->trigger();
    setModalRunner([&](QDialog &) { return ++opened; });
    clickCell(*d.cxGridList, 1, "Operate");
    setModalRunner(previous);
    EXPECT_EQ(opened, 1);
}

TEST_F(GradeSubjectTest, TeachingClassesNeedNoRightToEditButTheGradesSubjectsDo)
{
    signIn("wang", "pw6");
    TfrmGradeSubject d;
    openOn(d);
    EXPECT_FALSE(d.acEdit->isEnabled()) << "4007 without its Manager key";
    TfrmSubjectClass classes;
    classes.Params = {"2026", "1701", QStringLiteral("七年级"), "Y", "", "001"};
    classes.InitDialog();
    EXPECT_TRUE(classes.acEdit->isEnabled());
    EXPECT_EQ(classes.cbSubject->currentText(), QStringLiteral("语文"));
    EXPECT_FALSE(classes.acInsert->isVisible());
    classes.acEdit->trigger();
    EXPECT_TRUE(classes.acSave->isEnabled());
    EXPECT_FALSE(classes.cbSubject->isEnabled()) << "the subject changes only while browsing";
}

// ---- pictures ---------------------------------------------------------------------------------------------------------

TEST_F(GradeSubjectTest, Pictures)
{
    if (pub::testing::shotsFolder().isEmpty()) GTEST_SKIP() << "LUMEKO_SHOTS is not set";
    signIn();
    TfrmSubject school;
    school.InitDialog();
    pub::testing::saveShot(school, "organisation-subjects");
    TfrmGradeSubject grade;
    openOn(grade);
    pub::testing::saveShot(grade, "organisation-grade-subjects");
    TfrmSubjectClass classes;
    classes.Params = {"2026", "1701", QStringLiteral("七年级"), "Y", "", "001"};
    classes.InitDialog();
    classes.acEdit->trigger();
    pub::testing::saveShot(classes, "organisation-subject-classes");
}

} // namespace
