#include "schoolyear/ufrmupgradeguide.h"

#include "framework/remotetable.h"
#include "framework/servercall.h"
#include "framework/sharedroutines.h"
#include "host/pub/pub.h"

#include <QAction>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <optional>

namespace lumeko::achieve {

namespace {

const QString kCaption = QStringLiteral("年级升级向导");
const QString kReminderKey = QStringLiteral("IsRunUpGrade");
constexpr int kGradeRole = Qt::UserRole;
constexpr int kInYearRole = Qt::UserRole + 1;

QTreeWidget *gradeList(QWidget *parent)
{
    auto *list = new QTreeWidget(parent);
    list->setRootIsDecorated(false);
    list->setColumnCount(3);
    list->setHeaderLabels({QStringLiteral("学级"), QStringLiteral("年级"), QStringLiteral("学年")});
    list->header()->setSectionsClickable(true);
    list->header()->setSortIndicatorShown(false);
    list->setColumnWidth(0, 110);
    list->setColumnWidth(1, 150);
    return list;
}

QWidget *listPage(QWidget *parent, const QString &caption, QTreeWidget *list, QWidget *below, QPushButton *button)
{
    auto *page = new QWidget(parent);
    auto *l = new QVBoxLayout(page);
    l->addWidget(new QLabel(caption, page));
    l->addWidget(list, 1);
    if (below) l->addWidget(below);
    auto *row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(button);
    l->addLayout(row);
    return page;
}

qint64 integerResult(const CallResult &r)
{
    const auto *n = std::get_if<qint64>(&r.result);
    return n ? *n : 0;
}

} // namespace

TfrmUpGradeGuide::TfrmUpGradeGuide(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("年级升级向导"));
    auto *layout = new QHBoxLayout(this);
    pcMain = new QTabWidget(this);
    lvUpGrade = gradeList(pcMain);
    lvUnGrade = gradeList(pcMain);
    btnUpGrade = new QPushButton(QStringLiteral("开始升级"), pcMain);
    btnUnGrade = new QPushButton(QStringLiteral("取消升级"), pcMain);
    lblNote =
        new QLabel(QStringLiteral("    升级指的是从当前年级升级到高一个年级，如：初一升级至初二，学年设置成新学年；如当前年级是毕业班，升级后自动设置成已毕业。"
                                  "高一升级到高二（文理分班），默认先把数据全部升级到高二（理科），之后再把文理分班分好的数据中增加\"年级\"列，"
                                  "标注\"理科\"或\"文科\"，之后导入数据选择关键字更新导入。"),
                   pcMain);
    lblNote->setWordWrap(true);
    pcMain->addTab(listPage(pcMain, QStringLiteral("可升级/升学年级列表：（可多选）"), lvUpGrade, lblNote, btnUpGrade), QStringLiteral("年级升级"));
    pcMain->addTab(listPage(pcMain, QStringLiteral("取消升级年级列表：（可多选）"), lvUnGrade, nullptr, btnUnGrade), QStringLiteral("取消年级升级"));
    pcMain->addTab(new QWidget(pcMain), QStringLiteral("重新分班"));
    layout->addWidget(pcMain, 3);

    auto *right = new QVBoxLayout;
    right->addWidget(new QLabel(QStringLiteral("状态报告"), this));
    mmReport = new QPlainTextEdit(this);
    mmReport->setReadOnly(true);
    right->addWidget(mmReport, 1);
    auto *bottom = new QHBoxLayout;
    chkAutoRemind = new QCheckBox(QStringLiteral("自动提醒"), this);
    btnClose = new QPushButton(QStringLiteral("退    出"), this);
    bottom->addWidget(chkAutoRemind);
    bottom->addStretch();
    bottom->addWidget(btnClose);
    right->addLayout(bottom);
    layout->addLayout(right, 2);

    acUpGrade = new QAction(QStringLiteral("开始升级"), this);
    acUnGrade = new QAction(QStringLiteral("取消升级"), this);
    connect(acUpGrade, &QAction::triggered, this, &TfrmUpGradeGuide::acUpGradeExecute);
    connect(acUnGrade, &QAction::triggered, this, &TfrmUpGradeGuide::acUnGradeExecute);
    connect(btnUpGrade, &QPushButton::clicked, acUpGrade, &QAction::trigger);
    connect(btnUnGrade, &QPushButton::clicked, acUnGrade, &QAction::trigger);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);
    connect(chkAutoRemind, &QCheckBox::toggled, this, [](bool on) { setReminder(kReminderKey, on, schoolYearToday()); });
    for (QTreeWidget *list : {lvUpGrade, lvUnGrade})
        connect(list->header(), &QHeaderView::sectionClicked, this, [this, list](int column) { sortList(list, column); });
    applyHostLook(this, false);
    resize(900, 540);
}

