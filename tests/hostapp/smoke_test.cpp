// The host as a newcomer first meets it: signed in to the demo school that `make run` makes, every
// function of the module's menu is opened on the school's grades, classes and sections from the
// tree. Nothing may end in an error box or a host-log line, and the register of every grade and
// class shows exactly the students the database holds for it.

#include "host/app/desktab.h"
#include "host/app/functions.h"
#include "host/app/mainwindow.h"
#include "host/app/schooltree.h"
#include "host/pub/provider.h"
#include "host/pub/pub.h"
#include "host/pub/qtprovider.h"
#include "scores/ufrmachievepage.h"
#include "scores/ufrmachmodifyrightdlg.h"
#include "scores/ufrminputscore.h"
#include "scores/ufrmmodifygradeper.h"
#include "scriptedprovider.h"
#include "server/core/auth.h"
#include "server/core/service.h"
#include "server/methods/methods.h"
#include "server/seed/seed.h"
#include "server/storage/migrations.h"
#include "shots.h"
#include "students/ufrmstudentpage.h"
#include "toolkit/grid/bandedgrid.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QDialog>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace lumeko;

namespace {

// The demo school exactly as the host makes it on first start, once for the whole suite.
class DemoSchool {
public:
    DemoSchool()
    {
        url.backend = server::Backend::Sqlite;
        url.path = dir.filePath(QStringLiteral("demo.db"));
        server::Database db(url);
        server::migrate(db);
        server::seedSystemData(db);
        server::DemoOptions demo;
        demo.hashPassword = [](const QString &pw) { return server::hashPassword(pw, server::PasswordCost::Minimal); };
        accounts = server::seedDemoSchool(db, demo);
    }
    QTemporaryDir dir;
    QList<server::DemoAccount> accounts;
    server::DatabaseUrl url;
};

class HostSmokeTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { school = new DemoSchool; }
    static void TearDownTestSuite()
    {
        delete school;
        school = nullptr;
    }

    void SetUp() override
    {
        server::ServerOptions options;
        options.database = school->url;
        options.fileStore = school->dir.filePath(QStringLiteral("files"));
        options.passwordCost = server::PasswordCost::Minimal;
        service = std::make_unique<server::Service>(options);
        server::installSchoolMethods(*service);
        link = std::make_unique<wire::LocalLink>(*service);
        QString error;
        ASSERT_TRUE(module.load(QStringLiteral(LUMEKO_MODULE_PATH), &error)) << error.toStdString();
    }
    void TearDown() override { pub::signOut(); }

    void signIn(const char *login, const char *password)
    {
        QString error;
        ASSERT_TRUE(pub::signIn(*link, QString::fromLatin1(login), QString::fromLatin1(password), &error)) << error.toStdString();
    }

    qint64 studentsIn(const host::Place &p)
    {
        QString sql = QStringLiteral("SELECT COUNT(*) FROM \"XJ_Student\" WHERE \"SchoolCode\" = ? AND \"GradeCode\" = ? AND \"InYear\" = ?");
        QVariantList params{pub::schoolId(), p.grade.code, p.grade.inYear};
        if (p.kind == host::Place::Class) {
            sql += QStringLiteral(" AND \"ClassCode\" = ?");
            params << p.schoolClass.code;
        }
        return service->connection().scalar(sql, params).toLongLong();
    }

    static DemoSchool *school;
    pub::testing::ScriptedProvider host;
    std::unique_ptr<server::Service> service;
    std::unique_ptr<wire::ServerLink> link;
    host::Module module;
    QTemporaryDir settings;
};

DemoSchool *HostSmokeTest::school = nullptr;

