#include "schoolyear/ufrmgradedefine.h"

#include "framework/gradechoices.h"
#include "framework/remotetable.h"
#include "framework/servercall.h"
#include "framework/sharedroutines.h"
#include "host/pub/pub.h"
#include "schoolyear/schoolyearrules.h"
#include "toolkit/grid/bandedgrid.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <optional>

namespace lumeko::achieve {

namespace {

const QString kCaption = QStringLiteral("年级定义");
const QString kReminderKey = QStringLiteral("IsRunNewGrade");

QString quoted(const QString &v)
{
    return u'\'' + QString(v).replace(u'\'', QStringLiteral("''")) + u'\'';
}

// Sets a field only when the value differs, so that an unchanged row stays unchanged.
void setIfDifferent(DataSet &table, const QString &field, const QVariant &value)
{
    if (!wire::sameValue(table.value(field), value)) table.setValue(field, value);
}

GridColumn column(const char *field, const char *caption, int width, EditorKind editor, bool readOnly = false)
{
    GridColumn c = GridColumn::of(field, caption, width, readOnly);
    c.editor = editor;
    return c;
}

QList<LookupItem> integerLookup(DataSet &list)
{
    QList<LookupItem> items;
    for (list.first(); list.isActive() && !list.eof(); list.next())
        items.append({qint64(list.value(u"sKeyId").toString().toLongLong()), list.value(u"sValue").toString()});
    return items;
}

} // namespace

TfrmGradeDefine::TfrmGradeDefine(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("定义新年级"));
    for (DataSet **d : {&cdsGrade, &cdsGradeName, &cdsClassName, &cdsSchool, &cdsSubjectType, &cdsFullMark, &cdsTeacher, &cdsSubjects, &cdsClasses,
                        &cdsStoredSubjects, &cdsStoredClasses})
        *d = new DataSet(this);
    auto *layout = new QVBoxLayout(this);
    lblStep = new QLabel(this);
    QFont bold = lblStep->font();
    bold.setBold(true);
    bold.setPointSize(bold.pointSize() + 1);
    lblStep->setFont(bold);
    layout->addWidget(lblStep);
    pcSteps = new QStackedWidget(this);
    layout->addWidget(pcSteps, 1);

    // Step 1: which grade of which intake, its school year and its leaders.
    auto *page1 = new QWidget(pcSteps);
    auto *form = new QFormLayout(page1);
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    cbGrade = new QComboBox(page1);
    seInYear = new QSpinBox(page1);
    seInYear->setRange(2000, 5000);
    seInYear->setSuffix(QStringLiteral(" 级"));
    cbSchoolYear = new QComboBox(page1);
    chkCurYear = new QCheckBox(QStringLiteral("当前学年"), page1);
    chkCurYear->setChecked(true);
    auto *yearRow = new QHBoxLayout;
    yearRow->addWidget(cbSchoolYear, 1);
    yearRow->addWidget(chkCurYear);
    cbTeacher = new QComboBox(page1);
    cbSubTeacher = new QComboBox(page1);
    form->addRow(QStringLiteral("年级："), cbGrade);
    form->addRow(QStringLiteral("学级："), seInYear);
    form->addRow(QStringLiteral("学年："), yearRow);
    form->addRow(QStringLiteral("年级长："), cbTeacher);
    form->addRow(QStringLiteral("副年级长："), cbSubTeacher);
    pcSteps->addWidget(page1);
    connect(chkCurYear, &QCheckBox::toggled, this, &TfrmGradeDefine::applyCurrentYear);
    connect(cbSchoolYear, &QComboBox::currentIndexChanged, this, &TfrmGradeDefine::schoolYearChosen);
    connect(cbGrade, &QComboBox::currentIndexChanged, this, &TfrmGradeDefine::gradeChosen);
    connect(seInYear, &QSpinBox::valueChanged, this, &TfrmGradeDefine::gradeChosen);

