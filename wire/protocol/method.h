#pragma once
// The contract of a server method, declared once and used by both sides: the server registers its
// implementation against the declaration and its dispatcher checks every call against it (the
// number and kinds of the arguments, the by-reference slots it writes back, the right it needs)
// before the implementation runs; the client calls through the same declaration.
//
//     inline constexpr Method QFamily{"StudentQry", "QFamily",
//         {{"SchoolId", Kind::Text}, {"Filter", Kind::Text, Pass::Var}, {"Data", Kind::DataPacket, Pass::Out}},
//         Kind::None, Right::signedIn()};

#include "wire/envelope.h"
#include "wire/wire_export.h"

#include <QLatin1StringView>

#include <array>
#include <initializer_list>
#include <span>
#include <string_view>

namespace lumeko::wire::protocol {

// What an argument or result holds. Null stands for an empty value of every kind.
enum class Kind : quint8 {
    None, // (result only) nothing
    Text,
    Integer, // also a text of digits or an integral float: the pages pass intake years both ways
    Real,    // also an integer
    Boolean,
    DateTime,
    Bytes,
    DataPacket,
    ChangePacket,
    ChangesOrNone, // a change packet, or null where the caller has nothing to change
    TextOrInteger, // a slot that takes an intake year or, for a whole stage, a viewer list
    Any,
};

// How an argument is passed. Var is the by-reference input of the old calling convention: the
// server reads it and writes nothing back, so a value is accepted as well. Out is written back
// and must be passed by reference.
enum class Pass : quint8 { In, Var, Out };

struct Arg {
    std::string_view name;
    Kind kind = Kind::Any;
    Pass pass = Pass::In;
    bool optional = false; // may be left off at the end of the call
};

// One way to hold a right: a function of the rights tree ("4009"), and a key under it ("Manager");
// without a key, being allowed to open the function is enough.
struct Grant {
    std::string_view functionId;
    std::string_view key;
};

// Who may call: anyone (signing in), anyone signed in, or a signed-in user holding one of the grants.
// An unrestricted user (user type 1) holds every grant.
struct Right {
    enum class Who : quint8 { Anyone, SignedIn, Granted };
    Who who = Who::SignedIn;
    std::array<Grant, 3> grants{};
    int grantCount = 0;

    static constexpr Right anyone() { return {Who::Anyone, {}, 0}; }
    static constexpr Right signedIn() { return {Who::SignedIn, {}, 0}; }
    static constexpr Right function(std::string_view id) { return {Who::Granted, {Grant{id, {}}}, 1}; }
    static constexpr Right key(std::string_view id, std::string_view key) { return {Who::Granted, {Grant{id, key}}, 1}; }
    // Any of these grants.
    static constexpr Right anyOf(std::initializer_list<Grant> grants)
    {
        Right r{Who::Granted, {}, 0};
        for (const Grant &g : grants)
            r.grants[r.grantCount++] = g;
        return r;
    }
    constexpr std::span<const Grant> granted() const { return {grants.data(), size_t(grantCount)}; }
};

struct Method {
    static constexpr int kMaxArgs = 10;

    constexpr Method(std::string_view object, std::string_view name, std::initializer_list<Arg> args, Kind result, Right right)
        : object(object), name(name), result(result), right(right)
    {
        for (const Arg &a : args)
            m_args[m_argCount++] = a;
    }

    std::string_view object;
    std::string_view name;
    Kind result;
    Right right;

    constexpr std::span<const Arg> args() const { return {m_args.data(), size_t(m_argCount)}; }
    constexpr int minArgs() const
    {
        int n = 0;
        for (const Arg &a : args())
            n += a.optional ? 0 : 1;
        return n;
    }
    constexpr int maxArgs() const { return m_argCount; }
    QString objectName() const { return QLatin1StringView(object.data(), qsizetype(object.size())); }
    QString methodName() const { return QLatin1StringView(name.data(), qsizetype(name.size())); }
    // "StudentQry.QFamily"
    QString fullName() const { return objectName() + u'.' + methodName(); }

private:
    std::array<Arg, kMaxArgs> m_args{};
    int m_argCount = 0;
};

// "text", "integer", ... as messages name them.
LUMEKO_WIRE_EXPORT QString kindName(Kind kind);
// Whether a value may stand in a slot of this kind.
LUMEKO_WIRE_EXPORT bool accepts(Kind kind, const Value &value);
// What is wrong with the arguments of a call of `m`, in a sentence naming the method and the
// argument; empty when they fit the declaration.
LUMEKO_WIRE_EXPORT QString checkArguments(const Method &m, const QList<Argument> &args);
// "SchoolId text, var Filter text, out Data data packet"
LUMEKO_WIRE_EXPORT QString describeArguments(const Method &m);
// "anyone", "signed in", "4009/Manager or 4009/ChangeClass"
LUMEKO_WIRE_EXPORT QString describeRight(const Right &r);

} // namespace lumeko::wire::protocol
