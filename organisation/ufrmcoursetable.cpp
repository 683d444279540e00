#include "organisation/ufrmcoursetable.h"

#include "framework/editcycle.h"
#include "framework/remotetable.h"
#include "framework/servercall.h"
#include "framework/sharedroutines.h"
#include "host/pub/pub.h"
#include "toolkit/grid/bandedgrid.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QScopedValueRollback>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QUuid>
#include <QVBoxLayout>

#include <algorithm>
#include <optional>

namespace lumeko::achieve {

namespace {

// What the host's log lines of this page begin with.
const QString kCaption = QStringLiteral("教师任课表");
const QString kBlocked = QStringLiteral("XXX");
const QString kRowNo = QStringLiteral("RowNo");

QString subjectField(const QString &code)
{
    return QStringLiteral("S") + code;
}

// A name as it is stored: without any blank, also not one inside ("张 三" is 张三).
QString withoutBlanks(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text)
        if (!c.isSpace()) out += c;
    return out;
}

QString keyText(const QVariant &v)
{
    return wire::isNull(v) ? QString() : v.toString().trimmed();
}

// Sets a teacher field of the current row when it names another teacher than it does.
void setTeacher(DataSet &table, QStringView field, const QString &teacher)
{
    if (keyText(table.value(field)) == teacher) return;
    table.edit();
    table.setValue(field, teacher.isEmpty() ? QVariant() : QVariant(teacher));
    table.post();
}

} // namespace

TfrmCourseTable::TfrmCourseTable(QWidget *parent) : QWidget(parent)
{
    setWindowTitle(QStringLiteral("课表设置"));
    for (DataSet **d :
         {&cdsSubjectNames, &cdsGrades, &cdsGradeNames, &cdsSubjects, &cdsGradeClass, &cdsData, &cdsTeachers, &cdsClassNames, &cdsSchoolInfo, &cdsSheet})
        *d = new DataSet(this);

    const auto action = [this](const char *caption, const char *icon, const char *hint, int tag) {
        auto *a = new QAction(pub::styleIcon(QString::fromLatin1(icon)), QString::fromUtf8(caption), this);
        a->setToolTip(hint ? QString::fromUtf8(hint) : a->text());
        if (hint) a->setStatusTip(QString::fromUtf8(hint));
        a->setProperty("lumekoTag", tag);
        addAction(a);
        return a;
    };
    ActEdit = action("编辑", "Edit", nullptr, 2);
    ActSave = action("保存", "Save", nullptr, 0);
    ActCancel = action("取消", "Cancel", nullptr, 0);
    ActPut = action("填充", "Insert", nullptr, 0);
    ActClear = action("清空", "Delete", nullptr, 0);
    ActClearALL = action("全部清空", "Delete", nullptr, 0);
    ActCopy = action("复制", "Copy", "复制选取区域", 0);
    ActCopyALL = action("复制", "Copy", "复制全部(含标题)", 0);
    ActPaste = action("粘贴", "Import", nullptr, 0);
    ActImport = action("导入", "Import", "从粘贴板导入数据", 5);
    ActFresh = action("刷新", "Fresh", nullptr, 0);
    ActTranRight = action("同步", "Check", "同步课表设置到用户权限", 2);
    ActHelp = action("帮助", "Help", nullptr, 0);
    ActHelp->setShortcut(QKeySequence(Qt::Key_F1));
    ActHelp->setShortcutContext(Qt::WidgetWithChildrenShortcut);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    tlbTools = new QToolBar(this);
    tlbTools->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    tlbTools->setIconSize(QSize(24, 24));
    tlbTools->addActions({ActEdit, ActSave, ActCancel});
    tlbTools->addSeparator();
    tlbTools->addActions({ActPut, ActClear, ActClearALL});
    tlbTools->addSeparator();
    tlbTools->addActions({ActCopy, ActImport});
    tlbTools->addSeparator();
    tlbTools->addActions({ActFresh, ActTranRight, ActHelp});
    // One 复制 button; its menu tells the two kinds apart.
    auto *copyMenu = new QMenu(this);
    copyMenu->addAction(ActCopy->statusTip(), ActCopy, &QAction::trigger);
    copyMenu->addAction(ActCopyALL->statusTip(), ActCopyALL, &QAction::trigger);
    if (auto *b = qobject_cast<QToolButton *>(tlbTools->widgetForAction(ActCopy))) {
        b->setMenu(copyMenu);
        b->setPopupMode(QToolButton::MenuButtonPopup);
    }
    layout->addWidget(tlbTools);

    auto *body = new QHBoxLayout;
    body->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(body, 1);
    sGrid = new BandedGrid(this);
    sGrid->setDataSet(cdsSheet);
    sGrid->setGroupByBoxVisible(false);
    sGrid->setBandCaptionsVisible(false);
    sGrid->setFooterVisible(false);
    sGrid->setFixedColumnCount(2);
    body->addWidget(sGrid, 1);

    auto *side = new QWidget(this);
    side->setFixedWidth(190);
    auto *panel = new QVBoxLayout(side);
    panel->setContentsMargins(6, 6, 6, 6);
    panel->addWidget(new QLabel(QStringLiteral("快速查找"), side));
    auto *search = new QHBoxLayout;
    edSearch = new QLineEdit(side);
    edSearch->setToolTip(QStringLiteral("拼音首字母"));
    edSearch->setPlaceholderText(QStringLiteral("拼音首字母"));
    btnSearch = new QToolButton(side);
    btnSearch->setIcon(pub::styleIcon(QStringLiteral("Find")));
    btnSearch->setToolTip(QStringLiteral("查找"));
    search->addWidget(edSearch, 1);
    search->addWidget(btnSearch);
    panel->addLayout(search);
    lstTeachers = new QListWidget(side);
    panel->addWidget(lstTeachers, 1);
    panel->addWidget(new QLabel(QStringLiteral("分隔符"), side));
    cbSeparator = new QComboBox(side);
    cbSeparator->addItem(QStringLiteral("制表符(TAB)"), QStringLiteral("\t"));
    cbSeparator->addItem(QStringLiteral("逗号(,)"), QStringLiteral(","));
    cbSeparator->addItem(QStringLiteral("空格( )"), QStringLiteral(" "));
    panel->addWidget(cbSeparator);
    chkAutoAdd = new QCheckBox(QStringLiteral("未知教师自动增加"), side);
    panel->addWidget(chkAutoAdd);
    body->addWidget(side);

    auto *menu = new QMenu(this);
    menu->addActions({ActEdit, ActPut, ActClear, ActCopy, ActPaste});
    sGrid->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(sGrid, &QWidget::customContextMenuRequested, this, [this, menu](const QPoint &p) { menu->popup(sGrid->mapToGlobal(p)); });

    connect(ActEdit, &QAction::triggered, this, &TfrmCourseTable::ActEditExecute);
    connect(ActSave, &QAction::triggered, this, &TfrmCourseTable::ActSaveExecute);
    connect(ActCancel, &QAction::triggered, this, &TfrmCourseTable::ActCancelExecute);
    connect(ActPut, &QAction::triggered, this, &TfrmCourseTable::ActPutExecute);
    connect(ActClear, &QAction::triggered, this, &TfrmCourseTable::ActClearExecute);
    connect(ActClearALL, &QAction::triggered, this, &TfrmCourseTable::ActClearALLExecute);
    connect(ActCopy, &QAction::triggered, this, &TfrmCourseTable::ActCopyExecute);
    connect(ActCopyALL, &QAction::triggered, this, &TfrmCourseTable::ActCopyALLExecute);
    connect(ActPaste, &QAction::triggered, this, &TfrmCourseTable::ActPasteExecute);
    connect(ActImport, &QAction::triggered, this, &TfrmCourseTable::ActPasteExecute);
    connect(ActFresh, &QAction::triggered, this, &TfrmCourseTable::ActFreshExecute);
    connect(ActTranRight, &QAction::triggered, this, &TfrmCourseTable::ActTranRightExecute);
    connect(ActHelp, &QAction::triggered, this, &TfrmCourseTable::ActHelpExecute);
    connect(edSearch, &QLineEdit::textEdited, this, &TfrmCourseTable::searchInitials);
    connect(edSearch, &QLineEdit::returnPressed, this, &TfrmCourseTable::searchName);
    connect(btnSearch, &QToolButton::clicked, this, &TfrmCourseTable::searchName);
    connect(lstTeachers, &QListWidget::itemDoubleClicked, this, [this] {
        if (isEditing()) ActPutExecute();
    });
    connect(sGrid, &BandedGrid::rowDoubleClicked, this, [this] {
        if (isEditing()) ActPutExecute();
    });
    connect(sGrid, &BandedGrid::cellEdited, this, &TfrmCourseTable::cellEdited);
    // The sheet's lines stay in their order: a click on a caption does not sort them.
    connect(sGrid, &BandedGrid::sortChanged, this, [this] {
        if (!sGrid->sortColumns().isEmpty()) sGrid->clearSort();
    });
    sGrid->setCellColors([this](int row, int column) {
        CellColors colors;
        const SheetLine *l = lineOf(row);
        if (!l) return colors;
        if (column == kCaptionColumn || (column == kLeaderColumn && l->line != Line::GradeLeaders && l->line != Line::GradeDeputies)) {
            colors.background = pub::frameColor().lighter(104);
        } else if (!cellEditable(row, column)) {
            colors.background = pub::frameColor();
            colors.foreground = column == kHeadColumn ? QColor(0x1B, 0x8A, 0x2E) : QColor(0x80, 0x80, 0x80);
        } else if (l->line != Line::Class && !isEditing()) {
            // The leaders' lines stand apart from the classes under them; while editing their
            // cells look as editable as the classes'.
            colors.background = pub::contentColor().darker(104);
        }
        return colors;
    });
    applyHostLook(this, false);
    setEditState(0);
}

