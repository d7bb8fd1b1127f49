// Numbers worked out inside texts: a text property may carry formulas between tildes
// ("Largest: ~fGetColMaxValue(1)~"), which COvInfoProp::PGetParsedValue (defined in Formula.cpp)
// replaces by their results, and a plug-in may have one stand-alone expression evaluated. The
// arithmetic is muParser's; the program adds fGetPrmText, fGetGridText, fFloorDec and
// fGetColMaxValue, which read the property bar's properties and the shown sheet's result.
#pragma once

#include <string>

#include "orvik/PlugInApi.h"

// ParseValue(expression), declared with the plug-in interface: the value of the numeric
// `expression` formatted with "%f" (variable sRet, 0, is defined). An expression the parser
// rejects shows "Parser Error: <reason>" and gives "", so a caller never mistakes a failure for a
// number; a null expression gives "" without a message.
