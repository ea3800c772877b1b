# Fails when an #include goes up the layers, or a class befriends a type
# defined only in a higher layer (a friend reaches into the class as surely
# as an include). Run as
#   cmake -DROOT=<tree> -P check_layers.cmake
# Each folder of src/ is a layer; a file may include its own folder and the
# layers below it. Folders of one rank do not include each other. include/orvane
# is the public API: below everything, it includes only itself.
set(layer_orvane 0)
set(layer_automation 1)
set(layer_engine 2)
set(layer_presentation 3)
set(layer_sources 3)
set(layer_control 4)
set(layer_com 5)

if(NOT ROOT)
  message(FATAL_ERROR "usage: cmake -DROOT=<tree> -P check_layers.cmake")
endif()
file(GLOB_RECURSE files RELATIVE ${ROOT} ${ROOT}/src/*.h ${ROOT}/src/*.cc ${ROOT}/include/*.h)
set(faults 0)
set(checked 0)
set(checked_friends 0)

# Where each class or struct is defined (a line opening one, not a forward
# declaration): the lowest layer defining the name wins, so a name reused
# lower down is never taken for the higher one.
foreach(file ${files})
  string(REGEX MATCH "^(src|include)/([^/]+)/" prefix ${file})
  set(layer ${layer_${CMAKE_MATCH_2}})
  if(layer STREQUAL "")
    continue()
  endif()
  file(STRINGS ${ROOT}/${file} lines REGEX "^[ \t]*(class|struct)[ \t]+[A-Za-z_][A-Za-z0-9_]*[^;]*$")
  foreach(line ${lines})
    string(REGEX REPLACE "^[ \t]*(class|struct)[ \t]+([A-Za-z_][A-Za-z0-9_]*).*" "\\2" name "${line}")
    if(NOT DEFINED defined_${name} OR layer LESS defined_${name})
      set(defined_${name} ${layer})
    endif()
  endforeach()
endforeach()

foreach(file ${files})
  # src/<layer>/... or include/orvane/...
  string(REGEX MATCH "^(src|include)/([^/]+)/" prefix ${file})
  set(from ${CMAKE_MATCH_2})
  if(NOT DEFINED layer_${from})
    message(SEND_ERROR "${file}: folder ${from} has no layer; add it to check_layers.cmake")
    math(EXPR faults "${faults} + 1")
    continue()
  endif()
  file(STRINGS ${ROOT}/${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line ${lines})
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*" "\\1" target "${line}")
    # A name without a folder is a generated header next to its user.
    if(NOT target MATCHES "/")
      continue()
    endif()
    string(REGEX MATCH "^[^/]+" to ${target})
    math(EXPR checked "${checked} + 1")
    if(to STREQUAL from)
      continue()
    endif()
    if(NOT DEFINED layer_${to} OR NOT layer_${to} LESS layer_${from})
      message("${file}: ${from} may not include ${target}")
      math(EXPR faults "${faults} + 1")
    endif()
  endforeach()
  # friend class X; friend struct ns::X; (functions are not types: skipped)
  file(STRINGS ${ROOT}/${file} friends REGEX "^[ \t]*friend[ \t]+(class|struct)[ \t]")
  foreach(line ${friends})
    string(REGEX REPLACE "^[ \t]*friend[ \t]+(class|struct)[ \t]+([A-Za-z0-9_:]*).*" "\\2" name "${line}")
    string(REGEX REPLACE ".*::" "" name "${name}")
    math(EXPR checked_friends "${checked_friends} + 1")
    if(DEFINED defined_${name} AND defined_${name} GREATER layer_${from})
      message("${file}: ${from} may not befriend ${name}, defined in a higher layer")
      math(EXPR faults "${faults} + 1")
    endif()
  endforeach()
endforeach()
if(faults GREATER 0)
  message(FATAL_ERROR "${faults} include(s) or friend(s) against the layers "
          "(orvane < automation < engine < presentation, sources < control < com)")
endif()
message("layers: ${checked} includes and ${checked_friends} friends checked")
