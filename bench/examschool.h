#pragma once
// The school-wide exam the score-sheet benchmarks work on: one grade of 3,750 candidates in 75
// classes of 50 (the first 40 classes at 本部, the others at 分校), 12 subjects (语文, 数学 and
// 英语 of 150 as base subjects, three main and six other subjects of 100), the exam's header open
// to every role until a deadline after the fixture's clock. An embedded Service with the school's
// methods serves it, and the administrator (not restricted by rights) is signed in.
//
// Scores are kept as one array per sheet, candidate by candidate, subject by subject (the
// candidates in the order of students()); a "round" is a whole sheet of new scores from a seed.

#include "server/core/service.h"

#include <QHash>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdint>
#include <memory>
#include <vector>

namespace lumeko::bench {

class ExamSchool {
public:
    static constexpr int kClasses = 75;
    static constexpr int kPerClass = 50;
    static constexpr int kStudents = kClasses * kPerClass;
    static constexpr int kSubjects = 12;
    static constexpr int kCells = kStudents * kSubjects;

    // Creates the schema on the database (which must be empty) and seeds the school and its exam.
    // Throws StorageError, or std::runtime_error when the service refuses the sign-in.
    explicit ExamSchool(const server::DatabaseUrl &url);
    ~ExamSchool();

    server::Service &service() { return *m_service; }
    server::Database &db() { return m_service->connection(); }
    qint64 examId() const { return m_examId; }
    const QStringList &subjects() const { return m_subjects; } // "001" … "012"
    const QStringList &students() const { return m_students; } // candidates, class by class
    int studentIndex(const QString &code) const { return m_index.value(code, -1); }
    double fullMark(int subject) const { return subject < 3 ? 150.0 : 100.0; }
    QString subjectName(int subject) const; // 语文 … 音乐

    // A call as the signed-in administrator, through the service as the embedded host makes it.
    wire::Reply call(const QString &object, const QString &method, QList<wire::Argument> args);

    // AchieveQry.QMark of the whole exam: the sheet (arguments' slot 7) and its upload image (8).
    struct Sheet {
        wire::DataPacket data, upload;
    };
    wire::Reply qMarkReply();
    Sheet takeSheet(wire::Reply &reply); // empty packets when the reply holds none
    // AchieveUp.UpMark: the refused rows (0 when everything was stored), or -1 when the call failed.
    qint64 upMark(wire::ChangePacket packet, QString *message);
    // AchieveUp.UpExamOrder of every total and subject; false (with the reason) when not done.
    bool upExamOrder(QString *message);
    // "FULLTOTAL,FULLORDER,BASETOTAL,BASEORDER,MAINTOTAL,MAINORDER,C_001,O_001,…,C_012,O_012"
    QString orderFields() const;

    // A new sheet of scores: half points from 0 to the subject's full mark around each student's
    // own level, every cell different from the same cell of `previous` (when given).
    std::vector<double> nextScores(std::uint32_t seed, const std::vector<double> *previous = nullptr) const;
    // The upload image's rows as changed rows holding `scores` (whose candidates the image names).
    wire::ChangePacket changePacket(const wire::DataPacket &upload, const std::vector<double> &scores) const;
    // Stores a sheet of scores directly (the setup of a benchmark), replacing what was stored.
    void storeScores(const std::vector<double> &scores);
    // What CJ_Mark holds for the exam, in the same layout (NaN where nothing is stored).
    std::vector<double> storedScores();

private:
    void seed();

    QTemporaryDir m_files;
    std::unique_ptr<server::Service> m_service;
    QString m_token;
    qint64 m_examId = 0;
    QStringList m_subjects, m_students;
    QHash<QString, int> m_index;
    std::vector<double> m_level; // each student's level, about normal around 0
};

} // namespace lumeko::bench
