// The reference data and the generated demo school, on both back ends: what the pages rely on is
// there, seeding again changes nothing an administrator did, and the demo school's tables agree with
// each other the way the pages and the ranking rules expect.

#include "testdb.h"

#include "server/seed/seed.h"
#include "server/storage/schema.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSet>

#include <gtest/gtest.h>

#include <cmath>
#include <map>

using namespace lumeko;
using namespace lumeko::server;
using namespace lumeko::server::testing;
using wire::FieldType;

namespace {

using Rows = QList<QVariantList>;

// Runs a query whose columns have the given types and returns its rows.
Rows query(Database &db, const QString &sql, const QVariantList &params, const QList<FieldType> &types)
{
    QList<wire::FieldDef> fields;
    for (int i = 0; i < types.size(); ++i) fields.append({QStringLiteral("c%1").arg(i), types[i]});
    const wire::DataPacket p = db.select(sql, params, fields);
    Rows out;
    for (qsizetype r = 0; r < p.rowCount(); ++r) out << p.row(r);
    return out;
}

QStringList texts(Database &db, const QString &sql, const QVariantList &params = {})
{
    QStringList out;
    for (const QVariantList &r : query(db, sql, params, {FieldType::Text})) out << r[0].toString();
    return out;
}

qint64 count(Database &db, const QString &table, const char *where = "1 = 1")
{
    return db.scalar(QStringLiteral("SELECT count(*) FROM %1 WHERE %2").arg(Database::quoted(table), QLatin1String(where))).toLongLong();
}

// A registry list in its order: key → value, as the pages read it; list names ignore letter case.
QList<QPair<QString, QString>> regList(Database &db, const QString &name)
{
    QList<QPair<QString, QString>> out;
    for (const QVariantList &r : query(db,
                                       "SELECT \"sKeyId\", \"sValue\" FROM \"XT_RegList\" WHERE lower(\"sListName\") = lower(?) "
                                       "ORDER BY \"iOrder\"",
                                       {name}, {FieldType::Text, FieldType::Text}))
        out.append({r[0].toString(), r[1].toString()});
    return out;
}

const QStringList kReferenceTables = {"XT_RegList", "XT_Registry", "XT_Fields", "XT_GradeName",
                                      "XT_Function", "XT_RoleRight", "CJ_ExamInfo"};

// A stand-in for the real password hashing that the test can undo.
QString fakeHash(const QString &password) { return QStringLiteral("hash:") + password; }
bool fakeVerify(const QString &stored, const QString &password)
{
    return stored.startsWith(u"hash:") && stored.mid(5) == password;
}

DemoOptions smallSchool(quint32 seed = 20120901)
{
    DemoOptions o;
    o.seed = seed;
    o.hashPassword = fakeHash;
    o.scale = 0.05;
    o.today = QDate(2026, 12, 6);
    return o;
}

class SeedTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override
    {
        LUMEKO_REQUIRE_BACKEND(GetParam());
        m_testDb = std::make_unique<TestDatabase>(GetParam());
        db = m_testDb->open();
    }

    std::unique_ptr<TestDatabase> m_testDb;
    std::unique_ptr<Database> db;
};

// --- reference data ---------------------------------------------------------------------------------

TEST_P(SeedTest, SystemDataAddsOnlyWhatTheDatabaseNeverHad)
{
    seedSystemData(*db);
    std::map<QString, qint64> first;
    for (const QString &t : kReferenceTables) {
        first[t] = count(*db, t);
        EXPECT_GT(first[t], 0) << t.toStdString();
    }

    // An administrator renames a state and drops a class type the school does not use.
    ASSERT_EQ(db->exec("UPDATE \"XT_RegList\" SET \"sValue\" = ? WHERE \"sListName\" = ? AND \"sKeyId\" = ?",
                       {QStringLiteral("在校"), QStringLiteral("StudState"), QStringLiteral("00")}),
              1);
    ASSERT_EQ(db->exec("DELETE FROM \"XT_RegList\" WHERE \"sListName\" = ? AND \"sKeyId\" = ?",
                       {QStringLiteral("ClassType"), QStringLiteral("5")}),
              1);
    seedSystemData(*db);
    for (const QString &t : kReferenceTables)
        EXPECT_EQ(count(*db, t), first[t] - (t == "XT_RegList" ? 1 : 0)) << t.toStdString() << ": a second run adds nothing";
    EXPECT_EQ(regList(*db, "StudState").first(), qMakePair(QStringLiteral("00"), QStringLiteral("在校")));

    // A database that never recorded its level (seeded by hand, say) gets the missing rows back,
    // and still keeps the edited value.
    db->exec("DELETE FROM \"XT_Registry\" WHERE \"sSection\" = ? AND \"sKey\" = ?",
             {QStringLiteral("Lumeko"), QStringLiteral("SystemDataLevel")});
    seedSystemData(*db);
    for (const QString &t : kReferenceTables) EXPECT_EQ(count(*db, t), first[t]) << t.toStdString();
    EXPECT_EQ(regList(*db, "StudState").first().second, QStringLiteral("在校"));
}

// A database seeded by the first release gets the score history's right for the administrator
// and the grade leaders and the score sheet's shorter default columns, and nothing it had is put back.
TEST_P(SeedTest, ALevelOneDatabaseGetsTheScoreHistoryRight)
{
    seedSystemData(*db);
    db->exec("DELETE FROM \"XT_RoleRight\" WHERE \"sFunId\" = '401108'");
    db->exec("DELETE FROM \"XT_Function\" WHERE \"sFunId\" = '401108'");
    db->exec("DELETE FROM \"XT_RoleRight\" WHERE \"iRole\" = 6 AND \"sFunId\" = '401106'"); // the school's own choice
    db->exec("UPDATE \"XT_Registry\" SET \"sValue\" = '1' WHERE \"sSection\" = 'Lumeko' AND \"sKey\" = 'SystemDataLevel'");
    db->exec("UPDATE \"XT_Fields\" SET \"bShowed\" = ? WHERE \"sTable\" = 'CJ_Mark'", {db->toDb(true, wire::FieldType::Boolean)}); // as level 1 left them
    seedSystemData(*db);
    EXPECT_EQ(count(*db, "XT_Fields", "\"sTable\" = 'CJ_Mark' AND \"sFldName\" IN ('sArea', 'sType', 'sOldSchool') AND \"bShowed\" = false"), 3)
        << "the score sheet opens with name, class and seat beside the scores";
    EXPECT_EQ(count(*db, "XT_Fields", "\"sTable\" = 'CJ_Mark' AND \"sFldName\" = 'sName' AND \"bShowed\" = true"), 1);
    EXPECT_EQ(db->scalar("SELECT \"sFunKey\" FROM \"XT_Function\" WHERE \"sFunId\" = '401108'").toString(), "Manager");
    EXPECT_EQ(count(*db, "XT_RoleRight", "\"sFunId\" = '401108'"), 2);
    EXPECT_EQ(count(*db, "XT_RoleRight", "\"iRole\" = 6 AND \"sFunId\" = '401106'"), 0) << "a revoked grant stays revoked";
}