void TfrmUpGradeGuide::prepare()
{
    {
        const QSignalBlocker block(chkAutoRemind);
        chkAutoRemind->setChecked(reminderTicked(kReminderKey, schoolYearToday()));
    }
    loadLists();
}

QString TfrmUpGradeGuide::gradeName(const QString &code) const
{
    const int key = m_gradeNames.fieldIndex(u"sKeyId"), value = m_gradeNames.fieldIndex(u"sValue");
    for (qsizetype r = 0; key >= 0 && value >= 0 && r < m_gradeNames.rowCount(); ++r)
        if (m_gradeNames.value(r, key).toString() == code) return m_gradeNames.value(r, value).toString();
    return QStringLiteral("***");
}

bool TfrmUpGradeGuide::loadLists()
{
    const wire::DataPacket grades = pub::gradeList();
    m_gradeNames = pub::gradeNames();
    QList<wire::Argument> none;
    const CallResult date = callServer(protocol::DBDate, none);
    const auto *now = std::get_if<QDateTime>(&date.result);
    if (!date.ok() || !now) {
        reportFailure(this, kCaption, date, Failure::Read);
        return false;
    }
    fillList(lvUpGrade, promotionRows(grades, now->date().year()));
    fillList(lvUnGrade, undoRows(grades, now->date().year()));
    return true;
}

void TfrmUpGradeGuide::fillList(QTreeWidget *list, const QList<GradeRow> &rows)
{
    list->setUpdatesEnabled(false);
    list->clear();
    for (const GradeRow &g : rows) {
        auto *item = new QTreeWidgetItem(list, {QStringLiteral("%1级").arg(g.inYear), gradeName(g.gradeCode), g.schoolYear});
        item->setData(0, kGradeRole, g.gradeCode);
        item->setData(0, kInYearRole, g.inYear);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(0, Qt::Unchecked);
    }
    list->setUpdatesEnabled(true);
}

// A click on a column's header sorts by its text without regard to case, the other way round
// from the last click.
void TfrmUpGradeGuide::sortList(QTreeWidget *list, int column)
{
    const bool ascending = !(list->property("sortColumn").toInt() == column && list->property("ascending").toBool());
    list->setProperty("sortColumn", column);
    list->setProperty("ascending", ascending);
    QList<QTreeWidgetItem *> items;
    while (list->topLevelItemCount() > 0)
        items << list->takeTopLevelItem(0);
    std::stable_sort(items.begin(), items.end(), [&](QTreeWidgetItem *a, QTreeWidgetItem *b) {
        const int c = a->text(column).compare(b->text(column), Qt::CaseInsensitive);
        return ascending ? c < 0 : c > 0;
    });
    list->addTopLevelItems(items);
}

QStringList TfrmUpGradeGuide::reportLines() const
{
    const QString text = mmReport->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(u'\n');
}

void TfrmUpGradeGuide::addLine(const QString &line)
{
    mmReport->appendPlainText(line);
}

void TfrmUpGradeGuide::acUpGradeExecute()
{
    run(false);
}

void TfrmUpGradeGuide::acUnGradeExecute()
{
    run(true);
}

