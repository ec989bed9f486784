# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows build of porome: one static porome.exe with its icon, version information,
# Qt's Japanese texts and the IPA fonts (cut down to the program's characters) carried
# inside. scripts/windows.sh builds the static Qt this needs and configures the project
# with that Qt's qt-cmake.

enable_language(RC)
include(${CMAKE_CURRENT_LIST_DIR}/CarriedResources.cmake)

find_program(POROME_RSVG_CONVERT rsvg-convert REQUIRED)
find_program(POROME_IMAGEMAGICK_CONVERT convert REQUIRED)

# The icon, drawn from assets/icon.svg in the sizes Windows asks for.
set(POROME_ICON_SIZES 16 24 32 48 64 256)
set(POROME_ICON_PNGS)
foreach(size ${POROME_ICON_SIZES})
  set(png ${CMAKE_CURRENT_BINARY_DIR}/windows/icon-${size}.png)
  add_custom_command(OUTPUT ${png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/windows
    COMMAND ${POROME_RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${CMAKE_CURRENT_SOURCE_DIR}/assets/icon.svg
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/assets/icon.svg VERBATIM)
  list(APPEND POROME_ICON_PNGS ${png})
endforeach()
set(POROME_ICO ${CMAKE_CURRENT_BINARY_DIR}/windows/porome.ico)
add_custom_command(OUTPUT ${POROME_ICO}
  COMMAND ${POROME_IMAGEMAGICK_CONVERT} ${POROME_ICON_PNGS} ${POROME_ICO}
  DEPENDS ${POROME_ICON_PNGS} VERBATIM)

# Icon and version information of the file, as Explorer shows them.
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/cmake/porome.rc.in ${CMAKE_CURRENT_BINARY_DIR}/windows/porome.rc @ONLY)
set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/windows/porome.rc PROPERTIES
  OBJECT_DEPENDS ${POROME_ICO})

porome_carried_resources(POROME_CARRIED_SOURCES)
target_sources(porome PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/windows/porome.rc ${POROME_CARRIED_SOURCES})
set_target_properties(porome PROPERTIES WIN32_EXECUTABLE ON)

# One file: Qt and the MinGW runtime inside, nothing but Windows' own DLLs needed.
target_link_options(porome PRIVATE -static -static-libgcc -static-libstdc++)
# The SVG icon engine draws the window's icon from assets/icon.svg.
qt_import_plugins(porome INCLUDE Qt6::QSvgIconPlugin Qt6::QSvgPlugin)
