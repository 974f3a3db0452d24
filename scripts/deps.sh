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
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
}

jobs() { nproc 2>/dev/null || echo 2; }
