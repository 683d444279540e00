#pragma once
// Helpers for the tests of the client-text parsers: what a refusal must look like, and the
// injection attempts every grammar must refuse wherever they are put.

#include "server/grammar/clienttexterror.h"

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>

#include <functional>

namespace lumeko::server::grammar::testing {

// Succeeds when `parse` throws ClientTextError at `position` (-1: any) with a message holding
// `fragment`; any other outcome, including another exception type, is a failure.
inline ::testing::AssertionResult refused(const std::function<void()> &parse, qsizetype position = -1,
                                          const QString &fragment = {})
{
    try {
        parse();
    } catch (const ClientTextError &e) {
        if (position >= 0 && e.position() != position)
            return ::testing::AssertionFailure()
                   << "refused at " << e.position() << ", not " << position << ": " << e.what();
        if (!e.message().contains(fragment))
            return ::testing::AssertionFailure() << "message lacks \"" << fragment.toStdString() << "\": " << e.what();
        return ::testing::AssertionSuccess();
    } catch (const std::exception &e) {
        return ::testing::AssertionFailure() << "threw something else: " << e.what();
    }
    return ::testing::AssertionFailure() << "accepted";
}

// Injection attempts: each holds a quote, a blank or a separator, so that no grammar without free
// text can take it inside a value.
inline const QStringList &injections()
{
    static const QStringList list{
        QStringLiteral("' or 1=1 --"),
        QStringLiteral("'; drop table XJ_Student; --"),
        QStringLiteral("; delete from XJ_Student"),
        QStringLiteral(" or 1=1"),
        QStringLiteral(" union select sPass from JC_Teacher"),
        QStringLiteral("/* */"),
        QStringLiteral("'"),
        QStringLiteral("\"),(\""),
    };
    return list;
}

// Puts every injection at every position of a text the parser accepts and expects each result
// to be refused.
inline void expectInjectionsRefused(const QString &valid, const std::function<void(const QString &)> &parse)
{
    parse(valid); // the base text must be fine, or the sweep proves nothing
    for (const QString &attack : injections())
        for (qsizetype at = 0; at <= valid.size(); ++at) {
            const QString text = valid.left(at) + attack + valid.mid(at);
            EXPECT_TRUE(refused([&] { parse(text); })) << text.toStdString();
        }
}

} // namespace lumeko::server::grammar::testing
