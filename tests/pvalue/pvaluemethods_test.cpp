// The P-value methods on both back ends over the worked example of docs/statistics.md ("P value"):
// the record's settings through UpPVal, the counts and the two formulas through CalPVal with each
// of its answers, and reading and deleting records, with the rights they need.

#include "fixtureschool.h"
#include "pvalueschool.h"
#include "server/seed/seed.h"
#include "server/storage/schema.h"

#include <gtest/gtest.h>

using namespace lumeko;
using namespace lumeko::server;
using namespace lumeko::server::testing;
using namespace lumeko::pvalue::testing;
using wire::ErrorCode;
using wire::RowStatus;

namespace {

// The worked example's P′ and P with its entered values 0.9, 0.8, 0.95 and 2 (docs/statistics.md):
// P′ = 121/1750 + 3/35 + 1/35 + 1/15 + 1/70 = 1388/5250; P = (P′ + 0.09 + 0.08) × 95 + 2.
constexpr double kExampleP1 = 1388.0 / 5250.0;
constexpr double kExampleP = (kExampleP1 + 0.09 + 0.08) * 95 + 2;

class PValueMethodsTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override
    {
        LUMEKO_REQUIRE_BACKEND(GetParam());
        fx = std::make_unique<ServiceFixture>(GetParam());
        exam = seedFinalExam(fx->db());
        seedPValueRights(fx->db());
        admin = fx->signIn("admin", "lumeko");
    }

    // A record of the exam as the dialog makes it, with the worked example's settings.
    QVariantList newRecord(const QVariant &examId) const
    {
        const TableDef &t = schemaTable(u"CJ_ZLPG_P");
        QVariantList v(t.columns.size());
        const auto set = [&](const char *column, const QVariant &value) { v[t.columnIndex(QString::fromLatin1(column))] = value; };
        set("SchoolCode", "S1");
        set("InYear", 2024);
        set("GradeCode", "1901");
        set("ExamCode", "002");
        set("nExamId", examId);
        set("SchoolType", QStringLiteral("初中"));
        set("DCreate", QDateTime(QDate(2020, 1, 1), QTime(0, 0)));
        set("SCreater", QStringLiteral("别人"));
        set("sSubjects6", "001,002,004");
        set("sSubjects10", "001,002,004;005");
        set("sTypes", QStringLiteral("统招生"));
        set("sSumGS", kStoredP1);
        set("sSumGSP", kStoredP);
        set("nDYValue", 0.9);
        set("nTWYSJYValue", 0.8);
        set("nGGPre3", 0.95);
        set("nRangeValue", 2);
        return v;
    }
    static wire::ChangePacket records(QList<wire::RowChange> rows) { return {schemaTable(u"CJ_ZLPG_P").fieldDefs(), std::move(rows)}; }
    static int column(const char *name) { return schemaTable(u"CJ_ZLPG_P").columnIndex(QString::fromLatin1(name)); }

