#include "students/upubdefinestudent.h"

#include "framework/sharedroutines.h"
#include "host/pub/pub.h"
#include "toolkit/data/commatext.h"
#include "toolkit/grid/bandedgrid.h"

#include <QAction>
#include <QHBoxLayout>
#include <QMenu>
#include <QPushButton>
#include <QSet>
#include <QShowEvent>
#include <QVBoxLayout>

#include <functional>

namespace lumeko::achieve {

namespace {

// Keeps a table's views from following every row while a block walks and changes it; they catch up
// once, when the block ends.
class ControlsOff {
public:
    explicit ControlsOff(DataSet &table) : m_table(table) { m_table.disableControls(); }
    ~ControlsOff() { m_table.enableControls(); }
    ControlsOff(const ControlsOff &) = delete;
    ControlsOff &operator=(const ControlsOff &) = delete;

private:
    DataSet &m_table;
};

// Gives every candidate the tick `wanted` answers for its place in the table. The rows to change
// are found first: a tick may move its row when the grid orders the candidates by it.
void setTicks(DataSet &students, const std::function<bool(qsizetype)> &wanted)
{
    const int tick = students.fieldIndex(u"Selected");
    if (tick < 0 || !students.isActive()) return;
    QList<std::pair<Bookmark, bool>> changes;
    ControlsOff off(students);
    for (qsizetype r = 0; r < students.recordCount(); ++r) {
        const QVariant now = students.valueAt(r, tick);
        const bool want = wanted(r);
        if (!wire::isNull(now) && now.toBool() == want) continue;
        students.moveTo(r);
        changes.append({students.bookmark(), want});
    }
    for (const auto &[row, want] : std::as_const(changes)) {
        if (!students.gotoBookmark(row)) continue;
        students.edit();
        students.field(tick).setValue(want);
        students.post();
    }
}

// The students' codes of the rows a table shows.
QSet<QString> studentCodes(const DataSet &table)
{
    QSet<QString> codes;
    const int code = table.fieldIndex(u"sCode");
    if (code < 0) return codes;
    for (qsizetype r = 0; r < table.recordCount(); ++r)
        codes.insert(table.valueAt(r, code).toString());
    return codes;
}

GridColumn column(const char *field, const char *caption, int width)
{
    return GridColumn::of(field, caption, width, true);
}

} // namespace

TPubDefineStudent::TPubDefineStudent(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("考试学生名单定义"));
    cdsStudent = new DataSet(this);
    cxGridStudent = new BandedGrid(this);
    cxGridStudent->setGroupByBoxVisible(false);
    cxGridStudent->setBandCaptionsVisible(false);
    cxGridStudent->setFixedColumnCount(0);

    GridColumn tick = column("Selected", "选择", 88);
    tick.editor = EditorKind::Boolean;
    tick.readOnly = false;
    tick.summary = SummaryKind::Sum;
    tick.summaryFormat = QStringLiteral("已选=,0");
    GridColumn name = column("sName", "姓名", 100);
    name.summary = SummaryKind::Count;
    name.summaryFormat = QStringLiteral("总人数=,0");
    // The grid keeps one summary per column for its footer and its group rows alike: the group's
    // head count stands under the class, the grade's under the name.
    GridColumn className = column("ClassName", "班级", 120);
    className.summary = SummaryKind::Count;
    className.summaryFormat = QStringLiteral("人数=,0");
    className.groupSummary = true;
    GridColumn type = column("sType", "学生类型", 90);
    type.visible = false;
    cxGridStudent->setColumns({tick, column("sNo", "学号", 100), name, className, type});
    cxGridStudent->setDataSet(cdsStudent);
    cxGridStudent->groupBy(cxGridStudent->columnOfField(QStringLiteral("sType")));
    // Only the tick can be changed; rows are neither added nor removed here.
    cxGridStudent->setReadOnly(true);

    const auto action = [this](const QString &caption, void (TPubDefineStudent::*slot)()) {
        auto *a = new QAction(caption, this);
        connect(a, &QAction::triggered, this, slot);
        addAction(a);
        return a;
    };
    acSelect = action(QStringLiteral("选   择"), &TPubDefineStudent::acSelectExecute);
    acUnSelect = action(QStringLiteral("不   选"), &TPubDefineStudent::acUnSelectExecute);
    acSelectAll = action(QStringLiteral("全   选"), &TPubDefineStudent::acSelectAllExecute);
    acUnSelectAll = action(QStringLiteral("全不选"), &TPubDefineStudent::acUnSelectAllExecute);
    pmGrid = new QMenu(this);
    pmGrid->addActions({acSelect, acUnSelect});
    pmGrid->addSeparator();
    pmGrid->addActions({acSelectAll, acUnSelectAll});
    cxGridStudent->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(cxGridStudent, &QWidget::customContextMenuRequested, this, [this](const QPoint &p) { pmGrid->popup(cxGridStudent->mapToGlobal(p)); });

    btnSelectAll = new QPushButton(QStringLiteral("全  选"), this);
    btnUnSelectAll = new QPushButton(QStringLiteral("全不选"), this);
    btnOk = new QPushButton(QStringLiteral("确定"), this);
    btnCancel = new QPushButton(QStringLiteral("取消"), this);
    connect(btnSelectAll, &QPushButton::clicked, this, &TPubDefineStudent::acSelectAllExecute);
    connect(btnUnSelectAll, &QPushButton::clicked, this, &TPubDefineStudent::acUnSelectAllExecute);
    connect(btnOk, &QPushButton::clicked, this, &TPubDefineStudent::confirm);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(btnSelectAll);
    buttons->addWidget(btnUnSelectAll);
    buttons->addStretch();
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(cxGridStudent, 1);
    layout->addLayout(buttons);
    applyHostLook(this, false);
    resize(500, 560);
}

