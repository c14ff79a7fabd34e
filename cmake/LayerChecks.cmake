# The build's own checks on the layers: the libraries below the windows link no widgets, and no
# product source includes a header of a layer above its own (scripts/check-layers).

# Every library that `target` links, directly or through the link interface of what it links:
# its own LINK_LIBRARIES (private ones too) and, below it, each library's INTERFACE_LINK_LIBRARIES.
# Aliases (Qt::Widgets) are resolved to the target they name.
function(tarvolin_linked_libraries target out)
    set(_seen)
    get_target_property(_type ${target} TYPE)
    set(_queue)
    if(NOT _type STREQUAL "INTERFACE_LIBRARY")
        get_target_property(_direct ${target} LINK_LIBRARIES)
        if(_direct)
            list(APPEND _queue ${_direct})
        endif()
    endif()
    get_target_property(_iface ${target} INTERFACE_LINK_LIBRARIES)
    if(_iface)
        list(APPEND _queue ${_iface})
    endif()
    while(_queue)
        list(POP_FRONT _queue _lib)
        # A static library's private dependencies reach its users as $<LINK_ONLY:dep>.
        string(REGEX REPLACE "^\\$<LINK_ONLY:(.+)>$" "\\1" _lib "${_lib}")
        if(_lib MATCHES "^\\$<" OR NOT TARGET ${_lib})
            continue()
        endif()
        get_target_property(_aliased ${_lib} ALIASED_TARGET)
        if(_aliased)
            set(_lib ${_aliased})
        endif()
        if(_lib IN_LIST _seen)
            continue()
        endif()
        list(APPEND _seen ${_lib})
        get_target_property(_next ${_lib} INTERFACE_LINK_LIBRARIES)
        if(_next)
            list(APPEND _queue ${_next})
        endif()
    endwhile()
    set(${out} ${_seen} PARENT_SCOPE)
endfunction()

# Configuring fails when one of `libraries` links Qt6::Widgets, and says through which library.
function(tarvolin_require_no_widgets)
    get_target_property(_widgets Qt6::Widgets ALIASED_TARGET)
    if(NOT _widgets)
        set(_widgets Qt6::Widgets)
    endif()
    foreach(_target ${ARGN})
        tarvolin_linked_libraries(${_target} _linked)
        if(_widgets IN_LIST _linked)
            set(_via)
            foreach(_lib ${_linked})
                if(NOT _lib STREQUAL _widgets)
                    tarvolin_linked_libraries(${_lib} _below)
                    if(_widgets IN_LIST _below)
                        list(APPEND _via ${_lib})
                    endif()
                endif()
            endforeach()
            if(_via)
                list(JOIN _via ", " _via)
                set(_via "through ${_via}")
            else()
                set(_via "directly")
            endif()
            message(FATAL_ERROR "${_target} links Qt6::Widgets (${_via}); the libraries below the windows must "
                                "not: the widget belongs in ui/ (or a window library that ui links), reached "
                                "through a hook that ui registers.")
        endif()
    endforeach()
endfunction()

# scripts/check-layers as part of the build: it runs again whenever a product source changes, and a
# failure stops the build.
function(tarvolin_check_layers)
    find_package(Python3 REQUIRED COMPONENTS Interpreter)
    set(_sources)
    foreach(_dir platform core printing controls scale server rules backoffice ui app)
        file(GLOB_RECURSE _found CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${_dir}/*.cpp ${PROJECT_SOURCE_DIR}/${_dir}/*.h)
        list(APPEND _sources ${_found})
    endforeach()
    set(_stamp ${PROJECT_BINARY_DIR}/check-layers.stamp)
    add_custom_command(
        OUTPUT ${_stamp}
        COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/scripts/check-layers
        COMMAND ${CMAKE_COMMAND} -E touch ${_stamp}
        DEPENDS ${PROJECT_SOURCE_DIR}/scripts/check-layers ${_sources}
        COMMENT "Checking that includes point down the layers"
        VERBATIM)
    add_custom_target(check-layers ALL DEPENDS ${_stamp})
endfunction()
