#include "analysis/ufrmexamquestions.h"

#include "analysis/analysiscall.h"
#include "analysis/ufrmreportpage.h"
#include "framework/import/upubimportset.h"
#include "framework/modalrun.h"
#include "framework/remotetable.h"
#include "framework/servercall.h"
#include "framework/sharedroutines.h"
#include "host/pub/pub.h"
#include "toolkit/grid/bandedgrid.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <QTabWidget>
#include <QVBoxLayout>

namespace lumeko::achieve {

namespace {

const QString kCaption = QStringLiteral("小题分析");

GridColumn column(const char *field, const char *caption, int width, EditorKind editor, bool readOnly = false)
{
    GridColumn c = GridColumn::of(field, caption, width, readOnly);
    c.editor = editor;
    return c;
}

BandedGrid *plainGrid(QWidget *parent)
{
    auto *g = new BandedGrid(parent);
    g->setGroupByBoxVisible(false);
    g->setBandCaptionsVisible(false);
    return g;
}

// At most `n` lines of a list, and how many there are in all.
QString firstLines(const QStringList &lines, int n = 15)
{
    QString text = lines.mid(0, n).join(u'\n');
    if (lines.size() > n) text += QStringLiteral("\n……共%1处").arg(lines.size());
    return text;
}

} // namespace

TfrmExamQuestions::TfrmExamQuestions(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(kCaption);
    cdsQuestions = new DataSet(this);
    cdsSheet = new DataSet(this);
    cbSubject = new QComboBox(this);
    tabParts = new QTabWidget(this);

    auto *questions = new QWidget(tabParts);
    grdQuestions = plainGrid(questions);
    grdQuestions->setDataSet(cdsQuestions);
    btnAddQuestion = new QPushButton(QStringLiteral("增加"), questions);
    btnDeleteQuestion = new QPushButton(QStringLiteral("删除"), questions);
    btnSaveQuestions = new QPushButton(QStringLiteral("保存题目"), questions);
    auto *ql = new QVBoxLayout(questions);
    ql->addWidget(grdQuestions, 1);
    auto *qb = new QHBoxLayout;
    qb->addWidget(btnAddQuestion);
    qb->addWidget(btnDeleteQuestion);
    qb->addStretch(1);
    qb->addWidget(btnSaveQuestions);
    ql->addLayout(qb);
    tabParts->addTab(questions, QStringLiteral("题目设置"));

    auto *sheet = new QWidget(tabParts);
    grdSheet = plainGrid(sheet);
    grdSheet->setDataSet(cdsSheet);
    btnImport = new QPushButton(QStringLiteral("导入小题分"), sheet);
    btnSaveScores = new QPushButton(QStringLiteral("保存得分"), sheet);
    auto *sl = new QVBoxLayout(sheet);
    sl->addWidget(grdSheet, 1);
    auto *sb = new QHBoxLayout;
    sb->addWidget(new QLabel(QStringLiteral("每名学生的小题分之和须等于其科目成绩。"), sheet));
    sb->addStretch(1);
    sb->addWidget(btnImport);
    sb->addWidget(btnSaveScores);
    sl->addLayout(sb);
    tabParts->addTab(sheet, QStringLiteral("小题得分"));

    btnItems = new QPushButton(QStringLiteral("小题分析"), this);
    btnSegments = new QPushButton(QStringLiteral("一分一段"), this);
    btnClose = new QPushButton(QStringLiteral("关闭"), this);
    auto *top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("科目："), this));
    top->addWidget(cbSubject);
    top->addStretch(1);
    auto *bottom = new QHBoxLayout;
    bottom->addStretch(1);
    for (QPushButton *b : {btnItems, btnSegments, btnClose})
        bottom->addWidget(b);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(tabParts, 1);
    layout->addLayout(bottom);
    resize(900, 600);

    connect(cbSubject, &QComboBox::activated, this, [this] { loadSubject(); });
    connect(btnAddQuestion, &QPushButton::clicked, this, &TfrmExamQuestions::addQuestion);
    connect(btnDeleteQuestion, &QPushButton::clicked, this, &TfrmExamQuestions::deleteQuestion);
    connect(btnSaveQuestions, &QPushButton::clicked, this, &TfrmExamQuestions::saveQuestions);
    connect(btnImport, &QPushButton::clicked, this, &TfrmExamQuestions::importScores);
    connect(btnSaveScores, &QPushButton::clicked, this, &TfrmExamQuestions::saveScores);
    const auto analyse = [this](int kind) {
        if (unsavedChanges()) return;
        Chosen = kind;
        accept();
    };
    connect(btnItems, &QPushButton::clicked, this, [analyse] { analyse(0); });
    connect(btnSegments, &QPushButton::clicked, this, [analyse] { analyse(1); });
    connect(btnClose, &QPushButton::clicked, this, [this] {
        if (!unsavedChanges()) reject();
    });
}

