#include "system/Random.h"

#include <chrono>
#include <random>
#include <utility>

namespace sys {

namespace {

class ClockRandom : public RandomSource {
public:
    void randomize() override
    {
        const auto now = std::chrono::system_clock::now().time_since_epoch();
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(now).count();
        m_engine.seed(static_cast<std::mt19937::result_type>(ns ^ (ns >> 32)));
    }

    float rnd() override
    {
        // 24 random bits fill a float's mantissa exactly, so the result can never round up to 1.
        return static_cast<float>(m_engine() >> 8) * (1.0f / 16777216.0f);
    }

private:
    std::mt19937 m_engine{5489u};
};

std::unique_ptr<RandomSource> &installed()
{
    static std::unique_ptr<RandomSource> source = std::make_unique<ClockRandom>();
    return source;
}

} // namespace

RandomSource &random()
{
    return *installed();
}

std::unique_ptr<RandomSource> setRandomSource(std::unique_ptr<RandomSource> source)
{
    return std::exchange(installed(), source ? std::move(source) : std::make_unique<ClockRandom>());
}

} // namespace sys
