// The Python module `orvane`: the control as a script host sees it, events
// pumped on the calling thread, and the typed snapshots.
#include <pybind11/functional.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <memory>
#include <string>
#include <vector>

#include "automation/date.h"
#include "control/member_table.h"
#include "orvane/orvane.h"

namespace py = pybind11;

namespace orvane {
namespace {

py::object g_error;  // orvane.Error

[[noreturn]] void Raise(Hresult hr, const ExcepInfo* info = nullptr) {
  const Hresult code = info && hr == hr::kException && info->scode != 0 ? info->scode : hr;
  const std::string description = info ? Utf16ToUtf8(info->description) : std::string();
  const std::string source = info ? Utf16ToUtf8(info->source) : std::string();
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(code));
  py::object error = g_error(std::string(hex) + (description.empty() ? "" : ": " + description));
  error.attr("hresult") = static_cast<std::uint32_t>(code);
  error.attr("description") = description.empty() ? py::object(py::none()) : py::str(description);
  error.attr("source") = source.empty() ? py::object(py::none()) : py::str(source);
  PyErr_SetObject(g_error.ptr(), error.ptr());
  throw py::error_already_set();
}

py::object UtcDatetime(const DateParts& p) {
  py::module_ dt = py::module_::import("datetime");
  return dt.attr("datetime")(p.year, p.month, p.day, p.hour, p.minute, p.second,
                             py::arg("tzinfo") = dt.attr("timezone").attr("utc"));
}

py::object ToPython(const Variant& v) {
  switch (v.vt()) {
    case vt::kI2: return py::int_(v.i2());
    case vt::kI4: return py::int_(v.i4());
    case vt::kR8: return py::float_(v.r8());
    case vt::kBool: return py::bool_(v.boolean());
    case vt::kBstr: return py::str(v.ToUtf8());
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
    if (value >= INT32_MIN && value <= INT32_MAX) return Variant::I4(static_cast<std::int32_t>(value));
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
        MakeDate(utc.attr("year").cast<int>(), utc.attr("month").cast<int>(), utc.attr("day").cast<int>(),
                 utc.attr("hour").cast<int>(), utc.attr("minute").cast<int>(), utc.attr("second").cast<int>());
    if (!date) throw py::value_error("orvane: a date outside the years 100 to 9999");
    return Variant::Date(*date);
  }
  if (py::isinstance<py::list>(o) || py::isinstance<py::tuple>(o)) {
    std::vector<Variant> elements;
    for (const py::handle& e : o) elements.push_back(FromPython(e));
    return Variant::Array(std::move(elements));
  }
  throw py::type_error("orvane: cannot pass a " + std::string(py::str(o.get_type().attr("__name__"))) +
                       " to the control");
}

py::object Optional(const std::optional<double>& v) { return v ? py::object(py::float_(*v)) : py::none(); }
py::object Optional(const std::optional<int>& v) { return v ? py::object(py::int_(*v)) : py::none(); }
py::object Optional(const std::optional<bool>& v) { return v ? py::object(py::bool_(*v)) : py::none(); }
py::object Optional(const std::optional<char>& v) { return v ? py::object(py::str(std::string(1, *v))) : py::none(); }
py::object Optional(const std::optional<std::string>& v) { return v ? py::object(py::str(*v)) : py::none(); }
py::object Optional(const std::optional<UtcTime>& v) {
  if (!v) return py::none();
  py::module_ dt = py::module_::import("datetime");
  return dt.attr("datetime").attr("fromtimestamp")(v->time_since_epoch().count(),
                                                    dt.attr("timezone").attr("utc"));
}

py::object Namespace(py::dict fields) {
  return py::module_::import("types").attr("SimpleNamespace")(**fields);
}

py::object ToPython(const Fix& f) {
  py::dict d;
  d["good"] = f.good;
  d["time"] = Optional(f.time);
  d["latitude"] = Optional(f.latitude);
  d["longitude"] = Optional(f.longitude);
  d["altitude"] = Optional(f.altitude);
  d["speed"] = Optional(f.speed);
  d["course"] = Optional(f.course);
  d["magnetic_variation"] = Optional(f.magnetic_variation);
  d["quality"] = Optional(f.quality);
  d["satellites_in_fix"] = Optional(f.satellites_in_fix);
  d["hdop"] = Optional(f.hdop);
  d["geoid_height"] = Optional(f.geoid_height);
  d["dgps_age"] = Optional(f.dgps_age);
  d["dgps_station"] = Optional(f.dgps_station);
  d["mode"] = Optional(f.mode);
  return Namespace(d);
}

py::object ToPython(const Satellites& s) {
  py::dict d;
  d["automatic"] = Optional(s.automatic);
  d["mode"] = Optional(s.mode);
  d["pdop"] = Optional(s.pdop);
  d["hdop"] = Optional(s.hdop);
  d["vdop"] = Optional(s.vdop);
  d["in_view"] = Optional(s.in_view);
  d["used"] = py::cast(s.used);
  py::list sats;
  for (const Satellite& sat : s.in_sight) {
    py::dict e;
    e["number"] = sat.number;
    e["elevation"] = Optional(sat.elevation);
    e["azimuth"] = Optional(sat.azimuth);
    e["snr"] = Optional(sat.snr);
    e["used_in_fix"] = sat.used_in_fix;
    sats.append(Namespace(e));
  }
  d["in_sight"] = sats;
  return Namespace(d);
}

py::object ToPython(const Navigation& n) {
  py::dict d;
  d["origin"] = Optional(n.origin);
  d["destination"] = Optional(n.destination);
  d["destination_latitude"] = Optional(n.destination_latitude);
  d["destination_longitude"] = Optional(n.destination_longitude);
  d["range"] = Optional(n.range);
  d["bearing_to_destination"] = Optional(n.bearing_to_destination);
  d["cross_track_error"] = Optional(n.cross_track_error);
  d["steer"] = Optional(n.steer);
  d["closing_velocity"] = Optional(n.closing_velocity);
  d["origin_to_destination_true"] = Optional(n.origin_to_destination_true);
  d["origin_to_destination_magnetic"] = Optional(n.origin_to_destination_magnetic);
  d["arrived"] = Optional(n.arrived);
  d["route_name"] = Optional(n.route_name);
  d["route"] = py::cast(n.route);
  d["route_complete"] = Optional(n.route_complete);
  return Namespace(d);
}

// Exceptions raised by callbacks wait here until the pumping call re-raises
// the first of them.
struct PendingErrors {
  std::vector<py::error_already_set> errors;
  void Rethrow() {
    if (errors.empty()) return;
    py::error_already_set first = std::move(errors.front());
    errors.clear();
    throw first;
  }
};

class PySink final : public EventSink {
 public:
  PySink(Dispid dispid, py::function fn, std::shared_ptr<PendingErrors> errors)
      : dispid_(dispid), fn_(std::move(fn)), errors_(std::move(errors)) {}
  ~PySink() override {
    py::gil_scoped_acquire gil;
    fn_ = py::function();
  }
  Hresult Invoke(Dispid dispid, std::span<Variant> args) override {
    if (dispid != dispid_) return hr::kOk;
    py::gil_scoped_acquire gil;
    try {
      py::tuple params(args.size());
      for (std::size_t i = 0; i < args.size(); ++i) params[i] = ToPython(args[args.size() - 1 - i]);
      py::function fn = fn_;  // a handler may drop its own registration
      fn(*params);
    } catch (py::error_already_set& e) {
      errors_->errors.push_back(std::move(e));
    }
    return hr::kOk;
  }