TEST_P(SeedTest, RegistryListsAndValuesHoldWhatThePagesReadFrom)
{
    seedSystemData(*db);
    for (const char *name : {"StudState", "ExamType", "ExamGrade", "CreditGrade", "EightGrade", "ClassType", "SubjectType",
                             "FullMarkType", "TeacState", "Roles", "STUDTYPE", "StudType", "ExamShowType", "RSDTYPE",
                             "BirthAddr", "TeacType", "Nation", "Duty"})
        EXPECT_FALSE(regList(*db, QString::fromLatin1(name)).isEmpty()) << name;

    auto keys = [&](const char *list) {
        QStringList k;
        for (const auto &[key, value] : regList(*db, QString::fromLatin1(list))) k << key;
        return k;
    };
    auto values = [&](const char *list) {
        QStringList v;
        for (const auto &[key, value] : regList(*db, QString::fromLatin1(list))) v << value;
        return v;
    };
    EXPECT_EQ(regList(*db, "StudState").first(), qMakePair(QStringLiteral("00"), QStringLiteral("在读")));
    EXPECT_EQ(keys("Roles"), QStringList({"1", "2", "3", "4", "5", "6"}));
    EXPECT_EQ(values("Roles"), QStringList({"教务管理员", "科目组长", "年级长", "班主任", "备课组长", "任课教师"}));
    EXPECT_EQ(keys("SubjectType"), QStringList({"0", "1", "2"}));
    EXPECT_EQ(keys("ExamGrade"), QStringList({"0", "1", "2", "3", "4"}));
    EXPECT_EQ(keys("CreditGrade"), QStringList({"5", "4", "3", "2", "1"}));
    EXPECT_EQ(values("CreditGrade"), QStringList({"A", "B", "C", "D", "E"}));
    EXPECT_EQ(values("EightGrade"), QStringList({"A+", "A", "B+", "B", "C+", "C", "D+", "D"}));
    EXPECT_TRUE(values("ExamType").contains("综合考试") && values("ExamType").contains("单元考试")
                && values("ExamType").contains("系统考试"));
    EXPECT_EQ(keys("FullMarkType").first(), "100") << "the first full mark is the default";
    EXPECT_TRUE(keys("FullMarkType").contains("5") && keys("FullMarkType").contains("8"));
    EXPECT_EQ(values("ClassType").first(), "普通班");
    EXPECT_EQ(values("StudType").first(), "统招生");
    EXPECT_EQ(values("STUDTYPE"), values("StudType")) << "one list, whatever the letter case of its name";
    EXPECT_EQ(values("Nation").first(), "汉族");
    EXPECT_EQ(keys("TeacState").first(), "0");
    EXPECT_EQ(values("BirthAddr").size(), 34);
    EXPECT_TRUE(values("Duty").contains("组长") && values("Duty").contains("组员"));

    // The letter percentages are the defaults of new exams and must make up the whole grade.
    double percent = 0;
    for (const QVariantList &r : query(*db, "SELECT \"sDesc\" FROM \"XT_RegList\" WHERE \"sListName\" = ?",
                                       {QStringLiteral("CreditGrade")}, {FieldType::Text}))
        percent += r[0].toString().toDouble();
    EXPECT_DOUBLE_EQ(percent, 100.0);

    auto registry = [&](const char *key) {
        return query(*db, "SELECT \"sValue\", \"sExtra\" FROM \"XT_Registry\" WHERE \"sSection\" = ? AND \"sKey\" = ?",
                     {QStringLiteral("SysParams"), QString::fromLatin1(key)}, {FieldType::Text, FieldType::Text});
    };
    ASSERT_EQ(registry("CaleOrderOnSave").size(), 1);
    EXPECT_EQ(registry("CaleOrderOnSave")[0][0].toString(), "yes");
    ASSERT_EQ(registry("AchieveName").size(), 1);
    EXPECT_TRUE(registry("AchieveName")[0][0].isValid() && registry("AchieveName")[0][0].toString().isEmpty())
        << "an empty text, not a missing value";
    ASSERT_EQ(registry("MaxImageSize").size(), 1);
    EXPECT_EQ(registry("MaxImageSize")[0][0].toString(), "100");
    EXPECT_TRUE(registry("MaxImageSize")[0][1].toString().startsWith("https://"));

    // The shared exam names: built in, of the kinds the exam wizard filters on, codes of three digits.
    const Rows shared = query(*db, "SELECT \"sCode\", \"sType\", \"bState\" FROM \"CJ_ExamInfo\" WHERE \"SchoolCode\" = ?",
                              {QStringLiteral("SYSTEM")}, {FieldType::Text, FieldType::Text, FieldType::Boolean});
    EXPECT_GE(shared.size(), 4);
    for (const QVariantList &r : shared) {
        EXPECT_TRUE(QRegularExpression("^\\d{3}$").match(r[0].toString()).hasMatch());
        EXPECT_TRUE(values("ExamType").contains(r[1].toString()));
        EXPECT_TRUE(r[2].toBool());
    }
}

TEST_P(SeedTest, FieldDefinitionsNameRealColumnsOfTheRightType)
{
    seedSystemData(*db);
    // The type letter a column of each stored type must carry.
    auto letters = [](FieldType t) -> QString {
        switch (t) {
        case FieldType::Text: return "S";
        case FieldType::Integer: return "IN";
        case FieldType::Float: return "F";
        case FieldType::Boolean: return "B";
        case FieldType::Date:
        case FieldType::DateTime: return "D";
        case FieldType::Blob: return "";
        }
        return "";
    };
    for (const char *table : {"XJ_Student", "JC_Teacher", "CJ_Mark", "XT_Temp", "CJ_ZLPG_P"}) {
        SCOPED_TRACE(table);
        const Rows rows = query(*db,
                                "SELECT \"sFldName\", \"iOrder\", \"sFieldType\", \"bSum\", \"sSumType\", \"sFormat\", \"nWidth\" "
                                "FROM \"XT_Fields\" WHERE \"sTable\" = ? ORDER BY \"iOrder\"",
                                {QString::fromLatin1(table)},
                                {FieldType::Text, FieldType::Integer, FieldType::Text, FieldType::Boolean, FieldType::Text,
                                 FieldType::Text, FieldType::Integer});
        ASSERT_FALSE(rows.isEmpty());
        QStringList names;
        for (int i = 0; i < rows.size(); ++i) {
            const QString name = rows[i][0].toString();
            names << name;
            EXPECT_EQ(rows[i][1].toInt(), i + 1) << "columns are numbered without gaps";
            EXPECT_GT(rows[i][6].toInt(), 0) << name.toStdString();
            EXPECT_TRUE(QStringList({"S", "I", "N", "F", "D", "B"}).contains(rows[i][2].toString())) << name.toStdString();
            if (name == u"sName") {
                EXPECT_TRUE(rows[i][3].toBool());
                EXPECT_EQ(rows[i][4].toString(), "C");
                EXPECT_EQ(rows[i][5].toString(), "人数=,0");
            }
            // Stored tables: each column exists with the letter of its type; the P-value page's
            // computed columns are a stored column with a suffix.
            // (CJ_Mark names the assembled score sheet here, not the stored scores.)
            const TableDef *def = QByteArray(table) == "CJ_Mark" ? nullptr : findSchemaTable(QString::fromLatin1(table));
            if (!def) continue;
            QString column = name;
            static const QRegularExpression computed("^(.*)_(Avg|Pre|Pas)$");
            if (const auto m = computed.match(name); m.hasMatch() && QByteArray(table) == "CJ_ZLPG_P") {
                column = m.captured(1);
                EXPECT_EQ(rows[i][2].toString(), "F");
            } else {
                ASSERT_TRUE(def->hasColumn(column)) << name.toStdString();
                EXPECT_TRUE(letters(def->column(column).type).contains(rows[i][2].toString())) << name.toStdString();
            }
            EXPECT_TRUE(def->hasColumn(column)) << name.toStdString() << ": a computed column of a stored one";
        }
        EXPECT_EQ(names.removeDuplicates(), 0);
        if (QByteArray(table) != "CJ_ZLPG_P") { EXPECT_TRUE(names.contains("sName")); }
        const QByteArray which(table);
        if (which == "XJ_Student") {
            for (const char *c : {"sCode", "SchoolCode", "GradeCode", "InYear", "ClassCode", "iClassNo", "iState", "sType", "sSex",
                                  "sResidenceType", "sBirthAddr", "sName", "sNO", "sICNo", "sPNO", "sPass", "Selected", "dbirthday"})
                EXPECT_TRUE(names.contains(QString::fromLatin1(c))) << c;
        } else if (which == "JC_Teacher") {
            for (const char *c : {"sCode", "SchoolCode", "sName", "sLoginName", "sMail", "sMobile", "sPass", "sRole", "iState",
                                  "sSex", "sType", "sResidenceType", "sNation", "sBirthAddr", "Selected"})
                EXPECT_TRUE(names.contains(QString::fromLatin1(c))) << c;
            EXPECT_FALSE(names.contains("iUserType")) << "the teacher page must not edit who is an administrator";
        } else if (which == "CJ_Mark") {
            for (const char *c : {"SNO", "sName", "sSex", "ClassName", "iClassNO", "sArea", "sType", "sOldSchool", "AuthNo"})
                EXPECT_TRUE(names.contains(QString::fromLatin1(c))) << c;
        } else if (which == "XT_Temp") {
            EXPECT_EQ(names, QStringList({"sCode", "sNO", "sName", "iClassNo", "sSex", "sType", "ClassCode", "GradeCode", "InYear"}));
        } else if (which == "CJ_ZLPG_P") {
            for (const char *c : {"nTotals_Avg", "nPass6Nums_Pre", "nPass10Nums_Pre", "nExcel6Nums_Pre", "nPass10TotalNums_Pas", "sArea"})
                EXPECT_TRUE(names.contains(QString::fromLatin1(c))) << c;
        }
    }
}

