// One temporary file per fuzzing process, reused for every input: the
// targets that read files (memory images, archives) write each input there.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace oront::fuzz {

// The folder is made on first use, in memory (/dev/shm) where there is one,
// since syncing to a disk would cost more than the input's work, and
// removed when the process ends.
inline const std::string& TempFolder() {
    static const std::string folder = [] {
        std::error_code ec;
        const std::filesystem::path base =
            std::filesystem::is_directory("/dev/shm", ec) && ::access("/dev/shm", W_OK) == 0
                ? std::filesystem::path("/dev/shm")
                : std::filesystem::temp_directory_path();
        std::string path = (base / "oront-fuzz-XXXXXX").string();
        if (::mkdtemp(path.data()) == nullptr) std::abort();
        static const std::string removed = path;
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(removed, ec);
        });
        return path;
    }();
    return folder;
}

// Whether the file holds exactly these bytes (one read beyond them tells a
// longer file).
inline bool FileHolds(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    std::vector<std::uint8_t> bytes(size + 1);
    const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return got == size && std::equal(data, data + size, bytes.begin());
}

inline void WriteWholeFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || (size > 0 && std::fwrite(data, 1, size, f) != size) || std::fclose(f) != 0) std::abort();
}

}  // namespace oront::fuzz
