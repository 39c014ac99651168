#!/usr/bin/env bash
# Installs everything Halvetra needs to build, run and test, from Debian packages.
# Idempotent: a second run finds everything present and prints nothing.
# --fuzz adds what scripts/fuzz.sh needs.
# open62541 1.4 is unpacked into the project-local prefix .deps/prefix (git ignores .deps);
# the machine's own apt sources are left as they are.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD

PACKAGES=(build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev libqcustomplot-dev
  libgtest-dev libgmock-dev libbenchmark-dev libzip-dev
  xvfb xauth fonts-dejavu-core clang-format)

# With --fuzz also the compiler of the fuzz targets: clang with its sanitizer
# and libFuzzer runtime (libclang-rt-dev is Debian's default version of it,
# libclang-rt-14-dev on Debian 12).
if [ "${1:-}" = "--fuzz" ]; then
  PACKAGES+=(clang libclang-rt-dev)
fi

SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=sudo

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup-deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq >/dev/null
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# open62541 1.4: the system's own when it has 1.3 or newer, else the project-local prefix.
have_system_open62541() {
  [ -f /usr/include/open62541/client.h ] || return 1
  local v
  v=$(dpkg-query -W -f='${Version}' 'libopen62541-*-dev' 2>/dev/null | head -n1)
  [ -n "$v" ] && dpkg --compare-versions "$v" ge 1.3
}

PREFIX=$ROOT/.deps/prefix
ARCH=$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || echo x86_64-linux-gnu)
if ! have_system_open62541 && [ ! -f "$PREFIX/usr/lib/$ARCH/libopen62541.so.1.4" ]; then
  echo "setup-deps: unpacking open62541 1.4 into .deps/prefix"
  P=$ROOT/.deps/apt
  rm -rf "$P/debs"
  mkdir -p "$P/lists/partial" "$P/debs" "$P/cache/archives/partial" "$PREFIX"
  MIRROR=$(awk '/^URIs:/{print $2; exit}' /etc/apt/sources.list.d/debian.sources 2>/dev/null || true)
  if [ -z "$MIRROR" ]; then
    MIRROR=$(awk '$1=="deb"{for(i=2;i<=NF;i++) if($i ~ /^[a-z]+:\/\//){print $i; exit}}' /etc/apt/sources.list 2>/dev/null || true)
  fi
  [ -n "$MIRROR" ] || { echo "setup-deps: no Debian mirror found in the apt configuration" >&2; exit 1; }
  echo "deb $MIRROR trixie main" > "$P/sources.list"
  O=(-o "Dir::Etc::SourceList=$P/sources.list" -o Dir::Etc::SourceParts=/dev/null
     -o "Dir::State::Lists=$P/lists" -o "Dir::Cache=$P/cache"
     -o APT::Get::List-Cleanup=0 -o APT::Sandbox::User=root)
  apt-get "${O[@]}" -qq update >/dev/null
  (cd "$P/debs" && apt-get "${O[@]}" -qq download libopen62541-1.4 libopen62541-1.4-dev libmbedcrypto16 libmbedx509-7 >/dev/null)
  for f in "$P"/debs/*.deb; do dpkg -x "$f" "$PREFIX"; done
  # The CMake package of open62541 insists on the schema folder of its tools package.
  mkdir -p "$PREFIX/usr/share/open62541/schema"
fi
