// The generated demo school: a junior-and-senior secondary school (完全中学) with a branch campus.
//
// The school is planned in memory first (intakes, classes, students, teachers and who does what),
// then written table by table in an order that satisfies every reference, and finally its exams are
// generated and written one at a time. Everything is drawn from one seeded generator in a fixed
// order, so the same options give the same school.

#include "domain/scoring.h"
#include "server/seed/names.h"
#include "server/seed/random.h"
#include "server/seed/reference.h"
#include "server/seed/seed.h"
#include "server/seed/systemdata.h"
#include "server/seed/tablewriter.h"

#include <QHash>
#include <QSet>
#include <QUuid>

#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>

namespace lumeko::server {

namespace seed {

namespace {

// --- fixed parts of the school --------------------------------------------------------------------------

struct SubjectInfo {
    const char *code;
    const char *name;
    int department; // index into kDepartments
    int load;       // classes one teacher takes
};

enum Subject { Chinese, Maths, English, Physics, Chemistry, Biology, Politics, History, Geography, Sports, Music, Art, SubjectCount };

const SubjectInfo kSubjects[SubjectCount] = {
    {"001", "语文", 4, 2},  {"002", "数学", 5, 2},  {"003", "英语", 6, 3},  {"004", "物理", 7, 4},
    {"005", "化学", 8, 4},  {"006", "生物", 9, 6},  {"007", "政治", 10, 6}, {"008", "历史", 11, 6},
    {"009", "地理", 12, 6}, {"010", "体育", 13, 6}, {"011", "音乐", 14, 10}, {"012", "美术", 14, 10},
};

struct DepartmentInfo {
    const char *name;
    const char *memo;
};

const DepartmentInfo kDepartments[] = {
    {"校长室", "学校行政管理"},     {"教务处", "教学管理、考试组织与学籍管理"},
    {"德育处", "德育工作与学生管理"}, {"总务处", "后勤保障与校产管理"},
    {"语文组", "语文教学研究"},     {"数学组", "数学教学研究"},
    {"英语组", "英语教学研究"},     {"物理组", "物理教学研究"},
    {"化学组", "化学教学研究"},     {"生物组", "生物教学研究"},
    {"政治组", "道德与法治、思想政治教学研究"}, {"历史组", "历史教学研究"},
    {"地理组", "地理教学研究"},     {"体育组", "体育与健康教学研究"},
    {"艺术组", "音乐、美术教学研究"},
};
constexpr int kPrincipalOffice = 0, kAcademicOffice = 1, kStudentOffice = 2, kGeneralOffice = 3;

QString departmentCode(int index) { return QStringLiteral("%1").arg(index + 1, 3, 10, QLatin1Char('0')); }

// A subject of a grade: its type (0 base, 1 main, 2 auxiliary) and full mark (5 = graded A to D).
struct GradeSubjectInfo {
    Subject subject;
    int type;
    int fullMark;
};

enum class Stage { Junior = 1, Senior = 2 };
enum class Stream { Science, Arts };

// What each grade teaches. Junior students finish biology and geography in the second year and
// begin chemistry in the third; the senior streams keep the other stream's subjects as auxiliary ones.
QList<GradeSubjectInfo> gradeSubjects(const QString &gradeCode)
{
    const int junior = 120, senior = 150;
    auto base = [](int full) { return QList<GradeSubjectInfo>{{Chinese, 0, full}, {Maths, 0, full}, {English, 0, full}}; };
    QList<GradeSubjectInfo> s;
    if (gradeCode == u"1701")
        s = base(junior) + QList<GradeSubjectInfo>{{Biology, 1, 100}, {Politics, 1, 100}, {History, 1, 100}, {Geography, 1, 100},
                                                   {Sports, 2, 100}, {Music, 2, 5}, {Art, 2, 5}};
    else if (gradeCode == u"1801")
        s = base(junior) + QList<GradeSubjectInfo>{{Physics, 1, 100}, {Biology, 1, 100}, {Politics, 1, 100}, {History, 1, 100},
                                                   {Geography, 1, 100}, {Sports, 2, 100}, {Music, 2, 5}, {Art, 2, 5}};
    else if (gradeCode == u"1901")
        s = base(junior) + QList<GradeSubjectInfo>{{Physics, 1, 100}, {Chemistry, 1, 100}, {Politics, 1, 100}, {History, 1, 100},
                                                   {Sports, 2, 100}};
    else if (gradeCode == u"2101")
        s = base(senior) + QList<GradeSubjectInfo>{{Physics, 1, 100}, {Chemistry, 1, 100}, {Biology, 1, 100}, {Politics, 1, 100},
                                                   {History, 1, 100}, {Geography, 1, 100}, {Sports, 2, 100}, {Music, 2, 5},
                                                   {Art, 2, 5}};
    else if (gradeCode == u"2201")
        s = base(senior) + QList<GradeSubjectInfo>{{Physics, 1, 100}, {Chemistry, 1, 100}, {Biology, 1, 100}, {Politics, 2, 100},
                                                   {History, 2, 100}, {Geography, 2, 100}, {Sports, 2, 100}};
    else if (gradeCode == u"2202")
        s = base(senior) + QList<GradeSubjectInfo>{{Politics, 1, 100}, {History, 1, 100}, {Geography, 1, 100}, {Physics, 2, 100},
                                                   {Chemistry, 2, 100}, {Biology, 2, 100}, {Sports, 2, 100}};
    else if (gradeCode == u"2301")
        s = base(senior) + QList<GradeSubjectInfo>{{Physics, 1, 100}, {Chemistry, 1, 100}, {Biology, 1, 100}, {Sports, 2, 100}};
    else if (gradeCode == u"2302")
        s = base(senior) + QList<GradeSubjectInfo>{{Politics, 1, 100}, {History, 1, 100}, {Geography, 1, 100}, {Sports, 2, 100}};
    return s;
}

// Grade codes of the school's stages (see the grade-name catalogue): year 0..2 of a stage.
QString gradeCode(Stage stage, int year, Stream stream)
{
    if (stage == Stage::Junior) return QStringLiteral("1%1").arg(7 + year) + QStringLiteral("01");
    if (year == 0) return QStringLiteral("2101");
    return QStringLiteral("2%1%2").arg(1 + year).arg(stream == Stream::Arts ? QStringLiteral("02") : QStringLiteral("01"));
}

// How a class of the grade is called: 七(3)班, 高二(5)班.
QString gradeShortName(Stage stage, int year)
{
    static const char *const junior[] = {"七", "八", "九"};
    static const char *const senior[] = {"高一", "高二", "高三"};
    return QString::fromUtf8(stage == Stage::Junior ? junior[year] : senior[year]);
}

QString schoolYearText(int startYear) { return QStringLiteral("%1~%2学年").arg(startYear).arg(startYear + 1); }

// --- exams of a school year --------------------------------------------------------------------------------

enum class ExamScope { Main, All }; // main: subjects of type 0 and 1; all: every subject of the grade

struct ExamPlan {
    QString code;
    QString name;
    int month;
    int day;
    bool secondYearHalf; // in the calendar year after the school year's start
    ExamScope scope;
};

// The school's own exam names, after the shared ones in the catalogue.
struct OwnExamName {
    const char *name;
    const char *type;
};
const OwnExamName kOwnExamNames[] = {
    {"中考模拟考试", "综合考试"}, {"高考第一次模拟考试", "综合考试"}, {"高考第二次模拟考试", "综合考试"}};
enum { MockZhongkao, MockGaokao1, MockGaokao2 };

// --- people and rooms --------------------------------------------------------------------------------------

struct StudentRec {
    QString code;
    PersonName name;
    bool male = true;
    QDate birthday;
    int klass = -1;
    int seat = 0;
    QString state;
    QString type;
    QString residence;
    QString provinceKey;
    QString province;
    QString nation;
    QString oldSchool;
    QString address;
    QString tel;
    double ability = 0;
    double aptitude[SubjectCount] = {};
};

struct ClassRec {
    QString code;
    QString name;   // XJ_Class: the name now, or with the graduation year for a graduated class
    int number = 0; // 1.. within the intake
    int intake = -1;
    bool branch = false;
    Stream stream = Stream::Science;
    QString type;
    QList<int> students;
    double effect[SubjectCount] = {};
};

struct IntakeRec {
    Stage stage;
    int inYear;
    int year;         // year of the stage now: 0..2, or 2 for a graduated intake (its last year)
    bool graduated;
    QList<int> classes;
    int leader = -1, subLeader = -1;
};

struct GradeSubjectRec {
    GradeSubjectInfo info;
    int leader = -1, subLeader = -1;
};

// One grade of one intake in one school year (an XJ_Grade row with its classes and subjects).
struct GradeRec {
    QString code;
    int intake = -1;
    int year = 0; // of the stage
    int startYear = 0;
    bool current = false;
    QList<int> classes;
    QList<GradeSubjectRec> subjects;
    QHash<int, int> headTeacher;           // class → teacher
    QHash<qint64, int> teacher;            // class * SubjectCount + subject → teacher
    int teacherOf(int klass, Subject s) const { return teacher.value(qint64(klass) * SubjectCount + s, -1); }
};

struct TeacherRec {
    QString code;
    PersonName name;
    bool male = true;
    QString login;
    QDate birthday;
    QDate workDate;
    QString title;
    QString type;
    QString mobile, mail, idCard, tel, provinceKey, province, nation, residence;
    int subject = -1; // -1 for the office staff who do not teach
    Stage stage = Stage::Junior;
    int department = -1;
    QString duty;
    QList<QPair<int, QString>> extraDepartments;
    QSet<int> roles;
    bool viewAllGrades = false, viewAllClasses = false;
    QString hash;
    QString staffTitle; // 校长, 教务主任, ...
};

const char *const kDistricts[] = {"南山区", "南山区", "南山区", "福田区", "宝安区", "罗湖区", "龙华区"};
const char *const kStreetKinds[] = {"路", "大道", "街"};
const char *const kEstateKinds[] = {"花园", "小区", "苑", "雅居", "新村"};
const char *const kCompanyKinds[] = {"科技有限公司", "电子有限公司", "贸易有限公司", "物流有限公司", "建设工程有限公司",
                                     "信息技术有限公司", "实业有限公司"};
const char *const kInstitutions[] = {"市人民医院", "区人民医院", "区教育局", "街道办事处", "市税务局", "区供电局",
                                     "建设银行", "工商银行", "市地铁集团", "区人民法院"};
const char *const kCompanyDuties[] = {"职员", "工程师", "经理", "主管", "销售", "会计", "技术员", "设计师", "司机", "工人"};
const char *const kInstitutionDuties[] = {"医生", "护士", "公务员", "科员", "教师", "柜员", "科长"};
const char *const kPolitical[] = {"群众", "群众", "群众", "群众", "群众", "群众", "中共党员", "中共党员", "中共党员", "民主党派"};

// Birthplaces by weight: most families come from Guangdong and the provinces around it.
struct Province {
    const char *key;
    const char *name;
    int weight;
};
const Province kProvinces[] = {{"44", "广东", 520}, {"43", "湖南", 90}, {"36", "江西", 60}, {"42", "湖北", 60},
                               {"45", "广西", 50},  {"51", "四川", 35}, {"41", "河南", 30}, {"35", "福建", 25},
                               {"46", "海南", 12},  {"50", "重庆", 12}, {"37", "山东", 12}, {"34", "安徽", 12},
                               {"32", "江苏", 10},  {"33", "浙江", 10}, {"61", "陕西", 8},  {"23", "黑龙江", 6},
                               {"81", "香港", 4},   {"11", "北京", 4}};
struct Nation {
    const char *name;
    int weight;
};
const Nation kNations[] = {{"汉族", 970}, {"壮族", 10}, {"瑶族", 4}, {"土家族", 5}, {"苗族", 4}, {"回族", 3},
                           {"满族", 2},  {"畲族", 2}};

// --- helpers ----------------------------------------------------------------------------------------------

// A birthplace province, weighted towards the school's own and its neighbours.
const Province &randomProvince(Random &rng)
{
    static const QList<int> weights = [] {
        QList<int> w;
        for (const Province &p : kProvinces) w << p.weight;
        return w;
    }();
    return kProvinces[rng.weighted(weights)];
}

QString text(const char *utf8) { return QString::fromUtf8(utf8); }

QString guid(Random &rng)
{
    QByteArray b(16, 0);
    for (int i = 0; i < 16; i += 4) {
        const quint32 r = rng.next();
        for (int k = 0; k < 4; ++k) b[i + k] = char((r >> (8 * k)) & 0xff);
    }
    b[6] = char((b[6] & 0x0f) | 0x40); // a version 4 (random) identifier
    b[8] = char((b[8] & 0x3f) | 0x80);
    return QUuid::fromRfc4122(b).toString(QUuid::WithBraces).toUpper();
}

QDate randomDate(Random &rng, QDate from, QDate to) { return from.addDays(rng.below(int(from.daysTo(to)) + 1)); }

// An identity card number with a valid check digit but an area code that no district uses
// (province + "9999"), so that no generated number can be a real person's.
QString idNumber(Random &rng, const QString &provinceKey, QDate birthday, bool male)
{
    const int sequence = rng.below(500) * 2 + (male ? 1 : 0);
    QString s = provinceKey + QStringLiteral("9999") + birthday.toString(QStringLiteral("yyyyMMdd"))
        + QStringLiteral("%1").arg(sequence, 3, 10, QLatin1Char('0'));
    static const int weights[17] = {7, 9, 10, 5, 8, 4, 2, 1, 6, 3, 7, 9, 10, 5, 8, 4, 2};
    int sum = 0;
    for (int i = 0; i < 17; ++i) sum += (s[i].unicode() - '0') * weights[i];
    return s + QLatin1Char("10X98765432"[sum % 11]);
}

QString mobileNumber(Random &rng)
{
    static const char *const prefixes[] = {"13", "13", "13", "15", "18"};
    return QString::fromLatin1(rng.pick(prefixes)) + QString::number(rng.below(10))
        + QStringLiteral("%1").arg(rng.below(100000000), 8, 10, QLatin1Char('0'));
}

// Level marks of a subject, in the wizard's defaults: 80/70/60/30 per cent of the full mark for a
// scored subject, the steps 5/4/3/2 for a graded one.
struct Marks {
    double full, high, low, distance, excel, good, pass, bad;
};
Marks marksFor(int full)
{
    if (full <= 10) return {double(full), double(full), 2, 1, 5, 4, 3, 2};
    auto r = [full](double f) { return std::nearbyint(full * f); };
    return {double(full), double(full - 10), 10, 10, r(0.8), r(0.7), r(0.6), r(0.3)};
}

QVariant opt(const std::optional<double> &v) { return v ? QVariant(*v) : QVariant(); }
QVariant opt(const std::optional<int> &v) { return v ? QVariant(*v) : QVariant(); }

// --- the builder -----------------------------------------------------------------------------------------

class DemoSchool {
public:
    DemoSchool(Database &db, const DemoOptions &options)
        : m_db(db), m_options(options), m_rng(options.seed),
          m_today(options.today.isValid() ? options.today : QDate::currentDate()),
          m_year(m_today.month() >= 9 ? m_today.year() : m_today.year() - 1),
          m_linear(std::sqrt(std::clamp(options.scale, 0.001, 4.0)))
    {
    }

