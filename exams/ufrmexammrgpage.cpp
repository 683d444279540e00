#include "exams/ufrmexammrgpage.h"

#include "exams/examheaderfields.h"
#include "exams/ufrmexamdefine.h"
#include "framework/modalrun.h"
#include "framework/remotetable.h"
#include "framework/servercall.h"
#include "framework/sharedroutines.h"
#include "host/pub/pub.h"
#include "toolkit/data/commatext.h"
#include "toolkit/grid/bandedgrid.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDateEdit>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QSplitter>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace lumeko::achieve {

namespace {

const QString kCaption = QStringLiteral("考试管理");
const QString kNoPage = QStringLiteral("⊥");
const QString kReadFailed = QStringLiteral("数据读取失败，可能网络不稳定，请稍后再试！");
QString quoted(const QString &v)
{
    return u'\'' + QString(v).replace(u'\'', QStringLiteral("''")) + u'\'';
}

GridColumn column(const char *field, const char *caption, int width, bool readOnly = true)
{
    return GridColumn::of(field, caption, width, readOnly);
}

} // namespace

TfrmExamMrgPage::TfrmExamMrgPage(QWidget *parent) : QWidget(parent)
{
    setWindowTitle(QStringLiteral("成绩管理"));
    for (DataSet **d : {&cdsExamTotal, &cdsSubjects, &cdsExamSubject, &cdsSubjectType, &cdsShowType, &cdsClassName, &cdsGradeNames, &cdsGradeList, &cdsExamInfo,
                        &cdsTeachers})
        *d = new DataSet(this);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    tlbTools = new QToolBar(this);
    tlbTools->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    layout->addWidget(tlbTools);
    const auto action = [this](const char *caption, const char *icon, const char *hint = nullptr) {
        auto *a = new QAction(pub::styleIcon(QString::fromLatin1(icon)), QString::fromUtf8(caption), this);
        a->setToolTip(hint ? QString::fromUtf8(hint) : a->text());
        addAction(a);
        return a;
    };
    acAdd = action("创建", "Insert", "定义一次考试");
    acAddSys = action("创建综合考试", "Insert");
    acAddUnit = action("创建单元考试", "Insert");
    acEdit = action("修改", "Edit");
    acSave = action("保存", "Save", "保存数据修改");
    acCancel = action("取消", "Cancel");
    acDelete = action("删除", "Delete");
    acRefresh = action("刷新", "Fresh");
    acFilter = action("筛选", "Find", "自动筛选");
    acFreeze = action("冻结", "Check");
    acUnFreeze = action("解冻", "Original");
    acScore = action("成绩", "Detail");
    acRename = action("改名", "Property", "重命名考试名称");
    acPublish = action("发布", "SendSMS", "发布到微信查询");
    acHelp = action("帮助", "Help");
    auto *addMenu = new QMenu(this);
    addMenu->addActions({acAddSys, acAddUnit});
    acAdd->setMenu(addMenu);
    acFilter->setCheckable(true);
    tlbTools->addActions({acAdd, acEdit, acSave, acCancel, acDelete, acRefresh, acFilter, acFreeze, acUnFreeze, acScore, acRename, acPublish, acHelp});
    if (auto *b = qobject_cast<QToolButton *>(tlbTools->widgetForAction(acAdd))) b->setPopupMode(QToolButton::MenuButtonPopup);

    auto *split = new QSplitter(Qt::Vertical, this);
    layout->addWidget(split, 1);
    grdExams = new BandedGrid(split);
    grdExams->setDataSet(cdsExamTotal);
    grdExams->setGroupByBoxVisible(false);
    grdExams->setBandCaptionsVisible(false);
    grdExams->setColumns({column("ExamName", "考试名称", 140), column("Freeze", "冻结", 44, false), column("StudentCount", "考生数", 60),
                          column("ClassesText", "考试范围", 140), column("GradeCode", "年级", 80), column("ExamCode", "考试类型", 80),
                          column("InYear", "学级", 56), column("PageName", "创建者", 80), column("WXshowed", "微信发布", 60, false),
                          column("markShowType", "显示类型", 100, false)});
    auto *detail = new QWidget(split);
    auto *dl = new QHBoxLayout(detail);
    grdSubjects = new BandedGrid(detail);
    grdSubjects->setDataSet(cdsSubjects);
    grdSubjects->setGroupByBoxVisible(false);
    grdSubjects->setBandCaptionsVisible(false);
    grdSubjects->setFooterVisible(false);
    grdSubjects->setColumns({column("Freeze", "选择", 44, false), column("SubjectName", "名称", 80), column("SubjectType", "科目类型", 80),
                             column("Per", "权重", 50), column("FullMark", "满分", 50, false), column("ExcelMark", "优秀", 50, false),
                             column("GoodMark", "良好", 50, false), column("PassMark", "及格", 50, false), column("BadMark", "合格", 50, false),
                             column("DistanceMark", "间距", 50, false), column("HighMark", "上限", 50, false), column("LowMark", "下限", 50, false)});
    dl->addWidget(grdSubjects, 1);
    auto *side = new QVBoxLayout;
    header = new ExamHeaderFields(detail, QStringLiteral("任课老师"));
    side->addWidget(header->totals);
    side->addWidget(header->rights);
    auto *dates = new QHBoxLayout;
    dates->addWidget(new QLabel(QStringLiteral("限录日期"), detail));
    deLimit = new QDateEdit(detail);
    dates->addWidget(deLimit);
    dates->addWidget(new QLabel(QStringLiteral("考试日期"), detail));
    deDefDay = new QDateEdit(detail);
    // An exam without a date shows none, not the first day the editor knows.
    for (QDateEdit *d : {deLimit, deDefDay}) {
        d->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
        d->setMinimumDate(QDate(1900, 1, 1));
        d->setSpecialValueText(QStringLiteral(" "));
    }
    dates->addWidget(deDefDay);
    side->addLayout(dates);
    side->addStretch();
    dl->addLayout(side, 1);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);

    m_subjects = new ExamSubjects(*cdsSubjects, this, [this] { return identity(); });
    connect(acAdd, &QAction::triggered, this, [this] { acAddExecute(true); });
    connect(acAddSys, &QAction::triggered, this, [this] { acAddExecute(true); });
    connect(acAddUnit, &QAction::triggered, this, [this] { acAddExecute(false); });
    connect(acEdit, &QAction::triggered, this, &TfrmExamMrgPage::acEditExecute);
    connect(acSave, &QAction::triggered, this, &TfrmExamMrgPage::acSaveExecute);
    connect(acCancel, &QAction::triggered, this, &TfrmExamMrgPage::acCancelExecute);
    connect(acDelete, &QAction::triggered, this, &TfrmExamMrgPage::acDeleteExecute);
    connect(acRefresh, &QAction::triggered, this, &TfrmExamMrgPage::LoadData);
    connect(acFilter, &QAction::toggled, grdExams, &BandedGrid::setFilteringEnabled);
    connect(acFreeze, &QAction::triggered, this, &TfrmExamMrgPage::acFreezeExecute);
    connect(acUnFreeze, &QAction::triggered, this, &TfrmExamMrgPage::acUnFreezeExecute);
    connect(acScore, &QAction::triggered, this, &TfrmExamMrgPage::acScoreExecute);
    connect(acRename, &QAction::triggered, this, &TfrmExamMrgPage::acRenameExecute);
    connect(acPublish, &QAction::triggered, this, &TfrmExamMrgPage::acPublishExecute);
    connect(acHelp, &QAction::triggered, this, [this] { pub::showHelp(this, QStringLiteral("ExamMrg")); });
    connect(grdExams, &BandedGrid::currentRowChanged, this, [this] {
        if (!isEditing()) showCurrent();
    });
    connect(grdExams, &BandedGrid::rowDoubleClicked, this, &TfrmExamMrgPage::acScoreExecute);
    connect(cdsExamTotal, &DataSet::rowChanged, this, &TfrmExamMrgPage::listCellChanged);
    askNewName = [this](const QString &current) -> std::optional<QString> {
        bool ok = false;
        const QString name = QInputDialog::getText(this, QStringLiteral("考试重命名"), QStringLiteral("请输入新的考试名称"), QLineEdit::Normal, current, &ok);
        return ok ? std::optional<QString>(name) : std::nullopt;
    };
    applyHostLook(this, false);
}

