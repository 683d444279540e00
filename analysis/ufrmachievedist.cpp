#include "analysis/ufrmachievedist.h"

#include "analysis/analysiscall.h"
#include "framework/editcycle.h"
#include "framework/remotetable.h"
#include "framework/servercall.h"
#include "framework/sharedroutines.h"
#include "host/pub/pub.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

namespace lumeko::achieve {

namespace {

const char *const kMarkFields[] = {"FullMark", "ExcelMark", "GoodMark", "PassMark", "BadMark"};
const char *const kBandFields[] = {"HighMark", "DistanceMark", "LowMark"};
const char *const kMarkCaptions[] = {"满分", "优秀分", "良好分", "及格分", "合格分"};
const char *const kBandCaptions[] = {"最高分数段", "分数段间距", "最低分数段"};
const QString kNoPage = QStringLiteral("⊥");

QDoubleSpinBox *markBox(QWidget *parent)
{
    auto *b = new QDoubleSpinBox(parent);
    b->setRange(0, 2000);
    b->setDecimals(1);
    return b;
}

QSpinBox *bandBox(QWidget *parent)
{
    auto *b = new QSpinBox(parent);
    b->setRange(0, 2000);
    return b;
}

} // namespace

TfrmAchieveDist::TfrmAchieveDist(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("成绩分布分析"));
    applyHostLook(this, true);
    cdsSubjects = new DataSet(this);
    cdsSubjectPt = new DataSet(this);

    cbSubject = new QComboBox(this);
    cbSubject->setPlaceholderText(QStringLiteral("请选择统计科目"));
    cbSubject->setMinimumWidth(160);
    edFull = markBox(this);
    edExcel = markBox(this);
    edGood = markBox(this);
    edPass = markBox(this);
    edBad = markBox(this);
    edHigh = bandBox(this);
    edDistance = bandBox(this);
    edLow = bandBox(this);
    clbItems = new QListWidget(this);
    clbRange = new QListWidget(this);
    chkLayers = new QCheckBox(QStringLiteral("统计排名前后各班人数"), this);
    seLayers = new QSpinBox(this);
    seLayers->setRange(1, kMaxRankLayers);
    tblLayers = new QTableWidget(2, 3, this);
    tblLayers->setVerticalHeaderLabels({QStringLiteral("排名前"), QStringLiteral("排名后")});
    tblLayers->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    tblLayers->setFixedHeight(92);
    btnOK = new QPushButton(QStringLiteral("确定"), this);
    btnCancel = new QPushButton(QStringLiteral("取消"), this);
    btnOK->setDefault(true);

    auto *subject = new QHBoxLayout;
    subject->addWidget(new QLabel(QStringLiteral("统计分数："), this));
    subject->addWidget(cbSubject, 1);

    auto *marks = new QGroupBox(QStringLiteral("分数设置"), this);
    auto *mg = new QGridLayout(marks);
    const QStringList markCaptions = {"满  分：", "优秀分：", "良好分：", "及格分：", "合格分："};
    for (int i = 0; i < 5; ++i) {
        mg->addWidget(new QLabel(markCaptions[i], marks), i, 0);
        mg->addWidget(markBoxes()[i], i, 1);
    }
    auto *bands = new QGroupBox(QStringLiteral("分数段设置："), this);
    auto *bg = new QGridLayout(bands);
    bg->addWidget(new QLabel(QStringLiteral("最高分数段："), bands), 0, 0);
    bg->addWidget(new QLabel(QStringLiteral("满分至"), bands), 0, 1);
    bg->addWidget(edHigh, 0, 2);
    bg->addWidget(new QLabel(QStringLiteral("分数段间距："), bands), 1, 0);
    bg->addWidget(edDistance, 1, 2);
    bg->addWidget(new QLabel(QStringLiteral("最低分数段："), bands), 2, 0);
    bg->addWidget(edLow, 2, 2);
    bg->addWidget(new QLabel(QStringLiteral("至 0 分"), bands), 2, 3);

