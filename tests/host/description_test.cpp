// Parameter descriptions from resources, the plug-in's GetDDescription and
// GetDEnabling as the host calls them, and user data.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "host_description.h"
#include "host_loader.h"
#include "host_plugin.h"

namespace {

constexpr LONG kDescProbe = 992001, kPlainProbe = 992002;

const char* kFixture = R"({
  "name": "Oprobe",
  "entries": [
    { "id": 5000, "type": "group", "name": "Main", "columns": 2 },
    { "id": 1001, "type": "bool", "parent": 5000, "name": "Run", "default": true },
    { "id": 1002, "type": "real", "parent": 5000, "name": "Gravity", "short": "g",
      "min": 0, "max": 100, "step": 0.01, "unit": "meter", "default": 9.81 },
    { "id": 1003, "type": "long", "parent": 5000, "name": "Mode", "cycle": { "0": "Off", "1": "On" } },
    { "id": 1004, "type": "vector", "name": "Size", "default": [1, 2, 3] },
    { "id": 1005, "type": "link", "name": "Route", "accept": [5101, 5118] },
    { "id": 0, "type": "separator", "parent": 5000 },
    { "id": 0, "type": "separator", "parent": 5000 },
    { "id": 1006, "type": "dtype", "dtype": 1009060, "name": "Curve", "animate": false }
  ]
})";

// Hides 1003 unless its LONG 1 is set, adds one Real entry 1100 + i per
// count in LONG 2, disables 1002 while Bool 1001 is off.
class DescProbe : public ObjectData {
 public:
  static NodeData* Alloc() { return new DescProbe; }
  Bool GetDDescription(GeListNode* node, Description* d, LONG& flags) override {
    if (!d->LoadDescription(kDescProbe)) return false;
    auto* bl = static_cast<BaseList2D*>(node);
    if (!bl->GetDataInstance()->GetBool(1))
      if (BaseContainer* bc = d->GetParameterI(DescID(1003), nullptr)) bc->SetBool(DESC_HIDE, true);
    for (LONG i = 0; i < bl->GetDataInstance()->GetLong(2); ++i) {
      BaseContainer bc = GetCustomDataTypeDefault(DA_REAL);
      bc.SetString(DESC_NAME, LongToString(i));
      bc.SetReal(DESC_MAX, 10.0);
      bc.SetLong(DESC_ANIMATE, DESC_ANIMATE_OFF);
      if (!d->SetParameter(DescID(DescLevel(1100 + i, DA_REAL, 0)), bc, DescID(5000))) return false;
    }
    flags |= DESCFLAGS_DESC_LOADED;
    return ObjectData::GetDDescription(node, d, flags);
  }
  Bool GetDEnabling(GeListNode* node, const DescID& id, const GeData& value, LONG, const BaseContainer* item) override {
    last_value = value;
    last_item = item;
    if (id[0].id == 1002) return static_cast<BaseList2D*>(node)->GetDataInstance()->GetBool(1001);
    return true;
  }
  GeData last_value;
  const BaseContainer* last_item = nullptr;
};

// No description code of its own: the host loads its resource.
class PlainProbe : public ObjectData {
 public:
  static NodeData* Alloc() { return new PlainProbe; }
};

class Descriptions : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = std::filesystem::temp_directory_path() / ("desc_test_" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder_);
    std::ofstream(folder_ / "Oprobe.json") << kFixture;
    hostdesc::AddResourceFolder(Filename(folder_.string().c_str()));
    hostregistry::SetCurrentModule("description_test");
    EXPECT_TRUE(RegisterObjectPlugin(kDescProbe, "DescProbe", 0, DescProbe::Alloc, "Oprobe", nullptr, 0));
    EXPECT_TRUE(RegisterObjectPlugin(kPlainProbe, "PlainProbe", 0, PlainProbe::Alloc, "Oprobe", nullptr, 0));
    hostregistry::SetCurrentModule(String());
  }
  static void TearDownTestSuite() {
    hostregistry::RemoveModule("description_test");
    hostdesc::ClearResourceFolders();
    std::filesystem::remove_all(folder_);
  }
  void TearDown() override { hostdesc::FailSetParameterAfter(0); }
  static std::filesystem::path folder_;
};
std::filesystem::path Descriptions::folder_;

