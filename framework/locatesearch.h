#pragma once
// The search behind the find dialog: from the first row, or on from the current one, to the next
// row whose chosen field matches the text: by the initials of its Chinese characters ("zs" finds
// 张三), as a whole text, or anywhere in the text.

#include "framework/achieve_export.h"

#include "toolkit/data/chinese.h"

namespace lumeko {
class DataSet;
}

namespace lumeko::achieve {

class LUMEKO_ACHIEVE_EXPORT LocateSearch {
public:
    enum class Result { Found, NotFound, NoMore };

    void setTable(DataSet *table) { m_table = table; m_restart = true; }
    void setInitials(PinyinTable table) { m_initials = std::move(table); }
    const PinyinTable &initials() const { return m_initials; }

    // Any change of field, text or option makes the next search start at the first row.
    void restart() { m_restart = true; }
    bool restarts() const { return m_restart; }

    // Moves the table to the next matching row; when nothing matches, the table stays on the row
    // it was on. NotFound when the search had started at the first row, NoMore when it went on.
    Result find(const QString &field, const QString &text, bool byInitials, bool wholeText);

private:
    bool matches(const QString &value, const QString &text, bool byInitials, bool wholeText) const;

    DataSet *m_table = nullptr;
    PinyinTable m_initials;
    bool m_restart = true;
};

} // namespace lumeko::achieve
