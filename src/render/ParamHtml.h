// The panel a parameter shows on the page: a one-row table of its title and its value, in the
// parameter's own border, colours and font.
#pragma once

#include <string>

class COvInfoPrm;
class CReport;

// Appends `prm`'s panel, numbered after its place in `report`'s parameters, to `out`.
void MakeParamHTML(const CReport& report, const COvInfoPrm& prm, std::string& out);
