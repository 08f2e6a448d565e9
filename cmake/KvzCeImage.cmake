# The handheld build's DLLs (toolchain arm-none-eabi-wince.cmake, which sets
# KVZ_CE_IMAGE). Each DLL is linked as one ARM ELF image at the DLL's base,
# with its relocations kept (-q), and written as a Windows CE PE DLL by the
# kit's kvz_ce_image (ce_image/), built for this machine with its native
# compiler. CE calls resolve against thunks made from coredll's export list,
# so a call CE lacks fails the link as an undefined reference.
#
# For kvz_add_dll(<target> FILE_NAME <stem>.dll DEF <file>.def ...):
#   bin/<stem>.dll     the DLL, based at 0x10000000: what the handheld runs
#   res/<stem>.res     its compiled resources, when it has a version resource
#   elf/<stem>.elf     the ELF image it is written from
#   check/<stem>.dll   the same objects linked and written at 0x20000000, for
#   check/<stem>.elf   the relocation check: bin/<stem>.dll rebased by its own
#                      base relocations must equal check/<stem>.dll's sections
# <target> is the ELF image's executable target (link libraries to it as to
# any DLL target; install or package bin/<stem>.dll, not the target's file,
# which is the ELF: the target's property KVZ_CE_DLL names the DLL);
# <target>_image writes both DLLs.
include(ExternalProject)

# The kit's root, also when a test project includes this file.
get_filename_component(KVZ_KIT_ROOT "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)

set(KVZ_CE_IMAGE_BASE 0x10000000)
set(KVZ_CE_IMAGE_CHECK_BASE 0x20000000)
set(KVZ_CE_ELF_DIR "${CMAKE_BINARY_DIR}/elf")
set(KVZ_CE_CHECK_DIR "${CMAKE_BINARY_DIR}/check")
set(KVZ_CE_LINKER_SCRIPT "${KVZ_KIT_ROOT}/ce_image/ce_dll.ld")
set(KVZ_COREDLL_EXPORTS "${KVZ_KIT_ROOT}/../shared/handheld/coredll-exports.txt"
  CACHE FILEPATH "Export names of the handheld's coredll.dll, one a line")
set(KVZ_BUILD_CXX c++ CACHE STRING "This machine's C++ compiler, for kvz_ce_image")
set(KVZ_CE_IMAGE_TOOL "" CACHE FILEPATH
  "A kvz_ce_image already built for this machine (empty: build it from ce_image/)")
find_program(KVZ_WINDRES NAMES i686-w64-mingw32-windres x86_64-w64-mingw32-windres windres
  DOC "binutils' resource compiler, for the DLLs' version resources")

# Position-dependent code: the image is linked at a fixed base and moved by
# base relocations; -fPIC would bring GOT relocations the writer refuses.
set(CMAKE_POSITION_INDEPENDENT_CODE OFF)

# GNU ld links a whole archive for $<LINK_LIBRARY:WHOLE_ARCHIVE,...>, as on Linux.
set(CMAKE_LINK_LIBRARY_USING_WHOLE_ARCHIVE
  "LINKER:--whole-archive" "<LINK_ITEM>" "LINKER:--no-whole-archive")
set(CMAKE_LINK_LIBRARY_USING_WHOLE_ARCHIVE_SUPPORTED TRUE)

# ---- The writer, for this machine ----
if(KVZ_CE_IMAGE_TOOL)
  set(KVZ_CE_IMAGE_EXE "${KVZ_CE_IMAGE_TOOL}")
  set(KVZ_CE_IMAGE_DEPENDS "${KVZ_CE_IMAGE_TOOL}")
else()
  set(_kvz_tool_dir "${CMAKE_BINARY_DIR}/ce_image_tool")
  set(KVZ_CE_IMAGE_EXE "${_kvz_tool_dir}/kvz_ce_image")
  ExternalProject_Add(kvz_ce_image_build
    SOURCE_DIR "${KVZ_KIT_ROOT}/ce_image"
    BINARY_DIR "${_kvz_tool_dir}"
    CMAKE_ARGS -DCMAKE_CXX_COMPILER=${KVZ_BUILD_CXX} -DCMAKE_BUILD_TYPE=Release
    BUILD_ALWAYS ON
    INSTALL_COMMAND ""
    BUILD_BYPRODUCTS "${KVZ_CE_IMAGE_EXE}")
  set(KVZ_CE_IMAGE_DEPENDS kvz_ce_image_build "${KVZ_CE_IMAGE_EXE}")
endif()

# ---- coredll's thunks ----
set(_kvz_thunks_s "${CMAKE_BINARY_DIR}/coredll_thunks.S")
set(KVZ_CE_THUNKS_OBJECT "${CMAKE_BINARY_DIR}/coredll_thunks.o")
separate_arguments(_kvz_asm_flags UNIX_COMMAND "${CMAKE_C_FLAGS}")
add_custom_command(OUTPUT "${_kvz_thunks_s}"
  COMMAND "${KVZ_CE_IMAGE_EXE}" --thunks "${KVZ_COREDLL_EXPORTS}" -o "${_kvz_thunks_s}"
  DEPENDS "${KVZ_COREDLL_EXPORTS}" ${KVZ_CE_IMAGE_DEPENDS}
  COMMENT "Thunks for coredll.dll's exports")
add_custom_command(OUTPUT "${KVZ_CE_THUNKS_OBJECT}"
  COMMAND "${CMAKE_C_COMPILER}" ${_kvz_asm_flags} -c "${_kvz_thunks_s}" -o "${KVZ_CE_THUNKS_OBJECT}"
  DEPENDS "${_kvz_thunks_s}"
  COMMENT "Assembling coredll_thunks.S")
add_custom_target(kvz_coredll_thunks DEPENDS "${KVZ_CE_THUNKS_OBJECT}")

# Last on every link line, after all libraries: the thunks, then libgcc's
# helpers (division, 64-bit shifts), both of which any object may need.
set(CMAKE_C_STANDARD_LIBRARIES "\"${KVZ_CE_THUNKS_OBJECT}\" -lgcc")
set(CMAKE_CXX_STANDARD_LIBRARIES "\"${KVZ_CE_THUNKS_OBJECT}\" -lgcc")

# kvz_ce_link_dll(target FILE_NAME <stem>.dll)
# Makes the executable target link elf/<stem>.elf at the DLL's base and
# check/<stem>.elf at the check base, with nothing but its objects, its
# libraries, the thunks and libgcc.
function(kvz_ce_link_dll target)
  cmake_parse_arguments(ARG "" "FILE_NAME" "" ${ARGN})
  get_filename_component(_stem "${ARG_FILE_NAME}" NAME_WLE)
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME "${_stem}" PREFIX "" SUFFIX ".elf"
    RUNTIME_OUTPUT_DIRECTORY "${KVZ_CE_ELF_DIR}"
    LINK_DEPENDS "${KVZ_CE_LINKER_SCRIPT};${KVZ_CE_THUNKS_OBJECT}")
  set(_launcher sh "${KVZ_KIT_ROOT}/ce_image/link_twice.sh"
    ${KVZ_CE_IMAGE_BASE} ${KVZ_CE_IMAGE_CHECK_BASE} "${KVZ_CE_CHECK_DIR}/${_stem}.elf")
  set_target_properties(${target} PROPERTIES
    C_LINKER_LAUNCHER "${_launcher}" CXX_LINKER_LAUNCHER "${_launcher}")
  target_link_options(${target} PRIVATE -nostdlib
    -Wl,-q -Wl,--gc-sections "-Wl,-T,${KVZ_CE_LINKER_SCRIPT}"
    -Wl,--no-enum-size-warning -Wl,--no-wchar-size-warning
    -Wl,--defsym=__ImageBase=${KVZ_CE_IMAGE_BASE} -Wl,--entry=DllMain)
  add_dependencies(${target} kvz_coredll_thunks)
