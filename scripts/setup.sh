#!/usr/bin/env bash
# Installs the build and test tools on Debian 12 (as root). Idempotent: a warm
# machine where everything is present returns at once.
set -u

build_pkgs=(
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
  mingw-w64-i686-dev mingw-w64-tools cmake make ninja-build xvfb xauth googletest libp11-kit-dev
  imagemagick clang libclang-rt-14-dev python3 openssl wixl msitools osslsigncode
)
wine_pkgs=(wine wine32:i386 libgnutls30:i386)

apt_install() { apt-get install -y -q --no-install-recommends "$@"; }

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

missing() {
  local p
  for p in "$@"; do installed "$p" || echo "$p"; done
}

tools_present() {
  command -v i686-w64-mingw32-g++-posix >/dev/null && command -v i686-w64-mingw32-widl >/dev/null \
    && command -v wine >/dev/null && command -v Xvfb >/dev/null && command -v wixl >/dev/null \
    && command -v osslsigncode >/dev/null && command -v ninja >/dev/null
}

# Wine's 32-bit loader is an i386 program; a kernel built without 32-bit support
# cannot start it, and then qemu's user emulation runs it through binfmt_misc.
# Bookworm's qemu (7.2) takes minutes to start a Wine process and loses threads
# at random; the backported one (9 or later) starts it in seconds.
i386_runs() { /usr/lib/wine/wine --version >/dev/null 2>&1; }
emulated() { [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; }
qemu_ok() { dpkg --compare-versions "$(dpkg-query -W -f='${Version}' qemu-user 2>/dev/null)" ge 1:9; }
i386_magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
i386_mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
install_qemu() {
  local list=/etc/apt/sources.list.d/zelt-bookworm-backports.sources
  if [ ! -f $list ]; then
    # Backports are pinned low by default: only what is asked for with -t comes from there.
    printf 'Types: deb\nURIs: http://deb.debian.org/debian\nSuites: bookworm-backports\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' >$list
    apt-get update -q || echo "setup: apt-get update reported errors; continuing" >&2
  fi
  apt_install -t bookworm-backports qemu-user
}
enable_i386() {
  if ! emulated; then i386_runs && return 0; fi
  echo "setup: this kernel does not run i386 programs; using qemu user emulation" >&2
  qemu_ok || install_qemu || return 1
  local bf=/proc/sys/fs/binfmt_misc
  [ -e $bf/register ] || mount -t binfmt_misc binfmt_misc $bf || return 1
  [ -e $bf/qemu-i386 ] || printf ':qemu-i386:M::%s:%s:/usr/bin/qemu-i386:' "$i386_magic" "$i386_mask" >$bf/register
  [ "$(head -n1 $bf/qemu-i386)" = enabled ] || echo 1 >$bf/qemu-i386
  i386_runs
}

todo_wine=$(missing "${wine_pkgs[@]}")
todo_build=$(missing "${build_pkgs[@]}")
if [ -z "$todo_wine$todo_build" ] && tools_present && i386_runs && { ! emulated || qemu_ok; }; then
  exit 0
fi

if [ "$(id -u)" != 0 ]; then
  echo "setup: missing packages, and this is not root; as root install: $todo_wine $todo_build" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
# The i386 security index sometimes lags the mirror; a failed update is not fatal.
apt-get update -q || echo "setup: apt-get update reported errors; continuing" >&2


# Multi-Arch libraries must have one version on amd64 and i386. When the i386
# security index is missing, an amd64 library already upgraded from security has
# no i386 twin: pin that library's whole source family back to the main archive.
skew_pins() {
  local lib src ver p
  apt-get install -s -q -t bookworm "${wine_pkgs[@]}" 2>&1 |
    sed -n 's/.*Depends: \([^ :]*\):i386 .*not going to be installed.*/\1/p' | sort -u |
  while read -r lib; do
    ver=$(apt-cache policy "$lib:i386" | awk '/Candidate:/ {print $2}')
    [ -n "$ver" ] && [ "$ver" != "(none)" ] || continue
    src=$(dpkg-query -W -f='${source:Package}' "$lib:amd64" 2>/dev/null) || continue
    dpkg-query -W -f='${Package} ${source:Package} ${Architecture}\n' | awk -v s="$src" '$2==s {print $1, $3}' |
    while read -r p arch; do
      apt-cache madison "$p" | awk -v v="$ver" '$3==v {f=1} END {exit !f}' && echo "$p:$arch=$ver"
    done
    echo "$lib:i386=$ver"
  done | sort -u
}

# Wine first: installing other packages can pull amd64 security updates that the
# i386 side cannot follow.
if [ -n "$todo_wine" ] || ! command -v wine >/dev/null; then
  if ! apt_install "${wine_pkgs[@]}"; then
    echo "setup: retrying wine from the main archive (i386 version skew)" >&2
    if ! apt_install -t bookworm "${wine_pkgs[@]}"; then
      pins=$(skew_pins)
      echo "setup: pinning to the main archive: $pins" >&2
      # shellcheck disable=SC2086
      apt_install -t bookworm --allow-downgrades "${wine_pkgs[@]}" $pins \
        || { echo "setup: failed to install wine32:i386" >&2; exit 1; }
    fi
  fi
fi

todo_build=$(missing "${build_pkgs[@]}")
if [ -n "$todo_build" ]; then
  # shellcheck disable=SC2086
  apt_install $todo_build || { echo "setup: failed to install: $todo_build" >&2; exit 1; }
fi
tools_present || { echo "setup: tools still missing after install" >&2; exit 1; }
enable_i386 || { echo "setup: cannot run i386 programs (wine) on this machine" >&2; exit 1; }
