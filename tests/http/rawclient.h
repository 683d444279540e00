#pragma once
// A raw TCP client of the HTTP server for the tests that abuse it (tests/http, tests/server): it
// connects from a loopback address of the test's choosing, sends bytes as slowly or as oddly as a
// test likes and reads what comes back.

#include "wire/codec.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>

namespace lumeko::testing {

// A TCP connection to the server from a loopback address of the test's choosing (every 127.x.y.z
// is this computer's, so that one process can be several clients' addresses).
class RawClient {
public:
    explicit RawClient(int port, const char *from = "127.0.0.1")
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        ::inet_pton(AF_INET, from, &local.sin_addr);
        sockaddr_in server{};
        server.sin_family = AF_INET;
        server.sin_port = htons(uint16_t(port));
        ::inet_pton(AF_INET, "127.0.0.1", &server.sin_addr);
        m_connected = m_fd >= 0 && ::bind(m_fd, reinterpret_cast<sockaddr *>(&local), sizeof local) == 0 &&
                      ::connect(m_fd, reinterpret_cast<sockaddr *>(&server), sizeof server) == 0;
    }
    ~RawClient()
    {
        if (m_fd >= 0) ::close(m_fd);
    }
    RawClient(const RawClient &) = delete;
    RawClient &operator=(const RawClient &) = delete;

    bool connected() const { return m_connected; }

    // False once the server has closed the connection.
    bool send(const std::string &bytes)
    {
        size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = ::send(m_fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) return false;
            sent += size_t(n);
        }
        return true;
    }

    // What the server sent until it closed the connection or `within` passed; `closed` tells which.
    std::string readUntilClosed(std::chrono::milliseconds within, bool *closed = nullptr)
    {
        std::string got;
        const auto end = std::chrono::steady_clock::now() + within;
        bool ended = false;
        while (!ended) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, int(left.count())) <= 0) break;
            char buffer[16 * 1024];
            const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                ended = true;
            else
                got.append(buffer, size_t(n));
        }
        if (closed) *closed = ended;
        return got;
    }

    // One whole answer of a request sent on a connection the server keeps open: its headers and
    // as many body bytes as Content-Length says.
    std::string readAnswer(std::chrono::milliseconds within)
    {
        std::string got;
        const auto end = std::chrono::steady_clock::now() + within;
        for (;;) {
            const size_t head = got.find("\r\n\r\n");
            if (head != std::string::npos) {
                const size_t at = got.find("Content-Length: ");
                const size_t length = at == std::string::npos ? 0 : std::stoul(got.substr(at + 16));
                if (got.size() >= head + 4 + length) return got;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            pollfd p{m_fd, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, int(left.count())) <= 0) return got;
            char buffer[4096];
            const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
            if (n <= 0) return got;
            got.append(buffer, size_t(n));
        }
    }

    // Whether the server has closed the connection, without waiting.
    bool closedByServer()
    {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, 0) <= 0) return false;
        char c;
        return ::recv(m_fd, &c, 1, MSG_PEEK) <= 0;
    }

private:
    int m_fd = -1;
    bool m_connected = false;
};

inline std::string statusLine(const std::string &answer)
{
    return answer.substr(0, answer.find("\r\n"));
}

inline std::string bodyOf(const std::string &answer)
{
    const size_t head = answer.find("\r\n\r\n");
    return head == std::string::npos ? std::string() : answer.substr(head + 4);
}

inline wire::Reply replyIn(const std::string &answer)
{
    const std::string body = bodyOf(answer);
    return wire::decodeReply(QByteArrayView(body.data(), qsizetype(body.size())));
}

// A POST of an encoded call.
inline std::string callRequest(const std::string &body, const char *connection = "keep-alive")
{
    return "POST /call HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/cbor\r\nConnection: " + std::string(connection) +
           "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

} // namespace lumeko::testing
