// Merging an imported table into a page's table: which rows are overwritten, appended or refused,
// and how each kind of cell is converted on the way in.

#include "framework/import/importmerge.h"

#include "toolkit/cipher/cipher.h"

#include <gtest/gtest.h>

using namespace lumeko;
using namespace lumeko::achieve;
using wire::FieldDef;

namespace {

class ImportMergeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        defs.createTable({{"sFldName", FieldType::Text, 30}, {"sFldCaption", FieldType::Text, 30}, {"sFieldType", FieldType::Text, 1}});
        for (const auto &[name, caption, type] : std::initializer_list<std::tuple<const char *, const char *, const char *>>{
                 {"sCode", "编码", "S"}, {"sName", "姓名", "S"}, {"sNO", "学籍辅号", "S"}, {"iClassNO", "座号", "I"},
                 {"ClassCode", "班级", "S"}, {"GradeCode", "年级", "S"}, {"iState", "状态", "S"}, {"dBirthday", "出生日期", "S"},
                 {"dEnrol", "入学日期", "D"}, {"sPass", "密码", "S"}, {"nHeight", "身高", "N"}, {"sLoginName", "登录名", "S"},
                 {"MYFQ", "父亲", "S"}, {"MYFQTel", "父亲电话", "S"}, {"MYMQ", "母亲", "S"}})
            defs.appendRecord({QString::fromLatin1(name), QString::fromUtf8(caption), QString::fromLatin1(type)});
        data.createTable({{"sCode", FieldType::Text, 38}, {"sName", FieldType::Text, 10}, {"sNO", FieldType::Text, 20},
                          {"iClassNO", FieldType::Integer}, {"ClassCode", FieldType::Text, 3}, {"GradeCode", FieldType::Text, 4},
                          {"iState", FieldType::Text, 2}, {"dBirthday", FieldType::DateTime}, {"dEnrol", FieldType::Date},
                          {"sPass", FieldType::Text, 200}, {"nHeight", FieldType::Float}, {"sLoginName", FieldType::Text, 40},
                          {"sType", FieldType::Text, 10}});
        data.appendRecord({"{A}", QStringLiteral("张三"), "0001", 1, "001", "1701", "00"});
        data.appendRecord({"{B}", QStringLiteral("李四"), "0002", 2, "001", "1701", "00"});
        data.mergeChangeLog();
        classes.createTable({{"classcode", FieldType::Text, 3}, {"classname", FieldType::Text, 20}});
        classes.appendRecord({"001", QStringLiteral("一班")});
        classes.appendRecord({"003", QStringLiteral("三班")});
        states.createTable({{"sKeyId", FieldType::Text, 2}, {"sValue", FieldType::Text, 10}});
        states.appendRecord({"00", QStringLiteral("在读")});
        states.appendRecord({"02", QStringLiteral("休学")});
        family.createTable({{"sCode", FieldType::Text, 38}, {"sTitle", FieldType::Text, 10}, {"sName", FieldType::Text, 10},
                            {"sTel", FieldType::Text, 20}, {"sCompany", FieldType::Text, 40}, {"SchoolCode", FieldType::Text, 10}});
        family.appendRecord({"{A}", QStringLiteral("母亲"), QStringLiteral("王芳"), "111"});
        family.mergeChangeLog();

        target.fields = &defs;
        target.data = &data;
        target.classes = &classes;
        target.states = &states;
        target.detail = &family;
        target.masterKeyField = QStringLiteral("sCode");
        target.detailKeyField = QStringLiteral("sCode");
        target.keyCaptions = QStringLiteral("学籍辅号,姓名,座号").split(u',');
        target.keyFields = QStringLiteral("sNO,sName,iClassNO").split(u',');
        target.excludedFields = QStringLiteral("scode,gradecode").split(u',');
        target.initRow = [](DataSet &row) { row.setValue(u"sType", QStringLiteral("统招生")); };
    }

    ImportOutcome run(const QStringList &titles, const QList<QStringList> &rows, ImportOptions options)
    {
        ImportMerge merge(target, options);
        merge.schoolId = QStringLiteral("S1");
        merge.pinyin = PinyinTable::fromText(u"zhang\n张\nsan\n三\nli\n李\nsi\n四\n");
        return merge.run(titles, rows);
    }
    // The value of a field in the row with this register number (or name when the number is empty).
    QVariant valueOf(const char *field, const QString &key, const char *keyField = "sNO")
    {
        return data.locate(QString::fromLatin1(keyField), {key}) ? data.value(QString::fromLatin1(field)) : QVariant(QStringLiteral("<no row>"));
    }
    static ImportOptions keyed(const char *caption, bool overwrite)
    {
        ImportOptions o;
        o.keys = {QString::fromUtf8(caption)};
        o.overwrite = overwrite;
        return o;
    }

    DataSet defs, data, classes, states, family;
    ImportTarget target;
};

