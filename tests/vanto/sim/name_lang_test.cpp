// Switching object names between the German and English string tables.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "plugin_in_process.h"
#include "host_loader.h"
#include "frame/plugin_main.h"
#include "sim/name_lang.h"

namespace {

namespace fs = std::filesystem;

TEST(DecodeUnicodeEscapes, Cases) {
  struct Case {
    const char* in;
    const char* out;
  };
  const Case cases[] = {
      {"Gr\\u00fcn", "Gr\xC3\xBCn"},             // four characters, the third 0xFC
      {"Crash-W\\u00FCrfel", "Crash-W\xC3\xBCrfel"},
      {"\\u00e4\\u00f6\\u00fc", "\xC3\xA4\xC3\xB6\xC3\xBC"},
      {"\\u0041B", "AB"},
      {"plain", "plain"},
      {"", ""},
      {"bad \\u00zz", "bad \\u00zz"},         // no hex digits: kept
      {"half \\u00f", "half \\u00f"},         // cut short at the end
      {"nul \\u0000!", "nul \\u0000!"},       // a NUL would cut the name
      {"\\u005cu00fc", "\\u00fc"},            // a decoded backslash starts no new escape
      {"\\u00zz \\u00fc", "\\u00zz \xC3\xBC"},  // a bad escape does not stop the rest
  };
  for (const Case& c : cases) EXPECT_EQ(DecodeUnicodeEscapes(String(c.in)), String(c.out)) << c.in;
}

class NameTables : public ::testing::Test {
 protected:
  void SetUp() override {
    hostlog::SetQuiet(true);
    dir_ = fs::temp_directory_path() / ("vanto_namelang_" + std::to_string(::getpid()));
    fs::create_directories(dir_ / "res" / "strings_us");
    fs::create_directories(dir_ / "res" / "strings_de");
  }
  void TearDown() override {
    hostregistry::RemoveModule(String());
    HostSetLanguageFolder("strings_us");
    fs::remove_all(dir_);
  }
  void Write(const char* folder, const std::string& text) {
    std::ofstream(dir_ / "res" / folder / "c4d_strings.str", std::ios::binary) << text;
  }
  std::vector<String> Read(const char* folder, LONG max = kNameDictionaryMax) {
    std::vector<String> texts(static_cast<size_t>(max));
    const LONG n = ReadNameTable(Filename(String((dir_ / "res" / folder / "c4d_strings.str").string())),
                                 texts.data(), max);
    if (n < 0) return {String("<unreadable>")};
    texts.resize(static_cast<size_t>(n));
    return texts;
  }
  // The plug-in folder becomes dir_, with the interface language's table.
  void StartPlugin(const char* language_folder) {
    HostSetLanguageFolder(language_folder);
    std::string folder = dir_.string();
    ASSERT_NO_FATAL_FAILURE(testsupport::HandOver(folder.c_str()));
  }
  fs::path dir_;
};

TEST_F(NameTables, ReadsTheEntriesUpToTheOutputParameters) {
  Write("strings_us",
        "// English table. One line per text: IDS_<name> <number> \"<text>\";\n"
        "STRINGTABLE\n{\n"
        "  IDS_A 10 \"Alpha\";\n"
        "#IDS_HIDDEN 11 \"Hidden\";\n"
        "  # IDS_HIDDEN2 12 \"Hidden too\";\n"
        "  IDS_NOQUOTE 13 Beta;\n"
        "\tIDS_TAB\t14\t\"Tab \\u00fcber\";\n"
        "  IDS_QUOTED 15 \"Say \"hi\"\";\n"
        "  IDS_BROKEN 16 \"Unclosed;\n"
        "  ANOTHER 17 \"No identifier\";\n"
        "  IDS_LAST 18 \"Last\";\n"
        "  // Output Parameters\n"
        "  IDS_AFTER 19 \"After\";\n"
        "}\n");
  // The broken line keeps its place, empty, so both tables stay paired.
  EXPECT_EQ(Read("strings_us"), (std::vector<String>{"Alpha", "Tab \xC3\xBC" "ber", "Say \"hi\"", "", "Last"}));
  EXPECT_EQ(Read("strings_de"), (std::vector<String>{"<unreadable>"}));  // no such file
}

TEST_F(NameTables, StopsAtTheLimitAndAtTheEnd) {
  std::string text;
  for (int i = 0; i < 120; ++i) text += "  IDS_N" + std::to_string(i) + " " + std::to_string(i) + " \"N" + std::to_string(i) + "\";\r\n";
  Write("strings_us", text);
  std::vector<String> all = Read("strings_us");
  ASSERT_EQ(all.size(), 100u);
  EXPECT_EQ(all.front(), "N0");
  EXPECT_EQ(all.back(), "N99");
  EXPECT_EQ(Read("strings_us", 3), (std::vector<String>{"N0", "N1", "N2"}));
  // Without the output line and the limit the whole file is read.
  Write("strings_de", "IDS_X 1 \"Eins\";\nIDS_Y 2 \"Zwei\";\n");
  EXPECT_EQ(Read("strings_de"), (std::vector<String>{"Eins", "Zwei"}));
}

// A small scene of named objects, freed at the end.
class Names : public ::testing::Test {
 protected:
  void TearDown() override {
    for (BaseObject* op : roots_) BaseObject::Free(op);
  }
  BaseObject* Make(const char* name, BaseObject* parent = nullptr) {
    BaseObject* op = BaseObject::Alloc(Onull);
    EXPECT_NE(op, nullptr);
    op->SetName(String(name));
    if (parent)
      op->InsertUnderLast(parent);
    else
      roots_.push_back(op);
    return op;
  }
  const std::vector<NamePair> pairs_ = {
      {"Simulation", "Simulation"}, {"Auto", "Car"},  {"Rad VL", "Wheel FL"},
      {"Motor", "Engine"},          {"", "Orphan"},   {"Nur", ""},
      {"Car", "Wagen"},  // a later pair's English side that a German name must not reach
  };
  void Switch(BaseObject* op, const char* language) {
    SwitchNameLanguage(op, String(language), pairs_.data(), static_cast<LONG>(pairs_.size()));
  }
  std::vector<BaseObject*> roots_;
};

TEST_F(Names, SplitsTheSideSuffixAndMatchesTheBase) {
  struct Case {
    const char* language;
    const char* before;
    const char* after;
  };
  const Case cases[] = {
      {"en", "Rad VL 2L", "Wheel FL 2L"},
      {"en", "Rad VL 9R", "Wheel FL 9R"},
      {"en", "Rad VL", "Wheel FL"},
      {"en", "Rad VL 0L", "Rad VL 0L"},  // 0 is no side number: the whole name must match
      {"en", "Rad VL 2X", "Rad VL 2X"},
      {"en", "Rad VL2L", "Rad VL2L"},
      {"de", "Wheel FL 3R", "Rad VL 3R"},
      {"de", "Auto", "Auto"},           // German already; the search stops at pair 1
      {"en", "Car", "Car"},             // English already; "Car" of pair 6 is not reached
      {"de", "Car", "Auto"},
      {"en", "Orphan", "Orphan"},       // an empty side is no translation
      {"en", "Nur", "Nur"},
      {"en", " 1L", " 1L"},             // an empty base matches nothing
      {"en", "", ""},
      {"en", "1L", "1L"},
      {"fr", "Auto", "Auto"},           // only German and English switch
      {"", "Auto", "Auto"},
  };
  for (const Case& c : cases) {
    BaseObject* op = Make(c.before);
    Switch(op, c.language);
    EXPECT_EQ(op->GetName(), String(c.after)) << c.language << " '" << c.before << "'";
  }
}

TEST_F(Names, RenamesTheWholeSubtreeAndNothingBeside) {
  BaseObject* sim = Make("Simulation");
  BaseObject* car = Make("Auto", sim);
  BaseObject* wheel = Make("Rad VL 1L", car);
  BaseObject* engine = Make("Motor", car);
  BaseObject* mine = Make("Mein Motor", wheel);
  BaseObject* car2 = Make("Auto 2R", sim);
  BaseObject* beside = Make("Auto");  // a sibling of the Sim at top level
  Switch(sim, "en");
  EXPECT_EQ(car->GetName(), "Car");
  EXPECT_EQ(wheel->GetName(), "Wheel FL 1L");
  EXPECT_EQ(engine->GetName(), "Engine");
  EXPECT_EQ(mine->GetName(), "Mein Motor");
  EXPECT_EQ(car2->GetName(), "Car 2R");
  EXPECT_EQ(beside->GetName(), "Auto");
  // And back.
  Switch(sim, "de");
  EXPECT_EQ(wheel->GetName(), "Rad VL 1L");
  EXPECT_EQ(car2->GetName(), "Auto 2R");
}

TEST_F(Names, ADeepHierarchyIsWalkedWithoutRecursion) {
  // Built from the bottom up and taken apart from the top, so that no host
  // call walks the whole chain.
  BaseObject* bottom = BaseObject::Alloc(Onull);
  bottom->SetName("Motor");
  BaseObject* top = bottom;
  for (int i = 0; i < 100000; ++i) {
    BaseObject* op = BaseObject::Alloc(Onull);
    op->SetName("Motor");
    top->InsertUnder(op);
    top = op;
  }
  top->SetName("Auto");
  Switch(top, "en");
  EXPECT_EQ(top->GetName(), "Car");
  EXPECT_EQ(bottom->GetName(), "Engine");
  while (top) {
    BaseObject* down = top->GetDown();
    if (down) down->Remove();
    BaseObject::Free(top);
    top = down;
  }
}

TEST_F(NameTables, TranslatesWithThePluginsOwnTables) {
  Write("strings_de",
        "// Deutsch\nSTRINGTABLE\n{\n  IDS_LANGUAGE 9998 \"de\";\n  IDS_CAR 10001 \"Auto\";\n"
        "  IDS_CUBE 10038 \"Crash-W\\u00fcrfel\";\n// Output Parameters\n  IDS_GEAR 10045 \"Gang\";\n}\n");
  Write("strings_us",
        "// English. IDS_<name> <number> \"<text>\";\nSTRINGTABLE\n{\n  IDS_LANGUAGE 9998 \"en\";\n"
        "  IDS_CAR 10001 \"Car\";\n  IDS_CUBE 10038 \"Crash Cube\";\n// Output Parameters\n"
        "  IDS_GEAR 10045 \"Gear\";\n}\n");
  StartPlugin("strings_de");
  BaseObject* sim = BaseObject::Alloc(Onull);
  BaseObject* car = BaseObject::Alloc(Onull);
  BaseObject* cube = BaseObject::Alloc(Onull);
  BaseObject* gear = BaseObject::Alloc(Onull);
  car->SetName("Car 1L");
  cube->SetName("Crash Cube");
  gear->SetName("Gear");
  car->InsertUnder(sim);
  cube->InsertUnderLast(sim);
  gear->InsertUnderLast(sim);
  TranslateObjectNames(nullptr, sim);
  EXPECT_EQ(car->GetName(), "Auto 1L");
  EXPECT_EQ(cube->GetName(), "Crash-W\xC3\xBCrfel");
  EXPECT_EQ(gear->GetName(), "Gear");  // below the output line: not in the dictionary

  // English interface: back again.
  StartPlugin("strings_us");
  TranslateObjectNames(nullptr, sim);
  EXPECT_EQ(car->GetName(), "Car 1L");
  EXPECT_EQ(cube->GetName(), "Crash Cube");

  // Without the German table nothing is renamed.
  fs::remove(dir_ / "res" / "strings_de" / "c4d_strings.str");
  StartPlugin("strings_de");
  car->SetName("Auto");
  TranslateObjectNames(nullptr, sim);
  EXPECT_EQ(car->GetName(), "Auto");
  TranslateObjectNames(nullptr, nullptr);
  BaseObject::Free(sim);
}

TEST_F(NameTables, TheShippedTablesArePairedByPosition) {
  // The tables the plug-in ships: every name the rig is built with in one
  // language must come out as the same entry of the other.
  std::vector<String> de(kNameDictionaryMax), en(kNameDictionaryMax);
  const Filename res(CARSIM_SOURCE_DIR "/vanto/res");
  const LONG nde = ReadNameTable(res + Filename("strings_de") + Filename("c4d_strings.str"), de.data(), kNameDictionaryMax);
  const LONG nen = ReadNameTable(res + Filename("strings_us") + Filename("c4d_strings.str"), en.data(), kNameDictionaryMax);
  ASSERT_GT(nen, 5);
  ASSERT_EQ(nde, nen);
  EXPECT_EQ(de[0], "de");
  EXPECT_EQ(en[0], "en");

  std::vector<std::pair<LONG, String>> de_ids, en_ids;
  ASSERT_TRUE(GeResource::ParseFile(res + Filename("strings_de") + Filename("c4d_strings.str"), de_ids));
  ASSERT_TRUE(GeResource::ParseFile(res + Filename("strings_us") + Filename("c4d_strings.str"), en_ids));
  for (LONG i = 0; i < nen; ++i) {
    ASSERT_LT(static_cast<size_t>(i), de_ids.size());
    ASSERT_LT(static_cast<size_t>(i), en_ids.size());
    EXPECT_EQ(de_ids[i].first, en_ids[i].first) << "entry " << i;  // same identifier at the same place
    EXPECT_EQ(de_ids[i].second, de[i]) << "entry " << i;         // the same text the host reads
    EXPECT_EQ(en_ids[i].second, en[i]) << "entry " << i;
  }
}

}  // namespace
