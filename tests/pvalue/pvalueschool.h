#pragma once
// The P-value suites' exam: the worked example of docs/statistics.md ("P value") added to the
// fixture school S1. 九年级 (1901) of the intake 2024 sits its final (期末考试, exam code 002) in
// 语文 (001) and 数学 (002), full mark 100 (优秀 90, 及格 60, 合格 30), 物理 (004) and 化学 (005),
// full mark 50 (优秀 45, 及格 30, 合格 15), and 音乐 (011, full mark 50, no scores); the grade
// also teaches 英语 (003), which the exam leaves out.
//
//   student  class  type    state      语文 数学 物理 化学
//   P01      一班   统招生  04 毕业     95   92   48   40
//   P02      一班   统招生  04 毕业     80   55   35   20
//   P03      一班   统招生  00 在读     60   60   20   45
//   P04      二班   统招生  00 在读     20   30   10   —
//   P05      二班   统招生  01 休学     —    —    —    —
//   P06      二班   统招生  03 退学     (a candidate, no scores)
//   P07      二班   统招生  03 退学     (left before the exam: not a candidate)
//   P08      一班   统招生  02 转出     70   70   30   30
//   P09      二班   借读生  00 在读     100  100  50   50
//   P10      (高一 2101 of the same intake, 退学: another stage)
//   P11      (八年级 1801 of the intake 2025, 退学: another intake)

#include "fixtureschool.h"

#include <QString>