QString TfrmExamMrgPage::ParameterProblem() const
{
    if (Params.size() < 4) return QStringLiteral("打开考试管理需要知道是哪个年级：入学年份、年级代码、年级名称和历史标志。请在左侧选中一个年级后再打开。");
    const QString grade = Params[1];
    if ((grade.size() != 1 && grade.size() != 4) || !QStringLiteral("012").contains(grade.front()))
        return QStringLiteral("考试管理的年级代码“%1”无效：应为 4 位的年级代码，或 1 位的学段代码。").arg(grade);
    return {};
}

bool TfrmExamMrgPage::holds(const QString &right) const
{
    return pub::userType() == 1 || Rights.contains(right);
}

void TfrmExamMrgPage::InitPage()
{
    m_inYear = Params.value(0);
    m_gradeCode = Params.value(1).left(4);
    m_gradeName = Params.value(2);
    m_flag = Params.value(3).left(1);
    m_viewers = Params.value(4);
    pub::WaitIndicator wait(this);
    loadLists();
    // The rights: creating either kind of exam, and the page's own keys and the common ones.
    DataSet rights;
    rights.setData(pub::userRight());
    Rights.clear();
    for (rights.first(); rights.isActive() && !rights.eof(); rights.next()) {
        const QString id = rights.value(u"sFunId").toString(), parent = rights.value(u"sParFunId").toString(), key = rights.value(u"sFunKey").toString();
        if (id == u"4030" || id == u"4029") Rights << id;
        if ((parent == u"4031" || parent == u"00") && !key.isEmpty()) Rights << key;
    }
    acFilter->setChecked(true);
    setEditState(0);
    LoadData();
}

