#pragma once

#include <memory>

namespace sys {

/// Where the program learns the screen's logical resolution. Tests install their own.
class DpiSource {
public:
    virtual ~DpiSource() = default;
    /// Logical dots per inch of the screen the windows are measured on.
    virtual double logicalDpi() const = 0;
};

/// Replaces the DPI source; nullptr goes back to asking the primary screen.
/// @return the source it replaced (nullptr for the primary screen)
std::unique_ptr<DpiSource> setDpiSource(std::unique_ptr<DpiSource> source);

/// Logical dots per inch, from the installed source (96 when no screen is known).
double logicalDpi();

/// Twips (1/1440 inch) per device-independent pixel: 15 at 96 DPI.
float twipsPerPixel();

/// Nearest whole pixel count for a length in twips.
int twipsToPixels(float twips);

/// The same with a given scale, for work away from the user-interface thread.
int twipsToPixels(float twips, float twipsPerPixel);

/// Length in twips of a whole number of pixels.
float pixelsToTwips(int pixels);

} // namespace sys
