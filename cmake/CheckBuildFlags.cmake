# Every object of the build gets the flags its results depend on, whichever target,
# folder or source property it comes from:
#   cmake -DCOMMANDS=<build>/compile_commands.json -DCHARSET=1|0 -P cmake/CheckBuildFlags.cmake
# -ffp-contract=off everywhere (every code path computes the same bits), the C++20 of
# dodoz::build_flags in every C++ object, and with CHARSET=1 (all builds but the fuzz
# build) -fexec-charset=CP1251 in every C++ object.

file(READ ${COMMANDS} commands)
string(JSON count LENGTH "${commands}")
math(EXPR last "${count} - 1")
set(faults "")
foreach(i RANGE ${last})
  string(JSON file GET "${commands}" ${i} file)
  string(JSON command GET "${commands}" ${i} command)
  set(wanted -ffp-contract=off)
  if(file MATCHES "\\.cpp$")
    list(APPEND wanted -std=c\\+\\+20)
    if(CHARSET)
      list(APPEND wanted -fexec-charset=CP1251)
    endif()
  endif()
  foreach(flag IN LISTS wanted)
    if(NOT command MATCHES "(^| )${flag}( |$)")
      string(APPEND faults "${file}: no ${flag}\n")
    endif()
  endforeach()
endforeach()
if(faults)
  message(FATAL_ERROR "Objects without the flags of dodoz::build_flags:\n${faults}")
endif()
message(STATUS "${count} objects carry the flags of dodoz::build_flags")