bool TfrmExamMrgPage::loadLists()
{
    const QString school = pub::schoolId();
    CallResult r = loadTable(*cdsSubjectType, protocol::QRegByType, {in(QStringLiteral("SubjectType")), var()});
    if (r.ok()) r = loadTable(*cdsShowType, protocol::QRegByType, {in(QStringLiteral("ExamShowType")), var()});
    if (r.ok()) r = loadTable(*cdsExamInfo, protocol::QExamInfo, {in(school), var()});
    if (r.ok()) r = loadTable(*cdsTeachers, protocol::QTeachers, {in(school), var()});
    cdsClassName->setData(pub::classNames());
    cdsGradeNames->setData(pub::gradeNames());
    cdsGradeList->setData(pub::gradeList());
    if (!r.ok()) {
        reportFailure(this, kCaption, r, Failure::Read);
        return false;
    }
    // The codes of the list read as the names users know.
    const auto lookup = [](BandedGrid *grid, const char *field, QList<LookupItem> items) {
        const int c = grid->columnOfField(QString::fromLatin1(field));
        GridColumn col = grid->column(c);
        col.lookup = std::move(items);
        if (!col.readOnly) col.editor = EditorKind::Lookup; // chosen from the list
        grid->updateColumn(c, col);
    };
    lookup(grdExams, "GradeCode", lookupItems(*cdsGradeNames, u"sKeyId", u"sValue"));
    lookup(grdExams, "ExamCode", lookupItems(*cdsExamInfo, u"sCode", u"sType"));
    QList<LookupItem> teachers = lookupItems(*cdsTeachers, u"sCode", u"sName");
    teachers.prepend({kNoPage, QString()});
    lookup(grdExams, "PageName", teachers);
    lookup(grdExams, "markShowType", lookupItems(*cdsShowType, u"sKeyId", u"sValue"));
    QList<LookupItem> types;
    for (cdsSubjectType->first(); !cdsSubjectType->eof(); cdsSubjectType->next())
        types.append({cdsSubjectType->value(u"sKeyId").toLongLong(), cdsSubjectType->value(u"sValue").toString()});
    lookup(grdSubjects, "SubjectType", types);
    return true;
}

