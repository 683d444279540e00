#include "server/grammar/codelists.h"

#include "server/grammar/listparts.h"

#include <QSet>

namespace lumeko::server::grammar {

using namespace Qt::StringLiterals;

namespace {

bool isThreeDigits(QStringView text)
{
    return text.size() == 3 && isAsciiDigit(text[0]) && isAsciiDigit(text[1]) && isAsciiDigit(text[2]);
}

// Adds a code to the set or fails when it is there already.
void addOnce(const Scanner &s, QSet<QString> &seen, const QString &code, qsizetype pos, const QString &what)
{
    if (seen.contains(code)) s.failAt(pos, u"%1 %2 given twice"_s.arg(what, code));
    seen.insert(code);
}

} // namespace

void checkName(const Scanner &s, Piece piece, const QString &what, qsizetype maxLength, QStringView forbidden)
{
    const qsizetype length = characterCount(piece.text);
    if (length < 1 || length > maxLength)
        s.failAt(piece.pos, u"expected %1 of 1 to %2 characters"_s.arg(what).arg(maxLength));
    const qsizetype bad = firstBadValueChar(piece.text);
    if (bad >= 0) s.failAt(piece.pos + bad, u"control or invisible character in "_s + what);
    for (qsizetype i = 0; i < piece.text.size(); ++i)
        if (forbidden.contains(piece.text[i]))
            s.failAt(piece.pos + i, u"unexpected \"%1\" in %2"_s.arg(piece.text[i]).arg(what));
}

SubjectRef subjectRefAt(const Scanner &s, Piece piece)
{
    if (piece.text == u"FUL") return {SubjectRef::Kind::FullTotal, {}};
    if (piece.text == u"MAI") return {SubjectRef::Kind::MainTotal, {}};
    if (piece.text == u"BAS") return {SubjectRef::Kind::BaseTotal, {}};
    if (!isThreeDigits(piece.text))
        s.failAt(piece.pos, u"expected a subject code of three digits, or FUL, MAI or BAS"_s);
    return {SubjectRef::Kind::Subject, piece.text.toString()};
}

QList<SubjectRef> subjectListAt(const Scanner &s, Piece piece)
{
    QList<SubjectRef> subjects;
    QSet<QString> seen;
    for (const Piece &p : splitPieces(piece.text, u',', piece.pos)) {
        subjects.append(subjectRefAt(s, p));
        addOnce(s, seen, p.text.toString(), p.pos, u"subject"_s);
    }
    return subjects;
}

QStringList classCodesAt(const Scanner &s, Piece piece)
{
    QStringList codes;
    if (piece.text.isEmpty()) return codes;
    QSet<QString> seen;
    for (const Piece &p : splitPieces(piece.text, u',', piece.pos)) {
        if (!isAsciiCode(p.text, 1, 3)) s.failAt(p.pos, u"expected a class code of 1 to 3 letters or digits"_s);
        codes.append(p.text.toString());
        addOnce(s, seen, codes.last(), p.pos, u"class code"_s);
    }
    return codes;
}

StudentRange studentRangeAt(const Scanner &s, Piece piece)
{
    StudentRange range;
    QSet<QString> seen;
    for (const Piece &p : splitPieces(piece.text, u',', piece.pos)) {
        checkName(s, p, u"a student type"_s, 32, u",;");
        addOnce(s, seen, p.text.toString(), p.pos, u"student type"_s);
        if (p.text == PickedStudentsCaption)
            range.pickedStudents = true;
        else
            range.studentTypes.append(p.text.toString());
    }
    return range;
}

QStringList parseQuotedCodeList(QStringView text)
{
    Scanner s(text, u"class list"_s);
    QStringList codes;
    if (text.isEmpty()) return codes;
    QSet<QString> seen;
    for (;;) {
        s.skipBlanks();
        const qsizetype start = s.pos();
        const QString code = s.quoted(u"class code"_s);
        if (!isAsciiCode(code, 1, 3)) s.failAt(start, u"expected a class code of 1 to 3 letters or digits"_s);
        addOnce(s, seen, code, start, u"class code"_s);
        codes.append(code);
        s.skipBlanks();
        if (s.atEnd()) return codes;
        s.expectChar(u',', u"\",\" or the end"_s);
    }
}

QStringList parseClassCodeList(const QString &argument, QStringView text)
{
    const Scanner s(text, argument);
    return classCodesAt(s, {text, 0});
}

QList<SubjectRef> parseSubjectList(QStringView text)
{
    const Scanner s(text, u"subject list"_s);
    return subjectListAt(s, {text, 0});
}

RankColumns parseOrderFieldList(QStringView text, const QStringList &allowedSubjectCodes, bool totalsAllowed)
{
    const Scanner s(text, u"rank field list"_s);
    RankColumns columns;
    const qsizetype start = text.startsWith(u',') ? 1 : 0;
    if (start == text.size()) return columns;
    const QList<Piece> tokens = splitPieces(text.mid(start), u',', start);
    qsizetype i = 0;
    const auto next = [&](QLatin1StringView name) {
        if (i == tokens.size() || !equalsAsciiNoCase(tokens[i].text, name)) return false;
        ++i;
        return true;
    };
    const auto expect = [&](QLatin1StringView name) {
        if (!next(name)) s.failAt(i < tokens.size() ? tokens[i].pos : text.size(), u"expected "_s + name);
    };

    if (equalsAsciiNoCase(tokens[0].text, "FULLTOTAL"_L1) || equalsAsciiNoCase(tokens[0].text, "BASETOTAL"_L1) ||
        equalsAsciiNoCase(tokens[0].text, "MAINTOTAL"_L1)) {
        if (!totalsAllowed) s.failAt(tokens[0].pos, u"totals are ranked only for a school-wide exam"_s);
        expect("FULLTOTAL"_L1);
        expect("FULLORDER"_L1);
        columns.fullTotal = true;
        if (next("BASETOTAL"_L1)) {
            expect("BASEORDER"_L1);
            columns.baseTotal = true;
        }
        if (next("MAINTOTAL"_L1)) {
            expect("MAINORDER"_L1);
            columns.mainTotal = true;
        }
    }

    QSet<QString> seen;
    while (i < tokens.size()) {
        const Piece score = tokens[i++];
        if (!score.text.startsWith(u"C_", Qt::CaseInsensitive))
            s.failAt(score.pos, i == 1 && totalsAllowed ? u"expected FULLTOTAL or a score column C_<subject code>"_s
                                                        : u"expected a score column C_<subject code>"_s);
        const QStringView code = score.text.mid(2);
        const qsizetype index = allowedSubjectCodes.indexOf(code);
        if (index < 0) s.failAt(score.pos + 2, u"expected the code of a subject of this exam after C_"_s);
        const QString &allowed = allowedSubjectCodes[index];
        addOnce(s, seen, allowed, score.pos, u"subject"_s);
        const qsizetype rankAt = i < tokens.size() ? tokens[i].pos : text.size();
        if (i == tokens.size() || !tokens[i].text.startsWith(u"O_", Qt::CaseInsensitive) ||
            tokens[i].text.mid(2) != code)
            s.failAt(rankAt, u"expected O_"_s + allowed);
        ++i;
        columns.subjectCodes.append(allowed);
    }
    return columns;
}

SheetSubjectFilter parseSheetSubjectFilter(QStringView text)
{
    const Scanner s(text, u"subject filter"_s);
    SheetSubjectFilter filter;
    qsizetype start = 0;
    if (text.startsWith(u'@')) {
        const qsizetype end = text.indexOf(u';');
        if (end < 0) s.failAt(text.size(), u"expected \";\" after the selected classes"_s);
        filter.classesSelected = true;
        filter.classes = classCodesAt(s, {text.mid(1, end - 1), 1});
        start = end + 1;
    }
    if (start == text.size()) return filter;
    QSet<QString> seen;
    qsizetype pos = start;
    while (pos <= text.size()) {
        qsizetype end = pos;
        while (end < text.size() && text[end] != u';' && text[end] != u',')
            ++end;
        const Piece p{text.mid(pos, end - pos), pos};
        if (!isThreeDigits(p.text)) s.failAt(p.pos, u"expected a subject code of three digits"_s);
        addOnce(s, seen, p.text.toString(), p.pos, u"subject"_s);
        filter.subjects.append(p.text.toString());
        pos = end + 1;
    }
    return filter;
}

QStringList parseSubjectSet(QStringView text)
{
    const Scanner s(text, u"subject set"_s);
    QStringList codes;
    QSet<QString> seen;
    for (const Piece &p : splitPieces(text, u',')) {
        if (!isThreeDigits(p.text)) s.failAt(p.pos, u"expected a subject code of three digits"_s);
        codes.append(p.text.toString());
        addOnce(s, seen, codes.last(), p.pos, u"subject"_s);
    }
    return codes;
}

QList<QStringList> parseMergedSubjectSet(QStringView text)
{
    const Scanner s(text, u"merged subject set"_s);
    QList<QStringList> entries;
    QSet<QString> seen;
    for (const Piece &entry : splitPieces(text, u',')) {
        QStringList codes;
        for (const Piece &p : splitPieces(entry.text, u';', entry.pos)) {
            if (!isThreeDigits(p.text)) s.failAt(p.pos, u"expected a subject code of three digits"_s);
            codes.append(p.text.toString());
            addOnce(s, seen, codes.last(), p.pos, u"subject"_s);
        }
        entries.append(codes);
    }
    return entries;
}

StudentRange parseStudentRange(const QString &argument, QStringView text)
{
    const Scanner s(text, argument);
    return studentRangeAt(s, {text, 0});
}

} // namespace lumeko::server::grammar