    // Steps 2 and 3: the grade's subjects and classes, ticked from every one of the school.
    for (BandedGrid **grid : {&grdSubjects, &grdClasses}) {
        auto *page = new QWidget(pcSteps);
        auto *l = new QVBoxLayout(page);
        l->setContentsMargins(0, 0, 0, 0);
        *grid = new BandedGrid(page);
        (*grid)->setGroupByBoxVisible(false);
        (*grid)->setBandCaptionsVisible(false);
        (*grid)->setFooterVisible(false);
        l->addWidget(*grid);
        pcSteps->addWidget(page);
    }
    grdSubjects->setDataSet(cdsSubjects);
    grdClasses->setDataSet(cdsClasses);
    connect(cdsSubjects, &DataSet::rowChanged, this, &TfrmGradeDefine::subjectChanged);
    connect(cdsClasses, &DataSet::rowChanged, this, &TfrmGradeDefine::classChanged);

    auto *buttons = new QHBoxLayout;
    chkAutoRemind = new QCheckBox(QStringLiteral("自动提醒"), this);
    chkAll = new QCheckBox(QStringLiteral("全选"), this);
    btnImport = new QPushButton(QStringLiteral("导入上学年配置"), this);
    buttons->addWidget(chkAutoRemind);
    buttons->addWidget(chkAll);
    buttons->addWidget(btnImport);
    buttons->addStretch();
    btnPrior = new QPushButton(QStringLiteral("上一步"), this);
    btnNext = new QPushButton(QStringLiteral("下一步"), this);
    btnCancel = new QPushButton(QStringLiteral("取    消"), this);
    buttons->addWidget(btnPrior);
    buttons->addWidget(btnNext);
    buttons->addWidget(btnCancel);
    layout->addLayout(buttons);
    connect(chkAutoRemind, &QCheckBox::toggled, this, [](bool on) { setReminder(kReminderKey, on, schoolYearToday()); });
    connect(chkAll, &QCheckBox::toggled, this, &TfrmGradeDefine::selectAll);
    connect(btnImport, &QPushButton::clicked, this, &TfrmGradeDefine::importLastYear);
    connect(btnPrior, &QPushButton::clicked, this, &TfrmGradeDefine::prior);
    connect(btnNext, &QPushButton::clicked, this, &TfrmGradeDefine::next);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    applyHostLook(this, false);
    btnNext->setEnabled(false);
    showStep(0);
    resize(720, 500);
}

int TfrmGradeDefine::inYear() const
{
    return seInYear->value();
}

QString TfrmGradeDefine::gradeCode() const
{
    return cbGrade->currentData().toString();
}

QString TfrmGradeDefine::gradeName() const
{
    return cbGrade->currentText();
}

QVariant TfrmGradeDefine::comboCode(QComboBox *box) const
{
    const QString code = box->currentData().toString();
    return code.isEmpty() ? QVariant() : QVariant(code);
}

void TfrmGradeDefine::setComboCode(QComboBox *box, const QVariant &code)
{
    const int at = box->findData(code.toString());
    box->setCurrentIndex(at < 0 ? 0 : at);
}

