# The release build (preset "release", `make release`): the two shipped programs, built so that
# two builds of one commit in two folders give the same bytes. scripts/release.sh checks and
# packages them from what this writes into build/release/release.env. The preset optimises as
# the tested Windows build does (-O2), without its debug information.
if(NOT WIN32)
  message(FATAL_ERROR "The release build is a Windows build: use the preset \"release\"")
endif()

# No folder of this machine inside the programs: every Windows build writes the source folder
# as "." (CMakeLists.txt), so the preset's build folder, inside it, as "./build/release". A
# build folder elsewhere gets a map of its own, which wins as the last that matches.
cmake_path(IS_PREFIX CMAKE_SOURCE_DIR "${CMAKE_BINARY_DIR}" NORMALIZE Q9_BUILD_INSIDE_SOURCE)
if(NOT Q9_BUILD_INSIDE_SOURCE)
  add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_BINARY_DIR}=./build/release>")
endif()

# No time stamp in the PE header and no symbol table. The linker's map of each program names
# every archive member and object it took in, which is where the notices start from.
set(Q9_RELEASE_MAPS "${CMAKE_BINARY_DIR}/maps")
file(MAKE_DIRECTORY "${Q9_RELEASE_MAPS}")
add_link_options(-s -Wl,--no-insert-timestamp
                 "-Wl,-Map,${Q9_RELEASE_MAPS}/$<TARGET_PROPERTY:NAME>.map")

# What the packaging script needs to know, as shell assignments (a map names the files it
# took in relative to the folder its program was linked in).
file(GENERATE OUTPUT "${CMAKE_BINARY_DIR}/release.env" CONTENT
"version='${PROJECT_VERSION}'
program='$<TARGET_FILE:Q9_Exchange>'
program_map='${Q9_RELEASE_MAPS}/Q9_Exchange.map'
program_linked_in='$<TARGET_PROPERTY:Q9_Exchange,BINARY_DIR>'
tool='$<TARGET_FILE:q9x>'
tool_map='${Q9_RELEASE_MAPS}/q9x.map'
tool_linked_in='$<TARGET_PROPERTY:q9x,BINARY_DIR>'
objdump='${CMAKE_OBJDUMP}'
source='${CMAKE_SOURCE_DIR}'
build='${CMAKE_BINARY_DIR}'
")