void TPubDefineStudent::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // Not again when the window system shows it after a minimise: the user's ticks stay.
    if (!event->spontaneous()) tickListedStudents();
}

void TPubDefineStudent::keepClasses(const QString &classes)
{
    const QString chosen = classes.trimmed();
    if (chosen.isEmpty() || chosen == u"ALL" || !cdsStudent->isActive()) return;
    const int classCode = cdsStudent->fieldIndex(u"ClassCode");
    if (classCode < 0) return;
    const QString among = u',' + chosen + u',';
    ControlsOff off(*cdsStudent);
    QList<Bookmark> others;
    for (qsizetype r = 0; r < cdsStudent->recordCount(); ++r)
        if (!among.contains(u',' + cdsStudent->valueAt(r, classCode).toString() + u',')) {
            cdsStudent->moveTo(r);
            others.append(cdsStudent->bookmark());
        }
    for (Bookmark b : std::as_const(others))
        if (cdsStudent->gotoBookmark(b)) cdsStudent->deleteRecord();
    cdsStudent->first();
}

void TPubDefineStudent::tickListedStudents()
{
    if (!cdsStudent->isActive()) return;
    if (m_examList && m_examList->isActive() && !m_examList->isEmpty()) {
        const QSet<QString> listed = studentCodes(*m_examList);
        const int code = cdsStudent->fieldIndex(u"sCode");
        setTicks(*cdsStudent, [&](qsizetype r) { return code >= 0 && listed.contains(cdsStudent->valueAt(r, code).toString()); });
    }
    cdsStudent->first();
}

void TPubDefineStudent::tickAll(bool ticked)
{
    cxGridStudent->postEdit();
    const Bookmark keep = cdsStudent->bookmark();
    setTicks(*cdsStudent, [ticked](qsizetype) { return ticked; });
    if (keep >= 0) cdsStudent->gotoBookmark(keep);
}

void TPubDefineStudent::tickSelected(bool ticked)
{
    cxGridStudent->markSelectedRows(ticked);
}

bool TPubDefineStudent::listRowHasScores() const
{
    if (!m_examList || !m_examList->isActive() || m_examList->isEmpty()) return false;
    for (const QString &subject : splitCommaText(SubjectCodes)) {
        if (subject.isEmpty()) continue;
        const QString field = QStringLiteral("C_") + subject;
        if (m_examList->fieldIndex(field) < 0) continue;
        const QVariant score = m_examList->value(field);
        if (!wire::isNull(score) && score.toDouble() > 0) return true;
    }
    return false;
}

void TPubDefineStudent::confirm()
{
    if (!cxGridStudent->postEdit()) return;
    if (!m_examList || !m_examList->isActive() || !cdsStudent->isActive()) {
        accept();
        return;
    }
    DataSet &list = *m_examList;
    const Bookmark keep = cdsStudent->bookmark();
    const Bookmark listKeep = list.bookmark();

    // The ticked candidates, in the grid's order.
    const int tick = cdsStudent->fieldIndex(u"Selected"), code = cdsStudent->fieldIndex(u"sCode");
    QList<qsizetype> tickedRows;
    QSet<QString> ticked;
    for (qsizetype r = 0; tick >= 0 && code >= 0 && r < cdsStudent->recordCount(); ++r)
        if (cdsStudent->valueAt(r, tick).toBool()) {
            tickedRows.append(r);
            ticked.insert(cdsStudent->valueAt(r, code).toString());
        }

    // A row the page's sheet is still editing is settled first; refused, nothing has changed yet.
    if (list.state() != DataSetState::Browse) {
        try {
            list.post();
        } catch (const DataError &e) {
            pub::msgError(e.message(), this);
            return;
        }
    }

    QString refused;
    {
        ControlsOff off(list);
        // Off the list: whoever is not ticked, unless the user keeps a student who has scores.
        list.first();
        while (!list.eof()) {
            bool remove = !ticked.contains(list.value(u"sCode").toString());
            if (remove && listRowHasScores())
                remove =
                    pub::msgConfirm(QStringLiteral("学生[") + list.value(u"sName").toString() + QStringLiteral("]已有成绩数据，确定要删除吗？"), this) == 1;
            if (remove)
                list.deleteRecord();
            else
                list.next();
        }
        // Onto the list: the ticked students it lacks, with what the score sheet shows of them.
        QSet<QString> listed = studentCodes(list);
        QList<std::pair<int, int>> copied; // candidate field, list field
        for (const char *name : {"sSex", "iClassNo", "sCode", "sName", "sNo", "ClassCode", "ClassName"}) {
            const QString field = QString::fromLatin1(name);
            const int from = cdsStudent->fieldIndex(field), to = list.fieldIndex(field);
            if (from >= 0 && to >= 0) copied.append({from, to});
        }
        for (qsizetype r : std::as_const(tickedRows)) {
            const QString student = cdsStudent->valueAt(r, code).toString();
            if (listed.contains(student)) continue;
            try {
                list.append();
                for (const auto &[from, to] : std::as_const(copied))
                    list.field(to).setValue(cdsStudent->valueAt(r, from));
                list.post();
                listed.insert(student);
            } catch (const DataError &e) {
                // The sheet wants what a candidate cannot give: the student stays off it.
                list.cancel();
                if (refused.isEmpty()) refused = e.message();
            }
        }
    }
    // The removals the user answered for are in the list by now, so the dialog ends with OK
    // whatever the sheet refused.
    if (!refused.isEmpty()) pub::msgError(refused, this);

    if (keep >= 0) cdsStudent->gotoBookmark(keep);
    if (listKeep < 0 || !list.gotoBookmark(listKeep)) list.first();
    accept();
}

} // namespace lumeko::achieve
