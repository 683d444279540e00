// AchieveQry.QExamSum on both back ends, over the worked example of docs/statistics.md stored as
// an exam: the distribution, the class, subject and teacher comparisons through the settings
// texts the dialogs send, the student filter and the range, the column definitions that come
// back, and every refusal as a message.

#include "analysisorganisation.h"
#include "fixtureschool.h"
#include "server/core/auth.h"
#include "server/storage/schema.h"

#include <gtest/gtest.h>

using namespace lumeko;
using namespace lumeko::server;
using namespace lumeko::server::testing;
using wire::ErrorCode;
using wire::RowStatus;

namespace {

const QString kNoPage = QStringLiteral("⊥");

// A result: the definitions and the rows, looked up by field name and by the row's first cells.
struct Answer {
    wire::Reply reply;
    wire::DataPacket defs, rows;

    int field(const QString &name) const { return rows.fieldIndex(name); }
    QStringList fieldNames() const
    {
        QStringList out;
        for (const wire::FieldDef &f : rows.fields())
            out << f.name;
        return out;
    }
    // The row whose first cells are `keys`.
    qsizetype rowOf(const QStringList &keys) const
    {
        for (qsizetype r = 0; r < rows.rowCount(); ++r) {
            bool all = true;
            for (int k = 0; k < keys.size(); ++k)
                all = all && rows.value(r, k).toString() == keys[k];
            if (all) return r;
        }
        return -1;
    }
    QVariant at(const QStringList &keys, const QString &fieldName) const
    {
        const qsizetype r = rowOf(keys);
        EXPECT_GE(r, 0) << keys.join(u'/').toStdString();
        EXPECT_GE(field(fieldName), 0) << fieldName.toStdString();
        return r < 0 || field(fieldName) < 0 ? QVariant() : rows.value(r, field(fieldName));
    }
    // The definition row of a field: caption, type, shown.
    QStringList definition(const QString &name) const
    {
        for (qsizetype r = 0; r < defs.rowCount(); ++r)
            if (defs.value(r, defs.fieldIndex(u"sFldName")).toString() == name)
                return {defs.value(r, defs.fieldIndex(u"sFldCaption")).toString(), defs.value(r, defs.fieldIndex(u"sFieldType")).toString(),
                        defs.value(r, defs.fieldIndex(u"bShowed")).toBool() ? QStringLiteral("shown") : QStringLiteral("hidden")};
        return {};
    }
};

class ExamSumTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override
    {
        LUMEKO_REQUIRE_BACKEND(GetParam());
        fx = std::make_unique<ServiceFixture>(GetParam());
        Database &db = fx->db();
        const QString fn = "INSERT INTO \"XT_Function\" (\"sFunId\", \"sParFunId\", \"sFunKey\", \"sFunName\", \"iOrder\") VALUES (?, ?, ?, ?, ?)";
        db.exec(fn, {"4011", "40", QVariant(), QStringLiteral("成绩录入"), 20});
        db.exec(fn, {"401101", "4011", "ViewTotal", QStringLiteral("查看总分"), 21});
        db.exec("INSERT INTO \"XT_RoleRight\" (\"iRole\", \"sFunId\") VALUES (6, '4011')");
        // Three classes in two branches with head teachers, 语文 and 数学, who teaches them.
        seedAnalysisOrganisation(db, true);

        // The mid-term with both subjects; its main total is kept, its base total is not.
        exam = db.insertReturningId(
            "INSERT INTO \"CJ_ExamTotal\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", \"ExamName\", "
            "\"aFullMark\", \"aExcelMark\", \"aGoodMark\", \"aPassMark\", \"aBadMark\", \"aHighMark\", \"aDistanceMark\", \"aLowMark\", "
            "\"mFullMark\", \"mExcelMark\", \"mGoodMark\", \"mPassMark\", \"mBadMark\", \"mHighMark\", \"mDistanceMark\", \"mLowMark\", "
            "\"hasMain\", \"hasBase\", \"ModifyRight\", \"Freeze\") "
            "VALUES ('S1', '1701', 2026, '001', ?, ?, 200, 180, 160, 120, 60, 180, 20, 60, 200, 180, 160, 120, 60, 180, 20, 60, ?, ?, 63, ?)",
            {kNoPage, QStringLiteral("期中考试"), db.toDb(true, wire::FieldType::Boolean), db.toDb(false, wire::FieldType::Boolean),
             db.toDb(false, wire::FieldType::Boolean)},
            "Id");
        const QString examSubject =
            "INSERT INTO \"CJ_ExamSubject\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", "
            "\"SubjectCode\", \"Per\", \"FullMark\", \"ExcelMark\", \"GoodMark\", \"PassMark\", \"BadMark\", \"HighMark\", "
            "\"DistanceMark\", \"LowMark\", \"B2\", \"B3\") VALUES ('S1', '1701', 2026, '001', ?, ?, 1, 100, 90, 80, ?, 30, 90, 10, 30, ?, ?)";
        db.exec(examSubject, {kNoPage, "001", 50, QVariant(), QVariant()});
        db.exec(examSubject, {kNoPage, "002", 60, 70, 75});
        db.exec("INSERT INTO \"CJ_ExamGradePer\" (\"examId\", \"sArea\", \"APer\", \"BPer\", \"CPer\", \"DPer\", \"EPer\") VALUES (?, '', 30, 30, 20, 10, 10)",
                {exam});