    // UpPVal's error count (-1 when the call failed) and message.
    std::pair<qint64, QString> save(const wire::ChangePacket &p, const QString &token = {})
    {
        const wire::Reply r = fx->call("AchieveUp", "UpPVal", {val(p), val(qint64(-1)), ref(qint64(0))}, token.isEmpty() ? admin : token);
        if (!r.ok()) return {-1, r.message};
        return {std::get<qint64>(r.refs[2]), r.message};
    }
    // The stored record of the exam as UpPVal has it, read back through QPVal.
    wire::DataPacket recordOf(qint64 examId)
    {
        const wire::Reply r = fx->call("AchieveQry", "QPVal", {txt("S1"), val(examId), ref(qint64(1))}, admin);
        EXPECT_TRUE(r.ok()) << r.message.toStdString();
        return r.ok() ? std::get<wire::DataPacket>(r.result) : wire::DataPacket();
    }
    QVariantList storedRow()
    {
        const wire::DataPacket p = recordOf(exam);
        QVariantList v;
        if (p.rowCount() == 0) return v;
        for (int f = 0; f < p.fields().size(); ++f)
            v << p.value(0, f);
        return v;
    }
    // Makes the worked example's record; answers its NID.
    qint64 makeRecord()
    {
        const auto [errors, why] = save(records({{RowStatus::Inserted, {}, newRecord(exam)}}));
        EXPECT_EQ(errors, 0) << why.toStdString();
        return fx->db().scalar("SELECT \"NID\" FROM \"CJ_ZLPG_P\" WHERE \"nExamId\" = ?", {exam}).toLongLong();
    }
    // Changes stored settings the way the dialog does: the row as read, then the new values.
    void change(const std::initializer_list<std::pair<const char *, QVariant>> &values)
    {
        const QVariantList before = storedRow();
        QVariantList after = before;
        for (const auto &[name, value] : values)
            after[column(name)] = value;
        const auto [errors, why] = save(records({{RowStatus::Modified, before, after}}));
        ASSERT_EQ(errors, 0) << why.toStdString();
    }
    // CalPVal's answer (-1 when the call failed) and message.
    std::pair<qint64, QString> calculate(const QString &key, qint64 inYear = 2024, const QString &token = {})
    {
        const wire::Reply r = fx->call("AchieveUp", "CalPVal", {txt("S1"), ref(key), val(inYear)}, token.isEmpty() ? admin : token);
        if (!r.ok()) return {-1, r.message};
        return {std::get<qint64>(r.result), r.message};
    }
    QString key() const { return QString::number(exam); }
    QVariant stored(const char *field)
    {
        return fx->db().scalar(QStringLiteral("SELECT %1 FROM \"CJ_ZLPG_P\" WHERE \"nExamId\" = ?").arg(Database::quoted(QString::fromLatin1(field))), {exam});
    }
    // The counts as stored: shouldSit, dropOuts, totals, full mark, graduates, pass all, pass sum, excellent.
    QList<double> counts()
    {
        QList<double> out;
        for (const char *f : {"nMastNums", "nLeaveNums", "nTotals", "nFullTotal6", "nPass6Nums", "nPass10Nums", "nPass10TotalNums", "nExcel6Nums"})
            out << (stored(f).isNull() ? -1 : stored(f).toDouble());
        return out;
    }

    std::unique_ptr<ServiceFixture> fx;
    qint64 exam = 0;
    QString admin;
};

// ---- the settings --------------------------------------------------------------------------------

TEST_P(PValueMethodsTest, ANewRecordFollowsItsExamAndIsStampedByTheServer)
{
    QVariantList row = newRecord(exam);
    row[column("InYear")] = QVariant();
    row[column("GradeCode")] = QVariant();
    row[column("ExamCode")] = QVariant();
    const auto [errors, why] = save(records({{RowStatus::Inserted, {}, row}}));
    ASSERT_EQ(errors, 0) << why.toStdString();
    EXPECT_EQ(stored("InYear").toInt(), 2024) << "the exam's fields come from the exam";
    EXPECT_EQ(stored("GradeCode").toString(), "1901");
    EXPECT_EQ(stored("ExamCode").toString(), "002");
    EXPECT_EQ(stored("SCreater").toString(), QStringLiteral("管理员")) << "whoever the row names, the signed-in user made it";
    EXPECT_EQ(stored("DCreate").toDateTime().toUTC(), fx->now.toUTC());
    EXPECT_EQ(stored("sSumGS").toString(), kStoredP1);
    EXPECT_TRUE(stored("NP").isNull()) << "nothing is computed yet";

    // The settings and entered values change; the record's exam, maker and results do not.
    change({{"nDYValue", 0.85}, {"sTypes", QStringLiteral("统招生,借读生")}, {"sSumGSP", QStringLiteral("[NP1]*100")}});
    EXPECT_EQ(stored("nDYValue").toDouble(), 0.85);
    EXPECT_EQ(stored("sTypes").toString(), QStringLiteral("统招生,借读生"));
    EXPECT_EQ(stored("sSumGSP").toString(), "[NP1]*100");
    const QVariantList before = storedRow();
    const struct {
        const char *field;
        QVariant value;
        const char *says;
    } refusals[] = {{"NP", 99.5, "computed"},
                    {"nMastNums", 3, "computed"},
                    {"nExamId", exam + 1, "fixed"},
                    {"SCreater", QStringLiteral("王老师"), "fixed"},
                    {"sSubjects10", "001,,002", "sSubjects10"},
                    {"sSubjects10", "001,001;004", "sSubjects10"},
                    {"sSubjects10", "001;002;004;005;011;003;006;007;008;009;010", "at most 10"},
                    {"sSubjects6", "1,2", "sSubjects6"},
                    {"sTypes", QStringLiteral("统招生,,借读生"), "sTypes"}};
    for (const auto &r : refusals) {
        QVariantList after = before;
        after[column(r.field)] = r.value;
        after[column("nRangeValue")] = 7; // a good change beside the bad one
        const auto [count, message] = save(records({{RowStatus::Modified, before, after}}));
        EXPECT_EQ(count, 1) << r.field;
        EXPECT_TRUE(message.contains(QString::fromLatin1(r.says))) << r.field << ": " << message.toStdString();
    }
    EXPECT_EQ(storedRow(), before) << "a refused row stores nothing of the call";
    const auto [count, message] = save(records({{RowStatus::Deleted, before, {}}}));
    EXPECT_EQ(count, 1);
    EXPECT_TRUE(message.contains("DelPVal")) << message.toStdString();
    EXPECT_EQ(recordOf(exam).rowCount(), 1);
}

