// Progress between exams on both back ends: the exams an intake can compare, each student's scores
// and ranks side by side with the rise from one exam to the next (worked by hand below), a student
// absent from one exam, three exams across a promotion, what a subject teacher sees, and every
// malformed argument refused.

#include "fixtureschool.h"
#include "server/core/auth.h"

#include <gtest/gtest.h>

using namespace lumeko;
using namespace lumeko::server;
using namespace lumeko::server::testing;
using wire::ErrorCode;

namespace {

const QString kNoPage = QStringLiteral("⊥");

// The intake 2026: 期中 and 期末 in 七年级, then 月考 in 八年级 after the promotion.
//   student  class  期中 语文 (rank)  期末 语文 (rank)  月考 语文 (rank)   期中/期末/月考 全总 (rank)
//   {A}      001    80 (2)          90 (1)           85.5 (2)          150 (2) / 170 (1) / 160.5 (2)
//   {B}      001    95 (1)          70 (3)           88 (1)            180 (1) / 140 (3) / 168 (1)
//   {C}      002    60 (3)          75 (2)           —                 110 (3) / 150 (2) / —
//   {D}      002    50 (4)          —                70.2 (3)          90 (4)  / —       / 130.2 (3)
// D missed 期末; C left before 月考.
class ProgressMethodsTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override
    {
        LUMEKO_REQUIRE_BACKEND(GetParam());
        fx = std::make_unique<ServiceFixture>(GetParam());
        Database &db = fx->db();
        const QString fn = "INSERT INTO \"XT_Function\" (\"sFunId\", \"sParFunId\", \"sFunKey\", \"sFunName\", \"iOrder\") VALUES (?, ?, ?, ?, ?)";
        db.exec(fn, {"4011", "40", QVariant(), QStringLiteral("成绩录入"), 20});
        db.exec("INSERT INTO \"XT_RoleRight\" (\"iRole\", \"sFunId\") VALUES (6, '4011')");
        const QString subject = "INSERT INTO \"XJ_Subject\" (\"SchoolCode\", \"SubjectCode\", \"SubjectName\") VALUES ('S1', ?, ?)";
        db.exec(subject, {"001", QStringLiteral("语文")});
        db.exec(subject, {"002", QStringLiteral("数学")});
        const QString student = "INSERT INTO \"XJ_Student\" (\"sCode\", \"SchoolCode\", \"GradeCode\", \"InYear\", \"ClassCode\", \"iClassNo\", \"sName\", "
                                "\"iState\") VALUES (?, 'S1', '1801', 2026, ?, ?, ?, '00')";
        db.exec(student, {"{A}", "001", 1, QStringLiteral("张三")});
        db.exec(student, {"{B}", "001", 2, QStringLiteral("李四")});
        db.exec(student, {"{C}", "002", 1, QStringLiteral("王五")});
        db.exec(student, {"{D}", "002", 2, QStringLiteral("赵六")});
        // Wang teaches 语文 in class 002 of 七年级 and of 八年级.
        const QString course = "INSERT INTO \"XJ_CourseTable\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"ClassCode\", \"SubjectCode\", \"TeacherCode\") "
                               "VALUES ('S1', 2026, ?, '002', '001', ?)";
        db.exec(course, {"1701", kTeacherCode});
        db.exec(course, {"1801", kTeacherCode});

        const qint64 mid = exam("1701", "001", QStringLiteral("期中考试"), QDate(2026, 11, 10));
        const qint64 final = exam("1701", "002", QStringLiteral("期末考试"), QDate(2027, 1, 15));
        const qint64 monthly = exam("1801", "003", QStringLiteral("九月月考"), QDate(2027, 9, 28));
        sat(mid, "{A}", "001", 80, 2, 150, 2);
        sat(mid, "{B}", "001", 95, 1, 180, 1);
        sat(mid, "{C}", "002", 60, 3, 110, 3);
        sat(mid, "{D}", "002", 50, 4, 90, 4);
        sat(final, "{A}", "001", 90, 1, 170, 1);
        sat(final, "{B}", "001", 70, 3, 140, 3);
        sat(final, "{C}", "002", 75, 2, 150, 2);
        sat(monthly, "{A}", "001", 85.5, 2, 160.5, 2);
        sat(monthly, "{B}", "001", 88, 1, 168, 1);
        sat(monthly, "{D}", "002", 70.2, 3, 130.2, 3);
        // Another teacher's unit exam of the intake, and another intake's exam.
        exam("1701", "U01", QStringLiteral("单元测验"), QDate(2026, 10, 1), QStringLiteral("{someone-else}"));
        db.exec("INSERT INTO \"CJ_ExamTotal\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", \"ExamName\") VALUES "
                "('S1', '1701', 2025, '001', ?, ?)",
                {kNoPage, QStringLiteral("去年期中")});
        admin = fx->signIn("admin", "lumeko");
        wang = fx->signIn("wang", "pw6");
    }

