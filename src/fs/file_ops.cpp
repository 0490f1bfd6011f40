#include "fs/file_ops.h"

#include <cstring>

#include "device/board.h"
#include "fs/fat.h"
#include "fs/fs_driver.h"
#include "fs/short_name.h"

namespace {

// One file open at a time: every user of the card opens, works and closes within one command
// or one start-up step, so a second open means a caller forgot to close and is refused.
constexpr int kMaxOpenFiles = 1;
constexpr size_t kMaxPathLength = 128;
// Pieces a board driver hands out for freadChunk.
constexpr uint32_t kDriverChunk = 32 * 1024;

enum class Backend : uint8_t { kNone, kFat, kDriver };

struct DriverFile {
    int handle;
    uint32_t buffered;  // bytes waiting in buffer (files being written)
    bool failed;
    uint8_t buffer[fat::kSectorSize];
};

Backend backend;
const BoardFsDriver* driver;
int lastError;
FS_FILE files[kMaxOpenFiles];
fat::File fatFiles[kMaxOpenFiles];
DriverFile driverFiles[kMaxOpenFiles];
uint32_t driverListIndex;

constexpr uint8_t kModeWrite = 2;

int fail(int error) {
    lastError = error;
    return error;
}

// For the operations whose callers expect 0 / -1.
int status(int error) {
    if (error == kFsOk) return 0;
    lastError = error;
    return -1;
}

int from_driver(FsDriverStatus s) {
    switch (s) {
        case FsDriverStatus::kOk:
            return kFsOk;
        case FsDriverStatus::kNotFound:
            return kFsErrNotFound;
        case FsDriverStatus::kIsDirectory:
            return kFsErrIsDirectory;
        case FsDriverStatus::kNotDirectory:
            return kFsErrNotDirectory;
        case FsDriverStatus::kExists:
            return kFsErrExists;
        case FsDriverStatus::kEndOfDirectory:
            return kFsErrNotFound;
        default:
            return kFsErrRead;
    }
}

bool is_dot_name(const char raw[kShortNameLength]) {
    return raw[0] == '.';
}

// Validates a single file name; dot names are directories, never files.
bool parse_file_name(const char* name, char raw[kShortNameLength]) {
    if (!name || !fs_parse_short_name(name, std::strlen(name), raw) || is_dot_name(raw)) {
        lastError = kFsErrBadName;
        return false;
    }
    return true;
}

bool open_file(FS_FILE* f) {
    return f && f->mode != 0 && f->slot < kMaxOpenFiles && f == &files[f->slot];
}

FS_FILE* free_slot() {
    for (int i = 0; i < kMaxOpenFiles; ++i) {
        if (files[i].mode == 0) return &files[i];
    }
    lastError = kFsErrTooManyOpen;
    return nullptr;
}

FS_FILE* open_common(const char* name, bool create) {
    if (backend == Backend::kNone) {
        lastError = kFsErrNoCard;
        return nullptr;
    }
    char raw[kShortNameLength];
    if (!parse_file_name(name, raw)) return nullptr;
    FS_FILE* f = free_slot();
    if (!f) return nullptr;
    const uint8_t slot = uint8_t(f - files);
    uint32_t size = 0;
    if (backend == Backend::kFat) {
        fat::File& ff = fatFiles[slot];
        const int r = create ? fat::open_write(raw, &ff) : fat::open_read(raw, &ff);
        if (r != kFsOk) {
            fail(r);
            return nullptr;
        }
        size = ff.size;
    } else {
        char text[kShortNameTextSize];
        fs_short_name_text(raw, text);
        DriverFile& df = driverFiles[slot];
        const int r = from_driver(driver->open(text, create, &df.handle, &size));
        if (r != kFsOk) {
            fail(r);
            return nullptr;
        }
        df.buffered = 0;
        df.failed = false;
    }
    *f = FS_FILE{size, 0, create ? kModeWrite : uint8_t(kFsModeRead), slot};
    lastError = kFsOk;
    return f;
}

int driver_flush(DriverFile& df, FS_FILE* f) {
    if (df.buffered == 0) return kFsOk;
    const uint32_t at = f->size - df.buffered;
    const uint32_t n = df.buffered;
    df.buffered = 0;
    const int r = from_driver(driver->write(df.handle, at, df.buffer, n));
    if (r != kFsOk) {
        df.failed = true;
        return kFsErrWrite;
    }
    return kFsOk;
}

int append(FS_FILE* f, const uint8_t* data, uint32_t count) {
    if (!open_file(f)) return fail(kFsErrBadArgument);
    if (f->mode != kModeWrite) return fail(kFsErrBadMode);
    if (backend == Backend::kFat) {
        fat::File& ff = fatFiles[f->slot];
        const int r = fat::append(&ff, data, count);
        f->size = ff.size;
        f->position = ff.size;
        return r == kFsOk ? kFsOk : fail(r);
    }
    DriverFile& df = driverFiles[f->slot];
    if (df.failed) return fail(kFsErrWrite);
    if (count > 0xFFFFFFFFu - f->size) return fail(kFsErrDiskFull);
    while (count > 0) {
        uint32_t n = sizeof df.buffer - df.buffered;
        if (n > count) n = count;
        std::memcpy(df.buffer + df.buffered, data, n);
        df.buffered += n;
        f->size += n;
        data += n;
        count -= n;
        if (df.buffered == sizeof df.buffer && driver_flush(df, f) != kFsOk) {
            return fail(kFsErrWrite);
        }
    }
    f->position = f->size;
    return kFsOk;
}

int read_at(FS_FILE* f, uint8_t* data, uint32_t count, uint32_t* got) {
    if (backend == Backend::kFat)
        return fat::read(&fatFiles[f->slot], f->position, data, count, got);
    *got = 0;
    if (f->position >= f->size) return kFsOk;
    if (count > f->size - f->position) count = f->size - f->position;
    return from_driver(driver->read(driverFiles[f->slot].handle, f->position, data, count, got));
}

}  // namespace

