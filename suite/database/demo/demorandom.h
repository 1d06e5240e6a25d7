#pragma once
// The demo data's random numbers: xoshiro256** seeded through splitmix64. Written out here rather
// than taken from <random>, whose distributions differ between standard libraries: the same seed
// must give the same database everywhere.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace qv::suite::demo {

class Rng {
public:
    explicit Rng(std::uint64_t seed) {
        for (auto& s : s_) {
            seed += 0x9E3779B97F4A7C15ull;
            std::uint64_t z = seed;
            z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
            z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
            s = z ^ (z >> 31);
        }
    }

    std::uint64_t Next() {
        const std::uint64_t result = Rotl(s_[1] * 5, 7) * 9;
        const std::uint64_t t = s_[1] << 17;
        s_[2] ^= s_[0];
        s_[3] ^= s_[1];
        s_[1] ^= s_[2];
        s_[0] ^= s_[3];
        s_[2] ^= t;
        s_[3] = Rotl(s_[3], 45);
        return result;
    }

    // Uniform in [lo, hi]; the modulo bias is far below anything the data could show.
    int Range(int lo, int hi) {
        if (hi <= lo) return lo;
        return lo + int(Next() % std::uint64_t(hi - lo + 1));
    }

    double Real() { return double(Next() >> 11) * 0x1.0p-53; }
    bool Chance(double p) { return Real() < p; }

    template <class T>
    const T& Pick(const std::vector<T>& v) {
        return v[std::size_t(Range(0, int(v.size()) - 1))];
    }
    template <class T, std::size_t N>
    const T& Pick(const T (&a)[N]) {
        return a[std::size_t(Range(0, int(N) - 1))];
    }

    // An index by weight (weights need not sum to anything in particular).
    int Weighted(const std::vector<double>& weights) {
        double sum = 0;
        for (double w : weights) sum += w;
        double x = Real() * sum;
        for (std::size_t i = 0; i < weights.size(); ++i) {
            if (x < weights[i]) return int(i);
            x -= weights[i];
        }
        return int(weights.size()) - 1;
    }

    template <class T>
    void Shuffle(std::vector<T>& v) {
        for (std::size_t i = v.size(); i > 1; --i) std::swap(v[i - 1], v[std::size_t(Range(0, int(i) - 1))]);
    }

    // A version-4 GUID in the database's form: upper case, no braces.
    std::string Guid() {
        std::uint64_t a = Next(), b = Next();
        a = (a & ~0xF000ull) | 0x4000ull;                   // version 4
        b = (b & 0x3FFFFFFFFFFFFFFFull) | 0x8000000000000000ull;  // variant 10
        static const char* hex = "0123456789ABCDEF";
        std::string out;
        out.reserve(36);
        auto put = [&](std::uint64_t v, int digits) {
            for (int i = digits - 1; i >= 0; --i) out += hex[(v >> (4 * i)) & 0xF];
        };
        put(a >> 32, 8);
        out += '-';
        put((a >> 16) & 0xFFFF, 4);
        out += '-';
        put(a & 0xFFFF, 4);
        out += '-';
        put(b >> 48, 4);
        out += '-';
        put(b & 0xFFFFFFFFFFFFull, 12);
        return out;
    }

private:
    static std::uint64_t Rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
    std::uint64_t s_[4];
};

}  // namespace qv::suite::demo
