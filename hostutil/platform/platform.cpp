#include "platform.h"

namespace hostutil::platform {

namespace {
Platform *installed = nullptr;
}

Platform &current() { return installed ? *installed : native(); }

void install(Platform *backend) { installed = backend; }

}  // namespace hostutil::platform
