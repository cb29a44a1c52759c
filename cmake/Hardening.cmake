# The hardening Debian builds its own packages with: stack protector, checked
# libc calls where the compiler optimises, read-only relocations bound at
# start-up. Sanitizer and fuzz builds bring their own instrumentation.
if(NOT VANTOR_SANITIZE AND NOT VANTOR_FUZZ)
  add_compile_options(-fstack-protector-strong)
  add_compile_definitions($<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
  add_link_options(-Wl,-z,relro -Wl,-z,now)
endif()
