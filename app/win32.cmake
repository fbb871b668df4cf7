# Win32 front end: kelvane.exe, one statically linked GUI program that needs no
# DLL beyond the system's. It links the portable driver (kelvane_app), its
# Win32 platform table and the drop window.

# The Windows-only parts, as objects so the program and the Windows-side test
# harnesses link the same code without an order between static libraries.
add_library(kelvane_win32 OBJECT
  platform_win32.cpp output_parts.cpp system_path_win32.cpp wildcard_win32.cpp drop_window_win32.cpp
  dpi_win32.cpp)
target_include_directories(kelvane_win32 PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(kelvane_win32 PUBLIC user32 gdi32 shell32)

# Version resource and application manifest. windres is called directly so the
# compiler warning options of the C++ sources never reach it.
find_program(KELVANE_WINDRES NAMES ${CMAKE_RC_COMPILER} x86_64-w64-mingw32-windres windres REQUIRED)
set(KELVANE_RESOURCE ${CMAKE_CURRENT_BINARY_DIR}/kelvane_resource.o)
add_custom_command(
  OUTPUT ${KELVANE_RESOURCE}
  COMMAND ${KELVANE_WINDRES} -O coff
          --include-dir=${CMAKE_CURRENT_SOURCE_DIR}
          -DKELVANE_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}
          -DKELVANE_VERSION_MINOR=${PROJECT_VERSION_MINOR}
          -DKELVANE_VERSION_PATCH=${PROJECT_VERSION_PATCH}
          -i ${CMAKE_CURRENT_SOURCE_DIR}/kelvane.rc -o ${KELVANE_RESOURCE}
  DEPENDS kelvane.rc kelvane.manifest
  COMMENT "Compiling the version resource and manifest of kelvane.exe")

add_executable(kelvane WIN32 main_win32.cpp ${KELVANE_RESOURCE})
target_link_libraries(kelvane PRIVATE kelvane_win32 kelvane_app kelvane_core kelvane_heap)
target_link_options(kelvane PRIVATE -static -static-libgcc -static-libstdc++)
set_target_properties(kelvane PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
