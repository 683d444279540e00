#pragma once
// A call service for transport tests: methods are lambdas the test installs; it counts calls and
// the threads they ran on and keeps the last call and origin. Like the real service it never
// throws, except through a method a test writes to throw on purpose.

#include "server/core/callservice.h"

#include <QHash>

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

namespace lumeko::testing {

using server::CallOrigin;
using wire::Call;
using wire::Reply;
using wire::Value;

class FakeService : public server::CallService {
public:
    using Method = std::function<Reply(Call &, const CallOrigin &)>;

    void on(const QString &objectAndMethod, Method m) { m_methods.insert(objectAndMethod, std::move(m)); }
    // Answers a call itself, before any method, when it returns a reply (a missing sign-in).
    using Gate = std::function<std::optional<Reply>(const Call &)>;
    void guard(Gate g) { m_gate = std::move(g); }

    Reply handle(Call &call, const CallOrigin &origin) override
    {
        ++m_calls;
        {
            std::lock_guard lock(m_mutex);
            m_threads.insert(std::this_thread::get_id());
            m_lastCall = call;
            m_lastPeer = origin.peer;
        }
        if (m_gate)
            if (std::optional<Reply> refused = m_gate(call)) return *refused;
        const auto it = m_methods.constFind(call.object + u'.' + call.method);
        if (it == m_methods.cend())
            return Reply::failure(wire::ErrorCode::UnknownMethod, QStringLiteral("没有方法 %1.%2").arg(call.object, call.method));
        return (*it)(call, origin);
    }

    int callCount() const { return m_calls; }
    size_t threadCount() const { std::lock_guard lock(m_mutex); return m_threads.size(); }
    Call lastCall() const { std::lock_guard lock(m_mutex); return m_lastCall; }
    QString lastPeer() const { std::lock_guard lock(m_mutex); return m_lastPeer; }

private:
    QHash<QString, Method> m_methods; // filled before any call, read-only afterwards
    Gate m_gate;
    std::atomic<int> m_calls{0};
    mutable std::mutex m_mutex;
    std::set<std::thread::id> m_threads;
    Call m_lastCall;
    QString m_lastPeer;
};

// A register of `rows` students with a field of every type, Chinese names and some nulls; the same
// rows for the same count.
inline wire::DataPacket students(int rows)
{
    using wire::FieldDef;
    using wire::FieldType;
    wire::DataPacket p({{QStringLiteral("sCode"), FieldType::Text, 38, FieldDef::Key},
                        {QStringLiteral("sName"), FieldType::Text, 20, FieldDef::Required},
                        {QStringLiteral("iClassNo"), FieldType::Integer, 0, 0},
                        {QStringLiteral("ChineseScore"), FieldType::Float, 0, 0},
                        {QStringLiteral("Selected"), FieldType::Boolean, 0, 0},
                        {QStringLiteral("dBirthday"), FieldType::Date, 0, 0},
                        {QStringLiteral("dUpdated"), FieldType::DateTime, 0, 0},
                        {QStringLiteral("imgPhoto"), FieldType::Blob, 0, 0}});
    static const char16_t *const names[] = {u"王小明", u"李四", u"欧阳娜娜", u"张伟", u"陈静"};
    for (int r = 0; r < rows; ++r) {
        const bool gaps = r % 7 == 3;
        p.appendRow({QStringLiteral("{%1}").arg(r, 8, 10, QLatin1Char('0')),
                     QString::fromUtf16(names[r % 5]),
                     qint64(r % 12 + 1),
                     gaps ? QVariant() : QVariant(60.0 + (r % 81) / 2.0),
                     r % 2 == 0,
                     gaps ? QVariant() : QVariant(QDate(2012, 9, 1).addDays(r % 365)),
                     QDateTime::fromMSecsSinceEpoch(1'725'148'800'123LL + r * 1000LL),
                     gaps ? QVariant() : QVariant(QByteArray(r % 50, char(r)))});
    }
    return p;
}

} // namespace lumeko::testing
