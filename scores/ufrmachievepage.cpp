// The score page: opening, what is loaded into which table, the columns, who sees what.

#include "scores/ufrmachievepage.h"

#include "analysis/ufrmachievedivclass.h"
#include "analysis/ufrmachievequality.h"
#include "analysis/ufrmchart.h"
#include "analysis/ufrmexamquestions.h"
#include "domain/scoring.h"
#include "framework/lumekoachieve.h"
#include "framework/modalrun.h"
#include "framework/pagehosting.h"
#include "framework/pageregistry.h"
#include "framework/remotetable.h"
#include "framework/servercall.h"
#include "framework/sharedroutines.h"
#include "host/pub/pub.h"
#include "scores/ufrmsmsachieve.h"
#include "toolkit/data/commatext.h"
#include "toolkit/grid/bandedgrid.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QListWidget>
#include <QMenu>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>

namespace lumeko::achieve {

namespace {

const QString kNoPage = QStringLiteral("⊥");
// Tag of the columns nobody types into (ranks, levels, letters, totals, subjects the role lacks).
constexpr int kLocked = 1;

GridColumn column(const QString &field, const QString &caption, int width, const QStringList &groups)
{
    GridColumn c;
    c.field = field;
    c.caption = caption;
    c.width = width;
    c.groups = groups;
    c.locked = true;
    return c;
}

} // namespace

TfrmAchievePage::TfrmAchievePage(QWidget *parent) : TBasePage(parent)
{
    setWindowTitle(QStringLiteral("成绩管理"));
    Tag = 4011;
    FieldsTable = QStringLiteral("CJ_Mark");
    FixedColumnCount = 6;
    for (DataSet **d : {&cdsExamInfo, &cdsSubjectPt, &cdsSubjects, &cdsDataUp, &cdsStudClasses, &cdsOrders, &cdsGradePer, &cdsGradeList, &cdsGrade,
                        &cdsEightGrade, &cdsSchoolInfo, &cdsClassName, &cdsClassList, &cdsSubjectClass})
        *d = new DataSet(this);

    const auto action = [this](const char *caption, const char *icon, const char *hint) {
        auto *a = new QAction(pub::styleIcon(QString::fromLatin1(icon)), QString::fromUtf8(caption), this);
        a->setStatusTip(QString::fromUtf8(hint));
        addAction(a);
        return a;
    };
    acOrder = action("排名", "Order", "计算成绩排名");
    acCaleTotal = action("重算总分", "Sum", "重新计算科目基总、主总及全总分");
    acClearData = action("清空成绩", "Clear", "清空已选格成绩");
    acImport = action("导入", "Import", "导入成绩");
    acStandard = action("标分", "Standard", "显示标准分");
    acProperty = action("属性", "Property", "科目属性");
    acDefineStudent = action("名单", "Student", "定义考试学生名单");
    acHistory = action("修改记录", "History", "成绩修改记录");
    acInputScore = action("座号录入", "Input", "按座号录入成绩");
    acModifyGradePer = action("修改", "Property", "设置等级比例");
    acCaleGradePer = action("计算", "Sum", "按比例计算等级");
    acDistSum = action("成绩分布情况", "Chart", "成绩分布情况");
    acClassSum = action("班级对比分析", "Chart", "班级对比分析");
    acSubjectSum = action("科目对比分析", "Chart", "科目对比分析");
    acTeacherSum = action("教师对比分析", "Chart", "教师对比分析");
    acUpDownSum = action("成绩进退分析", "Chart", "成绩进退分析");
    acProperty->setCheckable(true);
    acProperty->setChecked(true);
    setActionTag(acImport, 5);
    // Editing scores is decided by the exam and the roles (mayEdit), not by the page's Manager key.
    setActionTag(acEdit, 0);

    // The roster and the history stand by the save commands; ranks and totals after them.
    tlbTools->removeAction(acInsert);
    tlbTools->removeAction(acDelete);
    tlbTools->insertActions(acSave, {acDefineStudent});
    tlbTools->insertActions(acSave, {acInputScore});
    tlbTools->addActions({acOrder, acCaleTotal, acClearData, acImport, acStandard, acModifyGradePer, acCaleGradePer, acProperty, acHistory});
    auto *analyses = new QMenu(this);
    analyses->addActions({acDistSum, acClassSum, acSubjectSum, acTeacherSum, acUpDownSum});
    auto *analysis = new QAction(pub::styleIcon(QStringLiteral("Chart")), QStringLiteral("分析"), this);
    analysis->setMenu(analyses);
    tlbTools->addAction(analysis);
    if (auto *b = qobject_cast<QToolButton *>(tlbTools->widgetForAction(analysis))) b->setPopupMode(QToolButton::InstantPopup);
    // The analyses open as windows of their own over the sheet's exam, its ticked subjects and
    // the students it shows; 成绩进退分析 draws each student's line across the chosen exams.
    const std::pair<QAction *, int32_t (*)(void *, void *, const char *, const char *)> exports[] = {
        {acDistSum, ShowDistSumPage}, {acClassSum, ShowClassSumPage}, {acSubjectSum, ShowSubjectSumPage}, {acTeacherSum, ShowTeacherSumPage}};
    for (const auto &[a, show] : exports)
        connect(a, &QAction::triggered, this, [this, show = show] {
            const QByteArray params = analysisParameterText().toUtf8(), filter = studentFilterText().toUtf8();
            show(moduleApp(), nullptr, params.constData(), filter.constData());
        });
    connect(acUpDownSum, &QAction::triggered, this, [this] {
        const QByteArray params = analysisParameterText().toUtf8();
        ShowUpDLinePage(moduleApp(), nullptr, params.constData());
    });
    // The same comparisons as tables: each student's rises and falls, each class's across exams.
    acUpDownTable = action("成绩进退汇总", "Chart", "各学生多次考试成绩进退汇总表");
    acMutiSum = action("班级进退分析", "Chart", "各班多次考试对比及差距");
    analyses->addActions({acUpDownTable, acMutiSum});
    const std::pair<QAction *, int32_t (*)(void *, void *, const char *)> tables[] = {{acUpDownTable, ShowUpDownSumPage}, {acMutiSum, ShowAchMutiPage}};
    for (const auto &[a, show] : tables)
        connect(a, &QAction::triggered, this, [this, show = show] {
            const QByteArray params = analysisParameterText().toUtf8();
            show(moduleApp(), nullptr, params.constData());
        });
    acQuestions = action("小题分析", "Chart", "各题得分、难度、区分度与一分一段");
    analyses->addAction(acQuestions);
    connect(acQuestions, &QAction::triggered, this,
            [this] { runQuestionAnalysis(moduleApp(), nullptr, parameterList(analysisParameterText().toUtf8().constData())); });
    // 质量分析总表 over the sheet's exam, its ticked subjects and the students it shows.
    acQuality = action("质量分析总表", "Chart", "各班各科教学质量及与上次考试的比较");
    analyses->addAction(acQuality);
    connect(acQuality, &QAction::triggered, this,
            [this] { runQualityReport(dialogOwner(this), parameterList(analysisParameterText().toUtf8().constData()), studentFilterText(), true); });
    acChart = action("数据图表", "Chart", "各班成绩图表");
    analyses->addSeparator();
    analyses->addAction(acChart);
    connect(acChart, &QAction::triggered, this, &TfrmAchievePage::acChartExecute);
    acDivClass = action("教学分班", "Other", "教学分班");
    tlbTools->insertAction(acStandard, acDivClass);
    connect(acDivClass, &QAction::triggered, this, &TfrmAchievePage::acDivClassExecute);

    disconnect(acEdit, &QAction::triggered, nullptr, nullptr);
    connect(acEdit, &QAction::triggered, this, &TfrmAchievePage::acEditExecuteGuarded);
    connect(acOrder, &QAction::triggered, this, &TfrmAchievePage::acOrderExecute);
    connect(acCaleTotal, &QAction::triggered, this, &TfrmAchievePage::acCaleTotalExecute);
    connect(acClearData, &QAction::triggered, this, &TfrmAchievePage::acClearDataExecute);
    connect(acImport, &QAction::triggered, this, &TfrmAchievePage::acImportExecute);
    connect(acStandard, &QAction::triggered, this, &TfrmAchievePage::acStandardExecute);
    connect(acProperty, &QAction::triggered, this, &TfrmAchievePage::acPropertyExecute);
    connect(acDefineStudent, &QAction::triggered, this, &TfrmAchievePage::acDefineStudentExecute);
    connect(acHistory, &QAction::triggered, this, &TfrmAchievePage::acHistoryExecute);
    connect(acInputScore, &QAction::triggered, this, &TfrmAchievePage::acInputScoreExecute);
    connect(acModifyGradePer, &QAction::triggered, this, &TfrmAchievePage::acModifyGradePerExecute);
    connect(acCaleGradePer, &QAction::triggered, this, &TfrmAchievePage::acCaleGradePerExecute);
    connect(GridData, &BandedGrid::cellEdited, this, &TfrmAchievePage::cellEdited);
    connect(cdsData, &DataSet::currentChanged, this, [this] {
        const int c = GridData->currentColumn();
        if (c >= 0) FocusedFieldName = GridData->column(c).field;
    });
    GridData->setCellColors([this](int row, int column) { return cellColor(row, column); });
    // 短信 stands before the analyses.
    acSendMsg = action("短信", "SendSMS", "发送成绩短信");
    tlbTools->insertAction(analysis, acSendMsg);
    connect(acSendMsg, &QAction::triggered, this, &TfrmAchievePage::acSendMsgExecute);
    buildSidePanel();
}

TfrmAchievePage::~TfrmAchievePage() = default;

// ---- parameters -----------------------------------------------------------------------------------------

QString TfrmAchievePage::ParameterProblem() const
{
    bool ok = false;
    Params.value(0).trimmed().toInt(&ok);
    if (!ok) return QStringLiteral("打开成绩录入需要考试的入学年份，“%1”不是一个年份。请在考试管理中选中一次考试后再打开。").arg(Params.value(0));
    if (Params.value(1).isEmpty() || Params.value(6).isEmpty())
        return QStringLiteral("打开成绩录入需要知道是哪个年级的哪次考试。请在考试管理中选中一次考试后再打开。");
    return {};
}

void TfrmAchievePage::readParameters()
{
    InYear = Params.value(0).trimmed().toInt();
    GradeCode = Params.value(1).left(4);
    EntryFlag = Params.value(3).left(1);
    ExamTeachers = Params.value(4);
    SubjectCodes = splitCommaText(QString(Params.value(5)).replace(u';', u','));
    ExamCode = Params.value(6).left(3);
    PageName = Params.size() >= 8 ? Params.value(7) : QString();
    PageCaption = Params.isEmpty() ? QString() : Params.last();
}

// ---- opening ----------------------------------------------------------------------------------------------

void TfrmAchievePage::InitPage()
{
    readParameters();
    pub::WaitIndicator wait(this);
    try {
        // The column definitions come with the lists, before the base builds the columns from them.
        if (!loadLists()) throw std::runtime_error("the exam's tables could not be read");
        TBasePage::InitPage();
        applyRights();
        m_branchItemAllowed = m_viewOrder && HasBranches;
        // The report templates of the grade's section.
        const QString type = pub::gradeType(GradeCode);
        ReportFolder = (type.isEmpty() ? QStringLiteral("Junior") : type) + QStringLiteral("/Achieve");
        fillReportMenu();
        buildScoreColumns();
        readSettings();
        LoadData();
        // The fixed columns (name, class …) fit their contents, unless the user's own layout says
        // otherwise; the others keep their defined widths, so that the scores come into view.
        if (!QFileInfo::exists(layoutFile()))
            for (int c = 0; c < GridData->fixedBandColumnCount(); ++c)
                GridData->bestFit(c);
        const bool total = PageName == kNoPage;
        acCaleTotal->setVisible(total);
    } catch (const std::exception &e) {
        pub::writeLog(QStringLiteral("发生错误：") + QString::fromUtf8(e.what()));
        close();
        return;
    }
    // A new exam without candidates asks for its roster at once.
    if (acDefineStudent->isVisible() && acDefineStudent->isEnabled() && cdsData->isActive() && cdsData->isEmpty() && EntryFlag == u"Y")
        acDefineStudentExecute();
    else
        setEditState(0);
}

void TfrmAchievePage::applyRights()
{
    m_viewTotal = PageName == kNoPage && holdsRight(QStringLiteral("ViewTotal"));
    m_viewOrder = pub::userType() == 1 || holdsRight(QStringLiteral("ViewOrder"));
    m_viewLevel = pub::userType() == 1 || holdsRight(QStringLiteral("ViewLevel"));
    const QString me = pub::userCode();
    const bool student = holdsRight(QStringLiteral("Student"));
    acDefineStudent->setVisible(pub::userType() == 1 || (student && ExamTeachers.split(u';').contains(me) && !me.isEmpty()) || (student && PageName == me));
    acHistory->setVisible(pub::userType() == 1 || holdsRight(QStringLiteral("Manager")));
    acDivClass->setVisible(cdsSubjectClass->recordCount() > 0 && (pub::userType() == 1 || holdsRight(QStringLiteral("DivClass"))));
}

bool TfrmAchievePage::loadLists()
{
    const QString school = pub::schoolId();
    const QList<wire::Argument> exam{in(school), in(GradeCode), in(ExamCode), var(PageName), var(qint64(InYear)), var()};
    for (const CallResult &r : {loadTable(*cdsExamInfo, protocol::QExamTotal, exam), loadTable(*cdsSubjectPt, protocol::QExamSubjectAllPt, exam),
                                loadTable(*cdsSubjects, protocol::QSubjects, {in(school), in(GradeCode), var(qint64(InYear)), var()})})
        if (!r.ok()) return reportFailure(this, windowTitle(), r, Failure::Read), false;
    const QString examId = cdsExamInfo->isEmpty() ? QString() : cdsExamInfo->value(u"Id").toString();
    const CallResult lists[] = {
        loadTable(*cdsGradePer, protocol::QExamGradePer, {in(examId)}),
        loadTable(*cdsGradeList, protocol::QRegByType, {in(QStringLiteral("ExamGrade")), var()}),
        loadTable(*cdsGrade, protocol::QRegByType, {in(QStringLiteral("CreditGrade")), var()}),
        loadTable(*cdsEightGrade, protocol::QRegByType, {in(QStringLiteral("EightGrade")), var()}),
        loadTable(*cdsSchoolInfo, protocol::QSchoolInfo, {in(school), var()}),
        pub::viewAllClass()
            ? loadTable(*cdsClassList, protocol::QGradeClasses, {in(school), var(qint64(InYear)), in(GradeCode), var()})
            : loadTable(*cdsClassList, protocol::QGradeClassesByCode, {in(school), in(GradeCode), in(pub::userCode()), var(qint64(InYear)), var()}),
        loadTable(*cdsSubjectClass, protocol::QSubjectClass, {in(school), in(GradeCode), in(QString()), var(qint64(InYear)), var()}),
        loadFieldDefinitions(),
    };
    for (const CallResult &r : lists)
        if (!r.ok()) return reportFailure(this, windowTitle(), r, Failure::Read), false;
    cdsClassName->setData(pub::classNames());
    HasBranches = !cdsSchoolInfo->isEmpty() && cdsSchoolInfo->value(u"bHasSub").toBool();
    chkBranches->setVisible(HasBranches);
    createDefaultGradePer();
    m_subjectRow.clear();
    for (qsizetype r = 0; r < cdsSubjectPt->recordCount(); ++r)
        m_subjectRow.insert(cdsSubjectPt->valueAt(r, cdsSubjectPt->fieldIndex(u"SubjectCode")).toString(), int(r));
    return true;
}

// An exam without letter shares gets the default ones of the letters: one row for the school (the
// main campus's name when it has branches).
void TfrmAchievePage::createDefaultGradePer()
{
    if (!cdsGradePer->isActive()) return;
    if (cdsGradePer->isEmpty() && !cdsExamInfo->isEmpty()) {
        QVariantList shares;
        for (const char *letter : {"A", "B", "C", "D", "E"}) {
            QVariant share = 0.0;
            for (qsizetype r = 0; r < cdsGrade->recordCount(); ++r)
                if (cdsGrade->valueAt(r, cdsGrade->fieldIndex(u"sValue")).toString() == QLatin1String(letter))
                    share = cdsGrade->valueAt(r, cdsGrade->fieldIndex(u"sDesc")).toDouble();
            shares << share;
        }
        cdsGradePer->append();
        cdsGradePer->setValue(u"examId", cdsExamInfo->value(u"Id"));
        cdsGradePer->setValue(u"sArea", HasBranches ? cdsSchoolInfo->value(u"sMainCap").toString() : QString());
        const char *const fields[] = {"APer", "BPer", "CPer", "DPer", "EPer"};
        for (int i = 0; i < 5; ++i)
            cdsGradePer->setValue(QString::fromLatin1(fields[i]), shares[i]);
        cdsGradePer->post();
    }
    const bool loading = Loading;
    Loading = true; // the rows are as stored: ticking the box adds none
    chkBranches->setChecked(HasBranches && cdsGradePer->recordCount() >= 2);
    Loading = loading;
}

// ---- columns ----------------------------------------------------------------------------------------------

int TfrmAchievePage::subjectRow(const QString &code) const
{
    return m_subjectRow.value(code, -1);
}

double TfrmAchievePage::subjectFullMark(const QString &code) const
{
    for (qsizetype r = 0; r < cdsSubjects->recordCount(); ++r)
        if (cdsSubjects->valueAt(r, 0).toString() == code) return cdsSubjects->valueAt(r, cdsSubjects->fieldIndex(u"fullmark")).toDouble();
    const int row = subjectRow(code);
    return row < 0 ? 0 : cdsSubjectPt->valueAt(row, cdsSubjectPt->fieldIndex(u"FullMark")).toDouble();
}

bool TfrmAchievePage::isGraded(const QString &code) const
{
    const double full = subjectFullMark(code);
    return full == 5 || full == 8;
}

QString TfrmAchievePage::scoreField(const QString &code) const
{
    if (code == u"FUL") return QStringLiteral("FullTotal");
    if (code == u"MAI") return QStringLiteral("MainTotal");
    if (code == u"BAS") return QStringLiteral("BaseTotal");
    return QStringLiteral("C_") + code;
}

QString TfrmAchievePage::rankField(const QString &code) const
{
    if (code == u"FUL") return QStringLiteral("FullOrder");
    if (code == u"MAI") return QStringLiteral("MainOrder");
    if (code == u"BAS") return QStringLiteral("BaseOrder");
    return QStringLiteral("O_") + code;
}

QList<GridColumn> TfrmAchievePage::subjectBand(const QString &code)
{
    QString name = code;
    for (qsizetype r = 0; r < cdsSubjects->recordCount(); ++r)
        if (cdsSubjects->valueAt(r, 0).toString() == code) name = cdsSubjects->valueAt(r, cdsSubjects->fieldIndex(u"SubjectName")).toString();
    const QStringList groups{QStringLiteral("考试科目"), name};
    GridColumn score = column(QStringLiteral("C_") + code, name, 66, groups);
    score.editor = EditorKind::Float;
    score.displayFormat = QStringLiteral("0.#");
    score.summary = SummaryKind::Average;
    score.summaryFormat = QStringLiteral(",0.00");
    score.groupSummary = true;
    const double full = subjectFullMark(code);
    if (full == 5 || full == 8) {
        // A graded subject shows its steps by letter: A … D, and A+ … D+ on the eight-step scale.
        DataSet &steps = full == 5 ? *cdsGrade : *cdsEightGrade;
        score.editor = EditorKind::Lookup;
        for (qsizetype r = 0; r < steps.recordCount(); ++r)
            score.lookup.append({steps.valueAt(r, steps.fieldIndex(u"sKeyId")).toDouble(), steps.valueAt(r, steps.fieldIndex(u"sValue")).toString()});
    }
    QList<GridColumn> band{score};
    for (const auto &[prefix, caption] : {std::pair{"O_", "段名"}, {"B_", "班名"}, {"A_", "分校名"}}) {
        GridColumn rank = column(QString::fromLatin1(prefix) + code, QString::fromUtf8(caption), 44, groups);
        rank.editor = EditorKind::Integer;
        rank.readOnly = true;
        rank.tag = kLocked;
        band << rank;
    }
    GridColumn level = column(QStringLiteral("G_") + code, QStringLiteral("等级"), 48, groups);
    level.editor = EditorKind::Lookup;
    level.lookup = lookupItems(*cdsGradeList, u"sKeyId", u"sValue");
    for (LookupItem &i : level.lookup)
        i.key = i.key.toInt();
    GridColumn letter = column(QStringLiteral("P_") + code, QStringLiteral("AE"), 32, groups);
    letter.editor = EditorKind::Lookup;
    letter.lookup = lookupItems(*cdsGrade, u"sKeyId", u"sValue");
    for (LookupItem &i : letter.lookup)
        i.key = i.key.toInt();
    for (GridColumn *c : {&level, &letter}) {
        c->readOnly = true;
        c->tag = kLocked;
        band << *c;
    }
    return band;
}

QList<GridColumn> TfrmAchievePage::totalBand(const QString &code, const QString &caption, const QString &score, const QString &order)
{
    QList<GridColumn> band = subjectBand(code);
    const QStringList groups{QStringLiteral("考试总分"), caption};
    band[0].field = score;
    band[0].caption = caption;
    band[0].editor = EditorKind::Float;
    band[0].lookup.clear();
    band[0].tag = kLocked;
    band[0].readOnly = true;
    band[1].field = order;
    for (GridColumn &c : band)
        c.groups = groups;
    return band;
}

void TfrmAchievePage::buildScoreColumns()
{
    QList<GridColumn> columns = GridData->columns();
    for (const QString &code : SubjectCodes)
        columns += subjectBand(code);
    if (PageName == kNoPage) {
        columns += totalBand(QStringLiteral("FUL"), QStringLiteral("全总"), QStringLiteral("FullTotal"), QStringLiteral("FullOrder"));
        if (cdsExamInfo->value(u"hasBase").toBool())
            columns += totalBand(QStringLiteral("BAS"), QStringLiteral("基总"), QStringLiteral("BaseTotal"), QStringLiteral("BaseOrder"));
        if (cdsExamInfo->value(u"hasMain").toBool())
            columns += totalBand(QStringLiteral("MAI"), QStringLiteral("主总"), QStringLiteral("MainTotal"), QStringLiteral("MainOrder"));
    }
    GridData->setColumns(columns);
    GridData->setFixedColumnCount(FixedColumnCount);
    GridData->setBandCaptionsVisible(false);

    // "基总分" and "主总分" of the side panel: the subjects each total adds up.
    QStringList base, main;
    for (const QString &code : SubjectCodes) {
        const int row = subjectRow(code);
        if (row < 0) continue;
        const int style = cdsSubjectPt->valueAt(row, cdsSubjectPt->fieldIndex(u"ordStyle")).toInt();
        const QString name = GridData->columnCaption(GridData->columnOfField(QStringLiteral("C_") + code));
        if (style == 0) base << name;
        if (style == 0 || style == 1) main << name;
    }
    lbBaseSubjects->setText(base.join(u'+'));
    lbMainSubjects->setText(main.join(u'+'));
}

// ---- loading ---------------------------------------------------------------------------------------------

bool TfrmAchievePage::loadSheet(const QString &classes)
{
    const QString selection = classSelectionText();
    const QString subjects = SubjectCodes.join(u';');
    QList<wire::Argument> args{in(pub::schoolId()), in(GradeCode), in(ExamCode),
                               var(PageName),       var(classes),  selection.isEmpty() ? var(subjects) : in(selection + u';' + subjects),
                               var(qint64(InYear)), var(),         var()};
    const CallResult r = callServer(protocol::QMark, args);
    if (!r.ok()) {
        reportFailure(this, windowTitle(), r, Failure::Read);
        return false;
    }
    cdsData->setIndexFieldNames(QString());
    cdsData->setData(std::get<wire::DataPacket>(args[7].value));
    cdsDataUp->setData(std::get<wire::DataPacket>(args[8].value));
    cdsDataUp->setIndexFieldNames(QStringLiteral("StudentCode"));
    cdsData->setIndexFieldNames(QStringLiteral("ClassName;iClassNO"));
    return true;
}

void TfrmAchievePage::LoadData()
{
    TBasePage::LoadData();
    pub::WaitIndicator wait(this, QStringLiteral("整理数据......"));
    Loading = true;
    const int kept = subjectItems();
    setSubjectItems(kept & ~(ItemClassRank | ItemBranchRank | ItemLevel));
    m_userClasses.clear();
    if (!pub::viewAllClass()) {
        QStringList codes;
        for (qsizetype r = 0; r < cdsClassList->recordCount(); ++r)
            codes << cdsClassList->valueAt(r, cdsClassList->fieldIndex(u"ClassCode")).toString();
        m_userClasses = codes.join(u',');
    }
    loadTable(*cdsStudClasses, protocol::QExamClassStuds, {in(pub::schoolId()), in(GradeCode), in(ExamCode), var(PageName), var(qint64(InYear))});
    if (loadSheet(m_userClasses)) {
        applyWeights();
        if (!cdsExamInfo->isEmpty()) {
            loadTable(*cdsOrders, protocol::QExamOrders, {in(cdsExamInfo->value(u"Id").toString()), in(QString()), in(QString())});
            cdsOrders->setIndexFieldNames(QStringLiteral("StudentCode;SubjectCode"));
        }
    }
    m_standard = false;
    acStandard->setText(QStringLiteral("标分"));
    acStandard->setStatusTip(QStringLiteral("显示标准分"));
    Loading = false;
    setSubjectItems(kept);
    applyRowFilter();
    if (chkLetters->isChecked()) showLetters();
    if (cdsData->isActive()) cdsData->first();
    GridData->refreshCells();
}

// ---- cells ------------------------------------------------------------------------------------------------

void TfrmAchievePage::cellEdited(int row, int column)
{
    Q_UNUSED(row);
    if (Loading || column < 0) return;
    const QString field = GridData->column(column).field;
    if (!field.startsWith(u"C_", Qt::CaseInsensitive) || PageName != kNoPage) return;
    if (checkScore(field)) computeRowTotals();
}

// The short keys of a graded subject: "2" … "5" set the step, "6" … "9" the half step below, and
// the cursor goes on to the next student, so that a graded score is one keystroke. The keys come
// to the grid or to the cell's open editor; while editing the page watches both.
bool TfrmAchievePage::eventFilter(QObject *watched, QEvent *event)
{
    auto *widget = qobject_cast<QWidget *>(watched);
    if (event->type() == QEvent::KeyPress && isEditing() && widget && (widget == GridData || GridData->isAncestorOf(widget))) {
        const int column = GridData->currentColumn(), row = GridData->currentRow();
        const auto *key = static_cast<QKeyEvent *>(event);
        if (column >= 0 && row >= 0 && !GridData->column(column).readOnly && key->modifiers() == Qt::NoModifier) {
            if (const std::optional<double> v = gradedKeyValue(GridData->column(column).field, key->key())) {
                GridData->closeEditor();
                cdsData->edit();
                cdsData->setValue(GridData->column(column).field, *v);
                cdsData->post();
                cellEdited(row, column);
                if (row + 1 < GridData->dataRowCount()) GridData->setCurrentCell(row + 1, column);
                return true;
            }
        }
    }
    return TBasePage::eventFilter(watched, event);
}

CellColors TfrmAchievePage::cellColor(int row, int column) const
{
    if (!chkColor->isChecked() || column < 0) return {};
    const QString field = GridData->column(column).field;
    const bool rankCell = field.startsWith(u"O_", Qt::CaseInsensitive) || field.endsWith(u"Order", Qt::CaseInsensitive);
    if (chkOrder->isChecked()) {
        if (rankCell && !GridData->value(row, column).isNull()) return {Settings.color(AchieveSettings::Order), {}};
        return {};
    }
    QString code;
    if (field.startsWith(u"C_", Qt::CaseInsensitive))
        code = field.mid(2);
    else if (field.compare(u"FullTotal", Qt::CaseInsensitive) == 0)
        code = QStringLiteral("FUL");
    else if (field.compare(u"MainTotal", Qt::CaseInsensitive) == 0)
        code = QStringLiteral("MAI");
    else if (field.compare(u"BaseTotal", Qt::CaseInsensitive) == 0)
        code = QStringLiteral("BAS");
    const int ptRow = code.isEmpty() ? -1 : subjectRow(code);
    const QVariant v = GridData->value(row, column);
    if (ptRow < 0 || v.isNull()) return {};
    const domain::LevelMarks m = levelMarks(ptRow);
    const double score = v.toDouble();
    if (chkExcel->isChecked() && score >= m.excel) return {{}, Settings.color(AchieveSettings::Excel)};
    if (chkNoPass->isChecked() && score >= m.bad && score < m.pass) return {{}, Settings.color(AchieveSettings::NoPass)};
    if (chkBad->isChecked() && score < m.bad) return {{}, Settings.color(AchieveSettings::Bad)};
    return {};
}

domain::LevelMarks TfrmAchievePage::levelMarks(int row) const
{
    const auto mark = [&](const char *name) { return cdsSubjectPt->valueAt(row, cdsSubjectPt->fieldIndex(QString::fromLatin1(name))).toDouble(); };
    return {mark("ExcelMark"), mark("GoodMark"), mark("PassMark"), mark("BadMark")};
}

QString TfrmAchievePage::fieldsCaption(const QString &field) const
{
    const int c = GridData->columnOfField(field);
    return c < 0 ? field : GridData->columnCaption(c);
}

// ---- look, printing ----------------------------------------------------------------------------------------

void TfrmAchievePage::ApplyStyle()
{
    TBasePage::ApplyStyle();
    if (grdProperty) grdProperty->setGridStyle(GridData->gridStyle());
}

// ---- score notices -----------------------------------------------------------------------------------------

// The exam, the sheet and every subject and total of the grid, shown or hidden, to TfrmSMSAchieve;
// it sends for the students ticked on the sheet.
void TfrmAchievePage::acSendMsgExecute()
{
    TfrmSMSAchieve dialog(dialogOwner(this));
    dialog.ExamName = smsExamName(PageCaption);
    dialog.GradeCode = GradeCode;
    dialog.InYear = InYear;
    dialog.cdsData = cdsData;
    dialog.cdsSubjectPt = cdsSubjectPt;
    dialog.addSubjectsOf(*GridData);
    runModal(dialog);
}

// The sheet's shown rows as charts: every subject of the sheet, and the totals where they are seen.
void TfrmAchievePage::acChartExecute()
{
    QList<ChartSubject> subjects;
    const auto add = [&](const QString &code, const QString &caption, bool total) {
        const int row = subjectRow(code);
        ChartSubject s;
        s.code = code;
        s.caption = caption;
        s.scoreField = scoreField(code);
        s.rankField = rankField(code);
        s.fullMark = total ? (row < 0 ? 0 : cdsSubjectPt->valueAt(row, cdsSubjectPt->fieldIndex(u"FullMark")).toDouble()) : subjectFullMark(code);
        if (row >= 0) s.marks = levelMarks(row);
        s.total = total;
        subjects << s;
    };
    for (const QString &code : SubjectCodes)
        add(code, GridData->columnCaption(GridData->columnOfField(QStringLiteral("C_") + code)), false);
    if (m_viewTotal) {
        add(QStringLiteral("FUL"), QStringLiteral("全总分"), true);
        if (cdsExamInfo->value(u"hasMain").toBool()) add(QStringLiteral("MAI"), QStringLiteral("主总分"), true);
        if (cdsExamInfo->value(u"hasBase").toBool()) add(QStringLiteral("BAS"), QStringLiteral("基总分"), true);
    }
    TfrmChart dialog(dialogOwner(this));
    dialog.setSheet(*cdsData, subjects);
    runModal(dialog);
}

// The chosen teaching classes: the sheet shows their classes and hands their subjects to the
// analyses.
void TfrmAchievePage::acDivClassExecute()
{
    TfrmAchieveDivClass dialog(dialogOwner(this));
    dialog.setTeachingClasses(*cdsSubjectClass, *cdsSubjects);
    if (runModal(dialog) != QDialog::Accepted) return;
    QStringList classes, subjects;
    for (const QString &chosen : dialog.Chosen()) {
        classes << chosen.left(3).trimmed();
        subjects << subjectOfTeachingClass(chosen);
    }
    Loading = true;
    if (tvClasses->topLevelItemCount() > 0)
        for (int i = 0; i < tvClasses->topLevelItem(0)->childCount(); ++i) {
            QTreeWidgetItem *c = tvClasses->topLevelItem(0)->child(i);
            c->setCheckState(0, classes.contains(c->data(0, Qt::UserRole).toString()) ? Qt::Checked : Qt::Unchecked);
        }
    for (int i = 0; i < lbSubjects->count(); ++i)
        lbSubjects->item(i)->setCheckState(subjects.contains(lbSubjects->item(i)->data(Qt::UserRole).toString()) ? Qt::Checked : Qt::Unchecked);
    Loading = false;
    classes.removeDuplicates();
    classes.sort();
    Settings.setFilterClass(classes);
    if (!isEditing()) LoadData();
}

} // namespace lumeko::achieve
