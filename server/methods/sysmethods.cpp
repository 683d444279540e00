// SysQry and SysUp: the registry, field definitions, school information, the server's clock, the
// file store and the operation log.

#include "server/core/filestore.h"
#include "server/core/service.h"
#include "server/grammar/compositekeys.h"
#include "server/grammar/storepath.h"
#include "server/methods/methods.h"
#include "server/storage/schema.h"
#include "wire/protocol/methods.h"

namespace lumeko::server {

using wire::ErrorCode;
using wire::FieldType;

namespace {

void qFieldsByTable(MethodCall &c)
{
    const QString table = c.text(0).trimmed();
    const TableDef &t = schemaTable(u"XT_Fields");
    c.setRef(1, c.db().select(QStringLiteral("SELECT \"sFldName\", \"sTable\", \"sFldCaption\", \"bShowed\", \"nWidth\", \"bSum\", \"bGroup\", "
                                             "\"sFieldType\", \"sSumType\", \"sFormat\" FROM \"XT_Fields\" WHERE lower(\"sTable\") = lower(?) "
                                             "ORDER BY \"iOrder\""),
                              {table}, t.fieldDefs({"sFldName", "sTable", "sFldCaption", "bShowed", "nWidth", "bSum", "bGroup",
                                                    "sFieldType", "sSumType", "sFormat"})));
}

void qRegByType(MethodCall &c)
{
    const TableDef &t = schemaTable(u"XT_RegList");
    c.setRef(1, c.db().select(QStringLiteral("SELECT \"sKeyId\", \"sValue\", \"sDesc\" FROM \"XT_RegList\" WHERE lower(\"sListName\") = lower(?) "
                                             "ORDER BY \"iOrder\", \"sKeyId\""),
                              {c.text(0).trimmed()}, t.fieldDefs({"sKeyId", "sValue", "sDesc"})));
}

void qRegisterByKey(MethodCall &c)
{
    const auto row = c.db().select(QStringLiteral("SELECT \"sValue\", \"sExtra\" FROM \"XT_Registry\" WHERE lower(\"sSection\") = lower(?) "
                                                  "AND lower(\"sKey\") = lower(?)"),
                                   {c.text(0).trimmed(), c.text(1).trimmed()}, schemaTable(u"XT_Registry").fieldDefs({"sValue", "sExtra"}));
    c.setResult(row.rowCount() ? row.value(0, 0).toString() : QString());
    if (c.argCount() > 2) c.setRef(2, row.rowCount() ? row.value(0, 1).toString() : QString());
}

void qSchoolInfo(MethodCall &c)
{
    const QString school = c.school(0);
    const QStringList cols = {"SchoolCode", "sFullName", "sName", "sSchoolType", "bSubTree", "bHasSub", "bAutoPublishWX", "sMainCap", "sSubCap"};
    QStringList quoted;
    for (const QString &col : cols) quoted << Database::quoted(col);
    c.setRef(1, c.db().select(QStringLiteral("SELECT %1 FROM \"XT_School\" WHERE \"SchoolCode\" = ?").arg(quoted.join(u", ")),
                              {school}, schemaTable(u"XT_School").fieldDefs(cols)));
}

// Photos live under "StudentPics/<school>/<0|1>/<file>"; the school must be the caller's.
void sFileToVar(MethodCall &c)
{
    const QString path = grammar::checkStorePath(c.text(0), c.user().school);
    c.setResult(FileStore(c.env().options().fileStore).read(path));
}

// Photos are uploaded from the student register's photo import.
void varToSFile(MethodCall &c)
{
    const QString path = grammar::checkStorePath(c.text(0), c.text(1), c.user().school);
    const QByteArray *bytes = std::get_if<QByteArray>(&c.value(2));
    if (!bytes) throw CallError(ErrorCode::BadArguments, QStringLiteral("VarToSFile: argument 3 (Bytes) holds no file"));
    if (bytes->size() > c.env().options().maxFileBytes)
        throw CallError(ErrorCode::TooLarge, QStringLiteral("the file has %1 bytes; the store takes at most %2")
                                                 .arg(bytes->size()).arg(c.env().options().maxFileBytes));
    FileStore(c.env().options().fileStore).write(path, *bytes);
    c.setResult(qint64(1));
}

// Whether a grade of the caller's school type is the last of its stage.
void getGraduate(MethodCall &c)
{
    const grammar::SchoolGrade key = grammar::parseSchoolGrade(c.text(0));
    if (key.schoolId != c.user().school)
        throw CallError(ErrorCode::Forbidden, QStringLiteral("the school \"%1\" is not the signed-in user's school").arg(key.schoolId));
    const QVariant flag = c.db().scalar(QStringLiteral("SELECT g.\"bGraduate\" FROM \"XT_GradeName\" g JOIN \"XT_School\" s "
                                                       "ON s.\"sSchoolType\" = g.\"sSchoolType\" WHERE s.\"SchoolCode\" = ? AND g.\"sKeyId\" = ?"),
                                        {key.schoolId, key.gradeCode});
    QVariant b;
    const bool graduating = wire::coerceValue(flag, FieldType::Boolean, &b) && b.toBool();
    c.setRef(1, qint64(graduating ? 1 : 0));
    c.setResult(qint64(graduating ? 1 : 0));
}

void addLogs(MethodCall &c)
{
    const QString school = c.school(0);
    const QString text = c.text(4);
    if (text.size() > 200)
        throw CallError(ErrorCode::BadArguments, QStringLiteral("a log line holds at most 200 characters; send longer texts in pieces"));
    Database &db = c.db();
    // The log records who is signed in, whatever user the call names.
    db.exec(QStringLiteral("INSERT INTO \"XT_Log\" (\"SchoolCode\", \"sUserId\", \"sUserName\", \"sComputer\", \"sText\", \"dTime\") "
                           "VALUES (?, ?, ?, ?, ?, ?)"),
            {school, c.user().login.left(40), c.user().name.left(40), c.text(3).left(60), text, db.toDb(c.env().now(), FieldType::DateTime)});
}

} // namespace

void registerSysMethods(Service &s)
{
    namespace P = wire::protocol;
    s.addMethod(P::QFieldsByTable, qFieldsByTable);
    s.addMethod(P::QRegByType, qRegByType);
    s.addMethod(P::QRegisterByKey, qRegisterByKey);
    s.addMethod(P::QSchoolInfo, qSchoolInfo);
    s.addMethod(P::DBDate, [](MethodCall &c) { c.setResult(c.env().now().toLocalTime()); });
    s.addMethod(P::SFileToVar, sFileToVar);
    s.addMethod(P::VarToSFile, varToSFile);
    s.addMethod(P::GetGraduate, getGraduate);
    s.addMethod(P::AddLogs, addLogs);
}

} // namespace lumeko::server
