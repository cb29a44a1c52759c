# vantor_warnings(target): the project's warning set, errors when VANTOR_WERROR is on.
function(vantor_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                           -Wno-sign-conversion)
  if(VANTOR_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
