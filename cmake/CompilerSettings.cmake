# What differs between the platforms and compilers the project builds with: which linker options
# exist, how warnings are asked for, and where programs find the libraries they load.

# ELF platforms take the version script, -Bsymbolic-functions and $ORIGIN; Windows DLLs export
# through their API macros and are found beside the program that loads them.
if(WIN32 OR APPLE)
    set(ZELIO_ELF OFF)
else()
    set(ZELIO_ELF ON)
endif()

# zelio_warnings(target): every warning the compiler has for ordinary mistakes.
function(zelio_warnings target)
    if(MSVC)
        # 4251 and 4275: a DLL's exported classes hold and derive from standard library types,
        # which the consumer must take from the same runtime anyway.
        target_compile_options(${target} PRIVATE /W4 /wd4251 /wd4275)
    else()
        target_compile_options(${target} PRIVATE -Wall -Wextra)
    endif()
endfunction()

if(WIN32)
    # Windows finds a program's DLLs beside it: the libraries, the tests and their helpers share
    # one folder.
    if(NOT CMAKE_RUNTIME_OUTPUT_DIRECTORY)
        set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)
    endif()
    if(MSVC)
        # Sources and tests hold UTF-8 text.
        add_compile_options(/utf-8 /Zc:__cplusplus /permissive-)
    endif()
endif()

# A MinGW-w64 build's programs need the compiler's runtime DLLs (the C++ library, the unwinder and
# the threads): one copy of each, beside them, shared by every DLL of the project, so that
# exceptions and objects cross between the DLLs through the same runtime.
if(MINGW AND CMAKE_CROSSCOMPILING)
    foreach(runtime libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
        execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${runtime}
            OUTPUT_VARIABLE runtime_path OUTPUT_STRIP_TRAILING_WHITESPACE)
        if(IS_ABSOLUTE "${runtime_path}" AND EXISTS "${runtime_path}")
            file(COPY ${runtime_path} DESTINATION ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
        endif()
    endforeach()
endif()