QString TfrmExamQuestions::subjectCode() const
{
    return cbSubject->currentData().toString();
}

double TfrmExamQuestions::subjectFullMark() const
{
    return m_fullMarks.value(subjectCode());
}

bool TfrmExamQuestions::InitForm()
{
    Exam = readAnalysisParams(Params);
    const QString school = pub::schoolId();
    DataSet names, subjects;
    CallResult r = loadTable(names, protocol::QSubjects, {in(school), in(Exam.gradeCode), var(qint64(Exam.inYear)), var()});
    if (r.ok())
        r = loadTable(subjects, protocol::QExamSubjectAllPt,
                      {in(school), in(Exam.gradeCode), in(Exam.examCode), var(Exam.pageName), var(qint64(Exam.inYear)), var()});
    if (!r.ok()) {
        reportFailure(this, kCaption, r, Failure::Read);
        return false;
    }
    for (const QString &code : Exam.subjectCodes) {
        if (isTotalSubject(code) || !subjects.locate(QStringLiteral("SubjectCode"), {code})) continue;
        m_fullMarks.insert(code, subjects.value(u"FullMark").toDouble());
        const QString name = names.isActive() && names.locate(QStringLiteral("SubjectCode"), {code}) ? names.value(u"SubjectName").toString() : code;
        cbSubject->addItem(name, code);
    }
    if (cbSubject->count() == 0) {
        pub::msgHint(QStringLiteral("本次考试没有可以分析的科目！"), this);
        return false;
    }
    setWindowTitle(kCaption + u' ' + Exam.caption);
    return loadSubject();
}

bool TfrmExamQuestions::loadSubject()
{
    const QString school = pub::schoolId();
    const QList<wire::Argument> exam{in(school), in(Exam.gradeCode), in(Exam.examCode), var(Exam.pageName), var(qint64(Exam.inYear)), in(subjectCode())};
    CallResult r;
    {
        pub::WaitIndicator wait(this, QStringLiteral("正在读取数据......"));
        r = loadTable(*cdsQuestions, protocol::QExamQuestions, QList<wire::Argument>(exam) << var());
        if (r.ok()) r = loadTable(*cdsSheet, protocol::QQuestionSheet, QList<wire::Argument>(exam) << var());
    }
    if (!r.ok()) {
        reportFailure(this, kCaption, r, Failure::Read);
        return false;
    }
    m_scored.clear();
    for (cdsQuestions->first(); !cdsQuestions->eof(); cdsQuestions->next())
        m_scored.insert(cdsQuestions->value(u"QuestionNo").toString(), cdsQuestions->value(u"nScored").toLongLong());
    cdsQuestions->first();
    grdQuestions->setColumns({column("QuestionNo", "题号", 70, EditorKind::Text), column("FullMark", "满分", 70, EditorKind::Float),
                              column("bObjective", "客观题", 60, EditorKind::Boolean), column("sKnowledge", "知识点", 220, EditorKind::Text),
                              column("nScored", "已有得分人数", 100, EditorKind::Integer, true)});
    buildSheetColumns();
    return true;
}

void TfrmExamQuestions::buildSheetColumns()
{
    QList<GridColumn> cols{column("sNO", "学号", 100, EditorKind::Text, true), column("sName", "姓名", 80, EditorKind::Text, true),
                           column("ClassName", "班级", 90, EditorKind::Text, true), column("Score", "科目成绩", 80, EditorKind::Float, true)};
    for (const QuestionDef &q : questionDefs(*cdsQuestions)) {
        GridColumn c = GridColumn::of("", "", 64);
        c.field = questionField(q.number);
        c.caption = QStringLiteral("第%1题").arg(q.number);
        c.editor = EditorKind::Float;
        cols << c;
    }
    grdSheet->setColumns(cols);
}

