# SQLite compiled from its amalgamation, for the builds that have no system library to link
# (the Windows cross build). The two files come from the better-sqlite3 npm package, a pinned
# version fetched with `npm pack` into the build tree, and are checked against the SHA-256 sums
# recorded here before they are compiled.
set(MLX_SQLITE_NPM_PACKAGE better-sqlite3)
set(MLX_SQLITE_NPM_VERSION 12.9.0)  # carries SQLite 3.53.0
set(MLX_SQLITE_C_SHA256 391855ddc7af04001364430884d263cbe8638f852c83865823a2d08358f6b87d)
set(MLX_SQLITE_H_SHA256 8e43a79982422f4720685f62839718f0e41410c1b71355aa32af3615ccd9e31d)

set(MLX_SQLITE_DIR ${CMAKE_BINARY_DIR}/sqlite-amalgamation)
set(MLX_SQLITE_TARBALL
    ${MLX_SQLITE_DIR}/${MLX_SQLITE_NPM_PACKAGE}-${MLX_SQLITE_NPM_VERSION}.tgz)

function(mlx_sqlite_check file expected result)
  set(${result} FALSE PARENT_SCOPE)
  if(EXISTS ${file})
    file(SHA256 ${file} actual)
    if(actual STREQUAL expected)
      set(${result} TRUE PARENT_SCOPE)
    endif()
  endif()
endfunction()

mlx_sqlite_check(${MLX_SQLITE_DIR}/sqlite3.c ${MLX_SQLITE_C_SHA256} mlx_c_ok)
mlx_sqlite_check(${MLX_SQLITE_DIR}/sqlite3.h ${MLX_SQLITE_H_SHA256} mlx_h_ok)
if(NOT mlx_c_ok OR NOT mlx_h_ok)
  find_program(MLX_NPM npm)
  if(NOT MLX_NPM)
    message(FATAL_ERROR "npm is needed to fetch the SQLite amalgamation (make deps installs it)")
  endif()
  file(MAKE_DIRECTORY ${MLX_SQLITE_DIR})
  if(NOT EXISTS ${MLX_SQLITE_TARBALL})
    message(STATUS "Fetching ${MLX_SQLITE_NPM_PACKAGE}@${MLX_SQLITE_NPM_VERSION} for SQLite")
    execute_process(
      COMMAND ${MLX_NPM} pack --silent ${MLX_SQLITE_NPM_PACKAGE}@${MLX_SQLITE_NPM_VERSION}
      WORKING_DIRECTORY ${MLX_SQLITE_DIR} RESULT_VARIABLE rc OUTPUT_QUIET)
    if(NOT rc EQUAL 0 OR NOT EXISTS ${MLX_SQLITE_TARBALL})
      message(FATAL_ERROR "npm pack ${MLX_SQLITE_NPM_PACKAGE}@${MLX_SQLITE_NPM_VERSION} failed")
    endif()
  endif()
  file(ARCHIVE_EXTRACT INPUT ${MLX_SQLITE_TARBALL} DESTINATION ${MLX_SQLITE_DIR}/package
       PATTERNS package/deps/sqlite3/sqlite3.c package/deps/sqlite3/sqlite3.h)
  foreach(name sqlite3.c sqlite3.h)
    file(COPY_FILE ${MLX_SQLITE_DIR}/package/package/deps/sqlite3/${name} ${MLX_SQLITE_DIR}/${name})
  endforeach()
  file(REMOVE_RECURSE ${MLX_SQLITE_DIR}/package)
  mlx_sqlite_check(${MLX_SQLITE_DIR}/sqlite3.c ${MLX_SQLITE_C_SHA256} mlx_c_ok)
  mlx_sqlite_check(${MLX_SQLITE_DIR}/sqlite3.h ${MLX_SQLITE_H_SHA256} mlx_h_ok)
  if(NOT mlx_c_ok OR NOT mlx_h_ok)
    file(REMOVE ${MLX_SQLITE_DIR}/sqlite3.c ${MLX_SQLITE_DIR}/sqlite3.h ${MLX_SQLITE_TARBALL})
    message(FATAL_ERROR "The SQLite amalgamation from ${MLX_SQLITE_NPM_PACKAGE}@"
                        "${MLX_SQLITE_NPM_VERSION} does not have the recorded SHA-256 sums")
  endif()
endif()

# The options the data-access layer relies on, as the system library of the Linux build has
# them: column metadata (a result column's table and origin), the math functions, the limits of
# bound parameters, deleted content overwritten. Backup, serialization and the progress handler
# are in every build unless left out, and none is left out here.
add_library(mlx_sqlite3 STATIC ${MLX_SQLITE_DIR}/sqlite3.c)
target_include_directories(mlx_sqlite3 SYSTEM PUBLIC ${MLX_SQLITE_DIR})
target_compile_definitions(mlx_sqlite3 PRIVATE
  SQLITE_THREADSAFE=1
  SQLITE_ENABLE_COLUMN_METADATA
  SQLITE_ENABLE_MATH_FUNCTIONS
  SQLITE_ENABLE_DBSTAT_VTAB
  SQLITE_SECURE_DELETE
  SQLITE_LIKE_DOESNT_MATCH_BLOBS
  SQLITE_MAX_VARIABLE_NUMBER=250000
  SQLITE_DEFAULT_PAGE_SIZE=4096
  SQLITE_TEMP_STORE=1
  SQLITE_USE_URI=1
  SQLITE_OMIT_LOAD_EXTENSION)
# SQLite's own code is not held to the project's warnings.
target_compile_options(mlx_sqlite3 PRIVATE -w)
add_library(SQLite::SQLite3 ALIAS mlx_sqlite3)