TEST_P(SeedTest, EveryGradeNameChainEndsInAGraduatingGrade)
{
    seedSystemData(*db);
    const Rows rows = query(*db,
                            "SELECT \"sSchoolType\", \"sKeyId\", \"sType\", \"sNextGrade\", \"bGraduate\", \"sValue\" "
                            "FROM \"XT_GradeName\" ORDER BY \"sSchoolType\", \"iOrder\"",
                            {}, {FieldType::Text, FieldType::Text, FieldType::Text, FieldType::Text, FieldType::Boolean, FieldType::Text});
    struct Grade {
        QString section, next, name;
        bool graduate;
    };
    std::map<QString, std::map<QString, Grade>> types;
    std::map<QString, QStringList> orderOf;
    for (const QVariantList &r : rows) {
        types[r[0].toString()][r[1].toString()] = {r[2].toString(), r[3].toString(), r[5].toString(), r[4].toBool()};
        orderOf[r[0].toString()] << r[1].toString();
    }
    EXPECT_EQ(types.size(), 5u);
    const std::map<QString, QChar> stageOf = {{"小学", u'0'}, {"初中", u'1'}, {"高中", u'2'}};
    for (const auto &[type, grades] : types) {
        SCOPED_TRACE(type.toStdString());
        for (const auto &[code, g] : grades) {
            ASSERT_TRUE(code.size() == 4) << code.toStdString();
            ASSERT_TRUE(stageOf.count(g.section)) << g.section.toStdString();
            EXPECT_EQ(code[0], stageOf.at(g.section)) << "the first character is the stage";
            EXPECT_EQ(g.graduate, g.next.isEmpty()) << code.toStdString() << ": only a graduating grade has no next grade";
            // Follow the promotions: within the stage, one school year up each time, to a graduation.
            QSet<QString> seen{code};
            QString at = code;
            while (!grades.at(at).next.isEmpty()) {
                const QString next = grades.at(at).next;
                ASSERT_TRUE(grades.count(next)) << at.toStdString() << " leads to " << next.toStdString();
                EXPECT_EQ(grades.at(next).section, g.section);
                EXPECT_EQ(next[1].digitValue(), at[1].digitValue() + 1);
                ASSERT_FALSE(seen.contains(next)) << "a cycle through " << next.toStdString();
                seen << next;
                at = next;
            }
            EXPECT_TRUE(grades.at(at).graduate);
        }
        // The grade lists are in school order: set-up walks them and counts intake years down.
        QStringList sorted = orderOf[type];
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(orderOf[type], sorted);
    }
    EXPECT_EQ(orderOf["完全中学"], QStringList({"1701", "1801", "1901", "2101", "2201", "2202", "2301", "2302"}));
    EXPECT_EQ(types["高中"]["2101"].next, "2201") << "高一 moves into the science stream first";
    EXPECT_EQ(types["高中"]["2202"].name, "高二（文科）");
    EXPECT_EQ(orderOf["九年一贯制"].size(), 9);
}

TEST_P(SeedTest, FunctionTreeGivesEveryPageItsKeysAndEachRoleASubset)
{
    seedSystemData(*db);
    const Rows functions = query(*db, "SELECT \"sFunId\", \"sParFunId\", \"sFunKey\" FROM \"XT_Function\"", {},
                                 {FieldType::Text, FieldType::Text, FieldType::Text});
    std::map<QString, QPair<QString, QString>> byId;
    for (const QVariantList &r : functions) byId[r[0].toString()] = {r[1].toString(), r[2].toString()};
    auto keysOf = [&](const QString &parent) {
        QStringList k;
        for (const auto &[id, f] : byId)
            if (f.first == parent) k << f.second;
        return k;
    };
    for (const auto &[id, f] : byId) {
        if (id == u"00" || id == u"40") {
            EXPECT_TRUE(f.first.isEmpty());
            continue;
        }
        ASSERT_TRUE(byId.count(f.first)) << id.toStdString() << " hangs below a missing " << f.first.toStdString();
        EXPECT_TRUE(id.startsWith(f.first)) << id.toStdString();
        // A page is held by its id alone; the rows below a page or below "00" are its keys.
        EXPECT_EQ(f.second.isEmpty(), f.first == u"40") << id.toStdString();
    }
    for (const char *page : {"4001", "4002", "4003", "4004", "4005", "4006", "4007", "4008", "4009", "4010", "4011", "4029", "4030", "4031"})
        ASSERT_TRUE(byId.count(page) && byId[page].first == "40") << page;
    EXPECT_EQ(keysOf("00"), QStringList({"Print", "PrintSet"}));
    EXPECT_EQ(keysOf("4009"), QStringList({"Manager", "Import", "ChangeClass", "SetPass", "EditHis", "Print"}));
    for (const char *key : {"ViewTotal", "ViewOrder", "ViewLevel", "Student", "DivClass", "Import"})
        EXPECT_TRUE(keysOf("4011").contains(QString::fromLatin1(key))) << key;
    for (const char *page : {"4001", "4002", "4003", "4004", "4005", "4006", "4007", "4008", "4010", "4031"})
        EXPECT_TRUE(keysOf(QString::fromLatin1(page)).contains("Manager")) << page;

    auto granted = [&](int role) {
        const QStringList ids = texts(*db, "SELECT \"sFunId\" FROM \"XT_RoleRight\" WHERE \"iRole\" = ?", {role});
        return QSet<QString>(ids.begin(), ids.end());
    };
    EXPECT_EQ(granted(1).size(), qsizetype(byId.size())) << "the academic administrator may use everything";
    for (int role = 2; role <= 6; ++role) {
        const QSet<QString> g = granted(role);
        EXPECT_FALSE(g.isEmpty());
        EXPECT_LT(g.size(), qsizetype(byId.size()));
        // A key is only of use with its page, and what a role holds hangs together up to a root.
        for (const QString &id : g)
            if (!byId.at(id).first.isEmpty()) { EXPECT_TRUE(g.contains(byId.at(id).first)) << role << " " << id.toStdString(); }
    }
    EXPECT_TRUE(granted(6).contains("4011") && granted(6).contains("0001")) << "a subject teacher enters scores and prints";
    EXPECT_FALSE(granted(6).contains("400901"));
    EXPECT_TRUE(granted(4).contains("400901")) << "a head teacher keeps the class register";
    EXPECT_FALSE(granted(4).contains("400905")) << "only administrators edit graduated grades";
    EXPECT_TRUE(granted(3).contains("4029") && !granted(6).contains("4029"));
}

