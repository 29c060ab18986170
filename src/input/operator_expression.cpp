#include "input/operator_expression.h"

#include <cstdlib>

namespace {

// A whole number of digits only, as a range's ends are written.
bool wholeNumber(const std::string& text, long& value) {
    if (text.empty() || text.size() > 9) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    value = std::strtol(text.c_str(), nullptr, 10);
    return true;
}

std::string trimmed(const std::string& text) {
    const std::size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) return "";
    return text.substr(begin, text.find_last_not_of(" \t") - begin + 1);
}

// One factor, the text between parentheses: names and ranges, by commas.
bool parseFactor(const std::string& text, const std::string& expression,
                 std::vector<std::string>& ids, std::string& why) {
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        const std::string item = trimmed(text.substr(start, comma == std::string::npos
                                                                ? std::string::npos
                                                                : comma - start));
        if (item.empty()) {
            why = "operator expression '" + expression + "' names no operator" +
                  (text.find(',') == std::string::npos ? "" : " between two commas");
            return false;
        }
        const std::size_t dash = item.find('-');
        long low = 0, high = 0;
        if (dash != std::string::npos && wholeNumber(trimmed(item.substr(0, dash)), low) &&
            wholeNumber(trimmed(item.substr(dash + 1)), high)) {
            if (high < low) {
                why = "operator expression '" + expression + "': the range " + item +
                      " runs backwards";
                return false;
            }
            if (static_cast<std::size_t>(high - low) >= kMaxOperatorProducts) {
                why = "operator expression '" + expression + "' makes more than " +
                      std::to_string(kMaxOperatorProducts) + " copies";
                return false;
            }
            for (long n = low; n <= high; ++n) ids.push_back(std::to_string(n));
        } else {
            ids.push_back(item);
        }
        if (comma == std::string::npos) return true;
        start = comma + 1;
    }
}

}  // namespace

bool parseOperatorExpression(const std::string& expression, std::vector<OperatorProduct>& products,
                             std::string& why) {
    products.clear();
    const std::string text = trimmed(expression);
    std::vector<std::vector<std::string>> factors;
    if (text.empty() || text[0] != '(') {
        factors.emplace_back();
        if (!parseFactor(text, expression, factors.back(), why)) return false;
    } else {
        std::size_t at = 0;
        while (at < text.size()) {
            if (text[at] == ' ' || text[at] == '\t') {
                ++at;
                continue;
            }
            const std::size_t close = text.find(')', at);
            if (text[at] != '(' || close == std::string::npos) {
                why = "operator expression '" + expression +
                      "' is not a list or a product of parenthesised lists";
                return false;
            }
            factors.emplace_back();
            if (!parseFactor(text.substr(at + 1, close - at - 1), expression, factors.back(), why))
                return false;
            at = close + 1;
        }
    }
    std::size_t count = 1;
    for (const auto& f : factors) {
        if (count > kMaxOperatorProducts / f.size()) {
            why = "operator expression '" + expression + "' makes more than " +
                  std::to_string(kMaxOperatorProducts) + " copies";
            return false;
        }
        count *= f.size();
    }
    // The first factor varies slowest: 1x1, 1x2, 3x1, 3x2.
    products.assign(1, OperatorProduct{});
    for (const auto& f : factors) {
        std::vector<OperatorProduct> longer;
        longer.reserve(products.size() * f.size());
        for (const OperatorProduct& p : products)
            for (const std::string& id : f) {
                longer.push_back(p);
                longer.back().push_back(id);
            }
        products = std::move(longer);
    }
    return true;
}

std::string productName(const OperatorProduct& product) {
    std::string name;
    for (const std::string& id : product) name += (name.empty() ? "" : "x") + id;
    return name;
}