void TfrmExamMrgPage::LoadData()
{
    pub::WaitIndicator wait(this);
    const QString school = pub::schoolId();
    const wire::Argument year = m_gradeCode.size() == 1 ? var(m_viewers) : in(m_inYear);
    const CallResult r = loadTable(*cdsExamTotal, protocol::QExamTotal, {in(school), in(m_gradeCode), in(QString()), in(QString()), year, var()});
    if (!r.ok()) {
        reportFailure(this, kCaption, r, Failure::Read);
        return;
    }
    const QString me = pub::userCode();
    m_storing = true;
    {
        FrozenControls frozen(*cdsExamTotal);
        // A user who is not unrestricted sees the school-wide exams and his own.
        if (pub::userType() != 1) {
            for (cdsExamTotal->first(); !cdsExamTotal->eof();) {
                const QString page = cdsExamTotal->value(u"PageName").toString();
                if (page != kNoPage && page != me)
                    cdsExamTotal->deleteRecord();
                else
                    cdsExamTotal->next();
            }
        }
        // The range of an exam in words: the whole grade, or its classes by name.
        if (cdsExamTotal->fieldIndex(u"ClassesText") < 0)
            cdsExamTotal->addField({QStringLiteral("ClassesText"), wire::FieldType::Text, 0, 0}, FieldKind::Internal);
        for (cdsExamTotal->first(); !cdsExamTotal->eof(); cdsExamTotal->next()) {
            const QString classes = cdsExamTotal->value(u"Classes").toString();
            QStringList names;
            if (classes == u"ALL")
                names << QStringLiteral("全年级");
            else
                for (const QString &code : classes.split(u',', Qt::SkipEmptyParts))
                    names << (cdsClassName->locate(QStringLiteral("ClassCode"), {code}) ? cdsClassName->value(u"ClassName").toString() : code);
            cdsExamTotal->edit();
            cdsExamTotal->setValue(u"ClassesText", names.join(u','));
            cdsExamTotal->post();
        }
        cdsExamTotal->mergeChangeLog();
        cdsExamTotal->first();
    }
    rememberListed();
    m_storing = false;
    grdExams->bestFit();
    const bool any = !cdsExamTotal->isEmpty();
    for (QAction *a : {acFreeze, acUnFreeze, acDelete, acPublish, acRename})
        a->setVisible(any);
    showCurrent();
}

void TfrmExamMrgPage::showCurrent()
{
    const bool row = cdsExamTotal->isActive() && !cdsExamTotal->isEmpty();
    acScore->setVisible(row);
    acScore->setEnabled(row);
    cdsSubjects->close();
    if (!row) return;
    const bool shown = cdsExamTotal->value(u"WXshowed").toBool();
    acPublish->setText(shown ? QStringLiteral("隐藏") : QStringLiteral("发布"));
    acPublish->setToolTip(shown ? QStringLiteral("取消微信发布") : QStringLiteral("发布到微信查询"));
    const bool frozen = cdsExamTotal->value(u"Freeze").toBool();
    acFreeze->setVisible(!frozen);
    acUnFreeze->setVisible(frozen);
    const ExamIdentity e = identity();
    if (loadTable(*cdsSubjects, protocol::QExamSubjects, {in(e.school), var(e.grade), var(e.code), var(e.page), var(qint64(e.inYear)), var()}).ok())
        m_subjects->remember();
    header->showHeader(*cdsExamTotal);
    for (const auto &[edit, field] : {std::pair{deLimit, u"dLimitDay"}, {deDefDay, u"dDefDay"}}) {
        const QDate day = cdsExamTotal->value(QStringView(field)).toDate();
        edit->setDate(day.isValid() ? day : edit->minimumDate());
    }
    grdSubjects->bestFit();
}

