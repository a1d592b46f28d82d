# The error dialog, its details view, the assistants and the progress box: vm_dialog.
# Included from crashreport/CMakeLists.txt; paths are relative to crashreport/.
vm_library(vm_dialog
  SOURCES dialog/DetailsTabs.cpp
  LIBS vm_delivery vm_crashreport vm_crashsettings vm_base)
if(WIN32)
  target_link_libraries(vm_dialog PUBLIC comctl32 gdi32 user32)
endif()
