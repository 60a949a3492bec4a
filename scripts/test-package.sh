#!/usr/bin/env bash
# Proves the Debian package on this machine: builds it, checks it with lintian,
# installs it with apt, lets an operator of group kestrix (not root) use the
# installed window and collector, upgrades to a higher version, removes and
# purges it. It installs and removes a system package, so it runs only in CI
# or when KESTRIX_PACKAGE_TEST=1 asks for it, and never over a site's data.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${CI:-}" != true ] && [ "${KESTRIX_PACKAGE_TEST:-}" != 1 ]; then
  echo "package test: skipped (it installs kestrix on this machine; KESTRIX_PACKAGE_TEST=1 runs it)"
  exit 0
fi
marker=/var/lib/kestrix/.package-test
if [ -e /var/lib/kestrix ] && [ ! -e "$marker" ]; then
  echo "package test: /var/lib/kestrix holds a site's data; not touching it" >&2
  exit 1
fi
scripts/install-deps.sh lintian systemd desktop-file-utils
operator=kxoperator
passed=0
failed=0
check() {  # check "what" command...
  local what="$1"; shift
  if "$@"; then passed=$((passed + 1)); echo "ok: $what"
  else failed=$((failed + 1)); echo "FAILED: $what"; fi
}
cleanup() {
  pkill -u "$operator" 2>/dev/null || true
  dpkg --purge kestrix >/dev/null 2>&1 || true
  rm -rf /var/lib/kestrix
  userdel "$operator" 2>/dev/null || true
}
cleanup
trap cleanup EXIT

package="$(scripts/package.sh)"
check "lintian finds no error" lintian --fail-on error "$package"
DEBIAN_FRONTEND=noninteractive apt-get install -y -q "./$package" >/dev/null
touch "$marker"

check "the window is root:kestrix 0750" test "$(stat -c '%U:%G %a' /opt/kestrix/kestrix)" = "root:kestrix 750"
check "the window holds cap_net_admin,cap_net_raw" \
  sh -c 'getcap /opt/kestrix/kestrix | grep -q "cap_net_admin,cap_net_raw=eip"'
check "settings.ini is a link into /etc/kestrix" test "$(readlink /opt/kestrix/settings.ini)" = /etc/kestrix/settings.ini
check "settings.ini is root:kestrix 0660" test "$(stat -c '%U:%G %a' /etc/kestrix/settings.ini)" = "root:kestrix 660"
check "nothing under /opt/kestrix is writable by others than root" \
  test -z "$(find /opt/kestrix -xdev ! -type l -perm /022 -o ! -type l ! -user root)"
check "the menu entry is valid" desktop-file-validate /usr/share/applications/kestrix.desktop
if systemd-analyze --version >/dev/null 2>&1; then
  check "systemd accepts the units" systemd-analyze verify --man=no \
    /lib/systemd/system/kestrix-collect.service /lib/systemd/system/kestrix-collect.timer
fi

useradd -m "$operator"
adduser --quiet "$operator" kestrix
if getent group firebird >/dev/null; then adduser --quiet "$operator" firebird; fi
as_operator() { setpriv --reuid="$operator" --regid="$operator" --init-groups -- "$@"; }
check "an operator makes the demo database" as_operator /opt/kestrix/kestrix-make-db --demo
installed_window() {  # passes only when the test ran and passed, not when it was skipped
  env KESTRIX_INSTALLED_PROGRAM=/opt/kestrix/kestrix KESTRIX_OPERATOR="$operator" \
    build/tests/test_acceptance --gtest_filter='InstalledProgramTest.*' > /tmp/kestrix-installed.log 2>&1
  local status=$?
  grep -E '^\[ +(OK|FAILED|SKIPPED) +\]|Failure|Expected|Which is' /tmp/kestrix-installed.log
  [ "$status" -eq 0 ] && grep -q '^\[       OK \] InstalledProgramTest' /tmp/kestrix-installed.log
}
check "an operator reads and loads the demo controller in the installed window" installed_window
check "the program wrote settings.ini through its link" sh -c \
  'test -L /opt/kestrix/settings.ini && grep -q "^interface=" /etc/kestrix/settings.ini && test "$(stat -c %a /etc/kestrix/settings.ini)" = 660'
operator_lists_controllers() { as_operator /opt/kestrix/kestrix-collect --list | grep -q 0011223344AA; }
check "an operator lists the controllers with the installed collector" operator_lists_controllers

settings_before="$(sha256sum < /etc/kestrix/settings.ini)"
database_before="$(sha256sum < /var/lib/kestrix/DB/CBASE.FDB)"
newer="$(KESTRIX_PACKAGE_VERSION=2.5.99 scripts/package.sh)"
DEBIAN_FRONTEND=noninteractive apt-get install -y -q "./$newer" >/dev/null
check "the upgrade installed 2.5.99" test "$(dpkg-query -W -f='${Version}' kestrix)" = 2.5.99
check "the upgrade kept settings.ini byte for byte" test "$(sha256sum < /etc/kestrix/settings.ini)" = "$settings_before"
check "the upgrade kept the database byte for byte" test "$(sha256sum < /var/lib/kestrix/DB/CBASE.FDB)" = "$database_before"
check "the upgrade kept the rights" sh -c \
  'test "$(stat -c "%U:%G %a" /opt/kestrix/kestrix)" = "root:kestrix 750" && getcap /opt/kestrix/kestrix | grep -q cap_net_raw'

DEBIAN_FRONTEND=noninteractive apt-get remove -y -q kestrix >/dev/null
check "remove keeps settings.ini and the database" test -f /etc/kestrix/settings.ini -a -f /var/lib/kestrix/DB/CBASE.FDB
DEBIAN_FRONTEND=noninteractive apt-get purge -y -q kestrix > /tmp/kestrix-purge.log
check "purge removes the configuration" test ! -e /etc/kestrix -a ! -e /etc/default/kestrix
check "purge keeps the database and says where" sh -c \
  'test -f /var/lib/kestrix/DB/CBASE.FDB && grep -q /var/lib/kestrix/DB /tmp/kestrix-purge.log'

echo "package: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
