# Fails when a source file includes a folder that comes after its own.
#
#   cmake -DSOURCE_DIR=<src folder> -P cmake/CheckLayers.cmake
#
# The application's folders form one order: a folder may use only itself and
# the folders before it. The metadata engine's rooms inside models/ form a
# second order of the same kind, and every source of models/ lies in a room. The kit is an SDK apart: its folders use only
# each other and the C++ and system libraries, never Qt or the application,
# and of the application only app/ (which starts it) may use the kit.
# The order is written once here and in the README's source map.

set(application_layers foundation models commlib views webmapkit gps tools app)
set(models_rooms values tables formats record read write image)

if(NOT SOURCE_DIR OR NOT IS_DIRECTORY "${SOURCE_DIR}")
  message(FATAL_ERROR "CheckLayers: SOURCE_DIR must name the source folder")
endif()

# The first one or two parts of a path below SOURCE_DIR (or of an include).
function(split_folder path out_folder out_room)
  string(REGEX MATCH "^([^/]+)/(([^/]+)/)?" matched "${path}")
  set(${out_folder} "${CMAKE_MATCH_1}" PARENT_SCOPE)
  # A room is a sub-folder, never the file name itself.
  set(${out_room} "${CMAKE_MATCH_3}" PARENT_SCOPE)
endfunction()

# Why `file` may not include `included`, or nothing when it may.
function(upward_reason file included out_reason)
  set(reason "")
  split_folder("${file}" own own_room)
  split_folder("${included}" used used_room)
  list(FIND application_layers "${own}" own_index)
  list(FIND application_layers "${used}" used_index)
  if(own STREQUAL "kit")
    if(used_index GREATER -1 OR included MATCHES "^Q")
      set(reason "the kit uses nothing of Qt or the application")
    endif()
  elseif(used STREQUAL "kit")
    if(NOT own STREQUAL "app")
      set(reason "only app/ starts the kit")
    endif()
  elseif(own_index GREATER -1 AND used_index GREATER own_index)
    set(reason "${own}/ comes before ${used}/")
  elseif(own STREQUAL "models" AND used STREQUAL "models")
    list(FIND models_rooms "${own_room}" own_room_index)
    list(FIND models_rooms "${used_room}" used_room_index)
    if(used_room_index GREATER own_room_index AND own_room_index GREATER -1)
      set(reason "models/${own_room}/ comes before models/${used_room}/")
    endif()
  endif()
  set(${out_reason} "${reason}" PARENT_SCOPE)
endfunction()

file(GLOB_RECURSE sources RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/*.h" "${SOURCE_DIR}/*.cpp")
list(SORT sources)
set(violations "")
foreach(file IN LISTS sources)
  # The engine keeps every source in one of its rooms.
  if(file MATCHES "^models/[^/]+$")
    string(REPLACE ";" ", " rooms "${models_rooms}")
    string(APPEND violations "  ${file} lies outside the engine's rooms (${rooms})\n")
  endif()
  file(STRINGS "${SOURCE_DIR}/${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[<\"]([^>\"]+)[>\"].*" "\\1" included "${line}")
    upward_reason("${file}" "${included}" reason)
    if(reason)
      string(APPEND violations "  ${file} includes ${included}: ${reason}\n")
    endif()
  endforeach()
endforeach()

if(violations)
  message(FATAL_ERROR "Sources that break the folders' order:\n${violations}")
endif()
list(LENGTH sources checked)
message(STATUS "Layering: ${checked} files, every include runs down the folders' order")
