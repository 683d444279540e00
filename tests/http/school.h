#pragma once
// A fake school behind the session object: one teacher who can sign in, the context of her
// session, and a few query methods that answer fixed packets. Everything but Session.SignIn needs
// the token of an open session.

#include "fakes.h"

#include "server/core/sessionprotocol.h"

#include <QSet>

namespace lumeko::testing {

inline const QString kLogin = QStringLiteral("zhanglaoshi");
inline const QString kPassword = QStringLiteral("秘密123");

// Two students: every type of field, Chinese text, a tab inside a text, and a row of nulls.
inline wire::DataPacket classList()
{
    using wire::FieldDef;
    using wire::FieldType;
    wire::DataPacket p({{QStringLiteral("sCode"), FieldType::Text, 38, FieldDef::Key},
                        {QStringLiteral("sName"), FieldType::Text, 20, 0},
                        {QStringLiteral("iClassNo"), FieldType::Integer, 0, 0},
                        {QStringLiteral("fScore"), FieldType::Float, 0, 0},
                        {QStringLiteral("bSelected"), FieldType::Boolean, 0, 0},
                        {QStringLiteral("dBirthday"), FieldType::Date, 0, 0},
                        {QStringLiteral("tEntered"), FieldType::DateTime, 0, 0},
                        {QStringLiteral("imgPhoto"), FieldType::Blob, 0, 0}});
    p.appendRow({QStringLiteral("{A}"), QStringLiteral("王小明"), qint64(1), 98.5, true, QDate(2012, 9, 1),
                 QDateTime::fromMSecsSinceEpoch(1'725'148'800'000LL), QByteArray("\x01\x02\x03", 3)});
    p.appendRow({QStringLiteral("{B}"), QStringLiteral("李\t\"四\""), QVariant(), QVariant(), false, QVariant(), QVariant(), QVariant()});
    return p;
}

class FakeSchool : public FakeService {
public:
    FakeSchool()
    {
        guard([this](const Call &c) -> std::optional<Reply> {
            if (c.object == QLatin1StringView("Session") && c.method == QLatin1StringView("SignIn")) return std::nullopt;
            std::lock_guard lock(m_mutex);
            if (m_open.contains(c.token)) return std::nullopt;
            return Reply::failure(wire::ErrorCode::NotSignedIn, QStringLiteral("未登录"));
        });
        on(QStringLiteral("Session.SignIn"), [this](Call &c, const CallOrigin &) {
            if (c.args.size() != 3) return Reply::failure(wire::ErrorCode::BadArguments, QStringLiteral("SignIn 需要三个参数"));
            std::lock_guard lock(m_mutex);
            m_computer = std::get<QString>(c.args[2].value);
            if (std::get<QString>(c.args[0].value) != kLogin || std::get<QString>(c.args[1].value) != kPassword)
                return Reply::failure(wire::ErrorCode::Forbidden, QStringLiteral("用户名或密码错误"));
            const QString token = QStringLiteral("T-%1").arg(++m_signIns);
            m_open.insert(token);
            return Reply{token, {}, wire::ErrorCode::None, {}};
        });
        on(QStringLiteral("Session.SignOut"), [this](Call &c, const CallOrigin &) {
            std::lock_guard lock(m_mutex);
            m_open.remove(c.token);
            return Reply{};
        });
        on(QStringLiteral("Session.Context"), [](Call &, const CallOrigin &) {
            QList<wire::FieldDef> fields;
            for (QLatin1StringView name : server::session::ContextFields) {
                const bool isInt = name == QLatin1StringView("UserType");
                const bool isBool = name.startsWith(QLatin1StringView("ViewAll"));
                fields.append({QString(name), isInt ? wire::FieldType::Integer : isBool ? wire::FieldType::Boolean : wire::FieldType::Text, 0, 0});
            }
            wire::DataPacket p(fields);
            p.appendRow({QStringLiteral("3301001"), QStringLiteral("杭州市第一中学"), QStringLiteral("1"), QStringLiteral("0007"),
                         QStringLiteral("张老师"), QStringLiteral("{U-7}"), qint64(2), QStringLiteral("1,3"), true, false});
            return Reply{p, {}, wire::ErrorCode::None, {}};
        });
        // QStudByGrade(school id, intake year, grade code, count&): the class list, and its size
        // written back.
        on(QStringLiteral("StudentQry.QStudByGrade"), [](Call &c, const CallOrigin &) {
            Reply r{classList(), {}, wire::ErrorCode::None, {}};
            if (c.args.size() > 3 && c.args[3].byRef) r.refs.insert(3, qint64(2));
            return r;
        });
        // QStudByRef(school id, data&): 0, and the class list written back.
        on(QStringLiteral("StudentQry.QStudByRef"), [](Call &, const CallOrigin &) {
            Reply r{qint64(0), {}, wire::ErrorCode::None, {}};
            r.refs.insert(1, classList());
            return r;
        });
        // Back(value): the value as the result.
        on(QStringLiteral("SysQry.Back"), [](Call &c, const CallOrigin &) {
            return Reply{c.args.value(0).value, {}, wire::ErrorCode::None, {}};
        });
        // Echo(...): null; the call is kept for the test to look at.
        on(QStringLiteral("SysQry.Echo"), [this](Call &c, const CallOrigin &) {
            std::lock_guard lock(m_mutex);
            m_echoed = c;
            return Reply{};
        });
    }

    int openSessions() const { std::lock_guard lock(m_mutex); return int(m_open.size()); }
    int signIns() const { std::lock_guard lock(m_mutex); return m_signIns; }
    QString computer() const { std::lock_guard lock(m_mutex); return m_computer; }
    Call echoed() const { std::lock_guard lock(m_mutex); return m_echoed; }

private:
    mutable std::mutex m_mutex; // the methods may run on the HTTP server's workers
    QSet<QString> m_open;
    int m_signIns = 0;
    QString m_computer;
    Call m_echoed;
};

} // namespace lumeko::testing
