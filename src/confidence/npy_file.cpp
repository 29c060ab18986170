#include "confidence/npy_file.h"

#include <zip.h>

#include <cstdint>
#include <cstring>
#include <memory>

namespace {

struct ZipCloser {
    void operator()(zip_t* z) const { zip_discard(z); }
};
struct ZipFileCloser {
    void operator()(zip_file_t* f) const { zip_fclose(f); }
};

std::string trim(const std::string& s) {
    const std::size_t b = s.find_first_not_of(" ");
    if (b == std::string::npos) return "";
    return s.substr(b, s.find_last_not_of(" ") - b + 1);
}

// The header dictionary, e.g. "{'descr': '<f4', 'fortran_order': False, 'shape': (209, 209), }":
// exactly these three keys, each once.
bool parseHeader(const std::string& text, std::string& descr, bool& fortran,
                 std::vector<std::size_t>& shape, std::string& why) {
    std::string t = trim(text);
    while (!t.empty() && (t.back() == '\n' || t.back() == ' ')) t.pop_back();
    if (t.size() < 2 || t.front() != '{' || t.back() != '}') {
        why = "the .npy header is not a dictionary";
        return false;
    }
    std::size_t pos = 1;
    int seen = 0;
    bool haveDescr = false, haveFortran = false, haveShape = false;
    const auto skipSpaces = [&] {
        while (pos < t.size() && t[pos] == ' ') ++pos;
    };
    for (;;) {
        skipSpaces();
        if (pos < t.size() && t[pos] == '}') break;
        if (pos >= t.size() || t[pos] != '\'') {
            why = "the .npy header is malformed";
            return false;
        }
        const std::size_t end = t.find('\'', pos + 1);
        if (end == std::string::npos) {
            why = "the .npy header is malformed";
            return false;
        }
        const std::string key = t.substr(pos + 1, end - pos - 1);
        pos = end + 1;
        skipSpaces();
        if (pos >= t.size() || t[pos] != ':') {
            why = "the .npy header is malformed";
            return false;
        }
        ++pos;
        skipSpaces();
        if (key == "descr" && !haveDescr) {
            const std::size_t close = pos < t.size() && t[pos] == '\'' ? t.find('\'', pos + 1)
                                                                      : std::string::npos;
            if (close == std::string::npos) {
                why = "the .npy header's descr is malformed";
                return false;
            }
            descr = t.substr(pos + 1, close - pos - 1);
            pos = close + 1;
            haveDescr = true;
        } else if (key == "fortran_order" && !haveFortran) {
            if (t.compare(pos, 5, "False") == 0) {
                fortran = false;
                pos += 5;
            } else if (t.compare(pos, 4, "True") == 0) {
                fortran = true;
                pos += 4;
            } else {
                why = "the .npy header's fortran_order is malformed";
                return false;
            }
            haveFortran = true;
        } else if (key == "shape" && !haveShape) {
            if (pos >= t.size() || t[pos] != '(') {
                why = "the .npy header's shape is malformed";
                return false;
            }
            const std::size_t close = t.find(')', pos);
            if (close == std::string::npos) {
                why = "the .npy header's shape is malformed";
                return false;
            }
            const std::string inside = t.substr(pos + 1, close - pos - 1);
            std::size_t p = 0;
            while (p < inside.size()) {
                while (p < inside.size() && inside[p] == ' ') ++p;
                if (p >= inside.size()) break;
                std::size_t q = p;
                while (q < inside.size() && inside[q] >= '0' && inside[q] <= '9') ++q;
                if (q == p || q - p > 12) {
                    why = "the .npy header's shape is malformed";
                    return false;
                }
                shape.push_back(std::stoull(inside.substr(p, q - p)));
                while (q < inside.size() && inside[q] == ' ') ++q;
                if (q < inside.size() && inside[q] != ',') {
                    why = "the .npy header's shape is malformed";
                    return false;
                }
                p = q + 1;
            }
            pos = close + 1;
            haveShape = true;
        } else {
            why = "the .npy header has an unknown or repeated key '" + key + "'";
            return false;
        }
        ++seen;
        skipSpaces();
        if (pos < t.size() && t[pos] == ',') ++pos;
    }
    if (!haveDescr || !haveFortran || !haveShape) {
        why = "the .npy header lacks descr, fortran_order or shape";
        return false;
    }
    return seen == 3;
}

}  // namespace

