#pragma once
// Call services for the transport and command-line tests. FakeService answers from methods the
// test installs and counts calls and the threads they ran on; FakeSchool adds a teacher who can
// sign in, her context and a query that answers a class list. Like the real service they never
// throw, except through a method a test writes to throw on purpose.

#include "wire/link.h"
#include "wire/protocol/methods.h"

#include <QHash>
#include <QSet>

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

namespace lumeko::testing {

using wire::Call;
using wire::CallOrigin;
using wire::ErrorCode;
using wire::Reply;
using wire::Value;

inline Reply answer(Value v, QMap<int, Value> refs = {})
{
    return Reply{std::move(v), std::move(refs), ErrorCode::None, {}};
}

// The first argument as the result, and every by-reference argument written back as it came.
inline Reply echoBack(Call &c, const CallOrigin &)
{
    QMap<int, Value> refs;
    for (int i = 0; i < c.args.size(); ++i)
        if (c.args[i].byRef) refs.insert(i, c.args[i].value);
    return answer(c.args.value(0).value, refs);
}

class FakeService : public wire::CallService {
public:
    using Method = std::function<Reply(Call &, const CallOrigin &)>;
    void on(const QString &objectDotMethod, Method m) { m_methods.insert(objectDotMethod, std::move(m)); }

    Reply handle(Call &call, const CallOrigin &origin) override
    {
        ++m_calls;
        const QString name = call.object + u'.' + call.method;
        {
            std::lock_guard lock(m_mutex);
            m_threads.insert(std::this_thread::get_id());
            m_last.insert(name, call);
            m_lastPeer = origin.peer;
        }
        if (std::optional<Reply> refused = gate(call)) return *refused;
        const auto it = m_methods.constFind(name);
        if (it == m_methods.cend()) return Reply::failure(ErrorCode::UnknownMethod, QStringLiteral("没有方法 %1").arg(name));
        return (*it)(call, origin);
    }

