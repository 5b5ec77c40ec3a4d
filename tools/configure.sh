# shellcheck shell=bash
# The one configure step of the tests, the benchmarks and the longer runs:
# source it, then call
#   configure_build [folder] [i686|x86_64] [more cmake arguments]
# (build and i686 by default). The build is Release; the wizard it makes
# embeds no publisher key and pins no signer unless the arguments name them
# (a demo run leaves its key in the cache of build/); the keyed variants the
# tests use are targets of their own.

configure_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

configure_build() {
  local folder=${1:-build} arch=${2:-i686}
  [[ $folder == /* ]] || folder=$configure_root/$folder
  # The toolchain counts only in a folder's first configure; named on the
  # command line again, CMake warns that it went unused. From the environment
  # it does not.
  CMAKE_TOOLCHAIN_FILE=$configure_root/cmake/mingw-$arch.cmake cmake -S "$configure_root" \
    -B "$folder" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DQVX_PUBLISHER_KEY= -DQVX_PUBLISHER_CERT_SHA256= "${@:3}" >/dev/null
}
