#include "values.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace py = pybind11;

namespace orvane {

py::object UtcDatetime(const DateParts& p) {
  py::module_ dt = py::module_::import("datetime");
  return dt.attr("datetime")(p.year, p.month, p.day, p.hour, p.minute, p.second,
                             py::arg("tzinfo") = dt.attr("timezone").attr("utc"));
}

namespace {

// A lone surrogate, which a BSTR may hold and a str passed it, comes back
// unchanged.
py::object Str(std::u16string_view text) {
  const bool surrogates =
      std::any_of(text.begin(), text.end(), [](char16_t c) { return c >= 0xD800 && c <= 0xDFFF; });
  if (!surrogates) return py::str(Utf16ToUtf8(text));
  // The text's own order, so a leading U+FEFF stays text, not a byte-order mark.
  int order = std::endian::native == std::endian::little ? -1 : 1;
  PyObject* str =
      PyUnicode_DecodeUTF16(reinterpret_cast<const char*>(text.data()),
                            static_cast<Py_ssize_t>(text.size() * 2), "surrogatepass", &order);
  if (str == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(str);
}

}  // namespace

py::object ToPython(const Variant& v) {
  switch (v.vt()) {
    case vt::kI2: return py::int_(v.i2());
    case vt::kI4: return py::int_(v.i4());
    case vt::kR8: return py::float_(v.r8());
    case vt::kBool: return py::bool_(v.boolean());
    case vt::kBstr: return Str(v.bstr());
    case vt::kError: return py::int_(static_cast<std::uint32_t>(v.error()));
    case vt::kDate: {
      const std::optional<DateParts> parts = SplitDate(v.date());
      if (!parts) throw py::value_error("orvane: a date outside the years 100 to 9999");
      return UtcDatetime(*parts);
    }
    case vt::kArrayOfVariant: {
      py::list list;
      for (const Variant& e : v.array()) list.append(ToPython(e));
      return list;
    }
    default: return py::none();  // VT_EMPTY, VT_NULL
  }
}

Variant FromPython(const py::handle& o) {
  if (o.is_none()) return Variant::Null();
  if (py::isinstance<py::bool_>(o)) return Variant::Bool(o.cast<bool>());
  if (py::isinstance<py::int_>(o)) {
    int overflow = 0;
    const long long value = PyLong_AsLongLongAndOverflow(o.ptr(), &overflow);
    if (overflow != 0) {  // a script would pass it as a double
      const double d = PyLong_AsDouble(o.ptr());
      if (d == -1.0 && PyErr_Occurred()) throw py::error_already_set();
      return Variant::R8(d);
    }
    if (value >= -32768 && value <= 32767) return Variant::I2(static_cast<std::int16_t>(value));
    if (value >= INT32_MIN && value <= INT32_MAX)
      return Variant::I4(static_cast<std::int32_t>(value));
    return Variant::R8(static_cast<double>(value));
  }
  if (py::isinstance<py::float_>(o)) return Variant::R8(o.cast<double>());
  if (py::isinstance<py::str>(o)) {
    // UTF-16 as a BSTR holds it: a lone surrogate passes through unchanged.
    py::bytes utf16 = o.attr("encode")("utf-16-le", "surrogatepass");
    const std::string bytes = utf16;
    std::u16string text(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
      text[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                      static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
    }
    return Variant::Bstr(std::move(text));
  }
  py::module_ dt = py::module_::import("datetime");
  if (py::isinstance(o, dt.attr("datetime"))) {
    // Naive times are taken as UTC; aware ones are converted to it.
    py::object utc = o.attr("tzinfo").is_none()
                         ? py::reinterpret_borrow<py::object>(o)
                         : o.attr("astimezone")(dt.attr("timezone").attr("utc"));
    const std::optional<double> date =
        MakeDate(utc.attr("year").cast<int>(), utc.attr("month").cast<int>(),
                 utc.attr("day").cast<int>(), utc.attr("hour").cast<int>(),
                 utc.attr("minute").cast<int>(), utc.attr("second").cast<int>());
    if (!date) throw py::value_error("orvane: a date outside the years 100 to 9999");
    return Variant::Date(*date);
  }
  if (py::isinstance<py::list>(o) || py::isinstance<py::tuple>(o)) {
    std::vector<Variant> elements;
    for (const py::handle& e : o) elements.push_back(FromPython(e));
    return Variant::Array(std::move(elements));
  }
  throw py::type_error("orvane: cannot pass a " +
                       std::string(py::str(o.get_type().attr("__name__"))) + " to the control");
}

}  // namespace orvane
