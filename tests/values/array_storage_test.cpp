// The storage of arrays as the memory ceiling and the cycle collector see it.
#include "orva.h"
#include "support/memory.h"
#include "values/array_cycle.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <thread>
#include <vector>

namespace
{
struct ObjectCounter : ORVA_Class
{
   int releases = 0;
   ObjectCounter() { strcpy(m_name, "COUNTER"); }
   void OnObjectRelease(ORVA_Object *) override { releases++; }
};

// A budget with room to spare, installed for the test's scope: what it
// holds at the end is what the test failed to give back.
struct Counted
{
   ORVA_MemoryBudget budget;
   ORVA_BudgetScope scope{&budget};
   Counted() { budget.limit = uint64(1) << 32; }
};
}

// A run's elements fill a side from its first block through a table of
// blocks that outgrows its first room and empties again; every element stays
// where it is, and all the memory counted comes back.
TEST(ArrayStorage, SidesGrowAndShrinkThroughEveryBlock)
{
   for (int step : {1, -1})
      for (int count : {1, 4, 5, 60, 61, 3000})
      {
         SCOPED_TRACE(testing::Message() << "step " << step << ", count " << count);
         Counted counted;
         ORVA_Array *array = new ORVA_Array();
         // Index 0 sets the origin, so that a step of -1 fills the lower side.
         for (int i = 0; i < count; i++)
            array->Set(i * step, new ORVA_Value(i));
         ORVA_Value *first = array->Get(0);
         ORVA_Value *last = array->Get((count - 1) * step);
         for (int i = count; i < count + 100; i++)
            array->Set(i * step, new ORVA_Value(i));
         EXPECT_EQ(array->Get(0), first) << "slots never move";
         EXPECT_EQ(array->Get((count - 1) * step), last);
         for (int i = count + 99; i >= 1; i--)
            EXPECT_EQ(array->Remove(i * step), 1);
         EXPECT_EQ(array->Size(), 1);
         EXPECT_EQ(array->Remove(0), 1);
         EXPECT_EQ(array->Size(), 0);
         for (int i = 0; i < count; i++)
            array->Set(i * step, new ORVA_Value(-i));
         for (int i = 0; i < count; i++)
            ASSERT_EQ(array->Get(i * step)->GetValueAsInt32(), -i);
         ORVA_Array *copy = new ORVA_Array(array);
         delete array;
         EXPECT_EQ(copy->Get((count - 1) * step)->GetValueAsInt32(), 1 - count);
         delete copy;
         EXPECT_EQ(counted.budget.held, 0u);
      }
}

// Only an array that holds an array can be on a cycle, so only such an
// array waits for the collector when it loses a reference and keeps others.
// One that holds none when it is dropped is still found when a cycle
// through it is made later.
TEST(ArrayCycles, OnlyArraysThatMayHoldArraysAreCandidates)
{
   struct Case
   {
      const char *name;
      std::function<void(ORVA_Array *)> fill;
      size_t waiting;
   };
   const Case cases[] = {
      {"empty", [](ORVA_Array *) {}, 0},
      {"numbers", [](ORVA_Array *a) { for (int i = 0; i < 4; i++) a->Set(i, new ORVA_Value(i)); }, 0},
      {"a text and a null", [](ORVA_Array *a) { a->Set(0, new ORVA_Value("x")); a->Set(1, nullptr); }, 0},
      {"an array", [](ORVA_Array *a) { a->Set(0, new ORVA_Value(1)); a->Set(1, new ORVA_Value(new ORVA_Array())); }, 1},
      {"many numbers", [](ORVA_Array *a) { for (int i = 0; i < 10; i++) a->Set(i, new ORVA_Value(i)); }, 1},
      {"a lower index", [](ORVA_Array *a) { a->Set(1, new ORVA_Value(1)); a->Set(0, new ORVA_Value(0)); }, 1},
      {"a text key", [](ORVA_Array *a) { a->SetText("k", 1, new ORVA_Value(1)); }, 1},
   };
   for (const Case &c : cases)
   {
      SCOPED_TRACE(c.name);
      ORVA_CycleCollector::HoldBack hold;
      ORVA_Array *array = new ORVA_Array();
      c.fill(array);
      ORVA_Value *held = new ORVA_Value(array);
      delete new ORVA_Value(array);
      EXPECT_EQ(ORVA_CycleCollector::Waiting(), c.waiting);
      delete held;
      EXPECT_EQ(ORVA_CycleCollector::Waiting(), 0u);
   }

   ObjectCounter cls;
   ORVA_Array *array = new ORVA_Array();
   ORVA_Value *held = new ORVA_Value(array);
   delete new ORVA_Value(array);
   array->Set(1, new ORVA_Value(new ORVA_Object(&cls, nullptr)));
   array->Set(0, new ORVA_Value(array));
   delete held;
   EXPECT_EQ(cls.releases, 1) << "the cycle made after the first drop is freed";
   EXPECT_EQ(ORVA_CycleCollector::Waiting(), 0u);
}

// Small blocks freed on a thread serve its next request of their size; the
// ceiling counts what was asked for either way, and refuses as before.
TEST(Memory, SmallBlocksCountWhatWasAskedFor)
{
   Counted counted;
   counted.budget.limit = 1000;
   void *a = MemoryAllocateSmall(160);
   ASSERT_NE(a, nullptr);
   memset(a, 1, 160);
   EXPECT_EQ(counted.budget.held, 160u);
   MemoryFreeSmall(a, 160);
   EXPECT_EQ(counted.budget.held, 0u);
   void *b = MemoryAllocateSmall(150);
   ASSERT_NE(b, nullptr);
   memset(b, 2, 150);
   EXPECT_EQ(counted.budget.held, 150u);
   EXPECT_EQ(MemoryAllocateSmall(900), nullptr);
   EXPECT_EQ(counted.budget.refused, MEMORY_OVER_LIMIT);
   EXPECT_EQ(counted.budget.held, 150u);
   MemoryFreeSmall(b, 150);
   EXPECT_EQ(counted.budget.held, 0u);

   // A thread that ends gives its waiting blocks back (the leak checker of
   // the sanitizer build watches this).
   std::thread([] {
      std::vector<ORVA_Array *> arrays;
      for (int i = 0; i < 100; i++)
      {
         arrays.push_back(new ORVA_Array());
         arrays.back()->Set(0, new ORVA_Value(i));
      }
      for (ORVA_Array *array : arrays)
         delete array;
   }).join();
}
