// The Python binding's value conversion, through an embedded interpreter.
// The first byte picks the direction: a Variant from the bytes goes to
// Python, or a Python value from the bytes (what a script may pass, and what
// it may not) goes to the control. A refusal must be a TypeError or
// ValueError, never a crash; an accepted value must then survive
// Python -> Variant -> Python (see Same), and a plain str, bool, None, small
// int or float must come back as itself.
#include <pybind11/embed.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "values.h"
#include "variant_input.h"

namespace py = pybind11;

// The interpreter's caches live until exit by design; only ours are leaks.
extern "C" const char* __lsan_default_suppressions() { return "leak:libpython\n"; }

namespace {

using orvane::Variant;
using orvane::fuzz::Take;

[[noreturn]] void Fail(const char* what, const py::handle& value) {
  std::fprintf(stderr, "fuzz_pyvalues: %s: %s\n", what, std::string(py::repr(value)).c_str());
  std::abort();
}

// Elements cut at 0xFF bytes, nesting bounded.
py::list Elements(const std::uint8_t* data, std::size_t size, int depth);

py::object BuildPython(const std::uint8_t* data, std::size_t size, int depth) {
  if (size == 0) return py::none();
  const std::uint8_t kind = data[0];
  ++data;
  --size;
  const py::bytes raw(reinterpret_cast<const char*>(data), size);
  py::module_ builtins = py::module_::import("builtins");
  switch (kind % 10) {
    case 0: return py::none();
    case 1: return py::bool_(size > 0 && (data[0] & 1) != 0);
    case 2:  // any width, beyond 64 bits too
      return builtins.attr("int").attr("from_bytes")(raw, "little", py::arg("signed") = true);
    case 3: return py::float_(Take<double>(data, size));
    case 4: return raw.attr("decode")("utf-8", "surrogateescape");  // lone surrogates
    case 5:
      return py::bytes(reinterpret_cast<const char*>(data), size & ~std::size_t{1})
          .attr("decode")("utf-16-le", "surrogatepass");
    case 6: {  // naive, or aware at any offset within a day
      py::module_ dt = py::module_::import("datetime");
      auto field = [&](std::size_t i, int range) { return i < size ? data[i] % range : 0; };
      const int year = 1 + (field(0, 256) | field(1, 256) << 8) % 9999;
      py::object tz = py::none();
      if (field(8, 2) == 1) {
        const int minutes = (field(9, 256) | field(10, 256) << 8) % 2879 - 1439;
        tz = dt.attr("timezone")(dt.attr("timedelta")(py::arg("minutes") = minutes));
      }
      return dt.attr("datetime")(year, 1 + field(2, 12), 1 + field(3, 28), field(4, 24),
                                 field(5, 60), field(6, 60), field(7, 256) * 3900, tz);
    }
    case 7: return Elements(data, size, depth);
    case 8: return py::tuple(Elements(data, size, depth));
    default: {  // nothing a script passes to the control
      switch (size % 3) {
        case 0: return raw;
        case 1: return py::dict();
        default: return builtins.attr("complex")(1.0, Take<double>(data, size));
      }
    }
  }
}

py::list Elements(const std::uint8_t* data, std::size_t size, int depth) {
  py::list list;
  if (depth >= 3) return list;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= size; ++i) {
    if (i == size || data[i] == 0xFF) {
      list.append(BuildPython(data + start, i - start, depth + 1));
      start = i + 1;
    }
  }
  return list;
}

// Values that map one to one.
bool ComesBackAsItself(const py::handle& o) {
  if (o.is_none() || py::isinstance<py::bool_>(o) || py::isinstance<py::str>(o)) return true;
  if (py::isinstance<py::float_>(o)) return !std::isnan(o.cast<double>());
  if (py::isinstance<py::int_>(o)) {
    int overflow = 0;
    const long long v = PyLong_AsLongLongAndOverflow(o.ptr(), &overflow);
    return overflow == 0 && v >= INT32_MIN && v <= INT32_MAX;
  }
  return false;
}

// The same value: NaN is itself, and an int may come back as the float of its
// value (an error code, or an int beyond 32 bits, passes as VT_R8).
bool Same(const py::handle& a, const py::handle& b) {
  if (py::isinstance<py::list>(a) && py::isinstance<py::list>(b)) {
    const py::list x = py::reinterpret_borrow<py::list>(a), y = py::reinterpret_borrow<py::list>(b);
    if (x.size() != y.size()) return false;
    for (std::size_t i = 0; i < x.size(); ++i)
      if (!Same(x[i], y[i])) return false;
    return true;
  }
  if (py::isinstance<py::float_>(a) && py::isinstance<py::float_>(b) &&
      std::isnan(a.cast<double>()))
    return std::isnan(b.cast<double>());
  const bool int_to_float =
      py::isinstance<py::int_>(a) && !py::isinstance<py::bool_>(a) && py::isinstance<py::float_>(b);
  return (a.get_type().is(b.get_type()) || int_to_float) && a.equal(b);
}

void RunOne(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return;
  py::object python;
  if (data[0] & 1) {
    try {
      python = orvane::ToPython(orvane::fuzz::Build(data + 1, size - 1));
    } catch (const py::value_error&) {
      return;  // a date no datetime holds
    }
  } else {
    const py::object given = BuildPython(data + 1, size - 1, 0);
    Variant v;
    try {
      v = orvane::FromPython(given);
    } catch (const py::type_error&) {
      return;
    } catch (const py::value_error&) {
      return;
    } catch (py::error_already_set& e) {
      if (e.matches(PyExc_OverflowError)) return;  // an offset that leaves the datetime range
      throw;
    }
    python = orvane::ToPython(v);
    if (ComesBackAsItself(given) && !python.equal(given)) Fail("came back changed", given);
  }
  const py::object again = orvane::ToPython(orvane::FromPython(python));
  if (!Same(python, again)) Fail("no fixed point", python);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Started once, never finalized: the process ends with it. No signal
  // handlers of Python's beside the fuzzer's.
  static py::scoped_interpreter* const interpreter = new py::scoped_interpreter(false);
  (void)interpreter;
  RunOne(data, size);
  return 0;
}
