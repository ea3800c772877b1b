// orvane.read: a whole log decoded by the engine into columns (LogDecoder),
// with the GIL released; the columns become NumPy arrays without a copy.
#include "read.h"

#include <fcntl.h>
#include <pybind11/numpy.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "log_decoder.h"

namespace py = pybind11;

namespace orvane {
namespace {

// What is read from a source at a time.
constexpr std::size_t kReadBytes = 1 << 20;

// The vector becomes the array's memory; the capsule frees it with the array.
template <typename T>
py::array Column(std::vector<T>& values) {
  auto* owned = new std::vector<T>(std::move(values));
  py::capsule owner(owned, [](void* p) { delete static_cast<std::vector<T>*>(p); });
  return py::array_t<T>(static_cast<py::ssize_t>(owned->size()), owned->data(), owner);
}

py::array Column(std::vector<bool>& values) {
  py::array_t<bool> out(static_cast<py::ssize_t>(values.size()));
  bool* p = out.mutable_data();
  for (std::size_t i = 0; i < values.size(); ++i) p[i] = values[i];
  std::vector<bool>().swap(values);
  return out;
}

py::array Times(std::vector<std::int64_t>& ns) { return Column(ns).attr("view")("datetime64[ns]"); }

py::dict Counts(const Receiver::Stats& stats) {
  py::dict counts;
  counts["lines"] = stats.lines;
  counts["checksum_dropped"] = stats.checksum_dropped;
  counts["overlong_dropped"] = stats.overlong_dropped;
  counts["unrecognised"] = stats.unrecognised;
  const auto rows = Receiver::Sentences();
  for (std::size_t i = 0; i < rows.size(); ++i)
    counts[py::str(std::string(rows[i].identifier))] = stats.by_row[i];
  return counts;
}

py::dict EpochTable(EpochColumns& e) {
  py::dict epochs;
  epochs["time"] = Times(e.time);
  epochs["lat"] = Column(e.lat);
  epochs["lon"] = Column(e.lon);
  epochs["alt"] = Column(e.alt);
  epochs["alt_hae"] = Column(e.alt_hae);
  epochs["geoid_height"] = Column(e.geoid_height);
  epochs["speed"] = Column(e.speed);
  epochs["course"] = Column(e.course);
  epochs["magnetic_course"] = Column(e.magnetic_course);
  epochs["magnetic_variation"] = Column(e.magnetic_variation);
  epochs["heading"] = Column(e.heading);
  epochs["good"] = Column(e.good);
  epochs["mode"] = Column(e.mode);
  epochs["quality"] = Column(e.quality);
  epochs["satellites_used"] = Column(e.satellites_used);
  epochs["satellites_in_view"] = Column(e.satellites_in_view);
  epochs["pdop"] = Column(e.pdop);
  epochs["hdop"] = Column(e.hdop);
  epochs["vdop"] = Column(e.vdop);
  epochs["lat_error"] = Column(e.lat_error);
  epochs["lon_error"] = Column(e.lon_error);
  epochs["alt_error"] = Column(e.alt_error);
  return epochs;
}

py::dict SatelliteTable(SatelliteColumns& s) {
  py::dict satellites;
  satellites["time"] = Times(s.time);
  satellites["prn"] = Column(s.prn);
  satellites["system"] = Column(s.system);
  satellites["elevation"] = Column(s.elevation);
  satellites["azimuth"] = Column(s.azimuth);
  satellites["snr"] = Column(s.snr);
  satellites["used"] = Column(s.used);
  return satellites;
}

// One row per waypoint of the route, in route order.
py::dict RouteTable(const Navigation& nav, const py::module_& np) {
  std::vector<std::int32_t> seq;
  py::list names;
  for (std::size_t i = 0; i < nav.route.size(); ++i) {
    seq.push_back(static_cast<std::int32_t>(i));
    names.append(py::str(nav.route[i]));
  }
  py::dict routes;
  py::list route;
  for (std::size_t i = 0; i < nav.route.size(); ++i)
    route.append(py::str(nav.route_name.value_or("")));
  routes["route"] = np.attr("array")(route, py::arg("dtype") = "object");
  routes["seq"] = Column(seq);
  routes["waypoint"] = np.attr("array")(names, py::arg("dtype") = "object");
  return routes;
}

py::dict WaypointTable(const std::vector<WaypointPosition>& published, const py::module_& np) {
  py::list waypoint_names;
  std::vector<double> waypoint_lat, waypoint_lon;
  for (const WaypointPosition& w : published) {
    waypoint_names.append(py::str(w.name));
    waypoint_lat.push_back(w.latitude.value_or(std::numeric_limits<double>::quiet_NaN()));
    waypoint_lon.push_back(w.longitude.value_or(std::numeric_limits<double>::quiet_NaN()));
  }
  py::dict waypoints;
  waypoints["name"] = np.attr("array")(waypoint_names, py::arg("dtype") = "object");
  waypoints["lat"] = Column(waypoint_lat);
  waypoints["lon"] = Column(waypoint_lon);
  return waypoints;
}

py::object MakeLog(LogDecoder& d) {
  py::dict epochs = EpochTable(d.epochs());
  py::dict satellites = SatelliteTable(d.satellites());
  py::module_ np = py::module_::import("numpy");
  py::dict routes = RouteTable(d.navigation(), np);
  py::dict waypoints = WaypointTable(d.waypoints(), np);
  py::object log = py::module_::import("orvane._orvane").attr("Log")();
  log.attr("waypoints") = waypoints;
  log.attr("epochs") = epochs;
  log.attr("satellites") = satellites;
  log.attr("routes") = routes;
  log.attr("counts") = Counts(d.stats());
  return log;
}

void FeedPath(LogDecoder& d, const py::object& path_object) {
  const py::object fs = py::module_::import("os").attr("fsencode")(path_object);
  const std::string path = fs.cast<std::string>();
  const auto raise = [&](int error) {
    errno = error;
    PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError, path_object.ptr());
    throw py::error_already_set();
  };
  int fd;
  {
    py::gil_scoped_release unlocked;
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  }
  if (fd < 0) raise(errno);
  // zlib reads a plain file as it is and a gzip one (.gz or not) inflated.
  gzFile gz = gzdopen(fd, "rb");
  if (gz == nullptr) {
    const int error = errno != 0 ? errno : ENOMEM;
    ::close(fd);
    raise(error);
  }
  int failure = 0;
  std::string zerror;
  {
    py::gil_scoped_release unlocked;
    gzbuffer(gz, 256 * 1024);
    std::vector<char> buf(kReadBytes);
    while (true) {
      const int n = gzread(gz, buf.data(), static_cast<unsigned>(buf.size()));
      if (n > 0) d.Feed(buf.data(), static_cast<std::size_t>(n));
      if (n < static_cast<int>(buf.size())) {
        int code = Z_OK;
        const char* message = gzerror(gz, &code);
        if (code == Z_ERRNO) {
          failure = errno != 0 ? errno : EIO;
        } else if (code != Z_OK) {
          // Z_BUF_ERROR: a gzip stream cut short, which must not pass for
          // a whole log.
          failure = EIO;
          zerror = code == Z_BUF_ERROR ? "a gzip stream cut short" : message;
        } else if (n > 0) {
          continue;  // a short read is not the end
        }
        break;
      }
    }
    gzclose_r(gz);
  }
  if (failure != 0 && zerror.empty()) raise(failure);
  if (failure != 0) {
    PyErr_SetObject(PyExc_OSError, py::make_tuple(EIO, "cannot read " + zerror, path_object).ptr());
    throw py::error_already_set();
  }
}

void FeedBuffer(LogDecoder& d, const py::buffer& source) {
  const py::buffer_info info = source.request();
  const auto* data = static_cast<const char*>(info.ptr);
  const std::size_t size = static_cast<std::size_t>(info.size * info.itemsize);
  py::gil_scoped_release unlocked;
  d.Feed(data, size);
}

void FeedFile(LogDecoder& d, const py::object& file) {
  const py::object read = file.attr("read");
  while (true) {
    py::object chunk = read(kReadBytes);
    if (py::isinstance<py::str>(chunk)) {
      throw py::type_error("orvane.read: the file object gives str; open it in binary mode ('rb')");
    }
    if (!PyObject_CheckBuffer(chunk.ptr())) {
      throw py::type_error("orvane.read: the file object's read() gives neither bytes nor str");
    }
    const py::buffer_info info = py::reinterpret_borrow<py::buffer>(chunk).request();
    if (info.size == 0) return;
    const auto* data = static_cast<const char*>(info.ptr);
    py::gil_scoped_release unlocked;
    d.Feed(data, static_cast<std::size_t>(info.size * info.itemsize));
  }
}

void FeedLines(LogDecoder& d, const py::iterable& lines) {
  std::string batch;
  batch.reserve(kReadBytes + 4096);
  const auto flush = [&] {
    py::gil_scoped_release unlocked;
    d.Feed(batch.data(), batch.size());
    batch.clear();
  };
  for (const py::handle item : lines) {
    const char* data;
    Py_ssize_t size;
    if (PyUnicode_Check(item.ptr())) {
      data = PyUnicode_AsUTF8AndSize(item.ptr(), &size);
      if (data == nullptr) throw py::error_already_set();
    } else if (PyBytes_Check(item.ptr())) {
      data = PyBytes_AS_STRING(item.ptr());
      size = PyBytes_GET_SIZE(item.ptr());
    } else {
      throw py::type_error("orvane.read: each line must be str or bytes, not " +
                           py::str(item.get_type().attr("__name__")).cast<std::string>());
    }
    batch.append(data, static_cast<std::size_t>(size));
    if (size == 0 || data[size - 1] != '\n') batch += '\n';
    if (batch.size() >= kReadBytes) flush();
  }
  flush();
}

std::unique_ptr<LogDecoder> NewDecoder(const std::string& talkers, bool extended) {
  try {
    return std::make_unique<LogDecoder>(talkers, extended);
  } catch (const std::invalid_argument&) {
    throw py::value_error(
        "orvane.read: talkers must be \"*\" or two-letter talkers separated by commas, not " +
        py::repr(py::str(talkers)).cast<std::string>());
  }
}

py::object Read(const py::object& source, const std::string& talkers, bool extended) {
  try {
    py::module_::import("numpy");
  } catch (py::error_already_set&) {
    throw py::import_error(
        "orvane.read needs numpy: pip install numpy (on Debian: apt install python3-numpy)");
  }
  const std::unique_ptr<LogDecoder> decoder = NewDecoder(talkers, extended);
  LogDecoder& d = *decoder;
  if (py::isinstance<py::str>(source) || py::hasattr(source, "__fspath__")) {
    FeedPath(d, source);
  } else if (PyObject_CheckBuffer(source.ptr())) {
    FeedBuffer(d, py::reinterpret_borrow<py::buffer>(source));
  } else if (py::hasattr(source, "read")) {
    FeedFile(d, source);
  } else if (py::isinstance<py::iterable>(source)) {
    FeedLines(d, py::reinterpret_borrow<py::iterable>(source));
  } else {
    throw py::type_error(
        "orvane.read: source must be a path, bytes, a binary file object or an iterable of "
        "lines, not " +
        py::str(source.get_type().attr("__name__")).cast<std::string>());
  }
  {
    py::gil_scoped_release unlocked;
    d.Finish();
  }
  return MakeLog(d);
}

}  // namespace

void DefineRead(py::module_& m, const char* read_doc, const char* log_doc) {
  py::module_ types = py::module_::import("types");
  py::object log = types.attr("new_class")("Log", py::make_tuple(types.attr("SimpleNamespace")));
  log.attr("__module__") = "orvane";
  log.attr("__doc__") = log_doc;
  m.attr("Log") = log;
  m.def("read", &Read, py::arg("source"), py::kw_only(), py::arg("talkers") = "*",
        py::arg("extended") = true, read_doc);
}

}  // namespace orvane
