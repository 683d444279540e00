#include "exams/ufrmexamdefine.h"

#include "domain/examrules.h"
#include "exams/examheaderfields.h"
#include "exams/examsubjects.h"
#include "framework/remotetable.h"
#include "framework/servercall.h"
#include "framework/sharedroutines.h"
#include "host/pub/pub.h"
#include "toolkit/grid/bandedgrid.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace lumeko::achieve {

namespace {

const QString kNoPage = QStringLiteral("⊥");
const QString kReadFailed = QStringLiteral("数据读取失败，可能网络不稳定，请稍后再试！");
const QString kConnectFailed = QStringLiteral("服务器连接失败，可能网络不稳定，请稍后再试！");

QString quoted(const QString &v)
{
    return u'\'' + QString(v).replace(u'\'', QStringLiteral("''")) + u'\'';
}

} // namespace

TfrmExamDefine::TfrmExamDefine(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("考试定义向导"));
    for (DataSet **d : {&cdsExamType, &cdsExamInfo, &cdsSubjects, &cdsExamTotal, &cdsExamSubject, &cdsGradeClass, &cdsClassName})
        *d = new DataSet(this);
    auto *layout = new QVBoxLayout(this);
    lblTitle = new QLabel(this);
    lblStep = new QLabel(this);
    QFont bold = lblStep->font();
    bold.setBold(true);
    lblStep->setFont(bold);
    layout->addWidget(lblTitle);
    layout->addWidget(lblStep);
    pcSteps = new QStackedWidget(this);
    layout->addWidget(pcSteps, 1);

    // Step 1: the kind and name of the exam.
    auto *page1 = new QWidget(pcSteps);
    auto *l1 = new QVBoxLayout(page1);
    gbExamType = new QGroupBox(QStringLiteral("考试类型"), page1);
    new QHBoxLayout(gbExamType);
    rgExamType = new QButtonGroup(this);
    l1->addWidget(gbExamType);
    l1->addWidget(new QLabel(QStringLiteral("考试名称："), page1));
    lbExamName = new QListWidget(page1);
    l1->addWidget(lbExamName, 1);
    auto *alias = new QHBoxLayout;
    alias->addWidget(new QLabel(QStringLiteral("考试别名："), page1));
    edExamName = new QLineEdit(page1);
    alias->addWidget(edExamName, 1);
    l1->addLayout(alias);
    pcSteps->addWidget(page1);
    connect(rgExamType, &QButtonGroup::idToggled, this, [this](int, bool on) {
        if (on) filterCatalogue();
    });
    connect(lbExamName, &QListWidget::currentTextChanged, edExamName, &QLineEdit::setText);

    // Step 2: the subjects and their marks.
    auto *page2 = new QWidget(pcSteps);
    auto *l2 = new QVBoxLayout(page2);
    grdSubjects = new BandedGrid(page2);
    grdSubjects->setDataSet(cdsSubjects);
    grdSubjects->setGroupByBoxVisible(false);
    grdSubjects->setBandCaptionsVisible(false);
    grdSubjects->setFooterVisible(false);
    QList<GridColumn> columns;
    for (const auto &[field, caption] : std::initializer_list<std::pair<const char *, const char *>>{{"Freeze", "选择"},
                                                                                                     {"SubjectName", "科目"},
                                                                                                     {"FullMark", "满分制"},
                                                                                                     {"ExcelMark", "优秀"},
                                                                                                     {"GoodMark", "良好"},
                                                                                                     {"PassMark", "及格"},
                                                                                                     {"BadMark", "合格"},
                                                                                                     {"HighMark", "上限"},
                                                                                                     {"LowMark", "下限"},
                                                                                                     {"DistanceMark", "间距"},
                                                                                                     {"Per", "权重"}}) {
        GridColumn c;
        c.field = QString::fromLatin1(field);
        c.caption = QString::fromUtf8(caption);
        c.width = c.field == u"SubjectName" ? 90 : 56;
        c.readOnly = c.field == u"SubjectName" || c.field == u"Per";
        columns << c;
    }
    grdSubjects->setColumns(columns);
    l2->addWidget(grdSubjects, 1);
    chkAll = new QCheckBox(QStringLiteral("全选"), page2);
    l2->addWidget(chkAll);
    pcSteps->addWidget(page2);
    m_subjects = new ExamSubjects(*cdsSubjects, this, [this] { return identity(); });
    connect(chkAll, &QCheckBox::toggled, m_subjects, &ExamSubjects::selectAll);

    // Step 3: totals, class range, rights, deadline and entry order.
    auto *page3 = new QWidget(pcSteps);
    auto *l3 = new QVBoxLayout(page3);
    header = new ExamHeaderFields(page3, QStringLiteral("任课教师"));
    l3->addWidget(header->totals);
    auto *middle = new QHBoxLayout;
    auto *range = new QVBoxLayout;
    chkWholeGrade = new QCheckBox(QStringLiteral("全年级"), page3);
    chkWholeGrade->setChecked(true);
    lbClasses = new QListWidget(page3);
    lbClasses->setEnabled(false);
    range->addWidget(chkWholeGrade);
    range->addWidget(lbClasses);
    middle->addLayout(range, 1);
    connect(chkWholeGrade, &QCheckBox::toggled, this, [this](bool whole) {
        for (int i = 0; i < lbClasses->count(); ++i)
            lbClasses->item(i)->setCheckState(whole ? Qt::Checked : Qt::Unchecked);
        lbClasses->setEnabled(!whole);
    });
    middle->addWidget(header->rights);
    auto *other = new QVBoxLayout;
    other->addWidget(new QLabel(QStringLiteral("限录日期："), page3));
    deLimit = new QDateEdit(QDate::currentDate().addMonths(1), page3);
    deLimit->setCalendarPopup(true);
    deLimit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    other->addWidget(deLimit);
    other->addWidget(new QLabel(QStringLiteral("录入方式："), page3));
    cbInway = new QComboBox(page3);
    cbInway->addItems({QStringLiteral("班级座号"), QStringLiteral("考场考号"), QStringLiteral("学籍辅号"), QStringLiteral("姓名顺序")});
    other->addWidget(cbInway);
    chkFreeze = new QCheckBox(QStringLiteral("保存时冻结"), page3);
    chkPublish = new QCheckBox(QStringLiteral("创建后自动发布到微信"), page3);
    other->addWidget(chkFreeze);
    other->addWidget(chkPublish);
    other->addStretch();
    middle->addLayout(other);
    l3->addLayout(middle, 1);
    pcSteps->addWidget(page3);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    btnPrior = new QPushButton(QStringLiteral("上一步"), this);
    btnNext = new QPushButton(QStringLiteral("下一步"), this);
    btnCancel = new QPushButton(QStringLiteral("取    消"), this);
    buttons->addWidget(btnPrior);
    buttons->addWidget(btnNext);
    buttons->addWidget(btnCancel);
    layout->addLayout(buttons);
    connect(btnPrior, &QPushButton::clicked, this, &TfrmExamDefine::prior);
    connect(btnNext, &QPushButton::clicked, this, &TfrmExamDefine::next);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    applyHostLook(this, false);
    showStep(0);
    resize(860, 560);
}

