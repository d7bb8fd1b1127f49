// The pictures KPI sheets show, as the build drew them into the program folder: one for every
// graphic, spelling and state the sheet can ask for, each a GIF whose image data decodes (with a
// decoder written here from the format, not the encoder's) into the whole picture, with a
// transparent background and the three states of a graphic told apart.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "olap/KpiGraphics.h"

namespace orvik::test {
namespace {

namespace fs = std::filesystem;

struct Gif {
    int Width = 0, Height = 0;
    int Transparent = -1;
    std::vector<int> Pixels;  // palette indices
    std::string Error;
};

// Reads the one image of a GIF89a file; Error says what is wrong.
Gif Decode(const std::string& bytes) {
    Gif gif;
    auto byte = [&](size_t at) {
        return at < bytes.size() ? static_cast<unsigned char>(bytes[at]) : 0;
    };
    auto word = [&](size_t at) { return byte(at) | byte(at + 1) << 8; };
    if (bytes.compare(0, 6, "GIF89a") != 0) return gif.Error = "no GIF89a header", gif;
    gif.Width = word(6);
    gif.Height = word(8);
    size_t at = 13;
    if (byte(10) & 0x80) at += 3u * (1u << ((byte(10) & 7) + 1));
    while (byte(at) == 0x21) {  // extensions
        if (byte(at + 1) == 0xF9 && (byte(at + 3) & 1)) gif.Transparent = byte(at + 6);
        at += 2;
        while (byte(at) != 0) at += byte(at) + 1u;
        ++at;
    }
    if (byte(at) != 0x2C) return gif.Error = "no image", gif;
    at += 10;
    const int minimum = byte(at++);
    std::string data;
    while (at < bytes.size() && byte(at) != 0) {
        data.append(bytes, at + 1, byte(at));
        at += byte(at) + 1u;
    }
    if (byte(at + 1) != 0x3B) return gif.Error = "no trailer", gif;
    // LZW as a decoder reads it: the code width grows when the table fills the current width.
    const int clear = 1 << minimum, end = clear + 1;
    std::vector<std::vector<int>> table;
    auto reset = [&] {
        table.assign(static_cast<size_t>(end + 1), {});
        for (int i = 0; i < clear; ++i) table[i] = {i};
    };
    reset();
    int width = minimum + 1;
    size_t bit = 0;
    std::vector<int> previous;
    for (;;) {
        if (bit + width > data.size() * 8) return gif.Error = "the codes end early", gif;
        int code = 0;
        for (int i = 0; i < width; ++i, ++bit)
            code |= ((static_cast<unsigned char>(data[bit / 8]) >> (bit % 8)) & 1) << i;
        if (code == clear) {
            reset();
            width = minimum + 1;
            previous.clear();
            continue;
        }
        if (code == end) break;
        std::vector<int> entry;
        if (code < static_cast<int>(table.size()) && !table[code].empty())
            entry = table[code];
        else if (code == static_cast<int>(table.size()) && !previous.empty())
            (entry = previous).push_back(previous[0]);
        else
            return gif.Error = "code " + std::to_string(code) + " is not in the table", gif;
        if (!previous.empty() && table.size() < 4096) {
            std::vector<int> added = previous;
            added.push_back(entry[0]);
            table.push_back(std::move(added));
        }
        if (static_cast<int>(table.size()) == (1 << width) && width < 12) ++width;
        gif.Pixels.insert(gif.Pixels.end(), entry.begin(), entry.end());
        previous = std::move(entry);
    }
    if (gif.Pixels.size() != static_cast<size_t>(gif.Width) * gif.Height)
        gif.Error = std::to_string(gif.Pixels.size()) + " pixels";
    return gif;
}

std::string Images() {
    return (fs::canonical("/proc/self/exe").parent_path() / "Images").string() + "/";
}

TEST(KpiPictures, EveryGraphicHasThreeStatesInBothSpellings) {
    for (const KpiGraphic& graphic : kKpiGraphics) {
        std::set<std::string> states;
        for (const std::string_view spelling : {graphic.Name, graphic.TitleCase}) {
            std::string name(spelling);
            for (char& c : name)
                if (c == ' ') c = '_';
            for (int state = 0; state < 3; ++state) {
                const std::string path = Images() + name + std::to_string(state) + ".gif";
                const std::string bytes = ReadFileBytes(path);
                const Gif gif = Decode(bytes);
                ASSERT_EQ(gif.Error, "") << path;
                EXPECT_EQ(gif.Width, 20) << path;
                EXPECT_EQ(gif.Height, 20) << path;
                // Shown on coloured rows: the corners are see-through, the middle is drawn.
                EXPECT_EQ(gif.Pixels.front(), gif.Transparent) << path;
                EXPECT_NE(gif.Pixels[10 * 20 + 10], gif.Transparent) << path;
                states.insert(bytes);
            }
        }
        EXPECT_EQ(states.size(), 3u) << graphic.Name;
    }
    for (const char* sign : {"kpi_icon.gif", "info.gif", "folder.gif"}) {
        const Gif gif = Decode(ReadFileBytes(Images() + sign));
        EXPECT_EQ(gif.Error, "") << sign;
        EXPECT_EQ(gif.Width, 16) << sign;
    }
}

}  // namespace
}  // namespace orvik::test
