#include "framework/gradechoices.h"

#include "framework/remotetable.h"
#include "wire/types.h"

namespace lumeko::achieve {

namespace {

void setIfDifferent(DataSet &table, const QString &field, const QVariant &value)
{
    if (!wire::sameValue(table.value(field), value)) table.setValue(field, value);
}

bool isEmptyText(const QVariant &v)
{
    return wire::isNull(v) || v.toString().isEmpty();
}

} // namespace

void mergeTickedChoices(DataSet &choices, DataSet &stored, const ChoiceGrade &grade, const ChoiceFields &fields)
{
    FrozenControls frozen(choices);
    const Bookmark here = choices.bookmark();
    for (choices.first(); !choices.eof(); choices.next()) {
        const QVariant code = choices.value(fields.key);
        const bool has = stored.locate(fields.key, {code});
        if (!choices.value(u"Selected").toBool()) {
            if (has) stored.deleteRecord();
            continue;
        }
        if (has)
            stored.edit();
        else
            stored.append();
        setIfDifferent(stored, fields.key, code);
        setIfDifferent(stored, QStringLiteral("InYear"), grade.inYear);
        setIfDifferent(stored, QStringLiteral("SchoolCode"), grade.school);
        setIfDifferent(stored, QStringLiteral("GradeCode"), grade.grade);
        for (const QString &f : fields.copied) {
            const QVariant v = choices.value(f);
            if (isEmptyText(v) && fields.keptIfEmpty.contains(f)) continue;
            setIfDifferent(stored, f, isEmptyText(v) ? QVariant() : v);
        }
        stored.post();
    }
    if (here >= 0) choices.gotoBookmark(here);
}

} // namespace lumeko::achieve