// Unsaved question or score changes stop the analysis until they are saved or dropped.
bool TfrmExamQuestions::unsavedChanges()
{
    grdQuestions->postEdit();
    grdSheet->postEdit();
    if (cdsQuestions->changeCount() == 0 && cdsSheet->changeCount() == 0) return false;
    if (pub::msgConfirm(QStringLiteral("题目或小题得分已修改但未保存，放弃这些修改吗？"), this) != 1) return true;
    cdsQuestions->cancelUpdates();
    cdsSheet->cancelUpdates();
    return false;
}

void TfrmExamQuestions::addQuestion()
{
    tabParts->setCurrentIndex(0);
    grdQuestions->postEdit();
    // The next number after the highest numeric one, with the last question's full mark.
    int next = 1;
    double full = 0;
    for (const QuestionDef &q : questionDefs(*cdsQuestions)) {
        bool ok = false;
        const int n = q.number.toInt(&ok);
        if (ok) next = std::max(next, n + 1);
        full = q.fullMark;
    }
    cdsQuestions->append();
    cdsQuestions->setValue(u"QuestionNo", QString::number(next));
    if (full > 0) cdsQuestions->setValue(u"FullMark", full);
    cdsQuestions->setValue(u"bObjective", false);
    cdsQuestions->post();
}

void TfrmExamQuestions::deleteQuestion()
{
    grdQuestions->postEdit();
    if (!cdsQuestions->isActive() || cdsQuestions->isEmpty()) return;
    const QString number = cdsQuestions->value(u"QuestionNo").toString();
    if (m_scored.value(number) > 0) {
        pub::msgHint(QStringLiteral("第%1题已有小题得分，不能删除！").arg(number), this);
        return;
    }
    cdsQuestions->deleteRecord();
}

bool TfrmExamQuestions::saveQuestions()
{
    grdQuestions->postEdit();
    QStringList problems = questionListProblems(*cdsQuestions, subjectFullMark());
    QSet<QString> kept;
    for (const QuestionDef &q : questionDefs(*cdsQuestions))
        kept.insert(q.number);
    for (auto it = m_scored.cbegin(); it != m_scored.cend(); ++it)
        if (it.value() > 0 && !kept.contains(it.key())) problems << QStringLiteral("第%1题已有小题得分，不能删除或改号！").arg(it.key());
    if (!problems.isEmpty()) {
        pub::msgError(firstLines(problems), this);
        return false;
    }
    wire::DataPacket list({{"QuestionNo", wire::FieldType::Text, 10, 0},
                           {"FullMark", wire::FieldType::Float, 0, 0},
                           {"bObjective", wire::FieldType::Boolean, 0, 0},
                           {"sKnowledge", wire::FieldType::Text, 100, 0}});
    for (cdsQuestions->first(); !cdsQuestions->eof(); cdsQuestions->next())
        list.appendRow({cdsQuestions->value(u"QuestionNo").toString().trimmed(), cdsQuestions->value(u"FullMark"), cdsQuestions->value(u"bObjective").toBool(),
                        cdsQuestions->value(u"sKnowledge")});
    QList<wire::Argument> args{in(pub::schoolId()),      in(Exam.gradeCode), in(Exam.examCode), var(Exam.pageName),
                               var(qint64(Exam.inYear)), in(subjectCode()),  in(list)};
    CallResult r;
    {
        pub::WaitIndicator wait(this, QStringLiteral("正在保存数据，请稍后......"));
        r = callServer(protocol::UpExamQuestions, args);
    }
    if (!r.ok()) {
        reportFailure(this, kCaption, r, Failure::Save);
        return false;
    }
    WriteOperationLog(QStringLiteral("小题设置 %1 %2").arg(Exam.caption, cbSubject->currentText()));
    loadSubject();
    pub::msgHint(QStringLiteral("题目设置已保存！"), this);
    return true;
}

