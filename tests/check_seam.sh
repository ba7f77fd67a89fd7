#!/bin/sh
# usage: check_seam.sh SOURCE_DIR
# Fails when code above the platform seam tests for a platform: such tests
# belong in hostutil/platform/ (and the public headers in include/).
set -u
cd "$1" || exit 2
hits=$(grep -rnE '\b(_WIN32|_WIN64|__linux__|__unix__|__APPLE__|_MSC_VER|__MINGW32__)\b' \
  hostutil textfind tools --include='*.c' --include='*.cpp' --include='*.h' |
  grep -v '^hostutil/platform/')
if [ -n "$hits" ]; then
  echo "platform tests above the seam (move them into hostutil/platform/):"
  echo "$hits"
  exit 1
fi
echo "no platform test outside hostutil/platform/ and include/"