    qint64 exam(const char *grade, const char *code, const QString &name, const QDate &day, const QString &page = kNoPage)
    {
        Database &db = fx->db();
        const qint64 id = db.insertReturningId(
            "INSERT INTO \"CJ_ExamTotal\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", \"ExamName\", \"ModifyRight\", "
            "\"dDefDay\") VALUES ('S1', ?, 2026, ?, ?, ?, 63, ?)",
            {grade, code, page, name, db.toDb(day, wire::FieldType::Date)}, "Id");
        for (const char *s : {"001", "002"})
            db.exec("INSERT INTO \"CJ_ExamSubject\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", \"SubjectCode\", \"Per\", "
                    "\"FullMark\") VALUES ('S1', ?, 2026, ?, ?, ?, 1, 100)",
                    {grade, code, page, s});
        return id;
    }
    void sat(qint64 exam, const char *student, const char *klass, double chinese, int rank, double total, int totalRank)
    {
        fx->db().exec("INSERT INTO \"CJ_ExamStudent\" (\"examId\", \"StudentCode\", \"ClassCode\", \"FullTotal\", \"FullOrder\") VALUES (?, ?, ?, ?, ?)",
                      {exam, student, klass, total, totalRank});
        fx->db().exec("INSERT INTO \"CJ_Mark\" (\"examId\", \"StudentCode\", \"SubjectCode\", \"score\", \"gradeOrder\") VALUES (?, ?, '001', ?, ?)",
                      {exam, student, chinese, rank});
    }

    wire::Reply upDown(const QString &token, const QString &exams, const QString &subjects, const QString &classes = {}, qint64 mode = 0)
    {
        return fx->call("AchieveQry", "QExamUpDown", {txt("S1"), ref(exams), ref(subjects), ref(classes), ref(qint64(2026)), val(mode), ref()}, token);
    }
    static QStringList fieldNames(const wire::DataPacket &p)
    {
        QStringList out;
        for (const wire::FieldDef &f : p.fields())
            out << f.name;
        return out;
    }
    // "A:80,90,10" for the named fields of each row, in the answer's order.
    static QStringList cells(const wire::DataPacket &p, const QStringList &fields)
    {
        QStringList out;
        for (qsizetype r = 0; r < p.rowCount(); ++r) {
            QStringList values;
            for (const QString &f : fields) {
                const QVariant v = p.value(r, p.fieldIndex(f));
                values << (wire::isNull(v) ? QStringLiteral("-") : QString::number(v.toDouble()));
            }
            out << p.value(r, p.fieldIndex(QStringLiteral("sCode"))).toString().mid(1, 1) + u':' + values.join(u',');
        }
        return out;
    }

    std::unique_ptr<ServiceFixture> fx;
    QString admin, wang;
};

