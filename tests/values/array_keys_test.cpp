// Elements keyed by integers and texts: the key rule, order, removal,
// copies, cycles and the memory ceiling.
#include "orva.h"
#include "support/memory.h"
#include "values/array_cycle.h"
#include "values/array_keys.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace
{
// What a value keys, as text: "#7" for the integer key 7, else the text.
std::string KeyName(ORVA_Value *value)
{
   ORVA_ElementKey key;
   if (!ElementKeyOf(value, &key))
      return "(none)";
   if (!key.isText)
      return "#" + std::to_string(key.index);
   return std::string(key.text, key.length);
}

struct KeyCase
{
   const char *name;
   std::function<ORVA_Value *()> make;
   const char *keys;
};

// The values of the rule's edges, each made as a script or a host makes it.
const std::vector<KeyCase> &KeyCases()
{
   static const std::vector<KeyCase> cases = {
      {"int32", [] { return new ORVA_Value(10); }, "#10"},
      {"negative", [] { return new ORVA_Value(-3); }, "#-3"},
      {"canonical text", [] { return new ORVA_Value("10"); }, "#10"},
      {"negative text", [] { return new ORVA_Value("-3"); }, "#-3"},
      {"lowest index", [] { return new ORVA_Value("-2147483648"); }, "#-2147483648"},
      {"highest index", [] { return new ORVA_Value(static_cast<int64>(INT32_MAX)); }, "#2147483647"},
      {"int64 in range", [] { return new ORVA_Value(static_cast<int64>(5)); }, "#5"},
      {"uint64 in range", [] { return new ORVA_Value(static_cast<uint64>(6)); }, "#6"},
      {"leading zeros", [] { return new ORVA_Value("007"); }, "007"},
      {"minus zero", [] { return new ORVA_Value("-0"); }, "-0"},
      {"plus sign", [] { return new ORVA_Value("+1"); }, "+1"},
      {"blank before", [] { return new ORVA_Value(" 10"); }, " 10"},
      {"decimal", [] { return new ORVA_Value("1.5"); }, "1.5"},
      {"trailing zero", [] { return new ORVA_Value("1.10"); }, "1.10"},
      {"exponent", [] { return new ORVA_Value("1e3"); }, "1e3"},
      {"hex", [] { return new ORVA_Value("0x10"); }, "0x10"},
      {"past the index range", [] { return new ORVA_Value("2147483648"); }, "2147483648"},
      {"int64 past the range", [] { return new ORVA_Value(static_cast<int64>(4294967296LL)); }, "4294967296"},
      {"uint32 past the range", [] { return new ORVA_Value(static_cast<uint32>(3000000000u)); }, "3000000000"},
      {"real", [] { return new ORVA_Value(1.5); }, "1.500000"},
      {"whole real", [] { return new ORVA_Value(7.0); }, "7.000000"},
      {"address", [] { return new ORVA_Value("10.0.0.1"); }, "10.0.0.1"},
      {"empty text", [] { return new ORVA_Value(""); }, ""},
      {"inner zero byte", [] { return new ORVA_Value("a\0b", 3); }, std::string("a\0b", 3).c_str()},
   };
   return cases;
}
}

TEST(ElementKeys, TheRuleDependsOnTheTextNotOnWhetherItReadsAsANumber)
{
   for (const KeyCase &c : KeyCases())
   {
      SCOPED_TRACE(c.name);
      std::unique_ptr<ORVA_Value> value(c.make());
      if (strcmp(c.name, "inner zero byte") == 0)
         EXPECT_EQ(KeyName(value.get()), std::string("a\0b", 3));
      else
         EXPECT_EQ(KeyName(value.get()), c.keys);
   }
   ORVA_Value null;
   ORVA_Array *array = new ORVA_Array();
   ORVA_Value holder(array);
   ORVA_ElementKey key;
   EXPECT_FALSE(ElementKeyOf(&null, &key));
   EXPECT_FALSE(ElementKeyOf(&holder, &key));
}