QString TfrmCourseTable::ParameterProblem() const
{
    if (Params.size() < 5)
        return QStringLiteral("打开教师任课表需要知道是哪个年级：入学年份、年级代码、年级名称、在读标志和查看人，"
                              "例如“2025,1701,七年级,Y,”。请在左侧选中一个年级或学段后再打开。");
    const QString grade = Params[1].trimmed();
    if (grade.isEmpty() || grade.size() > 4 || !QStringLiteral("012").contains(grade.front()))
        return QStringLiteral("教师任课表的年级代码“%1”无效：应为 4 位的年级代码，或 1 位的学段代码（0 小学、1 初中、2 高中）。").arg(grade);
    bool isYear = false;
    Params[0].toInt(&isYear);
    if (!isYear) return QStringLiteral("教师任课表的入学年份“%1”不是有效的年份。").arg(Params[0]);
    return {};
}

bool TfrmCourseTable::holds(const QString &right) const
{
    return pub::userType() == 1 || Rights.contains(right);
}

void TfrmCourseTable::InitPage()
{
    m_inYear = Params.value(0).trimmed();
    m_gradeCode = Params.value(1).trimmed().left(4);
    m_gradeName = Params.value(2);
    m_flag = Params.value(3).trimmed().left(1);
    m_kept = Params.value(4);
    setWindowTitle(m_gradeCode.size() == 4 ? m_inYear + QStringLiteral("级") + m_gradeName + QStringLiteral(".教师任课表")
                                           : m_gradeName + QStringLiteral(".教师任课表"));
    Rights = functionKeys(Tag);
    m_pinyin = PinyinTable::load(pub::appPath() + QStringLiteral("Chinese.dll"));
    LoadData();
}

// The grade arguments of the grade tables' loads: the grade itself, or the grades of a stage by
// their filter texts.
QList<wire::Argument> TfrmCourseTable::gradeArguments() const
{
    if (m_gradeCode.size() == 4) return {var(qint64(m_inYear.toLongLong())), in(m_gradeCode)};
    const QString like = QStringLiteral("GradeCode like '%1%'").arg(m_gradeCode);
    if (m_flag == u"N") return {var(QStringLiteral(" and sYear='%1'").arg(SchoolYearText(m_inYear.toInt()))), in(like)};
    return {var(QString()), in(like + QStringLiteral(" and bCurGrade='Y'"))};
}

// Whether a row of the host's grade list is one of the grades the page shows.
bool TfrmCourseTable::gradeShown(const QVariantList &row, const wire::DataPacket &packet) const
{
    const auto text = [&](const char *field) { return keyText(row.value(packet.fieldIndex(QString::fromLatin1(field)))); };
    if (m_gradeCode.size() == 4) return text("GradeCode") == m_gradeCode && text("InYear") == m_inYear;
    if (!text("GradeCode").startsWith(m_gradeCode)) return false;
    if (m_flag == u"N") return text("sYear") == SchoolYearText(m_inYear.toInt());
    return text("bCurGrade") == u"Y";
}