        // 一班 100, 90, 80, 60, 0, —; 二班 85, 75, 60, 45; 三班 95, 70, 30, — in 数学; 语文 50 for
        // every student with a 数学 score above 0. S06 is a 借读生, the others 统招生.
        const QString student = "INSERT INTO \"XJ_Student\" (\"sCode\", \"SchoolCode\", \"GradeCode\", \"InYear\", \"ClassCode\", \"iClassNo\", "
                                "\"sName\", \"iState\", \"sType\") VALUES (?, 'S1', '1701', 2026, ?, ?, ?, '00', ?)";
        const struct {
            const char *klass;
            QVariant maths;
        } rows[] = {{"001", 100}, {"001", 90}, {"001", 80}, {"001", 60}, {"001", 0},  {"001", QVariant()}, {"002", 85},
                    {"002", 75},  {"002", 60}, {"002", 45}, {"003", 95}, {"003", 70}, {"003", 30},         {"003", QVariant()}};
        for (int i = 0; i < 14; ++i) {
            const QString code = QStringLiteral("{S%1}").arg(i + 1, 2, 10, QLatin1Char('0'));
            db.exec(student, {code, rows[i].klass, i + 1, QStringLiteral("学生%1").arg(i + 1), i == 5 ? QStringLiteral("借读生") : QStringLiteral("统招生")});
            db.exec("INSERT INTO \"CJ_ExamStudent\" (\"examId\", \"StudentCode\", \"ClassCode\") VALUES (?, ?, ?)", {exam, code, rows[i].klass});
            const QString mark = "INSERT INTO \"CJ_Mark\" (\"examId\", \"StudentCode\", \"SubjectCode\", \"score\") VALUES (?, ?, ?, ?)";
            if (rows[i].maths.isNull()) continue;
            db.exec(mark, {exam, code, "002", rows[i].maths});
            if (rows[i].maths.toInt() > 0) db.exec(mark, {exam, code, "001", 50});
        }
        admin = fx->signIn("admin", "lumeko");
        // The totals and ranks the score page asks for after a save.
        const wire::Reply order = fx->call(
            "AchieveUp", "UpExamOrder",
            {txt("S1"), txt("1701"), txt("001"), ref(kNoPage), ref(QStringLiteral("FULLTOTAL,FULLORDER,MAINTOTAL,MAINORDER")), ref(qint64(2026))}, admin);
        ASSERT_TRUE(order.ok()) << order.message.toStdString();
    }

    Answer sum(int kind, const QString &settings, const QVariant &filter = QString(), const QString &token = {})
    {
        Answer a;
        const wire::Value filterValue = filter.isNull() ? wire::Value() : wire::Value(filter.toString());
        a.reply =
            fx->call("AchieveQry", "QExamSum",
                     {txt("S1"), txt("1701"), txt("001"), ref(kNoPage), txt("1"), ref(qint64(2026)), ref(qint64(kind)), ref(settings), ref(filterValue), ref()},
                     token.isEmpty() ? admin : token);
        if (!a.reply.ok()) return a;
        a.defs = std::get<wire::DataPacket>(a.reply.refs[8]);
        a.rows = std::get<wire::DataPacket>(a.reply.refs[9]);
        return a;
    }

    std::unique_ptr<ServiceFixture> fx;
    qint64 exam = 0;
    QString admin;
};

// ---- kind 0 ----------------------------------------------------------------------------------------

