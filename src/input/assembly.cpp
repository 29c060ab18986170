// The second gemmi adapter: biological assemblies, crystal copies and their
// contacts, and every model, as the program's own InputStructures.
#include "input/assembly.h"

#include "input/contacts.h"
#include "input/gemmi_structure.h"

#include <gemmi/symmetry.hpp>
#include <gemmi/unitcell.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <exception>
#include <map>
#include <set>
#include <tuple>

namespace {

using Names = std::vector<std::pair<std::string, std::vector<std::string>>>;

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& n : names) text += (text.empty() ? "" : ", ") + n;
    return text;
}

bool contains(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

// ---------------------------------------------------------------- assemblies

// A rigid motion that can be used: finite numbers, a rotation matrix.
bool isRotation(const gemmi::Transform& t) {
    for (int i = 0; i < 3; ++i) {
        if (!std::isfinite(t.vec.at(i))) return false;
        for (int j = 0; j < 3; ++j) {
            double dot = 0.0;
            for (int k = 0; k < 3; ++k) {
                if (!std::isfinite(t.mat[k][i])) return false;
                dot += t.mat[k][i] * t.mat[k][j];
            }
            if (std::fabs(dot - (i == j ? 1.0 : 0.0)) > 1e-3) return false;
        }
    }
    return t.mat.determinant() > 0.0;
}

bool isIdentity(const gemmi::Transform& t) { return t.approx(gemmi::Transform{}, 1e-6); }

// A copy a generator makes: the operator (or product of operators) and its
// name in the copies' names ("2", "1x2").
struct CopyOperator {
    std::string name;
    gemmi::Transform transform;
};

// The operators of `row`, an mmCIF generator row: each product of its
// expression from `_pdbx_struct_oper_list`, the last factor applied first.
bool rowOperators(const GeneratorRow& row, const FileExtras& extras, const std::string& what,
                  std::vector<CopyOperator>& ops, std::string& why) {
    if (!row.why.empty()) {
        why = what + row.why;
        return false;
    }
    for (const OperatorProduct& product : row.products) {
        gemmi::Transform t;
        for (const std::string& id : product) {
            const auto found = extras.operatorList.find(id);
            if (found == extras.operatorList.end()) {
                why = what + "operator " + id + " is not in _pdbx_struct_oper_list";
                return false;
            }
            if (!isRotation(found->second)) {
                why = what + "operator " + id + " cannot be read as a rotation and a translation";
                return false;
            }
            t = t.combine(found->second);
        }
        ops.push_back({productName(product), t});
    }
    return true;
}

// The copies each generator of the assembly makes, in order. For an mmCIF
// file they come from its own generator rows (every product of an
// expression, every operator it names present and usable); for a PDB file
// from gemmi's reading of REMARK 350. False, with the reason, for an
// operator missing or unusable, or a generator without operators.
bool assemblyOperators(const gemmi::Assembly& assembly, const FileExtras& extras,
                       std::vector<std::vector<CopyOperator>>& ops, std::string& why) {
    const std::string what = "assembly " + assembly.name + ": ";
    if (assembly.generators.empty()) {
        why = what + "no chains and operators are given for it";
        return false;
    }
    ops.assign(assembly.generators.size(), {});
    std::size_t row = 0;
    for (const GeneratorRow& gen : extras.generatorRows) {
        if (gen.assembly != assembly.name) continue;
        if (row < ops.size() && !rowOperators(gen, extras, what, ops[row], why)) return false;
        ++row;
    }
    for (std::size_t g = 0; g < ops.size(); ++g) {
        const gemmi::Assembly::Gen& gen = assembly.generators[g];
        if (row == 0)  // no rows of its own: REMARK 350
            for (const gemmi::Assembly::Operator& op : gen.operators) {
                if (!isRotation(op.transform)) {
                    why = what + "operator " + op.name + " cannot be read as a rotation and a translation";
                    return false;
                }
                ops[g].push_back({op.name, op.transform});
            }
        if (ops[g].empty()) {
            why = what + "no readable operator for chains " +
                  joined(gen.chains.empty() ? gen.subchains : gen.chains);
            return false;
        }
    }
    return true;
}

bool anySubchainMatches(const gemmi::Chain& chain, const gemmi::Assembly::Gen& gen) {
    for (const gemmi::Residue& r : chain.residues)
        if (contains(gen.subchains, r.subchain)) return true;
    return false;
}

// The assembly as a model: per generator and operator, the chains it names
// in file order, each copy named "<chain>-<operator>" (the identity copy
// keeps the chain's name). A residue that generators copy twice under one
// name (an operator listed twice for a chain) is built once.
gemmi::Model assemblyModel(const gemmi::Assembly& assembly,
                           const std::vector<std::vector<CopyOperator>>& ops,
                           const gemmi::Model& model) {
    gemmi::Model built(model.name);
    std::set<std::tuple<std::size_t, std::size_t, std::string>> made;  // chain, residue, copy name
    for (std::size_t g = 0; g < assembly.generators.size(); ++g) {
        const gemmi::Assembly::Gen& gen = assembly.generators[g];
        for (const CopyOperator& op : ops[g]) {
            const bool identity = isIdentity(op.transform);
            const bool all = !gen.chains.empty() && gen.chains[0] == "(all)";
            for (std::size_t c = 0; c < model.chains.size(); ++c) {
                const gemmi::Chain& chain = model.chains[c];
                const bool whole = all || contains(gen.chains, chain.name);
                if (!whole && !(!gen.subchains.empty() && anySubchainMatches(chain, gen))) continue;
                const std::string name = identity ? chain.name : chain.name + "-" + op.name;
                gemmi::Chain copy(name);
                for (std::size_t r = 0; r < chain.residues.size(); ++r) {
                    const gemmi::Residue& residue = chain.residues[r];
                    if (!whole && !contains(gen.subchains, residue.subchain)) continue;
                    if (!made.emplace(c, r, name).second) continue;
                    copy.residues.push_back(residue);
                    for (gemmi::Atom& a : copy.residues.back().atoms)
                        a.pos = gemmi::Position(op.transform.apply(a.pos));
                }
                if (!copy.residues.empty()) built.chains.push_back(std::move(copy));
            }
        }
    }
    return built;
}

bool buildAssembly(const gemmi::Structure& st, const FileExtras& extras, const std::string& id,
                   const gemmi::Model& model, bool mseAsMet, InputStructure& out,
                   std::string& why) {
    std::vector<std::string> present;
    const gemmi::Assembly* chosen = nullptr;
    for (const gemmi::Assembly& a : st.assemblies) {
        present.push_back(a.name);
        if (a.name == id && !chosen) chosen = &a;  // the first of a name listed twice
    }
    if (!chosen) {
        why = "no assembly " + id +
              (present.empty() ? std::string(" (the file defines no assemblies)")
                               : " (assemblies present: " + joined(present) + ")");
        return false;
    }
    std::vector<std::vector<CopyOperator>> ops;
    if (!assemblyOperators(*chosen, extras, ops, why)) return false;
    if (!fillInputStructure(assemblyModel(*chosen, ops, model), extras, out, why, mseAsMet)) {
        if (why == "no atoms") why = "assembly " + id + " holds none of the file's chains";
        return false;
    }
    return true;
}

// ------------------------------------------------------------------ crystal

// The rotations of each lattice family in the order in which PDB files
// (after the International Tables) number a space group's operators; the
// same rotations times the inversion follow them. Operators of a centred
// cell come in one block per centring vector.
const char* const kTetragonal[] = {"x,y,z", "-x,-y,z", "-y,x,z", "y,-x,z",
                                   "-x,y,-z", "x,-y,-z", "y,x,-z", "-y,-x,-z"};
const char* const kHexagonal[] = {"x,y,z",   "-y,x-y,z", "-x+y,-x,z",  "-x,-y,z",
                                  "y,-x+y,z", "x-y,x,z",  "y,x,-z",     "x-y,-y,-z",
                                  "-x,-x+y,-z", "-y,-x,-z", "-x+y,y,-z", "x,x-y,-z"};
const char* const kCubic[] = {"x,y,z",  "-x,-y,z", "-x,y,-z", "x,-y,-z", "z,x,y",  "z,-x,-y",
                              "-z,-x,y", "-z,x,-y", "y,z,x",   "-y,z,-x", "y,-z,-x", "-y,-z,x",
                              "y,x,-z",  "-y,-x,-z", "y,-x,z",  "-y,x,z",  "x,z,-y",  "-x,z,y",
                              "-x,-z,-y", "x,-z,y",  "z,y,-x",  "z,-y,x",  "-z,y,x",  "-z,-y,-x"};

std::vector<gemmi::Op::Rot> rotationOrder(const gemmi::SpaceGroup& sg) {
    std::vector<const char*> names;
    const gemmi::CrystalSystem system = sg.crystal_system();
    if (system == gemmi::CrystalSystem::Cubic ||
        ((system == gemmi::CrystalSystem::Trigonal) && sg.ext == 'R'))
        names.assign(std::begin(kCubic), std::end(kCubic));
    else if (system == gemmi::CrystalSystem::Trigonal || system == gemmi::CrystalSystem::Hexagonal)
        names.assign(std::begin(kHexagonal), std::end(kHexagonal));
    else
        names.assign(std::begin(kTetragonal), std::end(kTetragonal));
    std::vector<gemmi::Op::Rot> order;
    for (const char* n : names) order.push_back(gemmi::parse_triplet(n).rot);
    for (const char* n : names) order.push_back(gemmi::parse_triplet(n).negated_rot());
    return order;
}

// The file's own numbered list, when it is a list of the group's operators
// (each once); else empty.
std::vector<gemmi::Op> listedOperators(const std::vector<gemmi::Op>& group,
                                       const std::vector<std::string>& listed) {
    std::vector<gemmi::Op> ops;
    if (listed.size() != group.size()) return {};
    try {
        for (const std::string& triplet : listed) {
            const gemmi::Op op = gemmi::parse_triplet(triplet).wrap();
            if (std::find(group.begin(), group.end(), op) == group.end() ||
                std::find(ops.begin(), ops.end(), op) != ops.end())
                return {};
            ops.push_back(op);
        }
    } catch (const std::exception&) {
        return {};  // a list that cannot be read is no numbering
    }
    return ops;
}

// The space group's operators in the numbering of PDB files: the file's own
// list when it has one, else the International Tables' order of rotations.
std::vector<gemmi::Op> numberedOperators(const gemmi::SpaceGroup& sg,
                                         const std::vector<std::string>& listed = {}) {
    const gemmi::GroupOps ops = sg.operations();
    const std::vector<gemmi::Op::Rot> order = rotationOrder(sg);
    std::vector<std::tuple<std::size_t, std::size_t, std::size_t>> keys;  // centring, rotation, gemmi's
    std::vector<gemmi::Op> all;
    for (std::size_t c = 0; c < ops.cen_ops.size(); ++c)
        for (std::size_t s = 0; s < ops.sym_ops.size(); ++s) {
            const gemmi::Op op = ops.sym_ops[s].translated(ops.cen_ops[c]).wrap();
            const std::size_t rank =
                static_cast<std::size_t>(std::find(order.begin(), order.end(), op.rot) - order.begin());
            keys.emplace_back(c, rank, all.size());
            all.push_back(op);
        }
    std::vector<gemmi::Op> fromFile = listedOperators(all, listed);
    if (!fromFile.empty()) return fromFile;
    std::sort(keys.begin(), keys.end());
    std::vector<gemmi::Op> numbered;
    for (const auto& k : keys) numbered.push_back(all[std::get<2>(k)]);
    return numbered;
}

// The space group named `name`. In PDB files "H" names the hexagonal axes of
// a rhombohedral group; "R" names, strictly, the rhombohedral axes, but
// files write it for both, so its setting is the one the cell's angles fit
// (a=b=c with equal angles, or 90/90/120), as gemmi tells them apart. With
// no cell (0 angles), "R" is the hexagonal setting.
const gemmi::SpaceGroup* findSpaceGroup(const std::string& name, std::string& why,
                                        double alpha = 0.0, double gamma = 0.0) {
    if (name.empty()) {
        why = "the file gives no space group, so there are no crystal copies";
        return nullptr;
    }
    const std::size_t first = name.find_first_not_of(' ');
    const bool hexagonalAxes = first != std::string::npos && (name[first] == 'H' || name[first] == 'h') &&
                               name.find(':') == std::string::npos;
    const gemmi::SpaceGroup* sg = hexagonalAxes
                                      ? gemmi::find_spacegroup_by_name(name + ":H")
                                      : gemmi::find_spacegroup_by_name(name, alpha, gamma);
    if (!sg) why = "space group '" + name + "' is not known";
    return sg;
}

// One symmetry copy: operator `op` (an index into the numbered operators)
// and a lattice translation.
struct Image {
    int op = 0;
    std::array<int, 3> shift{0, 0, 0};
    auto key() const { return std::tie(op, shift); }
    bool operator<(const Image& o) const { return key() < o.key(); }
    bool identity() const { return op == 0 && shift == std::array<int, 3>{0, 0, 0}; }
};

// "7_665"; a shift beyond four cells is written "7_10_5_5".
std::string symmetryCode(const Image& image) {
    std::string code = std::to_string(image.op + 1) + "_";
    bool small = true;
    for (int s : image.shift) small = small && s >= -5 && s <= 4;
    for (int i = 0; i < 3; ++i)
        code += small ? std::string(1, static_cast<char>('5' + image.shift[i]))
                      : (i ? "_" : "") + std::to_string(5 + image.shift[i]);
    return code;
}

// The crystal: the cell's conversions and the numbered operators.
struct Crystal {
    gemmi::Transform frac, orth;
    std::vector<gemmi::Op> ops;

    gemmi::Transform cartesian(const Image& image) const {
        const gemmi::Op& op = ops[static_cast<std::size_t>(image.op)];
        gemmi::Vec3 t = gemmi::tran_as_vec3(op);
        t += gemmi::Vec3(image.shift[0], image.shift[1], image.shift[2]);
        return orth.combine(gemmi::Transform{gemmi::rot_as_mat33(op), t}.combine(frac));
    }

    // The same copy seen from the other side: the inverse motion.
    Image inverse(const Image& image) const {
        gemmi::Op op = ops[static_cast<std::size_t>(image.op)];
        for (int i = 0; i < 3; ++i) op.tran[i] += image.shift[i] * gemmi::Op::DEN;
        const gemmi::Op inv = op.inverse();
        for (std::size_t m = 0; m < ops.size(); ++m) {
            if (ops[m].rot != inv.rot) continue;
            Image found{static_cast<int>(m), {0, 0, 0}};
            bool lattice = true;
            for (int i = 0; i < 3; ++i) {
                const int d = inv.tran[i] - ops[m].tran[i];
                lattice = lattice && d % gemmi::Op::DEN == 0;
                found.shift[i] = d / gemmi::Op::DEN;
            }
            if (lattice) return found;
        }
        return image;  // not reached for a group's own operators
    }
};

// The atoms of the contact rule, as touchingChains counts them.
bool isContactAtom(const InputAtom& a) {
    return !a.hetero && a.element != "H" && a.element != "D" && std::isfinite(a.x) &&
           std::isfinite(a.y) && std::isfinite(a.z) && std::fabs(a.x) < 1e5 &&
           std::fabs(a.y) < 1e5 && std::fabs(a.z) < 1e5;
}

// A sphere around a chain's contact atoms; radius < 0 for a chain without any.
struct Sphere {
    gemmi::Vec3 centre;
    double radius = -1.0;
};

std::vector<Sphere> chainSpheres(const InputStructure& s) {
    std::vector<Sphere> spheres(s.chains.size());
    std::vector<int> counts(s.chains.size(), 0);
    for (const InputAtom& a : s.atoms)
        if (isContactAtom(a)) {
            spheres[static_cast<std::size_t>(a.chain)].centre += gemmi::Vec3(a.x, a.y, a.z);
            ++counts[static_cast<std::size_t>(a.chain)];
        }
    for (std::size_t i = 0; i < spheres.size(); ++i)
        if (counts[i] > 0) {
            spheres[i].centre /= counts[i];
            spheres[i].radius = 0.0;
        }
    for (const InputAtom& a : s.atoms)
        if (isContactAtom(a)) {
            Sphere& sp = spheres[static_cast<std::size_t>(a.chain)];
            sp.radius = std::max(sp.radius, sp.centre.dist(gemmi::Vec3(a.x, a.y, a.z)));
        }
    return spheres;
}

// Appends to `s` a copy of chain `chain` of `from` moved by `t`, named `name`;
// with `contactsOnly`, only of the atoms that touchingChains looks at (heavy
// atoms of ATOM records), for a copy searched for contacts and never written.
// `runs` is atomRuns(from): a copy visits only its chain's atoms.
int appendCopy(const InputStructure& from, const std::vector<AtomRun>& runs, int chain,
               const gemmi::Transform& t, const std::string& name, InputStructure& s,
               bool contactsOnly = false) {
    const int index = static_cast<int>(s.chains.size());
    s.chains.push_back(name);
    for (const AtomRun& run : runs) {
        if (run.chain != chain) continue;
        for (std::size_t i = run.begin; i < run.end; ++i) {
            const InputAtom& a = from.atoms[i];
            if (contactsOnly && (a.hetero || a.element == "H" || a.element == "D")) continue;
            // A copy only searched for contacts needs its place alone: an
            // ATOM record's of no element is a contact atom as the original.
            InputAtom copy = contactsOnly ? InputAtom{} : a;
            const gemmi::Vec3 p = t.apply(gemmi::Vec3(a.x, a.y, a.z));
            copy.x = p.x, copy.y = p.y, copy.z = p.z;
            copy.chain = index;
            s.atoms.push_back(std::move(copy));
        }
    }
    return index;
}

// The crystal's interfaces of `asu`: its chains and, appended, the copies
// the interfaces need, with the pairs. False, with the reason, for a cell
// far too small for the chains.
// The cells a chain and its contacts may span along one axis, at most.
constexpr int kMaxCells = 40;
// The copies whose spheres come near a chain, at most.
constexpr std::size_t kMaxCopies = 500;

bool crystalInterfaces(const Crystal& crystal, const InputStructure& asu, StructurePart& part,
                       std::string& why, double distance = 5.0) {
    const std::vector<Sphere> spheres = chainSpheres(asu);
    // How far a fractional coordinate reaches per angstrom along each axis.
    double reach[3];
    for (int k = 0; k < 3; ++k)
        reach[k] = std::sqrt(crystal.frac.mat[k][0] * crystal.frac.mat[k][0] +
                             crystal.frac.mat[k][1] * crystal.frac.mat[k][1] +
                             crystal.frac.mat[k][2] * crystal.frac.mat[k][2]);
    // Copies whose sphere comes within `distance` of a chain's sphere: the
    // only ones that can touch it.
    std::set<std::pair<int, Image>> near;
    const int chains = static_cast<int>(asu.chains.size());
    for (int i = 0; i < chains; ++i) {
        if (spheres[static_cast<std::size_t>(i)].radius < 0) continue;
        const gemmi::Vec3 fi = crystal.frac.apply(spheres[static_cast<std::size_t>(i)].centre);
        for (int n = 0; n < static_cast<int>(crystal.ops.size()); ++n) {
            const gemmi::Op& op = crystal.ops[static_cast<std::size_t>(n)];
            const gemmi::Vec3 f = gemmi::Transform{gemmi::rot_as_mat33(op), gemmi::tran_as_vec3(op)}.apply(fi);
            for (int j = 0; j < chains; ++j) {
                const Sphere& sj = spheres[static_cast<std::size_t>(j)];
                if (sj.radius < 0) continue;
                const double r = spheres[static_cast<std::size_t>(i)].radius + sj.radius + distance;
                const gemmi::Vec3 d = crystal.frac.apply(sj.centre) - f;
                int low[3], high[3];
                for (int k = 0; k < 3; ++k) {
                    const double from = std::ceil(d.at(k) - r * reach[k]);
                    const double to = std::floor(d.at(k) + r * reach[k]);
                    // A chain that reaches over dozens of cells: the cell is not the crystal's.
                    if (!std::isfinite(from) || !std::isfinite(to) || to - from > kMaxCells ||
                        std::fabs(from) > 1e6) {
                        why = "the cell is too small for the chains (a chain would reach over "
                              "more than " + std::to_string(kMaxCells) + " cells), so it is not "
                              "the crystal's cell";
                        return false;
                    }
                    low[k] = static_cast<int>(from);
                    high[k] = static_cast<int>(to);
                }
                for (int a = low[0]; a <= high[0]; ++a)
                    for (int b = low[1]; b <= high[1]; ++b)
                        for (int c = low[2]; c <= high[2]; ++c) {
                            const Image image{n, {a, b, c}};
                            if (image.identity()) continue;
                            const gemmi::Vec3 p = crystal.orth.apply(f + gemmi::Vec3(a, b, c));
                            if (p.dist(sj.centre) <= r) near.insert({i, image});
                        }
            }
        }
    }
    // A real crystal packs a few dozen copies around a chain.
    if (near.size() > kMaxCopies * static_cast<std::size_t>(chains)) {
        why = "the cell is too small for the chains (more than " + std::to_string(kMaxCopies) +
              " copies would surround a chain), so it is not the crystal's cell";
        return false;
    }
    // The chains as written and those copies, searched as one structure.
    InputStructure search = asu;
    std::vector<std::pair<int, Image>> copies(near.begin(), near.end());
    const std::vector<AtomRun> runs = atomRuns(asu);
    for (const auto& [chain, image] : copies)
        appendCopy(asu, runs, chain, crystal.cartesian(image), "", search, true);
    // Each interface once: the lower chain first, and of a chain with its
    // own copy the lower of the operator and its inverse.
    std::set<std::tuple<int, int, Image>> interfaces;
    for (const auto& [a, b] : touchingChains(search, distance)) {
        if (a >= chains) break;  // pairs of two copies: not interfaces of the file's chains
        const int chain = b < chains ? b : copies[static_cast<std::size_t>(b - chains)].first;
        const Image image = b < chains ? Image{} : copies[static_cast<std::size_t>(b - chains)].second;
        const Image back = crystal.inverse(image);
        interfaces.insert(std::min(std::make_tuple(a, chain, image), std::make_tuple(chain, a, back)));
    }
    part.structure = asu;
    std::map<std::pair<int, Image>, int> appended;  // a copy two interfaces share is written once
    for (const auto& [a, b, image] : interfaces) {
        int second = b;
        if (!image.identity()) {
            const auto [it, added] = appended.emplace(std::make_pair(b, image), 0);
            if (added)
                it->second = appendCopy(asu, runs, b, crystal.cartesian(image),
                                        asu.chains[static_cast<std::size_t>(b)] + " " + symmetryCode(image),
                                        part.structure);
            second = it->second;
        }
        part.pairs.push_back({a, second, b, true});
    }
    return true;
}

bool readCrystal(const gemmi::Structure& st, const FileExtras& extras, Crystal& crystal,
                 std::string& why) {
    if (!st.cell.is_crystal()) {
        why = "no crystal cell (none given, or a 1 A dummy cell as for cryo-EM and NMR), so "
              "there are no crystal contacts";
        return false;
    }
    const gemmi::SpaceGroup* sg = findSpaceGroup(st.spacegroup_hm, why, st.cell.alpha, st.cell.gamma);
    if (!sg) return false;
    // Angles such as 120/120/120 lay the axes in one plane: a volume of
    // (next to) nothing, where a real cell's is far above a hundredth of a*b*c.
    bool finite = std::isfinite(st.cell.volume) &&
                  st.cell.volume > 1e-2 * st.cell.a * st.cell.b * st.cell.c;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            finite = finite && std::isfinite(st.cell.frac.mat[i][j]) && std::isfinite(st.cell.orth.mat[i][j]);
    if (!finite) {
        why = "the cell's lengths and angles do not make a cell";
        return false;
    }
    crystal.frac = st.cell.frac;
    crystal.orth = st.cell.orth;
    crystal.ops = numberedOperators(*sg, extras.symmetryOperators);
    // A space group that does not fit its cell ("H 3" on a 90/90/90 cell)
    // gives operators that shear the chains in Cartesian space.
    for (std::size_t n = 0; n < crystal.ops.size(); ++n)
        if (!isRotation(crystal.cartesian(Image{static_cast<int>(n), {0, 0, 0}}))) {
            why = "space group '" + st.spacegroup_hm + "' does not fit the cell (its operator " +
                  std::to_string(n + 1) + ", " + crystal.ops[n].triplet() +
                  ", would distort the chains)";
            return false;
        }
    return true;
}

void pairsOf(const InputStructure& s, StructurePart& part) {
    const std::vector<std::pair<int, int>> touching = touchingChains(s);
    part.pairs.reserve(touching.size());
    for (const auto& [first, second] : touching) part.pairs.push_back({first, second, second, false});
}

bool readParts(const std::string& path, const StructureChoice& choice,
               std::vector<StructurePart>& parts, std::string& why) {
    gemmi::Structure st;
    FileExtras extras;
    if (!readGemmiStructure(path, st, extras, why)) return false;
    std::vector<const gemmi::Model*> models;
    if (!chooseModels(st, choice.model, choice.allModels, models, why)) return false;
    Crystal crystal;
    if (choice.crystal && !readCrystal(st, extras, crystal, why)) return false;
    for (const gemmi::Model* model : models) {
        StructurePart part;
        if (choice.allModels) part.label = "model " + model->name;
        InputStructure s;
        const bool built = choice.assembly.empty()
                               ? fillInputStructure(*model, extras, s, why, choice.mseAsMet)
                               : buildAssembly(st, extras, choice.assembly, *model,
                                               choice.mseAsMet, s, why);
        if (!built) {
            if (choice.allModels) why = part.label + ": " + why;
            return false;
        }
        if (choice.crystal) {
            if (!crystalInterfaces(crystal, s, part, why)) return false;
        } else {
            if (choice.pairs) pairsOf(s, part);
            part.structure = std::move(s);
        }
        parts.push_back(std::move(part));
    }
    return true;
}

}  // namespace