bool TfrmCourseTable::loadTables()
{
    // What the host holds of grades and classes may be older than the server's.
    pub::closeGradeData();
    cdsClassNames->setData(pub::classNames());
    cdsGradeNames->setData(pub::gradeNames());
    const wire::DataPacket grades = pub::gradeList();
    wire::DataPacket shown(grades.fields());
    for (qsizetype r = 0; r < grades.rowCount(); ++r)
        if (gradeShown(grades.row(r), grades)) shown.appendRow(grades.row(r));
    cdsGrades->setData(shown);

    const QString school = pub::schoolId();
    const QList<wire::Argument> grade = gradeArguments();
    CallResult r = loadTable(*cdsSchoolInfo, protocol::QSchoolInfo, {in(school), var()});
    if (r.ok()) r = loadTable(*cdsSubjectNames, protocol::QSchoolSubjects, {in(school), var()});
    if (r.ok()) r = loadTable(*cdsSubjects, protocol::QGradeSubjects, QList<wire::Argument>{in(school)} + grade + QList<wire::Argument>{var()});
    if (r.ok()) r = loadTable(*cdsGradeClass, protocol::QGradeClasses, QList<wire::Argument>{in(school)} + grade + QList<wire::Argument>{var()});
    if (r.ok()) r = loadTable(*cdsData, protocol::QCourseTable, QList<wire::Argument>{in(school)} + grade + QList<wire::Argument>{var()});
    if (r.ok()) r = loadTable(*cdsTeachers, protocol::QTeacherByParam, {in(QStringLiteral("SchoolCode")), in(school), var()});
    if (!r.ok()) {
        reportFailure(this, kCaption, r, Failure::Read);
        return false;
    }
    // Rows the page adds carry their keys; nothing else of theirs is required of it.
    for (DataSet *d : {cdsData, cdsTeachers})
        for (int f = 0; f < d->fieldCount(); ++f)
            d->fieldInfo(f).def.flags &= ~wire::FieldDef::Required;
    cdsSchoolInfo->first();
    m_subTree = !cdsSchoolInfo->isEmpty() && cdsSchoolInfo->value(u"bSubTree").toBool();
    m_mainCap = m_subTree ? cdsSchoolInfo->value(u"sMainCap").toString() : QString();
    m_subCap = m_subTree ? cdsSchoolInfo->value(u"sSubCap").toString() : QString();
    return true;
}

void TfrmCourseTable::LoadData()
{
    {
        pub::WaitIndicator wait(this);
        if (!loadTables()) {
            // The sheet keeps what it showed; nothing of it can be stored against tables not read.
            setEditState(0);
            ActEdit->setEnabled(false);
            return;
        }
        indexTeachers();
        fillTeacherList();
        buildSheet();
    }
    setEditState(0);
}

void TfrmCourseTable::indexTeachers()
{
    m_byName.clear();
    // In-service teachers first: a name two teachers share means the one still teaching.
    for (const bool inService : {true, false})
        for (qsizetype r = 0; r < cdsTeachers->recordCount(); ++r) {
            const QVariant state = cdsTeachers->valueAt(r, cdsTeachers->fieldIndex(u"iState"));
            if ((wire::isNull(state) || state.toLongLong() == 0) != inService) continue;
            m_byName[cdsTeachers->valueAt(r, cdsTeachers->fieldIndex(u"sName")).toString()]
                << cdsTeachers->valueAt(r, cdsTeachers->fieldIndex(u"sCode")).toString();
        }
}

// The teachers still teaching, by the initials of their names, so that those a search finds stand
// together.
void TfrmCourseTable::fillTeacherList()
{
    const QString chosen = chosenTeacher();
    lstTeachers->clear();
    struct Entry {
        QString initials, name, code;
    };
    QList<Entry> entries;
    for (qsizetype r = 0; r < cdsTeachers->recordCount(); ++r) {
        const QVariant state = cdsTeachers->valueAt(r, cdsTeachers->fieldIndex(u"iState"));
        if (!wire::isNull(state) && state.toLongLong() != 0) continue;
        const QString name = cdsTeachers->valueAt(r, cdsTeachers->fieldIndex(u"sName")).toString();
        entries.append({m_pinyin.initials(name), name, cdsTeachers->valueAt(r, cdsTeachers->fieldIndex(u"sCode")).toString()});
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry &a, const Entry &b) { return a.initials != b.initials ? a.initials < b.initials : a.name < b.name; });
    for (const Entry &e : entries) {
        auto *item = new QListWidgetItem(e.name, lstTeachers);
        item->setData(Qt::UserRole, e.code);
    }
    if (!chosen.isEmpty()) chooseTeacher(chosen);
}

QString TfrmCourseTable::chosenTeacher() const
{
    const QListWidgetItem *item = lstTeachers->currentItem();
    return item && item->isSelected() ? item->data(Qt::UserRole).toString() : QString();
}

bool TfrmCourseTable::chooseTeacher(const QString &teacherCode)
{
    for (int i = 0; i < lstTeachers->count(); ++i)
        if (lstTeachers->item(i)->data(Qt::UserRole).toString() == teacherCode) {
            lstTeachers->setCurrentRow(i);
            return true;
        }
    return false;
}

void TfrmCourseTable::searchInitials(const QString &text)
{
    const QString typed = text.trimmed().toLower();
    if (typed.isEmpty()) return;
    for (int i = 0; i < lstTeachers->count(); ++i)
        if (m_pinyin.initials(lstTeachers->item(i)->text()).startsWith(typed)) {
            lstTeachers->setCurrentRow(i);
            lstTeachers->scrollToItem(lstTeachers->item(i));
            return;
        }
}

void TfrmCourseTable::searchName()
{
    const QString typed = edSearch->text().trimmed();
    const int count = lstTeachers->count();
    if (typed.isEmpty() || count == 0) return;
    const int from = lstTeachers->currentRow();
    for (int step = 1; step <= count; ++step) {
        const int i = (from + step + count) % count;
        if (lstTeachers->item(i)->text().contains(typed)) {
            lstTeachers->setCurrentRow(i);
            lstTeachers->scrollToItem(lstTeachers->item(i));
            return;
        }
    }
}

