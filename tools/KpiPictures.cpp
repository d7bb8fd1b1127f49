// orvik-kpi-pictures <folder>: draws the pictures KPI sheets show into <folder>: the KPI icon,
// the info and folder signs, and for every status and trend graphic the program knows three
// states (0 bad or falling, 1 level, 2 good or rising), named as the sheet asks for them
// ("Traffic_light2.gif"). The shapes are drawn here from circles, polygons and strokes, smoothed by
// sampling each pixel 16 times, and written as GIF89a with a transparent background by an LZW
// encoder of our own, so the build needs no image library and no picture from elsewhere.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

#include "olap/KpiGraphics.h"

namespace {

struct Colour {
    uint8_t R = 0, G = 0, B = 0;
};
bool operator<(const Colour& a, const Colour& b) {
    return (a.R << 16 | a.G << 8 | a.B) < (b.R << 16 | b.G << 8 | b.B);
}

constexpr Colour kRed{217, 52, 43}, kAmber{242, 178, 27}, kGreen{46, 158, 68}, kDark{51, 51, 51},
    kDim{90, 90, 90}, kWhite{255, 255, 255}, kGrey{128, 128, 128}, kBlue{40, 110, 200},
    kYellow{250, 214, 60}, kLightGrey{225, 225, 225};

// A shape is a test of whether a point (in pixels, y downwards) lies inside it.
using Shape = std::function<bool(double x, double y)>;

Shape Circle(double cx, double cy, double r) {
    return [=](double x, double y) { return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r; };
}

Shape RoundedBox(double x0, double y0, double x1, double y1, double r) {
    return [=](double x, double y) {
        const double dx = std::max({x0 + r - x, 0.0, x - (x1 - r)});
        const double dy = std::max({y0 + r - y, 0.0, y - (y1 - r)});
        return x >= x0 && x <= x1 && y >= y0 && y <= y1 && dx * dx + dy * dy <= r * r;
    };
}

// A polygon, by the even-odd rule.
Shape Polygon(std::vector<std::pair<double, double>> points) {
    return [points = std::move(points)](double x, double y) {
        bool inside = false;
        for (size_t i = 0, j = points.size() - 1; i < points.size(); j = i++) {
            const auto [xi, yi] = points[i];
            const auto [xj, yj] = points[j];
            if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi) inside = !inside;
        }
        return inside;
    };
}

// A stroke from (x0, y0) to (x1, y1), `width` wide, with round ends.
Shape Stroke(double x0, double y0, double x1, double y1, double width) {
    return [=](double x, double y) {
        const double vx = x1 - x0, vy = y1 - y0;
        const double length = vx * vx + vy * vy;
        double t = length > 0 ? ((x - x0) * vx + (y - y0) * vy) / length : 0;
        t = std::clamp(t, 0.0, 1.0);
        const double dx = x - (x0 + t * vx), dy = y - (y0 + t * vy);
        return dx * dx + dy * dy <= width * width / 4;
    };
}

// A ring between radii r0 and r1 from angle a0 to a1 (degrees, 0 to the right, counter-clockwise
// as on paper).
Shape Arc(double cx, double cy, double r0, double r1, double a0, double a1) {
    return [=](double x, double y) {
        const double d = std::hypot(x - cx, y - cy);
        if (d < r0 || d > r1) return false;
        double a = std::atan2(cy - y, x - cx) * 180 / M_PI;
        if (a < 0) a += 360;
        return a0 <= a1 ? a >= a0 && a <= a1 : a >= a0 || a <= a1;
    };
}

struct Layer {
    Shape Inside;
    Colour Paint;
};

class Picture {
  public:
    Picture(int width, int height) : width_(width), height_(height) {}
    Picture& Add(Shape shape, Colour paint) {
        layers_.push_back({std::move(shape), paint});
        return *this;
    }

    // Samples every pixel on a 4 x 4 grid; the last layer that covers a sample paints it. Edge
    // pixels are mixed with white, the colour of the rows they are shown on; pixels nothing
    // covers are transparent.
    std::vector<std::pair<bool, Colour>> Render() const {
        std::vector<std::pair<bool, Colour>> pixels;
        constexpr int kSamples = 4;
        for (int py = 0; py < height_; ++py)
            for (int px = 0; px < width_; ++px) {
                double r = 0, g = 0, b = 0;
                int covered = 0;
                for (int sy = 0; sy < kSamples; ++sy)
                    for (int sx = 0; sx < kSamples; ++sx) {
                        const double x = px + (sx + 0.5) / kSamples;
                        const double y = py + (sy + 0.5) / kSamples;
                        const Layer* top = nullptr;
                        for (const Layer& layer : layers_)
                            if (layer.Inside(x, y)) top = &layer;
                        if (!top) continue;
                        ++covered;
                        r += top->Paint.R;
                        g += top->Paint.G;
                        b += top->Paint.B;
                    }
                if (covered * 4 < kSamples * kSamples) {
                    pixels.push_back({false, {}});
                    continue;
                }
                const double all = kSamples * kSamples, white = 255.0 * (all - covered);
                pixels.push_back({true,
                                  {static_cast<uint8_t>((r + white) / all + 0.5),
                                   static_cast<uint8_t>((g + white) / all + 0.5),
                                   static_cast<uint8_t>((b + white) / all + 0.5)}});
            }
        return pixels;
    }
    int Width() const { return width_; }
    int Height() const { return height_; }