// Every key keys its own element, and a key handed back by KeysOf finds
// the element again: the texts that read as numbers included.
TEST(ElementKeys, KeysHandedOutFindTheirElementsAgain)
{
   ORVA_Array *array = new ORVA_Array();
   ORVA_Value holder(array);
   int32 n = 0;
   std::vector<std::string> distinct;
   for (const KeyCase &c : KeyCases())
   {
      std::unique_ptr<ORVA_Value> value(c.make());
      ORVA_ElementKey key;
      ASSERT_TRUE(ElementKeyOf(value.get(), &key));
      ORVA_Value stored(++n);
      ASSERT_TRUE(KeyedSet(array, key, &stored));
   }
   // "10" and 10, "-3" and -3 name one element each.
   EXPECT_EQ(KeyedCount(array), static_cast<int64>(KeyCases().size()) - 2);
   EXPECT_EQ(KeyedGet(array, ElementKeyOfText("007", 3))->GetValueAsInt32(), 9);
   EXPECT_EQ(array->Get(7), nullptr) << "\"007\" and 7 are two elements";
   EXPECT_EQ(array->GetText("1.1", 3), nullptr) << "\"1.1\" and \"1.10\" are two elements";

   ORVA_Array *keys = KeysOf(array);
   ASSERT_NE(keys, nullptr);
   ORVA_Value keysHolder(keys);
   ASSERT_EQ(keys->Size(), KeyedCount(array));
   for (int32 i = 1; i <= keys->Size(); i++)
   {
      ORVA_Value copy(keys->Get(i));   // as a script would hold it
      ORVA_ElementKey key;
      ASSERT_TRUE(ElementKeyOf(&copy, &key));
      EXPECT_NE(KeyedGet(array, key), nullptr) << "key " << i << ": " << KeyName(&copy);
   }
}

// Integer keys ascending, then text keys in first-insertion order; a key
// replaced keeps its place, one removed and stored again goes last.
TEST(ElementKeys, WalkOrderIsIntegersThenTextsAsFirstInserted)
{
   ORVA_Array *array = new ORVA_Array();
   ORVA_Value holder(array);
   auto put = [&](const char *key, int value) {
      ORVA_Value v(value);
      ASSERT_TRUE(KeyedSet(array, ElementKeyOfText(key, static_cast<uint32>(strlen(key))), &v));
   };
   for (const char *key : {"b", "5", "a", "-1", "c", "1000000", "z"})
      put(key, 1);
   put("a", 2);
   EXPECT_TRUE(KeyedRemove(array, ElementKeyOfText("b", 1)));
   EXPECT_FALSE(KeyedRemove(array, ElementKeyOfText("b", 1)));
   put("b", 3);

   auto walk = [&] {
      std::string seen;
      ORVA_Array *keys = KeysOf(array);
      ORVA_Value keysHolder(keys);
      for (int32 i = 1; i <= keys->Size(); i++)
         seen += std::string(keys->Get(i)->GetValueAsCString()) + " ";
      return seen;
   };
   EXPECT_EQ(walk(), "-1 5 1000000 a c z b ");
   ASSERT_EQ(array->TextCount(), 4);
   uint32 length = 0;
   EXPECT_STREQ(array->TextKeyAt(0, &length), "a");
   EXPECT_EQ(array->TextValueAt(0)->GetValueAsInt32(), 2);
   EXPECT_STREQ(array->TextKeyAt(3, &length), "b");
   EXPECT_EQ(array->TextKeyAt(4, &length), nullptr);
   EXPECT_EQ(length, 0u);
   EXPECT_EQ(array->Size(), 3) << "Size counts the integer keys only";

   // A null element reads as missing: the walk skips it.
   ORVA_Value null;
   ASSERT_TRUE(KeyedSet(array, ElementKeyOfText("c", 1), &null));
   EXPECT_EQ(walk(), "-1 5 1000000 a z b ");
}

// Many keys, removed and stored in turns: the table finds every live key
// and none of the removed ones, across its growth and compaction.
TEST(ElementKeys, ManyKeysSurviveGrowthRemovalAndCompaction)
{
   ORVA_Array *array = new ORVA_Array();
   ORVA_Value holder(array);
   const int count = 20000;
   int removedLast = 0;
   for (int round = 0; round < 3; round++)
   {
      for (int i = 0; i < count; i++)
      {
         const std::string key = "host-" + std::to_string(i);
         ORVA_Value value(i + round);
         ASSERT_TRUE(KeyedSet(array, ElementKeyOfText(key.data(), static_cast<uint32>(key.size())), &value));
      }
      for (int i = round; i < count; i += 3)
      {
         const std::string key = "host-" + std::to_string(i);
         ASSERT_TRUE(array->RemoveText(key.data(), static_cast<uint32>(key.size())));
         removedLast += (round == 2) ? 1 : 0;
      }
   }
   EXPECT_EQ(array->TextCount(), count - removedLast);
   for (int i = 0; i < count; i++)
   {
      const std::string key = "host-" + std::to_string(i);
      ORVA_Value *value = array->GetText(key.data(), static_cast<uint32>(key.size()));
      if (i % 3 == 2)
         EXPECT_EQ(value, nullptr) << key;
      else
         ASSERT_TRUE(value != nullptr && value->GetValueAsInt32() == i + 2) << key;
   }
}

