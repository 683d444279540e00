#pragma once
// The fixture school with what the organisation suites need besides: the rights tree of the
// organisation functions, a course-table manager who may view every grade (周老师), a grade leader
// of 1701 (刘老师, role 3), a teacher without any role (孙老师), and helpers to build change packets
// over the fields a query answered.

#include "fixtureschool.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>

namespace lumeko::server::testing {

inline constexpr char kZhouCode[] = "{00000000-0000-0000-0000-0000000000A8}"; // 周老师: course table, every grade
inline constexpr char kLiuCode[] = "{00000000-0000-0000-0000-0000000000B3}";  // 刘老师: leads 1701 (2026)
inline constexpr char kSunCode[] = "{00000000-0000-0000-0000-0000000000C0}";  // 孙老师: no role yet

using Values = QList<std::pair<const char *, QVariant>>;

// Change packets over the fields of a packet a query answered, rows given by field name.
class Changes {
public:
    explicit Changes(QList<wire::FieldDef> fields) { m_packet.fields = std::move(fields); }
    explicit Changes(const wire::DataPacket &like) : Changes(like.fields()) {}

    Changes &insert(Values values)
    {
        m_packet.rows.append({wire::RowStatus::Inserted, {}, fill(QVariantList(m_packet.fields.size()), values)});
        return *this;
    }
    // Row `row` of `from` changed as given.
    Changes &modify(const wire::DataPacket &from, qsizetype row, Values values)
    {
        const QVariantList old = from.row(row);
        m_packet.rows.append({wire::RowStatus::Modified, old, fill(old, values)});
        return *this;
    }
    Changes &remove(const wire::DataPacket &from, qsizetype row)
    {
        m_packet.rows.append({wire::RowStatus::Deleted, from.row(row), {}});
        return *this;
    }
    const wire::ChangePacket &packet() const { return m_packet; }

private:
    QVariantList fill(QVariantList row, Values values) const
    {
        for (const auto &[name, v] : values) {
            const int f = m_packet.fieldIndex(QString::fromUtf8(name));
            EXPECT_GE(f, 0) << "no field " << name;
            if (f >= 0) row[f] = v;
        }
        return row;
    }
    wire::ChangePacket m_packet;
};

// The row of a packet whose field holds the value; -1 when none does.
inline qsizetype rowWhere(const wire::DataPacket &p, const char *field, const QVariant &value)
{
    const int f = p.fieldIndex(QString::fromUtf8(field));
    for (qsizetype r = 0; r < p.rowCount(); ++r)
        if (p.value(r, f) == value) return r;
    return -1;
}

// The values of one field of every row, in order.
inline QStringList column(const wire::DataPacket &p, const char *field)
{
    QStringList out;
    const int f = p.fieldIndex(QString::fromUtf8(field));
    for (qsizetype r = 0; r < p.rowCount(); ++r)
        out << p.value(r, f).toString();
    return out;
}

class OrganisationTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override;

    // A query's data packet at argument `slot`; fails the test (and answers an empty packet) when
    // the call fails.
    wire::DataPacket query(const char *object, const char *method, QList<wire::Argument> args, int slot, const QString &token);
    // An update method's error count, or -1 with the reply's error when the call itself failed.
    struct Saved {
        qint64 errors = -1;
        wire::ErrorCode error = wire::ErrorCode::None;
        QString message;
    };
    Saved up(const char *method, const Changes &changes, const QString &token);
    wire::Reply call(const char *object, const char *method, QList<wire::Argument> args, const QString &token)
    {
        return fx->call(QString::fromLatin1(object), QString::fromLatin1(method), std::move(args), token);
    }
    qint64 count(const QString &sql, const QVariantList &params = {}) { return fx->db().scalar(sql, params).toLongLong(); }

    // The school's subjects 语文 001, 数学 002, 英语 003 in grade 1701 (2026), students 张三 and 李四
    // in class 001 and 王五 in 002.
    void seedSubjectsAndStudents();

    std::unique_ptr<ServiceFixture> fx;
    QString admin, wang, zhou, liu;
};

} // namespace lumeko::server::testing