QString TfrmCourseTable::nameOf(const QString &teacher) const
{
    if (teacher.isEmpty()) return {};
    const int code = cdsTeachers->fieldIndex(u"sCode"), name = cdsTeachers->fieldIndex(u"sName");
    for (qsizetype r = 0; r < cdsTeachers->recordCount(); ++r)
        if (cdsTeachers->valueAt(r, code).toString() == teacher) return cdsTeachers->valueAt(r, name).toString();
    return {};
}

// ---- the sheet ---------------------------------------------------------------------------------------

bool TfrmCourseTable::gradeHasSubject(const SheetLine &l, const QString &subject) const
{
    const int year = cdsSubjects->fieldIndex(u"InYear"), grade = cdsSubjects->fieldIndex(u"GradeCode"), code = cdsSubjects->fieldIndex(u"SubjectCode");
    for (qsizetype r = 0; r < cdsSubjects->recordCount(); ++r)
        if (cdsSubjects->valueAt(r, year).toLongLong() == l.inYear && cdsSubjects->valueAt(r, grade).toString() == l.grade &&
            cdsSubjects->valueAt(r, code).toString() == subject)
            return true;
    return false;
}

// What a cell nobody names a teacher in shows; empty for a cell that names one.
QString TfrmCourseTable::blockedText(const SheetLine &l, int column) const
{
    const bool leaders = l.line == Line::SubjectLeaders || l.line == Line::SubjectDeputies;
    if (column == kCaptionColumn) return QStringLiteral("\x01");
    if (column == kLeaderColumn) {
        if (l.line == Line::SubjectLeaders) return QStringLiteral("科目组长");
        if (l.line == Line::SubjectDeputies) return QStringLiteral("科目副组长");
        return l.line == Line::Class ? QStringLiteral("\x01") : QString();
    }
    if (column == kHeadColumn) return l.line == Line::Class ? QString() : kBlocked;
    if (leaders) return {};
    const QString subject = m_subjectCodes.value(column - kFirstSubjectColumn);
    return gradeHasSubject(l, subject) ? QString() : kBlocked;
}

const TfrmCourseTable::SheetLine *TfrmCourseTable::lineOf(int row) const
{
    const int f = cdsSheet->fieldIndex(kRowNo);
    if (f < 0 || row < 0 || row >= cdsSheet->recordCount()) return nullptr;
    const qsizetype n = cdsSheet->valueAt(row, f).toLongLong();
    return n >= 0 && n < m_lines.size() ? &m_lines[n] : nullptr;
}

QString TfrmCourseTable::fieldOfColumn(int column) const
{
    return column >= 0 && column < sGrid->columnCount() ? sGrid->column(column).field : QString();
}

bool TfrmCourseTable::cellEditable(int row, int column) const
{
    const SheetLine *l = lineOf(row);
    return l && column > kCaptionColumn && column < columnCount() && blockedText(*l, column).isEmpty();
}

int TfrmCourseTable::rowCount() const
{
    return int(cdsSheet->recordCount());
}
int TfrmCourseTable::columnCount() const
{
    return sGrid->columnCount();
}

QString TfrmCourseTable::cellText(int row, int column) const
{
    return row >= 0 && row < rowCount() && column >= 0 && column < columnCount() ? sGrid->displayText(row, column) : QString();
}

int TfrmCourseTable::subjectColumn(const QString &subjectCode) const
{
    const int i = int(m_subjectCodes.indexOf(subjectCode));
    return i < 0 ? -1 : kFirstSubjectColumn + i;
}

int TfrmCourseTable::lineRow(Line line, qint64 inYear, const QString &grade, const QString &classCode) const
{
    for (int r = 0; r < rowCount(); ++r) {
        const SheetLine *l = lineOf(r);
        if (!l || l->line != line) continue;
        if (line == Line::SubjectLeaders || line == Line::SubjectDeputies) return r;
        if (l->inYear == inYear && l->grade == grade && (line != Line::Class || l->classCode == classCode)) return r;
    }
    return -1;
}

QString TfrmCourseTable::cellId(int row, int column) const
{
    const int f = cdsSheet->fieldIndex(kRowNo);
    return f < 0 ? QString() : cdsSheet->valueAt(row, f).toString() + u'|' + fieldOfColumn(column);
}

