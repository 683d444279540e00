// AchieveQry.QExamQuality on both back ends: the teaching-quality report of the worked example of
// docs/statistics.md ("Teaching-quality report") against an earlier exam, worked out by hand: every
// class's average, rank, 超均率 and rates beside the earlier exam's, the branches and the grade, a
// total with its head teachers, the range and the score page's filter, an earlier exam that lacks a
// class or a subject, what a subject teacher sees, an empty answer for nobody, and every refusal.

#include "analysisorganisation.h"
#include "fixtureschool.h"
#include "server/core/auth.h"

#include <gtest/gtest.h>

using namespace lumeko;
using namespace lumeko::server;
using namespace lumeko::server::testing;
using wire::ErrorCode;

namespace {

const QString kNoPage = QStringLiteral("⊥");

// 七年级 (1701, intake 2026): 一班 and 二班 in 本部, 三班 in 分校. 数学 of the three exams:
//
//             一班 (S01–S06)           二班 (S07–S10)    三班 (S11–S14)
//   期中 001  80 × 5, —                70 × 4            90 × 3, —          (the earlier exam)
//   期末 002  100, 90, 80, 60, 0, —    85, 75, 60, 45    95, 70, 30, —      (the reported one)
//   月考 003  85 × 5, —                60 × 4            not candidates     (数学 only)
//
// 语文 is 50 for every student with a 数学 score above 0 in 期中 and 期末. 张老师 heads 一班 and
// teaches 数学 in 一班 and 三班; 李老师 heads 二班 and teaches its 数学; 王老师 teaches 语文 in 三班.
// S06 is a 借读生, the others 统招生.
class ExamQualityTest : public ::testing::TestWithParam<Backend> {
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
        seedAnalysisOrganisation(db, false);

        const QString student = "INSERT INTO \"XJ_Student\" (\"sCode\", \"SchoolCode\", \"GradeCode\", \"InYear\", \"ClassCode\", \"iClassNo\", "
                                "\"sName\", \"iState\", \"sType\") VALUES (?, 'S1', '1701', 2026, ?, ?, ?, '00', ?)";
        for (int i = 0; i < 14; ++i)
            db.exec(student, {code(i), classOf(i), i + 1, QStringLiteral("学生%1").arg(i + 1), i == 5 ? QStringLiteral("借读生") : QStringLiteral("统招生")});
        const QVariant none;
        defineExam("001", QStringLiteral("期中考试"), {80, 80, 80, 80, 80, none, 70, 70, 70, 70, 90, 90, 90, none}, true);
        defineExam("002", QStringLiteral("期末考试"), {100, 90, 80, 60, 0, none, 85, 75, 60, 45, 95, 70, 30, none}, true);
        defineExam("003", QStringLiteral("三月月考"), {85, 85, 85, 85, 85, none, 60, 60, 60, 60}, false);
        admin = fx->signIn("admin", "lumeko");
        for (const char *exam : {"001", "002", "003"}) {
            const wire::Reply order =
                fx->call("AchieveUp", "UpExamOrder",
                         {txt("S1"), txt("1701"), txt(exam), ref(kNoPage), ref(QStringLiteral("FULLTOTAL,FULLORDER")), ref(qint64(2026))}, admin);
            ASSERT_TRUE(order.ok()) << order.message.toStdString();
        }
    }

    static QString code(int i) { return QStringLiteral("{S%1}").arg(i + 1, 2, 10, QLatin1Char('0')); }
    static QString classOf(int i) { return i < 6 ? QStringLiteral("001") : i < 10 ? QStringLiteral("002") : QStringLiteral("003"); }

