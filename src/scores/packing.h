// The packing score: the atoms near the interface, measured with a small
// probe, compared with the volume of one sphere of the same surface.
#pragma once

#include "common/asa_line.h"
#include "common/engine_runs.h"
#include "common/interface_record.h"
#include "common/types.h"
#include "common/workspace.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// PackingAtom (common/interface_record.h): one atom read from a subunit's area file.

// Appends to `out` the atoms of the area file `asaPath` that lie within
// sqrt(cutoffSq) A of one of points[0..n-1], as ATOM records, then "END".
// An area file that cannot be opened writes nothing. When `selected` is
// given, the written atoms are appended to it as well.
void findneighbour(std::FILE* out, const std::string& asaPath,
                   const std::vector<InterfacePoint>& points, int n, float cutoffSq,
                   std::vector<PackingAtom>* selected = nullptr);

// Runs the engine on ComplexP.pdb of `files` with the 0.40 A probe (through
// `engine`) and returns the packing ratio (atom volume over the volume of
// the sphere of the same accessible surface); 0 when the run failed or left
// no area file, with its message on `console`; not a number (0/0) when the
// area file holds no atoms. Output of an earlier run is removed first.
float computepack(EngineRuns& engine, Workspace& files, std::FILE* console);

// findneighbour on an area file already open (read to its end).
void findneighbour(std::FILE* out, std::FILE* asa, const std::vector<InterfacePoint>& points,
                   int n, float cutoffSq, std::vector<PackingAtom>* selected);

// The same on an area file held as its lines (Workspace::areas).
void findneighbour(std::FILE* out, const std::vector<asa::HeldLine>& lines,
                   const std::vector<InterfacePoint>& points, int n, float cutoffSq,
                   std::vector<PackingAtom>* selected);

// The packing ratio of the atoms of the open area file (the packing run's),
// read to its end; computepack's value after its engine run.
float packingRatio(std::FILE* asa);
// The same of an area file held as its lines.
float packingRatio(const std::vector<asa::HeldLine>& lines);
