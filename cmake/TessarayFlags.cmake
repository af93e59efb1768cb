# Warnings, Qt strictness and sanitizers live on one interface target that every target links.
add_library(tessaray-flags INTERFACE)

target_compile_options(tessaray-flags INTERFACE -Wall -Wextra -Wpedantic)
if(TESSARAY_WERROR)
    target_compile_options(tessaray-flags INTERFACE -Werror)
endif()

target_compile_definitions(tessaray-flags INTERFACE
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_STRICT_ITERATORS
    QT_NO_CAST_TO_ASCII
    QT_NO_CAST_FROM_BYTEARRAY
    QT_NO_URL_CAST_FROM_STRING
    QT_NO_FOREACH
    QT_DISABLE_DEPRECATED_BEFORE=0x050F00
    TESSARAY_DEFAULT_SERVER_ADDRESS="${TESSARAY_SERVER_ADDRESS}"
)

if(TESSARAY_SANITIZE)
    string(REPLACE "," ";" _sanitizers "${TESSARAY_SANITIZE}")
    foreach(_sanitizer IN LISTS _sanitizers)
        target_compile_options(tessaray-flags INTERFACE -fsanitize=${_sanitizer})
        target_link_options(tessaray-flags INTERFACE -fsanitize=${_sanitizer})
    endforeach()
    target_compile_options(tessaray-flags INTERFACE -fno-omit-frame-pointer)
    if("undefined" IN_LIST _sanitizers)
        target_compile_options(tessaray-flags INTERFACE -fno-sanitize-recover=undefined)
    endif()
endif()

# The product code also never turns a char* into a QString unseen (every text says its encoding); tests
# may. Each product target links this besides tessaray-flags.
add_library(tessaray-product-flags INTERFACE)
target_compile_definitions(tessaray-product-flags INTERFACE QT_NO_CAST_FROM_ASCII)
