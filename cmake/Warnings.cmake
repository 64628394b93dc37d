# Warnings are errors for every C and C++ target of the project.
add_compile_options(
    "$<$<COMPILE_LANGUAGE:C,CXX>:-Wall;-Wextra;-Werror;-Wno-missing-field-initializers>")
