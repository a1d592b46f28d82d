# The error dialog, its simple box, details view, assistants and progress box: vm_dialog. Included from
# crashreport/CMakeLists.txt after settings/CrashSettings.cmake; paths are relative to crashreport/.
vm_library(vm_dialog
  SOURCES dialog/DialogRules.cpp dialog/DetailsTabs.cpp dialog/Assistant.cpp dialog/AssistantPages.cpp dialog/ContactForm.cpp
  WIN32_SOURCES dialog/ExceptionBox_win32.cpp dialog/Clipboard_win32.cpp dialog/PrintReport_win32.cpp
                dialog/DetailsView_win32.cpp dialog/ProgressAlert_win32.cpp
                dialog/Assistant_win32.cpp dialog/AssistantWindow_win32.cpp dialog/ScreenshotForm_win32.cpp
  LIBS vm_delivery vm_crashreport vm_crashsettings vm_screenshot vm_settings vm_toolkit vm_base)
if(WIN32)
  target_link_libraries(vm_dialog PUBLIC user32 gdi32 shell32 advapi32 comctl32 comdlg32 msimg32)
endif()

# The assistant pages: dialog/pages/<Name>.form, each built into a form stream of class
# "TCrash<Name>" and carried as RCDATA "TCRASH<NAME>" beside the settings record.
set(VM_ASSISTANT_PAGES ContactForm DetailsForm ScrShotForm)
set(VM_ASSISTANT_PAGE_DIR ${CMAKE_CURRENT_SOURCE_DIR}/dialog/pages CACHE INTERNAL "")
set(page_files "")
set(page_rc "")
foreach(page IN LISTS VM_ASSISTANT_PAGES)
  set(bin ${CMAKE_CURRENT_BINARY_DIR}/TCrash${page}.bin)
  add_custom_command(OUTPUT ${bin}
    COMMAND ${VM_CRASH_PYTHON} ${VM_CRASH_STREAM_TOOL} --object TCrash${page} ${page}
            ${VM_ASSISTANT_PAGE_DIR}/${page}.form ${bin}
    DEPENDS ${VM_CRASH_STREAM_TOOL} ${VM_ASSISTANT_PAGE_DIR}/${page}.form
    COMMENT "Building assistant page ${page}"
    VERBATIM)
  list(APPEND page_files ${bin})
  string(TOUPPER "TCrash${page}" resource)
  string(APPEND page_rc "${resource} RCDATA \"${bin}\"\n")
endforeach()
add_custom_target(vm_assistant_pages DEPENDS ${page_files})
set(VM_ASSISTANT_PAGE_FILES ${page_files} CACHE INTERNAL "")

if(WIN32)
  # Every program that carries the settings record carries the pages too.
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/AssistantPages.rc)
  file(WRITE ${rc}.in "${page_rc}")
  configure_file(${rc}.in ${rc} COPYONLY)
  target_sources(vm_crash_resource PRIVATE ${rc})
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS "${page_files}")
  add_dependencies(vm_crash_resource vm_assistant_pages)
endif()

if(WIN32)
  # The dialog's bitmaps: an object library, since a static library's resources would not
  # be linked; every program that links vm_dialog gets them through the interface.
  add_library(vm_dialog_resource OBJECT dialog/res/DialogImages.rc)
  target_sources(vm_dialog INTERFACE $<TARGET_OBJECTS:vm_dialog_resource>)
endif()