endfunction()

# kvz_ce_res(out_var rc_file res_file): compiles a resource script to a
# .res, which holds no machine code and is the same for every target. The
# preprocessor is this build's C compiler, so no Windows compiler is needed.
function(kvz_ce_res out_var rc res)
  if(NOT KVZ_WINDRES)
    message(FATAL_ERROR "No windres for the version resource of ${res}: install "
      "binutils-mingw-w64-i686 (i686-w64-mingw32-windres) or set KVZ_WINDRES")
  endif()
  get_filename_component(_dir "${res}" DIRECTORY)
  add_custom_command(OUTPUT "${res}"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${_dir}"
    COMMAND "${KVZ_WINDRES}" "--preprocessor=${CMAKE_C_COMPILER}" --preprocessor-arg=-E
      --preprocessor-arg=-xc-header --preprocessor-arg=-DRC_INVOKED -O res -i "${rc}" -o "${res}"
    DEPENDS "${rc}"
    COMMENT "Compiling the resources ${res}")
  set(${out_var} "${res}" PARENT_SCOPE)
endfunction()

# kvz_ce_write_dll(target FILE_NAME <stem>.dll DEF file.def [RC file.rc])
# Writes bin/<stem>.dll and check/<stem>.dll from the target's two ELF
# images, each with the resources of file.rc when one is given.
function(kvz_ce_write_dll target)
  cmake_parse_arguments(ARG "" "FILE_NAME;DEF;RC" "" ${ARGN})
  get_filename_component(_stem "${ARG_FILE_NAME}" NAME_WLE)
  set(_res_args "")
  set(_res "")
  if(ARG_RC)
    kvz_ce_res(_res "${ARG_RC}" "${CMAKE_BINARY_DIR}/res/${_stem}.res")
    set(_res_args --res "${_res}")
  endif()
  set(_outputs "")
  foreach(_pair "${KVZ_BIN_DIR}|${KVZ_CE_ELF_DIR}" "${KVZ_CE_CHECK_DIR}|${KVZ_CE_CHECK_DIR}")
    string(REPLACE "|" ";" _dirs "${_pair}")
    list(GET _dirs 0 _dll_dir)
    list(GET _dirs 1 _elf_dir)
    set(_dll "${_dll_dir}/${ARG_FILE_NAME}")
    add_custom_command(OUTPUT "${_dll}"
      COMMAND "${CMAKE_COMMAND}" -E make_directory "${_dll_dir}"
      COMMAND "${KVZ_CE_IMAGE_EXE}" --def "${ARG_DEF}" --coredll "${KVZ_COREDLL_EXPORTS}"
        ${_res_args} -o "${_dll}" "${_elf_dir}/${_stem}.elf"
      DEPENDS ${target} "${ARG_DEF}" "${KVZ_COREDLL_EXPORTS}" ${_res} ${KVZ_CE_IMAGE_DEPENDS}
      COMMENT "Writing the CE image ${_dll}")
    list(APPEND _outputs "${_dll}")
  endforeach()
  add_custom_target(${target}_image ALL DEPENDS ${_outputs})
  set_property(TARGET ${target} PROPERTY KVZ_CE_DLL "${KVZ_BIN_DIR}/${ARG_FILE_NAME}")
endfunction()
