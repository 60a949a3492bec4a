#!/usr/bin/env bash
# One controller collected by kestrix-collect in MAC mode and in IP mode, on
# a real wire: kestrix-sim in a network namespace of this bench behind a veth
# pair (the controller 00:11:22:33:44:AA at 192.51.68.170, reached only
# through the bench's own host route), with /sys/kernel/rcu_expedited at 0 as
# Debian ships it; the old value is put back afterwards. Reports the wall
# time of each mode and their ratio, for each page delay given.
# As root: bench/mac_collect_bench.sh [BUILD_DIR=build] [DELAYS_MS="0 5"]
set -euo pipefail
cd "$(dirname "$0")/.."
build="$(realpath "${1:-build}")"
delays="${2:-0 5}"
[ "$(id -u)" -eq 0 ] || { echo "needs root (namespaces, raw frames)" >&2; exit 2; }

id=$$; ns="kxb$id"; host="kxbh$id"; peer="kxbc$id"; host_ip="10.214.$((id % 250)).1"; controller_ip=192.51.68.170
work="$(mktemp -d)"
knob=/sys/kernel/rcu_expedited; old_knob="$(cat "$knob" 2>/dev/null || true)"
cleanup() {
  [ -n "${sim:-}" ] && kill "$sim" 2>/dev/null && wait "$sim" 2>/dev/null || true
  ip link del "$host" 2>/dev/null || true
  ip netns del "$ns" 2>/dev/null || true
  [ -n "$old_knob" ] && echo "$old_knob" > "$knob" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

ip netns add "$ns"
ip link add "$host" type veth peer name "$peer"
ip link set "$peer" netns "$ns"
ip addr add "$host_ip/30" dev "$host"
ip link set "$host" up
ip -n "$ns" link set "$peer" address 00:11:22:33:44:aa
ip -n "$ns" addr add "$controller_ip/32" dev "$peer"
ip -n "$ns" link set "$peer" up
ip -n "$ns" link set lo up
ip -n "$ns" route add "$host_ip/32" dev "$peer"
ip route add "$controller_ip/32" dev "$host"
# Nothing is sent unless the controller's address is reached through our veth.
ip route get "$controller_ip" | grep -q "dev $host " || { echo "the route to $controller_ip is not ours" >&2; exit 1; }
[ -n "$old_knob" ] && echo 0 > "$knob" 2>/dev/null || true
echo "rcu_expedited: $(cat "$knob" 2>/dev/null || echo unknown)"

scripts/make-db.sh "$work/DB" >/dev/null
printf '[main]\r\nDB_path=%s/DB\r\n' "$work" > "$work/settings.ini"
printf '%-10s %10s %10s %8s\n' "page delay" "IP s" "MAC s" "MAC/IP"
for delay in $delays; do
  ip netns exec "$ns" "$build/kestrix-sim" --bind "$controller_ip" --port 7715 --reply-port 7714 \
    --event-count 700 --latency "$delay" > /dev/null &
  sim=$!
  sleep 0.5
  seconds() {
    local start end
    start=$(date +%s.%N)
    "$build/kestrix-collect" --controller 0011223344AA --app-dir "$work" --interface "$host" "$@" > /dev/null
    end=$(date +%s.%N)
    echo "$end - $start" | bc -l
  }
  ip_s=$(seconds --mode ip)   # a second run finds only duplicates; the download is what is timed
  mac_s=$(seconds --mode mac)
  printf '%-10s %10.2f %10.2f %8.2f\n' "${delay} ms" "$ip_s" "$mac_s" "$(echo "$mac_s / $ip_s" | bc -l)"
  kill "$sim"; wait "$sim" 2>/dev/null || true; sim=""
done
