# Crash-report settings: vm_crashsettings, the shipped record and vm_crash_resource.
# Included from crashreport/CMakeLists.txt; paths are relative to crashreport/.
vm_library(vm_crashsettings
  SOURCES settings/CrashSettingsStream.cpp settings/CrashSettingsDefaults.cpp settings/CrashSettingsSystem.cpp
          settings/CrashSettingsBlock.cpp settings/CrashSettingsModules.cpp settings/CrashSettingsPlaceholders.cpp
          settings/CrashSettings.cpp settings/CrashSettingsFilters.cpp settings/CrashSettingsAssistants.cpp settings/CrashFields.cpp
  HOST_SOURCES settings/CrashSettingsText_posix.cpp settings/CrashSettingsSystem_posix.cpp settings/CrashSettingsBlock_posix.cpp
  WIN32_SOURCES settings/CrashSettingsText_win32.cpp settings/CrashSettingsSystem_win32.cpp settings/CrashSettingsBlock_win32.cpp
  LIBS vm_base)
if(WIN32)
  target_link_libraries(vm_crashsettings PUBLIC psapi version shell32 user32)
endif()

# The shipped record: settings/Zentrapix.settings, turned into stream bytes by a Python
# script at build time (it runs on the build machine, so cross builds need nothing more).
find_package(Python3 REQUIRED COMPONENTS Interpreter)
# Cached, so that the function below also works from the tests' folder.
set(VM_CRASH_STREAM_TOOL ${CMAKE_CURRENT_SOURCE_DIR}/settings/make_settings_stream.py CACHE INTERNAL "")
set(VM_CRASH_PYTHON ${Python3_EXECUTABLE} CACHE INTERNAL "")
# vm_crash_settings_stream(<output .bin> <source>): one record built from a source file.
function(vm_crash_settings_stream output source)
  add_custom_command(OUTPUT ${output}
    COMMAND ${VM_CRASH_PYTHON} ${VM_CRASH_STREAM_TOOL} ${source} ${output}
    DEPENDS ${VM_CRASH_STREAM_TOOL} ${source}
    COMMENT "Building crash settings record ${output}"
    VERBATIM)
endfunction()
set(VM_CRASH_RECORD ${CMAKE_CURRENT_BINARY_DIR}/ZentrapixSettings.bin)
vm_crash_settings_stream(${VM_CRASH_RECORD} ${CMAKE_CURRENT_SOURCE_DIR}/settings/Zentrapix.settings)
add_custom_target(vm_crash_record DEPENDS ${VM_CRASH_RECORD})
set_target_properties(vm_crash_record PROPERTIES RECORD_FILE ${VM_CRASH_RECORD})

if(WIN32)
  # Linked into veilmark.exe (and the Windows tests): the record as RCDATA "TZENTRAPIX".
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/ZentrapixSettings.rc)
  file(WRITE ${rc}.in "TZENTRAPIX RCDATA \"${VM_CRASH_RECORD}\"\n")
  configure_file(${rc}.in ${rc} COPYONLY)
  add_library(vm_crash_resource OBJECT ${rc})
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${VM_CRASH_RECORD})
  add_dependencies(vm_crash_resource vm_crash_record)
endif()