uint32_t FS_DirEntrySize(const FS_DIRENT* e) {
    return uint32_t(e->fileSize[0]) | (uint32_t(e->fileSize[1]) << 8) |
           (uint32_t(e->fileSize[2]) << 16) | (uint32_t(e->fileSize[3]) << 24);
}

void FS_Init() {
    FS_Unmount();
    lastError = kFsOk;
}

int FS_Mount() {
    FS_Unmount();
    if (const BoardFsDriver* d = board_fs_driver()) {
        driver = d;
        driver->reset();
        backend = Backend::kDriver;
        return 1;
    }
    const int r = fat::mount();
    if (r != kFsOk) {
        fail(r);
        return 0;
    }
    backend = Backend::kFat;
    return 1;
}

void FS_Unmount() {
    for (auto& f : files) f.mode = 0;
    if (backend == Backend::kDriver && driver) driver->reset();
    fat::unmount();
    backend = Backend::kNone;
    driver = nullptr;
    driverListIndex = 0;
}

FS_FILE* SD_fopen(const char* name, int mode) {
    if (mode != kFsModeRead) {
        lastError = kFsErrBadMode;
        return nullptr;
    }
    return open_common(name, false);
}

FS_FILE* fcreate(const char* name, int) {
    return open_common(name, true);
}

int SD_fclose(FS_FILE* f) {
    if (!f) return 0;
    if (!open_file(f)) {
        fail(kFsErrBadArgument);
        return -1;
    }
    int r = kFsOk;
    if (backend == Backend::kFat) {
        r = fat::close(&fatFiles[f->slot]);
    } else if (backend == Backend::kDriver) {
        DriverFile& df = driverFiles[f->slot];
        if (f->mode == kModeWrite) r = driver_flush(df, f);
        if (df.failed && r == kFsOk) r = kFsErrWrite;
        const int c = from_driver(driver->close(df.handle));
        if (r == kFsOk) r = c == kFsOk ? kFsOk : kFsErrWrite;
    }
    f->mode = 0;
    if (r != kFsOk) {
        fail(r);
        return -1;
    }
    return 0;
}

size_t fread(void* buffer, size_t size, size_t count, FS_FILE* f) {
    if (!open_file(f) || !buffer) {
        fail(kFsErrBadArgument);
        return 0;
    }
    if (f->mode != kFsModeRead) {
        fail(kFsErrBadMode);
        return 0;
    }
    if (size == 0 || count == 0) return 0;
    const uint64_t wanted = uint64_t(size) * count;
    const uint32_t left = f->size - f->position;
    const uint32_t n = wanted < left ? uint32_t(wanted) : left;
    uint32_t got = 0;
    const int r = read_at(f, static_cast<uint8_t*>(buffer), n, &got);
    f->position += got;
    if (r != kFsOk) fail(r);
    return got / size;
}

int freadChunk(FS_FILE* f, uint8_t* destination) {
    if (!open_file(f) || !destination) {
        fail(kFsErrBadArgument);
        return -1;
    }
    if (f->mode != kFsModeRead) {
        fail(kFsErrBadMode);
        return -1;
    }
    if (f->position >= f->size) return -1;
    uint32_t got = 0;
    int r;
    if (backend == Backend::kFat) {
        r = fat::read_chunk(&fatFiles[f->slot], f->position, destination, &got);
    } else {
        uint32_t n = f->size - f->position;
        if (n > kDriverChunk) n = kDriverChunk;
        r = read_at(f, destination, n, &got);
    }
    f->position += got;
    if (r != kFsOk) {
        fail(r);
        return -1;
    }
    return got ? int(got) : -1;
}

