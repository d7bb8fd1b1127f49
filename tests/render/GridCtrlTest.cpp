// The headless grid: cell texts must stay exactly what was put in through every change of shape,
// overwrite and sweep of the text arena, and a large grid must cost about what its texts cost.
#include <gtest/gtest.h>

#include <string>

#include "render/GridCtrl.h"

namespace {

std::string Text(const CGridCtrl& grid, int row, int column) {
    return std::string(grid.GetItemText(row, column));
}

TEST(GridCtrl, TextsSurviveOverwritesInsertsDeletesAndColumnChanges) {
    CGridCtrl grid;
    grid.SetColumnCount(3);
    grid.SetRowCount(3);
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 3; ++column)
            grid.SetItemText(row, column, "r" + std::to_string(row) + "c" + std::to_string(column));

    grid.SetItemRightAligned(1, 2, true);
    grid.SetItemText(1, 1, "x");                               // shorter: in place
    grid.SetItemText(1, 2, "a much longer text than before");  // longer: moved
    grid.SetItemText(2, 0, grid.GetItemText(2, 0).substr(1));  // a part of itself
    grid.SetItemText(0, 0, grid.GetItemText(1, 2));            // another cell's text
    EXPECT_EQ(Text(grid, 1, 1), "x");
    EXPECT_EQ(Text(grid, 1, 2), "a much longer text than before");
    EXPECT_TRUE(grid.IsItemRightAligned(1, 2));  // the format belongs to the cell, not the text
    EXPECT_EQ(Text(grid, 2, 0), "2c0");
    EXPECT_EQ(Text(grid, 0, 0), "a much longer text than before");

    EXPECT_EQ(grid.InsertRow(1), 1);
    EXPECT_EQ(grid.GetRowCount(), 4);
    EXPECT_EQ(Text(grid, 1, 0), "");
    EXPECT_EQ(Text(grid, 2, 1), "x");
    EXPECT_TRUE(grid.DeleteRow(0));
    EXPECT_EQ(Text(grid, 1, 1), "x");
    EXPECT_FALSE(grid.DeleteRow(3));

    grid.SetColumnCount(2);
    EXPECT_EQ(Text(grid, 1, 1), "x");
    EXPECT_EQ(Text(grid, 1, 2), "");  // outside the grid now
    grid.SetColumnCount(4);
    EXPECT_EQ(Text(grid, 2, 1), "r2c1");
    EXPECT_EQ(Text(grid, 2, 3), "");

    EXPECT_FALSE(grid.SetItemText(4, 0, "outside"));
    EXPECT_FALSE(grid.SetItemText(0, -1, "outside"));
    EXPECT_EQ(Text(grid, -1, 0), "");
}

TEST(GridCtrl, LongTextsAndRepeatedRewritesKeepEveryCellIntact) {
    CGridCtrl grid;
    grid.SetColumnCount(4);
    grid.SetRowCount(200);
    const std::string document(300000, 'd');  // longer than an arena block takes
    grid.SetItemText(0, 0, document);
    grid.SetItemText(0, 1, document + "!");
    // Enough rewrites of growing texts to force several sweeps of the arena.
    for (int round = 0; round < 60; ++round) {
        for (int row = 1; row < 200; ++row) {
            for (int column = 0; column < 4; ++column) {
                grid.SetItemText(row, column,
                                 std::string(static_cast<size_t>(100 + round), 'a' + column) +
                                     std::to_string(row));
            }
        }
    }
    for (int row = 1; row < 200; ++row)
        for (int column = 0; column < 4; ++column)
            ASSERT_EQ(Text(grid, row, column),
                      std::string(159, 'a' + column) + std::to_string(row));
    EXPECT_EQ(Text(grid, 0, 0), document);
    EXPECT_EQ(Text(grid, 0, 1), document + "!");
    // 60 rounds of about 200 KiB each were written; only the last round's texts may stay.
    EXPECT_LT(grid.MemoryBytes(), size_t{4} << 20);

    grid.SetItemText(0, 0, "short");
    grid.SetItemText(0, 2, document);  // takes the long-text slot given up
    EXPECT_EQ(Text(grid, 0, 0), "short");
    EXPECT_EQ(Text(grid, 0, 2), document);
}

TEST(GridCtrl, AMillionCellsCostTheirTextAndOneWordEach) {
    CGridCtrl grid;
    const int rows = 250000;
    grid.SetColumnCount(4);
    grid.SetRowCount(1);
    grid.ReserveRows(rows);
    size_t textBytes = 0;
    for (int row = 1; row < rows; ++row) {
        grid.InsertRow();
        for (int column = 0; column < 4; ++column) {
            const std::string text = "cell " + std::to_string(row * 4 + column);
            textBytes += text.size();
            grid.SetItemText(row, column, text);
        }
    }
    const size_t cells = static_cast<size_t>(rows) * 4;
    EXPECT_LE(grid.MemoryBytes(), cells * 8 + textBytes + (size_t{2} << 20));
    EXPECT_EQ(Text(grid, rows - 1, 3), "cell " + std::to_string((rows - 1) * 4 + 3));
}

}  // namespace
