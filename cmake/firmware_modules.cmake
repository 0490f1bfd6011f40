# The firmware's modules: one library per folder of src/, each declaring the modules it may use.
#
#   voxa_firmware_module(NAME [PER_PANEL] [USES module...])
#
# A module may use only modules declared before it, so the graph has no cycles by construction,
# and every module may include device/board.h, the board contract. A PER_PANEL module is
# compiled once per panel build (it sees VOXA_PANEL_<PANEL>); the others are compiled once and
# shared by the three builds, so they may not use a PER_PANEL module. The graph is written to
# ${VOXA_MODULE_GRAPH}, which scripts/check-layers.py reads to check every #include against it.

set(VOXA_MODULE_GRAPH ${CMAKE_BINARY_DIR}/firmware-modules.txt)
file(WRITE ${VOXA_MODULE_GRAPH}
     "# module [per-panel]: the modules it may use (generated from src/CMakeLists.txt)\n")
set_property(GLOBAL PROPERTY VOXA_MODULES "")
set_property(GLOBAL PROPERTY VOXA_PANEL_MODULES "")

function(voxa_firmware_module name)
  cmake_parse_arguments(M "PER_PANEL" "" "USES" ${ARGN})
  get_property(known GLOBAL PROPERTY VOXA_MODULES)
  get_property(per_panel GLOBAL PROPERTY VOXA_PANEL_MODULES)
  foreach(dep IN LISTS M_USES)
    if(NOT dep IN_LIST known)
      message(FATAL_ERROR "module ${name} uses ${dep}, which is not declared before it")
    endif()
    if(NOT M_PER_PANEL AND dep IN_LIST per_panel)
      message(FATAL_ERROR "module ${name} is shared by the panel builds but uses the "
                          "per-panel module ${dep}")
    endif()
  endforeach()

  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/${name}/*.cpp)
  list(REMOVE_ITEM sources ${VOXA_FIRMWARE_ENTRY})
  if(M_PER_PANEL)
    set(variants ${VOXA_PANELS})
  else()
    set(variants shared)
  endif()
  foreach(variant IN LISTS variants)
    if(variant STREQUAL "shared")
      set(target voxa_${name})
    else()
      set(target voxa_${name}_${variant})
      string(TOUPPER ${variant} PANEL)
    endif()
    add_library(${target} OBJECT ${sources})
    target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR}/src)
    target_compile_options(${target} PRIVATE ${VOXA_FIRMWARE_FLAGS})
    if(NOT variant STREQUAL "shared")
      target_compile_definitions(${target} PUBLIC VOXA_PANEL_${PANEL}=1)
    endif()
    foreach(dep IN LISTS M_USES)
      if(dep IN_LIST per_panel)
        target_link_libraries(${target} PRIVATE voxa_${dep}_${variant})
      else()
        target_link_libraries(${target} PRIVATE voxa_${dep})
      endif()
    endforeach()
  endforeach()

  set_property(GLOBAL APPEND PROPERTY VOXA_MODULES ${name})
  if(M_PER_PANEL)
    set_property(GLOBAL APPEND PROPERTY VOXA_PANEL_MODULES ${name})
    set(flag " per-panel")
  else()
    set(flag "")
  endif()
  string(REPLACE ";" " " uses "${M_USES}")
  file(APPEND ${VOXA_MODULE_GRAPH} "${name}${flag}: ${uses}\n")
endfunction()

# One static library per panel build holding every module's objects: what the firmware
# executables, tests, fuzzers and benchmarks link.
function(voxa_firmware_libraries)
  get_property(modules GLOBAL PROPERTY VOXA_MODULES)
  get_property(per_panel GLOBAL PROPERTY VOXA_PANEL_MODULES)
  foreach(panel IN LISTS VOXA_PANELS)
    string(TOUPPER ${panel} PANEL)
    add_library(voxa_fw_${panel} STATIC)
    foreach(module IN LISTS modules)
      if(module IN_LIST per_panel)
        target_sources(voxa_fw_${panel} PRIVATE $<TARGET_OBJECTS:voxa_${module}_${panel}>)
      else()
        target_sources(voxa_fw_${panel} PRIVATE $<TARGET_OBJECTS:voxa_${module}>)
      endif()
    endforeach()
    target_include_directories(voxa_fw_${panel} PUBLIC ${CMAKE_SOURCE_DIR}/src)
    target_compile_definitions(voxa_fw_${panel} PUBLIC VOXA_PANEL_${PANEL}=1)
    target_link_libraries(voxa_fw_${panel} PUBLIC voxa_fonts)
    # main() lives apart from the library so that tests can link the firmware without it.
    add_library(voxa_fw_${panel}_entry OBJECT ${VOXA_FIRMWARE_ENTRY})
    target_link_libraries(voxa_fw_${panel}_entry PUBLIC voxa_fw_${panel})
    target_compile_options(voxa_fw_${panel}_entry PRIVATE ${VOXA_FIRMWARE_FLAGS})
  endforeach()
endfunction()
