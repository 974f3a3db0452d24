# Sourced by the other scripts: makes sure the build tools are here, and
# installs what is missing from Debian's packages when we may.
need_packages() {
  local missing=()
  command -v cmake >/dev/null 2>&1 || missing+=(cmake)
  command -v g++ >/dev/null 2>&1 || missing+=(g++)
  command -v make >/dev/null 2>&1 || missing+=(make)
  [ -f /usr/src/googletest/CMakeLists.txt ] || missing+=(googletest libgtest-dev)
  for extra in "$@"; do
    case "$extra" in
      clang) command -v clang++ >/dev/null 2>&1 || missing+=(clang) ;;
      *) dpkg -s "$extra" >/dev/null 2>&1 || missing+=("$extra") ;;
    esac
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
}

# Runs a command as root: directly when we are, through sudo otherwise.
as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Lets apt install packages of another architecture (i386 for 32-bit Wine).
need_architecture() {
  dpkg --print-foreign-architectures | grep -qx "$1" || as_root dpkg --add-architecture "$1"
}

jobs() { nproc 2>/dev/null || echo 2; }

# The npm packages package-lock.json pins (the browser tests' driver),
# installed again whenever the lock changes.
need_node_modules() {
  command -v npm >/dev/null 2>&1 || need_packages nodejs npm
  if ! cmp -s "$root/package-lock.json" "$root/node_modules/.package-lock.json.installed"; then
    (cd "$root" && npm ci --no-audit --no-fund --loglevel=error)
    cp "$root/package-lock.json" "$root/node_modules/.package-lock.json.installed"
  fi
}

# dist/SHA256SUMS, over every release file there.
write_checksums() {
  (cd "$root/dist" && find . -maxdepth 1 -type f ! -name SHA256SUMS -printf '%f\n' | LC_ALL=C sort |
    xargs -d '\n' sha256sum >SHA256SUMS && sha256sum -c --quiet SHA256SUMS)
}
