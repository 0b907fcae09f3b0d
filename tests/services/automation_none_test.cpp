// The bridge where no automation engine exists: nothing can be created, and
// every call reports the empty object and gives the empty value of its kind.
#include <gtest/gtest.h>

#include "services/automation.h"

namespace cx {
namespace {

TEST(NoAutomationEngine, CreationFailsAndKeepsTheVariable) {
  int marker = 0;
  ObjectRecord v;
  v.data = &marker;  // what the variable held before
  Text library = Text::copy("scrrun.dll");
  EXPECT_FALSE(object_create(&v, Text::copy("ScriptControl")));
  EXPECT_FALSE(object_create(&v, Text::copy("Dictionary"), &library));
  EXPECT_FALSE(object_create(nullptr, Text::copy("ScriptControl")));
  EXPECT_EQ(v.data, &marker);
}

TEST(NoAutomationEngine, EveryCallFindsTheObjectEmpty) {
  ObjectRecord v;
  Cell arg = cell_text("xx");
  EXPECT_FALSE(object_set_property(&v, Text::copy("Language"), cell_text("JScript")));
  EXPECT_EQ(object_call_status(), OBJ_EMPTY);
  EXPECT_EQ(object_call_number(&v, Text::copy("ExecuteStatement"), 1, &arg), 0.0);
  EXPECT_EQ(object_call_status(), OBJ_EMPTY);
  EXPECT_TRUE(object_call_text(&v, Text::copy("Run"), 1, &arg).empty());
  EXPECT_EQ(object_call_status(), OBJ_EMPTY);
  Cell obj = object_call_value(&v, Text::copy("Eval"), TAG_OBJECT);
  ASSERT_EQ(obj.tag, uint32_t(TAG_OBJECT));
  ASSERT_NE(obj.v.ptr, nullptr);  // an empty record, owned by the caller
  EXPECT_EQ(static_cast<ObjectRecord*>(obj.v.ptr)->iface, nullptr);
  object_result_release(&obj);
}

TEST(NoAutomationEngine, TheCellFormsAgree) {
  ObjectRecord v;
  Cell args[3] = {};
  args[0].tag = TAG_OBJECT;
  args[0].v.ptr = &v;
  args[1] = cell_text("ScriptControl");
  Cell result{};
  svc_object_create(2, args, &result);
  EXPECT_EQ(result.tag, uint32_t(TAG_BOOL));
  EXPECT_FALSE(cell_as_bool(result));
  args[1] = cell_text("Run");
  args[2] = cell_text("xx");
  result = Cell{};
  svc_object_call_text(3, args, &result);
  EXPECT_EQ(result.tag, uint32_t(TAG_TEXT));
  EXPECT_EQ(result.v.ptr, nullptr);
  EXPECT_EQ(object_call_status(), OBJ_EMPTY);
  svc_object_clear(1, args, &result);
  svc_object_clear(1, args, &result);
  EXPECT_EQ(v.iface, nullptr);
}

}  // namespace
}  // namespace cx
