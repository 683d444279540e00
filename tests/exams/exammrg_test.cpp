// The exam management page over the fixture school's server: what each user sees, editing an exam
// in place, and the commands that change one exam's header.

#include "exams/ufrmexammrgpage.h"
#include "fixtureschool.h"
#include "framework/lumekoachieve.h"
#include "framework/pagehosting.h"
#include "shots.h"
#include "signedinhost.h"
#include "toolkit/grid/bandedgrid.h"

#include <QAction>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace lumeko;
using namespace lumeko::achieve;

namespace {

const QString kNoPage = QStringLiteral("⊥");

class ExamMrgTest : public pub::testing::SignedInHost {
protected:
    void SetUp() override
    {
        SignedInHost::SetUp();
        server::Database &db = fx.db();
        const QString reg = "INSERT INTO \"XT_RegList\" (\"sListName\", \"sKeyId\", \"sValue\", \"iOrder\") VALUES (?, ?, ?, ?)";
        db.exec(reg, {"SubjectType", "0", QStringLiteral("基础学科"), 1});
        db.exec(reg, {"SubjectType", "1", QStringLiteral("主科"), 2});
        db.exec(reg, {"ExamShowType", "0", QStringLiteral("显示分数"), 1});
        db.exec("INSERT INTO \"CJ_ExamInfo\" (\"sCode\", \"sName\", \"sType\", \"SchoolCode\", \"bState\") VALUES ('001', ?, ?, 'SYSTEM', true)",
                {QStringLiteral("期中考试"), QStringLiteral("综合考试")});
        for (const auto &[code, type] : {std::pair{"001", 0}, {"002", 0}, {"003", 1}})
            db.exec(
                "INSERT INTO \"XJ_GradeSubject\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"SubjectCode\", \"SubjectType\") VALUES ('S1', 2026, '1701', ?, ?)",
                {code, type});
        const QString header = "INSERT INTO \"CJ_ExamTotal\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", \"ExamName\", \"Freeze\", "
                               "\"Classes\", \"ModifyRight\") VALUES ('S1', '1701', 2026, ?, ?, ?, ?, ?, 33)";
        db.exec(header, {"001", kNoPage, QStringLiteral("期中考试"), db.toDb(false, wire::FieldType::Boolean), "ALL"});
        db.exec(header, {"002", server::testing::kTeacherCode, QStringLiteral("王老师的测验"), db.toDb(false, wire::FieldType::Boolean), "001"});
        db.exec(header, {"003", QStringLiteral("{SOMEONE-ELSE}"), QStringLiteral("别人的测验"), db.toDb(false, wire::FieldType::Boolean), "002"});
        const QString subject =
            "INSERT INTO \"CJ_ExamSubject\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", \"SubjectCode\", \"Per\", "
            "\"FullMark\", \"PassMark\", \"ModifyRight\") VALUES ('S1', '1701', 2026, '001', ?, ?, 1, 100, 60, 33)";
        db.exec(subject, {kNoPage, "001"});
        db.exec(subject, {kNoPage, "002"});
    }

