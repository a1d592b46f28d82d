# The error dialog, its simple box and assistants: vm_dialog. Included from
# crashreport/CMakeLists.txt; paths are relative to crashreport/.
vm_library(vm_dialog
  SOURCES dialog/DialogRules.cpp dialog/Assistant.cpp
  WIN32_SOURCES dialog/ExceptionBox_win32.cpp
  LIBS vm_crashreport vm_crashsettings vm_screenshot vm_toolkit vm_base)
if(WIN32)
  target_link_libraries(vm_dialog PUBLIC user32 gdi32 shell32 advapi32 comctl32 comdlg32 msimg32)
  # The dialog's images, linked into every program that shows the dialog.
  add_library(vm_dialog_resource OBJECT dialog/res/DialogImages.rc)
  target_include_directories(vm_dialog_resource PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/dialog/res)
endif()
