# System libraries the program loads when it first calls one of their
# functions, instead of at process start. Every DLL a program imports is
# loaded, with all of its own imports, before its first instruction runs; the
# network, crypto, trust, OLE automation and light shell libraries are not
# needed before the user presses Next, and under Wine loading them at start
# made the Welcome page appear about 30 ms later (bench/README.md, start-up).
# They are Windows' own and always present: a failure to load one would end
# the program at that call, as it would have ended it at start.
#
# GNU ld has no /DELAYLOAD: dlltool makes a delay-import library from a
# module-definition file, written here from the toolchain's import library;
# the MinGW runtime supplies the loader (__delayLoadHelper2). A call compiled
# with __declspec(dllimport) (DECLSPEC_IMPORT, which most Windows headers put
# on their functions) jumps straight through the import slot, and ld then
# drops the stub code that slot points to until the first call, leaving a
# null pointer (binutils bug 14339). Whatever links a delay-import library is
# therefore compiled with DECLSPEC_IMPORT empty: every Windows function is
# called through its import stub, one jump more, which works for delay-loaded
# and ordinary imports alike.

# Sets `out` to the delay-import library of the system library `name` (as in
# -l<name>, e.g. wininet), made in the build folder unless it is up to date.
function(qvx_delay_import_library out name)
  find_library(QVX_IMPORT_LIBRARY_${name} NAMES lib${name}.a REQUIRED)
  set(import ${QVX_IMPORT_LIBRARY_${name}})
  set(dir ${CMAKE_BINARY_DIR}/delay-import)
  set(archive ${dir}/lib${name}_delay.a)
  if(NOT EXISTS ${archive} OR ${import} IS_NEWER_THAN ${archive})
    execute_process(COMMAND ${CMAKE_NM} ${import} OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
    # The import thunks: __imp__Name@bytes in 32-bit libraries, __imp_Name in 64-bit ones.
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      set(prefix __imp__)
    else()
      set(prefix __imp_)
    endif()
    string(REGEX MATCHALL " I ${prefix}[^\n]+" exports "${symbols}")
    list(TRANSFORM exports REPLACE "^ I ${prefix}" "")
    list(JOIN exports "\n" exports)
    file(WRITE ${dir}/${name}.def "LIBRARY ${name}.dll\nEXPORTS\n${exports}\n")
    execute_process(COMMAND ${CMAKE_DLLTOOL} --kill-at --input-def ${dir}/${name}.def --dllname ${name}.dll
                            --output-delaylib ${archive} COMMAND_ERROR_IS_FATAL ANY)
  endif()
  set(${out} ${archive} PARENT_SCOPE)
endfunction()

# An interface library `target` that links the system libraries named after
# it delay-loaded, and compiles whatever uses it so that the calls reach them.
function(qvx_delay_loaded_libraries target)
  add_library(${target} INTERFACE)
  foreach(name IN LISTS ARGN)
    qvx_delay_import_library(archive ${name})
    target_link_libraries(${target} INTERFACE ${archive})
  endforeach()
  target_compile_definitions(${target} INTERFACE DECLSPEC_IMPORT=)
endfunction()
