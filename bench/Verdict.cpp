#include "Verdict.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace bench {

namespace {

int verdicts[3] = {};

const char *verdictName(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Ok:
        return "OK";
    case Verdict::Unsure:
        return "UNSURE";
    case Verdict::Miss:
        return "MISS";
    }
    return "";
}

} // namespace

Spread spreadOf(std::vector<double> samples)
{
    Spread spread;
    if (samples.empty())
        return spread;
    std::sort(samples.begin(), samples.end());
    const size_t n = samples.size();
    spread.median = n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2.0;
    spread.low = samples.front();
    spread.high = samples.back();
    spread.count = int(n);
    return spread;
}

Verdict verdictOf(const Spread &spread, double limit)
{
    if (spread.count > 0 && spread.median <= limit)
        return Verdict::Ok;
    return spread.count > 0 && spread.low <= limit ? Verdict::Unsure : Verdict::Miss;
}

void figure(const QByteArray &name, double value, const char *unit)
{
    std::printf("%-66s %10.3f %s\n", name.constData(), value, unit);
    std::fflush(stdout);
}

void figure(const QByteArray &name, const Spread &spread, const char *unit)
{
    std::printf("%-66s %10.3f %s  [%.3f .. %.3f, %d]\n", name.constData(), spread.median, unit,
                spread.low, spread.high, spread.count);
    std::fflush(stdout);
}

void note(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::printf("\n");
    std::fflush(stdout);
}

Verdict target(const QByteArray &name, const std::vector<double> &samples, double limit)
{
    const Spread spread = spreadOf(samples);
    const Verdict verdict = verdictOf(spread, limit);
    ++verdicts[int(verdict)];
    std::printf("target %-59s %10.3f  [%.3f .. %.3f, %d] <= %.2f %s\n", name.constData(),
                spread.median, spread.low, spread.high, spread.count, limit, verdictName(verdict));
    std::fflush(stdout);
    return verdict;
}

void unmeasured(const QByteArray &name, const char *why)
{
    ++verdicts[int(Verdict::Miss)];
    std::printf("target %-59s not measured: %s MISS\n", name.constData(), why);
    std::fflush(stdout);
}

bool summary()
{
    std::printf("targets: %d OK, %d UNSURE (median past the limit, not every pair), %d MISS\n",
                verdicts[int(Verdict::Ok)], verdicts[int(Verdict::Unsure)],
                verdicts[int(Verdict::Miss)]);
    std::printf("%s\n",
                verdicts[int(Verdict::Miss)] == 0 ? "no target MISSED" : "some targets MISSED");
    return verdicts[int(Verdict::Miss)] == 0;
}

} // namespace bench
