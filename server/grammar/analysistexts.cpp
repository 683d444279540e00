#include "server/grammar/analysistexts.h"

#include "server/grammar/listparts.h"

#include <QSet>

namespace lumeko::server::grammar {

using namespace Qt::StringLiterals;

namespace {

constexpr int MaxExams = 50;
constexpr int MaxCuts = 5;

// One item of the exam list, unquoted, with the index in the whole text of each of its
// characters so that errors inside a quoted item point at the right place.
struct ListItem {
    QString text;
    QList<qsizetype> at;
};

ListItem readListItem(Scanner &s)
{
    ListItem item;
    const qsizetype start = s.pos();
    const QStringView text = s.text();
    if (s.acceptChar(u'"')) {
        for (;;) {
            if (s.atEnd()) s.failAt(start, u"quoted exam has no closing quote"_s);
            const qsizetype p = s.pos();
            if (text[p] == u'"') {
                if (p + 1 < text.size() && text[p + 1] == u'"') {
                    item.text += u'"';
                    item.at.append(p);
                    s.setPos(p + 2);
                    continue;
                }
                s.setPos(p + 1);
                break;
            }
            const int n = valueCharLength(text, p);
            if (n == 0) s.fail(u"control or invisible character in an exam"_s);
            for (int k = 0; k < n; ++k) {
                item.text += text[p + k];
                item.at.append(p + k);
            }
            s.setPos(p + n);
        }
    } else {
        while (!s.atEnd() && s.peek() != u',') {
            const qsizetype p = s.pos();
            if (text[p] == u' ' || text[p] == u'"' || text[p].unicode() < 32)
                s.fail(u"unexpected blank, quote or control character in an unquoted exam"_s);
            item.text += text[p];
            item.at.append(p);
            s.setPos(p + 1);
        }
    }
    item.at.append(s.pos()); // where the item ends
    return item;
}

ExamRef examFromItem(const Scanner &s, const ListItem &item)
{
    const QList<Piece> parts = splitPieces(item.text, u';');
    const auto failAt = [&](qsizetype offset, const QString &problem) { s.failAt(item.at[offset], problem); };
    if (parts.size() != 3)
        failAt(parts.size() > 3 ? parts[3].pos - 1 : item.text.size(), u"expected GradeCode;ExamCode;PageName"_s);
    if (!isAsciiCode(parts[0].text, 1, 4)) failAt(parts[0].pos, u"expected a grade code of 1 to 4 letters or digits"_s);
    if (!isAsciiCode(parts[1].text, 1, 3)) failAt(parts[1].pos, u"expected an exam code of 1 to 3 letters or digits"_s);
    const QStringView page = parts[2].text;
    const qsizetype length = characterCount(page);
    if (length < 1 || length > 64) failAt(parts[2].pos, u"expected a page name of 1 to 64 characters"_s);
    const qsizetype bad = firstBadValueChar(page);
    if (bad >= 0) failAt(parts[2].pos + bad, u"control or invisible character in a page name"_s);
    return {parts[0].text.toString(), parts[1].text.toString(), page.toString()};
}

QList<bool> readItems(Scanner &s, int count)
{
    const qsizetype start = s.pos();
    QList<bool> items;
    while (!s.atEnd() && (s.peek() == u'0' || s.peek() == u'1') && items.size() <= count) {
        items.append(s.peek() == u'1');
        s.setPos(s.pos() + 1);
    }
    if (items.size() != count) s.failAt(start, u"expected %1 item states of 0 or 1"_s.arg(count));
    return items;
}

QList<int> readCuts(Scanner &s)
{
    QList<int> cuts;
    if (!isAsciiDigit(QChar(s.peek()))) return cuts;
    do {
        const qsizetype start = s.pos();
        const qint64 cut = s.integer(u"a rank cut-off"_s, 3);
        if (cut < 1 || cut > 500) s.failAt(start, u"expected a rank cut-off from 1 to 500"_s);
        if (cuts.size() == MaxCuts) s.failAt(start, u"expected at most %1 rank cut-offs"_s.arg(MaxCuts));
        cuts.append(int(cut));
    } while (s.acceptChar(u'-'));
    return cuts;
}

// The rest of the text as exactly two pieces separated by ";".
std::pair<Piece, Piece> lastTwoParts(const Scanner &s)
{
    const QList<Piece> parts = splitPieces(s.rest(), u';', s.pos());
    if (parts.size() < 2) s.failAt(s.text().size(), u"expected \";\""_s);
    if (parts.size() > 2) s.failAt(parts[2].pos - 1, u"unexpected \";\""_s);
    return {parts[0], parts[1]};
}

QList<SubjectRef> comparedSubjects(const Scanner &s, Piece piece, int kind)
{
    const QList<Piece> codes = splitPieces(piece.text, u',', piece.pos);
    QList<SubjectRef> subjects;
    QSet<QString> seen;
    for (qsizetype i = 0; i < codes.size(); ++i) {
        const SubjectRef subject = subjectRefAt(s, codes[i]);
        if (subject.kind != SubjectRef::Kind::Subject) {
            if (kind != 1) s.failAt(codes[i].pos, u"totals are compared by the class comparison only"_s);
            if (i == 0 || codes.size() - i != 3 || codes[i].text != u"FUL" || codes[i + 1].text != u"MAI" ||
                codes[i + 2].text != u"BAS")
                s.failAt(codes[i].pos, u"expected the totals as FUL,MAI,BAS after the subject codes"_s);
            subjects.append({SubjectRef::Kind::FullTotal, {}});
            subjects.append({SubjectRef::Kind::MainTotal, {}});
            subjects.append({SubjectRef::Kind::BaseTotal, {}});
            break;
        }
        if (seen.contains(subject.code)) s.failAt(codes[i].pos, u"subject %1 given twice"_s.arg(subject.code));
        seen.insert(subject.code);
        subjects.append(subject);
    }
    return subjects;
}

bool isStudentCodeChar(QChar c)
{
    return isAsciiLetterOrDigit(c) || c == u'{' || c == u'}' || c == u'-' || c == u'_';
}

} // namespace

StudentFilter studentFilterAt(const Scanner &s, Piece piece)
{
    StudentFilter filter;
    QStringView students = piece.text;
    qsizetype studentsAt = piece.pos;
    const qsizetype semicolon = piece.text.indexOf(u';');
    if (semicolon >= 0) {
        filter.classCodes = classCodesAt(s, {piece.text.left(semicolon), piece.pos});
        students = piece.text.mid(semicolon + 1);
        studentsAt = piece.pos + semicolon + 1;
    }
    if (students.isEmpty()) return filter;
    QSet<QStringView> seen;
    for (const Piece &p : splitPieces(students, u',', studentsAt)) {
        if (p.text.isEmpty() || p.text.size() > 64) s.failAt(p.pos, u"expected a student code of 1 to 64 characters"_s);
        for (qsizetype i = 0; i < p.text.size(); ++i)
            if (!isStudentCodeChar(p.text[i]))
                s.failAt(p.pos + i, u"expected a student code of letters, digits, braces, \"-\" and \"_\""_s);
        if (seen.contains(p.text)) s.failAt(p.pos, u"student %1 given twice"_s.arg(p.text));
        seen.insert(p.text);
        filter.excludedStudents.append(p.text.toString());
    }
    return filter;
}

QList<ExamRef> parseExamList(QStringView text)
{
    Scanner s(text, u"exam list"_s);
    QList<ExamRef> exams;
    QSet<QString> seen;
    for (;;) {
        const qsizetype start = s.pos();
        if (exams.size() == MaxExams) s.fail(u"expected at most %1 exams"_s.arg(MaxExams));
        const ExamRef exam = examFromItem(s, readListItem(s));
        const QString key = exam.gradeCode + u'\n' + exam.examCode + u'\n' + exam.pageName;
        if (seen.contains(key)) s.failAt(start, u"exam listed twice"_s);
        seen.insert(key);
        exams.append(exam);
        if (s.atEnd()) break;
        s.expectChar(u',', u"\",\" and the next exam, or the end"_s);
    }
    if (exams.size() < 2) s.fail(u"expected at least two exams"_s);
    return exams;
}

ExamRef parseExamRef(const QString &argument, QStringView text)
{
    Scanner s(text, argument);
    const ExamRef exam = examFromItem(s, readListItem(s));
    if (!s.atEnd()) s.fail(u"expected the end after the exam"_s);
    return exam;
}

ExamSumSettings parseExamSumSettings(int kind, QStringView text)
{
    if (kind < 0 || kind > 3) throw ClientTextError(u"report kind"_s, u"expected 0, 1, 2 or 3"_s, 0);
    Scanner s(text, u"analysis settings"_s);
    ExamSumSettings settings;
    settings.kind = kind;
    settings.items = readItems(s, kind == 0 ? 11 : 21);
    if (kind == 0) {
        if (s.acceptChar(u',')) {
            settings.rankLayers = true;
            settings.topCuts = readCuts(s);
            s.expectChar(u',', u"\",\" and the rank cut-offs from the bottom"_s);
            settings.bottomCuts = readCuts(s);
            s.expectChar(u';', u"\";\" and the subject"_s);
        } else {
            s.expectChar(u';', u"\",\" and the rank cut-offs, or \";\" and the subject"_s);
        }
        const auto [subject, range] = lastTwoParts(s);
        settings.subject = subjectRefAt(s, subject);
        if (range.text == u"ALL") {
            settings.allStudentTypes = true;
        } else {
            const StudentRange types = studentRangeAt(s, range);
            if (types.pickedStudents)
                s.failAt(range.pos, u"expected student types; picked students go in the filter"_s);
            settings.studentTypes = types.studentTypes;
        }
    } else {
        s.expectChar(u';', u"\";\" and the range"_s);
        const auto [captions, codes] = lastTwoParts(s);
        settings.range = studentRangeAt(s, captions);
        settings.subjects = comparedSubjects(s, codes, kind);
    }
    return settings;
}

StudentFilter parseStudentExclusion(QStringView text)
{
    const Scanner s(text, u"student filter"_s);
    return studentFilterAt(s, {text, 0});
}

} // namespace lumeko::server::grammar
