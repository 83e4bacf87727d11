#!/usr/bin/env bash
# Builds both release archives, each a portable folder holding Sightrel and Idlepress:
#   build/linux/package/SightrelIdlepress-<version>-linux-x86_64.tar.gz
#   build/windows/package/SightrelIdlepress-<version>-windows-x64.zip
# Installs the Debian packages first (SKIP_INSTALL=1 skips that), like scripts/test.sh.
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ ${SKIP_INSTALL:-0} != 1 ]]; then
  scripts/install-deps.sh
fi

for preset in linux windows; do
  echo "=== $preset: configure, build and package"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target package
done
echo "Release archives:"
ls -l build/linux/package/*.tar.gz build/windows/package/*.zip
