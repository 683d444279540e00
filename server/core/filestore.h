#pragma once
// The server's file store: student photos and other files the pages keep by relative path, in a
// folder of the server's own. Paths reaching this class have already been checked by the path
// grammar; the store still refuses anything that would leave its root.

#include "server/core/server_export.h"

#include <QByteArray>
#include <QString>

namespace lumeko::server {

class LUMEKO_SERVER_EXPORT FileStore {
public:
    explicit FileStore(QString root) : m_root(std::move(root)) {}

    // Throws CallError (Refused) for a path outside the root and for a missing file.
    QByteArray read(const QString &relativePath) const;
    // Creates the folders; the file is replaced only once it is completely on disk.
    void write(const QString &relativePath, const QByteArray &bytes) const;

private:
    QString absolute(const QString &relativePath) const;
    QString m_root;
};

} // namespace lumeko::server
