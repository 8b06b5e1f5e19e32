// The random numbers of a field run: xoshiro256** (Blackman and Vigna),
// seeded through splitmix64, and only integer arithmetic on top, so that one
// seed gives the same run with any compiler and standard library.
#pragma once

#include <cstddef>
#include <cstdint>

namespace modem {

class FieldRandom {
public:
    explicit FieldRandom(std::uint64_t seed) {
        for (std::uint64_t& word : state_) word = SplitMix(seed);
    }

    std::uint64_t Next() {
        const std::uint64_t result = Rotl(state_[1] * 5, 7) * 9;
        const std::uint64_t t = state_[1] << 17;
        state_[2] ^= state_[0];
        state_[3] ^= state_[1];
        state_[1] ^= state_[2];
        state_[0] ^= state_[3];
        state_[2] ^= t;
        state_[3] = Rotl(state_[3], 45);
        return result;
    }

    // Uniform in [0, n), n > 0, without the bias of a plain modulo.
    std::uint64_t Below(std::uint64_t n) {
        const std::uint64_t limit = ~std::uint64_t{0} - (~std::uint64_t{0} % n);
        std::uint64_t x;
        do {
            x = Next();
        } while (x >= limit);
        return x % n;
    }
    // Uniform in [low, high].
    std::uint64_t Between(std::uint64_t low, std::uint64_t high) { return low + Below(high - low + 1); }
    // True with a chance of `percent` in 100.
    bool Percent(unsigned percent) { return Below(100) < percent; }
    // True with a chance of `permille` in 1000.
    bool Permille(unsigned permille) { return Below(1000) < permille; }
    template <typename T, std::size_t N>
    const T& Pick(const T (&items)[N]) { return items[Below(N)]; }

private:
    static std::uint64_t Rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
    static std::uint64_t SplitMix(std::uint64_t& x) {
        std::uint64_t z = (x += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::uint64_t state_[4];
};

}  // namespace modem