QString TfrmExamDefine::pageName() const
{
    return isUnit() ? pub::userCode() : kNoPage;
}

ExamIdentity TfrmExamDefine::identity() const
{
    return {pub::schoolId(),
            GradeCode,
            cdsExamTotal->isActive() ? cdsExamTotal->value(u"ExamCode").toString() : QString(),
            pageName(),
            edExamName->text().trimmed(),
            InYear};
}

void TfrmExamDefine::prepare()
{
    InYear = Params.value(0).toInt();
    GradeCode = Params.value(1).left(4);
    GradeName = Params.value(2);
    btnNext->setEnabled(GradeCode.size() == 4);
    pub::WaitIndicator wait(this);
    const QString school = pub::schoolId();
    CallResult r = loadTable(*cdsExamType, protocol::QRegByType, {in(QStringLiteral("ExamType")), var()});
    if (r.ok()) {
        // The kinds this mode offers, in the registry's order; the first is chosen.
        for (QAbstractButton *b : rgExamType->buttons())
            delete b;
        for (cdsExamType->first(); !cdsExamType->eof(); cdsExamType->next()) {
            const QString kind = cdsExamType->value(u"sValue").toString();
            if (kind != (SystemMode ? QStringLiteral("综合考试") : QStringLiteral("单元考试"))) continue;
            auto *button = new QRadioButton(kind, gbExamType);
            gbExamType->layout()->addWidget(button);
            rgExamType->addButton(button, rgExamType->buttons().size());
        }
        if (!rgExamType->buttons().isEmpty()) rgExamType->buttons().first()->setChecked(true);
        if (SchoolAutoPublish()) {
            chkPublish->setChecked(true);
            chkPublish->setEnabled(false);
        }
        r = loadTable(*cdsExamInfo, protocol::QExamInfo, {in(school), var()});
    }
    if (r.ok()) {
        cdsClassName->setData(pub::classNames());
        r = pub::viewAllClass()
                ? loadTable(*cdsGradeClass, protocol::QGradeClasses, {in(school), var(qint64(InYear)), in(GradeCode), var()})
                : loadTable(*cdsGradeClass, protocol::QGradeClassesByCode, {in(school), in(GradeCode), in(pub::userCode()), var(qint64(InYear)), var()});
    }
    if (!r.ok()) reportFailure(this, QStringLiteral("考试定义"), r, Failure::Read);
    filterCatalogue();
    chkWholeGrade->setEnabled(!SystemMode);
}

