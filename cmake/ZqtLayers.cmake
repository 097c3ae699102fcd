# Include roots per library. Sources include headers as "<folder>/<Header>.h" from the source root, but no target
# sees the source root itself: each library gets a folder of its own in the build tree, holding a link per header
# it lists, exported as its include directory. A header then resolves only in the library that lists it and in
# what links that library, so an include against the layer order fails to build instead of waiting for a review.

# zqt_header_root(<target> [<header>...])
#   Exposes the headers listed among the target's sources (or the headers named, for an interface library) under
#   "<folder>/", where <folder> is the calling CMakeLists' folder relative to the source root ("api",
#   "terminal/views", ...). Call it after add_library, from the library's own folder.
function(zqt_header_root target)
    file(RELATIVE_PATH folder ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
    set(headers ${ARGN})
    if(NOT headers)
        get_target_property(headers ${target} SOURCES)
        list(FILTER headers INCLUDE REGEX "\\.h$")
    endif()
    set(root ${CMAKE_BINARY_DIR}/include/${target})
    # Rebuilt at every configure, so a header dropped from the list stops resolving too.
    file(REMOVE_RECURSE ${root})
    file(MAKE_DIRECTORY ${root}/${folder})
    foreach(header IN LISTS headers)
        cmake_path(ABSOLUTE_PATH header BASE_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR} NORMALIZE OUTPUT_VARIABLE source)
        cmake_path(GET source FILENAME name)
        file(CREATE_LINK ${source} ${root}/${folder}/${name} SYMBOLIC)
    endforeach()
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "INTERFACE_LIBRARY")
        target_include_directories(${target} INTERFACE ${root})
    else()
        target_include_directories(${target} PUBLIC ${root})
    endif()
endfunction()
