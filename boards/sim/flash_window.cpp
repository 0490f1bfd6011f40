#include "flash_window.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "device/board.h"
#include "protocol.h"

namespace sim {

static_assert(simlink::kFlash2Bytes == kFlash2Size &&
                  simlink::kFlash2SectorBytes == kFlash2SectorSize,
              "the link's Flash2 sizes are the board's");

namespace {

// How much erased flash one mapping of the shared block covers. Any whole number of sectors
// works; 1 MB keeps the block small and the mappings per window few (28 at most).
constexpr size_t kErasedBlock = 0x100000;
static_assert(kErasedBlock % kFlash2SectorSize == 0);

// The erased block of this process, made on first use and kept for its life (forked copies
// share it).
int erased_block() {
    static int fd = -1;
    if (fd >= 0) return fd;
    const int made = memfd_create("voxa-flash-erased", MFD_CLOEXEC);
    if (made < 0) return -1;
    if (ftruncate(made, kErasedBlock) != 0) {
        close(made);
        return -1;
    }
    void* p = mmap(nullptr, kErasedBlock, PROT_READ | PROT_WRITE, MAP_SHARED, made, 0);
    if (p == MAP_FAILED) {
        close(made);
        return -1;
    }
    std::memset(p, 0xFF, kErasedBlock);
    munmap(p, kErasedBlock);
    fd = made;
    return fd;
}

}  // namespace

const uint8_t* map_flash_window(int fd, const uint8_t* at) {
    struct stat st;
    if (fstat(fd, &st) != 0) return nullptr;
    const size_t page = size_t(sysconf(_SC_PAGESIZE));
    const size_t file = size_t(st.st_size);
    if (st.st_size < 0 || file > kFlash2Size || file % page != 0) {
        errno = EINVAL;
        return nullptr;
    }
    const int erased = erased_block();
    if (erased < 0) return nullptr;
    // The whole range first, so that the pieces land next to each other and nothing else can
    // take a gap between them.
    void* base = const_cast<uint8_t*>(at);
    if (!base) {
        base = mmap(nullptr, kFlash2Size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE,
                    -1, 0);
        if (base == MAP_FAILED) return nullptr;
    }
    auto* window = static_cast<uint8_t*>(base);
    const auto fail = [&] {
        const int error = errno;
        if (!at) munmap(base, kFlash2Size);
        errno = error;
        return nullptr;
    };
    if (file > 0 && mmap(window, file, PROT_READ, MAP_SHARED | MAP_FIXED, fd, 0) == MAP_FAILED) {
        return fail();
    }
    for (size_t off = file; off < kFlash2Size; off += kErasedBlock) {
        const size_t n = kFlash2Size - off < kErasedBlock ? kFlash2Size - off : kErasedBlock;
        if (mmap(window + off, n, PROT_READ, MAP_SHARED | MAP_FIXED, erased, 0) == MAP_FAILED) {
            return fail();
        }
    }
    return window;
}

void unmap_flash_window(const uint8_t* window) {
    if (window) munmap(const_cast<uint8_t*>(window), kFlash2Size);
}

}  // namespace sim