TEST_P(PValueMethodsTest, OneRecordPerSchoolWideExamOfTheSchool)
{
    Database &db = fx->db();
    const qint64 unit =
        db.insertReturningId("INSERT INTO \"CJ_ExamTotal\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", \"ExamName\") "
                             "VALUES ('S1', '1901', 2024, '009', ?, ?)",
                             {kTeacherCode, QStringLiteral("单元测验")}, "Id");
    const qint64 other =
        db.insertReturningId("INSERT INTO \"CJ_ExamTotal\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", \"ExamName\") "
                             "VALUES ('S2', '1901', 2024, '002', ?, ?)",
                             {kNoPage, QStringLiteral("期末考试")}, "Id");
    QVariantList wrongYear = newRecord(exam);
    wrongYear[column("InYear")] = 2025;
    QVariantList computed = newRecord(exam);
    computed[column("NP1")] = 0.5;
    QVariantList badRange = newRecord(exam);
    badRange[column("sTypes")] = QStringLiteral("统招生;借读生");
    const struct {
        const char *what;
        QVariantList row;
        const char *says;
    } refusals[] = {{"a unit exam", newRecord(unit), "unit exam"},        {"another school's exam", newRecord(other), "no exam"},
                    {"no exam at all", newRecord(QVariant()), "nExamId"}, {"an intake year that is not the exam's", wrongYear, "InYear 2025"},
                    {"a result written by hand", computed, "NP1"},        {"a malformed range", badRange, "sTypes"}};
    for (const auto &r : refusals) {
        const auto [errors, why] = save(records({{RowStatus::Inserted, {}, r.row}}));
        EXPECT_EQ(errors, 1) << r.what;
        EXPECT_TRUE(why.contains(QString::fromLatin1(r.says))) << r.what << ": " << why.toStdString();
    }
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM \"CJ_ZLPG_P\"").toInt(), 0);

    // Two at once for one exam, then a second one later: the first stands alone.
    EXPECT_EQ(save(records({{RowStatus::Inserted, {}, newRecord(exam)}, {RowStatus::Inserted, {}, newRecord(exam)}})).first, 1);
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM \"CJ_ZLPG_P\"").toInt(), 0);
    makeRecord();
    const auto [errors, why] = save(records({{RowStatus::Inserted, {}, newRecord(exam)}}));
    EXPECT_EQ(errors, 1);
    EXPECT_TRUE(why.contains("already")) << why.toStdString();
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM \"CJ_ZLPG_P\"").toInt(), 1);
}

// ---- the counts ---------------------------------------------------------------------------------

