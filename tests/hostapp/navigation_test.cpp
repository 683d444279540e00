// The school as the host's tree and desk show it, and the parameter text each kind of function is
// opened with: built from packets as the host services hand them over, no widgets.

#include "host/app/desktab.h"
#include "host/app/functions.h"
#include "host/app/navigation.h"
#include "toolkit/data/commatext.h"

#include <QDate>

#include <gtest/gtest.h>

using namespace lumeko;
using namespace lumeko::host;
using wire::FieldType;

namespace {

const QString kHead = QStringLiteral("{HEAD}"), kTeacher = QStringLiteral("{T}");

wire::DataPacket gradeList()
{
    wire::DataPacket p({{"GradeCode", FieldType::Text, 4, 0},
                        {"InYear", FieldType::Integer, 0, 0},
                        {"bCurGrade", FieldType::Text, 1, 0},
                        {"TeacherCode", FieldType::Text, 38, 0},
                        {"SubTeacherCode", FieldType::Text, 38, 0},
                        {"sYear", FieldType::Text, 20, 0}});
    const auto year = [](int start) { return QStringLiteral("%1~%2学年").arg(start).arg(start + 1); };
    // As the server sends it: newest intake first.
    p.appendRow({"1701", 2026, "Y", QVariant(), QVariant(), year(2026)});
    p.appendRow({"2701", 2026, "Y", QVariant(), QVariant(), year(2026)});
    p.appendRow({"1801", 2025, "Y", kHead, QVariant(), year(2026)});
    p.appendRow({"1701", 2025, "N", QVariant(), QVariant(), year(2025)}); // the current 八年级's record of last year
    p.appendRow({"1901", 2024, "Y", QVariant(), QVariant(), year(2026)});
    p.appendRow({"1901", 2023, "N", QVariant(), QVariant(), year(2025)});
    p.appendRow({"1901", 2022, "N", QVariant(), QVariant(), year(2024)});
    p.appendRow({"1801", 2022, "N", QVariant(), QVariant(), year(2023)}); // the 2022 intake's year before, its students moved on
    // A senior intake ends in two grades, arts and science; both are its last.
    p.appendRow({"2302", 2021, "N", QVariant(), QVariant(), year(2023)});
    p.appendRow({"2303", 2021, "N", QVariant(), QVariant(), year(2023)});
    p.appendRow({"2201", 2021, "N", QVariant(), QVariant(), year(2022)});
    p.appendRow({"9901", 2022, "Y", QVariant(), QVariant(), year(2022)}); // a stage the school system does not know
    return p;
}

wire::DataPacket gradeNames()
{
    wire::DataPacket p({{"sKeyId", FieldType::Text, 4, 0}, {"sValue", FieldType::Text, 40, 0}});
    for (const auto &[key, name] :
         {std::pair{"1701", "七年级"}, {"1801", "八年级"}, {"1901", "九年级"}, {"2701", "高一"}, {"2201", "高二"}, {"2302", "高三理"}, {"2303", "高三文"}})
        p.appendRow({QString::fromLatin1(key), QString::fromUtf8(name)});
    return p;
}

// As the server answers the subject teacher {T}, who teaches 701班 (bMine is the caller's).
wire::DataPacket outline(bool tTeaches701 = true)
{
    wire::DataPacket p({{"InYear", FieldType::Integer, 0, 0},
                        {"GradeCode", FieldType::Text, 4, 0},
                        {"ClassCode", FieldType::Text, 3, 0},
                        {"ClassName", FieldType::Text, 40, 0},
                        {"sArea", FieldType::Text, 20, 0},
                        {"TeacherCode", FieldType::Text, 38, 0},
                        {"bMine", FieldType::Integer, 0, 0},
                        {"nStudents", FieldType::Integer, 0, 0}});
    p.appendRow({2026, "1701", "001", QStringLiteral("701班"), QStringLiteral("本部"), kTeacher, tTeaches701 ? 1 : 0, 40});
    p.appendRow({2026, "1701", "002", QStringLiteral("702班"), QString(), QVariant(), 0, 38});
    p.appendRow({2026, "1701", "009", QVariant(), QVariant(), QVariant(), 0, 3}); // students in an unlisted class
    p.appendRow({2025, "1801", "001", QStringLiteral("801班"), QString(), QVariant(), 0, 41});
    p.appendRow({2025, "1801", "002", QStringLiteral("802班"), QString(), QVariant(), 0, 39});
    p.appendRow({2026, "2701", "001", QStringLiteral("高一(1)"), QString(), QVariant(), 0, 50});
    p.appendRow({2023, "1901", "001", QStringLiteral("901班"), QString(), QVariant(), 0, 44});
    return p;
}

QStringList shape(const QList<SectionNode> &sections)
{
    QStringList out;
    for (const SectionNode &s : sections) {
        QStringList grades;
        for (const GradeNode &g : s.current) {
            QStringList classes;
            for (const GradeNode::Class &c : g.classes)
                classes << c.name;
            grades << QStringLiteral("%1=%2(%3)").arg(g.text()).arg(g.students).arg(classes.join(u'/'));
        }
        QStringList history;
        for (const GradeNode &g : s.history)
            history << g.text();
        out << s.name + u':' + grades.join(u' ') + QStringLiteral(" | ") + history.join(u' ');
    }
    return out;
}

TEST(Navigation, SectionsHoldTheirCurrentGradesLowestFirstAndEarlierIntakesApart)
{
    const QList<SectionNode> all = buildSections(gradeList(), gradeNames(), outline(), Viewer{QStringLiteral("{ADMIN}"), true, true});
    EXPECT_EQ(shape(all), (QStringList{
                              QStringLiteral("初中:2026级七年级=81(701班/702班) 2025级八年级=80(801班/802班) 2024级九年级=0() | 2023级九年级 2022级九年级"),
                              QStringLiteral("高中:2026级高一=50(高一(1)) | 2021级高三理 2021级高三文"),
                          }))
        << "students of a class the grade does not list count for the grade; unknown stages are left out; of the earlier records "
           "only an intake's last grade once it left the school, or one that still holds students";
    ASSERT_EQ(all[0].current[0].leaders, QStringLiteral(";"));
    EXPECT_EQ(all[0].current[1].leaders, kHead + u';');
    EXPECT_EQ(all[0].current[0].classes[0].area, QStringLiteral("本部"));
    EXPECT_FALSE(all[0].history[0].current);

    // A subject teacher who may see neither every grade nor every class: his own class only.
    EXPECT_EQ(shape(buildSections(gradeList(), gradeNames(), outline(), Viewer{kTeacher, false, false})),
              QStringList{QStringLiteral("初中:2026级七年级=81(701班) | ")})
        << "the grade's count stays the whole grade's";
    // A grade leader who may not see every grade sees his grade whole.
    EXPECT_EQ(shape(buildSections(gradeList(), gradeNames(), outline(false), Viewer{kHead, false, false})),
              QStringList{QStringLiteral("初中:2025级八年级=80(801班/802班) | ")});
    // Every grade, but only his own classes in them.
    EXPECT_EQ(shape(buildSections(gradeList(), gradeNames(), outline(), Viewer{kTeacher, true, false}))[0],
              QStringLiteral("初中:2026级七年级=81(701班) 2025级八年级=80() 2024级九年级=0() | 2023级九年级 2022级九年级"));
    // Packets that did not come (a failed read) give an empty school, not a crash.
    EXPECT_TRUE(buildSections({}, {}, {}, Viewer{}).isEmpty());
    const QList<SectionNode> unnamed = buildSections(gradeList(), {}, {}, Viewer{});
    EXPECT_EQ(unnamed[0].current[0].text(), QStringLiteral("2026级1701")) << "without grade names the code stands in";
}

TEST(Navigation, EachKindOfFunctionGetsTheParameterTextItsExportReads)
{
    const QList<SectionNode> sections = buildSections(gradeList(), gradeNames(), outline(), Viewer{QStringLiteral("{ADMIN}"), true, true});
    const Place section = sectionPlace(sections[0]);
    const Place grade = gradePlace(sections[0].current[1]);
    const Place schoolClass = classPlace(sections[0].current[0], sections[0].current[0].classes[1]);
    const Place history = gradePlace(sections[0].history[0]);
    const Place nothing;
    const auto params = [](const char *id, const Place &p) {
        const std::optional<QString> text = parametersFor(*hostFunction(QString::fromLatin1(id)), p);
        return text ? *text : QStringLiteral("<chooser>");
    };

    // The register takes a section, a grade or a class.
    EXPECT_EQ(params("4009", section), QStringLiteral("0,1,初中,Y,"));
    EXPECT_EQ(params("4009", grade), QStringLiteral("2025,1801,八年级,Y,{HEAD};"));
    EXPECT_EQ(params("4009", schoolClass), QStringLiteral("2026,1701,七年级,Y,;,002"));
    EXPECT_EQ(params("4009", history), QStringLiteral("2023,1901,九年级,N,;"));
    EXPECT_EQ(params("4009", nothing), QStringLiteral("<chooser>"));
    EXPECT_EQ(splitCommaText(params("4009", section)).size(), 5) << "the empty last item counts";
    EXPECT_EQ(splitCommaText(params("4009", schoolClass)).size(), 6);
    // The course table and exam management: a class stands for its grade.
    EXPECT_EQ(params("4008", schoolClass), QStringLiteral("2026,1701,七年级,Y,;"));
    EXPECT_EQ(params("4031", section), QStringLiteral("0,1,初中,Y,"));
    EXPECT_EQ(params("4011", schoolClass), params("4031", schoolClass)) << "score entry goes through the grade's exam management";
    // Grade dialogs need one grade: a section sends the user to the chooser.
    EXPECT_EQ(params("4006", section), QStringLiteral("<chooser>"));
    EXPECT_EQ(params("4029", schoolClass), QStringLiteral("2026,1701,七年级,Y,;"));
    EXPECT_EQ(params("4030", nothing), QStringLiteral("<chooser>"));
    // Whole-school dialogs ignore the place; the teachers' page lists every department.
    EXPECT_EQ(params("4001", nothing), QString());
    EXPECT_EQ(params("4013", schoolClass), QString());
    EXPECT_EQ(splitCommaText(params("4010", nothing)), (QStringList{QString(), QString()}));
    EXPECT_EQ(hostFunction(QStringLiteral("4099")), nullptr);
    EXPECT_STREQ(hostFunction(QStringLiteral("4029"))->exportName, "ShowSysExamDefFDlg");
    EXPECT_STREQ(hostFunction(QStringLiteral("4030"))->exportName, "ShowExamDefFDlg");

    // Names on tabs.
    EXPECT_EQ(section.text(), QStringLiteral("初中"));
    EXPECT_EQ(schoolClass.text(), QStringLiteral("2026级七年级 702班"));
    EXPECT_EQ(schoolClass.gradeOnly().text(), QStringLiteral("2026级七年级"));

    // A grade name with a blank or comma is quoted, so the page reads it as one item.
    GradeNode odd = sections[0].current[0];
    odd.name = QStringLiteral("七年级 (实验,A)");
    EXPECT_EQ(splitCommaText(params("4009", gradePlace(odd)))[2], QStringLiteral("七年级 (实验,A)"));
}

TEST(Navigation, TheChoosersAnswerBecomesAGrade)
{
    const QList<SectionNode> sections = buildSections(gradeList(), gradeNames(), outline(), Viewer{QStringLiteral("{ADMIN}"), true, true});
    const Place known = placeOfChoice(QStringLiteral("2025,1801,八年级,Y"), sections);
    ASSERT_EQ(known.kind, Place::Grade);
    EXPECT_EQ(known.grade.leaders, kHead + u';') << "the tree's own grade, with what the tree knows of it";
    EXPECT_EQ(known.grade.students, 80);
    const Place unseen = placeOfChoice(QStringLiteral("2020,1901,九年级,N"), sections);
    ASSERT_EQ(unseen.kind, Place::Grade) << "a grade the tree does not show is taken as the chooser names it";
    EXPECT_EQ(unseen.text(), QStringLiteral("2020级九年级"));
    EXPECT_FALSE(unseen.grade.current);
    for (const char *answer : {"CANCEL", "", "2025", "二〇二五,1801,八年级,Y", "2025,18,八年级,Y", "2025,9801,x,Y"})
        EXPECT_EQ(placeOfChoice(QString::fromUtf8(answer), sections).kind, Place::Nothing) << answer;
}

TEST(Navigation, AnExamsScoreSheetParametersAndTheSchoolYear)
{
    wire::DataPacket exams({{"InYear", FieldType::Integer, 0, 0},
                            {"GradeCode", FieldType::Text, 4, 0},
                            {"ExamCode", FieldType::Text, 10, 0},
                            {"PageName", FieldType::Text, 40, 0},
                            {"ExamName", FieldType::Text, 40, 0},
                            {"bCurGrade", FieldType::Text, 1, 0},
                            {"TeacherCode", FieldType::Text, 38, 0},
                            {"SubTeacherCode", FieldType::Text, 38, 0},
                            {"Subjects", FieldType::Text, 200, 0}});
    exams.appendRow({2025, "1801", "002", QStringLiteral("⊥"), QStringLiteral("期中考试"), "Y", kHead, QVariant(), "001;002;003"});
    const QStringList items = splitCommaText(scoreSheetParameters(exams, 0, QStringLiteral("八年级")));
    EXPECT_EQ(items, (QStringList{"2025", "1801", QStringLiteral("八年级"), "Y", kHead + u';', "001;002;003", "002", QStringLiteral("⊥"),
                                  QStringLiteral("2025级八年级.期中考试")}));

    EXPECT_EQ(schoolYearStart(QDate(2026, 8, 31)), 2025);
    EXPECT_EQ(schoolYearStart(QDate(2026, 9, 1)), 2026);
    EXPECT_EQ(schoolYearStart(QDate(2027, 1, 15)), 2026);
}

} // namespace