void TfrmCourseTable::buildSheet()
{
    sGrid->closeEditor();
    m_lines.clear();
    m_cellTeacher.clear();
    m_subjectCodes.clear();
    for (cdsSubjectNames->first(); !cdsSubjectNames->eof(); cdsSubjectNames->next())
        m_subjectCodes << cdsSubjectNames->value(u"SubjectCode").toString();

    QList<wire::FieldDef> fields{{QStringLiteral("Caption"), wire::FieldType::Text, 0, 0},
                                 {QStringLiteral("Leader"), wire::FieldType::Text, 0, 0},
                                 {QStringLiteral("Head"), wire::FieldType::Text, 0, 0}};
    QList<GridColumn> columns{GridColumn::of("Caption", "年级/班级", 120, true), GridColumn::of("Leader", "年级长", 64), GridColumn::of("Head", "班主任", 50)};
    columns[0].band = columns[1].band = 0;
    for (cdsSubjectNames->first(); !cdsSubjectNames->eof(); cdsSubjectNames->next()) {
        const QString field = subjectField(cdsSubjectNames->value(u"SubjectCode").toString());
        fields.append({field, wire::FieldType::Text, 0, 0});
        GridColumn c;
        c.field = field;
        c.caption = cdsSubjectNames->value(u"SubjectName").toString();
        c.width = 50;
        columns.append(c);
    }
    fields.append({kRowNo, wire::FieldType::Integer, 0, 0});
    for (GridColumn &c : columns)
        c.locked = true;

    // The lines: the school's subject leaders, then each grade's leaders and classes.
    m_lines.append({Line::SubjectLeaders, 0, {}, {}});
    m_lines.append({Line::SubjectDeputies, 0, {}, {}});
    QList<std::pair<QString, qint64>> grades;
    for (cdsGrades->first(); !cdsGrades->eof(); cdsGrades->next())
        grades.append({cdsGrades->value(u"GradeCode").toString(), cdsGrades->value(u"InYear").toLongLong()});
    std::sort(grades.begin(), grades.end());
    for (const auto &[grade, year] : grades) {
        m_lines.append({Line::GradeLeaders, year, grade, {}});
        m_lines.append({Line::GradeDeputies, year, grade, {}});
        QStringList classes;
        for (qsizetype r = 0; r < cdsGradeClass->recordCount(); ++r)
            if (cdsGradeClass->valueAt(r, cdsGradeClass->fieldIndex(u"InYear")).toLongLong() == year &&
                cdsGradeClass->valueAt(r, cdsGradeClass->fieldIndex(u"GradeCode")).toString() == grade)
                classes << cdsGradeClass->valueAt(r, cdsGradeClass->fieldIndex(u"ClassCode")).toString();
        classes.sort();
        for (const QString &c : classes)
            m_lines.append({Line::Class, year, grade, c});
    }

    const auto gradeTitle = [this](qint64 year, const QString &grade) {
        const QString name = cdsGradeNames->locate(QStringLiteral("sKeyId"), {grade}) ? cdsGradeNames->value(u"sValue").toString() : grade;
        return QString::number(year) + QStringLiteral("级") + name;
    };
    const auto className = [this](const SheetLine &l, QString *area) {
        QString name;
        if (cdsGradeClass->locate(QStringLiteral("InYear;GradeCode;ClassCode"), {l.inYear, l.grade, l.classCode})) {
            name = cdsGradeClass->value(u"AliasName").toString();
            *area = cdsGradeClass->value(u"sArea").toString();
        }
        if (name.isEmpty() && cdsClassNames->locate(QStringLiteral("ClassCode"), {l.classCode})) name = cdsClassNames->value(u"ClassName").toString();
        return name.isEmpty() ? l.classCode : name;
    };

    // The grid takes the lines in at once, when they are all there.
    std::optional<FrozenControls> frozen(std::in_place, *cdsSheet);
    cdsSheet->createTable(fields);
    sGrid->setColumns(columns);
    for (qsizetype n = 0; n < m_lines.size(); ++n) {
        const SheetLine &l = m_lines[n];
        QVariantList values(fields.size());
        values.last() = qint64(n);
        // The teachers of the line's cells, from the tables.
        QHash<int, QString> teachers;
        switch (l.line) {
        case Line::SubjectLeaders:
        case Line::SubjectDeputies: {
            values[kCaptionColumn] = l.line == Line::SubjectLeaders ? QStringLiteral("全校") : QString();
            const QStringView field = l.line == Line::SubjectLeaders ? u"TeacherCode" : u"SubTeacherCode";
            for (cdsSubjectNames->first(); !cdsSubjectNames->eof(); cdsSubjectNames->next())
                teachers[subjectColumn(cdsSubjectNames->value(u"SubjectCode").toString())] = keyText(cdsSubjectNames->value(field));
            break;
        }
        case Line::GradeLeaders:
        case Line::GradeDeputies: {
            const bool main = l.line == Line::GradeLeaders;
            const QString cap = m_subTree ? (main ? m_mainCap : m_subCap) : (main ? QString() : QStringLiteral("副"));
            values[kCaptionColumn] =
                main ? gradeTitle(l.inYear, l.grade) + u' ' + cap + QStringLiteral("备课组长") : QStringLiteral("　") + cap + QStringLiteral("备课组长");
            const QStringView field = main ? u"TeacherCode" : u"SubTeacherCode";
            if (cdsGrades->locate(QStringLiteral("InYear;GradeCode"), {l.inYear, l.grade})) teachers[kLeaderColumn] = keyText(cdsGrades->value(field));
            for (qsizetype r = 0; r < cdsSubjects->recordCount(); ++r) {
                if (cdsSubjects->valueAt(r, cdsSubjects->fieldIndex(u"InYear")).toLongLong() != l.inYear ||
                    cdsSubjects->valueAt(r, cdsSubjects->fieldIndex(u"GradeCode")).toString() != l.grade)
                    continue;
                const int c = subjectColumn(cdsSubjects->valueAt(r, cdsSubjects->fieldIndex(u"SubjectCode")).toString());
                if (c >= 0) teachers[c] = keyText(cdsSubjects->valueAt(r, cdsSubjects->fieldIndex(field)));
            }
            break;
        }
        case Line::Class: {
            QString area;
            QString caption = QStringLiteral("　") + className(l, &area);
            // With a campus tree the branch campus's classes say so.
            if (m_subTree && !area.isEmpty() && area == m_subCap) caption += u'(' + area + u')';
            values[kCaptionColumn] = caption;
            if (cdsGradeClass->locate(QStringLiteral("InYear;GradeCode;ClassCode"), {l.inYear, l.grade, l.classCode}))
                teachers[kHeadColumn] = keyText(cdsGradeClass->value(u"TeacherCode"));
            for (qsizetype r = 0; r < cdsData->recordCount(); ++r) {
                if (cdsData->valueAt(r, cdsData->fieldIndex(u"InYear")).toLongLong() != l.inYear ||
                    cdsData->valueAt(r, cdsData->fieldIndex(u"GradeCode")).toString() != l.grade ||
                    cdsData->valueAt(r, cdsData->fieldIndex(u"ClassCode")).toString() != l.classCode)
                    continue;
                const int c = subjectColumn(cdsData->valueAt(r, cdsData->fieldIndex(u"SubjectCode")).toString());
                if (c >= 0) teachers[c] = keyText(cdsData->valueAt(r, cdsData->fieldIndex(u"TeacherCode")));
            }
            break;
        }
        }
        for (int c = kLeaderColumn; c < int(columns.size()); ++c) {
            const QString blocked = blockedText(l, c);
            if (!blocked.isEmpty()) {
                values[c] = blocked == u"\x01" ? QVariant() : QVariant(blocked);
                continue;
            }
            const QString teacher = teachers.value(c);
            if (teacher.isEmpty()) continue;
            values[c] = nameOf(teacher);
            m_cellTeacher.insert(QString::number(n) + u'|' + columns[c].field, teacher);
        }
        cdsSheet->appendRecord(values);
    }
    cdsSheet->mergeChangeLog();
    cdsSheet->first();
    frozen.reset();
    sGrid->bestFit();
    for (int c = kLeaderColumn; c < sGrid->columnCount(); ++c)
        if (sGrid->column(c).width < 50) sGrid->setColumnWidth(c, 50);
}

