// The Python module `orvane`: the control as a script host sees it, events
// pumped on the calling thread, and the typed snapshots.
#include <pybind11/functional.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <memory>
#include <string>
#include <vector>

#include "control/member_table.h"
#include "orvane/orvane.h"
#include "values.h"

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

// A snapshot's fields as Python values: None where not received, time as a
// UTC datetime, lists for vectors.
py::object Value(const std::optional<UtcTime>& v) {
  if (!v) return py::none();
  py::module_ dt = py::module_::import("datetime");
  return dt.attr("datetime").attr("fromtimestamp")(v->time_since_epoch().count(),
                                                    dt.attr("timezone").attr("utc"));
}
py::object Value(const Satellite& s);
template <typename T>
py::object Value(const T& v) {
  return py::cast(v);
}
template <typename T>
py::object Value(const std::vector<T>& v) {
  py::list list;
  for (const T& e : v) list.append(Value(e));
  return list;
}

// A types.SimpleNamespace of `snapshot`'s fields, each named as in C++.
template <typename Snapshot, typename... Members>
py::object Namespace(const Snapshot& snapshot, std::pair<const char*, Members Snapshot::*>... fields) {
  py::dict d;
  ((d[fields.first] = Value(snapshot.*fields.second)), ...);
  return py::module_::import("types").attr("SimpleNamespace")(**d);
}
#define FIELD(name) std::pair{#name, &Of::name}

py::object Value(const Satellite& s) {
  using Of = Satellite;
  return Namespace(s, FIELD(number), FIELD(elevation), FIELD(azimuth), FIELD(snr), FIELD(used_in_fix));
}

py::object SnapshotToPython(const Fix& f) {
  using Of = Fix;
  return Namespace(f, FIELD(good), FIELD(time), FIELD(latitude), FIELD(longitude), FIELD(altitude),
                   FIELD(speed), FIELD(course), FIELD(magnetic_variation), FIELD(quality),
                   FIELD(satellites_in_fix), FIELD(hdop), FIELD(geoid_height), FIELD(dgps_age),
                   FIELD(dgps_station), FIELD(mode), FIELD(magnetic_course), FIELD(local_zone_offset),
                   FIELD(gnss_mode), FIELD(heading), FIELD(magnetic_heading), FIELD(latitude_error),
                   FIELD(longitude_error), FIELD(altitude_error), FIELD(receiver_text));
}

py::object SnapshotToPython(const Satellites& s) {
  using Of = Satellites;
  return Namespace(s, FIELD(automatic), FIELD(mode), FIELD(pdop), FIELD(hdop), FIELD(vdop), FIELD(in_view),
                   FIELD(used), FIELD(in_sight));
}

py::object SnapshotToPython(const Navigation& n) {
  using Of = Navigation;
  return Namespace(n, FIELD(origin), FIELD(destination), FIELD(destination_latitude),
                   FIELD(destination_longitude), FIELD(range), FIELD(bearing_to_destination),
                   FIELD(cross_track_error), FIELD(steer), FIELD(closing_velocity),
                   FIELD(origin_to_destination_true), FIELD(origin_to_destination_magnetic), FIELD(arrived),
                   FIELD(route_name), FIELD(route), FIELD(route_complete));
}
py::object SnapshotToPython(const Epoch& e) {
  using Of = Epoch;
  return Namespace(e, FIELD(time), FIELD(good), FIELD(latitude), FIELD(longitude), FIELD(altitude),
                   FIELD(altitude_hae), FIELD(geoid_height), FIELD(speed), FIELD(course), FIELD(magnetic_course),
                   FIELD(magnetic_variation), FIELD(heading), FIELD(magnetic_heading), FIELD(mode), FIELD(quality),
                   FIELD(satellites_used),
                   FIELD(satellites_in_view), FIELD(pdop), FIELD(hdop), FIELD(vdop), FIELD(latitude_error),
                   FIELD(longitude_error), FIELD(altitude_error), FIELD(sentences));
}
#undef FIELD

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
    if (SameMemberName("epoch", event)) {
      // The function is let go with the interpreter's lock held, wherever
      // the last copy goes.
      struct Held {
        py::function fn;
        ~Held() {
          py::gil_scoped_acquire gil;
          fn = py::function();
        }
      };
      auto held = std::make_shared<Held>(Held{std::move(fn)});
      return control().OnEpoch([held, errors = errors_](const Epoch& epoch) {
        py::gil_scoped_acquire gil;
        try {
          py::function f = held->fn;
          f(SnapshotToPython(epoch));
        } catch (py::error_already_set& e) {
          errors->errors.push_back(std::move(e));
        }
      });
    }
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
      .def_property_readonly("fix", [](PyControl& c) { return orvane::SnapshotToPython(c.control().Fix()); })
      .def_property_readonly("satellites",
                             [](PyControl& c) { return orvane::SnapshotToPython(c.control().Satellites()); })
      .def_property_readonly("navigation",
                             [](PyControl& c) { return orvane::SnapshotToPython(c.control().Navigation()); })
      .def("__enter__", [](py::object self) { return self; })
      .def("__exit__", [](PyControl& c, py::args) {
        c.Release();
        return false;
      });
}