// --- the demo school -----------------------------------------------------------------------------------

TEST_P(SeedTest, DemoSchoolOrganisationAgreesWithItself)
{
    const QList<DemoAccount> accounts = seedDemoSchool(*db, smallSchool());
    const QString school = QStringLiteral("440300001");

    const Rows info = query(*db, "SELECT \"sSchoolType\", \"bHasSub\", \"bSubTree\", \"sMainCap\", \"sSubCap\", \"sFullName\" FROM \"XT_School\"", {},
                            {FieldType::Text, FieldType::Boolean, FieldType::Boolean, FieldType::Text, FieldType::Text, FieldType::Text});
    ASSERT_EQ(info.size(), 1);
    EXPECT_EQ(info[0][0].toString(), "完全中学");
    EXPECT_TRUE(info[0][1].toBool() && info[0][2].toBool());
    EXPECT_EQ(info[0][3].toString(), "本部");
    EXPECT_EQ(info[0][4].toString(), "分校");
    EXPECT_TRUE(info[0][5].toString().startsWith("深圳市") && info[0][5].toString().endsWith("中学"));

    // The six grades of the school year 2026~2027, the senior ones from the second year on in two
    // streams; last year's grades and two graduated intakes per stage as history.
    const Rows grades = query(*db, "SELECT \"GradeCode\", \"InYear\", \"sYear\", \"bCurGrade\" FROM \"XJ_Grade\" WHERE \"SchoolCode\" = ?",
                              {school}, {FieldType::Text, FieldType::Integer, FieldType::Text, FieldType::Text});
    QSet<QString> current;
    QSet<int> graduatedIntakes;
    for (const QVariantList &g : grades) {
        const QString code = g[0].toString();
        if (g[3].toString() == u"Y") {
            current << QStringLiteral("%1/%2").arg(code).arg(g[1].toInt());
            EXPECT_EQ(g[2].toString(), "2026~2027学年");
        } else {
            EXPECT_EQ(g[3].toString(), "N");
            EXPECT_NE(g[2].toString(), "2026~2027学年");
            if (code == u"1901" || code.startsWith(u"23")) graduatedIntakes << g[1].toInt();
        }
    }
    EXPECT_EQ(current, QSet<QString>({"1701/2026", "1801/2025", "1901/2024", "2101/2026", "2201/2025", "2202/2025", "2301/2024", "2302/2024"}));
    EXPECT_EQ(graduatedIntakes, QSet<int>({2022, 2023}));

    // Students sit in classes of their grade, with seat numbers 1..n, keys in the registry form.
    const Rows students = query(*db,
                                "SELECT s.\"sCode\", s.\"GradeCode\", s.\"InYear\", s.\"ClassCode\", s.\"iClassNo\", s.\"iState\", "
                                "g.\"bCurGrade\", s.\"dbirthday\", s.\"sType\" FROM \"XJ_Student\" s LEFT JOIN \"XJ_Grade\" g "
                                "ON g.\"SchoolCode\" = s.\"SchoolCode\" AND g.\"InYear\" = s.\"InYear\" AND g.\"GradeCode\" = s.\"GradeCode\"",
                                {}, {FieldType::Text, FieldType::Text, FieldType::Integer, FieldType::Text, FieldType::Integer,
                                     FieldType::Text, FieldType::Text, FieldType::Date, FieldType::Text});
    QSet<QString> gradeClasses;
    for (const QVariantList &r : query(*db, "SELECT \"InYear\", \"GradeCode\", \"ClassCode\" FROM \"XJ_GradeClass\"", {},
                                       {FieldType::Integer, FieldType::Text, FieldType::Text}))
        gradeClasses << r[0].toString() + u'/' + r[1].toString() + u'/' + r[2].toString();
    static const QRegularExpression guidForm("^\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}$");
    std::map<QString, QList<int>> seats;
    int currentStudents = 0;
    for (const QVariantList &s : students) {
        EXPECT_TRUE(guidForm.match(s[0].toString()).hasMatch()) << s[0].toString().toStdString();
        EXPECT_TRUE(gradeClasses.contains(s[2].toString() + u'/' + s[1].toString() + u'/' + s[3].toString()))
            << "student of a class the grade does not have";
        seats[s[2].toString() + s[3].toString()] << s[4].toInt();
        ASSERT_TRUE(s[6].isValid()) << "student of a grade that does not exist";
        if (s[6].toString() == u"Y") {
            ++currentStudents;
            EXPECT_TRUE(QStringList({"00", "01", "02"}).contains(s[5].toString()));
            // Children start school in the September after they turn six, some a year later: a
            // student in year N of schooling was born within the two school years before.
            const int level = s[1].toString()[0] == u'1' ? 7 + (2026 - s[2].toInt()) : 10 + (2026 - s[2].toInt());
            const QDate born = s[7].toDate();
            EXPECT_TRUE(born >= QDate(2026 - level - 7, 9, 1) && born <= QDate(2026 - level - 5, 8, 31))
                << born.toString(Qt::ISODate).toStdString() << " in year " << level;
        } else {
            EXPECT_EQ(s[5].toString(), "04") << "a graduated intake's students have graduated";
        }
    }
    EXPECT_GT(currentStudents, 60);
    EXPECT_LT(currentStudents, 250);
    for (auto &[klass, list] : seats) {
        std::sort(list.begin(), list.end());
        for (int i = 0; i < list.size(); ++i) EXPECT_EQ(list[i], i + 1) << klass.toStdString();
    }
    EXPECT_EQ(texts(*db, "SELECT DISTINCT \"sCode\" FROM \"XJ_Student\"").size(), students.size());

    // Classes: three-digit codes, both campuses, every grade class a school class.
    const QStringList classCodes = texts(*db, "SELECT \"ClassCode\" FROM \"XJ_Class\"");
    for (const QString &c : classCodes) EXPECT_TRUE(QRegularExpression("^\\d{3}$").match(c).hasMatch());
    for (const QString &gc : gradeClasses) EXPECT_TRUE(classCodes.contains(gc.section(u'/', 2))) << gc.toStdString();
    const QStringList areas = texts(*db, "SELECT DISTINCT \"sArea\" FROM \"XJ_GradeClass\" ORDER BY \"sArea\"");
    EXPECT_EQ(QSet<QString>(areas.begin(), areas.end()), QSet<QString>({"本部", "分校"}));

    // Teachers: unique logins, one department each at least; every teacher referred to exists.
    const Rows teachers = query(*db, "SELECT \"sCode\", \"sLoginName\", \"sRole\", \"iUserType\", \"sPass\" FROM \"JC_Teacher\"", {},
                                {FieldType::Text, FieldType::Text, FieldType::Text, FieldType::Integer, FieldType::Text});
    QSet<QString> teacherCodes, logins;
    std::map<QString, QSet<QString>> rolesOf;
    for (const QVariantList &t : teachers) {
        teacherCodes << t[0].toString();
        EXPECT_TRUE(QRegularExpression("^[a-z]+[0-9]*$").match(t[1].toString()).hasMatch()) << t[1].toString().toStdString();
        logins << t[1].toString();
        const QStringList roles = t[2].toString().split(u',', Qt::SkipEmptyParts);
        rolesOf[t[0].toString()] = QSet<QString>(roles.begin(), roles.end());
    }
    EXPECT_EQ(logins.size(), teachers.size()) << "login names are unique";
    const QStringList inDepartments = texts(*db, "SELECT DISTINCT \"TeacherCode\" FROM \"JC_DeptTeacher\"");
    EXPECT_EQ(QSet<QString>(inDepartments.begin(), inDepartments.end()), teacherCodes);

    // Roles follow the duties the records give: 2 subject leader, 3 grade leader, 4 head teacher,
    // 5 lesson-preparation leader, 6 subject teacher.
    const std::map<QString, QString> sources = {
        {"2", "SELECT \"TeacherCode\" FROM \"XJ_Subject\" UNION SELECT \"SubTeacherCode\" FROM \"XJ_Subject\""},
        {"3", "SELECT \"TeacherCode\" FROM \"XJ_Grade\" UNION SELECT \"SubTeacherCode\" FROM \"XJ_Grade\""},
        {"4", "SELECT \"TeacherCode\" FROM \"XJ_GradeClass\""},
        {"5", "SELECT \"TeacherCode\" FROM \"XJ_GradeSubject\" UNION SELECT \"SubTeacherCode\" FROM \"XJ_GradeSubject\""},
        {"6", "SELECT \"TeacherCode\" FROM \"XJ_CourseTable\""}};
    for (const auto &[role, sql] : sources) {
        QSet<QString> holders;
        for (const QString &t : texts(*db, sql))
            if (!t.isEmpty()) holders << t;
        EXPECT_FALSE(holders.isEmpty()) << role.toStdString();
        for (const auto &[teacher, roles] : rolesOf) {
            EXPECT_EQ(roles.contains(role), holders.contains(teacher)) << "role " << role.toStdString();
            if (holders.contains(teacher)) { EXPECT_TRUE(teacherCodes.contains(teacher)); }
        }
    }

    // Every class has a teacher for every subject of its grade.
    const qint64 expected = db->scalar(
        "SELECT count(*) FROM \"XJ_GradeClass\" c JOIN \"XJ_GradeSubject\" s ON s.\"SchoolCode\" = c.\"SchoolCode\" "
        "AND s.\"InYear\" = c.\"InYear\" AND s.\"GradeCode\" = c.\"GradeCode\"").toLongLong();
    EXPECT_EQ(db->scalar("SELECT count(*) FROM \"XJ_CourseTable\" t JOIN \"JC_Teacher\" j ON j.\"sCode\" = t.\"TeacherCode\"").toLongLong(),
              expected);
    EXPECT_EQ(count(*db, "XJ_CourseTable"), expected);
    EXPECT_EQ(count(*db, "XJ_Subject"), 12);
    EXPECT_GT(db->scalar("SELECT count(*) FROM \"XJ_GradeSubject\" WHERE \"FullMark\" = 5 AND \"GradeCode\" = '1701'").toLongLong(), 0)
        << "a graded subject";
    EXPECT_EQ(texts(*db, "SELECT DISTINCT \"SubjectType\" FROM \"XJ_GradeSubject\" ORDER BY \"SubjectType\"").size(), 3);

    // Families: a father shares the child's surname; titles differ within a family (the key).
    const Rows fathers = query(*db, "SELECT s.\"sName\", f.\"sName\" FROM \"XJ_Family\" f JOIN \"XJ_Student\" s ON s.\"sCode\" = f.\"scode\" "
                                    "WHERE f.\"sTitle\" = ?",
                               {QStringLiteral("父亲")}, {FieldType::Text, FieldType::Text});
    EXPECT_GT(fathers.size(), students.size() / 2);
    for (const QVariantList &f : fathers) EXPECT_EQ(f[0].toString().left(1), f[1].toString().left(1));
    EXPECT_LE(db->scalar("SELECT max(n) FROM (SELECT count(*) AS n FROM \"XJ_Family\" GROUP BY \"scode\") x").toInt(), 3);

    // Every coded or picked value is one of its registry list: by key where the pages look it up,
    // by value where they offer a pick list.
    struct Coded {
        const char *sql;
        const char *list;
        bool byKey;
    };
    for (const Coded &c : std::initializer_list<Coded>{
             {"SELECT DISTINCT \"iState\" FROM \"XJ_Student\"", "StudState", true},
             {"SELECT DISTINCT \"sType\" FROM \"XJ_Student\"", "StudType", false},
             {"SELECT DISTINCT \"sResidenceType\" FROM \"XJ_Student\"", "RSDTYPE", false},
             {"SELECT DISTINCT \"sBirthAddr\" FROM \"XJ_Student\"", "BirthAddr", false},
             {"SELECT DISTINCT \"sNation\" FROM \"XJ_Student\"", "Nation", false},
             {"SELECT DISTINCT CAST(\"iState\" AS TEXT) FROM \"JC_Teacher\"", "TeacState", true},
             {"SELECT DISTINCT \"sType\" FROM \"JC_Teacher\"", "TeacType", false},
             {"SELECT DISTINCT \"sResidenceType\" FROM \"JC_Teacher\" WHERE \"sResidenceType\" IS NOT NULL", "RSDTYPE", false},
             {"SELECT DISTINCT \"sNation\" FROM \"JC_Teacher\" WHERE \"sNation\" IS NOT NULL", "Nation", false},
             {"SELECT DISTINCT \"sDuty\" FROM \"JC_DeptTeacher\"", "Duty", false},
             {"SELECT DISTINCT \"sType\" FROM \"XJ_Class\"", "ClassType", true},
             {"SELECT DISTINCT CAST(\"SubjectType\" AS TEXT) FROM \"XJ_GradeSubject\"", "SubjectType", true},
             {"SELECT DISTINCT CAST(\"FullMark\" AS TEXT) FROM \"XJ_GradeSubject\"", "FullMarkType", true},
             {"SELECT DISTINCT \"markShowType\" FROM \"CJ_ExamTotal\"", "ExamShowType", true},
             {"SELECT DISTINCT \"sType\" FROM \"CJ_ExamInfo\"", "ExamType", false}}) {
        QStringList allowed;
        for (const auto &[key, value] : regList(*db, QString::fromLatin1(c.list))) allowed << (c.byKey ? key : value);
        const QStringList used = texts(*db, QString::fromLatin1(c.sql));
        EXPECT_FALSE(used.isEmpty()) << c.sql;
        for (const QString &v : used) EXPECT_TRUE(allowed.contains(v)) << c.list << ": " << v.toStdString();
    }

    // The exam names of the school continue the shared codes.
    EXPECT_EQ(texts(*db, "SELECT \"sCode\" FROM \"CJ_ExamInfo\" WHERE \"SchoolCode\" = ? ORDER BY \"sCode\"", {school}),
              QStringList({"011", "012", "013"}));
    EXPECT_FALSE(accounts.isEmpty());
}

