#include "confidence/predictor_files.h"

#include "common/text_file.h"
#include "confidence/npy_file.h"

#include <simdjson.h>

#include <cmath>
#include <filesystem>
#include <regex>

namespace fs = std::filesystem;

namespace {

bool exists(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

std::string fileName(const std::string& path) { return fs::path(path).filename().string(); }

// A JSON document read in one pass. The parser and the buffer of the file
// are kept per thread and reused from one file to the next: a batch of
// predictions pays for their memory once, not per file (the first touch of
// fresh memory costs more than the parse itself). One document per thread
// at a time: a JsonFile's values are read before the next is loaded.
struct JsonBuffers {
    simdjson::dom::parser parser;
    std::string text;  // the file, with simdjson's padding beyond its size
};

// Memory kept for the next file at most; a larger document's goes with it.
constexpr std::size_t kKeptBytes = std::size_t(1) << 29;

struct JsonFile {
    simdjson::dom::object root;
};

bool loadJson(const std::string& path, JsonFile& json, std::string& why) {
    thread_local std::unique_ptr<JsonBuffers> kept;
    if (kept && kept->text.capacity() > kKeptBytes) kept.reset();
    if (!kept) kept = std::make_unique<JsonBuffers>();
    const std::string name = fileName(path);
    std::string& text = kept->text;
    {
        File f = openFile(path, "rb");
        std::error_code ec;
        const std::uintmax_t size = fs::file_size(path, ec);
        if (!f || ec) {
            why = name + ": cannot be read";
            return false;
        }
        text.resize(static_cast<std::size_t>(size) + simdjson::SIMDJSON_PADDING);
        const std::size_t got = std::fread(text.data(), 1, static_cast<std::size_t>(size), f.get());
        if (got != size || std::ferror(f.get())) {
            why = name + ": cannot be read";
            return false;
        }
        text.resize(got);
        text.reserve(got + simdjson::SIMDJSON_PADDING);
    }
    simdjson::dom::element doc;
    if (auto error = kept->parser.parse(text.data(), text.size(), false).get(doc)) {
        why = name + ": malformed or truncated JSON (" + simdjson::error_message(error) + ")";
        return false;
    }
    // The AlphaFold database's aligned-error file is a list holding one object.
    simdjson::dom::array list;
    if (!doc.get_array().get(list) && list.size() == 1) doc = list.at(0).value_unsafe();
    if (doc.get_object().get(json.root)) {
        why = name + ": the JSON is not an object";
        return false;
    }
    return true;
}

bool has(const JsonFile& json, const char* key) { return !json.root[key].error(); }

// A number of the file; false when the key is there but holds no number.
bool readNumber(const JsonFile& json, const char* key, double& value, std::string& why,
                const std::string& name) {
    simdjson::dom::element e;
    if (json.root[key].get(e)) return true;
    if (e.get_double().get(value) || !std::isfinite(value)) {
        why = name + ": '" + key + "' is not a number";
        return false;
    }
    return true;
}

bool readVector(simdjson::dom::element e, std::vector<double>& out) {
    simdjson::dom::array a;
    if (e.get_array().get(a)) return false;
    out.clear();
    out.reserve(a.size());
    for (simdjson::dom::element v : a) {
        double d;
        if (v.get_double().get(d) || !std::isfinite(d)) return false;
        out.push_back(d);
    }
    return true;
}

// A square matrix of numbers; false with the problem in `why`.
bool readMatrix(simdjson::dom::element e, PaeMatrix& m, std::string& why) {
    simdjson::dom::array rows;
    if (e.get_array().get(rows)) {
        why = "is not a list of rows";
        return false;
    }
    m.size = rows.size();
    m.values.clear();
    m.values.reserve(m.size * m.size);
    for (simdjson::dom::element row : rows) {
        simdjson::dom::array a;
        if (row.get_array().get(a) || a.size() != m.size) {
            why = "is not a square matrix";
            return false;
        }
        for (simdjson::dom::element v : a) {
            double d;
            if (v.get_double().get(d) || !std::isfinite(d) || d < 0) {
                why = "holds a value that is not a non-negative number";
                return false;
            }
            m.values.push_back(d);
        }
    }
    return true;
}

bool readPae(const JsonFile& json, const std::string& name, PaeMatrix& pae, std::string& why) {
    for (const char* key : {"pae", "predicted_aligned_error"}) {
        simdjson::dom::element e;
        if (json.root[key].get(e)) continue;
        if (!readMatrix(e, pae, why)) {
            why = name + ": '" + key + "' " + why;
            return false;
        }
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

bool readPlddtKey(const JsonFile& json, const char* key, const std::string& name,
                  std::vector<double>& out, std::string& why) {
    simdjson::dom::element e;
    if (json.root[key].get(e)) {
        why = name + ": no '" + key + "'";
        return false;
    }
    if (!readVector(e, out)) {
        why = name + ": '" + key + "' is not a list of numbers";
        return false;
    }
    return plddtInRange(out, name, key, why);
}

bool readColabFold(const PredictorFiles& files, PredictorOutput& out, std::string& why) {
    JsonFile json;
    const std::string name = fileName(files.scores);
    if (!loadJson(files.scores, json, why)) return false;
    if (!readPlddtKey(json, "plddt", name, out.tokenPlddt, why)) return false;
    if (!readNumber(json, "iptm", out.iptm, why, name) || !readNumber(json, "ptm", out.ptm, why, name))
        return false;
    if (has(json, "pae") || has(json, "predicted_aligned_error") || files.alignedError.empty())
        return readPae(json, name, out.pae, why);
    JsonFile error;
    return loadJson(files.alignedError, error, why) &&
           readPae(error, fileName(files.alignedError), out.pae, why);
}

bool readAlphaFold3(const PredictorFiles& files, PredictorOutput& out, std::string& why) {
    out.atomTokens = true;
    {
        JsonFile json;
        const std::string name = fileName(files.scores);
        if (!loadJson(files.scores, json, why) || !readPae(json, name, out.pae, why) ||
            !readPlddtKey(json, "atom_plddts", name, out.atomPlddt, why))
            return false;
    }
    JsonFile summary;
    const std::string name = fileName(files.summary);
    if (!loadJson(files.summary, summary, why) || !readNumber(summary, "iptm", out.iptm, why, name) ||
        !readNumber(summary, "ptm", out.ptm, why, name))
        return false;
    simdjson::dom::element e;
    if (!summary.root["chain_pair_iptm"].get(e)) {
        simdjson::dom::array rows;
        if (e.get_array().get(rows)) {
            why = name + ": 'chain_pair_iptm' is not a list of rows";
            return false;
        }
        for (simdjson::dom::element row : rows) {
            out.pairIptm.emplace_back();
            // A chain without a pair value (null) keeps no number.
            simdjson::dom::array a;
            if (row.get_array().get(a)) {
                why = name + ": 'chain_pair_iptm' is not a list of rows";
                return false;
            }
            for (simdjson::dom::element v : a) {
                double d = NAN;
                if (!v.is_null() && (v.get_double().get(d) || !std::isfinite(d))) {
                    why = name + ": 'chain_pair_iptm' holds a value that is not a number";
                    return false;
                }
                out.pairIptm.back().push_back(d);
            }
        }
    }
    return true;
}

bool readBoltz(const PredictorFiles& files, PredictorOutput& out, std::string& why) {
    out.atomTokens = true;
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

    JsonFile json;
    const std::string name = fileName(files.summary);
    if (!loadJson(files.summary, json, why) || !readNumber(json, "iptm", out.iptm, why, name) ||
        !readNumber(json, "ptm", out.ptm, why, name))
        return false;
    simdjson::dom::object pairs;
    if (!json.root["pair_chains_iptm"].get(pairs)) {
        // Keyed by chain order as text: "0", "1", ...
        const std::size_t n = pairs.size();
        out.pairIptm.assign(n, std::vector<double>(n, NAN));
        for (std::size_t i = 0; i < n; ++i) {
            simdjson::dom::object row;
            if (pairs[std::to_string(i)].get(row)) {
                why = name + ": 'pair_chains_iptm' lacks chain " + std::to_string(i);
                return false;
            }
            for (std::size_t j = 0; j < n; ++j) {
                double d;
                if (row[std::to_string(j)].get_double().get(d) || !std::isfinite(d)) {
                    why = name + ": 'pair_chains_iptm' lacks a number for chains " +
                          std::to_string(i) + " and " + std::to_string(j);
                    return false;
                }
                out.pairIptm[i][j] = d;
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

bool readPredictorOutput(const PredictorFiles& files, PredictorOutput& out, std::string& why) {
    out = PredictorOutput{};
    out.predictor = files.predictor;
    if (files.predictor == "colabfold") return readColabFold(files, out, why);
    if (files.predictor == "alphafold3") return readAlphaFold3(files, out, why);
    if (files.predictor == "boltz") return readBoltz(files, out, why);
    why = "no confidence files";
    return false;
}
