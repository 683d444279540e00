#include "organisation/organisationbatch.h"

#include "framework/servercall.h"
#include "framework/sharedroutines.h"
#include "host/pub/pub.h"
#include "toolkit/grid/bandedgrid.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>

namespace lumeko::achieve {

bool sendOrganisationChanges(QWidget *owner, DataSet &table, const wire::protocol::Method &update, const OrganisationSave &texts)
{
    // Described before the save: a stored change is no longer pending.
    const QString described = texts.changeLog.isEmpty() ? QString() : DescribeChanges(table);
    const QString prefix = texts.errorPrefix.isEmpty() ? owner->windowTitle() + QStringLiteral("：") : texts.errorPrefix;
    CallResult saved;
    {
        pub::WaitIndicator wait(owner, texts.wait);
        saved = saveTable(table, update);
    }
    if (saved.outcome == CallResult::Failed) {
        pub::writeLog(prefix + saved.message);
        pub::msgError(failureText(Failure::Save, saved), owner);
        return false;
    }
    if (!texts.callLog.isEmpty()) WriteOperationLog(texts.callLog);
    if (saved.outcome == CallResult::Refused) {
        // Which rows and why: for the administrator who reads the host's log.
        if (!saved.message.isEmpty()) pub::writeLog(prefix + saved.message);
        pub::msgError(failureText(Failure::Save, saved), owner);
        return false;
    }
    if (!texts.changeLog.isEmpty()) WriteOperationLog(texts.changeLog + described);
    if (texts.closeGradeData) pub::closeGradeData();
    pub::msgHint(QStringLiteral("更新成功！"), owner);
    return true;
}

void markLoggedFields(DataSet &table, const BandedGrid &grid)
{
    for (int c = 0; c < grid.columnCount(); ++c) {
        const int f = table.fieldIndex(grid.column(c).field);
        if (f < 0) continue;
        table.fieldInfo(f).tag = 2;
        table.fieldInfo(f).displayLabel = grid.columnCaption(c);
    }
}

void acceptEmptyFields(DataSet &table)
{
    for (int f = 0; f < table.fieldCount(); ++f)
        table.fieldInfo(f).def.flags &= ~wire::FieldDef::Required;
}

QList<LookupItem> teacherLookup(QWidget *owner, const QString &caption)
{
    DataSet teachers;
    if (const CallResult r = loadTable(teachers, protocol::QTeachers, {in(pub::schoolId()), var()}); !r.ok()) {
        reportFailure(owner, caption, r, Failure::Read);
        return {};
    }
    return lookupItems(teachers, u"sCode", u"sName");
}

QList<LookupItem> registryLookup(QWidget *owner, const QString &caption, const QString &listName)
{
    DataSet list;
    if (const CallResult r = loadTable(list, protocol::QRegByType, {in(listName), var()}); !r.ok()) {
        reportFailure(owner, caption, r, Failure::Read);
        return {};
    }
    return lookupItems(list, u"sKeyId", u"sValue");
}

SchoolCampuses schoolCampuses()
{
    SchoolCampuses campuses;
    DataSet record;
    if (const CallResult r = loadTable(record, protocol::QSchoolInfo, {in(pub::schoolId()), var()}); !r.ok() || record.isEmpty()) {
        if (!r.ok()) pub::writeLog(QStringLiteral("读取学校信息失败，错误:") + r.message);
        return campuses;
    }
    QVariant flag;
    campuses.hasSub = wire::coerceValue(record.value(u"bHasSub"), wire::FieldType::Boolean, &flag) && flag.toBool();
    campuses.mainCap = record.value(u"sMainCap").toString();
    campuses.subCap = record.value(u"sSubCap").toString();
    return campuses;
}

void setLookup(BandedGrid &grid, const char *field, const QList<LookupItem> &items)
{
    const int c = grid.columnOfField(QString::fromLatin1(field));
    if (c < 0) return;
    GridColumn column = grid.column(c);
    column.editor = EditorKind::Lookup;
    column.lookup = items;
    grid.updateColumn(c, column);
}

QString threeDigitCode(qint64 number)
{
    return QStringLiteral("%1").arg(number, 3, 10, QChar(u'0'));
}

QString gradeNameOf(const QString &gradeCode)
{
    const wire::DataPacket names = pub::gradeNames();
    const int key = names.fieldIndex(QStringLiteral("sKeyId")), value = names.fieldIndex(QStringLiteral("sValue"));
    if (key < 0 || value < 0) return gradeCode;
    for (qsizetype r = 0; r < names.rowCount(); ++r)
        if (names.value(r, key).toString() == gradeCode) return names.value(r, value).toString();
    return gradeCode;
}

// ---- the grade of a grade dialog --------------------------------------------------------------

GradeChooser::GradeChooser(const QString &chooserCaption, QWidget *parent) : QWidget(parent), m_caption(chooserCaption)
{
    lblGrade = new QLabel(this);
    cbGrade = new QComboBox(this);
    cbGrade->setMinimumWidth(160);
    cbGrade->hide();
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(lblGrade);
    row->addWidget(cbGrade);
    row->addStretch(1);
    connect(cbGrade, &QComboBox::activated, this, [this] {
        takeChoice();
        Q_EMIT gradeChanged();
    });
}

void GradeChooser::fillCurrentGrades()
{
    cbGrade->clear();
    DataSet grades;
    grades.setData(pub::gradeList());
    if (grades.fieldIndex(u"bCurGrade") < 0) return;
    for (grades.first(); !grades.eof(); grades.next()) {
        if (grades.value(u"bCurGrade").toString() != u"Y") continue;
        const QString code = grades.value(u"GradeCode").toString(), year = grades.value(u"InYear").toString();
        cbGrade->addItem(year + QStringLiteral("级") + gradeNameOf(code), code + u',' + year);
    }
}

void GradeChooser::takeChoice()
{
    const QStringList value = cbGrade->currentData().toString().split(u',');
    if (value.size() != 2) {
        m_grade = {};
        return;
    }
    m_grade.code = value[0];
    m_grade.inYear = value[1].toInt();
    m_grade.name = gradeNameOf(m_grade.code);
}

void GradeChooser::setUp(const QStringList &params)
{
    if (params.size() < 4) {
        fillCurrentGrades();
        lblGrade->setText(m_caption);
        cbGrade->show();
        takeChoice();
        return;
    }
    m_grade.inYear = params[0].trimmed().toInt();
    m_grade.code = params[1].trimmed().left(4);
    m_grade.name = params[2].trimmed();
    const bool current = params[3].trimmed() == u"Y";
    if (current && m_grade.code.size() == 4) {
        fillCurrentGrades();
        lblGrade->setText(m_caption);
        cbGrade->show();
        const int at = cbGrade->findData(m_grade.code + u',' + QString::number(m_grade.inYear));
        if (at >= 0) {
            cbGrade->setCurrentIndex(at);
            takeChoice();
        } else {
            // A grade the list does not have (yet): the dialog stays on the one it was given.
            cbGrade->insertItem(0, QString::number(m_grade.inYear) + QStringLiteral("级") + m_grade.name,
                                m_grade.code + u',' + QString::number(m_grade.inYear));
            cbGrade->setCurrentIndex(0);
        }
        return;
    }
    cbGrade->hide();
    lblGrade->setText(m_grade.code.size() == 4 ? QStringLiteral("当前年级：%1级%2").arg(m_grade.inYear).arg(m_grade.name) : m_grade.name);
}

} // namespace lumeko::achieve

