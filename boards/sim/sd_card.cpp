#include "sd_card.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "device/board.h"

namespace sim {

namespace {

// The largest card a 32-bit sector number addresses.
constexpr uint64_t kMaxSectors = 0xFFFFFFFFull;

bool pread_all(int fd, uint8_t* p, size_t n, off_t at) {
    while (n > 0) {
        const ssize_t r = ::pread(fd, p, n, at);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        p += r;
        n -= size_t(r);
        at += r;
    }
    return true;
}

bool pwrite_all(int fd, const uint8_t* p, size_t n, off_t at) {
    while (n > 0) {
        const ssize_t w = ::pwrite(fd, p, n, at);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= size_t(w);
        at += w;
    }
    return true;
}

}  // namespace

SdCard::~SdCard() {
    remove();
}

void SdCard::remove() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    memory_ = nullptr;
    memory_sectors_ = 0;
    overlay_.clear();
    sectors_ = 0;
    status_ = 0;
    initialised_ = false;
    switch_open_ = false;
    folder_.detach();
    kind_ = simlink::SdKind::kNone;
}

void SdCard::insert_image(const std::string& path) {
    remove();
    kind_ = simlink::SdKind::kImage;
    fd_ = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd_ < 0) return;
    struct stat st;
    if (fstat(fd_, &st) != 0) {
        ::close(fd_);
        fd_ = -1;
        return;
    }
    const uint64_t n = uint64_t(st.st_size) / kSdSectorSize;
    sectors_ = uint32_t(n > kMaxSectors ? kMaxSectors : n);
}

void SdCard::insert_memory(uint8_t* data, size_t size, uint32_t sectors) {
    remove();
    kind_ = simlink::SdKind::kImage;
    memory_ = data;
    memory_sectors_ = uint32_t(size / kSdSectorSize);
    sectors_ = sectors > memory_sectors_ ? sectors : memory_sectors_;
}

void SdCard::insert_folder(const std::string& path) {
    remove();
    kind_ = simlink::SdKind::kFolder;
    folder_.attach(path);
}

bool SdCard::ready() const {
    switch (kind_) {
        case simlink::SdKind::kImage:
            return fd_ >= 0 || memory_ != nullptr;
        case simlink::SdKind::kFolder:
            return folder_.attached();
        default:
            return false;
    }
}

bool SdCard::initialise() {
    initialised_ = ready();
    status_ = initialised_ ? 0 : kSdStatusResponseTimeout;
    return initialised_;
}

bool SdCard::respond() {
    status_ = initialised_ && ready() ? 0 : kSdStatusResponseTimeout;
    return status_ == 0;
}

bool SdCard::fail_now(bool write) {
    if (!faults_) return false;
    if (write) {
        ++faults_->sd_writes;
        return faults_->sd_write_fail_from && faults_->sd_writes >= faults_->sd_write_fail_from;
    }
    ++faults_->sd_reads;
    return faults_->sd_read_fail_from && faults_->sd_reads >= faults_->sd_read_fail_from;
}

bool SdCard::read(uint32_t sector, uint8_t* data) {
    status_ = 0;
    if (kind_ != simlink::SdKind::kImage || !respond()) {
        status_ = kSdStatusResponseTimeout;
        return false;
    }
    if (sector >= sectors_ || fail_now(false)) {
        status_ = kSdStatusReadTimeout;
        return false;
    }
    const uint64_t at = uint64_t(sector) * kSdSectorSize;
    if (memory_) {
        if (sector < memory_sectors_) {
            std::memcpy(data, memory_ + at, kSdSectorSize);
        } else if (const auto it = overlay_.find(sector); it != overlay_.end()) {
            std::memcpy(data, it->second.data(), kSdSectorSize);
        } else {
            std::memset(data, 0, kSdSectorSize);
        }
        return true;
    }
    if (!pread_all(fd_, data, kSdSectorSize, off_t(at))) {
        status_ = kSdStatusReadTimeout;
        return false;
    }
    return true;
}

bool SdCard::write(uint32_t sector, const uint8_t* data) {
    status_ = 0;
    if (kind_ != simlink::SdKind::kImage || !respond()) {
        status_ = kSdStatusResponseTimeout;
        return false;
    }
    // A failed write comes back from the card as a negative CRC status token.
    constexpr uint32_t kWriteRefused = kSdStatusWriteCrc | (1u << kSdStatusWriteCrcCodeShift);
    if (sector >= sectors_ || fail_now(true)) {
        status_ = kWriteRefused;
        return false;
    }
    if (faults_ && faults_->sd_cut_at && faults_->sd_writes == faults_->sd_cut_at) {
        faults_->sd_cut_at = 0;
        power_cut_ = true;
        switch (simlink::SdCut(faults_->sd_cut_mode)) {
            case simlink::SdCut::kWritten:
                store(sector, data, kSdSectorSize);
                break;
            case simlink::SdCut::kTorn:
                store(sector, data, simlink::kSdTornBytes);
                break;
            default:
                break;
        }
        // The card never acknowledges: the host times out waiting for its busy signal.
        status_ = kSdStatusResponseTimeout;
        return false;
    }
    if (!store(sector, data, kSdSectorSize)) {
        status_ = kWriteRefused;
        return false;
    }
    return true;
}

bool SdCard::store(uint32_t sector, const uint8_t* data, uint32_t bytes) {
    const uint64_t at = uint64_t(sector) * kSdSectorSize;
    if (memory_) {
        uint8_t* p = sector < memory_sectors_ ? memory_ + at : nullptr;
        if (!p) {
            // A sector beyond the memory reads zeros until written: a tear keeps those.
            const bool fresh = overlay_.find(sector) == overlay_.end();
            p = overlay_[sector].data();
            if (fresh) std::memset(p, 0, kSdSectorSize);
        }
        std::memcpy(p, data, bytes);
        return true;
    }
    return pwrite_all(fd_, data, bytes, off_t(at));
}

}  // namespace sim
