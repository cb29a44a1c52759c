# The user units in packaging/systemd name the packages' prefix (/usr/bin,
# /usr/share). Installed, they name the prefix chosen at install time
# (cmake --install --prefix, CPack), so the paths are put in then.
function(vantor_user_unit unit)
  set(source ${PROJECT_SOURCE_DIR}/packaging/systemd/${unit})
  install(CODE "
    file(READ \"${source}\" unit)
    string(REPLACE \"=/usr/bin/\" \"=\${CMAKE_INSTALL_PREFIX}/${VANTOR_INSTALL_BINDIR}/\" unit \"\${unit}\")
    string(REPLACE \"file:///usr/share/\" \"file://\${CMAKE_INSTALL_PREFIX}/share/\" unit \"\${unit}\")
    set(dest \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/lib/systemd/user\")
    message(STATUS \"Installing: \${dest}/${unit}\")
    file(MAKE_DIRECTORY \"\${dest}\")
    file(WRITE \"\${dest}/${unit}\" \"\${unit}\")
  " COMPONENT vantor)
endfunction()
