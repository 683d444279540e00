#include "server/core/filestore.h"

#include "server/core/methodcall.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace lumeko::server {

using wire::ErrorCode;

QString FileStore::absolute(const QString &relativePath) const
{
    if (m_root.isEmpty()) throw CallError(ErrorCode::Refused, QStringLiteral("this server keeps no files"));
    const QString root = QDir::cleanPath(QDir(m_root).absolutePath());
    const QString path = QDir::cleanPath(root + u'/' + relativePath);
    if (QDir::isAbsolutePath(relativePath) || !path.startsWith(root + u'/'))
        throw CallError(ErrorCode::Refused, QStringLiteral("the path \"%1\" leaves the file store").arg(relativePath.left(200)));
    return path;
}

QByteArray FileStore::read(const QString &relativePath) const
{
    QFile f(absolute(relativePath));
    if (!f.open(QIODevice::ReadOnly))
        throw CallError(ErrorCode::Refused, QStringLiteral("there is no file \"%1\" in the store").arg(relativePath.left(200)));
    return f.readAll();
}

void FileStore::write(const QString &relativePath, const QByteArray &bytes) const
{
    const QString path = absolute(relativePath);
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        throw std::runtime_error("cannot create the folder of " + path.toStdString());
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit())
        throw std::runtime_error("cannot write " + path.toStdString() + ": " + f.errorString().toStdString());
}

} // namespace lumeko::server
