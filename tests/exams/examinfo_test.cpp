// The exam-name catalogue and the exam chooser over the fixture school's server.

#include "exams/ufrmexaminfo.h"
#include "exams/ufrmimportexam.h"
#include "fixtureschool.h"
#include "signedinhost.h"
#include "toolkit/grid/bandedgrid.h"

#include <QAction>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>

#include <gtest/gtest.h>

using namespace lumeko;
using namespace lumeko::achieve;

namespace {

class ExamDialogsTest : public pub::testing::SignedInHost {
protected:
    void SetUp() override
    {
        SignedInHost::SetUp();
        server::Database &db = fx.db();
        const QString info = "INSERT INTO \"CJ_ExamInfo\" (\"sCode\", \"sName\", \"sType\", \"SchoolCode\", \"bState\") VALUES (?, ?, ?, ?, ?)";
        db.exec(info, {"001", QStringLiteral("期中考试"), QStringLiteral("综合考试"), "SYSTEM", true});
        db.exec(info, {"002", QStringLiteral("期末考试"), QStringLiteral("综合考试"), "S1", true});
        db.exec(info, {"003", QStringLiteral("第一次月考"), QStringLiteral("综合考试"), "S1", false});
        const QString reg = "INSERT INTO \"XT_RegList\" (\"sListName\", \"sKeyId\", \"sValue\", \"iOrder\") VALUES ('ExamType', ?, ?, ?)";
        db.exec(reg, {"1", QStringLiteral("综合考试"), 1});
        db.exec(reg, {"2", QStringLiteral("单元考试"), 2});
        db.exec("INSERT INTO \"XT_Function\" (\"sFunId\", \"sParFunId\", \"sFunKey\", \"sFunName\", \"iOrder\") VALUES ('4005', '40', NULL, ?, 20)",
                {QStringLiteral("考试名称")});
        db.exec("INSERT INTO \"XT_Function\" (\"sFunId\", \"sParFunId\", \"sFunKey\", \"sFunName\", \"iOrder\") VALUES ('400501', '4005', 'Manager', ?, 21)",
                {QStringLiteral("维护")});
    }
    QStringList stored()
    {
        const auto rows = fx.db().select("SELECT \"sCode\", \"sName\", \"SchoolCode\" FROM \"CJ_ExamInfo\" ORDER BY \"sCode\"", {},
                                         {{"a", wire::FieldType::Text, 0, 0}, {"b", wire::FieldType::Text, 0, 0}, {"c", wire::FieldType::Text, 0, 0}});
        QStringList out;
        for (qsizetype r = 0; r < rows.rowCount(); ++r)
            out << rows.value(r, 0).toString() + u'=' + rows.value(r, 1).toString() + u'@' + rows.value(r, 2).toString();
        return out;
    }
};

TEST_F(ExamDialogsTest, NewNamesGetTheNextCodesAndBuiltInNamesStayAsTheyAre)
{
    EXPECT_EQ(TfrmExamInfo::codeAfter(0, 1), "001");
    EXPECT_EQ(TfrmExamInfo::codeAfter(99, 1), "100");
    EXPECT_EQ(TfrmExamInfo::codeAfter(999, 1), "1000") << "not cut to three digits";

    signInAs("admin", "lumeko");
    TfrmExamInfo dialog;
    dialog.InitDialog();
    EXPECT_EQ(dialog.cdsData->recordCount(), 3);
    const int kind = dialog.cxGridList->columnOfField(QStringLiteral("sType"));
    EXPECT_EQ(dialog.cxGridList->column(kind).lookup.size(), 2) << "the kinds of the registry";

    dialog.acEdit->trigger();
    dialog.cdsData->first();
    EXPECT_TRUE(dialog.cxGridList->isReadOnly()) << "the shared row cannot be edited";
    host.messages.clear();
    dialog.acDelete->trigger();
    dialog.cdsData->next();
    EXPECT_TRUE(dialog.cxGridList->isReadOnly()) << "nor a built-in row of the school";
    dialog.acDelete->trigger();
    EXPECT_EQ(host.messageTexts(), (QStringList{QStringLiteral("系统默认考试类型，不能删除！"), QStringLiteral("内置系统考试类型，不能删除！")}));
    dialog.cdsData->next();
    EXPECT_FALSE(dialog.cxGridList->isReadOnly()) << "the school's own name";
    dialog.cdsData->edit();
    dialog.cdsData->setValue(u"sName", QStringLiteral("第一次月考（改）"));
    dialog.cdsData->post();
    for (const char *name : {"第二次月考", "期末模拟"}) {
        dialog.acInsert->trigger();
        dialog.cdsData->setValue(u"sName", QString::fromUtf8(name));
        dialog.cdsData->post();
    }
    dialog.acSave->trigger();
    EXPECT_EQ(dialog.EditState, 0) << host.messageTexts().join(u'|').toStdString();
    EXPECT_EQ(stored(), (QStringList{QStringLiteral("001=期中考试@SYSTEM"), QStringLiteral("002=期末考试@S1"), QStringLiteral("003=第一次月考（改）@S1"),
                                     QStringLiteral("004=第二次月考@S1"), QStringLiteral("005=期末模拟@S1")}));
    EXPECT_EQ(fx.db().scalar("SELECT \"sType\" FROM \"CJ_ExamInfo\" WHERE \"sCode\" = '004'").toString(), QStringLiteral("综合考试")) << "the default kind";

    // Without the catalogue's Manager right the dialog only shows.
    pub::signOut();
    signInAs("wang", "pw6");
    TfrmExamInfo readOnly;
    readOnly.InitDialog();
    EXPECT_FALSE(readOnly.acEdit->isEnabled());
}

TEST_F(ExamDialogsTest, TheChooserOffersTheOtherExamsOfTheIntakeNeverTheCurrentOne)
{
    server::Database &db = fx.db();
    const QString exam =
        "INSERT INTO \"CJ_ExamTotal\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", \"ExamName\") VALUES ('S1', ?, ?, ?, ?, ?)";
    const QString noPage = QStringLiteral("⊥");
    db.exec(exam, {"1701", 2026, "001", noPage, QStringLiteral("期中考试")});
    db.exec(exam, {"1701", 2026, "003", noPage, QStringLiteral("第一次月考")});
    db.exec(exam, {"1801", 2026, "002", noPage, QStringLiteral("高年级的考试")});
    db.exec(exam, {"1701", 2025, "004", noPage, QStringLiteral("去年的考试")});
    signInAs("admin", "lumeko");
    TfrmImportExam chooser;
    chooser.GradeCode = QStringLiteral("1701");
    chooser.InYear = 2026;
    chooser.ExamCode = QStringLiteral("001");
    chooser.PageName = noPage;
    chooser.loadExams();
    ASSERT_EQ(chooser.lbExams->count(), 1);
    EXPECT_EQ(chooser.lbExams->item(0)->text(), QStringLiteral("七年级.第一次月考"));
    chooser.rbIntake->setChecked(true);
    EXPECT_EQ(chooser.lbExams->count(), 2) << "every grade of the 2026 intake, never this exam, never another intake";

    host.messages.clear();
    chooser.btnOk->click();
    EXPECT_EQ(host.messageTexts(), QStringList{QStringLiteral("请选择导入考试！")});
    EXPECT_NE(chooser.result(), QDialog::Accepted);
    chooser.lbExams->setCurrentRow(1);
    chooser.btnOk->click();
    EXPECT_EQ(chooser.result(), QDialog::Accepted);
    EXPECT_EQ(chooser.chosen(), QStringLiteral("002,⊥,1801"));
}

} // namespace
