#include "scores/ufrmsmsachieve.h"

#include "framework/remotetable.h"
#include "framework/servercall.h"
#include "framework/sharedroutines.h"
#include "host/pub/pub.h"
#include "toolkit/grid/bandedgrid.h"

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

namespace lumeko::achieve {

namespace {

const QString kScoreSample = QStringLiteral("张三考试1成绩 总分:300 语文:80  ....");
const QString kRankSample = QStringLiteral("张三考试1成绩及年级(班级)排名 总分:300 名次:20 语文:80 名次：10 ....");

// A value as the message shows it: a number in its shortest decimal form ("80", "4.5"), nothing
// for no value.
QString valueText(const QVariant &v)
{
    if (wire::isNull(v)) return {};
    switch (v.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return QString::number(v.toDouble());
    default:
        return v.toString();
    }
}

QString fieldText(const DataSet &table, const QString &field)
{
    return table.fieldIndex(field) < 0 ? QString() : valueText(table.value(field));
}

// The grade rank beside a score: O_ of a subject, the rank of a total.
QString rankField(const QString &field)
{
    if (field.startsWith(u"C_")) return QStringLiteral("O_") + field.mid(2);
    QString rank = field;
    return rank.replace(QStringLiteral("TOTAL"), QStringLiteral("ORDER"));
}

// A graded subject's steps as letters: 5 … 2 are A … D, the half steps A+ … D+.
QString letterOf(const QString &score)
{
    static const QStringList steps{"5", "4", "3", "2", "5.5", "4.5", "3.5", "2.5"};
    static const QStringList letters{"A", "B", "C", "D", "A+", "B+", "C+", "D+"};
    const qsizetype i = steps.indexOf(score);
    return i < 0 ? QStringLiteral(" ") : letters[i];
}

// Puts a table back as the dialog found it: no filter, the remembered row current.
class RowFilterScope {
public:
    RowFilterScope(DataSet &table, const QString &filter) : m_table(table), m_kept(table.bookmark())
    {
        m_table.setFilter(filter);
        m_table.setFiltered(true);
    }
    ~RowFilterScope()
    {
        m_table.setFiltered(false);
        m_table.setFilter(QString());
        if (m_kept >= 0) m_table.gotoBookmark(m_kept);
    }
    RowFilterScope(const RowFilterScope &) = delete;
    RowFilterScope &operator=(const RowFilterScope &) = delete;

private:
    DataSet &m_table;
    Bookmark m_kept;
};

} // namespace

QString smsExamName(const QString &pageCaption)
{
    QString name = pageCaption.mid(pageCaption.lastIndexOf(u'.') + 1);
    if (const qsizetype dash = name.indexOf(u'-'); dash >= 0) name.truncate(dash);
    return name;
}

TfrmSMSAchieve::TfrmSMSAchieve(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("发送成绩短信"));
    cdsSendMsg = new DataSet(this);
    cdsSMSOrder = new DataSet(this);

    chkScore = new QCheckBox(QStringLiteral("考试成绩"), this);
    chkScore->setChecked(true);
    chkOrder = new QCheckBox(QStringLiteral("成绩排名"), this);
    clbSubjects = new QListWidget(this);
    memFormat = new QPlainTextEdit(kScoreSample, this);
    memFormat->setReadOnly(true);
    edtPhrase = new QLineEdit(this);
    chkTimed = new QCheckBox(QStringLiteral("定时发送"), this);
    dtpSendTime = new QDateTimeEdit(QDateTime::currentDateTime(), this);
    dtpSendTime->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    dtpSendTime->setCalendarPopup(true);
    dtpSendTime->setEnabled(false);
    tmrNow = new QTimer(this);
    tmrNow->setInterval(1000);
    chkNoEmpty = new QCheckBox(QStringLiteral("不发送无成绩学生"), this);
    chkNoZero = new QCheckBox(QStringLiteral("不发送0分学生"), this);
    btnSend = new QPushButton(pub::styleIcon(QStringLiteral("SendSMS")), QStringLiteral("发送短信"), this);
    btnClose = new QPushButton(pub::styleIcon(QStringLiteral("Quit")), QStringLiteral("退出(&Q)"), this);
    btnSend->setDefault(true);

