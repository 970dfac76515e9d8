# Warnings, warnings as errors and the sanitizers: cache options, applied to every target of
# the tree by one function, so that each preset only switches them on or off.
option(TARROW_WARNINGS "Compile with the project's warning set" ON)
option(TARROW_WERROR "Treat warnings as errors" OFF)
option(TARROW_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

# Call once, before the folders are added: C and C++ get the same warnings.
function(tarrow_apply_build_options)
  if(TARROW_WARNINGS)
    add_compile_options(-Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion)
  endif()
  if(TARROW_WERROR)
    add_compile_options(-Werror)
  endif()
  if(TARROW_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
  endif()
endfunction()
