// The reference data on both back ends: what the pages rely on is there, and seeding again changes
// nothing an administrator did.

#include "testdb.h"

#include "server/seed/seed.h"
#include "server/storage/schema.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

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

qint64 count(Database &db, const QString &table)
{
    return db.scalar(QStringLiteral("SELECT count(*) FROM ") + Database::quoted(table)).toLongLong();
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
        EXPECT_FALSE(f.second.isEmpty()) << id.toStdString();
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
        // A key is only of use with its page.
        for (const QString &id : g)
            if (id.size() == 6) { EXPECT_TRUE(g.contains(id.left(4))) << role << " " << id.toStdString(); }
    }
    EXPECT_TRUE(granted(6).contains("4011") && granted(6).contains("0001")) << "a subject teacher enters scores and prints";
    EXPECT_FALSE(granted(6).contains("400901"));
    EXPECT_TRUE(granted(4).contains("400901")) << "a head teacher keeps the class register";
    EXPECT_FALSE(granted(4).contains("400905")) << "only administrators edit graduated grades";
    EXPECT_TRUE(granted(3).contains("4029") && !granted(6).contains("4029"));
}

INSTANTIATE_TEST_SUITE_P(Backends, SeedTest, ::testing::Values(Backend::Sqlite, Backend::Postgres), backendParamName);

} // namespace
