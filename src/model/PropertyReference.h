// References from a parameter to another property of the report, stored as text in braces:
// {D.d.p} is property p of data source d, {S.s.p} property p of sheet s, {C.s.c.p} property p of
// grid column set c of sheet s, every number counted from 1 in array order. Inserting an object
// before the target changes what a stored reference means; the format is kept as it is because
// existing report files use it.
#pragma once

#include <string>
#include <string_view>

class COvInfoProp;
class CReport;

// The reference text of `target` ("{S.2.5}"), searching data sources first, then sheets and their
// column sets; "" when the property belongs to no object of the report.
std::string FormatPropertyReference(const CReport& report, const COvInfoProp* target);

// The property a reference text names, or null when it is malformed or a position is out of range.
COvInfoProp* ResolvePropertyReference(const CReport& report, std::string_view reference);
