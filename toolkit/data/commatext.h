#pragma once
// Comma text: the parameter strings the host hands to pages and dialogs ("2012,0701,\"三 班\"").

#include "toolkit/data/data_export.h"

#include <QStringList>

namespace lumeko {

// Removes leading and trailing characters whose code is below 33 (blanks and control characters).
LUMEKO_DATA_EXPORT QString trimControl(QStringView text);

// Splits after trimControl: blanks and control characters before an item are skipped; an item that
// starts with a double quote runs to the matching closing quote, two double quotes standing for
// one; any other item ends at the first comma or at the first character with code 32 or below;
// a comma at the very end adds one empty item.
LUMEKO_DATA_EXPORT QStringList splitCommaText(QStringView text);

// The inverse: items holding blanks, control characters, commas or quotes are quoted.
LUMEKO_DATA_EXPORT QString joinCommaText(const QStringList &items);

} // namespace lumeko