TEST_F(Descriptions, ResourceGivesNamesTypesRangesAndOrder) {
  Description d;
  ASSERT_TRUE(d.LoadDescription(kPlainProbe)) << d.GetError();
  EXPECT_EQ(d.GetResourceName(), "Oprobe");
  ASSERT_EQ(d.GetCount(), 9);
  const BaseContainer* g = d.GetParameter(DescID(1002));
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->GetString(DESC_NAME), "Gravity");
  EXPECT_EQ(g->GetString(DESC_SHORT_NAME), "g");
  EXPECT_DOUBLE_EQ(g->GetReal(DESC_MAX), 100.0);
  EXPECT_DOUBLE_EQ(g->GetReal(DESC_DEFAULT), 9.81);
  EXPECT_EQ(g->GetLong(DESC_UNIT), DESC_UNIT_METER);
  EXPECT_EQ(g->GetLong(DESC_PARENTGROUP), 5000);
  EXPECT_EQ(d.Find(DescID(1002))->dtype, DA_REAL);
  EXPECT_EQ(d.Find(DescID(1001))->dtype, DTYPE_BOOL);
  EXPECT_EQ(d.Find(DescID(1006))->dtype, 1009060);
  EXPECT_EQ(d.GetParameter(DescID(1006))->GetLong(DESC_ANIMATE), DESC_ANIMATE_OFF);
  EXPECT_EQ(d.GetParameter(DescID(1003))->GetContainer(DESC_CYCLE).GetString(1), "On");
  EXPECT_EQ(d.GetParameter(DescID(1004))->GetVector(DESC_DEFAULT), Vector(1, 2, 3));
  EXPECT_TRUE(d.GetParameter(DescID(1005))->GetContainer(DESC_ACCEPT).GetBool(5118));
  EXPECT_EQ(d.GetParameter(DescID(1001))->GetString(DESC_SHORT_NAME), "Run");  // short defaults to name
  // Entries keep the file's order; both separators are kept.
  EXPECT_EQ(d.Entries()[6].id[0].id, 0);
  EXPECT_EQ(d.Entries()[7].id[0].id, 0);
  EXPECT_EQ(d.Entries()[8].id[0].id, 1006);
}

