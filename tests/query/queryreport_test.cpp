// What a signed-in student reads on the score query page: the published school-wide exams of his
// school and intake that he sat, his own report of each as its display type allows, and nothing of
// anybody else, whatever id the request carries.

#include "queryschool.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace lumeko;
using namespace lumeko::server;
using namespace lumeko::server::testing;

namespace {

class QueryReport : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override
    {
        LUMEKO_REQUIRE_BACKEND(GetParam());
        server = std::make_unique<QueryServer>(GetParam());
        browser = std::make_unique<QueryClient>(server->client());
        ASSERT_EQ(browser->signIn(kNumberA, kPasswordA).status, 200);
    }

    QList<qint64> listed()
    {
        const Answer a = browser->get("/query/api/exams");
        EXPECT_EQ(a.status, 200) << a.body;
        QList<qint64> ids;
        for (const QJsonValue &e : a.json.value("exams").toArray())
            ids << qint64(e.toObject().value("id").toDouble());
        return ids;
    }
    Answer report(qint64 exam) { return browser->get("/query/api/exams/" + std::to_string(exam)); }
    void setExam(qint64 exam, const char *column, const QVariant &value)
    {
        server->db().exec(QStringLiteral("UPDATE \"CJ_ExamTotal\" SET %1 = ? WHERE \"Id\" = ?").arg(Database::quoted(QString::fromLatin1(column))),
                          {value, exam});
    }
    QVariant yes() { return server->db().toDb(true, wire::FieldType::Boolean); }
    QVariant no() { return server->db().toDb(false, wire::FieldType::Boolean); }

    std::unique_ptr<QueryServer> server;
    std::unique_ptr<QueryClient> browser;
};

TEST_P(QueryReport, TheListHoldsThePublishedSchoolWideExamsHeSatNewestFirst)
{
    const QueryExams &x = server->exams;
    // Not the unpublished final, not the teacher's unit exam, not the exam he did not sit, not the
    // other school's exam nor the other intake's.
    EXPECT_EQ(listed(), QList<qint64>({x.midterm, x.monthly}));
    const Answer a = browser->get("/query/api/exams");
    const QJsonObject first = a.json.value("exams").toArray().first().toObject();
    EXPECT_EQ(first.value("name").toString(), "期中考试");
    EXPECT_EQ(first.value("date").toString(), "2026-11-12");
    EXPECT_EQ(first.value("grade").toString(), "七年级");
    EXPECT_EQ(a.header("Content-Type"), "application/json; charset=utf-8");
    EXPECT_EQ(a.header("Cache-Control"), "no-store");

    // Each student sees his own list.
    QueryClient b = server->client(), e = server->client(), d = server->client();
    ASSERT_EQ(b.signIn(kNumberB, kPasswordB).status, 200);
    ASSERT_EQ(e.signIn(kNumberE, kPasswordE).status, 200);
    ASSERT_EQ(d.signIn(kNumberA, kPasswordD).status, 200);
    const auto ids = [](QueryClient &c) {
        QList<qint64> out;
        for (const QJsonValue &v : c.get("/query/api/exams").json.value("exams").toArray())
            out << qint64(v.toObject().value("id").toDouble());
        return out;
    };
    EXPECT_EQ(ids(b), QList<qint64>({x.forB, x.midterm, x.monthly}));
    EXPECT_EQ(ids(e), QList<qint64>({x.otherIntake}));
    EXPECT_EQ(ids(d), QList<qint64>({x.otherSchool}));
}

