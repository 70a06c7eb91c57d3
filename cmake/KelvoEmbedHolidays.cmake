# SPDX-License-Identifier: MIT
# cmake -DIN=data/holidays-cn.txt -DOUT=holidays-builtin.cpp -P KelvoEmbedHolidays.cmake
#
# Writes the holiday schedule as a char array for the plug-in, without its
# comments, blank lines and runs of spaces (the same statements in fewer
# bytes). A script, not a program, so that cross builds need nothing built
# for the build machine. OUT is rewritten only when its text changes.
if(NOT IN OR NOT OUT)
  message(FATAL_ERROR "KelvoEmbedHolidays.cmake needs -DIN=... and -DOUT=...")
endif()
file(READ "${IN}" text)
string(REGEX REPLACE "#[^\n]*" "" text "${text}")
string(REGEX REPLACE "[ \t\r]+" " " text "${text}")
string(REGEX REPLACE " \n" "\n" text "${text}")
string(REGEX REPLACE "\n " "\n" text "${text}")
string(REGEX REPLACE "\n\n+" "\n" text "${text}")
string(REGEX REPLACE "^[ \n]+" "" text "${text}")
string(REPLACE "\\" "\\\\" text "${text}")
string(REPLACE "\"" "\\\"" text "${text}")
string(REPLACE "\n" "\\n\"\n    \"" text "${text}")
set(source "// Generated from ${IN} by cmake/KelvoEmbedHolidays.cmake: do not edit.
#include \"sh-sys-holiday.h\"

const char gszHolidayBuiltin[] =
    \"${text}\";
const size_t gnHolidayBuiltinLength = sizeof(gszHolidayBuiltin) - 1;
")
file(WRITE "${OUT}.new" "${source}")
file(COPY_FILE "${OUT}.new" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.new")
