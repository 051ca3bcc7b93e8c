#!/usr/bin/env bash
# The Ansible example, run for real: two site hosts (aliases of this machine,
# connection local), each with its own simulated devices, the playbook
# running kelvarin-cli fleet on each and gathering the JSON results; then
# once more with a site holding a file too large for the image, which must
# count as a failure of every device it went to.
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
# play SITE-DIR REPORT LOG [ANSIBLE-OPTION...]
play() {
    local site=$1 report=$2 log=$3
    shift 3
    ansible-playbook -i "$source/examples/ansible/inventory.yml" "$source/examples/ansible/fleet.yml" \
        -e "kelvarin_cli=$cli" -e "site_dir=$site" -e "targets_dir=$work/targets" \
        -e "report_path=$report" "$@" >"$log" || { cat "$log"; exit 1; }
}
play "$source/tests/sites/plant" "$work/report.json" "$work/ansible.log"

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
        assert set(entry) == {"target", "ok", "failed_chunks", "seconds", "error",
                              "files_left_out", "current", "retries", "reconnects"}, entry
        assert entry["failed_chunks"] == 0 and isinstance(entry["seconds"], float), entry
        assert entry["files_left_out"] == [], entry
assert all(e["ok"] and e["error"] is None for e in report["plant-north"]), report
assert all(not e["ok"] and e["error"].startswith("cannot be read back") for e in report["plant-south"]), report
print("ansible: %d devices on 2 sites reported, north all ok, south unreadable as expected"
      % sum(len(v) for v in report.values()))
PY
grep -E "devices failed|left files out" "$work/ansible.log" | sed 's/^ *//'

# A site with a file the image cannot hold: every device got a partial site.
cp -r "$source/tests/sites/plant" "$work/partial"
head -c 200000 /dev/urandom >"$work/partial/video.bin"
play "$work/partial" "$work/partial.json" "$work/partial.log"
/usr/bin/python3 - "$work/partial.json" "$work/partial" <<'PY'
import json, sys
report = json.load(open(sys.argv[1]))
for site, error in (("plant-north", "1 file not packed"), ("plant-south", "cannot be read back")):
    for entry in report[site]:
        assert entry["failed_chunks"] == 0, entry  # the downloads themselves went well
        assert not entry["ok"] and entry["error"].startswith(error), entry
        assert entry["files_left_out"] == [sys.argv[2] + "/video.bin"], entry
PY
grep -q "5 of 5 devices failed" "$work/partial.log" || { cat "$work/partial.log"; exit 1; }
grep -q "2 of 2 sites left files out of the image: plant-north, plant-south" "$work/partial.log" ||
    { cat "$work/partial.log"; exit 1; }
grep -E "devices failed|left files out" "$work/partial.log" | sed 's/^ *//'