void TfrmCourseTable::setEditState(int state)
{
    if (state == 0) sGrid->closeEditor();
    EditState = state;
    const bool editing = isEditing();
    for (QAction *a : {ActEdit, ActFresh, ActCopy, ActCopyALL, ActTranRight})
        a->setEnabled(!editing);
    for (QAction *a : {ActSave, ActCancel, ActPut, ActPaste, ActImport, ActClear, ActClearALL})
        a->setEnabled(editing);
    sGrid->setReadOnly(!editing);
    // A spreadsheet's editing: typing starts the cell's editor; a click selects, so that ranges
    // can be chosen, and a double click fills.
    if (editing)
        for (int b = 0; b < 2; ++b)
            if (QTreeView *view = sGrid->bandView(b)) view->setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::EditKeyPressed);
    if (pub::userType() == 1) return;
    for (QAction *a : actions()) {
        const int tag = a->property("lumekoTag").toInt();
        if (tag == 0 || !a->isEnabled()) continue;
        if ((tag == 2 && !holds(QStringLiteral("Manager"))) || (tag == 5 && !holds(QStringLiteral("Import"))) || (tag != 2 && tag != 5)) a->setEnabled(false);
    }
}

// ---- writing cells -------------------------------------------------------------------------------------

QString TfrmCourseTable::teacherOfCell(int row, int column, const QString &name) const
{
    if (name.isEmpty()) return {};
    const QString given = m_cellTeacher.value(cellId(row, column));
    if (!given.isEmpty() && nameOf(given) == name) return given;
    return m_byName.value(name).value(0);
}

QString TfrmCourseTable::addTeacher(const QString &name)
{
    const QString code = QUuid::createUuid().toString(QUuid::WithBraces).toUpper();
    cdsTeachers->append();
    cdsTeachers->setValue(u"sCode", code);
    cdsTeachers->setValue(u"sName", name);
    cdsTeachers->setValue(u"SchoolCode", pub::schoolId());
    cdsTeachers->setValue(u"iState", 0);
    cdsTeachers->post();
    m_byName[name].prepend(code);
    auto *item = new QListWidgetItem(name, lstTeachers);
    item->setData(Qt::UserRole, code);
    return code;
}

void TfrmCourseTable::writeCell(int row, int column, const QString &text, const QString &teacher)
{
    if (!cellEditable(row, column)) return;
    const QString name = withoutBlanks(text);
    QString key = teacher;
    if (key.isEmpty() && !name.isEmpty()) {
        key = teacherOfCell(row, column, name);
        if (key.isEmpty() && chkAutoAdd->isChecked()) key = addTeacher(name);
    }
    const QString id = cellId(row, column);
    if (key.isEmpty())
        m_cellTeacher.remove(id);
    else
        m_cellTeacher.insert(id, key);
    const QString field = fieldOfColumn(column);
    if (cdsSheet->recNo() != row) cdsSheet->moveTo(row);
    if (keyText(cdsSheet->value(field)) == name) return;
    if (cdsSheet->state() == DataSetState::Browse) cdsSheet->edit();
    cdsSheet->setValue(field, name.isEmpty() ? QVariant() : QVariant(name));
    cdsSheet->post();
}

// A name typed into a cell: stored without blanks, and a cell that names nobody keeps what it showed.
void TfrmCourseTable::cellEdited(int row, int column)
{
    if (m_writing) return;
    const SheetLine *l = lineOf(row);
    if (!l) return;
    QScopedValueRollback guard(m_writing, true);
    const QString field = fieldOfColumn(column);
    const QString typed = keyText(cdsSheet->value(field));
    if (!cellEditable(row, column)) {
        const QString blocked = blockedText(*l, column);
        cdsSheet->setValue(field, blocked == u"\x01" || blocked.isEmpty() ? QVariant() : QVariant(blocked));
        return;
    }
    const QString name = withoutBlanks(typed);
    if (name != typed) cdsSheet->setValue(field, name.isEmpty() ? QVariant() : QVariant(name));
    QString key = teacherOfCell(row, column, name);
    if (key.isEmpty() && !name.isEmpty() && chkAutoAdd->isChecked()) key = addTeacher(name);
    if (key.isEmpty())
        m_cellTeacher.remove(cellId(row, column));
    else
        m_cellTeacher.insert(cellId(row, column), key);
}

QList<QPair<int, int>> TfrmCourseTable::selectedCells() const
{
    QList<QPair<int, int>> cells;
    if (QTreeView *view = sGrid->bandView(1))
        for (const QModelIndex &index : view->selectionModel()->selectedIndexes()) {
            const int row = sGrid->gridModel()->ordinalOfRow(index.row());
            if (row >= 0 && sGrid->column(index.column()).visible) cells.append({row, index.column()});
        }
    if (cells.isEmpty() && sGrid->currentRow() >= 0 && sGrid->currentColumn() >= 0) cells.append({sGrid->currentRow(), sGrid->currentColumn()});
    std::sort(cells.begin(), cells.end());
    cells.erase(std::unique(cells.begin(), cells.end()), cells.end());
    return cells;
}

void TfrmCourseTable::selectCells(int top, int left, int bottom, int right)
{
    QTreeView *view = sGrid->bandView(1);
    if (!view) return;
    sGrid->setCurrentCell(top, left);
    GridModel *m = sGrid->gridModel();
    const QModelIndex a = m->index(m->rowOfOrdinal(top), left), b = m->index(m->rowOfOrdinal(bottom), right);
    view->selectionModel()->select(QItemSelection(a, b), QItemSelectionModel::ClearAndSelect);
}

void TfrmCourseTable::ActPutExecute()
{
    const QString teacher = chosenTeacher();
    if (teacher.isEmpty()) {
        pub::msgError(QStringLiteral("请在右边框选择要填充的教师！"), this);
        return;
    }
    sGrid->postEdit();
    const QList<QPair<int, int>> cells = selectedCells();
    QScopedValueRollback guard(m_writing, true);
    FrozenControls frozen(*cdsSheet);
    for (const auto &[row, column] : cells)
        writeCell(row, column, nameOf(teacher), teacher);
}

void TfrmCourseTable::ActClearExecute()
{
    sGrid->postEdit();
    const QList<QPair<int, int>> cells = selectedCells();
    QScopedValueRollback guard(m_writing, true);
    FrozenControls frozen(*cdsSheet);
    for (const auto &[row, column] : cells)
        writeCell(row, column, QString());
}

// Every head teacher and subject teacher of the sheet, and every leader under the subjects; the
// grade leaders stay.
void TfrmCourseTable::ActClearALLExecute()
{
    sGrid->postEdit();
    QScopedValueRollback guard(m_writing, true);
    FrozenControls frozen(*cdsSheet);
    for (int row = 0; row < rowCount(); ++row)
        for (int column = kHeadColumn; column < columnCount(); ++column)
            writeCell(row, column, QString());
}

