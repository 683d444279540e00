#pragma once
// The side tree of the main window: the school's sections, their current grades (the grades of
// earlier intakes folded under "历届年级"), and each grade's classes with their students. What is
// selected is the place a function opens on; a double click on a grade or class opens its register.

#include "host/app/navigation.h"

#include <QTreeWidget>

namespace lumeko::host {

class SchoolTree : public QTreeWidget {
    Q_OBJECT
public:
    explicit SchoolTree(QWidget *parent = nullptr);

    // Reads the grade data from the host services again and rebuilds the tree, keeping the
    // selected place where it still exists.
    void reload();
    const QList<SectionNode> &sections() const { return m_sections; }

    Place currentPlace() const;
    // Selects the item of a place; false when the tree does not show it.
    bool select(const Place &place);

Q_SIGNALS:
    void openRequested(const lumeko::host::Place &place);

private:
    QTreeWidgetItem *addItem(QTreeWidgetItem *parent, const QString &text, const QString &icon, const Place &place);
    void addGrade(QTreeWidgetItem *parent, const GradeNode &grade);
    static QString keyOf(const Place &place);

    QList<SectionNode> m_sections;
    QList<Place> m_places; // by the index each item keeps
};

} // namespace lumeko::host
