// Test support: temporary folders, files, and FAT images made and checked by Debian's
// dosfstools (mkfs.fat, fsck.fat) and mtools (mcopy, mmd, mdel), the reference the firmware's
// FAT code is measured against.
#pragma once

#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace voxa_test {

inline std::string quote(const std::string& s) {
    std::string q = "'";
    for (const char c : s) {
        if (c == '\'')
            q += "'\\''";
        else
            q += c;
    }
    return q + "'";
}

// Runs a shell command; returns its exit status, its output (stdout and stderr) in *output.
inline int run(const std::string& command, std::string* output = nullptr) {
    const std::string full = "MTOOLS_SKIP_CHECK=1 " + command + " 2>&1";
    FILE* p = popen(full.c_str(), "r");
    if (!p) return -1;
    std::string out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    const int status = pclose(p);
    if (output) *output = out;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class TempDir {
  public:
    TempDir() {
        char tmpl[] = "/tmp/voxa-test-XXXXXX";
        const char* p = mkdtemp(tmpl);
        path_ = p ? p : "/tmp";
    }
    ~TempDir() { run("rm -rf " + quote(path_)); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

inline void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), std::streamsize(bytes.size()));
}

inline std::string read_file(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

inline bool file_exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// Deterministic bytes that differ from file to file (xorshift from the seed).
inline std::string pattern(size_t n, uint32_t seed) {
    std::string s(n, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < n; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        s[i] = char(x >> 24);
    }
    return s;
}

// One FAT layout the tests use: FAT bits, size in KB, sectors per cluster.
struct FatLayout {
    int bits;
    int size_kb;
    int sectors_per_cluster;
    int cluster_bytes() const { return 512 * sectors_per_cluster; }
};

inline std::string layout_name(const FatLayout& l) {
    return "FAT" + std::to_string(l.bits) + "_" + std::to_string(l.cluster_bytes()) + "B";
}
inline void PrintTo(const FatLayout& l, std::ostream* os) {
    *os << layout_name(l);
}

// Makes a fresh unpartitioned FAT image.
inline bool mkfs(const std::string& image, const FatLayout& l, std::string* log = nullptr) {
    run("rm -f " + quote(image));
    return run("mkfs.fat -C --invariant -F " + std::to_string(l.bits) + " -s " +
                   std::to_string(l.sectors_per_cluster) + " " + quote(image) + " " +
                   std::to_string(l.size_kb),
               log) == 0;
}

// mtools on an image; dest like "::/DIR/NAME".
inline bool mcopy_in(const std::string& image, const std::string& host, const std::string& dest) {
    return run("mcopy -o -i " + quote(image) + " " + quote(host) + " " + quote(dest)) == 0;
}
inline bool mcopy_out(const std::string& image, const std::string& src, const std::string& host) {
    return run("mcopy -n -o -i " + quote(image) + " " + quote(src) + " " + quote(host)) == 0;
}
inline bool mmd(const std::string& image, const std::string& dir) {
    return run("mmd -i " + quote(image) + " " + quote(dir)) == 0;
}
inline bool mdel(const std::string& image, const std::string& file) {
    return run("mdel -i " + quote(image) + " " + quote(file)) == 0;
}

// fsck.fat in check-only mode; true when it found nothing to complain about: exit status 0 and
// nothing printed besides its banner and the summary line.
inline bool fsck_clean(const std::string& image, std::string* log) {
    if (run("fsck.fat -n " + quote(image), log) != 0) return false;
    size_t lines = 0;
    for (const char c : *log) lines += c == '\n';
    return lines == 2;
}

}  // namespace voxa_test
