// Numbers worked out inside texts: a text property may carry formulas between tildes
// ("Largest: ~fGetColMaxValue(1)~"), which PGetParsedValue replaces by their results, and a plug-in
// may have one stand-alone expression evaluated. The arithmetic is muParser's; the program adds
// fGetPrmText, fGetGridText, fFloorDec and fGetColMaxValue, which read the property bar's
// properties and the shown sheet's result.
#pragma once

#include <string>

class COvInfoProp;
class CSheetView;
namespace orvik {
class Run;
}

// The value of the numeric `expression` formatted with "%f" (variable sRet, 0, is defined). An
// expression the parser rejects shows "Parser Error: <reason>" through `run` and gives "", so a
// caller never mistakes a failure for a number; a null expression gives "" without a message.
std::string ParseValue(orvik::Run& run, const char* expression);

// The value of `prop` with every formula between tildes replaced by its result, for showing in
// `view` (whose sheet's data source the formulas read; null: none). Values of other kinds than
// PropKind::Text, and values without "~", come back unchanged. Parser errors are shown.
std::string PGetParsedValue(orvik::Run& run, const COvInfoProp& prop, CSheetView* view);
