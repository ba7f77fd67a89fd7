// A fresh folder under the system's temporary folder, removed with its
// contents at the end of the scope.
#pragma once

#include <string>

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }

    // Writes `bytes` to `name` inside the folder; returns its full path.
    std::string write(const std::string &name, const std::string &bytes) const;

private:
    std::string path_;
};

std::string readFile(const std::string &path);
