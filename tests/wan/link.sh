# An emulated long, lossy link, for tests and benchmarks; sourced, not run. A network
# namespace of our own whose `lo` carries every packet through a tbf qdisc (the rate), an
# iptables statistic rule (random loss) and nfqdelay (the delay, each way: a packet crosses
# INPUT once). Servers and clients run inside it on 127.0.0.1.
#   wan_up NFQDELAY DELAY_MS RATE LOSS SECONDS   e.g. wan_up build/bin/nfqdelay 150 50mbit 0.01 120
# A namespace takes this machine's default TCP congestion control and may not change it: a
# server sets its own on its sockets (TCP_CONGESTION).
#   wan_run COMMAND...                            runs COMMAND inside the namespace
#   wan_down                                      removes the namespace and ends nfqdelay
# wan_up returns 1, with the reason in WAN_WHY, where a namespace cannot be made.
WAN_NS=""
WAN_DELAY_PID=""
WAN_WHY=""

wan_up() {
  local nfqdelay=$1 delay=$2 rate=$3 loss=$4 seconds=$5
  command -v ip >/dev/null && command -v tc >/dev/null || { WAN_WHY="ip or tc missing"; return 1; }
  command -v iptables >/dev/null || { WAN_WHY="iptables missing"; return 1; }
  [ -x "$nfqdelay" ] || { WAN_WHY="no $nfqdelay (libnetfilter-queue-dev missing at build time)"; return 1; }
  WAN_NS=quorvel-wan-$$-$RANDOM
  if ! ip netns add "$WAN_NS" 2>/dev/null; then
    WAN_WHY="cannot make a network namespace (needs root or CAP_SYS_ADMIN)"
    WAN_NS=""
    return 1
  fi
  # A real link's packets are 1500 bytes, not loopback's 64 KiB.
  if ! { ip netns exec "$WAN_NS" ip link set lo mtu 1500 up &&
    ip netns exec "$WAN_NS" tc qdisc add dev lo root tbf rate "$rate" burst 32kb limit 4mb &&
    ip netns exec "$WAN_NS" iptables -A INPUT -m statistic --mode random --probability "$loss" -j DROP &&
    ip netns exec "$WAN_NS" iptables -A INPUT -p tcp -j NFQUEUE --queue-num 7; } 2>/tmp/wan-$$.err; then
    WAN_WHY="cannot shape the namespace's lo: $(head -c 300 /tmp/wan-$$.err)"
    rm -f /tmp/wan-$$.err
    wan_down
    return 1
  fi
  rm -f /tmp/wan-$$.err
  ip netns exec "$WAN_NS" "$nfqdelay" 7 "$delay" "$seconds" &
  WAN_DELAY_PID=$!
  sleep 0.3
  if ! kill -0 "$WAN_DELAY_PID" 2>/dev/null; then
    WAN_WHY="nfqdelay did not start"
    wan_down
    return 1
  fi
}

wan_run() { ip netns exec "$WAN_NS" "$@"; }

wan_down() {
  [ -n "$WAN_DELAY_PID" ] && kill "$WAN_DELAY_PID" 2>/dev/null && wait "$WAN_DELAY_PID" 2>/dev/null
  [ -n "$WAN_NS" ] && ip netns del "$WAN_NS" 2>/dev/null
  WAN_DELAY_PID=""
  WAN_NS=""
}
