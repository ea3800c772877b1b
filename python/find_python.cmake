# Python and pybind11 for the module and for the fuzz target that embeds the
# interpreter: Debian's /usr/bin/python3 unless Python3_EXECUTABLE names
# another (a pyenv shim earlier on PATH is not Debian's).
if(NOT DEFINED Python3_EXECUTABLE AND EXISTS /usr/bin/python3)
  set(Python3_EXECUTABLE /usr/bin/python3)
endif()
find_package(Python3 COMPONENTS Interpreter Development.Module OPTIONAL_COMPONENTS Development.Embed)
find_package(pybind11 CONFIG QUIET HINTS /usr/lib/cmake/pybind11)
