# The error dialog and its assistants: vm_dialog. Included from crashreport/CMakeLists.txt;
# paths are relative to crashreport/.
vm_library(vm_dialog
  SOURCES dialog/Assistant.cpp
  LIBS vm_crashreport vm_crashsettings vm_screenshot vm_base)
if(WIN32)
  target_link_libraries(vm_dialog PUBLIC user32 gdi32 shell32 advapi32)
endif()