bool readStructureParts(const std::string& path, const StructureChoice& choice,
                        std::vector<StructurePart>& parts, std::string& why) {
    parts.clear();
    if (!choice.allModels && choice.assembly.empty() && !choice.crystal) {
        StructurePart part;
        if (!readStructure(path, choice.model, part.structure, why, choice.mseAsMet)) return false;
        if (choice.pairs) pairsOf(part.structure, part);
        parts.push_back(std::move(part));
        return true;
    }
    try {
        if (readParts(path, choice, parts, why)) return true;
    } catch (const std::exception& e) {
        why = e.what();
    } catch (...) {
        why = "unreadable structure file";
    }
    parts.clear();
    return false;
}

std::string pairName(const InputStructure& s, const ChainPair& p) {
    const std::string name = s.chains[static_cast<std::size_t>(p.first)] + ":" +
                             s.chains[static_cast<std::size_t>(p.second)];
    return p.crystal && p.second == p.secondChain ? name + " 1_555" : name;
}

std::string pairSides(const InputStructure& s, const ChainPair& p) {
    return s.chains[static_cast<std::size_t>(p.first)] + ":" +
           s.chains[static_cast<std::size_t>(p.secondChain)];
}

bool spaceGroupOperators(const std::string& name, std::vector<std::string>& triplets,
                         std::string& why) {
    triplets.clear();
    const gemmi::SpaceGroup* sg = findSpaceGroup(name, why);
    if (!sg) return false;
    for (const gemmi::Op& op : numberedOperators(*sg)) triplets.push_back(op.triplet());
    return true;
}
