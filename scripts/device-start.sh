# Sourced by the demo and benchmark scripts: starts kelvarin-device on free
# loopback ports and sets DEVICE_PID, MODBUS_PORT and HTTP_PORT. The caller
# stops it with device_stop (also run on exit).
device_start() {
    local device=$1
    shift
    DEVICE_OUT=$(mktemp)
    "$device" --modbus-port 0 --http-port 0 "$@" >"$DEVICE_OUT" &
    DEVICE_PID=$!
    trap device_stop EXIT
    local tries=0
    until [ -s "$DEVICE_OUT" ]; do
        tries=$((tries + 1))
        if [ $tries -gt 100 ] || ! kill -0 "$DEVICE_PID" 2>/dev/null; then
            echo "kelvarin-device did not start" >&2
            return 1
        fi
        sleep 0.05
    done
    # First line: "modbus 127.0.0.1:PORT http 127.0.0.1:PORT"
    local first
    first=$(head -n 1 "$DEVICE_OUT")
    MODBUS_PORT=$(echo "$first" | sed -E 's/^modbus [0-9.]+:([0-9]+) .*/\1/')
    HTTP_PORT=$(echo "$first" | sed -E 's/.* http [0-9.]+:([0-9]+)$/\1/')
}

device_stop() {
    if [ -n "${DEVICE_PID:-}" ]; then
        kill "$DEVICE_PID" 2>/dev/null || true
        wait "$DEVICE_PID" 2>/dev/null || true
        DEVICE_PID=
    fi
    [ -n "${DEVICE_OUT:-}" ] && rm -f "$DEVICE_OUT"
}
