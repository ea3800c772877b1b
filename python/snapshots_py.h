#pragma once
// The typed snapshots as Python objects: types.SimpleNamespace classes of
// the module, None where a value was not received, time as a UTC datetime.
#include <pybind11/pybind11.h>

#include <string>
#include <utility>
#include <vector>

#include "orvane/orvane.h"

namespace orvane {

namespace py = pybind11;

// Where the snapshot classes are made: set once, before the first snapshot.
void SetSnapshotModule(py::handle module);

py::object Value(const Satellite& s);
py::object SnapshotToPython(const Fix& f);
py::object SnapshotToPython(const Satellites& s);
py::object SnapshotToPython(const Navigation& n);
py::object SnapshotToPython(const Epoch& e);

// Each class made so far with its fields, for the type stub.
struct SnapshotSchema {
  std::string name;
  std::vector<std::pair<std::string, std::string>> fields;  // name, Python type
};
const std::vector<SnapshotSchema>& Schemas();

}  // namespace orvane