void TfrmExamQuestions::importScores()
{
    const QList<QuestionDef> questions = questionDefs(*cdsQuestions);
    if (questions.isEmpty() || cdsQuestions->changeCount() > 0) {
        pub::msgHint(QStringLiteral("请先设置并保存本科目的题目！"), this);
        return;
    }
    tabParts->setCurrentIndex(1);
    DataSet fields;
    TPubImportSet wizard(this);
    wizard.Caption = cbSubject->currentText() + QStringLiteral(" 小题分导入向导");
    wizard.target = questionImportTarget(fields, *cdsSheet, questions);
    wizard.prepare();
    // Question scores go to the exam's candidates only.
    wizard.cbAddData->setChecked(false);
    wizard.cbAddData->setEnabled(false);
    wizard.cbOverride->setChecked(true);
    runModal(wizard);
}

bool TfrmExamQuestions::saveScores()
{
    grdSheet->postEdit();
    if (cdsSheet->changeCount() == 0) return true;
    const QList<QuestionDef> questions = questionDefs(*cdsQuestions);
    if (const QStringList problems = questionSheetProblems(*cdsSheet, questions); !problems.isEmpty()) {
        pub::msgError(QStringLiteral("以下小题得分有误，未保存：\n") + firstLines(problems), this);
        return false;
    }
    QList<wire::Argument> args{in(pub::schoolId()),
                               in(Exam.gradeCode),
                               in(Exam.examCode),
                               var(Exam.pageName),
                               var(qint64(Exam.inYear)),
                               in(subjectCode()),
                               in(changedQuestionRows(*cdsSheet, questions))};
    CallResult r;
    {
        pub::WaitIndicator wait(this, QStringLiteral("正在保存数据，请稍后......"));
        r = callServer(protocol::UpQuestionMarks, args);
    }
    if (!r.ok()) {
        reportFailure(this, kCaption, r, Failure::Save);
        return false;
    }
    cdsSheet->mergeChangeLog();
    WriteOperationLog(QStringLiteral("小题得分 %1 %2").arg(Exam.caption, cbSubject->currentText()));
    loadSubject();
    pub::msgHint(QStringLiteral("小题得分已保存！"), this);
    return true;
}

qint32 runQuestionAnalysis(QWidget *owner, QWidget *parent, const QStringList &params)
{
    if (const QString problem = analysisParamsProblem(params); !problem.isEmpty()) {
        pub::msgHint(problem, owner);
        return 0;
    }
    TfrmExamQuestions dialog(owner);
    dialog.Params = params;
    if (!dialog.InitForm()) return -1;
    if (runModal(dialog) != QDialog::Accepted || dialog.Chosen < 0) return 0;

    const AnalysisParams &e = dialog.Exam;
    QList<wire::Argument> args{in(pub::schoolId()),       in(e.gradeCode), in(e.examCode), var(e.pageName), var(qint64(e.inYear)), in(dialog.subjectCode()),
                               in(qint64(dialog.Chosen)), var(),           var()};
    CallResult r;
    {
        pub::WaitIndicator wait(owner, QStringLiteral("正在分析数据，请稍后......"));
        r = callServer(protocol::QItemAnalysis, args);
    }
    if (!r.ok()) {
        reportAnalysisFailure(owner, QStringLiteral("发生错误："), r);
        return -1;
    }
    const auto *fields = std::get_if<wire::DataPacket>(&args[7].value);
    const auto *rows = std::get_if<wire::DataPacket>(&args[8].value);
    if (!fields || !rows || rows->rowCount() == 0) {
        pub::msgHint(QStringLiteral("统计结果没有数据！"), owner);
        return 0;
    }
    const QString subject = dialog.cbSubject->currentText();
    ChartPreset preset;
    preset.kind = chart::ChartKind::Column;
    QString title;
    int fixed = 1;
    if (dialog.Chosen == 0) {
        title = QStringLiteral("小题分析 %1 %2").arg(e.caption, subject);
        preset.fields = {QStringLiteral("nP"), QStringLiteral("nD")};
        preset.title = subject + QStringLiteral(" 各题难度与区分度");
    } else {
        title = QStringLiteral("一分一段表 %1 %2").arg(e.caption, subject);
        preset.fields = {QStringLiteral("nCount")};
        preset.title = subject + QStringLiteral(" 一分一段人数");
    }
    WriteOperationLog(QStringLiteral("执行 ") + title);
    return openReportPage(parent, title, *fields, *rows, fixed, preset);
}

} // namespace lumeko::achieve
