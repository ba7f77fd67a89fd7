// The block through which the C runtime hands its open files to a child it
// spawns: STARTUPINFO's reserved fields carry it.
#pragma once

#include <vector>

namespace hostutil::platform::win32 {

// "Descriptor count, one flags byte per descriptor, one HANDLE per
// descriptor" (unaligned) for descriptors 0 to the highest open one, so the
// child's runtime starts with the same open files. Descriptors whose handle
// is not inheritable are passed as closed, as the runtime does.
std::vector<unsigned char> inheritedHandleTable();

}  // namespace hostutil::platform::win32