    std::unique_ptr<QWidget> host_window = std::make_unique<QWidget>();
    TfrmExamMrgPage *open(const char *params = "2026,1701,七年级,Y,")
    {
        new QVBoxLayout(host_window.get());
        const qint32 handle = ShowExamMrgPage(host_window.get(), host_window.get(), params);
        return qobject_cast<TfrmExamMrgPage *>(PageRegistry::instance().page(handle));
    }
    QStringList names(TfrmExamMrgPage *page)
    {
        QStringList out;
        for (page->cdsExamTotal->first(); !page->cdsExamTotal->eof(); page->cdsExamTotal->next())
            out << page->cdsExamTotal->value(u"ExamName").toString();
        page->cdsExamTotal->first();
        return out;
    }
    bool goToExam(TfrmExamMrgPage *page, const char *code)
    {
        if (!page->cdsExamTotal->locate(QStringLiteral("ExamCode"), {QString::fromLatin1(code)})) return false;
        Q_EMIT page->grdExams->currentRowChanged(0);
        return true;
    }
    QVariant stored(const QString &sql) { return fx.db().scalar(sql); }
};

TEST_F(ExamMrgTest, EachUserSeesTheSchoolWideExamsAndHisOwnAndAnEmptyListOffersNoExamCommands)
{
    signInAs("admin", "lumeko");
    TfrmExamMrgPage *page = open();
    ASSERT_TRUE(page);
    EXPECT_EQ(names(page).size(), 3) << "the administrator sees every exam";
    ASSERT_TRUE(goToExam(page, "001"));
    EXPECT_EQ(page->cdsExamTotal->value(u"ClassesText").toString(), QStringLiteral("全年级"));
    ASSERT_TRUE(goToExam(page, "003"));
    EXPECT_EQ(page->cdsExamTotal->value(u"ClassesText").toString(), QStringLiteral("二班")) << "classes by their names";
    ClosePage(PageRegistry::handleFromName(page->objectName()));

    pub::signOut();
    signInAs("wang", "pw6");
    page = open();
    QStringList seen = names(page);
    seen.sort();
    EXPECT_EQ(seen, (QStringList{QStringLiteral("期中考试"), QStringLiteral("王老师的测验")})) << "never another teacher's unit exam";
    ClosePage(PageRegistry::handleFromName(page->objectName()));

    pub::signOut();
    signInAs("admin", "lumeko");
    page = open("2025,1801,八年级,Y,");
    EXPECT_TRUE(page->cdsExamTotal->isEmpty());
    for (QAction *a : {page->acFreeze, page->acUnFreeze, page->acDelete, page->acPublish, page->acRename})
        EXPECT_FALSE(a->isVisible()) << a->text().toStdString();
    EXPECT_FALSE(page->acScore->isVisible());
    EXPECT_TRUE(host.logLines.isEmpty()) << host.logLines.join(u'\n').toStdString();
    // A parameter text the page cannot use makes no page.
    EXPECT_EQ(open("2026,17,七年级,Y"), nullptr);
}

TEST_F(ExamMrgTest, AnExamIsEditedInPlaceAndSavedWithItsTotals)
{
    signInAs("admin", "lumeko");
    TfrmExamMrgPage *page = open();
    ASSERT_TRUE(goToExam(page, "001"));
    EXPECT_EQ(page->cdsSubjects->recordCount(), 3);
    page->acEditExecute();
    ASSERT_TRUE(page->isEditing());
    ASSERT_TRUE(page->cdsSubjects->locate(QStringLiteral("SubjectCode"), {QStringLiteral("003")}));
    page->cdsSubjects->edit();
    page->cdsSubjects->setValue(u"Freeze", true);
    page->cdsSubjects->post();
    page->cdsSubjects->edit();
    page->cdsSubjects->setValue(u"FullMark", 150.0);
    page->cdsSubjects->post();
    EXPECT_EQ(page->cdsSubjects->value(u"PassMark").toDouble(), 90);
    ASSERT_TRUE(page->SaveData());
    EXPECT_FALSE(page->isEditing());
    EXPECT_EQ(stored("SELECT COUNT(*) FROM \"CJ_ExamSubject\" WHERE \"ExamCode\" = '001'").toInt(), 3);
    EXPECT_EQ(stored("SELECT \"aFullMark\" FROM \"CJ_ExamTotal\" WHERE \"ExamCode\" = '001'").toDouble(), 350);
    EXPECT_EQ(stored("SELECT \"mFullMark\" FROM \"CJ_ExamTotal\" WHERE \"ExamCode\" = '001'").toDouble(), 350) << "英语 is a main subject";
    EXPECT_EQ(stored("SELECT \"bFullMark\" FROM \"CJ_ExamTotal\" WHERE \"ExamCode\" = '001'").toDouble(), 200);
    EXPECT_EQ(host.messageTexts().last(), QStringLiteral("考试 期中考试 修改保存成功！"));

    // Renamed and published, each stored at once.
    page->askNewName = [](const QString &) { return std::optional<QString>(QStringLiteral("期中联考")); };
    page->acRenameExecute();
    EXPECT_EQ(stored("SELECT \"ExamName\" FROM \"CJ_ExamTotal\" WHERE \"ExamCode\" = '001'").toString(), QStringLiteral("期中联考"));
    EXPECT_EQ(page->acPublish->text(), QStringLiteral("发布"));
    page->acPublishExecute();
    EXPECT_TRUE(stored("SELECT \"WXshowed\" FROM \"CJ_ExamTotal\" WHERE \"ExamCode\" = '001'").toBool());
    EXPECT_EQ(page->acPublish->text(), QStringLiteral("隐藏"));
    // The score sheet's parameters, as the score page reads them.
    EXPECT_EQ(page->scoreParameters(), QStringLiteral("2026,1701,七年级,Y,;,001;002;003,001,⊥,2026级七年级.期中联考")) << "the grade has no leaders yet";
}

TEST_F(ExamMrgTest, AFrozenExamStaysAsItIsAndARefusedFreezeKeepsTheRow)
{
    signInAs("admin", "lumeko");
    TfrmExamMrgPage *page = open();
    ASSERT_TRUE(goToExam(page, "001"));
    page->acFreezeExecute();
    EXPECT_TRUE(stored("SELECT \"Freeze\" FROM \"CJ_ExamTotal\" WHERE \"ExamCode\" = '001'").toBool());
    EXPECT_TRUE(page->acUnFreeze->isVisible());
    host.messages.clear();
    page->acEditExecute();
    EXPECT_FALSE(page->isEditing());
    page->acDeleteExecute();
    EXPECT_EQ(host.messageTexts(), (QStringList{QStringLiteral("考试[期中考试]已被冻结，不能修改！"), QStringLiteral("考试[期中考试]已被冻结，不能删除！")}));
    page->acUnFreezeExecute();
    EXPECT_FALSE(stored("SELECT \"Freeze\" FROM \"CJ_ExamTotal\" WHERE \"ExamCode\" = '001'").toBool());

    // A tick in the list's 冻结 cell of another row freezes that exam; a choice of 显示类型 is stored too.
    ASSERT_TRUE(page->cdsExamTotal->locate(QStringLiteral("ExamCode"), {QStringLiteral("002")}));
    page->cdsExamTotal->edit();
    page->cdsExamTotal->setValue(u"Freeze", true);
    page->cdsExamTotal->post();
    EXPECT_TRUE(stored("SELECT \"Freeze\" FROM \"CJ_ExamTotal\" WHERE \"ExamCode\" = '002'").toBool());
    EXPECT_FALSE(stored("SELECT \"Freeze\" FROM \"CJ_ExamTotal\" WHERE \"ExamCode\" = '001'").toBool()) << "only the ticked exam";
    ASSERT_TRUE(page->cdsExamTotal->locate(QStringLiteral("ExamCode"), {QStringLiteral("001")}));
    page->cdsExamTotal->edit();
    page->cdsExamTotal->setValue(u"markShowType", QStringLiteral("0"));
    page->cdsExamTotal->post();
    EXPECT_EQ(stored("SELECT \"markShowType\" FROM \"CJ_ExamTotal\" WHERE \"ExamCode\" = '001'").toString(), "0");
    EXPECT_EQ(page->cdsExamTotal->changeCount(), 0);

    // The server refuses the freeze (another user deleted the exam meanwhile): the row stays open.
    fx.db().exec("DELETE FROM \"CJ_ExamSubject\"");
    fx.db().exec("DELETE FROM \"CJ_ExamTotal\" WHERE \"ExamCode\" = '001'");
    host.messages.clear();
    ASSERT_TRUE(goToExam(page, "001"));
    page->acFreezeExecute();
    EXPECT_FALSE(page->cdsExamTotal->value(u"Freeze").toBool());
    EXPECT_EQ(page->cdsExamTotal->changeCount(), 0);
    ASSERT_EQ(host.messages.size(), 1);
    EXPECT_EQ(host.messages[0].text, QStringLiteral("冻结考试失败，可能网络忙，请稍后再试！"));
}

TEST_F(ExamMrgTest, AnExamWithCandidatesIsNotDeletedAndOneWithoutIsDeletedWhole)
{
    const qint64 id = stored("SELECT \"Id\" FROM \"CJ_ExamTotal\" WHERE \"ExamCode\" = '001'").toLongLong();
    fx.db().exec(
        "INSERT INTO \"XJ_Student\" (\"sCode\", \"SchoolCode\", \"GradeCode\", \"InYear\", \"ClassCode\", \"sName\") VALUES ('{A}', 'S1', '1701', 2026, "
        "'001', ?)",
        {QStringLiteral("张三")});
    fx.db().exec("INSERT INTO \"CJ_ExamStudent\" (\"examId\", \"StudentCode\", \"ClassCode\") VALUES (?, '{A}', '001')", {id});
    signInAs("admin", "lumeko");
    TfrmExamMrgPage *page = open();
    ASSERT_TRUE(goToExam(page, "001"));
    host.answer(pub::AnswerYes, QStringLiteral("确定要删除此次考试数据吗？"));
    page->acDeleteExecute();
    EXPECT_EQ(host.messageTexts().last(), QStringLiteral("不能删除,此考试已定义考生名单！"));
    EXPECT_EQ(stored("SELECT COUNT(*) FROM \"CJ_ExamTotal\"").toInt(), 3);

    fx.db().exec("DELETE FROM \"CJ_ExamStudent\"");
    host.answer(pub::AnswerNo);
    page->acDeleteExecute();
    EXPECT_EQ(stored("SELECT COUNT(*) FROM \"CJ_ExamTotal\"").toInt(), 3) << "the user said no";
    host.answer(pub::AnswerYes);
    page->acDeleteExecute();
    EXPECT_EQ(stored("SELECT COUNT(*) FROM \"CJ_ExamTotal\" WHERE \"ExamCode\" = '001'").toInt(), 0);
    EXPECT_EQ(stored("SELECT COUNT(*) FROM \"CJ_ExamSubject\"").toInt(), 0);
    EXPECT_TRUE(host.messageTexts().last().startsWith(QStringLiteral("已删除考试【期中考试】"))) << host.messageTexts().last().toStdString();
    EXPECT_EQ(names(page).size(), 2) << "the list was read again";
    EXPECT_TRUE(host.scriptDone());
}

TEST_F(ExamMrgTest, Pictures)
{
    if (pub::testing::shotsFolder().isEmpty()) GTEST_SKIP() << "LUMEKO_SHOTS is not set";
    host.contentValue = qRgb(0xEE, 0xF3, 0xF8);
    signInAs("admin", "lumeko");
    ASSERT_TRUE(open());
    host_window->resize(1200, 700);
    pub::testing::saveShot(*host_window, "exam-management");
}

} // namespace
