// The pictures a KPI's status and trend can be shown with, named as OLAP servers name them. A KPI
// sheet shows status s with the picture "<name with spaces as _><s + 1>.gif" from the program's
// Images folder, so every name here has three pictures there (0 bad or falling, 1 level, 2 good or
// rising), drawn at build time by tools/KpiPictures. Servers differ in the case they write the
// names in, so the pictures exist in both spellings below.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "olap/NameCase.h"

namespace orvik {

// The shape a graphic is drawn as.
enum class KpiGraphicShape {
    TrafficLight,
    RoadSigns,
    Gauge,
    Shapes,
    SmileyFace,
    Thermometer,
    StandardArrow,
    StatusArrow,
    Faces,
};

struct KpiGraphic {
    std::string_view Name;       // as a cube schema should write it
    std::string_view TitleCase;  // the other spelling servers use
    KpiGraphicShape Shape;
};

inline constexpr std::array<KpiGraphic, 9> kKpiGraphics{{
    {"Traffic light", "Traffic Light", KpiGraphicShape::TrafficLight},
    {"Road signs", "Road Signs", KpiGraphicShape::RoadSigns},
    {"Gauge", "Gauge", KpiGraphicShape::Gauge},
    {"Shapes", "Shapes", KpiGraphicShape::Shapes},
    {"Smiley face", "Smiley Face", KpiGraphicShape::SmileyFace},
    {"Thermometer", "Thermometer", KpiGraphicShape::Thermometer},
    {"Standard arrow", "Standard Arrow", KpiGraphicShape::StandardArrow},
    {"Status arrow", "Status Arrow", KpiGraphicShape::StatusArrow},
    {"Faces", "Faces", KpiGraphicShape::Faces},
}};

// The graphic called `name` (in any case); null for a name there are no pictures for.
inline const KpiGraphic* FindKpiGraphic(std::string_view name) {
    for (const KpiGraphic& graphic : kKpiGraphics)
        if (SameName(graphic.Name, name)) return &graphic;
    return nullptr;
}

// The names, for messages: "Traffic light, Road signs, ...".
inline std::string KpiGraphicNames() {
    std::string names;
    for (const KpiGraphic& graphic : kKpiGraphics)
        names.append(names.empty() ? "" : ", ").append(graphic.Name);
    return names;
}

}  // namespace orvik
