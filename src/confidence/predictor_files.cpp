#include "confidence/predictor_files.h"

#include "common/huge_pages.h"
#include "common/text_file.h"
#include "confidence/npy_file.h"

#include <simdjson.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <regex>
#include <string_view>

namespace fs = std::filesystem;

namespace {

bool exists(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

std::string fileName(const std::string& path) { return fs::path(path).filename().string(); }

// A JSON document read in one pass with simdjson's On-Demand parser: the
// fields the metrics use are parsed as the pass meets them, every other
// value (contact_probs, token_res_ids...) is skipped over without being
// built. The parser and the buffer of the file are kept per thread and
// reused from one file to the next: a batch of predictions pays for their
// memory once, not per file (the first touch of fresh memory costs more than
// the parse itself). A skipped value is checked for its brackets and quotes
// only, not number by number.
namespace od = simdjson::ondemand;
using simdjson::error_code;

// The bytes of a file, in memory that may be huge pages (huge_pages.h).
class TextBuffer {
public:
    TextBuffer() = default;
    ~TextBuffer() { hugePagesFree(data_, capacity_); }
    TextBuffer(const TextBuffer&) = delete;
    TextBuffer& operator=(const TextBuffer&) = delete;

    // Room for `bytes` at least; false when there is no memory for them.
    bool reserve(std::size_t bytes) {
        if (bytes <= capacity_) return true;
        hugePagesFree(data_, capacity_);
        capacity_ = hugePagesRoom(bytes);
        data_ = static_cast<char*>(hugePagesAllocate(capacity_));
        if (!data_) capacity_ = 0;
        return data_ != nullptr;
    }
    char* data() const { return data_; }
    std::size_t capacity() const { return capacity_; }

private:
    char* data_ = nullptr;
    std::size_t capacity_ = 0;
};

struct JsonBuffers {
    od::parser parser;
    // The file, with simdjson's padding beyond its size: not cleared before
    // it is filled (clearing a large file's buffer costs a tenth of its read).
    TextBuffer text;
};

// Memory kept for the next file at most; a larger document's goes with it.
constexpr std::size_t kKeptBytes = std::size_t(1) << 29;

// A value of the wrong kind is the field's own problem (INCORRECT_TYPE);
// any other error breaks the document.
bool broken(error_code e) { return e && e != simdjson::INCORRECT_TYPE; }

// Hands the first occurrence of each field named in `keys` of the file's
// object to `take` (with the key's index), in file order; `take` returns an
// error only when the document is broken. `size` is the file's size.
using TakeField = std::function<error_code(std::size_t key, od::value& value, std::size_t size)>;

bool scanJson(const std::string& path, std::initializer_list<std::string_view> keys,
              const TakeField& take, std::string& why) {
    thread_local std::unique_ptr<JsonBuffers> kept;
    if (kept && kept->text.capacity() > kKeptBytes) kept.reset();
    if (!kept) kept = std::make_unique<JsonBuffers>();
    const std::string name = fileName(path);
    std::string_view text;
    {
        File f = openFile(path, "rb");
        std::error_code ec;
        const std::uintmax_t size = fs::file_size(path, ec);
        if (!f || ec) {
            why = name + ": cannot be read";
            return false;
        }
        const std::size_t needed = static_cast<std::size_t>(size) + simdjson::SIMDJSON_PADDING;
        if (!kept->text.reserve(needed)) {
            why = name + ": cannot be read (out of memory)";
            return false;
        }
        char* data = kept->text.data();
        const std::size_t got = std::fread(data, 1, static_cast<std::size_t>(size), f.get());
        if (got != size || std::ferror(f.get())) {
            why = name + ": cannot be read";
            return false;
        }
        // simdjson may read into its padding: zeros, not what a larger file
        // before left there.
        std::memset(data + got, 0, simdjson::SIMDJSON_PADDING);
        text = std::string_view(data, got);
    }
    const auto malformed = [&](error_code e) {
        why = name + ": malformed or truncated JSON (" + simdjson::error_message(e) + ")";
        return false;
    };
    const auto notObject = [&] {
        why = name + ": the JSON is not an object";
        return false;
    };
    od::document doc;
    if (auto e = kept->parser.iterate(text.data(), text.size(), kept->text.capacity()).get(doc))
        return malformed(e);
    std::vector<bool> seen(keys.size(), false);
    const auto fields = [&](od::object object) -> error_code {
        for (auto field : object) {
            od::field f;
            std::string_view key;
            if (auto e = std::move(field).get(f)) return e;
            if (auto e = f.unescaped_key().get(key)) return e;
            std::size_t k = 0;
            for (std::string_view wanted : keys) {
                if (!seen[k] && key == wanted) {
                    seen[k] = true;
                    if (auto e = take(k, f.value(), text.size())) return e;
                    break;
                }
                ++k;
            }
        }
        return simdjson::SUCCESS;
    };
    od::json_type type;
    if (auto e = doc.type().get(type)) return malformed(e);
    if (type == od::json_type::object) {
        od::object root;
        if (auto e = doc.get_object().get(root)) return malformed(e);
        if (auto e = fields(root)) return malformed(e);
    } else if (type == od::json_type::array) {
        // The AlphaFold database's aligned-error file is a list holding one object.
        od::array list;
        if (auto e = doc.get_array().get(list)) return malformed(e);
        std::size_t count = 0;
        for (auto item : list) {
            od::object root;
            if (++count > 1) return notObject();
            if (auto e = item.get_object().get(root)) return broken(e) ? malformed(e) : notObject();
            if (auto e = fields(root)) return malformed(e);
        }
        if (count != 1) return notObject();
    } else {
        return notObject();
    }
    // Anything after the value is not JSON.
    if (!doc.current_location().error()) return malformed(simdjson::TRAILING_CONTENT);
    return true;
}

// A number of the file as the pass found it.
struct NumberField {
    bool present = false, usable = false;
    double value = 0;
};

error_code takeNumber(od::value& v, NumberField& f) {
    f.present = true;
    const error_code e = v.get_double().get(f.value);
    if (broken(e)) return e;
    f.usable = !e && std::isfinite(f.value);
    return simdjson::SUCCESS;
}

// Into `value` when there; false when the key is there but holds no number.
bool readNumber(const NumberField& f, const char* key, double& value, std::string& why,
                const std::string& name) {
    if (!f.present) return true;
    if (!f.usable) {
        why = name + ": '" + key + "' is not a number";
        return false;
    }
    value = f.value;
    return true;
}

// A list of numbers as the pass found it.
struct ListField {
    bool present = false, usable = false;
    std::vector<double> values;
};

error_code takeList(od::value& v, ListField& f) {
    f.present = true;
    od::array a;
    if (auto e = v.get_array().get(a)) return broken(e) ? e : simdjson::SUCCESS;
    f.values.clear();
    for (auto item : a) {
        double d;
        const error_code e = item.get_double().get(d);
        if (broken(e)) return e;
        if (e || !std::isfinite(d)) return simdjson::SUCCESS;
        f.values.push_back(d);
    }
    f.usable = true;
    return simdjson::SUCCESS;
}

// A square matrix as the pass found it; `why` says what is wrong with it.
struct MatrixField {
    bool present = false;
    PaeMatrix matrix;
    std::string why;
};

// The rows are read as they come: the matrix is square when each of them
// is as long as the list of rows, which is known at its end. The problem
// named is that of the first row that has one. A value that is not between
// two sides (`sides`, readPredictorOutput's tokenSides) is taken for a
// non-negative number by its first character, a digit, and kept as NaN.
error_code takeMatrix(od::value& v, MatrixField& f, std::size_t textSize,
                      const std::vector<int>& sides) {
    constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    f.present = true;
    PaeMatrix& m = f.matrix;
    m.values.clear();
    od::array rows;
    if (auto e = v.get_array().get(rows)) {
        if (broken(e)) return e;
        f.why = "is not a list of rows";
        return simdjson::SUCCESS;
    }
    std::vector<std::size_t> lengths;  // of each row; kNone for one that is no list
    std::size_t badRow = kNone;        // the first row with a value that is not a PAE
    for (auto row : rows) {
        od::array a;
        if (auto e = row.get_array().get(a)) {
            if (broken(e)) return e;
            lengths.push_back(kNone);
            continue;
        }
        // The side of this row's token; -1 beyond the tokens, where every
        // value is parsed (the matrix is then refused for its size).
        const int side = lengths.size() < sides.size() ? sides[lengths.size()] : -1;
        std::size_t length = 0;
        for (auto item : a) {
            const bool between = side < 0 || length >= sides.size() ||
                                 (side != 0 && sides[length] != 0 && sides[length] != side);
            if (!between && badRow == kNone) {
                std::string_view token;
                if (auto e = item.raw_json_token().get(token)) return e;
                if (!token.empty() && token[0] >= '0' && token[0] <= '9') {
                    m.values.push_back(NAN);
                    ++length;
                    continue;
                }
            }
            double d;
            const error_code e = item.get_double().get(d);
            if (broken(e)) return e;
            if (badRow == kNone) {
                if (e || !std::isfinite(d) || d < 0)
                    badRow = lengths.size();
                else
                    m.values.push_back(d);
            }
            ++length;
        }
        // A square matrix of this row's length, as far as the text can hold
        // one (each value takes two bytes at least).
        if (lengths.empty()) m.values.reserve(std::min(length * length, textSize / 2));
        lengths.push_back(length);
    }
    m.size = lengths.size();
    for (std::size_t i = 0; i < lengths.size(); ++i) {
        if (lengths[i] != m.size) {
            f.why = "is not a square matrix";
            break;
        }
        if (badRow == i) {
            f.why = "holds a value that is not a non-negative number";
            break;
        }
    }
    return simdjson::SUCCESS;
}

// The aligned error by the first of its two names that is there.
bool readPae(MatrixField& pae, MatrixField& alias, const std::string& name, PaeMatrix& out,
             std::string& why) {
    for (const auto& [field, key] :
         {std::pair{&pae, "pae"}, std::pair{&alias, "predicted_aligned_error"}}) {
        if (!field->present) continue;
        if (!field->why.empty()) {
            why = name + ": '" + key + "' " + field->why;
            return false;
        }
        out = std::move(field->matrix);
        return true;
    }
    why = name + ": no 'pae' or 'predicted_aligned_error'";
    return false;
}

bool plddtInRange(const std::vector<double>& values, const std::string& name, const char* key,
                  std::string& why) {
    for (double v : values)
        if (!(v >= 0.0 && v <= 100.0)) {
            why = name + ": '" + key + "' holds a pLDDT outside 0-100";
            return false;
        }
    return true;
}

bool readPlddt(ListField& f, const char* key, const std::string& name,
               std::vector<double>& out, std::string& why) {
    if (!f.present) {
        why = name + ": no '" + key + "'";
        return false;
    }
    if (!f.usable) {
        why = name + ": '" + key + "' is not a list of numbers";
        return false;
    }
    out = std::move(f.values);
    return plddtInRange(out, name, key, why);
}

// A file's aligned error under either name.
bool readAlignedError(const std::string& path, const std::vector<int>& sides, PaeMatrix& out,
                      std::string& why) {
    MatrixField pae, alias;
    return scanJson(path, {"pae", "predicted_aligned_error"},
                    [&](std::size_t key, od::value& v, std::size_t size) {
                        return takeMatrix(v, key == 0 ? pae : alias, size, sides);
                    }, why) &&
           readPae(pae, alias, fileName(path), out, why);
}

bool readColabFold(const PredictorFiles& files, const std::vector<int>& sides,
                   PredictorOutput& out, std::string& why) {
    const std::string name = fileName(files.scores);
    ListField plddt;
    NumberField iptm, ptm;
    MatrixField pae, alias;
    if (!scanJson(files.scores, {"plddt", "iptm", "ptm", "pae", "predicted_aligned_error"},
                  [&](std::size_t key, od::value& v, std::size_t size) {
                      switch (key) {
                          case 0: return takeList(v, plddt);
                          case 1: return takeNumber(v, iptm);
                          case 2: return takeNumber(v, ptm);
                          case 3: return takeMatrix(v, pae, size, sides);
                          default: return takeMatrix(v, alias, size, sides);
                      }
                  }, why))
        return false;
    if (!readPlddt(plddt, "plddt", name, out.tokenPlddt, why)) return false;
    if (!readNumber(iptm, "iptm", out.iptm, why, name) || !readNumber(ptm, "ptm", out.ptm, why, name))
        return false;
    if (pae.present || alias.present || files.alignedError.empty())
        return readPae(pae, alias, name, out.pae, why);
    return readAlignedError(files.alignedError, sides, out.pae, why);
}

// AlphaFold3's chain_pair_iptm: a row per chain, null where a pair has no value.
struct PairRowsField {
    bool present = false;
    std::vector<std::vector<double>> rows;
    std::string why;
};

error_code takePairRows(od::value& v, PairRowsField& f) {
    f.present = true;
    od::array rows;
    if (auto e = v.get_array().get(rows)) {
        if (broken(e)) return e;
        f.why = "is not a list of rows";
        return simdjson::SUCCESS;
    }
    for (auto row : rows) {
        od::array a;
        if (auto e = row.get_array().get(a)) {
            if (broken(e)) return e;
            f.why = "is not a list of rows";
            return simdjson::SUCCESS;
        }
        f.rows.emplace_back();
        for (auto item : a) {
            double d = NAN;
            bool null = false;
            if (auto e = item.is_null().get(null)) return e;
            if (!null) {
                const error_code e = item.get_double().get(d);
                if (broken(e)) return e;
                if (e || !std::isfinite(d)) {
                    f.why = "holds a value that is not a number";
                    return simdjson::SUCCESS;
                }
            }
            f.rows.back().push_back(d);
        }
    }
    return simdjson::SUCCESS;
}

bool readAlphaFold3(const PredictorFiles& files, const std::vector<int>& sides,
                    PredictorOutput& out, std::string& why) {
    {
        const std::string name = fileName(files.scores);
        MatrixField pae, alias;
        ListField plddt;
        if (!scanJson(files.scores, {"pae", "predicted_aligned_error", "atom_plddts"},
                      [&](std::size_t key, od::value& v, std::size_t size) {
                          return key == 2 ? takeList(v, plddt)
                                          : takeMatrix(v, key == 0 ? pae : alias, size, sides);
                      }, why) ||
            !readPae(pae, alias, name, out.pae, why) ||
            !readPlddt(plddt, "atom_plddts", name, out.atomPlddt, why))
            return false;
    }
    const std::string name = fileName(files.summary);
    NumberField iptm, ptm;
    PairRowsField pairs;
    if (!scanJson(files.summary, {"iptm", "ptm", "chain_pair_iptm"},
                  [&](std::size_t key, od::value& v, std::size_t) {
                      return key == 2 ? takePairRows(v, pairs) : takeNumber(v, key == 0 ? iptm : ptm);
                  }, why) ||
        !readNumber(iptm, "iptm", out.iptm, why, name) || !readNumber(ptm, "ptm", out.ptm, why, name))
        return false;
    if (!pairs.why.empty()) {
        why = name + ": 'chain_pair_iptm' " + pairs.why;
        return false;
    }
    out.pairIptm = std::move(pairs.rows);
    return true;
}

// Boltz's pair_chains_iptm: an object of objects keyed by chain order as
// text ("0", "1", ...), each key's first occurrence kept.
struct ChainPairsField {
    bool present = false;  // and an object
    std::size_t size = 0;  // its fields, as many chains
    std::map<std::string, std::optional<std::map<std::string, NumberField>>> rows;
};

error_code takeChainPairs(od::value& v, ChainPairsField& f) {
    od::object pairs;
    if (auto e = v.get_object().get(pairs)) return broken(e) ? e : simdjson::SUCCESS;
    f.present = true;
    for (auto field : pairs) {
        od::field row;
        std::string_view key;
        if (auto e = std::move(field).get(row)) return e;
        if (auto e = row.unescaped_key().get(key)) return e;
        ++f.size;
        if (f.rows.count(std::string(key))) continue;
        auto& kept = f.rows[std::string(key)];
        od::object values;
        if (auto e = row.value().get_object().get(values)) {
            if (broken(e)) return e;
            continue;
        }
        kept.emplace();
        for (auto item : values) {
            od::field value;
            std::string_view chain;
            if (auto e = std::move(item).get(value)) return e;
            if (auto e = value.unescaped_key().get(chain)) return e;
            if (kept->count(std::string(chain))) continue;
            if (auto e = takeNumber(value.value(), (*kept)[std::string(chain)])) return e;
        }
    }
    return simdjson::SUCCESS;
}

bool readBoltz(const PredictorFiles& files, PredictorOutput& out, std::string& why) {
    NpyArray pae;
    if (!readNpzArray(files.scores, "pae", pae, why)) {
        why = fileName(files.scores) + ": " + why;
        return false;
    }
    if (pae.shape.size() != 2 || pae.shape[0] != pae.shape[1]) {
        why = fileName(files.scores) + ": 'pae' is not a square matrix";
        return false;
    }
    for (double v : pae.values)
        if (!(v >= 0.0) || !std::isfinite(v)) {
            why = fileName(files.scores) + ": 'pae' holds a value that is not a non-negative number";
            return false;
        }
    out.pae.size = pae.shape[0];
    out.pae.values = std::move(pae.values);
    NpyArray plddt;
    if (!readNpzArray(files.plddt, "plddt", plddt, why)) {
        why = fileName(files.plddt) + ": " + why;
        return false;
    }
    if (plddt.shape.size() != 1) {
        why = fileName(files.plddt) + ": 'plddt' is not a list";
        return false;
    }
    for (double v : plddt.values) out.tokenPlddt.push_back(v * 100.0);
    if (!plddtInRange(out.tokenPlddt, fileName(files.plddt), "plddt", why)) return false;

    const std::string name = fileName(files.summary);
    NumberField iptm, ptm;
    ChainPairsField pairs;
    if (!scanJson(files.summary, {"iptm", "ptm", "pair_chains_iptm"},
                  [&](std::size_t key, od::value& v, std::size_t) {
                      return key == 2 ? takeChainPairs(v, pairs) : takeNumber(v, key == 0 ? iptm : ptm);
                  }, why) ||
        !readNumber(iptm, "iptm", out.iptm, why, name) || !readNumber(ptm, "ptm", out.ptm, why, name))
        return false;
    if (pairs.present) {
        const std::size_t n = pairs.size;
        out.pairIptm.assign(n, std::vector<double>(n, NAN));
        for (std::size_t i = 0; i < n; ++i) {
            const auto row = pairs.rows.find(std::to_string(i));
            if (row == pairs.rows.end() || !row->second) {
                why = name + ": 'pair_chains_iptm' lacks chain " + std::to_string(i);
                return false;
            }
            for (std::size_t j = 0; j < n; ++j) {
                const auto value = row->second->find(std::to_string(j));
                if (value == row->second->end() || !value->second.usable) {
                    why = name + ": 'pair_chains_iptm' lacks a number for chains " +
                          std::to_string(i) + " and " + std::to_string(j);
                    return false;
                }
                out.pairIptm[i][j] = value->second.value;
            }
        }
    }
    return true;
}

}  // namespace

PredictorFiles findPredictorFiles(const std::string& path) {
    // Each predictor's structure names (X_model_N.cif is Boltz's, or the
    // AlphaFold3 server's with fold_ before it).
    static const std::regex kServer(R"(fold_(.+)_model_(\d+)\.cif)");
    static const std::regex kBoltz(R"((.+)_model_(\d+)\.cif)");
    static const std::regex kAlphaFold3(R"((.+)_model\.cif)");
    static const std::regex kColabFold(R"((.+)_(?:unrelaxed|relaxed)_(rank_\d+_(.+))\.(?:pdb|cif))");
    PredictorFiles f;
    const fs::path p(path);
    const std::string dir = p.parent_path().string();
    const auto at = [&](const std::string& name) {
        return dir.empty() ? name : (fs::path(dir) / name).string();
    };
    std::string base = p.filename().string();
    if (base.size() > 3 && base.compare(base.size() - 3, 3, ".gz") == 0)
        base.resize(base.size() - 3);
    std::smatch m;
    // Each scheme by its main confidence file; the first that is there wins.
    const auto tryScheme = [&](const char* predictor, const std::string& scores,
                               const std::string& summary, const std::string& plddt) {
        if (!f.predictor.empty()) return;
        f.lookedFor.push_back(fileName(scores));
        if (!summary.empty()) f.lookedFor.push_back(fileName(summary));
        if (!plddt.empty()) f.lookedFor.push_back(fileName(plddt));
        if (!exists(scores) || (!summary.empty() && !exists(summary)) ||
            (!plddt.empty() && !exists(plddt)))
            return;
        f.predictor = predictor;
        f.scores = scores;
        f.summary = summary;
        f.plddt = plddt;
    };
    if (std::regex_match(base, m, kServer))
        tryScheme("alphafold3", at("fold_" + m[1].str() + "_full_data_" + m[2].str() + ".json"),
                  at("fold_" + m[1].str() + "_summary_confidences_" + m[2].str() + ".json"), "");
    if (std::regex_match(base, m, kBoltz)) {
        const std::string stem = m[1].str() + "_model_" + m[2].str();
        tryScheme("boltz", at("pae_" + stem + ".npz"), at("confidence_" + stem + ".json"),
                  at("plddt_" + stem + ".npz"));
    }
    if (base == "model.cif")
        tryScheme("alphafold3", at("confidences.json"), at("summary_confidences.json"), "");
    else if (std::regex_match(base, m, kAlphaFold3))
        tryScheme("alphafold3", at(m[1].str() + "_confidences.json"),
                  at(m[1].str() + "_summary_confidences.json"), "");
    if (std::regex_match(base, m, kColabFold)) {
        tryScheme("colabfold", at(m[1].str() + "_scores_" + m[2].str() + ".json"), "", "");
        const std::string alignedError = at(m[1].str() + "_predicted_aligned_error_v1.json");
        if (f.predictor == "colabfold" && exists(alignedError)) f.alignedError = alignedError;
        for (const std::string& pickle :
             {at(m[1].str() + "_all_" + m[2].str() + ".pickle"), at("result_" + m[3].str() + ".pkl")})
            if (exists(pickle)) f.unread = fileName(pickle);
    }
    return f;
}

bool tokenPerAtom(const std::string& predictor) {
    return predictor == "alphafold3" || predictor == "boltz";
}

bool readPredictorOutput(const PredictorFiles& files, PredictorOutput& out, std::string& why,
                         const std::vector<int>& tokenSides) {
    out = PredictorOutput{};
    out.predictor = files.predictor;
    out.atomTokens = tokenPerAtom(files.predictor);
    if (files.predictor == "colabfold") return readColabFold(files, tokenSides, out, why);
    if (files.predictor == "alphafold3") return readAlphaFold3(files, tokenSides, out, why);
    if (files.predictor == "boltz") return readBoltz(files, out, why);
    why = "no confidence files";
    return false;
}