// The ticked rows from top to bottom, each through the server on its own: graduated when it is the
// last grade of its stage, otherwise moved into its next grade (or, undoing, back), with a line of
// the report for each step and half a second between two rows.
void TfrmUpGradeGuide::run(bool undo)
{
    QTreeWidget *list = undo ? lvUnGrade : lvUpGrade;
    QList<QTreeWidgetItem *> rows;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        if (list->topLevelItem(i)->checkState(0) == Qt::Checked) rows << list->topLevelItem(i);
    if (rows.isEmpty()) {
        pub::msgError(undo ? QStringLiteral("请勾选取消升级年级列表！") : QStringLiteral("请勾选升级年级列表！"), this);
        return;
    }
    if (pub::msgConfirm(undo ? QStringLiteral("您确认要对勾选的年级取消升级/升学吗？") : QStringLiteral("您确认要对勾选的年级进行升级/升学吗？"), this) != 1)
        return;

    pcMain->setEnabled(false);
    mmReport->clear();
    const QString first = undo ? QStringLiteral("准备取消升级......") : QStringLiteral("准备处理升级......");
    addLine(first);
    std::optional<pub::WaitIndicator> wait(std::in_place, this, first);
    const QString school = pub::schoolId();
    const qint64 mode = undo ? 1 : 0;
    bool failed = false;
    CallResult broken;
    // A call without an answer ends the run.
    const auto call = [&](const wire::protocol::Method &m, QList<wire::Argument> &args) {
        CallResult r = callServer(m, args);
        if (r.outcome == CallResult::Failed) {
            failed = true;
            broken = r;
        }
        return r;
    };
    const auto refused = [&](const CallResult &r) {
        if (!r.message.isEmpty()) pub::writeLog(kCaption + QStringLiteral(": ") + r.message);
    };
    for (qsizetype i = 0; i < rows.size() && !failed; ++i) {
        const QTreeWidgetItem *row = rows[i];
        const QString grade = row->data(0, kGradeRole).toString();
        const int inYear = row->data(0, kInYearRole).toInt();
        const QString named = QStringLiteral("%1级%2").arg(inYear).arg(row->text(1));
        addLine(QStringLiteral("->分析  ") + named);

        QList<wire::Argument> graduate{in(school + u',' + grade), var()};
        call(protocol::GetGraduate, graduate);
        if (failed) break;
        if (std::get_if<qint64>(&graduate[1].value) && std::get<qint64>(graduate[1].value) == 1) {
            addLine(undo ? QStringLiteral("......取消毕业设置") : QStringLiteral("......将升级成毕业"));
            QList<wire::Argument> args{in(school), var(grade), var(qint64(inYear)), in(mode)};
            const CallResult r = call(protocol::SetGraduate, args);
            if (failed) break;
            if (integerResult(r) == 1) {
                addLine(undo ? QStringLiteral("......取消毕业设置成功！") : QStringLiteral("......毕业设置成功！"));
                WriteOperationLog((undo ? QStringLiteral("取消年级 ") : QStringLiteral("升级年级 ")) + named + QStringLiteral(" 为毕业状态"));
            } else {
                addLine(undo ? QStringLiteral("......取消毕业设置失败！") : QStringLiteral("......毕业设置失败！"));
                refused(r);
            }
        } else {
            QList<wire::Argument> next{in(pub::schoolType()), var(grade), var(QString())};
            call(protocol::QNextGrade, next);
            if (failed) break;
            const QString *nextText = std::get_if<QString>(&next[2].value);
            if (!nextText || nextText->isEmpty()) {
                addLine(undo ? QStringLiteral("......不能取消升级，没找到新年级设置！") : QStringLiteral("......不能升级，没找到新年级设置！"));
            } else {
                const QString nextGrade = nextText->section(u':', 0, 0);
                addLine(undo ? QStringLiteral("......开始取消升级") : QStringLiteral("......开始升级"));
                const QString year = undo ? QString() : nextSchoolYearText(row->text(2), schoolYearToday().year());
                QList<wire::Argument> args{in(school), var(grade), var(nextGrade), var(year), var(qint64(inYear)), in(mode)};
                const CallResult r = call(protocol::UpGradeLevel, args);
                if (failed) break;
                if (integerResult(r) == 1) {
                    addLine(undo ? QStringLiteral("......取消升级成功！") : QStringLiteral("......升级成功！"));
                    WriteOperationLog((undo ? QStringLiteral("取消升级年级 ") : QStringLiteral("升级年级 ")) + named);
                } else {
                    addLine(undo ? QStringLiteral("......取消升级失败！") : QStringLiteral("......升级失败！"));
                    refused(r);
                }
            }
        }
        if (i + 1 < rows.size()) upGradePause(500);
    }
    if (failed) {
        wait.reset();
        if (!broken.message.isEmpty()) pub::writeLog(kCaption + QStringLiteral(": ") + broken.message);
        // The grades done before the connection was lost are moved: the host must read them anew.
        pub::closeGradeData();
        addLine(QStringLiteral("服务器连接失败！"));
    } else {
        pub::closeGradeData();
        loadLists();
        wait.reset();
        addLine(QStringLiteral("升级处理结束."));
    }
    pcMain->setEnabled(true);
}

} // namespace lumeko::achieve
