# The error dialog, its details view, the assistants and the progress box: vm_dialog.
# Included from crashreport/CMakeLists.txt; paths are relative to crashreport/.
vm_library(vm_dialog
  SOURCES dialog/DetailsTabs.cpp
  WIN32_SOURCES dialog/DetailsView_win32.cpp dialog/ProgressAlert_win32.cpp
  LIBS vm_delivery vm_crashreport vm_crashsettings vm_base)
if(WIN32)
  target_link_libraries(vm_dialog PUBLIC comctl32 msimg32 gdi32 user32)
  # The dialog's bitmaps: an object library, since a static library's resources would not
  # be linked; every program that links vm_dialog gets them through the interface.
  add_library(vm_dialog_resource OBJECT dialog/res/DialogImages.rc)
  target_sources(vm_dialog INTERFACE $<TARGET_OBJECTS:vm_dialog_resource>)
endif()
