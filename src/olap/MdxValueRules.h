// How the evaluator reads and compares values: the truth of a value, a value as a number or as
// text, the order of values, and the flags function calls take. Shared by the parts of the
// evaluator (expressions, set functions, cells), kept in one place so they agree.
#pragma once

#include <functional>
#include <string>

#include "olap/CellFetcher.h"
#include "olap/MdxAst.h"
#include "olap/MdxEvaluator.h"

namespace orvik::cube::mdxvalue {

// A single bare word used as a flag argument (PRE, POST, DESC, SELF_AND_AFTER, ...), lower-cased;
// "" for anything else.
std::string Flag(const mdx::Expr& expr);

// Values of each type.
MdxValue Number(double value, bool integer = false);
MdxValue Text(std::string text);
MdxValue Truth(bool value);

// The truth of a value: empty is false, a text is true when it holds anything.
bool IsTrue(const MdxValue& value);
// A value as a number (empty is 0, a text is read as one).
double AsNumber(const MdxValue& value);
// A value as text; a number in plain digits.
std::string AsText(const MdxValue& value);
// Orders values: empty first, then numbers, then strings; <0, 0 or >0.
int Compare(const MdxValue& a, const MdxValue& b);

// Order's ASC and DESC: keeps the hierarchy, ranking members among their siblings by the values
// `keyOf` gives.
TupleList OrderHierarchically(TupleList set, const std::function<MdxValue(const Tuple&)>& keyOf,
                              bool descending);

}  // namespace orvik::cube::mdxvalue
