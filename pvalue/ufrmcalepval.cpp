#include "pvalue/ufrmcalepval.h"

#include "framework/modalrun.h"
#include "framework/remotetable.h"
#include "framework/servercall.h"
#include "framework/sharedroutines.h"
#include "host/pub/pub.h"
#include "pvalue/pvalueformula.h"

#include <QCheckBox>
#include <QDate>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <optional>

namespace lumeko::achieve {

namespace {

const QString kCaption = QStringLiteral("P值计算");
const QString kNoPage = QStringLiteral("⊥");
const QString kPickedStudents = QStringLiteral("已选名单");
const QString kMerged = QStringLiteral("合并科目");

// The subjects a new record starts with, by name, where the exam has them.
const QStringList kDefaultSix = {QStringLiteral("语文"), QStringLiteral("数学"), QStringLiteral("英语"),
                                 QStringLiteral("物理"), QStringLiteral("化学"), QStringLiteral("政治")};
const QStringList kDefaultTen = {QStringLiteral("语文"), QStringLiteral("数学"), QStringLiteral("英语"), QStringLiteral("政治"), QStringLiteral("历史"),
                                 QStringLiteral("地理"), QStringLiteral("生物"), QStringLiteral("物理"), QStringLiteral("化学"), QStringLiteral("体育")};

// Subject codes are compared as the numbers the record writes them as ("%.3d").
int codeNumber(const QString &code)
{
    return code.trimmed().toInt();
}

QString storedCode(const QString &code)
{
    return QStringLiteral("%1").arg(codeNumber(code), 3, 10, QChar(u'0'));
}

// The number of entries of a stored all-subject set: what [全科科目数] stands for in its formulas.
int storedEntryCount(const QString &stored)
{
    return int(stored.split(u',', Qt::SkipEmptyParts).size());
}

QDoubleSpinBox *valueBox(QWidget *parent)
{
    auto *box = new QDoubleSpinBox(parent);
    box->setDecimals(4);
    box->setRange(0, 9999.9999);
    box->setSingleStep(0.01);
    box->setMinimumWidth(110);
    return box;
}

} // namespace

TfrmCalePVal::TfrmCalePVal(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(kCaption);
    for (DataSet **d : {&cdsStudType, &cdsExamTotal, &cdsSubjects, &cdsPVal})
        *d = new DataSet(this);
    auto *layout = new QVBoxLayout(this);
    lblTitle = new QLabel(this);
    lblStep = new QLabel(this);
    QFont bold = lblStep->font();
    bold.setBold(true);
    lblTitle->setFont(bold);
    lblStep->setFont(bold);
    layout->addWidget(lblTitle);
    layout->addWidget(lblStep);
    pcSteps = new QStackedWidget(this);
    layout->addWidget(pcSteps, 1);

    // Step 1: the subjects and the students counted.
    auto *page1 = new QWidget(pcSteps);
    auto *l1 = new QVBoxLayout(page1);
    auto *columns = new QHBoxLayout;
    auto *sixColumn = new QVBoxLayout;
    sixColumn->addWidget(new QLabel(QStringLiteral("中考总分科目(六科)："), page1));
    clbSubjects6 = new QListWidget(page1);
    sixColumn->addWidget(clbSubjects6, 1);
    columns->addLayout(sixColumn, 1);
    auto *tenColumn = new QVBoxLayout;
    tenColumn->addWidget(new QLabel(QStringLiteral("全科科目设置(十科)："), page1));
    tvSubjects10 = new QTreeWidget(page1);
    tvSubjects10->setHeaderHidden(true);
    tvSubjects10->setSelectionMode(QAbstractItemView::ExtendedSelection);
    tenColumn->addWidget(tvSubjects10, 1);
    auto *mergeButtons = new QHBoxLayout;
    btnMerge = new QPushButton(kMerged, page1);
    btnSplit = new QPushButton(QStringLiteral("取消合并"), page1);
    mergeButtons->addWidget(btnMerge);
    mergeButtons->addWidget(btnSplit);
    mergeButtons->addStretch(1);
    lblEntries = new QLabel(page1);
    mergeButtons->addWidget(lblEntries);
    tenColumn->addLayout(mergeButtons);
    columns->addLayout(tenColumn, 1);
    gbTypes = new QGroupBox(QStringLiteral("统计范围"), page1);
    new QVBoxLayout(gbTypes);
    auto *rangeColumn = new QVBoxLayout;
    rangeColumn->addWidget(gbTypes);
    rangeColumn->addStretch(1);
    columns->addLayout(rangeColumn);
    l1->addLayout(columns, 1);
    auto *note = new QLabel(QStringLiteral("注：科目合并后，统计当单科来计算汇总。（请按住CTRL键选择合并科目）"), page1);
    note->setWordWrap(true);
    l1->addWidget(note);
    pcSteps->addWidget(page1);
    connect(btnMerge, &QPushButton::clicked, this, &TfrmCalePVal::mergeSelected);
    connect(btnSplit, &QPushButton::clicked, this, &TfrmCalePVal::splitSelected);
    connect(tvSubjects10, &QTreeWidget::itemChanged, this, &TfrmCalePVal::showEntryCount);

    // Step 2: the values the school enters, the results so far and the two formulas.
    auto *page2 = new QWidget(pcSteps);
    auto *l2 = new QVBoxLayout(page2);
    auto *values = new QGridLayout;
    edDYValue = valueBox(page2);
    edTWYSJYValue = valueBox(page2);
    edGGPre3 = valueBox(page2);
    edRangeValue = valueBox(page2);
    edNP1 = new QLineEdit(page2);
    edNP = new QLineEdit(page2);
    // The server's results: shown, not typed, and marked as such until there are some.
    for (QLineEdit *e : {edNP1, edNP}) {
        e->setReadOnly(true);
        e->setFocusPolicy(Qt::NoFocus);
        e->setPlaceholderText(QStringLiteral("尚未计算"));
        QPalette p = e->palette();
        p.setColor(QPalette::Base, p.color(QPalette::Window));
        e->setPalette(p);
    }
    const std::pair<const char *, QWidget *> fields[] = {{"德育评估值：", edDYValue}, {"体卫艺术教育评估值：", edTWYSJYValue},
                                                         {"三年巩固率：", edGGPre3},  {"规模值：", edRangeValue},
                                                         {"学业质量评估值：", edNP1}, {"P值：", edNP}};
    for (int i = 0; i < 6; ++i) {
        values->addWidget(new QLabel(QString::fromUtf8(fields[i].first), page2), i / 2, (i % 2) * 2, Qt::AlignRight);
        values->addWidget(fields[i].second, i / 2, (i % 2) * 2 + 1);
    }
    values->setColumnStretch(1, 1);
    values->setColumnStretch(3, 1);
    l2->addLayout(values);
    l2->addWidget(new QLabel(QStringLiteral("学业质量评估值计算公式（P′值）："), page2));
    mmSumGS = new QPlainTextEdit(page2);
    l2->addWidget(mmSumGS, 3);
    l2->addWidget(new QLabel(QStringLiteral("P值计算公式："), page2));
    mmSumGSP = new QPlainTextEdit(page2);
    l2->addWidget(mmSumGSP, 2);
    pcSteps->addWidget(page2);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    btnPrior = new QPushButton(QStringLiteral("上一步"), this);
    btnNext = new QPushButton(QStringLiteral("下一步"), this);
    btnCalc = new QPushButton(QStringLiteral("开始计算"), this);
    btnCancel = new QPushButton(QStringLiteral("取    消"), this);
    for (QPushButton *b : {btnPrior, btnNext, btnCalc, btnCancel}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    layout->addLayout(buttons);
    connect(btnPrior, &QPushButton::clicked, this, &TfrmCalePVal::prior);
    connect(btnNext, &QPushButton::clicked, this, &TfrmCalePVal::next);
    connect(btnCalc, &QPushButton::clicked, this, &TfrmCalePVal::calculate);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    applyHostLook(this, false);
    showStep(0);
    resize(780, 540);
}

QString TfrmCalePVal::examTitle() const
{
    const wire::DataPacket names = pub::gradeNames();
    QString grade = GradeCode;
    const int key = names.fieldIndex(QStringLiteral("sKeyId")), value = names.fieldIndex(QStringLiteral("sValue"));
    for (qsizetype r = 0; key >= 0 && value >= 0 && r < names.rowCount(); ++r)
        if (names.value(r, key).toString() == GradeCode) grade = names.value(r, value).toString();
    const QString exam = cdsExamTotal->isActive() && !cdsExamTotal->isEmpty() ? cdsExamTotal->value(u"ExamName").toString() : ExamCode;
    return QStringLiteral("%1级%2  %3").arg(InYear).arg(grade, exam);
}

bool TfrmCalePVal::prepare()
{
    InYear = Params.value(0).trimmed().toInt();
    GradeCode = Params.value(1).trimmed().left(4);
    ExamCode = Params.value(2).trimmed();
    const QString school = pub::schoolId();
    std::optional<pub::WaitIndicator> wait(std::in_place, this);
    CallResult r = loadTable(*cdsStudType, protocol::QRegByType, {in(QStringLiteral("STUDTYPE")), var()});
    if (r.ok()) {
        // The student types, then the picked students, which only a roster makes possible.
        for (cdsStudType->first(); !cdsStudType->eof(); cdsStudType->next()) {
            auto *box = new QCheckBox(cdsStudType->value(u"sValue").toString(), gbTypes);
            gbTypes->layout()->addWidget(box);
            chkTypes << box;
        }
        auto *picked = new QCheckBox(kPickedStudents, gbTypes);
        picked->setEnabled(!Roster.isEmpty());
        gbTypes->layout()->addWidget(picked);
        chkTypes << picked;
        r = loadTable(*cdsExamTotal, protocol::QExamTotal, {in(school), in(GradeCode), in(ExamCode), in(kNoPage), var(qint64(InYear)), var()});
    }
    if (r.ok() && cdsExamTotal->isEmpty()) {
        wait.reset();
        pub::msgHint(QStringLiteral("未定义此次考试！"), this);
        return false;
    }
    if (r.ok()) {
        cdsExamTotal->first();
        lblTitle->setText(examTitle());
        r = loadTable(*cdsSubjects, protocol::QExamSubjects, {in(school), var(GradeCode), var(ExamCode), var(kNoPage), var(qint64(InYear)), var()});
    }
    if (r.ok()) {
        // The exam's subjects: those with a weight.
        for (cdsSubjects->first(); !cdsSubjects->eof(); cdsSubjects->next()) {
            if (wire::isNull(cdsSubjects->value(u"Per"))) continue;
            const QString code = cdsSubjects->value(u"SubjectCode").toString(), name = cdsSubjects->value(u"SubjectName").toString();
            auto *item = new QListWidgetItem(name, clbSubjects6);
            item->setData(Qt::UserRole, code);
            item->setCheckState(Qt::Unchecked);
            tvSubjects10->addTopLevelItem(subjectNode(name, code));
        }
        r = loadTable(*cdsPVal, protocol::QPVal, {in(school), in(cdsExamTotal->value(u"Id").toLongLong()), var(qint64(1))});
    }
    wait.reset();
    if (!r.ok()) {
        pub::writeLog(kCaption + QStringLiteral(": ") + r.message);
        pub::msgError(QStringLiteral("初始化考试信息失败！"), this);
        btnNext->setEnabled(false);
        return true;
    }
    showRecord();
    showEntryCount();
    m_started = true;
    return true;
}

// The record into the controls: a new one with the defaults, a stored one as it was stored.
void TfrmCalePVal::showRecord()
{
    cdsPVal->first();
    if (cdsPVal->isEmpty()) {
        cdsPVal->append();
        const std::pair<const char16_t *, QVariant> values[] = {{u"SchoolCode", pub::schoolId()},
                                                                {u"InYear", InYear},
                                                                {u"SchoolType", QStringLiteral("初中")},
                                                                {u"nExamId", cdsExamTotal->value(u"Id")},
                                                                {u"ExamCode", ExamCode},
                                                                {u"GradeCode", GradeCode},
                                                                {u"DCreate", QDateTime(QDate::currentDate(), QTime(0, 0))},
                                                                {u"SCreater", pub::userName()}};
        for (const auto &[field, value] : values)
            cdsPVal->setValue(QStringView(field), value);
        cdsPVal->post();
        for (int i = 0; i < clbSubjects6->count(); ++i)
            if (kDefaultSix.contains(clbSubjects6->item(i)->text())) clbSubjects6->item(i)->setCheckState(Qt::Checked);
        for (int i = 0; i < tvSubjects10->topLevelItemCount(); ++i)
            if (kDefaultTen.contains(tvSubjects10->topLevelItem(i)->text(0))) tvSubjects10->topLevelItem(i)->setCheckState(0, Qt::Checked);
        mmSumGS->setPlainText(defaultP1Formula());
        mmSumGSP->setPlainText(defaultPFormula());
        return;
    }
    QSet<int> six;
    for (const QString &code : cdsPVal->value(u"sSubjects6").toString().split(u',', Qt::SkipEmptyParts))
        six.insert(codeNumber(code));
    for (int i = 0; i < clbSubjects6->count(); ++i)
        if (six.contains(codeNumber(clbSubjects6->item(i)->data(Qt::UserRole).toString()))) clbSubjects6->item(i)->setCheckState(Qt::Checked);
    const QString ten = cdsPVal->value(u"sSubjects10").toString();
    tickStoredEntries(ten);
    const QStringList types = cdsPVal->value(u"sTypes").toString().split(u',', Qt::SkipEmptyParts);
    for (QCheckBox *box : chkTypes)
        box->setChecked(box->isEnabled() && types.contains(box->text()));
    const std::pair<const char16_t *, QDoubleSpinBox *> entered[] = {
        {u"nDYValue", edDYValue}, {u"nTWYSJYValue", edTWYSJYValue}, {u"nGGPre3", edGGPre3}, {u"nRangeValue", edRangeValue}};
    for (const auto &[field, box] : entered)
        box->setValue(cdsPVal->value(QStringView(field)).toDouble());
    for (const auto &[field, edit] : {std::pair{u"NP1", edNP1}, std::pair{u"NP", edNP}}) {
        const QVariant v = cdsPVal->value(QStringView(field));
        edit->setText(wire::isNull(v) ? QString() : QString::number(v.toDouble(), 'f', 4));
    }
    const int entries = storedEntryCount(ten);
    mmSumGS->setPlainText(shownFormula(cdsPVal->value(u"sSumGS").toString(), entries));
    mmSumGSP->setPlainText(shownFormula(cdsPVal->value(u"sSumGSP").toString(), entries));
}

QTreeWidgetItem *TfrmCalePVal::subjectNode(const QString &name, const QString &code)
{
    auto *item = new QTreeWidgetItem(QStringList{name});
    item->setData(0, Qt::UserRole, code);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(0, Qt::Unchecked);
    return item;
}

// A node "合并科目" over the given subject nodes, which become its children without ticks of
// their own: the merged node is ticked or not as one entry.
QTreeWidgetItem *TfrmCalePVal::mergedNode(const QList<QTreeWidgetItem *> &subjects, bool ticked)
{
    auto *node = new QTreeWidgetItem(QStringList{kMerged});
    node->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    node->setCheckState(0, ticked ? Qt::Checked : Qt::Unchecked);
    for (QTreeWidgetItem *s : subjects) {
        s->setData(0, Qt::CheckStateRole, QVariant());
        s->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        node->addChild(s);
    }
    return node;
}

void TfrmCalePVal::tickStoredEntries(const QString &stored)
{
    for (const QString &entry : stored.split(u',', Qt::SkipEmptyParts)) {
        QList<QTreeWidgetItem *> members;
        for (const QString &code : entry.split(u';', Qt::SkipEmptyParts))
            for (int i = 0; i < tvSubjects10->topLevelItemCount(); ++i) {
                QTreeWidgetItem *item = tvSubjects10->topLevelItem(i);
                if (item->childCount() == 0 && codeNumber(item->data(0, Qt::UserRole).toString()) == codeNumber(code)) members << item;
            }
        if (members.size() == 1) members.first()->setCheckState(0, Qt::Checked);
        if (members.size() < 2) continue;
        const int at = tvSubjects10->indexOfTopLevelItem(members.first());
        for (QTreeWidgetItem *m : members)
            tvSubjects10->takeTopLevelItem(tvSubjects10->indexOfTopLevelItem(m));
        tvSubjects10->insertTopLevelItem(at, mergedNode(members, true));
    }
    tvSubjects10->expandAll();
}

void TfrmCalePVal::mergeSelected()
{
    // The top-level nodes of the selection, in the tree's order; a child selected stands for its node.
    QList<QTreeWidgetItem *> tops;
    for (int i = 0; i < tvSubjects10->topLevelItemCount(); ++i) {
        QTreeWidgetItem *top = tvSubjects10->topLevelItem(i);
        bool selected = top->isSelected();
        for (int c = 0; c < top->childCount(); ++c)
            selected = selected || top->child(c)->isSelected();
        if (selected) tops << top;
    }
    int subjects = 0;
    for (QTreeWidgetItem *t : tops)
        subjects += std::max(1, t->childCount());
    if (tops.size() < 2 || subjects < 2) {
        pub::msgHint(QStringLiteral("请按住CTRL键选择两个以上的科目再合并！"), this);
        return;
    }
    const int at = tvSubjects10->indexOfTopLevelItem(tops.first());
    bool ticked = false;
    QList<QTreeWidgetItem *> members;
    for (QTreeWidgetItem *t : tops) {
        ticked = ticked || t->checkState(0) == Qt::Checked;
        tvSubjects10->takeTopLevelItem(tvSubjects10->indexOfTopLevelItem(t));
        if (t->childCount() == 0) {
            members << t;
            continue;
        }
        members << t->takeChildren();
        delete t;
    }
    QTreeWidgetItem *node = mergedNode(members, ticked);
    tvSubjects10->insertTopLevelItem(at, node);
    node->setExpanded(true);
    tvSubjects10->clearSelection();
    node->setSelected(true);
    showEntryCount();
}

void TfrmCalePVal::splitSelected()
{
    for (int i = tvSubjects10->topLevelItemCount() - 1; i >= 0; --i) {
        QTreeWidgetItem *top = tvSubjects10->topLevelItem(i);
        if (top->childCount() == 0) continue;
        bool selected = top->isSelected();
        for (int c = 0; c < top->childCount(); ++c)
            selected = selected || top->child(c)->isSelected();
        if (!selected) continue;
        const bool ticked = top->checkState(0) == Qt::Checked;
        const QList<QTreeWidgetItem *> children = top->takeChildren();
        delete tvSubjects10->takeTopLevelItem(i);
        for (int c = 0; c < children.size(); ++c) {
            QTreeWidgetItem *s = children[c];
            s->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
            s->setCheckState(0, ticked ? Qt::Checked : Qt::Unchecked);
            tvSubjects10->insertTopLevelItem(i + c, s);
        }
    }
    showEntryCount();
}

QString TfrmCalePVal::subjects6Text() const
{
    QStringList codes;
    for (int i = 0; i < clbSubjects6->count(); ++i)
        if (clbSubjects6->item(i)->checkState() == Qt::Checked) codes << storedCode(clbSubjects6->item(i)->data(Qt::UserRole).toString());
    return codes.join(u',');
}

QString TfrmCalePVal::subjects10Text() const
{
    QStringList entries;
    for (int i = 0; i < tvSubjects10->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *top = tvSubjects10->topLevelItem(i);
        if (top->checkState(0) != Qt::Checked) continue;
        QStringList codes;
        if (top->childCount() == 0) codes << storedCode(top->data(0, Qt::UserRole).toString());
        for (int c = 0; c < top->childCount(); ++c)
            codes << storedCode(top->child(c)->data(0, Qt::UserRole).toString());
        entries << codes.join(u';');
    }
    return entries.join(u',');
}

void TfrmCalePVal::showEntryCount()
{
    lblEntries->setText(QStringLiteral("全科科目数：%1").arg(entryCount()));
}

int TfrmCalePVal::entryCount() const
{
    return storedEntryCount(subjects10Text());
}

QString TfrmCalePVal::typesText() const
{
    QStringList captions;
    for (const QCheckBox *box : chkTypes)
        if (box->isChecked()) captions << box->text();
    return captions.join(u',');
}

int TfrmCalePVal::step() const
{
    return pcSteps->currentIndex();
}

void TfrmCalePVal::showStep(int index)
{
    pcSteps->setCurrentIndex(index);
    lblStep->setText(index == 0 ? QStringLiteral("第一步 考试科目设置") : QStringLiteral("第二步 计算公式设置"));
    btnPrior->setVisible(index > 0);
    btnNext->setVisible(index == 0);
    btnCalc->setVisible(index == 1);
}

void TfrmCalePVal::setField(const QString &field, const QVariant &value)
{
    if (cdsPVal->value(field) == value) return;
    if (cdsPVal->state() == DataSetState::Browse) cdsPVal->edit();
    cdsPVal->setValue(field, value);
}

bool TfrmCalePVal::next()
{
    if (step() != 0 || !m_started) return false;
    const char *missing = subjects6Text().isEmpty()    ? "请选择中考总分科目！"
                          : typesText().isEmpty()      ? "请选择统计范围！"
                          : subjects10Text().isEmpty() ? "请选择全科科目！"
                                                       : nullptr;
    if (missing) {
        pub::msgHint(QString::fromUtf8(missing), this);
        return false;
    }
    setField(QStringLiteral("sSubjects6"), subjects6Text());
    setField(QStringLiteral("sTypes"), typesText());
    setField(QStringLiteral("sSubjects10"), subjects10Text());
    if (cdsPVal->state() != DataSetState::Browse) cdsPVal->post();
    showStep(1);
    return true;
}

void TfrmCalePVal::prior()
{
    if (step() > 0) showStep(step() - 1);
}

bool TfrmCalePVal::calculate()
{
    if (step() != 1) return false;
    // A formula is one line: line breaks typed into the box are dropped.
    const auto formula = [this](const QPlainTextEdit *box) { return storedFormula(box->toPlainText().remove(u'\r').remove(u'\n').trimmed(), entryCount()); };
    setField(QStringLiteral("sSumGS"), formula(mmSumGS));
    setField(QStringLiteral("sSumGSP"), formula(mmSumGSP));
    setField(QStringLiteral("nDYValue"), edDYValue->value());
    setField(QStringLiteral("nTWYSJYValue"), edTWYSJYValue->value());
    setField(QStringLiteral("nGGPre3"), edGGPre3->value());
    setField(QStringLiteral("nRangeValue"), edRangeValue->value());
    if (cdsPVal->state() != DataSetState::Browse) cdsPVal->post();

    const QString school = pub::schoolId();
    const qint64 examId = cdsExamTotal->value(u"Id").toLongLong();
    std::optional<pub::WaitIndicator> wait(std::in_place, this, QStringLiteral("正在保存设置并计算P值，请稍候......"));
    if (cdsPVal->changeCount() > 0) {
        const CallResult saved = saveTable(*cdsPVal, protocol::UpPVal);
        if (!saved.ok()) {
            wait.reset();
            pub::writeLog(kCaption + QStringLiteral(": ") + saved.message);
            pub::msgError(QStringLiteral("配置保存失败，可能网络繁忙，请稍候重试！"), this);
            return false;
        }
        // Read back what was stored: a new record has its number now, and the next save needs it.
        if (const CallResult read = loadTable(*cdsPVal, protocol::QPVal, {in(school), in(examId), var(qint64(1))}); !read.ok()) {
            wait.reset();
            reportFailure(this, kCaption, read, Failure::Read);
            return false;
        }
        cdsPVal->first();
    }
    QString key = QString::number(examId);
    if (!chkTypes.isEmpty() && chkTypes.last()->isChecked()) key += u';' + Roster;
    QList<wire::Argument> args{in(school), var(key), in(qint64(InYear))};
    const CallResult r = callServer(protocol::CalPVal, args);
    wait.reset();
    if (r.outcome != CallResult::Done) {
        reportFailure(this, kCaption, r, Failure::Connection);
        return false;
    }
    const qint64 *answer = std::get_if<qint64>(&r.result);
    if (answer && *answer == 0) {
        WriteOperationLog(QStringLiteral("计算P值 ") + examTitle() + QStringLiteral(" 成功！"));
        accept();
        return true;
    }
    pub::writeLog(kCaption + QStringLiteral(": ") + r.message);
    const qint64 code = answer ? *answer : 1;
    pub::msgError(code == 1   ? QStringLiteral("P值配置数据读取失败！")
                  : code == 2 ? QStringLiteral("P值各元素计算发生错误！")
                              : QStringLiteral("P值计算错误，请确认P值计算公式是否有误！"),
                  this);
    return false;
}

int runCalePVal(QWidget *owner, const QStringList &params, const QString &roster)
{
    TfrmCalePVal dialog(owner);
    if (owner) dialog.setWindowIcon(owner->window()->windowIcon());
    dialog.Params = params;
    dialog.Roster = roster;
    if (!dialog.prepare()) return 2;
    return runModal(dialog) == QDialog::Accepted ? 1 : 2;
}

} // namespace lumeko::achieve
