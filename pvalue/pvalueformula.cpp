#include "pvalue/pvalueformula.h"

namespace lumeko::achieve {

namespace {

// Replaces every bracketed name `from` gives a text for, leaving other brackets alone.
template <class Lookup> QString replaceBrackets(const QString &text, Lookup from)
{
    QString out;
    out.reserve(text.size());
    qsizetype i = 0;
    while (i < text.size()) {
        const qsizetype open = text.indexOf(u'[', i);
        if (open < 0) break;
        const qsizetype close = text.indexOf(u']', open + 1);
        if (close < 0) break;
        out += QStringView(text).mid(i, open - i);
        const QStringView name = QStringView(text).mid(open + 1, close - open - 1);
        const QString replaced = from(name);
        out += replaced.isNull() ? QStringView(text).mid(open, close - open + 1).toString() : replaced;
        i = close + 1;
    }
    out += QStringView(text).mid(i);
    return out;
}

bool isDigitOrPoint(QChar c)
{
    return (c >= u'0' && c <= u'9') || c == u'.';
}

} // namespace

const QList<PValueVariable> &pValueVariables()
{
    static const QList<PValueVariable> variables = {
        {QStringLiteral("应参加人数"), QStringLiteral("nMastNums")},
        {QStringLiteral("总分之和"), QStringLiteral("nTotals")},
        {QStringLiteral("六科满分"), QStringLiteral("nFullTotal6")},
        {QStringLiteral("六科达毕业分数线总人数"), QStringLiteral("nPass6Nums")},
        {QStringLiteral("十科全及格总人数"), QStringLiteral("nPass10Nums")},
        {QStringLiteral("十科每科及格人数之和"), QStringLiteral("nPass10TotalNums")},
        {QStringLiteral("六科总分优秀的总人数"), QStringLiteral("nExcel6Nums")},
        {QStringLiteral("学业质量评估值"), QStringLiteral("NP1")},
        {QStringLiteral("德育评估值"), QStringLiteral("nDYValue")},
        {QStringLiteral("体卫艺术教育评估值"), QStringLiteral("nTWYSJYValue")},
        {QStringLiteral("三年巩固率"), QStringLiteral("nGGPre3")},
        {QStringLiteral("规模值"), QStringLiteral("nRangeValue")},
        {QStringLiteral("辍学生数"), QStringLiteral("nLeaveNums")},
    };
    return variables;
}

QString allSubjectCountCaption()
{
    return QStringLiteral("全科科目数");
}

QString defaultP1Formula()
{
    return QStringLiteral("(([总分之和]/([应参加人数]+[辍学生数]))/[六科满分]*0.2+[六科达毕业分数线总人数]/([应参加人数]+[辍学生数])*0.2+"
                          "[十科全及格总人数]/([应参加人数]+[辍学生数])*0.1+[十科每科及格人数之和]/([全科科目数]*([应参加人数]+[辍学生数]))*0.2+"
                          "[六科总分优秀的总人数]/([应参加人数]+[辍学生数])*0.1)");
}

QString defaultPFormula()
{
    return QStringLiteral("([学业质量评估值]+[德育评估值]*0.1+[体卫艺术教育评估值]*0.1)*[三年巩固率]*100+[规模值]");
}

QString storedFormula(const QString &shown, int entries)
{
    return replaceBrackets(shown, [entries](QStringView name) -> QString {
        if (name == allSubjectCountCaption()) return QString::number(entries);
        for (const PValueVariable &v : pValueVariables())
            if (name == v.caption) return u'[' + v.field + u']';
        return QString();
    });
}

QString shownFormula(const QString &stored, int entries)
{
    QString named = replaceBrackets(stored, [](QStringView name) -> QString {
        for (const PValueVariable &v : pValueVariables())
            if (name.compare(v.field, Qt::CaseInsensitive) == 0) return u'[' + v.caption + u']';
        return QString();
    });
    // The count back to its name: the whole number `entries` right before "*", not the tail of
    // "0.2" or "12" and not inside a bracket.
    const QString number = QString::number(entries) + u'*';
    const QString name = u'[' + allSubjectCountCaption() + QStringLiteral("]*");
    QString out;
    int depth = 0;
    for (qsizetype i = 0; i < named.size();) {
        if (named[i] == u'[')
            ++depth;
        else if (named[i] == u']' && depth > 0)
            --depth;
        if (depth == 0 && QStringView(named).mid(i).startsWith(number) && (i == 0 || !isDigitOrPoint(named[i - 1]))) {
            out += name;
            i += number.size();
            continue;
        }
        out += named[i];
        ++i;
    }
    return out;
}

} // namespace lumeko::achieve