TEST_P(QueryReport, AnExamHiddenAgainDisappearsFromListAndReportFrozenOrNot)
{
    const QueryExams &x = server->exams;
    ASSERT_EQ(report(x.midterm).status, 200) << "published and frozen: readable";
    setExam(x.midterm, "WXshowed", no());
    EXPECT_EQ(listed(), QList<qint64>({x.monthly}));
    const Answer gone = report(x.midterm);
    EXPECT_EQ(gone.status, 404);
    EXPECT_EQ(gone.error(), "没有找到这次考试的成绩。");
    EXPECT_FALSE(gone.json.contains("subjects"));

    setExam(x.monthly, "Freeze", yes());
    setExam(x.monthly, "WXshowed", no());
    EXPECT_TRUE(listed().isEmpty()) << "frozen and hidden";
    EXPECT_EQ(report(x.monthly).status, 404);
    setExam(x.monthly, "WXshowed", QVariant()); // never decided: not published
    EXPECT_TRUE(listed().isEmpty());

    // Published again, it is back.
    setExam(x.midterm, "WXshowed", yes());
    EXPECT_EQ(listed(), QList<qint64>({x.midterm}));
    EXPECT_EQ(report(x.midterm).status, 200);
}

TEST_P(QueryReport, HisOwnScoresRanksAndTotalsAsTheDatabaseHoldsThem)
{
    const Answer a = report(server->exams.midterm);
    ASSERT_EQ(a.status, 200) << a.body;
    const QJsonObject exam = a.json.value("exam").toObject();
    EXPECT_EQ(exam.value("name").toString(), "期中考试");
    EXPECT_EQ(exam.value("show").toInt(), 3);
    EXPECT_EQ(exam.value("showName").toString(), "显示分数和排名");
    EXPECT_EQ(exam.value("candidates").toInt(), 3);

    // Subjects in code order, then the totals the exam keeps, in the score sheet's order.
    QStringList names;
    for (const char *part : {"subjects", "totals"})
        for (const QJsonValue &v : a.json.value(QString::fromLatin1(part)).toArray())
            names << v.toObject().value("name").toString();
    EXPECT_EQ(names, QStringList({"语文", "数学", "体育", "全总分", "基总分", "主总分"}));

    auto lines = linesByName(a);
    EXPECT_EQ(lines["语文"].value("score").toString(), "112.5");
    EXPECT_EQ(lines["语文"].value("rank").toInt(), 1);
    EXPECT_EQ(lines["数学"].value("score").toString(), "90");
    EXPECT_EQ(lines["数学"].value("rank").toInt(), 2);
    EXPECT_EQ(lines["体育"].value("score").toString(), "A") << "a graded subject shows its step";
    EXPECT_EQ(lines["全总分"].value("score").toString(), "207.5");
    EXPECT_EQ(lines["全总分"].value("rank").toInt(), 2);
    EXPECT_EQ(lines["主总分"].value("score").toString(), "202.5");

    // A score stored later is read at once; one taken away shows as none, without a rank.
    server->db().exec("UPDATE \"CJ_Mark\" SET \"score\" = 119.25 WHERE \"examId\" = ? AND \"StudentCode\" = ? AND \"SubjectCode\" = '001'",
                      {server->exams.midterm, kStudentA});
    server->db().exec("DELETE FROM \"CJ_Mark\" WHERE \"examId\" = ? AND \"StudentCode\" = ? AND \"SubjectCode\" = '002'", {server->exams.midterm, kStudentA});
    lines = linesByName(report(server->exams.midterm));
    EXPECT_EQ(lines["语文"].value("score").toString(), "119.25");
    EXPECT_FALSE(lines["数学"].contains("score"));
    EXPECT_FALSE(lines["数学"].contains("rank"));
}