  private:
    int width_, height_;
    std::vector<Layer> layers_;
};

// --- GIF89a --------------------------------------------------------------------------------------

class BitWriter {
  public:
    void Put(int code, int bits) {
        buffer_ |= static_cast<uint32_t>(code) << count_;
        count_ += bits;
        while (count_ >= 8) {
            bytes_.push_back(static_cast<uint8_t>(buffer_ & 0xFF));
            buffer_ >>= 8;
            count_ -= 8;
        }
    }
    std::vector<uint8_t> Finish() {
        if (count_ > 0) bytes_.push_back(static_cast<uint8_t>(buffer_ & 0xFF));
        return bytes_;
    }

  private:
    uint32_t buffer_ = 0;
    int count_ = 0;
    std::vector<uint8_t> bytes_;
};

// The LZW code stream of `indices`. A code is written one bit wider as soon as the table holds
// an entry that needs the extra bit, which is when a decoder widens too; a full table starts over.
std::vector<uint8_t> Lzw(const std::vector<uint8_t>& indices, int minimumCodeSize) {
    const int clear = 1 << minimumCodeSize, end = clear + 1;
    BitWriter out;
    std::unordered_map<uint32_t, int> table;
    int codeSize = minimumCodeSize + 1, next = end + 1;
    out.Put(clear, codeSize);
    int prefix = indices.at(0);
    for (size_t i = 1; i < indices.size(); ++i) {
        const uint32_t key = static_cast<uint32_t>(prefix) << 8 | indices[i];
        if (auto found = table.find(key); found != table.end()) {
            prefix = found->second;
            continue;
        }
        out.Put(prefix, codeSize);
        if (next == 4095) {
            out.Put(clear, codeSize);
            table.clear();
            codeSize = minimumCodeSize + 1;
            next = end + 1;
        } else {
            if (next >= (1 << codeSize) && codeSize < 12) ++codeSize;
            table.emplace(key, next++);
        }
        prefix = indices[i];
    }
    out.Put(prefix, codeSize);
    out.Put(end, codeSize);
    return out.Finish();
}

