# Bootable images of the firmware for a bare-metal ARM926 board.
#
#   voxa_board_images(BOARD name LIBRARY target LINKER_SCRIPT path [MAX_SIZE bytes])
#
# For each panel of VOXA_PANELS: images/<board>/voxa-<panel>.elf linked from the firmware's
# entry object, its library, the fonts, the board's library and the shared ARM926 library, with
# no C library (libgcc only), its map file, the raw binary voxa-<panel>.bin, and a size report.
# The link fails when the binary exceeds MAX_SIZE or a C library or heap symbol is in it.

find_package(Python3 COMPONENTS Interpreter REQUIRED)
find_program(VOXA_OBJCOPY arm-none-eabi-objcopy REQUIRED)
find_program(VOXA_SIZE arm-none-eabi-size REQUIRED)
find_program(VOXA_NM arm-none-eabi-nm REQUIRED)
set(VOXA_IMAGE_REPORT ${CMAKE_SOURCE_DIR}/boards/arm926/image_report.py)

function(voxa_board_images)
  cmake_parse_arguments(B "" "BOARD;LIBRARY;LINKER_SCRIPT;MAX_SIZE" "" ${ARGN})
  if(NOT B_BOARD OR NOT B_LIBRARY OR NOT B_LINKER_SCRIPT)
    message(FATAL_ERROR "voxa_board_images needs BOARD, LIBRARY and LINKER_SCRIPT")
  endif()
  if(NOT B_MAX_SIZE)
    set(B_MAX_SIZE 0)
  endif()
  set(out_dir ${CMAKE_BINARY_DIR}/images/${B_BOARD})
  file(MAKE_DIRECTORY ${out_dir})
  # For scripts/check-arm.sh, which checks the images again without the build's commands.
  file(WRITE ${out_dir}/max-size "${B_MAX_SIZE}\n")

  set(all_images)
  foreach(panel IN LISTS VOXA_PANELS)
    set(target voxa_image_${B_BOARD}_${panel})
    set(base ${out_dir}/voxa-${panel})
    add_executable(${target} $<TARGET_OBJECTS:voxa_fw_${panel}_entry>)
    set_target_properties(${target} PROPERTIES
      OUTPUT_NAME voxa-${panel}
      SUFFIX .elf
      RUNTIME_OUTPUT_DIRECTORY ${out_dir}
      LINK_DEPENDS ${B_LINKER_SCRIPT})
    target_link_options(${target} PRIVATE
      -nostdlib -T${B_LINKER_SCRIPT} -Wl,--gc-sections -Wl,-Map=${base}.map
      -Wl,--no-warn-rwx-segments)
    # The board and the shared ARM926 code call into each other (dispatch and start-up hooks),
    # and the firmware calls both: one group resolves every direction.
    target_link_libraries(${target} PRIVATE
      -Wl,--start-group voxa_fw_${panel} voxa_fonts ${B_LIBRARY} voxa_arm926 gcc -Wl,--end-group)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${VOXA_OBJCOPY} -O binary $<TARGET_FILE:${target}> ${base}.bin
      COMMAND ${Python3_EXECUTABLE} ${VOXA_IMAGE_REPORT}
              --elf $<TARGET_FILE:${target}> --bin ${base}.bin --map ${base}.map
              --src ${CMAKE_SOURCE_DIR}/src --size-tool ${VOXA_SIZE} --nm-tool ${VOXA_NM}
              --max-size ${B_MAX_SIZE}
      BYPRODUCTS ${base}.bin ${base}.map
      VERBATIM)
    list(APPEND all_images ${target})
  endforeach()
  add_custom_target(images_${B_BOARD} DEPENDS ${all_images})
endfunction()