TEST_P(QueryReport, TheDisplayTypeDecidesWhatIsShown)
{
    const qint64 exam = server->exams.midterm;
    struct Case {
        QVariant type;
        bool score, level, rank;
    };
    const Case cases[] = {{"0", true, false, false},  {"1", false, true, false},        {"2", true, true, false},  {"3", true, false, true},
                          {"4", false, false, false}, {QVariant(), true, false, false}, {"9", false, false, false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.type.isNull() ? std::string("none") : c.type.toString().toStdString());
        setExam(exam, "markShowType", c.type);
        const Answer a = report(exam);
        ASSERT_EQ(a.status, 200) << a.body;
        const QJsonObject shows = a.json.value("exam").toObject().value("shows").toObject();
        EXPECT_EQ(shows.value("score").toBool(), c.score);
        EXPECT_EQ(shows.value("level").toBool(), c.level);
        EXPECT_EQ(shows.value("rank").toBool(), c.rank);
        const auto lines = linesByName(a);
        if (!c.score && !c.level && !c.rank) {
            EXPECT_TRUE(lines.empty()) << "nothing of the scores leaves the server";
            EXPECT_EQ(a.json.value("notice").toString(), "学校未公开本次考试的成绩。");
            EXPECT_EQ(a.body.find("112.5"), std::string::npos);
            continue;
        }
        EXPECT_EQ(lines.size(), 6u);
        for (const auto &[name, line] : lines) {
            SCOPED_TRACE(name.toStdString());
            EXPECT_EQ(line.contains("score"), c.score);
            EXPECT_EQ(line.contains("level"), c.level);
            EXPECT_EQ(line.contains("rank"), c.rank);
            EXPECT_TRUE(c.level || !line.contains("letter"));
        }
        EXPECT_EQ(QString::fromStdString(a.body).contains(QRegularExpression(QStringLiteral("\"rank\":\\d"))), c.rank) << "ranks are withheld, not hidden";
    }

    // Levels by the exam's marks, letters as the score page stored them.
    setExam(exam, "markShowType", "2");
    auto lines = linesByName(report(exam));
    EXPECT_EQ(lines["语文"].value("level").toString(), "优秀"); // 112.5, excellent from 96
    EXPECT_EQ(lines["语文"].value("letter").toString(), "A");
    EXPECT_EQ(lines["数学"].value("level").toString(), "良好"); // 90: good from 84
    EXPECT_FALSE(lines["数学"].contains("letter")) << "no letter stored";
    EXPECT_EQ(lines["体育"].value("level").toString(), "优秀");   // step 5
    EXPECT_EQ(lines["全总分"].value("level").toString(), "优秀"); // 207.5 of the header's 200
    EXPECT_EQ(lines["全总分"].value("letter").toString(), "B");
    EXPECT_EQ(lines["主总分"].value("level").toString(), "优秀"); // 202.5 of 190
    server->db().exec("UPDATE \"CJ_Mark\" SET \"score\" = 40 WHERE \"examId\" = ? AND \"StudentCode\" = ? AND \"SubjectCode\" = '002'", {exam, kStudentA});
    server->db().exec("UPDATE \"CJ_Mark\" SET \"score\" = 3 WHERE \"examId\" = ? AND \"StudentCode\" = ? AND \"SubjectCode\" = '003'", {exam, kStudentA});
    lines = linesByName(report(exam));
    EXPECT_EQ(lines["数学"].value("level").toString(), "合格"); // 40: qualified from 36, below the pass mark 72
    EXPECT_EQ(lines["体育"].value("level").toString(), "及格");
    EXPECT_EQ(lines["体育"].value("score").toString(), "C");
    setExam(exam, "markShowType", "1");
    lines = linesByName(report(exam));
    EXPECT_EQ(lines["体育"].value("level").toString(), "及格") << "a level without the score";
    EXPECT_FALSE(lines["体育"].contains("score"));
}

