#include "framework/sharedroutines.h"

#include "framework/remotetable.h"
#include "framework/servercall.h"
#include "host/pub/pub.h"
#include "toolkit/data/dataset.h"
#include "toolkit/report/ui/reportdialogs.h"

#include <QWidget>

namespace lumeko::achieve {

QStringList logPieces(const QString &text)
{
    QStringList pieces;
    QString rest = text;
    int n = 0;
    while (rest.size() >= 99) {
        // A piece ends before a wide character at position 94 so that it never splits one from
        // the characters that follow it in the reader's eye.
        const int length = rest.at(93).unicode() >= 161 ? 93 : 94;
        pieces << QStringLiteral("(%1)").arg(++n) + rest.left(length);
        rest.remove(0, length);
    }
    if (!rest.isEmpty()) pieces << (n > 0 && rest.size() < 95 ? QStringLiteral("(%1)").arg(n + 1) + rest : rest);
    return pieces;
}

namespace {

QString valueText(const QVariant &v)
{
    QVariant text;
    wire::coerceValue(v, wire::FieldType::Text, &text);
    return text.toString();
}

} // namespace

QString DescribeChanges(const DataSet &table)
{
    // The change packet holds every pending row in table order, deleted ones included, with the
    // values the row was loaded with and its values now.
    const wire::ChangePacket delta = table.delta();
    QString out;
    for (const wire::RowChange &row : delta.rows) {
        switch (row.status) {
        case wire::RowStatus::Inserted: out += QStringLiteral("增加行:"); break;
        case wire::RowStatus::Modified: out += QStringLiteral("编辑行:"); break;
        default: out += QStringLiteral("删除行:"); break;
        }
        for (int f = 0; f < delta.fields.size(); ++f) {
            const int index = table.fieldIndex(delta.fields[f].name);
            if (index < 0 || table.fieldInfo(index).tag != 2) continue;
            const FieldInfo &info = table.fieldInfo(index);
            const QString label = info.displayLabel.isEmpty() ? info.def.name : info.displayLabel;
            // A value that is null counts as unassigned; an unchanged field of an edited row has
            // only its old value, which names the row.
            const QVariant oldValue = row.status == wire::RowStatus::Inserted ? QVariant() : row.oldValues.value(f);
            QVariant newValue = row.status == wire::RowStatus::Deleted ? QVariant() : row.newValues.value(f);
            if (row.status == wire::RowStatus::Modified && wire::sameValue(oldValue, newValue)) newValue = QVariant();
            const bool hasOld = !wire::isNull(oldValue), hasNew = !wire::isNull(newValue);
            if (!hasOld && hasNew) out += label + u'=' + valueText(newValue) + u';';
            else if (hasOld && !hasNew) out += label + u'=' + valueText(oldValue) + u';';
            else if (hasOld && hasNew) out += label + u'(' + valueText(oldValue) + QStringLiteral("->") + valueText(newValue) + QStringLiteral(");");
        }
    }
    if (out.isEmpty()) out = QStringLiteral("编辑 %1 条数据").arg(table.recordCount());
    return out;
}

QString SchoolYearText(int year)
{
    return QStringLiteral("%1~%2学年").arg(year).arg(year + 1);
}

void SetSortIndex(DataSet &table, const QString &fields, bool descending)
{
    table.setIndexName(QString());
    const QStringList wanted = fields.split(u';', Qt::SkipEmptyParts);
    const QList<IndexDef> indexes = table.indexDefs();
    for (const IndexDef &ix : indexes) {
        if (ix.fields.join(u';').compare(wanted.join(u';'), Qt::CaseInsensitive) == 0) {
            table.setIndexName(ix.name);
            return;
        }
    }
    IndexDef ix;
    ix.name = (descending ? QStringLiteral("desc") : QStringLiteral("asc")) + QString::number(indexes.size());
    ix.fields = wanted;
    if (descending) ix.descFields = wanted;
    table.addIndex(ix);
    table.setIndexName(ix.name);
}

QString DigitsOnly(const QString &text)
{
    QString out;
    for (QChar c : text)
        if ((c >= u'0' && c <= u'9') || c == u'.') out += c;
    return out;
}

void WriteOperationLog(const QString &text)
{
    // The computer's name is read once, when the module first logs.
    static const QString computer = pub::localComputer();
    try {
        pub::ServerObject sysUp = pub::ServerObject::sysUp();
        for (const QString &piece : logPieces(text)) {
            const wire::Reply reply = sysUp.call(protocol::AddLogs, {in(pub::schoolId()), in(pub::userId()), in(pub::userName()), in(computer), in(piece)});
            if (!reply.ok()) throw std::runtime_error(reply.message.toStdString());
        }
    } catch (const std::exception &e) {
        pub::writeLog(QStringLiteral("更新日志失败，错误:") + QString::fromUtf8(e.what()));
    }
}

namespace {

// A flag of the school's record; false when it is empty or missing, or the record cannot be read
// (which goes to the host's log).
bool schoolFlag(const char *field)
{
    DataSet record;
    if (const CallResult r = loadTable(record, protocol::QSchoolInfo, {in(pub::schoolId()), var()}); !r.ok()) {
        pub::writeLog(QStringLiteral("读取学校信息失败，错误:") + r.message);
        return false;
    }
    const wire::DataPacket school = record.data();
    const int f = school.fieldIndex(QString::fromLatin1(field));
    if (school.rowCount() == 0 || f < 0 || wire::isNull(school.value(0, f))) return false;
    QVariant v;
    return wire::coerceValue(school.value(0, f), wire::FieldType::Boolean, &v) && v.toBool();
}

} // namespace

bool SchoolHasSub() { return schoolFlag("bHasSub"); }
bool SchoolHasSubTree() { return schoolFlag("bSubTree"); }
bool SchoolAutoPublish() { return schoolFlag("bAutoPublishWX"); }

void routeReportQuestionsToHost()
{
    report::ReportDialogs &d = report::reportDialogs();
    d.ask = [](QWidget *parent, const QString &text, QMessageBox::StandardButtons buttons) {
        const bool cancel = buttons.testFlag(QMessageBox::Cancel);
        switch (pub::msgBox(text, 2, cancel ? 2 : 1, parent)) {
        case 1: return QMessageBox::Yes;
        case 2: return QMessageBox::No;
        default: return cancel ? QMessageBox::Cancel : QMessageBox::No;
        }
    };
    d.error = [](QWidget *parent, const QString &text) { pub::msgError(text, parent); };
}

void AppendMessageRow(DataSet &outbox, const QString &messageId, const QString &providerId, const QString &classId,
                      const QString &sectionId, bool sendNow, const QDateTime &sendTime, const QString &mobile, const QString &text)
{
    outbox.append();
    outbox.setValue(u"SMSID", messageId);
    outbox.setValue(u"SPID", providerId);
    outbox.setValue(u"dest_mobile", mobile);
    outbox.setValue(u"source_mobile", mobile);
    outbox.setValue(u"Msg", text);
    outbox.setValue(u"FeeType", 1);
    outbox.setValue(u"FeeValue", 0);
    outbox.setValue(u"Sectid", sectionId);
    outbox.setValue(u"smFlag", sendNow ? 0 : 7);
    if (!sendNow) outbox.setValue(u"sDate", sendTime);
    outbox.setValue(u"GDDBID", pub::schoolId());
    outbox.setValue(u"Classid", classId);
    outbox.setValue(u"TeacherId", pub::userCode());
    outbox.post();
}

void applyHostLook(QWidget *widget, bool background)
{
    QFont f = widget->font();
    f.setPointSize(pub::appFontSize());
    widget->setFont(f);
    if (!background) return;
    QPalette p = widget->palette();
    p.setColor(QPalette::Window, pub::contentColor());
    widget->setPalette(p);
    widget->setAutoFillBackground(true);
}

} // namespace lumeko::achieve