TEST_P(ExamSumTest, DistributionOfASubjectGivesTheWorkedExampleByClassBranchAndGrade)
{
    const Answer a = sum(0, "11111111111,3-8,2-4;002;ALL");
    ASSERT_TRUE(a.reply.ok()) << a.reply.message.toStdString();
    EXPECT_EQ(a.fieldNames(), QStringList({"sName", "nStudents", "nScored",  "sTeacher", "Band1",  "Band2",   "Band3",   "Band4",     "Band5",   "Band6",
                                           "Band7", "Band8",     "nAverage", "nStdDev",  "nExcel", "rExcel",  "nGood",   "rGood",     "nPass",   "rPass",
                                           "nBad",  "rBad",      "nLow",     "rLow",     "nMax",   "nMin",    "nSpread", "nFull",     "nA",      "nB",
                                           "nC",    "nD",        "nE",       "Top1",     "Top2",   "Bottom1", "Bottom2", "ClassCode", "iRowType"}));
    EXPECT_EQ(a.definition("Band1"), QStringList({"100~90", "I", "shown"}));
    EXPECT_EQ(a.definition("Band8"), QStringList({"30~0", "I", "shown"}));
    EXPECT_EQ(a.definition("rExcel"), QStringList({"优秀率", "F", "shown"}));
    EXPECT_EQ(a.definition("Top2"), QStringList({"前8名", "I", "shown"}));
    EXPECT_EQ(a.definition("Bottom1"), QStringList({"后2名", "I", "shown"}));
    EXPECT_EQ(a.definition("ClassCode"), QStringList({"班级代码", "W", "hidden"}));
    EXPECT_EQ(a.defs.rowCount(), a.rows.fields().size());

    QStringList names;
    for (qsizetype r = 0; r < a.rows.rowCount(); ++r)
        names << a.rows.value(r, 0).toString();
    EXPECT_EQ(names, QStringList({"一班", "二班", "三班", "分校", "本部", "年级"}));

    const QStringList one{"一班"};
    EXPECT_EQ(a.at(one, "nStudents").toInt(), 6);
    EXPECT_EQ(a.at(one, "nScored").toInt(), 5);
    EXPECT_EQ(a.at(one, "sTeacher").toString(), "张老师");
    QList<int> bands;
    for (int b = 1; b <= 8; ++b)
        bands << a.at(one, QStringLiteral("Band%1").arg(b)).toInt();
    EXPECT_EQ(bands, QList<int>({2, 1, 0, 1, 0, 0, 0, 1})) << "90 on HighMark is in 100~90, 80 on an edge in 90~80";
    EXPECT_EQ(a.at(one, "nAverage").toDouble(), 66);
    EXPECT_EQ(a.at(one, "nStdDev").toDouble(), 35.55);
    EXPECT_EQ(a.at(one, "rGood").toDouble(), 60);
    EXPECT_EQ(a.at(one, "nLow").toInt(), 1);
    EXPECT_EQ(a.at(one, "rLow").toDouble(), 20);
    EXPECT_EQ(a.at(one, "nMin").toDouble(), 0) << "a zero is a score";
    EXPECT_EQ(a.at(one, "nSpread").toDouble(), 100);
    EXPECT_EQ(a.at(one, "nFull").toInt(), 1);
    EXPECT_EQ(a.at(one, "nA").toInt(), 2);
    EXPECT_EQ(a.at(one, "nE").toInt(), 1);
    EXPECT_EQ(a.at(one, "Top1").toInt(), 2);
    EXPECT_EQ(a.at(one, "Top2").toInt(), 4);
    EXPECT_EQ(a.at(one, "Bottom2").toInt(), 2);
    EXPECT_EQ(a.at(one, "ClassCode").toString(), "001");

    const QStringList three{"三班"};
    EXPECT_EQ(a.at(three, "Band7").toInt(), 1) << "30 on LowMark is in 40~30";
    EXPECT_EQ(a.at(three, "nBad").toInt(), 3);
    EXPECT_TRUE(a.at(three, "sTeacher").toString().isEmpty());

    const QStringList grade{"年级"};
    EXPECT_EQ(a.at(grade, "nStudents").toInt(), 14);
    EXPECT_EQ(a.at(grade, "nScored").toInt(), 12);
    EXPECT_EQ(a.at(grade, "nAverage").toDouble(), 65.83);
    EXPECT_EQ(a.at(grade, "rGood").toDouble(), 41.67);
    EXPECT_EQ(a.at(grade, "rBad").toDouble(), 91.67);
    EXPECT_EQ(a.at(grade, "nA").toInt(), 4);
    EXPECT_EQ(a.at(grade, "nB").toInt(), 5);
    EXPECT_EQ(a.at(grade, "Top2").toInt(), 9) << "the two 60s share rank 8";
    EXPECT_EQ(a.at(grade, "iRowType").toInt(), 2);
    EXPECT_EQ(a.at({"本部"}, "nAverage").toDouble(), 66.11);
    EXPECT_EQ(a.at({"本部"}, "iRowType").toInt(), 1);
}

