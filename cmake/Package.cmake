# The release package: `cmake --build <tree> --target package-zip` makes
# zandrel-<version>-win32.zip (win64 for the 64-bit tree) with the three programs, the README,
# the licence, the user guide and the sample.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(_flavour win64)
else()
  set(_flavour win32)
endif()
set(_name zandrel-${PROJECT_VERSION}-${_flavour})
set(_stage ${CMAKE_BINARY_DIR}/package/${_name})
set(_zip ${CMAKE_BINARY_DIR}/${_name}.zip)
# The programs ship without their debugging information.
set(_strip)
if(CMAKE_STRIP)
  set(_strip COMMAND ${CMAKE_STRIP} --strip-debug ${_stage}/zandrel.exe ${_stage}/polib.exe ${_stage}/zandrel-cli.exe)
endif()
# The guide's and the README's pictures (scripts/screenshots.sh draws them).
file(GLOB _pictures CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/*.png)
add_custom_target(package-zip
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${CMAKE_BINARY_DIR}/package
  COMMAND ${CMAKE_COMMAND} -E make_directory ${_stage}/docs ${_stage}/sample
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:zandrel> $<TARGET_FILE:polib> $<TARGET_FILE:zandrel-cli> ${_stage}
  ${_strip}
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE ${_stage}
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/docs/USAGE.md ${_pictures} ${_stage}/docs
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_BINARY_DIR}/samples/zsample.dll ${CMAKE_BINARY_DIR}/samples/zsample.lib
          ${PROJECT_SOURCE_DIR}/samples/zsample.c ${_stage}/sample
  COMMAND ${CMAKE_COMMAND} -E rm -f ${_zip}
  COMMAND ${CMAKE_COMMAND} -E chdir ${CMAKE_BINARY_DIR}/package ${CMAKE_COMMAND} -E tar cf ${_zip} --format=zip ${_name}
  DEPENDS zandrel polib zandrel-cli sample-lib
  COMMENT "Packing ${_name}.zip"
  VERBATIM)

if(ZANDREL_TESTS AND NOT CMAKE_CROSSCOMPILING_EMULATOR STREQUAL "")
  add_test(NAME package_zip COMMAND ${CMAKE_COMMAND} -DTREE=${CMAKE_BINARY_DIR} -DNAME=${_name}
                                    -P ${PROJECT_SOURCE_DIR}/tests/package_check.cmake)
  set_tests_properties(package_zip PROPERTIES LABELS "wine" TIMEOUT 600)
endif()
