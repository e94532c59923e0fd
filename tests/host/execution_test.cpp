// The evaluation loop: priorities, order, freed nodes, re-entrancy; and the
// host's memory, sort and input services.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "host_loader.h"
#include "host_plugin.h"
#include "host_services.h"

namespace {

std::vector<std::string> g_calls;

// An object that runs at the priority stored in its container (ID 1) and
// records its name when executed; ID 2 asks it to free its next sibling,
// ID 3 to evaluate the document again from inside its own evaluation.
class Probe : public ObjectData {
 public:
  static NodeData* Alloc() { return new Probe; }
  Bool AddToExecution(BaseObject* op, PriorityList* list) override {
    list->Add(op, op->GetDataInstance()->GetLong(1), 0);
    return true;
  }
  EXECUTIONRESULT Execute(BaseObject* op, BaseDocument* doc, BaseThread* bt, LONG, LONG flags) override {
    g_calls.push_back(std::string(op->GetName()) + (flags & EXECUTIONFLAGS_ANIMATION ? "+a" : ""));
    BaseContainer* bc = op->GetDataInstance();
    if (bc->GetBool(2)) {
      BaseObject* next = op->GetNext();
      BaseObject::Free(next);
    }
    if (bc->GetBool(3)) {
      bc->SetBool(3, false);  // once
      doc->ExecutePasses(bt, false, true, false);
    }
    return EXECUTIONRESULT_OK;
  }
};

class ProbeTag : public TagData {
 public:
  static NodeData* Alloc() { return new ProbeTag; }
  EXECUTIONRESULT Execute(BaseTag* tag, BaseDocument*, BaseObject* op, BaseThread*, LONG, LONG) override {
    g_calls.push_back(std::string(op->GetName()) + ".tag");
    (void)tag;
    return EXECUTIONRESULT_OK;
  }
};

constexpr LONG kProbe = 991001, kProbeTag = 991002, kPlainTag = 991003;

class Evaluation : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(RegisterObjectPlugin(kProbe, "Probe", OBJECT_CALL_ADDEXECUTION, Probe::Alloc, "Oprobe", nullptr, 0));
    ASSERT_TRUE(RegisterTagPlugin(kProbeTag, "ProbeTag", TAG_VISIBLE | TAG_EXPRESSION, ProbeTag::Alloc, "Tprobe",
                                  nullptr, 0));
    // Not an expression: never executed.
    ASSERT_TRUE(RegisterTagPlugin(kPlainTag, "PlainTag", TAG_VISIBLE, ProbeTag::Alloc, "Tplain", nullptr, 0));
  }
  static void TearDownTestSuite() { hostregistry::RemoveModule(String()); }
  void SetUp() override {
    g_calls.clear();
    doc = BaseDocument::Alloc();
  }
  void TearDown() override { BaseDocument::Free(doc); }
  BaseObject* Add(const char* name, LONG priority, BaseObject* parent = nullptr) {
    BaseObject* op = BaseObject::Alloc(kProbe);
    op->SetName(name);
    op->GetDataInstance()->SetLong(1, priority);
    BaseObject* last = parent ? parent->GetDownLast() : nullptr;
    if (!parent)
      for (BaseObject* o = doc->GetFirstObject(); o; o = o->GetNext()) last = o;
    doc->InsertObject(op, parent, last);
    return op;
  }
  BaseDocument* doc;
};

TEST_F(Evaluation, SortedByPriorityStableInTreeOrder) {
  BaseObject* a = Add("a", 3000);
  Add("b", 1000);
  Add("a1", 3000, a);
  Add("c", 3000);
  a->MakeTag(kProbeTag);
  a->MakeTag(kPlainTag);
  ASSERT_TRUE(doc->ExecutePasses(nullptr, true, true, false));
  // Pre-order (object, its tags, its children); equal priorities keep that order.
  EXPECT_EQ(g_calls, (std::vector<std::string>{"b+a", "a+a", "a.tag", "a1+a", "c+a"}));
  g_calls.clear();
  doc->ExecutePasses(nullptr, false, true, false);
  EXPECT_EQ(g_calls.front(), "b");  // no animation flag without the animation pass
  g_calls.clear();
  doc->ExecutePasses(nullptr, true, false, false);
  EXPECT_TRUE(g_calls.empty());
}

TEST_F(Evaluation, NodesFreedDuringTheLoopAreSkipped) {
  BaseObject* a = Add("a", 1000);
  Add("b", 2000);
  a->GetDataInstance()->SetBool(2, true);  // a frees b before b's turn
  doc->ExecutePasses(nullptr, false, true, false);
  EXPECT_EQ(g_calls, (std::vector<std::string>{"a"}));
}