TEST_F(Descriptions, MalformedResourcesAreRefusedWithTheReason) {
  struct Case {
    const char* text;
    const char* reason;
  };
  const Case cases[] = {
      {"{", "not valid JSON"},
      {R"({"name": "x"})", "no \"entries\""},
      {R"({"entries": [{"type": "real"}]})", "no integer \"id\""},
      {R"({"entries": [{"id": 1, "type": "float"}]})", "unknown type \"float\""},
      {R"({"entries": [{"id": 1, "type": "real", "nmae": "x"}]})", "unknown key \"nmae\""},
      {R"({"entries": [{"id": 1, "type": "real", "default": "high"}]})", "does not fit"},
      {R"({"entries": [{"id": 1, "type": "real", "unit": "furlong"}]})", "known unit"},
      {R"({"entries": [{"id": 1, "type": "real"}, {"id": 1, "type": "long"}]})", "appears twice"},
      {R"({"entries": [{"id": 0, "type": "real"}]})", "id 0"},
      {R"({"entries": [{"id": 1, "type": "vector", "default": [1, 2]}]})", "does not fit"},
      {R"({"entries": [{"id": 1, "type": "long", "default": 1e300}]})", "entry 1: the default is beyond the integer range"},
      {R"({"entries": [{"id": 1, "type": "bool", "default": -3e9}]})", "beyond the integer range"},
      {R"({"entries": [{"id": 1, "type": "long", "max": 2147483648}]})", "entry 1: \"max\" is beyond the integer range"},
      {R"({"entries": [{"id": 1, "type": "long", "min": -1e300}]})", "\"min\" is beyond the integer range"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Description d;
    ASSERT_TRUE(d.LoadFromText(R"({"entries": [{"id": 7, "type": "long"}]})", nullptr));
    String why;
    EXPECT_FALSE(d.LoadFromText(c.text, &why));
    EXPECT_NE(why.find(c.reason), std::string::npos) << why;
    EXPECT_EQ(d.GetCount(), 1);  // what was loaded stays
  }
  // The ends of the integer range are fine.
  Description edge;
  ASSERT_TRUE(edge.LoadFromText(
      R"({"entries": [{"id": 1, "type": "long", "min": -2147483648, "max": 2147483647, "default": 2147483647}]})", nullptr));
  EXPECT_EQ(edge.GetParameter(DescID(1))->GetLong(DESC_MIN), INT32_MIN);
  EXPECT_EQ(edge.GetParameter(DescID(1))->GetLong(DESC_DEFAULT), INT32_MAX);
  Description d;
  EXPECT_FALSE(d.LoadDescriptionByName("Onothere"));
  EXPECT_NE(d.GetError().find("Onothere"), std::string::npos);
  EXPECT_FALSE(d.LoadDescription(4711));
}

TEST_F(Descriptions, PluginHidesAndAddsEntriesAndHostAppendsUserData) {
  BaseObject* op = BaseObject::Alloc(kDescProbe);
  ASSERT_NE(op, nullptr);
  op->GetDataInstance()->SetLong(2, 3);
  BaseContainer ud = GetCustomDataTypeDefault(DA_STRING);
  ud.SetString(DESC_NAME, "Note");
  DescID note = op->GetDynamicDescription()->Alloc(ud);

  Description d;
  ASSERT_TRUE(hostdesc::GetNodeDescription(op, &d));
  EXPECT_TRUE(d.IsHidden(DescID(1003)));
  EXPECT_FALSE(d.IsHidden(DescID(1002)));
  for (LONG i = 0; i < 3; ++i) {
    const BaseContainer* bc = d.GetParameter(DescID(1100 + i));
    ASSERT_NE(bc, nullptr);
    EXPECT_EQ(bc->GetString(DESC_NAME), LongToString(i));
    EXPECT_EQ(d.Find(DescID(1100 + i))->parent, DescID(5000));
  }
  EXPECT_EQ(d.GetParameter(DescID(1103)), nullptr);
  const DescEntry* ue = d.Find(note);
  ASSERT_NE(ue, nullptr);
  EXPECT_EQ(ue->parent, DescID(ID_USERDATA));
  EXPECT_EQ(ue->settings.GetString(DESC_NAME), "Note");

  // Setting the switch shows the entry again on the next request.
  op->GetDataInstance()->SetBool(1, true);
  ASSERT_TRUE(hostdesc::GetNodeDescription(op, &d));
  EXPECT_FALSE(d.IsHidden(DescID(1003)));
  EXPECT_EQ(d.GetParameter(DescID(1100)) != nullptr, true);

  // A refused entry ends the plug-in's description.
  hostdesc::FailSetParameterAfter(2);
  hostdesc::GetNodeDescription(op, &d);
  EXPECT_NE(d.GetParameter(DescID(1100)), nullptr);
  EXPECT_EQ(d.GetParameter(DescID(1101)), nullptr);
  EXPECT_EQ(d.GetParameter(DescID(1102)), nullptr);
  BaseObject::Free(op);
}

TEST_F(Descriptions, EnablingIsAskedWithTheValueAndTheEntry) {
  BaseObject* op = BaseObject::Alloc(kDescProbe);
  ASSERT_NE(op, nullptr);
  auto* probe = op->GetNodeData<DescProbe>();
  op->GetDataInstance()->SetReal(1002, 4.5);
  Description d;
  ASSERT_TRUE(hostdesc::GetNodeDescription(op, &d));
  EXPECT_FALSE(hostdesc::IsEnabled(op, DescID(1002), &d));
  EXPECT_DOUBLE_EQ(probe->last_value.GetReal(), 4.5);
  EXPECT_EQ(probe->last_item, d.GetParameter(DescID(1002)));
  op->GetDataInstance()->SetBool(1001, true);
  EXPECT_TRUE(hostdesc::IsEnabled(op, DescID(1002)));
  EXPECT_EQ(probe->last_item, nullptr);
  BaseObject::Free(op);

  // Nodes without plug-in data are enabled; their description is the host's.
  BaseObject* null = BaseObject::Alloc(Onull);
  EXPECT_TRUE(hostdesc::IsEnabled(null, DescID(1002)));
  EXPECT_FALSE(hostdesc::GetNodeDescription(null, &d));
  BaseObject::Free(null);
}

TEST_F(Descriptions, HostLoadsTheStaticDescriptionWhenThePluginDoesNot) {
  BaseObject* op = BaseObject::Alloc(kPlainProbe);
  ASSERT_NE(op, nullptr);
  Description d;
  ASSERT_TRUE(hostdesc::GetNodeDescription(op, &d));
  EXPECT_EQ(d.GetCount(), 9);
  EXPECT_FALSE(d.IsHidden(DescID(1003)));
  BaseObject::Free(op);
}

TEST(UserData, EntriesHoldTypedValues) {
  BaseObject* op = BaseObject::Alloc(Onull);
  DynamicDescription* dd = op->GetDynamicDescription();
  EXPECT_EQ(dd->GetCount(), 0);
  BaseContainer real = GetCustomDataTypeDefault(DA_REAL);
  real.SetReal(DESC_DEFAULT, 2.5);
  DescID r = dd->Alloc(real);
  DescID v = dd->Alloc(GetCustomDataTypeDefault(DA_VECTOR));
  DescID s = dd->Alloc(GetCustomDataTypeDefault(DA_STRING));
  DescID b = dd->Alloc(GetCustomDataTypeDefault(DTYPE_BOOL));
  EXPECT_EQ(r, DescID(DescLevel(ID_USERDATA), DescLevel(1)));
  EXPECT_EQ(b[1].id, 4);
  EXPECT_EQ(b[1].dtype, DTYPE_BOOL);
  EXPECT_EQ(dd->Alloc(BaseContainer()).GetDepth(), 0);  // no data type

  GeData out;
  ASSERT_TRUE(op->GetParameter(r, out));
  EXPECT_DOUBLE_EQ(out.GetReal(), 2.5);  // starts at its default
  ASSERT_TRUE(op->GetParameter(s, out));
  EXPECT_EQ(out.GetType(), DA_STRING);

  struct Set {
    DescID id;
    GeData value;
    bool ok;
  };
  const Set sets[] = {
      {r, GeData(3), true},                         // numbers convert
      {r, GeData(String("x")), false},              // a text into a Real
      {s, GeData(1.0), false},                      // a number into a text
      {s, GeData(String("hello")), true},
      {v, GeData(Vector(1, 2, 3)), true},
      {DescID(DescLevel(ID_USERDATA), DescLevel(2), DescLevel(VECTOR_Y)), GeData(9.0), true},
      {b, GeData(7), true},                         // a Bool stays 0 or 1
      {DescID(DescLevel(ID_USERDATA), DescLevel(9)), GeData(1.0), false},  // no such entry
      {DescID(ID_USERDATA), GeData(1.0), false},
  };
  for (const Set& c : sets) EXPECT_EQ(op->SetParameter(c.id, c.value), c.ok) << c.id[1].id;
  ASSERT_TRUE(op->GetParameter(r, out));
  EXPECT_EQ(out.GetType(), DA_REAL);
  EXPECT_DOUBLE_EQ(out.GetReal(), 3.0);
  ASSERT_TRUE(op->GetParameter(v, out));
  EXPECT_EQ(out.GetVector(), Vector(1, 9, 3));
  ASSERT_TRUE(op->GetParameter(DescID(DescLevel(ID_USERDATA), DescLevel(2), DescLevel(VECTOR_Z)), out));
  EXPECT_DOUBLE_EQ(out.GetReal(), 3.0);
  ASSERT_TRUE(op->GetParameter(b, out));
  EXPECT_EQ(out.GetLong(), 1);

  // Copies carry the entries and values; they are the copy's own.
  auto* copy = static_cast<BaseObject*>(op->GetClone());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->GetDynamicDescription()->GetCount(), 4);
  ASSERT_TRUE(copy->GetParameter(s, out));
  EXPECT_EQ(out.GetString(), "hello");
  ASSERT_TRUE(copy->SetParameter(s, GeData(String("copy"))));
  ASSERT_TRUE(op->GetParameter(s, out));
  EXPECT_EQ(out.GetString(), "hello");
  BaseObject::Free(copy);
  BaseObject::Free(op);
}

