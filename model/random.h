// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <random>

// A seeded engine giving single-precision values in [0, 1): the top 24 bits of a 32-bit output
// scaled by 2^-24, so the largest value is 1 - 2^-24 and never 1.
class RandomGenerator {
public:
    void seed(std::uint32_t value) { m_engine.seed(value); }
    float next() { return toUnit(m_engine()); }
    static float toUnit(std::uint32_t bits) {
        return static_cast<float>(bits >> 8) * (1.0f / 16777216.0f);
    }

private:
    std::mt19937 m_engine{5489u};
};
