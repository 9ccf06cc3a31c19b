# Run by CPack once it has installed the project into its staging folder:
# adds the package's link in /usr/bin to that folder.
set(link "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_BRANTLE_LINK}")
get_filename_component(folder "${link}" DIRECTORY)
file(MAKE_DIRECTORY "${folder}")
file(CREATE_LINK "${CPACK_BRANTLE_LINK_TARGET}" "${link}" SYMBOLIC)
