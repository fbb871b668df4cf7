# Sourced by the scripts: installs the Debian packages a step needs when they
# are missing. Only root can install; anyone else is told what is missing.

# missing_packages PKG... prints the packages that are not installed.
missing_packages() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
  done
}

# ensure_packages [--recommends] PKG...: installs what is missing, with the
# packages' recommendations when asked (Wine's X11 side lives there). Returns 1
# when something is still missing afterwards (not root, or apt-get failed).
ensure_packages() {
  local missing recommends=--no-install-recommends
  if [ "${1:-}" = --recommends ]; then
    recommends=
    shift
  fi
  missing=$(missing_packages "$@")
  [ -z "$missing" ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: missing packages (install them as root): $missing" >&2
    return 1
  fi
  echo "setup: installing $missing" >&2
  if [ -z "${KELVANE_APT_UPDATED:-}" ]; then
    apt-get update -qq >&2 || return 1
    export KELVANE_APT_UPDATED=1
  fi
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $recommends $missing >&2 || return 1
  [ -z "$(missing_packages "$@")" ]
}

# The native build: compiler, CMake, Ninja, GoogleTest, Google Benchmark.
ensure_native_toolchain() {
  ensure_packages g++ cmake ninja-build libgtest-dev libbenchmark-dev python3
}
