#include "backend.h"

namespace hostutil::platform {

Platform &native() {
    static LinuxBackend backend;
    return backend;
}

}  // namespace hostutil::platform
