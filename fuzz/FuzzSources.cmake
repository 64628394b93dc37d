# What each fuzz target compiles besides its own source, shared by the libFuzzer build and the
# main build's corpus replay. Expects VELMORA_ROOT.
set(VELMORA_FUZZ_TARGETS fuzz_definition fuzz_preset fuzz_image fuzz_audio_analysis)
set(_src ${VELMORA_ROOT}/src)

set(VELMORA_FUZZ_SOURCES_fuzz_definition
    ${_src}/log/PluginLog.cpp
    ${_src}/params/NumberText.cpp
    ${_src}/definition/XMLEffectDefinition.cpp
    ${_src}/definition/DefinitionReader.cpp
    ${_src}/definition/OptionalSections.cpp
    ${_src}/definition/EffectDefinitionRegistry.cpp)
set(VELMORA_FUZZ_INCLUDES_fuzz_definition ${_src})

set(VELMORA_FUZZ_SOURCES_fuzz_preset
    ${_src}/log/PluginLog.cpp
    ${_src}/params/NumberText.cpp
    ${_src}/params/ParameterValue.cpp
    ${_src}/platform/FileSystem.cpp
    ${_src}/presets/PresetFile.cpp)
set(VELMORA_FUZZ_INCLUDES_fuzz_preset ${_src})

set(_tool ${VELMORA_ROOT}/tools/velmora-render)
set(VELMORA_FUZZ_SOURCES_fuzz_image
    ${VELMORA_ROOT}/host/Image.cpp
    ${_tool}/ImageFiles.cpp
    ${_tool}/ImageReader.cpp
    ${_tool}/ImageWriter.cpp
    ${_tool}/InputFile.cpp
    ${_tool}/ExrLuminanceChroma.cpp
    ${_tool}/ExrHeaderScan.cpp
    ${_tool}/Temporaries.cpp)
set(VELMORA_FUZZ_INCLUDES_fuzz_image ${_tool} ${VELMORA_ROOT}/host ${VELMORA_ROOT}/openfx/include)

set(VELMORA_FUZZ_SOURCES_fuzz_audio_analysis
    ${_src}/log/PluginLog.cpp
    ${_src}/audio/AnalysisContainer.cpp
    ${_src}/audio/AnalysisJsonReader.cpp
    ${_src}/audio/AudioDataCache.cpp)
set(VELMORA_FUZZ_INCLUDES_fuzz_audio_analysis ${_src})

# The seed folder (fuzz/seeds/<name>, fuzz/regressions/<name>) and dictionary (fuzz/<name>.dict)
# of each target.
set(VELMORA_FUZZ_NAME_fuzz_definition definition)
set(VELMORA_FUZZ_NAME_fuzz_preset preset)
set(VELMORA_FUZZ_NAME_fuzz_image image)
set(VELMORA_FUZZ_NAME_fuzz_audio_analysis audio)