TEST_F(ImportMergeTest, RepeatedKeysOverwriteOnceAndAreThenReportedAsDuplicates)
{
    const QStringList titles{QStringLiteral("学籍辅号"), QStringLiteral("姓名")};
    const ImportOutcome out = run(titles,
                                  {{"0001", QStringLiteral("张三丰")}, {"0001", QStringLiteral("张无忌")}, {"0009", QStringLiteral("新一")},
                                   {"0009", QStringLiteral("新二")}, {"0009", QStringLiteral("新三")}},
                                  keyed("学籍辅号", true));
    ASSERT_TRUE(out.complete()) << out.error.toStdString();
    EXPECT_EQ(valueOf("sName", "0001"), QStringLiteral("张三丰")) << "the first occurrence overwrites";
    EXPECT_EQ(valueOf("sName", "0009"), QStringLiteral("新二")) << "a new key is appended, its second occurrence overwrites it";
    EXPECT_EQ(out.duplicates, (QStringList{QStringLiteral("行<2>-->0001 重复!"), QStringLiteral("行<5>-->0009 重复!")}));
    EXPECT_EQ(out.log, (QStringList{QStringLiteral("1. 覆盖 0001 记录!"), QStringLiteral("3. 增加 0009 记录!"), QStringLiteral("4. 覆盖 0009 记录!")}));
    EXPECT_EQ(out.overwritten, 2);
    EXPECT_EQ(out.added, 1);
    EXPECT_EQ(data.recordCount(), 3);
    EXPECT_EQ(valueOf("sCode", "0009").toString().size(), 38) << "an appended row gets a new key";
    EXPECT_EQ(valueOf("sType", "0009"), QStringLiteral("统招生")) << "and the page's defaults";
    EXPECT_EQ(data.changeCount(), 2) << "nothing is saved: the rows stay pending";
}

TEST_F(ImportMergeTest, WithoutOverwriteMatchesAreRefusedAndWithoutAppendNewRowsAreLeftOut)
{
    ImportOptions o = keyed("座号", false);
    ImportOutcome out = run({QStringLiteral("座号"), QStringLiteral("姓名")}, {{"02", QStringLiteral("改名")}, {"7", QStringLiteral("七号")}}, o);
    EXPECT_EQ(valueOf("sName", "0002"), QStringLiteral("李四")) << "seat \"02\" matches seat 2 but may not overwrite it";
    EXPECT_EQ(out.log.first(), QStringLiteral("1. 02 记录未导入!<<<<<<<<<<<<<<<<<<<<<<<"));
    EXPECT_EQ(out.duplicates, QStringList{QStringLiteral("行<1>-->02 重复!")});
    EXPECT_EQ(out.added, 1);

    o.addData = false;
    o.overwrite = true;
    out = run({QStringLiteral("座号"), QStringLiteral("姓名")}, {{"1", QStringLiteral("张三改")}, {"8", QStringLiteral("八号")}}, o);
    EXPECT_EQ(out.overwritten, 1);
    EXPECT_EQ(out.added, 0);
    EXPECT_EQ(data.recordCount(), 3) << "seat 8 matched nothing and appending is off";

    // Two keys: both must match.
    o.keys = {QStringLiteral("学籍辅号"), QStringLiteral("姓名")};
    out = run({QStringLiteral("学籍辅号"), QStringLiteral("姓名")}, {{"0002", QStringLiteral("张三改")}}, o);
    EXPECT_EQ(out.overwritten, 0);
    EXPECT_EQ(out.error, QString());

    o.keys = {QStringLiteral("学籍辅号")};
    out = run({QStringLiteral("姓名")}, {{"x"}}, o);
    EXPECT_FALSE(out.complete()) << "a key without a column to read it from is refused before anything merges";
    EXPECT_EQ(data.changeCount(), 2);
}

