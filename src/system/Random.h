#pragma once

#include <memory>

namespace sys {

/// The program's pseudo-random generator of single-precision numbers.
class RandomSource {
public:
    virtual ~RandomSource() = default;
    /// Starts a new sequence seeded from the system clock.
    virtual void randomize() = 0;
    /// Next number r of the sequence, 0 <= r < 1.
    virtual float rnd() = 0;
};

/// The generator in use: a clock-seeded one unless another was installed.
RandomSource &random();

/// Replaces the generator; nullptr goes back to the clock-seeded one.
/// @return the generator it replaced, so that a test can put it back
std::unique_ptr<RandomSource> setRandomSource(std::unique_ptr<RandomSource> source);

} // namespace sys
