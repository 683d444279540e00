// The dialog that defines an exam's students: the candidates it ticks and shows, the ticks the user
// changes, and what OK does to the score sheet's list (questions for students with scores
// included), over in-memory tables as the score page hands them over.

#include "framework/modalrun.h"
#include "students/upubdefinestudent.h"

#include "scriptedprovider.h"
#include "shots.h"
#include "toolkit/grid/bandedgrid.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

using namespace lumeko;
using namespace lumeko::achieve;
using wire::FieldDef;

namespace {

struct Candidate {
    const char *code, *no, *name, *type, *classCode;
    int seat;
    const char *sex;
    bool ticked = false; // as the server sends it
};

const QList<Candidate> kGrade = {
    {"{A}", "2026001", "张三", "普通生", "001", 1, "男"}, {"{B}", "2026002", "李四", "普通生", "001", 2, "女"},
    {"{C}", "2026003", "王五", "借读生", "002", 1, "男"}, {"{D}", "2026004", "赵六", "普通生", "002", 2, "女"},
    {"{E}", "2026005", "钱七", "借读生", "003", 1, "女"}, {"{F}", "2026006", "孙八", "普通生", "003", 2, "男"},
};

QString className(const QString &classCode)
{
    return QStringLiteral("初一(%1)班").arg(classCode.toInt());
}

// The candidates as the server's query answers them; `lowerCase` spells the fields as some
// databases do.
wire::DataPacket candidates(const QList<Candidate> &rows, bool lowerCase = false)
{
    QList<FieldDef> fields = {{"sCode", FieldType::Text, 40, 0}, {"sNo", FieldType::Text, 20, 0},        {"sName", FieldType::Text, 20, 0},
                              {"sType", FieldType::Text, 10, 0}, {"ClassName", FieldType::Text, 30, 0},  {"ClassCode", FieldType::Text, 10, 0},
                              {"sSex", FieldType::Text, 2, 0},   {"iClassNo", FieldType::Integer, 0, 0}, {"Selected", FieldType::Boolean, 0, 0}};
    if (lowerCase)
        for (FieldDef &f : fields)
            f.name = f.name.toLower();
    wire::DataPacket packet(fields);
    for (const Candidate &c : rows)
        packet.appendRow({QString::fromLatin1(c.code), QString::fromLatin1(c.no), QString::fromUtf8(c.name), QString::fromUtf8(c.type),
                          className(QString::fromLatin1(c.classCode)), QString::fromLatin1(c.classCode), QString::fromUtf8(c.sex), qint64(c.seat), c.ticked});
    return packet;
}

struct Listed {
    const char *code, *name;
    QVariant c01, c02, c99; // scores; C_99 is a subject of another exam
};

// The score sheet of an exam of subjects 01 and 02; `withClass` adds ClassCode and ClassName.
wire::DataPacket examList(const QList<Listed> &rows, bool withClass = true)
{
    QList<FieldDef> fields = {{"sCode", FieldType::Text, 40, FieldDef::Required},
                              {"sName", FieldType::Text, 20, 0},
                              {"sNo", FieldType::Text, 20, 0},
                              {"sSex", FieldType::Text, 2, 0},
                              {"iClassNo", FieldType::Integer, 0, 0}};
    if (withClass) fields << FieldDef{"ClassCode", FieldType::Text, 10, 0} << FieldDef{"ClassName", FieldType::Text, 30, 0};
    fields << FieldDef{"C_01", FieldType::Float, 0, 0} << FieldDef{"C_02", FieldType::Float, 0, 0} << FieldDef{"C_99", FieldType::Float, 0, 0}
           << FieldDef{"Memo", FieldType::Text, 40, 0};
    wire::DataPacket packet(fields);
    for (const Listed &l : rows) {
        const Candidate *c = nullptr;
        for (const Candidate &k : kGrade)
            if (qstrcmp(k.code, l.code) == 0) c = &k;
        QVariantList values = {QString::fromLatin1(l.code), QString::fromUtf8(l.name), c ? QVariant(QString::fromLatin1(c->no)) : QVariant(),
                               c ? QVariant(QString::fromUtf8(c->sex)) : QVariant(), c ? QVariant(qint64(c->seat)) : QVariant()};
        if (withClass)
            values << (c ? QVariant(QString::fromLatin1(c->classCode)) : QVariant())
                   << (c ? QVariant(className(QString::fromLatin1(c->classCode))) : QVariant());
        values << l.c01 << l.c02 << l.c99 << QStringLiteral("原有");
        packet.appendRow(values);
    }
    return packet;
}

class DefineStudentTest : public ::testing::Test {
protected:
    void TearDown() override { setModalRunner({}); }

