# Exception capture: vm_capture and vm_postlink(). Included from crashreport/CMakeLists.txt.
# The processor-context file is the one of the architecture being built.
if(CMAKE_SYSTEM_PROCESSOR MATCHES "64")
  set(vm_capture_arch x64)
else()
  set(vm_capture_arch x86)
endif()
vm_library(vm_capture
  SOURCES capture/CaptureLayouts.cpp capture/FrameWalk.cpp capture/CallFrameInfo.cpp capture/SymbolTable.cpp
          capture/FileCheck.cpp capture/PeLayout.cpp
  WIN32_SOURCES capture/Reporter_win32.cpp capture/Handler_win32.cpp capture/ThreadNames_win32.cpp
                capture/ThreadHooks_win32.cpp capture/StackCapture_win32.cpp capture/FreezeWatchdog_win32.cpp
                capture/Install_win32.cpp capture/FaultGuard_win32.cpp capture/Survival_win32.cpp
                capture/Registers_${vm_capture_arch}.cpp
  LIBS vm_dialog vm_delivery vm_crashreport vm_crashsettings vm_screenshot vm_toolkit vm_base ZLIB::ZLIB)

set(VM_POSTLINK_TOOL ${CMAKE_CURRENT_SOURCE_DIR}/capture/postlink.py CACHE INTERNAL "")
# vm_postlink(target): after each link, the program gets its symbol table and its
# integrity stamp (capture/postlink.py). The target must link vm_capture.
function(vm_postlink target)
  if(NOT WIN32)
    return()
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${VM_CRASH_PYTHON} ${VM_POSTLINK_TOOL} --nm ${CMAKE_NM} --objdump ${CMAKE_OBJDUMP} $<TARGET_FILE:${target}>
    COMMENT "Symbol table and integrity stamp for ${target}"
    VERBATIM)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${VM_POSTLINK_TOOL})
endfunction()