TEST_F(HostSmokeTest, EveryFunctionOpensOnTheDemoSchoolsGradesAndTheRegisterShowsTheirStudents)
{
    signIn("admin", "lumeko");
    host::MainWindow window(module, nullptr, settings.filePath(QStringLiteral("LumekoUser.ini")));
    window.buildModuleMenu();
    window.show();

    // Dialogs the functions open are closed as soon as they show.
    int dialogs = 0;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto *d = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
            ++dialogs;
            d->reject();
        }
    });
    closer.start(50);

    const QList<host::SectionNode> &sections = window.tree()->sections();
    ASSERT_GE(sections.size(), 2) << "the demo school has junior and senior sections";
    QList<host::Place> places;
    for (const host::SectionNode &s : sections) {
        places << host::sectionPlace(s);
        for (const host::GradeNode &g : s.current) {
            places << host::gradePlace(g);
            if (!g.classes.isEmpty()) places << host::classPlace(g, g.classes.first());
        }
        if (!s.history.isEmpty()) places << host::gradePlace(s.history.first());
    }

    int opened = 0, registers = 0, dialogExports = 0;
    for (QAction *action : window.moduleActions()) {
        if (!action->isEnabled()) continue;
        const host::HostFunction *f = host::hostFunction(action->data().toString());
        ASSERT_TRUE(f) << action->text().toStdString();
        // A function of the whole school opens once; the others on every kind of place.
        const bool anywhere = f->needs == host::Needs::Nothing || f->needs == host::Needs::AllDepartments;
        for (const host::Place &place : anywhere ? places.mid(0, 1) : places) {
            const std::optional<QString> params = host::parametersFor(*f, place);
            if (!params) continue; // the function does not open on this kind of place
            ASSERT_TRUE(window.tree()->select(place)) << place.text().toStdString();
            const int tabs = window.pages()->count();
            action->trigger();
            ++opened;
            const QString what = action->text() + QStringLiteral(" on ") + place.text();
            for (const pub::testing::ShownMessage &m : host.messages)
                EXPECT_TRUE(m.kind != pub::MessageKind::Error && m.kind != pub::MessageKind::Warn) << what.toStdString() << ": " << m.text.toStdString();
            EXPECT_TRUE(host.logLines.isEmpty()) << what.toStdString() << ": " << host.logLines.join(u'\n').toStdString();
            host.messages.clear();
            host.logLines.clear();
            if (f->kind != host::ExportKind::Page) {
                ++dialogExports;
                continue;
            }
            ASSERT_EQ(window.pages()->count(), tabs + 1) << what.toStdString();
            const auto pages = window.pages()->widget(tabs)->findChildren<achieve::TfrmStudentPage *>();
            if (!pages.isEmpty() && place.kind != host::Place::Section) {
                achieve::TfrmStudentPage *page = pages.first();
                const qint64 expected = studentsIn(place);
                if (place.grade.current) EXPECT_GT(expected, 0) << what.toStdString();
                EXPECT_EQ(page->GridData->footerText(page->GridData->columnOfField(QStringLiteral("sName"))), QStringLiteral("人数=%1").arg(expected))
                    << what.toStdString();
                if (place.kind == host::Place::Grade) EXPECT_EQ(place.grade.students, expected) << "the tree counts as the register";
                ++registers;
            }
            EXPECT_TRUE(window.closeTab(tabs)) << what.toStdString();
        }
    }
    EXPECT_GE(registers, 12) << "every current grade and one class of each";
    EXPECT_GE(opened, registers);
    EXPECT_EQ(dialogs, dialogExports) << "each dialog function showed its dialog, and pages opened none";
    EXPECT_TRUE(host.scriptDone());
}

TEST_F(HostSmokeTest, ATeacherSeesHisOwnClassesAndTheDeskNamesHisRoles)
{
    // A head teacher of the demo school: the desk names his role, the tree shows his classes.
    const auto head = std::find_if(school->accounts.begin(), school->accounts.end(),
                                   [](const server::DemoAccount &a) { return a.roles.split(u',').contains(QStringLiteral("4")); });
    ASSERT_NE(head, school->accounts.end()) << "the demo school offers a head teacher's sign-in";
    signIn(head->login.toUtf8().constData(), head->password.toUtf8().constData());
    host::MainWindow window(module, nullptr, settings.filePath(QStringLiteral("LumekoUser.ini")));
    window.buildModuleMenu();
    EXPECT_TRUE(window.desk()->who()->text().contains(QStringLiteral("班主任"))) << window.desk()->who()->text().toStdString();
    qint64 classes = 0;
    for (const host::SectionNode &s : window.tree()->sections())
        for (const host::GradeNode &g : s.current)
            classes += g.classes.size();
    EXPECT_GE(classes, 1);
}

