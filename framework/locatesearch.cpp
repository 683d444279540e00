#include "framework/locatesearch.h"

#include "toolkit/data/dataset.h"

namespace lumeko::achieve {

bool LocateSearch::matches(const QString &value, const QString &text, bool byInitials, bool wholeText) const
{
    if (byInitials) return m_initials.initials(value).startsWith(text.trimmed().toLower());
    if (wholeText) return value == text;
    return value.contains(text);
}

LocateSearch::Result LocateSearch::find(const QString &field, const QString &text, bool byInitials, bool wholeText)
{
    const bool fromStart = m_restart;
    bool found = false;
    if (m_table && m_table->isActive() && m_table->fieldIndex(field) >= 0) {
        const qsizetype home = m_table->recNo();
        m_table->disableControls();
        // next() on the last row sets eof without moving, which ends the walk.
        if (fromStart) m_table->first();
        else m_table->next();
        for (; !m_table->eof(); m_table->next()) {
            if (matches(m_table->fieldByName(field).asString(), text, byInitials, wholeText)) {
                found = true;
                break;
            }
        }
        if (!found && home >= 0) m_table->moveTo(home);
        m_table->enableControls();
    }
    m_restart = !found;
    if (found) return Result::Found;
    return fromStart ? Result::NotFound : Result::NoMore;
}

} // namespace lumeko::achieve
