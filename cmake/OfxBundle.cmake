# velmora_add_ofx_bundle(NAME SOURCES src... [OUTPUT_DIR dir] [RESOURCES file...] [RESOURCE_DIRS dir...]
#                        [LIBRARIES lib...] [EXPORTS symbol...])
# Builds an OpenFX plug-in as NAME.ofx.bundle/Contents/<arch>/NAME.ofx with resources under
# Contents/Resources. The target is NAME; its bundle directory is stored in the target property
# OFX_BUNDLE_DIR. The binary exports the two OpenFX entry points (pulled in from static archives
# if need be) and the C symbols named in EXPORTS, nothing else: libraries linked statically stay
# private, so they cannot clash with the host's own copies.
if(WIN32)
    set(VELMORA_OFX_ARCH Win64)
elseif(APPLE)
    set(VELMORA_OFX_ARCH MacOS)
else()
    set(VELMORA_OFX_ARCH Linux-x86-64)
endif()

function(velmora_add_ofx_bundle name)
    cmake_parse_arguments(ARG "" "OUTPUT_DIR" "SOURCES;RESOURCES;RESOURCE_DIRS;LIBRARIES;EXPORTS" ${ARGN})
    if(NOT ARG_OUTPUT_DIR)
        set(ARG_OUTPUT_DIR ${CMAKE_BINARY_DIR})
    endif()
    set(bundle ${ARG_OUTPUT_DIR}/${name}.ofx.bundle)
    add_library(${name} MODULE ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES})
    set_target_properties(${name} PROPERTIES
        PREFIX ""
        SUFFIX ".ofx"
        LIBRARY_OUTPUT_DIRECTORY ${bundle}/Contents/${VELMORA_OFX_ARCH}
        OFX_BUNDLE_DIR ${bundle})
    if(NOT APPLE AND NOT WIN32)
        set(exports OfxGetNumberOfPlugins OfxGetPlugin ${ARG_EXPORTS})
        list(JOIN exports ";\n    " export_lines)
        set(version_script ${CMAKE_CURRENT_BINARY_DIR}/${name}.exports.map)
        file(WRITE ${version_script} "{\n  global:\n    ${export_lines};\n  local: *;\n};\n")
        list(TRANSFORM exports PREPEND "-Wl,--undefined=" OUTPUT_VARIABLE pulled)
        # A sanitized module takes the sanitizer runtime from the program that loads it (clang).
        if(NOT VELMORA_SANITIZE)
            target_link_options(${name} PRIVATE -Wl,--no-undefined)
        endif()
        target_link_options(${name} PRIVATE -Wl,--version-script=${version_script} ${pulled})
        set_property(TARGET ${name} APPEND PROPERTY LINK_DEPENDS ${version_script})
    endif()
    file(MAKE_DIRECTORY ${bundle}/Contents/Resources)
    foreach(res ${ARG_RESOURCES})
        get_filename_component(res_name ${res} NAME)
        add_custom_command(TARGET ${name} POST_BUILD
            COMMAND ${CMAKE_COMMAND} -E copy_if_different ${res} ${bundle}/Contents/Resources/${res_name})
    endforeach()
    foreach(dir ${ARG_RESOURCE_DIRS})
        get_filename_component(dir_name ${dir} NAME)
        add_custom_command(TARGET ${name} POST_BUILD
            COMMAND ${CMAKE_COMMAND} -E copy_directory ${dir} ${bundle}/Contents/Resources/${dir_name})
    endforeach()
endfunction()