    // A dialog over the grade's candidates and the sheet, as the score page prepares it.
    void prepare(TPubDefineStudent &d, const wire::DataPacket &students, const wire::DataPacket &list)
    {
        d.cdsStudent->setData(students);
        sheet.setData(list);
        d.setExamList(&sheet);
        d.GradeCode = QStringLiteral("1701");
        d.ExamId = 12;
        d.SubjectCodes = QStringLiteral("01,02,03"); // 03 has no column in this sheet
    }

    static QStringList ticked(TPubDefineStudent &d)
    {
        QStringList out;
        DataSet &t = *d.cdsStudent;
        for (qsizetype r = 0; r < t.recordCount(); ++r)
            if (t.valueAt(r, t.fieldIndex(u"Selected")).toBool()) out << t.valueAt(r, t.fieldIndex(u"sCode")).toString();
        out.sort();
        return out;
    }
    static void tick(TPubDefineStudent &d, const char *code, bool on)
    {
        ASSERT_TRUE(d.cdsStudent->locate(QStringLiteral("sCode"), {QString::fromLatin1(code)})) << code;
        d.cdsStudent->edit();
        d.cdsStudent->setValue(u"Selected", on);
        d.cdsStudent->post();
    }
    QStringList sheetCodes()
    {
        QStringList out;
        for (qsizetype r = 0; r < sheet.recordCount(); ++r)
            out << sheet.valueAt(r, sheet.fieldIndex(u"sCode")).toString();
        out.sort();
        return out;
    }
    bool goToSheetRow(const char *code) { return sheet.locate(QStringLiteral("sCode"), {QString::fromLatin1(code)}); }
    static QString footer(TPubDefineStudent &d, const char *field)
    {
        return d.cxGridStudent->footerText(d.cxGridStudent->columnOfField(QString::fromLatin1(field)));
    }
    // The grid's row showing a candidate.
    static int gridRow(TPubDefineStudent &d, const char *code)
    {
        const GridModel &m = *d.cxGridStudent->gridModel();
        const int field = d.cdsStudent->fieldIndex(u"sCode");
        for (int r = 0; r < d.cxGridStudent->dataRowCount(); ++r)
            if (d.cdsStudent->valueAt(m.sourceRowOfOrdinal(r), field).toString() == QLatin1String(code)) return r;
        return -1;
    }

