#include "server/grammar/clienttexterror.h"

namespace lumeko::server::grammar {

ClientTextError::ClientTextError(const QString &argument, const QString &problem, qsizetype position)
    : std::runtime_error(
          (argument + QStringLiteral(": ") + problem + QStringLiteral(" at ") + QString::number(position))
              .toStdString()),
      m_argument(argument), m_problem(problem), m_position(position)
{
}

} // namespace lumeko::server::grammar
