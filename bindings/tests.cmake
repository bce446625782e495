# SPDX-License-Identifier: MIT
# The Rust, Go and Vala bindings' own tests against the library just built,
# under the `bindings` label. Each entry checks for its toolchain when it runs
# and reports itself skipped (exit status 77) when it is missing, so a machine
# that installs one later needs no new configure. They load the shared
# library into programs built without the sanitizers' runtimes, so sanitizer
# and static-only builds leave them out.
if(LYRN_SANITIZE OR NOT LYRN_SHARED OR NOT TARGET lyrn)
  return()
endif()

set(lyrn_bindings_out ${PROJECT_BINARY_DIR}/bindings)

add_test(NAME rust_binding
  COMMAND bash ${PROJECT_SOURCE_DIR}/bindings/rust/ctest.sh
          ${lyrn_bindings_out}/rust $<TARGET_FILE_DIR:${LYRN_LIB}> $<TARGET_FILE:lyrn>)
set_tests_properties(rust_binding PROPERTIES LABELS "bindings;rust" TIMEOUT 600 SKIP_RETURN_CODE 77)

# Go finds the library through the build tree's pkg-config file.
add_test(NAME go_binding
  COMMAND bash ${PROJECT_SOURCE_DIR}/bindings/go/ctest.sh
          ${lyrn_bindings_out}/go ${PROJECT_BINARY_DIR} $<TARGET_FILE:lyrn>)
set_tests_properties(go_binding PROPERTIES LABELS "bindings;go" TIMEOUT 600 SKIP_RETURN_CODE 77)

# Vala: a test program compiled with valac against the vapi beside the header.
add_test(NAME vala_binding
  COMMAND bash ${PROJECT_SOURCE_DIR}/bindings/vala/ctest.sh
          ${lyrn_bindings_out}/vala $<TARGET_FILE_DIR:${LYRN_LIB}> ${PROJECT_SOURCE_DIR}/include $<TARGET_FILE:lyrn>)
set_tests_properties(vala_binding PROPERTIES LABELS "bindings;vala" TIMEOUT 300 SKIP_RETURN_CODE 77)
