// Ground for the designer-logic tests: a fresh program with a started report and two real SQLite
// databases (a shop's sales, a store's stock), helpers that add sheets and sources the way the
// designer has them (with their grid views made), and an edit that does what the property bar
// does: write the value, then report the change.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <string>

#include "TestSupport.h"
#include "design/PropertyChange.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "render/GridBase.h"
#include "render/GridView.h"
#include "render/GridViews.h"

namespace orvik::test {

class DesignerFixture : public ::testing::Test {
  protected:
    DesignerFixture() {
        Report().StartNew();
        MakeDatabase("shop.db",
                     "create table sales (region text, amount int);"
                     "insert into sales values ('North', 100), ('South', -50), ('East', 7);"
                     "create table targets (region text, goal int);");
        MakeDatabase("stock.db",
                     "create table stock (item text, qty int);"
                     "insert into stock values ('bolt', 5), ('nut', 9);");
    }

    AppContext& Ctx() { return program.Context(); }
    CReport& Report() { return program.Context().Report(); }
    CRegistries& Registries() { return program.Context().Registries(); }
    RecordingFrontEnd& Front() { return program.Front(); }

    void MakeDatabase(const std::string& file, const std::string& sql) {
        sqlite3* db = nullptr;
        sqlite3_open((program.Home().Path() + file).c_str(), &db);
        sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }

    COvInfoDS& AddSource(const std::string& name, const std::string& file,
                         const std::string& query) {
        COvInfoDS* ds = Report().NewDataSource(name);
        ds->DSN.Value = "Provider=SQLite;Data Source=" + program.Home().Path() + file;
        ds->Qry.Value = query;
        return *ds;
    }

    // A sheet on `source` with its grid filled, as the designer's window makes it.
    COvInfoSheet& AddSheet(const std::string& name, const std::string& source) {
        const bool hadSource = !Report().DataSources.empty();
        COvInfoSheet* sheet = Report().NewSheet(name);
        ShowAddedSheet(Front(), Report(), *sheet, !hadSource && !Report().DataSources.empty());
        sheet->cDS.Value = source;
        CreateGridView(Ctx(), *sheet);
        return *sheet;
    }

    static int GridRows(const COvInfoSheet& sheet) {
        return sheet.View ? sheet.View->GetGridCtrl()->GetRowCount() : -1;
    }

    // What the property bar does with an edit: the new value goes in (a list value selects its
    // entry), then the change is reported.
    bool Edit(ObjectKind kind, COvInfoObject& object, const std::string& name,
              const std::string& value) {
        COvInfoProp* prop = object.GetPropByName(name);
        EXPECT_NE(prop, nullptr) << name;
        if (!prop) return false;
        const std::string old = prop->Value;
        prop->Value = value;
        if (prop->IsOption(PropFlag::Integer)) prop->ValueIndex = std::atoi(value.c_str());
        if (prop->Kind == PropKind::List)
            if (COvCombos* entry = Registries().FindComboValue(prop->ComboId, value))
                prop->SelectedCombo = entry;
        return design::OnPropertyChanged(Ctx(), {kind, &object}, *prop, old);
    }

    std::string LastMessage() {
        return Front().Messages.empty() ? std::string() : Front().Messages.back().Text;
    }

    TestProgram program;
};

}  // namespace orvik::test
