# POSIX front end: the platform table, and the command-line program kelvane.

# The tables (files, and standard input and output for "-") are a library of
# their own so the tests can link them. Whoever links the portable app code
# gets them too, since ConvertFile reaches the system through them.
add_library(kelvane_posix_platform STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/platform_posix.cpp ${CMAKE_CURRENT_SOURCE_DIR}/standard_streams_posix.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/output_parts.cpp)
target_include_directories(kelvane_posix_platform PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(kelvane_posix_platform PUBLIC kelvane_core)
target_link_libraries(kelvane_app PUBLIC kelvane_posix_platform)

# The program's heap: huge-page mappings for file-sized blocks, reused from stage
# to stage. The tests keep linking their counting heap instead.
add_library(kelvane_posix_heap STATIC ${CMAKE_CURRENT_SOURCE_DIR}/heap_posix.cpp)
target_include_directories(kelvane_posix_heap PUBLIC ${PROJECT_SOURCE_DIR})

add_executable(kelvane ${CMAKE_CURRENT_SOURCE_DIR}/main_posix.cpp)
# At the top of the build tree, where scripts/run and the Windows tests look.
set_target_properties(kelvane PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
target_link_libraries(kelvane PRIVATE kelvane_app kelvane_core kelvane_posix_heap)

# The version that --version prints, from the project's one version number.
target_compile_definitions(kelvane PRIVATE KELVANE_VERSION="${PROJECT_VERSION}")