TEST_P(SeedTest, DemoExamsHaveCandidatesScoresTotalsAndRanksThatAgree)
{
    seedDemoSchool(*db, smallSchool());
    const Rows exams = query(*db,
                             "SELECT \"Id\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", \"aFullMark\", \"mFullMark\", "
                             "\"bFullMark\", \"ModifyRight\", \"Classes\", \"Freeze\", \"dDefDay\", \"dLimitDay\" FROM \"CJ_ExamTotal\"",
                             {}, {FieldType::Integer, FieldType::Text, FieldType::Integer, FieldType::Text, FieldType::Text,
                                  FieldType::Float, FieldType::Float, FieldType::Float, FieldType::Integer, FieldType::Text,
                                  FieldType::Boolean, FieldType::Date, FieldType::Date});
    ASSERT_FALSE(exams.isEmpty());
    std::map<QString, int> examsOfCurrentGrade;
    int scoredExams = 0;
    for (const QVariantList &e : exams) {
        const qint64 id = e[0].toLongLong();
        const QString grade = e[1].toString();
        const int inYear = e[2].toInt();
        SCOPED_TRACE(QStringLiteral("%1 %2 %3").arg(grade).arg(inYear).arg(e[3].toString()).toStdString());
        EXPECT_EQ(e[4].toString(), QString(QChar(0x22A5)));
        EXPECT_EQ(e[8].toInt(), 63);
        EXPECT_EQ(e[9].toString(), "ALL");
        EXPECT_LT(e[11].toDate(), e[12].toDate());
        const bool currentYear = inYear + (grade[1].digitValue() - (grade[0] == u'1' ? 7 : 1)) == 2026;
        EXPECT_EQ(e[10].toBool(), !currentYear) << "exams of earlier years are frozen";
        if (currentYear) ++examsOfCurrentGrade[grade];

        // The subjects of the exam with their types and full marks; the header's total full marks.
        const Rows subjects = query(*db,
                                    "SELECT x.\"SubjectCode\", g.\"SubjectType\", x.\"FullMark\", x.\"Per\" FROM \"CJ_ExamSubject\" x "
                                    "JOIN \"XJ_GradeSubject\" g ON g.\"SchoolCode\" = x.\"SchoolCode\" AND g.\"InYear\" = x.\"InYear\" "
                                    "AND g.\"GradeCode\" = x.\"GradeCode\" AND g.\"SubjectCode\" = x.\"SubjectCode\" "
                                    "WHERE x.\"GradeCode\" = ? AND x.\"InYear\" = ? AND x.\"ExamCode\" = ?",
                                    {grade, inYear, e[3]}, {FieldType::Text, FieldType::Integer, FieldType::Float, FieldType::Float});
        ASSERT_FALSE(subjects.isEmpty());
        std::map<QString, QPair<int, double>> subject;
        double full[3] = {};
        for (const QVariantList &s : subjects) {
            subject[s[0].toString()] = {s[1].toInt(), s[2].toDouble()};
            EXPECT_DOUBLE_EQ(s[3].toDouble(), 1.0);
            full[0] += s[2].toDouble();
            if (s[1].toInt() <= 1) full[1] += s[2].toDouble();
            if (s[1].toInt() == 0) full[2] += s[2].toDouble();
        }
        EXPECT_DOUBLE_EQ(e[5].toDouble(), full[0]);
        EXPECT_DOUBLE_EQ(e[6].toDouble(), full[1]);
        EXPECT_DOUBLE_EQ(e[7].toDouble(), full[2]);

        // Candidates are students of the exam's intake in the grade's classes.
        const Rows candidates = query(*db,
                                      "SELECT c.\"StudentCode\", c.\"FullTotal\", c.\"MainTotal\", c.\"BaseTotal\", c.\"FullOrder\", "
                                      "c.\"MainOrder\", c.\"BaseOrder\", s.\"InYear\", s.\"GradeCode\", "
                                      "(SELECT count(*) FROM \"XJ_GradeClass\" k WHERE k.\"SchoolCode\" = s.\"SchoolCode\" "
                                      " AND k.\"InYear\" = ? AND k.\"GradeCode\" = ? AND k.\"ClassCode\" = c.\"ClassCode\") "
                                      "FROM \"CJ_ExamStudent\" c LEFT JOIN \"XJ_Student\" s ON s.\"sCode\" = c.\"StudentCode\" "
                                      "WHERE c.\"examId\" = ?",
                                      {inYear, grade, id},
                                      {FieldType::Text, FieldType::Float, FieldType::Float, FieldType::Float, FieldType::Integer,
                                       FieldType::Integer, FieldType::Integer, FieldType::Integer, FieldType::Text, FieldType::Integer});
        ASSERT_FALSE(candidates.isEmpty());
        for (const QVariantList &c : candidates) {
            EXPECT_EQ(c[7].toInt(), inYear);
            EXPECT_EQ(c[9].toInt(), 1) << "candidate of a class outside the grade";
            if (currentYear) { EXPECT_EQ(c[8].toString(), grade); }
        }

        // Scores: within 0..full mark, at most one decimal, graded subjects on their steps; the
        // totals are the sums by subject type and empty when nothing was scored.
        const Rows marks = query(*db, "SELECT \"StudentCode\", \"SubjectCode\", \"score\", \"gradeOrder\" FROM \"CJ_Mark\" WHERE \"examId\" = ?",
                                 {id}, {FieldType::Text, FieldType::Text, FieldType::Float, FieldType::Integer});
        std::map<QString, double> sums[3];
        std::map<QString, QList<QPair<double, int>>> bySubject;
        for (const QVariantList &m : marks) {
            ASSERT_TRUE(subject.count(m[1].toString())) << "a score of a subject outside the exam";
            const auto [type, fullMark] = subject[m[1].toString()];
            const double score = m[2].toDouble();
            EXPECT_TRUE(score >= 0 && score <= fullMark) << score;
            EXPECT_DOUBLE_EQ(std::round(score * 10) / 10, score);
            if (fullMark == 5) { EXPECT_TRUE(score == 2 || score == 3 || score == 4 || score == 5) << score; }
            sums[0][m[0].toString()] += score;
            if (type <= 1) sums[1][m[0].toString()] += score;
            if (type == 0) sums[2][m[0].toString()] += score;
            bySubject[m[1].toString()] << qMakePair(score, m[3].toInt());
        }
        if (!marks.isEmpty()) ++scoredExams;
        for (int t = 0; t < 3; ++t) {
            QList<double> present;
            for (const QVariantList &c : candidates) {
                const auto it = sums[t].find(c[0].toString());
                if (it == sums[t].end()) {
                    EXPECT_FALSE(c[1 + t].isValid()) << "a total without any score";
                    EXPECT_FALSE(c[4 + t].isValid()) << "a rank without a total";
                } else {
                    ASSERT_TRUE(c[1 + t].isValid());
                    EXPECT_NEAR(c[1 + t].toDouble(), it->second, 1e-9);
                    present << c[1 + t].toDouble();
                }
            }
            // A rank is one more than the number of better totals: ties share, the next skips.
            for (const QVariantList &c : candidates) {
                if (!c[1 + t].isValid()) continue;
                const double total = c[1 + t].toDouble();
                EXPECT_EQ(c[4 + t].toInt(), 1 + std::count_if(present.begin(), present.end(), [&](double v) { return v > total; }));
            }
        }
        for (const auto &[code, list] : bySubject)
            for (const auto &[score, rank] : list)
                EXPECT_EQ(rank, 1 + std::count_if(list.begin(), list.end(), [&](const auto &o) { return o.first > score; })) << code.toStdString();

        // Letter percentages for both campuses, each making up the whole.
        const Rows per = query(*db, "SELECT \"sArea\", \"APer\" + \"BPer\" + \"CPer\" + \"DPer\" + \"EPer\" FROM \"CJ_ExamGradePer\" WHERE \"examId\" = ?",
                               {id}, {FieldType::Text, FieldType::Float});
        ASSERT_EQ(per.size(), 2);
        for (const QVariantList &p : per) EXPECT_DOUBLE_EQ(p[1].toDouble(), 100.0);
    }
    // In December the grades have had their October and November exams and await the December one.
    for (const char *grade : {"1701", "1801", "1901", "2101", "2201", "2202", "2301", "2302"})
        EXPECT_EQ(examsOfCurrentGrade[grade], 3) << grade;
    EXPECT_GT(scoredExams, 20);
    const qint64 waiting = db->scalar("SELECT count(*) FROM \"CJ_ExamTotal\" t WHERE NOT EXISTS "
                                      "(SELECT 1 FROM \"CJ_Mark\" m WHERE m.\"examId\" = t.\"Id\")").toLongLong();
    EXPECT_EQ(waiting, 8) << "one exam per current grade waits for its scores";
    EXPECT_GT(db->scalar("SELECT count(*) FROM \"CJ_Mark\" m JOIN \"CJ_ExamSubject\" s ON s.\"SubjectCode\" = m.\"SubjectCode\" "
                         "JOIN \"CJ_ExamTotal\" t ON t.\"Id\" = m.\"examId\" AND t.\"ExamCode\" = s.\"ExamCode\" "
                         "AND t.\"GradeCode\" = s.\"GradeCode\" AND t.\"InYear\" = s.\"InYear\" WHERE s.\"FullMark\" = 5").toLongLong(), 0)
        << "the graded subjects were assessed";
}

