#include "imaging/DecoderMemory.h"

#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio> // before the library's header, which uses FILE
#include <cstdlib>
#include <mutex>
#include <vector>

#include <jpeglib.h>

// A decode's large blocks (a progressive photo's coefficients, hundreds of megabytes; a large
// file read whole) cost about as much in fresh pages as the decoding itself: the kernel clears
// every page on first touch, and on a virtual machine the host backs it anew. So the blocks the
// last decodes gave back are handed to the next, and new ones are mapped in huge pages where the
// kernel allows.

namespace {

// Each block starts with its header; a block of at least kLarge bytes is a mapping of its own,
// shared by the decoding threads rather than kept in the heap of the one that freed it.
constexpr std::size_t kHeader = 64; // keeps the library's 16- and 32-byte alignment
constexpr std::size_t kLarge = 1u << 20;
// Large blocks come in steps, so that the next photo's, a little larger, fits one kept.
constexpr std::size_t kStep = 1u << 20;
constexpr std::size_t kHugeStep = 8u << 20; // from kHugeFrom on
constexpr std::size_t kHugeFrom = 64u << 20;
constexpr std::size_t kHugePage = 2u << 20; // the processor's large page, where mappings use one
// Blocks kept free for the next decodes: those of two decodes at once (a file, the pixels, and
// a component's coefficients each), within about the decodes' own memory budget.
constexpr std::size_t kKeptBlocks = 12;
constexpr std::size_t kKeptBytes = 640u << 20;

struct Block {
    std::size_t length; // of the whole block, header included; 0 for one from malloc
};

std::mutex keptLock;
// The large blocks handed out and not given back: what decodes and their pictures hold now.
std::atomic<std::size_t> blocksInUse{0};
std::vector<void *> &keptBlocks() // free mappings, the most recently freed last
{
    // Never destroyed: a picture freed while the program ends still gives its block back.
    static auto *kept = new std::vector<void *>;
    return *kept;
}

std::size_t lengthOf(void *block)
{
    return static_cast<Block *>(block)->length;
}

void *takeKept(std::size_t length, std::size_t step)
{
    const std::lock_guard<std::mutex> lock(keptLock);
    std::vector<void *> &kept = keptBlocks();
    // The smallest that will do, and at most a step larger: a block stays resident as far as it
    // was ever written, so a picture kept in a file's block would hold the file's memory for as
    // long as it is kept, and the next file would map another.
    auto best = kept.end();
    for (auto it = kept.begin(); it != kept.end(); ++it) {
        const std::size_t have = lengthOf(*it);
        if (have >= length && have - length <= step &&
            (best == kept.end() || have < lengthOf(*best)))
            best = it;
    }
    if (best == kept.end())
        return nullptr;
    void *block = *best;
    kept.erase(best);
    return block;
}

// A huge page is resident whole once touched: only the huge pages that the first use fills are
// asked for, and the rest of the block, the step's slack above all, stays in plain pages that
// count only once written. Ten pictures of the screen's size would otherwise hold a third of a
// megabyte each that nothing uses.
void *mapBlock(std::size_t length, std::size_t used)
{
    void *block =
        ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED)
        return nullptr;
    const std::size_t huge = std::min(used, length) / kHugePage * kHugePage;
    if (huge > 0)
        ::madvise(block, huge, MADV_HUGEPAGE); // advice only: without it, plain pages
    static_cast<Block *>(block)->length = length;
    return block;
}

void keep(void *block)
{
    std::vector<void *> unmapped;
    {
        const std::lock_guard<std::mutex> lock(keptLock);
        std::vector<void *> &kept = keptBlocks();
        kept.push_back(block);
        std::size_t bytes = 0;
        for (void *b : kept)
            bytes += lengthOf(b);
        while (kept.size() > kKeptBlocks || (bytes > kKeptBytes && !kept.empty())) {
            bytes -= lengthOf(kept.front());
            unmapped.push_back(kept.front());
            kept.erase(kept.begin());
        }
    }
    for (void *b : unmapped)
        ::munmap(b, lengthOf(b));
}

} // namespace

// The JPEG library takes its large blocks through these two, which it leaves to the system.
extern "C" void *jpeg_get_large(j_common_ptr, std::size_t size)
{
    return imaging::takeDecoderBlock(size);
}

extern "C" void jpeg_free_large(j_common_ptr, void *object, std::size_t)
{
    imaging::giveBackDecoderBlock(object);
}

namespace imaging {

void *takeDecoderBlock(std::size_t size)
{
    const std::size_t length = size + kHeader;
    if (length < size)
        return nullptr;
    void *block = nullptr;
    if (length < kLarge) {
        block = std::malloc(length);
        if (block)
            static_cast<Block *>(block)->length = 0;
    } else if (length <= SIZE_MAX - kHugeStep) {
        const std::size_t step = length < kHugeFrom ? kStep : kHugeStep;
        const std::size_t stepped = (length + step - 1) / step * step;
        block = takeKept(stepped, step);
        if (!block)
            block = mapBlock(stepped, length);
        if (block)
            blocksInUse += lengthOf(block); // what giving it back takes off
    }
    return block ? static_cast<char *>(block) + kHeader : nullptr;
}

void giveBackDecoderBlock(void *object)
{
    if (!object)
        return;
    void *block = static_cast<char *>(object) - kHeader;
    if (lengthOf(block) == 0) {
        std::free(block);
        return;
    }
    blocksInUse -= lengthOf(block);
    keep(block);
}

QImage imageInDecoderBlock(QSize size, qsizetype stride, QImage::Format format)
{
    void *block = takeDecoderBlock(std::size_t(stride) * std::size_t(size.height()));
    if (!block)
        return QImage();
    return QImage(static_cast<uchar *>(block), size.width(), size.height(), stride, format,
                  giveBackDecoderBlock, block);
}

void releaseDecoderMemory()
{
    std::vector<void *> kept;
    {
        const std::lock_guard<std::mutex> lock(keptLock);
        kept.swap(keptBlocks());
    }
    for (void *block : kept)
        ::munmap(block, lengthOf(block));
}

std::size_t decoderMemoryInUse()
{
    return blocksInUse.load();
}

std::size_t decoderMemoryKept()
{
    const std::lock_guard<std::mutex> lock(keptLock);
    std::size_t bytes = 0;
    for (void *block : keptBlocks())
        bytes += lengthOf(block);
    return bytes;
}

} // namespace imaging