    pub::testing::ScriptedProvider host;
    DataSet sheet;
};

TEST_F(DefineStudentTest, ShowingTicksTheListedStudentsUnderTheirStudentTypes)
{
    QList<Candidate> grade = kGrade;
    grade[4].ticked = true; // 钱七 comes ticked but is not on the list
    TPubDefineStudent d;
    EXPECT_EQ(d.windowTitle(), QStringLiteral("考试学生名单定义"));
    // A student on the list who has left the grade finds no candidate and changes nothing.
    prepare(d, candidates(grade, true), examList({{"{A}", "张三", {}, {}, {}}, {"{C}", "王五", {}, {}, {}}, {"{Z}", "周九", 77.0, {}, {}}}));
    d.show();
    EXPECT_EQ(ticked(d), (QStringList{"{A}", "{C}"}));
    EXPECT_EQ(d.cdsStudent->recNo(), 0) << "the first candidate is current";
    EXPECT_EQ(d.cdsStudent->changeCount(), 3) << "three ticks changed: 张三's, 王五's and 钱七's";
    EXPECT_EQ(sheet.changeCount(), 0);

    BandedGrid &g = *d.cxGridStudent;
    QStringList shown;
    for (int c : g.visibleColumns())
        shown << g.columnCaption(c);
    EXPECT_EQ(shown, (QStringList{QStringLiteral("选择"), QStringLiteral("学号"), QStringLiteral("姓名"), QStringLiteral("班级")}));
    const int type = g.columnOfField(QStringLiteral("sType")), tickColumn = g.columnOfField(QStringLiteral("Selected"));
    EXPECT_FALSE(g.column(type).visible);
    EXPECT_EQ(g.columnCaption(type), QStringLiteral("学生类型"));
    EXPECT_EQ(g.groupColumns(), QList<int>{type});
    EXPECT_TRUE(g.isCheckColumn(tickColumn));

    // One group per student type, with its head count; the footer counts the grade and the ticks.
    GridModel &m = *g.gridModel();
    ASSERT_EQ(m.groupCount(), 2);
    QStringList groups;
    for (int group = 0; group < m.groupCount(); ++group)
        groups << m.groupInfo(group).valueText + u' ' + m.groupSummaryText(group, g.columnOfField(QStringLiteral("ClassName")));
    groups.sort();
    EXPECT_EQ(groups, (QStringList{QStringLiteral("借读生 人数=2"), QStringLiteral("普通生 人数=4")}));
    EXPECT_EQ(footer(d, "sName"), QStringLiteral("总人数=6"));
    EXPECT_EQ(footer(d, "Selected"), QStringLiteral("已选=2"));
    EXPECT_EQ(g.dataRowCount(), 6);

    // Names and classes stay as loaded; a click on a tick is taken at once.
    EXPECT_FALSE(g.editCell(0, g.columnOfField(QStringLiteral("sName"))));
    EXPECT_FALSE(g.editCell(0, g.columnOfField(QStringLiteral("ClassName"))));
    const int sun = gridRow(d, "{F}");
    ASSERT_GE(sun, 0);
    QTreeView *view = g.bandView(1);
    const QRect box = view->visualRect(m.index(m.rowOfOrdinal(sun), tickColumn));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, box.center());
    EXPECT_EQ(ticked(d), (QStringList{"{A}", "{C}", "{F}"}));
    EXPECT_EQ(d.cdsStudent->state(), DataSetState::Browse);
    EXPECT_EQ(footer(d, "Selected"), QStringLiteral("已选=3"));

    // A new exam's empty list leaves the ticks the server sent.
    TPubDefineStudent fresh;
    prepare(fresh, candidates(grade), examList({}));
    fresh.show();
    EXPECT_EQ(ticked(fresh), QStringList{"{E}"});
    EXPECT_EQ(footer(fresh, "Selected"), QStringLiteral("已选=1"));
}