    int callCount() const { return m_calls; }
    size_t threadCount() const { std::lock_guard lock(m_mutex); return m_threads.size(); }
    Call last(const QString &objectDotMethod) const { std::lock_guard lock(m_mutex); return m_last.value(objectDotMethod); }
    QString lastPeer() const { std::lock_guard lock(m_mutex); return m_lastPeer; }

protected:
    // A reply that answers the call before any method does (a missing sign-in), or nothing.
    virtual std::optional<Reply> gate(const Call &) { return std::nullopt; }
    mutable std::mutex m_mutex;

private:
    QHash<QString, Method> m_methods; // filled before any call
    std::atomic<int> m_calls{0};
    std::set<std::thread::id> m_threads;
    QHash<QString, Call> m_last;
    QString m_lastPeer;
};

// `rows` students with a field of every type, Chinese names and some nulls; the same rows for the
// same count.
inline wire::DataPacket students(int rows)
{
    using wire::FieldType;
    wire::DataPacket p({{QStringLiteral("sCode"), FieldType::Text, 38, wire::FieldDef::Key}, {QStringLiteral("sName"), FieldType::Text, 20, 0},
                        {QStringLiteral("iClassNo"), FieldType::Integer, 0, 0}, {QStringLiteral("ChineseScore"), FieldType::Float, 0, 0},
                        {QStringLiteral("Selected"), FieldType::Boolean, 0, 0}, {QStringLiteral("dBirthday"), FieldType::Date, 0, 0},
                        {QStringLiteral("dUpdated"), FieldType::DateTime, 0, 0}, {QStringLiteral("imgPhoto"), FieldType::Blob, 0, 0}});
    static const char16_t *const names[] = {u"王小明", u"李四", u"欧阳娜娜", u"张伟", u"陈静"};
    for (int r = 0; r < rows; ++r) {
        const bool gaps = r % 7 == 3;
        p.appendRow({QStringLiteral("{%1}").arg(r, 8, 10, QLatin1Char('0')), QString::fromUtf16(names[r % 5]), qint64(r % 12 + 1),
                     gaps ? QVariant() : QVariant(60.0 + (r % 81) / 2.0), r % 2 == 0,
                     gaps ? QVariant() : QVariant(QDate(2012, 9, 1).addDays(r % 365)),
                     QDateTime::fromMSecsSinceEpoch(1'725'148'800'123LL + r * 1000LL), gaps ? QVariant() : QVariant(QByteArray(r % 50, char(r)))});
    }
    return p;
}

inline const QString kLogin = QStringLiteral("zhanglaoshi");
inline const QString kPassword = QStringLiteral("秘密123");

// Two students: every type of field, a tab and quotes inside a text, and a row of nulls.
inline wire::DataPacket classList()
{
    using wire::FieldType;
    wire::DataPacket p({{QStringLiteral("sCode"), FieldType::Text, 38, 0}, {QStringLiteral("sName"), FieldType::Text, 20, 0},
                        {QStringLiteral("iClassNo"), FieldType::Integer, 0, 0}, {QStringLiteral("fScore"), FieldType::Float, 0, 0},
                        {QStringLiteral("bSelected"), FieldType::Boolean, 0, 0}, {QStringLiteral("dBirthday"), FieldType::Date, 0, 0},
                        {QStringLiteral("tEntered"), FieldType::DateTime, 0, 0}, {QStringLiteral("imgPhoto"), FieldType::Blob, 0, 0}});
    p.appendRow({QStringLiteral("{A}"), QStringLiteral("王小明"), qint64(1), 98.5, true, QDate(2012, 9, 1),
                 QDateTime::fromMSecsSinceEpoch(1'725'148'800'000LL), QByteArray("\x01\x02\x03", 3)});
    p.appendRow({QStringLiteral("{B}"), QStringLiteral("李\t\"四\""), QVariant(), QVariant(), false, QVariant(), QVariant(), QVariant()});
    return p;
}

// Session.SignIn/SignOut/Context for one teacher; every other call needs an open session.
// StudentQry.QStudByGrade(school, year, grade, count&) answers the class list and writes its size
// back; SysQry.Back is echoBack.
class FakeSchool : public FakeService {
public:
    FakeSchool()
    {
        on(QStringLiteral("Session.SignIn"), [this](Call &c, const CallOrigin &) {
            if (c.args.size() != 3 || c.args[0].value != Value(kLogin) || c.args[1].value != Value(kPassword))
                return Reply::failure(ErrorCode::Forbidden, QStringLiteral("用户名或密码错误"));
            std::lock_guard lock(m_mutex);
            const QString token = QStringLiteral("T-%1").arg(++m_signIns);
            m_open.insert(token);
            return answer(token);
        });
        on(QStringLiteral("Session.SignOut"), [this](Call &c, const CallOrigin &) {
            std::lock_guard lock(m_mutex);
            m_open.remove(c.token);
            return answer(wire::Null{});
        });
        on(QStringLiteral("Session.Context"), [](Call &, const CallOrigin &) {
            QList<wire::FieldDef> fields;
            for (QLatin1StringView name : wire::protocol::session::ContextFields)
                fields.append({QString(name), name == QLatin1StringView("UserType") ? wire::FieldType::Integer
                                              : name.startsWith(QLatin1StringView("ViewAll")) ? wire::FieldType::Boolean
                                                                                               : wire::FieldType::Text, 0, 0});
            wire::DataPacket p(fields);
            p.appendRow({QStringLiteral("3301001"), QStringLiteral("杭州市第一中学"), QStringLiteral("1"), QStringLiteral("0007"),
                         QStringLiteral("张老师"), QStringLiteral("{U-7}"), qint64(2), QStringLiteral("1,3"), true, false});
            return answer(p);
        });
        on(QStringLiteral("StudentQry.QStudByGrade"), [](Call &, const CallOrigin &) { return answer(classList(), {{3, qint64(2)}}); });
        on(QStringLiteral("SysQry.Back"), echoBack);
    }

    int openSessions() const { std::lock_guard lock(m_mutex); return int(m_open.size()); }

protected:
    std::optional<Reply> gate(const Call &c) override
    {
        std::lock_guard lock(m_mutex);
        if (c.method == QLatin1StringView("SignIn") || m_open.contains(c.token)) return std::nullopt;
        return Reply::failure(ErrorCode::NotSignedIn, QStringLiteral("未登录"));
    }

private:
    QSet<QString> m_open;
    int m_signIns = 0;
};

} // namespace lumeko::testing
