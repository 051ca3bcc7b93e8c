#!/usr/bin/env bash
# The Ansible example, run for real on two site hosts (aliases of this
# machine, connection local), each with its own simulated devices: the
# package of this build put on each host and checked by apt (check mode: a
# test must not install into the system it runs on, and other test runs may
# hold dpkg's lock), the site or an image and the targets file put there,
# kelvarin-cli fleet run on each, the JSON results gathered. A play where
# every device succeeds passes; one with a device that failed, or with a file
# left out of the image, fails, and its report says why.
#   ansible_test.sh KELVARIN-CLI KELVARIN-DEVICE SOURCE-DIR BUILD-DIR
set -euo pipefail
cli=$1 device=$2 source=$3 build=$4
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

# start_devices NAME COUNT [FAULT...]: COUNT devices on free ports, listed in $work/NAME.txt.
start_devices() {
    local name=$1 count=$2
    shift 2
    "$device" --modbus-port 0 --http-port 0 --count "$count" "$@" >"$work/$name.out" &
    pids+=($!)
    for _ in $(seq 100); do
        [ "$(wc -l <"$work/$name.out")" -ge "$count" ] && break
        sleep 0.05
    done
    sed -E 's/^modbus (127.0.0.1:[0-9]+) .*/\1/' "$work/$name.out" >"$work/$name.txt"
}
start_devices north 3
start_devices south 2
start_devices south-noread 2 --fault no-read   # sound downloads, but no read-back
mkdir -p "$work/sound" "$work/mixed" "$work/home"
cp "$work/north.txt" "$work/sound/plant-north.txt"
cp "$work/south.txt" "$work/sound/plant-south.txt"
cp "$work/north.txt" "$work/mixed/plant-north.txt"
cp "$work/south-noread.txt" "$work/mixed/plant-south.txt"

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/deb" >/dev/null
deb=$(ls "$work"/deb/kelvarin_*_amd64.deb)

export HOME="$work/home" ANSIBLE_LOCAL_TEMP="$work/home/tmp" ANSIBLE_NOCOLOR=1 ANSIBLE_PIPELINING=1
# play NAME TARGETS-DIR EXPECTED-EXIT WHAT...: runs the playbook, its log in $work/NAME.log and
# its report in $work/NAME.json; fails unless it exits as expected (0, or not 0).
play() {
    local name=$1 targets=$2 expected=$3
    shift 3
    local rc=0
    # Niced: Ansible's Python is heavy, and tests beside it measure time-outs.
    nice -n 10 ansible-playbook -i "$source/examples/ansible/inventory.yml" "$source/examples/ansible/fleet.yml" \
        -e "kelvarin_deb=$deb" -e install_check_only=true -e kelvarin_become=false \
        -e "kelvarin_cli=$cli" -e "targets_dir=$targets" -e "work_dir=$work/hosts" \
        -e "report_path=$work/$name.json" "$@" >"$work/$name.log" || rc=$?
    if { [ "$expected" = 0 ] && [ $rc -ne 0 ]; } || { [ "$expected" != 0 ] && [ $rc -eq 0 ]; }; then
        echo "ansible: the $name play exited $rc" >&2
        cat "$work/$name.log" >&2
        exit 1
    fi
    grep -E "devices failed|left files out" "$work/$name.log" | sed "s/^ *\"msg\": /$name: /"
}
# check NAME: the report against expectations given as Python on stdin, `report` in scope.
check() {
    /usr/bin/python3 -c "import json, sys; report = json.load(open(sys.argv[1])); exec(sys.stdin.read())" \
        "$work/$1.json" "$work"
}

# Every device sound: the play passes; each host got the package, the site and its targets.
play sound "$work/sound" 0 -e "site_dir=$source/tests/sites/plant"
check sound <<'PY'
work = sys.argv[2]
for site, devices in (("plant-north", "north"), ("plant-south", "south")):
    got = [e["target"] for e in report[site]]
    assert got == [l.strip() for l in open(f"{work}/{devices}.txt")], (site, got)
    for e in report[site]:
        assert set(e) == {"target", "ok", "failed_chunks", "seconds", "error", "files_left_out",
                          "current", "retries", "reconnects", "started", "start", "end",
                          "bytes_written", "image_sha256", "backup"}, e
        assert e["started"] and e["start"] <= e["end"] and len(e["image_sha256"]) == 64, e
        assert e["ok"] and e["error"] is None and e["files_left_out"] == [], e
PY
for host in plant-north plant-south; do
    cmp "$deb" "$work/hosts/$host/kelvarin.deb"
    cmp "$source/tests/sites/plant/index.html" "$work/hosts/$host/site/index.html"
    cmp "$work/sound/$host.txt" "$work/hosts/$host/targets.txt"
done
grep -q "0 of 5 devices failed" "$work/sound.log"

# A packed image, sent as it is, to a site whose devices cannot be read back: the play
# fails, and the report says which devices failed and why.
"$cli" pack -o "$work/site.img" --site "$source/tests/sites/plant" --content-types --gzip >/dev/null
play mixed "$work/mixed" 1 -e "image=$work/site.img"
cmp "$work/site.img" "$work/hosts/plant-south/site.img"
check mixed <<'PY'
assert all(e["ok"] for e in report["plant-north"]), report
assert all(not e["ok"] and e["error"].startswith("cannot be read back") for e in report["plant-south"]), report
PY
grep -q "2 of 5 devices failed: " "$work/mixed.log"

# A site with a file the image cannot hold: every device got a partial site, and the play fails.
cp -r "$source/tests/sites/plant" "$work/partial"
head -c 200000 /dev/urandom >"$work/partial/video.bin"
play partial "$work/sound" 1 -e "site_dir=$work/partial"
check partial <<'PY'
for site in ("plant-north", "plant-south"):
    for e in report[site]:
        assert e["failed_chunks"] == 0 and not e["ok"] and e["error"] == "1 file not packed", e
        assert [p.rsplit("/", 1)[1] for p in e["files_left_out"]] == ["video.bin"], e
PY
grep -q "2 of 2 sites left files out of the image: plant-north, plant-south" "$work/partial.log"
