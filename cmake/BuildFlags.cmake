# dodoz::build_flags: what every target of the project is compiled with, in one place.
# Each library links it publicly, so whatever links a library gets it too; a target that
# links no library of the project (a tool of the tests, a loadable module) links it
# itself. The build_flags test (cmake/CheckBuildFlags.cmake) reads compile_commands.json
# and fails when an object misses the flags the results depend on.
add_library(dodoz_build_flags INTERFACE)
add_library(dodoz::build_flags ALIAS dodoz_build_flags)

# Headers are named from the source root ("models/TModelClass.h");
# cmake/CheckLayers.cmake keeps the folders from including a layer above them.
target_include_directories(dodoz_build_flags INTERFACE ${PROJECT_SOURCE_DIR})
# The plain standard (no GNU dialect): CXX_EXTENSIONS is a property of each target,
# whose default the top CMakeLists.txt sets off.
target_compile_features(dodoz_build_flags INTERFACE cxx_std_20)

# Floating-point contraction stays off so that every code path (the plain loops, the
# engine, each instruction set) computes the same bits: the bit-for-bit tests and the
# results of a run rest on it.
target_compile_options(dodoz_build_flags INTERFACE -Wall -Wextra -ffp-contract=off)
# Texts inside the program are cp1251 bytes (a Cyrillic letter is one byte), while the
# sources are UTF-8. clang 14 knows no execution character set but UTF-8; the fuzz build
# is clang's only use, and the code it exercises holds no Cyrillic literals.
if(NOT DODOZ_FUZZ)
  target_compile_options(dodoz_build_flags INTERFACE $<$<COMPILE_LANGUAGE:CXX>:-fexec-charset=CP1251>)
endif()

if(DODOZ_SANITIZE)
  target_compile_options(dodoz_build_flags INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(dodoz_build_flags INTERFACE -fsanitize=address,undefined)
endif()
# Every library of the fuzz build carries the fuzzer's coverage; only the fuzz targets
# link the fuzzer's main (tests/fuzz).
if(DODOZ_FUZZ)
  target_compile_options(dodoz_build_flags INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(dodoz_build_flags INTERFACE -fsanitize=address,undefined)
endif()
