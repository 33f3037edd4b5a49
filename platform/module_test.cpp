#include "platform/module.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>
#include <type_traits>
#include <vector>

#include "platform/module_object.h"

namespace plat {
namespace {

// An address inside this test program, the module asking for loads below.
void TestProgramAnchor() {}

TEST(ModuleTest, NamesMapToSharedObjectFiles) {
  struct Case {
    const char* name;
    const char* file;
  } cases[] = {
      {"ZrPlayProxy", "libZrPlayProxy.so"}, {"ZrPlayProxy.dll", "libZrPlayProxy.so"},
      {"KVDraw.DLL", "libKVDraw.so"},       {"libm.so.6", "libm.so.6"},
      {"/opt/x/liby.so", "/opt/x/liby.so"},
  };
  for (const auto& c : cases) EXPECT_EQ(ModuleFileName(c.name), c.file) << c.name;
}

TEST(ModuleTest, LoadsFromTheLoaderPathAndLooksUpExports) {
  HMODULE m = LoadModule("libm.so.6", nullptr);
  ASSERT_NE(m, nullptr);
  EXPECT_NE(GetProcAddress(m, "cos"), nullptr);
  EXPECT_EQ(GetProcAddress(m, "no_such_export_here"), nullptr);
  FreeModule(m);
  EXPECT_EQ(LoadModule("NoSuchModuleAnywhere", nullptr), nullptr);
}

TEST(ModuleTest, ModuleDirOfFindsThePlatformLibraryFolder) {
  EXPECT_FALSE(ModuleDirOf(reinterpret_cast<const void*>(&ModuleFileName)).empty());
}

// The probe module lies in a folder that only this program's run path names: neither beside
// the program nor on the platform library's own path.
TEST(ModuleTest, FindsAModuleOnTheSearchPathOfTheModuleAsking) {
  EXPECT_EQ(LoadModule("QuviModuleProbe", nullptr), nullptr) << "no asking module, no path";
  HMODULE m = LoadModule("QuviModuleProbe.dll", reinterpret_cast<const void*>(&TestProgramAnchor));
  ASSERT_NE(m, nullptr);
  using TProbe = const char* (*)();
  auto probe = reinterpret_cast<TProbe>(GetProcAddress(m, "QuviModuleProbe"));
  ASSERT_NE(probe, nullptr);
  EXPECT_STREQ(probe(), "QuviModuleProbe");
  FreeModule(m);
  EXPECT_EQ(LoadModule("NoSuchModuleAnywhere", reinterpret_cast<const void*>(&TestProgramAnchor)),
            nullptr);
}

struct TCounted {
  static inline std::atomic<int> Alive{0};
  explicit TCounted(int value) : Value(value) { ++Alive; }
  ~TCounted() { --Alive; }
  int Value;
};

// No destructor of its own: nothing an exit handler could run before the module's unload.
static_assert(std::is_trivially_destructible_v<TModuleObject<TCounted>>);

TEST(ModuleObjectTest, MadeOnceOnFirstUseAndEndedOnlyByDestroy) {
  TModuleObject<TCounted> object;
  EXPECT_EQ(TCounted::Alive.load(), 0);
  TCounted& first = object.Get(7);
  EXPECT_EQ(first.Value, 7);
  EXPECT_EQ(&object.Get(8), &first) << "later arguments are ignored";
  EXPECT_EQ(object.Get(9).Value, 7);
  EXPECT_EQ(TCounted::Alive.load(), 1);
  object.Destroy();
  EXPECT_EQ(TCounted::Alive.load(), 0);
  object.Destroy();
  EXPECT_EQ(object.Get(3).Value, 3) << "a use after the end makes a new one";
  object.Destroy();
  EXPECT_EQ(TCounted::Alive.load(), 0);
}

TEST(ModuleObjectTest, ThreadsRacingTheFirstUseShareOneObject) {
  TModuleObject<TCounted> object;
  std::atomic<bool> go{false};
  std::vector<TCounted*> seen(8, nullptr);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < seen.size(); ++i) {
    threads.emplace_back([&, i] {
      while (!go) std::this_thread::yield();
      seen[i] = &object.Get(static_cast<int>(i));
    });
  }
  go = true;
  for (auto& t : threads) t.join();
  EXPECT_EQ(std::set<TCounted*>(seen.begin(), seen.end()).size(), 1u);
  EXPECT_EQ(TCounted::Alive.load(), 1) << "the losers' objects are freed";
  object.Destroy();
}

}  // namespace
}  // namespace plat
