#pragma once
// Small file helpers for tests: a temporary folder per fixture, whole-file reads and writes.
#include <cstdint>
#include <string>

namespace testsupport {

// A fresh folder under the system's temporary folder, removed with everything in it on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string readFile(const std::string& path);               // empty when unreadable
bool writeFile(const std::string& path, const std::string& bytes);
bool fileExists(const std::string& path);
std::int64_t fileSize(const std::string& path);              // -1 when missing

// Writes the first `fraction` (0..1) of src's bytes to dst, as a recording cut off mid-write.
bool truncatedCopy(const std::string& src, const std::string& dst, double fraction);

}  // namespace testsupport
