#pragma once
// The score page's suites: the fixture school with a grade of six students in two classes, four
// subjects (one graded on eight steps), a school-wide exam with every student as candidate, and
// helpers that open the page from its export and type into it as a teacher does.

#include "fixtureschool.h"
#include "framework/lumekoachieve.h"
#include "framework/pagehosting.h"
#include "scores/ufrmachievepage.h"
#include "server/core/auth.h"
#include "server/seed/seed.h"
#include "signedinhost.h"
#include "toolkit/grid/bandedgrid.h"

#include <QApplication>
#include <QDoubleSpinBox>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace lumeko::achieve::testing {

const QString kNoPage = QStringLiteral("⊥");
constexpr char kZhao[] = "{00000000-0000-0000-0000-0000000000Z6}";

class AchievePageTest : public pub::testing::SignedInHost {
protected:
    void SetUp() override
    {
        SignedInHost::SetUp();
        host.appPathValue = m_app.path() + u'/';
        server::Database &db = fx.db();
        server::seedSystemData(db);
        const auto hash = [](const char *pw) { return server::hashPassword(QString::fromLatin1(pw), server::PasswordCost::Minimal); };
        db.exec("INSERT INTO \"JC_Teacher\" (\"sCode\", \"SchoolCode\", \"sName\", \"sLoginName\", \"sPass\", \"sRole\", \"iState\", \"iUserType\", "
                "\"bViewAllGrade\", \"bViewAllClass\") VALUES (?, 'S1', ?, 'zhao', ?, '6', 0, 0, ?, ?)",
                {kZhao, QStringLiteral("赵老师"), hash("pwz"), db.toDb(false, wire::FieldType::Boolean), db.toDb(false, wire::FieldType::Boolean)});
        const QString subject = "INSERT INTO \"XJ_Subject\" (\"SchoolCode\", \"SubjectCode\", \"SubjectName\") VALUES ('S1', ?, ?)";
        const QString gradeSubject =
            "INSERT INTO \"XJ_GradeSubject\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"SubjectCode\", \"SubjectType\", \"FullMark\") "
            "VALUES ('S1', 2026, '1701', ?, ?, ?)";
        for (const auto &[code, name, type, full] :
             {std::tuple{"001", "语文", 0, 120}, {"002", "数学", 0, 120}, {"003", "英语", 1, 100}, {"009", "音乐", 2, 8}}) {
            db.exec(subject, {code, QString::fromUtf8(name)});
            db.exec(gradeSubject, {code, type, full});
        }
        const QString gradeClass =
            "INSERT INTO \"XJ_GradeClass\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"ClassCode\", \"TeacherCode\") VALUES ('S1', 2026, '1701', ?, ?)";
        db.exec(gradeClass, {"001", QVariant()});
        db.exec(gradeClass, {"002", QVariant()});
        const QString student =
            "INSERT INTO \"XJ_Student\" (\"sCode\", \"SchoolCode\", \"GradeCode\", \"InYear\", \"ClassCode\", \"iClassNo\", \"sName\", \"sNO\", \"iState\") "
            "VALUES (?, 'S1', '1701', 2026, ?, ?, ?, ?, '00')";
        const char *const names[] = {"张三", "李四", "王五", "赵六", "孙七", "周八"};
        for (int i = 0; i < 6; ++i)
            db.exec(student, {QStringLiteral("{S%1}").arg(i), i < 3 ? "001" : "002", i % 3 + 1, QString::fromUtf8(names[i]), QStringLiteral("2026%1").arg(i)});
        const QString course = "INSERT INTO \"XJ_CourseTable\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"ClassCode\", \"SubjectCode\", \"TeacherCode\") "
                               "VALUES ('S1', 2026, '1701', ?, ?, ?)";
        db.exec(course, {"002", "003", server::testing::kTeacherCode});
        db.exec(course, {"002", "002", kZhao});
        exam = defineExam("001", kNoPage, {"001", "002", "003", "009"}, 63);
    }