TEST_F(ImportMergeTest, NameUniqueNumbersRepeatedNamesAndNeverOverwrites)
{
    ImportOptions o = keyed("姓名", false);
    o.nameUnique = true;
    o.loginNames = LoginNames::FullPinyin;
    const ImportOutcome out = run({QStringLiteral("姓名"), QStringLiteral("学籍辅号")},
                                  {{QStringLiteral("张 三"), "0101"}, {QStringLiteral("张三"), "0102"}, {QStringLiteral("李四四"), "0103"}, {QStringLiteral("李四四"), "0104"}}, o);
    ASSERT_TRUE(out.complete());
    EXPECT_EQ(valueOf("sName", "0001"), QStringLiteral("张三")) << "the existing 张三 is left alone";
    EXPECT_EQ(valueOf("sName", "0101"), QStringLiteral("张三1"));
    EXPECT_EQ(valueOf("sName", "0102"), QStringLiteral("张三2"));
    EXPECT_EQ(valueOf("sName", "0103"), QStringLiteral("李四四")) << "a new name goes in as it is ...";
    EXPECT_EQ(valueOf("sName", "0104"), QStringLiteral("李四四1")) << "... and its next occurrence is numbered";
    EXPECT_EQ(valueOf("sLoginName", "0102"), QStringLiteral("zhangsan2")) << "login names carry the same number";
    EXPECT_EQ(valueOf("sLoginName", "0103"), QStringLiteral("lisisi"));
    EXPECT_EQ(out.added, 4);
}

TEST_F(ImportMergeTest, ClassesStatesGradesAndPasswordsAreConverted)
{
    ImportOptions o = keyed("学籍辅号", true);
    o.streamGrades = true;
    const QStringList titles{QStringLiteral("学籍辅号"), QStringLiteral("班级"), QStringLiteral("状态"), QStringLiteral("年级"), QStringLiteral("密码"), QStringLiteral("身高")};
    // 李四 has a password, which the register shows as "******".
    ASSERT_TRUE(data.locate(QStringLiteral("sNO"), {"0002"}));
    data.edit();
    data.setValue(u"sPass", QStringLiteral("******"));
    data.post();
    data.mergeChangeLog();
    const ImportOutcome out = run(titles,
                                  {{"0001", "3", QStringLiteral("休学"), QStringLiteral("高三（理科）"), "secret", QStringLiteral("1,52米")},
                                   {"0002", QStringLiteral("三班"), QStringLiteral("未知"), QStringLiteral("文科"), "", ""},
                                   {"0003", "9", "", QStringLiteral("初一"), "", ""}},
                                  o);
    ASSERT_TRUE(out.complete()) << out.error.toStdString();
    EXPECT_EQ(valueOf("ClassCode", "0001"), "003") << "a digit is a class code padded to three";
    EXPECT_EQ(valueOf("ClassCode", "0002"), "003") << "a class name is looked up";
    EXPECT_TRUE(valueOf("ClassCode", "0003").isNull()) << "class 009 does not exist: left as it was";
    EXPECT_EQ(valueOf("iState", "0001"), "02");
    EXPECT_EQ(valueOf("iState", "0002"), "00") << "an unknown status leaves the stored one";
    EXPECT_EQ(valueOf("GradeCode", "0001"), "2301");
    EXPECT_EQ(valueOf("GradeCode", "0002"), "2202");
    EXPECT_TRUE(valueOf("GradeCode", "0003").isNull()) << "neither arts nor science: unchanged";
    const QString stored = valueOf("sPass", "0001").toString();
    EXPECT_NE(stored, "secret");
    EXPECT_EQ(cipher::decStr(stored, QString::fromLatin1(cipher::kImportPasswordKey)).value_or(QString()), "secret")
        << "passwords travel enciphered with the import key";
    EXPECT_EQ(valueOf("sPass", "0002"), QStringLiteral("******")) << "an empty password cell leaves the password as it is";
    EXPECT_TRUE(valueOf("sPass", "0003").isNull()) << "and gives a new student none";
    EXPECT_EQ(valueOf("nHeight", "0001").toDouble(), 152.0) << "numbers keep only their digits and points";

    // Without the arts/science option the grade column is ignored.
    o.streamGrades = false;
    run(titles, {{"0002", "", "", QStringLiteral("高三理科"), "", ""}}, o);
    EXPECT_EQ(valueOf("GradeCode", "0002"), "2202");
}

