#pragma once
// The score query page for students and parents, served by lumeko-server under /query:
//
//   GET  /query/                   the page (index.html, query.css, query.js; no script inline)
//   POST /query/api/signin         {"sno": "...", "password": "..."}: 200 and the session cookie;
//                                  401 wrong (with the tries left), 429 locked (Retry-After),
//                                  503 too many passwords being checked at once (Retry-After)
//   POST /query/api/signout        ends the session and clears the cookie
//   GET  /query/api/me             the signed-in student: name, number, school, grade, class
//   GET  /query/api/exams          the published exams he sat, the latest first
//   GET  /query/api/exams/<id>     his report of one of them, as its display type allows
//
// Answers of the API are JSON only (the page builds its HTML from them with textContent), every
// answer carries a Content-Security-Policy without inline script and X-Content-Type-Options. The
// session is an HttpOnly, SameSite=Strict cookie, Secure when the server speaks HTTPS; whose data
// an answer holds is decided by the session alone, never by an id in the path or the body. A POST
// must be JSON and, when the browser names its origin, come from the page's own.

#include "server/core/service.h"
#include "server/http/webhandler.h"
#include "server/query/query_export.h"

namespace lumeko::server {

class LUMEKO_QUERY_EXPORT QueryPage final : public WebHandler {
public:
    static constexpr char kPrefix[] = "/query";
    static constexpr char kCookie[] = "lumeko_query";
    static constexpr int kMaxBodyBytes = 4096;

    // Reads the database through the service's connection of each worker thread and takes the
    // time from its clock. The service must outlive the page.
    explicit QueryPage(Service &service) : m_service(service) {}

    void serve(const WebRequest &request, WebResponse &response) override;

private:
    void route(const WebRequest &request, WebResponse &response);
    void signIn(const WebRequest &request, WebResponse &response);
    void signOut(const WebRequest &request, WebResponse &response);

    Service &m_service;
};

} // namespace lumeko::server
