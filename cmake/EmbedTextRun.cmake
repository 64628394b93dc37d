# Script mode helper of EmbedText.cmake: writes INPUT as a byte array named SYMBOL into OUTPUT.
file(READ ${INPUT} hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
file(WRITE ${OUTPUT}
    "// Generated from ${INPUT}; do not edit.\n"
    "extern const char ${SYMBOL}[];\n"
    "const char ${SYMBOL}[] = {${bytes}0x00};\n")
