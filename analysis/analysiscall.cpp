#include "analysis/analysiscall.h"

#include "framework/servercall.h"
#include "host/pub/pub.h"
#include "toolkit/data/dataset.h"

#include <QListWidget>

#include <algorithm>

namespace lumeko::achieve {

void addCheckItems(QListWidget *list, const QStringList &captions, const QList<bool> &ticked, const QStringList &keys)
{
    for (qsizetype i = 0; i < captions.size(); ++i) {
        auto *item = new QListWidgetItem(captions[i], list);
        item->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled);
        item->setCheckState(ticked.value(i) ? Qt::Checked : Qt::Unchecked);
        item->setData(Qt::UserRole, keys.isEmpty() ? captions[i] : keys.value(i));
    }
    // Wide enough for its longest caption beside its check box, and a scroll bar.
    int widest = 0;
    for (int i = 0; i < list->count(); ++i)
        widest = std::max(widest, list->fontMetrics().horizontalAdvance(list->item(i)->text()));
    list->setMinimumWidth(std::max(list->minimumWidth(), widest + 56));
}

QList<bool> checkStates(const QListWidget *list)
{
    QList<bool> out;
    for (int i = 0; i < list->count(); ++i)
        out << (list->item(i)->checkState() == Qt::Checked);
    return out;
}

void setCheckStates(QListWidget *list, const QList<bool> &ticked)
{
    for (int i = 0; i < list->count(); ++i)
        list->item(i)->setCheckState(ticked.value(i) ? Qt::Checked : Qt::Unchecked);
}

QList<bool> enabledStates(const QListWidget *list)
{
    QList<bool> out;
    for (int i = 0; i < list->count(); ++i)
        out << bool(list->item(i)->flags() & Qt::ItemIsEnabled);
    return out;
}

QStringList checkedKeys(const QListWidget *list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->checkState() == Qt::Checked) out << list->item(i)->data(Qt::UserRole).toString();
    return out;
}

QStringList checkedCaptions(const QListWidget *list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->checkState() == Qt::Checked) out << list->item(i)->text();
    return out;
}

bool fillStudentRange(QListWidget *range, bool pickedAllowed, QWidget *owner, const QString &caption)
{
    range->clear();
    DataSet types;
    const CallResult r = loadTable(types, protocol::QRegByType, {in(QStringLiteral("STUDTYPE")), var()});
    if (!r.ok()) {
        reportFailure(owner, caption, r, Failure::Read);
        return false;
    }
    QStringList captions;
    for (types.first(); !types.eof(); types.next()) {
        const QString value = types.value(u"sValue").toString().trimmed();
        if (!value.isEmpty() && !captions.contains(value)) captions << value;
    }
    addCheckItems(range, captions, QList<bool>(captions.size(), true));
    addCheckItems(range, {kPickedStudents}, {false});
    QListWidgetItem *picked = range->item(range->count() - 1);
    if (!pickedAllowed) picked->setFlags(picked->flags() & ~Qt::ItemIsEnabled);
    return true;
}

ExamSumReply askExamSum(const ExamSumRequest &q)
{
    ExamSumReply reply;
    QList<wire::Argument> args{in(pub::schoolId()),
                               in(q.gradeCode),
                               in(q.examCode),
                               var(q.pageName),
                               in(q.entryFlag),
                               var(qint64(q.inYear)),
                               q.kindByReference ? var(qint64(q.kind)) : in(qint64(q.kind)),
                               var(q.settings),
                               var(q.filter.isEmpty() ? wire::Value(wire::Null{}) : wire::Value(q.filter)),
                               var()};
    reply.call = callServer(protocol::QExamSum, args);
    if (!reply.call.ok()) return reply;
    const auto *fields = std::get_if<wire::DataPacket>(&args[8].value);
    const auto *rows = std::get_if<wire::DataPacket>(&args[9].value);
    if (!fields || !rows) {
        reply.call.outcome = CallResult::Failed;
        reply.call.message = QStringLiteral("QExamSum answered no column definitions or rows");
        return reply;
    }
    reply.fields = *fields;
    reply.rows = *rows;
    return reply;
}

void reportAnalysisFailure(QWidget *owner, const QString &logText, const CallResult &result)
{
    pub::writeLog(logText + result.message);
    // The server names what it refused in the administrator's words; the teacher hears what to do.
    if (result.message.contains(QStringLiteral("no candidate of the exam")))
        pub::msgHint(QStringLiteral("统计范围内没有考生，请重新选择统计范围或学生名单！"), owner);
    else
        pub::msgError(failureText(Failure::Read, result), owner);
}

} // namespace lumeko::achieve