TEST_F(DefineStudentTest, UntickedStudentsLeaveTheListWithAQuestionOnlyForThoseWithScores)
{
    TPubDefineStudent d;
    prepare(d, candidates(kGrade),
            examList({
                {"{A}", "张三", {}, {}, 95.0},   // a score of another exam's subject only
                {"{B}", "李四", 0.0, -1.0, {}},  // zero and below are no scores
                {"{C}", "王五", {}, 78.0, {}},   // one score, the user keeps him
                {"{D}", "赵六", 0.5, {}, {}},    // half a mark, the user takes her off
                {"{E}", "钱七", 88.0, 90.0, {}}, // stays ticked
            }));
    d.show();
    ASSERT_EQ(ticked(d), (QStringList{"{A}", "{B}", "{C}", "{D}", "{E}"}));
    for (const char *code : {"{A}", "{B}", "{C}", "{D}"})
        tick(d, code, false);

    host.answer(pub::AnswerNo, QStringLiteral("王五"));
    host.answer(pub::AnswerYes, QStringLiteral("赵六"));
    d.confirm();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_TRUE(host.scriptDone());
    ASSERT_EQ(host.messages.size(), 2);
    EXPECT_EQ(host.messageTexts(),
              (QStringList{QStringLiteral("学生[王五]已有成绩数据，确定要删除吗？"), QStringLiteral("学生[赵六]已有成绩数据，确定要删除吗？")}));
    for (const pub::testing::ShownMessage &shown : host.messages) {
        EXPECT_EQ(shown.kind, pub::MessageKind::Confirm);
        EXPECT_EQ(shown.buttons, pub::MessageButtons::YesNo);
    }

    EXPECT_EQ(sheetCodes(), (QStringList{"{C}", "{E}"}));
    const wire::ChangePacket delta = sheet.delta();
    EXPECT_EQ(delta.count(RowStatus::Deleted), 3);
    EXPECT_EQ(delta.count(RowStatus::Inserted), 0) << "钱七 is on the list already";
    EXPECT_EQ(sheet.changeCount(), 3);
    ASSERT_TRUE(goToSheetRow("{E}"));
    EXPECT_EQ(sheet.updateStatus(), RowStatus::Unmodified);
    EXPECT_EQ(sheet.value(u"C_01").toDouble(), 88.0);
    EXPECT_EQ(sheet.value(u"C_02").toDouble(), 90.0);
    ASSERT_TRUE(goToSheetRow("{C}"));
    EXPECT_EQ(sheet.value(u"C_02").toDouble(), 78.0);

    // The score columns are the exam's: with subject 99 among them, the first student asks too.
    TPubDefineStudent other;
    prepare(other, candidates(kGrade), examList({{"{A}", "张三", {}, {}, 95.0}, {"{F}", "孙八", -5.0, {}, {}}}));
    other.SubjectCodes = QStringLiteral("99");
    other.show();
    other.tickAll(false);
    host.messages.clear();
    host.answer(pub::AnswerNo, QStringLiteral("张三"));
    other.confirm();
    EXPECT_EQ(host.messageTexts(), QStringList{QStringLiteral("学生[张三]已有成绩数据，确定要删除吗？")});
    EXPECT_EQ(sheetCodes(), QStringList{"{A}"}) << "孙八's negative mark was no score";
    EXPECT_TRUE(host.scriptDone());
}

