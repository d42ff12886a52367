# Shared set-up for the scripts: package installation and the build.
# Sourced, not run.

repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

as_root() {
  if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi
}

# Installs the named Debian packages that are not installed yet; runs apt-get update only
# when something is missing.
ensure_packages() {
  local missing=()
  local pkg
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' ||
      missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "${missing[@]}"
}

build_packages=(cmake make g++ pkg-config qt6-base-dev libgl-dev libpulse-dev libsndfile1-dev
  libmpfr-dev libgmp-dev help2man
  fonts-ipafont-gothic fonts-dejavu-core)

# Configures and builds into the given directory with extra CMake arguments.
build_tree() {
  local dir=$1
  shift
  cmake -S "$repo_root" -B "$dir" -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
  cmake --build "$dir" -j"$(nproc)"
}
