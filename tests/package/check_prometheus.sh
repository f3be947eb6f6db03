#!/usr/bin/env bash
# Debian's Prometheus scrapes the companion's serve on the simulated bus with
# the README's scrape job and alert rule (port and interval changed for the
# test): the values it stored are the chips' readings as the companion prints
# them, and promtool accepts the exposition. (test_serve checks the formats
# each Accept header gets and how signals end serve.) Everything listens on
# 127.0.0.1 and stops by itself.
# Usage: check_prometheus.sh CLI
set -euo pipefail
cli=$1
readme=$(dirname "$0")/../../README.md
work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
fail() {
  echo "prometheus check: $*"
  for log in serve prometheus; do [ -f "$work/$log.log" ] && tail -n 20 "$work/$log.log"; done
  exit 1
}
command -v prometheus >/dev/null || fail "prometheus is not installed (scripts/deps)"

# The simulated chips' clock stands still: every read gives the same values.
export QZT_SIMULATED_CLOCK_MS=1765000000000

# A port nothing listens on.
free_port() {
  local port
  for _ in $(seq 100); do
    port=$((20000 + RANDOM % 40000))
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || { echo "$port"; return; }
  done
  fail "no free port"
}

# Waits up to $1 seconds for the command after it to succeed.
wait_for() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.2
  done
}

timeout 120 "$cli" serve --listen 127.0.0.1:0 2>"$work/serve.log" &
pids+=($!)
wait_for 20 grep -qs '/metrics$' "$work/serve.log" || fail "serve did not start"
port=$(sed -n 's|^serving http://127\.0\.0\.1:\([0-9]*\)/metrics$|\1|p' "$work/serve.log")

curl -sf "http://127.0.0.1:$port/metrics" >"$work/metrics.txt" || fail "no /metrics"
promtool check metrics <"$work/metrics.txt" || fail "promtool rejects the exposition"
curl -sf "http://127.0.0.1:$port/" | grep -q 'href="/metrics"' || fail "/ does not link /metrics"

# The README's files, as written but for the target's port and a 1 s interval.
block() { awk -v first="# $1" '/^```/ { on = 0 } on { print } $0 == first { on = 1; print }' "$readme"; }
block prometheus.yml | sed -e "s/127\.0\.0\.1:9725/127.0.0.1:$port/" \
  -e 's/scrape_interval: 15s/scrape_interval: 1s/' >"$work/prometheus.yml"
block qzt-rules.yml >"$work/qzt-rules.yml"
grep -q "127.0.0.1:$port" "$work/prometheus.yml" || fail "README has no scrape job for 127.0.0.1:9725"
promtool check rules "$work/qzt-rules.yml" >/dev/null || fail "README's alert rule: $(promtool check rules "$work/qzt-rules.yml" 2>&1)"
promtool check config "$work/prometheus.yml" >/dev/null || fail "README's scrape job does not check"

pport=$(free_port)
timeout 120 prometheus --config.file="$work/prometheus.yml" --storage.tsdb.path="$work/data" \
  --web.listen-address="127.0.0.1:$pport" >"$work/prometheus.log" 2>&1 &
pids+=($!)

# One value of an instant query through the HTTP API, or nothing.
query() {
  curl -sfG --max-time 5 --data-urlencode "query=$1" "http://127.0.0.1:$pport/api/v1/query" |
    sed -n 's/.*"value":\[[^,]*,"\([^"]*\)"\].*/\1/p'
}
scraped() { [ "$(query 'up{job="qzt"}')" = 1 ] && [ -n "$(query 'qzt_supply_volts{rail="Vccp"}')" ]; }
wait_for 60 scraped || fail "Prometheus did not scrape serve"

[ "$(query 'qzt_adapter_up{job="qzt",bench="chamber-1"}')" = 1 ] || fail "qzt_adapter_up is not 1"
[ "$(query 'count(qzt_temperature_celsius)')" = 4 ] || fail "not four temperatures"
[ "$(query 'count(qzt_supply_volts)')" = 5 ] || fail "not five supplies"
# Stored = printed: the companion's text of each reading, as a number.
same() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a != "" && a + 0 == b + 0) }'; }
check() { # query, the companion's printed text
  local got
  got=$(query "$1")
  same "$got" "$2" || fail "$1 is '$got'; the companion prints '$2'"
}
temps48=$("$cli" temps 0x48) temps4a=$("$cli" temps 0x4A) volts=$("$cli" volts 0x4A)
field() { sed -n "s/.* $2=\([-0-9.E+]*\).*/\1/p" <<<"$1"; }
for a in 48 4A; do
  line=temps48
  [ $a = 4A ] && line=temps4a
  for sensor in internal external; do
    check "qzt_temperature_celsius{address=\"0x$a\",sensor=\"$sensor\"}" "$(field "${!line}" $sensor)"
  done
done
for rail in 12V 5V Vcc 2.5V Vccp; do
  key=$(tr 'A-Z' 'a-z' <<<"$rail")
  check "qzt_supply_volts{rail=\"$rail\"}" "$(field "$volts" "$key")"
done
rules=$(curl -sf "http://127.0.0.1:$pport/api/v1/rules")
grep -q '"name":"QztExternalTemperatureHigh"' <<<"$rules" || fail "the alert rule is not loaded"
echo "prometheus check passed"