TEST_P(ExamSumTest, DistributionSettingsTextsLayersTypesAndTheUntickedItems)
{
    // The dialog's layers 30, 0, 90 arrive as "30-90"; with 12 scored students both hold everybody.
    const Answer layers = sum(0, "11111111110,30-90,;002;ALL");
    ASSERT_TRUE(layers.reply.ok()) << layers.reply.message.toStdString();
    EXPECT_EQ(layers.definition("Top1"), QStringList({"前30名", "I", "shown"}));
    EXPECT_EQ(layers.definition("Top2"), QStringList({"前90名", "I", "shown"}));
    EXPECT_LT(layers.field("nA"), 0) << "AE等级 unticked";
    EXPECT_LT(layers.field("Bottom1"), 0);
    EXPECT_EQ(layers.at({"二班"}, "Top1").toInt(), 4);

    // Every type listed is the same as ALL; one type leaves the 借读生 out.
    const Answer all = sum(0, "11111111110;002;ALL");
    const Answer both = sum(0, "11111111110;002;统招生,借读生");
    ASSERT_TRUE(all.reply.ok() && both.reply.ok()) << both.reply.message.toStdString();
    EXPECT_EQ(all.rows, both.rows);
    const Answer regular = sum(0, "11111111110;002;统招生");
    ASSERT_TRUE(regular.reply.ok());
    EXPECT_EQ(regular.at({"一班"}, "nStudents").toInt(), 5);
    EXPECT_EQ(regular.at({"一班"}, "nScored").toInt(), 5);

    // Only the average and the count: the bands are always there, nothing else.
    const Answer few = sum(0, "10000001000;002;ALL");
    ASSERT_TRUE(few.reply.ok());
    EXPECT_EQ(few.fieldNames().mid(0, 4), QStringList({"sName", "nStudents", "nScored", "Band1"}));
    EXPECT_EQ(few.fieldNames().mid(11), QStringList({"nAverage", "nStdDev", "ClassCode", "iRowType"}));
}

TEST_P(ExamSumTest, DistributionOfATotalAndTheStudentFilter)
{
    const Answer total = sum(0, "11111111110;FUL;ALL");
    ASSERT_TRUE(total.reply.ok()) << total.reply.message.toStdString();
    // 全总分 = 数学 + 50 where 语文 was written: 150, 140, 130, 110, 0 in 一班.
    EXPECT_EQ(total.at({"一班"}, "nAverage").toDouble(), 106);
    EXPECT_EQ(total.at({"一班"}, "nScored").toInt(), 5);
    EXPECT_EQ(total.at({"年级"}, "nAverage").toDouble(), 111.67);
    EXPECT_EQ(total.definition("Band1").value(0), "200~180");

    // The class filter, then the page's unticked students.
    const Answer classes = sum(0, "11111111110;002;ALL", "001,002;");
    ASSERT_TRUE(classes.reply.ok()) << classes.reply.message.toStdString();
    EXPECT_EQ(classes.rowOf({"三班"}), -1);
    EXPECT_EQ(classes.rowOf({"分校"}), -1) << "one branch left: no branch rows";
    EXPECT_EQ(classes.at({"年级"}, "nScored").toInt(), 9);
    EXPECT_EQ(classes.at({"年级"}, "nAverage").toDouble(), 66.11);
    const Answer picked = sum(0, "11111111110;002;ALL", "001;{S01},{S05}");
    ASSERT_TRUE(picked.reply.ok()) << picked.reply.message.toStdString();
    EXPECT_EQ(picked.rows.rowCount(), 2);
    EXPECT_EQ(picked.at({"一班"}, "nStudents").toInt(), 4);
    EXPECT_EQ(picked.at({"一班"}, "nAverage").toDouble(), 76.67) << "90, 80, 60";
    const Answer codesOnly = sum(0, "11111111110;002;ALL", "{S05},{S11}");
    ASSERT_TRUE(codesOnly.reply.ok());
    EXPECT_EQ(codesOnly.at({"年级"}, "nStudents").toInt(), 12);
    const Answer nullFilter = sum(0, "11111111110;002;ALL", QVariant());
    ASSERT_TRUE(nullFilter.reply.ok()) << nullFilter.reply.message.toStdString();
    EXPECT_EQ(nullFilter.at({"年级"}, "nStudents").toInt(), 14);
}

// ---- kinds 1 to 3 ----------------------------------------------------------------------------------

