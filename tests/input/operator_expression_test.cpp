// The operator expressions of mmCIF assemblies: every product of the lists,
// the first list's operator applied last, and a reason for an expression
// that names no operator or makes too many copies.
#include "input/operator_expression.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct ExpressionCase {
    const char* expression;
    std::vector<std::string> copies;  // the products' names, in order; empty: refused
    const char* why;                  // the reason when refused
};

const ExpressionCase kCases[] = {
    {"1", {"1"}, ""},
    {"1,2", {"1", "2"}, ""},
    {"(1-3)", {"1", "2", "3"}, ""},
    {"(1,2,5-6,XY)", {"1", "2", "5", "6", "XY"}, ""},
    {"(1)(2)", {"1x2"}, ""},
    {"(1,3)(1,2)", {"1x1", "1x2", "3x1", "3x2"}, ""},
    {"(X0)(1-3)", {"X0x1", "X0x2", "X0x3"}, ""},
    {" (1) (2)(3) ", {"1x2x3"}, ""},
    {"()", {}, "operator expression '()' names no operator"},
    {"", {}, "operator expression '' names no operator"},
    {"(1,,2)", {}, "operator expression '(1,,2)' names no operator between two commas"},
    {"(1)(", {}, "operator expression '(1)(' is not a list or a product of parenthesised lists"},
    {"(1)x(2)", {}, "operator expression '(1)x(2)' is not a list or a product of parenthesised lists"},
    {"(3-1)", {}, "operator expression '(3-1)': the range 3-1 runs backwards"},
    {"(1-60)(1-60)(1-60)", {}, "operator expression '(1-60)(1-60)(1-60)' makes more than 100000 copies"},
    {"(1-999999999)", {}, "operator expression '(1-999999999)' makes more than 100000 copies"},
};

class OperatorExpressionTest : public ::testing::TestWithParam<ExpressionCase> {};

TEST_P(OperatorExpressionTest, GivesEveryProductOrTheReason) {
    const ExpressionCase& c = GetParam();
    std::vector<OperatorProduct> products;
    std::string why;
    const bool read = parseOperatorExpression(c.expression, products, why);
    EXPECT_EQ(read, !c.copies.empty()) << why;
    std::vector<std::string> names;
    for (const OperatorProduct& p : products) names.push_back(productName(p));
    if (read) {
        EXPECT_EQ(names, c.copies);
    } else {
        EXPECT_EQ(why, c.why);
    }
}

INSTANTIATE_TEST_SUITE_P(Expressions, OperatorExpressionTest, ::testing::ValuesIn(kCases));

}  // namespace