void TfrmGradeDefine::prepare()
{
    const QDate today = schoolYearToday();
    CallResult r;
    {
        pub::WaitIndicator wait(this);
        {
            const QSignalBlocker intake(seInYear), years(cbSchoolYear), grades(cbGrade);
            seInYear->setValue(proposedIntakeYear(today));
            cbSchoolYear->clear();
            for (int y : offeredSchoolYears(today.year()))
                cbSchoolYear->addItem(SchoolYearText(y), y);
            cdsGradeName->setData(pub::gradeNames());
            cbGrade->clear();
            for (cdsGradeName->first(); cdsGradeName->isActive() && !cdsGradeName->eof(); cdsGradeName->next())
                cbGrade->addItem(cdsGradeName->value(u"sValue").toString(), cdsGradeName->value(u"sKeyId").toString());
        }
        cdsClassName->setData(pub::classNames());
        cdsGrade->setData(pub::gradeList());
        const QString school = pub::schoolId();
        r = loadTable(*cdsSchool, protocol::QSchoolInfo, {in(school), var()});
        if (r.ok()) r = loadTable(*cdsFullMark, protocol::QRegByType, {in(QStringLiteral("FullMarkType")), var()});
        if (r.ok()) r = loadTable(*cdsSubjectType, protocol::QRegByType, {in(QStringLiteral("SubjectType")), var()});
        if (r.ok()) r = loadTable(*cdsTeacher, protocol::QTeachers, {in(school), var()});
        // The host hands an empty packet when it could not read the grade records.
        if (r.ok() && cdsGrade->fieldIndex(u"GradeCode") < 0) r = CallResult{CallResult::Failed, 0, QStringLiteral("the grade records could not be read"), {}};
    }
    m_loaded = r.ok();
    if (!m_loaded) reportFailure(this, kCaption, r, Failure::Read);

    // The leaders' lists and the grids' look-ups.
    const QList<LookupItem> teachers = lookupItems(*cdsTeacher, u"sCode", u"sName");
    for (QComboBox *box : {cbTeacher, cbSubTeacher}) {
        const QSignalBlocker block(box);
        box->clear();
        box->addItem(QString(), QString());
        for (const LookupItem &t : teachers)
            box->addItem(t.text, t.key);
    }
    GridColumn subjectType = column("SubjectType", "科目类型", 110, EditorKind::Lookup);
    subjectType.lookup = integerLookup(*cdsSubjectType);
    GridColumn fullMark = column("FullMark", "满分制", 100, EditorKind::Lookup);
    fullMark.lookup = integerLookup(*cdsFullMark);
    GridColumn leader = column("TeacherCode", "备课组长", 110, EditorKind::Lookup);
    leader.lookup = teachers;
    grdSubjects->setColumns(
        {column("Selected", "选择", 50, EditorKind::Boolean), column("SubjectName", "科目", 120, EditorKind::Text, true), subjectType, fullMark, leader});
    cdsSchool->first();
    const bool twoCampuses = cdsSchool->isActive() && !cdsSchool->isEmpty() && cdsSchool->value(u"bHasSub").toBool();
    GridColumn campus = column("sArea", "校区", 90, EditorKind::Lookup);
    if (twoCampuses)
        for (const char *f : {"sMainCap", "sSubCap"})
            if (const QString name = cdsSchool->value(QString::fromLatin1(f)).toString(); !name.isEmpty()) campus.lookup.append({name, name});
    campus.visible = twoCampuses;
    GridColumn head = column("TeacherCode", "班主任", 110, EditorKind::Lookup);
    head.lookup = teachers;
    grdClasses->setColumns({column("Selected", "选择", 50, EditorKind::Boolean), column("ClassName", "班级", 140, EditorKind::Text, true),
                            column("AliasName", "班级别名", 130, EditorKind::Text), campus, head});

    {
        const QSignalBlocker block(chkAutoRemind);
        chkAutoRemind->setChecked(reminderTicked(kReminderKey, today));
    }
    gradeChosen();
    btnNext->setEnabled(m_loaded);
}

// "当前学年" ticked: the school year the grade's students are in that year of their stage;
// unticked: last year's.
void TfrmGradeDefine::applyCurrentYear()
{
    const int year = chkCurYear->isChecked() ? inYear() + yearInStage(gradeCode(), cdsGradeName->data()) - 1 : schoolYearToday().year() - 1;
    const int at = cbSchoolYear->findData(year);
    if (at < 0) return;
    const QSignalBlocker block(cbSchoolYear);
    cbSchoolYear->setCurrentIndex(at);
}

// A school year chosen by hand is the current one when it starts this calendar year.
void TfrmGradeDefine::schoolYearChosen()
{
    const QSignalBlocker block(chkCurYear);
    chkCurYear->setChecked(cbSchoolYear->currentData().toInt() == schoolYearToday().year());
}

