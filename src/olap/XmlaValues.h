// Values in XMLA replies are XML Schema texts typed by an xsi:type attribute (cells) or by the
// reply's inline schema (rowset columns, member properties). This turns them into the program's
// Variants. A text that does not read as its declared type is kept as text rather than failing
// the whole reply: servers write locale-formatted numbers where a canonical one belongs, and a
// report would rather show the text than nothing.
#pragma once

#include <string>
#include <string_view>

#include "data/Variant.h"

namespace orvik::xmla {

// The Variant type for an XML Schema type name, with or without prefix ("xsd:int", "int");
// String for names it does not know.
VariantType XsdType(std::string_view typeName);

// `text` as a value of `type`; a String when it does not read as one.
Variant XsdValue(std::string_view text, VariantType type);

// An element name with the _xHHHH_ escapes servers use for characters an XML name cannot hold
// ("_x005B_Measures_x005D_" is "[Measures]") turned back into those characters.
std::string DecodeXmlName(std::string_view name);

}  // namespace orvik::xmla