TEST_P(PValueMethodsTest, TheWorkedExampleCountsAndItsPValue)
{
    const qint64 nid = makeRecord();
    const auto [answer, why] = calculate(key());
    ASSERT_EQ(answer, 0) << why.toStdString();
    // Should sit: P01–P05 (graduated, at school, on leave); drop-outs P06 and P07; P08 moved away,
    // P09 is a 借读生, P10 and P11 are of another stage or intake.
    // Totals 235 + 170 + 140 + 60 + 0; lines 75 and 225 of 250; 语文 3, 数学 2, 物理+化学 2 passing.
    EXPECT_EQ(counts(), (QList<double>{5, 2, 605, 250, 3, 2, 7, 1}));
    EXPECT_NEAR(stored("NP1").toDouble(), kExampleP1, 1e-12);
    EXPECT_NEAR(stored("NP").toDouble(), kExampleP, 1e-9);
    EXPECT_NEAR(stored("NP").toDouble(), 43.2662, 1e-4);

    const wire::Reply d = fx->call("AchieveQry", "QPValDetail", {txt("S1"), val(nid)}, admin);
    ASSERT_TRUE(d.ok()) << d.message.toStdString();
    const wire::DataPacket rows = std::get<wire::DataPacket>(d.result);
    ASSERT_EQ(rows.rowCount(), 3) << "one row per entry; the merged pair is one";
    QStringList items;
    for (qsizetype r = 0; r < rows.rowCount(); ++r)
        items << QStringLiteral("%1 %2 %3 %4 %5")
                     .arg(rows.value(r, rows.fieldIndex(u"nRow")).toInt())
                     .arg(rows.value(r, rows.fieldIndex(u"SubjectCode")).toString(), rows.value(r, rows.fieldIndex(u"sItem")).toString())
                     .arg(rows.value(r, rows.fieldIndex(u"nValue")).toInt())
                     .arg(rows.value(r, rows.fieldIndex(u"nPercent")).toDouble(), 0, 'f', 2);
    EXPECT_EQ(items, (QStringList{QStringLiteral("1 001 语文 3 42.86"), QStringLiteral("2 002 数学 2 28.57"), QStringLiteral("3 004;005 物理+化学 2 28.57")}));

    // Computing again gives the same and replaces the detail rows instead of adding to them.
    ASSERT_EQ(calculate(key()).first, 0);
    EXPECT_EQ(fx->db().scalar("SELECT COUNT(*) FROM \"CJ_ZLPG_PDetail\" WHERE \"NID\" = ?", {nid}).toInt(), 3);
    EXPECT_EQ(counts(), (QList<double>{5, 2, 605, 250, 3, 2, 7, 1}));
}

TEST_P(PValueMethodsTest, RangeRosterAndMergedSubjectsDecideWhoAndWhatIsCounted)
{
    makeRecord();
    // Both types: P09 (a 借读生 with 250) joins: 6 should sit, all six lines and entries reached by him.
    change({{"sTypes", QStringLiteral("统招生,借读生")}});
    ASSERT_EQ(calculate(key()).first, 0);
    EXPECT_EQ(counts(), (QList<double>{6, 2, 855, 250, 4, 3, 10, 2}));
    // P′ = (855/8)/250×0.2 + 4/8×0.2 + 3/8×0.1 + 10/24×0.2 + 2/8×0.1
    EXPECT_NEAR(stored("NP1").toDouble(), 0.0855 + 0.1 + 0.0375 + 10.0 / 24 * 0.2 + 0.025, 1e-12);

    // The four subjects each on their own: four entries, and P03 (物理 20) no longer passes all.
    change({{"sTypes", QStringLiteral("统招生")}, {"sSubjects10", "001,002,004,005"}, {"sSumGS", QStringLiteral("[nPass10TotalNums]/4+[nPass10Nums]")}});
    ASSERT_EQ(calculate(key()).first, 0);
    EXPECT_EQ(counts(), (QList<double>{5, 2, 605, 250, 3, 1, 9, 1})) << "物理: P01, P02; 化学: P01, P03";
    EXPECT_EQ(stored("NP1").toDouble(), 9.0 / 4 + 1);

    // The picked students: 一班 only (P01–P03; P08 moved away), then everybody but P03.
    change({{"sTypes", QStringLiteral("统招生,已选名单")}, {"sSubjects10", "001,002,004;005"}, {"sSumGS", kStoredP1}});
    ASSERT_EQ(calculate(key() + QStringLiteral(";001;")).first, 0);
    EXPECT_EQ(counts(), (QList<double>{3, 0, 545, 250, 3, 2, 7, 1}));
    ASSERT_EQ(calculate(key() + QStringLiteral(";{P03}")).first, 0);
    EXPECT_EQ(counts(), (QList<double>{4, 2, 465, 250, 2, 1, 4, 1}));
    // "已选名单" alone: the picked students of every type.
    change({{"sTypes", QStringLiteral("已选名单")}});
    ASSERT_EQ(calculate(key() + QStringLiteral(";002;")).first, 0);
    EXPECT_EQ(counts(), (QList<double>{3, 2, 310, 250, 1, 1, 3, 1})) << "P04, P05, P09 sit; P06, P07 dropped out";
}

