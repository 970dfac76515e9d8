# Warnings, warnings as errors and the sanitizers: cache options, applied to every target of
# the tree by one function, so that each preset only switches them on or off.
option(TARROW_WARNINGS "Compile with the project's warning set" ON)
option(TARROW_WERROR "Treat warnings as errors" OFF)
option(TARROW_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(TARROW_TSAN "Build with ThreadSanitizer (the concurrency tests, tsan preset)" OFF)
# Build time, which the test command spends three times over (release, sanitizers, fuzzing):
# line tables are enough for backtraces, profiles and sanitizer reports and cost far less to
# compile than full debug information; gold links in a fifth of the default linker's time.
option(TARROW_LINE_TABLES_ONLY "Debug information: line tables only (-g1)" ON)
option(TARROW_GOLD "Link with gold where GCC builds and it is installed" ON)

# Call once, before the folders are added: C and C++ get the same warnings.
function(tarrow_apply_build_options)
  if(TARROW_WARNINGS)
    add_compile_options(-Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion)
  endif()
  if(TARROW_WERROR)
    add_compile_options(-Werror)
  endif()
  if(TARROW_LINE_TABLES_ONLY AND CMAKE_BUILD_TYPE MATCHES "^(Debug|RelWithDebInfo)$")
    add_compile_options(-g1)
  endif()
  if(TARROW_GOLD AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    find_program(TARROW_GOLD_LINKER ld.gold)
    if(TARROW_GOLD_LINKER)
      add_link_options(-fuse-ld=gold)
    endif()
  endif()
  if(TARROW_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
  endif()
  if(TARROW_TSAN)
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
  endif()
  # The fuzz preset (clang): every target instrumented for libFuzzer, whose harnesses link
  # -fsanitize=fuzzer themselves (tests/fuzz). The sanitizer runtime is a shared library,
  # since the directory double is one too; the programs find it by their run path.
  if(TARROW_FUZZ)
    add_compile_options(-fsanitize=fuzzer-no-link)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-resource-dir
                    OUTPUT_VARIABLE _resource_dir OUTPUT_STRIP_TRAILING_WHITESPACE)
    add_link_options(-shared-libasan)
    add_link_options("LINKER:-rpath,${_resource_dir}/lib/linux")
  endif()
endfunction()
