#include "server/grammar/gradefilter.h"

#include "server/grammar/scanner.h"

namespace lumeko::server::grammar {

using namespace Qt::StringLiterals;

namespace {

constexpr int MaxTerms = 8;

struct FieldInfo {
    GradeField field;
    QLatin1StringView name;
    qsizetype maxLength; // text fields
    bool prefixAllowed;
};

constexpr FieldInfo Fields[] = {
    {GradeField::GradeCode, "GradeCode"_L1, 4, true},
    {GradeField::InYear, "InYear"_L1, 0, false},
    {GradeField::CurGrade, "bCurGrade"_L1, 1, false},
    {GradeField::SchoolYear, "sYear"_L1, 16, true},
};

const FieldInfo &readField(Scanner &s)
{
    const qsizetype start = s.pos();
    while (!s.atEnd() && (isAsciiLetterOrDigit(QChar(s.peek())) || s.peek() == u'_'))
        s.setPos(s.pos() + 1);
    const QStringView name = s.text().mid(start, s.pos() - start);
    for (const FieldInfo &info : Fields)
        if (equalsAsciiNoCase(name, info.name)) return info;
    s.failAt(start, u"expected GradeCode, InYear, bCurGrade or sYear"_s);
}

// A text value: quoted, or a bare run of digits kept as written ("0701" stays "0701").
QString textValue(Scanner &s, const FieldInfo &info)
{
    const qsizetype start = s.pos();
    const QString what = QString(info.name) + u" value"_s;
    QString value;
    if (s.peek() == u'\'') {
        value = s.quoted(what);
    } else {
        while (!s.atEnd() && isAsciiDigit(QChar(s.peek())))
            s.setPos(s.pos() + 1);
        if (s.pos() == start) s.fail(u"expected "_s + what + u" in single quotes"_s);
        value = s.text().mid(start, s.pos() - start).toString();
    }
    const qsizetype length = characterCount(value);
    if (length < 1 || length > info.maxLength)
        s.failAt(start, u"expected %1 of 1 to %2 characters"_s.arg(what).arg(info.maxLength));
    if (info.field == GradeField::CurGrade && value != u"Y"_s && value != u"N"_s)
        s.failAt(start, u"expected 'Y' or 'N'"_s);
    return value;
}

int yearValue(Scanner &s)
{
    if (!s.acceptChar(u'\'')) return s.year();
    const int year = s.year();
    s.expectChar(u'\'', u"a closing quote after the intake year"_s);
    return year;
}

// 'prefix%' or a bare prefix%: letters and digits, then one '%' that ends the value.
QString prefixValue(Scanner &s, const FieldInfo &info)
{
    const qsizetype start = s.pos();
    const bool quoted = s.acceptChar(u'\'');
    const qsizetype prefixStart = s.pos();
    while (!s.atEnd() && isAsciiLetterOrDigit(QChar(s.peek())))
        s.setPos(s.pos() + 1);
    const QString prefix = s.text().mid(prefixStart, s.pos() - prefixStart).toString();
    if (prefix.isEmpty() || prefix.size() > info.maxLength || !s.acceptChar(u'%') || (quoted && !s.acceptChar(u'\'')))
        s.failAt(start,
                 u"expected a prefix of 1 to %1 letters or digits followed by %, as '07%'"_s.arg(info.maxLength));
    return prefix;
}

GradeTerm readTerm(Scanner &s)
{
    const FieldInfo &info = readField(s);
    GradeTerm term;
    term.field = info.field;
    const bool blank = s.skipBlanks() > 0;
    if (s.acceptChar(u'=')) {
        s.skipBlanks();
        term.value = info.field == GradeField::InYear ? QVariant(yearValue(s)) : QVariant(textValue(s, info));
        return term;
    }
    const qsizetype likeAt = s.pos();
    if (blank && s.acceptWord("like"_L1) && s.skipBlanks() > 0) {
        if (!info.prefixAllowed) s.failAt(likeAt, u"expected = after "_s + info.name);
        term.match = GradeTerm::Match::StartsWith;
        term.value = prefixValue(s, info);
        return term;
    }
    s.setPos(likeAt);
    s.fail(info.prefixAllowed ? u"expected = or like"_s : u"expected ="_s);
}

} // namespace

QList<GradeTerm> parseGradeFilter(QStringView text)
{
    Scanner s(text, u"grade filter"_s);
    s.skipBlanks();
    if (s.atEnd()) s.fail(u"expected a grade field"_s);
    // An optional leading "and", as in " and sYear='2012'".
    const qsizetype start = s.pos();
    if (!(s.acceptWord("and"_L1) && s.skipBlanks() > 0)) s.setPos(start);
    QList<GradeTerm> terms;
    for (;;) {
        if (terms.size() == MaxTerms) s.fail(u"expected at most %1 conditions"_s.arg(MaxTerms));
        terms.append(readTerm(s));
        const qsizetype end = s.pos();
        if (s.skipBlanks() > 0 && s.acceptWord("and"_L1) && s.skipBlanks() > 0) continue;
        s.setPos(end);
        s.expectEnd(u"\" and \" and a condition, or the end"_s);
        return terms;
    }
}

std::optional<int> plainIntakeYear(QStringView text)
{
    if (text.size() != 4) return std::nullopt;
    for (QChar c : text)
        if (!isAsciiDigit(c)) return std::nullopt;
    const int year = text.toInt();
    return year >= 1000 ? std::optional<int>(year) : std::nullopt;
}

QList<GradeTerm> gradeTermsFromArgument(GradeField slot, QStringView text)
{
    if (text.isEmpty()) return {};
    if (slot == GradeField::InYear) {
        if (const auto year = plainIntakeYear(text))
            return {GradeTerm{GradeField::InYear, GradeTerm::Match::Equals, *year}};
    } else if (slot == GradeField::GradeCode && isAsciiCode(text, 1, 4)) {
        return {GradeTerm{GradeField::GradeCode, GradeTerm::Match::Equals, text.toString()}};
    }
    return parseGradeFilter(text);
}

} // namespace lumeko::server::grammar