TEST_F(DefineStudentTest, NewlyTickedStudentsAreAppendedWithWhatTheSheetShows)
{
    TPubDefineStudent d;
    prepare(d, candidates(kGrade), examList({{"{A}", "张三", 91.0, {}, {}}}));
    // As the score page runs it: the sheet's cursor and the candidate the user left stay put.
    ASSERT_TRUE(goToSheetRow("{A}"));
    setModalRunner([&](QDialog &dialog) {
        dialog.show();
        EXPECT_EQ(ticked(d), QStringList{"{A}"});
        tick(d, "{B}", true);
        tick(d, "{F}", true);
        EXPECT_TRUE(d.cdsStudent->locate(QStringLiteral("sCode"), {QStringLiteral("{D}")}));
        d.btnOk->click();
        return dialog.result();
    });
    EXPECT_EQ(runModal(d), QDialog::Accepted);
    EXPECT_TRUE(host.messages.isEmpty());
    EXPECT_EQ(d.cdsStudent->value(u"sCode").toString(), "{D}");
    EXPECT_EQ(sheet.value(u"sCode").toString(), "{A}");

    EXPECT_EQ(sheetCodes(), (QStringList{"{A}", "{B}", "{F}"}));
    EXPECT_EQ(sheet.delta().count(RowStatus::Inserted), 2);
    EXPECT_EQ(sheet.changeCount(), 2);
    ASSERT_TRUE(goToSheetRow("{A}"));
    EXPECT_EQ(sheet.updateStatus(), RowStatus::Unmodified);
    EXPECT_EQ(sheet.value(u"C_01").toDouble(), 91.0);
    ASSERT_TRUE(goToSheetRow("{F}"));
    EXPECT_EQ(sheet.updateStatus(), RowStatus::Inserted);
    const QVariantList expected = {QStringLiteral("孙八"), "2026006", QStringLiteral("男"), qint64(2), "003", QStringLiteral("初一(3)班")};
    QVariantList got;
    for (const char *field : {"sName", "sNo", "sSex", "iClassNo", "ClassCode", "ClassName"})
        got << sheet.value(QString::fromLatin1(field));
    EXPECT_EQ(got, expected);
    EXPECT_TRUE(wire::isNull(sheet.value(u"C_01")) && wire::isNull(sheet.value(u"Memo"))) << "no scores, nothing else";

    // A sheet without the class fields gets the student's own; an empty one (a new exam) gets
    // every student the server sent ticked, once.
    QList<Candidate> grade = kGrade;
    grade[2].ticked = grade[3].ticked = true;
    grade.append(grade[3]); // the same student twice in the answer
    TPubDefineStudent fresh;
    prepare(fresh, candidates(grade), examList({}, false));
    fresh.show();
    fresh.confirm();
    EXPECT_EQ(fresh.result(), QDialog::Accepted);
    EXPECT_EQ(sheetCodes(), (QStringList{"{C}", "{D}"}));
    ASSERT_TRUE(goToSheetRow("{C}"));
    EXPECT_EQ(sheet.value(u"sName").toString(), QStringLiteral("王五"));
    EXPECT_EQ(sheet.value(u"iClassNo").toInt(), 1);
    EXPECT_EQ(sheet.fieldIndex(u"ClassCode"), -1);
}

TEST_F(DefineStudentTest, RowsTheSheetRefusesStayOffItAndTheUserIsTold)
{
    // A sheet that wants an exam code on every row, which no candidate brings.
    wire::DataPacket strict({{"sCode", FieldType::Text, 40, 0}, {"sName", FieldType::Text, 20, 0}, {"ExamCode", FieldType::Text, 10, FieldDef::Required}});
    strict.appendRow({"{A}", QStringLiteral("张三"), "E01"});
    strict.appendRow({"{C}", QStringLiteral("王五"), "E01"});
    TPubDefineStudent d;
    prepare(d, candidates(kGrade), strict);
    d.show();
    tick(d, "{A}", false);
    tick(d, "{B}", true);

    // The page left a row half typed that the sheet refuses: nothing is done, the dialog stays.
    ASSERT_TRUE(goToSheetRow("{C}"));
    sheet.edit();
    sheet.setValue(u"ExamCode", QVariant());
    d.confirm();
    EXPECT_EQ(host.messages.size(), 1);
    EXPECT_EQ(host.messages.value(0).kind, pub::MessageKind::Error);
    EXPECT_EQ(d.result(), QDialog::Rejected) << "still open";
    EXPECT_EQ(sheet.state(), DataSetState::Edit);
    sheet.cancel();
    EXPECT_EQ(sheet.changeCount(), 0);

    // 张三 leaves; 李四 cannot join: the user is told and the removal stands.
    host.messages.clear();
    d.confirm();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    ASSERT_EQ(host.messages.size(), 1);
    EXPECT_EQ(host.messages[0].kind, pub::MessageKind::Error);
    EXPECT_EQ(sheetCodes(), QStringList{"{C}"});
    EXPECT_EQ(sheet.state(), DataSetState::Browse);
    EXPECT_EQ(sheet.delta().count(RowStatus::Deleted), 1);
    EXPECT_EQ(sheet.delta().count(RowStatus::Inserted), 0);
}