bool parseNpy(const std::string& bytes, NpyArray& out, std::string& why) {
    out = NpyArray{};
    static const char kMagic[] = "\x93NUMPY";
    if (bytes.size() < 10 || bytes.compare(0, 6, kMagic, 6) != 0) {
        why = "not a .npy array";
        return false;
    }
    const auto major = static_cast<unsigned char>(bytes[6]);
    std::size_t headerLength = 0, start = 0;
    if (major == 1) {
        headerLength = static_cast<unsigned char>(bytes[8]) |
                       static_cast<std::size_t>(static_cast<unsigned char>(bytes[9])) << 8;
        start = 10;
    } else if (major == 2 || major == 3) {
        if (bytes.size() < 12) {
            why = "a truncated .npy header";
            return false;
        }
        for (int k = 3; k >= 0; --k)
            headerLength = headerLength << 8 | static_cast<unsigned char>(bytes[8 + k]);
        start = 12;
    } else {
        why = "a .npy version " + std::to_string(major) + " array";
        return false;
    }
    if (bytes.size() - start < headerLength) {
        why = "a truncated .npy header";
        return false;
    }
    std::string descr;
    bool fortran = false;
    if (!parseHeader(bytes.substr(start, headerLength), descr, fortran, out.shape, why))
        return false;
    if (descr != "<f4" && descr != "<f8") {
        why = "a .npy array of " + descr + ", not little-endian float32 or float64";
        return false;
    }
    if (fortran) {
        why = "a .npy array in Fortran order";
        return false;
    }
    if (out.shape.empty() || out.shape.size() > 2) {
        why = "a .npy array of " + std::to_string(out.shape.size()) + " dimensions";
        return false;
    }
    std::size_t count = 1;
    for (std::size_t n : out.shape) {
        if (n != 0 && count > (std::size_t(1) << 40) / n) {
            why = "a .npy array too large";
            return false;
        }
        count *= n;
    }
    const std::size_t width = descr == "<f4" ? 4 : 8;
    const std::size_t data = start + headerLength;
    if ((bytes.size() - data) != count * width) {
        why = "a .npy array of " + std::to_string(count * width) + " bytes holding " +
              std::to_string(bytes.size() - data);
        return false;
    }
    out.values.resize(count);
    const char* p = bytes.data() + data;
    for (std::size_t i = 0; i < count; ++i) {
        if (width == 4) {
            float f;
            std::memcpy(&f, p + i * 4, 4);
            out.values[i] = f;
        } else {
            std::memcpy(&out.values[i], p + i * 8, 8);
        }
    }
    return true;
}

bool readNpzArray(const std::string& path, const std::string& name, NpyArray& out,
                  std::string& why) {
    int error = 0;
    std::unique_ptr<zip_t, ZipCloser> archive(zip_open(path.c_str(), ZIP_RDONLY, &error));
    if (!archive) {
        zip_error_t ze;
        zip_error_init_with_code(&ze, error);
        why = std::string("not a readable .npz archive (") + zip_error_strerror(&ze) + ")";
        zip_error_fini(&ze);
        return false;
    }
    const std::string member = name + ".npy";
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat(archive.get(), member.c_str(), 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE)) {
        why = "no array '" + name + "' in the archive";
        return false;
    }
    std::unique_ptr<zip_file_t, ZipFileCloser> file(zip_fopen(archive.get(), member.c_str(), 0));
    if (!file || st.size > (std::uint64_t(1) << 40)) {
        why = "the array '" + name + "' cannot be read";
        return false;
    }
    std::string bytes(static_cast<std::size_t>(st.size), '\0');
    const zip_int64_t got = zip_fread(file.get(), bytes.data(), bytes.size());
    if (got < 0 || static_cast<std::uint64_t>(got) != st.size) {
        why = "the array '" + name + "' is truncated or corrupt";
        return false;
    }
    if (!parseNpy(bytes, out, why)) {
        why = "array '" + name + "': " + why;
        return false;
    }
    return true;
}
