#pragma once
// Timing shared by the score benchmarks: our operation and its baseline are timed in the same
// iteration, alternating which goes first so that neither always runs on caches (or a database
// page cache) the other warmed. Every benchmark reports
//   ours_ns  our time per iteration
//   base_ns  the baseline's time per iteration
//   ratio    ours_ns / base_ns
// and the iteration time Google Benchmark shows (manual time) is ours.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>

namespace lumeko::bench {

// The time `work` takes, in nanoseconds.
template <typename Work> double elapsedNs(Work &&work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
}

class PairClock {
public:
    // `ours` and `base` do their whole turn (preparing, the timed work, checking) and answer the
    // nanoseconds of their timed part, so that what is prepared or checked stays outside it.
    template <typename Ours, typename Base> void runSides(benchmark::State &state, Ours &&ours, Base &&base)
    {
        double o = 0, b = 0;
        if (m_runs % 2 == 0) {
            o = ours();
            b = base();
        } else {
            b = base();
            o = ours();
        }
        ++m_runs;
        m_ours += o;
        m_base += b;
        state.SetIterationTime(o * 1e-9);
    }

    // Both sides are nothing but timed work.
    template <typename Ours, typename Base> void run(benchmark::State &state, Ours &&ours, Base &&base)
    {
        runSides(
            state, [&] { return elapsedNs(ours); }, [&] { return elapsedNs(base); });
    }

    double oursNs() const { return m_runs ? m_ours / double(m_runs) : 0; }
    double baseNs() const { return m_runs ? m_base / double(m_runs) : 0; }
    std::int64_t runs() const { return m_runs; }

    // ours_ns, base_ns and ratio; with `speedup`, also base_over_ours (how many times faster ours is).
    void report(benchmark::State &state, bool speedup = false) const
    {
        state.counters["ours_ns"] = oursNs();
        state.counters["base_ns"] = baseNs();
        state.counters["ratio"] = baseNs() > 0 ? oursNs() / baseNs() : 0.0;
        if (speedup) state.counters["base_over_ours"] = oursNs() > 0 ? baseNs() / oursNs() : 0.0;
    }

private:
    std::int64_t m_runs = 0;
    double m_ours = 0;
    double m_base = 0;
};

} // namespace lumeko::bench
