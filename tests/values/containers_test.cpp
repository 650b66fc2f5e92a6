// Arrays, objects and their hooks, scopes and the pointer stack.
#include "orva.h"
#include "values/array_cycle.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <random>
#include <vector>

namespace
{
struct ProbeArray : ORVA_Array
{
   int32 Allocated() const { return m_allocated; }
   int32 RefCount() const { return m_refCount; }
};

// Counts the users of shared data the way the time class does.
struct CountingClass : ORVA_Class
{
   int copies = 0, releases = 0;
   CountingClass() { strcpy(m_name, "COUNTER"); }
   void OnObjectCopy(ORVA_Object *) override { copies++; }
   void OnObjectRelease(ORVA_Object *) override { releases++; }
};

// The indices an array holds, in the order its views show them.
std::vector<int32> IndicesOf(const ORVA_Array &array)
{
   std::vector<int32> indices;
   for (int32 i = 0; i < array.Size(); i++)
      indices.push_back(array.IndexAt(i));
   return indices;
}

TEST(Array, SparseIndicesKeepTheirOrder)
{
   ProbeArray array;
   EXPECT_EQ(nullptr, array.Get(0));
   EXPECT_EQ(nullptr, array.ValueAt(0));
   for (int index : {5, -1, 3})
      array.Set(index, new ORVA_Value(index * 10));
   EXPECT_EQ((std::vector<int32>{-1, 3, 5}), IndicesOf(array));
   EXPECT_EQ(-10, array.Get(-1)->GetValueAsInt32());
   EXPECT_EQ(nullptr, array.Get(4));
   array.Set(3, new ORVA_Value(31));   // replacing frees the old value
   array.Set(3, array.Get(3));         // storing the held value again keeps it
   array.Set(5, array.Get(5));
   EXPECT_EQ(3, array.Size());
   EXPECT_EQ(31, array.Get(3)->GetValueAsInt32());
   EXPECT_EQ(50, array.ValueAt(2)->GetValueAsInt32());
   EXPECT_EQ(0, array.IndexAt(3)) << "a position past the end";
   EXPECT_EQ(nullptr, array.ValueAt(-1));

   // The extremes of the index range, on both sides of what is there.
   array.Set(INT32_MAX, new ORVA_Value(1));
   array.Set(INT32_MIN, new ORVA_Value(2));
   array.Set(INT32_MAX - 1, new ORVA_Value(3));
   EXPECT_EQ((std::vector<int32>{INT32_MIN, -1, 3, 5, INT32_MAX - 1, INT32_MAX}), IndicesOf(array));
   EXPECT_EQ(3, array.Get(INT32_MAX - 1)->GetValueAsInt32());
}

// Filled in any order, a range of indices ends up in slots of the run: room
// for it is never more than one block beyond its elements, and every element
// reads back, in order.
TEST(Array, RangesFilledInAnyOrderBecomeDense)
{
   const int32 n = 100000;
   std::vector<int32> ascending, descending, shuffled;
   for (int32 i = 0; i < n; i++)
   {
      ascending.push_back(i);
      descending.push_back(n - 1 - i);
      shuffled.push_back(static_cast<int32>((static_cast<int64>(i) * 7919) % n));   // 7919 is prime to n
   }
   for (const std::vector<int32> *order : {&ascending, &descending, &shuffled})
   {
      ProbeArray array;
      for (int32 index : *order)
         array.Set(index - 7, new ORVA_Value(index));
      ASSERT_EQ(n, array.Size());
      EXPECT_LE(array.Allocated(), n + 1024);
      for (int32 i = 0; i < n; i += 997)
      {
         EXPECT_EQ(i - 7, array.IndexAt(i));
         EXPECT_EQ(i, array.ValueAt(i)->GetValueAsInt32());
         EXPECT_EQ(i, array.Get(i - 7)->GetValueAsInt32());
      }
   }
   EXPECT_EQ(32u, sizeof(ORVA_Value)) << "a slot is one value and nothing more";
}

// Get hands out pointers that hold until their element is replaced, also
// across the growth of the array and the run reaching the element.
TEST(Array, PointersFromGetStayValid)
{
   ProbeArray array;
   array.Set(10, new ORVA_Value(100));
   array.Set(0, new ORVA_Value("zero"));
   ORVA_Value *ten = array.Get(10);
   ORVA_Value *zero = array.Get(0);
   for (int32 i = 1; i < 10000; i++)   // reaches 10, then grows by many blocks
      if (i != 10)
         array.Set(i, new ORVA_Value(i));
   EXPECT_EQ(ten, array.Get(10));
   EXPECT_EQ(zero, array.Get(0));
   EXPECT_EQ(100, ten->GetValueAsInt32());
   EXPECT_STREQ("zero", zero->GetValueAsCString());
   EXPECT_EQ(10000, array.Size());
   array.Set(10, new ORVA_Value(101));   // replacing the element reached late
   EXPECT_EQ(101, array.Get(10)->GetValueAsInt32());
   EXPECT_EQ(10, array.IndexAt(10));
}

// The value a host hands to Set is the element from then on: Get and the
// index-order view give back that pointer, and the host's later changes to
// it are changes to the element, wherever the element sits or moves.
TEST(Array, SetKeepsTheHostsValueAsTheElement)
{
   ProbeArray array;
   ORVA_Value *first = new ORVA_Value("first");
   ORVA_Value *far = new ORVA_Value(static_cast<int32>(7));
   array.Set(1, first);          // starts the run
   array.Set(3, far);            // outside it, until 2 joins
   EXPECT_EQ(first, array.Get(1));
   EXPECT_EQ(far, array.Get(3));
   ORVA_Value *second = new ORVA_Value(static_cast<int32>(2));
   array.Set(2, second);         // the run reaches 3
   array.Set(4, new ORVA_Value(static_cast<int32>(4)));
   EXPECT_EQ(far, array.Get(3));
   EXPECT_EQ(second, array.Get(2));
   EXPECT_EQ(first, array.ValueAt(0));

   first->Concatenate(" changed", 8);
   EXPECT_STREQ("first changed", array.Get(1)->GetValueAsCString());

   array.Set(2, second);         // the same value again: nothing freed
   EXPECT_EQ(2, array.Get(2)->GetValueAsInt32());
   ORVA_Value *replacement = new ORVA_Value(3.5);
   array.Set(2, replacement);    // the old element is freed (the leak check sees to the rest)
   EXPECT_EQ(replacement, array.Get(2));

   // A copy of the array has values of its own.
   ORVA_Array copy(&array);
   EXPECT_NE(first, copy.Get(1));
   EXPECT_STREQ("first changed", copy.Get(1)->GetValueAsCString());
}

// An element stored as a null pointer exists without a value, in the run and
// outside it; a copy of the array gives it a null value.
TEST(Array, NullElementsCountButHoldNothing)
{
   ORVA_Array array;
   array.Set(0, nullptr);
   array.Set(1, new ORVA_Value(1));
   array.Set(50, nullptr);
   EXPECT_EQ(3, array.Size());
   EXPECT_EQ(nullptr, array.Get(0));
   EXPECT_EQ(nullptr, array.ValueAt(2));
   EXPECT_EQ(50, array.IndexAt(2));
   array.Set(0, new ORVA_Value(9));
   EXPECT_EQ(9, array.Get(0)->GetValueAsInt32());
   array.Set(1, nullptr);
   ORVA_Array copy(&array);
   EXPECT_EQ((std::vector<int32>{0, 1, 50}), IndicesOf(copy));
   EXPECT_EQ(1, copy.Get(1)->IsNull());
   EXPECT_EQ(1, copy.Get(50)->IsNull());
}

// A copy keeps the order of elements below, inside and above the run.
TEST(Array, CopiesKeepEveryElementInOrder)
{
   ORVA_Array array;
   for (int32 i = 0; i < 50; i++)
      array.Set(i, new ORVA_Value(i));
   array.Set(-100, new ORVA_Value(-100));
   array.Set(-200, new ORVA_Value(-200));
   array.Set(1000, new ORVA_Value(1000));
   ORVA_Array copy(&array);
   ASSERT_EQ(53, copy.Size());
   EXPECT_EQ(IndicesOf(array), IndicesOf(copy));
   for (int32 i = 0; i < copy.Size(); i++)
      EXPECT_EQ(copy.IndexAt(i), copy.ValueAt(i)->GetValueAsInt32());
   copy.Set(-100, new ORVA_Value(1));
   EXPECT_EQ(-100, array.Get(-100)->GetValueAsInt32());
   // A walk backwards sees the same elements.
   for (int32 i = copy.Size() - 1; i >= 0; i--)
      EXPECT_EQ(array.IndexAt(i), copy.IndexAt(i));
}

// Random stores, clustered and scattered, checked against an ordered map:
// every element, every view by position and every copy agrees with it.
TEST(Array, RandomStoresAgreeWithAnOrderedMap)
{
   std::mt19937 random(17);
   for (int round = 0; round < 20; round++)
   {
      ORVA_Array array;
      std::map<int32, int32> model;   // index -> value, -1 for a null element
      const int32 spread = (round % 4 == 0) ? 1000000 : 300;
      const int32 centre = static_cast<int32>(random() % 2000) - 1000;
      for (int step = 0; step < 3000; step++)
      {
         const int32 index = centre + static_cast<int32>(random() % (2 * spread)) - spread;
         const int32 value = static_cast<int32>(random() % 1000);
         if (value < 20)
         {
            array.Set(index, nullptr);
            model[index] = -1;
         }
         else
         {
            array.Set(index, new ORVA_Value(value));
            model[index] = value;
         }
      }
      ASSERT_EQ(static_cast<int32>(model.size()), array.Size());
      ORVA_Array copy(&array);
      int32 position = 0;
      for (const auto &element : model)
      {
         ASSERT_EQ(element.first, array.IndexAt(position)) << "round " << round;
         ORVA_Value *held = array.ValueAt(position);
         EXPECT_EQ(held, array.Get(element.first));
         if (element.second < 0)
         {
            EXPECT_EQ(nullptr, held);
            EXPECT_EQ(1, copy.Get(element.first)->IsNull());
         }
         else
         {
            ASSERT_NE(nullptr, held);
            EXPECT_EQ(element.second, held->GetValueAsInt32());
            EXPECT_EQ(element.second, copy.Get(element.first)->GetValueAsInt32());
         }
         EXPECT_EQ(element.first, copy.IndexAt(position));
         position++;
      }
      // Positions read in a random order see the same elements.
      std::vector<std::pair<int32, int32>> ordered(model.begin(), model.end());
      for (int probe = 0; probe < 200; probe++)
      {
         const int32 at = static_cast<int32>(random() % ordered.size());
         EXPECT_EQ(ordered[at].first, array.IndexAt(at));
      }
   }
}

TEST(Array, SharedByValuesThroughTheReferenceCount)
{
   ProbeArray *array = new ProbeArray();
   array->IncRefCount();
   array->DecRefCount();
   EXPECT_EQ(1, array->IsUnused()) << "a zero count alone frees nothing";
   auto *a = new ORVA_Value(static_cast<ORVA_Array *>(array));
   auto *b = new ORVA_Value(a);
   EXPECT_EQ(2, array->RefCount());
   b->GetValueAsArray()->Set(0, new ORVA_Value(7));
   delete a;
   EXPECT_EQ(1, array->RefCount());

   // A separate copy duplicates the elements but shares arrays inside them.
   ProbeArray *inner = new ProbeArray();
   array->Set(1, new ORVA_Value(static_cast<ORVA_Array *>(inner)));
   array->Set(2, nullptr);
   ORVA_Array *copy = new ORVA_Array(array);
   EXPECT_EQ(3, copy->Size());
   EXPECT_EQ(inner, copy->Get(1)->GetValueAsArray());
   EXPECT_EQ(2, inner->RefCount());
   EXPECT_EQ(1, copy->Get(2)->IsNull());
   copy->Set(0, new ORVA_Value(8));
   EXPECT_EQ(7, array->Get(0)->GetValueAsInt32());
   delete copy;
   EXPECT_EQ(1, inner->RefCount());
   delete b;   // frees the array and with it the inner array
}

// A script can nest arrays as deep as memory allows; freeing the outermost
// one must not need native stack in proportion to the depth.
TEST(Array, DeeplyNestedArraysAreFreedWithoutRecursion)
{
   ORVA_Value *chain = new ORVA_Value(new ORVA_Array());
   for (int depth = 0; depth < 200000; depth++)
   {
      ORVA_Array *outer = new ORVA_Array();
      outer->Set(0, chain);
      chain = new ORVA_Value(outer);
   }
   // An array reached twice in one chain is freed once, when its last holder goes.
   ORVA_Array *shared = new ORVA_Array();
   ORVA_Array *both = new ORVA_Array();
   both->Set(0, new ORVA_Value(shared));
   both->Set(1, new ORVA_Value(shared));
   chain->GetValueAsArray()->Set(1, new ORVA_Value(both));
   delete chain;
}

namespace
{
// A ring of count arrays, each holding the next and an object of cls, held
// from outside by the value returned.
ORVA_Value *Ring(int count, ORVA_Class *cls, std::vector<ORVA_Array *> *members = nullptr)
{
   std::vector<ORVA_Array *> arrays;
   for (int i = 0; i < count; i++)
   {
      arrays.push_back(new ORVA_Array());
      arrays.back()->Set(1, new ORVA_Value(new ORVA_Object(cls, nullptr)));
   }
   ORVA_Value *holder = new ORVA_Value(arrays[0]);
   for (int i = 0; i < count; i++)
      arrays[i]->Set(0, new ORVA_Value(arrays[(i + 1) % count]));
   if (members != nullptr)
      *members = arrays;
   return holder;
}
}

// Arrays that hold each other are freed, however many, once nothing
// outside holds any of them; while something does, all stay.
TEST(ArrayCycles, RingsAreFreedWhenTheLastOutsideReferenceGoes)
{
   for (int count : {1, 2, 16, 17, 1000})
   {
      SCOPED_TRACE(count);
      CountingClass cls;
      std::vector<ORVA_Array *> members;
      ORVA_Value *holder = Ring(count, &cls, &members);
      ORVA_Value *inside = new ORVA_Value(members[count / 2]);
      delete holder;
      EXPECT_EQ(cls.releases, 0) << "a ring held from outside stays";
      EXPECT_EQ(members[0]->Get(0)->GetValueAsArray(), members[1 % count]);
      delete inside;
      EXPECT_EQ(cls.releases, count);
      EXPECT_EQ(ORVA_CycleCollector::Waiting(), 0u);
   }
}

// Garbage that refers to arrays that live on gives their references back
// exactly once; a chain of 100,000 arrays in a ring costs no deep recursion.
TEST(ArrayCycles, LiveArraysReachedFromGarbageKeepTheirCount)
{
   CountingClass cls;
   ProbeArray *kept = new ProbeArray();
   ORVA_Value *keptHolder = new ORVA_Value(static_cast<ORVA_Array *>(kept));
   std::vector<ORVA_Array *> members;
   ORVA_Value *holder = Ring(3, &cls, &members);
   members[0]->Set(2, new ORVA_Value(static_cast<ORVA_Array *>(kept)));
   members[1]->Set(2, new ORVA_Value(static_cast<ORVA_Array *>(kept)));
   EXPECT_EQ(kept->RefCount(), 3);
   delete holder;
   EXPECT_EQ(cls.releases, 3);
   EXPECT_EQ(kept->RefCount(), 1);
   kept->Set(0, new ORVA_Value(7));
   delete keptHolder;

   ORVA_Value *longRing = Ring(100000, &cls);
   delete longRing;
   EXPECT_EQ(cls.releases, 100003);
}

TEST(Object, CopiesShareDataAndCallTheHooks)
{
   ORVA_Class plain;
   EXPECT_STREQ("generic", plain.Name());
   EXPECT_EQ(nullptr, plain.GetAttr(nullptr, const_cast<char *>("x")));
   EXPECT_EQ(0, plain.SetAttr(nullptr, const_cast<char *>("x"), nullptr));
   CountingClass cls;
   EXPECT_STREQ("COUNTER", ORVA_Class(cls).Name());

   int data = 42;
   auto *a = new ORVA_Value(new ORVA_Object(&cls, &data));
   auto *b = new ORVA_Value(a);
   auto *c = new ORVA_Value(b);
   EXPECT_EQ(2, cls.copies);
   EXPECT_NE(a->GetValueAsObject(), b->GetValueAsObject());
   EXPECT_EQ(&data, c->GetValueAsObject()->Data());
   delete a;
   delete b;
   delete c;
   EXPECT_EQ(3, cls.releases);

   ORVA_Value empty(static_cast<ORVA_Object *>(nullptr));
   ORVA_Value emptyCopy(&empty);
   EXPECT_EQ(nullptr, emptyCopy.GetValueAsObject());
}

TEST(Scope, FindCreateAndDeepCopy)
{
   auto *scope = new ORVA_VariableSystem();
   ORVA_Variable *first = scope->Create("x", new ORVA_Value(1));
   scope->Create("x", new ORVA_Value(2));
   EXPECT_EQ(first, scope->Find("x"));
   EXPECT_EQ(nullptr, scope->Find("X"));
   EXPECT_EQ(1, scope->Create("n", nullptr)->Value()->IsNull());

   ProbeArray *array = new ProbeArray();
   scope->Create("a", new ORVA_Value(static_cast<ORVA_Array *>(array)));
   auto *copy = new ORVA_VariableSystem(scope);
   EXPECT_EQ(4u, copy->Count());
   EXPECT_NE(first, copy->Find("x"));
   EXPECT_EQ(2, array->RefCount());
   copy->Find("a")->Value()->GetValueAsArray()->Set(0, new ORVA_Value(5));
   EXPECT_EQ(5, scope->Find("a")->Value()->GetValueAsArray()->Get(0)->GetValueAsInt32());
   delete scope;
   EXPECT_EQ(1, array->RefCount());
   delete copy;   // the last reference frees the array
}

TEST(Stack, GrowsAndReadsBackInOrder)
{
   struct : ORVA_Stack { int32 Capacity() const { return m_capacity; } } stack;
   EXPECT_EQ(nullptr, stack.Pop());
   EXPECT_EQ(nullptr, stack.Peek());
   EXPECT_EQ(0, stack.Size());
   for (intptr_t i = 1; i <= 129; i++)
      stack.Push(reinterpret_cast<void *>(i));
   EXPECT_EQ(192, stack.Capacity());
   void **top = stack.PeekList(3);
   EXPECT_EQ(127, reinterpret_cast<intptr_t>(top[0]));
   EXPECT_EQ(129, reinterpret_cast<intptr_t>(top[2]));
   for (intptr_t i = 129; i >= 1; i--)
      EXPECT_EQ(i, reinterpret_cast<intptr_t>(stack.Pop()));
   EXPECT_EQ(0, stack.Size());
}
}   // namespace