TEST_F(ImportMergeTest, DatesInBothModesAndABadCellStopsTheRunKeepingEarlierRows)
{
    ImportOptions o = keyed("学籍辅号", true);
    const QStringList titles{QStringLiteral("学籍辅号"), QStringLiteral("出生日期"), QStringLiteral("入学日期")};
    ImportOutcome out = run(titles, {{"0001", "20120305", "201209"}, {"0002", "", ""}, {"0003", "2012-3-5", ""}, {"0004", "20120101", ""}}, o);
    EXPECT_EQ(valueOf("dBirthday", "0001").toDateTime().date(), QDate(2012, 3, 5));
    EXPECT_EQ(valueOf("dEnrol", "0001").toDate(), QDate(2012, 9, 1)) << "year and month: the first of the month";
    EXPECT_TRUE(valueOf("dBirthday", "0002").isNull()) << "an empty date cell is skipped";
    EXPECT_EQ(out.error, QStringLiteral("列[出生日期]行[3]数据<2012-3-5>无效的日期格式！"));
    EXPECT_EQ(valueOf("sName", "0003"), QStringLiteral("<no row>")) << "the bad row is not merged";
    EXPECT_EQ(valueOf("sName", "0004"), QStringLiteral("<no row>")) << "the run stopped";

    o.datesWithoutSeparator = false;
    o.datePattern = datePatterns(QStringLiteral("-")).last();
    EXPECT_EQ(o.datePattern, QStringLiteral("yyyy-M-d"));
    out = run(titles, {{"0003", "2012-3-5", "2012-09-01"}}, o);
    EXPECT_TRUE(out.complete());
    EXPECT_EQ(valueOf("dBirthday", "0003").toDateTime().date(), QDate(2012, 3, 5));
    EXPECT_EQ(datePatterns(QString()), QStringList{QStringLiteral("yyyyMMdd")});

    out = run({QStringLiteral("学籍辅号"), QStringLiteral("座号")}, {{"0005", "7"}, {"0006", "seven"}}, keyed("学籍辅号", true));
    EXPECT_EQ(out.error, QStringLiteral("列[座号]行[2]数据<seven>无效！"));
    EXPECT_EQ(valueOf("iClassNO", "0005").toInt(), 7);
    out = run({QStringLiteral("学籍辅号"), QStringLiteral("姓名")}, {{"0007", QStringLiteral("名字长得超过了十个字的同学")}}, keyed("学籍辅号", true));
    EXPECT_EQ(out.error, QStringLiteral("列[姓名]行[1]数据<名字长得超过了十个字的同学>无效！")) << "a text too long for its column";
}

TEST_F(ImportMergeTest, ParentsColumnsGoToTheFamilyRows)
{
    const ImportOutcome out = run({QStringLiteral("学籍辅号"), QStringLiteral("父亲"), QStringLiteral("父亲电话"), QStringLiteral("母亲")},
                                  {{"0001", QStringLiteral("张大山"), " 139 ", QStringLiteral("王芳芳")}, {"0002", "", "", ""}, {"0010", QStringLiteral("新父"), "", ""}},
                                  keyed("学籍辅号", true));
    ASSERT_TRUE(out.complete()) << out.error.toStdString();
    ASSERT_TRUE(family.locate(QStringLiteral("sCode;sTitle"), {"{A}", QStringLiteral("父亲")}));
    EXPECT_EQ(family.value(u"sName"), QStringLiteral("张大山"));
    EXPECT_EQ(family.value(u"sTel"), "139");
    EXPECT_EQ(family.value(u"SchoolCode"), "S1");
    ASSERT_TRUE(family.locate(QStringLiteral("sCode;sTitle"), {"{A}", QStringLiteral("母亲")}));
    EXPECT_EQ(family.value(u"sName"), QStringLiteral("王芳芳")) << "the existing mother row is updated";
    EXPECT_EQ(family.value(u"sTel"), "111");
    EXPECT_FALSE(family.locate(QStringLiteral("sCode"), {"{B}"})) << "blank cells make no empty parent rows";
    const QString newCode = valueOf("sCode", "0010").toString();
    ASSERT_TRUE(family.locate(QStringLiteral("sCode;sTitle"), {newCode, QStringLiteral("父亲")})) << "an appended student's family row uses its new key";
    EXPECT_EQ(family.recordCount(), 3);
}

