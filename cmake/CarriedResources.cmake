# SPDX-License-Identifier: GPL-3.0-or-later
# The resources porome.exe carries on Windows: Qt's Japanese texts (はい / いいえ) and the
# IPA fonts. The embedded qt.conf points Qt's translations folder into the resources, so
# the program finds the texts where it looks for them on every system. The Linux tests
# link the same resources into one test program.

set(POROME_QT_JA_QM "/usr/share/qt6/translations/qtbase_ja.qm" CACHE FILEPATH
  "Qt's Japanese translation, carried inside porome.exe")
set(POROME_IPA_GOTHIC "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf" CACHE FILEPATH
  "IPAGothic, carried for Windows without ＭＳ ゴシック")
set(POROME_IPA_PMINCHO "/usr/share/fonts/opentype/ipafont-mincho/ipamp.ttf" CACHE FILEPATH
  "IPAPMincho, carried for Windows without ＭＳ Ｐ明朝")

# Sets OUT_VAR to the resource file to add to a target's sources.
function(porome_carried_resources OUT_VAR)
  foreach(carried POROME_QT_JA_QM POROME_IPA_GOTHIC POROME_IPA_PMINCHO)
    if(NOT EXISTS "${${carried}}")
      message(FATAL_ERROR "${carried}: ${${carried}} is missing")
    endif()
  endforeach()
  set(dir ${PROJECT_BINARY_DIR}/carried)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/carried.qrc.in ${dir}/carried.qrc @ONLY)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/qt.conf ${dir}/qt.conf COPYONLY)
  set(${OUT_VAR} ${dir}/carried.qrc PARENT_SCOPE)
endfunction()
