#!/usr/bin/env bash
# Photographs every window of the skin on a virtual X display:
#   tools/skin-demo/screenshots.sh BUILD_DIR OUT_DIR
# BUILD_DIR holds tools/skin-demo/pinvale-skin-demo. One PNG per window lands in OUT_DIR.
set -euo pipefail
build=${1:?build directory}
out=${2:?output directory}
demo="$build/tools/skin-demo/pinvale-skin-demo"
mkdir -p "$out"

shoot() {  # name, demo arguments...
  local name=$1
  shift
  xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    "$0" --close-after 2500 "${@:2}" &
    pid=$!
    sleep 1.5
    import -window root "$1"
    wait $pid
  ' "$demo" "$out/$name.png" "$@"
  echo "$out/$name.png"
}

shoot main_no_key main.xml
shoot main_key --page 1 main.xml
shoot set_pin SetPIN.xml
shoot change_pin ChangePIN.xml
shoot verify_pin verifyPIN.xml
shoot reset_device resetDevice.xml
shoot message_box MsgBox.xml
