// Binding operations the way the host defines functions: each operation is
// bound in one line that names its parameters (with their defaults) and gives
// the C++ to run; the C++'s own parameter types say how each argument is
// checked. A call then behaves as a host function with that parameter list:
// the host's TypeError texts for missing, surplus, unknown or repeated
// arguments (Signature), and the exact-type checks of args.hpp, argument by
// argument in parameter order.
//
//   host::method(cls, "read_flow_table", {"flow_path", "platform"},
//                [](FlowTableReader& self, py::str path, py::str platform) { ... });
//
// Parameter types: py::object / py::handle (anything), py::str, py::list,
// py::dict, py::int_ (exactly that type), host::Map (a dict or an accepted map
// with a default), host::TruncatedInt (any number, truncated), host::TextOrNone
// (a str or None), or any type with a static `take(py::handle value, const
// char* name)`.
#pragma once

#include <pybind11/pybind11.h>

#include <cstddef>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "host/args.hpp"
#include "host/number_args.hpp"

namespace tallowby::host {
namespace py = pybind11;

using Params = std::initializer_list<Signature::Param>;

// A map parameter: an exact dict or an accepted map with a default.
struct Map : py::dict {
    explicit Map(py::dict d) : py::dict(std::move(d)) {}
    static Map take(py::handle value, const char* name) { return Map(arg_map(value, name)); }
};

// An integer parameter that takes any number, truncated to an int.
struct TruncatedInt : py::int_ {
    explicit TruncatedInt(py::int_ i) : py::int_(std::move(i)) {}
    static TruncatedInt take(py::handle value, const char* name) {
        return TruncatedInt(arg_truncated_int(value, name));
    }
};

// A text parameter that may also be None.
struct TextOrNone : py::object {
    explicit TextOrNone(py::object o) : py::object(std::move(o)) {}
    static TextOrNone take(py::handle value, const char* name) {
        return TextOrNone(value.is_none() ? py::object(py::none()) : py::object(arg_str(value, name)));
    }
};

namespace detail {

// How an argument reaches a parameter of type T.
template <typename T>
struct Take {
    static T take(py::object& value, const char* name) { return T::take(value, name); }
};
template <>
struct Take<py::object> {
    static py::object take(py::object& value, const char*) { return value; }
};
template <>
struct Take<py::handle> {
    // Borrowed from the bound arguments, which live through the call.
    static py::handle take(py::object& value, const char*) { return value; }
};
template <>
struct Take<py::str> {
    static py::str take(py::object& value, const char* name) { return arg_str(value, name); }
};
template <>
struct Take<py::list> {
    static py::list take(py::object& value, const char* name) { return arg_list(value, name); }
};
template <>
struct Take<py::dict> {
    static py::dict take(py::object& value, const char* name) { return arg_dict(value, name); }
};
template <>
struct Take<py::int_> {
    static py::int_ take(py::object& value, const char* name) { return arg_int(value, name); }
};

// The parameter types of a lambda or function.
template <typename F>
struct Callable : Callable<decltype(&F::operator())> {};
template <typename C, typename R, typename... A>
struct Callable<R (C::*)(A...) const> {
    using Args = std::tuple<A...>;
};
template <typename C, typename R, typename... A>
struct Callable<R (C::*)(A...)> {
    using Args = std::tuple<A...>;
};
template <typename R, typename... A>
struct Callable<R (*)(A...)> {
    using Args = std::tuple<A...>;
};

// Checks the bound arguments in parameter order (a braced list is evaluated
// left to right) and calls fn with `lead` (the object, if any) before them.
template <typename... A, typename F, typename... Lead>
auto call_checked(const Signature& sig, std::vector<py::object>& a, const F& fn, Lead&&... lead) {
    return [&]<std::size_t... I>(std::index_sequence<I...>) -> auto {
        std::tuple<std::decay_t<A>...> checked{Take<std::decay_t<A>>::take(a[I], sig.name(I))...};
        return fn(std::forward<Lead>(lead)..., std::get<I>(std::move(checked))...);
    }(std::index_sequence_for<A...>{});
}

inline std::shared_ptr<const Signature> make_signature(std::string qualname, Params params, bool is_method,
                                                       std::size_t taken) {
    auto sig = std::make_shared<const Signature>(qualname, params, is_method);
    if (sig->size() != taken)
        throw std::logic_error(qualname + ": the binding names " + std::to_string(sig->size()) +
                               " parameters but its C++ takes " + std::to_string(taken));
    return sig;
}

// "Cls.op" for operation `name` of class `cls`; a private name "_Cls__op"
// reads "Cls.__op", as the host names it.
inline std::string qualname_of(py::handle cls, const std::string& name) {
    const std::string owner = py::str(cls.attr("__name__"));
    const std::string mangled = "_" + owner + "__";
    if (name.rfind(mangled, 0) == 0) return owner + "." + name.substr(owner.size() + 1);
    return owner + "." + name;
}

template <typename Self, typename... A, typename Cls, typename F, typename... Extra>
void bind_method(Cls& cls, const char* name, Params params, F fn, std::tuple<Self, A...>*, const Extra&... extra) {
    auto sig = make_signature(qualname_of(cls, name), params, true, sizeof...(A));
    auto op = [sig, fn](Self self, py::args args, py::kwargs kwargs) -> auto {
        auto a = sig->bind(args, kwargs);
        return call_checked<A...>(*sig, a, fn, std::forward<Self>(self));
    };
    if constexpr (std::is_base_of_v<py::detail::generic_type, Cls>) {
        cls.def(name, op, extra...);
    } else {
        // A class made by the host itself (not bound here).
        py::setattr(cls, name, py::cpp_function(op, py::name(name), py::is_method(cls), extra...));
    }
}

template <typename... A, typename F>
auto unbound(std::shared_ptr<const Signature> sig, F fn, std::tuple<A...>*) {
    return [sig, fn](py::args args, py::kwargs kwargs) -> auto {
        auto a = sig->bind(args, kwargs);
        return call_checked<A...>(*sig, a, fn);
    };
}

template <typename Self, typename... A, typename Cls, typename F>
void bind_init_then(Cls& cls, Params params, F fn, std::tuple<Self, A...>*) {
    auto sig = make_signature(qualname_of(cls, "__init__"), params, true, sizeof...(A));
    py::object make = cls.attr("__init__");
    cls.attr("__init__") = py::cpp_function(
        [sig, fn, make](py::object self, py::args args, py::kwargs kwargs) {
            auto a = sig->bind(args, kwargs);
            make(self);
            call_checked<A...>(*sig, a, fn, self);
        },
        py::is_method(cls), py::name("__init__"));
}

}  // namespace detail

// A method: fn(self, parameters...), self as the class's C++ type (T&) or py::object.
// `cls` is a bound class or any class object of the host.
template <typename Cls, typename F, typename... Extra>
void method(Cls& cls, const char* name, Params params, F fn, const Extra&... extra) {
    using Args = typename detail::Callable<F>::Args;
    detail::bind_method(cls, name, params, std::move(fn), static_cast<Args*>(nullptr), extra...);
}

// A static method: fn(parameters...).
template <typename Cls, typename F, typename... Extra>
void static_method(Cls& cls, const char* name, Params params, F fn, const Extra&... extra) {
    using Args = typename detail::Callable<F>::Args;
    auto sig = detail::make_signature(detail::qualname_of(cls, name), params, false, std::tuple_size_v<Args>);
    cls.def_static(name, detail::unbound(sig, std::move(fn), static_cast<Args*>(nullptr)), extra...);
}

// A module function: fn(parameters...).
template <typename F, typename... Extra>
void function(py::module_& m, const char* name, Params params, F fn, const Extra&... extra) {
    using Args = typename detail::Callable<F>::Args;
    auto sig = detail::make_signature(name, params, false, std::tuple_size_v<Args>);
    m.def(name, detail::unbound(sig, std::move(fn), static_cast<Args*>(nullptr)), extra...);
}

// A constructor: fn(parameters...) gives the new T (by value or as T*).
template <typename Cls, typename F>
void constructor(Cls& cls, Params params, F fn) {
    using Args = typename detail::Callable<F>::Args;
    auto sig = detail::make_signature(detail::qualname_of(cls, "__init__"), params, true, std::tuple_size_v<Args>);
    cls.def(py::init(detail::unbound(sig, std::move(fn), static_cast<Args*>(nullptr))));
}

// A constructor that makes a T and then runs fn(self, parameters...) on the
// new host object, for state that lives on the object itself.
template <typename T, typename Cls, typename F>
void constructor_then(Cls& cls, Params params, F fn) {
    using Args = typename detail::Callable<F>::Args;
    cls.def(py::init([](py::args, py::kwargs) { return T(); }));
    detail::bind_init_then(cls, params, std::move(fn), static_cast<Args*>(nullptr));
}

// The constructor of a class whose constructor takes nothing.
template <typename T, typename Cls>
void constructor(Cls& cls) {
    constructor(cls, {}, [] { return new T(); });
}

}  // namespace tallowby::host
