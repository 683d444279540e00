#pragma once
// The school as staff find their way through it: sections (小学, 初中, 高中), their current grades
// (and, apart, the last grades of intakes that have left the school, or earlier grade records that
// still hold students), and each grade's classes with their students. Built
// from the grade list, the grade names and the school outline the host services read, limited to
// what the signed-in teacher may see. No widgets: the tree and the desk show it.

#include "wire/packet.h"

#include <QList>
#include <QString>

namespace lumeko::host {

// One grade of one intake year.
struct GradeNode {
    struct Class {
        QString code, name, area;
        qint64 students = 0;
    };
    int inYear = 0;
    QString code, name;
    bool current = true;
    QString schoolYear; // "2026~2027学年", the school year of the record
    QString leaders;    // the grade's TeacherCode + ";" + SubTeacherCode
    QList<Class> classes;
    qint64 students = 0; // every student of the grade, in a listed class or not

    QString text() const; // "2025级七年级"
};

struct SectionNode {
    QChar stage; // the first character of its grade codes: '0', '1', '2'
    QString name;
    QList<GradeNode> current, history; // newest intake first
};

// Who looks: a teacher who may not view every grade sees the grades he leads or has a class in;
// one who may not view every class sees only his own classes, unless he leads the grade.
struct Viewer {
    QString userCode;
    bool allGrades = true;
    bool allClasses = true;
};

// "小学", "初中", "高中"; empty for a stage character the school system does not know.
QString sectionName(QChar stage);

QList<SectionNode> buildSections(const wire::DataPacket &gradeList, const wire::DataPacket &gradeNames, const wire::DataPacket &outline, const Viewer &viewer);

// What a function is opened on: a section, a grade or one class of a grade.
struct Place {
    enum Kind { Nothing, Section, Grade, Class } kind = Nothing;
    QChar stage;
    QString sectionName;
    GradeNode grade;              // for Grade and Class
    GradeNode::Class schoolClass; // for Class

    // What a tab shows after the function's name: "初中", "2025级七年级", "2025级七年级 701班".
    QString text() const;
    // The same place one level up: the class's grade; a grade and a section stay as they are.
    Place gradeOnly() const;
};

Place sectionPlace(const SectionNode &section);
Place gradePlace(const GradeNode &grade);
Place classPlace(const GradeNode &grade, const GradeNode::Class &c);

// The grade a host chooser answered ("InYear,GradeCode,grade name,current flag"): as the sections
// know it, or as the answer names it; Nothing when the answer is "CANCEL", empty or no grade.
Place placeOfChoice(const QString &answer, const QList<SectionNode> &sections);

} // namespace lumeko::host
