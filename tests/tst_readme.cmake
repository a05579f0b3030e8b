cmake_minimum_required(VERSION 3.22)
# The README is read on the web, unbuilt: every size it gives for the largest
# snippet must be the one the build uses.
# cmake -DREADME=<file> -DLIMIT_MIB=<n> -P tst_readme.cmake
file(READ ${README} readme)
string(REGEX MATCHALL "[0-9]+ MiB" limits "${readme}")
list(REMOVE_DUPLICATES limits)
if(NOT limits STREQUAL "${LIMIT_MIB} MiB")
    message(FATAL_ERROR "README.md gives the snippet size limit as '${limits}', "
        "the build as ${LIMIT_MIB} MiB")
endif()
