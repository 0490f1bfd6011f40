#include "flash_window.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

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

namespace {

bool pwrite_all(int fd, const uint8_t* data, size_t n, off_t at) {
    while (n > 0) {
        const ssize_t w = pwrite(fd, data, n, at);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            if (w == 0) errno = EIO;
            return false;
        }
        data += w;
        n -= size_t(w);
        at += w;
    }
    return true;
}

bool file_size(int fd, size_t* size) {
    struct stat st;
    if (fstat(fd, &st) != 0) return false;
    *size = size_t(st.st_size);
    return true;
}

// Makes the file reach at least end (whole sectors, the new part erased) and maps the new part
// in place of the erased block, so that the firmware's pointer stays valid.
bool grow_to(int fd, const uint8_t* window, size_t end) {
    size_t had;
    if (!file_size(fd, &had)) return false;
    const size_t want = flash_file_size(end, kFlash2SectorSize);
    if (want <= had) return true;
    // The file may be shared by other processes (a run_isolated() copy and its parent): the
    // erased bytes are written rather than left as a hole so that its content never depends on
    // how the file system fills holes.
    static const std::vector<uint8_t> erased(kFlash2SectorSize, 0xFF);
    for (size_t at = had; at < want; at += kFlash2SectorSize) {
        if (!pwrite_all(fd, erased.data(), kFlash2SectorSize, off_t(at))) return false;
    }
    void* part = const_cast<uint8_t*>(window) + had;
    return mmap(part, want - had, PROT_READ, MAP_SHARED | MAP_FIXED, fd, off_t(had)) != MAP_FAILED;
}

}  // namespace

bool flash_erase_sector(int fd, uint32_t offset) {
    size_t had;
    if (!file_size(fd, &had)) return false;
    const size_t start = size_t(offset) / kFlash2SectorSize * kFlash2SectorSize;
    if (start >= had) return true;
    static const std::vector<uint8_t> erased(kFlash2SectorSize, 0xFF);
    return pwrite_all(fd, erased.data(), kFlash2SectorSize, off_t(start));
}

bool flash_program(int fd, const uint8_t* window, uint32_t offset, const uint8_t* data,
                   uint32_t length) {
    if (length == 0) return true;
    if (!grow_to(fd, window, size_t(offset) + length)) return false;
    // The cells only lose charge: a 1 can become 0, never the reverse.
    uint8_t buffer[4096];
    for (uint32_t done = 0; done < length;) {
        const uint32_t n = length - done < sizeof buffer ? length - done : uint32_t(sizeof buffer);
        for (uint32_t i = 0; i < n; ++i) buffer[i] = window[offset + done + i] & data[done + i];
        if (!pwrite_all(fd, buffer, n, off_t(offset) + off_t(done))) return false;
        done += n;
    }
    return true;
}

void unmap_flash_window(const uint8_t* window) {
    if (window) munmap(const_cast<uint8_t*>(window), kFlash2Size);
}

}  // namespace sim
