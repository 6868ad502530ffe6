#pragma once
// A handler: a function bound to an object. Unlike std::function, two closures compare
// equal exactly when both the function and the object are the same, which the components
// rely on to tell their own hooks from someone else's.
#include <cstddef>
#include <functional>
#include <memory>
#include <utility>

namespace rtl {

/// A handler: a function bound to an object (see the top of this file).
template <class Sig> class Closure;

/// A handler of signature R(Args...).
template <class R, class... Args> class Closure<R(Args...)> {
  public:
    /// The code of a closure: the object first, then the arguments.
    using Thunk = R (*)(void*, Args...);

    /// An unassigned handler.
    Closure() = default;
    /// An unassigned handler, from nullptr.
    Closure(std::nullptr_t) {}

    /// Binds member function M to obj: Closure<void(TObject*)>::Of<&TForm2::Click>(this).
    /// The object is held as the class that declares M, so binding through a base or a
    /// derived pointer gives the same handler.
    template <auto M, class C> static Closure Of(C* obj) {
        using Owner = typename MemberClass<decltype(M)>::type;
        Closure c;
        c.code_ = &Invoke<M>;
        c.tag_ = &kTag<M>;
        c.data_ = static_cast<void*>(static_cast<Owner*>(obj));
        return c;
    }

    /// Binds a free function taking the object as its first argument.
    static Closure Bind(void* obj, Thunk fn, const void* tag) {
        Closure c;
        c.code_ = fn;
        c.tag_ = tag;
        c.data_ = obj;
        return c;
    }

    /// True when a function is bound.
    bool Assigned() const { return code_ != nullptr; }
    /// Same as Assigned.
    explicit operator bool() const { return Assigned(); }
    /// The bound object.
    void* Data() const { return data_; }

    /// Calls the bound function; the closure must be assigned.
    R operator()(Args... args) const { return code_(data_, std::forward<Args>(args)...); }

    /// True when both bind the same function to the same object.
    friend bool operator==(const Closure& a, const Closure& b) {
        return a.tag_ == b.tag_ && a.data_ == b.data_ && a.code_ == b.code_;
    }

  private:
    template <auto M> static constexpr char kTag = 0;

    template <class T> struct MemberClass;
    template <class F, class Cls> struct MemberClass<F Cls::*> { using type = Cls; };

    template <auto M> static R Invoke(void* obj, Args... args) {
        using Owner = typename MemberClass<decltype(M)>::type;
        return (static_cast<Owner*>(obj)->*M)(std::forward<Args>(args)...);
    }

    Thunk code_ = nullptr;
    const void* tag_ = nullptr;
    void* data_ = nullptr;
};

/// Owns a callable and hands out closures bound to it, for callers (tests, small
/// programs) that have no class of their own to bind. Every instance is a distinct handler.
template <class Sig> class Handler;

/// An owned callable of signature R(Args...).
template <class R, class... Args> class Handler<R(Args...)> {
  public:
    /// A handler that binds nothing.
    Handler() = default;
    /// Owns f.
    template <class F>
    explicit Handler(F f) : fn_(std::make_unique<std::function<R(Args...)>>(std::move(f))) {}
    /// Replaces the callable; closures bound to the old one must not be called.
    template <class F> Handler& operator=(F f) {
        fn_ = std::make_unique<std::function<R(Args...)>>(std::move(f));
        return *this;
    }

    /// A closure that calls the owned callable (unassigned if none).
    Closure<R(Args...)> closure() const {
        if (!fn_) return {};
        return Closure<R(Args...)>::Bind(fn_.get(), &Call, &kTag);
    }
    /// Same as closure().
    operator Closure<R(Args...)>() const { return closure(); }

  private:
    static constexpr char kTag = 0;
    static R Call(void* f, Args... args) {
        return (*static_cast<std::function<R(Args...)>*>(f))(std::forward<Args>(args)...);
    }
    std::unique_ptr<std::function<R(Args...)>> fn_;
};

} // namespace rtl
