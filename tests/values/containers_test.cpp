// Arrays, objects and their hooks, scopes and the pointer stack.
#include "orva.h"
#include "values/array_cycle.h"

#include <gtest/gtest.h>

#include <cstring>

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

TEST(Array, SortedSparseStorageAndGrowth)
{
   ProbeArray array;
   EXPECT_EQ(nullptr, array.Get(0));
   for (int index : {5, -1, 3})
      array.Set(index, new ORVA_Value(index * 10));
   EXPECT_EQ(-1, array.IndexAt(0));
   EXPECT_EQ(5, array.IndexAt(2));
   EXPECT_EQ(-10, array.Get(-1)->GetValueAsInt32());
   EXPECT_EQ(nullptr, array.Get(4));
   array.Set(3, new ORVA_Value(31));   // replacing frees the old value
   array.Set(3, array.Get(3));         // storing the held value again keeps it
   EXPECT_EQ(3, array.Size());
   EXPECT_EQ(31, array.Get(3)->GetValueAsInt32());

   EXPECT_EQ(32, array.Allocated());
   for (int i = 100; i > 70; i--)   // descending keys insert at the front
      array.Set(i * 1000, new ORVA_Value(i));
   EXPECT_EQ(33, array.Size());
   EXPECT_EQ(64, array.Allocated());
   for (int32 i = 1; i < array.Size(); i++)
      EXPECT_LT(array.IndexAt(i - 1), array.IndexAt(i));
   EXPECT_EQ(71, array.Get(71000)->GetValueAsInt32());
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

// An array stored where it would come to hold itself, even through arrays
// inside it, is stored as a copy; anything else is stored as it is.
TEST(Array, StoringNeverMakesACycle)
{
   ProbeArray *a = new ProbeArray();
   ProbeArray *b = new ProbeArray();
   ProbeArray *shared = new ProbeArray();
   ORVA_Value *holdA = new ORVA_Value(static_cast<ORVA_Array *>(a));
   ORVA_Value *holdB = new ORVA_Value(static_cast<ORVA_Array *>(b));
   a->Set(0, new ORVA_Value(static_cast<ORVA_Array *>(b)));        // a[0] = b
   a->Set(1, new ORVA_Value(static_cast<ORVA_Array *>(shared)));
   b->Set(5, new ORVA_Value(7));

   ORVA_Value *plain = new ORVA_Value(static_cast<ORVA_Array *>(shared));
   EXPECT_EQ(plain, ElementValueFor(b, plain)) << "shared does not lead to b";
   delete plain;

   // b[0] = a: a leads to b, so b receives a copy of a whose element 0 is a
   // copy of b; the array a does not lead to stays shared.
   ORVA_Value *viaA = new ORVA_Value(holdA);
   ORVA_Value *stored = ElementValueFor(b, viaA);
   ORVA_Array *copyOfA = stored->GetValueAsArray();
   ASSERT_NE(nullptr, copyOfA);
   EXPECT_NE(static_cast<ORVA_Array *>(a), copyOfA);
   ORVA_Array *copyOfB = copyOfA->Get(0)->GetValueAsArray();
   EXPECT_NE(static_cast<ORVA_Array *>(b), copyOfB);
   EXPECT_EQ(7, copyOfB->Get(5)->GetValueAsInt32());
   EXPECT_EQ(static_cast<ORVA_Array *>(shared), copyOfA->Get(1)->GetValueAsArray());
   b->Set(0, stored);
   EXPECT_EQ(1, a->RefCount());
   EXPECT_EQ(2, b->RefCount());

   ORVA_Value *self = new ORVA_Value(holdB);   // b[1] = b
   ORVA_Value *selfCopy = ElementValueFor(b, self);
   EXPECT_NE(static_cast<ORVA_Array *>(b), selfCopy->GetValueAsArray());
   b->Set(1, selfCopy);
   EXPECT_EQ(2, b->RefCount());

   delete holdA;   // frees a: nothing held it but holdA
   delete holdB;   // b is freed too once a no longer holds it
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