TEST_P(PValueMethodsTest, EveryFailureAnswersItsNumberAndStoresNothing)
{
    const qint64 nid = makeRecord();
    ASSERT_EQ(calculate(key()).first, 0);
    const QList<double> good = counts();
    const double p = stored("NP").toDouble();

    const auto expectUnchanged = [&](const char *what) {
        EXPECT_EQ(counts(), good) << what;
        EXPECT_EQ(stored("NP").toDouble(), p) << what;
        EXPECT_EQ(fx->db().scalar("SELECT COUNT(*) FROM \"CJ_ZLPG_PDetail\" WHERE \"NID\" = ?", {nid}).toInt(), 3) << what;
    };
    const auto expectAnswer = [&](qint64 wanted, const QString &examKey, qint64 inYear, const char *what, const char *says) {
        const auto [answer, why] = calculate(examKey, inYear);
        EXPECT_EQ(answer, wanted) << what << ": " << why.toStdString();
        EXPECT_TRUE(why.contains(QString::fromUtf8(says))) << what << ": " << why.toStdString();
        expectUnchanged(what);
    };

    // 1: the settings cannot be read.
    expectAnswer(1, key(), 2025, "another intake year", "intake year 2024");
    expectAnswer(1, QStringLiteral("abc"), 2024, "a key that is no exam id", "exam id");
    expectAnswer(1, QString::number(exam + 1000), 2024, "an exam that is not there", "no exam");
    expectAnswer(1, key() + QStringLiteral(";001;"), 2024, "a roster the range does not count", "已选名单");
    change({{"sTypes", QStringLiteral("统招生,已选名单")}});
    expectAnswer(1, key(), 2024, "the picked students without a roster", "no roster");
    change({{"sTypes", QStringLiteral("统招生")}});
    fx->db().exec("UPDATE \"CJ_ZLPG_P\" SET \"sSubjects6\" = '001,,002' WHERE \"NID\" = ?", {nid});
    expectAnswer(1, key(), 2024, "settings stored past UpPVal", "sSubjects6");
    fx->db().exec("UPDATE \"CJ_ZLPG_P\" SET \"sSubjects6\" = '001,002,004' WHERE \"NID\" = ?", {nid});

    // 2: the counts cannot be made.
    change({{"sSubjects6", "001,002,003"}});
    expectAnswer(2, key(), 2024, "a subject the exam does not have", "003 is not a subject");
    change({{"sSubjects6", "001,002,004"}, {"sSubjects10", "001,002,004;005,011"}});
    fx->db().exec("UPDATE \"CJ_ExamSubject\" SET \"PassMark\" = NULL WHERE \"SubjectCode\" = '011'");
    expectAnswer(2, key(), 2024, "a subject without its pass mark", "PassMark");
    change({{"sSubjects10", "001,002,004;005"}});

    // 3: a formula cannot be evaluated: division by zero, an untranslated name, a missing value.
    change({{"sTypes", QStringLiteral("借读生")}, {"sSumGS", QStringLiteral("[nTotals]/[nLeaveNums]")}});
    expectAnswer(3, key(), 2024, "no drop-out among the 借读生", "division by zero");
    change({{"sTypes", QStringLiteral("统招生")}, {"sSumGS", QStringLiteral("[总分之和]/2")}});
    expectAnswer(3, key(), 2024, "a Chinese name left in the formula", "sSumGS");
    change({{"sSumGS", kStoredP1}, {"nDYValue", QVariant()}});
    expectAnswer(3, key(), 2024, "no 德育评估值", "nDYValue");
    change({{"nDYValue", 0.9}, {"sTypes", QStringLiteral("港澳台生")}});
    expectAnswer(3, key(), 2024, "nobody in the range: every default quotient divides by zero", "division by zero");

    // A record-less exam, and another school's id.
    fx->db().exec("DELETE FROM \"CJ_ZLPG_PDetail\"");
    fx->db().exec("DELETE FROM \"CJ_ZLPG_P\"");
    const auto [answer, why] = calculate(key());
    EXPECT_EQ(answer, 1);
    EXPECT_TRUE(why.contains("no P-value record")) << why.toStdString();
}