TEST_F(ImportMergeTest, ScoreColumnsTranslateLetterGrades)
{
    data.addField({"KM01", FieldType::Float}, FieldKind::Data);
    data.addField({"KM02", FieldType::Float}, FieldKind::Data);
    defs.appendRecord({"KM01", QStringLiteral("语文"), "S"});
    defs.appendRecord({"KM02", QStringLiteral("数学"), "S"});
    target.mapPrefixes = {QStringLiteral("KM")};
    target.mapFrom = QStringLiteral("A,B,优").split(u',');
    target.mapTo = QStringLiteral("5,4,5").split(u',');
    const ImportOutcome out = run({QStringLiteral("学籍辅号"), QStringLiteral("语文"), QStringLiteral("数学")},
                                  {{"0001", "A", "9 5"}, {"0002", QStringLiteral("优"), ""}}, keyed("学籍辅号", true));
    ASSERT_TRUE(out.complete()) << out.error.toStdString();
    EXPECT_EQ(valueOf("KM01", "0001").toDouble(), 5.0);
    EXPECT_EQ(valueOf("KM02", "0001").toDouble(), 95.0) << "spaces inside a score are removed";
    EXPECT_EQ(valueOf("KM01", "0002").toDouble(), 5.0);
    EXPECT_TRUE(valueOf("KM02", "0002").isNull());
}

TEST_F(ImportMergeTest, OfferedCaptionsLeaveOutExcludedFieldsUnlessAnOptionNeedsThem)
{
    ImportOptions o;
    QStringList captions = importCaptions(target, o);
    EXPECT_EQ(captions.first(), kNoField);
    EXPECT_FALSE(captions.contains(QStringLiteral("编码")));
    EXPECT_FALSE(captions.contains(QStringLiteral("年级")));
    EXPECT_TRUE(captions.contains(QStringLiteral("登录名")));
    o.streamGrades = true;
    target.excludedFields << QStringLiteral("sloginname");
    o.loginNames = LoginNames::Initials;
    captions = importCaptions(target, o);
    EXPECT_TRUE(captions.contains(QStringLiteral("年级"))) << "the arts/science import maps a grade column";
    EXPECT_FALSE(captions.contains(QStringLiteral("登录名"))) << "generated login names are not imported";
}

} // namespace

#include "framework/import/upubimportset.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>

namespace {

TEST_F(ImportMergeTest, TeacherDataOffersLoginNamesInsteadOfTheArtsAndScienceImport)
{
    target.excludedFields << QStringLiteral("sloginname");
    TPubImportSet wizard;
    wizard.target = target;
    wizard.Caption = QStringLiteral("教师档案 教师数据导入向导");
    wizard.prepare();
    EXPECT_FALSE(wizard.cbImpLoginName->isHidden());
    EXPECT_FALSE(wizard.lblTeacherNote->isHidden());
    EXPECT_TRUE(wizard.cbWLFBImp->isHidden());
    EXPECT_TRUE(wizard.lblStreamNote->isHidden());
    wizard.cbImpLoginName->setChecked(true);
    wizard.cbPinyin->setCurrentIndex(1);
    EXPECT_EQ(wizard.options().loginNames, LoginNames::Initials);

    QApplication::clipboard()->setText(QStringLiteral("姓名\t登录名\r\n张三\tzs\r\n"));
    wizard.nextStep();
    ASSERT_EQ(wizard.step(), 1);
    EXPECT_EQ(wizard.titles(), (QStringList{QStringLiteral("姓名"), kNoField})) << "a generated login name is not taken from the table";

    TPubImportSet students;
    students.target = target;
    students.Caption = QStringLiteral("学籍档案 学籍数据导入向导");
    students.prepare();
    EXPECT_TRUE(students.cbImpLoginName->isHidden());
    EXPECT_FALSE(students.cbWLFBImp->isHidden());
    EXPECT_EQ(students.options().loginNames, LoginNames::None);
}

} // namespace
