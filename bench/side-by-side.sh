#!/usr/bin/env bash
# The velvet sofa orbiting at 1280 × 720, our full-quality frame against the web's standard product
# viewer, in one run on the same rasterizer (Mesa's llvmpipe), in alternating rounds: ours, theirs,
# ours, theirs … Prints one Markdown table: median and p95 frame time a side, the ratio ours/theirs
# against the goal (≤ 1.0×), the machine (cores, load average), the commit and what each side draws.
#
# Both sides: GlamVelvetSofa.glb (4,196 triangles in 3 meshes), 1280 × 720, 4× multisampling, render
# scale 1, neutral tone mapping, vertical field of view 30°, the camera 75° from straight up at
# 1.15 × the box's half diagonal / sin 15° from the box's centre, turned 360°/frames each frame.
#
# Ours — bench/render/SofaOrbit.cpp (vantrel_sofa_orbit), an SCNView offscreen (EGL surfaceless,
# desktop GL 4.5 on llvmpipe), adaptive quality off: the sofa's materials as the file gives them
# (sheen included; the renderer draws what it supports today), a studio-like float equirect made in
# code as the lighting environment, one directional sun that casts shadows, a matte SCNFloor under
# the sofa (no mirror image) that fills the background. The file's own light and camera removed.
# The passes listed in the table are the renderer's own (VANTREL_RENDER_PROFILE), read in a short
# extra run before the rounds.
#
# Theirs — bench/modelviewer (npm @google/model-viewer, three.js inside), Debian's Chromium through
# puppeteer-core, WebGL through ANGLE over Mesa's OpenGL (llvmpipe; the page checks it is not
# SwiftShader), frame-rate cap and vsync off: <model-viewer> with its defaults (neutral environment
# made in code and prefiltered (PMREM), neutral tone mapping, its renderer's 4× multisampling) at
# minimumRenderScale 1, shadow-intensity 1 (a soft contact shadow: depth from below, blurred, drawn
# once when the model loads and shown as a textured plane each frame), the file's own directional
# light (no shadow map), on white.
#
# Frame time: ours, one SCNView::draw (it ends with glFinish); theirs, from the start of the frame's
# first requestAnimationFrame callback (model-viewer's, which draws) to the end of a one-pixel
# read-back after it drew (it waits for the GPU; Chromium's gl.finish() only flushes, and without a
# wait the page runs far ahead of llvmpipe). Neither includes showing the frame on a screen; the
# interval between frames (in the table too) includes, for the page, Chromium's compositing. The
# table also gives the CPU time a frame: ours, the process's (llvmpipe's threads included); theirs,
# that of every Chromium process (browser, GPU process, renderer). On a busy machine it moves less
# with the other load than the wall-clock times do.
#
#   bench/side-by-side.sh [--preset ci] [--rounds 3] [--frames 60] [--warm-up 10]
#                         [--mode headless|xvfb] [--our-floor endless|footprint]
#                         [--pictures <directory>] [--keep <directory>]
#
# --mode headless (default) runs Chromium with --use-angle=gl-egl and no display; xvfb runs it with
# --use-angle=gl under xvfb-run. --pictures writes both sides' view turned 30° (ours.png,
# theirs.png). --keep keeps every round's JSON there. Needs node and npm (npm ci runs once here when
# bench/modelviewer/node_modules is missing), /usr/bin/chromium (or $CHROMIUM) and, for xvfb,
# xvfb-run. --our-floor footprint gives our sofa a floor 1.5 times its footprint (about the size of
# model-viewer's shadow plane) instead of the endless one that fills the background. Takes about
# 2 minutes with the defaults on two busy cores.
set -euo pipefail

