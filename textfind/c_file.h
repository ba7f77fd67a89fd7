// A C stream closed with its owner, for the store code and the tools.
#pragma once

#include <cstdio>
#include <memory>

namespace textfind {

struct CFileCloser {
    void operator()(std::FILE *file) const { std::fclose(file); }
};
using CFile = std::unique_ptr<std::FILE, CFileCloser>;

}  // namespace textfind
