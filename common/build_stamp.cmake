# Writes the header that says what a build is: the project's version, the commit of the work tree and the
# day of the build (UTC; SOURCE_DATE_EPOCH when set, so a package build is reproducible). The header is
# replaced only when one of them changed, so an unchanged tree recompiles nothing.
#   cmake -DSOURCE_DIR=... -DVERSION=... -DOUTPUT=... -P build_stamp.cmake
execute_process(COMMAND git -C "${SOURCE_DIR}" rev-parse --short=10 HEAD
    OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE failed)
if(failed OR NOT commit MATCHES "^[0-9a-f]+$")
    set(commit "unknown")  # a source tree outside git (a release archive), or no git installed
endif()
string(TIMESTAMP day "%Y-%m-%d" UTC)
file(WRITE "${OUTPUT}.new"
    "// Made by build_stamp.cmake at build time.\n"
    "#define BUILD_STAMP_VERSION \"${VERSION}\"\n"
    "#define BUILD_STAMP_COMMIT \"${commit}\"\n"
    "#define BUILD_STAMP_DATE \"${day}\"\n")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
