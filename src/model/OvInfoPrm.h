// A parameter: a named value substituted into queries and texts, shown in the page's parameter
// panel with its own layout (border, colours, font).
#pragma once

#include <string>

#include "model/OvInfoObject.h"

class COvInfoPrm : public COvInfoObject {
  public:
    explicit COvInfoPrm(int group);

    void ShowProp();

    // Prepares the value property for the parameter's type and builds the list it offers: a date
    // for "date"; for "rprop" the value is bound to the property its cprop reference names; a
    // list of the cmbels elements for "pcmb" types; tables, columns and distinct values of a data
    // source for "DScmb". `bShow` refreshes the property bar. (Defined with the value lists.)
    void WraperParam(bool bShow);

    // Appends the parameter's panel (a one-row table: title and value) to `out`. (Defined with the
    // page rendering.)
    void MakeHTML(std::string& out) const;

    COvInfoProp Name, Type, PrmVal, Tit, bVis;
    int LayoutGroup;  // the parameter's own "Param Layout" property group
};
