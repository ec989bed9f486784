# SPDX-License-Identifier: GPL-3.0-or-later
# The resources porome.exe and the page carry: Qt's Japanese texts (はい / いいえ) and the
# IPA fonts cut down to the characters the program can show. The embedded qt.conf points
# Qt's translations folder into the resources, so the program finds the texts where it
# looks for them on every system. The Linux tests link the same resources into one test
# program.

set(POROME_QT_JA_QM "/usr/share/qt6/translations/qtbase_ja.qm" CACHE FILEPATH
  "Qt's Japanese translation, carried inside the program")
set(POROME_IPA_GOTHIC "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf" CACHE FILEPATH
  "IPAGothic, cut down and carried for systems without ＭＳ ゴシック")
set(POROME_IPA_PMINCHO "/usr/share/fonts/opentype/ipafont-mincho/ipamp.ttf" CACHE FILEPATH
  "IPAPMincho, cut down and carried for systems without ＭＳ Ｐ明朝")

find_package(Python3 REQUIRED COMPONENTS Interpreter)
# Debian's fontTools belongs to Debian's python3, whichever python3 comes first on PATH.
find_program(POROME_SYSTEM_PYTHON python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(NOT POROME_SYSTEM_PYTHON)
  set(POROME_SYSTEM_PYTHON ${Python3_EXECUTABLE})
endif()

# Sets OUT_VAR to the compiled resources to add to a target's sources. Only the glyphs the
# program can show are carried: the fonts are cut down at build time to the characters of
# the sources, so a new text cannot miss one.
function(porome_carried_resources OUT_VAR)
  foreach(carried POROME_QT_JA_QM POROME_IPA_GOTHIC POROME_IPA_PMINCHO)
    if(NOT EXISTS "${${carried}}")
      message(FATAL_ERROR "${carried}: ${${carried}} is missing")
    endif()
  endforeach()
  set(dir ${PROJECT_BINARY_DIR}/carried)
  set(POROME_SUBSET_DIR ${dir}/fonts)
  set(text_dirs shell answer drawing levels web)
  set(sources)
  set(globs)
  foreach(d ${text_dirs})
    list(APPEND sources ${PROJECT_SOURCE_DIR}/${d})
    list(APPEND globs ${PROJECT_SOURCE_DIR}/${d}/*.cpp ${PROJECT_SOURCE_DIR}/${d}/*.h)
  endforeach()
  file(GLOB_RECURSE text_sources CONFIGURE_DEPENDS ${globs})
  add_custom_command(
    OUTPUT ${POROME_SUBSET_DIR}/porome-gothic.ttf ${POROME_SUBSET_DIR}/porome-pmincho.ttf ${POROME_SUBSET_DIR}/characters.txt
    COMMAND ${POROME_SYSTEM_PYTHON} ${PROJECT_SOURCE_DIR}/tools/subset-fonts.py
      --out ${POROME_SUBSET_DIR} --qm ${POROME_QT_JA_QM} --sources ${sources}
      --font ${POROME_IPA_GOTHIC} porome-gothic.ttf "Porome Gothic"
      --font ${POROME_IPA_PMINCHO} porome-pmincho.ttf "Porome PMincho"
    DEPENDS ${PROJECT_SOURCE_DIR}/tools/subset-fonts.py ${text_sources}
            ${POROME_QT_JA_QM} ${POROME_IPA_GOTHIC} ${POROME_IPA_PMINCHO}
    VERBATIM)
  # rcc runs as a build step of its own, so that it reads the fonts only once they are made.
  configure_file(${PROJECT_SOURCE_DIR}/cmake/carried.qrc.in ${dir}/carried.qrc @ONLY)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/qt.conf ${dir}/qt.conf COPYONLY)
  add_custom_command(
    OUTPUT ${dir}/qrc_carried.cpp
    COMMAND Qt6::rcc --name carried -o ${dir}/qrc_carried.cpp ${dir}/carried.qrc
    DEPENDS ${dir}/carried.qrc ${dir}/qt.conf
            ${POROME_SUBSET_DIR}/porome-gothic.ttf ${POROME_SUBSET_DIR}/porome-pmincho.ttf ${POROME_QT_JA_QM}
    VERBATIM)
  set_source_files_properties(${dir}/qrc_carried.cpp PROPERTIES SKIP_AUTOGEN ON GENERATED ON)
  set(${OUT_VAR} ${dir}/qrc_carried.cpp PARENT_SCOPE)
endfunction()
