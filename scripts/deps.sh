#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the demo need.
# Sourced by ./test and ./run; installs only what is missing, and only as root or
# through sudo. Otherwise it names the packages and fails.
set -u

ZEV1_PACKAGES=(
  cmake ninja-build g++ pkg-config ccache
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  clang libclang-rt-14-dev
  qt6-base-dev libgl-dev
  libcli11-dev nlohmann-json3-dev
  g++-mingw-w64-x86-64-posix wine64 fonts-wine
  xvfb xauth imagemagick x11-utils
  help2man librsvg2-bin icoutils nsis lintian desktop-file-utils dpkg-dev
  emscripten chromium nodejs npm
  qemu-system-x86 linux-image-amd64 busybox-static kmod cpio python3
)

zev1_missing_packages() {
  local p missing=()
  for p in "${ZEV1_PACKAGES[@]}"; do
    # A nodejs package that brings its own npm (NodeSource's) conflicts with Debian's npm.
    if [ "$p" = npm ] && command -v npm >/dev/null 2>&1; then
      continue
    fi
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$p")
    fi
  done
  echo "${missing[@]:-}"
}

zev1_install_deps() {
  local missing
  missing=$(zev1_missing_packages)
  [ -z "$missing" ] && return 0
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
      sudo="sudo"
    else
      echo "Missing Debian packages: $missing" >&2
      echo "Install them with: sudo apt-get install $missing" >&2
      return 1
    fi
  fi
  echo "Installing: $missing"
  export DEBIAN_FRONTEND=noninteractive
  # shellcheck disable=SC2086
  if ! $sudo apt-get install -y -q --no-install-recommends $missing; then
    $sudo apt-get update -q && $sudo apt-get install -y -q --no-install-recommends $missing || return 1
  fi
}
