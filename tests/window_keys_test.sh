#!/usr/bin/env bash
# The window on a virtual screen (Xvfb), driven with keys as an operator
# drives it (xdotool), against kelvarin-device on loopback:
#   1. Escape during a Send to a device that never answers stops it: nothing
#      more is sent, the request out waits out its 200 ms, and a second
#      Escape closes the window once the stop is done (the Send alone would
#      take about 5 s);
#   2. Escape during a 5 s connect to a listener that never accepts cancels
#      it at once, and a second Escape closes the window;
#   3. after a read-back whose device closed the connection, the window holds
#      no connection, and the next Connect (Space) connects.
#   window_keys_test.sh KELVARIN KELVARIN-DEVICE
set -euo pipefail
window=$1 device=$2
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "window_keys_test: $*" >&2; exit 1; }
now_ms() { date +%s%3N; }

exec 5>"$work/display"
Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
exec 5>&-
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=":$(cat "$work/display")"
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" LC_ALL=C.UTF-8
unset QT_QPA_PLATFORM
mkdir -p "$XDG_CONFIG_HOME"

# window_up PID: the X window of the program PID called Kelvarin, once shown.
window_up() {
    for _ in $(seq 200); do
        kill -0 "$1" 2>/dev/null || { cat "$work"/window*.out >&2; fail "kelvarin ended before its window showed"; }
        id=$(xdotool search --onlyvisible --name '^Kelvarin$' 2>/dev/null | head -n 1) || true
        if [ -n "$id" ]; then echo "$id"; return; fi
        sleep 0.1
    done
    fail "kelvarin's window did not show"
}

# ended_within PID MS: true when PID ends within MS milliseconds.
ended_within() {
    local deadline=$(($(now_ms) + $2))
    while kill -0 "$1" 2>/dev/null; do
        [ "$(now_ms)" -lt "$deadline" ] || return 1
        sleep 0.02
    done
}

# 1. A Send to a silent device, stopped.
"$device" --modbus-port 0 --http-port 0 --fault silent >"$work/device.out" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/device.out" ] && break; sleep 0.05; done
port=$(sed -nE '1s/^modbus 127\.0\.0\.1:([0-9]+) .*/\1/p' "$work/device.out")
[ -n "$port" ] || fail "kelvarin-device did not start"
head -c 3000 /dev/zero | tr '\0' 'k' >"$work/page.htm"  # 24 chunks
"$window" 127.0.0.1 "$port" "$work/page.htm" >"$work/window.out" 2>&1 &
sending=$!
pids+=("$sending")
id=$(window_up "$sending")
sleep 0.5  # the first paint
xdotool windowfocus --sync "$id"
xdotool key --delay 100 Tab Tab space  # address, port, Connect
sleep 0.5
xdotool key --delay 100 Tab space  # Send
sleep 1  # a few chunks go unanswered
start=$(now_ms)
xdotool key Escape
sleep 0.05
kill -0 "$sending" 2>/dev/null || fail "the first Escape closed the window instead of stopping the Send"
xdotool key Escape
ended_within "$sending" 3000 || fail "the window did not close after the stop"
took=$(($(now_ms) - start))
[ "$took" -lt 1600 ] || fail "the stop took $took ms"
echo "window_keys_test: Escape stopped the Send and the window closed $took ms later"

# 2. A connect to a listener that never accepts, cancelled.
/usr/bin/python3 - "$work/listener.port" <<'PY' &
import socket, sys, time
listener = socket.socket()
listener.bind(("127.0.0.1", 0))
listener.listen(0)
fillers = []
for _ in range(4):  # the backlog full: further handshakes go unanswered
    s = socket.socket()
    s.setblocking(False)
    s.connect_ex(listener.getsockname())
    fillers.append(s)
open(sys.argv[1], "w").write(str(listener.getsockname()[1]))
time.sleep(60)
PY
pids+=($!)
for _ in $(seq 100); do [ -s "$work/listener.port" ] && break; sleep 0.05; done
printf '[Kelvarin]\nTimeoutMs=5000\n' >"$XDG_CONFIG_HOME/kelvarin.ini"
"$window" 127.0.0.1 "$(cat "$work/listener.port")" >"$work/window2.out" 2>&1 &
connecting=$!
pids+=("$connecting")
id=$(window_up "$connecting")
sleep 0.5
xdotool windowfocus --sync "$id"
xdotool key --delay 100 Tab Tab space
sleep 0.5
start=$(now_ms)
xdotool key Escape
sleep 0.3
kill -0 "$connecting" 2>/dev/null || fail "Escape closed the window instead of cancelling the connect"
xdotool key Escape
ended_within "$connecting" 3000 || fail "the window did not close after the cancel"
took=$(($(now_ms) - start))
[ "$took" -lt 1500 ] || fail "the cancel and close took $took ms"
echo "window_keys_test: Escape cancelled the 5 s connect and the window closed $took ms later"

# 3. A read-back that loses the connection: two chunks, then the device
#    drops the connection at the first read.
"$device" --modbus-port 0 --http-port 0 --fault close-after=3 >"$work/device3.out" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/device3.out" ] && break; sleep 0.05; done
port=$(sed -nE '1s/^modbus 127\.0\.0\.1:([0-9]+) .*/\1/p' "$work/device3.out")
[ -n "$port" ] || fail "kelvarin-device did not start"
printf '[Kelvarin]\nVerifyAfterSend=1\n' >"$XDG_CONFIG_HOME/kelvarin.ini"
head -c 100 /dev/zero | tr '\0' 'v' >"$work/small.htm"
# connections_to PORT: the established connections to the device's port.
connections_to() { ss -Htn state established "( dport = :$1 )" | wc -l; }
"$window" 127.0.0.1 "$port" "$work/small.htm" >"$work/window3.out" 2>&1 &
losing=$!
pids+=("$losing")
id=$(window_up "$losing")
sleep 0.5
xdotool windowfocus --sync "$id"
xdotool key --delay 100 Tab Tab space
sleep 0.5
[ "$(connections_to "$port")" -eq 1 ] || fail "the window did not connect"
xdotool key --delay 100 Tab space
sleep 1
[ "$(connections_to "$port")" -eq 0 ] || fail "the window holds on to a connection the device closed"
xdotool key space  # 连接 has the keyboard again
sleep 0.5
[ "$(connections_to "$port")" -eq 1 ] || fail "the next Connect did not connect"
xdotool key Escape
ended_within "$losing" 3000 || fail "the window did not close"
echo "window_keys_test: after the read-back lost its connection the window let it go, and the next Connect connected"
