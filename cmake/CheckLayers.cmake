# The layering of the program's folders, checked over their #include lines:
#   cmake -DSOURCE_DIR=<root> -P cmake/CheckLayers.cmake
# A folder may include its own headers and those of the layers below it, never one
# above. Top to bottom:
#   app -> frame -> repository -> repository/odbc -> models -> models/fast
#   -> sample -> objects -> core -> runtime
# The tools are programs of their own beside app and may use every layer but app; nothing
# of the program includes them. The search workers (models/workers) stand beside models
# over models/fast: they may include models/fast and below, and only app includes them;
# <mpi.h> belongs to them alone. <sql.h> belongs to repository/odbc alone, FLTK and X11 to
# frame/. No source file of the program grows past 600 lines.
# Two layers are rooms behind a door: from outside its folder, the repository is reached
# through the headers of repositoryDoors only (its task reader, sample loader, object,
# result writer and statement text are RepApi's own), and the engine through engineDoors
# (its plan, scorers, rows and pair kernels are the search's own); the tests may look
# behind both.

cmake_policy(VERSION 3.25)
set(layers app frame repository odbc models workers models_fast sample objects core runtime)
set(repositoryDoors RepApi.h WriteTransaction.h TaskClearing.h CDriver.h CResultSet.h)
set(engineDoors DenseSample.h DenseReference.h DensityCore.h FastSearch.h GridSearch.h InstructionSet.h
    SampleArrays.h Sentinels.h Verdict.h)

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
  elseif(path MATCHES "^models/workers/")
    set(layer workers)
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
  file(READ ${SOURCE_DIR}/${source} content)
  string(REGEX MATCHALL "\n" newlines "${content}")
  list(LENGTH newlines length)
  if(length GREATER 600)
    string(APPEND faults "${source}: ${length} lines, more than 600\n")
  endif()
  file(STRINGS ${SOURCE_DIR}/${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[\"<]([^\">]*)[\">].*" "\\1" header "${line}")
    if(header MATCHES "^(sql|sqlext|sqltypes|sqlucode)\\.h$" AND NOT from STREQUAL "odbc")
      string(APPEND faults "${source}: <${header}> outside repository/odbc\n")
    elseif(header MATCHES "^(FL|X11)/" AND NOT from STREQUAL "frame")
      string(APPEND faults "${source}: <${header}> outside the frame\n")
    elseif(header STREQUAL "mpi.h" AND NOT from STREQUAL "workers")
      string(APPEND faults "${source}: <${header}> outside models/workers\n")
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
    elseif(to STREQUAL "workers" AND NOT source MATCHES "^(app|models/workers)/")
      string(APPEND faults "${source} (${from}): includes ${header} of the search workers, which only app uses\n")
    elseif(from STREQUAL "workers" AND to STREQUAL "models")
      string(APPEND faults "${source} (workers): includes ${header} of models, a layer beside it\n")
    elseif(toRank LESS fromRank)
      string(APPEND faults "${source} (${from}): includes ${header} of the layer above (${to})\n")
    endif()
    get_filename_component(headerName ${header} NAME)
    if(to STREQUAL "repository" AND NOT from STREQUAL "repository" AND NOT headerName IN_LIST repositoryDoors)
      string(APPEND faults "${source}: includes ${header}, a room behind RepApi\n")
    elseif(to STREQUAL "models_fast" AND NOT from STREQUAL "models_fast" AND NOT headerName IN_LIST engineDoors)
      string(APPEND faults "${source}: includes ${header}, a room of the engine behind FastSearch\n")
    endif()
  endforeach()
endforeach()

if(faults)
  message(FATAL_ERROR "Sources against the layering:\n${faults}")
endif()
list(LENGTH sources count)
message(STATUS "Layering kept by ${count} sources")