TEST_P(ExamSumTest, ClassComparisonOfASubjectAndTheTotals)
{
    const Answer a = sum(1, "111111111111100000111;统招生,借读生;002,FUL,MAI,BAS");
    ASSERT_TRUE(a.reply.ok()) << a.reply.message.toStdString();
    EXPECT_EQ(a.fieldNames(), QStringList({"sSubject", "sName", "ExamName", "Class_001", "Class_002", "Class_003", "Branch_1", "Branch_2", "Grade"}));
    EXPECT_EQ(a.definition("Class_002"), QStringList({"二班", "W", "shown"}));
    EXPECT_EQ(a.definition("Branch_1"), QStringList({"分校", "W", "shown"}));
    EXPECT_EQ(a.definition("Grade"), QStringList({"年级", "W", "shown"}));

    const QString maths = QStringLiteral("数学"), exam = QStringLiteral("期中考试");
    EXPECT_EQ(a.at({maths, "平均分", exam}, "Class_001").toString(), "66");
    EXPECT_EQ(a.at({maths, "平均分", exam}, "Class_002").toString(), "66.25");
    EXPECT_EQ(a.at({maths, "平均分", exam}, "Grade").toString(), "65.83");
    EXPECT_EQ(a.at({maths, "平均分", exam}, "Branch_2").toString(), "66.11");
    EXPECT_EQ(a.at({maths, "标准差", exam}, "Class_003").toString(), "26.77");
    EXPECT_EQ(a.at({maths, "良好率", exam}, "Grade").toString(), "41.67");
    EXPECT_EQ(a.at({maths, "年级超均率", exam}, "Class_001").toString(), "0.25");
    EXPECT_EQ(a.at({maths, "年级超均率", exam}, "Class_003").toString(), "-1.27");
    EXPECT_TRUE(a.at({maths, "年级超均率", exam}, "Grade").isNull());
    EXPECT_EQ(a.at({maths, "分校超均率", exam}, "Class_001").toString(), "-0.17");
    EXPECT_EQ(a.at({maths, "县区超均率", exam}, "Class_001").toString(), "-5.71");
    EXPECT_EQ(a.at({maths, "县区超均率", exam}, "Grade").toString(), "-5.95");
    EXPECT_EQ(a.at({maths, "市超均率", exam}, "Class_001").toString(), "-12");
    EXPECT_EQ(a.at({maths, "任课老师", exam}, "Class_003").toString(), "张老师");
    EXPECT_EQ(a.at({maths, "任课老师", exam}, "Class_002").toString(), "李老师");
    EXPECT_EQ(a.at({maths, "人数", exam}, "Class_001").toString(), "6");
    EXPECT_EQ(a.at({maths, "实考人数", exam}, "Class_001").toString(), "5");
    EXPECT_EQ(a.at({maths, "均分排名", exam}, "Class_002").toString(), "1");
    EXPECT_EQ(a.at({maths, "均分排名", exam}, "Class_003").toString(), "3");
    EXPECT_EQ(a.at({maths, "分数极差", exam}, "Class_001").toString(), "100");

    // The totals: 全总分 and 主总分 (kept), no 基总分 (the exam keeps none); a head teacher row.
    const QString full = QStringLiteral("全总分");
    EXPECT_EQ(a.at({full, "平均分", exam}, "Class_001").toString(), "106");
    EXPECT_EQ(a.at({full, "班主任", exam}, "Class_001").toString(), "张老师");
    EXPECT_TRUE(a.at({full, "县区超均率", exam}, "Class_001").isNull()) << "a total has no B2";
    EXPECT_GE(a.rowOf({QStringLiteral("主总分"), "平均分", exam}), 0);
    EXPECT_EQ(a.rowOf({QStringLiteral("基总分"), "平均分", exam}), -1);

    // Passing every subject: 语文 (PassMark 50) and 数学 (60).
    EXPECT_EQ(a.at({"全科", "全科及格率", exam}, "Class_001").toString(), "80");
    EXPECT_EQ(a.at({"全科", "全科及格人数", exam}, "Class_003").toString(), "2");
    EXPECT_EQ(a.at({"全科", "全科及格率", exam}, "Class_003").toString(), "66.67");
    EXPECT_EQ(a.at({"全科", "全科及格率", exam}, "Grade").toString(), "75");

    // Rows are unique by subject, item and exam, as the multi-exam page merges them.
    QSet<QString> keys;
    for (qsizetype r = 0; r < a.rows.rowCount(); ++r)
        keys.insert(a.rows.value(r, 0).toString() + u'|' + a.rows.value(r, 1).toString());
    EXPECT_EQ(keys.size(), a.rows.rowCount());
}

