// What clients that abuse the HTTP front cost the calls of everyone else. Two servers in this
// process answer the same small call (the shape of most query calls) over loopback; one is left in
// peace, the other has, all through the run,
//   BM_CallWith64SlowClients     64 connections that send their headers a byte every 100 ms (when
//                                the server cuts one off at its deadline, another takes its place)
//   BM_CallWith500IdleConnections 500 connections from 20 addresses that send nothing (replaced
//                                when the server closes them after the keep-alive time)
// The runs are long enough (some seconds) for the server to cut the abusers off at their deadlines
// and for new ones to take their places. Each iteration makes one call to each server through its
// own kept-alive link, alternating which goes first, and reports
//   abused_ns, quiet_ns   the mean time of a call to each server
//   ratio                 abused_ns / quiet_ns
//   abused_p99_ns, quiet_p99_ns, p99_ratio   the same for the 99th percentile
//   abusers_replaced      abusers the server cut off and that came back
// A front that gives each connection a thread of its own answers nothing once the slow clients
// hold every worker; an event-driven one should keep both ratios near 1. Every iteration checks,
// outside the timed part, that both servers gave the right reply, and fails the run when not.

#include "link/httplink.h"
#include "server/http/httpserver.h"
#include "tests/http/rawclient.h"
#include "wire/link.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace {

using namespace lumeko;
using namespace lumeko::server;
using namespace lumeko::link;
using lumeko::testing::RawClient;
using Clock = std::chrono::steady_clock;

class BenchService : public CallService {
public:
    wire::Reply handle(wire::Call &call, const CallOrigin &) override
    {
        wire::Reply r;
        r.result = call.args.value(0).value;
        r.refs.insert(2, qint64(45));
        return r;
    }
};

// Connections the abused server carries all through a benchmark, kept up by a thread of their own.
class Abusers {
public:
    enum class Kind { Slow, Idle };

    Abusers(int port, Kind kind, int count) : m_port(port), m_kind(kind)
    {
        for (int i = 0; i < count; ++i)
            m_clients.push_back(open(i));
        m_thread = std::thread([this] { keepUp(); });
    }
    ~Abusers()
    {
        m_stop = true;
        m_thread.join();
    }
    int replaced() const { return m_replaced; }

private:
    struct Client {
        std::unique_ptr<RawClient> socket;
        size_t sent = 0;
    };

    Client open(int i) const
    {
        // Idle ones from 20 addresses, so that no address reaches its cap of connections.
        const std::string from = m_kind == Kind::Slow ? "127.0.4.1" : "127.0.5." + std::to_string(i % 20 + 1);
        return {std::make_unique<RawClient>(m_port, from.c_str()), 0};
    }

    void keepUp()
    {
        static const std::string header =
            "POST /call HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/cbor\r\nX-Padding: " + std::string(2000, 'p') + "\r\n\r\n";
        while (!m_stop) {
            for (size_t i = 0; i < m_clients.size(); ++i) {
                Client &c = m_clients[i];
                bool alive = !c.socket->closedByServer();
                if (alive && m_kind == Kind::Slow) alive = c.socket->send(header.substr(c.sent++ % header.size(), 1));
                if (!alive) {
                    c = open(int(i));
                    ++m_replaced;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }

    int m_port;
    Kind m_kind;
    std::vector<Client> m_clients;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_replaced{0};
    std::thread m_thread;
};

struct Server {
    BenchService service;
    HttpServer http{service};
    std::unique_ptr<HttpLink> link;

    Server()
    {
        QString why;
        if (!http.listen(&why)) qFatal("cannot start the server: %s", qPrintable(why));
        HttpLinkOptions o;
        o.port = http.port();
        o.readTimeout = std::chrono::seconds(60);
        link = std::make_unique<HttpLink>(o);
    }
};

double timedCall(HttpLink &link, qint64 n, bool *right)
{
    wire::Call call{QStringLiteral("Bench"), QStringLiteral("Small"), QStringLiteral("b5f0c3a1"), {{n, false}, {qint64(2012), false}, {wire::Null{}, true}}};
    const auto start = Clock::now();
    const wire::Reply r = link.call(call);
    const double ns = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
    *right = r.ok() && r.result == wire::Value(n) && r.refs.value(2) == wire::Value(qint64(45));
    return ns;
}

double percentile(std::vector<double> v, double p)
{
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size())))];
}

void compare(benchmark::State &state, Abusers::Kind kind, int count)
{
    Server quiet, abused;
    Abusers abusers(abused.http.port(), kind, count);
    // Long enough for the abusers to be in place, and for a front that gives each connection a
    // thread to have given them all.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    std::vector<double> quietNs, abusedNs;
    qint64 n = 0;
    for (auto _ : state) {
        bool rightQuiet = false, rightAbused = false;
        double q = 0, a = 0;
        if (n % 2 == 0) {
            q = timedCall(*quiet.link, n, &rightQuiet);
            a = timedCall(*abused.link, n, &rightAbused);
        } else {
            a = timedCall(*abused.link, n, &rightAbused);
            q = timedCall(*quiet.link, n, &rightQuiet);
        }
        ++n;
        quietNs.push_back(q);
        abusedNs.push_back(a);
        state.SetIterationTime(a * 1e-9);
        if (!rightQuiet || !rightAbused) {
            state.SkipWithError("a call got a wrong reply");
            return;
        }
    }
    const auto mean = [](const std::vector<double> &v) {
        double sum = 0;
        for (double x : v)
            sum += x;
        return v.empty() ? 0.0 : sum / double(v.size());
    };
    state.counters["quiet_ns"] = mean(quietNs);
    state.counters["abused_ns"] = mean(abusedNs);
    state.counters["ratio"] = mean(quietNs) > 0 ? mean(abusedNs) / mean(quietNs) : 0.0;
    state.counters["quiet_p99_ns"] = percentile(quietNs, 0.99);
    state.counters["abused_p99_ns"] = percentile(abusedNs, 0.99);
    state.counters["p99_ratio"] = percentile(quietNs, 0.99) > 0 ? percentile(abusedNs, 0.99) / percentile(quietNs, 0.99) : 0.0;
    state.counters["abusers_replaced"] = abusers.replaced();
}

void BM_CallWith64SlowClients(benchmark::State &state)
{
    compare(state, Abusers::Kind::Slow, 64);
}

void BM_CallWith500IdleConnections(benchmark::State &state)
{
    compare(state, Abusers::Kind::Idle, 500);
}

BENCHMARK(BM_CallWith64SlowClients)->UseManualTime()->Iterations(60000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CallWith500IdleConnections)->UseManualTime()->Iterations(40000)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
