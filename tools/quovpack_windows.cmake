# quovpack.exe for 64-bit Windows (from tools/CMakeLists.txt). Its data lies where the installed
# Linux tool finds its own, in share\quovpack beside its folder (the Windows zip has the same
# layout): build/win64/share/quovpack here.
target_compile_definitions(quovpack PRIVATE QUOVPACK_VERSION="${QUOVPACK_VERSION}"
                                            QUOVPACK_DATA_FROM_BIN="../share/quovpack")
# CommandLineToArgvW: the command line in UTF-16, so that names in every script arrive whole.
target_link_libraries(quovpack_lib PUBLIC shell32)

# The shipped (32-bit) loader and reference setup program from the stub tree beside this one:
# this tree's QUOV_STUB_EXE is the 64-bit test vehicle, which users never get.
get_filename_component(quov_build_root "${CMAKE_BINARY_DIR}" DIRECTORY)
set(QUOV_SHIPPED_STUB_EXE "${quov_build_root}/stub/quovldr.exe" CACHE FILEPATH
    "The shipped loader (the 32-bit stub tree's) that quovpack.exe finds beside it")
get_filename_component(quov_stub_tree "${QUOV_SHIPPED_STUB_EXE}" DIRECTORY)
set(quov_filesetup_exe "${quov_stub_tree}/filesetup/quovfiles.exe")
file(GLOB quov_message_files ${CMAKE_SOURCE_DIR}/messages/*.txt)
set(quov_windows_data ${CMAKE_BINARY_DIR}/share/quovpack)
add_custom_command(TARGET quovpack POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E make_directory ${quov_windows_data}/messages
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${quov_message_files} ${quov_windows_data}/messages
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${QUOV_SHIPPED_STUB_EXE} ${quov_filesetup_exe}
          ${quov_windows_data}
  VERBATIM)

# The Windows tool against the host's, under wine64: the same bytes from the same inputs, the
# same reports, names in Cyrillic and Chinese, and the refusals.
set(QUOV_HOST_BUILD "" CACHE PATH "The host build tree whose quovpack the Windows one is held to")
add_test(NAME quovpack_windows
         COMMAND bash ${CMAKE_SOURCE_DIR}/tests/tools/quovpack_windows_test.sh
                 $<TARGET_FILE:quovpack> ${QUOV_HOST_BUILD}/quovpack
                 ${CMAKE_SOURCE_DIR}/scripts/wine64-run.sh)
set_tests_properties(quovpack_windows PROPERTIES TIMEOUT 300)