// 全科 counts the standings UpExamOrder stores with the totals; a changed score or pass mark
// leaves the standings it touches unknown, and until UpExamOrder runs again the analysis reads
// the scores: never a stale count.
TEST_P(ExamSumTest, TheAllSubjectRowsFollowEveryChangedScoreAndPassMark)
{
    const QString settings = QStringLiteral("000001000010000000000;统招生,借读生;002");
    const auto passed = [&](const char *column) {
        const Answer a = sum(1, settings);
        EXPECT_TRUE(a.reply.ok()) << a.reply.message.toStdString();
        return a.at({"全科", "全科及格人数", QStringLiteral("期中考试")}, column).toString();
    };
    const auto standings = [&](const char *where) {
        return fx->db()
            .scalar(QStringLiteral("SELECT count(*) FROM \"CJ_ExamStudent\" WHERE \"examId\" = ? AND %1").arg(QLatin1String(where)), {exam})
            .toLongLong();
    };
    const auto order = [&] {
        ASSERT_TRUE(fx->call("AchieveUp", "UpExamOrder",
                             {txt("S1"), txt("1701"), txt("001"), ref(kNoPage), ref(QStringLiteral("FULLTOTAL,FULLORDER")), ref(qint64(2026))}, admin)
                        .ok());
    };
    // Stored by the fixture's UpExamOrder: 9 passed every subject, 3 sat without, 2 sat nothing.
    EXPECT_EQ(standings("\"iAllPass\" = 2"), 9);
    EXPECT_EQ(standings("\"iAllPass\" = 1"), 3);
    EXPECT_EQ(standings("\"iAllPass\" = 0"), 2);
    EXPECT_EQ(passed("Class_001"), "4");
    // The stored standings are what is counted: one altered by hand shows.
    fx->db().exec("UPDATE \"CJ_ExamStudent\" SET \"iAllPass\" = 1 WHERE \"StudentCode\" = '{S02}'");
    EXPECT_EQ(passed("Class_001"), "3");
    order();
    EXPECT_EQ(passed("Class_001"), "4") << "UpExamOrder finds it again";

    // S01's 数学 goes from 100 to 40, below its pass mark of 60.
    const wire::Reply sheet =
        fx->call("AchieveQry", "QMark",
                 {txt("S1"), txt("1701"), txt("001"), ref(kNoPage), ref(QString()), ref(QStringLiteral("001;002")), ref(qint64(2026)), ref(), ref()}, admin);
    ASSERT_TRUE(sheet.ok()) << sheet.message.toStdString();
    const wire::DataPacket upload = std::get<wire::DataPacket>(sheet.refs[8]);
    qsizetype row = 0;
    while (row < upload.rowCount() && upload.value(row, upload.fieldIndex(u"StudentCode")).toString() != u"{S01}")
        ++row;
    ASSERT_LT(row, upload.rowCount());
    QVariantList now = upload.row(row);
    now[upload.fieldIndex(u"C_002")] = 40.0;
    const wire::ChangePacket change{upload.fields(), {{RowStatus::Modified, upload.row(row), now}}};
    const wire::Reply saved = fx->call("AchieveUp", "UpMark", {val(change), val(qint64(-1)), ref(qint64(0))}, admin);
    ASSERT_TRUE(saved.ok() && std::get<qint64>(saved.refs[2]) == 0) << saved.message.toStdString();
    EXPECT_EQ(standings("\"iAllPass\" IS NULL"), 1) << "only S01's standing is unknown";
    EXPECT_EQ(passed("Class_001"), "3") << "read from the scores";
    order();
    EXPECT_EQ(standings("\"iAllPass\" IS NULL"), 0);
    EXPECT_EQ(passed("Class_001"), "3");

    // 数学's pass mark goes down to 40: every standing is unknown, and 40 and 45 pass.
    wire::ChangePacket subjects;
    subjects.fields = schemaTable(u"CJ_ExamSubject").fieldDefs({"SchoolCode", "GradeCode", "InYear", "ExamCode", "PageName", "SubjectCode", "PassMark"});
    subjects.rows = {{RowStatus::Modified, {"S1", "1701", 2026, "001", kNoPage, "002", 60.0}, {"S1", "1701", 2026, "001", kNoPage, "002", 40.0}}};
    const wire::Reply redefined = fx->call("AchieveUp", "UpExamTotal", {val(wire::Null{}), val(subjects), val(qint64(-1)), ref(qint64(0))}, admin);
    ASSERT_TRUE(redefined.ok() && std::get<qint64>(redefined.refs[3]) == 0) << redefined.message.toStdString();
    EXPECT_EQ(standings("\"iAllPass\" IS NULL"), 14);
    EXPECT_EQ(passed("Class_001"), "4");
    EXPECT_EQ(passed("Class_002"), "4");
    order();
    EXPECT_EQ(passed("Class_002"), "4");
    EXPECT_EQ(standings("\"iAllPass\" = 2"), 10);
}

