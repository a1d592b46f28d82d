# Crash-report settings tests. Included from tests/crashreport/CMakeLists.txt.
# The shipped record is checked twice: on the host from the built bytes, under Wine
# through the Windows resource functions on the resource linked into the test program.
get_target_property(vm_crash_record_file vm_crash_record RECORD_FILE)
vm_test(crashsettings_tests
  SOURCES CrashSettingsStreamTest.cpp CrashSettingsTest.cpp CrashSettingsPlaceholdersTest.cpp
          CrashSettingsFiltersTest.cpp ShippedRecordTest.cpp
  HOST_SOURCES ShippedRecord_posix.cpp
  WIN32_SOURCES ShippedRecord_win32.cpp CrashSettingsSharedTest_win32.cpp VeilmarkRecordTest_win32.cpp
  LIBS vm_crashsettings $<$<BOOL:${WIN32}>:vm_crash_resource>)
if(TARGET crashsettings_tests)
  add_dependencies(crashsettings_tests vm_crash_record)
  target_compile_definitions(crashsettings_tests PRIVATE VM_CRASH_RECORD_FILE="${vm_crash_record_file}")
  if(TARGET veilmark)
    add_dependencies(crashsettings_tests veilmark)
    target_compile_definitions(crashsettings_tests PRIVATE VM_VEILMARK_EXE="$<TARGET_FILE:veilmark>")
  endif()
endif()

if(WIN32 AND NOT VM_FUZZ)
  # A second module of the test process, to show that modules share one settings chain. It
  # carries a record of its own that defers to other settings (NoSettings).
  set(dll_record ${CMAKE_CURRENT_BINARY_DIR}/TestDllSettings.bin)
  vm_crash_settings_stream(${dll_record} ${CMAKE_CURRENT_SOURCE_DIR}/data/TestDll.settings)
  file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/TestDllSettings.rc "TZENTRAPIX RCDATA \"${dll_record}\"\n")
  set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/TestDllSettings.rc PROPERTIES OBJECT_DEPENDS ${dll_record})
  add_library(crashsettings_testdll SHARED CrashSettingsTestDll_win32.cpp ${CMAKE_CURRENT_BINARY_DIR}/TestDllSettings.rc)
  vm_target_defaults(crashsettings_testdll)
  target_link_libraries(crashsettings_testdll PRIVATE vm_crashsettings)
  set_target_properties(crashsettings_testdll PROPERTIES PREFIX "")
  add_dependencies(crashsettings_tests crashsettings_testdll)
endif()

vm_fuzzer(crashsettings_stream_fuzzer
  SOURCES CrashSettingsStreamFuzzer.cpp
  LIBS vm_crashsettings
  CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/corpus/crashsettings_stream_fuzzer)
