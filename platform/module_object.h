// TModuleObject<T>: a shared module's process-wide object (a handle table, a binding) that
// lives exactly as long as the module. It is made on first use and ended by Destroy, which
// the module calls from its unload function: at dlclose that runs after the modules using
// this one have unloaded, and at process end after every static object of the program (so a
// caller still freeing its handles from a static destructor finds the object). It has no
// destructor of its own, so no exit handler can end it out of order, and unloading the
// module leaves nothing allocated behind. Any thread may call Get; Destroy runs once, at
// unload, when no call into the module can be running.
#pragma once

#include <atomic>
#include <type_traits>
#include <utility>

namespace plat {

template <typename T>
class TModuleObject {
 public:
  constexpr TModuleObject() = default;
  TModuleObject(const TModuleObject&) = delete;
  TModuleObject& operator=(const TModuleObject&) = delete;

  // The object; the arguments make it on the first call and are ignored afterwards.
  template <typename... Args>
  T& Get(Args&&... args) {
    if (T* object = object_.load(std::memory_order_acquire)) return *object;
    T* made = new T(std::forward<Args>(args)...);
    T* expected = nullptr;
    if (object_.compare_exchange_strong(expected, made, std::memory_order_acq_rel)) return *made;
    delete made;  // another thread made it first
    return *expected;
  }

  // Ends the object; a later Get makes a new one.
  void Destroy() { delete object_.exchange(nullptr, std::memory_order_acq_rel); }

 private:
  std::atomic<T*> object_{nullptr};
};

}  // namespace plat
