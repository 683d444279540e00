// AchieveQry.QExamSum: the score analyses (distribution, class, subject and teacher comparison)
// over one exam, computed by the statistics engine (domain/examstatistics.h). What it answers is
// written down in server/README.md, "Score analyses: QExamSum".

#include "server/core/service.h"
#include "server/methods/methods.h"
#include "wire/protocol/methods.h"

namespace lumeko::server {

namespace P = wire::protocol;

void registerAnalysisMethods(Service &s)
{
    s.addMethod(P::QExamSum, [](MethodCall &) {
        throw CallError(wire::ErrorCode::Refused, QStringLiteral("AchieveQry.QExamSum: the score analyses are not served yet"));
    });
}

} // namespace lumeko::server