    // The candidates are the students with a 数学 cell in `maths` (a null one is absent).
    void defineExam(const char *examCode, const QString &name, const QVariantList &maths, bool chinese)
    {
        Database &db = fx->db();
        const qint64 id =
            db.insertReturningId("INSERT INTO \"CJ_ExamTotal\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", \"ExamName\", "
                                 "\"aFullMark\", \"aExcelMark\", \"aGoodMark\", \"aPassMark\", \"aBadMark\", \"aHighMark\", \"aDistanceMark\", \"aLowMark\", "
                                 "\"hasMain\", \"hasBase\", \"ModifyRight\", \"Freeze\") "
                                 "VALUES ('S1', '1701', 2026, ?, ?, ?, 200, 180, 160, 120, 60, 180, 20, 60, ?, ?, 63, ?)",
                                 {examCode, kNoPage, name, db.toDb(false, wire::FieldType::Boolean), db.toDb(false, wire::FieldType::Boolean),
                                  db.toDb(false, wire::FieldType::Boolean)},
                                 "Id");
        const QString examSubject = "INSERT INTO \"CJ_ExamSubject\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", "
                                    "\"SubjectCode\", \"Per\", \"FullMark\", \"ExcelMark\", \"GoodMark\", \"PassMark\", \"BadMark\", \"HighMark\", "
                                    "\"DistanceMark\", \"LowMark\") VALUES ('S1', '1701', 2026, ?, ?, ?, 1, 100, 90, 80, 60, 30, 90, 10, 30)";
        db.exec(examSubject, {examCode, kNoPage, "002"});
        if (chinese) db.exec(examSubject, {examCode, kNoPage, "001"});
        const QString mark = "INSERT INTO \"CJ_Mark\" (\"examId\", \"StudentCode\", \"SubjectCode\", \"score\") VALUES (?, ?, ?, ?)";
        for (int i = 0; i < maths.size(); ++i) {
            db.exec("INSERT INTO \"CJ_ExamStudent\" (\"examId\", \"StudentCode\", \"ClassCode\") VALUES (?, ?, ?)", {id, code(i), classOf(i)});
            if (maths[i].isNull()) continue;
            db.exec(mark, {id, code(i), "002", maths[i]});
            if (chinese && maths[i].toInt() > 0) db.exec(mark, {id, code(i), "001", 50});
        }
    }

    wire::Reply quality(const QString &lastExam, const QString &subjects, const QString &range, const QVariant &filter = QString(), const QString &token = {},
                        const QString &exam = QStringLiteral("1701;002;⊥"))
    {
        const wire::Value filterValue = filter.isNull() ? wire::Value() : wire::Value(filter.toString());
        return fx->call("AchieveQry", "QExamQuality",
                        {txt("S1"), ref(exam), ref(filterValue), ref(qint64(2026)), ref(lastExam), ref(subjects), ref(range), ref()},
                        token.isEmpty() ? admin : token);
    }
    static wire::DataPacket rows(const wire::Reply &r) { return r.ok() ? std::get<wire::DataPacket>(r.refs[7]) : wire::DataPacket(); }

    // One line per row of a subject: the class and the named fields, "-" for null.
    static QStringList table(const wire::DataPacket &p, const QString &subject, const QStringList &fields)
    {
        QStringList out;
        for (qsizetype r = 0; r < p.rowCount(); ++r) {
            if (p.value(r, p.fieldIndex(u"sSubject")).toString() != subject) continue;
            QStringList cells{p.value(r, p.fieldIndex(u"sClass")).toString()};
            for (const QString &f : fields) {
                const int column = p.fieldIndex(f);
                if (column < 0) return {QStringLiteral("no field ") + f};
                const QVariant v = p.value(r, column);
                if (wire::isNull(v) || (v.typeId() == QMetaType::QString && v.toString().isEmpty()))
                    cells << QStringLiteral("-");
                else
                    cells << (v.typeId() == QMetaType::QString ? v.toString() : QString::number(v.toDouble()));
            }
            out << cells.join(u' ');
        }
        return out;
    }

    std::unique_ptr<ServiceFixture> fx;
    QString admin;
};

const QStringList kNow{"sTeacher", "nStudents", "nScored", "nAverage", "iRank", "rOverGrade", "rExcel", "rGood", "rPass", "rLow", "nMax"};
const QStringList kChange{"nAverage", "iRank", "rOverGrade", "nLastAverage", "iLastRank", "iRankUp", "rLastOverGrade", "rOverChange"};

