# Writes the one source file that names the commit a build comes from (q9::kBuildCommit of
# src/base/version.h), run by every build:
#   cmake -DSOURCE_DIR=<source folder> -DOUTPUT=<file.cpp> -P build-commit.cmake
# The file is rewritten only when its text changes, so a new commit recompiles that one file.
# Without a git work tree of its own (a source archive, no git, or a folder inside another
# repository) the commit is empty and the version stands alone.
set(commit "")
find_program(Q9_GIT git)
if(Q9_GIT)
  execute_process(COMMAND "${Q9_GIT}" -C "${SOURCE_DIR}" rev-parse --show-toplevel
                  OUTPUT_VARIABLE top RESULT_VARIABLE failed
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(NOT failed)
    file(REAL_PATH "${top}" top)
    file(REAL_PATH "${SOURCE_DIR}" source)
  endif()
  if(NOT failed AND top STREQUAL source)
    execute_process(COMMAND "${Q9_GIT}" -C "${SOURCE_DIR}" rev-parse --short=12 HEAD
                    OUTPUT_VARIABLE head RESULT_VARIABLE failed
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(NOT failed AND head MATCHES "^[0-9a-f]+$")
      set(commit "${head}")
      # Tracked files that differ from the commit: the build is not that commit alone.
      # (Without the index lock, so that a build beside a running git command changes nothing.)
      execute_process(COMMAND "${Q9_GIT}" --no-optional-locks -C "${SOURCE_DIR}" status --porcelain
                              --untracked-files=no
                      OUTPUT_VARIABLE changes RESULT_VARIABLE failed ERROR_QUIET)
      if(NOT failed AND NOT changes STREQUAL "")
        string(APPEND commit " with local changes")
      endif()
    endif()
  endif()
endif()

set(text "// Written by cmake/build-commit.cmake at build time; not kept in the repository.
#include \"base/version.h\"

namespace q9 {

const char kBuildCommit[] = \"${commit}\";

}  // namespace q9
")
set(old "")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
endif()
if(NOT old STREQUAL text)
  file(WRITE "${OUTPUT}" "${text}")
endif()
