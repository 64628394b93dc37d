# VELMORA_SANITIZE=address: AddressSanitizer, UndefinedBehaviorSanitizer and LeakSanitizer;
# VELMORA_SANITIZE=thread: ThreadSanitizer. For every C and C++ target, with gcc or clang
# (make test-asan, make test-tsan). The cuda backend is left out of these builds.
set(VELMORA_SANITIZE "" CACHE STRING "address or thread: build with those sanitizers")
if(VELMORA_SANITIZE STREQUAL "address")
    set(velmora_sanitizer_flags -fsanitize=address,undefined -fno-sanitize-recover=undefined)
elseif(VELMORA_SANITIZE STREQUAL "thread")
    set(velmora_sanitizer_flags -fsanitize=thread)
elseif(NOT VELMORA_SANITIZE STREQUAL "")
    message(FATAL_ERROR "VELMORA_SANITIZE is address or thread, not '${VELMORA_SANITIZE}'")
endif()
if(velmora_sanitizer_flags)
    list(APPEND velmora_sanitizer_flags -fno-omit-frame-pointer)
    add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:${velmora_sanitizer_flags}>")
    add_link_options(${velmora_sanitizer_flags})
    message(STATUS "Velmora: sanitizers ${VELMORA_SANITIZE}")
endif()
