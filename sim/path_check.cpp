#include "sim/path_check.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace sim {

namespace {

std::string reason(int error) {
    return std::strerror(error);
}

// Opens the path as flags say and makes sure it is no folder.
std::string check_file(const std::string& path, int flags) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0) return reason(errno);
    struct stat st;
    const int error = fstat(fd, &st) != 0 ? errno : S_ISDIR(st.st_mode) ? EISDIR : 0;
    ::close(fd);
    return error ? reason(error) : "";
}

std::string folder_of(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

std::string check_readable_file(const std::string& path) {
    return check_file(path, O_RDONLY);
}

std::string check_card_image(const std::string& path) {
    return check_file(path, O_RDWR);
}

std::string check_card_folder(const std::string& path) {
    DIR* dir = opendir(path.c_str());
    if (!dir) return reason(errno);
    closedir(dir);
    return "";
}

std::string check_writable_file(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return reason(EISDIR);
        return access(path.c_str(), W_OK) == 0 ? "" : reason(errno);
    }
    if (errno != ENOENT) return reason(errno);
    const std::string folder = folder_of(path);
    if (stat(folder.c_str(), &st) != 0) return reason(errno);
    if (!S_ISDIR(st.st_mode)) return reason(ENOTDIR);
    return access(folder.c_str(), W_OK | X_OK) == 0 ? "" : reason(errno);
}

std::string path_problem(const std::string& what, const std::string& path, const std::string& why) {
    return what + " " + path + ": " + why;
}

}  // namespace sim
