// The program's operator new: blocks of 4 MiB and more (pictures, the
// contents of large nodes on their way through LZW and DES) are asked for in
// transparent huge pages where the system offers them on request. Touching
// such a block the first time then costs one page fault per 2 MiB instead of
// one per 4 KiB, which is most of the time of decoding or writing a large
// picture. Smaller blocks are plain malloc. Every block is released by free.
//
// Left out under the sanitizers, whose own operator new checks pairs.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define KEL_SANITIZED 1
#endif
#endif
#else
#define KEL_SANITIZED 1
#endif

#ifndef KEL_SANITIZED

#include <sys/mman.h>

#include <cstdlib>
#include <new>

namespace {

constexpr std::size_t kLargeBlock = std::size_t(4) << 20;
constexpr std::size_t kHugePage = std::size_t(2) << 20;
constexpr std::size_t kPage = 4096;

void* Allocate(std::size_t size)
{
    if (size < kLargeBlock)
        return std::malloc(size ? size : 1);
    void* p = nullptr;
    if (posix_memalign(&p, kHugePage, size) != 0)
        return nullptr;
    madvise(p, (size + kPage - 1) & ~(kPage - 1), MADV_HUGEPAGE);   // advice only: may be refused
    return p;
}

} // namespace

void* operator new(std::size_t size)
{
    for (;;) {
        if (void* p = Allocate(size))
            return p;
        std::new_handler handler = std::get_new_handler();
        if (!handler)
            throw std::bad_alloc();
        handler();
    }
}

void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

#endif