// Another grade or intake: its school year by the tick, and the leaders of the grade when it is
// defined already.
void TfrmGradeDefine::gradeChosen()
{
    if (chkCurYear->isChecked()) applyCurrentYear();
    if (!cdsGrade->isActive() || cdsGrade->fieldIndex(u"GradeCode") < 0) return;
    if (cdsGrade->locate(QStringLiteral("InYear;GradeCode"), {inYear(), gradeCode()})) {
        setComboCode(cbTeacher, cdsGrade->value(u"TeacherCode"));
        setComboCode(cbSubTeacher, cdsGrade->value(u"SubTeacherCode"));
    }
}

int TfrmGradeDefine::step() const
{
    return pcSteps->currentIndex();
}

void TfrmGradeDefine::showStep(int index)
{
    pcSteps->setCurrentIndex(index);
    const QString grade = QStringLiteral("%1级%2").arg(inYear()).arg(gradeName());
    switch (index) {
    case 0:
        lblStep->setText(QStringLiteral("第一步 年级信息设置"));
        break;
    case 1:
        lblStep->setText(QStringLiteral("第二步 ") + grade + QStringLiteral("→科目设置"));
        break;
    default:
        lblStep->setText(QStringLiteral("第三步 ") + grade + QStringLiteral("→班级设置"));
        break;
    }
    btnPrior->setVisible(index > 0);
    btnNext->setText(index == 2 ? QStringLiteral("完    成") : QStringLiteral("下一步"));
    chkAutoRemind->setVisible(index == 0);
    chkAll->setVisible(index > 0);
    btnImport->setVisible(index > 0);
    const QSignalBlocker block(chkAll);
    chkAll->setChecked(false);
}

void TfrmGradeDefine::prior()
{
    if (step() == 1) grdSubjects->postEdit();
    if (step() == 2) grdClasses->postEdit();
    if (step() > 0) showStep(step() - 1);
}

bool TfrmGradeDefine::next()
{
    switch (step()) {
    case 0:
        if (!leaveStep1()) return false;
        if (!loadChoices(*cdsSubjects, true)) return false;
        showStep(1);
        return true;
    case 1:
        grdSubjects->postEdit();
        {
            FilterScope ticked(*cdsSubjects, QStringLiteral("Selected=True"));
            if (cdsSubjects->isEmpty()) {
                pub::msgError(QStringLiteral("请选择年级关联科目！"), this);
                return false;
            }
        }
        if (!loadChoices(*cdsClasses, false)) return false;
        showStep(2);
        return true;
    default:
        return finish();
    }
}

bool TfrmGradeDefine::leaveStep1()
{
    if (!m_loaded || gradeCode().isEmpty()) return false;
    m_existed = cdsGrade->locate(QStringLiteral("InYear;GradeCode"), {inYear(), gradeCode()});
    if (!m_existed) return true;
    if (cdsGrade->value(u"bCurGrade").toString() != u"Y") {
        pub::msgWarn(QStringLiteral("此年级已经定义，且已是历史年级，不能修改！"), this);
        return false;
    }
    return pub::msgConfirm(QStringLiteral("此年级已经定义，您可以修改此年级设置，要继续吗？"), this) == 1;
}

// The choice list of the grade (every subject or class of the school, the grade's own marked
// Sel), ticked as the grade has it; read again only for another grade or intake.
bool TfrmGradeDefine::loadChoices(DataSet &table, bool subjects)
{
    const QString of = QString::number(inYear()) + u'|' + gradeCode();
    QString &loadedFor = subjects ? m_subjectsOf : m_classesOf;
    if (loadedFor == of && table.isActive()) return true;
    {
        pub::WaitIndicator wait(this);
        const CallResult r = loadTable(table, subjects ? protocol::QGradeSubjectsSel : protocol::QGradeClassesSel,
                                       {in(pub::schoolId()), var(double(inYear())), in(gradeCode()), var()});
        if (!r.ok()) {
            reportFailure(this, kCaption, r, Failure::Read);
            return false;
        }
    }
    QHash<QString, bool> &ticks = subjects ? m_subjectTicks : m_classTicks;
    const QString key = subjects ? QStringLiteral("SubjectCode") : QStringLiteral("ClassCode");
    ticks.clear();
    m_adjusting = true;
    for (table.first(); !table.eof(); table.next()) {
        table.edit();
        table.setValue(u"Selected", table.value(u"Sel").toBool());
        table.post();
        ticks.insert(table.value(key).toString(), table.value(u"Selected").toBool());
    }
    table.mergeChangeLog(); // what the grade has is no change of the user's
    m_adjusting = false;
    table.first();
    loadedFor = of;
    return true;
}