TEST_P(ProgressMethodsTest, TheExamsOfTheGradeOrOfTheWholeIntakeInTheOrderTheyWereHeld)
{
    const auto list = [&](const QString &token, const char *grade) {
        const wire::Reply r = fx->call("AchieveQry", "QExamList", {txt("S1"), txt(grade), ref(qint64(2026)), ref()}, token);
        EXPECT_TRUE(r.ok()) << r.message.toStdString();
        QStringList out;
        if (!r.ok()) return out;
        const auto &p = std::get<wire::DataPacket>(r.refs[3]);
        for (qsizetype i = 0; i < p.rowCount(); ++i)
            out << p.value(i, p.fieldIndex(QStringLiteral("GradeCode"))).toString() + u'.' + p.value(i, p.fieldIndex(QStringLiteral("ExamName"))).toString();
        return out;
    };
    EXPECT_EQ(list(admin, "1701").join(u' ').toStdString(), "1701.单元测验 1701.期中考试 1701.期末考试");
    EXPECT_EQ(list(admin, "1").join(u' ').toStdString(), "1701.单元测验 1701.期中考试 1701.期末考试 1801.九月月考");
    EXPECT_EQ(list(wang, "1").join(u' ').toStdString(), "1701.期中考试 1701.期末考试 1801.九月月考") << "another teacher's unit exam is his";
    const wire::Reply bad = fx->call("AchieveQry", "QExamList", {txt("S1"), txt("17' OR '1'='1"), ref(qint64(2026)), ref()}, admin);
    EXPECT_EQ(bad.error, ErrorCode::BadArguments);
}

// Two exams, 语文: the columns of the dialog in its order, rises and climbs worked by hand, D's
// missing 期末 empty rather than 0.
TEST_P(ProgressMethodsTest, TwoExamsGiveScoresRanksAndTheirRiseWithTheSignOfProgress)
{
    const wire::Reply r = upDown(admin, QStringLiteral("1701;001;⊥,1701;002;⊥"), QStringLiteral("001"));
    ASSERT_TRUE(r.ok()) << r.message.toStdString();
    const auto &p = std::get<wire::DataPacket>(r.refs[6]);
    EXPECT_EQ(fieldNames(p).mid(9).join(u' ').toStdString(), "C_001 C_001_1 C_001_Fs O_001 O_001_1 O_001_Up");
    EXPECT_EQ(fieldNames(p).mid(0, 9).join(u' ').toStdString(), "sCode sNO sName iClassNo sSex sType ClassCode GradeCode InYear");
    EXPECT_EQ(cells(p, {"C_001", "C_001_1", "C_001_Fs", "O_001", "O_001_1", "O_001_Up"}).join(u' ').toStdString(),
              "A:80,90,10,2,1,1 B:95,70,-25,1,3,-2 C:60,75,15,3,2,1 D:50,-,-,4,-,-");
    EXPECT_EQ(p.value(0, p.fieldIndex(QStringLiteral("GradeCode"))).toString(), QStringLiteral("1801")) << "the register as it is now";

    // The other way round, everything turns its sign.
    const wire::Reply back = upDown(admin, QStringLiteral("1701;002;⊥,1701;001;⊥"), QStringLiteral("001"));
    ASSERT_TRUE(back.ok());
    EXPECT_EQ(cells(std::get<wire::DataPacket>(back.refs[6]), {"C_001_Fs", "O_001_Up"}).join(u' ').toStdString(), "A:-10,-1 B:25,2 C:-15,-1 D:-,-");
}

// Three exams across the promotion with the total: each exam against the one before it, to the
// hundredth; a class filter and a subject teacher's own classes.
TEST_P(ProgressMethodsTest, ThreeExamsAcrossThePromotionCompareEachWithTheOneBefore)
{
    const QString three = QStringLiteral("1701;001;⊥,1701;002;⊥,1801;003;⊥");
    const wire::Reply r = upDown(admin, three, QStringLiteral("FUL,001"));
    ASSERT_TRUE(r.ok()) << r.message.toStdString();
    const auto &p = std::get<wire::DataPacket>(r.refs[6]);
    EXPECT_EQ(fieldNames(p).mid(9, 10).join(u' ').toStdString(),
              "FullTotal FullTotal_1 FullTotal_2 FullTotal_Fs FullTotal_2_Fs FullOrder FullOrder_1 FullOrder_2 FullOrder_Up FullOrder_2_Up");
    EXPECT_EQ(cells(p, {"FullTotal_Fs", "FullTotal_2_Fs", "FullOrder_Up", "FullOrder_2_Up", "C_001_2_Fs"}).join(u' ').toStdString(),
              "A:20,-9.5,1,-1,-4.5 B:-40,28,-2,2,18 C:40,-,1,-,- D:-,-,-,-,-");

    const wire::Reply onlyTwo = upDown(admin, three, QStringLiteral("001"), QStringLiteral("002"));
    ASSERT_TRUE(onlyTwo.ok());
    EXPECT_EQ(cells(std::get<wire::DataPacket>(onlyTwo.refs[6]), {"C_001", "C_001_2"}).join(u' ').toStdString(), "C:60,- D:50,70.2");

    // Wang sees class 002 only, whatever class list he sends.
    const wire::Reply his = upDown(wang, three, QStringLiteral("001"), QStringLiteral("001,002"));
    ASSERT_TRUE(his.ok()) << his.message.toStdString();
    EXPECT_EQ(cells(std::get<wire::DataPacket>(his.refs[6]), {"C_001"}).join(u' ').toStdString(), "C:60 D:50");
}

