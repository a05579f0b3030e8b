# Warnings for every target the project defines, tests and benchmark included.
# Qt's headers come from imported targets and so are system headers: their
# warnings never show, and the errors below are about our own code only.
option(QUILLORY_WARNINGS_AS_ERRORS "Fail the build on a warning in our own code" OFF)

add_library(quillory_warnings INTERFACE)
if(MSVC)
    target_compile_options(quillory_warnings INTERFACE /W4
        $<$<BOOL:${QUILLORY_WARNINGS_AS_ERRORS}>:/WX>)
else()
    target_compile_options(quillory_warnings INTERFACE -Wall -Wextra
        $<$<BOOL:${QUILLORY_WARNINGS_AS_ERRORS}>:-Werror>)
endif()

# Walks the folders below `dir` so that a target added later gets the same
# warnings without having to remember them.
function(quillory_enable_warnings dir)
    get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target IN LISTS targets)
        get_target_property(type ${target} TYPE)
        if(type MATCHES "^(EXECUTABLE|STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY)$")
            target_link_libraries(${target} PRIVATE quillory_warnings)
        endif()
    endforeach()
    get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    foreach(subdir IN LISTS subdirs)
        quillory_enable_warnings(${subdir})
    endforeach()
endfunction()