QString TfrmCourseTable::sheetText(const QList<QPair<int, int>> &cells, bool titles) const
{
    QStringList lines;
    QStringList line;
    int lastRow = -1;
    if (titles) {
        for (int c = 0; c < columnCount(); ++c)
            line << sGrid->columnCaption(c);
        lines << line.join(u'\t');
        line.clear();
    }
    for (const auto &[row, column] : cells) {
        if (row != lastRow && lastRow >= 0) {
            lines << line.join(u'\t');
            line.clear();
        }
        lastRow = row;
        line << cellText(row, column).trimmed();
    }
    if (lastRow >= 0) lines << line.join(u'\t');
    return lines.join(u'\n') + u'\n';
}

void TfrmCourseTable::ActCopyExecute()
{
    const QList<QPair<int, int>> cells = selectedCells();
    if (!cells.isEmpty()) QApplication::clipboard()->setText(sheetText(cells, false));
}

void TfrmCourseTable::ActCopyALLExecute()
{
    QList<QPair<int, int>> cells;
    for (int row = 0; row < rowCount(); ++row)
        for (int column = 0; column < columnCount(); ++column)
            cells.append({row, column});
    QApplication::clipboard()->setText(sheetText(cells, true));
}

// Names copied from a spreadsheet go into the sheet from the selected cell on, one line of text a
// line of the sheet; cells that name nobody are passed over.
void TfrmCourseTable::ActPasteExecute()
{
    const QMimeData *mime = QApplication::clipboard()->mimeData();
    if (!mime || !mime->hasText()) {
        pub::msgError(QStringLiteral("粘帖板无数据！"), this);
        return;
    }
    sGrid->postEdit();
    const QList<QPair<int, int>> cells = selectedCells();
    const int top = cells.isEmpty() ? 0 : cells.first().first;
    int left = cells.isEmpty() ? kFirstSubjectColumn : cells.first().second;
    for (const auto &cell : cells)
        left = std::min(left, cell.second);
    QStringList lines;
    {
        pub::WaitIndicator wait(this, QStringLiteral("正在读取粘帖板数据..."));
        QString text = mime->text();
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        text.replace(u'\r', u'\n');
        lines = text.split(u'\n');
        while (!lines.isEmpty() && withoutBlanks(lines.last()).isEmpty())
            lines.removeLast();
        if (!lines.isEmpty()) {
            const QString separator = cbSeparator->currentData().toString();
            QScopedValueRollback guard(m_writing, true);
            FrozenControls frozen(*cdsSheet);
            for (int i = 0; i < lines.size() && top + i < rowCount(); ++i) {
                const QStringList values = lines[i].split(separator);
                for (int j = 0; j < values.size() && left + j < columnCount(); ++j)
                    writeCell(top + i, left + j, values[j]);
            }
        }
    }
    if (lines.isEmpty()) pub::msgError(QStringLiteral("没有可导入的文本!"), this);
}

// ---- saving -------------------------------------------------------------------------------------------

bool TfrmCourseTable::readSheet()
{
    const auto teacherAt = [this](int row, int column, QString *key) {
        const QString name = withoutBlanks(keyText(cdsSheet->valueAt(row, cdsSheet->fieldIndex(fieldOfColumn(column)))));
        *key = teacherOfCell(row, column, name);
        if (key->isEmpty() && !name.isEmpty() && chkAutoAdd->isChecked()) *key = addTeacher(name);
        if (!key->isEmpty() || name.isEmpty()) return true;
        sGrid->setCurrentCell(row, column);
        pub::msgError(QStringLiteral("教师“%1”不在教师名单中，请从右边的名单中选择，或勾选“未知教师自动增加”！").arg(name), this);
        return false;
    };
    QString key;
    for (int row = 0; row < rowCount(); ++row) {
        const SheetLine &l = *lineOf(row);
        for (int column = kLeaderColumn; column < columnCount(); ++column) {
            if (!cellEditable(row, column)) continue;
            if (!teacherAt(row, column, &key)) return false;
            const QString subject = m_subjectCodes.value(column - kFirstSubjectColumn);
            switch (l.line) {
            case Line::SubjectLeaders:
            case Line::SubjectDeputies:
                if (cdsSubjectNames->locate(QStringLiteral("SubjectCode"), {subject}))
                    setTeacher(*cdsSubjectNames, l.line == Line::SubjectLeaders ? u"TeacherCode" : u"SubTeacherCode", key);
                break;
            case Line::GradeLeaders:
            case Line::GradeDeputies: {
                const QStringView field = l.line == Line::GradeLeaders ? u"TeacherCode" : u"SubTeacherCode";
                if (column == kLeaderColumn) {
                    if (cdsGrades->locate(QStringLiteral("InYear;GradeCode"), {l.inYear, l.grade})) setTeacher(*cdsGrades, field, key);
                } else if (cdsSubjects->locate(QStringLiteral("InYear;GradeCode;SubjectCode"), {l.inYear, l.grade, subject})) {
                    setTeacher(*cdsSubjects, field, key);
                }
                break;
            }
            case Line::Class:
                if (column == kHeadColumn) {
                    if (cdsGradeClass->locate(QStringLiteral("InYear;GradeCode;ClassCode"), {l.inYear, l.grade, l.classCode}))
                        setTeacher(*cdsGradeClass, u"TeacherCode", key);
                } else if (cdsData->locate(QStringLiteral("InYear;GradeCode;ClassCode;SubjectCode"), {l.inYear, l.grade, l.classCode, subject})) {
                    if (key.isEmpty())
                        cdsData->deleteRecord();
                    else
                        setTeacher(*cdsData, u"TeacherCode", key);
                } else if (!key.isEmpty()) {
                    cdsData->append();
                    cdsData->setValue(u"SchoolCode", pub::schoolId());
                    cdsData->setValue(u"InYear", l.inYear);
                    cdsData->setValue(u"GradeCode", l.grade);
                    cdsData->setValue(u"ClassCode", l.classCode);
                    cdsData->setValue(u"SubjectCode", subject);
                    cdsData->setValue(u"TeacherCode", key);
                    cdsData->post();
                }
                break;
            }
        }
    }
    return true;
}

