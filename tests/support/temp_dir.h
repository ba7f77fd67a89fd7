// Scratch files for tests.
#pragma once

#include <string>
#include <string_view>

namespace test {

// A fresh folder under the system's temporary folder, removed with its
// contents at the end of the scope.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::string &path() const { return path_; }
    std::string file(std::string_view name) const;

    // Returns the file's full path.
    std::string write(std::string_view name, std::string_view bytes) const;

private:
    std::string path_;
};

// Throws when the file cannot be opened, so that a missing file never reads
// as an empty one.
std::string readFile(const std::string &path);
void writeFile(const std::string &path, std::string_view bytes);
bool fileExists(const std::string &path);

}  // namespace test
