// orvane._orvane, the extension of the Python package `orvane`: the control
// as a script host sees it, every member a documented attribute, events
// pumped on the calling thread, and the typed snapshots.
#include <pybind11/functional.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "control/member_table.h"
#include "docs.h"
#include "orvane/orvane.h"
#include "read.h"
#include "snapshots_py.h"
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
        const Hresult hr =
            control().Advise(std::make_shared<PySink>(e.dispid, std::move(fn), errors_), &cookie);
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
    if (!(seconds >= 0))
      throw py::value_error("orvane: a time must be a non-negative number of seconds");
    return std::chrono::milliseconds(static_cast<std::int64_t>(std::min(seconds, 1e9) * 1000));
  }

  bool IsOpen() { return control_ && control_->IsOpen(); }

 private:
  std::unique_ptr<Control> control_;
  std::shared_ptr<PendingErrors> errors_;
};

// A get and a put share a name; the first row of a name stands for both.
bool FirstOfName(const MemberInfo& member) { return FindMember(member.name) == &member; }
bool Settable(std::string_view name) {
  for (const MemberInfo& member : AllMembers())
    if (member.kind == MemberKind::kPut && SameMemberName(member.name, name)) return true;
  return false;
}

// Every automation member as a property or method of the class, so dir(),
// help() and editors see them.
void DefineMembers(py::class_<PyControl>& cls) {
  for (const MemberInfo& member : AllMembers()) {
    const std::string name(member.name);
    if (!FirstOfName(member) || py::hasattr(cls, name.c_str())) continue;
    if (member.kind == MemberKind::kMethod) {
      cls.def(
          name.c_str(),
          [name](PyControl& c, const py::args& args) { return c.CallMethod(name, args); },
          KeepDoc(MemberDocstring(member, false)));
      continue;
    }
    const bool settable = Settable(name);
    py::cpp_function getter([name](PyControl& c) { return c.GetAttr(name); });
    const char* doc = KeepDoc(MemberDocstring(member, settable));
    if (settable) {
      cls.def_property(
          name.c_str(), getter,
          py::cpp_function([name](PyControl& c, const py::object& v) { c.SetAttr(name, v); }), doc);
    } else {
      cls.def_property_readonly(name.c_str(), getter, doc);
    }
  }
}

// What the stub generator needs beyond the docstrings: each name's type.
py::dict StubTypes() {
  py::list members;
  for (const MemberInfo& member : AllMembers()) {
    if (!FirstOfName(member)) continue;
    const char* kind = member.kind == MemberKind::kMethod ? "method"
                       : Settable(member.name)            ? "property"
                                                          : "readonly";
    members.append(py::make_tuple(std::string(member.name), kind, MemberStubType(member)));
  }
  py::dict own;
  for (const PyDoc& row : OwnDocs()) own[py::str(std::string(row.name))] = std::string(row.type);
  py::list snapshots;
  for (const SnapshotSchema& schema : Schemas())
    snapshots.append(py::make_tuple(schema.name, schema.fields));
  py::dict types;
  types["members"] = members;
  types["own"] = own;
  types["snapshots"] = snapshots;
  return types;
}

// The Control class: the members come later, from the member table.
py::class_<PyControl> DefineControl(py::module_& m) {
  py::class_<PyControl> control(m, "Control", OwnDoc("Control"));
  control.def(py::init<>(), OwnDoc("Control.__init__"))
      .def("__getattr__", &PyControl::GetAttr)
      .def("__setattr__", &PyControl::SetAttr)
      .def("on", &PyControl::On, py::arg("event"), py::arg("callback"), OwnDoc("Control.on"))
      .def("off", &PyControl::Off, py::arg("cookie"), OwnDoc("Control.off"))
      .def("pump", &PyControl::DoPump, OwnDoc("Control.pump"))
      .def("run_for", &PyControl::DoRunFor, py::arg("seconds"), OwnDoc("Control.run_for"))
      .def("run_until", &PyControl::DoRunUntil, py::arg("predicate"), py::arg("timeout"),
           OwnDoc("Control.run_until"))
      .def(
          "fileno", [](PyControl&) { return orvane::ApartmentDescriptor(); },
          OwnDoc("Control.fileno"))
      .def("release", &PyControl::Release, OwnDoc("Control.release"))
      .def_property_readonly("is_open", &PyControl::IsOpen, OwnDoc("Control.is_open"))
      .def_property_readonly(
          "fix", [](PyControl& c) { return orvane::SnapshotToPython(c.control().Fix()); },
          OwnDoc("Control.fix"))
      .def_property_readonly(
          "satellites",
          [](PyControl& c) { return orvane::SnapshotToPython(c.control().Satellites()); },
          OwnDoc("Control.satellites"))
      .def_property_readonly(
          "navigation",
          [](PyControl& c) { return orvane::SnapshotToPython(c.control().Navigation()); },
          OwnDoc("Control.navigation"))
      .def(
          "__enter__", [](py::object self) { return self; }, OwnDoc("Control.__enter__"))
      .def(
          "__exit__",
          [](PyControl& c, py::args) {
            c.Release();
            return false;
          },
          OwnDoc("Control.__exit__"));
  return control;
}

}  // namespace
}  // namespace orvane

PYBIND11_MODULE(_orvane, m) {
  using orvane::OwnDoc;
  using orvane::PyControl;
  // Each docstring starts with the signature the stub gives, not pybind11's.
  py::options options;
  options.disable_function_signatures();
  m.doc() = OwnDoc("module");
  m.attr("__version__") = ORVANE_VERSION;
  orvane::SetSnapshotModule(m);
  orvane::g_error = py::reinterpret_borrow<py::object>(
      PyErr_NewExceptionWithDoc("orvane.Error", OwnDoc("Error"), PyExc_RuntimeError, nullptr));
  orvane::g_error.attr("hresult") = 0;  // each raised one has its own
  orvane::g_error.attr("description") = py::none();
  orvane::g_error.attr("source") = py::none();
  m.attr("Error") = orvane::g_error;
  m.def(
      "members",
      [] {
        py::list rows;
        for (const orvane::MemberInfo& member : orvane::Members()) {
          rows.append(
              py::make_tuple(std::string(member.name), std::string(orvane::KindName(member.kind))));
        }
        return rows;
      },
      OwnDoc("members"));
  py::class_<PyControl> control = orvane::DefineControl(m);

  // The snapshot classes, made before any snapshot is taken so the stub sees them.
  orvane::SnapshotToPython(orvane::Fix{});
  orvane::SnapshotToPython(orvane::Satellites{});
  orvane::SnapshotToPython(orvane::Navigation{});
  orvane::Value(orvane::Satellite{});
  orvane::DefineMembers(control);
  orvane::DefineRead(m, OwnDoc("read"), OwnDoc("Log"));
  m.def("_stub_types", &orvane::StubTypes);
}