void TfrmExamDefine::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    lblTitle->setText(QStringLiteral("%1级%2").arg(InYear).arg(GradeName));
    setWindowTitle(SystemMode ? QStringLiteral("创建综合考试") : QStringLiteral("创建单元考试"));
}

// The catalogue's names of the chosen kind; in system mode the school-wide and the system's.
void TfrmExamDefine::filterCatalogue()
{
    lbExamName->clear();
    if (!cdsExamInfo->isActive()) return;
    const QAbstractButton *kind = rgExamType->checkedButton();
    const QString filter = SystemMode ? QStringLiteral("sType=%1 or sType=%2").arg(quoted(QStringLiteral("综合考试")), quoted(QStringLiteral("系统考试")))
                                      : QStringLiteral("sType=") + quoted(kind ? kind->text() : QString());
    FilterScope scope(*cdsExamInfo, filter);
    for (cdsExamInfo->first(); !cdsExamInfo->eof(); cdsExamInfo->next()) {
        auto *item = new QListWidgetItem(cdsExamInfo->value(u"sName").toString(), lbExamName);
        item->setData(Qt::UserRole, cdsExamInfo->value(u"sCode"));
    }
}

int TfrmExamDefine::step() const
{
    return pcSteps->currentIndex();
}

void TfrmExamDefine::showStep(int index)
{
    pcSteps->setCurrentIndex(index);
    const char *const captions[3] = {"考试类型", "考试科目", "考试总分及权限范围"};
    const char *const numbers[3] = {"第一步 ", "第二步 ", "第三步 "};
    lblStep->setText(QString::fromUtf8(numbers[index]) + QString::fromUtf8(captions[index]) + QStringLiteral("设置"));
    btnPrior->setVisible(index > 0);
    btnNext->setText(index == 2 ? QStringLiteral("完    成") : QStringLiteral("下一步"));
    chkAll->setVisible(index == 1);
    const QSignalBlocker block(chkAll);
    chkAll->setChecked(false);
}