    const auto label = [this](const char *text) {
        auto *l = new QLabel(QString::fromUtf8(text), this);
        l->setAlignment(Qt::AlignRight | Qt::AlignTop);
        return l;
    };
    auto *content = new QHBoxLayout;
    content->addWidget(chkScore);
    content->addWidget(chkOrder);
    content->addStretch();
    auto *timed = new QHBoxLayout;
    timed->addWidget(chkTimed);
    timed->addWidget(dtpSendTime, 1);
    auto *leaveOut = new QHBoxLayout;
    leaveOut->addWidget(chkNoEmpty);
    leaveOut->addWidget(chkNoZero);
    leaveOut->addStretch();
    auto *grid = new QGridLayout;
    grid->addWidget(label("发布内容："), 0, 0);
    grid->addLayout(content, 0, 1);
    grid->addWidget(label("短信科目："), 1, 0);
    grid->addWidget(clbSubjects, 1, 1);
    grid->addWidget(label("短信格式："), 2, 0);
    grid->addWidget(memFormat, 2, 1);
    grid->addWidget(label("追加短语："), 3, 0);
    grid->addWidget(edtPhrase, 3, 1);
    grid->addLayout(timed, 4, 1);
    grid->addLayout(leaveOut, 5, 1);
    grid->setRowStretch(1, 3);
    grid->setRowStretch(2, 1);
    grid->setColumnStretch(1, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnSend);
    buttons->addWidget(btnClose);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid, 1);
    layout->addLayout(buttons);

    connect(chkScore, &QCheckBox::toggled, this, &TfrmSMSAchieve::showFormat);
    connect(chkOrder, &QCheckBox::toggled, this, &TfrmSMSAchieve::showFormat);
    connect(chkTimed, &QCheckBox::toggled, dtpSendTime, &QWidget::setEnabled);
    // Once the teacher has turned 定时发送 off again, the time follows the clock until it is on.
    connect(chkTimed, &QCheckBox::clicked, this, [this](bool on) {
        if (on)
            tmrNow->stop();
        else
            tmrNow->start();
    });
    connect(tmrNow, &QTimer::timeout, this, [this] { dtpSendTime->setDateTime(QDateTime::currentDateTime()); });
    connect(btnSend, &QPushButton::clicked, this, &TfrmSMSAchieve::btnSendClick);
    connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);
    applyHostLook(this, false);
    // The subjects side by side in rows, as many as the list is wide, each as wide as a long name.
    clbSubjects->setFlow(QListView::LeftToRight);
    clbSubjects->setWrapping(true);
    clbSubjects->setResizeMode(QListView::Adjust);
    clbSubjects->setGridSize(QSize(clbSubjects->fontMetrics().horizontalAdvance(QStringLiteral("信息技术")) + 36, clbSubjects->fontMetrics().height() + 8));
    resize(520, 420);
}

void TfrmSMSAchieve::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) setWindowTitle(QStringLiteral("发送 ") + ExamName + QStringLiteral(" 成绩短信"));
}

void TfrmSMSAchieve::addSubject(const QString &field, const QString &caption)
{
    auto *item = new QListWidgetItem(caption, clbSubjects);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Checked);
    SubjectFields << field.toUpper();
}

void TfrmSMSAchieve::addSubjectsOf(const BandedGrid &grid)
{
    for (int c = 0; c < grid.columnCount(); ++c) {
        const QString field = grid.column(c).field.toUpper();
        if (field.startsWith(u"C_") || field == u"MAINTOTAL" || field == u"BASETOTAL" || field == u"FULLTOTAL") addSubject(field, grid.columnCaption(c));
    }
}

// The sample follows the content boxes; the ranks' sample wins when both are ticked.
void TfrmSMSAchieve::showFormat()
{
    if (chkOrder->isChecked())
        memFormat->setPlainText(kRankSample);
    else if (chkScore->isChecked())
        memFormat->setPlainText(kScoreSample);
}

void TfrmSMSAchieve::btnSendClick()
{
    bool anySubject = false;
    for (int i = 0; i < clbSubjects->count(); ++i)
        anySubject = anySubject || clbSubjects->item(i)->checkState() == Qt::Checked;
    if (!anySubject) return pub::msgHint(QStringLiteral("必须至少选择一项短信科目！"), this);
    if (!chkScore->isChecked() && !chkOrder->isChecked()) return pub::msgHint(QStringLiteral("发送的内容不能为空！"), this);
    CallResult r;
    {
        pub::WaitIndicator wait(this, QStringLiteral("正在准备发送数据......"));
        const QString school = pub::schoolId();
        r = loadTable(*cdsSendMsg, protocol::QSendMsgForUp, {in(school), var()});
        if (r.ok()) r = loadTable(*cdsSMSOrder, protocol::QSMSOrderForUp, {in(school), in(GradeCode), var(ClassList), var(qint64(InYear)), var()});
    }
    if (!r.ok()) {
        if (!r.message.isEmpty()) pub::writeLog(windowTitle() + QStringLiteral(": ") + r.message);
        return pub::msgError(QStringLiteral("服务器连接失败，可能网络不稳定，请稍后再试！"), this);
    }
    composeAndSend();
    accept();
}

