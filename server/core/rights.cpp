#include "server/core/rights.h"

#include "server/storage/schema.h"

namespace lumeko::server {

namespace {

QVariantList roleNumbers(const SessionUser &user)
{
    QVariantList roles;
    for (QStringView part : QStringView(user.roles).split(u',')) {
        bool ok = false;
        const int r = part.trimmed().toInt(&ok);
        if (ok) roles << r;
    }
    return roles;
}

} // namespace

wire::DataPacket rightsPacket(Database &db, const SessionUser &user)
{
    const TableDef &f = schemaTable(u"XT_Function");
    QList<wire::FieldDef> fields = f.fieldDefs({"sFunKey", "sFunName", "sFunId", "sImg", "sDeskImg", "sParFunId", "sFunId"});
    fields[2].name = QStringLiteral("sID");
    const QString columns = QStringLiteral("f.\"sFunKey\", f.\"sFunName\", f.\"sFunId\", f.\"sImg\", f.\"sDeskImg\", f.\"sParFunId\", f.\"sFunId\"");
    if (user.unrestricted())
        return db.select(QStringLiteral("SELECT %1 FROM \"XT_Function\" f ORDER BY f.\"iOrder\", f.\"sFunId\"").arg(columns), {}, fields);

    QVariantList params{user.teacherCode};
    QString roleTest = QStringLiteral("1 = 0");
    const QVariantList roles = roleNumbers(user);
    if (!roles.isEmpty()) {
        QStringList marks;
        for (int i = 0; i < roles.size(); ++i) marks << QStringLiteral("?");
        roleTest = QStringLiteral("r.\"iRole\" IN (%1)").arg(marks.join(u','));
        params += roles;
    }
    return db.select(QStringLiteral("SELECT %1 FROM \"XT_Function\" f WHERE "
                                    "EXISTS (SELECT 1 FROM \"XT_UserRight\" u WHERE u.\"sFunId\" = f.\"sFunId\" AND u.\"TeacherCode\" = ?) "
                                    "OR EXISTS (SELECT 1 FROM \"XT_RoleRight\" r WHERE r.\"sFunId\" = f.\"sFunId\" AND %2) "
                                    "ORDER BY f.\"iOrder\", f.\"sFunId\"").arg(columns, roleTest),
                     params, fields);
}

QSet<QString> loadRightKeys(Database &db, const SessionUser &user)
{
    const wire::DataPacket p = rightsPacket(db, user);
    QSet<QString> keys;
    const int key = p.fieldIndex(u"sFunKey"), parent = p.fieldIndex(u"sParFunId"), id = p.fieldIndex(u"sFunId");
    for (qsizetype r = 0; r < p.rowCount(); ++r) {
        const QString k = p.value(r, key).toString();
        if (k.isEmpty()) keys.insert(p.value(r, id).toString());
        else keys.insert(p.value(r, parent).toString() + u'/' + k);
    }
    return keys;
}

} // namespace lumeko::server