void TfrmExamDefine::prior()
{
    if (step() > 0) showStep(step() - 1);
}

bool TfrmExamDefine::next()
{
    switch (step()) {
    case 0:
        if (!leaveStep1()) return false;
        showStep(1);
        return true;
    case 1:
        if (!leaveStep2()) return false;
        showStep(2);
        return true;
    default:
        return finish();
    }
}

bool TfrmExamDefine::leaveStep1()
{
    if (!lbExamName->currentItem()) {
        pub::msgHint(QStringLiteral("考试类型不能为空！"), this);
        return false;
    }
    const QString alias = edExamName->text().trimmed();
    if (alias.isEmpty()) {
        pub::msgHint(QStringLiteral("考试名称不能为空！"), this);
        return false;
    }
    const QString code = lbExamName->currentItem()->data(Qt::UserRole).toString();
    {
        pub::WaitIndicator wait(this);
        const CallResult r =
            loadTable(*cdsExamTotal, protocol::QExamTotal, {in(pub::schoolId()), in(GradeCode), in(code), in(pageName()), var(qint64(InYear)), var()});
        if (!r.ok()) {
            reportFailure(this, QStringLiteral("考试定义"), r, Failure::Read);
            return false;
        }
    }
    cdsExamTotal->first();
    m_newExam = cdsExamTotal->isEmpty();
    if (!m_newExam) {
        if (cdsExamTotal->value(u"Freeze").toBool()) {
            pub::msgHint(QStringLiteral("对不起，考试[%1]已被冻结，不能编辑！").arg(alias), this);
            return false;
        }
        if (pub::msgConfirm(QStringLiteral("此考试已定义，是否修改此考试设置？"), this) != 1) return false;
        m_storedClasses = cdsExamTotal->value(u"Classes").toString();
        cdsExamTotal->edit();
        return loadSubjects();
    }
    // A new exam: a primary grade has no main or base total.
    const bool primary = GradeCode.startsWith(u'0');
    cdsExamTotal->append();
    for (const auto &[field, value] : std::initializer_list<std::pair<const char16_t *, QVariant>>{{u"SchoolCode", pub::schoolId()},
                                                                                                   {u"GradeCode", GradeCode},
                                                                                                   {u"InYear", InYear},
                                                                                                   {u"ExamCode", code},
                                                                                                   {u"PageName", pageName()},
                                                                                                   {u"hasMain", !primary},
                                                                                                   {u"hasBase", !primary},
                                                                                                   {u"ModifyRight", isUnit() ? 32 : 33}})
        cdsExamTotal->setValue(QStringView(field), value);
    m_storedClasses.clear();
    if (!loadSubjects()) return false;
    copySameExam();
    return true;
}

bool TfrmExamDefine::loadSubjects()
{
    const QString code = cdsExamTotal->value(u"ExamCode").toString();
    QList<wire::Argument> args{in(pub::schoolId()), var(GradeCode), var(code), var(pageName()), var(qint64(InYear)), var()};
    CallResult r = loadTable(*cdsSubjects, protocol::QExamSubjects, args);
    if (r.ok() && isUnit() && !pub::viewAllGrade()) {
        // A teacher's unit exam offers the subjects he teaches.
        QList<wire::Argument> mine{in(pub::schoolId()), in(GradeCode), in(pub::userCode()), var(qint64(InYear))};
        r = callServer(protocol::QTeacherSubjects, mine);
        const QString subjects = std::get_if<QString>(&r.result) ? std::get<QString>(r.result) : QString();
        if (r.ok() && subjects != u"ALL") {
            const QStringList codes = subjects.split(u',', Qt::SkipEmptyParts);
            for (cdsSubjects->first(); !cdsSubjects->eof();)
                if (!codes.contains(cdsSubjects->value(u"SubjectCode").toString()))
                    cdsSubjects->deleteRecord();
                else
                    cdsSubjects->next();
            cdsSubjects->mergeChangeLog();
        }
    }
    if (!r.ok()) {
        reportFailure(this, QStringLiteral("考试定义"), r, Failure::Read);
        return false;
    }
    // The server marks the exam's own subjects: that is no change of the user's.
    m_subjects->remember();
    cdsSubjects->first();
    return true;
}