// A subject ticked gets the type 0 and the full mark 100; unticked it loses both, unless the
// grade has scores of it.
void TfrmGradeDefine::subjectChanged()
{
    if (m_adjusting || !cdsSubjects->isActive() || cdsSubjects->isEmpty() || cdsSubjects->state() != DataSetState::Browse) return;
    const QString code = cdsSubjects->value(u"SubjectCode").toString();
    const bool ticked = cdsSubjects->value(u"Selected").toBool();
    if (ticked == m_subjectTicks.value(code)) return;
    m_adjusting = true;
    cdsSubjects->edit();
    if (ticked) {
        cdsSubjects->setValue(u"SubjectType", 0);
        cdsSubjects->setValue(u"FullMark", 100);
    } else {
        qint64 scores = 0;
        if (m_existed) {
            QList<wire::Argument> args{in(pub::schoolId()), in(gradeCode()), in(QString()), in(QString()), in(code), var(qint64(inYear()))};
            const CallResult r = callServer(protocol::QCheckSubjectMark, args);
            if (!r.ok()) {
                cdsSubjects->setValue(u"Selected", true);
                cdsSubjects->post();
                m_adjusting = false;
                reportFailure(this, kCaption, r, Failure::Read);
                return;
            }
            scores = std::get_if<qint64>(&r.result) ? std::get<qint64>(r.result) : 0;
        }
        if (scores > 0) {
            cdsSubjects->setValue(u"Selected", true);
        } else {
            cdsSubjects->setValue(u"SubjectType", QVariant());
            cdsSubjects->setValue(u"FullMark", QVariant());
        }
        cdsSubjects->post();
        m_subjectTicks.insert(code, cdsSubjects->value(u"Selected").toBool());
        m_adjusting = false;
        if (scores > 0) pub::msgHint(QStringLiteral("此科目已经有成绩了，不能删除！"), this);
        return;
    }
    cdsSubjects->post();
    m_subjectTicks.insert(code, true);
    m_adjusting = false;
}

// A class ticked takes its campus from the school's classes; unticked it stays while the grade has
// students in it.
void TfrmGradeDefine::classChanged()
{
    if (m_adjusting || !cdsClasses->isActive() || cdsClasses->isEmpty() || cdsClasses->state() != DataSetState::Browse) return;
    const QString code = cdsClasses->value(u"ClassCode").toString();
    const bool ticked = cdsClasses->value(u"Selected").toBool();
    if (ticked == m_classTicks.value(code)) return;
    m_adjusting = true;
    if (ticked) {
        if (cdsClassName->isActive() && cdsClassName->locate(QStringLiteral("ClassCode"), {code})) {
            cdsClasses->edit();
            cdsClasses->setValue(u"sArea", cdsClassName->value(u"sArea"));
            cdsClasses->post();
        }
        m_classTicks.insert(code, true);
        m_adjusting = false;
        return;
    }
    qint64 students = 0;
    if (m_existed) {
        QList<wire::Argument> args{
            in(pub::schoolId()),
            in(QStringLiteral(" and GradeCode=%1 and InYear=%2 and ClassCode=%3").arg(quoted(gradeCode())).arg(inYear()).arg(quoted(code)))};
        const CallResult r = callServer(protocol::QCheckStudent, args);
        if (!r.ok()) {
            cdsClasses->edit();
            cdsClasses->setValue(u"Selected", true);
            cdsClasses->post();
            m_adjusting = false;
            reportFailure(this, kCaption, r, Failure::Read);
            return;
        }
        students = std::get_if<qint64>(&r.result) ? std::get<qint64>(r.result) : 0;
    }
    if (students > 0) {
        cdsClasses->edit();
        cdsClasses->setValue(u"Selected", true);
        cdsClasses->post();
    }
    m_classTicks.insert(code, cdsClasses->value(u"Selected").toBool());
    m_adjusting = false;
    if (students > 0) pub::msgHint(QStringLiteral("此班级已经有学生了，不能删除！"), this);
}

