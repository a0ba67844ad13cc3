# Scintilla 5 as a static library, built from the source that the setup script unpacks outside
# the repository. Container lexing only, so Lexilla is not needed.
if(NOT SCINTILLA_DIR)
  file(GLOB _sci_candidates /var/cache/zandrel/scite-*/scintilla)
  list(SORT _sci_candidates)
  list(GET _sci_candidates -1 _sci_last)
  set(SCINTILLA_DIR "${_sci_last}" CACHE PATH "Scintilla source folder (holds src/ and win32/)")
endif()
if(NOT EXISTS "${SCINTILLA_DIR}/win32/ScintillaWin.cxx")
  message(FATAL_ERROR "Scintilla source not found; run scripts/setup.sh or set SCINTILLA_DIR")
endif()
file(GLOB _sci_src "${SCINTILLA_DIR}/src/*.cxx")
add_library(scintilla STATIC ${_sci_src}
  "${SCINTILLA_DIR}/win32/ScintillaWin.cxx"
  "${SCINTILLA_DIR}/win32/PlatWin.cxx"
  "${SCINTILLA_DIR}/win32/HanjaDic.cxx")
target_include_directories(scintilla PUBLIC "${SCINTILLA_DIR}/include"
  PRIVATE "${SCINTILLA_DIR}/src" "${SCINTILLA_DIR}/win32")
# Direct2D is optional in Scintilla and poorly served by Wine; GDI drawing is enough here.
target_compile_definitions(scintilla PRIVATE DISABLE_D2D STATIC_BUILD)
target_compile_options(scintilla PRIVATE -w)
set_target_properties(scintilla PROPERTIES CXX_STANDARD 17)
target_link_libraries(scintilla PUBLIC imm32 ole32 oleaut32 uuid gdi32 user32 msimg32 comctl32)
