# VANTOR_SANITIZE is passed straight to -fsanitize=, for every target.
if(VANTOR_SANITIZE)
  add_compile_options(-fsanitize=${VANTOR_SANITIZE} -fno-sanitize-recover=all -g)
  add_link_options(-fsanitize=${VANTOR_SANITIZE})
  add_compile_definitions(VANTOR_SANITIZED=1)
endif()