    QList<DemoAccount> build();
    const QList<DemoStudent> &students() const { return m_demoStudents; }

private:
    // Planning
    void planSchool();
    void planIntakes();
    void planStudents();
    void planTeachers();
    void assignHeadTeachersAndLeaders();
    void planHistoryAssignments();
    void collectRoles();
    QList<DemoAccount> planAccounts();
    int addTeacher(int subject, Stage stage, int minAge = 24, int maxAge = 57);
    QString freeLogin(const QString &base);
    StudentRec makeStudent(const IntakeRec &intake, const ClassRec &klass);

    // Writing
    void writeOrganisation();
    void writeTeachers();
    void writeStudents();
    void writeSubscriptions();
    void writeExams();
    // An exam held on `date` (its 考试日期: scores cannot be entered before it) whose scores may be
    // entered until `limit`.
    void writeExam(const GradeRec &grade, const ExamPlan &plan, QDate date, QDate limit, bool scored, bool frozen);
    QList<ExamPlan> examsOfYear(const GradeRec &grade) const;
    QList<DemoStudent> publishForStudents();
    QString studentNumber(const StudentRec &s) const;

    QString schoolId() const { return m_options.schoolId; }
    QString area(const ClassRec &c) const { return c.branch ? m_subCap : m_mainCap; }

    Database &m_db;
    const DemoOptions &m_options;
    Random m_rng;
    QDate m_today;
    int m_year; // the current school year starts in September of this year
    double m_linear; // the scale applies to classes per grade and to students per class alike