 private:
  const Dispid dispid_;
  py::function fn_;
  std::shared_ptr<PendingErrors> errors_;
};

class PyControl {
 public:
  PyControl() : control_(std::make_unique<Control>()), errors_(std::make_shared<PendingErrors>()) {}
  ~PyControl() { Release(); }

  void Release() {
    std::unique_ptr<Control> control = std::move(control_);
    if (!control) return;
    py::gil_scoped_release nogil;  // the reader may wait for a callback that needs the GIL
    control.reset();
  }

  Control& control() {
    if (!control_) Raise(hr::kUnexpected);
    return *control_;
  }

  py::object GetAttr(const std::string& name) {
    const MemberInfo* member = FindMember(name);
    if (!member) throw py::attribute_error("orvane.Control has no member " + name);
    if (member->kind == MemberKind::kMethod) {
      return py::cpp_function([this, name = std::string(member->name)](py::args args) {
        return CallMethod(name, args);
      });
    }
    control();
    Variant value;
    ExcepInfo info;
    const Hresult hr = control().Get(name, &value, &info);
    if (Failed(hr)) Raise(hr, &info);
    return ToPython(value);
  }

  void SetAttr(const std::string& name, const py::object& value) {
    const MemberInfo* member = FindMember(name);
    if (!member) throw py::attribute_error("orvane.Control has no member " + name);
    Variant v = FromPython(value);
    ExcepInfo info;
    const Hresult hr = control().Put(name, v, &info);
    if (Failed(hr)) Raise(hr, &info);
  }

