#include "host/app/functions.h"

#include "toolkit/data/commatext.h"

namespace lumeko::host {

namespace {

const char *const kOrganisation = "学校组织";
const char *const kRegister = "学籍";
const char *const kExams = "考试成绩";
const char *const kSchoolYear = "学年";

const HostFunction kFunctions[] = {
    {"4001", "ShowGradeForm", ExportKind::Dialog, Needs::Nothing, kOrganisation},
    {"4002", "ShowClassForm", ExportKind::Dialog, Needs::Nothing, kOrganisation},
    {"4003", "ShowSubjectForm", ExportKind::Dialog, Needs::Nothing, kOrganisation},
    {"4004", "ShowDeptForm", ExportKind::Dialog, Needs::Nothing, kOrganisation},
    {"4006", "ShowGradeClassFDlg", ExportKind::DialogWithParams, Needs::Grade, kOrganisation},
    {"4007", "ShowGradeSubjectFDlg", ExportKind::DialogWithParams, Needs::Grade, kOrganisation},
    {"4008", "ShowCourseTablePage", ExportKind::Page, Needs::GradeOrSection, kOrganisation},
    {"4010", "ShowTeacherPage", ExportKind::Page, Needs::AllDepartments, kOrganisation},
    {"4009", "ShowStudentPage", ExportKind::Page, Needs::Place, kRegister},
    {"4005", "ShowExamInfoForm", ExportKind::Dialog, Needs::Nothing, kExams},
    {"4029", "ShowSysExamDefFDlg", ExportKind::DialogWithParams, Needs::Grade, kExams},
    {"4030", "ShowExamDefFDlg", ExportKind::DialogWithParams, Needs::Grade, kExams},
    {"4031", "ShowExamMrgPage", ExportKind::Page, Needs::GradeOrSection, kExams},
    {"4011", "ShowExamMrgPage", ExportKind::Page, Needs::Exam, kExams},
    {"4032", "ShowPValPage", ExportKind::Page, Needs::Nothing, kExams},
    {"4012", "ShowGradeDefForm", ExportKind::Dialog, Needs::Nothing, kSchoolYear},
    {"4013", "ShowUpGradeForm", ExportKind::Dialog, Needs::Nothing, kSchoolYear},
};

// "InYear,GradeCode,grade name,current flag,the grade's leaders": what every grade page and grade
// dialog reads first. A section is stage code and intake year 0, its current grades.
QStringList gradeItems(const Place &p)
{
    if (p.kind == Place::Section) return {QStringLiteral("0"), QString(p.stage), p.sectionName, QStringLiteral("Y"), QString()};
    return {QString::number(p.grade.inYear), p.grade.code, p.grade.name, p.grade.current ? QStringLiteral("Y") : QStringLiteral("N"), p.grade.leaders};
}

} // namespace

const HostFunction *hostFunction(const QString &id)
{
    for (const HostFunction &f : kFunctions)
        if (id == QLatin1StringView(f.id)) return &f;
    return nullptr;
}

QStringList functionGroups()
{
    return {QString::fromUtf8(kOrganisation), QString::fromUtf8(kRegister), QString::fromUtf8(kExams), QString::fromUtf8(kSchoolYear)};
}

std::optional<QString> parametersFor(const HostFunction &f, const Place &place)
{
    switch (f.needs) {
    case Needs::Nothing:
        return QString();
    // Two items, both empty: the teachers of every department.
    case Needs::AllDepartments:
        return QStringLiteral(",");
    case Needs::Place: {
        if (place.kind == Place::Nothing) return std::nullopt;
        QStringList items = gradeItems(place);
        if (place.kind == Place::Class) items << place.schoolClass.code;
        return joinCommaText(items);
    }
    case Needs::GradeOrSection:
    case Needs::Exam:
        if (place.kind == Place::Nothing) return std::nullopt;
        return joinCommaText(gradeItems(place.gradeOnly()));
    case Needs::Grade:
        if (place.kind != Place::Grade && place.kind != Place::Class) return std::nullopt;
        return joinCommaText(gradeItems(place.gradeOnly()));
    }
    return std::nullopt;
}

QString scoreSheetParameters(const wire::DataPacket &exams, qsizetype row, const QString &gradeName)
{
    const auto text = [&](const char *field) {
        const int f = exams.fieldIndex(QString::fromLatin1(field));
        return f < 0 ? QString() : exams.value(row, f).toString();
    };
    const QString gradeText = text("InYear") + QStringLiteral("级") + gradeName;
    return joinCommaText({text("InYear"), text("GradeCode"), gradeName, text("bCurGrade") == u"N" ? QStringLiteral("N") : QStringLiteral("Y"),
                          text("TeacherCode") + u';' + text("SubTeacherCode"), text("Subjects"), text("ExamCode"), text("PageName"),
                          gradeText + u'.' + text("ExamName")});
}

} // namespace lumeko::host
