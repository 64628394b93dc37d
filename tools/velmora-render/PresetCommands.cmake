# The preset commands of velmora-render (render --preset, save-preset), as a library that the
# program and the tests link.
if(NOT TARGET velmora_render_presets AND TARGET ofx_host)
    add_library(velmora_render_presets STATIC ${CMAKE_CURRENT_LIST_DIR}/PresetCommands.cpp
        ${CMAKE_CURRENT_LIST_DIR}/NearestNames.cpp)
    target_include_directories(velmora_render_presets PUBLIC ${CMAKE_CURRENT_LIST_DIR})
    target_link_libraries(velmora_render_presets PUBLIC ofx_host PRIVATE velmora_params velmora_platform)
endif()