TEST_P(ExamQualityTest, EachClassAgainstTheGradeAndAgainstItselfInTheEarlierExam)
{
    const wire::Reply r = quality("1701;001;⊥", "002", QStringLiteral("统招生,借读生"));
    ASSERT_TRUE(r.ok()) << r.message.toStdString();
    const wire::DataPacket p = rows(r);
    QStringList fields;
    for (const wire::FieldDef &f : p.fields())
        fields << f.name;
    EXPECT_EQ(fields, QStringList({"sSubject", "SubjectCode",  "nFullMark", "sClass",     "ClassCode",      "iRowType",   "sTeacher", "nStudents",
                                   "nScored",  "nAverage",     "iRank",     "rOverGrade", "rExcel",         "rGood",      "rPass",    "rLow",
                                   "nMax",     "nLastAverage", "iLastRank", "iRankUp",    "rLastOverGrade", "rOverChange"}));
    EXPECT_EQ(p.fields()[fields.indexOf("iRankUp")].type, wire::FieldType::Integer);
    EXPECT_EQ(p.fields()[fields.indexOf("rOverChange")].type, wire::FieldType::Float);

    // This exam: averages 66, 66.25, 65 against the grade's 65.83; 三班's 30 is on BadMark.
    EXPECT_EQ(table(p, "数学", kNow), QStringList({
                                          "一班 张老师 6 5 66 2 0.25 40 60 80 20 100",
                                          "二班 李老师 4 4 66.25 1 0.63 0 25 75 0 85",
                                          "三班 张老师 4 3 65 3 -1.27 33.33 33.33 66.67 0 95",
                                          "分校 - 4 3 65 - -1.27 33.33 33.33 66.67 0 95",
                                          "本部 - 10 9 66.11 - 0.42 22.22 44.44 77.78 11.11 100",
                                          "年级 - 14 12 65.83 - - 25 41.67 75 8.33 100",
                                      }));
    // The earlier exam: 80, 70, 90 against 950 ÷ 12 = 79.17; 本部 680 ÷ 9 = 75.56. A climb is
    // positive: 二班 went from 3rd to 1st. The change of 超均率 is of the figures shown.
    EXPECT_EQ(table(p, "数学", kChange), QStringList({
                                             "一班 66 2 0.25 80 2 0 1.05 -0.8",
                                             "二班 66.25 1 0.63 70 3 2 -11.58 12.21",
                                             "三班 65 3 -1.27 90 1 -2 13.68 -14.95",
                                             "分校 65 - -1.27 90 - - 13.68 -14.95",
                                             "本部 66.11 - 0.42 75.56 - - -4.56 4.98",
                                             "年级 65.83 - - 79.17 - - - -",
                                         }));
    EXPECT_EQ(table(p, "数学", {"SubjectCode", "nFullMark", "ClassCode", "iRowType"}),
              QStringList({"一班 002 100 001 0", "二班 002 100 002 0", "三班 002 100 003 0", "分校 002 100 - 1", "本部 002 100 - 1", "年级 002 100 - 2"}));
}

TEST_P(ExamQualityTest, ATotalNamesTheHeadTeachersAndOneTheExamDoesNotKeepIsLeftOut)
{
    // 全总分 = 数学 + 语文 50 where 数学 was above 0. This exam: 一班 150, 140, 130, 110, 0 (106);
    // 二班 135, 125, 110, 95 (116.25); 三班 145, 120, 80 (115); the grade 1340 ÷ 12 = 111.67.
    // The earlier: 130, 120, 140 in every class; the grade 1550 ÷ 12 = 129.17.
    const wire::Reply r = quality("1701;001;⊥", "FUL,MAI,002", QStringLiteral("统招生,借读生"));
    ASSERT_TRUE(r.ok()) << r.message.toStdString();
    const wire::DataPacket p = rows(r);
    EXPECT_EQ(table(p, "全总分",
                    {"sTeacher", "nFullMark", "nAverage", "iRank", "rOverGrade", "nLastAverage", "iLastRank", "iRankUp", "rLastOverGrade", "rOverChange"}),
              QStringList({
                  "一班 张老师 200 106 3 -5.07 130 2 -1 0.65 -5.72",
                  "二班 李老师 200 116.25 1 4.1 120 3 2 -7.1 11.2",
                  "三班 - 200 115 2 2.99 140 1 -1 8.39 -5.4",
                  "分校 - 200 115 - 2.99 140 - - 8.39 -5.4",
                  "本部 - 200 110.56 - -1 125.56 - - -2.8 1.8",
                  "年级 - 200 111.67 - - 129.17 - - - -",
              }));
    EXPECT_TRUE(table(p, "主总分", {"nAverage"}).isEmpty()) << "the exam keeps no main total";
    // The subjects in the order asked: the total first, then 数学.
    EXPECT_EQ(p.value(0, p.fieldIndex(u"sSubject")).toString(), "全总分");
    EXPECT_EQ(p.value(6, p.fieldIndex(u"sSubject")).toString(), "数学");
    EXPECT_EQ(p.rowCount(), 12);
}