int fseek(FS_FILE* f, long offset, int origin) {
    if (!open_file(f)) {
        fail(kFsErrBadArgument);
        return -1;
    }
    if (f->mode != kFsModeRead) {
        fail(kFsErrBadMode);
        return -1;
    }
    int64_t base;
    switch (origin) {
        case 0:
            base = 0;
            break;
        case 1:
            base = f->position;
            break;
        case 2:
            base = f->size;
            break;
        default:
            fail(kFsErrBadArgument);
            return -1;
    }
    const int64_t target = base + offset;
    if (target < 0 || target > int64_t(f->size)) {
        fail(kFsErrBadArgument);
        return -1;
    }
    f->position = uint32_t(target);
    return 0;
}

int fputc_(int byte, FS_FILE* f) {
    const uint8_t b = uint8_t(byte);
    return append(f, &b, 1) == kFsOk ? b : -1;
}

size_t fwrite(const void* buffer, size_t size, size_t count, FS_FILE* f) {
    if (!buffer || size == 0 || count == 0) return 0;
    const uint64_t total = uint64_t(size) * count;
    if (total > 0xFFFFFFFFu) {
        fail(kFsErrBadArgument);
        return 0;
    }
    const uint32_t before = open_file(f) ? f->size : 0;
    append(f, static_cast<const uint8_t*>(buffer), uint32_t(total));
    const uint32_t written = open_file(f) ? f->size - before : 0;
    return written / size;
}

int SD_chdir(const char* path) {
    if (backend == Backend::kNone) return status(kFsErrNoCard);
    if (!path || !*path || std::strlen(path) > kMaxPathLength) return status(kFsErrBadName);
    if (backend == Backend::kFat) {
        const int r = fat::change_directory(path);
        return status(r);
    }
    // The driver gets the path with every component checked and in its directory spelling.
    char normal[kMaxPathLength * 2 + 2];
    size_t n = 0;
    const char* p = path;
    if (*p == '/') {
        normal[n++] = '/';
        while (*p == '/') ++p;
    }
    while (*p) {
        const char* end = p;
        while (*end && *end != '/') ++end;
        char raw[kShortNameLength];
        if (!fs_parse_short_name(p, size_t(end - p), raw)) return status(kFsErrBadName);
        char text[kShortNameTextSize];
        if (is_dot_name(raw)) {
            std::memcpy(text, p, size_t(end - p));
            text[end - p] = 0;
        } else {
            fs_short_name_text(raw, text);
        }
        if (n && normal[n - 1] != '/') normal[n++] = '/';
        for (const char* t = text; *t; ++t) normal[n++] = *t;
        p = end;
        while (*p == '/') ++p;
    }
    normal[n] = 0;
    const int r = from_driver(driver->chdir(normal));
    driverListIndex = 0;
    return status(r);
}

int SD_mkdir(const char* name) {
    if (backend == Backend::kNone) return status(kFsErrNoCard);
    char raw[kShortNameLength];
    if (!parse_file_name(name, raw)) return -1;
    int r;
    if (backend == Backend::kFat) {
        r = fat::make_directory(raw);
    } else {
        char text[kShortNameTextSize];
        fs_short_name_text(raw, text);
        r = from_driver(driver->mkdir(text));
    }
    return status(r);
}

int read_directory_entry(FS_DIRENT* entry, int next) {
    if (!entry) return 0;
    if (backend == Backend::kFat) {
        if (!next) fat::list_restart();
        const int r = fat::list_next(entry);
        if (r == kFsOk) return 1;
        if (r != kFsErrNotFound) fail(r);
        return 0;
    }
    if (backend == Backend::kDriver) {
        if (!next) driverListIndex = 0;
        uint8_t raw[sizeof(FS_DIRENT)];
        const FsDriverStatus s = driver->dir_entry(driverListIndex, raw);
        if (s != FsDriverStatus::kOk) {
            if (s != FsDriverStatus::kEndOfDirectory) fail(from_driver(s));
            return 0;
        }
        ++driverListIndex;
        std::memcpy(entry, raw, sizeof raw);
        return 1;
    }
    lastError = kFsErrNoCard;
    return 0;
}

void NameFromDirEntry(char* name, const FS_DIRENT* entry) {
    size_t n = 0;
    for (size_t i = 0; i < sizeof entry->name && entry->name[i] != ' '; ++i) {
        name[n++] = (i == 0 && uint8_t(entry->name[0]) == 0x05) ? char(0xE5) : entry->name[i];
    }
    name[n++] = '.';
    for (size_t i = 0; i < sizeof entry->ext && entry->ext[i] != ' '; ++i)
        name[n++] = entry->ext[i];
    name[n] = 0;
}

int SD_lastError() {
    return lastError;
}