    // An exam of the grade with its subjects and every student as candidate.
    qint64 defineExam(const char *code, const QString &page, QStringList subjects, int modifyRight)
    {
        server::Database &db = fx.db();
        const qint64 id = db.insertReturningId(
            "INSERT INTO \"CJ_ExamTotal\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", \"ExamName\", \"aFullMark\", \"aExcelMark\", "
            "\"aGoodMark\", \"aPassMark\", \"aBadMark\", \"hasMain\", \"hasBase\", \"ModifyRight\", \"dDefDay\", \"dLimitDay\", \"Freeze\", \"Classes\") "
            "VALUES ('S1', '1701', 2026, ?, ?, ?, 348, 300, 250, 200, 100, ?, ?, ?, ?, ?, ?, 'ALL')",
            {code, page, QStringLiteral("期中考试"), db.toDb(true, wire::FieldType::Boolean), db.toDb(true, wire::FieldType::Boolean), modifyRight,
             db.toDb(QDate(2026, 11, 20), wire::FieldType::Date), db.toDb(QDate(2026, 12, 31), wire::FieldType::Date),
             db.toDb(false, wire::FieldType::Boolean)},
            "Id");
        const QString row = "INSERT INTO \"CJ_ExamSubject\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", \"SubjectCode\", \"Per\", "
                            "\"FullMark\", \"ExcelMark\", \"GoodMark\", \"PassMark\", \"BadMark\") VALUES ('S1', '1701', 2026, ?, ?, ?, 1, ?, ?, ?, ?, ?)";
        for (const QString &s : subjects) {
            const double full = s == u"003" ? 100 : s == u"009" ? 8 : 120;
            db.exec(row, {code, page, s, full, full * 0.9, full * 0.8, full * 0.6, full * 0.3});
        }
        for (int i = 0; i < 6; ++i)
            db.exec("INSERT INTO \"CJ_ExamStudent\" (\"examId\", \"StudentCode\", \"ClassCode\") VALUES (?, ?, ?)",
                    {id, QStringLiteral("{S%1}").arg(i), i < 3 ? "001" : "002"});
        return id;
    }
    void storeScore(int student, const char *subject, double score)
    {
        fx.db().exec("INSERT INTO \"CJ_Mark\" (\"examId\", \"StudentCode\", \"SubjectCode\", \"score\") VALUES (?, ?, ?, ?)",
                     {exam, QStringLiteral("{S%1}").arg(student), subject, score});
    }

    TfrmAchievePage *open(const QString &page = kNoPage, const char *subjects = "001;002;003;009", const char *flag = "Y", const char *examCode = "001")
    {
        auto *window = new QWidget;
        m_windows.emplace_back(window);
        new QVBoxLayout(window);
        const QString params = QStringLiteral("2026,1701,七年级,%1,,%2,%3,%4,2026级七年级.期中考试")
                                   .arg(QLatin1String(flag), QLatin1String(subjects), QLatin1String(examCode), page);
        const qint32 handle = ShowAchievePage(window, window, params.toUtf8().constData());
        auto *p = qobject_cast<TfrmAchievePage *>(PageRegistry::instance().page(handle));
        if (p) {
            window->resize(1400, 700);
            window->show();
        }
        return p;
    }
    // Types a value into a cell of the sheet the way a teacher does: the editor, the text, Enter.
    void type(TfrmAchievePage &p, const char *student, const char *field, const QString &text)
    {
        BandedGrid &g = *p.GridData;
        const int column = g.columnOfField(QString::fromLatin1(field));
        // The grid shows the sheet's rows in the table's order.
        int row = -1;
        for (qsizetype r = 0; r < p.cdsData->recordCount(); ++r)
            if (p.cdsData->valueAt(r, p.cdsData->fieldIndex(u"sCode")).toString() == QLatin1String(student)) row = int(r);
        ASSERT_GE(row, 0) << student;
        ASSERT_TRUE(g.editCell(row, column)) << field;
        auto *box = qobject_cast<QDoubleSpinBox *>(g.activeEditor());
        ASSERT_NE(box, nullptr);
        box->selectAll();
        QKeyEvent typed(QEvent::KeyPress, 0, Qt::NoModifier, text);
        QApplication::sendEvent(box, &typed);
        QTest::keyClick(box, Qt::Key_Return);
    }
    QVariant cell(TfrmAchievePage &p, const char *student, const char *field)
    {
        DataSet &d = *p.cdsData;
        for (qsizetype r = 0; r < d.recordCount(); ++r)
            if (d.valueAt(r, d.fieldIndex(u"sCode")).toString() == QLatin1String(student)) return d.valueAt(r, d.fieldIndex(QString::fromLatin1(field)));
        return QStringLiteral("<no row>");
    }
    QVariant stored(int student, const char *subject)
    {
        return fx.db().scalar("SELECT \"score\" FROM \"CJ_Mark\" WHERE \"examId\" = ? AND \"StudentCode\" = ? AND \"SubjectCode\" = ?",
                              {exam, QStringLiteral("{S%1}").arg(student), subject});
    }
    qint64 count(const char *sql) { return fx.db().scalar(QString::fromUtf8(sql)).toLongLong(); }

    qint64 exam = 0;
    std::vector<std::unique_ptr<QWidget>> m_windows;
    QTemporaryDir m_app;
};

} // namespace lumeko::achieve::testing
