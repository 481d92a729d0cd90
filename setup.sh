#!/usr/bin/env bash
# Sets Veltrane up on a fresh Debian 12 machine: installs every dependency,
# builds both plug-ins, installs them into ~/.vst and renders the demo phrase
# through a factory preset to veltrane-demo.wav.
set -euo pipefail
cd "$(dirname "$0")"

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi

$sudo apt-get update
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
  build-essential cmake ninja-build pkg-config \
  libgtest-dev libgmock-dev libbenchmark-dev \
  nlohmann-json3-dev libsndfile1-dev liblua5.1-0-dev liboscpack-dev \
  libasound2-dev libavahi-client-dev \
  libx11-dev libgl-dev libglu1-mesa-dev libglew-dev libfreetype-dev libftgl-dev libpng-dev \
  clang libclang-rt-14-dev \
  xvfb xauth zam-plugins

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build
cmake --install build

./build/bin/veltrane-render --plugin "$HOME/.vst/Veltrane.so" --program "Ping Pong Delay" \
  -o veltrane-demo.wav
echo "Installed Veltrane and Veltrane Fx Loop into $HOME/.vst; the demo is in veltrane-demo.wav"