ExamIdentity TfrmExamMrgPage::identity()
{
    return {pub::schoolId(),
            cdsExamTotal->value(u"GradeCode").toString(),
            cdsExamTotal->value(u"ExamCode").toString(),
            cdsExamTotal->value(u"PageName").toString(),
            cdsExamTotal->value(u"ExamName").toString(),
            int(cdsExamTotal->value(u"InYear").toLongLong())};
}

void TfrmExamMrgPage::setEditState(int state)
{
    EditState = state;
    const bool editing = isEditing();
    m_subjects->setActive(editing);
    grdSubjects->setReadOnly(!editing);
    header->setEditable(editing);
    for (QWidget *w : std::initializer_list<QWidget *>{deLimit, deDefDay})
        w->setEnabled(editing);
    acSave->setEnabled(editing);
    acCancel->setEnabled(editing);
    grdExams->setEnabled(!editing);
    for (QAction *a : {acEdit, acRefresh, acDelete, acFreeze, acUnFreeze, acRename, acPublish, acScore})
        a->setEnabled(!editing);
    acAddSys->setEnabled(!editing && holds(QStringLiteral("4029")));
    acAddUnit->setEnabled(!editing && holds(QStringLiteral("4030")));
    acAdd->setEnabled(acAddSys->isEnabled() || acAddUnit->isEnabled());
    // Rights-controlled commands need Manager of the page, as creating needs its own right.
    if (!editing && pub::userType() != 1)
        for (QAction *a : {acEdit, acDelete, acFreeze, acUnFreeze, acRename, acPublish})
            a->setEnabled(Rights.contains(QStringLiteral("Manager")));
}

void TfrmExamMrgPage::acEditExecute()
{
    if (!cdsExamTotal->isActive() || cdsExamTotal->isEmpty()) return;
    if (pub::userType() != 1 && m_flag == u"N") {
        pub::msgHint(QStringLiteral("对不起，历史数据，不能修改！"), this);
        return;
    }
    if (cdsExamTotal->value(u"Freeze").toBool()) {
        pub::msgHint(QStringLiteral("考试[%1]已被冻结，不能修改！").arg(cdsExamTotal->value(u"ExamName").toString()), this);
        return;
    }
    setEditState(2);
    cdsExamTotal->edit();
}

void TfrmExamMrgPage::acCancelExecute()
{
    if (cdsExamTotal->state() != DataSetState::Browse) cdsExamTotal->cancel();
    cdsExamTotal->cancelUpdates();
    setEditState(0);
    showCurrent();
}

bool TfrmExamMrgPage::SaveData()
{
    if (!isEditing()) return true;
    grdSubjects->postEdit();
    const ExamIdentity e = identity();
    pub::WaitIndicator wait(this);
    if (!loadTable(*cdsExamSubject, protocol::QExamSubjectForUp, {in(e.school), in(e.grade), in(e.code), in(e.page), var(qint64(e.inYear)), var()}).ok()) {
        pub::msgError(kReadFailed, this);
        return false;
    }
    m_subjects->mergeInto(*cdsExamSubject, e);
    // The 24 totals from the ticked subjects, and the header's options from the fields.
    header->showTotals(m_subjects->totals());
    if (cdsExamTotal->state() == DataSetState::Browse) cdsExamTotal->edit();
    header->writeHeader(*cdsExamTotal);
    const auto set = [this](const QString &field, const QVariant &v) {
        if (cdsExamTotal->value(field) != v) cdsExamTotal->setValue(field, v);
    };
    set(QStringLiteral("dLimitDay"), deLimit->date() == deLimit->minimumDate() ? QVariant() : QVariant(deLimit->date()));
    cdsExamTotal->post();
    if (cdsExamTotal->changeCount() > 0 || cdsExamSubject->changeCount() > 0) {
        QList<wire::Argument> args{cdsExamTotal->changeCount() > 0 ? in(cdsExamTotal->delta()) : in(wire::Null{}),
                                   cdsExamSubject->changeCount() > 0 ? in(cdsExamSubject->delta()) : in(wire::Null{}), in(qint64(-1)), var(qint64(0))};
        const CallResult r = callServer(protocol::UpExamTotal, args);
        if (r.outcome != CallResult::Done) {
            if (!r.message.isEmpty()) pub::writeLog(kCaption + QStringLiteral(": ") + r.message);
            pub::msgError(r.outcome == CallResult::Refused ? QStringLiteral("保存考试数据失败，可能网络忙，请稍后再试！")
                                                           : QStringLiteral("服务器连接失败，不能保存考试定义！"),
                          this);
            cdsExamTotal->edit();
            return false;
        }
        cdsExamTotal->mergeChangeLog();
        cdsExamSubject->mergeChangeLog();
    }
    const QString text = QStringLiteral("考试 %1 修改保存成功！").arg(e.name);
    WriteOperationLog(text);
    setEditState(0);
    showCurrent();
    pub::msgHint(text, this);
    return true;
}

