// The import wizard as an office clerk uses it from the register of the demo school: pasting a
// table, mapping its columns, previewing, importing, and saving what was merged.

#include "framework/import/upubimportset.h"
#include "framework/lumekoachieve.h"
#include "framework/modalrun.h"
#include "framework/pageregistry.h"
#include "students/ufrmstudentpage.h"

#include "server/core/auth.h"
#include "registerfixtures.h"
#include "shots.h"
#include "signedinhost.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QRadioButton>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace lumeko;
using namespace lumeko::achieve;

namespace {

class ImportWizardTest : public pub::testing::SignedInHost {
protected:
    void SetUp() override
    {
        SignedInHost::SetUp();
        host.contentValue = qRgb(0xEE, 0xF3, 0xF8); // the host application's own content colour
        students::testing::seedSmallDemoSchool(fx.db());
        signInAs("admin2", "lumeko");
        tab = std::make_unique<QWidget>();
        new QVBoxLayout(tab.get());
        page = qobject_cast<TfrmStudentPage *>(PageRegistry::instance().page(ShowStudentPage(&app, tab.get(), "2026,1701,七年级,Y,")));
        ASSERT_TRUE(page);
        page->cdsData->first();
        existingNo = page->cdsData->value(u"sNO").toString();
        existingCode = page->cdsData->value(u"sCode").toString();
        ASSERT_FALSE(existingNo.isEmpty());
        page->cdsClassName->first();
        className = page->cdsClassName->value(u"ClassName").toString();
        classCode = page->cdsClassName->value(u"ClassCode").toString();
    }
    void TearDown() override
    {
        setModalRunner({});
        ClosePage(PageRegistry::handleFromName(page->objectName()));
        SignedInHost::TearDown();
    }
    // Runs the page's import with `drive` standing in for the user at the open wizard.
    void importWith(const std::function<void(TPubImportSet &)> &drive)
    {
        bool ran = false;
        setModalRunner([&](QDialog &d) {
            auto *wizard = qobject_cast<TPubImportSet *>(&d);
            EXPECT_TRUE(wizard);
            if (wizard) drive(*wizard);
            ran = true;
            return int(QDialog::Accepted);
        });
        page->acImport->trigger();
        EXPECT_TRUE(ran);
    }