// The roles the pending changes of the tables give and take: a teacher who comes into a duty is
// granted its role, one who leaves it has it revoked (the server keeps it while he holds that duty
// elsewhere).
QList<TfrmCourseTable::RoleChange> TfrmCourseTable::roleChanges() const
{
    QList<RoleChange> changes;
    const auto add = [&changes](const QString &teacher, const char *role, int grant) {
        const RoleChange c{teacher, QString::fromLatin1(role), grant};
        if (!teacher.isEmpty() && !changes.contains(c)) changes.append(c);
    };
    const struct {
        DataSet *table;
        const char *role;
        bool deputy;
    } sources[] = {{cdsSubjectNames, "2", true}, {cdsGrades, "3", true}, {cdsGradeClass, "4", false}, {cdsSubjects, "5", true}, {cdsData, "6", false}};
    for (const auto &s : sources) {
        const wire::ChangePacket delta = s.table->delta();
        QList<int> fields{delta.fieldIndex(u"TeacherCode")};
        if (s.deputy) fields << delta.fieldIndex(u"SubTeacherCode");
        for (const wire::RowChange &row : delta.rows)
            for (int f : fields) {
                if (f < 0) continue;
                const QString before = row.status == RowStatus::Inserted ? QString() : keyText(row.oldValues.value(f));
                const QString after = row.status == RowStatus::Deleted ? QString() : keyText(row.newValues.value(f));
                if (before == after) continue;
                add(before, s.role, 0);
                add(after, s.role, 1);
            }
    }
    return changes;
}

bool TfrmCourseTable::applyRoles(const QList<RoleChange> &changes)
{
    if (changes.isEmpty()) return true;
    pub::ServerObject sys = pub::ServerObject::sysUp();
    const QString school = pub::schoolId();
    bool all = true;
    for (const RoleChange &c : changes) {
        const wire::Reply r = sys.call(protocol::ARUserRoles, {in(school), in(c.teacher), in(c.role), in(qint64(c.grant))});
        if (!r.ok()) {
            all = false;
            pub::writeLog(kCaption + QStringLiteral(": ") + r.message);
        }
        QApplication::processEvents();
    }
    return all;
}

bool TfrmCourseTable::SaveData()
{
    if (!sGrid->postEdit()) return false;
    CallResult r{CallResult::Done, 0, {}, {}};
    QList<RoleChange> roles;
    {
        pub::WaitIndicator wait(this, QStringLiteral("正在提交数据，请稍后..."));
        if (!readSheet()) return false;
        roles = roleChanges();
        // New teachers first: the other tables name them.
        const std::pair<DataSet *, const wire::protocol::Method *> sends[] = {
            {cdsTeachers, &protocol::UpTeacher},      {cdsSubjectNames, &protocol::UpSubject},  {cdsGrades, &protocol::UpGrade},
            {cdsGradeClass, &protocol::UpGradeClass}, {cdsSubjects, &protocol::UpGradeSubject}, {cdsData, &protocol::UpCourseTable}};
        bool sent = false;
        for (const auto &[table, method] : sends) {
            if (table->changeCount() == 0) continue;
            r = saveTable(*table, *method);
            sent = true;
            if (!r.ok()) break;
        }
        if (sent && r.ok()) {
            WriteOperationLog(QStringLiteral("修改保存课程表数据"));
            applyRoles(roles);
            pub::closeGradeData();
        }
    }
    if (!r.ok()) {
        if (!r.message.isEmpty()) pub::writeLog(kCaption + QStringLiteral(": ") + r.message);
        pub::msgError(r.outcome == CallResult::Failed ? QStringLiteral("保存课程表数据失败，服务器连接失败！") : QStringLiteral("课表设置保存失败！"), this);
        return false;
    }
    pub::msgHint(QStringLiteral("课表设置保存成功！"), this);
    buildSheet();
    setEditState(0);
    return true;
}

void TfrmCourseTable::cancelTables()
{
    for (DataSet *d : {cdsTeachers, cdsSubjectNames, cdsGrades, cdsGradeClass, cdsSubjects, cdsData}) {
        if (!d->isActive()) continue;
        if (d->state() != DataSetState::Browse) d->cancel();
        d->cancelUpdates();
    }
}

void TfrmCourseTable::ActCancelExecute()
{
    sGrid->closeEditor();
    if (cdsSheet->state() != DataSetState::Browse) cdsSheet->cancel();
    cancelTables();
    indexTeachers();
    fillTeacherList();
    buildSheet();
    setEditState(0);
}

void TfrmCourseTable::ActFreshExecute()
{
    LoadData();
}

void TfrmCourseTable::ActHelpExecute()
{
    pub::showHelp(this, HelpFile);
}

// Grants every teacher the roles of the duties the tables give him.
void TfrmCourseTable::ActTranRightExecute()
{
    if (pub::msgConfirm(QStringLiteral("同步课表设置到用户权限可能需要较长时间，您确定要同步吗？"), this) != 1) return;
    pub::WaitIndicator wait(this, QStringLiteral("正在同步课表设置到用户权限..."));
    QList<RoleChange> grants;
    const auto add = [&grants](const QVariant &teacher, const char *role) {
        const RoleChange c{keyText(teacher), QString::fromLatin1(role), 1};
        if (!c.teacher.isEmpty() && !grants.contains(c)) grants.append(c);
    };
    const struct {
        DataSet *table;
        const char *role;
        bool deputy;
    } sources[] = {{cdsSubjectNames, "2", true}, {cdsGrades, "3", true}, {cdsGradeClass, "4", false}, {cdsSubjects, "5", true}, {cdsData, "6", false}};
    for (const auto &s : sources)
        for (qsizetype r = 0; r < s.table->recordCount(); ++r) {
            add(s.table->valueAt(r, s.table->fieldIndex(u"TeacherCode")), s.role);
            if (s.deputy) add(s.table->valueAt(r, s.table->fieldIndex(u"SubTeacherCode")), s.role);
        }
    applyRoles(grants);
}

void TfrmCourseTable::closeEvent(QCloseEvent *event)
{
    if (isEditing()) {
        sGrid->postEdit();
        if (cdsSheet->changeCount() > 0) {
            const int answer = pub::msgBox(QStringLiteral("数据已被修改，您要保存修改的数据吗？"), 2, 2, this);
            if (answer == 3 || (answer == 1 && !SaveData())) {
                event->ignore();
                return;
            }
        }
    }
    event->accept();
}

} // namespace lumeko::achieve