bool TfrmExamMrgPage::storeHeader(const QString &wait, const QString &refused, const QString &failed)
{
    pub::WaitIndicator indicator(this, wait);
    QList<wire::Argument> args{in(cdsExamTotal->delta()), in(wire::Null{}), in(qint64(-1)), var(qint64(0))};
    const CallResult r = callServer(protocol::UpExamTotal, args);
    if (r.ok()) {
        cdsExamTotal->mergeChangeLog();
        return true;
    }
    // The list shows again what the server holds.
    cdsExamTotal->cancelUpdates();
    if (!r.message.isEmpty()) pub::writeLog(kCaption + QStringLiteral(": ") + r.message);
    pub::msgError(r.outcome == CallResult::Refused ? refused : failed, this);
    return false;
}

// A change of the current exam's header, from a command or a tick in the list: stored at once,
// and undone when the server does not take it.
void TfrmExamMrgPage::storeChange(const QString &field, const QVariant &before)
{
    const QVariant now = cdsExamTotal->value(field);
    const QString name = cdsExamTotal->value(u"ExamName").toString();
    m_storing = true;
    if (field == u"Freeze") {
        const QString verb = now.toBool() ? QStringLiteral("冻结") : QStringLiteral("解冻");
        if (storeHeader(QStringLiteral("正在%1考试......").arg(verb), QStringLiteral("%1考试失败，可能网络忙，请稍后再试！").arg(verb),
                        QStringLiteral("%1考试失败，服务器连接失败！").arg(verb)))
            WriteOperationLog(verb + QStringLiteral("考试 ") + name);
    } else if (field == u"WXshowed") {
        const QString caption = now.toBool() ? QStringLiteral("发布") : QStringLiteral("隐藏");
        if (storeHeader(QStringLiteral("正在%1考试成绩......").arg(caption), QStringLiteral("操作失败，可能网络忙，请稍后再试！"),
                        QStringLiteral("操作失败，服务器连接失败！")))
            WriteOperationLog(QStringLiteral("成功%1考试 %2").arg(caption, name));
    } else if (field == u"markShowType") {
        if (storeHeader(QStringLiteral("正在保存显示类型..."), QStringLiteral("保存失败，可能网络忙，请稍后再试！"),
                        QStringLiteral("修改失败，服务器连接失败！")))
            WriteOperationLog(QStringLiteral("修改考试显示类型 %1 值为 %2").arg(before.toString(), now.toString()));
    } else if (field == u"ExamName") {
        if (storeHeader(QStringLiteral("正在保存考试名称..."), QStringLiteral("考试重命名失败，可能网络忙，请稍后再试！"),
                        QStringLiteral("考试重命名失败，服务器连接失败！")))
            WriteOperationLog(QStringLiteral("修改考试 %1 名称为 %2").arg(before.toString(), now.toString()));
    }
    rememberListed();
    m_storing = false;
    showCurrent();
}

