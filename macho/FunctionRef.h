#pragma once

#include <cstddef>
#include <memory>
#include <type_traits>
#include <utility>

namespace machofile {

template <typename Signature>
class FunctionRef;

// A non-owning reference to a callable, so that walks can take closures
// without allocating. The callable must outlive the call it is passed to.
// A reference made from nullptr is absent and tests false.
template <typename Result, typename... Args>
class FunctionRef<Result(Args...)> {
 public:
  FunctionRef(std::nullptr_t) {}

  template <typename Callable,
            typename = std::enable_if_t<!std::is_same_v<std::decay_t<Callable>, FunctionRef> &&
                                        std::is_invocable_r_v<Result, Callable&, Args...>>>
  FunctionRef(Callable&& callable)
      : object_(const_cast<void*>(static_cast<const void*>(std::addressof(callable)))),
        call_([](void* object, Args... args) -> Result {
          return (*static_cast<std::remove_reference_t<Callable>*>(object))(
              std::forward<Args>(args)...);
        }) {}

  Result operator()(Args... args) const { return call_(object_, std::forward<Args>(args)...); }

  explicit operator bool() const { return call_ != nullptr; }

 private:
  void* object_ = nullptr;
  Result (*call_)(void*, Args...) = nullptr;
};

}  // namespace machofile
