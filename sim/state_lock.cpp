#include "sim/state_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace sim {

namespace {

// The pid the owner wrote, or 0 when there is none (yet).
long owner_pid(int fd) {
    char text[24] = {};
    const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
    if (n <= 0) return 0;
    char* end = nullptr;
    const long pid = std::strtol(text, &end, 10);
    return end != text && pid > 0 ? pid : 0;
}

}  // namespace

bool StateLock::acquire(const std::string& dir, std::string* error) {
    release();
    const std::string path = dir + "/" + kFileName;
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        *error = std::string(kFileName) + ": " + std::strerror(errno);
        return false;
    }
    int r;
    do {
        r = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (r != 0 && errno == EINTR);
    if (r != 0) {
        const int why = errno;
        if (why == EWOULDBLOCK) {
            const long pid = owner_pid(fd);
            *error = "in use by another voxa-sim";
            if (pid) *error += " (pid " + std::to_string(pid) + ")";
        } else {
            *error = std::string(kFileName) + ": " + std::strerror(why);
        }
        ::close(fd);
        return false;
    }
    // The pid only words the message of the next run; the lock holds without it.
    const std::string pid = std::to_string(getpid()) + "\n";
    const bool noted =
        ftruncate(fd, 0) == 0 && ::pwrite(fd, pid.data(), pid.size(), 0) == ssize_t(pid.size());
    (void)noted;
    fd_ = fd;
    return true;
}

void StateLock::release() {
    if (fd_ < 0) return;
    ::close(fd_);
    fd_ = -1;
}

}  // namespace sim
