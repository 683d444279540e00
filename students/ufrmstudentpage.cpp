#include "students/ufrmstudentpage.h"

#include "framework/import/upubimportset.h"
#include "framework/modalrun.h"
#include "framework/remotetable.h"
#include "framework/servercall.h"
#include "framework/sharedroutines.h"
#include "host/pub/pub.h"
#include "students/studentphotos.h"
#include "students/ufrminpicture.h"
#include "students/ufrmpicview.h"
#include "students/ufrmsetpass.h"
#include "toolkit/grid/bandedgrid.h"
#include "toolkit/report/engine.h"

#include <QAction>
#include <QMenu>
#include <QPointer>
#include <QUuid>
#include <QToolBar>
#include <QToolButton>

namespace lumeko::achieve {

namespace {

// What the host's log lines of this page begin with.
const QString kCaption = QStringLiteral("学籍档案");

QString quotedValue(QString value)
{
    return u'\'' + value.replace(u'\'', QStringLiteral("''")) + u'\'';
}

} // namespace

TfrmStudentPage::TfrmStudentPage(QWidget *parent) : TBasePage(parent)
{
    Tag = 4009;
    FieldsTable = QStringLiteral("XJ_Student");
    HelpFile = QStringLiteral("Student");
    setWindowTitle(QStringLiteral("学籍档案"));
    for (DataSet **d : {&cdsState, &cdsClassName, &cdsGradeNames, &cdsGradeClass, &cdsFamily, &cdsStudentImage, &cdsMyAchieve, &cdsTeachers})
        *d = new DataSet(this);
    const auto action = [this](const QString &caption, const QString &hint, const char *icon, int tag) {
        auto *a = new QAction(pub::styleIcon(QString::fromLatin1(icon)), caption, this);
        a->setStatusTip(hint);
        a->setToolTip(hint.isEmpty() ? caption : hint);
        setActionTag(a, tag);
        addAction(a);
        return a;
    };
    acPic = action(QStringLiteral("入学照"), {}, "Picture", 0);
    acOutPic = action(QStringLiteral("毕业照"), {}, "Picture", 0);
    acImpPic = action(QStringLiteral("导入照片"), QStringLiteral("批量导入照片"), "Import", 0);
    acImport = action(QStringLiteral("导入"), QStringLiteral("导入数据"), "Import", 5);
    acFamily = action(QStringLiteral("家庭"), QStringLiteral("家庭成员"), "Family", 0);
    acSetPass = action(QStringLiteral("密码"), QStringLiteral("密码设置"), "SetPass", 7);
    acChangeClass = action(QStringLiteral("调班"), QStringLiteral("调整学生年级或班级"), "Other", 6);
    acDetail = action(QStringLiteral("明细"), {}, "Detail", 0); // no detail view on the register: never shown
    acDetail->setVisible(false);
    tlbTools->addActions({acImport, acFamily, acSetPass, acChangeClass});
    // The photos share one button whose menu offers them.
    pmPicture = new QMenu(this);
    pmPicture->addActions({acPic, acOutPic});
    pmPicture->addSeparator();
    pmPicture->addAction(acImpPic);
    auto *photos = new QAction(pub::styleIcon(QStringLiteral("Picture")), QStringLiteral("照片"), this);
    photos->setMenu(pmPicture);
    tlbTools->addAction(photos);
    tbPicture = qobject_cast<QToolButton *>(tlbTools->widgetForAction(photos));
    tbPicture->setPopupMode(QToolButton::InstantPopup);
    connect(acSetPass, &QAction::triggered, this, &TfrmStudentPage::acSetPassExecute);
    connect(acImport, &QAction::triggered, this, &TfrmStudentPage::acImportExecute);
    connect(acFamily, &QAction::triggered, this, &TfrmStudentPage::acFamilyExecute);
    connect(acChangeClass, &QAction::triggered, this, &TfrmStudentPage::acChangeClassExecute);
    connect(acPic, &QAction::triggered, this, &TfrmStudentPage::acPicExecute);
    connect(acOutPic, &QAction::triggered, this, &TfrmStudentPage::acOutPicExecute);
    connect(acImpPic, &QAction::triggered, this, &TfrmStudentPage::acImpPicExecute);
}

void TfrmStudentPage::readParameters()
{
    PageClassCode.clear();
    AreaFilter.clear();
    if (Params.size() < 5) return;
    PageInYear = Params[0].toInt();
    PageGradeCode = Params[1].left(4);
    PageGradeName = Params[2];
    CurrentFlag = Params[3].left(1);
    ViewerList = Params[4];
    if (Params.size() == 6) {
        // A short item is a class; a longer one names a school area after four characters.
        if (Params[5].size() <= 3) PageClassCode = Params[5];
        else AreaFilter = Params[5].mid(4);
    }
}

QString TfrmStudentPage::ParameterProblem() const
{
    if (Params.size() < 5)
        return QStringLiteral("打开学籍档案需要知道是哪个年级：入学年份、年级代码、年级名称、在读标志和查看人，"
                              "例如“2025,1701,七年级,Y,”。请在左侧选中一个年级或班级后再打开。");
    const QString grade = Params[1];
    if ((grade.size() != 1 && grade.size() != 4) || !QStringLiteral("012").contains(grade.front()))
        return QStringLiteral("学籍档案的年级代码“%1”无效：应为 4 位的年级代码，或 1 位的学段代码（0 小学、1 初中、2 高中）。").arg(grade);
    bool isYear = false;
    const int year = Params[0].toInt(&isYear);
    if (!isYear || year < 0 || (grade.size() == 4 && year < 1900)) return QStringLiteral("学籍档案的入学年份“%1”不是有效的年份。").arg(Params[0]);
    if (Params.size() == 6 && Params[5].size() <= 3 && grade.size() != 4 && !Params[5].isEmpty())
        return QStringLiteral("班级“%1”须与它所在的年级一起打开，不能只给学段。").arg(Params[5]);
    return {};
}

bool TfrmStudentPage::loadLists()
{
    pub::WaitIndicator wait(this);
    CallResult r = loadFieldDefinitions();
    if (r.ok()) r = loadTable(*cdsState, protocol::QRegByType, {in(QStringLiteral("StudState")), var()});
    if (r.ok())
        r = loadTable(*cdsGradeClass, protocol::QGradeClasses,
                      {in(pub::schoolId()), PageGradeCode.size() == 4 ? var(qint64(PageInYear)) : var(ViewerList), in(PageGradeCode), var()});
    if (!r.ok()) {
        reportFailure(this, kCaption, r, Failure::Read);
        return false;
    }
    cdsClassName->setData(pub::classNames());
    cdsGradeNames->setData(pub::gradeNames());
    createFields();
    // The class list holds the grade's classes only, under their names in this grade.
    for (cdsClassName->first(); !cdsClassName->eof();) {
        if (!cdsGradeClass->locate(QStringLiteral("ClassCode"), {cdsClassName->value(u"ClassCode")})) {
            cdsClassName->deleteRecord();
            continue;
        }
        if (const QString alias = cdsGradeClass->value(u"AliasName").toString(); !alias.isEmpty()) {
            cdsClassName->edit();
            cdsClassName->setValue(u"ClassName", alias);
            cdsClassName->post();
        }
        cdsClassName->next();
    }
    cdsClassName->mergeChangeLog();
    return true;
}

// cdsData's fields: those the definitions name, typed by their letters, and two of the page's own.
void TfrmStudentPage::createFields()
{
    QList<wire::FieldDef> defs;
    for (cdsFields->first(); !cdsFields->eof(); cdsFields->next()) {
        const QString type = cdsFields->value(u"sFieldType").toString().toUpper();
        wire::FieldDef d{cdsFields->value(u"sFldName").toString(), wire::FieldType::Text, 0, 0};
        if (type == u"N" || type == u"I") d.type = wire::FieldType::Integer;
        else if (type == u"D") d.type = wire::FieldType::Date;
        else if (type == u"B") d.type = wire::FieldType::Boolean;
        else if (type == u"F") d.type = wire::FieldType::Float;
        defs << d;
    }
    cdsData->createTable(defs);
    for (const auto &[name, caption, type] : {std::tuple{"SchoolArea", "分校", wire::FieldType::Text}, std::tuple{"HasInImage", "入学照", wire::FieldType::Boolean}}) {
        cdsData->addField({QString::fromLatin1(name), type, 0, 0}, FieldKind::Internal);
        cdsFields->appendRecord({QString::fromLatin1(name), QStringLiteral("Student"), QString::fromUtf8(caption), true, 10, false, false,
                                 type == wire::FieldType::Boolean ? QStringLiteral("B") : QStringLiteral("S"), QVariant(), QVariant()});
    }
}

void TfrmStudentPage::InitPage()
{
    readParameters();
    loadLists();
    LoadData();
    const QString gradeType = pub::gradeType(PageGradeCode);
    ReportFolder = gradeType.isEmpty() ? QStringLiteral("Student") : gradeType + QStringLiteral("/Student");
    pub::WaitIndicator wait(this);
    TBasePage::InitPage();
    applyColumnRules();
    GridData->bestFit(); // the look-up columns show names now, not codes
    GridData->sortBy(GridData->columnOfField(QStringLiteral("GradeCode")), Qt::AscendingOrder);
    GridData->sortBy(GridData->columnOfField(QStringLiteral("ClassCode")), Qt::AscendingOrder, true);
    GridData->sortBy(GridData->columnOfField(QStringLiteral("iClassNo")), Qt::AscendingOrder, true);
    setEditState(0);
    // A page for one school area shows that area's students only.
    if (!AreaFilter.isEmpty()) GridData->setColumnFilter(GridData->columnOfField(QStringLiteral("SchoolArea")), {AreaFilter});
}

int TfrmStudentPage::protectionOf(const QString &field) const
{
    static const QStringList always = {"SchoolCode", "GradeCode", "InYear", "sCode", "sPass", "SchoolArea", "HasInImage"};
    if (always.contains(field, Qt::CaseInsensitive)) return 1;
    if (field.compare(u"ClassCode", Qt::CaseInsensitive) == 0 && !PageClassCode.isEmpty()) return 1;
    if (CurrentFlag != u"Y" && QStringList{"ClassCode", "iClassNo", "iState"}.contains(field, Qt::CaseInsensitive)) return 1;
    return 0;
}

void TfrmStudentPage::applyColumnRules()
{
    for (int c = 0; c < GridData->columnCount(); ++c) {
        GridColumn col = GridData->column(c);
        col.tag = protectionOf(col.field);
        if (QStringList{"SchoolCode", "GradeCode", "InYear", "sCode"}.contains(col.field, Qt::CaseInsensitive)) col.visible = false;
        if (col.field.compare(u"ClassCode", Qt::CaseInsensitive) == 0) {
            col.editor = EditorKind::Lookup;
            col.lookup.clear();
            for (cdsClassName->first(); !cdsClassName->eof(); cdsClassName->next())
                col.lookup.append({cdsClassName->value(u"ClassCode"), cdsClassName->value(u"ClassName").toString()});
        } else if (col.field.compare(u"iState", Qt::CaseInsensitive) == 0) {
            col.editor = EditorKind::Lookup;
            col.lookup.clear();
            for (cdsState->first(); !cdsState->eof(); cdsState->next())
                col.lookup.append({cdsState->value(u"sKeyId"), cdsState->value(u"sValue").toString()});
        } else if (col.field.compare(u"GradeCode", Qt::CaseInsensitive) == 0) {
            col.lookup.clear();
            for (cdsGradeNames->first(); !cdsGradeNames->eof(); cdsGradeNames->next())
                col.lookup.append({cdsGradeNames->value(u"sKeyId"), cdsGradeNames->value(u"sValue").toString()});
        } else if (col.field.compare(u"sSex", Qt::CaseInsensitive) == 0) {
            col.editor = EditorKind::Lookup;
            col.lookup = {{QStringLiteral("男"), QStringLiteral("男")}, {QStringLiteral("女"), QStringLiteral("女")}};
        }
        GridData->updateColumn(c, col);
    }
}

void TfrmStudentPage::LoadData()
{
    TBasePage::LoadData();
    // The second record card's scores are read again at its next print.
    cdsMyAchieve->close();
    pub::WaitIndicator wait(this);
    FrozenControls frozen(*cdsData);
    const QString school = pub::schoolId();
    CallResult r = PageClassCode.isEmpty() ? loadTable(*cdsData, protocol::QStudByGrade, studentQuery())
                                           : loadTable(*cdsData, protocol::QStudByClass,
                                                       {in(PageClassCode), in(PageGradeCode), var(qint64(PageInYear)), in(school), in(CurrentFlag), var()});
    if (r.ok()) {
        // The page fills these itself when it saves a new row, so a row may be posted without them.
        for (const char *field : {"sCode", "SchoolCode", "GradeCode", "InYear"})
            if (const int i = cdsData->fieldIndex(QString::fromLatin1(field)); i >= 0) cdsData->fieldInfo(i).def.flags &= ~wire::FieldDef::Required;
        r = loadTable(*cdsFamily, protocol::QFamily, {in(school), var(familyFilter()), var()});
    }
    if (!r.ok()) reportFailure(this, kCaption, r, Failure::Read);
    loadPhotoIndex();
    computeInternalColumns();
}

// QStudByGrade's arguments: a whole stage for those who see every grade, or the grade, which the
// server limits to the user's own classes unless he may see them all.
QList<wire::Argument> TfrmStudentPage::studentQuery() const
{
    const QString school = pub::schoolId();
    if (pub::viewAllGrade() && PageGradeCode.size() == 1)
        return {in(PageGradeCode), var(qint64(PageInYear)), in(school), CurrentFlag == u"Y" ? in(CurrentFlag) : var(ViewerList), in(QString()), var()};
    const bool ownClasses = !pub::viewAllClass() && !ViewerList.contains(pub::userCode());
    return {in(PageGradeCode), var(qint64(PageInYear)), in(school), in(CurrentFlag), in(ownClasses ? pub::userCode() : QString()), var()};
}

// The families of the page's students: its grade (or stage) and intake year, and its class.
QString TfrmStudentPage::familyFilter() const
{
    QString filter = QStringLiteral(" and b.gradecode=%1 and b.inyear=%2").arg(quotedValue(PageGradeCode)).arg(PageInYear);
    if (!PageClassCode.isEmpty()) filter += QStringLiteral(" and b.classcode=") + quotedValue(PageClassCode);
    return filter;
}

// The photo index; the page works without it.
void TfrmStudentPage::loadPhotoIndex()
{
    if (loadTable(*cdsStudentImage, protocol::QStudentImage,
                  {in(pub::schoolId()), in(PageGradeCode), in(PageClassCode), in(CurrentFlag), in(QString()), var(qint64(PageInYear))})
            .ok())
        cdsStudentImage->setIndexFieldNames(QStringLiteral("sCode;imgtype"));
}

void TfrmStudentPage::computeInternalColumns()
{
    if (!cdsData->isActive() || cdsData->isEmpty() || cdsData->fieldIndex(u"HasInImage") < 0) return;
    cdsData->disableControls();
    for (cdsData->first(); !cdsData->eof(); cdsData->next()) {
        cdsData->edit();
        const QString code = cdsData->value(u"sCode").toString();
        if (cdsStudentImage->isActive())
            cdsData->setValue(u"HasInImage", cdsStudentImage->locate(QStringLiteral("sCode;imgtype"), {code, QStringLiteral("0")}));
        if (cdsGradeClass->isActive() && cdsGradeClass->locate(QStringLiteral("ClassCode"), {cdsData->value(u"ClassCode")}))
            cdsData->setValue(u"SchoolArea", cdsGradeClass->value(u"sArea"));
        cdsData->post();
    }
    cdsData->first();
    cdsData->enableControls();
}

void TfrmStudentPage::SetReadOnly(bool r)
{
    for (QAction *a : {acFamily, acSetPass, acChangeClass, acImpPic}) a->setEnabled(r);
    TBasePage::SetReadOnly(r);
    // A stage, or a grade that has graduated, is edited only by administrators and holders of
    // "EditHis".
    const bool mayEdit = PageGradeCode.size() == 4 && (CurrentFlag == u"Y" || holdsRight(QStringLiteral("EditHis")));
    for (QAction *a : {acEdit, acImport})
        if (a->isEnabled() && !mayEdit) a->setEnabled(false);
    for (int c = 1; c < GridData->columnCount(); ++c) {
        GridColumn col = GridData->column(c);
        if (col.field.compare(u"Selected", Qt::CaseInsensitive) == 0) continue;
        col.readOnly = r || col.tag == 1;
        GridData->updateColumn(c, col);
    }
    if (acChangeClass->isEnabled() && !holdsRight(QStringLiteral("ChangeClass"))) acChangeClass->setEnabled(false);
    // Photos are uploaded by those who keep or import the register, as the server requires.
    if (acImpPic->isEnabled() && !holdsRight(QStringLiteral("Manager")) && !holdsRight(QStringLiteral("Import"))) acImpPic->setEnabled(false);
}

void TfrmStudentPage::InsertRecord()
{
    TBasePage::InsertRecord();
    if (cdsData->state() != DataSetState::Insert) return;
    if (!PageClassCode.isEmpty()) cdsData->setValue(u"ClassCode", PageClassCode);
    if (cdsData->fieldIndex(u"sType") >= 0) cdsData->setValue(u"sType", QStringLiteral("统招生"));
}

// The partner of an arts or science grade of the senior years, whose classes students may be in.
static QString partnerGrade(const QString &grade)
{
    if (grade < u"2201" || grade > u"2302") return {};
    if (grade == u"2201") return QStringLiteral("2202");
    if (grade == u"2202") return QStringLiteral("2201");
    if (grade == u"2301") return QStringLiteral("2302");
    return QStringLiteral("2301");
}

bool TfrmStudentPage::validateRows()
{
    pub::WaitIndicator wait(this, QStringLiteral("正在验证数据..."));
    QStringList classes;
    for (cdsGradeClass->first(); !cdsGradeClass->eof(); cdsGradeClass->next()) classes << cdsGradeClass->value(u"ClassCode").toString();
    if (const QString partner = partnerGrade(PageGradeCode); !partner.isEmpty()) {
        pub::ServerObject students = pub::ServerObject::studentQry();
        QList<wire::Argument> args = {in(pub::schoolId()), var(qint64(PageInYear)), in(partner), var()};
        if (students.call(protocol::QGradeClasses, args).ok())
            if (const auto *p = std::get_if<wire::DataPacket>(&args[3].value))
                for (qsizetype r = 0; r < p->rowCount(); ++r) classes << p->value(r, p->fieldIndex(u"ClassCode")).toString();
    }
    const QList<std::pair<QString, QString>> required = {{QStringLiteral("sName"), QStringLiteral("姓名")}, {QStringLiteral("sSex"), QStringLiteral("性别")}};
    QString fault;
    int row = 0;
    for (cdsData->first(); !cdsData->eof() && fault.isEmpty(); cdsData->next()) {
        ++row;
        const RowStatus status = cdsData->updateStatus();
        if (status != RowStatus::Modified && status != RowStatus::Inserted) continue;
        for (const auto &[field, caption] : required)
            if (cdsData->fieldIndex(field) >= 0 && cdsData->value(field).toString().trimmed().isEmpty() && fault.isEmpty())
                fault = QStringLiteral("%1栏位不能为空，数据行[%2]%1为空！").arg(caption).arg(row);
        const QString cls = cdsData->value(u"ClassCode").toString();
        if (fault.isEmpty() && PageClassCode.isEmpty() && cls.isEmpty()) fault = QStringLiteral("班级栏位不能为空，数据行[%1]班级列为空！").arg(row);
        if (fault.isEmpty() && !cls.isEmpty() && !classes.contains(cls)) fault = QStringLiteral("数据无效，数据行[%1]班级数据无效！").arg(row);
    }
    if (fault.isEmpty()) return true;
    cdsData->moveTo(row - 1);
    pub::msgError(fault, this);
    return false;
}

bool TfrmStudentPage::SaveData()
{
    if (!TBasePage::SaveData() || !validateRows()) return false;
    if (cdsData->changeCount() == 0) return true;
    const Bookmark here = cdsData->bookmark();
    pub::WaitIndicator wait(this, QStringLiteral("正在提交保存数据，请稍后..."));
    CallResult r;
    {
        FrozenControls frozen(*cdsData);
        completeNewRows();
        r = saveTable(*cdsData, protocol::UpStudent);
    }
    if (r.ok()) {
        WriteOperationLog(QStringLiteral("修改保存学生学籍数据"));
        // Families come along: an import fills them; what the server refuses is dropped here.
        if (const CallResult f = saveTable(*cdsFamily, protocol::UpFamily); !f.ok()) {
            cdsFamily->cancelUpdates();
            if (f.outcome == CallResult::Failed) pub::writeLog(QStringLiteral("保存家庭成员数据失败，服务器连接失败！"));
        }
        pub::msgHint(QStringLiteral("数据保存成功！"), this);
    } else {
        reportFailure(this, kCaption, r, Failure::Save);
    }
    if (here >= 0) cdsData->gotoBookmark(here);
    return r.ok();
}

// New rows get their keys, school, grade, class and defaults; marks are for this screen only, so a
// marked row is sent just to clear its mark.
void TfrmStudentPage::completeNewRows()
{
    for (cdsData->first(); !cdsData->eof(); cdsData->next()) {
        const bool inserted = cdsData->updateStatus() == RowStatus::Inserted;
        if (!inserted && !cdsData->value(u"Selected").toBool()) continue;
        cdsData->edit();
        cdsData->setValue(u"Selected", false);
        if (inserted) {
            if (cdsData->value(u"sCode").toString().isEmpty()) cdsData->setValue(u"sCode", QUuid::createUuid().toString(QUuid::WithBraces).toUpper());
            if (cdsData->value(u"SchoolCode").toString().isEmpty()) cdsData->setValue(u"SchoolCode", pub::schoolId());
            if (!PageClassCode.isEmpty()) cdsData->setValue(u"ClassCode", PageClassCode);
            cdsData->setValue(u"GradeCode", PageGradeCode);
            cdsData->setValue(u"InYear", PageInYear);
            if (cdsData->value(u"iState").toString().isEmpty()) cdsData->setValue(u"iState", QStringLiteral("00"));
            if (cdsData->fieldIndex(u"sType") >= 0 && cdsData->value(u"sType").toString().isEmpty()) cdsData->setValue(u"sType", QStringLiteral("统招生"));
        }
        cdsData->post();
    }
}

// Deletes the marked students who sat no exam; those who did are named (the first six).
void TfrmStudentPage::DeleteRecord()
{
    if (!cdsData->isActive()) return;
    GridData->postEdit();
    pub::WaitIndicator wait(this, QStringLiteral("正在删除数据......"));
    FrozenControls frozen(*cdsData);
    FilterScope marked(*cdsData, QStringLiteral("Selected=True"));
    QString message;
    int kept = 0;
    for (cdsData->first(); !cdsData->eof();) {
        DataSet examRows;
        if (!loadTable(examRows, protocol::QMyMarkList, {in(pub::schoolId()), in(cdsData->value(u"sCode").toString()), var()}).ok()) {
            message = QStringLiteral("验证数据发生错误，服务器连接失败，请稍后再试！");
            break;
        }
        const wire::DataPacket exams = examRows.data();
        if (exams.rowCount() == 0) {
            cdsData->deleteRecord(); // the next row comes up
            continue;
        }
        if (++kept <= 6)
            message += QStringLiteral("【%1】同学存在<%2%3>考试数据，不能删除！\n")
                           .arg(cdsData->value(u"sName").toString(), exams.value(0, exams.fieldIndex(u"GradeName")).toString(),
                                exams.value(0, exams.fieldIndex(u"ExamName")).toString());
        cdsData->next();
    }
    if (!message.isEmpty()) pub::msgHint(message, this);
}

// The password dialog for the marked students.
void TfrmStudentPage::acSetPassExecute()
{
    FilterScope marked(*cdsData, QStringLiteral("Selected=True"));
    if (cdsData->isEmpty()) {
        pub::msgHint(QStringLiteral("请选择要设置的名单！"), this);
        return;
    }
    TfrmSetPass dialog(cdsData, 2, this);
    dialog.exec();
}

// The import wizard over the register, with the father's and mother's columns going to the family
// rows. The merged rows stay pending until the user saves.
void TfrmStudentPage::acImportExecute()
{
    if (!isEditing()) setEditState(2);
    const wire::DataPacket definitions = cdsFields->data();
    for (const auto &[name, caption] : std::initializer_list<std::pair<const char16_t *, const char16_t *>>{
             {u"MYFQ", u"父亲"}, {u"MYFQTel", u"父亲电话"}, {u"MYFQCompany", u"父亲工作单位"},
             {u"MYMQ", u"母亲"}, {u"MYMQTel", u"母亲电话"}, {u"MYMQCompany", u"母亲工作单位"}}) {
        cdsFields->append();
        cdsFields->setValue(u"sFldName", QString::fromUtf16(name));
        cdsFields->setValue(u"sTable", QStringLiteral("XJ_Family"));
        cdsFields->setValue(u"sFldCaption", QString::fromUtf16(caption));
        cdsFields->setValue(u"sFieldType", QStringLiteral("S"));
        cdsFields->setValue(u"bShowed", true);
        cdsFields->setValue(u"bSum", false);
        cdsFields->setValue(u"bGroup", false);
        cdsFields->post();
    }
    {
        FilterScope allFamilies(*cdsFamily, QString());
        // Owned by the host's window, which outlives this page even if the page is closed meanwhile.
        TPubImportSet wizard(window());
        wizard.target.fields = cdsFields;
        wizard.target.data = cdsData;
        wizard.target.classes = cdsClassName;
        wizard.target.states = cdsState;
        wizard.target.detail = cdsFamily;
        wizard.target.masterKeyField = QStringLiteral("sCode");
        wizard.target.detailKeyField = QStringLiteral("sCode");
        wizard.target.keyCaptions = QStringLiteral("学籍辅号,全国学籍号,身份证号,姓名,座号").split(u',');
        wizard.target.keyFields = QStringLiteral("sNO,sICNO,sPNO,sName,iClassNO").split(u',');
        wizard.target.excludedFields = QStringLiteral("scode,selected,inyear,gradecode,schoolcode").split(u',');
        wizard.target.initRow = [this](DataSet &row) {
            if (!PageClassCode.isEmpty()) row.setValue(u"ClassCode", PageClassCode);
            if (row.fieldIndex(u"sType") >= 0) row.setValue(u"sType", QStringLiteral("统招生"));
        };
        wizard.Caption = windowTitle() + QStringLiteral(" 学籍数据导入向导");
        wizard.prepare();
        runModal(wizard);
    }
    cdsFields->setData(definitions);
    computeInternalColumns();
}

// The photo viewer walks the students in the grid's order. The dialogs live on the heap: the host
// may close the page (and its children with it) while one is open.
void TfrmStudentPage::showPhotoViewer(int mode)
{
    if (!cdsData->isActive() || cdsData->isEmpty()) return;
    QPointer<TfrmPicView> viewer = new TfrmPicView(mode, GridData, cdsStudentImage, this);
    runModal(*viewer);
    delete viewer;
}

// The photo import; afterwards the photo index and the entrance-photo column are read again.
void TfrmStudentPage::acImpPicExecute()
{
    QPointer<TfrmStudentPage> self(this);
    QPointer<TfrmInPicture> dialog = new TfrmInPicture(cdsData, PageGradeCode, PageInYear, PageClassCode, this);
    const int result = runModal(*dialog);
    delete dialog;
    if (!self || result != QDialog::Accepted) return;
    const Bookmark here = cdsData->bookmark();
    cdsStudentImage->close();
    loadPhotoIndex();
    computeInternalColumns();
    if (here >= 0) cdsData->gotoBookmark(here);
}

// ---- printing the record cards ----------------------------------------------------------------------

void TfrmStudentPage::BeforeReportPrint(const QString &entry)
{
    TBasePage::BeforeReportPrint(entry);
    PrintCard1 = entry == QStringLiteral("学籍卡片(一)");
    PrintCard2 = entry == QStringLiteral("学籍卡片(二)");
    if (PrintCard2 && !cdsMyAchieve->isActive()) {
        pub::WaitIndicator wait(this, QStringLiteral("正在准备打印数据......"));
        pub::ServerObject students = pub::ServerObject::studentQry();
        const wire::Reply reply = students.call(protocol::QGetCard2, {in(pub::schoolId()), var(PageGradeCode), var(qint64(PageInYear))});
        if (const auto *p = std::get_if<wire::DataPacket>(&reply.result); reply.ok() && p) cdsMyAchieve->setData(*p);
        else PrintCard2 = false;
    }
    // The cards list the students in the grid's order.
    QStringList fields, desc;
    for (const GridSortColumn &sort : GridData->sortColumns()) {
        fields << sort.field;
        if (sort.order == Qt::DescendingOrder) desc << sort.field;
    }
    if (!fields.isEmpty()) {
        try { cdsData->deleteIndex(QStringLiteral("printidx")); } catch (const DataError &) {}
        cdsData->addIndex({QStringLiteral("printidx"), fields, desc, false});
        cdsData->setIndexName(QStringLiteral("printidx"));
    }
}

void TfrmStudentPage::AfterReportPrint(const QString &entry)
{
    TBasePage::AfterReportPrint(entry);
    PrintCard1 = PrintCard2 = false;
    for (DataSet *d : {cdsFamily, cdsMyAchieve}) d->setFiltered(false);
}

QVariant TfrmStudentPage::ReportVariable(const QString &name, bool *found)
{
    const QVariant base = TBasePage::ReportVariable(name, found);
    if (*found) return base;
    *found = true;
    if (name == u"InYear") return PageInYear;
    if (name == u"GradeName") return PageGradeName;
    if (name == u"RecordCount") return cdsData->recordCount();
    if (name == u"AppTitle") return pub::appName();
    if (name == u"GradeType") {
        static const QHash<QChar, QString> stages = {{u'0', QStringLiteral("小学")}, {u'1', QStringLiteral("初中")}, {u'2', QStringLiteral("高中")}};
        return stages.value(PageGradeCode.isEmpty() ? QChar() : PageGradeCode.at(0));
    }
    if (name == u"SchoolFullName") {
        DataSet info;
        if (!loadTable(info, protocol::QSchoolInfo, {in(pub::schoolId()), var()}).ok()) return QStringLiteral("未知学校");
        info.first();
        return info.isEmpty() ? QVariant(QString()) : info.value(u"sFullName");
    }
    const QString cls = cdsData->value(u"ClassCode").toString();
    if (name == u"ClassName") return cdsClassName->locate(QStringLiteral("ClassCode"), {cls}) ? cdsClassName->value(u"ClassName") : QVariant();
    if (name == u"ClassTeacher") {
        if (!cdsTeachers->isActive()) loadTable(*cdsTeachers, protocol::QTeachers, {in(pub::schoolId()), var()});
        if (!cdsGradeClass->locate(QStringLiteral("ClassCode"), {cls}) || !cdsTeachers->isActive()) return QString();
        return cdsTeachers->locate(QStringLiteral("sCode"), {cdsGradeClass->value(u"TeacherCode")}) ? cdsTeachers->value(u"sName") : QVariant(QString());
    }
    *found = false;
    return {};
}

// A student's photo from the server's store; null when there is none or it is of another kind.
QImage TfrmStudentPage::photo(const QString &student, int imageType)
{
    pub::ServerObject students = pub::ServerObject::studentQry();
    const wire::Reply name = students.call(protocol::QStudPicByCode, {in(student), var(qint64(imageType))});
    const QString *file = std::get_if<QString>(&name.result);
    return name.ok() && file ? fetchStudentPhoto(pub::schoolId(), imageType, *file) : QImage();
}

void TfrmStudentPage::BindReport(report::ReportEngine &engine)
{
    engine.bindTable(QStringLiteral("cdsFamily"), cdsFamily);
    engine.bindTable(QStringLiteral("cdsMyAchieve"), cdsMyAchieve);
    // Each student's family and scores follow the student being printed.
    engine.masterRowMoved = [this](const QString &) {
        if (cdsData->isEmpty()) return;
        const QString filter = QStringLiteral("sCode='%1'").arg(cdsData->value(u"sCode").toString().replace(u'\'', QStringLiteral("''")));
        if (PrintCard1 && cdsFamily->isActive()) {
            cdsFamily->setFilter(filter);
            cdsFamily->setFiltered(true);
        }
        if (PrintCard2 && cdsMyAchieve->isActive()) {
            cdsMyAchieve->setFilter(filter);
            cdsMyAchieve->setFiltered(true);
        }
    };
    engine.beforePrint = [this](report::PrintingObject &o) {
        const QString name = o.object.name;
        if (name == u"InPicture" || name == u"OutPicture") o.picture = photo(cdsData->value(u"sCode").toString(), name == u"InPicture" ? 0 : 1);
        if (PrintCard2 && cdsMyAchieve->isActive() && name.startsWith(u"mm_")) {
            const int i = name.mid(3).toInt();
            const int last = PageGradeCode.startsWith(u'0') ? 15 : 24;
            if (i >= 1 && i <= last)
                o.text = cdsMyAchieve->fieldIndex(QStringLiteral("c%1").arg(i)) >= 0 ? QStringLiteral("[cdsMyAchieve.\"c%1\"]").arg(i) : QString();
        }
    };
}

} // namespace lumeko::achieve
