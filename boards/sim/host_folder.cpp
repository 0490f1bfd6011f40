#include "host_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>

#include "machine.h"

namespace sim {

namespace {

constexpr uint8_t kAttrDirectory = 0x10;
constexpr uint8_t kAttrArchive = 0x20;
constexpr uint32_t kMaxFileSize = 0xFFFFFFFFu;

// Characters a short name may hold besides letters and digits.
bool short_name_char(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return true;
    if (c >= '0' && c <= '9') return true;
    return std::strchr("!#$%&'()-@^_`{}~", c) != nullptr && c != 0;
}

char upper(char c) {
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

// The 11-byte form of name when it already is a valid 8.3 name (any case), else "".
std::string exact_short(const std::string& name) {
    if (name.empty() || name[0] == '.') return "";
    const size_t dot = name.find('.');
    const std::string base = name.substr(0, dot);
    const std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
    if (base.empty() || base.size() > 8 || ext.size() > 3) return "";
    if (ext.find('.') != std::string::npos) return "";
    if (dot != std::string::npos && ext.empty()) return "";
    std::string out(11, ' ');
    for (size_t i = 0; i < base.size(); ++i) {
        const char c = upper(base[i]);
        if (!short_name_char(uint8_t(c))) return "";
        out[i] = c;
    }
    for (size_t i = 0; i < ext.size(); ++i) {
        const char c = upper(ext[i]);
        if (!short_name_char(uint8_t(c))) return "";
        out[8 + i] = c;
    }
    return out;
}

// Letters of a long name that survive into its alias, upper case, others as '_'.
std::string alias_part(const std::string& s, size_t max) {
    std::string out;
    for (const char ch : s) {
        if (out.size() >= max) break;
        if (ch == ' ' || ch == '.') continue;
        const char c = upper(ch);
        out.push_back(short_name_char(uint8_t(c)) ? c : '_');
    }
    return out;
}

std::string alias(const std::string& name, int n) {
    size_t start = 0;
    while (start < name.size() && name[start] == '.') ++start;
    const std::string trimmed = name.substr(start);
    const size_t dot = trimmed.rfind('.');
    std::string base = alias_part(trimmed.substr(0, dot), 8);
    const std::string ext = dot == std::string::npos ? "" : alias_part(trimmed.substr(dot + 1), 3);
    const std::string tail = "~" + std::to_string(n);
    if (base.empty()) base = "_";
    base = base.substr(0, 8 - tail.size()) + tail;
    std::string out(11, ' ');
    std::copy(base.begin(), base.end(), out.begin());
    std::copy(ext.begin(), ext.end(), out.begin() + 8);
    return out;
}

// "NAME.EXT" (or "NAME") as the 11-byte form; "" when it is not a short name.
std::string to_short11(const char* name) {
    if (!name) return "";
    return exact_short(name);
}

// The host name for a short name the firmware created: "NAME.EXT".
std::string display_name(const std::string& short11) {
    std::string base = short11.substr(0, 8);
    std::string ext = short11.substr(8, 3);
    while (!base.empty() && base.back() == ' ') base.pop_back();
    while (!ext.empty() && ext.back() == ' ') ext.pop_back();
    return ext.empty() ? base : base + "." + ext;
}

void put16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

}  // namespace

std::vector<std::string> HostFolder::short_names(const std::vector<std::string>& host_names) {
    std::vector<std::string> out(host_names.size());
    std::set<std::string> taken;
    // Names that already are 8.3 keep them; the others take the first free alias.
    for (size_t i = 0; i < host_names.size(); ++i) {
        const std::string s = exact_short(host_names[i]);
        if (!s.empty() && taken.insert(s).second) out[i] = s;
    }
    for (size_t i = 0; i < host_names.size(); ++i) {
        if (!out[i].empty()) continue;
        for (int n = 1; n < 1000000; ++n) {
            const std::string s = alias(host_names[i], n);
            if (taken.insert(s).second) {
                out[i] = s;
                break;
            }
        }
    }
    return out;
}

void HostFolder::attach(const std::string& path) {
    detach();
    root_ = path;
    cwd_.clear();
    listing_.clear();
}

void HostFolder::detach() {
    reset();
    root_.clear();
}

void HostFolder::reset() {
    for (int& fd : fds_) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
    cwd_.clear();
    listing_.clear();
}

std::string HostFolder::cwd_path() const {
    std::string p = root_;
    for (const auto& d : cwd_) p += "/" + d;
    return p;
}

void HostFolder::rescan() {
    listing_.clear();
    if (!cwd_.empty()) {
        listing_.push_back({".          ", "", true, 0});
        listing_.push_back({"..         ", "", true, 0});
    }
    const std::string dir = cwd_path();
    DIR* d = opendir(dir.c_str());
    if (!d) return;
    struct Found {
        std::string name;
        bool directory;
        uint32_t size;
    };
    std::vector<Found> found;
    while (const dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        if (name.empty() || name[0] == '.') continue;
        struct stat st;
        if (stat((dir + "/" + name).c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            found.push_back({name, true, 0});
        } else if (S_ISREG(st.st_mode) && uint64_t(st.st_size) <= kMaxFileSize) {
            found.push_back({name, false, uint32_t(st.st_size)});
        }
    }
    closedir(d);
    std::sort(found.begin(), found.end(),
              [](const Found& a, const Found& b) { return a.name < b.name; });
    std::vector<std::string> names;
    for (const auto& f : found) names.push_back(f.name);
    const auto shorts = short_names(names);
    for (size_t i = 0; i < found.size(); ++i) {
        listing_.push_back({shorts[i], found[i].name, found[i].directory, found[i].size});
    }
}

const HostFolder::Entry* HostFolder::find(const char* name83) {
    const std::string s = to_short11(name83);
    if (s.empty()) return nullptr;
    rescan();
    for (const auto& e : listing_) {
        if (!e.host.empty() && e.short11 == s) return &e;
    }
    return nullptr;
}

FsDriverStatus HostFolder::open(const char* name, bool create, int* handle, uint32_t* size) {
    if (!attached()) return FsDriverStatus::kIoError;
    int slot = -1;
    for (int i = 0; i < kMaxHandles; ++i) {
        if (fds_[i] < 0) {
            slot = i;
            break;
        }
    }
    if (slot < 0) return FsDriverStatus::kIoError;
    const Entry* e = find(name);
    std::string path;
    if (e) {
        if (e->directory) return FsDriverStatus::kIsDirectory;
        path = cwd_path() + "/" + e->host;
    } else {
        if (!create) return FsDriverStatus::kNotFound;
        const std::string s = to_short11(name);
        if (s.empty()) return FsDriverStatus::kNotFound;
        path = cwd_path() + "/" + display_name(s);
    }
    const int flags = create ? (O_WRONLY | O_CREAT | O_TRUNC) : O_RDONLY;
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0644);
    if (fd < 0) return FsDriverStatus::kIoError;
    struct stat st;
    if (fstat(fd, &st) != 0 || uint64_t(st.st_size) > kMaxFileSize) {
        ::close(fd);
        return FsDriverStatus::kIoError;
    }
    fds_[slot] = fd;
    *handle = slot;
    *size = uint32_t(st.st_size);
    return FsDriverStatus::kOk;
}

FsDriverStatus HostFolder::read(int handle, uint32_t offset, uint8_t* data, uint32_t count,
                                uint32_t* got) {
    *got = 0;
    if (handle < 0 || handle >= kMaxHandles || fds_[handle] < 0) return FsDriverStatus::kIoError;
    while (*got < count) {
        const ssize_t n = ::pread(fds_[handle], data + *got, count - *got, off_t(offset) + *got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return FsDriverStatus::kIoError;
        if (n == 0) break;
        *got += uint32_t(n);
    }
    return FsDriverStatus::kOk;
}

FsDriverStatus HostFolder::write(int handle, uint32_t offset, const uint8_t* data, uint32_t count) {
    if (handle < 0 || handle >= kMaxHandles || fds_[handle] < 0) return FsDriverStatus::kIoError;
    uint32_t done = 0;
    while (done < count) {
        const ssize_t n = ::pwrite(fds_[handle], data + done, count - done, off_t(offset) + done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return FsDriverStatus::kIoError;
        done += uint32_t(n);
    }
    return FsDriverStatus::kOk;
}

FsDriverStatus HostFolder::close(int handle) {
    if (handle < 0 || handle >= kMaxHandles || fds_[handle] < 0) return FsDriverStatus::kIoError;
    const int r = ::close(fds_[handle]);
    fds_[handle] = -1;
    return r == 0 ? FsDriverStatus::kOk : FsDriverStatus::kIoError;
}

FsDriverStatus HostFolder::chdir(const char* path) {
    if (!attached()) return FsDriverStatus::kIoError;
    // Walk a copy; the current directory changes only when the whole path resolves.
    const std::vector<std::string> was = cwd_;
    const char* p = path;
    if (*p == '/') {
        cwd_.clear();
        while (*p == '/') ++p;
    }
    FsDriverStatus result = FsDriverStatus::kOk;
    while (*p && result == FsDriverStatus::kOk) {
        const char* end = p;
        while (*end && *end != '/') ++end;
        const std::string name(p, end);
        if (name == "..") {
            if (cwd_.empty())
                result = FsDriverStatus::kNotFound;
            else
                cwd_.pop_back();
        } else if (name != ".") {
            const Entry* e = find(name.c_str());
            if (!e)
                result = FsDriverStatus::kNotFound;
            else if (!e->directory)
                result = FsDriverStatus::kNotDirectory;
            else
                cwd_.push_back(e->host);
        }
        p = end;
        while (*p == '/') ++p;
    }
    if (result != FsDriverStatus::kOk) cwd_ = was;
    listing_.clear();
    return result;
}

FsDriverStatus HostFolder::mkdir(const char* name) {
    if (!attached()) return FsDriverStatus::kIoError;
    if (find(name)) return FsDriverStatus::kExists;
    const std::string s = to_short11(name);
    if (s.empty()) return FsDriverStatus::kNotFound;
    const std::string path = cwd_path() + "/" + display_name(s);
    return ::mkdir(path.c_str(), 0755) == 0 ? FsDriverStatus::kOk : FsDriverStatus::kIoError;
}

FsDriverStatus HostFolder::dir_entry(uint32_t index, uint8_t entry[32]) {
    if (!attached()) return FsDriverStatus::kIoError;
    if (index == 0) rescan();
    if (index >= listing_.size()) return FsDriverStatus::kEndOfDirectory;
    const Entry& e = listing_[index];
    std::memset(entry, 0, 32);
    std::memcpy(entry, e.short11.data(), 11);
    entry[11] = e.directory ? kAttrDirectory : kAttrArchive;
    put16(entry + 26, 0);
    put32(entry + 28, e.directory ? 0 : e.size);
    return FsDriverStatus::kOk;
}

// ---------------------------------------------------------------------------------------------

namespace {

HostFolder& folder() {
    return machine().sd().folder();
}

// A folder put into the slot since the firmware last brought the card up answers nothing,
// like a block card, until the firmware brings it up again.
bool answers() {
    return machine().sd().respond();
}

const BoardFsDriver kDriver = {
    [](const char* name, bool create, int* handle, uint32_t* size) {
        if (!answers()) return FsDriverStatus::kIoError;
        return folder().open(name, create, handle, size);
    },
    [](int handle, uint32_t offset, uint8_t* data, uint32_t count, uint32_t* got) {
        *got = 0;
        if (!answers()) return FsDriverStatus::kIoError;
        machine().sd_transfer_time(count, false);
        return folder().read(handle, offset, data, count, got);
    },
    [](int handle, uint32_t offset, const uint8_t* data, uint32_t count) {
        if (!machine().powered() || !answers()) return FsDriverStatus::kIoError;
        machine().sd_transfer_time(count, true);
        return folder().write(handle, offset, data, count);
    },
    [](int handle) {
        if (!answers()) return FsDriverStatus::kIoError;
        return folder().close(handle);
    },
    [](const char* name) {
        if (!answers()) return FsDriverStatus::kIoError;
        return folder().chdir(name);
    },
    [](const char* name) {
        if (!machine().powered() || !answers()) return FsDriverStatus::kIoError;
        return folder().mkdir(name);
    },
    [](uint32_t index, uint8_t entry[32]) {
        if (!answers()) return FsDriverStatus::kIoError;
        return folder().dir_entry(index, entry);
    },
    []() { folder().reset(); },
};

}  // namespace

const BoardFsDriver& host_folder_driver() {
    return kDriver;
}

}  // namespace sim