    QString m_fullName, m_shortName, m_address;
    const QString m_mainCap = QStringLiteral("本部"), m_subCap = QStringLiteral("分校");
    QList<IntakeRec> m_intakes;
    QList<ClassRec> m_classes;
    QList<GradeRec> m_grades;
    QList<StudentRec> m_students;
    QList<TeacherRec> m_teachers;
    QSet<QString> m_taken; // login names, mobile numbers and e-mail addresses in use
    QHash<QString, QStringList> m_familyMobiles; // student code → the family members' numbers
    int m_subjectLeader[SubjectCount], m_subjectDeputy[SubjectCount];
    QString m_ownExamCodes[std::size(kOwnExamNames)];
    // Exams of the current grades held and scored so far, as written.
    struct HeldExam {
        int grade;
        qint64 id;
        QDate date;
        QString name;
    };
    QList<HeldExam> m_heldExams;
    QList<DemoStudent> m_demoStudents;
};

QList<DemoAccount> DemoSchool::build()
{
    if (!m_options.hashPassword) throw StorageError(QStringLiteral("the demo school needs a password hashing function"));
    if (m_db.scalar(QStringLiteral("SELECT count(*) FROM \"XT_School\" WHERE \"SchoolCode\" = ?"), {schoolId()}).toLongLong() > 0)
        throw StorageError(QStringLiteral("the school %1 already exists; the demo school needs a school id of its own").arg(schoolId()));
    // Login names, mobile numbers and e-mail addresses identify a user across all schools.
    for (const char *column : {"sLoginName", "sMobile", "sMail"}) {
        const wire::DataPacket taken = m_db.select(QStringLiteral("SELECT %1 FROM \"JC_Teacher\" WHERE %1 IS NOT NULL").arg(Database::quoted(QString::fromLatin1(column))),
                                                   {}, {wire::FieldDef{QStringLiteral("value")}});
        for (qsizetype r = 0; r < taken.rowCount(); ++r) m_taken << taken.value(r, 0).toString();
    }
    planSchool();
    const QList<DemoAccount> accounts = planAccounts();
    writeOrganisation();
    writeTeachers();
    writeStudents();
    writeSubscriptions();
    writeExams();
    m_demoStudents = publishForStudents();
    return accounts;
}

void DemoSchool::planSchool()
{
    const QString place = randomPlaceWord(m_rng);
    m_fullName = QStringLiteral("深圳市%1中学").arg(place);
    m_shortName = QStringLiteral("%1中学").arg(place);
    m_address = QStringLiteral("深圳市南山区%1路%2号").arg(place).arg(m_rng.between(8, 188));
    planIntakes();
    planStudents();
    planTeachers();
    assignHeadTeachersAndLeaders();
    planHistoryAssignments();
    collectRoles();
}

// Three current intakes per stage and two that have graduated; each intake has its classes and,
// in the senior stage from the second year on, a science and an arts grade.
void DemoSchool::planIntakes()
{
    int classNo = 0;
    auto addIntake = [&](Stage stage, int inYear, bool graduated) {
        IntakeRec in{stage, inYear, graduated ? 2 : m_year - inYear, graduated, {}};
        const int n = std::max(2, int(std::lround((8 + m_rng.below(3)) * m_linear)));
        const int branches = std::max(1, int(std::lround(n / 5.0)));
        const int arts = stage == Stage::Senior ? std::max(1, int(std::lround(n / 3.0))) : 0;
        const int intake = int(m_intakes.size());
        for (int i = 0; i < n; ++i) {
            ClassRec c;
            c.code = QStringLiteral("%1").arg(++classNo, 3, 10, QLatin1Char('0'));
            c.number = i + 1;
            c.intake = intake;
            c.branch = i >= n - branches;
            c.stream = i >= n - arts ? Stream::Arts : Stream::Science;
            // The first class of a current intake is its experimental class.
            c.type = !graduated && i == 0 ? QStringLiteral("2") : QStringLiteral("1");
            const QString alias = QStringLiteral("%1(%2)班").arg(gradeShortName(stage, in.year)).arg(c.number);
            c.name = graduated ? QStringLiteral("%1届%2").arg(inYear + 3).arg(alias) : alias;
            // How well the class is taught and how it works together: a part shared by all subjects
            // (the experimental class a little ahead) and a part per subject.
            const double shared = m_rng.normal(0, 0.015) + (c.type == u"2" ? 0.03 : 0.0);
            for (double &e : c.effect) e = shared + m_rng.normal(0, 0.02);
            in.classes << int(m_classes.size());
            m_classes << c;
        }
        m_intakes << in;

        // Its grades: the current one and, one school year back, the one before; or the last one of a
        // graduated intake.
        auto addGrade = [&](int year, bool current) {
            const bool split = stage == Stage::Senior && year > 0;
            for (Stream stream : {Stream::Science, Stream::Arts}) {
                if (stream == Stream::Arts && !split) break;
                GradeRec g;
                g.code = gradeCode(stage, year, stream);
                g.intake = intake;
                g.year = year;
                g.startYear = inYear + year;
                g.current = current;
                for (int c : in.classes)
                    if (!split || m_classes[c].stream == stream) g.classes << c;
                for (const GradeSubjectInfo &s : gradeSubjects(g.code)) g.subjects << GradeSubjectRec{s};
                m_grades << g;
            }
        };
        if (graduated) {
            addGrade(2, false);
        } else {
            addGrade(in.year, true);
            if (in.year > 0) addGrade(in.year - 1, false);
        }
    };
    for (Stage stage : {Stage::Junior, Stage::Senior})
        for (int y = 0; y < 3; ++y) addIntake(stage, m_year - y, false);
    for (Stage stage : {Stage::Junior, Stage::Senior})
        for (int y = 3; y < 5; ++y) addIntake(stage, m_year - y, true);
}

StudentRec DemoSchool::makeStudent(const IntakeRec &intake, const ClassRec &klass)
{
    StudentRec s;
    s.code = guid(m_rng);
    s.male = m_rng.chance(0.52);
    s.name = randomName(m_rng, s.male);
    // Children start school in the September after they turn six; a few are a year older.
    const int firstGrade = intake.stage == Stage::Junior ? 7 : 10;
    int born = intake.inYear - firstGrade - 6;
    if (m_rng.chance(0.08)) --born;
    s.birthday = randomDate(m_rng, QDate(born, 9, 1), QDate(born + 1, 8, 31));
    s.state = intake.graduated ? QString::fromLatin1(kGraduated) : QString::fromLatin1(kStudying);
    if (!intake.graduated && m_rng.chance(0.006))
        s.state = QString::fromLatin1(m_rng.chance(0.5) ? kSuspended : kTransferredOut);
    static const QList<int> typeWeights = {90, 4, 3, 2, 1};
    static const char *const types[] = {"统招生", "择校生", "借读生", "特长生", "港澳台生"};
    s.type = text(types[m_rng.weighted(typeWeights)]);
    const Province &p = randomProvince(m_rng);
    s.provinceKey = QString::fromLatin1(p.key);
    s.province = text(p.name);
    s.residence = text(p.name == std::string_view("香港") ? "港澳台" : m_rng.chance(0.78) ? "城镇" : "农村");
    static const QList<int> nationWeights = [] {
        QList<int> w;
        for (const Nation &n : kNations) w << n.weight;
        return w;
    }();
    s.nation = text(kNations[m_rng.weighted(nationWeights)].name);
    if (intake.stage == Stage::Junior)
        s.oldSchool = randomPlaceWord(m_rng) + text(m_rng.chance(0.3) ? "实验小学" : "小学");
    else
        s.oldSchool = m_rng.chance(0.35) ? m_shortName + QStringLiteral("初中部") : randomPlaceWord(m_rng) + text("中学");
    s.address = QStringLiteral("深圳市%1%2%3%4号%5%6%7栋%8")
                    .arg(text(m_rng.pick(kDistricts)), randomPlaceWord(m_rng), text(m_rng.pick(kStreetKinds)))
                    .arg(m_rng.between(1, 300))
                    .arg(randomPlaceWord(m_rng), text(m_rng.pick(kEstateKinds)))
                    .arg(m_rng.between(1, 28))
                    .arg(m_rng.between(1, 33) * 100 + m_rng.between(1, 8));
    s.ability = m_rng.normal();
    for (double &a : s.aptitude) a = m_rng.normal();
    return s;
}

void DemoSchool::planStudents()
{
    for (const IntakeRec &in : m_intakes)
        for (int c : in.classes) {
            const int size = std::max(3, int(std::lround(m_rng.normal(44, 2.5) * m_linear)));
            for (int seat = 1; seat <= size; ++seat) {
                StudentRec s = makeStudent(in, m_classes[c]);
                s.klass = c;
                s.seat = seat;
                m_classes[c].students << int(m_students.size());
                m_students << s;
            }
        }
}

// The login itself when it is free, else with the first number that makes it free ("chensy2").
QString DemoSchool::freeLogin(const QString &base)
{
    QString login = base;
    for (int n = 2; m_taken.contains(login); ++n) login = base + QString::number(n);
    m_taken << login;
    return login;
}

int DemoSchool::addTeacher(int subject, Stage stage, int minAge, int maxAge)
{
    TeacherRec t;
    t.code = guid(m_rng);
    t.male = m_rng.chance(subject == Sports || subject == Physics ? 0.65 : 0.35);
    t.name = randomName(m_rng, t.male);
    t.login = freeLogin(loginBase(t.name));
    const int age = m_rng.between(minAge, maxAge);
    const int born = m_today.year() - age;
    t.birthday = randomDate(m_rng, QDate(born - 1, m_today.month(), 1).addDays(1), QDate(born, m_today.month(), 1));
    t.workDate = QDate(t.birthday.year() + m_rng.between(22, 24), 9, 1);
    const int years = t.workDate.daysTo(m_today) / 365;
    t.title = text(years < 1 ? "未定级" : years < 5 ? "二级教师" : years < 14 ? "一级教师"
                   : years >= 25 && m_rng.chance(0.08) ? "正高级教师" : m_rng.chance(0.75) ? "高级教师" : "一级教师");
    t.type = text(years < 3 && m_rng.chance(0.4) ? "合同教师" : m_rng.chance(0.06) ? "临聘教师" : "在编教师");
    const Province &p = randomProvince(m_rng);
    t.provinceKey = QString::fromLatin1(p.key);
    t.province = text(p.name);
    t.residence = text(m_rng.chance(0.85) ? "城镇" : "农村");
    t.nation = text(m_rng.chance(0.96) ? "汉族" : m_rng.chance(0.5) ? "壮族" : "土家族");
    t.idCard = idNumber(m_rng, t.provinceKey, t.birthday, t.male);
    t.tel = QStringLiteral("0755-2699%1").arg(m_rng.below(10000), 4, 10, QLatin1Char('0'));
    if (m_rng.chance(0.7)) {
        QString m;
        do m = mobileNumber(m_rng); while (m_taken.contains(m));
        m_taken << m;
        t.mobile = m;
    }
    if (const QString mail = t.login + QStringLiteral("@example.com"); m_rng.chance(0.4) && !m_taken.contains(mail)) {
        m_taken << mail;
        t.mail = mail;
    }
    t.subject = subject;
    t.stage = stage;
    t.department = subject >= 0 ? kSubjects[subject].department : kAcademicOffice;
    t.duty = text("组员");
    m_teachers << t;
    return int(m_teachers.size()) - 1;
}

// Subject teachers by the classes a teacher takes; a teacher stays within one stage and mostly
// within one grade, moving on to the next grade when the classes of one run out.
void DemoSchool::planTeachers()
{
    // The administrator comes first: a user of the system rather than a teacher.
    {
        TeacherRec admin;
        admin.code = guid(m_rng);
        admin.name = {QStringLiteral("系统管理员"), {}, {}};
        admin.login = freeLogin(QStringLiteral("admin"));
        admin.roles << 1;
        admin.viewAllGrades = admin.viewAllClasses = true;
        admin.department = kAcademicOffice;
        admin.duty = text("干事");
        admin.type = text("行政人员");
        admin.staffTitle = text("系统管理员");
        m_teachers << admin;
    }
    // The office staff who do not teach.
    struct Staff {
        const char *title;
        int department;
        const char *duty;
        int minAge;
    };
    const Staff staff[] = {{"校长", kPrincipalOffice, "校长", 46},
                           {"副校长", kPrincipalOffice, "副校长", 42},
                           {"副校长", kPrincipalOffice, "副校长", 42},
                           {"教务主任", kAcademicOffice, "主任", 38},
                           {"教务干事", kAcademicOffice, "干事", 24}};
    for (const Staff &s : staff) {
        const int t = addTeacher(-1, Stage::Junior, s.minAge, 57);
        TeacherRec &r = m_teachers[t];
        r.department = s.department;
        r.duty = text(s.duty);
        r.staffTitle = text(s.title);
        r.roles << 1;
        r.viewAllGrades = r.viewAllClasses = true;
    }

    for (Stage stage : {Stage::Junior, Stage::Senior})
        for (int subject = 0; subject < SubjectCount; ++subject) {
            QList<QPair<int, int>> slots; // grade, class
            for (int g = 0; g < m_grades.size(); ++g) {
                const GradeRec &grade = m_grades[g];
                if (!grade.current || m_intakes[grade.intake].stage != stage) continue;
                const bool taught = std::any_of(grade.subjects.begin(), grade.subjects.end(),
                                                [&](const GradeSubjectRec &s) { return s.info.subject == subject; });
                if (!taught) continue;
                for (int c : grade.classes) slots << qMakePair(g, c);
            }
            if (slots.isEmpty()) continue;
            // Current grades are listed by intake, newest first; teachers are handed out from the
            // highest grade down so that each grade's classes stay together.
            std::stable_sort(slots.begin(), slots.end(), [&](const auto &a, const auto &b) { return m_grades[a.first].year > m_grades[b.first].year; });
            const int count = int((slots.size() + kSubjects[subject].load - 1) / kSubjects[subject].load);
            QList<int> teachers;
            for (int i = 0; i < count; ++i) teachers << addTeacher(subject, stage);
            for (int i = 0; i < slots.size(); ++i) {
                const int t = teachers[int(qint64(i) * count / slots.size())];
                m_grades[slots[i].first].teacher.insert(qint64(slots[i].second) * SubjectCount + subject, t);
            }
        }

    // Subject leaders: the most experienced teacher of the subject; a group of four or more has a
    // deputy as well, from the other stage when there is one.
    for (int subject = 0; subject < SubjectCount; ++subject) {
        QList<int> mine;
        for (int t = 0; t < m_teachers.size(); ++t)
            if (m_teachers[t].subject == subject) mine << t;
        std::stable_sort(mine.begin(), mine.end(), [&](int a, int b) { return m_teachers[a].workDate < m_teachers[b].workDate; });
        m_subjectLeader[subject] = mine.value(0, -1);
        m_subjectDeputy[subject] = -1;
        if (mine.size() < 4) continue;
        for (int t : mine.mid(1))
            if (m_teachers[t].stage != m_teachers[mine[0]].stage) {
                m_subjectDeputy[subject] = t;
                break;
            }
        if (m_subjectDeputy[subject] < 0) m_subjectDeputy[subject] = mine[1];
    }
    // Music and art share one department, led by the music leader.
    for (int subject = 0; subject < SubjectCount; ++subject) {
        if (m_subjectLeader[subject] >= 0 && !(subject == Art && m_subjectLeader[Music] >= 0))
            m_teachers[m_subjectLeader[subject]].duty = text("组长");
        if (m_subjectDeputy[subject] >= 0 && !(subject == Art && m_subjectLeader[Music] >= 0))
            m_teachers[m_subjectDeputy[subject]].duty = text("副组长");
    }
}

void DemoSchool::assignHeadTeachersAndLeaders()
{
    QSet<int> heads, leaders;
    auto teachersOfClasses = [&](const GradeRec &g, const QList<int> &classes) {
        QList<int> out;
        for (int c : classes)
            for (int s = 0; s < SubjectCount; ++s)
                if (const int t = g.teacherOf(c, Subject(s)); t >= 0 && !out.contains(t)) out << t;
        return out;
    };
    for (GradeRec &g : m_grades) {
        if (!g.current) continue;
        // A head teacher teaches the class, usually Chinese, maths or English, and heads one class.
        for (int c : g.classes) {
            int chosen = -1;
            for (Subject s : {Chinese, Maths, English, Physics, Politics, History, Biology, Geography, Chemistry})
                if (const int t = g.teacherOf(c, s); t >= 0 && !heads.contains(t)) {
                    chosen = t;
                    break;
                }
            if (chosen < 0) chosen = teachersOfClasses(g, {c}).value(0, -1);
            if (chosen >= 0) {
                heads << chosen;
                g.headTeacher.insert(c, chosen);
            }
        }
        // Lesson-preparation leaders: the most experienced teacher of the subject in the grade; a
        // base subject taught on the branch campus by someone else gets that teacher as deputy.
        for (GradeSubjectRec &s : g.subjects) {
            QList<int> ts, branchTs;
            for (int c : g.classes)
                if (const int t = g.teacherOf(c, s.info.subject); t >= 0) {
                    if (!ts.contains(t)) ts << t;
                    if (m_classes[c].branch && !branchTs.contains(t)) branchTs << t;
                }
            std::stable_sort(ts.begin(), ts.end(), [&](int a, int b) { return m_teachers[a].workDate < m_teachers[b].workDate; });
            s.leader = ts.value(0, -1);
            if (s.info.type == 0)
                for (int t : branchTs)
                    if (t != s.leader) {
                        s.subLeader = t;
                        break;
                    }
        }
    }
    // Grade leaders: an experienced teacher of an examined subject in the intake who heads no class
    // and leads no subject; a deputy for the branch campus from among its teachers there. Fewer
    // conditions hold in a small school.
    QSet<int> subjectLeaders;
    for (int s = 0; s < SubjectCount; ++s) subjectLeaders << m_subjectLeader[s] << m_subjectDeputy[s];
    auto choose = [&](const QList<int> &candidates, int exclude) {
        const std::function<bool(int)> rules[] = {
            [&](int t) { return m_teachers[t].subject <= Geography && !subjectLeaders.contains(t) && !heads.contains(t); },
            [&](int t) { return m_teachers[t].subject <= Geography && !heads.contains(t); },
            [&](int t) { return !heads.contains(t); },
            [&](int) { return true; }};
        for (const auto &rule : rules)
            for (int t : candidates)
                if (t != exclude && !leaders.contains(t) && rule(t)) return t;
        return -1;
    };
    for (int i = 0; i < m_intakes.size(); ++i) {
        IntakeRec &in = m_intakes[i];
        if (in.graduated) continue;
        QList<int> ts, branchTs;
        for (const GradeRec &g : m_grades) {
            if (g.intake != i || !g.current) continue;
            for (int t : teachersOfClasses(g, g.classes))
                if (!ts.contains(t)) ts << t;
            for (int c : g.classes)
                if (m_classes[c].branch)
                    for (int t : teachersOfClasses(g, {c}))
                        if (!branchTs.contains(t)) branchTs << t;
        }
        auto byExperience = [&](int a, int b) { return m_teachers[a].workDate < m_teachers[b].workDate; };
        std::stable_sort(ts.begin(), ts.end(), byExperience);
        std::stable_sort(branchTs.begin(), branchTs.end(), byExperience);
        in.leader = choose(ts, -1);
        if (in.leader < 0) in.leader = ts.value(0, -1);
        leaders << in.leader;
        in.subLeader = choose(branchTs, in.leader);
        if (in.subLeader >= 0) leaders << in.subLeader;
    }
    // Two teachers also run the student and the general office.
    QList<int> pool;
    for (int t = 0; t < m_teachers.size(); ++t)
        if (m_teachers[t].subject >= 0 && !heads.contains(t) && !leaders.contains(t)) pool << t;
    std::stable_sort(pool.begin(), pool.end(), [&](int a, int b) { return m_teachers[a].workDate < m_teachers[b].workDate; });
    for (int k = 0; k < 2 && k < pool.size(); ++k) {
        TeacherRec &t = m_teachers[pool[k]];
        t.extraDepartments << qMakePair(k == 0 ? kStudentOffice : kGeneralOffice, text("主任"));
        t.viewAllGrades = t.viewAllClasses = true;
    }
}

// Earlier grades are taught and led by the teachers who have the same grade now: the classes of a
// grade pass from one intake to the next with their teachers.
void DemoSchool::planHistoryAssignments()
{
    QHash<QString, int> currentByCode;
    for (int g = 0; g < m_grades.size(); ++g)
        if (m_grades[g].current) currentByCode.insert(m_grades[g].code, g);
    for (GradeRec &g : m_grades) {
        if (g.current) continue;
        const GradeRec &now = m_grades[currentByCode.value(g.code)];
        const IntakeRec &nowIntake = m_intakes[now.intake];
        IntakeRec &in = m_intakes[g.intake];
        if (in.graduated) {
            in.leader = nowIntake.leader;
            in.subLeader = nowIntake.subLeader;
        }
        for (int k = 0; k < g.classes.size(); ++k) {
            const int c = g.classes[k];
            const int same = now.classes[k % now.classes.size()];
            // A class that was in the school a year ago kept its head teacher.
            const auto mine = std::find_if(m_grades.begin(), m_grades.end(), [&](const GradeRec &x) {
                return x.current && x.intake == g.intake && x.classes.contains(c);
            });
            const int head = mine != m_grades.end() ? mine->headTeacher.value(c, -1) : -1;
            g.headTeacher.insert(c, head >= 0 ? head : now.headTeacher.value(same, -1));
            for (const GradeSubjectRec &s : g.subjects) {
                int t = mine != m_grades.end() ? mine->teacherOf(c, s.info.subject) : -1;
                if (t < 0) t = now.teacherOf(same, s.info.subject);
                g.teacher.insert(qint64(c) * SubjectCount + s.info.subject, t);
            }
        }
        for (GradeSubjectRec &s : g.subjects) {
            const auto it = std::find_if(now.subjects.begin(), now.subjects.end(),
                                         [&](const GradeSubjectRec &x) { return x.info.subject == s.info.subject; });
            s.leader = it->leader;
            s.subLeader = it->subLeader;
        }
    }
}

// A teacher's roles follow from what the teacher does anywhere in the school's records, the way the
// course table's synchronisation grants them.
void DemoSchool::collectRoles()
{
    auto grant = [&](int t, int role) {
        if (t >= 0) m_teachers[t].roles << role;
    };
    for (int s = 0; s < SubjectCount; ++s) {
        grant(m_subjectLeader[s], 2);
        grant(m_subjectDeputy[s], 2);
    }
    for (const IntakeRec &in : m_intakes) {
        grant(in.leader, 3);
        grant(in.subLeader, 3);
    }
    for (const GradeRec &g : m_grades) {
        for (int t : g.headTeacher) grant(t, 4);
        for (const GradeSubjectRec &s : g.subjects) {
            grant(s.leader, 5);
            grant(s.subLeader, 5);
        }
        for (int t : g.teacher) grant(t, 6);
    }
    for (TeacherRec &t : m_teachers) {
        // Grade and subject leaders look across classes; subject leaders across grades as well.
        if (t.roles.contains(2)) t.viewAllGrades = t.viewAllClasses = true;
        if (t.roles.contains(3)) t.viewAllClasses = true;
    }
}

QString rolesText(const QSet<int> &roles)
{
    QList<int> sorted(roles.begin(), roles.end());
    std::sort(sorted.begin(), sorted.end());
    QStringList out;
    for (int r : sorted) out << QString::number(r);
    return out.join(u',');
}

QList<DemoAccount> DemoSchool::planAccounts()
{
    QList<DemoAccount> accounts;
    const QString adminPassword = QStringLiteral("lumeko");
    TeacherRec &admin = m_teachers[0];
    admin.hash = m_options.hashPassword(adminPassword);
    accounts << DemoAccount{admin.login, adminPassword, admin.name.text, rolesText(admin.roles),
                            QStringLiteral("系统管理员：不受权限限制，可查看和维护全部数据")};

    // A few teachers of the youngest junior grade with known passwords, one per kind of user.
    const QString password = QStringLiteral("lumeko123");
    const GradeRec *grade = nullptr;
    for (const GradeRec &g : m_grades)
        if (g.current && m_intakes[g.intake].stage == Stage::Junior && g.year == 0) grade = &g;
    const IntakeRec *youngest = &m_intakes[grade->intake];
    const QString gradeName = gradeShortName(Stage::Junior, 0) + QStringLiteral("年级");
    QSet<int> used;
    // "，任教数学（七(1)班、七(2)班）": the subject and the classes of this school year.
    auto teaching = [&](int t) {
        const int subject = m_teachers[t].subject;
        QStringList classes;
        for (const GradeRec &g : m_grades)
            if (g.current && subject >= 0)
                for (int c : g.classes)
                    if (g.teacherOf(c, Subject(subject)) == t) classes << m_classes[c].name;
        if (classes.isEmpty()) return QString();
        return QStringLiteral("，任教%1（%2）").arg(text(kSubjects[subject].name), classes.join(u'、'));
    };
    auto account = [&](int t, const QString &what) {
        if (t < 0 || used.contains(t)) return;
        used << t;
        TeacherRec &r = m_teachers[t];
        r.hash = m_options.hashPassword(password);
        accounts << DemoAccount{r.login, password, r.name.text, rolesText(r.roles), what + teaching(t)};
    };
    account(youngest->leader, gradeName + QStringLiteral("年级长"));
    const int firstClass = grade->classes.first();
    account(grade->headTeacher.value(firstClass, -1), m_classes[firstClass].name + QStringLiteral("班主任"));
    // A subject teacher without any other duty, teaching maths in the grade if there is one. In a
    // small school every teacher may lead the lesson preparation of a subject; then one of those.
    int plain = -1;
    for (const QSet<int> &roles : {QSet<int>{6}, QSet<int>{5, 6}}) {
        for (int c : grade->classes) {
            const int t = grade->teacherOf(c, Maths);
            if (plain < 0 && t >= 0 && m_teachers[t].roles == roles && !used.contains(t)) plain = t;
        }
        for (int t = 0; plain < 0 && t < m_teachers.size(); ++t)
            if (m_teachers[t].roles == roles && !used.contains(t)) plain = t;
    }
    account(plain, plain >= 0 && m_teachers[plain].roles.contains(5) ? QStringLiteral("任课教师，兼备课组长") : QStringLiteral("任课教师"));
    account(m_subjectLeader[Maths], QStringLiteral("数学科目组长"));
    return accounts;
}

// --- writing ----------------------------------------------------------------------------------------------

QVariant orNull(const QString &s) { return s.isEmpty() ? QVariant() : QVariant(s); }

void DemoSchool::writeOrganisation()
{
    {
        TableWriter w(m_db, QStringLiteral("XT_School"),
                      {"SchoolCode", "sFullName", "sName", "sSchoolType", "bSubTree", "bHasSub", "bAutoPublishWX", "sMainCap",
                       "sSubCap", "sAddress"});
        w.add({schoolId(), m_fullName, m_shortName, QStringLiteral("完全中学"), true, true, false, m_mainCap, m_subCap, m_address});
        w.flush();
    }
    {
        TableWriter w(m_db, QStringLiteral("XJ_Dept"), {"SchoolCode", "sCode", "sName", "sMemo"});
        for (int i = 0; i < int(std::size(kDepartments)); ++i)
            w.add({schoolId(), departmentCode(i), text(kDepartments[i].name), text(kDepartments[i].memo)});
        w.flush();
    }
    {
        TableWriter w(m_db, QStringLiteral("XJ_Class"), {"SchoolCode", "ClassCode", "ClassName", "sType", "sArea"});
        for (const ClassRec &c : m_classes) w.add({schoolId(), c.code, c.name, c.type, area(c)});
        w.flush();
    }
}

void DemoSchool::writeTeachers()
{
    auto code = [&](int t) { return t >= 0 ? QVariant(m_teachers[t].code) : QVariant(); };
    {
        TableWriter w(m_db, QStringLiteral("JC_Teacher"),
                      {"sCode", "SchoolCode", "sName", "sLoginName", "sMail", "sMobile", "sPass", "sRole", "iState", "sSex",
                       "sType", "sResidenceType", "sNation", "sBirthAddr", "dBirthday", "sIDCard", "sTel", "dWorkDate", "sTitle",
                       "sMemo", "iUserType", "bViewAllGrade", "bViewAllClass", "Selected"});
        for (int i = 0; i < m_teachers.size(); ++i) {
            const TeacherRec &t = m_teachers[i];
            const bool admin = i == 0;
            w.add({t.code, schoolId(), t.name.text, t.login, orNull(t.mail), orNull(t.mobile), orNull(t.hash), rolesText(t.roles), 0,
                   admin ? QVariant() : QVariant(text(t.male ? "男" : "女")), orNull(t.type), orNull(t.residence), orNull(t.nation),
                   orNull(t.province), admin ? QVariant() : QVariant(t.birthday), orNull(t.idCard), orNull(t.tel),
                   admin ? QVariant() : QVariant(t.workDate), orNull(t.title), orNull(t.staffTitle), admin ? 1 : 0,
                   t.viewAllGrades, t.viewAllClasses, false});
        }
        w.flush();
    }
    {
        TableWriter w(m_db, QStringLiteral("JC_DeptTeacher"), {"SchoolCode", "TeacherCode", "DepartCode", "sDuty"});
        for (const TeacherRec &t : m_teachers) {
            w.add({schoolId(), t.code, departmentCode(t.department), t.duty});
            for (const auto &[dept, duty] : t.extraDepartments) w.add({schoolId(), t.code, departmentCode(dept), duty});
        }
        w.flush();
    }
    {
        TableWriter w(m_db, QStringLiteral("XJ_Subject"), {"SchoolCode", "SubjectCode", "SubjectName", "TeacherCode", "SubTeacherCode"});
        for (int s = 0; s < SubjectCount; ++s)
            w.add({schoolId(), text(kSubjects[s].code), text(kSubjects[s].name), code(m_subjectLeader[s]), code(m_subjectDeputy[s])});
        w.flush();
    }
    TableWriter grades(m_db, QStringLiteral("XJ_Grade"),
                       {"SchoolCode", "InYear", "GradeCode", "sYear", "TeacherCode", "SubTeacherCode", "bCurGrade"});
    TableWriter classes(m_db, QStringLiteral("XJ_GradeClass"),
                        {"SchoolCode", "InYear", "GradeCode", "ClassCode", "sArea", "AliasName", "TeacherCode"});
    TableWriter subjects(m_db, QStringLiteral("XJ_GradeSubject"),
                         {"SchoolCode", "InYear", "GradeCode", "SubjectCode", "SubjectType", "FullMark", "TeacherCode", "SubTeacherCode"});
    TableWriter course(m_db, QStringLiteral("XJ_CourseTable"),
                       {"SchoolCode", "InYear", "GradeCode", "ClassCode", "SubjectCode", "TeacherCode"});
    for (const GradeRec &g : m_grades) {
        const IntakeRec &in = m_intakes[g.intake];
        grades.add({schoolId(), in.inYear, g.code, schoolYearText(g.startYear), code(in.leader), code(in.subLeader),
                    QString::fromLatin1(g.current ? "Y" : "N")});
        for (int c : g.classes) {
            const ClassRec &k = m_classes[c];
            classes.add({schoolId(), in.inYear, g.code, k.code, area(k),
                         QStringLiteral("%1(%2)班").arg(gradeShortName(in.stage, g.year)).arg(k.number), code(g.headTeacher.value(c, -1))});
        }
        for (const GradeSubjectRec &s : g.subjects) {
            subjects.add({schoolId(), in.inYear, g.code, text(kSubjects[s.info.subject].code), s.info.type, s.info.fullMark,
                          code(s.leader), code(s.subLeader)});
            for (int c : g.classes)
                course.add({schoolId(), in.inYear, g.code, m_classes[c].code, text(kSubjects[s.info.subject].code),
                            code(g.teacherOf(c, s.info.subject))});
        }
    }
    grades.flush();
    classes.flush();
    subjects.flush();
    course.flush();
}

void DemoSchool::writeStudents()
{
    TableWriter students(m_db, QStringLiteral("XJ_Student"),
                         {"sCode", "SchoolCode", "GradeCode", "InYear", "ClassCode", "iClassNo", "iState", "sType", "sSex",
                          "sResidenceType", "sBirthAddr", "sName", "sNO", "sICNo", "sPNO", "dbirthday", "sOldSchool", "sNation",
                          "sAddress", "sTel", "dEnterDate", "Selected"});
    TableWriter family(m_db, QStringLiteral("XJ_Family"),
                       {"scode", "sTitle", "sName", "dBirthDay", "sPolice", "sHealthState", "sCompany", "sDuty", "sTel", "SchoolCode"});
    // The grade a student belongs to now: the current grade, or the last one of a graduated intake.
    QHash<int, QString> gradeOfClass;
    for (const GradeRec &g : m_grades)
        if (g.current || m_intakes[g.intake].graduated)
            for (int c : g.classes) gradeOfClass.insert(c, g.code);

    struct Member {
        const char *title;
        bool male;
        int minAge, maxAge; // at the child's birth
        bool sharesSurname;
    };
    const Member members[] = {{"父亲", true, 24, 40, true},  {"母亲", false, 22, 38, false}, {"爷爷", true, 48, 66, true},
                              {"奶奶", false, 46, 64, false}, {"外公", true, 48, 66, false}, {"外婆", false, 46, 64, false}};
    QList<QVariantList> familyRows, pendingFamily;
    for (StudentRec &s : m_students) {
        const ClassRec &c = m_classes[s.klass];
        const IntakeRec &in = m_intakes[c.intake];
        // Most families give the parents; some a grandparent as well, or only one of them.
        familyRows.clear();
        if (m_rng.chance(0.93)) {
            QList<int> chosen;
            if (m_rng.chance(0.9)) chosen << 0;
            if (m_rng.chance(0.92)) chosen << 1;
            if (m_rng.chance(0.12)) chosen << 2 + m_rng.below(4);
            if (chosen.isEmpty()) chosen << 1;
            for (int m : chosen) {
                const Member &mb = members[m];
                const PersonName name = randomName(m_rng, mb.male, mb.sharesSurname ? &s.name.surname : nullptr);
                const int age = m_rng.between(mb.minAge, mb.maxAge);
                const QDate born = randomDate(m_rng, QDate(s.birthday.year() - age, 1, 1), QDate(s.birthday.year() - age, 12, 28));
                QString company, duty;
                if (m >= 2 && m_rng.chance(0.7)) {
                    company = text("退休");
                } else if (m_rng.chance(0.12)) {
                    company = text(m_rng.chance(0.5) ? "个体经营" : "自由职业");
                } else if (m_rng.chance(0.25)) {
                    company = text(m_rng.pick(kInstitutions));
                    duty = text(m_rng.pick(kInstitutionDuties));
                } else {
                    company = QStringLiteral("深圳市%1%2").arg(randomPlaceWord(m_rng), text(m_rng.pick(kCompanyKinds)));
                    duty = text(m_rng.pick(kCompanyDuties));
                }
                const QString tel = mobileNumber(m_rng);
                if (s.tel.isEmpty()) s.tel = tel;
                m_familyMobiles[s.code] << tel;
                familyRows << QVariantList{s.code, text(mb.title), name.text, born, text(m_rng.pick(kPolitical)),
                                           text(m_rng.chance(0.95) ? "健康" : "良好"), company, orNull(duty), tel, schoolId()};
            }
        }
        const QString sno = studentNumber(s);
        const QString pno = idNumber(m_rng, s.provinceKey, s.birthday, s.male);
        students.add({s.code, schoolId(), gradeOfClass.value(s.klass), in.inYear, c.code, s.seat, s.state, s.type,
                      text(s.male ? "男" : "女"), s.residence, s.province, s.name.text, sno, QStringLiteral("G") + pno, pno,
                      s.birthday, s.oldSchool, s.nation, s.address, orNull(s.tel), QDate(in.inYear, 9, 1), false});
        for (const QVariantList &row : familyRows) pendingFamily << row;
    }
    students.flush();
    for (const QVariantList &row : pendingFamily) family.add(row);
    family.flush();
}

QString DemoSchool::studentNumber(const StudentRec &s) const
{
    const ClassRec &c = m_classes[s.klass];
    const IntakeRec &in = m_intakes[c.intake];
    return QStringLiteral("%1%2%3%4").arg(in.inYear).arg(int(in.stage)).arg(c.number, 2, 10, QLatin1Char('0')).arg(s.seat, 2, 10, QLatin1Char('0'));
}

// The score query page has something to show: the latest exam of the youngest junior grade that has
// held one (else of the youngest grade that has) is published with scores and ranks, and three
// students of its first class who sat it get a known password.
QList<DemoStudent> DemoSchool::publishForStudents()
{
    const auto preference = [&](const HeldExam &e) {
        const GradeRec &g = m_grades[e.grade];
        return std::tuple(m_intakes[g.intake].stage == Stage::Junior ? 0 : 1, g.year, -e.date.toJulianDay());
    };
    const HeldExam *chosen = nullptr;
    for (const HeldExam &e : m_heldExams)
        if (!chosen || preference(e) < preference(*chosen)) chosen = &e;
    if (!chosen) return {};
    m_db.exec(QStringLiteral("UPDATE \"CJ_ExamTotal\" SET \"WXshowed\" = ?, \"markShowType\" = ? WHERE \"Id\" = ?"),
              {m_db.toDb(true, wire::FieldType::Boolean), QStringLiteral("3"), chosen->id});
    const GradeRec &g = m_grades[chosen->grade];
    const ClassRec &c = m_classes[g.classes.first()];
    const QString password = QStringLiteral("chaxun123");
    QList<DemoStudent> out;
    for (int s : c.students) {
        const StudentRec &st = m_students[s];
        if (st.state != QLatin1String(kStudying)) continue;
        m_db.exec(QStringLiteral("UPDATE \"XJ_Student\" SET \"sPass\" = ? WHERE \"sCode\" = ?"), {m_options.hashPassword(password), st.code});
        out << DemoStudent{studentNumber(st), password, st.name.text, QStringLiteral("%1学生，可查询已发布的%2成绩").arg(c.name, chosen->name)};
        if (out.size() == 3) break;
    }
    return out;
}

// Score notices: about three families in five of the students at school have subscribed, most of
// them still active, some with a second number. Drawn from a generator of their own, so that the
// rest of the school is the same with or without them.
void DemoSchool::writeSubscriptions()
{
    Random rng(m_options.seed ^ 0x534D5321u);
    TableWriter orders(m_db, QStringLiteral("XT_SMSOrder"), {"SchoolCode", "code", "smsState", "mobile", "mobile2"});
    for (const StudentRec &s : m_students) {
        const QStringList mobiles = m_familyMobiles.value(s.code);
        if (s.state != QLatin1String(kStudying) || mobiles.isEmpty() || !rng.chance(0.6)) continue;
        const int state = rng.chance(0.85) ? 1 : 0;
        const QString second = mobiles.size() > 1 && rng.chance(0.4) ? mobiles[1] : QString();
        orders.add({schoolId(), s.code, state, mobiles.first(), orNull(second)});
    }
    orders.flush();
}

QList<ExamPlan> DemoSchool::examsOfYear(const GradeRec &grade) const
{
    auto shared = [](const char *code) {
        for (const SharedExamName &e : kSharedExamNames)
            if (qstrcmp(e.code, code) == 0) return text(e.name);
        return QString();
    };
    auto plan = [&](const char *code, int month, int day, bool later, ExamScope scope) {
        return ExamPlan{QString::fromLatin1(code), shared(code), month, day, later, scope};
    };
    QList<ExamPlan> exams = {plan("005", 10, 15, false, ExamScope::Main), plan("001", 11, 12, false, ExamScope::Main),
                             plan("006", 12, 17, false, ExamScope::Main), plan("002", 1, 21, true, ExamScope::All),
                             plan("007", 3, 25, true, ExamScope::Main),   plan("003", 4, 22, true, ExamScope::Main),
                             plan("008", 5, 27, true, ExamScope::Main),   plan("004", 7, 1, true, ExamScope::All)};
    auto own = [&](int which, int month, int day) {
        exams << ExamPlan{m_ownExamCodes[which], text(kOwnExamNames[which].name), month, day, true, ExamScope::Main};
    };
    if (grade.code == u"1901") own(MockZhongkao, 5, 12);
    if (grade.code.startsWith(u"23")) {
        own(MockGaokao1, 3, 5);
        own(MockGaokao2, 4, 20);
    }
    std::stable_sort(exams.begin(), exams.end(), [](const ExamPlan &a, const ExamPlan &b) {
        return std::tuple(a.secondYearHalf, a.month, a.day) < std::tuple(b.secondYearHalf, b.month, b.day);
    });
    return exams;
}

// The current grades have the exams of this school year that have been held, and the next one when
// it is less than three weeks away (defined, with its candidates, waiting for scores). The grades of
// last year have that year's four term exams; a graduated intake its last year's main exams. Exams
// of earlier years are frozen.
void DemoSchool::writeExams()
{
    int highest = 0;
    const wire::DataPacket codes = m_db.select(QStringLiteral("SELECT \"sCode\" FROM \"CJ_ExamInfo\""), {},
                                               {wire::FieldDef{QStringLiteral("sCode")}});
    for (qsizetype r = 0; r < codes.rowCount(); ++r) highest = std::max(highest, codes.value(r, 0).toString().toInt());
    {
        TableWriter w(m_db, QStringLiteral("CJ_ExamInfo"), {"sCode", "sName", "sType", "SchoolCode", "bState"});
        for (int i = 0; i < int(std::size(kOwnExamNames)); ++i) {
            m_ownExamCodes[i] = QStringLiteral("%1").arg(++highest, 3, 10, QLatin1Char('0'));
            w.add({m_ownExamCodes[i], text(kOwnExamNames[i].name), text(kOwnExamNames[i].type), schoolId(), false});
        }
        w.flush();
    }
    for (const GradeRec &g : m_grades) {
        const IntakeRec &in = m_intakes[g.intake];
        const QList<ExamPlan> year = examsOfYear(g);
        auto dateOf = [&](const ExamPlan &p) { return QDate(g.startYear + (p.secondYearHalf ? 1 : 0), p.month, p.day); };
        if (g.current) {
            // Scores of the latest exam may still be entered for two weeks from today, so that the
            // demo accounts can try score entry.
            int latest = -1;
            for (int k = 0; k < year.size() && dateOf(year[k]) <= m_today; ++k) latest = k;
            for (int k = 0; k < year.size(); ++k) {
                const QDate date = dateOf(year[k]);
                if (k <= latest) {
                    writeExam(g, year[k], date, k == latest ? std::max(date.addDays(14), m_today.addDays(14)) : date.addDays(14), true, false);
                } else {
                    if (m_today.daysTo(date) <= 21) writeExam(g, year[k], date, date.addDays(14), false, false);
                    break;
                }
            }
            continue;
        }
        QStringList chosen;
        if (!in.graduated) chosen = {QStringLiteral("001"), QStringLiteral("002"), QStringLiteral("003"), QStringLiteral("004")};
        else if (g.code == u"1901") chosen = {QStringLiteral("002"), m_ownExamCodes[MockZhongkao], QStringLiteral("003")};
        else chosen = {QStringLiteral("002"), m_ownExamCodes[MockGaokao2], QStringLiteral("003")};
        for (const ExamPlan &p : year)
            if (chosen.contains(p.code)) writeExam(g, p, dateOf(p), dateOf(p).addDays(14), true, true);
    }
}

void DemoSchool::writeExam(const GradeRec &g, const ExamPlan &plan, QDate date, QDate limit, bool scored, bool frozen)
{
    const IntakeRec &in = m_intakes[g.intake];
    const QString pageName = QString(QChar(0x22A5)); // ⊥: an exam of the whole grade, not a teacher's own
    QList<GradeSubjectRec> subjects;
    for (const GradeSubjectRec &s : g.subjects)
        if (plan.scope == ExamScope::All || s.info.type <= 1) subjects << s;

    // The header with the level marks of its three totals, summed over the subjects of each.
    double totals[3][8] = {};
    for (const GradeSubjectRec &s : subjects) {
        const Marks m = marksFor(s.info.fullMark);
        const double v[8] = {m.full, m.high, m.low, m.distance, m.excel, m.good, m.pass, m.bad};
        for (int k = 0; k < 8; ++k) {
            totals[0][k] += v[k];
            if (s.info.type <= 1) totals[1][k] += v[k];
            if (s.info.type == 0) totals[2][k] += v[k];
        }
    }
    static const QStringList headerColumns = [] {
        QStringList c = {"SchoolCode", "GradeCode", "InYear", "ExamCode", "PageName", "ExamName"};
        for (const char *prefix : {"a", "m", "b"})
            for (const char *mark : {"FullMark", "HighMark", "LowMark", "DistanceMark", "ExcelMark", "GoodMark", "PassMark", "BadMark"})
                c << QString::fromLatin1(prefix) + QString::fromLatin1(mark);
        c << QStringList{"hasMain", "hasBase", "ModifyRight", "dDefDay", "dLimitDay", "nInway", "Freeze", "WXshowed", "Classes",
                         "markShowType"};
        return c;
    }();
    QVariantList header = {schoolId(), g.code, in.inYear, plan.code, pageName, plan.name};
    for (const auto &row : totals)
        for (double v : row) header << v;
    // Every role may edit the scores while the entry period lasts.
    header << true << true << 63 << date << limit << 0 << frozen << false << QStringLiteral("ALL")
           << QString::fromLatin1(kShowScores);
    static const QString headerSql = [] {
        QStringList quoted;
        for (const QString &c : headerColumns) quoted << Database::quoted(c);
        return QStringLiteral("INSERT INTO \"CJ_ExamTotal\" (%1) VALUES (%2)")
            .arg(quoted.join(u", "), QStringList(quoted.size(), QStringLiteral("?")).join(u", "));
    }();
    const TableDef &headerTable = schemaTable(u"CJ_ExamTotal");
    QVariantList params;
    for (int i = 0; i < headerColumns.size(); ++i) params << m_db.toDb(header[i], headerTable.column(headerColumns[i]).type);
    const qint64 examId = m_db.insertReturningId(headerSql, params, QStringLiteral("Id"));
    if (scored && !frozen && g.current) m_heldExams.append({int(&g - m_grades.constData()), examId, date, plan.name});

    {
        TableWriter w(m_db, QStringLiteral("CJ_ExamSubject"),
                      {"SchoolCode", "GradeCode", "InYear", "ExamCode", "PageName", "SubjectCode", "ExamName", "Per", "ModifyRight",
                       "FullMark", "HighMark", "LowMark", "ExcelMark", "GoodMark", "DistanceMark", "PassMark", "BadMark"});
        for (const GradeSubjectRec &s : subjects) {
            const Marks m = marksFor(s.info.fullMark);
            w.add({schoolId(), g.code, in.inYear, plan.code, pageName, text(kSubjects[s.info.subject].code), plan.name, 1.0, 63,
                   m.full, m.high, m.low, m.excel, m.good, m.distance, m.pass, m.bad});
        }
        w.flush();
    }
    {
        TableWriter w(m_db, QStringLiteral("CJ_ExamGradePer"), {"examId", "sArea", "APer", "BPer", "CPer", "DPer", "EPer"});
        for (const QString &a : {m_mainCap, m_subCap}) w.add({examId, a, 15.0, 35.0, 30.0, 15.0, 5.0});
        w.flush();
    }

    // Candidates: the students of the grade's classes (in a current grade only those at school).
    QList<int> candidates;
    for (int c : g.classes)
        for (int s : m_classes[c].students)
            if (!g.current || m_students[s].state == QLatin1String(kStudying)) candidates << s;

    // Scores: how hard the paper was, the student's general ability and feeling for the subject,
    // the class's teaching, and the day's luck; a few students miss a paper or the whole exam.
    const int n = int(candidates.size());
    const int subjectCount = int(subjects.size());
    QList<QList<std::optional<double>>> scores(subjectCount, QList<std::optional<double>>(n));
    if (scored) {
        QList<double> difficulty;
        for (const GradeSubjectRec &s : subjects)
            difficulty << (s.info.subject == Sports ? 0.82 : std::clamp(m_rng.normal(0.70, 0.035), 0.6, 0.8));
        for (int i = 0; i < n; ++i) {
            const StudentRec &st = m_students[candidates[i]];
            const ClassRec &c = m_classes[st.klass];
            const bool absent = m_rng.chance(0.004);
            for (int j = 0; j < subjectCount; ++j) {
                const GradeSubjectInfo &info = subjects[j].info;
                const double luck = m_rng.normal();
                if (absent || m_rng.chance(0.006)) continue;
                const double classEffect = c.effect[info.subject] + m_rng.normal(0, 0.01);
                if (info.fullMark <= 10) {
                    const double z = 0.45 * st.ability + 0.6 * st.aptitude[info.subject] + 0.6 * luck + 10 * classEffect;
                    scores[j][i] = z > 0.51 ? 5.0 : z > -0.5 ? 4.0 : z > -1.25 ? 3.0 : 2.0;
                    continue;
                }
                const double pct = info.subject == Sports
                    ? difficulty[j] + 0.08 * (0.3 * st.ability + 0.6 * st.aptitude[info.subject] + 0.6 * luck) + classEffect
                    : difficulty[j] + 0.14 * (0.75 * st.ability + 0.45 * st.aptitude[info.subject] + 0.5 * luck) + classEffect;
                scores[j][i] = std::clamp(std::nearbyint(2.0 * info.fullMark * pct) / 2.0, 0.0, double(info.fullMark));
            }
        }
    }

    // Totals over the scores present (all subjects; base and main subjects; base subjects only) and
    // their ranks in the grade.
    QList<std::optional<double>> sums[3] = {QList<std::optional<double>>(n), QList<std::optional<double>>(n),
                                            QList<std::optional<double>>(n)};
    QList<int> types;
    for (int j = 0; j < subjectCount; ++j) types << subjects[j].info.type;
    for (int i = 0; i < n; ++i) {
        QList<domain::Score> row;
        for (int j = 0; j < subjectCount; ++j) row << scores[j][i];
        const domain::Totals t = domain::totalsOf(row, types);
        sums[0][i] = t.full;
        sums[1][i] = t.main;
        sums[2][i] = t.base;
    }
    const QList<std::optional<int>> order[3] = {domain::competitionRanks(sums[0]), domain::competitionRanks(sums[1]),
                                                domain::competitionRanks(sums[2])};
    {
        TableWriter w(m_db, QStringLiteral("CJ_ExamStudent"),
                      {"examId", "StudentCode", "ClassCode", "AuthNo", "FullTotal", "MainTotal", "BaseTotal", "FullOrder",
                       "MainOrder", "BaseOrder"});
        for (int i = 0; i < n; ++i) {
            const StudentRec &st = m_students[candidates[i]];
            const ClassRec &c = m_classes[st.klass];
            const QString authNo = plan.code + QStringLiteral("%1%2").arg(c.number, 2, 10, QLatin1Char('0')).arg(st.seat, 2, 10, QLatin1Char('0'));
            w.add({examId, st.code, c.code, authNo, opt(sums[0][i]), opt(sums[1][i]), opt(sums[2][i]), opt(order[0][i]),
                   opt(order[1][i]), opt(order[2][i])});
        }
        w.flush();
    }
    if (!scored) return;
    TableWriter w(m_db, QStringLiteral("CJ_Mark"), {"examId", "StudentCode", "SubjectCode", "score", "gradeOrder"});
    for (int j = 0; j < subjectCount; ++j) {
        const QList<std::optional<int>> rank = domain::competitionRanks(scores[j]);
        const QString subject = text(kSubjects[subjects[j].info.subject].code);
        for (int i = 0; i < n; ++i)
            if (scores[j][i]) w.add({examId, m_students[candidates[i]].code, subject, *scores[j][i], opt(rank[i])});
    }
    w.flush();
}

} // namespace
} // namespace seed

QList<DemoAccount> seedDemoSchool(Database &db, const DemoOptions &options)
{
    return seedDemoSchool(db, options, nullptr);
}

QList<DemoAccount> seedDemoSchool(Database &db, const DemoOptions &options, QList<DemoStudent> *students)
{
    Transaction tx(db);
    seed::addSystemData(db);
    seed::DemoSchool school(db, options);
    const QList<DemoAccount> accounts = school.build();
    tx.commit();
    if (students) *students = school.students();
    return accounts;
}

} // namespace lumeko::server
