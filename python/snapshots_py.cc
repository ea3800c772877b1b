// The typed snapshots as instances of module classes, one class per C++
// snapshot type, each field named as in C++.
#include "snapshots_py.h"

#include <pybind11/stl.h>

#include <cxxabi.h>

#include <cstdlib>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <vector>

#include "docs.h"

namespace orvane {
namespace {

py::handle g_module;  // orvane._orvane, where the snapshot classes go

// A snapshot's fields as Python values: None where not received, time as a
// UTC datetime, lists for vectors.
py::object Value(const std::optional<UtcTime>& v) {
  if (!v) return py::none();
  py::module_ dt = py::module_::import("datetime");
  return dt.attr("datetime")
      .attr("fromtimestamp")(v->time_since_epoch().count(), dt.attr("timezone").attr("utc"));
}
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

// The C++ type's own name, without its namespace: Fix for orvane::Fix.
template <typename T>
std::string ClassName() {
  int status = 0;
  char* full = abi::__cxa_demangle(typeid(T).name(), nullptr, nullptr, &status);
  std::string name = status == 0 && full ? full : typeid(T).name();
  std::free(full);
  return name.substr(name.rfind(':') == std::string::npos ? 0 : name.rfind(':') + 1);
}

// A snapshot field's Python type, as a stub writes it.
template <typename T>
struct PyTypeName {
  static std::string Get() { return std::is_class_v<T> ? ClassName<T>() : "Any"; }
};
template <>
struct PyTypeName<bool> {
  static std::string Get() { return "bool"; }
};
template <>
struct PyTypeName<int> {
  static std::string Get() { return "int"; }
};
template <>
struct PyTypeName<double> {
  static std::string Get() { return "float"; }
};
template <>
struct PyTypeName<char> {
  static std::string Get() { return "str"; }
};
template <>
struct PyTypeName<std::string> {
  static std::string Get() { return "str"; }
};
template <>
struct PyTypeName<UtcTime> {
  static std::string Get() { return "datetime.datetime"; }
};
template <typename T>
struct PyTypeName<std::optional<T>> {
  static std::string Get() { return PyTypeName<T>::Get() + " | None"; }
};
template <typename T>
struct PyTypeName<std::vector<T>> {
  static std::string Get() { return "list[" + PyTypeName<T>::Get() + "]"; }
};

std::vector<SnapshotSchema>& MutableSchemas() {
  static auto* schemas = new std::vector<SnapshotSchema>;
  return *schemas;
}

// A class of the module, a types.SimpleNamespace with the fields annotated,
// made once for each snapshot type.
py::handle SnapshotClass(SnapshotSchema schema) {
  py::dict annotations;
  for (const auto& [field, type] : schema.fields) annotations[py::str(field)] = type;
  py::dict body;
  body["__doc__"] = OwnDoc(schema.name);
  body["__module__"] = g_module.attr("__name__");
  body["__annotations__"] = annotations;
  py::object base = py::module_::import("types").attr("SimpleNamespace");
  py::object cls = py::reinterpret_borrow<py::object>(reinterpret_cast<PyObject*>(&PyType_Type))(
      schema.name, py::make_tuple(base), body);
  if (!py::hasattr(g_module, schema.name.c_str())) g_module.attr(schema.name.c_str()) = cls;
  MutableSchemas().push_back(std::move(schema));
  return cls.release();  // lives as long as the process
}

// A snapshot as an instance of its class, each field named as in C++.
template <typename Snapshot, typename... Members>
py::object Namespace(const Snapshot& snapshot,
                     std::pair<const char*, Members Snapshot::*>... fields) {
  static const py::handle cls =
      SnapshotClass({ClassName<Snapshot>(), {{fields.first, PyTypeName<Members>::Get()}...}});
  py::dict d;
  ((d[fields.first] = Value(snapshot.*fields.second)), ...);
  return cls(**d);
}
#define FIELD(name) \
  std::pair { #name, &Of::name }

}  // namespace

void SetSnapshotModule(py::handle module) { g_module = module; }

const std::vector<SnapshotSchema>& Schemas() { return MutableSchemas(); }

py::object Value(const Satellite& s) {
  using Of = Satellite;
  return Namespace(s, FIELD(number), FIELD(elevation), FIELD(azimuth), FIELD(snr),
                   FIELD(used_in_fix));
}

py::object SnapshotToPython(const Fix& f) {
  using Of = Fix;
  return Namespace(f, FIELD(good), FIELD(time), FIELD(latitude), FIELD(longitude), FIELD(altitude),
                   FIELD(speed), FIELD(course), FIELD(magnetic_variation), FIELD(quality),
                   FIELD(satellites_in_fix), FIELD(hdop), FIELD(geoid_height), FIELD(dgps_age),
                   FIELD(dgps_station), FIELD(mode), FIELD(magnetic_course),
                   FIELD(local_zone_offset), FIELD(gnss_mode), FIELD(heading),
                   FIELD(magnetic_heading), FIELD(latitude_error), FIELD(longitude_error),
                   FIELD(altitude_error), FIELD(receiver_text));
}

py::object SnapshotToPython(const Satellites& s) {
  using Of = Satellites;
  return Namespace(s, FIELD(automatic), FIELD(mode), FIELD(pdop), FIELD(hdop), FIELD(vdop),
                   FIELD(in_view), FIELD(used), FIELD(in_sight));
}

py::object SnapshotToPython(const Navigation& n) {
  using Of = Navigation;
  return Namespace(n, FIELD(origin), FIELD(destination), FIELD(destination_latitude),
                   FIELD(destination_longitude), FIELD(range), FIELD(bearing_to_destination),
                   FIELD(cross_track_error), FIELD(steer), FIELD(closing_velocity),
                   FIELD(origin_to_destination_true), FIELD(origin_to_destination_magnetic),
                   FIELD(arrived), FIELD(route_name), FIELD(route), FIELD(route_complete));
}
py::object SnapshotToPython(const Epoch& e) {
  using Of = Epoch;
  return Namespace(e, FIELD(time), FIELD(milliseconds), FIELD(good), FIELD(latitude),
                   FIELD(longitude), FIELD(altitude), FIELD(altitude_hae), FIELD(geoid_height),
                   FIELD(speed), FIELD(course), FIELD(magnetic_course), FIELD(magnetic_variation),
                   FIELD(heading), FIELD(magnetic_heading), FIELD(mode), FIELD(quality),
                   FIELD(satellites_used), FIELD(satellites_in_view), FIELD(pdop), FIELD(hdop),
                   FIELD(vdop), FIELD(latitude_error), FIELD(longitude_error),
                   FIELD(altitude_error), FIELD(sentences));
}
#undef FIELD

}  // namespace orvane
