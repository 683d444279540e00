#pragma once
// "我的桌面", the first tab after sign-in: who is signed in to which school, the current school
// year, the grades the user sees with their classes and students, and the latest exams of those
// grades with a way into their score sheets.

#include "host/app/navigation.h"

#include <QWidget>

class QLabel;
class QTreeWidget;

namespace lumeko::host {

// The school year a day falls in: from September on it began this calendar year, before that
// the year before.
int schoolYearStart(const QDate &day);

class DeskTab : public QWidget {
    Q_OBJECT
public:
    explicit DeskTab(QWidget *parent = nullptr);

    // Fills the desk from the sections the tree shows and the server's latest exams; `scoreSheets`
    // says whether the module offers the score sheet, so that an exam's link can work.
    void reload(const QList<SectionNode> &sections, bool scoreSheets);

    QTreeWidget *grades() const { return m_grades; }
    QTreeWidget *exams() const { return m_exams; }
    QLabel *who() const { return m_who; }

Q_SIGNALS:
    void openRequested(const lumeko::host::Place &place);
    // The parameter text and caption of an exam's score sheet.
    void scoreSheetRequested(const QString &params, const QString &caption);

private:
    QString roleNames() const;

    QLabel *m_who;
    QTreeWidget *m_grades;
    QTreeWidget *m_exams;
    QLabel *m_noExams;
    QList<Place> m_gradePlaces;
};

} // namespace lumeko::host
