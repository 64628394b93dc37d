#pragma once

// The shipped effect definition document (effects/velmora.xml), NUL-terminated.
extern const char velmora_definition_xml[];
