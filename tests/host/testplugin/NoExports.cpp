// A shared library that is not an OpenFX plug-in: it exports neither entry point.
extern "C" __attribute__((visibility("default"))) int velmoraNotAPlugin() {
    return 42;
}