TEST_P(SeedTest, DemoAccountsSignInWithTheInjectedHashing)
{
    const QList<DemoAccount> accounts = seedDemoSchool(*db, smallSchool());
    ASSERT_GE(accounts.size(), 5);
    EXPECT_EQ(accounts[0].login, "admin");
    EXPECT_EQ(accounts[0].password, "lumeko");
    const Rows admin = query(*db,
                             "SELECT \"sPass\", \"iUserType\", \"sRole\", \"bViewAllGrade\", \"bViewAllClass\", \"SchoolCode\" "
                             "FROM \"JC_Teacher\" WHERE \"sLoginName\" = ?",
                             {QStringLiteral("admin")},
                             {FieldType::Text, FieldType::Integer, FieldType::Text, FieldType::Boolean, FieldType::Boolean, FieldType::Text});
    ASSERT_EQ(admin.size(), 1);
    EXPECT_TRUE(fakeVerify(admin[0][0].toString(), "lumeko"));
    EXPECT_FALSE(fakeVerify(admin[0][0].toString(), "Lumeko"));
    EXPECT_EQ(admin[0][1].toInt(), 1);
    EXPECT_EQ(admin[0][2].toString(), "1");
    EXPECT_TRUE(admin[0][3].toBool() && admin[0][4].toBool());
    EXPECT_EQ(admin[0][5].toString(), "440300001");

    // One account of each kind of user, each signing in with its own password and holding the
    // roles it is described with.
    QSet<QString> kinds, logins;
    for (const DemoAccount &a : accounts) {
        SCOPED_TRACE(a.login.toStdString());
        logins << a.login;
        const Rows t = query(*db, "SELECT \"sPass\", \"sRole\", \"sName\", \"iUserType\" FROM \"JC_Teacher\" WHERE \"sLoginName\" = ?",
                             {a.login}, {FieldType::Text, FieldType::Text, FieldType::Text, FieldType::Integer});
        ASSERT_EQ(t.size(), 1);
        EXPECT_TRUE(fakeVerify(t[0][0].toString(), a.password));
        EXPECT_EQ(t[0][1].toString(), a.roles);
        EXPECT_EQ(t[0][2].toString(), a.name);
        EXPECT_FALSE(a.description.isEmpty());
        const QStringList roles = a.roles.split(u',');
        if (a.login != u"admin") { EXPECT_EQ(t[0][3].toInt(), 0); }
        if (roles.contains("3")) kinds << "grade leader";
        if (roles.contains("4")) kinds << "head teacher";
        // A subject teacher with no duty over others (in a school this small, possibly leading the
        // lesson preparation of the one subject taught).
        if (roles == QStringList{"6"} || roles == QStringList({"5", "6"})) kinds << "subject teacher";
        if (roles.contains("2")) kinds << "subject leader";
    }
    EXPECT_EQ(logins.size(), accounts.size());
    EXPECT_EQ(kinds, QSet<QString>({"grade leader", "head teacher", "subject teacher", "subject leader"}));
    EXPECT_EQ(db->scalar("SELECT count(*) FROM \"JC_Teacher\" WHERE \"sPass\" IS NOT NULL").toLongLong(), accounts.size())
        << "only the demo accounts have passwords";
}

