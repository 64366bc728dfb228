# Run by CPack on the package's tree before it is packed, to make it as
# Debian wants it.
set(root ${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX})

# Stripped as Debian's own packages are: no symbols, no compiler notes.
execute_process(COMMAND ${CPACK_DAUB_STRIP} --remove-section=.comment --remove-section=.note
  --strip-unneeded ${root}/bin/daubwork COMMAND_ERROR_IS_FATAL ANY)

# gzip -9n: no name or time stamp inside, so the same files give the same
# package.
file(GLOB_RECURSE pages ${root}/share/man/*)
foreach(page ${pages})
  execute_process(COMMAND gzip -9nf ${page} COMMAND_ERROR_IS_FATAL ANY)
endforeach()

# A native package: its changelog is changelog.gz.
set(doc ${root}/share/doc/${CPACK_PACKAGE_NAME})
file(COPY_FILE ${CPACK_DAUB_CHANGELOG} ${doc}/changelog)
execute_process(COMMAND gzip -9nf ${doc}/changelog COMMAND_ERROR_IS_FATAL ANY)
# Whatever the umask of the one who packs.
file(CHMOD ${doc}/changelog.gz PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