bool TfrmSMSAchieve::isGraded(const QString &field) const
{
    if (!cdsSubjectPt || !cdsSubjectPt->isActive()) return false;
    const QString code = field.mid(2, 3);
    const int codeField = cdsSubjectPt->fieldIndex(u"SubjectCode"), fullField = cdsSubjectPt->fieldIndex(u"FullMark");
    if (codeField < 0 || fullField < 0) return false;
    for (qsizetype r = 0; r < cdsSubjectPt->recordCount(); ++r)
        if (cdsSubjectPt->valueAt(r, codeField).toString() == code) {
            const double full = cdsSubjectPt->valueAt(r, fullField).toDouble();
            return full == 5 || full == 8;
        }
    return false;
}

// "张三期中成绩及年级排名：语文:80 名次:10全总:300 名次:20": the name and the exam, then each
// checked subject with its score (a graded one's letter), its grade rank or both.
QString TfrmSMSAchieve::messageText(DataSet &scores) const
{
    const bool withScores = chkScore->isChecked(), withRanks = chkOrder->isChecked();
    QString text = scores.value(u"sName").toString() + ExamName;
    text += withScores ? (withRanks ? QStringLiteral("成绩及年级排名：") : QStringLiteral("成绩")) : QStringLiteral("年级排名：");
    for (int i = 0; i < clbSubjects->count(); ++i) {
        if (clbSubjects->item(i)->checkState() != Qt::Checked) continue;
        const QString field = SubjectFields.value(i), caption = clbSubjects->item(i)->text();
        if (!withScores) {
            text += caption + u':' + fieldText(scores, rankField(field));
            continue;
        }
        const QString score = fieldText(scores, field);
        if ((chkNoEmpty->isChecked() && score.isEmpty()) || (chkNoZero->isChecked() && score == u"0")) continue;
        text += caption + u':' + (isGraded(field) ? letterOf(score) : score);
        if (withRanks) text += QStringLiteral(" 名次:") + fieldText(scores, rankField(field));
    }
    return text;
}

int TfrmSMSAchieve::composeAndSend()
{
    if (!cdsData || !cdsData->isActive()) return 0;
    int count = 0;
    CallResult sent;
    QString composing; // why the messages could not be put together
    {
        pub::WaitIndicator wait(this, QStringLiteral("正在发送短信数据......"));
        try {
            FrozenControls frozen(*cdsData);
            RowFilterScope ticked(*cdsData, QStringLiteral("Selected=True"));
            const int code = cdsSMSOrder->fieldIndex(u"code"), state = cdsSMSOrder->fieldIndex(u"smsState");
            const QString phrase = edtPhrase->text().trimmed();
            for (cdsData->first(); !cdsData->eof(); cdsData->next()) {
                const QString student = cdsData->value(u"sCode").toString();
                qsizetype order = -1;
                for (qsizetype r = 0; r < cdsSMSOrder->recordCount() && order < 0; ++r)
                    if (cdsSMSOrder->valueAt(r, code).toString() == student) order = r;
                if (order < 0 || cdsSMSOrder->valueAt(order, state).toInt() <= 0) continue;
                const QString text = messageText(*cdsData) + phrase;
                ++count;
                for (const char *number : {"mobile", "mobile2"}) {
                    const QString mobile = cdsSMSOrder->valueAt(order, cdsSMSOrder->fieldIndex(QString::fromLatin1(number))).toString();
                    if (mobile.isEmpty()) continue;
                    AppendMessageRow(*cdsSendMsg, QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                                     cdsData->value(u"sName").toString(), ClassList, GradeCode, !chkTimed->isChecked(), dtpSendTime->dateTime(), mobile, text);
                }
            }
        } catch (const std::runtime_error &e) { // a value the outbox does not hold
            // Every message or none: what was put together so far goes too.
            if (cdsSendMsg->state() != DataSetState::Browse) cdsSendMsg->cancel();
            cdsSendMsg->cancelUpdates();
            composing = QString::fromUtf8(e.what());
        }
        if (composing.isEmpty()) {
            if (count == 0 || cdsSendMsg->changeCount() == 0) return count; // nobody to send to: nothing to say
            sent = saveTable(*cdsSendMsg, protocol::UpSendMsg);
        }
    }
    if (composing.isEmpty() && sent.ok()) {
        pub::msgHint(QStringLiteral("成功发送短信到 %1 个定制用户！").arg(count), this);
        return count;
    }
    const QString why = composing.isEmpty() ? sent.message : composing;
    if (!why.isEmpty()) pub::writeLog(windowTitle() + QStringLiteral(": ") + why);
    pub::msgError(QStringLiteral("生成短信数据异常，可能网络忙，请稍后再试！"), this);
    return count;
}

} // namespace lumeko::achieve
