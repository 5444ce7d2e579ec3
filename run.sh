#!/usr/bin/env bash
# Installs what is missing, builds in Release, and starts Tessarin on its embedded default: the virtual
# printer, with a demo program directory, a hot folder and a generated sample job. With a display ($DISPLAY
# or $WAYLAND_DISPLAY) the window opens with the sample job; without one the headless service prints it.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build build-release

demo=$PWD/demo
port=${TESSARIN_PORT:-9100}
rm -rf "$demo/VirtualPrinterOutput"
mkdir -p "$demo/hot"
cp build-release/drivers/VirtualPrinter.so build-release/drivers/VirtualPrinterSetting.so "$demo/"
mkdir -p "$demo/Language"
cp resources/Language/chinese.ini resources/Language/english.ini "$demo/Language/"
[ -f "$demo/Language/Language.ini" ] || cp resources/Language/Language.ini "$demo/Language/"
# Calibration, material and head-voltage samples, kept once the demo has changed them.
for f in vkconfig.ini Align/TempVol.txt Align/default.txt Config/PP.ini; do
  [ -f "$demo/$f" ] || install -D -m 644 "resources/program/$f" "$demo/$f"
done
[ -f "$demo/Tessarin.ini" ] || cat > "$demo/Tessarin.ini" <<'INI'
[setting]
PrinterDll=VirtualPrinter
PrinterSettingDll=VirtualPrinterSetting
HotFolder=hot
DeleteListSource=0
CurMaterial=PP

[USB]
Simulated=1
INI
[ -f "$demo/VirtualPrinter.ini" ] || cat > "$demo/VirtualPrinter.ini" <<'INI'
[VirtualPrinter]
OutputFolder=VirtualPrinterOutput
LinesPerSecond=400
INI
build-release/tools/tessarin-makejob --width 1600 --height 800 --pattern bands "$demo/sample.prn"

export TESSARIN_TRACE_FILE="$demo/trace.log"
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  cat <<TXT

Tessarin opens its window on the virtual printer in $demo (trace in $demo/trace.log).
  The sample job is open: File > Print (Ctrl+P) prints it; proof images go to $demo/VirtualPrinterOutput/
  Send a job over TCP:     nc -N localhost $port < JOB.prn
  Drop a job file into:    $demo/hot/   (it then moves to $demo/hot/Finished/)
  Language > English / 简体中文 switches the interface language.

TXT
  exec build-release/Tessarin --home "$demo" --port "$port" "$demo/sample.prn"
fi

cat <<TXT

Tessarin runs on the virtual printer in $demo (trace in $demo/trace.log).
  The sample job prints first; its proof image will be $demo/VirtualPrinterOutput/session-0001/proof.png
  Send a job over TCP:     nc -N localhost $port < JOB.prn
    or a CUPS raw queue:   lpadmin -p tessarin -E -v socket://localhost:$port -m raw
  Drop a job file into:    $demo/hot/   (it then moves to $demo/hot/Finished/)
  Make more jobs with:     build-release/tools/tessarin-makejob --help
  Stop with Ctrl+C.

TXT
exec build-release/Tessarin --headless --home "$demo" --port "$port" "$demo/sample.prn"
