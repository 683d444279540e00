// The lumeko-server program: killed outright again and again while teachers save scores, on SQLite
// and PostgreSQL, every score it had acknowledged is there after a restart, with its history, and
// the database is intact; a backup taken while teachers save restores into a working database with
// the scores of its moment; init, backup, restore and their refusals; serving HTTPS with a
// school's own certificates, and the refusal of files that are none; serving teachers while other
// clients trickle, idle, send oversized bodies and guess passwords at once.

#include "fixtureschool.h"
#include "serverprocess.h"
#include "tests/http/rawclient.h"

#include "link/clientsession.h"
#include "link/httplink.h"
#include "server/core/auth.h"
#include "server/storage/migrations.h"
#include "server/storage/schema.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <iostream>
#include <mutex>
#include <random>
#include <thread>

using namespace lumeko;
using namespace lumeko::server;
using namespace lumeko::link;
using namespace lumeko::server::testing;

namespace {

struct ToolRun {
    int exitCode = -1;
    QString out, err;
};

ToolRun runServerTool(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral(LUMEKO_SERVER_BIN), args);
    p.waitForFinished(120'000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

// ---- an exam's sheet saved by teachers' computers over HTTP ----------------------------------------

const QString kNoPage = QStringLiteral("⊥");
const QStringList kSubjects = {QStringLiteral("001"), QStringLiteral("002"), QStringLiteral("003")};
constexpr double kFullMark = 150;

QString candidate(int i)
{
    return QStringLiteral("{S%1}").arg(i, 3, 10, QLatin1Char('0'));
}
QString cellKey(const QString &student, const QString &subject)
{
    return student + u'|' + subject;
}

// The fixture school's mid-term of grade 1701 (2026): three subjects of full mark 150 and the given
// number of candidates in two classes, no score yet; and the clerks who enter its scores, each
// signing in as himself ("clerk0" … with the password "lumeko"), unrestricted like the
// administrator.
void seedExam(Database &db, int students)
{
    Transaction tx(db);
    const QString hash = hashPassword(QStringLiteral("lumeko"), PasswordCost::Minimal);
    for (int i = 0; i < 8; ++i)
        db.exec("INSERT INTO \"JC_Teacher\" (\"sCode\", \"SchoolCode\", \"sName\", \"sLoginName\", \"sPass\", \"sRole\", \"iState\", \"iUserType\", "
                "\"bViewAllGrade\", \"bViewAllClass\") VALUES (?, 'S1', ?, ?, ?, '1', 0, 1, ?, ?)",
                {QStringLiteral("{00000000-0000-0000-0000-0000000000C%1}").arg(i), QStringLiteral("录分员%1").arg(i), QStringLiteral("clerk%1").arg(i), hash,
                 db.toDb(true, wire::FieldType::Boolean), db.toDb(true, wire::FieldType::Boolean)});
    const QString subject = "INSERT INTO \"XJ_Subject\" (\"SchoolCode\", \"SubjectCode\", \"SubjectName\") VALUES ('S1', ?, ?)";
    const QString gradeSubject = "INSERT INTO \"XJ_GradeSubject\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"SubjectCode\", \"SubjectType\", \"FullMark\") "
                                 "VALUES ('S1', 2026, '1701', ?, ?, ?)";
    const QString examSubject =
        "INSERT INTO \"CJ_ExamSubject\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", \"SubjectCode\", "
        "\"Per\", \"FullMark\", \"ExcelMark\", \"GoodMark\", \"PassMark\", \"BadMark\") VALUES ('S1', '1701', 2026, '001', ?, ?, 1, ?, 135, 120, 90, 45)";
    const QStringList names = {QStringLiteral("语文"), QStringLiteral("数学"), QStringLiteral("英语")};
    for (int j = 0; j < kSubjects.size(); ++j) {
        db.exec(subject, {kSubjects[j], names[j]});
        db.exec(gradeSubject, {kSubjects[j], j == 2 ? 1 : 0, kFullMark});
        db.exec(examSubject, {kNoPage, kSubjects[j], kFullMark});
    }
    const qint64 exam = db.insertReturningId(
        "INSERT INTO \"CJ_ExamTotal\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", \"ExamName\", \"aFullMark\", \"hasMain\", "
        "\"hasBase\", \"ModifyRight\", \"dDefDay\", \"Freeze\") VALUES ('S1', '1701', 2026, '001', ?, ?, 450, ?, ?, 63, ?, ?)",
        {kNoPage, QStringLiteral("期中考试"), db.toDb(true, wire::FieldType::Boolean), db.toDb(true, wire::FieldType::Boolean),
         db.toDb(QDate(2026, 11, 20), wire::FieldType::Date), db.toDb(false, wire::FieldType::Boolean)},
        "Id");
    const QString student = "INSERT INTO \"XJ_Student\" (\"sCode\", \"SchoolCode\", \"GradeCode\", \"InYear\", \"ClassCode\", \"iClassNo\", \"sName\", "
                            "\"iState\") VALUES (?, 'S1', '1701', 2026, ?, ?, ?, '00')";
    for (int i = 0; i < students; ++i) {
        const QString klass = i % 2 == 0 ? QStringLiteral("001") : QStringLiteral("002");
        db.exec(student, {candidate(i), klass, i / 2 + 1, QStringLiteral("学生%1").arg(i)});
        db.exec("INSERT INTO \"CJ_ExamStudent\" (\"examId\", \"StudentCode\", \"ClassCode\") VALUES (?, ?, ?)", {exam, candidate(i), klass});
    }
    tx.commit();
}

// The sheet as QMark gives it: the shown rows and the upload image UpMark takes back.
struct Sheet {
    wire::DataPacket data, upload;
};
std::optional<Sheet> readSheet(ClientSession &s, wire::Reply *failure = nullptr)
{
    const wire::Reply r = s.call(
        "AchieveQry", "QMark", {txt("S1"), txt("1701"), txt("001"), ref(kNoPage), ref(QString()), ref(kSubjects.join(u';')), ref(qint64(2026)), ref(), ref()});
    const wire::Value shown = r.refs.value(7), image = r.refs.value(8);
    const auto *data = std::get_if<wire::DataPacket>(&shown);
    const auto *upload = std::get_if<wire::DataPacket>(&image);
    if (!r.ok() || !data || !upload) {
        if (failure) *failure = r;
        return std::nullopt;
    }
    return Sheet{*data, *upload};
}

// A failure of the connection, not an answer of the server: whether the call was carried out is
// unknown.
bool connectionLost(const wire::Reply &r)
{
    return r.error == wire::ErrorCode::Timeout || (r.error == wire::ErrorCode::Internal && r.message.contains(QStringLiteral("the server at")));
}

struct ScoreChange {
    QString student, subject;
    QVariant before, after; // null: no score
};

// One teacher's computer saving its own candidates' scores through UpMark, one to three cells a
// save, again and again, across server restarts: after a lost connection it reloads the sheet,
// signing in again when its session is gone. It remembers per cell the last score the server
// acknowledged and the scores sent since whose fate it never learnt; each score it sends a cell
// is new to that cell, so that a stored value tells which save it came from.
class SheetWriter {
public:
    struct CellFate {
        QVariant acknowledged; // the cell starts empty
        QList<QVariant> inDoubt;
    };

    SheetWriter(int port, int index, QStringList students) : m_port(port), m_index(index), m_students(std::move(students)), m_random(quint32(index) * 7919u + 1)
    {
        for (const QString &s : m_students)
            for (const QString &j : kSubjects)
                cells.insert(cellKey(s, j), {});
    }

    void run(const std::atomic<bool> &stop, std::atomic<int> &acknowledgedSaves)
    {
        HttpLinkOptions o;
        o.port = m_port;
        o.readTimeout = std::chrono::seconds(10);
        o.connectTimeout = std::chrono::seconds(2);
        HttpLink link(o);
        std::optional<ClientSession> session;
        const QString computer = QStringLiteral("PC-%1").arg(m_index);
        while (!stop) {
            if (!session) {
                session.emplace(link);
                if (!session->signIn(QStringLiteral("clerk%1").arg(m_index), "lumeko", computer).ok()) {
                    session.reset();
                    QThread::msleep(10);
                    continue;
                }
            }
            wire::Reply failed;
            std::optional<Sheet> sheet = readSheet(*session, &failed);
            if (!sheet) {
                if (!connectionLost(failed)) session.reset(); // signed out by the server: sign in again
                QThread::msleep(10);
                continue;
            }
            while (!stop && saveOnce(*session, *sheet, acknowledgedSaves)) {
            }
        }
    }

    QHash<QString, CellFate> cells;         // by cellKey
    QList<ScoreChange> acknowledgedChanges; // in the order the server acknowledged them
    std::atomic<int> acknowledged{0};
    int saves = 0, unanswered = 0, conflicts = 0;
    QStringList serverFailures; // answers that refused a save for any reason but a conflict

private:
    // Sends one save; false when the sheet must be read again.
    bool saveOnce(ClientSession &s, Sheet &sheet, std::atomic<int> &acknowledgedSaves)
    {
        const int studentField = sheet.upload.fieldIndex(u"StudentCode");
        QHash<QString, qsizetype> rowOf;
        for (qsizetype r = 0; r < sheet.upload.rowCount(); ++r)
            rowOf.insert(sheet.upload.value(r, studentField).toString(), r);

        // One to three of this computer's cells, each given a score it never had.
        QStringList keys = cells.keys();
        keys.sort();
        std::shuffle(keys.begin(), keys.end(), m_random);
        keys = keys.mid(0, 1 + int(m_random() % 3));
        QList<ScoreChange> changes;
        QHash<QString, wire::RowChange> rows;
        for (const QString &key : keys) {
            const QString student = key.section(u'|', 0, 0), subject = key.section(u'|', 1, 1);
            const qsizetype row = rowOf.value(student, -1);
            if (row < 0) {
                serverFailures << QStringLiteral("the sheet lacks the candidate %1").arg(student);
                return false;
            }
            const int field = sheet.upload.fieldIndex(QStringLiteral("C_") + subject);
            const QVariant before = sheet.upload.value(row, field);
            QVariant after;
            if (before.isNull() || m_random() % 8 != 0) {
                const int step = ++m_steps[key];
                EXPECT_LE(step * 0.25, kFullMark) << "more saves of one cell than it has scores";
                after = step * 0.25;
            }
            changes.append({student, subject, before, after});
            if (!rows.contains(student)) {
                const QVariantList image = sheet.upload.row(row);
                rows.insert(student, {wire::RowStatus::Modified, image, image});
            }
            rows[student].newValues[field] = after;
        }
        const wire::Reply r = s.call("AchieveUp", "UpMark", {val(wire::ChangePacket{sheet.upload.fields(), rows.values()}), val(qint64(-1)), ref(qint64(0))});
        ++saves;
        if (!r.ok()) {
            if (connectionLost(r))
                ++unanswered;
            else
                serverFailures << r.message;
            for (const ScoreChange &c : changes)
                cells[cellKey(c.student, c.subject)].inDoubt.append(c.after);
            return false;
        }
        if (r.refs.value(2) != wire::Value(qint64(0))) {
            // An earlier save whose answer never came was stored after all; nothing of this one is.
            ++conflicts;
            if (!r.message.contains(QStringLiteral("已被他人改为"))) serverFailures << r.message;
            return false;
        }
        ++acknowledged;
        ++acknowledgedSaves;
        for (const ScoreChange &c : changes) {
            CellFate &fate = cells[cellKey(c.student, c.subject)];
            fate.acknowledged = c.after;
            fate.inDoubt.clear();
            acknowledgedChanges.append(c);
        }
        // The sheet now holds what was saved, as the page's image does after an acknowledged save.
        wire::DataPacket upload(sheet.upload.fields());
        for (qsizetype row = 0; row < sheet.upload.rowCount(); ++row) {
            const QString student = sheet.upload.value(row, studentField).toString();
            upload.appendRow(rows.contains(student) ? rows[student].newValues : sheet.upload.row(row));
        }
        sheet.upload = upload;
        return true;
    }

    int m_port, m_index;
    QStringList m_students;
    std::minstd_rand m_random;
    QHash<QString, int> m_steps;
};

// Several writers on their own threads, each with its own candidates, until they are told to stop.
class Writers {
public:
    Writers(int port, int writers, int studentsEach)
    {
        for (int w = 0; w < writers; ++w) {
            QStringList mine;
            for (int i = 0; i < studentsEach; ++i)
                mine << candidate(w * studentsEach + i);
            m_writers.push_back(std::make_unique<SheetWriter>(port, w, mine));
        }
        for (auto &w : m_writers)
            m_threads.emplace_back([this, writer = w.get()] { writer->run(m_stop, m_acknowledged); });
    }
    ~Writers() { stop(); }
    void stop()
    {
        m_stop = true;
        for (std::thread &t : m_threads)
            if (t.joinable()) t.join();
    }
    int acknowledged() const { return m_acknowledged; }
    // Waits until the writers have had this many saves acknowledged in all, and each of them at
    // least `each`; false after the time.
    bool waitFor(int saves, int milliseconds, int each = 0)
    {
        const auto done = [&] {
            return m_acknowledged >= saves && std::all_of(m_writers.cbegin(), m_writers.cend(), [&](const auto &w) { return w->acknowledged >= each; });
        };
        QElapsedTimer clock;
        clock.start();
        while (!done() && clock.elapsed() < milliseconds)
            QThread::msleep(5);
        return done();
    }
    const std::vector<std::unique_ptr<SheetWriter>> &all() const { return m_writers; }

private:
    std::vector<std::unique_ptr<SheetWriter>> m_writers;
    std::vector<std::thread> m_threads;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_acknowledged{0};
};

// What the database holds of the exam's scores: each cell's score and grade rank, the candidates,
// every save and every history line in the order of the saves.
struct StoredScores {
    struct Line {
        qint64 save;
        QString cell;
        QVariant before, after;
        bool operator==(const Line &) const = default;
    };
    QHash<QString, double> scores; // by cellKey
    QHash<QString, int> gradeRanks;
    QStringList candidates;
    QList<qint64> saves;
    QList<Line> history;
};

StoredScores readScores(Database &db)
{
    using wire::FieldType;
    StoredScores s;
    const wire::DataPacket marks = db.select("SELECT \"StudentCode\", \"SubjectCode\", \"score\", \"gradeOrder\" FROM \"CJ_Mark\"", {},
                                             {{"StudentCode", FieldType::Text, 0, 0},
                                              {"SubjectCode", FieldType::Text, 0, 0},
                                              {"score", FieldType::Float, 0, 0},
                                              {"gradeOrder", FieldType::Integer, 0, 0}});
    for (qsizetype r = 0; r < marks.rowCount(); ++r) {
        const QString key = cellKey(marks.value(r, 0).toString(), marks.value(r, 1).toString());
        s.scores.insert(key, marks.value(r, 2).toDouble());
        s.gradeRanks.insert(key, marks.value(r, 3).isNull() ? 0 : marks.value(r, 3).toInt());
    }
    const wire::DataPacket candidates =
        db.select("SELECT \"StudentCode\" FROM \"CJ_ExamStudent\" ORDER BY \"StudentCode\"", {}, {{"StudentCode", FieldType::Text, 0, 0}});
    for (qsizetype r = 0; r < candidates.rowCount(); ++r)
        s.candidates << candidates.value(r, 0).toString();
    const wire::DataPacket saves = db.select("SELECT \"Id\" FROM \"CJ_MarkSave\" ORDER BY \"Id\"", {}, {{"Id", FieldType::Integer, 0, 0}});
    for (qsizetype r = 0; r < saves.rowCount(); ++r)
        s.saves << saves.value(r, 0).toLongLong();
    const wire::DataPacket lines = db.select(
        "SELECT \"saveId\", \"StudentCode\", \"SubjectCode\", \"OldScore\", \"NewScore\" FROM \"CJ_MarkLog\" ORDER BY \"saveId\", \"StudentCode\", \"SubjectCode\"",
        {},
        {{"saveId", FieldType::Integer, 0, 0},
         {"StudentCode", FieldType::Text, 0, 0},
         {"SubjectCode", FieldType::Text, 0, 0},
         {"OldScore", FieldType::Float, 0, 0},
         {"NewScore", FieldType::Float, 0, 0}});
    for (qsizetype r = 0; r < lines.rowCount(); ++r)
        s.history.append(
            {lines.value(r, 0).toLongLong(), cellKey(lines.value(r, 1).toString(), lines.value(r, 2).toString()), lines.value(r, 3), lines.value(r, 4)});
    return s;
}

bool sameScore(const QVariant &a, const QVariant &b)
{
    return a.isNull() || b.isNull() ? a.isNull() == b.isNull() : a.toDouble() == b.toDouble();
}
QVariant scoreOf(const StoredScores &s, const QString &key)
{
    return s.scores.contains(key) ? QVariant(s.scores.value(key)) : QVariant();
}
QString scoreText(const QVariant &v)
{
    return v.isNull() ? QStringLiteral("empty") : QString::number(v.toDouble());
}

// Where the history and the scores disagree: per cell, the lines in the order of the saves must
// go from no score to the stored one, each starting where the one before it ended; and every save
// has lines (a save is stored whole).
QStringList historyMismatches(const StoredScores &s)
{
    QStringList problems;
    QHash<QString, QVariant> last; // the cell's score after its latest line
    QSet<qint64> saved;
    for (const StoredScores::Line &line : s.history) {
        const QVariant before = last.contains(line.cell) ? last.value(line.cell) : QVariant();
        if (!sameScore(before, line.before))
            problems << QStringLiteral("%1: the line of save %2 starts at %3, the line before it ended at %4")
                            .arg(line.cell)
                            .arg(line.save)
                            .arg(scoreText(line.before), scoreText(before));
        last.insert(line.cell, line.after);
        saved.insert(line.save);
    }
    QSet<QString> cells(s.scores.keyBegin(), s.scores.keyEnd());
    for (auto it = last.cbegin(); it != last.cend(); ++it)
        cells.insert(it.key());
    for (const QString &cell : cells)
        if (!sameScore(last.value(cell), scoreOf(s, cell)))
            problems << QStringLiteral("%1: stored %2, its latest history line %3").arg(cell, scoreText(scoreOf(s, cell)), scoreText(last.value(cell)));
    for (qint64 save : s.saves)
        if (!saved.contains(save)) problems << QStringLiteral("save %1 has no history line").arg(save);
    return problems;
}

// Where a stored grade rank is not the cell's competition rank among the subject's scores (one
// more than the number of higher scores), counted the slow way.
QStringList rankMismatches(const StoredScores &s)
{
    QStringList problems;
    for (auto it = s.scores.cbegin(); it != s.scores.cend(); ++it) {
        const QString subject = it.key().section(u'|', 1, 1);
        int higher = 0;
        for (auto other = s.scores.cbegin(); other != s.scores.cend(); ++other)
            higher += other.key().section(u'|', 1, 1) == subject && other.value() > it.value() ? 1 : 0;
        if (s.gradeRanks.value(it.key()) != higher + 1)
            problems << QStringLiteral("%1: rank %2 stored, %3 by its score").arg(it.key()).arg(s.gradeRanks.value(it.key())).arg(higher + 1);
    }
    return problems;
}

// PostgreSQL's amcheck over every B-tree index of the database (each index entry against its
// table, every table row found in its indexes) and every table's heap. Creating the extension
// needs a superuser; a test role that is none has the checks run by the postgres account through
// runuser (this machine's tests run as root). Answers the problems found, or sets *skipped to the
// reason the checks could not run.
QStringList amcheckProblems(const DatabaseUrl &url, int *indexesChecked, QString *skipped)
{
    const QString indexes =
        QStringLiteral("SELECT count(bt_index_check(c.oid, true)) FROM pg_index i JOIN pg_class c ON c.oid = i.indexrelid JOIN pg_am a ON a.oid = c.relam "
                       "JOIN pg_namespace n ON n.oid = c.relnamespace WHERE a.amname = 'btree' AND n.nspname = 'public'");
    const QString heaps = QStringLiteral("SELECT c.relname || ': ' || v.msg FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace, "
                                         "LATERAL verify_heapam(c.oid) v WHERE c.relkind = 'r' AND n.nspname = 'public'");
    try {
        Database db(url);
        db.exec(QStringLiteral("CREATE EXTENSION IF NOT EXISTS amcheck"));
        *indexesChecked = db.scalar(indexes).toInt();
        const wire::DataPacket found = db.select(heaps, {}, {{"problem", wire::FieldType::Text, 0, 0}});
        QStringList problems;
        for (qsizetype r = 0; r < found.rowCount(); ++r)
            problems << found.value(r, 0).toString();
        return problems;
    } catch (const StorageError &) {
        // Not a superuser: the postgres account runs them.
    }
    QStringList args = {"-u", "postgres", "--", "psql", "-X", "-q", "-t", "-A", "-v", "ON_ERROR_STOP=1", "-d", url.database};
    if (!url.host.isEmpty()) args << "-h" << url.host;
    if (url.port) args << "-p" << QString::number(url.port);
    QProcess probe;
    probe.start(QStringLiteral("runuser"), args + QStringList{"-c", "SELECT 1"});
    if (!probe.waitForFinished(30'000) || probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0) {
        *skipped = QStringLiteral("the test role may not create the amcheck extension and psql cannot be run as postgres (%1)")
                       .arg(QString::fromLocal8Bit(probe.readAllStandardError()).trimmed() + probe.errorString());
        return {};
    }
    QProcess check;
    check.start(QStringLiteral("runuser"), args + QStringList{"-c", "CREATE EXTENSION IF NOT EXISTS amcheck", "-c", indexes, "-c", heaps});
    if (!check.waitForFinished(120'000) || check.exitStatus() != QProcess::NormalExit || check.exitCode() != 0)
        return {QStringLiteral("amcheck failed: ") + QString::fromLocal8Bit(check.readAllStandardError()).trimmed()};
    QStringList out = QString::fromUtf8(check.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    if (out.isEmpty()) return {QStringLiteral("amcheck answered nothing")};
    *indexesChecked = out.takeFirst().toInt();
    return out;
}

// The schema, the fixture school and its exam in a new database.
void makeSchool(const DatabaseUrl &url, int students)
{
    Database db(url);
    migrate(db);
    seedFixtureSchool(db);
    seedExam(db, students);
}

TEST(ServerUnderAbuse, TricklingIdleOversizedAndGuessingClientsLeaveTheSchoolServed)
{
    using lumeko::testing::RawClient;
    using namespace std::chrono_literals;
    QTemporaryDir dir;
    DatabaseUrl url;
    url.backend = Backend::Sqlite;
    url.path = dir.filePath("school.db");
    {
        Database db(url);
        migrate(db);
        seedFixtureSchool(db);
    }
    ServerProcess server(url, dir.filePath("files"));
    ASSERT_TRUE(server.waitUntilServing()) << "lumeko-server did not start";

    // 64 clients on eight addresses send their headers a byte every 200 ms (a request takes them
    // two minutes), and 300 on another ten connect and send nothing.
    const std::string header = "POST /call HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Padding: " + std::string(600, 'p') + "\r\nContent-Length: 10\r\n\r\n";
    std::vector<std::unique_ptr<RawClient>> slow, idle;
    for (int i = 0; i < 64; ++i)
        slow.push_back(std::make_unique<RawClient>(server.port(), QStringLiteral("127.0.1.%1").arg(i % 8 + 1).toLatin1().constData()));
    for (int i = 0; i < 300; ++i)
        idle.push_back(std::make_unique<RawClient>(server.port(), QStringLiteral("127.0.2.%1").arg(i % 10 + 1).toLatin1().constData()));
    std::vector<size_t> sent(slow.size(), 0);
    std::vector<bool> cutOff(slow.size(), false);
    struct Trickle {
        std::atomic<bool> stop{false};
        std::thread thread;
        ~Trickle()
        {
            stop = true;
            if (thread.joinable()) thread.join();
        }
    } trickle;
    trickle.thread = std::thread([&] {
        while (!trickle.stop) {
            for (size_t i = 0; i < slow.size(); ++i) {
                if (cutOff[i]) continue;
                if (!slow[i]->send(header.substr(sent[i], 1)) || slow[i]->closedByServer())
                    cutOff[i] = true;
                else
                    ++sent[i];
            }
            std::this_thread::sleep_for(200ms);
        }
    });

    // A teacher signs in and works meanwhile.
    {
        HttpLink link(server.link());
        ClientSession session(link);
        const wire::Reply in = session.signIn("wang", "pw6", "PC-1");
        ASSERT_TRUE(in.ok()) << in.message.toStdString();
        const wire::Reply date = session.call("SysQry", "DBDate", {});
        EXPECT_TRUE(date.ok()) << date.message.toStdString();
    }

    // A body announced at 200 MB (the server takes 64 MB at most) is refused before a byte of it
    // is sent.
    {
        RawClient big(server.port());
        ASSERT_TRUE(big.send("POST /call HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/cbor\r\nContent-Length: 209715200\r\n\r\n"));
        const std::string got = big.readUntilClosed(30s);
        EXPECT_EQ(lumeko::testing::statusLine(got).substr(0, 12), "HTTP/1.1 413") << got.substr(0, 100);
        EXPECT_EQ(lumeko::testing::replyIn(got).error, wire::ErrorCode::TooLarge);
    }

    // 48 wrong passwords for the administrator from this address at once: five are checked, the
    // rest refused unchecked.
    std::mutex mutex;
    QStringList answers;
    std::vector<std::thread> guessers;
    for (int i = 0; i < 48; ++i) {
        guessers.emplace_back([&, i] {
            HttpLink link(server.link());
            wire::Call signIn{"Session", "SignIn", {}, {val(QStringLiteral("admin")), val(QStringLiteral("guess-%1").arg(i)), txt("PC")}};
            const wire::Reply r = link.call(signIn);
            std::lock_guard lock(mutex);
            answers << r.message;
        });
    }
    for (std::thread &t : guessers)
        t.join();
    EXPECT_EQ(answers.count("the login or the password is wrong"), 5) << answers.join(u'\n').toStdString();
    EXPECT_EQ(answers.filter("too many failed sign-ins; try again in").size(), 43);
    // The administrator at another computer signs in; from the guessing address he waits.
    {
        RawClient elsewhere(server.port(), "127.0.0.2");
        wire::Call signIn{"Session", "SignIn", {}, {txt("admin"), txt("lumeko"), txt("PC-2")}};
        ASSERT_TRUE(elsewhere.send(lumeko::testing::callRequest(wire::encodeCall(signIn).toStdString())));
        const wire::Reply r = lumeko::testing::replyIn(elsewhere.readAnswer(30s));
        EXPECT_TRUE(r.ok()) << r.message.toStdString();
        EXPECT_EQ(std::get<QString>(r.result).size(), 64) << "a session token";
        HttpLink link(server.link());
        EXPECT_TRUE(ClientSession(link).signIn("admin", "lumeko", "PC-1").message.contains("too many failed sign-ins"));
    }

    // Every trickling client is cut off long before its request could be whole, and every idle
    // connection is closed.
    for (auto &c : slow) {
        bool closed = false;
        c->readUntilClosed(60s, &closed);
        EXPECT_TRUE(closed);
    }
    for (auto &c : idle) {
        bool closed = false;
        c->readUntilClosed(60s, &closed);
        EXPECT_TRUE(closed);
    }
    trickle.stop = true;
    trickle.thread.join();
    for (size_t n : sent)
        EXPECT_LT(n, header.size());
}

class OnBothBackends : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override { LUMEKO_REQUIRE_BACKEND(GetParam()); }
    std::string backend() const { return backendName(GetParam()).toStdString(); }
};
class KilledServer : public OnBothBackends {};
class LiveBackup : public OnBothBackends {};
class RestoreTool : public OnBothBackends {};

QMap<QString, qint64> tableCounts(Database &db)
{
    QMap<QString, qint64> counts;
    for (const TableDef &t : schemaTables())
        counts.insert(t.name, db.scalar(QStringLiteral("SELECT count(*) FROM ") + Database::quoted(t.name)).toLongLong());
    return counts;
}

// The server killed outright (SIGKILL) at moments drawn from a seeded generator while eight
// teachers' computers save scores through the real save method, and started again on its port,
// until the teachers have had 1,000 saves acknowledged. Every cell then holds the last score the
// server acknowledged for it, or a score sent after that whose answer the kill swallowed; the
// history goes from nothing to each stored score and has a line for every acknowledged change;
// the database is intact.
TEST_P(KilledServer, EveryAcknowledgedScoreSurvivesKillsMidSaveWithItsHistory)
{
    constexpr int kWriters = 8, kStudentsEach = 2, kWanted = 1000;
    constexpr quint32 kSeed = 20261207;
    ScratchDatabase scratch(GetParam(), QStringLiteral("killed"));
    makeSchool(scratch.url(), kWriters * kStudentsEach);
    QTemporaryDir files;
    ServerProcess server(scratch.url(), files.path(), {}, ServerProcess::AccessLog::Quiet);

    std::mt19937 random(kSeed);
    // Milliseconds of saving before each kill: a few dozen saves on either back end (a save takes
    // several times longer on PostgreSQL than on SQLite here).
    std::uniform_int_distribution<int> serving(GetParam() == Backend::Sqlite ? 2 : 10, GetParam() == Backend::Sqlite ? 40 : 150);
    int kills = 0;
    QElapsedTimer clock;
    clock.start();
    // The writers reach each restarted server on the port of the killed one.
    Writers writers(server.port(), kWriters, kStudentsEach);
    while (writers.acknowledged() < kWanted && clock.elapsed() < 45'000) {
        if (kills > 0) server.restart();
        // The moment is counted from the first save this server acknowledges, so that it falls
        // while the teachers save rather than while the server starts.
        ASSERT_TRUE(writers.waitFor(writers.acknowledged() + 1, 20'000)) << "no save was acknowledged by the server started after " << kills << " kills";
        QThread::msleep(serving(random));
        server.killHard();
        ++kills;
    }
    writers.stop();
    ASSERT_GE(writers.acknowledged(), kWanted) << "saves acknowledged in " << clock.elapsed() << " ms with " << kills << " kills";

    // A new server process recovers the database and serves the sheet as stored.
    server.restart();
    ASSERT_TRUE(server.waitUntilServing()) << server.lastRefusal();
    Database db(scratch.url());
    const StoredScores stored = readScores(db);
    {
        HttpLink link(server.link());
        ClientSession s(link);
        ASSERT_TRUE(s.signIn("admin", "lumeko", "PC-check").ok());
        const std::optional<Sheet> sheet = readSheet(s);
        ASSERT_TRUE(sheet);
        ASSERT_EQ(sheet->data.rowCount(), kWriters * kStudentsEach);
        for (qsizetype r = 0; r < sheet->data.rowCount(); ++r)
            for (const QString &subject : kSubjects) {
                const QString key = cellKey(sheet->data.value(r, sheet->data.fieldIndex(u"sCode")).toString(), subject);
                EXPECT_TRUE(sameScore(sheet->data.value(r, sheet->data.fieldIndex(QStringLiteral("C_") + subject)), scoreOf(stored, key))) << key.toStdString();
            }
    }

    int missing = 0, landed = 0, acknowledged = 0, sent = 0, unanswered = 0, unlogged = 0;
    QSet<QString> logged;
    for (const StoredScores::Line &line : stored.history)
        logged.insert(line.cell + u' ' + scoreText(line.before) + u' ' + scoreText(line.after));
    for (const auto &w : writers.all()) {
        acknowledged += w->acknowledged;
        sent += w->saves;
        unanswered += w->unanswered;
        EXPECT_TRUE(w->serverFailures.isEmpty()) << w->serverFailures.join(u'\n').toStdString();
        for (auto it = w->cells.cbegin(); it != w->cells.cend(); ++it) {
            const QVariant now = scoreOf(stored, it.key());
            if (sameScore(now, it->acknowledged)) continue;
            if (std::any_of(it->inDoubt.cbegin(), it->inDoubt.cend(), [&](const QVariant &v) { return sameScore(v, now); })) {
                ++landed; // sent after the last acknowledged score, stored just before a kill
                continue;
            }
            ++missing;
            ADD_FAILURE() << it.key().toStdString() << ": acknowledged " << scoreText(it->acknowledged).toStdString() << ", stored "
                          << scoreText(now).toStdString();
        }
        for (const ScoreChange &c : w->acknowledgedChanges) {
            if (logged.contains(cellKey(c.student, c.subject) + u' ' + scoreText(c.before) + u' ' + scoreText(c.after))) continue;
            ++unlogged;
            ADD_FAILURE() << "no history line for the acknowledged change of " << cellKey(c.student, c.subject).toStdString() << " from "
                          << scoreText(c.before).toStdString() << " to " << scoreText(c.after).toStdString();
        }
    }
    const QStringList mismatches = historyMismatches(stored);
    EXPECT_TRUE(mismatches.isEmpty()) << mismatches.join(u'\n').toStdString();
    EXPECT_TRUE(rankMismatches(stored).isEmpty()) << rankMismatches(stored).join(u'\n').toStdString();

    QString integrity;
    if (GetParam() == Backend::Sqlite) {
        integrity = db.scalar("PRAGMA integrity_check").toString();
        EXPECT_EQ(integrity, "ok");
        EXPECT_EQ(db.scalar("SELECT count(*) FROM pragma_foreign_key_check").toLongLong(), 0) << "rows whose references lead nowhere";
    } else {
        int indexes = 0;
        QString skipped;
        const QStringList corrupt = amcheckProblems(scratch.url(), &indexes, &skipped);
        EXPECT_TRUE(corrupt.isEmpty()) << corrupt.join(u'\n').toStdString();
        if (!skipped.isEmpty())
            std::cout << "[" << backend() << "] amcheck skipped: " << skipped.toStdString() << "\n";
        else
            EXPECT_GT(indexes, 40) << "every table has its key's index";
        integrity =
            skipped.isEmpty() ? QStringLiteral("amcheck:%1-indexes-%2").arg(indexes).arg(corrupt.isEmpty() ? "ok" : "CORRUPT") : QStringLiteral("skipped");
    }
    std::cout << "[" << backend() << "] kills=" << kills << " acknowledged=" << acknowledged << " sent=" << sent << " unanswered=" << unanswered
              << " in_doubt_landed=" << landed << " missing=" << missing << " history_mismatches=" << mismatches.size() + unlogged
              << " (unlogged acknowledged changes " << unlogged << ") integrity=" << integrity.toStdString() << " seed=" << kSeed << " in "
              << clock.elapsed() / 1000.0 << " s\n";
    EXPECT_EQ(missing, 0);
    EXPECT_GE(kills, 10) << "the server was killed again and again";
}

// A backup taken with lumeko-server backup while four teachers' computers keep saving scores is
// one moment of the school: restored into a new database, it holds every save up to one of them
// and no other, each cell's score is what the history says it was then, the grade ranks fit the
// scores, every other table has the rows it had; and a server on it serves, saves and totals.
TEST_P(LiveBackup, RestoresIntoAWorkingDatabaseWithTheScoresOfItsMoment)
{
    constexpr int kWriters = 4, kStudentsEach = 3, kStudents = kWriters * kStudentsEach;
    const bool sqlite = GetParam() == Backend::Sqlite;
    ScratchDatabase source(GetParam(), QStringLiteral("live")), target(GetParam(), QStringLiteral("restored"));
    makeSchool(source.url(), kStudents);
    QTemporaryDir dir;
    const QString backupFile = dir.filePath(sqlite ? "school-backup.db" : "school.backup");
    QMap<QString, qint64> countsBefore;
    int duringBackup = 0;
    {
        ServerProcess server(source.url(), dir.filePath("files"), {}, ServerProcess::AccessLog::Quiet);
        ASSERT_TRUE(server.waitUntilServing());
        Writers writers(server.port(), kWriters, kStudentsEach);
        ASSERT_TRUE(writers.waitFor(150, 30'000, 1)) << "every writer has signed in and saved";
        {
            Database db(source.url());
            countsBefore = tableCounts(db);
        }
        const int atStart = writers.acknowledged();
        const ToolRun backup = runServerTool({"backup", "--db", source.url().toString(true), "--to", backupFile});
        duringBackup = writers.acknowledged() - atStart;
        ASSERT_EQ(backup.exitCode, 0) << backup.err.toStdString();
        ASSERT_TRUE(writers.waitFor(writers.acknowledged() + 100, 30'000));
        writers.stop();
        EXPECT_EQ(server.stop(), 0);
        for (const auto &w : writers.all()) {
            EXPECT_TRUE(w->serverFailures.isEmpty()) << w->serverFailures.join(u'\n').toStdString();
            EXPECT_EQ(w->unanswered, 0) << "no save goes unanswered by a server left running";
        }
    }
    EXPECT_GT(duringBackup, 0) << "the teachers saved while the backup was taken";

    const ToolRun restore = runServerTool({"restore", "--db", target.url().toString(true), "--from", backupFile});
    ASSERT_EQ(restore.exitCode, 0) << restore.err.toStdString();
    EXPECT_TRUE(restore.out.startsWith("restored ")) << restore.out.toStdString();
    Database original(source.url()), restored(target.url());
    const StoredScores now = readScores(original), then = readScores(restored);

    // The saves up to the backup's last one, whole, and none after it.
    ASSERT_FALSE(then.saves.isEmpty());
    const qint64 lastSave = then.saves.last();
    QList<qint64> savesThen;
    for (qint64 save : now.saves)
        if (save <= lastSave) savesThen << save;
    QList<StoredScores::Line> linesThen;
    QHash<QString, QVariant> scoresThen; // the original's history replayed up to the backup's last save
    for (const StoredScores::Line &line : now.history)
        if (line.save <= lastSave) {
            linesThen << line;
            scoresThen.insert(line.cell, line.after);
        }
    EXPECT_EQ(then.saves, savesThen) << "every save up to the backup's last one, and no other";
    EXPECT_TRUE(then.history == linesThen) << then.history.size() << " history lines restored, " << linesThen.size() << " expected";
    EXPECT_LT(then.saves.size(), now.saves.size()) << "the teachers went on saving after the backup";
    int scoreMismatches = 0;
    qint64 scored = 0;
    for (int i = 0; i < kStudents; ++i)
        for (const QString &subject : kSubjects) {
            const QString key = cellKey(candidate(i), subject);
            scored += scoresThen.value(key).isNull() ? 0 : 1;
            if (sameScore(scoresThen.value(key), scoreOf(then, key))) continue;
            ++scoreMismatches;
            ADD_FAILURE() << key.toStdString() << ": restored " << scoreText(scoreOf(then, key)).toStdString() << ", the history says "
                          << scoreText(scoresThen.value(key)).toStdString();
        }
    const QStringList mismatches = historyMismatches(then) + rankMismatches(then);
    EXPECT_TRUE(mismatches.isEmpty()) << mismatches.join(u'\n').toStdString();

    // Every other table as it was: only the scores changed while the teachers saved.
    const QMap<QString, qint64> countsAfter = tableCounts(original), countsRestored = tableCounts(restored);
    qint64 rowsCompared = 0;
    for (auto it = countsRestored.cbegin(); it != countsRestored.cend(); ++it) {
        rowsCompared += it.value();
        const QString &table = it.key();
        if (table == u"CJ_Mark")
            EXPECT_EQ(it.value(), scored);
        else if (table == u"CJ_MarkSave")
            EXPECT_EQ(it.value(), savesThen.size());
        else if (table == u"CJ_MarkLog")
            EXPECT_EQ(it.value(), linesThen.size());
        else {
            EXPECT_EQ(countsBefore.value(table), countsAfter.value(table)) << table.toStdString() << " changed while the teachers saved";
            EXPECT_EQ(it.value(), countsBefore.value(table)) << table.toStdString();
        }
    }
    EXPECT_EQ(countsRestored.size(), schemaTables().size());

    // A server on the restored database: the administrator reads the sheet of that moment, saves a
    // score (its save numbered after the backup's) and has the totals computed.
    ServerProcess served(target.url(), dir.filePath("files-restored"), {}, ServerProcess::AccessLog::Quiet);
    ASSERT_TRUE(served.waitUntilServing());
    HttpLink link(served.link());
    ClientSession s(link);
    ASSERT_TRUE(s.signIn("admin", "lumeko", "PC-restored").ok());
    std::optional<Sheet> sheet = readSheet(s);
    ASSERT_TRUE(sheet);
    ASSERT_EQ(sheet->data.rowCount(), kStudents);
    const auto studentOf = [&](qsizetype r) { return sheet->data.value(r, sheet->data.fieldIndex(u"sCode")).toString(); };
    int sheetMismatches = 0;
    for (qsizetype r = 0; r < sheet->data.rowCount(); ++r)
        for (const QString &subject : kSubjects)
            sheetMismatches +=
                sameScore(sheet->data.value(r, sheet->data.fieldIndex(QStringLiteral("C_") + subject)), scoresThen.value(cellKey(studentOf(r), subject))) ? 0
                                                                                                                                                          : 1;
    EXPECT_EQ(sheetMismatches, 0);

    const int studentField = sheet->upload.fieldIndex(u"StudentCode"), chinese = sheet->upload.fieldIndex(u"C_001");
    qsizetype first = -1;
    for (qsizetype r = 0; r < sheet->upload.rowCount(); ++r)
        if (sheet->upload.value(r, studentField).toString() == candidate(0)) first = r;
    ASSERT_GE(first, 0);
    QVariantList changed = sheet->upload.row(first);
    changed[chinese] = 149.75; // a score no writer sent
    const wire::Reply saved = s.call(
        "AchieveUp", "UpMark",
        {val(wire::ChangePacket{sheet->upload.fields(), {{wire::RowStatus::Modified, sheet->upload.row(first), changed}}}), val(qint64(-1)), ref(qint64(0))});
    ASSERT_TRUE(saved.ok()) << saved.message.toStdString();
    EXPECT_EQ(saved.refs.value(2), wire::Value(qint64(0))) << saved.message.toStdString();
    scoresThen.insert(cellKey(candidate(0), "001"), 149.75);
    EXPECT_GT(restored.scalar("SELECT max(\"Id\") FROM \"CJ_MarkSave\"").toLongLong(), lastSave);
    const wire::Reply ranked =
        s.call("AchieveUp", "UpExamOrder", {txt("S1"), txt("1701"), txt("001"), ref(kNoPage), ref(QStringLiteral("FULLTOTAL,FULLORDER")), ref(qint64(2026))});
    ASSERT_EQ(ranked.result, wire::Value(qint64(0))) << ranked.message.toStdString();
    sheet = readSheet(s);
    ASSERT_TRUE(sheet);
    int totalMismatches = 0;
    for (qsizetype r = 0; r < sheet->data.rowCount(); ++r) {
        QVariant total;
        for (const QString &subject : kSubjects)
            if (const QVariant v = scoresThen.value(cellKey(studentOf(r), subject)); !v.isNull()) total = total.toDouble() + v.toDouble();
        if (sameScore(sheet->data.value(r, sheet->data.fieldIndex(u"FullTotal")), total)) continue;
        ++totalMismatches;
        ADD_FAILURE() << studentOf(r).toStdString() << ": total " << scoreText(sheet->data.value(r, sheet->data.fieldIndex(u"FullTotal"))).toStdString()
                      << ", its scores add up to " << scoreText(total).toStdString();
    }
    std::cout << "[" << backend() << "] backup while saving: acknowledged_during_backup=" << duringBackup << " saves_in_backup=" << savesThen.size()
              << " saves_in_original=" << now.saves.size() << " tables_compared=" << countsRestored.size() << " rows_compared=" << rowsCompared
              << " scores_compared=" << kStudents * kSubjects.size() << " score_mismatches=" << scoreMismatches
              << " history_or_rank_mismatches=" << mismatches.size() << " sheet_mismatches=" << sheetMismatches << " total_mismatches=" << totalMismatches
              << "\n";
}

// restore puts a backup only into an empty database, and only a backup of a school's database of
// its own kind, whole: every refusal names what is wrong and leaves the target as it was, so that
// the right backup then restores into it.
TEST_P(RestoreTool, RefusesANonEmptyDatabaseAndFilesThatAreNoBackupAndLeavesTheTargetAsItWas)
{
    const bool sqlite = GetParam() == Backend::Sqlite;
    ScratchDatabase source(GetParam(), QStringLiteral("refusals_source")), target(GetParam(), QStringLiteral("refusals_target"));
    makeSchool(source.url(), 4);
    QTemporaryDir dir;
    const QString backup = dir.filePath("school.backup");
    ASSERT_EQ(runServerTool({"backup", "--db", source.url().toString(true), "--to", backup}).exitCode, 0);
    const auto restore = [&](const DatabaseUrl &into, const QString &from) { return runServerTool({"restore", "--db", into.toString(true), "--from", from}); };
    const auto tablesIn = [&](const DatabaseUrl &url) -> qint64 {
        if (sqlite && !QFileInfo::exists(url.path)) return 0;
        Database db(url);
        return db
            .scalar(sqlite ? "SELECT count(*) FROM sqlite_master WHERE type = 'table'"
                           : "SELECT count(*) FROM pg_tables WHERE schemaname NOT IN ('pg_catalog', 'information_schema')")
            .toLongLong();
    };
    const auto write = [&](const QString &name, const QByteArray &bytes) {
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return f.fileName();
    };
    QMap<QString, qint64> sourceCounts;
    {
        Database db(source.url());
        sourceCounts = tableCounts(db);
    }

    ToolRun r = runServerTool({"restore", "--db", target.url().toString(true)});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains("--from FILE")) << r.err.toStdString();
    r = restore(target.url(), dir.filePath("gone.backup"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("cannot read " + dir.filePath("gone.backup"))) << r.err.toStdString();

    // A database with a school in it is never written over.
    r = restore(source.url(), backup);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("is not empty") && r.err.contains(source.url().toString())) << r.err.toStdString();
    {
        Database db(source.url());
        EXPECT_EQ(tableCounts(db), sourceCounts) << "the school's database is as it was";
    }

    // Files that are no backup of a school's database of this kind.
    struct NoBackup {
        QString file, why;
    };
    QList<NoBackup> files = {{write("notes.txt", "成绩单 — not a backup\n"), "is not a backup made by lumeko-server backup"}};
    QFile whole(backup);
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    const QByteArray bytes = whole.readAll();
    // Damaged: a SQLite backup cut short, as an interrupted copy leaves it, misses pages; in a
    // pg_dump archive whose last bytes are spoilt, pg_restore finds the last table's rows
    // unreadable after it has created every table in its transaction.
    QByteArray damaged = sqlite ? bytes.left(bytes.size() * 2 / 3) : bytes;
    if (!sqlite)
        for (qsizetype i = damaged.size() - 24; i < damaged.size() - 8; ++i)
            damaged[i] = char(damaged[i] ^ 0x5a);
    files.append({write("damaged.backup", damaged), sqlite ? "nothing was restored" : "was left as it was"});
    if (sqlite) {
        files.append({write("archive.backup", "PGDMP\x01\x0e\x00" + QByteArray(100, 'x')), "is the backup of a PostgreSQL database"});
        {
            DatabaseUrl other;
            other.path = dir.filePath("other.db");
            Database db(other);
            db.exec("CREATE TABLE \"Books\" (\"title\" TEXT)");
        }
        files.append({dir.filePath("other.db"), "not a backup of a school's database"});
    } else {
        DatabaseUrl lite;
        lite.path = dir.filePath("lite.db");
        {
            Database db(lite);
            migrate(db);
        }
        files.append({lite.path, "is the backup of a SQLite database"});
        ScratchDatabase other(GetParam(), QStringLiteral("refusals_other"));
        {
            Database db(other.url());
            db.exec("CREATE TABLE \"Books\" (\"title\" TEXT)");
        }
        QProcess dump;
        dump.start("pg_dump", {"--format=custom", "--file=" + dir.filePath("books.backup"), other.url().database});
        ASSERT_TRUE(dump.waitForFinished(60'000) && dump.exitCode() == 0) << dump.readAllStandardError().toStdString();
        files.append({dir.filePath("books.backup"), "not a backup of a school's database"});
    }
    for (const NoBackup &f : files) {
        r = restore(target.url(), f.file);
        EXPECT_EQ(r.exitCode, 1) << f.file.toStdString();
        EXPECT_TRUE(r.err.contains(f.why)) << f.file.toStdString() << ": " << r.err.toStdString();
        EXPECT_EQ(tablesIn(target.url()), 0) << f.file.toStdString() << " left tables in the target";
        EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
    }
    if (sqlite) {
        // A file that is not a database, or the log of one that was open there, is not replaced.
        write("target-in-the-way.db", "a teacher's notes");
        DatabaseUrl inTheWay = target.url();
        inTheWay.path = dir.filePath("target-in-the-way.db");
        r = restore(inTheWay, backup);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(r.err.contains("exists and is not a database")) << r.err.toStdString();
        EXPECT_EQ(QFile(inTheWay.path).size(), qint64(strlen("a teacher's notes")));
        DatabaseUrl besideLog = target.url();
        besideLog.path = dir.filePath("after-a-crash.db");
        write("after-a-crash.db-wal", "log");
        r = restore(besideLog, backup);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(r.err.contains("-wal exists")) << r.err.toStdString();
        EXPECT_FALSE(QFileInfo::exists(besideLog.path));
        // Nor is a database in use taken for a backup: its log holds what the file lacks.
        ASSERT_TRUE(QFile::copy(backup, dir.filePath("in-use.db")));
        write("in-use.db-wal", "log");
        r = restore(target.url(), dir.filePath("in-use.db"));
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(r.err.contains("is a database in use, not a backup")) << r.err.toStdString();
        EXPECT_EQ(tablesIn(target.url()), 0);
    }

    // After every refusal the target takes the backup, with every row; a second restore is refused.
    r = restore(target.url(), backup);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith("restored " + backup)) << r.out.toStdString();
    {
        Database db(target.url());
        EXPECT_EQ(tableCounts(db), sourceCounts);
        EXPECT_EQ(schemaVersionOf(db), latestSchemaVersion());
    }
    r = restore(target.url(), backup);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("is not empty")) << r.err.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Backends, KilledServer, ::testing::Values(Backend::Sqlite, Backend::Postgres), backendParamName);
INSTANTIATE_TEST_SUITE_P(Backends, LiveBackup, ::testing::Values(Backend::Sqlite, Backend::Postgres), backendParamName);
INSTANTIATE_TEST_SUITE_P(Backends, RestoreTool, ::testing::Values(Backend::Sqlite, Backend::Postgres), backendParamName);

TEST(ServerTool, InitMakesTheDemoSchoolOnceAndBackupCopiesTheDatabase)
{
    QTemporaryDir dir;
    const QString db = QStringLiteral("sqlite:") + dir.filePath("school.db");
    ToolRun r = runServerTool({"init", "--db", db, "--demo"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("admin\tlumeko")) << "the sign-ins made are printed";
    const QString students = r.out.section(QStringLiteral("score query page (/query/) with:\n"), 1);
    EXPECT_EQ(students.count(QStringLiteral("\tchaxun123\t")), 3) << "and the students' of the score query page after them: " << r.out.toStdString();
    r = runServerTool({"init", "--db", db, "--demo"});
    EXPECT_EQ(r.exitCode, 1) << "a second demo school is not poured into a database that holds one";
    EXPECT_TRUE(r.err.contains("already holds a school"));

    const QString copy = dir.filePath("copy.db");
    r = runServerTool({"backup", "--db", db, "--to", copy});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(runServerTool({"backup", "--db", db, "--to", copy}).exitCode, 1) << "an existing backup is never overwritten";
    Database original(DatabaseUrl::parse(db));
    Database backup(DatabaseUrl::parse(QStringLiteral("sqlite:") + copy));
    EXPECT_EQ(backup.scalar("PRAGMA integrity_check").toString(), "ok");
    for (const char *table : {"XJ_Student", "XJ_Family", "CJ_Mark", "JC_Teacher"}) {
        const QString sql = QStringLiteral("SELECT count(*) FROM ") + Database::quoted(QString::fromLatin1(table));
        EXPECT_GT(original.scalar(sql).toLongLong(), 0) << table;
        EXPECT_EQ(backup.scalar(sql).toLongLong(), original.scalar(sql).toLongLong()) << table;
    }

    // Usage errors say what is wrong and change nothing.
    EXPECT_EQ(runServerTool({"init"}).exitCode, 2);
    EXPECT_EQ(runServerTool({"serve", "--db", db, "--listen", "nowhere"}).exitCode, 2);
    r = runServerTool({"init", "--db", "mysql://x/y"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("unknown database URL"));
}

// Runs the openssl tool in dir, as an administrator would; what it said when it failed.
QString openssl(const QTemporaryDir &dir, const QStringList &args)
{
    QProcess p;
    p.setWorkingDirectory(dir.path());
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("openssl"), args);
    if (!p.waitForFinished(60'000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return QStringLiteral("openssl %1 failed (scripts/install-deps.sh installs the tool): %2 %3")
            .arg(args.join(u' '), p.errorString(), QString::fromLocal8Bit(p.readAll()));
    return {};
}

TEST(ServerTool, ServesHttpsWithTheSchoolsOwnCertificatesAndRefusesFilesThatAreNone)
{
    // A school's certificate authority and a server certificate it signs, made the way
    // docs/district.md makes them.
    QTemporaryDir dir;
    const QStringList ec = {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
    QString failed = openssl(dir, QStringList{"req", "-x509", "-new"} + ec +
                                      QStringList{"-days", "3650", "-subj", "/CN=Test School CA", "-addext", "keyUsage=critical,keyCertSign,cRLSign", "-keyout",
                                                  "ca.key", "-out", "ca.crt"});
    ASSERT_TRUE(failed.isEmpty()) << failed.toStdString();
    failed = openssl(dir, QStringList{"req", "-new"} + ec + QStringList{"-subj", "/CN=localhost", "-keyout", "server.key", "-out", "server.csr"});
    ASSERT_TRUE(failed.isEmpty()) << failed.toStdString();
    QFile ext(dir.filePath("server.ext"));
    ASSERT_TRUE(ext.open(QIODevice::WriteOnly));
    ext.write("subjectAltName=DNS:localhost,IP:127.0.0.1\nbasicConstraints=critical,CA:FALSE\n"
              "keyUsage=critical,digitalSignature\nextendedKeyUsage=serverAuth\n");
    ext.close();
    failed = openssl(dir, {"x509", "-req", "-in", "server.csr", "-CA", "ca.crt", "-CAkey", "ca.key", "-CAcreateserial", "-days", "825", "-extfile",
                           "server.ext", "-out", "server.crt"});
    ASSERT_TRUE(failed.isEmpty()) << failed.toStdString();

    DatabaseUrl url;
    url.backend = Backend::Sqlite;
    url.path = dir.filePath("school.db");
    {
        Database db(url);
        migrate(db);
        seedFixtureSchool(db);
    }
    const int port = freeLoopbackPort();
    const QStringList serve = {"serve", "--db", url.toString(), "--listen", QStringLiteral("127.0.0.1:%1").arg(port), "--files", dir.filePath("files")};

    // Files that cannot serve: the reason names the file, and the program stops with 1.
    struct Bad {
        QString certificate, key, why, named;
    };
    const QList<Bad> bad = {
        {dir.filePath("server.csr"), dir.filePath("server.key"), "holds no PEM certificate", dir.filePath("server.csr")},
        {dir.filePath("server.crt"), dir.filePath("ca.key"), "does not belong to the certificate", dir.filePath("ca.key")},
        {dir.filePath("server.crt"), dir.filePath("gone.key"), "cannot read the key file", dir.filePath("gone.key")},
    };
    for (const Bad &b : bad) {
        const ToolRun r = runServerTool(serve + QStringList{"--tls-cert", b.certificate, "--tls-key", b.key});
        EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
        EXPECT_TRUE(r.err.startsWith("cannot serve: ") && r.err.contains(b.why) && r.err.contains(b.named)) << r.err.toStdString();
        EXPECT_FALSE(r.out.contains("serving")) << r.out.toStdString();
    }
    ToolRun r = runServerTool(serve + QStringList{"--tls-cert", dir.filePath("server.crt")});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains("--tls-key")) << r.err.toStdString();

    // The right files: the start-up line gives the https:// address, with no warning, and a
    // client that trusts the school's authority signs in.
    QProcess server;
    server.setProcessChannelMode(QProcess::SeparateChannels);
    server.start(QStringLiteral(LUMEKO_SERVER_BIN), serve + QStringList{"--tls-cert", dir.filePath("server.crt"), "--tls-key", dir.filePath("server.key")});
    QString out;
    while (!out.contains(u'\n') && server.waitForReadyRead(30'000))
        out += QString::fromUtf8(server.readAllStandardOutput());
    ASSERT_TRUE(out.startsWith("serving ")) << out.toStdString() << server.readAllStandardError().toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral(" at https://127.0.0.1:%1 ").arg(port))) << out.toStdString();
    QThread::msleep(200);
    out += QString::fromUtf8(server.readAllStandardOutput());
    EXPECT_FALSE(out.contains("WARNING")) << out.toStdString();

    HttpLinkOptions o = *HttpLinkOptions::fromUrl(QStringLiteral("https://localhost:%1").arg(port));
    o.caFile = dir.filePath("ca.crt");
    {
        HttpLink link(o);
        ClientSession s(link);
        const wire::Reply signedIn = s.signIn("admin", "lumeko", "PC-1");
        EXPECT_TRUE(signedIn.ok()) << signedIn.message.toStdString();
        s.signOut();
    }
    // Without the school's authority the same server is refused.
    o.caFile.clear();
    HttpLink untrusting(o);
    const wire::Reply refused = ClientSession(untrusting).signIn("admin", "lumeko", "PC-1");
    EXPECT_EQ(refused.error, wire::ErrorCode::Internal);
    EXPECT_TRUE(refused.message.contains("certificate could not be verified")) << refused.message.toStdString();

    server.terminate(); // SIGTERM: an orderly stop
    ASSERT_TRUE(server.waitForFinished(30'000));
    EXPECT_EQ(server.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(server.exitCode(), 0);
    EXPECT_TRUE(QString::fromUtf8(server.readAllStandardOutput()).contains("stopped"));
}

} // namespace