void TfrmGradeDefine::selectAll(bool on)
{
    DataSet *table = step() == 1 ? cdsSubjects : step() == 2 ? cdsClasses : nullptr;
    if (!table || !table->isActive()) return;
    (step() == 1 ? grdSubjects : grdClasses)->postEdit();
    const Bookmark here = table->bookmark();
    for (table->first(); !table->eof(); table->next()) {
        if (table->value(u"Selected").toBool() == on) continue;
        table->edit();
        table->setValue(u"Selected", on);
        table->post(); // handled as if ticked by hand
    }
    if (here >= 0) table->gotoBookmark(here);
}

void TfrmGradeDefine::importLastYear()
{
    const bool subjects = step() == 1;
    if (step() == 0) return;
    DataSet &table = subjects ? *cdsSubjects : *cdsClasses;
    (subjects ? grdSubjects : grdClasses)->postEdit();
    DataSet last;
    {
        pub::WaitIndicator wait(this);
        const CallResult r = loadTable(last, subjects ? protocol::QGradeSubjectsSel : protocol::QGradeClassesSel,
                                       {in(pub::schoolId()), var(double(inYear() - 1)), in(gradeCode()), var()});
        if (!r.ok()) {
            reportFailure(this, kCaption, r, Failure::Read);
            return;
        }
    }
    const QString key = subjects ? QStringLiteral("SubjectCode") : QStringLiteral("ClassCode");
    const QStringList copied = subjects ? QStringList{QStringLiteral("SubjectType"), QStringLiteral("FullMark")} : QStringList{QStringLiteral("sArea")};
    QHash<QString, bool> &ticks = subjects ? m_subjectTicks : m_classTicks;
    const Bookmark here = table.bookmark();
    m_adjusting = true;
    for (last.first(); !last.eof(); last.next()) {
        if (!last.value(u"Sel").toBool() || !table.locate(key, {last.value(key)})) continue;
        table.edit();
        setIfDifferent(table, QStringLiteral("Selected"), true);
        for (const QString &f : copied)
            setIfDifferent(table, f, last.value(f));
        table.post();
        ticks.insert(last.value(key).toString(), true);
    }
    m_adjusting = false;
    if (here >= 0) table.gotoBookmark(here);
}

// The ticked subjects and classes into the grade's stored rows, a row each; unticked ones lose
// theirs. A subject's lesson-preparation leader left empty keeps the stored one.
bool TfrmGradeDefine::mergeSubjects()
{
    if (!loadTable(*cdsStoredSubjects, protocol::QGradeSubjects, {in(pub::schoolId()), var(qint64(inYear())), in(gradeCode()), var()}).ok()) return false;
    mergeTickedChoices(*cdsSubjects, *cdsStoredSubjects, {pub::schoolId(), inYear(), gradeCode()},
                       {QStringLiteral("SubjectCode"),
                        {QStringLiteral("SubjectType"), QStringLiteral("FullMark"), QStringLiteral("TeacherCode")},
                        {QStringLiteral("TeacherCode")}});
    return true;
}

bool TfrmGradeDefine::mergeClasses()
{
    if (!loadTable(*cdsStoredClasses, protocol::QGradeClasses, {in(pub::schoolId()), var(qint64(inYear())), in(gradeCode()), var()}).ok()) return false;
    mergeTickedChoices(*cdsClasses, *cdsStoredClasses, {pub::schoolId(), inYear(), gradeCode()},
                       {QStringLiteral("ClassCode"), {QStringLiteral("sArea"), QStringLiteral("AliasName"), QStringLiteral("TeacherCode")}, {}});
    return true;
}

