# Runs the layering check on the planted tree in upward/ and expects it to
# fail, naming exactly the four includes that run against the order and the
# one source of the engine outside its rooms.
execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${SOURCE_DIR} -P ${CHECK}
  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(status EQUAL 0)
  message(FATAL_ERROR "the check passed a tree with upward includes:\n${output}")
endif()
set(expected
  "foundation/Base.h includes commlib/Widget.h: foundation/ comes before commlib/"
  "kit/core/Kit.h includes QString: the kit uses nothing of Qt or the application"
  "models/record/Record.h includes models/image/Image.h: models/record/ comes before models/image/"
  "tools/Tool.h includes kit/core/Kit.h: only app/ starts the kit"
  "models/Loose.h lies outside the engine's rooms")
foreach(line IN LISTS expected)
  string(FIND "${output}" "${line}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the check did not report \"${line}\":\n${output}")
  endif()
endforeach()
string(REGEX MATCHALL "\\.(h|cpp) (includes|lies) " reported "${output}")
list(LENGTH reported count)
list(LENGTH expected wanted)
if(NOT count EQUAL wanted)
  message(FATAL_ERROR "the check reported ${count} sources, ${wanted} expected:\n${output}")
endif()