preset=ci
rounds=3
frames=60
warm_up=10
mode=headless
floor=endless
pictures=''
keep=''
while (($#)); do
    case $1 in
        --preset) preset=$2; shift 2 ;;
        --rounds) rounds=$2; shift 2 ;;
        --frames) frames=$2; shift 2 ;;
        --warm-up) warm_up=$2; shift 2 ;;
        --mode) mode=$2; shift 2 ;;
        --our-floor) floor=$2; shift 2 ;;
        --pictures) pictures=$2; shift 2 ;;
        --keep) keep=$2; shift 2 ;;
        *) echo "usage: $0 [--preset ci] [--rounds N] [--frames N] [--warm-up N] [--mode headless|xvfb]" \
                "[--our-floor endless|footprint] [--pictures <directory>] [--keep <directory>]" >&2; exit 2 ;;
    esac
done
# Directories given are the caller's; everything else is the checkout's.
[[ -z $pictures ]] || pictures=$(realpath -m "$pictures")
[[ -z $keep ]] || keep=$(realpath -m "$keep")
cd "$(dirname "$0")/.."
[[ $mode == headless || $mode == xvfb ]] || { echo "--mode is headless or xvfb" >&2; exit 2; }
[[ $floor == endless || $floor == footprint ]] || { echo "--our-floor is endless or footprint" >&2; exit 2; }
if [[ $mode == xvfb ]] && ! command -v xvfb-run >/dev/null; then
    echo "--mode xvfb needs xvfb-run (apt-get install xvfb)" >&2
    exit 1
fi

build=build/$preset
[[ -f $build/CMakeCache.txt ]] || cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target vantrel_sofa_orbit >/dev/null
ours_program=$build/bench/vantrel_sofa_orbit
if [[ ! -d bench/modelviewer/node_modules ]]; then
    (cd bench/modelviewer && npm ci --no-audit --no-fund >/dev/null)
fi

out=${keep:-$(mktemp -d)}
mkdir -p "$out"
[[ -n $keep ]] || trap 'rm -rf "$out"' EXIT

theirs() {
    # The same file as ours: the models folder beside the checkout.
    local args=(node bench/modelviewer/orbit.mjs --mode "$mode" --frames "$frames" --warm-up "$warm_up"
                --model "$PWD/../shared/models/GlamVelvetSofa/GlamVelvetSofa.glb" "$@")
    if [[ $mode == xvfb ]]; then
        xvfb-run -a -s "-screen 0 1280x720x24" "${args[@]}"
    else
        "${args[@]}"
    fi
}

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
# The renderer's passes, by name, from its own profile (it waits for the GPU after each pass, so
# this run is not timed).
VANTREL_RENDER_PROFILE=1 "$ours_program" --floor "$floor" --frames 10 --warm-up 1 2>"$out/profile.txt" >/dev/null
our_passes=$(grep '^frame profile' "$out/profile.txt" | tail -1 | sed 's/^[^:]*://' |
    awk '{ for (i = 1; i <= NF; i += 2) if ($i != "walk" && $i != "end") printf "%s%s", (n++ ? ", " : ""), $i }')

for round in $(seq "$rounds"); do
    echo "round $round of $rounds: ours" >&2
    "$ours_program" --floor "$floor" --frames "$frames" --warm-up "$warm_up" >"$out/ours-$round.json"
    echo "round $round of $rounds: model-viewer" >&2
    theirs >"$out/theirs-$round.json"
done
if [[ -n $pictures ]]; then
    mkdir -p "$pictures"
    "$ours_program" --floor "$floor" --frames 1 --warm-up 1 --picture "$pictures/ours.png" >/dev/null
    theirs --frames 1 --warm-up 1 --picture "$pictures/theirs.png" >/dev/null
fi
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

commit=$(git rev-parse --short HEAD)
git diff --quiet HEAD -- src include resources bench || commit="$commit (with uncommitted changes)"
cat >"$out/run.json" <<EOF
{ "date": "$(date -u '+%Y-%m-%d %H:%M UTC')", "nproc": $(nproc), "loadBefore": "$load_before",
  "loadAfter": "$load_after", "commit": "$commit", "warmUp": $warm_up,
  "ourPasses": "${our_passes:-?} (the renderer's profile)" }
EOF
node bench/modelviewer/table.mjs "$out"
