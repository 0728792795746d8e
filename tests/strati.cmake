# The layers of the code, from the bottom up. A file may include files of its own layer or of a
# lower one, never of a higher one, and a command family never includes another family's files.
#   0 platform      src/platform: the services that stand in for the Windows platform
#   1 base          the rest of src/engine: errors, text utilities, collections, the return
#                   stack, the process-wide state
#   2 operations    the family folders' files that are not commands: database, registry,
#                   settings and variable operations, placeholder expansion
#   3 run context   engine/contesto, engine/comando: what every family shares, the row types
#   4 evaluators    conditions/condizioni: the condition evaluator, which works on the run
#                   context and which several families call (condition lines, COND)
#   5 families      the family folders' comandi_* files: rows, line kinds, handlers, state
#   6 engine        engine/clsMarlovex, engine/tabella: the run and the one table
#   7 launch        src/launch
# Usage: cmake -DMLX_SRC=<src folder> -P strati.cmake
set(famiglie "database|system|variables|conditions|flow|dialogs|files|programs")

function(strato percorso uscita)
  if(percorso MATCHES "^platform/")
    set(n 0)
  elseif(percorso MATCHES "^engine/(contesto|comando)\\.")
    set(n 3)
  elseif(percorso MATCHES "^engine/(clsMarlovex|tabella)\\.")
    set(n 6)
  elseif(percorso MATCHES "^engine/")
    set(n 1)
  elseif(percorso MATCHES "^conditions/condizioni\\.")
    set(n 4)
  elseif(percorso MATCHES "^(${famiglie})/comandi")
    set(n 5)
  elseif(percorso MATCHES "^(${famiglie})/")
    set(n 2)
  elseif(percorso MATCHES "^launch/")
    set(n 7)
  else()
    message(FATAL_ERROR "${percorso}: in nessuno strato")
  endif()
  set(${uscita} ${n} PARENT_SCOPE)
endfunction()

file(GLOB_RECURSE sorgenti RELATIVE "${MLX_SRC}" "${MLX_SRC}/*.h" "${MLX_SRC}/*.cc")
set(errori "")
foreach(file IN LISTS sorgenti)
  strato("${file}" mio)
  string(REGEX MATCH "^[^/]+" cartella "${file}")
  file(STRINGS "${MLX_SRC}/${file}" inclusioni REGEX "^#include \"")
  foreach(riga IN LISTS inclusioni)
    string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" incluso "${riga}")
    # A name that is not a path under src is a file of the same folder.
    if(NOT EXISTS "${MLX_SRC}/${incluso}")
      continue()
    endif()
    strato("${incluso}" suo)
    string(REGEX MATCH "^[^/]+" sua "${incluso}")
    if(suo GREATER mio)
      string(APPEND errori "\n  ${file} (strato ${mio}) include ${incluso} (strato ${suo})")
    elseif(mio EQUAL 5 AND suo EQUAL 5 AND NOT cartella STREQUAL sua)
      string(APPEND errori "\n  ${file} include ${incluso}, comandi di un'altra famiglia")
    endif()
  endforeach()
endforeach()
if(errori)
  message(FATAL_ERROR "Inclusioni verso l'alto:${errori}")
endif()
list(LENGTH sorgenti quanti)
message(STATUS "${quanti} file, ogni inclusione verso il basso")
