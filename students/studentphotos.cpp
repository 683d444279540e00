#include "students/studentphotos.h"

#include "framework/servercall.h"
#include "host/pub/pub.h"

#include <QBuffer>
#include <QImageReader>

namespace lumeko::achieve {

QString studentPhotoFolder(const QString &schoolId, int imageType)
{
    return QStringLiteral("StudentPics\\%1\\%2").arg(schoolId).arg(imageType);
}

namespace {

// The image format a stored name's extension stands for; null for the extensions not shown.
const char *formatOf(const QString &fileName)
{
    const qsizetype dot = fileName.lastIndexOf(u'.');
    const qsizetype folder = std::max(fileName.lastIndexOf(u'/'), fileName.lastIndexOf(u'\\'));
    const QString ext = dot <= folder ? QString() : fileName.mid(dot).toUpper();
    return ext == u".BMP" ? "BMP" : (ext == u".JPG" || ext == u".JPEG") ? "JPEG" : ext == u".GIF" ? "GIF" : nullptr;
}

} // namespace

QImage decodeStudentPhoto(const QByteArray &bytes, const QString &fileName)
{
    const char *format = formatOf(fileName);
    if (!format || bytes.isEmpty()) return {};
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    // The extension decides: the reader must not fall back on guessing from the content.
    QImageReader reader(&buffer, format);
    reader.setAutoDetectImageFormat(false);
    return reader.read();
}

QImage fetchStudentPhoto(const QString &schoolId, int imageType, const QString &storedName)
{
    if (storedName.isEmpty() || !formatOf(storedName)) return {};
    pub::ServerObject sys = pub::ServerObject::sysQry();
    const wire::Reply reply = sys.call(protocol::SFileToVar, {var(studentPhotoFolder(schoolId, imageType) + u'\\' + storedName)});
    const auto *bytes = std::get_if<QByteArray>(&reply.result);
    return reply.ok() && bytes ? decodeStudentPhoto(*bytes, storedName) : QImage();
}

} // namespace lumeko::achieve
