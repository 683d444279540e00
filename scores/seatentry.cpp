#include "scores/seatentry.h"

#include <cmath>

namespace lumeko::achieve {

std::variant<SeatScore, SeatEntryRefusal> readSeatEntry(const QString &typed, double fullMark)
{
    const QString text = typed.trimmed();
    bool ok = false;
    const int seat = text.left(2).toInt(&ok);
    if (!ok || text.size() < 2 || seat < 0) return SeatEntryRefusal{QStringLiteral("输入的前两位座号错误！"), 0};
    // Qt reads "nan" and "inf" as numbers; neither is a score.
    const double score = text.mid(2).toDouble(&ok);
    if (!ok || !std::isfinite(score)) return SeatEntryRefusal{QStringLiteral("输入的成绩分数格式不正确！"), 2};
    if (score < 0 || !(score <= fullMark)) return SeatEntryRefusal{QStringLiteral("输入的成绩分数不是有效的数字！"), 2};
    return SeatScore{seat, std::nearbyint(score * 100) / 100};
}

} // namespace lumeko::achieve
