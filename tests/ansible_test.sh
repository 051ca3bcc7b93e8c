#!/usr/bin/env bash
# The Ansible example, run for real: two site hosts (aliases of this machine,
# connection local), each with its own simulated devices, the playbook
# running kelvarin-cli fleet on each and gathering the JSON results.
#   ansible_test.sh KELVARIN-CLI KELVARIN-DEVICE SOURCE-DIR
set -euo pipefail
cli=$1 device=$2 source=$3
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

# start_devices SITE COUNT [FAULT...]: COUNT devices on free ports, written to the site's targets file.
start_devices() {
    local site=$1 count=$2
    shift 2
    "$device" --modbus-port 0 --http-port 0 --count "$count" "$@" >"$work/$site.out" &
    pids+=($!)
    for _ in $(seq 100); do
        [ "$(wc -l <"$work/$site.out")" -ge "$count" ] && break
        sleep 0.05
    done
    sed -E 's/^modbus (127.0.0.1:[0-9]+) .*/\1/' "$work/$site.out" >"$work/targets/$site.txt"
}
mkdir -p "$work/targets" "$work/home"
start_devices plant-north 3
start_devices plant-south 2 --fault no-read   # sound downloads, but no read-back

export HOME="$work/home" ANSIBLE_LOCAL_TEMP="$work/home/tmp" ANSIBLE_NOCOLOR=1
ansible-playbook -i "$source/examples/ansible/inventory.yml" "$source/examples/ansible/fleet.yml" \
    -e "kelvarin_cli=$cli" -e "site_dir=$source/tests/sites/plant" -e "targets_dir=$work/targets" \
    -e "report_path=$work/report.json" >"$work/ansible.log" || { cat "$work/ansible.log"; exit 1; }

/usr/bin/python3 - "$work/report.json" "$work/targets" <<'PY'
import json, sys
report = json.load(open(sys.argv[1]))
targets = {site: [line.strip() for line in open(f"{sys.argv[2]}/{site}.txt")]
           for site in ("plant-north", "plant-south")}
assert sorted(report) == ["plant-north", "plant-south"], report.keys()
for site, expected in targets.items():
    got = [entry["target"] for entry in report[site]]
    assert got == expected, (site, got, expected)
    for entry in report[site]:
        assert set(entry) == {"target", "ok", "failed_chunks", "seconds", "error", "current",
                              "retries", "reconnects"}, entry
        assert entry["failed_chunks"] == 0 and isinstance(entry["seconds"], float), entry
assert all(e["ok"] and e["error"] is None for e in report["plant-north"]), report
assert all(not e["ok"] and e["error"].startswith("cannot be read back") for e in report["plant-south"]), report
print("ansible: %d devices on 2 sites reported, north all ok, south unreadable as expected"
      % sum(len(v) for v in report.values()))
PY
grep -E "devices failed" "$work/ansible.log" | sed 's/^ *//'
