#!/usr/bin/env bash
# Proves the Debian package on this machine, as an administrator and a member
# of group kestrix meet it: installs version 2.5 as it was released and uses it
# the 2.5 way, upgrades it to this package (lintian first), checks who holds
# what, lets an operator of group kestrix alone (not group firebird) use the
# installed window and collect a whole controller in MAC mode over a veth pair
# through the helper, tries what a member must not be able to do, upgrades
# again, removes and purges. It installs and removes a system package, so it
# runs only in CI or when KESTRIX_PACKAGE_TEST=1 asks for it, and never over a
# site's data.
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
scripts/install-deps.sh lintian systemd desktop-file-utils libcap2-bin
# Version 2.5 as main released it, before the package gave up its capabilities.
old_commit="${KESTRIX_OLD_PACKAGE_COMMIT:-cb080fb}"
operator=kxoperator
planted=/tmp/kestrix-planted
passed=0
failed=0
check() {  # check "what" command...
  local what="$1"; shift
  if "$@"; then passed=$((passed + 1)); echo "ok: $what"
  else failed=$((failed + 1)); echo "FAILED: $what"; fi
}
cleanup() {
  pkill -u "$operator" 2>/dev/null || true
  systemctl disable --quiet kestrix-collect.timer >/dev/null 2>&1 || true
  dpkg --purge kestrix >/dev/null 2>&1 || true
  rm -rf /var/lib/kestrix "$planted"
  userdel -r "$operator" 2>/dev/null || true
}
cleanup
old_tree="$(mktemp -d)"
trap 'cleanup; rm -rf "$old_tree"' EXIT
as_operator() { setpriv --reuid="$operator" --regid="$operator" --init-groups -- "$@"; }
install_package() {  # apt takes a package file by a path with a slash in it
  local deb="$1"
  [[ "$deb" = /* ]] || deb="./$deb"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$deb" >/dev/null
}
sha() { sha256sum < "$1"; }

# 1. Version 2.5, installed and used as 2.5 asked: the operator in groups
#    kestrix and firebird; a first run writes DB_path into settings.ini.
git archive "$old_commit" | tar -x -C "$old_tree"
old_package="$old_tree/$(cd "$old_tree" && scripts/package.sh)"
install_package "$old_package"
touch "$marker"
useradd -m "$operator"
adduser --quiet "$operator" kestrix
if getent group firebird >/dev/null; then adduser --quiet "$operator" firebird; fi
as_operator /opt/kestrix/kestrix-make-db --demo >/dev/null
as_operator /opt/kestrix/kestrix-collect --list >/dev/null
check "version 2.5 is installed and in use" sh -c \
  'test "$(dpkg-query -W -f="\${Version}" kestrix)" = 2.5 && grep -q "DB_path=/opt/kestrix/DB" /etc/kestrix/settings.ini'
settings_before="$(sha /etc/kestrix/settings.ini)"
database_before="$(sha /var/lib/kestrix/DB/CBASE.FDB)"

# 2. The upgrade to this package.
package="$(KESTRIX_PACKAGE_VERSION=2.6 scripts/package.sh)"
check "lintian finds no error" lintian --fail-on error "$package"
install_package "$package"
check "the upgrade installed 2.6" test "$(dpkg-query -W -f='${Version}' kestrix)" = 2.6
check "the upgrade kept settings.ini byte for byte" test "$(sha /etc/kestrix/settings.ini)" = "$settings_before"
check "the upgrade kept the database byte for byte" test "$(sha /var/lib/kestrix/DB/CBASE.FDB)" = "$database_before"
rights_hold() {
  test "$(stat -c '%U:%G %a' /etc/kestrix)" = "root:root 755" &&
  test "$(stat -c '%U:%G %a' /etc/kestrix/settings.ini)" = "root:kestrix 640" &&
  test "$(stat -c '%U:%G %a' /opt/kestrix/kestrix-send)" = "root:kestrix 750" &&
  test "$(stat -c '%U:%G %a' /opt/kestrix/kestrix)" = "root:root 755" &&
  test -z "$(find /opt/kestrix -xdev ! -type l \( -perm /022 -o ! -user root \))"
}
check "/etc/kestrix and settings.ini are root's, the helper root:kestrix 0750, nothing else writable" rights_hold
capabilities() { dpkg -L kestrix | while read -r file; do [ -f "$file" ] && [ ! -L "$file" ] && getcap "$file"; done; true; }
check "getcap lists exactly the helper, with cap_net_raw" test "$(capabilities)" = "/opt/kestrix/kestrix-send cap_net_raw=ep"
check "nothing of the package grants CAP_NET_ADMIN" sh -c \
  '! grep -rqi cap_net_admin /lib/systemd/system/kestrix* /etc/default/kestrix /usr/share/doc/kestrix /opt/kestrix/kestrix-make-db'
not_in_firebird() { ! id -nG "$1" | tr ' ' '\n' | grep -qx firebird; }
check "user kestrix is no longer in group firebird" not_in_firebird kestrix
check "systemd accepts the units" systemd-analyze verify --man=no /lib/systemd/system/kestrix-collect.service \
  /lib/systemd/system/kestrix-collect.timer /lib/systemd/system/kestrix-send.socket
exposure="$(systemd-analyze security --offline=true /lib/systemd/system/kestrix-collect.service | sed -n 's/.*exposure level for .*: \([0-9.]*\) .*/\1/p')"
echo "kestrix-collect.service exposure: $exposure"
check "the collector's unit is rated 2.5 at most" awk -v e="$exposure" 'BEGIN { exit !(e != "" && e <= 2.5) }'
check "the menu entry is valid" desktop-file-validate /usr/share/applications/kestrix.desktop

# 3. An operator of group kestrix alone.
if getent group firebird >/dev/null; then gpasswd -d "$operator" firebird >/dev/null; fi
check "the operator is in group kestrix and not in group firebird" sh -c \
  "id -nG $operator | tr ' ' '\n' | grep -qx kestrix && ! id -nG $operator | tr ' ' '\n' | grep -qx firebird"
check "the operator cannot put a link in place of settings.ini, nor anything into /etc/kestrix" sh -c \
  "! setpriv --reuid=$operator --regid=$operator --init-groups -- ln -sfn $planted /etc/kestrix/settings.ini 2>/dev/null &&
   ! setpriv --reuid=$operator --regid=$operator --init-groups -- touch /etc/kestrix/planted 2>/dev/null &&
   test ! -L /etc/kestrix/settings.ini"
DEBIAN_FRONTEND=noninteractive dpkg-reconfigure kestrix >/dev/null
check "dpkg-reconfigure then creates nothing outside /etc/kestrix" test ! -e "$planted"
# A settings.ini that a member of 2.5 had made a link is refused, not followed.
mv /etc/kestrix/settings.ini /etc/kestrix/settings.kept
ln -s "$planted" /etc/kestrix/settings.ini
refused_link() {
  ! DEBIAN_FRONTEND=noninteractive dpkg-reconfigure kestrix > /tmp/kestrix-reconfigure.log 2>&1 &&
  grep -q "symbolic link" /tmp/kestrix-reconfigure.log && test ! -e "$planted"
}
check "a settings.ini that is a link makes the configuration stop with a clear message, and is not followed" refused_link
rm /etc/kestrix/settings.ini
mv /etc/kestrix/settings.kept /etc/kestrix/settings.ini
DEBIAN_FRONTEND=noninteractive dpkg --configure -a >/dev/null
DEBIAN_FRONTEND=noninteractive dpkg-reconfigure kestrix >/dev/null

installed_test() {  # passes only when the test ran and passed, not when it was skipped
  local binary="$1" filter="$2" log
  log="$(mktemp)"
  env KESTRIX_INSTALLED_PROGRAM=/opt/kestrix/kestrix KESTRIX_INSTALLED_COLLECT=/opt/kestrix/kestrix-collect \
      KESTRIX_OPERATOR="$operator" QT_QPA_PLATFORM=offscreen "$binary" --gtest_filter="$filter" > "$log" 2>&1
  local status=$?
  grep -E '^\[ +(OK|FAILED|SKIPPED) +\]|Failure|Expected|Which is' "$log" || true
  [ "$status" -eq 0 ] && grep -q '^\[       OK \]' "$log"
}
check "an operator reads and loads the demo controller in the installed window; a plugin it is given runs with no capability" \
  installed_test build/tests/test_acceptance 'InstalledProgramTest.*'
check "the window left the administrator's settings.ini as it was" test "$(sha /etc/kestrix/settings.ini)" = "$settings_before"
operator_lists_controllers() { as_operator /opt/kestrix/kestrix-collect --list | grep -q 0011223344AA; }
check "an operator lists the controllers with the installed collector" operator_lists_controllers
check "an operator collects a whole controller in MAC mode over a veth, through the helper, the server running" \
  installed_test build/tests/test_mac_wire 'MacWireTest.AnOperatorWithoutCapabilitiesCollectsThroughTheHelper'

# 4. A further upgrade keeps everything.
settings_before="$(sha /etc/kestrix/settings.ini)"
database_before="$(sha /var/lib/kestrix/DB/CBASE.FDB)"
newer="$(KESTRIX_PACKAGE_VERSION=2.6.99 scripts/package.sh)"
install_package "$newer"
check "the upgrade installed 2.6.99" test "$(dpkg-query -W -f='${Version}' kestrix)" = 2.6.99
check "the upgrade kept settings.ini and the database byte for byte" sh -c \
  "test \"\$(sha256sum < /etc/kestrix/settings.ini)\" = '$settings_before' &&
   test \"\$(sha256sum < /var/lib/kestrix/DB/CBASE.FDB)\" = '$database_before'"
check "the upgrade kept the rights" rights_hold
check "the upgrade kept the helper's capability" test "$(capabilities)" = "/opt/kestrix/kestrix-send cap_net_raw=ep"

# 5. Removal and purge.
systemctl enable --quiet kestrix-collect.timer 2>/dev/null
timer_enabled() { test -e /etc/systemd/system/timers.target.wants/kestrix-collect.timer; }
check "the timer can be enabled" timer_enabled
DEBIAN_FRONTEND=noninteractive apt-get remove -y -q kestrix >/dev/null
check "remove disables the timer" sh -c '! test -e /etc/systemd/system/timers.target.wants/kestrix-collect.timer'
check "remove keeps settings.ini and the database" test -f /etc/kestrix/settings.ini -a -f /var/lib/kestrix/DB/CBASE.FDB
DEBIAN_FRONTEND=noninteractive apt-get purge -y -q kestrix > /tmp/kestrix-purge.log 2>&1
check "purge removes the configuration" test ! -e /etc/kestrix -a ! -e /etc/default/kestrix
check "purge keeps the database and says where" sh -c \
  'test -f /var/lib/kestrix/DB/CBASE.FDB && grep -q /var/lib/kestrix/DB /tmp/kestrix-purge.log'
check "dpkg warns about nothing at purge" sh -c '! grep -i "warning" /tmp/kestrix-purge.log'

echo "package: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
