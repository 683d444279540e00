// Comma text, the parameter strings the host hands to pages and dialogs. Splitting must cope with
// any text, and joining the items must give a text that splits into the same items again: join
// quotes every item that holds a blank, a control character, a comma or a quote, and every empty
// item but the last, so nothing an item holds is lost or merged with its neighbours.
//
// The one list the text cannot carry is a single empty item (from the input `""`): it joins to the
// empty text, which is the text of no items at all. For that list the round trip may give either.

#include "check.h"

#include "toolkit/data/commatext.h"

#include <cstddef>
#include <cstdint>

using namespace lumeko;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString input = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const QStringList items = splitCommaText(input);
    const QString joined = joinCommaText(items);
    const QStringList again = splitCommaText(joined);

    if (items.size() == 1 && items.first().isEmpty()) {
        fuzz::require(again.isEmpty() || again == items, "a single empty item came back as something else", joined);
        return 0;
    }
    fuzz::require(again == items, "split, join and split again gave other items", joined);

    // Splitting ignores blanks and control characters around the whole text.
    fuzz::require(splitCommaText(trimControl(input)) == items, "trimming the text changed its items", input.left(200));
    return 0;
}
