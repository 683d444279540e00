#pragma once
// What the score query page shows a signed-in student: the exams his school has published
// (CJ_ExamTotal.WXshowed) that he sat, and of one of them his own scores, levels, letters and grade
// ranks as far as the exam's display type (markShowType, registry list "ExamShowType") allows.
// Everything is read for the student the session names; nothing here takes a student from a
// request.

#include "server/query/studentaccess.h"

#include <QDate>
#include <QList>
#include <QString>

#include <optional>

namespace lumeko::server {

// Who is signed in, in the words of his school.
struct LUMEKO_QUERY_EXPORT StudentHeading {
    QString name, sno, school, grade, className;
};
LUMEKO_QUERY_EXPORT StudentHeading studentHeading(Database &db, const QueryStudent &student);

struct LUMEKO_QUERY_EXPORT PublishedExam {
    qint64 id = 0;
    QString name;
    QDate date;    // dDefDay, the day it was held
    QString grade; // the grade's name ("七年级")
};
// School-wide exams (page name "⊥") of the student's school and intake year, published, with him
// among the candidates; the latest first.
LUMEKO_QUERY_EXPORT QList<PublishedExam> publishedExams(Database &db, const QueryStudent &student);

// The keys of the registry list "ExamShowType".
enum class ShowType { Scores = 0, Levels = 1, ScoresAndLevels = 2, ScoresAndRanks = 3, Nothing = 4 };
// An exam without a display type shows scores, as new exams do; a type this server does not know
// shows nothing.
LUMEKO_QUERY_EXPORT ShowType showTypeOf(const QString &markShowType);
inline bool showsScores(ShowType t)
{
    return t == ShowType::Scores || t == ShowType::ScoresAndLevels || t == ShowType::ScoresAndRanks;
}
inline bool showsLevels(ShowType t)
{
    return t == ShowType::Levels || t == ShowType::ScoresAndLevels;
}
inline bool showsRanks(ShowType t)
{
    return t == ShowType::ScoresAndRanks;
}

// One subject or total of the report. What the display type withholds stays empty, and so does
// what the school has not stored (no score: absent; no letter: not ranked by letter).
struct LUMEKO_QUERY_EXPORT ReportLine {
    QString name;
    std::optional<QString> score;  // "112.5"; a graded subject's step by its letter ("A", "B+")
    std::optional<QString> level;  // "优秀" … "不及格", by the exam's level marks
    std::optional<QString> letter; // "A" … "E", by the shares of the letters, as the score page stored it
    std::optional<int> rank;       // in the grade
};

struct LUMEKO_QUERY_EXPORT ExamReport {
    PublishedExam exam;
    ShowType show = ShowType::Scores;
    QString showName;   // the registry's words for the display type
    int candidates = 0; // of the whole exam
    QList<ReportLine> subjects, totals;
};
// The report of one of publishedExams(); empty for any other exam id.
LUMEKO_QUERY_EXPORT std::optional<ExamReport> examReport(Database &db, const QueryStudent &student, qint64 examId);

// A score as the pages show it: at most two decimals, without trailing zeros.
LUMEKO_QUERY_EXPORT QString scoreText(double score);

} // namespace lumeko::server