// Removing integer keys: at the ends of the run the element goes, inside
// it the element is left holding null; the run can empty and start again.
TEST(ElementKeys, RemovingIntegerKeysKeepsTheRunWhole)
{
   ORVA_Array *array = new ORVA_Array();
   ORVA_Value holder(array);
   // Texts, so that a slot left behind owning them would be freed twice.
   for (int i = 1; i <= 10; i++)
      array->Set(i, new ORVA_Value(("text " + std::to_string(i)).c_str()));
   array->Set(100, new ORVA_Value(100));
   array->Set(-100, new ORVA_Value(-100));

   EXPECT_EQ(array->Remove(10), 1);
   EXPECT_EQ(array->Remove(5), 1);
   EXPECT_EQ(array->Remove(5), 0);
   EXPECT_EQ(array->Remove(100), 1);
   EXPECT_EQ(array->Remove(42), 0);
   EXPECT_EQ(array->Size(), 10);   // -100, 1..9 (5 holding null)
   EXPECT_EQ(array->Get(5), nullptr);
   EXPECT_EQ(KeyedCount(array), 9);

   for (int i = 1; i <= 9; i++)
      array->Remove(i);
   EXPECT_EQ(KeyedCount(array), 1);
   // The run starts again elsewhere: elements on both sides keep their order.
   for (int i = 50; i >= -50; i -= 10)
      array->Set(i, new ORVA_Value(i));
   std::vector<int32> indices;
   for (int32 p = 0; p < array->Size(); p++)
      if (array->ValueAt(p) != nullptr)
         indices.push_back(array->IndexAt(p));
   EXPECT_EQ(indices, (std::vector<int32>{-100, -50, -40, -30, -20, -10, 0, 10, 20, 30, 40, 50}));
   for (int32 index : indices)
      EXPECT_EQ(array->Get(index)->GetValueAsInt32(), index);

   // Engine stores move texts into the slots; removal inside the run and a
   // copy of the array with the hole must each free them once.
   ORVA_Array *moved = new ORVA_Array();
   ORVA_Value movedHolder(moved);
   for (int i = 1; i <= 6; i++)
   {
      ORVA_Value text(("moved " + std::to_string(i)).c_str());
      ASSERT_TRUE(KeyedSet(moved, ElementKeyOfText(std::to_string(i).c_str(), 1), &text));
   }
   EXPECT_TRUE(KeyedRemove(moved, ElementKeyOfText("3", 1)));
   EXPECT_FALSE(KeyedRemove(moved, ElementKeyOfText("3", 1)));
   EXPECT_TRUE(KeyedRemove(moved, ElementKeyOfText("4", 1)));   // stays a hole to the end
   ORVA_Array *copy = new ORVA_Array(moved);
   ORVA_Value copyHolder(copy);
   EXPECT_EQ(KeyedCount(copy), 4);
   ORVA_Value again("again");
   ASSERT_TRUE(KeyedSet(moved, ElementKeyOfText("3", 1), &again));
   EXPECT_STREQ(moved->Get(3)->GetValueAsCString(), "again");
}

// A copy is separate: changing one changes nothing in the other, and the
// copy walks its text keys in the same order.
TEST(ElementKeys, CopiesAreSeparateAndKeepTheOrder)
{
   ORVA_Array *array = new ORVA_Array();
   ORVA_Value holder(array);
   array->SetText("x", 1, new ORVA_Value("one"));
   array->SetText("y", 1, new ORVA_Value(2));
   array->RemoveText("x", 1);
   array->SetText("x", 1, new ORVA_Value("three"));
   array->Set(1, new ORVA_Value(1));

   ORVA_Array *copy = new ORVA_Array(array);
   ORVA_Value copyHolder(copy);
   copy->SetText("y", 1, new ORVA_Value(20));
   copy->RemoveText("x", 1);
   EXPECT_EQ(array->GetText("y", 1)->GetValueAsInt32(), 2);
   EXPECT_STREQ(array->GetText("x", 1)->GetValueAsCString(), "three");
   EXPECT_EQ(copy->GetText("x", 1), nullptr);
   EXPECT_EQ(copy->Get(1)->GetValueAsInt32(), 1);

   ORVA_Array *again = new ORVA_Array(array);
   ORVA_Value againHolder(again);
   ASSERT_EQ(again->TextCount(), 2);
   EXPECT_STREQ(again->TextKeyAt(0, nullptr), "y");
   EXPECT_STREQ(again->TextKeyAt(1, nullptr), "x");

   // Only text keys: still copied.
   ORVA_Array *texts = new ORVA_Array();
   ORVA_Value textsHolder(texts);
   texts->SetText("k", 1, new ORVA_Value(1));
   ORVA_Array *textsCopy = new ORVA_Array(texts);
   ORVA_Value textsCopyHolder(textsCopy);
   EXPECT_EQ(textsCopy->TextCount(), 1);
}

