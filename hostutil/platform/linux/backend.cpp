#include "backend.h"

#include <cstdlib>

namespace hostutil::platform {

Platform &native() {
    static LinuxBackend backend;
    return backend;
}

void *LinuxBackend::allocate(std::size_t size) { return std::malloc(size); }
void LinuxBackend::release(void *block) { std::free(block); }
std::FILE *LinuxBackend::openFile(const char *path, const char *mode) {
    return std::fopen(path, mode);
}
void LinuxBackend::closeFile(std::FILE *file) { std::fclose(file); }

}  // namespace hostutil::platform
