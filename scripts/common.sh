# Shared by scripts/demo and scripts/test: installs the Debian packages the
# project needs (only when one is missing) and builds the project in build/.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${NARVO_BUILD_DIR:-$ROOT/build}"

PACKAGES=(
  cmake g++ make pkg-config ccache
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libqt6printsupport6
  libsqlite3-dev sqlite3 libedit-dev
  postgresql libpq-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  mdbtools mdbtools-dev libglib2.0-dev
  xvfb xauth x11-utils xdotool imagemagick fonts-liberation fonts-dejavu-core
  poppler-utils xdg-utils help2man
)

install_packages() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$p")
    fi
  done
  if [ ${#missing[@]} -eq 0 ]; then
    return 0
  fi
  echo "Installing: ${missing[*]}"
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

build_project() {
  local type="${1:-RelWithDebInfo}"
  cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE="$type" >/dev/null
  cmake --build "$BUILD" -j"$(nproc)"
}
