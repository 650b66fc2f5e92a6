// The support layer: wildcard matching, the queue and memory duplication.
#include "support/support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace
{
TEST(MatchString, Wildcards)
{
   EXPECT_EQ(1, MatchString("*", "", 1));
   EXPECT_EQ(1, MatchString("a*c", "abbbc", 1));
   EXPECT_EQ(1, MatchString("a?c", "abc", 1));
   EXPECT_EQ(0, MatchString("a?c", "ac", 1));
   EXPECT_EQ(0, MatchString("abc", "abcd", 1));
   EXPECT_EQ(1, MatchString("*.orva", "lib.x.orva", 1));
   EXPECT_EQ(0, MatchString("*b", "abc", 1));
   EXPECT_EQ(0, MatchString("ABC", "abc", 1));
   EXPECT_EQ(1, MatchString("A*C", "abc", 0));
   EXPECT_EQ(1, MatchString("", "", 1));
   EXPECT_EQ(0, MatchString("", "a", 1));

   // Many stars against a long subject must not take exponential time.
   std::string subject(5000, 'a');
   EXPECT_EQ(0, MatchString("*a*a*a*a*a*a*a*a*b", subject.c_str(), 1));
}

TEST(Queue, ReturnsEveryItemOnce)
{
   Queue queue;
   EXPECT_EQ(nullptr, queue.Get());
   int a = 0, b = 0;
   queue.Put(&a);
   queue.Put(&b);
   void *first = queue.Get();
   void *second = queue.Get();
   EXPECT_TRUE((first == &a && second == &b) || (first == &b && second == &a));
   EXPECT_EQ(nullptr, queue.Get());
}

TEST(MemDup, CopiesBytesIncludingZeros)
{
   const char source[] = "a\0b";
   char *copy = static_cast<char *>(qd_memdup(source, 4));
   ASSERT_NE(nullptr, copy);
   EXPECT_NE(source, copy);
   EXPECT_EQ(0, memcmp(source, copy, 4));
   free(copy);
   void *empty = qd_memdup(nullptr, 0);
   EXPECT_NE(nullptr, empty);
   free(empty);
}
}   // namespace