namespace lumeko::pvalue::testing {

inline const QString kNoPage = QStringLiteral("⊥");

// The record's default formulas as the dialog stores them for three all-subject entries.
inline const QString kStoredP1 = QStringLiteral(
    "(([nTotals]/([nMastNums]+[nLeaveNums]))/[nFullTotal6]*0.2+[nPass6Nums]/([nMastNums]+[nLeaveNums])*0.2+[nPass10Nums]/([nMastNums]+[nLeaveNums])*0.1+"
    "[nPass10TotalNums]/(3*([nMastNums]+[nLeaveNums]))*0.2+[nExcel6Nums]/([nMastNums]+[nLeaveNums])*0.1)");
inline const QString kStoredP = QStringLiteral("([NP1]+[nDYValue]*0.1+[nTWYSJYValue]*0.1)*[nGGPre3]*100+[nRangeValue]");

// Adds the grade, its subjects and classes, the exam and its students; answers the exam's Id.
inline qint64 seedFinalExam(server::Database &db)
{
    db.exec("INSERT INTO \"XJ_Grade\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"sYear\", \"bCurGrade\") VALUES ('S1', 2024, '1901', ?, 'Y')",
            {QStringLiteral("2026~2027学年")});
    for (const char *klass : {"001", "002"})
        db.exec("INSERT INTO \"XJ_GradeClass\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"ClassCode\") VALUES ('S1', 2024, '1901', ?)", {klass});
    const struct {
        const char *code, *name;
        bool inExam;
        QVariant full, excel, pass, bad;
    } subjects[] = {{"001", "语文", true, 100, 90, 60, 30}, {"002", "数学", true, 100, 90, 60, 30}, {"003", "英语", false, 100, 90, 60, 30},
                    {"004", "物理", true, 50, 45, 30, 15},  {"005", "化学", true, 50, 45, 30, 15},  {"011", "音乐", true, 50, 45, 30, 15}};
    for (const auto &s : subjects) {
        db.exec("INSERT INTO \"XJ_Subject\" (\"SchoolCode\", \"SubjectCode\", \"SubjectName\") VALUES ('S1', ?, ?)", {s.code, QString::fromUtf8(s.name)});
        db.exec("INSERT INTO \"XJ_GradeSubject\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"SubjectCode\", \"SubjectType\", \"FullMark\") "
                "VALUES ('S1', 2024, '1901', ?, ?, ?)",
                {s.code, s.full.toInt() == 100 ? 0 : 1, s.full});
    }
    const QVariant no = db.toDb(false, wire::FieldType::Boolean), yes = db.toDb(true, wire::FieldType::Boolean);
    const qint64 exam = db.insertReturningId(
        "INSERT INTO \"CJ_ExamTotal\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", \"ExamName\", \"aFullMark\", "
        "\"hasMain\", \"hasBase\", \"ModifyRight\", \"Freeze\", \"Classes\") VALUES ('S1', '1901', 2024, '002', ?, ?, 350, ?, ?, 63, ?, 'ALL')",
        {kNoPage, QStringLiteral("期末考试"), yes, yes, no}, "Id");
    for (const auto &s : subjects) {
        if (!s.inExam) continue;
        db.exec("INSERT INTO \"CJ_ExamSubject\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", \"SubjectCode\", \"ExamName\", "
                "\"Per\", \"ModifyRight\", \"FullMark\", \"ExcelMark\", \"GoodMark\", \"PassMark\", \"BadMark\", \"HighMark\", \"LowMark\", \"DistanceMark\") "
                "VALUES ('S1', '1901', 2024, '002', ?, ?, ?, 1, 33, ?, ?, ?, ?, ?, ?, 10, 10)",
                {kNoPage, s.code, QStringLiteral("期末考试"), s.full, s.excel, s.excel.toDouble() - 5, s.pass, s.bad, s.full.toDouble() - 10});
    }

    const QVariant none;
    const struct {
        const char *code, *klass, *type, *state, *grade;
        int inYear;
        bool candidate;
        QVariant scores[4];
    } students[] = {{"{P01}", "001", "统招生", "04", "1901", 2024, true, {95, 92, 48, 40}},
                    {"{P02}", "001", "统招生", "04", "1901", 2024, true, {80, 55, 35, 20}},
                    {"{P03}", "001", "统招生", "00", "1901", 2024, true, {60, 60, 20, 45}},
                    {"{P04}", "002", "统招生", "00", "1901", 2024, true, {20, 30, 10, none}},
                    {"{P05}", "002", "统招生", "01", "1901", 2024, true, {none, none, none, none}},
                    {"{P06}", "002", "统招生", "03", "1901", 2024, true, {none, none, none, none}},
                    {"{P07}", "002", "统招生", "03", "1901", 2024, false, {none, none, none, none}},
                    {"{P08}", "001", "统招生", "02", "1901", 2024, true, {70, 70, 30, 30}},
                    {"{P09}", "002", "借读生", "00", "1901", 2024, true, {100, 100, 50, 50}},
                    {"{P10}", "001", "统招生", "03", "2101", 2024, false, {none, none, none, none}},
                    {"{P11}", "001", "统招生", "03", "1801", 2025, false, {none, none, none, none}}};
    const char *const scored[] = {"001", "002", "004", "005"};
    int seat = 0;
    for (const auto &s : students) {
        db.exec(
            "INSERT INTO \"XJ_Student\" (\"sCode\", \"SchoolCode\", \"GradeCode\", \"InYear\", \"ClassCode\", \"iClassNo\", \"sName\", \"iState\", \"sType\") "
            "VALUES (?, 'S1', ?, ?, ?, ?, ?, ?, ?)",
            {s.code, s.grade, s.inYear, s.klass, ++seat, QStringLiteral("学生%1").arg(seat), s.state, QString::fromUtf8(s.type)});
        if (!s.candidate) continue;
        db.exec("INSERT INTO \"CJ_ExamStudent\" (\"examId\", \"StudentCode\", \"ClassCode\") VALUES (?, ?, ?)", {exam, s.code, s.klass});
        for (int k = 0; k < 4; ++k)
            if (!s.scores[k].isNull())
                db.exec("INSERT INTO \"CJ_Mark\" (\"examId\", \"StudentCode\", \"SubjectCode\", \"score\") VALUES (?, ?, ?, ?)",
                        {exam, s.code, scored[k], s.scores[k]});
    }
    return exam;
}

// The rights of the P-value page: the page (4032) and its computing key (403201).
inline void seedPValueRights(server::Database &db)
{
    const QString fn = "INSERT INTO \"XT_Function\" (\"sFunId\", \"sParFunId\", \"sFunKey\", \"sFunName\", \"iOrder\") VALUES (?, ?, ?, ?, ?)";
    db.exec(fn, {"4032", "40", QVariant(), QStringLiteral("P值"), 40});
    db.exec(fn, {"403201", "4032", "Manager", QStringLiteral("计算P值"), 41});
}

} // namespace lumeko::pvalue::testing