TEST_P(QueryReport, NoIdInThePathOrTheRequestReachesAnotherStudent)
{
    const QueryExams &x = server->exams;
    // Exams of others: not his, whatever their state.
    for (const qint64 id : {x.forB, x.otherSchool, x.otherIntake, x.unit, x.final, qint64(999999)}) {
        const Answer a = report(id);
        EXPECT_EQ(a.status, 404) << id;
        EXPECT_FALSE(a.json.contains("subjects")) << id;
    }
    // Ids that are not plain numbers.
    for (const char *path : {"/query/api/exams/0", "/query/api/exams/-1", "/query/api/exams/01", "/query/api/exams/1x", "/query/api/exams/",
                             "/query/api/exams/1/2", "/query/api/exams/99999999999999999999999"})
        EXPECT_EQ(browser->get(path).status, 404) << path;

    // Naming another student anywhere in the request changes nothing: the session decides whose.
    const std::string mine = report(x.midterm).body;
    ASSERT_NE(mine.find("112.5"), std::string::npos);
    const std::string b = kStudentB;
    for (const std::string &path : {"/query/api/exams/" + std::to_string(x.midterm) + "?student=" + b,
                                    "/query/api/exams/" + std::to_string(x.midterm) + "?sCode=" + b + "&StudentCode=" + b + "&sno=" + kNumberB}) {
        const Answer a = browser->get(path);
        EXPECT_EQ(a.status, 200) << path;
        EXPECT_EQ(a.body, mine) << path;
    }
    const Answer headers = browser->get("/query/api/exams/" + std::to_string(x.midterm), {{"X-Student", b}});
    EXPECT_EQ(headers.body, mine);
    EXPECT_EQ(browser->get("/query/api/me?sno=" + std::string(kNumberB)).json.value("student").toObject().value("name").toString(), "王小明");

    // B's scores of the same exam (101, 118, 223) appear nowhere in what A can read.
    for (const std::string &path : {std::string("/query/api/me"), std::string("/query/api/exams"), "/query/api/exams/" + std::to_string(x.midterm),
                                    "/query/api/exams/" + std::to_string(x.monthly)}) {
        const std::string body = browser->get(path).body;
        for (const char *theirs : {"\"101\"", "\"118\"", "\"223\"", "李小红", kNumberB})
            EXPECT_EQ(body.find(theirs), std::string::npos) << path << ' ' << theirs;
    }

    // A cookie that is not a session reads nothing.
    for (const char *cookie : {"lumeko_query=", "lumeko_query=abc", "lumeko_query={0000000B-0000-0000-0000-000000000002}",
                               "lumeko_query=0000000000000000000000000000000000000000000000000000000000000000"}) {
        QueryClient forged = server->client();
        forged.cookie = cookie;
        EXPECT_EQ(forged.get("/query/api/exams").status, 401) << cookie;
        EXPECT_EQ(forged.get("/query/api/exams/" + std::to_string(x.midterm)).status, 401) << cookie;
    }
}

TEST_P(QueryReport, ANameHoldingMarkupTravelsAsJsonText)
{
    const QString name = QStringLiteral("<script>alert(\"王\")</script><b>&amp;</b>"); // as long as a name may be
    server->db().exec("UPDATE \"XJ_Student\" SET \"sName\" = ? WHERE \"sCode\" = ?", {name, kStudentA});
    server->db().exec("UPDATE \"CJ_ExamTotal\" SET \"ExamName\" = ? WHERE \"Id\" = ?",
                      {QStringLiteral("期中<img src=x onerror=alert(1)></script><b>考试</b>"), server->exams.midterm});
    const Answer me = browser->get("/query/api/me");
    ASSERT_EQ(me.status, 200);
    EXPECT_EQ(me.header("Content-Type"), "application/json; charset=utf-8") << "never HTML";
    EXPECT_EQ(me.header("X-Content-Type-Options"), "nosniff") << "and never sniffed as HTML";
    EXPECT_EQ(me.json.value("student").toObject().value("name").toString(), name) << "the text itself, for the page to show as text";
    const Answer exams = browser->get("/query/api/exams");
    EXPECT_EQ(exams.json.value("exams").toArray().first().toObject().value("name").toString(), "期中<img src=x onerror=alert(1)></script><b>考试</b>");
    // The page itself is the same for everybody: no data is ever put into its HTML.
    const Answer page = browser->get("/query/");
    EXPECT_EQ(page.body.find("script>alert"), std::string::npos);
    EXPECT_EQ(page.body.find("王小明"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Backends, QueryReport, ::testing::Values(Backend::Sqlite, Backend::Postgres), backendParamName);

} // namespace