void TfrmExamMrgPage::changeHeader(const QString &field, const QVariant &value)
{
    if (!cdsExamTotal->isActive() || cdsExamTotal->isEmpty() || cdsExamTotal->value(field) == value) return;
    const QVariant before = cdsExamTotal->value(field);
    m_storing = true;
    cdsExamTotal->edit();
    cdsExamTotal->setValue(field, value);
    cdsExamTotal->post();
    m_storing = false;
    storeChange(field, before);
}

// A tick or a choice in one of the list's own cells (冻结, 微信发布, 显示类型).
void TfrmExamMrgPage::listCellChanged()
{
    if (m_storing || isEditing() || !cdsExamTotal->isActive() || cdsExamTotal->state() != DataSetState::Browse || cdsExamTotal->changeCount() == 0) return;
    // The row a tick changed need not be the current one: find it by what the server holds.
    for (cdsExamTotal->first(); !cdsExamTotal->eof(); cdsExamTotal->next()) {
        const QVariantMap held = m_held.value(cdsExamTotal->value(u"Id").toLongLong());
        for (auto it = held.cbegin(); it != held.cend(); ++it)
            if (cdsExamTotal->value(it.key()) != it.value()) {
                storeChange(it.key(), it.value());
                return;
            }
    }
}

// What the server holds of the options a tick in the list changes, for every exam listed.
void TfrmExamMrgPage::rememberListed()
{
    m_held.clear();
    if (!cdsExamTotal->isActive()) return;
    const Bookmark here = cdsExamTotal->bookmark();
    for (cdsExamTotal->first(); !cdsExamTotal->eof(); cdsExamTotal->next()) {
        QVariantMap options;
        for (const QString &field : {QStringLiteral("Freeze"), QStringLiteral("WXshowed"), QStringLiteral("markShowType")})
            options.insert(field, cdsExamTotal->value(field));
        m_held.insert(cdsExamTotal->value(u"Id").toLongLong(), options);
    }
    if (here >= 0) cdsExamTotal->gotoBookmark(here);
}

void TfrmExamMrgPage::acRenameExecute()
{
    if (!cdsExamTotal->isActive() || cdsExamTotal->isEmpty()) return;
    if (cdsExamTotal->value(u"Freeze").toBool()) {
        pub::msgHint(QStringLiteral("考试已被冻结不能重命名！"), this);
        return;
    }
    const std::optional<QString> name = askNewName(cdsExamTotal->value(u"ExamName").toString());
    if (name && !name->trimmed().isEmpty()) changeHeader(QStringLiteral("ExamName"), name->trimmed());
}

void TfrmExamMrgPage::acPublishExecute()
{
    changeHeader(QStringLiteral("WXshowed"), acPublish->text() == u"发布");
}

void TfrmExamMrgPage::acDeleteExecute()
{
    if (!cdsExamTotal->isActive() || cdsExamTotal->isEmpty()) return;
    const ExamIdentity e = identity();
    if (cdsExamTotal->value(u"Freeze").toBool()) {
        pub::msgHint(QStringLiteral("考试[%1]已被冻结，不能删除！").arg(e.name), this);
        return;
    }
    if (pub::msgConfirm(QStringLiteral("确定要删除此次考试数据吗？"), this) != 1) return;
    {
        pub::WaitIndicator wait(this, QStringLiteral("删除验证......"));
        QList<wire::Argument> check{in(e.school), in(e.grade), in(e.code), in(e.page), in(QString()), var(qint64(e.inYear))};
        const CallResult r = callServer(protocol::QCheckSubjectMark, check);
        if (!r.ok()) {
            pub::msgError(QStringLiteral("删除失败，服务器连接失败！"), this);
            return;
        }
        if (std::get_if<qint64>(&r.result) && std::get<qint64>(r.result) > 0) {
            pub::msgError(QStringLiteral("不能删除,此考试已定义考生名单！"), this);
            return;
        }
    }
    QString text;
    {
        pub::WaitIndicator wait(this, QStringLiteral("正在删除考试......"));
        QList<wire::Argument> args{in(e.school), in(e.grade), in(e.code), in(e.page), in(qint64(e.inYear))};
        const CallResult r = callServer(protocol::UpDeleteExam, args);
        if (!r.ok()) {
            if (!r.message.isEmpty()) pub::writeLog(kCaption + QStringLiteral(": ") + r.message);
            pub::msgError(QStringLiteral("删除失败，服务器连接失败！"), this);
            return;
        }
        text = std::get_if<QString>(&r.result) ? std::get<QString>(r.result) : QString();
    }
    WriteOperationLog(QStringLiteral("删除考试 ") + e.name);
    LoadData();
    pub::msgHint(text, this);
}

