// What the HTTP transport costs a call, measured against the in-process link of the embedded host,
// which hands the call straight to the service without encoding it.
//
// One service answers two methods: Bench.Small (three short arguments, one of them written back,
// a short text result: the shape of most query calls) and Bench.Rows (a 2,000-row packet of a
// grade's students with their scores). Each iteration makes the same call through the LocalLink
// and through an HttpLink to an HttpServer in this process, alternating which goes first, and
// reports
//   http_ns   the HTTP call's time per iteration (encode, POST over loopback, decode, both ways)
//   local_ns  the in-process call's time per iteration
//   ratio     http_ns / local_ns
//   codec_ns  encoding and decoding the call and the reply alone, without a socket, so that
//             http_ns - codec_ns is what HTTP over loopback adds
//   reply_bytes  the size of the encoded reply
// The reported iteration time (manual time) is the HTTP call's. Every iteration also checks,
// outside the timed part, that both links gave the same reply, and fails the run when not.

#include "link/httplink.h"
#include "server/http/httpserver.h"
#include "wire/link.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <memory>

namespace {

using namespace lumeko;
using namespace lumeko::server;
using namespace lumeko::link;
using wire::FieldDef;
using wire::FieldType;
using Clock = std::chrono::steady_clock;

constexpr int kRows = 2'000;

wire::DataPacket gradeStudents()
{
    wire::DataPacket p({{QStringLiteral("sCode"), FieldType::Text, 38, FieldDef::Key},
                        {QStringLiteral("sStudNo"), FieldType::Text, 14, 0},
                        {QStringLiteral("sName"), FieldType::Text, 20, FieldDef::Required},
                        {QStringLiteral("ClassCode"), FieldType::Text, 4, 0},
                        {QStringLiteral("iSeatNo"), FieldType::Integer, 0, 0},
                        {QStringLiteral("C_YW"), FieldType::Float, 0, 0},
                        {QStringLiteral("C_SX"), FieldType::Float, 0, 0},
                        {QStringLiteral("C_YY"), FieldType::Float, 0, 0},
                        {QStringLiteral("FullTotal"), FieldType::Float, 0, FieldDef::ReadOnly},
                        {QStringLiteral("FullOrder"), FieldType::Integer, 0, FieldDef::ReadOnly},
                        {QStringLiteral("Selected"), FieldType::Boolean, 0, 0},
                        {QStringLiteral("dBirthday"), FieldType::Date, 0, 0}});
    static const char16_t *const family[] = {u"王", u"李", u"张", u"刘", u"陈", u"杨", u"黄", u"赵"};
    static const char16_t *const given[] = {u"小明", u"思思", u"伟", u"静怡", u"浩然", u"欣怡", u"子轩", u"雨涵"};
    for (int r = 0; r < kRows; ++r) {
        const double yw = 60 + r % 41, sx = 55 + (r * 7) % 46, yy = 50 + (r * 13) % 51;
        p.appendRow({QStringLiteral("{%1-0000-0000-0000-000000000000}").arg(r, 8, 16, QLatin1Char('0')),
                     QStringLiteral("2012%1").arg(r, 6, 10, QLatin1Char('0')),
                     QString::fromUtf16(family[r % 8]) + QString::fromUtf16(given[(r / 8) % 8]),
                     QStringLiteral("07%1").arg(r / 50 + 1, 2, 10, QLatin1Char('0')), qint64(r % 50 + 1),
                     r % 97 == 5 ? QVariant() : QVariant(yw), sx, yy, yw + sx + yy, qint64(r + 1), r % 3 == 0,
                     QDate(2005, 9, 1).addDays(r % 365)});
    }
    return p;
}

class BenchService : public CallService {
public:
    wire::Reply handle(wire::Call &call, const CallOrigin &) override
    {
        wire::Reply r;
        if (call.method == QLatin1String("Small")) {
            r.result = QStringLiteral("3301001:2012:07");
            r.refs.insert(2, qint64(45));
        } else {
            r.result = m_rows;
        }
        return r;
    }

private:
    const wire::DataPacket m_rows = gradeStudents();
};

struct Fixture {
    BenchService service;
    HttpServer server{service};
    std::unique_ptr<HttpLink> http;
    LocalLink local{service};

    Fixture()
    {
        QString why;
        if (!server.listen(&why)) qFatal("cannot start the server: %s", qPrintable(why));
        HttpLinkOptions o;
        o.port = server.port();
        http = std::make_unique<HttpLink>(o);
    }
};

Fixture &fixture()
{
    static Fixture f;
    return f;
}

wire::Call smallCall()
{
    return {QStringLiteral("Bench"), QStringLiteral("Small"), QStringLiteral("b5f0c3a1"),
            {{QStringLiteral("3301001"), false}, {qint64(2012), false}, {wire::Null{}, true}}};
}

wire::Call rowsCall()
{
    return {QStringLiteral("Bench"), QStringLiteral("Rows"), QStringLiteral("b5f0c3a1"),
            {{QStringLiteral("3301001"), false}, {qint64(2012), false}, {QStringLiteral("07"), false}}};
}

double timedCall(ServerLink &link, const wire::Call &prototype, wire::Reply *reply)
{
    wire::Call call = prototype; // copied outside the clock: the service may take the call apart
    const auto start = Clock::now();
    *reply = link.call(call);
    return std::chrono::duration<double, std::nano>(Clock::now() - start).count();
}

// What the link and the server do to the bytes of one call, without a socket between them.
double timedCodec(CallService &service, const wire::Call &prototype)
{
    const auto start = Clock::now();
    wire::Call call = wire::decodeCall(wire::encodeCall(prototype));
    const wire::Reply reply = wire::decodeReply(wire::encodeReply(service.handle(call, CallOrigin{})));
    benchmark::DoNotOptimize(reply);
    return std::chrono::duration<double, std::nano>(Clock::now() - start).count();
}

void compare(benchmark::State &state, wire::Call (*makeCall)())
{
    Fixture &f = fixture();
    const wire::Call prototype = makeCall();
    double httpNs = 0, localNs = 0, codecNs = 0;
    std::int64_t runs = 0;
    wire::Reply overHttp, inProcess;
    for (auto _ : state) {
        double h = 0, l = 0;
        if (runs % 2 == 0) {
            h = timedCall(*f.http, prototype, &overHttp);
            l = timedCall(f.local, prototype, &inProcess);
        } else {
            l = timedCall(f.local, prototype, &inProcess);
            h = timedCall(*f.http, prototype, &overHttp);
        }
        ++runs;
        httpNs += h;
        localNs += l;
        state.SetIterationTime(h * 1e-9);
        codecNs += timedCodec(f.service, prototype);
        if (!overHttp.ok() || !(overHttp == inProcess)) {
            state.SkipWithError(qPrintable(QStringLiteral("the replies differ: %1").arg(overHttp.message)));
            return;
        }
    }
    const double n = runs ? double(runs) : 1.0;
    state.counters["http_ns"] = httpNs / n;
    state.counters["local_ns"] = localNs / n;
    state.counters["ratio"] = localNs > 0 ? httpNs / localNs : 0.0;
    state.counters["codec_ns"] = codecNs / n;
    state.counters["reply_bytes"] = double(wire::encodeReply(inProcess).size());
}

void BM_SmallCall(benchmark::State &state)
{
    compare(state, smallCall);
}

void BM_Packet2000Rows(benchmark::State &state)
{
    compare(state, rowsCall);
    state.counters["rows"] = kRows;
}

BENCHMARK(BM_SmallCall)->UseManualTime()->Iterations(3000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Packet2000Rows)->UseManualTime()->Iterations(200)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
