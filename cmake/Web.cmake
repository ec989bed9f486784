# SPDX-License-Identifier: GPL-3.0-or-later
# The browser build of porome: porome.js and porome.wasm with Qt's loader, Qt's Japanese
# texts and a subset of the IPA fonts carried inside. scripts/web.sh builds the static Qt
# for WebAssembly this needs, configures the project with that Qt's qt-cmake and makes the
# page around the program.

find_package(Python3 REQUIRED COMPONENTS Interpreter)
# Debian's fontTools belongs to Debian's python3, whichever python3 comes first on PATH.
find_program(POROME_SYSTEM_PYTHON python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(NOT POROME_SYSTEM_PYTHON)
  set(POROME_SYSTEM_PYTHON ${Python3_EXECUTABLE})
endif()

include(${CMAKE_CURRENT_LIST_DIR}/CarriedResources.cmake)

qt_add_executable(porome web/main.cpp)
target_link_libraries(porome PRIVATE poromecore)

# Only the glyphs the program can show: the fonts are cut down at build time to the
# characters of the sources, so a new text cannot miss one.
set(POROME_SUBSET_DIR ${CMAKE_CURRENT_BINARY_DIR}/web/fonts)
file(GLOB_RECURSE POROME_TEXT_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_CURRENT_SOURCE_DIR}/shell/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/shell/*.h
  ${CMAKE_CURRENT_SOURCE_DIR}/answer/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/answer/*.h
  ${CMAKE_CURRENT_SOURCE_DIR}/drawing/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/drawing/*.h
  ${CMAKE_CURRENT_SOURCE_DIR}/levels/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/levels/*.h
  ${CMAKE_CURRENT_SOURCE_DIR}/web/*.cpp)
add_custom_command(
  OUTPUT ${POROME_SUBSET_DIR}/porome-gothic.ttf ${POROME_SUBSET_DIR}/porome-pmincho.ttf ${POROME_SUBSET_DIR}/characters.txt
  COMMAND ${POROME_SYSTEM_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/tools/subset-fonts.py
    --out ${POROME_SUBSET_DIR} --qm ${POROME_QT_JA_QM}
    --sources ${CMAKE_CURRENT_SOURCE_DIR}/shell ${CMAKE_CURRENT_SOURCE_DIR}/answer
              ${CMAKE_CURRENT_SOURCE_DIR}/drawing ${CMAKE_CURRENT_SOURCE_DIR}/levels
              ${CMAKE_CURRENT_SOURCE_DIR}/web
    --font ${POROME_IPA_GOTHIC} porome-gothic.ttf "Porome Gothic"
    --font ${POROME_IPA_PMINCHO} porome-pmincho.ttf "Porome PMincho"
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tools/subset-fonts.py ${POROME_TEXT_SOURCES}
          ${POROME_QT_JA_QM} ${POROME_IPA_GOTHIC} ${POROME_IPA_PMINCHO}
  VERBATIM)

# The carried resources, with the subset fonts in place of the whole ones. rcc runs as a
# build step of its own, so that it reads the fonts only once they are made.
set(POROME_WEB_CARRIED ${CMAKE_CURRENT_BINARY_DIR}/web/carried)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/cmake/web-carried.qrc.in ${POROME_WEB_CARRIED}/carried.qrc @ONLY)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/cmake/qt.conf ${POROME_WEB_CARRIED}/qt.conf COPYONLY)
add_custom_command(
  OUTPUT ${POROME_WEB_CARRIED}/qrc_carried.cpp
  COMMAND Qt6::rcc --name carried -o ${POROME_WEB_CARRIED}/qrc_carried.cpp ${POROME_WEB_CARRIED}/carried.qrc
  DEPENDS ${POROME_WEB_CARRIED}/carried.qrc ${POROME_WEB_CARRIED}/qt.conf
          ${POROME_SUBSET_DIR}/porome-gothic.ttf ${POROME_SUBSET_DIR}/porome-pmincho.ttf ${POROME_QT_JA_QM}
  VERBATIM)
set_source_files_properties(${POROME_WEB_CARRIED}/qrc_carried.cpp PROPERTIES
  SKIP_AUTOGEN ON GENERATED ON)
target_sources(porome PRIVATE ${POROME_WEB_CARRIED}/qrc_carried.cpp)

# The carried fonts and Qt's texts need more than emscripten's first memory; asyncify lets
# message boxes and the pause after a mark wait as they do on the desktop.
target_link_options(porome PRIVATE "SHELL:-s INITIAL_MEMORY=64MB")
# The SVG icon engine draws the window's icon from assets/icon.svg.
qt_import_plugins(porome INCLUDE Qt6::QSvgIconPlugin Qt6::QSvgPlugin)