TEST_P(SeedTest, DemoSchoolRefusesToOverwriteOrToStoreClearPasswords)
{
    DemoOptions noHash = smallSchool();
    noHash.hashPassword = nullptr;
    EXPECT_THROW(seedDemoSchool(*db, noHash), StorageError);
    EXPECT_EQ(count(*db, "XT_School"), 0);
    EXPECT_EQ(count(*db, "XT_RegList"), 0) << "the failed run was rolled back whole";

    seedDemoSchool(*db, smallSchool());
    const qint64 students = count(*db, "XJ_Student");
    EXPECT_THROW(seedDemoSchool(*db, smallSchool(7)), StorageError) << "the school id is taken";
    EXPECT_EQ(count(*db, "XJ_Student"), students);

    // Another school id makes a second school beside the first, sharing the reference data.
    DemoOptions other = smallSchool(7);
    other.schoolId = QStringLiteral("440300002");
    const QList<DemoAccount> accounts = seedDemoSchool(*db, other);
    EXPECT_EQ(count(*db, "XT_School"), 2);
    EXPECT_EQ(accounts.first().login, "admin2") << "login names are unique over all schools";
    EXPECT_EQ(texts(*db, "SELECT \"sCode\" FROM \"CJ_ExamInfo\" WHERE \"SchoolCode\" = ? ORDER BY \"sCode\"", {other.schoolId}),
              QStringList({"014", "015", "016"}))
        << "exam codes are unique over all schools";
}