TEST_P(ExamQualityTest, TheRangeAndThePickedStudentsCountInBothExams)
{
    // The score page's classes 一班 and 二班: one branch left, ranked among two.
    const wire::Reply classes = quality("1701;001;⊥", "002", QStringLiteral("统招生,借读生"), "001,002;");
    ASSERT_TRUE(classes.ok()) << classes.message.toStdString();
    EXPECT_EQ(table(rows(classes), "数学", kChange), QStringList({
                                                         "一班 66 2 -0.17 80 1 -1 5.88 -6.05",
                                                         "二班 66.25 1 0.21 70 2 1 -7.35 7.56",
                                                         "年级 66.11 - - 75.56 - - - -",
                                                     }));

    // The students the page left out count only with "已选名单" in the range: without 100 and 90,
    // 一班 has 80, 60, 0 now and 80 × 3 before.
    const wire::Reply ignored = quality("1701;001;⊥", "002", QStringLiteral("统招生,借读生"), "001;{S01},{S02}");
    ASSERT_TRUE(ignored.ok()) << ignored.message.toStdString();
    EXPECT_EQ(table(rows(ignored), "数学", {"nStudents", "nAverage", "nLastAverage"}), QStringList({"一班 6 66 80", "年级 6 66 80"}));
    const wire::Reply picked = quality("1701;001;⊥", "002", QStringLiteral("统招生,借读生,已选名单"), "001;{S01},{S02}");
    ASSERT_TRUE(picked.ok()) << picked.message.toStdString();
    EXPECT_EQ(table(rows(picked), "数学", {"nStudents", "nScored", "nAverage", "nMax", "nLastAverage"}),
              QStringList({"一班 4 3 46.67 80 80", "年级 4 3 46.67 80 80"}));
    const wire::Reply pickedAlone = quality("1701;001;⊥", "002", QStringLiteral("已选名单"), "001;{S01},{S02}");
    ASSERT_TRUE(pickedAlone.ok()) << pickedAlone.message.toStdString();
    EXPECT_EQ(rows(pickedAlone), rows(picked)) << "the picked students of every type";

    // 统招生 alone leaves out S06, who was absent in both exams: one fewer counted, the same figures.
    const wire::Reply regular = quality("1701;001;⊥", "002", QStringLiteral("统招生"), QVariant());
    ASSERT_TRUE(regular.ok()) << regular.message.toStdString();
    EXPECT_EQ(table(rows(regular), "数学", {"nStudents", "nScored", "nAverage", "iRankUp"}).first(), "一班 5 5 66 0");

    // A range that counts nobody is an empty answer, not a refusal: the dialog says so.
    const wire::Reply nobody = quality("1701;001;⊥", "002", QStringLiteral("择校生"));
    ASSERT_TRUE(nobody.ok()) << nobody.message.toStdString();
    EXPECT_EQ(rows(nobody).rowCount(), 0);
    EXPECT_EQ(rows(nobody).fields().size(), 22);
}

TEST_P(ExamQualityTest, AnEarlierExamWithoutTheClassOrTheSubjectLeavesItsColumnsEmpty)
{
    // 三月月考 has 数学 for 一班 (85) and 二班 (60) only, and no 语文; its grade 665 ÷ 9 = 73.89.
    const wire::Reply r = quality("1701;003;⊥", "002,001", QStringLiteral("统招生,借读生"));
    ASSERT_TRUE(r.ok()) << r.message.toStdString();
    const wire::DataPacket p = rows(r);
    EXPECT_EQ(table(p, "数学", kChange), QStringList({
                                             "一班 66 2 0.25 85 1 -1 15.04 -14.79",
                                             "二班 66.25 1 0.63 60 2 1 -18.8 19.43",
                                             "三班 65 3 -1.27 - - - - -",
                                             "分校 65 - -1.27 - - - - -",
                                             "本部 66.11 - 0.42 73.89 - - 0 0.42",
                                             "年级 65.83 - - 73.89 - - - -",
                                         }));
    // 语文: 50 for everybody who scored in 数学 above 0; 王老师 teaches it in 三班 only.
    EXPECT_EQ(table(p, "语文", {"sTeacher", "nScored", "nAverage", "iRank", "nLastAverage", "iLastRank", "iRankUp", "rOverChange"}),
              QStringList({"一班 - 4 50 1 - - - -", "二班 - 4 50 1 - - - -", "三班 王老师 3 50 1 - - - -", "分校 - 3 50 - - - - -", "本部 - 8 50 - - - - -",
                           "年级 - 11 50 - - - - -"}));
}

