// The surface complementarity score of two triangulated interface surfaces.
#pragma once

#include "common/types.h"

#include <vector>

struct CreditedPair;

// Credits every triangle of one surface with the smaller of its own area and
// the summed area of its partners on the other surface (centroids within
// sqrt(maxDistSq) A, normals within acos(minCos) of parallel or antiparallel),
// in both directions; returns the larger total over the smaller surface
// (not a number when that surface is 0). Counts beyond the tables are not read.
// When `pairsAB` and `pairsBA` are given, they receive every pair credited in
// each direction (the triangle and its partner on the other surface).
float Sscore(const std::vector<Vector3>& centroidsA, const std::vector<Vector3>& normalsA,
             const std::vector<float>& areasA, int countA, const std::vector<Vector3>& centroidsB,
             const std::vector<Vector3>& normalsB, float maxDistSq, float minCos, float buriedA,
             const std::vector<float>& areasB, int countB,
             std::vector<CreditedPair>* pairsAB = nullptr,
             std::vector<CreditedPair>* pairsBA = nullptr);
