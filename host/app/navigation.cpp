#include "host/app/navigation.h"

#include <QHash>
#include <QSet>

#include <algorithm>

namespace lumeko::host {

namespace {

// A packet's rows read by field name; a field the packet lacks reads as null.
class Rows {
public:
    explicit Rows(const wire::DataPacket &p) : m_p(p) {}
    qsizetype count() const { return m_p.rowCount(); }
    QVariant at(qsizetype row, const char *field) const
    {
        const int f = m_p.fieldIndex(QString::fromLatin1(field));
        return f < 0 ? QVariant() : m_p.value(row, f);
    }
    QString text(qsizetype row, const char *field) const { return at(row, field).toString(); }

private:
    const wire::DataPacket &m_p;
};

QString gradeKey(qint64 inYear, const QString &code)
{
    return QString::number(inYear) + u'|' + code;
}

// A grade record stays behind each year an intake moves up; its students move with the intake. Of
// the earlier records a section shows those that still hold students, and for an intake that has
// left the school (no current grade) the grades of its last school year, where its register is.
void keepGraduatedIntakes(SectionNode &s)
{
    QSet<int> currentIntakes;
    for (const GradeNode &g : s.current)
        currentIntakes.insert(g.inYear);
    QHash<int, QString> lastYear;
    for (const GradeNode &g : s.history)
        if (g.schoolYear > lastYear.value(g.inYear)) lastYear.insert(g.inYear, g.schoolYear);
    s.history.removeIf([&](const GradeNode &g) { return g.students == 0 && (currentIntakes.contains(g.inYear) || lastYear.value(g.inYear) != g.schoolYear); });
}

} // namespace

QString GradeNode::text() const
{
    return QStringLiteral("%1级%2").arg(inYear).arg(name);
}

QString sectionName(QChar stage)
{
    switch (stage.unicode()) {
    case u'0':
        return QStringLiteral("小学");
    case u'1':
        return QStringLiteral("初中");
    case u'2':
        return QStringLiteral("高中");
    default:
        return {};
    }
}

QList<SectionNode> buildSections(const wire::DataPacket &gradeList, const wire::DataPacket &gradeNames, const wire::DataPacket &outline, const Viewer &viewer)
{
    QHash<QString, QString> nameOf;
    const Rows names(gradeNames);
    for (qsizetype r = 0; r < names.count(); ++r)
        nameOf.insert(names.text(r, "sKeyId"), names.text(r, "sValue"));

    // The classes and student counts of each grade; which of them are the viewer's own.
    struct Outline {
        QList<GradeNode::Class> classes, mine;
        qint64 students = 0;
    };
    QHash<QString, Outline> outlineOf;
    const Rows classes(outline);
    for (qsizetype r = 0; r < classes.count(); ++r) {
        Outline &o = outlineOf[gradeKey(classes.at(r, "InYear").toLongLong(), classes.text(r, "GradeCode"))];
        const qint64 students = classes.at(r, "nStudents").toLongLong();
        o.students += students;
        if (classes.text(r, "ClassName").isEmpty()) continue; // students of a class the grade does not list
        const GradeNode::Class c{classes.text(r, "ClassCode"), classes.text(r, "ClassName"), classes.text(r, "sArea"), students};
        o.classes << c;
        if (classes.at(r, "bMine").toInt() != 0) o.mine << c;
    }

    QList<SectionNode> sections;
    const Rows grades(gradeList);
    for (qsizetype r = 0; r < grades.count(); ++r) {
        GradeNode g;
        g.code = grades.text(r, "GradeCode");
        g.inYear = int(grades.at(r, "InYear").toLongLong());
        const QString stageName = sectionName(g.code.isEmpty() ? QChar() : g.code.front());
        if (stageName.isEmpty() || g.code.size() != 4) continue;
        g.name = nameOf.value(g.code, g.code);
        g.current = grades.text(r, "bCurGrade") != u"N";
        g.schoolYear = grades.text(r, "sYear");
        const QString head = grades.text(r, "TeacherCode"), deputy = grades.text(r, "SubTeacherCode");
        g.leaders = head + u';' + deputy;
        const Outline o = outlineOf.value(gradeKey(g.inYear, g.code));
        g.students = o.students;
        const bool leads = !viewer.userCode.isEmpty() && (head == viewer.userCode || deputy == viewer.userCode);
        g.classes = viewer.allClasses || leads ? o.classes : o.mine;
        if (!viewer.allGrades && !leads && o.mine.isEmpty()) continue;

        auto section = std::find_if(sections.begin(), sections.end(), [&](const SectionNode &s) { return s.stage == g.code.front(); });
        if (section == sections.end()) section = sections.insert(sections.end(), SectionNode{g.code.front(), stageName, {}, {}});
        (g.current ? section->current : section->history) << g;
    }
    for (SectionNode &s : sections)
        keepGraduatedIntakes(s);
    std::sort(sections.begin(), sections.end(), [](const SectionNode &a, const SectionNode &b) { return a.stage < b.stage; });
    // The lowest grade first within a section, as a school lists them; history newest first.
    for (SectionNode &s : sections) {
        std::stable_sort(s.current.begin(), s.current.end(), [](const GradeNode &a, const GradeNode &b) { return a.code < b.code; });
        std::stable_sort(s.history.begin(), s.history.end(), [](const GradeNode &a, const GradeNode &b) { return a.inYear > b.inYear; });
    }
    return sections;
}

QString Place::text() const
{
    switch (kind) {
    case Section:
        return sectionName;
    case Grade:
        return grade.text();
    case Class:
        return grade.text() + u' ' + schoolClass.name;
    case Nothing:
        break;
    }
    return {};
}

Place Place::gradeOnly() const
{
    if (kind != Class) return *this;
    Place p = *this;
    p.kind = Grade;
    p.schoolClass = {};
    return p;
}

Place sectionPlace(const SectionNode &section)
{
    Place p;
    p.kind = Place::Section;
    p.stage = section.stage;
    p.sectionName = section.name;
    return p;
}

Place gradePlace(const GradeNode &grade)
{
    Place p;
    p.kind = Place::Grade;
    p.stage = grade.code.isEmpty() ? QChar() : grade.code.front();
    p.sectionName = sectionName(p.stage);
    p.grade = grade;
    return p;
}

Place classPlace(const GradeNode &grade, const GradeNode::Class &c)
{
    Place p = gradePlace(grade);
    p.kind = Place::Class;
    p.schoolClass = c;
    return p;
}

Place placeOfChoice(const QString &answer, const QList<SectionNode> &sections)
{
    const QStringList items = answer.split(u',');
    if (items.size() < 2 || items.front() == u"CANCEL") return {};
    bool isYear = false;
    const int inYear = items[0].toInt(&isYear);
    if (!isYear) return {};
    for (const SectionNode &s : sections)
        for (const QList<GradeNode> *list : {&s.current, &s.history})
            for (const GradeNode &g : *list)
                if (g.inYear == inYear && g.code == items[1]) return gradePlace(g);
    // A grade the tree does not show to this teacher: the chooser's own words for it.
    if (items[1].size() != 4 || sectionName(items[1].front()).isEmpty()) return {};
    GradeNode g;
    g.inYear = inYear;
    g.code = items[1];
    g.name = items.value(2, g.code);
    g.current = items.value(3) != u"N";
    g.leaders = QStringLiteral(";");
    return gradePlace(g);
}

} // namespace lumeko::host
