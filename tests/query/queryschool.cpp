#include "queryschool.h"

#include "server/core/auth.h"
#include "server/seed/seed.h"

#include <QJsonDocument>

namespace lumeko::server::testing {

namespace {

const QString kSchoolWide = QString(QChar(0x22A5));

QString hash(const char *password)
{
    return hashPassword(QString::fromUtf8(password), PasswordCost::Minimal);
}

struct ExamRow {
    const char *school, *grade;
    int inYear;
    const char *code, *page, *name;
    QDate day;
    bool published, frozen;
    const char *showType;
};

qint64 addExam(Database &db, const ExamRow &e)
{
    using wire::FieldType;
    const QString page = e.page ? QString::fromLatin1(e.page) : kSchoolWide;
    const qint64 id = db.insertReturningId(
        QStringLiteral("INSERT INTO \"CJ_ExamTotal\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", \"ExamName\", "
                       "\"aExcelMark\", \"aGoodMark\", \"aPassMark\", \"aBadMark\", \"mExcelMark\", \"mGoodMark\", \"mPassMark\", \"mBadMark\", "
                       "\"bExcelMark\", \"bGoodMark\", \"bPassMark\", \"bBadMark\", \"hasMain\", \"hasBase\", \"ModifyRight\", \"dDefDay\", "
                       "\"dLimitDay\", \"Freeze\", \"WXshowed\", \"Classes\", \"markShowType\") "
                       "VALUES (?, ?, ?, ?, ?, ?, 200, 180, 150, 80, 190, 170, 140, 70, 190, 170, 140, 70, ?, ?, 63, ?, ?, ?, ?, 'ALL', ?)"),
        {QString::fromLatin1(e.school), QString::fromLatin1(e.grade), e.inYear, QString::fromLatin1(e.code), page, QString::fromUtf8(e.name),
         db.toDb(true, FieldType::Boolean), db.toDb(true, FieldType::Boolean), db.toDb(e.day, FieldType::Date), db.toDb(e.day.addDays(14), FieldType::Date),
         db.toDb(e.frozen, FieldType::Boolean), db.toDb(e.published, FieldType::Boolean), e.showType ? QVariant(QString::fromLatin1(e.showType)) : QVariant()},
        QStringLiteral("Id"));
    // Chinese and maths out of 120, sports graded A … D (full mark 5).
    const QString subject = QStringLiteral("INSERT INTO \"CJ_ExamSubject\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", "
                                           "\"SubjectCode\", \"FullMark\", \"ExcelMark\", \"GoodMark\", \"PassMark\", \"BadMark\") "
                                           "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    const QVariantList identity{QString::fromLatin1(e.school), QString::fromLatin1(e.grade), e.inYear, QString::fromLatin1(e.code), page};
    db.exec(subject, identity + QVariantList{"001", 120, 96, 84, 72, 36});
    db.exec(subject, identity + QVariantList{"002", 120, 96, 84, 72, 36});
    db.exec(subject, identity + QVariantList{"003", 5, 5, 4, 3, 2});
    return id;
}

struct Sat {
    const char *student, *klass;
    std::optional<double> chinese, maths, sports;
    int chineseRank, mathsRank, sportsRank;
    double full, mainTotal;
    int fullOrder, mainOrder;
};

void addCandidate(Database &db, qint64 exam, const Sat &s)
{
    const QString student = QString::fromLatin1(s.student);
    db.exec(QStringLiteral("INSERT INTO \"CJ_ExamStudent\" (\"examId\", \"StudentCode\", \"ClassCode\", \"FullTotal\", \"MainTotal\", \"BaseTotal\", "
                           "\"FullOrder\", \"MainOrder\", \"BaseOrder\") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"),
            {exam, student, QString::fromLatin1(s.klass), s.full, s.mainTotal, s.mainTotal, s.fullOrder, s.mainOrder, s.mainOrder});
    const QString mark =
        QStringLiteral("INSERT INTO \"CJ_Mark\" (\"examId\", \"StudentCode\", \"SubjectCode\", \"score\", \"gradeOrder\") VALUES (?, ?, ?, ?, ?)");
    if (s.chinese) db.exec(mark, {exam, student, "001", *s.chinese, s.chineseRank});
    if (s.maths) db.exec(mark, {exam, student, "002", *s.maths, s.mathsRank});
    if (s.sports) db.exec(mark, {exam, student, "003", *s.sports, s.sportsRank});
}

} // namespace

QueryExams seedQuerySchool(Database &db)
{
    seedSystemData(db); // the registry lists the page names its levels, letters and steps by
    Transaction tx(db);
    const QString student = QStringLiteral("INSERT INTO \"XJ_Student\" (\"sCode\", \"SchoolCode\", \"GradeCode\", \"InYear\", \"ClassCode\", "
                                           "\"iClassNo\", \"iState\", \"sName\", \"sNO\", \"sPass\") VALUES (?, ?, ?, ?, ?, ?, '00', ?, ?, ?)");
    db.exec(student, {kStudentA, "S1", "1701", 2026, "001", 1, QStringLiteral("王小明"), kNumberA, hash(kPasswordA)});
    db.exec(student, {kStudentB, "S1", "1701", 2026, "001", 2, QStringLiteral("李小红"), kNumberB, hash(kPasswordB)});
    db.exec(student, {kStudentC, "S1", "1701", 2026, "002", 1, QStringLiteral("赵无密"), kNumberC, QVariant()});
    db.exec(student, {kStudentD, "S2", "1701", 2026, "001", 1, QStringLiteral("钱同号"), kNumberA, hash(kPasswordD)});
    db.exec(student, {kStudentE, "S1", "1801", 2025, "001", 1, QStringLiteral("孙学长"), kNumberE, hash(kPasswordE)});

    db.exec(QStringLiteral("INSERT INTO \"XJ_GradeClass\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"ClassCode\", \"AliasName\") VALUES (?, ?, ?, ?, ?)"),
            {"S1", 2026, "1701", "001", QStringLiteral("七(1)班")});
    const QString subject = QStringLiteral("INSERT INTO \"XJ_Subject\" (\"SchoolCode\", \"SubjectCode\", \"SubjectName\") VALUES (?, ?, ?)");
    const QString gradeSubject = QStringLiteral("INSERT INTO \"XJ_GradeSubject\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"SubjectCode\", "
                                                "\"SubjectType\", \"FullMark\") VALUES (?, ?, ?, ?, ?, ?)");
    for (const char *school : {"S1", "S2"}) {
        db.exec(subject, {school, "001", QStringLiteral("语文")});
        db.exec(subject, {school, "002", QStringLiteral("数学")});
        db.exec(subject, {school, "003", QStringLiteral("体育")});
    }
    for (const auto &[school, grade, inYear] : {std::tuple("S1", "1701", 2026), std::tuple("S2", "1701", 2026), std::tuple("S1", "1801", 2025)}) {
        db.exec(gradeSubject, {school, inYear, grade, "001", 0, 120});
        db.exec(gradeSubject, {school, inYear, grade, "002", 0, 120});
        db.exec(gradeSubject, {school, inYear, grade, "003", 2, 5});
    }

    QueryExams x;
    x.midterm = addExam(db, {"S1", "1701", 2026, "001", nullptr, "期中考试", QDate(2026, 11, 12), true, true, "3"});
    x.monthly = addExam(db, {"S1", "1701", 2026, "005", nullptr, "十月月考", QDate(2026, 10, 15), true, false, "0"});
    x.final = addExam(db, {"S1", "1701", 2026, "002", nullptr, "期末考试", QDate(2027, 1, 21), false, false, "3"});
    x.unit = addExam(db, {"S1", "1701", 2026, "005", kTeacherCode, "王老师的单元测验", QDate(2026, 11, 30), true, false, "0"});
    x.forB = addExam(db, {"S1", "1701", 2026, "006", nullptr, "十二月月考", QDate(2026, 12, 17), true, false, "0"});
    x.otherSchool = addExam(db, {"S2", "1701", 2026, "001", nullptr, "二中期中考试", QDate(2026, 11, 13), true, false, "0"});
    x.otherIntake = addExam(db, {"S1", "1801", 2025, "001", nullptr, "八年级期中考试", QDate(2026, 11, 12), true, false, "0"});

    addCandidate(db, x.midterm, {kStudentA, "001", 112.5, 90, 5, 1, 2, 1, 207.5, 202.5, 2, 2});
    addCandidate(db, x.midterm, {kStudentB, "001", 101, 118, 4, 2, 1, 2, 223, 219, 1, 1});
    addCandidate(db, x.midterm, {kStudentC, "002", 60, std::nullopt, 3, 3, 0, 3, 63, 60, 3, 3});
    addCandidate(db, x.monthly, {kStudentA, "001", 88, 77, std::nullopt, 2, 2, 0, 165, 165, 2, 2});
    addCandidate(db, x.monthly, {kStudentB, "001", 95, 80, std::nullopt, 1, 1, 0, 175, 175, 1, 1});
    addCandidate(db, x.final, {kStudentA, "001", 100, 100, 5, 1, 1, 1, 205, 200, 1, 1});
    addCandidate(db, x.final, {kStudentB, "001", 90, 90, 4, 2, 2, 2, 184, 180, 2, 2});
    addCandidate(db, x.unit, {kStudentA, "001", 66, 66, std::nullopt, 1, 1, 0, 132, 132, 1, 1});
    addCandidate(db, x.forB, {kStudentB, "001", 99, 98, std::nullopt, 1, 1, 0, 197, 197, 1, 1});
    addCandidate(db, x.otherSchool, {kStudentD, "001", 70, 71, std::nullopt, 1, 1, 0, 141, 141, 1, 1});
    addCandidate(db, x.otherIntake, {kStudentE, "001", 80, 81, std::nullopt, 1, 1, 0, 161, 161, 1, 1});

    // Letters as the score page's ranking stores them: A in Chinese, B in the whole total.
    const QString item = QStringLiteral("INSERT INTO \"CJ_SubjectItem\" (\"examId\", \"SubjectCode\", \"StudentCode\", \"InYear\", \"gradePercent\") "
                                        "VALUES (?, ?, ?, 2026, ?)");
    db.exec(item, {x.midterm, "001", kStudentA, 5});
    db.exec(item, {x.midterm, "FUL", kStudentA, 4});
    db.exec(item, {x.midterm, "001", kStudentB, 3});
    tx.commit();
    return x;
}

std::string Answer::header(const char *name) const
{
    const auto it = headers.find(name);
    return it == headers.end() ? std::string() : it->second;
}

QueryClient::QueryClient(const QString &host, int port, bool tls)
{
    m_client = std::make_unique<httplib::Client>((tls ? "https://" : "http://") + host.toStdString() + ':' + std::to_string(port));
    if (tls) m_client->enable_server_certificate_verification(false); // the suite's own certificate
    m_client->set_read_timeout(20, 0);
}

Answer QueryClient::keep(const httplib::Result &r)
{
    Answer a;
    if (!r) return a;
    a.status = r->status;
    a.headers = r->headers;
    a.body = r->body;
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(r->body));
    if (doc.isObject()) a.json = doc.object();
    if (r->has_header("Set-Cookie")) {
        lastSetCookie = r->get_header_value("Set-Cookie");
        const std::string pair = lastSetCookie.substr(0, lastSetCookie.find(';'));
        cookie = pair.back() == '=' ? std::string() : pair;
    }
    return a;
}

Answer QueryClient::get(const std::string &path, const httplib::Headers &extra)
{
    httplib::Headers h = extra;
    if (!cookie.empty()) h.emplace("Cookie", cookie);
    return keep(m_client->Get(path.c_str(), h));
}

Answer QueryClient::post(const std::string &path, const std::string &body, const httplib::Headers &extra, const char *contentType)
{
    httplib::Headers h = extra;
    if (!cookie.empty()) h.emplace("Cookie", cookie);
    return keep(m_client->Post(path.c_str(), h, body, contentType));
}

Answer QueryClient::signIn(const QString &number, const QString &password)
{
    const QJsonObject body{{QStringLiteral("sno"), number}, {QStringLiteral("password"), password}};
    return post("/query/api/signin", QJsonDocument(body).toJson(QJsonDocument::Compact).toStdString());
}

QueryServer::QueryServer(Backend backend, HttpServerOptions options, int workerThreads) : fixture(backend)
{
    exams = seedQuerySchool(fixture.db());
    m_page = std::make_unique<QueryPage>(fixture.service());
    options.workerThreads = workerThreads;
    m_http = std::make_unique<HttpServer>(fixture.service(), options);
    m_http->addWebHandler(QStringLiteral("/query"), *m_page);
    QString why;
    if (!m_http->listen(&why)) ADD_FAILURE() << why.toStdString();
}

QueryServer::~QueryServer()
{
    m_http->stop();
}

std::map<QString, QJsonObject> linesByName(const Answer &report)
{
    std::map<QString, QJsonObject> out;
    for (const char *part : {"subjects", "totals"})
        for (const QJsonValue &v : report.json.value(QString::fromLatin1(part)).toArray())
            out[v.toObject().value(QStringLiteral("name")).toString()] = v.toObject();
    return out;
}

} // namespace lumeko::server::testing
