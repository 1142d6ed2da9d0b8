# Windows targets: vantorel.dll (the front and the codec, exports by .def file),
# the integration test host and the demo host. Kept lean on purpose: no test
# framework is cross-built; the host prints "N passed, M failed".

# No run-time DLLs of the compiler: everything the library needs is linked in.
set(VANTOREL_WINDOWS_LINK -static-libgcc -static-libstdc++ -static)

set(VANTOREL_DEF_FILE ${CMAKE_SOURCE_DIR}/cmake/vantorel-${VANTOREL_WINDOWS_ARCH}.def)
add_library(vantorel_dll SHARED ${VANTOREL_FRONT_SOURCES} ${VANTOREL_DEF_FILE})
target_link_libraries(vantorel_dll PRIVATE vantorel_codec gdi32 user32)
target_link_options(vantorel_dll PRIVATE ${VANTOREL_WINDOWS_LINK})
set_target_properties(vantorel_dll PROPERTIES OUTPUT_NAME vantorel PREFIX "" IMPORT_PREFIX "" IMPORT_SUFFIX ".lib")

# The test host loads the library by name at run time (every export by name and
# by ordinal) and links the codec itself for reference decodes.
add_executable(vantorel_host ${CMAKE_SOURCE_DIR}/tools/windows/test_host.cpp)
target_link_libraries(vantorel_host PRIVATE vantorel_codec gdi32 user32 advapi32)
target_link_options(vantorel_host PRIVATE ${VANTOREL_WINDOWS_LINK})
add_dependencies(vantorel_host vantorel_dll)

add_executable(vtrender ${CMAKE_SOURCE_DIR}/tools/windows/vtrender.cpp)
target_link_libraries(vtrender PRIVATE gdi32 user32)
target_include_directories(vtrender PRIVATE ${CMAKE_SOURCE_DIR}/include)
target_link_options(vtrender PRIVATE ${VANTOREL_WINDOWS_LINK})
add_dependencies(vtrender vantorel_dll)
