#pragma once
// The demo school's source of chance. Built on std::mt19937, whose sequence the standard fixes, with
// its own integer, real and normal draws (the standard library's distributions differ between
// implementations), so that one seed gives the same school everywhere.

#include <QList>

#include <cmath>
#include <cstdint>
#include <random>

namespace lumeko::server::seed {

class Random {
public:
    explicit Random(quint32 seed) : m_gen(seed) {}

    quint32 next() { return quint32(m_gen()); }

    // 0 <= result < n, without the bias of a plain remainder.
    int below(int n)
    {
        if (n <= 1) return 0;
        const quint64 range = quint64(1) << 32;
        const quint64 limit = range - range % quint64(n);
        quint64 r;
        do r = next(); while (r >= limit);
        return int(r % quint64(n));
    }
    int between(int lo, int hi) { return lo + below(hi - lo + 1); } // both ends included

    // Uniform in [0, 1) with 53 random bits.
    double unit()
    {
        const quint64 a = next() >> 5, b = next() >> 6;
        return double(a * 67108864u + b) / 9007199254740992.0;
    }
    bool chance(double p) { return unit() < p; }

    // Standard normal, by the polar method.
    double normal()
    {
        if (m_hasSpare) {
            m_hasSpare = false;
            return m_spare;
        }
        double u, v, s;
        do {
            u = 2.0 * unit() - 1.0;
            v = 2.0 * unit() - 1.0;
            s = u * u + v * v;
        } while (s >= 1.0 || s == 0.0);
        const double f = std::sqrt(-2.0 * std::log(s) / s);
        m_spare = v * f;
        m_hasSpare = true;
        return u * f;
    }
    double normal(double mean, double sd) { return mean + sd * normal(); }

    template <typename T> const T &pick(const QList<T> &items) { return items[below(int(items.size()))]; }
    template <typename T, std::size_t N> const T &pick(const T (&items)[N]) { return items[below(int(N))]; }

    // An index drawn with the given weights (all >= 0, not all 0).
    template <typename Weights> int weighted(const Weights &weights)
    {
        double total = 0;
        for (const auto &w : weights) total += w;
        double r = unit() * total;
        int i = 0;
        for (const auto &w : weights) {
            if (r < w) return i;
            r -= w;
            ++i;
        }
        return i - 1;
    }

private:
    std::mt19937 m_gen;
    bool m_hasSpare = false;
    double m_spare = 0;
};

} // namespace lumeko::server::seed