TEST_P(ExamSumTest, SubjectComparisonHasAColumnPerSubjectAndARowPerClassAndItem)
{
    const Answer a = sum(2, "100000000100000000000;统招生;001,002");
    ASSERT_TRUE(a.reply.ok()) << a.reply.message.toStdString();
    EXPECT_EQ(a.fieldNames(), QStringList({"sClass", "sName", "ExamName", "Subj_001", "Subj_002"}));
    EXPECT_EQ(a.definition("Subj_002"), QStringList({"数学", "W", "shown"}));
    const QString exam = QStringLiteral("期中考试");
    EXPECT_EQ(a.at({"一班", "平均分", exam}, "Subj_002").toString(), "66") << "the 借读生 had no score";
    EXPECT_EQ(a.at({"一班", "平均分", exam}, "Subj_001").toString(), "50");
    EXPECT_EQ(a.at({"一班", "人数", exam}, "Subj_002").toString(), "5");
    EXPECT_EQ(a.at({"年级", "实考人数", exam}, "Subj_001").toString(), "11");
    EXPECT_EQ(a.rows.rowCount(), 6 * 4) << "three classes, two branches and the grade, four rows each";

    const Answer allPass = sum(2, "000001000000000000000;统招生,借读生;002");
    ASSERT_TRUE(allPass.reply.ok());
    EXPECT_EQ(allPass.fieldNames(), QStringList({"sClass", "sName", "ExamName", "Subj_002", "AllSubj"}));
    EXPECT_EQ(allPass.at({"二班", "全科及格率", exam}, "AllSubj").toString(), "75");
    EXPECT_TRUE(allPass.at({"二班", "全科及格率", exam}, "Subj_002").isNull());
}

TEST_P(ExamSumTest, TeacherComparisonCountsATeacherOfTwoClassesOverAllTheirStudents)
{
    const Answer a = sum(3, "111111111111100000111;统招生,借读生;002,001");
    ASSERT_TRUE(a.reply.ok()) << a.reply.message.toStdString();
    EXPECT_EQ(a.fieldNames().mid(0, 5), QStringList({"sSubject", "sName", "sClasses", "nAverage", "nStdDev"}));
    EXPECT_EQ(a.definition("iAvgRank"), QStringList({"均分排名", "I", "shown"}));
    EXPECT_EQ(a.definition("TeacherCode"), QStringList({"教师代码", "W", "hidden"}));
    const QString maths = QStringLiteral("数学");
    EXPECT_EQ(a.at({maths, "张老师"}, "sClasses").toString(), "一班、三班");
    EXPECT_EQ(a.at({maths, "张老师"}, "nAverage").toDouble(), 65.63);
    EXPECT_EQ(a.at({maths, "张老师"}, "nStdDev").toDouble(), 32.54);
    EXPECT_EQ(a.at({maths, "张老师"}, "rExcel").toDouble(), 37.5);
    EXPECT_EQ(a.at({maths, "张老师"}, "nStudents").toInt(), 10);
    EXPECT_EQ(a.at({maths, "张老师"}, "rOverGrade").toDouble(), -0.32);
    EXPECT_TRUE(a.at({maths, "张老师"}, "rOverBranch").isNull()) << "his classes lie in both branches";
    EXPECT_EQ(a.at({maths, "张老师"}, "iAvgRank").toInt(), 2);
    EXPECT_EQ(a.at({maths, "李老师"}, "iAvgRank").toInt(), 1);
    EXPECT_EQ(a.at({maths, "李老师"}, "rOverBranch").toDouble(), 0.21);
    EXPECT_EQ(a.at({maths, "年级"}, "nAverage").toDouble(), 65.83);
    EXPECT_TRUE(a.at({maths, "年级"}, "iAvgRank").isNull());
    // 语文: 王老师 in 三班; 一班 and 二班 have no 语文 teacher.
    const QString chinese = QStringLiteral("语文");
    EXPECT_EQ(a.at({chinese, "王老师"}, "sClasses").toString(), "三班");
    EXPECT_EQ(a.at({chinese, "未安排"}, "sClasses").toString(), "一班、二班");
    EXPECT_EQ(a.at({chinese, "未安排"}, "nScored").toInt(), 8);
    EXPECT_TRUE(a.at({chinese, "未安排"}, "iAvgRank").isNull());
}

// ---- who and what is refused ----------------------------------------------------------------------

