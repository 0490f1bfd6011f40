// The firmware's file layer driven in-process against a card in the standalone board's slot.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../support/dosfs.h"
#include "boards/sim/standalone.h"
#include "fs/file_ops.h"
#include "fs/sdcard.h"

namespace voxa_test {

inline sim::Standalone& board() {
    return sim::Standalone::instance();
}

inline void insert_image(const std::string& image) {
    board().insert_sd_image(image);
    ASSERT_EQ(initialize_media(), 1) << "mount failed, error " << SD_lastError();
}

inline void eject() {
    FS_Unmount();
    board().remove_sd();
    initialize_media();
}

// Byte-identical contents; a mismatch reports sizes and the first differing byte rather than
// the whole of two large files.
inline ::testing::AssertionResult same_bytes(const std::string& got, const std::string& want) {
    if (got == want) return ::testing::AssertionSuccess();
    size_t i = 0;
    while (i < got.size() && i < want.size() && got[i] == want[i]) ++i;
    auto failure = ::testing::AssertionFailure();
    failure << "sizes " << got.size() << " and " << want.size() << ", first difference at byte "
            << i;
    if (got.size() < 80) failure << " (got \"" << got << "\")";
    return failure;
}

// The whole file through fread, or "<error N>" when it cannot be opened or read completely.
inline std::string fw_read(const char* name) {
    FS_FILE* f = SD_fopen(name, kFsModeRead);
    if (!f) return "<error " + std::to_string(SD_lastError()) + ">";
    std::string data(f->size, '\0');
    const size_t got = f->size ? fread(data.data(), 1, data.size(), f) : 0;
    SD_fclose(f);
    if (got != data.size()) return "<error " + std::to_string(SD_lastError()) + ">";
    return data;
}

// The whole file through freadChunk.
inline std::string fw_read_chunks(const char* name) {
    FS_FILE* f = SD_fopen(name, kFsModeRead);
    if (!f) return "<error " + std::to_string(SD_lastError()) + ">";
    std::string data;
    std::vector<uint8_t> chunk(kFsMaxChunk);
    for (int n; (n = freadChunk(f, chunk.data())) > 0;) {
        if (n > int(kFsMaxChunk)) return "<chunk too large>";
        data.append(reinterpret_cast<const char*>(chunk.data()), size_t(n));
    }
    SD_fclose(f);
    return data;
}

// Writes a file in pieces of the given sizes (cycled), every seventh piece byte by byte.
inline bool fw_write(const char* name, const std::string& data,
                     const std::vector<size_t>& pieces = {4096}) {
    FS_FILE* f = fcreate(name, 0);
    if (!f) return false;
    size_t at = 0;
    bool ok = true;
    for (size_t k = 0; ok && at < data.size(); ++k) {
        size_t n = pieces[k % pieces.size()];
        if (n > data.size() - at) n = data.size() - at;
        if (k % 7 == 6) {
            for (size_t i = 0; ok && i < n; ++i) ok = fputc_(uint8_t(data[at + i]), f) >= 0;
        } else {
            ok = fwrite(data.data() + at, 1, n, f) == n;
        }
        at += n;
    }
    return SD_fclose(f) == 0 && ok;
}

// Names of the current directory as read_directory_entry and NameFromDirEntry give them.
inline std::vector<std::string> fw_list() {
    std::vector<std::string> names;
    FS_DIRENT e;
    for (int next = 0; read_directory_entry(&e, next); next = 1) {
        char name[13];
        NameFromDirEntry(name, &e);
        names.push_back(name);
    }
    return names;
}

}  // namespace voxa_test
