// Score notices to the families: the school's outgoing message table (XT_SendMsg), which pages
// only append to, and the families' subscriptions (XT_SMSOrder) of a grade's students.
//
// A row of XT_SendMsg is a message waiting for the school's SMS gateway: smFlag 0 sends it at
// once, 7 at its sDate. The gateway reads the waiting rows and writes back what became of them;
// the system itself delivers nothing and never changes a row once it is queued.

#include "server/core/service.h"
#include "server/grammar/codelists.h"
#include "server/methods/methods.h"
#include "server/methods/registerscope.h"
#include "server/methods/updates.h"
#include "server/storage/schema.h"
#include "wire/protocol/methods.h"

namespace lumeko::server {

using wire::ErrorCode;
using wire::FieldType;
using wire::RowStatus;
namespace P = wire::protocol;

namespace {

const QString kOutbox = QStringLiteral("XT_SendMsg");

// The states a page may queue a message in.
constexpr int kSendNow = 0;
constexpr int kSendLater = 7;

void qSendMsgForUp(MethodCall &c)
{
    c.school(0);
    c.setRef(1, wire::DataPacket(schemaTable(kOutbox).fieldDefs()));
}

// (school, grade, var class list, var intake year, out Data): the subscriptions of the grade's
// students within the user's register scope, optionally of some classes only.
void qSMSOrderForUp(MethodCall &c)
{
    const QString school = c.school(0), grade = c.text(1);
    const QStringList classes = grammar::parseClassCodeList(QStringLiteral("ClassList"), c.text(2));
    const qint64 inYear = c.integer(3);
    c.requireByRef(4);
    QVariantList params{school, school, grade, inYear};
    QString where = QStringLiteral("o.\"SchoolCode\" = ? AND b.\"SchoolCode\" = ? AND b.\"GradeCode\" = ? AND b.\"InYear\" = ?");
    if (!classes.isEmpty()) {
        where += QStringLiteral(" AND b.\"ClassCode\" IN (%1)").arg(QStringList(classes.size(), QStringLiteral("?")).join(u", "));
        for (const QString &code : classes)
            params << code;
    }
    if (const QString scope = RegisterScope(c).condition(params); !scope.isEmpty()) where += QStringLiteral(" AND ") + scope;
    c.setRef(4, c.db().select(QStringLiteral("SELECT o.\"code\", o.\"smsState\", o.\"mobile\", o.\"mobile2\" FROM \"XT_SMSOrder\" o "
                                             "JOIN \"XJ_Student\" b ON b.\"sCode\" = o.\"code\" WHERE %1 ORDER BY o.\"code\"")
                                  .arg(where),
                              params,
                              {{"code", FieldType::Text, 38, 0},
                               {"smsState", FieldType::Integer, 0, 0},
                               {"mobile", FieldType::Text, 20, 0},
                               {"mobile2", FieldType::Text, 20, 0}}));
}

// (Delta, -1, out ErrorCount): new messages only. A queued message belongs to the gateway, so a
// changed or withdrawn row is refused, and then nothing of the call is stored. Each new row is
// the user's school's, sent by the signed-in teacher whatever it names, queued now.
void upSendMsg(MethodCall &c)
{
    const wire::ChangePacket &packet = c.changes(0);
    c.integer(1);
    c.requireByRef(2);
    QStringList refused;
    for (qsizetype r = 0; r < packet.rows.size(); ++r) {
        const RowStatus status = packet.rows[r].status;
        if (status == RowStatus::Modified || status == RowStatus::Deleted)
            refused << QStringLiteral("%1 row %2: a queued message is never %3; only new messages are stored")
                           .arg(kOutbox)
                           .arg(r + 1)
                           .arg(status == RowStatus::Modified ? u"changed" : u"withdrawn");
    }
    if (!refused.isEmpty()) {
        c.setRef(2, qint64(refused.size()));
        c.setMessage(refused.join(u'\n'));
        return;
    }
    const TableDef &t = schemaTable(kOutbox);
    const int flag = t.columnIndex(u"smFlag"), sendAt = t.columnIndex(u"sDate"), mobile = t.columnIndex(u"dest_mobile"), text = t.columnIndex(u"Msg"),
              teacher = t.columnIndex(u"TeacherId"), queued = t.columnIndex(u"dQueued");
    const QString me = c.user().teacherCode;
    const QDateTime now = c.env().now();
    ApplyRules rules;
    rules.schoolColumn = QStringLiteral("GDDBID");
    rules.onInsert = [=](QVariantList &values) -> QString {
        if (values[mobile].toString().trimmed().isEmpty()) return QStringLiteral("a message needs the number it goes to (dest_mobile)");
        if (values[text].toString().isEmpty()) return QStringLiteral("a message needs its text (Msg)");
        if (values[flag].isNull()) values[flag] = kSendNow;
        const int state = values[flag].toInt();
        if (state != kSendNow && state != kSendLater)
            return QStringLiteral("smFlag %1 is not a state a message is queued in (0 at once, 7 at its sDate)").arg(state);
        if (state == kSendLater && values[sendAt].isNull()) return QStringLiteral("a message sent later (smFlag 7) needs its time (sDate)");
        values[teacher] = me;
        values[queued] = now;
        return {};
    };
    applyTableUpdate(c, kOutbox, packet, rules);
}

} // namespace

void registerNoticeMethods(Service &s)
{
    s.addMethod(P::QSendMsgForUp, qSendMsgForUp);
    s.addMethod(P::QSMSOrderForUp, qSMSOrderForUp);
    s.addMethod(P::UpSendMsg, upSendMsg);
}

} // namespace lumeko::server
