#pragma once
// The subjects of an exam while the wizard or the management page edits them: ticking a subject
// gives it its marks (100 when it has none), unticking it is refused while it has scores, typing a
// full mark applies the full-mark rule; then the ticked subjects go into the stored subject rows
// and the 3 × 8 totals are summed over them.

#include "domain/examrules.h"
#include "toolkit/data/dataset.h"

#include <QHash>
#include <QObject>

#include <functional>

class QWidget;

namespace lumeko::achieve {

// The five values that name an exam, and its alias.
struct ExamIdentity {
    QString school, grade, code, page, name;
    int inYear = 0;
};

class ExamSubjects : public QObject {
    Q_OBJECT
public:
    // `subjects` is the choice list (QExamSubjects: Freeze marks a ticked subject); `identity`
    // answers the exam being edited when a scored subject is asked about.
    ExamSubjects(DataSet &subjects, QWidget *owner, std::function<ExamIdentity()> identity);

    // Takes what the list shows now as handled: the ticks and full marks the server gave.
    void remember();
    // Whether ticks and full marks are being handled (only while the owner edits).
    void setActive(bool on) { m_active = on; }
    // Runs a change of the list that is no user's edit (a copy, a select-all) without the rules.
    void quietly(const std::function<void()> &change);
    void selectAll(bool on);
    bool anySelected();

    // The ticked subjects into the stored rows of the exam (QExamSubjectForUp), a row each; those
    // no longer ticked, or no longer offered, lose theirs.
    void mergeInto(DataSet &stored, const ExamIdentity &exam);
    domain::ExamTotals totals();

    // The eight level marks in the order of the totals' columns and the header's suffixes.
    static const char *const kMarkFields[8];
    static const domain::Mark kMarkOrder[8];

private:
    void rowChanged();
    // What a row held when it was last handled: its tick, its eight marks and its weight.
    struct Snapshot {
        bool selected = false;
        QVariantList marks;
        QVariant per;
    };
    Snapshot snapshot() const;
    QString outOfRange() const;

    DataSet &m_subjects;
    QWidget *m_owner;
    std::function<ExamIdentity()> m_identity;
    bool m_active = true;
    bool m_adjusting = false;
    QHash<QString, Snapshot> m_seen; // by subject
};

} // namespace lumeko::achieve
