#pragma once

#include <QImage>
#include <QSize>

#include <cstddef>

namespace imaging {

/// A block of at least `size` bytes for a decode, from those earlier decodes gave back where
/// one is large enough; null when there is no memory for it.
void *takeDecoderBlock(std::size_t size);
/// Gives a block from takeDecoderBlock back for the next decodes; null is ignored.
void giveBackDecoderBlock(void *block);

/// An image of `size`, `stride` bytes a row, in a block from takeDecoderBlock that goes back
/// once nobody holds the image; null when there is no memory for it.
QImage imageInDecoderBlock(QSize size, qsizetype stride, QImage::Format format);

/// Gives back to the system the large blocks that finished decodes left for the next ones.
/// Decodes keep them while a show runs; call this once none is expected for a while.
void releaseDecoderMemory();

/// The bytes of large blocks handed out and not given back yet: the files, coefficients and
/// pixels of the decodes running and of the pictures they made.
std::size_t decoderMemoryInUse();

/// The bytes kept for the next decodes.
std::size_t decoderMemoryKept();

} // namespace imaging