QString TfrmExamMrgPage::gradeText(const QString &code)
{
    return cdsGradeNames->isActive() && cdsGradeNames->locate(QStringLiteral("sKeyId"), {code}) ? cdsGradeNames->value(u"sValue").toString() : code;
}

QString TfrmExamMrgPage::scoreParameters()
{
    const ExamIdentity e = identity();
    const QString grade = gradeText(e.grade);
    QString leaders;
    if (cdsGradeList->isActive() && cdsGradeList->locate(QStringLiteral("GradeCode;InYear"), {e.grade, e.inYear}))
        leaders = cdsGradeList->value(u"TeacherCode").toString() + u';' + cdsGradeList->value(u"SubTeacherCode").toString();
    QStringList subjects;
    const Bookmark here = cdsSubjects->isActive() ? cdsSubjects->bookmark() : -1;
    for (cdsSubjects->first(); cdsSubjects->isActive() && !cdsSubjects->eof(); cdsSubjects->next())
        if (cdsSubjects->value(u"Freeze").toBool()) subjects << cdsSubjects->value(u"SubjectCode").toString();
    if (here >= 0) cdsSubjects->gotoBookmark(here);
    return joinCommaText({QString::number(e.inYear), e.grade, grade, m_flag, leaders, subjects.join(u';'), e.code, e.page,
                          QStringLiteral("%1级%2.%3").arg(e.inYear).arg(grade, e.name)});
}

// The score sheet opens in the host, which the page asks through its main window.
void TfrmExamMrgPage::acScoreExecute()
{
    if (!cdsExamTotal->isActive() || cdsExamTotal->isEmpty()) return;
    const QString params = scoreParameters();
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->isWindow() && !w->isHidden() && w->windowTitle().startsWith(pub::appName())) {
            QApplication::postEvent(w, new pub::ScorePageEvent(params));
            return;
        }
    pub::msgHint(QStringLiteral("“成绩录入”功能尚未提供。"), this);
}

void TfrmExamMrgPage::acAddExecute(bool system)
{
    if (!holds(system ? QStringLiteral("4029") : QStringLiteral("4030"))) return;
    QString params = joinCommaText(Params);
    if (m_gradeCode.size() != 4) {
        pub::showOpenDialog(this, QStringLiteral("0"));
        params = pub::params();
        const QStringList items = splitCommaText(params);
        if (params.isEmpty() || items.value(0) == u"CANCEL" || (items.size() >= 5 && items.value(1).size() == 1)) return;
    }
    {
        TfrmExamDefine wizard(dialogOwner(this));
        wizard.Params = splitCommaText(params);
        wizard.SystemMode = system;
        wizard.prepare();
        runModal(wizard);
    }
    LoadData();
}

void TfrmExamMrgPage::closeEvent(QCloseEvent *event)
{
    if (isEditing()) {
        const int answer = pub::msgBox(QStringLiteral("数据已被修改，您要保存修改的数据吗？"), 2, 2, this);
        if (answer == 3 || (answer == 1 && !SaveData())) {
            event->ignore();
            return;
        }
        if (answer == 2) acCancelExecute();
    }
    event->accept();
}

} // namespace lumeko::achieve