// The line chart's detail: a row per student, exam and subject the student sat, named.
TEST_P(ProgressMethodsTest, TheChartDetailHasARowPerExamTheStudentSat)
{
    const wire::Reply r = fx->call(
        "AchieveQry", "QExamUDLine",
        {txt("S1"), ref(QStringLiteral("1701;001;⊥,1701;002;⊥")), ref(QStringLiteral("001,FUL")), ref(QString()), txt("1701"), ref(qint64(2026)), ref()},
        admin);
    ASSERT_TRUE(r.ok()) << r.message.toStdString();
    EXPECT_EQ(std::get<wire::DataPacket>(r.refs[6]).rowCount(), 4);
    const auto &detail = std::get<wire::DataPacket>(r.result);
    QStringList ofD;
    for (qsizetype i = 0; i < detail.rowCount(); ++i)
        if (detail.value(i, 0).toString() == u"{D}")
            ofD << QStringLiteral("%1 %2 %3 %4")
                       .arg(detail.value(i, 1).toLongLong())
                       .arg(detail.value(i, 2).toString(), detail.value(i, 3).toString())
                       .arg(detail.value(i, 4).toDouble());
    EXPECT_EQ(ofD.join(u'|').toStdString(), "1 期中考试 语文 50|1 期中考试 全总 90");
    EXPECT_EQ(detail.rowCount(), 3 * 2 * 2 + 2) << "two subjects for each exam sat: A, B and C two exams, D one";
}

// Wrong arguments are refused with the argument named, never answered with an empty report.
TEST_P(ProgressMethodsTest, MalformedArgumentsAreRefused)
{
    const QString two = QStringLiteral("1701;001;⊥,1701;002;⊥");
    for (const auto &[exams, subjects, classes, mode] : std::initializer_list<std::tuple<QString, QString, QString, qint64>>{
             {QStringLiteral("1701;001;⊥"), QStringLiteral("001"), QString(), 0},                // one exam
             {QStringLiteral("1701;001;⊥,1701;001;⊥"), QStringLiteral("001"), QString(), 0},     // the same exam twice
             {QStringLiteral("1701;001;⊥,1701;009;⊥"), QStringLiteral("001"), QString(), 0},     // no such exam
             {QStringLiteral("1701;001;⊥,1701;001' --;⊥"), QStringLiteral("001"), QString(), 0}, // injection
             {two, QString(), QString(), 0},                                                     // no subject
             {two, QStringLiteral("01"), QString(), 0},                                          // no subject code
             {two, QStringLiteral("001,001"), QString(), 0},                                     // twice
             {two, QStringLiteral("001"), QStringLiteral("001;DROP"), 0},                        // class list
             {two, QStringLiteral("001"), QString(), 1}}) {                                      // mode
        const wire::Reply r = upDown(admin, exams, subjects, classes, mode);
        EXPECT_FALSE(r.ok()) << exams.toStdString() << " / " << subjects.toStdString() << " / " << classes.toStdString();
        EXPECT_FALSE(r.message.isEmpty());
    }
    const wire::Reply missing = upDown(admin, QStringLiteral("1701;001;⊥,1701;009;⊥"), QStringLiteral("001"));
    EXPECT_TRUE(missing.message.contains(u"1701;009;⊥")) << missing.message.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Backends, ProgressMethodsTest, ::testing::Values(Backend::Sqlite, Backend::Postgres), backendParamName);

} // namespace
