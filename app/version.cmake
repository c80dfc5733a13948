# Writes OUTPUT, the header with the program's version: VERSION (the project version),
# followed by the commit when the sources are a git checkout. Run at every build; the
# header is rewritten only when its text changes, so an unchanged commit recompiles
# nothing. A source tree without git (an unpacked tarball) gets the plain version.
set(commit "")
find_package(Git QUIET)
if(GIT_FOUND AND EXISTS "${SOURCE_DIR}/.git")
  execute_process(
    COMMAND "${GIT_EXECUTABLE}" -C "${SOURCE_DIR}" rev-parse --short=10 HEAD
    OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE status ERROR_QUIET)
  if(NOT status EQUAL 0)
    set(commit "")
  endif()
endif()
set(text "${VERSION}")
if(commit)
  set(text "${VERSION} (git ${commit})")
endif()
set(content "// Generated at build time from the project version and the git commit.\n#pragma once\n#define ENVIOZVR_VERSION_TEXT \"${text}\"\n")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
else()
  set(old "")
endif()
if(NOT old STREQUAL content)
  file(WRITE "${OUTPUT}" "${content}")
endif()