// The desk's latest exams each open their score sheet with every candidate of the demo school, and
// the sheet's totals and ranks are those the demo school stored.
TEST_F(HostSmokeTest, TheDesksExamsOpenTheirScoreSheetsWithEveryCandidate)
{
    signIn("admin", "lumeko");
    host::MainWindow window(module, nullptr, settings.filePath(QStringLiteral("LumekoUser.ini")));
    window.buildModuleMenu();
    window.show();
    QTreeWidget *exams = window.desk()->exams();
    ASSERT_GT(exams->topLevelItemCount(), 0);
    for (int i = 0; i < exams->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = exams->topLevelItem(i);
        auto *button = qobject_cast<QPushButton *>(exams->itemWidget(item, 4));
        ASSERT_NE(button, nullptr);
        ASSERT_TRUE(button->isEnabled()) << "the module has the score sheet";
        const int tabs = window.pages()->count();
        button->click();
        const std::string what = (item->text(0) + u' ' + item->text(1)).toStdString();
        ASSERT_EQ(window.pages()->count(), tabs + 1) << what << host.messageTexts().join(u'|').toStdString();
        const auto pages = window.pages()->widget(tabs)->findChildren<achieve::TfrmAchievePage *>();
        ASSERT_EQ(pages.size(), 1) << what;
        achieve::TfrmAchievePage *page = pages.first();
        EXPECT_EQ(page->cdsData->recordCount(), item->text(3).toLongLong()) << what;
        for (const pub::testing::ShownMessage &m : host.messages)
            EXPECT_TRUE(m.kind != pub::MessageKind::Error && m.kind != pub::MessageKind::Warn) << what << ": " << m.text.toStdString();
        EXPECT_TRUE(host.logLines.isEmpty()) << what << ": " << host.logLines.join(u'\n').toStdString();
        // The first candidate with a total has the total the demo school stored, and a rank.
        const qint64 id = page->cdsExamInfo->value(u"Id").toLongLong();
        for (qsizetype r = 0; r < page->cdsData->recordCount(); ++r) {
            const QVariant total = page->cdsData->valueAt(r, page->cdsData->fieldIndex(u"FullTotal"));
            if (total.isNull()) continue;
            const QString student = page->cdsData->valueAt(r, page->cdsData->fieldIndex(u"sCode")).toString();
            EXPECT_EQ(total.toDouble(),
                      service->connection()
                          .scalar(QStringLiteral("SELECT \"FullTotal\" FROM \"CJ_ExamStudent\" WHERE \"examId\" = ? AND \"StudentCode\" = ?"), {id, student})
                          .toDouble())
                << what;
            EXPECT_GT(page->cdsData->valueAt(r, page->cdsData->fieldIndex(u"FullOrder")).toInt(), 0) << what;
            break;
        }
        host.messages.clear();
        host.logLines.clear();
        EXPECT_TRUE(window.closeTab(tabs)) << what;
    }
}

