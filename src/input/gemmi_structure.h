// For the gemmi adapter sources only (gemmi_reader.cpp, assembly.cpp): the
// whole gemmi structure of a file, with its assemblies, cell and space
// group, and the filling of the program's own InputStructure from a model.
// Nothing outside src/input includes this header.
#pragma once

#include "input/input_structure.h"
#include "input/operator_expression.h"

#include <gemmi/model.hpp>

#include <map>
#include <string>
#include <vector>

// One row of `_pdbx_struct_assembly_gen`: the copies of its expression, or
// why the expression cannot be read.
struct GeneratorRow {
    std::string assembly;                   // assembly_id
    std::string expression;                 // oper_expression as written
    std::vector<OperatorProduct> products;  // empty when `why` says why
    std::string why;
};

// What a file says beyond gemmi's Structure, for the checks of assembly.cpp.
struct FileExtras {
    // Some atom record has no residue number (a blank field or a null), so
    // that gemmi's -999 "no number" is none rather than residue -999.
    bool residueNumberMissing = false;
    // For mmCIF files: each `_pdbx_struct_assembly_gen` row, in order, with
    // the copies its expression asks for. gemmi reads only the first factor
    // of a product and drops an operator missing from
    // `_pdbx_struct_oper_list` in silence; the assembly is built from these.
    std::vector<GeneratorRow> generatorRows;
    // For mmCIF files: `_pdbx_struct_oper_list` by operator id.
    std::map<std::string, gemmi::Transform> operatorList;
    // The file's own numbered list of the space group's operators, as
    // "x,y,z" triplets in order (PDB REMARK 290, mmCIF _space_group_symop or
    // _symmetry_equiv); empty when it has none.
    std::vector<std::string> symmetryOperators;
};

// Reads the structure file at `path` as readStructure does, but keeps, of a
// PDB file, the assembly (REMARK 350), symmetry (REMARK 290) and cell
// (CRYST1) records besides the coordinate records, each padded to 80
// columns. False, with the reason in `why`, when the file cannot be read.
bool readGemmiStructure(const std::string& path, gemmi::Structure& st, FileExtras& extras,
                        std::string& why);

// The models to use: model number `model` (0: the first), or all of them.
// False, with the reason ("model 3 does not exist; the file holds ..."),
// when there is no such model.
bool chooseModels(const gemmi::Structure& st, int model, bool all,
                  std::vector<const gemmi::Model*>& chosen, std::string& why);

// A model as the program's InputStructure, in file order. False, with the
// reason, for a chain ID that cannot be printed, a residue without a residue
// number or a model without atoms.
// With `mseAsMet`, selenomethionine is read as methionine (readAsMethionine).
bool fillInputStructure(const gemmi::Model& model, const FileExtras& extras, InputStructure& out,
                        std::string& why, bool mseAsMet = false);