bool TfrmGradeDefine::finish()
{
    grdClasses->postEdit();
    {
        FilterScope ticked(*cdsClasses, QStringLiteral("Selected=True"));
        if (cdsClasses->isEmpty()) {
            pub::msgError(QStringLiteral("请选择年级关联班级！"), this);
            return false;
        }
    }
    const QString grade = QStringLiteral("%1级%2").arg(inYear()).arg(gradeName());
    const bool subjectsChanged = cdsSubjects->changeCount() > 0, classesChanged = cdsClasses->changeCount() > 0;
    CallResult saved{CallResult::Done, 0, {}, {}};
    {
        std::optional<pub::WaitIndicator> wait(std::in_place, this, QStringLiteral("正在保存数据，请稍后......"));
        // The grade record, added when the intake has no such grade yet.
        if (!cdsGrade->locate(QStringLiteral("InYear;GradeCode"), {inYear(), gradeCode()})) {
            cdsGrade->append();
            cdsGrade->setValue(u"SchoolCode", pub::schoolId());
            cdsGrade->setValue(u"InYear", inYear());
            cdsGrade->setValue(u"GradeCode", gradeCode());
        } else {
            cdsGrade->edit();
        }
        setIfDifferent(*cdsGrade, QStringLiteral("sYear"), cbSchoolYear->currentText());
        setIfDifferent(*cdsGrade, QStringLiteral("TeacherCode"), comboCode(cbTeacher));
        setIfDifferent(*cdsGrade, QStringLiteral("SubTeacherCode"), comboCode(cbSubTeacher));
        setIfDifferent(*cdsGrade, QStringLiteral("bCurGrade"), chkCurYear->isChecked() ? QStringLiteral("Y") : QStringLiteral("N"));
        cdsGrade->post();
        if ((subjectsChanged && !mergeSubjects()) || (classesChanged && !mergeClasses())) {
            wait.reset();
            pub::writeLog(QStringLiteral("年级定义数据保存失败！"));
            return false;
        }
        const auto changes = [](DataSet &t, bool changed) { return changed && t.changeCount() > 0 ? in(t.delta()) : in(wire::Null{}); };
        if (cdsGrade->changeCount() > 0 || subjectsChanged || classesChanged) {
            QList<wire::Argument> args{changes(*cdsGrade, true), changes(*cdsStoredSubjects, subjectsChanged), changes(*cdsStoredClasses, classesChanged),
                                       in(qint64(-1)), var(qint64(0))};
            saved = callServer(protocol::UpGradeDefine, args);
        }
    }
    if (saved.outcome == CallResult::Failed) {
        pub::writeLog(QStringLiteral("年级定义数据保存失败！"));
        if (!saved.message.isEmpty()) pub::writeLog(kCaption + QStringLiteral(": ") + saved.message);
        return false;
    }
    if (saved.outcome == CallResult::Refused) {
        if (!saved.message.isEmpty()) pub::writeLog(kCaption + QStringLiteral(": ") + saved.message);
        pub::msgError(QStringLiteral("数据保存失败！"), this);
        return false;
    }
    for (DataSet *t : {cdsGrade, cdsStoredSubjects, cdsStoredClasses, cdsSubjects, cdsClasses})
        if (t->isActive()) t->mergeChangeLog();
    if (subjectsChanged) WriteOperationLog(QStringLiteral("定义年级 ") + grade + QStringLiteral(" 科目"));
    if (classesChanged) WriteOperationLog(QStringLiteral("定义年级 ") + grade);
    pub::closeGradeData();
    accept();
    if (pub::msgConfirm(QStringLiteral("年级定义成功！是否从学籍国网下载学生数据？"), parentWidget()) == 1)
        pub::showDownGrade(parentWidget(), QStringLiteral("%1|%2").arg(inYear()).arg(gradeCode()));
    return true;
}

} // namespace lumeko::achieve