// Arrays that hold each other through text keys are collected, and so are
// rings that mix integer and text keys.
TEST(ElementKeys, CyclesThroughTextKeysAreCollected)
{
   struct Counting : ORVA_Class
   {
      int releases = 0;
      Counting() { strcpy(m_name, "COUNTER"); }
      void OnObjectRelease(ORVA_Object *) override { releases++; }
   } cls;
   for (int count : {1, 2, 50})
   {
      std::vector<ORVA_Array *> arrays;
      for (int i = 0; i < count; i++)
      {
         arrays.push_back(new ORVA_Array());
         arrays.back()->SetText("tag", 3, new ORVA_Value(new ORVA_Object(&cls, nullptr)));
      }
      ORVA_Value *holder = new ORVA_Value(arrays[0]);
      for (int i = 0; i < count; i++)
      {
         ORVA_Value *next = new ORVA_Value(arrays[(i + 1) % count]);
         if (i % 2 == 0)
            arrays[i]->SetText("next", 4, next);
         else
            arrays[i]->Set(7, next);
      }
      const int before = cls.releases;
      delete holder;
      EXPECT_EQ(cls.releases - before, count);
      EXPECT_EQ(ORVA_CycleCollector::Waiting(), 0u);
   }
}

// A table that keeps growing meets the memory ceiling: the store is
// refused, the run is told why, the array keeps what it had, and the
// table's bytes come back when the array goes.
TEST(ElementKeys, TheMemoryCeilingCountsTheTable)
{
   ORVA_MemoryBudget budget;
   budget.limit = 1 << 20;
   {
      ORVA_BudgetScope scope(&budget);
      ORVA_Array *array = new ORVA_Array();
      ORVA_Value *holder = new ORVA_Value(array);
      int stored = 0;
      for (int i = 0; i < 1000000 && budget.refused == 0; i++)
      {
         const std::string key = "a-rather-long-key-for-the-ceiling-" + std::to_string(i);
         ORVA_Value value(i);
         if (!KeyedSet(array, ElementKeyOfText(key.data(), static_cast<uint32>(key.size())), &value))
            break;
         stored++;
      }
      EXPECT_EQ(budget.refused, MEMORY_OVER_LIMIT);
      EXPECT_LT(stored, 20000) << "keys, entries and slots are all counted";
      EXPECT_GE(array->TextCount(), stored - 1);
      EXPECT_NE(array->GetText("a-rather-long-key-for-the-ceiling-0", 35), nullptr);
      budget.refused = 0;
      delete holder;
      EXPECT_LT(budget.held, 4096u) << "the table's bytes come back";
   }
}

// The host methods read a key as scripts do: a canonical integer text is
// the index, whatever method stored it; the host's value stays the element.
TEST(ElementKeys, HostMethodsShareTheScriptsRule)
{
   ORVA_Array *array = new ORVA_Array();
   ORVA_Value holder(array);
   ORVA_Value *seven = new ORVA_Value("seven");
   EXPECT_EQ(array->SetText("7", 1, seven), 1);
   EXPECT_EQ(array->Get(7), seven);
   EXPECT_EQ(array->TextCount(), 0);
   ORVA_Value *bond = new ORVA_Value("bond");
   array->SetText("007", 3, bond);
   EXPECT_EQ(array->GetText("007", 3), bond);
   EXPECT_EQ(array->TextCount(), 1);

   ORVA_Value real(7.0), wide(static_cast<int64>(1) << 40), text("7");
   array->SetText("7.000000", 8, new ORVA_Value(1));
   EXPECT_EQ(array->GetKey(&real)->GetValueAsInt32(), 1);
   EXPECT_EQ(array->GetKey(&text), seven);
   EXPECT_EQ(array->GetKey(&wide), nullptr);
   EXPECT_EQ(array->RemoveKey(&real), 1);
   EXPECT_EQ(array->RemoveKey(&real), 0);
   EXPECT_EQ(array->GetKey(nullptr), nullptr);
   EXPECT_EQ(array->GetText(nullptr, 0), nullptr);
   EXPECT_EQ(array->TextValueAt(-1), nullptr);

   // An element made for an update in place, then found again.
   ORVA_ElementKey key = ElementKeyOfText("hits", 4);
   ORVA_Value *slot = KeyedSlot(array, key);
   ASSERT_NE(slot, nullptr);
   EXPECT_TRUE(slot->IsNull());
   EXPECT_EQ(KeyedSlot(array, key), slot);
   ORVA_ElementKey index = ElementKeyOfText("12", 2);
   ASSERT_NE(KeyedSlot(array, index), nullptr);
   EXPECT_EQ(KeyedSlot(array, index), array->Get(12));
}