  py::object CallMethod(const std::string& name, const py::args& given) {
    const MemberInfo* member = FindMember(name);
    std::vector<Variant> args;
    for (const py::handle& a : given) args.push_back(FromPython(a));
    std::size_t outs = 0;
    for (std::size_t i = 0; i < member->param_count; ++i) {
      if (member->params[i].out) {
        if (args.size() < i) break;
        args.resize(std::max(args.size(), i + 1));
        ++outs;
      }
    }
    ExcepInfo info;
    Variant result;
    Hresult hr;
    {
      Control& c = control();
      py::gil_scoped_release nogil;  // Close waits for the reader
      hr = c.Invoke(name, dispatch::kMethod, args, &result, &info);
    }
    if (Failed(hr)) Raise(hr, &info);
    if (outs == 0) return py::none();
    if (SameMemberName(name, "GetSatelliteInfo")) {  // (azimuth, elevation, snr) out
      return py::make_tuple(ToPython(args[2]), ToPython(args[1]), ToPython(args[3]));
    }
    py::tuple out(outs);
    std::size_t k = 0;
    for (std::size_t i = 0; i < member->param_count; ++i) {
      if (member->params[i].out) out[k++] = ToPython(args[i]);
    }
    return std::move(out);
  }

  std::uint32_t On(const std::string& event, py::function fn) {
    for (const EventInfo& e : Events()) {
      if (SameMemberName(e.name, event)) {
        std::uint32_t cookie = 0;
        const Hresult hr = control().Advise(std::make_shared<PySink>(e.dispid, std::move(fn), errors_),
                                            &cookie);
        if (Failed(hr)) Raise(hr);
        return cookie;
      }
    }
    throw py::value_error("orvane: no event named " + event);
  }

  void Off(std::uint32_t cookie) {
    const Hresult hr = control().Unadvise(cookie);
    if (Failed(hr)) Raise(hr);
  }

  std::size_t DoPump() {
    std::size_t ran;
    {
      py::gil_scoped_release nogil;
      ran = Pump();
    }
    errors_->Rethrow();
    return ran;
  }

  std::size_t DoRunFor(double seconds) {
    std::size_t ran;
    {
      py::gil_scoped_release nogil;
      ran = RunFor(Millis(seconds));
    }
    errors_->Rethrow();
    return ran;
  }

  bool DoRunUntil(const py::function& predicate, double timeout) {
    bool done;
    {
      py::gil_scoped_release nogil;
      done = RunUntil(
          [&] {
            py::gil_scoped_acquire gil;
            if (!errors_->errors.empty()) return true;  // re-raised below
            try {
              const int truth = PyObject_IsTrue(predicate().ptr());
              if (truth < 0) throw py::error_already_set();
              return truth == 1;
            } catch (py::error_already_set& e) {
              errors_->errors.push_back(std::move(e));
              return true;
            }
          },
          Millis(timeout));
    }
    errors_->Rethrow();
    return done;
  }

  static std::chrono::milliseconds Millis(double seconds) {
    if (!(seconds >= 0)) throw py::value_error("orvane: a time must be a non-negative number of seconds");
    return std::chrono::milliseconds(static_cast<std::int64_t>(std::min(seconds, 1e9) * 1000));
  }

  bool IsOpen() { return control_ && control_->IsOpen(); }

 private:
  std::unique_ptr<Control> control_;
  std::shared_ptr<PendingErrors> errors_;
};

}  // namespace
}  // namespace orvane

PYBIND11_MODULE(orvane, m) {
  using orvane::PyControl;
  m.doc() = "OrvaneMod: NMEA 0183 GPS receivers through the Orvane automation control";
  orvane::g_error = py::reinterpret_borrow<py::object>(
      PyErr_NewException("orvane.Error", PyExc_RuntimeError, nullptr));
  m.attr("Error") = orvane::g_error;
  m.def("members", [] {
    py::list rows;
    for (const orvane::MemberInfo& member : orvane::Members()) {
      rows.append(py::make_tuple(std::string(member.name), std::string(orvane::KindName(member.kind))));
    }
    return rows;
  }, "The automation members as (name, kind) in vtable order.");
  py::class_<PyControl>(m, "Control")
      .def(py::init<>())
      .def("__getattr__", &PyControl::GetAttr)
      .def("__setattr__", &PyControl::SetAttr)
      .def("on", &PyControl::On, py::arg("event"), py::arg("callback"))
      .def("off", &PyControl::Off, py::arg("cookie"))
      .def("pump", &PyControl::DoPump)
      .def("run_for", &PyControl::DoRunFor, py::arg("seconds"))
      .def("run_until", &PyControl::DoRunUntil, py::arg("predicate"), py::arg("timeout"))
      .def("fileno", [](PyControl&) { return orvane::ApartmentDescriptor(); })
      .def("release", &PyControl::Release)
      .def_property_readonly("is_open", &PyControl::IsOpen)
      .def_property_readonly("fix", [](PyControl& c) { return orvane::ToPython(c.control().Fix()); })
      .def_property_readonly("satellites",
                             [](PyControl& c) { return orvane::ToPython(c.control().Satellites()); })
      .def_property_readonly("navigation",
                             [](PyControl& c) { return orvane::ToPython(c.control().Navigation()); })
      .def("__enter__", [](py::object self) { return self; })
      .def("__exit__", [](PyControl& c, py::args) {
        c.Release();
        return false;
      });
}