// A new exam may take over the marks and rights of the last exam of the same name.
void TfrmExamDefine::copySameExam()
{
    QList<wire::Argument> args{in(pub::schoolId()), in(GradeCode), in(cdsExamTotal->value(u"ExamCode").toString()), var(kNoPage)};
    const CallResult last = callServer(protocol::QSameExamLast, args);
    const auto *found = std::get_if<wire::DataPacket>(&last.result);
    if (!last.ok() || !found || found->rowCount() == 0) return;
    if (pub::msgConfirm(QStringLiteral("是否导入最近一次同名考试设置？"), this) != 1) return;
    DataSet same;
    same.setData(*found);
    same.first();
    cdsExamTotal->setValue(u"ModifyRight", same.value(u"ModifyRight"));
    DataSet rows;
    if (!loadTable(rows, protocol::QExamSubjectForUp,
                   {in(pub::schoolId()), in(GradeCode), in(same.value(u"ExamCode").toString()), in(same.value(u"PageName").toString()),
                    in(same.value(u"InYear").toLongLong()), var()})
             .ok())
        return;
    m_subjects->quietly([&] {
        for (cdsSubjects->first(); !cdsSubjects->eof(); cdsSubjects->next()) {
            if (!rows.locate(QStringLiteral("SubjectCode"), {cdsSubjects->value(u"SubjectCode")})) continue;
            cdsSubjects->edit();
            cdsSubjects->setValue(u"Freeze", true);
            for (const char *f : {"Per", "ModifyRight", "FullMark", "ExcelMark", "GoodMark", "PassMark", "BadMark", "HighMark", "LowMark", "DistanceMark"})
                cdsSubjects->setValue(QString::fromLatin1(f), rows.value(QString::fromLatin1(f)));
            cdsSubjects->post();
        }
    });
    cdsSubjects->first();
}

bool TfrmExamDefine::leaveStep2()
{
    grdSubjects->postEdit();
    lbClasses->clear();
    for (cdsGradeClass->first(); cdsGradeClass->isActive() && !cdsGradeClass->eof(); cdsGradeClass->next()) {
        const QString code = cdsGradeClass->value(u"ClassCode").toString();
        const QString name = cdsClassName->isActive() && cdsClassName->locate(QStringLiteral("ClassCode"), {code})
                                 ? cdsClassName->value(u"ClassName").toString()
                                 : QStringLiteral("***");
        auto *item = new QListWidgetItem(name, lbClasses);
        item->setData(Qt::UserRole, code);
        item->setCheckState(Qt::Checked);
    }
    bool any = false;
    for (cdsSubjects->first(); !cdsSubjects->eof(); cdsSubjects->next())
        any = any || cdsSubjects->value(u"Freeze").toBool();
    if (!any) {
        pub::msgHint(QStringLiteral("请至少选择一项科目！"), this);
        return false;
    }
    fillTotals();
    return true;
}

// The 3 × 8 totals over the chosen subjects, and the header's options as the fields show them.
void TfrmExamDefine::fillTotals()
{
    header->showHeader(*cdsExamTotal);
    header->showTotals(m_subjects->totals());
}

