# The layering of the program's folders, checked over their #include lines:
#   cmake -DSOURCE_DIR=<root> -P cmake/CheckLayers.cmake
# A folder may include its own headers and those of the layers below it, never one
# above. Top to bottom:
#   app -> frame -> repository -> repository/odbc -> models -> models/fast
#   -> sample -> objects -> core -> runtime
# The tools are programs of their own beside app and may use every layer but app; nothing
# of the program includes them. <sql.h> belongs to repository/odbc alone, FLTK and X11 to
# frame/.

set(layers app frame repository odbc models models_fast sample objects core runtime)

function(layer_of path out)
  if(path MATCHES "^runtime/")
    set(layer runtime)
  elseif(path MATCHES "^core/")
    set(layer core)
  elseif(path MATCHES "^(app|tools)/")
    set(layer app)
  elseif(path MATCHES "^frame/")
    set(layer frame)
  elseif(path MATCHES "^repository/odbc/")
    set(layer odbc)
  elseif(path MATCHES "^repository/")
    set(layer repository)
  elseif(path MATCHES "^models/fast/")
    set(layer models_fast)
  elseif(path MATCHES "^models/")
    set(layer models)
  elseif(path MATCHES "^sample/")
    set(layer sample)
  elseif(path MATCHES "^objects/")
    set(layer objects)
  else()
    set(layer "")
  endif()
  set(${out} ${layer} PARENT_SCOPE)
endfunction()

file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR} LIST_DIRECTORIES false
     ${SOURCE_DIR}/app/* ${SOURCE_DIR}/frame/* ${SOURCE_DIR}/core/* ${SOURCE_DIR}/runtime/*
     ${SOURCE_DIR}/objects/* ${SOURCE_DIR}/sample/* ${SOURCE_DIR}/models/* ${SOURCE_DIR}/repository/*
     ${SOURCE_DIR}/tools/*)
list(FILTER sources INCLUDE REGEX "\\.(h|cpp)$")

set(faults "")
foreach(source IN LISTS sources)
  layer_of(${source} from)
  if("${from}" STREQUAL "")
    message(FATAL_ERROR "${source}: no layer")
  endif()
  list(FIND layers ${from} fromRank)
  file(STRINGS ${SOURCE_DIR}/${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[\"<]([^\">]*)[\">].*" "\\1" header "${line}")
    if(header MATCHES "^(sql|sqlext|sqltypes|sqlucode)\\.h$" AND NOT from STREQUAL "odbc")
      string(APPEND faults "${source}: <${header}> outside repository/odbc\n")
    elseif(header MATCHES "^(FL|X11)/" AND NOT from STREQUAL "frame")
      string(APPEND faults "${source}: <${header}> outside the frame\n")
    endif()
    if(header MATCHES "^tests/")
      string(APPEND faults "${source}: includes ${header} of the tests\n")
      continue()
    endif()
    layer_of(${header} to)
    if("${to}" STREQUAL "")
      continue()
    endif()
    list(FIND layers ${to} toRank)
    if(header MATCHES "^tools/" AND NOT source MATCHES "^tools/")
      string(APPEND faults "${source}: includes ${header} of a tool\n")
    elseif(header MATCHES "^app/" AND source MATCHES "^tools/")
      string(APPEND faults "${source}: includes ${header} of the program's entry\n")
    elseif(toRank LESS fromRank)
      string(APPEND faults "${source} (${from}): includes ${header} of the layer above (${to})\n")
    endif()
  endforeach()
endforeach()

if(faults)
  message(FATAL_ERROR "Includes against the layering:\n${faults}")
endif()
list(LENGTH sources count)
message(STATUS "Layering kept by ${count} sources")
