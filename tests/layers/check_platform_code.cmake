# Fails when code outside platform/, serial/ and ui/win32/ picks a platform itself: an
# #if on _WIN32 (or __linux__, __unix__) or an include of <windows.h>. Those
# folders give the rest of the program one face per platform instead, chosen
# file by file in the build.
#   cmake -DSOURCE_DIR=<src> -P check_platform_code.cmake
file(GLOB_RECURSE files RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*.h ${SOURCE_DIR}/*.cpp)
set(faults 0)
foreach(file ${files})
  if(file MATCHES "^(platform|serial|ui/win32)/")
    continue()
  endif()
  file(STRINGS ${SOURCE_DIR}/${file} lines
    REGEX "^[ \t]*#[ \t]*(if.*(_WIN32|_WIN64|__linux__|__unix__|_MSC_VER|__MINGW)|include[ \t]*<windows\\.h>)")
  foreach(line ${lines})
    string(STRIP "${line}" line)
    message(SEND_ERROR "src/${file} has platform code outside platform/, serial/ and ui/win32/: ${line}")
    math(EXPR faults "${faults} + 1")
  endforeach()
endforeach()
if(faults EQUAL 0)
  list(LENGTH files count)
  message(STATUS "platform code: none among ${count} files outside platform/, serial/ and ui/win32/")
endif()