TEST_P(SeedTest, TheSeedDecidesTheSchool)
{
    auto fingerprint = [](Database &d) {
        QStringList out;
        for (const QVariantList &r : query(d, "SELECT \"sCode\", \"sName\", \"ClassCode\", \"iClassNo\", \"dbirthday\" FROM \"XJ_Student\" "
                                              "ORDER BY \"sCode\"",
                                           {}, {FieldType::Text, FieldType::Text, FieldType::Text, FieldType::Integer, FieldType::Date}))
            out << r[0].toString() + r[1].toString() + r[2].toString() + r[3].toString() + r[4].toString();
        for (const QVariantList &r : query(d, "SELECT \"examId\", count(*), sum(\"score\") FROM \"CJ_Mark\" GROUP BY \"examId\" ORDER BY \"examId\"",
                                           {}, {FieldType::Integer, FieldType::Integer, FieldType::Float}))
            out << QStringLiteral("%1:%2:%3").arg(r[0].toLongLong()).arg(r[1].toLongLong()).arg(r[2].toDouble());
        for (const QVariantList &r : query(d, "SELECT \"sLoginName\", \"sName\", \"sRole\" FROM \"JC_Teacher\" ORDER BY \"sLoginName\"", {},
                                           {FieldType::Text, FieldType::Text, FieldType::Text}))
            out << r[0].toString() + r[1].toString() + r[2].toString();
        return out;
    };
    auto studentNames = [](Database &d) {
        const QStringList n = texts(d, "SELECT \"sName\" FROM \"XJ_Student\"");
        return QSet<QString>(n.begin(), n.end());
    };
    seedDemoSchool(*db, smallSchool(1234));
    const QStringList first = fingerprint(*db);
    const QSet<QString> names = studentNames(*db);
    // A PostgreSQL test database is made anew for the next one, so the first one goes first.
    db.reset();
    m_testDb.reset();

    {
        TestDatabase again(GetParam());
        auto second = again.open();
        seedDemoSchool(*second, smallSchool(1234));
        EXPECT_EQ(fingerprint(*second), first) << "the same school on a fresh database";
    }
    TestDatabase third(GetParam());
    auto other = third.open();
    seedDemoSchool(*other, smallSchool(4321));
    const QSet<QString> otherNames = studentNames(*other);
    EXPECT_NE(fingerprint(*other), first);
    EXPECT_LT((names & otherNames).size(), names.size() / 4) << "another seed gives other people";
}

// The school at its real size: the numbers a demo promises, and how long it takes (reported, not
// asserted).
TEST_P(SeedTest, FullSizeSchoolHasTheExpectedShape)
{
    DemoOptions o = smallSchool();
    o.scale = 1.0;
    QElapsedTimer timer;
    timer.start();
    seedDemoSchool(*db, o);
    const qint64 ms = timer.elapsed();
    std::map<QString, qint64> rows;
    for (const TableDef &t : schemaTables()) rows[t.name] = count(*db, t.name);
    QString report = QStringLiteral("%1 ms on %2:").arg(ms).arg(backendName(GetParam()));
    for (const auto &[table, n] : rows)
        if (n) report += QStringLiteral(" %1=%2").arg(table).arg(n);
    std::printf("%s\n", qPrintable(report));
    RecordProperty("seconds", std::to_string(ms / 1000.0));

    const qint64 current = db->scalar("SELECT count(*) FROM \"XJ_Student\" s JOIN \"XJ_Grade\" g ON g.\"SchoolCode\" = s.\"SchoolCode\" "
                                      "AND g.\"InYear\" = s.\"InYear\" AND g.\"GradeCode\" = s.\"GradeCode\" WHERE g.\"bCurGrade\" = 'Y'")
                               .toLongLong();
    EXPECT_GE(current, 2200);
    EXPECT_LE(current, 2650);
    EXPECT_GE(rows["JC_Teacher"], 120);
    EXPECT_LE(rows["JC_Teacher"], 170);
    // Classes per grade of the school year, counting both streams of a senior grade together.
    for (const QVariantList &r : query(*db,
                                       "SELECT substr(\"GradeCode\", 1, 2), count(*) FROM \"XJ_GradeClass\" c WHERE EXISTS (SELECT 1 FROM \"XJ_Grade\" g "
                                       "WHERE g.\"InYear\" = c.\"InYear\" AND g.\"GradeCode\" = c.\"GradeCode\" AND g.\"bCurGrade\" = 'Y') "
                                       "GROUP BY substr(\"GradeCode\", 1, 2)",
                                       {}, {FieldType::Text, FieldType::Integer})) {
        EXPECT_GE(r[1].toInt(), 8) << r[0].toString().toStdString();
        EXPECT_LE(r[1].toInt(), 10) << r[0].toString().toStdString();
    }
    // Most students have family members; a few papers were missed.
    EXPECT_GT(db->scalar("SELECT count(DISTINCT \"scode\") FROM \"XJ_Family\"").toLongLong(), rows["XJ_Student"] * 85 / 100);
    const qint64 expectedMarks = db->scalar(
        "SELECT count(*) FROM \"CJ_ExamStudent\" c JOIN \"CJ_ExamTotal\" t ON t.\"Id\" = c.\"examId\" JOIN \"CJ_ExamSubject\" s "
        "ON s.\"SchoolCode\" = t.\"SchoolCode\" AND s.\"GradeCode\" = t.\"GradeCode\" AND s.\"InYear\" = t.\"InYear\" "
        "AND s.\"ExamCode\" = t.\"ExamCode\" AND s.\"PageName\" = t.\"PageName\" "
        "WHERE EXISTS (SELECT 1 FROM \"CJ_Mark\" m WHERE m.\"examId\" = t.\"Id\")").toLongLong();
    EXPECT_LT(rows["CJ_Mark"], expectedMarks);
    EXPECT_GT(rows["CJ_Mark"], expectedMarks * 98 / 100);
    // Scores spread around 70 per cent of the full mark.
    const double mean = db->scalar("SELECT avg(m.\"score\" / s.\"FullMark\") FROM \"CJ_Mark\" m JOIN \"CJ_ExamTotal\" t ON t.\"Id\" = m.\"examId\" "
                                   "JOIN \"CJ_ExamSubject\" s ON s.\"SchoolCode\" = t.\"SchoolCode\" AND s.\"GradeCode\" = t.\"GradeCode\" "
                                   "AND s.\"InYear\" = t.\"InYear\" AND s.\"ExamCode\" = t.\"ExamCode\" AND s.\"PageName\" = t.\"PageName\" "
                                   "AND s.\"SubjectCode\" = m.\"SubjectCode\" WHERE s.\"FullMark\" > 10")
                            .toDouble();
    EXPECT_NEAR(mean, 0.71, 0.04);
}

INSTANTIATE_TEST_SUITE_P(Backends, SeedTest, ::testing::Values(Backend::Sqlite, Backend::Postgres), backendParamName);

} // namespace
