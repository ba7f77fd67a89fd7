#!/bin/sh
# usage: check_seam.sh SOURCE_DIR
# Fails when code above the platform seam tests for a platform: hostutil's
# platform code belongs in hostutil/platform/, and textfind's and the
# tools' in files of their own that the build picks for each system (as
# textfind/file_stamp_posix.cpp and _win32.cpp); the public headers may
# test in include/.
set -u
cd "$1" || exit 2
hits=$(grep -rnE '\b(_WIN32|_WIN64|__linux__|__unix__|__APPLE__|_MSC_VER|__MINGW32__)\b' \
  hostutil textfind tools --include='*.c' --include='*.cpp' --include='*.h' |
  grep -v '^hostutil/platform/')
if [ -n "$hits" ]; then
  echo "platform tests above the seam (hostutil: into hostutil/platform/; textfind and the tools:"
  echo "into a _posix.cpp and a _win32.cpp that CMake picks):"
  echo "$hits"
  exit 1
fi
echo "no platform test outside hostutil/platform/ and include/"
