// The one owner idiom: a value is given back exactly once, whichever way its owner lets it go,
// and both "no handle" values of the API count as nothing held.
#include <windows.h>

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "base/Handle.h"

namespace {

std::vector<int> g_given;

struct CountedTraits {
  typedef int Type;
  static int Empty() { return 0; }
  static bool IsEmpty(int value) { return value == 0; }
  static void Release(int value) { g_given.push_back(value); }
};
typedef CScoped<CountedTraits> CCounted;

}  // namespace

TEST(Scoped, EachValueIsGivenBackOnceWhicheverWayItsOwnerLetsGo) {
  g_given.clear();
  {
    CCounted first(1);
    CCounted second(std::move(first));  // the value moves: only `second` gives it back
    EXPECT_FALSE(first.IsValid());
    second.Reset(2);  // 1 goes
    CCounted third(3);
    third = std::move(second);  // 3 goes; `third` holds 2
    *third.Receive() = 4;       // 2 goes before a call delivers 4
    CCounted detached(5);
    EXPECT_EQ(5, detached.Detach());  // the caller's now: never given back here
    EXPECT_FALSE(detached.IsValid());
  }  // 4 goes with `third`
  EXPECT_EQ((std::vector<int>{1, 3, 2, 4}), g_given);
}

TEST(Scoped, AFailedFileOpenHoldsNothingAndAnOwnedHandleIsClosed) {
  CHandle failed(CreateFileW(L"Z:\\no\\such\\folder\\file", GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                             0, nullptr));
  EXPECT_FALSE(failed.IsValid());  // INVALID_HANDLE_VALUE, not a handle to close
  HANDLE raw = nullptr;
  {
    CHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(event.IsValid());
    raw = event.Get();
    DWORD flags = 0;
    EXPECT_TRUE(GetHandleInformation(raw, &flags));
  }
  DWORD flags = 0;
  EXPECT_FALSE(GetHandleInformation(raw, &flags));
}