void Word(std::vector<uint8_t>& out, int value) {
    out.push_back(static_cast<uint8_t>(value & 0xFF));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

std::vector<uint8_t> Gif(const Picture& picture) {
    const auto pixels = picture.Render();
    // Palette: index 0 is the transparent one; colours are rounded until they fit.
    std::map<Colour, int> palette;
    for (int shift = 0; shift <= 5; ++shift) {
        palette.clear();
        const uint8_t mask = static_cast<uint8_t>(0xFF << shift);
        for (const auto& [opaque, colour] : pixels) {
            if (!opaque) continue;
            palette.emplace(
                Colour{static_cast<uint8_t>(colour.R & mask), static_cast<uint8_t>(colour.G & mask),
                       static_cast<uint8_t>(colour.B & mask)},
                0);
        }
        if (palette.size() <= 255) {
            int index = 1;
            for (auto& [colour, slot] : palette) slot = index++;
            std::vector<uint8_t> indices;
            for (const auto& [opaque, colour] : pixels)
                indices.push_back(opaque ? static_cast<uint8_t>(
                                               palette.at({static_cast<uint8_t>(colour.R & mask),
                                                           static_cast<uint8_t>(colour.G & mask),
                                                           static_cast<uint8_t>(colour.B & mask)}))
                                         : 0);
            int bits = 1;
            while ((1 << bits) < index) ++bits;
            std::vector<uint8_t> out = {'G', 'I', 'F', '8', '9', 'a'};
            Word(out, picture.Width());
            Word(out, picture.Height());
            out.push_back(static_cast<uint8_t>(0xF0 | (bits - 1)));
            out.push_back(0);  // background: the transparent entry
            out.push_back(0);
            std::vector<Colour> entries(static_cast<size_t>(1) << bits, kWhite);
            for (const auto& [colour, slot] : palette) entries[slot] = colour;
            for (const Colour& c : entries) out.insert(out.end(), {c.R, c.G, c.B});
            out.insert(out.end(), {0x21, 0xF9, 0x04, 0x01, 0, 0, 0, 0});  // index 0 transparent
            out.push_back(0x2C);
            Word(out, 0);
            Word(out, 0);
            Word(out, picture.Width());
            Word(out, picture.Height());
            out.push_back(0);
            const int minimumCodeSize = std::max(bits, 2);
            out.push_back(static_cast<uint8_t>(minimumCodeSize));
            const std::vector<uint8_t> codes = Lzw(indices, minimumCodeSize);
            for (size_t at = 0; at < codes.size(); at += 255) {
                const size_t length = std::min<size_t>(255, codes.size() - at);
                out.push_back(static_cast<uint8_t>(length));
                out.insert(out.end(), codes.begin() + at, codes.begin() + at + length);
            }
            out.push_back(0);
            out.push_back(0x3B);
            return out;
        }
    }
    throw std::runtime_error("too many colours");
}

// --- the graphics --------------------------------------------------------------------------------

constexpr int kSize = 20;
using orvik::KpiGraphicShape;

Colour StateColour(int state) {
    return state == 0 ? kRed : state == 1 ? kAmber : kGreen;
}

// An arrow in a 20 x 20 box pointing at `degrees` (0 right, 90 up), `body` thick.
Picture& Arrow(Picture& picture, double degrees, Colour paint, double length, double body) {
    const double a = degrees * M_PI / 180, ux = std::cos(a), uy = -std::sin(a);
    const double c = kSize / 2.0, half = length / 2, head = length * 0.45;
    const double tipX = c + ux * half, tipY = c + uy * half;
    const double baseX = tipX - ux * head, baseY = tipY - uy * head;
    const double wing = body * 1.9;
    picture.Add(Stroke(c - ux * half, c - uy * half, baseX, baseY, body), paint);
    picture.Add(Polygon({{tipX + ux * 0.6, tipY + uy * 0.6},
                         {baseX - uy * wing, baseY + ux * wing},
                         {baseX + uy * wing, baseY - ux * wing}}),
                paint);
    return picture;
}

// A face: `mood` -1 frowns, 0 is level, 1 smiles.
Picture& Face(Picture& picture, Colour skin, Colour ink, int mood) {
    const double c = kSize / 2.0;
    picture.Add(Circle(c, c, 9.2), ink).Add(Circle(c, c, 8.0), skin);
    picture.Add(Circle(c - 3.2, c - 2.4, 1.3), ink).Add(Circle(c + 3.2, c - 2.4, 1.3), ink);
    if (mood > 0) picture.Add(Arc(c, c + 0.5, 3.8, 5.3, 200, 340), ink);
    if (mood < 0) picture.Add(Arc(c, c + 7.5, 3.8, 5.3, 35, 145), ink);
    if (mood == 0) picture.Add(Stroke(c - 3.6, c + 4, c + 3.6, c + 4, 1.5), ink);
    return picture;
}

Picture Draw(KpiGraphicShape shape, int state) {
    Picture p(kSize, kSize);
    const double c = kSize / 2.0;
    switch (shape) {
        case KpiGraphicShape::TrafficLight: {
            p.Add(RoundedBox(5.5, 0.5, 14.5, 19.5, 3), kDark);
            const Colour lit[] = {kRed, kAmber, kGreen};
            for (int lamp = 0; lamp < 3; ++lamp)
                p.Add(Circle(c, 4.2 + lamp * 5.8, 2.5), lamp == 2 - state ? lit[state] : kDim);
            break;
        }
        case KpiGraphicShape::RoadSigns:
            if (state == 0) {
                std::vector<std::pair<double, double>> octagon;
                for (int i = 0; i < 8; ++i) {
                    const double a = (22.5 + 45 * i) * M_PI / 180;
                    octagon.push_back({c + 9.5 * std::cos(a), c + 9.5 * std::sin(a)});
                }
                p.Add(Polygon(octagon), kRed).Add(RoundedBox(4.5, 8.5, 15.5, 11.5, 0.5), kWhite);
            } else if (state == 1) {
                p.Add(Polygon({{c, 0.3}, {19.7, c}, {c, 19.7}, {0.3, c}}), kDark);
                p.Add(Polygon({{c, 1.8}, {18.2, c}, {c, 18.2}, {1.8, c}}), kAmber);
                p.Add(Stroke(c, 5.5, c, 11, 2.2), kDark).Add(Circle(c, 14, 1.2), kDark);
            } else {
                p.Add(Circle(c, c, 9.5), kGreen);
                p.Add(Stroke(5.5, 10.5, 8.8, 13.8, 2.4), kWhite)
                    .Add(Stroke(8.8, 13.8, 14.8, 6.5, 2.4), kWhite);
            }
            break;
        case KpiGraphicShape::Gauge: {
            const double cy = 14;
            p.Add(Arc(c, cy, 0, 9.6, 0, 180), kDark).Add(Arc(c, cy, 0, 8.6, 0, 180), kLightGrey);
            p.Add(Arc(c, cy, 5.6, 8.6, 120, 180), kRed)
                .Add(Arc(c, cy, 5.6, 8.6, 60, 120), kAmber)
                .Add(Arc(c, cy, 5.6, 8.6, 0, 60), kGreen);
            p.Add(RoundedBox(0.4, cy, 19.6, cy + 1.2, 0), kDark);
            const double a = (150 - 60 * state) * M_PI / 180;
            p.Add(Stroke(c, cy, c + 7.5 * std::cos(a), cy - 7.5 * std::sin(a), 1.6), kDark);
            p.Add(Circle(c, cy, 1.8), kDark);
            break;
        }
        case KpiGraphicShape::Shapes:
            if (state == 0)
                p.Add(Polygon({{c, 1}, {19, c}, {c, 19}, {1, c}}), kRed);
            else if (state == 1)
                p.Add(Polygon({{c, 1.5}, {19.2, 18}, {0.8, 18}}), kAmber);
            else
                p.Add(Circle(c, c, 8.8), kGreen);
            break;
        case KpiGraphicShape::SmileyFace:
            Face(p, kYellow, kDark, state - 1);
            break;
        case KpiGraphicShape::Faces:
            Face(p, StateColour(state), kDark, state - 1);
            break;
        case KpiGraphicShape::Thermometer: {
            p.Add(RoundedBox(7, 0.5, 13, 15, 3), kDark).Add(Circle(c, 15.5, 4.2), kDark);
            p.Add(RoundedBox(8.2, 1.7, 11.8, 15, 1.8), kWhite).Add(Circle(c, 15.5, 3), kRed);
            const double top = state == 0 ? 11.5 : state == 1 ? 7.5 : 3;
            p.Add(RoundedBox(8.9, top, 11.1, 16, 1.1), kRed);
            for (double tick : {4.0, 7.0, 10.0}) p.Add(Stroke(13.8, tick, 15.6, tick, 0.9), kGrey);
            break;
        }
        case KpiGraphicShape::StandardArrow:
            Arrow(p, state == 0 ? -90 : state == 1 ? 0 : 90, kGrey, 17, 3.4);
            break;
        case KpiGraphicShape::StatusArrow:
            p.Add(Circle(c, c, 9.6), StateColour(state));
            Arrow(p, state == 0 ? -90 : state == 1 ? 0 : 90, kWhite, 13, 2.6);
            break;
    }
    return p;
}

Picture KpiIcon() {
    // Three bars rising to a target mark: a KPI.
    Picture p(16, 16);
    p.Add(RoundedBox(1, 10, 4.5, 15, 0.6), kBlue)
        .Add(RoundedBox(6, 6.5, 9.5, 15, 0.6), kBlue)
        .Add(RoundedBox(11, 3, 14.5, 15, 0.6), kGreen)
        .Add(Stroke(1, 2, 9, 2, 1.2), kRed)
        .Add(Circle(12.75, 2, 1.6), kRed);
    return p;
}

Picture InfoSign() {
    Picture p(16, 16);
    p.Add(Circle(8, 8, 7.5), kBlue).Add(Circle(8, 4.3, 1.3), kWhite);
    p.Add(Stroke(8, 7.2, 8, 12, 2.2), kWhite);
    return p;
}

Picture FolderSign() {
    Picture p(16, 16);
    const Colour edge{176, 128, 20}, face{250, 200, 80};
    p.Add(RoundedBox(1, 2.5, 7, 6, 1), edge).Add(RoundedBox(1, 4, 15, 14, 1), edge);
    p.Add(RoundedBox(2, 5, 14, 13, 0.6), face);
    return p;
}

bool Write(const std::string& path, const Picture& picture) {
    const std::vector<uint8_t> bytes = Gif(picture);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    if (!file) std::fprintf(stderr, "orvik-kpi-pictures: cannot write %s\n", path.c_str());
    return static_cast<bool>(file);
}

std::string FileName(std::string_view name) {
    std::string file(name);
    for (char& ch : file)
        if (ch == ' ') ch = '_';
    return file;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: orvik-kpi-pictures <folder>\n");
        return 2;
    }
    const std::string folder = std::string(argv[1]) + "/";
    bool written = Write(folder + "kpi_icon.gif", KpiIcon()) &&
                   Write(folder + "info.gif", InfoSign()) &&
                   Write(folder + "folder.gif", FolderSign());
    for (const orvik::KpiGraphic& graphic : orvik::kKpiGraphics)
        for (int state = 0; state < 3; ++state) {
            const Picture picture = Draw(graphic.Shape, state);
            for (std::string_view spelling : {graphic.Name, graphic.TitleCase})
                written =
                    written &&
                    Write(folder + FileName(spelling) + std::to_string(state) + ".gif", picture);
        }
    return written ? 0 : 1;
}
