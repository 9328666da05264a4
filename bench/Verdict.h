#pragma once

// How the benchmark prints its figures and judges its targets. A ratio is never one measurement
// against another taken minutes apart: each comes from pairs measured turn about, so that what
// else the machine runs weighs on both sides of every pair alike, and its verdict looks at all
// the pairs, not at one lucky or unlucky median.

#include <QByteArray>

#include <vector>

namespace bench {

/// Measurements of one figure: their median and their whole range.
struct Spread {
    double median = 0;
    double low = 0;
    double high = 0;
    int count = 0;
};

Spread spreadOf(std::vector<double> samples);

enum class Verdict {
    Ok,     ///< the median is within the limit
    Unsure, ///< the median is past the limit, but some measurements are within it
    Miss,   ///< every measurement is past the limit
};

Verdict verdictOf(const Spread &spread, double limit);

/// One line: a figure and its unit.
void figure(const QByteArray &name, double value, const char *unit);
/// One line: a figure's median, its range and its unit.
void figure(const QByteArray &name, const Spread &spread, const char *unit);
/// One line: a note that is no figure (a part skipped, a tool missing).
void note(const char *format, ...);

/// One line: the target's median, its range, the limit and the verdict. `samples` are the
/// ratios of the pairs, or the repeated measurements of a figure with a fixed limit.
Verdict target(const QByteArray &name, const std::vector<double> &samples, double limit);
/// A target that could not be measured at all counts as missed.
void unmeasured(const QByteArray &name, const char *why);

/// The closing line; true when no target was missed.
bool summary();

} // namespace bench
