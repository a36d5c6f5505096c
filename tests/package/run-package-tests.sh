#!/usr/bin/env bash
# The package suite: installs the older package quietly into a fresh Wine prefix, upgrades it to
# the built one with the Demo feature, runs the probe (tests/package/probe), verifies every
# installed binary's signature and shows the page in the installed host, then removes the
# package and checks what is left. Run by ctest inside scripts/with-xvfb.sh (DISPLAY is set):
#   run-package-tests.sh <windows build dir> <probe executable>
set -u
build=$(realpath -m "$1"); probe=$(realpath -m "$2")
here=$(dirname "$(realpath "$0")")
scripts=$(realpath "$here/../../scripts")
pkg=$build/package
[ -n "${DISPLAY:-}" ] || { echo "package: DISPLAY is not set; run under scripts/with-xvfb.sh" >&2; exit 1; }

# A prefix of its own, fresh for every run: the suite checks what an installation leaves behind.
prefix=$build/package-test/wineprefix
rm -rf "$prefix"
export WINEPREFIX=$prefix WINEARCH=win32 WINEDEBUG=-all LANG=C.UTF-8 LC_ALL=C.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
"$scripts/wine-prefix.sh" "$prefix" || exit 1
wineserver -p
trap 'wineserver -k 2>/dev/null' EXIT
wine explorer.exe /desktop </dev/null >/dev/null 2>&1 &
wine cmd.exe /c exit </dev/null >/dev/null 2>&1

win() { printf 'Z:%s' "$(realpath -m "$1" | sed 's#/#\\#g')"; }
dir="$prefix/drive_c/Program Files/Zelt/Token Utility"
installdir='C:\Program Files\Zelt\Token Utility'
# The shortcut's folder: Wine puts the per-machine Start menu of a quiet install under the user's.
menus() {
  ls -d "$prefix"/drive_c/users/*/"AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Zelt" \
    "$prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Zelt" 2>/dev/null
}
passed=0 failed=0
check() {  # check <what> <command...>
  local what=$1; shift
  if "$@" >"$build/package-test/last.log" 2>&1; then
    passed=$((passed + 1)); echo "[ PASSED ] $what"
  else
    failed=$((failed + 1)); echo "[ FAILED ] $what"; sed 's/^/    /' "$build/package-test/last.log" | tail -40
  fi
}
msi() { timeout 300 wine msiexec "$@" /qn </dev/null; }
run_probe() { timeout 300 wine "$probe" --install-dir="$installdir" "$@" </dev/null; }
not() { ! "$@"; }
signed() {  # every binary installed, and the package itself, verify against the test authority
  local f
  for f in "$dir"/* "$pkg/ZeltUtilUserPage.msi"; do
    osslsigncode verify -CAfile "$pkg/signing/ca.pem" -in "$f" >/dev/null || { echo "not verified: $f"; return 1; }
  done
}
host_shows_page() {  # the installed host, from the Start-menu shortcut's folder, shows the page's Manage button
  local out
  out=$(cd "$dir" && timeout 300 wine ./TokenUtility.exe --step "expect-control 201" --step exit --exit-after 60000 </dev/null 2>&1)
  local rc=$?
  echo "$out"
  [ $rc = 0 ] && ! grep -q '^page:' <<<"$out"
}

check "the package registers the page through its own tables, not by self-registration" \
  bash -c 'tables=$(msiinfo tables "$1") && grep -qx Registry <<<"$tables" && ! grep -qx SelfReg <<<"$tables"' _ \
  "$pkg/ZeltUtilUserPage.msi"
check "the older package installs quietly" msi /i "$(win "$pkg/older/ZeltUtilUserPage.msi")"
check "without the Demo feature it installs the page and the import library only" \
  bash -c '[ -f "$1/ZeltUtilUserPage.dll" ] && [ -f "$1/ZeltUtilImportCert.dll" ] && [ ! -e "$1/TokenUtility.exe" ]' _ "$dir"
check "the older package's class is created by its CLSID" run_probe --gtest_filter='InstalledPackage.Class*'
check "the built package upgrades it quietly, with the Demo feature" \
  msi /i "$(win "$pkg/ZeltUtilUserPage.msi")" ADDLOCAL=ALL
check "probe of the installed package" run_probe --demo --gtest_filter='InstalledPackage.*'
check "every installed binary and the package carry a verified signature" signed
check "the Demo feature adds a Start-menu shortcut to the host" test -f "$(menus | head -n1)/Token Utility.lnk"
check "the installed host shows the page" host_shows_page
check "the older package refuses to replace the built one" \
  bash -c '! timeout 300 wine msiexec /i "$1" /qn </dev/null && [ -f "$2/ZeltUtilUserPage.dll" ]' _ \
  "$(win "$pkg/older/ZeltUtilUserPage.msi")" "$dir"
check "the user's settings are written" timeout 120 wine reg add \
  'HKCU\Software\Quillon Works\Zelt\Zelt Components\Zelt Utilities\Token Utility' /v PackageProbe /d kept /f
check "the package uninstalls quietly" msi /x "$(win "$pkg/ZeltUtilUserPage.msi")"
check "no file, folder or shortcut is left" \
  bash -c '[ ! -e "$1" ] && [ -z "$2" ]' _ "$prefix/drive_c/Program Files/Zelt" "$(menus)"
check "probe of the removed package" run_probe --gtest_filter='RemovedPackage.*'

echo "package: $passed passed, $failed failed"
[ "$failed" = 0 ]