    QWidget app;
    std::unique_ptr<QWidget> tab;
    TfrmStudentPage *page = nullptr;
    QString existingNo, existingCode, className, classCode;
};

TEST_F(ImportWizardTest, TheFirstStepRefusesAnEmptyClipboardKeepsOneKeyAndOffersNameNumbering)
{
    const qsizetype definitions = page->cdsFields->recordCount();
    importWith([&](TPubImportSet &w) {
        EXPECT_EQ(w.windowTitle(), QStringLiteral("学籍档案 学籍数据导入向导"));
        EXPECT_EQ(w.lblStep->text(), QStringLiteral("第一步 参数设置"));
        EXPECT_EQ(w.clbKeys->count(), 5);
        EXPECT_EQ(w.options().keys, QStringList{QStringLiteral("学籍辅号")}) << "the first key is checked";
        w.clbKeys->item(0)->setCheckState(Qt::Unchecked);
        EXPECT_EQ(host.messageTexts().last(), QStringLiteral("至少选择一项唯一栏！"));
        EXPECT_EQ(w.clbKeys->item(0)->checkState(), Qt::Checked);

        EXPECT_TRUE(w.cbNameUnique->isHidden());
        w.clbKeys->item(3)->setCheckState(Qt::Checked); // 姓名
        w.clbKeys->item(0)->setCheckState(Qt::Unchecked);
        EXPECT_FALSE(w.cbNameUnique->isHidden()) << "shown while the name alone is the key";
        w.cbOverride->setChecked(true);
        w.cbNameUnique->setChecked(true);
        EXPECT_FALSE(w.cbOverride->isChecked()) << "numbering names and overwriting exclude each other";
        w.cbOverride->setChecked(true);
        EXPECT_FALSE(w.cbNameUnique->isChecked());
        EXPECT_TRUE(w.cbImpLoginName->isHidden()) << "login names are for teacher data";

        EXPECT_EQ(w.cbDateFormat->currentText(), QStringLiteral("yyyyMMdd"));
        w.cbDateSep->setCurrentText(QStringLiteral("/"));
        EXPECT_EQ(w.cbDateFormat->count(), 2);
        EXPECT_EQ(w.cbDateFormat->itemText(1), QStringLiteral("yyyy/M/d"));

        QApplication::clipboard()->clear();
        w.nextStep();
        EXPECT_EQ(host.messageTexts().last(), QStringLiteral("没有可粘帖的文本!"));
        QApplication::clipboard()->setText(QStringLiteral("姓名\t性别"));
        w.nextStep();
        EXPECT_EQ(host.messageTexts().last(), QStringLiteral("粘帖板无数据！"));
        EXPECT_EQ(w.step(), 0);
    });
    EXPECT_EQ(page->cdsFields->recordCount(), definitions) << "the parents' columns are offered only while the wizard runs";
    EXPECT_EQ(page->EditState, 2) << "importing puts the page in editing";
    page->acCancel->trigger();
}

TEST_F(ImportWizardTest, MappingIsCheckedThenPreviewChangesNothingAndImportMergesRowsTheSaveStores)
{
    const QString pasted = QStringLiteral("学籍辅号\t姓 名\t性别\t班级\t出生日期\t父亲\t父亲电话\t密码\t备用列\r\n"
                                          "%1\t改名同学\t女\t%2\t20120305\t\t\t\tx\r\n"
                                          "T9001\t新生甲\t男\t%3\t\t\t\t\ty\r\n"
                                          "T9001\t新生乙\t男\t%3\t201209\t新父亲\t139\tabc123\tz\r\n"
                                          "T9001\t新生丙\t男\t%3\t\t\t\t\tz\r\n")
                                .arg(existingNo, className, QString::number(classCode.toInt()));
    QApplication::clipboard()->setText(pasted);
    const qsizetype before = page->cdsData->recordCount();
    importWith([&](TPubImportSet &w) {
        w.cbOverride->setChecked(true);
        pub::testing::saveShot(w, "import-step1");
        w.nextStep();
        ASSERT_EQ(w.step(), 1);
        pub::testing::saveShot(w, "import-step2");
        EXPECT_EQ(w.lblStep->text(), QStringLiteral("第二步 栏位设置（未自动匹配标题栏用户可以自行设置匹配）"));
        EXPECT_EQ(w.titles().mid(0, 3), (QStringList{QStringLiteral("学籍辅号"), QStringLiteral("姓名"), QStringLiteral("性别")}))
            << "titles match the captions once their spaces are gone";
        EXPECT_EQ(w.titles()[5], QStringLiteral("父亲")) << "the parents' columns are offered while the wizard runs";
        EXPECT_EQ(w.titles()[8], kNoField) << "a title that is no field's caption is not imported";
        EXPECT_EQ(w.rows().size(), 4);

        w.setTitle(8, QStringLiteral("姓名"));
        w.nextStep();
        EXPECT_EQ(host.messageTexts().last(), QStringLiteral("列匹配错误，数据列[姓名](2--9)重复设置！"));
        EXPECT_EQ(w.step(), 1);
        w.setTitle(8, kNoField);
        w.nextStep();
        ASSERT_EQ(w.step(), 2);
        EXPECT_TRUE(w.mmLog->toPlainText().startsWith(QStringLiteral("以 [学籍辅号] 为唯一栏覆盖更新相同数据！\n数据来源:粘贴板")));

        w.previewData();
        EXPECT_EQ(page->cdsData->recordCount(), before) << "a preview merges nothing";
        EXPECT_EQ(page->cdsData->changeCount(), 0);
        EXPECT_TRUE(w.mmLog->toPlainText().contains(QStringLiteral("预览：将覆盖 2笔记录，增加 1笔记录，1行重复不导入。")));

        w.importData();
        EXPECT_TRUE(w.mmLog->toPlainText().endsWith(QStringLiteral("导入完成，共覆盖 2笔记录，增加 1笔记录！")));
        EXPECT_EQ(w.mmDuplicates->toPlainText(), QStringLiteral("以下数据重复(未导入)：\n行<4>-->T9001 重复!"));
        EXPECT_FALSE(w.mmDuplicates->isHidden());
        EXPECT_EQ(w.btnCancel->text(), QStringLiteral("完    成"));
        EXPECT_TRUE(w.btnImport->isHidden());
        EXPECT_TRUE(w.btnPrior->isHidden());
        pub::testing::saveShot(w, "import-step3");
    });
    EXPECT_EQ(page->cdsData->recordCount(), before + 1);
    page->acSave->trigger();
    EXPECT_EQ(host.messageTexts().last(), QStringLiteral("数据保存成功！"));

    server::Database &db = fx.db();
    EXPECT_EQ(db.scalar("SELECT \"sName\" FROM \"XJ_Student\" WHERE \"sCode\" = ?", {existingCode}).toString(), QStringLiteral("改名同学"));
    const QString newCode = db.scalar("SELECT \"sCode\" FROM \"XJ_Student\" WHERE \"sNO\" = 'T9001'").toString();
    ASSERT_EQ(newCode.size(), 38);
    EXPECT_EQ(db.scalar("SELECT \"sName\" FROM \"XJ_Student\" WHERE \"sCode\" = ?", {newCode}).toString(), QStringLiteral("新生乙"));
    EXPECT_EQ(db.scalar("SELECT \"ClassCode\" FROM \"XJ_Student\" WHERE \"sCode\" = ?", {newCode}).toString(), classCode) << "the class digit became its code";
    EXPECT_EQ(db.scalar("SELECT \"GradeCode\" FROM \"XJ_Student\" WHERE \"sCode\" = ?", {newCode}).toString(), "1701");
    EXPECT_EQ(db.scalar("SELECT \"sType\" FROM \"XJ_Student\" WHERE \"sCode\" = ?", {newCode}).toString(), QStringLiteral("统招生"));
    EXPECT_TRUE(server::verifyPassword(db.scalar("SELECT \"sPass\" FROM \"XJ_Student\" WHERE \"sCode\" = ?", {newCode}).toString(), "abc123"))
        << "the enciphered import password is stored as a hash the student can sign in with";
    EXPECT_EQ(db.scalar("SELECT \"sName\" FROM \"XJ_Family\" WHERE \"scode\" = ? AND \"sTitle\" = ?", {newCode, QStringLiteral("父亲")}).toString(),
              QStringLiteral("新父亲"));
    EXPECT_EQ(db.scalar("SELECT \"sTel\" FROM \"XJ_Family\" WHERE \"scode\" = ? AND \"sTitle\" = ?", {newCode, QStringLiteral("父亲")}).toString(), "139");
}

TEST_F(ImportWizardTest, ABadCellStopsTheImportWithItsColumnRowAndText)
{
    QApplication::clipboard()->setText(QStringLiteral("学籍辅号\t姓名\t性别\t出生日期\r\nT1\t甲\t男\t2012\r\nT2\t乙\t男\t20120101\r\n"));
    importWith([&](TPubImportSet &w) {
        w.nextStep();
        w.nextStep();
        w.importData();
        EXPECT_EQ(host.messageTexts().last(), QStringLiteral("列[出生日期]行[1]数据<2012>无效的日期格式！"));
        EXPECT_EQ(w.btnCancel->text(), QStringLiteral("取    消")) << "the wizard stays open to try again";
    });
    EXPECT_EQ(page->cdsData->changeCount(), 0) << "the row with the bad cell was not merged";
    page->acCancel->trigger();
}

TEST_F(ImportWizardTest, AnExcelFileFillsTheSameGridAndAMissingOneIsNamed)
{
    importWith([&](TPubImportSet &w) {
        w.rbExcel->setChecked(true);
        w.nextStep();
        EXPECT_EQ(host.messageTexts().last(), QStringLiteral("请选择要导入的Excel文件！"));
        w.edFile->setText(QStringLiteral("/nonexistent/名单.xlsx"));
        w.nextStep();
        EXPECT_TRUE(host.messageTexts().last().contains(QStringLiteral("/nonexistent/名单.xlsx")));
        EXPECT_EQ(w.step(), 0);
        w.edFile->setText(QStringLiteral(LUMEKO_SOURCE_DIR "/tests/toolkit/data/register.xls"));
        w.listSheets();
        ASSERT_EQ(w.cbSheet->count(), 2);
        w.cbSheet->setCurrentIndex(1);
        w.nextStep();
        ASSERT_EQ(w.step(), 1);
        EXPECT_EQ(w.rows().size(), 399) << "the second sheet: 400 rows, the first taken as titles";
        w.priorStep();
        w.cbSheet->setCurrentIndex(0);
        w.nextStep();
        ASSERT_EQ(w.step(), 1);
        EXPECT_EQ(w.titles(), (QStringList{QStringLiteral("姓名"), QStringLiteral("学籍辅号"), QStringLiteral("座号"), QStringLiteral("出生日期"), kNoField}));
        EXPECT_EQ(w.rows().size(), 3);
        EXPECT_EQ(w.rows()[0][3], "2012-03-05");
        w.nextStep();
        EXPECT_TRUE(w.mmLog->toPlainText().contains(QStringLiteral("数据来源:" LUMEKO_SOURCE_DIR "/tests/toolkit/data/register.xls（工作表：学生名单）")));
    });
    page->acCancel->trigger();
}

} // namespace