namespace lumeko::achieve {

bool numberNewRows(QWidget *owner, const QString &caption, DataSet &table, const wire::protocol::Method &highest, const QString &codeField)
{
    QList<wire::Argument> args{in(pub::schoolId())};
    const CallResult answer = callServer(highest, args);
    if (!answer.ok()) {
        reportFailure(owner, caption, answer, Failure::Connection);
        return false;
    }
    const QString *text = std::get_if<QString>(&answer.result);
    const qint64 from = text ? text->toLongLong() : 0;
    FrozenControls frozen(table);
    const Bookmark here = table.bookmark();
    int added = 0;
    for (table.first(); !table.eof(); table.next()) {
        if (table.updateStatus() != RowStatus::Inserted) continue;
        table.edit();
        table.setValue(codeField, threeDigitCode(from + ++added));
        table.setValue(u"SchoolCode", pub::schoolId());
        table.post();
    }
    if (here >= 0) table.gotoBookmark(here);
    return true;
}

std::optional<bool> codeInUse(QWidget *owner, const QString &caption, const QString &table, const QString &field, const QString &code)
{
    QList<wire::Argument> args{in(pub::schoolId()), in(table), in(field), in(u'\'' + code + u'\'')};
    const CallResult used = callServer(protocol::QCheckData, args);
    if (!used.ok()) {
        reportFailure(owner, caption, used, Failure::Read);
        return std::nullopt;
    }
    const qint64 *count = std::get_if<qint64>(&used.result);
    return count && *count >= 1;
}

} // namespace lumeko::achieve
