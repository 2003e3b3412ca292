#pragma once
// Scratch folders and whole-file helpers for tests.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

// A fresh, empty folder under the system's temporary folder, removed with
// everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

Bytes readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const Bytes& bytes);

// Offset of the first byte where `a` and `b` differ (the shorter length when
// one is a prefix of the other), or -1 when they are equal. For messages that
// point at the first difference instead of dumping two buffers.
long long firstDifference(const Bytes& a, const Bytes& b);
