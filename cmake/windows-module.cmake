# The Word converter module and what goes with it.
#
# Native builds: the shipped language files are copied to share/velotrix/language/ beside
# velotrix (where the command line finds its installation folder), install rules put them
# under the prefix, and when MinGW-w64 and Wine are present the Windows module is tested
# under Wine.
# Windows builds (MinGW-w64 cross compile): Korvanevlx.cnv with its ordinals and string
# resources, the companion options module Korvanevlx64.dll, and the test host wordhost.exe.

set(VLX_LANG_DIR ${CMAKE_SOURCE_DIR}/lang)
if(EXISTS ${VLX_LANG_DIR})
  add_custom_target(velotrix_languages ALL
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${VLX_LANG_DIR}
            ${CMAKE_BINARY_DIR}/share/velotrix/language
    COMMENT "Copying language files")
  add_dependencies(velotrix velotrix_languages)
  install(DIRECTORY ${VLX_LANG_DIR}/ DESTINATION share/velotrix/language)
endif()
install(TARGETS velotrix RUNTIME DESTINATION bin)

if(WIN32)
  # The progress window paints with GDI.
  target_link_libraries(velotrix_core PUBLIC gdi32)

  # Korvanevlx.cnv: the entry points live in the core library; the .def file exports
  # them by ordinal, and -u makes the linker take them from the archive.
  set(VLX_EXPORTS FRegisterConverter ForeignToRtf32 GetReadNames GetWriteNames InitConverter32
      IsFormatCorrect32 RegisterApp RtfToForeign32 UninitConverter DllMain)
  add_library(Korvanevlx SHARED
    ${CMAKE_SOURCE_DIR}/windows/Korvanevlx.def
    ${CMAKE_SOURCE_DIR}/windows/Korvanevlx.rc)
  set_target_properties(Korvanevlx PROPERTIES PREFIX "" SUFFIX ".cnv" OUTPUT_NAME Korvanevlx
    LINKER_LANGUAGE CXX)
  target_include_directories(Korvanevlx PRIVATE ${CMAKE_SOURCE_DIR}/src)
  foreach(sym ${VLX_EXPORTS})
    target_link_options(Korvanevlx PRIVATE -Wl,-u,${sym})
  endforeach()
  target_link_libraries(Korvanevlx PRIVATE velotrix_core)

  # Korvanevlx64.dll: the options dialog; it writes the per-user keys through the same
  # code the command line's built-in dialog uses.
  add_library(Korvanevlx64 SHARED
    ${CMAKE_SOURCE_DIR}/windows/options/options.cpp
    ${CMAKE_SOURCE_DIR}/windows/options/options.rc
    ${CMAKE_SOURCE_DIR}/src/converter/user_options.cpp
    ${CMAKE_SOURCE_DIR}/src/platform/win32/registry.cpp
    ${CMAKE_SOURCE_DIR}/src/platform/unicode.cpp)
  set_target_properties(Korvanevlx64 PROPERTIES PREFIX "" OUTPUT_NAME Korvanevlx64)
  target_include_directories(Korvanevlx64 PRIVATE ${CMAKE_SOURCE_DIR}/src
    ${CMAKE_SOURCE_DIR}/windows/options)
  target_compile_definitions(Korvanevlx64 PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX)
  target_link_libraries(Korvanevlx64 PRIVATE user32 advapi32)
  target_link_options(Korvanevlx64 PRIVATE -static -static-libgcc -static-libstdc++)

  # wordhost.exe: loads the module as Word does and checks what it answers.
  add_executable(wordhost ${CMAKE_SOURCE_DIR}/windows/wordhost/wordhost.cpp)
  target_compile_definitions(wordhost PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX)
  target_link_libraries(wordhost PRIVATE user32 advapi32)
  target_link_options(wordhost PRIVATE -municode -static -static-libgcc -static-libstdc++)
elseif(VELOTRIX_TESTS)
  # The Windows module under Wine: only where the cross compiler and Wine are installed.
  find_program(VLX_MINGW_CXX x86_64-w64-mingw32-g++)
  find_program(VLX_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
  if(NOT VLX_WINE)
    find_program(VLX_WINE NAMES wine64 wine)
  endif()
  if(VLX_MINGW_CXX AND VLX_WINE)
    add_test(NAME WineModule
      COMMAND ${CMAKE_SOURCE_DIR}/tests/wine/run-wine-tests.sh
              ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/build-win $<TARGET_FILE:velotrix> ${VLX_WINE})
    set_tests_properties(WineModule PROPERTIES TIMEOUT 600 SKIP_RETURN_CODE 77)
  else()
    message(STATUS "Wine or MinGW-w64 missing: the Windows module is not tested")
  endif()
endif()
