#pragma once
// What the writes of the school's organisation share: reading a change packet's rows by field
// name, the refused rows of a call, the teachers, classes and subjects a row may name, the grades a
// writer may reach, and the grade arguments of the loads (an intake year and a grade code, or the
// course table's filter texts in their place).

#include "server/core/methodcall.h"
#include "server/storage/changeapplier.h"

#include <QSet>

#include <functional>

namespace lumeko::server {

class Service;

// One row of a change packet, read by field name: the new values of an inserted or modified row,
// the old ones of a deleted row; old() always reads the old values.
class PacketRow {
public:
    PacketRow(const wire::ChangePacket &packet, const wire::RowChange &row) : m_packet(packet), m_row(row) {}

    wire::RowStatus status() const { return m_row.status; }
    bool has(QStringView field) const { return m_packet.fieldIndex(field) >= 0; }
    // The value as the row leaves it (a deleted row: as it was); null when the packet lacks the field.
    QVariant value(QStringView field) const;
    QString text(QStringView field) const { return value(field).toString().trimmed(); }
    QVariant old(QStringView field) const;
    // The table columns a row sets: an inserted row's non-empty values, a modified row's changed
    // ones (compared as stored values, so that 1 and 1.0 are the same). Lower case.
    QSet<QString> changedColumns(const TableDef &table) const;

private:
    const wire::ChangePacket &m_packet;
    const wire::RowChange &m_row;
};

// The rows of a call refused before anything is stored, each with its reason.
class Refusals {
public:
    explicit Refusals(QString table) : m_table(std::move(table)) {}
    void add(qsizetype row, const QString &why);
    // A refusal of the call as a whole (what the rows do together), counted as one row.
    void addWhole(const QString &why);
    int count() const { return m_count; }
    const QStringList &messages() const { return m_messages; }

private:
    QString m_table;
    int m_count = 0;
    QStringList m_messages;
};

// The shape of every organisation write: (change packet, -1, var error count). In one
// transaction: `check` refuses rows before anything is stored; then the packet is applied within
// the user's school; then `after` may refuse more (it sees the stored rows) or finish the work.
// Any refused row rolls everything back; the error count and the messages go to the reply, and so
// do `notes` (what the server did of its own accord) when the call is stored.
struct OrganisationWrite {
    explicit OrganisationWrite(QString table) : table(std::move(table)) {}
    QString table;
    std::function<void(Refusals &, wire::ChangePacket &)> check;
    std::function<void(Refusals &, const wire::ChangePacket &)> after;
    ApplyRules rules;
    QStringList notes;
};
void storeOrganisationRows(MethodCall &c, OrganisationWrite &w);

// Refuses (Forbidden) a call that does more than change `allowed` columns of existing rows: what
// the course table may do to a table it does not own.
void requireOnlyChanges(const wire::protocol::Method &m, const wire::ChangePacket &packet, const TableDef &table, const QSet<QString> &allowed);
// A row whose old key differs from its new key: codes are never renamed.
bool changesKey(const PacketRow &row, const TableDef &table);

// Whether the codes name rows of the user's school (an empty code names nothing and is fine).
bool isTeacherOfSchool(MethodCall &c, const QString &teacherCode);
bool isClassOfSchool(MethodCall &c, const QString &classCode);
bool isSubjectOfSchool(MethodCall &c, const QString &subjectCode);

// The grades a writer through the course table reaches: every grade for an unrestricted user or
// one who may view every grade, otherwise the grades he leads.
class GradeReach {
public:
    explicit GradeReach(MethodCall &c);
    bool everything() const { return m_all; }
    bool reaches(qint64 inYear, const QString &grade) const;

private:
    bool m_all = false;
    QSet<QString> m_led; // "InYear|GradeCode"
};

// A condition on a table of grade rows aliased `alias` (its InYear, GradeCode and SchoolCode) for
// the grade arguments of a load: an intake year or a filter text in `yearArg`, a grade code or a
// filter text in `gradeArg`. A one-character grade code alone is a stage's current grades. A call
// that names no grade at all is refused.
QString gradeSelection(MethodCall &c, int yearArg, int gradeArg, const QString &alias, QVariantList &params);

// The next free number of a table's three-digit codes in the school, above every number in `taken`.
QString nextFreeCode(const QSet<QString> &taken);
// The stored codes of the school's rows of a table.
QSet<QString> storedCodes(MethodCall &c, const QString &table, const QString &codeColumn);
// Serialises the writes that assign codes in the school: PostgreSQL locks the school's row for the
// rest of the transaction; a SQLite writer holds the whole file already.
void lockSchool(MethodCall &c);

// The teachers' methods (teachermethods.cpp) and the exam headers whose totals follow the grade's
// subjects (examtotals.cpp), registered with the rest of the organisation.
void registerTeacherMethods(Service &s);
void registerExamTotalMethods(Service &s);
// Brings the 24 total marks of the grade's school-wide exams that are not frozen in line with
// their subjects and the grade's subject types; answers how many headers changed.
int refreshExamTotals(Database &db, const QString &school, qint64 inYear, const QString &grade);

} // namespace lumeko::server
