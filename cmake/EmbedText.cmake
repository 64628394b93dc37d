# velmora_embed_text(TARGET_VAR INPUT SYMBOL)
# Turns a text file into a C++ source defining `extern const char SYMBOL[]`, NUL-terminated.
# The generated source's path is returned in TARGET_VAR.
function(velmora_embed_text out_var input symbol)
    get_filename_component(input ${input} ABSOLUTE)
    set(output ${CMAKE_CURRENT_BINARY_DIR}/${symbol}.cpp)
    add_custom_command(
        OUTPUT ${output}
        COMMAND ${CMAKE_COMMAND} -DINPUT=${input} -DOUTPUT=${output} -DSYMBOL=${symbol}
                -P ${PROJECT_SOURCE_DIR}/cmake/EmbedTextRun.cmake
        DEPENDS ${input} ${PROJECT_SOURCE_DIR}/cmake/EmbedTextRun.cmake
        COMMENT "Embedding ${input}")
    set(${out_var} ${output} PARENT_SCOPE)
endfunction()