// Pictures of what a clerk meets on her first morning, for the people reviewing the host; only
// with LUMEKO_SHOTS set.
TEST_F(HostSmokeTest, Pictures)
{
    if (pub::testing::shotsFolder().isEmpty()) GTEST_SKIP() << "LUMEKO_SHOTS is not set";
    host.contentValue = qRgb(0xEE, 0xF3, 0xF8); // the host's own page colour, for the picture
    signIn("admin", "lumeko");
    host::MainWindow window(module, nullptr, settings.filePath(QStringLiteral("LumekoUser.ini")));
    window.buildModuleMenu();
    window.resize(1366, 800);
    pub::testing::saveShot(window, "host-desk");
    const host::Place grade = host::gradePlace(window.tree()->sections().first().current.first());
    window.tree()->select(grade);
    window.openFunctionOn(QStringLiteral("4009"), QStringLiteral("学籍档案"), grade);
    pub::testing::saveShot(window, "host-register-of-a-grade");

    // The exam management page of the grade, and the exam-name catalogue.
    window.openFunctionOn(QStringLiteral("4031"), QStringLiteral("考试管理"), grade);
    pub::testing::saveShot(window, "host-exam-management");
    QTimer::singleShot(300, [] {
        if (QWidget *d = QApplication::activeModalWidget()) {
            d->grab().save(pub::testing::shotsFolder() + QStringLiteral("/host-exam-catalogue.png"));
            qobject_cast<QDialog *>(d)->reject();
        }
    });
    window.openFunctionOn(QStringLiteral("4005"), QStringLiteral("考试名称"), grade);

    // The score sheet of the desk's latest exam: ranks, levels, letters and colours shown, in
    // browse and in edit state, and its roster dialog.
    // The open exam (not frozen) with the most scores stored, opened as the management page's 成绩 opens it.
    server::Database &db = service->connection();
    const wire::DataPacket exam = db.select(
        QStringLiteral("SELECT e.\"Id\", e.\"InYear\", e.\"GradeCode\", e.\"ExamCode\", e.\"ExamName\" FROM \"CJ_ExamTotal\" e WHERE e.\"PageName\" = ? AND e.\"Freeze\" = ? "
                       "ORDER BY (SELECT COUNT(*) FROM \"CJ_Mark\" m WHERE m.\"examId\" = e.\"Id\") DESC, e.\"Id\" LIMIT 1"),
        {QStringLiteral("⊥"), db.toDb(false, wire::FieldType::Boolean)},
        {{"Id", wire::FieldType::Integer, 0, 0},
         {"InYear", wire::FieldType::Integer, 0, 0},
         {"GradeCode", wire::FieldType::Text, 0, 0},
         {"ExamCode", wire::FieldType::Text, 0, 0},
         {"ExamName", wire::FieldType::Text, 0, 0}});
    if (exam.rowCount() == 1) {
        const wire::DataPacket subjects = db.select(
            QStringLiteral("SELECT \"SubjectCode\" FROM \"CJ_ExamSubject\" WHERE \"SchoolCode\" = ? AND \"GradeCode\" = ? "
                           "AND \"InYear\" = ? AND \"ExamCode\" = ? AND \"PageName\" = ? ORDER BY \"SubjectCode\""),
            {pub::schoolId(), exam.value(0, 2), exam.value(0, 1), exam.value(0, 3), QStringLiteral("⊥")}, {{"SubjectCode", wire::FieldType::Text, 0, 0}});
        QStringList codes;
        for (qsizetype r = 0; r < subjects.rowCount(); ++r)
            codes << subjects.value(r, 0).toString();
        const QString title = exam.value(0, 1).toString() + QStringLiteral("级.") + exam.value(0, 4).toString();
        window.openScoreSheet(QStringLiteral("%1,%2,,Y,,%3,%4,⊥,%5")
                                  .arg(exam.value(0, 1).toString(), exam.value(0, 2).toString(), codes.join(u';'), exam.value(0, 3).toString(), title),
                              QStringLiteral("成绩录入 - ") + title);
        const auto pages = window.pages()->currentWidget()->findChildren<achieve::TfrmAchievePage *>();
        if (!pages.isEmpty()) {
            achieve::TfrmAchievePage *page = pages.first();
            page->setSubjectItems(achieve::TfrmAchievePage::ItemScore | achieve::TfrmAchievePage::ItemGradeRank | achieve::TfrmAchievePage::ItemClassRank |
                                  achieve::TfrmAchievePage::ItemLevel);
            page->acOrder->setEnabled(true);
            host.answer(pub::AnswerYes);
            page->acOrderExecute();
            page->computeLevels();
            page->chkLetters->setChecked(true);
            page->chkColor->setChecked(true);
            page->chkOrder->setChecked(false); // the scores coloured by their level, not the ranks
            page->pcSide->setCurrentIndex(1);
            page->GridData->setCurrentCell(0, page->GridData->columnOfField(QStringLiteral("C_") + codes.first()));
            pub::testing::saveShot(window, "score-sheet-browse");
            page->acEdit->trigger();
            page->pcSide->setCurrentIndex(0);
            page->GridData->editCell(2, page->GridData->columnOfField(QStringLiteral("C_") + codes.first()));
            pub::testing::saveShot(window, "score-sheet-edit");
            // The three small dialogs of the sheet: seat entry, the role chooser, the letter shares.
            page->acInputScore->trigger();
            if (auto *box = page->findChild<achieve::TfrmInputScore *>()) {
                box->edInput->setText(QStringLiteral("0186"));
                pub::testing::saveShot(*box, "score-seat-entry");
                box->close();
            }
            achieve::TfrmAchModifyRightDlg roles(&window);
            roles.setRights(63, QStringLiteral("3,4,6"));
            pub::testing::saveShot(roles, "score-edit-role");
            achieve::TfrmModifyGradePer shares(&window);
            shares.setShares(page->cdsGradePer, true, true, QStringLiteral("本部"), QStringLiteral("分校"));
            pub::testing::saveShot(shares, "score-letter-shares");
            page->acCancel->trigger();
            QTimer::singleShot(300, [] {
                if (QWidget *d = QApplication::activeModalWidget()) {
                    d->grab().save(pub::testing::shotsFolder() + QStringLiteral("/score-roster.png"));
                    qobject_cast<QDialog *>(d)->reject();
                }
            });
            host.messages.clear();
            page->acDefineStudent->trigger();
            EXPECT_TRUE(host.messages.isEmpty()) << host.messageTexts().join(u'|').toStdString();
        }
    }

    // The grade chooser the host shows when nothing is selected.
    pub::QtProvider qt;
    pub::installProvider(&qt);
    QTimer::singleShot(300, [] {
        if (QWidget *d = QApplication::activeModalWidget()) {
            d->grab().save(pub::testing::shotsFolder() + QStringLiteral("/host-grade-chooser.png"));
            qobject_cast<QDialog *>(d)->reject();
        }
    });
    qt.openChooser(&window, QStringLiteral("0"));
    pub::installProvider(&host);
}

} // namespace
