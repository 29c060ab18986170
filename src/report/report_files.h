// The files of one structure's report, each formatted from the report alone:
// pure functions from the analysis's record to the text of one file.
#pragma once

#include "records/details_file.h"
#include "report/interface_report.h"

#include <string>
#include <vector>

// The report's file names, in the order they are written.
inline constexpr const char* kComplexFile = "complex.pdb";
inline constexpr const char* kInterfaceFile = "interface.pdb";
inline constexpr const char* kResiduesFile = "residues.tsv";
inline constexpr const char* kSurfaceFiles[2] = {"surface_A.obj", "surface_B.obj"};
inline constexpr const char* kPairsFile = "pairs.tsv";
inline constexpr const char* kPymolFile = "view.pml";
inline constexpr const char* kChimeraFile = "view.cxc";
inline constexpr const char* kSummaryFile = "summary.json";

// The colours of the two surfaces in both viewers (red, green, blue in 0..1).
inline constexpr float kSurfaceColours[2][3] = {{0.20f, 0.80f, 0.20f}, {0.80f, 0.20f, 0.80f}};

// One interface residue of one side: the atoms of one chain, number,
// insertion code and name, in order of first appearance.
struct ReportResidue {
    int side = 0;  // 0: A, 1: B
    char chain = ' ';
    int resSeq = 0;
    char iCode = ' ';
    std::string resName;
    int atoms = 0;
    float buried = 0.0f;  // summed in file order
};
std::vector<ReportResidue> interfaceResidues(const InterfaceReport& report);

// The complex as scored, from the two subunit files' text (the engine's
// area records): the PDB columns 1-54 of each atom, occupancy 1.00 and
// B-factor 0.00, "TER" after each side, then "END".
std::string complexPdb(const std::string& subunitA, const std::string& subunitB);

// Both sides' interface atoms as PDB ATOM records, side A, "TER", side B,
// "TER", "END"; the buried area of each atom (A²) in the B-factor column.
std::string interfacePdb(const InterfaceReport& report);

// "side chain resnum icode resname interface_atoms buried", one row per residue.
std::string residuesTsv(const InterfaceReport& report);

// Wavefront OBJ of one side's kept triangles: every interface atom of the
// side as a vertex (in atom order), every kept triangle as a face.
std::string surfaceObj(const InterfaceReport& report, int side);

// The credited pairs: direction ("A>B" or "B>A"), the triangle and its partner
// as face numbers (from 1) of their surface files, both areas, the distance
// of the centroids and the cosine of the normals.
std::string pairsTsv(const InterfaceReport& report);

// The surface sums that the complementarity score divides by: all kept
// triangles, or only those small enough to be paired (at most 11 A²).
float surfaceSum(const ReportSide& side, bool includeLarge);

// PyMOL and ChimeraX command scripts that open the files beside them.
std::string pymolScript(const InterfaceReport& report);
std::string chimeraScript(const InterfaceReport& report);

// The entry's details columns (without its wall time, unknown until the
// entry ends), the class centroids and reference triple of each side, the
// winning cases and the counts.
// Numbers that are not finite are written as the strings "nan", "inf".
std::string summaryJson(const std::vector<DetailsField>& details, const InterfaceReport& report);
