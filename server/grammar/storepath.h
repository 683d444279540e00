#pragma once
// Paths into the server's file store of student photos (VarToSFile, SFileToVar). The client writes
// them Windows-style, "StudentPics\<school>\<0|1>\<file name>" (0 entrance photo, 1 graduation
// photo); the server keeps every file under its store root and answers only paths of this one
// shape inside the caller's own school.

#include "server/grammar/grammar_export.h"

#include <QString>
#include <QStringView>

namespace lumeko::server::grammar {

inline constexpr qsizetype MaxStoreFileNameLength = 128;

// The path with "/" separators, relative to the store root: "StudentPics/<school>/<0|1>/<name>".
// Either "\" or "/" separates. Refused: absolute paths, drive letters, empty, "." and ".."
// segments, control characters, another school than `callerSchoolId`, another first folder or
// photo type, more or fewer segments, and file names over 128 characters, starting with "." or
// holding anything but ASCII letters, digits, "_", "-" and ".". The first folder matches without
// regard to case and is given back as "StudentPics".
LUMEKO_GRAMMAR_EXPORT QString checkStorePath(QStringView path, QStringView callerSchoolId);

// The same check for a folder ("StudentPics\<school>\<0|1>", a trailing separator allowed) and a
// file name sent apart, as VarToSFile takes them.
LUMEKO_GRAMMAR_EXPORT QString checkStorePath(QStringView folder, QStringView fileName, QStringView callerSchoolId);

} // namespace lumeko::server::grammar