// ---- reading, deleting, rights ---------------------------------------------------------------------

TEST_P(PValueMethodsTest, RecordsAreReadByExamOrKeyAndDeletedWithTheirDetails)
{
    const qint64 nid = makeRecord();
    ASSERT_EQ(calculate(key()).first, 0);
    Database &db = fx->db();
    const qint64 other = db.insertReturningId("INSERT INTO \"CJ_ZLPG_P\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"ExamCode\", \"nExamId\") "
                                              "VALUES ('S2', 2024, '1901', '002', ?)",
                                              {exam}, "NID");
    db.exec("INSERT INTO \"CJ_ZLPG_PDetail\" (\"NID\", \"nRow\") VALUES (?, 1)", {other});

    const auto page = [&](const QString &text) {
        const wire::Reply r = fx->call("AchieveQry", "QPVal", {txt("S1"), val(text), val(qint64(0))}, admin);
        if (!r.ok()) return QStringList{QStringLiteral("error: ") + r.message};
        const wire::DataPacket p = std::get<wire::DataPacket>(r.result);
        QStringList out;
        for (qsizetype row = 0; row < p.rowCount(); ++row)
            out << p.value(row, p.fieldIndex(u"NID")).toString();
        return out;
    };
    EXPECT_EQ(page("2024,1901,002"), QStringList{QString::number(nid)});
    const wire::Reply named = fx->call("AchieveQry", "QPVal", {txt("S1"), val(QStringLiteral("2024,1901,002")), val(qint64(0))}, admin);
    ASSERT_TRUE(named.ok());
    const wire::DataPacket withName = std::get<wire::DataPacket>(named.result);
    EXPECT_EQ(withName.value(0, withName.fieldIndex(u"ExamName")).toString(), QStringLiteral("期末考试")) << "the page shows the exam's own name";
    EXPECT_LT(recordOf(exam).fieldIndex(u"ExamName"), 0) << "the dialog's record is the table's columns, which UpPVal takes back";
    EXPECT_EQ(page("2024,1901,001"), QStringList{});
    EXPECT_EQ(page(""), QStringList{QString::number(nid)}) << "every record of the school, and only of the school";
    EXPECT_TRUE(page("2024,1901").value(0).startsWith("error: ")) << "a key the page never sends";
    EXPECT_EQ(recordOf(exam).rowCount(), 1);
    EXPECT_EQ(recordOf(exam + 1).rowCount(), 0);
    const wire::Reply foreign = fx->call("AchieveQry", "QPValDetail", {txt("S1"), val(other)}, admin);
    ASSERT_TRUE(foreign.ok());
    EXPECT_EQ(std::get<wire::DataPacket>(foreign.result).rowCount(), 0) << "another school's details stay there";

    const auto remove = [&](qint64 id) {
        const wire::Reply r = fx->call("AchieveUp", "DelPVal", {txt("S1"), val(id)}, admin);
        return r.ok() ? std::get<qint64>(r.result) : -1;
    };
    EXPECT_EQ(remove(other), 0);
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM \"CJ_ZLPG_PDetail\" WHERE \"NID\" = ?", {other}).toInt(), 1);
    EXPECT_EQ(remove(nid), 1);
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM \"CJ_ZLPG_PDetail\" WHERE \"NID\" = ?", {nid}).toInt(), 0);
    EXPECT_EQ(remove(nid), 0);
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM \"CJ_ZLPG_P\"").toInt(), 1);
}

