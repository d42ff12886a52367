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
  zlib1g-dev libmpfr-dev libgmp-dev help2man
  fonts-ipafont-gothic fonts-dejavu-core)

# Configures and builds into the given directory with extra CMake arguments.
build_tree() {
  local dir=$1
  shift
  cmake -S "$repo_root" -B "$dir" -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
  cmake --build "$dir" -j"$(nproc)"
}

# apt-get with a private state that knows only arm64, in a folder beside the arm64 root: the
# machine's own package database and architectures stay as they are.
arm64_root_dir=$repo_root/build-arm64-root
arm64_apt() {
  local state=$arm64_root_dir.apt
  mkdir -p "$state/lists/partial" "$state/cache/archives/partial"
  [ -f "$state/status" ] || : >"$state/status"
  apt-get -qq -o APT::Architecture=arm64 -o APT::Architectures::=arm64 \
    -o "Dir::State::Lists=$state/lists" -o "Dir::Cache=$state/cache" \
    -o "Dir::State::Status=$state/status" -o Debug::NoLocking=1 -o APT::Sandbox::User=root "$@"
}

# Debian 12's arm64 libraries for the cross builds (Qt 6, libpulse, libsndfile, MPFR, FFTW, the
# fonts the package depends on and everything they need, the C library included), unpacked into
# one folder that serves as the compiler's sysroot and as qemu-aarch64's library root. A private
# dpkg database in the folder lets dpkg-shlibdeps find each library's package and symbols file.
# Made once; prints the folder.
arm64_root_packages=(qt6-base-dev libpulse-dev libsndfile1-dev zlib1g-dev libmpfr-dev libgmp-dev
  libfftw3-dev libbenchmark-dev fonts-ipafont-gothic fonts-dejavu-core)
arm64_root() {
  local root=$arm64_root_dir db=$arm64_root_dir/var/lib/dpkg
  if [ ! -f "$db/status" ]; then
    rm -rf "$root"
    mkdir -p "$db/info"
    arm64_apt update >&2
    arm64_apt install --download-only -y --no-install-recommends "${arm64_root_packages[@]}" >&2
    local deb name control file
    for deb in "$root.apt"/cache/archives/*.deb; do
      dpkg-deb -x "$deb" "$root"
      name=$(dpkg-deb -f "$deb" Package)
      # dpkg's own naming: the architecture qualifies packages that several may share.
      [ "$(dpkg-deb -f "$deb" Multi-Arch)" = same ] && name+=:arm64
      control=$(mktemp -d)
      dpkg-deb -e "$deb" "$control"
      for file in shlibs symbols; do
        [ ! -f "$control/$file" ] || mv "$control/$file" "$db/info/$name.$file"
      done
      rm -rf "$control"
      # The files as they lie in the folder, so that a search by path finds the package.
      dpkg-deb --fsys-tarfile "$deb" | tar -t | sed "s|^\./|$root/|; s|/$||" >"$db/info/$name.list"
      { dpkg-deb -f "$deb"; echo "Status: install ok installed"; echo; } >>"$db/status.new"
    done
    # A library's absolute link (libz.so -> /lib/aarch64-linux-gnu/libz.so.1.2.13) would name a
    # file of the build machine, and the linker would take the static library instead: it is
    # pointed at the same path inside the folder.
    find "$root" -type l -name 'lib*.so' -lname '/*' -print0 | while IFS= read -r -d '' link; do
      ln -sfn "$root$(readlink "$link")" "$link"
    done
    echo arm64 >"$db/arch"
    echo 1 >"$db/info/format"
    rm -rf "$root.apt/cache"
    mv "$db/status.new" "$db/status"
  fi
  echo "$root"
}

# The pattern of the libm functions whose result is exact (or correctly rounded by definition)
# on every processor, as listed in exact_double.h; any other libm import is a transcendental
# whose last bit may depend on the processor or on glibc's choice of code path.
exact_libm_pattern() {
  local names
  names=$(sed -n 's|^//   libm: ||p' "$repo_root/src/analysis/exact_double.h" | xargs)
  [ -n "$names" ] || { echo "no libm list in exact_double.h" >&2; return 1; }
  echo "^(${names// /|})f?\$"
}

# Prints each libm function that the given nm command lists as imported and that does not match
# $exact_libm (exact_libm_pattern). Arguments: the libm to compare with, then the nm command.
inexact_libm_imports() {
  local libm=$1
  shift
  local sym
  for sym in $(comm -12 <("$@" | awk '{print $NF}' | sed 's/@.*//' | sort -u) \
    <(nm -D --defined-only "$libm" | awk '{print $3}' | sed 's/@.*//' | sort -u)); do
    [[ $sym =~ $exact_libm ]] || echo "$sym"
  done
}

# Prints the routines of libgcc for 128-bit long double (__addtf3, __extenddftf2 ...), arm64's
# long double arithmetic, that the arm64 files name, called or linked in.
arm64_quad_routines() {
  comm -12 <(aarch64-linux-gnu-nm "$@" | awk '{print $NF}' | sed 's/@.*//' | sort -u) \
    <(aarch64-linux-gnu-nm --defined-only "$(aarch64-linux-gnu-gcc -print-libgcc-file-name)" \
      2>/dev/null | awk '$NF ~ /tf/ {print $NF}' | sort -u)
}
