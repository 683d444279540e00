#include "host/app/schooltree.h"

#include "host/pub/pub.h"

#include <QHeaderView>

namespace lumeko::host {

namespace {
constexpr int kPlaceRole = Qt::UserRole + 1;
}

SchoolTree::SchoolTree(QWidget *parent) : QTreeWidget(parent)
{
    setObjectName(QStringLiteral("SchoolTree"));
    setColumnCount(2);
    setHeaderLabels({QStringLiteral("年级与班级"), QStringLiteral("人数")});
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(0, QHeaderView::Stretch);
    header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    setUniformRowHeights(true);
    setExpandsOnDoubleClick(false);
    connect(this, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem *item) {
        const Place p = m_places.value(item->data(0, kPlaceRole).toInt());
        if (p.kind == Place::Grade || p.kind == Place::Class)
            Q_EMIT openRequested(p);
        else
            item->setExpanded(!item->isExpanded());
    });
}

QString SchoolTree::keyOf(const Place &p)
{
    switch (p.kind) {
    case Place::Section:
        return QString(p.stage);
    case Place::Grade:
        return QStringLiteral("%1|%2").arg(p.grade.inYear).arg(p.grade.code);
    case Place::Class:
        return QStringLiteral("%1|%2|%3").arg(p.grade.inYear).arg(p.grade.code, p.schoolClass.code);
    case Place::Nothing:
        break;
    }
    return {};
}

QTreeWidgetItem *SchoolTree::addItem(QTreeWidgetItem *parent, const QString &text, const QString &icon, const Place &place)
{
    auto *item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(this);
    item->setText(0, text);
    item->setIcon(0, pub::styleIcon(icon));
    item->setData(0, kPlaceRole, int(m_places.size()));
    m_places << place;
    return item;
}

void SchoolTree::addGrade(QTreeWidgetItem *parent, const GradeNode &grade)
{
    QTreeWidgetItem *g = addItem(parent, grade.text(), QStringLiteral("Grade"), gradePlace(grade));
    g->setText(1, QString::number(grade.students));
    g->setToolTip(0, QStringLiteral("%1：%2 个班，%3 名学生；双击打开学籍档案").arg(grade.text()).arg(grade.classes.size()).arg(grade.students));
    for (const GradeNode::Class &c : grade.classes) {
        QTreeWidgetItem *item =
            addItem(g, c.area.isEmpty() ? c.name : QStringLiteral("%1（%2）").arg(c.name, c.area), QStringLiteral("Class"), classPlace(grade, c));
        item->setText(1, QString::number(c.students));
    }
}

void SchoolTree::reload()
{
    const QString selected = keyOf(currentPlace());
    clear();
    m_places.clear();
    m_places << Place{}; // index 0: the "历届年级" folders, which open nothing
    m_sections = buildSections(pub::gradeList(), pub::gradeNames(), pub::schoolOutline(), Viewer{pub::userCode(), pub::viewAllGrade(), pub::viewAllClass()});
    for (const SectionNode &s : m_sections) {
        QTreeWidgetItem *section = addItem(nullptr, s.name, QStringLiteral("School"), sectionPlace(s));
        qint64 students = 0;
        for (const GradeNode &g : s.current) {
            addGrade(section, g);
            students += g.students;
        }
        section->setText(1, QString::number(students));
        section->setExpanded(true);
        if (!s.history.isEmpty()) {
            auto *history = new QTreeWidgetItem(section, {QStringLiteral("历届年级")});
            history->setIcon(0, pub::styleIcon(QStringLiteral("History")));
            history->setData(0, kPlaceRole, 0);
            for (const GradeNode &g : s.history)
                addGrade(history, g);
        }
    }
    for (QTreeWidgetItemIterator it(this); *it; ++it)
        if (keyOf(m_places.value((*it)->data(0, kPlaceRole).toInt())) == selected && !selected.isEmpty()) setCurrentItem(*it);
}

Place SchoolTree::currentPlace() const
{
    const QTreeWidgetItem *item = currentItem();
    return item ? m_places.value(item->data(0, kPlaceRole).toInt()) : Place{};
}

bool SchoolTree::select(const Place &place)
{
    const QString key = keyOf(place);
    if (key.isEmpty()) return false;
    for (QTreeWidgetItemIterator it(this); *it; ++it) {
        if (keyOf(m_places.value((*it)->data(0, kPlaceRole).toInt())) != key) continue;
        setCurrentItem(*it);
        return true;
    }
    return false;
}

} // namespace lumeko::host