TEST_P(PValueMethodsTest, ReadingNeedsThePageAndWritingItsComputingKey)
{
    makeRecord();
    const QString wang = fx->signIn("wang", "pw6");
    const auto error = [&](const char *object, const char *method, QList<wire::Argument> args) {
        return fx->call(object, method, std::move(args), wang).error;
    };
    EXPECT_EQ(error("AchieveQry", "QPVal", {txt("S1"), val(QString()), val(qint64(0))}), ErrorCode::Forbidden);
    fx->db().exec("INSERT INTO \"XT_RoleRight\" (\"iRole\", \"sFunId\") VALUES (6, '4032')");
    const QString again = fx->signIn("wang", "pw6");
    EXPECT_EQ(fx->call("AchieveQry", "QPVal", {txt("S1"), val(QString()), val(qint64(0))}, again).error, ErrorCode::None);
    EXPECT_EQ(fx->call("AchieveUp", "CalPVal", {txt("S1"), ref(key()), val(qint64(2024))}, again).error, ErrorCode::Forbidden);
    EXPECT_EQ(fx->call("AchieveUp", "DelPVal", {txt("S1"), val(qint64(1))}, again).error, ErrorCode::Forbidden);
    EXPECT_TRUE(stored("NP").isNull());
    // The other school's administrator may not name ours.
    const QString li = fx->signIn("li", "pw2");
    EXPECT_EQ(fx->call("AchieveUp", "CalPVal", {txt("S1"), ref(key()), val(qint64(2024))}, li).error, ErrorCode::Forbidden);
}

INSTANTIATE_TEST_SUITE_P(Backends, PValueMethodsTest, ::testing::Values(Backend::Sqlite, Backend::Postgres), backendParamName);

} // namespace

namespace {

// A school's database of an earlier release gets the P-value page and its key, after the
// functions it has, for the administrator and the grade leaders only.
class PValueSeedTest : public ::testing::TestWithParam<Backend> {};

TEST_P(PValueSeedTest, AnEarlierDatabaseGetsThePValueRights)
{
    LUMEKO_REQUIRE_BACKEND(GetParam());
    TestDatabase testDb(GetParam());
    const std::unique_ptr<Database> db = testDb.open();
    seedSystemData(*db);
    db->exec("DELETE FROM \"XT_RoleRight\" WHERE \"sFunId\" IN ('4032', '403201')");
    db->exec("DELETE FROM \"XT_Function\" WHERE \"sFunId\" IN ('4032', '403201')");
    db->exec("UPDATE \"XT_Registry\" SET \"sValue\" = '2' WHERE \"sSection\" = 'Lumeko' AND \"sKey\" = 'SystemDataLevel'");
    const int last = db->scalar("SELECT MAX(\"iOrder\") FROM \"XT_Function\"").toInt();
    seedSystemData(*db);
    const wire::DataPacket rows = db->select("SELECT \"sFunId\", \"sParFunId\", \"sFunKey\", \"sFunName\", \"sImg\", \"iOrder\" FROM \"XT_Function\" "
                                             "WHERE \"sFunId\" IN ('4032', '403201') ORDER BY \"sFunId\"",
                                             {}, schemaTable(u"XT_Function").fieldDefs({"sFunId", "sParFunId", "sFunKey", "sFunName", "sImg", "iOrder"}));
    ASSERT_EQ(rows.rowCount(), 2);
    EXPECT_EQ(rows.value(0, 1).toString(), "40") << "a page of the module";
    EXPECT_EQ(rows.value(0, 3).toString(), QStringLiteral("P值"));
    EXPECT_EQ(rows.value(0, 4).toString(), "Cal");
    EXPECT_TRUE(rows.value(0, 2).isNull());
    EXPECT_EQ(rows.value(1, 1).toString(), "4032");
    EXPECT_EQ(rows.value(1, 2).toString(), "Manager");
    EXPECT_GT(rows.value(0, 5).toInt(), last) << "listed after the functions there were";
    const wire::DataPacket roles = db->select("SELECT DISTINCT \"iRole\" FROM \"XT_RoleRight\" WHERE \"sFunId\" IN ('4032', '403201') ORDER BY \"iRole\"", {},
                                              {{"iRole", wire::FieldType::Integer, 0, 0}});
    ASSERT_EQ(roles.rowCount(), 2);
    EXPECT_EQ(roles.value(0, 0).toInt(), 1);
    EXPECT_EQ(roles.value(1, 0).toInt(), 3);
}

INSTANTIATE_TEST_SUITE_P(Backends, PValueSeedTest, ::testing::Values(Backend::Sqlite, Backend::Postgres), backendParamName);

} // namespace
