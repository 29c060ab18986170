#!/usr/bin/env bash
# Installs what the build and the tests need when it is missing (Debian or
# Ubuntu, apt-get; run as root or with sudo): the compiler and build tools,
# GoogleTest, gemmi with what its headers need (mmCIF, PDB and gzip input),
# GNU parallel and SLURM (runs over many slots and nodes), PyMOL (the report's
# pictures), matplotlib (plots) and FreeSASA (engine checks), and for the
# Python module pybind11 (build), pytest (its tests), gemmi's Python module
# (gemmi.Structure input), pandas (DataFrames) and tqdm (progress bars);
# simdjson and libzip (the predictors' confidence files, JSON and .npz),
# MDAnalysis (trajectories) and Dask's distributed (score_many on a cluster);
# OpenSSL's libcrypto (the SHA-256 by which the engine marker names accall);
# ccache (a fresh clone's build in the recipe test reuses the test build's
# objects) and strace (a test counts the programs a run starts).
# OpenMM with its CPU platform (python3-simtk, libopenmm-plugins) only
# remakes the test trajectory (bench/trajectory/make_trajectory.py): not
# installed here; `apt-get install python3-simtk libopenmm-plugins`.
set -euo pipefail

packages=(cmake ninja-build g++ libgtest-dev
          gemmi-dev tao-pegtl-dev zlib1g-dev libstb-dev libssl-dev
          parallel slurm-wlm pymol python3-matplotlib freesasa
          pybind11-dev python3-pybind11 python3-dev python3-pytest python3-gemmi python3-pandas
          python3-tqdm libsimdjson-dev libzip-dev python3-mdanalysis python3-distributed ccache strace)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null 2>&1 || { echo "Please install as root: ${missing[*]}" >&2; exit 1; }
  sudo=(sudo)
fi
"${sudo[@]}" apt-get update
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
