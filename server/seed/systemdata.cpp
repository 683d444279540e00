#include "server/seed/seed.h"
#include "server/seed/reference.h"
#include "server/seed/systemdata.h"
#include "server/seed/tablewriter.h"

#include <initializer_list>

namespace lumeko::server {

namespace seed {

namespace {

QString text(const char *utf8) { return utf8 ? QString::fromUtf8(utf8) : QString(); }
QVariant orNull(const char *utf8) { return utf8 ? QVariant(QString::fromUtf8(utf8)) : QVariant(); }

// --- registry lists ---------------------------------------------------------------------------------

struct ListEntry {
    const char *key;
    const char *value;
    const char *desc = nullptr;
};

struct RegList {
    const char *name;
    std::initializer_list<ListEntry> entries;
};

// "StudType" is also asked for as "STUDTYPE"; list names are matched without regard to case, so
// the student types are stored once.
const RegList kLists[] = {
    {"StudState",
     {{"00", "在读", "在校就读，新生默认"}, {"01", "休学"}, {"02", "转出"}, {"03", "退学"}, {"04", "毕业"},
      {"05", "出国"}}},
    {"ExamType",
     {{"1", "综合考试", "全年级统一组织的考试"}, {"2", "单元考试", "任课教师为所教班级组织的考试"},
      {"3", "系统考试", "上级教育部门统一组织的考试"}}},
    {"ExamGrade", {{"0", "优秀"}, {"1", "良好"}, {"2", "及格"}, {"3", "合格"}, {"4", "不及格"}}},
    // Letter grades by rank share; the description is the default percentage of the letter.
    {"CreditGrade", {{"5", "A", "15"}, {"4", "B", "35"}, {"3", "C", "30"}, {"2", "D", "15"}, {"1", "E", "5"}}},
    // Steps of a subject with full mark 8; the key is the stored score.
    {"EightGrade",
     {{"5.5", "A+"}, {"5", "A"}, {"4.5", "B+"}, {"4", "B"}, {"3.5", "C+"}, {"3", "C"}, {"2.5", "D+"}, {"2", "D"}}},
    {"ClassType", {{"1", "普通班"}, {"2", "实验班"}, {"3", "重点班"}, {"4", "特长班"}, {"5", "国际班"}}},
    {"SubjectType",
     {{"0", "基础学科", "计入全总分、主总分和基总分"}, {"1", "主科", "计入全总分和主总分"},
      {"2", "辅助科", "只计入全总分"}}},
    {"FullMarkType",
     {{"100", "100分制"}, {"120", "120分制"}, {"150", "150分制"}, {"200", "200分制"}, {"300", "300分制"},
      {"50", "50分制"}, {"5", "四级等级", "A、B、C、D四级"}, {"8", "八级等级", "A+至D八级"}}},
    {"TeacState", {{"0", "在职"}, {"1", "离职"}, {"2", "退休"}, {"3", "调出"}, {"4", "病休"}}},
    {"Roles",
     {{"1", "教务管理员"}, {"2", "科目组长"}, {"3", "年级长"}, {"4", "班主任"}, {"5", "备课组长"},
      {"6", "任课教师"}}},
    {"StudType", {{"1", "统招生"}, {"2", "择校生"}, {"3", "借读生"}, {"4", "特长生"}, {"5", "港澳台生"}}},
    {"ExamShowType",
     {{"0", "显示分数"}, {"1", "显示等级"}, {"2", "显示分数和等级"}, {"3", "显示分数和排名"}, {"4", "不显示成绩"}}},
    {"RSDTYPE", {{"1", "城镇"}, {"2", "农村"}, {"3", "港澳台"}, {"4", "外籍"}}},
    // Keyed by the province part of the national administrative division code.
    {"BirthAddr",
     {{"11", "北京"}, {"12", "天津"}, {"13", "河北"}, {"14", "山西"}, {"15", "内蒙古"}, {"21", "辽宁"},
      {"22", "吉林"}, {"23", "黑龙江"}, {"31", "上海"}, {"32", "江苏"}, {"33", "浙江"}, {"34", "安徽"},
      {"35", "福建"}, {"36", "江西"}, {"37", "山东"}, {"41", "河南"}, {"42", "湖北"}, {"43", "湖南"},
      {"44", "广东"}, {"45", "广西"}, {"46", "海南"}, {"50", "重庆"}, {"51", "四川"}, {"52", "贵州"},
      {"53", "云南"}, {"54", "西藏"}, {"61", "陕西"}, {"62", "甘肃"}, {"63", "青海"}, {"64", "宁夏"},
      {"65", "新疆"}, {"71", "台湾"}, {"81", "香港"}, {"82", "澳门"}}},
    {"TeacType", {{"1", "在编教师"}, {"2", "合同教师"}, {"3", "临聘教师"}, {"4", "外籍教师"}, {"5", "行政人员"}}},
    // Keyed by the national standard numbers of the ethnic groups.
    {"Nation",
     {{"01", "汉族"},     {"02", "蒙古族"},   {"03", "回族"},   {"04", "藏族"},     {"05", "维吾尔族"},
      {"06", "苗族"},     {"07", "彝族"},     {"08", "壮族"},   {"09", "布依族"},   {"10", "朝鲜族"},
      {"11", "满族"},     {"12", "侗族"},     {"13", "瑶族"},   {"14", "白族"},     {"15", "土家族"},
      {"16", "哈尼族"},   {"17", "哈萨克族"}, {"18", "傣族"},   {"19", "黎族"},     {"20", "傈僳族"},
      {"21", "佤族"},     {"22", "畲族"},     {"23", "高山族"}, {"24", "拉祜族"},   {"25", "水族"},
      {"26", "东乡族"},   {"27", "纳西族"},   {"28", "景颇族"}, {"29", "柯尔克孜族"}, {"30", "土族"},
      {"31", "达斡尔族"}, {"32", "仫佬族"},   {"33", "羌族"},   {"34", "布朗族"},   {"35", "撒拉族"},
      {"36", "毛南族"},   {"37", "仡佬族"},   {"38", "锡伯族"}, {"39", "阿昌族"},   {"40", "普米族"},
      {"41", "塔吉克族"}, {"42", "怒族"},     {"43", "乌孜别克族"}, {"44", "俄罗斯族"}, {"45", "鄂温克族"},
      {"46", "德昂族"},   {"47", "保安族"},   {"48", "裕固族"}, {"49", "京族"},     {"50", "塔塔尔族"},
      {"51", "独龙族"},   {"52", "鄂伦春族"}, {"53", "赫哲族"}, {"54", "门巴族"},   {"55", "珞巴族"},
      {"56", "基诺族"},   {"97", "其他"}}},
    {"Duty",
     {{"1", "组长"}, {"2", "副组长"}, {"3", "组员"}, {"4", "主任"}, {"5", "副主任"}, {"6", "校长"},
      {"7", "副校长"}, {"8", "干事"}}},
};

void addRegistryLists(Database &db)
{
    TableWriter w(db, QStringLiteral("XT_RegList"), {"sListName", "sKeyId", "sValue", "sDesc", "iOrder"},
                  TableWriter::SkipExisting);
    for (const RegList &list : kLists) {
        int order = 0;
        for (const ListEntry &e : list.entries)
            w.add({text(list.name), text(e.key), text(e.value), orNull(e.desc), ++order});
    }
    w.flush();
}

void addRegistryValues(Database &db)
{
    TableWriter w(db, QStringLiteral("XT_Registry"), {"sSection", "sKey", "sValue", "sExtra"}, TableWriter::SkipExisting);
    const QString params = QStringLiteral("SysParams");
    // Rank subjects, classes and campuses on the client after every score save.
    w.add({params, QStringLiteral("CaleOrderOnSave"), QStringLiteral("yes"), QVariant()});
    // The school's own column names for the score import; none until the school sets them.
    w.add({params, QStringLiteral("AchieveName"), QStringLiteral(""), QVariant()});
    // Student photos: the largest file in kilobytes, and where the photo tool can be downloaded.
    w.add({params, QStringLiteral("MaxImageSize"), QStringLiteral("100"),
           QStringLiteral("https://www.example.com/lumeko/photo-tool")});
    w.flush();
}

// --- field definitions ---------------------------------------------------------------------------------

struct Field {
    const char *name;
    const char *caption;
    const char *type; // S text, I integer, N integer with a spin editor, F number, D date, B boolean
    int width;
    bool shown = true;
    bool count = false; // footer and group rows count the rows
};

struct FieldTable {
    const char *table;
    std::initializer_list<Field> fields;
};

// The selection column comes first: it stays editable in every state, so the pages' rules about
// "columns from the second on" never lock a data column.
const FieldTable kFieldTables[] = {
    {"XJ_Student",
     {{"Selected", "选择", "B", 4},
      {"sName", "姓名", "S", 8, true, true},
      {"iClassNo", "座号", "N", 4},
      {"ClassCode", "班级", "S", 10},
      {"sSex", "性别", "S", 4},
      {"iState", "状态", "S", 6},
      {"sType", "学生类型", "S", 8},
      {"sNO", "学籍辅号", "S", 12},
      {"sICNo", "全国学籍号", "S", 20},
      {"sPNO", "身份证号", "S", 18},
      {"dbirthday", "出生日期", "D", 10},
      {"sNation", "民族", "S", 6},
      {"sBirthAddr", "籍贯", "S", 8},
      {"sResidenceType", "户口类型", "S", 8},
      {"sOldSchool", "原学校", "S", 16},
      {"sTel", "联系电话", "S", 13},
      {"sAddress", "家庭住址", "S", 30},
      {"dEnterDate", "入学日期", "D", 10},
      {"sMemo", "备注", "S", 20},
      {"sPass", "密码", "S", 10, false},
      {"sCode", "学生ID", "S", 38, false},
      {"SchoolCode", "学校", "S", 20, false},
      {"GradeCode", "年级", "S", 6, false},
      {"InYear", "入学年份", "I", 6, false}}},
    // Which users may see all grades and classes, and who is an administrator, is not kept on this
    // page: those columns are left out so that a teacher editor cannot raise anyone's rights.
    {"JC_Teacher",
     {{"Selected", "选择", "B", 4},
      {"sName", "姓名", "S", 8, true, true},
      {"sSex", "性别", "S", 4},
      {"sLoginName", "登录名", "S", 14},
      {"sMobile", "手机号码", "S", 12},
      {"sMail", "邮箱号", "S", 22},
      {"sRole", "角色", "S", 20},
      {"iState", "状态", "I", 6},
      {"sType", "教师类型", "S", 8},
      {"sTitle", "职称", "S", 10},
      {"sNation", "民族", "S", 6},
      {"sBirthAddr", "籍贯", "S", 8},
      {"sResidenceType", "户口类型", "S", 8},
      {"dBirthday", "出生日期", "D", 10},
      {"sIDCard", "身份证号", "S", 18},
      {"sTel", "办公电话", "S", 13},
      {"dWorkDate", "参加工作日期", "D", 10},
      {"sMemo", "备注", "S", 20},
      {"sPass", "密码", "S", 10, false},
      {"sCode", "教师ID", "S", 38, false},
      {"SchoolCode", "学校", "S", 20, false}}},
    // The information columns of the score sheet; the score, rank and level columns of each subject
    // are built by the page from the exam's subjects.
    {"CJ_Mark",
     {{"Selected", "选择", "B", 4},
      {"sCode", "学生ID", "S", 38, false},
      {"SNO", "学籍辅号", "S", 12},
      {"sName", "姓名", "S", 8, true, true},
      {"sSex", "性别", "S", 4},
      {"ClassName", "班级", "S", 10},
      {"iClassNO", "座号", "N", 4},
      {"AuthNo", "考号", "S", 10},
      // Shown when a school wants them; a teacher typing scores needs name, class and seat.
      {"sArea", "校区", "S", 6, false},
      {"sType", "学生类型", "S", 8, false},
      {"sOldSchool", "原学校", "S", 16, false}}},
    // The fixed columns of the analysis results; the analyses append their own per subject.
    {"XT_Temp",
     {{"sCode", "学生ID", "S", 38, false},
      {"sNO", "学号", "S", 12},
      {"sName", "姓名", "S", 8, true, true},
      {"iClassNo", "座号", "N", 4},
      {"sSex", "性别", "S", 4},
      {"sType", "学生类型", "S", 8},
      {"ClassCode", "班级", "S", 8},
      {"GradeCode", "年级", "S", 6},
      {"InYear", "入学年份", "I", 6}}},
    // P-value records; the columns ending in _Avg, _Pre and _Pas are computed by the page.
    {"CJ_ZLPG_P",
     {{"NID", "编号", "I", 6, false},
      {"SchoolCode", "学校", "S", 20, false},
      {"InYear", "计算年份", "I", 6},
      {"GradeCode", "考试年级", "S", 6},
      {"ExamCode", "计算考试", "S", 8},
      {"nExamId", "考试ID", "I", 6, false},
      {"sArea", "校区", "S", 6},
      {"SchoolType", "学校类型", "S", 6},
      {"nMastNums", "应参加人数", "I", 8},
      {"nLeaveNums", "辍学生数", "I", 8},
      {"nTotals", "总分之和", "F", 10},
      {"nTotals_Avg", "总分均值", "F", 8},
      {"nFullTotal6", "六科满分", "F", 8},
      {"nPass6Nums", "六科达毕业分数线总人数", "I", 10},
      {"nPass6Nums_Pre", "合格率", "F", 8},
      {"nPass10Nums", "十科全及格总人数", "I", 10},
      {"nPass10Nums_Pre", "全科及格率", "F", 8},
      {"nPass10TotalNums", "十科每科及格人数之和", "I", 10},
      {"nPass10TotalNums_Pas", "单科及格率", "F", 8},
      {"nExcel6Nums", "六科总分优秀的总人数", "I", 10},
      {"nExcel6Nums_Pre", "总分优良率", "F", 8},
      {"NP1", "学业质量评估值", "F", 10},
      {"nDYValue", "德育评估值", "F", 8},
      {"nTWYSJYValue", "体卫艺术教育评估值", "F", 10},
      {"nGGPre3", "三年巩固率", "F", 8},
      {"nRangeValue", "规模值", "F", 8},
      {"NP", "P值", "F", 8},
      {"sTypes", "统计范围", "S", 16},
      {"DCreate", "创建日期", "D", 10},
      {"SCreater", "创建人", "S", 8},
      {"sSubjects6", "中考总分科目", "S", 20, false},
      {"sSubjects10", "全科科目", "S", 30, false},
      {"sSumGS", "P′值公式", "S", 40, false},
      {"sSumGSP", "P值公式", "S", 40, false}}},
};

void addFieldDefinitions(Database &db)
{
    TableWriter w(db, QStringLiteral("XT_Fields"),
                  {"sTable", "sFldName", "iOrder", "sFldCaption", "bShowed", "nWidth", "bSum", "bGroup", "sFieldType",
                   "sSumType", "sFormat"},
                  TableWriter::SkipExisting);
    for (const FieldTable &t : kFieldTables) {
        int order = 0;
        for (const Field &f : t.fields)
            w.add({text(t.table), text(f.name), ++order, text(f.caption), f.shown, f.width, f.count, f.count,
                   text(f.type), f.count ? QVariant(QStringLiteral("C")) : QVariant(),
                   f.count ? QVariant(QStringLiteral("人数=,0")) : QVariant()});
    }
    w.flush();
}

// --- grade names -----------------------------------------------------------------------------------------
//
// A grade code has at most four characters: the school stage ("0" primary, "1" junior, "2" senior),
// then the year of schooling, then a stream number. The first two characters identify the school
// year, so grades that share them (the science and arts streams of one year) are set up and
// promoted together:
//   primary  0101 一年级 ... 0601 六年级
//   junior   1701 七年级, 1801 八年级, 1901 九年级
//   senior   2101 高一; 2201 高二（理科）, 2202 高二（文科）; 2301 高三（理科）, 2302 高三（文科）
// Streams: 01 science (and the undivided first senior year), 02 arts. 高一 moves on into the science
// stream; the arts classes are moved afterwards. The last grade of each stage graduates: a school
// with two stages takes its next stage as a new intake, so no grade leads across stages.

struct GradeName {
    const char *code;
    const char *name;
    const char *next; // empty for a graduating grade
};

const GradeName kPrimary[] = {{"0101", "一年级", "0201"}, {"0201", "二年级", "0301"}, {"0301", "三年级", "0401"},
                              {"0401", "四年级", "0501"}, {"0501", "五年级", "0601"}, {"0601", "六年级", nullptr}};
const GradeName kJunior[] = {{"1701", "七年级", "1801"}, {"1801", "八年级", "1901"}, {"1901", "九年级", nullptr}};
const GradeName kSenior[] = {{"2101", "高一", "2201"},
                             {"2201", "高二（理科）", "2301"},
                             {"2202", "高二（文科）", "2302"},
                             {"2301", "高三（理科）", nullptr},
                             {"2302", "高三（文科）", nullptr}};

struct Stage {
    const char *section;
    const GradeName *grades;
    int count;
};
constexpr Stage kPrimaryStage{"小学", kPrimary, int(std::size(kPrimary))};
constexpr Stage kJuniorStage{"初中", kJunior, int(std::size(kJunior))};
constexpr Stage kSeniorStage{"高中", kSenior, int(std::size(kSenior))};

struct SchoolType {
    const char *name;
    std::initializer_list<Stage> stages;
};

const SchoolType kSchoolTypes[] = {
    {"小学", {kPrimaryStage}},
    {"初中", {kJuniorStage}},
    {"高中", {kSeniorStage}},
    {"完全中学", {kJuniorStage, kSeniorStage}},
    {"九年一贯制", {kPrimaryStage, kJuniorStage}},
};

void addGradeNames(Database &db)
{
    TableWriter w(db, QStringLiteral("XT_GradeName"),
                  {"sSchoolType", "sKeyId", "sValue", "sType", "sNextGrade", "bGraduate", "iOrder"},
                  TableWriter::SkipExisting);
    for (const SchoolType &type : kSchoolTypes) {
        int order = 0;
        for (const Stage &stage : type.stages)
            for (int i = 0; i < stage.count; ++i) {
                const GradeName &g = stage.grades[i];
                w.add({text(type.name), text(g.code), text(g.name), text(stage.section), orNull(g.next),
                       g.next == nullptr, ++order});
            }
    }
    w.flush();
}

// --- the function tree of the rights packet -----------------------------------------------------------
//
// "40" holds the module's page actions; a page row has no key of its own: holding the page is
// holding its id, and the host tells the actions apart by that id. Below each page hang the function
// keys its commands check; "00" holds keys every page shares. A key row's id is its page's id and two
// more digits.

struct Function {
    const char *id;
    const char *parent; // none for the two roots
    const char *key;    // none for the roots and the pages
    const char *name;
    const char *img = nullptr;
};

const Function kFunctions[] = {
    {"00", nullptr, nullptr, "公共功能"},
    {"0001", "00", "Print", "打印"},
    {"0002", "00", "PrintSet", "报表设置"},
    {"40", nullptr, nullptr, "学业管理"},
    {"4001", "40", nullptr, "年级设置", "Grade"},
    {"400101", "4001", "Manager", "维护年级"},
    {"4002", "40", nullptr, "班级设置", "Class"},
    {"400201", "4002", "Manager", "维护班级"},
    {"4003", "40", nullptr, "学科设置", "Subject"},
    {"400301", "4003", "Manager", "维护学科"},
    {"4004", "40", nullptr, "部门设置", "Dept"},
    {"400401", "4004", "Manager", "维护部门"},
    {"4005", "40", nullptr, "考试名称", "ExamInfo"},
    {"400501", "4005", "Manager", "维护考试名称"},
    {"4006", "40", nullptr, "年级班级", "GradeClass"},
    {"400601", "4006", "Manager", "维护年级班级"},
    {"4007", "40", nullptr, "年级学科", "GradeSubject"},
    {"400701", "4007", "Manager", "维护年级学科"},
    {"4008", "40", nullptr, "教师任课表", "CourseTable"},
    {"400801", "4008", "Manager", "编辑任课表"},
    {"400802", "4008", "Import", "导入任课表"},
    {"4009", "40", nullptr, "学籍档案", "Student"},
    {"400901", "4009", "Manager", "编辑学籍"},
    {"400902", "4009", "Import", "导入学籍"},
    {"400903", "4009", "ChangeClass", "学生调班"},
    {"400904", "4009", "SetPass", "设置学生密码"},
    {"400905", "4009", "EditHis", "修改历史学籍"},
    {"400906", "4009", "Print", "打印学籍"},
    {"4010", "40", nullptr, "教师档案", "Teacher"},
    {"401001", "4010", "Manager", "编辑教师档案"},
    {"401002", "4010", "Import", "导入教师档案"},
    {"401003", "4010", "SetPass", "设置教师密码"},
    {"401004", "4010", "Print", "打印教师档案"},
    {"4011", "40", nullptr, "成绩录入", "Achieve"},
    {"401101", "4011", "ViewTotal", "查看总分"},
    {"401102", "4011", "ViewOrder", "查看排名"},
    {"401103", "4011", "ViewLevel", "查看等级"},
    {"401104", "4011", "Student", "考生名单"},
    {"401105", "4011", "DivClass", "教学分班"},
    {"401106", "4011", "Import", "导入成绩"},
    {"401107", "4011", "Print", "打印成绩"},
    {"401108", "4011", "Manager", "成绩修改记录"},
    {"4012", "40", nullptr, "年级定义向导", "GradeDefine"},
    {"4013", "40", nullptr, "年级升级", "UpGrade"},
    {"4029", "40", nullptr, "创建综合考试", "SysExam"},
    {"4030", "40", nullptr, "创建单元考试", "UnitExam"},
    {"4031", "40", nullptr, "考试管理", "ExamMrg"},
    {"403101", "4031", "Manager", "管理考试"},
};

// What each role may use beside the administrator (role 1), who gets every function.
struct RoleGrant {
    int role;
    std::initializer_list<const char *> functions;
};

const RoleGrant kRoleGrants[] = {
    // 科目组长: follows the subject through every grade; creates unit exams, sees all results.
    {2, {"0001", "0002", "4008", "4009", "4010", "4011", "401101", "401102", "401103", "401106", "401107", "4030", "4031"}},
    // 年级长: runs a grade: its classes, subjects, course table, register and exams.
    {3, {"0001", "0002", "4006",   "400601", "4007",   "400701", "4008",   "400801", "400802", "4009",   "400901", "400902", "400903", "400904", "400906",
         "4010", "4011", "401101", "401102", "401103", "401104", "401105", "401106", "401107", "401108", "4029",   "4030",   "4031",   "403101"}},
    // 班主任: keeps the register of the class and follows its results.
    {4, {"0001", "4008", "4009", "400901", "400904", "400906", "4011", "401101", "401102", "401103", "401104", "401107", "4030", "4031"}},
    // 备课组长: one subject in one grade.
    {5, {"0001", "4008", "4009", "4011", "401101", "401102", "401103", "401106", "401107", "4030", "4031"}},
    // 任课教师: enters and prints the scores of the classes taught.
    {6, {"0001", "4009", "4011", "401102", "401106", "401107", "4030", "4031"}},
};

void addFunctionTree(Database &db)
{
    TableWriter f(db, QStringLiteral("XT_Function"),
                  {"sFunId", "sParFunId", "sFunKey", "sFunName", "sImg", "sDeskImg", "iOrder"}, TableWriter::SkipExisting);
    int order = 0;
    for (const Function &fn : kFunctions) {
        const QVariant img = orNull(fn.img);
        const QVariant deskImg = fn.img ? QVariant(QStringLiteral("Desk") + text(fn.img)) : QVariant();
        f.add({text(fn.id), orNull(fn.parent), orNull(fn.key), text(fn.name), img, deskImg, ++order});
    }
    f.flush();

    TableWriter r(db, QStringLiteral("XT_RoleRight"), {"iRole", "sFunId"}, TableWriter::SkipExisting);
    for (const Function &fn : kFunctions) r.add({1, text(fn.id)});
    for (const RoleGrant &g : kRoleGrants) {
        // The two roots too, so that what a role holds hangs together as a tree.
        r.add({g.role, QStringLiteral("00")});
        r.add({g.role, QStringLiteral("40")});
        for (const char *id : g.functions) r.add({g.role, text(id)});
    }
    r.flush();
}

void addSharedExamNames(Database &db)
{
    TableWriter w(db, QStringLiteral("CJ_ExamInfo"), {"sCode", "sName", "sType", "SchoolCode", "bState"},
                  TableWriter::SkipExisting);
    for (const SharedExamName &e : kSharedExamNames)
        w.add({text(e.code), text(e.name), text(e.type), QStringLiteral("SYSTEM"), true});
    w.flush();
}

// Level 1: the reference data of the first schema. A later release that adds reference rows adds
// a step of the next level, so that databases which have level 1 get only the new rows.
void addLevel1(Database &db)
{
    addRegistryLists(db);
    addRegistryValues(db);
    addFieldDefinitions(db);
    addGradeNames(db);
    addFunctionTree(db);
    addSharedExamNames(db);
}

// Level 2: the score history's right (401108), for the administrator and the grade leaders.
void addLevel2(Database &db)
{
    TableWriter f(db, QStringLiteral("XT_Function"), {"sFunId", "sParFunId", "sFunKey", "sFunName", "iOrder"}, TableWriter::SkipExisting);
    const QVariant printOrder = db.scalar(QStringLiteral("SELECT \"iOrder\" FROM \"XT_Function\" WHERE \"sFunId\" = '401107'"));
    f.add({QStringLiteral("401108"), QStringLiteral("4011"), QStringLiteral("Manager"), QStringLiteral("成绩修改记录"), printOrder});
    f.flush();
    TableWriter r(db, QStringLiteral("XT_RoleRight"), {"iRole", "sFunId"}, TableWriter::SkipExisting);
    r.add({1, QStringLiteral("401108")});
    r.add({3, QStringLiteral("401108")});
    r.flush();
    // The score sheet opens with the student's name, class and seat beside the scores; branch,
    // student type and former school stay available through the column menu.
    db.exec(QStringLiteral("UPDATE \"XT_Fields\" SET \"bShowed\" = ? WHERE \"sTable\" = 'CJ_Mark' AND \"sFldName\" IN ('sArea', 'sType', 'sOldSchool')"),
            {db.toDb(false, wire::FieldType::Boolean)});
}

// Level 3: the P-value evaluation (4032) and its computing key, for the administrator and the
// grade leaders, after the functions there are.
void addLevel3(Database &db)
{
    const int last = db.scalar(QStringLiteral("SELECT MAX(\"iOrder\") FROM \"XT_Function\"")).toInt();
    TableWriter f(db, QStringLiteral("XT_Function"), {"sFunId", "sParFunId", "sFunKey", "sFunName", "sImg", "sDeskImg", "iOrder"}, TableWriter::SkipExisting);
    f.add({QStringLiteral("4032"), QStringLiteral("40"), QVariant(), QStringLiteral("P值"), QStringLiteral("Cal"), QStringLiteral("DeskCal"), last + 1});
    f.add({QStringLiteral("403201"), QStringLiteral("4032"), QStringLiteral("Manager"), QStringLiteral("计算P值"), QVariant(), QVariant(), last + 2});
    f.flush();
    TableWriter r(db, QStringLiteral("XT_RoleRight"), {"iRole", "sFunId"}, TableWriter::SkipExisting);
    for (const int role : {1, 3})
        for (const char *id : {"4032", "403201"})
            r.add({role, text(id)});
    r.flush();
}

struct Step {
    int level;
    void (*apply)(Database &);
};
const Step kSteps[] = {{1, addLevel1}, {2, addLevel2}, {3, addLevel3}};

const QString kLevelSection = QStringLiteral("Lumeko");
const QString kLevelKey = QStringLiteral("SystemDataLevel");

} // namespace

int systemDataLevel() { return std::end(kSteps)[-1].level; }

void addSystemData(Database &db)
{
    const int stored = db.scalar(QStringLiteral("SELECT \"sValue\" FROM \"XT_Registry\" WHERE \"sSection\" = ? AND \"sKey\" = ?"),
                                 {kLevelSection, kLevelKey})
                           .toInt();
    if (stored >= systemDataLevel()) return;
    for (const Step &step : kSteps)
        if (step.level > stored) step.apply(db);
    db.exec(QStringLiteral("DELETE FROM \"XT_Registry\" WHERE \"sSection\" = ? AND \"sKey\" = ?"), {kLevelSection, kLevelKey});
    db.exec(QStringLiteral("INSERT INTO \"XT_Registry\" (\"sSection\", \"sKey\", \"sValue\", \"sExtra\") VALUES (?, ?, ?, ?)"),
            {kLevelSection, kLevelKey, QString::number(systemDataLevel()), QStringLiteral("系统参考数据级别，请勿修改")});
}

} // namespace seed

void seedSystemData(Database &db)
{
    Transaction tx(db);
    seed::addSystemData(db);
    tx.commit();
}

} // namespace lumeko::server
