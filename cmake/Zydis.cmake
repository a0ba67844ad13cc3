# Zydis 4, the x86/x64 instruction decoder the librarian reads machine code with, as a static
# library built from the source that the setup script unpacks outside the repository. Only the
# decoder: without formatter and encoder it needs nothing of Zycore but its headers.
if(NOT ZYDIS_DIR)
  file(GLOB _zydis_candidates /var/cache/zandrel/zydis-4*)
  list(FILTER _zydis_candidates EXCLUDE REGEX "\\.(tar|dsc)")
  if(_zydis_candidates)
    list(SORT _zydis_candidates)
    list(GET _zydis_candidates -1 _zydis_last)
  endif()
  set(ZYDIS_DIR "${_zydis_last}" CACHE PATH "Zydis source folder (holds src/Decoder.c)")
endif()
if(NOT EXISTS "${ZYDIS_DIR}/src/Decoder.c")
  message(FATAL_ERROR "Zydis source not found; run scripts/setup.sh or set ZYDIS_DIR")
endif()
set(ZYCORE_INCLUDE_DIR /usr/include CACHE PATH "Folder that holds Zycore/Zycore.h")
if(NOT EXISTS "${ZYCORE_INCLUDE_DIR}/Zycore/Zycore.h")
  message(FATAL_ERROR "Zycore headers not found; run scripts/setup.sh (libzycore-dev)")
endif()
# A copy of just the Zycore headers: putting /usr/include itself on a cross compiler's path
# would shadow its own C library headers with the host's.
file(COPY "${ZYCORE_INCLUDE_DIR}/Zycore" DESTINATION "${CMAKE_BINARY_DIR}/zycore-include")

add_library(zydis STATIC
  "${ZYDIS_DIR}/src/Decoder.c"
  "${ZYDIS_DIR}/src/DecoderData.c"
  "${ZYDIS_DIR}/src/MetaInfo.c"
  "${ZYDIS_DIR}/src/Mnemonic.c"
  "${ZYDIS_DIR}/src/Register.c"
  "${ZYDIS_DIR}/src/SharedData.c"
  "${ZYDIS_DIR}/src/String.c"
  "${ZYDIS_DIR}/src/Utils.c"
  "${ZYDIS_DIR}/src/Zydis.c")
target_include_directories(zydis SYSTEM PUBLIC "${ZYDIS_DIR}/include" "${CMAKE_BINARY_DIR}/zycore-include"
  PRIVATE "${ZYDIS_DIR}/src")
target_compile_definitions(zydis PUBLIC ZYDIS_STATIC_BUILD ZYCORE_STATIC_BUILD
                                        ZYDIS_DISABLE_FORMATTER ZYDIS_DISABLE_ENCODER)
target_compile_options(zydis PRIVATE -w)
set_target_properties(zydis PROPERTIES C_STANDARD 11 POSITION_INDEPENDENT_CODE ON)
