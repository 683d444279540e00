#pragma once
// An exam as the exam and score methods find it: its five-part identity (school, grade, intake
// year, exam code, page name "⊥" or a teacher's code), the stored header's facts those methods
// decide by, and who may write it.

#include "server/core/methodcall.h"

#include <QDate>

#include <optional>

namespace lumeko::server {

inline const QString kNoPage = QStringLiteral("⊥");

struct ExamKey {
    QString school, grade, code, page;
    qint64 inYear = 0;
    bool isUnit() const { return page != kNoPage; }
    QVariantList params() const { return {school, grade, inYear, code, page}; }
};
// The identity as a WHERE condition on CJ_ExamTotal or CJ_ExamSubject, with ExamKey::params().
inline constexpr const char *kExamIdentity = "\"SchoolCode\" = ? AND \"GradeCode\" = ? AND \"InYear\" = ? AND \"ExamCode\" = ? AND \"PageName\" = ?";

struct StoredExam {
    qint64 id = 0;
    ExamKey key;
    QString name;
    bool frozen = false;
    bool hasMain = false, hasBase = false;
    int modifyRight = 0; // one bit per role, bit 0 = role 1
    QDate defDay, limitDay;
};

std::optional<StoredExam> findExam(Database &db, const ExamKey &k);
// By the header's Id, within the school; a text that is not a number finds nothing.
std::optional<StoredExam> findExamById(Database &db, const QString &school, const QString &idText);
// Locks the header row for the rest of the transaction where the back end can (PostgreSQL), so
// that work on one exam's scores is done one call after the other; `shared` lets readers share it.
void lockExam(Database &db, qint64 id, bool shared);

// The exam identity of a call's arguments: school (argument 0), grade, exam code, page name and
// intake year at the given positions.
ExamKey keyOfArgs(MethodCall &c, int grade, int code, int page, int year);

// Who may write an exam: a unit exam is its own teacher's; a new school-wide exam needs 4029, an
// existing one 4029 or the Manager of 4031; a new unit exam needs 4030. Throws Forbidden.
void requireExamWrite(MethodCall &c, const wire::protocol::Method &m, const ExamKey &k, bool creating);

} // namespace lumeko::server