TEST_P(ExamSumTest, RefusalsAreMessagesNeverAnEmptyReport)
{
    const auto refused = [&](int kind, const QString &settings, const QString &filter, const char *words, ErrorCode code = ErrorCode::Refused) {
        const Answer a = sum(kind, settings, filter);
        EXPECT_EQ(a.reply.error, code) << settings.toStdString();
        EXPECT_TRUE(a.reply.message.contains(QString::fromUtf8(words))) << a.reply.message.toStdString();
        EXPECT_TRUE(a.reply.refs.isEmpty());
    };
    refused(0, "11111111110;002;", {}, "analysis settings");         // no range
    refused(0, "11111111110;002", {}, "analysis settings");          // no range part at all
    refused(0, "1111111111;002;ALL", {}, "expected 11 item states"); // ten items
    refused(0, "11111111110,30-600,;002;ALL", {}, "1 to 500");       // a cut-off too deep
    refused(1, "111111001111100000000;统招生;002,FUL", {}, "FUL,MAI,BAS");
    refused(2, "111111001111100000000;统招生;002,FUL,MAI,BAS", {}, "class comparison only");
    refused(4, "111111001111100000000;统招生;002", {}, "report kind");
    refused(0, "11111111110;009;ALL", {}, "009 is not a subject of the exam");
    refused(0, "11111111110;BAS;ALL", {}, "has no 基总分");
    refused(0, "11111111110;002;走读生", {}, "no candidate of the exam");
    refused(0, "11111111110;002;ALL", "009;", "no candidate of the exam");
    refused(0, "11111111110;002;ALL", "001;{S01}'--", "student filter");
    refused(0, "11111111110;002;ALL", "001,001;", "student filter");

    // Marks that give no bands.
    fx->db().exec("UPDATE \"CJ_ExamSubject\" SET \"DistanceMark\" = 0 WHERE \"SubjectCode\" = '002'");
    refused(0, "11111111110;002;ALL", {}, "score bands of 数学");
    // No such exam.
    const wire::Reply none = fx->call("AchieveQry", "QExamSum",
                                      {txt("S1"), txt("1701"), txt("099"), ref(kNoPage), txt("1"), ref(qint64(2026)), val(qint64(1)),
                                       ref(QStringLiteral("111111001111100000000;统招生;002")), ref(QString()), ref()},
                                      admin);
    EXPECT_EQ(none.error, ErrorCode::Refused);
    EXPECT_TRUE(none.message.contains("there is no exam 099")) << none.message.toStdString();
    // The filter must come back by reference.
    const wire::Reply byValue = fx->call("AchieveQry", "QExamSum",
                                         {txt("S1"), txt("1701"), txt("001"), ref(kNoPage), txt("1"), ref(qint64(2026)), val(qint64(0)),
                                          ref(QStringLiteral("11111111110;002;ALL")), val(QString()), ref()},
                                         admin);
    EXPECT_EQ(byValue.error, ErrorCode::BadArguments);
}

TEST_P(ExamSumTest, ATeacherGetsTheClassesHeSeesAndNoTotalsWithoutTheRight)
{
    const QString wang = fx->signIn("wang", "pw6");
    const Answer a = sum(0, "11111111110;002;ALL", QString(), wang);
    ASSERT_TRUE(a.reply.ok()) << a.reply.message.toStdString();
    QStringList names;
    for (qsizetype r = 0; r < a.rows.rowCount(); ++r)
        names << a.rows.value(r, 0).toString();
    EXPECT_EQ(names, QStringList({"三班", "年级"}));
    EXPECT_EQ(a.at({"年级"}, "nAverage").toDouble(), 65);

    const Answer totals = sum(1, "100000000000000000000;统招生;002,FUL,MAI,BAS", QString(), wang);
    EXPECT_EQ(totals.reply.error, ErrorCode::Forbidden);
    EXPECT_TRUE(totals.reply.message.contains("4011/ViewTotal")) << totals.reply.message.toStdString();

    // Another school's teacher is refused before anything is read.
    const QString other = fx->signIn("li", "pw2");
    const wire::Reply r = fx->call("AchieveQry", "QExamSum",
                                   {txt("S1"), txt("1701"), txt("001"), ref(kNoPage), txt("1"), ref(qint64(2026)), val(qint64(0)),
                                    ref(QStringLiteral("11111111110;002;ALL")), ref(QString()), ref()},
                                   other);
    EXPECT_EQ(r.error, ErrorCode::Forbidden);
}

INSTANTIATE_TEST_SUITE_P(Backends, ExamSumTest, ::testing::Values(Backend::Sqlite, Backend::Postgres), backendParamName);

} // namespace
