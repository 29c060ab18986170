// The operator expressions of mmCIF assemblies (_pdbx_struct_assembly_gen.
// oper_expression): "1", "1,2", "(1-60)", "(X0)(1-60)", "(1,3)(1,2)".
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// One copy an expression asks for: the operator ids of a product, first
// factor first. The product applies the last factor's operator first and
// the first factor's last, so that "(1,3)(1,2)" makes 1x1, 1x2, 3x1, 3x2.
using OperatorProduct = std::vector<std::string>;

// The copies one generator row may make, at most: an icosahedral entry
// asks for 60 per chain, a helical one a few hundred.
constexpr std::size_t kMaxOperatorProducts = 100000;

// The products of `expression`, in the order above: every operator of the
// first list after every operator of the second, and so on; a list of one
// factor needs no parentheses ("1,2"). A range "a-b" of whole numbers
// stands for a, a+1, ..., b. False, with the reason in `why`, for an
// expression that names no operator (empty, "()", an empty name between
// commas), a parenthesis left open, a range that runs backwards, or more
// than kMaxOperatorProducts products.
bool parseOperatorExpression(const std::string& expression, std::vector<OperatorProduct>& products,
                             std::string& why);

// A product as the copies are named: "2", "1x2".
std::string productName(const OperatorProduct& product);
