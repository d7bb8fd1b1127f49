// The connection dialog on real connections: a string built field by field and tested against a
// SQLite file (and the PostgreSQL test cluster when it runs), the provider's own keys offered.
#include "ui/ConnectionDialog.h"

#include <gtest/gtest.h>
#include <wx/treectrl.h>

#include <cstdlib>
#include <filesystem>

#include "WindowFixture.h"

namespace orvik::ui {
namespace {

using ConnectionDialogTest = test::WindowFixture;

int IndexOf(ConnectionDialog& dialog, const std::string& provider) {
    const auto& providers = dialog.Providers();
    for (size_t i = 0; i < providers.size(); ++i)
        if (providers[i].Provider == provider) return static_cast<int>(i);
    return -1;
}

TEST_F(ConnectionDialogTest, AStringIsBuiltFieldByFieldAndTested) {
    ConnectionDialog dialog(frame_, "Provider=SQLite;Data Source=old.db;Connect Timeout=9");
    dialog.Show();
    EXPECT_EQ(dialog.Connection(), "Provider=SQLite;Data Source=old.db");
    dialog.SetValue("Data Source", program.Home().Path() + "shop.db");
    dialog.SetValue("User ID", "anna");
    EXPECT_EQ(dialog.Connection(),
              "Provider=SQLite;Data Source=" + program.Home().Path() + "shop.db;User ID=anna");
    dialog.Test();
    EXPECT_EQ(dialog.Answer(), "Connected: 2 tables.");
    wxTreeCtrl& tables = dialog.Tables();
    wxTreeItemIdValue cookie;
    const wxTreeItemId first = tables.GetFirstChild(tables.GetRootItem(), cookie);
    ASSERT_TRUE(first.IsOk());
    EXPECT_EQ(tables.GetItemText(first), "sales");
    EXPECT_EQ(tables.GetChildrenCount(first), 2u);
    std::filesystem::create_directories("test-output");
    tables.Expand(first);
    test::ProcessPendingEvents();
    EXPECT_TRUE(test::SaveWindowPicture(dialog, "test-output/designer-connection.png"));

    // Another provider: its own keys come, the shared values stay.
    const int cube = IndexOf(dialog, "Orvik.Cube");
    ASSERT_GE(cube, 0);
    dialog.ChooseProvider(cube);
    dialog.SetValue("Catalog", "cube.xml");
    EXPECT_EQ(dialog.Connection(), "Provider=Orvik.Cube;Data Source=" + program.Home().Path() +
                                       "shop.db;User ID=anna;Catalog=cube.xml");
    dialog.Test();
    EXPECT_NE(dialog.Answer(), "");
    EXPECT_EQ(dialog.Answer().Find("Connected"), wxNOT_FOUND);  // no such schema file
}

TEST_F(ConnectionDialogTest, TheTestClusterAnswersThroughOdbc) {
    const char* postgres = std::getenv("ORVIK_TEST_PG_ODBC");
    if (!postgres || !*postgres)
        GTEST_SKIP() << "ORVIK_TEST_PG_ODBC is not set (scripts/test sets it)";
    ConnectionDialog dialog(frame_, postgres);
    dialog.Show();
    // A driver's own string: no Provider, read as ODBC, its keys in the provider's own fields.
    EXPECT_EQ(dialog.Connection().rfind("Provider=MSDASQL;", 0), 0u) << dialog.Connection();
    EXPECT_NE(dialog.Connection().find("Database=orvik_test"), std::string::npos);
    dialog.Test();
    EXPECT_NE(dialog.Answer().Find("Connected"), wxNOT_FOUND) << dialog.Answer();
}

}  // namespace
}  // namespace orvik::ui
