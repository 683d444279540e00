#pragma once
// The analysis suites' school: the worked example of docs/statistics.md as three exams of one
// grade. 七年级 (1701, intake 2026) has 一班 and 二班 in 本部 and 三班 in 分校, 语文 and 数学; the
// mid-term (001) holds the example's 数学 scores, the final (002) and a monthly test (003) simpler
// ones, so that every figure below is worked out by hand:
//
//   数学       一班 (S01–S06)            二班 (S07–S10)     三班 (S11–S14)
//   期中 001   100, 90, 80, 60, 0, —     85, 75, 60, 45     95, 70, 30, —     averages 66, 66.25, 65; grade 65.83
//   期末 002   80 × 5, —                 70 × 4             90 × 3, —         averages 80, 70, 90; grade 950/12 = 79.17
//   月考 003   85 × 5, —                 60 × 4             —                 averages 85, 60, none; grade 665/9 = 73.89
//
// 语文 is 50 for every student with a 数学 score above 0, in every exam. 张老师 heads 一班 and
// teaches its 数学 and 三班's; 李老师 heads 二班 and teaches its 数学; 王老师 teaches 三班's 语文.
// S06 is a 借读生.

#include "analysisorganisation.h"
#include "domain/scoring.h"
#include "fixtureschool.h"
#include "framework/lumekoachieve.h"
#include "framework/modalrun.h"
#include "framework/pagehosting.h"
#include "server/core/auth.h"
#include "server/seed/seed.h"
#include "signedinhost.h"

#include <QDialog>
#include <QTemporaryDir>
#include <QVBoxLayout>

#include <functional>

namespace lumeko::achieve::testing {

inline const QString kNoPage = QStringLiteral("⊥");
using server::testing::kLi;
using server::testing::kZhang;

class AnalysisTest : public pub::testing::SignedInHost {
protected:
    using SignedInHost::SignedInHost;

    void SetUp() override
    {
        SignedInHost::SetUp();
        if (IsSkipped()) return;
        host.appPathValue = m_app.path() + u'/';
        server::Database &db = fx.db();
        // The reference data: the rights tree (成绩录入 4011 for every teacher), the score sheet's
        // column definitions.
        server::seedSystemData(db);
        server::testing::seedAnalysisOrganisation(db, true);

        const QString student = "INSERT INTO \"XJ_Student\" (\"sCode\", \"SchoolCode\", \"GradeCode\", \"InYear\", \"ClassCode\", \"iClassNo\", "
                                "\"sName\", \"iState\", \"sType\") VALUES (?, 'S1', '1701', 2026, ?, ?, ?, '00', ?)";
        for (int i = 0; i < 14; ++i)
            db.exec(student,
                    {studentCode(i), classOf(i), i + 1, QStringLiteral("学生%1").arg(i + 1), i == 5 ? QStringLiteral("借读生") : QStringLiteral("统招生")});
        const QVariant none;
        exams[0] = defineExam("001", QStringLiteral("期中考试"), "2026-11-10", {100, 90, 80, 60, 0, none, 85, 75, 60, 45, 95, 70, 30, none});
        exams[1] = defineExam("002", QStringLiteral("期末考试"), "2027-01-15", {80, 80, 80, 80, 80, none, 70, 70, 70, 70, 90, 90, 90, none});
        exams[2] = defineExam("003", QStringLiteral("三月月考"), "2027-03-20", {85, 85, 85, 85, 85, none, 60, 60, 60, 60, none, none, none, none});
    }

    static QString studentCode(int i) { return QStringLiteral("{S%1}").arg(i + 1, 2, 10, QLatin1Char('0')); }
    static QString classOf(int i) { return i < 6 ? QStringLiteral("001") : i < 10 ? QStringLiteral("002") : QStringLiteral("003"); }

