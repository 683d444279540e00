// The seat-and-score box of the score sheet, where a teacher types "0186" for seat 1 and 86: any
// text is either refused with a message that marks the seat or the score, or read as a seat of 0 to
// 99 and a finite score from 0 to the subject's full mark, to the hundredth. What it reads, typed
// again as two digits and the score, reads back the same; blanks around the text change nothing.
// The first byte of the input picks the subject's full mark.

#include "check.h"

#include "scores/seatentry.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

using namespace lumeko::achieve;

namespace {

bool same(const std::variant<SeatScore, SeatEntryRefusal> &a, const std::variant<SeatScore, SeatEntryRefusal> &b)
{
    if (a.index() != b.index()) return false;
    if (const auto *x = std::get_if<SeatScore>(&a)) {
        const SeatScore &y = std::get<SeatScore>(b);
        return x->seat == y.seat && x->score == y.score;
    }
    const SeatEntryRefusal &x = std::get<SeatEntryRefusal>(a), &y = std::get<SeatEntryRefusal>(b);
    return x.message == y.message && x.wrongFrom == y.wrongFrom;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0) return 0;
    static constexpr double kFullMarks[] = {100, 150, 120, 10, 0.5, 750, 0};
    const double full = kFullMarks[data[0] % std::size(kFullMarks)];
    const QString typed = QString::fromUtf8(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));

    const auto entry = readSeatEntry(typed, full);
    lumeko::fuzz::require(same(entry, readSeatEntry(QStringLiteral(" \t") + typed + QStringLiteral("  "), full)), "blanks around the text change what is read",
                          typed);
    if (const auto *refused = std::get_if<SeatEntryRefusal>(&entry)) {
        lumeko::fuzz::require(!refused->message.isEmpty() && (refused->wrongFrom == 0 || refused->wrongFrom == 2),
                              "a refusal says why and marks the seat or the score", typed);
        return 0;
    }
    const SeatScore s = std::get<SeatScore>(entry);
    lumeko::fuzz::require(s.seat >= 0 && s.seat <= 99, "a seat is two digits", typed);
    lumeko::fuzz::require(std::isfinite(s.score) && s.score >= 0 && s.score <= full, "a score lies from 0 to the full mark", typed);
    lumeko::fuzz::require(std::abs(s.score * 100 - std::nearbyint(s.score * 100)) < 1e-6, "a score is kept to the hundredth", typed);
    const QString again = QStringLiteral("%1").arg(s.seat, 2, 10, QChar(u'0')) + QString::number(s.score, 'g', 17);
    lumeko::fuzz::require(same(entry, readSeatEntry(again, full)), "what was read, typed again, reads back the same", typed + QStringLiteral(" → ") + again);
    return 0;
}
