#pragma once
// Pages the HTTP server serves beside the calls: a handler takes every request whose path is its
// prefix or lies under it (the score query page for students and parents under /query). The
// server reads the request, times it and writes the access line; the handler decides the status,
// the headers and the body.

#include "server/http/http_export.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPair>
#include <QString>

namespace lumeko::server {

struct LUMEKO_HTTP_EXPORT WebRequest {
    QByteArray method;                     // "GET", "HEAD", "POST"
    QByteArray path;                       // without the query text: "/query/api/exams/12"
    QHash<QByteArray, QByteArray> headers; // by lower-case name; of a repeated header the last
    QByteArray body;
    QString peer;     // the client's address
    bool tls = false; // served over HTTPS

    QByteArray header(const QByteArray &lowerCaseName) const { return headers.value(lowerCaseName); }
};

struct LUMEKO_HTTP_EXPORT WebResponse {
    int status = 200;
    QByteArray contentType;
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers; // in order; a name may come more than once
    QString user;                                 // whom it was served for, for the access log

    void addHeader(const QByteArray &name, const QByteArray &value) { headers.append({name, value}); }
};

class LUMEKO_HTTP_EXPORT WebHandler {
public:
    virtual ~WebHandler();
    // Runs on the server's worker threads, several requests at once; it must not throw.
    virtual void serve(const WebRequest &request, WebResponse &response) = 0;
};

} // namespace lumeko::server