    qint64 defineExam(const char *code, const QString &name, const char *day, const QVariantList &maths)
    {
        server::Database &db = fx.db();
        const qint64 id = db.insertReturningId(
            "INSERT INTO \"CJ_ExamTotal\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", \"ExamName\", "
            "\"aFullMark\", \"aExcelMark\", \"aGoodMark\", \"aPassMark\", \"aBadMark\", \"aHighMark\", \"aDistanceMark\", \"aLowMark\", "
            "\"hasMain\", \"hasBase\", \"ModifyRight\", \"Freeze\", \"dDefDay\") "
            "VALUES ('S1', '1701', 2026, ?, ?, ?, 200, 180, 160, 120, 60, 180, 20, 60, ?, ?, 63, ?, ?)",
            {code, kNoPage, name, db.toDb(false, wire::FieldType::Boolean), db.toDb(false, wire::FieldType::Boolean), db.toDb(false, wire::FieldType::Boolean),
             db.toDb(QDate::fromString(QString::fromLatin1(day), Qt::ISODate), wire::FieldType::Date)},
            "Id");
        const QString examSubject =
            "INSERT INTO \"CJ_ExamSubject\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", "
            "\"SubjectCode\", \"Per\", \"FullMark\", \"ExcelMark\", \"GoodMark\", \"PassMark\", \"BadMark\", \"HighMark\", "
            "\"DistanceMark\", \"LowMark\", \"B2\", \"B3\") VALUES ('S1', '1701', 2026, ?, ?, ?, 1, 100, 90, 80, ?, 30, 90, 10, 30, ?, ?)";
        db.exec(examSubject, {code, kNoPage, "001", 50, QVariant(), QVariant()});
        db.exec(examSubject, {code, kNoPage, "002", 60, 70, 75});
        db.exec("INSERT INTO \"CJ_ExamGradePer\" (\"examId\", \"sArea\", \"APer\", \"BPer\", \"CPer\", \"DPer\", \"EPer\") VALUES (?, '', 30, 30, 20, 10, 10)",
                {id});
        // The grade ranks of 数学 as the score sheet stores them (the mid-term's: 100 first, 95, 90,
        // 85, 80, 75, 70, the two 60s eighth, 45 tenth, 30, 0).
        QList<domain::Score> scores;
        for (const QVariant &m : maths)
            scores << (m.isNull() ? domain::Score() : domain::Score(m.toDouble()));
        const QList<std::optional<int>> ranks = domain::competitionRanks(scores);
        const QString mark = "INSERT INTO \"CJ_Mark\" (\"examId\", \"StudentCode\", \"SubjectCode\", \"score\", \"gradeOrder\") VALUES (?, ?, ?, ?, ?)";
        for (int i = 0; i < 14; ++i) {
            db.exec("INSERT INTO \"CJ_ExamStudent\" (\"examId\", \"StudentCode\", \"ClassCode\") VALUES (?, ?, ?)", {id, studentCode(i), classOf(i)});
            if (maths[i].isNull()) continue;
            db.exec(mark, {id, studentCode(i), "002", maths[i], ranks[i] ? QVariant(*ranks[i]) : QVariant()});
            if (maths[i].toInt() > 0) db.exec(mark, {id, studentCode(i), "001", 50, QVariant()});
        }
        return id;
    }

    // The parameter text the score page hands an analysis of one exam: its nine items, and the
    // ticked subjects as a tenth when there are some.
    static QByteArray examParams(const char *examCode, const char *name, const char *ticked = nullptr)
    {
        QString p = QStringLiteral("2026,1701,七年级,Y,,001;002,%1,⊥,2026级七年级.%2").arg(QLatin1String(examCode), QString::fromUtf8(name));
        if (ticked) p += u',' + QString::fromLatin1(ticked);
        return p.toUtf8();
    }

    // Runs an export whose dialog `drive` operates like the teacher (the dialog's modal loop is
    // replaced); answers the export's result.
    template <class Dialog> qint32 through(const std::function<qint32()> &run, const std::function<void(Dialog &)> &drive)
    {
        bool ran = false;
        setModalRunner([&](QDialog &d) {
            auto &dialog = dynamic_cast<Dialog &>(d);
            dialog.show();
            drive(dialog);
            ran = true;
            const int result = dialog.result();
            dialog.hide();
            return result;
        });
        const qint32 handle = run();
        setModalRunner({});
        EXPECT_TRUE(ran) << "the dialog was not shown";
        return handle;
    }

    // A host window for a page to sit in.
    QWidget *hostWindow()
    {
        auto *window = new QWidget;
        m_windows.emplace_back(window);
        new QVBoxLayout(window);
        window->resize(1280, 720);
        return window;
    }

    QStringList operationLog()
    {
        const wire::DataPacket rows = fx.db().select("SELECT \"sText\" FROM \"XT_Log\" ORDER BY \"dTime\"", {}, {{"sText", wire::FieldType::Text, 0, 0}});
        QStringList out;
        for (qsizetype r = 0; r < rows.rowCount(); ++r)
            out << rows.value(r, 0).toString();
        return out;
    }

    qint64 exams[3] = {0, 0, 0};
    std::vector<std::unique_ptr<QWidget>> m_windows;
    QTemporaryDir m_app;
};

} // namespace lumeko::achieve::testing
