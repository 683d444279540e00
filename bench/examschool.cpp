#include "examschool.h"

#include "server/core/auth.h"
#include "server/methods/methods.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <stdexcept>

namespace lumeko::bench {

using server::Database;
using wire::FieldType;

namespace {

const QString kSchool = QStringLiteral("S1");
const QString kGrade = QStringLiteral("1701");
const QString kExamCode = QStringLiteral("001");
const QString kNoPage = QStringLiteral("⊥");
constexpr qint64 kInYear = 2026;
const QString kAdminCode = QStringLiteral("{00000000-0000-0000-0000-000000000001}");

// Only the raw output of std::mt19937 is used: its sequence is fixed by the standard.
class Dice {
public:
    explicit Dice(std::uint32_t seed) : m_rng(seed) {}
    double uniform() { return double(m_rng()) / 4294967296.0; }
    double normal() { return (uniform() + uniform() + uniform() + uniform() - 2.0) * 1.7320508; }
    std::uint32_t below(std::uint32_t n) { return m_rng() % n; }

private:
    std::mt19937 m_rng;
};

wire::Argument val(wire::Value v)
{
    return {std::move(v), false};
}
wire::Argument ref(wire::Value v = wire::Null{})
{
    return {std::move(v), true};
}

} // namespace

ExamSchool::ExamSchool(const server::DatabaseUrl &url)
{
    server::ServerOptions o;
    o.database = url;
    o.fileStore = m_files.filePath(QStringLiteral("files"));
    o.passwordCost = server::PasswordCost::Minimal;
    // Exam day; entries are open until the end of the month.
    o.clock = [] { return QDateTime(QDate(2026, 12, 6), QTime(8, 0), Qt::UTC); };
    m_service = std::make_unique<server::Service>(o);
    server::installSchoolMethods(*m_service);
    seed();
    const wire::Reply r =
        call(QStringLiteral("Session"), QStringLiteral("SignIn"), {val(QStringLiteral("admin")), val(QStringLiteral("lumeko")), val(QStringLiteral("BENCH"))});
    const QString *token = std::get_if<QString>(&r.result);
    if (!r.ok() || !token) throw std::runtime_error("the administrator cannot sign in: " + r.message.toStdString());
    m_token = *token;
}

ExamSchool::~ExamSchool() = default;

void ExamSchool::seed()
{
    Database &db = this->db();
    const auto yes = db.toDb(true, FieldType::Boolean), no = db.toDb(false, FieldType::Boolean);
    server::Transaction tx(db);
    db.exec(QStringLiteral("INSERT INTO \"XT_School\" (\"SchoolCode\", \"sFullName\", \"sName\", \"sSchoolType\", \"bSubTree\", \"bHasSub\", "
                           "\"sMainCap\", \"sSubCap\") VALUES (?, ?, ?, ?, ?, ?, ?, ?)"),
            {kSchool, QStringLiteral("示范市第一中学"), QStringLiteral("一中"), QStringLiteral("完全中学"), yes, yes, QStringLiteral("本部"),
             QStringLiteral("分校")});
    db.exec(QStringLiteral("INSERT INTO \"JC_Teacher\" (\"sCode\", \"SchoolCode\", \"sName\", \"sLoginName\", \"sPass\", \"sRole\", \"iState\", "
                           "\"iUserType\", \"bViewAllGrade\", \"bViewAllClass\") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
            {kAdminCode, kSchool, QStringLiteral("管理员"), QStringLiteral("admin"),
             server::hashPassword(QStringLiteral("lumeko"), server::PasswordCost::Minimal), QStringLiteral("1"), 0, 1, yes, yes});
    db.exec(QStringLiteral("INSERT INTO \"XJ_Grade\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"sYear\", \"bCurGrade\") VALUES (?, ?, ?, ?, ?)"),
            {kSchool, kInYear, kGrade, QStringLiteral("2026~2027学年"), QStringLiteral("Y")});

    static const char16_t kDigits[] = u"一二三四五六七八九十";
    const auto classCode = [](int c) { return QStringLiteral("%1").arg(c + 1, 3, 10, QLatin1Char('0')); };
    QList<QVariantList> classes;
    for (int c = 0; c < kClasses; ++c) {
        const int n = c + 1;
        QString name = n <= 10 ? QString(QChar(kDigits[n - 1])) : QString::number(n);
        classes.append({kSchool, classCode(c), QStringLiteral("七年级%1班").arg(name), c < 40 ? QStringLiteral("本部") : QStringLiteral("分校")});
    }
    db.execValues(QStringLiteral("INSERT INTO \"XJ_Class\" (\"SchoolCode\", \"ClassCode\", \"ClassName\", \"sArea\")"), 4, classes);

    QList<QVariantList> subjects, gradeSubjects, examSubjects;
    for (int j = 0; j < kSubjects; ++j) {
        const QString code = QStringLiteral("%1").arg(j + 1, 3, 10, QLatin1Char('0'));
        m_subjects << code;
        const double full = fullMark(j);
        subjects.append({kSchool, code, subjectName(j)});
        gradeSubjects.append({kSchool, kInYear, kGrade, code, j < 3 ? 0 : j < 6 ? 1 : 2, int(full)});
        examSubjects.append({kSchool, kGrade, kInYear, kExamCode, kNoPage, code, 1.0, full, full * 0.9, full * 0.8, full * 0.6, full * 0.3});
    }
    db.execValues(QStringLiteral("INSERT INTO \"XJ_Subject\" (\"SchoolCode\", \"SubjectCode\", \"SubjectName\")"), 3, subjects);
    db.execValues(QStringLiteral("INSERT INTO \"XJ_GradeSubject\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"SubjectCode\", \"SubjectType\", \"FullMark\")"),
                  6, gradeSubjects);

    static constexpr char16_t kSurnames[] = u"王李张刘陈杨黄赵吴周徐孙马朱胡郭何高林罗郑梁谢宋唐许韩冯邓曹彭曾肖田董袁潘于蒋蔡余杜叶程苏魏吕丁任沈";
    static constexpr char16_t kGiven[] = u"伟芳娜秀英敏静丽强磊军洋勇艳杰娟涛明超霞平刚桂华玉萍红建文辉力兰俊鹏飞云峰琳晨宇浩然子轩欣怡梓涵雨萱";
    Dice dice(20261206u);
    QList<QVariantList> students;
    for (int i = 0; i < kStudents; ++i) {
        const int c = i / kPerClass, seat = i % kPerClass + 1;
        const QString code =
            QStringLiteral("{%1-7A1C-4000-8000-%2}").arg(i + 1, 8, 16, QLatin1Char('0')).arg(i * 7919 + 17, 12, 16, QLatin1Char('0')).toUpper();
        QString name(QChar(kSurnames[dice.below(std::uint32_t(std::size(kSurnames) - 1))]));
        for (int g = 0, n = dice.below(3) == 0 ? 1 : 2; g < n; ++g)
            name += QChar(kGiven[dice.below(std::uint32_t(std::size(kGiven) - 1))]);
        m_students << code;
        m_index.insert(code, i);
        m_level.push_back(dice.normal());
        students.append({code, kSchool, kGrade, kInYear, classCode(c), seat, name, dice.below(2) ? QStringLiteral("男") : QStringLiteral("女"),
                         QStringLiteral("2026%1%2").arg(classCode(c)).arg(seat, 2, 10, QLatin1Char('0')), QStringLiteral("00"), QStringLiteral("统招生")});
    }
    db.execValues(QStringLiteral("INSERT INTO \"XJ_Student\" (\"sCode\", \"SchoolCode\", \"GradeCode\", \"InYear\", \"ClassCode\", \"iClassNo\", "
                                 "\"sName\", \"sSex\", \"sNO\", \"iState\", \"sType\")"),
                  11, students);

    m_examId = db.insertReturningId(
        QStringLiteral(
            "INSERT INTO \"CJ_ExamTotal\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", \"ExamName\", \"aFullMark\", "
            "\"aExcelMark\", \"aGoodMark\", \"aPassMark\", \"aBadMark\", \"bFullMark\", \"mFullMark\", \"hasMain\", \"hasBase\", "
            "\"ModifyRight\", \"dDefDay\", \"dLimitDay\", \"Freeze\") VALUES (?, ?, ?, ?, ?, ?, 1350, 1215, 1080, 810, 405, 450, 750, ?, ?, 63, ?, ?, ?)"),
        {kSchool, kGrade, kInYear, kExamCode, kNoPage, QStringLiteral("期中考试"), yes, yes, db.toDb(QDate(2026, 12, 5), FieldType::Date),
         db.toDb(QDate(2026, 12, 31), FieldType::Date), no},
        QStringLiteral("Id"));
    db.execValues(QStringLiteral("INSERT INTO \"CJ_ExamSubject\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", \"SubjectCode\", "
                                 "\"Per\", \"FullMark\", \"ExcelMark\", \"GoodMark\", \"PassMark\", \"BadMark\")"),
                  12, examSubjects);
    QList<QVariantList> candidates;
    for (int i = 0; i < kStudents; ++i)
        candidates.append({m_examId, m_students[i], classCode(i / kPerClass)});
    db.execValues(QStringLiteral("INSERT INTO \"CJ_ExamStudent\" (\"examId\", \"StudentCode\", \"ClassCode\")"), 3, candidates);
    tx.commit();
}

QString ExamSchool::subjectName(int subject) const
{
    static const char *const kNames[] = {"语文", "数学", "英语", "物理", "化学", "生物", "政治", "历史", "地理", "信息", "体育", "音乐"};
    return QString::fromUtf8(kNames[subject]);
}

wire::Reply ExamSchool::call(const QString &object, const QString &method, QList<wire::Argument> args)
{
    wire::Call c{object, method, m_token, std::move(args)};
    return m_service->handle(c, wire::CallOrigin{});
}

wire::Reply ExamSchool::qMarkReply()
{
    return call(QStringLiteral("AchieveQry"), QStringLiteral("QMark"),
                {val(kSchool), val(kGrade), val(kExamCode), ref(kNoPage), ref(QString()), ref(m_subjects.join(u';')), ref(kInYear), ref(), ref()});
}

ExamSchool::Sheet ExamSchool::takeSheet(wire::Reply &reply)
{
    Sheet s;
    if (auto *p = std::get_if<wire::DataPacket>(&reply.refs[7])) s.data = std::move(*p);
    if (auto *p = std::get_if<wire::DataPacket>(&reply.refs[8])) s.upload = std::move(*p);
    return s;
}

qint64 ExamSchool::upMark(wire::ChangePacket packet, QString *message)
{
    const wire::Reply r = call(QStringLiteral("AchieveUp"), QStringLiteral("UpMark"), {val(std::move(packet)), val(qint64(-1)), ref(qint64(0))});
    *message = r.message;
    if (!r.ok()) return -1;
    const wire::Value errorCount = r.refs.value(2);
    const qint64 *errors = std::get_if<qint64>(&errorCount);
    return errors ? *errors : -1;
}

QString ExamSchool::orderFields() const
{
    QStringList f{QStringLiteral("FULLTOTAL"), QStringLiteral("FULLORDER"), QStringLiteral("BASETOTAL"),
                  QStringLiteral("BASEORDER"), QStringLiteral("MAINTOTAL"), QStringLiteral("MAINORDER")};
    for (const QString &s : m_subjects)
        f << QStringLiteral("C_") + s << QStringLiteral("O_") + s;
    return f.join(u',');
}

bool ExamSchool::upExamOrder(QString *message)
{
    const wire::Reply r = call(QStringLiteral("AchieveUp"), QStringLiteral("UpExamOrder"),
                               {val(kSchool), val(kGrade), val(kExamCode), ref(kNoPage), ref(orderFields()), ref(kInYear)});
    *message = r.ok() && r.result != wire::Value(qint64(0)) ? QStringLiteral("UpExamOrder answered %1").arg(std::get<qint64>(r.result)) : r.message;
    return r.ok() && r.result == wire::Value(qint64(0));
}

std::vector<double> ExamSchool::nextScores(std::uint32_t seed, const std::vector<double> *previous) const
{
    Dice dice(seed);
    std::vector<double> s(kCells);
    for (int i = 0; i < kStudents; ++i)
        for (int j = 0; j < kSubjects; ++j) {
            const double full = fullMark(j);
            const double share = 0.66 + 0.12 * m_level[std::size_t(i)] + 0.07 * dice.normal();
            double v = std::clamp(std::round(share * full * 2.0) / 2.0, 0.0, full);
            const std::size_t cell = std::size_t(i) * kSubjects + std::size_t(j);
            if (previous && (*previous)[cell] == v) v = v + 0.5 <= full ? v + 0.5 : v - 0.5;
            s[cell] = v;
        }
    return s;
}

wire::ChangePacket ExamSchool::changePacket(const wire::DataPacket &upload, const std::vector<double> &scores) const
{
    wire::ChangePacket p;
    p.fields = upload.fields();
    const int studentField = upload.fieldIndex(u"StudentCode");
    QList<int> scoreField;
    for (const QString &s : m_subjects)
        scoreField << upload.fieldIndex(QStringLiteral("C_") + s);
    p.rows.reserve(upload.rowCount());
    for (qsizetype r = 0; r < upload.rowCount(); ++r) {
        const int i = studentIndex(upload.value(r, studentField).toString());
        QVariantList old = upload.row(r), now = old;
        for (int j = 0; j < kSubjects && i >= 0; ++j)
            now[scoreField[j]] = scores[std::size_t(i) * kSubjects + std::size_t(j)];
        p.rows.append({wire::RowStatus::Modified, std::move(old), std::move(now)});
    }
    return p;
}

void ExamSchool::storeScores(const std::vector<double> &scores)
{
    Database &db = this->db();
    QList<QVariantList> rows;
    rows.reserve(kCells);
    for (int i = 0; i < kStudents; ++i)
        for (int j = 0; j < kSubjects; ++j)
            rows.append({m_examId, m_students[i], m_subjects[j], scores[std::size_t(i) * kSubjects + std::size_t(j)]});
    server::Transaction tx(db);
    db.exec(QStringLiteral("DELETE FROM \"CJ_Mark\" WHERE \"examId\" = ?"), {m_examId});
    db.execValues(QStringLiteral("INSERT INTO \"CJ_Mark\" (\"examId\", \"StudentCode\", \"SubjectCode\", \"score\")"), 4, rows);
    tx.commit();
}

std::vector<double> ExamSchool::storedScores()
{
    std::vector<double> s(kCells, std::numeric_limits<double>::quiet_NaN());
    const wire::DataPacket rows =
        db().select(QStringLiteral("SELECT \"StudentCode\", \"SubjectCode\", \"score\" FROM \"CJ_Mark\" WHERE \"examId\" = ? AND \"score\" IS NOT NULL"),
                    {m_examId}, {{"StudentCode", FieldType::Text, 0, 0}, {"SubjectCode", FieldType::Text, 0, 0}, {"score", FieldType::Float, 0, 0}});
    for (qsizetype r = 0; r < rows.rowCount(); ++r) {
        const int i = studentIndex(rows.column(0).textAt(r));
        const qsizetype j = m_subjects.indexOf(rows.column(1).textAt(r));
        if (i >= 0 && j >= 0) s[std::size_t(i) * kSubjects + std::size_t(j)] = rows.column(2).floatAt(r);
    }
    return s;
}

} // namespace lumeko::bench
