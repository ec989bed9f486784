# SPDX-License-Identifier: GPL-3.0-or-later
# The browser build of porome: porome.js and porome.wasm with Qt's loader, Qt's Japanese
# texts and a subset of the IPA fonts carried inside. scripts/web.sh builds the static Qt
# for WebAssembly this needs, configures the project with that Qt's qt-cmake and makes the
# page around the program. The page's record (web/record.js) is staged beside it.

include(${CMAKE_CURRENT_LIST_DIR}/CarriedResources.cmake)

if(POROME_PAGE_RECORD)
  qt_add_executable(porome web/main.cpp web/PageTone.cpp web/JsQueue.cpp web/JsQueue.h)
else()
  qt_add_executable(porome web/main.cpp web/PageTone.cpp)
  target_compile_definitions(porome PRIVATE POROME_PAGE_WITHOUT_RECORD)
endif()
target_link_libraries(porome PRIVATE poromecore)

porome_carried_resources(POROME_CARRIED_SOURCES)
target_sources(porome PRIVATE ${POROME_CARRIED_SOURCES})

# The carried fonts and Qt's texts need more than emscripten's first memory; asyncify lets
# message boxes and the pause after a mark wait as they do on the desktop.
target_link_options(porome PRIVATE "SHELL:-s INITIAL_MEMORY=64MB")
# The SVG icon engine draws the window's icon from assets/icon.svg.
qt_import_plugins(porome INCLUDE Qt6::QSvgIconPlugin Qt6::QSvgPlugin)