TEST_P(ExamQualityTest, ASubjectTeacherSeesHisOwnClassesInBothExams)
{
    const QString wang = fx->signIn("wang", "pw6");
    const wire::Reply r = quality("1701;001;⊥", "002,001", QStringLiteral("统招生,借读生"), QString(), wang);
    ASSERT_TRUE(r.ok()) << r.message.toStdString();
    EXPECT_EQ(table(rows(r), "数学", kChange), QStringList({"三班 65 1 0 90 1 0 0 0", "年级 65 - - 90 - - - -"}));
    // Without 4011/ViewTotal no total is read, of either exam.
    const wire::Reply total = quality("1701;001;⊥", "FUL", QStringLiteral("统招生"), QString(), wang);
    EXPECT_EQ(total.error, ErrorCode::Forbidden);
    EXPECT_TRUE(total.message.contains("4011/ViewTotal")) << total.message.toStdString();
}

TEST_P(ExamQualityTest, RefusalsNameTheArgument)
{
    const auto refused = [&](const wire::Reply &r, ErrorCode code, const char *words) {
        EXPECT_EQ(r.error, code) << r.message.toStdString();
        EXPECT_TRUE(r.message.contains(QString::fromUtf8(words))) << r.message.toStdString();
        EXPECT_TRUE(r.refs.isEmpty());
    };
    const QString all = QStringLiteral("统招生,借读生");
    refused(quality("1701;002;⊥", "002", all), ErrorCode::BadArguments, "must be another exam");
    refused(quality("1701;009;⊥", "002", all), ErrorCode::Refused, "there is no exam 009");
    refused(quality("1701;001;⊥", "002", all, QString(), {}, QStringLiteral("1701;099;⊥")), ErrorCode::Refused, "there is no exam 099");
    refused(quality("1701;001;⊥", "009", all), ErrorCode::Refused, "009 is not a subject of the exam 期末考试");
    // Texts the strict grammars refuse, naming the argument and the place.
    refused(quality("1701;001", "002", all), ErrorCode::Refused, "LastExam");
    refused(quality("1701;001;⊥,1701;003;⊥", "002", all), ErrorCode::Refused, "the end after the exam");
    refused(quality("1701;001;⊥", "002", all, QString(), {}, QStringLiteral("1701;002")), ErrorCode::Refused, "Exam");
    refused(quality("1701;001;⊥", "", all), ErrorCode::Refused, "subject list");
    refused(quality("1701;001;⊥", "002,002", all), ErrorCode::Refused, "subject");
    refused(quality("1701;001;⊥", "002", ""), ErrorCode::Refused, "Range");
    refused(quality("1701;001;⊥", "002", all, "001;{S01}'--"), ErrorCode::Refused, "student filter");

    // The filter is a text or nothing; the rows must come back by reference; the school is the user's.
    refused(fx->call("AchieveQry", "QExamQuality",
                     {txt("S1"), ref(QStringLiteral("1701;002;⊥")), ref(qint64(1)), ref(qint64(2026)), ref(QStringLiteral("1701;001;⊥")),
                      ref(QStringLiteral("002")), ref(all), ref()},
                     admin),
            ErrorCode::BadArguments, "Filter");
    refused(fx->call("AchieveQry", "QExamQuality",
                     {txt("S1"), ref(QStringLiteral("1701;002;⊥")), ref(QString()), ref(qint64(2026)), ref(QStringLiteral("1701;001;⊥")),
                      ref(QStringLiteral("002")), ref(all), val(wire::Null{})},
                     admin),
            ErrorCode::BadArguments, "Data");
    const QString other = fx->signIn("li", "pw2");
    const wire::Reply otherSchool = quality("1701;001;⊥", "002", all, QString(), other);
    EXPECT_NE(otherSchool.error, ErrorCode::None);
    EXPECT_TRUE(otherSchool.refs.isEmpty());
}

} // namespace

INSTANTIATE_TEST_SUITE_P(Backends, ExamQualityTest, ::testing::Values(Backend::Sqlite, Backend::Postgres), backendParamName);