TEST(UserData, BrowseWalksInIndexOrderAndSurvivesChanges) {
  BaseObject* op = BaseObject::Alloc(Onull);
  DynamicDescription* dd = op->GetDynamicDescription();
  std::vector<DescID> ids;
  for (const char* name : {"a", "b", "c"}) {
    BaseContainer bc = GetCustomDataTypeDefault(DA_LONG);
    bc.SetString(DESC_NAME, name);
    ids.push_back(dd->Alloc(bc));
  }
  ASSERT_TRUE(dd->Remove(ids[1]));
  EXPECT_FALSE(dd->Remove(ids[1]));
  EXPECT_EQ(dd->Find(ids[1]), nullptr);
  GeData out;
  EXPECT_FALSE(op->GetParameter(ids[1], out));

  BaseContainer renamed = *dd->Find(ids[2]);
  renamed.SetString(DESC_NAME, "C");
  ASSERT_TRUE(dd->Set(ids[2], renamed));
  EXPECT_FALSE(dd->Set(ids[1], renamed));

  void* h = dd->BrowseInit();
  DescID id;
  const BaseContainer* bc = nullptr;
  std::vector<std::string> names;
  while (dd->BrowseGetNext(h, &id, &bc)) {
    names.push_back(bc->GetString(DESC_NAME));
    EXPECT_EQ(id[1].dtype, DA_LONG);
    // Removing entries during the walk does not disturb it.
    dd->Remove(id);
  }
  EXPECT_FALSE(dd->BrowseGetNext(h, &id, &bc));
  dd->BrowseFree(h);
  EXPECT_EQ(h, nullptr);
  EXPECT_EQ(names, (std::vector<std::string>{"a", "C"}));
  EXPECT_EQ(dd->GetCount(), 0);

  // A node without user data walks nothing.
  h = dd->BrowseInit();
  EXPECT_FALSE(dd->BrowseGetNext(h, &id, &bc));
  dd->BrowseFree(h);
  BaseObject::Free(op);
}

}  // namespace
