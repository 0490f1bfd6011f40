#include "fs/fat.h"

#include <cstring>

#include "device/board.h"
#include "fs/short_name.h"

namespace fat {

namespace {

static_assert(kSectorSize == kSdSectorSize);

constexpr uint8_t kEntryEnd = 0x00;
constexpr uint8_t kEntryFree = 0xE5;
constexpr uint8_t kLongNameMask = 0x3F;
constexpr uint32_t kEntrySize = 32;
constexpr uint32_t kMaxSectorsPerCluster = 128;
constexpr uint32_t kFat12MaxClusters = 4084;
constexpr uint32_t kFat16MaxClusters = 65524;
constexpr uint32_t kFat32MaxClusters = 0x0FFFFFF5;
constexpr uint32_t kFat32ValueMask = 0x0FFFFFFF;
constexpr uint32_t kFreeCountUnknown = 0xFFFFFFFF;
// The module has no clock: everything it writes carries one fixed date, 1 January 2010.
constexpr uint16_t kFixedDate = ((2010 - 1980) << 9) | (1 << 5) | 1;
constexpr uint16_t kFixedTime = 0;

// Boot sector fields.
constexpr uint32_t kBpbBytesPerSector = 11;
constexpr uint32_t kBpbSectorsPerCluster = 13;
constexpr uint32_t kBpbReservedSectors = 14;
constexpr uint32_t kBpbFatCount = 16;
constexpr uint32_t kBpbRootEntries = 17;
constexpr uint32_t kBpbTotalSectors16 = 19;
constexpr uint32_t kBpbFatSize16 = 22;
constexpr uint32_t kBpbTotalSectors32 = 32;
constexpr uint32_t kBpbFatSize32 = 36;
constexpr uint32_t kBpbRootCluster = 44;
constexpr uint32_t kBpbFsInfoSector = 48;
// Partition table of an MBR.
constexpr uint32_t kMbrTable = 446;
constexpr uint32_t kMbrEntrySize = 16;
constexpr int kMbrEntries = 4;
constexpr uint32_t kBootSignatureOffset = 510;
// FSInfo sector.
constexpr uint32_t kFsInfoLeadSignature = 0x41615252;
constexpr uint32_t kFsInfoStructSignature = 0x61417272;
constexpr uint32_t kFsInfoTrailSignature = 0xAA550000;
constexpr uint32_t kFsInfoStructOffset = 484;
constexpr uint32_t kFsInfoFreeCount = 488;
constexpr uint32_t kFsInfoNextFree = 492;
constexpr uint32_t kFsInfoTrailOffset = 508;
// Directory entry fields.
constexpr uint32_t kDirAttr = 11;
constexpr uint32_t kDirCreateTime = 14;
constexpr uint32_t kDirCreateDate = 16;
constexpr uint32_t kDirAccessDate = 18;
constexpr uint32_t kDirClusterHigh = 20;
constexpr uint32_t kDirWriteTime = 22;
constexpr uint32_t kDirWriteDate = 24;
constexpr uint32_t kDirClusterLow = 26;
constexpr uint32_t kDirSize = 28;

uint16_t get16(const uint8_t* p) {
    return uint16_t(p[0] | (p[1] << 8));
}
uint32_t get32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
void put16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

struct Volume {
    uint8_t type;           // 12, 16 or 32; 0 while nothing is mounted
    uint32_t first_sector;  // of the volume on the card
    uint32_t end_sector;    // one past its last sector
    uint32_t fat_sector;    // first sector of the first FAT
    uint32_t fat_sectors;   // sectors per FAT
    uint8_t fat_count;
    uint32_t root_sector;  // FAT12/16: the fixed root directory
    uint32_t root_sectors;
    uint32_t root_cluster;   // FAT32: first cluster of the root directory
    uint32_t data_sector;    // sector of cluster 2
    uint32_t max_cluster;    // highest cluster number in use by the volume
    uint8_t cluster_shift;   // sectors per cluster = 1 << cluster_shift
    uint32_t fsinfo_sector;  // 0 when there is none
    uint32_t free_count;
    uint32_t next_free;
    bool fsinfo_dirty;
};

Volume vol;
uint32_t cwd;

// One sector of metadata (FAT, directories, FSInfo). A FAT sector is written to every FAT.
uint8_t cache[kSectorSize];
uint32_t cache_sector;
bool cache_valid;
bool cache_dirty;

const uint8_t kZeroSector[kSectorSize] = {};

// A position in a directory.
struct Cursor {
    uint32_t dir;      // first cluster; 0 is the fixed root
    uint32_t cluster;  // cluster of a cluster directory holding the position
    uint32_t sector;   // within the cluster, or within the fixed root
    uint32_t slot;     // entry within the sector
    uint32_t visited;
};

Cursor list_cursor;
bool list_done = true;

uint32_t root_dir() {
    return vol.type == 32 ? vol.root_cluster : 0;
}
uint32_t sectors_per_cluster() {
    return 1u << vol.cluster_shift;
}
uint32_t cluster_bytes_shift() {
    return 9u + vol.cluster_shift;
}
bool valid_cluster(uint32_t c) {
    return c >= 2 && c <= vol.max_cluster;
}
uint32_t cluster_sector(uint32_t c) {
    return vol.data_sector + ((c - 2) << vol.cluster_shift);
}

bool end_of_chain(uint32_t v) {
    switch (vol.type) {
        case 12:
            return v >= 0xFF8;
        case 16:
            return v >= 0xFFF8;
        default:
            return v >= 0x0FFFFFF8;
    }
}

uint32_t end_of_chain_mark() {
    switch (vol.type) {
        case 12:
            return 0xFFF;
        case 16:
            return 0xFFFF;
        default:
            return 0x0FFFFFFF;
    }
}

int read_sector(uint32_t sector, uint8_t* data) {
    return sd_read_sector(sector, data) ? kFsOk : kFsErrRead;
}

int write_sector(uint32_t sector, const uint8_t* data) {
    return sd_write_sector(sector, data) ? kFsOk : kFsErrWrite;
}

bool in_volume(uint32_t sector) {
    return sector >= vol.first_sector && sector < vol.end_sector;
}

int cache_flush() {
    if (!cache_valid || !cache_dirty) return kFsOk;
    cache_dirty = false;
    int result = kFsOk;
    if (cache_sector >= vol.fat_sector && cache_sector < vol.fat_sector + vol.fat_sectors) {
        for (uint32_t i = 0; i < vol.fat_count; ++i) {
            const int r = write_sector(cache_sector + i * vol.fat_sectors, cache);
            if (r != kFsOk) result = r;
        }
    } else {
        result = write_sector(cache_sector, cache);
    }
    // A change the card did not take must not ride along with the next change to the same
    // sector (an entry of a failed file pointing at clusters its FAT never recorded): read the
    // sector again from the card when it is next needed.
    if (result != kFsOk) cache_valid = false;
    return result;
}

int cache_load(uint32_t sector, uint8_t** data) {
    if (!in_volume(sector)) return kFsErrCorrupt;
    if (!cache_valid || cache_sector != sector) {
        const int r = cache_flush();
        if (r != kFsOk) return r;
        cache_valid = false;
        if (read_sector(sector, cache) != kFsOk) return kFsErrRead;
        cache_sector = sector;
        cache_valid = true;
    }
    *data = cache;
    return kFsOk;
}

// Where the FAT entry of cluster c (which the caller has checked) starts: the sector of the
// first FAT holding its first byte, and the byte's index there. A FAT12 entry takes a byte and
// a half, so it may straddle two sectors.
struct EntryPlace {
    uint32_t sector;
    uint32_t index;
};

EntryPlace entry_place(uint32_t c) {
    const uint32_t offset = vol.type == 12 ? c + c / 2 : vol.type == 16 ? c * 2 : c * 4;
    return EntryPlace{vol.fat_sector + offset / kSectorSize, offset % kSectorSize};
}

// Byte k of the entry at `at`, in the cache. The cache holds one sector: a pointer from here is
// good until the next cache_load.
int entry_byte(const EntryPlace& at, uint32_t k, uint8_t** byte) {
    const uint32_t index = at.index + k;
    uint8_t* p;
    const int r = cache_load(at.sector + index / kSectorSize, &p);
    if (r != kFsOk) return r;
    *byte = p + index % kSectorSize;
    return kFsOk;
}

int fat_get(uint32_t c, uint32_t* value) {
    const EntryPlace at = entry_place(c);
    uint8_t* p;
    int r = entry_byte(at, 0, &p);
    if (r != kFsOk) return r;
    switch (vol.type) {
        case 12: {
            const uint32_t low = *p;
            if ((r = entry_byte(at, 1, &p)) != kFsOk) return r;
            const uint32_t word = low | uint32_t(*p) << 8;
            *value = (c & 1) ? word >> 4 : word & 0xFFF;
            return kFsOk;
        }
        case 16:
            *value = get16(p);
            return kFsOk;
        default:
            *value = get32(p) & kFat32ValueMask;
            return kFsOk;
    }
}

int fat_set(uint32_t c, uint32_t value) {
    const EntryPlace at = entry_place(c);
    uint8_t* p;
    int r = entry_byte(at, 0, &p);
    if (r != kFsOk) return r;
    cache_dirty = true;
    switch (vol.type) {
        case 12:
            // An odd cluster's entry starts in the high nibble of its first byte.
            if (c & 1)
                *p = uint8_t((*p & 0x0F) | ((value & 0x0F) << 4));
            else
                *p = uint8_t(value);
            if ((r = entry_byte(at, 1, &p)) != kFsOk) return r;
            if (c & 1)
                *p = uint8_t(value >> 4);
            else
                *p = uint8_t((*p & 0xF0) | ((value >> 8) & 0x0F));
            cache_dirty = true;
            return kFsOk;
        case 16:
            put16(p, uint16_t(value));
            return kFsOk;
        default:
            // The top four bits are reserved and keep what they hold.
            put32(p, (get32(p) & ~kFat32ValueMask) | (value & kFat32ValueMask));
            return kFsOk;
    }
}

// The cluster after c in its chain, 0 at the end of the chain.
int chain_next(uint32_t c, uint32_t* next) {
    uint32_t v;
    const int r = fat_get(c, &v);
    if (r != kFsOk) return r;
    if (end_of_chain(v)) {
        *next = 0;
        return kFsOk;
    }
    if (!valid_cluster(v)) return kFsErrCorrupt;
    *next = v;
    return kFsOk;
}

// Takes a free cluster, marks it as the end of a chain and links it behind prev (0: none).
int allocate(uint32_t prev, uint32_t* out) {
    uint32_t c = valid_cluster(vol.next_free) ? vol.next_free : 2;
    for (uint32_t n = 0; n <= vol.max_cluster - 2; ++n) {
        uint32_t v;
        int r = fat_get(c, &v);
        if (r != kFsOk) return r;
        if (v == 0) {
            if ((r = fat_set(c, end_of_chain_mark())) != kFsOk) return r;
            if (prev && (r = fat_set(prev, c)) != kFsOk) return r;
            if (vol.free_count != kFreeCountUnknown && vol.free_count > 0) --vol.free_count;
            vol.next_free = c == vol.max_cluster ? 2 : c + 1;
            vol.fsinfo_dirty = true;
            *out = c;
            return kFsOk;
        }
        c = c == vol.max_cluster ? 2 : c + 1;
    }
    return kFsErrDiskFull;
}

// Frees the chain that starts at c. A damaged link ends the freeing: what lies behind it is
// left for a PC's disk check rather than guessed at.
int free_chain(uint32_t c) {
    for (uint32_t n = 0; valid_cluster(c) && n <= vol.max_cluster; ++n) {
        uint32_t v;
        int r = fat_get(c, &v);
        if (r != kFsOk) return r;
        if (v == 0) break;  // already free: the chain was damaged
        if ((r = fat_set(c, 0)) != kFsOk) return r;
        if (vol.free_count != kFreeCountUnknown) ++vol.free_count;
        vol.fsinfo_dirty = true;
        if (end_of_chain(v)) break;
        c = v;
    }
    return kFsOk;
}

int flush_fsinfo() {
    if (!vol.fsinfo_dirty || vol.fsinfo_sector == 0) return kFsOk;
    uint8_t* p;
    const int r = cache_load(vol.fsinfo_sector, &p);
    if (r != kFsOk) return r;
    put32(p + kFsInfoFreeCount, vol.free_count);
    put32(p + kFsInfoNextFree, vol.next_free);
    cache_dirty = true;
    vol.fsinfo_dirty = false;
    return cache_flush();
}

int flush_all() {
    const int a = cache_flush();
    const int b = flush_fsinfo();
    return a != kFsOk ? a : b;
}

// Clears a cluster just allocated for a directory. The FAT sector in the cache (which may link
// the cluster into a chain) stays unwritten until the zeros are on the card: a directory must
// never reach a cluster that still holds a deleted file's bytes, which a PC would read as
// entries.
int zero_cluster(uint32_t c) {
    const uint32_t first = cluster_sector(c);
    if (cache_valid && cache_sector >= first && cache_sector < first + sectors_per_cluster()) {
        cache_valid = false;  // whatever it held is being cleared
        cache_dirty = false;
    }
    for (uint32_t s = 0; s < sectors_per_cluster(); ++s) {
        const int r = write_sector(first + s, kZeroSector);
        if (r != kFsOk) return r;
    }
    return kFsOk;
}

uint32_t entry_cluster(const uint8_t* e) {
    const uint32_t low = get16(e + kDirClusterLow);
    return vol.type == 32 ? (uint32_t(get16(e + kDirClusterHigh)) << 16) | low : low;
}

void set_entry_cluster(uint8_t* e, uint32_t c) {
    put16(e + kDirClusterHigh, vol.type == 32 ? uint16_t(c >> 16) : 0);
    put16(e + kDirClusterLow, uint16_t(c));
}

void fill_entry(uint8_t* e, const char name[11], uint8_t attr, uint32_t cluster) {
    std::memset(e, 0, kEntrySize);
    std::memcpy(e, name, kShortNameLength);
    e[kDirAttr] = attr;
    put16(e + kDirCreateTime, kFixedTime);
    put16(e + kDirCreateDate, kFixedDate);
    put16(e + kDirAccessDate, kFixedDate);
    put16(e + kDirWriteTime, kFixedTime);
    put16(e + kDirWriteDate, kFixedDate);
    set_entry_cluster(e, cluster);
}

// ---------------------------------------------------------------------------------------------
// Directories

int cursor_start(Cursor& c, uint32_t dir) {
    if (dir != 0 && !valid_cluster(dir)) return kFsErrCorrupt;
    if (dir == 0 && vol.type == 32) return kFsErrCorrupt;
    c = Cursor{dir, dir, 0, 0, 0};
    return kFsOk;
}

uint32_t cursor_sector(const Cursor& c) {
    return c.dir == 0 ? vol.root_sector + c.sector : cluster_sector(c.cluster) + c.sector;
}

int cursor_entry(const Cursor& c, uint8_t** e) {
    uint8_t* p;
    const int r = cache_load(cursor_sector(c), &p);
    if (r != kFsOk) return r;
    *e = p + c.slot * kEntrySize;
    return kFsOk;
}

int cursor_step(Cursor& c, bool* end) {
    *end = false;
    if (++c.visited >= kMaxDirectoryEntries) return kFsErrCorrupt;
    if (++c.slot < kEntriesPerSector) return kFsOk;
    c.slot = 0;
    ++c.sector;
    if (c.dir == 0) {
        *end = c.sector >= vol.root_sectors;
        return kFsOk;
    }
    if (c.sector < sectors_per_cluster()) return kFsOk;
    c.sector = 0;
    uint32_t next;
    const int r = chain_next(c.cluster, &next);
    if (r != kFsOk) return r;
    if (next == 0)
        *end = true;
    else
        c.cluster = next;
    return kFsOk;
}

bool is_long_name(const uint8_t* e) {
    return (e[kDirAttr] & kLongNameMask) == kFsAttrLongName;
}

// Finds name in dir (volume labels and long-name entries never match).
int find_entry(uint32_t dir, const char name[11], uint8_t out[kEntrySize], EntryLocation* where) {
    Cursor c;
    int r = cursor_start(c, dir);
    if (r != kFsOk) return r;
    for (;;) {
        uint8_t* e;
        if ((r = cursor_entry(c, &e)) != kFsOk) return r;
        if (e[0] == kEntryEnd) return kFsErrNotFound;
        if (e[0] != kEntryFree && !(e[kDirAttr] & kFsAttrVolume) &&
            fs_short_name_equal(reinterpret_cast<const char*>(e), name)) {
            std::memcpy(out, e, kEntrySize);
            *where = EntryLocation{cursor_sector(c), uint16_t(c.slot)};
            return kFsOk;
        }
        bool end;
        if ((r = cursor_step(c, &end)) != kFsOk) return r;
        if (end) return kFsErrNotFound;
    }
}

// A free entry of dir; a full cluster directory grows by one cleared cluster.
int find_free_entry(uint32_t dir, EntryLocation* where) {
    Cursor c;
    int r = cursor_start(c, dir);
    if (r != kFsOk) return r;
    for (;;) {
        uint8_t* e;
        if ((r = cursor_entry(c, &e)) != kFsOk) return r;
        if (e[0] == kEntryEnd || e[0] == kEntryFree) {
            *where = EntryLocation{cursor_sector(c), uint16_t(c.slot)};
            return kFsOk;
        }
        bool end;
        if ((r = cursor_step(c, &end)) != kFsOk) return r;
        if (!end) continue;
        if (dir == 0) return kFsErrDirFull;
        if (c.visited + kEntriesPerSector * sectors_per_cluster() > kMaxDirectoryEntries) {
            return kFsErrDirFull;
        }
        uint32_t added;
        if ((r = allocate(c.cluster, &added)) != kFsOk) return r;
        if ((r = zero_cluster(added)) != kFsOk) return r;
        *where = EntryLocation{cluster_sector(added), 0};
        return kFsOk;
    }
}

// ---------------------------------------------------------------------------------------------
// Mounting

bool fat_partition_type(uint8_t type) {
    switch (type) {
        case 0x01:  // FAT12
        case 0x04:  // FAT16 below 32 MB
        case 0x06:  // FAT16
        case 0x0B:  // FAT32
        case 0x0C:  // FAT32, LBA
        case 0x0E:  // FAT16, LBA
            return true;
        default:
            return false;
    }
}

// Checks the boot sector b of a volume at first_sector with available sectors on the card and
// takes it as the volume when everything in it is consistent.
bool try_volume(const uint8_t* b, uint32_t first_sector, uint32_t available) {
    if (b[0] != 0xEB && b[0] != 0xE9) return false;
    if (get16(b + kBpbBytesPerSector) != kSectorSize) return false;
    const uint32_t spc = b[kBpbSectorsPerCluster];
    if (spc == 0 || spc > kMaxSectorsPerCluster || (spc & (spc - 1)) != 0) return false;
    const uint32_t reserved = get16(b + kBpbReservedSectors);
    const uint32_t fats = b[kBpbFatCount];
    const uint32_t root_entries = get16(b + kBpbRootEntries);
    const uint32_t total16 = get16(b + kBpbTotalSectors16);
    const uint32_t total = total16 ? total16 : get32(b + kBpbTotalSectors32);
    const uint32_t fat16_size = get16(b + kBpbFatSize16);
    const uint32_t fat_size = fat16_size ? fat16_size : get32(b + kBpbFatSize32);
    if (reserved == 0 || fats < 1 || fats > 2 || total == 0 || fat_size == 0) return false;
    if (total > available) return false;
    const uint64_t root_sectors =
        (uint64_t(root_entries) * kEntrySize + kSectorSize - 1) / kSectorSize;
    const uint64_t data_start = uint64_t(reserved) + uint64_t(fats) * fat_size + root_sectors;
    if (data_start >= total) return false;

    uint8_t shift = 0;
    while ((1u << shift) < spc) ++shift;
    const uint32_t clusters = uint32_t((total - data_start) >> shift);
    if (clusters == 0) return false;
    uint8_t type;
    if (clusters <= kFat12MaxClusters)
        type = 12;
    else if (clusters <= kFat16MaxClusters)
        type = 16;
    else if (clusters <= kFat32MaxClusters)
        type = 32;
    else
        return false;

    const uint64_t entries = uint64_t(clusters) + 2;
    const uint64_t fat_bytes = type == 12 ? (entries * 3 + 1) / 2 : entries * (type / 8);
    if (uint64_t(fat_size) * kSectorSize < fat_bytes) return false;

    Volume v{};
    v.type = type;
    v.first_sector = first_sector;
    v.end_sector = first_sector + total;
    v.fat_sector = first_sector + reserved;
    v.fat_sectors = fat_size;
    v.fat_count = uint8_t(fats);
    v.cluster_shift = shift;
    v.max_cluster = clusters + 1;
    v.data_sector = first_sector + uint32_t(data_start);
    v.free_count = kFreeCountUnknown;
    v.next_free = 2;
    if (type == 32) {
        if (root_entries != 0 || fat16_size != 0) return false;
        v.root_cluster = get32(b + kBpbRootCluster) & kFat32ValueMask;
        if (v.root_cluster < 2 || v.root_cluster > v.max_cluster) return false;
        const uint32_t info = get16(b + kBpbFsInfoSector);
        if (info != 0 && info < reserved) v.fsinfo_sector = first_sector + info;
    } else {
        if (root_entries == 0) return false;
        v.root_sector = v.fat_sector + fats * fat_size;
        v.root_sectors = uint32_t(root_sectors);
    }
    vol = v;
    return true;
}

void read_fsinfo() {
    if (vol.fsinfo_sector == 0) return;
    uint8_t* p;
    if (cache_load(vol.fsinfo_sector, &p) != kFsOk || get32(p) != kFsInfoLeadSignature ||
        get32(p + kFsInfoStructOffset) != kFsInfoStructSignature ||
        get32(p + kFsInfoTrailOffset) != kFsInfoTrailSignature) {
        vol.fsinfo_sector = 0;  // nothing trustworthy there: leave it alone
        return;
    }
    const uint32_t free_count = get32(p + kFsInfoFreeCount);
    if (free_count <= vol.max_cluster - 1) vol.free_count = free_count;
    const uint32_t next = get32(p + kFsInfoNextFree);
    if (valid_cluster(next)) vol.next_free = next;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

int mount() {
    unmount();
    const uint32_t card = sd_card_sectors();
    if (card == 0) return kFsErrNoCard;
    uint8_t boot[kSectorSize];
    if (read_sector(0, boot) != kFsOk) return kFsErrRead;
    bool found = try_volume(boot, 0, card);
    if (!found && get16(boot + kBootSignatureOffset) == 0xAA55) {
        uint8_t table[kMbrEntries * kMbrEntrySize];
        std::memcpy(table, boot + kMbrTable, sizeof table);
        for (int i = 0; i < kMbrEntries && !found; ++i) {
            const uint8_t* entry = table + i * kMbrEntrySize;
            const uint32_t start = get32(entry + 8);
            if (!fat_partition_type(entry[4]) || start == 0 || start >= card) continue;
            if (read_sector(start, boot) != kFsOk) continue;
            found = try_volume(boot, start, card - start);
        }
    }
    if (!found) return kFsErrUnsupported;
    read_fsinfo();
    cwd = root_dir();
    list_done = true;
    return kFsOk;
}

void unmount() {
    vol = Volume{};
    cache_valid = false;
    cache_dirty = false;
    list_done = true;
    cwd = 0;
}

bool mounted() {
    return vol.type != 0;
}

uint32_t current_directory() {
    return cwd;
}

int change_directory(const char* path) {
    if (!mounted()) return kFsErrNoCard;
    if (!path || !*path) return kFsErrBadName;
    uint32_t dir = cwd;
    const char* p = path;
    if (*p == '/') {
        dir = root_dir();
        while (*p == '/') ++p;
    }
    while (*p) {
        const char* end = p;
        while (*end && *end != '/') ++end;
        char name[kShortNameLength];
        if (!fs_parse_short_name(p, size_t(end - p), name)) return kFsErrBadName;
        const bool dot = name[0] == '.' && name[1] == ' ';
        const bool dotdot = name[0] == '.' && name[1] == '.';
        if (dotdot && dir == root_dir()) return kFsErrNotFound;
        if (!dot) {
            uint8_t e[kEntrySize];
            EntryLocation where;
            const int r = find_entry(dir, name, e, &where);
            if (r != kFsOk) return r;
            if (!(e[kDirAttr] & kFsAttrDirectory)) return kFsErrNotDirectory;
            const uint32_t target = entry_cluster(e);
            if (target == 0) {
                // Only ".." may point at the root this way; anything else is damaged.
                if (!dotdot) return kFsErrCorrupt;
                dir = root_dir();
            } else {
                if (!valid_cluster(target)) return kFsErrCorrupt;
                dir = target;
            }
        }
        p = end;
        while (*p == '/') ++p;
    }
    cwd = dir;
    list_done = true;
    return kFsOk;
}

void list_restart() {
    list_done = cursor_start(list_cursor, cwd) != kFsOk || !mounted();
}

int list_next(FS_DIRENT* entry) {
    while (!list_done) {
        uint8_t* e;
        int r = cursor_entry(list_cursor, &e);
        if (r != kFsOk) {
            list_done = true;
            return r;
        }
        if (e[0] == kEntryEnd) {
            list_done = true;
            break;
        }
        const bool take = e[0] != kEntryFree && !is_long_name(e);
        if (take) std::memcpy(entry, e, kEntrySize);
        bool end;
        r = cursor_step(list_cursor, &end);
        if (r != kFsOk || end) list_done = true;
        if (take) return kFsOk;
        if (r != kFsOk) return r;
    }
    return kFsErrNotFound;
}

int open_read(const char name[11], File* file) {
    if (!mounted()) return kFsErrNoCard;
    uint8_t e[kEntrySize];
    EntryLocation where;
    const int r = find_entry(cwd, name, e, &where);
    if (r != kFsOk) return r;
    if (e[kDirAttr] & kFsAttrDirectory) return kFsErrIsDirectory;
    File f{};
    f.first_cluster = entry_cluster(e);
    f.size = get32(e + kDirSize);
    f.entry = where;
    if (f.size > 0 && !valid_cluster(f.first_cluster)) return kFsErrCorrupt;
    *file = f;
    return kFsOk;
}

int open_write(const char name[11], File* file) {
    if (!mounted()) return kFsErrNoCard;
    uint8_t e[kEntrySize];
    EntryLocation where;
    int r = find_entry(cwd, name, e, &where);
    if (r == kFsOk) {
        if (e[kDirAttr] & kFsAttrDirectory) return kFsErrIsDirectory;
        if (e[kDirAttr] & kFsAttrReadOnly) return kFsErrReadOnly;
        // The entry lets go of its clusters before they are freed: a cut in between leaves
        // lost clusters for a disk check, never an entry pointing at free ones.
        const uint32_t old = entry_cluster(e);
        uint8_t* p;
        if ((r = cache_load(where.sector, &p)) != kFsOk) return r;
        uint8_t* entry = p + where.index * kEntrySize;
        set_entry_cluster(entry, 0);
        put32(entry + kDirSize, 0);
        put16(entry + kDirWriteTime, kFixedTime);
        put16(entry + kDirWriteDate, kFixedDate);
        cache_dirty = true;
        if ((r = cache_flush()) != kFsOk) return r;
        if (valid_cluster(old) && (r = free_chain(old)) != kFsOk) return r;
    } else if (r == kFsErrNotFound) {
        if ((r = find_free_entry(cwd, &where)) != kFsOk) return r;
        uint8_t* p;
        if ((r = cache_load(where.sector, &p)) != kFsOk) return r;
        fill_entry(p + where.index * kEntrySize, name, kFsAttrArchive, 0);
        cache_dirty = true;
    } else {
        return r;
    }
    if ((r = flush_all()) != kFsOk) return r;
    File f{};
    f.entry = where;
    f.writing = true;
    *file = f;
    list_done = true;
    return kFsOk;
}

namespace {

// Makes file->cluster the cluster that holds position.
int locate(File* f, uint32_t position) {
    const uint32_t index = position >> cluster_bytes_shift();
    if (index > vol.max_cluster - 2) return kFsErrCorrupt;
    if (f->cluster == 0 || index < f->cluster_index) {
        if (!valid_cluster(f->first_cluster)) return kFsErrCorrupt;
        f->cluster = f->first_cluster;
        f->cluster_index = 0;
    }
    while (f->cluster_index < index) {
        uint32_t next;
        const int r = chain_next(f->cluster, &next);
        if (r != kFsOk) return r;
        if (next == 0) return kFsErrCorrupt;  // the chain is shorter than the file
        f->cluster = next;
        ++f->cluster_index;
    }
    return kFsOk;
}

}  // namespace

int read(File* f, uint32_t position, uint8_t* data, uint32_t count, uint32_t* got) {
    *got = 0;
    if (!mounted()) return kFsErrNoCard;
    if (position >= f->size) return kFsOk;
    if (count > f->size - position) count = f->size - position;
    const uint32_t spc = sectors_per_cluster();
    while (count > 0) {
        int r = locate(f, position);
        if (r != kFsOk) return r;
        const uint32_t in_cluster = (position >> 9) & (spc - 1);
        const uint32_t sector = cluster_sector(f->cluster) + in_cluster;
        const uint32_t offset = position % kSectorSize;
        if (offset == 0 && count >= kSectorSize) {
            // Whole sectors go straight to the caller.
            uint32_t n = count / kSectorSize;
            if (n > spc - in_cluster) n = spc - in_cluster;
            for (uint32_t i = 0; i < n; ++i) {
                if ((r = read_sector(sector + i, data)) != kFsOk) return r;
                data += kSectorSize;
            }
            const uint32_t bytes = n * kSectorSize;
            position += bytes;
            count -= bytes;
            *got += bytes;
            continue;
        }
        if (f->buffer_sector != sector) {
            f->buffer_sector = 0;
            if ((r = read_sector(sector, f->buffer)) != kFsOk) return r;
            f->buffer_sector = sector;
        }
        uint32_t n = kSectorSize - offset;
        if (n > count) n = count;
        std::memcpy(data, f->buffer + offset, n);
        data += n;
        position += n;
        count -= n;
        *got += n;
    }
    return kFsOk;
}

int read_chunk(File* f, uint32_t position, uint8_t* data, uint32_t* got) {
    *got = 0;
    if (!mounted()) return kFsErrNoCard;
    if (position >= f->size) return kFsOk;
    const uint32_t cluster_bytes = 1u << cluster_bytes_shift();
    uint32_t n = cluster_bytes - (position & (cluster_bytes - 1));
    if (n > f->size - position) n = f->size - position;
    return read(f, position, data, n, got);
}

int append(File* f, const uint8_t* data, uint32_t count) {
    if (!mounted()) return kFsErrNoCard;
    if (!f->writing) return kFsErrBadMode;
    if (f->failed) return kFsErrWrite;
    if (count > 0xFFFFFFFFu - f->size) return kFsErrDiskFull;  // FAT sizes are 32-bit
    const uint32_t cluster_mask = (1u << cluster_bytes_shift()) - 1;
    while (count > 0) {
        const uint32_t position = f->size;
        int r = kFsOk;
        if ((position & cluster_mask) == 0) {
            uint32_t c;
            r = allocate(position == 0 ? 0 : f->cluster, &c);
            if (r == kFsOk) {
                if (position == 0) f->first_cluster = c;
                f->cluster = c;
                f->cluster_index = position >> cluster_bytes_shift();
            }
        }
        if (r != kFsOk) {
            f->failed = true;
            return r;
        }
        const uint32_t sector =
            cluster_sector(f->cluster) + ((position >> 9) & (sectors_per_cluster() - 1));
        const uint32_t offset = position % kSectorSize;
        if (offset == 0) {
            // A sector the file has not used yet: nothing to keep from it.
            std::memset(f->buffer, 0, kSectorSize);
            f->buffer_sector = sector;
        }
        uint32_t n = kSectorSize - offset;
        if (n > count) n = count;
        std::memcpy(f->buffer + offset, data, n);
        f->buffer_dirty = true;
        f->size += n;
        data += n;
        count -= n;
        if (offset + n == kSectorSize) {
            f->buffer_dirty = false;
            if ((r = write_sector(sector, f->buffer)) != kFsOk) {
                f->failed = true;
                return r;
            }
        }
    }
    return kFsOk;
}

int close(File* f) {
    if (!f->writing) return kFsOk;
    if (!mounted()) return kFsErrNoCard;
    int result = kFsOk;
    if (f->buffer_dirty) {
        f->buffer_dirty = false;
        result = write_sector(f->buffer_sector, f->buffer);
    }
    int r = cache_flush();
    if (result == kFsOk) result = r;
    uint8_t* p;
    r = cache_load(f->entry.sector, &p);
    if (r == kFsOk) {
        uint8_t* e = p + f->entry.index * kEntrySize;
        set_entry_cluster(e, f->first_cluster);
        put32(e + kDirSize, f->size);
        put16(e + kDirWriteTime, kFixedTime);
        put16(e + kDirWriteDate, kFixedDate);
        cache_dirty = true;
        r = flush_all();
    }
    if (result == kFsOk) result = r;
    f->writing = false;
    return result;
}

int make_directory(const char name[11]) {
    if (!mounted()) return kFsErrNoCard;
    uint8_t e[kEntrySize];
    EntryLocation where;
    int r = find_entry(cwd, name, e, &where);
    if (r == kFsOk) return kFsErrExists;
    if (r != kFsErrNotFound) return r;
    if ((r = find_free_entry(cwd, &where)) != kFsOk) return r;
    uint32_t c;
    if ((r = allocate(0, &c)) != kFsOk) return r;
    if ((r = zero_cluster(c)) != kFsOk) return r;
    uint8_t* p;
    if ((r = cache_load(cluster_sector(c), &p)) != kFsOk) return r;
    char dots[kShortNameLength];
    std::memset(dots, ' ', sizeof dots);
    dots[0] = '.';
    fill_entry(p, dots, kFsAttrDirectory, c);
    dots[1] = '.';
    fill_entry(p + kEntrySize, dots, kFsAttrDirectory, cwd == root_dir() ? 0 : cwd);
    cache_dirty = true;
    if ((r = cache_load(where.sector, &p)) != kFsOk) return r;
    fill_entry(p + where.index * kEntrySize, name, kFsAttrDirectory, c);
    cache_dirty = true;
    list_done = true;
    return flush_all();
}

}  // namespace fat