TEST_F(Evaluation, IsReentrant) {
  BaseObject* a = Add("a", 1000);
  Add("b", 2000);
  a->GetDataInstance()->SetBool(3, true);
  doc->ExecutePasses(nullptr, false, true, false);
  EXPECT_EQ(g_calls, (std::vector<std::string>{"a", "a", "b", "b"}));
}

TEST(MessageOutput, RepeatedLinesAreCountedNotPrinted) {
  hostlog::Clear();
  hostlog::SetQuiet(false);
  hostlog::FlushOutput();
  ::testing::internal::CaptureStderr();
  for (int i = 0; i < 1000; ++i) GePrint("Simulation Error -4");
  MessageDialog("box");
  MessageDialog("box");
  GePrint("Simulation Error -4");
  GePrint("done");
  hostlog::FlushOutput();
  GePrint("done");  // after a flush a line is new again
  hostlog::FlushOutput();
  const std::string out = ::testing::internal::GetCapturedStderr();
  hostlog::SetQuiet(true);
  EXPECT_EQ(out,
            "Simulation Error -4\n... repeated 999 more times\n[message] box\n... repeated 1 more time\n"
            "Simulation Error -4\ndone\ndone\n");
  // The host's log keeps every line.
  EXPECT_EQ(hostlog::Console().size(), 1003u);
  EXPECT_EQ(hostlog::Dialogs().size(), 2u);
  hostlog::Clear();
}

TEST(Memory, ZeroFilledCountedAndFailable) {
  long before = hostmem::LiveBlocks();
  auto* p = static_cast<unsigned char*>(GeAlloc(64));
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 64; ++i) ASSERT_EQ(p[i], 0);
  EXPECT_EQ(hostmem::LiveBlocks(), before + 1);
  GeFree(p);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(hostmem::LiveBlocks(), before);
  hostmem::FailAllocation(2);
  void* first = GeAlloc(8);
  void* second = GeAlloc(8);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(second, nullptr);
  GeFree(first);
  // Plug-in nodes come from the same allocator: a failed allocation gives no object.
  RegisterObjectPlugin(991010, "Probe2", 0, Probe::Alloc, "", nullptr, 0);
  hostmem::FailAllocation(1);
  EXPECT_EQ(BaseObject::Alloc(991010), nullptr);
  hostregistry::RemoveModule(String());
}

struct Pair {
  double value, key;
};
class ByKey : public GeSortAndSearch {
 public:
  LONG Compare(void* a, void* b) override {
    double ka = static_cast<Pair*>(a)->key, kb = static_cast<Pair*>(b)->key;
    return kb > ka ? -1 : (ka > kb ? 1 : 0);
  }
};
class Liar : public GeSortAndSearch {
 public:
  LONG Compare(void*, void*) override { return (++n % 3) - 1; }
  int n = 0;
};

TEST(Sort, StableAndNeverOutOfBounds) {
  std::vector<Pair> v = {{5, 3.0}, {6, 1.0}, {7, 2.0}, {8, 1.0}};
  ByKey().Sort(v.data(), 4, sizeof(Pair));
  EXPECT_EQ(v[0].value, 6);
  EXPECT_EQ(v[1].value, 8);
  EXPECT_EQ(v[2].value, 7);
  EXPECT_EQ(v[3].value, 5);
  // NaN keys and a comparator that contradicts itself: the values are only
  // permuted (ASan guards the bounds).
  std::vector<Pair> w;
  for (int i = 0; i < 37; ++i) w.push_back({double(i), i % 5 ? std::nan("") : double(-i)});
  ByKey().Sort(w.data(), 37, sizeof(Pair));
  Liar().Sort(w.data(), 37, sizeof(Pair));
  double sum = 0;
  for (const auto& p : w) sum += p.value;
  EXPECT_EQ(sum, 36 * 37 / 2);
}

// The keyboard device 'keyb', the Escape key 0xF11B and the value entry
// 'ipva' are the host's own codes; a query with other numbers sees no key.
TEST(Input, EscapeCanBeScripted) {
  BaseContainer res;
  hostinput::PressEscapeAfter(2);
  GetInputState(0x6b657962, 0xF11B, res);
  EXPECT_EQ(res.GetLong(0x69707661), 0);
  GetInputState(0x6b657962, 0xF11B, res);
  EXPECT_EQ(res.GetLong(0x69707661), 1);
  GetInputState(0x6b657962, 0xF11B, res);
  EXPECT_EQ(res.GetLong(0x69707661), 0);

  hostinput::PressEscapeAfter(1);
  GetInputState(1, 27, res);
  EXPECT_EQ(res.GetLong(0x69707661), 0);
  EXPECT_EQ(res.GetLong(1000), 0);
  hostinput::PressEscapeAfter(0);
}

}  // namespace
