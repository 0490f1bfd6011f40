# The built-in fonts. tools/fontgen renders them from Debian's free TrueType fonts at build
# time into ${VOXA_FONT_DIR}; the glyph data are never committed. The result does not depend on
# the panel, so one library, voxa_fonts, serves all three panel builds.
#
# The cross build (toolchain arm-none-eabi) cannot run a fontgen built with its own compiler:
# it builds one for the host in a sub-build, unless VOXA_FONTGEN names a host fontgen already.

set(VOXA_FONT_SANS /usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf
    CACHE FILEPATH "TrueType font of the proportional fonts")
set(VOXA_FONT_SANS_BOLD /usr/share/fonts/truetype/liberation2/LiberationSans-Bold.ttf
    CACHE FILEPATH "TrueType font of the bold proportional fonts")
set(VOXA_FONT_MONO /usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf
    CACHE FILEPATH "TrueType font of the monospaced fonts")
set(VOXA_FONT_MONO_BOLD /usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf
    CACHE FILEPATH "TrueType font of the bold monospaced fonts")
set(VOXA_FONTGEN "" CACHE FILEPATH "A fontgen built for the host, used instead of building one")

foreach(file IN ITEMS ${VOXA_FONT_SANS} ${VOXA_FONT_SANS_BOLD} ${VOXA_FONT_MONO}
                      ${VOXA_FONT_MONO_BOLD})
  if(NOT EXISTS ${file})
    message(FATAL_ERROR "${file} is missing: run scripts/install-deps.sh "
                        "(Debian packages fonts-liberation2 and fonts-dejavu-core)")
  endif()
endforeach()

if(VOXA_FONTGEN)
  set(VOXA_FONTGEN_COMMAND ${VOXA_FONTGEN})
  set(VOXA_FONTGEN_DEPENDS ${VOXA_FONTGEN})
elseif(CMAKE_CROSSCOMPILING)
  include(ExternalProject)
  set(host_dir ${CMAKE_BINARY_DIR}/fontgen-host)
  # No toolchain file is passed on, so the sub-build uses the host's compiler.
  ExternalProject_Add(fontgen_host
    SOURCE_DIR ${CMAKE_SOURCE_DIR}/tools/fontgen
    BINARY_DIR ${host_dir}
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${host_dir}/fontgen)
  set(VOXA_FONTGEN_COMMAND ${host_dir}/fontgen)
  set(VOXA_FONTGEN_DEPENDS fontgen_host ${host_dir}/fontgen)
else()
  add_subdirectory(${CMAKE_SOURCE_DIR}/tools/fontgen ${CMAKE_BINARY_DIR}/tools/fontgen)
  set(VOXA_FONTGEN_COMMAND $<TARGET_FILE:fontgen>)
  set(VOXA_FONTGEN_DEPENDS fontgen)
endif()

# One generated source per font of the manifest (alias lines "X = Y" produce none).
set(manifest ${CMAKE_SOURCE_DIR}/tools/fontgen/fonts.def)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${manifest})
file(STRINGS ${manifest} font_lines REGEX "^[A-Za-z_][A-Za-z0-9_]*[ \t]+[a-z]")
set(VOXA_FONT_DIR ${CMAKE_BINARY_DIR}/generated/fonts)
set(font_sources)
foreach(line IN LISTS font_lines)
  string(REGEX MATCH "^[A-Za-z_][A-Za-z0-9_]*" object "${line}")
  list(APPEND font_sources ${VOXA_FONT_DIR}/${object}.cpp)
endforeach()

set(fontgen_args --manifest ${manifest}
    --face sans=${VOXA_FONT_SANS} --face sans-bold=${VOXA_FONT_SANS_BOLD}
    --face mono=${VOXA_FONT_MONO} --face mono-bold=${VOXA_FONT_MONO_BOLD})
add_custom_command(
  OUTPUT ${font_sources} ${VOXA_FONT_DIR}/fonts_summary.txt
  COMMAND ${CMAKE_COMMAND} -E make_directory ${VOXA_FONT_DIR}
  COMMAND ${VOXA_FONTGEN_COMMAND} ${fontgen_args} --out ${VOXA_FONT_DIR}
  DEPENDS ${VOXA_FONTGEN_DEPENDS} ${manifest} ${VOXA_FONT_SANS} ${VOXA_FONT_SANS_BOLD}
          ${VOXA_FONT_MONO} ${VOXA_FONT_MONO_BOLD}
  COMMENT "fontgen: rendering the built-in fonts"
  VERBATIM)

add_library(voxa_fonts STATIC ${font_sources})
target_include_directories(voxa_fonts PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_compile_options(voxa_fonts PRIVATE ${VOXA_FIRMWARE_FLAGS})

# A picture of every font, for looking at the glyphs: <build>/font-preview/fonts.pgm.
add_custom_target(font-preview
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/font-preview
  COMMAND ${VOXA_FONTGEN_COMMAND} ${fontgen_args} --out ${CMAKE_BINARY_DIR}/font-preview
          --preview ${CMAKE_BINARY_DIR}/font-preview/fonts.pgm
  DEPENDS ${VOXA_FONTGEN_DEPENDS}
  VERBATIM)