TEST_F(DefineStudentTest, TickingAllNoneAndTheGridsSelectedRows)
{
    TPubDefineStudent d;
    prepare(d, candidates(kGrade), examList({{"{B}", "李四", {}, {}, {}}}));
    d.show();
    EXPECT_EQ(d.btnSelectAll->text(), QStringLiteral("全  选"));
    EXPECT_EQ(d.btnUnSelectAll->text(), QStringLiteral("全不选"));
    EXPECT_EQ(d.btnOk->text(), QStringLiteral("确定"));
    EXPECT_EQ(d.btnCancel->text(), QStringLiteral("取消"));
    QStringList menu;
    for (QAction *a : d.pmGrid->actions())
        if (!a->isSeparator()) menu << a->text();
    EXPECT_EQ(menu, (QStringList{QStringLiteral("选   择"), QStringLiteral("不   选"), QStringLiteral("全   选"), QStringLiteral("全不选")}));

    // A right click on a row opens the menu there.
    {
        BandedGrid &g = *d.cxGridStudent;
        QTreeView *view = g.bandView(1);
        const int row = gridRow(d, "{D}");
        const QRect cell = view->visualRect(g.gridModel()->index(g.gridModel()->rowOfOrdinal(row), g.columnOfField(QStringLiteral("sName"))));
        QContextMenuEvent click(QContextMenuEvent::Mouse, cell.center(), view->viewport()->mapToGlobal(cell.center()));
        QApplication::sendEvent(view->viewport(), &click);
        EXPECT_TRUE(d.pmGrid->isVisible());
        EXPECT_EQ(g.currentRow(), row);
        d.pmGrid->hide();
    }

    ASSERT_TRUE(d.cdsStudent->locate(QStringLiteral("sCode"), {QStringLiteral("{E}")}));
    d.btnSelectAll->click();
    EXPECT_EQ(ticked(d).size(), 6);
    EXPECT_EQ(footer(d, "Selected"), QStringLiteral("已选=6"));
    EXPECT_EQ(d.cdsStudent->value(u"sCode").toString(), "{E}") << "back on the row the user was on";
    d.btnUnSelectAll->click();
    EXPECT_TRUE(ticked(d).isEmpty());
    EXPECT_EQ(d.cdsStudent->value(u"sCode").toString(), "{E}");
    EXPECT_EQ(footer(d, "Selected"), QStringLiteral("已选=0"));
    d.acSelectAll->trigger();
    EXPECT_EQ(ticked(d).size(), 6);
    d.acUnSelectAll->trigger();
    EXPECT_TRUE(ticked(d).isEmpty());

    // The rows selected in the grid, whatever their cells.
    BandedGrid &g = *d.cxGridStudent;
    GridModel &m = *g.gridModel();
    const int li = gridRow(d, "{B}"), sun = gridRow(d, "{F}"), zhao = gridRow(d, "{D}");
    ASSERT_TRUE(li >= 0 && sun >= 0 && zhao >= 0);
    QItemSelectionModel *selection = g.bandView(1)->selectionModel();
    const auto select = [&](QList<int> rows) {
        selection->clearSelection();
        for (int r : rows)
            selection->select(m.index(m.rowOfOrdinal(r), g.columnOfField(QStringLiteral("sName"))), QItemSelectionModel::Select);
    };
    select({li, sun, zhao});
    d.acSelect->trigger();
    EXPECT_EQ(ticked(d), (QStringList{"{B}", "{D}", "{F}"}));
    select({sun});
    d.acUnSelect->trigger();
    EXPECT_EQ(ticked(d), (QStringList{"{B}", "{D}"}));
    EXPECT_EQ(footer(d, "Selected"), QStringLiteral("已选=2"));
    EXPECT_EQ(sheet.changeCount(), 0) << "ticks alone change no list";
}