bool TfrmExamDefine::finish()
{
    QStringList classes;
    for (int i = 0; i < lbClasses->count(); ++i)
        if (lbClasses->item(i)->checkState() == Qt::Checked) classes << lbClasses->item(i)->data(Qt::UserRole).toString();
    if (isUnit() && classes.isEmpty()) {
        pub::msgError(QStringLiteral("请至少选择一个班级考生！"), this);
        return false;
    }
    const QString alias = edExamName->text().trimmed();
    const QString code = cdsExamTotal->value(u"ExamCode").toString();
    pub::WaitIndicator wait(this, QStringLiteral("正在保存考试配置数据......"));
    if (!loadTable(*cdsExamSubject, protocol::QExamSubjectForUp, {in(pub::schoolId()), in(GradeCode), in(code), in(pageName()), var(qint64(InYear)), var()})
             .ok()) {
        pub::msgError(kReadFailed, this);
        return false;
    }
    m_subjects->mergeInto(*cdsExamSubject, identity());

    // The header: the totals, the options, and the candidate classes.
    if (cdsExamTotal->state() == DataSetState::Browse) cdsExamTotal->edit();
    const auto set = [this](const QString &field, const QVariant &v) {
        if (cdsExamTotal->value(field) != v) cdsExamTotal->setValue(field, v);
    };
    set(QStringLiteral("ExamName"), alias);
    header->writeHeader(*cdsExamTotal);
    set(QStringLiteral("dLimitDay"), deLimit->date());
    set(QStringLiteral("nInway"), cbInway->currentIndex());
    set(QStringLiteral("Freeze"), chkFreeze->isChecked());
    set(QStringLiteral("WXshowed"), chkPublish->isChecked());
    const QString classText = chkWholeGrade->isChecked() && !isUnit() ? QStringLiteral("ALL") : classes.join(u',');
    set(QStringLiteral("Classes"), classText);
    cdsExamTotal->post();
    // The definition time changes only with something else to store.
    if (cdsExamTotal->changeCount() > 0 || cdsExamSubject->changeCount() > 0) {
        cdsExamTotal->edit();
        cdsExamTotal->setValue(u"dDefDay", QDateTime::currentDateTime());
        cdsExamTotal->post();
    }

    if (cdsExamTotal->changeCount() > 0 || cdsExamSubject->changeCount() > 0) {
        QList<wire::Argument> args{cdsExamTotal->changeCount() > 0 ? in(cdsExamTotal->delta()) : in(wire::Null{}), in(cdsExamSubject->delta()), in(qint64(-1)),
                                   var(qint64(0))};
        const CallResult r = callServer(protocol::UpExamTotal, args);
        if (r.outcome == CallResult::Failed) {
            pub::writeLog(QStringLiteral("考试定义: ") + r.message);
            pub::msgError(kConnectFailed, this);
            return false;
        }
        if (r.outcome == CallResult::Refused) {
            pub::writeLog(QStringLiteral("考试定义: ") + r.message);
            pub::msgError(QStringLiteral("%1 考试定义 数据保存失败，可能网络不稳定，请稍后再试！").arg(alias), this);
            return false;
        }
        cdsExamTotal->mergeChangeLog();
        cdsExamSubject->mergeChangeLog();
        WriteOperationLog(QStringLiteral("定义考试 ") + alias + QStringLiteral(" 成功！"));
        if (m_newExam || classText != m_storedClasses) {
            QStringList quotedClasses;
            if (classText != u"ALL")
                for (const QString &c : classes)
                    quotedClasses << quoted(c);
            QList<wire::Argument> roster{in(pub::schoolId()), in(GradeCode), in(code), in(pageName()), var(quotedClasses.join(u',')), in(qint64(InYear))};
            const CallResult made = callServer(protocol::UpExamStudents, roster);
            if (made.ok() && made.result == wire::Value(qint64(1))) WriteOperationLog(QStringLiteral("更新考试 ") + alias + QStringLiteral(" 学生名单成功！"));
        }
    }
    pub::msgHint(QStringLiteral("定义考试【%1】完成！\n可至我的桌面的\"成绩管理\"中录入成绩。").arg(alias), this);
    accept();
    return true;
}

} // namespace lumeko::achieve
