#!/usr/bin/env bash
# Kills geodot-cli set with SIGKILL at random moments while it writes a GPS position into a
# photo, and checks after every kill that the photo is either the old file or the complete new
# one, and that its folder holds no other file.
#
#   bench/kill-during-save.sh [KILLS] [PHOTO]
#
# KILLS defaults to 100; without PHOTO a 24-megapixel test picture is made with
# bench/make-test-jpeg.sh. The kills fall anywhere from the start of the command to a little
# after the time one save takes. GEODOT_CLI names the geodot-cli to use (default: build/cli/).
# With GEODOT_TEST_NAMED_TEMPORARY_FILES=1 in the environment the saves take the named temporary
# file; a kill may then leave that file behind, which is counted and removed, not a failure.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")
kills=${1:-100}
cli=${GEODOT_CLI:-$root/build/cli/geodot-cli}
[[ -x $cli ]] || { echo "$0: no geodot-cli at $cli; build it or set GEODOT_CLI" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/geodot-kill.XXXXXX")
trap 'rm -rf "$work"' EXIT
if [[ $# -ge 2 ]]; then
    cp "$2" "$work/old.jpg"
else
    "$here/make-test-jpeg.sh" "$work/old.jpg" 24
fi
mkdir "$work/config" "$work/photos"
export XDG_CONFIG_HOME=$work/config
edit=(set --lat 35.681236 --lon 139.767125)
photo=$work/photos/photo.jpg

# The complete new file, and how long one save takes.
cp "$work/old.jpg" "$work/new.jpg"
"$cli" "${edit[@]}" "$work/new.jpg"
cp "$work/old.jpg" "$photo"
start=$(date +%s%N)
"$cli" "${edit[@]}" "$photo"
save_us=$((($(date +%s%N) - start) / 1000))
cmp -s "$photo" "$work/new.jpg" || { echo "$0: two saves of the same edit differ" >&2; exit 1; }

old=0 new=0 bad=0 left=0 finished=0
for ((i = 1; i <= kills; i++)); do
    cp "$work/old.jpg" "$photo"
    delay_us=$(awk -v max="$save_us" -v seed="$i$RANDOM" 'BEGIN { srand(seed); printf "%d", rand() * max * 1.2 }')
    "$cli" "${edit[@]}" "$photo" &
    pid=$!
    sleep "$(awk -v us="$delay_us" 'BEGIN { printf "%.6f", us / 1e6 }')"
    kill -KILL "$pid" 2>/dev/null || finished=$((finished + 1))
    wait "$pid" 2>/dev/null || true
    if cmp -s "$photo" "$work/old.jpg"; then
        old=$((old + 1))
    elif cmp -s "$photo" "$work/new.jpg"; then
        new=$((new + 1))
    else
        bad=$((bad + 1))
        echo "kill $i after ${delay_us} µs: the photo is neither the old nor the new file" >&2
    fi
    others=$(find "$work/photos" -mindepth 1 ! -name photo.jpg)
    if [[ -n $others ]]; then
        if [[ ${GEODOT_TEST_NAMED_TEMPORARY_FILES:-} == 1 && $others =~ ^$work/photos/\.photo\.jpg\.geodot-$pid-[A-Za-z0-9]{6}$ ]]; then
            left=$((left + 1))
            rm -f "$others"
        else
            bad=$((bad + 1))
            echo "kill $i after ${delay_us} µs: the folder also holds: $others" >&2
            find "$work/photos" -mindepth 1 ! -name photo.jpg -delete
        fi
    fi
done

echo "photo $(stat -c %s "$work/old.jpg") bytes, one save ${save_us} µs, $kills kills"
echo "  old file: $old, complete new file: $new, finished before the kill: $finished"
[[ ${GEODOT_TEST_NAMED_TEMPORARY_FILES:-} == 1 ]] && echo "  named temporary files left by a kill: $left"
echo "  damaged photo or stray file: $bad"
((bad == 0))
