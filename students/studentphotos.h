#pragma once
// Student photos in the server's file store: where a stored photo lives, and how its bytes are read
// for display. The register's record cards, the photo viewer and the photo import share these.

#include "framework/achieve_export.h"

#include <QByteArray>
#include <QImage>
#include <QString>

namespace lumeko::achieve {

// "StudentPics\<school>\<0|1>": the store's folder of a school's entrance (0) or graduation (1) photos.
LUMEKO_ACHIEVE_EXPORT QString studentPhotoFolder(const QString &schoolId, int imageType);

// A picture's bytes read by the upper-cased extension of `fileName`: ".BMP" as a bitmap, ".JPG" and
// ".JPEG" as JPEG, ".GIF" as GIF. Null for any other extension and for bytes that are not a
// picture of that kind (a PNG named ".jpg" is not read).
LUMEKO_ACHIEVE_EXPORT QImage decodeStudentPhoto(const QByteArray &bytes, const QString &fileName);

// A stored photo fetched with SFileToVar and decoded as above; null when `storedName` is empty, the
// file cannot be fetched or is of another kind.
LUMEKO_ACHIEVE_EXPORT QImage fetchStudentPhoto(const QString &schoolId, int imageType, const QString &storedName);

} // namespace lumeko::achieve