TEST_F(DefineStudentTest, AnExamOfSomeClassesOffersTheirStudentsAlone)
{
    QList<Candidate> grade = kGrade;
    grade.append({"{G}", "2026007", "吴九", "普通生", "01", 1, "女"}); // a code within 001
    grade.append({"{H}", "2026008", "郑十", "借读生", "", 1, "男"});

    TPubDefineStudent d;
    prepare(d, candidates(grade), examList({}));
    d.keepClasses(QStringLiteral("ALL"));
    EXPECT_EQ(d.cdsStudent->recordCount(), 8);
    d.keepClasses(QString());
    d.keepClasses(QStringLiteral("  "));
    EXPECT_EQ(d.cdsStudent->recordCount(), 8);

    d.keepClasses(QStringLiteral("001,003"));
    QStringList kept;
    for (qsizetype r = 0; r < d.cdsStudent->recordCount(); ++r)
        kept << d.cdsStudent->valueAt(r, d.cdsStudent->fieldIndex(u"sCode")).toString();
    kept.sort();
    EXPECT_EQ(kept, (QStringList{"{A}", "{B}", "{E}", "{F}"}));
    EXPECT_EQ(d.cdsStudent->recNo(), 0);
    EXPECT_EQ(footer(d, "sName"), QStringLiteral("总人数=4"));

    d.keepClasses(QStringLiteral("003"));
    EXPECT_EQ(d.cdsStudent->recordCount(), 2);
}

TEST_F(DefineStudentTest, CancelLeavesTheListAsItWas)
{
    TPubDefineStudent d;
    prepare(d, candidates(kGrade), examList({{"{A}", "张三", 60.0, {}, {}}, {"{B}", "李四", {}, {}, {}}}));
    setModalRunner([&](QDialog &dialog) {
        dialog.show();
        d.btnUnSelectAll->click();
        tick(d, "{F}", true);
        d.btnCancel->click();
        return dialog.result();
    });
    EXPECT_EQ(runModal(d), QDialog::Rejected);
    EXPECT_TRUE(host.messages.isEmpty()) << "no question either";
    EXPECT_EQ(sheet.changeCount(), 0);
    EXPECT_EQ(sheetCodes(), (QStringList{"{A}", "{B}"}));
}

TEST_F(DefineStudentTest, Picture)
{
    if (pub::testing::shotsFolder().isEmpty()) GTEST_SKIP() << "LUMEKO_SHOTS is not set";
    static const char *const family[] = {"王", "李", "张", "刘", "陈", "杨", "黄", "赵", "周", "吴"};
    static const char *const given[] = {"子涵", "欣怡", "浩然", "梓轩", "雨桐", "宇航", "思远", "佳琪", "俊杰", "诗涵", "一诺", "明轩"};
    QList<std::string> names, codes, numbers;
    for (int i = 0; i < 30; ++i) {
        names.push_back(std::string(family[i % 10]) + given[(i * 5) % 12]);
        codes.push_back("{S" + std::to_string(i) + "}");
        numbers.push_back("20260" + std::to_string(10 + i));
    }
    QList<Candidate> grade;
    QList<Listed> listed;
    for (int i = 0; i < 30; ++i) {
        grade.append({codes[i].c_str(), numbers[i].c_str(), names[i].c_str(), i % 7 == 3 ? "借读生" : "普通生", i < 15 ? "001" : "002", i % 15 + 1,
                      i % 2 ? "女" : "男"});
        if (i % 4 != 1) listed.append({codes[i].c_str(), names[i].c_str(), {}, {}, {}});
    }
    TPubDefineStudent d;
    prepare(d, candidates(grade), examList(listed));
    d.show();
    QApplication::processEvents();
    EXPECT_EQ(footer(d, "Selected"), QStringLiteral("已选=22"));
    pub::testing::saveShot(d, "define-students");
}

} // namespace