    auto *items = new QGroupBox(QStringLiteral("统计项目"), this);
    (new QVBoxLayout(items))->addWidget(clbItems);
    addCheckItems(clbItems, distItemCaptions(), statesOf(QString::fromLatin1(kDistItemsDefault), 11));
    auto *range = new QGroupBox(QStringLiteral("统计范围"), this);
    (new QVBoxLayout(range))->addWidget(clbRange);

    auto *layers = new QGroupBox(this);
    auto *lg = new QGridLayout(layers);
    lg->addWidget(chkLayers, 0, 0);
    lg->addWidget(seLayers, 0, 1);
    lg->addWidget(new QLabel(QStringLiteral("层次"), layers), 0, 2);
    lg->addWidget(tblLayers, 1, 0, 1, 4);
    lg->addWidget(new QLabel(QStringLiteral("注：排名设置0不计入"), layers), 2, 0, 1, 4);

    auto *left = new QVBoxLayout;
    left->addLayout(subject);
    left->addWidget(marks);
    left->addWidget(bands);
    auto *middle = new QHBoxLayout;
    middle->addLayout(left);
    middle->addWidget(items);
    middle->addWidget(range);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(middle);
    layout->addWidget(layers);
    layout->addLayout(buttons);

    connect(cbSubject, &QComboBox::currentIndexChanged, this, [this] { showMarks(); });
    for (QDoubleSpinBox *b : markBoxes())
        connect(b, &QDoubleSpinBox::valueChanged, this, [this] { takeMarks(); });
    for (QSpinBox *b : bandBoxes())
        connect(b, &QSpinBox::valueChanged, this, [this] { takeMarks(); });
    connect(seLayers, &QSpinBox::valueChanged, this, [this](int n) { showLayers(resizedLayers(Layers(), n)); });
    connect(chkLayers, &QCheckBox::toggled, this, [this](bool on) {
        seLayers->setEnabled(on);
        tblLayers->setEnabled(on);
    });
    connect(btnOK, &QPushButton::clicked, this, &TfrmAchieveDist::btnOKClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    showLayers(readRankLayers(rankLayersFile()));
    chkLayers->setChecked(false);
    seLayers->setEnabled(false);
    tblLayers->setEnabled(false);
}

QList<QDoubleSpinBox *> TfrmAchieveDist::markBoxes() const
{
    return {edFull, edExcel, edGood, edPass, edBad};
}
QList<QSpinBox *> TfrmAchieveDist::bandBoxes() const
{
    return {edHigh, edDistance, edLow};
}

bool TfrmAchieveDist::InitForm()
{
    Exam = readAnalysisParams(Params);
    const QString school = pub::schoolId();
    CallResult r = loadTable(*cdsSubjects, protocol::QSubjects, {in(school), in(Exam.gradeCode), var(qint64(Exam.inYear)), var()});
    if (r.ok())
        r = loadTable(*cdsSubjectPt, protocol::QExamSubjectAllPt,
                      {in(school), in(Exam.gradeCode), in(Exam.examCode), var(Exam.pageName), var(qint64(Exam.inYear)), var()});
    if (!r.ok()) {
        reportFailure(this, windowTitle(), r, Failure::Read);
        return false;
    }
    if (!fillStudentRange(clbRange, PickedAllowed, this, windowTitle())) return false;

    // The offered subjects the exam has, then its totals when the user may see them.
    QStringList codes = Exam.subjectCodes;
    if (Exam.pageName == kNoPage && (pub::userType() == 1 || functionKeys(4011).contains(QStringLiteral("ViewTotal")))) codes = withTotals(codes);
    cbSubject->blockSignals(true);
    for (const QString &code : codes) {
        if (!cdsSubjectPt->locate(QStringLiteral("SubjectCode"), {code})) continue;
        QString name = totalCaption(code);
        if (name.isEmpty()) name = cdsSubjects->locate(QStringLiteral("SubjectCode"), {code}) ? cdsSubjects->value(u"SubjectName").toString() : code;
        cbSubject->addItem(name, code);
    }
    cbSubject->setCurrentIndex(-1);
    cbSubject->blockSignals(false);
    showMarks();
    return true;
}

QString TfrmAchieveDist::SubjectCode() const
{
    return cbSubject->currentData().toString();
}

void TfrmAchieveDist::showMarks()
{
    const QString code = SubjectCode();
    const bool found = !code.isEmpty() && cdsSubjectPt->locate(QStringLiteral("SubjectCode"), {code});
    m_showing = true;
    for (int i = 0; i < 5; ++i) {
        markBoxes()[i]->setEnabled(found);
        markBoxes()[i]->setValue(found ? cdsSubjectPt->value(QString::fromLatin1(kMarkFields[i])).toDouble() : 0);
    }
    for (int i = 0; i < 3; ++i) {
        bandBoxes()[i]->setEnabled(found);
        bandBoxes()[i]->setValue(found ? int(cdsSubjectPt->value(QString::fromLatin1(kBandFields[i])).toLongLong()) : 0);
    }
    m_showing = false;
}

// The marks typed go into the subject's row; OK stores the rows that changed.
void TfrmAchieveDist::takeMarks()
{
    if (m_showing) return;
    const QString code = SubjectCode();
    if (code.isEmpty() || !cdsSubjectPt->locate(QStringLiteral("SubjectCode"), {code})) return;
    cdsSubjectPt->edit();
    for (int i = 0; i < 5; ++i)
        if (!wire::sameValue(cdsSubjectPt->value(QString::fromLatin1(kMarkFields[i])), markBoxes()[i]->value()))
            cdsSubjectPt->setValue(QString::fromLatin1(kMarkFields[i]), markBoxes()[i]->value());
    for (int i = 0; i < 3; ++i)
        if (!wire::sameValue(cdsSubjectPt->value(QString::fromLatin1(kBandFields[i])), qint64(bandBoxes()[i]->value())))
            cdsSubjectPt->setValue(QString::fromLatin1(kBandFields[i]), qint64(bandBoxes()[i]->value()));
    cdsSubjectPt->post();
}

void TfrmAchieveDist::showLayers(const RankLayers &layers)
{
    tblLayers->setColumnCount(layers.count);
    QStringList heads;
    for (int n = 1; n <= layers.count; ++n)
        heads << QStringLiteral("第%1层").arg(n);
    tblLayers->setHorizontalHeaderLabels(heads);
    for (int row = 0; row < 2; ++row)
        for (int n = 0; n < layers.count; ++n) {
            auto *box = qobject_cast<QSpinBox *>(tblLayers->cellWidget(row, n));
            if (!box) {
                box = new QSpinBox(tblLayers);
                box->setRange(0, 500);
                box->setSingleStep(5);
                tblLayers->setCellWidget(row, n, box);
            }
            box->setValue((row == 0 ? layers.top : layers.bottom).value(n));
        }
    if (seLayers->value() != layers.count) {
        seLayers->blockSignals(true);
        seLayers->setValue(layers.count);
        seLayers->blockSignals(false);
    }
}

RankLayers TfrmAchieveDist::Layers() const
{
    RankLayers l;
    l.count = tblLayers->columnCount();
    for (int n = 0; n < l.count; ++n) {
        const auto *top = qobject_cast<QSpinBox *>(tblLayers->cellWidget(0, n));
        const auto *bottom = qobject_cast<QSpinBox *>(tblLayers->cellWidget(1, n));
        l.top << (top ? top->value() : 0);
        l.bottom << (bottom ? bottom->value() : 0);
    }
    return l;
}

QString TfrmAchieveDist::SettingsText() const
{
    DistSettings s;
    s.items = checkStates(clbItems);
    s.rankLayers = chkLayers->isChecked();
    const RankLayers l = Layers();
    s.topCuts = l.top;
    s.bottomCuts = l.bottom;
    s.subject = SubjectCode();
    int types = 0;
    for (int i = 0; i < clbRange->count(); ++i) {
        const QListWidgetItem *item = clbRange->item(i);
        if (item->text() == kPickedStudents) continue;
        ++types;
        if (item->checkState() == Qt::Checked) s.ticked << item->data(Qt::UserRole).toString();
    }
    // Every type counts when all are ticked, and when only the picked students are.
    s.everyType = s.ticked.size() == types || s.ticked.isEmpty();
    return distSettingsText(s);
}

QString TfrmAchieveDist::FilterArgument() const
{
    return filterArgument(FilterText, checkedCaptions(clbRange).contains(kPickedStudents));
}

bool TfrmAchieveDist::storeMarks()
{
    if (cdsSubjectPt->changeCount() == 0) return true;
    const QString school = pub::schoolId();
    DataSet subjects, header;
    CallResult r = loadTable(subjects, protocol::QExamSubjectForUp,
                             {in(school), in(Exam.gradeCode), in(Exam.examCode), in(Exam.pageName), var(qint64(Exam.inYear)), var()});
    if (r.ok())
        r = loadTable(header, protocol::QExamTotal, {in(school), in(Exam.gradeCode), in(Exam.examCode), in(Exam.pageName), var(qint64(Exam.inYear)), var()});
    if (!r.ok()) {
        reportFailure(this, windowTitle(), r, Failure::Read);
        return false;
    }
    QString log;
    for (const Bookmark row : cdsSubjectPt->changedSlots()) {
        cdsSubjectPt->gotoBookmark(row);
        const QString code = cdsSubjectPt->value(u"SubjectCode").toString();
        DataSet &target = isTotalSubject(code) ? header : subjects;
        const QString prefix = code == u"FUL" ? QStringLiteral("a") : code == u"MAI" ? QStringLiteral("m") : code == u"BAS" ? QStringLiteral("b") : QString();
        if (isTotalSubject(code) ? header.isEmpty() : !subjects.locate(QStringLiteral("SubjectCode"), {code})) continue;
        if (isTotalSubject(code)) header.first();
        target.edit();
        for (const char *const *fields : {kMarkFields, kBandFields}) {
            const int n = fields == kMarkFields ? 5 : 3;
            for (int i = 0; i < n; ++i) {
                const QString field = QString::fromLatin1(fields[i]);
                const QVariant before = cdsSubjectPt->oldValue(cdsSubjectPt->fieldIndex(field)), now = cdsSubjectPt->value(field);
                if (wire::sameValue(before, now) || target.fieldIndex(prefix + field) < 0) continue;
                target.setValue(prefix + field, now);
                const char *caption = fields == kMarkFields ? kMarkCaptions[i] : kBandCaptions[i];
                log += QStringLiteral("<%1%2>值%3改为%4;")
                           .arg(cbSubject->itemText(cbSubject->findData(code)), QString::fromUtf8(caption), before.toString(), now.toString());
            }
        }
        target.post();
    }
    QList<wire::Argument> args{in(header.changeCount() > 0 ? wire::Value(header.delta()) : wire::Value(wire::Null{})),
                               in(subjects.changeCount() > 0 ? wire::Value(subjects.delta()) : wire::Value(wire::Null{})), in(qint64(-1)), var(qint64(0))};
    const CallResult saved = callServer(protocol::UpExamTotal, args);
    if (!saved.ok()) {
        reportFailure(this, windowTitle(), saved, Failure::Save);
        return false;
    }
    cdsSubjectPt->mergeChangeLog();
    if (!log.isEmpty()) WriteOperationLog(QStringLiteral("修改成绩分布分数设置:") + log);
    return true;
}

void TfrmAchieveDist::btnOKClick()
{
    if (SubjectCode().isEmpty()) {
        pub::msgHint(QStringLiteral("请选择要统计的科目！"), this);
        return;
    }
    if (checkedKeys(clbRange).isEmpty()) {
        pub::msgHint(QStringLiteral("请选择要统计的范围！"), this);
        return;
    }
    if (!storeMarks()) return;
    if (chkLayers->isChecked()) writeRankLayers(rankLayersFile(), Layers());
    accept();
}

} // namespace lumeko::achieve
