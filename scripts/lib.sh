# shellcheck shell=bash
# Shared by the scripts in this folder: the packages the project needs and its builds.
# VESK_BUILD_ROOT, when set, puts the build folders there instead of build/.

REPO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
PACKAGES=(cmake ninja-build g++ libgtest-dev g++-mingw-w64-x86-64-posix wine wine64 xvfb
  python3 python3-pytest clang-format clang-14 libclang-rt-14-dev dosfstools nlohmann-json3-dev
  pandoc python3-jsonschema)

# Installs with apt-get whatever of PACKAGES is missing; does nothing when all are there.
ensure_packages() {
  local missing=() package
  for package in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null | grep -q '^install ok installed$' ||
      missing+=("$package")
  done
  ((${#missing[@]} == 0)) && return 0
  echo "== installing ${missing[*]}"
  local sudo=()
  ((EUID == 0)) || sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
}

# The build folder of a preset (native, windows or fuzz).
build_dir() {
  echo "${VESK_BUILD_ROOT:-$REPO_ROOT/build}/$1"
}

# Configures and builds one preset.
build_preset() {
  local preset=$1
  echo "== building $preset"
  if [[ -n ${VESK_BUILD_ROOT:-} ]]; then
    cmake --preset "$preset" -B "$(build_dir "$preset")" >/dev/null &&
      cmake --build "$(build_dir "$preset")" -j "$(nproc)"
  else
    (cd "$REPO_ROOT" && cmake --preset "$preset" >/dev/null &&
      cmake --build --preset "$preset" -j "$(nproc)")
  fi
}
